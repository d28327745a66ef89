/* The natives of JniBench, for both machines. This system's machine is a 32-bit process
   and takes them built against our jni.h. The reference machine is a 64-bit process, for
   which our 32-bit jni.h cannot be used: there the two table slots the natives need are
   called by their numbers in the published table (113 GetStaticMethodID, 129
   CallStaticIntMethod), the same slots our jni.h names. */
#if defined(__x86_64__)
typedef int jint;
typedef void* jclass;
typedef void* jmethodID;
typedef struct PuxEnv64 {
  void** functions;
} * PuxEnvPtr;
typedef jmethodID (*GetStaticMethodIDFn)(PuxEnvPtr, jclass, const char*, const char*);
typedef jint (*CallStaticIntMethodFn)(PuxEnvPtr, jclass, jmethodID, ...);
#define PUX_EXPORT __attribute__((visibility("default")))
#define PUX_ENV PuxEnvPtr
#define PUX_GET_STATIC_METHOD_ID(env, cls, name, sig) \
  ((GetStaticMethodIDFn)(env)->functions[113])(env, cls, name, sig)
#define PUX_CALL_STATIC_INT(env, cls, m, x) ((CallStaticIntMethodFn)(env)->functions[129])(env, cls, m, x)
#else
#include "jni.h"
#define PUX_EXPORT JNIEXPORT
#define PUX_ENV JNIEnv*
#define PUX_GET_STATIC_METHOD_ID(env, cls, name, sig) (*(env))->GetStaticMethodID(env, cls, name, sig)
#define PUX_CALL_STATIC_INT(env, cls, m, x) (*(env))->CallStaticIntMethod(env, cls, m, x)
#endif

PUX_EXPORT jint Java_JniBench_nop(PUX_ENV env, jclass cls, jint x) {
  (void)env;
  (void)cls;
  return x + 1;
}

PUX_EXPORT jint Java_JniBench_callBack(PUX_ENV env, jclass cls, jint n) {
  jint s = 0;
  jint i;
  jmethodID m = PUX_GET_STATIC_METHOD_ID(env, cls, "trivial", "(I)I");
  if (m == 0) return 0;
  for (i = 0; i < n; i++) s += PUX_CALL_STATIC_INT(env, cls, m, i);
  return s;
}
