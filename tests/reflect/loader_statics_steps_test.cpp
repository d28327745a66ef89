/* A loader dropped from two machines of one name space, step by step: each machine is
   surveyed with its threads stopped, then lets go of the loader's classes (their static
   data among them) with its threads stopped again. Between the steps the dropping thread
   stands in the other machine's collections, where the host may move a machine whose
   threads are all declared, and a stop may be refused. The classes are the counted
   by/C<k> and by/Count of loader_classes.h. */
#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "loader_classes.h"
#include "machine_move.h"
#include "vmmonitor.h"
#include "vmutils.h"

using loader_classes::Expected;

namespace {

const int kClasses = 24;

/* by/<name>.get() in the loader; -1 when the class is not found, -3 when get threw. */
int Answer(JNIEnv* env, const std::string& name, void* loader) {
  return loader_classes::Answer(env, "by/" + name, loader);
}

/* What the host hooks below act on; set only while a drop runs. */
struct Scene {
  void* dropper = nullptr;     // the host thread id of the dropping thread
  JavaVM* first = nullptr;     // the machine listed first: its steps come first
  JavaVM* second = nullptr;
  std::atomic<int> movesLeft{0};
  std::atomic<int> movesMade{0};
  std::atomic<int> refusalsLeft{0};
  std::atomic<int> refusals{0};
  uint32_t secondCollectionsBefore = 0;
  bool secondCollected = false;
  uint32_t firstCollectionsAtSecond = 0;
};
Scene gScene;
JNIHostFunctions gReal;

/* A walk of the second machine's heap by the dropping thread (its survey there): the
   host moves the first machine before it, every thread of that one declared. */
void HOSTCALL MovingHeapWalk(HHeap* heap, JNIHostHeapWalkFn fn, void* ctx) {
  if (gScene.movesLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper && heap == gScene.second->heap) {
    gScene.movesLeft--;
    if (MoveMachine(gScene.first) != 0) gScene.movesMade++;
  }
  gReal.HeapWalk(heap, fn, ctx);
}

/* The dropping thread's host mutexes are watched from the second machine's first
   collection on; once the first machine has been collected after it (the surveys are
   behind, the first machine has let go), the host refuses the second machine's own
   mutex, which its stops are made under, as often as the test asks. */
jboolean HOSTCALL RefusingMutexLock(void* mutex) {
  if (gScene.refusalsLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper) {
    const uint32_t first = gScene.first->vm->GetCollections();
    const uint32_t second = gScene.second->vm->GetCollections();
    if (!gScene.secondCollected && second != gScene.secondCollectionsBefore) {
      gScene.secondCollected = true;
      gScene.firstCollectionsAtSecond = first;
    }
    VMMonitor* own = gScene.second->vm->GetMonitor();
    if (gScene.secondCollected && first != gScene.firstCollectionsAtSecond && own != nullptr &&
        mutex == own->GetMutex()) {
      gScene.refusalsLeft--;
      gScene.refusals++;
      return 0;
    }
  }
  return gReal.MutexLock(mutex);
}

class LoaderStepsTest : public loader_classes::LoaderTest {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("loadersteps");
    loader_classes::WriteCountedPackage(dir, "by", kClasses);
  }
  static void TearDownTestSuite() { classfile_test::RemoveTree(dir); }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoaderTest::SetUp());
    gReal = *refhost::Functions();
    ASSERT_NO_FATAL_FAILURE(MakeSharing(&other));
    ASSERT_EQ(m.ns, other->nameSpace);
  }
  void TearDown() override {
    Unhook();
    End(other);
    LoaderTest::TearDown();
  }

  void Unhook() {
    refhost::Functions()->HeapWalk = gReal.HeapWalk;
    refhost::Functions()->MutexLock = gReal.MutexLock;
    gScene.movesLeft = 0;
    gScene.refusalsLeft = 0;
  }

  void* NewLoader() { return loader_classes::NewLoaderId(dir, 0x5e000, nextLoader); }

  /* Every class of the loader answered (and so initialised) on the env's machine. */
  static void Initialise(JNIEnv* env, void* loader) {
    for (int k = 0; k < kClasses; k++) ASSERT_EQ(Expected(k), Answer(env, "C" + std::to_string(k), loader)) << k;
  }
  /* How many of the initialisers ran in the env's machine, read before any class of the
     loader is used again there: 0 once the statics were taken. */
  static int Initialisers(JNIEnv* env, void* loader) { return Answer(env, "Count", loader); }

  /* The machines of the name space in the order a drop takes them. */
  void Order() {
    VMUtils::GlobalMutexGuard guard;
    JavaVM* listed = VMUtils::GetVMList();
    gScene.first = listed;
    gScene.second = listed == other ? m.jvm : other;
  }

  void CollectBoth() {
    LoaderTest::CollectBoth(other);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  }

  static std::string dir;
  static int nextLoader;
  JavaVM* other = nullptr;
};

std::string LoaderStepsTest::dir;
int LoaderStepsTest::nextLoader = 0;

/* The second machine's stop is refused (twice) once the first machine has let go of the
   loader: the drop must either end with the loader gone, or leave the first machine's
   statics where they were. Taken there and the loader kept, the next use would run the
   initialisers again over a count started anew. */
TEST_F(LoaderStepsTest, AStopRefusedInTheSecondMachineLeavesNoStaticsHalfTaken) {
  const int rounds = refhost::CollectionStress() != 0 ? 2 : 5;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loader = NewLoader();
    Initialise(m.env, loader);
    On(other, [&](JNIEnv* env) { Initialise(env, loader); });
    Order();
    jobject l = JNI_FindClassLoaderLite(m.env, loader);
    ASSERT_NE(nullptr, l);
    gScene.dropper = gReal.CurrentThreadId();
    gScene.secondCollectionsBefore = gScene.second->vm->GetCollections();
    gScene.secondCollected = false;
    gScene.refusals = 0;
    gScene.refusalsLeft = 2;
    refhost::Functions()->MutexLock = RefusingMutexLock;
    JNI_DestroyClassLoaderLite(m.env, l);
    Unhook();
    ASSERT_GT(gScene.refusals.load(), 0) << "round " << round << ": no stop was refused";
    if (JNI_FindClassLoaderLite(m.env, loader) != nullptr) {
      // Kept: each machine must still hold its statics.
      int firstCount = -9;
      if (gScene.first == m.jvm) {
        firstCount = Initialisers(m.env, loader);
      } else {
        On(other, [&](JNIEnv* env) { firstCount = Initialisers(env, loader); });
      }
      EXPECT_EQ(kClasses, firstCount) << "round " << round << ": the loader was kept, its statics taken";
    }
    CollectBoth();
    // Whatever came of it, the classes answer as before, initialised once more at most.
    for (int k = 0; k < kClasses; k++) EXPECT_EQ(Expected(k), Answer(m.env, "C" + std::to_string(k), loader)) << k;
  }
}

/* The host moves the machine listed first (no thread of it attached) at every walk of the
   other machine's heap the dropping thread makes there: the drop must go on with the
   machine where it is now, and end with the loader gone and the moved machine whole. */
TEST_F(LoaderStepsTest, AMachineMovedBetweenTheStepsOfADropIsFollowed) {
  const int rounds = refhost::CollectionStress() != 0 ? 2 : 5;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* dropped = NewLoader();
    void* kept = NewLoader();
    Initialise(m.env, dropped);
    On(other, [&](JNIEnv* env) {
      Initialise(env, dropped);
      Initialise(env, kept);
    });
    Order();
    // The machine moved must be one the dropping thread is not attached to.
    if (gScene.first == m.jvm) std::swap(gScene.first, gScene.second);
    gScene.dropper = gReal.CurrentThreadId();
    gScene.movesMade = 0;
    // Armed around each drop alone: a collection of this machine elsewhere walks it too.
    for (int attempt = 0; attempt < 100; attempt++) {
      jobject l = JNI_FindClassLoaderLite(m.env, dropped);
      if (l == nullptr) break;
      if (attempt > 0) WhileOutside([] { std::this_thread::yield(); });
      gScene.movesLeft = 3;
      refhost::Functions()->HeapWalk = MovingHeapWalk;
      JNI_DestroyClassLoaderLite(m.env, l);
      Unhook();
    }
    Unhook();
    ASSERT_GT(gScene.movesMade.load(), 0) << "round " << round << ": the machine was not moved";
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, dropped)) << "round " << round;
    CollectBoth();
    EXPECT_EQ("", refhost::CheckHeap(other->heap)) << "round " << round;
    On(other, [&](JNIEnv* env) {
      EXPECT_EQ(kClasses, Initialisers(env, kept)) << "round " << round;
      for (int k = 0; k < kClasses; k++) EXPECT_EQ(Expected(k), Answer(env, "C" + std::to_string(k), kept)) << k;
    });
  }
}

}  // namespace
