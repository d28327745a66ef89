/* The host moves the machine while threads wait for the debugger: a thread parked for
   another's stop, a client blocked waiting for an event, and the client's agent pointer,
   which the host translates as it does any pointer into the heap it moved. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "debug_client.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_support.h"
#include "vmthread.h"

using namespace dbgclient;

namespace {

void HOSTCALL RelocMoveWord(void** word, void* heap) { refhost::RelocateWord(word, heap); }
void RelocMoveBlock(void*, void* newBlock, void* heap) { JNI_Relocate(newBlock, heap, RelocMoveWord); }

/* A machine named `name` over the debugger's test classes, on the calling thread. */
bool CreateMachine(const char* name, JavaVM** jvm, JNIEnv** env) {
  refhost::ResetHooks();
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip:" + std::string(PUX_BUILD_DIR) +
                                     "/testclasses/debugger");
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = name;
  return JNI_CreateJavaVM(jvm, env, &args) == 0;
}

/* One thread stands at a breakpoint (in the debugging loop), a second is parked for it, and the client waits between requests while the host moves every block of the
   machine, thread records and the agent included. */
TEST(MoveTest, AThreadParkedForAStopSurvivesTheHostMovingTheMachine) {
  Watchdog dog(120);
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  ASSERT_TRUE(CreateMachine("reloc", &jvm, &env));
  jclass target = (jclass)env->functions->NewGlobalRef(env, env->functions->FindClass(env, "dbgtest/Target"));
  ASSERT_NE(nullptr, target);
  void* agent = JNI_DebugAttach("reloc");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));

  std::atomic<int> arrivals{0};
  std::atomic<bool> stopped{false};
  std::atomic<bool> go{false};
  std::atomic<void*> current{agent};
  // The client: lets the spinner's arrival go, and holds the program's once the spinner
  // is parked for it.
  std::thread client([&] {
    Client c(agent);
    for (;;) {
      int32_t kind = c.EventPending(true);
      if (kind == VMDebugger::EventClassLoad) {
        c.EventRemove();
        continue;
      }
      ASSERT_EQ(VMDebugger::EventBreakpoint, kind);
      if (++arrivals == 2) break;
      c.EventRemove();
    }
    stopped = true;
    while (!go.load()) usleep(1000);
    Client moved(current.load());
    // The stopped thread's frames on the moved machine.
    int32_t frame = moved.ThreadFrame(moved.ThreadCurrent());
    EXPECT_NE(0, frame);
    EXPECT_EQ(0, moved.FramePC(frame));
    moved.EventRemove();
  });
  std::atomic<VMThread*> spinning{nullptr};
  std::thread spinner([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    jclass cls = target;
    jmethodID spin = own->functions->GetStaticMethodID(own, cls, "spin", "()I");
    spinning = own->thread;
    (void)own->functions->CallStaticIntMethod(own, cls, spin);
    EXPECT_FALSE(own->functions->ExceptionCheck(own));
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  WhileOutside([&] {
    while (arrivals.load() < 1 || spinning.load() == nullptr) usleep(1000);
    usleep(200 * 1000);
  });
  // The program stops at the first instruction of Target.sum.
  VMMethod* sum = vmjni::UnHandleMethod(env, env->functions->GetStaticMethodID(env, target, "sum", "(I)I"));
  ASSERT_NE(nullptr, sum);
  {
    VMDebuggerCall call;
    ASSERT_TRUE(call.Begin(agent, true));
    EXPECT_TRUE(((VMDebugger*)agent)->BreakSet(sum, 0));
    call.End();
  }
  std::thread program([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    jclass cls = target;
    jmethodID run = own->functions->GetStaticMethodID(own, cls, "run", "()I");
    EXPECT_EQ(45, own->functions->CallStaticIntMethod(own, cls, run));
    // Ends the spinner's loop.
    own->functions->CallStaticVoidMethod(own, cls, own->functions->GetStaticMethodID(own, cls, "release", "()V"));
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  WhileOutside([&] {
    while (!stopped.load() || !spinning.load()->GetPausedForDebugger()) usleep(1000);
  });
  // The stopped thread takes its frame up again after the move, where the breakpoint
  // would stop it once more.
  {
    VMDebuggerCall call;
    ASSERT_TRUE(call.Begin(agent, true));
    ((VMDebugger*)agent)->BreakClear(sum, 0);
    call.End();
  }
  HHeap* heap = jvm->vm->GetHeap();
  EXPECT_GT(refhost::RelocateHeap(heap), 20u);
  refhost::ForEachRelocated(heap, RelocMoveBlock, heap);
  JNI_RelocationDone(jvm, heap, RelocMoveWord);
  refhost::FinishRelocation(heap);
  current = jvm->vm->GetDebugger();
  ASSERT_NE(agent, current.load()) << "the agent did not move";
  // The parked spinner wakes from its next park step (300 ms) on the moved machine.
  WhileOutside([&] { usleep(700 * 1000); });
  go = true;
  JoinOutside(client);
  JoinOutside(program);
  JoinOutside(spinner);
  JNI_DebugDetach(current.load());
  refhost::Functions()->SetCurrentEnv(env);
  EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
  refhost::ResetHooks();
}

}  // namespace

namespace {

/* The client blocks in request 20 (wait 1) while the host moves the machine; the next
   event wakes it on the moved machine. */
TEST(MoveTest, AClientWaitingForAnEventSurvivesTheHostMovingTheMachine) {
  Watchdog dog(120);
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  ASSERT_TRUE(CreateMachine("reloc2", &jvm, &env));
  void* agent = JNI_DebugAttach("reloc2");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  std::atomic<bool> blocking{false};
  std::atomic<int> woke{-1};
  std::thread client([&] {
    Client c(agent);
    // Nothing is stored: the wait blocks until the next event.
    EXPECT_EQ(0, c.EventPending(false));
    blocking = true;
    woke = c.EventPending(true);
  });
  WhileOutside([&] {
    while (!blocking.load()) usleep(1000);
    usleep(300 * 1000);
  });
  HHeap* heap = jvm->vm->GetHeap();
  EXPECT_GT(refhost::RelocateHeap(heap), 20u);
  refhost::ForEachRelocated(heap, RelocMoveBlock, heap);
  JNI_RelocationDone(jvm, heap, RelocMoveWord);
  refhost::FinishRelocation(heap);
  // A class load wakes the client.
  jclass probe = env->functions->FindClass(env, "dbgtest/Other");
  (void)probe;
  JoinOutside(client);
  EXPECT_EQ(VMDebugger::EventClassLoad, woke.load());
  JNI_DebugDetach(jvm->vm->GetDebugger());
  refhost::Functions()->SetCurrentEnv(env);
  EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
  refhost::ResetHooks();
}

}  // namespace

namespace {

/* The agent is a block of the heap the host moves: the host translates the pointer it
   handed the client, and the translated pointer serves requests and detaches. */
TEST(MoveTest, AClientPointerTranslatedByTheHostServesAndDetachesAfterAMove) {
  Watchdog dog(120);
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  ASSERT_TRUE(CreateMachine("reloc3", &jvm, &env));
  void* agent = JNI_DebugAttach("reloc3");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  HHeap* heap = jvm->vm->GetHeap();
  EXPECT_GT(refhost::RelocateHeap(heap), 20u);
  refhost::ForEachRelocated(heap, RelocMoveBlock, heap);
  JNI_RelocationDone(jvm, heap, RelocMoveWord);
  void* translated = agent;
  RelocMoveWord(&translated, heap);
  refhost::FinishRelocation(heap);
  ASSERT_EQ((void*)jvm->vm->GetDebugger(), translated);
  ASSERT_NE(agent, translated) << "the agent did not move";
  std::thread client([&] {
    EXPECT_EQ(0u, Send(translated, Request(15)).announced);
    EXPECT_EQ(1u, Send(translated, Request(14)).announced);
  });
  JoinOutside(client);
  std::thread leaver([&] { JNI_DebugDetach(translated); });
  JoinOutside(leaver);
  EXPECT_EQ(nullptr, jvm->vm->GetDebugger());
  refhost::Functions()->SetCurrentEnv(env);
  EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
  refhost::ResetHooks();
}

}  // namespace

namespace {

/* ---- a reporter held with the event lock until a second one comes for it ---- */

jboolean(HOSTCALL* gRealMutexLock)(void*) = nullptr;
void* gEventLock = nullptr;
thread_local bool tlsReporter = false;
std::atomic<int> gReporters{0};

/* The first reporter to take the agent's event lock keeps it (up to 10 s) until a second
   reporter asks for it, so that the second waits for the first's event to end. */
jboolean HOSTCALL HeldEventLock(void* m) {
  if (!tlsReporter || m != gEventLock) return gRealMutexLock(m);
  if (++gReporters == 1) {
    jboolean had = gRealMutexLock(m);
    for (int i = 0; i < 10000 && gReporters.load() < 2; i++) usleep(1000);
    return had;
  }
  return gRealMutexLock(m);
}

/* The client's view of the stopped thread: at pc 0 of run (its arrival) or of sum, which
   run called. Answers the method's name. */
std::string StoppedAt(Client& c, int round) {
  int32_t frame = c.ThreadFrame(c.ThreadCurrent());
  EXPECT_NE(0, frame) << "round " << round;
  if (frame == 0) return "";
  std::string name = c.MethodName(c.FrameMethod(frame));
  EXPECT_EQ(0, c.FramePC(frame)) << "round " << round << " in " << name;
  if (name == "sum") {
    int32_t caller = c.FrameCaller(frame);
    EXPECT_NE(0, caller) << "round " << round;
    if (caller != 0) {
      EXPECT_EQ("run", c.MethodName(c.FrameMethod(caller))) << "round " << round;
    }
  } else {
    EXPECT_EQ("run", name) << "round " << round;
  }
  return name;
}

/* Two threads reach a breakpoint together: the first's event is stored, and the second
   waits declared for the event lock while the client looks at the first and the host
   moves every block of the machine, the agent, both records and their frames included.
   Then the first is let go, and the second's event shows its own frame on the moved
   machine. Three rounds. (The second reporter went on with the agent, the machine and
   the frame of the old copy: SIGSEGV at 0xdddddddd, use-after-poison in the sanitizer
   build.) */
TEST(MoveTest, ASecondReporterWaitingForTheEventLockReportsOnTheMovedMachine) {
  Watchdog dog(300);
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  ASSERT_TRUE(CreateMachine("reloc4", &jvm, &env));
  jclass target = (jclass)env->functions->NewGlobalRef(env, env->functions->FindClass(env, "dbgtest/Target"));
  ASSERT_NE(nullptr, target);
  void* agent = JNI_DebugAttach("reloc4");
  ASSERT_NE(nullptr, agent);
  ASSERT_EQ(0, JNI_DebugEventPending(agent));
  VMMethod* sum = vmjni::UnHandleMethod(env, env->functions->GetStaticMethodID(env, target, "sum", "(I)I"));
  ASSERT_NE(nullptr, sum);
  {
    VMDebuggerCall call;
    ASSERT_TRUE(call.Begin(agent, true));
    EXPECT_TRUE(((VMDebugger*)agent)->BreakSet(sum, 0));
    call.End();
  }
  JNIHostFunctions* host = refhost::Functions();
  gRealMutexLock = host->MutexLock;
  gEventLock = ((VMDebugger*)agent)->GetAddEventMutex();
  host->MutexLock = HeldEventLock;
  for (int round = 0; round < 3; round++) {
    gReporters = 0;
    std::atomic<bool> firstSeen{false};
    std::atomic<bool> go{false};
    std::atomic<void*> current{agent};
    // A new thread stops on arrival (run at pc 0), then at the breakpoint.
    std::atomic<int> sums{0};
    std::atomic<int> ended{0};
    std::thread client([&] {
      int breakpoints = 0;
      for (;;) {
        Client c(breakpoints == 0 ? agent : current.load());
        int32_t kind = c.EventPending(false);
        if (kind == 0) {
          if (ended.load() == 2) break;
          usleep(1000);
          continue;
        }
        if (kind == VMDebugger::EventClassLoad) {
          c.EventRemove();
          continue;
        }
        ASSERT_EQ(VMDebugger::EventBreakpoint, kind) << "round " << round;
        if (++breakpoints == 1) {
          (void)StoppedAt(c, round);
          firstSeen = true;
          while (!go.load()) usleep(1000);
        }
        Client moved(current.load());
        std::string at = StoppedAt(moved, round);
        if (at == "sum") sums++;
        moved.EventRemove();
      }
    });
    std::vector<std::thread> reporters;
    for (int i = 0; i < 2; i++) {
      reporters.emplace_back([&] {
        JNIEnv* own = nullptr;
        ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
        tlsReporter = true;
        jmethodID run = own->functions->GetStaticMethodID(own, target, "run", "()I");
        EXPECT_EQ(45, own->functions->CallStaticIntMethod(own, target, run));
        EXPECT_FALSE(own->functions->ExceptionCheck(own));
        tlsReporter = false;
        EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
        ended++;
      });
    }
    bool waiting = false;
    WhileOutside([&] {
      for (int i = 0; i < 20000 && !waiting; i++) {
        waiting = firstSeen.load() && gReporters.load() == 2;
        usleep(1000);
      }
      // The second reporter blocks on the lock.
      usleep(50 * 1000);
    });
    ASSERT_TRUE(waiting) << "round " << round << ": no second reporter waited for the event lock";
    HHeap* heap = jvm->vm->GetHeap();
    EXPECT_GT(refhost::RelocateHeap(heap), 20u);
    refhost::ForEachRelocated(heap, RelocMoveBlock, heap);
    JNI_RelocationDone(jvm, heap, RelocMoveWord);
    refhost::FinishRelocation(heap);
    current = jvm->vm->GetDebugger();
    ASSERT_NE(agent, current.load()) << "the agent did not move";
    agent = current.load();
    go = true;
    JoinOutside(client);
    JoinOutside(reporters);
    // A thread stopped during a move takes its instruction up again, and may stop there
    // once more.
    EXPECT_GE(sums.load(), 2) << "round " << round;
  }
  host->MutexLock = gRealMutexLock;
  JNI_DebugDetach(agent);
  refhost::Functions()->SetCurrentEnv(env);
  EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
  refhost::ResetHooks();
}

}  // namespace
