/* One machine inside the host process. Only what storage needs is here so far: finding
   the calling thread's machine and asking it to collect. The machine Part replaces this
   file. */
#ifndef PUX_VM_H
#define PUX_VM_H

#include "vmobject.h"

class VM : public VMInternalObject {
 public:
  enum { HEAP_WORD = 0, NAME_SPACE_WORD = 6 };

  /* The machine of the calling host thread: word 1 of its JNIEnv is the JavaVM record,
     whose word 1 is the machine. NULL for a thread without an env. */
  static VM* Current();

  HHeap* GetHeap() const { return reinterpret_cast<HHeap*>(GetScalar(HEAP_WORD)); }
  VMNameSpace* GetNameSpace() const { return reinterpret_cast<VMNameSpace*>(GetScalar(NAME_SPACE_WORD)); }

  /* Seam: the collector is not there yet, so a collection frees nothing; it only counts
     the requests so that callers' retry paths can be exercised. */
  void GarbageCollect(bool softReferencesClearable);
  static uint32_t GetGarbageCollectRequests();
};

#endif
