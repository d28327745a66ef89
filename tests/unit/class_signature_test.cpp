/* Type signatures: the item scanner, field-type validation and the argument maps that
   the interpreter and the collector read. */
#include "class_support.h"

#include "vmliteral.h"

namespace class_test {
namespace {

class SignatureTest : public core_test::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    MakeNameSpace(0x400, 0x100);
  }
};

struct ScanCase {
  const char* text;
  VMMethod::SigTypes kind;
  uint32_t consumed;  /* characters the item takes */
};

TEST_F(SignatureTest, ScanSigItemReadsOneItem) {
  const ScanCase cases[] = {
      {")", VMMethod::SigEndParms, 1},   {"[I", VMMethod::SigArray, 2},
      {"[[J", VMMethod::SigArray, 3},    {"[Ljava/lang/Object;", VMMethod::SigArray, 19},
      {"La/B;I", VMMethod::SigObject, 5}, {"J", VMMethod::SigLong, 1},
      {"D", VMMethod::SigDouble, 1},     {"B", VMMethod::SigByte, 1},
      {"C", VMMethod::SigChar, 1},       {"F", VMMethod::SigFloat, 1},
      {"I", VMMethod::SigInt, 1},        {"S", VMMethod::SigShort, 1},
      {"Z", VMMethod::SigBoolean, 1},    {"V", VMMethod::SigVoid, 1},
      {"", VMMethod::SigEnd, 0},         {"Q", VMMethod::SigInvalid, 1},
      {"La/B", VMMethod::SigInvalid, 4}, {"[V", VMMethod::SigInvalid, 2},
      // An array of ')' or of nothing is no type.
      {"[)", VMMethod::SigInvalid, 2},   {"[", VMMethod::SigInvalid, 1},
      // A class name is never empty.
      {"L;", VMMethod::SigInvalid, 2},   {"[L;", VMMethod::SigInvalid, 3},
  };
  for (const ScanCase& c : cases) {
    VMLiteralIterator it(Lit(c.text));
    EXPECT_EQ(c.kind, VMMethod::ScanSigItem(it)) << c.text;
    EXPECT_EQ(c.consumed, it.GetNextIndex()) << c.text;
  }
}

TEST_F(SignatureTest, ValidSignatureAcceptsExactlyOneFieldType) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"I", true},   {"[[D", true}, {"Ljava/lang/String;", true}, {"[Lx;", true},
      {"V", false},  {"[V", false}, {"II", false}, {"", false}, {"Lx", false},
      {")", false},  {"[)", false}, {"L;", false}, {"Lx;I", false}, {"(I)V", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.valid, VMMember::ValidSignature(Lit(c.text))) << c.text;
  EXPECT_FALSE(VMMember::ValidSignature(nullptr));
}

struct ClassifyCase {
  const char* text;
  bool isStatic;
  bool ok;
  uint32_t parameterWords;
  uint32_t returnWords;
  VMword objectBits;
  VMword twoWordBits;
  VMword floatBits;
  jchar returnChar;
};

TEST_F(SignatureTest, ClassifySignatureBuildsTheArgumentMaps) {
  const ClassifyCase cases[] = {
      {"(JD)V", true, true, 4, 0, 0x0, 0xF, 0xC, 'V'},
      {"(Ljava/lang/Object;)Ljava/lang/String;", false, true, 2, 1, 0x7, 0, 0, 'L'},
      {"()V", false, true, 1, 0, 0x1, 0, 0, 'V'},
      {"()V", true, true, 0, 0, 0x0, 0, 0, 'V'},
      {"(F[IZ)J", true, true, 3, 2, 0x2, 0, 0x1, 'J'},
      {"(ID)[B", false, true, 4, 1, 0x11, 0xC, 0xC, '['},
      {"(SCB)D", true, true, 3, 2, 0, 0, 0, 'D'},
      {"()", true, false, 0, 0, 0, 0, 0, 0},
      {"(I", true, false, 0, 0, 0, 0, 0, 0},
      {"(I)VX", true, false, 0, 0, 0, 0, 0, 0},
      {"([V)V", true, false, 0, 0, 0, 0, 0, 0},
      {"([))V", true, false, 0, 0, 0, 0, 0, 0},
      {"(V)V", true, false, 0, 0, 0, 0, 0, 0},
      {"I)V", true, false, 0, 0, 0, 0, 0, 0},
      {"(L;)V", true, false, 0, 0, 0, 0, 0, 0},
      {"(I)Q", true, false, 0, 0, 0, 0, 0, 0},
  };
  for (const ClassifyCase& c : cases) {
    VMMethod::SignatureInfo info;
    bool ok = VMMethod::ClassifySignature(Lit(c.text), c.isStatic, &info);
    EXPECT_EQ(c.ok, ok) << c.text;
    if (!ok || !c.ok) continue;
    EXPECT_EQ(c.parameterWords, info.parameterWords) << c.text;
    EXPECT_EQ(c.returnWords, info.returnWords) << c.text;
    EXPECT_EQ(c.objectBits, info.objectBits) << c.text;
    EXPECT_EQ(c.twoWordBits, info.twoWordBits) << c.text;
    EXPECT_EQ(c.floatBits, info.floatBits) << c.text;
    EXPECT_EQ(c.returnChar, info.returnChar) << c.text;
    EXPECT_FALSE(info.moreParmsThanBits) << c.text;
  }
  EXPECT_FALSE(VMMethod::ClassifySignature(nullptr, true, nullptr));
}

TEST_F(SignatureTest, ReturnTypeIsLocatedInBytesAndCharacters) {
  VMMethod::SignatureInfo info;
  ASSERT_TRUE(VMMethod::ClassifySignature(Lit("(IJ)[Ljava/lang/String;"), true, &info));
  EXPECT_EQ(4u, info.returnStart);
  EXPECT_EQ(4u, info.returnCharIndex);
  EXPECT_EQ(19u, info.returnLength);
  // A two-byte character in a class name moves the byte index but not the character index.
  ASSERT_TRUE(VMMethod::ClassifySignature(Lit("(L\xc3\xa9;)I"), true, &info));
  EXPECT_EQ(6u, info.returnStart);
  EXPECT_EQ(5u, info.returnCharIndex);
  EXPECT_EQ(1u, info.returnLength);
}

TEST_F(SignatureTest, ManyArgumentWordsLeaveTheBitMaps) {
  std::string sig = "(";
  for (int i = 0; i < 30; i++) sig += "I";
  sig += "Ljava/lang/Object;J)Ljava/lang/Object;";
  VMMethod::SignatureInfo info;
  ASSERT_TRUE(VMMethod::ClassifySignature(Lit(sig.c_str()), false, &info));
  EXPECT_EQ(34u, info.parameterWords);
  EXPECT_TRUE(info.moreParmsThanBits);
  // Receiver and the object argument at word 31 fit; the long and the result do not.
  EXPECT_EQ(0x80000001u, info.objectBits);
  EXPECT_EQ(0u, info.twoWordBits);

  sig = "(";
  for (int i = 0; i < 31; i++) sig += "I";
  sig += ")V";
  ASSERT_TRUE(VMMethod::ClassifySignature(Lit(sig.c_str()), true, &info));
  EXPECT_FALSE(info.moreParmsThanBits);
  ASSERT_TRUE(VMMethod::ClassifySignature(Lit(sig.c_str()), false, &info));
  EXPECT_TRUE(info.moreParmsThanBits);
}


/* Signatures are read in place when their text is all ASCII and lies in the literal's
   own block, and character by character otherwise: a class name grown across the end
   of the first part (776 bytes), or holding a two-byte character, gives the same maps,
   and the same refusals, with the byte and character positions moving as they must. */
TEST_F(SignatureTest, EveryReadingOfASignatureGivesTheSameAnswer) {
  for (uint32_t n = 760; n <= 790; n++) {
    for (int wide = 0; wide < 2; wide++) {
      std::string name = wide ? std::string("\xc3\xa9") + std::string(n - 2, 'a') : std::string(n, 'a');
      uint32_t chars = wide ? n - 1 : n;
      SCOPED_TRACE(std::to_string(n) + (wide ? " wide" : ""));
      std::string sig = "(L" + name + ";JD)[I";
      VMMethod::SignatureInfo info;
      ASSERT_TRUE(VMMethod::ClassifySignature(Lit(sig.c_str()), false, &info));
      EXPECT_EQ(6u, info.parameterWords);
      EXPECT_EQ(1u, info.returnWords);
      EXPECT_EQ(0x43u, info.objectBits);
      EXPECT_EQ(0x3Cu, info.twoWordBits);
      EXPECT_EQ(0x30u, info.floatBits);
      EXPECT_EQ((jchar)'[', info.returnChar);
      EXPECT_EQ(n + 6, info.returnStart);
      EXPECT_EQ(chars + 6, info.returnCharIndex);
      EXPECT_EQ(2u, info.returnLength);
      ASSERT_TRUE(VMMethod::ClassifySignature(Lit(sig.c_str()), true, &info));
      EXPECT_EQ(5u, info.parameterWords);
      EXPECT_EQ(0x21u, info.objectBits);
      // The same signature cut short or run on is refused either way.
      for (const std::string& bad : {"(L" + name + "JD)[I", "(L" + name + ";JD)[", "(L" + name + ";JD)[IV",
                                     "(L" + name + ";JD", "(L" + name + ";Q)V"}) {
        EXPECT_FALSE(VMMethod::ClassifySignature(Lit(bad.c_str()), true, &info)) << bad.size();
      }
      EXPECT_TRUE(VMMember::ValidSignature(Lit(("[L" + name + ";").c_str())));
      EXPECT_FALSE(VMMember::ValidSignature(Lit(("[L" + name).c_str())));
      EXPECT_FALSE(VMMember::ValidSignature(Lit(("L" + name + ";I").c_str())));
    }
  }
  // Dimensions are counted alike in place and past the first part.
  for (uint32_t pad : {0u, 700u}) {
    std::string element = pad == 0 ? "I" : "L" + std::string(pad, 'b') + ";";
    EXPECT_TRUE(VMMember::ValidSignature(Lit((std::string(255, '[') + element).c_str()))) << pad;
    EXPECT_FALSE(VMMember::ValidSignature(Lit((std::string(256, '[') + element).c_str()))) << pad;
    VMMethod::SignatureInfo info;
    EXPECT_TRUE(VMMethod::ClassifySignature(Lit(("(" + std::string(255, '[') + element + ")V").c_str()), true, &info));
    EXPECT_FALSE(VMMethod::ClassifySignature(Lit(("(" + std::string(256, '[') + element + ")V").c_str()), true, &info));
  }
}
}  // namespace
}  // namespace class_test
