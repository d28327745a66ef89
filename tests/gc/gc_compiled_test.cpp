/* Compiled code: methods bound to host code run when called from bytecode and from the
   native interface, call bytecode and natives in turn, throw, catch in their own handler
   records, nest with interpreted frames, and keep objects in their frames' reference
   tables through collections. */
#include "gc_support.h"

#include <string.h>

#include "vmframe.h"

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

}  // namespace
}  // namespace gc_test
