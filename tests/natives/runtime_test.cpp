/* Runtime services, System and Runtime: array copies and clones, hashes, the monitor
   rules, memory figures, exit, library names and the entries that are not implemented. */
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "natives_support.h"
#include "safe_wait.h"
#include "vmarray.h"
#include "vmhandlearray.h"
#include "vmjvm.h"
#include "vmmonitor.h"
#include "vmsmallobjectbase.h"

using natives_test::Machine;
using natives_test::Outcome;

namespace {

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }
  Machine m;
};

TEST_F(RuntimeTest, ArrayCopyChecksInJavasOrderAndCopiesOverlapsRight) {
  Outcome o = m.Call("natives/ArrayCases", "copies", "()I");
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(0, o.Int());
}

TEST_F(RuntimeTest, ClonesAreShallowFreshAndRefusedWithoutCloneable) {
  Outcome o = m.Call("natives/ArrayCases", "clones", "()I");
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(0, o.Int());
  // A boolean[] copy keeps one byte per element.
  VMArray* flags = (VMArray*)VMArray::CreateInstance(m.vm->GetHeap(), 5, 1, jallocFailFast, VMTag_VMUserArrayInstance);
  ASSERT_NE(nullptr, flags);
  flags->SetIsScalarArray();
  flags->SetClass((VMClass*)m.ns->GetArrayClassList()->GetVMbooleanArrayClass());
  *(uint8_t*)flags->FindElement(4) = 1;
  VMArray* copy = (VMArray*)VMJniHandle::UnHandle(m.env, JVM_Clone(m.env, m.Local(flags)));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(0u, copy->GetElementShift());
  EXPECT_EQ(5u, copy->GetSize());
  EXPECT_EQ(1, *(uint8_t*)copy->FindElement(4));
  EXPECT_EQ(flags->GetClass(), copy->GetClass());
  // An internal object has no class to clone.
  VMObject* internal = VMObject::CreateInternalNotToBeCalledDirectly(m.vm->GetHeap(), 2, 0, VMTag_VMObject, jallocFailFast);
  EXPECT_EQ(nullptr, JVM_Clone(m.env, m.Local(internal)));
  EXPECT_EQ("java.lang.CloneNotSupportedException", m.TakeException());
}

TEST_F(RuntimeTest, HashesInterningAndGetClass) {
  Outcome o = m.Call("natives/ArrayCases", "hashes", "()I");
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(0, o.Int());
  EXPECT_EQ(0, JVM_IHashCode(m.env, nullptr));
}

/* Interpreted synchronized takes no lock, so no thread is known not to hold a monitor:
   a wait outside synchronized is an ordinary timed wait, and the monitor never gives up
   levels that a machine owner (the host, through the native interface) holds. */
TEST_F(RuntimeTest, WaitsCheckTheirTimeAndInterruptAndNeverReleaseAnothersHold) {
  EXPECT_EQ("waited notified IAE IE", m.CallText("natives/ThreadCases", "monitorRules", "()Ljava/lang/String;"));
  VMObject* o = m.String("lock");
  jobject local = m.Local(o);
  ASSERT_EQ(0, o->MonitorEnter());
  VMMonitor* monitor = o->GetMonitor();
  ASSERT_NE(nullptr, monitor);
  // Another host thread waits and notifies while this one holds the machine monitor;
  // its attach may collect, so this one waits for it outside the machine.
  std::thread waiter([&] {
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr));
    jobject mine = VMJniHandle::NewLocal(env, o);
    JVM_MonitorWait(env, mine, 5);
    JVM_MonitorNotifyAll(env, mine);
    EXPECT_EQ(nullptr, env->thread->GetException());
    env->thread->GetJNIHandleArray()->Clear(1);
    EXPECT_EQ(0, m.jvm->functions->DetachCurrentThread(m.jvm));
  });
  JoinOutside(waiter);
  EXPECT_TRUE(monitor->IsOwnedByCaller());
  EXPECT_EQ(1u, monitor->GetOwnedCount());
  JVM_MonitorWait(m.env, local, 1);
  EXPECT_EQ("", m.TakeException());
  EXPECT_TRUE(monitor->IsOwnedByCaller());
  EXPECT_EQ(0, o->MonitorExit());
  JVM_MonitorWait(m.env, local, -1);
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  JVM_MonitorNotify(m.env, nullptr);
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
}

/* A native waiting in JVM_MonitorWait (here for up to a minute) counts as stopped: the
   machine collects on another thread meanwhile, and a notify then ends the wait. */
TEST_F(RuntimeTest, ANativesMonitorWaitLetsCollectionsRunBesideIt) {
  jobject lock = m.env->functions->NewGlobalRef(m.env, m.Local(m.String("lock")));
  for (int round = 0; round < 3; round++) {
    std::atomic<int> stage{0};
    std::string thrown = "?";
    std::thread waiter([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr));
      stage = 1;
      JVM_MonitorWait(env, lock, 60000);
      stage = 2;
      VMObject* e = (VMObject*)env->thread->GetException();
      thrown = e == nullptr ? "" : "an exception";
      env->thread->SetException(nullptr);
      EXPECT_EQ(0, m.jvm->functions->DetachCurrentThread(m.jvm));
    });
    WhileOutside([&] {
      while (stage < 1) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    const uint32_t stress = VMObjectBase::GetCollectionStress();
    VMObjectBase::SetCollectionStress(1);
    const uint32_t before = m.vm->GetCollections();
    for (int i = 0; i < 3; i++) (void)m.String("garbage");
    VMObjectBase::SetCollectionStress(stress);
    EXPECT_LE(before + 3, m.vm->GetCollections()) << "round " << round;
    EXPECT_EQ(1, stage.load()) << "the wait ended before the notify";
    // Notified until it has left: the notify may come before its wait began.
    while (stage < 2) {
      JVM_MonitorNotifyAll(m.env, lock);
      WhileOutside([] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    }
    EXPECT_EQ("", m.TakeException());
    JoinOutside(waiter);
    EXPECT_EQ("", thrown);
  }
  m.env->functions->DeleteGlobalRef(m.env, lock);
}

TEST_F(RuntimeTest, MemoryFiguresAreTheMachinesHeapAndFreeIsNeverNegative) {
  typedef jlong(JNICALL * Figure)(JNIEnv*, jobject);
  Figure total = (Figure)m.Native("java/lang/Runtime", "totalMemory", "()J");
  Figure free = (Figure)m.Native("java/lang/Runtime", "freeMemory", "()J");
  ASSERT_TRUE(total && free);
  refhost::SetHeapCapacity(m.vm->GetHeap(), 64u << 20);
  EXPECT_EQ(64 << 20, total(m.env, nullptr));
  jlong left = free(m.env, nullptr);
  EXPECT_GT(left, 0);
  EXPECT_LT(left, 64 << 20);
  EXPECT_EQ(total(m.env, nullptr), JVM_TotalMemory());
  EXPECT_LE(JVM_FreeMemory(), JVM_TotalMemory());
  // A capacity below what is in use: nothing is free, not a wrapped figure.
  refhost::SetHeapCapacity(m.vm->GetHeap(), 1024);
  EXPECT_EQ(1024, total(m.env, nullptr));
  EXPECT_EQ(0, free(m.env, nullptr));
  EXPECT_EQ(0, JVM_FreeMemory());
  // A thread outside every machine learns only that there is no figure.
  jlong outside[2] = {0, 0};
  std::thread([&] {
    outside[0] = JVM_TotalMemory();
    outside[1] = JVM_FreeMemory();
  }).join();
  EXPECT_EQ(4294967295LL, outside[0]);
  EXPECT_EQ(4294967295LL, outside[1]);
}

TEST_F(RuntimeTest, ExitGoesThroughTheHostAndNeverReturnsIntoJava) {
  typedef void(JNICALL * Exit)(JNIEnv*, jobject, jint);
  Exit exit = (Exit)m.Native("java/lang/Runtime", "exitInternal", "(I)V");
  ASSERT_NE(nullptr, exit);
  refhost::SetFatalExitReturns(true);
  int before = refhost::FatalExitCount();
  exit(m.env, nullptr, 3);
  EXPECT_EQ(before + 1, refhost::FatalExitCount());
  EXPECT_EQ(3, refhost::LastFatalExitCode());
  EXPECT_EQ("", refhost::LastFatalExitText());
  EXPECT_EQ("java.lang.ThreadDeath", m.TakeException());
  JVM_Exit(4);
  EXPECT_EQ(4, refhost::LastFatalExitCode());
  EXPECT_EQ("java.lang.ThreadDeath", m.TakeException());
  // And from Java: nothing after System.exit runs.
  Outcome o = m.Call("java/lang/System", "exit", "(I)V", {7});
  EXPECT_EQ("java.lang.ThreadDeath", o.thrown);
  EXPECT_EQ(7, refhost::LastFatalExitCode());
}

TEST_F(RuntimeTest, RunFinalizersOnExitTouchesOnlyItsBit) {
  typedef void(JNICALL * Flag)(JNIEnv*, jclass, jboolean);
  Flag set = (Flag)m.Native("java/lang/Runtime", "runFinalizersOnExit0", "(Z)V");
  ASSERT_NE(nullptr, set);
  const bool threads = m.vm->GetEnableThreads();
  set(m.env, nullptr, 1);
  EXPECT_TRUE(m.vm->GetRunFinalizersOnExit());
  set(m.env, nullptr, 0);
  EXPECT_FALSE(m.vm->GetRunFinalizersOnExit());
  EXPECT_EQ(threads, m.vm->GetEnableThreads());
  EXPECT_TRUE(m.vm->GetInitialized());
  // Counted without the collections a stress run adds at every allocation.
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(0);
  uint32_t requests = VM::GetGarbageCollectRequests();
  EXPECT_EQ("", m.Call("java/lang/System", "gc", "()V").thrown);
  EXPECT_EQ("", m.Call("java/lang/System", "runFinalization", "()V").thrown);
  EXPECT_EQ(requests + 2, VM::GetGarbageCollectRequests());
  VMObjectBase::SetCollectionStress(stress);
}

TEST_F(RuntimeTest, LibraryNamesAndProcessesAreAnsweredWithoutTheOperatingSystem) {
  typedef jint(JNICALL * Load)(JNIEnv*, jobject, jstring);
  typedef jstring(JNICALL * Map)(JNIEnv*, jclass, jstring);
  Load load = (Load)m.Native("java/lang/Runtime", "loadFileInternal", "(Ljava/lang/String;)I");
  Map map = (Map)m.Native("java/lang/System", "mapLibraryName", "(Ljava/lang/String;)Ljava/lang/String;");
  ASSERT_TRUE(load && map);
  const struct {
    const char* name;
    jint known;
  } names[] = {{"zip", 1}, {"math", 1}, {"net", 1}, {"ZIP", 0}, {"zip.dll", 0}, {"/a/zip", 0}, {"awt", 0}, {"", 0}};
  for (const auto& n : names) EXPECT_EQ(n.known, load(m.env, nullptr, m.Local(m.String(n.name)))) << n.name;
  EXPECT_EQ(0, load(m.env, nullptr, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
  EXPECT_EQ("zip.dll", m.Text(VMJniHandle::UnHandle(m.env, map(m.env, nullptr, m.Local(m.String("zip"))))));
  EXPECT_EQ(".dll", m.Text(VMJniHandle::UnHandle(m.env, map(m.env, nullptr, m.Local(m.String(""))))));
  EXPECT_EQ(nullptr, map(m.env, nullptr, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
  // Through the library: loadLibrary of a known name succeeds, exec has no process.
  EXPECT_EQ("", m.Call("java/lang/System", "loadLibrary", "(Ljava/lang/String;)V", {(VMword)m.String("zip")}).thrown);
  EXPECT_EQ("java.lang.UnsatisfiedLinkError",
            m.Call("java/lang/System", "loadLibrary", "(Ljava/lang/String;)V", {(VMword)m.String("ZIP")}).thrown);
  VMObject* runtime = m.Call("java/lang/Runtime", "getRuntime", "()Ljava/lang/Runtime;").Object();
  ASSERT_NE(nullptr, runtime);
  EXPECT_EQ("java.io.IOException",
            m.Call("java/lang/Runtime", "exec", "(Ljava/lang/String;)Ljava/lang/Process;",
                   {(VMword)runtime, (VMword)m.String("x")})
                .thrown);
}

/* An entry that is not implemented reports itself and raises its error: Java code, and
   the host, go on. */
TEST_F(RuntimeTest, NotImplementedEntriesRaiseInternalErrorAndNeverEndTheHost) {
  refhost::SetCapture(true);
  refhost::SetFatalExitReturns(true);
  int exits = refhost::FatalExitCount();
  EXPECT_EQ(nullptr, JVM_GetClassSigners(m.env, nullptr));
  Outcome o;
  EXPECT_EQ("java.lang.InternalError", m.TakeException(&o));
  EXPECT_EQ("nyi: JVM_GetClassSigners", o.message);
  EXPECT_EQ(nullptr, JVM_LoadLibrary("zip"));
  EXPECT_EQ("java.lang.InternalError", m.TakeException(&o));
  EXPECT_EQ("nyi: JVM_LoadLibrary", o.message);
  EXPECT_EQ(0, JVM_CountStackFrames(m.env, nullptr));
  EXPECT_EQ("java.lang.InternalError", m.TakeException());
  EXPECT_EQ("nyi: JVM_GetClassSigners\nnyi: JVM_LoadLibrary\nnyi: JVM_CountStackFrames\n", refhost::CapturedLog());
  EXPECT_EQ(exits, refhost::FatalExitCount());
  // From a thread outside every machine: the log line alone.
  std::thread([] { JVM_UnloadLibrary(nullptr); }).join();
  EXPECT_EQ(exits, refhost::FatalExitCount());
  // Class.getSigners from Java is plain null.
  EXPECT_EQ("", m.Call("natives/ClassCases", "queries", "()I").thrown);
}

}  // namespace
