/* The machine's record of an attached host thread. Only what storage and the host
   binding need is here so far; the thread Part replaces this file. */
#ifndef PUX_VMTHREAD_H
#define PUX_VMTHREAD_H

#include "vmobject.h"

class VMThread : public VMInternalObject {
 public:
  enum { MUTEX_LOCK_COUNT_WORD = 14 };

  /* The VMThread of the calling host thread: word 2 of its current JNIEnv; NULL for a
     thread without an env. */
  static VMThread* Current();

  /* Host mutexes (and monitor levels) the thread holds. */
  int32_t GetMutexLockCount() const { return (int32_t)GetScalar(MUTEX_LOCK_COUNT_WORD); }
  void SetMutexLockCount(int32_t value) { SetScalar(MUTEX_LOCK_COUNT_WORD, (VMword)value); }
};

#endif
