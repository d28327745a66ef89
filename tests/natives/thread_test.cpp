/* Java threads on the reference host's threads: start and join, second starts, sleeps
   ended by interrupt, stop and the host, suspension and frame counts, a failed attach,
   the Java object of an attached thread, and a native-thread word Java code forged. */
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "lang/javalang.h"
#include "natives_support.h"
#include "safe_wait.h"
#include "vmjvm.h"
#include "vmjvm_ids.h"
#include "vmliteral.h"

using natives_test::Machine;
using natives_test::Outcome;

namespace {

const char* kThreads = "natives/ThreadCases";

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }

  int Run(const char* name, const char* sig, std::initializer_list<VMword> args = {}) {
    Outcome o = m.Call(kThreads, name, sig, args);
    EXPECT_EQ("", o.thrown) << name << ": " << o.message;
    return o.Int();
  }
  std::string Text(const char* name, const char* sig, std::initializer_list<VMword> args = {}) {
    return m.CallText(kThreads, name, sig, args);
  }
  /* The length of a ThreadGroup's array of threads (or of groups) as the object holds it,
     read through env (the machine's by default). */
  jint Held(VMObject* group, const char* name = "threads", const char* signature = "[Ljava/lang/Thread;",
            JNIEnv* env = nullptr) {
    if (env == nullptr) env = m.env;
    const JNINativeInterface_* f = env->functions;
    jclass cls = f->FindClass(env, "java/lang/ThreadGroup");
    jfieldID id = cls != nullptr ? f->GetFieldID(env, cls, name, signature) : nullptr;
    EXPECT_NE(nullptr, id) << name;
    jobject members = id != nullptr ? f->GetObjectField(env, VMJniHandle::NewLocal(env, group), id) : nullptr;
    return members != nullptr ? f->GetArrayLength(env, (jarray)members) : 0;
  }
  /* A word of a Thread object's field. */
  VMword FieldWord(VMObject* thread, jfieldID id, uint32_t offset = 0) {
    VMDataMember* field = JVMFieldOf(m.env, id);
    EXPECT_NE(nullptr, field);
    return field != nullptr ? thread->GetWord((uint32_t)field->GetIndex() + offset) : 0;
  }

  Machine m;
};

TEST_F(ThreadTest, StartReturnsWithTheThreadAliveAndJoinWaitsForRun) {
  EXPECT_EQ(0, Run("startJoin", "(I)I", {40}));
}

TEST_F(ThreadTest, ASecondStartIsRefusedAlsoWhenTwoThreadsRace) {
  EXPECT_EQ(0, Run("startTwice", "()I"));
  EXPECT_EQ(0, Run("racingStarts", "(I)I", {25}));
}

TEST_F(ThreadTest, SleepsOfAnyLengthEndAtAnInterruptOrAStop) {
  const char* sig = "(JJ)Ljava/lang/String;";
  // Each long argument is two words, low first.
  EXPECT_EQ("interrupted", Text("interruptSleeper", sig, {300, 0, 20, 0}));
  EXPECT_EQ("interrupted", Text("interruptSleeper", sig, {1000, 0, 50, 0}));
  EXPECT_EQ("interrupted", Text("interruptSleeper", sig, {10000, 0, 50, 0}));
  EXPECT_EQ("stopped", Text("stopSleeper", "(J)Ljava/lang/String;", {10000, 0}));
  EXPECT_EQ("IAE IE true false", Text("sleepChecks", "()Ljava/lang/String;"));
  EXPECT_EQ("stopped by stop false", Text("stopWaiter", "()Ljava/lang/String;"));
  EXPECT_EQ("caught 1", Text("selfStop", "()Ljava/lang/String;"));
}

TEST_F(ThreadTest, AHostStopEndsASleepAtOnce) {
  for (int round = 0; round < 5; round++) {
    VMObject* sleeper = m.Call(kThreads, "startSleeper", "(J)Ljava/lang/Thread;", {60000, 0}).Object();
    ASSERT_NE(nullptr, sleeper);
    VMThread* target = JVMGetVMThread(m.env, m.Local(sleeper));
    ASSERT_NE(nullptr, target);
    ASSERT_NE(m.env->thread, target);
    auto start = std::chrono::steady_clock::now();
    target->Stop();
    EXPECT_EQ("stopped false", Text("joinSleeper", "(Ljava/lang/Thread;)Ljava/lang/String;", {(VMword)sleeper}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  }
}

TEST_F(ThreadTest, WaitAndNotifyAllCarryAProducerAndAConsumer) {
  EXPECT_EQ(0, Run("producerConsumer", "(I)I", {300}));
  EXPECT_EQ("ended false", Text("uncaught", "()Ljava/lang/String;"));
}

TEST_F(ThreadTest, CountStackFramesNeedsASuspendedThreadAndLeavesItAsItWas) {
  EXPECT_EQ("0 ITSE frames running", Text("countFrames", "()Ljava/lang/String;"));
}

TEST_F(ThreadTest, ACloneOfARunningThreadIsNotAlive) {
  EXPECT_EQ("true false false", Text("cloneOfRunning", "()Ljava/lang/String;"));
}

/* Java code can write the word (reflection, from the second library generation on): a
   forged value names no thread, whatever it points at. */
TEST_F(ThreadTest, AForgedNativeThreadWordIsNeverFollowed) {
  static char decoy[64];
  const VMword forged[] = {0xDEADBEE0u, 1u, (VMword)decoy, (VMword)m.env + 4};
  for (VMword value : forged) {
    VMObject* thread = m.Call(kThreads, "unstarted", "()Ljava/lang/Thread;").Object();
    ASSERT_NE(nullptr, thread);
    jobject local = m.Local(thread);
    ASSERT_TRUE(JVMSetThreadEnvField(m.env, local, value));
    EXPECT_EQ(nullptr, JVMGetVMThread(m.env, local));
    EXPECT_EQ("true false NPE", Text("forged", "(Ljava/lang/Thread;)Ljava/lang/String;", {(VMword)thread}));
    EXPECT_EQ(0u, m.env->thread->GetSuspendCount());
    EXPECT_FALSE(m.env->thread->GetInterrupted());
  }
}

TEST_F(ThreadTest, ANewThreadThatCannotAttachFailsItsStartAndNeverHangs) {
  for (int round = 0; round < 10; round++) {
    VMObject* thread = m.Call(kThreads, "unstarted", "()Ljava/lang/Thread;").Object();
    ASSERT_NE(nullptr, thread);
    jobject local = m.Local(thread);
    JVMGetThreadEnvField(m.env, local);  // the look-ups are made before the failure is armed
    // The new thread's attach fails, and again after the collection its starter makes.
    refhost::SetFailureScope(true, nullptr, -1);
    refhost::FailNextAllocations(2);
    JVM_StartThread(m.env, local);
    refhost::FailNextAllocations(0);
    refhost::SetFailureScope(false, nullptr, -1);
    Outcome o;
    EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException(&o));
    EXPECT_EQ(0, JVM_IsThreadAlive(m.env, local));
    // The Thread is free to start again.
    JVM_StartThread(m.env, local);
    EXPECT_EQ("", m.TakeException());
    EXPECT_EQ("slept false", Text("joinSleeper", "(Ljava/lang/Thread;)Ljava/lang/String;", {(VMword)thread}));
  }
  // An attach that fails once is made again after a collection: the start succeeds.
  for (int round = 0; round < 5; round++) {
    VMObject* thread = m.Call(kThreads, "unstarted", "()Ljava/lang/Thread;").Object();
    ASSERT_NE(nullptr, thread);
    jobject local = m.Local(thread);
    JVMGetThreadEnvField(m.env, local);
    refhost::SetFailureScope(true, nullptr, -1);
    refhost::FailNextAllocations(1);
    JVM_StartThread(m.env, local);
    refhost::FailNextAllocations(0);
    refhost::SetFailureScope(false, nullptr, -1);
    EXPECT_EQ("", m.TakeException());
    EXPECT_EQ("slept false", Text("joinSleeper", "(Ljava/lang/Thread;)Ljava/lang/String;", {(VMword)thread}));
  }
  refhost::SetStartThreadRefuses(true);
  VMObject* refused = m.Call(kThreads, "unstarted", "()Ljava/lang/Thread;").Object();
  JVM_StartThread(m.env, m.Local(refused));
  refhost::SetStartThreadRefuses(false);
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(0, JVM_IsThreadAlive(m.env, m.Local(refused)));
}

/* Interpreted synchronized excludes nobody: a group's members are changed under the
   machine's lock, or a change racing another is lost and an ended Thread, or a destroyed
   group, stays in the array for good. */
TEST_F(ThreadTest, ThreadsAndGroupsComingAndGoingAtOnceLeaveNoMemberBehind) {
  for (int round = 0; round < 4; round++) {
    VMObject* group = m.Call(kThreads, "churn", "(II)Ljava/lang/ThreadGroup;", {8, 150}).Object();
    ASSERT_NE(nullptr, group);
    EXPECT_EQ(0, Held(group)) << "round " << round;
    EXPECT_EQ(0, Held(group, "groups", "[Ljava/lang/ThreadGroup;")) << "round " << round;
  }
}

/* The machine takes a thread whose run() threw out of its group, whatever the group's
   uncaughtException does. */
TEST_F(ThreadTest, AThreadWhoseRunThrewLeavesAGroupThatHandlesItWithoutSuper) {
  VMObject* group = m.Call(kThreads, "throwersIn", "(I)Ljava/lang/ThreadGroup;", {20}).Object();
  ASSERT_NE(nullptr, group);
  EXPECT_EQ(0, Held(group));
}

/* A stop reaches a thread from the moment it is alive: one that lands while the thread joins
   its group must not fail the start, nor one while it leaves keep it in the group. */
TEST_F(ThreadTest, ThreadsStoppedAsTheyStartAndEndStillJoinAndLeaveTheirGroup) {
  const VMword rounds = refhost::CollectionStress() != 0 ? 100 : 400;
  EXPECT_EQ("0 destroyed", Text("stoppedAsTheyComeAndGo", "(I)Ljava/lang/String;", {rounds}));
}

/* A stop is never lost to an interrupt sent after it. */
TEST_F(ThreadTest, AStopSentBeforeAnInterruptIsNotReplacedByIt) {
  EXPECT_EQ("0 missed", Text("stoppedAsTheyStart", "(I)Ljava/lang/String;", {100}));
}

/* A Thread joins its group when it starts: one made and never started is no member. A
   daemon group still waits for the unstarted ones before it ends. */
TEST_F(ThreadTest, AThreadNeverStartedIsNoMemberOfItsGroup) {
  for (jboolean daemon : {0, 1}) {
    VMObject* group = m.Call(kThreads, "unstartedIn", "(IZ)Ljava/lang/ThreadGroup;", {1000, daemon}).Object();
    ASSERT_NE(nullptr, group);
    EXPECT_EQ(0, Held(group));
    EXPECT_EQ("0 0 false false", Text("unstartedSeen", "(Ljava/lang/ThreadGroup;)Ljava/lang/String;", {(VMword)group}));
    EXPECT_EQ(0, Held(group));
  }
}

/* A daemon group ends with its last member, a group as much as a thread, also when the
   nests are made and emptied on threads racing in one top group; and destroying a daemon
   group whose last group takes it along is no error. */
TEST_F(ThreadTest, ADaemonGroupEndsWithItsLastGroupAsWithItsLastThread) {
  const VMword rounds = refhost::CollectionStress() != 0 ? 10 : 150;
  EXPECT_EQ("0 kept, 0 left, true true", Text("daemonNests", "(III)Ljava/lang/String;", {4, rounds, 6}));
}

/* A member that stops its group is stopped last: a stop of itself would end the walk. */
TEST_F(ThreadTest, AMemberThatStopsItsGroupStopsEveryMember) {
  for (int round = 0; round < 3; round++)
    EXPECT_EQ("6 of 6 stopped", Text("groupStoppedByAMember", "()Ljava/lang/String;")) << "round " << round;
}

/* A thread attached from native code with a Thread is a member of its group while attached,
   so activeCount() counts it, and leaves at its detach, also when stops reach it as it joins
   and leaves. The group's member array holds none of them. */
TEST_F(ThreadTest, AttachedThreadsAreMembersOfTheirGroupUntilTheyDetach) {
  VMObject* system = m.vm->GetSystemThreadGroup();
  EXPECT_EQ("1 1 1", Text("members", "()Ljava/lang/String;"));
  EXPECT_EQ(0, Held(system));
  const int hosts = 8;
  std::atomic<int> attached{0};
  std::atomic<bool> leave{false};
  std::vector<std::thread> waiting;
  for (int i = 0; i < hosts; i++) {
    waiting.emplace_back([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr));
      attached++;
      // Declared: a collection of the others' need not wait for it.
      WhileOutside([&] {
        while (!leave.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      });
      EXPECT_EQ(0, m.jvm->functions->DetachCurrentThread(m.jvm));
    });
  }
  WhileOutside([&] {
    while (attached.load() < hosts) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  EXPECT_EQ("9 9 9", Text("members", "()Ljava/lang/String;"));
  leave = true;
  JoinOutside(waiting);
  EXPECT_EQ("1 1 1", Text("members", "()Ljava/lang/String;"));
  EXPECT_EQ(0, Held(system));

  // Attaches and detaches on many threads at once while every member is being stopped.
  const int rounds = refhost::CollectionStress() != 0 ? 5 : 60;
  VMObject* stopper = m.Call(kThreads, "startStoppingAttached", "()Ljava/lang/Thread;").Object();
  ASSERT_NE(nullptr, stopper);
  jobject held = m.env->functions->NewGlobalRef(m.env, m.Local(stopper));
  std::atomic<int> failed{0};
  std::vector<std::thread> churning;
  for (int i = 0; i < hosts; i++) {
    churning.emplace_back([&] {
      for (int r = 0; r < rounds; r++) {
        JNIEnv* env = nullptr;
        if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) failed++;
        if (m.jvm->functions->DetachCurrentThread(m.jvm) != 0) failed++;
      }
    });
  }
  JoinOutside(churning);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ("1 1 1", Text("endStoppingAttached", "(Ljava/lang/Thread;)Ljava/lang/String;",
                          {(VMword)VMJniHandle::UnHandle(m.env, held)}));
  EXPECT_EQ(0, Held(m.vm->GetSystemThreadGroup()));
  m.env->functions->DeleteGlobalRef(m.env, held);
}

/* A host thread attached to two machines of one name space that detaches from one while
   its current env is the other machine's, or no machine's, leaves that machine's group all
   the same: the groups keep no Thread of such detaches, however many host threads do so. */
TEST_F(ThreadTest, ADetachFromAMachineTheThreadIsNotCurrentInLeavesItsGroup) {
  JavaVM* a = m.jvm;
  JavaVM* b = nullptr;
  std::thread creator([&] {
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.shareNameSpaceOf = a;
    JNIEnv* made = nullptr;
    if (JNI_CreateJavaVM(&b, &made, &args) != 0) b = nullptr;
    if (b != nullptr) b->functions->DetachCurrentThread(b);
  });
  JoinOutside(creator);
  ASSERT_NE(nullptr, b);
  const int rounds = refhost::CollectionStress() != 0 ? 8 : 80;
  std::atomic<int> failed{0};
  jint inB = -1;
  std::thread churning([&] {
    // A Thread stays with its host thread's record, so each detach is a new host thread's.
    for (int r = 0; r < rounds; r++) {
      std::thread once([&] {
        // Each machine first in turn; detached while current in the other, or in none.
        JavaVM* first = r % 2 == 0 ? a : b;
        JavaVM* second = r % 2 == 0 ? b : a;
        JavaVM* out = r % 4 < 2 ? first : second;
        JavaVM* last = out == first ? second : first;
        JNIEnv* env = nullptr;
        if (first->functions->AttachCurrentThread(first, &env, nullptr) != 0) failed++;
        if (second->functions->AttachCurrentThread(second, &env, nullptr) != 0) failed++;
        if (out->functions->DetachCurrentThread(out) != 0) failed++;
        if (last->functions->DetachCurrentThread(last) != 0) failed++;
      });
      once.join();
    }
    // Counted there as a member itself.
    JNIEnv* env = nullptr;
    if (b->functions->AttachCurrentThread(b, &env, nullptr) != 0) return;
    jclass cls = env->functions->FindClass(env, "java/lang/Thread");
    jmethodID count = cls != nullptr ? env->functions->GetStaticMethodID(env, cls, "activeCount", "()I") : nullptr;
    if (count != nullptr) inB = env->functions->CallStaticIntMethod(env, cls, count);
    EXPECT_EQ(0, Held(b->vm->GetSystemThreadGroup(), "threads", "[Ljava/lang/Thread;", env));
    b->functions->DetachCurrentThread(b);
  });
  JoinOutside(churning);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ("1 1 1", Text("members", "()Ljava/lang/String;")) << "machine A's group after " << rounds << " rounds";
  EXPECT_EQ(0, Held(m.vm->GetSystemThreadGroup()));
  EXPECT_EQ(1, inB) << "machine B's group after " << rounds << " rounds";
  std::thread destroyer([&] { EXPECT_EQ(0, b->functions->DestroyJavaVM(b)); });
  JoinOutside(destroyer);
}

/* The host's threads count in the system group without being in its member array, which
   every attach and detach, and every start and end of a thread of the group, would copy
   whole. The counts and lists stay whole while host threads attach and detach (on new host
   threads too) and threads of the group start and end: a thread attached all along is
   listed each time, also one whose record comes after those of threads attaching again;
   the machine's finalizer thread never is. */
TEST_F(ThreadTest, HostThreadsCountInTheSystemGroupOutsideItsMemberArray) {
  VMObject* system = m.vm->GetSystemThreadGroup();
  const int stable = 48, churners = 6;
  const VMword rounds = refhost::CollectionStress() != 0 ? 100 : 4000;
  std::atomic<int> attached{0}, failed{0}, paired{0};
  std::atomic<bool> leave{false}, churning{true};
  JNIEnv* late = nullptr;
  auto wait = [&](std::atomic<int>& counter, int least) {
    WhileOutside([&] {
      while (counter.load() < least) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  };
  auto stay = [&](bool last) {
    JNIEnv* env = nullptr;
    if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) failed++;
    if (last) late = env;
    attached++;
    WhileOutside([&] {
      while (!leave.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    if (m.jvm->functions->DetachCurrentThread(m.jvm) != 0) failed++;
  };
  auto pair = [&] {
    JNIEnv* env = nullptr;
    if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) failed++;
    if (m.jvm->functions->DetachCurrentThread(m.jvm) != 0) failed++;
    paired++;
  };
  std::vector<std::thread> staying, going;
  for (int i = 0; i < stable; i++) staying.emplace_back(stay, false);
  wait(attached, stable);
  EXPECT_EQ("49 49 49", Text("members", "()Ljava/lang/String;"));
  EXPECT_EQ(0, Held(system));
  for (int i = 0; i < churners; i++) {
    going.emplace_back([&, i] {
      while (churning.load()) {
        if (i % 2 == 0) {
          pair();
        } else {
          std::thread once(pair);
          once.join();
        }
      }
    });
  }
  wait(paired, 2 * churners);
  staying.emplace_back(stay, true);
  wait(attached, stable + 1);
  // Held by the record of its host thread, which stays.
  VMword thread = (VMword)late->thread->GetJavaLangThread();
  EXPECT_EQ("0 bad", Text("countedWhileChurning", "(Ljava/lang/Thread;II)Ljava/lang/String;",
                          {thread, (VMword)stable + 2, rounds}));
  churning = false;
  JoinOutside(going);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ("50 50 50", Text("members", "()Ljava/lang/String;"));
  late->thread->SetFinalizerThread();
  EXPECT_EQ("49 49 49", Text("members", "()Ljava/lang/String;"));
  late->thread->ClearFinalizerThread();
  leave = true;
  JoinOutside(staying);
  EXPECT_EQ("1 1 1", Text("members", "()Ljava/lang/String;"));
  EXPECT_EQ(0, Held(system));
}

uint32_t Records(VM* vm) {
  uint32_t records = 0;
  VMThreadHandleArray* threads = vm->GetThreads();
  for (uint32_t i = 1; i < threads->GetCount(); i++) records += threads->Get(i) != nullptr;
  return records;
}

/* Collections drop the records of ended threads, and a program that starts threads and
   allocates little makes none: the records must not pile up meanwhile, each attach and
   detach walking them all. */
TEST_F(ThreadTest, EndedThreadsLeaveFewRecordsWithoutACollection) {
  EXPECT_EQ(0, Run("startJoin", "(I)I", {600}));
  EXPECT_GT(150u, Records(m.vm));
}

/* A host thread attached to the machine that stays in its own code (short host sleeps),
   undeclared, until told to leave; it leaves by itself after 20 s, telling so. */
class BusyHostThread {
 public:
  explicit BusyHostThread(JavaVM* jvm) : jvm_(jvm), thread_([this] { Run(); }) {
    while (!attached_.load()) std::this_thread::yield();
  }
  /* Waits (declared) for the thread to detach and end; whether it had to leave by itself. */
  bool Leave() {
    done_ = true;
    JoinOutside(thread_);
    return waitedOut_;
  }

 private:
  void Run() {
    JNIEnv* env = nullptr;
    EXPECT_EQ(0, jvm_->functions->AttachCurrentThread(jvm_, &env, nullptr));
    attached_ = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done_.load() && !(waitedOut_ = std::chrono::steady_clock::now() > deadline))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(0, jvm_->functions->DetachCurrentThread(jvm_));
  }
  JavaVM* jvm_;
  std::atomic<bool> done_{false}, attached_{false};
  bool waitedOut_ = false;
  std::thread thread_;
};

/* The drop of ended records stops the other threads, and an attached host thread busy in
   host code parks nowhere: the attaches that drop must not wait for it, nor try again
   and again while it stays out (each try waits its looks out: a stall of every start
   that makes one). Once it has left, the records go. */
TEST_F(ThreadTest, EndedThreadsAreDroppedWithoutWaitingForAnAttachedThreadBusyInTheHost) {
  // A collection does wait for it, and under the stress every allocation collects.
  if (refhost::CollectionStress() != 0) GTEST_SKIP() << "every allocation collects";
  BusyHostThread busy(m.jvm);
  // Each drop claims the collector's; no collection can end while the busy thread stays.
  const uint32_t claims = m.vm->GetScalar(VM::ClaimsWord);
  for (int round = 0; round < 3; round++) EXPECT_EQ(0, Run("startJoin", "(I)I", {200}));
  const uint32_t tries = m.vm->GetScalar(VM::ClaimsWord) - claims;
  EXPECT_FALSE(busy.Leave()) << "the starts waited for the busy thread to leave";
  EXPECT_GE(2u, tries) << "drops tried while the busy thread stayed out";
  EXPECT_EQ(0, Run("startJoin", "(I)I", {100}));
  EXPECT_GT(150u, Records(m.vm)) << "the records stayed after the busy thread left";
}

TEST_F(ThreadTest, TheThreadObjectOfAnAttachedThreadAndItsDetach) {
  VMObject* main = (VMObject*)m.env->thread->GetJavaLangThread();
  ASSERT_NE(nullptr, main);
  EXPECT_EQ((VMword)m.env, FieldWord(main, JVMFieldThreadNative(m.env)));
  EXPECT_EQ(10u, FieldWord(main, JVMFieldThreadPriority(m.env)));
  EXPECT_EQ((VMword)m.vm->GetSystemThreadGroup(), FieldWord(main, JVMFieldThreadGroup(m.env)));
  EXPECT_EQ((VMword)m.env->thread->GetName(), FieldWord(main, JVMFieldThreadName(m.env)));
  EXPECT_EQ(main, VMJniHandle::UnHandle(m.env, JVM_CurrentThread(m.env, nullptr)));
  EXPECT_EQ(1, JVM_IsThreadAlive(m.env, m.Local(main)));
  // A second host thread: its own object while attached, 0 once it leaves.
  VMObject* other = nullptr;
  VMword whileAttached = 0;
  jobject held = nullptr;
  std::thread attached([&] {
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr));
    other = (VMObject*)env->thread->GetJavaLangThread();
    // Held past the detach, which lets go of the thread's own hold.
    held = env->functions->NewGlobalRef(env, VMJniHandle::NewLocal(env, other));
    whileAttached = JVMGetThreadEnvField(env, VMJniHandle::NewLocal(env, other));
    EXPECT_EQ((VMword)env, whileAttached);
    EXPECT_EQ(0, m.jvm->functions->DetachCurrentThread(m.jvm));
  });
  // The attach and detach may collect: the wait for them is outside the machine.
  JoinOutside(attached);
  ASSERT_NE(nullptr, other);
  EXPECT_NE(0u, whileAttached);
  EXPECT_EQ(0u, FieldWord(other, JVMFieldThreadNative(m.env)));
  EXPECT_EQ(0, JVM_IsThreadAlive(m.env, m.Local(other)));
  m.env->functions->DeleteGlobalRef(m.env, held);
}

TEST(ThreadVersions, TheSecondLibraryGenerationKeepsTheValueInTheLowWordOfEetop) {
  Machine m;
  ASSERT_TRUE(m.Create(2));
  VMObject* main = (VMObject*)m.env->thread->GetJavaLangThread();
  ASSERT_NE(nullptr, main);
  jfieldID eetop = JVMFieldThreadNative(m.env);
  VMDataMember* field = JVMFieldOf(m.env, eetop);
  ASSERT_NE(nullptr, field);
  EXPECT_EQ('J', (char)field->GetSignature()->GetFirstChar());
  EXPECT_EQ((VMword)m.env, main->GetWord((uint32_t)field->GetIndex()));
  EXPECT_EQ(0u, main->GetWord((uint32_t)field->GetIndex() + 1));
  EXPECT_EQ(0, m.Call(kThreads, "startJoin", "(I)I", {3}).Int());
  m.Destroy();
}

TEST(ThreadVersions, TheThirdGenerationGivesEveryThreadAFreshEmptyMapAtAttachAndDetach) {
  Machine m;
  ASSERT_TRUE(m.Create(3));
  jfieldID mapField = JVMFieldThreadInheritableThreadLocals(m.env);
  VMDataMember* field = JVMFieldOf(m.env, mapField);
  ASSERT_NE(nullptr, field);
  VMObject* main = (VMObject*)m.env->thread->GetJavaLangThread();
  VMObject* mainMap = (VMObject*)main->GetWord((uint32_t)field->GetIndex());
  ASSERT_NE(nullptr, mainMap);
  char* name = mainMap->GetClass()->GetDotNameUTF8();
  EXPECT_STREQ("java.util.Collections$EmptyMap", name);
  VMLiteral::FreeUTF8(name);
  VMObject* other = nullptr;
  VMObject* attachedMap = nullptr;
  jobject held = nullptr, heldMap = nullptr;
  std::thread attached([&] {
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr));
    other = (VMObject*)env->thread->GetJavaLangThread();
    held = env->functions->NewGlobalRef(env, VMJniHandle::NewLocal(env, other));
    attachedMap = (VMObject*)other->GetWord((uint32_t)field->GetIndex());
    // Held too: a freed map's block could come back as the fresh one.
    heldMap = env->functions->NewGlobalRef(env, VMJniHandle::NewLocal(env, attachedMap));
    EXPECT_EQ(0, m.jvm->functions->DetachCurrentThread(m.jvm));
  });
  JoinOutside(attached);
  ASSERT_NE(nullptr, other);
  EXPECT_NE(nullptr, attachedMap);
  VMObject* detachedMap = (VMObject*)other->GetWord((uint32_t)field->GetIndex());
  EXPECT_NE(nullptr, detachedMap);
  EXPECT_NE(attachedMap, detachedMap);
  EXPECT_EQ(0u, other->GetWord((uint32_t)JVMFieldOf(m.env, JVMFieldThreadNative(m.env))->GetIndex()));
  m.env->functions->DeleteGlobalRef(m.env, held);
  m.env->functions->DeleteGlobalRef(m.env, heldMap);
  m.Destroy();
}

}  // namespace
