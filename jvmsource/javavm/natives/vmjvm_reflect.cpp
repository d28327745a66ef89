/* The reflection entries of the support interface: the member arrays and single
   look-ups of java.lang.Class, Method.invoke, privileged actions, the class finders and
   the nesting queries, and the entries that are provided but not implemented. */
#include "vmjvm.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmclass_support.h"
#include "vmconstantpool.h"
#include "vmframe.h"
#include "vmjavalangreflectfield.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjni_support.h"
#include "vmjniutils.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

using namespace classmodel;

namespace {

VMNameSpace* NsOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL; }
unsigned long VersionOf(JNIEnv* env) {
  VMNameSpace* ns = NsOf(env);
  return ns != NULL ? (unsigned long)ns->GetLibraryVersion() : 0;
}

jobject Raise(JNIEnv* env, VMStatus status, const char* message = NULL) {
  (void)VMJniThrowInternal(env, status, message);
  return NULL;
}

/* A class handle's descriptor; NullPointerException for anything else. */
VMClass* ClassArgument(JNIEnv* env, jclass handle) {
  VMClass* cls = VMJniUnHandleClass(env, handle);
  if (cls == NULL) (void)Raise(env, VMStatus_NullPointerException);
  return cls;
}

/* The loaded class of a Class entry of cls's pool, without running any initialiser:
   NULL with the exception pending when it cannot be had. */
VMLoadableClass* PoolClass(JNIEnv* env, VMLoadableClass* cls, uint32_t index) {
  VMConstantPool* pool = cls->GetConstantPool();
  VMStatus status = 0;
  VMLoadableClass* found = pool != NULL ? pool->GetConstClass(index, &status, false) : NULL;
  if (found == NULL) {
    (void)Raise(env, status != 0 ? status : VMStatus_NoClassDefFoundError);
    return NULL;
  }
  status = found->Load();
  if (status != 0) {
    if (env->thread->GetException() == NULL) vmjni::ThrowWithClassName(env, status, (VMClass*)found);
    return NULL;
  }
  return found;
}

/* The implementation of an interface method in the receiver's class: the last entry of
   its method table with the same name and descriptor that is not private. */
VMMethod* Implementation(VMClass* cls, VMMethod* method) {
  VMMethodArray* table = cls->GetIsLoadable() || cls->GetIsArray() ? ((VMLoadableOrArrayClass*)cls)->GetMethodTable() : NULL;
  for (uint32_t i = table != NULL ? table->GetSize() : 0; i > 0; i--) {
    VMMethod* m = table->Get(i - 1);
    if (m != NULL && !m->GetIsPrivate() && !m->GetIsStatic() && m->Matches(method)) return m;
  }
  return NULL;
}

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* Member arrays and single look-ups                                                     */

jobjectArray JNICALL JVM_GetClassFields(JNIEnv* env, jclass handle, jint which) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL) return NULL;
  return (jobjectArray)VMJniHandle::NewLocal(env, (VMObject*)VMClassReflectInfo::GetFields(env, cls, which));
}

jobjectArray JNICALL JVM_GetClassMethods(JNIEnv* env, jclass handle, jint which) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL) return NULL;
  return (jobjectArray)VMJniHandle::NewLocal(env, (VMObject*)VMClassReflectInfo::GetMethods(env, cls, which));
}

jobjectArray JNICALL JVM_GetClassConstructors(JNIEnv* env, jclass handle, jint which) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL) return NULL;
  return (jobjectArray)VMJniHandle::NewLocal(env, (VMObject*)VMClassReflectInfo::GetConstructors(env, cls, which));
}

jobject JNICALL JVM_GetClassField(JNIEnv* env, jclass handle, jstring name, jint which) {
  VMJavaLangString* wanted = (VMJavaLangString*)VMJniHandle::UnHandle(env, name);
  if (wanted == NULL) return Raise(env, VMStatus_NullPointerException);
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL) return NULL;
  if (!cls->GetIsLoadable()) return Raise(env, VMStatus_NoSuchFieldException);
  VMJavaLangReflectFieldArray* fields = VMClassReflectInfo::GetFields(env, cls, which);
  if (fields == NULL) return NULL;
  const unsigned long version = VersionOf(env);
  // From the end: a field of the class itself hides one of the same name further up.
  for (uint32_t i = fields->GetSize(); i > 0; i--) {
    VMJavaLangReflectField* f = fields->Get(i - 1);
    VMJavaLangString* fieldName = f != NULL ? f->GetName(version) : NULL;
    if (fieldName != NULL && fieldName->Equals(wanted)) return VMJniHandle::NewLocal(env, (VMObject*)f);
  }
  return Raise(env, VMStatus_NoSuchFieldException);
}

namespace {

/* The Class[] of a parameter-type argument: its elements and count; false for an object
   that is no Class[]. A null array has no elements. */
bool TypeList(JNIEnv* env, jobjectArray handle, VMClassArray** out, uint32_t* count) {
  VMObject* array = VMJniHandle::UnHandle(env, handle);
  *out = NULL;
  *count = 0;
  if (array == NULL) return true;
  VMArrayClassList* arrays = NsOf(env)->GetArrayClassList();
  if (!array->GetHasClass() || array->GetClass() != (VMClass*)arrays->GetVMClassArrayClass()) return false;
  *out = (VMClassArray*)array;
  *count = (*out)->GetSize();
  return true;
}

bool SameTypes(VMClassArray* a, VMClassArray* wanted, uint32_t count) {
  if (a == NULL || a->GetSize() != count) return false;
  for (uint32_t i = 0; i < count; i++) {
    if (a->Get(i) != wanted->Get(i)) return false;
  }
  return true;
}

}  // namespace

jobject JNICALL JVM_GetClassMethod(JNIEnv* env, jclass handle, jstring name, jobjectArray types, jint which) {
  VMJavaLangString* wanted = (VMJavaLangString*)VMJniHandle::UnHandle(env, name);
  if (wanted == NULL) return Raise(env, VMStatus_NullPointerException);
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL) return NULL;
  VMClassArray* list = NULL;
  uint32_t count = 0;
  if (!cls->GetIsLoadable() || !TypeList(env, types, &list, &count)) return Raise(env, VMStatus_NoSuchMethodException);
  VMJavaLangReflectMethodArray* methods = VMClassReflectInfo::GetMethods(env, cls, which);
  if (methods == NULL) return NULL;
  // The list's walk polls, and the host may have moved the machine meanwhile: the name
  // and the types are read again through their references.
  wanted = (VMJavaLangString*)VMJniHandle::UnHandle(env, name);
  (void)TypeList(env, types, &list, &count);
  const unsigned long version = VersionOf(env);
  for (uint32_t i = 0; i < methods->GetSize(); i++) {
    VMJavaLangReflectMethod* m = methods->Get(i);
    VMJavaLangString* methodName = m != NULL ? m->GetName(version) : NULL;
    if (methodName == NULL || !methodName->Equals(wanted)) continue;
    VMClassArray* parameters = m->GetParameterTypes(version);
    if (parameters == NULL) return NULL;
    if (SameTypes(parameters, list, count)) return VMJniHandle::NewLocal(env, (VMObject*)m);
  }
  return Raise(env, VMStatus_NoSuchMethodException);
}

jobject JNICALL JVM_GetClassConstructor(JNIEnv* env, jclass handle, jobjectArray types, jint which) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL) return NULL;
  VMClassArray* list = NULL;
  uint32_t count = 0;
  if (!cls->GetIsLoadable() || !TypeList(env, types, &list, &count)) return Raise(env, VMStatus_NoSuchMethodException);
  VMJavaLangReflectConstructorArray* constructors = VMClassReflectInfo::GetConstructors(env, cls, which);
  if (constructors == NULL) return NULL;
  const unsigned long version = VersionOf(env);
  for (uint32_t i = 0; i < constructors->GetSize(); i++) {
    VMJavaLangReflectConstructor* c = constructors->Get(i);
    VMClassArray* parameters = c != NULL ? c->GetParameterTypes(version) : NULL;
    if (parameters == NULL) return NULL;
    if (SameTypes(parameters, list, count)) return VMJniHandle::NewLocal(env, (VMObject*)c);
  }
  return Raise(env, VMStatus_NoSuchMethodException);
}

/* ------------------------------------------------------------------------------------ */
/* Method.invoke                                                                         */

jobject JNICALL JVM_InvokeMethod(JNIEnv* env, jobject methodHandle, jobject receiverHandle, jobjectArray arguments) {
  VMNameSpace* ns = NsOf(env);
  if (ns == NULL || env->thread == NULL) return NULL;
  const unsigned long version = VersionOf(env);
  VMJavaLangReflectMethod* wrapper = (VMJavaLangReflectMethod*)VMJniHandle::UnHandle(env, methodHandle);
  if (wrapper == NULL) return Raise(env, VMStatus_NullPointerException);
  VMMethod* method = wrapper->GetVMMethod(version);
  if (method == NULL) return Raise(env, VMStatus_IllegalArgumentException);
  const bool override = VMJavaLangReflectMember::ReadOverride(env, methodHandle, version);
  VMObject* on = method->GetIsStatic() ? NULL : VMJniHandle::UnHandle(env, receiverHandle);
  if (!VMJavaLangReflectMember::MayReach(env, method, override, on != NULL ? on->GetClass() : NULL))
    return Raise(env, VMStatus_IllegalAccessException);
  // The types come from the method's own record: the object's words may have been
  // rewritten, and arguments laid out by a lying type would be read as another kind.
  VMClassArray* parameters = VMClassReflectInfo::GetParameterTypes(env, method);
  if (parameters == NULL) return NULL;
  VMClass* returnType = VMClassReflectInfo::GetReturnType(env, method);
  if (returnType == NULL) return NULL;
  VMObject* receiver = NULL;
  VMMethod* target = method;
  if (!method->GetIsStatic()) {
    receiver = VMJniHandle::UnHandle(env, receiverHandle);
    if (receiver == NULL) return Raise(env, VMStatus_NullPointerException);
    VMLoadableClass* declaring = method->GetDefinedIn();
    if (!VMClass::InstanceOf(receiver, (VMClass*)declaring)) return Raise(env, VMStatus_IllegalArgumentException);
    VMClass* cls = receiver->GetClass();
    if (declaring->GetIsInterface()) {
      // An interface's method indexes the interface's own table: the receiver's class
      // is searched by name and descriptor, as invokeinterface does.
      target = Implementation(cls, method);
      if (target == NULL) return Raise(env, VMStatus_IncompatibleClassChangeError);
      if (!target->GetIsPublic()) return Raise(env, VMStatus_IllegalAccessError);
    } else if (!method->GetIsPrivate()) {
      // Virtual: the receiver class's entry at the method's index, which overrides keep.
      VMMethodArray* table = ((VMLoadableOrArrayClass*)cls)->GetMethodTable();
      int32_t index = method->GetIndex();
      target = table != NULL && index >= 0 && (uint32_t)index < table->GetSize() ? table->Get((uint32_t)index) : NULL;
      if (target == NULL || !target->Matches(method)) return Raise(env, VMStatus_IncompatibleClassChangeError);
    }
  }
  VMObjectArray* args = (VMObjectArray*)VMJniHandle::UnHandle(env, arguments);
  VMObject* result = target->ReflectInvoke(env, receiver, parameters, args, returnType);
  if (env->thread->GetException() != NULL) return NULL;
  return VMJniHandle::NewLocal(env, result);
}

/* ------------------------------------------------------------------------------------ */
/* Privileged actions                                                                    */

jobject JNICALL JVM_DoPrivileged(JNIEnv* env, jclass, jobject actionHandle, jobject, jboolean wrap) {
  VMNameSpace* ns = NsOf(env);
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (ns == NULL || thread == NULL) return NULL;
  VMObject* action = VMJniHandle::UnHandle(env, actionHandle);
  if (action == NULL) return Raise(env, VMStatus_NullPointerException);
  VMLiteralTable* literals = ns->GetLiterals();
  VMLiteral* name = literals != NULL ? literals->GetRun() : NULL;
  VMLiteral* signature = VMLiteral::CreateInstance(ns, "()Ljava/lang/Object;", 0xFFFFFFFFu);
  if (name == NULL || signature == NULL) return Raise(env, VMStatus_OutOfMemoryError);
  // run() wherever the action's class has it, declared or inherited: the receiver's
  // table holds the one a call would run.
  VMClass* cls = action->GetHasClass() ? action->GetClass() : NULL;
  VMMethodArray* table = cls != NULL && cls->GetIsLoadable() ? ((VMLoadableClass*)cls)->GetMethodTable() : NULL;
  VMMethod* run = NULL;
  for (uint32_t i = table != NULL ? table->GetSize() : 0; i > 0 && run == NULL; i--) {
    VMMethod* m = table->Get(i - 1);
    if (m != NULL && !m->GetIsPrivate() && !m->GetIsStatic() && m->Matches(name, signature)) run = m;
  }
  if (run == NULL) return Raise(env, VMStatus_NoSuchMethodError, "run");
  VMword area[2] = {(VMword)action, 0};
  VMFrame::ExecuteJava(env, run, area);
  VMJavaLangThrowable* thrown = thread->GetException();
  if (thrown == NULL) return VMJniHandle::NewLocal(env, (VMObject*)area[0]);
  // An exception of run() reaches the caller; the exception forms wrap a checked one.
  VMLoadableClass* thrownClass = ((VMObject*)thrown)->GetLoadableClass();
  if (!wrap || thrownClass == NULL || thrownClass->IsUnChecked()) return NULL;
  VMClass* exception = VMClass::FindSystemClass(ns, "java/lang/Exception");
  if (exception == NULL || !VMClass::InstanceOf((VMObject*)thrown, exception)) return NULL;
  jobject cause = VMJniHandle::NewLocal(env, (VMObject*)thrown);
  if (cause == NULL) return NULL;
  thread->SetException(NULL);
  jclass wrapper = env->functions->FindClass(env, "java/security/PrivilegedActionException");
  jmethodID init = wrapper != NULL ? env->functions->GetMethodID(env, wrapper, "<init>", "(Ljava/lang/Exception;)V") : NULL;
  jobject wrapped = init != NULL ? env->functions->NewObject(env, wrapper, init, cause) : NULL;
  // Without the wrapper (a library that lacks it, or no memory) the exception goes as it is.
  thread->SetException(wrapped != NULL ? (VMJavaLangThrowable*)VMJniHandle::UnHandle(env, wrapped) : thrown);
  return NULL;
}

jobject JNICALL JVM_GetInheritedAccessControlContext(JNIEnv* env, jclass) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  VMNameSpace* ns = NsOf(env);
  if (thread == NULL || ns == NULL) return NULL;
  jobject self = VMJniHandle::NewLocal(env, (VMObject*)thread->GetJavaLangThread());
  if (self == NULL) return NULL;
  jfieldID id = ns->GetJNIUtils()->GetFieldThread_inheritedAccessControlContext(env);
  return id != 0 ? env->functions->GetObjectField(env, self, id) : NULL;
}

jobject JNICALL JVM_GetStackAccessControlContext(JNIEnv*, jclass) { return NULL; }

/* ------------------------------------------------------------------------------------ */
/* Class finders and queries                                                             */

jclass JNICALL JVM_FindClassFromClassLoader(JNIEnv* env, const char* name, jboolean initialize, jobject,
                                            jboolean throwError) {
  VMNameSpace* ns = NsOf(env);
  if (ns == NULL || env->thread == NULL) return NULL;
  VMClass* cls = name != NULL ? VMClass::FindSystemClass(ns, name) : NULL;
  VMStatus status = cls == NULL ? VMStatus_NoClassDefFoundError : 0;
  if (cls != NULL && cls->GetIsLoadable()) {
    VMLoadableClass* lc = (VMLoadableClass*)cls;
    status = initialize ? lc->Initialize(env) : lc->Load();
  }
  if (status == 0) return (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls);
  // A class that did not load, or whose initialiser failed, is no answer: a shell handed
  // out would be used later as if it were a class.
  // A class that is not there is the caller's choice of error (replacing what the
  // loader said of it); any other failure stays as it was raised.
  if (status == VMStatus_NoClassDefFoundError)
    (void)Raise(env, throwError ? VMStatus_NoClassDefFoundError : VMStatus_ClassNotFoundException, name);
  else if (env->thread->GetException() == NULL)
    vmjni::ThrowWithClassName(env, status == VMStatus_AlreadyThrown ? VMStatus_NoClassDefFoundError : status, cls);
  return NULL;
}

jclass JNICALL JVM_FindPrimitiveClass(JNIEnv* env, const char* name) {
  VMNameSpace* ns = NsOf(env);
  VMClass* cls = ns != NULL && name != NULL ? VMClass::FindSystemClass(ns, name) : NULL;
  if (cls == NULL || !cls->GetIsPrimitive()) return NULL;
  return (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls);
}

/* The class of the nearest Java frame above the calling native's own; the depth is not
   looked at. 0 when no Java frame lies between it and the thread's first frame. */
jclass JNICALL JVM_GetCallerClass(JNIEnv* env, jint) {
  VMMethod* caller = JVMCallerMethod(env, 1);
  return caller != NULL ? (jclass)VMJniHandle::NewLocal(env, (VMObject*)caller->GetDefinedIn()) : NULL;
}

jclass JNICALL JVM_GetComponentType(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL || !cls->GetIsArray()) return NULL;
  return (jclass)VMJniHandle::NewLocal(env, (VMObject*)((VMArrayClass*)cls)->GetElementClass());
}

jint JNICALL JVM_GetClassModifiers(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL || cls->GetIsPrimitive()) return 0;
  // A member class is what its declaration says (public, private, protected, static,
  // final, interface, abstract).
  jint inner = 0;
  if (cls->GetIsLoadable() && ((VMLoadableClass*)cls)->GetInnerFlags(&inner)) return inner & 0x61F;
  // The class file's super flag shares its bit with synchronized, which no class is.
  return cls->GetFlags() & ~0x20;
}

jobjectArray JNICALL JVM_GetDeclaredClasses(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassArgument(env, handle);
  VM* vm = env != NULL && env->thread != NULL ? env->thread->GetVM() : NULL;
  if (cls == NULL || vm == NULL) return NULL;
  VMuintArray* members = cls->GetIsLoadable() ? ((VMLoadableClass*)cls)->GetDeclaredClasses() : NULL;
  const uint32_t n = members != NULL ? members->GetSize() : 0;
  // Every member class is found and loaded (not initialised) before the array exists,
  // so nothing but the array's own allocation happens while only this frame holds it.
  for (uint32_t i = 0; i < n; i++) {
    if (PoolClass(env, (VMLoadableClass*)cls, members->Get(i)) == NULL) return NULL;
  }
  VMClassArray* array = VMClassArray::CreateInstance(vm->GetHeap(), n, cls, jallocCollectAndRetry, VMTag_VMClassArray);
  if (array == NULL) return (jobjectArray)Raise(env, VMStatus_OutOfMemoryError);
  for (uint32_t i = 0; i < n; i++) {
    VMStatus status = 0;
    array->Set(i, (VMClass*)((VMLoadableClass*)cls)->GetConstantPool()->GetConstClass(members->Get(i), &status, false));
  }
  return (jobjectArray)VMJniHandle::NewLocal(env, (VMObject*)array);
}

jclass JNICALL JVM_GetDeclaringClass(JNIEnv* env, jclass handle) {
  VMClass* cls = ClassArgument(env, handle);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  uint32_t outer = ((VMLoadableClass*)cls)->GetDeclaringClass();
  if (outer == 0) return NULL;
  VMLoadableClass* found = PoolClass(env, (VMLoadableClass*)cls, outer);
  return found != NULL ? (jclass)VMJniHandle::NewLocal(env, (VMObject*)found) : NULL;
}

void JNICALL JVM_SetProtectionDomain(JNIEnv*, jclass, jobject) {}

/* ------------------------------------------------------------------------------------ */
/* Provided, not implemented                                                             */

#define PUX_NYI(name) JVMNotImplemented(env, #name)

jobject JNICALL JVM_NewInstanceFromConstructor(JNIEnv* env, jobject, jobjectArray) { PUX_NYI(JVM_NewInstanceFromConstructor); return NULL; }
jobject JNICALL JVM_GetProtectionDomain(JNIEnv* env, jclass) { PUX_NYI(JVM_GetProtectionDomain); return NULL; }
void JNICALL JVM_ResolveClass(JNIEnv* env, jclass) { PUX_NYI(JVM_ResolveClass); }
jclass JNICALL JVM_FindLoadedClass(JNIEnv* env, jobject, jstring) { PUX_NYI(JVM_FindLoadedClass); return NULL; }
jobject JNICALL JVM_GetField(JNIEnv* env, jobject, jobject) { PUX_NYI(JVM_GetField); return NULL; }
jvalue JNICALL JVM_GetPrimitiveField(JNIEnv* env, jobject, jobject, unsigned char) {
  PUX_NYI(JVM_GetPrimitiveField);
  jvalue none;
  none.j = 0;
  return none;
}
void JNICALL JVM_SetField(JNIEnv* env, jobject, jobject, jobject) { PUX_NYI(JVM_SetField); }
void JNICALL JVM_SetPrimitiveField(JNIEnv* env, jobject, jobject, jvalue, unsigned char) { PUX_NYI(JVM_SetPrimitiveField); }
jint JNICALL JVM_GetArrayLength(JNIEnv* env, jobject) { PUX_NYI(JVM_GetArrayLength); return 0; }
jobject JNICALL JVM_GetArrayElement(JNIEnv* env, jobject, jint) { PUX_NYI(JVM_GetArrayElement); return NULL; }
jvalue JNICALL JVM_GetPrimitiveArrayElement(JNIEnv* env, jobject, jint, jint) {
  PUX_NYI(JVM_GetPrimitiveArrayElement);
  jvalue none;
  none.j = 0;
  return none;
}
void JNICALL JVM_SetArrayElement(JNIEnv* env, jobject, jint, jobject) { PUX_NYI(JVM_SetArrayElement); }
void JNICALL JVM_SetPrimitiveArrayElement(JNIEnv* env, jobject, jint, jvalue, unsigned char) { PUX_NYI(JVM_SetPrimitiveArrayElement); }
jobject JNICALL JVM_NewArray(JNIEnv* env, jclass, jint) { PUX_NYI(JVM_NewArray); return NULL; }
jobject JNICALL JVM_NewMultiArray(JNIEnv* env, jclass, jintArray) { PUX_NYI(JVM_NewMultiArray); return NULL; }
