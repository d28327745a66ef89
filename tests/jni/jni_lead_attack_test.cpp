/* A thread's log of globals below its marks under attack: shrunk and grown back round
   after round, its every allocation refused while it would shrink or grow, the machine
   moved between rounds, and another thread emptying and taking again the slots of the
   globals it logged. A bracket's deletion takes exactly what its thread made since its
   marks, and nothing another thread holds. */
#include "jni_support.h"

#include <atomic>
#include <thread>
#include <vector>

#include "machine_move.h"
#include "safe_wait.h"

namespace jni_test {
namespace {

class LeadAttackTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    f = env->functions;
    text = f->NewGlobalRef(env, f->NewStringUTF(env, "logged"));
    cls = f->NewGlobalRef(env, f->FindClass(env, "java/lang/Object"));
  }
  void TearDown() override {
    refhost::FailEveryNthAllocation(0);
    if (vm != nullptr) {
      f->DeleteGlobalRef(env, text);
      f->DeleteGlobalRef(env, cls);
      Destroy(vm);
    }
    JniTest::TearDown();
  }

  /* Whether global h, of e's thread, holds what it was made of (i selects which). */
  bool Holds(JNIEnv* e, jobject h, size_t i) {
    return VMJniHandle::UnHandle(e, h) == VMJniHandle::UnHandle(e, i % 2 ? text : cls);
  }
  static bool Owns(JNIEnv* e, jobject h) {
    const uint32_t index = (uint32_t)(uintptr_t)h;
    VMObjectHandleArray* a = (index & VMJniHandle::NameSpaceGlobalTag) != 0
                                 ? e->thread->GetVM()->GetNameSpace()->GetJNIHandleArray()
                                 : e->thread->GetVM()->GetJNIHandleArray();
    return a->IsOwnedBy(index & VMJniHandle::IndexMask, (VMword)e->thread->GetId());
  }
  static uint32_t Held(VMObjectHandleArray* a) {
    uint32_t n = 0;
    for (uint32_t i = 1; i < a->GetCount(); i++) n += a->Get(i) != nullptr;
    return n;
  }
  uint32_t HeldGlobals() { return Held(vm->vm->GetJNIHandleArray()) + Held(vm->nameSpace->GetJNIHandleArray()); }

  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  const JNINativeInterface_* f = nullptr;
  jobject text = nullptr;
  jobject cls = nullptr;
};

/* A thread with thousands of holes below its marks fills them (its log grows to hold
   them all), lets go of all but two, and refreshes a cache of ten in the holes until its
   log has shrunk; round after round, so the log shrinks and grows back again and again.
   Every third round every allocation is refused meanwhile: a refused shrink still leaves
   room (no refresh fails), a refused growth fails the global cleanly (nothing half
   made). Every fourth round the host moves the machine. At last the bracket's deletion
   takes every global made since its marks, and none made before. */
TEST_F(LeadAttackTest, ALogShrunkAndGrownBackWithItsAllocationsRefusedAndTheMachineMoved) {
  const int kHoles = 3000;
  const uint32_t heldAtStart = HeldGlobals();
  std::vector<jobject> holes, before, since, cache;
  for (int i = 0; i < kHoles; i++) holes.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (int i = 0; i < 6; i++) before.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (jobject g : holes) f->DeleteGlobalRef(env, g);
  jint marks[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  HHeap* heap = vm->vm->GetHeap();
  uint64_t smallest = ~0ull, largest = 0;
  int refusedGrowths = 0;
  for (int round = 0; round < 12; round++) {
    const bool refusing = round % 3 == 1;
    if (refusing) refhost::FailEveryNthAllocation(1);
    std::vector<jobject> batch;
    const int n = round % 2 ? kHoles - 40 : kHoles / 2;
    for (int i = 0; i < n; i++) {
      jobject g = f->NewGlobalRef(env, i % 2 ? text : cls);
      if (g == nullptr) {
        ASSERT_TRUE(refusing) << "round " << round << ": a global failed with nothing refused";
        refusedGrowths++;
        f->ExceptionClear(env);
        continue;
      }
      batch.push_back(g);
    }
    const uint64_t grown = refhost::BytesInUse(heap);
    for (size_t i = 2; i < batch.size(); i++) f->DeleteGlobalRef(env, batch[i]);
    if (batch.size() >= 2) since.insert(since.end(), batch.begin(), batch.begin() + 2);
    for (long r = 0; r < 4L * kHoles; r++) {
      const size_t at = (size_t)r % cache.size();
      jobject fresh = f->NewGlobalRef(env, at % 2 ? text : cls);
      ASSERT_NE(nullptr, fresh) << "round " << round << " refresh " << r
                                << ": the log had shrunk to nothing, or a refused shrink left it no room";
      f->DeleteGlobalRef(env, cache[at]);
      cache[at] = fresh;
    }
    refhost::FailEveryNthAllocation(0);
    const uint64_t shrunk = refhost::BytesInUse(heap);
    if (!refusing) {
      EXPECT_LT(shrunk + 20000, grown) << "round " << round << ": the log did not shrink";
      smallest = std::min(smallest, shrunk);
      largest = std::max(largest, shrunk);
    }
    if (round % 4 == 3) {
      VM::EnterSafeRegion(env->thread);
      EXPECT_GT(MoveMachine(vm), 20u);
      VM::LeaveSafeRegion(env->thread);
      heap = vm->vm->GetHeap();
    }
    for (size_t i = 0; i < before.size(); i++) ASSERT_TRUE(Holds(env, before[i], i)) << "round " << round;
    for (size_t i = 0; i < since.size(); i++) ASSERT_TRUE(Holds(env, since[i], i)) << "round " << round;
    for (size_t i = 0; i < cache.size(); i++) ASSERT_TRUE(Holds(env, cache[i], i)) << "round " << round;
    ASSERT_EQ(heldAtStart + before.size() + since.size() + cache.size(), HeldGlobals())
        << "round " << round << ": a refused global left a slot taken";
  }
  EXPECT_GT(refusedGrowths, 0) << "no growth of the log was refused: the attack missed";
  EXPECT_LT(largest - smallest, 16384u) << "the shrunk log's size drifted from round to round";
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  for (jobject g : since) EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, g)) << "a global made since the marks stayed";
  for (jobject g : cache) EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, g)) << "a cache global made since stayed";
  for (size_t i = 0; i < before.size(); i++) EXPECT_TRUE(Holds(env, before[i], i)) << "a global made before went";
  EXPECT_EQ(heldAtStart + before.size(), HeldGlobals());
  for (jobject g : before) f->DeleteGlobalRef(env, g);
}

/* One thread holds thousands of globals in holes below its open marks; another empties
   them, a batch at a time, and takes the slots again with globals of its own, while the
   first refreshes a cache there (its compactions drop the slots it lost, and its log
   shrinks). Rounds over. The first thread's deletion then takes its cache and what it
   still holds of its own, and not one global of the other's in the slots it once had. */
TEST_F(LeadAttackTest, AShrinkWhileAnotherThreadEmptiesAndRefillsTheLoggedSlots) {
  const int kHeld = 2400;
  std::vector<jobject> holes;
  for (int i = 0; i < kHeld + 40; i++) holes.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (jobject g : holes) f->DeleteGlobalRef(env, g);
  const uint32_t heldAtStart = HeldGlobals();
  jint marks[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  for (int round = 0; round < 6; round++) {
    std::vector<jobject> mine, cache;
    for (int i = 0; i < kHeld; i++) mine.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
    for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
    std::vector<jobject> theirs;
    std::atomic<size_t> handedOver{0};
    std::atomic<bool> done{false};
    std::atomic<int> failed{0};
    std::thread other([&] {
      JNIEnv* e = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &e, nullptr) != 0) {
        failed++;
        handedOver = mine.size();
        return;
      }
      const JNINativeInterface_* m = e->functions;
      // All but the last sixteen of the first thread's globals go and come back as ours.
      for (size_t i = 0; i + 16 < mine.size(); i++) {
        m->DeleteGlobalRef(e, mine[i]);
        jobject g = m->NewGlobalRef(e, i % 2 ? text : cls);
        if (g == nullptr) failed++;
        theirs.push_back(g);
        handedOver = i + 1;
        if (i % 64 == 0) e->thread->Yield();
      }
      handedOver = mine.size();
      while (!done.load()) {
        VM::EnterSafeRegion(e->thread);
        std::this_thread::yield();
        VM::LeaveSafeRegion(e->thread);
      }
      vm->functions->DetachCurrentThread(vm);
    });
    for (long r = 0; handedOver.load() < mine.size() || r < 8L * kHeld; r++) {
      const size_t at = (size_t)r % cache.size();
      jobject fresh = f->NewGlobalRef(env, at % 2 ? text : cls);
      if (fresh == nullptr) {
        failed++;
        break;
      }
      f->DeleteGlobalRef(env, cache[at]);
      cache[at] = fresh;
      if (r % 256 == 0) env->thread->Yield();
    }
    // The other thread's globals live in slots this thread's log once named.
    size_t theirsHeld = 0;
    for (size_t i = 0; i < theirs.size(); i++) theirsHeld += Holds(env, theirs[i], i);
    EXPECT_EQ(theirs.size(), theirsHeld) << "round " << round;
    ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
    for (size_t i = 0; i < theirs.size(); i++)
      ASSERT_TRUE(Holds(env, theirs[i], i)) << "round " << round << ": the deletion took another thread's global "
                                            << i << " from a slot it once logged";
    for (jobject g : cache) ASSERT_EQ(nullptr, VMJniHandle::UnHandle(env, g)) << "round " << round;
    for (size_t i = mine.size() - 16; i < mine.size(); i++)
      ASSERT_EQ(nullptr, VMJniHandle::UnHandle(env, mine[i])) << "round " << round << ": a global it kept stayed";
    done = true;
    VM::EnterSafeRegion(env->thread);
    other.join();
    VM::LeaveSafeRegion(env->thread);
    EXPECT_EQ(0, failed.load());
    for (jobject g : theirs) f->DeleteGlobalRef(env, g);
    ASSERT_EQ(heldAtStart, HeldGlobals()) << "round " << round;
  }
}

}  // namespace
}  // namespace jni_test
