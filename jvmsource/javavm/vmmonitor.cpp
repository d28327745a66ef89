#include "vmmonitor.h"

#include "vmclass.h"
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
  monitor->SetScalar(EventWord, (VMword)VMUtils::EventSemaphoreCreate(object));
  monitor->SetScalar(MutexWord, (VMword)VMUtils::MutexCreate(object));
  if (monitor->GetEvent() == NULL || monitor->GetMutex() == NULL) {
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
  if (GetEvent() != NULL) host->EventSemaphoreDestroy(GetEvent());
  if (GetMutex() != NULL) host->MutexDestroy(GetMutex());
  SetScalar(EventWord, 0);
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
    if (thread != NULL) thread->SetMutexLockCount(thread->GetMutexLockCount() + 1);
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
    if (thread != NULL) thread->SetMutexLockCount(thread->GetMutexLockCount() - 1);
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

/* ---- notify ---- */

void VMMonitor::Settle(uint32_t n) {
  __atomic_fetch_add(&Body()[TicketsSettledWord], n, __ATOMIC_SEQ_CST);
}

bool VMMonitor::Entitled(uint32_t ticket) const {
  uint32_t settled = __atomic_load_n(&Body()[TicketsSettledWord], __ATOMIC_SEQ_CST);
  return (int32_t)(settled - ticket) > 0;
}

VMStatus VMMonitor::DoNotify() {
  __atomic_fetch_sub(&Body()[WaitCountWord], 1u, __ATOMIC_SEQ_CST);
  Settle(1);
  VMUtils::GetHostFunctions()->EventPost(GetEvent());
  return VMStatus_OK;
}

VMStatus VMMonitor::DoNotifyAll() {
  int32_t waiting = (int32_t)__atomic_exchange_n(&Body()[WaitCountWord], 0u, __ATOMIC_SEQ_CST);
  if (waiting <= 0) return VMStatus_OK;
  Settle((uint32_t)waiting);
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  for (int32_t i = 0; i < waiting; i++) host->EventPost(GetEvent());
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

jint VMMonitor::AwaitTicket(uint32_t ticket, jlong hostMs, VMThread* thread) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  jlong deadline = hostMs > 0 ? host->CurrentTimeMillis() + hostMs : 0;
  jlong ms = hostMs;
  uint32_t handedBack = 0;
  for (;;) {
    jint result = host->EventWait(GetEvent(), ms);
    if (result != 0) return result == 1 ? 1 : 2;
    if (Entitled(ticket)) return 0;
    // The post was made for a thread that waited before this one: give it back and
    // let that thread reach the event.
    host->EventPost(GetEvent());
    // An interrupt posts the event without a notify: the post may have been the
    // interrupter's, and this thread leaves as a timed-out one would.
    if (thread->GetInterrupted()) return 2;
    // That thread is a few instructions from the event; past a short while it has been
    // descheduled, and yielding gives way to it less surely than sleeping.
    host->Sleep(++handedBack < 16 ? 0 : 1);
    if (hostMs == 0) return 2;
    if (hostMs > 0) {
      ms = deadline - host->CurrentTimeMillis();
      if (ms <= 0) return 2;
    }
  }
}

VMStatus VMMonitor::Wait(jlong ms, VMThread* thread, bool java) {
  if (ms < 0) return VMStatus_IllegalArgumentException;
  VM_ASSERT(thread != NULL);
  if (thread == NULL) return VMStatus_InternalError;
  jlong hostMs = ms == 0 ? -1 : ms;

  __atomic_fetch_add(&Body()[WaitCountWord], 1u, __ATOMIC_SEQ_CST);
  uint32_t ticket = __atomic_fetch_add(&Body()[TicketsDrawnWord], 1u, __ATOMIC_SEQ_CST);
  // A caller that does not own the monitor holds no level of it to give up.
  uint32_t levels = IsOwnedByCaller() ? GetOwnedCount() : 0;
  ReleaseLevels(levels);

  VMStatus status = VMStatus_OK;
  if (thread->GetInterrupted()) {
    status = VMStatus_InterruptedException;
    thread->SetBlockedOn(NULL);
    thread->ClearInterrupted();
    hostMs = 0;
  } else {
    thread->SetBlockedOn(GetEvent());
    // An interrupt made just before the event was published here posted nothing: look
    // at the flag again now that an interrupter is sure to see the event.
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    if (thread->GetInterrupted()) hostMs = 0;
  }
  if (java) thread->SetSafeToGC();

  jint result = AwaitTicket(ticket, hostMs, thread);
  thread->SetBlockedOn(NULL);
  if (result != 0) Settle(1);  // this waiter gives its ticket up
  // Whatever happened, the thread runs again from here on and holds what it held.
  if (java) thread->ClearSafeToGC();
  VMStatus retaken = RetakeLevels(levels);
  if (result == 1) return VMStatus_VirtualMachineError;
  if (retaken != VMStatus_OK) return retaken;

  // The poll may long-jump (a posted exception, a failed wait for a collection); it
  // runs only now that the monitor is held again and the collector counts the thread
  // as running.
  if (java && thread->Yield() != 0) return VMStatus_ThreadDeath;
  if (thread->GetInterrupted()) {
    status = VMStatus_InterruptedException;
    thread->ClearInterrupted();
  }
  return status;
}

VMStatus VMMonitor::DoWait(jlong ms, VMThread* thread) { return Wait(ms, thread, false); }

VMStatus VMMonitor::DoJavaWait(jlong ms, VMThread* thread) { return Wait(ms, thread, true); }

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
