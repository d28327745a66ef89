/* Java threads on host threads: starting a Thread's run() on a new host thread, finding
   the machine thread behind a Thread object, stopping, suspending, interrupting, and
   sleeping and yielding on the calling thread.

   A Thread object's native-thread word holds the env of the host thread that runs it,
   0 when none does. The word is Java data (reflection can write it from the second
   library generation on), so it is never followed as a pointer: the thread is found
   by comparing it with the envs of the machine's attached threads. While a start is
   under way the word holds kStarting, which names no env: the Thread is alive from
   the moment start() claims it, and a second start() finds it claimed. */
#include "vmjvm.h"

#include <limits.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjvm_ids.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

const VMword kStarting = 1;

/* Starts a refused thread record may be tried again, each after a collection. */
const int kStartAttempts = 5;

/* The states of a start's handshake: kJoining once the new thread has attached and joins
   its group, kRefused when the group is destroyed. */
enum : int32_t { kWaiting = 0, kAttached = 1, kFailed = 2, kRefused = 3, kJoining = 4 };

/* Lives on the starter's stack until the new thread sets started to an end state; the
   new thread reads nothing from it after that. The Thread is named by the starter's
   reference to it: the host may move the machine while the starter waits declared, up to
   the moment the new thread has joined it, and only then does the new thread read the
   object. */
struct JVMThreadStartContext {
  VMMethod* run;
  JNIEnv* starter;
  jobject thread;
  JavaVM* javaVM;
  int32_t started;
};

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

/* The address of a field's word in a Thread object; NULL when the object is no Thread or
   the class library has no such field (its look-up's exception pending). */
VMword* ThreadWord(JNIEnv* env, VMObject* object, jfieldID id) {
  if (object == NULL || !object->GetHasClass()) return NULL;
  VMDataMember* field = JVMFieldOf(env, id);
  if (field == NULL) return NULL;
  // The field's slot exists only in instances of its class and below.
  if (!VMClass::AssignableFrom(object->GetClass(), (VMClass*)field->GetDefinedIn())) return NULL;
  return object->GetElementAddress((uint32_t)field->GetIndex());
}

VMword* NativeWord(JNIEnv* env, VMObject* object) { return ThreadWord(env, object, JVMFieldThreadNative(env)); }

VMThread* FindAttached(VM* vm, VMword env) {
  VMNameSpace* ns = vm->GetNameSpace();
  if (env == 0 || ns == NULL) return NULL;
  VMThread* found = NULL;
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  JVMGetVMThread");
  if (VMThreadHandleArray* threads = vm->GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* t = threads->Get(i);
      if (t != NULL && (VMword)t->GetEnv() == env) {
        found = t;
        break;
      }
    }
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  JVMGetVMThread");
  return found;
}

/* Steps of the starter's wait: the new thread usually attaches within a millisecond or
   two, so the first steps are short; none is longer than the 300 ms step of every
   machine-side wait. */
jlong NextStep(jlong step) { return step >= 150 ? 300 : step * 2; }

/* ThreadGroup.uncaughtException(Thread, Throwable) as the group's class has it; NULL
   for a null group or a class without it. */
VMMethod* FindUncaughtExceptionMethod(JNIEnv* env, VMObject* group) {
  if (group == NULL || !group->GetHasClass() || !group->GetClass()->GetIsLoadable()) return NULL;
  VMLoadableClass* cls = group->GetLoadableClass();
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMLoadableClass* threadGroup = ns->GetClassList()->GetThreadGroupClass(env);
  if (cls == threadGroup) return JVMMethodOf(env, JVMMethodThreadGroupUncaughtException(env));
  VMLiteral* name = VMLiteral::CreateInstance(ns, "uncaughtException", 0xFFFFFFFFu);
  VMLiteral* signature =
      VMLiteral::CreateInstance(ns, "(Ljava/lang/Thread;Ljava/lang/Throwable;)V", 0xFFFFFFFFu);
  if (name == NULL || signature == NULL) return NULL;
  VMMethod* method = cls->FindMethod(name, signature, true);
  return method != NULL && !method->GetIsStatic() ? method : NULL;
}

/* The group word of the Thread held by local, read afresh; NULL without one. */
VMObject* GroupOf(JNIEnv* env, jobject local) {
  jfieldID field = JVMFieldThreadGroup(env);
  VMword* word = ThreadWord(env, VMJniHandle::UnHandle(env, local), field);
  return word != NULL ? (VMObject*)*word : NULL;
}

/* Whether the group of the Thread held by local is destroyed. */
bool GroupDestroyed(JNIEnv* env, jobject local) {
  VMObject* group = GroupOf(env, local);
  VMDataMember* field = JVMFieldOf(env, JVMFieldThreadGroupDestroyed(env));
  return group != NULL && field != NULL && group->GetWord((uint32_t)field->GetIndex()) != 0;
}

/* Runs the group's add(Thread) or remove(Thread) on the Thread held by local: false with
   the exception pending when it threw or the library lacks it. No group, nothing to do. */
bool CallGroup(JNIEnv* env, jobject local, jmethodID id) {
  VMMethod* method = JVMMethodOf(env, id);
  if (method == NULL) return false;
  VMObject* group = GroupOf(env, local);
  if (group == NULL) return true;
  VMword args[3] = {(VMword)group, (VMword)VMJniHandle::UnHandle(env, local), 0};
  VMFrame::ExecuteJava(env, method, args);
  return env->thread->GetException() == NULL;
}

/* The thread is alive until it is out of its group, and a stop (ThreadGroup.stop() reaches
   every member) thrown inside remove() or exit() would leave the ended Thread there for
   good: from here on stops pass it by (JVM_StopThread looks under the same mutex), and
   one posted already is dropped. */
void EndStops(JNIEnv* env) {
  JNIHostFunctions* host = Host();
  VMThread* thread = env->thread;
  host->MutexLock(thread->GetMutex());
  thread->SetOnDeathRow();
  host->MutexUnlock(thread->GetMutex());
  thread->SetException(NULL);
}

jint HOSTCALL JVMThreadBody(void* argument) {
  JVMThreadStartContext* context = (JVMThreadStartContext*)argument;
  VMMethod* run = context->run;
  JavaVM* javaVM = context->javaVM;
  JNIEnv* env = NULL;
  if (VMJniAttachCurrentThreadWithObject(javaVM, &env, NULL) != 0) {
    __atomic_store_n(&context->started, kFailed, __ATOMIC_RELEASE);
    return -1;
  }
  // Attached and not declared, the thread holds the machine where it is: the starter,
  // still waiting, keeps its reference (and its record) as the last move left them.
  VMObject* object = VMJniHandle::UnHandle(context->starter, context->thread);
  env->thread->SetJavaLangThreadAndName((VMJavaLangThread*)object);
  jobject local = VMJniHandle::NewLocal(env, object);
  // The starter's wait grows its steps while the attach takes long; the join is short.
  __atomic_store_n(&context->started, kJoining, __ATOMIC_RELEASE);
  // It joins its group as it starts, before start() returns, and before its env goes into
  // the Thread: a stop finds the thread by that word, and one thrown inside add() would
  // fail the start. From here on the host may move the machine whenever the thread runs
  // Java or may collect: the thread's record and its Thread are read again after each
  // such call, through the env (whose word a move rewrites) and the local.
  int32_t state = local != NULL ? kAttached : kFailed;
  if (state == kAttached && !CallGroup(env, local, JVMMethodThreadGroupAdd(env)))
    state = GroupDestroyed(env, local) ? kRefused : kFailed;
  // The env goes into the Thread before the starter returns, so that isAlive() and
  // join() right after start() see a live thread.
  if (state == kAttached && !JVMSetThreadEnvField(env, local, (VMword)env)) state = kFailed;
  if (state != kAttached) {
    env->thread->SetException(NULL);
    javaVM->functions->DetachCurrentThread(javaVM);
    __atomic_store_n(&context->started, state, __ATOMIC_RELEASE);
    return -1;
  }
  __atomic_store_n(&context->started, kAttached, __ATOMIC_RELEASE);
  // Nothing but the machine's frames waits for this thread to come back: an end of the
  // machine may let it go in a host wait.
  javaVM->vm->MarkStartedThread();

  VMword args[3] = {(VMword)VMJniHandle::UnHandle(env, local), 0, 0};
  VMFrame::ExecuteJava(env, run, args);
  if (VMJavaLangThrowable* uncaught = env->thread->GetException()) {
    jobject exception = VMJniHandle::NewLocal(env, (VMObject*)uncaught);
    env->thread->SetException(NULL);
    VMMethod* handler = FindUncaughtExceptionMethod(env, GroupOf(env, local));
    env->thread->SetException(NULL);
    if (handler != NULL && exception != NULL) {
      VMword handlerArgs[3] = {(VMword)GroupOf(env, local), (VMword)VMJniHandle::UnHandle(env, local),
                               (VMword)VMJniHandle::UnHandle(env, exception)};
      VMFrame::ExecuteJava(env, handler, handlerArgs);
    }
    // The thread leaves its group whatever the handler did (exit(), which does it on the
    // other path, is not run here), and has no group afterwards, as exit() leaves it. A
    // start of this Thread finds it so and refuses.
    EndStops(env);
    (void)CallGroup(env, local, JVMMethodThreadGroupRemove(env));
    env->thread->SetException(NULL);
    jfieldID groupField = JVMFieldThreadGroup(env);
    if (VMword* word = ThreadWord(env, VMJniHandle::UnHandle(env, local), groupField)) *word = 0;
  } else if (VMMethod* exit = JVMMethodOf(env, JVMMethodThreadExit(env))) {
    EndStops(env);
    VMword exitArgs[1] = {(VMword)VMJniHandle::UnHandle(env, local)};
    VMFrame::ExecuteJava(env, exit, exitArgs);
  }
  // What escaped the handler or exit() has no one left to report to.
  env->thread->SetException(NULL);
  JVMSetThreadEnvField(env, local, 0);
  env->thread->SetException(NULL);
  // The monitor's wait may let the host move the machine too.
  if (VMJniHandle::UnHandle(env, local)->MonitorEnter() == VMStatus_OK) {
    VMObject* done = VMJniHandle::UnHandle(env, local);
    (void)done->NotifyAll();
    (void)done->MonitorExit();
  }
  env->functions->DeleteLocalRef(env, local);
  VMThread* thread = env->thread;
  thread->GetJNIHandleArray()->Clear(1);
  // A native that attached the thread again put the env it got in this one's place: the
  // detach frees that one, and this one, the machine's own, goes too.
  const bool replaced = thread->GetEnv() != env;
  jint detached = javaVM->functions->DetachCurrentThread(javaVM);
  if (replaced) {
    JNIHostFunctions* host = Host();
    if (host->GetCurrentEnv() == env) {
      host->SetCurrentEnv(NULL);
      VMJniClearHostEnv();
    }
    host->HeapFree(NULL, env);
  }
  return detached;
}

VMThread* ThreadArgument(JNIEnv* env, jobject thread) { return JVMGetVMThread(env, thread); }

/* Whether a sleep ends here: an interrupt (InterruptedException, the flag cleared), an
   exception pending, or a stop the poll reports (ThreadDeath unless the poll threw a
   posted exception itself). The poll serves what other threads asked of this one; the
   host may move the machine while it is suspended there, so the record is read through
   the env, whose thread word a move rewrites. */
bool SleepEnds(JNIEnv* env) {
  VMThread* thread = env->thread;
  // A stop posted before the sleep began is not replaced by an interrupt sent after it.
  if (thread->GetException() != NULL) return true;
  VMword old = __atomic_fetch_and(&thread->Body()[VMThread::FlagsWord], ~(VMword)VMThread::InterruptedFlag,
                                  __ATOMIC_SEQ_CST);
  if (old & VMThread::InterruptedFlag) {
    VMJniThrowInternal(env, VMStatus_InterruptedException, NULL);
    return true;
  }
  if (thread->Yield() != 0) {
    if (env->thread->GetException() == NULL) VMJniThrowInternal(env, VMStatus_ThreadDeath, NULL);
    return true;
  }
  return env->thread->GetException() != NULL;
}


}  // namespace

/* ---- the native-thread word ---- */

VMword JVMGetThreadEnvField(JNIEnv* env, jobject thread) {
  VMword* word = NativeWord(env, VMJniHandle::UnHandle(env, thread));
  return word != NULL ? __atomic_load_n(word, __ATOMIC_ACQUIRE) : 0;
}

bool JVMSetThreadEnvField(JNIEnv* env, jobject thread, VMword value) {
  VMword* word = NativeWord(env, VMJniHandle::UnHandle(env, thread));
  if (word == NULL) return false;
  __atomic_store_n(word, value, __ATOMIC_RELEASE);
  return true;
}

bool JVMMoveThreadEnvField(JNIEnv* env, VMObject* thread, VMword from, VMword to) {
  VMword* word = NativeWord(env, thread);
  return word != NULL && __atomic_compare_exchange_n(word, &from, to, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

VMThread* JVMGetVMThread(JNIEnv* env, jobject thread) {
  VM* vm = env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL;
  if (vm == NULL) return NULL;
  return FindAttached(vm, JVMGetThreadEnvField(env, thread));
}

/* ---- start ---- */

void JNICALL JVM_StartThread(JNIEnv* env, jobject threadHandle) {
  VMObject* object = VMJniHandle::UnHandle(env, threadHandle);
  VMNameSpace* ns = env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  if (object == NULL || ns == NULL || env->thread == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  if (!object->GetHasClass() || !object->GetClass()->GetIsLoadable()) return;
  VMLiteralTable* literals = ns->GetLiterals();
  VMMethod* run = object->GetLoadableClass()->FindMethod(literals->GetRun(), literals->GetSigNull(), true);
  if (run == NULL) return;
  VMword* word = NativeWord(env, object);
  VMword* group = ThreadWord(env, object, JVMFieldThreadGroup(env));
  if (word == NULL || group == NULL) return;
  // A Thread that has run (its group gone when it ended) never runs again.
  if (*group == 0 && __atomic_load_n(word, __ATOMIC_ACQUIRE) == 0) {
    VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    return;
  }
  // One claim per Thread: a second start(), or one racing with the first (interpreted
  // synchronized excludes nobody), finds the word taken.
  VMword expected = 0;
  if (!__atomic_compare_exchange_n(word, &expected, kStarting, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
    VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    return;
  }
  // The run that ended between the test above and the claim cleared the group first.
  if (*group == 0) {
    __atomic_store_n(word, 0, __ATOMIC_RELEASE);
    VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    return;
  }
  JNIHostFunctions* host = Host();
  JVMThreadStartContext context = {run, env, threadHandle, env->javaVM, kWaiting};
  int32_t state = kFailed;
  // The new thread's record is made on the machine heap, which may be full of garbage;
  // the new thread cannot collect before it is listed, so the starter collects once
  // and starts it again. (A failed thread leaves the context alone once it says so.)
  for (int attempt = 0; attempt < kStartAttempts && state == kFailed; attempt++) {
    if (attempt > 0) {
      // From the second time on, the finalizers of what the collections found due run
      // first (a wait declared here, where only references are held), while the threads
      // that fill the heap meanwhile leave garbage that falls due in turn.
      if (attempt > 1 && !(env->javaVM->vm->FinalizersPending() && VM::AwaitFinalizers(env->javaVM, env))) break;
      if (!VMObjectBase::CollectForRetry()) break;
      context.started = kWaiting;
    }
    if (!host->StartThread(JVMThreadBody, &context, 1)) {
      // A first attempt's wait may have moved the Thread.
      if ((word = NativeWord(env, VMJniHandle::UnHandle(env, threadHandle))) != NULL)
        __atomic_store_n(word, 0, __ATOMIC_RELEASE);
      return;
    }
    // The starter touches no heap object while it waits (its Thread is held by its local
    // reference): a collection need not wait for it.
    // Leaving the region parks while a collection runs: the starter then goes on to touch
    // the heap only once it has ended. The host may move the machine meanwhile: the
    // record is read through the env on each side, the Thread through its reference.
    VM::EnterSafeRegion(env->thread);
    jlong step = 1;
    while ((state = __atomic_load_n(&context.started, __ATOMIC_ACQUIRE)) == kWaiting || state == kJoining) {
      host->Sleep(step);
      step = state == kJoining ? 1 : NextStep(step);
    }
    VM::LeaveSafeRegion(env->thread);
  }
  if (state != kAttached) {
    VMword starting = kStarting;
    word = NativeWord(env, VMJniHandle::UnHandle(env, threadHandle));
    if (word != NULL)
      __atomic_compare_exchange_n(word, &starting, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    if (state == kRefused)
      VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    else
      VMJniThrowInternal(env, VMStatus_OutOfMemoryError, "cannot attach the new thread");
  }
}

/* ---- the host's threads in the system group ---- */

void JVMJoinGroupAtAttach(JNIEnv* env) { env->thread->SetHostMember(); }

jint JVMHostMembers(JNIEnv* env, jobject group, jobject list) {
  VM* vm = env->javaVM->vm;
  void* lock = env->javaVM->nameSpace->GetSpinLock();
  VMDataMember* nativeField = JVMFieldOf(env, JVMFieldThreadNative(env));
  VMClass* threadClass = (VMClass*)env->javaVM->nameSpace->GetClassList()->GetThreadClass(env);
  VMObject* self = VMJniHandle::UnHandle(env, group);
  VMObjectArray* into = (VMObjectArray*)VMJniHandle::UnHandle(env, list);
  if (nativeField == NULL || threadClass == NULL || self == NULL || self != vm->GetSystemThreadGroup()) {
    env->thread->SetException(NULL);
    return 0;
  }
  // Only an array of exactly Thread[] takes every Thread without a store check.
  if (into != NULL && (!into->GetHasClass() || into->GetClass() != (VMClass*)threadClass->GetArrayOf())) return 0;
  const uint32_t native = (uint32_t)nativeField->GetIndex();
  const uint32_t room = into != NULL ? into->GetSize() : 0;
  uint32_t found = 0;
  // A few records a hold: the lock is the name space's, which every attach and detach of
  // its machines takes. Nothing here collects or waits, so no record with a Thread is
  // dropped meanwhile (a drop stops this thread first), and a record keeps its slot while
  // it lives: none is met twice.
  enum { kPerHold = 32 };
  VMObject* met[kPerHold];
  for (uint32_t i = 1;;) {
    uint32_t k = 0, slots = 0;
    VMUtils::P_SpinLock(lock, "namespace spinlock - Get  JVMHostMembers");
    if (VMThreadHandleArray* threads = vm->GetThreads()) {
      slots = threads->GetCount();
      for (const uint32_t end = i + kPerHold < slots ? i + kPerHold : slots; i < end; i++) {
        VMThread* t = threads->Get(i);
        JNIEnv* own = t != NULL ? t->GetEnv() : NULL;
        VMObject* thread = own != NULL ? (VMObject*)t->GetJavaLangThread() : NULL;
        if (thread == NULL || (t->GetFlags() & (VMThread::HostMemberFlag | VMThread::FinalizerThreadFlag)) !=
                                  VMThread::HostMemberFlag)
          continue;
        // Alive while its native-thread word names the record's env: from the end of its
        // attach to the start of its detach.
        if (thread->GetHasClass() && thread->GetClass() == threadClass &&
            __atomic_load_n(thread->GetElementAddress(native), __ATOMIC_ACQUIRE) == (VMword)own)
          met[k++] = thread;
      }
    }
    VMUtils::V_SpinLock(lock, "namespace spinlock - Release  JVMHostMembers");
    for (uint32_t j = 0; j < k; j++, found++)
      if (found < room) into->Set(found, met[j]);
    if (i >= slots) return (jint)found;
  }
}

/* ---- thread groups ---- */

bool JVMChangeThreadGroup(JNIEnv* env, jobject group, JVMGroupChange change, jobject old, jobject now) {
  // The ids first: a first look-up may collect, which nothing after the objects are read may.
  VMDataMember* threadsField = JVMFieldOf(env, JVMFieldThreadGroupThreads(env));
  VMDataMember* groupsField = JVMFieldOf(env, JVMFieldThreadGroupGroups(env));
  VMDataMember* destroyedField = JVMFieldOf(env, JVMFieldThreadGroupDestroyed(env));
  VMDataMember* unstartedField = JVMFieldOf(env, JVMFieldThreadGroupUnstarted(env));
  VMObject* object = VMJniHandle::UnHandle(env, group);
  if (object == NULL || threadsField == NULL || groupsField == NULL || destroyedField == NULL ||
      unstartedField == NULL || !object->GetHasClass() ||
      !VMClass::AssignableFrom(object->GetClass(), (VMClass*)threadsField->GetDefinedIn()))
    return false;
  VMword* threads = object->GetElementAddress((uint32_t)threadsField->GetIndex());
  VMword* groups = object->GetElementAddress((uint32_t)groupsField->GetIndex());
  VMword* destroyed = object->GetElementAddress((uint32_t)destroyedField->GetIndex());
  VMword* unstarted = object->GetElementAddress((uint32_t)unstartedField->GetIndex());
  VMword* list = change == kGroupAddGroup || change == kGroupRemoveGroup ? groups : threads;
  const VMword from = (VMword)VMJniHandle::UnHandle(env, old);
  const VMword to = (VMword)VMJniHandle::UnHandle(env, now);
  void* lock = env->javaVM->nameSpace->GetSpinLock();
  VMUtils::P_SpinLock(lock, "namespace spinlock - Get  JVMChangeThreadGroup");
  bool swap = false, done = false;
  switch (change) {
    case kGroupThreadStarts:
    case kGroupAddGroup:
      swap = *list == from && *destroyed == 0;
      break;
    case kGroupThreadEnds:
    case kGroupRemoveGroup:
      swap = *list == from;
      break;
    case kGroupThreadMade:
      done = *destroyed == 0;
      if (done) ++*unstarted;
      break;
    case kGroupDestroy:
    case kGroupDestroyIdle:
      done = *destroyed == 0 && *threads == 0 && *groups == 0 && (change == kGroupDestroy || *unstarted == 0);
      if (done) *destroyed = 1;
      break;
  }
  if (swap) {
    // Readers take no lock: they see the old array or the whole new one.
    __atomic_store_n(list, to, __ATOMIC_RELEASE);
    // (A started clone of a Thread never counted as made.)
    if (change == kGroupThreadStarts && (jint)*unstarted > 0) --*unstarted;
    done = true;
  }
  VMUtils::V_SpinLock(lock, "namespace spinlock - Release  JVMChangeThreadGroup");
  return done;
}

/* ---- other threads ---- */

void JNICALL JVM_StopThread(JNIEnv* env, jobject thread, jobject throwable) {
  VMObject* exception = VMJniHandle::UnHandle(env, throwable);
  if (exception == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  VMThread* target = ThreadArgument(env, thread);
  if (target == NULL) return;
  if (target == env->thread) {
    // The caller itself: pending once, for this native's return; a posted request
    // would throw it a second time at the next poll.
    env->functions->Throw(env, (jthrowable)throwable);
    return;
  }
  // A thread whose run() is over is leaving its group: the stop passes it by (EndStops).
  // A thread blocked in a wait polls only when it wakes: wake it, as an interrupt does;
  // its wait takes the post as a spurious wake-up and meets the exception at its poll.
  const bool locked = VMUtils::MutexLock(target->GetMutex()) != 0;
  if (!target->GetOnDeathRow()) {
    target->PostException((VMJavaLangThrowable*)exception);
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    if (void* event = locked ? target->GetBlockedOn() : NULL) Host()->EventPost(event);
  }
  if (locked) VMUtils::MutexUnlock(target->GetMutex());
  JVM_ResumeThread(env, thread);
}

jboolean JNICALL JVM_IsThreadAlive(JNIEnv* env, jobject thread) {
  return JVMGetThreadEnvField(env, thread) != 0 ? 1 : 0;
}

void JNICALL JVM_SuspendThread(JNIEnv* env, jobject thread) {
  if (VMThread* target = ThreadArgument(env, thread)) target->Suspend();
}

void JNICALL JVM_ResumeThread(JNIEnv* env, jobject thread) {
  if (VMThread* target = ThreadArgument(env, thread)) target->Resume();
}

void JNICALL JVM_SetThreadPriority(JNIEnv*, jobject, jint) {}

void JNICALL JVM_Interrupt(JNIEnv* env, jobject thread) {
  VMThread* target = ThreadArgument(env, thread);
  if (target == NULL) return;
  if (!VMUtils::MutexLock(target->GetMutex())) return;
  target->SetInterrupted();
  // Pairs with the waiter's publish-then-recheck: either it sees the flag before it
  // sleeps, or this sees the event it sleeps on.
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
  if (void* event = target->GetBlockedOn()) Host()->EventPost(event);
  VMUtils::MutexUnlock(target->GetMutex());
}

jboolean JNICALL JVM_IsInterrupted(JNIEnv* env, jobject thread, jboolean clear) {
  VMThread* target = ThreadArgument(env, thread);
  if (target == NULL) return 0;
  if (!clear) return target->GetInterrupted() ? 1 : 0;
  VMword old = __atomic_fetch_and(&target->Body()[VMThread::FlagsWord], ~(VMword)VMThread::InterruptedFlag,
                                  __ATOMIC_SEQ_CST);
  return (old & VMThread::InterruptedFlag) != 0 ? 1 : 0;
}

/* ---- the calling thread ---- */

void JNICALL JVM_Yield(JNIEnv*, jclass) { (void)Host()->YieldCheck(); }

jobject JNICALL JVM_CurrentThread(JNIEnv* env, jclass) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (thread == NULL) return NULL;
  return VMJniHandle::NewLocal(env, (VMObject*)thread->GetJavaLangThread());
}

/* Waits of at most 300 ms on the thread's own wake event, with the checks before the
   first and after each. The event is the one an interrupt posts (through BlockedOn),
   so an interrupt ends a sleep at once; a post left over from an earlier wait ends a
   step early, and the sleep goes on to its end by the clock. A host without events
   sleeps plain host sleeps. */
void JNICALL JVM_Sleep(JNIEnv* env, jclass, jlong millis) {
  if (env == NULL || env->thread == NULL) return;
  if (millis < 0) {
    VMJniThrowInternal(env, VMStatus_IllegalArgumentException, "timeout value is negative");
    return;
  }
  if (SleepEnds(env)) return;
  JNIHostFunctions* host = Host();
  if (millis == 0) {
    host->Sleep(0);
    SleepEnds(env);
    return;
  }
  void* event = env->thread->GetWakeEvent();
  while (event != NULL && host->EventWait(event, 0) == 0) {
  }
  // A sleep "for ever" (Long.MAX_VALUE) ends at the clock's last value, not past it.
  const jlong now = host->CurrentTimeMillis();
  const jlong deadline = now > 0 && millis > LLONG_MAX - now ? LLONG_MAX : now + millis;
  jlong left = millis;
  while (left > 0) {
    jlong step = left > 300 ? 300 : left;
    jint waited = 1;
    // A sleeper touches no object: collections go on without waiting for its step's end,
    // and the host may move the machine meanwhile, this record with it: it is read again
    // through the env after each wait, the waits for its mutex (an interrupter's hold)
    // among them.
    VMThread* thread = env->thread;
    VM::EnterSafeRegion(thread);
    if (event != NULL && VMUtils::MutexLock(thread->GetMutex())) {
      thread = env->thread;
      // Published under the thread's mutex, as an interrupter reads it: either the
      // interrupter sees the event, or the flag is seen here before the wait.
      const bool interrupted = thread->GetInterrupted();
      if (!interrupted) thread->SetBlockedOn(event);
      VMUtils::MutexUnlock(thread->GetMutex());
      if (!interrupted) {
        waited = host->EventWait(event, step);
        thread = env->thread;
        VMUtils::MutexLock(thread->GetMutex());
        thread = env->thread;
        thread->SetBlockedOn(NULL);
        VMUtils::MutexUnlock(thread->GetMutex());
      } else {
        waited = 0;
      }
    }
    if (waited == 1) host->Sleep(step);
    VM::LeaveSafeRegion(env->thread);
    if (SleepEnds(env)) return;
    left = deadline - host->CurrentTimeMillis();
    if (left > millis) left = millis;  // the clock went back: never longer than asked
  }
}
