/* The rules one by one: every row of the shape table passes with the right kinds and
   fails with a wrong kind in any consumed word or one word too few; the constant-pool
   rules (ldc, ldc2_w, newarray, class entries, signatures); the driver's own checks
   (names, opcodes that are no class-file instructions, breakpoints, code that runs off
   its end); and instructions that straddle the pieces of a long method's code, judged
   exactly as the same instructions in one piece. */
#include "vmbasicblock_verify.h"
#include "verifier_support.h"
#include "vmconstantpool.h"
#include "vmliteral.h"

namespace verifier_test {
namespace {

class RulesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    judge = new Judge();
    ASSERT_TRUE(judge->Create());
  }
  static void TearDownTestSuite() {
    judge->Destroy();
    delete judge;
    judge = nullptr;
    VMBasicBlock::SetPreBreakpointOpcodeFinder(nullptr);
  }
  static Judge* judge;
};
Judge* RulesTest::judge = nullptr;

/* Pushes one word of a kind: R a null reference, N an int. */
void PushKind(Asm& a, char kind) { a.op(kind == 'R' ? OP_aconst_null : OP_iconst_0); }

/* The instruction under test with zero operands (a branch goes to the next one). */
void Emit(Asm& a, uint8_t op) {
  uint32_t at = a.pc();
  a.op(op);
  uint32_t length = VMOpcodeLength[op];
  if ((op >= OP_ifeq && op <= OP_goto) || op == OP_ifnull || op == OP_ifnonnull) {
    a.u2(3);
  } else if (op == OP_goto_w) {
    a.u4(5);
  } else {
    for (uint32_t i = 1; i < length; i++) a.u1(1);
  }
  (void)at;
}

std::string ShapeMethod(Judge* j, uint8_t op, const std::string& inputs, uint32_t outputs) {
  Asm a;
  for (char k : inputs) PushKind(a, k);
  Emit(a, op);
  if (op == OP_athrow) return j->Verdict(a.code);
  for (uint32_t i = 0; i < outputs; i++) a.op(OP_pop);
  a.op(OP_return);
  return j->Verdict(a.code);
}

TEST_F(RulesTest, EveryRowOfTheShapeTable) {
  uint32_t rows = 0;
  for (uint32_t op = 0; op < OP_breakpoint; op++) {
    const char* shape = verify::kShapes[op];
    if (shape == nullptr) continue;
    rows++;
    std::string in(shape, strchr(shape, '>') - shape);
    uint32_t out = (uint32_t)strlen(strchr(shape, '>') + 1);
    SCOPED_TRACE("opcode " + std::to_string(op) + " shape " + shape);
    EXPECT_EQ("ok", ShapeMethod(judge, (uint8_t)op, in, out));
    for (size_t k = 0; k < in.size(); k++) {
      std::string wrong = in;
      wrong[k] = in[k] == 'R' ? 'N' : 'R';
      EXPECT_EQ("kinds", ShapeMethod(judge, (uint8_t)op, wrong, out)) << "wrong kind in word " << k;
    }
    if (!in.empty()) {
      std::string verdict = ShapeMethod(judge, (uint8_t)op, in.substr(1), out);
      EXPECT_TRUE(verdict == "flow" || verdict == "kinds") << "one word too few: " << verdict;
    }
  }
  EXPECT_GT(rows, 100u);
}

TEST_F(RulesTest, ConstantsNameEntriesOfTheirOwnKind) {
  classfile_test::ClassBuilder b;
  uint16_t integer = b.Integer(7), floating = b.Float(0x3F800000), string = b.String("s");
  uint16_t longer = b.Long(1), doubled = b.Double(0), cls = b.Class("java/lang/String");
  uint16_t count = b.PoolCount();
  auto ldc = [&](uint8_t op, uint32_t index, uint32_t words) {
    classfile_test::ClassBuilder copy = b;
    Asm a;
    a.op(op);
    if (op == OP_ldc) a.u1(index); else a.u2(index);
    for (uint32_t i = 0; i < words; i++) a.op(OP_pop);
    a.op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    return judge->Verdict(spec, &copy);
  };
  EXPECT_EQ("ok", ldc(OP_ldc, integer, 1));
  EXPECT_EQ("ok", ldc(OP_ldc, floating, 1));
  EXPECT_EQ("ok", ldc(OP_ldc_w, string, 1));
  EXPECT_EQ("flow", ldc(OP_ldc, longer, 1));  // no one-word constant
  EXPECT_EQ("flow", ldc(OP_ldc, cls, 1));      // a Class constant is not 45.3
  EXPECT_EQ("ok", ldc(OP_ldc2_w, longer, 2));
  EXPECT_EQ("ok", ldc(OP_ldc2_w, doubled, 2));
  EXPECT_EQ("kinds", ldc(OP_ldc2_w, integer, 2));
  EXPECT_EQ("kinds", ldc(OP_ldc2_w, string, 2));
  // Index equal to the entry count: the builder adds the class's own entries after ours.
  classfile_test::ClassBuilder probe = b;
  Asm a;
  a.op(OP_ldc2_w).u2(0xFFFF).op(OP_pop2).op(OP_return);
  MethodSpec spec;
  spec.code = a.code;
  EXPECT_EQ("kinds", judge->Verdict(spec, &probe));
  (void)count;
}

TEST_F(RulesTest, NewarrayTakesTheEightPrimitiveTypes) {
  for (uint32_t type = 0; type < 16; type++) {
    Asm a;
    a.op(OP_iconst_1).op(OP_newarray).u1(type).op(OP_pop).op(OP_return);
    EXPECT_EQ(type >= 4 && type <= 11 ? "ok" : "kinds", judge->Verdict(a.code)) << "type " << type;
  }
}

TEST_F(RulesTest, ClassEntriesAndSignatures) {
  {
    // multianewarray with no dimension; anewarray of a 255-dimension class (256 made).
    classfile_test::ClassBuilder b;
    uint16_t deep = b.Class(std::string(255, '[') + "I");
    uint16_t two = b.Class("[[I");
    Asm a;
    a.op(OP_multianewarray).u2(two).u1(0).op(OP_pop).op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    classfile_test::ClassBuilder c1 = b;
    EXPECT_EQ("kinds", judge->Verdict(spec, &c1));
    Asm d;
    d.op(OP_iconst_1).op(OP_anewarray).u2(deep).op(OP_pop).op(OP_return);
    spec.code = d.code;
    classfile_test::ClassBuilder c2 = b;
    EXPECT_EQ("kinds", judge->Verdict(spec, &c2));
    Asm e;
    e.op(OP_iconst_1).op(OP_iconst_1).op(OP_multianewarray).u2(two).u1(2).op(OP_pop).op(OP_return);
    spec.code = e.code;
    classfile_test::ClassBuilder c3 = b;
    EXPECT_EQ("ok", judge->Verdict(spec, &c3));
  }
  {
    // A method reference whose descriptor cannot be read: flow analysis refuses it.
    for (const char* bad : {"(I", "(Q)V", "()", "(Ljava/lang/String)V"}) {
      classfile_test::ClassBuilder b;
      uint16_t m = b.Ref(10, "java/lang/Object", "m", bad);
      Asm a;
      a.op(OP_invokestatic).u2(m).op(OP_return);
      MethodSpec spec;
      spec.code = a.code;
      EXPECT_EQ("flow", judge->Verdict(spec, &b)) << bad;
    }
  }
  {
    // A field reference under invokevirtual, a method reference under getstatic.
    classfile_test::ClassBuilder b;
    uint16_t f = b.Ref(9, "java/lang/System", "out", "Ljava/io/PrintStream;");
    uint16_t m = b.Ref(10, "java/lang/Object", "hashCode", "()I");
    Asm a;
    a.op(OP_aconst_null).op(OP_invokevirtual).u2(f).op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    classfile_test::ClassBuilder c1 = b;
    EXPECT_EQ("flow", judge->Verdict(spec, &c1));
    Asm g;
    g.op(OP_getstatic).u2(m).op(OP_pop).op(OP_return);
    spec.code = g.code;
    classfile_test::ClassBuilder c2 = b;
    EXPECT_EQ("flow", judge->Verdict(spec, &c2));
  }
  {
    // A field whose type lacks its ';' is refused by the type walk.
    classfile_test::ClassBuilder b;
    uint16_t f = b.Ref(9, "java/lang/System", "out", "Ljava/io/PrintStream");
    Asm a;
    a.op(OP_getstatic).u2(f).op(OP_pop).op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    EXPECT_EQ("types", judge->Verdict(spec, &b));
  }
  {
    // new names a class entry: not an array, not another kind of entry.
    classfile_test::ClassBuilder b;
    uint16_t s = b.String("java/lang/Object");
    uint16_t arr = b.Class("[Ljava/lang/Object;");
    Asm a;
    a.op(OP_new).u2(s).op(OP_pop).op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    classfile_test::ClassBuilder c1 = b;
    EXPECT_EQ("kinds", judge->Verdict(spec, &c1));
    Asm c;
    c.op(OP_aconst_null).op(OP_checkcast).u2(arr).op(OP_pop).op(OP_return);
    spec.code = c.code;
    classfile_test::ClassBuilder c2 = b;
    EXPECT_EQ("ok", judge->Verdict(spec, &c2));
  }
}

TEST_F(RulesTest, TheDriverRefusesWhatNoClassFileHolds) {
  // The load-time pass refuses the breakpoint and quick opcodes in a class file, and
  // flow analysis 0xBA; the driver refuses them too where a caller gives it such code.
  EXPECT_EQ("load 16", judge->Verdict(Asm().op(OP_breakpoint).op(OP_return).code));
  EXPECT_EQ("load 16", judge->Verdict(Asm().op(OP_invokevirtual_quick).u2(1).op(OP_return).code));
  EXPECT_EQ("flow", judge->Verdict(Asm().op(OP_unused_ba).op(OP_return).code));
  for (uint8_t patched : {(uint8_t)OP_unused_ba, (uint8_t)OP_breakpoint, (uint8_t)OP_getfield_quick}) {
    VMMethod* m = nullptr;
    MethodSpec spec;
    spec.code = Asm().op(OP_nop).op(OP_nop).op(OP_nop).op(OP_return).code;
    ASSERT_EQ("ok", judge->Verdict(spec, nullptr, &m));
    *(uint8_t*)m->GetCode()->FindElement(0, 0u) = patched;
    EXPECT_EQ(VMStatus_VerifyError, verify::CheckKinds(m)) << (int)patched;
  }
}

TEST_F(RulesTest, CodeThatRunsOffItsEndIsRefusedByTheDriverToo) {
  // Flow analysis refuses it first; the driver's own check holds for any caller.
  EXPECT_EQ("flow", judge->Verdict(Asm().op(OP_nop).code));
  VMMethod* m = nullptr;
  MethodSpec spec;
  spec.code = Asm().op(OP_nop).op(OP_return).code;
  ASSERT_EQ("ok", judge->Verdict(spec, nullptr, &m));
  *(uint8_t*)m->GetCode()->FindElement(1, 0u) = OP_nop;
  EXPECT_EQ(VMStatus_VerifyError, verify::CheckKinds(m));
  *(uint8_t*)m->GetCode()->FindElement(1, 0u) = OP_athrow;
  EXPECT_EQ(VMStatus_VerifyError, verify::CheckKinds(m)) << "athrow of nothing";
}

TEST_F(RulesTest, MalformedTablesAndHandlersNeverReachTheRules) {
  // A lookupswitch of -1 pairs: the load-time pass refuses it.
  Asm a;
  a.op(OP_iconst_0).op(OP_lookupswitch).pad().u4(0xFFFFFFF0u).u4(0xFFFFFFFFu).op(OP_return);
  EXPECT_EQ("load 16", judge->Verdict(a.code));
  // A handler whose pc lies inside a sipush: flow analysis refuses it.
  MethodSpec spec;
  spec.code = Asm().op(OP_sipush).u2(7).op(OP_pop).op(OP_return).code;
  spec.handlers = {0, 3, 1, 0};
  EXPECT_EQ("flow", judge->Verdict(spec));
  // A handler range ending inside an instruction, and one beyond the code.
  spec.handlers = {0, 2, 4, 0};
  EXPECT_EQ("flow", judge->Verdict(spec));
  spec.handlers = {0, 9, 4, 0};
  EXPECT_NE("ok", judge->Verdict(spec));
}

/* A lookupswitch of no pairs ending the code right on and around the edges of its
   pieces: its fixed part is shorter than the length table's, and nothing past the code
   is read (the sanitizer build would see it). */
TEST_F(RulesTest, ASwitchEndingTheCodeIsReadNoFurtherThanTheCode) {
  for (uint32_t total = 760; total < 1300; total++) {
    Asm a;
    // nops, iconst_0, then the switch, padded, its default back to the start.
    uint32_t op = 0;
    for (;;) {
      uint32_t pad = (4 - ((op + 2) & 3)) & 3;  // iconst_0 at op, the switch at op + 1
      if (op + 2 + pad + 8 == total) break;
      if (op + 2 + pad + 8 > total) break;
      op++;
    }
    uint32_t pad = (4 - ((op + 2) & 3)) & 3;
    if (op + 2 + pad + 8 != total) continue;
    a.nops(op).op(OP_iconst_0);
    uint32_t at = a.pc();
    a.op(OP_lookupswitch).pad().u4((uint32_t)(0 - at)).u4(0);
    ASSERT_EQ(total, a.pc());
    EXPECT_EQ("ok", judge->Verdict(a.code)) << total;
  }
}

uint8_t SavedNop(VMMethod*, uint32_t) { return OP_nop; }
uint8_t SavedPop(VMMethod*, uint32_t) { return OP_pop; }

TEST_F(RulesTest, APlantedBreakpointIsJudgedAsTheOpcodeItHides) {
  VMMethod* m = nullptr;
  MethodSpec spec;
  spec.code = Asm().op(OP_nop).op(OP_return).code;
  ASSERT_EQ("ok", judge->Verdict(spec, nullptr, &m));
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  *(uint8_t*)m->GetCode()->FindElement(0, 0u) = OP_breakpoint;
  VMBasicBlock::SetPreBreakpointOpcodeFinder(SavedNop);
  EXPECT_EQ("ok", Judge::Stage(m));
  // The hidden opcode is what is judged: a pop on an empty stack fails.
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  VMBasicBlock::SetPreBreakpointOpcodeFinder(SavedPop);
  EXPECT_NE("ok", Judge::Stage(m));
  // Without a saved opcode the breakpoint is no instruction.
  ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
  VMBasicBlock::SetPreBreakpointOpcodeFinder(nullptr);
  EXPECT_EQ("flow", Judge::Stage(m));
}

TEST_F(RulesTest, NamesBeginningWithAnAngleBracketAreTheTwoSpecialOnes) {
  MethodSpec spec;
  spec.code = Asm().op(OP_return).code;
  spec.name = "<clinit>";
  EXPECT_EQ("ok", judge->Verdict(spec));
  spec.name = "<x>";
  EXPECT_EQ("kinds", judge->Verdict(spec));
  spec.name = "<init";
  EXPECT_EQ("kinds", judge->Verdict(spec));
  // A native method has no code: nothing to check, whatever its name.
  classfile_test::ClassBuilder b;
  b.thisClass = b.Class("vt/NativeAngle");
  b.superClass = b.Class("java/lang/Object");
  b.AddMethod(0x0109, "<x>", "()V");
  Bytes bytes = b.Build();
  VMLoadableClass* shell = judge->world.LooseShell("vt/NativeAngle");
  judge->loose.push_back(shell);
  if (judge->world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size()) == 0) {
    VMMethod* m = shell->FindMethod(judge->world.Lit("<x>"), judge->world.Lit("()V"), false);
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(0, VMBasicBlock::Verify(m));
  }
}

TEST_F(RulesTest, ReturnsAgainstTheReturnType) {
  struct Row {
    const char* descriptor;
    uint8_t push, push2, op;
    bool ok;
  } rows[] = {
      {"()Z", OP_iconst_0, 0, OP_ireturn, true},  {"()B", OP_iconst_0, 0, OP_ireturn, true},
      {"()C", OP_iconst_0, 0, OP_ireturn, true},  {"()S", OP_iconst_0, 0, OP_ireturn, true},
      {"()I", OP_iconst_0, 0, OP_ireturn, true},  {"()J", OP_iconst_0, 0, OP_ireturn, false},
      {"()F", OP_iconst_0, 0, OP_ireturn, false}, {"()F", OP_fconst_0, 0, OP_freturn, true},
      {"()J", OP_lconst_0, 0, OP_lreturn, true},  {"()D", OP_dconst_0, 0, OP_dreturn, true},
      {"()D", OP_lconst_0, 0, OP_lreturn, false}, {"()[I", OP_aconst_null, 0, OP_areturn, true},
      {"()V", 0, 0, OP_return, true},             {"()I", 0, 0, OP_return, false},
      {"()I", OP_iconst_0, OP_iconst_0, OP_ireturn, true},  // words below the value stay
  };
  for (const Row& r : rows) {
    Asm a;
    if (r.push) a.op(r.push);
    if (r.push2) a.op(r.push2);
    a.op(r.op);
    EXPECT_EQ(r.ok ? "ok" : "kinds", judge->Verdict(a.code, 4, 0, r.descriptor)) << r.descriptor << " " << (int)r.op;
  }
}

TEST_F(RulesTest, LookupswitchKeysAscendStrictly) {
  auto lookup = [&](std::vector<int32_t> keys) {
    Asm a;
    a.op(OP_iconst_0).op(OP_lookupswitch).pad();
    uint32_t base = 1;
    uint32_t end = (uint32_t)a.pc() + 8 + 8 * (uint32_t)keys.size();
    a.u4(end - base).u4((uint32_t)keys.size());
    for (int32_t k : keys) a.u4((uint32_t)k).u4(end - base);
    a.op(OP_return);
    return judge->Verdict(a.code);
  };
  EXPECT_EQ("ok", lookup({}));
  EXPECT_EQ("ok", lookup({77}));
  EXPECT_EQ("ok", lookup({-7, 0, 9}));
  EXPECT_EQ("ok", lookup({INT32_MIN, 0, INT32_MAX}));
  EXPECT_EQ("kinds", lookup({1, 5, 3}));
  EXPECT_EQ("kinds", lookup({4, 4}));
  EXPECT_EQ("kinds", lookup({INT32_MAX, INT32_MIN}));
}

/* A method of nops, then the instruction of `tail` at offset `at`, judged at each
   offset: a straddle over the 776-byte inline part or a 256-byte piece is read like
   code in one piece. */
TEST_F(RulesTest, InstructionsAcrossPiecesAreJudgedLikeWholeOnes) {
  auto build = [&](uint32_t at, int kind, bool sound) {
    Asm a;
    // Local 300 is an int before the nops (wide iinc needs one).
    a.op(OP_iconst_0).op(OP_wide).op(OP_istore).u2(300);
    a.nops(at);
    switch (kind) {
      case 0:  // sipush, then a pop
        a.op(OP_sipush).u2(0x1234).op(OP_pop);
        if (!sound) a.op(OP_pop);
        a.op(OP_return);
        break;
      case 1: {  // tableswitch
        uint32_t start = a.pc();
        a.op(sound ? OP_iconst_0 : OP_aconst_null);
        uint32_t op = a.pc();
        a.op(OP_tableswitch).pad();
        uint32_t end = a.pc() + 12 + 4 * 3;
        a.u4(end - op).u4((uint32_t)-1).u4(1).u4(end - op).u4(end - op).u4(end - op);
        a.op(OP_return);
        (void)start;
        break;
      }
      case 2: {  // lookupswitch
        a.op(OP_iconst_0);
        uint32_t op = a.pc();
        a.op(OP_lookupswitch).pad();
        uint32_t end = a.pc() + 8 + 8 * 3;
        a.u4(end - op).u4(3);
        a.u4((uint32_t)-5).u4(end - op).u4(sound ? 7 : 10).u4(end - op).u4(9).u4(end - op);
        a.op(OP_return);
        break;
      }
      case 3:  // wide iinc
        a.op(OP_wide).op(OP_iinc).u2(sound ? 300 : 400).u2(0xFFFF).op(OP_return);
        break;
    }
    return a.code;
  };
  for (int kind = 0; kind < 4; kind++) {
    for (uint32_t at : {0u, 1u, 2u, 3u, 760u, 765u, 770u, 771u, 772u, 773u, 774u, 775u, 776u, 1028u, 1029u, 1030u,
                        1031u, 1032u, 1285u, 1286u, 1287u}) {
      SCOPED_TRACE("kind " + std::to_string(kind) + " at " + std::to_string(at));
      EXPECT_EQ("ok", judge->Verdict(build(at, kind, true), 4, 400));
      std::string bad = judge->Verdict(build(at, kind, false), 4, 400);
      EXPECT_TRUE(bad == "kinds" || bad == "flow") << bad;
    }
  }
}

TEST_F(RulesTest, TheCodeKeepsItsOffsetsRemainderInItsAddresses) {
  // Switch padding holds on addresses of the code as on offsets: in the inline part and
  // in every piece of a long method.
  VMMethod* m = nullptr;
  MethodSpec spec;
  spec.code = Asm().nops(3000).op(OP_return).code;
  ASSERT_EQ("ok", judge->Verdict(spec, nullptr, &m));
  VMbyteArray* code = m->GetCode();
  for (uint32_t i = 0; i < code->GetSize(); i += 7)
    ASSERT_EQ(i % 4, (uintptr_t)code->FindElement(i, 0u) % 4) << "offset " << i;
}

/* Single rules on a block filled by hand: the kinds each one reads and writes. */
TEST_F(RulesTest, RulesMoveKindsAsTheTablesSay) {
  VMMethod* m = nullptr;
  MethodSpec spec;
  spec.maxStack = 6;
  spec.maxLocals = 4;
  spec.code = Asm().op(OP_return).code;
  ASSERT_EQ("ok", judge->Verdict(spec, nullptr, &m));
  VMBasicBlock* b = VMBasicBlock::CreateInstance(m);
  ASSERT_NE(nullptr, b);
  int32_t advance = 0;
  VMErrorCatcher catcher;
  VMFlowState s;
  memset(&s, 0, sizeof s);
  s.Method = m;
  s.Block = b;
  s.Advance = &advance;
  s.Catcher = &catcher;
  s.MaxLocals = 4;
  s.MaxStack = 6;
  s.CodeLength = 1;
  uint8_t operands[8] = {0};
  s.Operands = operands;
  auto run = [&](uint8_t op) -> bool {
    if (VM_CATCHER_ARM(catcher)) return false;
    verify::kRules[op](&s);
    return true;
  };
  auto stack = [&]() {
    std::string out;
    for (uint32_t i = 0; i < b->GetStackDepth(); i++)
      out += b->GetStackIsRef(i) ? 'R' : b->GetStackIsRetAddress(i) ? 'A' : 'S';
    return out;
  };
  // A return address (as a jsr leaves it), a reference and a scalar.
  b->SetStackDepth(3);
  b->SetStackIsRetAddress(0);
  b->SetStackIsRef(1, true);
  b->SetStackIsRef(2, false);
  for (uint32_t i = 0; i < 4; i++) b->SetLocalIsIndeterminate(i);
  ASSERT_TRUE(run(OP_swap));
  EXPECT_EQ("ASR", stack());
  ASSERT_TRUE(run(OP_dup_x2));
  EXPECT_EQ("RASR", stack());
  ASSERT_TRUE(run(OP_dup2_x1));
  EXPECT_EQ("RSRASR", stack());
  EXPECT_FALSE(run(OP_dup)) << "a seventh word";
  b->SetStackDepth(4);
  ASSERT_TRUE(run(OP_pop2));
  EXPECT_EQ("RS", stack());
  // astore keeps a return address as one; istore of it makes a scalar.
  b->SetStackDepth(4);
  ASSERT_EQ("RSRA", stack());
  operands[0] = 2;
  ASSERT_TRUE(run(OP_astore));
  EXPECT_TRUE(b->GetLocalIsRetAddress(2));
  b->SetStackDepth(2);
  ASSERT_EQ("RS", stack());
  EXPECT_FALSE(run(OP_astore_1)) << "a scalar";
  b->SetStackDepth(2);
  b->SetStackIsRetAddress(1);
  ASSERT_TRUE(run(OP_istore_3));
  EXPECT_TRUE(b->GetLocalIsScalar(3));
  EXPECT_EQ("R", stack());
  // aload needs exactly a reference; iload exactly a scalar.
  operands[0] = 2;
  EXPECT_FALSE(run(OP_aload));
  b->SetStackDepth(1);
  EXPECT_FALSE(run(OP_iload_0)) << "indeterminate";
  ASSERT_TRUE(run(OP_iload_3));
  EXPECT_EQ("RS", stack());
  // lload of a local whose second word lies past max_locals.
  operands[0] = 3;
  EXPECT_FALSE(run(OP_lload));
  // iadd takes a return address as a scalar; ifnull does not take one as a reference.
  b->SetStackDepth(2);
  b->SetStackIsRetAddress(0);
  b->SetStackIsRef(1, false);
  ASSERT_TRUE(run(OP_iadd));
  EXPECT_EQ("S", stack());
  b->SetStackIsRetAddress(0);
  EXPECT_FALSE(run(OP_ifnull));
  EXPECT_FALSE(run(OP_monitorenter));
  b->Destroy(m->GetDefinedIn()->GetHeap());
}

}  // namespace
}  // namespace verifier_test
