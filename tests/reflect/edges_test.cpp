/* Edges of the builders and the array natives: types of a class of another loader, an
   exception class that cannot be had, the dimension limit, void, refused arrays. */
#include <stdio.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "vmjavalangreflectfield.h"
#include "vmjvm.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

std::string NameOf(VMClass* cls) {
  if (cls == nullptr) return "<null>";
  char* text = cls->GetDotNameUTF8();
  std::string s = text;
  VMLiteral::FreeUTF8(text);
  return s;
}

/* A method of a class of a host loader returns, and takes, classes of that loader: they
   are looked up there, not in the system loader (which has none of them). */
TEST(EdgeTest, TypesOfAnotherLoadersClassComeFromThatLoader) {
  Machine m;
  ASSERT_TRUE(m.Create(1, "reflect"));
  refhost::SetClassPath((void*)7, natives_test::ClassDir("reflect_loader"));
  jclass maker = m.env->functions->FindClassInLoaderId(m.env, "loaderpkg/Maker", (void*)7);
  ASSERT_NE(nullptr, maker);
  VMClass* cls = VMJniUnHandleClass(m.env, maker);
  VMJavaLangReflectMethodArray* methods = VMClassReflectInfo::GetMethods(m.env, cls, 1);
  ASSERT_NE(nullptr, methods) << m.TakeException();
  std::string text;
  for (uint32_t i = 0; i < methods->GetSize(); i++) {
    VMJavaLangReflectMethod* w = methods->Get(i);
    VMClassArray* types = w->GetParameterTypes(1);
    text += m.Text((VMObject*)w->GetName(1)) + " " + NameOf(w->GetReturnType(1)) + "(";
    for (uint32_t k = 0; k < types->GetSize(); k++) text += NameOf(types->Get(k));
    text += ") ";
    VMClass* ret = w->GetReturnType(1);
    if (!ret->GetIsPrimitive()) {
      VMClass* element = ret->GetIsArray() ? ((VMArrayClass*)ret)->GetElementClass() : ret;
      EXPECT_EQ(cls->GetClassLoader(), element->GetClassLoader());
      EXPECT_NE(m.ns->GetSystemClassLoader(), element->GetClassLoader());
    }
  }
  EXPECT_EQ("make loaderpkg.Made() take int(loaderpkg.Made) many [Lloaderpkg.Made;() ", text);
  // And a call through the Method makes an object of that loader's class.
  jobject instance = m.env->functions->AllocObject(m.env, maker);
  jobject make = m.Local(methods->Get(0));
  jobject made = JVM_InvokeMethod(m.env, make, instance, nullptr);
  ASSERT_NE(nullptr, made) << m.TakeException();
  EXPECT_EQ(methods->Get(0)->GetReturnType(1), VMJniHandle::UnHandle(m.env, made)->GetClass());
  m.Destroy();
}

/* An exception class of a method's Exceptions list that cannot be had fails the list
   (NoClassDefFoundError), never leaves a null among the types. */
TEST(EdgeTest, AnExceptionClassThatCannotBeHadFailsTheList) {
  // Thrower's class file alone, without that of the exception it declares.
  std::string dir = classfile_test::TempDir("reflectthrower");
  mkdir((dir + "/reflect").c_str(), 0777);
  ASSERT_TRUE(classfile_test::WriteFileBytes(
      dir + "/reflect/Thrower.class",
      classfile_test::ReadFileBytes(natives_test::ClassDir("reflect") + "/reflect/Thrower.class")));
  Machine m;
  ASSERT_TRUE(m.Create(1));
  refhost::SetClassPath(nullptr, dir + ":" + PUX_BUILD_DIR + "/classlib.zip");
  VMLoadableClass* thrower = m.Class("reflect/Thrower");
  ASSERT_NE(nullptr, thrower);
  EXPECT_EQ(nullptr, VMClassReflectInfo::GetMethods(m.env, (VMClass*)thrower, 1));
  EXPECT_EQ("java.lang.NoClassDefFoundError", m.TakeException());
  // The constructor and fine() declare nothing: the constructors' list is whole.
  VMJavaLangReflectConstructorArray* constructors = VMClassReflectInfo::GetConstructors(m.env, (VMClass*)thrower, 1);
  ASSERT_NE(nullptr, constructors);
  EXPECT_EQ(1u, constructors->GetSize());
  m.Destroy();
  classfile_test::RemoveTree(dir);
}

class ArrayEdgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    multi = (Multi)m.Native("java/lang/reflect/Array", "multiNewArray", "(Ljava/lang/Class;[I)Ljava/lang/Object;");
    single = (Single)m.Native("java/lang/reflect/Array", "newArray", "(Ljava/lang/Class;I)Ljava/lang/Object;");
    ASSERT_TRUE(multi && single);
  }
  void TearDown() override { m.Destroy(); }
  jobject Dims(uint32_t n, jint each) {
    jintArray a = m.env->functions->NewIntArray(m.env, (jsize)n);
    for (uint32_t i = 0; i < n; i++) m.env->functions->SetIntArrayRegion(m.env, a, (jsize)i, 1, &each);
    return a;
  }
  typedef jobject(JNICALL* Multi)(JNIEnv*, jclass, jclass, jintArray);
  typedef jobject(JNICALL* Single)(JNIEnv*, jclass, jclass, jint);
  Multi multi = nullptr;
  Single single = nullptr;
  Machine m;
};

/* At most 255 dimensions in all, all of them asked for at once if need be. */
TEST_F(ArrayEdgeTest, TheDimensionLimit) {
  jclass intClass = m.Local((VMObject*)m.ns->GetClassList()->GetVMintClass());
  jobject a254 = multi(m.env, nullptr, intClass, (jintArray)Dims(254, 1));
  ASSERT_NE(nullptr, a254) << m.TakeException();
  EXPECT_EQ(254u, std::string(NameOf(VMJniHandle::UnHandle(m.env, a254)->GetClass())).find('I'));
  jobject a255 = multi(m.env, nullptr, intClass, (jintArray)Dims(255, 1));
  ASSERT_NE(nullptr, a255) << m.TakeException();
  EXPECT_EQ(255u, std::string(NameOf(VMJniHandle::UnHandle(m.env, a255)->GetClass())).find('I'));
  EXPECT_EQ(nullptr, multi(m.env, nullptr, intClass, (jintArray)Dims(256, 1)));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  // A component of one dimension and 254 more: 255 in all, the most there may be.
  jclass intArray = m.Local((VMObject*)m.ns->GetArrayClassList()->GetVMintArrayClass());
  EXPECT_NE(nullptr, multi(m.env, nullptr, intArray, (jintArray)Dims(254, 0)));
  EXPECT_EQ("", m.TakeException());
  jclass twoDims = m.Local((VMObject*)m.ns->GetArrayClassList()->GetVMintArrayClass()->MakeArrayOf());
  EXPECT_EQ(nullptr, multi(m.env, nullptr, twoDims, (jintArray)Dims(254, 0)));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  // newArray of a class of 255 dimensions would make a 256th.
  VMClass* deepest = VMJniUnHandleClass(m.env, twoDims);
  for (int i = 2; i < 255 && deepest != nullptr; i++) deepest = deepest->MakeArrayOf();
  ASSERT_NE(nullptr, deepest);
  EXPECT_EQ(nullptr, single(m.env, nullptr, m.Local((VMObject*)deepest), 1));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_NE(nullptr, single(m.env, nullptr, m.Local((VMObject*)((VMArrayClass*)deepest)->GetElementClass()), 1));
  EXPECT_EQ("", m.TakeException());
  // void has no array class at all.
  jclass voidClass = m.Local((VMObject*)m.ns->GetClassList()->GetVMvoidClass());
  EXPECT_EQ(nullptr, single(m.env, nullptr, voidClass, 0));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  // The dimensions array must be an int[].
  EXPECT_EQ(nullptr, multi(m.env, nullptr, intClass, (jintArray)m.Local(m.String("no"))));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
}

/* An array the heap refuses is OutOfMemoryError, as the interpreter's new array is, never
   a null with nothing pending. */
TEST_F(ArrayEdgeTest, RefusedArraysRaiseOutOfMemoryError) {
  jclass intClass = m.Local((VMObject*)m.ns->GetClassList()->GetVMintClass());
  jobject dims = Dims(3, 4);
  (void)single(m.env, nullptr, intClass, 1);
  (void)multi(m.env, nullptr, intClass, (jintArray)dims);
  refhost::FailNextAllocations(100000);
  jobject a = single(m.env, nullptr, intClass, 1000);
  jobject b = multi(m.env, nullptr, intClass, (jintArray)dims);
  refhost::FailNextAllocations(0);
  EXPECT_EQ(nullptr, a);
  EXPECT_EQ(nullptr, b);
  EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException());
}

}  // namespace
