/* Queries by index for a class-file verifier outside the machine: a class's fields and
   methods in declaration order, the code, limits and exceptions of a method, and the
   entries of its constant pool. Nothing in the machine calls them.

   Every query checks its index against the table it reads (an index is unsigned, so a
   negative one is out of range) and a constant-pool query also the entry's kind: entry
   0, the second slot of a long or double, or an entry of another kind never reaches a
   reader that would take its word for a class or member. */
#include "vmjvm.h"

#include <string.h>

#include "vmarray.h"
#include "vmclass.h"
#include "vmclass_support.h"
#include "vmconstantpool.h"
#include "vmjni.h"
#include "vmjni_support.h"
#include "vmliteral.h"
#include "vmnamespace.h"

using namespace classmodel;

namespace {

/* The class a handle names when it is a class-file class; NULL (nothing raised) else. */
VMLoadableClass* Loadable(JNIEnv* env, jclass handle) {
  VMClass* cls = VMJniUnHandleClass(env, handle);
  return cls != NULL && cls->GetIsLoadable() ? (VMLoadableClass*)cls : NULL;
}

void OutOfRange(JNIEnv* env) { (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL); }

/* The method or field at an index of the declared arrays; NULL with
   IllegalArgumentException for an index out of range, NULL alone for no class. */
VMMethod* MethodAt(JNIEnv* env, jclass handle, jint index) {
  VMLoadableClass* cls = Loadable(env, handle);
  if (cls == NULL) return NULL;
  VMMethodArray* methods = cls->GetMethods();
  VMMethod* m = methods != NULL && (uint32_t)index < methods->GetSize() ? methods->Get((uint32_t)index) : NULL;
  if (m == NULL) OutOfRange(env);
  return m;
}

VMDataMember* FieldAt(JNIEnv* env, jclass handle, jint index) {
  VMLoadableClass* cls = Loadable(env, handle);
  if (cls == NULL) return NULL;
  VMDataMemberArray* fields = cls->GetDataMembers();
  VMDataMember* f = fields != NULL && (uint32_t)index < fields->GetSize() ? fields->Get((uint32_t)index) : NULL;
  if (f == NULL) OutOfRange(env);
  return f;
}

/* A copy of a literal for the caller; NULL for no literal. */
const char* Text(VMLiteral* literal) { return literal != NULL ? literal->MakeUTF8() : NULL; }

/* The pool of a class and an entry of one of the given kinds (resolved or not): the
   pool, or NULL (with IllegalArgumentException for an index or kind that does not fit). */
VMConstantPool* Entry(JNIEnv* env, jclass handle, jint index, int16_t kind1, int16_t kind2, VMLoadableClass** out) {
  VMLoadableClass* cls = Loadable(env, handle);
  if (cls == NULL) return NULL;
  VMConstantPool* pool = cls->GetConstantPool();
  if (pool == NULL || index < 1 || (uint32_t)index >= pool->GetCount()) {
    OutOfRange(env);
    return NULL;
  }
  int16_t t = pool->GetConstType((uint32_t)index);
  if (t < 0) t = (int16_t)-t;
  if (t != kind1 && t != kind2) {
    OutOfRange(env);
    return NULL;
  }
  if (out != NULL) *out = cls;
  return pool;
}

/* The modifiers of a member reference, looked up in its class's own members only. */
jint ReferencedModifiers(JNIEnv* env, jclass handle, jint index, bool field) {
  VMLoadableClass* cls = NULL;
  VMConstantPool* pool = field ? Entry(env, handle, index, VMConstantPool::TYPE_FieldRef, VMConstantPool::TYPE_FieldRef, &cls)
                               : Entry(env, handle, index, VMConstantPool::TYPE_MethodRef,
                                       VMConstantPool::TYPE_InterfaceMethodRef, &cls);
  if (pool == NULL) return 0;
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  VMLoadableClass* owner = pool->GetMemberRef((uint32_t)index, &name, &signature);
  if (owner == NULL || !((VMClass*)owner)->GetIsLoadable() || name == NULL || signature == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NoClassDefFoundError, NULL);
    return 0;
  }
  VMStatus status = owner->Load();
  if (status != 0) {
    if (env->thread->GetException() == NULL) (void)VMJniThrowInternal(env, status, NULL);
    return 0;
  }
  VMMember* member = field ? (VMMember*)owner->FindField(name, signature, false, env)
                           : (VMMember*)owner->FindMethod(name, signature, false);
  if (member == NULL) {
    (void)VMJniThrowInternal(env, field ? VMStatus_NoSuchFieldError : VMStatus_NoSuchMethodError, NULL);
    return 0;
  }
  return member->GetFlags();
}

uint32_t Declared(uint32_t bytes) { return bytes >= 8 ? bytes / 4 - 2 : 0; }

}  // namespace

/* ---- the class ---- */

const char* JNICALL JVM_GetClassNameUTF(JNIEnv* env, jclass handle) {
  VMClass* cls = VMJniUnHandleClass(env, handle);
  return cls != NULL ? Text(cls->GetName()) : NULL;
}

jint JNICALL JVM_GetClassFieldsCount(JNIEnv* env, jclass handle) {
  VMLoadableClass* cls = Loadable(env, handle);
  VMDataMemberArray* fields = cls != NULL ? cls->GetDataMembers() : NULL;
  return fields != NULL ? (jint)fields->GetSize() : 0;
}

jint JNICALL JVM_GetClassMethodsCount(JNIEnv* env, jclass handle) {
  VMLoadableClass* cls = Loadable(env, handle);
  VMMethodArray* methods = cls != NULL ? cls->GetMethods() : NULL;
  return methods != NULL ? (jint)methods->GetSize() : 0;
}

jboolean JNICALL JVM_IsSameClassPackage(JNIEnv* env, jclass first, jclass second) {
  VMLoadableClass* a = Loadable(env, first);
  VMLoadableClass* b = Loadable(env, second);
  if (a == NULL || b == NULL) return 0;
  VMLiteral* pa = a->GetPackage();
  return pa != NULL && pa == b->GetPackage() ? 1 : 0;
}

/* ---- fields and methods by index ---- */

jint JNICALL JVM_GetFieldIxModifiers(JNIEnv* env, jclass handle, jint index) {
  VMDataMember* f = FieldAt(env, handle, index);
  return f != NULL ? f->GetFlags() : 0;
}

jint JNICALL JVM_GetMethodIxModifiers(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  return m != NULL ? m->GetFlags() : 0;
}

jint JNICALL JVM_GetMethodIxByteCodeLength(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  VMbyteArray* code = m != NULL ? m->GetCode() : NULL;
  return code != NULL ? (jint)code->GetSize() : 0;
}

void JNICALL JVM_GetMethodIxByteCode(JNIEnv* env, jclass handle, jint index, unsigned char* out) {
  VMMethod* m = MethodAt(env, handle, index);
  VMbyteArray* code = m != NULL ? m->GetCode() : NULL;
  if (code == NULL || out == NULL) return;
  const uint32_t size = code->GetSize();
  for (uint32_t at = 0; at < size;) {
    uint32_t run = 0;
    const void* bytes = code->FindElement(at, &run);
    if (bytes == NULL || run == 0) break;
    memcpy(out + at, bytes, run);
    at += run;
  }
}

/* A method without code (native or abstract) has no locals or stack of its own. */
jint JNICALL JVM_GetMethodIxLocalsCount(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  return m != NULL && m->GetCode() != NULL ? (jint)Declared(m->GetLocalBytes()) : 0;
}

jint JNICALL JVM_GetMethodIxMaxStack(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  return m != NULL && m->GetCode() != NULL ? (jint)Declared(m->GetStackBytes()) : 0;
}

jint JNICALL JVM_GetMethodIxArgsSize(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  return m != NULL ? (jint)m->GetParameterWords() : 0;
}

jint JNICALL JVM_GetMethodIxExceptionsCount(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  VMcharArray* throws = m != NULL ? m->GetThrows() : NULL;
  return throws != NULL ? (jint)throws->GetSize() : 0;
}

void JNICALL JVM_GetMethodIxExceptionIndexes(JNIEnv* env, jclass handle, jint index, unsigned short* out) {
  VMMethod* m = MethodAt(env, handle, index);
  VMcharArray* throws = m != NULL ? m->GetThrows() : NULL;
  if (throws == NULL || out == NULL) return;
  for (uint32_t i = 0; i < throws->GetSize(); i++) out[i] = throws->Get(i);
}

jint JNICALL JVM_GetMethodIxExceptionTableLength(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  VMExceptionHandlerArray* handlers = m != NULL ? m->GetExceptionHandlers() : NULL;
  return handlers != NULL ? (jint)handlers->GetSize() : 0;
}

void JNICALL JVM_GetMethodIxExceptionTableEntry(JNIEnv* env, jclass handle, jint index, jint entryIndex,
                                                JVMExceptionTableEntry* entry) {
  VMMethod* m = MethodAt(env, handle, index);
  if (m == NULL) return;
  VMExceptionHandlerArray* handlers = m->GetExceptionHandlers();
  VMExceptionHandler* h =
      handlers != NULL && (uint32_t)entryIndex < handlers->GetSize() ? handlers->Get((uint32_t)entryIndex) : NULL;
  if (h == NULL) {
    OutOfRange(env);
    return;
  }
  if (entry == NULL) return;
  entry->start_pc = (jint)h->GetStartPc();
  entry->end_pc = (jint)h->GetEndPc();
  entry->handler_pc = (jint)h->GetHandlerPc();
  entry->catchType = (jint)h->GetCatchTypeIndex();
}

const char* JNICALL JVM_GetMethodIxSignatureUTF(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  return m != NULL ? Text(m->GetSignature()) : NULL;
}

const char* JNICALL JVM_GetMethodIxNameUTF(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  return m != NULL ? Text(m->GetName()) : NULL;
}

jboolean JNICALL JVM_IsConstructorIx(JNIEnv* env, jclass handle, jint index) {
  VMMethod* m = MethodAt(env, handle, index);
  if (m == NULL) return 0;
  return m->GetName() == WellKnown(m->GetDefinedIn()->GetNameSpace(), LT_INIT) ? 1 : 0;
}

/* ---- the constant pool ---- */

jint JNICALL JVM_GetClassCPEntriesCount(JNIEnv* env, jclass handle) {
  VMLoadableClass* cls = Loadable(env, handle);
  VMConstantPool* pool = cls != NULL ? cls->GetConstantPool() : NULL;
  return pool != NULL ? (jint)pool->GetCount() : 0;
}

/* The class-file tag of every entry from 1 on, resolved or not. */
void JNICALL JVM_GetClassCPTypes(JNIEnv* env, jclass handle, unsigned char* types) {
  VMLoadableClass* cls = Loadable(env, handle);
  VMConstantPool* pool = cls != NULL ? cls->GetConstantPool() : NULL;
  if (pool == NULL || types == NULL) return;
  for (uint32_t i = 1; i < pool->GetCount(); i++) {
    int16_t t = pool->GetConstType(i);
    types[i] = (unsigned char)(t < 0 && t >= -12 ? -t : t);
  }
}

/* The stored class of a Class entry; no class is loaded or initialised for a query. */
const char* JNICALL JVM_GetCPClassNameUTF(JNIEnv* env, jclass handle, jint index) {
  VMConstantPool* pool = Entry(env, handle, index, VMConstantPool::TYPE_Class, VMConstantPool::TYPE_Class, NULL);
  if (pool == NULL) return NULL;
  VMStatus status = 0;
  VMLoadableClass* cls = pool->GetConstClass((uint32_t)index, &status, false);
  return cls != NULL ? Text(cls->GetName()) : NULL;
}

const char* JNICALL JVM_GetCPFieldClassNameUTF(JNIEnv* env, jclass handle, jint index) {
  VMConstantPool* pool = Entry(env, handle, index, VMConstantPool::TYPE_FieldRef, VMConstantPool::TYPE_FieldRef, NULL);
  return pool != NULL ? Text(pool->GetConstClassName((uint32_t)index)) : NULL;
}

const char* JNICALL JVM_GetCPMethodClassNameUTF(JNIEnv* env, jclass handle, jint index) {
  VMConstantPool* pool =
      Entry(env, handle, index, VMConstantPool::TYPE_MethodRef, VMConstantPool::TYPE_InterfaceMethodRef, NULL);
  return pool != NULL ? Text(pool->GetConstClassName((uint32_t)index)) : NULL;
}

const char* JNICALL JVM_GetCPFieldSignatureUTF(JNIEnv* env, jclass handle, jint index) {
  VMLoadableClass* cls = NULL;
  VMConstantPool* pool = Entry(env, handle, index, VMConstantPool::TYPE_FieldRef, VMConstantPool::TYPE_FieldRef, &cls);
  return pool != NULL ? Text(pool->GetConstSignature(cls, (uint32_t)index)) : NULL;
}

const char* JNICALL JVM_GetCPMethodSignatureUTF(JNIEnv* env, jclass handle, jint index) {
  VMLoadableClass* cls = NULL;
  VMConstantPool* pool =
      Entry(env, handle, index, VMConstantPool::TYPE_MethodRef, VMConstantPool::TYPE_InterfaceMethodRef, &cls);
  return pool != NULL ? Text(pool->GetConstSignature(cls, (uint32_t)index)) : NULL;
}

const char* JNICALL JVM_GetCPMethodNameUTF(JNIEnv* env, jclass handle, jint index) {
  VMLoadableClass* cls = NULL;
  VMConstantPool* pool =
      Entry(env, handle, index, VMConstantPool::TYPE_MethodRef, VMConstantPool::TYPE_InterfaceMethodRef, &cls);
  return pool != NULL ? Text(pool->GetConstName(cls, (uint32_t)index)) : NULL;
}

jint JNICALL JVM_GetCPFieldModifiers(JNIEnv* env, jclass handle, jint index, jclass) {
  return ReferencedModifiers(env, handle, index, true);
}

jint JNICALL JVM_GetCPMethodModifiers(JNIEnv* env, jclass handle, jint index, jclass) {
  return ReferencedModifiers(env, handle, index, false);
}

void JNICALL JVM_ReleaseUTF(const char* utf) { VMLiteral::FreeUTF8((char*)utf); }

jint JNICALL JVM_GetInterfaceVersion(void) {
  JVMNotImplemented(NULL, "JVM_GetInterfaceVersion");
  return 0;
}
