/* The class-file parser over crafted and patched class files: each broken file gives its
   error and leaves nothing behind; the accepted corner cases load. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "classfile_support.h"
#include "classfile_world.h"

namespace {

using namespace classfile_test;

class ClassParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    dir = TempDir("classparser");
    ASSERT_TRUE(world.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
  }
  void TearDown() override {
    world.Destroy();
    refhost::SetClassPath(nullptr, "");
    RemoveTree(dir);
  }
  /* Parses bytes into a fresh shell of the name, then drops the shell. */
  VMStatus Parse(const Bytes& bytes, const char* name = "t/Small") {
    VMLoadableClass* shell = world.LooseShell(name);
    EXPECT_NE(nullptr, shell);
    if (shell == nullptr) return -1;
    VMStatus s = world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size());
    if (s != 0) {
      EXPECT_EQ(nullptr, shell->GetConstantPool()) << "a failed parse keeps no pool";
    }
    world.DropLoose(shell);
    return s;
  }
  /* Writes a class into the test class directory, for classes found by name. */
  void Put(const std::string& name, const Bytes& bytes) {
    std::string path = dir + "/" + name + ".class";
    for (size_t k = dir.size() + 1; k < path.size(); k++)
      if (path[k] == '/') mkdir(path.substr(0, k).c_str(), 0777);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
  }
  /* Heap bytes the world holds now: equal before and after a batch of failed parses
     means the failures leaked nothing. */
  uint64_t HeapBytes() { return refhost::BytesInUse(world.heap); }

  ClassWorld world;
  std::string dir;
};

/* The small class of most cases: t/Small with a constructor, a field with a constant, a
   method with a handler and a thrown-exception list, and SourceFile. */
ClassBuilder Small() {
  ClassBuilder c = SmallClass("t/Small");
  c.AddField(0x19, "K", "I", {{c.Utf8("ConstantValue"), {0, (uint8_t)c.Integer(7)}}});
  c.AddField(0x02, "s", "Ljava/lang/String;");
  uint16_t thrown = c.Class("java/lang/Exception");
  Bytes code = {0x04, 0xAC};  // iconst_1; ireturn
  c.AddMethod(0x01, "f", "(I)I",
              {{c.Utf8("Code"), c.Code(2, 2, code, {0, 1, 1, thrown})},
               {c.Utf8("Exceptions"), {0, 1, (uint8_t)(thrown >> 8), (uint8_t)thrown}}});
  c.attributes.push_back({c.Utf8("SourceFile"), {0, (uint8_t)c.Utf8("Small.java")}});
  return c;
}

TEST_F(ClassParserTest, TheSmallClassLoads) {
  VMLoadableClass* shell = world.Shell("t/Small");
  Bytes bytes = Small().Build();
  ASSERT_EQ(0, world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size()));
  EXPECT_EQ(world.Shell("java/lang/Object"), shell->GetSuper());
  ASSERT_NE(nullptr, shell->GetMethods());
  EXPECT_EQ(2u, shell->GetMethods()->GetSize());
  VMMethod* f = shell->FindMethod(world.Lit("f"), world.Lit("(I)I"), false);
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(2u + 2u, f->GetStackWords());
  ASSERT_NE(nullptr, f->GetExceptionHandlers());
  EXPECT_EQ(1u, f->GetExceptionHandlers()->GetSize());
  ASSERT_NE(nullptr, f->GetThrows());
  EXPECT_NE(nullptr, shell->FindField(world.Lit("K"), world.Lit("I"), false, nullptr));
  EXPECT_EQ(world.Lit("Small.java"), shell->GetSourceFile());
}

TEST_F(ClassParserTest, BadMagicAndEveryOtherVersion) {
  Bytes good = Small().Build();
  ASSERT_EQ(0, Parse(good));
  uint64_t before = HeapBytes();
  Bytes b = good;
  b[3] = 0xBF;
  EXPECT_EQ(VMStatus_ClassFormatError, Parse(b));
  for (uint32_t major = 0; major < 70; major++) {
    for (uint32_t minor : {0u, 1u, 2u, 3u, 4u, 0xFFFFu}) {
      if (major == 45 && minor == 3) continue;
      b = good;
      b[4] = (uint8_t)(minor >> 8);
      b[5] = (uint8_t)minor;
      b[6] = (uint8_t)(major >> 8);
      b[7] = (uint8_t)major;
      ASSERT_EQ(VMStatus_ClassFormatError, Parse(b)) << major << "." << minor;
    }
  }
  EXPECT_EQ(before, HeapBytes());
  EXPECT_EQ(0, Parse(good));
}

TEST_F(ClassParserTest, TruncatedAtEveryOffset) {
  Bytes good = Small().Build();
  ASSERT_EQ(0, Parse(good));
  uint64_t before = HeapBytes();
  for (size_t cut = 0; cut < good.size(); cut++) {
    Bytes b(good.begin(), good.begin() + cut);
    VMStatus s = Parse(b);
    ASSERT_NE(0, s) << "cut at " << cut;
    EXPECT_EQ(VMStatus_ClassFormatError, s) << "cut at " << cut;
  }
  EXPECT_EQ(before, HeapBytes());
}

/* Each case patches the small class through its builder and names the status it gives. */
struct BrokenCase {
  const char* what;
  VMStatus status;
  std::function<void(ClassBuilder&)> patch;
};

TEST_F(ClassParserTest, TableOfBrokenClassFiles) {
  const BrokenCase cases[] = {
      {"this_class beyond the pool", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.thisClass = c.PoolCount(); }},
      {"this_class names a Utf8", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.thisClass = c.Utf8("t/Small"); }},
      {"super_class beyond the pool", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.superClass = 0xFFF0; }},
      {"method ref to a class index out of range", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.Raw(10, {0x7F, 0xFF, 0, 1}); }},
      {"String naming an Integer", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.Raw(8, {0, (uint8_t)c.Integer(5)}); }},
      {"NameAndType naming a Class", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.Raw(12, {0, (uint8_t)c.Class("t/Other"), 0, (uint8_t)c.Utf8("I")}); }},
      {"Fieldref whose class is a Utf8", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.Raw(9, {0, (uint8_t)c.Utf8("x"), 0, (uint8_t)c.NameAndType("a", "I")}); }},
      {"Class naming an Integer", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.ClassAt(c.Integer(1)); }},
      {"unknown pool tag", VMStatus_ClassFormatError, [](ClassBuilder& c) { c.Raw(2, {0, 0}); }},
      {"Long in the last entry", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.pool.push_back({5, 0, 0, 0, 0, 0, 0, 0, 1}); }},
      {"bad UTF-8: a lone continuation byte", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({'a', 0x80}); }},
      {"bad UTF-8: a character cut by the end", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({'a', 0xE2, 0x82}); }},
      {"bad UTF-8: a zero byte", VMStatus_ClassFormatError, [](ClassBuilder& c) { c.RawUtf8({'a', 0}); }},
      {"bad UTF-8: a four-byte form", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({0xF0, 0x9F, 0x98, 0x80}); }},
      // Longer spellings of a character: "java/" and "\xC1\xAAava/" would be two names of
      // one text.
      {"bad UTF-8: an ASCII letter in two bytes", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({0xC1, 0xAA, 'a', 'v', 'a', '/'}); }},
      {"bad UTF-8: a slash in two bytes, C0 lead", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({'a', 0xC0, 0xAF}); }},
      {"bad UTF-8: a two-byte character in three bytes", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({0xE0, 0x83, 0xA9}); }},
      {"bad UTF-8: U+0000 in three bytes", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.RawUtf8({0xE0, 0x80, 0x80}); }},
      {"bad UTF-8: a superclass named in a longer spelling", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.superClass = c.ClassAt(c.RawUtf8({0xC1, 0xAA, 'a', 'v', 'a', '/', 'l', 'a', 'n', 'g', '/', 'O',
                                             'b', 'j', 'e', 'c', 't'}));
       }},
      {"bad class name in the pool", VMStatus_VerifyError, [](ClassBuilder& c) { c.Class("[Q"); }},
      {"bad method descriptor", VMStatus_VerifyError,
       [](ClassBuilder& c) { c.AddMethod(0x0108, "g", "(I", {}); }},
      {"method descriptor with a void parameter", VMStatus_VerifyError,
       [](ClassBuilder& c) { c.AddMethod(0x0108, "g", "([V)V", {}); }},
      {"bad field descriptor", VMStatus_ClassFormatError, [](ClassBuilder& c) { c.AddField(0, "q", "Q"); }},
      {"code length 0", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {})}); }},
      {"code length 65536", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, Bytes(65536, 0))}); }},
      {"code ending inside an instruction", VMStatus_VerifyError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {0x11, 0x01})}); }},
      {"opcode above the opcode space", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {0x00, 0xE0})}); }},
      {"wide before an opcode without a wide form", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {0xC4, 0x10, 0, 0, 0xB1})}); }},
      {"tableswitch with low above high", VMStatus_VerifyError,
       [](ClassBuilder& c) {
         c.AddMethod(0x08, "z", "()V",
                     {c.CodeAttribute(1, 1, {0x03, 0xAA, 0, 0, 0, 0, 0, 9, 0, 0, 0, 2, 0, 0, 0, 1, 0xB1})});
       }},
      {"lookupswitch whose pairs run past the code", VMStatus_VerifyError,
       [](ClassBuilder& c) {
         c.AddMethod(0x08, "z", "()V",
                     {c.CodeAttribute(1, 1, {0x03, 0xAB, 0, 0, 0, 0, 0, 9, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 9})});
       }},
      {"wide iinc cut by the end of the code", VMStatus_VerifyError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {0xC4, 0x84, 0, 0, 0})}); }},
      // Attribute names are resolved Utf8 entries by the time these are read: a resolved
      // entry of the wrong kind is refused like an unresolved one.
      {"catch type naming a resolved Utf8", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         uint16_t code = c.Utf8("Code");
         c.AddMethod(0x08, "z", "()V", {{code, c.Code(1, 1, {0x00, 0xB1}, {0, 1, 1, code})}});
       }},
      {"Exceptions listing a resolved Utf8", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         uint16_t e = c.Utf8("Exceptions");
         c.AddMethod(0x0108, "n", "()V", {{e, {0, 1, (uint8_t)(e >> 8), (uint8_t)e}}});
       }},
      {"String constant naming a resolved Utf8", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         uint16_t cv = c.Utf8("ConstantValue");
         c.AddField(0x18, "S", "Ljava/lang/String;", {{cv, {(uint8_t)(cv >> 8), (uint8_t)cv}}});
       }},
      {"InnerClasses entry beyond the pool", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.attributes.push_back({c.Utf8("InnerClasses"), {0, 1, 0x7F, 0xF0, 0, 0, 0, 0, 0, 0}});
       }},
      {"max_stack that does not fit 16 bits of bytes", VMStatus_VerifyError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(16382, 1, {0xB1})}); }},
      {"max_locals that does not fit 16 bits of bytes", VMStatus_VerifyError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 16382, {0xB1})}); }},
      {"fewer locals than parameter words", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "(JJ)V", {c.CodeAttribute(1, 3, {0xB1})}); }},
      {"handler range empty", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.AddMethod(0x08, "z", "()V", {{c.Utf8("Code"), c.Code(1, 1, {0x00, 0xB1}, {1, 1, 0, 0})}});
       }},
      {"handler past the code", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.AddMethod(0x08, "z", "()V", {{c.Utf8("Code"), c.Code(1, 1, {0x00, 0xB1}, {0, 2, 2, 0})}});
       }},
      {"two Code attributes", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {0xB1}), c.CodeAttribute(1, 1, {0xB1})});
       }},
      {"method without code", VMStatus_ClassFormatError, [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V"); }},
      {"static <init>", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x08, "<init>", "(I)V", {c.CodeAttribute(1, 1, {0xB1})}); }},
      {"<init> returning a value", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x01, "<init>", "(I)I", {c.CodeAttribute(1, 2, {0x04, 0xAC})}); }},
      {"public and private method", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x0103, "n", "()V"); }},
      {"abstract static method", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.AddMethod(0x0408, "n", "()V"); }},
      {"final volatile field", VMStatus_ClassFormatError, [](ClassBuilder& c) { c.AddField(0x50, "v", "I"); }},
      {"ConstantValue of the wrong type", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.AddField(0x18, "L", "J", {{c.Utf8("ConstantValue"), {0, (uint8_t)c.Integer(7)}}});
       }},
      {"ConstantValue of length 3", VMStatus_ClassFormatError,
       [](ClassBuilder& c) {
         c.AddField(0x18, "L", "I", {{c.Utf8("ConstantValue"), {0, (uint8_t)c.Integer(7), 0}}});
       }},
      {"two SourceFile attributes", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.attributes.push_back({c.Utf8("SourceFile"), {0, (uint8_t)c.Utf8("X")}}); }},
      {"final interface", VMStatus_ClassFormatError, [](ClassBuilder& c) { c.access = 0x0611; }},
      {"the file is another class", VMStatus_NoClassDefFoundError,
       [](ClassBuilder& c) { c.thisClass = c.Class("t/Other"); }},
      {"its own superclass", VMStatus_ClassCircularityError,
       [](ClassBuilder& c) { c.superClass = c.thisClass; }},
      {"no superclass and not java/lang/Object", VMStatus_ClassFormatError,
       [](ClassBuilder& c) { c.superClass = 0; }},
      {"an interface as superclass", VMStatus_IncompatibleClassChangeError,
       [](ClassBuilder& c) { c.superClass = c.Class("java/lang/Cloneable"); }},
      {"a class listed as interface", VMStatus_IncompatibleClassChangeError,
       [](ClassBuilder& c) { c.interfaces.push_back(c.Class("java/lang/Exception")); }},
      {"a missing interface", VMStatus_NoClassDefFoundError,
       [](ClassBuilder& c) { c.interfaces.push_back(c.Class("t/NoSuchInterface")); }},
  };
  // The classes named below are loaded once first, so that later failures are the only
  // heap change to look at.
  ASSERT_EQ(0, world.Shell("java/lang/Cloneable")->Load());
  ASSERT_EQ(0, world.Shell("java/lang/Exception")->Load());
  for (const BrokenCase& k : cases) {
    ClassBuilder c = Small();
    k.patch(c);
    Parse(c.Build());  // first run: interns the case's names
    uint64_t before = HeapBytes();
    EXPECT_EQ(k.status, Parse(c.Build())) << k.what;
    EXPECT_EQ(before, HeapBytes()) << k.what;
  }
}

TEST_F(ClassParserTest, AcceptedCorners) {
  const BrokenCase cases[] = {
      {"max_stack and max_locals 16381", 0,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(16381, 16381, {0xB1})}); }},
      {"handler ending at the end of the code", 0,
       [](ClassBuilder& c) {
         c.AddMethod(0x08, "z", "()V", {{c.Utf8("Code"), c.Code(1, 1, {0x00, 0xB1}, {0, 2, 1, 0})}});
       }},
      // The load-time pass checks opcodes and operand bounds only: a branch into the middle
      // of an instruction is the verifier's to refuse.
      {"a branch into the middle of an instruction", 0,
       [](ClassBuilder& c) { c.AddMethod(0x08, "z", "()V", {c.CodeAttribute(1, 1, {0xA7, 0x00, 0x01, 0xB1})}); }},
      {"a skipped attribute ending at the end of the file", 0,
       [](ClassBuilder& c) { c.attributes.push_back({c.Utf8("Unknown"), {1, 2, 3}}); }},
      {"a zero-length skipped attribute ending the file", 0,
       [](ClassBuilder& c) { c.attributes.push_back({c.Utf8("Synthetic"), {}}); }},
      {"an interface as its own InnerClasses entry", 0,
       [](ClassBuilder& c) {
         uint16_t i = c.Class("java/lang/Cloneable");
         c.interfaces.push_back(i);
         c.attributes.push_back({c.Utf8("InnerClasses"),
                                 {0, 1, (uint8_t)(i >> 8), (uint8_t)i, 0, (uint8_t)c.thisClass, 0, 0, 0, 1}});
       }},
      {"the same interface twice", 0,
       [](ClassBuilder& c) {
         c.interfaces.push_back(c.Class("java/lang/Cloneable"));
         c.interfaces.push_back(c.Class("java/lang/Cloneable"));
       }},
      {"UTF-8 in its shortest forms: U+0000, U+0080, U+07FF, U+0800, a surrogate, U+FFFF", 0,
       [](ClassBuilder& c) {
         c.RawUtf8({0xC0, 0x80, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xED, 0xA0, 0x80, 0xEF, 0xBF, 0xBF});
       }},
      {"two LineNumberTable attributes in one Code", 0,
       [](ClassBuilder& c) {
         Attribute l1 = {c.Utf8("LineNumberTable"), {0, 1, 0, 0, 0, 5}};
         c.AddMethod(0x08, "z", "()V", {{c.Utf8("Code"), c.Code(1, 1, {0xB1}, {}, {l1, l1})}});
       }},
  };
  for (const BrokenCase& k : cases) {
    ClassBuilder c = Small();
    k.patch(c);
    EXPECT_EQ(k.status, Parse(c.Build())) << k.what;
  }
  // An interface need not carry the abstract bit.
  ClassBuilder i;
  i.access = 0x0201;
  i.thisClass = i.Class("t/Small");
  i.superClass = i.Class("java/lang/Object");
  i.AddField(0x19, "C", "J", {{i.Utf8("ConstantValue"), {0, (uint8_t)i.Long(5)}}});
  i.AddMethod(0x0401, "m", "()V");
  EXPECT_EQ(0, Parse(i.Build()));
  // A trailing byte after the last attribute is refused.
  Bytes b = Small().Build();
  b.push_back(0);
  EXPECT_EQ(VMStatus_ClassFormatError, Parse(b));
}

TEST_F(ClassParserTest, InnerClassesListAndDeclaringClass) {
  ClassBuilder c = Small();
  uint16_t inner = c.Class("t/Small$In");
  uint16_t other = c.Class("t/Else$In");
  uint16_t outer = c.Class("t/Outer");
  Bytes data;
  Put2(data, 3);
  for (uint16_t e : {inner, c.thisClass, (uint16_t)0, (uint16_t)0}) Put2(data, e);
  for (uint16_t e : {c.thisClass, outer, (uint16_t)0, (uint16_t)0}) Put2(data, e);
  for (uint16_t e : {other, outer, (uint16_t)0, (uint16_t)0}) Put2(data, e);
  c.attributes.push_back({c.Utf8("InnerClasses"), data});
  c.attributes.push_back({c.Utf8("InnerClasses"), data});  // a second list replaces the first
  Bytes bytes = c.Build();
  // The first list must not be left behind when the second replaces it.
  ASSERT_EQ(0, Parse(bytes));
  uint64_t before = HeapBytes();
  ASSERT_EQ(0, Parse(bytes));
  EXPECT_EQ(before, HeapBytes());
  VMLoadableClass* shell = world.Shell("t/Small");
  ASSERT_EQ(0, world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size()));
  EXPECT_EQ(outer, shell->GetDeclaringClass());
  ASSERT_NE(nullptr, shell->GetDeclaredClasses());
  ASSERT_EQ(1u, shell->GetDeclaredClasses()->GetSize());
  EXPECT_EQ(inner, shell->GetDeclaredClasses()->Get(0));
}

TEST_F(ClassParserTest, InterfacesAreLoadedNotInitialisedAndCyclesEnd) {
  // I1 extends I2, I2 extends I1: loading either ends with a clear error.
  const char* const pairs[2][2] = {{"t/I1", "t/I2"}, {"t/I2", "t/I1"}};
  for (const auto& pair : pairs) {
    ClassBuilder c;
    c.access = 0x0601;
    c.thisClass = c.Class(pair[0]);
    c.superClass = c.Class("java/lang/Object");
    c.interfaces.push_back(c.Class(pair[1]));
    Put(pair[0], c.Build());
  }
  EXPECT_EQ(VMStatus_ClassCircularityError, world.Shell("t/I1")->Load());
  // A class implementing a good interface: the interface is loaded, nothing is run.
  ClassBuilder i;
  i.access = 0x0601;
  i.thisClass = i.Class("t/Good");
  i.superClass = i.Class("java/lang/Object");
  Put("t/Good", i.Build());
  ClassBuilder k = SmallClass("t/Impl");
  k.interfaces.push_back(k.Class("t/Good"));
  Put("t/Impl", k.Build());
  VMLoadableClass* impl = world.Shell("t/Impl");
  ASSERT_EQ(0, impl->Load());
  VMLoadableClass* good = world.Shell("t/Good");
  EXPECT_TRUE(good->GetIsLoaded());
  EXPECT_FALSE(good->GetIsPrepared());
  ASSERT_EQ(1u, impl->GetInterfaces()->GetSize());
  EXPECT_EQ((VMClass*)good, impl->GetInterfaces()->Get(0));
}

TEST_F(ClassParserTest, ClassesComeFromTheHostByName) {
  // A class the host does not have is NoClassDefFoundError, and the shell stays a shell.
  VMLoadableClass* missing = world.Shell("t/Nowhere");
  EXPECT_EQ(VMStatus_NoClassDefFoundError, world.loader->Load(missing, false));
  EXPECT_EQ(nullptr, missing->GetConstantPool());
  Put("t/There", SmallClass("t/There").Build());
  VMLoadableClass* there = world.Shell("t/There");
  EXPECT_EQ(0, world.loader->Load(there, false));
  // A file under one name holding another class is refused.
  Put("t/Wrong", SmallClass("t/There").Build());
  EXPECT_EQ(VMStatus_NoClassDefFoundError, world.Shell("t/Wrong")->Load());
}

/* A class whose one method has a line table and a local table, in that order or the
   other, with an unknown attribute of padBytes before them. */
Bytes DebugClass(bool localsFirst, uint32_t padBytes) {
  ClassBuilder c = SmallClass("t/Stale");
  Attribute lines = {c.Utf8("LineNumberTable"), {0, 1, 0, 0, 0, 10}};
  Bytes lvt;
  Put2(lvt, 1);
  for (uint16_t v : {(uint16_t)0, (uint16_t)2, c.Utf8("x"), c.Utf8("I"), (uint16_t)0}) Put2(lvt, v);
  Attribute locals = {c.Utf8("LocalVariableTable"), lvt};
  Attribute pad = {c.Utf8("Padding"), Bytes(padBytes, 0)};
  std::vector<Attribute> attrs = {pad, lines, locals};
  if (localsFirst) std::swap(attrs[1], attrs[2]);
  c.AddMethod(0x09, "m", "()V", {{c.Utf8("Code"), c.Code(1, 1, {0x00, 0xB1}, {}, attrs)}});
  return c.Build();
}

/* The tables are read again from the class's file by name: a file changed since the
   class was loaded gives no tables instead of wrong ones or an error. */
TEST_F(ClassParserTest, DebugTablesOfAChangedFileAreNotRead) {
  struct Case {
    const char* what;
    Bytes replacement;
  } cases[] = {
      {"the same file", DebugClass(false, 4)},
      {"a longer file", DebugClass(false, 40)},
      {"the tables the other way round", DebugClass(true, 4)},
  };
  for (Case& k : cases) {
    world.Destroy();
    ASSERT_TRUE(world.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
    Put("t/Stale", DebugClass(false, 4));
    VMLoadableClass* cls = world.Shell("t/Stale");
    ASSERT_EQ(0, cls->Load());
    Put("t/Stale", k.replacement);
    VMStatus status = -1;
    VMMethod* m = cls->GetMethods()->Get(1);
    VMshortArray* lines = m->GetLineNumbers(&status);
    EXPECT_EQ(0, status) << k.what;
    EXPECT_TRUE(cls->GetHaveDebugInfo()) << k.what;
    VMLocalDataMemberArray* locals = m->GetLocalVariables(&status);
    if (&k == &cases[0]) {
      ASSERT_NE(nullptr, lines);
      EXPECT_EQ(10, lines->Get(1));
      ASSERT_NE(nullptr, locals);
      EXPECT_EQ(world.Lit("x"), locals->Get(0)->GetName());
    } else {
      EXPECT_EQ(nullptr, lines) << k.what;
      EXPECT_EQ(nullptr, locals) << k.what;
    }
  }
}

TEST_F(ClassParserTest, DebugTablesAreReadOnDemand) {
  ClassBuilder c = SmallClass("t/Debug");
  Attribute lines = {c.Utf8("LineNumberTable"), {0, 2, 0, 0, 0, 10, 0, 1, 0, 11}};
  uint16_t thisName = c.Utf8("this"), thisSig = c.Utf8("Lt/Debug;"), jName = c.Utf8("j");
  uint16_t jSig = c.Utf8("J");
  Bytes lvt;
  Put2(lvt, 3);
  for (uint16_t v : {(uint16_t)0, (uint16_t)2, thisName, thisSig, (uint16_t)0}) Put2(lvt, v);
  for (uint16_t v : {(uint16_t)0, (uint16_t)2, jName, jSig, (uint16_t)1}) Put2(lvt, v);
  for (uint16_t v : {(uint16_t)0, (uint16_t)0, (uint16_t)0, (uint16_t)0, (uint16_t)0}) Put2(lvt, v);
  Attribute locals = {c.Utf8("LocalVariableTable"), lvt};
  c.AddMethod(0x01, "m", "(J)V", {{c.Utf8("Code"), c.Code(1, 3, {0x00, 0xB1}, {}, {lines, locals})}});
  Put("t/Debug", c.Build());
  VMLoadableClass* cls = world.Shell("t/Debug");
  ASSERT_EQ(0, cls->Load());
  EXPECT_FALSE(cls->GetHaveDebugInfo());
  ASSERT_EQ(0, world.loader->LoadDebugInfo(cls));
  EXPECT_TRUE(cls->GetHaveDebugInfo());
  VMshortArray* table = cls->GetLineNumberArray()->Get(1);
  ASSERT_NE(nullptr, table);
  ASSERT_EQ(4u, table->GetSize());
  EXPECT_EQ(10, table->Get(1));
  EXPECT_EQ(11, table->Get(3));
  VMLocalDataMemberArray* vars = cls->GetLocalVariableArray()->Get(1);
  ASSERT_NE(nullptr, vars);
  ASSERT_EQ(3u, vars->GetSize());
  EXPECT_EQ(world.Lit("j"), vars->Get(1)->GetName());
  // The name index 0 ended the table.
  EXPECT_EQ(nullptr, vars->Get(2));
  EXPECT_EQ(0, world.loader->LoadDebugInfo(cls));

  // A class defined from bytes has no debug positions: nothing is re-opened, and no
  // exception is left behind.
  VMLoadableClass* defined = world.Shell("t/Defined");
  ClassBuilder d = SmallClass("t/Defined");
  d.AddMethod(0x09, "m", "()V", {{d.Utf8("Code"), d.Code(1, 1, {0xB1}, {}, {{d.Utf8("LineNumberTable"), {0, 1, 0, 0, 0, 3}}})}});
  Bytes bytes = d.Build();
  ASSERT_EQ(0, world.loader->Load(defined, bytes.data(), (uint32_t)bytes.size()));
  EXPECT_EQ(0, world.loader->LoadDebugInfo(defined));
  EXPECT_TRUE(defined->GetHaveDebugInfo());
}

}  // namespace

namespace {

using namespace classfile_test;

TEST_F(ClassParserTest, SuperclassChainsThatCannotBeEndFail) {
  // t/CA extends t/CB extends t/CA: each file parses (superclasses are not loaded by the
  // parse), and linking either one ends with a circularity error instead of looping.
  Put("t/CA", SmallClass("t/CA", "t/CB").Build());
  Put("t/CB", SmallClass("t/CB", "t/CA").Build());
  VMLoadableClass* a = world.Shell("t/CA");
  ASSERT_EQ(0, a->Load());
  EXPECT_EQ(VMStatus_ClassCircularityError, a->Prepare(nullptr));
  // An interface as superclass, unknown while the subclass is parsed: refused at link.
  ClassBuilder i;
  i.access = 0x0601;
  i.thisClass = i.Class("t/Iface");
  i.superClass = i.Class("java/lang/Object");
  Put("t/Iface", i.Build());
  Put("t/OnIface", SmallClass("t/OnIface", "t/Iface").Build());
  VMLoadableClass* on = world.Shell("t/OnIface");
  ASSERT_EQ(0, on->Load());
  EXPECT_EQ(VMStatus_IncompatibleClassChangeError, on->Prepare(nullptr));
}

}  // namespace

namespace {

using namespace classfile_test;

TEST_F(ClassParserTest, RefusedAllocationsAtEveryStepLeakNothing) {
  Bytes good = Small().Build();
  ASSERT_EQ(0, Parse(good));
  uint64_t before = HeapBytes();
  uint64_t counted = refhost::AllocationCount();
  ASSERT_EQ(0, Parse(good));
  uint32_t allocations = (uint32_t)(refhost::AllocationCount() - counted);
  ASSERT_GT(allocations, 10u);
  EXPECT_EQ(before, HeapBytes());
  for (uint32_t n = 1; n <= allocations; n++) {
    VMLoadableClass* shell = world.LooseShell("t/Small");
    ASSERT_NE(nullptr, shell);
    refhost::SetFailureScope(true, world.heap, -1);
    refhost::FailNthAllocation(n);
    VMStatus s = world.loader->Load(shell, good.data(), (uint32_t)good.size());
    refhost::FailNthAllocation(0);
    refhost::SetFailureScope(false, nullptr, -1);
    // The shell itself took one allocation of the count above: the last n refuses none.
    if (n < allocations) {
      EXPECT_EQ(VMStatus_OutOfMemoryError, s) << "allocation " << n;
      EXPECT_EQ(nullptr, shell->GetConstantPool());
    } else {
      EXPECT_EQ(0, s);
    }
    world.DropLoose(shell);
    ASSERT_EQ(before, HeapBytes()) << "allocation " << n;
  }
}

TEST_F(ClassParserTest, PoolOnlyParseGivesANewPool) {
  Put("t/Again", SmallClass("t/Again").Build());
  VMLoadableClass* cls = world.Shell("t/Again");
  ASSERT_EQ(0, cls->Load());
  VMMethodArray* methods = cls->GetMethods();
  VMConstantPool* old = cls->GetConstantPool();
  uint32_t count = old->GetCount();
  cls->SetConstantPool(nullptr);
  old->Destroy(world.heap);
  ASSERT_EQ(0, world.loader->Load(cls, true));
  VMConstantPool* pool = cls->GetConstantPool();
  ASSERT_NE(nullptr, pool);
  EXPECT_EQ(count, pool->GetCount());
  EXPECT_TRUE(pool->GetClassesResolved());
  // Only the pool is read again: the members stay as they were.
  EXPECT_EQ(methods, cls->GetMethods());
}

}  // namespace

namespace {

using namespace classfile_test;

TEST_F(ClassParserTest, ALoaderTakesItsClassesWithIt) {
  void* id = (void*)0x77;
  Put("u/Mine", SmallClass("u/Mine").Build());
  refhost::SetClassPath(id, dir);
  // Twice: the first round interns the names, the second must give every byte back.
  uint64_t before = 0;
  for (int round = 0; round < 2; round++) {
    if (round == 1) before = HeapBytes();
    VMClassLoader* loader = VMClassLoader::CreateInstance(world.ns, id);
    ASSERT_NE(nullptr, loader);
    EXPECT_EQ(loader, world.ns->FindLoader(id));
    VMClass* mine = VMClass::FindByName(world.ns, world.Lit("u/Mine"), loader);
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(loader, mine->GetClassLoader());
    EXPECT_EQ(0, ((VMLoadableClass*)mine)->Load());
    loader->Destroy(world.heap);
    EXPECT_EQ(nullptr, world.ns->FindLoader(id));
  }
  EXPECT_EQ(before, HeapBytes());
  refhost::SetClassPath(id, "");
}

}  // namespace

namespace {

using namespace classfile_test;

TEST_F(ClassParserTest, AFailedParseLeavesAPlainShellForTheNextTry) {
  // An interface file that fails only at its last attribute: by then its flags, superclass,
  // fields and methods were all read into the shell.
  ClassBuilder bad = Small();
  bad.access = 0x0601;
  bad.methods.clear();
  bad.fields.clear();
  bad.AddField(0x19, "K", "I", {{bad.Utf8("ConstantValue"), {0, (uint8_t)bad.Integer(7)}}});
  bad.AddMethod(0x0401, "m", "()V");
  bad.attributes.push_back({bad.Utf8("SourceFile"), {0, (uint8_t)bad.Utf8("X")}});
  Put("t/Small", bad.Build());
  VMLoadableClass* shell = world.Shell("t/Small");
  ASSERT_EQ(VMStatus_ClassFormatError, shell->Load());
  uint64_t before = HeapBytes();
  // Every try reads the file again: the earlier try's members must not pile up.
  for (int k = 0; k < 3; k++) ASSERT_EQ(VMStatus_ClassFormatError, shell->Load());
  EXPECT_EQ(before, HeapBytes());
  EXPECT_EQ(nullptr, shell->GetMethods());
  EXPECT_EQ(nullptr, shell->GetDataMembers());
  EXPECT_EQ(nullptr, shell->GetSuper());
  // The good file is a plain class: nothing of the failed interface stays on it.
  Put("t/Small", Small().Build());
  ASSERT_EQ(0, shell->Load());
  EXPECT_FALSE(((VMClass*)shell)->GetIsInterface());
  EXPECT_FALSE(shell->GetIsAbstract());
  ASSERT_NE(nullptr, shell->GetMethods());
  EXPECT_EQ(2u, shell->GetMethods()->GetSize());
  EXPECT_NE(nullptr, shell->FindMethod(world.Lit("f"), world.Lit("(I)I"), false));
  EXPECT_EQ(nullptr, shell->FindMethod(world.Lit("m"), world.Lit("()V"), false));
}

}  // namespace

namespace {

using namespace classfile_test;

TEST_F(ClassParserTest, ArrayTypesDeeperThan255DimensionsAreRefused) {
  // Each dimension is a class with its own name: the deepest type a Utf8 entry can spell
  // would take gigabytes of names (and long minutes) before failing for want of memory.
  std::string deep(65534, '[');
  deep += 'I';
  std::string most(255, '[');
  most += 'I';
  std::string over = "[" + most;
  const BrokenCase cases[] = {
      {"field of 65534 dimensions", VMStatus_ClassFormatError,
       [&](ClassBuilder& c) { c.AddField(0x02, "d", deep.c_str()); }},
      {"field of 256 dimensions", VMStatus_ClassFormatError,
       [&](ClassBuilder& c) { c.AddField(0x02, "d", over.c_str()); }},
      {"class of 65534 dimensions", VMStatus_VerifyError, [&](ClassBuilder& c) { c.Class(deep.c_str()); }},
      {"class of 256 dimensions", VMStatus_VerifyError, [&](ClassBuilder& c) { c.Class(over.c_str()); }},
      {"parameter of 256 dimensions", VMStatus_VerifyError,
       [&](ClassBuilder& c) { c.AddMethod(0x0108, "g", ("(" + over + ")V").c_str(), {}); }},
      {"field and class of 255 dimensions", 0,
       [&](ClassBuilder& c) {
         c.AddField(0x02, "d", most.c_str());
         c.Class(most.c_str());
       }},
  };
  for (const BrokenCase& k : cases) {
    ClassBuilder c = Small();
    k.patch(c);
    EXPECT_EQ(k.status, Parse(c.Build())) << k.what;
  }
  EXPECT_EQ(nullptr, VMClass::FindByName(world.ns, world.Lit(over.c_str()), world.loader));
  EXPECT_NE(nullptr, VMClass::FindByName(world.ns, world.Lit(most.c_str()), world.loader));
}

}  // namespace
