/* Real ecj-compiled classes (tests/java/interp) run through VMFrame::ExecuteJava, with
   the results and the exceptions read back from C++. */
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <atomic>
#include <vector>
#include <thread>

#include "interp_natives.h"
#include "interp_support.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"
#include "safe_wait.h"

namespace interp_test {
namespace {

VMword Bits(float f) {
  VMword w;
  memcpy(&w, &f, 4);
  return w;
}
uint64_t Bits(double d) {
  uint64_t w;
  memcpy(&w, &d, 8);
  return w;
}
VMword Lo(uint64_t v) { return (VMword)v; }
VMword Hi(uint64_t v) { return (VMword)(v >> 32); }
uint64_t Wide(const Outcome& o) { return (uint64_t)o.words[1] << 32 | o.words[0]; }

class InterpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(world.Create(ClassDir("interp"))) << "the test world could not be made";
    nativesWorld = &world;
  }
  void TearDown() override {
    nativesWorld = nullptr;
    world.Destroy();
  }
  int Int(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args = {}) {
    Outcome o = world.Call(cls, name, sig, args);
    EXPECT_EQ("", o.thrown) << cls << "." << name << " " << o.message;
    return o.Int();
  }
  /* The byte of a method's code at an offset (to see quickening). */
  uint8_t CodeByte(VMMethod* m, uint32_t at) { return *(uint8_t*)m->GetCode()->FindElement(at, 0u); }
  int32_t FindOpcode(VMMethod* m, uint8_t op) {
    VMbyteArray* code = m->GetCode();
    uint32_t at = 0;
    while (at < code->GetSize()) {
      uint8_t b = CodeByte(m, at);
      if (b == op) return (int32_t)at;
      if (b == OP_tableswitch || b == OP_lookupswitch || b == OP_wide) return -1;  // not needed here
      at += VMOpcodeLength[b];
    }
    return -1;
  }

  World world;
};

TEST_F(InterpTest, ArithmeticFollowsTheJavaRules) {
  EXPECT_EQ(0, Int("interp/Arith", "run", "()I"));
  const char* A = "interp/Arith";
  // A double rounding on x87 would give 0x3FF0000000000000.
  Outcome o = world.Call(A, "dadd", "(DD)D", {Lo(Bits(1.0)), Hi(Bits(1.0)), Lo(Bits(0x1.002p-53)), Hi(Bits(0x1.002p-53))});
  EXPECT_EQ(0x3FF0000000000001ull, Wide(o));
  // One rounding from the 64-bit integer (through double gives 0x5D800000).
  o = world.Call(A, "l2f", "(J)F", {Lo(0x1000001000000001ull), Hi(0x1000001000000001ull)});
  EXPECT_EQ(0x5D800001u, o.words[0]);
  o = world.Call(A, "dmul", "(DD)D", {Lo(Bits(1e308)), Hi(Bits(1e308)), Lo(Bits(10.0)), Hi(Bits(10.0))});
  EXPECT_EQ(Bits((double)INFINITY), Wide(o));
  o = world.Call(A, "fneg", "(F)F", {Bits(0.0f)});
  EXPECT_EQ(0x80000000u, o.words[0]);
  o = world.Call(A, "dneg", "(D)D", {0, 0});
  EXPECT_EQ(0x8000000000000000ull, Wide(o));
  o = world.Call(A, "frem", "(FF)F", {Bits(-5.5f), Bits(2.0f)});
  EXPECT_EQ(Bits(-1.5f), o.words[0]);
  o = world.Call(A, "drem", "(DD)D", {Lo(Bits(3.25)), Hi(Bits(3.25)), Lo(Bits(-(double)INFINITY)), Hi(Bits(-(double)INFINITY))});
  EXPECT_EQ(Bits(3.25), Wide(o));
  o = world.Call(A, "drem", "(DD)D", {Lo(Bits((double)INFINITY)), Hi(Bits((double)INFINITY)), Lo(Bits(1.0)), Hi(Bits(1.0))});
  EXPECT_TRUE(std::isnan([&] { double d; uint64_t w = Wide(o); memcpy(&d, &w, 8); return d; }()));
  struct { double in; int32_t i; int64_t l; } d2[] = {
      {NAN, 0, 0}, {INFINITY, 0x7FFFFFFF, 0x7FFFFFFFFFFFFFFFll}, {-INFINITY, INT32_MIN, INT64_MIN},
      {0.5, 0, 0}, {-0.5, 0, 0}, {2147483648.0, 0x7FFFFFFF, 2147483648ll}, {-2147483648.0, INT32_MIN, -2147483648ll},
      {9223372036854775808.0, 0x7FFFFFFF, 0x7FFFFFFFFFFFFFFFll}, {-9223372036854775808.0, INT32_MIN, INT64_MIN},
      {3e9, 0x7FFFFFFF, 3000000000ll}, {1e19, 0x7FFFFFFF, 0x7FFFFFFFFFFFFFFFll}, {-3.99, -3, -3}};
  for (const auto& c : d2) {
    uint64_t b = Bits(c.in);
    EXPECT_EQ(c.i, world.Call(A, "d2i", "(D)I", {Lo(b), Hi(b)}).Int()) << c.in;
    EXPECT_EQ(c.l, world.Call(A, "d2l", "(D)J", {Lo(b), Hi(b)}).Long()) << c.in;
    float f = (float)c.in;
    if (!std::isnan(c.in) && fabs(c.in) < 1e30 && (double)f != c.in && c.in != 3e9 && c.in != 1e19) continue;
    EXPECT_EQ(c.i, world.Call(A, "f2i", "(F)I", {Bits(f)}).Int()) << c.in;
    EXPECT_EQ(c.l, world.Call(A, "f2l", "(F)J", {Bits(f)}).Long()) << c.in;
  }
  EXPECT_EQ(INT32_MIN, world.Call(A, "idivide", "(II)I", {0x80000000u, 0xFFFFFFFFu}).Int());
  EXPECT_EQ(0, world.Call(A, "iremainder", "(II)I", {0x80000000u, 0xFFFFFFFFu}).Int());
  EXPECT_EQ(INT64_MIN, world.Call(A, "ldivide", "(JJ)J", {0, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFFu}).Long());
  EXPECT_EQ(0, world.Call(A, "lremainder", "(JJ)J", {0, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFFu}).Long());
  EXPECT_EQ("java.lang.ArithmeticException", world.Call(A, "idivide", "(II)I", {1, 0}).thrown);
  EXPECT_EQ("java.lang.ArithmeticException", world.Call(A, "lremainder", "(JJ)J", {1, 0, 0, 0}).thrown);
  EXPECT_EQ(-1, world.Call(A, "lcmp", "(JJ)I", {0xFFFFFFFFu, 0, 0, 1}).Int());
  EXPECT_EQ(1, world.Call(A, "fcmpg", "(FF)I", {Bits(NAN), Bits(1.0f)}).Int());
  EXPECT_EQ(-1, world.Call(A, "fcmpl", "(FF)I", {Bits(NAN), Bits(1.0f)}).Int());
  EXPECT_EQ(2, world.Call(A, "shl", "(II)I", {1, 33}).Int());
  EXPECT_EQ(1, world.Call(A, "lshl", "(JI)J", {1, 0, 64}).Long());
  EXPECT_EQ(1, world.Call(A, "lushr", "(JI)J", {0xFFFFFFFFu, 0xFFFFFFFFu, 63}).Long());
  EXPECT_EQ(-1, world.Call(A, "i2b", "(I)I", {0xFF}).Int());
  EXPECT_EQ(65535, world.Call(A, "i2c", "(I)I", {0xFFFFFFFFu}).Int());
  EXPECT_EQ(-32768, world.Call(A, "i2s", "(I)I", {0x18000}).Int());
}

TEST_F(InterpTest, LoopsSwitchesAndFinally) {
  const char* F = "interp/Flow";
  for (int n : {0, 1, 10, 37}) {
    int sum = 0;
    for (int i = 0; i < n; i++) sum += i;
    for (int j = n; j > 0; j -= 3) sum += j;
    for (int k = 0; k < 5; k++) sum ^= k;
    EXPECT_EQ(sum, Int(F, "loops", "(I)I", {(VMword)n}));
  }
  for (int k = -4; k <= 5; k++) EXPECT_EQ(k >= -2 && k <= 3 ? 102 + k : -1, Int(F, "table", "(I)I", {(VMword)k})) << k;
  EXPECT_EQ(1, Int(F, "extremes", "(I)I", {0x80000000u}));
  EXPECT_EQ(2, Int(F, "extremes", "(I)I", {0x7FFFFFFFu}));
  EXPECT_EQ(3, Int(F, "extremes", "(I)I", {0}));
  EXPECT_EQ(4, Int(F, "extremes", "(I)I", {0x7FFFFFFEu}));
  int keys[] = {-1000000, -7, 10, 1000, 65536, 1 << 30, 11, 0, -8};
  int want[] = {1, 2, 3, 4, 5, 6, 0, 0, 0};
  for (int i = 0; i < 9; i++) EXPECT_EQ(want[i], Int(F, "lookup", "(I)I", {(VMword)keys[i]})) << keys[i];
  int count = 0;
  for (int i = 0; i < 6; i++) {
    bool out = false;
    for (int j = 0; j < 6; j++) {
      if (j == i) break;
      if (i * j > 20) { out = true; break; }
      count += i * 10 + j;
    }
    if (out) break;
  }
  EXPECT_EQ(count, Int(F, "labelled", "(I)I", {6}));
  EXPECT_EQ(1234, Int(F, "finallyPaths", "(I)I", {0}));
  EXPECT_EQ(1, Int(F, "finallyPaths", "(I)I", {1}));
  EXPECT_EQ(135, Int(F, "finallyPaths", "(I)I", {2}));
  EXPECT_EQ(1234, Int(F, "nestedFinally", "(I)I", {0}));
  EXPECT_EQ(12394, Int(F, "nestedFinally", "(I)I", {1}));
  EXPECT_EQ(-1, Int(F, "nestedFinally", "(I)I", {2}));
  EXPECT_EQ(10001234, Int(F, "nestedFinally", "(I)I", {3}));
  EXPECT_EQ(2, Int(F, "finallyOverrides", "(I)I", {0}));
  EXPECT_EQ(2, Int(F, "finallyOverrides", "(I)I", {1}));
  EXPECT_EQ(1, Int(F, "finallyOverrides", "(I)I", {0xFFFFFFFFu}));
  EXPECT_EQ(-99, Int(F, "firstInstruction", "(II)I", {6, 0}));
  EXPECT_EQ(3, Int(F, "firstInstruction", "(II)I", {6, 2}));
  EXPECT_EQ(5000, Int(F, "callerCatches", "(I)I", {5}));
  EXPECT_EQ(1, Int(F, "catchOrder", "(I)I", {0}));
  EXPECT_EQ(2, Int(F, "catchOrder", "(I)I", {1}));
  EXPECT_EQ(3, Int(F, "catchOrder", "(I)I", {2}));
  Outcome o = world.Call(F, "escapes", "(I)I", {1});
  EXPECT_EQ("java.lang.IllegalArgumentException", o.thrown);
  EXPECT_EQ("escaped", o.message);
  EXPECT_EQ(0, o.Int());  // zeroed result
  EXPECT_EQ(832040, Int(F, "fib", "(I)I", {30}));
}

TEST_F(InterpTest, DeepRecursionChainsGroupsAndOverflowLeavesTheMachineUsable) {
  const char* F = "interp/Flow";
  uint32_t before = refhost::BlocksInUse(world.vm->GetHeap());
  EXPECT_EQ(20000, Int(F, "recurse", "(I)I", {20000}));
  uint32_t grown = refhost::BlocksInUse(world.vm->GetHeap());
  EXPECT_GT(grown, before + 10) << "a deep chain takes more frame groups";
  // The groups stay and are reused: the same depth again takes no new block.
  EXPECT_EQ(20000, Int(F, "recurse", "(I)I", {20000}));
  EXPECT_EQ(grown, refhost::BlocksInUse(world.vm->GetHeap()));
  EXPECT_EQ(1, Int(F, "overflow", "()I"));
  // And escaping to the caller:
  Outcome o = world.Call(F, "recurse", "(I)I", {10000000});
  EXPECT_EQ("java.lang.StackOverflowError", o.thrown);
  EXPECT_EQ(100, Int(F, "recurse", "(I)I", {100}));
  EXPECT_EQ(832040, Int(F, "fib", "(I)I", {30}));
}

TEST_F(InterpTest, FramesLargerThanAnInlineBodyLiveInOneBlock) {
  // 300 locals (wide loads, stores and iinc): the frame spans more than the 196 words a
  // piecewise object keeps inline; a group is one contiguous block (ASan watches it).
  auto expect = [](int s) {
    int sum = 0;
    for (int i = 0; i < 300; i += 7) sum += s + i;
    return sum + (s + 298) + (s + 298 - 1000) + (s + 290) + (s + 291);
  };
  EXPECT_EQ(expect(5), Int("interp/Wide", "manyLocals", "(I)I", {5}));
  EXPECT_EQ(expect(1), Int("interp/Wide", "deepMany", "(I)I", {40}));
}

TEST_F(InterpTest, TheCollectorsWalkMeetsEveryReferenceAndNoScalar) {
  VMObject* a = (VMObject*)world.String("argument");
  Outcome o = world.Call("interp/Walk", "outer", "(ILjava/lang/Object;)Ljava/lang/Object;", {7, (VMword)a});
  ASSERT_EQ("", o.thrown) << o.message;
  EXPECT_EQ(a, o.Object());
  ASSERT_EQ(0, walkStatus);
  auto met = [](VMword v) {
    for (VMword w : walked) if (w == v) return true;
    return false;
  };
  EXPECT_TRUE(met((VMword)a)) << "the argument, in both frames";
  VMLoadableClass* walk = world.Class("interp/Walk");
  VMDataMember* keptField = walk->FindField(VMLiteral::CreateInstance(world.ns, "kept", 0xFFFFFFFFu),
                                            VMLiteral::CreateInstance(world.ns, "Ljava/lang/Object;", 0xFFFFFFFFu),
                                            false, world.env);
  ASSERT_NE(nullptr, keptField);
  VMword mine = walk->GetStaticData(world.env->thread)->GetWord((uint32_t)keptField->GetIndex());
  EXPECT_TRUE(met(mine)) << "the caller's own local";
  // The marker sits where probe's reference result will go: a caller's top result words
  // are skipped. 7 and 21 are int locals.
  EXPECT_FALSE(met(12345));
  EXPECT_FALSE(met(7));
  EXPECT_FALSE(met(21));
  for (VMword w : walked) EXPECT_NE(0u, w);
}

TEST_F(InterpTest, ObjectsFieldsStaticsAndQuickening) {
  EXPECT_EQ(0, Int("interp/Objects", "run", "()I"));
  VMMethod* bump = world.Method("interp/Objects", "bump", "()I");
  ASSERT_NE(nullptr, bump);
  int32_t getAt = FindOpcode(bump, OP_getstatic);
  ASSERT_GE(getAt, 0);
  EXPECT_EQ(6, world.Call(bump, {}).Int());
  EXPECT_EQ(7, world.Call(bump, {}).Int());
  // The first run rewrote every static access into its quick form.
  EXPECT_EQ(-1, FindOpcode(bump, OP_getstatic));
  EXPECT_EQ(-1, FindOpcode(bump, OP_putstatic));
  EXPECT_EQ(OP_getstatic_quick, CodeByte(bump, (uint32_t)getAt));
  EXPECT_GE(FindOpcode(bump, OP_getstatic2_quick), 0);
  EXPECT_GE(FindOpcode(bump, OP_putstatic2_quick), 0);
  // The statics as C++ sees them in this machine's static data.
  VMLoadableClass* cls = world.Class("interp/Objects");
  VMObject* data = cls->GetStaticData(world.env->thread);
  ASSERT_NE(nullptr, data);
  VMDataMember* sl = cls->FindField(VMLiteral::CreateInstance(world.ns, "sl", 0xFFFFFFFFu),
                                    VMLiteral::CreateInstance(world.ns, "J", 0xFFFFFFFFu), false, world.env);
  ASSERT_NE(nullptr, sl);
  EXPECT_EQ(3u, data->GetWord((uint32_t)sl->GetIndex()));
  EXPECT_EQ(0u, data->GetWord((uint32_t)sl->GetIndex() + 1));
  EXPECT_EQ(0, Int("interp/Throws", "nestedSync", "(Ljava/lang/Object;Ljava/lang/Object;)I",
                   {(VMword)data, (VMword)data}) - 3);
  EXPECT_EQ(1, world.env->thread->GetMutexLockCount()) << "monitors count up and back down";
}

TEST_F(InterpTest, PaddedMethodsRunTheSlowLoopToTheSameResult) {
  const char* L = "interp/Long776";
  VMMethod* shortOne = world.Method(L, "calcShort", "(I)I");
  ASSERT_NE(nullptr, shortOne);
  EXPECT_TRUE(shortOne->GetIsContiguousCode());
  int want = world.Call(shortOne, {60}).Int();
  for (int v = 0; v < 8; v++) {
    char name[16];
    snprintf(name, sizeof name, "calc%d", v);
    VMMethod* m = world.Method(L, name, "(I)I");
    ASSERT_NE(nullptr, m);
    EXPECT_FALSE(m->GetIsContiguousCode()) << name << " is " << m->GetCode()->GetSize() << " bytes";
    Outcome o = world.Call(m, {60});
    EXPECT_EQ("", o.thrown) << name;
    EXPECT_EQ(want, o.Int()) << name;
  }
}

TEST_F(InterpTest, StaticInitialisersRunInOrderAndFailTwoWays) {
  const char* I = "interp/Init";
  // Super's initialiser, then Sub's (which calls a static method of its own), then the
  // value 40 + 1 read twice.
  EXPECT_EQ(1651, Int(I, "order", "()I"));
  EXPECT_EQ(2101, Int(I, "noInitByTypeTests", "(Ljava/lang/Object;)I", {0}));
  EXPECT_FALSE(world.Class("interp/InitLazy")->GetIsInitialized(world.env)) << "a type test initialised";
  EXPECT_EQ(15, Int(I, "touchLazy", "()I"));
  Outcome o = world.Call(I, "failing", "()I");
  EXPECT_EQ("java.lang.ExceptionInInitializerError", o.thrown);
  EXPECT_EQ("java.lang.IllegalStateException", o.cause);
  o = world.Call(I, "failing", "()I");
  EXPECT_EQ("java.lang.NoClassDefFoundError", o.thrown);
  EXPECT_EQ(11011, Int(I, "failingCaught", "()I"));
  EXPECT_EQ(1, Int(I, "errorThrown", "()I"));
  EXPECT_EQ(11, Int(I, "subOfBroken", "()I"));
  // Nothing stray is left pending afterwards.
  EXPECT_EQ(nullptr, world.env->thread->GetException());
  EXPECT_EQ(451, Int(I, "order", "()I"));  // nothing initialised again
}

TEST_F(InterpTest, EveryMachineExceptionEscapesAndIsCaught) {
  const char* T = "interp/Throws";
  EXPECT_EQ(9, Int(T, "caughtAll", "()I"));
  struct { const char* name; const char* sig; VMword arg; const char* thrown; } cases[] = {
      {"npe", "()I", 0, "java.lang.NullPointerException"},
      {"npeField", "()I", 0, "java.lang.NullPointerException"},
      {"aioobe", "(I)I", 3, "java.lang.ArrayIndexOutOfBoundsException"},
      {"aioobeLoad", "(I)I", 0x80000000u, "java.lang.ArrayIndexOutOfBoundsException"},
      {"ase", "()I", 0, "java.lang.ArrayStoreException"},
      {"nase", "(I)I", 0xFFFFFFFFu, "java.lang.NegativeArraySizeException"},
      {"cce", "()I", 0, "java.lang.ClassCastException"},
      {"arith", "(I)I", 0, "java.lang.ArithmeticException"},
      {"npeThrow", "()I", 0, "java.lang.NullPointerException"},
      {"npeArrayLength", "()I", 0, "java.lang.NullPointerException"},
      {"nullMonitor", "()I", 0, "java.lang.NullPointerException"},
      {"hugeArray", "(I)I", 0x7FFFFFFFu, "java.lang.OutOfMemoryError"},
  };
  for (const auto& c : cases) {
    Outcome o = world.Call(T, c.name, c.sig, {c.arg});
    EXPECT_EQ(c.thrown, o.thrown) << c.name;
    EXPECT_EQ(0, o.Int()) << c.name;
  }
  EXPECT_EQ(1, world.env->thread->GetMutexLockCount());
}

TEST_F(InterpTest, NativesOfEveryTypeBoundBothWays) {
  ASSERT_EQ(0, RegisterTestNatives());
  EXPECT_EQ(0, Int("interp/Natives", "callAll", "()I"));
  const char* N = "interp/Natives";
  // Straight from native code too.
  Outcome o = world.Call(N, "symJ", "(JIJ)J", {0, 1, 3, 0xFFFFFFFFu, 0xFFFFFFFFu});
  EXPECT_EQ((1ll << 32) * 3 - 1, o.Long());
  o = world.Call(N, "regJ", "(J)J", {1, 2});
  EXPECT_EQ(0x1234567800000005ll, o.Long());
  o = world.Call(N, "symD", "(DFD)D", {Lo(Bits(1.5)), Hi(Bits(1.5)), Bits(2.25f), Lo(Bits(0.125)), Hi(Bits(0.125))});
  EXPECT_EQ(Bits(3.875), Wide(o));
  VMJavaLangString* s = world.String("hello");
  o = world.Call(N, "symL", "(Ljava/lang/String;Ljava/lang/Object;)Ljava/lang/String;", {(VMword)s, 0});
  EXPECT_EQ((VMObject*)s, o.Object()) << "the object, not its local reference";
  o = world.Call(N, "unbound", "(I)I", {1});
  EXPECT_EQ("java.lang.UnsatisfiedLinkError", o.thrown);
  EXPECT_EQ("interp.Natives.unbound", o.message);
  o = world.Call(N, "throwsThrough", "(I)I", {1});
  EXPECT_EQ("java.lang.IllegalArgumentException", o.thrown);
  EXPECT_EQ(1u, world.env->thread->GetJNIHandleArray()->GetCount()) << "local references released";
}

TEST_F(InterpTest, ThrowsWithNothingToThrowAndMethodsWithoutAKind) {
  // Status 1 with nothing pending is never a null throw.
  VMThread* thread = world.env->thread;
  ASSERT_TRUE(thread->GetFrame()->GetIsFirstFrame());
  VMFrame::ThrowInternalException(thread->GetFrame(), VMStatus_AlreadyThrown, (const char*)nullptr);
  EXPECT_EQ("java.lang.InternalError", world.TakeException());
  // A compiled method unbound again gets its bytecode back, and runs.
  VMMethod* m = world.Method("interp/Flow", "recurse", "(I)I");
  ASSERT_NE(nullptr, m);
  m->SetCompiled();
  m->GetDefinedIn()->UnRegisterNatives();
  EXPECT_TRUE(m->GetIsByteCode());
  EXPECT_EQ(12, world.Call(m, {12}).Int());
  // With no kind bit at all a call fails; it neither runs nor hangs.
  m->ClearIsByteCode();
  EXPECT_EQ("java.lang.AbstractMethodError", world.Call(m, {12}).thrown);
  m->SetIsByteCode();
  VMMethod* deep = world.Method("interp/Flow", "deep", "(I)I");
  ASSERT_NE(nullptr, deep);
  deep->ClearIsByteCode();
  EXPECT_EQ("java.lang.AbstractMethodError", world.Call("interp/Flow", "callerCatches", "(I)I", {3}).thrown);
  deep->SetIsByteCode();
  EXPECT_EQ(3000, world.Call("interp/Flow", "callerCatches", "(I)I", {3}).Int());
}

TEST_F(InterpTest, BreakpointsSurviveQuickeningAndNeedARecord) {
  VMMethod* bump = world.Method("interp/Objects", "bump", "()I");
  ASSERT_NE(nullptr, bump);
  int32_t at = FindOpcode(bump, OP_getstatic);
  ASSERT_GE(at, 0);
  uint8_t* byte = (uint8_t*)bump->GetCode()->FindElement((uint32_t)at, 0u);
  *byte = OP_breakpoint;
  // Without a record of the replaced opcode the breakpoint is an error, never a loop.
  Outcome o = world.Call(bump, {});
  EXPECT_EQ("java.lang.VerifyError", o.thrown);
  static int32_t plantedAt;
  plantedAt = at;
  VMBasicBlock::SetPreBreakpointOpcodeFinder([](VMMethod*, uint32_t pc) -> uint8_t {
    return pc == (uint32_t)plantedAt ? (uint8_t)OP_getstatic : (uint8_t)OP_breakpoint;
  });
  o = world.Call(bump, {});
  VMBasicBlock::SetPreBreakpointOpcodeFinder(nullptr);
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(6, o.Int());
  EXPECT_EQ(OP_breakpoint, *byte) << "quickening left the breakpoint planted";
}

TEST_F(InterpTest, AHostStopEndsARunningLoop) {
  for (const char* name : {"spinForever", "spinCaught"}) {
    std::atomic<VMThread*> spinner{nullptr};
    std::atomic<bool> done{false};
    Outcome result;
    std::thread t([&] {
      JNIEnv* env = VMJniCreateEnv(world.jvm);
      ASSERT_EQ(0, VMJniAttachEnv(world.jvm, env));
      spinner = env->thread;
      VMMethod* m = world.Method("interp/Flow", name, strcmp(name, "spinForever") == 0 ? "()V" : "()I");
      VMword args[2] = {0, 0};
      VMFrame::ExecuteJava(env, m, args);
      result.words[0] = args[0];
      VMJavaLangThrowable* e = env->thread->GetException();
      env->thread->SetException(nullptr);
      if (e != nullptr) {
        char* name = ((VMClass*)e->GetLoadableClass())->GetDotNameUTF8();
        result.thrown = name != nullptr ? name : "?";
        VMLiteral::FreeUTF8(name);
      }
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
      done = true;
    });
    while (spinner.load() == nullptr) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load()) << name;
    spinner.load()->Stop();
    JoinOutside(t);
    if (strcmp(name, "spinForever") == 0) {
      EXPECT_EQ("java.lang.ThreadDeath", result.thrown);
    } else {
      EXPECT_EQ("", result.thrown);
      EXPECT_EQ(1, (int)result.words[0]);
    }
  }
}

TEST_F(InterpTest, TwoThreadsRaceOneClassInitialisationInEveryMachine) {
  for (int round = 0; round < 6; round++) {
    // A machine of its own each round, on the same name space: each initialises once.
    JavaVM* jvm = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
    memset(jvm, 0, sizeof(JavaVM));
    jvm->nameSpace = world.ns;
    VM* vm = VM::CreateInstance(1024, jvm);
    ASSERT_NE(nullptr, vm);
    jvm->vm = vm;
    std::atomic<int> results[2];
    std::atomic<int> ready{0};
    auto body = [&](int i) {
      JNIEnv* env = VMJniCreateEnv(jvm);
      VMJniAttachEnv(jvm, env);
      VMMethod* m = world.Method("interp/Race", "read", "()I");
      ready++;
      while (ready.load() < 2) std::this_thread::yield();
      VMword args[2] = {0, 0};
      VMFrame::ExecuteJava(env, m, args);
      results[i] = env->thread->GetException() == nullptr ? (int)args[0] : -1;
      VMJniDetachEnv(jvm);
      VMJniClearHostEnv();
    };
    std::thread a(body, 0), b(body, 1);
    a.join();
    b.join();
    EXPECT_EQ(1001, results[0].load()) << "round " << round;
    EXPECT_EQ(1001, results[1].load()) << "round " << round;
    vm->Destroy();
    VMJniCallDestroyKeys(jvm);
    refhost::Functions()->HeapFree(nullptr, jvm);
    // The world's own thread is current again.
    refhost::Functions()->SetCurrentEnv(world.env);
  }
}

}  // namespace
}  // namespace interp_test

namespace interp_test {
namespace {

/* A static field's words in this machine's static data of its class. */
uint64_t StaticWords(World& world, VMLoadableClass* cls, const char* name, const char* sig) {
  VMDataMember* f = cls->FindField(VMLiteral::CreateInstance(world.ns, name, 0xFFFFFFFFu),
                                   VMLiteral::CreateInstance(world.ns, sig, 0xFFFFFFFFu), false, world.env);
  VMObject* data = cls->GetStaticData(world.env->thread);
  if (f == nullptr || data == nullptr) return 0xDEADull;
  uint32_t slot = (uint32_t)f->GetIndex();
  uint64_t low = data->GetWord(slot);
  return f->GetClass()->GetIsTwoEntries() ? low | (uint64_t)data->GetWord(slot + 1) << 32 : low;
}

TEST(InterpLinkTest, EveryRefusedAllocationOfAPreparationLeavesAClassThatPreparesAgain) {
  // Each allocation of preparing a class refused in turn: the class is either prepared
  // in full or fails with OutOfMemoryError (never half prepared), and a second try gives
  // the right layout and constants (never a constant's value taken for its pool index).
  bool sawFailure = false, sawSuccess = false, allDone = false;
  for (uint32_t n = 1; n < 200 && !allDone; n++) {
    World world;
    ASSERT_TRUE(world.Create(ClassDir("interp")));
    VMLoadableClass* cls = world.Class("interp/Consts");
    ASSERT_NE(nullptr, cls);
    ASSERT_EQ(0, cls->Load());
    uint64_t refused = refhost::RefusedCount();
    refhost::FailNthAllocation(n);
    VMStatus first = cls->Prepare(nullptr);
    refhost::FailNthAllocation(0);
    allDone = refhost::RefusedCount() == refused;  // past the last allocation
    world.env->thread->SetException(nullptr);
    if (first == 0) {
      sawSuccess = true;
    } else {
      sawFailure = true;
      EXPECT_EQ(VMStatus_OutOfMemoryError, first) << n;
      EXPECT_FALSE(cls->GetIsPrepared()) << n;
    }
    EXPECT_EQ(0, cls->Initialize(world.env)) << "allocation " << n;
    EXPECT_TRUE(cls->GetIsPrepared()) << n;
    EXPECT_EQ((uint64_t)(uint32_t)-123456, StaticWords(world, cls, "I", "I")) << n;
    EXPECT_EQ(0x123456789ABCDEFull, StaticWords(world, cls, "J", "J")) << n;
    EXPECT_EQ(0x40200000ull, StaticWords(world, cls, "F", "F")) << n;
    EXPECT_EQ(0xBFC0000000000000ull, StaticWords(world, cls, "D", "D")) << n;
    EXPECT_EQ(1u, StaticWords(world, cls, "Z", "Z")) << n;
    EXPECT_EQ(9u, StaticWords(world, cls, "plain", "I")) << n;
    EXPECT_EQ("constant", world.Text((VMObject*)(uintptr_t)StaticWords(world, cls, "S", "Ljava/lang/String;"))) << n;
    world.Destroy();
  }
  EXPECT_TRUE(sawFailure);
  EXPECT_TRUE(sawSuccess);
  EXPECT_TRUE(allDone);
}

TEST(InterpLinkTest, ThreadsPreparingDifferentClassesGetDistinctNumbers) {
  World world;
  ASSERT_TRUE(world.Create(ClassDir("interp")));
  const char* names[] = {"interp/Arith", "interp/Flow", "interp/Objects", "interp/Objects$Base",
                         "interp/Objects$Rect", "interp/Objects$Square", "interp/Objects$Inner",
                         "interp/Init", "interp/InitSuper", "interp/InitSub", "interp/InitLazy",
                         "interp/InitBroken", "interp/InitBroken2", "interp/InitError", "interp/Race",
                         "interp/RaceSlow", "interp/Natives", "interp/Throws", "interp/Long776",
                         "interp/Wide", "interp/Consts", "interp/Objects$1"};
  const int count = sizeof(names) / sizeof(names[0]);
  VMLoadableClass* classes[count];
  for (int i = 0; i < count; i++) {
    classes[i] = world.Class(names[i]);
    ASSERT_NE(nullptr, classes[i]) << names[i];
    ASSERT_EQ(0, classes[i]->Load()) << names[i];
  }
  std::atomic<int> go{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; t++) {
    threads.emplace_back([&, t] {
      while (go.load() == 0) std::this_thread::yield();
      for (int i = t; i < count; i += 6) EXPECT_EQ(0, classes[i]->Prepare(nullptr)) << names[i];
    });
  }
  go = 1;
  for (auto& t : threads) t.join();
  for (int i = 0; i < count; i++) {
    EXPECT_NE(0u, classes[i]->GetIndex()) << names[i];
    for (int j = 0; j < i; j++) EXPECT_NE(classes[i]->GetIndex(), classes[j]->GetIndex()) << names[i] << names[j];
  }
  world.Destroy();
}

}  // namespace
}  // namespace interp_test

namespace interp_test {
namespace {

TEST(InterpVerifyTest, ClassesPreparedWithFlowAnalysisRunAlike) {
  // With verification asked for, preparation builds and flows every method's blocks and
  // keeps them for the collector's walk; the classes run as before.
  World world;
  ASSERT_TRUE(world.Create(ClassDir("interp")));
  world.ns->SetRunVerifier();
  Outcome o = world.Call("interp/Objects", "run", "()I");
  EXPECT_EQ("", o.thrown) << o.message;
  EXPECT_EQ(0, o.Int());
  o = world.Call("interp/Flow", "nestedFinally", "(I)I", {3});
  EXPECT_EQ(10001234, o.Int());
  o = world.Call("interp/Long776", "calc5", "(I)I", {60});
  EXPECT_EQ(world.Call("interp/Long776", "calcShort", "(I)I", {60}).Int(), o.Int());
  VMMethod* m = world.Method("interp/Flow", "nestedFinally", "(I)I");
  ASSERT_NE(nullptr, m);
  ASSERT_NE(nullptr, m->GetBlocks()) << "blocks are kept after preparation";
  EXPECT_NE(nullptr, m->GetBlocks()->GetBasicBlocks()) << "blocks are kept after preparation";
  world.ns->ClearRunVerifier();
  world.Destroy();
}

}  // namespace
}  // namespace interp_test

namespace interp_test {
namespace {

TEST(InterpHugeTest, ReturnsAndBranchesFartherThan32767BytesGoThroughTheFrame) {
  World world;
  ASSERT_TRUE(world.Create(ClassDir("interp")));
  VMMethod* m = world.Method("interp/Huge", "run", "(I)I");
  ASSERT_NE(nullptr, m);
  EXPECT_GT(m->GetCode()->GetSize(), 32768u);
  Outcome o = world.Call(m, {10});
  EXPECT_EQ("", o.thrown) << o.message;
  EXPECT_EQ(65, o.Int());
  world.Destroy();
}

}  // namespace
}  // namespace interp_test
