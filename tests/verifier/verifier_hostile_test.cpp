/* Hostile methods: deep subroutine nesting, huge switch tables, types confused across
   many merges, objects without their constructors, stacks full and empty, return
   addresses used as everything, states too large to keep, and random code. Whatever the
   verdict, nothing crashes, hangs or leaks, and the verdict is the one the rules give. */
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "verifier_support.h"
#include "vmconstantpool.h"

namespace verifier_test {
namespace {

class HostileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    judge = new Judge();
    ASSERT_TRUE(judge->Create());
  }
  static void TearDownTestSuite() {
    judge->Destroy();
    delete judge;
    judge = nullptr;
  }
  static Judge* judge;
};
Judge* HostileTest::judge = nullptr;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/* Subroutine i (1..depth) stores its return address in local i, calls subroutine i + 1
   and returns; with wrongRet the innermost returns through its caller's local. */
Bytes Nested(uint32_t depth, bool wrongRet) {
  Asm a;
  std::vector<uint32_t> calls;  // positions of the jsr operands to patch
  calls.push_back(a.pc());
  a.op(OP_jsr).u2(0);
  a.op(OP_return);
  for (uint32_t i = 1; i <= depth; i++) {
    uint32_t entry = a.pc();
    uint32_t call = calls.back();
    uint16_t offset = (uint16_t)(entry - call);
    a.code[call + 1] = (uint8_t)(offset >> 8);
    a.code[call + 2] = (uint8_t)offset;
    a.op(OP_wide).op(OP_astore).u2(i);
    if (i < depth) {
      calls.push_back(a.pc());
      a.op(OP_jsr).u2(0);
    }
    a.op(OP_wide).op(OP_ret).u2(wrongRet && i == depth ? i - 1 : i);
  }
  return a.code;
}

TEST_F(HostileTest, DeepSubroutineNesting) {
  for (uint32_t depth : {1u, 2u, 10u, 60u, 200u}) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ("ok", judge->Verdict(Nested(depth, false), 2, (uint16_t)(depth + 1))) << depth;
    if (depth > 1) {
      EXPECT_EQ("flow", judge->Verdict(Nested(depth, true), 2, (uint16_t)(depth + 1))) << depth;
    }
    EXPECT_LT(Seconds(start), 60.0) << depth;
  }
}

TEST_F(HostileTest, HugeSwitchTables) {
  // A tableswitch of 16000 targets, all to the return, fills most of the 64 KB of code.
  Asm t;
  t.op(OP_iconst_0);
  uint32_t op = t.pc();
  t.op(OP_tableswitch).pad();
  const uint32_t cases = 16000;
  uint32_t end = t.pc() + 12 + 4 * cases;
  t.u4(end - op).u4(0).u4(cases - 1);
  for (uint32_t i = 0; i < cases; i++) t.u4(end - op);
  t.op(OP_return);
  EXPECT_EQ("ok", judge->Verdict(t.code));
  // A lookupswitch of 8000 pairs, sorted, then with its last key out of order.
  for (bool sorted : {true, false}) {
    Asm l;
    l.op(OP_iconst_0);
    uint32_t at = l.pc();
    l.op(OP_lookupswitch).pad();
    const uint32_t pairs = 8000;
    uint32_t stop = l.pc() + 8 + 8 * pairs;
    l.u4(stop - at).u4(pairs);
    for (uint32_t i = 0; i < pairs; i++) l.u4(sorted || i + 1 < pairs ? i * 3 : 1).u4(stop - at);
    l.op(OP_return);
    EXPECT_EQ(sorted ? "ok" : "kinds", judge->Verdict(l.code));
  }
  // A switch table that claims more cases than the code holds.
  Asm bad;
  bad.op(OP_iconst_0).op(OP_tableswitch).pad().u4(8).u4(0).u4(0x7FFFFFFF).op(OP_return);
  EXPECT_NE("ok", judge->Verdict(bad.code));
}

TEST_F(HostileTest, TypesConfusedAcrossManyMerges) {
  // 120 paths store objects of different classes into one local; at the join it is an
  // Object, which may be printed but not taken for any one of them.
  const char* kinds[] = {"java/lang/String", "java/lang/StringBuffer", "java/lang/Object", "[I",
                         "[Ljava/lang/String;", "java/lang/Integer", "java/lang/Thread"};
  for (int use = 0; use < 3; use++) {
    classfile_test::ClassBuilder b;
    uint16_t strings = b.Class("java/lang/String");
    uint16_t length = b.Ref(10, "java/lang/String", "length", "()I");
    uint16_t hash = b.Ref(10, "java/lang/Object", "hashCode", "()I");
    std::vector<uint16_t> classes;
    for (const char* k : kinds) classes.push_back(b.Class(k));
    const uint32_t paths = 120;
    Asm a;
    a.op(OP_aconst_null).op(OP_astore_1).op(OP_iload_0);
    uint32_t op = a.pc();
    a.op(OP_tableswitch).pad();
    uint32_t table = a.pc();
    uint32_t caseBytes = 1 /* aconst_null */ + 3 /* checkcast */ + 1 /* astore_1 */ + 3 /* goto */;
    uint32_t first = table + 12 + 4 * paths;
    uint32_t join = first + caseBytes * paths;
    a.u4(join - op).u4(0).u4(paths - 1);
    for (uint32_t i = 0; i < paths; i++) a.u4(first + caseBytes * i - op);
    for (uint32_t i = 0; i < paths; i++) {
      // A null cast to the path's class: the local holds that class on that path.
      a.op(OP_aconst_null).op(OP_checkcast).u2(classes[i % classes.size()]).op(OP_astore_1);
      a.br(OP_goto, join);
    }
    ASSERT_EQ(join, a.pc());
    a.op(OP_aload_1);
    if (use == 0) a.op(OP_invokevirtual).u2(length);
    if (use == 1) a.op(OP_invokevirtual).u2(hash);
    if (use == 2) a.op(OP_checkcast).u2(strings).op(OP_invokevirtual).u2(length);
    a.op(OP_pop).op(OP_return);
    MethodSpec spec;
    spec.descriptor = "(I)V";
    spec.code = a.code;
    EXPECT_EQ(use == 0 ? "types" : "ok", judge->Verdict(spec, &b)) << use;
  }
}

TEST_F(HostileTest, ObjectsWithoutConstructors) {
  classfile_test::ClassBuilder b;
  uint16_t object = b.Class("java/lang/Object");
  uint16_t init = b.Ref(10, "java/lang/Object", "<init>", "()V");
  uint16_t hash = b.Ref(10, "java/lang/Object", "hashCode", "()I");
  // 200 objects made and constructed in the reverse order: all fine.
  {
    Asm a;
    for (int i = 0; i < 200; i++) a.op(OP_new).u2(object);
    for (int i = 0; i < 200; i++) a.op(OP_invokespecial).u2(init);
    a.op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    spec.maxStack = 200;
    classfile_test::ClassBuilder c = b;
    EXPECT_EQ("ok", judge->Verdict(spec, &c));
  }
  // The same, but the last is used before its constructor.
  {
    Asm a;
    for (int i = 0; i < 200; i++) a.op(OP_new).u2(object);
    a.op(OP_dup).op(OP_invokevirtual).u2(hash).op(OP_pop);
    for (int i = 0; i < 200; i++) a.op(OP_invokespecial).u2(init);
    a.op(OP_return);
    MethodSpec spec;
    spec.code = a.code;
    spec.maxStack = 201;
    classfile_test::ClassBuilder c = b;
    EXPECT_EQ("types", judge->Verdict(spec, &c));
  }
  // Made on one path, not on the other: unusable after the join.
  {
    Asm a;
    a.op(OP_new).u2(object).op(OP_astore_1);
    a.op(OP_iload_0);
    uint32_t branch = a.pc();
    a.op(OP_ifeq).u2(0);
    a.op(OP_aload_1).op(OP_invokespecial).u2(init);
    uint32_t join = a.pc();
    a.code[branch + 2] = (uint8_t)(join - branch);
    a.op(OP_aload_1).op(OP_invokevirtual).u2(hash).op(OP_pop).op(OP_return);
    MethodSpec spec;
    spec.descriptor = "(I)V";
    spec.code = a.code;
    classfile_test::ClassBuilder c = b;
    EXPECT_EQ("types", judge->Verdict(spec, &c));
  }
  // A constructor that calls its superclass's constructor on one path only.
  {
    classfile_test::ClassBuilder c = b;
    Asm a;
    a.op(OP_iload_1);
    uint32_t branch = a.pc();
    a.op(OP_ifeq).u2(0);
    a.op(OP_aload_0).op(OP_invokespecial).u2(init);
    uint32_t join = a.pc();
    a.code[branch + 2] = (uint8_t)(join - branch);
    a.op(OP_return);
    MethodSpec spec;
    spec.name = "<init>";
    spec.descriptor = "(I)V";
    spec.access = 0x0001;
    spec.code = a.code;
    EXPECT_EQ("types", judge->Verdict(spec, &c));
  }
}

TEST_F(HostileTest, StacksFullAndEmpty) {
  const uint32_t limit = 16000;
  for (uint32_t extra : {0u, 1u}) {
    Asm a;
    for (uint32_t i = 0; i < limit + extra; i++) a.op(OP_iconst_0);
    for (uint32_t i = 0; i < limit + extra; i++) a.op(OP_pop);
    a.op(OP_return);
    EXPECT_EQ(extra == 0 ? "ok" : "flow", judge->Verdict(a.code, (uint16_t)limit, 0));
  }
  Asm under;
  under.op(OP_iconst_0).op(OP_pop2).op(OP_return);
  EXPECT_EQ("flow", judge->Verdict(under.code));
  Asm swap;
  swap.op(OP_iconst_0).op(OP_swap).op(OP_pop).op(OP_return);
  EXPECT_EQ("flow", judge->Verdict(swap.code));
  Asm dup;
  dup.op(OP_iconst_0).op(OP_dup2_x2).op(OP_return);
  EXPECT_EQ("flow", judge->Verdict(dup.code));
}

TEST_F(HostileTest, ReturnAddressesUsedAsEverything) {
  classfile_test::ClassBuilder b;
  uint16_t toString = b.Ref(10, "java/lang/Integer", "toString", "(I)Ljava/lang/String;");
  uint16_t field = b.Ref(9, "java/lang/Integer", "MAX_VALUE", "I");
  uint16_t objects = b.Class("java/lang/Object");
  struct Use {
    const char* what;
    std::vector<uint8_t> body;  // in the subroutine, with the return address on top
    const char* verdict;
  };
  std::vector<Use> uses = {
      {"as an int argument", {OP_invokestatic, (uint8_t)(toString >> 8), (uint8_t)toString, OP_pop, OP_return}, "ok"},
      {"stored as an int", {OP_istore_1, OP_return}, "ok"},
      {"in an int field", {OP_putstatic, (uint8_t)(field >> 8), (uint8_t)field, OP_return}, "ok"},
      {"thrown", {OP_athrow}, "kinds"},
      {"as an array", {OP_arraylength, OP_pop, OP_return}, "kinds"},
      {"locked", {OP_monitorenter, OP_return}, "kinds"},
      {"cast", {OP_checkcast, (uint8_t)(objects >> 8), (uint8_t)objects, OP_pop, OP_return}, "kinds"},
      {"stored into an array", {OP_aconst_null, OP_swap, OP_iconst_0, OP_swap, OP_aastore, OP_return}, "kinds"},
      {"compared as a reference", {OP_dup, OP_if_acmpeq, 0, 3, OP_return}, "kinds"},
  };
  for (const Use& u : uses) {
    classfile_test::ClassBuilder c = b;
    Asm a;
    a.op(OP_jsr).u2(4).op(OP_return);
    for (uint8_t x : u.body) a.op(x);
    MethodSpec spec;
    spec.code = a.code;
    EXPECT_EQ(u.verdict, judge->Verdict(spec, &c)) << u.what;
  }
}

TEST_F(HostileTest, StatesTooLargeToKeepAreRefusedAsMemory) {
  // 16000 locals and 2000 blocks: flow analysis keeps its bits, the type walk would
  // need more than it may take.
  Asm a;
  a.op(OP_iconst_0).op(OP_istore_0);
  for (int i = 0; i < 2000; i++) {
    a.op(OP_iload_0);
    a.br(OP_ifeq, a.pc() + 3);
  }
  a.op(OP_return);
  std::string verdict = judge->Verdict(a.code, 2, 16000);
  EXPECT_TRUE(verdict == "types 19" || verdict == "flow 19") << verdict;
}

TEST_F(HostileTest, ManyHandlersOverManyStores) {
  // 300 handler entries over a method of 3000 stores, 100 locals.
  Asm a;
  for (int i = 0; i < 3000; i++) a.op(OP_iconst_0).op(OP_istore).u1((uint32_t)(i % 100));
  uint32_t end = a.pc();
  a.op(OP_return);
  uint32_t handler = a.pc();
  a.op(OP_pop).op(OP_return);
  MethodSpec spec;
  spec.code = a.code;
  spec.maxLocals = 100;
  for (int h = 0; h < 300; h++) spec.handlers.insert(spec.handlers.end(), {0, (uint16_t)end, (uint16_t)handler, 0});
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ("ok", judge->Verdict(spec));
  EXPECT_LT(Seconds(start), 60.0);
}

TEST_F(HostileTest, LongNamesAndDeepArrays) {
  classfile_test::ClassBuilder b;
  std::string longName(60000, 'a');
  uint16_t longClass = b.Class(longName);
  uint16_t deep = b.Class(std::string(254, '[') + "Ljava/lang/String;");
  uint16_t other = b.Class(std::string(254, '[') + "Ljava/lang/Integer;");
  Asm a;
  a.op(OP_iconst_1).op(OP_anewarray).u2(longClass).op(OP_astore_1);
  a.op(OP_aconst_null).op(OP_checkcast).u2(deep).op(OP_astore_2);
  a.op(OP_iload_0);
  uint32_t branch = a.pc();
  a.op(OP_ifeq).u2(0);
  a.op(OP_aconst_null).op(OP_checkcast).u2(other).op(OP_astore_2);
  uint32_t join = a.pc();
  a.code[branch + 2] = (uint8_t)(join - branch);
  // The join of the two 254-dimension arrays reads as an array of 253 dimensions.
  a.op(OP_aload_2).op(OP_iconst_0).op(OP_aaload).op(OP_pop);
  a.op(OP_aload_1).op(OP_iconst_0).op(OP_aaload).op(OP_pop).op(OP_return);
  MethodSpec spec;
  spec.descriptor = "(I)V";
  spec.code = a.code;
  EXPECT_EQ("ok", judge->Verdict(spec, &b));
}

/* Random instructions with random operands: any verdict, never a crash. */
TEST_F(HostileTest, RandomCodeNeverCrashes) {
  std::mt19937 rng(20240611);
  classfile_test::ClassBuilder base;
  std::vector<uint16_t> entries = {
      base.Class("java/lang/String"), base.Class("[I"), base.Class("java/lang/Object"),
      base.Ref(10, "java/lang/Object", "<init>", "()V"), base.Ref(10, "java/lang/String", "length", "()I"),
      base.Ref(9, "java/lang/Integer", "MAX_VALUE", "I"), base.Ref(11, "java/lang/Runnable", "run", "()V"),
      base.Integer(5), base.String("s"), base.Long(7)};
  std::map<std::string, int> verdicts;
  for (int round = 0; round < 1500; round++) {
    Asm a;
    uint32_t n = 1 + rng() % 40;
    for (uint32_t i = 0; i < n; i++) {
      uint8_t op = (uint8_t)(rng() % OP_breakpoint);
      if (op == OP_tableswitch || op == OP_lookupswitch || op == OP_wide) op = OP_nop;
      a.op(op);
      for (uint32_t k = 1; k < VMOpcodeLength[op]; k++) {
        uint32_t r = rng();
        // Pool indexes among the entries made; branch offsets small either way.
        if (k == 1 && VMOpcodeLength[op] >= 3 && r % 4 != 0) {
          uint16_t e = entries[r % entries.size()];
          a.op((uint8_t)(e >> 8));
          a.op((uint8_t)e);
          k++;
        } else {
          a.op((uint8_t)(r % 7));
        }
      }
    }
    a.op(OP_return);
    classfile_test::ClassBuilder c = base;
    MethodSpec spec;
    spec.code = a.code;
    spec.descriptor = rng() % 2 ? "()V" : "(ILjava/lang/String;)V";
    spec.maxStack = (uint16_t)(rng() % 10);
    spec.maxLocals = (uint16_t)(3 + rng() % 5);
    verdicts[judge->Verdict(spec, &c)]++;
  }
  for (const auto& [verdict, count] : verdicts) {
    printf("%s: %d\n", verdict.c_str(), count);
    EXPECT_TRUE(verdict == "ok" || verdict == "flow" || verdict == "kinds" || verdict == "types" ||
                verdict.compare(0, 4, "load") == 0)
        << verdict;
  }
}


/* A class whose code calls some hundreds of methods of six shapes, each through a
   reference entry of its own, spread over a pool of well over a thousand entries (so
   that many share a slot of the memo preparation keeps of the references it has read):
   preparing it, with flow analysis and both verifier walks, reads every reference as
   itself. The classes are prepared by eight threads at once, each its own. */
TEST_F(HostileTest, ManyMemberReferencesAreEachReadAsThemselvesWhilePreparing) {
  struct Shape {
    const char* descriptor;
    std::vector<uint8_t> before, after;
  };
  const Shape shapes[] = {
      {"()I", {}, {OP_pop}},
      {"()J", {}, {OP_pop2}},
      {"()Ljava/lang/Object;", {}, {OP_astore_0}},
      {"()V", {}, {}},
      {"(I)V", {OP_iconst_1}, {}},
      {"(JLjava/lang/Object;)D", {OP_lconst_0, OP_aload_0}, {OP_pop2}},
  };
  const int kThreads = 8;
  const int kCalls = 420;
  const int kRounds = 3;
  bool wasVerifying = judge->world.ns->GetRunVerifier();
  judge->world.ns->SetRunVerifier();
  for (int round = 0; round < kRounds; round++) {
    std::vector<VMLoadableClass*> classes;
    for (int t = 0; t < kThreads; t++) {
      classfile_test::ClassBuilder b;
      std::string name = "vt/Memo" + std::to_string(getpid()) + "_" + std::to_string(++judge->counter);
      b.thisClass = b.Class(name);
      b.superClass = b.Class("java/lang/Object");
      Asm a;
      a.op(OP_aconst_null).op(OP_astore_0);
      for (int k = 0; k < kCalls; k++) {
        // The shapes turn with the round and the thread, so that one slot holds
        // different shapes in different classes.
        const Shape& shape = shapes[(k + round + t) % 6];
        uint16_t ref = b.Ref(10, name, "f" + std::to_string(k), shape.descriptor);
        for (uint8_t o : shape.before) a.op(o);
        a.op(OP_invokestatic).u2(ref);
        for (uint8_t o : shape.after) a.op(o);
      }
      a.op(OP_return);
      for (int k = 0; k < kCalls; k++) {
        const Shape& shape = shapes[(k + round + t) % 6];
        b.AddMethod(0x0109, "f" + std::to_string(k), shape.descriptor);  // public static native
      }
      b.AddMethod(0x0009, "m", "()V",
                  {classfile_test::Attribute{b.Utf8("Code"), b.Code(4, 1, a.code)}});
      ASSERT_GT(b.PoolCount(), 1000);
      Bytes bytes = b.Build();
      VMLoadableClass* shell = judge->world.LooseShell(name.c_str());
      ASSERT_NE(nullptr, shell);
      judge->loose.push_back(shell);
      ASSERT_EQ(0, judge->world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size()));
      classes.push_back(shell);
    }
    std::vector<VMStatus> statuses(kThreads, -1);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
      threads.emplace_back([&, t] {
        ready++;
        while (ready.load() < kThreads) std::this_thread::yield();
        statuses[t] = classes[t]->Prepare(nullptr);
      });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < kThreads; t++) EXPECT_EQ(0, statuses[t]) << "round " << round << ", class " << t;
    // The same code with one call's shape wrong is refused: the references really are
    // read while preparing.
    classfile_test::ClassBuilder b;
    std::string name = "vt/MemoBad" + std::to_string(getpid()) + "_" + std::to_string(++judge->counter);
    b.thisClass = b.Class(name);
    b.superClass = b.Class("java/lang/Object");
    Asm a;
    for (int k = 0; k < 300; k++) {
      uint16_t ref = b.Ref(10, name, "g" + std::to_string(k), k == 299 - round ? "()Ljava/lang/Object;" : "()I");
      a.op(OP_invokestatic).u2(ref).op(OP_istore_0);
    }
    a.op(OP_return);
    b.AddMethod(0x0009, "m", "()V", {classfile_test::Attribute{b.Utf8("Code"), b.Code(4, 1, a.code)}});
    Bytes bytes = b.Build();
    VMLoadableClass* shell = judge->world.LooseShell(name.c_str());
    ASSERT_NE(nullptr, shell);
    judge->loose.push_back(shell);
    ASSERT_EQ(0, judge->world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size()));
    EXPECT_EQ(VMStatus_VerifyError, shell->Prepare(nullptr)) << round;
  }
  if (!wasVerifying) judge->world.ns->ClearRunVerifier();
}
}  // namespace
}  // namespace verifier_test
