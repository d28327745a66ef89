/* Stored rows of classes that write their own data (writeObject/readObject hooks) or are
   Externalizable: the data travels in the row's trailing section, written and read by
   the Java object streams of the host's library (test doubles in tests/java/serial_host
   whose natives reach this machine's AddObject and FindObject). */
#include <functional>

#include "serial_support.h"

namespace serial_test {

namespace {

JNISerialization* gThrough = nullptr;
int gTicks = 0;

jint JNICALL AddObject0(JNIEnv* env, jclass, jobject object) {
  return gThrough->functions->AddObject(env, gThrough->serializer, object);
}

jobject JNICALL FindObject0(JNIEnv* env, jclass, jint id) {
  return gThrough->functions->FindObject(env, gThrough->deserializer, id);
}

/* A looping hook's tick: after a while the host asks the thread to stop. */
void JNICALL Tick(JNIEnv*, jclass) {
  if (++gTicks == 200) refhost::SetStopFlag(true);
}

const JNINativeMethod kOutNatives[] = {{(char*)"addObject0", (char*)"(Ljava/lang/Object;)I", (void*)&AddObject0}};
const JNINativeMethod kInNatives[] = {{(char*)"findObject0", (char*)"(I)Ljava/lang/Object;", (void*)&FindObject0}};
const JNINativeMethod kSpinNatives[] = {{(char*)"tick", (char*)"()V", (void*)&Tick}};

}  // namespace

class TrailingTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    gThrough = serialization;
    gTicks = 0;
    ASSERT_EQ(0, JNI_RegisterNative("corvane/sql/Tavik/VqObjectOutputStream", kOutNatives, 1));
    ASSERT_EQ(0, JNI_RegisterNative("corvane/sql/Tavik/VqObjectInputStream", kInNatives, 1));
    ASSERT_EQ(0, JNI_RegisterNative("stored/Spin", kSpinNatives, 1));
  }
  void TearDown() override {
    refhost::SetStopFlag(false);
    gThrough = nullptr;
    SerialTest::TearDown();
  }

  const JNINativeInterface_* f() { return env->functions; }

  jclass ClassRef(const char* name, bool system = false) {
    VMLoadableClass* cls = system ? TryClass(name, nullptr) : Class(name);
    EXPECT_NE(nullptr, cls) << name;
    return (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls);
  }
  void SetStaticInt(const char* cls, const char* field, jint value) {
    jclass c = ClassRef(cls);
    f()->SetStaticIntField(env, c, f()->GetStaticFieldID(env, c, field, "I"), value);
    f()->DeleteLocalRef(env, c);
  }
  jint GetStaticInt(const char* cls, const char* field) {
    jclass c = ClassRef(cls);
    jint v = f()->GetStaticIntField(env, c, f()->GetStaticFieldID(env, c, field, "I"));
    f()->DeleteLocalRef(env, c);
    return v;
  }
  VMObject* GetStaticObject(const char* cls, const char* field) {
    jclass c = ClassRef(cls);
    jobject o = f()->GetStaticObjectField(env, c, f()->GetStaticFieldID(env, c, field, "Ljava/lang/Object;"));
    f()->DeleteLocalRef(env, c);
    VMObject* object = Hold(VMJniHandle::UnHandle(env, o));
    if (o != nullptr) f()->DeleteLocalRef(env, o);
    return object;
  }
  void ClearStatic(const char* cls, const char* field) {
    jclass c = ClassRef(cls);
    f()->SetStaticObjectField(env, c, f()->GetStaticFieldID(env, c, field, "Ljava/lang/Object;"), nullptr);
    f()->DeleteLocalRef(env, c);
  }
  void Share(bool on) {
    jclass c = ClassRef("corvane/sql/Tavik/VqObjectOutputStream", true);
    f()->SetStaticBooleanField(env, c, f()->GetStaticFieldID(env, c, "share", "Z"), on ? 1 : 0);
    f()->DeleteLocalRef(env, c);
  }
  /* The class name of the pending exception ("" for none), which is cleared. */
  std::string Pending() {
    jthrowable t = f()->ExceptionOccurred(env);
    if (t == nullptr) return "";
    f()->ExceptionClear(env);
    VMObject* o = VMJniHandle::UnHandle(env, t);
    char* name = o->GetClass()->GetDotNameUTF8();
    std::string s = name != nullptr ? name : "?";
    VMJavaLangString::FreeUTF8(name);
    f()->DeleteLocalRef(env, t);
    return s;
  }
  std::string Text(VMObject* s) {
    if (s == nullptr) return "(null)";
    char* t = ((VMJavaLangString*)s)->MakeUTF8();
    std::string r = t != nullptr ? t : "?";
    VMJavaLangString::FreeUTF8(t);
    return r;
  }
  VMrefArray* Objects(std::initializer_list<VMObject*> elements) {
    VMrefArray* a = NewReferences(ns->GetClassList()->GetObjectClass(), (uint32_t)elements.size());
    uint32_t i = 0;
    for (VMObject* e : elements) a->Set(i++, e);
    return a;
  }
  VMStatus Status(VMObject* root, int type, Bytes* bytes) {
    jint result = 0;
    *bytes = Write(root, type, &result);
    VMStatus status = Serializer()->GetLastStatus();
    EXPECT_EQ(status == 0 ? 0 : -1, result);
    return status;
  }
  /* A read that must fail: no object, nothing flagged, every table empty; the pending
     exception's class (cleared). */
  std::string Fails(const Bytes& row, const std::string& what) {
    EXPECT_EQ(nullptr, Read(row)) << what;
    EXPECT_NE(0, Deserializer()->GetLastStatus()) << what;
    EXPECT_EQ(0u, FlaggedBlocks()) << what;
    ExpectTablesEmpty();
    return Pending();
  }
  /* Where the row's trailing section begins (its C(records)): its Java stream starts
     with the magic number after C(bytes), which counts the rest of the row. */
  static size_t SectionStart(const Bytes& row) {
    for (size_t i = 2; i + 4 <= row.size(); i++) {
      if (row[i] != 0xAC || row[i + 1] != 0xED || row[i + 2] != 0x00 || row[i + 3] != 0x05) continue;
      for (size_t n = 1; n <= 5 && n < i; n++) {
        Bytes length = Compact((int32_t)(row.size() - i));
        if (length.size() == n && std::equal(length.begin(), length.end(), row.begin() + (i - n))) {
          return i - n - 1;  // C(records) of one byte: the tests' rows owe fewer than 64
        }
      }
    }
    return 0;
  }
  /* A trailing section of the given record count forged through the host's own stream
     class: what writes records writes into its Java stream. */
  Bytes Forge(jint records, const std::function<void(jobject, jclass)>& writes) {
    jclass bytesClass = f()->FindClass(env, "java/io/ByteArrayOutputStream");
    jobject bytes = f()->NewObject(env, bytesClass, f()->GetMethodID(env, bytesClass, "<init>", "()V"));
    jclass streamClass = f()->FindClass(env, "corvane/sql/Tavik/VqObjectOutputStream");
    jobject stream = f()->NewObject(env, streamClass,
                                    f()->GetMethodID(env, streamClass, "<init>", "(Ljava/io/OutputStream;)V"), bytes);
    EXPECT_NE(nullptr, stream);
    writes(stream, streamClass);
    f()->CallVoidMethod(env, stream, f()->GetMethodID(env, streamClass, "flush", "()V"));
    jbyteArray array = (jbyteArray)f()->CallObjectMethod(env, bytes, f()->GetMethodID(env, bytesClass, "toByteArray", "()[B"));
    EXPECT_EQ("", Pending());
    Bytes java((size_t)f()->GetArrayLength(env, array));
    f()->GetByteArrayRegion(env, array, 0, (jsize)java.size(), (jbyte*)java.data());
    for (jobject r : {(jobject)bytesClass, bytes, (jobject)streamClass, stream, (jobject)array}) f()->DeleteLocalRef(env, r);
    return Cat({Compact(records), Compact((int32_t)java.size()), java});
  }
  void WriteInt(jobject stream, jclass cls, jint v) {
    f()->CallVoidMethod(env, stream, f()->GetMethodID(env, cls, "writeInt", "(I)V"), v);
  }
  void WriteObject(jobject stream, jclass cls, jobject o) {
    f()->CallVoidMethod(env, stream, f()->GetMethodID(env, cls, "writeObject", "(Ljava/lang/Object;)V"), o);
  }
  /* A Journal's record after its two ints, as its hook writes it, but with the stream
     descriptor of the named class (or a String in its place). */
  void WriteJournalData(jobject stream, jclass cls, const char* className) {
    jclass descClass = f()->FindClass(env, "java/io/ObjectStreamClass");
    jmethodID lookup = f()->GetStaticMethodID(env, descClass, "lookup", "(Ljava/lang/Class;)Ljava/io/ObjectStreamClass;");
    jclass k = ClassRef(className != nullptr ? className : "stored/Journal");
    jobject desc = f()->CallStaticObjectMethod(env, descClass, lookup, k);
    jclass own = ClassRef("stored/Journal");
    jobject ownDesc = f()->CallStaticObjectMethod(env, descClass, lookup, own);
    jobject journal = VMJniHandle::NewLocal(env, New("stored/Journal"));
    jstring text = f()->NewStringUTF(env, "forged");
    WriteObject(stream, cls, className != nullptr ? desc : text);
    // The default writer writes the fields of the stream's current object and class.
    jfieldID currentObject = f()->GetFieldID(env, cls, "currentObject", "Ljava/lang/Object;");
    jfieldID currentClassDesc = f()->GetFieldID(env, cls, "currentClassDesc", "Ljava/io/ObjectStreamClass;");
    f()->SetObjectField(env, stream, currentObject, journal);
    f()->SetObjectField(env, stream, currentClassDesc, ownDesc);
    f()->CallVoidMethod(env, stream, f()->GetMethodID(env, cls, "defaultWriteObject", "()V"));
    f()->SetObjectField(env, stream, currentObject, nullptr);
    f()->SetObjectField(env, stream, currentClassDesc, nullptr);
    f()->CallVoidMethod(env, stream, f()->GetMethodID(env, cls, "writeUTF", "(Ljava/lang/String;)V"), text);
    for (jobject r : {(jobject)descClass, (jobject)k, desc, (jobject)own, ownDesc, journal, (jobject)text})
      f()->DeleteLocalRef(env, r);
  }

  /* The graph of the round trips: an array of a Journal (hooks), a Tally
     (Externalizable), a TierTop (hooks at the top and bottom of its chain, plain fields
     between, a field holding the Journal and a hook-only object), a TallyPlus
     (Externalizable through its superclass) and a Hooked (hooks that write nothing). */
  VMrefArray* MakeGraph() {
    VMObject* journal = New("stored/Journal");
    SetWord(journal, "value", 5);
    SetRef(journal, "note", Str("kept by the hook"));
    VMObject* tally = New("stored/Tally");
    SetWord(tally, "count", 3);
    SetRef(tally, "label", Str("three"));
    VMObject* tier = New("stored/TierTop");
    SetWord(tier, "base", 11);
    SetRef(tier, "baseNote", Str("base note"));
    SetLong(tier, "mid", -1234567890123LL);
    SetRef(tier, "link", journal);
    SetWord(tier, "top", 7);
    SetRef(tier, "extra", tally);
    VMObject* plus = New("stored/TallyPlus");
    SetWord(plus, "count", 8);
    SetWord(plus, "unwritten", 99);
    VMObject* hooked = New("stored/Hooked");
    SetWord(hooked, "value", 13);
    return Objects({journal, tally, tier, plus, hooked});
  }

  /* shared: the objects the hooks wrote are the graph's own (the stream carried
     references to them), rather than copies the stream made. */
  void ExpectGraph(VMObject* back, bool shared) {
    ASSERT_NE(nullptr, back);
    VMrefArray* a = (VMrefArray*)back;
    ASSERT_EQ(5u, a->GetSize());
    VMObject* journal = a->Get(0);
    EXPECT_EQ(5u, GetWord(journal, "value"));
    EXPECT_EQ("kept by the hook", Text(GetRef(journal, "note")));
    EXPECT_EQ(1u, GetWord(journal, "reads"));
    VMObject* tally = a->Get(1);
    EXPECT_EQ(3u, GetWord(tally, "count"));
    EXPECT_EQ("three", Text(GetRef(tally, "label")));
    VMObject* tier = a->Get(2);
    EXPECT_EQ(11u, GetWord(tier, "base"));
    EXPECT_EQ("base note", Text(GetRef(tier, "baseNote")));
    EXPECT_EQ(-1234567890123LL, GetLong(tier, "mid"));
    EXPECT_EQ(journal, GetRef(tier, "link"));
    EXPECT_EQ(7u, GetWord(tier, "top"));
    VMObject* extra = GetRef(tier, "extra");
    ASSERT_NE(nullptr, extra);
    EXPECT_EQ(3u, GetWord(extra, "count"));
    EXPECT_EQ("three", Text(GetRef(extra, "label")));
    EXPECT_EQ(shared, extra == tally);
    VMObject* plus = a->Get(3);
    EXPECT_EQ(8u, GetWord(plus, "count"));
    EXPECT_EQ(0u, GetWord(plus, "unwritten"));
    EXPECT_EQ(nullptr, GetRef(plus, "label"));
    EXPECT_EQ(0u, GetWord(a->Get(4), "value")) << "Hooked's hooks store nothing";
  }
};

TEST_F(TrailingTest, HooksAndExternalizablesRoundTripInEveryRowType) {
  for (bool shared : {false, true}) {
    Share(shared);
    for (int type : {0, 1, 3}) {
      VMrefArray* root = MakeGraph();
      Bytes bytes;
      ASSERT_EQ(0, Status(root, type, &bytes)) << type << " " << Pending();
      size_t start = SectionStart(bytes);
      ASSERT_NE(0u, start) << "a trailing section: " << Hex(bytes);
      // Records: Journal, Tally, TierBase and TierTop of the TierTop, TallyPlus, Hooked;
      // shared, the Tally the hook wrote is the graph's, and is no new record.
      EXPECT_EQ(Compact(6), Bytes(bytes.begin() + start, bytes.begin() + start + 1)) << type;
      ExpectGraph(Read(bytes), shared);
      EXPECT_EQ("", Pending());
      ExpectTablesEmpty();
      // The row reads again, into new objects.
      VMObject* again = Read(bytes);
      ExpectGraph(again, shared);
      EXPECT_NE(again, Read(bytes));
      // In the other loader, by its own classes of the same names.
      if (type == 3) ExpectGraph(Read(bytes, kOther), shared);
    }
  }
  // Every prefix of such a row fails cleanly, wherever it is cut: in the records (after
  // constructors ran, or before) or in the section.
  Share(false);
  Bytes whole;
  ASSERT_EQ(0, Status(MakeGraph(), 3, &whole));
  for (size_t n = 1; n < whole.size(); n += (n < 600 ? 1 : 7)) {
    Fails(Bytes(whole.begin(), whole.begin() + (long)n), "prefix " + std::to_string(n));
    if (n % 100 == 0) LetGo();
  }
  // A Serializable class that declares readObject alone: its fields are written by the
  // default writer into the section, and its hook reads them (here it reads nothing,
  // the last record of the row).
  VMObject* once = New("stored/ReadOnlyHook");
  SetWord(once, "value", 21);
  Bytes bytes;
  ASSERT_EQ(0, Status(once, 0, &bytes));
  VMObject* back = Read(bytes);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(0u, GetWord(back, "value"));
}

TEST_F(TrailingTest, ObjectsOnlyAHookWritesJoinTheGraphWhenTheHostSharesThem) {
  Share(true);
  // A list whose links only the hooks write: each node becomes a record of its own, and
  // each hook's record holds a reference to the next.
  const int kNodes = 300;
  VMObject* head = nullptr;
  for (int i = kNodes; i > 0; i--) {
    VMObject* node = New("stored/Linked");
    SetWord(node, "value", (VMword)i);
    SetRef(node, "next", head);
    head = node;
  }
  Bytes bytes;
  ASSERT_EQ(0, Status(head, 1, &bytes)) << Pending();
  VMObject* back = Read(bytes);
  int seen = 0;
  for (VMObject* n = back; n != nullptr; n = GetRef(n, "next")) {
    ASSERT_EQ((VMword)++seen, GetWord(n, "value"));
  }
  EXPECT_EQ(kNodes, seen);
  // An object the stored graph cannot carry, written by a hook, fails the write with
  // the stream's exception.
  VMObject* tier = New("stored/TierTop");
  SetRef(tier, "extra", New("stored/Plain"));
  EXPECT_EQ(VMStatus_TavikSerializationError, Status(tier, 0, &bytes));
  ExpectTablesEmpty();
  Pending();
  ASSERT_EQ(0, Status(head, 0, &bytes));
  EXPECT_NE(nullptr, Read(bytes));
}

TEST_F(TrailingTest, HooksNestAsDeepAsTheJavaStreamsAllow) {
  // Not shared: the whole list is one record's hook data, the hooks nested n deep.
  for (int nodes : {1, 2, 150}) {
    VMObject* head = nullptr;
    for (int i = nodes; i > 0; i--) {
      VMObject* node = New("stored/Linked");
      SetWord(node, "value", (VMword)i);
      SetRef(node, "next", head);
      head = node;
    }
    Bytes bytes;
    ASSERT_EQ(0, Status(head, 0, &bytes)) << nodes << " " << Pending();
    VMObject* back = Read(bytes);
    int seen = 0;
    for (VMObject* n = back; n != nullptr; n = GetRef(n, "next")) {
      ASSERT_EQ((VMword)++seen, GetWord(n, "value"));
    }
    EXPECT_EQ(nodes, seen);
    LetGo();
  }
  // Deeper than the hooks may nest: the write fails, with the stream's error pending.
  VMObject* head = nullptr;
  for (int i = 0; i < 5000; i++) {
    VMObject* node = New("stored/Linked");
    SetRef(node, "next", head);
    head = node;
  }
  Bytes bytes;
  EXPECT_EQ(VMStatus_TavikSerializationError, Status(head, 0, &bytes));
  EXPECT_EQ("java.lang.StackOverflowError", Pending());
  ExpectTablesEmpty();
}

TEST_F(TrailingTest, HooksThatThrowFailTheRowAndLeaveTheirException) {
  VMObject* misfit = New("stored/Misfit");
  SetWord(misfit, "value", 4);
  SetRef(misfit, "text", Str("t"));
  VMrefArray* root = Objects({New("stored/Journal"), misfit, New("stored/Journal")});
  SetStaticInt("stored/Misfit", "writeMode", 1);
  Bytes bytes;
  EXPECT_EQ(VMStatus_TavikSerializationError, Status(root, 3, &bytes));
  EXPECT_EQ("java.io.IOException", Pending());
  ExpectTablesEmpty();
  SetStaticInt("stored/Misfit", "writeMode", 0);
  ASSERT_EQ(0, Status(root, 3, &bytes));
  EXPECT_EQ("", Pending());
  SetStaticInt("stored/Misfit", "readMode", 1);
  EXPECT_EQ("java.io.IOException", Fails(bytes, "an IOException"));
  SetStaticInt("stored/Misfit", "readMode", 4);
  EXPECT_EQ("java.lang.IllegalStateException", Fails(bytes, "a RuntimeException"));
  SetStaticInt("stored/Misfit", "readMode", 0);
  VMObject* back = Read(bytes);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ("t", Text(GetRef(((VMrefArray*)back)->Get(1), "text")));
  // An exception the host left pending is no hook's: the row fails before Java runs.
  jclass error = f()->FindClass(env, "java/lang/Error");
  f()->ThrowNew(env, error, "the host's own");
  f()->DeleteLocalRef(env, error);
  jint readsBefore = GetStaticInt("stored/Misfit", "reads");
  EXPECT_EQ(nullptr, Read(bytes));
  EXPECT_EQ("java.lang.Error", Pending());
  EXPECT_EQ(readsBefore, GetStaticInt("stored/Misfit", "reads"));
  EXPECT_EQ(0u, FlaggedBlocks());
}

TEST_F(TrailingTest, HooksThatReadOrWriteTooMuchOrTooLittleFailCleanly) {
  // Records follow the Misfit's, so that whatever it leaves or takes shifts them.
  auto row = [&](int writeMode) {
    VMObject* misfit = New("stored/Misfit");
    SetWord(misfit, "value", 4);
    SetRef(misfit, "text", Str("some text"));
    VMObject* journal = New("stored/Journal");
    SetRef(journal, "note", Str("after"));
    SetStaticInt("stored/Misfit", "writeMode", writeMode);
    Bytes bytes;
    EXPECT_EQ(0, Status(Objects({misfit, journal, New("stored/Tally")}), 0, &bytes));
    SetStaticInt("stored/Misfit", "writeMode", 0);
    return bytes;
  };
  Bytes good = row(0);
  for (int readMode : {2, 3}) {
    SetStaticInt("stored/Misfit", "readMode", readMode);
    Fails(good, "read mode " + std::to_string(readMode));
  }
  SetStaticInt("stored/Misfit", "readMode", 0);
  Fails(row(2), "written too little");
  Fails(row(3), "written too much");
  // A hook that leaves its data unread as the row's last record reads as other readers
  // read it: what it read.
  VMObject* last = New("stored/Misfit");
  SetWord(last, "value", 6);
  SetStaticInt("stored/Misfit", "writeMode", 3);
  Bytes bytes;
  ASSERT_EQ(0, Status(last, 0, &bytes));
  VMObject* back = Read(bytes);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(6u, GetWord(back, "value"));
}

TEST_F(TrailingTest, AFailedReadLeavesWhatAHookKeptToTheCollector) {
  // The Misfit's hook keeps the object it reads, which refers to another object of the row;
  // a later record of the row then fails. Both must stay whole: Java code can reach
  // them. (Released as unseen, the kept object would point into freed blocks, which the
  // host poisons.)
  Share(true);
  VMObject* misfit = New("stored/Misfit");
  SetWord(misfit, "value", 77);
  VMObject* peerA = New("stored/A");
  SetWord(peerA, "a", 88);
  SetRef(misfit, "peer", peerA);
  VMObject* once = New("stored/ReadOnlyHook");
  SetWord(once, "value", 1);
  Bytes bytes;
  ASSERT_EQ(0, Status(Objects({misfit, once, peerA, New("stored/Journal")}), 1, &bytes));
  SetStaticInt("stored/Misfit", "readMode", 16);
  EXPECT_NE("", Fails(bytes, "a record after the kept one"));
  LetGo();
  machine->GarbageCollect(false);
  VMObject* kept = GetStaticObject("stored/Misfit", "kept");
  ASSERT_NE(nullptr, kept);
  EXPECT_EQ(Class("stored/Misfit"), kept->GetClass());
  EXPECT_EQ(77u, GetWord(kept, "value"));
  VMObject* peer = GetRef(kept, "peer");
  ASSERT_NE(nullptr, peer);
  EXPECT_EQ(Class("stored/A"), peer->GetClass());
  EXPECT_EQ(88u, GetWord(peer, "a"));
  EXPECT_FALSE(peer->GetIsDeserializing());

  // A constructor runs during the record pass: an Externalizable's, which keeps its
  // object. A record after it is cut short; the objects read before it keep no stored
  // id, and the kept one is whole.
  VMObject* keeper = New("stored/Keeper");
  SetWord(keeper, "value", 5);
  VMObject* node = New("stored/Node");
  Bytes row;
  ASSERT_EQ(0, Status(Objects({New("stored/Journal"), keeper, node}), 0, &row));
  ClearStatic("stored/Keeper", "kept");
  size_t start = SectionStart(row);
  ASSERT_NE(0u, start);
  for (size_t cut = start - 4; cut < start; cut++) {
    Fails(Bytes(row.begin(), row.begin() + (long)cut), "cut at " + std::to_string(cut));
    VMObject* made = GetStaticObject("stored/Keeper", "kept");
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(Class("stored/Keeper"), made->GetClass());
    EXPECT_EQ(0u, GetWord(made, "value"));
  }
  VMObject* whole = Read(row);
  ASSERT_NE(nullptr, whole);
  EXPECT_EQ(5u, GetWord(((VMrefArray*)whole)->Get(1), "value"));
  // Once nothing keeps them, the collector has them all.
  LetGo();
  ClearStatic("stored/Keeper", "kept");
  ClearStatic("stored/Misfit", "kept");
  machine->GarbageCollect(false);
  uint32_t blocks = HeapBlocks();
  for (int i = 0; i < 20; i++) Fails(bytes, "again");
  ClearStatic("stored/Misfit", "kept");
  machine->GarbageCollect(false);
  EXPECT_LE(HeapBlocks(), blocks + 8) << "failed rows are collected";
}

TEST_F(TrailingTest, ForgedSectionsAreRefused) {
  VMObject* journal = New("stored/Journal");
  SetWord(journal, "value", 3);
  SetRef(journal, "note", Str("n"));
  VMrefArray* root = Objects({journal, New("stored/Tally")});
  Bytes row;
  ASSERT_EQ(0, Status(root, 0, &row));
  size_t start = SectionStart(row);
  ASSERT_NE(0u, start);
  Bytes records(row.begin(), row.begin() + (long)start);
  jint journalClass = refhost::SerialIdOf("stored/Journal");
  auto tally = [&](jobject s, jclass c) {
    WriteInt(s, c, -130);
    WriteInt(s, c, 1);
    WriteObject(s, c, nullptr);
  };
  VMObject* forged = Read(Cat({records, Forge(2, [&](jobject s, jclass c) {
                                 WriteInt(s, c, -129);
                                 WriteInt(s, c, journalClass);
                                 WriteJournalData(s, c, "stored/Journal");
                                 tally(s, c);
                               })}));
  ASSERT_NE(nullptr, forged) << "the forging itself: " << Pending();
  EXPECT_EQ("forged", Text(GetRef(((VMrefArray*)forged)->Get(0), "note")));
  struct Case {
    const char* what;
    jint count;
    jint id;
    jint cls;
    const char* desc;
  } cases[] = {
      {"the root array's id", 2, -128, journalClass, "stored/Journal"},
      {"an id past the objects", 2, -131, journalClass, "stored/Journal"},
      {"a positive id", 2, 5, journalClass, "stored/Journal"},
      {"the Tally's id where the Journal's record goes", 2, -130, journalClass, "stored/Journal"},
      {"another class", 2, -129, refhost::SerialIdOf("stored/Hooked"), "stored/Journal"},
      {"a class reference of no class", 2, -129, -128, "stored/Journal"},
      {"another class's descriptor", 2, -129, journalClass, "stored/Hooked"},
      {"a descriptor of a class with the same fields", 2, -129, journalClass, "stored/Counted"},
      {"no descriptor", 2, -129, journalClass, nullptr},
  };
  for (const Case& k : cases) {
    Bytes forged = Cat({records, Forge(k.count, [&](jobject s, jclass c) {
                          WriteInt(s, c, k.id);
                          WriteInt(s, c, k.cls);
                          WriteJournalData(s, c, k.desc);
                          tally(s, c);
                        })});
    Fails(forged, k.what);
  }
  // The counts and lengths of the section itself.
  for (jint count : {0, 1, 3, 0x7FFFFFFF}) Fails(Cat({records, Compact(count), Compact(4), {0xAC, 0xED, 0, 5}}), "count");
  for (jint length : {-1, 0, 3, 5, 0x7FFFFFF0}) Fails(Cat({records, Compact(2), Compact(length), {0xAC, 0xED, 0, 5}}), "length");
  // Every prefix, and damage anywhere in the section.
  for (size_t n = start; n < row.size(); n++) Fails(Bytes(row.begin(), row.begin() + (long)n), "prefix " + std::to_string(n));
  std::mt19937 rng(20);
  for (int round = 0; round < 400; round++) {
    Bytes damaged = row;
    size_t at = start + rng() % (row.size() - start);
    damaged[at] = (uint8_t)(rng() >> 8);
    VMObject* back = Read(damaged);
    Pending();
    EXPECT_EQ(0u, FlaggedBlocks()) << round;
    ExpectTablesEmpty();
    if (back != nullptr) {
      EXPECT_EQ(Class("stored/Journal"), ((VMrefArray*)back)->Get(0)->GetClass());
    }
    if (round % 50 == 49) LetGo();
  }
  ASSERT_NE(nullptr, Read(row));
}

TEST_F(TrailingTest, ALoopingHookIsStoppedByTheHost) {
  VMObject* spin = New("stored/Spin");
  SetWord(spin, "value", 1);
  Bytes bytes;
  ASSERT_EQ(0, Status(Objects({spin, New("stored/Journal")}), 0, &bytes));
  EXPECT_NE("", Fails(bytes, "a hook that never returns"));
  EXPECT_GE(gTicks, 200);
  refhost::SetStopFlag(false);
  ASSERT_EQ(0, Status(New("stored/Journal"), 0, &bytes));
  EXPECT_NE(nullptr, Read(bytes));
}

TEST_F(TrailingTest, TheLibraryVersionChoosesTheHostsStreamClasses) {
  // A machine of the later library finds the host's stream classes under their later
  // names; one whose host lacks them fails the row, the look-up's error not left behind.
  JNIEnv* env2 = nullptr;
  JavaVM* vm2 = CreateMachine(&env2, nullptr, 2);
  ASSERT_NE(nullptr, vm2);
  JNISerialization* through = (JNISerialization*)env2->functions->CreateSerializationInterface(env2, support);
  ASSERT_NE(nullptr, through);
  gThrough = through;
  VMObject* journal = VMObject::CreateInstance(vm2->vm->GetHeap(), Class("stored/Journal", kHome, env2), jallocFailFast);
  ASSERT_NE(nullptr, journal);
  jobject held = VMJniHandle::NewLocal(env2, journal);
  SetWord(journal, "value", 12);
  jint result = -1;
  Bytes bytes = WriteOn(env2, through, journal, 1, &result);
  ASSERT_EQ(0, result);
  VMObject* back = ReadOn(env2, through, bytes, kHome);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(12u, GetWord(back, "value"));
  EXPECT_EQ(1u, GetWord(back, "reads"));
  jclass later = env2->functions->FindClass(env2, "nimbrel/tavik/jrt/serialization/VqObjectInputStream");
  ASSERT_NE(nullptr, later);
  EXPECT_EQ(1, env2->functions->GetStaticIntField(env2, later, env2->functions->GetStaticFieldID(env2, later, "made", "I")));
  env2->functions->DeleteLocalRef(env2, later);
  env2->functions->DeleteLocalRef(env2, held);
  LetGo();
  env2->functions->DestroySerializationInterface(env2, through);
  gThrough = serialization;
  DestroyMachine(vm2);
  // The earlier library's machine, whose host has no object stream class: refused.
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  JNIEnv* env3 = nullptr;
  JavaVM* vm3 = CreateMachine(&env3, nullptr, 1);
  ASSERT_NE(nullptr, vm3);
  through = (JNISerialization*)env3->functions->CreateSerializationInterface(env3, support);
  VMObject* lone = VMObject::CreateInstance(vm3->vm->GetHeap(), Class("stored/Journal", kHome, env3), jallocFailFast);
  jobject kept = VMJniHandle::NewLocal(env3, lone);
  (void)WriteOn(env3, through, lone, 0, &result);
  EXPECT_EQ(-1, result);
  EXPECT_EQ(VMStatus_OutOfMemoryError, ((VMObjectSerializer*)VMJniHandle::UnHandle(env3, through->serializer))->GetLastStatus());
  EXPECT_EQ(nullptr, env3->thread->GetException());
  env3->functions->DeleteLocalRef(env3, kept);
  env3->functions->DestroySerializationInterface(env3, through);
  DestroyMachine(vm3);
}

}  // namespace serial_test
