/* The debugger over code the interpreter's fast loop carries out itself (dbgtest.Numeric):
   double arithmetic and elements, calls and returns it makes without the opcode table, a
   mathematical native and an abs one-liner it computes in place, static fields,
   subroutines. A thread brought under the agent mid-run goes over to the debugging loop
   at its next poll, listed by the client or asked to step or to report its arrival;
   until then it runs a plain loop, and must stop there at every instruction and in
   every method as a thread of the debugging loop does. Its frames must read whole when
   it parks, and an unwatched machine on the name space must run the patched code
   unchanged. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "debugged_program.h"
#include "marked_line.h"
#include "plain_watch.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_support.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

using vmjni::UnHandleField;

uint32_t Line(const char* name) { return MarkedLine("Numeric.java", name); }

/* The first instruction at or after the line's first pc whose opcode (breakpoints seen
   through) is one of ops. */
uint32_t PcOfOp(VMMethod* method, uint32_t line, std::set<uint8_t> ops) {
  uint32_t size = method->GetCode()->GetSize();
  for (uint32_t pc = PcOfLine(method, line); pc < size; pc++)
    if (VMDebugger::IsInstructionStart(method, pc) && ops.count(VMDebugger::FindPreBreakpointOpcode(method, pc)))
      return pc;
  ADD_FAILURE() << "no such instruction from line " << line;
  return 0;
}

double LocalDouble(VMByteCodeFrame* f, uint32_t slot) {
  double d;
  memcpy(&d, f->locals + slot, 8);
  return d;
}

long MicrosecondsSince(std::chrono::steady_clock::time_point start) {
  return (long)std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
}

/* The methods of the bytecode frames from frame down to the thread's first. */
std::vector<VMMethod*> Chain(VMByteCodeFrame* frame) {
  std::vector<VMMethod*> out;
  for (VMByteCodeFrame* f = frame; f != nullptr; f = VMDebugger::FrameCaller(f)) out.push_back(f->method);
  return out;
}

class FastLoopDebugTest : public DebuggedProgramTest {
 protected:
  FastLoopDebugTest() : DebuggedProgramTest("fastdbg", "dbgtest/Numeric") {}
  void SetUp() override {
    DebuggedProgramTest::SetUp();
    if (HasFatalFailure()) return;
    kernel = Method("kernel", "(I)I");
    scale = Method("scale", "(D)D");
    absOf = Method("absOf", "(I)I");
    spin = Method("spin", "()I");
    ASSERT_TRUE(kernel && scale && absOf && spin);
    // The premise: the loop computes this one in place for a thread nobody watches.
    ASSERT_EQ(VMMethod::ShapeAbsInt, absOf->GetShape());
  }
  /* An agent that watches thread t while t goes on in its plain loop (see
     WatchInPlainLoop): the client has removed an event, so nothing is due from t. */
  VMDebugger* AttachWatchingPlainLoop(VMThread* t) {
    VMDebugger* agent = Attach();
    if (agent == nullptr) return nullptr;
    agent->EventRemove();
    WatchInPlainLoop(t);
    return agent;
  }
  /* An agent whose client has not polled yet, so not connected; unless an arrival is
     due, the client has removed an event (threads that attach then report none). */
  VMDebugger* AttachUnpolled(bool due) {
    VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(jvm->name);
    EXPECT_NE(nullptr, agent);
    if (agent != nullptr && !due) agent->EventRemove();
    return agent;
  }
  /* Runs Numeric.name(), which loops until released, on a thread of its own, and gives
     it time to get into its loop; its record lands in *record. */
  std::thread RunUntilReleased(const char* name, std::atomic<int>* out, VMThread** record) {
    std::thread t = RunJava(name, "()I", out, {}, nullptr, record);
    Idle(100000);
    return t;
  }
  void Release() {
    env->functions->CallStaticVoidMethod(env, program, env->functions->GetStaticMethodID(env, program, "release", "()V"));
  }
  /* The client goes, then the looping thread h is released and joined. */
  void DetachThenRelease(VMDebugger* agent, std::thread& h) {
    JNI_DebugDetach(agent);
    Release();
    JoinOutside(h);
  }
  VMDataMember* Static(const char* name, const char* signature) {
    return UnHandleField(env, env->functions->GetStaticFieldID(env, program, name, signature));
  }
  /* Numeric's statics, where a watch on one of them goes. */
  VMObject* Statics() {
    return ((VMLoadableClass*)VMJniUnHandleClass(env, program))->GetInitializedStaticData(jvm->vm);
  }
  void ListAfterTheFirstEventAndStopAtAWatchAndAnInterrupt(VMDebugger* agent, VMThread* spinner);
  void PollBeforeTheConnectionThenStopAtAWatchAndAnInterrupt(bool due);

  VMMethod *kernel = nullptr, *scale = nullptr, *absOf = nullptr, *spin = nullptr;
};

/* Every kind of instruction the loop now carries itself, met by a watched thread that
   runs the plain loops, each with a fresh agent (after its first stop a thread stays in
   the debugging loop until the agent goes): the stop is at the breakpoint's pc, in the
   right method, with the frames below it and the locals as the code left them. */
TEST_F(FastLoopDebugTest, AWatchedThreadInThePlainLoopStopsAtEveryInstructionTheLoopCarriesItself) {
  Watchdog dog(240, "fast loop debugger test");
  struct Place {
    const char* what;
    VMMethod* method;
    uint32_t pc;
    uint32_t line;
  };
  const std::vector<Place> places = {
      {"dastore", kernel, PcOfOp(kernel, Line("kernel-store"), {OP_dastore}), Line("kernel-store")},
      {"daload", kernel, PcOfOp(kernel, Line("kernel-load"), {OP_daload}), Line("kernel-load")},
      {"dadd", kernel, PcOfOp(kernel, Line("kernel-add"), {OP_dadd}), Line("kernel-add")},
      {"a native's invokestatic", kernel, PcOfOp(kernel, Line("kernel-sqrt"), {OP_invokestatic}), Line("kernel-sqrt")},
      {"a one-liner's invokestatic", kernel, PcOfOp(kernel, Line("kernel-abs"), {OP_invokestatic}), Line("kernel-abs")},
      {"the one-liner's first instruction", absOf, 0, Line("abs-body")},
      {"an inlined callee's first instruction", scale, 0, Line("scale-first")},
      {"dreturn", scale, PcOfOp(scale, Line("scale-return"), {OP_dreturn}), Line("scale-return")},
      {"putstatic", kernel, PcOfOp(kernel, Line("kernel-static"), {OP_putstatic, OP_putstatic2_quick}),
       Line("kernel-static")},
      {"ireturn", kernel, PcOfOp(kernel, Line("kernel-return"), {OP_ireturn}), Line("kernel-return")},
  };
  std::atomic<int> result{0};
  VMThread* spinner = nullptr;
  std::thread h = RunUntilReleased("spin", &result, &spinner);
  for (const Place& p : places) {
    SCOPED_TRACE(p.what);
    VMDebugger* agent = AttachWatchingPlainLoop(spinner);
    ASSERT_NE(nullptr, agent);
    AsClient(agent, [&] {
      ASSERT_TRUE(agent->BreakSet(p.method, p.pc));
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "never stopped";
      EXPECT_EQ(spinner, agent->ThreadCurrent());
      VMByteCodeFrame* f = agent->GetCurrentFrame();
      ASSERT_NE(nullptr, f);
      EXPECT_EQ(p.method, f->method);
      EXPECT_EQ(p.pc, f->GetPC(false));
      EXPECT_EQ(p.line, LineAt(f));
      std::vector<VMMethod*> chain = Chain(f);
      std::vector<VMMethod*> want = {kernel, spin};
      if (p.method != kernel) want.insert(want.begin(), p.method);
      EXPECT_EQ(want, chain);
      if (p.method == kernel && p.line == Line("kernel-add")) {
        // d = v[j] = j * 1.5, just stored by the loop's own dstore.
        int32_t j = (int32_t)f->locals[6];
        EXPECT_TRUE(j >= 0 && j < 40);
        EXPECT_EQ(j * 1.5, LocalDouble(f, 7));
      }
      if (p.method == scale && p.pc == 0) {
        // The argument the loop copied into the frame it pushed, and the caller's pc
        // just past the call.
        VMByteCodeFrame* caller = VMDebugger::FrameCaller(f);
        ASSERT_NE(nullptr, caller);
        EXPECT_EQ((int32_t)caller->locals[6] * 1.5, LocalDouble(f, 0));
        EXPECT_EQ(Line("kernel-scale"), LineAt(caller));
      }
      if (p.method == absOf) {
        VMByteCodeFrame* caller = VMDebugger::FrameCaller(f);
        ASSERT_NE(nullptr, caller);
        EXPECT_EQ((int32_t)caller->locals[6] - 20, (int32_t)f->locals[0]);
      }
      agent->BreakClear(p.method, p.pc);
      agent->EventRemove();
    });
    JNI_DebugDetach(agent);
    // Its next instruction finds no agent and takes the plain loops up again: the next
    // agent must find it there, not still in the debugging loop.
    Idle(50000);
  }
  Release();
  JoinOutside(h);
  EXPECT_GE(result.load(), 0);
}

/* Steps from a stop the plain loop met: into the abs one-liner (called, not computed),
   out of it, over the native's line, into and out of a callee the loop pushes itself;
   and over a call whose callee's element load throws. */
TEST_F(FastLoopDebugTest, StepsIntoOneLinersAndAcrossInlinedCallsReturnsAndThrows) {
  Watchdog dog(240, "fast loop debugger test");
  std::atomic<int> result{0};
  VMThread* spinner = nullptr;
  std::thread h = RunUntilReleased("spin", &result, &spinner);
  VMDebugger* agent = AttachWatchingPlainLoop(spinner);
  ASSERT_NE(nullptr, agent);
  uint32_t call = PcOfOp(kernel, Line("kernel-abs"), {OP_invokestatic});
  AsClient(agent, [&] {
    ASSERT_TRUE(agent->BreakSet(kernel, call));
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000));
    agent->BreakClear(kernel, call);
    agent->ThreadTrace(spinner, 0, 0);  // into, by instruction
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000));
    EXPECT_EQ(absOf, agent->GetCurrentFrame()->method) << "the step into the one-liner did not stop in it";
    EXPECT_EQ(0u, agent->GetCurrentFrame()->GetPC(false));
    agent->ThreadTrace(spinner, 1, 2);  // out
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000));
    EXPECT_EQ(kernel, agent->GetCurrentFrame()->method);
    EXPECT_EQ(call + 3, agent->GetCurrentFrame()->GetPC(false));
    agent->ThreadTrace(spinner, 1, 1);  // over, to the next line
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000));
    EXPECT_EQ(kernel, agent->GetCurrentFrame()->method);
    EXPECT_EQ(Line("kernel-scale"), LineAt(agent->GetCurrentFrame()));
    agent->ThreadTrace(spinner, 1, 0);  // into scale
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000));
    EXPECT_EQ(scale, agent->GetCurrentFrame()->method);
    EXPECT_EQ(Line("scale-first"), LineAt(agent->GetCurrentFrame()));
    agent->ThreadTrace(spinner, 1, 2);  // out of scale
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000));
    EXPECT_EQ(kernel, agent->GetCurrentFrame()->method);
    EXPECT_EQ(Line("kernel-scale"), LineAt(agent->GetCurrentFrame()));
    agent->EventRemove();
  });
  DetachThenRelease(agent, h);

  // An element load out of bounds in a callee: a step over the call ends in the handler.
  VMMethod* probe = Method("probe", "(I)I");
  ASSERT_NE(nullptr, probe);
  agent = Attach();
  ASSERT_NE(nullptr, agent);
  std::atomic<int> probed{0};
  VMThread* prober = nullptr;
  std::thread p = RunJava("probe", "(I)I", &probed, {1000}, nullptr, &prober);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));  // its arrival
    uint32_t at = PcOfLine(probe, Line("probe-call"));
    ASSERT_TRUE(agent->BreakSet(probe, at));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000));
    agent->BreakClear(probe, at);
    agent->ThreadTrace(prober, 1, 1);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000));
    EXPECT_EQ(probe, agent->GetCurrentFrame()->method);
    // At the handler's first instruction (the catch clause's own line).
    VMExceptionHandlerArray* handlers = probe->GetExceptionHandlers();
    ASSERT_TRUE(handlers != nullptr && handlers->GetSize() == 1);
    EXPECT_EQ(handlers->Get(0)->GetHandlerPc(), agent->GetCurrentFrame()->GetPC(false));
    agent->EventRemove();
  });
  JoinOutside(p);
  EXPECT_EQ(-1, probed.load());
  JNI_DebugDetach(agent);
}

/* The bytecode frames of a thread stopped for the debugger, read while the agent's stop
   mutex is held (a thread leaving its park waits for it, so one still parked from an
   earlier stop cannot run on meanwhile): each at an instruction's start on a line,
   kernel with its argument, every caller just past its call, spin at the bottom. */
void ExpectParkedFramesWhole(VMDebugger* agent, VMThread* t, VMMethod* spin, VMMethod* kernel) {
  void* stop = agent->GetStopMutex();
  VMUtils::MutexLock(stop);
  for (int i = 0; i < 5000 && !VMDebugger::IsStopped(t); i++) Idle(1000);
  std::vector<VMMethod*> chain;
  VMFrame* top = t->GetFrame();
  bool stopped = VMDebugger::IsStopped(t);
  EXPECT_TRUE(stopped) << "never parked";
  if (stopped) {
    EXPECT_TRUE(top->GetIsExecutableByteCode());
    if (top->GetIsExecutableByteCode()) chain = Chain((VMByteCodeFrame*)top);
  }
  VMByteCodeFrame* b = chain.empty() ? nullptr : (VMByteCodeFrame*)top;
  for (VMByteCodeFrame* g = b; g != nullptr; g = VMDebugger::FrameCaller(g)) {
    uint32_t pc = g->GetPC(false);
    EXPECT_TRUE(VMDebugger::IsInstructionStart(g->method, pc)) << "pc " << pc;
    EXPECT_NE(0u, LineAt(g));
    if (g->method == kernel) {
      EXPECT_EQ(40u, g->locals[0]);
    }
    if (g != b) {
      // A caller stands just past an invoke.
      uint8_t before = VMDebugger::FindPreBreakpointOpcode(g->method, pc - 3);
      EXPECT_TRUE(before == OP_invokestatic || before == OP_invokevirtual_quick) << "caller pc " << pc;
    }
  }
  VMUtils::MutexUnlock(stop);
  if (!chain.empty()) {
    EXPECT_EQ(spin, chain.back());
  }
}

/* A thread that was running (unwatched) parks while another reports, wherever its next
   poll falls: in kernel or a callee the loop pushed (nearly always), or in spin itself
   between its calls. The frames read whole, the callers resuming just past their calls.
   A parked thread looks for the end of the stop only every 300 ms, so while the filler
   stops again and again it mostly stays where it parked. */
TEST_F(FastLoopDebugTest, AParkedThreadsFramesPushedByTheLoopReadWhole) {
  Watchdog dog(240, "fast loop debugger test");
  std::atomic<int> spun{0};
  VMThread* spinner = nullptr;
  std::thread h = RunUntilReleased("spin", &spun, &spinner);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  std::atomic<int> filled{0};
  std::thread f = RunJava("fill", "()I", &filled);
  AsClient(agent, [&] {
    for (int round = 0; round < 20; round++) {
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent)) << "round " << round;
      ExpectParkedFramesWhole(agent, spinner, spin, kernel);
      // The filler stops again at each element it stores (19 more rounds).
      if (round == 0) {
        ASSERT_TRUE(agent->BreakSet(Method("fill", "()I"), PcOfLine(Method("fill", "()I"), Line("fill-store"))));
      }
      agent->EventRemove();
      if (round == 19) agent->ClearCodeBreaks();
    }
  });
  JNI_DebugDetach(agent);
  JoinOutside(f);
  Release();
  JoinOutside(h);
  EXPECT_EQ(200, filled.load());
}

/* Watches on a double element in the array's first block and one past it, and on a
   double static, each written by the instructions the loop now carries itself. */
TEST_F(FastLoopDebugTest, WatchesSeeElementsAndStaticsStoredByInlinedInstructions) {
  Watchdog dog(240, "fast loop debugger test");
  VMDataMember* cells = Static("cells", "[D");
  VMDataMember* total = Static("last", "D");
  VMMethod* fill = Method("fill", "()I");
  ASSERT_TRUE(cells && total && fill);
  VMObject* statics = Statics();
  ASSERT_NE(nullptr, statics);
  VMObject* array = (VMObject*)statics->GetWord(cells->GetIndex());
  ASSERT_NE(nullptr, array);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  ASSERT_TRUE(agent->BreakSetWriteBody(array, 8 + 8 * 3, 8));
  ASSERT_TRUE(agent->BreakSetWriteBody(array, 8 + 8 * 200, 8));
  ASSERT_TRUE(agent->BreakSetWriteBody(statics, total->GetIndex() * 4, 8));
  std::atomic<int> result{0};
  std::thread h = RunJava("fill", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));  // its arrival
    agent->EventRemove();
    const double want[] = {3.25, 200.25, 200.25};
    for (double w : want) {
      ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent, 5000)) << "the write of " << w << " went unseen";
      VMByteCodeFrame* f = agent->GetCurrentFrame();
      EXPECT_EQ(fill, f->method);
      uint32_t line = LineAt(f);
      EXPECT_TRUE(line >= Line("fill-store") - 1 && line <= Line("fill-static") + 1) << "line " << line;
      agent->EventRemove();
    }
    EXPECT_EQ(0, NextEvent(agent, 300));
  });
  JoinOutside(h);
  EXPECT_EQ(200, result.load());
  JNI_DebugDetach(agent);
}

/* A thread that runs kernel over and over is first listed (request 67) at a stop after
   the client removed an event: it is watched from then on and asked to report nothing,
   yet must go over to the debugging loop, where a watch on the static it adds to, and
   then an interrupt request, each stop it (and nothing before them: no arrival). */
void FastLoopDebugTest::ListAfterTheFirstEventAndStopAtAWatchAndAnInterrupt(VMDebugger* agent, VMThread* spinner) {
  VMDataMember* total = Static("total", "D");
  VMMethod* fill = Method("fill", "()I");
  ASSERT_TRUE(total && fill);
  VMObject* statics = Statics();
  std::atomic<int> filled{0};
  std::thread f = RunJava("fill", "()I", &filled);
  uint32_t at = PcOfLine(fill, Line("fill-static"));
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));  // the filler's arrival
    ASSERT_TRUE(agent->BreakSet(fill, at));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000));
    for (int i = 0; i < 5000 && !spinner->GetPausedForDebugger(); i++) Idle(1000);
    EXPECT_GE(agent->ThreadCount(), 1);  // the spinner, parked, is caught
    EXPECT_TRUE(spinner->GetCaughtByDebugger());
  });
  EXPECT_EQ(1, JNI_DebugEventPending(agent));  // its Connect takes the spinner in
  EXPECT_NE(0u, spinner->GetEnv()->debug & 0xFF);
  AsClient(agent, [&] {
    agent->BreakClear(fill, at);
    ASSERT_TRUE(agent->BreakSetWriteBody(statics, total->GetIndex() * 4, 8));
    agent->EventRemove();
    JoinOutside(f);
    StopAtTheWatchThenAtAnInterrupt(agent, spinner, "kernel changed Numeric.total thousands of times unseen");
  });
  EXPECT_EQ(200, filled.load());
}

TEST_F(FastLoopDebugTest, AThreadListedAfterTheFirstEventStopsAtWatchesAndInterrupts) {
  Watchdog dog(120, "fast loop debugger test");
  std::atomic<int> result{0};
  VMThread* spinner = nullptr;
  // Started before the client came: nothing asked it to report its arrival.
  std::thread h = RunUntilReleased("spin", &result, &spinner);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  ListAfterTheFirstEventAndStopAtAWatchAndAnInterrupt(agent, spinner);
  DetachThenRelease(agent, h);
}

/* A thread that attached under an earlier client, reported its arrival and was never
   listed: once that client is gone, the next one brings it over as any other thread. */
TEST_F(FastLoopDebugTest, AThreadAnEarlierClientWatchedIsBroughtOverByTheNext) {
  Watchdog dog(120, "fast loop debugger test");
  VMDebugger* earlier = Attach();
  ASSERT_NE(nullptr, earlier);
  std::atomic<int> result{0};
  VMThread* spinner = nullptr;
  std::thread h = RunJava("spin", "()I", &result, {}, nullptr, &spinner);
  AsClient(earlier, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(earlier));
    EXPECT_EQ(spinner, earlier->ThreadCurrent());
    earlier->EventRemove();
  });
  JNI_DebugDetach(earlier);
  Idle(50000);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  ListAfterTheFirstEventAndStopAtAWatchAndAnInterrupt(agent, spinner);
  DetachThenRelease(agent, h);
}

/* A thread that attaches after the client did, but before the client's first poll
   connects it, is asked over to the debugging loop and polls while there is no
   connection to go over to. Once connected it must still go over: its arrival reported
   when one is due (none is once the client has removed an event: nothing then comes
   before the watch), and a watch on the static kernel adds to, then an interrupt
   request, each stop it. */
void FastLoopDebugTest::PollBeforeTheConnectionThenStopAtAWatchAndAnInterrupt(bool due) {
  VMDataMember* total = Static("total", "D");
  ASSERT_NE(nullptr, total);
  VMObject* statics = Statics();
  VMDebugger* agent = AttachUnpolled(due);
  ASSERT_NE(nullptr, agent);
  std::atomic<int> result{0};
  VMThread* spinner = nullptr;
  std::thread h = RunJava("spin", "()I", &result, {}, nullptr, &spinner);
  // Asked over at its attach: its first polls in kernel meet the request unconnected.
  for (int i = 0; i < 5000 && spinner->GetDebuggerAttachRequested(); i++) Idle(1000);
  EXPECT_FALSE(spinner->GetDebuggerAttachRequested()) << "the spinner never polled";
  Idle(20000);
  (void)JNI_DebugEventPending(agent);  // the client's first poll: it connects
  AsClient(agent, [&] {
    if (due) {
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "its arrival was never reported";
      EXPECT_EQ(spinner, agent->ThreadCurrent());
      agent->EventRemove();
    }
    ASSERT_TRUE(agent->BreakSetWriteBody(statics, total->GetIndex() * 4, 8));
    StopAtTheWatchThenAtAnInterrupt(agent, spinner, "kernel changed Numeric.total thousands of times unseen");
  });
  DetachThenRelease(agent, h);
}

TEST_F(FastLoopDebugTest, AThreadThatPolledBeforeTheClientsFirstPollArrivesOnceConnected) {
  Watchdog dog(120, "fast loop debugger test");
  PollBeforeTheConnectionThenStopAtAWatchAndAnInterrupt(true);
}

TEST_F(FastLoopDebugTest, AThreadThatPolledBeforeTheClientsFirstPollGoesOverSilentlyOnceConnected) {
  Watchdog dog(120, "fast loop debugger test");
  PollBeforeTheConnectionThenStopAtAWatchAndAnInterrupt(false);
}

/* The client's first poll races the first polls of a thread that attached after the
   client did, round after round, landing before, among and after them: the thread
   arrives once (not at all when the client removed an event first) and runs the
   debugging loop from then on. A second arrival, or one where none is due, would come
   before the watch; a second request to go over would still stand at it. */
TEST_F(FastLoopDebugTest, AThreadAttachingAsTheClientConnectsArrivesOnceWhateverTheOrder) {
  Watchdog dog(120, "fast loop debugger test");
  VMDataMember* total = Static("total", "D");
  jfieldID ended = env->functions->GetStaticFieldID(env, program, "ended", "I");
  ASSERT_TRUE(total && ended);
  VMObject* statics = Statics();
  long span = 0;
  for (int round = 1; round <= 16; round++) {
    SCOPED_TRACE(round);
    bool due = (round & 1) != 0;
    VMDebugger* agent = AttachUnpolled(due);
    ASSERT_NE(nullptr, agent);
    std::atomic<int> result{0};
    VMThread* t = nullptr;
    // The client polls on a thread of its own, from before the thread attaches to past
    // its first polls (the length of the last attach sets the scale).
    long delay = span * ((round >> 1) & 7) / 5;
    auto start = std::chrono::steady_clock::now();
    std::thread client([agent, start, delay] {
      while (MicrosecondsSince(start) < delay) {
      }
      (void)JNI_DebugEventPending(agent);
    });
    std::thread h = RunJava("spinRound", "(I)I", &result, {round}, nullptr, &t);
    span = MicrosecondsSince(start);
    JoinOutside(client);
    AsClient(agent, [&] {
      if (due) {
        ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 3000)) << "no arrival";
        EXPECT_EQ(t, agent->ThreadCurrent());
        agent->EventRemove();
      }
      ASSERT_TRUE(agent->BreakSetWriteBody(statics, total->GetIndex() * 4, 8));
      ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent, 3000)) << "not in the debugging loop, or arrived again";
      EXPECT_EQ(t, agent->ThreadCurrent());
      EXPECT_FALSE(t->GetDebuggerAttachRequested() || t->GetDebugLoopDeferred()) << "asked over twice";
      agent->ClearDataBreaks();
      agent->EventRemove();
    });
    JNI_DebugDetach(agent);
    env->functions->SetStaticIntField(env, program, ended, round);
    JoinOutside(h);
  }
}

/* Code with no backward branch polls only at its calls: a thread deep in it is caught. */
TEST_F(FastLoopDebugTest, AThreadThatOnlyCallsIsCaughtAtItsCalls) {
  Watchdog dog(120, "fast loop debugger test");
  VMMethod* tree = Method("tree", "(I)I");
  ASSERT_NE(nullptr, tree);
  std::atomic<int> result{0};
  VMThread* caller = nullptr;
  std::thread h = RunUntilReleased("spinCalls", &result, &caller);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  agent->RequestThreadAttach(caller);  // asked to report its arrival
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "a thread that only calls was never caught";
    EXPECT_EQ(caller, agent->ThreadCurrent());
    EXPECT_EQ(tree, agent->GetCurrentFrame()->method);
    EXPECT_GT(Chain(agent->GetCurrentFrame()).size(), 10u);
    agent->EventRemove();
  });
  DetachThenRelease(agent, h);
  EXPECT_EQ(1, result.load() > 0 ? 1 : 0);
}

/* A finally subroutine entered (jsr) in one loop and left (ret) in the other, both
   ways, for a jsr forward to the subroutine and one back to it: met in the plain loop, a
   breakpoint inside the subroutine hands the thread over, and the debugging loop returns;
   stopped there again (the jsr now the debugging loop's), the thread is let go by the
   client's detach and the plain loop returns. Every jsr pushes an offset into the code,
   which every ret takes. */
TEST_F(FastLoopDebugTest, ASubroutineEnteredInOneLoopReturnsFromTheOther) {
  Watchdog dog(120, "fast loop debugger test");
  std::atomic<int> result{0};
  VMThread* t = nullptr;
  std::thread h = RunJava("guardedSpin", "()I", &result, {}, nullptr, &t);
  Idle(50000);
  const std::vector<std::pair<const char*, const char*>> subroutines = {{"early", "early-finally"},
                                                                        {"guarded", "guarded-finally"}};
  for (const auto& s : subroutines) {
    SCOPED_TRACE(s.first);
    VMMethod* m = Method(s.first, "(I)I");
    ASSERT_NE(nullptr, m);
    uint32_t inside = PcOfLine(m, Line(s.second));
    uint32_t ret = PcOfOp(m, Line(s.second), {OP_ret});
    uint8_t slot = *(uint8_t*)m->GetCode()->FindElement(ret + 1, 0u);
    // Each agent finds the thread back in the plain loop, the last one having let it go.
    VMDebugger* agent = AttachWatchingPlainLoop(t);
    ASSERT_NE(nullptr, agent);
    AsClient(agent, [&] {
      ASSERT_TRUE(agent->BreakSet(m, inside));
      for (int round = 0; round < 2; round++) {
        ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000)) << "round " << round;
        VMByteCodeFrame* f = agent->GetCurrentFrame();
        EXPECT_EQ(m, f->method);
        // The subroutine's astore took the return offset to the ret's local.
        EXPECT_LT(f->locals[slot], m->GetCode()->GetSize()) << "round " << round;
        if (round == 0) agent->EventRemove();
      }
      agent->BreakClear(m, inside);
    });
    // The event still stands: the detach wakes the thread, whose next instruction finds
    // no agent.
    JNI_DebugDetach(agent);
  }
  Release();
  JoinOutside(h);
  EXPECT_EQ(1, result.load() & 1) << result.load();  // guarded(i) + early(i) is 4i + 1
}

/* Breakpoints come and go on the constants a thread nobody watches pushes in the plain
   loop: each instruction pushes its own value, whichever byte it finds when. */
TEST_F(FastLoopDebugTest, ConstantsStayRightWhileBreakpointsComeAndGoOnThem) {
  Watchdog dog(120, "fast loop debugger test");
  VMMethod* constants = Method("constants", "()I");
  ASSERT_NE(nullptr, constants);
  std::atomic<int> wrong{-2};
  std::thread h = RunJava("constants", "()I", &wrong);  // before any agent: unwatched
  Idle(20000);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  std::vector<uint32_t> pcs;
  uint32_t end = constants->GetCode()->GetSize();
  for (uint32_t pc = PcOfLine(constants, Line("constants-push")); pc < end && pcs.size() < 2; pc++) {
    uint8_t op = VMDebugger::FindPreBreakpointOpcode(constants, pc);
    if (VMDebugger::IsInstructionStart(constants, pc) && (op == OP_iconst_2 || op == OP_iconst_3)) pcs.push_back(pc);
  }
  ASSERT_EQ(2u, pcs.size());
  for (int round = 0; round < 300000; round++) {
    for (uint32_t pc : pcs) {
      ASSERT_TRUE(agent->BreakSet(constants, pc));
      agent->BreakClear(constants, pc);
    }
  }
  DetachThenRelease(agent, h);
  EXPECT_EQ(0, wrong.load());
}

/* An unwatched machine on the name space runs the code with a breakpoint before every
   instruction of the kernel and its callees: each displaced instruction, met by the fast
   loop, runs as itself. */
TEST_F(FastLoopDebugTest, AnotherMachineRunsTheKernelUnderABreakpointAtEveryInstruction) {
  Watchdog dog(120, "fast loop debugger test");
  std::atomic<int> plain{0};
  std::thread a = RunJava("kernel", "(I)I", &plain, {40, 300});
  JoinOutside(a);
  JNIEnv* otherEnv = nullptr;
  JavaVM* other = Create("fastother", &otherEnv, jvm);
  ASSERT_NE(nullptr, other);
  refhost::Functions()->SetCurrentEnv(env);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  int planted = 0;
  for (VMMethod* m : {kernel, scale, absOf, Method("guarded", "(I)I")}) {
    for (uint32_t pc = 0; pc < m->GetCode()->GetSize(); pc++)
      if (VMDebugger::IsInstructionStart(m, pc) && agent->BreakSet(m, pc)) planted++;
  }
  EXPECT_GT(planted, 80);
  VMThread* selfThere = otherEnv->thread;
  VM::EnterSafeRegion(selfThere);
  std::atomic<int> patched{0};
  std::atomic<int> guardedThere{0};
  std::thread o = RunJava("kernel", "(I)I", &patched, {40, 300}, other);
  std::thread g = RunJava("guarded", "(I)I", &guardedThere, {20}, other);
  AsClient(agent, [&] {
    JoinOutside(o);
    JoinOutside(g);
  });
  VM::LeaveSafeRegion(selfThere);
  EXPECT_EQ(plain.load(), patched.load());
  EXPECT_EQ(41, guardedThere.load());
  JNI_DebugDetach(agent);
  refhost::Functions()->SetCurrentEnv(otherEnv);
  EXPECT_EQ(0, other->functions->DestroyJavaVM(other));
  refhost::Functions()->SetCurrentEnv(env);
}

}  // namespace
