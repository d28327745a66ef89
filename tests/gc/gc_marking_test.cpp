/* The marking walk reads the instances of small classes through their class's reference
   words, noted once per collection, and arrays of references element by element; every
   other object through its own walk. These tests hold it to the shapes at the edges of
   those ways, against freed-block poisoning: a reference word missed frees a live object
   (its checks fail, or the collector meets the poisoned block), and an int word taken
   for a reference sends a hostile value to the marker. */
#include "gc_support.h"

#include <chrono>
#include <vector>

#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjni.h"

namespace gc_test {
namespace {

using MarkingTest = GcTest;

VMLoadableClass* Prepared(World& world, const char* name) {
  VMLoadableClass* c = world.Class(name);
  if (c != nullptr && c->Prepare(nullptr) != 0) return nullptr;
  return c;
}

/* The shapes are what they are meant to be: a class of exactly 32 instance words with
   references in the first and the last, and a subclass one word past it. */
TEST_F(MarkingTest, TheEdgeShapesHaveTheLayoutsTheyAreMeantToHave) {
  VMLoadableClass* edge = Prepared(world, "gc/Edge");
  VMLoadableClass* past = Prepared(world, "gc/Past");
  ASSERT_NE(nullptr, edge);
  ASSERT_NE(nullptr, past);
  ASSERT_EQ(32u, edge->GetCreateSize());
  ASSERT_EQ(33u, past->GetCreateSize());
  VMboolArray* bits = edge->GetCreateBits();
  for (uint32_t i = 0; i < 32; i++) EXPECT_EQ(i == 0 || i == 31, bits->Get(i)) << "word " << i;
  bits = past->GetCreateBits();
  for (uint32_t i = 0; i < 33; i++) EXPECT_EQ(i == 0 || i == 31 || i == 32, bits->Get(i)) << "word " << i;
}

/* Every shape is kept whole through collections many times over, and once dropped the
   heap goes back to exactly what it held before: nothing was kept by a word that is
   not a reference. */
TEST_F(MarkingTest, EveryShapeKeepsWhatItHoldsAndNothingElse) {
  HHeap* heap = world.vm->GetHeap();
  refhost::SetHeapCapacity(heap, 1200 * 1024);
  // A first round makes what running the code leaves for good (classes, resolved
  // constants); the heap is measured after it.
  EXPECT_EQ(0, Run("Shapes", "churn", "(II)I", {3, 1}));
  EXPECT_EQ(0, Run("Shapes", "drop", "()I"));
  world.vm->GarbageCollect(false);
  uint32_t base = Blocks();
  uint32_t collections = world.vm->GetCollections();
  const uint32_t rounds = Scaled(400, 40);
  EXPECT_EQ(0, Run("Shapes", "churn", "(II)I", {11, rounds}));
  if (refhost::CollectionStress() == 0) {
    EXPECT_GT(world.vm->GetCollections() - collections, 5u);
  }
  // Collections while the machine only holds the shapes, each one checked after.
  for (int i = 0; i < 3; i++) {
    world.vm->GarbageCollect(false);
    EXPECT_EQ(0, Run("Shapes", "check", "(I)I", {11}));
  }
  HeapCensus census = TakeCensus(heap);
  EXPECT_EQ(0u, census.marked);
  EXPECT_EQ(0u, census.queued);
  EXPECT_GT(Blocks(), base + 12000) << "the shapes were not kept";
  EXPECT_EQ(0, Run("Shapes", "drop", "()I"));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(base, Blocks()) << "a word that is not a reference kept something";
  EXPECT_EQ(0, refhost::FatalExitCount()) << refhost::LastFatalExitText();
}

/* Four threads build shapes held only by their own frames and make garbage of every
   shape while the main thread collects as often as it can: each thread's shapes stay
   whole whichever thread's allocation or request collects. */
TEST_F(MarkingTest, ShapesOfSeveralThreadsSurviveEveryonesCollections) {
  refhost::SetHeapCapacity(world.vm->GetHeap(), 6 * 1024 * 1024);
  const int threads = 4;
  const uint32_t rounds = Scaled(300, 60);
  std::atomic<int> running{threads};
  int answers[threads];
  std::string thrown[threads];
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; i++) {
    answers[i] = -1;
    workers.emplace_back([&, i] {
      JNIEnv* env = VMJniCreateEnv(world.jvm);
      if (VMJniAttachEnv(world.jvm, env) != 0) {
        thrown[i] = "<attach>";
        running--;
        return;
      }
      VMMethod* m = world.Method("gc/Shapes", "churnOwn", "(II)I");
      VMword args[2] = {(VMword)(100 * (i + 1)), rounds};
      VMFrame::ExecuteJava(env, m, args);
      answers[i] = (int)args[0];
      if (env->thread->GetException() != nullptr) thrown[i] = "thrown";
      env->thread->SetException(nullptr);
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
      running--;
    });
  }
  uint32_t collections = 0;
  while (running.load() > 0) {
    world.vm->GarbageCollect(false);
    collections++;
    VM::EnterSafeRegion(world.env->thread);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    VM::LeaveSafeRegion(world.env->thread);
  }
  JoinOutside(workers);
  refhost::Functions()->SetCurrentEnv(world.env);
  for (int i = 0; i < threads; i++) {
    EXPECT_EQ("", thrown[i]) << "thread " << i;
    EXPECT_EQ(0, answers[i]) << "thread " << i << " found its shapes damaged";
  }
  EXPECT_GT(collections, 0u);
  EXPECT_EQ(0, refhost::FatalExitCount()) << refhost::LastFatalExitText();
}

}  // namespace
}  // namespace gc_test
