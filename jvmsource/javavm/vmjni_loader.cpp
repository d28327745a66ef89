/* Class loaders by host id, and the names of class files read without a machine. The
   host names its loaders by opaque words; the name space keeps one loader per id. */
#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmclassloader.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmutils.h"

static VMNameSpace* NameSpaceOf(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}

/* The loader a reference names; NULL for 0, a deleted reference or any other object. */
static VMClassLoader* LoaderOf(JNIEnv* env, jobject ref) {
  VMObject* object = VMJniHandle::UnHandle(env, ref);
  return object != NULL && object->GetTag() == VMTag_VMClassLoader ? (VMClassLoader*)object : NULL;
}

JNIEXPORT jobject HOSTCALL JNI_CreateClassLoaderLite(JNIEnv* env, void* loaderId) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMClassLoader* loader = ns != NULL ? ns->FindOrCreateLoader(loaderId) : NULL;
  return loader != NULL ? VMJniHandle::NewLocal(env, (VMObject*)loader) : NULL;
}

JNIEXPORT jobject HOSTCALL JNI_FindClassLoaderLite(JNIEnv* env, void* loaderId) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMClassLoader* loader = ns != NULL ? ns->FindLoader(loaderId) : NULL;
  return loader != NULL ? VMJniHandle::NewLocal(env, (VMObject*)loader) : NULL;
}

/* The count is the host's: the library neither reads it nor bounds it. */
JNIEXPORT void HOSTCALL JNI_IncRefClassLoaderLite(JNIEnv* env, jobject loader) {
  if (VMClassLoader* l = LoaderOf(env, loader)) l->SetRefCount(l->GetRefCount() + 1);
}

JNIEXPORT void HOSTCALL JNI_DecRefClassLoaderLite(JNIEnv* env, jobject loader) {
  if (VMClassLoader* l = LoaderOf(env, loader)) l->SetRefCount(l->GetRefCount() - 1);
}

JNIEXPORT jint HOSTCALL JNI_GetRefClassLoaderLite(JNIEnv* env, jobject loader) {
  VMClassLoader* l = LoaderOf(env, loader);
  return l != NULL ? l->GetRefCount() : 0;
}

/* Whether a handle array slot names one of the loader's classes or their members. */
static bool BelongsTo(VMObject* object, VMClassLoader* loader) {
  if (object == NULL) return false;
  if (object->GetTag() == VMClass::Tag) return ((VMClass*)object)->GetClassLoader() == loader;
  if (object->GetTag() == VMMethod::Tag || object->GetTag() == VMTag_VMDataMember) {
    VMLoadableClass* owner = ((VMMember*)object)->GetDefinedIn();
    return owner != NULL && ((VMClass*)owner)->GetClassLoader() == loader;
  }
  return false;
}

static void Purge(VMObjectHandleArray* array, VMClassLoader* loader) {
  if (array == NULL) return;
  for (uint32_t i = 1; i < array->GetCount(); i++)
    if (BelongsTo(array->Get(i), loader)) array->Delete(i);
}

JNIEXPORT void HOSTCALL JNI_DestroyClassLoaderLite(JNIEnv* env, jobject loader) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMClassLoader* l = LoaderOf(env, loader);
  // The system loader holds java/lang/Object and every class the name space runs on.
  if (ns == NULL || l == NULL || l == ns->GetSystemClassLoader()) return;
  // Nothing of the name space may keep naming the loader's classes and members once
  // they are gone: the class numbers, the global references and the member ids.
  if (!VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - DestroyClassLoaderLite")) return;
  if (VMClassHandleArray* classes = ns->GetClasses()) {
    for (uint32_t i = 1; i < classes->GetCount(); i++) {
      VMClass* cls = classes->Get(i);
      if (cls != NULL && cls->GetClassLoader() == l) classes->Delete(i);
    }
  }
  Purge(ns->GetJNIHandleArray(), l);
  Purge(ns->GetJNIFieldIDArray(), l);
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - DestroyClassLoaderLite");
  // No debugger keeps patching or watching what goes with the loader.
  VMDebugger::ForgetLoader(ns, l);
  l->Destroy(ns->GetHeap());
}

JNIEXPORT jint HOSTCALL JNI_GetClassInfo(JNIHostFunctions* host, void* stream, char* nameBuffer,
                                         uint32_t bufferSize, uint32_t* accessFlags) {
  VMUtils::Init(host);
  // The scan reads through the bound table; without one there is nothing to read with.
  if (VMUtils::GetHostFunctions() == NULL || nameBuffer == NULL) return -1;
  uint16_t flags = 0;
  if (VMClassLoader::GetClassInfo(stream, nameBuffer, bufferSize, accessFlags != NULL ? &flags : NULL) != 0)
    return -1;
  if (accessFlags != NULL) *accessFlags = flags;
  return 0;
}

JNIEXPORT jint HOSTCALL JNI_GetClassName(JNIHostFunctions* host, void* stream, char* nameBuffer,
                                         uint32_t bufferSize) {
  return JNI_GetClassInfo(host, stream, nameBuffer, bufferSize, NULL);
}

JNIEXPORT jint HOSTCALL JNI_FiniClassInfo() {
  VMUtils::Fini();
  return 0;
}
