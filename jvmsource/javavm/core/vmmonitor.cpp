#include "vmmonitor.h"

#include "vmclass.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

/* ---- creation and destruction ---- */

VMMonitor* VMMonitor::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMMonitor*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMMonitor,
                                                         jallocFailFast);
}

VMMonitor* VMMonitor::CreateInstance(HHeap* heap, VMObject* object) {
  VMMonitor* monitor = Instantiate(heap, Words, RefMask);
  if (monitor == NULL) return NULL;
  monitor->SetScalar(HeapWord, (VMword)heap);
  monitor->SetScalar(MutexWord, (VMword)VMUtils::MutexCreate(object));
  monitor->SetScalar(QueueLockWord, (VMword)VMUtils::MutexCreate(object));
  if (monitor->GetMutex() == NULL || monitor->GetQueueLock() == NULL) {
    monitor->Destroy(heap);
    return NULL;
  }
  monitor->SetOwner(NULL);
  return monitor;
}

static VMMonitor** MonitorWordOf(VMObject* object) {
  // Header word 3 of every block.
  return reinterpret_cast<VMMonitor**>(reinterpret_cast<VMword*>(object) + 3);
}

VMMonitor* VMMonitor::GetMonitorFor(VMNameSpace* ns, VMObject* object) {
  VMMonitor** word = MonitorWordOf(object);
  VMMonitor* installed = __atomic_load_n(word, __ATOMIC_ACQUIRE);
  if (installed != NULL) return installed;
  if (ns == NULL) return NULL;
  VMMonitor* made = CreateInstance(ns->GetHeap(), object);
  if (made == NULL) return NULL;
  installed = __sync_val_compare_and_swap(word, (VMMonitor*)NULL, made);
  if (installed != NULL) {
    made->Destroy(made->GetHeap());
    return installed;
  }
  return made;
}

void VMMonitor::ReleaseMonitorFor(VMObject* object) {
  VMMonitor* monitor = object->GetMonitor();
  if (monitor == NULL) return;
  monitor->Destroy(monitor->GetHeap());
  object->SetMonitor(NULL);
}

void VMMonitor::Destroy(HHeap* heap) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (GetQueueLock() != NULL) host->MutexDestroy(GetQueueLock());
  if (GetMutex() != NULL) host->MutexDestroy(GetMutex());
  SetScalar(QueueLockWord, 0);
  SetScalar(MutexWord, 0);
  VMObject::Destroy(heap);
}

/* ---- enter and exit ---- */

bool VMMonitor::IsOwnedByCaller() const {
  return GetOwner() == VMUtils::GetHostFunctions()->CurrentThreadId();
}

VMStatus VMMonitor::DoMonitorEnter() {
  void* me = VMUtils::GetHostFunctions()->CurrentThreadId();
  if (GetOwner() == me) {
    VMThread* thread = VMThread::Current();
    if (thread != NULL) {
      thread->SetMutexLockCount(thread->GetMutexLockCount() + 1);
      thread->AddHostMutexCount(1);
    }
    SetOwnedCount(GetOwnedCount() + 1);
    return VMStatus_OK;
  }
  if (!VMUtils::MutexLock(GetMutex())) return VMStatus_VirtualMachineError;
  SetOwner(me);
  SetOwnedCount(GetOwnedCount() + 1);
  return VMStatus_OK;
}

VMStatus VMMonitor::DoMonitorExit() {
  // A thread that does not own the monitor must never release the owner's hold; a
  // free monitor has no owner, so an exit at count 0 is refused here as well.
  if (!IsOwnedByCaller()) return VMStatus_IllegalMonitorStateException;
  uint32_t count = GetOwnedCount();
  VM_ASSERT(count != 0);
  SetOwnedCount(count - 1);
  if (count > 1) {
    VMThread* thread = VMThread::Current();
    if (thread != NULL) {
      thread->SetMutexLockCount(thread->GetMutexLockCount() - 1);
      thread->AddHostMutexCount(-1);
    }
    return VMStatus_OK;
  }
  SetOwner(NULL);
  VMUtils::MutexUnlock(GetMutex());
  return VMStatus_OK;
}

void VMMonitor::Fini() {
  if (!IsOwnedByCaller()) return;
  while (GetOwnedCount() > 0 && DoMonitorExit() == VMStatus_OK) {
  }
}

/* ---- the wait queue ---- */

/* One waiting thread, on that thread's stack for the time of its wait: the wait leaves
   only after taking the record out of the queue (or finding it taken out by a notify),
   and nothing long-jumps out of a wait before that. */
struct VMMonitor::WaitRecord {
  WaitRecord* next;
  void* event;       /* the waiting thread's wake event */
  VMword notified;   /* set under the queue lock by the notify that takes the record */
};

bool VMMonitor::LockQueue() { return VMUtils::GetHostFunctions()->MutexLock(GetQueueLock()) != 0; }

void VMMonitor::UnlockQueue() { VMUtils::GetHostFunctions()->MutexUnlock(GetQueueLock()); }

bool VMMonitor::Enqueue(WaitRecord* record) {
  if (!LockQueue()) return false;
  int32_t count = GetWaitCount();
  if (count < 0) {
    // A notification made while nobody waited is this waiter's.
    record->notified = 1;
  } else {
    WaitRecord* tail = (WaitRecord*)GetScalar(QueueTailWord);
    if (tail != NULL)
      tail->next = record;
    else
      SetScalar(QueueHeadWord, (VMword)record);
    SetScalar(QueueTailWord, (VMword)record);
  }
  SetWaitCount(count + 1);
  UnlockQueue();
  return true;
}

void VMMonitor::WakeOldest() {
  SetWaitCount(GetWaitCount() - 1);
  WaitRecord* head = (WaitRecord*)GetScalar(QueueHeadWord);
  if (head == NULL) return;  // kept for the next waiter
  SetScalar(QueueHeadWord, (VMword)head->next);
  if (head->next == NULL) SetScalar(QueueTailWord, 0);
  head->next = NULL;
  __atomic_store_n(&head->notified, 1u, __ATOMIC_RELEASE);
  // Under the queue lock: the waiter cannot leave, and its thread cannot go, before this.
  VMUtils::GetHostFunctions()->EventPost(head->event);
}

bool VMMonitor::Settle(WaitRecord* record) {
  // The record must not outlive its frame in the queue; the lock fails only on a host
  // that broke its contract, and then trying again is all that is left.
  while (!LockQueue()) VMUtils::GetHostFunctions()->Sleep(0);
  bool notified = __atomic_load_n(&record->notified, __ATOMIC_ACQUIRE) != 0;
  if (!notified) {
    WaitRecord* previous = NULL;
    WaitRecord* r = (WaitRecord*)GetScalar(QueueHeadWord);
    while (r != NULL && r != record) {
      previous = r;
      r = r->next;
    }
    VM_ASSERT(r == record);
    if (r == record) {
      if (previous != NULL)
        previous->next = record->next;
      else
        SetScalar(QueueHeadWord, (VMword)record->next);
      if (GetScalar(QueueTailWord) == (VMword)record) SetScalar(QueueTailWord, (VMword)previous);
      SetWaitCount(GetWaitCount() - 1);
    }
  }
  UnlockQueue();
  return notified;
}

/* ---- notify ---- */

VMStatus VMMonitor::DoNotify() {
  if (!LockQueue()) return VMStatus_VirtualMachineError;
  WakeOldest();
  UnlockQueue();
  return VMStatus_OK;
}

VMStatus VMMonitor::DoNotifyAll() {
  if (!LockQueue()) return VMStatus_VirtualMachineError;
  while (GetScalar(QueueHeadWord) != 0) WakeOldest();
  SetWaitCount(0);
  UnlockQueue();
  return VMStatus_OK;
}

/* ---- wait ---- */

void VMMonitor::ReleaseLevels(uint32_t n) {
  for (uint32_t i = 0; i < n; i++) DoMonitorExit();
}

VMStatus VMMonitor::RetakeLevels(uint32_t n) {
  for (uint32_t i = 0; i < n; i++) {
    VMStatus status = DoMonitorEnter();
    if (status != VMStatus_OK) return status;
  }
  return VMStatus_OK;
}

VMStatus VMMonitor::Wait(jlong ms, VMThread* thread, WaitKind kind, JNIEnv* env, jobject handle) {
  if (ms < 0) return VMStatus_IllegalArgumentException;
  VM_ASSERT(thread != NULL);
  if (thread == NULL) return VMStatus_InternalError;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  void* event = thread->GetWakeEvent();
  if (event == NULL) return VMStatus_VirtualMachineError;
  // The host takes the time-out as it comes, up to the largest; 0 means without limit.
  jlong hostMs = ms == 0 ? -1 : ms;
  const bool interruptible = kind != UninterruptibleKind;

  // Posts made for an earlier wait of this thread (a notify that came as it gave up, an
  // interrupt that came as it left) must not end this one.
  jint drained;
  while ((drained = host->EventWait(event, 0)) == 0) {
  }
  if (drained == 1) return VMStatus_VirtualMachineError;

  // Queued while the caller still holds the monitor: a notify made once it lets go
  // finds the record.
  WaitRecord record = {NULL, event, 0};
  if (!Enqueue(&record)) return VMStatus_VirtualMachineError;
  // A caller that does not own the monitor holds no level of it to give up.
  uint32_t levels = IsOwnedByCaller() ? GetOwnedCount() : 0;
  ReleaseLevels(levels);

  // An interrupter sets the flag and posts BlockedOn holding the thread's mutex, so
  // either it sees the event here or this test sees its flag. The mutex is a leaf held
  // for a few instructions: taken raw, it does not count as a hold of this thread.
  // Declared (a safe region around DoWait), the thread may have blocked for the queue's
  // lock or its own while the host moved the machine: its record is read again after each.
  VMStatus status = VMStatus_OK;
  if (env != NULL) thread = env->thread;
  void* threadMutex = thread->GetMutex();
  if (interruptible) {
    host->MutexLock(threadMutex);
    if (env != NULL) thread = env->thread;
    if (thread->GetInterrupted()) {
      status = VMStatus_InterruptedException;
      thread->ClearInterrupted();
      hostMs = 0;
    } else {
      thread->SetBlockedOn(event);
    }
    host->MutexUnlock(threadMutex);
  }
  if (kind == JavaKind) {
    thread->SetSafeToGC();
    // The host's stop is sticky, but the wake it gives a blocking wait may have gone to
    // another wait since: a stopped thread does not block.
    if (host->YieldCheck() != 0) hostMs = 0;
  }

  jint result = 2;
  while (hostMs != 0 && __atomic_load_n(&record.notified, __ATOMIC_ACQUIRE) == 0) {
    result = host->EventWait(event, hostMs);
    // Only a wait without limit that nothing may end but a notify goes back to sleep
    // (the host wakes a blocking wait once for a stop).
    if (interruptible || hostMs > 0 || result != 2) break;
  }

  // The host may have moved the machine meanwhile, this record and monitor with it (the
  // queued record, the event and the mutexes are the host's and stay where they are);
  // likewise at the poll below.
  VMMonitor* self = this;
  if (env != NULL) {
    thread = env->thread;
    if (handle != NULL) self = VMJniHandle::UnHandle(env, handle)->GetMonitor();
  }

  if (interruptible) {
    // After this no interrupter can post for this wait any more.
    host->MutexLock(threadMutex);
    if (env != NULL) thread = env->thread;
    thread->SetBlockedOn(NULL);
    host->MutexUnlock(threadMutex);
  }
  bool notified = self->Settle(&record);
  // Still declared (a Java wait's mark is cleared only below): the queue's lock may have
  // let the host move the machine.
  if (env != NULL) thread = env->thread;
  // Whatever happened, the thread runs again from here on and holds what it held.
  if (kind == JavaKind) thread->ClearSafeToGC();
  VMStatus retaken = self->RetakeLevels(levels);
  // A wait in a safe region retakes the monitor there: the machine may move meanwhile.
  if (env != NULL) thread = env->thread;
  if (retaken != VMStatus_OK || (result == 1 && !notified)) {
    // A notification this wait took is never lost with it: the next waiter gets it.
    if (notified) self->DoNotify();
    return retaken != VMStatus_OK ? retaken : VMStatus_VirtualMachineError;
  }

  if (kind == JavaKind) {
    // The poll may long-jump (a posted exception, a failed wait for a collection); it
    // runs only now that the monitor is held again and the collector counts the thread
    // as running. A collector posts its request before it reads SafeToGC, and this reads
    // the request after clearing it.
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    if (notified && thread->GetYieldToPostException()) {
      self->DoNotify();
      notified = false;
    }
    const int stopped = thread->Yield();
    if (env != NULL) {
      thread = env->thread;
      if (handle != NULL) self = VMJniHandle::UnHandle(env, handle)->GetMonitor();
    }
    if (stopped != 0) {
      if (notified) self->DoNotify();
      return VMStatus_ThreadDeath;
    }
  }
  if (interruptible && status == VMStatus_OK && thread->GetInterrupted()) {
    status = VMStatus_InterruptedException;
    thread->ClearInterrupted();
  }
  if (status != VMStatus_OK && notified) self->DoNotify();
  return status;
}

VMStatus VMMonitor::DoWait(jlong ms, VMThread* thread) { return Wait(ms, thread, MachineKind, NULL, NULL); }

VMStatus VMMonitor::DoWait(JNIEnv* env, jobject handle, jlong ms) {
  return Wait(ms, env->thread, MachineKind, env, handle);
}

VMStatus VMMonitor::DoJavaWait(jlong ms, VMThread* thread) { return Wait(ms, thread, JavaKind, NULL, NULL); }

VMStatus VMMonitor::DoJavaWait(JNIEnv* env, jobject handle, jlong ms) {
  return Wait(ms, env->thread, JavaKind, env, handle);
}

VMStatus VMMonitor::DoUninterruptibleWait(jlong ms, VMThread* thread) {
  return Wait(ms, thread, UninterruptibleKind, NULL, NULL);
}

VMStatus VMMonitor::DoUninterruptibleWait(JNIEnv* env, jlong ms) {
  return Wait(ms, env->thread, UninterruptibleKind, env, NULL);
}

/* ---- the object's monitor operations ---- */

static VMNameSpace* NameSpaceOfClass(VMObject* object) {
  VMClass* cls = object->GetClass();
  return cls != NULL ? cls->GetNameSpace() : NULL;
}

VMStatus VMObject::MonitorEnter(VMNameSpace* ns) {
  VMMonitor* m = VMMonitor::GetMonitorFor(ns, this);
  return m == NULL ? VMStatus_OutOfMemoryError : m->DoMonitorEnter();
}

VMStatus VMObject::MonitorExit(VMNameSpace* ns) {
  VMMonitor* m = VMMonitor::GetMonitorFor(ns, this);
  return m == NULL ? VMStatus_OutOfMemoryError : m->DoMonitorExit();
}

VMStatus VMObject::Wait(VMNameSpace* ns, jlong ms, VMThread* thread) {
  VMMonitor* m = VMMonitor::GetMonitorFor(ns, this);
  return m == NULL ? VMStatus_OutOfMemoryError : m->DoWait(ms, thread);
}

VMStatus VMObject::JavaWait(VMNameSpace* ns, jlong ms, VMThread* thread) {
  VMMonitor* m = VMMonitor::GetMonitorFor(ns, this);
  return m == NULL ? VMStatus_OutOfMemoryError : m->DoJavaWait(ms, thread);
}

VMStatus VMObject::Notify(VMNameSpace* ns) {
  VMMonitor* m = VMMonitor::GetMonitorFor(ns, this);
  return m == NULL ? VMStatus_OutOfMemoryError : m->DoNotify();
}

VMStatus VMObject::NotifyAll(VMNameSpace* ns) {
  VMMonitor* m = VMMonitor::GetMonitorFor(ns, this);
  return m == NULL ? VMStatus_OutOfMemoryError : m->DoNotifyAll();
}

VMStatus VMObject::MonitorEnter() { return MonitorEnter(NameSpaceOfClass(this)); }
VMStatus VMObject::MonitorExit() { return MonitorExit(NameSpaceOfClass(this)); }
VMStatus VMObject::Wait(jlong ms, VMThread* thread) { return Wait(NameSpaceOfClass(this), ms, thread); }
VMStatus VMObject::JavaWait(jlong ms, VMThread* thread) {
  return JavaWait(NameSpaceOfClass(this), ms, thread);
}
VMStatus VMObject::Notify() { return Notify(NameSpaceOfClass(this)); }
VMStatus VMObject::NotifyAll() { return NotifyAll(NameSpaceOfClass(this)); }

VMStatus VMObject::MonitorFini() {
  VMMonitor* m = GetMonitor();
  if (m != NULL) m->Fini();
  return VMStatus_OK;
}
