/* The internal JNI test class, called from Java through the interpreter's native calls:
   every argument and result kind bit for bit, the console lines and the test hook; the
   trampoline keeps the stack pointer; the default compiled-code support table. */
#include <math.h>
#include <string.h>

#include <gtest/gtest.h>

#include "natives_support.h"
#include "vmframe.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

class JniTestClassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m.captureFromStart = true;
    ASSERT_TRUE(m.Create(1, "reflect"));
  }
  void TearDown() override { m.Destroy(); }
  Machine m;
};

TEST_F(JniTestClassTest, EveryKindCrossesTheNativeCallIntact) {
  EXPECT_EQ(
      "55\n"
      "-10\n"          // ten times the largest int wraps
      "4b800002\n"     // summed in double, rounded to float once
      "3ff8000000000000\n"
      "3fd3333333333334\n"
      "4341c37937e08000\n"  // (1e16 + 1) + 1 in double: no extended intermediate
      "4046c00000000000\n"
      "100000002\n"
      "ffffffffffffffff\n"
      "100000000\n"
      "6\n"
      "401a000000000000\n"
      "4002000000000000\n"
      "-2.1474836475E9\n"  // the ints wrap before the double is added
      "e\n"
      "404a1cccccd00000\n",
      m.CallText("JniTestDriver", "report", "()Ljava/lang/String;"));
  EXPECT_EQ(
      "f10i: 1 2 3 4 5 6 7 8 9 10\n"
      "f10i: 2147483647 2147483647 2147483647 2147483647 2147483647 2147483647 2147483647 2147483647 2147483647 "
      "2147483647\n"
      "f10f: 0.100000 0.200000 0.300000 0.400000 0.500000 0.600000 0.700000 0.800000 0.900000 16777216.000000\n"
      "f1d: 1.500000\n"
      "f2d: 0.100000 0.200000\n"
      "f3d: 10000000000000000.000000 1.000000 1.000000\n"
      "f10d: 1.000000 2.000000 3.000000 4.000000 5.000000 6.000000 7.000000 8.000000 9.000000 0.500000\n"
      "f1l: 1:2\n"
      "f1l: ffffffff:ffffffff\n"
      "f2l: 0:ffffffff 0:1\n"
      "f3l: 0:1 0:2 0:3\n"
      "fdii: 1.500000 2 3\n"
      "fidi: -7 0.250000 9\n"
      "fiid: 2147483647 1 0.500000\n"
      "f10l: 40000000:0 40000000:0 40000000:0 40000000:0 0:1 0:2 0:3 0:4 0:5 ffffffff:ffffffff\n"
      "f10m: 1 2.500000 3.250000 4 0.100000 6.500000 7 8.750000 9.125000 10\n",
      refhost::CapturedStdout());
  // Every native but f10i calls the test hook once.
  EXPECT_EQ(14u, refhost::TestHookCount());
}

/* A line of ten doubles of 1e300 is over 3000 characters: it is written whole. */
TEST_F(JniTestClassTest, LongLinesAreWrittenWhole) {
  natives_test::Outcome out = m.Call("JniTestDriver", "huge", "()D");
  ASSERT_EQ("", out.thrown);
  double sum;
  memcpy(&sum, out.words, 8);
  EXPECT_EQ(8e300, sum);
  std::string line = refhost::CapturedStdout();
  char one[400];
  snprintf(one, sizeof one, "%f", 1e300);
  std::string expected = "f10d:";
  for (int i = 0; i < 9; i++) expected += std::string(" ") + one;
  expected += std::string(" -") + one + "\n";
  EXPECT_GT(expected.size(), 3000u);
  EXPECT_EQ(expected, line);
}

/* Calls fn with the words pushed as a caller would, and answers how far the stack
   pointer moved over the call (0 when the caller pops, 4 per word when the callee does);
   the result registers go to out[0..1], a floating-point result (fp) to out[2..3]. */
extern "C" uint32_t PuxCallCounting(void* fn, uint32_t words, const uint32_t* args, uint32_t* out, uint32_t fp);
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".type PuxCallCounting, @function\n"
    "PuxCallCounting:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 12(%ebp), %ecx\n"
    "  movl %ecx, %eax\n"
    "  shll $2, %eax\n"
    "  movl %esp, %edx\n"
    "  subl %eax, %edx\n"
    "  andl $-16, %edx\n"
    "  addl %eax, %edx\n"
    "  movl %edx, %esp\n"
    "  movl 16(%ebp), %esi\n"
    "  leal (%esi,%ecx,4), %esi\n"
    "1: testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  subl $4, %esi\n"
    "  pushl (%esi)\n"
    "  decl %ecx\n"
    "  jmp 1b\n"
    "2: movl %esp, %ebx\n"
    "  call *8(%ebp)\n"
    "  movl 20(%ebp), %ecx\n"
    "  movl %eax, (%ecx)\n"
    "  movl %edx, 4(%ecx)\n"
    "  cmpl $0, 24(%ebp)\n"
    "  je 3f\n"
    "  fstpl 8(%ecx)\n"
    "3: movl %esp, %eax\n"
    "  subl %ebx, %eax\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n"
    ".size PuxCallCounting, .-PuxCallCounting\n");

/* The natives take exactly the words their descriptors give (after the env and the
   class), in the C convention: a list one word off would move the caller's stack. */
TEST_F(JniTestClassTest, NativesTakeTheirDescriptorsWordsAndPopNothing) {
  void* f10l = m.Native("corvane_vm_internal_jnitest", "f10l", "(JJJJJJJJJJ)J");
  void* f10m = m.Native("corvane_vm_internal_jnitest", "f10m", "(IFDIFDIFDI)D");
  void* fiid = m.Native("corvane_vm_internal_jnitest", "fiid", "(IID)D");
  ASSERT_TRUE(f10l && f10m && fiid);
  uint32_t args[24] = {(uint32_t)(uintptr_t)m.env, 0};
  for (int i = 0; i < 10; i++) {
    args[2 + 2 * i] = (uint32_t)(i + 1);
    args[3 + 2 * i] = i == 9 ? 0xFFFFFFFFu : 0;
  }
  uint32_t out[4] = {};
  EXPECT_EQ(0u, PuxCallCounting(f10l, 22, args, out, 0));
  // 1 to 9, and 10 with a high word of all ones.
  EXPECT_EQ(55u, out[0]);
  EXPECT_EQ(0xFFFFFFFFu, out[1]);
  uint32_t mixed[16] = {(uint32_t)(uintptr_t)m.env, 0};
  float f = 2.5f;
  double d = 3.25;
  uint32_t w = 2;
  for (int k = 0; k < 3; k++) {
    mixed[w++] = (uint32_t)(1 + 3 * k);
    memcpy(&mixed[w++], &f, 4);
    memcpy(&mixed[w], &d, 8);
    w += 2;
  }
  mixed[w++] = 10;
  EXPECT_EQ(0u, PuxCallCounting(f10m, w, mixed, out, 1));
  double result;
  memcpy(&result, &out[2], 8);
  EXPECT_EQ(1 + 2.5 + 3.25 + 4 + 2.5 + 3.25 + 7 + 2.5 + 3.25 + 10, result);
  uint32_t three[6] = {(uint32_t)(uintptr_t)m.env, 0, 0x7FFFFFFFu, 1, 0, 0x3FE00000u};
  EXPECT_EQ(0u, PuxCallCounting(fiid, 6, three, out, 1));
  memcpy(&result, &out[2], 8);
  EXPECT_EQ(-2147483647.5, result);
}

/* The machine's own native call, from a host thread: every result kind lands in the
   argument area. */
TEST_F(JniTestClassTest, TheMachinesNativeCallReturnsEveryKind) {
  VMLoadableClass* cls = m.Class("corvane_vm_internal_jnitest");
  ASSERT_NE(nullptr, cls);
  auto method = [&](const char* name, const char* sig) {
    return cls->FindMethod(VMLiteral::CreateInstance(m.ns, name, 0xFFFFFFFFu),
                           VMLiteral::CreateInstance(m.ns, sig, 0xFFFFFFFFu), false);
  };
  VMMethod* f10l = method("f10l", "(JJJJJJJJJJ)J");
  VMMethod* f10m = method("f10m", "(IFDIFDIFDI)D");
  VMMethod* f10f = method("f10f", "(FFFFFFFFFF)F");
  ASSERT_TRUE(f10l && f10m && f10f);
  VMword area[24] = {};
  for (int i = 0; i < 10; i++) area[2 * i] = (VMword)(i + 1);
  VMFrame::CallNativeMethod(m.env, f10l, area);
  EXPECT_EQ(55u, area[0]);
  EXPECT_EQ(0u, area[1]);
  // int, float, double three times, then int.
  VMword mixed[24] = {};
  float f = 2.5f;
  double d = 3.25;
  uint32_t w = 0;
  for (int k = 0; k < 3; k++) {
    mixed[w++] = (VMword)(1 + 3 * k);
    memcpy(&mixed[w++], &f, 4);
    memcpy(&mixed[w], &d, 8);
    w += 2;
  }
  mixed[w++] = 10;
  VMFrame::CallNativeMethod(m.env, f10m, mixed);
  double result;
  memcpy(&result, mixed, 8);
  EXPECT_EQ(1 + 2.5 + 3.25 + 4 + 2.5 + 3.25 + 7 + 2.5 + 3.25 + 10, result);
  // A float result comes back through the floating-point register.
  VMword ten[12] = {};
  for (int i = 0; i < 10; i++) {
    float v = 0.5f * (float)(i + 1);
    memcpy(&ten[i], &v, 4);
  }
  VMFrame::CallNativeMethod(m.env, f10f, ten);
  float fr;
  memcpy(&fr, ten, 4);
  EXPECT_EQ(27.5f, fr);
}

/* The default compiled-code support table: six functions in their calling conventions. */
TEST(JitHostTableTest, SixDefaultsInTheirConventions) {
  void* const* table = (void* const*)JNI_JitHostFnTablePtr;
  ASSERT_NE(nullptr, table);
  // Slot 0 clears body word 12 of an object of at least thirteen words.
  VMword block[5 + 16];
  memset(block, 0x5A, sizeof block);
  ((VMObject*)block)->SetNumberOfElements(16);
  uint32_t out[4] = {};
  uint32_t one[1] = {(uint32_t)(uintptr_t)block};
  EXPECT_EQ(4u, PuxCallCounting(table[0], 1, one, out, 0));
  EXPECT_EQ(0u, block[5 + 12]);
  EXPECT_EQ(0x5A5A5A5Au, block[5 + 11]);
  EXPECT_EQ(0x5A5A5A5Au, block[5 + 13]);
  uint32_t word[1] = {7};
  EXPECT_EQ(4u, PuxCallCounting(table[1], 1, word, out, 0));
  // Slot 2: no arguments, the caller pops, an 8-bit false.
  out[0] = 0xFFFFFFFFu;
  EXPECT_EQ(0u, PuxCallCounting(table[2], 0, word, out, 0));
  EXPECT_EQ(0u, out[0] & 0xFF);
  out[0] = 0xFFFFFFFFu;
  EXPECT_EQ(4u, PuxCallCounting(table[3], 1, word, out, 0));
  EXPECT_EQ(0u, out[0]);
  EXPECT_EQ(4u, PuxCallCounting(table[4], 1, word, out, 0));
  uint32_t five[5] = {1, 2, 3, 4, 5};
  out[0] = 0xFFFFFFFFu;
  EXPECT_EQ(20u, PuxCallCounting(table[5], 5, five, out, 0));
  EXPECT_EQ(0u, out[0]);
}

}  // namespace
