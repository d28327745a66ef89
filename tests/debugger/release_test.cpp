/* How a stop, a suspension and a connection end: a thread released from its park no
   longer hands out its frames, a detach that lands inside a report or beside a poll's
   connect leaves nothing waiting or half connected, the client's suspensions end with
   its connection, and a detached agent gives its grown tables back. The races are made
   certain by a host MutexLock that runs the racing call at the lock that opens the
   window. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "debug_client.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmthread.h"

using namespace dbgclient;

namespace {

void JNICALL ReleaseStop(JNIEnv* env, jclass) {
  VMThread* thread = env->thread;
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  if (agent != nullptr)
    agent->AddEvent(VMDebugger::EventBreakpoint, nullptr, VMDebugger::FrameCaller(thread->GetFrame()));
}

jint JNICALL ReleaseViaNative(JNIEnv* env, jclass cls, jint n) {
  jmethodID inner = env->functions->GetStaticMethodID(env, cls, "inner", "(I)I");
  return env->functions->CallStaticIntMethod(env, cls, inner, n);
}

/* The host's MutexLock, which runs the armed action once on the thread and at the lock
   the test names, before the lock is taken. */
struct LockHook {
  static jboolean(HOSTCALL* real)(void*);
  static std::atomic<bool> armed;
  static bool (*when)(void* mutex);
  static void (*action)();
  static jboolean HOSTCALL Lock(void* mutex) {
    if (armed.load() && when(mutex) && armed.exchange(false)) action();
    return real(mutex);
  }
  static void Install(bool (*w)(void*), void (*a)()) {
    when = w;
    action = a;
    real = refhost::Functions()->MutexLock;
    refhost::Functions()->MutexLock = Lock;
    armed = true;
  }
  static void Remove() {
    armed = false;
    if (real != nullptr) refhost::Functions()->MutexLock = real;
    real = nullptr;
  }
};
jboolean(HOSTCALL* LockHook::real)(void*) = nullptr;
std::atomic<bool> LockHook::armed{false};
bool (*LockHook::when)(void*) = nullptr;
void (*LockHook::action)() = nullptr;

class ReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip:" + std::string(PUX_BUILD_DIR) +
                                       "/testclasses/debugger");
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.name = "release";
    ASSERT_EQ(0, JNI_CreateJavaVM(&jvm, &env, &args));
    target = env->functions->FindClass(env, "dbgtest/Probe");
    ASSERT_NE(nullptr, target);
    target = (jclass)env->functions->NewGlobalRef(env, target);
    static JNINativeMethod natives[] = {{(char*)"stop", (char*)"()V", (void*)ReleaseStop},
                                        {(char*)"viaNative", (char*)"(I)I", (void*)ReleaseViaNative}};
    ASSERT_EQ(0, env->functions->RegisterNatives(env, target, natives, 2));
    agent = JNI_DebugAttach("release");
    ASSERT_NE(nullptr, agent);
  }
  void TearDown() override {
    LockHook::Remove();
    if (agent != nullptr) JNI_DebugDetach(agent);
    if (jvm != nullptr) {
      refhost::Functions()->SetCurrentEnv(env);
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::ResetHooks();
  }
  /* A thread that runs Probe.spin under the connected client, its arrival let go. */
  std::thread StartSpinner(std::atomic<VMThread*>& spinning, std::atomic<bool>& finished) {
    std::thread spinner([this, &spinning, &finished] {
      JNIEnv* own = nullptr;
      ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
      jmethodID spin = own->functions->GetStaticMethodID(own, target, "spin", "()I");
      spinning = own->thread;
      (void)own->functions->CallStaticIntMethod(own, target, spin);
      EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
      finished = true;
    });
    std::thread greeter([this] {
      Client c(agent);
      int32_t kind;
      while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
      EXPECT_EQ(VMDebugger::EventBreakpoint, kind);
      c.EventRemove();
    });
    JoinOutside(greeter);
    return spinner;
  }
  /* The other stopped thread than the current one, with the program's stop standing. */
  static int32_t OtherThread(Client& c) {
    int32_t current = c.ThreadCurrent();
    EXPECT_EQ(2, c.Int(Request(67)));
    int32_t first = c.Int(Request(71).I(0));
    int32_t second = c.Int(Request(71).I(first));
    return first == current ? second : first;
  }
  void EndSpin() {
    jfieldID done = env->functions->GetStaticFieldID(env, target, "done", "Z");
    env->functions->SetStaticBooleanField(env, target, done, 1);
  }

  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  jclass target = nullptr;
  void* agent = nullptr;
};

/* Once the stop a thread was parked for is removed, nothing holds it: the client gets no
   frame of it, even while it has not yet woken from its park. */
TEST_F(ReleaseTest, AThreadReleasedFromItsParkHandsOutNoFrames) {
  Watchdog dog(120);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  std::atomic<VMThread*> spinning{nullptr};
  std::atomic<bool> finished{false};
  std::thread spinner = StartSpinner(spinning, finished);
  WhileOutside([&] { usleep(200 * 1000); });
  std::atomic<int> served{0};
  std::atomic<int> asked{0};
  std::thread client([&] {
    Client c(agent);
    int32_t kind;
    while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, kind);
    int32_t other = OtherThread(c);
    ASSERT_NE(0, c.ThreadFrame(other)) << "the parked spinner has frames while the stop stands";
    c.EventRemove();
    VMThread* t = spinning.load();
    while (t->GetYieldForDebugger()) usleep(100);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < until) {
      asked++;
      int32_t f = c.ThreadFrame(other);
      if (f == 0) break;
      EXPECT_GE(c.FramePC(f), -1);
      served++;
    }
  });
  jmethodID run = env->functions->GetStaticMethodID(env, target, "run", "(I)I");
  EXPECT_EQ(32, env->functions->CallStaticIntMethod(env, target, run, 10));
  JoinOutside(client);
  EndSpin();
  JoinOutside(spinner);
  EXPECT_EQ(0, served.load()) << "frames of a released thread, in " << asked.load() << " asks";
}

/* A thread the client suspended runs on once the client detaches: the connection's end
   takes its suspensions with it. */
TEST_F(ReleaseTest, AThreadTheClientSuspendedRunsOnAfterTheDetach) {
  Watchdog dog(120);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  std::atomic<VMThread*> spinning{nullptr};
  std::atomic<bool> finished{false};
  std::thread spinner = StartSpinner(spinning, finished);
  WhileOutside([&] { usleep(100 * 1000); });
  std::thread client([&] {
    Client c(agent);
    int32_t kind;
    while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, kind);
    int32_t other = OtherThread(c);
    EXPECT_TRUE(c.Done(Request(75).I(other)));
    EXPECT_EQ(1, c.Call(Request(76).I(other)).Byte());
    JNI_DebugDetach(agent);
  });
  jmethodID run = env->functions->GetStaticMethodID(env, target, "run", "(I)I");
  EXPECT_EQ(32, env->functions->CallStaticIntMethod(env, target, run, 10));
  JoinOutside(client);
  // Out of its park the spinner meets a poll at once, where a suspension left standing
  // would take it.
  VMThread* t = spinning.load();
  WhileOutside([&] {
    for (int i = 0; i < 400 && t->GetPausedForDebugger(); i++) usleep(5 * 1000);
    usleep(100 * 1000);
  });
  EXPECT_FALSE(t->GetSuspended());
  EndSpin();
  WhileOutside([&] {
    for (int i = 0; i < 100 && !finished.load(); i++) usleep(20 * 1000);
  });
  EXPECT_TRUE(finished.load()) << "the client's suspension outlived its connection";
  if (!finished.load()) spinning.load()->Resume();
  JoinOutside(spinner);
}

/* The detach runs whole between a reporter's connection check and its store (the
   reporter's lock of the agent's class-load mutex): the reporter then stores nothing
   and goes on, and no thread stays parked. */
VMDebugger* raceAgent = nullptr;
bool AtTheReportersStore(void* mutex) {
  VMThread* me = VMThread::Current();
  return me != nullptr && me->GetPausedForDebugger() && mutex == raceAgent->GetClassLoadMutex();
}
void DetachNow() {
  std::thread leaver([] { JNI_DebugDetach(raceAgent); });
  leaver.join();
}

TEST_F(ReleaseTest, ADetachInsideAReportLeavesNothingWaiting) {
  Watchdog dog(120);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  raceAgent = (VMDebugger*)agent;
  std::atomic<bool> finished{false};
  std::atomic<VMThread*> reporter{nullptr};
  LockHook::Install(AtTheReportersStore, DetachNow);
  // A thread attached under the connected client reports its arrival at its first
  // Java instruction.
  std::thread program([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    reporter = own->thread;
    jclass cls = own->functions->FindClass(own, "dbgtest/Target");
    jmethodID run = cls != nullptr ? own->functions->GetStaticMethodID(own, cls, "run", "()I") : nullptr;
    if (run != nullptr) {
      EXPECT_EQ(45, own->functions->CallStaticIntMethod(own, cls, run));
    }
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
    finished = true;
  });
  WhileOutside([&] {
    for (int i = 0; i < 250 && !finished.load(); i++) usleep(20 * 1000);
  });
  EXPECT_FALSE(LockHook::armed.load()) << "the report never reached its store";
  bool hung = !finished.load();
  EXPECT_FALSE(hung) << "the reporter waits for a removal no client can send";
  EXPECT_EQ(0, raceAgent->GetEventType()) << "an event stored on the detached agent";
  EXPECT_FALSE(reporter.load()->GetYieldForDebugger()) << "threads asked to park after the detach";
  LockHook::Remove();
  if (hung) refhost::Functions()->StopThread(reporter.load()->GetHandle(), 1);
  JoinOutside(program);
}

/* A detach that comes while a poll connects: whichever goes first, the detached agent
   ends unconnected and the machine without a debugger's marks. */
void* pollingThread = nullptr;
/* The poll's first take of the global mutex once its call is carried is its connect's. */
bool AtThePollsConnect(void* mutex) {
  VMThread* me = VMThread::Current();
  return refhost::Functions()->CurrentThreadId() == pollingThread && me != nullptr && me->GetServingDebugger() &&
         mutex == refhost::Functions()->GetGlobalMutex();
}
std::thread* leaverThread = nullptr;
std::atomic<bool> leaverDone{false};
void DetachBeside() {
  leaverThread = new std::thread([] {
    JNI_DebugDetach(raceAgent);
    leaverDone = true;
  });
  // Long enough for a detach that nothing holds up to finish.
  for (int i = 0; i < 50 && !leaverDone.load(); i++) usleep(10 * 1000);
}

TEST_F(ReleaseTest, ADetachBesideAPollsConnectLeavesTheAgentUnconnected) {
  Watchdog dog(120);
  raceAgent = (VMDebugger*)agent;
  leaverDone = false;
  LockHook::Install(AtThePollsConnect, DetachBeside);
  std::thread poller([&] {
    pollingThread = refhost::Functions()->CurrentThreadId();
    (void)JNI_DebugEventPending(agent);
  });
  JoinOutside(poller);
  ASSERT_NE(nullptr, leaverThread) << "the poll never connected";
  WhileOutside([&] { leaverThread->join(); });
  delete leaverThread;
  leaverThread = nullptr;
  LockHook::Remove();
  EXPECT_EQ(nullptr, jvm->vm->GetDebugger());
  EXPECT_FALSE(raceAgent->GetIsConnected()) << "a detached agent flagged connected";
  EXPECT_EQ(0u, jvm->debuggerConnected & 0xFFu) << "the machine keeps a detached debugger's mark";
  EXPECT_EQ(0u, env->debug & 0xFFu) << "a thread still asked to run under the detached debugger";
}

/* Attach, many handles, detach, again and again: the detached agents keep only their
   small records. */
TEST_F(ReleaseTest, EachDetachGivesItsHandleTablesBack) {
  Watchdog dog(240);
  JNI_DebugDetach(agent);
  agent = nullptr;
  jobject global = env->functions->NewGlobalRef(env, target);
  HHeap* heap = jvm->vm->GetHeap();
  uint64_t before = refhost::BytesInUse(heap);
  uint64_t grown = 0;
  for (int cycle = 0; cycle < 3; cycle++) {
    std::thread client([&] {
      void* a = JNI_DebugAttach("release");
      ASSERT_NE(nullptr, a);
      ASSERT_EQ(0, JNI_DebugEventPending(a));
      // Each request 82 spends a local handle; with no stop to remove they pile up.
      for (int i = 0; i < 30000; i++) (void)Send(a, Request(82).I((int32_t)(uintptr_t)global));
      JNI_DebugDetach(a);
      // A detached agent answers nothing.
      EXPECT_EQ(0xFFFFFFFFu, JNI_DebugRequest(a, nullptr, nullptr, nullptr, nullptr));
    });
    JoinOutside(client);
    grown = refhost::BytesInUse(heap) - before;
  }
  EXPECT_LT(grown, 16u * 1024u) << "detached agents keep their grown tables";
  env->functions->DeleteGlobalRef(env, global);
}

/* A removal the client sends before it was told of the stored event releases nothing:
   the reporter stays stopped until the removal that follows the announcement. */
TEST_F(ReleaseTest, ARemovalBeforeTheEventWasAnnouncedReleasesNothing) {
  Watchdog dog(120);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  VMDebugger* a = (VMDebugger*)agent;
  std::thread client([&] {
    Client c(agent);
    while (a->GetEventType() == 0) usleep(500);
    EXPECT_TRUE(c.Done(Request(21)));
    EXPECT_EQ(VMDebugger::EventBreakpoint, a->GetEventType()) << "a spare removal released the reporter";
    if (a->GetEventType() == 0) return;
    int32_t kind;
    while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
    EXPECT_EQ(VMDebugger::EventBreakpoint, kind);
    c.EventRemove();
    EXPECT_EQ(0, a->GetEventType());
  });
  jmethodID run = env->functions->GetStaticMethodID(env, target, "run", "(I)I");
  EXPECT_EQ(32, env->functions->CallStaticIntMethod(env, target, run, 10));
  JoinOutside(client);
}

/* Element addresses hold a 16-bit index: in an array longer than that, the element past
   it has no address rather than the one of element index & 0xFFFF. Members' addresses
   name only objects of the member's class. */
TEST_F(ReleaseTest, AddressesNameOnlyTheElementAndTheObjectTheyCanHold) {
  Watchdog dog(120);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  jintArray array = env->functions->NewIntArray(env, 70000);
  ASSERT_NE(nullptr, array);
  for (jint i : {0, 65535, 65536, 69999}) env->functions->SetIntArrayRegion(env, array, i, 1, &i);
  jobject big = env->functions->NewGlobalRef(env, array);
  jmethodID init = env->functions->GetMethodID(env, target, "<init>", "()V");
  jobject probe = env->functions->NewGlobalRef(env, env->functions->NewObject(env, target, init));
  ASSERT_NE(nullptr, probe);
  std::thread client([&] {
    Client c(agent);
    int64_t arrayAddress = c.Long(Request(82).I((int32_t)(uintptr_t)big));
    EXPECT_EQ(70000, c.Int(Request(45).L(arrayAddress)));
    int64_t last = c.Long(Request(46).L(arrayAddress).I(65535));
    ASSERT_NE(0, last);
    EXPECT_EQ(65535, c.GetInt(last));
    for (int32_t past : {65536, 69999}) EXPECT_EQ(0, c.Long(Request(46).L(arrayAddress).I(past))) << past;
    int32_t probeClass = c.Int(Request(81).I((int32_t)(uintptr_t)probe));
    int32_t count = c.Named(c.ClassFields(probeClass), "count");
    ASSERT_NE(0, count);
    int64_t probeAddress = c.Long(Request(82).I((int32_t)(uintptr_t)probe));
    int64_t field = c.FieldAddress(count, probeAddress);
    ASSERT_NE(0, field);
    EXPECT_EQ(7, c.GetInt(field));
    EXPECT_EQ(0, c.FieldAddress(count, arrayAddress)) << "a Probe field's address in an int[]";
  });
  JoinOutside(client);
  env->functions->DeleteGlobalRef(env, big);
  env->functions->DeleteGlobalRef(env, probe);
}

/* A frame handle made while its thread stood still for the client is refused once the
   client resumes the thread, though the handle itself has not lapsed. */
TEST_F(ReleaseTest, AFrameHandleOfAThreadTheClientResumedIsRefused) {
  Watchdog dog(120);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  std::atomic<VMThread*> spinning{nullptr};
  std::atomic<bool> finished{false};
  std::thread spinner = StartSpinner(spinning, finished);
  WhileOutside([&] { usleep(100 * 1000); });
  std::atomic<int32_t> other{0};
  std::thread client([&] {
    Client c(agent);
    int32_t kind;
    while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, kind);
    other = OtherThread(c);
    EXPECT_TRUE(c.Done(Request(75).I(other)));
    c.EventRemove();
  });
  jmethodID run = env->functions->GetStaticMethodID(env, target, "run", "(I)I");
  EXPECT_EQ(32, env->functions->CallStaticIntMethod(env, target, run, 10));
  JoinOutside(client);
  // The spinner leaves its park and suspends at its next poll.
  WhileOutside([&] {
    for (int i = 0; i < 1000 && !spinning.load()->GetSuspended(); i++) usleep(5 * 1000);
  });
  ASSERT_TRUE(spinning.load()->GetSuspended());
  std::thread resumer([&] {
    Client c(agent);
    int32_t frame = c.ThreadFrame(other);
    ASSERT_NE(0, frame) << "a suspended thread stands still";
    EXPECT_FALSE(c.Call(Request(34).I(frame)).Dropped());
    EXPECT_TRUE(c.Done(Request(72).I(other)));
    EXPECT_TRUE(c.Call(Request(34).I(frame)).Dropped()) << "the frame of a running thread was walked";
  });
  JoinOutside(resumer);
  EndSpin();
  JoinOutside(spinner);
  EXPECT_TRUE(finished.load());
}

}  // namespace

