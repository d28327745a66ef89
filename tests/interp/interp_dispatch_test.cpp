/* The dispatch loops against the opcode table they stand in for, the poll countdown of
   branches and calls, and field instructions rewritten into their quick forms while
   other threads run them. */
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "interp_support.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"
#include "vmobject.h"

namespace interp_test {
namespace {

/* What the last QuickWalk.probe met walking its caller's frames. */
std::vector<VMword> quickWalked;
VMStatus quickWalkStatus = 0;

}  // namespace
}  // namespace interp_test

extern "C" JNIEXPORT jint JNICALL Java_interp_QuickWalk_probe(JNIEnv* env, jclass) {
  interp_test::quickWalked.clear();
  interp_test::quickWalkStatus = env->thread->GetFrame()->WalkReferences(
      [](VMword* slot, void*) {
        interp_test::quickWalked.push_back(*slot);
        return true;
      },
      nullptr);
  return 0;
}

namespace interp_test {
namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Create(ClassDir("interp"))) << "the test world could not be made"; }
  void TearDown() override {
    VMOpcodeTableOnly = false;
    world.Destroy();
  }

  /* Runs Inline.checkA to checkD and the eight padded copies of their bodies (the slow
     loop) rounds times, with the table for every instruction or not; each answers 0 when
     every check holds, else the number of the first that failed. */
  void RunChecks(bool tableOnly, int rounds) {
    VMOpcodeTableOnly = tableOnly;
    for (int r = 0; r < rounds; r++) {
      for (int v = -4; v < 8; v++) {
        std::string name = v < 0 ? std::string("check") + (char)('A' + v + 4) : "check" + std::to_string(v);
        VMMethod* m = world.Method(v < 0 ? "interp/Inline" : "interp/InlineLong", name.c_str(), "(I)I");
        ASSERT_NE(nullptr, m) << name;
        EXPECT_EQ(v < 0, m->GetIsContiguousCode()) << name;
        Outcome o = world.Call(m, {7});
        EXPECT_EQ("", o.thrown) << name << " " << o.message;
        EXPECT_EQ(0, o.Int()) << name << (tableOnly ? " through the table" : " in the loops") << ", round " << r;
      }
    }
    VMOpcodeTableOnly = false;
  }

  /* The opcodes of a method's code, instruction by instruction (no switches). */
  std::vector<uint8_t> Opcodes(VMMethod* m) {
    std::vector<uint8_t> ops;
    VMbyteArray* code = m->GetCode();
    for (uint32_t at = 0; at < code->GetSize();) {
      uint8_t op = Byte(code, at);
      EXPECT_TRUE(op != OP_tableswitch && op != OP_lookupswitch) << "a switch at " << at;
      ops.push_back(op);
      if (op == OP_wide)
        at += Byte(code, at + 1) == OP_iinc ? 6 : 4;
      else
        at += op < VMOpcodeCount ? VMOpcodeLength[op] : 1;
    }
    return ops;
  }
  static uint8_t Byte(VMbyteArray* code, uint32_t at) { return *(uint8_t*)code->FindElement(at, 0u); }
  static std::vector<uint8_t> Bytes(VMbyteArray* code) {
    std::vector<uint8_t> bytes(code->GetSize());
    for (uint32_t i = 0; i < bytes.size(); i++) bytes[i] = Byte(code, i);
    return bytes;
  }
  static void Restore(VMbyteArray* code, const std::vector<uint8_t>& bytes) {
    for (uint32_t i = 0; i < bytes.size(); i++) *(uint8_t*)code->FindElement(i, 0u) = bytes[i];
  }

  /* A static int of an initialised class, as this machine holds it. */
  /* The word of a static int field (the collector does not move it). */
  VMword* StaticWord(const char* cls, const char* name) {
    VMLoadableClass* c = world.Class(cls);
    VMDataMember* f = c->FindField(VMLiteral::CreateInstance(world.ns, name, 0xFFFFFFFFu),
                                   VMLiteral::CreateInstance(world.ns, "I", 0xFFFFFFFFu), false, world.env);
    VMObject* data = c->GetStaticData(world.env->thread);
    if (f == nullptr || data == nullptr) return nullptr;
    return data->GetElementAddress((uint32_t)f->GetIndex());
  }

  /* Runs Polls.spin on a thread of its own; once it counts, act(thread) stops it somehow.
     Answers spin's result and the count read right after act. */
  template <typename Act>
  std::pair<int32_t, int32_t> SpinAndEnd(Act act) {
    VMMethod* spin = world.Method("interp/Polls", "spin", "()I");
    EXPECT_NE(nullptr, spin);
    if (spin == nullptr) return {0, 0};
    EXPECT_EQ(0, spin->GetDefinedIn()->Initialize(world.env));
    VMword* count = StaticWord("interp/Polls", "count");
    EXPECT_NE(nullptr, count);
    if (count == nullptr) return {0, 0};
    auto counted = [&] { return (int32_t)__atomic_load_n(count, __ATOMIC_ACQUIRE); };
    std::atomic<VMThread*> spinner{nullptr};
    VMword result[2] = {0, 0};
    std::string thrown;
    std::thread t([&] {
      JNIEnv* env = VMJniCreateEnv(world.jvm);
      ASSERT_EQ(0, VMJniAttachEnv(world.jvm, env));
      spinner = env->thread;
      VMFrame::ExecuteJava(env, spin, result);
      if (env->thread->GetException() != nullptr) thrown = "something";
      env->thread->SetException(nullptr);
      VMJniDetachEnv(world.jvm);
    });
    WhileOutside([&] {
      while (spinner.load() == nullptr || counted() < 1000) std::this_thread::yield();
    });
    act(spinner.load());
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    int32_t seen = counted();
    JoinOutside(t);
    EXPECT_EQ("", thrown) << "spin catches what ends it";
    return {(int32_t)result[0], seen};
  }

  World world;
};

TEST_F(DispatchTest, TheLoopsAgreeWithTheTableOnEveryInstructionTheyCarryOut) {
  // Slow forms and their rewriting in the loops, then the quick forms through the table.
  RunChecks(false, 2);
  RunChecks(true, 2);
  // The field instructions of the contiguous methods now carry their slots, in the form
  // of their fields' kinds.
  int counts[256] = {};
  for (const char* name : {"checkA", "checkB", "checkC", "checkD"}) {
    for (uint8_t op : Opcodes(world.Method("interp/Inline", name, "(I)I"))) counts[op]++;
  }
  // All but those that only ever meet a null object: nd.fi, nd.fl = 1 and nd.fo = p.
  EXPECT_EQ(1, counts[OP_getfield]);
  EXPECT_EQ(2, counts[OP_putfield]);
  for (uint8_t quick : {OP_getfield_quick, OP_putfield_quick, OP_getfield2_quick, OP_putfield2_quick,
                        OP_agetfield_quick, OP_aputfield_quick})
    EXPECT_GT(counts[quick], 0) << "quick opcode " << (int)quick;
}

TEST_F(DispatchTest, TheTableFirstThenTheLoops) {
  // Slow forms and their rewriting through the table, then the quick forms in the loops.
  RunChecks(true, 2);
  RunChecks(false, 2);
}

/* The long, float and double instructions, two-word locals and constants, divisions,
   switches and two-word and reference elements, on both loops and through the table,
   and in either order (the table first leaves the quick forms to the loops). */
TEST_F(DispatchTest, TheLoopsAgreeWithTheTableOnNumbersSwitchesAndPieces) {
  struct Check {
    const char* cls;
    const char* name;
    bool contiguous;
  };
  std::vector<Check> checks;
  static const char* const kNames[] = {"checkE", "checkF", "checkG", "checkH", "checkI", "checkJ", "checkK", "checkL", "checkM", "checkO", "checkP", "checkQ"};
  static const char* const kPadded[] = {"checkE0", "checkE1", "checkF0", "checkF1", "checkG0", "checkG1", "checkH0",
                                        "checkH1", "checkI0", "checkI1", "checkJ0", "checkJ1", "checkK0", "checkK1"};
  for (const char* name : kNames) checks.push_back({"interp/InlineNum", name, true});
  for (const char* name : kPadded) checks.push_back({"interp/InlineNumLong", name, false});
  for (bool tableOnly : {true, false, true}) {
    VMOpcodeTableOnly = tableOnly;
    for (const Check& c : checks) {
      VMMethod* m = world.Method(c.cls, c.name, "(I)I");
      ASSERT_NE(nullptr, m) << c.name;
      EXPECT_EQ(c.contiguous, m->GetIsContiguousCode()) << c.name;
      Outcome o = world.Call(m, {7});
      EXPECT_EQ("", o.thrown) << c.name << " " << o.message;
      EXPECT_EQ(0, o.Int()) << c.name << (tableOnly ? " through the table" : " in the loops");
    }
  }
  VMOpcodeTableOnly = false;
  // Every instruction of the fast loop's new set is met in the contiguous checks.
  int counts[256] = {};
  for (const char* name : kNames) {
    VMbyteArray* code = world.Method("interp/InlineNum", name, "(I)I")->GetCode();
    for (uint32_t at = 0; at < code->GetSize();) {
      uint8_t op = Byte(code, at);
      counts[op]++;
      if (op == OP_tableswitch || op == OP_lookupswitch) break;
      at += op == OP_wide ? (Byte(code, at + 1) == OP_iinc ? 6 : 4) : op < VMOpcodeCount ? VMOpcodeLength[op] : 1;
    }
  }
  for (uint8_t op : {OP_ldc, OP_ldc2_w, OP_laload, OP_daload, OP_lastore, OP_dastore, OP_aastore, OP_dup_x2,
                     OP_dup2_x1, OP_dup2_x2, OP_idiv, OP_irem, OP_ldiv, OP_lrem, OP_ladd, OP_lsub, OP_lmul, OP_land,
                     OP_lor, OP_lxor, OP_lshl, OP_lshr, OP_lushr, OP_lneg, OP_fneg, OP_dneg, OP_fadd, OP_fmul,
                     OP_fdiv, OP_dadd, OP_dsub, OP_dmul, OP_ddiv, OP_i2l, OP_i2f, OP_i2d, OP_l2i, OP_l2f, OP_l2d,
                     OP_f2i, OP_f2l, OP_f2d, OP_d2i, OP_d2l, OP_d2f, OP_lcmp, OP_fcmpl, OP_fcmpg, OP_dcmpl,
                     OP_dcmpg, OP_jsr, OP_ret, OP_checkcast, OP_instanceof, OP_monitorenter, OP_monitorexit,
                     OP_invokeinterface, OP_invokespecial, OP_invokevirtual})
    EXPECT_GT(counts[op], 0) << "opcode " << (int)op << " is not exercised";
}

/* Static calls of other classes from the fast loop, and the one-liners it computes in
   place, first in the loop (meeting their classes before
   initialisation), then through the table, then in the loop again. */
TEST_F(DispatchTest, OtherClassesStaticCallsAndTheOneLinersAgreeWithTheTable) {
  VMMethod* m = world.Method("interp/InlineNum", "checkN", "(I)I");
  ASSERT_NE(nullptr, m);
  ASSERT_TRUE(m->GetIsContiguousCode());
  for (bool tableOnly : {false, true, false}) {
    VMOpcodeTableOnly = tableOnly;
    Outcome o = world.Call(m, {7});
    EXPECT_EQ("", o.thrown) << o.message;
    EXPECT_EQ(0, o.Int()) << (tableOnly ? "through the table" : "in the loops");
  }
  VMOpcodeTableOnly = false;
  // The class library's one-liners are known by their code: were it compiled otherwise,
  // they would silently be called again.
  struct Known {
    const char* cls;
    const char* name;
    const char* descriptor;
    VMMethod::Shape shape;
  };
  for (const Known& k : {Known{"java/lang/Math", "abs", "(I)I", VMMethod::ShapeAbsInt},
                         Known{"java/lang/Math", "abs", "(J)J", VMMethod::ShapeAbsLong},
                         Known{"java/lang/Math", "abs", "(F)F", VMMethod::ShapeAbsFloat},
                         Known{"java/lang/Math", "abs", "(D)D", VMMethod::ShapeAbsDouble},
                         Known{"java/lang/Math", "max", "(II)I", VMMethod::ShapeMaxInt},
                         Known{"java/lang/Math", "min", "(II)I", VMMethod::ShapeMinInt},
                         Known{"java/lang/Math", "max", "(JJ)J", VMMethod::ShapeNone},
                         Known{"java/lang/Math", "max", "(DD)D", VMMethod::ShapeNone},
                         Known{"interp/Shapes", "abs", "(I)I", VMMethod::ShapeAbsInt},
                         Known{"interp/InlineNum", "twice", "(I)I", VMMethod::ShapeNone}}) {
    VMMethod* method = world.Method(k.cls, k.name, k.descriptor);
    ASSERT_NE(nullptr, method) << k.cls << "." << k.name << k.descriptor;
    EXPECT_EQ(k.shape, method->GetShape()) << k.cls << "." << k.name << k.descriptor;
  }
}

TEST_F(DispatchTest, AHostStopEndsALoopWithinThePollInterval) {
  std::pair<int32_t, int32_t> r = SpinAndEnd([](VMThread* t) { t->Stop(); });
  ASSERT_GT(r.first, 0) << "ended by ThreadDeath";
  // The host is asked only every PollInterval-th branch, never later.
  EXPECT_GE(r.first, r.second);
  EXPECT_LE(r.first - r.second, 256 + 16);
}

TEST_F(DispatchTest, ARequestFromAnotherThreadIsServedAtTheNextBranch) {
  VMLoadableClass* cls = world.Class("java/lang/IllegalStateException");
  ASSERT_NE(nullptr, cls);
  ASSERT_EQ(0, cls->Prepare(nullptr));
  VMJavaLangThrowable* e = VMJavaLangThrowable::CreateInstance(world.env, cls);
  ASSERT_NE(nullptr, e);
  e->SetIsReachableByCPlusPlusCode();
  std::pair<int32_t, int32_t> r = SpinAndEnd([&](VMThread* t) { t->PostException(e); });
  e->ClearIsReachableByCPlusPlusCode();
  ASSERT_LT(r.first, 0) << "ended by the posted exception";
  // A pending request polls at once: no countdown to wait out.
  EXPECT_GE(-r.first, r.second);
  EXPECT_LE(-r.first - r.second, 8);
}

TEST_F(DispatchTest, TheCollectorsWalkReadsTheQuickFormsKindsRight) {
  VMLoadableClass* cls = world.Class("interp/QuickWalk");
  ASSERT_NE(nullptr, cls);
  ASSERT_EQ(0, cls->Prepare(nullptr));
  ASSERT_EQ(0, cls->Initialize(world.env));
  VMObject* q = VMObject::CreateInstance(world.vm->GetHeap(), cls, jallocFailFast);
  ASSERT_NE(nullptr, q);
  q->SetIsReachableByCPlusPlusCode();
  auto field = [&](const char* name, const char* sig) {
    VMDataMember* f = cls->FindField(VMLiteral::CreateInstance(world.ns, name, 0xFFFFFFFFu),
                                     VMLiteral::CreateInstance(world.ns, sig, 0xFFFFFFFFu), false, world.env);
    EXPECT_NE(nullptr, f) << name;
    return f != nullptr ? (uint32_t)f->GetIndex() : 0u;
  };
  // Scalars that would be taken for objects if the walk saw them as references.
  VMword self = (VMword)q;
  q->SetWord(field("o", "Ljava/lang/Object;"), self);
  q->SetWord(field("i", "I"), self + 8);
  q->SetWord(field("l", "J"), self + 16);
  q->SetWord(field("l", "J") + 1, self + 24);
  q->SetWord(field("d", "D"), self + 32);
  q->SetWord(field("d", "D") + 1, 0);
  VMMethod* run = world.Method("interp/QuickWalk", "run", "(Linterp/QuickWalk;)I");
  ASSERT_NE(nullptr, run);
  for (int round = 0; round < 2; round++) {
    Outcome o = world.Call(run, {self});
    ASSERT_EQ("", o.thrown) << o.message;
    ASSERT_EQ(0, quickWalkStatus);
    int fromO = 0;
    for (VMword w : quickWalked) {
      if (w == self) fromO++;
      EXPECT_TRUE(w != self + 8 && w != self + 16 && w != self + 24 && w != self + 32)
          << "a scalar walked as a reference, round " << round;
    }
    // The argument and the local it was read into.
    EXPECT_EQ(2, fromO) << "round " << round;
  }
  int quick = 0;
  for (uint8_t op : Opcodes(run)) quick += op >= OP_getfield_quick && op <= OP_aputfield_quick;
  EXPECT_EQ(4, quick) << "the second walk met the quick forms";
  q->ClearIsReachableByCPlusPlusCode();
}

TEST_F(DispatchTest, FieldInstructionsRewrittenWhileOtherThreadsRunThem) {
  VMMethod* run = world.Method("interp/Rewrite", "run", "(I)I");
  ASSERT_NE(nullptr, run);
  VMbyteArray* code = run->GetCode();
  std::vector<uint8_t> fresh = Bytes(code);
  // One thread alone: the result, and the code every field instruction rewritten.
  int32_t want = world.Call(run, {5}).Int();
  std::vector<uint8_t> quick = Bytes(code);
  int rewritten = 0;
  for (size_t i = 0; i < quick.size(); i++) rewritten += quick[i] != fresh[i];
  ASSERT_GT(rewritten, 100) << "the field instructions were rewritten";
  const int kThreads = 4, kRounds = 150;
  std::vector<JNIEnv*> envs(kThreads);
  for (int round = 0; round < kRounds; round++) {
    Restore(code, fresh);
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; i++) {
      threads.emplace_back([&, i] {
        JNIEnv* env = VMJniCreateEnv(world.jvm);
        if (VMJniAttachEnv(world.jvm, env) != 0) {
          wrong++;
          return;
        }
        ready++;
        WhileOutside([&] {
          while (ready.load() < kThreads) {
          }
        });
        for (int call = 0; call < 3; call++) {
          VMword args[2] = {5, 0};
          VMFrame::ExecuteJava(env, run, args);
          if (env->thread->GetException() != nullptr || (int32_t)args[0] != want) wrong++;
          env->thread->SetException(nullptr);
        }
        VMJniDetachEnv(world.jvm);
      });
    }
    JoinOutside(threads);
    ASSERT_EQ(0, wrong.load()) << "round " << round;
    // Each instruction ended in its quick form, whichever thread rewrote it.
    ASSERT_TRUE(Bytes(code) == quick) << "round " << round;
  }
}

}  // namespace
}  // namespace interp_test
