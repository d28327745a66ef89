/* The collector with several threads: threads that run Java are stopped at their polls,
   parks lose no wake-up and keep the interrupt, a thread attaching meanwhile waits, and
   what cannot be stopped safely makes the collection give up. */
#include "gc_support.h"

#include <string.h>

#include <chrono>
#include <vector>

#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmmonitor.h"

class MachineTestAccess {
 public:
  static void SetThreadDoingGC(VM* vm, void* id) { vm->SetThreadDoingGC(id); }
  static void Release(VM* vm) { vm->ReleaseThreadsWaitingForGC(); }
};

namespace gc_test {
namespace {

using Clock = std::chrono::steady_clock;
using ThreadsTest = GcTest;

/* A host thread attached to the world's machine that runs one static int method of the
   gc classes; the answer and the class of what it threw. */
struct JavaThread {
  std::thread thread;
  std::atomic<VMThread*> self{nullptr};
  std::atomic<bool> done{false};
  int answer = 0;
  std::string thrown;
  bool interruptedAfter = false;

  void Start(World& world, const char* cls, const char* name, bool interruptFirst = false) {
    thread = std::thread([this, &world, cls, name, interruptFirst] {
      JNIEnv* env = VMJniCreateEnv(world.jvm);
      if (VMJniAttachEnv(world.jvm, env) != 0) {
        thrown = "<attach>";
        done = true;
        return;
      }
      if (interruptFirst) env->thread->SetInterrupted();
      self = env->thread;
      VMMethod* m = world.Method(cls, name, "()I");
      VMword args[2] = {0, 0};
      VMFrame::ExecuteJava(env, m, args);
      answer = (int)args[0];
      VMJavaLangThrowable* e = env->thread->GetException();
      env->thread->SetException(nullptr);
      if (e != nullptr) {
        char* text = ((VMClass*)e->GetLoadableClass())->GetDotNameUTF8();
        thrown = text != nullptr ? text : "?";
        VMJavaLangString::FreeUTF8(text);
      }
      interruptedAfter = env->thread->GetInterrupted();
      env->thread->ClearInterrupted();
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
      done = true;
    });
    // The starting thread may be attached: it waits outside the machine.
    WhileOutside([&] {
      while (self.load() == nullptr && !done.load()) std::this_thread::yield();
    });
  }
};

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

/* A thread spinning in an empty loop (it only polls at its backward branch), interrupted
   or not, while this thread allocates far more than the heap holds: the collections
   complete, and the spinner goes on with its interrupt kept and nothing thrown. */
TEST_F(ThreadsTest, CollectionsCompleteWhileAnotherThreadSpins) {
  refhost::SetHeapCapacity(world.vm->GetHeap(), 900 * 1024);
  for (bool interrupted : {false, true}) {
    Run("Churn", "go", "()I");
    JavaThread spinner;
    spinner.Start(world, "gc/Churn", "spin", interrupted);
    uint32_t before = world.vm->GetCollections();
    auto start = Clock::now();
    // Under stress each allocation waits for the spinner to park.
    const uint32_t rounds = Scaled(1000, 500);
    EXPECT_EQ(300 * 299 / 2 + (int)((rounds + 49) / 50) * 199, Run("Churn", "lists", "(II)I", {300, rounds}));
    EXPECT_GT(world.vm->GetCollections(), before + 3) << interrupted;
    EXPECT_LT(SecondsSince(start), 30.0) << "collections waited for the spinner";
    Run("Churn", "halt", "()I");
    JoinOutside(spinner.thread);
    EXPECT_EQ("", spinner.thrown) << "interrupted: " << interrupted;
    EXPECT_EQ(interrupted, spinner.interruptedAfter) << "the park took the interrupt";
    EXPECT_GT(Run("Churn", "spins", "()I"), 0);
  }
}

/* Four threads allocate and collect all at once for a while: every claim, park and
   release between them, with nothing lost (each checks what it keeps) and no thread
   left waiting. */
TEST_F(ThreadsTest, ThreadsThatAllCollectKeepWhatTheyHold) {
  Run("Churn", "go", "()I");
  std::vector<JavaThread> threads(4);
  for (auto& t : threads) t.Start(world, "gc/Churn", "allocateUntilStopped");
  // The heap shrinks once all four are in (Start returns once its thread is): a thread's
  // own record comes from the machine's heap, and one that attaches late on a loaded
  // machine would find it full of the others' garbage, which nothing collects for a
  // thread not yet attached.
  refhost::SetHeapCapacity(world.vm->GetHeap(), 400 * 1024);
  uint32_t before = world.vm->GetCollections();
  auto start = Clock::now();
  const uint32_t wanted = Scaled(200, 10);
  while (world.vm->GetCollections() < before + wanted && SecondsSince(start) < 60) {
    VM::EnterSafeRegion(world.env->thread);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    VM::LeaveSafeRegion(world.env->thread);
    world.vm->GarbageCollect(false);
  }
  EXPECT_GE(world.vm->GetCollections(), before + wanted);
  Run("Churn", "halt", "()I");
  for (auto& t : threads) {
    JoinOutside(t.thread);
    EXPECT_EQ("", t.thrown);
    EXPECT_GT(t.answer, 0) << "a thread lost what it kept (-1) or never ran";
  }
  EXPECT_EQ(nullptr, world.vm->GetThreadDoingGC());
}

/* A thread that attaches while a collection runs waits for its end before it is added
   to the machine's threads (it would run against a half-marked heap otherwise). */
TEST_F(ThreadsTest, AThreadAttachingDuringACollectionWaitsForItsEnd) {
  unsigned long attached = world.vm->GetThreadsAttached();
  MachineTestAccess::SetThreadDoingGC(world.vm, refhost::Functions()->CurrentThreadId());
  std::atomic<bool> in{false};
  std::thread late([&] {
    JNIEnv* env = VMJniCreateEnv(world.jvm);
    ASSERT_EQ(0, VMJniAttachEnv(world.jvm, env));
    in = true;
    VMJniDetachEnv(world.jvm);
    VMJniClearHostEnv();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_FALSE(in.load());
  EXPECT_EQ(attached, world.vm->GetThreadsAttached());
  MachineTestAccess::Release(world.vm);
  late.join();
  EXPECT_TRUE(in.load());
}

/* A thread that parks while it holds a machine monitor (a host mutex) could hold up a
   finalizer: the collection gives up and frees nothing; it goes through once the
   monitor is given back. Interpreted monitors hold nothing and do not count. */
TEST_F(ThreadsTest, AParkedThreadHoldingAMonitorMakesTheCollectionGiveUp) {
  Run("Churn", "go", "()I");
  VMObject* lockObject = (VMObject*)world.String("lock");
  lockObject->SetIsReachableByCPlusPlusCode();
  std::atomic<int> phase{0};
  std::thread holder([&] {
    JNIEnv* env = VMJniCreateEnv(world.jvm);
    ASSERT_EQ(0, VMJniAttachEnv(world.jvm, env));
    ASSERT_EQ(0, lockObject->MonitorEnter(world.ns));
    phase = 1;
    VMMethod* spin = world.Method("gc/Churn", "spin", "()I");
    VMword args[2] = {0, 0};
    VMFrame::ExecuteJava(env, spin, args);
    EXPECT_EQ(0, lockObject->MonitorExit(world.ns));
    VMJniDetachEnv(world.jvm);
    VMJniClearHostEnv();
  });
  while (phase.load() == 0) std::this_thread::yield();
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {10, 0}));
  uint32_t before = world.vm->GetCollections();
  world.vm->GarbageCollect(false);
  EXPECT_EQ(before, world.vm->GetCollections()) << "collected while a parked thread held a monitor";
  EXPECT_EQ(0, Run("Finals", "finalized", "()I"));
  HeapCensus census = TakeCensus(world.vm->GetHeap());
  EXPECT_EQ(0u, census.marked);
  EXPECT_EQ(0u, census.queued);
  Run("Churn", "halt", "()I");
  JoinOutside(holder);
  world.vm->GarbageCollect(false);
  EXPECT_EQ(before + 1, world.vm->GetCollections());
  EXPECT_EQ(10, Run("Finals", "finalized", "()I"));
  lockObject->ClearIsReachableByCPlusPlusCode();
}

/* A frame whose reference map cannot be had (its method's blocks gone): the collection
   gives up after marking began, every mark is undone and nothing is freed. */
TEST_F(ThreadsTest, AFrameWithoutFlowAnalysisMakesTheCollectionGiveUp) {
  VMObjectBase::SetCollectionStress(0);
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {5, 0}));
  uint32_t blocks = Blocks();
  EXPECT_EQ(0, Run("Churn", "withoutFlow", "()I"));
  EXPECT_LE(blocks, Blocks()) << "something was freed";
  EXPECT_EQ(0, Run("Finals", "finalized", "()I"));
  HeapCensus census = TakeCensus(world.vm->GetHeap());
  EXPECT_EQ(0u, census.marked);
  EXPECT_EQ(0u, census.queued);
  EXPECT_EQ(0u, census.preGC);
  world.vm->GarbageCollect(false);
  EXPECT_EQ(5, Run("Finals", "finalized", "()I"));
}

/* Two machines on one name space collect at the same time, each its own heap: a thread
   of each allocates far more than its heap holds, and both keep what they hold. */
TEST_F(ThreadsTest, TwoMachinesOnOneNameSpaceCollectAtTheSameTime) {
  JavaVM* second = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  ASSERT_NE(nullptr, second);
  memset(second, 0, sizeof(JavaVM));
  second->nameSpace = world.ns;
  second->vm = VM::CreateInstance(1024, second);
  ASSERT_NE(nullptr, second->vm);
  JavaVM* machines[2] = {world.jvm, second};
  for (JavaVM* jvm : machines) refhost::SetHeapCapacity(jvm->vm->GetHeap(), 500 * 1024);
  const uint32_t rounds = Scaled(1500, 100);
  int answers[2] = {0, 0};
  std::string thrown[2];
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; i++) {
    threads.emplace_back([&, i] {
      JNIEnv* env = VMJniCreateEnv(machines[i]);
      ASSERT_EQ(0, VMJniAttachEnv(machines[i], env));
      VMLoadableClass* object = world.ns->GetClassList()->GetObjectClass();
      ASSERT_EQ(0, object->Initialize(env));
      VMMethod* m = world.Method("gc/Churn", "lists", "(II)I");
      VMword args[2] = {400, rounds};
      VMFrame::ExecuteJava(env, m, args);
      answers[i] = (int)args[0];
      if (env->thread->GetException() != nullptr) thrown[i] = "thrown";
      env->thread->SetException(nullptr);
      VMJniDetachEnv(machines[i]);
      VMJniClearHostEnv();
    });
  }
  JoinOutside(threads);
  refhost::Functions()->SetCurrentEnv(world.env);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ("", thrown[i]) << i;
    EXPECT_EQ(400 * 399 / 2 + (int)((rounds + 49) / 50) * 199, answers[i]) << i;
  }
  EXPECT_GT(second->vm->GetCollections(), 0u);
  EXPECT_GT(world.vm->GetCollections(), 0u);
  EXPECT_NE(0u, second->vm->Destroy()) << "the world's machine still counts";
  refhost::Functions()->HeapFree(nullptr, second);
}

/* A finalizer that needs what a thread parked for the collection holds: a class whose
   static initialiser that thread runs until a finalizer has started. The finalizers run
   once the parked threads go on, on the thread that collected, and all see the class
   initialised. Run while the other thread is still parked, the first would wait for
   good: a watchdog stops this thread after 20 s (the finalizers then end by
   ThreadDeath), so that the fault fails the test instead of hanging it. */
TEST_F(ThreadsTest, AFinalizerThatNeedsAParkedThreadsInitialiserDoesNotWaitForGood) {
  const int n = 20;
  Run("Due", "make", "(I)I", {(VMword)n});
  JavaThread initialiser;
  initialiser.Start(world, "gc/Due", "initialise");
  while (!initialiser.done.load() && Run("Due", "initialising", "()I") == 0)
    WhileOutside([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
  ASSERT_FALSE(initialiser.done.load()) << initialiser.thrown;
  Run("Due", "drop", "()I");
  void* me = world.env->thread->GetHandle();
  std::atomic<bool> finished{false}, stopped{false};
  std::thread watchdog([&] {
    auto start = Clock::now();
    while (!finished.load() && SecondsSince(start) < 20) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!finished.load()) {
      stopped = true;
      refhost::Functions()->StopThread(me, 1);
    }
  });
  world.vm->GarbageCollect(false);
  finished = true;
  watchdog.join();
  if (stopped.load()) refhost::SetStopFlag(false);
  JoinOutside(initialiser.thread);
  EXPECT_FALSE(stopped.load()) << "a finalizer waited for the parked thread's initialiser";
  EXPECT_EQ("", initialiser.thrown);
  EXPECT_EQ(42, initialiser.answer);
  EXPECT_EQ(n, Run("Due", "saw42", "()I"));
  EXPECT_EQ(0, Run("Due", "sawOther", "()I"));
}

/* A stop posted to a thread while its collection request runs a finalizer (Thread.stop)
   is the thread's: it ends that finalizer, the pass and the thread's call, and the rest
   stay due for a later pass, each run once. Dropped with the finalizer's own exceptions,
   it left the thread running on, beginning the finalizers after it. */
TEST_F(ThreadsTest, AStopThatReachesAFinalizerEndsThePassAndTheCall) {
  VMObjectBase::SetCollectionStress(0);  // the pass runs inside the request, after the loop
  Run("Finals", "go", "()I");
  JavaThread worker;
  worker.Start(world, "gc/Finals", "stoppedPass");
  while (!worker.done.load() && Run("Finals", "spinning", "()I") == 0)
    WhileOutside([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
  ASSERT_FALSE(worker.done.load()) << worker.thrown;
  world.env->thread->SetExceptionStatus(VMStatus_ThreadDeath, NULL);
  VMJavaLangThrowable* stop = world.env->thread->GetException();
  world.env->thread->SetException(nullptr);
  worker.self.load()->PostException(stop);
  // Unmended, the next finalizers spin until halted: a bound far above the stop's time.
  WhileOutside([&] {
    for (int i = 0; i < 2000 && !worker.done.load(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  Run("Finals", "halt", "()I");
  JoinOutside(worker.thread);
  EXPECT_EQ("java.lang.ThreadDeath", worker.thrown) << "the stop was dropped with the finalizer's exception";
  world.vm->GarbageCollect(false);
  world.vm->GarbageCollect(false);
  const int made = Run("Finals", "made", "()I");
  EXPECT_EQ(20, made);
  EXPECT_EQ(made - 1, Run("Finals", "spun", "()I")) << "the stopped finalizer aside, each runs once";
}

}  // namespace
}  // namespace gc_test
