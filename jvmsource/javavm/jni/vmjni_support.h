/* What the env functions of objects, calls, fields, strings, arrays, registration and
   monitors share: the env's machine and name space, typed unwrapping of handles and ids,
   and the static data of a class in the calling machine.

   Every unwrap here checks what the handle names before it is used as that kind: a native
   can pass any handle where a class, a method id or a field id is expected, and reading a
   field id as a method (or an object as a class) would read past the object. */
#ifndef PUX_VMJNI_SUPPORT_H
#define PUX_VMJNI_SUPPORT_H

#include "vm.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace vmjni {

inline VMNameSpace* NameSpaceOf(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}

inline VM* MachineOf(JNIEnv* env) {
  return env != NULL && env->thread != NULL ? env->thread->GetVM() : NULL;
}

/* The class descriptor a handle names; NULL for 0 and for any other object. */
inline VMClass* UnHandleClass(JNIEnv* env, jobject handle) { return VMJniUnHandleClass(env, handle); }

/* The method a method id names; NULL for 0, a stale id or an id of anything else. */
inline VMMethod* UnHandleMethod(JNIEnv* env, jmethodID id) {
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)id);
  return object != NULL && object->GetTag() == VMMethod::Tag ? (VMMethod*)object : NULL;
}

/* The field a field id names; NULL for 0, a stale id or an id of anything else. */
inline VMDataMember* UnHandleField(JNIEnv* env, jfieldID id) {
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)id);
  return object != NULL && object->GetTag() == VMDataMember::Tag ? (VMDataMember*)object : NULL;
}

/* A NUL-terminated name interned in the name space; NULL for a null pointer, invalid
   modified UTF-8 or no memory. */
inline VMLiteral* Intern(VMNameSpace* ns, const char* text) {
  return ns != NULL && text != NULL ? VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu) : NULL;
}

/* Loads and links a class that is not prepared yet: true when it is prepared, else false
   with the status pending. Method tables, instance sizes and field slots exist only from
   preparation on. */
bool EnsurePrepared(JNIEnv* env, VMLoadableClass* cls);

/* The static data of the class in the calling thread's machine, initialising the class
   first when the machine has none. NULL when initialisation failed or left no data; an
   exception is then pending (the initialiser's, the failure's status, or
   NoClassDefFoundError with the class's dotted name). */
VMObject* StaticDataOf(JNIEnv* env, VMLoadableClass* cls);

/* Makes the status pending with the class's dotted name as message. */
void ThrowWithClassName(JNIEnv* env, VMStatus status, VMClass* cls);

}  // namespace vmjni

#endif
