/* The host moves the machine at every declared point it can reach while many threads
   start, wait, sleep, are interrupted, are stopped and end: a mover thread moves it
   whenever every thread the test and the machine started stands inside a host wait or
   sleep (or a blocking lock) with its record declared. The host's services are gated:
   a thread that comes back from one while the machine moves waits until the move is
   done, as a host's own scheduler would hold it. */
#include "jni_support.h"
#include "machine_move.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "vmjni_entries.h"

namespace jni_test {
namespace {

using Ms = std::chrono::milliseconds;

[[noreturn]] void Blocked(const char* what) {
  ADD_FAILURE() << "blocked: " << what;
  printf("BLOCKED: %s\n", what);
  fflush(stdout);
  _exit(1);
}

/* Ends the process with what after ms unless disarmed. */
struct Watchdog {
  std::atomic<bool> done{false};
  std::thread t;
  Watchdog(int ms, const char* what) {
    t = std::thread([this, ms, what] {
      for (int i = 0; i < ms && !done.load(); i++) std::this_thread::sleep_for(Ms(1));
      if (!done.load()) Blocked(what);
    });
  }
  ~Watchdog() {
    done = true;
    t.join();
  }
};

/* ---- the gate ---- */

std::mutex gGate;
int gRunning = 0;                // counted threads outside a gated host call
thread_local bool tlsCounted = false;
JavaVM* gMachine = nullptr;      // the machine the mover moves
std::atomic<bool> gMoverOn{false};
std::atomic<uint32_t> gMoves{0};

JNIHostFunctions gReal;

/* A thread the mover waits for while it runs outside the host's calls. */
struct Counted {
  bool was;
  Counted() : was(tlsCounted) {
    if (was) return;
    std::lock_guard<std::mutex> g(gGate);
    gRunning++;
    tlsCounted = true;
  }
  ~Counted() {
    if (was) return;
    std::lock_guard<std::mutex> g(gGate);
    gRunning--;
    tlsCounted = false;
  }
};

/* Whether the calling thread stands declared in the machine the mover moves. */
bool CallerDeclared() {
  JNIEnv* e = gReal.GetCurrentEnv();
  if (e == nullptr || e->javaVM != gMachine || e->thread == nullptr) return false;
  return (e->thread->GetFlags() & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag)) != 0;
}

/* A host call the mover may move the machine during: any sleep (a thread not attached
   sleeps outside the machine), a wait or a lock only of a declared thread. */
template <class F>
auto Gated(F f, bool sleep = false) -> decltype(f()) {
  if (!tlsCounted || (!sleep && !CallerDeclared())) return f();
  {
    std::lock_guard<std::mutex> g(gGate);
    gRunning--;
  }
  struct Back {
    ~Back() {
      std::lock_guard<std::mutex> g(gGate);
      gRunning++;
    }
  } back;
  return f();
}

void HOSTCALL GatedSleep(jlong ms) {
  Gated([&] { gReal.Sleep(ms); }, true);
}
jint HOSTCALL GatedEventWait(void* ev, jlong ms) {
  return Gated([&] { return gReal.EventWait(ev, ms); });
}
jboolean HOSTCALL GatedMutexLock(void* m) {
  return Gated([&] { return gReal.MutexLock(m); });
}

struct Trampoline {
  JNIHostThreadFn routine;
  void* ctx;
};
jint HOSTCALL CountedBody(void* argument) {
  Trampoline t = *(Trampoline*)argument;
  delete (Trampoline*)argument;
  Counted counted;
  return t.routine(t.ctx);
}
jboolean HOSTCALL CountedStart(JNIHostThreadFn routine, void* ctx, jint flag) {
  Trampoline* t = new Trampoline{routine, ctx};
  // The starter is counted while the host starts the thread: the new one counts itself
  // before it runs a step of the machine.
  jboolean started = gReal.StartThread(CountedBody, t, flag);
  if (!started) delete t;
  return started;
}

/* Under the gate, every counted thread inside a host call: whether each attached thread
   of the machine is declared (not one parked for a collection or running). */
bool AllDeclared(JavaVM* vm) {
  VM* machine = vm->vm;
  if (machine == nullptr) return false;
  VMThreadHandleArray* threads = machine->GetThreads();
  for (uint32_t i = 1; threads != nullptr && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    if (t == nullptr || t->GetEnv() == nullptr) continue;
    VMword flags = t->GetFlags();
    if (flags & VMThread::WaitingForGCFlag) return false;
    if (!(flags & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag))) return false;
  }
  return true;
}

/* Moves the machine whenever everything stands still, until stopped. */
void MoverLoop() {
  while (gMoverOn.load()) {
    {
      std::lock_guard<std::mutex> g(gGate);
      if (getenv("ATK_NOMOVE") == nullptr && gRunning == 0 && gMachine != nullptr && AllDeclared(gMachine) && MoveMachine(gMachine) != 0) gMoves++;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
}

class MovesAttackTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    gReal = *host;
    host->Sleep = GatedSleep;
    host->EventWait = GatedEventWait;
    host->MutexLock = GatedMutexLock;
    host->StartThread = CountedStart;
    gMoves = 0;
    gMachine = nullptr;
  }
  void TearDown() override {
    StopMover();
    host->Sleep = gReal.Sleep;
    host->EventWait = gReal.EventWait;
    host->MutexLock = gReal.MutexLock;
    host->StartThread = gReal.StartThread;
    JniTest::TearDown();
  }
  void StartMover(JavaVM* vm) {
    {
      std::lock_guard<std::mutex> g(gGate);
      gMachine = vm;
    }
    gMoverOn = true;
    mover = std::thread(MoverLoop);
  }
  void StopMover() {
    if (!gMoverOn.load()) return;
    gMoverOn = false;
    mover.join();
    std::lock_guard<std::mutex> g(gGate);
    gMachine = nullptr;
  }
  jint CallInt(JNIEnv* env, const char* cls, const char* name, const char* sig, jint arg) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, cls);
    EXPECT_NE(nullptr, c) << PendingText(env);
    if (c == nullptr) return -100;
    jmethodID m = f->GetStaticMethodID(env, c, name, sig);
    EXPECT_NE(nullptr, m);
    jint r = m != nullptr ? f->CallStaticIntMethod(env, c, m, arg) : -101;
    f->DeleteLocalRef(env, c);
    return r;
  }
  void CallVoid(JNIEnv* env, const char* cls, const char* name, const char* sig, jint arg, jboolean flag = 0) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, cls);
    ASSERT_NE(nullptr, c) << PendingText(env);
    jmethodID m = f->GetStaticMethodID(env, c, name, sig);
    ASSERT_NE(nullptr, m);
    f->CallStaticVoidMethod(env, c, m, arg, flag);
    EXPECT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
    f->ExceptionClear(env);
    f->DeleteLocalRef(env, c);
  }
  /* What MovesAttack.report() says. */
  std::string Report(JNIEnv* env) {
    const JNINativeInterface_* f = env->functions;
    f->ExceptionClear(env);
    jclass c = f->FindClass(env, "MovesAttack");
    jmethodID m = c != nullptr ? f->GetStaticMethodID(env, c, "report", "()Ljava/lang/String;") : nullptr;
    jstring s = m != nullptr ? (jstring)f->CallStaticObjectMethod(env, c, m) : nullptr;
    std::string text = "(no report)";
    if (s != nullptr) {
      const char* chars = f->GetStringUTFChars(env, s, nullptr);
      if (chars != nullptr) text = chars;
      f->ReleaseStringUTFChars(env, s, chars);
    }
    f->ExceptionClear(env);
    return text;
  }
  std::thread mover;
};

/* Forty threads started at once wait (with and without a limit), sleep and are
   interrupted while the machine moves under them, rounds over: each ends once, none is
   lost, and the starter's joins all return. */
TEST_F(MovesAttackTest, ManyThreadsStartWaitSleepAndEndWhileTheMachineMoves) {
  Watchdog dog(120000, "many threads under moves");
  Counted counted;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  StartMover(vm);
  for (int round = 0; round < 6; round++) {
    jint done = CallInt(env, "MovesAttack", "startMany", "(I)I", 40);
    EXPECT_EQ(40, done) << "round " << round << ": " << PendingText(env) << " " << Report(env);
    env->functions->ExceptionClear(env);
  }
  StopMover();
  printf("moves made: %u\n", gMoves.load());
  EXPECT_GT(gMoves.load(), 5u);
  Destroy(vm);
}

/* A destroy while twenty daemon threads wait on a lock (half without limit), twenty plain
   ones were released and end, and host threads attached from outside wait declared and
   detach: the machine moves under all of them, the destroy's sleeps and stops included,
   rounds over. The destroy ends, and every host thread gets out. */
TEST_F(MovesAttackTest, ADestroyAmongDaemonsPlainAndHostThreadsWhileTheMachineMoves) {
  Watchdog dog(120000, "a destroy under moves");
  uint32_t duringDestroys = 0;
  for (int round = 0; round < 4; round++) {
    Counted counted;
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    CallVoid(env, "MovesAttack", "startWaiters", "(IZ)V", 20, true);
    std::atomic<int> attached{0}, left{0};
    std::vector<std::thread> hosts;
    for (int i = 0; i < 4; i++) {
      hosts.emplace_back([&, i] {
        Counted mine;
        JNIEnv* own = nullptr;
        if (VMJniInvoke::AttachCurrentThread(vm, &own, nullptr) != 0) return;
        attached++;
        // Declared: the host may move the machine while these sleep.
        VM::EnterSafeRegion(own->thread);
        for (int k = 0; k < 20 + 10 * i; k++) host->Sleep(2);
        VM::LeaveSafeRegion(own->thread);
        if (VMJniInvoke::DetachCurrentThread(vm) == 0) left++;
      });
    }
    StartMover(vm);
    CallVoid(env, "MovesAttack", "startWaiters", "(IZ)V", 20, false);
    VM::EnterSafeRegion(env->thread);
    host->Sleep(20);
    VM::LeaveSafeRegion(env->thread);
    CallVoid(env, "MovesAttack", "releaseWaiters", "()V", 0);
    CallVoid(env, "MovesAttack", "startWaiters", "(IZ)V", 20, true);
    uint32_t before = gMoves.load();
    jint r = vm->functions->DestroyJavaVM(vm);
    StopMover();
    for (std::thread& t : hosts) t.join();
    EXPECT_EQ(0, r) << "round " << round;
    EXPECT_EQ(attached.load(), left.load()) << "round " << round;
    duringDestroys += gMoves.load() - before;
  }
  EXPECT_GT(duringDestroys, 0u);
}

}  // namespace
}  // namespace jni_test
