/* The serialization interface as the host meets it: the serialization object and its
   table, references that are null, stale, of the other kind or of another machine, and
   what each call leaves for the next. */
#include "serial_support.h"

namespace serial_test {

namespace {

class InterfaceTest : public SerialTest {};

TEST_F(InterfaceTest, TheSerializationObjectHoldsItsTableAndTwoGlobals) {
  EXPECT_NE(nullptr, serialization->functions);
  EXPECT_EQ(nullptr, serialization->functions->Reserved0);
  EXPECT_EQ(support, serialization->support);
  EXPECT_EQ(0x40000000u, (uint32_t)(uintptr_t)serialization->serializer & 0xE0000000u);
  EXPECT_EQ(0x40000000u, (uint32_t)(uintptr_t)serialization->deserializer & 0xE0000000u);
  EXPECT_EQ(VMTag_VMObjectSerializer, VMJniHandle::UnHandle(env, serialization->serializer)->GetTag());
  EXPECT_EQ(VMTag_VMObjectDeserializer, VMJniHandle::UnHandle(env, serialization->deserializer)->GetTag());
  uint32_t globals = LiveGlobals();
  uint32_t process = refhost::BlocksInUse(nullptr);
  uint32_t blocks = HeapBlocks();
  JNISerialization* more = (JNISerialization*)env->functions->CreateSerializationInterface(env, support);
  ASSERT_NE(nullptr, more);
  EXPECT_EQ(globals + 2, LiveGlobals());
  VMObject* a = New("stored/A");
  EXPECT_NE(nullptr, ReadOn(env, more, WriteOn(env, more, a, 3), kHome));
  uint32_t withA = HeapBlocks() - blocks;
  env->functions->DestroySerializationInterface(env, more);
  EXPECT_EQ(globals, LiveGlobals());
  EXPECT_EQ(process, refhost::BlocksInUse(nullptr)) << "the object, a stream buffer or a name went unfreed";
  // What is left on the heap is what the reads made (a read object and its class's
  // data), not the serializers and their tables.
  EXPECT_LT(HeapBlocks() - blocks, withA);
  env->functions->DestroySerializationInterface(env, nullptr);
}

TEST_F(InterfaceTest, CreationThatFailsHalfwayLeavesNothing) {
  EXPECT_EQ(nullptr, env->functions->CreateSerializationInterface(env, nullptr)) << "no support table";
  uint32_t globals = LiveGlobals();
  uint32_t process = refhost::BlocksInUse(nullptr);
  uint32_t blocks = HeapBlocks();
  int32_t spins = refhost::LiveSpinLocks();
  // Fail each allocation of the creation in turn.
  for (uint32_t n = 1; n <= 12; n++) {
    refhost::FailNthAllocation(n);
    JNISerialization* made = (JNISerialization*)env->functions->CreateSerializationInterface(env, support);
    refhost::FailNthAllocation(0);
    env->functions->ExceptionClear(env);
    if (made != nullptr) {
      if (made->serializer == nullptr) {
        EXPECT_NE(nullptr, made->deserializer) << n;
      }
      env->functions->DestroySerializationInterface(env, made);
    }
    EXPECT_EQ(globals, LiveGlobals()) << n;
    EXPECT_EQ(process, refhost::BlocksInUse(nullptr)) << n;
    EXPECT_EQ(blocks, HeapBlocks()) << n;
    EXPECT_EQ(spins, refhost::LiveSpinLocks()) << n;
  }
}

TEST_F(InterfaceTest, ReferencesThatNameNoSerializerOfThisMachineAreRefused) {
  const JNISerializationInterface* fn = serialization->functions;
  VMObject* a = New("stored/A");
  jobject ref = VMJniHandle::NewLocal(env, a);
  void* stream = refhost::SerialStreamCreate();
  // Null and swapped references.
  EXPECT_EQ(-1, fn->WriteObject(env, nullptr, 0, ref, stream));
  EXPECT_EQ(-1, fn->WriteObject(env, serialization->deserializer, 0, ref, stream));
  EXPECT_EQ(-1, fn->WriteObject(env, serialization->serializer, 0, nullptr, stream));
  EXPECT_EQ(nullptr, fn->ReadObject(env, serialization->serializer, stream, kHome));
  EXPECT_EQ(nullptr, fn->ReadObject(env, ref, stream, kHome));
  EXPECT_EQ(0, fn->AddObject(env, nullptr, ref));
  EXPECT_EQ(0, fn->AddObject(env, serialization->serializer, nullptr));
  EXPECT_EQ(nullptr, fn->FindObject(env, serialization->serializer, -128));
  EXPECT_FALSE(fn->ReadObjectClasses(env, nullptr, stream, kHome));
  fn->DestroySerializer(env, nullptr);
  fn->DestroySerializer(env, serialization->deserializer);
  fn->DestroyDeserializer(env, serialization->serializer);
  fn->DestroyDeserializer(env, ref);
  EXPECT_EQ(0u, refhost::SerialStreamBytes(stream).size()) << "nothing was written by any of them";
  // A destroyed serializer's reference is stale: its calls do nothing.
  JNISerialization* once = (JNISerialization*)env->functions->CreateSerializationInterface(env, support);
  jobject stale = once->serializer;
  fn->DestroySerializer(env, stale);
  EXPECT_EQ(-1, fn->WriteObject(env, stale, 0, ref, stream));
  fn->DestroySerializer(env, stale);
  once->serializer = nullptr;
  env->functions->DestroySerializationInterface(env, once);
  // Another machine of the same name space: its globals are its own.
  JNIEnv* env2 = nullptr;
  JavaVM* vm2 = CreateMachine(&env2, vm);
  ASSERT_NE(nullptr, vm2);
  jobject ref2 = VMJniHandle::NewLocal(env2, a);
  EXPECT_EQ(-1, fn->WriteObject(env2, serialization->serializer, 0, ref2, stream));
  EXPECT_EQ(nullptr, fn->ReadObject(env2, serialization->deserializer, stream, kHome));
  fn->DestroySerializer(env2, serialization->serializer);
  fn->DestroyDeserializer(env2, serialization->deserializer);
  env2->functions->DeleteLocalRef(env2, ref2);
  DestroyMachine(vm2);
  host->SetCurrentEnv(env);
  EXPECT_EQ(VMTag_VMObjectSerializer, VMJniHandle::UnHandle(env, serialization->serializer)->GetTag())
      << "the other machine destroyed this one's serializer";
  EXPECT_EQ(0, fn->WriteObject(env, serialization->serializer, 0, ref, stream));
  env->functions->DeleteLocalRef(env, ref);
  refhost::SerialStreamDestroy(stream);
}

TEST_F(InterfaceTest, OneSerializerServesManyHostStreamsInTurn) {
  VMObject* node = New("stored/Node");
  SetRef(node, "name", Str("first"));
  VMObject* other = New("stored/C");
  SetWord(other, "a", 3);
  Bytes one = Write(node, 1);
  Bytes two = Write(other, 3);
  for (void* loader : {kHome, kOther}) {
    VMObject* b1 = Read(one, loader);
    VMObject* b2 = Read(two, loader);
    ASSERT_NE(nullptr, b1);
    ASSERT_NE(nullptr, b2);
    EXPECT_EQ("", Compare(node, b1, loader == kHome));
    EXPECT_EQ("", Compare(other, b2, loader == kHome));
  }
}

TEST_F(InterfaceTest, AReadInANewLoaderIdMakesThatLoader) {
  void* fresh = (void*)4242;
  EXPECT_EQ(nullptr, ns->FindLoader(fresh));
  refhost::SetClassPath(fresh, refhost::GetClassPath(kHome));
  VMObject* a = New("stored/A");
  VMObject* back = Read(Write(a, 0), fresh);
  ASSERT_NE(nullptr, back);
  EXPECT_NE(nullptr, ns->FindLoader(fresh));
  EXPECT_EQ(ns->FindLoader(fresh), back->GetClass()->GetClassLoader());
  refhost::SetClassPath(fresh, "");
}

TEST_F(InterfaceTest, TheClassListOfReadObjectClassesServesThatCallOnly) {
  VMObject* a = New("stored/A");
  VMObject* node = New("stored/Node");
  Bytes listA = Write(a, 1);
  Bytes listNode = Write(node, 1);
  void* stream = refhost::SerialStreamCreate(listA.data(), listA.size());
  EXPECT_TRUE(serialization->functions->ReadObjectClasses(env, serialization->deserializer, stream, kOther));
  refhost::SerialStreamDestroy(stream);
  // Both rows index their own lists from -128.
  VMObject* back = Read(listNode);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(node->GetClass(), back->GetClass());
  ExpectTablesEmpty();
}

TEST_F(InterfaceTest, TheSerializationSignature) {
  jclass cls = env->functions->FindClassInLoaderId(env, "stored/B", kHome);
  jstring sig = env->functions->GetSerializationSignature(env, cls);
  ASSERT_NE(nullptr, sig);
  VMJavaLangString* s = (VMJavaLangString*)VMJniHandle::UnHandle(env, sig);
  char* text = s->MakeUTF8();
  EXPECT_STREQ("ILjava/lang/Object;JLjava/lang/String;", text);
  VMJavaLangString::FreeUTF8(text);
  env->functions->DeleteLocalRef(env, sig);
  env->functions->DeleteLocalRef(env, cls);
  EXPECT_EQ(nullptr, env->functions->GetSerializationSignature(env, nullptr));
  jobject ints = VMJniHandle::NewLocal(env, ns->GetClassList()->GetVMintClass());
  EXPECT_EQ(nullptr, env->functions->GetSerializationSignature(env, ints));
  env->functions->DeleteLocalRef(env, ints);
  jobject array = VMJniHandle::NewLocal(env, Class("stored/A")->MakeArrayOf());
  EXPECT_EQ(nullptr, env->functions->GetSerializationSignature(env, array));
  env->functions->DeleteLocalRef(env, array);
}

TEST_F(InterfaceTest, DuringAReadTheEnvLooksForClassesInTheReadsLoader) {
  VMObject* a = New("stored/A");
  Bytes row = Write(a, 0);
  env->userWord = 0;
  // The host finds the ids' classes in the env's loader: that of the read.
  VMObject* back = Read(row, kOther);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(ns->FindLoader(kOther), back->GetClass()->GetClassLoader());
  EXPECT_EQ(0u, env->userWord) << "the env's loader is restored";
}

TEST_F(InterfaceTest, ClassesOfAReadDoNotOutliveTheirLoader) {
  void* id = (void*)9;
  refhost::SetClassPath(id, refhost::GetClassPath(kHome));
  VMObject* a = New("stored/A");
  Bytes row = Write(a, 0);
  VMObject* first = Read(row, id);
  ASSERT_NE(nullptr, first);
  VMClassLoader* old = ns->FindLoader(id);
  EXPECT_EQ(old, first->GetClass()->GetClassLoader());
  // No instance of a class whose loader goes may be left in the heap, held or not: a
  // later collection would read its class.
  LetGo();
  machine->GarbageCollect(false);
  jobject loader = JNI_FindClassLoaderLite(env, id);
  JNI_DestroyClassLoaderLite(env, loader);
  env->functions->DeleteLocalRef(env, loader);
  // The classes the last read found by id went with their loader: the next read in a
  // loader of the same id asks the host again.
  uint32_t calls = refhost::SerialIdToClassCalls();
  VMObject* second = Read(row, id);
  ASSERT_NE(nullptr, second);
  EXPECT_GT(refhost::SerialIdToClassCalls(), calls);
  EXPECT_EQ(ns->FindLoader(id), second->GetClass()->GetClassLoader());
  refhost::SetClassPath(id, "");
}

}  // namespace

}  // namespace serial_test
