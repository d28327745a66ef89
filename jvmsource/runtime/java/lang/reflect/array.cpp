/* The natives of java.lang.reflect.Array: length, one element as a box or as a named
   primitive type, and new arrays of one and several dimensions. Elements are read and
   written one at a time in place (a long or double as two separate words), with the
   index checked unsigned before any element address is made. */
#include <string.h>

#include "registration.h"
#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangreflectfield.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

typedef VMJavaLangReflectField R;

void Raise(JNIEnv* env, VMStatus status) { (void)VMJniThrowInternal(env, status, NULL); }

/* Bytes per element of a primitive code. */
uint32_t Width(int32_t code) {
  switch (code) {
    case VMTypeBoolean: case VMTypeByte: return 1;
    case VMTypeChar: case VMTypeShort: return 2;
    case VMTypeLong: case VMTypeDouble: return 8;
    default: return 4;
  }
}
uint32_t Shift(uint32_t width) { return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3; }

/* The array a handle names: NullPointerException for null, IllegalArgumentException for
   any object that is no Java array (a String, a plain object, a machine record). */
VMArray* ReflectArrayCheck(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL) {
    Raise(env, VMStatus_NullPointerException);
    return NULL;
  }
  VMClass* cls = object->GetHasClass() ? object->GetClass() : NULL;
  if (cls == NULL || !cls->GetIsArray()) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  return (VMArray*)object;
}

/* The element code of an array (0 for references), or -2 when the array's own element
   size disagrees with its class (no such array is made by the machine). */
int32_t ElementCode(VMArray* array) {
  VMClass* element = ((VMArrayClass*)array->GetClass())->GetElementClass();
  int32_t code = R::TypeCode(element);
  uint32_t shift = code != 0 ? Shift(Width(code)) : 2;
  return array->GetElementShift() == shift ? code : -2;
}

/* Reads element index into the value buffer by the element's code. */
void ReadElement(VMArray* array, uint32_t index, int32_t code, VMword* value) {
  const void* at = array->FindElement(index, Shift(Width(code)));
  switch (code) {
    case VMTypeBoolean: case VMTypeByte: value[0] = (VMword)(int32_t) * (const int8_t*)at; break;
    case VMTypeChar: value[0] = (VMword) * (const uint16_t*)at; break;
    case VMTypeShort: value[0] = (VMword)(int32_t) * (const int16_t*)at; break;
    case VMTypeLong: case VMTypeDouble: memcpy(value, at, 8); break;
    default: memcpy(value, at, 4); break;
  }
}

void WriteElement(VMArray* array, uint32_t index, int32_t code, const VMword* value) {
  void* at = array->FindElement(index, Shift(Width(code)));
  switch (code) {
    case VMTypeBoolean: case VMTypeByte: *(uint8_t*)at = (uint8_t)value[0]; break;
    case VMTypeChar: case VMTypeShort: *(uint16_t*)at = (uint16_t)value[0]; break;
    case VMTypeLong: case VMTypeDouble: memcpy(at, value, 8); break;
    default: memcpy(at, value, 4); break;
  }
}

/* The element as a box or reference (wanted 0), or widened to the wanted code into the
   buffer; NULL with the buffer filled, or NULL with the exception pending. */
VMObject* ReflectArrayGet(JNIEnv* env, jobject handle, uint32_t index, VMword* value, int32_t wanted) {
  VMArray* array = ReflectArrayCheck(env, handle);
  if (array == NULL) return NULL;
  if (index >= array->GetSize()) {
    Raise(env, VMStatus_ArrayIndexOutOfBoundsException);
    return NULL;
  }
  int32_t code = ElementCode(array);
  if (code == -2) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  if (code == 0) {
    if (wanted != 0) Raise(env, VMStatus_IllegalArgumentException);
    return wanted == 0 ? ((VMrefArray*)array)->Get(index) : NULL;
  }
  ReadElement(array, index, code, value);
  if (wanted == 0) return R::Wrap(env, code, value);
  if (!R::Widen(code, wanted, value)) Raise(env, VMStatus_IllegalArgumentException);
  return NULL;
}

/* Stores the buffer's value (wanted 0: the object in word 0) into the element. */
void ReflectArraySet(JNIEnv* env, jobject handle, uint32_t index, VMword* value, int32_t wanted) {
  VMArray* array = ReflectArrayCheck(env, handle);
  if (array == NULL) return;
  if (index >= array->GetSize()) {
    Raise(env, VMStatus_ArrayIndexOutOfBoundsException);
    return;
  }
  int32_t code = ElementCode(array);
  if (code == -2) {
    Raise(env, VMStatus_IllegalArgumentException);
    return;
  }
  if (code == 0) {
    // No ArrayStoreException: a value of the wrong class is an illegal argument here.
    VMObject* object = (VMObject*)value[0];
    VMClass* element = ((VMArrayClass*)array->GetClass())->GetElementClass();
    // An element class not loaded yet knows no interface bit and no superclass.
    if (object != NULL && element != NULL && element->GetIsLoadable() && ((VMLoadableClass*)element)->Load() != 0)
      element = NULL;
    if (wanted != 0 || element == NULL || !VMClass::InstanceOf(object, element)) {
      Raise(env, VMStatus_IllegalArgumentException);
      return;
    }
    ((VMrefArray*)array)->Set(index, object);
    return;
  }
  int32_t from = wanted != 0 ? wanted : (int32_t)R::UnWrap((VMObject*)value[0], value);
  if (from == 0 || !R::Widen(from, code, value)) {
    Raise(env, VMStatus_IllegalArgumentException);
    return;
  }
  WriteElement(array, index, code, value);
}

/* ---- the natives ---- */

jint JNICALL GetLength(JNIEnv* env, jclass, jobject array) {
  VMArray* a = ReflectArrayCheck(env, array);
  return a != NULL ? (jint)a->GetSize() : 0;
}

jobject JNICALL Get(JNIEnv* env, jclass, jobject array, jint index) {
  VMword v[2] = {0, 0};
  VMObject* result = ReflectArrayGet(env, array, (uint32_t)index, v, 0);
  return env->thread->GetException() == NULL ? VMJniHandle::NewLocal(env, result) : NULL;
}

/* A typed getter: the buffer narrowed to its type, 0 after an exception. */
#define PUX_ARRAY_GETTER(Name, JType, code, expr)                                 \
  JType JNICALL Name(JNIEnv* env, jclass, jobject array, jint index) {             \
    VMword v[2] = {0, 0};                                                          \
    (void)ReflectArrayGet(env, array, (uint32_t)index, v, code);                   \
    if (env->thread->GetException() != NULL) return (JType)0;                      \
    return expr;                                                                   \
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

PUX_ARRAY_GETTER(GetBoolean, jboolean, VMTypeBoolean, (jboolean)(v[0] & 0xFF))
PUX_ARRAY_GETTER(GetByte, jbyte, VMTypeByte, (jbyte)v[0])
PUX_ARRAY_GETTER(GetChar, jchar, VMTypeChar, (jchar)v[0])
PUX_ARRAY_GETTER(GetShort, jshort, VMTypeShort, (jshort)v[0])
PUX_ARRAY_GETTER(GetInt, jint, VMTypeInt, (jint)v[0])
PUX_ARRAY_GETTER(GetLong, jlong, VMTypeLong, AsLong(v))
PUX_ARRAY_GETTER(GetFloat, jfloat, VMTypeFloat, AsFloat(v))
PUX_ARRAY_GETTER(GetDouble, jdouble, VMTypeDouble, AsDouble(v))
#undef PUX_ARRAY_GETTER

void JNICALL Set(JNIEnv* env, jclass, jobject array, jint index, jobject value) {
  VMword v[2] = {(VMword)VMJniHandle::UnHandle(env, value), 0};
  ReflectArraySet(env, array, (uint32_t)index, v, 0);
}

/* The typed setters widen their argument to a whole word (boolean and char zero-extended,
   byte and short sign-extended) before it is converted. */
void JNICALL SetBoolean(JNIEnv* env, jclass, jobject array, jint index, jboolean z) {
  VMword v[2] = {(VMword)(uint8_t)z, 0};
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeBoolean);
}
void JNICALL SetByte(JNIEnv* env, jclass, jobject array, jint index, jbyte b) {
  VMword v[2] = {(VMword)(int32_t)b, 0};
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeByte);
}
void JNICALL SetChar(JNIEnv* env, jclass, jobject array, jint index, jchar c) {
  VMword v[2] = {(VMword)(uint16_t)c, 0};
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeChar);
}
void JNICALL SetShort(JNIEnv* env, jclass, jobject array, jint index, jshort s) {
  VMword v[2] = {(VMword)(int32_t)s, 0};
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeShort);
}
void JNICALL SetInt(JNIEnv* env, jclass, jobject array, jint index, jint i) {
  VMword v[2] = {(VMword)i, 0};
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeInt);
}
void JNICALL SetLong(JNIEnv* env, jclass, jobject array, jint index, jlong j) {
  VMword v[2] = {(VMword)(uint64_t)j, (VMword)((uint64_t)j >> 32)};
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeLong);
}
void JNICALL SetFloat(JNIEnv* env, jclass, jobject array, jint index, jfloat f) {
  VMword v[2] = {0, 0};
  memcpy(v, &f, 4);
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeFloat);
}
void JNICALL SetDouble(JNIEnv* env, jclass, jobject array, jint index, jdouble d) {
  VMword v[2];
  memcpy(v, &d, 8);
  ReflectArraySet(env, array, (uint32_t)index, v, VMTypeDouble);
}

/* ---- new arrays ---- */

/* Array levels of a class ("[[I" has two). */
uint32_t Dimensions(VMClass* cls) {
  uint32_t n = 0;
  while (cls != NULL && cls->GetIsArray()) {
    n++;
    cls = ((VMArrayClass*)cls)->GetElementClass();
  }
  return n;
}

/* The class of component with levels more array levels; NULL with the exception
   pending: IllegalArgumentException for void or beyond the machine's 255 dimensions,
   OutOfMemoryError when the class cannot be made. */
VMArrayClass* ArrayClassOf(JNIEnv* env, VMClass* component, uint32_t levels) {
  if (component->GetIsPrimitive() && ((VMPrimitiveClass*)component)->GetType() == VMTypeVoid) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  if (Dimensions(component) + levels > VMMethod::MAX_ARRAY_DIMENSIONS) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  VMClass* cls = component;
  for (uint32_t i = 0; i < levels && cls != NULL; i++) cls = cls->MakeArrayOf();
  if (cls == NULL) {
    if (env->thread->GetException() == NULL) Raise(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  return (VMArrayClass*)cls;
}

jobject JNICALL NewArray(JNIEnv* env, jclass, jclass componentType, jint length) {
  VMClass* component = VMJniUnHandleClass(env, componentType);
  if (component == NULL) {
    Raise(env, VMStatus_NullPointerException);
    return NULL;
  }
  if (length < 0) {
    Raise(env, VMStatus_NegativeArraySizeException);
    return NULL;
  }
  VMArrayClass* cls = ArrayClassOf(env, component, 1);
  if (cls == NULL) return NULL;
  VMword dimension = (VMword)length;
  VMObject* array = VMByteCodeFrame::MultiCreateArray(env->thread, cls, &dimension, 1, jallocCollectAndRetry);
  if (array == NULL) {
    Raise(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  return VMJniHandle::NewLocal(env, array);
}

jobject JNICALL MultiNewArray(JNIEnv* env, jclass, jclass componentType, jintArray dimensionsHandle) {
  VMClass* component = VMJniUnHandleClass(env, componentType);
  VMObject* dimensions = VMJniHandle::UnHandle(env, dimensionsHandle);
  if (component == NULL || dimensions == NULL) {
    Raise(env, VMStatus_NullPointerException);
    return NULL;
  }
  VMArrayClassList* lists = env->javaVM->nameSpace->GetArrayClassList();
  if (!dimensions->GetHasClass() || dimensions->GetClass() != (VMClass*)lists->GetVMintArrayClass()) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  const uint32_t n = ((VMArray*)dimensions)->GetSize();
  if (n == 0 || n > VMMethod::MAX_ARRAY_DIMENSIONS) {
    Raise(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  // The counts are copied first: the array is Java's, and no count may change between
  // the checks and the creation.
  VMword counts[VMMethod::MAX_ARRAY_DIMENSIONS];
  for (uint32_t i = 0; i < n; i++) {
    counts[i] = ((VMintArray*)dimensions)->Get(i);
    if ((int32_t)counts[i] < 0) {
      Raise(env, VMStatus_NegativeArraySizeException);
      return NULL;
    }
  }
  VMArrayClass* cls = ArrayClassOf(env, component, n);
  if (cls == NULL) return NULL;
  VMObject* array = VMByteCodeFrame::MultiCreateArray(env->thread, cls, counts, (int)n, jallocCollectAndRetry);
  if (array == NULL) {
    Raise(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  return VMJniHandle::NewLocal(env, array);
}

const JNINativeMethod kArray[] = {
    PUX_NATIVE("getLength", "(Ljava/lang/Object;)I", GetLength),
    PUX_NATIVE("get", "(Ljava/lang/Object;I)Ljava/lang/Object;", Get),
    PUX_NATIVE("getBoolean", "(Ljava/lang/Object;I)Z", GetBoolean),
    PUX_NATIVE("getByte", "(Ljava/lang/Object;I)B", GetByte),
    PUX_NATIVE("getChar", "(Ljava/lang/Object;I)C", GetChar),
    PUX_NATIVE("getShort", "(Ljava/lang/Object;I)S", GetShort),
    PUX_NATIVE("getInt", "(Ljava/lang/Object;I)I", GetInt),
    PUX_NATIVE("getLong", "(Ljava/lang/Object;I)J", GetLong),
    PUX_NATIVE("getFloat", "(Ljava/lang/Object;I)F", GetFloat),
    PUX_NATIVE("getDouble", "(Ljava/lang/Object;I)D", GetDouble),
    PUX_NATIVE("set", "(Ljava/lang/Object;ILjava/lang/Object;)V", Set),
    PUX_NATIVE("setBoolean", "(Ljava/lang/Object;IZ)V", SetBoolean),
    PUX_NATIVE("setByte", "(Ljava/lang/Object;IB)V", SetByte),
    PUX_NATIVE("setChar", "(Ljava/lang/Object;IC)V", SetChar),
    PUX_NATIVE("setShort", "(Ljava/lang/Object;IS)V", SetShort),
    PUX_NATIVE("setInt", "(Ljava/lang/Object;II)V", SetInt),
    PUX_NATIVE("setLong", "(Ljava/lang/Object;IJ)V", SetLong),
    PUX_NATIVE("setFloat", "(Ljava/lang/Object;IF)V", SetFloat),
    PUX_NATIVE("setDouble", "(Ljava/lang/Object;ID)V", SetDouble),
    PUX_NATIVE("newArray", "(Ljava/lang/Class;I)Ljava/lang/Object;", NewArray),
    PUX_NATIVE("multiNewArray", "(Ljava/lang/Class;[I)Ljava/lang/Object;", MultiNewArray),
};

}  // namespace

void Register_java_lang_reflect_Array(void) {
  JNI_RegisterNative("java/lang/reflect/Array", kArray, PUX_ROWS(kArray));
}
