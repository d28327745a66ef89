/* A program of dbgtest that a machine runs on host threads of its own while the test,
   from inside the process, plays the debugger's client: the fixture that makes the
   machine and runs the program, the client's calls and waits, and where a line starts
   or a frame stands by the method's line table. */
#ifndef PUX_TESTS_DEBUGGER_DEBUGGED_PROGRAM_H
#define PUX_TESTS_DEBUGGER_DEBUGGED_PROGRAM_H

#include <gtest/gtest.h>
#include <stdint.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "refhost.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_support.h"
#include "vmthread.h"

/* A machine of that name on the reference host, on the name space of share when one is
   given; null when creation fails. */
inline JavaVM* Create(const char* name, JNIEnv** env, JavaVM* share = nullptr) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = name;
  args.shareNameSpaceOf = share;
  JavaVM* jvm = nullptr;
  return JNI_CreateJavaVM(&jvm, env, &args) == 0 ? jvm : nullptr;
}

/* A machine over the debugger's test classes for each test, destroyed after it, and
   the program class of dbgtest it debugs. */
class DebuggedProgramTest : public ::testing::Test {
 protected:
  DebuggedProgramTest(const char* machineName, const char* className)
      : machineName(machineName), className(className) {}
  void SetUp() override {
    refhost::ResetHooks();
    refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip:" + PUX_BUILD_DIR +
                                       "/testclasses/debugger");
    jvm = Create(machineName, &env);
    ASSERT_NE(nullptr, jvm);
    program = env->functions->FindClass(env, className);
    ASSERT_NE(nullptr, program);
  }
  void TearDown() override {
    if (jvm != nullptr) {
      refhost::Functions()->SetCurrentEnv(env);
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::ResetHooks();
  }
  VMMethod* Method(const char* name, const char* signature) {
    return vmjni::UnHandleMethod(env, env->functions->GetStaticMethodID(env, program, name, signature));
  }
  /* An attached, connected agent. */
  VMDebugger* Attach(JavaVM* machine = nullptr) {
    machine = machine != nullptr ? machine : jvm;
    VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(machine->name);
    EXPECT_NE(nullptr, agent);
    if (agent != nullptr) {
      EXPECT_EQ(0, JNI_DebugEventPending(agent));
    }
    return agent;
  }
  /* Runs the program's static name(args...) once per argument (once without) on a new
     host thread attached to the machine; the last result, or -1 for an exception,
     lands in *out. The thread's record is returned through *record. */
  std::thread RunJava(const char* name, const char* signature, std::atomic<int>* out, std::vector<jint> args = {},
                      JavaVM* machine = nullptr, VMThread** record = nullptr) {
    machine = machine != nullptr ? machine : jvm;
    // Returns once the thread is attached: whether it is asked to report its arrival is
    // settled then, whatever the client does next.
    std::atomic<VMThread*>* attached = new std::atomic<VMThread*>(nullptr);
    std::thread t([machine, programClass = className, name, signature, out, args, attached] {
      JNIEnv* own = nullptr;
      jint status = machine->functions->AttachCurrentThread(machine, &own, nullptr);
      attached->store(status == 0 ? own->thread : (VMThread*)1);
      ASSERT_EQ(0, status);
      jclass cls = own->functions->FindClass(own, programClass);
      jmethodID m = cls != nullptr ? own->functions->GetStaticMethodID(own, cls, name, signature) : nullptr;
      for (size_t i = 0; m != nullptr && i < (args.empty() ? 1 : args.size()); i++) {
        jint r = args.empty() ? own->functions->CallStaticIntMethod(own, cls, m)
                              : own->functions->CallStaticIntMethod(own, cls, m, args[i]);
        if (own->functions->ExceptionCheck(own)) {
          own->functions->ExceptionClear(own);
          r = -1;
        }
        *out = r;
      }
      EXPECT_EQ(0, machine->functions->DetachCurrentThread(machine));
    });
    WhileOutside([&] {
      while (attached->load() == nullptr) usleep(100);
    });
    if (record != nullptr) *record = attached->load();
    delete attached;
    return t;
  }

  const char* machineName;
  const char* className;
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  jclass program = nullptr;
};

/* The test's part of the client, carried as the machine's entries carry a client call:
   attached to the agent's machine and out of any safe region, so that a collection
   another thread starts waits for the call instead of walking the event and class-load
   records it frees; out of the debugger's reach (never parked, no events of its own).
   Only the waits inside it (Idle, JoinOutside) stand in a safe region. */
template <class Body>
void AsClient(VMDebugger* agent, Body body) {
  VMDebuggerCall call;
  ASSERT_TRUE(call.Begin(agent, true)) << "the client call was refused";
  body();
  call.End();
}

/* A pause of the client's, in a safe region: collections go on meanwhile. */
inline void Idle(useconds_t microseconds) {
  WhileOutside([&] { usleep(microseconds); });
}

/* The next stopping event, class loads taken on the way; 0 when none comes in time. */
inline int32_t NextEvent(VMDebugger* agent, int milliseconds = 60000) {
  for (int waited = 0; waited < milliseconds * 5; waited++) {
    int32_t kind = agent->EventPending(false);
    if (kind == VMDebugger::EventClassLoad) {
      (void)agent->EventGet();
      agent->EventRemove();
      continue;
    }
    if (kind != 0) return kind;
    Idle(200);
  }
  return 0;
}

/* With a watch set that thread t trips as it runs: t, in the debugging loop, stops at
   the watch (unseen names the change otherwise missed), then at an interrupt request;
   each stop is t's and is removed. Runs inside a client call. */
inline void StopAtTheWatchThenAtAnInterrupt(VMDebugger* agent, VMThread* t, const char* unseen) {
  int32_t kind = NextEvent(agent, 3000);
  EXPECT_EQ(VMDebugger::EventWatch, kind) << unseen;
  // Cleared while the thread stands: running on, it trips the watch again.
  agent->ClearDataBreaks();
  if (kind != 0) {
    EXPECT_EQ(t, agent->ThreadCurrent());
    agent->EventRemove();
  }
  agent->Interrupt(true);
  kind = NextEvent(agent, 3000);
  EXPECT_EQ(VMDebugger::EventInterrupt, kind) << "the interrupt request was never reported";
  agent->Interrupt(false);
  if (kind != 0) {
    EXPECT_EQ(t, agent->ThreadCurrent());
    agent->EventRemove();
  }
}

/* The first pc of a line. */
inline uint32_t PcOfLine(VMMethod* method, uint32_t line) {
  VMStatus status = 0;
  VMshortArray* table = method->GetLineNumbers(&status);
  uint32_t best = 0xFFFFFFFFu;
  for (uint32_t i = 0; table != nullptr && i + 1 < table->GetSize(); i += 2)
    if ((uint16_t)table->Get(i + 1) == line && (uint16_t)table->Get(i) < best) best = (uint16_t)table->Get(i);
  EXPECT_NE(0xFFFFFFFFu, best) << "no code on line " << line;
  return best;
}

/* The line a frame stands on. */
inline uint32_t LineAt(VMByteCodeFrame* frame) {
  return VMDebugger::FindLineNumber(frame->method, frame->GetPC(false));
}

#endif
