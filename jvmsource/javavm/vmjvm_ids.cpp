#include "vmjvm_ids.h"

#include "vmclass.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

enum MemberKind { Field, Method };

VMLiteral* Lit(VMNameSpace* ns, const char* text) { return VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu); }

/* The class through the system loader, initialised, then the member
   by name and signature, searched up the superclasses; the member's id. */
void* Lookup(JNIEnv* env, const char* className, const char* name, const char* signature, MemberKind kind) {
  VMNameSpace* ns = env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  if (ns == NULL || env->thread == NULL) return NULL;
  VMLiteral* classLiteral = Lit(ns, className);
  VMLiteral* nameLiteral = Lit(ns, name);
  VMLiteral* signatureLiteral = Lit(ns, signature);
  if (classLiteral == NULL || nameLiteral == NULL || signatureLiteral == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  // The system loader's entry, initialised: no copy of the name is made, so a look-up
  // of a class already in use allocates nothing.
  VMClass* found = VMClass::FindSystemClass(ns, classLiteral);
  VMLoadableClass* cls = found != NULL && found->GetIsLoadable() ? (VMLoadableClass*)found : NULL;
  if (cls == NULL || cls->Initialize(env) != VMStatus_OK) {
    if (env->thread->GetException() == NULL) VMJniThrowInternal(env, VMStatus_NoClassDefFoundError, className);
    return NULL;
  }
  VMObject* member = kind == Field ? (VMObject*)cls->FindField(nameLiteral, signatureLiteral, true, env)
                                   : (VMObject*)cls->FindMethod(nameLiteral, signatureLiteral, true);
  if (member == NULL) {
    VMJniThrowInternal(env, kind == Field ? VMStatus_NoSuchFieldError : VMStatus_NoSuchMethodError, name);
    return NULL;
  }
  return (void*)VMJniHandle::NewFieldID(env, member);
}

jfieldID FieldId(JNIEnv* env, const char* cls, const char* name, const char* sig) {
  return (jfieldID)Lookup(env, cls, name, sig, Field);
}

jmethodID MethodId(JNIEnv* env, const char* cls, const char* name, const char* sig) {
  return (jmethodID)Lookup(env, cls, name, sig, Method);
}

}  // namespace

jfieldID JVMFieldThreadNative(JNIEnv* env) {
  VMNameSpace* ns = env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  if (ns == NULL) return NULL;
  return ns->GetLibraryVersion() < 2 ? FieldId(env, "java/lang/Thread", "PrivateInfo", "I")
                                     : FieldId(env, "java/lang/Thread", "eetop", "J");
}

jfieldID JVMFieldThreadGroup(JNIEnv* env) {
  return FieldId(env, "java/lang/Thread", "group", "Ljava/lang/ThreadGroup;");
}

jfieldID JVMFieldThreadPriority(JNIEnv* env) { return FieldId(env, "java/lang/Thread", "priority", "I"); }

jfieldID JVMFieldThreadName(JNIEnv* env) { return FieldId(env, "java/lang/Thread", "name", "[C"); }

jfieldID JVMFieldThreadInheritableThreadLocals(JNIEnv* env) {
  return FieldId(env, "java/lang/Thread", "inheritableThreadLocals", "Ljava/util/Map;");
}

jmethodID JVMMethodThreadExit(JNIEnv* env) { return MethodId(env, "java/lang/Thread", "exit", "()V"); }

jmethodID JVMMethodThreadGroupUncaughtException(JNIEnv* env) {
  return MethodId(env, "java/lang/ThreadGroup", "uncaughtException",
                  "(Ljava/lang/Thread;Ljava/lang/Throwable;)V");
}

jmethodID JVMMethodPropertiesPut(JNIEnv* env) {
  return MethodId(env, "java/util/Properties", "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
}

jfieldID JVMFieldSystemIn(JNIEnv* env) { return FieldId(env, "java/lang/System", "in", "Ljava/io/InputStream;"); }

jfieldID JVMFieldSystemOut(JNIEnv* env) { return FieldId(env, "java/lang/System", "out", "Ljava/io/PrintStream;"); }

jfieldID JVMFieldSystemErr(JNIEnv* env) { return FieldId(env, "java/lang/System", "err", "Ljava/io/PrintStream;"); }

jfieldID JVMFieldNativeLibraryHandle(JNIEnv* env) {
  return FieldId(env, "java/lang/ClassLoader$NativeLibrary", "handle", "J");
}

VMDataMember* JVMFieldOf(JNIEnv* env, jfieldID id) {
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)id);
  return object != NULL && object->GetTag() == VMDataMember::Tag ? (VMDataMember*)object : NULL;
}

VMMethod* JVMMethodOf(JNIEnv* env, jmethodID id) {
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)id);
  return object != NULL && object->GetTag() == VMMethod::Tag ? (VMMethod*)object : NULL;
}
