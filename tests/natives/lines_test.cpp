/* The line look-up of stack traces and the debugger over crafted line tables: a method's
   table is swapped for one made here, so every shape a class file may carry is met. */
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "natives_support.h"
#include "vmdebugger.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

class LinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m.Create());
    cls = m.Class("lines/Traces");
    ASSERT_NE(nullptr, cls);
    method = cls->FindMethod(VMLiteral::CreateInstance(m.ns, "make", 0xFFFFFFFFu),
                             VMLiteral::CreateInstance(m.ns, "()Ljava/lang/Throwable;", 0xFFFFFFFFu), false);
    ASSERT_NE(nullptr, method);
    VMStatus status = 0;
    original = method->GetLineNumbers(&status);
    ASSERT_EQ(0, status);
    ASSERT_NE(nullptr, original);
    tables = cls->GetLineNumberArray();
    VMMethodArray* methods = cls->GetMethods();
    for (uint32_t i = 0; i < methods->GetSize(); i++)
      if (methods->Get(i) == method) slot = i;
  }
  void TearDown() override {
    if (tables != nullptr) tables->Set(slot, original);
    for (VMshortArray* a : made) a->Destroy(m.vm->GetHeap());
    m.Destroy();
  }
  /* Puts a table of (start, line) entries in the method's place. */
  void Table(std::initializer_list<int> entries) {
    VMshortArray* a = VMshortArray::CreateInstance(m.vm->GetHeap(), (uint32_t)entries.size(), jallocFailFast,
                                                   VMTag_VMLineNumberArray);
    ASSERT_NE(nullptr, a);
    uint32_t i = 0;
    for (int e : entries) a->Set(i++, (jshort)e);
    made.push_back(a);
    tables->Set(slot, a);
  }
  uint32_t Line(uint32_t pc) { return VMDebugger::FindLineNumber(method, pc); }

  Machine m;
  VMLoadableClass* cls = nullptr;
  VMMethod* method = nullptr;
  VMshortArray* original = nullptr;
  VMshortArrayArray* tables = nullptr;
  uint32_t slot = 0;
  std::vector<VMshortArray*> made;
};

TEST_F(LinesTest, TheClassFilesOwnTableGivesTheSourceLine) {
  EXPECT_EQ(7u, Line(0));
  EXPECT_EQ(7u, Line(1000));
  EXPECT_EQ(0u, VMDebugger::FindLineNumber(nullptr, 0));
}

TEST_F(LinesTest, EmptyOddAndOneWordTablesGiveNoLine) {
  Table({});
  EXPECT_EQ(0u, Line(0));
  Table({0});
  EXPECT_EQ(0u, Line(0));
  // A lone start without its line is never read past the table's end.
  Table({0, 5, 3});
  EXPECT_EQ(5u, Line(4));
}

TEST_F(LinesTest, GreatestStartAtOrBeforeThePcWinsInAnyOrder) {
  Table({10, 30, 0, 20, 5, 25});
  EXPECT_EQ(20u, Line(0));
  EXPECT_EQ(20u, Line(4));
  EXPECT_EQ(25u, Line(5));
  EXPECT_EQ(25u, Line(9));
  EXPECT_EQ(30u, Line(10));
  EXPECT_EQ(30u, Line(0xFFFFFFFFu));
  // Nothing starts at or before the pc.
  Table({4, 9});
  EXPECT_EQ(0u, Line(3));
  EXPECT_EQ(9u, Line(4));
}

TEST_F(LinesTest, OfEqualStartsTheFirstWins) {
  Table({0, 1, 8, 40, 8, 41, 8, 42});
  EXPECT_EQ(40u, Line(8));
  EXPECT_EQ(1u, Line(7));
}

TEST_F(LinesTest, StartsAndLinesAreUnsignedSixteenBitValues) {
  // 0x8000 is a start of 32768, not a negative one that would precede every pc.
  Table({0, 3, 0x8000, 4, 0xFFFF, 65535});
  EXPECT_EQ(3u, Line(0x7FFF));
  EXPECT_EQ(4u, Line(0x8000));
  EXPECT_EQ(65535u, Line(0xFFFF));
  EXPECT_EQ(65535u, Line(0x10000));
}

}  // namespace
