/* Stream type 5: objects written and read with the class library's object streams over
   the host's stream classes (test doubles whose natives move bytes through the reference
   host's serialization support table). */
#include "serial_support.h"

namespace serial_test {

namespace {

jboolean JNICALL Write0(JNIEnv*, jclass, jlong handle, jint b) {
  uint8_t byte = (uint8_t)b;
  return refhost::SerialSupport()->Write((void*)(intptr_t)(jint)handle, &byte, 1) != 0 ? 1 : 0;
}

jint JNICALL Read0(JNIEnv*, jclass, jlong handle) {
  uint8_t byte = 0;
  jint count = 0;
  if (refhost::SerialSupport()->Read((void*)(intptr_t)(jint)handle, &byte, 1, &count) == 0 || count != 1) return -1;
  return byte;
}

const JNINativeMethod kOutNatives[] = {{(char*)"write0", (char*)"(JI)Z", (void*)&Write0}};
const JNINativeMethod kInNatives[] = {{(char*)"read0", (char*)"(J)I", (void*)&Read0}};

class StandardTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    // Registrations live with the process state of the machines: made for each machine.
    ASSERT_EQ(0, JNI_RegisterNative("corvane/sql/Tavik/VqOutputStream", kOutNatives, 1));
    ASSERT_EQ(0, JNI_RegisterNative("corvane/sql/Tavik/VqInputStream", kInNatives, 1));
  }
  VMStatus StatusOfWrite(VMObject* root, Bytes* bytes) {
    jint result = 0;
    *bytes = Write(root, 5, &result);
    VMStatus status = Serializer()->GetLastStatus();
    EXPECT_EQ(status == 0 ? 0 : -1, result);
    return status;
  }
  std::string Pending() {
    jthrowable t = env->functions->ExceptionOccurred(env);
    if (t == nullptr) return "";
    env->functions->ExceptionClear(env);
    VMObject* o = VMJniHandle::UnHandle(env, t);
    char* name = o->GetClass()->GetDotNameUTF8();
    std::string s = name != nullptr ? name : "?";
    VMJavaLangString::FreeUTF8(name);
    env->functions->DeleteLocalRef(env, t);
    return s;
  }
};

TEST_F(StandardTest, GraphsRoundTripThroughTheHostsStreams) {
  VMObject* a = New("stored/A");
  SetWord(a, "a", 17);
  Bytes bytes;
  ASSERT_EQ(0, StatusOfWrite(a, &bytes));
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(0xAC, bytes[0]);
  EXPECT_EQ(0xED, bytes[1]);
  EXPECT_EQ(0x00, bytes[2]);
  EXPECT_EQ(0x05, bytes[3]);
  VMObject* back = Read(bytes);
  ASSERT_NE(nullptr, back) << Pending() << " status " << Deserializer()->GetLastStatus();
  EXPECT_EQ(17u, GetWord(back, "a"));
  EXPECT_EQ("", Compare(a, back, true));

  // Classes with data of their own: a hook pair and an Externalizable.
  VMObject* journal = New("stored/Journal");
  SetWord(journal, "value", 5);
  SetRef(journal, "note", Str("kept by the hook"));
  ASSERT_EQ(0, StatusOfWrite(journal, &bytes));
  back = Read(bytes);
  ASSERT_NE(nullptr, back) << Pending();
  EXPECT_EQ(5u, GetWord(back, "value"));
  EXPECT_EQ(1u, GetWord(back, "reads"));
  char* note = ((VMJavaLangString*)GetRef(back, "note"))->MakeUTF8();
  EXPECT_STREQ("kept by the hook", note);
  VMJavaLangString::FreeUTF8(note);

  VMObject* tally = New("stored/Tally");
  SetWord(tally, "count", 3);
  SetRef(tally, "label", Str("three"));
  ASSERT_EQ(0, StatusOfWrite(tally, &bytes));
  back = Read(bytes);
  ASSERT_NE(nullptr, back) << Pending();
  EXPECT_EQ(3u, GetWord(back, "count"));
  EXPECT_EQ("", Compare(tally, back, true));

  // The stream object gave the host's handle back.
  jclass in = env->functions->FindClass(env, "corvane/sql/Tavik/VqInputStream");
  ASSERT_NE(nullptr, in);
  jfieldID last = env->functions->GetStaticFieldID(env, in, "last", "Lcorvane/sql/Tavik/VqInputStream;");
  jfieldID handle = env->functions->GetFieldID(env, in, "m_strm", "J");
  jobject stream = env->functions->GetStaticObjectField(env, in, last);
  ASSERT_NE(nullptr, stream);
  EXPECT_EQ(0, env->functions->GetLongField(env, stream, handle));
  env->functions->DeleteLocalRef(env, stream);
  env->functions->DeleteLocalRef(env, in);
  ExpectTablesEmpty();
}

TEST_F(StandardTest, AWriteJavaRefusedIsNoSuccess) {
  // A field holding an object of a class that is not Serializable: the Java stream throws
  // NotSerializableException half way, and the row it left is not reported as stored.
  VMObject* holder = New("stored/Holder");
  VMObject* plain = New("stored/Plain");
  VMDataMember* any = nullptr;
  for (VMLoadableClass* k = Class("stored/Holder"); k != nullptr && any == nullptr; k = k->GetSuper()) {
    VMDataMemberArray* fields = k->GetDataMembers();
    for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++) {
      VMDataMember* f = fields->Get(i);
      if (!f->GetIsStatic() && f->IsRefField() &&
          f->GetSignature() == VMLiteral::CreateInstance(ns, "Ljava/lang/Object;", 0xFFFFFFFFu))
        any = f;
    }
  }
  ASSERT_NE(nullptr, any) << "stored/Holder has an Object field";
  holder->SetWord((uint32_t)any->GetIndex(), (VMword)plain);
  Bytes bytes;
  EXPECT_EQ(VMStatus_TavikSerializationError, StatusOfWrite(holder, &bytes));
  EXPECT_EQ("java.io.NotSerializableException", Pending()) << "the Java stream's exception is the caller's to see";
  // The next write is whole again.
  ASSERT_EQ(0, StatusOfWrite(New("stored/A"), &bytes));
  EXPECT_NE(nullptr, Read(bytes));
}

TEST_F(StandardTest, DamagedStandardStreamsGiveNoObject) {
  // A record the object streams refuse: no object, their exception pending.
  EXPECT_EQ(nullptr, Read({0xAC, 0xED, 0x00, 0x05, 0x73, 0x71, 0x00, 0x7E, 0x00, 0x09}));
  EXPECT_EQ("java.io.StreamCorruptedException", Pending());
  // The magic number alone, then nothing.
  EXPECT_EQ(nullptr, Read({0xAC, 0xED}));
  EXPECT_EQ("java.io.EOFException", Pending());
  // Another version of the format.
  EXPECT_EQ(nullptr, Read({0xAC, 0xED, 0x00, 0x04, 0x70}));
  EXPECT_EQ("java.io.StreamCorruptedException", Pending());
  // Every prefix of a good row fails cleanly.
  VMObject* journal = New("stored/Journal");
  SetRef(journal, "note", Str("n"));
  Bytes bytes;
  ASSERT_EQ(0, StatusOfWrite(journal, &bytes));
  for (size_t n = 1; n < bytes.size(); n++) {
    Bytes part(bytes.begin(), bytes.begin() + n);
    EXPECT_EQ(nullptr, Read(part)) << n;
    EXPECT_NE("", Pending()) << n;
  }
  ExpectTablesEmpty();
}

TEST_F(StandardTest, AHostThatRefusesStandardRowsRunsNoHookOfOne) {
  // A row of type 5 runs the readObject of whatever Serializable class it names; a host
  // that marks its support table refuses such rows whole, with 43 and no Java run.
  VMObject* journal = New("stored/Journal");
  SetWord(journal, "value", 9);
  Bytes bytes;
  ASSERT_EQ(0, StatusOfWrite(journal, &bytes));
  static const char kMark = 1;
  ASSERT_EQ(nullptr, support->RefuseStandardRows) << "older hosts leave the slot empty";
  support->RefuseStandardRows = &kMark;
  VMObject* back = Read(bytes);
  support->RefuseStandardRows = nullptr;
  EXPECT_EQ(nullptr, back);
  EXPECT_EQ(VMStatus_TavikSerializationError, Deserializer()->GetLastStatus());
  EXPECT_EQ("", Pending()) << "nothing of the row was read";
  // Rows of the other types are read as before, and type 5 again once the host allows it.
  support->RefuseStandardRows = &kMark;
  jint result = -1;
  Bytes row = Write(journal, 0, &result);
  ASSERT_EQ(0, result);
  VMObject* plain = Read(row);
  support->RefuseStandardRows = nullptr;
  EXPECT_NE(nullptr, plain) << Deserializer()->GetLastStatus();
  back = Read(bytes);
  ASSERT_NE(nullptr, back) << Pending();
  EXPECT_EQ(9u, GetWord(back, "value"));
  ExpectTablesEmpty();
}

}  // namespace

}  // namespace serial_test
