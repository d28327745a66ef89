/* Reflective calls: a method run with the arguments of an Object[], unboxed and widened
   to its parameter types, and its result boxed. */
#include <string.h>

#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangreflectfield.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjni_support.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

/* The argument area: every parameter word a method can have (the parser refuses 256
   and more), and two for a result. */
enum { kAreaWords = 258 };

VMObject* Refuse(JNIEnv* env, VMStatus status) {
  (void)VMJniThrowInternal(env, status, NULL);
  return NULL;
}

/* An Object[] (of any reference element type) or nothing. */
bool IsReferenceArray(VMObject* array) {
  if (array == NULL) return true;
  VMClass* cls = array->GetHasClass() ? array->GetClass() : NULL;
  if (cls == NULL || !cls->GetIsArray()) return false;
  VMClass* element = ((VMArrayClass*)cls)->GetElementClass();
  return element != NULL && !element->GetIsPrimitive();
}

}  // namespace

VMObject* VMMethod::ReflectInvoke(JNIEnv* env, VMObject* object, VMClassArray* parameterTypes,
                                  VMObjectArray* arguments, VMClass* returnType) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (thread == NULL) return NULL;
  // The callers decided access on the member the program named (this may be the
  // override a virtual call picked).
  if (!IsReferenceArray((VMObject*)arguments)) return Refuse(env, VMStatus_IllegalArgumentException);
  const uint32_t count = parameterTypes != NULL ? parameterTypes->GetSize() : 0;
  const uint32_t given = arguments != NULL ? arguments->GetSize() : 0;
  if (count != given) return Refuse(env, VMStatus_IllegalArgumentException);
  const uint32_t words = GetParameterWords();
  VMword area[kAreaWords];
  uint32_t w = 0;
  if (!GetIsStatic()) {
    if (object == NULL) return Refuse(env, VMStatus_NullPointerException);
    area[w++] = (VMword)object;
  }
  // The arguments stay reachable through the array the caller holds; nothing below
  // allocates until the call.
  for (uint32_t i = 0; i < count; i++) {
    VMClass* type = parameterTypes->Get(i);
    VMObject* argument = arguments->Get(i);
    if (type == NULL) return Refuse(env, VMStatus_IllegalArgumentException);
    if (type->GetIsPrimitive()) {
      int32_t code = VMJavaLangReflectField::TypeCode(type);
      VMword value[2] = {0, 0};
      uint32_t from = VMJavaLangReflectField::UnWrap(argument, value);
      if (from == 0 || code == VMTypeVoid || !VMJavaLangReflectField::Widen((int32_t)from, code, value))
        return Refuse(env, VMStatus_IllegalArgumentException);
      const uint32_t n = code == VMTypeLong || code == VMTypeDouble ? 2 : 1;
      if (w + n > words) return Refuse(env, VMStatus_IllegalArgumentException);
      area[w++] = value[0];
      if (n == 2) area[w++] = value[1];
    } else {
      if (!VMClass::InstanceOf(argument, type) || w + 1 > words) return Refuse(env, VMStatus_IllegalArgumentException);
      area[w++] = (VMword)argument;
    }
  }
  // Types that do not spell the method's own parameter words would lay the arguments
  // out wrong.
  if (w != words) return Refuse(env, VMStatus_IllegalArgumentException);
  area[w] = 0;
  area[w + 1] = 0;
  // No static method runs before its class's initialiser (an instance method's class
  // was initialised when its receiver was made).
  if (GetIsStatic() && vmjni::StaticDataOf(env, GetDefinedIn()) == NULL) return NULL;
  VMFrame::ExecuteJava(env, this, area);
  if (VMJavaLangThrowable* thrown = thread->GetException()) {
    // Still pending, so still held, while its wrapper is made.
    VMJavaLangThrowable* wrapped = VMJavaLangInvocationTargetException::CreateInstance(env, thrown);
    thread->SetException(wrapped != NULL ? wrapped : thrown);
    return NULL;
  }
  if (returnType == NULL) return NULL;
  if (!returnType->GetIsPrimitive()) return (VMObject*)area[0];
  int32_t code = VMJavaLangReflectField::TypeCode(returnType);
  if (code == VMTypeVoid) return NULL;
  return VMJavaLangReflectField::Wrap(env, code, area);
}

namespace {

/* An instance of type for Java code. A class record is a Class whatever its class word
   says (a primitive class's may be unset while the library starts). */
bool Fits(VMObject* object, VMClass* type) {
  if (object == NULL) return true;
  if (type == NULL) return false;
  // java.lang.Object takes every object, whatever its class word.
  if (type->GetIsLoadable() && !type->GetIsInterface() && ((VMLoadableClass*)type)->GetSuper() == NULL) return true;
  if (object->GetTag() == VMClass::Tag) {
    if (!type->GetIsLoadable()) return false;
    VMClass* classClass = (VMClass*)((VMLoadableClass*)type)->GetNameSpace()->GetClassList()->GetClassClass();
    return classClass != NULL && VMClass::AssignableFrom(classClass, type);
  }
  return VMClass::InstanceOf(object, type);
}

}  // namespace

VMClassArray* VMMethod::ResolvedParameterTypes(JNIEnv* env) {
  VMThread* thread = env->thread;
  VMJavaLangThrowable* pending = thread->GetException();
  VMClassArray* types = VMClassReflectInfo::GetParameterTypes(env, this);
  thread->SetException(pending);
  return types;
}

bool VMMethod::ReferenceArgumentsFit(VMClassArray* types, const VMword* area, uint32_t first) {
  VMLiteralIterator it(GetSignature());
  if (it.NextChar() != '(') return false;
  uint32_t w = first;
  for (uint32_t i = 0;; i++) {
    VMMethod::SigTypes t = VMMethod::ScanSigItem(it);
    if (t == VMMethod::SigEndParms || t == VMMethod::SigEnd || t == VMMethod::SigInvalid) return true;
    if (t == VMMethod::SigLong || t == VMMethod::SigDouble) {
      w += 2;
      continue;
    }
    VMObject* argument = (VMObject*)area[w++];
    if (t != VMMethod::SigObject && t != VMMethod::SigArray) continue;
    if (argument == NULL) continue;
    VMClass* type = types != NULL && i < types->GetSize() ? types->Get(i) : NULL;
    if (!Fits(argument, type)) return false;
  }
}

bool VMMethod::ReferenceResultFits(JNIEnv* env, jobject result) {
  if (VMJniHandle::UnHandle(env, result) == NULL) return true;
  VMThread* thread = env->thread;
  VMJavaLangThrowable* pending = thread->GetException();
  VMClass* type = VMClassReflectInfo::GetReturnType(env, this);
  thread->SetException(pending);
  // Found again: finding the class may have run Java code.
  VMObject* object = VMJniHandle::UnHandle(env, result);
  return Fits(object, type);
}
