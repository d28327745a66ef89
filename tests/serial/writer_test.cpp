/* The writer's refusals, its state from call to call, and calls that come back into it
   while it runs. */
#include <limits.h>

#include "serial_support.h"

namespace serial_test {

namespace {

class WriterTest : public SerialTest {
 protected:
  VMStatus StatusOfWrite(VMObject* root, int type) {
    jint result = 0;
    (void)Write(root, type, &result);
    VMStatus status = Serializer()->GetLastStatus();
    EXPECT_EQ(status == 0 ? 0 : -1, result);
    return status;
  }
};

TEST_F(WriterTest, ObjectsTheFormatCannotCarryAreRefusedWhenStored) {
  // A class object of an array class would be stored in a form no reader tells from a
  // class id; one of a primitive class has no form at all.
  VMObject* node = New("stored/Node");
  SetRef(node, "type", Class("stored/A")->MakeArrayOf());
  EXPECT_EQ(VMStatus_TavikSerializationError, StatusOfWrite(node, 0));
  SetRef(node, "type", ns->GetClassList()->GetVMintClass());
  EXPECT_EQ(VMStatus_TavikSerializationError, StatusOfWrite(node, 1));
  // Arrays deeper than the reader takes: refused here rather than at read time.
  VMClass* deep = ns->GetClassList()->GetObjectClass();
  for (int d = 1; d <= 20; d++) {
    deep = deep->MakeArrayOf();
    VMrefArray* array = NewReferences(((VMArrayClass*)deep)->GetElementClass(), 1);
    EXPECT_EQ(d <= 19 ? 0 : VMStatus_VerifyError, StatusOfWrite(array, 0)) << d << " dimensions";
    if (d <= 19) {
      EXPECT_NE(nullptr, Read(Write(array, 0))) << d << " dimensions";
    }
  }
  VMClass* ints = ns->GetClassList()->GetVMintClass()->MakeArrayOf();
  for (int d = 2; d <= 19; d++) {
    ints = ints->MakeArrayOf();
    VMrefArray* array = NewReferences(((VMArrayClass*)ints)->GetElementClass(), 1);
    EXPECT_EQ(d <= 18 ? 0 : VMStatus_VerifyError, StatusOfWrite(array, 3)) << d << " dimensions of int";
    if (d <= 18) {
      EXPECT_NE(nullptr, Read(Write(array, 3))) << d << " dimensions of int";
    }
  }
  // Objects of classes that did not choose to be stored, or that the machine trusts.
  EXPECT_EQ(VMStatus_TavikSerializationError, StatusOfWrite(New("stored/Plain"), 0));
  SetRef(node, "type", nullptr);
  SetRef(node, "next", New("stored/Plain"));
  EXPECT_EQ(VMStatus_TavikSerializationError, StatusOfWrite(node, 1));
  EXPECT_EQ(VMStatus_TavikSerializationError, StatusOfWrite(New("stored/SerRef"), 0));
  // A non-serializable superclass is fine: its fields travel with the subclass's.
  VMObject* d = New("stored/Derived");
  SetWord(d, "baseValue", 9);
  SetRef(d, "baseRef", Str("base"));
  VMObject* back = Read(Write(d, 3));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(9u, GetWord(back, "baseValue"));
  // A static method with a hook's name is no hook: the fields are stored.
  VMObject* s = New("stored/StaticHook");
  SetWord(s, "value", 31);
  back = Read(Write(s, 0));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(31u, GetWord(back, "value"));
}

TEST_F(WriterTest, StreamTypesTheWriterDoesNotWriteAreRefused) {
  for (int type : {2, 4, 6, 7, -1, 255}) EXPECT_EQ(VMStatus_Error, StatusOfWrite(New("stored/A"), type)) << type;
  // None of it is left for the next row.
  VMObject* a = New("stored/A");
  EXPECT_NE(nullptr, Read(Write(a, 1)));
}

TEST_F(WriterTest, HostIdsMustBePositive) {
  VMObject* a = New("stored/A");
  for (jint answer : {0, -1, -127, -128, -200, INT_MIN}) {
    refhost::SerialSetClassToIdAnswer("stored/A", answer);
    // A fresh serializer each time: the last good id is not in its cache.
    JNISerialization* fresh = (JNISerialization*)env->functions->CreateSerializationInterface(env, support);
    jint result = 0;
    (void)WriteOn(env, fresh, a, 0, &result);
    EXPECT_EQ(-1, result) << answer;
    EXPECT_EQ(VMStatus_VerifyError, ((VMObjectSerializer*)VMJniHandle::UnHandle(env, fresh->serializer))->GetLastStatus());
    (void)WriteOn(env, fresh, a, 1, &result);
    EXPECT_EQ(-1, result) << answer;
    env->functions->DestroySerializationInterface(env, fresh);
  }
}

TEST_F(WriterTest, NoNullRootAndNoIdsBetweenWrites) {
  VMObjectSerializer* s = Serializer();
  EXPECT_FALSE(s->WriteVMObject(env, nullptr, 0));
  EXPECT_EQ(VMStatus_Error, s->GetLastStatus());
  EXPECT_TRUE(s->WriteVMObject(nullptr, nullptr, 0));
  // An id handed out between writes would put its object before the next root.
  VMObject* stray = New("stored/A");
  jint id = 1;
  EXPECT_EQ(VMStatus_OutOfMemoryError, s->AddObject(stray, &id));
  jobject handle = VMJniHandle::NewLocal(env, stray);
  EXPECT_EQ(0, serialization->functions->AddObject(env, serialization->serializer, handle));
  env->functions->DeleteLocalRef(env, handle);
  VMObject* root = New("stored/Node");
  VMObject* back = Read(Write(root, 0));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(root->GetClass(), back->GetClass());
  jint result = 0;
  Bytes none = Write(nullptr, 0, &result);
  EXPECT_EQ(-1, result);
  EXPECT_TRUE(none.empty());
}

TEST_F(WriterTest, AlternatingRowTypesKeepsTheHostsHandlesAsTheyWere) {
  VMObject* a = New("stored/A");
  (void)Write(a, 0);
  (void)Write(a, 1);
  (void)Read(Write(a, 0));
  (void)Read(Write(a, 3));
  int32_t spins = refhost::LiveSpinLocks();
  int32_t events = refhost::LiveEventSemaphores();
  for (int i = 0; i < 1000; i++) {
    jint result = -1;
    (void)Write(a, i % 2 == 0 ? 0 : (i % 4 == 1 ? 1 : 3), &result);
    ASSERT_EQ(0, result);
    if (i % 10 == 0) {
      ASSERT_NE(nullptr, Read(Write(a, i % 3 == 0 ? 0 : 1)));
    }
  }
  EXPECT_EQ(spins, refhost::LiveSpinLocks());
  EXPECT_EQ(events, refhost::LiveEventSemaphores());
}

TEST_F(WriterTest, BodiesPastTheInlinePartRoundTrip) {
  VMObject* big = New("stored/Big");
  EXPECT_EQ(195, Field(big->GetClass(), "straddle")->GetIndex()) << "the long is to straddle the inline part";
  SetLong(big, "straddle", 0x0123456789ABCDEFll);
  SetLong(big, "tail", -2);
  SetRef(big, "r29", big);
  SetRef(big, "r0", Str("first"));
  SetWord(big, "i194", 0xCAFE);
  for (int type : {0, 1, 3}) {
    VMObject* back = Read(Write(big, type));
    ASSERT_NE(nullptr, back);
    EXPECT_EQ("", Compare(big, back, true));
    EXPECT_EQ(0x0123456789ABCDEFll, GetLong(back, "straddle"));
    EXPECT_EQ(back, GetRef(back, "r29"));
  }
}

TEST_F(WriterTest, HostIdsCachedUnderOneLoaderAreNotUsedUnderAnother) {
  VMObject* a = New("stored/A");
  (void)Write(a, 0);
  uint32_t calls = refhost::SerialClassToIdCalls();
  (void)Write(a, 0);
  EXPECT_EQ(calls, refhost::SerialClassToIdCalls()) << "the second row takes its ids from the cache";
  env->userWord = (VMword)kOther;
  (void)Write(a, 0);
  EXPECT_LT(calls, refhost::SerialClassToIdCalls()) << "a host may answer per loader";
  env->userWord = 0;
}

TEST_F(WriterTest, TablesGrownForABigGraphAreMadeAfreshForTheNext) {
  VMLoadableClass* cls = Class("stored/A");
  VMrefArray* many = NewReferences(cls, 40000);
  for (uint32_t i = 0; i < many->GetSize(); i++) many->Set(i, New(cls));
  Bytes row = Write(many, 1);
  // A table emptied at its grown size would cost every later small row that size.
  EXPECT_EQ(nullptr, Serializer()->GetObjectTable());
  VMObject* back = Read(row);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(40000u, ((VMArray*)back)->GetSize());
  EXPECT_EQ(nullptr, Deserializer()->GetObjectTable());
  VMObject* a = New(cls);
  EXPECT_NE(nullptr, Read(Write(a, 1)));
  EXPECT_NE(nullptr, Serializer()->GetObjectTable());
  EXPECT_NE(nullptr, Deserializer()->GetObjectTable());
}

/* ---- calls back into a running write or read ---- */

JNIHostSerializationSupport gNested;
JNIEnv* gEnv = nullptr;
JNISerialization* gSerialization = nullptr;
jobject gExtra = nullptr;
jint gNestedWrite = 1;
jint gAddedId = 0;
jobject gNestedRead = (jobject)1;
jobject gFound = (jobject)1;

jint HOSTCALL NestedClassToId(const char* name, jint one) {
  if (gEnv != nullptr) {
    JNIEnv* env = gEnv;
    gEnv = nullptr;
    void* other = refhost::SerialStreamCreate();
    gNestedWrite = gSerialization->functions->WriteObject(env, gSerialization->serializer, 0, gExtra, other);
    refhost::SerialStreamDestroy(other);
    gAddedId = gSerialization->functions->AddObject(env, gSerialization->serializer, gExtra);
  }
  return refhost::SerialSupport()->ClassToId(name, one);
}

jclass HOSTCALL NestedIdToClass(jint id) {
  if (gEnv != nullptr) {
    JNIEnv* env = gEnv;
    gEnv = nullptr;
    void* other = refhost::SerialStreamCreate();
    gNestedRead = gSerialization->functions->ReadObject(env, gSerialization->deserializer, other, nullptr);
    refhost::SerialStreamDestroy(other);
    // An object still being read is not handed out.
    gFound = gSerialization->functions->FindObject(env, gSerialization->deserializer, -128);
  }
  return refhost::SerialSupport()->IdToClass(id);
}

TEST_F(WriterTest, ACallThatComesBackIntoARunningCallIsRefusedAndTheRunningOneGoesOn) {
  gNested = *refhost::SerialSupport();
  gNested.ClassToId = NestedClassToId;
  gNested.IdToClass = NestedIdToClass;
  JNISerialization* nested = (JNISerialization*)env->functions->CreateSerializationInterface(env, &gNested);
  gSerialization = nested;
  VMObject* root = New("stored/Node");
  VMObject* extra = New("stored/A");
  SetWord(extra, "a", 1234);
  gExtra = VMJniHandle::NewLocal(env, extra);
  SetRef(root, "name", Str("outer"));
  Bytes expected = Write(root, 0);
  gEnv = env;
  jint result = -1;
  Bytes bytes = WriteOn(env, nested, root, 0, &result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(-1, gNestedWrite) << "a write into a running write";
  EXPECT_LT(gAddedId, -128) << "adding to a running write is what AddObject is for";
  // The object added while the records were written goes in the row after them.
  VMObject* back = ReadOn(env, nested, bytes, kHome);
  ASSERT_NE(nullptr, back) << Hex(bytes);
  EXPECT_EQ("", Compare(root, back, true));
  EXPECT_GT(bytes.size(), expected.size());
  // A type-0 read whose class ids call the host: the host reads into it again.
  gEnv = env;
  back = ReadOn(env, nested, expected, kHome);
  EXPECT_NE(nullptr, back);
  EXPECT_EQ(nullptr, gNestedRead) << "a read into a running read";
  EXPECT_EQ(nullptr, gFound) << "an object still being read";
  EXPECT_EQ("", Compare(root, back, true));
  env->functions->DeleteLocalRef(env, gExtra);
  env->functions->DestroySerializationInterface(env, nested);
  ExpectTablesEmpty();
}

}  // namespace

}  // namespace serial_test
