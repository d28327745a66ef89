/* The list of finalizer candidates each machine heap keeps, and the process count of
   objects held by machine code: with both in order a collection walks the heap once
   (the sweep); whenever either cannot tell, the roots walk comes back. Every case
   here checks the outcome Java sees (each finalizer once, nothing kept lost) and the
   list's length, which must follow what survives. */
#include "gc_support.h"

#include <mutex>

#include "machine_move.h"

#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmobject.h"

namespace gc_test {
namespace {

class FinalizablesTest : public GcTest {
 protected:
  uint32_t Listed() { return VM::CountFinalizables(world.vm->GetHeap()); }
  VMLoadableClass* Keeper() {
    VMLoadableClass* cls = world.Class("gc/Keeper");
    EXPECT_NE(nullptr, cls);
    EXPECT_EQ(0, cls->Prepare(nullptr));
    EXPECT_EQ(0, cls->Initialize(world.env));
    return cls;
  }
};

/* Objects are listed as they are made; a collection keeps on the list exactly those that
   survive it unfinalized, whether the list path or the roots walk (an object held by
   machine code) chose; the list follows the heap through two relocations. */
TEST_F(FinalizablesTest, TheListFollowsWhatSurvivesAcrossCollectionsAndMoves) {
  ASSERT_EQ(0u, VMObjectBase::GetHeldFlags()) << "an object of an earlier step is still held";
  ASSERT_TRUE(world.vm->FinalizablesListed());
  VMObjectBase::SetCollectionStress(0);  // the list is counted between collections here
  Keeper();
  uint32_t base = Listed();
  EXPECT_EQ(0, Run("Keeper", "setUp", "(I)I", {100}));
  EXPECT_EQ(0, Run("Keeper", "make", "(III)I", {0, 300, 3}));
  EXPECT_EQ(base + 300, Listed());
  world.vm->GarbageCollect(false);
  EXPECT_EQ(200, Run("Keeper", "finalized", "()I"));
  EXPECT_EQ(base + 100, Listed());
  EXPECT_EQ(0, Run("Keeper", "check", "(II)I", {0, 100}));

  // Moved: the list's entries must name the new copies, or the next choice reads freed
  // blocks (poisoned) and finalizes nothing, or the wrong objects.
  HHeap* heap = world.vm->GetHeap();
  ASSERT_GT(refhost::RelocateHeap(heap), 0u);
  refhost::ForEachRelocated(
      heap, [](void*, void* block, void* context) { JNI_Relocate(block, context, refhost::RelocateWord); }, heap);
  JNI_RelocationDone(world.jvm, heap, refhost::RelocateWord);
  world.vm = world.jvm->vm;
  refhost::FinishRelocation(heap);

  // Held by machine code: this collection walks the heap and must leave the list as the
  // list path would.
  VMObject* holder = VMObject::CreateInstance(world.vm->GetHeap(), Keeper(), jallocFailFast);
  ASSERT_NE(nullptr, holder);
  holder->SetIsReachableByCPlusPlusCode();
  EXPECT_EQ(0, Run("Keeper", "make", "(III)I", {0, 60, 2}));  // 30 replace kept ones
  world.vm->GarbageCollect(false);
  EXPECT_EQ(200 + 30 + 30, Run("Keeper", "finalized", "()I"));
  EXPECT_EQ(base + 100 + 1, Listed());
  holder->ClearIsReachableByCPlusPlusCode();
  world.vm->GarbageCollect(false);
  EXPECT_EQ(200 + 60 + 1, Run("Keeper", "finalized", "()I"));
  EXPECT_EQ(base + 100, Listed());
  EXPECT_EQ(0, Run("Keeper", "check", "(II)I", {0, 100}));

  EXPECT_EQ(0, Run("Keeper", "drop", "()I"));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(361, Run("Keeper", "finalized", "()I"));
  EXPECT_EQ(base, Listed());
  world.vm->GarbageCollect(false);
  EXPECT_EQ(361, Run("Keeper", "finalized", "()I")) << "a finalizer ran twice";
}

/* An object destroyed by machine code leaves the list at once: a collection that read
   it afterwards would meet a freed, poisoned block. A list that process memory cannot
   grow leaves the choice to a walk of the heap from then on, which finds every
   candidate; a throwable with a finalizer, made by the machine, is listed too. */
TEST_F(FinalizablesTest, ObjectsOffTheListAreNeitherReadNorLost) {
  VMLoadableClass* keeper = Keeper();
  HHeap* heap = world.vm->GetHeap();
  uint32_t base = Listed();
  VMObject* gone = VMObject::CreateInstance(heap, keeper, jallocFailFast);
  ASSERT_NE(nullptr, gone);
  EXPECT_EQ(base + 1, Listed());
  gone->Destroy(heap);
  EXPECT_EQ(base, Listed());
  world.vm->GarbageCollect(false);
  EXPECT_EQ(0, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  EXPECT_EQ(0, Run("Keeper", "finalized", "()I"));

  VMLoadableClass* noisy = world.Class("gc/FinalThrowable");
  ASSERT_NE(nullptr, noisy);
  ASSERT_EQ(0, noisy->Prepare(nullptr));
  ASSERT_EQ(0, noisy->Initialize(world.env));
  VMJavaLangThrowable* thrown = VMJavaLangThrowable::CreateInstance(world.env, noisy);
  ASSERT_NE(nullptr, thrown);
  EXPECT_EQ(base + 1, Listed());
  world.vm->GarbageCollect(false);
  EXPECT_EQ(1, Run("FinalThrowable", "finalized", "()I"));
  EXPECT_EQ(base, Listed());

  // 200 objects made while process memory refuses the list's growth: from the first
  // refusal on this machine walks the heap, and finds all of them.
  ASSERT_TRUE(world.vm->FinalizablesListed());
  refhost::SetFailureScope(true, nullptr, -1);
  refhost::FailAllocationsAbove(400);
  for (int i = 0; i < 200; i++) ASSERT_NE(nullptr, VMObject::CreateInstance(heap, keeper, jallocFailFast));
  refhost::FailAllocationsAbove(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_FALSE(world.vm->FinalizablesListed());
  world.vm->GarbageCollect(false);
  EXPECT_EQ(200, Run("Keeper", "finalized", "()I"));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(200, Run("Keeper", "finalized", "()I")) << "a finalizer ran twice";
}

/* A collection by a thread that is not one of the machine's own (one attached to no
   machine, one attached for a call of its own, as a loader drop's step is) runs no
   finalizer and drops none: the objects whose finalizers fell due stay alive, with
   what they reach, across a second such collection and a move of the machine, and the
   machine's own thread runs each of them once (at its next poll or collection). */
TEST_F(FinalizablesTest, ACollectionByAThreadNotOfTheMachineLeavesItsFinalizersDue) {
  Keeper();
  const int n = 100;
  for (bool attachedForACall : {false, true}) {
    const int before = Run("Keeper", "finalized", "()I");
    EXPECT_EQ(0, Run("Keeper", "setUp", "(I)I", {(VMword)n}));
    EXPECT_EQ(0, Run("Keeper", "make", "(III)I", {0, (VMword)n, 1}));
    EXPECT_EQ(0, Run("Keeper", "drop", "()I"));
    auto collectFromOutside = [&] {
      std::thread other([&] {
        JNIEnv* env = nullptr;
        if (attachedForACall) {
          env = VMJniCreateEnv(world.jvm);
          if (VMJniAttachEnv(world.jvm, env) != 0) {
            ADD_FAILURE() << "could not attach";
            return;
          }
          env->thread->SetAttachedForClientCall();
        }
        world.jvm->vm->GarbageCollect(false);
        if (env != nullptr) {
          VMJniDetachEnv(world.jvm);
          VMJniClearHostEnv();
        }
      });
      JoinOutside(other);
      refhost::Functions()->SetCurrentEnv(world.env);
    };
    collectFromOutside();
    ASSERT_GT(MoveMachine(world.jvm), 0u);
    world.vm = world.jvm->vm;
    collectFromOutside();
    world.vm->GarbageCollect(false);
    EXPECT_EQ(before + n, Run("Keeper", "finalized", "()I")) << "attached for a call: " << attachedForACall;
    world.vm->GarbageCollect(false);
    EXPECT_EQ(before + n, Run("Keeper", "finalized", "()I")) << "a finalizer ran twice";
    EXPECT_EQ(0, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  }
}

/* The count of held objects: each object once however often its flag is set, gone when
   it is cleared or the object destroyed, for both flags. */
TEST_F(FinalizablesTest, HeldObjectsAreCountedOnceAndLeaveWithTheirObject) {
  uint32_t base = VMObjectBase::GetHeldFlags();
  VMObject* a = VMObject::CreateInstance(world.vm->GetHeap(), world.Class("gc/Node"), jallocFailFast);
  VMObject* b = VMObject::CreateInstance(world.vm->GetHeap(), world.Class("gc/Node"), jallocFailFast);
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  a->SetIsReachableByCPlusPlusCode();
  a->SetIsReachableByCPlusPlusCode();
  b->SetIsDeserializing();
  b->SetIsReachableByCPlusPlusCode();
  EXPECT_EQ(base + 3, VMObjectBase::GetHeldFlags());
  a->ClearIsReachableByCPlusPlusCode();
  a->ClearIsReachableByCPlusPlusCode();
  EXPECT_EQ(base + 2, VMObjectBase::GetHeldFlags());
  b->Destroy(world.vm->GetHeap());
  EXPECT_EQ(base, VMObjectBase::GetHeldFlags());
  // While one is held the heap is walked, and it survives with what it reaches.
  a->SetIsReachableByCPlusPlusCode();
  world.vm->GarbageCollect(false);
  EXPECT_TRUE(VMUtils::ValidateTag(a->GetTag()));
  a->ClearIsReachableByCPlusPlusCode();
  EXPECT_EQ(base, VMObjectBase::GetHeldFlags());
}

/* Four threads make finalizable objects at once, each keeping some in its own range and
   dropping the ones it kept before, while collections come from the full heap and the
   main thread, which now and then holds an object so that the roots walk alternates
   with the list. Nothing kept is lost, and in the end every object made is finalized
   exactly once. */
TEST_F(FinalizablesTest, ThreadsMakingFinalizableObjectsRaceTheCollector) {
  VMLoadableClass* keeper = Keeper();
  const int threads = 4, perThread = 50, keepEvery = 5;
  const uint32_t rounds = Scaled(400, 40);
  EXPECT_EQ(0, Run("Keeper", "setUp", "(I)I", {threads * (perThread / keepEvery)}));
  // A refused block collects once and tries once more, and a finalizable object is freed
  // only by the collection after the one that ran its finalizer: the collection a refusal
  // starts frees what the one before it finalized. The heap is kept full often, yet that
  // never comes to nothing, however the threads are scheduled: between two collections
  // the workers make at most budget rounds (a worker that would make more collects
  // first), one more each while it finishes a round, and the heap has room for those
  // and a margin besides what lives. A refusal then finds the heap holding more than
  // the rounds since the last collection, so that collection finalized at least the
  // margin, which this one frees. (With room for a guessed number of rounds instead, a
  // main thread that ran late on a loaded machine let the workers fill the heap after
  // two collections that finalized nothing: OutOfMemoryError.) Finalizers run after the
  // collection, one pass at a time, while the workers go on making objects: what a
  // collection found due may outlast the next ones until the pass has come to it, so
  // the heap holds several intervals' worth.
  HHeap* heap = world.vm->GetHeap();
  world.vm->GarbageCollect(false);
  world.vm->GarbageCollect(false);
  uint64_t before = refhost::Functions()->HeapBytesInUse(heap);
  EXPECT_EQ(0, Run("Keeper", "make", "(III)I", {0, (VMword)perThread, (VMword)keepEvery}));
  const uint64_t round = refhost::Functions()->HeapBytesInUse(heap) - before;
  ASSERT_GT(round, 0u);
  // The margin also covers what the workers' frames and the main thread's held objects
  // add after the heap is measured; two intervals at the budget hold more than the room
  // past the margin, so that most collections still come from a refusal.
  const uint64_t margin = 256 * 1024;
  const uint32_t budget = 4 + (uint32_t)(2 * margin / round);
  // The workers attach before the heap is made small: an attach that found it full would
  // fail the test for a reason of its own.
  std::atomic<int> running{threads}, attached{0};
  std::atomic<bool> go{false};
  std::mutex budgetLock;
  uint32_t budgetCollections = 0, roundsSince = 0;
  // Whether a worker may make one more round before the next collection.
  auto takeRound = [&] {
    std::lock_guard<std::mutex> guard(budgetLock);
    uint32_t collections = world.vm->GetCollections();
    if (collections != budgetCollections) {
      budgetCollections = collections;
      roundsSince = 0;
    }
    if (roundsSince >= budget) return false;
    roundsSince++;
    return true;
  };
  int made[threads] = {};
  std::string thrown[threads];
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; i++) {
    workers.emplace_back([&, i] {
      JNIEnv* env = VMJniCreateEnv(world.jvm);
      if (VMJniAttachEnv(world.jvm, env) != 0) {
        ADD_FAILURE() << "worker " << i << " could not attach";
        attached++;
        running--;
        return;
      }
      attached++;
      VM::EnterSafeRegion(env->thread);
      while (!go.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      VM::LeaveSafeRegion(env->thread);
      VMMethod* m = world.Method("gc/Keeper", "churn", "(IIII)I");
      for (uint32_t r = 0; r < rounds && made[i] >= 0;) {
        if (!takeRound()) {
          world.vm->GarbageCollect(false);
          continue;
        }
        VMword args[4] = {(VMword)(i * (perThread / keepEvery)), 1, (VMword)perThread, (VMword)keepEvery};
        VMFrame::ExecuteJava(env, m, args);
        if (env->thread->GetException() != nullptr) break;
        made[i] = (int)args[0] < 0 ? -1 : made[i] + (int)args[0];
        r++;
      }
      if (VMObject* e = (VMObject*)env->thread->GetException()) {
        char name[80] = {0};
        uint32_t written = 0;
        VMLiteral* dot = e->GetLoadableClass()->GetDotName();
        if (dot != nullptr) (void)dot->GetUTF8Piece(name, sizeof name - 1, written, 0);
        thrown[i] = std::string("thrown ") + name;
      }
      env->thread->SetException(nullptr);
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
      running--;
    });
  }
  VM::EnterSafeRegion(world.env->thread);
  while (attached.load() < threads) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  VM::LeaveSafeRegion(world.env->thread);
  world.vm->GarbageCollect(false);
  world.vm->GarbageCollect(false);
  uint64_t living = refhost::Functions()->HeapBytesInUse(heap);
  refhost::SetHeapCapacity(heap, living + 4 * (budget + threads) * round + margin);
  uint32_t collectionsBefore = world.vm->GetCollections();
  go = true;
  uint32_t step = 0;
  while (running.load() > 0) {
    VMObject* held = nullptr;
    if (step++ % 2 == 0) {
      held = VMObject::CreateInstance(world.vm->GetHeap(), keeper, jallocFailFast);
      if (held != nullptr) held->SetIsReachableByCPlusPlusCode();
    }
    world.vm->GarbageCollect(false);
    if (held != nullptr) held->ClearIsReachableByCPlusPlusCode();
    VM::EnterSafeRegion(world.env->thread);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    VM::LeaveSafeRegion(world.env->thread);
  }
  JoinOutside(workers);
  refhost::Functions()->SetCurrentEnv(world.env);
  int total = perThread;  // the measured round's
  for (int i = 0; i < threads; i++) {
    EXPECT_EQ("", thrown[i]) << i;
    EXPECT_EQ((int)(rounds * perThread), made[i]) << "thread " << i << " lost a kept object";
    total += made[i];
  }
  EXPECT_GT(world.vm->GetCollections(), collectionsBefore + 5);
  EXPECT_EQ(0, Run("Keeper", "drop", "()I"));
  world.vm->GarbageCollect(false);
  world.vm->GarbageCollect(false);
  // The main thread's held objects (one every other step) are finalized too.
  int finalized = Run("Keeper", "finalized", "()I");
  EXPECT_GE(finalized, total);
  EXPECT_LE(finalized, total + (int)(step + 1) / 2);
  EXPECT_LT(finalized, 1000000) << "a finalizer met a damaged object";
  world.vm->GarbageCollect(false);
  EXPECT_EQ(finalized, Run("Keeper", "finalized", "()I")) << "a finalizer ran twice";
  EXPECT_EQ(0u, VMObjectBase::GetHeldFlags());
}

}  // namespace
}  // namespace gc_test
