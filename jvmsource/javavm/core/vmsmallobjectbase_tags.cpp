/* Tag names for diagnostics: what a heap block is, printed by the host. */
#include <string.h>

#include "vmliteral.h"
#include "vmsmallobjectbase.h"
#include "vmutils.h"

JNIEXPORT jint HOSTCALL JNI_IntTagToString(VMword tag, char* buffer, jint size);
JNIEXPORT jint HOSTCALL JNI_TagToString(const void* block, uint32_t blockSize, char* buffer, jint size);

namespace {

const char* TagName(VMword tag) {
  switch (tag) {
#define PUX_VM_TAG_NAME(name, kind, subkind) \
  case VMTag_##name:                         \
    return #name;
    PUX_VM_TAG_LIST(PUX_VM_TAG_NAME)
#undef PUX_VM_TAG_NAME
    default:
      return "VMUnknown";
  }
}

/* The sample detail printed for a tag without a block. */
const char* SampleDetail(VMword tag) {
  switch (tag) {
    case VMTag_VMLiteral:
      return "Dummy-Literal";
    case VMTag_VMLoadableClass:
    case VMTag_VMClass:
    case VMTag_VMPrimitiveClass:
    case VMTag_VMArrayClass:
      return "Dummy-Class";
    case VMTag_VMDataMember:
    case VMTag_VMMethod:
      return "Dummy-Method";
    default:
      return NULL;
  }
}

/* Name, a blank, then the detail, cut at size bytes; the terminating zero is written only
   when it still fits, so nothing ever lands past buffer[size - 1]. */
jint Compose(const char* name, const char* detail, bool fromLiteral, char* buffer, jint size) {
  if (buffer == NULL || size <= 0) return 0;
  jint n = 0;
  for (const char* p = name; *p != '\0' && n < size; p++) buffer[n++] = *p;
  if (n < size) buffer[n++] = ' ';
  if (detail != NULL) {
    for (const char* p = detail; *p != '\0' && n < size; p++) {
      char c = *p;
      if (fromLiteral && (c == 10 || c == 12 || c == 13)) c = '!';
      buffer[n++] = c;
    }
  }
  if (n < size) buffer[n] = '\0';
  return n;
}

/* Whether a block is an object's own block. A heap walk also hands out the pieces and
   tree nodes of large bodies, which carry their owner's tag but never the root flag, and
   whose words are the owner's data: nothing in them may be followed. */
bool IsObjectHead(const void* block, uint32_t blockSize) {
  if (blockSize < VMObjectBase::HEADER_WORDS * sizeof(VMword)) return false;
  const VMObjectBase* head = static_cast<const VMObjectBase*>(block);
  return head->GetIsRootObject() && VMUtils::ValidateTag(head->GetTag());
}

/* Whether an object head is laid out as a literal is: a byte array whose block holds
   exactly the body words its length needs, all within blockSize bytes (0: not known). */
bool IsWholeLiteral(const void* block, uint32_t blockSize) {
  const VMObjectBase* head = static_cast<const VMObjectBase*>(block);
  if (blockSize != 0 && blockSize < (VMObjectBase::HEADER_WORDS + 2) * sizeof(VMword)) return false;
  if (!head->GetIsScalarArray() || head->GetNumberOfElements() < 2) return false;
  const VMword* body = head->GetFirstElementPointer();
  if (body[1] != 0) return false;
  uint32_t words = ((body[0] >> 2) + ((body[0] & 3) != 0 ? 1 : 0)) + 2;
  if (VMObjectBase::BlockWordsFor(words) != head->GetNumberOfElements()) return false;
  return blockSize == 0 ||
         blockSize >= (VMObjectBase::HEADER_WORDS + head->GetNumberOfElements()) * sizeof(VMword);
}

/* Body element 2 of an object head, when the block is large enough to have one. */
VMword ElementTwo(const void* block, uint32_t blockSize) {
  const uint32_t needed = (VMObjectBase::HEADER_WORDS + 3) * sizeof(VMword);
  if (blockSize < needed || !IsObjectHead(block, blockSize)) return 0;
  return static_cast<const VMObjectBase*>(block)->GetWord(2);
}

bool IsClassTag(VMword tag) {
  return tag == VMTag_VMLoadableClass || tag == VMTag_VMClass || tag == VMTag_VMPrimitiveClass ||
         tag == VMTag_VMArrayClass;
}

/* The tag of the object head a word points to, or 0 when the word cannot point to one.
   The block being named may be damaged or half made: nothing it points to is trusted
   before its header says what it is. */
VMword TagAt(VMword word) {
  if (word == 0 || VMUtils::IsValidAddress((jlong)word) == 0) return 0;
  const VMObjectBase* head = reinterpret_cast<const VMObjectBase*>(word);
  return head->GetIsRootObject() ? head->GetTag() : 0;
}

/* The literal that names a block: its own text for a literal, a class's name, or the
   name of a member's class. */
VMLiteral* NamingLiteral(const void* block, uint32_t blockSize, VMword tag) {
  VMword name;
  // Without the host's table there is no memory to copy a name into.
  if (VMUtils::GetHostFunctions() == NULL) return NULL;
  if (tag == VMTag_VMLiteral) {
    if (!IsObjectHead(block, blockSize) || !IsWholeLiteral(block, blockSize)) return NULL;
    return reinterpret_cast<VMLiteral*>(const_cast<void*>(block));
  }
  if (IsClassTag(tag)) {
    name = ElementTwo(block, blockSize);
  } else if (tag == VMTag_VMDataMember || tag == VMTag_VMMethod) {
    VMword cls = ElementTwo(block, blockSize);
    if (!IsClassTag(TagAt(cls))) return NULL;
    name = reinterpret_cast<const VMObjectBase*>(cls)->GetWord(2);
  } else {
    return NULL;
  }
  if (TagAt(name) != VMTag_VMLiteral || !IsWholeLiteral(reinterpret_cast<const void*>(name), 0)) return NULL;
  return reinterpret_cast<VMLiteral*>(name);
}

}  // namespace

JNIEXPORT jint HOSTCALL JNI_IntTagToString(VMword tag, char* buffer, jint size) {
  return Compose(TagName(tag), SampleDetail(tag), false, buffer, size);
}

JNIEXPORT jint HOSTCALL JNI_TagToString(const void* block, uint32_t blockSize, char* buffer, jint size) {
  if (block == NULL || blockSize < 4) return 0;
  VMword tag;
  memcpy(&tag, block, sizeof tag);
  VMLiteral* literal = NamingLiteral(block, blockSize, tag);
  char* detail = literal != NULL ? literal->MakeUTF8() : NULL;
  jint written = Compose(TagName(tag), detail, true, buffer, size);
  if (detail != NULL) VMLiteral::FreeUTF8(detail);
  return written;
}
