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
}  // namespace
}  // namespace flow_test
