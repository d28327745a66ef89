/* Which method a call runs and whether it can run: interface call sites across method
   tables, methods that replace two inherited ones, classes compiled separately (super
   calls, access, interface methods a class lacks), frames larger than a frame group, and
   natives with more argument words than a 32-bit mask. */
#include <gtest/gtest.h>
#include <string.h>

#include "interp_natives.h"
#include "interp_support.h"
#include "vmarray.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"

namespace interp_test {
namespace {

class InterpDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Create(ClassDir("interp"))); }
  void TearDown() override { world.Destroy(); }
  Outcome Case(const char* cls, int n) { return world.Call(cls, "i", "(I)I", {(VMword)n}); }
  int IntCase(const char* cls, int n) {
    Outcome o = Case(cls, n);
    EXPECT_EQ("", o.thrown) << cls << " case " << n << " " << o.message;
    return o.Int();
  }
  VMMethod* Declared(const char* cls, const char* name, const char* sig) {
    VMLoadableClass* c = world.Class(cls);
    if (c == nullptr || c->Prepare(nullptr) != 0) return nullptr;
    return c->FindMethod(VMLiteral::CreateInstance(world.ns, name, 0xFFFFFFFFu),
                         VMLiteral::CreateInstance(world.ns, sig, 0xFFFFFFFFu), false);
  }
  World world;
};

TEST_F(InterpDispatchTest, AnInterfaceCallSiteServesReceiversWhoseTablesDiffer) {
  // interp.other.DispB.m is public and a new method (DispA.m, package-private, lies in
  // another package); DispE.m replaces DispA.m. One call site meets both: the slot it
  // remembers holds, for the other receiver, a package-private method of that name.
  const char* D = "interp/Dispatch";
  EXPECT_EQ(2, IntCase(D, 20));
  EXPECT_EQ(5, IntCase(D, 21));
  EXPECT_EQ(252, IntCase(D, 11));
  EXPECT_EQ(525, IntCase(D, 12));
  EXPECT_EQ(43, IntCase(D, 19));
  // Four receivers round and round through one call site.
  int want = 0;
  for (int k = 0; k < 12; k++) want = want * 3 + (k % 4) + 2;
  EXPECT_EQ(want, IntCase(D, 18));
}

TEST_F(InterpDispatchTest, AMethodReplacingTwoInheritedMethodsTakesBothSlots) {
  // DispD (package interp) replaces DispC.m (public, from interp.other) and DispA.m
  // (package-private, its own package): both slots of its table are DispD.m.
  VMMethod* a = Declared("interp/DispA", "m", "()I");
  VMMethod* b = Declared("interp/other/DispB", "m", "()I");
  VMMethod* d = Declared("interp/DispD", "m", "()I");
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  ASSERT_NE(nullptr, d);
  ASSERT_NE(a->GetIndex(), b->GetIndex()) << "a public method of another package replaced a package-private one";
  VMMethodArray* table = world.Class("interp/DispD")->VMLoadableOrArrayClass::GetMethodTable();
  EXPECT_EQ(d, table->Get((uint32_t)a->GetIndex()));
  EXPECT_EQ(d, table->Get((uint32_t)b->GetIndex()));
  // DispC's table keeps DispA.m where DispC.m could not replace it.
  VMMethodArray* cTable = world.Class("interp/other/DispC")->VMLoadableOrArrayClass::GetMethodTable();
  EXPECT_EQ(a, cTable->Get((uint32_t)a->GetIndex()));
  const char* D = "interp/Dispatch";
  EXPECT_EQ(4, IntCase(D, 6));   // ((DispB) new DispD()).m()
  EXPECT_EQ(44, IntCase(D, 15));
  EXPECT_EQ(1, IntCase(D, 3));   // DispC.callM runs DispA.m
  EXPECT_EQ(4, IntCase(D, 5));
}

TEST_F(InterpDispatchTest, ClassesCompiledSeparatelyLinkAsTheirNewestVersionsSay) {
  // The earlier classes alone first.
  EXPECT_EQ(11, IntCase("interp/Later", 0));
  EXPECT_EQ(5, IntCase("interp/Later", 1));
  EXPECT_EQ(6, IntCase("interp/Later", 2));
  EXPECT_EQ(1, IntCase("interp/Later", 3));
  world.Destroy();
  ASSERT_TRUE(world.Create(ClassDir("interp_later") + ":" + ClassDir("interp")));
  // LaterLeaf's super call names LaterBase.m; LaterMid, its superclass, has an m now.
  EXPECT_EQ(12, IntCase("interp/Later", 0));
  // Linking to a member made private is an error of linkage, never the checked
  // exception of reflection.
  Outcome o = Case("interp/Later", 1);
  EXPECT_EQ("java.lang.IllegalAccessError", o.thrown);
  EXPECT_EQ("java.lang.IllegalAccessError", Case("interp/Later", 2).thrown);
  // LaterImpl implements LaterFace but not the method LaterFace gained.
  EXPECT_EQ("java.lang.AbstractMethodError", Case("interp/Later", 3).thrown);
  // Members gone, members of the other kind, a class made abstract; and all of them
  // caught in Java by their classes.
  EXPECT_EQ("java.lang.NoSuchMethodError", Case("interp/Later", 4).thrown);
  EXPECT_EQ("java.lang.NoSuchFieldError", Case("interp/Later", 5).thrown);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Case("interp/Later", 6).thrown);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Case("interp/Later", 7).thrown);
  EXPECT_EQ("java.lang.InstantiationError", Case("interp/Later", 8).thrown);
  EXPECT_EQ(211112, IntCase("interp/Later", 9));
}

/* many(p) of BigFrame: the sum of k % 7 over its 2,699 steps, plus the last digit of the
   middle local. */
int Many(int p) {
  int total = 0, middle = p;
  for (int k = 1; k < 2700; k++) {
    total += k % 7;
    if (k <= 1350) middle += k % 7;
  }
  return total + middle % 10;
}

TEST_F(InterpDispatchTest, FramesLargerThanAFrameGroupRun) {
  const char* B = "interp/BigFrame";
  VMMethod* many = world.Method(B, "many", "(I)I");
  ASSERT_NE(nullptr, many);
  EXPECT_GT(many->GetLocalBytes() + many->GetStackBytes(), 10240u);
  EXPECT_EQ(Many(1), IntCase(B, 0));
  int down = 0;
  for (int n = 200; n > 0; n--) down += Many(3 + n) % 1000;
  EXPECT_EQ(down, IntCase(B, 1));
  // Smaller groups left behind by a deeper recursion make way for one that fits.
  EXPECT_EQ(300 + Many(2), IntCase(B, 2));
  uint32_t blocks = refhost::BlocksInUse(world.vm->GetHeap());
  EXPECT_EQ(300 + Many(2), IntCase(B, 2));
  EXPECT_EQ(blocks, refhost::BlocksInUse(world.vm->GetHeap())) << "the same calls again take new groups";
  int mixed = 1000;
  for (int n = 5; n > 0; n--) mixed += Many(1 + n) % 1000;
  for (int n = 3; n > 0; n--) mixed += Many(4 + n) % 1000;
  EXPECT_EQ(mixed, IntCase(B, 3));
  // Straight from native code, on a thread's first frame.
  Outcome o = world.Call(many, {5});
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(Many(5), o.Int());
}

}  // namespace
}  // namespace interp_test

/* The natives of interp/WideNatives: every reference argument must arrive as a local
   reference, wherever in the argument words it lies. */
#define WIDE_INTS(X)                                                                                    \
  X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11) X(12) X(13) X(14) X(15) X(16) X(17) \
  X(18) X(19) X(20) X(21) X(22) X(23) X(24) X(25) X(26) X(27) X(28) X(29) X(30)
#define WIDE_PARAM(n) jint a##n,
#define WIDE_SUM(n) +a##n

extern "C" JNIEXPORT jint JNICALL Java_interp_WideNatives_sum(JNIEnv* env, jclass, WIDE_INTS(WIDE_PARAM) jint a31,
                                                             jstring s, jlong l, jobject o) {
  VMJavaLangString* text = (VMJavaLangString*)VMJniHandle::UnHandle(env, (jobject)s);
  VMArray* array = (VMArray*)VMJniHandle::UnHandle(env, o);
  if (text == nullptr || array == nullptr) return -1;
  return 0 WIDE_INTS(WIDE_SUM) + a31 + (jint)text->GetCount() + (jint)(l >> 32) + (jint)l + (jint)array->GetSize();
}

extern "C" JNIEXPORT jobject JNICALL Java_interp_WideNatives_pick(JNIEnv* env, jobject self, WIDE_INTS(WIDE_PARAM)
                                                                  jobject first, jobject second, jint which) {
  VMObject* me = VMJniHandle::UnHandle(env, self);
  if (me == nullptr || me->GetWord(0) != 1000) return nullptr;
  if (0 WIDE_INTS(WIDE_SUM) != 465) return nullptr;  // 0 + 1 + ... + 30
  return which != 0 ? second : first;
}

namespace interp_test {
namespace {

TEST_F(InterpDispatchTest, NativesWithMoreArgumentWordsThanAMaskHolds) {
  // 36 words (a String at word 32, an Object at word 35) and 34 words with the receiver
  // and an Object result: such a class loads, and its natives get and give references.
  EXPECT_EQ((509) * 100 + 5, world.Call("interp/WideNatives", "run", "(I)I", {0}).Int());
  Outcome o = world.Call("interp/WideNatives", "run", "(I)I", {1});
  EXPECT_EQ("", o.thrown) << o.message;
  EXPECT_EQ((510) * 100 + 7, o.Int());
  EXPECT_EQ(1u, world.env->thread->GetJNIHandleArray()->GetCount()) << "local references released";
}

}  // namespace
}  // namespace interp_test

namespace interp_test {
namespace {

TEST_F(InterpDispatchTest, RecursionThroughNativesEndsInStackOverflowErrorAndTheMachineGoesOn) {
  nativesWorld = &world;
  ASSERT_EQ(0, RegisterTestNatives());
  EXPECT_EQ(200, world.Call("interp/Natives", "back", "(I)I", {200}).Int());
  for (int round = 0; round < 3; round++) {
    EXPECT_EQ(-1, world.Call("interp/Natives", "backCaught", "(I)I", {100000}).Int());
    Outcome o = world.Call("interp/Natives", "back", "(I)I", {100000});
    EXPECT_EQ("java.lang.StackOverflowError", o.thrown);
    EXPECT_EQ(0, o.Int());
  }
  // Every frame and local reference of the unwound calls is gone again.
  EXPECT_EQ(1u, world.env->thread->GetJNIHandleArray()->GetCount());
  EXPECT_TRUE(world.env->thread->GetFrame()->GetIsFirstFrame());
  EXPECT_EQ(300, world.Call("interp/Natives", "back", "(I)I", {300}).Int());
  nativesWorld = nullptr;
}

}  // namespace
}  // namespace interp_test
