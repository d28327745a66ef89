/* A growable stack of object references that the collector can see. Its owner serialises
   access. */
#ifndef PUX_VMFILOQUEUE_H
#define PUX_VMFILOQUEUE_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmobject.h"
#include "vmstatus.h"
#include "vmarray.h"

class VMFiloQueue : public VMInternalObject {
 public:
  enum { Words = 4, RefMask = 0x1 };
  enum { ArrayWord = 0, TopWord = 1, IncrementWord = 2, HeapWord = 3 };

  /* An increment of 0 counts as 1: a queue that cannot grow would store past its end. */
  static VMFiloQueue* CreateInstance(HHeap* heap, uint32_t initial, uint32_t increment);
  static VMFiloQueue* Instantiate(HHeap* heap, uint32_t words, VMword mask);

  /* 0, or 19 when the stack cannot grow (nothing is stored then). */
  VMStatus EnQueue(VMObject* object);
  /* The object queued last and not taken yet; NULL when empty. */
  VMObject* DeQueue();
  /* heap must be the queue's own heap; the queue is freed through its own heap in any
     case. */
  void Destroy(HHeap* heap);

  VMObjectArray* GetArray() { return (VMObjectArray*)GetReference(ArrayWord); }
  uint32_t GetTop() { return GetScalar(TopWord); }
  uint32_t GetIncrement() { return GetScalar(IncrementWord); }
  HHeap* GetHeap() { return (HHeap*)GetScalar(HeapWord); }
};

/* The same stack, typed for monitors. */
class VMMonitorFiloQueue : public VMFiloQueue {
 public:
  static VMMonitorFiloQueue* CreateInstance(HHeap* heap, uint32_t initial, uint32_t increment) {
    return (VMMonitorFiloQueue*)VMFiloQueue::CreateInstance(heap, initial, increment);
  }
  VMStatus EnQueue(VMMonitor* monitor) { return VMFiloQueue::EnQueue((VMObject*)monitor); }
  VMMonitor* DeQueue() { return (VMMonitor*)VMFiloQueue::DeQueue(); }
};

#endif
