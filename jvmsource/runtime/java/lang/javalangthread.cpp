/* The natives of java.lang.Thread, and the Java thread object of a thread the host
   attached: its fields are filled when the machine makes it and its native-thread word
   is cleared when the thread detaches.

   The fields of a Thread are written as body words at their slots, as the machine's
   own: the object is known to be a Thread, and these stores run on a thread that is
   being attached or detached, where no Java code should run. */
#include "javalang.h"
#include "registration.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangthrowable.h"
#include "vmjvm.h"
#include "vmjni_support.h"
#include "vmjvm_ids.h"
#include "vmupcalls.h"
#include "vmutils.h"

namespace {

/* Stores a word into a field of a Thread object; false when the field is missing or the
   object is no Thread. */
bool StoreField(JNIEnv* env, jobject thread, jfieldID id, VMword value) {
  VMDataMember* field = JVMFieldOf(env, id);
  VMObject* object = VMJniHandle::UnHandle(env, thread);
  if (field == NULL || object == NULL || !object->GetHasClass() ||
      !VMClass::AssignableFrom(object->GetClass(), (VMClass*)field->GetDefinedIn()))
    return false;
  object->SetWord((uint32_t)field->GetIndex(), value);
  return true;
}

/* The third library generation keeps an empty map in every Thread. Best effort: a
   library without the map's class leaves the field as it is. */
void StoreEmptyMap(JNIEnv* env, jobject thread) {
  jclass cls = env->functions->FindClass(env, "java/util/Collections$EmptyMap");
  jmethodID init = cls != NULL ? env->functions->GetMethodID(env, cls, "<init>", "()V") : NULL;
  jobject map = init != NULL ? env->functions->NewObject(env, cls, init) : NULL;
  jfieldID field = map != NULL ? JVMFieldThreadInheritableThreadLocals(env) : NULL;
  if (field != NULL) StoreField(env, thread, field, (VMword)VMJniHandle::UnHandle(env, map));
  env->thread->SetException(NULL);
  if (map != NULL) env->functions->DeleteLocalRef(env, map);
  if (cls != NULL) env->functions->DeleteLocalRef(env, cls);
}

}  // namespace

/* ---- the Java thread object of an attached thread ---- */

void JavaLangThread_SetNativeThread(JNIEnv* env, jobject thread, VMword value) {
  VMNameSpace* ns = javalang::NameSpaceOf(env);
  if (ns == NULL || env->thread == NULL) return;
  // Whatever the map's step leaves, the native-thread word is written: a value left
  // behind would keep isAlive() true, and join() waiting, for ever.
  VMJavaLangThrowable* pending = env->thread->GetException();
  if (ns->GetLibraryVersion() >= 3) StoreEmptyMap(env, thread);
  if (!JVMSetThreadEnvField(env, thread, value)) env->thread->SetException(NULL);
  if (pending != NULL) env->thread->SetException(pending);
}

bool JavaLangThread_InitAttached(JNIEnv* env, jobject thread) {
  VM* vm = javalang::MachineOf(env);
  VMThread* self = env != NULL ? env->thread : NULL;
  if (vm == NULL || self == NULL || vm->GetSystemThreadGroup() == NULL) return false;
  bool filled = StoreField(env, thread, JVMFieldThreadGroup(env), (VMword)vm->GetSystemThreadGroup()) &&
                StoreField(env, thread, JVMFieldThreadPriority(env), 10) &&
                StoreField(env, thread, JVMFieldThreadName(env), (VMword)self->GetName());
  if (!filled) {
    self->SetException(NULL);
    return false;
  }
  // The Thread is the one on the thread's record (VM::CreateJavaLangThread). The
  // finalizer thread names the system group without being one of its members, so that
  // no count of the program's threads takes it in; it is a daemon.
  if (self->GetFinalizerThread()) {
    if (!StoreField(env, thread, (jfieldID)upcall::JniUtilsFieldThreadDaemon(env), 1)) self->SetException(NULL);
  } else {
    JVMJoinGroupAtAttach(env);
  }
  JavaLangThread_SetNativeThread(env, thread, (VMword)env);
  return true;
}

void JavaLangThread_ClearNativeThread(JNIEnv* env, jobject thread) { JavaLangThread_SetNativeThread(env, thread, 0); }

bool upcall::JavaLangThreadInitAttached(JNIEnv* env, jobject thread) { return JavaLangThread_InitAttached(env, thread); }

void upcall::JavaLangThreadMoveNativeThread(JNIEnv* env, VMJavaLangThread* thread, JNIEnv* from) {
  VMJavaLangThrowable* pending = env->thread->GetException();
  (void)JVMMoveThreadEnvField(env, (VMObject*)thread, (VMword)from, (VMword)env);
  env->thread->SetException(pending);
}

void upcall::JavaLangThreadClearNativeThread(JNIEnv* env, jobject thread) {
  JavaLangThread_ClearNativeThread(env, thread);
}

namespace {

/* ---- java/lang/Thread ---- */

/* The frames of a suspended thread. The target is suspended here too, so it cannot leave
   under the count; every path that suspends it resumes it once. The waits are plain host
   sleeps: a poll could end this native by a long jump past the resume. */
jint JNICALL ThreadCountStackFrames(JNIEnv* env, jobject self) {
  if (JVMGetThreadEnvField(env, self) == 0) return 0;
  VMThread* target = JVMGetVMThread(env, self);
  if (target == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  // Nobody suspended it: nothing to count, and no suspension of ours to take back.
  if (__atomic_load_n(&target->Body()[VMThread::SuspendCountWord], __ATOMIC_ACQUIRE) == 0) {
    VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    return 0;
  }
  target->Suspend();
  host->MutexLock(target->GetMutex());
  uint32_t count = target->GetSuspendCount();
  host->MutexUnlock(target->GetMutex());
  if (count < 2) {
    target->Resume();
    VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    return 0;
  }
  bool suspended = false;
  for (int i = 0; i < 10 && !suspended; i++) {
    host->MutexLock(target->GetMutex());
    suspended = target->GetSuspended();
    host->MutexUnlock(target->GetMutex());
    if (!suspended) host->Sleep(300);
  }
  if (!suspended) {
    target->Resume();
    VMJniThrowInternal(env, VMStatus_IllegalThreadStateException, NULL);
    return 0;
  }
  jint frames = 0;
  for (VMFrame* f = target->GetFrame(); f != NULL && !f->GetIsFirstFrame(); f = f->GetCaller()) frames++;
  target->Resume();
  return frames;
}

/* The number of the next automatic name, counted up in one step: interpreted synchronized
   excludes nobody, and threads are made on many threads at once. */
jint JNICALL ThreadNextThreadNum(JNIEnv* env, jclass) {
  VMDataMember* field = JVMFieldOf(env, JVMFieldThreadInitNumber(env));
  VMObject* statics = field != NULL ? vmjni::StaticDataOf(env, field->GetDefinedIn()) : NULL;
  if (statics == NULL) return 0;
  return (jint)__atomic_fetch_add(statics->GetElementAddress((uint32_t)field->GetIndex()), 1, __ATOMIC_RELAXED);
}

void JNICALL ThreadRegisterNatives(JNIEnv*, jclass) { Register_java_lang_Thread(); }

const JNINativeMethod kThread[] = {
    PUX_NATIVE("currentThread", "()Ljava/lang/Thread;", JVM_CurrentThread),
    PUX_NATIVE("yield", "()V", JVM_Yield),
    PUX_NATIVE("sleep", "(J)V", JVM_Sleep),
    PUX_NATIVE("start", "()V", JVM_StartThread),
    PUX_NATIVE("isInterrupted", "(Z)Z", JVM_IsInterrupted),
    PUX_NATIVE("isAlive", "()Z", JVM_IsThreadAlive),
    PUX_NATIVE("countStackFrames", "()I", ThreadCountStackFrames),
    PUX_NATIVE("setPriority0", "(I)V", JVM_SetThreadPriority),
    PUX_NATIVE("stop0", "(Ljava/lang/Object;)V", JVM_StopThread),
    PUX_NATIVE("suspend0", "()V", JVM_SuspendThread),
    PUX_NATIVE("resume0", "()V", JVM_ResumeThread),
    PUX_NATIVE("interrupt0", "()V", JVM_Interrupt),
    PUX_NATIVE("registerNatives", "()V", ThreadRegisterNatives),
    PUX_NATIVE("nextThreadNum", "()I", ThreadNextThreadNum),
};

/* ---- java/lang/ThreadGroup ---- */

jboolean JNICALL ThreadGroupSwapThreads(JNIEnv* env, jobject self, jobject old, jobject now, jboolean start) {
  return JVMChangeThreadGroup(env, self, start ? kGroupThreadStarts : kGroupThreadEnds, old, now) ? 1 : 0;
}

jboolean JNICALL ThreadGroupSwapGroups(JNIEnv* env, jobject self, jobject old, jobject now, jboolean add) {
  return JVMChangeThreadGroup(env, self, add ? kGroupAddGroup : kGroupRemoveGroup, old, now) ? 1 : 0;
}

jboolean JNICALL ThreadGroupCountUnstarted(JNIEnv* env, jobject self) {
  return JVMChangeThreadGroup(env, self, kGroupThreadMade, NULL, NULL) ? 1 : 0;
}

jboolean JNICALL ThreadGroupDestroyIfEmpty(JNIEnv* env, jobject self, jboolean noneUnstarted) {
  return JVMChangeThreadGroup(env, self, noneUnstarted ? kGroupDestroyIdle : kGroupDestroy, NULL, NULL) ? 1 : 0;
}

jint JNICALL ThreadGroupAttached(JNIEnv* env, jobject self, jobject list) { return JVMHostMembers(env, self, list); }

const JNINativeMethod kThreadGroup[] = {
    PUX_NATIVE("swapThreads", "([Ljava/lang/Thread;[Ljava/lang/Thread;Z)Z", ThreadGroupSwapThreads),
    PUX_NATIVE("swapGroups", "([Ljava/lang/ThreadGroup;[Ljava/lang/ThreadGroup;Z)Z", ThreadGroupSwapGroups),
    PUX_NATIVE("countUnstarted", "()Z", ThreadGroupCountUnstarted),
    PUX_NATIVE("destroyIfEmpty", "(Z)Z", ThreadGroupDestroyIfEmpty),
    PUX_NATIVE("attached", "([Ljava/lang/Thread;)I", ThreadGroupAttached),
};

}  // namespace

void Register_java_lang_Thread(void) { JNI_RegisterNative("java/lang/Thread", kThread, PUX_ROWS(kThread)); }

void Register_java_lang_ThreadGroup(void) {
  JNI_RegisterNative("java/lang/ThreadGroup", kThreadGroup, PUX_ROWS(kThreadGroup));
}
