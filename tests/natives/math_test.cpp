/* The Math, Double and Float natives against the Java rules, bit pattern by bit pattern:
   called through their registered rows, and once through the interpreter's native-call
   path from Java. */
#include <gtest/gtest.h>
#include <locale.h>
#include <math.h>
#include <string.h>

#include <set>

#include "lang/javalang.h"
#include "natives_support.h"
#include "vmjvm.h"

using natives_test::Machine;
using natives_test::Outcome;

namespace {

typedef jdouble(JNICALL* Unary)(JNIEnv*, jclass, jdouble);
typedef jdouble(JNICALL* Binary)(JNIEnv*, jclass, jdouble, jdouble);
typedef jlong(JNICALL* ToLongBits)(JNIEnv*, jclass, jdouble);
typedef jdouble(JNICALL* FromLongBits)(JNIEnv*, jclass, jlong);
typedef jint(JNICALL* ToIntBits)(JNIEnv*, jclass, jfloat);
typedef jfloat(JNICALL* FromIntBits)(JNIEnv*, jclass, jint);
typedef jdouble(JNICALL* Parse)(JNIEnv*, jclass, jstring);

uint64_t Bits(double d) {
  uint64_t b;
  memcpy(&b, &d, 8);
  return b;
}

double Double(uint64_t b) {
  double d;
  memcpy(&d, &b, 8);
  return d;
}

float Float(uint32_t b) {
  float f;
  memcpy(&f, &b, 4);
  return f;
}

const uint64_t kCanonicalNaN = 0x7FF8000000000000ull;
const double kMin = 4.9e-324;

class MathTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }

  Unary MathUnary(const char* name) { return (Unary)m.Native("java/lang/Math", name, "(D)D"); }
  Binary MathBinary(const char* name) { return (Binary)m.Native("java/lang/Math", name, "(DD)D"); }
  /* Runs a two-argument Math native: its result, or NaN with the thrown class noted. */
  double Call2(const char* name, double x, double y, std::string* thrown = nullptr) {
    Binary f = MathBinary(name);
    EXPECT_NE(nullptr, f) << name;
    if (f == nullptr) return 0;
    double r = f(m.env, nullptr, x, y);
    Outcome o;
    std::string t = m.TakeException(&o);
    if (thrown != nullptr) *thrown = t.empty() ? "" : t + ": " + o.message;
    return r;
  }

  Machine m;
};

TEST_F(MathTest, RemainderRoundsTheQuotientToEven) {
  struct Case {
    double x, y;
    uint64_t expected;
  } cases[] = {
      {3.0, 2.0, Bits(-1.0)},  {-3.0, 2.0, Bits(1.0)},     {7.0, 2.0, Bits(-1.0)},
      {5.0, 2.0, Bits(1.0)},   {5.0, 3.0, Bits(-1.0)},     {1.0, 2.0, Bits(1.0)},
      {-2.0, 4.0, Bits(-2.0)}, {3.0, HUGE_VAL, Bits(3.0)}, {-0.0, 1.0, Bits(-0.0)},
      // Subnormal divisor: 3 MIN / 2 MIN is 1.5 exactly, which rounds to 2.
      {3 * kMin, 2 * kMin, Bits(-kMin)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, Bits(Call2("IEEEremainder", c.x, c.y))) << c.x << " rem " << c.y;
  EXPECT_TRUE(isnan(Call2("IEEEremainder", 1.0, 0.0)));
  EXPECT_TRUE(isnan(Call2("IEEEremainder", HUGE_VAL, 2.0)));
  EXPECT_TRUE(isnan(Call2("IEEEremainder", NAN, 2.0)));
}

TEST_F(MathTest, PowRefusesWhatTheLibraryDocumentsAndFollowsJavaElsewhere) {
  const std::string refused = "java.lang.ArithmeticException: illegal arguments to pow()";
  double refusedCases[][2] = {{0.0, -1.0}, {0.0, 0.0}, {-0.0, -1.0}, {0.0, -HUGE_VAL}, {-8.0, 1.0 / 3.0},
                              {-2.0, 0.5}, {-HUGE_VAL, 0.5}};
  for (auto& c : refusedCases) {
    std::string thrown;
    EXPECT_EQ(0.0, Call2("pow", c[0], c[1], &thrown));
    EXPECT_EQ(refused, thrown) << c[0] << " pow " << c[1];
  }
  struct Case {
    double x, y;
    uint64_t expected;
  } cases[] = {
      {0.0, 0.5, Bits(0.0)},        {-0.0, 0.5, Bits(0.0)},        {NAN, 0.0, Bits(1.0)},
      {NAN, -0.0, Bits(1.0)},       {NAN, NAN, kCanonicalNaN},     {NAN, 0.5, kCanonicalNaN},
      {0.0, NAN, kCanonicalNaN},    {-3.0, NAN, kCanonicalNaN},    {1.0, NAN, kCanonicalNaN},
      {1.0, HUGE_VAL, kCanonicalNaN}, {-1.0, -HUGE_VAL, kCanonicalNaN}, {2.0, -1.0, Bits(0.5)},
      {-2.0, 3.0, Bits(-8.0)},      {-HUGE_VAL, 3.0, Bits(-HUGE_VAL)}, {-0.0, 3.0, Bits(-0.0)},
      {0.5, HUGE_VAL, Bits(0.0)},   {2.0, -HUGE_VAL, Bits(0.0)},   {-2.0, HUGE_VAL, Bits(HUGE_VAL)},
      {1.0, 5.0, Bits(1.0)},        {-1.0, 2.0, Bits(1.0)},
  };
  for (const Case& c : cases) {
    std::string thrown;
    double r = Call2("pow", c.x, c.y, &thrown);
    EXPECT_EQ("", thrown);
    if (c.expected == kCanonicalNaN)
      EXPECT_TRUE(isnan(r)) << c.x << " pow " << c.y;
    else
      EXPECT_EQ(c.expected, Bits(r)) << c.x << " pow " << c.y;
  }
}

TEST_F(MathTest, SqrtRintAndTheStraightFunctionsKeepJavasSpecialValues) {
  Unary sqrtF = MathUnary("sqrt");
  Unary rint = MathUnary("rint");
  ASSERT_NE(nullptr, sqrtF);
  ASSERT_NE(nullptr, rint);
  EXPECT_EQ(kCanonicalNaN, Bits(sqrtF(m.env, nullptr, -1.0)));
  EXPECT_EQ(kCanonicalNaN, Bits(sqrtF(m.env, nullptr, -HUGE_VAL)));
  EXPECT_TRUE(isnan(sqrtF(m.env, nullptr, NAN)));
  EXPECT_EQ(Bits(-0.0), Bits(sqrtF(m.env, nullptr, -0.0)));
  EXPECT_EQ(Bits(HUGE_VAL), Bits(sqrtF(m.env, nullptr, HUGE_VAL)));
  EXPECT_EQ(Bits(3.0), Bits(sqrtF(m.env, nullptr, 9.0)));
  double rintCases[][2] = {{2.5, 2.0},  {3.5, 4.0},   {-2.5, -2.0}, {-2.7, -3.0}, {0.49, 0.0},
                           {-0.4, -0.0}, {0.5, 0.0},  {1.5, 2.0},   {4503599627370497.0, 4503599627370497.0},
                           {1e300, 1e300}, {-HUGE_VAL, -HUGE_VAL}};
  for (auto& c : rintCases) EXPECT_EQ(Bits(c[1]), Bits(rint(m.env, nullptr, c[0]))) << c[0];
  EXPECT_TRUE(isnan(rint(m.env, nullptr, NAN)));
  EXPECT_EQ(Bits(-0.0), Bits(MathUnary("sin")(m.env, nullptr, -0.0)));
  EXPECT_EQ(Bits(-HUGE_VAL), Bits(MathUnary("log")(m.env, nullptr, 0.0)));
  EXPECT_TRUE(isnan(MathUnary("log")(m.env, nullptr, -1.0)));
  EXPECT_EQ(Bits(0.0), Bits(MathUnary("exp")(m.env, nullptr, -HUGE_VAL)));
  EXPECT_EQ(Bits(-0.0), Bits(MathUnary("ceil")(m.env, nullptr, -0.5)));
  EXPECT_TRUE(isnan(MathUnary("asin")(m.env, nullptr, 2.0)));
  EXPECT_EQ(Bits(M_PI / 2), Bits(Call2("atan2", 1.0, 0.0)));
  EXPECT_EQ(Bits(-M_PI), Bits(Call2("atan2", -0.0, -1.0)));
  EXPECT_EQ("", m.TakeException());
}

/* The x87 control word is the host's: a host that unmasked the invalid operation and
   rounds up must neither get a signal nor change a result, and gets its word back. */
TEST_F(MathTest, TheHostsFloatingPointControlWordChangesNothingAndIsKept) {
#if !defined(__SANITIZE_ADDRESS__)
  // The sanitizer's allocator stores 64-bit words through the x87 unit, which would raise
  // the invalid operation that log(-1) leaves pending under this control word.
  uint16_t saved;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  uint16_t hostile = (uint16_t)((saved & ~0x0C01u) | 0x0800u);  // invalid unmasked, round up
  __asm__ volatile("fldcw %0" : : "m"(hostile));
  double logOfMinus = MathUnary("log")(m.env, nullptr, -1.0);
  double rinted = MathUnary("rint")(m.env, nullptr, 2.5);
  double rem = Call2("IEEEremainder", 3.0, 2.0);
  double root = Call2("pow", 2.0, 0.5);
  uint16_t after;
  __asm__ volatile("fnstcw %0" : "=m"(after));
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(saved));
  EXPECT_EQ(hostile, after);
  EXPECT_TRUE(isnan(logOfMinus));
  EXPECT_EQ(2.0, rinted);
  EXPECT_EQ(-1.0, rem);
  EXPECT_EQ(Bits(pow(2.0, 0.5)), Bits(root));
#endif
}

TEST_F(MathTest, BitConversionsCanonicaliseNaNOneWayAndKeepBitsTheOther) {
  ToLongBits toLong = (ToLongBits)m.Native("java/lang/Double", "doubleToLongBits", "(D)J");
  FromLongBits fromLong = (FromLongBits)m.Native("java/lang/Double", "longBitsToDouble", "(J)D");
  ToIntBits toInt = (ToIntBits)m.Native("java/lang/Float", "floatToIntBits", "(F)I");
  FromIntBits fromInt = (FromIntBits)m.Native("java/lang/Float", "intBitsToFloat", "(I)F");
  ASSERT_TRUE(toLong && fromLong && toInt && fromInt);
  const uint64_t nans[] = {0xFFF8000000000000ull, 0x7FF0000000000001ull, 0x7FF80000DEADBEEFull,
                           0xFFFFFFFFFFFFFFFFull, kCanonicalNaN};
  for (uint64_t n : nans) EXPECT_EQ((jlong)kCanonicalNaN, toLong(m.env, nullptr, Double(n))) << std::hex << n;
  const uint64_t kept[] = {0, 0x8000000000000000ull, 0x7FF0000000000000ull, 0xFFF0000000000000ull,
                           0x0000000000000001ull, 0x3FF8000000000000ull};
  for (uint64_t k : kept) {
    EXPECT_EQ((jlong)k, toLong(m.env, nullptr, Double(k)));
    EXPECT_EQ(k, Bits(fromLong(m.env, nullptr, (jlong)k)));
  }
  // A quiet NaN's payload survives the way back; a signalling one is quieted by the
  // calling convention's floating-point return register, which Java allows.
  EXPECT_EQ(0x7FF80000DEADBEEFull, Bits(fromLong(m.env, nullptr, (jlong)0x7FF80000DEADBEEFull)));
  const uint32_t floatNans[] = {0xFFC00000u, 0x7F800001u, 0x7FC0BEEFu, 0xFFFFFFFFu};
  for (uint32_t n : floatNans) EXPECT_EQ(0x7FC00000, toInt(m.env, nullptr, Float(n))) << std::hex << n;
  for (uint32_t k : {0u, 0x80000000u, 0x7F800000u, 0x00000001u, 0x3FC00000u}) {
    EXPECT_EQ((jint)k, toInt(m.env, nullptr, Float(k)));
    float f = fromInt(m.env, nullptr, (jint)k);
    uint32_t back;
    memcpy(&back, &f, 4);
    EXPECT_EQ(k, back);
  }
  EXPECT_TRUE(JVM_IsNaN(Double(0x7FF0000000000001ull)));
  EXPECT_TRUE(JVM_IsNaN(Double(0xFFF8000000000000ull)));
  EXPECT_FALSE(JVM_IsNaN(HUGE_VAL));
  EXPECT_FALSE(JVM_IsNaN(0.0));
  EXPECT_EQ(1, JVM_IsNaN(NAN));
}

TEST_F(MathTest, ValueOfParsesInTheCLocaleWhateverTheProcessLocale) {
  Parse parse = (Parse)m.Native("java/lang/Double", "valueOf0", "(Ljava/lang/String;)D");
  ASSERT_NE(nullptr, parse);
  auto run = [&](const char* text, std::string* thrown) {
    jstring s = text != nullptr ? (jstring)m.Local(m.String(text)) : nullptr;
    double d = parse(m.env, nullptr, s);
    *thrown = m.TakeException();
    return d;
  };
  std::string thrown;
  EXPECT_EQ(1.5, run("1.5", &thrown));
  EXPECT_EQ("", thrown);
  EXPECT_EQ(1.5, run(" 1.5", &thrown));
  EXPECT_EQ("", thrown);
  run("1.5x", &thrown);
  EXPECT_EQ("java.lang.NumberFormatException", thrown);
  run("1.5 ", &thrown);
  EXPECT_EQ("java.lang.NumberFormatException", thrown);
  EXPECT_EQ(0.0, run("", &thrown));
  EXPECT_EQ("", thrown);
  EXPECT_EQ(0.0, run(nullptr, &thrown));
  EXPECT_EQ("java.lang.NullPointerException", thrown);
  // A host in a decimal-comma locale: "1.5" still reads as one and a half.
  locale_t comma = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", (locale_t)0);
  if (comma == (locale_t)0) comma = newlocale(LC_NUMERIC_MASK, "fr_FR.UTF-8", (locale_t)0);
  if (comma == (locale_t)0) GTEST_SKIP() << "no decimal-comma locale installed";
  locale_t previous = uselocale(comma);
  double underComma = run("1.5", &thrown);
  uselocale(previous);
  freelocale(comma);
  EXPECT_EQ(1.5, underComma);
  EXPECT_EQ("", thrown);
}

TEST_F(MathTest, JavaCodeGetsTheSameAnswersThroughTheNativeCallPath) {
  EXPECT_EQ(0, m.Call("natives/MathCases", "values", "()I").Int());
  EXPECT_EQ(0, m.Call("natives/MathCases", "bits", "()I").Int());
  EXPECT_EQ(0, m.Call("natives/MathCases", "parsing", "()I").Int());
  Outcome pow = m.Call("natives/MathCases", "powThrows", "()I");
  EXPECT_EQ("", pow.thrown);
  EXPECT_EQ(0, pow.Int());
}

/* From bytecode the natives that only compute are called in place, without a native
   frame: every one answers there what its row answers, bit for bit, over the edges (NaN
   with a payload, infinities, zeros of both signs, subnormals, huge values), a refused
   pow still throws, and the host's control word is kept. */
TEST_F(MathTest, BytecodeGetsTheRowsAnswersBitForBitWithoutANativeFrame) {
  static const char* const kNames[] = {"sin",  "cos",  "tan",   "asin", "acos",          "atan",  "exp", "log",
                                       "sqrt", "ceil", "floor", "rint", "IEEEremainder", "atan2", "pow"};
  const double values[] = {0.0,     -0.0,     kMin,    -kMin,   1.0,  -1.0,         0.5,
                           -2.5,    3.0,      1e300,   -1e300,  HUGE_VAL, -HUGE_VAL, Double(0x7FF4000000000123ull),
                           Double(kCanonicalNaN), 2.5, 710.0, M_PI / 2};
  auto interpreted = [&](int which, double x, double y, std::string* thrown) {
    uint64_t bx = Bits(x), by = Bits(y);
    Outcome o = m.Call("natives/MathLeaf", "call", "(IDD)D",
                       {(VMword)which, (VMword)bx, (VMword)(bx >> 32), (VMword)by, (VMword)(by >> 32)});
    *thrown = o.thrown.empty() ? "" : o.thrown + ": " + o.message;
    return Double((uint64_t)o.Long());
  };
  for (int which = 0; which < 15; which++) {
    bool binary = which >= 12;
    for (double x : values) {
      for (double y : values) {
        if (!binary && Bits(y) != Bits(values[0])) break;
        std::string rowThrown, codeThrown;
        double row = binary ? Call2(kNames[which], x, y, &rowThrown)
                            : MathUnary(kNames[which])(m.env, nullptr, x);
        double code = interpreted(which, x, y, &codeThrown);
        EXPECT_EQ(rowThrown.empty(), codeThrown.empty()) << kNames[which] << "(" << x << ", " << y << ") " << codeThrown;
        if (rowThrown.empty()) {
          EXPECT_EQ(Bits(row), Bits(code)) << kNames[which] << "(" << x << ", " << y << ")";
        }
      }
    }
  }
  std::string thrown;
  interpreted(14, 0.0, -1.0, &thrown);
  EXPECT_NE(std::string::npos, thrown.find("ArithmeticException: illegal arguments to pow()")) << thrown;
  interpreted(14, -2.0, 0.5, &thrown);
  EXPECT_NE(std::string::npos, thrown.find("ArithmeticException")) << thrown;
#if !defined(__SANITIZE_ADDRESS__)
  // The sanitizer's allocator stores 64-bit words through the x87 unit, which would raise
  // the invalid operation that log(-1) leaves pending under this control word.
  uint16_t saved;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  uint16_t hostile = (uint16_t)((saved & ~0x0C01u) | 0x0800u);  // invalid unmasked, round up
  __asm__ volatile("fldcw %0" : : "m"(hostile));
  double logOfMinus = interpreted(7, -1.0, 0.0, &thrown);
  double root = interpreted(14, 2.0, 0.5, &thrown);
  uint16_t after;
  __asm__ volatile("fnstcw %0" : "=m"(after));
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(saved));
  EXPECT_EQ(hostile, after);
  EXPECT_TRUE(isnan(logOfMinus));
  EXPECT_EQ(Bits(pow(2.0, 0.5)), Bits(root));
#endif
}

/* Processes launched together read the same millisecond, and so did their generators'
   seeds: what else enters the seed must tell apart even two seeds taken one after the
   other in one process. */
TEST_F(MathTest, RandomSeedsOfOneMillisecondDiffer) {
  const jlong ms = 1765000000000LL;
  std::set<uint64_t> seeds;
  for (int i = 0; i < 64; i++) {
    const uint64_t seed = javalang::RandomSeed(ms);
    EXPECT_EQ(0u, seed >> 48) << "a 48-bit seed";
    seeds.insert(seed);
  }
  EXPECT_EQ(64u, seeds.size());
}

}  // namespace
