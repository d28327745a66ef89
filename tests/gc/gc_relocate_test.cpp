/* Relocation: the host moves every block of a machine's heap and has the machine rewrite
   its pointers, between two Java calls and while another thread is stopped at a poll;
   then everything runs on. Each word reaches the host's callback once, and no word the
   machine follows names an old copy afterwards (the old copies are poisoned and freed). */
#include "gc_support.h"

#include <set>

#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"

namespace gc_test {
namespace {

/* The host's callback, recording every word it is given. */
struct Recording {
  HHeap* heap;
  std::set<void**> words;
  uint32_t twice = 0;
};

void HOSTCALL RecordAndRelocate(void** word, void* context) {
  Recording* r = (Recording*)context;
  if (!r->words.insert(word).second) r->twice++;
  refhost::RelocateWord(word, r->heap);
}

void RelocateEach(void*, void* newBlock, void* context) {
  JNI_Relocate(newBlock, context, RecordAndRelocate);
}

/* Counts reference words of the moved heap that still name an old copy. */
struct StaleCheck {
  HHeap* heap;
  uint32_t stale = 0;
};

VMCommonObjectBase::WalkResult CheckWord(VMword* slot, void* context) {
  StaleCheck* c = (StaleCheck*)context;
  if (refhost::RelocatedAddress(c->heap, (void*)*slot) != (void*)*slot) c->stale++;
  return VMCommonObjectBase::WalkDone;
}

jboolean HOSTCALL CheckBlock(void* block, void* context) {
  VMObject* o = (VMObject*)block;
  if (!VMUtils::ValidateTag(o->GetTag()) || !o->GetIsRootObject()) return 1;
  StaleCheck* c = (StaleCheck*)context;
  (void)o->VisitReferences(CheckWord, c);
  VMword queue = (VMword)o->GetQueue();
  (void)CheckWord(&queue, c);
  return 1;
}

bool CheckFrameSlot(VMword* slot, void* context) {
  (void)CheckWord(slot, context);
  return true;
}

class RelocateTest : public GcTest {
 protected:
  /* Moves the machine's heap, rewrites every pointer, checks and finishes the move. */
  uint32_t MoveEverything() {
    HHeap* heap = world.vm->GetHeap();
    Recording rec;
    rec.heap = heap;
    uint32_t moved = refhost::RelocateHeap(heap);
    EXPECT_GT(moved, 20u);
    refhost::ForEachRelocated(heap, RelocateEach, &rec);
    JNI_RelocationDone(world.jvm, &rec, RecordAndRelocate);
    EXPECT_EQ(0u, rec.twice) << "a word reached the callback twice";
    EXPECT_EQ(world.jvm->vm, refhost::RelocatedAddress(heap, world.vm)) << "the record's machine";
    world.vm = world.jvm->vm;
    EXPECT_EQ(world.env->thread, world.vm->GetThreads()->Get(1)) << "the env names the moved thread";
    StaleCheck check;
    check.heap = heap;
    refhost::Functions()->HeapWalk(heap, CheckBlock, &check);
    VMThreadHandleArray* threads = world.vm->GetThreads();
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* t = threads->Get(i);
      if (t == nullptr || t->GetFrame() == nullptr) continue;
      VMword frame = (VMword)t->GetFrame();
      (void)CheckWord(&frame, &check);
      EXPECT_EQ(0, t->GetFrame()->WalkReferences(CheckFrameSlot, &check));
    }
    EXPECT_EQ(0u, check.stale) << "words still name old copies";
    refhost::FinishRelocation(heap);
    return moved;
  }

  /* Runs gc/<cls>.<method> on a thread of its own, stops that thread at a poll while it
     runs, moves the machine `moves` times, lets it go on and ends its loop through the
     class's halt(); the method's int answer, -3 for an exception. */
  int RunAcrossMoves(const char* cls, const char* method, const char* sig, VMword arg, int moves) {
    std::string qualified = std::string("gc/") + cls;
    Run(cls, "go", "()I");
    std::atomic<JNIEnv*> env{nullptr};
    std::atomic<int> answer{-2};
    std::thread worker([&] {
      JNIEnv* mine = VMJniCreateEnv(world.jvm);
      ASSERT_EQ(0, VMJniAttachEnv(world.jvm, mine));
      env = mine;
      VMMethod* m = world.Method(qualified.c_str(), method, sig);
      VMword args[2] = {arg, 0};
      VMFrame::ExecuteJava(mine, m, args);
      answer = mine->thread->GetException() == nullptr ? (int)args[0] : -3;
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
    });
    WhileOutside([&] {
      while (env.load() == nullptr) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      env.load()->thread->Suspend();
      while (!env.load()->thread->GetSuspended()) std::this_thread::yield();
    });
    for (int i = 0; i < moves; i++) MoveEverything();
    env.load()->thread->Resume();
    WhileOutside([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    Run(cls, "halt", "()I");
    JoinOutside(worker);
    return answer.load();
  }
};

/* Between two calls: statics, big arrays in pieces, strings, a pending exception's
   message, frame groups and the thread's frame list all move; afterwards Java runs,
   calls natives (the frame list), throws and catches, and collects. */
TEST_F(RelocateTest, EveryBlockMovesBetweenTwoCallsAndJavaRunsOn) {
  EXPECT_EQ(0, Run("Churn", "arrays", "(I)I", {3}));
  EXPECT_EQ(0, Run("Churn", "natives", "(I)I", {30}));
  EXPECT_EQ(0, Run("Finals", "make", "(IZ)I", {10, 1}));
  MoveEverything();
  EXPECT_EQ(0, Run("Churn", "checkKept", "()I"));
  EXPECT_EQ(0, Run("Churn", "natives", "(I)I", {30}));
  EXPECT_EQ(10 + 10 + 6, Run("Churn", "throwing", "(I)I", {10}));
  world.vm->GarbageCollect(false);
  EXPECT_EQ(10, Run("Finals", "finalized", "()I"));
  EXPECT_EQ(0, Run("Churn", "deep", "(II)I", {20, 20}));
  // And once more, with the heap the first move made.
  MoveEverything();
  EXPECT_EQ(0, Run("Churn", "checkKept", "()I"));
  EXPECT_EQ(0, Run("Churn", "bigObject", "(I)I", {20}));
}

/* A thread stopped at a poll inside a running loop (suspended there) while the heap
   moves: its interpreter registers name old copies, and the loop starts over from its
   rewritten frame when it goes on. */
TEST_F(RelocateTest, AThreadStoppedAtAPollRunsOnAfterTheMove) {
  for (const char* loop : {"allocateUntilStopped", "spin"}) {
    int answer = RunAcrossMoves("Churn", loop, "()I", 0, 2);
    if (strcmp(loop, "spin") == 0) {
      EXPECT_EQ(0, answer) << loop;
      EXPECT_GT(Run("Churn", "spins", "()I"), 0);
    } else {
      EXPECT_GT(answer, 0) << loop;
    }
  }
}

/* A finalizer pass whose thread is stopped at a poll inside a finalizer while the
   machine moves: the rest of the due list, chained through the queue words, moves with
   it, and each finalizer's exception is dropped in the thread's record where it is now
   (written into the old copy, it came out of the collection request in the caller). */
TEST_F(RelocateTest, AFinalizerPassRunsOnAcrossMoves) {
  EXPECT_EQ(40, RunAcrossMoves("Finals", "passAcrossMoves", "(I)I", 40, 2));
}

/* A thread stopped at a poll three frames above a catch, which is itself above the frame
   its call began in, while the machine moves twice: the exception thrown after the
   move reaches the catch, whose frame finds the frame that owns its jump buffer through
   the word a move rewrites. */
TEST_F(RelocateTest, AThrowAfterTheMoveReachesACatchAboveTheCallsFirstFrame) {
  EXPECT_EQ(42, RunAcrossMoves("Churn", "spinThenThrowDeep", "()I", 0, 2));
}

/* A compiled method that holds an array in its frame's reference table calls a bytecode
   loop, which is stopped at a poll while the machine moves: the compiled frame, the frame
   the compiled code made for its call and the reference table are rewritten, and the
   compiled code reads its array through the table afterwards. The compiled method is
   called by the native interface or by bytecode, and calls the loop itself or through
   a native; and bytecode calls the loop through a native, holding the array itself. */
TEST_F(RelocateTest, ACompiledFrameMovesWithTheMachineWhileItCalls) {
  ASSERT_TRUE(BindCompiledCode(world));
  const char* const entries[] = {"holdAcrossSpin", "callHoldAcrossSpin", "holdAcrossNativeSpin",
                                 "holdAcrossNativeSpinInJava"};
  for (int round = 0; round < 8; round++) {
    const char* entry = entries[round % 4];
    EXPECT_EQ(1499 * 1500 / 2, RunAcrossMoves("Compiled", entry, "(I)I", 1500, 1)) << entry;
    world.vm->GarbageCollect(false);
  }
}

}  // namespace
}  // namespace gc_test
