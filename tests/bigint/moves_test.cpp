/* Long BigInteger natives on a thread that another suspends again and again while the
   host moves the machine: every answer must be the one the thread had before, and
   nothing may read the old copy of the machine (poisoned once moved). */
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "machine_move.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmjni.h"
#include "vmthread.h"

namespace {

class BigIntMovesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    JNI_SetHostFunctions(refhost::Functions());
    refhost::SetCapture(true);
    refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/testclasses/bigint:" + PUX_BUILD_DIR +
                                       "/classlib.zip");
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.name = "moved java.math machine";
    ASSERT_EQ(0, JNI_CreateJavaVM(&jvm, &env, &args));
  }
  void TearDown() override {
    if (jvm != nullptr) {
      refhost::Functions()->SetCurrentEnv(env);
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::SetClassPath(nullptr, "");
    refhost::ResetHooks();
  }
  /* A static method of BigIntMoves without arguments, on env's thread. */
  void Call(JNIEnv* on, const char* name) {
    const JNINativeInterface_* f = on->functions;
    jclass c = f->FindClass(on, "BigIntMoves");
    ASSERT_NE(nullptr, c);
    f->CallStaticVoidMethod(on, c, f->GetStaticMethodID(on, c, name, "()V"));
    EXPECT_FALSE(f->ExceptionCheck(on)) << name;
    f->ExceptionClear(on);
    f->DeleteLocalRef(on, c);
  }

  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
};

/* A worker multiplies numbers of 2400 and 2000 bytes and divides the product again,
   loop after loop (the natives poll about a hundred times a call). The test suspends it,
   by the machine's own suspension or by Thread.suspend from Java, waits until it stands
   suspended, moves the machine twice and resumes it, twelve rounds. (Suspended at a poll
   inside a native, the worker went on with the arrays of the old copy: wrong products,
   SIGSEGV at 0xdddddddd, use-after-poison in the sanitizer build.) */
TEST_F(BigIntMovesTest, ALongNativeSuspendedWhileTheHostMovesTheMachineAnswersRight) {
  std::atomic<JNIEnv*> workerEnv{nullptr};
  std::atomic<int> result{0};
  std::atomic<bool> prepared{false};
  std::thread worker([&] {
    JNIEnv* own = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &own, nullptr) != 0) {
      result = -1000000;
      prepared = true;
      return;
    }
    const JNINativeInterface_* f = own->functions;
    jclass c = f->FindClass(own, "BigIntMoves");
    jboolean ok = c != nullptr && f->CallStaticBooleanMethod(own, c, f->GetStaticMethodID(own, c, "prepare", "(II)Z"),
                                                            (jint)2400, (jint)2000);
    if (!ok || f->ExceptionCheck(own)) {
      result = -2000000;
      f->ExceptionClear(own);
    } else {
      workerEnv = own;
    }
    prepared = true;
    if (ok) result = f->CallStaticIntMethod(own, c, f->GetStaticMethodID(own, c, "work", "()I"));
    if (f->ExceptionCheck(own)) result = -3000000;
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  WhileOutside([&] {
    while (!prepared.load()) usleep(1000);
  });
  ASSERT_NE(nullptr, workerEnv.load()) << "prepare failed: " << result.load();
  JNIEnv* w = workerEnv.load();
  int stood = 0;
  for (int round = 0; round < 12; round++) {
    // Somewhere inside a product or a quotient.
    WhileOutside([&] { usleep(3000 + 7000 * (round % 4)); });
    bool fromJava = round % 2 == 1;
    if (fromJava)
      Call(env, "suspendWorker");
    else
      w->thread->Suspend();
    bool suspended = false;
    WhileOutside([&] {
      for (int i = 0; i < 60000 && !suspended; i++) {
        suspended = w->thread->GetSuspended();
        if (!suspended) usleep(1000);
      }
    });
    ASSERT_TRUE(suspended) << "round " << round << ": the worker never stood suspended";
    stood++;
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(jvm), 20u) << "round " << round;
    // Read through the env, which a move rewrites.
    if (fromJava)
      Call(env, "resumeWorker");
    else
      w->thread->Resume();
  }
  Call(env, "release");
  JoinOutside(worker);
  EXPECT_EQ(12, stood);
  EXPECT_GT(result.load(), 0) << "wrong answers (negative: their count) after the moves";
}

}  // namespace
