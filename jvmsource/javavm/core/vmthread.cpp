#include "vmthread.h"

#include <string.h>

#include "vm.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmupcalls.h"
#include "vmutils.h"

VMThread* VMThread::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMThread*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMThread,
                                                        jallocFailFast);
}

VMThread* VMThread::Current() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL) return NULL;
  JNIEnv* env = host->GetCurrentEnv();
  return env != NULL ? env->thread : NULL;
}

VMThread* VMThread::CreateInstance(VM* vm, JNIEnv* env, void* handle, void* id) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  HHeap* heap = vm->GetHeap();
  VMThread* thread = Instantiate(heap, Words, RefMask);
  if (thread == NULL) return NULL;
  VMFrame* first = NULL;
  void* block = NULL;

  thread->SetMutex(VMUtils::MutexCreate(thread));
  if (thread->GetMutex() == NULL) goto failed;
  thread->SetWakeEvent(VMUtils::EventSemaphoreCreate(thread));
  if (thread->GetWakeEvent() == NULL) goto failed;
  thread->SetJNIHandleArray(
      VMObjectHandleArray::CreateInstance(heap, VMTag_VMObjectHandleArray, 10, 10));
  if (thread->GetJNIHandleArray() == NULL) goto failed;
  thread->SetScalar(Word1, 5);
  thread->SetHandle(handle);
  thread->SetId(id);
  thread->SetEnv(env);
  thread->SetVM(vm);
  thread->SetPollFunction(host->YieldCheck);
  if (env != NULL) env->thread = thread;

  first = VMByteCodeFrame::CreateFirstFrame(env, thread);
  block = host->HeapAlloc(heap, framelist::Bytes(), jallocFailFast);
  if (block == NULL) goto failed;
  memset(block, 0, framelist::Bytes());
  framelist::CreateInstance((framelist*)block);
  thread->SetNativeFrames((framelist*)block);
  if (first == NULL) goto failed;
  thread->SetFrame(first);
  return thread;

failed:
  // The env must not keep pointing at a thread that is gone.
  if (env != NULL && env->thread == thread) env->thread = NULL;
  thread->Destroy(heap);
  return NULL;
}

void VMThread::Destroy(HHeap* heap) {
  // A thread let go in a host wait (VM::LetGoOfHostWaiters) never returns to its frames:
  // the frames of its native calls that live in process memory go with its record. The
  // record of any other thread is at its first frame by now.
  if (GetInHostWait()) {
    for (VMFrame* f = GetFrame(); f != NULL && !f->GetIsFirstFrame();) {
      VMFrame* caller = f->caller;
      if (f->tag == VMFrame::HostFrameTag && f->GetIsJNI()) ((VMJNIFrame*)f)->Destroy();
      f = caller;
    }
    SetFrame(NULL);
  }
  if (GetFrameGroup() != NULL) GetFrameGroup()->Destroy(heap);
  // The name is the Java Thread object's name array as well, which outlives this record
  // (finalizers and later collections still read it): it is left to the collector.
  SetName(NULL);
  if (GetNativeFrames() != NULL) {
    GetNativeFrames()->Destroy(heap);
    VMUtils::GetHostFunctions()->HeapFree(heap, GetNativeFrames());
  }
  if (GetJNIHandleArray() != NULL) GetJNIHandleArray()->Destroy(heap);
  if (GetGlobalLog() != NULL) GetGlobalLog()->VMObject::Destroy(heap);
  if (GetWakeEvent() != NULL) VMUtils::GetHostFunctions()->EventSemaphoreDestroy(GetWakeEvent());
  if (GetMutex() != NULL) VMUtils::GetHostFunctions()->MutexDestroy(GetMutex());
  VMObject::Destroy(heap);
}

void VMThread::BeginAttachment(void* handle) {
  SetHandle(handle);
  __atomic_fetch_and(&Body()[FlagsWord], (VMword)YieldToBeDebuggedFlag, __ATOMIC_SEQ_CST);
  __atomic_store_n(&Body()[SuspendCountWord], 0u, __ATOMIC_SEQ_CST);
  SetException(NULL);
  SetBlockedOn(NULL);
  SetMutexLockCount(1);
  SetHostMutexCount(0);
  SetPollFunction(VMUtils::GetHostFunctions()->YieldCheck);
  if (GetFlags() & RequestFlags) SetPollFunction(yieldAndCheck);
}

/* ---- pending exceptions ---- */

void VMThread::SetExceptionStatus(VMStatus status, VMLiteral* message) {
  JNIEnv* env = GetEnv();
  VMNameSpace* ns = env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  VMLoadableClass* cls = ns != NULL ? ns->GetExceptionClass(env, (uint32_t)status) : NULL;
  // Without a class there is no throwable to make; a stale one must not stay pending
  // as if it were the answer to this status.
  // The message is made first and held by the pending word while the throwable is made.
  VMJavaLangString* text = message != NULL ? message->MakeVMJavaLangString(env) : NULL;
  if (text != NULL) text->SetIsReachableByCPlusPlusCode();
  VMJavaLangThrowable* throwable = cls != NULL ? VMJavaLangThrowable::CreateInstance(env, cls) : NULL;
  if (text != NULL) text->ClearIsReachableByCPlusPlusCode();
  SetException(throwable);
  if (throwable != NULL) throwable->SetMessage(text);
}

void VMThread::PostException(VMJavaLangThrowable* throwable) {
  SetException(throwable);
  Request(YieldToPostExceptionFlag);
}

/* ---- suspension ---- */

/* The thread's mutex is a leaf held for a few instructions (the poll never takes it), taken
   raw so that it does not count as a hold of the calling thread. */
void VMThread::Suspend() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  host->MutexLock(GetMutex());
  uint32_t count = __atomic_add_fetch(&Body()[SuspendCountWord], 1u, __ATOMIC_SEQ_CST);
  if (count == 1) Request(YieldToPostSuspendFlag);
  host->MutexUnlock(GetMutex());
}

void VMThread::Resume() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  host->MutexLock(GetMutex());
  uint32_t count = __atomic_load_n(&Body()[SuspendCountWord], __ATOMIC_SEQ_CST);
  if (count != 0) __atomic_store_n(&Body()[SuspendCountWord], count - 1, __ATOMIC_SEQ_CST);
  if (count == 1) {
    // Whoever clears the request bit owns it: when the thread's poll got there first, the
    // thread suspends (or already has) and needs the host's resume, which the host keeps
    // if it comes before the suspension itself.
    VMword old = __atomic_fetch_and(&Body()[FlagsWord], ~(VMword)YieldToPostSuspendFlag,
                                    __ATOMIC_SEQ_CST);
    if ((old & YieldToPostSuspendFlag) == 0) {
      ClearSuspended();
      host->ResumeThread(GetHandle());
    }
  }
  host->MutexUnlock(GetMutex());
}

void VMThread::Stop() { VMUtils::GetHostFunctions()->StopThread(GetHandle(), 1); }

VMStatus VMThread::WaitForGC() {
  if (!GetYieldToWaitForGC()) return VMStatus_OK;
  ClearYieldToWaitForGC();
  return GetVM()->ThreadWaitForGC(this);
}

/* ---- the poll ---- */

int VMThread::Yield() { return GetPollFunction()(); }

int VMThread::YieldInPlace() {
  JNIHostPollFn poll = GetPollFunction();
  return poll == yieldAndCheck ? Serve<true>() : poll();
}

jint HOSTCALL VMThread::yieldAndCheck() { return Serve<false>(); }

template <bool InPlace>
jint VMThread::Serve() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  VMThread* t = Current();
  if (t == NULL) return host->YieldCheck();
  // Left set, they keep the poll installed for the interpreter to serve.
  const VMword kept =
      YieldToBeDebuggedFlag | YieldToPostSuspendFlag | YieldToJumpToDebugLoopFlag | YieldToRunFinalizersFlag;
  VMword flags = t->GetFlags();
  if (InPlace) flags &= ~kept;

  if (flags & YieldToBeDebuggedFlag) {
    VMDebugger::PauseThread();
    // A host stop ends the park: it is this poll's answer, or the next poll parks again.
    return host->YieldCheck();
  }
  if (flags & YieldToWaitForGCFlag) {
    VMStatus status = t->WaitForGC();
    // A stop the host asked for is this poll's answer: when collections come one after
    // another (every allocation of every thread collects), every poll finds the next
    // one's request, and a thread that only parked again would never leave.
    if (status == VMStatus_OK) return host->YieldCheck();
    VMFrame::ThrowInternalException(t->GetFrame(), status, (const char*)NULL);
    return status;  // at a native's frame: the exception is pending for it
  }
  if (flags & YieldToPostSuspendFlag) {
    VMword old = __atomic_fetch_and(&t->Body()[FlagsWord], ~(VMword)YieldToPostSuspendFlag,
                                    __ATOMIC_SEQ_CST);
    // A resume that cleared the request first means the thread is not to suspend.
    if (old & YieldToPostSuspendFlag) {
      t->SetSuspended();
      // A suspended thread is stopped at a poll: the host may relocate the machine
      // meanwhile, this record included.
      host->SuspendThread(t->GetHandle());
      t = Current();
      // The resume may have come before the suspension itself, and cleared the flag
      // before it was set.
      t->ClearSuspended();
    }
    return 0;
  }
  if ((flags & YieldToPostExceptionFlag) && !(flags & ProcessingMonitorEnterFlag)) {
    VMJavaLangThrowable* e = t->GetException();
    t->ClearYieldToPostException();
    if (e == NULL) return host->YieldCheck();
    VMFrame::ThrowException(t->GetFrame(), e);
    return 1;  // at a native's frame: the exception is pending for it
  }
  if ((flags & YieldToJumpToDebugLoopFlag) && !(flags & ProcessingMonitorEnterFlag)) {
    if (!t->GetFrame()->GetIsByteCode()) return 0;
    // Not while the thread's agent is unconnected: the request waits for the connection.
    if (!VMDebugger::ReadyForDebugLoop(t)) return 0;
    t->ClearFlag(YieldToJumpToDebugLoopFlag);
    t->SetDebuggerAttachRequestNoticedByYield();
    VMDebugger::JumpToDebugLoop(t);
    return 0;
  }
  // Only at the interpreter's own polls, which find out about a move as after a
  // suspension: a native's poll may keep a record across it.
  if ((flags & YieldToRunFinalizersFlag) && !(flags & ProcessingMonitorEnterFlag) && t->GetFrame() != NULL &&
      t->GetFrame()->GetIsByteCode()) {
    t->ClearYieldToRunFinalizers();
    JNIEnv* env = t->GetEnv();
    VM::RunFinalizersDue(env, false);
    // A stop that ended a finalizer is thrown here, as a posted one is.
    if (VMJavaLangThrowable* e = env->thread->GetException()) {
      VMFrame::ThrowException(env->thread->GetFrame(), e);
      return 1;
    }
    return 0;
  }
  if (flags & (YieldToWaitForGCFlag | YieldToJumpToDebugLoopFlag | YieldToPostSuspendFlag |
               YieldToPostExceptionFlag)) {
    // Only a posted exception that waits for a monitor enter to finish: keep polling.
    return 0;
  }
  // Finalizers left for the interpreter's next poll: a native's wait that polls meanwhile
  // must still see the host's stop.
  if (flags & YieldToRunFinalizersFlag) return host->YieldCheck();
  if (InPlace && (t->GetFlags() & kept)) return host->YieldCheck();
  t->SetPollFunction(host->YieldCheck);
  // A request set between the test above and the restore would otherwise sit unseen.
  if (t->GetFlags() & RequestFlags) t->SetPollFunction(yieldAndCheck);
  return 0;
}

/* ---- the Java side ---- */

bool VMThread::GetIsDaemon() {
  VMJavaLangThread* jt = GetJavaLangThread();
  if (jt == NULL) return false;
  VMThread* current = Current();
  if (GetEnv() == NULL || current == NULL || current->GetEnv() == NULL) return true;
  JNIEnv* env = current->GetEnv();
  jobject local = VMJniHandle::NewLocal(env, (VMObject*)jt);
  if (local == NULL) return false;
  jboolean daemon = VMJniGetBooleanField(env, local, upcall::JniUtilsFieldThreadDaemon(env));
  env->functions->DeleteLocalRef(env, local);
  return daemon != 0;
}

void VMThread::SetJavaLangThreadAndName(VMJavaLangThread* jt) {
  SetJavaLangThread(jt);
  if (jt == NULL) return;
  // The Thread object's first field is its name.
  VMObject* object = (VMObject*)jt;
  VMcharArray* name = (VMcharArray*)object->GetWord(0);
  if (name != NULL && GetName() == NULL)
    SetName(name);
  else if (name == NULL && GetName() != NULL)
    object->SetWord(0, (VMword)GetName());
}

/* ---- relocation ---- */

void VMThread::Relocate(VMRelocateInfo* info) {
  if (JNIEnv* env = GetEnv()) env->thread = this;
  info->Relocate(&Body()[FrameWord]);
  if (GetFrame() != NULL) GetFrame()->Relocate(info);
  if (GetFrameGroup() != NULL) GetFrameGroup()->Relocate(info);
  // The frame-list blocks are plain blocks of the heap, which the host moves but cannot
  // find as objects: their ring words (current, head, next, previous) are rewritten
  // here, block after block along the rewritten next words. Word 16 itself is a
  // reference word of this record, rewritten with it.
  VMword* head = (VMword*)GetNativeFrames();
  VMword* block = head;
  while (block != NULL) {
    info->Relocate(&block[framelist::CurrentWord]);
    info->Relocate(&block[framelist::HeadWord]);
    info->Relocate(&block[framelist::NextWord]);
    info->Relocate(&block[framelist::PreviousWord]);
    block = (VMword*)block[framelist::NextWord];
    if (block == head) break;
  }
}
