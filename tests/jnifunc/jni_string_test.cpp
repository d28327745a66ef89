/* Strings at the native interface: the modified UTF-8 table both ways, region bounds
   and terminators, the piece reader, and the failures. */
#include <string.h>

#include <string>
#include <vector>

#include "jnifunc_support.h"
#include "vmjavalangstring.h"

namespace jnifunc_test {
namespace {

using StringTest = JniTest;

std::string Hex(const char* bytes, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; i++) {
    if (i > 0) out += ' ';
    out += digits[(uint8_t)bytes[i] >> 4];
    out += digits[(uint8_t)bytes[i] & 15];
  }
  return out;
}

TEST_F(StringTest, UnitsEncodeOneByOneAndDecodeBack) {
  const jchar units[] = {0x0000, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD83D, 0xDE00, 0xFFFF};
  jstring s = f->NewString(env, units, 8);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(8, f->GetStringLength(env, s));
  EXPECT_EQ(2 + 1 + 2 + 2 + 3 + 3 + 3 + 3, f->GetStringUTFLength(env, s));
  jboolean isCopy = 0;
  const char* utf = f->GetStringUTFChars(env, s, &isCopy);
  ASSERT_NE(nullptr, utf);
  EXPECT_EQ(1, isCopy);
  EXPECT_EQ("C0 80 7F C2 80 DF BF E0 A0 80 ED A0 BD ED B8 80 EF BF BF", Hex(utf, strlen(utf)));
  // And back: the same units.
  jstring again = f->NewStringUTF(env, utf);
  f->ReleaseStringUTFChars(env, s, utf);
  const jchar* chars = f->GetStringChars(env, again, &isCopy);
  ASSERT_NE(nullptr, chars);
  EXPECT_EQ(0, memcmp(chars, units, sizeof units));
  f->ReleaseStringChars(env, again, chars);

  // Reading modified UTF-8: C0 80 is U+0000, a cut-off last sequence is no text, a
  // continuation byte standing first leads a two-byte sequence.
  jstring zero = f->NewStringUTF(env, "\xC0\x80");
  EXPECT_EQ(1, f->GetStringLength(env, zero));
  jchar unit[2] = {1, 1};  // the region's units and the terminating one
  f->GetStringRegion(env, zero, 0, 1, unit);
  EXPECT_EQ(0, unit[0]);
  EXPECT_EQ(nullptr, f->NewStringUTF(env, "ab\xC3"));
  EXPECT_EQ(nullptr, f->NewStringUTF(env, "\xE0\x80"));
  EXPECT_EQ(nullptr, f->NewStringUTF(env, NULL));
  EXPECT_EQ("", Thrown());
  jstring lead = f->NewStringUTF(env, "\x80\x41");
  ASSERT_NE(nullptr, lead);
  EXPECT_EQ(1, f->GetStringLength(env, lead));
  f->GetStringRegion(env, lead, 0, 1, unit);
  EXPECT_EQ(0x01, unit[0]);

  // Empty strings both ways.
  jstring empty = f->NewString(env, units, 0);
  EXPECT_EQ(0, f->GetStringLength(env, empty));
  const char* none = f->GetStringUTFChars(env, f->NewStringUTF(env, ""), NULL);
  ASSERT_NE(nullptr, none);
  EXPECT_EQ(0, none[0]);
  f->ReleaseStringUTFChars(env, empty, none);
  EXPECT_EQ("", Thrown());
}

TEST_F(StringTest, StringsGoIntoJavaAndBack) {
  jclass values = Cls("jnifunc/Values");
  jstring s = f->NewStringUTF(env, "abc\xC3\xA9");
  EXPECT_EQ(4, f->CallStaticIntMethod(env, values, StaticMethod("jnifunc/Values", "length", "(Ljava/lang/String;)I"), s));
  jstring upper = (jstring)f->CallStaticObjectMethod(
      env, values, StaticMethod("jnifunc/Values", "upper", "(Ljava/lang/String;)Ljava/lang/String;"), s);
  ASSERT_NE(nullptr, upper) << Thrown() << " " << message;
  EXPECT_EQ("ABC\xC3\x89", Text(upper));
  // A string made from UTF-16 equals the one Java makes.
  const jchar abc[] = {'a', 'b', 'c'};
  jstring made = f->NewString(env, abc, 3);
  jmethodID equals = Method("java/lang/Object", "equals", "(Ljava/lang/Object;)Z");
  EXPECT_TRUE(f->CallBooleanMethod(env, made, equals, f->NewStringUTF(env, "abc")));
  EXPECT_EQ("", Thrown());
}

TEST_F(StringTest, RegionsAreBoundedAndTerminated) {
  jstring s = f->NewStringUTF(env, "hello");
  jchar buf[8];
  for (jchar& c : buf) c = 0x7777;
  f->GetStringRegion(env, s, 0, 5, buf);
  EXPECT_EQ('h', buf[0]);
  EXPECT_EQ('o', buf[4]);
  EXPECT_EQ(0x7777, buf[5]);  // exactly the region: no terminating unit
  EXPECT_EQ(0x7777, buf[6]);
  buf[0] = 0x7777;
  f->GetStringRegion(env, s, 5, 0, buf);
  EXPECT_EQ(0x7777, buf[0]);
  EXPECT_EQ("", Thrown());

  // Beyond the string: nothing written. The sum of start and length must not wrap.
  for (jchar& c : buf) c = 0x7777;
  const jsize bad[][2] = {{1, 5}, {-1, 1}, {0, -1}, {6, 0}, {1, 0x7FFFFFFF}, {0x7FFFFFFF, 0x7FFFFFFF}};
  for (const auto& r : bad) {
    f->GetStringRegion(env, s, r[0], r[1], buf);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown()) << r[0] << "," << r[1];
    char utf[16];
    memset(utf, 0x77, sizeof utf);
    f->GetStringUTFRegion(env, s, r[0], r[1], utf);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown()) << r[0] << "," << r[1];
    EXPECT_EQ(0x77, utf[0]);
  }
  EXPECT_EQ(0x7777, buf[0]);

  char utf[16];
  jstring mixed = f->NewStringUTF(env, "a\xE2\x82\xAC" "b");
  f->GetStringUTFRegion(env, mixed, 1, 2, utf);
  EXPECT_EQ("E2 82 AC 62 00", Hex(utf, 5));
  f->GetStringRegion(env, NULL, 0, 0, buf);
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  f->GetStringUTFRegion(env, NULL, 0, 0, utf);
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
}

/* The piece reader delivers whole characters only and says where to go on. */
TEST_F(StringTest, PiecesOfModifiedUtf8) {
  const jchar three[] = {0x20AC, 0x20AC, 0x20AC};
  jstring s3 = f->NewString(env, three, 3);
  char buf[16];
  uint32_t written = 99;
  EXPECT_EQ(2u, f->GetStringUTFPiece(env, s3, buf, 7, &written, 0));
  EXPECT_EQ(6u, written);
  EXPECT_EQ(0u, f->GetStringUTFPiece(env, s3, buf, 7, &written, 2));
  EXPECT_EQ(3u, written);
  EXPECT_EQ("E2 82 AC", Hex(buf, 3));
  jstring s2 = f->NewString(env, three, 2);
  EXPECT_EQ(2u, f->GetStringUTFPiece(env, s2, buf, 6, &written, 0));
  EXPECT_EQ(6u, written);
  EXPECT_EQ(0u, f->GetStringUTFPiece(env, s2, buf, 6, &written, 2));
  EXPECT_EQ(0u, written);
  EXPECT_EQ("", Thrown());
  // An index at or past the end is the end, whatever lies beyond the string's chars.
  EXPECT_EQ(0u, f->GetStringUTFPiece(env, s2, buf, 6, &written, 1000));
  EXPECT_EQ(0u, written);
  EXPECT_EQ(0u, f->GetStringUTFPiece(env, s2, buf, 6, &written, 0xFFFFFFFFu));
  EXPECT_EQ("", Thrown());
  // No room for a character while characters remain: nothing written, the index given
  // back, and the misuse visible (0 would read as "done" with the text lost).
  memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(0u, f->GetStringUTFPiece(env, s2, buf, 2, &written, 0));
  EXPECT_EQ(0u, written);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown());
  EXPECT_EQ(1u, f->GetStringUTFPiece(env, s2, buf, 0, &written, 1));
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Thrown());
  EXPECT_EQ(0x55, (uint8_t)buf[0]);

  // A whole long string, piece by piece, equals its one-block form.
  std::vector<jchar> units;
  for (int i = 0; i < 1500; i++) units.push_back((jchar)(i % 3 == 0 ? 'x' : i % 3 == 1 ? 0x3B1 : 0x4E2D));
  jstring big = f->NewString(env, units.data(), (jsize)units.size());
  std::string pieces;
  uint32_t at = 0;
  int calls = 0;
  do {
    at = f->GetStringUTFPiece(env, big, buf, sizeof buf, &written, at);
    pieces.append(buf, written);
    calls++;
  } while (at != 0 && calls < 10000);
  const char* whole = f->GetStringUTFChars(env, big, NULL);
  EXPECT_EQ(std::string(whole), pieces);
  f->ReleaseStringUTFChars(env, big, whole);
}

TEST_F(StringTest, FailuresAndArgumentsThatAreNoString) {
  jstring s = f->NewStringUTF(env, "text");
  // The host refuses the copy: null, isCopy untouched, OutOfMemoryError.
  jboolean isCopy = 7;
  refhost::SetFailureScope(true, nullptr, jallocFailFast);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, f->GetStringChars(env, s, &isCopy));
  refhost::ResetHooks();
  EXPECT_EQ(7, isCopy);
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  // Longer than the host's largest block: isCopy is set first all the same.
  const jchar many[8000] = {};
  jstring zeros = f->NewString(env, many, 8000);  // 16000 bytes of modified UTF-8
  refhost::SetMaxAllocSize(10240);
  EXPECT_EQ(nullptr, f->GetStringUTFChars(env, zeros, &isCopy));
  refhost::ResetHooks();
  EXPECT_EQ(1, isCopy);
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  // No string can be made: OutOfMemoryError, not a silent null.
  refhost::SetFailureScope(true, world.vm->GetHeap(), -1);
  refhost::FailNextAllocations(100);
  EXPECT_EQ(nullptr, f->NewStringUTF(env, "no room"));
  EXPECT_EQ(nullptr, f->NewString(env, many, 10));
  refhost::ResetHooks();
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  // Sizes and pointers a native can get wrong.
  EXPECT_EQ(nullptr, f->NewString(env, many, -1));
  EXPECT_EQ("java.lang.NegativeArraySizeException", Thrown());
  EXPECT_EQ(nullptr, f->NewString(env, NULL, 3));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  EXPECT_NE(nullptr, f->NewString(env, NULL, 0));
  // Null and objects that are not strings are refused before anything is read.
  EXPECT_EQ(0, f->GetStringLength(env, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  EXPECT_EQ(nullptr, f->GetStringUTFChars(env, NULL, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  jobject notString = New("jnifunc/Values");
  EXPECT_EQ(0, f->GetStringUTFLength(env, notString));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  EXPECT_EQ(nullptr, f->GetStringChars(env, f->NewIntArray(env, 3), NULL));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  uint32_t written = 5;
  EXPECT_EQ(0u, f->GetStringUTFPiece(env, notString, (char*)many, 10, &written, 0));
  EXPECT_EQ(0u, written);
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  // The criticals are not provided.
  EXPECT_EQ(nullptr, f->GetStringCritical(env, s, &isCopy));
  EXPECT_EQ("java.lang.InternalError", Thrown());
  EXPECT_EQ("nyi: VMJniGetStringCritical", message);
  f->ReleaseStringCritical(env, s, NULL);
  EXPECT_EQ("nyi: VMJniReleaseStringCritical", (Thrown(), message));
}

}  // namespace
}  // namespace jnifunc_test
