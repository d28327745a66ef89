/* Compiled code: methods bound to host code run when called from bytecode and from the
   native interface, call bytecode and natives in turn, throw, catch in their own handler
   records, nest with interpreted frames, and keep objects in their frames' reference
   tables through collections. */
#include "gc_support.h"

#include <string.h>

#include "machine_move.h"
#include "vmframe.h"
#include "vmjni.h"

namespace gc_test {
namespace {

class CompiledTest : public GcTest {
 protected:
  void SetUp() override {
    GcTest::SetUp();
    ASSERT_TRUE(BindCompiledCode(world)) << "gc/Compiled's compiled code was not bound";
  }
  Outcome Call(const char* name, const char* sig, std::initializer_list<VMword> args = {}) {
    return world.Call("gc/Compiled", name, sig, args);
  }
};

TEST_F(CompiledTest, CallsFromTheNativeInterfaceAndFromBytecodeReachTheCompiledCode) {
  EXPECT_EQ(7, Run("Compiled", "add", "(II)I", {3, 4}));
  EXPECT_EQ(-70, Run("Compiled", "callAdd", "(II)I", {(VMword)-3, (VMword)-4}));
  Outcome joined = Call("join", "(II)J", {0x12345678u, 0x9ABCDEF0u});
  EXPECT_EQ((int64_t)0x123456789ABCDEF0ll, joined.Long());
  EXPECT_EQ((int64_t)0x0000000200000000ll, Call("callJoin", "(II)J", {1, 0xFFFFFFFFu}).Long());
  // An instance method: the receiver arrives as the first word.
  EXPECT_EQ(21, Run("Compiled", "callScaled", "(I)I", {7}));
}

TEST_F(CompiledTest, CompiledCodeCallsBytecodeAndNativeMethods) {
  EXPECT_EQ(2 * 11 + 3 * 11, Run("Compiled", "viaJava", "(I)I", {11}));
  // The frames alternate: a compiled call per interpreted one, 150 of each.
  EXPECT_EQ(300, Run("Compiled", "bounce", "(IZ)I", {300, 0}));
}

TEST_F(CompiledTest, ThrowsLeaveCompiledCodeForTheNearestHandler) {
  // Thrown by compiled code, caught by the bytecode that called it.
  EXPECT_EQ((int)strlen("from compiled code") + 5, Run("Compiled", "catchRaise", "(I)I", {5}));
  // Out of a compiled method called through the native interface: pending for the host.
  Outcome raised = Call("raise", "(I)I", {5});
  EXPECT_EQ("java.lang.ArithmeticException", raised.thrown);
  EXPECT_EQ("from compiled code", raised.message);
  // Thrown by bytecode under compiled code: the compiled frame's own record takes it.
  EXPECT_EQ(1009, Run("Compiled", "catchInCompiled", "(I)I", {9}));
  EXPECT_EQ(0, Run("Compiled", "catchInCompiled", "(I)I", {0}));
  // A record for another class lets it through to the bytecode caller.
  EXPECT_EQ(7, Run("Compiled", "callCatchOther", "(I)I", {9}));
  Outcome passed = Call("catchOther", "(I)I", {9});
  EXPECT_EQ("java.lang.ArithmeticException", passed.thrown);
  // From the bottom of alternating frames, through every one of them.
  EXPECT_EQ(-200, Run("Compiled", "catchBounce", "(I)I", {200}));
  // And everything runs on afterwards, many times over.
  for (int round = 1; round <= 200; round++) {
    ASSERT_EQ(1000 + round, Run("Compiled", "catchInCompiled", "(I)I", {(VMword)round})) << round;
    ASSERT_EQ(-3, Run("Compiled", "catchBounce", "(I)I", {3})) << round;
  }
}

TEST_F(CompiledTest, AReferenceInACompiledFrameSurvivesCollections) {
  const uint32_t before = world.vm->GetCollections();
  // 2000 ints: the array's elements lie in pieces, each one a block of its own.
  EXPECT_EQ(1999 * 2000 / 2, Run("Compiled", "hold", "(I)I", {2000}));
  EXPECT_GT(world.vm->GetCollections(), before);
  for (int round = 0; round < 20; round++) ASSERT_EQ(45, Run("Compiled", "hold", "(I)I", {10})) << round;
}

/* The stage of attachedAgainNative's wait: 1 while it waits declared, 2 once the machine
   has moved (or the test gave up on it). */
std::atomic<int> gAgainStage{0};

void WaitForTheMove() {
  gAgainStage = 1;
  for (int i = 0; i < 20000 && gAgainStage.load() != 2; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

/* A compiled method calls a native that attaches its thread again (the new env takes the
   thread's record over) and waits declared while the host moves the machine: the move
   rewrites only the new env's word, and the compiled code's call of the native returns
   to its caller through the record's new copy. Rounds over, each on a thread of its own,
   with the machine running Java afterwards. */
TEST_F(CompiledTest, ANativeThatAttachedItsThreadAgainReturnsToCompiledCodeAfterAMove) {
  gAttachedAgainWait = WaitForTheMove;
  for (int round = 0; round < 6; round++) {
    gAgainStage = 0;
    std::atomic<int> answer{-2};
    std::thread worker([&] {
      JNIEnv* mine = VMJniCreateEnv(world.jvm);
      if (mine == nullptr || VMJniAttachEnv(world.jvm, mine) != 0) {
        gAgainStage = 2;
        return;
      }
      VMMethod* m = world.Method("gc/Compiled", "viaAttachedAgain", "(I)I");
      VMword args[2] = {(VMword)(round + 4), 0};
      VMFrame::ExecuteJava(mine, m, args);
      // The env the thread runs on now: the one its native attached it by.
      JNIEnv* now = world.jvm->vm->AttachedEnvOfCurrentThread();
      answer = now->thread->GetException() == nullptr ? (int)args[0] : -3;
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
    });
    uint32_t moved = 0;
    OutsideAs(world.env, [&] {
      for (int i = 0; i < 20000 && gAgainStage.load() != 1; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (gAgainStage.load() == 1) moved = MoveMachine(world.jvm);
      gAgainStage = 2;
      worker.join();
    });
    world.vm = world.jvm->vm;
    EXPECT_NE(0u, moved) << "round " << round;
    EXPECT_EQ(5 * (round + 4) + 1, answer.load()) << "round " << round;
    // The machine runs on: compiled code, its calls of Java and natives, a collection.
    ASSERT_EQ(2 * 11 + 3 * 11, Run("Compiled", "viaJava", "(I)I", {11})) << round;
    ASSERT_EQ(45, Run("Compiled", "hold", "(I)I", {10})) << round;
  }
  gAttachedAgainWait = nullptr;
}

}  // namespace
}  // namespace gc_test
