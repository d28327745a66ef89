/* The lock and wait queue of a heap object: a recursive lock on one host mutex, plus a
   wait queue on one host counting event and a count of waiting threads. Made the first
   time an object needs one and kept in the object's header monitor word.

   Ownership: only the owner ever releases a hold. An exit by a thread that does not own
   the monitor is refused with 38; a wait by such a thread releases nothing and takes
   nothing back; its notify posts as any other.

   Wake-ups: a post on the event may be taken by a thread that started waiting after
   the notify that made it, while the thread the notify was for still sits between
   releasing the monitor and reaching the event. Every waiter therefore draws a ticket,
   notifies and departures settle tickets in order, and a waiter that takes a post it is
   not yet entitled to hands it back; so a notify never wakes a newcomer in place of a
   thread that was already waiting. */
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
    SpinLockWord = 4,
    EventWord = 5,
    HeapWord = 6,
    TicketsDrawnWord = 7,    /* the InUseCount word: waiters' tickets handed out */
    TicketsSettledWord = 8   /* the MonitorNumber word: tickets notified or given up */
  };

  static VMMonitor* GetMonitorFor(VMNameSpace* ns, VMObject* object);
  static VMMonitor* CreateInstance(HHeap* heap, VMObject* object);
  static void ReleaseMonitorFor(VMObject* object);
  void Destroy(HHeap* heap);

  VMStatus DoMonitorEnter();
  VMStatus DoMonitorExit();
  VMStatus DoWait(jlong ms, VMThread* thread);
  VMStatus DoJavaWait(jlong ms, VMThread* thread);
  VMStatus DoNotify();
  VMStatus DoNotifyAll();

  /* Exits until free when the calling thread owns the monitor. */
  void Fini();

  void* GetOwner() const { return (void*)__atomic_load_n(&Body()[OwnerWord], __ATOMIC_ACQUIRE); }
  uint32_t GetOwnedCount() const { return GetScalar(OwnedCountWord); }
  int32_t GetWaitCount() const { return (int32_t)__atomic_load_n(&Body()[WaitCountWord], __ATOMIC_ACQUIRE); }
  void* GetMutex() const { return (void*)GetScalar(MutexWord); }
  void* GetSpinLock() const { return (void*)GetScalar(SpinLockWord); }
  void* GetEvent() const { return (void*)GetScalar(EventWord); }
  HHeap* GetHeap() const { return (HHeap*)GetScalar(HeapWord); }
  /* True when the calling host thread owns the monitor. */
  bool IsOwnedByCaller() const;

 private:
  static VMMonitor* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  void SetOwner(void* id) { __atomic_store_n(&Body()[OwnerWord], (VMword)id, __ATOMIC_RELEASE); }
  void SetOwnedCount(uint32_t n) { SetScalar(OwnedCountWord, n); }
  VMStatus Wait(jlong ms, VMThread* thread, bool java);
  /* Exits n levels / enters n levels on behalf of a waiter. */
  void ReleaseLevels(uint32_t n);
  VMStatus RetakeLevels(uint32_t n);
  /* Waits on the event until a post this waiter is entitled to, the time-out, a failure,
     a stop or an interrupt: 0 posted, 1 failed, 2 otherwise. */
  jint AwaitTicket(uint32_t ticket, jlong hostMs, VMThread* thread);
  bool Entitled(uint32_t ticket) const;
  void Settle(uint32_t n);
};

static_assert(sizeof(VMMonitor) == 20, "no fields beyond the header");

#endif
