/* The natives' cache over the class library: every member getter against the library,
   one record per class under concurrent first use, missing classes looked for once,
   failures for want of memory not remembered, a look-up nested in a class's static
   initialiser, and destruction. */
#include <string.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jnifunc_support.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmjniutils.h"
#include "vmliteral.h"
#include "vmupcalls.h"
#include "net/javanet.h"

namespace jnifunc_test {
namespace {

/* The classes the library has; the others (object streams, RandomAccessFile,
   ClassLoader$NativeLibrary, AccessibleObject) it does not have yet. */
const std::set<std::string> kPresent = {
    "java/io/FileDescriptor", "java/util/Properties", "java/io/FileOutputStream", "java/io/FileInputStream",
    "java/io/IOException",    "java/io/InterruptedIOException", "java/lang/System", "java/lang/Thread",
    "java/lang/ThreadGroup",  "java/io/File", "java/lang/ref/Reference", "java/net/InetAddress",
    "java/net/PlainSocketImpl", "java/net/PlainDatagramSocketImpl", "java/net/DatagramPacket",
    "java/net/SocketException", "java/net/SocketInputStream", "java/net/UnknownHostException",
    "java/io/ObjectOutputStream", "java/io/ObjectInputStream"};

struct Row {
  uint32_t classWord;
  const char* className;
  uint32_t memberWord;
  const char* name;
  const char* signature;
  bool method;
  jobject (*get)(VMJniUtils* utils, JNIEnv* env);
};

const char* ClassNameOf(uint32_t word) {
  switch (word) {
#define PUX_CASE(word, Class, javaName, count) \
  case word:                                  \
    return javaName;
    PUX_JNIUTILS_CLASSES(PUX_CASE)
#undef PUX_CASE
  }
  return "";
}

#define PUX_JNIUTILS_M(Class, word, member, kind, name, signature)                                        \
  {VMJniUtils::Class##Word, ClassNameOf(VMJniUtils::Class##Word), word, name, signature,                   \
   VMJniUtils::k##kind == VMJniUtils::kMethod,                                                             \
   [](VMJniUtils* u, JNIEnv* e) { return (jobject)u->GetField##Class##_##member(e); }},
const Row kRows[] = {PUX_JNIUTILS_CLASSES(PUX_JNIUTILS_ALL_MEMBERS_OF)};
#undef PUX_JNIUTILS_M

/* The stand-in of FileDescriptor's native, which reaches the cache from inside the
   class's static initialiser: the first look-up of FileDescriptor's record is what
   initialises the class, so this look-up is nested in it on the same thread. */
jobject JNICALL InitSystemFD(JNIEnv* env, jclass, jobject fdObj, jint desc) {
  jfieldID fd = env->javaVM->nameSpace->GetJNIUtils()->GetFieldFileDescriptor_fd(env);
  if (fd != NULL) env->functions->SetIntField(env, fdObj, fd, desc + 1);
  return fdObj;
}
JNINativeMethod fdNatives[] = {
    {(char*)"initSystemFD", (char*)"(Ljava/io/FileDescriptor;I)Ljava/io/FileDescriptor;", (void*)&InitSystemFD}};

/* An env table whose look-ups are counted (and FindClass may be made to fail once). */
JNINativeInterface_ counting;
std::atomic<int> findClassCalls{0};
std::atomic<int> memberLookUps{0};
std::atomic<bool> failNextFindClass{false};

jclass JNICALL CountingFindClass(JNIEnv* env, const char* name) {
  findClassCalls++;
  if (failNextFindClass.exchange(false)) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return VMJniEnvFunctionTable.FindClass(env, name);
}
jfieldID JNICALL CountingGetFieldID(JNIEnv* env, jclass c, const char* n, const char* s) {
  memberLookUps++;
  return VMJniEnvFunctionTable.GetFieldID(env, c, n, s);
}

class CacheTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    ASSERT_EQ(0, JNI_RegisterNative("java/io/FileDescriptor", fdNatives, 1));
    // The java.net classes call natives of their own from their static initialisers.
    ASSERT_EQ(0, Register_java_net(0));
    Register_java_net_DatagramPacket();
    utils = world.ns->GetJNIUtils();
    ASSERT_NE(nullptr, utils);
  }
  void TearDown() override {
    if (env != nullptr) env->functions = &VMJniEnvFunctionTable;
    JniTest::TearDown();
  }
  void Count() {
    counting = VMJniEnvFunctionTable;
    counting.FindClass = &CountingFindClass;
    counting.GetFieldID = &CountingGetFieldID;
    findClassCalls = 0;
    memberLookUps = 0;
    env->functions = &counting;
  }
  VMMember* Member(jobject id) { return (VMMember*)VMJniHandle::UnHandle(env, id); }
  VMJniUtils* utils = nullptr;
};

TEST_F(CacheTest, TheSixtyFourMembersAgainstTheLibrary) {
  ASSERT_EQ(64u, sizeof kRows / sizeof kRows[0]);
  int present = 0;
  for (const Row& row : kRows) {
    jobject id = row.get(utils, env);
    std::string thrown = Thrown();
    if (kPresent.count(row.className) == 0) {
      EXPECT_EQ(nullptr, id) << row.className << "." << row.name;
      EXPECT_EQ("java.lang.NoClassDefFoundError", thrown) << row.className;
      continue;
    }
    present++;
    ASSERT_NE(nullptr, id) << row.className << "." << row.name << " " << thrown << " " << message;
    EXPECT_EQ("", thrown);
    VMMember* member = Member(id);
    ASSERT_NE(nullptr, member);
    EXPECT_TRUE(member->GetName()->EqualsAscii(row.name)) << row.name;
    EXPECT_TRUE(member->GetSignature()->EqualsAscii(row.signature)) << row.name;
    EXPECT_EQ(row.method ? VMMethod::Tag : VMDataMember::Tag, member->GetTag()) << row.name;
    // The id sits in its record word; a second call gives the same id.
    VMObject* record = utils->GetRecord(env, row.classWord);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ((VMword)(uintptr_t)id, record->GetWord(row.memberWord)) << row.name;
    EXPECT_EQ(id, row.get(utils, env)) << row.name;
  }
  EXPECT_EQ(61, present);
  // Records by their accessors: the words other natives write directly.
  EXPECT_EQ(utils->GetFieldJSystem_err(env), utils->GetJSystem()->Geterr());
  EXPECT_EQ(utils->GetFieldThread_group(env), utils->GetThread()->Getgroup());
  EXPECT_EQ(utils->GetFieldThread_exit(env), utils->GetThread()->Getexit());
  EXPECT_EQ(utils->GetFieldProperties_put(env), utils->GetProperties()->Getput());
  EXPECT_EQ(utils->GetFieldThreadGroup_constructor(env), utils->GetThreadGroup()->Getconstructor());
  // Properties.put is Hashtable's; Thread.exit is private and found all the same.
  EXPECT_TRUE(Member((jobject)utils->GetFieldProperties_put(env))->GetDefinedIn()->GetName()->EqualsAscii("java/util/Hashtable"));
  EXPECT_TRUE(Member((jobject)utils->GetFieldThread_exit(env))->GetIsPrivate());
  EXPECT_EQ("", Thrown());
}

TEST_F(CacheTest, ClassRecordsHoldTheClassAsANameSpaceHandle) {
  jclass cls = utils->GetClassIOException(env);
  ASSERT_NE(nullptr, cls);
  EXPECT_EQ(VMJniHandle::MemberIdTag, (uint32_t)(uintptr_t)cls & VMJniHandle::MemberIdTag);
  EXPECT_TRUE(f->IsSameObject(env, cls, Cls("java/io/IOException")));
  EXPECT_EQ(cls, utils->GetClassIOException(env));
  EXPECT_EQ(1u, utils->GetIOException()->GetNumberOfElements());
  EXPECT_EQ(VMTag_VMJniUtilsIOException, utils->GetIOException()->GetTag());
  EXPECT_EQ(0x6E7AFECAu, utils->GetIOException()->GetTag());
  // The handle serves another machine of the name space.
  Machine second;
  ASSERT_TRUE(second.Create(world.ns));
  EXPECT_TRUE(second.env->functions->IsSameObject(second.env, cls, second.env->functions->FindClass(second.env, "java/io/IOException")));
  second.Destroy();
  refhost::Functions()->AttachThreadEnv(world.jvm, env);
  refhost::Functions()->SetCurrentEnv(env);
}

/* The first look-up of FileDescriptor initialises the class, whose initialiser asks for
   the cached fd id (a nested look-up of the very record being made). The record that
   stays must be the nested one, with the id in it. */
TEST_F(CacheTest, ALookUpNestedInTheStaticInitialiserKeepsItsRecord) {
  VMJniUtilsFileDescriptor* record = utils->GetVMJniFileDescriptor(env);
  ASSERT_NE(nullptr, record) << Thrown() << " " << message;
  EXPECT_EQ(record, utils->GetFileDescriptor());
  ASSERT_NE(nullptr, record->Getfd());
  jfieldID outField = f->GetStaticFieldID(env, record->Getcls(), "out", "Ljava/io/FileDescriptor;");
  jobject out = f->GetStaticObjectField(env, NULL, outField);
  EXPECT_EQ(2, f->GetIntField(env, out, record->Getfd()));
  EXPECT_EQ(record->Getfd(), utils->GetFieldFileDescriptor_fd(env));
  EXPECT_EQ("", Thrown());
}

TEST_F(CacheTest, AMissingClassIsLookedForOnceAndItsMembersSaySo) {
  Count();
  for (int i = 0; i < 5; i++) {
    // The 1.1-style library has no AccessibleObject.
    VMJniUtilsAccessibleObject* record = utils->GetVMJniAccessibleObject(env);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(nullptr, record->Getcls());
    if (i == 0) {
      EXPECT_EQ("java.lang.NoClassDefFoundError", Thrown());
    }
    EXPECT_EQ(nullptr, utils->GetClassAccessibleObject(env));
    EXPECT_EQ(nullptr, utils->GetFieldAccessibleObject_isAccessible(env));
    EXPECT_EQ("java.lang.NoClassDefFoundError", Thrown());
    EXPECT_EQ("java.lang.reflect.AccessibleObject", message);
  }
  EXPECT_EQ(1, findClassCalls.load());
  EXPECT_EQ(0, memberLookUps.load());
}

TEST_F(CacheTest, WhatIsFoundIsNotLookedForAgain) {
  Count();
  jfieldID fd = utils->GetFieldFileOutputStream_fd(env);
  ASSERT_NE(nullptr, fd) << Thrown() << " " << message;
  int finds = findClassCalls, lookUps = memberLookUps;
  EXPECT_GE(finds, 1);
  EXPECT_EQ(1, lookUps);
  for (int i = 0; i < 10; i++) EXPECT_EQ(fd, utils->GetFieldFileOutputStream_fd(env));
  EXPECT_EQ(finds, findClassCalls.load());
  EXPECT_EQ(lookUps, memberLookUps.load());
}

/* A look-up that failed for want of memory is not remembered as a missing class. */
TEST_F(CacheTest, AShortageIsNotRememberedAsAMissingClass) {
  Count();
  failNextFindClass = true;
  EXPECT_EQ(nullptr, utils->GetVMJniFile(env));
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_EQ(nullptr, utils->GetFile());
  EXPECT_NE(nullptr, utils->GetClassFile(env));
  EXPECT_EQ("", Thrown());

  // The record itself cannot be had: nothing published, 0 from every getter, and the
  // next call makes it. (The class is loaded first: its loading allocates too.)
  ASSERT_NE(nullptr, Cls("java/lang/ref/Reference"));
  refhost::SetFailureScope(true, world.ns->GetHeap(), jallocFailFast);
  refhost::FailNextAllocations(1);
  EXPECT_EQ(nullptr, utils->GetFieldRef_Reference_referent(env));
  refhost::ResetHooks();
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_EQ(nullptr, utils->GetRef_Reference());
  EXPECT_NE(nullptr, utils->GetFieldRef_Reference_referent(env));
  EXPECT_NE(nullptr, utils->GetRef_Reference());
}

/* Many threads asking at once for one class of a fresh cache: one record is published
   and the others' are given back. */
TEST_F(CacheTest, ConcurrentFirstLookUpsPublishOneRecord) {
  ASSERT_NE(nullptr, Cls("java/lang/Thread"));  // initialised here, outside the race
  // The machine's monitor, made on the name space's heap the first time the other threads
  // are stopped (a collection, or a drop of the records of the threads that ended here).
  world.jvm->vm->GarbageCollect(false);
  HHeap* heap = world.ns->GetHeap();
  for (int round = 0; round < 40; round++) {
    uint32_t blocks = refhost::BlocksInUse(heap);
    VMJniUtils* fresh = VMJniUtils::CreateInstance(world.ns);
    ASSERT_NE(nullptr, fresh);
    const int kThreads = 4;
    std::atomic<int> ready{0};
    VMJniUtilsThread* seen[kThreads] = {};
    jfieldID ids[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
      threads.emplace_back([&, t] {
        JNIEnv* e = AttachThisThread(world.jvm);
        ASSERT_NE(nullptr, e);
        ready++;
        // The others still attaching may collect meanwhile.
        WhileOutside([&] {
          while (ready < kThreads) std::this_thread::yield();
        });
        seen[t] = fresh->GetVMJniThread(e);
        ids[t] = fresh->GetFieldThread_eetop(e);
        DetachThisThread(world.jvm);
      });
    }
    JoinOutside(threads);
    for (int t = 0; t < kThreads; t++) {
      EXPECT_EQ(fresh->GetThread(), seen[t]) << "round " << round;
      EXPECT_EQ(ids[0], ids[t]);
    }
    EXPECT_NE(nullptr, ids[0]);
    fresh->Destroy(heap);
    // The losers' records were destroyed; the winner went with the cache.
    EXPECT_EQ(blocks, refhost::BlocksInUse(heap)) << "round " << round;
  }
}

TEST_F(CacheTest, DestroyFreesTheRecordsThatWereMade) {
  HHeap* heap = world.ns->GetHeap();
  ASSERT_NE(nullptr, Cls("java/io/FileDescriptor"));
  ASSERT_NE(nullptr, Cls("java/io/File"));
  uint32_t blocks = refhost::BlocksInUse(heap);
  VMJniUtils* fresh = VMJniUtils::CreateInstance(world.ns);
  ASSERT_NE(nullptr, fresh);
  EXPECT_EQ(world.ns, fresh->GetNameSpace());
  EXPECT_EQ(0x317AFECAu, fresh->GetTag());
  ASSERT_NE(nullptr, fresh->GetVMJniFileDescriptor(env));
  ASSERT_NE(nullptr, fresh->GetVMJniFile(env));
  EXPECT_EQ(blocks + 3, refhost::BlocksInUse(heap));
  fresh->Destroy(heap);
  EXPECT_EQ(blocks, refhost::BlocksInUse(heap));
}

TEST_F(CacheTest, TheMachinesDaemonLookUpLeavesThePendingExceptionAlone) {
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_ArithmeticException, "mine"));
  void* daemon = upcall::JniUtilsFieldThreadDaemon(env);
  EXPECT_NE(nullptr, daemon);
  EXPECT_EQ("java.lang.ArithmeticException", Thrown());
  EXPECT_EQ((jfieldID)daemon, utils->GetFieldThread_daemon(env));
}

TEST_F(CacheTest, TheScopedMonitorLock) {
  VMObject* object = Obj(New("jnifunc/Values"));
  uint32_t held = refhost::MutexesHeldByThisThread();
  {
    VMObjectMonitorLock lock(object, world.ns);
    EXPECT_EQ(0, lock.GetStatus());
    EXPECT_EQ(held + 1, refhost::MutexesHeldByThisThread());
    VMObjectMonitorLock again(object, world.ns);  // recursive
    EXPECT_EQ(0, again.GetStatus());
    again.Release();
    again.Release();  // once only
    EXPECT_EQ(held + 1, refhost::MutexesHeldByThisThread());
  }
  EXPECT_EQ(held, refhost::MutexesHeldByThisThread());
  // No monitor can be made: nothing held, nothing released.
  VMObject* other = Obj(New("jnifunc/Values"));
  refhost::SetFailureScope(true, world.ns->GetHeap(), -1);
  refhost::FailNextAllocations(10);
  {
    VMObjectMonitorLock lock(other, world.ns);
    EXPECT_EQ(VMStatus_OutOfMemoryError, lock.GetStatus());
  }
  refhost::ResetHooks();
  EXPECT_EQ(held, refhost::MutexesHeldByThisThread());
}

}  // namespace
}  // namespace jnifunc_test
