#include "vm.h"

#include <atomic>

#include "vmarray.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmhandlearray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmupcalls.h"
#include "vmthread.h"
#include "vmutils.h"

VM* VM::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VM*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VM, jallocFailFast);
}

VM* VM::Current() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL) return NULL;
  JNIEnv* env = host->GetCurrentEnv();
  if (env == NULL || env->javaVM == NULL) return NULL;
  return env->javaVM->vm;
}

/* ---- creation and destruction ---- */

VM* VM::CreateInstance(unsigned long defaultStackSize, JavaVM* jvm) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  HHeap* heap = host->HeapCreate(jvm, 2);
  if (heap == NULL) return NULL;
  // The host's test switch: a collection before every nth allocation that may collect.
  if (host->QueryDiagnosticFlag != NULL) {
    jint stress = host->QueryDiagnosticFlag(116, 0);
    VMObjectBase::SetCollectionStress(stress > 0 ? (uint32_t)stress : 0);
  }
  OpenFinalizables(heap);
  VM* vm = Instantiate(heap, Words, RefMask);
  if (vm == NULL) {
    CloseFinalizables(heap);
    host->HeapDestroy(heap);
    return NULL;
  }
  vm->SetHeap(heap);
  if (jvm != NULL) jvm->heap = heap;
  // Known before anything can fail, so that destroying a half-made machine finds it.
  vm->SetNameSpace(jvm != NULL ? jvm->nameSpace : NULL);

  vm->SetThreads(VMThreadHandleArray::CreateInstance(heap, VMTag_VMThreadHandleArray, 10, 10));
  if (vm->GetThreads() != NULL)
    vm->SetStaticDataArray(VMObjectHandleArray::CreateInstance(heap, VMTag_VMObjectHandleArray, 10, 10));
  if (vm->GetStaticDataArray() != NULL)
    vm->SetFilesToBeDeleted(VMObjectHandleArray::CreateInstance(heap, VMTag_VMObjectHandleArray, 10, 10));
  if (vm->GetFilesToBeDeleted() != NULL)
    vm->SetJNIHandleArray(VMObjectHandleArray::CreateInstance(heap, VMTag_VMJniVMGlobalHandleArray, 10, 10));
  if (vm->GetJNIHandleArray() == NULL) {
    vm->Destroy();
    return NULL;
  }

  vm->SetDefaultStackSize((uint32_t)defaultStackSize);
  vm->SetJVM(jvm);
  vm->SetThreadDoingGC(NULL);

  VMNameSpace* ns = vm->GetNameSpace();
  if (ns != NULL) {
    VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VM::CreateInstance");
    ns->SetVMCount(ns->GetVMCount() + 1);
    __atomic_fetch_or(&vm->Body()[FlagsWord], (VMword)CountedFlag, __ATOMIC_SEQ_CST);
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VM::CreateInstance");
  }
  return vm;
}

/* Monitors of the machine's objects live on the name space's heap, which outlives the
   machine: they are released before the machine's heap goes. */
static jboolean HOSTCALL ReleaseMonitorOfBlock(void* block, void*) {
  VMObject* object = (VMObject*)block;
  if (object->GetIsRootObject() && VMUtils::ValidateTag(object->GetTag()) &&
      object->GetMonitor() != NULL)
    VMMonitor::ReleaseMonitorFor(object);
  return 1;
}

static jboolean HOSTCALL ReleaseMonitorHeldBy(void* block, void* owner) {
  VMObject* object = (VMObject*)block;
  if (object->GetTag() == VMTag_VMMonitor && object->GetIsRootObject()) {
    VMMonitor* monitor = (VMMonitor*)object;
    if (monitor->GetOwner() == owner) monitor->Fini();
  }
  return 1;
}

/* The objects of the machine that nothing released: with every thread gone, all of them
   are garbage, as a final collection would find. Object heads are collected in one walk
   (a walk frees nothing) and destroyed after it, each with its body pieces. */
struct RemainingObjects {
  VM* machine;
  VMObject** heads;
  uint32_t count;
  uint32_t room;
};

static jboolean HOSTCALL CollectRemainingHead(void* block, void* context) {
  RemainingObjects* remaining = (RemainingObjects*)context;
  VMObject* object = (VMObject*)block;
  if ((VM*)object == remaining->machine || !object->GetIsRootObject() || !VMUtils::ValidateTag(object->GetTag()))
    return 1;
  if (remaining->heads != NULL && remaining->count < remaining->room) remaining->heads[remaining->count] = object;
  remaining->count++;
  return 1;
}

void VM::ReleaseRemainingObjects(HHeap* heap) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  RemainingObjects remaining = {this, NULL, 0, 0};
  host->HeapWalk(heap, CollectRemainingHead, &remaining);
  if (remaining.count == 0 || remaining.count > 0x3FFFFFFFu) return;
  remaining.room = remaining.count;
  remaining.heads = (VMObject**)host->HeapAlloc(NULL, remaining.room * sizeof(VMObject*), jallocFailFast);
  // Without room for the list the heap's destruction still frees every block.
  if (remaining.heads == NULL) return;
  remaining.count = 0;
  host->HeapWalk(heap, CollectRemainingHead, &remaining);
  for (uint32_t i = 0; i < remaining.count && i < remaining.room; i++) remaining.heads[i]->VMObject::Destroy(heap);
  host->HeapFree(NULL, remaining.heads);
}

uint32_t VM::Destroy() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  HHeap* heap = GetHeap();
  VMNameSpace* ns = GetNameSpace();
  // The count is lowered only at the very end: monitors of this machine's objects live on
  // the name space's heap, and another machine's destroyer that reads 0 destroys it.
  const bool counted = ns != NULL && GetCounted();

  if (GetJNIHandleArray() != NULL) {
    GetJNIHandleArray()->Destroy(heap);
    SetJNIHandleArray(NULL);
  }
  if (VMObjectHandleArray* statics = GetStaticDataArray()) {
    for (uint32_t i = 1; i < statics->GetCount(); i++) {
      VMObject* data = statics->Get(i);
      if (data != NULL && !data->GetIsNameSpaceData()) data->Destroy(heap);
    }
  }
  while (VMDebugger* dead = GetDeadDebuggers()) {
    SetDeadDebuggers(dead->GetNextDeadDebugger());
    dead->Destroy(heap);
  }
  if (GetDebugger() != NULL) {
    GetDebugger()->Destroy(heap);
    SetDebugger(NULL);
  }
  if (GetStaticDataArray() != NULL) {
    VMLoadableClass::ReleaseRetiredStaticSlots(this);
    GetStaticDataArray()->Destroy(heap);
    SetStaticDataArray(NULL);
  }
  if (VMObjectHandleArray* files = GetFilesToBeDeleted()) {
    for (uint32_t i = 1; i < files->GetCount(); i++) {
      VMObject* file = files->Get(i);
      if (file != NULL) file->Destroy(heap);
    }
    files->Destroy(heap);
    SetFilesToBeDeleted(NULL);
  }
  if (VMThread* unused = TakeFinalizerRecord()) unused->Destroy(heap);
  if (VMThreadHandleArray* threads = GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread != NULL) thread->Destroy(heap);
    }
    threads->Destroy(heap);
    SetSystemThreadGroup(NULL);
    SetThreads(NULL);
  }
  // The final collection: with the threads gone, what the machine object and the
  // objects held by machine code no longer reach is freed, monitors and all.
  CollectWithoutThreads();
  if (GetOutOfMemoryError() != NULL) {
    GetOutOfMemoryError()->Destroy(heap);
    SetOutOfMemoryError(NULL);
  }
  host->HeapWalk(heap, ReleaseMonitorOfBlock, NULL);
  ReleaseRemainingObjects(heap);
  VMObject::Destroy(heap);
  CloseFinalizables(heap);
  host->HeapDestroy(heap);

  uint32_t left = 0;
  if (ns != NULL) {
    VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VM::Destroy");
    if (counted) ns->SetVMCount(ns->GetVMCount() - 1);
    left = ns->GetVMCount();
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VM::Destroy");
  }
  return left;
}

uint32_t VM::Uncount() {
  VMNameSpace* ns = GetNameSpace();
  if (ns == NULL) return 0;
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VM::Uncount");
  if (GetCounted()) {
    ns->SetVMCount(ns->GetVMCount() - 1);
    __atomic_fetch_and(&Body()[FlagsWord], ~(VMword)CountedFlag, __ATOMIC_SEQ_CST);
  }
  uint32_t left = ns->GetVMCount();
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VM::Uncount");
  return left;
}

/* ---- host waits ---- */

/* The calling host thread's host-wait word: the thread's own, so it outlives every
   machine the thread runs in. Only the thread moves it from outside to inside and back;
   the destroyer of a machine moves it from inside to let go, once, and the thread then
   never leaves the wait. */
static thread_local VMword tHostWait = VM::OutsideHostWait;

/* The machine that started the calling host thread for a Thread, for as long as that
   machine is all the thread is attached to: every attach and detach forgets it. Named by
   its invocation record, which a move of the machine's heap leaves where it is. */
static thread_local JavaVM* tStartedBy = NULL;
/* The calling host thread attaches as its machine's finalizer thread. */
static thread_local bool tAttachingFinalizer = false;

void VM::SetAttachingFinalizer(bool on) { tAttachingFinalizer = on; }

void VM::MarkStartedThread() { tStartedBy = GetJVM(); }

JavaVM* VM::GetStartedBy() { return tStartedBy; }

void VM::RestoreStartedBy(JavaVM* record) { tStartedBy = record; }

/* How many static initialisers the calling host thread runs, nested ones included. */
static thread_local uint32_t tInitializers = 0;

void VM::EnterInitializer() { tInitializers++; }

void VM::LeaveInitializer() {
  VM_ASSERT(tInitializers != 0);
  if (tInitializers != 0) tInitializers--;
}

/* A block of process memory the calling host thread reads into during its host wait,
   which the code after the wait would have given back. */
static thread_local void* tWaitBlock = NULL;

void VM::SetHostWaitBlock(void* block) { tWaitBlock = block; }

/* A thread whose machine ended while it waited in the host: it holds nothing of the
   machine and must read nothing of it (nor return into frames that named it), so it
   stays here for the rest of the process, giving back first the one block of process
   memory its wait read into (the host call has returned: nothing writes it any more). */
__attribute__((noreturn)) static void ParkForGood() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (tWaitBlock != NULL) {
    host->HeapFree(NULL, tWaitBlock);
    tWaitBlock = NULL;
  }
  for (;;) host->Sleep(1000000000);
}

void VM::EnterHostWait(VMThread* thread) {
  if (thread == NULL) return;
  // Only a thread of the machine's own, holding no host mutex and running no static
  // initialiser, may be let go: it returns into nothing but the machine's frames, and it
  // keeps no other thread waiting. A host thread's call returns into host code that may
  // still need it (to leave a monitor, to detach from another machine), and a held mutex
  // (a machine monitor around the read) or a class being initialised (whose other users
  // wait for it) would hold up, for good, whoever waits for it: such a wait is a plain
  // safe region, which the machine's end waits for.
  if (tStartedBy != thread->GetVM()->GetJVM() || thread->GetHostMutexCount() != 0 || tInitializers != 0) {
    EnterSafeRegion(thread);
    return;
  }
  // The record is written before the word says inside: a destroyer that lets the thread
  // go finds it past its last write.
  thread->SetHostWaitGate(&tHostWait);
  thread->SetInHostWait();
  EnterSafeRegion(thread);
  __atomic_store_n(&tHostWait, (VMword)InsideHostWait, __ATOMIC_SEQ_CST);
}

/* The record is read from *record only once the thread knows it was not let go: the
   host may have moved the machine during the wait (the env's thread word then names the
   record where it is now), and a thread let go has no env any more. */
static void LeaveHostWaitOf(VMThread* const* record) {
  VMword inside = VM::InsideHostWait;
  if (!__atomic_compare_exchange_n(&tHostWait, &inside, (VMword)VM::OutsideHostWait, false, __ATOMIC_SEQ_CST,
                                   __ATOMIC_SEQ_CST)) {
    if (inside == VM::LetGoOfHostWait) ParkForGood();
    // Still outside: the wait was a plain safe region.
    VM::LeaveSafeRegion(*record);
    return;
  }
  VMThread* thread = *record;
  thread->ClearInHostWait();
  VM::LeaveSafeRegion(thread);
}

void VM::LeaveHostWait(VMThread* thread) {
  if (thread != NULL) LeaveHostWaitOf(&thread);
}

void VM::LeaveHostWait(JNIEnv* env) {
  if (env != NULL) LeaveHostWaitOf(&env->thread);
}

/* ---- the thread array ---- */

void VM::LockThreads(const char* site) {
  if (GetNameSpace() != NULL) VMUtils::P_SpinLock(GetNameSpace()->GetSpinLock(), site);
}

void VM::UnlockThreads(const char* site) {
  if (GetNameSpace() != NULL) VMUtils::V_SpinLock(GetNameSpace()->GetSpinLock(), site);
}

/* The records of ended threads a new thread leaves for the next collection to drop. */
static const uint32_t kEndedThreadsKept = 64;
static const uint32_t kEndedDropLooks = 20;

uint32_t VM::FindCurrentThread() {
  VMThreadHandleArray* threads = GetThreads();
  if (threads == NULL) return 0;
  void* id = VMUtils::GetHostFunctions()->CurrentThreadId();
  // Every attach and detach walks all of the machine's records here: a run of slots at a
  // time, since a look-up of each slot on its own costs several times the comparison.
  VMObjectArray* slots = threads->GetArray();
  const uint32_t count = threads->GetCount() < slots->GetSize() ? threads->GetCount() : slots->GetSize();
  for (uint32_t i = 1, run = 0; i < count; i += run) {
    const VMword* words = (const VMword*)slots->FindElement(i, &run);
    if (run > count - i) run = count - i;
    for (uint32_t k = 0; k < run; k++) {
      VMThread* thread = (VMThread*)words[k];
      if (thread != NULL && thread->GetId() == id) return i + k;
    }
  }
  return 0;
}

bool VM::ManyEndedThreads() {
  VMThreadHandleArray* threads = GetThreads();
  const uint32_t slots = threads != NULL ? threads->GetCount() : 0;
  if (slots <= kEndedThreadsKept || slots < GetScalar(EndedDropWord)) return false;
  if (uint32_t held = GetScalar(EndedDropHeldWord)) {
    // The thread the last drop gave up on: a host thread busy in its own code stays out
    // of reach for as long as it likes, and each try would wait out its looks again.
    VMThread* t = held < slots ? threads->Get(held) : NULL;
    const VMword flags = t != NULL && t->GetEnv() != NULL ? t->GetFlags() : 0;
    const VMword reached = VMThread::WaitingForGCFlag | VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag;
    if ((flags & VMThread::YieldToWaitForGCFlag) != 0 && (flags & reached) == 0) return false;
    SetScalar(EndedDropHeldWord, 0);
  }
  uint32_t ended = 0, attached = 0;
  for (uint32_t i = 1; i < slots; i++) {
    VMThread* thread = threads->Get(i);
    if (thread == NULL) continue;
    if (thread->GetEnv() == NULL)
      ended++;
    else
      attached++;
  }
  return ended >= kEndedThreadsKept && ended >= attached;
}

VMThread* VM::AttachThread(JNIEnv* env, JNIEnv** displaced) {
  tStartedBy = NULL;
  if (displaced != NULL) *displaced = NULL;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  void* me = host->CurrentThreadId();
  VMThread* thread = NULL;
  // A thread joins only while no other thread collects: the collection it would join
  // may be marking already. It waits outside the lock, and before it touches the heap.
  // A thread attached already (attaching again) is one the collection waits for: it
  // parks for it, as at a poll.
  uint32_t index;
  bool drop = false;
  JavaVM* record = GetJVM();
  for (;;) {
    LockThreads("namespace spinlock - Get  VM::AttachThread");
    index = FindCurrentThread();
    void* doing = GetThreadDoingGC();
    if (doing == NULL || doing == me) break;
    VMThread* known = index != 0 ? GetThreads()->Get(index) : NULL;
    if (known != NULL && known->GetEnv() == NULL) known = NULL;
    UnlockThreads("namespace spinlock - Release  VM::AttachThread");
    if (known == NULL || ThreadWaitForGC(known) != VMStatus_OK) host->Sleep(1);
    // The host may have moved the machine while this waited: the attach goes on there.
    VM* now = record != NULL ? record->vm : NULL;
    if (now != NULL && now != this) return now->AttachThread(env, displaced);
  }
  thread = index != 0 ? GetThreads()->Get(index) : NULL;
  if (thread != NULL) {
    // Attached again before the lock goes: a collection and the exit-time pass drop the
    // records of detached threads under this lock, and must not drop this one in between.
    VM_ASSERT(thread->GetEnv() == env || thread->GetEnv() == NULL);
    if (displaced != NULL) *displaced = thread->GetEnv();
    if (thread->GetEnv() == NULL) thread->BeginAttachment(host->CurrentThreadHandle());
    thread->SetEnv(env);
    if (env != NULL) env->thread = thread;
  } else {
    // Until it is in the array the new thread counts as running: no collection may
    // begin marking while its record is half made and held by nothing.
    SetScalar(AttachingWord, GetScalar(AttachingWord) + 1);
    drop = ManyEndedThreads();
  }
  UnlockThreads("namespace spinlock - Release  VM::AttachThread");
  if (thread != NULL) return thread;

  // Only this host thread can add its own entry, so nothing can slip in between. The
  // finalizer thread takes the record the creation made for it, which a full heap could
  // not refuse.
  if (tAttachingFinalizer) {
    LockThreads("namespace spinlock - Get  VM::AttachThread");
    thread = TakeFinalizerRecord();
    UnlockThreads("namespace spinlock - Release  VM::AttachThread");
    if (thread != NULL) {
      thread->BeginAttachment(host->CurrentThreadHandle());
      thread->SetId(me);
      thread->SetEnv(env);
      if (env != NULL) env->thread = thread;
    }
  }
  if (thread == NULL) thread = VMThread::CreateInstance(this, env, host->CurrentThreadHandle(), me);
  if (thread != NULL && tAttachingFinalizer) thread->SetFinalizerThread();
  LockThreads("namespace spinlock - Get  VM::AttachThread");
  // A slot freed by a dropped record is taken again: the array stays as long as the
  // most threads attached at once.
  uint32_t added = thread != NULL && GetThreads() != NULL ? GetThreads()->Add(thread) : 0;
  SetScalar(AttachingWord, GetScalar(AttachingWord) - 1);
  UnlockThreads("namespace spinlock - Release  VM::AttachThread");
  if (thread == NULL) return NULL;
  if (added == 0) {
    if (env != NULL && env->thread == thread) env->thread = NULL;
    thread->Destroy(GetHeap());
    return NULL;
  }
  thread->SetVM(this);
  thread->SetMutexLockCount(1);
  // Collections drop the records of ended threads, and a program that starts threads and
  // allocates little makes none for a long time: every attach and detach would walk ever
  // more records under the lock, each keeping its host objects. Once they outnumber the
  // threads attached (and a few), the new thread drops them itself.
  if (drop) DropEndedThreads(thread);
  return thread;
}

VMThread* VM::AttachAfterCollection(JNIEnv* env) {
  JavaVM* record = GetJVM();
  (void)CollectThen(true, NULL, NULL);
  // The host may have moved the machine while the collection waited for the others.
  VM* vm = record != NULL && record->vm != NULL ? record->vm : this;
  return vm->AttachThread(env);
}

int VM::AttachCurrentThreadWithObject(JNIEnv** env, VMJavaLangThread* thread) {
  return VMJniAttachCurrentThreadWithObject(GetJVM(), env, thread);
}

JNIEnv* VM::DetachThread(bool dropRecord) {
  tStartedBy = NULL;
  LockThreads("namespace spinlock - Get  VM::DetachThread");
  uint32_t index = FindCurrentThread();
  VMThread* thread = index != 0 ? GetThreads()->Get(index) : NULL;
  UnlockThreads("namespace spinlock - Release  VM::DetachThread");
  if (thread == NULL) return NULL;
  JNIEnv* env = thread->GetEnv();
  if (env == NULL) return NULL;

  if (VMJavaLangThread* jt = thread->GetJavaLangThread()) {
    jobject local = VMJniHandle::NewLocal(env, (VMObject*)jt);
    if (local == NULL) return NULL;
    upcall::JavaLangThreadClearNativeThread(env, local);
    env->functions->DeleteLocalRef(env, local);
  }
  // A thread that leaves holding monitors gives them up: its identity may never come
  // back to release them. Only the name space's heap holds monitors.
  if (thread->GetMutexLockCount() > 1 && GetNameSpace() != NULL) {
    void* me = VMUtils::GetHostFunctions()->CurrentThreadId();
    VMUtils::GetHostFunctions()->HeapWalk(GetNameSpace()->GetHeap(), ReleaseMonitorHeldBy, me);
  }
  thread->SetMutexLockCount(1);
  thread->SetHostMutexCount(0);
  // Once the env is gone the next collection (or the exit-time pass) may drop the
  // record: nothing here reads it after that.
  LockThreads("namespace spinlock - Get  VM::DetachThread");
  thread->SetEnv(NULL);
  if (dropRecord) {
    thread->Destroy(GetHeap());
    GetThreads()->Delete(index);
  }
  UnlockThreads("namespace spinlock - Release  VM::DetachThread");
  return env;
}

JNIEnv* VM::AttachedEnvOfCurrentThread(bool* recorded) {
  LockThreads("namespace spinlock - Get  VM::AttachedEnvOfCurrentThread");
  uint32_t index = FindCurrentThread();
  VMThread* thread = index != 0 ? GetThreads()->Get(index) : NULL;
  if (recorded != NULL) *recorded = thread != NULL;
  JNIEnv* env = thread != NULL ? thread->GetEnv() : NULL;
  UnlockThreads("namespace spinlock - Release  VM::AttachedEnvOfCurrentThread");
  return env;
}

void VM::RebindThread(VMThread* thread, JNIEnv* earlier) {
  LockThreads("namespace spinlock - Get  VM::RebindThread");
  thread->SetEnv(earlier);
  earlier->thread = thread;
  UnlockThreads("namespace spinlock - Release  VM::RebindThread");
}

unsigned long VM::GetThreadsAttached() {
  unsigned long attached = 0;
  LockThreads("namespace spinlock - Get  VM::GetThreadsAttached");
  if (VMThreadHandleArray* threads = GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread != NULL && thread->GetEnv() != NULL && !thread->GetFinalizerThread()) attached++;
    }
  }
  UnlockThreads("namespace spinlock - Release  VM::GetThreadsAttached");
  return attached;
}

void VM::PauseThreadsForDebugger(bool pause) {
  LockThreads("namespace spinlock - Get  VM::PauseThreadsForDebugger");
  if (VMThreadHandleArray* threads = GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread == NULL) continue;
      if (pause)
        thread->SetYieldForDebugger();
      else
        thread->ClearYieldForDebugger();
    }
  }
  UnlockThreads("namespace spinlock - Release  VM::PauseThreadsForDebugger");
}

unsigned long VM::StopOtherAttachedThreads(void* me) {
  // One record at a time under the lock, the host's stop outside it: the lock is the
  // name space's, shared with every machine of it. Only the handle is read under it (a
  // collection may drop the record of a thread that detaches meanwhile), and a host
  // thread handle stays usable after its thread has gone.
  unsigned long stopped = 0;
  for (uint32_t i = 1;; i++) {
    void* handle = NULL;
    bool found = false;
    LockThreads("namespace spinlock - Get  VM::StopAllOtherThreads");
    VMThreadHandleArray* threads = GetThreads();
    for (; threads != NULL && i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread == NULL || thread->GetEnv() == NULL || thread->GetId() == me) continue;
      handle = thread->GetHandle();
      found = true;
      break;
    }
    UnlockThreads("namespace spinlock - Release  VM::StopAllOtherThreads");
    if (!found) return stopped;
    VMUtils::GetHostFunctions()->StopThread(handle, 1);
    stopped++;
  }
}

void VM::StopAllOtherThreads(bool machineEnds) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  void* me = host->CurrentThreadId();
  bool stopAsked = false;
  // Every step stops every other attached thread again: a host thread may attach while
  // this waits, and a stopped thread that detaches and attaches again is a running
  // thread once more (the host forgets a stop when a thread detaches). A stop is idempotent.
  // The threads it waits for may collect meanwhile, and the host may move the machine,
  // this object and the caller's record with it: after each sleep the machine is read
  // through its invocation record, the caller's record through its env.
  JavaVM* record = GetJVM();
  JNIEnv* own = host->GetCurrentEnv();
  if (own != NULL && (own->javaVM != record || own->thread == NULL)) own = NULL;
  VM* vm = this;
  while (vm->StopOtherAttachedThreads(me) != 0) {
    EnterSafeRegion(own != NULL ? own->thread : NULL);
    host->Sleep(300);
    LeaveSafeRegion(own != NULL ? own->thread : NULL);
    if (record != NULL) vm = record->vm;
    if (host->YieldCheck() != 0) stopAsked = true;
    // A thread that a stop can wake has had a step to leave its host wait; one still
    // in it waits where the stop does not reach (a read of a pipe nobody writes).
    if (machineEnds) vm->LetGoOfHostWaiters(me);
  }
  if (stopAsked) VMJniThrowInternal(host->GetCurrentEnv(), VMStatus_ThreadDeath, NULL);
}

unsigned long VM::LetGoOfHostWaiters(void* me) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  unsigned long letGo = 0;
  for (uint32_t i = 1;; i++) {
    JNIEnv* env = NULL;
    LockThreads("namespace spinlock - Get  VM::LetGoOfHostWaiters");
    VMThreadHandleArray* threads = GetThreads();
    for (; threads != NULL && i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread == NULL || thread->GetEnv() == NULL || thread->GetId() == me || !thread->GetInHostWait()) continue;
      // The gate is the word of a live host thread: the flag is set only inside its own
      // host wait, and the thread cannot detach (nor end) while this lock is held. Once
      // the gate says let go, the thread reads nothing of the machine any more.
      VMword inside = InsideHostWait;
      if (!__atomic_compare_exchange_n(thread->GetHostWaitGate(), &inside, (VMword)LetGoOfHostWait, false,
                                       __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST))
        continue;
      // It holds no host mutex (EnterHostWait): the monitor levels it leaves are
      // interpreted ones, which lock nothing.
      VM_ASSERT(thread->GetHostMutexCount() == 0);
      env = thread->GetEnv();
      thread->SetMutexLockCount(1);
      // Detached: no wait counts it any more, and the record goes as a detached one.
      thread->SetEnv(NULL);
      break;
    }
    UnlockThreads("namespace spinlock - Release  VM::LetGoOfHostWaiters");
    if (env == NULL) return letGo;
    letGo++;
    host->HeapFree(NULL, env);
  }
}

void VM::DropEndedThreads(VMThread* self) {
  // A debugger keeps its own handles to records: they stay to the end, as a collection
  // leaves them.
  void* me = self->GetId();
  if (GetDebugger() != NULL || !ClaimCollection(me)) return;
  JNIEnv* env = NULL;
  // Threads end all the time here, each running on a little past its last poll to detach:
  // the wait looks again at once rather than at a collection's pace. An attached host
  // thread busy in host code parks nowhere, and this attach must not wait for it (a
  // collection would; an attach never did): after a few looks the records stay.
  uint32_t runner = 0;
  if (StopOtherThreads(self, &env, 1, kEndedDropLooks, &runner) && GetDebugger() == NULL) {
    DropDetachedThreads(me);
    SetScalar(EndedDropWord, 0);
    runner = 0;
  } else {
    // A thread parked with a host mutex held, or one that never parks, makes the stop
    // give up, perhaps for as long as it holds it or stays: the attaches meanwhile do not
    // each stop every thread for nothing, the next drop waits for the array to grow by as
    // many slots again.
    SetScalar(EndedDropWord, GetThreads()->GetCount() + kEndedThreadsKept);
  }
  ReleaseThreadsWaitingForGC();
  // The release took back every request; the one of the thread found running is made
  // again, for its next poll to take: until then, or until it parks, declares or leaves,
  // no drop is tried (ManyEndedThreads).
  LockThreads("namespace spinlock - Get  VM::DropEndedThreads");
  VMThread* held = runner != 0 && runner < GetThreads()->GetCount() ? GetThreads()->Get(runner) : NULL;
  if (held != NULL && held->GetEnv() != NULL && held->GetId() != me)
    held->SetWaitForGCRequested();
  else
    runner = 0;
  SetScalar(EndedDropHeldWord, runner);
  UnlockThreads("namespace spinlock - Release  VM::DropEndedThreads");
}

void VM::DropDetachedThreads(void* me) {
  LockThreads("namespace spinlock - Get  VM::DropDetachedThreads");
  if (VMThreadHandleArray* threads = GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread == NULL || thread->GetId() == me || thread->GetEnv() != NULL) continue;
      thread->Destroy(GetHeap());
      threads->Delete(i);
    }
  }
  UnlockThreads("namespace spinlock - Release  VM::DropDetachedThreads");
}

/* ---- the exit-time pass ---- */

struct FinalizeWalk {
  JNIEnv* env;
  bool runFinalizers;
};

static jboolean HOSTCALL FinalizeBlock(void* block, void* context) {
  FinalizeWalk* walk = (FinalizeWalk*)context;
  VMObject* object = (VMObject*)block;
  // Only object heads carry a monitor word; the other blocks of the heap (pieces of a
  // body, frame lists) hold data there.
  if (!object->GetIsRootObject() || !VMUtils::ValidateTag(object->GetTag())) return 1;
  if (walk->runFinalizers) {
    VMClass* cls = object->GetClass();
    if (walk->env != NULL && !object->GetIsFinalized() && cls != NULL && cls->GetIsLoadable())
      ((VMLoadableClass*)cls)->RunFinalize(walk->env, object);
    object->MonitorFini();
    object->SetIsFinalized();
  } else {
    object->MonitorFini();
  }
  return 1;
}

void VM::RunFinalizers() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  JNIEnv* env = host->GetCurrentEnv();
  JavaVM* record = GetJVM();
  upcall::JavaIoFileSystemDeleteAtExit(env, this);

  void* me = host->CurrentThreadId();
  // Records are freed below, which a collection by a thread still attached may be
  // walking: this thread holds the collector's claim meanwhile. The deletes and the
  // waits for a collection may let the host move the machine: it is read through its
  // record after each, the caller's record through its env.
  const bool own = env != NULL && env->javaVM == record && record != NULL;
  VM* vm = record != NULL ? record->vm : this;
  while (!vm->ClaimCollection(me)) {
    if (own && env->thread != NULL)
      (void)vm->ThreadWaitForGC(env->thread);
    else
      host->Sleep(1);
    if (record != NULL) vm = record->vm;
  }
  vm->DropDetachedThreads(me);
  vm->ReleaseThreadsWaitingForGC();
  // Threads still attached may still run on their records: they are stopped (outside the
  // lock), and their records are left to Destroy.
  vm->StopOtherAttachedThreads(me);

  FinalizeWalk walk = {env, vm->GetRunFinalizersOnExit()};
  host->HeapWalk(vm->GetHeap(), FinalizeBlock, &walk);
}

/* ---- Thread objects of threads attached from native code ---- */

bool VM::CreateJavaLangThread(JNIEnv* env) {
  // The constructors run here (and the loading of their classes) may stop at a poll, where
  // the host may move the machine: the machine and the record are read through the env
  // after each.
  if (env == NULL || env->thread == NULL) return false;
  VMNameSpace* ns = GetNameSpace();
  if (GetSystemThreadGroup() == NULL && ns != NULL && ns->GetClassList() != NULL) {
    VMLoadableClass* groupClass = ns->GetClassList()->GetThreadGroupClass(env);
    VM* vm = env->javaVM->vm;
    VMObject* group =
        groupClass != NULL ? VMObject::CreateInstance(vm->GetHeap(), groupClass, jallocFailFast) : NULL;
    vm->SetSystemThreadGroup(group);
    if (group != NULL) group->Initialize(env, true);
  }
  VM* vm = env->javaVM->vm;
  if (vm->GetSystemThreadGroup() == NULL) return false;
  VMThread* thread = env->thread;

  if (thread->GetName() == NULL) {
    static const char kDefault[] = "default";
    const uint32_t length = sizeof kDefault - 1;
    VMcharArray* name = VMcharArray::CreateInstance(vm->GetHeap(), length, jallocFailFast, VMTag_VMcharArray);
    if (name != NULL) {
      name->SetIsScalarArray();
      for (uint32_t i = 0; i < length; i++) name->Set(i, (jchar)(jshort)(jbyte)kDefault[i]);
      VMArrayClass* chars = ns != NULL && ns->GetArrayClassList() != NULL
                                ? ns->GetArrayClassList()->GetVMcharArrayClass()
                                : NULL;
      if (chars != NULL) name->SetClass((VMClass*)chars);
      env->thread->SetName(name);
    }
  }

  if (env->thread->GetJavaLangThread() == NULL) {
    VMJavaLangThread* jt = VMJavaLangThread::CreateInstance(env);
    if (jt == NULL) return false;
    env->thread->SetJavaLangThreadAndName(jt);
  }

  jobject local = VMJniHandle::NewLocal(env, (VMObject*)env->thread->GetJavaLangThread());
  if (local == NULL) return false;
  bool filled = upcall::JavaLangThreadInitAttached(env, local);
  env->functions->DeleteLocalRef(env, local);
  return filled;
}
