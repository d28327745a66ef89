/* The built class library against the rules the machine imposes on it, and the checks
   themselves against deliberately broken copies of library classes. */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classfile.h"
#include "library_check.h"

using namespace classlib;

namespace {

std::string Join(const Problems& p) {
  std::string s;
  for (const std::string& line : p) s += "  " + line + "\n";
  return s;
}

bool Mentions(const Problems& p, const std::string& text) {
  for (const std::string& line : p) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class ClassLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    loaded_ = new Library();
    ok_ = LoadLibrary(std::string(PUX_BUILD_DIR) + "/classlib.zip", *loaded_, *(error_ = new std::string()));
  }
  static void TearDownTestSuite() {
    delete loaded_;
    delete error_;
    loaded_ = nullptr;
    error_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(ok_) << *error_;
    lib_ = *loaded_;  // every test gets its own copy to break
  }

  ClassFile& Cls(const std::string& name) {
    auto it = lib_.find(name);
    EXPECT_NE(it, lib_.end()) << name;
    return it->second;
  }

  // Writes the class out and reads it back, so a change goes through real class-file bytes.
  void Rewrite(const std::string& name) {
    std::vector<uint8_t> bytes = WriteClass(Cls(name));
    ClassFile again;
    std::string error;
    ASSERT_TRUE(ParseClass(bytes, again, error)) << error;
    lib_[name] = again;
  }

  static Library* loaded_;
  static std::string* error_;
  static bool ok_;
  Library lib_;
};

Library* ClassLibrary::loaded_ = nullptr;
std::string* ClassLibrary::error_ = nullptr;
bool ClassLibrary::ok_ = false;

/* ------------------------------------------------------------------------------------ */
/* The library as built.                                                                 */

TEST_F(ClassLibrary, ArchiveHoldsOneClassFilePerEntryWithSizesInTheLocalHeaders) {
  std::vector<ArchiveEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadArchive(std::string(PUX_BUILD_DIR) + "/classlib.zip", entries, error)) << error;
  EXPECT_EQ(entries.size(), lib_.size());
  for (const ArchiveEntry& e : entries) {
    EXPECT_EQ(e.flags & 0x8, 0) << e.name << " has a data descriptor";
    EXPECT_TRUE(e.method == 0 || e.method == 8) << e.name;
    EXPECT_EQ(e.name.find('\\'), std::string::npos) << e.name;
  }
  EXPECT_TRUE(lib_.count("java/lang/Object") == 1 && lib_.count("java/lang/String") == 1);
}

TEST_F(ClassLibrary, EveryClassIsVersion45_3) { EXPECT_TRUE(CheckVersions(lib_).empty()) << Join(CheckVersions(lib_)); }

TEST_F(ClassLibrary, LayoutsReadByPositionAreExact) {
  Problems p = CheckLayouts(lib_);
  EXPECT_TRUE(p.empty()) << Join(p);
}

TEST_F(ClassLibrary, MembersLookedUpByNameExistWithTheirKind) {
  Problems p = CheckMembersByName(lib_);
  EXPECT_TRUE(p.empty()) << Join(p);
}

TEST_F(ClassLibrary, NativesMatchTheRegisteredRows) {
  Problems p = CheckNatives(lib_);
  EXPECT_TRUE(p.empty()) << Join(p);
}

TEST_F(ClassLibrary, EveryCreatedClassIsInTheLibrary) {
  Problems p = CheckCreatedClassesExist(lib_);
  EXPECT_TRUE(p.empty()) << Join(p);
}

TEST_F(ClassLibrary, AvoidsPatternsTheClassParserRejects) {
  Problems p = CheckParserPatterns(lib_);
  EXPECT_TRUE(p.empty()) << Join(p);
}

// Character's tables come from the Unicode data at build time; the machine loads them with
// the class, so they must stay a few kilobytes and not grow into a table per code point.
TEST_F(ClassLibrary, CharacterTablesStayCompact) {
  std::vector<ArchiveEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadArchive(std::string(PUX_BUILD_DIR) + "/classlib.zip", entries, error)) << error;
  size_t tables = 0, character = 0;
  for (const ArchiveEntry& e : entries) {
    if (e.name == "java/lang/CharacterData.class") tables = e.data.size();
    if (e.name == "java/lang/Character.class") character = e.data.size();
  }
  ASSERT_GT(tables, 0u) << "java/lang/CharacterData.class missing";
  EXPECT_LT(tables, 12u * 1024) << "CharacterData.class";
  EXPECT_LT(character, 8u * 1024) << "Character.class";
}

/* ------------------------------------------------------------------------------------ */
/* Broken copies: each slip must be caught and named.                                    */

TEST_F(ClassLibrary, SwappedStringFieldsAreCaught) {
  ClassFile& s = Cls("java/lang/String");
  std::vector<Member*> instance;
  for (Member& f : s.fields) {
    if (!f.IsStatic()) instance.push_back(&f);
  }
  ASSERT_GE(instance.size(), 2u);
  std::swap(*instance[0], *instance[1]);  // offset before value
  Rewrite("java/lang/String");
  Problems p = CheckLayouts(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/String: word 0 is offset I")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/String: word 1 is value [C")) << Join(p);
}

TEST_F(ClassLibrary, ExtraInstanceWordsAreCaught) {
  // A static turned into an instance field adds a word to a box and to Number's subclasses.
  ClassFile& number = Cls("java/lang/Number");
  ClassFile& integer = Cls("java/lang/Integer");
  Member* max = integer.FindField("MAX_VALUE", "I");
  ASSERT_NE(max, nullptr);
  max->access &= static_cast<uint16_t>(~kAccStatic);
  Rewrite("java/lang/Integer");
  Problems p = CheckLayouts(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/Integer: 2 instance fields")) << Join(p);

  // A field in Number shifts every box.
  Member* minValue = integer.FindField("MIN_VALUE", "I");
  ASSERT_NE(minValue, nullptr);
  Member extra = *minValue;  // an int: one word before every box's value
  extra.access = kAccPrivate;
  number.fields.push_back(extra);  // copied with its resolved name; Number's pool is not rewritten
  p = CheckLayouts(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/Number: declares instance field")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/Long: word 0 is")) << Join(p);
}

TEST_F(ClassLibrary, ThrowableAndWrapperLayoutsAreGuarded) {
  // A field added to Exception moves InvocationTargetException's target off word 2.
  ClassFile& exception = Cls("java/lang/Exception");
  Member f = Cls("java/lang/Throwable").fields[1];  // a reference field to copy
  f.access = kAccPrivate;
  exception.fields.push_back(f);
  Problems p = CheckLayouts(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/Exception: declares instance field")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/reflect/InvocationTargetException: word 2 is")) << Join(p);
}

TEST_F(ClassLibrary, ReflectionObjectsOfTheWrongSizeAreCaught) {
  ClassFile& method = Cls("java/lang/reflect/Method");
  method.fields.pop_back();
  Rewrite("java/lang/reflect/Method");
  Problems p = CheckLayouts(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/reflect/Method: no instance field at word 5")) << Join(p);
}

TEST_F(ClassLibrary, NativeSlipsAreCaught) {
  // Static-ness flipped: the C function would get the class instead of the receiver.
  Member* current = Cls("java/lang/Thread").FindMethod("currentThread", "()Ljava/lang/Thread;");
  ASSERT_NE(current, nullptr);
  current->access &= static_cast<uint16_t>(~kAccStatic);
  // A native without a row would throw UnsatisfiedLinkError.
  Member* trim = Cls("java/lang/String").FindMethod("trim", "()Ljava/lang/String;");
  ASSERT_NE(trim, nullptr);
  trim->access |= kAccNative;
  // getSigners as a native ends the process.
  Member* signers = Cls("java/lang/Class").FindMethod("getSigners", "()[Ljava/lang/Object;");
  ASSERT_NE(signers, nullptr);
  signers->access |= kAccNative;
  // A must-be-native method written in Java.
  Member* alive = Cls("java/lang/Thread").FindMethod("isAlive", "()Z");
  ASSERT_NE(alive, nullptr);
  alive->access &= static_cast<uint16_t>(~kAccNative);
  Rewrite("java/lang/Thread");
  Rewrite("java/lang/String");
  Rewrite("java/lang/Class");
  Problems p = CheckNatives(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/Thread.currentThread()Ljava/lang/Thread;: registered as static")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/String.trim()Ljava/lang/String;: native without a registered row")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/Class.getSigners()[Ljava/lang/Object;: must not be native")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/Thread.isAlive: must be declared native")) << Join(p);
}

TEST_F(ClassLibrary, MembersOfTheWrongKindAreCaught) {
  Member* err = Cls("java/lang/System").FindField("err", "Ljava/io/PrintStream;");
  ASSERT_NE(err, nullptr);
  err->access &= static_cast<uint16_t>(~kAccStatic);
  Member* uncaught = Cls("java/lang/ThreadGroup")
                         .FindMethod("uncaughtException", "(Ljava/lang/Thread;Ljava/lang/Throwable;)V");
  ASSERT_NE(uncaught, nullptr);
  uncaught->access = static_cast<uint16_t>((uncaught->access & ~kAccPublic) | kAccProtected);
  // Object's constructor moved behind another instance method.
  ClassFile& object = Cls("java/lang/Object");
  size_t ctor = 0;
  while (ctor < object.methods.size() && object.methods[ctor].name != "<init>") ctor++;
  ASSERT_LT(ctor + 1, object.methods.size());
  std::swap(object.methods[ctor], object.methods[ctor + 1]);
  Rewrite("java/lang/System");
  Rewrite("java/lang/ThreadGroup");
  Rewrite("java/lang/Object");
  Problems p = CheckMembersByName(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/System.err Ljava/io/PrintStream;: must be static")) << Join(p);
  EXPECT_TRUE(Mentions(p, "ThreadGroup.uncaughtException (Ljava/lang/Thread;Ljava/lang/Throwable;)V: must be public")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/Object: first instance method is")) << Join(p);
}

TEST_F(ClassLibrary, SocketClassSlipsAreCaught) {
  // A socket stream that leaves a file method to its superclass.
  ClassFile& in = Cls("java/net/SocketInputStream");
  size_t skip = 0;
  while (skip < in.methods.size() && in.methods[skip].name != "skip") skip++;
  ASSERT_LT(skip, in.methods.size());
  in.methods.erase(in.methods.begin() + skip);
  // The descriptor off the word the socket streams share.
  ClassFile& impl = Cls("java/net/SocketImpl");
  ASSERT_GE(impl.fields.size(), 2u);
  std::swap(impl.fields[0], impl.fields[1]);
  // A registered native written in Java.
  Member* family = Cls("java/net/InetAddressImpl").FindMethod("getInetFamily", "()I");
  ASSERT_NE(family, nullptr);
  family->access &= static_cast<uint16_t>(~kAccNative);
  Rewrite("java/net/SocketInputStream");
  Rewrite("java/net/SocketImpl");
  Rewrite("java/net/InetAddressImpl");
  Problems p = CheckMembersByName(lib_);
  EXPECT_TRUE(Mentions(p, "java/net/SocketInputStream: does not override java/io/FileInputStream.skip(J)J")) << Join(p);
  p = CheckLayouts(lib_);
  EXPECT_TRUE(Mentions(p, "java/net/SocketImpl: word 0 is")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/net/PlainSocketImpl: word 0 is")) << Join(p);
  p = CheckNatives(lib_);
  EXPECT_TRUE(Mentions(p, "java/net/InetAddressImpl.getInetFamily()I: a registered native declared in Java")) << Join(p);
}

TEST_F(ClassLibrary, WrongVersionIsCaught) {
  Cls("java/lang/Thread").major = 46;
  Cls("java/lang/Thread").minor = 0;
  Rewrite("java/lang/Thread");
  Problems p = CheckVersions(lib_);
  ASSERT_EQ(p.size(), 1u) << Join(p);
  EXPECT_EQ(p[0], "java/lang/Thread: version 46.0, not 45.3");
}

TEST_F(ClassLibrary, CreatingAMissingClassIsCaught) {
  // String concatenation compiles to `new StringBuffer`; without the class the verifier fails.
  lib_.erase("java/lang/StringBuffer");
  Problems p = CheckCreatedClassesExist(lib_);
  EXPECT_TRUE(Mentions(p, "creates missing class java/lang/StringBuffer")) << Join(p);
  // Array creations count too: anewarray names the element class.
  lib_ = *loaded_;
  lib_.erase("java/lang/Thread");
  p = CheckCreatedClassesExist(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/ThreadGroup.add(Ljava/lang/Thread;)V creates missing class java/lang/Thread"))
      << Join(p);
}

TEST_F(ClassLibrary, ParserTrapsAreCaught) {
  // An interface with a static initialiser, and a skipped attribute last in a class file.
  ClassFile& runnable = Cls("java/lang/Runnable");
  Member clinit = Cls("java/lang/Integer").FindMethod("<clinit>", "()V") != nullptr
                      ? *Cls("java/lang/Integer").FindMethod("<clinit>", "()V")
                      : Member();
  ASSERT_FALSE(clinit.name.empty());
  runnable.methods.push_back(clinit);  // indexes point into Integer's pool: only the name matters here
  runnable.methods.back().name = "<clinit>";
  runnable.methods.back().desc = "()V";
  ClassFile& string = Cls("java/lang/String");
  Attribute skipped;
  skipped.nameIndex = string.methods[0].nameIndex;
  skipped.name = "Synthetic";
  string.attributes.push_back(skipped);
  Problems p = CheckParserPatterns(lib_);
  EXPECT_TRUE(Mentions(p, "java/lang/Runnable: interface with a static initialiser")) << Join(p);
  EXPECT_TRUE(Mentions(p, "java/lang/String: last class attribute is Synthetic")) << Join(p);
}

/* ------------------------------------------------------------------------------------ */
/* The reader itself.                                                                    */

TEST_F(ClassLibrary, WritingAClassBackGivesTheSameBytes) {
  std::vector<ArchiveEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadArchive(std::string(PUX_BUILD_DIR) + "/classlib.zip", entries, error)) << error;
  for (const ArchiveEntry& e : entries) {
    ClassFile c;
    ASSERT_TRUE(ParseClass(e.data, c, error)) << e.name << ": " << error;
    EXPECT_EQ(WriteClass(c), e.data) << e.name;
  }
}

TEST(ClassFileReader, RejectsMalformedInput) {
  ClassFile c;
  std::string error;
  EXPECT_FALSE(ParseClass({0xCA, 0xFE, 0xBA, 0xBF, 0, 3, 0, 45}, c, error));
  EXPECT_EQ(error, "bad magic");
  EXPECT_FALSE(ParseClass({0xCA, 0xFE, 0xBA, 0xBE, 0, 3, 0, 45, 0, 5, 1, 0}, c, error));
  EXPECT_EQ(error, "truncated class file");
}

TEST(ClassFileReader, CountsArgumentWords) {
  EXPECT_EQ(ArgumentWords("()V"), 0);
  EXPECT_EQ(ArgumentWords("(IJ[DLjava/lang/String;D)V"), 1 + 2 + 1 + 1 + 2);
  EXPECT_EQ(ArgumentWords("([[Ljava/lang/Object;Z)I"), 2);
}

}  // namespace
