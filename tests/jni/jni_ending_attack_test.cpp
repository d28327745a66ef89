/* A machine's end against everything that may run beside it at once: a debugger client
   calling each of its entries while the host destroys one of two machines and makes it
   again, host threads attaching by the hundred through a creation and a destroy, and a
   destroyer bound to another machine that the machine it ends never knew. A case that
   finds threads blocked for good ends the process after saying so: nothing else can end
   their machine. */
#include "jni_support.h"

#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmjni_entries.h"

namespace jni_test {
namespace {

using Ms = std::chrono::milliseconds;

/* Runs fn on the calling thread (its binding is what is tested), ending the process if it
   has not returned within ms. */
template <class Fn>
void Within(int ms, const char* what, Fn fn) {
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < ms && !done.load(); i++) std::this_thread::sleep_for(Ms(1));
    if (!done.load()) Blocked(what);
  });
  fn();
  done = true;
  watchdog.join();
}

class EndingAttackTest : public JniTest {
 protected:
  /* A class looked up and a string made by env: what a thread of the machine does. */
  static bool Works(JNIEnv* env) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "java/lang/String");
    jstring s = c != nullptr ? f->NewStringUTF(env, "attack") : nullptr;
    bool ok = c != nullptr && s != nullptr && f->GetStringUTFLength(env, s) == 6 && !f->ExceptionCheck(env);
    f->ExceptionClear(env);
    if (s != nullptr) f->DeleteLocalRef(env, s);
    if (c != nullptr) f->DeleteLocalRef(env, c);
    return ok;
  }
};

/* Two machines, the host's thread attached to both, B's env current. A client thread
   calls every entry in turn (attach, set its loader, poll, wait for and release a
   machine, list them, detach, and polls and detaches by stale agents) while the host
   destroys A, from its thread whose current env is B's, and makes A again, round after
   round. Every destroy ends, B's binding stands after each, B still works, and the
   client's calls read nothing freed. */
TEST_F(EndingAttackTest, AClientCallingEveryEntryWhileTheHostEndsAndRemakesOneOfTwoMachines) {
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB);
  ASSERT_NE(nullptr, b);
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> attaches{0};
  std::atomic<uint32_t> calls{0};
  std::thread client([&] {
    void* stale = nullptr;
    while (!stop.load()) {
      JavaVM* listed[4] = {};
      uint32_t total = 0;
      JNI_DebugGetExistingVMs(listed, 4, &total);
      JNI_DebugWaitForVM();
      JNI_DebugReleaseVM(nullptr);
      void* agent = JNI_DebugAttach(nullptr);
      if (agent == nullptr) {
        // A stale agent (its machine gone, or detached) is refused by every entry.
        if (stale != nullptr) {
          JNI_DebugEventPending(stale);
          JNI_DebugSetLoaderID(stale, nullptr);
          JNI_DebugDetach(stale);
        }
        continue;
      }
      attaches++;
      JNI_DebugSetLoaderID(agent, nullptr);
      for (int i = 0; i < 3; i++) JNI_DebugEventPending(agent);
      calls++;
      JNI_DebugDetach(agent);
      // Detached: refused, its record kept on the dead list until its machine goes.
      JNI_DebugEventPending(agent);
      stale = agent;
    }
  });
  const int kRounds = 12;
  for (int round = 0; round < kRounds; round++) {
    JNIEnv* envA = nullptr;
    JavaVM* a = Create(&envA);
    ASSERT_NE(nullptr, a);
    // Back to B, still attached to A: the destroy of A runs as its record there.
    host->AttachThreadEnv(b, envB);
    host->SetCurrentEnv(envB);
    const uint32_t before = calls.load();
    WhileOutside([&] {
      for (int i = 0; i < 200 && calls.load() == before; i++) std::this_thread::sleep_for(Ms(1));
    });
    jint destroyed = -5;
    Within(20000, "20 s on: a destroy of A while a client calls its entries",
           [&] { destroyed = a->functions->DestroyJavaVM(a); });
    EXPECT_EQ(0, destroyed) << "round " << round;
    EXPECT_EQ(envB, host->GetCurrentEnv()) << "round " << round;
    EXPECT_EQ(b, refhost::AttachedVM()) << "round " << round;
    EXPECT_TRUE(Works(envB)) << "round " << round;
    b->vm->GarbageCollect(false);
  }
  stop = true;
  WhileOutside([&] { client.join(); });
  printf("%d rounds, %u attaches of the client\n", kRounds, attaches.load());
  EXPECT_GT(attaches.load(), 0u);
  Destroy(b);
  EXPECT_FALSE(ProcessStateExists());
}

/* Two hundred host threads attach to whatever machine is listed, look a class up and
   detach, over and over, while a machine is made and destroyed, round after round. An
   attach into the creation is refused rather than let in beside the class library; one
   that gets in has a working machine; each creation and destroy succeeds, and nothing
   is left once the last machine is gone. */
TEST_F(EndingAttackTest, HundredsOfHostAttachesThroughACreationAndADestroyLeaveThemWhole) {
  const int kThreads = 200;
  const int kRounds = 4;
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> joined{0};
  std::atomic<uint32_t> broken{0};
  std::atomic<JavaVM*> open{nullptr};  // the machine the threads may use; null between rounds
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&] {
      while (!stop.load()) {
        JavaVM* vm = open.load();
        if (vm == nullptr) {
          std::this_thread::sleep_for(Ms(1));
          continue;
        }
        JNIEnv* mine = nullptr;
        if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) continue;
        joined++;
        if (!Works(mine)) broken++;
        VMJniInvoke::DetachCurrentThread(vm);
      }
    });
  }
  for (int round = 0; round < kRounds; round++) {
    JavaVM* made = nullptr;
    JNIEnv* madeEnv = nullptr;
    std::atomic<int> created{-5};
    std::thread creator([&] {
      JNICreateArgs args = Args();
      created = JNI_CreateJavaVM(&made, &madeEnv, &args);
      if (created == 0) VMJniInvoke::DetachCurrentThread(made);
    });
    // Listed before its class library starts: the threads try it from then on.
    JavaVM* listed = nullptr;
    ASSERT_TRUE(WaitFor([&] {
      jsize total = 0;
      JNI_GetCreatedJavaVMs(&listed, 1, &total);
      return total == 1;
    }));
    open = listed;
    creator.join();
    ASSERT_EQ(0, created.load()) << "round " << round;
    std::this_thread::sleep_for(Ms(20));
    // The destroyer's record is refused to new attaches while the ones in flight end.
    jint destroyed = -5;
    Within(30000, "30 s on: a destroy among hundreds of attaching threads",
           [&] { destroyed = made->functions->DestroyJavaVM(made); });
    open = nullptr;
    EXPECT_EQ(0, destroyed) << "round " << round;
    EXPECT_FALSE(ProcessStateExists()) << "round " << round;
    // A thread that read the record before it went is refused by the list, and leaves.
    std::this_thread::sleep_for(Ms(5));
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  printf("%d rounds, %u attaches got in\n", kRounds, joined.load());
  EXPECT_EQ(0u, broken.load());
}

/* A destroyer bound to machine B and not attached to A destroys A while a thread of A
   (its own Thread object) collects: the destroy's binding of the caller to no env of A
   is given back to B's as it was, B's thread record untouched, and B collects and works
   after. */
TEST_F(EndingAttackTest, ADestroyerAttachedOnlyToAnotherMachineGetsItsBindingBackWhole) {
  for (int round = 0; round < 3; round++) {
    JNIEnv* envA = nullptr;
    JavaVM* a = Create(&envA);
    ASSERT_NE(nullptr, a);
    ASSERT_EQ(0, VMJniInvoke::DetachCurrentThread(a));
    JNIEnv* envB = nullptr;
    JavaVM* b = Create(&envB);
    ASSERT_NE(nullptr, b);
    VMThread* recordB = envB->thread;
    std::atomic<int> stage{0};
    std::thread other([&] {
      JNIEnv* mine = nullptr;
      if (VMJniInvoke::AttachCurrentThread(a, &mine, nullptr) != 0) return;
      stage = 1;
      for (int i = 0; i < 3; i++) a->vm->GarbageCollect(false);
      stage = Works(mine) ? 2 : 3;
      VMJniInvoke::DetachCurrentThread(a);
    });
    WhileOutside([&] {
      while (stage.load() == 0) std::this_thread::sleep_for(Ms(1));
    });
    jint destroyed = -5;
    Within(20000, "20 s on: a destroy of A by a thread attached only to B",
           [&] { destroyed = a->functions->DestroyJavaVM(a); });
    other.join();
    EXPECT_EQ(0, destroyed);
    EXPECT_EQ(2, stage.load());
    EXPECT_EQ(envB, host->GetCurrentEnv());
    EXPECT_EQ(b, refhost::AttachedVM());
    EXPECT_EQ(recordB, envB->thread);
    b->vm->GarbageCollect(false);
    EXPECT_TRUE(Works(envB));
    Destroy(b);
    EXPECT_FALSE(ProcessStateExists());
  }
}

/* A creation waits for a debugger while a client attaches, polls (connecting) and
   detaches over and over, and a host thread destroys the listed machine meanwhile: the
   creation either goes on connected or fails, the destroy ends either way, and nothing
   is left, round after round. */
TEST_F(EndingAttackTest, AClientComingAndGoingWhileACreationWaitingForItIsDestroyed) {
  const int kRounds = 8;
  int failed = 0;
  for (int round = 0; round < kRounds; round++) {
    JavaVM* made = nullptr;
    JNIEnv* madeEnv = nullptr;
    std::atomic<int> created{-5};
    std::thread creator([&] {
      JNICreateArgs args = Args();
      args.waitForDebugger = 1;
      created = JNI_CreateJavaVM(&made, &madeEnv, &args);
      if (created == 0) VMJniInvoke::DetachCurrentThread(made);
    });
    JavaVM* listed = nullptr;
    ASSERT_TRUE(WaitFor([&] {
      jsize total = 0;
      JNI_GetCreatedJavaVMs(&listed, 1, &total);
      return total == 1;
    }));
    std::atomic<bool> stop{false};
    std::thread client([&] {
      while (!stop.load()) {
        void* agent = JNI_DebugAttach(nullptr);
        if (agent == nullptr) continue;
        if (round % 2 == 0) JNI_DebugEventPending(agent);
        JNI_DebugWaitForVM();
        JNI_DebugDetach(agent);
      }
    });
    std::this_thread::sleep_for(Ms(round * 3));
    jint destroyed = -5;
    Within(20000, "20 s on: a destroy of a creation waiting for a coming and going client",
           [&] { destroyed = VMJniInvoke::DestroyJavaVM(listed); });
    stop = true;
    client.join();
    creator.join();
    EXPECT_EQ(0, destroyed) << "round " << round;
    EXPECT_TRUE(created.load() == 0 || created.load() == -1) << "round " << round << ": " << created.load();
    if (created.load() != 0) failed++;
    EXPECT_FALSE(ProcessStateExists()) << "round " << round;
  }
  printf("%d rounds, %d creations failed by the destroy\n", kRounds, failed);
}

}  // namespace
}  // namespace jni_test
