/* Monitors entered from native code, the env's JavaVM, weak global references (strong
   here) and the pending-exception test. */
#include "vmjni_functions.h"
#include "vmjni_support.h"
#include "vm.h"
#include "vmmonitor.h"

using namespace vmjni;

namespace {

/* The name space an object's monitor belongs to: its class's, or the env's for an
   object without a class (a member id's descriptor, say). */
VMNameSpace* MonitorNameSpace(JNIEnv* env, VMObject* object) {
  VMClass* cls = object->GetClass();
  return cls != NULL ? cls->GetNameSpace() : NameSpaceOf(env);
}

}  // namespace

namespace VMJniEnv {

/* 0, the status of a failed enter (17, 19), or JNI_ERR for a null object with
   NullPointerException pending. */
jint MonitorEnter(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return JNI_ERR;
  }
  // The monitor's record is had first (making it allocates). A thread that must wait
  // for the monitor waits in a safe region: its holder may collect meanwhile, and would
  // otherwise wait for this thread while this one waits for it.
  VMMonitor* monitor = VMMonitor::GetMonitorFor(MonitorNameSpace(env, object), object);
  if (monitor == NULL) return VMStatus_OutOfMemoryError;
  if (monitor->IsOwnedByCaller()) return monitor->DoMonitorEnter();
  VM::EnterSafeRegion(env->thread);
  VMStatus status = monitor->DoMonitorEnter();
  VM::LeaveSafeRegion(env->thread);
  return status;
}

/* 0; 38 with IllegalMonitorStateException pending when the calling thread does not own
   the monitor, which then stays as it was (the owner's hold is never released by another
   thread); 19 when no monitor can be had; JNI_ERR for a null object. */
jint MonitorExit(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return JNI_ERR;
  }
  VMStatus status = object->MonitorExit(MonitorNameSpace(env, object));
  if (status == VMStatus_IllegalMonitorStateException) (void)VMJniThrowInternal(env, status, NULL);
  return status;
}

jint GetJavaVM(JNIEnv* env, JavaVM** vm) {
  if (vm == NULL || env == NULL) return JNI_ERR;
  *vm = env->javaVM;
  return 0;
}

jweak NewWeakGlobalRef(JNIEnv* env, jobject object) { return NewGlobalRef(env, object); }

void DeleteWeakGlobalRef(JNIEnv* env, jweak ref) { DeleteGlobalRef(env, ref); }

jboolean ExceptionCheck(JNIEnv* env) {
  return env != NULL && env->thread != NULL && env->thread->GetException() != NULL ? JNI_TRUE : JNI_FALSE;
}

}  // namespace VMJniEnv
