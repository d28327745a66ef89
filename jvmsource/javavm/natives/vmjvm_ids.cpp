/* The ids through the name space's natives' cache: looked up once per name space, then
   one or two reads. */
#include "vmjvm_ids.h"

#include "vmclass.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

/* The cache of the env's name space; NULL (with OutOfMemoryError pending) without one. */
VMJniUtils* Cache(JNIEnv* env) {
  VMNameSpace* ns = env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  VMJniUtils* cache = ns != NULL ? ns->GetJNIUtils() : NULL;
  if (cache == NULL && env != NULL && env->thread != NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return cache;
}

}  // namespace

jfieldID JVMFieldThreadNative(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  if (cache == NULL) return NULL;
  return cache->GetNameSpace()->GetLibraryVersion() < 2 ? cache->GetFieldThread_PrivateInfo(env)
                                                        : cache->GetFieldThread_eetop(env);
}

jfieldID JVMFieldThreadGroup(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThread_group(env) : NULL;
}

jfieldID JVMFieldThreadPriority(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThread_priority(env) : NULL;
}

jfieldID JVMFieldThreadName(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThread_name(env) : NULL;
}

jfieldID JVMFieldThreadInheritableThreadLocals(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThread_inheritableThreadLocals(env) : NULL;
}

jmethodID JVMMethodThreadExit(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThread_exit(env) : NULL;
}

jfieldID JVMFieldThreadInitNumber(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThread_threadInitNumber(env) : NULL;
}

jmethodID JVMMethodThreadGroupUncaughtException(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_uncaughtException(env) : NULL;
}

jfieldID JVMFieldThreadGroupThreads(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_threads(env) : NULL;
}

jfieldID JVMFieldThreadGroupGroups(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_groups(env) : NULL;
}

jfieldID JVMFieldThreadGroupDestroyed(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_destroyed(env) : NULL;
}

jfieldID JVMFieldThreadGroupUnstarted(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_unstarted(env) : NULL;
}

jmethodID JVMMethodThreadGroupAdd(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_add(env) : NULL;
}

jmethodID JVMMethodThreadGroupRemove(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldThreadGroup_remove(env) : NULL;
}

jmethodID JVMMethodPropertiesPut(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldProperties_put(env) : NULL;
}

jfieldID JVMFieldSystemIn(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldJSystem_in(env) : NULL;
}

jfieldID JVMFieldSystemOut(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldJSystem_out(env) : NULL;
}

jfieldID JVMFieldSystemErr(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldJSystem_err(env) : NULL;
}

jfieldID JVMFieldNativeLibraryHandle(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  return cache != NULL ? cache->GetFieldClassLoader_NativeLibrary_handle(env) : NULL;
}

VMDataMember* JVMFieldOf(JNIEnv* env, jfieldID id) {
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)id);
  return object != NULL && object->GetTag() == VMDataMember::Tag ? (VMDataMember*)object : NULL;
}

VMMethod* JVMMethodOf(JNIEnv* env, jmethodID id) {
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)id);
  return object != NULL && object->GetTag() == VMMethod::Tag ? (VMMethod*)object : NULL;
}
