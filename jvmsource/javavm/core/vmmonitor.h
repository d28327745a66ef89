/* The lock and wait queue of a heap object: a recursive lock on one host mutex, plus a
   queue of waiting threads and a count of waiting threads. Made the first time an
   object needs one and kept in the object's header monitor word.

   Ownership: only the owner ever releases a hold. An exit by a thread that does not own
   the monitor is refused with 38; a wait by such a thread releases nothing and takes
   nothing back; its notify wakes a waiter as any other.

   Wake-ups: every waiter puts a record in the queue, in arrival order, and sleeps on the
   wake event of its own thread. A notify takes the oldest record out and posts that
   thread's event; a waiter that gives up (time-out, interrupt, stop) takes its own record
   out. So a post can never be taken by another thread, and an interrupt, which posts the
   event the thread names in its BlockedOn word, wakes that thread and no other. The queue
   and the wait count change only under the monitor's queue lock, a second host mutex
   held for a few instructions and never across a wait (taken raw: it is no hold of the
   thread's); the owner's mutex cannot serve, since a thread that does not own the
   monitor may notify and wait too. (A host spin lock would do, but the reference host's
   sleeps a little when contended, which a notify and a leaving waiter often are.)

   The wait count is the number of queued waiters less notifications made while nobody
   waited; such a notification is kept, and the next wait returns at once. */
#ifndef PUX_VMMONITOR_H
#define PUX_VMMONITOR_H

#include "vmobject.h"
#include "vmstatus.h"

class VMMonitor : public VMInternalObject {
 public:
  enum { Words = 9, RefMask = 0 };
  enum {
    OwnerWord = 0,
    OwnedCountWord = 1,
    WaitCountWord = 2,
    MutexWord = 3,
    QueueLockWord = 4,   /* the SpinLock word: the host mutex over the queue */
    EventWord = 5,       /* unused: every waiter sleeps on its own thread's event */
    HeapWord = 6,
    QueueHeadWord = 7,   /* the InUseCount word: the oldest waiter's record */
    QueueTailWord = 8    /* the MonitorNumber word: the newest waiter's record */
  };

  static VMMonitor* GetMonitorFor(VMNameSpace* ns, VMObject* object);
  static VMMonitor* CreateInstance(HHeap* heap, VMObject* object);
  static void ReleaseMonitorFor(VMObject* object);
  void Destroy(HHeap* heap);

  VMStatus DoMonitorEnter();
  VMStatus DoMonitorExit();
  VMStatus DoWait(jlong ms, VMThread* thread);
  VMStatus DoJavaWait(jlong ms, VMThread* thread);
  /* Waits that let the host move the machine while they wait (a safe region around
     DoWait, Object.wait) or stand at their poll: they go on with the thread's record and
     the monitor read again, through env (whose thread word a move rewrites) and handle,
     a reference env holds to the monitor's object, or NULL for an object of the name
     space's heap, which never moves. */
  VMStatus DoWait(JNIEnv* env, jobject handle, jlong ms);
  VMStatus DoJavaWait(JNIEnv* env, jobject handle, jlong ms);
  /* As DoWait, but neither an interrupt nor a host stop ends it, and the interrupt flag
     is left as it is: for machine code that parks a thread until a condition it checks
     under this monitor changes (the collector's park). Returns 0 (notified or timed
     out) or 17. */
  VMStatus DoUninterruptibleWait(jlong ms, VMThread* thread);
  /* The same for a caller that stands declared: the record is read again through env. */
  VMStatus DoUninterruptibleWait(JNIEnv* env, jlong ms);
  VMStatus DoNotify();
  VMStatus DoNotifyAll();

  /* Exits until free when the calling thread owns the monitor. */
  void Fini();

  void* GetOwner() const { return (void*)__atomic_load_n(&Body()[OwnerWord], __ATOMIC_ACQUIRE); }
  uint32_t GetOwnedCount() const { return GetScalar(OwnedCountWord); }
  int32_t GetWaitCount() const { return (int32_t)__atomic_load_n(&Body()[WaitCountWord], __ATOMIC_ACQUIRE); }
  void* GetMutex() const { return (void*)GetScalar(MutexWord); }
  void* GetQueueLock() const { return (void*)GetScalar(QueueLockWord); }
  HHeap* GetHeap() const { return (HHeap*)GetScalar(HeapWord); }
  /* True when the calling host thread owns the monitor. */
  bool IsOwnedByCaller() const;

 private:
  enum WaitKind { MachineKind, JavaKind, UninterruptibleKind };
  struct WaitRecord;

  static VMMonitor* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  void SetOwner(void* id) { __atomic_store_n(&Body()[OwnerWord], (VMword)id, __ATOMIC_RELEASE); }
  void SetOwnedCount(uint32_t n) { SetScalar(OwnedCountWord, n); }
  void SetWaitCount(int32_t n) { __atomic_store_n(&Body()[WaitCountWord], (VMword)n, __ATOMIC_RELEASE); }
  VMStatus Wait(jlong ms, VMThread* thread, WaitKind kind, JNIEnv* env, jobject handle);
  /* Exits n levels / enters n levels on behalf of a waiter. */
  void ReleaseLevels(uint32_t n);
  VMStatus RetakeLevels(uint32_t n);
  /* Queue operations; each takes and releases the queue lock. */
  bool LockQueue();
  void UnlockQueue();
  bool Enqueue(WaitRecord* record);
  /* Takes the record out if it is still queued; true when a notify took it first. */
  bool Settle(WaitRecord* record);
  /* Wakes the oldest waiter, under the queue lock. */
  void WakeOldest();
};

static_assert(sizeof(VMMonitor) == 20, "no fields beyond the header");

#endif
