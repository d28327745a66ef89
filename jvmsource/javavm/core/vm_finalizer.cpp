/* The finalizer thread of a machine: a daemon the machine starts for itself, on a host
   thread of its own, which runs the finalizers of the objects that collections found
   due, one at a time, oldest first.

   No collection and no poll runs a finalizer while it serves: a finalizer then never
   runs on a thread the host or the program runs for itself, where the host's stops, its
   waits and the program's own locks (a class it is initialising) would land in it. A
   collection puts what fell due on the machine's due list and lets the machine go; its
   release notifies the machine's monitor, on which the finalizer thread waits declared
   (the host may move the machine meanwhile). The first collection that finds objects
   due asks the host for the thread; its record and its Thread object were made at the
   machine's creation, so that a heap full of due objects cannot refuse them.

   Progress is counted: each object that joins the due list raises the queued count, and
   each the thread finishes (or a fallback pass, or the exit-time pass takes) raises the
   done count. A caller that waits for the finalizers due at its call waits until done
   reaches the queued count it read, notified by the thread after each finalizer while
   somebody waits, and gives up when no finalizer has begun for kPassStallMillis (a
   finalizer waiting for the caller itself, say). If the host refuses the thread,
   finalizers fall back to passes on the machine's own threads (VM::RunFinalizersDue). */
#include "vm.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

int VMJniAttachFinalizerThread(JavaVM* javaVM, JNIEnv** envOut);

namespace {

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

VMword Load(VM* vm, uint32_t word) { return __atomic_load_n(&vm->Body()[word], __ATOMIC_ACQUIRE); }

/* The longest the idle thread sleeps between looks when nothing wakes it. */
const jlong kIdleStepMillis = 10000;

/* Whether a count has reached a target read earlier (both wrap together). */
bool Reached(VMword count, VMword target) { return (int32_t)(count - target) >= 0; }

/* The machine's own monitor: the collector's park and release use it, and it lives on
   the name space's heap, where no move of the machine reaches it. */
VMMonitor* MonitorOf(VM* vm) {
  VMNameSpace* ns = vm->GetNameSpace();
  return ns != NULL ? VMMonitor::GetMonitorFor(ns, vm) : NULL;
}

/* Wakes everything waiting on the machine's monitor: the finalizer thread, or the
   callers waiting for its progress. */
void NotifyMachine(VM* vm) {
  VMMonitor* monitor = MonitorOf(vm);
  if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) return;
  (void)monitor->DoNotifyAll();
  (void)monitor->DoMonitorExit();
}

/* Serves a collection another thread has claimed, as a poll would: the thread runs C++
   code that holds no object between finalizers. */
void ServeCollection(JNIEnv* env) {
  VM* vm = env->javaVM->vm;
  void* doing = vm->GetThreadDoingGC();
  if (doing != NULL && doing != env->thread->GetId()) (void)vm->ThreadWaitForGC(env->thread);
}

/* Counts one object finished. A waiter waits for everything due at its call: it is woken
   when the done count reaches the earliest waiter's target (then each looks again and
   names its own), not at every object, which would cost a switch an object. */
void FinishOne(VM* vm) {
  const VMword done = __atomic_add_fetch(&vm->Body()[VM::FinalizersDoneWord], 1u, __ATOMIC_SEQ_CST);
  if (Load(vm, VM::FinalizerWaitersWord) == 0) return;
  VMword at = Load(vm, VM::FinalizerWakeAtWord);
  if (at != 0 && Reached(done, at) &&
      __atomic_compare_exchange_n(&vm->Body()[VM::FinalizerWakeAtWord], &at, (VMword)0, false, __ATOMIC_SEQ_CST,
                                  __ATOMIC_SEQ_CST))
    NotifyMachine(vm);
}

/* Names target as a done count to be woken at, unless an earlier one is named already. */
void WakeAt(VM* vm, VMword target) {
  if (target == 0) target = 1;
  VMword at = Load(vm, VM::FinalizerWakeAtWord);
  while ((at == 0 || Reached(at, target + 1)) &&
         !__atomic_compare_exchange_n(&vm->Body()[VM::FinalizerWakeAtWord], &at, target, false, __ATOMIC_SEQ_CST,
                                      __ATOMIC_SEQ_CST)) {
  }
}

/* Runs the finalizer of one object taken off the due list. Nothing of it is kept once
   the finalizer returns: its frame held the object, and its locals go. */
void Finalize(JNIEnv* env, VMObject* o) {
  VM* vm = env->javaVM->vm;
  // The exit-time pass may have run it already.
  if (!o->GetIsFinalized()) {
    o->SetIsFinalized();
    VMClass* c = o->GetClass();
    if (c != NULL && c->GetIsLoadable()) {
      __atomic_fetch_add(&vm->Body()[VM::FinalizersBegunWord], 1u, __ATOMIC_SEQ_CST);
      // When it began, for a waiter's bound, which counts from the last begin it missed.
      __atomic_store_n(&vm->Body()[VM::FinalizerBegunAtWord], (VMword)Host()->CurrentTimeMillis(), __ATOMIC_RELEASE);
      o->MonitorFini();
      // The object goes straight into the finalizer's frame: nothing collects before. A
      // finalizer's exception is dropped; so is a stop that reached this thread, which
      // serves every object after it all the same.
      (void)((VMLoadableClass*)c)->RunFinalize(env, o);
      env->thread->SetException(NULL);
      env->thread->ClearYieldToPostException();
      env->thread->GetJNIHandleArray()->Clear(1);
    }
  }
  FinishOne(env->javaVM->vm);
}

/* Waits, declared, until a collection's release (or the end) notifies the machine's
   monitor; nothing is waited for when the due list has objects, a collection is under
   way (served at the loop's head) or the end asked. */
void Idle(JNIEnv* env) {
  VM* vm = env->javaVM->vm;
  VMMonitor* monitor = MonitorOf(vm);
  if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) {
    // Without the monitor nothing could wake the thread: it looks again in a while.
    VM::EnterSafeRegion(env->thread);
    Host()->Sleep(300);
    VM::LeaveSafeRegion(env->thread);
    return;
  }
  // Under the monitor, with the thread undeclared, no collection can release between
  // these looks and the wait's queueing (the release notifies under this monitor).
  vm = env->javaVM->vm;
  const bool idle = vm->GetFinalizersDue() == NULL && vm->GetThreadDoingGC() == NULL &&
                    Load(vm, VM::FinalizerStateWord) == VM::FinalizerRunning && Host()->YieldCheck() == 0;
  if (idle) {
    VM::EnterSafeRegion(env->thread);
    // Bounded, so that the wake a host's stop gives the wait ends it (an unbounded one
    // sleeps on past it); the loop then finds the stop.
    (void)monitor->DoUninterruptibleWait(env, kIdleStepMillis);
    (void)monitor->DoMonitorExit();
    VM::LeaveSafeRegion(env->thread);
  } else {
    (void)monitor->DoMonitorExit();
  }
}

jint HOSTCALL FinalizerThreadBody(void* argument) {
  JavaVM* record = (JavaVM*)argument;
  JNIEnv* env = NULL;
  if (VMJniAttachFinalizerThread(record, &env) != 0) {
    // The end began, or the record was gone: passes serve instead. The end waits for
    // this word to leave Starting, and this is the last the thread reads of the machine.
    VMword starting = VM::FinalizerStarting;
    __atomic_compare_exchange_n(&record->vm->Body()[VM::FinalizerStateWord], &starting,
                                (VMword)VM::FinalizerRefused, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return -1;
  }
  VMword starting = VM::FinalizerStarting;
  __atomic_compare_exchange_n(&env->javaVM->vm->Body()[VM::FinalizerStateWord], &starting,
                              (VMword)VM::FinalizerRunning, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  for (;;) {
    ServeCollection(env);
    VM* vm = env->javaVM->vm;
    // The end asked, or the host stopped the thread (its stop of every other thread of
    // the machine): the passes of the machine's threads take over what comes due.
    if (Load(vm, VM::FinalizerStateWord) != VM::FinalizerRunning || Host()->YieldCheck() != 0) break;
    if (VMObject* o = vm->TakeFinalizerDue()) {
      Finalize(env, o);
      continue;
    }
    Idle(env);
  }
  // What is still due is the exit-time pass's, or the passes'. The end waits for the
  // detach.
  VMword running = VM::FinalizerRunning;
  VM* vm = env->javaVM->vm;
  if (__atomic_compare_exchange_n(&vm->Body()[VM::FinalizerStateWord], &running, (VMword)VM::FinalizerRefused, false,
                                  __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST) &&
      vm->GetFinalizersDue() != NULL)
    vm->RequestFinalizerPasses();
  env->thread->SetException(NULL);
  return env->javaVM->functions->DetachCurrentThread(env->javaVM);
}

/* The finalizer thread's progress as a waiter sees it: stalled once no finalizer has
   begun for a bound's length. */
struct Progress {
  VMword begun;
  jlong since;
  explicit Progress(VM* vm) : begun(Load(vm, VM::FinalizersBegunWord)), since(Host()->CurrentTimeMillis()) {}
  bool Stalled(VM* vm, jlong now, jlong bound) {
    const VMword b = Load(vm, VM::FinalizersBegunWord);
    if (b != begun) {
      begun = b;
      since = now;
      return false;
    }
    return now - since >= bound || now < since;
  }
};

/* Whether the calling thread is stopped: by the host, or by a stop posted to it. */
bool Stopped(JNIEnv* env) {
  return Host()->YieldCheck() != 0 || (env != NULL && env->thread != NULL &&
                                       (env->thread->GetYieldToPostException() || env->thread->GetException() != NULL));
}

}  // namespace

bool VM::FinalizerThreadAttached() {
  VM* vm = this;
  VMNameSpace* ns = vm->GetNameSpace();
  if (ns == NULL) return false;
  bool found = false;
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  FinalizerThreadAttached");
  if (VMThreadHandleArray* threads = vm->GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount() && !found; i++) {
      VMThread* t = threads->Get(i);
      found = t != NULL && t->GetEnv() != NULL && t->GetFinalizerThread();
    }
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  FinalizerThreadAttached");
  return found;
}

namespace {

/* Stops the finalizer thread through the host, as the end stops every other thread. */
void StopFinalizerThread(VM* vm) {
  VMNameSpace* ns = vm->GetNameSpace();
  if (ns == NULL) return;
  void* handle = NULL;
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  StopFinalizerThread");
  if (VMThreadHandleArray* threads = vm->GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount() && handle == NULL; i++) {
      VMThread* t = threads->Get(i);
      if (t != NULL && t->GetEnv() != NULL && t->GetFinalizerThread()) handle = t->GetHandle();
    }
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  StopFinalizerThread");
  if (handle != NULL) Host()->StopThread(handle, 1);
}

}  // namespace

bool VM::IsFinalizerThread(JNIEnv* env) {
  return env != NULL && env->thread != NULL && env->thread->GetFinalizerThread();
}

void VM::PrepareFinalizerThread(JNIEnv* env) {
  VMThread* thread = VMThread::CreateInstance(this, NULL, NULL, NULL);
  if (thread == NULL) return;
  static const char kName[] = "Finalizer";
  const uint32_t length = sizeof kName - 1;
  VMcharArray* name = VMcharArray::CreateInstance(GetHeap(), length, jallocFailFast, VMTag_VMcharArray);
  if (name == NULL) {
    thread->Destroy(GetHeap());
    return;
  }
  name->SetIsScalarArray();
  for (uint32_t i = 0; i < length; i++) name->Set(i, (jchar)kName[i]);
  VMNameSpace* ns = GetNameSpace();
  if (ns->GetArrayClassList() != NULL) name->SetClass((VMClass*)ns->GetArrayClassList()->GetVMcharArrayClass());
  thread->SetName(name);
  SetReference(FinalizerRecordWord, (VMObject*)thread);
  // The Thread may collect (the record is the machine's already).
  VMJavaLangThread* object = VMJavaLangThread::CreateInstance(env);
  env->thread->SetException(NULL);
  env->javaVM->vm->SetReference(FinalizerObjectWord, (VMObject*)object);
}

VMThread* VM::TakeFinalizerRecord() {
  VMThread* thread = (VMThread*)GetReference(FinalizerRecordWord);
  SetReference(FinalizerRecordWord, NULL);
  return thread;
}

bool VM::HandFinalizersOver() {
  VMword state = Load(this, FinalizerStateWord);
  if (state == FinalizerNone && GetFinalizersDue() != NULL) {
    // The first objects due: the thread is asked for once, by whoever claims the start.
    if (GetReference(FinalizerRecordWord) == NULL || GetReference(FinalizerObjectWord) == NULL) {
      __atomic_compare_exchange_n(&Body()[FinalizerStateWord], &state, (VMword)FinalizerRefused, false,
                                  __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    } else if (__atomic_compare_exchange_n(&Body()[FinalizerStateWord], &state, (VMword)FinalizerStarting, false,
                                           __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST) &&
               !Host()->StartThread(FinalizerThreadBody, GetJVM(), 1)) {
      __atomic_store_n(&Body()[FinalizerStateWord], (VMword)FinalizerRefused, __ATOMIC_SEQ_CST);
    }
    state = Load(this, FinalizerStateWord);
  }
  // A running thread was woken by the release already.
  return state != FinalizerRefused;
}

bool VM::FinalizersBacklogged() const {
  VM* vm = const_cast<VM*>(this);
  return Load(vm, FinalizersQueuedWord) - Load(vm, FinalizersDoneWord) > (VMword)kBacklog;
}

bool VM::AwaitFinalizers(JavaVM* record, JNIEnv* env, jlong stallMillis) {
  if (record == NULL || record->vm == NULL || IsFinalizerThread(env)) return false;
  JNIHostFunctions* host = Host();
  VM* vm = record->vm;
  const VMword target = Load(vm, FinalizersQueuedWord);
  if (Reached(Load(vm, FinalizersDoneWord), target)) return true;
  const bool declared = env != NULL && env->javaVM == record && env->thread != NULL;
  __atomic_fetch_add(&vm->Body()[FinalizerWaitersWord], 1u, __ATOMIC_SEQ_CST);
  VMword begun = Load(vm, FinalizersBegunWord);
  jlong since = host->CurrentTimeMillis();
  bool finished = false;
  for (;;) {
    vm = record->vm;
    if (Reached(Load(vm, FinalizersDoneWord), target)) {
      finished = true;
      break;
    }
    if (!vm->FinalizerThreadServes() || Stopped(env)) break;
    const jlong now = host->CurrentTimeMillis();
    const VMword b = Load(vm, FinalizersBegunWord);
    if (b != begun) {
      // Counted from the begin itself, which this waiter may have slept through.
      const jlong at = now - (jlong)(uint32_t)((VMword)now - Load(vm, FinalizerBegunAtWord));
      begun = b;
      since = at > since && at <= now ? at : now;
    }
    if (now - since >= stallMillis || now < since) break;
    const jlong left = stallMillis - (now - since);
    VMMonitor* monitor = declared ? MonitorOf(vm) : NULL;
    if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) {
      // A thread of no machine: nothing of this machine may wake it (no record to queue).
      host->Sleep(1);
      continue;
    }
    vm = record->vm;
    WakeAt(vm, target);
    if (Reached(Load(vm, FinalizersDoneWord), target)) {
      (void)monitor->DoMonitorExit();
      continue;
    }
    // The finalizer thread notifies after each object while somebody waits.
    VM::EnterSafeRegion(env->thread);
    (void)monitor->DoUninterruptibleWait(env, left > 0 ? left : 1);
    (void)monitor->DoMonitorExit();
    VM::LeaveSafeRegion(env->thread);
  }
  __atomic_fetch_sub(&record->vm->Body()[FinalizerWaitersWord], 1u, __ATOMIC_SEQ_CST);
  return finished;
}

VMword VM::GetFinalizersDone() const { return Load(const_cast<VM*>(this), FinalizersDoneWord); }

bool VM::FinalizersPending() const {
  VM* vm = const_cast<VM*>(this);
  return Load(vm, FinalizersDoneWord) != Load(vm, FinalizersQueuedWord);
}

bool VM::AwaitFinalizersInPlace(VMword doneBefore) {
  VMThread* self = VMThread::Current();
  if (self == NULL || self->GetVM() != this || self->GetEnv() == NULL || self->GetAttachedForClientCall() ||
      self->GetFinalizerThread() || !FinalizerThreadServes())
    return false;
  JNIHostFunctions* host = Host();
  const VMword target = Load(this, FinalizersQueuedWord);
  Progress progress(this);
  for (;;) {
    // What was finalized since the caller's collection is freed by the next one.
    const VMword done = Load(this, FinalizersDoneWord);
    if (Reached(done, target)) return done != doneBefore;
    if (!FinalizerThreadServes() || Stopped(self->GetEnv())) return false;
    if (progress.Stalled(this, host->CurrentTimeMillis(), kPassStallMillis)) return false;
    // Not declared: no move may come under the caller. The finalizers' collections are
    // served here as at a poll, without one.
    void* doing = GetThreadDoingGC();
    if (doing != NULL && doing != self->GetId())
      (void)ThreadWaitForGC(self);
    else
      host->Sleep(1);
  }
}

void VM::EndFinalizerThread(JavaVM* record, JNIEnv* own, bool untilGone) {
  if (record == NULL || record->vm == NULL) return;
  JNIHostFunctions* host = Host();
  VM* vm = record->vm;
  // A start under way is seen to its end (attached, or refused by the end's mark).
  for (;;) {
    VMword state = Load(vm, FinalizerStateWord);
    if (state == FinalizerNone || state == FinalizerRefused) {
      if (__atomic_compare_exchange_n(&vm->Body()[FinalizerStateWord], &state, (VMword)FinalizerRefused, false,
                                      __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST))
        return;
      continue;
    }
    if (state == FinalizerRunning || state == FinalizerEnding) {
      __atomic_store_n(&vm->Body()[FinalizerStateWord], (VMword)FinalizerEnding, __ATOMIC_SEQ_CST);
      break;
    }
    VM::EnterSafeRegion(own != NULL ? own->thread : NULL);
    host->Sleep(1);
    VM::LeaveSafeRegion(own != NULL ? own->thread : NULL);
    vm = record->vm;
  }
  NotifyMachine(vm);
  Progress progress(vm);
  while (vm->FinalizerThreadAttached()) {
    const jlong now = host->CurrentTimeMillis();
    if (progress.Stalled(vm, now, kPassStallMillis)) {
      // A finalizer that waits for good: it is stopped, and the end goes on (its own stop
      // of every other thread waits for it), or, for a machine the host keeps, waits
      // for it to leave, stopping it again at each step.
      StopFinalizerThread(vm);
      if (!untilGone) break;
      progress.since = now - kPassStallMillis + 300;
    }
    VM::EnterSafeRegion(own != NULL ? own->thread : NULL);
    host->Sleep(1);
    VM::LeaveSafeRegion(own != NULL ? own->thread : NULL);
    vm = record->vm;
  }
}
