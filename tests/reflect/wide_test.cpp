/* The public lists of a hierarchy whose interfaces are reached along many paths
   (reflect.wide: 260 superinterfaces beside a chain of ten diamonds): each interface is
   walked once, from one thread or several at once, and a walk that runs out of memory
   says so instead of answering a shorter list. */
#include <gtest/gtest.h>

#include "natives_support.h"
#include "refhost.h"
#include "vmjvm.h"

using natives_test::Machine;

namespace {

class WideTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create(1, "reflect")); }
  void TearDown() override {
    refhost::ResetHooks();
    m.Destroy();
  }
  std::string Lists(const char* names) {
    return m.CallText("reflect/wide/Lists", "of", "(Ljava/lang/String;)Ljava/lang/String;", {(VMword)m.String(names)});
  }
  Machine m;
};

TEST_F(WideTest, EachInterfaceIsListedOnceHoweverManyPathsReachIt) {
  // T10 reaches D0 along 1024 paths, past 261 interfaces of W; U10 along as many without
  // them; the class C10 through both; its methods are Object's nine and d0.
  EXPECT_EQ(
      "T10: d0 / FD\n"
      "U10: d0 / FD\n"
      "W:  / \n"
      "D0: d0 / FD\n"
      "C10: 10 methods / FD\n",
      Lists("T10 U10 W D0 C10"));
  // Looked up by name through the same lists.
  EXPECT_EQ("T10: d0 / FD\n", Lists("T10"));
}

TEST_F(WideTest, ThreadsListingTheSameInterfacesAtOnceEachGetTheWholeList) {
  EXPECT_EQ(0, m.Call("reflect/wide/Lists", "race", "(II)I", {4, 400}).Int());
}

/* The reached set grows in process memory past its first sixteen classes: refused there,
   the list is OutOfMemoryError (never the part walked so far), nothing stays allocated,
   and the next list is whole. */
TEST_F(WideTest, AWalkThatRunsOutOfMemoryFailsWithOutOfMemoryError) {
  VMLoadableClass* t10 = m.Class("reflect/wide/T10");
  VMLoadableClass* c10 = m.Class("reflect/wide/C10");
  ASSERT_TRUE(t10 != nullptr && c10 != nullptr);
  jclass classes[] = {m.Local((VMObject*)t10), m.Local((VMObject*)c10)};
  for (jclass cls : classes) {
    ASSERT_NE(nullptr, JVM_GetClassMethods(m.env, cls, 0));
    ASSERT_NE(nullptr, JVM_GetClassFields(m.env, cls, 0));
  }
  ASSERT_EQ("", m.TakeException());
  for (uint32_t limit : {100u, 600u, 1500u}) {
    const uint32_t blocks = refhost::BlocksInUse(nullptr);
    refhost::SetFailureScope(true, nullptr, -1);
    refhost::FailAllocationsAbove(limit);
    EXPECT_EQ(nullptr, JVM_GetClassMethods(m.env, classes[0], 0)) << limit;
    EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException()) << limit;
    for (jclass cls : classes) {
      EXPECT_EQ(nullptr, JVM_GetClassFields(m.env, cls, 0)) << limit;
      EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException()) << limit;
    }
    refhost::FailAllocationsAbove(0);
    EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << limit;
  }
  refhost::ResetHooks();
  EXPECT_EQ("T10: d0 / FD\nC10: 10 methods / FD\n", Lists("T10 C10"));
}

}  // namespace
