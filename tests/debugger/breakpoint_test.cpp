/* Breakpoints, watches, stepping and exception events on Java code that the machine
   runs: a host thread runs a method of dbgtest.Target while the test plays the client
   (its calls carried as the machine's entries carry them, its waits in safe regions as
   the collector requires of a waiting thread). Lines are
   found by the markers in Target.java, pcs by the method's line table. Every blocking
   step runs under a watchdog. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <functional>
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
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmdebugger_break.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_support.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

using vmjni::UnHandleField;
using vmjni::UnHandleMethod;


/* The line of the marker "// @name" in Target.java. */
uint32_t Line(const char* name) { return MarkedLine("Target.java", name); }

uint8_t CodeAt(VMMethod* method, uint32_t pc) { return *(uint8_t*)method->GetCode()->FindElement(pc, 0u); }

class BreakTest : public DebuggedProgramTest {
 protected:
  BreakTest() : DebuggedProgramTest("dbg", "dbgtest/Target") {}
};

TEST_F(BreakTest, ABreakpointStopsBeforeItsInstructionEveryTimeAndGoesWhenCleared) {
  Watchdog dog(240, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* run = Method("run", "()I");
  VMMethod* sum = Method("sum", "(I)I");
  ASSERT_TRUE(run && sum);
  VMMethod* hashCode = UnHandleMethod(
      env, env->functions->GetMethodID(env, env->functions->FindClass(env, "java/lang/Object"), "hashCode", "()I"));
  ASSERT_NE(nullptr, hashCode);
  std::atomic<int> result{0};
  std::thread h = RunJava("run", "()I", &result);
  AsClient(agent, [&] {
    // The thread's first Java code reports its arrival.
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    // Only instruction starts of code: inside the two-byte bipush, past the end, a
    // method without code and a made-up place are refused and change nothing.
    uint32_t call = PcOfLine(run, Line("run-call"));
    uint8_t operand = CodeAt(run, call + 1);
    EXPECT_FALSE(agent->BreakSet(run, call + 1));
    EXPECT_EQ(operand, CodeAt(run, call + 1));
    EXPECT_FALSE(agent->BreakSet(run, run->GetCode()->GetSize()));
    EXPECT_FALSE(agent->BreakSet(nullptr, 0));
    EXPECT_FALSE(agent->BreakSet(hashCode, 0));
    uint32_t loop = PcOfLine(sum, Line("sum-loop"));
    uint8_t original = CodeAt(sum, loop);
    ASSERT_TRUE(agent->BreakSet(sum, loop));
    EXPECT_EQ(0xCA, CodeAt(sum, loop));
    EXPECT_EQ(original, VMDebugger::FindPreBreakpointOpcode(sum, loop));
    agent->EventRemove();
    for (int i = 0; i < 4; i++) {
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent)) << "stop " << i;
      VMByteCodeFrame* f = agent->GetCurrentFrame();
      ASSERT_NE(nullptr, f);
      EXPECT_EQ(sum, f->method);
      EXPECT_EQ(loop, f->GetPC(false));
      EXPECT_EQ(10u, f->locals[0]);
      EXPECT_EQ((VMword)i, f->locals[2]);
      // The stopped frame's locals are the client's to change.
      if (i == 0) {
        EXPECT_EQ(0u, f->locals[1]);
        f->locals[1] = 1000;
      } else {
        EXPECT_EQ((VMword)(1000 + i * (i - 1) / 2), f->locals[1]);
      }
      // Cleared while the thread stands on it: the restored instruction runs.
      if (i == 3) {
        agent->BreakClear(sum, loop);
        EXPECT_EQ(original, CodeAt(sum, loop));
      }
      agent->EventRemove();
    }
    JoinOutside(h);
  });
  EXPECT_EQ(1045, result.load());
  EXPECT_EQ(0, agent->EventPending(false));
  JNI_DebugDetach(agent);
}

TEST_F(BreakTest, BreakpointsOfOnePlaceAreCountedAndDetachingRestoresTheCode) {
  Watchdog dog(120, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* sum = Method("sum", "(I)I");
  VMMethod* run = Method("run", "()I");
  uint32_t loop = PcOfLine(sum, Line("sum-loop"));
  uint8_t original = CodeAt(sum, loop);
  uint8_t first = CodeAt(run, 0);
  ASSERT_TRUE(agent->BreakSet(sum, loop));
  ASSERT_TRUE(agent->BreakSet(sum, loop));
  ASSERT_TRUE(agent->BreakSet(run, 0));
  EXPECT_EQ(first, VMDebugger::FindPreBreakpointOpcode(run, 0));
  agent->BreakClear(sum, loop);
  EXPECT_EQ(0xCA, CodeAt(sum, loop)) << "one breakpoint is left there";
  agent->BreakClear(sum, loop + 100000);
  agent->BreakClear(sum, loop);
  EXPECT_EQ(original, CodeAt(sum, loop));
  ASSERT_TRUE(agent->BreakSet(sum, loop));
  // A machine without a watching debugger runs the patched code as it was.
  jint r = env->functions->CallStaticIntMethod(env, program, env->functions->GetStaticMethodID(env, program, "run", "()I"));
  EXPECT_EQ(45, r);
  JNI_DebugDetach(agent);
  EXPECT_EQ(original, CodeAt(sum, loop));
  EXPECT_EQ(first, CodeAt(run, 0));
  EXPECT_EQ(nullptr, jvm->nameSpace->GetBreakOpcodes());
}

TEST_F(BreakTest, StepsOverIntoAndOutByLineAndByInstruction) {
  Watchdog dog(240, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* twice = Method("twice", "(I)I");
  VMMethod* helper = Method("helper", "(I)I");
  uint32_t callLine = Line("twice-call");
  uint32_t secondLine = Line("twice-second");
  std::atomic<int> result{0};
  std::thread h = RunJava("twice", "(I)I", &result, {5});
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    uint32_t at = PcOfLine(twice, callLine);
    ASSERT_TRUE(agent->BreakSet(twice, at));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    VMThread* t = f->thread;
    EXPECT_EQ(twice, f->method);
    // Stepping from a breakpoint: the step decides, the breakpoint is not met again.
    agent->ThreadTrace(t, 1, 1);
    agent->EventRemove();
    // Over: the call runs through; the stop is the next line of the same frame.
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent));
    f = agent->GetCurrentFrame();
    EXPECT_EQ(twice, f->method);
    EXPECT_EQ(secondLine, LineAt(f));
    EXPECT_EQ(PcOfLine(twice, secondLine), f->GetPC(false));
    // Into: the first instruction of the callee.
    agent->ThreadTrace(t, 1, 0);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent));
    f = agent->GetCurrentFrame();
    EXPECT_EQ(helper, f->method);
    EXPECT_EQ(0u, f->GetPC(false));
    EXPECT_EQ(6u, f->locals[0]);
    // Out: the caller's instruction after the call.
    agent->ThreadTrace(t, 1, 2);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent));
    f = agent->GetCurrentFrame();
    EXPECT_EQ(twice, f->method);
    EXPECT_EQ(secondLine, LineAt(f));
    uint32_t after = f->GetPC(false);
    EXPECT_GT(after, PcOfLine(twice, secondLine));
    // By instruction: the very next one.
    agent->ThreadTrace(t, 0, 0);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent));
    f = agent->GetCurrentFrame();
    EXPECT_EQ(twice, f->method);
    EXPECT_EQ(after + 1, f->GetPC(false));
    agent->BreakClear(twice, at);
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(22, result.load());
  JNI_DebugDetach(agent);
}

TEST_F(BreakTest, StepsOffTheEndOfAMethodOutOfAThrownFrameAndBackFromNativeCode) {
  Watchdog dog(240, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* twice = Method("twice", "(I)I");
  VMMethod* helper = Method("helper", "(I)I");
  VMMethod* thrower = Method("thrower", "()I");
  VMMethod* stepThrow = Method("stepThrow", "()I");
  VMMethod* one = Method("one", "(I)I");
  std::atomic<int> result{0};
  // Off the end: over the last line of the callee stops in the caller, after the call.
  std::thread h = RunJava("twice", "(I)I", &result, {1});
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    uint32_t last = PcOfLine(helper, Line("helper-return"));
    ASSERT_TRUE(agent->BreakSet(helper, last));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    agent->BreakClear(helper, last);
    agent->ThreadTrace(agent->ThreadCurrent(), 1, 1);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent));
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    EXPECT_EQ(twice, f->method);
    EXPECT_EQ(Line("twice-call"), LineAt(f));
    EXPECT_GT(f->GetPC(false), PcOfLine(twice, Line("twice-call")));
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(6, result.load());
  // Out of a thrown frame: the exception unwinds the step frame; the stop is the
  // handler in the caller.
  uint32_t at = PcOfLine(thrower, Line("thrower-throw"));
  ASSERT_TRUE(agent->BreakSet(thrower, at));
  h = RunJava("stepThrow", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    EXPECT_EQ(thrower, agent->GetCurrentFrame()->method);
    agent->BreakClear(thrower, at);
    agent->ThreadTrace(agent->ThreadCurrent(), 1, 1);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent));
    EXPECT_EQ(stepThrow, agent->GetCurrentFrame()->method);
    EXPECT_GE(LineAt(agent->GetCurrentFrame()), Line("stepthrow-call"));
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(5, result.load());
  // Back to native code and into the same method again, whose frame lands where the
  // step frame was: the step stops at the new call's first instruction.
  ASSERT_TRUE(agent->BreakSet(one, 0));
  h = RunJava("one", "(I)I", &result, {1, 2});
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    EXPECT_EQ(1u, agent->GetCurrentFrame()->locals[0]);
    agent->BreakClear(one, 0);
    agent->ThreadTrace(agent->ThreadCurrent(), 1, 1);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000)) << "the second call ran through the step";
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    EXPECT_EQ(one, f->method);
    EXPECT_EQ(0u, f->GetPC(false));
    EXPECT_EQ(2u, f->locals[0]);
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(3, result.load());
  JNI_DebugDetach(agent);
}

TEST_F(BreakTest, WatchesStopAfterEachChangeOfFieldsStaticsAndLocals) {
  Watchdog dog(240, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* watch = Method("watch", "()I");
  VMDataMember* field = UnHandleField(env, env->functions->GetFieldID(env, program, "field", "I"));
  VMDataMember* wide = UnHandleField(env, env->functions->GetFieldID(env, program, "wide", "J"));
  VMDataMember* counter = UnHandleField(env, env->functions->GetStaticFieldID(env, program, "counter", "I"));
  ASSERT_TRUE(watch && field && wide && counter);
  std::atomic<int> result{0};
  std::thread h = RunJava("watch", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    uint32_t store = PcOfLine(watch, Line("watch-field"));
    ASSERT_TRUE(agent->BreakSet(watch, store));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    agent->BreakClear(watch, store);
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    VMObject* object = (VMObject*)f->locals[0];
    ASSERT_NE(nullptr, object);
    uint32_t bytes = object->GetNumberOfElements() * 4;
    // Runs past the body, and sizes past 8, are refused.
    EXPECT_FALSE(agent->BreakSetWriteBody(object, bytes - 4, 8));
    EXPECT_FALSE(agent->BreakSetWriteBody(object, 0, 9));
    EXPECT_FALSE(agent->BreakSetWriteBody(object, 0xFFFFFFFCu, 8));
    EXPECT_FALSE(agent->BreakSetWriteLocal(f, 0, 4 * 100));
    ASSERT_TRUE(agent->BreakSetWriteBody(object, bytes - 4, 4));
    ASSERT_TRUE(agent->BreakSetWriteBody(object, field->GetIndex() * 4, 4));
    agent->EventRemove();
    // 0 is written first, over 0: no change. Then 3, 6, 9, 12, each seen once, at the
    // instruction after the store.
    for (int i = 1; i < 5; i++) {
      ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent)) << "change " << i;
      f = agent->GetCurrentFrame();
      EXPECT_EQ(watch, f->method);
      EXPECT_EQ((VMword)(i * 3), object->GetWord(field->GetIndex()));
      uint8_t stored = CodeAt(watch, f->GetPC(false) - 3);
      EXPECT_TRUE(stored == OP_putfield || stored == OP_putfield_quick) << "stopped right after the store";
      if (i < 4) agent->EventRemove();
    }
    // Changed while the thread stands at the last change's stop: let go first, it could
    // pass the next stores before the watches were there.
    agent->ClearDataBreaks();
    // A long, wholly; a static field in the class's static data.
    ASSERT_TRUE(agent->BreakSetWriteBody(object, wide->GetIndex() * 4, 8));
    VMObject* statics = ((VMLoadableClass*)VMJniUnHandleClass(env, program))->GetInitializedStaticData(jvm->vm);
    ASSERT_NE(nullptr, statics);
    ASSERT_TRUE(agent->BreakSetWriteBody(statics, counter->GetIndex() * 4, 4));
    agent->EventRemove();
    // The stop comes at the instruction after each store: the next line's first.
    ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent));
    EXPECT_EQ(Line("watch-static"), LineAt(agent->GetCurrentFrame()));
    EXPECT_EQ(0x123456789LL, object->GetLong(wide->GetIndex()));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent));
    EXPECT_EQ(7u, statics->GetWord(counter->GetIndex()));
    f = agent->GetCurrentFrame();
    // The local the method is about to set, then change.
    uint32_t change = PcOfLine(watch, Line("watch-local"));
    uint8_t op = CodeAt(watch, change);
    ASSERT_TRUE((op >= OP_iload_0 && op <= OP_iload_3) || op == OP_iinc || op == OP_iload);
    uint32_t slot = op == OP_iinc || op == OP_iload ? CodeAt(watch, change + 1) : op - OP_iload_0;
    ASSERT_TRUE(agent->BreakSetWriteLocal(f, slot, 4));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent));
    f = agent->GetCurrentFrame();
    if (f->locals[slot] == 1) {
      EXPECT_EQ(Line("watch-local"), LineAt(f));
      agent->EventRemove();
      ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent));
      f = agent->GetCurrentFrame();
    }
    EXPECT_EQ(42u, f->locals[slot]);
    EXPECT_EQ(Line("watch-return"), LineAt(f));
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(54, result.load());
  // The watches stay until cleared, and the watched objects with them.
  EXPECT_NE(nullptr, agent->GetDataBreaks());
  agent->ClearDataBreaks();
  EXPECT_EQ(nullptr, agent->GetDataBreaks());
  JNI_DebugDetach(agent);
}

TEST_F(BreakTest, ThreadsThatMeetOneBreakpointAtOnceStopInTurnAndRunOnWhenItIsCleared) {
  Watchdog dog(240, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* bump = Method("bump", "(I)I");
  uint32_t at = PcOfLine(bump, Line("bump-body"));
  ASSERT_TRUE(agent->BreakSet(bump, at));
  const int kThreads = 4;
  std::atomic<int> results[kThreads];
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; i++) {
    results[i] = 0;
    threads.push_back(RunJava("work", "(I)I", &results[i], {40}));
  }
  AsClient(agent, [&] {
    std::set<VMThread*> stopped;
    int stops = 0;
    for (;;) {
      int32_t kind = NextEvent(agent, 20000);
      ASSERT_NE(0, kind);
      if (kind == VMDebugger::EventBreakpoint && agent->GetCurrentFrame()->method == bump) {
        VMByteCodeFrame* f = agent->GetCurrentFrame();
        EXPECT_EQ(at, f->GetPC(false));
        stopped.insert(f->thread);
        stops++;
        if (stopped.size() == kThreads || stops == 400) {
          agent->BreakClear(bump, at);
          agent->EventRemove();
          break;
        }
      }
      agent->EventRemove();
    }
    EXPECT_EQ((size_t)kThreads, stopped.size());
    // Stops of other threads already on their way are still handed over, one by one.
    while (int32_t kind = NextEvent(agent, 500)) agent->EventRemove(), (void)kind;
    JoinOutside(threads);
  });
  for (int i = 0; i < kThreads; i++) EXPECT_EQ(40 * 41 / 2, results[i].load()) << i;
  JNI_DebugDetach(agent);
}

TEST_F(BreakTest, CaughtExceptionsWhenAskedAndUncaughtOnesLeavingJava) {
  Watchdog dog(120, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* catcher = Method("catcher", "()I");
  VMMethod* uncaught = Method("uncaught", "()I");
  jclass illegalState = env->functions->FindClass(env, "java/lang/IllegalStateException");
  jclass illegalArgument = env->functions->FindClass(env, "java/lang/IllegalArgumentException");
  std::atomic<int> result{0};
  // Threads are no longer asked to report their arrival once the client has removed
  // an event.
  agent->EventRemove();
  // Not asked for: a caught exception stops nobody.
  std::thread h = RunJava("catcher", "()I", &result);
  JoinOutside(h);
  EXPECT_EQ(1, result.load());
  agent->SetReportCatch();
  h = RunJava("catcher", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventCaught, NextEvent(agent));
    EXPECT_EQ((VMObject*)VMJniUnHandleClass(env, illegalState), agent->EventGet());
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    EXPECT_EQ(catcher, f->method);
    // Shown at the handler, the exception on its stack.
    EXPECT_EQ((VMObject*)VMJniUnHandleClass(env, illegalState), ((VMObject*)f->stack[-1])->GetClass());
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(1, result.load());
  agent->ClearReportCatch();
  h = RunJava("uncaught", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventUncaught, NextEvent(agent));
    EXPECT_EQ((VMObject*)VMJniUnHandleClass(env, illegalArgument), agent->EventGet());
    EXPECT_EQ(uncaught, agent->GetCurrentFrame()->method);
    // A throwing frame's pc lies just past the instruction that threw.
    VMByteCodeFrame* f = agent->GetCurrentFrame();
    EXPECT_NE(0u, f->flags & VMFrame::ThrowingFlag);
    EXPECT_EQ(Line("uncaught-throw"), VMDebugger::FindLineNumber(f->method, f->GetPC(true)));
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(-1, result.load());
  // Leaving Java code that a native runs, with Java code below the native, is not
  // leaving the thread's Java code: the caller catches it.
  h = RunJava("initialiseBad", "()I", &result);
  AsClient(agent, [&] {
    EXPECT_EQ(0, NextEvent(agent, 2000));
    JoinOutside(h);
  });
  EXPECT_EQ(1, result.load());
  JNI_DebugDetach(agent);
}

TEST_F(BreakTest, AThreadRunningWhenTheDebuggerComesIsCaughtAtItsNextPoll) {
  Watchdog dog(120, "breakpoint test");
  std::atomic<int> result{0};
  // Started before any agent: it runs the plain loops.
  std::thread h = RunJava("spin", "()I", &result);
  VMMethod* bump = Method("bump", "(I)I");
  usleep(100000);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMThread* spinner = nullptr;
  for (uint32_t i = 1; i < jvm->vm->GetThreads()->GetCount(); i++) {
    VMThread* t = jvm->vm->GetThreads()->Get(i);
    if (t != nullptr && t->GetEnv() != nullptr && t->GetEnv() != env) spinner = t;
  }
  ASSERT_NE(nullptr, spinner);
  agent->RequestThreadAttach(spinner);
  uint32_t at = PcOfLine(bump, Line("bump-body"));
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    EXPECT_EQ(spinner, agent->ThreadCurrent());
    ASSERT_TRUE(agent->BreakSet(bump, at));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    EXPECT_EQ(bump, agent->GetCurrentFrame()->method);
    agent->BreakClear(bump, at);
    agent->EventRemove();
  });
  // Leaving: the thread goes back to the plain loops and runs to the end when told.
  JNI_DebugDetach(agent);
  env->functions->CallStaticVoidMethod(env, program, env->functions->GetStaticMethodID(env, program, "release", "()V"));
  JoinOutside(h);
  EXPECT_GE(result.load(), 0);
}

TEST_F(BreakTest, AnotherMachineOnTheNameSpaceRunsPatchedCodeWithoutStopping) {
  Watchdog dog(120, "breakpoint test");
  JNIEnv* otherEnv = nullptr;
  JavaVM* other = Create("other", &otherEnv, jvm);
  ASSERT_NE(nullptr, other);
  refhost::Functions()->SetCurrentEnv(env);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  // The other machine has an agent too, attached but never connected.
  void* idle = JNI_DebugAttach("other");
  ASSERT_NE(nullptr, idle);
  refhost::Functions()->SetCurrentEnv(env);
  VMMethod* sum = Method("sum", "(I)I");
  uint32_t loop = PcOfLine(sum, Line("sum-loop"));
  ASSERT_TRUE(agent->BreakSet(sum, loop));
  std::atomic<int> elsewhere{0};
  std::atomic<int> here{0};
  // This thread is attached to the other machine too, where it does nothing while that
  // machine's thread runs: the collections there must not wait for it.
  VMThread* selfThere = otherEnv->thread;
  VM::EnterSafeRegion(selfThere);
  std::thread o = RunJava("run", "()I", &elsewhere, {}, other);
  std::thread h = RunJava("run", "()I", &here);
  AsClient(agent, [&] {
    JoinOutside(o);
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    EXPECT_EQ(sum, agent->GetCurrentFrame()->method);
    agent->BreakClear(sum, loop);
    agent->EventRemove();
    JoinOutside(h);
  });
  VM::LeaveSafeRegion(selfThere);
  EXPECT_EQ(45, elsewhere.load());
  EXPECT_EQ(45, here.load());
  JNI_DebugDetach(agent);
  JNI_DebugDetach(idle);
  refhost::Functions()->SetCurrentEnv(otherEnv);
  EXPECT_EQ(0, other->functions->DestroyJavaVM(other));
  refhost::Functions()->SetCurrentEnv(env);
}

}  // namespace

namespace {

TEST_F(BreakTest, ALoaderThatGoesTakesItsBreakpointsAndWatchesWithIt) {
  Watchdog dog(120, "breakpoint test");
  // Other is found through the test's own loader alone.
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  refhost::SetClassPath((void*)9, std::string(PUX_BUILD_DIR) + "/testclasses/debugger");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  jobject loader = JNI_CreateClassLoaderLite(env, (void*)9);
  ASSERT_NE(nullptr, loader);
  jclass theirs = env->functions->FindClassInObjectLoader(env, "dbgtest/Other", loader);
  ASSERT_NE(nullptr, theirs);
  ASSERT_NE(VMJniUnHandleClass(env, theirs), VMJniUnHandleClass(env, program));
  VMMethod* sum = UnHandleMethod(env, env->functions->GetStaticMethodID(env, theirs, "sum", "(I)I"));
  VMMethod* ours = Method("sum", "(I)I");
  VMDataMember* counter = UnHandleField(env, env->functions->GetStaticFieldID(env, theirs, "counter", "I"));
  VMDataMember* ourCounter = UnHandleField(env, env->functions->GetStaticFieldID(env, program, "counter", "I"));
  ASSERT_TRUE(sum && ours && counter && ourCounter);
  VMObject* statics = ((VMLoadableClass*)VMJniUnHandleClass(env, theirs))->GetInitializedStaticData(jvm->vm);
  VMObject* ourStatics = ((VMLoadableClass*)VMJniUnHandleClass(env, program))->GetInitializedStaticData(jvm->vm);
  ASSERT_TRUE(statics && ourStatics);
  ASSERT_TRUE(agent->BreakSet(sum, 0));
  ASSERT_TRUE(agent->BreakSet(ours, 0));
  ASSERT_TRUE(agent->BreakSetWriteBody(statics, counter->GetIndex() * 4, 4));
  ASSERT_TRUE(agent->BreakSetWriteBody(ourStatics, ourCounter->GetIndex() * 4, 4));
  // The class goes with its loader: no reference of the test's may name it after.
  env->functions->DeleteLocalRef(env, theirs);
  JNI_DestroyClassLoaderLite(env, loader);
  env->functions->DeleteLocalRef(env, loader);
  // What went with the loader is no longer patched or watched; the rest stays.
  int breaks = 0, watches = 0;
  for (VMDebuggerCodeBreakpoint* b = agent->GetCodeBreaks(); b != nullptr; b = b->GetNext())
    breaks++;
  for (VMDebuggerDataBreakpoint* d = agent->GetDataBreaks(); d != nullptr; d = d->GetNext())
    watches++;
  EXPECT_EQ(1, breaks);
  EXPECT_EQ(1, watches);
  EXPECT_EQ(0xCA, CodeAt(ours, 0));
  // The watches left are read at every instruction of a watched thread, and cleared at
  // the end, without touching what was freed.
  std::atomic<int> result{0};
  agent->EventRemove();
  agent->BreakClear(ours, 0);
  std::thread h = RunJava("watch", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent));
    EXPECT_EQ(7u, ourStatics->GetWord(ourCounter->GetIndex()));
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(54, result.load());
  JNI_DebugDetach(agent);
  EXPECT_EQ(nullptr, jvm->nameSpace->GetBreakOpcodes());
  refhost::SetClassPath((void*)9, "");
}

}  // namespace

namespace {

/* The machine's attached thread that is not the test's own and runs Java. */
std::vector<VMThread*> OtherThreads(JavaVM* jvm, JNIEnv* mine) {
  std::vector<VMThread*> found;
  for (uint32_t i = 1; i < jvm->vm->GetThreads()->GetCount(); i++) {
    VMThread* t = jvm->vm->GetThreads()->Get(i);
    if (t != nullptr && t->GetEnv() != nullptr && t->GetEnv() != mine) found.push_back(t);
  }
  return found;
}

/* Two threads that run the plain loops, started before any debugger: one calls a
   method, the other only loops. Watched but still in a plain loop (held there, see
   WatchInPlainLoop), one meets a breakpoint and the other, parked, is asked a step; after
   a detach both run unwatched, and an interrupt the client sends then is reported by the
   looper once it is brought under the agent, though no arrival is due from it: it goes
   over to the debugging loop at its next poll. */
TEST_F(BreakTest, WatchedThreadsStillInAPlainLoopStopAtBreakpointsStepsAndInterrupts) {
  Watchdog dog(120, "breakpoint test");
  std::atomic<int> calls{0};
  std::atomic<int> local{0};
  std::thread a = RunJava("spin", "()I", &calls);
  std::vector<VMThread*> before = OtherThreads(jvm, env);
  ASSERT_EQ(1u, before.size());
  VMThread* caller = before[0];
  std::thread c = RunJava("spinLocal", "()I", &local);
  std::vector<VMThread*> after = OtherThreads(jvm, env);
  ASSERT_EQ(2u, after.size());
  VMThread* looper = after[0] == caller ? after[1] : after[0];
  VMMethod* bump = Method("bump", "(I)I");
  VMMethod* spinLocal = Method("spinLocal", "()I");
  jmethodID release = env->functions->GetStaticMethodID(env, program, "release", "()V");
  VMObject* statics = ((VMLoadableClass*)VMJniUnHandleClass(env, program))->GetInitializedStaticData(jvm->vm);
  VMDataMember* counter = UnHandleField(env, env->functions->GetStaticFieldID(env, program, "counter", "I"));
  ASSERT_TRUE(statics && counter);
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  // Once the client has removed an event, nothing is due from a thread it watches.
  agent->EventRemove();
  WatchInPlainLoop(caller);
  uint32_t at = PcOfLine(bump, Line("bump-body"));
  AsClient(agent, [&] {
    Idle(50000);
    EXPECT_EQ(0, NextEvent(agent, 100));
    // A breakpoint met in a plain loop by a watched thread stops it there.
    ASSERT_TRUE(agent->BreakSet(bump, at));
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent, 5000));
    EXPECT_EQ(caller, agent->ThreadCurrent());
    EXPECT_EQ(bump, agent->GetCurrentFrame()->method);
    EXPECT_EQ(at, agent->GetCurrentFrame()->GetPC(false));
    agent->BreakClear(bump, at);
    // The other thread parks in its plain loop; a step asked of it is carried out.
    for (int i = 0; i < 2000 && !looper->GetPausedForDebugger(); i++) Idle(1000);
    ASSERT_TRUE(looper->GetPausedForDebugger());
    WatchInPlainLoop(looper);
    agent->ThreadTrace(looper, 0, 0);
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventStep, NextEvent(agent, 5000)) << "the step of a parked thread was lost";
    EXPECT_EQ(looper, agent->ThreadCurrent());
    EXPECT_EQ(spinLocal, agent->GetCurrentFrame()->method);
    agent->EventRemove();
  });
  JNI_DebugDetach(agent);
  EXPECT_EQ(0u, caller->GetEnv()->debug & 0xFF);
  EXPECT_EQ(0u, looper->GetEnv()->debug & 0xFF);
  // Out of its last stop, each leaves the debugging loop at its next instruction.
  for (int i = 0; i < 2000 && (looper->GetPausedForDebugger() || caller->GetPausedForDebugger()); i++) Idle(1000);
  Idle(50000);
  agent = Attach();
  ASSERT_NE(nullptr, agent);
  agent->EventRemove();
  AsClient(agent, [&] {
    // Sent while the looper runs its plain loop, and waiting while a watch is set; the
    // caller is watched by nobody and never sees it.
    ASSERT_TRUE(agent->BreakSetWriteBody(statics, counter->GetIndex() * 4, 4));
    agent->Interrupt(true);
    agent->RequestThreadAttach(looper);
    EXPECT_EQ(0, NextEvent(agent, 300));
    agent->ClearDataBreaks();
    ASSERT_EQ(VMDebugger::EventInterrupt, NextEvent(agent, 5000)) << "the looper never left its plain loop";
    EXPECT_FALSE(agent->GetInterruptPending());
    EXPECT_EQ(looper, agent->ThreadCurrent());
    EXPECT_EQ(spinLocal, agent->GetCurrentFrame()->method);
    agent->EventRemove();
    EXPECT_EQ(0, NextEvent(agent, 300)) << "one request, one stop";
  });
  JNI_DebugDetach(agent);
  env->functions->CallStaticVoidMethod(env, program, release);
  JoinOutside(a);
  JoinOutside(c);
  EXPECT_GE(calls.load(), 0);
  EXPECT_GE(local.load(), 0);
}

}  // namespace

namespace {

void HOSTCALL MoveWord(void** word, void* heap) { refhost::RelocateWord(word, heap); }
void MoveBlock(void*, void* newBlock, void* heap) { JNI_Relocate(newBlock, heap, MoveWord); }

TEST_F(BreakTest, TheHostMovesTheMachineWhileAThreadIsStoppedAndTheStopAndItsWatchesFollow) {
  Watchdog dog(120, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* sum = Method("sum", "(I)I");
  uint32_t loop = PcOfLine(sum, Line("sum-loop"));
  ASSERT_TRUE(agent->BreakSet(sum, loop));
  agent->EventRemove();
  std::atomic<int> result{0};
  std::thread h = RunJava("run", "()I", &result);
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    agent->BreakClear(sum, loop);
    ASSERT_TRUE(agent->BreakSetWriteLocal(agent->GetCurrentFrame(), 1, 4));
  });
  // Every block of the machine's heap moves (this thread's record too); the old copies
  // go once it is done.
  HHeap* heap = jvm->vm->GetHeap();
  EXPECT_GT(refhost::RelocateHeap(heap), 20u);
  refhost::ForEachRelocated(heap, MoveBlock, heap);
  JNI_RelocationDone(jvm, heap, MoveWord);
  refhost::FinishRelocation(heap);
  VMDebugger* moved = jvm->vm->GetDebugger();
  ASSERT_NE(nullptr, moved);
  EXPECT_NE(agent, moved);
  agent = moved;
  AsClient(agent, [&] {
    VMByteCodeFrame* f;
    f = agent->GetCurrentFrame();
    EXPECT_EQ(sum, f->method);
    EXPECT_EQ(loop, f->GetPC(false));
    EXPECT_EQ(10u, f->locals[0]);
    agent->EventRemove();
    // The watched local is found in the moved frame: its first change is seen.
    ASSERT_EQ(VMDebugger::EventWatch, NextEvent(agent));
    f = agent->GetCurrentFrame();
    EXPECT_EQ(sum, f->method);
    EXPECT_EQ(1u, f->locals[1]);
    EXPECT_EQ(1u, f->locals[2]);
    agent->ClearDataBreaks();
    VMMethod* run = Method("run", "()I");
    uint32_t back = PcOfLine(run, Line("run-return"));
    ASSERT_TRUE(agent->BreakSet(run, back));
    agent->EventRemove();
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    f = agent->GetCurrentFrame();
    EXPECT_EQ(run, f->method);
    EXPECT_EQ(45u, f->locals[0]);
    agent->BreakClear(run, back);
    agent->EventRemove();
    JoinOutside(h);
  });
  EXPECT_EQ(45, result.load());
  JNI_DebugDetach(agent);
}

}  // namespace

namespace {

/* The first pc at or after from that holds op (the loop's store of Target.watch). */
uint32_t Find(VMMethod* method, uint32_t from, uint8_t op) {
  for (uint32_t pc = from; pc < method->GetCode()->GetSize(); pc++)
    if (CodeAt(method, pc) == op) return pc;
  ADD_FAILURE() << "no opcode " << (int)op;
  return 0;
}

TEST_F(BreakTest, ABreakpointOnAQuickenedOrQuickenableInstructionStopsEveryTime) {
  Watchdog dog(120, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  agent->EventRemove();
  VMMethod* watch = Method("watch", "()I");
  uint32_t store = Find(watch, PcOfLine(watch, Line("watch-field")), OP_putfield);
  uint32_t statics = Find(watch, PcOfLine(watch, Line("watch-static")), OP_putstatic);
  // First on the slow forms, which their first run would rewrite; then on the quick
  // forms those runs left.
  for (int round = 0; round < 2; round++) {
    uint8_t field = CodeAt(watch, store), stat = CodeAt(watch, statics);
    EXPECT_EQ(round == 0 ? OP_putfield : OP_putfield_quick, field);
    EXPECT_EQ(round == 0 ? OP_putstatic : OP_putstatic_quick, stat);
    ASSERT_TRUE(agent->BreakSet(watch, store));
    ASSERT_TRUE(agent->BreakSet(watch, statics));
    std::atomic<int> result{0};
    std::thread h = RunJava("watch", "()I", &result);
    AsClient(agent, [&] {
      for (int i = 0; i < 5; i++) {
        ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent)) << "round " << round << ", store " << i;
        EXPECT_EQ(store, agent->GetCurrentFrame()->GetPC(false));
        EXPECT_EQ(0xCA, CodeAt(watch, store));
        agent->EventRemove();
      }
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
      EXPECT_EQ(statics, agent->GetCurrentFrame()->GetPC(false));
      agent->BreakClear(watch, store);
      agent->BreakClear(watch, statics);
      // What the breakpoints held goes back, the slow form included.
      EXPECT_EQ(field, CodeAt(watch, store));
      EXPECT_EQ(stat, CodeAt(watch, statics));
      agent->EventRemove();
      JoinOutside(h);
    });
    EXPECT_EQ(54, result.load());
    // Run without breakpoints the instructions take their quick forms.
    EXPECT_EQ(54, env->functions->CallStaticIntMethod(env, program, env->functions->GetStaticMethodID(env, program, "watch", "()I")));
  }
  JNI_DebugDetach(agent);
}

}  // namespace

namespace {

/* A loader goes while another machine of the name space collects without pause: that
   machine's agent holds many breakpoints in the loader's code, and the loader's end
   drops and frees them. Freed while that collection walked them, they would be read
   from freed blocks. The loader is dropped from a thread attached to this machine
   alone, so that nothing it does makes the other machine's collections wait. */
TEST_F(BreakTest, ALoaderThatGoesFreesNoRecordAnotherMachineIsCollecting) {
  Watchdog dog(240, "breakpoint test");
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  refhost::SetClassPath((void*)9, std::string(PUX_BUILD_DIR) + "/testclasses/debugger");
  JNIEnv* otherEnv = nullptr;
  JavaVM* other = Create("other", &otherEnv, jvm);
  ASSERT_NE(nullptr, other);
  refhost::Functions()->SetCurrentEnv(env);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach("other");
  ASSERT_NE(nullptr, agent);
  refhost::Functions()->SetCurrentEnv(env);
  // With a collection at every allocation each record made walks all made before it.
  const bool stress = getenv("PUX_GC_STRESS") != nullptr && atoi(getenv("PUX_GC_STRESS")) != 0;
  const int records = stress ? 2000 : 20000;
  const int rounds = stress ? 8 : 30;
  int fatal = refhost::FatalExitCount();
  std::atomic<bool> collecting{false};
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> collections{0};
  std::thread collector([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, other->functions->AttachCurrentThread(other, &own, nullptr));
    VMThread* self = own->thread;
    while (!stop) {
      if (collecting) {
        other->vm->GarbageCollect(false);
        collections++;
        // A breath between collections, or the dropping thread (which is not attached
        // there, and so polls for its turn) would wait for a free moment for long.
        if (collections % 4 == 0) usleep(1000);
      } else {
        VM::EnterSafeRegion(self);
        while (!collecting && !stop) usleep(50);
        VM::LeaveSafeRegion(self);
      }
    }
    EXPECT_EQ(0, other->functions->DetachCurrentThread(other));
  });
  // This thread is attached to the other machine too, where it only waits from here on
  // but for its carried client calls.
  VMThread* selfThere = otherEnv->thread;
  VM::EnterSafeRegion(selfThere);
  for (int round = 0; round < rounds && refhost::FatalExitCount() == fatal; round++) {
    SCOPED_TRACE(round);
    jobject loader = JNI_CreateClassLoaderLite(env, (void*)9);
    ASSERT_NE(nullptr, loader);
    jclass theirs = env->functions->FindClassInObjectLoader(env, "dbgtest/Other", loader);
    ASSERT_NE(nullptr, theirs);
    VMMethod* sum = UnHandleMethod(env, env->functions->GetStaticMethodID(env, theirs, "sum", "(I)I"));
    ASSERT_NE(nullptr, sum);
    env->functions->DeleteLocalRef(env, theirs);
    env->functions->DeleteLocalRef(env, loader);
    VM::LeaveSafeRegion(selfThere);
    {
      VMDebuggerCall call;
      ASSERT_TRUE(call.Begin(agent, true));
      for (int i = 0; i < records; i++) ASSERT_TRUE(agent->BreakSet(sum, 0, nullptr));
      call.End();
    }
    refhost::Functions()->SetCurrentEnv(env);
    VM::EnterSafeRegion(selfThere);
    ASSERT_NE(nullptr, agent->GetCodeBreaks());
    uint32_t before = collections;
    collecting = true;
    WhileOutside([&] {
      while (collections == before) usleep(50);
    });
    std::thread destroyer([&] {
      JNIEnv* own = nullptr;
      ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
      jobject mine = JNI_FindClassLoaderLite(own, (void*)9);
      EXPECT_NE(nullptr, mine);
      if (mine != nullptr) JNI_DestroyClassLoaderLite(own, mine);
      // Gone: a loader still in use would have stayed listed, and the round prove nothing.
      EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(own, (void*)9));
      EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
    });
    JoinOutside(destroyer);
    refhost::Functions()->SetCurrentEnv(env);
    collecting = false;
    EXPECT_EQ(nullptr, agent->GetCodeBreaks());
  }
  stop = true;
  WhileOutside([&] { collector.join(); });
  VM::LeaveSafeRegion(selfThere);
  EXPECT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  JNI_DebugDetach(agent);
  refhost::Functions()->SetCurrentEnv(otherEnv);
  EXPECT_EQ(0, other->functions->DestroyJavaVM(other));
  refhost::Functions()->SetCurrentEnv(env);
  refhost::SetClassPath((void*)9, "");
}

/* Breakpoints after a tableswitch and a lookupswitch: the instruction after them is a
   start, and no byte of their tables is. */
TEST_F(BreakTest, ABreakpointAfterSwitchesLandsOnItsInstructionAndNeverInTheirTables) {
  Watchdog dog(120, "breakpoint test");
  VMDebugger* agent = Attach();
  ASSERT_NE(nullptr, agent);
  VMMethod* pick = Method("pick", "(I)I");
  ASSERT_NE(nullptr, pick);
  std::atomic<int> result{0};
  std::thread h = RunJava("pick", "(I)I", &result, {2, 7});
  AsClient(agent, [&] {
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent));
    uint32_t after = PcOfLine(pick, Line("pick-after"));
    uint32_t size = pick->GetCode()->GetSize();
    // Each switch's operands (padding, default, bounds or pair count, table: in host
    // order, as loading left them) end where the next instruction starts.
    std::vector<uint32_t> switches;
    for (uint32_t pc = 0; pc < after; pc++) {
      uint8_t op = CodeAt(pick, pc);
      if ((op == 0xAA || op == 0xAB) && agent->BreakSet(pick, pc)) {
        switches.push_back(pc);
        agent->BreakClear(pick, pc);
      }
    }
    ASSERT_EQ(2u, switches.size()) << "both switches are instruction starts";
    auto s4 = [&](uint32_t at) {
      uint32_t v = 0;
      for (uint32_t i = 0; i < 4; i++) v |= (uint32_t)CodeAt(pick, at + i) << (8 * i);
      return (int32_t)v;
    };
    for (uint32_t s : switches) {
      uint32_t p = (s + 4) & ~3u;
      uint32_t end = CodeAt(pick, s) == 0xAA ? p + 12 + 4 * (uint32_t)(s4(p + 8) - s4(p + 4) + 1)
                                             : p + 8 + 8 * (uint32_t)s4(p + 4);
      ASSERT_LE(end, after);
      for (uint32_t pc = s + 1; pc < end; pc++) {
        uint8_t before = CodeAt(pick, pc);
        EXPECT_FALSE(agent->BreakSet(pick, pc)) << "a breakpoint in the switch at " << s << ", at " << pc;
        EXPECT_EQ(before, CodeAt(pick, pc));
      }
      EXPECT_TRUE(agent->BreakSet(pick, end)) << "the instruction after the switch at " << s;
      agent->BreakClear(pick, end);
    }
    ASSERT_LT(after, size);
    ASSERT_TRUE(agent->BreakSet(pick, after));
    agent->EventRemove();
    for (int i = 0; i < 2; i++) {
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextEvent(agent)) << "stop " << i;
      VMByteCodeFrame* f = agent->GetCurrentFrame();
      ASSERT_NE(nullptr, f);
      EXPECT_EQ(pick, f->method);
      EXPECT_EQ(after, f->GetPC(false));
      agent->EventRemove();
    }
    agent->BreakClear(pick, after);
    JoinOutside(h);
  });
  EXPECT_EQ(5 + 4 + 7, result.load());
  JNI_DebugDetach(agent);
}

}  // namespace

