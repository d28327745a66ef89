/* The host-class-id caches of the stored-object writer and reader, the in-memory class
   descriptor, and the checks of stored names that both sides share. */
#include "vmserial.h"

#include "vmclass.h"
#include "vmliteral.h"

namespace vmserial {

int TypeCodeOfSignature(jchar first) {
  switch (first) {
    case 'Z': return 4;
    case 'C': return 5;
    case 'F': return 6;
    case 'D': return 7;
    case 'B': return 8;
    case 'S': return 9;
    case 'I': return 10;
    case 'J': return 11;
    case 'L':
    case '[': return 0;
    default: return -1;
  }
}

char SignatureOfTypeCode(int code) {
  static const char kLetters[] = "ZCFDBSIJ";
  return code >= 4 && code <= 11 ? kLetters[code - 4] : 0;
}

uint32_t SizeOfTypeCode(int code) {
  switch (code) {
    case 4:
    case 8: return 1;
    case 5:
    case 9: return 2;
    case 6:
    case 10: return 4;
    case 7:
    case 11: return 8;
    default: return 0;
  }
}

bool IsValidStoredClassName(const uint8_t* bytes, uint32_t length) {
  if (length == 0 || length > MAX_JAVA_NAME) return false;
  bool segmentEmpty = true;
  for (uint32_t i = 0; i < length; i++) {
    uint8_t c = bytes[i];
    if (c == '.' || c == ';' || c == '[' || c == 0) return false;
    if (c == '/') {
      if (segmentEmpty) return false;
      segmentEmpty = true;
    } else {
      segmentEmpty = false;
    }
  }
  return !segmentEmpty;
}

bool IsValidStoredFieldName(const uint8_t* bytes, uint32_t length) {
  if (length == 0 || length > MAX_JAVA_NAME) return false;
  for (uint32_t i = 0; i < length; i++) {
    uint8_t c = bytes[i];
    if (c == '.' || c == ';' || c == '[' || c == '/' || c == 0) return false;
  }
  return true;
}

}  // namespace vmserial

/* ---------------------------------------------------------------------------------- */
/* Caches                                                                              */

VMObjectCache* VMObjectCache::CreateInstance(HHeap* heap, uint32_t bits, VMword tag) {
  uint32_t size = (uint32_t)1 << (bits & 31);
  VMObjectCache* self = (VMObjectCache*)CreateInternalNotToBeCalledDirectly(heap, Words, RefMask, tag,
                                                                           jallocFailFast);
  if (self == NULL) return NULL;
  VMintArray* keys = VMintArray::CreateInstance(heap, size, jallocFailFast, VMTag_VMintArray);
  VMintArray* stamps = keys != NULL ? VMintArray::CreateInstance(heap, size, jallocFailFast, VMTag_VMintArray) : NULL;
  VMrefArray* values = stamps != NULL ? VMrefArray::CreateInstance(heap, size, jallocFailFast, VMTag_VMUserArrayInstance) : NULL;
  if (values == NULL) {
    if (stamps != NULL) stamps->VMObject::Destroy(heap);
    if (keys != NULL) keys->VMObject::Destroy(heap);
    self->VMObject::Destroy(heap);
    return NULL;
  }
  keys->SetIsScalarArray();
  stamps->SetIsScalarArray();
  self->SetReference(KeysWord, keys);
  self->SetReference(StampsWord, stamps);
  self->SetReference(ValuesWord, values);
  self->SetScalar(SizeWord, size);
  return self;
}

void VMObjectCache::Destroy(HHeap* heap) {
  if (VMObject* keys = GetReference(KeysWord)) keys->Destroy(heap);
  if (VMObject* stamps = GetReference(StampsWord)) stamps->Destroy(heap);
  if (VMObject* values = GetReference(ValuesWord)) values->Destroy(heap);
  VMObject::Destroy(heap);
}

void VMObjectCache::Clear() {
  VMintArray* keys = GetKeys();
  VMintArray* stamps = GetStamps();
  VMrefArray* values = GetValues();
  for (uint32_t i = 0; i < GetSize(); i++) {
    keys->Set(i, 0);
    stamps->Set(i, 0);
    values->Set(i, NULL);
  }
}

void VMObjectCache::Touch(uint32_t slot) {
  uint32_t counter = GetCounter() + 1;
  SetCounter(counter);
  GetStamps()->Set(slot, (jint)counter);
}

void VMObjectCache::Insert(uint32_t slot, jint key, VMObject* value) {
  VMintArray* keys = GetKeys();
  if (keys->Get(slot) != 0) {
    // A pair stays while hits on other slots have come since it was stored or found, and
    // fewer than twice the slot count of them: a busy pair is not pushed out by one
    // passing key. The age is taken modulo 2^32, so the counter may wrap.
    int32_t age = (int32_t)(GetCounter() - (uint32_t)GetStamps()->Get(slot));
    if (age >= 1 && age < (int32_t)(2 * GetSize())) return;
  }
  keys->Set(slot, key);
  GetStamps()->Set(slot, (jint)GetCounter());
  GetValues()->Set(slot, value);
}

VMLiteralToIdCache* VMLiteralToIdCache::CreateInstance(HHeap* heap, uint32_t bits) {
  return (VMLiteralToIdCache*)VMObjectCache::CreateInstance(heap, bits, VMTag_VMLiteralToIdCache);
}

void VMLiteralToIdCache::AddObject(jint id, VMLiteral* literal) {
  if (id == 0 || literal == NULL) return;
  Insert(literal->GetHash() & (GetSize() - 1), id, (VMObject*)literal);
}

jint VMLiteralToIdCache::FindId(VMLiteral* literal) {
  if (literal == NULL) return 0;
  uint32_t slot = literal->GetHash() & (GetSize() - 1);
  if (GetKeys()->Get(slot) == 0 || GetValues()->Get(slot) != (VMObject*)literal) return 0;
  Touch(slot);
  return GetKeys()->Get(slot);
}

VMIdToObjectCache* VMIdToObjectCache::CreateInstance(HHeap* heap, uint32_t bits) {
  return (VMIdToObjectCache*)VMObjectCache::CreateInstance(heap, bits, VMTag_VMIdToObjectCache);
}

void VMIdToObjectCache::AddObject(jint id, VMObject* object) {
  if (id == 0 || object == NULL) return;
  Insert((uint32_t)id & (GetSize() - 1), id, object);
}

VMObject* VMIdToObjectCache::FindObject(jint id) {
  if (id == 0) return NULL;
  uint32_t slot = (uint32_t)id & (GetSize() - 1);
  if (GetKeys()->Get(slot) != id) return NULL;
  Touch(slot);
  return GetValues()->Get(slot);
}

/* ---------------------------------------------------------------------------------- */
/* Class descriptors                                                                   */

VMClassDescriptor* VMClassDescriptor::CreateInstance(HHeap* heap, VMLiteral* name, uint32_t count) {
  if (count > vmserial::MAX_DESCRIPTOR_FIELDS) return NULL;
  VMClassDescriptor* self = (VMClassDescriptor*)CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMClassDescriptor, jallocFailFast);
  if (self == NULL) return NULL;
  self->SetReference(NameWord, (VMObject*)name);
  // Held while its member array is made, and let go on every path.
  self->SetIsReachableByCPlusPlusCode();
  VMDataMemberArray* members = VMDataMemberArray::CreateInstance(heap, count, jallocFailFast,
                                                                 VMTag_VMDataMemberArray);
  self->ClearIsReachableByCPlusPlusCode();
  if (members == NULL) {
    self->VMObject::Destroy(heap);
    return NULL;
  }
  self->SetReference(MembersWord, (VMObject*)members);
  return self;
}

void VMClassDescriptor::Destroy(HHeap* heap) {
  VMDataMemberArray* members = GetMembers();
  if (members != NULL) {
    for (uint32_t i = 0; i < members->GetSize(); i++) {
      VMDataMember* member = members->Get(i);
      if (member != NULL) member->Destroy(heap);
    }
    members->VMObject::Destroy(heap);
  }
  VMObject::Destroy(heap);
}
