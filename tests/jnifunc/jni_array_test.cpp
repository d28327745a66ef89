/* Arrays at the native interface: every primitive type through regions and element
   copies on arrays larger than an object's first block, release modes, bounds that must
   not wrap, sizes, object arrays and the element type they keep. */
#include <string.h>

#include <vector>

#include "jnifunc_support.h"
#include "vmarray.h"

namespace jnifunc_test {
namespace {

using ArrayTest = JniTest;

/* Each type's five functions over an array whose data runs past the first 776 bytes:
   a region round trip, an element copy with every release mode. */
#define PUX_ARRAY_ROUND_TRIP(Name, T, count, expr)                                                \
  {                                                                                              \
    std::vector<T> in(count), out(count + 1);                                                    \
    for (jsize k = 0; k < (count); k++) in[k] = (T)(expr);                                       \
    T##Array a = f->New##Name##Array(env, count);                                                \
    ASSERT_NE(nullptr, a) << #Name;                                                              \
    EXPECT_EQ((count), f->GetArrayLength(env, a));                                               \
    f->Set##Name##ArrayRegion(env, a, 0, count, in.data());                                      \
    out[count] = (T)99;                                                                          \
    f->Get##Name##ArrayRegion(env, a, 0, count, out.data());                                     \
    EXPECT_EQ(0, memcmp(in.data(), out.data(), sizeof(T) * (count))) << #Name;                   \
    EXPECT_EQ((T)99, out[count]) << #Name << ": nothing written past the region";                \
    jboolean isCopy = 0;                                                                         \
    T* elements = f->Get##Name##ArrayElements(env, a, &isCopy);                                  \
    ASSERT_NE(nullptr, elements) << #Name;                                                       \
    EXPECT_EQ(1, isCopy);                                                                        \
    EXPECT_EQ(0, memcmp(in.data(), elements, sizeof(T) * (count))) << #Name;                     \
    elements[(count) - 1] = (T)1;                                                                \
    f->Release##Name##ArrayElements(env, a, elements, JNI_COMMIT); /* copied back, kept */       \
    elements[0] = (T)1;                                                                          \
    f->Release##Name##ArrayElements(env, a, elements, JNI_ABORT); /* freed, not copied */        \
    f->Get##Name##ArrayRegion(env, a, 0, count, out.data());                                     \
    EXPECT_EQ((T)1, out[(count) - 1]) << #Name;                                                  \
    EXPECT_EQ(in[0], out[0]) << #Name;                                                           \
    elements = f->Get##Name##ArrayElements(env, a, NULL);                                        \
    ASSERT_NE(nullptr, elements);                                                                \
    elements[1] = (T)2;                                                                          \
    f->Release##Name##ArrayElements(env, a, elements, 17); /* any other mode acts as 0 */        \
    f->Get##Name##ArrayRegion(env, a, 1, 1, out.data());                                         \
    EXPECT_EQ((T)2, out[0]) << #Name;                                                            \
    EXPECT_EQ("", Thrown()) << #Name;                                                            \
  }

TEST_F(ArrayTest, EveryTypeRoundTripsPastTheFirstBlock) {
  uint32_t blocks = refhost::BlocksInUse(nullptr);
  PUX_ARRAY_ROUND_TRIP(Boolean, jboolean, 1000, k & 1)
  PUX_ARRAY_ROUND_TRIP(Byte, jbyte, 1000, k * 7)
  PUX_ARRAY_ROUND_TRIP(Char, jchar, 700, k * 97 + 0x8000)
  PUX_ARRAY_ROUND_TRIP(Short, jshort, 700, -k * 31)
  PUX_ARRAY_ROUND_TRIP(Int, jint, 400, (uint32_t)k * 0x01010101u)
  PUX_ARRAY_ROUND_TRIP(Long, jlong, 300, (uint64_t)k * 0x0102030405060708ULL)
  PUX_ARRAY_ROUND_TRIP(Float, jfloat, 400, k * 0.5f - 7)
  PUX_ARRAY_ROUND_TRIP(Double, jdouble, 300, k * 1e300 / 7)
  // Every element copy was given back.
  EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr));
}

/* Data byte d of an array lies at body word (d + 8) / 4: a long whose data starts at
   byte 776 lies whole in the first piece. */
TEST_F(ArrayTest, ElementsBeyondTheFirstBlockAreWhereTheBodySaysAndWhole) {
  jlongArray a = f->NewLongArray(env, 300);
  jlong v = (jlong)0xF1E2D3C4B5A69788ULL;
  f->SetLongArrayRegion(env, a, 97, 1, &v);  // data byte 776
  VMArray* array = (VMArray*)Obj(a);
  EXPECT_EQ(0xB5A69788u, array->VMObject::GetWord((776 + 8) / 4));
  EXPECT_EQ(0xF1E2D3C4u, array->VMObject::GetWord((776 + 8) / 4 + 1));
  jlong back = 0;
  f->GetLongArrayRegion(env, a, 97, 1, &back);
  EXPECT_EQ(v, back);
  jbyteArray b = f->NewByteArray(env, 1000);
  jbyte bytes[3] = {1, 2, 3};
  f->SetByteArrayRegion(env, b, 775, 3, bytes);
  EXPECT_EQ(1, *(jbyte*)((VMArray*)Obj(b))->FindElement(775u, 0u));
  EXPECT_EQ(0x0302u, ((VMArray*)Obj(b))->VMObject::GetWord((776 + 8) / 4) & 0xFFFF);
  // Java sees what was written.
  jintArray ints = f->NewIntArray(env, 300);
  std::vector<jint> ones(300, 1);
  f->SetIntArrayRegion(env, ints, 0, 300, ones.data());
  EXPECT_EQ(300, f->CallStaticIntMethod(env, NULL, StaticMethod("jnifunc/Values", "sum", "([I)I"), ints));
}

TEST_F(ArrayTest, RegionsAreBoundedWithoutWrapping) {
  jintArray a = f->NewIntArray(env, 10);
  jint buf[16];
  for (jint& v : buf) v = 0x77777777;
  f->GetIntArrayRegion(env, a, 0, 10, buf);
  EXPECT_EQ(0, buf[9]);
  EXPECT_EQ(0x77777777, buf[10]);
  // A length of 0 accepts any start.
  f->GetIntArrayRegion(env, a, 50, 0, buf);
  f->SetIntArrayRegion(env, a, -5, 0, buf);
  EXPECT_EQ("", Thrown());
  // start 5, length -4: 5 + 0xFFFFFFFC - 1 wraps to 0, which would pass a test written
  // as a sum and copy four thousand million elements.
  const jsize bad[][2] = {{5, -4}, {1, 10}, {-1, 1}, {10, 1}, {0, 11}, {9, 0x7FFFFFFF}, {0x7FFFFFFF, 2}};
  for (const auto& r : bad) {
    for (jint& v : buf) v = 0x77777777;
    f->GetIntArrayRegion(env, a, r[0], r[1], buf);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown()) << r[0] << "," << r[1];
    EXPECT_EQ(0x77777777, buf[0]);
    f->SetIntArrayRegion(env, a, r[0], r[1], buf);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown()) << r[0] << "," << r[1];
  }
  f->GetIntArrayRegion(env, a, 0, 10, buf);
  EXPECT_EQ(0, buf[0]);
  f->GetIntArrayRegion(env, a, 0, 3, NULL);
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
}

TEST_F(ArrayTest, SizesAndElementCopiesOfEmptyArrays) {
  uint64_t before = refhost::AllocationCount();
  jintArray empty = f->NewIntArray(env, 0);
  ASSERT_NE(nullptr, empty);
  before = refhost::AllocationCount();
  jboolean isCopy = 7;
  EXPECT_EQ(nullptr, f->GetIntArrayElements(env, empty, &isCopy));
  EXPECT_EQ(7, isCopy);
  EXPECT_EQ(before, refhost::AllocationCount());
  f->ReleaseIntArrayElements(env, empty, NULL, 0);
  EXPECT_EQ("", Thrown());
  // Negative sizes, and sizes whose bytes exceed the limit or do not fit in 32 bits.
  EXPECT_EQ(nullptr, f->NewIntArray(env, -1));
  EXPECT_EQ("java.lang.NegativeArraySizeException", Thrown());
  EXPECT_EQ(nullptr, f->NewByteArray(env, 0x7FFF0001));
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_EQ(nullptr, f->NewIntArray(env, 1 << 30));
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_EQ(nullptr, f->NewObjectArray(env, 0x20000000, Cls("java/lang/Object"), NULL));
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_EQ(nullptr, f->NewObjectArray(env, -3, Cls("java/lang/Object"), NULL));
  EXPECT_EQ("java.lang.NegativeArraySizeException", Thrown());
  // The machine's heap refuses: OutOfMemoryError, after the one collection.
  refhost::SetFailureScope(true, world.vm->GetHeap(), -1);
  refhost::FailNextAllocations(100);
  EXPECT_EQ(nullptr, f->NewDoubleArray(env, 4));
  refhost::ResetHooks();
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  // The host refuses an element copy.
  jintArray a = f->NewIntArray(env, 4);
  refhost::SetFailureScope(true, nullptr, jallocFailFast);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, f->GetIntArrayElements(env, a, &isCopy));
  refhost::ResetHooks();
  EXPECT_EQ(7, isCopy);
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
}

TEST_F(ArrayTest, CriticalAccessCoversTheFirstBlockOnly) {
  jbyteArray small = f->NewByteArray(env, 776);
  jbyteArray large = f->NewByteArray(env, 777);
  jboolean isCopy = 7;
  jbyte* p = (jbyte*)f->GetPrimitiveArrayCritical(env, small, &isCopy);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0, isCopy);
  p[775] = 42;
  f->ReleasePrimitiveArrayCritical(env, small, p, 0);
  jbyte last = 0;
  f->GetByteArrayRegion(env, small, 775, 1, &last);
  EXPECT_EQ(42, last);
  isCopy = 7;
  EXPECT_EQ(nullptr, f->GetPrimitiveArrayCritical(env, large, &isCopy));
  EXPECT_EQ(0, isCopy);
  EXPECT_EQ("", Thrown());
  EXPECT_EQ(nullptr, f->GetPrimitiveArrayCritical(env, f->NewObjectArray(env, 2, Cls("java/lang/Object"), NULL), NULL));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
}

TEST_F(ArrayTest, ObjectArraysKeepTheirElementType) {
  jclass stringClass = Cls("java/lang/String");
  jstring init = f->NewStringUTF(env, "same");
  jobjectArray a = f->NewObjectArray(env, 3, stringClass, init);
  ASSERT_NE(nullptr, a);
  for (jsize i = 0; i < 3; i++) EXPECT_TRUE(f->IsSameObject(env, init, f->GetObjectArrayElement(env, a, i)));
  EXPECT_TRUE(f->IsInstanceOf(env, a, f->GetObjectClass(env, a)));
  jobjectArray nulls = f->NewObjectArray(env, 2, stringClass, NULL);
  jint before = Locals();
  EXPECT_EQ(nullptr, f->GetObjectArrayElement(env, nulls, 1));
  EXPECT_EQ(before, Locals());
  // Java reads the array as a String[].
  f->SetObjectArrayElement(env, nulls, 0, f->NewStringUTF(env, "four"));
  EXPECT_EQ(104, f->CallStaticIntMethod(env, NULL, StaticMethod("jnifunc/Values", "joinedLength", "([Ljava/lang/String;)I"), nulls));

  // Indexes at the count and below 0.
  EXPECT_EQ(nullptr, f->GetObjectArrayElement(env, a, 3));
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown());
  EXPECT_EQ(nullptr, f->GetObjectArrayElement(env, a, -1));
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown());
  f->SetObjectArrayElement(env, a, 3, init);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown());
  // What aastore refuses: an element of another class. Null is fine.
  jobject notString = New("jnifunc/Values");
  f->SetObjectArrayElement(env, a, 0, notString);
  EXPECT_EQ("java.lang.ArrayStoreException", Thrown());
  EXPECT_TRUE(f->IsSameObject(env, init, f->GetObjectArrayElement(env, a, 0)));
  f->SetObjectArrayElement(env, a, 0, NULL);
  EXPECT_EQ(nullptr, f->GetObjectArrayElement(env, a, 0));
  EXPECT_EQ(nullptr, f->NewObjectArray(env, 2, stringClass, notString));
  EXPECT_EQ("java.lang.ArrayStoreException", Thrown());
  // Subclasses and interfaces are fine as elements of their supertypes.
  jobjectArray objects = f->NewObjectArray(env, 1, Cls("java/lang/Object"), a);
  EXPECT_NE(nullptr, objects);
  jobjectArray is = f->NewObjectArray(env, 1, Cls("jnifunc/I"), New("jnifunc/Impl"));
  EXPECT_NE(nullptr, is);
  EXPECT_EQ("", Thrown());

  // No element class, a primitive one, or something else than a class.
  EXPECT_EQ(nullptr, f->NewObjectArray(env, 1, NULL, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  jclass intClass = VMJniHandle::NewLocal(env, (VMObject*)world.ns->GetClassList()->GetVMintClass());
  EXPECT_EQ(nullptr, f->NewObjectArray(env, 1, intClass, NULL));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  // An array of arrays.
  jobjectArray nested = f->NewObjectArray(env, 2, f->GetObjectClass(env, f->NewIntArray(env, 1)), NULL);
  ASSERT_NE(nullptr, nested);
  f->SetObjectArrayElement(env, nested, 1, f->NewIntArray(env, 5));
  f->SetObjectArrayElement(env, nested, 0, f->NewLongArray(env, 5));
  EXPECT_EQ("java.lang.ArrayStoreException", Thrown());
}

/* The element functions check the kind and element size of what they are given: a
   byte array taken for an int array would be read and written four times past its end. */
TEST_F(ArrayTest, ArgumentsOfTheWrongKindAreRefused) {
  jbyteArray bytes = f->NewByteArray(env, 4);
  jint ints[4] = {1, 2, 3, 4};
  f->SetIntArrayRegion(env, bytes, 0, 4, ints);
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  EXPECT_EQ(nullptr, f->GetIntArrayElements(env, bytes, NULL));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  jint* block = (jint*)refhost::Functions()->HeapAlloc(nullptr, 16, jallocFailFast);
  memcpy(block, ints, 16);
  f->ReleaseIntArrayElements(env, bytes, block, 0);  // freed, nothing copied
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  jbyte readBack[4];
  f->GetByteArrayRegion(env, bytes, 0, 4, readBack);
  EXPECT_EQ(0, readBack[0]);
  EXPECT_EQ("", Thrown());
  // Not an array, and null.
  jobject notArray = New("jnifunc/Values");
  EXPECT_EQ(0, f->GetArrayLength(env, notArray));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  EXPECT_EQ(0, f->GetArrayLength(env, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  f->GetByteArrayRegion(env, notArray, 0, 1, readBack);
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  // Object elements of a primitive array, primitive regions of an object array.
  EXPECT_EQ(nullptr, f->GetObjectArrayElement(env, bytes, 0));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  jobjectArray objects = f->NewObjectArray(env, 4, Cls("java/lang/Object"), NULL);
  f->SetIntArrayRegion(env, objects, 0, 4, ints);
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  EXPECT_EQ(nullptr, f->GetObjectArrayElement(env, objects, 0));
  EXPECT_EQ("", Thrown());
  // An int array and a float array share their element size: memory-safe both ways.
  jfloatArray floats = f->NewFloatArray(env, 4);
  f->SetIntArrayRegion(env, floats, 0, 1, ints);
  EXPECT_EQ("", Thrown());
}

}  // namespace
}  // namespace jnifunc_test
