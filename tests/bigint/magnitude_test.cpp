/* The magnitude arithmetic against known values, 64-bit arithmetic over every small
   pair, and Python's integers over random operands of 1 to 4,096 bits and across the
   pieces of array bodies; arguments stay untouched, temporaries never outlive a call,
   refused memory and a stopping poll end a call cleanly. */
#include "bigint_support.h"

#include <functional>

using namespace bigint;
using namespace bigint_test;

namespace {

class MagnitudeTest : public BigIntTest {
 protected:
  /* Runs a routine of two arguments and answers its result's bytes ("!" on failure). */
  template <typename F>
  std::string Run2(const Bytes& a, const Bytes& b, F fn) {
    Mag* x = Make(a);
    Mag* y = Make(b);
    Snapshot s;
    s.Add(x);
    s.Add(y);
    Context ctx = NewContext();
    Mag* r = fn(ctx, x, y);
    EXPECT_TRUE(s.Unchanged());
    std::string out = r != nullptr ? Hex(Read(r)) : "!";
    EXPECT_EQ(r == nullptr, ctx.Failed());
    if (r != x && r != y) Drop(r);
    Drop(x);
    Drop(y);
    return out;
  }
};

TEST_F(MagnitudeTest, EdgeCasesOfAdditionSubtractionAndMultiplication) {
  EXPECT_EQ("0100", Run2({0xFF}, {0x01}, AddMagnitudes));
  EXPECT_EQ("-", Run2({}, {}, AddMagnitudes));
  EXPECT_EQ("fffe", Run2({0x05}, {0x03}, [](Context& c, Mag* a, Mag* b) { return SubtractMagnitudes(c, b, a); }));
  EXPECT_EQ("0000", Run2({0x07}, {0x07}, SubtractMagnitudes));
  EXPECT_EQ("00", Run2({}, {}, SubtractMagnitudes));
  EXPECT_EQ("000000ff", Run2({0x00, 0x00, 0xFF}, {}, SubtractMagnitudes));
  EXPECT_EQ("-", Run2({0x12, 0x34}, {}, MultiplyMagnitudes));
  EXPECT_EQ("-", Run2({0x00, 0x00}, {0x00, 0x05}, MultiplyMagnitudes));
  EXPECT_EQ("0f", Run2({0x00, 0x05}, {0x03}, MultiplyMagnitudes));
  EXPECT_EQ("fe01", Run2({0xFF}, {0xFF}, MultiplyMagnitudes));
  EXPECT_EQ("-", Run2({0x00, 0x00, 0x00}, {0x00}, AddMagnitudes));
}

TEST_F(MagnitudeTest, DivisionEdgeCases) {
  auto quotient = [](Context& c, Mag* n, Mag* d) {
    Mag* q = nullptr;
    return DivideMagnitudes(c, n, d, &q, nullptr, kQuotient) ? q : nullptr;
  };
  auto remainder = [](Context& c, Mag* n, Mag* d) { return Remainder(c, n, d); };
  // Outputs are max(|n|, |d|) bytes, unstripped.
  EXPECT_EQ("0055555555", Run2({1, 0, 0, 0, 0}, {3}, quotient));
  EXPECT_EQ("0000000001", Run2({1, 0, 0, 0, 0}, {3}, remainder));
  EXPECT_EQ("000000", Run2({0x05}, {0x01, 0x00, 0x00}, quotient));
  EXPECT_EQ("000005", Run2({0x05}, {0x01, 0x00, 0x00}, remainder));
  EXPECT_EQ("0001", Run2({0x00, 0x07}, {0x07}, quotient));
  EXPECT_EQ("00", Run2({}, {0x07}, quotient));
  // A zero divisor, with or without bytes.
  for (Bytes d : {Bytes{}, Bytes{0}, Bytes{0, 0, 0, 0, 0}}) {
    Mag* n = Make({0x10});
    Mag* dm = Make(d);
    Context ctx = NewContext();
    Mag* q = (Mag*)1;
    Mag* r = (Mag*)1;
    EXPECT_FALSE(DivideMagnitudes(ctx, n, dm, &q, &r, kBoth));
    EXPECT_EQ(nullptr, q);
    EXPECT_EQ(nullptr, r);
    EXPECT_EQ(VMStatus_ArithmeticException, ctx.status);
    EXPECT_EQ(nullptr, ctx.message);
    Drop(n);
    Drop(dm);
  }
}

/* Divisions whose word-at-a-time quotient estimate is too large: once or twice from the
   top two words (corrected before the subtraction), and once so that the subtraction
   goes below zero and the divisor is added back. Values checked against Python. */
TEST_F(MagnitudeTest, DivisionWhoseQuotientEstimatesNeedCorrecting) {
  struct Case {
    const char *n, *d, *q, *r;
  } cases[] = {
      {"800000000000000000000003", "200000000000000000000001", "000000000000000000000003", "200000000000000000000000"},
      {"000080000000fffe00000000", "00000000000080000000ffff", "0000000000000000ffffffff", "0000000000007fff0000ffff"},
      {"0000800000007fff00000000", "000000000000800000000001", "000000000000000100000000", "0000000000007ffe00000000"},
      {"00008000000000000000fffe00000000", "0000000000008000000000000000ffff", "000000000000000000000000ffffffff", "0000000000007fffffffffff0000ffff"},
      {"7fffffff800000000000000000000000", "00000000800000000000000000000001", "000000000000000000000000fffffffe", "000000007fffffffffffffff00000002"},
      {"ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", "00000000000000000000000000000000000000000000000000000001ffffffff", "0000000080000000400000002000000010000000080000000400000002000000", "0000000000000000000000000000000000000000000000000000000001ffffff"},
      {"40000000000000000000000000000000", "0000000040000000ffffffffffffffff", "000000000000000000000000fffffffc", "000000000000000400000000fffffffc"},
  };
  auto quotient = [](Context& c, Mag* n, Mag* d) {
    Mag* q = nullptr;
    return DivideMagnitudes(c, n, d, &q, nullptr, kQuotient) ? q : nullptr;
  };
  auto remainder = [](Context& c, Mag* n, Mag* d) { return Remainder(c, n, d); };
  for (const Case& c : cases) {
    EXPECT_EQ(c.q, Run2(FromHex(c.n), FromHex(c.d), quotient)) << c.n << " / " << c.d;
    EXPECT_EQ(c.r, Run2(FromHex(c.n), FromHex(c.d), remainder)) << c.n << " % " << c.d;
  }
}

TEST_F(MagnitudeTest, StrippingCopiesOnlyWhenItMustAndFreesOnlyWhatItOwns) {
  Context ctx = NewContext();
  Mag* canonical = Make({0x01, 0x00});
  EXPECT_EQ(canonical, StripLeadingZeros(ctx, canonical, true));
  Mag* arg = Make({0x00, 0x00, 0x07});
  Mag* copy = StripLeadingZeros(ctx, arg, false);
  ASSERT_NE(arg, copy);
  EXPECT_EQ("07", Hex(Read(copy)));
  EXPECT_EQ("000007", Hex(Read(arg)));
  uint32_t before = Blocks();
  Mag* zeros = StripLeadingZeros(ctx, Make({0, 0}), true);
  EXPECT_EQ(0u, zeros->GetSize());
  EXPECT_EQ(before + 1, Blocks()) << "the owned input is freed";
  // Refused: the copy's failure is an OutOfMemoryError, never a silent NULL.
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, StripLeadingZeros(ctx, arg, false));
  EXPECT_EQ(VMStatus_OutOfMemoryError, ctx.status);
  ASSERT_NE(nullptr, ctx.message);
  EXPECT_STREQ("", ctx.message);
  EXPECT_EQ("000007", Hex(Read(arg)));
  Drop(zeros);
  Drop(copy);
  Drop(canonical);
  Drop(arg);
}

// Every pair below 300 (and each with leading zero bytes), against 64-bit arithmetic.
TEST_F(MagnitudeTest, EverySmallPairMatchesMachineArithmetic) {
  Context ctx = NewContext();
  for (uint64_t a = 0; a < 300; a++) {
    for (uint64_t b = 0; b < 300; b++) {
      int za = (int)((a * 7 + b) % 3 == 0 ? (a + b) % 3 : 0), zb = (int)((a + b * 5) % 4 == 1 ? 2 : 0);
      Mag* x = Make(FromU64(a, za));
      Mag* y = Make(FromU64(b, zb));
      Mag* sum = AddMagnitudes(ctx, x, y);
      Mag* product = MultiplyMagnitudes(ctx, x, y);
      Mag* diff = SubtractMagnitudes(ctx, x, y);
      ASSERT_TRUE(sum && product && diff);
      ASSERT_EQ(FromU64(a + b), Read(sum)) << a << "+" << b;
      ASSERT_EQ(FromU64(a * b), Read(product)) << a << "*" << b;
      uint32_t n = (uint32_t)std::max(x->GetSize(), y->GetSize()) + 1;
      Bytes d = Read(diff);
      ASSERT_EQ(n, d.size());
      uint64_t mask = n >= 8 ? ~0ull : ((1ull << (8 * n)) - 1);
      ASSERT_EQ((a - b) & mask, ToU64(d)) << a << "-" << b;
      Drop(sum);
      Drop(product);
      Drop(diff);
      if (b != 0) {
        Mag* q = nullptr;
        Mag* r = nullptr;
        ASSERT_TRUE(DivideMagnitudes(ctx, x, y, &q, &r, kBoth));
        ASSERT_EQ(std::max(x->GetSize(), y->GetSize()), q->GetSize());
        ASSERT_EQ(a / b, ToU64(Read(q))) << a << "/" << b;
        ASSERT_EQ(a % b, ToU64(Read(r))) << a << "%" << b;
        Drop(q);
        Drop(r);
      }
      Drop(x);
      Drop(y);
    }
  }
  EXPECT_FALSE(ctx.Failed());
}

// Python's integers over random operands: signs are the Java side's, so every value is
// a magnitude; sizes from 1 to 4,096 bits, zero, one, powers of two and their
// neighbours, 0xFF and 0x00 runs, leading zero bytes, and sizes across the pieces.
TEST_F(MagnitudeTest, RandomOperandsMatchPythonIntegers) {
  const std::vector<Fields>& cases = Vectors("P");
  ASSERT_GT(cases.size(), 3000u) << "no vectors: the build writes them with tests/bigint/gen_vectors.py";
  int mismatches = 0;
  for (const Fields& f : cases) {
    Mag* a = MakeHex(f[1]);
    Mag* b = MakeHex(f[2]);
    Snapshot s;
    s.Add(a);
    s.Add(b);
    uint32_t before = Blocks();
    Context ctx = NewContext();
    std::string got[6];
    Mag* r = AddMagnitudes(ctx, a, b);
    got[0] = Hex(Read(r));
    Drop(r);
    r = SubtractMagnitudes(ctx, a, b);
    got[1] = Hex(Read(r));
    Drop(r);
    r = MultiplyMagnitudes(ctx, a, b);
    got[2] = Hex(Read(r));
    Drop(r);
    Mag* q = nullptr;
    Mag* rem = nullptr;
    if (DivideMagnitudes(ctx, a, b, &q, &rem, kBoth)) {
      got[3] = Hex(Canonical(Read(q)));
      got[4] = Hex(Canonical(Read(rem)));
      if (q->GetSize() != std::max(a->GetSize(), b->GetSize())) got[3] += "(length)";
    } else {
      got[3] = got[4] = ctx.status == VMStatus_ArithmeticException && ctx.message == nullptr ? "!" : "?";
      ctx.status = VMStatus_OK;
    }
    Drop(q);
    Drop(rem);
    r = GcdMagnitudes(ctx, a, b);
    got[5] = Hex(Canonical(Read(r)));
    if (r != a && r != b) Drop(r);
    EXPECT_FALSE(ctx.Failed());
    EXPECT_EQ(before, Blocks()) << "temporaries left";
    EXPECT_TRUE(s.Unchanged());
    static const char* names[6] = {"add", "sub", "mul", "div", "rem", "gcd"};
    for (int i = 0; i < 6; i++) {
      if (got[i] != f[3 + i]) {
        if (++mismatches <= 10)
          ADD_FAILURE() << names[i] << " " << f[1] << " " << f[2] << "\n got " << got[i] << "\nwant " << f[3 + i];
      }
    }
    Drop(a);
    Drop(b);
  }
  EXPECT_EQ(0, mismatches) << "of " << cases.size() << " cases";
}

// The word routines of division on their own: the borrow rule at the word limits and
// the skipped low words.
TEST_F(MagnitudeTest, WordRoutinesBorrowShiftAndSkip) {
  Context ctx = NewContext();
  Words* x = CreateWordArray(ctx, 3);
  Words* y = CreateWordArray(ctx, 3);
  ASSERT_TRUE(x && y);
  PutWord(x, 0, 1);
  PutWord(x, 1, 0);
  PutWord(x, 2, 0);
  PutWord(y, 0, 0);
  PutWord(y, 1, 0xFFFFFFFFu);
  PutWord(y, 2, 0xFFFFFFFFu);
  EXPECT_EQ(0u, WordsLess(x, y, 0));
  EXPECT_EQ(1u, WordsLess(y, x, 0));
  EXPECT_EQ(0u, SubtractWords(x, y, 0));
  EXPECT_EQ(0u, GetWord(x, 0));
  EXPECT_EQ(0u, GetWord(x, 1));
  EXPECT_EQ(1u, GetWord(x, 2));
  // Skipping the last word compares and subtracts only the upper two.
  PutWord(x, 0, 5);
  PutWord(x, 1, 7);
  PutWord(x, 2, 0);
  PutWord(y, 0, 5);
  PutWord(y, 1, 7);
  PutWord(y, 2, 9);
  EXPECT_EQ(0u, WordsLess(x, y, 1));
  EXPECT_EQ(1u, WordsLess(x, y, 0));
  SubtractWords(x, y, 1);
  EXPECT_EQ(0u, GetWord(x, 0));
  EXPECT_EQ(0u, GetWord(x, 2));
  PutWord(x, 0, 0x80000000u);
  PutWord(x, 1, 0x80000001u);
  PutWord(x, 2, 3);
  EXPECT_EQ(1u, ShiftWordsLeft1(x, 1));
  EXPECT_EQ(1u, GetWord(x, 0));
  EXPECT_EQ(2u, GetWord(x, 1));
  EXPECT_EQ(3u, GetWord(x, 2));
  ShiftWordsRight1(x);
  EXPECT_EQ(0u, GetWord(x, 0));
  EXPECT_EQ(0x80000001u, GetWord(x, 1));
  EXPECT_EQ(1u, GetWord(x, 2));
  EXPECT_EQ(64u, WordsBitLength(x));
  SetWordBit(x, 95);
  EXPECT_EQ(96u, WordsBitLength(x));
  Drop(x);
  Drop(y);
}

// A refused allocation at any point of a call: null with the call's OutOfMemoryError,
// every temporary freed, the arguments intact.
TEST_F(MagnitudeTest, RefusedMemoryAtEveryAllocationEndsTheCallCleanly) {
  struct Op {
    const char* name;
    const char* message;  // nullptr: no message
    std::function<Mag*(Context&, Mag*, Mag*)> run;
  };
  std::vector<Op> ops = {
      {"add", "", [](Context& c, Mag* a, Mag* b) { return AddMagnitudes(c, a, b); }},
      {"sub", "", [](Context& c, Mag* a, Mag* b) { return SubtractMagnitudes(c, a, b); }},
      {"mul", "", [](Context& c, Mag* a, Mag* b) { return MultiplyMagnitudes(c, a, b); }},
      {"div", nullptr,
       [](Context& c, Mag* a, Mag* b) {
         Mag* q = nullptr;
         Mag* r = nullptr;
         if (!DivideMagnitudes(c, a, b, &q, &r, kBoth)) return (Mag*)nullptr;
         r->Destroy(c.heap);
         return q;
       }},
  };
  Bytes big(900, 0);
  for (size_t i = 0; i < big.size(); i++) big[i] = (uint8_t)(i * 37 + 11);
  big[0] = 0;  // a leading zero: the result is stripped into a new array
  Bytes small = {0, 0, 3, 0x99, 0x17};
  for (const Op& op : ops) {
    for (uint32_t k = 1;; k++) {
      Mag* a = Make(big);
      Mag* b = Make(small);
      Snapshot s;
      s.Add(a);
      s.Add(b);
      uint32_t before = Blocks();
      uint64_t refusedBefore = refhost::RefusedCount();
      refhost::SetFailureScope(true, heap, -1);
      refhost::FailNthAllocation(k);
      Context ctx = NewContext();
      Mag* r = op.run(ctx, a, b);
      uint64_t refused = refhost::RefusedCount() - refusedBefore;
      refhost::ResetHooks();
      if (refused == 0) {
        ASSERT_NE(nullptr, r) << op.name;
        Drop(r);
        Drop(a);
        Drop(b);
        EXPECT_GT(k, 2u) << op.name << " allocates";
        break;
      }
      EXPECT_EQ(nullptr, r) << op.name << " k=" << k;
      EXPECT_EQ(VMStatus_OutOfMemoryError, ctx.status) << op.name << " k=" << k;
      if (op.message == nullptr)
        EXPECT_EQ(nullptr, ctx.message) << op.name << " k=" << k;
      else
        EXPECT_TRUE(ctx.message != nullptr && ctx.message[0] == 0) << op.name << " k=" << k;
      EXPECT_EQ(before, Blocks()) << op.name << " k=" << k << ": temporaries left";
      EXPECT_TRUE(s.Unchanged()) << op.name << " k=" << k;
      Drop(a);
      Drop(b);
      ASSERT_LT(k, 40u);
    }
  }
}

// Long calls poll; a poll that answers nonzero ends the call with nothing left behind.
TEST_F(MagnitudeTest, LongCallsPollAndAStopEndsThem) {
  Bytes n(1000), d(300);
  for (size_t i = 0; i < n.size(); i++) n[i] = (uint8_t)(i * 13 + 1);
  for (size_t i = 0; i < d.size(); i++) d[i] = (uint8_t)(i * 29 + 5);
  Mag* a = Make(n);
  Mag* b = Make(d);
  Context ctx = NewContext();
  Mag* q = nullptr;
  ASSERT_TRUE(DivideMagnitudes(ctx, a, b, &q, nullptr, kQuotient));
  Drop(q);
  EXPECT_GT(polls, 2) << "a division of 5,600 quotient bits polls";
  int seen = polls;
  Mag* p = MultiplyMagnitudes(ctx, a, a);
  EXPECT_GT(polls, seen) << "a product of 1,000-byte operands polls";
  Drop(p);
  for (int which = 0; which < 2; which++) {
    polls = 0;
    stopAfter = 1;
    uint32_t before = Blocks();
    Context stopped = NewContext();
    Mag* r = which == 0 ? Remainder(stopped, a, b) : MultiplyMagnitudes(stopped, a, a);
    EXPECT_EQ(nullptr, r);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(VMStatus_AlreadyThrown, stopped.status);
    EXPECT_EQ(2, polls) << "nothing polls after the stop";
    EXPECT_EQ(before, Blocks());
    // A stop is final: a later failure does not replace it.
    stopped.Raise(VMStatus_OutOfMemoryError, "");
    EXPECT_EQ(VMStatus_AlreadyThrown, stopped.status);
  }
  Drop(a);
  Drop(b);
}

// What the routines make carries what Java arrays carry, and is held by machine code
// (kept by a collection) until the native hands it over.
TEST_F(MagnitudeTest, TemporariesAreRootedJavaByteArrays) {
  Context ctx = NewContext();
  VMClass* fakeClass = (VMClass*)0x1234;  // only stored, never read
  ctx.byteArrayClass = fakeClass;
  Mag* a = Make({1, 2, 3});
  Mag* r = AddMagnitudes(ctx, a, a);
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(VMTag_VMUserArrayInstance, r->GetTag());
  EXPECT_TRUE(r->GetIsScalarArray());
  EXPECT_EQ(fakeClass, r->GetClass());
  EXPECT_TRUE(r->GetIsReachableByCPlusPlusCode());
  Release(r);
  EXPECT_FALSE(r->GetIsReachableByCPlusPlusCode());
  Drop(r);
  Drop(a);
}

}  // namespace
