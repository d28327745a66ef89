/* The machine's throwables: the frame trace they record (in both dispatch loops), the
   pre-made OutOfMemoryError standing in when no throwable can be had, and none at all
   before a machine has its own. */
#include <gtest/gtest.h>
#include <string.h>

#include "interp_support.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"

namespace interp_test {
namespace {

class InterpThrowableTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Create(ClassDir("interp"))); }
  void TearDown() override { world.Destroy(); }
  uint8_t CodeByte(VMMethod* m, uint32_t at) { return *(uint8_t*)m->GetCode()->FindElement(at, 0u); }
  World world;
};

TEST_F(InterpThrowableTest, AMachineExceptionRecordsEveryFrameInnermostFirst) {
  for (VMword slow : {0u, 1u}) {
    Outcome o = world.Call("interp/Traces", "a", "(I)I", {slow});
    ASSERT_EQ("java.lang.NullPointerException", o.thrown);
    VMTracebackArray* trace = o.exception->GetTraceback();
    ASSERT_NE(nullptr, trace);
    // c (or cSlow), b, a, each once: the frame native code entered a through is no call
    // of its own, and the thread's first frame is not recorded.
    ASSERT_EQ(3u, trace->GetSize()) << "slow " << slow;
    VMMethod* c = world.Method("interp/Traces", slow ? "cSlow" : "c", "()I");
    VMMethod* b = world.Method("interp/Traces", "b", "(I)I");
    VMMethod* a = world.Method("interp/Traces", "a", "(I)I");
    EXPECT_EQ(slow == 0, c->GetIsContiguousCode());
    VMMethod* expected[] = {c, b, a};
    for (uint32_t i = 0; i < 3; i++) EXPECT_EQ(expected[i], trace->Get(i)->GetMethod()) << "frame " << i;
    // Each bytecode frame's pc lies inside the instruction it stopped at (its last byte),
    // so that its line is that instruction's: the field access that met null, and the
    // calls in its callers.
    uint32_t pc = trace->Get(0)->GetPC();
    ASSERT_GE(pc, 2u);
    uint8_t op = CodeByte(c, pc - 2);
    EXPECT_TRUE(op == OP_getfield || op == OP_getfield_quick) << "opcode " << (int)op << " at pc " << pc - 2;
    EXPECT_EQ(OP_invokestatic, CodeByte(b, trace->Get(1)->GetPC() - 2));
    EXPECT_EQ(OP_invokestatic, CodeByte(a, trace->Get(2)->GetPC() - 2));
  }
}

TEST_F(InterpThrowableTest, WithoutMemoryThePreMadeOutOfMemoryErrorStandsIn) {
  VMLoadableClass* cce = world.Class("java/lang/ClassCastException");
  ASSERT_NE(nullptr, cce);
  ASSERT_EQ(0, cce->Prepare(nullptr));
  VMJavaLangThrowable* oom = world.vm->GetOutOfMemoryError();
  ASSERT_NE(nullptr, oom);
  VMLoadableClass* oomClass = oom->GetLoadableClass();
  // The allocation on the machine's heap and its one retry after a collection are
  // refused.
  refhost::SetFailureScope(true, world.vm->GetHeap(), -1);
  refhost::FailNextAllocations(2);
  VMJavaLangThrowable* t = VMJavaLangThrowable::CreateInstance(world.env, cce);
  EXPECT_EQ(oom, t);
  EXPECT_EQ(oomClass, oom->GetLoadableClass()) << "the stand-in keeps its own class";
  EXPECT_NE(nullptr, oom->GetTraceback()) << "its trace is recorded again";
  // With memory a wrapper holds its cause; one that cannot be made is the stand-in,
  // whose words are left alone.
  VMJavaLangThrowable* cause = VMJavaLangThrowable::CreateInstance(world.env, cce);
  ASSERT_NE(nullptr, cause);
  ASSERT_NE(oom, cause);
  // Held across the allocations below by this test alone, which may collect.
  cause->SetIsReachableByCPlusPlusCode();
  VMJavaLangThrowable* wrapper = VMJavaLangExceptionInInitializerError::CreateInstance(world.env, cause);
  ASSERT_NE(nullptr, wrapper);
  ASSERT_NE(oom, wrapper);
  EXPECT_EQ((VMword)cause, wrapper->GetWord(2));
  refhost::FailNextAllocations(2);
  wrapper = VMJavaLangExceptionInInitializerError::CreateInstance(world.env, cause);
  EXPECT_EQ(oom, wrapper);
  EXPECT_EQ(oomClass, oom->GetLoadableClass());
  refhost::SetFailureScope(false, nullptr, -1);
  // Which throwables are errors.
  VMLoadableClass* soe = world.Class("java/lang/StackOverflowError");
  ASSERT_EQ(0, soe->Prepare(nullptr));
  EXPECT_TRUE(VMJavaLangError::IsError(world.env, VMJavaLangThrowable::CreateInstance(world.env, soe)));
  EXPECT_FALSE(VMJavaLangError::IsError(world.env, cause));
  EXPECT_TRUE(VMJavaLangError::IsError(world.env, oom));
}

TEST_F(InterpThrowableTest, BeforeAMachineHasItsOwnErrorNothingStandsIn) {
  // A machine just made has no pre-made error yet (its start-up makes it).
  JavaVM* jvm = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = world.ns;
  VM* vm = VM::CreateInstance(1024, jvm);
  ASSERT_NE(nullptr, vm);
  jvm->vm = vm;
  JNIEnv* env = VMJniCreateEnv(jvm);
  ASSERT_EQ(0, VMJniAttachEnv(jvm, env));
  VMLoadableClass* cce = world.Class("java/lang/ClassCastException");
  ASSERT_EQ(0, cce->Prepare(nullptr));
  refhost::SetFailureScope(true, vm->GetHeap(), -1);
  refhost::FailNextAllocations(2);
  EXPECT_EQ(nullptr, VMJavaLangThrowable::CreateInstance(env, cce));
  refhost::SetFailureScope(false, nullptr, -1);
  // The first one then is the machine's own error.
  VMJavaLangThrowable* made = VMJavaLangOutOfMemoryError::CreateInstance(env);
  ASSERT_NE(nullptr, made);
  EXPECT_TRUE(VMJavaLangError::IsError(env, made));
  VMJniDetachEnv(jvm);
  vm->Destroy();
  VMJniCallDestroyKeys(jvm);
  refhost::Functions()->HeapFree(nullptr, jvm);
  refhost::Functions()->SetCurrentEnv(world.env);
}

}  // namespace
}  // namespace interp_test
