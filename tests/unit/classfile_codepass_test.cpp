/* The load-time code pass over byte arrays: operand byte order, bounds, switches, wide
   forms, and code that lies in pieces. */
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "core_support.h"
#include "vmframe.h"

namespace {

using core_test::CoreTest;
typedef std::vector<uint8_t> Code;

class CodePassTest : public CoreTest {
 protected:
  VMbyteArray* Make(const Code& bytes) {
    VMbyteArray* a = VMbyteArray::CreateInstance(nsHeap, (uint32_t)bytes.size(), jallocFailFast,
                                                 VMTag_VMCodeArray);
    EXPECT_NE(nullptr, a);
    for (uint32_t i = 0; i < bytes.size(); i++) a->Set(i, (jbyte)bytes[i]);
    arrays.push_back(a);
    return a;
  }
  /* The pass's count, or the status it threw. */
  static VMStatus Run(VMbyteArray* code, unsigned long* count) {
    VMErrorCatcher catcher;
    if (VM_CATCHER_ARM(catcher)) return catcher.Caught();
    *count = VMByteCodeFrame::CountOpcodesAndFlip(code, catcher);
    return 0;
  }
  static Code Read(VMbyteArray* a) {
    Code out(a->GetSize());
    for (uint32_t i = 0; i < out.size(); i++) out[i] = (uint8_t)a->Get(i);
    return out;
  }
  void TearDown() override {
    for (VMbyteArray* a : arrays) a->Destroy(nsHeap);
    CoreTest::TearDown();
  }
  std::vector<VMbyteArray*> arrays;
};

uint16_t Native16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}
int32_t Native32(const uint8_t* p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}

TEST_F(CodePassTest, OperandsComeOutInHostOrder) {
  // sipush 0x1234; goto_w +256; invokeinterface #0x0102 count 2 0; multianewarray #0x0304 dims 5
  VMbyteArray* a = Make({0x11, 0x12, 0x34, 0xC8, 0x00, 0x00, 0x01, 0x00, 0xB9, 0x01, 0x02, 0x02,
                         0x00, 0xC5, 0x03, 0x04, 0x05, 0xB1});
  unsigned long count = 0;
  ASSERT_EQ(0, Run(a, &count));
  EXPECT_EQ(5u, count);
  Code c = Read(a);
  EXPECT_EQ(0x1234, Native16(&c[1]));
  EXPECT_EQ(256, Native32(&c[4]));
  EXPECT_EQ(0x0102, Native16(&c[9]));
  EXPECT_EQ(2, c[11]);
  EXPECT_EQ(0, c[12]);
  EXPECT_EQ(0x0304, Native16(&c[14]));
  EXPECT_EQ(5, c[16]);
  EXPECT_EQ(0xB1, c[17]);
}

TEST_F(CodePassTest, EveryFixedLengthOpcodeTakesItsTableLength) {
  // Each opcode followed by its operand bytes and a return: exactly two instructions.
  // A table length that disagreed with the pass would swallow or split the return.
  for (uint32_t op = 0; op < OP_breakpoint; op++) {
    if (op == OP_tableswitch || op == OP_lookupswitch || op == OP_wide) continue;
    Code bytes(VMOpcodeLength[op], 0);
    bytes[0] = (uint8_t)op;
    bytes.push_back(OP_return);
    unsigned long count = 0;
    ASSERT_EQ(0, Run(Make(bytes), &count)) << "opcode " << op;
    EXPECT_EQ(2u, count) << "opcode " << op;
  }
}

TEST_F(CodePassTest, UnknownOpcodesGiveZeroAndMachineOnesAreRefused) {
  unsigned long count = 1;
  for (uint32_t op = 0xD8; op <= 0xFF; op++) {
    count = 1;
    ASSERT_EQ(0, Run(Make({0x00, (uint8_t)op}), &count));
    EXPECT_EQ(0u, count) << "opcode " << op;
  }
  EXPECT_EQ(0, Run(Make({OP_unused_ba, OP_nop}), &count));
  EXPECT_EQ(2u, count);
  // The breakpoint and the quick forms come only from the machine: from a class file they
  // would run unchecked, so the pass refuses them.
  for (uint32_t op = OP_breakpoint; op <= VMLastOpcode; op++)
    EXPECT_EQ(VMStatus_VerifyError, Run(Make({OP_nop, (uint8_t)op, 0, 1}), &count)) << "opcode " << op;
  count = 1;
  EXPECT_EQ(0, Run(Make({}), &count));
  EXPECT_EQ(0u, count);
}

TEST_F(CodePassTest, OperandsPastTheEndAreVerifyErrors) {
  unsigned long count = 0;
  const Code cut[] = {
      {OP_sipush, 0x12},           {OP_bipush},
      {OP_goto_w, 0, 0, 1},        {OP_invokeinterface, 0, 1, 1},
      {OP_multianewarray, 0, 1},   {OP_iinc, 1},
      {OP_wide},                   {OP_wide, OP_iload, 0},
      {OP_wide, OP_iinc, 0, 1, 0}, {OP_getstatic, 0},
  };
  for (const Code& c : cut) EXPECT_EQ(VMStatus_VerifyError, Run(Make(c), &count)) << (int)c[0];
}

TEST_F(CodePassTest, TableSwitchPaddingAndRange) {
  unsigned long count = 0;
  // At offset 0: three padding bytes, then default 7, low 1, high 1, one offset 9.
  VMbyteArray* a = Make({OP_tableswitch, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 9,
                         OP_return});
  ASSERT_EQ(0, Run(a, &count));
  EXPECT_EQ(2u, count);
  Code c = Read(a);
  EXPECT_EQ(7, Native32(&c[4]));
  EXPECT_EQ(1, Native32(&c[8]));
  EXPECT_EQ(1, Native32(&c[12]));
  EXPECT_EQ(9, Native32(&c[16]));

  // At offset 3: no padding; low -1, high 0: two offsets.
  a = Make({OP_nop, OP_nop, OP_nop, OP_tableswitch, 0, 0, 0, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
            0, 0, 0, 1, 0, 0, 0, 2});
  ASSERT_EQ(0, Run(a, &count));
  EXPECT_EQ(4u, count);
  c = Read(a);
  EXPECT_EQ(-1, Native32(&c[8]));
  EXPECT_EQ(2, Native32(&c[20]));

  // low = high + 1 is refused, and so is a range whose offsets are not all there.
  EXPECT_EQ(VMStatus_VerifyError,
            Run(Make({OP_tableswitch, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1}), &count));
  EXPECT_EQ(VMStatus_VerifyError,
            Run(Make({OP_tableswitch, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF,
                      0, 0, 0, 0}),
                &count));
}

TEST_F(CodePassTest, LookupSwitchPairs) {
  unsigned long count = 0;
  // npairs 0 ends right after the npairs word.
  ASSERT_EQ(0, Run(Make({OP_lookupswitch, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, OP_return}), &count));
  EXPECT_EQ(2u, count);
  // A negative count is refused: later walks would read it as a huge length.
  EXPECT_EQ(VMStatus_VerifyError,
            Run(Make({OP_lookupswitch, 0, 0, 0, 0, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}), &count));
  VMbyteArray* a = Make({OP_lookupswitch, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 1, 0});
  ASSERT_EQ(0, Run(a, &count));
  Code c = Read(a);
  EXPECT_EQ(3, Native32(&c[12]));
  EXPECT_EQ(256, Native32(&c[16]));
  EXPECT_EQ(VMStatus_VerifyError,
            Run(Make({OP_lookupswitch, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 1, 0}),
                &count));
}

TEST_F(CodePassTest, WideForms) {
  unsigned long count = 0;
  VMbyteArray* a = Make({OP_wide, OP_iinc, 0x01, 0x02, 0x80, 0x01, OP_wide, OP_aload, 0x01, 0x00,
                         OP_return});
  ASSERT_EQ(0, Run(a, &count));
  EXPECT_EQ(3u, count);
  Code c = Read(a);
  EXPECT_EQ(0x0102, Native16(&c[2]));
  EXPECT_EQ(0x8001, Native16(&c[4]));
  EXPECT_EQ(0x0100, Native16(&c[8]));
  EXPECT_EQ(VMStatus_ClassFormatError, Run(Make({OP_wide, OP_bipush, 0, 0}), &count));
  EXPECT_EQ(VMStatus_ClassFormatError, Run(Make({OP_wide, OP_wide, 0, 0}), &count));
}

TEST_F(CodePassTest, CodeInPiecesIsFlippedLikeContiguousCode) {
  // 1000 sipush instructions (3000 bytes) cross the inline part and several pieces, and
  // some operands straddle a piece boundary.
  Code bytes;
  for (uint32_t i = 0; i < 1000; i++) {
    bytes.push_back(OP_sipush);
    bytes.push_back((uint8_t)(i >> 8));
    bytes.push_back((uint8_t)i);
  }
  bytes.push_back(OP_goto_w);
  for (uint8_t b : {0x12, 0x34, 0x56, 0x78}) bytes.push_back(b);
  VMbyteArray* a = Make(bytes);
  ASSERT_FALSE(a->GetIsContiguous());
  unsigned long count = 0;
  ASSERT_EQ(0, Run(a, &count));
  EXPECT_EQ(1001u, count);
  Code c = Read(a);
  for (uint32_t i = 0; i < 1000; i++) ASSERT_EQ(i, Native16(&c[3 * i + 1])) << i;
  EXPECT_EQ(0x12345678, Native32(&c[3001]));
}

}  // namespace
