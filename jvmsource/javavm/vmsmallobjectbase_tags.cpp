/* Tag names for diagnostics: what a heap block is, printed by the host. */
#include <string.h>

#include "vmliteral.h"
#include "vmsmallobjectbase.h"
#include "vmutils.h"

JNIEXPORT jint JNICALL JNI_IntTagToString(VMword tag, char* buffer, jint size);
JNIEXPORT jint JNICALL JNI_TagToString(const void* block, uint32_t blockSize, char* buffer, jint size);

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

/* Body element 2 of a block, when the block is large enough to have one. */
VMword ElementTwo(const void* block, uint32_t blockSize) {
  const uint32_t needed = (VMObjectBase::HEADER_WORDS + 3) * sizeof(VMword);
  if (blockSize < needed) return 0;
  return static_cast<const VMObjectBase*>(block)->GetWord(2);
}

bool IsClassTag(VMword tag) {
  return tag == VMTag_VMLoadableClass || tag == VMTag_VMClass || tag == VMTag_VMPrimitiveClass ||
         tag == VMTag_VMArrayClass;
}

/* The tag of the block a word points to, or 0 when the word cannot point to one. The
   block being named may be damaged or half made: nothing it points to is trusted before
   its tag says what it is. */
VMword TagAt(VMword word) {
  if (word == 0 || VMUtils::IsValidAddress((jlong)word) == 0) return 0;
  return *reinterpret_cast<const VMword*>(word);
}

/* The literal that names a block: its own text for a literal, a class's name, or the
   name of a member's class. */
VMLiteral* NamingLiteral(const void* block, uint32_t blockSize, VMword tag) {
  VMword name;
  // Without the host's table there is no memory to copy a name into.
  if (VMUtils::GetHostFunctions() == NULL) return NULL;
  if (tag == VMTag_VMLiteral) return reinterpret_cast<VMLiteral*>(const_cast<void*>(block));
  if (IsClassTag(tag)) {
    name = ElementTwo(block, blockSize);
  } else if (tag == VMTag_VMDataMember || tag == VMTag_VMMethod) {
    VMword cls = ElementTwo(block, blockSize);
    if (!IsClassTag(TagAt(cls))) return NULL;
    name = reinterpret_cast<const VMObjectBase*>(cls)->GetWord(2);
  } else {
    return NULL;
  }
  return TagAt(name) == VMTag_VMLiteral ? reinterpret_cast<VMLiteral*>(name) : NULL;
}

}  // namespace

JNIEXPORT jint JNICALL JNI_IntTagToString(VMword tag, char* buffer, jint size) {
  return Compose(TagName(tag), SampleDetail(tag), false, buffer, size);
}

JNIEXPORT jint JNICALL JNI_TagToString(const void* block, uint32_t blockSize, char* buffer, jint size) {
  if (block == NULL || blockSize < 4) return 0;
  VMword tag;
  memcpy(&tag, block, sizeof tag);
  VMLiteral* literal = NamingLiteral(block, blockSize, tag);
  char* detail = literal != NULL ? literal->MakeUTF8() : NULL;
  jint written = Compose(TagName(tag), detail, true, buffer, size);
  if (detail != NULL) VMLiteral::FreeUTF8(detail);
  return written;
}
