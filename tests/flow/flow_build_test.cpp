/* Blocks, successors and subroutines of hand-assembled code, and malformed code that
   must be refused with VerifyError without a crash or a hang. */
#include <atomic>
#include <thread>

#include "flow_support.h"

namespace flow_test {
namespace {

class BuildTest : public FlowTest {
 protected:
  VMStatus Build(const Bytes& code, uint16_t maxStack = 4, uint16_t maxLocals = 4,
                 std::vector<Handler> handlers = {}, VMMethod** out = nullptr) {
    VMStatus load = 0;
    VMMethod* m = Method(code, maxStack, maxLocals, handlers, "()V", &load);
    if (m == nullptr) return 1000 + load;
    if (out != nullptr) *out = m;
    return VMBasicBlock::BuildBlocks(m);
  }
  std::vector<uint32_t> Starts(VMMethod* m) {
    std::vector<uint32_t> s;
    for (VMBasicBlock* b = m->GetBasicBlocks(); b != nullptr; b = b->GetNext()) s.push_back(b->GetStartPC());
    return s;
  }
};

TEST_F(BuildTest, StraightLineCodeIsOneBlock) {
  VMMethod* m = nullptr;
  Asm a;
  a.op(OP_iconst_1).op(OP_istore_0).op(OP_return);
  ASSERT_EQ(0, Build(a.code, 2, 2, {}, &m));
  VMBasicBlock* b = m->GetBasicBlocks();
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(nullptr, b->GetNext());
  EXPECT_EQ(0u, b->GetNumberTargets());
  EXPECT_TRUE(b->GetIsReturn());
  EXPECT_TRUE(b->GetIsReachable());
  EXPECT_EQ(3u, b->GetEndPC());
  // Building again changes nothing.
  EXPECT_EQ(0, VMBasicBlock::BuildBlocks(m));
  EXPECT_EQ(b, m->GetBasicBlocks());
}

/* A method's block record is installed without a lock: threads asking for it at once
   all get the one that stays, and the records of the threads that lost are given back
   (the fixture's heap count at the end finds any that is not). */
TEST_F(BuildTest, ThreadsAskingForABlockRecordAtOnceShareOne) {
  Asm a;
  a.op(OP_iconst_1).op(OP_istore_0).op(OP_return);
  VMMethod* m = Method(a.code, 2, 2);
  ASSERT_NE(nullptr, m);
  const int kThreads = 8;
  for (int round = 0; round < 200; round++) {
    m->DestroyBlockInfo();
    ASSERT_EQ(nullptr, m->GetBlocks());
    std::atomic<int> ready{0};
    std::vector<VMBasicBlockInfo*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
      threads.emplace_back([&, t] {
        ready++;
        while (ready.load() < kThreads) std::this_thread::yield();
        seen[t] = m->GetBlockInfo();
      });
    }
    for (std::thread& th : threads) th.join();
    ASSERT_NE(nullptr, m->GetBlocks()) << round;
    for (int t = 0; t < kThreads; t++) ASSERT_EQ(m->GetBlocks(), seen[t]) << "round " << round << ", thread " << t;
  }
  // The record left behind serves a build as a fresh one would.
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  ASSERT_NE(nullptr, m->GetBasicBlocks());
  EXPECT_EQ(0u, m->GetBasicBlocks()->GetStartPC());
}

TEST_F(BuildTest, SuccessorsFollowTheBranchKinds) {
  VMMethod* m = nullptr;
  Asm a;
  a.op(OP_iconst_0);                  // 0
  a.br(OP_ifeq, 8);                   // 1
  a.op(OP_nop).br(OP_goto, 0);        // 4, 5: back to the start
  a.op(OP_iconst_2);                  // 8
  a.op(OP_tableswitch).pad();         // 9, padding to 12
  a.u4(23).u4(5).u4(6).u4(23).u4(23); // default, low 5, high 6, two cases: all to 32
  a.op(OP_return);                    // 32
  ASSERT_EQ(0, Build(a.code, 2, 1, {}, &m));
  EXPECT_EQ((std::vector<uint32_t>{0, 4, 8, 32}), Starts(m));
  VMBasicBlock* first = m->GetBasicBlocks();
  EXPECT_TRUE(first->GetIsConditional());
  EXPECT_EQ(4u, first->GetTarget(0)->GetStartPC());
  EXPECT_EQ(8u, first->GetTarget(1)->GetStartPC());
  VMBasicBlock* loop = first->GetNext();
  EXPECT_TRUE(loop->GetIsGoto());
  EXPECT_EQ(first, loop->GetTarget(0));
  VMBasicBlock* sw = loop->GetNext();
  EXPECT_TRUE(sw->GetIsSwitch());
  EXPECT_EQ(3u, sw->GetNumberTargets());  // two cases, then the default
  EXPECT_EQ(32u, sw->GetTarget(2)->GetStartPC());
  EXPECT_EQ("I|", KindsAt(m, 0));
  EXPECT_EQ("I|S", KindsAt(m, 9));
  EXPECT_EQ("I|", KindsAt(m, 32));
}

/* A block's five kind sets, and the set of locals its code writes, lie in the block's
   own body when they fit there, else in blocks of their own: for every size either way, each bit reads as flowed, the
   collector's frame walk reads the same kinds, and giving the blocks back returns every
   host block they took. */
TEST_F(BuildTest, KindSetsOfEverySizeReadAlikeWhereverTheyLie) {
  const uint16_t kLocals[] = {1, 2, 31, 32, 33, 62, 64, 65, 95, 96, 97, 200, 300, 1000, 4000, 16381};
  bool sawInside = false, sawOutside = false;
  for (uint16_t locals : kLocals) {
    SCOPED_TRACE(locals);
    uint16_t stack = locals < 300 ? locals : 300;
    uint32_t last = locals - 1u;
    Asm a;
    if (locals >= 2) a.op(OP_iconst_0).op(OP_istore_0);
    a.op(OP_aconst_null);
    if (last <= 3)
      a.op((uint8_t)(OP_astore_0 + last));
    else if (last <= 255)
      a.op(OP_astore).u1(last);
    else
      a.op(OP_wide).op(OP_astore).u2(last);
    for (uint32_t k = 0; k < stack; k++) a.op(k % 2 == 0 ? OP_aconst_null : OP_iconst_0);
    uint32_t end = a.pc();
    a.op(OP_return);
    VMStatus load = 0;
    VMMethod* m = Method(a.code, stack, locals, {}, "()V", &load);
    ASSERT_NE(nullptr, m) << "load status " << load;
    HHeap* heap = Heap(m);
    // The walks below take the method's monitor, which stays with the method.
    ASSERT_EQ(0, m->MonitorEnter(m->GetDefinedIn()->GetNameSpace()));
    ASSERT_EQ(0, m->MonitorExit(m->GetDefinedIn()->GetNameSpace()));
    uint32_t before = refhost::BlocksInUse(heap);
    ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
    VMBasicBlock* b = At(m, end);
    ASSERT_NE(nullptr, b);
    VMboolArray* sets[] = {b->GetStackIsRefArray(), b->GetStackIsRetAddressArray(), b->GetLocalIsRefArray(),
                           b->GetLocalIsRetAddressArray(), b->GetLocalIsScalarArray()};
    bool inside = b->HoldsInBody(sets[0]);
    for (VMboolArray* set : sets) {
      ASSERT_NE(nullptr, set);
      EXPECT_EQ(inside, b->HoldsInBody(set));
      EXPECT_TRUE(set->GetIsRootObject() && set->GetIsScalarArray());
      EXPECT_EQ(b->GetIsNameSpaceData(), set->GetIsNameSpaceData());
    }
    (inside ? sawInside : sawOutside) = true;
    EXPECT_EQ(VMboolArray::WordsFor(m->GetStackWords()), sets[0]->GetSize());
    EXPECT_EQ(VMboolArray::WordsFor(m->GetLocalWords()), sets[2]->GetSize());
    EXPECT_EQ((uint32_t)stack, b->GetStackDepth());
    for (uint32_t k = 0; k < stack; k++) ASSERT_EQ(k % 2 == 0, b->GetStackIsRef(k)) << "stack word " << k;
    EXPECT_TRUE(b->GetLocalIsRef(last));
    if (locals >= 2) {
      EXPECT_TRUE(b->GetLocalIsScalar(0));
    }
    for (uint32_t i = 1; i < last; i++) ASSERT_FALSE(b->GetLocalIsRef(i) || b->GetLocalIsScalar(i)) << "local " << i;
    b->Destroy(heap);
    // The set of the locals the code writes, made when the block was flowed, lies with
    // the others.
    VMBasicBlock* first = m->GetBasicBlocks();
    VMboolArray* defined = first->GetLocalsDefined();
    ASSERT_NE(nullptr, defined);
    EXPECT_EQ(inside, first->HoldsInBody(defined));
    EXPECT_EQ(VMboolArray::WordsFor(m->GetLocalWords()), defined->GetSize());
    EXPECT_TRUE(defined->Get(last));
    EXPECT_TRUE(defined->Get(0));  // the int, or the reference when it is the only local
    for (uint32_t i = 1; i < last; i++) ASSERT_FALSE(defined->Get(i)) << "local " << i;

    std::vector<VMword> localWords(locals, 0), stackWords(stack, 0);
    VMBasicBlock* frame = nullptr;
    ASSERT_EQ(0, VMBasicBlock::AcquireFrameState(m, end, false, localWords.data(), stackWords.data(), stack, frame));
    bool frameRefs = frame->GetLocalIsRef(last) && (stack == 0 || frame->GetStackIsRef(0));
    bool frameDepth = frame->GetStackDepth() == stack;
    VMBasicBlock::ReleaseFrameState(m);
    EXPECT_TRUE(frameRefs);
    EXPECT_TRUE(frameDepth);

    ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
    m->DestroyBlockInfo();
    EXPECT_EQ(before, refhost::BlocksInUse(heap));
  }
  EXPECT_TRUE(sawInside);
  EXPECT_TRUE(sawOutside);
}

/* The builder's two scan sets lie on the stack for code of up to 2,047 bytes and on the
   heap beyond: on both sides, and whether the code is refused early (a branch out of the
   code), late (a handler range ending inside an instruction) or built, nothing is left
   on the heap but the method's own blocks, which go with DestroyBlocks. */
TEST_F(BuildTest, TheScanSetsLeaveNothingBehindWhateverTheCodeLength) {
  for (uint32_t length : {4u, 2040u, 2046u, 2047u, 2048u, 2049u, 5000u}) {
    for (int variant = 0; variant < 3; variant++) {
      if (variant == 1 && length < 8) continue;
      SCOPED_TRACE(std::to_string(length) + " variant " + std::to_string(variant));
      Asm a;
      a.br(OP_goto, variant == 0 ? length + 10 : 3);
      while (a.pc() < length - 1) a.op(OP_nop);
      a.op(OP_return);
      std::vector<Handler> handlers;
      // sipush at 3 takes three bytes: a range ending at 4 ends inside it.
      if (variant == 1) {
        a.code[3] = OP_sipush;
        handlers.push_back({3, 4, 3, 0});
      }
      VMMethod* m = Method(a.code, 2, 1, handlers);
      ASSERT_NE(nullptr, m);
      HHeap* heap = Heap(m);
      // The record and the method's monitor (DestroyBlocks takes it) stay with the method.
      m->GetBlockInfo();
      ASSERT_EQ(0, m->MonitorEnter(m->GetDefinedIn()->GetNameSpace()));
      ASSERT_EQ(0, m->MonitorExit(m->GetDefinedIn()->GetNameSpace()));
      uint32_t before = refhost::BlocksInUse(heap);
      VMStatus status = VMBasicBlock::BuildBlocks(m);
      if (variant == 2) {
        ASSERT_EQ(0, status);
        EXPECT_EQ((std::vector<uint32_t>{0, 3}), Starts(m));
        ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
      } else {
        EXPECT_EQ(VMStatus_VerifyError, status);
        EXPECT_EQ(nullptr, m->GetBasicBlocks());
      }
      EXPECT_EQ(before, refhost::BlocksInUse(heap));
    }
  }
}
}  // namespace
}  // namespace flow_test
