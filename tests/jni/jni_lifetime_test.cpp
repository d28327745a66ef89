/* A machine's life around its ends and moves: a destroyer or an abandoner whose current
   env is another machine's, host attaches to a machine still being created, and threads
   the machine started that run, wait and end while the host moves the machine, or whose
   destroy waits while it moves; finalizable objects a host makes without running Java.
   A case that finds threads blocked for good ends the process after saying so: nothing
   else can end their machine. */
#include "jni_support.h"
#include "machine_move.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmframe.h"
#include "vmmonitor.h"
#include "vmjni_entries.h"

namespace jni_test {
namespace {

using Ms = std::chrono::milliseconds;

void Blocked(const char* what) {
  ADD_FAILURE() << what;
  printf("BLOCKED: %s\n", what);
  fflush(stdout);
  _exit(1);
}

/* The started threads of vm: every attached record but the calling thread's. */
std::vector<VMThread*> StartedThreads(JavaVM* vm, JNIEnv* mine) {
  std::vector<VMThread*> found;
  VMThreadHandleArray* threads = vm->vm->GetThreads();
  for (uint32_t i = 1; i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    if (t != nullptr && t->GetEnv() != nullptr && t != mine->thread && !t->GetFinalizerThread()) found.push_back(t);
  }
  return found;
}

/* Suspends t, a thread of env's machine that runs bytecode without natives, at a poll of
   the interpreter, where a relocation may find it. */
bool SuspendAtAPoll(JNIEnv* env, VMThread* t) {
  t->Suspend();
  OutsideAs(env, [&] {
    for (int wait = 0; wait < 5000 && !t->GetSuspended(); wait++) std::this_thread::sleep_for(Ms(1));
  });
  return t->GetSuspended() && t->GetFrame() != nullptr && !t->GetFrame()->GetIsJNI();
}

/* ---- a host attach held where a preempted thread may be ---- */

/* 0: not yet held; 1: held; 2: let go. */
std::atomic<int> gHold{0};
thread_local bool tlsHold = false;
void(HOSTCALL* gRealAttachEnv)(JavaVM*, JNIEnv*) = nullptr;

/* The host's binding of an attaching thread: past the attach's first look at the record,
   not yet a thread of the machine. Holds until let go, or 5 s. */
void HOSTCALL HeldAttachEnv(JavaVM* vm, JNIEnv* env) {
  if (tlsHold && env != nullptr) {
    tlsHold = false;
    gHold = 1;
    for (int i = 0; i < 5000 && gHold.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  }
  gRealAttachEnv(vm, env);
}

/* ---- standard input held until the test lets it go ---- */

std::atomic<int> gReadsHeld{0};
std::atomic<bool> gReadsReleased{false};
JNIHostFileSystem gHeldFiles;

jint HOSTCALL HeldRead(jint handle, void* to, jint count) {
  if (handle != 0) return refhost::RealFileSystem()->Read(handle, to, count);
  gReadsHeld++;
  while (!gReadsReleased.load()) std::this_thread::sleep_for(Ms(1));
  memset(to, 'x', (size_t)count);
  return count;
}

/* ---- the destroyer's sleep held until the test lets it go ---- */

thread_local bool tlsDestroyer = false;
std::atomic<int> gDestroyerSleep{0};  // 1: the destroyer sleeps; 2: let go
void(HOSTCALL* gRealSleep)(jlong) = nullptr;

void HOSTCALL HeldSleep(jlong ms) {
  if (tlsDestroyer && gDestroyerSleep.load() == 0) {
    gDestroyerSleep = 1;
    for (int i = 0; i < 10000 && gDestroyerSleep.load() != 2; i++) std::this_thread::sleep_for(Ms(1));
  }
  gRealSleep(ms);
}

/* True when every thread of vm but the caller's sleeps in a declared wait of the
   machine's: a monitor's wait or a sleep, on the event an interrupt or notify posts. */
bool AllOthersWaitDeclared(JavaVM* vm, JNIEnv* mine, size_t others) {
  std::vector<VMThread*> threads = StartedThreads(vm, mine);
  if (threads.size() != others) return false;
  for (VMThread* t : threads)
    if (t->GetBlockedOn() == nullptr || !(t->GetSafeToGC() || t->GetInSafeRegion())) return false;
  return true;
}

class LifetimeTest : public JniTest {
 protected:
  void CallStatic(JNIEnv* env, const char* cls, const char* method) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, cls);
    ASSERT_NE(nullptr, c) << cls;
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, method, "()V"));
    ASSERT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
    f->DeleteLocalRef(env, c);
  }
  bool StaticFlag(JNIEnv* env, const char* field) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "Lifetime");
    bool value = f->GetStaticBooleanField(env, c, f->GetStaticFieldID(env, c, field, "Z")) != 0;
    f->DeleteLocalRef(env, c);
    return value;
  }
  void SetStaticFlag(JNIEnv* env, const char* field) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "Lifetime");
    f->SetStaticBooleanField(env, c, f->GetStaticFieldID(env, c, field, "Z"), 1);
    f->DeleteLocalRef(env, c);
  }
  /* Starts the waiters of Lifetime (started threads in Object.wait without and with a
     limit, one in Thread.sleep) and two host threads attached to vm in Object.wait,
     without and with a limit, each of which counts itself in ended when its call returns
     well; returns once all five wait declared. */
  std::vector<std::thread> StartWaiters(JavaVM* vm, JNIEnv* env, std::atomic<int>& ended) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "Lifetime");
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, "startWaiters", "()V"));
    EXPECT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
    f->DeleteLocalRef(env, c);
    std::vector<std::thread> hosts;
    for (jint which = 2; which < 4; which++) {
      hosts.emplace_back([vm, which, &ended] {
        JNIEnv* mine = nullptr;
        if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
        const JNINativeInterface_* g = mine->functions;
        jclass k = g->FindClass(mine, "Lifetime");
        g->CallStaticVoidMethod(mine, k, g->GetStaticMethodID(mine, k, "waitForWake", "(IJ)V"), which,
                                (jlong)(which == 2 ? 0 : 600000));
        if (!g->ExceptionCheck(mine)) ended++;
        g->ExceptionClear(mine);
        g->DeleteLocalRef(mine, k);
        VMJniInvoke::DetachCurrentThread(vm);
      });
    }
    OutsideAs(env, [&] {
      if (!WaitFor([&] { return AllOthersWaitDeclared(vm, env, 5); })) Blocked("the waiters never waited");
    });
    return hosts;
  }

  /* Wakes the waiters of Lifetime unless notified already and its sleeper, and lets them go;
     true once every thread but the caller's has ended well, the host ones counted in
     ended. */
  bool WakeAndEnd(JavaVM* vm, JNIEnv* env, std::vector<std::thread>& hosts, std::atomic<int>& ended, bool waitersNotified) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "Lifetime");
    const char* wake = waitersNotified ? "interruptSleeper" : "wake";
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, wake, "()V"));
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, "letGo", "()V"));
    EXPECT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
    bool all = false;
    OutsideAs(env, [&] {
      all = WaitFor([&] { return vm->vm->GetThreadsAttached() == 1 && ended.load() == 2; });
      for (std::thread& h : hosts) h.join();
    });
    jint waits = f->CallStaticIntMethod(env, c, f->GetStaticMethodID(env, c, "waitsEnded", "()I"));
    EXPECT_EQ(4, waits) << "a wait woken after the move did not end well";
    jboolean interrupted = f->GetStaticBooleanField(env, c, f->GetStaticFieldID(env, c, "sleeperInterrupted", "Z"));
    EXPECT_TRUE(interrupted) << "the sleeper moved was not interrupted";
    f->DeleteLocalRef(env, c);
    return all;
  }
};

/* ---- a destroyer or abandoner whose current env is another machine's ---- */

/* This thread is attached to A and to B, B's env current, and destroys A while a host
   thread of A (a Thread object of its own, no daemon) collects and then calls into Java.
   The destroy runs in A as this thread's record there: its waits let A collect, and it
   waits for the other thread instead of taking it for a daemon and stopping it. (Its
   waits undeclared, the collection waited for it for good.) B's binding is given back. */
TEST_F(LifetimeTest, ADestroyerWhoseCurrentEnvIsAnotherMachinesRunsAsItsRecordThere) {
  for (int round = 0; round < 3; round++) {
    JNIEnv* envA = nullptr;
    JavaVM* a = Create(&envA);
    ASSERT_NE(nullptr, a);
    JNIEnv* envB = nullptr;
    JavaVM* b = Create(&envB);
    ASSERT_NE(nullptr, b);
    ASSERT_EQ(envB, host->GetCurrentEnv());
    std::atomic<int> stage{0};  // 1: attached; 2: to collect; 3: collected and called
    std::atomic<bool> stopped{false};
    std::thread other([&] {
      JNIEnv* mine = nullptr;
      if (VMJniInvoke::AttachCurrentThread(a, &mine, nullptr) != 0) return;
      stage = 1;
      while (stage.load() != 2) std::this_thread::sleep_for(Ms(1));
      a->vm->GarbageCollect(false);
      const JNINativeInterface_* f = mine->functions;
      jclass system = f->FindClass(mine, "java/lang/System");
      if (system != nullptr) f->CallStaticVoidMethod(mine, system, f->GetStaticMethodID(mine, system, "gc", "()V"));
      stopped = system == nullptr || f->ExceptionCheck(mine);
      f->ExceptionClear(mine);
      stage = 3;
      VMJniInvoke::DetachCurrentThread(a);
    });
    host->AttachThreadEnv(a, envA);
    host->SetCurrentEnv(envA);
    WhileOutside([&] {
      while (stage.load() == 0) std::this_thread::sleep_for(Ms(1));
    });
    host->AttachThreadEnv(b, envB);
    host->SetCurrentEnv(envB);
    const uint32_t sleeps = refhost::SleepCallCount();
    std::thread watcher([&] {
      while (refhost::SleepCallCount() == sleeps) std::this_thread::sleep_for(Ms(1));
      stage = 2;
      if (!WaitFor([&] { return stage.load() == 3; }, 10000))
        Blocked("a collection of A waits for the destroyer of A, whose current env is B's");
    });
    EXPECT_EQ(0, a->functions->DestroyJavaVM(a));
    watcher.join();
    other.join();
    EXPECT_FALSE(stopped.load()) << "the destroy of A took a thread of A with a Thread object for a daemon";
    EXPECT_EQ(envB, host->GetCurrentEnv());
    EXPECT_EQ(b, refhost::AttachedVM());
    Destroy(b);
  }
}

/* The same for an abandon: it waits for an attach under way to A, which waits for a
   collection of A that began meanwhile; the abandoner's wait, declared by its record in
   A, lets the collection end, and the attach is refused. */
TEST_F(LifetimeTest, AnAbandonerWhoseCurrentEnvIsAnotherMachinesDeclaresItsWaitThere) {
  JNIEnv* envA = nullptr;
  JavaVM* a = nullptr;
  {
#ifdef __SANITIZE_ADDRESS__
    __lsan::ScopedDisabler lostByDesign;
#endif
    a = Create(&envA);
  }
  ASSERT_NE(nullptr, a);
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB);
  ASSERT_NE(nullptr, b);
  std::atomic<int> stage{0};  // 1: attached; 2: to collect; 3: collected
  std::thread collector([&] {
    JNIEnv* mine = nullptr;
    if (VMJniInvoke::AttachCurrentThread(a, &mine, nullptr) != 0) return;
    stage = 1;
    while (stage.load() != 2) std::this_thread::sleep_for(Ms(1));
    {
      // The monitors it makes are the abandoned machine's, which the host never releases.
#ifdef __SANITIZE_ADDRESS__
      __lsan::ScopedDisabler lostByDesign;
#endif
      a->vm->GarbageCollect(false);
    }
    stage = 3;
    VMJniInvoke::DetachCurrentThread(a);
  });
  host->AttachThreadEnv(a, envA);
  host->SetCurrentEnv(envA);
  WhileOutside([&] {
    while (stage.load() == 0) std::this_thread::sleep_for(Ms(1));
  });
  host->AttachThreadEnv(b, envB);
  host->SetCurrentEnv(envB);
  gHold = 0;
  gRealAttachEnv = host->AttachThreadEnv;
  host->AttachThreadEnv = HeldAttachEnv;
  std::atomic<int> attached{-5};
  std::thread late([&] {
    tlsHold = true;
    JNIEnv* mine = nullptr;
    attached = VMJniInvoke::AttachCurrentThread(a, &mine, nullptr);
    if (attached == 0) VMJniInvoke::DetachCurrentThread(a);
  });
  while (gHold.load() != 1) std::this_thread::sleep_for(Ms(1));
  const uint32_t sleeps = refhost::SleepCallCount();
  std::thread watcher([&] {
    while (refhost::SleepCallCount() == sleeps) std::this_thread::sleep_for(Ms(1));
    // The abandon waits for the held attach: a collection begins, then the attach goes on
    // and waits for it.
    stage = 2;
    std::this_thread::sleep_for(Ms(100));
    gHold = 2;
    if (!WaitFor([&] { return stage.load() == 3 && attached.load() != -5; }, 10000))
      Blocked("a collection of A waits for the abandoner of A, whose current env is B's");
  });
  EXPECT_EQ(0, a->functions->AbandonJavaVM(a));
  watcher.join();
  late.join();
  collector.join();
  host->AttachThreadEnv = gRealAttachEnv;
  EXPECT_EQ(-1, attached.load()) << "an attach under way joined an abandoned machine";
  EXPECT_EQ(envB, host->GetCurrentEnv());
  // What a host does with the machine it abandoned: frees it, records, heap and all.
  HHeap* heap = a->heap;
  VMThreadHandleArray* threads = a->vm->GetThreads();
  for (uint32_t i = 1; i < threads->GetCount(); i++)
    if (threads->Get(i) != nullptr) threads->Get(i)->Destroy(heap);
  host->HeapDestroy(heap);
  host->HeapFree(nullptr, envA);
  host->HeapFree(nullptr, a->name);
  host->HeapFree(nullptr, a);
  leakReportsBefore = refhost::LeakReportCount();
  Destroy(b);
}

/* ---- host attaches to a machine still being created ---- */

/* A host thread attaches to the machine as soon as it is listed, and looks classes up:
   the machine's class library is still starting, which the creating thread does alone,
   so the attach is refused until the creation has finished. (Let in, its look-ups left
   live blocks in the heap at the machine's end, or made the creation fail.) */
TEST_F(LifetimeTest, HostAttachesRacingCreationsJoinOnlyFinishedMachines) {
  for (int version = 1; version <= 2; version++) {
    int refused = 0, early = 0, failed = 0;
    for (int round = 0; round < 30; round++) {
      std::atomic<bool> stop{false};
      std::atomic<int> refusedHere{0};
      std::atomic<bool> earlyHere{false};
      std::thread other([&] {
        while (!stop.load()) {
          JavaVM* listed = nullptr;
          jsize total = 0;
          JNI_GetCreatedJavaVMs(&listed, 1, &total);
          if (total != 1) continue;
          JNIEnv* mine = nullptr;
          if (VMJniInvoke::AttachCurrentThread(listed, &mine, nullptr) != 0) {
            refusedHere++;
            continue;
          }
          if (!listed->vm->GetInitialized()) earlyHere = true;
          const JNINativeInterface_* f = mine->functions;
          for (int i = 0; i < 20; i++) {
            jclass c = f->FindClass(mine, (i & 1) ? "java/lang/String" : "java/lang/Object");
            f->ExceptionClear(mine);
            if (c != nullptr) f->DeleteLocalRef(mine, c);
          }
          VMJniInvoke::DetachCurrentThread(listed);
          break;
        }
      });
      JNIEnv* env = nullptr;
      JavaVM* vm = nullptr;
      JNICreateArgs args = Args(version);
      jint created = JNI_CreateJavaVM(&vm, &env, &args);
      // Made, the machine lets the other thread in, which then leaves.
      if (created == 0) {
        JoinOutside(other);
      } else {
        stop = true;
        other.join();
      }
      if (created != 0) failed++;
      if (earlyHere.load()) early++;
      if (refusedHere.load() != 0) refused++;
      if (created == 0) Destroy(vm);
    }
    EXPECT_EQ(0, failed) << "library version " << version;
    EXPECT_EQ(0, early) << "library version " << version << ": host threads joined a machine still being created";
    printf("library version %d: 30 creations, %d raced by a refused attach\n", version, refused);
  }
}

/* A creation that waits for a debugger refuses a host attach at once, and finishes once
   the wait is released; afterwards the host attaches. */
TEST_F(LifetimeTest, AHostAttachToACreationWaitingForADebuggerIsRefusedAtOnce) {
  JNICreateArgs args = Args();
  args.waitForDebugger = 1;
  std::atomic<int> created{-5};
  JavaVM* made = nullptr;
  JNIEnv* madeEnv = nullptr;
  std::thread creator([&] {
    created = JNI_CreateJavaVM(&made, &madeEnv, &args);
    if (created == 0) VMJniInvoke::DetachCurrentThread(made);
  });
  JavaVM* listed = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    jsize total = 0;
    JNI_GetCreatedJavaVMs(&listed, 1, &total);
    return total == 1;
  }));
  std::atomic<int> attached{-5};
  EXPECT_TRUE(EndsWithin(5000, [&] {
    JNIEnv* mine = nullptr;
    attached = VMJniInvoke::AttachCurrentThread(listed, &mine, nullptr);
    if (attached == 0) VMJniInvoke::DetachCurrentThread(listed);
  }));
  EXPECT_EQ(-1, attached.load()) << "a host thread joined a machine whose creation waits for a debugger";
  listed->debugWait = 0;  // what the debugger's release does
  creator.join();
  ASSERT_EQ(0, created.load());
  JNIEnv* env = nullptr;
  ASSERT_EQ(0, VMJniInvoke::AttachCurrentThread(made, &env, nullptr));
  EXPECT_NE(nullptr, env->functions->FindClass(env, "java/lang/Object"));
  Destroy(made);
}

/* ---- moves of the machine ---- */

/* Three threads the machine started (a spinner, one that waits for its release through
   calls, one whose run ends by an exception its group reports) are stopped at polls of
   their loops while the host moves the machine, twice; then they end, each through its
   end in the machine (the Thread's group and monitor, its record, its detach), which must
   use the moved ones. (The old ones: SIGSEGV, use-after-poison in the sanitizer build.) */
TEST_F(LifetimeTest, StartedThreadsRunWaitAndEndAcrossMovesOfTheirMachine) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  for (int round = 0; round < 3; round++) {
    CallStatic(env, "Lifetime", "start");
    OutsideAs(env, [&] {
      ASSERT_TRUE(WaitFor([&] { return vm->vm->GetThreadsAttached() == 4; }));
    });
    // Each stops at a poll of its loop.
    std::vector<VMThread*> started = StartedThreads(vm, env);
    ASSERT_EQ(3u, started.size());
    for (VMThread* t : started) ASSERT_TRUE(SuspendAtAPoll(env, t));
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(vm), 20u);
    for (VMThread* t : StartedThreads(vm, env)) t->Resume();
    // Each ends on its own once released.
    bool ended = false;
    for (int i = 0; i < 500 && !ended; i++) {
      CallStatic(env, "Lifetime", "release");
      OutsideAs(env, [&] { std::this_thread::sleep_for(Ms(10)); });
      ended = vm->vm->GetThreadsAttached() == 1;
    }
    ASSERT_TRUE(ended) << "round " << round << ": a started thread did not end after the move";
    EXPECT_TRUE(StaticFlag(env, "spinnerEnded"));
    EXPECT_TRUE(StaticFlag(env, "waiterEnded"));
    EXPECT_TRUE(StaticFlag(env, "throwerReported")) << "the group of a thread moved did not report its exception";
    CallStatic(env, "java/lang/System", "gc");
  }
  Destroy(vm);
}

/* ---- moves of the machine while its threads wait ---- */

/* Two started threads and two host-attached ones in Object.wait, without and with a
   limit, and a started thread in Thread.sleep, while the host moves the machine twice;
   then notified and interrupted, each ends its wait, holding its monitor again, and its
   thread well: the wait goes on with the thread's record and the monitor where they are
   now. (It went on with those it read before: SIGSEGV at 0xdddddddd, use-after-poison in
   the sanitizer build, a MarkGraph trap with forced collections.) */
TEST_F(LifetimeTest, ThreadsInObjectWaitOrSleepWakeAndEndAcrossMovesOfTheirMachine) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  for (int round = 0; round < 4; round++) {
    std::atomic<int> ended{0};
    std::vector<std::thread> hosts = StartWaiters(vm, env, ended);
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(vm), 20u);
    ASSERT_TRUE(WakeAndEnd(vm, env, hosts, ended, false)) << "round " << round << ": a waiter did not end after the move";
    CallStatic(env, "java/lang/System", "gc");
  }
  Destroy(vm);
}

/* The same five, suspended as they wait, stop at the poll that follows the wait, the
   waiters notified (the monitor held again; with forced collections, whose waits at that
   poll may put the suspension off, at a poll after it), the sleeper at its step's end; the
   host moves the machine twice, and resumed, each ends well. (The sleeper is interrupted
   only after the resume: the exception it makes would wait for a forced collection that
   waits for the threads suspended.) */
TEST_F(LifetimeTest, ThreadsSuspendedAtThePollAfterTheirWaitEndAcrossMovesOfTheirMachine) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  for (int round = 0; round < 4; round++) {
    std::atomic<int> ended{0};
    std::vector<std::thread> hosts = StartWaiters(vm, env, ended);
    std::vector<VMThread*> waiters = StartedThreads(vm, env);
    for (VMThread* t : waiters) t->Suspend();
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "Lifetime");
    f->CallStaticVoidMethod(env, c, f->GetStaticMethodID(env, c, "notifyWaiters", "()V"));
    ASSERT_FALSE(f->ExceptionCheck(env)) << PendingText(env);
    f->DeleteLocalRef(env, c);
    OutsideAs(env, [&] {
      if (!WaitFor([&] {
            for (VMThread* t : waiters)
              if (!t->GetSuspended()) return false;
            return true;
          }))
        Blocked("the waiters woken did not stop at their polls");
    });
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(vm), 20u);
    for (VMThread* t : StartedThreads(vm, env)) t->Resume();
    ASSERT_TRUE(WakeAndEnd(vm, env, hosts, ended, true)) << "round " << round << ": a waiter did not end after the move";
    CallStatic(env, "java/lang/System", "gc");
  }
  Destroy(vm);
}

/* A daemon the machine started is moved with the machine before it reads standard input
   that nothing ends: the destroy lets it go in its read, as it would had it not moved.
   (The mark that let it go named the machine by its old place: the destroy waited for
   the read.) */
TEST_F(LifetimeTest, ADaemonMovedBeforeItsReadIsLetGoByTheDestroy) {
  gReadsHeld = 0;
  gReadsReleased = false;
  gHeldFiles = *refhost::RealFileSystem();
  gHeldFiles.Read = HeldRead;
  refhost::SetFileSystemOverride(&gHeldFiles);
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  CallStatic(env, "Lifetime", "startReader");
  OutsideAs(env, [&] {
    ASSERT_TRUE(WaitFor([&] { return vm->vm->GetThreadsAttached() == 2; }));
  });
  std::vector<VMThread*> started = StartedThreads(vm, env);
  ASSERT_EQ(1u, started.size());
  ASSERT_TRUE(SuspendAtAPoll(env, started[0]));
  EXPECT_GT(MoveMachine(vm), 20u);
  StartedThreads(vm, env)[0]->Resume();
  SetStaticFlag(env, "read");
  OutsideAs(env, [&] {
    ASSERT_TRUE(WaitFor([&] { return gReadsHeld.load() == 1; }));
  });
  // A destroy that waits for the reader is let out after 5 s: the read returns, and the
  // reader ends as the stopped thread it is.
  std::atomic<bool> destroyed{false};
  std::thread watchdog([&] {
    if (!WaitFor([&] { return destroyed.load(); }, 5000)) gReadsReleased = true;
  });
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  destroyed = true;
  watchdog.join();
  EXPECT_FALSE(gReadsReleased.load()) << "the destroy waited for a daemon in a host read";
  // The reader, let go, parks for good once its read returns.
  const int64_t sleptBefore = refhost::SleptMillis();
  gReadsReleased = true;
  EXPECT_TRUE(WaitFor([&] { return refhost::SleptMillis() - sleptBefore >= 1000000000LL; }))
      << "the reader let go did not park";
}

/* The host moves the machine while its (attached) destroyer sleeps in its declared wait
   for a thread that is not a daemon, which waits outside the machine and then leaves: the
   destroy goes on with the machine and its own record where they are now. (It went on
   with those it read before the wait: SIGSEGV, use-after-poison in the sanitizer build.) */
TEST_F(LifetimeTest, AMachineMovedWhileItsDestroyWaitsIsDestroyedWhereItIsNow) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  std::atomic<int> stage{0};  // 1: attached and waiting outside; 2: to leave
  std::thread other([&] { AttachedUntilLetGo(vm, stage); });
  OutsideAs(env, [&] {
    while (stage.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  gDestroyerSleep = 0;
  gRealSleep = host->Sleep;
  host->Sleep = HeldSleep;
  std::atomic<bool> machineMoved{false};
  std::thread mover([&] {
    while (gDestroyerSleep.load() != 1) std::this_thread::sleep_for(Ms(1));
    // The destroyer sleeps declared, the other thread waits outside: the host may move the
    // machine now.
    VM* before = vm->vm;
    EXPECT_GT(MoveMachine(vm), 20u);
    machineMoved = vm->vm != before;
    gDestroyerSleep = 2;
    stage = 2;
  });
  tlsDestroyer = true;
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  tlsDestroyer = false;
  mover.join();
  other.join();
  host->Sleep = gRealSleep;
  EXPECT_TRUE(machineMoved.load());
}


/* ---- moves while a thread waits declared in a native or the machine ---- */

/* A started thread blocks in a read of standard input (a host wait) while the host moves
   the machine; its read then returns, and it runs on as a thread of the machine whose
   record says it waits no more: a collection must wait for it. (Its wait was left on the
   record's old copy: the moved record stayed in the host wait and the safe region for
   good, so collections ran beside the running thread.) */
TEST_F(LifetimeTest, AThreadInAHostReadRunsOnWhereTheMachineIsAfterAMove) {
  gHeldFiles = *refhost::RealFileSystem();
  gHeldFiles.Read = HeldRead;
  refhost::SetFileSystemOverride(&gHeldFiles);
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  for (int round = 0; round < 3; round++) {
    gReadsHeld = 0;
    gReadsReleased = false;
    CallStatic(env, "Lifetime", "startReaderThatStays");
    OutsideAs(env, [&] {
      if (!WaitFor([&] { return gReadsHeld.load() == 1; })) Blocked("the reader never read");
    });
    std::vector<VMThread*> started = StartedThreads(vm, env);
    ASSERT_EQ(1u, started.size());
    ASSERT_TRUE(started[0]->GetInSafeRegion());
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(vm), 20u);
    gReadsReleased = true;
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClass(env, "Lifetime");
    jfieldID done = f->GetStaticFieldID(env, c, "readsDone", "I");
    OutsideAs(env, [&] {
      if (!WaitFor([&] { return f->GetStaticIntField(env, c, done) == 1; })) Blocked("the read did not return");
    });
    // The reader polls in its loop now: its record is that of a running thread.
    started = StartedThreads(vm, env);
    ASSERT_EQ(1u, started.size());
    EXPECT_FALSE(started[0]->GetInSafeRegion()) << "round " << round;
    EXPECT_FALSE(started[0]->GetInHostWait()) << "round " << round;
    CallStatic(env, "java/lang/System", "gc");
    f->SetStaticBooleanField(env, c, f->GetStaticFieldID(env, c, "readerLetGo", "Z"), 1);
    OutsideAs(env, [&] {
      if (!WaitFor([&] { return vm->vm->GetThreadsAttached() == 1; })) Blocked("the reader did not end");
    });
    EXPECT_TRUE(StaticFlag(env, "readerEnded"));
    f->DeleteLocalRef(env, c);
  }
  Destroy(vm);
  refhost::SetFileSystemOverride(nullptr);
}

/* A host thread blocks in the native interface's MonitorEnter (a safe region) on a
   monitor another host thread holds, while the host moves the machine; once it has the
   monitor, its record counts the hold, and the exit gives it back. (The hold was counted
   on the record's old copy: the moved record's count went from 0 to -1 at the exit.) */
TEST_F(LifetimeTest, AMonitorEnterBlockedInASafeRegionCountsItsHoldWhereTheRecordIsAfterAMove) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass objectClass = f->FindClass(env, "java/lang/Object");
  jobject lock = f->NewGlobalRef(env, f->AllocObject(env, objectClass));
  ASSERT_NE(nullptr, lock);
  for (int round = 0; round < 5; round++) {
    std::atomic<int> stage{0};  // 1: the holder holds; 2: the holder may leave
    std::atomic<VMThread*> blocked{nullptr};
    std::atomic<uint32_t> before{99}, heldCount{99}, leftCount{99};
    std::thread holder([&] {
      JNIEnv* mine = nullptr;
      if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
      EXPECT_EQ(0, mine->functions->MonitorEnter(mine, lock));
      stage = 1;
      OutsideAs(mine, [&] {
        while (stage.load() != 2) std::this_thread::sleep_for(Ms(1));
      });
      EXPECT_EQ(0, mine->functions->MonitorExit(mine, lock));
      VMJniInvoke::DetachCurrentThread(vm);
    });
    std::thread waiter([&] {
      JNIEnv* mine = nullptr;
      if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
      OutsideAs(mine, [&] {
        while (stage.load() != 1) std::this_thread::sleep_for(Ms(1));
      });
      before = mine->thread->GetMutexLockCount();
      blocked = mine->thread;
      EXPECT_EQ(0, mine->functions->MonitorEnter(mine, lock));
      heldCount = mine->thread->GetMutexLockCount();
      EXPECT_EQ(0, mine->functions->MonitorExit(mine, lock));
      leftCount = mine->thread->GetMutexLockCount();
      VMJniInvoke::DetachCurrentThread(vm);
    });
    OutsideAs(env, [&] {
      if (!WaitFor([&] { return blocked.load() != nullptr && blocked.load()->GetInSafeRegion(); }))
        Blocked("the waiter never blocked");
    });
    // Blocked in its enter, past its look at its record: the host may move the machine.
    OutsideAs(env, [&] { std::this_thread::sleep_for(Ms(20)); });
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(vm), 20u);
    stage = 2;
    OutsideAs(env, [&] {
      holder.join();
      waiter.join();
    });
    EXPECT_EQ(before.load() + 1, heldCount.load()) << "round " << round;
    EXPECT_EQ(before.load(), leftCount.load()) << "round " << round;
  }
  f->DeleteGlobalRef(env, lock);
  Destroy(vm);
}

/* One started thread runs a class's static initialiser, stopped at a poll of it, while a
   second waits for it (declared) and the host moves the machine twice; resumed, the
   initialiser calls a static method of its own class and ends, and both threads see the
   class initialised. (The initialiser went on with the static data's old copy and was
   named by its record's old place: it waited for itself, and so did the other thread.) */
TEST_F(LifetimeTest, AStaticInitialiserAndItsWaiterGoOnWhereTheMachineIsAfterAMove) {
  for (int round = 0; round < 3; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    CallStatic(env, "Lifetime", "startInitializers");
    VMThread* initialiser = nullptr;
    OutsideAs(env, [&] {
      if (!WaitFor([&] {
            std::vector<VMThread*> threads = StartedThreads(vm, env);
            if (threads.size() != 2) return false;
            for (VMThread* t : threads)
              if (t->GetInSafeRegion()) initialiser = t == threads[0] ? threads[1] : threads[0];
            return initialiser != nullptr;
          }))
        Blocked("the second thread never waited for the initialiser");
    });
    ASSERT_TRUE(SuspendAtAPoll(env, initialiser));
    // The waiter waits in slices under the name space's monitor: held here, it keeps the
    // waiter in its declared wait (in a slice, or retaking the monitor after one).
    VMNameSpace* ns = vm->vm->GetNameSpace();
    VMMonitor* waits = VMMonitor::GetMonitorFor(ns, (VMObject*)ns);
    ASSERT_NE(nullptr, waits);
    ASSERT_EQ(0, waits->DoMonitorEnter());
    OutsideAs(env, [&] {
      if (!WaitFor([&] {
            for (VMThread* t : StartedThreads(vm, env))
              if (t != initialiser && !t->GetInSafeRegion()) return false;
            return true;
          }))
        Blocked("the waiter left its wait");
    });
    for (int move = 0; move < 2; move++) EXPECT_GT(MoveMachine(vm), 20u);
    ASSERT_EQ(0, waits->DoMonitorExit());
    for (VMThread* t : StartedThreads(vm, env)) t->Resume();
    SetStaticFlag(env, "initGo");
    OutsideAs(env, [&] {
      if (!WaitFor([&] { return vm->vm->GetThreadsAttached() == 1; }, 20000))
        Blocked("an initialiser or its waiter did not end after the move");
    });
    EXPECT_TRUE(StaticFlag(env, "initFirstSaw")) << "round " << round;
    EXPECT_TRUE(StaticFlag(env, "initSecondSaw")) << "round " << round;
    CallStatic(env, "java/lang/System", "gc");
    Destroy(vm);
  }
}

/* ---- finalizable objects a host makes ---- */

/* A host thread makes objects of a class with a finalizer through AllocObject in a 4 MB
   heap, each given a 1,000-byte array that it stores with SetObjectField, and drops each
   at once: no Java runs between them, so nothing but the machine's own thread can run
   the finalizers of what the collections inside those allocations find due, whose
   payloads stay until then. The allocations are not refused (a few at most), and once
   the host asks for a collection every object made has been finalized. */
TEST_F(LifetimeTest, FinalizableObjectsAHostMakesWithoutJavaDoNotFillTheHeap) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  refhost::SetHeapCapacity(vm->vm->GetHeap(), 4u << 20);
  const JNINativeInterface_* f = env->functions;
  jclass c = f->FindClass(env, "HostFin");
  ASSERT_NE(nullptr, c) << PendingText(env);
  jfieldID payload = f->GetFieldID(env, c, "payload", "[B");
  jfieldID finalized = f->GetStaticFieldID(env, c, "finalized", "I");
  jclass sys = f->FindClass(env, "java/lang/System");
  ASSERT_NE(nullptr, sys);
  jmethodID gc = f->GetStaticMethodID(env, sys, "gc", "()V");
  jmethodID runFinalization = f->GetStaticMethodID(env, sys, "runFinalization", "()V");
  ASSERT_TRUE(payload != nullptr && finalized != nullptr && gc != nullptr && runFinalization != nullptr);
  int made = 0, refused = 0;
  for (int i = 0; i < 20000; i++) {
    jobject o = f->AllocObject(env, c);
    if (o != nullptr) {
      made++;
      jbyteArray b = f->NewByteArray(env, 1000);
      if (b != nullptr) {
        f->SetObjectField(env, o, payload, b);
        f->DeleteLocalRef(env, b);
      }
      f->DeleteLocalRef(env, o);
    }
    if (f->ExceptionCheck(env)) {
      refused++;
      f->ExceptionClear(env);
    }
  }
  EXPECT_LE(refused, 50) << "of 20000 objects and their payloads";
  // Each request waits for the finalizers due at its call; the second only covers a
  // finalizer thread that went 2 s without beginning one on a busy machine.
  int seen = -1, threw = 0;
  for (int round = 0; round < 2 && seen != made; round++) {
    f->CallStaticVoidMethod(env, sys, gc);
    f->CallStaticVoidMethod(env, sys, runFinalization);
    if (f->ExceptionCheck(env)) {
      threw++;
      f->ExceptionClear(env);
    }
    seen = f->GetStaticIntField(env, c, finalized);
  }
  EXPECT_EQ(0, threw) << "a request for a collection failed";
  EXPECT_EQ(made, seen) << "objects finalized of those made, refused " << refused;
  f->DeleteLocalRef(env, sys);
  f->DeleteLocalRef(env, c);
  Destroy(vm);
}

}  // namespace
}  // namespace jni_test
