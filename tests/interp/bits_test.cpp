/* Values that must keep their bits on every path through the interpreter: signalling
   NaNs from the constant pool through the operand stack, locals, statics, negation and
   the return to native code (an x87 load on the way would quiet them). The class is
   made byte by byte: no compiler writes such constants. */
#include <gtest/gtest.h>

#include "classfile_support.h"
#include "interp_support.h"
#include "vmopdefinition.h"

namespace interp_test {
namespace {

using classfile_test::Bytes;
using classfile_test::ClassBuilder;

TEST(InterpBitsTest, SignallingNaNsKeepTheirBitsThroughEveryMove) {
  std::string dir = classfile_test::TempDir("interp-bits");
  ClassBuilder c;
  c.thisClass = c.Class("bits/Nan");
  c.superClass = c.Class("java/lang/Object");
  uint16_t f = c.Float(0x7F800001u);
  uint16_t d = c.Double(0x7FF0000000000001ull);
  uint16_t fs = c.Ref(9, "bits/Nan", "F", "F");
  c.AddField(0x0008, "F", "F");
  auto hi = [](uint16_t i) { return (uint8_t)(i >> 8); };
  auto lo = [](uint16_t i) { return (uint8_t)i; };
  const uint8_t ret = OP_freturn, dret = OP_dreturn;
  c.AddMethod(0x0009, "ldc", "()F", {c.CodeAttribute(1, 0, {OP_ldc, lo(f), ret})});
  c.AddMethod(0x0009, "local", "()F",
              {c.CodeAttribute(1, 1, {OP_ldc_w, hi(f), lo(f), OP_fstore_0, OP_fload_0, ret})});
  c.AddMethod(0x0009, "field", "()F",
              {c.CodeAttribute(1, 0, {OP_ldc, lo(f), OP_putstatic, hi(fs), lo(fs), OP_getstatic, hi(fs), lo(fs), ret})});
  c.AddMethod(0x0009, "neg", "()F", {c.CodeAttribute(1, 0, {OP_ldc, lo(f), OP_fneg, ret})});
  c.AddMethod(0x0009, "wide", "()D", {c.CodeAttribute(2, 0, {OP_ldc2_w, hi(d), lo(d), dret})});
  c.AddMethod(0x0009, "wideLocal", "()D",
              {c.CodeAttribute(2, 2, {OP_ldc2_w, hi(d), lo(d), OP_dstore_0, OP_dload_0, dret})});
  c.AddMethod(0x0009, "wideNeg", "()D", {c.CodeAttribute(2, 0, {OP_ldc2_w, hi(d), lo(d), OP_dneg, dret})});
  mkdir((dir + "/bits").c_str(), 0777);
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/bits/Nan.class", c.Build()));

  World world;
  ASSERT_TRUE(world.Create(dir));
  struct {
    const char* name;
    const char* sig;
    uint64_t bits;
  } cases[] = {
      {"ldc", "()F", 0x7F800001u},        {"local", "()F", 0x7F800001u},
      {"field", "()F", 0x7F800001u},      {"neg", "()F", 0xFF800001u},
      {"wide", "()D", 0x7FF0000000000001ull}, {"wideLocal", "()D", 0x7FF0000000000001ull},
      {"wideNeg", "()D", 0xFFF0000000000001ull},
  };
  for (const auto& k : cases) {
    Outcome o = world.Call("bits/Nan", k.name, k.sig);
    ASSERT_EQ("", o.thrown) << k.name << " " << o.message;
    uint64_t got = k.sig[2] == 'F' ? (uint64_t)o.words[0] : (uint64_t)o.Long();
    EXPECT_EQ(k.bits, got) << k.name;
  }
  world.Destroy();
  classfile_test::RemoveTree(dir);
}

}  // namespace
}  // namespace interp_test
