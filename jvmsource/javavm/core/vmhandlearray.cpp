#include "vmhandlearray.h"

#include "vmutils.h"

/* Internal objects are made with allocation kind 1: their owners report a refusal. */
VMHandleArray* VMHandleArray::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMHandleArray*)VMObject::CreateInternalNotToBeCalledDirectly(
      heap, words, mask, VMTag_VMHandleArray, jallocFailFast);
}

VMHandleArray* VMHandleArray::CreateInstance(HHeap* heap, VMword elementTag, uint32_t initial,
                                             uint32_t increment) {
  if (initial == 0) initial = 1;
  if (increment == 0) increment = 1;
  VMHandleArray* self = Instantiate(heap, Words, RefMask);
  if (self == nullptr) return nullptr;
  VMObjectArray* slots = VMObjectArray::CreateInstance(heap, initial, jallocFailFast, elementTag);
  if (slots == nullptr) {
    self->VMObject::Destroy(heap);
    return nullptr;
  }
  self->SetArray(slots);
  self->SetCount(1);
  self->SetScalar(InitialWord, initial);
  self->SetScalar(IncrementWord, increment);
  self->SetScalar(HeapWord, (VMword)heap);
  self->SetScalar(FlagsWord, 0);
  self->SetReference(OwnersWord, nullptr);
  return self;
}

uint32_t VMHandleArray::GrownSize(uint32_t index) {
  uint32_t size = GetArray()->GetSize();
  uint32_t increment = GetIncrement();
  if (index > 0xFFFFFFFFu - increment) return 0;
  uint32_t want = index + increment;
  if (size <= 0x7FFFFFFFu && want < size * 2) want = size * 2;
  return want;
}

VMStatus VMHandleArray::Resize(uint32_t index) {
  VMObjectArray* slots = GetArray();
  uint32_t size = slots->GetSize();
  if (index >= size) {
    uint32_t want = GrownSize(index);
    if (want == 0) return VMStatus_OutOfMemoryError;
    VMObjectArray* grown = VMObjectArray::CreateInstance(GetHeap(), want, jallocFailFast, slots->GetTag());
    if (grown == nullptr) return VMStatus_OutOfMemoryError;
    grown->Copy(slots, 0, 0, size);
    SetArray(grown);
    slots->VMObject::Destroy(GetHeap());
  }
  if (GetCount() < index + 1) SetCount(index + 1);
  return 0;
}

VMStatus VMHandleArray::GrowKeepingOld(uint32_t index, bool owned) {
  VMObjectArray* slots = GetArray();
  uint32_t size = slots->GetSize();
  uint32_t want = index >= size ? GrownSize(index) : size;
  if (want == 0) return VMStatus_OutOfMemoryError;
  // The owner words are read and written only by writers, under the caller's exclusion:
  // the old ones go at once.
  VMintArray* owners = GetOwners();
  if (owned && (owners == nullptr || owners->GetSize() < want)) {
    VMintArray* more = VMintArray::CreateInstance(GetHeap(), want, jallocFailFast, VMTag_VMintArray);
    if (more == nullptr) return VMStatus_OutOfMemoryError;
    if (owners != nullptr) {
      more->Copy(owners, 0, 0, owners->GetSize());
      owners->VMObject::Destroy(GetHeap());
    }
    SetReference(OwnersWord, (VMObject*)more);
  }
  if (index >= size) {
    VMObjectArray* grown = VMObjectArray::CreateInstance(GetHeap(), want, jallocFailFast, slots->GetTag());
    if (grown == nullptr) return VMStatus_OutOfMemoryError;
    grown->Copy(slots, 0, 0, size);
    grown->Set(0, (VMObject*)slots);
    // Everything of the new array is written before a reader can find it.
    __atomic_store_n(&Body()[ArrayWord], (VMword)grown, __ATOMIC_RELEASE);
  }
  if (GetCount() < index + 1) SetCount(index + 1);
  return 0;
}

void VMHandleArray::FreeRetired() {
  VMObjectArray* slots = GetArray();
  if (slots == nullptr || slots->GetSize() == 0 || GetIsbeingAllocated()) return;
  VMObjectArray* retired = (VMObjectArray*)slots->Get(0);
  slots->Set(0, nullptr);
  while (retired != nullptr) {
    VMObjectArray* older = retired->GetSize() > 0 ? (VMObjectArray*)retired->Get(0) : nullptr;
    retired->VMObject::Destroy(GetHeap());
    retired = older;
  }
}

uint32_t VMHandleArray::FindFree() {
  VMObjectArray* slots = GetArray();
  uint32_t count = GetCount();
  uint32_t index = GetFreeHint();
  while (index < count && slots->Get(index) != nullptr) index++;
  SetFreeHint(index);
  return index < count ? index : 0;
}

void VMHandleArray::ClearOwned(uint32_t first, VMword owner) {
  // ClearIfOwned for each slot, with the arrays read once: a request bracket's deletion
  // passes here twice.
  VMObjectArray* slots = GetArray();
  VMintArray* owners = GetOwners();
  const uint32_t count = GetCount();
  if (first < 1) first = 1;
  const uint32_t recorded = owners == nullptr ? 0 : owners->GetSize() < count ? owners->GetSize() : count;
  for (uint32_t i = first; i < recorded; i++) {
    if ((VMword)owners->Get(i) != owner || slots->Get(i) == nullptr) continue;
    slots->Set(i, nullptr);
    owners->Set(i, 0);
    LowerFreeHint(i);
  }
  DropEmptyTop();
}

uint32_t VMHandleArray::Find(VMObject* object) {
  VMObjectArray* slots = GetArray();
  uint32_t count = GetCount();
  for (uint32_t i = 1; i < count; i++) {
    if (slots->Get(i) == object) return i;
  }
  return 0;
}

VMStatus VMHandleArray::AddAt(uint32_t index, VMObject* object) {
  VMStatus status = Resize(index);
  if (status != 0) return status;
  GetArray()->Set(index, object);
  if (object == nullptr) LowerFreeHint(index);
  return 0;
}

uint32_t VMHandleArray::Append(VMObject* object) {
  if (object == nullptr) return 0;
  uint32_t index = GetCount();
  return AddAt(index, object) == 0 ? index : 0;
}

uint32_t VMHandleArray::Add(VMObject* object) {
  /* A NULL would occupy a free slot that Find(NULL) hands out again at once. */
  if (object == nullptr) return 0;
  VMObjectArray* slots = GetArray();
  uint32_t count = GetCount();
  uint32_t index = GetFreeHint();
  while (index < count && slots->Get(index) != nullptr) index++;
  if (index >= count) {
    index = Append(object);
    if (index != 0) SetFreeHint(index + 1);
    return index;
  }
  slots->Set(index, object);
  SetFreeHint(index + 1);
  return index;
}

void VMHandleArray::Delete(uint32_t index) {
  uint32_t count = GetCount();
  if (index == 0 || index >= count) return;
  if (index + 1 != count) {
    GetArray()->Set(index, nullptr);
    LowerFreeHint(index);
    return;
  }
  VMObjectArray* slots = GetArray();
  uint32_t highest = 0;
  for (uint32_t i = index - 1; i >= 1; i--) {
    if (slots->Get(i) != nullptr) {
      highest = i;
      break;
    }
  }
  Clear(highest + 1);
}

void VMHandleArray::Clear(uint32_t first) {
  if (first < 1) JNI_Assert("first >= 1", "jvmsource/javavm/vmhandlearray", __LINE__);
  if (first < 1) first = 1;
  VMObjectArray* slots = GetArray();
  uint32_t count = GetCount();
  for (uint32_t i = first; i < count; i++) slots->Set(i, nullptr);
  if (first < count) SetCount(first);
  LowerFreeHint(first);
}

VMObject* VMHandleArray::Get(uint32_t index) {
  VMObjectArray* slots = GetArray();
  return index < slots->GetSize() ? slots->Get(index) : nullptr;
}

void VMHandleArray::Destroy(HHeap* heap) {
  /* Freeing a block through another heap than its own corrupts both. */
  if (GetHeap() != heap) JNI_Assert("GetHeap() == heap", "jvmsource/javavm/vmhandlearray", __LINE__);
  HHeap* own = GetHeap();
  VMObjectArray* slots = GetArray();
  if (VMintArray* owners = GetOwners()) owners->VMObject::Destroy(own);
  // Arrays retired by GrowKeepingOld hang off slot 0, each off the next.
  while (slots != nullptr) {
    VMObjectArray* older = slots->GetSize() > 0 ? (VMObjectArray*)slots->Get(0) : nullptr;
    slots->VMObject::Destroy(own);
    slots = older;
  }
  VMObject::Destroy(own);
}
