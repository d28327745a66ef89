/* gcd, modular power, modular inverse and prime search: every small case against 64-bit
   arithmetic, random ones against Python's integers, the zero and one cases whose
   answers the routines must get right, refused memory and stops. */
#include "bigint_support.h"

#include <functional>

using namespace bigint;
using namespace bigint_test;

namespace {

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

uint64_t PowMod(uint64_t b, uint64_t e, uint64_t m) {
  uint64_t r = 1 % m;
  b %= m;
  for (; e != 0; e >>= 1) {
    if (e & 1) r = r * b % m;
    b = b * b % m;
  }
  return r;
}

/* The search's rule: odd, no proper divisor among 3..19, and 2^(c-1) = 1 mod c. */
uint64_t FirstAccepted(uint64_t start) {
  uint64_t c = start == 0 ? 1 : (start | 1);
  for (;; c += 2) {
    bool rejected = false;
    for (uint64_t p : {3, 5, 7, 11, 13, 17, 19}) rejected = rejected || (c % p == 0 && c != p);
    if (!rejected && PowMod(2, c - 1, c) == 1) return c;
  }
}

class NumberTest : public BigIntTest {
 protected:
  /* The answer of a routine as canonical hex, "!" + message on failure ("!" alone for
     none, "!oom" for OutOfMemoryError); arguments checked untouched, temporaries freed. */
  std::string Call(const std::vector<Bytes>& in, const std::function<Mag*(Context&, Mag**)>& fn,
                   Mag** identity = nullptr) {
    Mag* args[3] = {};
    Snapshot s;
    for (size_t i = 0; i < in.size(); i++) {
      args[i] = Make(in[i]);
      s.Add(args[i]);
    }
    uint32_t before = Blocks();
    Context ctx = NewContext();
    Mag* r = fn(ctx, args);
    std::string out;
    if (r == nullptr) {
      EXPECT_TRUE(ctx.Failed());
      out = ctx.status == VMStatus_OutOfMemoryError ? "!oom"
                                                    : std::string("!") + (ctx.message ? ctx.message : "");
      if (ctx.status != VMStatus_ArithmeticException && ctx.status != VMStatus_OutOfMemoryError) out += "?";
    } else {
      EXPECT_FALSE(ctx.Failed());
      out = Hex(Canonical(Read(r)));
    }
    bool isArgument = false;
    for (Mag* a : args) isArgument = isArgument || (r != nullptr && r == a);
    if (identity != nullptr) *identity = isArgument ? r : nullptr;
    if (r != nullptr && !isArgument) Drop(r);
    EXPECT_EQ(before, Blocks()) << "temporaries left";
    EXPECT_TRUE(s.Unchanged());
    for (Mag* a : args) Drop(a);
    return out;
  }
  std::string Gcd2(const Bytes& a, const Bytes& b, Mag** identity = nullptr) {
    return Call({a, b}, [](Context& c, Mag** x) { return GcdMagnitudes(c, x[0], x[1]); }, identity);
  }
  std::string Pow3(const Bytes& b, const Bytes& e, const Bytes& m, Mag** identity = nullptr) {
    return Call({b, e, m}, [](Context& c, Mag** x) { return ModPowMagnitudes(c, x[0], x[1], x[2]); }, identity);
  }
  std::string Inv2(const Bytes& a, const Bytes& m, Mag** identity = nullptr) {
    return Call({a, m}, [](Context& c, Mag** x) { return ModInverseMagnitudes(c, x[0], x[1]); }, identity);
  }
  std::string Prime(const Bytes& s) {
    return Call({s}, [](Context& c, Mag** x) { return GeneratePrimeMagnitude(c, x[0]); });
  }
  static std::string H(uint64_t v) { return Hex(FromU64(v)); }
};

TEST_F(NumberTest, GcdOfZeroIsTheOtherOperand) {
  EXPECT_EQ("06", Gcd2({12}, {18}));
  EXPECT_EQ("0c", Gcd2({12}, {}));
  EXPECT_EQ("0c", Gcd2({}, {0, 0, 12}));
  EXPECT_EQ("0c", Gcd2({0, 12}, {0}));
  EXPECT_EQ("-", Gcd2({}, {}));
  EXPECT_EQ("-", Gcd2({0, 0}, {0}));
  // gcd(6, 3) is the very array that came in as 3, leading zeros and all.
  Mag* same = nullptr;
  EXPECT_EQ("03", Gcd2({6}, {0, 3}, &same));
  EXPECT_NE(nullptr, same);
}

TEST_F(NumberTest, ModPowZeroModulusIsAnErrorWhateverTheShortcut) {
  for (Bytes zero : {Bytes{}, Bytes{0}, Bytes{0, 0}}) {
    EXPECT_EQ("!", Pow3({7}, {}, zero)) << "x^0 mod 0";
    EXPECT_EQ("!", Pow3({}, {5}, zero)) << "0^e mod 0";
    EXPECT_EQ("!", Pow3({1}, {5}, zero)) << "1^e mod 0";
    EXPECT_EQ("!", Pow3({9}, {5}, zero));
  }
  EXPECT_EQ("01", Pow3({7}, {}, {9}));
  EXPECT_EQ("-", Pow3({7}, {3}, {0, 1}));
  EXPECT_EQ("-", Pow3({}, {}, {1}));
  Mag* same = nullptr;
  EXPECT_EQ("-", Pow3({0, 0}, {3}, {7}, &same));
  EXPECT_NE(nullptr, same) << "a zero base is answered with the base array";
  EXPECT_EQ("01", Pow3({0, 1}, {5}, {7}, &same));
  EXPECT_NE(nullptr, same);
  EXPECT_EQ("04", Pow3({2}, {0, 0, 2}, {6}));
}

TEST_F(NumberTest, ModInverseOfZeroHasNone) {
  EXPECT_EQ("05", Inv2({3}, {7}));
  EXPECT_EQ("!not invertible", Inv2({2}, {4}));
  EXPECT_EQ("!modulus not positive", Inv2({3}, {}));
  EXPECT_EQ("!modulus not positive", Inv2({}, {0, 0}));
  for (uint64_t m = 2; m < 50; m++) {
    EXPECT_EQ("!not invertible", Inv2({}, FromU64(m))) << m;
    EXPECT_EQ("!not invertible", Inv2({0, 0}, FromU64(m))) << m;
    EXPECT_EQ("!not invertible", Inv2(FromU64(m), FromU64(m, 1))) << m;
  }
  EXPECT_EQ("-", Inv2({}, {1}));
  EXPECT_EQ("-", Inv2({1}, {0, 1}));
  Mag* same = nullptr;
  EXPECT_EQ("01", Inv2({0, 1}, {9}, &same));
  EXPECT_NE(nullptr, same);
}

TEST_F(NumberTest, PrimeSearchFromSmallStartsReturnsTheNextPrime) {
  const char* expected[] = {"03", "03", "03", "03", "05", "05", "07", "07", "0b", "0b", "0b", "0b", "0d", "0d",
                            "11", "11", "11", "11", "13", "13", "17", "17", "17", "17"};
  for (uint64_t s = 0; s < 24; s++) EXPECT_EQ(expected[s], Prime(FromU64(s))) << "from " << s;
  EXPECT_EQ("03", Prime({})) << "an empty start is 1";
  EXPECT_EQ("03", Prime({0, 0}));
  EXPECT_EQ("1d", Prime({24}));
  EXPECT_EQ(H(2047), Prime(FromU64(2046))) << "the base-2 pseudoprime 23 * 89 passes";
  EXPECT_EQ(H(4681), Prime(FromU64(4681)));
}

TEST_F(NumberTest, EverySmallCaseMatchesMachineArithmetic) {
  for (uint64_t a = 0; a <= 60; a++) {
    for (uint64_t b = 0; b <= 60; b++) ASSERT_EQ(H(Gcd(a, b)), Gcd2(FromU64(a, (int)(a % 3)), FromU64(b))) << a << "," << b;
  }
  for (uint64_t base = 0; base < 40; base++) {
    for (uint64_t e = 0; e < 20; e++) {
      for (uint64_t m = 0; m < 40; m++) {
        std::string want = m == 0 ? "!" : H(PowMod(base, e, m));
        ASSERT_EQ(want, Pow3(FromU64(base, (int)(base % 2)), FromU64(e, (int)(e % 3 == 0)), FromU64(m, (int)(m % 4 == 1))))
            << base << "^" << e << " mod " << m;
      }
    }
  }
  for (uint64_t a = 0; a < 50; a++) {
    for (uint64_t m = 0; m < 50; m++) {
      std::string want;
      if (m == 0)
        want = "!modulus not positive";
      else if (m == 1)
        want = "-";
      else if (Gcd(a, m) != 1)
        want = "!not invertible";
      else
        for (uint64_t x = 1; x < m; x++)
          if (a * x % m == 1) want = H(x);
      ASSERT_EQ(want, Inv2(FromU64(a, (int)(m % 2)), FromU64(m))) << a << "^-1 mod " << m;
    }
  }
  for (uint64_t s = 0; s <= 6000; s++) ASSERT_EQ(H(FirstAccepted(s)), Prime(FromU64(s, (int)(s % 5 == 0)))) << s;
}

TEST_F(NumberTest, RandomOperandsMatchPythonIntegers) {
  int mismatches = 0, total = 0;
  auto check = [&](const std::string& got, const std::string& want, const Fields& f) {
    total++;
    if (got != want && ++mismatches <= 10) {
      std::string line;
      for (const std::string& w : f) line += w + " ";
      ADD_FAILURE() << line << "\n got " << got;
    }
  };
  for (const Fields& f : Vectors("E")) check(Pow3(FromHex(f[1]), FromHex(f[2]), FromHex(f[3])), f[4], f);
  for (const Fields& f : Vectors("I")) {
    std::string want = f[3];  // a message is the rest of the line
    for (size_t i = 4; i < f.size(); i++) want += " " + f[i];
    check(Inv2(FromHex(f[1]), FromHex(f[2])), want, f);
  }
  for (const Fields& f : Vectors("S")) check(Prime(FromHex(f[1])), f[2], f);
  EXPECT_GT(total, 1000);
  EXPECT_EQ(0, mismatches) << "of " << total;
}

TEST_F(NumberTest, RefusedMemoryAtEveryAllocationEndsTheCallCleanly) {
  struct Op {
    const char* name;
    std::vector<Bytes> args;
    std::function<Mag*(Context&, Mag**)> run;
  };
  std::vector<Op> ops = {
      {"gcd", {FromU64(0x12345678ABCDull, 1), FromU64(0x9ABCDEF0123ull)},
       [](Context& c, Mag** x) { return GcdMagnitudes(c, x[0], x[1]); }},
      {"modpow", {FromU64(0x1234567, 2), FromU64(0xFFFF), FromU64(0xFFFFFFFBull)},
       [](Context& c, Mag** x) { return ModPowMagnitudes(c, x[0], x[1], x[2]); }},
      // A modulus past the local buffers: the routine with a temporary per step.
      {"modpow on the heap", {FromU64(0x1234567, 2), FromU64(0x3), Bytes(kFastBytes + 9, 0xC3)},
       [](Context& c, Mag** x) { return ModPowMagnitudes(c, x[0], x[1], x[2]); }},
      {"modinverse", {FromU64(0x123456789ull), FromU64(0xFFFFFFFFFFC5ull, 1)},
       [](Context& c, Mag** x) { return ModInverseMagnitudes(c, x[0], x[1]); }},
      {"prime", {FromU64(0xFFFFFFF0ull, 1)}, [](Context& c, Mag** x) { return GeneratePrimeMagnitude(c, x[0]); }},
  };
  for (const Op& op : ops) {
    for (uint32_t k = 1;; k++) {
      uint64_t refusedBefore = refhost::RefusedCount();
      refhost::SetFailureScope(true, heap, -1);
      std::string got = Call(op.args, [&](Context& c, Mag** x) {
        refhost::FailNthAllocation(k);
        Mag* r = op.run(c, x);
        refhost::FailNthAllocation(0);
        return r;
      });
      bool refused = refhost::RefusedCount() != refusedBefore;
      refhost::ResetHooks();
      if (!refused) {
        EXPECT_NE('!', got[0]) << op.name;
        // A modular power in local buffers makes only its result (and its stripped copy).
        EXPECT_GT(k, std::string(op.name) == "modpow" ? 1u : 3u) << op.name << " allocates";
        break;
      }
      EXPECT_EQ("!oom", got) << op.name << " k=" << k;
      ASSERT_LT(k, 5000u) << op.name;
    }
  }
}

TEST_F(NumberTest, LongCallsPollAndAStopEndsThem) {
  Bytes start(40, 0x5A), m(48, 0xC3), e(48, 0xA5);
  m.back() |= 1;
  EXPECT_NE('!', Prime(start)[0]);
  EXPECT_GT(polls, 0) << "a search among 320-bit numbers polls";
  polls = 0;
  EXPECT_NE('!', Pow3(start, e, m)[0]);
  EXPECT_GT(polls, 0);
  for (int which = 0; which < 2; which++) {
    polls = 0;
    stopAfter = 0;
    std::string got = which == 0 ? Prime(start) : Pow3(start, e, m);
    EXPECT_EQ("!?", got) << "stopped with status 1, nothing of its own raised";
    EXPECT_EQ(1, polls);
  }
}

}  // namespace
