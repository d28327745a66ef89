/* Arrays at the native interface: creation, object elements, and for each of the eight
   primitive types whole copies (Get/Release<Type>ArrayElements), region copies and
   direct access to a small array's storage.

   Each function checks that its reference names a Java array of the kind it reads and
   writes (scalar or reference, and the element size): a byte array taken for an int
   array would be read and written four times past its end, and an object taken for an
   array would have its first word read as a count. Regions and indexes are compared as
   unsigned numbers without a sum that could wrap. */
#include <string.h>

#include "vmarray.h"
#include "vmjni_functions.h"
#include "vmjni_support.h"
#include "vmutils.h"

using namespace vmjni;

namespace {

/* The eight primitive array types: element shift and the array class of the name space. */
enum ElementType { kBoolean, kByte, kChar, kShort, kInt, kLong, kFloat, kDouble };

const uint32_t kShift[] = {0, 0, 1, 1, 2, 3, 2, 3};

VMArrayClass* ArrayClassOf(VMNameSpace* ns, ElementType type) {
  VMArrayClassList* list = ns->GetArrayClassList();
  switch (type) {
    case kBoolean: return list->GetVMbooleanArrayClass();
    case kByte: return list->GetVMbyteArrayClass();
    case kChar: return list->GetVMcharArrayClass();
    case kShort: return list->GetVMshortArrayClass();
    case kInt: return list->GetVMintArrayClass();
    case kLong: return list->GetVMlongArrayClass();
    case kFloat: return list->GetVMfloatArrayClass();
    default: return list->GetVMdoubleArrayClass();
  }
}

/* Any Java array; NULL with NullPointerException or IllegalArgumentException pending. */
VMArray* AnyArray(JNIEnv* env, jarray handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  VMClass* cls = object->GetClass();
  if (cls == NULL || !cls->GetIsArray() || (!object->GetIsScalarArray() && !object->GetIsRefArray())) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  return (VMArray*)object;
}

/* A primitive array whose elements have the given shift. */
VMArray* ScalarArray(JNIEnv* env, jarray handle, uint32_t shift) {
  VMArray* array = AnyArray(env, handle);
  if (array == NULL) return NULL;
  if (!array->GetIsScalarArray() || array->GetElementShift() != shift) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  return array;
}

/* An array of references with its element class; NULL with the exception pending. */
VMArray* ObjectArray(JNIEnv* env, jobjectArray handle, VMClass** element) {
  VMArray* array = AnyArray(env, handle);
  if (array == NULL) return NULL;
  VMArrayClass* cls = array->GetArrayClass();
  *element = cls->GetElementClass();
  if (!array->GetIsRefArray() || *element == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  return array;
}

/* Elements start .. start + length - 1 of an array of count elements. */
bool RegionFits(jsize start, jsize length, uint32_t count) {
  return (uint32_t)start < count && (uint32_t)length <= count - (uint32_t)start;
}

/* Copies n elements between the array (from element first) and a buffer, run by run:
   the first 776 data bytes lie in the array's block, the rest in pieces, and no element
   straddles two of them. */
void CopyElements(VMArray* array, uint32_t first, uint32_t n, void* buffer, bool intoArray) {
  uint32_t shift = array->GetElementShift();
  uint8_t* bytes = (uint8_t*)buffer;
  while (n > 0) {
    uint32_t run = 0;
    uint8_t* at = (uint8_t*)array->FindElement(first, &run);
    if (run == 0) break;
    if (run > n) run = n;
    uint32_t size = run << shift;
    if (intoArray)
      memcpy(at, bytes, size);
    else
      memcpy(bytes, at, size);
    bytes += size;
    first += run;
    n -= run;
  }
}

jarray NewScalarArray(JNIEnv* env, jsize length, ElementType type) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  if (length < 0) {
    (void)VMJniThrowInternal(env, VMStatus_NegativeArraySizeException, NULL);
    return NULL;
  }
  VMArrayClass* cls = ArrayClassOf(vm->GetNameSpace(), type);
  if (cls == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NoClassDefFoundError, NULL);
    return NULL;
  }
  // Refuses data beyond 0x7FFF0000 bytes, the byte size computed without wrapping.
  VMArray* array = VMArray::CreateInstance(vm->GetHeap(), (uint32_t)length, 1u << kShift[type],
                                           jallocCollectAndRetry, VMTag_VMUserArrayInstance);
  if (array == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  array->SetIsScalarArray();
  array->SetClass((VMClass*)cls);
  return VMJniHandle::NewLocal(env, array);
}

void* GetElements(JNIEnv* env, jarray handle, jboolean* isCopy, ElementType type) {
  VMArray* array = ScalarArray(env, handle, kShift[type]);
  if (array == NULL) return NULL;
  uint32_t count = array->GetSize();
  if (count == 0) return NULL;
  void* block = VMUtils::GetHostFunctions()->HeapAlloc(NULL, count << kShift[type], jallocFailFast);
  if (block == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  CopyElements(array, 0, count, block, false);
  if (isCopy != NULL) *isCopy = JNI_TRUE;
  return block;
}

/* Mode 0 copies back and frees, 1 (commit) copies back and keeps, 2 (abort) frees only;
   any other mode acts as 0. The block is freed by its mode even when the array is bad. */
void ReleaseElements(JNIEnv* env, jarray handle, void* elements, jint mode, uint32_t shift) {
  if (elements == NULL) return;
  if (mode != JNI_ABORT) {
    VMArray* array = ScalarArray(env, handle, shift);
    if (array != NULL) CopyElements(array, 0, array->GetSize(), elements, true);
  }
  if (mode != JNI_COMMIT) VMUtils::GetHostFunctions()->HeapFree(NULL, elements);
}

void Region(JNIEnv* env, jarray handle, jsize start, jsize length, void* buffer, ElementType type,
            bool intoArray) {
  VMArray* array = ScalarArray(env, handle, kShift[type]);
  if (array == NULL || length == 0) return;
  if (!RegionFits(start, length, array->GetSize())) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return;
  }
  if (buffer == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  CopyElements(array, (uint32_t)start, (uint32_t)length, buffer, intoArray);
}

}  // namespace

namespace VMJniEnv {

jsize GetArrayLength(JNIEnv* env, jarray handle) {
  VMArray* array = AnyArray(env, handle);
  return array != NULL ? (jsize)array->GetSize() : 0;
}

jobjectArray NewObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initialElement) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  if (length < 0) {
    (void)VMJniThrowInternal(env, VMStatus_NegativeArraySizeException, NULL);
    return NULL;
  }
  VMClass* element = UnHandleClass(env, elementClass);
  if (element == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  // An int[] class word over reference elements would have Java store ints the
  // collector then follows as pointers.
  if (element->GetIsPrimitive()) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  VMObject* init = VMJniHandle::UnHandle(env, initialElement);
  if (!VMClass::InstanceOf(init, element)) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayStoreException, NULL);
    return NULL;
  }
  // The array class first: making it may allocate, and the new array, known only to
  // this frame, must meet no allocation before its local reference roots it.
  VMArrayClass* cls = element->MakeArrayOf();
  if (cls == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMObjectArray* array = (uint32_t)length <= VMrefArray::MAX_COUNT
                             ? VMObjectArray::CreateInstance(vm->GetHeap(), (uint32_t)length, jallocCollectAndRetry,
                                                             VMTag_VMUserArrayInstance)
                             : NULL;
  if (array == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  array->SetClass((VMClass*)cls);
  // The initial element is read again: the array's allocation may have collected, and
  // the element is kept only by its handle.
  init = VMJniHandle::UnHandle(env, initialElement);
  if (init != NULL) {
    for (uint32_t i = 0; i < (uint32_t)length; i++) array->Set(i, init);
  }
  return VMJniHandle::NewLocal(env, array);
}

jobject GetObjectArrayElement(JNIEnv* env, jobjectArray handle, jsize index) {
  VMClass* element;
  VMArray* array = ObjectArray(env, handle, &element);
  if (array == NULL) return NULL;
  if ((uint32_t)index >= array->GetSize()) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return NULL;
  }
  return VMJniHandle::NewLocal(env, ((VMrefArray*)array)->Get((uint32_t)index));
}

void SetObjectArrayElement(JNIEnv* env, jobjectArray handle, jsize index, jobject value) {
  VMClass* element;
  VMArray* array = ObjectArray(env, handle, &element);
  if (array == NULL) return;
  if ((uint32_t)index >= array->GetSize()) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return;
  }
  // What aastore checks: Java code trusts every element to be of the element class.
  VMObject* object = VMJniHandle::UnHandle(env, value);
  if (!VMClass::InstanceOf(object, element)) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayStoreException, NULL);
    return;
  }
  ((VMrefArray*)array)->Set((uint32_t)index, object);
}

void* GetPrimitiveArrayCritical(JNIEnv* env, jarray handle, jboolean* isCopy) {
  if (isCopy != NULL) *isCopy = JNI_FALSE;
  VMArray* array = AnyArray(env, handle);
  if (array == NULL) return NULL;
  if (!array->GetIsScalarArray()) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  // Only data that lies whole in the array's own block can be handed out in place.
  uint64_t bytes = (uint64_t)array->GetSize() << array->GetElementShift();
  if (bytes > VMArray::FIRST_PART_BYTES) return NULL;
  return array->GetFirstElementPointer();
}

void ReleasePrimitiveArrayCritical(JNIEnv*, jarray, void*, jint) {}

#define PUX_JNI_SCALAR_FAMILY(Name, T, type)                                                          \
  T##Array New##Name##Array(JNIEnv* env, jsize length) { return NewScalarArray(env, length, type); } \
  T* Get##Name##ArrayElements(JNIEnv* env, T##Array array, jboolean* isCopy) {                        \
    return (T*)GetElements(env, array, isCopy, type);                                                \
  }                                                                                                   \
  void Release##Name##ArrayElements(JNIEnv* env, T##Array array, T* elements, jint mode) {            \
    ReleaseElements(env, array, elements, mode, kShift[type]);                                        \
  }                                                                                                   \
  void Get##Name##ArrayRegion(JNIEnv* env, T##Array array, jsize start, jsize length, T* buffer) {    \
    Region(env, array, start, length, buffer, type, false);                                           \
  }                                                                                                   \
  void Set##Name##ArrayRegion(JNIEnv* env, T##Array array, jsize start, jsize length, const T* buffer) { \
    Region(env, array, start, length, (void*)buffer, type, true);                                     \
  }
PUX_JNI_SCALAR_FAMILY(Boolean, jboolean, kBoolean)
PUX_JNI_SCALAR_FAMILY(Byte, jbyte, kByte)
PUX_JNI_SCALAR_FAMILY(Char, jchar, kChar)
PUX_JNI_SCALAR_FAMILY(Short, jshort, kShort)
PUX_JNI_SCALAR_FAMILY(Int, jint, kInt)
PUX_JNI_SCALAR_FAMILY(Long, jlong, kLong)
PUX_JNI_SCALAR_FAMILY(Float, jfloat, kFloat)
PUX_JNI_SCALAR_FAMILY(Double, jdouble, kDouble)
#undef PUX_JNI_SCALAR_FAMILY

}  // namespace VMJniEnv
