/* The value conversions every reflective access goes through (Widen, UnWrap, Wrap), and
   the layouts of the reflection objects by library version. */
#include <string.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "natives_support.h"
#include "vmjavalangreflectfield.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

typedef VMJavaLangReflectField R;

const int32_t kCodes[] = {-1, 0, 4, 5, 6, 7, 8, 9, 10, 11};
const char* Letter(int32_t code) {
  switch (code) {
    case -1: return "V";
    case 0: return "L";
    case 4: return "Z";
    case 5: return "C";
    case 6: return "F";
    case 7: return "D";
    case 8: return "B";
    case 9: return "S";
    case 10: return "I";
    default: return "J";
  }
}

uint32_t FloatBits(float f) {
  uint32_t b;
  memcpy(&b, &f, 4);
  return b;
}

uint64_t Words(const VMword* v) { return (uint64_t)v[1] << 32 | v[0]; }

/* Every pair of the ten codes: exactly Java's widening conversions (and identity) are
   allowed, and a refused one leaves the value alone. */
TEST(WidenTest, AllowsExactlyJavasWideningPairs) {
  // From the language's table of widening primitive conversions.
  const std::set<std::string> allowed = {"BS", "BI", "BJ", "BF", "BD", "SI", "SJ", "SF", "SD", "CI", "CJ",
                                         "CF", "CD", "IJ", "IF", "ID", "JF", "JD", "FD"};
  for (int32_t from : kCodes) {
    for (int32_t to : kCodes) {
      std::string pair = std::string(Letter(from)) + Letter(to);
      VMword v[2] = {0x12345678u, 0x9ABCDEF0u};
      bool expected = from == to || allowed.count(pair) != 0;
      EXPECT_EQ(expected, R::Widen(from, to, v)) << pair;
      if (!expected) {
        EXPECT_EQ(0x12345678u, v[0]) << pair;
        EXPECT_EQ(0x9ABCDEF0u, v[1]) << pair;
      }
    }
  }
}

TEST(WidenTest, ConvertsValuesAsJavaDoes) {
  struct Case {
    int32_t from, to;
    VMword in0, in1;
    uint64_t out;  // the words after, word 1 high (a one-word result in the low half)
    bool twoWords;
  } cases[] = {
      // Sign- and zero-extension of the int-like kinds into a long.
      {10, 11, 0xFFFFFFFFu, 0, 0xFFFFFFFFFFFFFFFFull, true},
      {8, 11, (VMword)-5, 0, (uint64_t)(int64_t)-5, true},
      {9, 11, (VMword)-300, 0, (uint64_t)(int64_t)-300, true},
      {5, 11, 0xFFFFu, 0, 0xFFFFull, true},
      // One rounding from an int to a float: 2^24 + 1 is a tie and goes to even.
      {10, 6, 16777217u, 0, 0x4B800000u, false},
      {10, 6, (VMword)INT32_MIN, 0, 0xCF000000u, false},
      {5, 6, 0xFFFFu, 0, FloatBits(65535.0f), false},
      // A long to a double rounds once: 2^53 + 1 ties to 2^53.
      {11, 7, 1u, 0x200000u, 0x4340000000000000ull, true},
      // A long to a float rounds once, straight from the long: 2^60 + 2^36 + 1 is above
      // the half-way point and rounds up (by way of a double it would tie down to 2^60).
      {11, 6, 1u, 0x10000010u, 0x5D800001u, false},
      {11, 6, 0xFFFFFFFFu, 0xFFFFFFFFu, FloatBits(-1.0f), false},
      // A float's exact value as a double, and the int kinds' exact values.
      {6, 7, FloatBits(0.1f), 0, 0x3FB99999A0000000ull, true},
      {10, 7, (VMword)-70000, 0, 0xC0F1170000000000ull, true},
      {8, 10, (VMword)-3, 0, 0xFFFFFFFDu, false},
  };
  for (const Case& c : cases) {
    VMword v[2] = {c.in0, c.in1};
    ASSERT_TRUE(R::Widen(c.from, c.to, v)) << c.from << "->" << c.to;
    if (c.twoWords)
      EXPECT_EQ(c.out, Words(v)) << c.from << "->" << c.to;
    else
      EXPECT_EQ((VMword)c.out, v[0]) << c.from << "->" << c.to;
  }
}

class BoxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }
  Machine m;
};

/* Every box kind made and taken apart again keeps its bits: a long of -1 in both words,
   signalling and quiet NaN payloads, the largest char. */
TEST_F(BoxTest, WrapAndUnWrapKeepEveryBit) {
  struct Case {
    int32_t code;
    VMword w0, w1;
    const char* cls;
  } cases[] = {
      {4, 1, 0, "java.lang.Boolean"},        {5, 0xFFFF, 0, "java.lang.Character"},
      {6, 0x7F800001u, 0, "java.lang.Float"}, {6, 0xFFC12345u, 0, "java.lang.Float"},
      {7, 0x00000001u, 0x7FF00000u, "java.lang.Double"}, {7, 0xDEADBEEFu, 0xFFF81234u, "java.lang.Double"},
      {8, (VMword)-128, 0, "java.lang.Byte"}, {9, (VMword)-32768, 0, "java.lang.Short"},
      {10, 0x80000000u, 0, "java.lang.Integer"}, {11, 0xFFFFFFFFu, 0xFFFFFFFFu, "java.lang.Long"},
      {11, 0x00000002u, 0x00000001u, "java.lang.Long"},
  };
  for (const Case& c : cases) {
    VMword in[2] = {c.w0, c.w1};
    VMObject* box = R::Wrap(m.env, c.code, in);
    ASSERT_NE(nullptr, box) << c.cls;
    char* name = box->GetClass()->GetDotNameUTF8();
    EXPECT_STREQ(c.cls, name);
    VMLiteral::FreeUTF8(name);
    VMword out[2] = {0xAAAAAAAAu, 0xBBBBBBBBu};
    EXPECT_EQ((uint32_t)c.code, R::UnWrap(box, out)) << c.cls;
    EXPECT_EQ(c.w0, out[0]) << c.cls;
    if (c.code == 7 || c.code == 11) {
      EXPECT_EQ(c.w1, out[1]) << c.cls;
    }
  }
  EXPECT_EQ("", m.TakeException());
}

TEST_F(BoxTest, UnWrapAnswersZeroForEverythingThatIsNoBox) {
  VMword out[2] = {1, 1};
  EXPECT_EQ(0u, R::UnWrap(nullptr, out));
  EXPECT_EQ(0u, out[0]);
  VMObject* s = m.String("7");
  EXPECT_EQ(0u, R::UnWrap(s, out));
  EXPECT_EQ((VMword)s, out[0]);
  // A class descriptor and a machine record are no boxes either.
  VMObject* cls = (VMObject*)m.Class("java/lang/Integer");
  EXPECT_EQ(0u, R::UnWrap(cls, out));
  EXPECT_EQ(0u, R::UnWrap((VMObject*)m.ns->GetLiterals(), out));
}

TEST_F(BoxTest, WrapOfVoidOrNoPrimitiveMakesNothingAndRaisesNothing) {
  VMword v[2] = {7, 0};
  EXPECT_EQ(nullptr, R::Wrap(m.env, -1, v));
  EXPECT_EQ(nullptr, R::Wrap(m.env, 0, v));
  EXPECT_EQ(nullptr, R::Wrap(m.env, 12, v));
  EXPECT_EQ("", m.TakeException());
}

/* A box that cannot be allocated is OutOfMemoryError, never a null box with nothing
   pending (which Java would meet as a null Integer). */
TEST_F(BoxTest, ARefusedBoxRaisesOutOfMemoryError) {
  VMword v[2] = {7, 0};
  (void)R::Wrap(m.env, 10, v);  // the class is initialised before the refusal
  refhost::FailNextAllocations(1000);
  VMObject* box = R::Wrap(m.env, 10, v);
  refhost::FailNextAllocations(0);
  EXPECT_EQ(nullptr, box);
  EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException());
}

/* ---- layouts ---- */

uint32_t WordsOf(VMObject* o) { return o->GetLoadableClass()->GetCreateSize(); }

TEST(LayoutTest, TheOldLibraryGetsFourAndSixWordObjects) {
  Machine m;
  ASSERT_TRUE(m.Create(1, "reflect"));
  VMLoadableClass* fixture = m.Class("reflect/Fixture");
  ASSERT_NE(nullptr, fixture);
  VMJavaLangReflectFieldArray* fields = VMClassReflectInfo::GetFields(m.env, (VMClass*)fixture, 1);
  VMJavaLangReflectMethodArray* methods = VMClassReflectInfo::GetMethods(m.env, (VMClass*)fixture, 1);
  VMJavaLangReflectConstructorArray* constructors = VMClassReflectInfo::GetConstructors(m.env, (VMClass*)fixture, 1);
  ASSERT_TRUE(fields != nullptr && methods != nullptr && constructors != nullptr);
  ASSERT_GT(fields->GetSize(), 0u);
  VMJavaLangReflectField* f = fields->Get(0);
  EXPECT_EQ(4u, WordsOf(f));
  EXPECT_EQ(VMTag_VMJavaLangReflectField116, f->GetTag());
  EXPECT_EQ(6u, WordsOf(methods->Get(0)));
  EXPECT_EQ(4u, WordsOf(constructors->Get(0)));
  // The 1.1 layout has no modifiers word: the accessor says 0.
  EXPECT_EQ(0, f->GetModifiers(1));
  ASSERT_NE(nullptr, f->GetVMDataMember(1));
  EXPECT_EQ((VMLoadableClass*)fixture, f->GetReflectClass(1));
  // Read with another version's layout, the same object names nothing.
  EXPECT_EQ(nullptr, f->GetVMDataMember(2));
  EXPECT_EQ(nullptr, f->GetVMDataMember(0));
  EXPECT_EQ(nullptr, methods->Get(0)->GetVMMethod(3));
  m.Destroy();
}

/* A library version whose layouts the library's classes do not have: the machine starts,
   says so in the log, and reflection makes no object of the wrong size. */
class LayoutMismatchTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(LayoutMismatchTest, ReflectionRefusesAndTheLogSaysWhy) {
  Machine m;
  m.captureFromStart = true;
  ASSERT_TRUE(m.Create(GetParam(), "reflect"));
  std::string log = refhost::CapturedLog();
  EXPECT_NE(std::string::npos, log.find("java/lang/reflect/Field of the class library has 4 instance words; library "
                                        "version " + std::to_string(GetParam()) + " needs 6: reflection refused"))
      << log;
  EXPECT_NE(std::string::npos, log.find("java/lang/reflect/Method of the class library has 6 instance words")) << log;
  VMLoadableClass* fixture = m.Class("reflect/Fixture");
  ASSERT_NE(nullptr, fixture);
  EXPECT_EQ(nullptr, VMClassReflectInfo::GetFields(m.env, (VMClass*)fixture, 1));
  natives_test::Outcome out;
  EXPECT_EQ("java.lang.InternalError", m.TakeException(&out));
  EXPECT_NE(std::string::npos, out.message.find("reflection refused")) << out.message;
  // An empty array needs no object of the layout.
  VMJavaLangReflectMethodArray* none = VMClassReflectInfo::GetMethods(m.env, (VMClass*)m.Class("java/lang/Object")->MakeArrayOf(), 0);
  ASSERT_NE(nullptr, none);
  EXPECT_EQ(0u, none->GetSize());
  refhost::SetCapture(false);
  m.Destroy();
}

INSTANTIATE_TEST_SUITE_P(Versions, LayoutMismatchTest, ::testing::Values(0, 2, 3));

}  // namespace
