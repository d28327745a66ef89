/* The error carrier, the modified UTF-8 codec and native symbol names. */
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>

#include "core_support.h"
#include "vmerrorcatcher.h"
#include "vmliteral.h"
#include "vmutils_native.h"

using core_test::CoreTest;

/* Natives the look-up tests find in this program (linked with -rdynamic). */
JNIEXPORT uint32_t Java_p_C_f__I(JNIEnv*, void*, jint) { return 1; }
JNIEXPORT uint32_t Java_p_C_f__Ljava_lang_String_2(JNIEnv*, void*, void*) { return 2; }
JNIEXPORT uint32_t Java_p_C_get_1x(JNIEnv*, void*) { return 3; }

namespace {

/* ------------------------------------------------------------------------------------ */
/* Error carrier                                                                         */

/* Fails depth calls below its caller. */
template <int depth>
void FailAt(VMErrorCatcher& catcher, VMStatus status) {
  FailAt<depth - 1>(catcher, status);
}
template <>
void FailAt<0>(VMErrorCatcher& catcher, VMStatus status) {
  catcher.Throw(status);
}

TEST(CoreErrorCatcher, PassingChecksReturnAndLeaveTheStatus) {
  VMErrorCatcher catcher;
  volatile int landed = 0;
  if (VM_CATCHER_ARM(catcher)) {
    landed = 1;
  } else {
    catcher.status = 7;
    int x = 0;
    catcher.CheckStatus(0);
    catcher.NotNull(&x);
    catcher.Verify(true);
    catcher.ClassFormat(true);
    catcher.TavikSerialization(true);
  }
  EXPECT_EQ(0, landed);
  EXPECT_EQ(7, catcher.GetErrorCode());
}

TEST(CoreErrorCatcher, EachFailingCheckLandsWithItsStatus) {
  struct Case {
    void (*fail)(VMErrorCatcher&);
    VMStatus status;
  } cases[] = {
      {[](VMErrorCatcher& c) { c.NoMemory(); }, VMStatus_OutOfMemoryError},
      {[](VMErrorCatcher& c) { c.NotNull(nullptr); }, VMStatus_OutOfMemoryError},
      {[](VMErrorCatcher& c) { c.Verify(false); }, VMStatus_VerifyError},
      {[](VMErrorCatcher& c) { c.ClassFormat(false); }, VMStatus_ClassFormatError},
      {[](VMErrorCatcher& c) { c.TavikSerialization(false); }, VMStatus_TavikSerializationError},
      {[](VMErrorCatcher& c) { c.CheckStatus(27); }, VMStatus_InstantiationException},
  };
  for (const Case& k : cases) {
    VMErrorCatcher catcher;
    volatile bool fellThrough = false;
    if (VM_CATCHER_ARM(catcher)) {
      EXPECT_EQ(k.status, catcher.Caught());
    } else {
      k.fail(catcher);
      fellThrough = true;
    }
    EXPECT_FALSE(fellThrough) << k.status;
  }
}

TEST(CoreErrorCatcher, AJumpWithStatusZeroIsNeverReadAsSuccess) {
  VMErrorCatcher catcher;
  volatile VMStatus seen = -1;
  if (VM_CATCHER_ARM(catcher)) {
    seen = catcher.Caught();
  } else {
    FailAt<5>(catcher, 0);
  }
  EXPECT_EQ(VMStatus_InternalError, seen);
  EXPECT_EQ(VMStatus_InternalError, catcher.GetErrorCode());
}

/* Arms its own catcher, lets a deep callee fail into it and passes the failure on. */
void WorkWithInnerCatcher(VMErrorCatcher& outer, VMStatus status, volatile int& afterInner) {
  VMErrorCatcher inner;
  if (VM_CATCHER_ARM(inner)) {
    inner.ReThrow(outer);
    afterInner = 1;  // not reached: a held failure jumps to the outer catcher
    return;
  }
  FailAt<3>(inner, status);
}

/* Arms an inner catcher but fails straight into the outer one, skipping the inner. */
void FailPastInnerCatcher(VMErrorCatcher& outer, VMStatus status) {
  VMErrorCatcher inner;
  if (VM_CATCHER_ARM(inner)) {
    ADD_FAILURE() << "the inner catcher caught a failure meant for the outer one";
    return;
  }
  FailAt<4>(outer, status);
}

TEST(CoreErrorCatcher, JumpsOutOfNestedCatchersLandInTheOuterOne) {
  VMErrorCatcher outer;
  volatile int landings = 0;
  volatile int afterInner = 0;
  volatile VMStatus first = 0, second = 0;
  if (VM_CATCHER_ARM(outer)) {
    landings = landings + 1;
    if (landings == 1) {
      first = outer.Caught();
      /* The outer catcher is still armed for the rest of the work. */
      FailPastInnerCatcher(outer, VMStatus_NoSuchFieldError);
    } else {
      second = outer.Caught();
    }
  } else {
    WorkWithInnerCatcher(outer, VMStatus_VerifyError, afterInner);
  }
  EXPECT_EQ(2, landings);
  EXPECT_EQ(0, afterInner);
  EXPECT_EQ(VMStatus_VerifyError, first);
  EXPECT_EQ(VMStatus_NoSuchFieldError, second);
}

TEST(CoreErrorCatcher, ReThrowOfAHeldZeroDoesNothing) {
  VMErrorCatcher outer;
  VMErrorCatcher inner;
  volatile bool jumped = false;
  if (VM_CATCHER_ARM(outer)) {
    jumped = true;
  } else {
    inner.ReThrow(outer);
  }
  EXPECT_FALSE(jumped);
}

/* An inner catcher that lands with status 0 passes the failure on as InternalError. */
void PassOnAZeroJump(VMErrorCatcher& outer) {
  VMErrorCatcher inner;
  if (VM_CATCHER_ARM(inner)) {
    inner.Caught();
    inner.ReThrow(outer);
    ADD_FAILURE() << "a caught jump was passed on as success";
    return;
  }
  FailAt<2>(inner, 0);
}

TEST(CoreErrorCatcher, AZeroJumpPassedOnReachesTheOuterCatcherAsAFailure) {
  VMErrorCatcher outer;
  volatile VMStatus seen = 0;
  if (VM_CATCHER_ARM(outer)) {
    seen = outer.Caught();
  } else {
    PassOnAZeroJump(outer);
  }
  EXPECT_EQ(VMStatus_InternalError, seen);
}

/* The landing idiom of passing a failure on, without reading it first: a jump with
   status 0 must reach the outer catcher as a failure, not be taken for "nothing held"
   while the inner work goes on as if it had succeeded. */
void ReThrowWithoutReading(VMErrorCatcher& outer, volatile int& wentOn) {
  VMErrorCatcher inner;
  if (VM_CATCHER_ARM(inner)) {
    inner.ReThrow(outer);
    wentOn = 1;
    return;
  }
  FailAt<3>(inner, 0);
}

TEST(CoreErrorCatcher, AZeroJumpIsAFailureHoweverItIsRead) {
  VMErrorCatcher outer;
  volatile int wentOn = 0;
  volatile VMStatus seen = 0;
  if (VM_CATCHER_ARM(outer)) {
    seen = outer.GetErrorCode();
  } else {
    ReThrowWithoutReading(outer, wentOn);
  }
  EXPECT_EQ(0, wentOn) << "the inner work went on after a jump";
  EXPECT_EQ(VMStatus_InternalError, seen);

  VMErrorCatcher single;
  if (VM_CATCHER_ARM(single)) {
    EXPECT_EQ(VMStatus_InternalError, single.GetErrorCode());
  } else {
    single.Throw(0);
  }

  // Armed again after a caught failure, a later zero jump reports itself, not the first.
  VMErrorCatcher rearmed;
  volatile VMStatus second = -1;
  if (VM_CATCHER_ARM(rearmed)) {
    (void)rearmed.Caught();
  } else {
    rearmed.Throw(VMStatus_ClassFormatError);
  }
  if (VM_CATCHER_ARM(rearmed)) {
    second = rearmed.GetErrorCode();
  } else {
    rearmed.Throw(0);
  }
  EXPECT_EQ(VMStatus_InternalError, second);
}

TEST(CoreErrorCatcher, ACopyJumpsToTheSamePlace) {
  VMErrorCatcher catcher;
  volatile int landings = 0;
  if (VM_CATCHER_ARM(catcher)) {
    landings = landings + 1;
  } else {
    VMErrorCatcher copy = catcher;
    FailAt<2>(copy, VMStatus_ClassFormatError);
  }
  EXPECT_EQ(1, landings);
}

TEST(CoreErrorCatcher, NativeHandlerChainJumps) {
  VMNativeExceptionHandler older(reinterpret_cast<VMClass*>(0x1000));
  VMNativeExceptionHandler newer(nullptr);
  newer.SetNext(&older);
  EXPECT_EQ(&older, newer.GetNext());
  EXPECT_EQ(nullptr, newer.GetClass());
  EXPECT_EQ(reinterpret_cast<VMClass*>(0x1000), older.GetClass());
  volatile int resumed = 0;
  if (VM_HANDLER_ARM(newer)) {
    resumed = 1;
  } else {
    newer.JumpTo();
  }
  EXPECT_EQ(1, resumed);
}

TEST(CoreErrorCatcher, StatusTableNamesEveryCode) {
  EXPECT_STREQ("java/lang/VMOkay", VMStatusClassName(0));
  EXPECT_STREQ("java/lang/VMAlreadyThrown", VMStatusClassName(1));
  EXPECT_STREQ("java/lang/NoClassDefFoundError", VMStatusClassName(VMStatus_NoClassDefFoundError));
  EXPECT_STREQ("java/lang/OutOfMemoryError", VMStatusClassName(VMStatus_OutOfMemoryError));
  EXPECT_STREQ("java/lang/NullPointerException", VMStatusClassName(VMStatus_NullPointerException));
  EXPECT_STREQ("java/lang/TavikSerializationError", VMStatusClassName(43));
  EXPECT_EQ(nullptr, VMStatusClassName(44));
  EXPECT_EQ(nullptr, VMStatusClassName(-1));
  for (int i = 2; i < 44; i++) EXPECT_EQ(0, strncmp(VMStatusClassName(i), "java/lang/", 10)) << i;
}

/* ------------------------------------------------------------------------------------ */
/* Modified UTF-8                                                                        */

std::string Encode(jchar c) {
  char out[3];
  uint32_t n = VMLiteral::UnicodeToUTF8(c, out);
  return std::string(out, n);
}

TEST(CoreUTF8, BoundaryCharactersRoundTrip) {
  const struct {
    jchar c;
    const char* bytes;
  } cases[] = {
      {0x0000, "\xC0\x80"},     {0x0001, "\x01"},         {0x007F, "\x7F"},
      {0x0080, "\xC2\x80"},     {0x07FF, "\xDF\xBF"},     {0x0800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"}, {0xD83D, "\xED\xA0\xBD"}, {0xDE00, "\xED\xB8\x80"},
  };
  for (const auto& k : cases) {
    std::string encoded = Encode(k.c);
    EXPECT_EQ(std::string(k.bytes), encoded) << std::hex << k.c;
    jchar back = 0xABCD;
    EXPECT_EQ(encoded.size(), VMLiteral::UTF8toUnicode(encoded.data(), &back));
    EXPECT_EQ(k.c, back);
    EXPECT_EQ(encoded.size(), VMLiteral::EncodedLength(k.c));
  }
}

TEST(CoreUTF8, SurrogatePairsAreEncodedUnitByUnit) {
  /* U+1F600 as the pair D83D DE00: six bytes, never a four-byte form. */
  std::string text = Encode(0xD83D) + Encode(0xDE00);
  EXPECT_EQ(std::string("\xED\xA0\xBD\xED\xB8\x80"), text);
  EXPECT_EQ(2u, VMLiteral::UnicodeLength(text.data(), (uint32_t)text.size()));
  jchar a, b;
  uint32_t used = VMLiteral::UTF8toUnicode(text.data(), &a);
  VMLiteral::UTF8toUnicode(text.data() + used, &b);
  EXPECT_EQ(0xD83D, a);
  EXPECT_EQ(0xDE00, b);
}

TEST(CoreUTF8, UnicodeLengthRejectsACharacterRunningPastTheEnd) {
  EXPECT_EQ(0u, VMLiteral::UnicodeLength("", 0));
  EXPECT_EQ(3u, VMLiteral::UnicodeLength("a\xC0\x80" "b", 4));
  EXPECT_EQ(3u, VMLiteral::UnicodeLength("a\0b", 3));  // a zero byte counts as a character
  EXPECT_EQ(VMInvalidUTF8Length, VMLiteral::UnicodeLength("ab\xE4\xB8", 4));
  EXPECT_EQ(VMInvalidUTF8Length, VMLiteral::UnicodeLength("\xC3", 1));
  EXPECT_EQ(2u, VMLiteral::UnicodeLength("\xE4\xB8\xAD\xC3\xA9", 5));
}

TEST(CoreUTF8, DecodeBoundedNeverReadsPastTheEnd) {
  char bytes[1] = {(char)0xE4};
  jchar c = 0;
  EXPECT_EQ(1u, VMLiteral::DecodeBounded(bytes, 1, &c));
  EXPECT_EQ(0x4000, c);
}

TEST(CoreUTF8, HashTakesBytesAsSigned) {
  EXPECT_EQ(0u, VMLiteral::HashUTF8("", 0));
  EXPECT_EQ(0x41u, VMLiteral::HashUTF8("A", 1));
  EXPECT_EQ(0x452u, VMLiteral::HashUTF8("AB", 2));
  EXPECT_EQ(0x83E87C4u, VMLiteral::HashUTF8("java/lang/Object", 16));
  /* Bytes from 0x80 add negative values: unsigned bytes would give 0xCD9 and 0xF0348. */
  EXPECT_EQ(0xFFFF229u, VMLiteral::HashUTF8("\xC3\xA9", 2));
  EXPECT_EQ(0xFF00EB8u, VMLiteral::HashUTF8("\xE4\xB8\xADx", 4));
  /* It stops at a zero byte and after n bytes. */
  EXPECT_EQ(0x41u, VMLiteral::HashUTF8("A\0B", 3));
  EXPECT_EQ(0x41u, VMLiteral::HashUTF8("AB", 1));
}

/* The hash computed step by step as it is defined, against the machine's, which folds
   the bits shifted out a step later: random texts of signed bytes and zeros. */
TEST(CoreUTF8, HashMatchesItsDefinitionOnRandomBytes) {
  std::mt19937 rng(1);
  for (int k = 0; k < 50000; k++) {
    uint32_t n = rng() % 40;
    std::string text(n, '\0');
    for (auto& c : text) c = (char)(rng() % 5 == 0 ? (rng() & 0xFF) : (0x20 + rng() % 0x5F));
    uint32_t h = 0;
    for (uint32_t i = 0; i < n && text[i] != 0; i++) {
      h = (h << 4) + (uint32_t)(int32_t)(int8_t)text[i];
      uint32_t g = h & 0xF0000000u;
      h ^= g;
      h ^= g >> 24;
    }
    ASSERT_EQ(h, VMLiteral::HashUTF8(text.data(), n)) << k;
  }
}

/* ------------------------------------------------------------------------------------ */
/* Native symbol names                                                                   */

std::string Name(const char* cls, const char* method, const char* sig, bool overloaded,
                 uint32_t methodLength = 0xFFFFFFFFu) {
  char buffer[VMNativeName::BufferSize];
  memset(buffer, 'X', sizeof buffer);
  uint32_t ml = methodLength == 0xFFFFFFFFu ? (uint32_t)strlen(method) : methodLength;
  if (!VMNativeName::Build(buffer, cls, (uint32_t)strlen(cls), method, ml, sig,
                           (uint32_t)strlen(sig), overloaded))
    return "<too long>";
  return buffer;
}

TEST(CoreNativeName, ShortAndLongNames) {
  EXPECT_EQ("Java_java_lang_Object_hashCode", Name("java/lang/Object", "hashCode", "()I", false));
  EXPECT_EQ("Java_p_C_get_1x", Name("p/C", "get_x", "()I", false));
  EXPECT_EQ("Java_p_C_f__I", Name("p/C", "f", "(I)V", true));
  EXPECT_EQ("Java_p_C_f__Ljava_lang_String_2", Name("p/C", "f", "(Ljava/lang/String;)V", true));
  EXPECT_EQ("Java_p_C_f___3B", Name("p/C", "f", "([B)V", true));  // "__" then "_3"
  EXPECT_EQ("Java_p_C_f__", Name("p/C", "f", "()V", true));
  EXPECT_EQ("Java_p_C__init_", Name("p/C", "<init>", "()V", false));
  EXPECT_EQ("Java_p_Outer$Inner_g_1_1h", Name("p/Outer$Inner", "g__h", "()V", false));
}

TEST(CoreNativeName, NonAsciiCharacters) {
  /* U+4E2D is escaped in hex; 0xE9 is written as its one byte; 0xFF is escaped. */
  EXPECT_EQ("Java_p_C_a_04e2db", Name("p/C", "a\xE4\xB8\xAD" "b", "()V", false));
  EXPECT_EQ("Java_p_C_caf\xE9", Name("p/C", "caf\xC3\xA9", "()V", false));
  EXPECT_EQ("Java_p_C_y_000ff", Name("p/C", "y\xC3\xBF", "()V", false));
  EXPECT_EQ("Java_p_C_f__I_0ffff", Name("p/C", "f", "(I\xEF\xBF\xBF)V", true));
}

TEST(CoreNativeName, TheNullCharacterIsEscaped) {
  /* As a raw byte it would end the symbol name early. */
  std::string name = Name("p/C", "a\xC0\x80" "b", "()V", false);
  EXPECT_EQ("Java_p_C_a_00000b", name);
}

TEST(CoreNativeName, NamesOf256BytesOrMoreDoNotFit) {
  std::string fits(255 - 7, 'c');  // "Java_" (5) + 248 + "_" (1) + "m" (1) = 255 bytes
  std::string name = Name(fits.c_str(), "m", "()V", false);
  EXPECT_EQ(255u, name.size());
  std::string tooLong(256 - 7, 'c');
  EXPECT_EQ("<too long>", Name(tooLong.c_str(), "m", "()V", false));
  /* Escapes count with their expanded size. */
  std::string escaped(124, '_');  // 248 bytes once escaped
  EXPECT_EQ(255u, Name(escaped.c_str(), "m", "()V", false).size());
  escaped += "_";
  EXPECT_EQ("<too long>", Name(escaped.c_str(), "m", "()V", false));
}


JNIHostFunctions lookupTable;
std::string lastSymbol;
jint lastWords = -1;
void* HOSTCALL RecordingFindCodeSymbol(void* module, const char* symbol, jint words) {
  lastSymbol = symbol;
  lastWords = words;
  return refhost::Functions()->FindCodeSymbol(module, symbol, words);
}

class CoreNativeLookup : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    MakeNameSpace(64, 64);
    lookupTable = *refhost::Functions();
    lookupTable.FindCodeSymbol = RecordingFindCodeSymbol;
    VMUtils::SetHostFunctions(&lookupTable);
    lastSymbol.clear();
    lastWords = -1;
    cls = (VMLoadableClass*)VMObject::CreateInstance(nsHeap, 30, jallocFailFast, VMTag_VMClass);
    ASSERT_NE(nullptr, cls);
    cls->SetWord(VMClass::NameWord, (VMword)Lit("p/C"));
    methods = VMMethodArray::CreateInstance(nsHeap, 3, jallocFailFast, VMTag_VMMethodArray);
    ASSERT_NE(nullptr, methods);
    cls->SetWord(VMLoadableClass::MethodsWord, (VMword)methods);
  }
  void TearDown() override {
    VMUtils::SetHostFunctions(refhost::Functions());
    for (uint32_t i = 0; i < methods->GetSize(); i++)
      if (methods->Get(i) != nullptr) methods->Get(i)->Destroy(nsHeap);
    methods->Destroy(nsHeap);
    cls->VMObject::Destroy(nsHeap);
    CoreTest::TearDown();
  }
  VMMethod* Method(uint32_t slot, const char* name, const char* sig, uint32_t flags,
                   uint32_t parameterBytes) {
    VMMethod* m = (VMMethod*)VMObject::CreateInstance(nsHeap, 25, jallocFailFast, VMTag_VMMethod);
    m->SetWord(VMMethod::NameWord, (VMword)Lit(name));
    m->SetWord(VMMethod::SignatureWord, (VMword)Lit(sig));
    m->SetWord(VMMethod::FlagsWord, flags);
    m->SetWord(VMMethod::ParameterBytesWord, parameterBytes | (4u << 16));
    methods->Set(slot, m);
    return m;
  }
  VMLoadableClass* cls = nullptr;
  VMMethodArray* methods = nullptr;
};

TEST_F(CoreNativeLookup, OverloadedNativesAreLookedUpByTheirLongNames) {
  VMMethod* f1 = Method(0, "f", "(I)V", VMMethod::IsNativeFlag | VMMethod::IsStaticFlag, 4);
  VMMethod* f2 = Method(1, "f", "(Ljava/lang/String;)V", VMMethod::IsNativeFlag, 8);
  EXPECT_EQ((void*)&Java_p_C_f__I, VMUtils::NativeMethodAddr(cls, f1));
  EXPECT_EQ("Java_p_C_f__I", lastSymbol);
  EXPECT_EQ(4 / 4 + 1 + 1, lastWords);  // parameters, env, class of a static method
  EXPECT_EQ((void*)&Java_p_C_f__Ljava_lang_String_2, VMUtils::NativeMethodAddr(cls, f2));
  EXPECT_EQ(8 / 4 + 1, lastWords);
}

TEST_F(CoreNativeLookup, ANonNativeNamesakeKeepsTheShortName) {
  VMMethod* g = Method(0, "get_x", "()I", VMMethod::IsNativeFlag, 4);
  Method(1, "get_x", "(I)I", 0, 8);
  EXPECT_EQ((void*)&Java_p_C_get_1x, VMUtils::NativeMethodAddr(cls, g));
  EXPECT_EQ("Java_p_C_get_1x", lastSymbol);
  EXPECT_EQ(2, lastWords);
}

TEST_F(CoreNativeLookup, UnknownSymbolsAndOverlongNamesGiveNull) {
  VMMethod* h = Method(0, "h", "()V", VMMethod::IsNativeFlag | VMMethod::IsStaticFlag, 8);
  EXPECT_EQ(nullptr, VMUtils::NativeMethodAddr(cls, h));
  EXPECT_EQ("Java_p_C_h", lastSymbol);
  EXPECT_EQ(4, lastWords);  // a static method with two int parameters
  lastSymbol.clear();
  std::string longName(300, 'm');
  VMMethod* m = Method(1, longName.c_str(), "()V", VMMethod::IsNativeFlag, 4);
  EXPECT_EQ(nullptr, VMUtils::NativeMethodAddr(cls, m));
  EXPECT_EQ("", lastSymbol);  // the host is not asked
}

/* The look-up builds its names from the class's and method's literals, not from raw
   text: characters from 0xFF up, the one-byte Latin-1 characters, U+0000 and the escaped
   signature characters take the same forms there. */
TEST_F(CoreNativeLookup, NamesBuiltFromLiteralsEscapeLikeRawText) {
  cls->SetWord(VMClass::NameWord, (VMword)Lit("p/\xE4\xB8\xAD/C_"));
  VMMethod* a = Method(0, "caf\xC3\xA9\xC0\x80", "([Lq/\xC3\xBF;)V", VMMethod::IsNativeFlag, 8);
  Method(1, "caf\xC3\xA9\xC0\x80", "()V", VMMethod::IsNativeFlag, 4);
  EXPECT_EQ(nullptr, VMUtils::NativeMethodAddr(cls, a));
  EXPECT_EQ("Java_p__04e2d_C_1_caf\xE9_00000___3Lq__000ff_2", lastSymbol);
  char buffer[VMNativeName::BufferSize];
  ASSERT_TRUE(VMNativeName::Build(buffer, cls->GetName(), a->GetName(), a->GetSignature(), true));
  EXPECT_EQ(lastSymbol, Name("p/\xE4\xB8\xAD/C_", "caf\xC3\xA9\xC0\x80", "([Lq/\xC3\xBF;)V", true));
}

/* Without a code module (process cell 6 empty) nothing can be found, and the host is
   not asked. */
TEST_F(CoreNativeLookup, NoCodeModuleGivesNullWithoutAskingTheHost) {
  VMMethod* f = Method(0, "f", "(I)V", VMMethod::IsNativeFlag | VMMethod::IsStaticFlag, 4);
  void* module = VMUtils::GetVMCodeHandle();
  VMUtils::SetVMCodeHandle(nullptr);
  EXPECT_EQ(nullptr, VMUtils::NativeMethodAddr(cls, f));
  VMUtils::SetVMCodeHandle(module);
  EXPECT_EQ("", lastSymbol);
  EXPECT_EQ(-1, lastWords);
}

}  // namespace
