/* The collector's walk of interpreted frames (VMFrame::WalkReferences) over frames laid
   out as the interpreter leaves them: a frame in the middle of a call or a throw has its
   pc past that instruction, where another block may start. Also what flow analysis must
   refuse so that the interpreter never runs it (code falling off its end, loads beyond
   max_locals), the walk's independence from allocation, relocation that cannot walk a
   frame, and the memory that subroutine numbers take. */
#include <string.h>

#include <algorithm>

#include "flow_support.h"
#include "vmframe.h"
#include "vmliteral.h"

namespace flow_test {
namespace {

/* Bytecode frames laid out by hand in one buffer, each above the one before, over a
   first frame that ends every walk. Frames run the slow loop, so the pc is a number. */
class Frames {
 public:
  Frames() : memory(4096, 0) {
    first = Place(nullptr, 0);
    first->flags = VMFrame::FirstFrameFlag | VMFrame::StackValidFlag;
    first->stack = first->GetStackStart();
  }
  /* A frame of m at pc with these locals and operand words, called from the last one. */
  VMByteCodeFrame* Push(VMMethod* m, uint32_t pc, std::vector<VMword> locals, std::vector<VMword> stack,
                        VMword extraFlags = 0) {
    VMword* l = &memory[used];
    locals.resize(m->GetLocalWords());
    if (!locals.empty()) memcpy(l, locals.data(), 4 * locals.size());
    used += (uint32_t)locals.size();
    VMByteCodeFrame* f = Place(m, (uint32_t)stack.size() + m->GetStackWords());
    f->flags = VMFrame::ExecutableByteCodeFlag | VMFrame::StackValidFlag | extraFlags;
    f->caller = top;
    f->locals = l;
    f->slowLoopPC = pc;
    if (!stack.empty()) memcpy(f->GetStackStart(), stack.data(), 4 * stack.size());
    f->stack = f->GetStackStart() + stack.size();
    top = f;
    return f;
  }
  /* Every word the walk hands to the callback, from the top frame down. */
  std::vector<VMword> Walk(VMStatus* status) {
    std::vector<VMword> met;
    *status = ((VMFrame*)top)->WalkReferences(
        [](VMword* slot, void* context) {
          ((std::vector<VMword>*)context)->push_back(*slot);
          return true;
        },
        &met);
    return met;
  }
  VMByteCodeFrame* top = nullptr;
  VMByteCodeFrame* first = nullptr;

 private:
  VMByteCodeFrame* Place(VMMethod* m, uint32_t stackWords) {
    VMByteCodeFrame* f = (VMByteCodeFrame*)&memory[used];
    used += VMByteCodeFrame::HeadWords + stackWords + 2;
    f->tag = VMFrame::ByteCodeTag;
    f->method = m;
    if (top == nullptr) top = f;
    return f;
  }
  std::vector<VMword> memory;
  uint32_t used = 0;
};

void HOSTCALL KeepWord(void**, void*) {}

bool Has(const std::vector<VMword>& met, VMword v) { return std::find(met.begin(), met.end(), v) != met.end(); }

class FrameTest : public FlowTest {
 protected:
  VMMethod* Find(VMLoadableClass* c, const char* name, const char* sig) {
    return c->FindMethod(Lit(name), Lit(sig), false);
  }
  VMLoadableClass* Compiled(const char* name) {
    std::string dir = CompiledTestClasses();
    if (dir.empty()) return nullptr;
    refhost::SetClassPath(nullptr, dir + ":" + PUX_BUILD_DIR + "/classlib.zip");
    return LoadClass(name);
  }
  uint8_t Op(VMMethod* m, uint32_t pc) { return *(uint8_t*)m->GetCode()->FindElement(pc, 0u); }
  /* A method that only returns: the frame a call made, above its caller. */
  VMMethod* Callee() {
    Asm a;
    a.op(OP_return);
    VMMethod* m = FlowTest::Method(a.code, 1, 1);
    if (m != nullptr) {
      EXPECT_EQ(0, VMBasicBlock::BuildBlocks(m));
    }
    return m;
  }
};

/* ---- frames in a throw ---- */

/* fl/Throws.siblingThrow: a sibling scope leaves slot 2 a reference at pc 24, where the
   code after the throwing branch starts; the branch itself holds the int 5 there when
   its athrow (pc 23) throws, with the frame's pc at 24. */
TEST_F(FrameTest, AThrowingFrameIsWalkedAtTheInstructionThatThrew) {
  VMLoadableClass* c = Compiled("fl/Throws");
  ASSERT_NE(nullptr, c);
  VMMethod* m = Find(c, "siblingThrow", "(Ljava/lang/Object;Z)V");
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  ASSERT_EQ(OP_athrow, Op(m, 23));
  ASSERT_NE(nullptr, VMBasicBlock::Find(m, 24)) << "the saved pc starts a block";
  ASSERT_EQ('R', KindsAt(m, 24)[2]) << "where the next block has slot 2 a reference";

  Frames frames;
  frames.Push(m, 24, {0x1000, 1, 5}, {}, VMFrame::ThrowingFlag);
  VMStatus status = 1;
  std::vector<VMword> met = frames.Walk(&status);
  ASSERT_EQ(0, status);
  EXPECT_TRUE(Has(met, 0x1000)) << "the argument";
  EXPECT_FALSE(Has(met, 5)) << "the int in slot 2 handed to the collector as a reference";

  // The other way round: the throwing branch holds a reference where the code after it
  // holds an int.
  VMMethod* m2 = Find(c, "siblingThrow2", "(Ljava/lang/Object;Z)V");
  ASSERT_NE(nullptr, m2);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m2));
  ASSERT_EQ(OP_athrow, Op(m2, 33));
  Frames frames2;
  frames2.Push(m2, 34, {0x1000, 1, 0x2000}, {}, VMFrame::ThrowingFlag);
  met = frames2.Walk(&status);
  ASSERT_EQ(0, status);
  EXPECT_TRUE(Has(met, 0x2000)) << "the reference the throwing branch holds in slot 2";
}

/* The usual finally layout puts the subroutine right after the catch-all handler's
   rethrow (astore t; jsr F; aload t; athrow; F: astore r ...): a frame rethrowing there
   has its pc at the subroutine's entry and no return address anywhere. */
TEST_F(FrameTest, AFrameRethrowingJustBeforeAFinallySubroutineIsWalked) {
  VMLoadableClass* c = LoadClass("java/io/BufferedWriter");
  ASSERT_NE(nullptr, c);
  VMMethod* m = Find(c, "close", "()V");
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  ASSERT_EQ(OP_athrow, Op(m, 29));
  ASSERT_TRUE(VMBasicBlock::Find(m, 30)->GetIsJsrTarget());
  Frames frames;
  frames.Push(m, 30, {0x1000, 0x2000, 7, 0x3000}, {}, VMFrame::ThrowingFlag);
  VMStatus status = 1;
  std::vector<VMword> met = frames.Walk(&status);
  ASSERT_EQ(0, status) << "the collection would be abandoned";
  EXPECT_TRUE(Has(met, 0x1000) && Has(met, 0x2000) && Has(met, 0x3000));
  EXPECT_FALSE(Has(met, 7));
}

/* A throw from the last instruction leaves the pc at the code length; a poll's
   ThreadDeath leaves it inside the branch. Both are walked at the instruction. */
TEST_F(FrameTest, ThrowingPcsAtTheCodeLengthAndInsideABranch) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_0);  // 0
  a.op(OP_iconst_0).br(OP_ifeq, 8);      // 2, 3
  a.op(OP_iconst_1).op(OP_istore_0);     // 6, 7
  a.op(OP_nop).br(OP_goto, 8);           // 8 (loop head, local 0 indeterminate), 9
  VMMethod* loop = FlowTest::Method(a.code, 2, 1);
  ASSERT_NE(nullptr, loop);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(loop));
  Frames frames;
  frames.Push(loop, 4, {0x1000}, {}, VMFrame::ThrowingFlag);  // inside the ifeq at 3
  VMStatus status = 1;
  std::vector<VMword> met = frames.Walk(&status);
  ASSERT_EQ(0, status);
  EXPECT_TRUE(Has(met, 0x1000)) << "before the branch local 0 is a reference";

  Asm b;
  b.op(OP_aload_0).op(OP_astore_1).op(OP_aconst_null).op(OP_athrow);
  VMMethod* last = FlowTest::Method(b.code, 2, 2, {}, "(Ljava/lang/Object;)V");
  ASSERT_NE(nullptr, last);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(last));
  Frames frames2;
  frames2.Push(last, 4, {0x1000, 0x2000}, {}, VMFrame::ThrowingFlag);
  met = frames2.Walk(&status);
  ASSERT_EQ(0, status);
  EXPECT_TRUE(Has(met, 0x1000) && Has(met, 0x2000));
}

/* ---- frames in a call ---- */

/* The caller's call is followed by a block start that another path reaches with local 1
   unset, so the merged state there makes local 1 indeterminate; the caller's own handler
   reads local 1 as a reference once the callee throws (the shape java -Xverify:all
   accepts):
     0 iload_0; 1 ifne 15; 4 new Object; 7 dup; 8 invokespecial <init>; 11 astore_1;
     12 invokestatic Thread.yield (range [12, 15) -> 17); 15 nop; 16 return;
     17 pop; 18 aload_1; 19 invokevirtual hashCode; 22 pop; 23 return */
TEST_F(FrameTest, AFrameInACallIsWalkedAtTheCallNotAtTheMergeAfterIt) {
  classfile_test::ClassBuilder builder;
  uint16_t object = builder.Class("java/lang/Object");
  uint16_t init = builder.Ref(10, "java/lang/Object", "<init>", "()V");
  uint16_t hash = builder.Ref(10, "java/lang/Object", "hashCode", "()I");
  uint16_t call = builder.Ref(10, "java/lang/Thread", "yield", "()V");
  Asm a;
  a.op(OP_iload_0).br(OP_ifne, 15);
  a.op(OP_new).u2(object).op(OP_dup).op(OP_invokespecial).u2(init).op(OP_astore_1);
  a.op(OP_invokestatic).u2(call);
  a.op(OP_nop).op(OP_return);
  a.op(OP_pop).op(OP_aload_1).op(OP_invokevirtual).u2(hash).op(OP_pop).op(OP_return);
  MethodSpec spec;
  spec.descriptor = "(Z)V";
  spec.maxStack = 2;
  spec.maxLocals = 2;
  spec.code = a.code;
  spec.handlers = {{12, 15, 17, 0}};
  VMMethod* m = Make(spec, nullptr, &builder);
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  ASSERT_EQ("SR|R", KindsAt(m, 17)) << "the handler reads local 1 as a reference";
  ASSERT_EQ("SI|", KindsAt(m, 15)) << "the merge after the call";
  VMMethod* callee = Callee();
  ASSERT_NE(nullptr, callee);

  Frames frames;
  frames.Push(m, 15, {1, 0x5000}, {});
  frames.Push(callee, 0, {}, {});
  VMStatus status = 1;
  std::vector<VMword> met = frames.Walk(&status);
  ASSERT_EQ(0, status);
  EXPECT_TRUE(Has(met, 0x5000)) << "the object the handler reads after the callee throws";
  EXPECT_FALSE(Has(met, 1));
}

/* A frame below a host frame that a handler pushed to run Java (a static initialiser
   while the instruction at the pc waits) is walked before that instruction. */
TEST_F(FrameTest, AFrameBelowAHandlersHostFrameIsWalkedBeforeItsInstruction) {
  Asm a;
  a.op(OP_aload_0).op(OP_astore_1);  // 0, 1
  a.op(OP_iconst_0).op(OP_istore_1); // 2, 3: local 1 an int from here on
  a.op(OP_return);                   // 4
  VMMethod* m = FlowTest::Method(a.code, 1, 2, {}, "(Ljava/lang/Object;)V");
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  Frames frames;
  frames.Push(m, 2, {0x1000, 0x2000}, {});
  VMword host[8] = {VMFrame::HostFrameTag, VMFrame::JNIFlag};
  ((VMFrame*)host)->SetCaller(frames.top);
  VMStatus status = 1;
  std::vector<VMword> met;
  status = ((VMFrame*)host)->WalkReferences(
      [](VMword* slot, void* context) {
        ((std::vector<VMword>*)context)->push_back(*slot);
        return true;
      },
      &met);
  ASSERT_EQ(0, status);
  EXPECT_TRUE(Has(met, 0x2000)) << "local 1 before the iconst_0 at 2";
}

/* The frames of a recursion stand at one place or a few, each with one set of kinds:
   below a thread's first frames the walk reads them once per place, not under the
   method's monitor again for each of thousands of frames. Frames of the method at other
   places are read on their own. */
TEST_F(FrameTest, TheFramesOfARecursionAreReadOncePerPlace) {
  classfile_test::ClassBuilder builder;
  uint16_t call = builder.Ref(10, "java/lang/Thread", "yield", "()V");
  Asm a;
  a.op(OP_aload_0).op(OP_astore_1).op(OP_invokestatic).u2(call);   // 0-2: local 1 a reference
  a.op(OP_iconst_0).op(OP_istore_1).op(OP_invokestatic).u2(call);  // 5-7: local 1 an int
  a.op(OP_return);                                                 // 10
  MethodSpec spec;
  spec.descriptor = "(Ljava/lang/Object;)V";
  spec.maxStack = spec.maxLocals = 2;
  spec.code = a.code;
  VMMethod* m = Make(spec, nullptr, &builder);
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  // From the bottom: m in its first instruction (local 1 the int 11), a run alternately
  // inside its second call (local 1 the int 7) and its first, and on top m about to make
  // its second call (the int 9). m's kinds are taken away 100 frames down, and put back
  // in the run's last frame.
  const uint32_t run = 70;
  Frames frames;
  frames.Push(m, 1, {0x2000, 11}, {});
  for (uint32_t i = 0; i < run; i++) {
    frames.Push(m, 10, {0x4000 + 16 * i, 7}, {});
    frames.Push(m, 5, {0x3000 + 16 * i, 0x5000 + 16 * i}, {});
  }
  frames.Push(m, 7, {0x7000, 9}, {});
  struct Seen {
    std::vector<VMword> met;
    VMBasicBlockInfo* info;
    VMBasicBlock* state;
  } seen = {{}, m->GetBlocks(), m->GetBlocks()->GetFrameState()};
  VMStatus status = ((VMFrame*)frames.top)->WalkReferences(
      [](VMword* slot, void* context) {
        Seen* s = (Seen*)context;
        s->met.push_back(*slot);
        if (*slot == 0x4000 + 16 * (run - 50)) s->info->SetFrameState(nullptr);
        if (*slot == 0x4000) s->info->SetFrameState(s->state);
        return true;
      },
      &seen);
  m->GetBlocks()->SetFrameState(seen.state);
  ASSERT_EQ(0, status) << "a frame of the run read the kinds again";
  for (uint32_t i = 0; i < run; i++)
    EXPECT_TRUE(Has(seen.met, 0x3000 + 16 * i) && Has(seen.met, 0x5000 + 16 * i) && Has(seen.met, 0x4000 + 16 * i))
        << "run frames " << i;
  EXPECT_TRUE(Has(seen.met, 0x7000) && Has(seen.met, 0x2000));
  EXPECT_FALSE(Has(seen.met, 7) || Has(seen.met, 9) || Has(seen.met, 11)) << "an int taken for a reference";
  EXPECT_EQ(3 * run + 2, seen.met.size());
}

/* ---- what the walk needs ---- */

/* The walk neither builds nor allocates: blocks come with preparation. Without blocks
   it fails, and relocation, which cannot leave a frame half moved, ends the process. */
TEST_F(FrameTest, TheWalkAllocatesNothingAndRelocationWithoutBlocksIsFatal) {
  Asm a;
  a.op(OP_aload_0).op(OP_astore_1).op(OP_aconst_null).op(OP_areturn);
  VMMethod* m = FlowTest::Method(a.code, 2, 2, {}, "(Ljava/lang/Object;)Ljava/lang/Object;");
  ASSERT_NE(nullptr, m);
  Frames frames;
  frames.Push(m, 3, {0x1000, 0x2000}, {0});
  VMStatus status = 0;
  frames.Walk(&status);
  EXPECT_EQ(VMStatus_VerifyError, status) << "a method whose blocks were never built";
  EXPECT_EQ(nullptr, m->GetBasicBlocks()) << "the walk built them";

  int fatal = refhost::FatalExitCount();
  VMRelocateInfo keep(KeepWord, nullptr);
  frames.top->Relocate(&keep);
  EXPECT_EQ(fatal + 1, refhost::FatalExitCount()) << "a relocation that missed a frame's references";

  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  uint64_t refusedBefore = refhost::RefusedCount();
  refhost::FailEveryNthAllocation(1);
  std::vector<VMword> met = frames.Walk(&status);
  uint64_t refused = refhost::RefusedCount() - refusedBefore;
  refhost::FailEveryNthAllocation(0);
  ASSERT_EQ(0, status) << "with every allocation refused";
  EXPECT_EQ(0u, refused) << "the walk allocated";
  EXPECT_TRUE(Has(met, 0x1000) && Has(met, 0x2000));
  frames.top->Relocate(&keep);
  EXPECT_EQ(fatal + 1, refhost::FatalExitCount());
}

/* Preparation builds every method's blocks, with or without the verifier, and keeps
   them; a method flow analysis refuses makes the class fail. */
TEST_F(FrameTest, PreparationBuildsAndKeepsTheBlocks) {
  VMLoadableClass* c = LoadClass("java/io/BufferedWriter");
  ASSERT_NE(nullptr, c);
  ASSERT_EQ(0, c->Prepare(nullptr));
  VMMethodArray* methods = c->GetMethods();
  uint32_t withCode = 0;
  for (uint32_t i = 0; i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m->GetCode() == nullptr) continue;
    withCode++;
    ASSERT_NE(nullptr, m->GetBlocks());
    EXPECT_NE(nullptr, m->GetBlocks()->GetBasicBlocks());
    EXPECT_NE(nullptr, m->GetBlocks()->GetFrameState());
  }
  EXPECT_GT(withCode, 3u);
}

/* ---- code the interpreter must never run ---- */

TEST_F(FrameTest, CodeThatFallsOffItsEndIsRefused) {
  struct Case {
    const char* what;
    Asm code;
    VMStatus expected;
  };
  std::vector<Case> cases;
  {
    Asm a;
    a.op(OP_iconst_0).op(OP_pop);
    cases.push_back({"the last instruction falls through", a, VMStatus_VerifyError});
  }
  {
    Asm a;
    a.br(OP_jsr, 4).op(OP_return).op(OP_astore_1).op(OP_nop);
    cases.push_back({"a subroutine falls off the end", a, VMStatus_VerifyError});
  }
  {
    Asm a;
    a.op(OP_iconst_0).br(OP_ifeq, 5).op(OP_nop).op(OP_return);
    cases.push_back({"a conditional branch before the last return", a, 0});
  }
  {
    Asm a;
    a.op(OP_return).op(OP_iconst_0).op(OP_pop);
    cases.push_back({"unreachable code may end without a return", a, 0});
  }
  {
    Asm a;
    a.br(OP_goto, 4).op(OP_nop).op(OP_iconst_0).op(OP_pop);  // the goto jumps to the falling end
    cases.push_back({"a branch into code that falls off", a, VMStatus_VerifyError});
  }
  for (Case& c : cases) {
    VMStatus load = 0;
    VMMethod* m = FlowTest::Method(c.code.code, 2, 2, {}, "()V", &load);
    if (m == nullptr) {
      ADD_FAILURE() << c.what << ": refused at load with " << load;
      continue;
    }
    EXPECT_EQ(c.expected, VMBasicBlock::BuildBlocks(m)) << c.what;
  }
}

TEST_F(FrameTest, LoadsBeyondMaxLocalsAreRefusedAsStoresAre) {
  struct Case {
    Asm code;
    VMStatus expected;
  };
  auto load = [](uint8_t op, uint32_t n, uint8_t ret) {
    Asm a;
    if (n > 255)
      a.op(OP_wide).op(op).u2(n);
    else
      a.op(op).u1(n);
    return a.op(ret);
  };
  std::vector<std::pair<std::string, Case>> cases = {
      {"iload 3 of 4", {load(OP_iload, 3, OP_ireturn), 0}},
      {"iload 4 of 4", {load(OP_iload, 4, OP_ireturn), VMStatus_VerifyError}},
      {"iload 200", {load(OP_iload, 200, OP_ireturn), VMStatus_VerifyError}},
      {"aload 250", {load(OP_aload, 250, OP_areturn), VMStatus_VerifyError}},
      {"lload 2 of 4", {load(OP_lload, 2, OP_lreturn), 0}},
      {"lload 3 of 4", {load(OP_lload, 3, OP_lreturn), VMStatus_VerifyError}},
      {"dload 3 of 4", {load(OP_dload, 3, OP_dreturn), VMStatus_VerifyError}},
      {"wide iload 300", {load(OP_iload, 300, OP_ireturn), VMStatus_VerifyError}},
      {"wide aload 65535", {load(OP_aload, 65535, OP_areturn), VMStatus_VerifyError}},
  };
  const char* descriptors[] = {"()I", "()Ljava/lang/Object;", "()J", "()D"};
  for (auto& [what, c] : cases) {
    uint8_t ret = c.code.code.back();
    const char* d = ret == OP_ireturn ? descriptors[0] : ret == OP_areturn ? descriptors[1]
                  : ret == OP_lreturn ? descriptors[2] : descriptors[3];
    VMStatus loadStatus = 0;
    VMMethod* m = FlowTest::Method(c.code.code, 2, 4, {}, d, &loadStatus);
    ASSERT_NE(nullptr, m) << what << ": load status " << loadStatus;
    EXPECT_EQ(c.expected, VMBasicBlock::BuildBlocks(m)) << what;
  }
  // The short forms past max_locals too.
  Asm a;
  a.op(OP_aload_3).op(OP_areturn);
  VMMethod* m = FlowTest::Method(a.code, 1, 3, {}, "()Ljava/lang/Object;");
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m));
  Asm b;
  b.op(OP_lload_2).op(OP_lreturn);
  m = FlowTest::Method(b.code, 2, 3, {}, "()J");
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m));
}

/* ---- memory ---- */

/* With jsr, blocks carry subroutine numbers only for the locals an astore writes: a
   method with 16,381 locals and thousands of blocks no longer takes two arrays of that
   size per block, and one too large for the budget is refused before it is built. */
TEST_F(FrameTest, SubroutineNumbersTakeMemoryOnlyForLocalsThatCanHoldReturnAddresses) {
  auto build = [&](uint32_t gotos, uint16_t locals, VMMethod** out) {
    Asm a;
    a.br(OP_goto, 6).op(OP_astore_1).op(OP_ret).u1(1);  // 0: goto 6; 3: astore_1; 4: ret 1
    a.br(OP_jsr, 3);                                      // 6
    for (uint32_t i = 0; i < gotos; i++) {
      uint32_t at = a.pc();
      a.br(OP_goto, at + 3);
    }
    a.op(OP_return);
    *out = FlowTest::Method(a.code, 2, locals);
    uint64_t before = refhost::BytesInUse(Heap(*out));
    VMStatus s = VMBasicBlock::BuildBlocks(*out);
    return std::make_pair(s, refhost::BytesInUse(Heap(*out)) - before);
  };
  VMMethod* small = nullptr;
  VMMethod* wide = nullptr;
  auto [s1, bytesSmall] = build(1000, 4, &small);
  auto [s2, bytesWide] = build(1000, 16381, &wide);
  ASSERT_EQ(0, s1);
  ASSERT_EQ(0, s2);
  EXPECT_EQ(1u, wide->GetBlocks()->GetRetSlotCount()) << "only local 1 is ever stored by astore";
  // Four bit arrays of locals per block remain, about 8 KB a block at 16,381 locals,
  // where two subroutine numbers per local took 32 KB more.
  EXPECT_LT(bytesWide, 1000u * 12000u) << "bytes for 1000 blocks";
  EXPECT_GT(bytesWide, bytesSmall);
  EXPECT_EQ("A1", KindsAt(wide, 4).substr(1, 2));
  VMMethod* huge = nullptr;
  auto [s3, unused] = build(21000, 16381, &huge);
  (void)unused;
  EXPECT_EQ(VMStatus_OutOfMemoryError, s3) << "21,000 blocks of 16,381 locals";
  EXPECT_EQ(nullptr, huge->GetBasicBlocks());
}

/* Every reference word of a block, the changed-hint block and the slot map included, is
   in its reference mask, and no plain word is. */
TEST_F(FrameTest, ReferenceMasksNameEveryReferenceWord) {
  const int refs[] = {VMBasicBlock::NextWord, VMBasicBlock::PrevWord, VMBasicBlock::Target0Word,
                      VMBasicBlock::Target1Word, VMBasicBlock::Target2Word, VMBasicBlock::TargetThreeAndUpWord,
                      VMBasicBlock::LocalsDefinedWord, VMBasicBlock::StackIsRefArrayWord,
                      VMBasicBlock::StackIsRetAddressArrayWord, VMBasicBlock::LocalIsRefArrayWord,
                      VMBasicBlock::LocalIsScalarArrayWord, VMBasicBlock::LocalIsRetAddressArrayWord,
                      VMBasicBlock::StackSubroutineArrayWord, VMBasicBlock::LocalSubroutineArrayWord,
                      VMBasicBlock::ChangedHintWord, VMBasicBlock::RetSlotsWord};
  VMword expected = 0;
  for (int w : refs) expected |= (VMword)1 << w;
  EXPECT_EQ(expected, (VMword)VMBasicBlock::RefMask);
  const int infoRefs[] = {VMBasicBlockInfo::BasicBlocksWord, VMBasicBlockInfo::SubroutineInfoWord,
                          VMBasicBlockInfo::BlockCacheWord, VMBasicBlockInfo::BlockIndexWord,
                          VMBasicBlockInfo::RetSlotsWord, VMBasicBlockInfo::FrameStateWord,
                          VMBasicBlockInfo::FrameCallerWord};
  expected = 0;
  for (int w : infoRefs) expected |= (VMword)1 << w;
  EXPECT_EQ(expected, (VMword)VMBasicBlockInfo::RefMask);
}

}  // namespace
}  // namespace flow_test
