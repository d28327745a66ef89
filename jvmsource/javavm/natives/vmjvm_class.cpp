/* Class queries of the support interface (most are natives of java.lang.Class
   themselves), Class.newInstance, the caller look-up they share, and the entries that
   are provided but not implemented. */
#include "vmjvm.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

VMClass* ClassOf(JNIEnv* env, jclass handle) { return VMJniUnHandleClass(env, handle); }

VMNameSpace* NameSpaceOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL; }

/* The class of machine records dressed as Java objects: an instance made by a
   constructor would be read as a record it is not. */
bool IsMachineShaped(VMNameSpace* ns, VMClass* cls) {
  VMClassList* list = ns->GetClassList();
  return cls == (VMClass*)list->GetClassClass() || cls == (VMClass*)list->GetReflectFieldClass() ||
         cls == (VMClass*)list->GetReflectMethodClass() || cls == (VMClass*)list->GetReflectConstructorClass();
}

}  // namespace

/* ---- the caller ---- */

VMMethod* JVMCallerMethod(JNIEnv* env, uint32_t skip) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (thread == NULL) return NULL;
  // Only bytecode and compiled frames run a caller's code: native-interface frames
  // carry the method they call (the native itself, or the method a host called).
  for (VMFrame* f = thread->GetFrame(); f != NULL && !f->GetIsFirstFrame(); f = f->GetCaller()) {
    if (!f->GetIsExecutableByteCode() && !f->GetIsCompiled()) continue;
    if (f->GetMethod() == NULL) continue;
    if (--skip == 0) return f->GetMethod();
  }
  return NULL;
}

/* ---- queries ---- */

jstring JNICALL JVM_GetClassName(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassOf(env, handle);
  if (cls == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  VMLiteral* name = cls->GetDotName();
  VMJavaLangString* string = name != NULL ? name->MakeVMJavaLangString(env) : NULL;
  if (string == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)string);
}

/* A new Class[] on every call: Java code may write into what it gets, and the class's
   own array is what instanceof, checkcast and assignment walk. */
jobjectArray JNICALL JVM_GetClassInterfaces(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassOf(env, handle);
  VM* vm = env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL;
  if (cls == NULL || vm == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  VMClassArray* own = cls->GetIsLoadable() ? ((VMLoadableClass*)cls)->GetInterfaces() : NULL;
  uint32_t count = own != NULL ? own->GetSize() : 0;
  VMClassArray* copy = VMClassArray::CreateInstance(vm->GetHeap(), count, cls, jallocCollectAndRetry,
                                                    VMTag_VMUserArrayInstance);
  if (copy == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  for (uint32_t i = 0; i < count; i++) copy->Set(i, own->Get(i));
  return (jobjectArray)VMJniHandle::NewLocal(env, copy);
}

/* Every class belongs to the system, as far as Java code can tell. */
jobject JNICALL JVM_GetClassLoader(JNIEnv*, jclass) { return NULL; }

jboolean JNICALL JVM_IsInterface(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassOf(env, handle);
  return cls != NULL && cls->GetIsInterface() ? 1 : 0;
}

jboolean JNICALL JVM_IsArrayClass(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassOf(env, handle);
  return cls != NULL && cls->GetIsArray() ? 1 : 0;
}

jboolean JNICALL JVM_IsPrimitiveClass(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassOf(env, handle);
  return cls != NULL && cls->GetIsPrimitive() ? 1 : 0;
}

/* ---- newInstance ---- */

jobject JNICALL JVM_NewInstance(JNIEnv* env, jclass handle) {
  VMClass* c = ClassOf(env, handle);
  VMNameSpace* ns = NameSpaceOf(env);
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (c == NULL || ns == NULL || thread == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  if (!c->GetIsLoadable()) {
    VMJniThrowInternal(env, VMStatus_InstantiationException, NULL);
    return NULL;
  }
  VMLoadableClass* cls = (VMLoadableClass*)c;
  VMStatus status = cls->Initialize(env);
  // A failing static initialiser left its exception (with the cause) pending: that is
  // the answer, not an InstantiationException that would hide it.
  if (status != VMStatus_OK && thread->GetException() != NULL) return NULL;
  if (cls->GetIsErroneous()) {
    VMJniThrowInternal(env, VMStatus_InstantiationException, NULL);
    return NULL;
  }
  if (status != VMStatus_OK) {
    VMJniThrowInternal(env, status, NULL);
    return NULL;
  }
  if (IsMachineShaped(ns, cls)) {
    thread->SetExceptionStatus(VMStatus_IllegalAccessException, cls->GetDotName());
    return NULL;
  }
  VMLiteralTable* literals = ns->GetLiterals();
  VMMethod* init = cls->FindMethod(literals->GetInit(), literals->GetSigNull(), false);
  if (init == NULL || cls->GetIsInterface() || cls->GetIsAbstract()) {
    thread->SetExceptionStatus(VMStatus_InstantiationException, cls->GetDotName());
    return NULL;
  }
  // The caller is the Java frame that asked: one up from this native, or two from the
  // library generation whose newInstance is Java calling the native. A call that comes
  // from the host alone has no Java caller and is trusted, as the host's own JNI is.
  VMMethod* caller = JVMCallerMethod(env, ns->GetLibraryVersion() < 2 ? 1 : 2);
  if (caller != NULL) {
    VMLoadableClass* from = caller->GetDefinedIn();
    const bool samePackage = from == cls || from->GetPackage() == cls->GetPackage();
    const bool classVisible = cls->GetIsPublic() || samePackage;
    // A protected constructor is no more visible than a package one here: outside the
    // package only a subclass's super() may call it, never an instance creation.
    const bool constructorVisible = init->GetIsPublic() || from == cls || (!init->GetIsPrivate() && samePackage);
    if (!classVisible || !constructorVisible) {
      thread->SetExceptionStatus(VMStatus_IllegalAccessException, cls->GetDotName());
      return NULL;
    }
  }
  VMObject* object = VMObject::CreateInitialized(env, cls, jallocCollectAndRetry, true, true);
  if (object == NULL || thread->GetException() != NULL) return NULL;
  return VMJniHandle::NewLocal(env, object);
}

/* ---- provided, not implemented ---- */

void JVMNotImplemented(JNIEnv* env, const char* name) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  char text[96] = "nyi: ";
  strncat(text, name, sizeof text - 6);
  if (host != NULL) {
    host->LogMessage((jint)strlen(text), text);
    host->LogMessage(1, "\n");
    if (env == NULL) env = host->GetCurrentEnv();
  }
  if (env != NULL && env->thread != NULL) VMJniThrowInternal(env, VMStatus_InternalError, text);
}

#define PUX_NYI(name) JVMNotImplemented(env, #name)
#define PUX_NYI_NOENV(name) JVMNotImplemented(NULL, #name)

jint JNICALL JVM_ExecInternal(JNIEnv* env, jobjectArray, jobjectArray) { PUX_NYI(JVM_ExecInternal); return 0; }
void* JNICALL JVM_LoadLibrary(const char*) { PUX_NYI_NOENV(JVM_LoadLibrary); return NULL; }
void JNICALL JVM_UnloadLibrary(void*) { PUX_NYI_NOENV(JVM_UnloadLibrary); }
void* JNICALL JVM_FindLibraryEntry(void*, const char*) { PUX_NYI_NOENV(JVM_FindLibraryEntry); return NULL; }
jobjectArray JNICALL JVM_GetClassSigners(JNIEnv* env, jclass) { PUX_NYI(JVM_GetClassSigners); return NULL; }
void JNICALL JVM_SetClassSigners(JNIEnv* env, jclass, jobjectArray) { PUX_NYI(JVM_SetClassSigners); }
void JNICALL JVM_InitializeCompiler(JNIEnv* env, jclass) { PUX_NYI(JVM_InitializeCompiler); }
jboolean JNICALL JVM_CompileClass(JNIEnv* env, jclass, jclass) { PUX_NYI(JVM_CompileClass); return 0; }
jboolean JNICALL JVM_CompileClasses(JNIEnv* env, jclass, jstring) { PUX_NYI(JVM_CompileClasses); return 0; }
jobject JNICALL JVM_CompilerCommand(JNIEnv* env, jclass, jobject) { PUX_NYI(JVM_CompilerCommand); return NULL; }
void JNICALL JVM_EnableCompiler(JNIEnv* env, jclass) { PUX_NYI(JVM_EnableCompiler); }
void JNICALL JVM_DisableCompiler(JNIEnv* env, jclass) { PUX_NYI(JVM_DisableCompiler); }
jstring JNICALL JVM_GetSystemPackage(JNIEnv* env, jstring) { PUX_NYI(JVM_GetSystemPackage); return NULL; }
jobjectArray JNICALL JVM_GetSystemPackages(JNIEnv* env) { PUX_NYI(JVM_GetSystemPackages); return NULL; }
jobjectArray JNICALL JVM_GetClassContext(JNIEnv* env) { PUX_NYI(JVM_GetClassContext); return NULL; }
jclass JNICALL JVM_CurrentLoadedClass(JNIEnv* env) { PUX_NYI(JVM_CurrentLoadedClass); return NULL; }
jobject JNICALL JVM_CurrentClassLoader(JNIEnv* env) { PUX_NYI(JVM_CurrentClassLoader); return NULL; }
jint JNICALL JVM_ClassDepth(JNIEnv* env, jstring) { PUX_NYI(JVM_ClassDepth); return 0; }
jint JNICALL JVM_ClassLoaderDepth(JNIEnv* env) { PUX_NYI(JVM_ClassLoaderDepth); return 0; }
jint JNICALL JVM_CountStackFrames(JNIEnv* env, jobject) { PUX_NYI(JVM_CountStackFrames); return 0; }
