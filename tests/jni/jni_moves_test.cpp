/* The host moves a machine while its threads wait where the machine lets it: during the
   sleeps of a stop of every other thread (the host's own call, and a destroy that stops a
   daemon), while a starter waits for the thread it starts, while a started thread's
   native, which attached the thread again, waits outside the machine and when that thread
   sleeps after the native, and while a class's static initialiser, run by an instruction,
   sleeps. Each case moves the machine at every such point it reaches, several rounds over. */
#include "jni_support.h"
#include "machine_move.h"

#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "vmjni_entries.h"
#include "vmmonitor.h"

namespace {

/* The native of AttachedAgain. Mode 0: answers 7 at once. Mode 1: attaches the thread
   again, then waits outside the machine, in a safe region of the record the new env
   names, until the test has moved the machine (stage 1: waiting; 2: moved). */
std::atomic<int> gNativeMode{0};
std::atomic<int> gAgainStage{0};

}  // namespace

JNIEXPORT jint JNICALL Java_AttachedAgain_again(JNIEnv* env, jclass) {
  if (gNativeMode.load() == 0) return 7;
  JavaVM* vm = env->javaVM;
  JNIEnv* again = nullptr;
  jint result = vm->functions->AttachCurrentThread(vm, &again, nullptr);
  if (result != 0) return result;
  VM::EnterSafeRegion(again->thread);
  gAgainStage = 1;
  for (int i = 0; i < 10000 && gAgainStage.load() != 2; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  VM::LeaveSafeRegion(again->thread);
  return 0;
}

namespace jni_test {
namespace {

using Ms = std::chrono::milliseconds;

/* ---- the host's sleep of a marked thread: a move of the machine in each ---- */

void(HOSTCALL* gRealSleep)(jlong) = nullptr;
void(HOSTCALL* gRealAttachEnv)(JavaVM*, JNIEnv*) = nullptr;
thread_local bool tlsMover = false;
JavaVM* gMoving = nullptr;
std::atomic<int> gMovesLeft{0};
std::atomic<int> gMovesMade{0};
std::atomic<bool> gMachineObjectMoved{false};

/* The marked thread sleeps declared (or outside the machine): the host moves the machine
   then, as its other threads wait outside it too, as often as the test asks. */
void MoveAsAsked() {
  static thread_local bool moving = false;  // the move's own host calls
  if (moving || gMovesLeft.load() <= 0) return;
  moving = true;
  VM* before = gMoving->vm;
  if (MoveMachine(gMoving) != 0) gMovesMade++;
  if (gMoving->vm != before) gMachineObjectMoved = true;
  gMovesLeft--;
  moving = false;
}
void HOSTCALL MovingSleep(jlong ms) {
  if (tlsMover) MoveAsAsked();
  gRealSleep(ms);
}

/* A host thread attached to vm that waits outside the machine until go is set. */
void AttachedOutside(JavaVM* vm, std::atomic<int>& stage) {
  JNIEnv* mine = nullptr;
  if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) {
    stage = -1;
    return;
  }
  OutsideAs(mine, [&] {
    stage = 1;
    for (int i = 0; i < 20000 && stage.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  });
  VMJniInvoke::DetachCurrentThread(vm);
}

class MovesTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    gRealSleep = host->Sleep;
    gRealAttachEnv = host->AttachThreadEnv;
    gMovesLeft = 0;
    gMovesMade = 0;
    gMachineObjectMoved = false;
    gNativeMode = 0;
  }
  void TearDown() override {
    host->Sleep = gRealSleep;
    host->AttachThreadEnv = gRealAttachEnv;
    JniTest::TearDown();
  }
  /* Runs call on the calling thread, whose sleeps the host moves the machine in, moves
     times, while other waits attached outside vm (at stage 1); other is let go (stage 2)
     once the moves are made, and joined. Gives what call answered. */
  template <class Call>
  jint MovedInSleeps(JavaVM* vm, int moves, std::atomic<int>& stage, std::thread& other, Call call) {
    gMoving = vm;
    gMovesLeft = moves;
    gMovesMade = 0;
    gMachineObjectMoved = false;
    host->Sleep = MovingSleep;
    // The other thread leaves once the moves are made: a stop's loop ends then.
    std::thread release([&] {
      WaitFor([&] { return gMovesLeft.load() == 0; }, 20000);
      stage = 2;
    });
    tlsMover = true;
    jint r = call();
    tlsMover = false;
    release.join();
    other.join();
    host->Sleep = gRealSleep;
    return r;
  }
};

/* The host's StopOtherThreads on an attached caller while another attached thread waits
   outside the machine: the host moves the machine in each of the caller's declared
   sleeps, three rounds, before the other thread leaves. (The caller left its safe region
   in the old copy of its record, and took the name space's lock through the old copy
   of the machine.) */
TEST_F(MovesTest, StopOtherThreadsGoesOnWhereTheMachineIsAfterMoves) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  std::atomic<int> stage{0};
  std::thread other([&] { AttachedOutside(vm, stage); });
  OutsideAs(env, [&] { ASSERT_TRUE(WaitFor([&] { return stage.load() != 0; })); });
  ASSERT_EQ(1, stage.load());
  jint r = MovedInSleeps(vm, 3, stage, other, [&] { return vm->functions->StopOtherThreads(vm); });
  EXPECT_EQ(0, r);
  EXPECT_EQ(3, gMovesMade.load());
  EXPECT_TRUE(gMachineObjectMoved.load());
  // The caller runs on in the moved machine.
  jclass c = env->functions->FindClass(env, "java/lang/String");
  EXPECT_NE(nullptr, c) << PendingText(env);
  EXPECT_EQ(vm->vm, env->thread->GetVM());
  Destroy(vm);
}

/* A destroy by a thread not attached stops the other attached thread (taken for a daemon:
   it has a Thread object) and moves on once it has gone: the host moves the machine in
   each of the destroyer's sleeps, three rounds. (The destroy let go of host waiters, and
   locked the thread array, through the old copy of the machine.) */
TEST_F(MovesTest, ADestroyStoppingADaemonGoesOnWhereTheMachineIsAfterMoves) {
  for (int round = 0; round < 3; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    ASSERT_EQ(0, VMJniInvoke::DetachCurrentThread(vm));
    std::atomic<int> stage{0};
    std::thread other([&] { AttachedOutside(vm, stage); });
    ASSERT_TRUE(WaitFor([&] { return stage.load() != 0; }));
    ASSERT_EQ(1, stage.load());
    jint r = MovedInSleeps(vm, 1 + round, stage, other, [&] { return vm->functions->DestroyJavaVM(vm); });
    EXPECT_EQ(0, r) << "round " << round;
    EXPECT_EQ(1 + round, gMovesMade.load()) << "round " << round;
    EXPECT_TRUE(gMachineObjectMoved.load()) << "round " << round;
  }
}

/* ---- Thread.start while the host moves the machine ---- */

std::atomic<void*> gStarterId{nullptr};
std::atomic<int> gNewHeld{0};  // 1: held; 2: let go

/* The new thread's binding by the host, before it joins the machine: held until the test
   has moved the machine. */
void HOSTCALL HoldNewThreadAttachEnv(JavaVM* vm, JNIEnv* env) {
  if (env != nullptr && refhost::Functions()->CurrentThreadId() != gStarterId.load() && gNewHeld.load() == 0) {
    gNewHeld = 1;
    for (int i = 0; i < 10000 && gNewHeld.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  }
  gRealAttachEnv(vm, env);
}

/* The starter waits declared in Thread.start for the new thread, which the host holds
   before it joins; the host moves the machine then, five starts over. The new thread
   runs with the Thread the starter started: its run() sets that object's result. (It
   joined with the Thread object read before the move, and the starter left its wait in
   the old copy of its record.) */
TEST_F(MovesTest, AThreadStartedWhileTheHostMovesTheMachineRunsWithItsThreadObject) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass c = f->FindClass(env, "AttachedAgain");
  ASSERT_NE(nullptr, c) << PendingText(env);
  jmethodID runOne = f->GetStaticMethodID(env, c, "runOne", "()I");
  ASSERT_NE(nullptr, runOne);
  gStarterId = host->CurrentThreadId();
  host->AttachThreadEnv = HoldNewThreadAttachEnv;
  for (int round = 0; round < 5; round++) {
    gNewHeld = 0;
    std::atomic<uint32_t> moved{0};
    std::thread mover([&] {
      // The starter waits declared, the new thread is outside the machine.
      for (int i = 0; i < 10000 && gNewHeld.load() != 1; i++) std::this_thread::sleep_for(Ms(1));
      for (int i = 0; i < 10000 && !env->thread->GetInSafeRegion(); i++) std::this_thread::sleep_for(Ms(1));
      moved = MoveMachine(vm);
      gNewHeld = 2;
    });
    jint r = f->CallStaticIntMethod(env, c, runOne);
    mover.join();
    EXPECT_NE(0u, moved.load()) << "round " << round;
    EXPECT_EQ(7, r) << "round " << round << ": " << PendingText(env);
    EXPECT_FALSE(f->ExceptionCheck(env));
    f->ExceptionClear(env);
  }
  host->AttachThreadEnv = gRealAttachEnv;
  f->DeleteLocalRef(env, c);
  Destroy(vm);
}

/* A started thread whose native attached it again waits outside the machine while its
   starter waits in join; the host moves the machine, and the native returns into Java,
   which ends the thread: five threads over. (The native's caller read the thread's record
   through the env it called with, whose word the move no longer rewrites.) */
TEST_F(MovesTest, AStartedThreadAttachedAgainByItsNativeEndsWellAfterAMove) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass c = f->FindClass(env, "AttachedAgain");
  ASSERT_NE(nullptr, c) << PendingText(env);
  jmethodID runOne = f->GetStaticMethodID(env, c, "runOne", "()I");
  ASSERT_NE(nullptr, runOne);
  gNativeMode = 1;
  for (int round = 0; round < 5; round++) {
    gAgainStage = 0;
    std::atomic<uint32_t> moved{0};
    std::thread mover([&] {
      for (int i = 0; i < 10000 && gAgainStage.load() != 1; i++) std::this_thread::sleep_for(Ms(1));
      // The starter waits in join (a monitor's wait, declared).
      for (int i = 0; i < 10000; i++) {
        VMThread* t = env->thread;
        if (t->GetBlockedOn() != nullptr && (t->GetSafeToGC() || t->GetInSafeRegion())) break;
        std::this_thread::sleep_for(Ms(1));
      }
      moved = MoveMachine(vm);
      gAgainStage = 2;
    });
    jint r = f->CallStaticIntMethod(env, c, runOne);
    mover.join();
    EXPECT_NE(0u, moved.load()) << "round " << round;
    EXPECT_EQ(0, r) << "round " << round << ": " << PendingText(env);
    EXPECT_FALSE(f->ExceptionCheck(env));
    f->ExceptionClear(env);
  }
  gNativeMode = 0;
  f->DeleteLocalRef(env, c);
  Destroy(vm);
}

/* ---- class initialisers run by an instruction while the host moves the machine ---- */

/* The host's waits of the marked threads. The initialiser's sleep (declared, blocked
   on its event) lasts until the test lets it go; a mover's sleep, and each declared wait
   of a waiter's, has the machine moved first, as often as asked. */
JNIHostFunctions gRealWaits;
thread_local bool tlsInitialiser = false, tlsWaiter = false;
std::atomic<bool> gHolding{false}, gLetGo{false};
jint HOSTCALL MarkedEventWait(void* event, jlong ms) {
  JNIEnv* e = gRealWaits.GetCurrentEnv();
  const bool declared = (tlsMover || tlsWaiter || tlsInitialiser) && e->thread->GetInSafeRegion();
  const bool sleeping = declared && ms > 0 && e->thread->GetBlockedOn() == event;
  if (tlsInitialiser && sleeping) {
    gHolding = true;
    while (!gLetGo.load()) std::this_thread::sleep_for(Ms(1));
    return 2;  // timed out
  }
  if ((tlsMover && sleeping) || (tlsWaiter && declared)) MoveAsAsked();
  return gRealWaits.EventWait(event, ms);
}

/* Runs call on this thread, whose first sleep (the initialiser's) the host moves the
   machine in; gives whether a move was made. The move is made in the sleeping thread's
   own host wait: a mover thread of its own misses a short sleep on a busy host. */
template <class Call>
bool MovedDuring(JNIHostFunctions* host, JavaVM* vm, Call call) {
  gRealWaits = *host;
  host->EventWait = MarkedEventWait;
  gMoving = vm;
  gMovesLeft = 1;
  gMovesMade = 0;
  tlsMover = true;
  call();
  tlsMover = false;
  host->EventWait = gRealWaits.EventWait;
  return gMovesMade.load() != 0;
}

/* Each of new, getstatic (one word and two), putstatic and invokestatic first reaches a
   class whose initialiser sleeps while the host moves the machine: the instruction goes
   on in the moved machine, with its operands, its frame's values below them and the
   statics the initialiser wrote; one whose initialiser throws after the move raises the
   initialisation's error, and the next use the class's failure. Three machines over.
   (The handlers went on with their frame, stack, code and static data of before the move:
   results written to the old copy, a crash in the loop.) */
TEST_F(MovesTest, AnInstructionWhoseClassInitialiserSleptGoesOnAfterAMove) {
  for (int round = 0; round < 3; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "SlowInitUser");
    ASSERT_NE(nullptr, c) << PendingText(env);
    jmethodID make = f->GetStaticMethodID(env, c, "make", "()I");
    jmethodID read = f->GetStaticMethodID(env, c, "read", "()J");
    jmethodID write = f->GetStaticMethodID(env, c, "write", "()I");
    jmethodID call = f->GetStaticMethodID(env, c, "call", "()I");
    jmethodID fails = f->GetStaticMethodID(env, c, "fails", "()I");
    ASSERT_TRUE(make && read && write && call && fails);
    jint made = 0, written = 0, called = 0, failed = 0;
    jlong got = 0;
    EXPECT_TRUE(MovedDuring(host, vm, [&] { made = f->CallStaticIntMethod(env, c, make); })) << round;
    EXPECT_EQ(7, made) << "round " << round << ": " << PendingText(env);
    EXPECT_TRUE(MovedDuring(host, vm, [&] { got = f->CallStaticLongMethod(env, c, read); })) << round;
    EXPECT_EQ(0x1000B0002LL, got) << "round " << round << ": " << PendingText(env);
    EXPECT_TRUE(MovedDuring(host, vm, [&] { written = f->CallStaticIntMethod(env, c, write); })) << round;
    EXPECT_EQ(2101, written) << "round " << round << ": " << PendingText(env);
    EXPECT_TRUE(MovedDuring(host, vm, [&] { called = f->CallStaticIntMethod(env, c, call); })) << round;
    EXPECT_EQ(20, called) << "round " << round << ": " << PendingText(env);
    EXPECT_TRUE(MovedDuring(host, vm, [&] { failed = f->CallStaticIntMethod(env, c, fails); })) << round;
    EXPECT_EQ(120, failed) << "round " << round << ": " << PendingText(env);
    EXPECT_FALSE(f->ExceptionCheck(env));
    f->ExceptionClear(env);
    // The machine runs on: the classes answer again without their initialisers.
    EXPECT_EQ(7, f->CallStaticIntMethod(env, c, make));
    EXPECT_EQ(20, f->CallStaticIntMethod(env, c, call));
    f->DeleteLocalRef(env, c);
    Destroy(vm);
  }
}

/* The same initialisers first reached by the native interface, on classes found without
   initialising them: NewObject, a static field's read and a static call go on in the
   moved machine. (Each went on
   with the thread's record and the machine of before the move: a crash reading the
   machine's static data.) */
TEST_F(MovesTest, ANativeCallWhoseClassInitialiserSleptGoesOnAfterAMove) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass made = f->FindClassNoInit(env, "SlowInit");
  jclass read = f->FindClassNoInit(env, "SlowInitRead");
  jclass call = f->FindClassNoInit(env, "SlowInitCall");
  ASSERT_TRUE(made && read && call) << PendingText(env);
  jmethodID init = f->GetMethodID(env, made, "<init>", "()V");
  jfieldID own = f->GetFieldID(env, made, "own", "I");
  jfieldID value = f->GetStaticFieldID(env, read, "value", "I");
  jmethodID plus = f->GetStaticMethodID(env, call, "plus", "(II)I");
  ASSERT_TRUE(init && own && value && plus);
  jobject o = nullptr;
  jint got = 0, sum = 0;
  EXPECT_TRUE(MovedDuring(host, vm, [&] { o = f->NewObject(env, made, init); }));
  ASSERT_NE(nullptr, o) << PendingText(env);
  EXPECT_EQ(2, f->GetIntField(env, o, own));
  EXPECT_TRUE(MovedDuring(host, vm, [&] { got = f->GetStaticIntField(env, read, value); }));
  EXPECT_EQ(11, got) << PendingText(env);
  EXPECT_TRUE(MovedDuring(host, vm, [&] { sum = f->CallStaticIntMethod(env, call, plus, 3, 4); }));
  EXPECT_EQ(20, sum) << PendingText(env);
  Destroy(vm);
}

/* ---- a waiter for another thread's initialiser: a move at each host call it makes ---- */

jboolean HOSTCALL MovingMutexLock(void* mutex) {
  JNIEnv* e = gRealWaits.GetCurrentEnv();
  if (tlsWaiter && e->thread->GetInSafeRegion()) MoveAsAsked();
  return gRealWaits.MutexLock(mutex);
}

/* A thread that meets SlowInit while another runs its initialiser waits for it, and the
   host moves the machine at each host call of that wait (the monitor's enter, its queue,
   the timed wait, the leave) while the initialiser sleeps declared: let go, both threads
   see the initialised class. (The waiter read the class's state through the static data
   pointer taken before the enter, and its record, to queue, through the pointer taken
   before the queue's lock: old copies.) */
TEST_F(MovesTest, AWaiterForAnInitialiserMovedAtEachHostCallOfItsWaitGoesOn) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  jclass c = env->functions->FindClass(env, "SlowInitUser");
  ASSERT_NE(nullptr, c) << PendingText(env);
  env->functions->SetStaticIntField(env, c, env->functions->GetStaticFieldID(env, c, "pause", "I"), 1);
  std::atomic<jint> made[2] = {{-1}, {-1}};
  auto make = [&](int i) {
    JNIEnv* own = nullptr;
    if (VMJniInvoke::AttachCurrentThread(vm, &own, nullptr) != 0) return;
    const JNINativeInterface_* f = own->functions;
    jclass user = f->FindClass(own, "SlowInitUser");
    jmethodID m = user != nullptr ? f->GetStaticMethodID(own, user, "make", "()I") : nullptr;
    (i == 0 ? tlsInitialiser : tlsWaiter) = true;
    if (m != nullptr) made[i] = f->CallStaticIntMethod(own, user, m);
    tlsInitialiser = tlsWaiter = false;
    f->ExceptionClear(own);
    VMJniInvoke::DetachCurrentThread(vm);
  };
  gRealWaits = *host;
  host->EventWait = MarkedEventWait;
  host->MutexLock = MovingMutexLock;
  gHolding = gLetGo = false;
  gMoving = vm;
  gMovesMade = 0;
  std::thread initialiser(make, 0);
  // Declared throughout: the threads' allocations collect, which waits for this one.
  OutsideAs(env, [&] {
    WaitFor([] { return gHolding.load(); }, 60000);
    gMovesLeft = 6;
    std::thread waiter(make, 1);
    WaitFor([] { return gMovesLeft.load() == 0; }, 60000);
    gLetGo = true;
    initialiser.join();
    waiter.join();
  });
  host->EventWait = gRealWaits.EventWait;
  host->MutexLock = gRealWaits.MutexLock;
  EXPECT_EQ(6, gMovesMade.load());
  EXPECT_EQ(7, made[0].load());
  EXPECT_EQ(7, made[1].load());
  Destroy(vm);
}

/* The started thread sleeps in Java once its native, which attached it again, has
   returned, and the host moves the machine again during that sleep: the frames that
   called the native run on the env the thread had before it attached again, which the
   second move does not rewrite. Five threads over. (The loop read the record through that
   env after the move: a crash.) */
TEST_F(MovesTest, AThreadAttachedAgainByItsNativeRunsOnAfterMovesOnEitherSide) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass c = f->FindClass(env, "AttachedAgain");
  ASSERT_NE(nullptr, c) << PendingText(env);
  jmethodID runOne = f->GetStaticMethodID(env, c, "runOne", "()I");
  jfieldID sleepAfter = f->GetStaticFieldID(env, c, "sleepAfter", "I");
  ASSERT_NE(nullptr, runOne);
  ASSERT_NE(nullptr, sleepAfter);
  f->SetStaticIntField(env, c, sleepAfter, 200);
  gNativeMode = 1;
  for (int round = 0; round < 5; round++) {
    gAgainStage = 0;
    std::atomic<int> moves{0};
    std::thread mover([&] {
      for (int i = 0; i < 10000 && gAgainStage.load() != 1; i++) std::this_thread::sleep_for(Ms(1));
      auto starterWaits = [&] {
        VMThread* t = env->thread;
        return t->GetBlockedOn() != nullptr && (t->GetSafeToGC() || t->GetInSafeRegion());
      };
      for (int i = 0; i < 10000 && !starterWaits(); i++) std::this_thread::sleep_for(Ms(1));
      if (MoveMachine(vm) != 0) moves++;
      gAgainStage = 2;
      // The started thread's sleep: its record (the only other one) blocked on its event.
      VMThread* started = nullptr;
      for (int i = 0; i < 10000; i++) {
        started = nullptr;
        VMThreadHandleArray* threads = vm->vm->GetThreads();
        for (uint32_t k = 1; k < threads->GetCount(); k++) {
          VMThread* t = threads->Get(k);
          if (t != nullptr && t->GetEnv() != nullptr && t != env->thread) started = t;
        }
        if (started != nullptr && started->GetBlockedOn() != nullptr && started->GetInSafeRegion() && starterWaits())
          break;
        started = nullptr;
        std::this_thread::sleep_for(Ms(1));
      }
      if (started != nullptr && MoveMachine(vm) != 0) moves++;
    });
    jint r = f->CallStaticIntMethod(env, c, runOne);
    mover.join();
    EXPECT_EQ(2, moves.load()) << "round " << round;
    EXPECT_EQ(0, r) << "round " << round << ": " << PendingText(env);
    EXPECT_FALSE(f->ExceptionCheck(env));
    f->ExceptionClear(env);
  }
  gNativeMode = 0;
  f->SetStaticIntField(env, c, sleepAfter, 0);
  f->DeleteLocalRef(env, c);
  Destroy(vm);
}

}  // namespace
}  // namespace jni_test
