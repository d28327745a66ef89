/* The machine's throwables: the frame trace they record (in both dispatch loops, and
   with the heap full), the pre-made OutOfMemoryError standing in when no throwable can
   be had, none at all before a machine has its own, and the error of a call that finds
   no memory for its frame. */
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "interp_support.h"
#include "vmarray.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"

namespace interp_test {
namespace {

class InterpThrowableTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Create(ClassDir("interp"))); }
  void TearDown() override { world.Destroy(); }
  uint8_t CodeByte(VMMethod* m, uint32_t at) { return *(uint8_t*)m->GetCode()->FindElement(at, 0u); }
  /* Traces.a's NullPointerException has c, b and a (or the first frames of these), each
     record whole. */
  void ExpectTracesFrames(VMJavaLangThrowable* t, const char* what, uint32_t frames = 3) {
    ASSERT_NE(nullptr, t) << what;
    VMTracebackArray* trace = t->GetTraceback();
    ASSERT_NE(nullptr, trace) << what << ": the exception has no frames";
    ASSERT_EQ(frames, trace->GetSize()) << what;
    VMMethod* methods[] = {world.Method("interp/Traces", "c", "()I"), world.Method("interp/Traces", "b", "(I)I"),
                           world.Method("interp/Traces", "a", "(I)I")};
    for (uint32_t i = 0; i < frames; i++) {
      VMTraceback* record = trace->Get(i);
      ASSERT_NE(nullptr, record) << what << ", frame " << i;
      ASSERT_EQ((VMword)VMTag_VMTraceback, record->GetTag()) << what << ", frame " << i << " freed";
      EXPECT_EQ(methods[i], record->GetMethod()) << what << ", frame " << i;
    }
  }
  /* Traces.a's exception (or that of another Traces method of an int), thrown with the
     machine's heap full of garbage (or of what stays alive) but for the room the given
     blocks took, and no stress collection first. */
  Outcome ThrowWithRoomFor(const std::vector<VMObject*>& rooms, bool alive = false, const char* method = "a",
                           uint32_t arg = 0) {
    HHeap* heap = world.vm->GetHeap();
    VMArrayClass* ints = world.ns->GetArrayClassList()->GetVMintArrayClass();
    std::vector<VMArray*> fill;
    // Largest first, down to arrays of none: what stays free fits no block.
    for (uint32_t count = 16384;; count /= 2) {
      while (VMArray* a = VMArray::CreateInstance(heap, count, 4, jallocFailFast, VMTag_VMUserArrayInstance)) {
        a->SetIsScalarArray();
        a->SetClass(ints);
        if (alive) a->SetIsReachableByCPlusPlusCode();
        fill.push_back(a);
      }
      if (count == 0) break;
    }
    for (VMObject* room : rooms) {
      EXPECT_NE(nullptr, room) << "no room to be made";
      if (room != nullptr) room->Destroy(heap);
    }
    const uint32_t stress = VMObjectBase::GetCollectionStress(), collections = world.vm->GetCollections();
    VMObjectBase::SetCollectionStress(0);
    Outcome o = world.Call("interp/Traces", method, "(I)I", {arg});
    VMObjectBase::SetCollectionStress(stress);
    EXPECT_NE(collections, world.vm->GetCollections()) << "no collection was made";
    if (alive)
      for (VMArray* a : fill) a->ClearIsReachableByCPlusPlusCode();
    return o;
  }
  World world;
};

TEST_F(InterpThrowableTest, AMachineExceptionRecordsEveryFrameInnermostFirst) {
  for (VMword slow : {0u, 1u}) {
    Outcome o = world.Call("interp/Traces", "a", "(I)I", {slow});
    ASSERT_EQ("java.lang.NullPointerException", o.thrown);
    VMTracebackArray* trace = o.exception->GetTraceback();
    ASSERT_NE(nullptr, trace);
    // c (or cSlow), b, a, each once: the frame native code entered a through is no call
    // of its own, and the thread's first frame is not recorded.
    ASSERT_EQ(3u, trace->GetSize()) << "slow " << slow;
    VMMethod* c = world.Method("interp/Traces", slow ? "cSlow" : "c", "()I");
    VMMethod* b = world.Method("interp/Traces", "b", "(I)I");
    VMMethod* a = world.Method("interp/Traces", "a", "(I)I");
    EXPECT_EQ(slow == 0, c->GetIsContiguousCode());
    VMMethod* expected[] = {c, b, a};
    for (uint32_t i = 0; i < 3; i++) EXPECT_EQ(expected[i], trace->Get(i)->GetMethod()) << "frame " << i;
    // Each bytecode frame's pc lies inside the instruction it stopped at (its last byte),
    // so that its line is that instruction's: the field access that met null, and the
    // calls in its callers.
    uint32_t pc = trace->Get(0)->GetPC();
    ASSERT_GE(pc, 2u);
    uint8_t op = CodeByte(c, pc - 2);
    EXPECT_TRUE(op == OP_getfield || op == OP_getfield_quick) << "opcode " << (int)op << " at pc " << pc - 2;
    EXPECT_EQ(OP_invokestatic, CodeByte(b, trace->Get(1)->GetPC() - 2));
    EXPECT_EQ(OP_invokestatic, CodeByte(a, trace->Get(2)->GetPC() - 2));
  }
}

TEST_F(InterpThrowableTest, WithoutMemoryThePreMadeOutOfMemoryErrorStandsIn) {
  VMLoadableClass* cce = world.Class("java/lang/ClassCastException");
  ASSERT_NE(nullptr, cce);
  ASSERT_EQ(0, cce->Prepare(nullptr));
  VMJavaLangThrowable* oom = world.vm->GetOutOfMemoryError();
  ASSERT_NE(nullptr, oom);
  VMLoadableClass* oomClass = oom->GetLoadableClass();
  // The allocation on the machine's heap and its one retry after a collection are
  // refused.
  refhost::SetFailureScope(true, world.vm->GetHeap(), -1);
  refhost::FailNextAllocations(2);
  VMJavaLangThrowable* t = VMJavaLangThrowable::CreateInstance(world.env, cce);
  EXPECT_EQ(oom, t);
  EXPECT_EQ(oomClass, oom->GetLoadableClass()) << "the stand-in keeps its own class";
  EXPECT_NE(nullptr, oom->GetTraceback()) << "its trace is recorded again";
  // With memory a wrapper holds its cause; one that cannot be made is the stand-in,
  // whose words are left alone.
  VMJavaLangThrowable* cause = VMJavaLangThrowable::CreateInstance(world.env, cce);
  ASSERT_NE(nullptr, cause);
  ASSERT_NE(oom, cause);
  // Held across the allocations below by this test alone, which may collect.
  cause->SetIsReachableByCPlusPlusCode();
  VMJavaLangThrowable* wrapper = VMJavaLangExceptionInInitializerError::CreateInstance(world.env, cause);
  ASSERT_NE(nullptr, wrapper);
  ASSERT_NE(oom, wrapper);
  EXPECT_EQ((VMword)cause, wrapper->GetWord(2));
  refhost::FailNextAllocations(2);
  wrapper = VMJavaLangExceptionInInitializerError::CreateInstance(world.env, cause);
  EXPECT_EQ(oom, wrapper);
  EXPECT_EQ(oomClass, oom->GetLoadableClass());
  refhost::SetFailureScope(false, nullptr, -1);
  // Which throwables are errors.
  VMLoadableClass* soe = world.Class("java/lang/StackOverflowError");
  ASSERT_EQ(0, soe->Prepare(nullptr));
  EXPECT_TRUE(VMJavaLangError::IsError(world.env, VMJavaLangThrowable::CreateInstance(world.env, soe)));
  EXPECT_FALSE(VMJavaLangError::IsError(world.env, cause));
  EXPECT_TRUE(VMJavaLangError::IsError(world.env, oom));
}

TEST_F(InterpThrowableTest, BeforeAMachineHasItsOwnErrorNothingStandsIn) {
  // A machine just made has no pre-made error yet (its start-up makes it).
  JavaVM* jvm = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = world.ns;
  VM* vm = VM::CreateInstance(1024, jvm);
  ASSERT_NE(nullptr, vm);
  jvm->vm = vm;
  JNIEnv* env = VMJniCreateEnv(jvm);
  ASSERT_EQ(0, VMJniAttachEnv(jvm, env));
  VMLoadableClass* cce = world.Class("java/lang/ClassCastException");
  ASSERT_EQ(0, cce->Prepare(nullptr));
  refhost::SetFailureScope(true, vm->GetHeap(), -1);
  refhost::FailNextAllocations(2);
  EXPECT_EQ(nullptr, VMJavaLangThrowable::CreateInstance(env, cce));
  refhost::SetFailureScope(false, nullptr, -1);
  // The first one then is the machine's own error.
  VMJavaLangThrowable* made = VMJavaLangOutOfMemoryError::CreateInstance(env);
  ASSERT_NE(nullptr, made);
  EXPECT_TRUE(VMJavaLangError::IsError(env, made));
  VMJniDetachEnv(jvm);
  vm->Destroy();
  VMJniCallDestroyKeys(jvm);
  refhost::Functions()->HeapFree(nullptr, jvm);
  refhost::Functions()->SetCurrentEnv(world.env);
}

TEST_F(InterpThrowableTest, WithTheHeapFullAnExceptionStillRecordsItsFrames) {
  const char* T = "interp/Traces";
  HHeap* heap = world.vm->GetHeap();
  VMLoadableClass* npe = world.Class("java/lang/NullPointerException");
  ASSERT_NE(nullptr, npe);
  // Resolved and quickened first: the throw below allocates nothing but its own parts.
  ExpectTracesFrames(world.Call(T, "a", "(I)I", {0}).exception, "warm");
  const uint64_t capacity = refhost::Functions()->HeapTotalBytes(heap);

  // Room for the throwable alone: the trace is refused until a collection, which the
  // throw must then make.
  refhost::SetHeapCapacity(heap, refhost::Functions()->HeapBytesInUse(heap) + (512u << 10));
  Outcome o = ThrowWithRoomFor({VMObject::CreateInstance(heap, npe, jallocFailFast)});
  EXPECT_EQ("java.lang.NullPointerException", o.thrown);
  ExpectTracesFrames(o.exception, "room for the throwable");
  // Room for the throwable, its trace and one record: the collection for the second
  // record must keep the trace and the first one, held by nothing else yet.
  world.vm->GarbageCollect(false);
  o = ThrowWithRoomFor({VMObject::CreateInstance(heap, npe, jallocFailFast),
                        VMTracebackArray::CreateInstance(heap, 3, jallocFailFast, VMTag_VMTracebackArray),
                        VMTraceback::CreateInstance(heap)});
  EXPECT_EQ("java.lang.NullPointerException", o.thrown);
  ExpectTracesFrames(o.exception, "room for one record");
  // The same room, and nothing else to be had: the trace keeps the innermost frame.
  world.vm->GarbageCollect(false);
  o = ThrowWithRoomFor({VMObject::CreateInstance(heap, npe, jallocFailFast),
                        VMTracebackArray::CreateInstance(heap, 3, jallocFailFast, VMTag_VMTracebackArray),
                        VMTraceback::CreateInstance(heap)},
                       true);
  EXPECT_EQ("java.lang.NullPointerException", o.thrown);
  ExpectTracesFrames(o.exception, "nothing to collect", 1);
  refhost::SetHeapCapacity(heap, capacity);
}

TEST_F(InterpThrowableTest, ATraceCutShortStartsBelowTheThrowablesOwnFramesInAnArrayOfItsSize) {
  const char* T = "interp/Traces";
  HHeap* heap = world.vm->GetHeap();
  const uint32_t depth = 20, own = 7, whole = own + depth + 1;
  VMMethod* made = world.Method(T, "made", "(I)I");
  // Warm, and whole: Throwable's fillInStackTrace, Mine's, the five constructors, then
  // made's frames.
  Outcome o = world.Call(T, "made", "(I)I", {depth});
  ASSERT_EQ("interp.Traces$Mine", o.thrown);
  ASSERT_NE(nullptr, o.exception->GetTraceback());
  ASSERT_EQ(whole, o.exception->GetTraceback()->GetSize());
  EXPECT_NE(made, o.exception->GetTraceback()->Get(own - 1)->GetMethod());
  EXPECT_EQ(made, o.exception->GetTraceback()->Get(own)->GetMethod());
  VMLoadableClass* mine = world.Class("interp/Traces$Mine");
  ASSERT_NE(nullptr, mine);
  const uint64_t capacity = refhost::Functions()->HeapTotalBytes(heap);
  refhost::SetHeapCapacity(heap, refhost::Functions()->HeapBytesInUse(heap) + (512u << 10));
  // Room for the throwable, a whole trace's array and a few records, nothing to
  // collect: the records go to the innermost of made's frames, fewer than the
  // throwable's own, and the array shrinks to them.
  for (uint32_t records : {1u, 3u, own - 1}) {
    world.vm->GarbageCollect(false);
    std::vector<VMObject*> rooms = {
        VMObject::CreateInstance(heap, mine, jallocFailFast),
        VMTracebackArray::CreateInstance(heap, whole, jallocFailFast, VMTag_VMTracebackArray)};
    for (uint32_t k = 0; k < records; k++) rooms.push_back(VMTraceback::CreateInstance(heap));
    o = ThrowWithRoomFor(rooms, true, "made", depth);
    ASSERT_EQ("interp.Traces$Mine", o.thrown) << records << " records";
    VMTracebackArray* trace = o.exception->GetTraceback();
    ASSERT_NE(nullptr, trace) << records << " records";
    ASSERT_EQ(records, trace->GetSize());
    EXPECT_EQ(VMObjectBase::BlockWordsFor(records + 2), trace->GetNumberOfElements())
        << records << " records kept in an array of " << trace->GetNumberOfElements() << " words";
    for (uint32_t i = 0; i < records; i++) {
      ASSERT_EQ((VMword)VMTag_VMTraceback, trace->Get(i)->GetTag()) << "frame " << i << " freed";
      EXPECT_EQ(made, trace->Get(i)->GetMethod()) << records << " records, frame " << i;
    }
  }
  refhost::SetHeapCapacity(heap, capacity);
}

TEST_F(InterpThrowableTest, ACallThatFindsNoMemoryForItsFrameThrowsOutOfMemoryError) {
  const char* F = "interp/Flow";
  // Every new frame group refused, before and after the collection: the stack is far
  // from its limit, so the call fails for want of memory.
  refhost::SetFailureScope(true, world.vm->GetHeap(), -1);
  refhost::FailAllocationsAbove(8192);
  Outcome o = world.Call(F, "recurse", "(I)I", {5000});
  refhost::FailAllocationsAbove(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_EQ("java.lang.OutOfMemoryError", o.thrown);
  ASSERT_NE(nullptr, o.exception);
  EXPECT_NE(nullptr, o.exception->GetTraceback());
  // With memory the same call runs, and a runaway one still overflows.
  EXPECT_EQ("", world.Call(F, "recurse", "(I)I", {5000}).thrown);
  EXPECT_EQ("java.lang.StackOverflowError", world.Call(F, "recurse", "(I)I", {10000000}).thrown);
}

}  // namespace
}  // namespace interp_test
