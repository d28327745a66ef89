/* Binding native functions to the methods of an existing class, and dropping them. (The
   process-wide registration by class name is vmclass_records.cpp's.) */
#include "vmjni_functions.h"
#include "vmjni_support.h"

using namespace vmjni;

namespace VMJniEnv {

/* Binds each entry to the class's own method of that name and signature, natives or
   not (a method that runs bytecode never reads its native address). 0 when every entry
   was bound; -1 with NoSuchMethodError pending when one was missing (the others are
   bound all the same), with OutOfMemoryError when a name could not be interned (the
   entries before it stay bound); -1 with nothing pending for a handle that names no
   class read from a class file. */
jint RegisterNatives(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint count) {
  VMClass* cls = UnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return JNI_ERR;
  if (count <= 0) return 0;
  if (methods == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return JNI_ERR;
  }
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!EnsurePrepared(env, loadable)) return JNI_ERR;
  VMStatus result = loadable->RegisterNatives(methods, (uint32_t)count);
  if (result == 0) return 0;
  (void)VMJniThrowInternal(env, result, NULL);
  return JNI_ERR;
}

/* Clears the native address (and compiled code) of every method of the class. */
jint UnregisterNatives(JNIEnv* env, jclass clazz) {
  VMClass* cls = UnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return JNI_ERR;
  ((VMLoadableClass*)cls)->UnRegisterNatives();
  return 0;
}

}  // namespace VMJniEnv
