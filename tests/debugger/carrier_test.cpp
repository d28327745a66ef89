/* A watched thread that leaves its Java code for a native (dbgtest.Carrier) must still
   go over to the debugging loop when it runs on, or watches and interrupt requests
   never reach it. The native may carry a debugger client's call, which sets the thread's
   watch and its request to go over aside for the call: its end puts them back, unless a
   disconnection (the call's own detach among them) ended the watch meanwhile, when the
   next connection must find the thread unwatched and ask it over. Or the native calls
   back into Java, as does a class's initialiser entered from an instruction: the inner
   entry that runs the debugging loop must not leave the frames below it in their plain
   loop (a step out of the entry stops in them at once), nor start over the instruction
   of frames that run the debugging loop already (a breakpoint there comes twice). */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <string.h>
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
#include "vmopdefinition.h"
#include "vmthread.h"

namespace {

/* What the natives do, set by each test before the thread runs. */
enum class Call { Poll, Detach };
std::atomic<Call> gCall{Call::Poll};
std::atomic<VMDebugger*> gAgent{nullptr};
/* The natives count their entries, wait for the gate to open before they act, and count
   their returns. */
std::atomic<bool> gGate{true};
std::atomic<int> gEntries{0};
std::atomic<int> gReturns{0};

void AwaitGate() {
  gEntries++;
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

jint JNICALL Callback(JNIEnv* env, jclass cls) {
  AwaitGate();
  jint r = env->functions->CallStaticIntMethod(env, cls, env->functions->GetStaticMethodID(env, cls, "inner", "()I"));
  gReturns++;
  return r;
}

jint JNICALL Down(JNIEnv* env, jclass cls, jint depth) {
  if (depth == 0) {
    AwaitGate();
    return 0;
  }
  return env->functions->CallStaticIntMethod(env, cls, env->functions->GetStaticMethodID(env, cls, "nest", "(I)I"),
                                             depth - 1);
}

void JNICALL Hold(JNIEnv*, jclass) {
  AwaitGate();
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
    gEntries = 0;
    gReturns = 0;
    JNINativeMethod rows[] = {{(char*)"client", (char*)"()V", (void*)Client},
                              {(char*)"callback", (char*)"()I", (void*)Callback},
                              {(char*)"hold", (char*)"()V", (void*)Hold},
                              {(char*)"down", (char*)"(I)I", (void*)Down}};
    ASSERT_EQ(0, env->functions->RegisterNatives(env, program, rows, 4));
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
    WatchTotal(agent);
    if (HasFatalFailure()) return;
    StopAtTheWatchThenAtAnInterrupt(agent, t, "the thread changed Carrier.total unseen");
  }
  /* Carrier.total watched. Runs inside a client call. */
  void WatchTotal(VMDebugger* agent) {
    VMDataMember* total = vmjni::UnHandleField(env, env->functions->GetStaticFieldID(env, program, "total", "D"));
    ASSERT_NE(nullptr, total);
    VMObject* statics = ((VMLoadableClass*)VMJniUnHandleClass(env, program))->GetInitializedStaticData(jvm->vm);
    ASSERT_TRUE(agent->BreakSetWriteBody(statics, total->GetIndex() * 4, 8));
  }
  /* The thread runs nest(kDepth), which the test lets return level by level from its
     deepest native: see NestedCallsBack... below. */
  void NestAndStopAtEveryLevel(VMDebugger* agent, bool arrivalDue);
  /* See AThreadThatArrivesIn... below. */
  void FailFromAnEntryThenLoop(bool initialiser);
  /* See AStepOutOfACallBack... below. */
  void StepOutOfACallBack(bool over);
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
  /* As AttachUnpolledThenRun, the gate closed; once the thread waits in a native, the
     client's first poll connects the agent. */
  VMDebugger* ConnectWhileInANative(const char* name, std::thread* h, VMThread** t) {
    gGate = false;
    VMDebugger* agent = AttachUnpolledThenRun(name, h, t);
    WhileOutside([] {
      while (gEntries.load() == 0) usleep(1000);
    });
    if (agent != nullptr) (void)JNI_DebugEventPending(agent);
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

/* The host's SpinLockRelease, which on thread t, once, right after the release that ends
   a client call's setting aside of the watch, hands the thread over to the test until it
   is let go: as a thread preempted there would be. */
struct SetAsideHook {
  static jboolean(HOSTCALL* real)(void*, const char*);
  static std::atomic<VMThread*> on;
  static std::atomic<int> stage;  // 1 armed, 2 holding the thread, 3 let go
  static jboolean HOSTCALL Release(void* lock, const char* tag) {
    jboolean released = real(lock, tag);
    if (tag != nullptr && strstr(tag, "Release  VMDebuggerCall::Begin") != nullptr && VMThread::Current() == on.load()) {
      int armed = 1;
      if (stage.compare_exchange_strong(armed, 2)) WhileOutside([] {
          while (stage.load() != 3) usleep(1000);
        });
    }
    return released;
  }
  SetAsideHook(VMThread* t) {
    on = t;
    stage = 1;
    real = refhost::Functions()->SpinLockRelease;
    refhost::Functions()->SpinLockRelease = Release;
  }
  ~SetAsideHook() {
    stage = 3;
    refhost::Functions()->SpinLockRelease = real;
  }
};
jboolean(HOSTCALL* SetAsideHook::real)(void*, const char*) = nullptr;
std::atomic<VMThread*> SetAsideHook::on{nullptr};
std::atomic<int> SetAsideHook::stage{0};

/* The thread, watched by a first client whose listing caught it at its arrival, begins a
   call of that client. Right after the call has set the thread's watch aside, the client
   detaches and a second one connects, which asks the caught thread over (it looks
   unwatched). The call must not take that request for its own, which the detach ended:
   the thread's arrival is due to the second client. */
TEST_F(CarrierTest, AClientThatReplacesTheFirstAsTheThreadsCallBeginsGetsItsArrival) {
  Watchdog dog(120, "carrier test");
  gCall = Call::Poll;
  VMDebugger* first = Attach();
  ASSERT_NE(nullptr, first);
  gAgent = first;
  std::thread h;
  VMThread* t = nullptr;
  h = RunJava("loopCallLoop", "()I", &result, {}, nullptr, &t);
  AsClient(first, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(first, 5000)) << "no arrival";
    EXPECT_GE(first->ThreadCount(), 1);
    EXPECT_TRUE(t->GetCaughtByDebugger());
    first->EventRemove();
  });
  VMDebugger* next = nullptr;
  {
    SetAsideHook hook(t);
    SetPhase(1);
    WhileOutside([] {
      while (SetAsideHook::stage.load() != 2) usleep(1000);
    });
    JNI_DebugDetach(first);
    next = Attach();
  }
  ASSERT_NE(nullptr, next);
  AsClient(next, [&] {
    ExpectArrival(next, t);
    WatchTotalThenInterrupt(next, t);
  });
  DetachThenRelease(next, h);
}

/* Not a client's call: asked over while it waits in a native, before its first poll,
   the thread calls back into Java from there. The inner entry takes the request (and
   reports the arrival); when it returns, the frames below the native, which went on in
   their plain loop, must go over too. */
TEST_F(CarrierTest, AThreadAskedOverInANativeThatCallsBackTakesItsOuterFramesAlong) {
  Watchdog dog(120, "carrier test");
  std::thread h;
  VMThread* t = nullptr;
  VMDebugger* agent = ConnectWhileInANative("callBackThenLoop", &h, &t);
  ASSERT_NE(nullptr, agent);
  EXPECT_TRUE(t->GetDebuggerAttachRequested());
  SetPhase(1);  // inner() returns at once
  gGate = true;
  AsClient(agent, [&] {
    ExpectArrival(agent, t, "inner");
    WatchTotalThenInterrupt(agent, t);
  });
  DetachThenRelease(agent, h);
}

/* The request taken by a poll inside the call back: the jump starts that inner entry
   over in the debugging loop, and the arrival is reported there. Once the inner entry
   returns, the frames below the native must have gone over too, although nothing calls
   back again. */
TEST_F(CarrierTest, AThreadThatGoesOverInsideACallBackTakesItsOuterFramesAlong) {
  Watchdog dog(120, "carrier test");
  std::thread h;
  VMThread* t = nullptr;
  VMDebugger* agent = AttachUnpolledThenRun("callBackThenLoop", &h, &t);
  ASSERT_NE(nullptr, agent);
  AwaitTheRequestSetAside(t);          // polled in inner(), unconnected
  (void)JNI_DebugEventPending(agent);  // the connection asks it over again
  AsClient(agent, [&] {
    int32_t kind = NextEvent(agent, 5000);
    ASSERT_EQ(VMDebugger::EventBreakpoint, kind) << "no arrival";
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    bool inside = false;
    for (; f != nullptr; f = VMDebugger::FrameCaller(f)) inside = inside || f->method == Method("inner", "()I");
    EXPECT_TRUE(inside) << "the arrival was not inside the call back";
    SetPhase(1);
    agent->EventRemove();
    // Watched once the call back has returned: the inner entry's own additions, in the
    // debugging loop, would trip the watch.
    WhileOutside([] {
      while (gReturns.load() == 0) usleep(1000);
    });
    WatchTotalThenInterrupt(agent, t);
  });
  DetachThenRelease(agent, h);
}

/* The pc of the first instruction on the line that branches back (to a lower pc). */
uint32_t BranchBackOnLine(VMMethod* method, uint32_t line) {
  VMbyteArray* code = method->GetCode();
  for (uint32_t pc = PcOfLine(method, line); pc + 2 < code->GetSize();) {
    uint8_t op = *(uint8_t*)code->FindElement(pc, 0u);
    if (op >= OP_ifeq && op <= OP_goto) {
      int16_t offset = (int16_t)((*(uint8_t*)code->FindElement(pc + 1, 0u) << 8) | *(uint8_t*)code->FindElement(pc + 2, 0u));
      if (offset < 0) return pc;
    }
    if (op >= VMOpcodeCount || VMOpcodeLength[op] > 5) break;
    pc += VMOpcodeLength[op];
  }
  ADD_FAILURE() << "no branch back on line " << line;
  return 0;
}

/* A breakpoint on the branch back of a loop that calls back into Java from a native in
   every round: the thread, in the debugging loop throughout, stops there once a round.
   Coming back from the call back must not make it stop twice at one branch, as a jump to
   the debugging loop at the branch's poll would, starting the instruction over. */
TEST_F(CarrierTest, ABreakpointOnTheBranchBackAfterACallBackIsReportedOnceARound) {
  Watchdog dog(120, "carrier test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  gAgent = agent;
  SetPhase(1);  // inner() returns at once
  VMMethod* loop = Method("callBackInEveryRound", "()I");
  ASSERT_NE(nullptr, loop);
  uint32_t at = BranchBackOnLine(loop, MarkedLine("Carrier.java", "carrier-back"));
  std::thread h;
  VMThread* t = nullptr;
  h = RunJava("callBackInEveryRound", "()I", &result, {}, nullptr, &t);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "no arrival";
    EXPECT_EQ(t, agent->ThreadCurrent());
    ASSERT_TRUE(agent->BreakSet(loop, at));
    agent->EventRemove();
    int last = 0;
    for (int round = 0; round < 20 && !HasFailure(); round++) {
      SCOPED_TRACE(round);
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000));
      ASSERT_EQ(t, agent->ThreadCurrent());
      EXPECT_EQ(at, agent->GetCurrentFrame()->GetPC(false));
      int calls = gReturns.load();
      EXPECT_EQ(last + 1, calls) << "stopped at the branch twice in one round, or not once in one";
      last = calls;
      agent->EventRemove();
    }
    agent->BreakClear(loop, at);
  });
  DetachThenRelease(agent, h);
}

/* Asked over while it waits in a native (a call back's, before it calls back, or one a
   class's initialiser calls), the thread arrives in the Java code entered from native
   code and leaves it by an exception, which the method below catches: that method, which
   runs its plain loop, must go over too. */
void CarrierTest::FailFromAnEntryThenLoop(bool initialiser) {
  env->functions->SetStaticBooleanField(env, program, env->functions->GetStaticFieldID(env, program, "throwing", "Z"),
                                        JNI_TRUE);
  SetPhase(1);  // inner() leaves at once
  gGate = false;
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(jvm->name);
  ASSERT_NE(nullptr, agent);
  gAgent = agent;
  std::thread h;
  VMThread* t = nullptr;
  h = RunJava("failThenLoop", "(Z)I", &result, {initialiser ? 1 : 0}, nullptr, &t);
  WhileOutside([] {
    while (gEntries.load() == 0) usleep(1000);
  });
  (void)JNI_DebugEventPending(agent);
  gGate = true;
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "no arrival";
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    VMByteCodeFrame* below = VMDebugger::FrameCaller(f);
    EXPECT_TRUE(below != nullptr && below->method == Method("failThenLoop", "(Z)I") &&
                (f->method->GetDefinedIn() == (VMClass*)VMJniUnHandleClass(env, program)) != initialiser)
        << "the arrival was not in the Java code entered from native code";
    agent->EventRemove();
    WatchTotalThenInterrupt(agent, t);
  });
  DetachThenRelease(agent, h);
  EXPECT_EQ(initialiser ? 2 : 1,
            env->functions->GetStaticIntField(env, program, env->functions->GetStaticFieldID(env, program, "caught", "I")))
      << "the method below did not catch the exception";
}

TEST_F(CarrierTest, AThreadThatArrivesInACallBackThatThrowsTakesTheCatchingFrameAlong) {
  Watchdog dog(120, "carrier test");
  FailFromAnEntryThenLoop(false);
}

TEST_F(CarrierTest, AThreadThatArrivesInAFailingClassInitialiserTakesTheCatchingFrameAlong) {
  Watchdog dog(120, "carrier test");
  FailFromAnEntryThenLoop(true);
}

/* The nest frames from the stopped frame down. */
int NestLevel(VMDebugger* agent, VMMethod* nest) {
  int level = 0;
  for (VMByteCodeFrame* f = agent->GetCurrentFrame(); f != nullptr; f = VMDebugger::FrameCaller(f)) level += f->method == nest;
  return level;
}

/* Java and natives nested kDepth times, Carrier.total watched, the deepest native
   waiting. Once it returns, every level adds to total in a call it makes after its
   native has returned, and every level, its plain loop or not, must go over for that:
   one stop at the watch a level, the deepest first, and the thread's arrival (when due)
   once, before them. */
void CarrierTest::NestAndStopAtEveryLevel(VMDebugger* agent, bool arrivalDue) {
  const int kDepth = 12;
  VMMethod* nest = Method("nest", "(I)I");
  VMMethod* add = Method("add", "(I)I");
  ASSERT_NE(nullptr, nest);
  std::thread h;
  VMThread* t = nullptr;
  h = RunJava("nest", "(I)I", &result, {kDepth}, nullptr, &t);
  WhileOutside([] {
    while (gEntries.load() == 0) usleep(1000);
  });
  if (arrivalDue) (void)JNI_DebugEventPending(agent);  // connects it
  AsClient(agent, [&] {
    WatchTotal(agent);
    gGate = true;
    if (arrivalDue) {
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "no arrival";
      EXPECT_EQ(kDepth + 1, NestLevel(agent, nest)) << "the arrival was not at the deepest level";
      agent->EventRemove();
    }
    for (int level = kDepth + 1; level >= 1 && !HasFailure(); level--) {
      SCOPED_TRACE(level);
      ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent, 5000)) << "a level added to total unseen";
      EXPECT_EQ(t, agent->ThreadCurrent());
      EXPECT_EQ(add, agent->GetCurrentFrame()->method);
      EXPECT_EQ(level, NestLevel(agent, nest)) << "a level stopped twice, or out of turn";
      agent->EventRemove();
    }
    agent->ClearDataBreaks();
    EXPECT_EQ(0, NextEvent(agent, 50)) << "a stop more than the levels";
  });
  JNI_DebugDetach(agent);
  JoinOutside(h);
  EXPECT_EQ(kDepth + 1, result.load());
}

/* Connected from the start: every level runs the debugging loop. */
TEST_F(CarrierTest, NestedCallsBackStopOnceAtEveryLevelAsTheyReturn) {
  Watchdog dog(120, "carrier test");
  gGate = false;
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  agent->EventRemove();  // nothing is due from threads asked over from now on
  NestAndStopAtEveryLevel(agent, false);
}

/* Asked over while the deepest native waits: every level below runs its plain loop until
   control comes back to it. */
TEST_F(CarrierTest, NestedCallsBackAskedOverAtTheDeepestStopOnceAtEveryLevel) {
  Watchdog dog(120, "carrier test");
  gGate = false;
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(jvm->name);
  ASSERT_NE(nullptr, agent);
  NestAndStopAtEveryLevel(agent, true);
}

/* Asked over while it waits in a native that then calls back, the thread arrives in the
   call back, whose caller runs its plain loop still. A step that leaves the call back,
   out of it or over its return, must stop in the caller right after the call, as it
   does when the caller runs the debugging loop: its next poll would come too late (the
   caller's next call, which the step out does not stop in, and which loops until the
   test ends). */
void CarrierTest::StepOutOfACallBack(bool over) {
  std::thread h;
  VMThread* t = nullptr;
  VMDebugger* agent = ConnectWhileInANative("callBackThenLoop", &h, &t);
  ASSERT_NE(nullptr, agent);
  SetPhase(1);  // inner() returns at once
  VMMethod* inner = Method("inner", "()I");
  uint32_t at = PcOfLine(inner, MarkedLine("Carrier.java", "carrier-inner-return"));
  AsClient(agent, [&] {
    gGate = true;
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "no arrival";
    ASSERT_EQ(t, agent->ThreadCurrent());
    EXPECT_EQ(inner, agent->GetCurrentFrame()->method);
    if (over) {
      // On to the return, where the step over starts.
      ASSERT_TRUE(agent->BreakSet(inner, at));
      agent->EventRemove();
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000));
      EXPECT_EQ(at, agent->GetCurrentFrame()->GetPC(false));
      agent->BreakClear(inner, at);
    }
    // Armed while the thread stands.
    agent->ThreadTrace(t, 1, over ? 1 : 2);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000)) << "the step never ended";
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    EXPECT_EQ(Method("callBackThenLoop", "()I"), f->method) << "the step ended elsewhere than in the caller";
    EXPECT_EQ(MarkedLine("Carrier.java", "carrier-callback"), LineAt(f));
    agent->EventRemove();
  });
  DetachThenRelease(agent, h);
}

TEST_F(CarrierTest, AStepOutOfACallBackWhoseCallerRunsItsPlainLoopStopsInTheCaller) {
  Watchdog dog(120, "carrier test");
  StepOutOfACallBack(false);
}

TEST_F(CarrierTest, AStepOverTheReturnOfACallBackWhoseCallerRunsItsPlainLoopStopsInTheCaller) {
  Watchdog dog(120, "carrier test");
  StepOutOfACallBack(true);
}

/* The same with a class's initialiser for the inner entry, run from the first
   instruction that reads the class's field: asked over while the initialiser waits in a
   native, the thread arrives in the initialiser; once that returns, the method below,
   where the instruction goes on in the plain loop, goes over. */
TEST_F(CarrierTest, AThreadThatArrivesInAClassInitialiserTakesTheInitialisingFrameAlong) {
  Watchdog dog(120, "carrier test");
  std::thread h;
  VMThread* t = nullptr;
  VMDebugger* agent = ConnectWhileInANative("holdInitialiseThenLoop", &h, &t);
  ASSERT_NE(nullptr, agent);
  gGate = true;
  AsClient(agent, [&] {
    int32_t kind = NextEvent(agent, 5000);
    ASSERT_EQ(VMDebugger::EventBreakpoint, kind) << "no arrival";
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    ASSERT_NE(nullptr, f);
    VMByteCodeFrame* below = VMDebugger::FrameCaller(f);
    EXPECT_TRUE(below != nullptr && below->method == Method("holdInitialiseThenLoop", "()I"))
        << "the arrival was not in the initialiser the method ran";
    agent->EventRemove();
    WatchTotalThenInterrupt(agent, t);
  });
  DetachThenRelease(agent, h);
}

}  // namespace
