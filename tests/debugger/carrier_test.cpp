/* A watched thread that leaves its Java code for a native (dbgtest.Carrier) must still
   go over to the debugging loop when it runs on, or watches and interrupt requests
   never reach it. The native may carry a debugger client's call, which sets the thread's
   watch and its request to go over aside for the call: its end puts them back, unless a
   disconnection (the call's own detach among them) ended the watch meanwhile, when the
   next connection must find the thread unwatched and ask it over. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "debugged_program.h"
#include "marked_line.h"
#include "safe_wait.h"
#include "vmdebugger.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_support.h"
#include "vmthread.h"

namespace {

/* What the natives do, set by each test before the thread runs. */
enum class Call { Poll, Detach };
std::atomic<Call> gCall{Call::Poll};
std::atomic<VMDebugger*> gAgent{nullptr};
/* The natives wait for the gate to open before they act, and count their returns. */
std::atomic<bool> gGate{true};
std::atomic<int> gReturns{0};

void AwaitGate() {
  WhileOutside([] {
    while (!gGate.load()) usleep(1000);
  });
}

void JNICALL Client(JNIEnv*, jclass) {
  AwaitGate();
  if (gCall.load() == Call::Poll)
    (void)JNI_DebugEventPending(gAgent.load());
  else
    JNI_DebugDetach(gAgent.load());
  gReturns++;
}

class CarrierTest : public DebuggedProgramTest {
 protected:
  CarrierTest() : DebuggedProgramTest("carrier", "dbgtest/Carrier") {}
  void SetUp() override {
    DebuggedProgramTest::SetUp();
    if (HasFatalFailure()) return;
    gCall = Call::Poll;
    gAgent = nullptr;
    gGate = true;
    gReturns = 0;
    JNINativeMethod rows[] = {{(char*)"client", (char*)"()V", (void*)Client}};
    ASSERT_EQ(0, env->functions->RegisterNatives(env, program, rows, 1));
    phase = env->functions->GetStaticFieldID(env, program, "phase", "I");
    ASSERT_NE(nullptr, phase);
  }
  void SetPhase(jint p) { env->functions->SetStaticIntField(env, program, phase, p); }
  /* Opens the gate and waits until a native has returned once more. */
  void LetANativeReturn() {
    int before = gReturns.load();
    gGate = true;
    WhileOutside([before] {
      while (gReturns.load() == before) usleep(1000);
    });
  }
  /* Waits until the thread's polls have set its request to go over aside (its agent not
     connected). */
  void AwaitTheRequestSetAside(VMThread* t) {
    for (int i = 0; i < 5000 && !t->GetDebugLoopDeferred(); i++) Idle(1000);
    ASSERT_TRUE(t->GetDebugLoopDeferred()) << "the thread never polled";
  }
  /* Carrier.total, which the thread adds to, watched; then an interrupt. Runs inside a
     client call. */
  void WatchTotalThenInterrupt(VMDebugger* agent, VMThread* t) {
    VMDataMember* total = vmjni::UnHandleField(env, env->functions->GetStaticFieldID(env, program, "total", "D"));
    ASSERT_NE(nullptr, total);
    VMObject* statics = ((VMLoadableClass*)VMJniUnHandleClass(env, program))->GetInitializedStaticData(jvm->vm);
    ASSERT_TRUE(agent->BreakSetWriteBody(statics, total->GetIndex() * 4, 8));
    StopAtTheWatchThenAtAnInterrupt(agent, t, "the thread changed Carrier.total unseen");
  }
  /* Thread t's arrival (in the method of that name, when one is given), removed. */
  void ExpectArrival(VMDebugger* agent, VMThread* t, const char* method = nullptr) {
    int32_t kind = NextEvent(agent, 5000);
    EXPECT_EQ(VMDebugger::EventBreakpoint, kind) << "its arrival, due, was never reported";
    if (kind == 0) return;
    EXPECT_EQ(t, agent->ThreadCurrent());
    if (method != nullptr) {
      EXPECT_EQ(Method(method, "()I"), agent->GetCurrentFrame()->method);
    }
    agent->EventRemove();
  }
  /* The client goes, then the thread h is let out of its loops and joined. */
  void DetachThenRelease(VMDebugger* agent, std::thread& h) {
    if (agent != nullptr) JNI_DebugDetach(agent);
    gGate = true;
    SetPhase(9);
    JoinOutside(h);
  }
  /* Starts the program's name on a new thread after a client attached that has not
     polled yet (not connected): the thread is asked over at its attach, with its arrival
     due. */
  VMDebugger* AttachUnpolledThenRun(const char* name, std::thread* h, VMThread** t) {
    VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(jvm->name);
    EXPECT_NE(nullptr, agent);
    gAgent = agent;
    *h = RunJava(name, "()I", &result, {}, nullptr, t);
    return agent;
  }
  /* A thread whose own call on the client's first poll connects the agent, its request
     to go over pending (it never polled) or set aside by its polls. */
  void TheThreadsOwnCallConnects(bool setAside);

  jfieldID phase = nullptr;
  std::atomic<int> result{0};
};

void CarrierTest::TheThreadsOwnCallConnects(bool setAside) {
  gCall = Call::Poll;
  gGate = setAside;
  std::thread h;
  VMThread* t = nullptr;
  VMDebugger* agent = AttachUnpolledThenRun(setAside ? "loopCallLoop" : "callThenLoop", &h, &t);
  ASSERT_NE(nullptr, agent);
  EXPECT_NE(0u, t->GetEnv()->debug & 0xFF);
  if (setAside) {
    AwaitTheRequestSetAside(t);
    SetPhase(1);
    WhileOutside([] {
      while (gReturns.load() == 0) usleep(1000);
    });
  } else {
    EXPECT_TRUE(t->GetDebuggerAttachRequested());
    LetANativeReturn();
  }
  EXPECT_TRUE(agent->GetIsConnected());
  AsClient(agent, [&] {
    ExpectArrival(agent, t);
    WatchTotalThenInterrupt(agent, t);
  });
  DetachThenRelease(agent, h);
}

TEST_F(CarrierTest, AThreadWhoseOwnCallIsTheClientsFirstPollStillArrives) {
  Watchdog dog(120, "carrier test");
  TheThreadsOwnCallConnects(false);
}

TEST_F(CarrierTest, AThreadThatSetItsRequestAsideThenMadeTheClientsFirstPollStillArrives) {
  Watchdog dog(120, "carrier test");
  TheThreadsOwnCallConnects(true);
}

/* The thread arrives under a first client, then detaches that client itself from its
   native and runs on: unwatched. A second client stops a filler at a breakpoint and lists
   the threads, which catches the looping one parked; its next poll connects it, asking
   the caught thread over. A watch and an interrupt must then stop it. */
TEST_F(CarrierTest, AThreadThatDetachedTheClientItselfIsBroughtOverByTheNext) {
  Watchdog dog(120, "carrier test");
  gCall = Call::Detach;
  VMDebugger* first = Attach();
  ASSERT_NE(nullptr, first);
  gAgent = first;
  std::thread h;
  VMThread* t = nullptr;
  h = RunJava("loopCallLoop", "()I", &result, {}, nullptr, &t);
  AsClient(first, [&] { ExpectArrival(first, t); });
  SetPhase(1);
  WhileOutside([] {
    while (gReturns.load() == 0) usleep(1000);
  });
  EXPECT_EQ(0u, t->GetEnv()->debug & 0xFF) << "the thread's own detach left its debug byte set";
  VMDebugger* next = Attach();
  ASSERT_NE(nullptr, next);
  VMMethod* fill = Method("fill", "()I");
  ASSERT_NE(nullptr, fill);
  uint32_t at = PcOfLine(fill, MarkedLine("Carrier.java", "carrier-fill"));
  std::atomic<int> filled{0};
  VMThread* filler = nullptr;
  std::thread f = RunJava("fill", "()I", &filled, {}, nullptr, &filler);
  AsClient(next, [&] {
    // Planted while the filler stands at its arrival: let go first, it could be done.
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(next));
    EXPECT_EQ(filler, next->ThreadCurrent());
    ASSERT_TRUE(next->BreakSet(fill, at));
    next->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(next, 5000));
    for (int i = 0; i < 5000 && !t->GetPausedForDebugger(); i++) Idle(1000);
    EXPECT_GE(next->ThreadCount(), 1);
    EXPECT_TRUE(t->GetCaughtByDebugger());
  });
  (void)JNI_DebugEventPending(next);  // its Connect takes the caught thread in
  AsClient(next, [&] {
    next->BreakClear(fill, at);
    next->EventRemove();
    JoinOutside(f);
    WatchTotalThenInterrupt(next, t);
  });
  EXPECT_EQ(200, filled.load());
  DetachThenRelease(next, h);
}

/* Round after round a client is attached, the thread (which polls that client in every
   round of its loop) is asked over, goes over, and the client detaches while the thread's
   calls go on: landing inside one of them or between them, the detach must leave the
   thread unwatched once the call has ended, with no request to go over left standing. */
TEST_F(CarrierTest, ADetachRacingTheThreadsOwnClientCallsLeavesItUnwatched) {
  Watchdog dog(240, "carrier test");
  gCall = Call::Poll;
  VMThread* t = nullptr;
  std::thread h = RunJava("callInEveryRound", "()I", &result, {}, nullptr, &t);
  WhileOutside([] {
    while (gReturns.load() == 0) usleep(100);
  });
  for (int round = 0; round < 60 && !HasFailure(); round++) {
    SCOPED_TRACE(round);
    VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(jvm->name);
    ASSERT_NE(nullptr, agent);
    agent->EventRemove();  // nothing is due from threads asked over from now on
    gAgent = agent;
    agent->RequestThreadAttach(t);
    // Some calls on the new client: the first connects it.
    int from = gReturns.load();
    WhileOutside([from, round] {
      while (gReturns.load() < from + 1 + round % 4) usleep(50);
    });
    JNI_DebugDetach(agent);
    // The call the detach may have landed in has ended once two more have.
    from = gReturns.load();
    WhileOutside([from] {
      while (gReturns.load() < from + 2) usleep(50);
    });
    EXPECT_EQ(0u, t->GetEnv()->debug & 0xFF) << "a call put its debug byte back after the detach";
    EXPECT_FALSE(t->GetDebuggerAttachRequested() || t->GetDebugLoopDeferred()) << "a request left standing";
  }
  DetachThenRelease(nullptr, h);
}

}  // namespace
