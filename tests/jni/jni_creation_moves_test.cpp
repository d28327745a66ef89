/* A creation the host moves while it waits for a debugger (its sleep declared) or stands
   at a poll while it makes its thread's Thread, and a thread already attached that
   attaches again meanwhile; and a destroy against a debugger client that connects after
   the destroy looked for a connection and then waits for an event, or asks to connect,
   or whose call a host thread carries. A case that finds threads blocked for good ends
   the process after saying so: nothing else can end its machine. */
#include "jni_support.h"
#include "machine_move.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "vmhandlearray.h"
#include "vmjni_entries.h"

namespace jni_test {
namespace {

using Ms = std::chrono::milliseconds;

jsize Listed() {
  JavaVM* any = nullptr;
  jsize total = 0;
  JNI_GetCreatedJavaVMs(&any, 1, &total);
  return total;
}

/* The machine being created: listed, its creation under way on the calling thread. */
JavaVM* BeingCreated() {
  JavaVM* listed = nullptr;
  jsize total = 0;
  JNI_GetCreatedJavaVMsNoMutex(&listed, 1, &total);
  return total == 1 ? listed : nullptr;
}

/* What the creating thread does in the first host sleep of its debugger wait. */
struct InTheWait {
  bool attachAgain = false;
  bool move = false;
};
thread_local bool tlsCreator = false;
InTheWait gInTheWait;
std::atomic<bool> gWaitDone{false};
std::atomic<jint> gAttachedAgain{-5};
std::atomic<JNIEnv*> gDisplaced{nullptr};
std::atomic<JNIEnv*> gAgain{nullptr};
std::atomic<uint32_t> gMoved{0};
std::atomic<int> gObjectMoved{-1};
void(HOSTCALL* gRealSleep)(jlong) = nullptr;

void HOSTCALL SleepInTheWait(jlong ms) {
  if (tlsCreator && !gWaitDone.load()) {
    gWaitDone = true;
    JavaVM* listed = BeingCreated();
    if (listed != nullptr && gInTheWait.attachAgain) {
      gDisplaced = refhost::Functions()->GetCurrentEnv();
      JNIEnv* again = nullptr;
      gAttachedAgain = VMJniInvoke::AttachCurrentThread(listed, &again, nullptr);
      gAgain = again;
    }
    if (listed != nullptr && gInTheWait.move) {
      VM* before = listed->vm;
      gMoved = MoveMachine(listed);
      gObjectMoved = listed->vm != before;
    }
    JNI_DebugReleaseVM(nullptr);
  }
  gRealSleep(ms);
}

class CreationMovesTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    gRealSleep = host->Sleep;
    gRealAttachEnv = host->AttachThreadEnv;
    Reset();
  }
  /* Before each creation of a test. */
  static void Reset() {
    gWaitDone = false;
    gAttachedAgain = -5;
    gDisplaced = nullptr;
    gAgain = nullptr;
    gMoved = 0;
    gObjectMoved = -1;
  }
  void TearDown() override {
    host->Sleep = gRealSleep;
    host->AttachThreadEnv = gRealAttachEnv;
    JniTest::TearDown();
  }

  /* A creation on the calling thread that waits for a debugger, with what the test
     asked done in the wait's first host sleep. */
  jint CreateWaiting(InTheWait what, int version, JavaVM** vm, JNIEnv** env) {
    JNICreateArgs args = Args(version);
    args.waitForDebugger = 1;
    gInTheWait = what;
    host->Sleep = SleepInTheWait;
    tlsCreator = true;
    jint created = JNI_CreateJavaVM(vm, env, &args);
    tlsCreator = false;
    host->Sleep = gRealSleep;
    return created;
  }

  /* The machine works after its creation: a class found, the pre-made error kept, the
     machine marked initialised, so that a host thread attaches and the machine is left
     to the host only on request. */
  void ExpectWhole(JavaVM* vm, JNIEnv* env, const char* what) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "java/lang/String");
    EXPECT_NE(nullptr, c) << what << ": " << PendingText(env);
    if (c != nullptr) f->DeleteLocalRef(env, c);
    std::atomic<jint> hostAttach{-5};
    OutsideAs(env, [&] {
      std::thread other([&] {
        JNIEnv* mine = nullptr;
        hostAttach = VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr);
        if (hostAttach == 0) VMJniInvoke::DetachCurrentThread(vm);
      });
      other.join();
    });
    const bool oomKept = vm->vm->GetOutOfMemoryError() != nullptr;
    const bool initialised = vm->vm->GetInitialized();
    printf("%s: OutOfMemoryError kept %d, initialised %d, a host attach %d\n", what, (int)oomKept, (int)initialised,
           (int)hostAttach.load());
    EXPECT_TRUE(oomKept) << what;
    EXPECT_TRUE(initialised) << what;
    EXPECT_EQ(0, hostAttach.load()) << what << ": a host attach after the creation was refused";
  }

  /* A machine made on the calling thread with a debugger client attached (*agent); NULL
     when either failed. */
  JavaVM* CreateWithClient(JNIEnv** env, void** agent, const JNICreateArgs& args) {
    JavaVM* vm = Create(env, args);
    *agent = vm != nullptr ? JNI_DebugAttach(nullptr) : nullptr;
    return *agent != nullptr ? vm : nullptr;
  }

  static void(HOSTCALL* gRealAttachEnv)(JavaVM*, JNIEnv*);
};

void(HOSTCALL* CreationMovesTest::gRealAttachEnv)(JavaVM*, JNIEnv*) = nullptr;

/* The host moves the machine while its creation sleeps (declared) waiting for a
   debugger, then the wait is released: the creation goes on in the moved machine (the
   old copy is poisoned). Both library versions (the threads are enabled before or after
   the class library starts). */
TEST_F(CreationMovesTest, ACreationWaitingForADebuggerGoesOnWhereTheMachineIsAfterAMove) {
  for (int version : {1, 2}) {
    Reset();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    InTheWait what;
    what.move = true;
    jint created = CreateWaiting(what, version, &vm, &env);
    printf("library version %d: moved %u blocks while the creation waited (machine object moved: %d); creation %d\n",
           version, gMoved.load(), gObjectMoved.load(), (int)created);
    EXPECT_EQ(1, gObjectMoved.load()) << "version " << version;
    ASSERT_EQ(0, created) << "version " << version;
    ExpectWhole(vm, env, version == 1 ? "library version 1" : "library version 2");
    Destroy(vm);
  }
}

/* The host's poll of the creating thread: every call and branch polls (the countdown set
   to one), and once the creation has made the machine's system thread group (it then runs
   the constructors of the group and of the creating thread's Thread) the host moves the
   machine at the thread's polls, as it may after a debugger client suspended it there. */
JNIHostPollFn gRealYieldCheck = nullptr;
std::atomic<int> gPollMovesLeft{0};
std::atomic<int> gPollMoves{0};

jint HOSTCALL MovingPoll() {
  if (tlsCreator) {
    JavaVM* listed = BeingCreated();
    if (listed != nullptr && listed->vm != nullptr && !listed->vm->GetInitialized() &&
        listed->vm->GetSystemThreadGroup() != nullptr && gPollMovesLeft.load() > 0) {
      gPollMovesLeft--;
      if (MoveMachine(listed) != 0) gPollMoves++;
    }
    JNIEnv* env = refhost::Functions()->GetCurrentEnv();
    if (env != nullptr && env->thread != nullptr) *env->thread->GetPollCountdown() = 1;
  }
  return gRealYieldCheck();
}

/* The host moves the machine at the creating thread's polls while the creation makes the
   thread's ThreadGroup and Thread, running their constructors (library version 1, which
   makes them after the class library's start): the creation goes on in the moved machine,
   and the thread's Thread stands in it. A move at the first such poll, then one at each.
   (The creation made the Thread through the machine object and the record of before the
   move.) */
TEST_F(CreationMovesTest, ACreationMovedWhileItMakesItsThreadGoesOn) {
  gRealYieldCheck = host->YieldCheck;
  for (int moves : {1, 1000}) {
    Reset();
    gPollMovesLeft = moves;
    gPollMoves = 0;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    JNICreateArgs args = Args(1);
    host->YieldCheck = MovingPoll;
    tlsCreator = true;
    jint created = JNI_CreateJavaVM(&vm, &env, &args);
    tlsCreator = false;
    host->YieldCheck = gRealYieldCheck;
    EXPECT_LE(1, gPollMoves.load()) << moves << " moves";
    EXPECT_GE(moves, gPollMoves.load()) << moves << " moves";
    printf("at most %d moves: %d made while the creation made its thread\n", moves, gPollMoves.load());
    ASSERT_EQ(0, created) << moves << " moves";
    ASSERT_NE(nullptr, env->thread->GetJavaLangThread()) << moves << " moves";
    const JNINativeInterface_* f = env->functions;
    jclass thread = f->FindClass(env, "java/lang/Thread");
    ASSERT_NE(nullptr, thread) << PendingText(env);
    jmethodID current = f->GetStaticMethodID(env, thread, "currentThread", "()Ljava/lang/Thread;");
    jmethodID group = f->GetMethodID(env, thread, "getThreadGroup", "()Ljava/lang/ThreadGroup;");
    ASSERT_TRUE(current != nullptr && group != nullptr) << PendingText(env);
    jobject me = f->CallStaticObjectMethod(env, thread, current);
    ASSERT_NE(nullptr, me) << PendingText(env);
    jobject mine = f->CallObjectMethod(env, me, group);
    EXPECT_NE(nullptr, mine) << PendingText(env);
    EXPECT_EQ((VMObject*)env->thread->GetJavaLangThread(), VMJniHandle::UnHandle(env, me));
    f->DeleteLocalRef(env, mine);
    f->DeleteLocalRef(env, me);
    f->DeleteLocalRef(env, thread);
    ExpectWhole(vm, env, "moved while making its thread");
    Destroy(vm);
  }
}

/* The creating thread, attached, attaches again from a host call the creation makes
   while it waits for a debugger: it gets a new env as any attached thread does, and the
   creation goes on with it (also when the host moves the machine right after). The
   displaced env is the host's. */
TEST_F(CreationMovesTest, AnAttachedThreadAttachingAgainDuringTheCreationGetsANewEnv) {
  for (bool move : {false, true}) {
    Reset();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    InTheWait what;
    what.attachAgain = true;
    what.move = move;
    jint created = CreateWaiting(what, 1, &vm, &env);
    printf("AttachCurrentThread again during the creation%s: %d; creation %d\n", move ? " (then moved)" : "",
           (int)gAttachedAgain.load(), (int)created);
    EXPECT_EQ(0, gAttachedAgain.load());
    ASSERT_EQ(0, created);
    EXPECT_EQ(gAgain.load(), env) << "the creation handed out the env its thread's attach displaced";
    EXPECT_EQ(env, host->GetCurrentEnv());
    ExpectWhole(vm, env, move ? "attached again, moved" : "attached again");
    Destroy(vm);
    JNIEnv* displaced = gDisplaced.load();
    if (displaced != nullptr && displaced != env) host->HeapFree(nullptr, displaced);
  }
}

/* ---- a destroy against a client that connects late ---- */

struct Channel {
  std::vector<uint8_t> in;
  size_t consumed = 0;
  std::vector<uint8_t> out;
  static jint HOSTCALL Read(void* c, void* buffer, jint length) {
    Channel* ch = (Channel*)c;
    size_t left = ch->in.size() - ch->consumed;
    size_t n = length < 0 ? 0 : ((size_t)length < left ? (size_t)length : left);
    if (n != 0) memcpy(buffer, ch->in.data() + ch->consumed, n);
    ch->consumed += n;
    return (jint)n;
  }
  static jint HOSTCALL Write(void* c, void* buffer, jint length) {
    Channel* ch = (Channel*)c;
    if (length > 0) ch->out.insert(ch->out.end(), (uint8_t*)buffer, (uint8_t*)buffer + length);
    return length < 0 ? 0 : length;
  }
};

/* Request 20: whether an event is pending, waiting for one when wait is 1; -100 when the
   call is refused. */
int32_t EventPendingRequest(void* agent, uint8_t wait) {
  Channel ch;
  ch.in = {20, wait};
  uint32_t r = JNI_DebugRequest(agent, &ch, Channel::Read, &ch, Channel::Write);
  if (r != 0 || ch.out.size() < 4) return -100;
  return (int32_t)((uint32_t)ch.out[0] << 24 | (uint32_t)ch.out[1] << 16 | (uint32_t)ch.out[2] << 8 | ch.out[3]);
}

/* A client thread held in the host's binding of its thread to the machine (preempted
   between its claim of the agent and its attach). 1: held; 2: let go. */
std::atomic<int> gHold{0};
thread_local bool tlsHold = false;
void(HOSTCALL* gBindReal)(JavaVM*, JNIEnv*) = nullptr;
void HOSTCALL HeldAttachEnv(JavaVM* vm, JNIEnv* env) {
  if (tlsHold && env != nullptr) {
    tlsHold = false;
    gHold = 1;
    for (int i = 0; i < 20000 && gHold.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  }
  gBindReal(vm, env);
}

/* A client attached but not connected when the creator destroys the machine; the destroy
   looks for a connection and goes on to wait for a host thread still attached. The client
   then polls (which connects) and its event thread asks to wait for the next event:
   held between its claim and its attach until the machine is unlisted, or (unheld) while
   the destroy still waits for the host thread. Nothing will ever raise an event. */
TEST_F(CreationMovesTest, ADestroyWithAClientThatConnectedAfterItsCheckAndWaitsForAnEvent) {
  for (bool held : {true, false}) {
    Reset();
    gHold = 0;
    gBindReal = host->AttachThreadEnv;
    JNIEnv* env = nullptr;
    void* agent = nullptr;
    JavaVM* vm = CreateWithClient(&env, &agent, Args());
    ASSERT_NE(nullptr, vm);
    std::atomic<int> hostStage{0};  // 1: attached; 2: to detach
    std::thread hostThread([&] { AttachedUntilLetGo(vm, hostStage); });
    OutsideAs(env, [&] {
      while (hostStage.load() != 1) std::this_thread::sleep_for(Ms(1));
    });
    std::atomic<int32_t> waited{-7};
    std::atomic<int> firstPoll{-7};
    std::thread client;
    std::thread orchestrator([&] {
      while (vm->terminating == 0) std::this_thread::sleep_for(Ms(1));
      // The destroy's look for a connection is made once the machine is marked; the
      // client's poll comes after it or is refused by the mark.
      std::this_thread::sleep_for(Ms(200));
      firstPoll = JNI_DebugEventPending(agent);
      if (held) host->AttachThreadEnv = HeldAttachEnv;
      client = std::thread([&] {
        tlsHold = held;
        waited = EventPendingRequest(agent, 1);
      });
      if (held) {
        while (gHold.load() != 1) std::this_thread::sleep_for(Ms(1));
      } else {
        std::this_thread::sleep_for(Ms(200));
      }
      hostStage = 2;
      if (held) {
        while (Listed() != 0) std::this_thread::sleep_for(Ms(1));
        gHold = 2;
      }
    });
    jint result = -5;
    {
      Watchdog dog(20000, "the destroy of a machine whose client connected after the destroy's look for a "
                          "connection and waits for an event");
      result = vm->functions->DestroyJavaVM(vm);
      orchestrator.join();
      hostThread.join();
      client.join();
    }
    host->AttachThreadEnv = gBindReal;
    printf("%s: the client's first poll %d; DestroyJavaVM %d; the client's wait answered %d\n",
           held ? "held" : "unheld", firstPoll.load(), (int)result, (int)waited.load());
    EXPECT_EQ(0, result);
    // Not connected, the wait answers at once that nothing is pending, or the call finds
    // the machine gone.
    EXPECT_TRUE(waited.load() == 0 || waited.load() == -100) << waited.load();
  }
}

/* A client call held in the binding of its thread to the machine (where a thread waits
   for a collection) while the host moves the machine, the agent with it: the call goes
   on with the agent where it is now, and the host's translated pointer serves the
   client's next calls. */
TEST_F(CreationMovesTest, AClientCallWhoseBindWaitedGoesOnWithItsAgentWhereTheHostMovedIt) {
  gHold = 0;
  gBindReal = host->AttachThreadEnv;
  JNIEnv* env = nullptr;
  void* agent = nullptr;
  JavaVM* vm = CreateWithClient(&env, &agent, Args());
  ASSERT_NE(nullptr, vm);
  void* claimed = agent;
  host->AttachThreadEnv = HeldAttachEnv;
  std::atomic<int> answer{-5};
  std::thread client([&] {
    tlsHold = true;
    answer = JNI_DebugEventPending(claimed);
  });
  std::atomic<uint32_t> moved{0};
  OutsideAs(env, [&] {
    while (gHold.load() != 1) std::this_thread::sleep_for(Ms(1));
    HHeap* heap = vm->heap;
    moved = refhost::RelocateHeap(heap);
    refhost::ForEachRelocated(heap, machine_move::MoveBlock, heap);
    JNI_RelocationDone(vm, heap, machine_move::MoveWord);
    refhost::RelocateWord(&agent, heap);  // the host translates what it holds
    refhost::FinishRelocation(heap);
    gHold = 2;
    client.join();
  });
  host->AttachThreadEnv = gBindReal;
  printf("moved %u blocks while the client's call bound its thread; the call answered %d; the agent moved %d\n",
         moved.load(), answer.load(), (int)(agent != claimed));
  EXPECT_NE(agent, claimed);
  EXPECT_EQ(0, answer.load());
  // Connected by that call: the next one, through the translated pointer, finds it so.
  EXPECT_EQ(0, EventPendingRequest(agent, 0));
  JNI_DebugDetach(agent);
  Destroy(vm);
}

/* A client attached but not connected when the creator destroys the machine, which then
   waits for a host thread: the client's explicit connect (request 14) is refused by the
   end begun, and its answer says what the record's connected byte says. (It answered 1.) */
TEST_F(CreationMovesTest, AClientsExplicitConnectAfterTheEndBeganIsAnsweredAsItWent) {
  JNIEnv* env = nullptr;
  void* agent = nullptr;
  JavaVM* vm = CreateWithClient(&env, &agent, Args());
  ASSERT_NE(nullptr, vm);
  std::atomic<int> hostStage{0};
  std::thread hostThread([&] { AttachedUntilLetGo(vm, hostStage); });
  OutsideAs(env, [&] {
    while (hostStage.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  Channel ch;
  ch.in = {14};
  std::atomic<int> connected{-1};
  std::thread client([&] {
    while (vm->terminating == 0) std::this_thread::sleep_for(Ms(1));
    JNI_DebugRequest(agent, &ch, Channel::Read, &ch, Channel::Write);
    connected = (int)(vm->debuggerConnected & 0xFF);
    JNI_DebugDetach(agent);
    hostStage = 2;
  });
  jint result = -5;
  {
    Watchdog dog(20000, "a destroy with a client that connects once it has begun");
    result = vm->functions->DestroyJavaVM(vm);
    client.join();
    hostThread.join();
  }
  printf("request 14 once the end had begun: answered %d; the record's connected byte %d\n",
         ch.out.empty() ? -1 : (int)ch.out.back(), connected.load());
  EXPECT_EQ(0, result);
  ASSERT_FALSE(ch.out.empty());
  EXPECT_EQ(connected.load(), (int)ch.out.back());
}

/* The input of a client's request, held until a host sleep after gSleepsBefore. */
std::atomic<bool> gInputHeld{false};
std::atomic<uint32_t> gSleepsBefore{~0u};
jint HOSTCALL HeldRead(void* c, void* buffer, jint length) {
  gInputHeld = true;
  while (refhost::SleepCallCount() <= gSleepsBefore.load()) std::this_thread::sleep_for(Ms(1));
  return Channel::Read(c, buffer, length);
}

/* A machine made without Thread objects, whose host thread carries a client's request
   through its own env when the creator destroys the machine; the request's input comes
   once the destroy first sleeps (the only host sleep of the case). The thread is the host's, not one bound for the call
   alone: the destroy waits for it to detach, and its Java work after the request runs.
   (It was stopped, and its call threw ThreadDeath.) */
TEST_F(CreationMovesTest, AHostThreadServingAClientCallIsWaitedForNotStopped) {
  JNICreateArgs args = Args();
  args.enableThreads = 0;
  JNIEnv* env = nullptr;
  void* agent = nullptr;
  JavaVM* vm = CreateWithClient(&env, &agent, args);
  ASSERT_NE(nullptr, vm);
  gInputHeld = false;
  gSleepsBefore = ~0u;
  std::atomic<int> stopped{-1};
  std::atomic<jint> answered{-1};
  std::thread hostThread([&] {
    JNIEnv* mine = nullptr;
    if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
    Channel ch;
    ch.in = {15};  // answered by nothing
    JNI_DebugRequest(agent, &ch, HeldRead, &ch, Channel::Write);
    stopped = host->YieldCheck() != 0;
    const JNINativeInterface_* f = mine->functions;
    jclass c = f->FindClass(mine, "GuardFin");
    jmethodID loop = c != nullptr ? f->GetStaticMethodID(mine, c, "loop", "(I)I") : nullptr;
    if (loop != nullptr) answered = f->CallStaticIntMethod(mine, c, loop, 65536);
    f->ExceptionClear(mine);
    JNI_DebugDetach(agent);
    VMJniInvoke::DetachCurrentThread(vm);
  });
  OutsideAs(env, [&] {
    while (!gInputHeld.load()) std::this_thread::sleep_for(Ms(1));
  });
  gSleepsBefore = refhost::SleepCallCount();
  jint result = -5;
  {
    Watchdog dog(20000, "a destroy waiting for a host thread that serves a client call");
    result = vm->functions->DestroyJavaVM(vm);
    hostThread.join();
  }
  printf("the host thread stopped after its client call %d; its Java call then answered %d; DestroyJavaVM %d\n",
         stopped.load(), (int)answered.load(), (int)result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(0, stopped.load());
  EXPECT_EQ((jint)(65536LL * 65535 / 2), answered.load());
}

/* Clients that attach, poll (connecting) and wait for events on two threads, again and
   again, while the creator destroys the machine with a host thread still attached that
   detaches a little later: every destroy ends, whatever stage the clients were at. */
TEST_F(CreationMovesTest, DestroysRacingClientsThatConnectAndWaitForEventsEnd) {
  const int kRounds = 12;
  for (int round = 0; round < kRounds; round++) {
    Reset();
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    std::atomic<bool> stop{false};
    std::atomic<void*> current{nullptr};
    std::atomic<int> hostStage{0};
    std::thread hostThread([&] { AttachedUntilLetGo(vm, hostStage); });
    // A client leaves once it is told of an event (the machine's end among them), as a
    // debugger does.
    auto leave = [&](void* agent) {
      JNI_DebugDetach(agent);
      current.compare_exchange_strong(agent, nullptr);
    };
    std::thread attacher([&] {
      while (!stop.load()) {
        void* agent = current.load();
        if (agent == nullptr) {
          agent = JNI_DebugAttach(nullptr);
          if (agent != nullptr) current = agent;
        }
        if (agent != nullptr && JNI_DebugEventPending(agent) == 1) leave(agent);
        std::this_thread::yield();
      }
    });
    std::thread waiter([&] {
      while (!stop.load()) {
        void* agent = current.load();
        int32_t kind = agent != nullptr ? EventPendingRequest(agent, 1) : -100;
        if (kind > 0) leave(agent);
        if (kind <= 0) std::this_thread::yield();
      }
    });
    OutsideAs(env, [&] {
      while (hostStage.load() != 1) std::this_thread::sleep_for(Ms(1));
    });
    std::thread releaser([&] {
      while (vm->terminating == 0) std::this_thread::sleep_for(Ms(1));
      std::this_thread::sleep_for(Ms(round * 20));
      hostStage = 2;
    });
    {
      Watchdog dog(20000, "a destroy racing clients that connect and wait for events");
      EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)) << "round " << round;
      releaser.join();
      hostThread.join();
      stop = true;
      attacher.join();
      waiter.join();
    }
  }
}

}  // namespace
}  // namespace jni_test
