/* The debugger agent through the client's entry points and from host threads: attaching
   and detaching, hostile agent pointers, the hand-over of the one stored event between a
   reporting thread and the client, the class-load list, the connection's end waking
   both sides, and a machine whose creation waits for its debugger. Every blocking step
   runs under a watchdog: a hang fails the program instead of stalling the suite. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "refhost.h"
#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmliteral.h"
#include "vmthread.h"

namespace {

/* Ends the program when a step blocks past its deadline. */

/* A request in memory, and what the reply would write. */
struct Channel {
  uint8_t in[4] = {20, 0, 0, 1};
  size_t read = 0;
  size_t written = 0;
  static jint HOSTCALL Read(void* c, void* buffer, jint length) {
    Channel* channel = (Channel*)c;
    jint n = 0;
    while (n < length && channel->read < sizeof channel->in) ((uint8_t*)buffer)[n++] = channel->in[channel->read++];
    return n;
  }
  static jint HOSTCALL Write(void* c, void*, jint) {
    ((Channel*)c)->written++;
    return 0;
  }
};

std::string ClassLib() { return std::string(PUX_BUILD_DIR) + "/classlib.zip"; }

JavaVM* Create(const char* name, JNIEnv** env, bool wait = false, JavaVM* share = nullptr) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = name;
  args.waitForDebugger = wait ? 1 : 0;
  args.shareNameSpaceOf = share;
  JavaVM* jvm = nullptr;
  return JNI_CreateJavaVM(&jvm, env, &args) == 0 ? jvm : nullptr;
}

class DebuggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    refhost::SetClassPath(nullptr, ClassLib());
    jvm = Create("dbg", &env);
    ASSERT_NE(nullptr, jvm);
  }
  void TearDown() override {
    if (jvm != nullptr) {
      // The current env may have been rebound by a call: the machine's own is put back.
      refhost::Functions()->SetCurrentEnv(env);
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::ResetHooks();
  }
  VMLoadableClass* Class(const char* name) {
    return (VMLoadableClass*)VMJniUnHandleClass(env, env->functions->FindClass(env, name));
  }
  /* Runs body on a new host thread attached to the machine, as a watched Java thread
     would be, and detached after. */
  std::thread Reporter(std::function<void(VMDebugger*)> body, VMDebugger* agent) {
    return std::thread([this, body, agent] {
      JNIEnv* own = nullptr;
      ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
      body(agent);
      EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
    });
  }
  /* Polls the client's entry until an event or class load is there. */
  void AwaitPending(void* agent) {
    while (JNI_DebugEventPending(agent) != 1) usleep(1000);
  }

  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
};

TEST_F(DebuggerTest, AttachIsOnePerMachineAndDetachMovesTheAgentAside) {
  Watchdog dog(60);
  EXPECT_EQ(nullptr, JNI_DebugAttach("no such machine"));
  void* agent = JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  EXPECT_EQ((VMDebugger*)agent, jvm->vm->GetDebugger());
  EXPECT_EQ(nullptr, JNI_DebugAttach("dbg"));
  EXPECT_EQ(nullptr, JNI_DebugAttach(nullptr)) << "the newest machine is this one";
  // Attaching left the client's thread as it was: bound to the machine's own env.
  EXPECT_EQ(env, refhost::Functions()->GetCurrentEnv());
  EXPECT_EQ(0, JNI_DebugEventPending(agent));
  EXPECT_TRUE(((VMDebugger*)agent)->GetIsConnected());
  EXPECT_EQ(1u, jvm->debuggerConnected & 0xFF);
  JNI_DebugDetach(agent);
  EXPECT_EQ(nullptr, jvm->vm->GetDebugger());
  EXPECT_EQ((VMDebugger*)agent, jvm->vm->GetDeadDebuggers());
  EXPECT_FALSE(((VMDebugger*)agent)->GetIsConnected());
  EXPECT_EQ(0u, jvm->debuggerConnected & 0xFF);
  // The detached agent stays readable until the machine goes, and never connects again.
  JNI_DebugDetach(agent);
  EXPECT_EQ(0, JNI_DebugEventPending(agent));
  EXPECT_FALSE(((VMDebugger*)agent)->GetIsConnected());
  EXPECT_EQ((VMDebugger*)agent, jvm->vm->GetDeadDebuggers());
  EXPECT_EQ(nullptr, jvm->vm->GetDeadDebuggers()->GetNextDeadDebugger());
  // A new agent starts afresh; the destruction of the machine frees both.
  void* second = JNI_DebugAttach(nullptr);
  ASSERT_NE(nullptr, second);
  EXPECT_NE(agent, second);
  EXPECT_EQ(0, JNI_DebugEventPending(second));
  JNI_DebugDetach(second);
}

TEST_F(DebuggerTest, AClientAttachedToTwoMachinesIsServedOnItsOwnEnvOfEachAndKeepsBoth) {
  Watchdog dog(60);
  JNIEnv* twoEnv = nullptr;
  JavaVM* two = Create("two", &twoEnv);
  ASSERT_NE(nullptr, two);
  VMThread* mine = twoEnv->thread;
  ASSERT_NE(nullptr, mine);
  uint32_t debugByte = twoEnv->debug & 0xFF;
  // The host holds the first machine's env current while the client calls reach the
  // second: the thread's attachment to the second must come out of each call whole,
  // not be replaced by a second one and detached at the call's end.
  refhost::Functions()->SetCurrentEnv(env);
  auto attachedAsBefore = [&](const char* after) {
    EXPECT_EQ(env, refhost::Functions()->GetCurrentEnv()) << after;
    EXPECT_EQ(mine, twoEnv->thread) << after;
    EXPECT_EQ(twoEnv, mine->GetEnv()) << "the attachment to the second machine was lost by " << after;
    EXPECT_EQ(1u, two->vm->GetThreadsAttached()) << after;
    EXPECT_EQ(debugByte, twoEnv->debug & 0xFF) << after;
  };
  void* agent = JNI_DebugAttach("two");
  ASSERT_NE(nullptr, agent);
  attachedAsBefore("the attach");
  EXPECT_EQ(0, JNI_DebugEventPending(agent));
  Channel ch;
  EXPECT_EQ(0u, JNI_DebugRequest(agent, &ch, Channel::Read, &ch, Channel::Write));
  EXPECT_EQ(2u, ch.written);
  attachedAsBefore("a request");
  JNI_DebugDetach(agent);
  attachedAsBefore("the detach");
  // The second machine's env still works, and goes with its machine.
  refhost::Functions()->SetCurrentEnv(twoEnv);
  EXPECT_NE(nullptr, twoEnv->functions->FindClass(twoEnv, "java/lang/Object"));
  EXPECT_EQ(0, two->functions->DestroyJavaVM(two));
  refhost::Functions()->SetCurrentEnv(env);
}

TEST_F(DebuggerTest, HostilePointersAreRefusedWithoutBeingFollowed) {
  Watchdog dog(60);
  // Bytes that look like nothing the machine made, and a freed-looking pointer.
  uint32_t fake[64];
  for (uint32_t& w : fake) w = 0xCAFEBABEu;
  void* pointers[] = {nullptr, fake, (void*)(uintptr_t)4, (void*)jvm, (void*)env};
  for (void* p : pointers) {
    EXPECT_EQ((jbyte)255, JNI_DebugEventPending(p));
    EXPECT_EQ(0xFFFFFFFFu, JNI_DebugRequest(p, nullptr, nullptr, nullptr, nullptr));
    JNI_DebugDetach(p);
    JNI_DebugSetLoaderID(p, (void*)1);
  }
  for (uint32_t w : fake) EXPECT_EQ(0xCAFEBABEu, w);
  // A release of a record that is not a machine's writes nothing to it.
  JNI_DebugReleaseVM((JavaVM*)fake);
  for (uint32_t w : fake) EXPECT_EQ(0xCAFEBABEu, w);
  void* agent = JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  JNI_DebugSetLoaderID(agent, (void*)0x1234);
  EXPECT_EQ((void*)0x1234, ((VMDebugger*)agent)->GetLoaderID());
  // A poll without waiting: the announcement, then the kind.
  Channel ch;
  EXPECT_EQ(0u, JNI_DebugRequest(agent, &ch, Channel::Read, &ch, Channel::Write));
  EXPECT_EQ(2u, ch.written);
  EXPECT_EQ(2u, ch.read);
  EXPECT_EQ(env, refhost::Functions()->GetCurrentEnv());
  JNI_DebugDetach(agent);
  // A detached agent serves no request: nothing is read or written.
  Channel after;
  EXPECT_EQ(0xFFFFFFFFu, JNI_DebugRequest(agent, &after, Channel::Read, &after, Channel::Write));
  EXPECT_EQ(0u, after.read);
  EXPECT_EQ(0u, after.written);
}

TEST_F(DebuggerTest, OneStoredEventPassesFromTheReporterToTheClientAndBack) {
  Watchdog dog(60);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  // Not yet connected: an event is dropped and its reporter runs on.
  std::thread early = Reporter([](VMDebugger* a) { a->AddEvent(VMDebugger::EventBreakpoint, nullptr, nullptr); }, agent);
  early.join();
  EXPECT_EQ(0, agent->EventPending(false));
  EXPECT_EQ(0, JNI_DebugEventPending(agent));

  VMLoadableClass* string = Class("java/lang/String");
  std::atomic<int> resumed{0};
  std::thread reporter = Reporter(
      [&](VMDebugger* a) {
        a->AddEvent(VMDebugger::EventCaught, (VMObject*)string, nullptr);
        // Released: no longer marked as waiting for the debugger.
        EXPECT_FALSE(VMThread::Current()->GetPausedForDebugger());
        resumed++;
      },
      agent);
  AwaitPending(agent);
  // A blocking poll with an event stored answers at once, as often as asked.
  EXPECT_EQ(VMDebugger::EventCaught, agent->EventPending(true));
  EXPECT_EQ(VMDebugger::EventCaught, agent->EventPending(true));
  EXPECT_EQ((VMObject*)string, agent->EventGet());
  EXPECT_EQ(0, resumed.load());
  agent->EventRemove();
  reporter.join();
  EXPECT_EQ(1, resumed.load());
  EXPECT_EQ(0, agent->EventPending(false));
  EXPECT_TRUE(agent->GetReportedAtLeastOneEvent());

  // A spare release banks nothing: the next reporter still waits for its own removal.
  agent->EventRemove();
  agent->EventRemove();
  std::thread next = Reporter(
      [&](VMDebugger* a) {
        a->AddEvent(VMDebugger::EventInterrupt, nullptr, nullptr);
        resumed++;
      },
      agent);
  AwaitPending(agent);
  usleep(50000);
  EXPECT_EQ(1, resumed.load()) << "the reporter ran on before its event was removed";
  // A release before the client was told of the event is refused too.
  EXPECT_EQ(VMDebugger::EventInterrupt, agent->GetEventType());
  EXPECT_EQ(VMDebugger::EventInterrupt, agent->EventPending(false));
  agent->EventRemove();
  next.join();
  EXPECT_EQ(2, resumed.load());
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, StoppingTheStoppedThreadAbandonsItsEventAndKeepsTheSession) {
  Watchdog dog(60);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  agent->NotifyClassLoad(Class("java/lang/String"));
  std::atomic<void*> handle{nullptr};
  std::atomic<bool> resumed{false};
  std::thread reporter = Reporter(
      [&](VMDebugger* a) {
        handle = refhost::Functions()->CurrentThreadHandle();
        a->AddEvent(VMDebugger::EventBreakpoint, nullptr, nullptr);
        resumed = true;
      },
      agent);
  while (agent->GetEventType() == 0) usleep(1000);
  ASSERT_EQ(VMDebugger::EventClassLoad, agent->EventPending(false));
  // The usual "kill this thread" of a client, aimed at the thread it stopped.
  refhost::Functions()->StopThread(handle.load(), 1);
  reporter.join();
  EXPECT_TRUE(resumed.load());
  // Only that event went: the connection, the pending class load and the pause of the
  // other threads are as a removal would have left them.
  EXPECT_TRUE(agent->GetIsConnected());
  EXPECT_FALSE(agent->GetConnectionFailed());
  EXPECT_EQ(0, agent->GetEventType());
  EXPECT_FALSE(jvm->vm->GetThreads()->Get(1)->GetYieldForDebugger());
  EXPECT_EQ((VMObject*)Class("java/lang/String"), agent->EventGet());
  agent->EventRemove();
  EXPECT_EQ(0, JNI_DebugEventPending(agent));
  // The next stop of another thread is handed over as ever.
  std::thread next = Reporter([](VMDebugger* a) { a->AddEvent(VMDebugger::EventStep, nullptr, nullptr); }, agent);
  EXPECT_EQ(VMDebugger::EventStep, agent->EventPending(true));
  agent->EventRemove();
  next.join();
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, ReportersQueueBehindTheStoredEventOneAtATime) {
  Watchdog dog(120);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  const int kReporters = 6;
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kReporters; i++)
    threads.push_back(Reporter(
        [&](VMDebugger* a) {
          a->AddEvent(VMDebugger::EventStep, nullptr, nullptr);
          done++;
        },
        agent));
  for (int served = 0; served < kReporters; served++) {
    ASSERT_EQ(VMDebugger::EventStep, agent->EventPending(true));
    // Exactly the reporters served so far have gone on.
    usleep(5000);
    EXPECT_EQ(served, done.load());
    agent->EventRemove();
    while (done.load() < served + 1) usleep(1000);
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(0, agent->EventPending(false));
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, ClassLoadsComeFirstNewestFirstAndOnlyOnce) {
  Watchdog dog(60);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  // Classes that start-up initialised: looking them up announces nothing.
  VMLoadableClass* a = Class("java/lang/String");
  VMLoadableClass* b = Class("java/lang/Object");
  VMLoadableClass* c = Class("java/lang/Class");
  ASSERT_TRUE(a && b && c);
  ASSERT_EQ(0, agent->EventPending(false));
  agent->NotifyClassLoad(a);
  agent->NotifyClassLoad(b);
  agent->NotifyClassLoad(a);  // queued already
  agent->NotifyClassLoad(c);
  std::thread reporter = Reporter([](VMDebugger* x) { x->AddEvent(VMDebugger::EventBreakpoint, nullptr, nullptr); }, agent);
  AwaitPending(agent);
  // The reporter's own attachment may initialise classes after these: they come first.
  std::vector<VMObject*> seen;
  while (agent->EventPending(true) == VMDebugger::EventClassLoad) {
    // Asking again neither moves the list nor records the class twice.
    VMObject* cls = agent->EventGet();
    EXPECT_EQ(cls, agent->EventGet());
    if (cls == (VMObject*)a || cls == (VMObject*)b || cls == (VMObject*)c) seen.push_back(cls);
    agent->EventRemove();
  }
  EXPECT_EQ((std::vector<VMObject*>{(VMObject*)c, (VMObject*)b, (VMObject*)a}), seen);
  // The class loads did not release the stopped reporter; its event comes now.
  ASSERT_EQ(VMDebugger::EventBreakpoint, agent->EventPending(true));
  EXPECT_EQ(nullptr, agent->EventGet());
  agent->EventRemove();
  reporter.join();
  uint32_t recorded = agent->GetClassesLoaded()->GetCount();
  // A class delivered once is not announced again.
  agent->NotifyClassLoad(b);
  EXPECT_EQ(0, agent->EventPending(false));
  EXPECT_EQ(recorded, agent->GetClassesLoaded()->GetCount());
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, AClassQueuedAfterAnAnnouncementWaitsForItsOwn) {
  Watchdog dog(60);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  VMLoadableClass* first = Class("java/lang/String");
  VMLoadableClass* second = Class("java/lang/Object");
  ASSERT_EQ(0, agent->EventPending(false));
  agent->NotifyClassLoad(first);
  ASSERT_EQ(VMDebugger::EventClassLoad, agent->EventPending(false));
  // Another thread initialises a class while the client looks at the first.
  agent->NotifyClassLoad(second);
  EXPECT_EQ((VMObject*)first, agent->EventGet());
  agent->EventRemove();
  ASSERT_EQ(VMDebugger::EventClassLoad, agent->EventPending(false));
  EXPECT_EQ((VMObject*)second, agent->EventGet());
  agent->EventRemove();
  EXPECT_EQ(0, agent->EventPending(false));
  // A spare removal retires nothing that was not announced.
  agent->NotifyClassLoad(Class("java/lang/Thread"));
  agent->EventRemove();
  EXPECT_EQ(VMDebugger::EventClassLoad, agent->EventPending(false));
  EXPECT_EQ((VMObject*)Class("java/lang/Thread"), agent->EventGet());
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, AClassInitialisedUnderAnAgentIsAnnouncedBeforeItsInitialiserRuns) {
  Watchdog dog(60);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  VMLiteral* name = VMLiteral::CreateInstance(jvm->nameSpace, "java/util/Stack", 0xFFFFFFFFu);
  VMLoadableClass* stack = VMLoadableClass::FindInitialized(env, name, nullptr);
  ASSERT_NE(nullptr, stack);
  EXPECT_EQ(1, JNI_DebugEventPending(agent));
  bool announced = false;
  int announcements = 0;
  while (agent->EventPending(false) == VMDebugger::EventClassLoad) {
    announced = announced || agent->EventGet() == (VMObject*)stack;
    announcements++;
    agent->EventRemove();
  }
  EXPECT_TRUE(announced);
  // Initialised once: asking again announces nothing.
  EXPECT_EQ(stack, VMLoadableClass::FindInitialized(env, name, nullptr));
  EXPECT_EQ(0, agent->EventPending(false));
  EXPECT_EQ((uint32_t)announcements + 1, agent->GetClassesLoaded()->GetCount());
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, DetachWakesTheWaitingClientAndTheStoppedReporter) {
  Watchdog dog(60);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  std::atomic<int> answer{-1};
  std::thread client([&] { answer = agent->EventPending(true); });
  usleep(50000);
  EXPECT_EQ(-1, answer.load()) << "nothing stored: the client waits";
  std::atomic<bool> resumed{false};
  std::thread reporter = Reporter(
      [&](VMDebugger* a) {
        a->AddEvent(VMDebugger::EventBreakpoint, nullptr, nullptr);
        resumed = true;
      },
      agent);
  client.join();
  EXPECT_EQ(VMDebugger::EventBreakpoint, answer.load());
  // The reporter's stop parks the machine's other threads at their next poll.
  EXPECT_TRUE(jvm->vm->GetThreads()->Get(1)->GetYieldForDebugger());
  answer = -1;
  std::thread second([&] { answer = agent->EventPending(true); });
  second.join();
  EXPECT_EQ(VMDebugger::EventBreakpoint, answer.load());
  JNI_DebugDetach(agent);
  reporter.join();
  EXPECT_TRUE(resumed.load());
  EXPECT_FALSE(jvm->vm->GetThreads()->Get(1)->GetYieldForDebugger());
  // A client waiting when the connection ends returns with nothing.
  VMDebugger* again = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, again);
  ASSERT_EQ(0, JNI_DebugEventPending(again));
  answer = -1;
  std::thread waiting([&] { answer = again->EventPending(true); });
  usleep(50000);
  JNI_DebugDetach(again);
  waiting.join();
  EXPECT_EQ(0, answer.load());
}

/* Three client threads wait for an event when the client detaches: every wait ends (the
   detach woke one; the others waited for good, and so did the destroy for their calls). */
TEST_F(DebuggerTest, DetachWakesEveryWaitingClient) {
  Watchdog dog(60, "clients waiting for an event past their agent's detach");
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  std::atomic<int> ended{0};
  std::vector<std::thread> waiting;
  for (int i = 0; i < 3; i++) waiting.emplace_back([&] { ended += agent->EventPending(true) == 0; });
  while (refhost::EventWaiters(agent->GetEventAdded()) < 3) usleep(1000);
  JNI_DebugDetach(agent);
  for (std::thread& t : waiting) t.join();
  EXPECT_EQ(3, ended.load());
}

/* A host thread that carries a client call through its own env detaches itself in the
   call's read: refused, as with frames on its stack; it detaches after the call. (The
   detach freed the env the call went on with: SIGSEGV.) */
thread_local JavaVM* tlsDetachInRead = nullptr;
std::atomic<jint> gDetachInRead{-5};
jint HOSTCALL DetachingRead(void* c, void* buffer, jint length) {
  if (JavaVM* vm = tlsDetachInRead) gDetachInRead = vm->functions->DetachCurrentThread(vm);
  tlsDetachInRead = nullptr;
  return Channel::Read(c, buffer, length);
}

TEST_F(DebuggerTest, AThreadDetachingItselfInsideAClientCallItCarriesIsRefused) {
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  std::thread host = Reporter(
      [&](VMDebugger* a) {
        Channel channel;
        tlsDetachInRead = jvm;
        JNI_DebugRequest(a, &channel, DetachingRead, &channel, Channel::Write);
        EXPECT_EQ(-1, gDetachInRead.load());
      },
      agent);
  host.join();
  JNI_DebugDetach(agent);
}

TEST_F(DebuggerTest, AThreadPausedForTheDebuggerParksUntilReleased) {
  Watchdog dog(60);
  std::atomic<int> stage{0};
  std::thread parked([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    stage = 1;
    while (stage.load() < 2) usleep(1000);
    // The poll a Java thread makes between instructions.
    VMThread::Current()->Yield();
    stage = 3;
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  while (stage.load() < 1) usleep(1000);
  jvm->vm->PauseThreadsForDebugger(true);
  stage = 2;
  usleep(400000);
  EXPECT_EQ(2, stage.load()) << "the paused thread ran on";
  VMThread* t = nullptr;
  for (uint32_t i = 1; i < jvm->vm->GetThreads()->GetCount(); i++) {
    VMThread* c = jvm->vm->GetThreads()->Get(i);
    if (c != nullptr && c->GetPausedForDebugger()) t = c;
  }
  ASSERT_NE(nullptr, t);
  jvm->vm->PauseThreadsForDebugger(false);
  parked.join();
  EXPECT_EQ(3, stage.load());
}

TEST(DebuggerCreation, AMachineThatWaitsForItsDebuggerGoesOnOnceOneConnects) {
  Watchdog dog(120);
  refhost::ResetHooks();
  refhost::SetClassPath(nullptr, ClassLib());
  // The host's thread creates the machine, and destroys it once told to.
  std::atomic<JavaVM*> made{nullptr};
  std::atomic<bool> created{false};
  std::atomic<bool> destroy{false};
  std::atomic<int> destroyed{-1};
  std::thread host([&] {
    JNIEnv* env = nullptr;
    made = Create("waits", &env, true);
    created = true;
    if (made.load() == nullptr) return;
    while (!destroy.load()) usleep(1000);
    destroyed = made.load()->functions->DestroyJavaVM(made.load());
  });
  JavaVM* waiting = nullptr;
  while ((waiting = JNI_DebugWaitForVM()) == nullptr) usleep(10000);
  // Only machines that do not wait are counted.
  uint32_t total = 99;
  EXPECT_EQ(0, JNI_DebugGetExistingVMs(nullptr, 0, &total));
  EXPECT_EQ(0u, total);
  void* agent = JNI_DebugAttach("waits");
  ASSERT_NE(nullptr, agent);
  usleep(100000);
  EXPECT_FALSE(created.load()) << "creation went on before the debugger connected";
  EXPECT_EQ(0, JNI_DebugEventPending(agent));
  while (!created.load()) usleep(1000);
  ASSERT_EQ(waiting, made.load());
  EXPECT_EQ(nullptr, JNI_DebugWaitForVM());
  JavaVM* listed[2] = {nullptr, nullptr};
  EXPECT_EQ(0, JNI_DebugGetExistingVMs(listed, 2, &total));
  EXPECT_EQ(1u, total);
  EXPECT_EQ(waiting, listed[0]);
  // Destruction reports the machine's end, then waits for the client to leave.
  destroy = true;
  // The classes that creation initialised after the connection come first.
  int loads = 0;
  int32_t kind;
  while ((kind = ((VMDebugger*)agent)->EventPending(true)) == VMDebugger::EventClassLoad) {
    EXPECT_NE(nullptr, ((VMDebugger*)agent)->EventGet());
    ((VMDebugger*)agent)->EventRemove();
    loads++;
  }
  EXPECT_GT(loads, 10);
  EXPECT_EQ(VMDebugger::EventTerminating, kind);
  ((VMDebugger*)agent)->EventRemove();
  usleep(100000);
  EXPECT_EQ(-1, destroyed.load()) << "destroyed while the client was connected";
  JNI_DebugDetach(agent);
  host.join();
  EXPECT_EQ(0, destroyed.load());
  refhost::ResetHooks();
}

class DebuggerRelease : public ::testing::TestWithParam<bool> {};

TEST_P(DebuggerRelease, ReleasingTheWaitOrLeavingUnconnectedLetsCreationGoOnWithoutADebugger) {
  Watchdog dog(60);
  refhost::ResetHooks();
  refhost::SetClassPath(nullptr, ClassLib());
  std::atomic<bool> released{false};
  std::atomic<bool> alone{false};
  std::atomic<int> destroyed{-1};
  std::thread host([&] {
    JNIEnv* env = nullptr;
    JavaVM* made = Create("released", &env, true);
    if (made == nullptr) return;
    released = true;
    alone = made->vm->GetDebugger() == nullptr;
    destroyed = made->functions->DestroyJavaVM(made);
  });
  JavaVM* waiting = nullptr;
  while ((waiting = JNI_DebugWaitForVM()) == nullptr) usleep(10000);
  EXPECT_STREQ("released", waiting->name);
  if (GetParam()) {
    JNI_DebugReleaseVM(nullptr);
  } else {
    // A client that attaches and leaves without connecting, twice over.
    void* agent = JNI_DebugAttach("released");
    ASSERT_NE(nullptr, agent);
    JNI_DebugDetach(agent);
    JNI_DebugDetach(agent);
  }
  host.join();
  EXPECT_TRUE(released.load());
  EXPECT_TRUE(alone.load());
  EXPECT_EQ(0, destroyed.load());
  refhost::ResetHooks();
}

INSTANTIATE_TEST_SUITE_P(ByReleaseOrDetach, DebuggerRelease, ::testing::Bool());

TEST(DebuggerCreation, TheDisableCountHoldsDestructionUntilItIsBackAtZero) {
  Watchdog dog(60);
  refhost::ResetHooks();
  refhost::SetClassPath(nullptr, ClassLib());
  std::atomic<int> destroyed{-1};
  std::atomic<int> stage{0};
  std::thread host([&] {
    JNIEnv* env = nullptr;
    JavaVM* jvm = Create("held", &env);
    stage = 1;
    while (jvm != nullptr && stage.load() < 2) usleep(1000);
    if (jvm != nullptr) destroyed = jvm->functions->DestroyJavaVM(jvm);
  });
  while (stage.load() < 1) usleep(1000);
  JNI_DebugEnableVMCreation(0);
  JNI_DebugEnableVMCreation(0);
  JNI_DebugEnableVMCreation(1);
  stage = 2;
  usleep(700000);
  EXPECT_EQ(-1, destroyed.load());
  JNI_DebugEnableVMCreation(1);
  host.join();
  EXPECT_EQ(0, destroyed.load());
  refhost::ResetHooks();
}

}  // namespace

/* A client outside the machine polls while another thread of the machine collects, the
   connection having failed: the poll ends the connection, freeing every breakpoint
   record, and the collection walks those records. The poll is carried like every client
   call, so the collection waits for it. Each round makes many records on one place of a
   method nothing runs, lets the other thread collect without pause, and polls. */
TEST_F(DebuggerTest, APollEndingAFailedConnectionFreesNothingACollectionWalks) {
  Watchdog dog(120);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("dbg");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  VMLoadableClass* cls = Class("java/lang/StringBuffer");
  VMMethod* method = nullptr;
  for (uint32_t i = 0; i < cls->GetMethods()->GetSize() && method == nullptr; i++) {
    VMMethod* m = cls->GetMethods()->Get(i);
    if (m != nullptr && m->GetCode() != nullptr && m->GetCode()->GetSize() > 4) method = m;
  }
  ASSERT_NE(nullptr, method);
  int fatal = refhost::FatalExitCount();
  std::atomic<bool> collecting{false};
  std::atomic<bool> stop{false};
  std::thread collector([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    VMThread* self = VMThread::Current();
    while (!stop) {
      if (collecting) {
        jvm->vm->GarbageCollect(false);
      } else {
        VM::EnterSafeRegion(self);
        while (!collecting && !stop) usleep(50);
        VM::LeaveSafeRegion(self);
      }
    }
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  std::thread client([&] {
    for (int round = 0; round < 6 && refhost::FatalExitCount() == fatal; round++) {
      VMDebuggerCall call;
      ASSERT_TRUE(call.Begin(agent, true));
      for (int i = 0; i < 30000; i++) ASSERT_TRUE(agent->BreakSet(method, 0, nullptr));
      call.End();
      // A reporter's wait that failed leaves the connection to be ended by the next call.
      agent->SetConnectionFailed();
      uint32_t collections = jvm->vm->GetCollections();
      collecting = true;
      while (jvm->vm->GetCollections() == collections) usleep(50);
      EXPECT_EQ(0, JNI_DebugEventPending(agent));
      collecting = false;
      EXPECT_EQ(nullptr, agent->GetCodeBreaks());
      EXPECT_FALSE(agent->GetConnectionFailed());
      EXPECT_TRUE(agent->GetIsConnected());
    }
  });
  VMThread* self = VMThread::Current();
  VM::EnterSafeRegion(self);
  client.join();
  stop = true;
  collector.join();
  VM::LeaveSafeRegion(self);
  EXPECT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  JNI_DebugDetach(agent);
}
