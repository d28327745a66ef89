/* A machine's end racing its threads: an attach under way when DestroyJavaVM begins, host
   threads attaching and detaching while it runs, and daemon threads that wait in the host
   (a read of standard input that nothing ends) when it comes. */
#include "jni_support.h"

#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "safe_wait.h"

namespace jni_test {
namespace {

class EndingTest : public JniTest {
 protected:
  static void CallStatic(JNIEnv* env, const char* cls, const char* method) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, cls);
    ASSERT_NE(nullptr, c) << cls;
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, method, "()V"));
    ASSERT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
  }
};

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

/* ---- daemon threads in a host read when the machine ends ---- */

std::atomic<int> gReadsHeld{0};
std::atomic<bool> gReadsReleased{false};
JNIHostFileSystem gHeldFiles;

/* Standard input that gives nothing until the test releases it, then fills what it was
   given: a thread that read into memory of the machine would write into freed memory. */
jint HOSTCALL HeldRead(jint handle, void* to, jint count) {
  if (handle != 0) return refhost::RealFileSystem()->Read(handle, to, count);
  gReadsHeld++;
  while (!gReadsReleased.load()) std::this_thread::sleep_for(Ms(1));
  memset(to, 'x', (size_t)count);
  return count;
}

/* The destroy lets go of the two daemon readers, which the stop cannot wake, and ends;
   another machine is made and works. When the reads return, the readers never come back
   into the machine they left (its records, envs, frames and the arrays they read for are
   gone): each parks for good, and the new machine goes on undisturbed. */
TEST_F(EndingTest, DaemonsInAHostReadAreLetGoAndNeverComeBack) {
  gReadsHeld = 0;
  gReadsReleased = false;
  gHeldFiles = *refhost::RealFileSystem();
  gHeldFiles.Read = HeldRead;
  refhost::SetFileSystemOverride(&gHeldFiles);
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  CallStatic(env, "EndingReader", "start");
  bool held = false;
  WhileOutside([&] { held = WaitFor([] { return gReadsHeld.load() == 2; }); });
  ASSERT_TRUE(held);
  // A destroy that waits for the readers is let out after 3 s: they read, and end as the
  // stopped threads they are.
  std::atomic<bool> destroyed{false};
  std::thread watchdog([&] {
    if (!WaitFor([&] { return destroyed.load(); }, 3000)) gReadsReleased = true;
  });
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  destroyed = true;
  watchdog.join();
  ASSERT_FALSE(gReadsReleased.load()) << "the destroy waited for daemon threads in a host read";

  JNIEnv* nextEnv = nullptr;
  JavaVM* next = Create(&nextEnv);
  ASSERT_NE(nullptr, next);
  CallStatic(nextEnv, "java/lang/System", "gc");
  const int64_t sleptBefore = refhost::SleptMillis();
  gReadsReleased = true;
  // Each reader parks in a host sleep of a million seconds.
  EXPECT_TRUE(WaitFor([&] { return refhost::SleptMillis() - sleptBefore >= 2000000000LL; }))
      << "a reader let go did not park";
  CallStatic(nextEnv, "java/lang/System", "gc");
  CallStatic(nextEnv, "EndingReader", "start");
  held = false;
  WhileOutside([&] { held = WaitFor([] { return gReadsHeld.load() == 4; }); });
  ASSERT_TRUE(held);
  Destroy(next);
}

/* ---- the let-go racing the end of a host wait ---- */

/* A host thread (taken for a daemon by a destroyer that is not attached) enters and leaves
   host waits without pause while the machine ends: the destroyer lets it go inside one,
   and it parks there, or it is outside one and goes on as a thread of the machine, which
   it still is. It never finds its record changed under it. */
TEST_F(EndingTest, AHostWaitEndingAsTheDestroyerLetsGoParksOrGoesOn) {
  const int64_t sleptAtStart = refhost::SleptMillis();
  std::atomic<bool> wrong{false};
  for (int round = 0; round < 3; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    ASSERT_EQ(0, vm->functions->DetachCurrentThread(vm));
    std::atomic<int> attached{0}, waits{0};
    for (int t = 0; t < 2; t++) {
      std::thread([&, vm] {
        JNIEnv* mine = nullptr;
        if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
        attached++;
        VMThread* self = mine->thread;
        for (;;) {
          VM::EnterHostWait(self);
          std::this_thread::yield();
          VM::LeaveHostWait(self);
          if (self->GetEnv() != mine || mine->thread != self) wrong = true;
          waits++;
        }
      }).detach();
    }
    ASSERT_TRUE(WaitFor([&] { return attached.load() == 2 && waits.load() > 1000; }));
    EXPECT_TRUE(EndsWithin(5000, [&] { EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)); })) << "round " << round;
  }
  EXPECT_FALSE(wrong.load());
  EXPECT_TRUE(WaitFor([&] { return refhost::SleptMillis() - sleptAtStart >= 6 * 1000000000LL; }))
      << "a thread let go did not park";
}

}  // namespace
}  // namespace jni_test
