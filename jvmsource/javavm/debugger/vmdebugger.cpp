/* The debugger agent: its life, connection, the parking of threads, and the threads the
   client may see. */
#include "vmdebugger.h"

#include "vm.h"
#include "vmclass.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace dbg {

void EnterWait(VMThread* thread) {
  if (thread != NULL) thread->SetSafeToGC();
}

void LeaveWait(VMThread* thread) {
  if (thread == NULL) return;
  thread->ClearSafeToGC();
  // A collector claims the machine before it reads the flag: either it saw the thread
  // leave, or this sees its claim.
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
  VM* vm = thread->GetVM();
  void* doing = vm != NULL ? vm->GetThreadDoingGC() : NULL;
  if (doing != NULL && doing != thread->GetId()) (void)vm->ThreadWaitForGC(thread);
}

VMThread* ThreadAt(VM* vm, uint32_t i, bool* more) {
  VMNameSpace* ns = vm->GetNameSpace();
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  debugger threads");
  VMThreadHandleArray* threads = vm->GetThreads();
  *more = threads != NULL && i < threads->GetCount();
  VMThread* thread = *more ? threads->Get(i) : NULL;
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  debugger threads");
  return thread;
}

void Log(const char* text) {
  JNIHostFunctions* host = Host();
  if (host == NULL || host->LogMessage == NULL) return;
  jint length = 0;
  while (text[length] != 0) length++;
  host->LogMessage(length, text);
}

}  // namespace dbg

using namespace dbg;

/* ---- records ---- */

VMDebugger* VMDebugger::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMDebugger*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMDebugger, jallocFailFast);
}

VMDebugger* VMDebugger::CreateInstance(VM* vm) {
  if (vm == NULL) return NULL;
  HHeap* heap = vm->GetHeap();
  VMDebugger* agent = Instantiate(heap, Words, RefMask);
  if (agent == NULL) return NULL;
  agent->SetScalar(HeapWord, (VMword)heap);
  agent->SetReference(VMWord, (VMObject*)vm);
  agent->SetReference(NameSpaceWord, (VMObject*)vm->GetNameSpace());
  bool ok = true;
  const VMword semaphores[] = {EventRemovedWord, EventAddedWord};
  for (VMword word : semaphores) {
    void* event = ok ? VMUtils::EventSemaphoreCreate(agent) : NULL;
    agent->SetScalar(word, (VMword)event);
    ok = ok && event != NULL;
  }
  const VMword mutexes[] = {ClassLoadMutexWord, AddEventMutexWord, RequestMutexWord, BreakListMutexWord,
                            StopMutexWord};
  for (VMword word : mutexes) {
    void* mutex = ok ? VMUtils::MutexCreate(agent) : NULL;
    agent->SetScalar(word, (VMword)mutex);
    ok = ok && mutex != NULL;
  }
  if (ok) {
    agent->SetReference(ClassesLoadedWord, (VMObject*)VMClassHandleArray::CreateInstance(
                                               heap, VMTag_VMDebuggerClassesLoadedArray, 10, 10));
    agent->SetReference(LocalRefsWord,
                        (VMObject*)VMObjectHandleArray::CreateInstance(heap, VMTag_VMObjectHandleArray, 10, 10));
    agent->SetReference(GlobalRefsWord,
                        (VMObject*)VMObjectHandleArray::CreateInstance(heap, VMTag_VMObjectHandleArray, 10, 10));
    agent->SetLocalTags(VMuintArray::CreateInstance(heap, 20, jallocFailFast, VMTag_VMuintArray));
    agent->SetGlobalTags(VMuintArray::CreateInstance(heap, 20, jallocFailFast, VMTag_VMuintArray));
    ok = agent->GetClassesLoaded() != NULL && agent->GetLocalRefs() != NULL && agent->GetGlobalRefs() != NULL &&
         agent->GetLocalTags() != NULL && agent->GetGlobalTags() != NULL;
    if (agent->GetLocalTags() != NULL) agent->GetLocalTags()->SetIsScalarArray();
    if (agent->GetGlobalTags() != NULL) agent->GetGlobalTags()->SetIsScalarArray();
  }
  if (!ok) {
    agent->Destroy(heap);
    return NULL;
  }
  return agent;
}

void VMDebugger::Destroy(HHeap* heap) {
  JNIHostFunctions* host = Host();
  // Entry points that found the agent listed finish first: their machine is no longer
  // listed, so no new one can start.
  while (__atomic_load_n(GetBusy(), __ATOMIC_ACQUIRE) != 0) host->Sleep(300);
  // Records exist only once the list's lock does; a half-made agent has none.
  ClearAllBreaks();
  if (GetClassLoadMutex() != NULL) ClearPendingClassLoads();
  ReleaseTables(heap);
  const VMword semaphores[] = {EventRemovedWord, EventAddedWord};
  for (VMword word : semaphores)
    if (void* event = (void*)GetScalar(word)) host->EventSemaphoreDestroy(event);
  const VMword mutexes[] = {ClassLoadMutexWord, AddEventMutexWord, RequestMutexWord, BreakListMutexWord,
                            StopMutexWord};
  for (VMword word : mutexes)
    if (void* mutex = (void*)GetScalar(word)) host->MutexDestroy(mutex);
  VMObject::Destroy(heap);
}

void VMDebugger::ReleaseTables(HHeap* heap) {
  // The words go first: nothing that walks the agent meets a freed table.
  VMClassHandleArray* loaded = GetClassesLoaded();
  VMObjectHandleArray* localRefs = GetLocalRefs();
  VMObjectHandleArray* globalRefs = GetGlobalRefs();
  VMuintArray* localTags = GetLocalTags();
  VMuintArray* globalTags = GetGlobalTags();
  SetReference(ClassesLoadedWord, NULL);
  SetReference(LocalRefsWord, NULL);
  SetReference(GlobalRefsWord, NULL);
  SetLocalTags(NULL);
  SetGlobalTags(NULL);
  if (loaded != NULL) loaded->Destroy(heap);
  if (localRefs != NULL) localRefs->Destroy(heap);
  if (globalRefs != NULL) globalRefs->Destroy(heap);
  if (localTags != NULL) localTags->VMObject::Destroy(heap);
  if (globalTags != NULL) globalTags->VMObject::Destroy(heap);
}

VMDebugger* VMDebugger::FindMoved(VM* vm, void* added) {
  if (vm == NULL || added == NULL) return NULL;
  VMDebugger* d = vm->GetDebugger();
  if (d != NULL && d->GetEventAdded() == added) return d;
  for (d = vm->GetDeadDebuggers(); d != NULL; d = d->GetNextDeadDebugger())
    if (d->GetEventAdded() == added) return d;
  return NULL;
}

/* ---- connection ---- */

bool VMDebugger::Connect() {
  VM* vm = GetVM();
  // A detach marks the agent under this mutex before it disconnects: a connect either
  // ends before the mark, and the disconnection undoes all of it, or sees it.
  VMUtils::GlobalMutexGuard guard;
  if (GetDetached()) return false;
  // Nor once the machine's end has begun (marked under this mutex): a destroy looks for a
  // connection once, after its mark, and nothing would raise an event for a client that
  // connected later and waits for one. A connection made before stands.
  JavaVM* jvm = vm->GetJVM();
  if (jvm != NULL && jvm->terminating != 0) return GetIsConnected();
  if (TakeUpConnection()) AskDeferredThreadsOver();
  for (VMThread* t = ThreadNext(NULL); t != NULL; t = ThreadNext(t)) {
    // A thread that already runs under the debugger has had its attach request: asking
    // again would make it report a second initial breakpoint.
    VMNameSpace* ns = GetNameSpace();
    VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebugger::Connect");
    JNIEnv* env = t->GetEnv();
    bool fresh = env != NULL && (env->debug & 0xFF) == 0;
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebugger::Connect");
    if (fresh) RequestThreadAttach(t);
  }
  if (JavaVM* jvm = vm->GetJVM()) jvm->debuggerConnected = 1;
  return true;
}

void VMDebugger::RequestThreadAttach(VMThread* thread) {
  if (thread == NULL) return;
  VMNameSpace* ns = GetNameSpace();
  // The env goes when the thread detaches, under this lock: read and written under it.
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebugger::RequestThreadAttach");
  JNIEnv* env = thread->GetEnv();
  if (env != NULL) env->debug = (env->debug & ~0xFFu) | 1u;
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebugger::RequestThreadAttach");
  if (env == NULL) return;
  JavaVM* jvm = GetVM()->GetJVM();
  bool held = jvm != NULL && (jvm->debugWait & 0xFF) != 0;
  // The byte alone is read only when the thread next enters bytecode, and the plain loop
  // runs calls and returns itself: a thread that runs Java now would never see it, nor
  // the watches and interrupts only the debugging loop checks. It goes over at its next
  // poll, silently once the client has removed an event (nothing is due any more).
  if (GetReportedAtLeastOneEvent() || held)
    thread->SetDebugLoopOnly();
  else
    thread->ClearDebugLoopOnly();
  thread->SetDebuggerAttachRequested();
}

namespace {

enum WatchState { Unwatched, Unconnected, Connected };

/* Read by the thread itself, at a poll. */
WatchState StateOf(VMThread* thread) {
  JNIEnv* env = thread->GetEnv();
  if (env == NULL || (__atomic_load_n(&env->debug, __ATOMIC_SEQ_CST) & 0xFF) == 0) return Unwatched;
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  return agent != NULL && agent->GetIsConnected() ? Connected : Unconnected;
}

}  // namespace

bool VMDebugger::ReadyForDebugLoop(VMThread* thread) {
  // A thread nobody watches takes the jump as it always did: it restarts its plain loop.
  if (StateOf(thread) != Unconnected) return true;
  // A thread attached between the client's attach and its first poll meets this: the
  // debugging loop would hand it straight back, and the fast loop makes calls and
  // returns itself, so it might never enter bytecode afresh to see its byte.
  thread->SetDebugLoopDeferred();
  thread->ClearDebuggerAttachRequested();
  // Connect sets its flag before it looks for marks, and Disconnect clears the byte
  // before it clears the mark: whichever came meanwhile is seen here, or sees the mark.
  // The mark is taken once, by this or by them, and the request is asked again once.
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
  WatchState now = StateOf(thread);
  if (now != Unconnected && thread->TakeDebugLoopDeferred() && now == Connected) thread->SetDebuggerAttachRequested();
  return false;
}

void VMDebugger::AskDeferredThreadsOver() {
  // The connected flag is set: a poll that set its mark unseen by this sees the flag.
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
  VMNameSpace* ns = GetNameSpace();
  // Records are dropped under this lock only; a request is only bits and the poll word.
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebugger::AskDeferredThreadsOver");
  if (VMThreadHandleArray* threads = GetVM()->GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* t = threads->Get(i);
      if (t == NULL || !t->GetDebugLoopDeferred()) continue;
      JNIEnv* env = t->GetEnv();
      bool watched = env != NULL && (env->debug & 0xFF) != 0;
      // An arrival that was due stays due: DebugLoopOnly is as the attach left it.
      if (t->TakeDebugLoopDeferred() && watched) t->SetDebuggerAttachRequested();
    }
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebugger::AskDeferredThreadsOver");
}

void VMDebugger::Disconnect() {
  // Debugging loops leave at their next instruction and new events are dropped before
  // anything they walk goes away.
  ClearIsConnected();
  VM* vm = GetVM();
  VMNameSpace* ns = GetNameSpace();
  bool entered = vm->MonitorEnter(ns) == VMStatus_OK;
  if (entered) {
    // Every thread the agent watched, caught or not: a byte left set would make the next
    // connection take the thread for one already brought over, and never ask it over.
    bool more = true;
    for (uint32_t i = 1; more; i++) {
      VMThread* t = ThreadAt(vm, i, &more);
      if (t == NULL) continue;
      t->ClearDebuggerAttachRequested();
      t->ClearDebugLoopOnly();
      VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebugger::Disconnect");
      if (JNIEnv* env = t->GetEnv()) env->debug &= ~0xFFu;
      // A client call the thread carries would put its byte back.
      t->ClearWatchSetAside();
      VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebugger::Disconnect");
      // After the byte: a poll that sets its request aside meanwhile either sees the
      // byte gone and takes its mark back, or has set the mark before this.
      t->ClearDebugLoopDeferred();
    }
  }
  // Every suspension the client made is undone, caught or not.
  bool more = true;
  for (uint32_t i = 1; more; i++) {
    VMThread* t = ThreadAt(vm, i, &more);
    if (t != NULL) ThreadResume(t);
  }
  if (JavaVM* jvm = vm->GetJVM()) jvm->debuggerConnected = 0;

  VMUtils::MutexLock(GetClassLoadMutex());
  // A reporter decides to store under this lock with the flag cleared above: either its
  // event is here now, or it stores none. Only a stored event has a reporter to wake: a
  // post without one would be banked and let the next reporter run on at once.
  ClearIsConnected();
  bool stored = GetEventType() != 0;
  ReleaseLocalHandles();
  GetGlobalRefs()->Clear(1);
  VMuintArray* globalTags = GetGlobalTags();
  for (uint32_t i = 0; i < globalTags->GetSize(); i++) globalTags->Set(i, 0);
  SetCurrentFrame(NULL);
  SetEventData(NULL);
  SetEventType(0);
  ClearAlreadyWaited();
  ClearReportedPendingClassLoad();
  ClearReportedStoredEvent();
  VMUtils::MutexUnlock(GetClassLoadMutex());
  SetTraceThread(NULL);
  SetTraceFrame(NULL);
  SetTraceLine(0);
  ClearInterruptPending();
  ClearAllBreaks();
  ClearPendingClassLoads();
  ClearConnectionFailed();
  vm->PauseThreadsForDebugger(false);
  JNIHostFunctions* host = Host();
  // A client blocked waiting for an event sees the connection gone and returns (and
  // wakes the next one waiting).
  host->EventPost(GetEventAdded());
  if (stored) host->EventPost(GetEventRemoved());
  if (entered) vm->MonitorExit(ns);
}

void VMDebugger::ReleaseLocalHandles() {
  // A detached agent has given its tables back.
  if (GetLocalRefs() == NULL || GetLocalTags() == NULL) return;
  GetLocalRefs()->Clear(1);
  VMuintArray* tags = GetLocalTags();
  for (uint32_t i = 0; i < tags->GetSize(); i++) tags->Set(i, 0);
}

/* ---- parking ---- */

void VMDebugger::PauseThread() {
  VMThread* thread = VMThread::Current();
  if (thread == NULL) return;
  JNIHostFunctions* host = Host();
  if (thread->GetServingDebugger()) {
    // The client's own thread never parks: it would wait for itself. A collection
    // asked of it meanwhile is served here, as the poll would have.
    (void)thread->WaitForGC();
    return;
  }
  thread->SetPausedForDebugger();
  EnterWait(thread);
  // A host stop ends the park: the poll then reports it. The host may move the machine,
  // this record included, while the thread sleeps: it is found again after each sleep.
  while (thread->GetYieldForDebugger() && host->YieldCheck() == 0) {
    host->Sleep(300);
    thread = VMThread::Current();
  }
  // Not while a request is served: one that found the thread stopped finds it so to
  // its end.
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  void* stop = agent != NULL ? agent->GetStopMutex() : NULL;
  if (stop != NULL) VMUtils::MutexLock(stop);
  thread->ClearPausedForDebugger();
  if (stop != NULL) VMUtils::MutexUnlock(stop);
  LeaveWait(thread);
}

/* ---- threads and frames ---- */

bool VMDebugger::IsStopped(VMThread* thread) {
  if (thread == NULL) return false;
  // A parked thread whose stop was removed may run at any instant, asleep or not.
  if (thread->GetPausedForDebugger() && thread->GetYieldForDebugger()) return true;
  return thread->GetSuspendedByDebugger() && thread->GetSuspended();
}

VMThread* VMDebugger::ThreadNext(VMThread* previous) {
  VM* vm = GetVM();
  VMNameSpace* ns = GetNameSpace();
  if (vm->MonitorEnter(ns) != VMStatus_OK) return NULL;
  void* self = Host()->CurrentThreadId();
  bool more = true;
  uint32_t i = 1;
  if (previous != NULL) {
    for (;; i++) {
      VMThread* t = ThreadAt(vm, i, &more);
      if (!more) {
        vm->MonitorExit(ns);
        return NULL;
      }
      if (t == previous) break;
    }
    i++;
  }
  VMThread* found = NULL;
  for (; found == NULL; i++) {
    VMThread* t = ThreadAt(vm, i, &more);
    if (!more) break;
    if (t != NULL && t->GetCaughtByDebugger() && t->GetEnv() != NULL && t->GetId() != self) found = t;
  }
  vm->MonitorExit(ns);
  return found;
}

int32_t VMDebugger::ThreadCount() {
  VM* vm = GetVM();
  VMNameSpace* ns = GetNameSpace();
  JNIHostFunctions* host = Host();
  void* self = host->CurrentThreadId();
  int32_t count = 0;
  for (int pass = 0; pass < 10; pass++) {
    if (vm->MonitorEnter(ns) != VMStatus_OK) return 0;
    count = 0;
    bool running = false;
    bool more = true;
    for (uint32_t i = 1; more; i++) {
      VMThread* t = ThreadAt(vm, i, &more);
      if (t == NULL) continue;
      t->ClearCaughtByDebugger();
      // The client's own threads are never among the machine's.
      if (t->GetEnv() == NULL || t->GetId() == self || t->GetServingDebugger()) continue;
      if (IsStopped(t)) {
        t->SetCaughtByDebugger();
        count++;
      } else {
        running = true;
      }
    }
    vm->MonitorExit(ns);
    if (!running || pass == 9) break;
    // Slept without the monitor: collections and monitor users go on meanwhile, and
    // the host may move the machine, so the machine is found again afterwards.
    VMThread* me = VMThread::Current();
    EnterWait(me);
    host->Sleep(300);
    me = VMThread::Current();
    LeaveWait(me);
    if (me == NULL) break;
    vm = me->GetVM();
    ns = vm->GetNameSpace();
  }
  return count;
}

VMThread* VMDebugger::ThreadCurrent() {
  VMUtils::MutexLock(GetClassLoadMutex());
  VMByteCodeFrame* frame = GetEventType() != 0 ? GetCurrentFrame() : NULL;
  VMThread* thread = frame != NULL ? frame->thread : NULL;
  VMUtils::MutexUnlock(GetClassLoadMutex());
  return thread;
}

void VMDebugger::ThreadSuspend(VMThread* thread) {
  if (thread == NULL || thread->GetSuspendedByDebugger()) return;
  thread->SetSuspendedByDebugger();
  thread->Suspend();
}

void VMDebugger::ThreadResume(VMThread* thread) {
  // Only a suspension the client made: the application's own stay.
  if (thread == NULL || !thread->GetSuspendedByDebugger()) return;
  thread->ClearSuspendedByDebugger();
  thread->Resume();
}

void VMDebugger::Interrupt(bool on) {
  if (on)
    SetInterruptPending();
  else
    ClearInterruptPending();
}

VMByteCodeFrame* VMDebugger::FrameCaller(VMFrame* frame) {
  if (frame == NULL) return NULL;
  for (VMFrame* f = frame->caller; f != NULL; f = f->caller) {
    if (f->flags & VMFrame::FirstFrameFlag) return NULL;
    if (f->flags & VMFrame::ExecutableByteCodeFlag) return (VMByteCodeFrame*)f;
  }
  return NULL;
}
