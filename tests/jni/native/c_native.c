/* A native method in plain C, built against our jni.h as any native library would be:
   every call goes through (*env)->Fn(env, ...). */
#include "c_native.h"

struct CNativeResults gCNativeResults;

JNIEXPORT jint JNICALL Java_CNativeUser_probe(JNIEnv* env, jclass self) {
  jclass string;
  jclass object;
  jobject global;
  (void)self;
  gCNativeResults.calls++;
  gCNativeResults.version = (*env)->GetVersion(env);
  string = (*env)->FindClass(env, "java/lang/String");
  object = (*env)->FindClass(env, "java.lang.Object");
  gCNativeResults.foundString = string != NULL;
  gCNativeResults.superIsObject = (*env)->IsSameObject(env, (*env)->GetSuperclass(env, string), object);
  gCNativeResults.assignable =
      (*env)->IsAssignableFrom(env, string, object) && !(*env)->IsAssignableFrom(env, object, string);
  global = (*env)->NewGlobalRef(env, string);
  gCNativeResults.globalSame = global != NULL && (*env)->IsSameObject(env, global, string);
  (*env)->DeleteGlobalRef(env, global);
  (*env)->PushLocalFrame(env, 4);
  gCNativeResults.pushFrameRaised = (*env)->ExceptionOccurred(env) != NULL;
  (*env)->ExceptionClear(env);
  gCNativeResults.pendingCleared = (*env)->ExceptionOccurred(env) == NULL;
  gCNativeResults.throwNew =
      (*env)->ThrowNew(env, (*env)->FindClass(env, "java/lang/IllegalStateException"), "thrown from C");
  return 1;
}
