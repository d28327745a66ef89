#include "vmjavalangstring.h"

#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmutils.h"

/* The machine of an env: word 1 of the env is the JavaVM record, whose word 1 is the
   machine. */
static VM* MachineOf(JNIEnv* env) {
  void** record = (void**)((void**)env)[1];
  return record != nullptr ? (VM*)record[1] : nullptr;
}

namespace {

struct StringParts {
  HHeap* heap;
  uint32_t words;
  uint32_t count;
  VMJavaLangString* self;
  VMcharArray* value;
};

/* The string and its characters, both or neither (asked for with kind 1). */
void* MakeStringParts(void* context) {
  StringParts* p = (StringParts*)context;
  p->self = (VMJavaLangString*)VMObject::CreateInstance(p->heap, p->words, jallocFailFast, VMTag_VMJavaLangString);
  if (p->self == nullptr) return nullptr;
  p->value = VMcharArray::CreateInstance(p->heap, p->count, jallocFailFast, VMTag_VMJavaLangStringCharacters);
  if (p->value != nullptr) return p->self;
  p->self->VMObject::Destroy(p->heap);
  p->self = nullptr;
  return nullptr;
}

}  // namespace

VMJavaLangString* VMJavaLangString::allocate(VMNameSpace* ns, HHeap* heap, uint32_t count,
                                             jallocType kind) {
  VMLoadableClass* stringClass = nullptr;
  VMArrayClass* charsClass = nullptr;
  if (ns != nullptr && ns->GetClassList() != nullptr) stringClass = ns->GetClassList()->GetStringClass();
  if (ns != nullptr && ns->GetArrayClassList() != nullptr)
    charsClass = ns->GetArrayClassList()->GetVMcharArrayClass();
  uint32_t words = Words;
  if (stringClass != nullptr && stringClass->GetCreateSize() > words)
    words = stringClass->GetCreateSize();

  /* The string and its characters are one thing to the caller: a refusal of either
     gives back what was made, and only then may kind 0 collect, after which both are
     made again. No collection meets a string without its characters. */
  StringParts parts = {heap, words, count, nullptr, nullptr};
  // Its parts are asked for with kind 1: a stress run collects here, as it does before
  // any other allocation that may collect.
  VMObjectBase::StressPoint(kind);
  if (MakeStringParts(&parts) == nullptr) {
    // The retry is made before the machine's other threads go on after the collection.
    if (kind != jallocCollectAndRetry || VMObjectBase::CollectThenRetry(MakeStringParts, &parts) == nullptr)
      return nullptr;
  }
  VMJavaLangString* self = parts.self;
  VMcharArray* value = parts.value;
  if (stringClass != nullptr) self->SetClass((VMClass*)stringClass);
  if (charsClass != nullptr) value->SetClass((VMClass*)charsClass);
  self->SetValue(value);
  self->SetOffset(0);
  self->SetCount(count);
  return self;
}

/* ---------------------------------------------------------------------------------- */
/* Creation                                                                            */

static void DecodeLiteral(VMLiteral* literal, VMcharArray* value, uint32_t count) {
  VMLiteralIterator it(literal);
  for (uint32_t i = 0; i < count && it.HasMoreChars(); i++) value->Set(i, it.NextChar());
}

VMJavaLangString* VMJavaLangString::CreateInstance(JNIEnv* env, VMLiteral* literal) {
  VM* vm = MachineOf(env);
  if (vm == nullptr || literal == nullptr) return nullptr;
  uint32_t count = literal->GetCount();
  VMJavaLangString* self = allocate(vm->GetNameSpace(), vm->GetHeap(), count, jallocCollectAndRetry);
  if (self == nullptr) return nullptr;
  DecodeLiteral(literal, self->GetValue(), count);
  return self;
}

VMJavaLangString* VMJavaLangString::CreateInstance(JNIEnv* env, VMcharArray* chars,
                                                   uint32_t start) {
  VM* vm = MachineOf(env);
  if (vm == nullptr) return nullptr;
  uint32_t size = chars != nullptr ? chars->GetSize() : 0;
  /* size - start would wrap to a huge count. */
  if (start > size) return nullptr;
  uint32_t count = size - start;
  VMJavaLangString* self = allocate(vm->GetNameSpace(), vm->GetHeap(), count, jallocCollectAndRetry);
  if (self == nullptr) return nullptr;
  if (count > 0) self->GetValue()->Copy(chars, start, 0, count);
  return self;
}

VMJavaLangString* VMJavaLangString::CreateInstance(JNIEnv* env, const char* text) {
  VM* vm = MachineOf(env);
  if (vm == nullptr || text == nullptr) return nullptr;
  uint32_t count = VMLiteral::UnicodeLength(text, (uint32_t)strlen(text));
  if (count == VMInvalidUTF8Length) return nullptr;
  VMJavaLangString* self = allocate(vm->GetNameSpace(), vm->GetHeap(), count, jallocCollectAndRetry);
  if (self == nullptr) return nullptr;
  self->copyUTF8(text, count);
  return self;
}

void VMJavaLangString::copyUTF8(const char* text, uint32_t count) {
  VMcharArray* value = GetValue();
  uint32_t at = 0;
  while (at < count) {
    uint32_t run = 0;
    jchar* out = (jchar*)value->FindElement(at, &run);
    if (run == 0) break;  /* past the last element */
    if (run > count - at) run = count - at;
    for (uint32_t i = 0; i < run; i++) {
      jchar c;
      text += VMLiteral::UTF8toUnicode(text, &c);
      memcpy(out + i, &c, sizeof c);
    }
    at += run;
  }
}

VMJavaLangString* VMJavaLangString::CreateIntern(VMNameSpace* ns, VMLiteral* literal) {
  if (ns == nullptr || literal == nullptr) return nullptr;
  uint32_t count = literal->GetCount();
  VMJavaLangString* fresh = allocate(ns, ns->GetHeap(), count, jallocFailFast);
  if (fresh == nullptr) return nullptr;
  DecodeLiteral(literal, fresh->GetValue(), count);
  return fresh->Intern(ns, true);
}

/* ---------------------------------------------------------------------------------- */
/* Interning                                                                           */

VMJavaLangString* VMJavaLangString::Intern(VMNameSpace* ns) {
  if (ns == nullptr) return nullptr;
  /* Only a string of this very name space may enter its table as it is. The header flag
     says "on some name space's heap": a string of another name space entered here would
     be freed through the wrong heap, or left dangling when its own name space goes. */
  VMClass* cls = GetClass();
  if (GetIsNameSpaceData() && cls != nullptr && cls->GetNameSpace() == ns) return Intern(ns, false);
  uint32_t count = GetCount();
  VMJavaLangString* copy = allocate(ns, ns->GetHeap(), count, jallocFailFast);
  if (copy == nullptr) return nullptr;
  if (count > 0) copy->GetValue()->Copy(GetValue(), GetOffset(), 0, count);
  return copy->Intern(ns, true);
}

/* This string is the candidate. Only a candidate made for this interning (owned) is ever
   destroyed, and only while the table does not hold it. */
VMJavaLangString* VMJavaLangString::Intern(VMNameSpace* ns, bool ownedCandidate) {
  HHeap* heap = ns->GetHeap();
  VMJavaLangStringHashTable* table = ns->GetInternTable();
  if (table == nullptr) {
    if (ownedCandidate) Destroy(heap);
    return nullptr;
  }
  VMword h = Hash();
  VMObjectHashTableIterator it(table, h, VMHashLockMutex);
  if (it.Refused()) {
    /* Without the table's mutex the table may not be read, let alone written. */
    if (ownedCandidate) Destroy(heap);
    return nullptr;
  }
  for (;;) {
    VMJavaLangString* entry = (VMJavaLangString*)it.Next();
    if (entry == nullptr) {
      SetHash(h);
      uint32_t index = it.Insert(this);
      it.Release();
      if (index == VMHashNotFound) {
        if (ownedCandidate) Destroy(heap);
        return nullptr;
      }
      return this;
    }
    if (entry == this) return this;
    if (entry->GetHash() == h && entry->Equals(this)) {
      it.Release();
      if (ownedCandidate) Destroy(heap);
      return entry;
    }
  }
}

/* ---------------------------------------------------------------------------------- */
/* Reading                                                                             */

bool VMJavaLangString::Equals(VMJavaLangString* other) {
  if (other == this) return true;
  if (other == nullptr) return false;
  uint32_t count = GetCount();
  if (other->GetCount() != count) return false;
  return GetValue()->VMArray::Equals(other->GetValue(), other->GetOffset(), GetOffset(), count);
}

VMword VMJavaLangString::Hash() {
  VMcharArray* value = GetValue();
  VMword h = 0;
  uint32_t at = GetOffset();
  uint32_t end = at + GetCount();
  while (at < end) {
    uint32_t run = 0;
    const jchar* chars = (const jchar*)value->FindElement(at, &run);
    if (run == 0) break;  /* past the last element */
    if (run > end - at) run = end - at;
    for (uint32_t i = 0; i < run; i++) {
      jchar c;
      memcpy(&c, chars + i, sizeof c);
      h = h * 31 + c;
    }
    at += run;
  }
  return h;
}

jchar VMJavaLangString::Get(uint32_t index) { return GetValue()->Get(GetOffset() + index); }

uint32_t VMJavaLangString::UTF8Length() {
  VMcharArray* value = GetValue();
  uint32_t length = 0;
  uint32_t end = GetOffset() + GetCount();
  for (uint32_t i = GetOffset(); i < end; i++) length += VMLiteral::EncodedLength(value->Get(i));
  return length;
}

char* VMJavaLangString::MakeUTF8() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  uint32_t length = UTF8Length();
  if (length >= host->GetMaxAllocSize()) return nullptr;
  char* block = (char*)host->HeapAlloc(nullptr, length + 1, jallocFailFast);
  if (block == nullptr) return nullptr;
  VMcharArray* value = GetValue();
  uint32_t end = GetOffset() + GetCount();
  char* out = block;
  for (uint32_t i = GetOffset(); i < end; i++) out += VMLiteral::UnicodeToUTF8(value->Get(i), out);
  *out = 0;
  return block;
}

void VMJavaLangString::FreeUTF8(char* block) { VMUtils::GetHostFunctions()->HeapFree(nullptr, block); }

uint32_t VMJavaLangString::GetUTF8Piece(char* buffer, uint32_t room, uint32_t& written,
                                        uint32_t start) {
  written = 0;
  VMcharArray* value = GetValue();
  uint32_t offset = GetOffset();
  uint32_t end = offset + GetCount();
  uint32_t i = offset + start;
  /* Signed: a room below 3 writes nothing rather than running past the buffer. */
  while ((int64_t)written <= (int64_t)room - 3) {
    if (i >= end) return 0;
    written += VMLiteral::UnicodeToUTF8(value->Get(i), buffer + written);
    i++;
  }
  return i - offset;
}

VMLiteral* VMJavaLangString::MakeVMLiteral(VMNameSpace* ns) {
  char* text = MakeUTF8();
  if (text == nullptr) return nullptr;
  VMLiteral* literal = VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu);
  FreeUTF8(text);
  return literal;
}

void VMJavaLangString::Destroy(HHeap* heap) {
  VMcharArray* value = GetValue();
  if (value != nullptr) value->VMObject::Destroy(heap);
  VMObject::Destroy(heap);
}
