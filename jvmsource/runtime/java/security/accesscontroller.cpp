/* The natives of java.security.AccessController: privileged actions and the two access
   contexts, all through the support interface. The machine keeps no protection domains,
   so the stack's context is always null, which the class library reads as "no
   restriction". */
#include "registration.h"
#include "vmclass.h"
#include "vmjvm.h"

namespace {

jobject JNICALL DoPrivileged(JNIEnv* env, jclass cls, jobject action) {
  return JVM_DoPrivileged(env, cls, action, NULL, 0);
}

jobject JNICALL DoPrivilegedInContext(JNIEnv* env, jclass cls, jobject action, jobject context) {
  return JVM_DoPrivileged(env, cls, action, context, 0);
}

jobject JNICALL DoPrivilegedException(JNIEnv* env, jclass cls, jobject action) {
  return JVM_DoPrivileged(env, cls, action, NULL, 1);
}

jobject JNICALL DoPrivilegedExceptionInContext(JNIEnv* env, jclass cls, jobject action, jobject context) {
  return JVM_DoPrivileged(env, cls, action, context, 1);
}

const JNINativeMethod kAccessController[] = {
    PUX_NATIVE("doPrivileged", "(Ljava/security/PrivilegedAction;)Ljava/lang/Object;", DoPrivileged),
    PUX_NATIVE("doPrivileged",
               "(Ljava/security/PrivilegedAction;Ljava/security/AccessControlContext;)Ljava/lang/Object;",
               DoPrivilegedInContext),
    PUX_NATIVE("doPrivileged", "(Ljava/security/PrivilegedExceptionAction;)Ljava/lang/Object;",
               DoPrivilegedException),
    PUX_NATIVE("doPrivileged",
               "(Ljava/security/PrivilegedExceptionAction;Ljava/security/AccessControlContext;)Ljava/lang/Object;",
               DoPrivilegedExceptionInContext),
    PUX_NATIVE("getInheritedAccessControlContext", "()Ljava/security/AccessControlContext;",
               JVM_GetInheritedAccessControlContext),
    PUX_NATIVE("getStackAccessControlContext", "()Ljava/security/AccessControlContext;",
               JVM_GetStackAccessControlContext),
};

}  // namespace

void Register_java_security_AccessController(void) {
  JNI_RegisterNative("java/security/AccessController", kAccessController, PUX_ROWS(kAccessController));
}
