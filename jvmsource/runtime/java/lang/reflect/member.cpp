/* The natives of java.lang.reflect.Constructor, Field and Method. Method.invoke is
   JVM_InvokeMethod itself.

   A reflection object only names a member: the member's own record gives its class,
   its type and its word index, so an object whose words were changed (or that Java code
   made without a constructor) reaches nothing but IllegalArgumentException. */
#include <string.h>

#include "registration.h"
#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangreflectfield.h"
#include "vmjni.h"
#include "vmjni_support.h"
#include "vmjvm.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

typedef VMJavaLangReflectField R;

void Raise(JNIEnv* env, VMStatus status) { (void)VMJniThrowInternal(env, status, NULL); }

VMNameSpace* NsOf(JNIEnv* env) { return env->javaVM->nameSpace; }
unsigned long VersionOf(JNIEnv* env) { return (unsigned long)NsOf(env)->GetLibraryVersion(); }

/* Words of the machine's own that a class-library object holds in private fields: the
   env of a thread, the frame records of a throwable. No reflective access reaches them,
   override or not. */
bool MachineOwned(VMNameSpace* ns, VMDataMember* field) {
  VMLoadableClass* cls = field->GetDefinedIn();
  if (cls == NULL || cls->GetLoader() != ns->GetSystemClassLoader()) return false;
  VMLiteral* className = cls->GetName();
  VMLiteral* name = field->GetName();
  if (className->EqualsAscii("java/lang/Thread")) return name->EqualsAscii("PrivateInfo") || name->EqualsAscii("eetop");
  if (className->EqualsAscii("java/lang/Throwable")) return name->EqualsAscii("backtrace");
  return false;
}

/* A class-file class that is loaded, so that its kind bits and supertypes are known. */
bool Loaded(VMClass* cls) {
  return cls != NULL && (!cls->GetIsLoadable() || ((VMLoadableClass*)cls)->Load() == 0);
}

/* ---- Field ---- */

/* The field and the object that holds it (the static data for a static field); false
   with the exception pending. */
bool ReflectFieldPrepare(JNIEnv* env, jobject fieldHandle, jobject objectHandle, VMDataMember** member,
                         VMObject** target, bool write) {
  const unsigned long version = VersionOf(env);
  R* field = (R*)VMJniHandle::UnHandle(env, fieldHandle);
  VMDataMember* f = field != NULL ? field->GetVMDataMember(version) : NULL;
  if (f == NULL) {
    Raise(env, VMStatus_IllegalArgumentException);
    return false;
  }
  const bool override = VMJavaLangReflectMember::ReadOverride(env, fieldHandle, version);
  // A final field keeps its value for every later user of the machine (the library's
  // constants among them); only a 1.2-style override reaches an instance one.
  const bool finalLocked = write && f->GetIsFinal() && (!override || f->GetIsStatic());
  VMObject* receiver = f->GetIsStatic() ? NULL : VMJniHandle::UnHandle(env, objectHandle);
  VMClass* receiverClass = receiver != NULL ? receiver->GetClass() : NULL;
  if (!VMJavaLangReflectMember::MayReach(env, f, override, receiverClass) || finalLocked ||
      MachineOwned(NsOf(env), f)) {
    Raise(env, VMStatus_IllegalAccessException);
    return false;
  }
  VMLoadableClass* cls = f->GetDefinedIn();
  if (f->GetIsStatic()) {
    // Initialised first if it is not yet: no static field is read before its class's
    // initialiser ran, and a failed initialiser is the answer.
    *target = vmjni::StaticDataOf(env, cls);
    if (*target == NULL) return false;
  } else {
    VMObject* object = VMJniHandle::UnHandle(env, objectHandle);
    if (object == NULL) {
      Raise(env, VMStatus_NullPointerException);
      return false;
    }
    if (!VMClass::InstanceOf(object, (VMClass*)cls)) {
      Raise(env, VMStatus_IllegalArgumentException);
      return false;
    }
    *target = object;
  }
  *member = f;
  return true;
}

/* A one-word value as Java holds it in a register: narrow kinds sign- or zero-extended. */
VMword Normalized(int32_t code, VMword word) {
  switch (code) {
    case VMTypeBoolean: return word & 0xFF;
    case VMTypeByte: return (VMword)(int32_t)(int8_t)word;
    case VMTypeChar: return word & 0xFFFF;
    case VMTypeShort: return (VMword)(int32_t)(int16_t)word;
    default: return word;
  }
}

VMObject* ReflectFieldGet(JNIEnv* env, jobject fieldHandle, jobject objectHandle, VMword* value, int32_t wanted) {
  VMDataMember* member = NULL;
  VMObject* target = NULL;
  if (!ReflectFieldPrepare(env, fieldHandle, objectHandle, &member, &target, false)) return NULL;
  VMClass* type = member->GetClass();
  const uint32_t index = (uint32_t)member->GetIndex();
  if (!type->GetIsPrimitive()) {
    if (wanted != 0) {
      Raise(env, VMStatus_IllegalArgumentException);
      return NULL;
    }
    VMObject* stored = (VMObject*)target->GetWord(index);
    // Only Java objects go to Java: a machine record in a field is no value of it.
    return stored != NULL && stored->GetHasClass() ? stored : NULL;
  }
  int32_t code = R::TypeCode(type);
  if (code == VMTypeLong || code == VMTypeDouble) {
    value[0] = target->GetWord(index);
    value[1] = target->GetWord(index + 1);
  } else {
    value[0] = Normalized(code, target->GetWord(index));
  }
  if (wanted == 0) return R::Wrap(env, code, value);
  if (!R::Widen(code, wanted, value)) Raise(env, VMStatus_IllegalArgumentException);
  return NULL;
}

void ReflectFieldSet(JNIEnv* env, jobject fieldHandle, jobject objectHandle, VMword* value, int32_t wanted) {
  VMDataMember* member = NULL;
  VMObject* target = NULL;
  if (!ReflectFieldPrepare(env, fieldHandle, objectHandle, &member, &target, true)) return;
  VMClass* type = member->GetClass();
  const uint32_t index = (uint32_t)member->GetIndex();
  if (!type->GetIsPrimitive()) {
    VMObject* object = (VMObject*)value[0];
    if (wanted != 0 || (object != NULL && !Loaded(type)) || !VMClass::InstanceOf(object, type)) {
      Raise(env, VMStatus_IllegalArgumentException);
      return;
    }
    target->SetWord(index, (VMword)object);
    return;
  }
  int32_t code = R::TypeCode(type);
  int32_t from = wanted != 0 ? wanted : (int32_t)R::UnWrap((VMObject*)value[0], value);
  if (from == 0 || !R::Widen(from, code, value)) {
    Raise(env, VMStatus_IllegalArgumentException);
    return;
  }
  target->SetWord(index, code == VMTypeLong || code == VMTypeDouble ? value[0] : Normalized(code, value[0]));
  if (code == VMTypeLong || code == VMTypeDouble) target->SetWord(index + 1, value[1]);
}

jint JNICALL FieldGetModifiers(JNIEnv* env, jobject self) {
  R* field = (R*)VMJniHandle::UnHandle(env, self);
  VMDataMember* f = field != NULL ? field->GetVMDataMember(VersionOf(env)) : NULL;
  if (f == NULL) Raise(env, VMStatus_IllegalArgumentException);
  return f != NULL ? f->GetFlags() : 0;
}

jobject JNICALL FieldGet(JNIEnv* env, jobject self, jobject object) {
  VMword v[2] = {0, 0};
  VMObject* result = ReflectFieldGet(env, self, object, v, 0);
  return env->thread->GetException() == NULL ? VMJniHandle::NewLocal(env, result) : NULL;
}

jfloat AsFloat(const VMword* v) {
  jfloat f;
  memcpy(&f, v, 4);
  return f;
}
jdouble AsDouble(const VMword* v) {
  jdouble d;
  memcpy(&d, v, 8);
  return d;
}
jlong AsLong(const VMword* v) { return (jlong)(((uint64_t)v[1] << 32) | v[0]); }

#define PUX_FIELD_GETTER(Name, JType, code, expr)                              \
  JType JNICALL Name(JNIEnv* env, jobject self, jobject object) {               \
    VMword v[2] = {0, 0};                                                       \
    (void)ReflectFieldGet(env, self, object, v, code);                          \
    if (env->thread->GetException() != NULL) return (JType)0;                   \
    return expr;                                                                \
  }
PUX_FIELD_GETTER(FieldGetBoolean, jboolean, VMTypeBoolean, (jboolean)(v[0] & 0xFF))
PUX_FIELD_GETTER(FieldGetByte, jbyte, VMTypeByte, (jbyte)v[0])
PUX_FIELD_GETTER(FieldGetChar, jchar, VMTypeChar, (jchar)v[0])
PUX_FIELD_GETTER(FieldGetShort, jshort, VMTypeShort, (jshort)v[0])
PUX_FIELD_GETTER(FieldGetInt, jint, VMTypeInt, (jint)v[0])
PUX_FIELD_GETTER(FieldGetLong, jlong, VMTypeLong, AsLong(v))
PUX_FIELD_GETTER(FieldGetFloat, jfloat, VMTypeFloat, AsFloat(v))
PUX_FIELD_GETTER(FieldGetDouble, jdouble, VMTypeDouble, AsDouble(v))
#undef PUX_FIELD_GETTER

void JNICALL FieldSet(JNIEnv* env, jobject self, jobject object, jobject value) {
  VMword v[2] = {(VMword)VMJniHandle::UnHandle(env, value), 0};
  ReflectFieldSet(env, self, object, v, 0);
}
void JNICALL FieldSetBoolean(JNIEnv* env, jobject self, jobject object, jboolean z) {
  VMword v[2] = {(VMword)(uint8_t)z, 0};
  ReflectFieldSet(env, self, object, v, VMTypeBoolean);
}
void JNICALL FieldSetByte(JNIEnv* env, jobject self, jobject object, jbyte b) {
  VMword v[2] = {(VMword)(int32_t)b, 0};
  ReflectFieldSet(env, self, object, v, VMTypeByte);
}
void JNICALL FieldSetChar(JNIEnv* env, jobject self, jobject object, jchar c) {
  VMword v[2] = {(VMword)(uint16_t)c, 0};
  ReflectFieldSet(env, self, object, v, VMTypeChar);
}
void JNICALL FieldSetShort(JNIEnv* env, jobject self, jobject object, jshort s) {
  VMword v[2] = {(VMword)(int32_t)s, 0};
  ReflectFieldSet(env, self, object, v, VMTypeShort);
}
void JNICALL FieldSetInt(JNIEnv* env, jobject self, jobject object, jint i) {
  VMword v[2] = {(VMword)i, 0};
  ReflectFieldSet(env, self, object, v, VMTypeInt);
}
void JNICALL FieldSetLong(JNIEnv* env, jobject self, jobject object, jlong j) {
  VMword v[2] = {(VMword)(uint64_t)j, (VMword)((uint64_t)j >> 32)};
  ReflectFieldSet(env, self, object, v, VMTypeLong);
}
void JNICALL FieldSetFloat(JNIEnv* env, jobject self, jobject object, jfloat f) {
  VMword v[2] = {0, 0};
  memcpy(v, &f, 4);
  ReflectFieldSet(env, self, object, v, VMTypeFloat);
}
void JNICALL FieldSetDouble(JNIEnv* env, jobject self, jobject object, jdouble d) {
  VMword v[2];
  memcpy(v, &d, 8);
  ReflectFieldSet(env, self, object, v, VMTypeDouble);
}

/* ---- Constructor ---- */

jint JNICALL ConstructorGetModifiers(JNIEnv* env, jobject self) {
  VMJavaLangReflectConstructor* c = (VMJavaLangReflectConstructor*)VMJniHandle::UnHandle(env, self);
  VMMethod* m = c != NULL ? c->GetVMMethod(VersionOf(env)) : NULL;
  if (m == NULL) Raise(env, VMStatus_IllegalArgumentException);
  return m != NULL ? m->GetFlags() : 0;
}

/* Classes whose instances are machine records dressed as Java objects. */
bool IsMachineShaped(VMNameSpace* ns, VMLoadableClass* cls) {
  VMClassList* list = ns->GetClassList();
  return cls == list->GetClassClass() || cls == list->GetReflectFieldClass() || cls == list->GetReflectMethodClass() ||
         cls == list->GetReflectConstructorClass();
}

jobject JNICALL ConstructorNewInstance(JNIEnv* env, jobject self, jobjectArray arguments) {
  VMNameSpace* ns = NsOf(env);
  const unsigned long version = VersionOf(env);
  const bool override = VMJavaLangReflectMember::ReadOverride(env, self, version);
  VMJavaLangReflectConstructor* wrapper = (VMJavaLangReflectConstructor*)VMJniHandle::UnHandle(env, self);
  VMMethod* constructor = wrapper != NULL ? wrapper->GetVMMethod(version) : NULL;
  if (constructor == NULL) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  VMLoadableClass* cls = constructor->GetDefinedIn();
  if (cls->GetIsAbstract() || cls->GetIsInterface() || IsMachineShaped(ns, cls)) {
    Raise(env, VMStatus_InstantiationException);
    return NULL;
  }
  if (!VMJavaLangReflectMember::MayReach(env, constructor, override, (VMClass*)cls)) {
    Raise(env, VMStatus_IllegalAccessException);
    return NULL;
  }
  // No instance exists before its class is initialised.
  if (vmjni::StaticDataOf(env, cls) == NULL) return NULL;
  VMClassArray* parameters = VMClassReflectInfo::GetParameterTypes(env, constructor);
  if (parameters == NULL) return NULL;
  VMObject* object = VMObject::CreateInstance(env->thread->GetVM()->GetHeap(), cls, jallocCollectAndRetry);
  if (object == NULL) {
    Raise(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  jobject result = VMJniHandle::NewLocal(env, object);
  if (result == NULL) return NULL;
  (void)constructor->ReflectInvoke(env, object, parameters, (VMObjectArray*)VMJniHandle::UnHandle(env, arguments),
                                   NULL);
  return env->thread->GetException() == NULL ? result : NULL;
}

/* ---- Method ---- */

jint JNICALL MethodGetModifiers(JNIEnv* env, jobject self) {
  VMJavaLangReflectMethod* wrapper = (VMJavaLangReflectMethod*)VMJniHandle::UnHandle(env, self);
  VMMethod* m = wrapper != NULL ? wrapper->GetVMMethod(VersionOf(env)) : NULL;
  if (m == NULL) Raise(env, VMStatus_IllegalArgumentException);
  return m != NULL ? m->GetFlags() : 0;
}

const JNINativeMethod kConstructor[] = {
    PUX_NATIVE("getModifiers", "()I", ConstructorGetModifiers),
    PUX_NATIVE("newInstance", "([Ljava/lang/Object;)Ljava/lang/Object;", ConstructorNewInstance),
};

const JNINativeMethod kField[] = {
    PUX_NATIVE("getModifiers", "()I", FieldGetModifiers),
    PUX_NATIVE("get", "(Ljava/lang/Object;)Ljava/lang/Object;", FieldGet),
    PUX_NATIVE("getBoolean", "(Ljava/lang/Object;)Z", FieldGetBoolean),
    PUX_NATIVE("getByte", "(Ljava/lang/Object;)B", FieldGetByte),
    PUX_NATIVE("getChar", "(Ljava/lang/Object;)C", FieldGetChar),
    PUX_NATIVE("getShort", "(Ljava/lang/Object;)S", FieldGetShort),
    PUX_NATIVE("getInt", "(Ljava/lang/Object;)I", FieldGetInt),
    PUX_NATIVE("getLong", "(Ljava/lang/Object;)J", FieldGetLong),
    PUX_NATIVE("getFloat", "(Ljava/lang/Object;)F", FieldGetFloat),
    PUX_NATIVE("getDouble", "(Ljava/lang/Object;)D", FieldGetDouble),
    PUX_NATIVE("set", "(Ljava/lang/Object;Ljava/lang/Object;)V", FieldSet),
    PUX_NATIVE("setBoolean", "(Ljava/lang/Object;Z)V", FieldSetBoolean),
    PUX_NATIVE("setByte", "(Ljava/lang/Object;B)V", FieldSetByte),
    PUX_NATIVE("setChar", "(Ljava/lang/Object;C)V", FieldSetChar),
    PUX_NATIVE("setShort", "(Ljava/lang/Object;S)V", FieldSetShort),
    PUX_NATIVE("setInt", "(Ljava/lang/Object;I)V", FieldSetInt),
    PUX_NATIVE("setLong", "(Ljava/lang/Object;J)V", FieldSetLong),
    PUX_NATIVE("setFloat", "(Ljava/lang/Object;F)V", FieldSetFloat),
    PUX_NATIVE("setDouble", "(Ljava/lang/Object;D)V", FieldSetDouble),
};

const JNINativeMethod kMethod[] = {
    PUX_NATIVE("getModifiers", "()I", MethodGetModifiers),
    PUX_NATIVE("invoke", "(Ljava/lang/Object;[Ljava/lang/Object;)Ljava/lang/Object;", JVM_InvokeMethod),
};

}  // namespace

void Register_java_lang_reflect_Constructor(void) {
  JNI_RegisterNative("java/lang/reflect/Constructor", kConstructor, PUX_ROWS(kConstructor));
}

void Register_java_lang_reflect_Field(void) {
  JNI_RegisterNative("java/lang/reflect/Field", kField, PUX_ROWS(kField));
}

void Register_java_lang_reflect_Method(void) {
  JNI_RegisterNative("java/lang/reflect/Method", kMethod, PUX_ROWS(kMethod));
}
