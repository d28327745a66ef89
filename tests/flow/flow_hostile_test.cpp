/* Hand-assembled code: subroutine shapes (two call sites, handlers inside a finally,
   nesting, finally without ret, jsr at the end), malformed code that must be refused with
   VerifyError and no crash or hang (switch extremes, handler pcs inside instructions, ret
   outside a subroutine, recursion, return addresses meeting other kinds), breakpoints,
   quick opcodes, code in pieces and allocation failures. */
#include <map>

#include "flow_support.h"
#include "vmconstantpool.h"

namespace flow_test {
namespace {

class HostileTest : public FlowTest {
 protected:
  VMMethod* Method(const Asm& a, uint16_t stack = 4, uint16_t locals = 4, std::vector<Handler> handlers = {},
                   const char* descriptor = "()V", VMStatus* load = nullptr) {
    return FlowTest::Method(a.code, stack, locals, handlers, descriptor, load);
  }
  VMBasicBlock* Block(VMMethod* m, uint32_t pc) { return VMBasicBlock::Find(m, pc); }
  void Patch(VMMethod* m, uint32_t pc, uint8_t v) { *(uint8_t*)m->GetCode()->FindElement(pc, 0u) = v; }
  void Patch4(VMMethod* m, uint32_t pc, int32_t v) {
    for (int i = 0; i < 4; i++) Patch(m, pc + i, (uint8_t)((uint32_t)v >> (8 * i)));
  }
};

/* ---- subroutines ---- */

TEST_F(HostileTest, TwoCallSitesKeepTheirOwnKinds) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_3);  // 0
  a.br(OP_jsr, 11);                      // 2
  a.op(OP_iconst_0).op(OP_istore_3);     // 5
  a.br(OP_jsr, 11);                      // 7
  a.op(OP_return);                       // 10
  a.op(OP_astore_2).op(OP_ret).u1(2);    // 11: the subroutine
  VMMethod* m = Method(a, 2, 4);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  VMBasicBlock* sub = Block(m, 11);
  ASSERT_NE(nullptr, sub);
  EXPECT_TRUE(sub->GetIsJsrTarget());
  EXPECT_EQ(1u, sub->GetSubroutineIndex());
  EXPECT_EQ(2, sub->GetRetIndex());
  EXPECT_EQ(2u, sub->GetNumberTargets());  // both return points, in call order
  EXPECT_EQ(5u, sub->GetTarget(0)->GetStartPC());
  EXPECT_EQ(10u, sub->GetTarget(1)->GetStartPC());
  EXPECT_EQ(0u, Block(m, 5)->GetSubroutineIndex());
  EXPECT_EQ("IIIR|", KindsAt(m, 5));
  EXPECT_EQ("IIIS|", KindsAt(m, 10));
  EXPECT_EQ("III" "I|A1", KindsAt(m, 11));
  EXPECT_EQ("IIA1I|", KindsAt(m, 12));
  // The collector's view inside the subroutine depends on the return address it holds.
  EXPECT_EQ("IIA1R|", Frame(m, 12, {0, 0, 5, 0}));
  EXPECT_EQ("IIA1S|", Frame(m, 12, {0, 0, 10, 0}));
  EXPECT_EQ("III" "R|A1", Frame(m, 11, {}, {5}));
  // A return address that is no return point of this subroutine is refused.
  EXPECT_EQ("status 16", Frame(m, 12, {0, 0, 7, 0}));
  VMBasicBlock* state = At(m, 12);
  VMboolArray* written = state->GetLocalsDefinedBySubroutine(m);
  ASSERT_NE(nullptr, written);
  EXPECT_TRUE(written->Get(2));
  EXPECT_FALSE(written->Get(3));
  state->Destroy(Heap(m));
  EXPECT_EQ("", WalkMethod(m, 50, 1));
}

TEST_F(HostileTest, HandlersInsideAFinallyBelongToIt) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_2);  // 0: local 2 a reference at the call site
  a.br(OP_jsr, 6);                       // 2
  a.op(OP_return);                       // 5
  a.op(OP_astore_1);                     // 6: subroutine
  a.op(OP_iconst_0).br(OP_ifeq, 13);     // 7, 8
  a.op(OP_aconst_null).op(OP_athrow);    // 11, 12: caught at 15
  a.op(OP_ret).u1(1);                    // 13
  a.op(OP_pop).op(OP_iconst_0).op(OP_istore_2).br(OP_goto, 13);  // 15: handler writes an int
  VMMethod* m = Method(a, 2, 3, {{11, 13, 15, 0}});
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  EXPECT_EQ(1u, Block(m, 15)->GetSubroutineIndex());
  // After the return, local 2 holds the handler's int on one path: never a reference.
  EXPECT_EQ("III|", KindsAt(m, 5));
  VMBasicBlock* point = At(m, 5);
  EXPECT_FALSE(point->GetLocalIsRef(2));
  EXPECT_TRUE(point->GetLocalIsIndeterminite(2));
  point->Destroy(Heap(m));
  EXPECT_EQ("", WalkMethod(m, 80, 2));
}

TEST_F(HostileTest, NestedSubroutines) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_3);  // 0
  a.br(OP_jsr, 6);                       // 2
  a.op(OP_return);                       // 5
  a.op(OP_astore_1);                     // 6: outer
  a.br(OP_jsr, 13);                      // 7
  a.op(OP_ret).u1(1);                    // 10: in the outer subroutine
  a.op(OP_nop);                          // 12 (unreachable)
  a.op(OP_astore_2).op(OP_iconst_0).op(OP_istore_0).op(OP_ret).u1(2);  // 13: inner writes local 0
  VMMethod* m = Method(a, 2, 4);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  EXPECT_EQ(1u, Block(m, 6)->GetEntryOf());
  EXPECT_EQ(2u, Block(m, 13)->GetEntryOf());
  EXPECT_EQ(1u, Block(m, 10)->GetSubroutineIndex());
  EXPECT_EQ(2u, Block(m, 13)->GetSubroutineIndex());
  // The outer subroutine writes what the inner one writes.
  VMBasicBlock* outer = At(m, 10);
  VMboolArray* written = outer->GetLocalsDefinedBySubroutine(m);
  ASSERT_NE(nullptr, written);
  EXPECT_TRUE(written->Get(0));
  EXPECT_TRUE(written->Get(1));
  EXPECT_TRUE(written->Get(2));
  EXPECT_FALSE(written->Get(3));
  outer->Destroy(Heap(m));
  EXPECT_EQ("SIIR|", KindsAt(m, 5));
  // Inside the inner one, the chain of return addresses leads to local 3's kind at the
  // outer call site.
  EXPECT_EQ("SA1A2R|", Frame(m, 16, {0, 5, 10, 0}));
  EXPECT_EQ("", WalkMethod(m, 40, 3));
}

TEST_F(HostileTest, FinallyWithoutRetAndInnerBreakBackIntoTheOuter) {
  // A subroutine that never returns owns no block; one whose code jumps back into an
  // outer subroutine belongs to that outer one, and the outer's ret stays the outer's.
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_3);  // 0: a reference at the first call site
  a.br(OP_jsr, 14);                      // 2
  a.op(OP_iconst_0).op(OP_istore_3);     // 5: an int at the second
  a.br(OP_jsr, 14);                      // 7
  a.op(OP_iload_3).op(OP_pop);           // 10
  a.op(OP_nop).op(OP_return);            // 12
  a.op(OP_astore_1);                     // 14: outer
  a.br(OP_jsr, 23);                      // 15: inner, which never returns
  a.br(OP_goto, 21);                     // 18
  a.op(OP_ret).u1(1);                    // 21: the outer's ret
  a.op(OP_astore_2).br(OP_goto, 21);     // 23: inner: straight back into the outer's code
  VMMethod* m = Method(a, 2, 4);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  EXPECT_EQ(1u, Block(m, 14)->GetSubroutineIndex());
  EXPECT_EQ(1u, Block(m, 23)->GetSubroutineIndex());  // the inner's code runs inside the outer
  EXPECT_EQ(1u, Block(m, 21)->GetSubroutineIndex());
  EXPECT_EQ(2u, Block(m, 21)->GetNumberTargets());
  EXPECT_EQ("IA1A2R|", Frame(m, 21, {0, 5, 18, 0}));
  EXPECT_EQ("IA1A2S|", Frame(m, 21, {0, 10, 18, 0}));
  // A stale return address of the inner subroutine meets nothing at the entry: a conflict.
  EXPECT_EQ("IA1CR|A2", Frame(m, 23, {0, 5, 0, 0}, {18}));
  EXPECT_EQ("", WalkMethod(m, 60, 4));

  Asm b;  // finally { return; }: no ret anywhere
  b.br(OP_jsr, 4).op(OP_return).op(OP_astore_1).op(OP_return);
  VMMethod* n = Method(b, 2, 2);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(n));
  EXPECT_EQ(0u, Block(n, 4)->GetSubroutineIndex());
  EXPECT_EQ(-1, Block(n, 4)->GetRetIndex());
  EXPECT_EQ("IA1|", KindsAt(n, 5));
}

TEST_F(HostileTest, JsrAtTheEndOfTheCode) {
  Asm a;  // the subroutine never returns: fine
  a.br(OP_goto, 5).op(OP_astore_1).op(OP_return).op(OP_nop);  // 0, 3, 4, (5 below)
  a.code.resize(5);
  a.br(OP_jsr, 3);
  VMMethod* m = Method(a, 2, 2);
  EXPECT_EQ(0, VMBasicBlock::BuildBlocks(m));
  Asm b;  // it returns: there is nothing to return to
  b.br(OP_goto, 6).op(OP_astore_1).op(OP_ret).u1(1).op(OP_nop);
  b.code.resize(6);
  b.br(OP_jsr, 3);
  VMMethod* n = Method(b, 2, 2);
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(n));
  EXPECT_EQ(nullptr, n->GetBasicBlocks());  // a failed build leaves no blocks
}

TEST_F(HostileTest, MalformedSubroutinesAreRefused) {
  struct Case {
    const char* what;
    Asm code;
  };
  std::vector<Case> cases;
  {
    Asm a;
    a.op(OP_aconst_null).op(OP_astore_1).op(OP_ret).u1(1);
    cases.push_back({"ret outside a subroutine", a});
  }
  {
    Asm a;  // recursion
    a.br(OP_jsr, 4).op(OP_return).op(OP_astore_1).br(OP_jsr, 4).op(OP_ret).u1(1);
    cases.push_back({"recursive jsr", a});
  }
  {
    Asm a;  // goto into the entry with an int where the return address is
    a.br(OP_jsr, 8).op(OP_iconst_0).br(OP_goto, 8).op(OP_return).op(OP_astore_1).op(OP_ret).u1(1);
    cases.push_back({"int meets a return address on the stack", a});
  }
  {
    Asm a;  // ret through a local that is a return address on one path and an int on another
    a.br(OP_jsr, 4).op(OP_return);                 // 0, 3
    a.op(OP_astore_1);                             // 4
    a.op(OP_iconst_0).br(OP_ifeq, 12);             // 5, 6
    a.op(OP_iconst_0).op(OP_istore_1);             // 9, 10
    a.op(OP_nop);                                  // 11
    a.op(OP_ret).u1(1);                            // 12
    cases.push_back({"ret of a return address or int", a});
  }
  {
    Asm a;  // ret of a plain int
    a.br(OP_jsr, 4).op(OP_return).op(OP_pop).op(OP_iconst_0).op(OP_istore_1).op(OP_ret).u1(1);
    cases.push_back({"ret of an int", a});
  }
  {
    Asm a;  // one local carries return addresses of two subroutines into one ret
    a.br(OP_jsr, 7).br(OP_jsr, 11).op(OP_return);  // 0, 3, 6
    a.op(OP_astore_1).br(OP_goto, 12);             // 7: first
    a.op(OP_astore_1);                             // 11: second
    a.op(OP_ret).u1(1);                            // 12: shared
    cases.push_back({"ret shared by two subroutines", a});
  }
  for (Case& c : cases) {
    VMMethod* m = Method(c.code, 3, 3);
    ASSERT_NE(nullptr, m) << c.what;
    EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m)) << c.what;
    EXPECT_EQ(nullptr, m->GetBasicBlocks()) << c.what;
    VMStatus s = 0;
    EXPECT_EQ(nullptr, At(m, 0, &s)) << c.what;
    EXPECT_EQ(VMStatus_VerifyError, s) << c.what;
  }
}

/* ---- opcodes compilers rarely emit, walked against their JVMS effects ---- */

TEST_F(HostileTest, ShufflesWideFormsAndLongJumps) {
  classfile_test::ClassBuilder builder;
  uint16_t grid = builder.Class("[[I");
  uint16_t text = builder.String("s");
  Asm a;
  a.op(OP_aload_0).op(OP_lload_1);            // 0: R S S
  a.op(OP_dup2_x1).op(OP_pop2).op(OP_dup_x2);  // 2: S S R S S, S S R, R S S R
  a.op(OP_pop).op(OP_l2i).op(OP_swap);         // 5: R S S, R S, S R
  a.op(OP_dup2).op(OP_dup2_x2);                // 8: S R S R, S R S R S R
  a.op(OP_pop2).op(OP_pop2).op(OP_pop2);       // 10
  a.op(OP_aload_0).op(OP_wide).op(OP_astore).u2(299);  // 13
  a.op(OP_wide).op(OP_aload).u2(299).op(OP_pop);       // 18
  a.op(OP_iconst_2).op(OP_iconst_3).op(OP_multianewarray).u2(grid).u1(2);  // 23
  a.op(OP_astore_3);                                    // 29
  a.op(OP_jsr_w).u4(10);                                // 30: to 40
  a.op(OP_goto_w).u4(9);                                // 35: to 44
  a.op(OP_astore).u1(4).op(OP_ret).u1(4);               // 40
  a.op(OP_ldc).u1(text).op(OP_astore_3).op(OP_return);  // 44
  MethodSpec spec;
  spec.code = a.code;
  spec.descriptor = "(Ljava/lang/Object;J)V";
  spec.maxStack = 6;
  spec.maxLocals = 300;
  VMMethod* m = Make(spec, nullptr, &builder);
  ASSERT_NE(nullptr, m);
  EXPECT_EQ("|SRSRSR", KindsAt(m, 10).substr(300));
  EXPECT_EQ("R", KindsAt(m, 22).substr(299, 1));
  EXPECT_EQ("|A1", KindsAt(m, 40).substr(300));
  EXPECT_EQ("", WalkMethod(m, 20, 9));
}

/* ---- switches and exception tables ---- */

TEST_F(HostileTest, SwitchExtremesAreRefusedWithoutAHang) {
  Asm a;  // a sound tableswitch, then its bounds widened to the whole int range
  a.op(OP_iconst_0).op(OP_tableswitch).pad().u4(15).u4(0).u4(0).u4(15).op(OP_return);
  VMMethod* m = Method(a, 1, 0);
  ASSERT_NE(nullptr, m);
  Patch4(m, 8, INT32_MIN);
  Patch4(m, 12, INT32_MAX);
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m));
  VMStatus s = 0;
  EXPECT_EQ(nullptr, At(m, 1, &s));
  EXPECT_EQ(VMStatus_VerifyError, s);

  for (int32_t pairs : {-1, -2, -0x7FFFFFFF}) {
    Asm b;  // the load-time pass lets a negative pair count through
    b.op(OP_iconst_0).op(OP_lookupswitch).pad().u4(11).u4((uint32_t)pairs).op(OP_return);
    VMStatus load = 0;
    VMMethod* n = Method(b, 1, 0, {}, "()V", &load);
    if (n == nullptr) continue;  // refused at load time already
    EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(n)) << pairs;
  }

  Asm c;  // low = high: one case and the default; the instruction is 20 bytes at pc 0
  c.op(OP_tableswitch).pad().u4(20).u4(5).u4(5).u4(20).op(OP_return);
  VMMethod* one = Method(c, 1, 1, {}, "(I)V");
  ASSERT_NE(nullptr, one);
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(one));  // nothing on the stack
  Asm d;
  d.op(OP_iload_0).op(OP_tableswitch).pad().u4(19).u4(5).u4(5).u4(19).op(OP_return);
  VMMethod* two = Method(d, 1, 1, {}, "(I)V");
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(two));
  EXPECT_EQ(2u, Block(two, 0)->GetNumberTargets());
  EXPECT_EQ("S|", KindsAt(two, 20));
}

TEST_F(HostileTest, ExceptionTablePcsMustStartInstructions) {
  Asm a;
  a.op(OP_sipush).u2(7).op(OP_pop).op(OP_return).op(OP_pop).op(OP_return);  // 0, 3, 4, 5, 6
  for (Handler h : {Handler{0, 4, 1, 0}, Handler{1, 4, 5, 0}, Handler{0, 2, 5, 0}}) {
    VMStatus load = 0;
    VMMethod* m = Method(a, 2, 0, {h}, "()V", &load);
    if (m == nullptr) continue;
    EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m)) << h.start << " " << h.end << " " << h.handler;
    VMStatus s = 0;
    EXPECT_EQ(nullptr, At(m, 0, &s));
    EXPECT_EQ(VMStatus_VerifyError, s);
  }
  VMMethod* good = Method(a, 2, 0, {{0, 4, 5, 0}});
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(good));
  EXPECT_TRUE(Block(good, 5)->GetIsCatch());
  EXPECT_TRUE(Block(good, 0)->GetIsExceptionStart());
  EXPECT_EQ("|R", KindsAt(good, 5));
}

/* ---- unreachable code and odd pcs ---- */

TEST_F(HostileTest, UnreachableCodeAndOddPcs) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_0).op(OP_return);  // 0, 1, 2
  a.op(OP_iconst_0).op(OP_pop).op(OP_return);          // 3: never reached
  VMMethod* m = Method(a, 1, 1);
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  EXPECT_FALSE(Block(m, 3)->GetIsReachable());
  VMStatus s = 0;
  EXPECT_EQ(nullptr, At(m, 4, &s));
  EXPECT_EQ(VMStatus_VerifyError, s);
  EXPECT_EQ(nullptr, At(m, 6, &s));  // the code length, in a block the flow never reached
  EXPECT_EQ(VMStatus_VerifyError, s);
  EXPECT_EQ(nullptr, At(m, 7, &s));
  EXPECT_EQ(VMStatus_VerifyError, s);
  EXPECT_EQ("R|", KindsAt(m, 2));

  Asm b;  // a frame throwing from its last instruction asks at the code length
  b.op(OP_aload_0).op(OP_iconst_0).op(OP_istore_1).op(OP_athrow);
  VMMethod* n = Method(b, 2, 2, {}, "(Ljava/lang/Object;)V");
  EXPECT_EQ("RS|", KindsAt(n, 4));
  EXPECT_EQ("RS|R", KindsAt(n, 3));

  Asm c;  // a pc inside an instruction flows through it without reading past it
  c.op(OP_sipush).u2(300).op(OP_istore_0).op(OP_return);
  VMMethod* k = Method(c, 1, 1);
  EXPECT_EQ("I|S", KindsAt(k, 1));
  EXPECT_EQ("I|S", KindsAt(k, 2));
}

TEST_F(HostileTest, NativeAndAbstractMethodsHaveNoBlocks) {
  classfile_test::ClassBuilder builder;
  builder.AddMethod(0x0109, "n", "()V");  // public static native
  MethodSpec spec;
  spec.code = Asm().op(OP_return).code;
  VMMethod* m = Make(spec, nullptr, &builder);
  ASSERT_NE(nullptr, m);
  VMMethod* native = m->GetDefinedIn()->FindMethod(Lit("n"), Lit("()V"), false);
  ASSERT_NE(nullptr, native);
  EXPECT_EQ(0, VMBasicBlock::BuildBlocks(native));
  EXPECT_EQ(nullptr, native->GetBasicBlocks());
  VMStatus s = 0;
  EXPECT_EQ(nullptr, At(native, 0, &s));
  EXPECT_EQ(VMStatus_VerifyError, s);
}

/* ---- breakpoints and quick opcodes ---- */

std::map<std::pair<VMMethod*, uint32_t>, uint8_t> gPlanted;
uint8_t PlantedOpcode(VMMethod* m, uint32_t pc) {
  auto it = gPlanted.find({m, pc});
  return it != gPlanted.end() ? it->second : *(uint8_t*)m->GetCode()->FindElement(pc, 0u);
}

TEST_F(HostileTest, BreakpointsSeeThroughToTheOpcodeTheyReplace) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_1);                                  // 0
  a.op(OP_wide).op(OP_iinc).u2(2).u2(1);                                 // 2
  a.op(OP_iload_0).op(OP_tableswitch).pad().u4(19).u4(0).u4(0).u4(19);   // 8, 9: to 28
  a.op(OP_iload_0).op(OP_lookupswitch).pad().u4(19).u4(1).u4(3).u4(19);  // 28, 29: to 48
  ASSERT_EQ(48u, a.pc());
  a.op(OP_goto).u2(3);                                                   // 48: to 51
  a.op(OP_aload_1).op(OP_pop).op(OP_return);                             // 51
  VMMethod* m = Method(a, 2, 3, {}, "(I)V");
  ASSERT_NE(nullptr, m);
  std::vector<uint32_t> starts = InstructionStarts(m);
  std::vector<std::string> plain;
  for (uint32_t pc : starts) plain.push_back(KindsAt(m, pc));
  EXPECT_EQ("SRS|", plain.back());
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  VMBasicBlock::SetPreBreakpointOpcodeFinder(PlantedOpcode);
  for (uint32_t pc : {2u, 9u, 29u, 48u}) {
    gPlanted[{m, pc}] = *(uint8_t*)m->GetCode()->FindElement(pc, 0u);
    Patch(m, pc, OP_breakpoint);
  }
  ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m));
  for (size_t i = 0; i < starts.size(); i++) EXPECT_EQ(plain[i], KindsAt(m, starts[i])) << starts[i];
  // Without a saved opcode a breakpoint is malformed code.
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  gPlanted.erase({m, 48});
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m));
  VMBasicBlock::SetPreBreakpointOpcodeFinder(nullptr);
  gPlanted.clear();
}

TEST_F(HostileTest, QuickOpcodesOnlyOnceCodeHasRun) {
  classfile_test::ClassBuilder builder;
  uint16_t field = builder.Ref(9, "java/lang/Object", "f", "[I");
  Asm a;
  a.op(OP_aload_0).op(OP_getfield).u2(field).op(OP_astore_1).op(OP_return);
  MethodSpec spec;
  spec.code = a.code;
  spec.descriptor = "(Ljava/lang/Object;)V";
  spec.maxStack = 1;
  spec.maxLocals = 2;
  VMMethod* m = Make(spec, nullptr, &builder);
  ASSERT_NE(nullptr, m);
  EXPECT_EQ("RR|", KindsAt(m, 5));
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  Patch(m, 1, OP_agetfield_quick);  // what the interpreter writes once the field is resolved
  EXPECT_EQ(VMStatus_VerifyError, VMBasicBlock::BuildBlocks(m));  // not from a class file
  EXPECT_EQ("RR|", KindsAt(m, 5));                                 // but at run time
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  Patch(m, 1, OP_getfield_quick);  // a scalar word
  EXPECT_EQ("status 16", KindsAt(m, 5));  // astore of a scalar
}

/* ---- code in pieces ---- */

TEST_F(HostileTest, InstructionsStraddlingPiecesFlowAsContiguousOnes) {
  // The same instruction sequence shifted over the 776-byte boundary and the next piece
  // boundary: the kinds before every instruction are the same at every shift.
  std::vector<std::string> reference;
  for (uint32_t base : {0u, 760u, 1016u}) {
    for (uint32_t shift = 0; shift < 20; shift++) {
      if (base == 0 && shift > 0) break;
      Asm a;
      for (uint32_t i = 0; i < base + shift; i++) a.op(OP_nop);
      uint32_t start = a.pc();
      a.op(OP_sipush).u2(1000).op(OP_istore_1);
      a.op(OP_aconst_null).op(OP_astore_2);
      a.op(OP_wide).op(OP_iinc).u2(1).u2(5);
      a.op(OP_iload_1).op(OP_tableswitch).pad();
      uint32_t sw = start + 13;
      uint32_t after = a.pc() + 16;
      a.u4(after - sw).u4(1).u4(1).u4(after - sw);
      a.op(OP_iload_1).op(OP_lookupswitch).pad();
      uint32_t lsw = after + 1;
      uint32_t end = a.pc() + 16;
      a.u4(end - lsw).u4(1).u4(9).u4(end - lsw);
      a.op(OP_aload_2).op(OP_astore_1).op(OP_return);
      VMMethod* m = Method(a, 2, 3);
      ASSERT_NE(nullptr, m);
      std::vector<std::string> kinds;
      for (uint32_t pc : InstructionStarts(m))
        if (pc >= start) kinds.push_back(KindsAt(m, pc));
      ASSERT_EQ(std::string("IRR|"), kinds.back()) << "base " << base << " shift " << shift;
      if (reference.empty())
        reference = kinds;
      else
        EXPECT_EQ(reference, kinds) << "base " << base << " shift " << shift;
      EXPECT_EQ("", WalkMethod(m, 3, shift));
    }
  }
  EXPECT_EQ(12u, reference.size());
}

/* ---- allocation failures ---- */

TEST_F(HostileTest, EveryAllocationFailureIsRecoveredFrom) {
  Asm a;
  a.op(OP_aconst_null).op(OP_astore_3).br(OP_jsr, 11).op(OP_iconst_0).op(OP_istore_3).br(OP_jsr, 11);
  a.op(OP_return).op(OP_astore_2).op(OP_ret).u1(2);
  VMMethod* m = Method(a, 2, 4);
  ASSERT_NE(nullptr, m);
  std::string expected = KindsAt(m, 12);
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  m->DestroyBlockInfo();
  HHeap* heap = Heap(m);
  uint32_t baseline = refhost::BlocksInUse(heap);
  bool succeeded = false;
  uint32_t failures = 0;
  for (uint32_t n = 1; n < 400 && !succeeded; n++) {
    refhost::FailNthAllocation(n);
    VMBasicBlock* b = nullptr;
    VMStatus s = VMBasicBlock::GetBlockAtPC(m, 12, b);
    refhost::ResetHooks();
    if (s == 0) {
      succeeded = true;
      EXPECT_EQ(expected, Kinds(m, b));
      b->Destroy(heap);
    } else {
      failures++;
      EXPECT_EQ(VMStatus_OutOfMemoryError, s) << n;
      EXPECT_EQ(nullptr, b);
      EXPECT_EQ(expected, KindsAt(m, 12)) << "after a failure at allocation " << n;
    }
    ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
    m->DestroyBlockInfo();
    EXPECT_EQ(baseline, refhost::BlocksInUse(heap)) << "blocks left after failure " << n;
  }
  EXPECT_TRUE(succeeded);
  EXPECT_GT(failures, 20u);  // blocks, kind arrays, labels, walks, unions, the result
}

}  // namespace
}  // namespace flow_test
