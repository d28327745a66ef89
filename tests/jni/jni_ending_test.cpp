/* A machine's end racing its threads: an attach under way when DestroyJavaVM or
   AbandonJavaVM begins (of a thread new to the machine or of one attached already), an
   abandon racing a destroy, host threads attaching and detaching while it runs, and
   daemon threads that wait in the host (a read of standard input that nothing ends) when
   it comes. */
#include "jni_support.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmdebugger.h"
#include "vmjni_entries.h"
#include "vmmonitor.h"

namespace jni_test {
namespace {

/* Host reads held by the test (below), and whether it has let them go on. */
std::atomic<int> gReadsHeld{0};
std::atomic<bool> gReadsReleased{false};

class EndingTest : public JniTest {
 protected:
  /* Whether n reads are held within 5 s; the calling thread waits as declared. */
  static bool ReadsHeld(int n) {
    bool held = false;
    WhileOutside([&] { held = WaitFor([n] { return gReadsHeld.load() == n; }); });
    return held;
  }
  static void CallStatic(JNIEnv* env, const char* cls, const char* method) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, cls);
    ASSERT_NE(nullptr, c) << cls;
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, method, "()V"));
    ASSERT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
  }
  /* A thread of machine b takes the monitor of the class named, leaves it and detaches.
     One that still waits for it after 5 s waits for good, and b can never end: the test
     then ends the process. */
  static void OtherThreadTakesClassMonitor(JavaVM* b, const char* name) {
    std::atomic<bool> entered{false};
    std::thread([b, name, &entered] {
      JNIEnv* mine = nullptr;
      if (VMJniInvoke::AttachCurrentThread(b, &mine, nullptr) != 0) return;
      jclass c = mine->functions->FindClass(mine, name);
      if (c != nullptr && mine->functions->MonitorEnter(mine, c) == 0) {
        mine->functions->MonitorExit(mine, c);
        entered = true;
      }
      VMJniInvoke::DetachCurrentThread(b);
    }).detach();
    bool got = false;
    WhileOutside([&] {
      // Until it has detached as well: b's destroy must wait for nothing of it.
      got = WaitFor([&] { return entered.load() && b->vm->GetThreadsAttached() == 1; }, 5000);
    });
    if (!got) {
      ADD_FAILURE() << "a thread of the other machine waited for the monitor of " << name;
      fflush(stdout);
      _exit(1);
    }
  }

  /* What a host thread does on the machine while it ends: it counts itself in joined
     once it has, and sets wrong for whatever it must never meet. */
  using Attacher = std::function<void(JavaVM* vm, std::atomic<int>& joined, const std::atomic<bool>& destroyed,
                                      std::atomic<bool>& wrong)>;

  /* Another thread of vm, attached, collects once the destroy (by this thread, attached)
     sleeps in a wait, and then leaves; before runs ahead of that sleep, release ends the
     wait. A collection still waiting after 5 s waits for good where release needs it
     (the debugger's client attaches to leave): the test then ends the process. */
  static void CollectsWhileTheDestroyWaits(JavaVM* vm, const char* wait, const std::function<void()>& before,
                                           const std::function<void()>& release) {
    std::atomic<int> stage{0};  // 1: attached; 2: to collect; 3: collected
    std::thread other([&] {
      JNIEnv* mine = nullptr;
      if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
      stage = 1;
      while (stage.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      vm->vm->GarbageCollect(false);
      stage = 3;
      VMJniInvoke::DetachCurrentThread(vm);
    });
    WhileOutside([&] {
      while (stage.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const uint32_t sleeps = refhost::SleepCallCount();
    std::thread releaser([&] {
      before();
      while (refhost::SleepCallCount() == sleeps) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      stage = 2;
      if (!WaitFor([&] { return stage.load() == 3; })) {
        ADD_FAILURE() << "a collection waited for the destroyer's wait for " << wait;
        fflush(stdout);
        _exit(1);
      }
      release();
    });
    EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
    releaser.join();
    other.join();
  }

  /* Eight rounds of a machine destroyed by this thread (attached to it) once three host
     threads running attacher have joined, and nothing wrong met by them. */
  void DestroyWhileAttaching(const Attacher& attacher) {
    for (int round = 0; round < 8; round++) {
      JNIEnv* env = nullptr;
      JavaVM* vm = Create(&env);
      ASSERT_NE(nullptr, vm);
      std::atomic<int> joined{0};
      std::atomic<bool> destroyed{false};
      std::atomic<bool> wrong{false};
      std::vector<std::thread> attachers;
      for (int t = 0; t < 3; t++) attachers.emplace_back([&] { attacher(vm, joined, destroyed, wrong); });
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
};

using Ms = std::chrono::milliseconds;

/* ---- an attach under way when the destroy begins ---- */

/* 0: not yet held; 1: held; 2: released by the test; 3: the machine's end has begun. */
std::atomic<int> gStage{0};
std::atomic<uint32_t> gSleepsBeforeDestroy{0};
thread_local bool tlsHold = false;
void(HOSTCALL* gRealAttachEnv)(JavaVM*, JNIEnv*) = nullptr;

/* The host's binding of the attaching thread, where a preempted thread may be: past the
   attach's first look at the record, not yet a thread of the machine. It holds until the
   machine's end has begun and slept (an end that waits for the attach sleeps), or 3 s. */
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

/* A host thread new to the machine attaches, held in the host's binding of it while
   end (a DestroyJavaVM or AbandonJavaVM of the machine by this thread) runs: end waits
   for the attach it did not refuse at once, which then finds the machine taken and
   leaves again, as it was before. */
void AttachHeldAcross(JNIHostFunctions* host, JavaVM* vm, const char* what, const std::function<void()>& end) {
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
  end();
  // Said before the attach is let go: one that goes on into what end freed crashes.
  EXPECT_FALSE(gStage.load() == 3 && attached.load() == -5)
      << what << " returned while an attach it had not refused was under way";
  gStage = 2;
  late.join();
  host->AttachThreadEnv = gRealAttachEnv;
  EXPECT_EQ(-1, attached.load());
  EXPECT_FALSE(boundAfter.load()) << "the refused attach left the thread bound";
}

/* The destroy waits for the attach it did not refuse at once, which then finds the
   destroy begun and leaves again: the record is freed only after that, and the attaching
   thread is as it was before. (A destroy that went on freed the record and the machine
   under the attach: heap-use-after-free in the sanitizer build.) */
TEST_F(EndingTest, AnAttachUnderWayWhenTheDestroyBeginsIsWaitedForAndRefused) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  AttachHeldAcross(host, vm, "DestroyJavaVM", [&] { EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)); });
}

/* A thread that runs in the machine attaches again (a native that attaches to be sure of
   an env), and the destroy begins while that attach is under way: the refusal takes back
   the new env alone. The thread stays attached by its first env and bound to it, so the
   destroyer (attached, to which a thread with a Thread object is no daemon) waits for it,
   and it goes on in the machine until it leaves. (The refusal detached the thread
   altogether and the destroyer freed the machine under it: heap-use-after-free in the
   sanitizer build.) */
TEST_F(EndingTest, ARefusedAttachOfAnAttachedThreadKeepsItsFirstEnvAndIsWaitedFor) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  gStage = 0;
  gRealAttachEnv = host->AttachThreadEnv;
  host->AttachThreadEnv = HeldAttachEnv;
  std::atomic<int> again{-5};
  std::atomic<bool> keptFirst{false}, boundToFirst{false}, ranOn{false};
  std::atomic<bool> destroyReturned{false}, returnedWhileAttached{true};
  std::thread worker([&] {
    JNIEnv* mine = nullptr;
    if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
    tlsHold = true;
    JNIEnv* second = nullptr;
    again = VMJniInvoke::AttachCurrentThread(vm, &second, nullptr);
    VMThread* self = VMThread::Current();
    keptFirst = self != nullptr && self->GetEnv() == mine && mine->thread == self;
    boundToFirst = host->GetCurrentEnv() == mine && refhost::AttachedEnv() == mine;
    // On once the destroyer waits for it (a step of 300 ms), or has returned.
    const int64_t slept = refhost::SleptMillis();
    while (!destroyReturned.load() && refhost::SleptMillis() - slept < 300) std::this_thread::sleep_for(Ms(1));
    ranOn = mine->functions->FindClass(mine, "java/lang/Object") != nullptr;
    returnedWhileAttached = destroyReturned.load();
    VMJniInvoke::DetachCurrentThread(vm);
  });
  // The worker's first attach may collect: this thread waits as declared.
  WhileOutside([] {
    while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  gSleepsBeforeDestroy = refhost::SleepCallCount();
  gStage = 3;
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  destroyReturned = true;
  worker.join();
  host->AttachThreadEnv = gRealAttachEnv;
  EXPECT_EQ(-1, again.load());
  EXPECT_TRUE(keptFirst.load()) << "the refused attach detached the thread's first attachment";
  EXPECT_TRUE(boundToFirst.load()) << "the refused attach left the thread bound to another env";
  EXPECT_TRUE(ranOn.load());
  EXPECT_FALSE(returnedWhileAttached.load()) << "DestroyJavaVM returned while a thread attached to it still ran";
}

/* The host's global mutex, where a preempted attach may be: past its look at the process
   state, not yet holding the mutex. It holds until the test lets it go on, or 3 s. */
thread_local bool tlsHoldLock = false;
jboolean(HOSTCALL* gRealMutexLock)(void*) = nullptr;

jboolean HOSTCALL HeldGlobalLock(void* mutex) {
  if (tlsHoldLock && mutex == refhost::Functions()->GetGlobalMutex()) {
    tlsHoldLock = false;
    gStage = 1;
    for (int i = 0; i < 3000 && gStage.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  }
  return gRealMutexLock(mutex);
}

/* Calls a host may make of a machine as the last one ends, held just before they take
   the global mutex: the destroy does not wait for them (none has begun on the machine)
   and releases the process state. Each then finds no machine (an attach, a destroy or an
   abandon of the one freed is refused, a listing lists none, the debugger's entries find
   nothing to serve), and none leaves process state behind. (Their lock made the process
   state again, for no machine, and its memory stayed for good: the destroy's and the
   abandon's made AnAbandonRacingADestroyOfTheMachineReadsNothingOnceTheDestroyHasIt fail
   about one run in a hundred.) */
TEST_F(EndingTest, CallsHeldAtTheGlobalMutexAsTheLastMachineEndsLeaveNoProcessState) {
  struct Late {
    const char* name;
    jint expected;
    std::function<jint(JavaVM*)> call;
  };
  const Late lates[] = {
      {"AttachCurrentThread", -1,
       [](JavaVM* vm) {
         JNIEnv* mine = nullptr;
         return VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr);
       }},
      {"JNI_GetCreatedJavaVMs", 0,
       [](JavaVM*) {
         jsize total = -1;
         return JNI_GetCreatedJavaVMs(nullptr, 0, &total) == 0 ? total : -2;
       }},
      {"DestroyJavaVM", -1, [](JavaVM* vm) { return VMJniInvoke::DestroyJavaVM(vm); }},
      {"AbandonJavaVM", -1, [](JavaVM* vm) { return VMJniInvoke::AbandonJavaVM(vm); }},
      {"JNI_DebugAttach", 0, [](JavaVM*) { return JNI_DebugAttach(nullptr) == nullptr ? 0 : -2; }},
      {"JNI_DebugEventPending", -1, [](JavaVM* vm) { return (jint)JNI_DebugEventPending(vm); }},
      {"JNI_DebugWaitForVM", 0, [](JavaVM*) { return JNI_DebugWaitForVM() == nullptr ? 0 : -2; }},
      {"JNI_DebugReleaseVM", 0,
       [](JavaVM* vm) {
         JNI_DebugReleaseVM(vm);
         return 0;
       }},
      {"JNI_DebugEnableVMCreation", 0,
       [](JavaVM*) {
         JNI_DebugEnableVMCreation(0);
         return 0;
       }},
      {"JNI_DebugGetExistingVMs", 0,
       [](JavaVM*) {
         uint32_t total = 7;
         return JNI_DebugGetExistingVMs(nullptr, 0, &total) == 0 ? (jint)total : -2;
       }},
  };
  for (const Late& late : lates) {
    SCOPED_TRACE(late.name);
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    gStage = 0;
    gRealMutexLock = host->MutexLock;
    host->MutexLock = HeldGlobalLock;
    std::atomic<int> answer{-5};
    std::thread caller([&] {
      tlsHoldLock = true;
      answer = late.call(vm);
    });
    WhileOutside([&] {
      while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
    });
    EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
    EXPECT_FALSE(ProcessStateExists());
    gStage = 2;
    caller.join();
    host->MutexLock = gRealMutexLock;
    EXPECT_EQ(late.expected, answer.load());
    EXPECT_FALSE(ProcessStateExists()) << "the late call made the process state again";
    if (ProcessStateExists()) VMUtils::Fini();
  }
}

/* The host's global cells, where a preempted listing may be: past its first look at the
   cell of the mutex's owner. It holds until the test lets it go on, or 3 s. */
thread_local bool tlsHoldCell = false;
uint32_t*(HOSTCALL* gRealGetGlobalCell)(jint) = nullptr;

uint32_t* HOSTCALL HeldGlobalCell(jint index) {
  uint32_t* cell = gRealGetGlobalCell(index);
  if (tlsHoldCell && index == 4 && cell != nullptr) {
    tlsHoldCell = false;
    gStage = 1;
    for (int i = 0; i < 3000 && gStage.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  }
  return cell;
}

/* A listing that has seen the process set up and is preempted before it looks at the
   mutex's owner, while the last machine ends: it lists none. (It looked the cell up
   again, found none, and read through a null pointer: SIGSEGV.) */
TEST_F(EndingTest, AListingThatSawTheProcessSetUpAsTheLastMachineEndsListsNone) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  gStage = 0;
  gRealGetGlobalCell = host->GetGlobalCell;
  host->GetGlobalCell = HeldGlobalCell;
  std::atomic<int> answer{-5};
  std::thread caller([&] {
    tlsHoldCell = true;
    jsize total = -1;
    answer = JNI_GetCreatedJavaVMs(nullptr, 0, &total) == 0 ? total : -2;
  });
  WhileOutside([&] {
    while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  gStage = 2;
  caller.join();
  host->GetGlobalCell = gRealGetGlobalCell;
  EXPECT_EQ(0, answer.load());
  EXPECT_FALSE(ProcessStateExists());
}

/* The destroy's count of the machine's threads, where it has passed its wait for the
   debugger's creation count: a debugger that disables creation now (as this hook does,
   once) no longer holds the destroy. */
thread_local bool tlsDisableInCount = false;
jboolean(HOSTCALL* gRealCountAcquire)(void*, const char*) = nullptr;

jboolean HOSTCALL DisablingCountAcquire(void* lock, const char* tag) {
  if (tlsDisableInCount && tag != nullptr && strcmp(tag, "namespace spinlock - DestroyJavaVM") == 0) {
    tlsDisableInCount = false;
    JNI_DebugEnableVMCreation(0);
  }
  return gRealCountAcquire(lock, tag);
}

/* The debugger's creation count never goes below zero, which would hold every destroy
   for good: an enable with no disable before it does nothing, and neither does the
   enable of a disable that the last machine's end released with the process state (the
   next machine's count starts at zero). (Both left the count at -1, and the next
   DestroyJavaVM slept for good.) */
TEST_F(EndingTest, AnEnableOfCreationThatFindsNoDisableLeavesTheDestroyFree) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  JNI_DebugEnableVMCreation(1);
  EXPECT_EQ(0, VMUtils::GetDisableVMCreation()) << "an enable with no disable before it";
  VMUtils::SetDisableVMCreation(0);  // else the destroy waits for good
  JNI_DebugEnableVMCreation(0);
  JNI_DebugEnableVMCreation(1);
  EXPECT_EQ(0, VMUtils::GetDisableVMCreation());
  gRealCountAcquire = host->SpinLockAcquire;
  host->SpinLockAcquire = DisablingCountAcquire;
  tlsDisableInCount = true;
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  host->SpinLockAcquire = gRealCountAcquire;
  EXPECT_FALSE(tlsDisableInCount) << "the destroy counted no threads";
  EXPECT_FALSE(ProcessStateExists());
  vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  JNI_DebugEnableVMCreation(1);
  EXPECT_EQ(0, VMUtils::GetDisableVMCreation()) << "the enable of a disable the last machine's end released";
  VMUtils::SetDisableVMCreation(0);
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
}

/* A destroyer attached to the machine waits while the debugger keeps creation disabled,
   and another thread of the machine collects meanwhile: the wait is declared, so the
   collection goes on, and the destroy ends once creation is enabled again and the other
   thread has left. (The destroyer slept in the machine undeclared, and every collection
   of it waited for as long as creation stayed disabled.) */
TEST_F(EndingTest, ACollectionGoesOnWhileTheDestroyWaitsForTheCreationCount) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  JNI_DebugEnableVMCreation(0);
  CollectsWhileTheDestroyWaits(vm, "the creation count", [] {}, [] { JNI_DebugEnableVMCreation(1); });
}

/* The same while the destroyer waits for the debugger's client to leave, once the client
   has taken the machine's end. (The collection waited for the destroyer, and the client,
   which attaches to the machine to leave, waited for the collection: none went on.) */
TEST_F(EndingTest, ACollectionGoesOnWhileTheDestroyWaitsForTheDebuggerClientToLeave) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  VMDebugger* agent = (VMDebugger*)JNI_DebugAttach(nullptr);
  ASSERT_NE(nullptr, agent);
  std::thread client([agent] { EXPECT_EQ(0, JNI_DebugEventPending(agent)); });
  JoinOutside(client);
  CollectsWhileTheDestroyWaits(
      vm, "the client to leave",
      [agent] {
        int32_t kind;
        while ((kind = agent->EventPending(true)) != VMDebugger::EventTerminating && kind != 0) agent->EventRemove();
        agent->EventRemove();
      },
      [agent] { JNI_DebugDetach(agent); });
}

/* Host threads attach and detach without pause while the machine is destroyed: each
   attach either makes a thread the destroyer waits for, or is refused, and none runs on
   once the machine is freed. */
TEST_F(EndingTest, AttachesRacingADestroyEitherJoinOrAreRefused) {
  DestroyWhileAttaching([](JavaVM* vm, std::atomic<int>& joined, const std::atomic<bool>& destroyed,
                           std::atomic<bool>& wrong) {
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

/* Threads attached to the machine attach again without pause (each time letting go of
   the env it replaced, which is the host's) while the machine is destroyed: each attach
   joins or is refused, and after the refusal the thread is still attached by its latest
   env and bound to it, runs in the machine, and detaches; the destroy ends only after
   that. */
TEST_F(EndingTest, AttachedThreadsAttachingAgainAsTheMachineEndsKeepTheirEnvs) {
  DestroyWhileAttaching([this](JavaVM* vm, std::atomic<int>& joined, const std::atomic<bool>& destroyed,
                               std::atomic<bool>& wrong) {
    JNIEnv* current = nullptr;
    if (VMJniInvoke::AttachCurrentThread(vm, &current, nullptr) != 0) return;
    joined++;
    for (;;) {
      JNIEnv* next = nullptr;
      if (VMJniInvoke::AttachCurrentThread(vm, &next, nullptr) != 0) break;
      host->HeapFree(nullptr, current);
      current = next;
    }
    VMThread* self = VMThread::Current();
    if (self == nullptr || self->GetEnv() != current || host->GetCurrentEnv() != current) wrong = true;
    if (current->functions->FindClass(current, "java/lang/Object") == nullptr) wrong = true;
    if (destroyed.load()) wrong = true;
    VMJniInvoke::DetachCurrentThread(vm);
  });
}

/* ---- an attach under way when the machine is abandoned ---- */

/* An abandon marks the machine as a destroy does: the attach held past its first look is
   refused, and waited for before the name space (the machine's last) and the process
   state go. (The abandon released them at once, and the attach went on into the freed
   name space: heap-use-after-free in the sanitizer build.) */
TEST_F(EndingTest, AnAttachUnderWayWhenTheMachineIsAbandonedIsRefusedBeforeAnythingGoes) {
  JNIEnv* env = nullptr;
  JavaVM* vm = nullptr;
  {
    // What the abandoned machine holds is lost by design, the host mutex of its own
    // monitor (made by a collection, under collection stress) included.
#ifdef __SANITIZE_ADDRESS__
    __lsan::ScopedDisabler lostByDesign;
#endif
    vm = Create(&env);
  }
  ASSERT_NE(nullptr, vm);
  AttachHeldAcross(host, vm, "AbandonJavaVM", [&] {
    EXPECT_EQ(0, vm->functions->AbandonJavaVM(vm));
    EXPECT_FALSE(ProcessStateExists());
  });
  FreeAbandoned(vm, env);
}

/* ---- an abandon racing a destroy of the same machine ---- */

thread_local bool tlsHoldWalk = false;
std::atomic<bool> gWalkReached{false};
std::atomic<bool> gWalkReleased{false};
jboolean(HOSTCALL* gRealSpinLockAcquire)(void*, const char*) = nullptr;

/* The abandon's walk of the name space's classes, where a preempted thread may be: it
   holds there until the test lets it go on, unless the thread holds the global mutex
   (then nothing can take the machine meanwhile, and a hold would keep the destroy out
   for good). */
jboolean HOSTCALL HeldSpinLockAcquire(void* lock, const char* tag) {
  if (tlsHoldWalk && tag != nullptr && strcmp(tag, "namespace spinlock - AbandonJavaVM") == 0) {
    tlsHoldWalk = false;
    gWalkReached = true;
    if (refhost::MutexesHeldByThisThread() == 0)
      while (!gWalkReleased.load()) std::this_thread::sleep_for(Ms(1));
  }
  return gRealSpinLockAcquire(lock, tag);
}

/* A host's shutdown abandons a listed machine while another of its threads destroys it
   (this thread, attached): exactly one of them takes it, and the other reads nothing of
   it, whichever comes first. (The abandon looked at the record and walked the name
   space's classes before it asked whether the machine was still its to take, and went
   on reading them once the destroy had freed them: heap-use-after-free in the sanitizer
   build.) */
TEST_F(EndingTest, AnAbandonRacingADestroyOfTheMachineReadsNothingOnceTheDestroyHasIt) {
  JNIEnv* env = nullptr;
  JavaVM* vm = nullptr;
  {
#ifdef __SANITIZE_ADDRESS__
    __lsan::ScopedDisabler lostByDesign;  // an abandoned machine's, as above
#endif
    vm = Create(&env);
  }
  ASSERT_NE(nullptr, vm);
  gWalkReached = false;
  gWalkReleased = false;
  gRealSpinLockAcquire = host->SpinLockAcquire;
  host->SpinLockAcquire = HeldSpinLockAcquire;
  std::atomic<int> abandoned{-5};
  std::thread abandoner([&] {
    tlsHoldWalk = true;
    // Through the entry itself: the record's table goes with the record.
    abandoned = VMJniInvoke::AbandonJavaVM(vm);
  });
  WhileOutside([] {
    while (!gWalkReached.load()) std::this_thread::sleep_for(Ms(1));
  });
  const jint destroyed = VMJniInvoke::DestroyJavaVM(vm);
  gWalkReleased = true;
  JoinOutside(abandoner);
  host->SpinLockAcquire = gRealSpinLockAcquire;
  EXPECT_EQ(1, (destroyed == 0) + (abandoned.load() == 0))
      << "destroyed " << destroyed << ", abandoned " << abandoned.load();
  if (abandoned.load() == 0) FreeAbandoned(vm, env);
}

/* ---- daemon threads in a host read when the machine ends ---- */

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

/* Standard input without a position, as a pipe or a terminal is. */
jlong HOSTCALL PipePosition64(jint handle) {
  return handle == 0 ? -1 : refhost::RealFileSystem()->GetFilePointer64(handle);
}
jint HOSTCALL PipePosition(jint handle) {
  return handle == 0 ? -1 : refhost::RealFileSystem()->GetFilePointer(handle);
}

/* The host's reads go through read from now on, nothing held or released yet. */
void HoldReads(jint(HOSTCALL* read)(jint, void*, jint)) {
  gReadsHeld = 0;
  gReadsReleased = false;
  gHeldFiles = *refhost::RealFileSystem();
  gHeldFiles.Read = read;
  refhost::SetFileSystemOverride(&gHeldFiles);
}

/* The destroy lets go of the three daemon readers, which the stop cannot wake, and ends;
   another machine is made and works. When the reads return, the readers never come back
   into the machine they left (its records, envs, frames and the arrays they read for are
   gone): each parks for good, and the new machine goes on undisturbed. Standard input
   reads as a pipe, so that the longest read is the one host call of a pipe, into its
   larger buffer. */
TEST_F(EndingTest, DaemonsInAHostReadAreLetGoAndNeverComeBack) {
  HoldReads(HeldRead);
  gHeldFiles.GetFilePointer64 = PipePosition64;
  gHeldFiles.GetFilePointer = PipePosition;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  CallStatic(env, "EndingReader", "start");
  ASSERT_TRUE(ReadsHeld(3));
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
  EXPECT_TRUE(WaitFor([&] { return refhost::SleptMillis() - sleptBefore >= 3000000000LL; }))
      << "a reader let go did not park";
  CallStatic(nextEnv, "java/lang/System", "gc");
  CallStatic(nextEnv, "EndingReader", "start");
  ASSERT_TRUE(ReadsHeld(6));
  Destroy(next);
}

/* ---- the let-go racing the end of a host wait ---- */

/* A thread of the machine's own (taken for a daemon by a destroyer that is not attached)
   enters and leaves host waits without pause while the machine ends: the destroyer lets
   it go inside one, and it parks there, or it is outside one and goes on as a thread of
   the machine, which it still is. It never finds its record changed under it. */
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
        // Taken for threads the machine started: the only ones a destroy lets go.
        mine->javaVM->vm->MarkStartedThread();
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
    // Both in their loops. A yield on a loaded machine may cost a whole time slice: a
    // thousand waits took more than 5 s on two busy cores.
    ASSERT_TRUE(WaitFor([&] { return attached.load() == 2 && waits.load() > 100; }, 60000));
    EXPECT_TRUE(EndsWithin(30000, [&] { EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)); })) << "round " << round;
  }
  EXPECT_FALSE(wrong.load());
  EXPECT_TRUE(WaitFor([&] { return refhost::SleptMillis() - sleptAtStart >= 6 * 1000000000LL; }, 30000))
      << "a thread let go did not park";
}

/* ---- who a destroy lets go, and who it waits for ---- */

/* Every host sleep of the destroying thread is one step of its waits: a test tells a
   destroy that waits from one that has not yet come to wait by the steps it took. */
thread_local bool tlsDestroyer = false;
std::atomic<int> gDestroyerSleeps{0};
void(HOSTCALL* gRealSleep)(jlong) = nullptr;

void HOSTCALL CountedSleep(jlong ms) {
  if (tlsDestroyer) gDestroyerSleeps++;
  gRealSleep(ms);
}

/* DestroyJavaVM on a thread attached to no machine, as a host's shut-down calls it: it
   takes every thread with a Thread object for a daemon. */
class OutsideDestroy {
 public:
  explicit OutsideDestroy(JavaVM* vm) {
    JNIHostFunctions* host = refhost::Functions();
    gDestroyerSleeps = 0;
    gRealSleep = host->Sleep;
    host->Sleep = CountedSleep;
    thread_ = std::thread([this, vm] {
      tlsDestroyer = true;
      result_ = vm->functions->DestroyJavaVM(vm);
      returned_ = true;
    });
  }
  ~OutsideDestroy() {
    if (!returned_.load()) {
      thread_.detach();  // the test has failed and ends the process
      return;
    }
    thread_.join();
    refhost::Functions()->Sleep = gRealSleep;
  }
  /* Whether the destroy returned before it had taken steps host sleeps (a step of 300 ms
     each: a destroy that lets go of a thread does so after its first). */
  bool ReturnsBefore(int steps) {
    WhileOutside([&] {
      while (!returned_.load() && gDestroyerSleeps.load() < steps) std::this_thread::sleep_for(Ms(1));
    });
    return returned_.load();
  }
  /* Waits for the destroy's end, which should be near; a destroy that never ends leaves a
     thread blocked for good, so the test ends the process. */
  void FinishOrExit(const char* what) {
    WhileOutside([&] {
      for (int i = 0; i < 20000 && !returned_.load(); i++) std::this_thread::sleep_for(Ms(1));
    });
    if (!returned_.load()) {
      ADD_FAILURE() << what;
      fflush(stdout);
      _exit(1);
    }
    EXPECT_EQ(0, result_.load());
  }

 private:
  std::thread thread_;
  std::atomic<bool> returned_{false};
  std::atomic<int> result_{-5};
};

/* A destroy from outside that waits for a held read: it has not returned after four of
   its steps (a destroy that lets a thread go does so after the first), and it ends once
   the read is released. */
void DestroyWaitsForTheHeldRead(JavaVM* vm, const char* what) {
  OutsideDestroy destroy(vm);
  EXPECT_FALSE(destroy.ReturnsBefore(4)) << what;
  gReadsReleased = true;
  destroy.FinishOrExit("the destroy did not end once the held read returned");
}

/* new FileInputStream(FileDescriptor.in).read() on the calling thread; its exception, if
   any, left pending. */
void ReadStdin(JNIEnv* env) {
  const JNINativeInterface_* f = env->functions;
  jclass fdClass = f->FindClass(env, "java/io/FileDescriptor");
  jobject in = f->GetStaticObjectField(env, fdClass, f->GetStaticFieldID(env, fdClass, "in", "Ljava/io/FileDescriptor;"));
  jclass fisClass = f->FindClass(env, "java/io/FileInputStream");
  jobject stream = f->NewObject(env, fisClass, f->GetMethodID(env, fisClass, "<init>", "(Ljava/io/FileDescriptor;)V"), in);
  f->CallIntMethod(env, stream, f->GetMethodID(env, fisClass, "read", "()I"));
}

/* A host thread of machine A holds the monitor of a class (name-space data, shared with
   machine B) and reads standard input when a destroy from outside ends A. It is no thread
   A started, and it holds a mutex: the destroy waits for the read to return, and for the
   thread to leave the monitor and detach as its host code goes on; B's threads then take
   the monitor. (A destroy that let it go ended at once, and left the monitor to a thread
   parked in the host for good: every thread of B that came for it waited for ever.) */
TEST_F(EndingTest, AHostThreadInAReadHoldingANameSpaceMonitorIsWaitedForAndLeavesIt) {
  HoldReads(HeldRead);
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA);
  ASSERT_NE(nullptr, a);
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB, a);  // the same name space; this thread is now B's
  ASSERT_NE(nullptr, b);
  ASSERT_EQ(0, a->functions->DetachCurrentThread(a));  // and B's only
  std::atomic<void*> readerId{nullptr};
  std::atomic<bool> left{false};
  std::thread reader([&] {
    JNIEnv* mine = nullptr;
    if (VMJniInvoke::AttachCurrentThread(a, &mine, nullptr) != 0) return;
    jclass cls = mine->functions->FindClass(mine, "java/lang/String");
    if (mine->functions->MonitorEnter(mine, cls) != 0) return;
    readerId = host->CurrentThreadId();
    ReadStdin(mine);  // ends stopped
    mine->functions->ExceptionClear(mine);
    left = mine->functions->MonitorExit(mine, cls) == 0;
    VMJniInvoke::DetachCurrentThread(a);
  });
  reader.detach();
  ASSERT_TRUE(ReadsHeld(1));

  DestroyWaitsForTheHeldRead(a, "the destroy of A went on while a host thread was in a read holding a monitor");
  EXPECT_TRUE(left.load()) << "the reader did not come back to leave its monitor";
  VMMonitor* monitor = VMJniHandle::UnHandle(envB, envB->functions->FindClass(envB, "java/lang/String"))->GetMonitor();
  if (monitor != nullptr && monitor->GetOwner() == readerId.load()) {
    ADD_FAILURE() << "the class's monitor is still owned by the reader, which never comes back";
    fflush(stdout);
    _exit(1);  // B's threads wait for it for ever; nothing can end B
  }
  OtherThreadTakesClassMonitor(b, "java/lang/String");
  Destroy(b);
}

/* Two daemons use a class whose static initialiser reads standard input: the first runs
   the read, the second waits for the initialisation to end, where a stop does not reach
   it. The reader holds the class for its machine: the destroy waits for the read, which
   ends the reader stopped; the initialisation fails, and the second daemon ends as well.
   (A destroy that let the reader go left the initialisation unfinished for good: the
   second daemon waited for it for ever, and the destroy for the second daemon, whether
   the read returned or not.) */
TEST_F(EndingTest, ADaemonReadingInAStaticInitialiserIsWaitedForAndItsClassLetsTheOthersEnd) {
  HoldReads(HeldRead);
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  CallStatic(env, "EndingReader", "startInitialising");
  ASSERT_TRUE(ReadsHeld(1));
  // Waits for another thread's initialisation are waits on the name space's monitor.
  VMObject* ns = (VMObject*)vm->nameSpace;
  bool waiting = false;
  WhileOutside([&] {
    waiting = WaitFor([ns] {
      VMMonitor* monitor = ns->GetMonitor();
      return monitor != nullptr && monitor->GetWaitCount() > 0;
    });
  });
  ASSERT_TRUE(waiting) << "the second daemon did not come to wait for the initialisation";
  ASSERT_EQ(0, vm->functions->DetachCurrentThread(vm));
  DestroyWaitsForTheHeldRead(vm, "the destroy went on while a daemon in a read ran a static initialiser");
}

/* Two daemons run static initialisers that each need the other's class, so each waits
   for the other's initialisation for good, as it would on any machine. The destroy's stop
   reaches them in that wait: they leave it, and the machine ends. (The wait let no stop
   in: the destroy waited for them for ever.) */
TEST_F(EndingTest, DaemonsWaitingForEachOthersInitialisersEndWithTheMachine) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  CallStatic(env, "EndingReader", "startInitialisingEachOther");
  VMObject* ns = (VMObject*)vm->nameSpace;
  bool waiting = false;
  WhileOutside([&] {
    waiting = WaitFor([ns] {
      VMMonitor* monitor = ns->GetMonitor();
      return monitor != nullptr && monitor->GetWaitCount() == 2;
    });
  });
  ASSERT_TRUE(waiting) << "the daemons did not come to wait for each other's initialisation";
  ASSERT_EQ(0, vm->functions->DetachCurrentThread(vm));
  EXPECT_TRUE(EndsWithin(30000, [&] { EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)); }))
      << "the destroy waited for daemons that wait for each other's initialisers";
}

/* A thread attached to machines A and B (separate name spaces) reads standard input in A
   when a destroy from outside ends A: once as a plain host thread, once as a thread A
   started whose code then attached it to B as well. Either way its code goes on to B once
   the read returns: A's destroy waits for the read, the thread comes back stopped and
   detaches from both, and B's destroy ends. (A destroy that let it go left it attached to
   B for good, and B's destroy waited for it for ever.) */
TEST_F(EndingTest, AThreadOfTwoMachinesInAReadIsWaitedForAndLetsTheOtherEnd) {
  for (int startedByA = 0; startedByA < 2; startedByA++) {
    SCOPED_TRACE(startedByA ? "a thread A started" : "a host thread");
    HoldReads(HeldRead);
    JNIEnv* envA = nullptr;
    JavaVM* a = Create(&envA);
    ASSERT_NE(nullptr, a);
    JNIEnv* envB = nullptr;
    JavaVM* b = Create(&envB);
    ASSERT_NE(nullptr, b);
    ASSERT_EQ(0, a->functions->DetachCurrentThread(a));  // this thread is B's only
    std::atomic<bool> back{false};
    std::thread reader([&] {
      JNIEnv* inA = nullptr;
      JNIEnv* inB = nullptr;
      if (VMJniInvoke::AttachCurrentThread(a, &inA, nullptr) != 0) return;
      if (startedByA) a->vm->MarkStartedThread();
      if (VMJniInvoke::AttachCurrentThread(b, &inB, nullptr) != 0) return;
      host->SetCurrentEnv(inA);
      ReadStdin(inA);  // ends stopped
      back = true;
      inA->functions->ExceptionClear(inA);
      VMJniInvoke::DetachCurrentThread(a);
      host->SetCurrentEnv(inB);
      VMJniInvoke::DetachCurrentThread(b);
    });
    reader.detach();
    ASSERT_TRUE(ReadsHeld(1));
    DestroyWaitsForTheHeldRead(a, "the destroy of A went on while a thread of B was in a read in A");
    EXPECT_TRUE(back.load());
    ASSERT_EQ(0, b->functions->DetachCurrentThread(b));
    OutsideDestroy destroy(b);
    destroy.FinishOrExit("machine B did not end: the thread A let go is still attached to it");
  }
}

/* The archive's file monitor as the readers meet it: for every host mutex, its owner and
   how many threads are on their way into it, so that a test learns when a thread waits
   for a mutex the held reader holds. */
std::mutex gMutexBook;
std::map<void*, std::thread::id> gMutexOwners;
std::map<void*, int> gMutexComing;
std::thread::id gHolder;
jboolean(HOSTCALL* gRealLock)(void*) = nullptr;
jboolean(HOSTCALL* gRealUnlock)(void*) = nullptr;
std::atomic<bool> gFileReadsArmed{false};

jboolean HOSTCALL BookedLock(void* mutex) {
  {
    std::lock_guard<std::mutex> book(gMutexBook);
    gMutexComing[mutex]++;
  }
  jboolean locked = gRealLock(mutex);
  std::lock_guard<std::mutex> book(gMutexBook);
  gMutexComing[mutex]--;
  if (locked) gMutexOwners[mutex] = std::this_thread::get_id();
  return locked;
}

jboolean HOSTCALL BookedUnlock(void* mutex) {
  {
    std::lock_guard<std::mutex> book(gMutexBook);
    gMutexOwners.erase(mutex);
  }
  return gRealUnlock(mutex);
}

bool SomeoneWaitsForTheHolder() {
  std::lock_guard<std::mutex> book(gMutexBook);
  for (const auto& owned : gMutexOwners)
    if (owned.second == gHolder && gMutexComing[owned.first] > 0) return true;
  return false;
}

/* Reads of archives (any file but the standard ones) hold the first reader until the
   test releases them (a file on a slow or remote disk). */
jint HOSTCALL HeldFileRead(jint handle, void* to, jint count) {
  if (handle >= 3 && gFileReadsArmed.load()) {
    {
      std::lock_guard<std::mutex> book(gMutexBook);
      if (gReadsHeld.load() == 0) gHolder = std::this_thread::get_id();
    }
    gReadsHeld++;
    while (!gReadsReleased.load()) std::this_thread::sleep_for(Ms(1));
  }
  return refhost::RealFileSystem()->Read(handle, to, count);
}

/* Two daemons read the entries of one ZipFile, whose every read holds the archive's file
   monitor around its host read. One read is slow; the other daemon waits for the monitor,
   where a stop does not reach it. The destroy waits for the slow read (its thread holds
   the monitor), and ends once it returned: the first daemon leaves the monitor and ends
   stopped, the second takes it, reads and ends too. (A destroy that let the slow reader
   go left the monitor held for good, and waited for the second daemon for ever.) */
TEST_F(EndingTest, TwoDaemonsReadingOneZipFileEndWithTheMachineOnceTheSlowReadReturns) {
  gFileReadsArmed = false;
  HoldReads(HeldFileRead);
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass readers = f->FindClass(env, "EndingZipReaders");
  ASSERT_NE(nullptr, readers);
  f->CallStaticVoidMethod(env, readers, f->GetStaticMethodID(env, readers, "open", "(Ljava/lang/String;)V"),
                          f->NewStringUTF(env, LibraryZip().c_str()));
  ASSERT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
  gRealLock = host->MutexLock;
  gRealUnlock = host->MutexUnlock;
  host->MutexLock = BookedLock;
  host->MutexUnlock = BookedUnlock;
  gFileReadsArmed = true;
  CallStatic(env, "EndingZipReaders", "start");
  bool waiting = false;
  WhileOutside([&] { waiting = WaitFor([] { return gReadsHeld.load() == 1 && SomeoneWaitsForTheHolder(); }); });
  ASSERT_TRUE(waiting) << "no daemon came to wait for the slow reader's file monitor";
  ASSERT_EQ(0, vm->functions->DetachCurrentThread(vm));
  DestroyWaitsForTheHeldRead(vm, "the destroy went on while a daemon held its file monitor in a read");
  host->MutexLock = gRealLock;
  host->MutexUnlock = gRealUnlock;
}

/* A daemon the machine started reads standard input inside synchronized on a class that
   every machine of the name space shares. An interpreted hold locks nothing, so the
   destroy lets the daemon go all the same, and a thread of machine B, of the same name
   space, then takes the class's monitor; collections run at every allocation meanwhile,
   and the daemon, once its read returns, parks without touching either machine. */
TEST_F(EndingTest, ADaemonLetGoInsideSynchronizedLeavesTheClassMonitorFree) {
  HoldReads(HeldRead);
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA);
  ASSERT_NE(nullptr, a);
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  const uint32_t collectionsBefore = VM::GetGarbageCollectRequests();
  CallStatic(envA, "EndingReader", "startHolding");
  ASSERT_TRUE(ReadsHeld(1));
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB, a);  // this thread is now B's
  ASSERT_NE(nullptr, b);
  ASSERT_EQ(0, a->functions->DetachCurrentThread(a));  // and B's only
  {
    OutsideDestroy destroy(a);
    const bool letGo = destroy.ReturnsBefore(20);
    EXPECT_TRUE(letGo) << "the destroy waited for its own daemon in a read, which held an interpreted monitor only";
    if (!letGo) gReadsReleased = true;
    destroy.FinishOrExit("the destroy of A never ended");
  }
  VMMonitor* monitor = VMJniHandle::UnHandle(envB, envB->functions->FindClass(envB, "EndingReader"))->GetMonitor();
  EXPECT_TRUE(monitor == nullptr || monitor->GetOwner() == nullptr);
  OtherThreadTakesClassMonitor(b, "EndingReader");
  const int64_t sleptBefore = refhost::SleptMillis();
  gReadsReleased = true;
  EXPECT_TRUE(WaitFor([&] { return refhost::SleptMillis() - sleptBefore >= 1000000000LL; }))
      << "the daemon let go did not park";
  OtherThreadTakesClassMonitor(b, "EndingReader");
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_LT(collectionsBefore + 10, VM::GetGarbageCollectRequests());
  Destroy(b);
}

}  // namespace
}  // namespace jni_test
