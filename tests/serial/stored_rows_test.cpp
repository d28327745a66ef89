/* Rows the writer made, and rows made by hand, that the reader must take as the writer
   meant them: a String keeps chars nothing else can change, a large array reads under a
   budget that holds it, and version-0 rows (read only) find their elements through the
   presence bitmap in its own bit order. */
#include "serial_support.h"

namespace serial_test {

namespace {

class StoredRowsTest : public SerialTest {
 protected:
  std::string Text(VMObject* string) {
    char* utf = ((VMJavaLangString*)string)->MakeUTF8();
    std::string s = utf != nullptr ? utf : "?";
    VMJavaLangString::FreeUTF8(utf);
    return s;
  }
  void CallSetCharAt(VMObject* buffer, jint index, jchar c) {
    jobject sb = VMJniHandle::NewLocal(env, buffer);
    jclass sbc = env->functions->GetObjectClass(env, sb);
    jmethodID set = env->functions->GetMethodID(env, sbc, "setCharAt", "(IC)V");
    ASSERT_NE(nullptr, set);
    env->functions->CallVoidMethod(env, sb, set, index, c);
    env->functions->DeleteLocalRef(env, sbc);
    env->functions->DeleteLocalRef(env, sb);
  }
  /* A String over chars [offset, offset + count) of the array. */
  VMObject* StringOver(VMObject* chars, VMword offset, VMword count) {
    VMObject* s = Hold(New(Class("java/lang/String", nullptr)));
    SetRef(s, "value", chars);
    SetWord(s, "offset", offset);
    SetWord(s, "count", count);
    return s;
  }
};

TEST_F(StoredRowsTest, AStringReadBackSharesItsCharsWithNothingMutable) {
  VMObject* chars = GetRef(Hold(Str("abcd")), "value");
  VMObject* buffer = Hold(New(Class("java/lang/StringBuffer", nullptr)));
  SetRef(buffer, "value", chars);
  SetWord(buffer, "count", 4);
  VMObject* whole = StringOver(chars, 0, 4);
  VMObject* part = StringOver(chars, 1, 2);
  VMObject* other = Hold(Str("xyz"));
  VMObject* twin = StringOver(GetRef(other, "value"), 0, 3);
  VMrefArray* graph = Hold(NewReferences(Class("java/lang/Object", nullptr), 7));
  graph->Set(0, whole);
  graph->Set(1, part);
  graph->Set(2, buffer);
  graph->Set(3, other);
  graph->Set(4, twin);
  // A class object and a char[] field of an ordinary object in the same row.
  graph->Set(5, Class("java/lang/StringBuffer", nullptr));
  VMObject* other2 = Hold(New(Class("java/lang/StringBuffer", nullptr)));
  SetRef(other2, "value", GetRef(other, "value"));
  SetWord(other2, "count", 1);
  graph->Set(6, other2);
  for (int type : {0, 1, 3}) {
    VMrefArray* back = (VMrefArray*)Hold(Read(Write(graph, type)));
    ASSERT_NE(nullptr, back) << type << ": status " << Deserializer()->GetLastStatus();
    VMObject* backBuffer = back->Get(2);
    CallSetCharAt(backBuffer, 0, 'Z');
    CallSetCharAt(backBuffer, 2, 'Y');
    EXPECT_EQ("abcd", Text(back->Get(0))) << type << ": a String changed after it was read";
    EXPECT_EQ("bc", Text(back->Get(1))) << type;
    EXPECT_EQ(0u, GetWord(back->Get(1), "offset")) << type << ": a private copy holds only the String's range";
    EXPECT_NE(GetRef(back->Get(0), "value"), GetRef(backBuffer, "value")) << type;
    // Both Strings over "xyz" get copies too: a StringBuffer holds their chars.
    EXPECT_NE(GetRef(back->Get(3), "value"), GetRef(back->Get(6), "value")) << type;
    EXPECT_NE(GetRef(back->Get(4), "value"), GetRef(back->Get(6), "value")) << type;
    EXPECT_EQ("xyz", Text(back->Get(4))) << type;
    EXPECT_EQ((VMObject*)Class("java/lang/StringBuffer", nullptr), back->Get(5)) << type;
  }
  // Chars that only Strings use stay shared as they were written.
  VMrefArray* strings = Hold(NewReferences(Class("java/lang/Object", nullptr), 2));
  strings->Set(0, other);
  strings->Set(1, twin);
  VMrefArray* shared = (VMrefArray*)Hold(Read(Write(strings, 0)));
  ASSERT_NE(nullptr, shared) << Deserializer()->GetLastStatus();
  EXPECT_EQ(GetRef(shared->Get(0), "value"), GetRef(shared->Get(1), "value"));
  // The same char[] as an element of an object array.
  VMrefArray* pair = Hold(NewReferences(Class("java/lang/Object", nullptr), 2));
  pair->Set(0, whole);
  pair->Set(1, chars);
  VMrefArray* back = (VMrefArray*)Hold(Read(Write(pair, 0)));
  ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
  EXPECT_NE(back->Get(1), GetRef(back->Get(0), "value"));
  ((VMcharArray*)back->Get(1))->Set(0, 'Q');
  EXPECT_EQ("abcd", Text(back->Get(0)));
  EXPECT_EQ(0u, FlaggedBlocks());
}

TEST_F(StoredRowsTest, ABudgetLargerThanTheArrayReadsTheArray) {
  // An 8 MB int[] is read in growing steps; only the bytes live at once count, so a
  // 12 MB budget holds it (the last two steps) and a 6 MB budget does not.
  const uint32_t n = 2000000;
  VMArray* ints = Hold(NewPrimitives(10, n));
  for (uint32_t i = 0; i < n; i += 1000) ((VMintArray*)ints)->Set(i, (jint)i);
  jint result = -1;
  Bytes row = Write(ints, 0, &result);
  ASSERT_EQ(0, result);
  Deserializer()->SetAllocationBudget(6u << 20);
  EXPECT_EQ(nullptr, Read(row));
  EXPECT_EQ(VMStatus_OutOfMemoryError, Deserializer()->GetLastStatus());
  Deserializer()->SetAllocationBudget(12u << 20);
  VMObject* back = Hold(Read(row));
  Deserializer()->SetAllocationBudget(0);
  ASSERT_NE(nullptr, back) << "status " << Deserializer()->GetLastStatus();
  ASSERT_EQ(n, ((VMArray*)back)->GetSize());
  for (uint32_t i = 0; i < n; i += 1000) ASSERT_EQ((jint)i, ((VMintArray*)back)->Get(i)) << i;
  // The budget serves each read afresh: a second read of the same row fits as well.
  Deserializer()->SetAllocationBudget(12u << 20);
  EXPECT_NE(nullptr, Read(row)) << "status " << Deserializer()->GetLastStatus();
  Deserializer()->SetAllocationBudget(0);
}

TEST_F(StoredRowsTest, AVersionZeroArrayReadsItsBitmapFromTheLeastSignificantBit) {
  jint idObject = refhost::SerialIdOf("java/lang/Object");
  // Object[3] {itself, null, itself}: bitmap 0b101, then the two ids.
  Bytes row = Cat({{0x00}, Compact(-64), {'[', 'L'}, Compact(idObject), {0}, Compact(3), {0x05}, Compact(-128),
                   Compact(-128), {0}});
  VMObject* back = Hold(Read(row));
  ASSERT_NE(nullptr, back) << "status " << Deserializer()->GetLastStatus();
  VMrefArray* a = (VMrefArray*)back;
  ASSERT_EQ(3u, a->GetSize());
  EXPECT_EQ(back, a->Get(0));
  EXPECT_EQ(nullptr, a->Get(1));
  EXPECT_EQ(back, a->Get(2));
  // Object[11] with elements 0, 3, 8 and 10 present: two bitmap bytes, 0x09 then 0x05.
  row = Cat({{0x00}, Compact(-64), {'[', 'L'}, Compact(idObject), {0}, Compact(11), {0x09, 0x05}, Compact(-128),
             Compact(-128), Compact(-128), Compact(-128), {0}});
  back = Hold(Read(row));
  ASSERT_NE(nullptr, back) << "status " << Deserializer()->GetLastStatus();
  a = (VMrefArray*)back;
  ASSERT_EQ(11u, a->GetSize());
  for (uint32_t i = 0; i < 11; i++) {
    bool present = i == 0 || i == 3 || i == 8 || i == 10;
    EXPECT_EQ(present ? back : nullptr, a->Get(i)) << i;
  }
  // A bitmap that names more elements than ids follow is a damaged row.
  row = Cat({{0x00}, Compact(-64), {'[', 'L'}, Compact(idObject), {0}, Compact(11), {0x09, 0x05}, Compact(-128),
             Compact(-128), Compact(-128)});
  EXPECT_EQ(nullptr, Read(row));
}

TEST_F(StoredRowsTest, AFileTravelsThroughItsHooks) {
  // File writes its separator after its fields, so its data goes in the trailing section.
  VMObject* file = Hold(New(Class("java/io/File", nullptr)));
  SetRef(file, "path", Hold(Str("dir\\name")));
  for (int type : {0, 1, 3}) {
    jint result = -1;
    Bytes row = Write(file, type, &result);
    ASSERT_EQ(0, result) << type;
    VMObject* back = Hold(Read(row));
    ASSERT_NE(nullptr, back) << type << ": status " << Deserializer()->GetLastStatus();
    EXPECT_EQ("dir\\name", Text(GetRef(back, "path"))) << type;
  }
}

}  // namespace

}  // namespace serial_test
