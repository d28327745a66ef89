/* The collector over real Java programs: garbage many times the heap, every kind of
   root, finalizers, the final collection, and collections that must not happen. */
#include "gc_support.h"

#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangstring.h"

namespace gc_test {
namespace {

using CollectTest = GcTest;

/* With the heap limited to a few hundred KB, programs that allocate megabytes run to the
   end with what they keep intact; the host hears of every collection, and afterwards
   the heap holds no more blocks than before. */
TEST_F(CollectTest, ProgramsAllocatingManyTimesTheHeapKeepWhatTheyHold) {
  HHeap* heap = world.vm->GetHeap();
  refhost::SetHeapCapacity(heap, 600 * 1024);
  VMObjectBase::SetCollectionStress(0);  // collections are counted here
  uint32_t collected = Collected();
  uint32_t collectionsBefore = world.vm->GetCollections();
  // The kept list, and the head of every 50th garbage list hung off it.
  const uint32_t rounds = Scaled(2000);
  EXPECT_EQ(500 * 499 / 2 + (int)((rounds + 49) / 50) * 199, Run("Churn", "lists", "(II)I", {500, rounds}));
  EXPECT_EQ(0, Run("Churn", "arrays", "(I)I", {Scaled(400)}));
  EXPECT_EQ(0, Run("Churn", "bigObject", "(I)I", {Scaled(2000)}));
  EXPECT_EQ(0, Run("Churn", "deep", "(II)I", {60, Scaled(3000)}));
  // Each round: an exception of its own, a null pointer, and three times in five an
  // index out of bounds.
  const uint32_t throws = Scaled(2000) / 5 * 5;
  EXPECT_EQ((int)(throws + throws + throws * 3 / 5), Run("Churn", "throwing", "(I)I", {throws}));
  EXPECT_EQ(0, Run("Churn", "natives", "(I)I", {Scaled(500)}));
  uint32_t collections = world.vm->GetCollections() - collectionsBefore;
  EXPECT_GT(collections, refhost::CollectionStress() != 0 ? 0u : 10u) << "the heap was never full";
  EXPECT_EQ(collections, Collected() - collected) << "the host hears of each collection once";
  // Between collections every mark is gone and no queue word is in use.
  HeapCensus census = TakeCensus(heap);
  EXPECT_EQ(0u, census.marked);
  EXPECT_EQ(0u, census.queued);
  EXPECT_EQ(0u, census.preGC);
  // Everything the programs made is garbage now but what statics hold.
  uint32_t before = Blocks();
  world.vm->GarbageCollect(false);
  EXPECT_LT(Blocks(), before);
}

/* Each finalizer runs once, on an object whose fields are whole; a resurrected object
   lives until a later collection finds it unreachable again, and is freed then without
   a second finalizer. A finalizer that allocates, collects and throws does no harm. */
TEST_F(CollectTest, FinalizersRunOnceAndAResurrectedObjectDiesLater) {
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {50, 1}));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(50, Run("Finals", "finalized", "()I"));
  EXPECT_EQ(1, Run("Finals", "savedFinalized", "()I"));
  EXPECT_EQ(0, Run("Finals", "savedId", "()I")) << "the resurrected object and its fields survived";
  uint32_t blocks = Blocks();
  world.vm->GarbageCollect(false);
  EXPECT_EQ(50, Run("Finals", "finalized", "()I")) << "no finalizer runs twice";
  EXPECT_EQ(0, Run("Finals", "savedId", "()I"));
  EXPECT_EQ(0, Run("Finals", "dropSaved", "()I"));
  world.vm->GarbageCollect(false);
  world.vm->GarbageCollect(false);
  EXPECT_EQ(50, Run("Finals", "finalized", "()I"));
  EXPECT_LT(Blocks(), blocks) << "the resurrected object was freed at last";
  EXPECT_EQ(0, Run("Finals", "makeNoisy", "(I)I", {5}));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(5, Run("Finals", "noisy", "()I"));
  EXPECT_EQ(nullptr, world.env->thread->GetException()) << "a finalizer's exception is dropped";
}

/* The objects with a finalizer are listed in process memory while the roots are walked:
   a list that grows past its first room loses none, and a list that cannot be made
   (process memory refused) leaves the choice to a walk of the heap, which finds the
   same objects. */
TEST_F(CollectTest, FinalizersRunWhetherTheirListGrowsOrCannotBeMade) {
  int before = Run("Finals", "finalized", "()I");
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {700, 0}));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(before + 700, Run("Finals", "finalized", "()I"));
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {60, 0}));
  refhost::SetFailureScope(true, nullptr, -1);
  refhost::FailAllocationsAbove(1000);
  world.vm->GarbageCollect(false);
  refhost::FailAllocationsAbove(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_EQ(before + 760, Run("Finals", "finalized", "()I"));
  // Finalized once: later collections free them without running anything again.
  uint32_t blocks = Blocks();
  world.vm->GarbageCollect(false);
  EXPECT_EQ(before + 760, Run("Finals", "finalized", "()I"));
  EXPECT_LT(Blocks(), blocks);
}

/* An object held by machine code (flag 0x80) is a root: an object with a finalizer that
   only it reaches is reachable, and its finalizer does not run; once the flag goes, the
   finalizer runs at the next collection. */
TEST_F(CollectTest, WhatMachineCodeHoldsIsNeverFinalized) {
  VMLoadableClass* held = world.Class("gc/Held");
  ASSERT_NE(nullptr, held);
  ASSERT_EQ(0, held->Prepare(nullptr));
  ASSERT_EQ(0, held->Initialize(world.env));
  VMObjectArray* holder = VMObjectArray::CreateInstance(world.vm->GetHeap(), 1, jallocFailFast, VMTag_VMObjectArray);
  VMObject* object = VMObject::CreateInstance(world.vm->GetHeap(), held, jallocFailFast);
  ASSERT_NE(nullptr, holder);
  ASSERT_NE(nullptr, object);
  holder->Set(0, object);
  holder->SetIsReachableByCPlusPlusCode();
  VMObject* data = held->GetInitializedStaticData(world.vm);
  for (int i = 0; i < 3; i++) world.vm->GarbageCollect(false);
  EXPECT_EQ(0u, data->GetWord(0)) << "the finalizer of a held object ran";
  EXPECT_EQ(object, holder->Get(0));
  holder->ClearIsReachableByCPlusPlusCode();
  world.vm->GarbageCollect(false);
  EXPECT_EQ(1u, data->GetWord(0));
}

/* Finalizers run once the collection is over: a collection a finalizer asks for is one
   of its own, but starts no second finalizer pass on the thread (the others still due
   are the running pass's), and each finalizer runs once. */
TEST_F(CollectTest, ACollectionInsideAFinalizerStartsNoSecondPass) {
  VMObjectBase::SetCollectionStress(0);  // collections are counted here
  uint32_t before = world.vm->GetCollections();
  EXPECT_EQ(0, Run("Finals", "makeNoisy", "(I)I", {3}));
  world.vm->GarbageCollect(true);
  EXPECT_EQ(3, Run("Finals", "noisy", "()I"));
  EXPECT_EQ(1, Run("Finals", "deepest", "()I")) << "a finalizer's collection ran the others inside it";
  EXPECT_EQ(before + 1 + 3, world.vm->GetCollections());
  EXPECT_EQ(before + 1 + 3, Collected());
  world.vm->GarbageCollect(true);
  EXPECT_EQ(3, Run("Finals", "noisy", "()I")) << "a finalizer ran twice";
}

/* A thread the host stops (a cancelled call) while its collection request runs the
   finalizers: each finalizer it would begin ends at its first poll, so the pass leaves
   the rest due, and a later pass runs every one of them, once. */
TEST_F(CollectTest, AStoppedThreadsPassLeavesTheRestDueForALaterPass) {
  const int n = 30;
  const int before = Run("Finals", "looped", "()I");
  EXPECT_EQ(0, Run("Finals", "makeLooping", "(I)I", {(VMword)n}));
  refhost::SetStopFlag(true);
  world.vm->GarbageCollect(false);
  refhost::SetStopFlag(false);
  world.vm->GarbageCollect(false);
  world.vm->GarbageCollect(false);
  EXPECT_EQ(before + n, Run("Finals", "looped", "()I")) << "finalizers begun on the stopped thread were dropped";
}

/* The machine's end: the final collection with freed blocks poisoned and leak reports
   on; nothing is freed twice, the machine object last. */
TEST_F(CollectTest, TheFinalCollectionFreesEverythingOnce) {
  refhost::SetLeakReports(true);
  refhost::SetCapture(true);
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {20, 1}));
  EXPECT_EQ(0, Run("Churn", "arrays", "(I)I", {5}));
  world.Destroy();
  EXPECT_EQ(0u, refhost::LeakReportCount()) << refhost::CapturedLog();
  EXPECT_EQ(0, refhost::FatalExitCount()) << refhost::LastFatalExitText();
}

}  // namespace
}  // namespace gc_test
