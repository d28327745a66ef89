#include "vmfiloqueue.h"

#include "vmutils.h"

VMFiloQueue* VMFiloQueue::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMFiloQueue*)VMObject::CreateInternalNotToBeCalledDirectly(
      heap, words, mask, VMTag_VMFiloQueue, jallocFailFast);
}

VMFiloQueue* VMFiloQueue::CreateInstance(HHeap* heap, uint32_t initial, uint32_t increment) {
  if (increment == 0) increment = 1;
  VMFiloQueue* self = Instantiate(heap, Words, RefMask);
  if (self == nullptr) return nullptr;
  VMObjectArray* slots =
      VMObjectArray::CreateInstance(heap, initial, jallocFailFast, VMTag_VMFiloQueueArray);
  if (slots == nullptr) {
    self->VMObject::Destroy(heap);
    return nullptr;
  }
  self->SetReference(ArrayWord, (VMObject*)slots);
  self->SetScalar(TopWord, 0);
  self->SetScalar(IncrementWord, increment);
  self->SetScalar(HeapWord, (VMword)heap);
  return self;
}

VMStatus VMFiloQueue::EnQueue(VMObject* object) {
  VMObjectArray* slots = GetArray();
  uint32_t top = GetTop();
  uint32_t size = slots->GetSize();
  if (top >= size) {
    VMObjectArray* grown = VMObjectArray::CreateInstance(GetHeap(), size + GetIncrement(),
                                                         jallocFailFast, slots->GetTag());
    if (grown == nullptr) return VMStatus_OutOfMemoryError;
    grown->Copy(slots, 0, 0, size);
    SetReference(ArrayWord, (VMObject*)grown);
    slots->VMObject::Destroy(GetHeap());
    slots = grown;
  }
  slots->Set(top, object);
  SetScalar(TopWord, top + 1);
  return 0;
}

VMObject* VMFiloQueue::DeQueue() {
  uint32_t top = GetTop();
  if (top == 0) return nullptr;
  top--;
  SetScalar(TopWord, top);
  VMObjectArray* slots = GetArray();
  VMObject* object = slots->Get(top);
  slots->Set(top, nullptr);
  return object;
}

void VMFiloQueue::Destroy(HHeap* heap) {
  /* The check reports a caller's error; freeing through another heap than the queue's
     own would corrupt both, so the queue's own is used whatever was passed. */
  if (GetHeap() != heap) JNI_Assert("GetHeap() == heap", "jvmsource/javavm/vmfiloqueue", __LINE__);
  HHeap* own = GetHeap();
  VMObjectArray* slots = GetArray();
  if (slots != nullptr) slots->VMObject::Destroy(own);
  VMObject::Destroy(own);
}
