/* More of the host moving the machine at every declared point it reaches: threads whose
   natives attach them again level under level, the host's stop of every other thread
   among dozens of threads of every kind, a second machine of the same name space running
   on and ending, and a careless host (attaches during a destroy, destroys and detaches
   twice, attaches before the creation has finished). The mover and its gate are those of
   the first attack: a move is made only while every thread of the machine stands
   declared or parked outside it. */
#include "jni_support.h"
#include "moves_gate.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmjni_entries.h"

namespace {

std::atomic<int> gNestAttaches{0};
std::atomic<int> gNestFailures{0};

/* The envs the calling thread's natives attached it with, in order. Each but the last is
   displaced by the next and freed by nobody: the detach (or the end of a started thread)
   frees only the thread's current env, so the thread frees the others itself once it
   has left the machine. */
thread_local std::vector<JNIEnv*> tlsAttachedAgain;

/* After the thread's detach or end: every env the levels displaced, and the one the
   thread had before them (when it is the host's) . */
void FreeDisplaced(JNIEnv* hostOwn) {
  JNIHostFunctions* host = refhost::Functions();
  for (size_t i = 0; i + 1 < tlsAttachedAgain.size(); i++) host->HeapFree(nullptr, tlsAttachedAgain[i]);
  if (hostOwn != nullptr && !tlsAttachedAgain.empty()) host->HeapFree(nullptr, hostOwn);
  tlsAttachedAgain.clear();
}

/* A wait outside the machine of the thread's current env, its record read through that
   env on each side: the host may move the machine in its sleep. */
void PauseOutside(int ms) {
  JNIHostFunctions* host = refhost::Functions();
  JNIEnv* now = host->GetCurrentEnv();
  VM::EnterSafeRegion(now->thread);
  host->Sleep(ms);
  now = host->GetCurrentEnv();
  VM::LeaveSafeRegion(now->thread);
}

}  // namespace

JNIEXPORT jint JNICALL Java_NestedAgain_nest(JNIEnv* env, jclass, jint depth) {
  JavaVM* vm = env->javaVM;
  JNIEnv* again = nullptr;
  if (vm->functions->AttachCurrentThread(vm, &again, nullptr) != 0) {
    gNestFailures++;
    return -1000;
  }
  gNestAttaches++;
  tlsAttachedAgain.push_back(again);
  PauseOutside(1);
  // From here on the native uses the env it attached with: the one it was called with
  // names the thread's record as it was before a move (the frames below it are told again
  // when they run on).
  const JNINativeInterface_* f = again->functions;
  jclass c = f->FindClass(again, "NestedAgain");
  jmethodID down = c != nullptr ? f->GetStaticMethodID(again, c, "down", "(I)I") : nullptr;
  if (down == nullptr) {
    gNestFailures++;
    return -2000;
  }
  jint below = f->CallStaticIntMethod(again, c, down, depth - 1);
  if (f->ExceptionCheck(again)) {
    gNestFailures++;
    return -3000;
  }
  PauseOutside(1);
  // The level below attached the thread again: its env is the thread's now.
  JNIEnv* now = refhost::Functions()->GetCurrentEnv();
  now->functions->DeleteLocalRef(now, c);
  return below;
}

namespace jni_test {
namespace {

using namespace moves_gate;

/* Whether the calling thread runs in the machine the mover moves (or none is set yet):
   a thread of another machine goes on while this one moves. */
bool StarterCounted() {
  JNIEnv* e = gReal.GetCurrentEnv();
  std::lock_guard<std::mutex> g(gGate);
  return gMachine == nullptr || e == nullptr || e->javaVM == gMachine;
}
/* A started thread frees the envs its natives' attaches displaced once it has ended. */
jboolean HOSTCALL StartFreeingDisplaced(JNIHostThreadFn routine, void* ctx, jint flag) {
  return StartCounted(routine, ctx, flag, StarterCounted(), [] { FreeDisplaced(nullptr); });
}

class MovesAttack2Test : public GatedMovesTest {
 protected:
  void SetUp() override {
    GatedMovesTest::SetUp();
    host->StartThread = StartFreeingDisplaced;
    gNestAttaches = 0;
    gNestFailures = 0;
  }
  /* A static method of cls taking up to two ints, answering an int (-100 when missing). */
  static jint Call(JNIEnv* env, const char* cls, const char* name, const char* sig, jint a = 0, jint b = 0) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, cls);
    EXPECT_NE(nullptr, c) << PendingText(env);
    if (c == nullptr) return -100;
    jmethodID m = f->GetStaticMethodID(env, c, name, sig);
    EXPECT_NE(nullptr, m) << name;
    jint r = -101;
    if (m != nullptr) {
      if (sig[strlen(sig) - 1] == 'V') {
        f->CallStaticVoidMethod(env, c, m, a, b);
        r = 0;
      } else {
        r = f->CallStaticIntMethod(env, c, m, a, b);
      }
    }
    if (f->ExceptionCheck(env)) {
      ADD_FAILURE() << name << ": " << PendingText(env);
      f->ExceptionClear(env);
      r = -102;
    }
    f->DeleteLocalRef(env, c);
    return r;
  }
};

/* Started threads whose natives attach them again three levels deep, each level calling
   back into Java through its new env and waiting outside the machine before and after,
   then sleeping and ending, while the machine moves at every point it can; host threads
   attached from outside go down the same way and detach; at last the creating thread
   itself, whose env the levels displace. Rounds over: every level answers. */
TEST_F(MovesAttack2Test, NestedAttachesAgainAtEveryLevelWhileTheMachineMoves) {
  Watchdog dog(120000, "nested attaches under moves");
  Counted counted;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  StartMover(vm);
  for (int round = 0; round < 4; round++) {
    std::atomic<int> hostRight{0}, hostDetached{0};
    std::vector<std::thread> hosts;
    for (int i = 0; i < 3; i++) {
      hosts.emplace_back([&] {
        Counted mine;
        JNIEnv* own = nullptr;
        if (VMJniInvoke::AttachCurrentThread(vm, &own, nullptr) != 0) return;
        for (int k = 0; k < 2; k++) {
          // The levels leave the thread on the deepest env: the host's current one.
          JNIEnv* now = host->GetCurrentEnv();
          if (Call(now, "NestedAgain", "down", "(I)I", 3) == 7) hostRight++;
        }
        if (VMJniInvoke::DetachCurrentThread(vm) == 0) hostDetached++;
        FreeDisplaced(own);
      });
    }
    jint right = Call(host->GetCurrentEnv(), "NestedAgain", "runMany", "(II)I", 8, 3);
    WhileOutside([&] {
      for (std::thread& t : hosts) t.join();
    });
    EXPECT_EQ(8, right) << "round " << round;
    EXPECT_EQ(6, hostRight.load()) << "round " << round;
    EXPECT_EQ(3, hostDetached.load()) << "round " << round;
  }
  EXPECT_EQ(4, Call(host->GetCurrentEnv(), "NestedAgain", "down", "(I)I", 2));
  StopMover();
  printf("moves made: %u; attaches again: %d\n", gMoves.load(), gNestAttaches.load());
  EXPECT_EQ(0, gNestFailures.load());
  EXPECT_EQ(4 * (8 * 3 + 6 * 3) + 2, gNestAttaches.load());
  EXPECT_GT(gMoves.load(), 5u);
  Destroy(vm);
  FreeDisplaced(env);
}

/* The host's stop of every other thread among thirty-two started threads (looping in
   Java, sleeping, waiting with and without a limit), six host threads attached from
   outside that sleep declared until they are told to stop, and two that go down nested
   attaches: the machine moves during the stop's sleeps and theirs. The caller then starts
   and joins a thread and ends the machine. Rounds over. */
TEST_F(MovesAttack2Test, AStopOfEveryOtherThreadAmongDozensWhileTheMachineMoves) {
  Watchdog dog(120000, "a stop of every other thread under moves");
  uint32_t duringStops = 0;
  for (int round = 0; round < 3; round++) {
    Counted counted;
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    StartMover(vm);
    Call(env, "NestedAgain", "startKinds", "(I)V", 32);
    std::atomic<int> attached{0}, left{0}, stopped{0};
    std::vector<std::thread> hosts;
    for (int i = 0; i < 8; i++) {
      hosts.emplace_back([&, i] {
        Counted mine;
        JNIEnv* own = nullptr;
        if (VMJniInvoke::AttachCurrentThread(vm, &own, nullptr) != 0) return;
        attached++;
        for (int k = 0; k < 10000 && host->YieldCheck() == 0; k++) {
          if (i >= 6) {
            JNIEnv* now = host->GetCurrentEnv();
            const JNINativeInterface_* f = now->functions;
            jclass c = f->FindClass(now, "NestedAgain");
            jmethodID down = c != nullptr ? f->GetStaticMethodID(now, c, "down", "(I)I") : nullptr;
            if (down != nullptr) f->CallStaticIntMethod(now, c, down, 2);
            // A stop ends the Java levels with ThreadDeath.
            f->ExceptionClear(now);
            if (c != nullptr) f->DeleteLocalRef(now, c);
          }
          PauseOutside(2);
        }
        if (host->YieldCheck() != 0) stopped++;
        if (VMJniInvoke::DetachCurrentThread(vm) == 0) left++;
        FreeDisplaced(own);
      });
    }
    WhileOutside([&] {
      while (attached.load() < 8 || Call(host->GetCurrentEnv(), "NestedAgain", "startedCount", "()I") < 32)
        host->Sleep(2);
    });
    uint32_t before = gMoves.load();
    EXPECT_EQ(0, vm->functions->StopOtherThreads(vm)) << "round " << round;
    duringStops += gMoves.load() - before;
    JNIEnv* now = host->GetCurrentEnv();
    EXPECT_EQ(now->thread, VMThread::Current());
    EXPECT_FALSE(now->functions->ExceptionCheck(now)) << PendingText(now);
    EXPECT_EQ(3, Call(now, "NestedAgain", "afterStop", "()I")) << "round " << round;
    WhileOutside([&] {
      for (std::thread& t : hosts) t.join();
    });
    EXPECT_EQ(8, left.load()) << "round " << round;
    EXPECT_EQ(8, stopped.load()) << "round " << round;
    StopMover();
    Destroy(vm);
  }
  printf("moves made during the stops: %u\n", duringStops);
  EXPECT_GT(duringStops, 0u);
}

/* A second machine of the same name space runs threads that wait, sleep and are
   interrupted on the shared classes' monitors, and threads that attach again level
   under level, while the first one moves under its own such threads; then the second
   is destroyed (by a thread of its own) while the first still moves. Rounds over. */
TEST_F(MovesAttack2Test, ASecondMachineRunsOnAndEndsWhileTheFirstMoves) {
  Watchdog dog(120000, "a second machine while the first moves");
  Counted counted;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  StartMover(vm);
  for (int round = 0; round < 3; round++) {
    std::atomic<int> secondRight{-5}, secondNested{-5}, secondDestroyed{-5};
    std::atomic<bool> secondDone{false};
    std::thread second([&] {
      JNIEnv* env2 = nullptr;
      JavaVM* vm2 = nullptr;
      JNICreateArgs args = Args();
      args.shareNameSpaceOf = vm;
      JavaVM* made = nullptr;
      if (JNI_CreateJavaVM(&made, &env2, &args) != 0) {
        secondDone = true;
        return;
      }
      vm2 = made;
      secondRight = Call(env2, "MovesAttack", "startMany", "(I)I", 20);
      secondNested = Call(host->GetCurrentEnv(), "NestedAgain", "runMany", "(II)I", 6, 2);
      secondDone = true;
      secondDestroyed = vm2->functions->DestroyJavaVM(vm2);
    });
    // The first machine's own threads meanwhile, the same classes' monitors and statics.
    int firstRight = 0;
    for (int k = 0; k < 4 && (k < 2 || !secondDone.load()); k++)
      if (Call(host->GetCurrentEnv(), "MovesAttack", "startMany", "(I)I", 12) == 12) firstRight++;
    JoinOutside(second);
    EXPECT_LE(2, firstRight) << "round " << round;
    EXPECT_EQ(20, secondRight.load()) << "round " << round;
    EXPECT_EQ(6, secondNested.load()) << "round " << round;
    EXPECT_EQ(0, secondDestroyed.load()) << "round " << round;
  }
  StopMover();
  printf("moves made: %u\n", gMoves.load());
  EXPECT_GT(gMoves.load(), 5u);
  Destroy(vm);
}

/* A careless host while the machine moves: host threads attach again and again during a
   destroy (refused once it has begun, or let in and detached twice), and one attached
   thread destroys the machine too (refused, and detached by the refusal). The destroy
   ends, every host thread gets out, rounds over. */
TEST_F(MovesAttack2Test, AttachesDetachesTwiceAndASecondDestroyDuringADestroyWhileTheMachineMoves) {
  Watchdog dog(120000, "a careless host during a destroy under moves");
  uint32_t during = 0;
  for (int round = 0; round < 6; round++) {
    Counted counted;
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    Call(env, "MovesAttack", "startWaiters", "(IZ)V", 8, true);
    StartMover(vm);
    std::atomic<bool> ended{false};
    std::atomic<int> in{0}, refused{0}, second{-5};
    std::atomic<bool> secondIn{false};
    std::vector<std::thread> hosts;
    for (int i = 0; i < 4; i++) {
      hosts.emplace_back([&] {
        while (!ended.load()) {
          Counted mine;
          JNIEnv* own = nullptr;
          if (VMJniInvoke::AttachCurrentThread(vm, &own, nullptr) != 0) {
            refused++;
            break;
          }
          in++;
          PauseOutside(1);
          VMJniInvoke::DetachCurrentThread(vm);
          // Detached already: the second finds no env of the thread.
          VMJniInvoke::DetachCurrentThread(vm);
        }
      });
    }
    std::thread destroyer2([&] {
      Counted mine;
      JNIEnv* own = nullptr;
      if (VMJniInvoke::AttachCurrentThread(vm, &own, nullptr) != 0) return;
      secondIn = true;
      while (vm->terminating == 0) PauseOutside(1);
      second = vm->functions->DestroyJavaVM(vm);
    });
    // The second destroyer is in before the destroy begins (attaches are refused after).
    WhileOutside([&] {
      while (in.load() < 8 || !secondIn.load()) host->Sleep(1);
    });
    uint32_t before = gMoves.load();
    jint r = vm->functions->DestroyJavaVM(vm);
    StopMover();
    during += gMoves.load() - before;
    ended = true;
    for (std::thread& t : hosts) t.join();
    destroyer2.join();
    EXPECT_EQ(0, r) << "round " << round;
    EXPECT_EQ(-1, second.load()) << "round " << round;
    EXPECT_EQ(4, refused.load()) << "round " << round;
  }
  printf("moves made during the destroys: %u\n", during);
  EXPECT_GT(during, 0u);
}

}  // namespace
}  // namespace jni_test
