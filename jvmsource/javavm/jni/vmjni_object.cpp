/* Method ids, objects without a constructor, and the two object queries. (Objects made
   through a constructor are the call core's, vmjni_call.cpp.) */
#include "vmjni_functions.h"
#include "vmjni_support.h"

using namespace vmjni;

namespace {

/* The method of that name and signature in the class or a superclass (superinterfaces
   are not searched), when its kind is the wanted one. Neither look-up initialises the
   class. */
jmethodID LookUp(JNIEnv* env, jclass clazz, const char* name, const char* signature, bool wantStatic) {
  VMNameSpace* ns = NameSpaceOf(env);
  // Texts that cannot be interned (a null pointer among them) and handles that name no
  // class read from a class file give 0 and raise nothing.
  VMLiteral* n = Intern(ns, name);
  if (n == NULL) return NULL;
  VMLiteral* s = Intern(ns, signature);
  if (s == NULL) return NULL;
  VMClass* cls = UnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!EnsurePrepared(env, loadable)) return NULL;
  VMMethod* method = loadable->FindMethod(n, s, true);
  if (method == NULL || method->GetIsStatic() != wantStatic) {
    (void)VMJniThrowInternal(env, VMStatus_NoSuchMethodError, NULL);
    return NULL;
  }
  // A refused id leaves its OutOfMemoryError pending: the method is there.
  return (jmethodID)VMJniHandle::NewFieldID(env, method);
}

}  // namespace

namespace VMJniEnv {

jmethodID GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
  return LookUp(env, clazz, name, signature, false);
}

jmethodID GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
  return LookUp(env, clazz, name, signature, true);
}

/* An object with every field zero; no constructor runs and the class is not
   initialised. */
jobject AllocObject(JNIEnv* env, jclass clazz) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  VMClass* cls = UnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable() || cls->GetIsInterface()) {
    (void)VMJniThrowInternal(env, VMStatus_InstantiationError, NULL);
    return NULL;
  }
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  // The instance size and the abstract flag are known from preparation on.
  if (!EnsurePrepared(env, loadable)) return NULL;
  if (loadable->GetIsAbstract()) {
    (void)VMJniThrowInternal(env, VMStatus_InstantiationError, NULL);
    return NULL;
  }
  VMObject* object = VMObject::CreateInstance(vm->GetHeap(), loadable, jallocCollectAndRetry);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return VMJniHandle::NewLocal(env, object);
}

/* 0 for null, and for an object that is not a Java object. */
jclass GetObjectClass(JNIEnv* env, jobject object) {
  VMObject* o = VMJniHandle::UnHandle(env, object);
  VMClass* cls = o != NULL ? o->GetClass() : NULL;
  return cls != NULL ? VMJniHandle::NewLocal(env, (VMObject*)cls) : NULL;
}

/* Null is an instance of every class; nothing is an instance of a handle that names no
   class. */
jboolean IsInstanceOf(JNIEnv* env, jobject object, jclass clazz) {
  if (object == NULL) return JNI_TRUE;
  VMObject* o = VMJniHandle::UnHandle(env, object);
  VMClass* cls = UnHandleClass(env, clazz);
  if (cls == NULL) return JNI_FALSE;
  return VMClass::InstanceOf(o, cls) ? JNI_TRUE : JNI_FALSE;
}

}  // namespace VMJniEnv
