/* The host moves the machine at every declared point it can reach while many threads
   start, wait, sleep, are interrupted, are stopped, print stack traces and end: a mover
   thread moves it whenever every thread the test and the machine started stands inside
   a host wait or sleep (or a blocking lock) with its record declared. The host's
   services are gated: a thread that comes back from one while the machine moves waits
   until the move is done, as a host's own scheduler would hold it. */
#include "jni_support.h"
#include "moves_gate.h"

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

using namespace moves_gate;

class MovesAttackTest : public GatedMovesTest {
 protected:
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

/* Threads print throwables through streams whose every line sleeps while the machine
   moves under them: printStackTrace's native runs Java for each line and must read the
   throwable again after it (it read the old copy, freed by the move: SIGSEGV). */
TEST_F(MovesAttackTest, TracesPrintedThroughSleepingStreamsWhileTheMachineMoves) {
  Watchdog dog(120000, "traces printed under moves");
  Counted counted;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  StartMover(vm);
  EXPECT_EQ(0, CallInt(env, "MovesAttack", "printWhileSleeping", "(I)I", 6)) << PendingText(env);
  StopMover();
  EXPECT_GT(gMoves.load(), 5u);
  Destroy(vm);
}

}  // namespace
}  // namespace jni_test
