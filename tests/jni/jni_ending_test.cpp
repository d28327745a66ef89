/* A machine's end racing its threads: an attach under way when DestroyJavaVM begins, and
   host threads attaching and detaching while it runs. */
#include "jni_support.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "safe_wait.h"

namespace jni_test {
namespace {

class EndingTest : public JniTest {};

using Ms = std::chrono::milliseconds;

/* ---- an attach under way when the destroy begins ---- */

/* 0: not yet held; 1: held; 2: released by the test; 3: the destroy has begun. */
std::atomic<int> gStage{0};
std::atomic<uint32_t> gSleepsBeforeDestroy{0};
thread_local bool tlsHold = false;
void(HOSTCALL* gRealAttachEnv)(JavaVM*, JNIEnv*) = nullptr;

/* The host's binding of the attaching thread, where a preempted thread may be: past the
   attach's first look at the record, not yet a thread of the machine. It holds until the
   destroy has begun and slept (a destroyer that waits for the attach sleeps), or 3 s. */
void HOSTCALL HeldAttachEnv(JavaVM* vm, JNIEnv* env) {
  if (tlsHold && env != nullptr) {
    tlsHold = false;
    gStage = 1;
    for (int i = 0; i < 3000; i++) {
      int stage = gStage.load();
      if (stage == 2 || (stage == 3 && refhost::SleepCallCount() > gSleepsBeforeDestroy.load())) break;
      std::this_thread::sleep_for(Ms(1));
    }
  }
  gRealAttachEnv(vm, env);
}

/* The destroy waits for the attach it did not refuse at once, which then finds the
   destroy begun and leaves again: the record is freed only after that, and the attaching
   thread is as it was before. (A destroy that went on freed the record and the machine
   under the attach: heap-use-after-free in the sanitizer build.) */
TEST_F(EndingTest, AnAttachUnderWayWhenTheDestroyBeginsIsWaitedForAndRefused) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  gStage = 0;
  gRealAttachEnv = host->AttachThreadEnv;
  host->AttachThreadEnv = HeldAttachEnv;
  std::atomic<int> attached{-5};
  std::atomic<bool> boundAfter{true};
  std::thread late([&] {
    tlsHold = true;
    JNIEnv* mine = nullptr;
    attached = VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr);
    boundAfter = refhost::AttachedVM() != nullptr || host->GetCurrentEnv() != nullptr;
    if (attached == 0) VMJniInvoke::DetachCurrentThread(vm);
  });
  while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
  gSleepsBeforeDestroy = refhost::SleepCallCount();
  gStage = 3;
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  const bool attachStillHeld = gStage.load() == 3 && attached.load() == -5;
  gStage = 2;
  late.join();
  host->AttachThreadEnv = gRealAttachEnv;
  EXPECT_FALSE(attachStillHeld) << "DestroyJavaVM returned while an attach it had not refused was under way";
  EXPECT_EQ(-1, attached.load());
  EXPECT_FALSE(boundAfter.load()) << "the refused attach left the thread bound";
}

/* Host threads attach and detach without pause while the machine is destroyed: each
   attach either makes a thread the destroyer waits for, or is refused, and none runs on
   once the machine is freed. */
TEST_F(EndingTest, AttachesRacingADestroyEitherJoinOrAreRefused) {
  for (int round = 0; round < 8; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    std::atomic<int> joined{0};
    std::atomic<bool> destroyed{false};
    std::atomic<bool> wrong{false};
    std::vector<std::thread> attachers;
    for (int t = 0; t < 3; t++) {
      attachers.emplace_back([&] {
        for (;;) {
          JNIEnv* mine = nullptr;
          // Through the entry itself: the record's table goes with the record.
          if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) break;
          if (destroyed.load()) wrong = true;
          joined++;
          if (mine->functions->FindClass(mine, "java/lang/Object") == nullptr) wrong = true;
          VMJniInvoke::DetachCurrentThread(vm);
        }
      });
    }
    // Attached, the test waits as declared: the attachers' calls collect.
    WhileOutside([&] {
      while (joined.load() < 3) std::this_thread::sleep_for(std::chrono::microseconds(100));
    });
    EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
    destroyed = true;
    for (auto& t : attachers) t.join();
    EXPECT_FALSE(wrong.load()) << "round " << round;
  }
}

}  // namespace
}  // namespace jni_test
