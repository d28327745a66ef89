/* Shared set-up of the flow-analysis tests: a class world on the class library (and the
   ecj-compiled test classes), methods made from hand-assembled code, and a collector's
   check of the maps along random executions of a method. */
#ifndef PUX_TESTS_FLOW_SUPPORT_H
#define PUX_TESTS_FLOW_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../unit/classfile_support.h"
#include "../unit/classfile_world.h"
#include "vmbasicblock.h"
#include "vmclass.h"

namespace flow_test {

using classfile_test::Bytes;

/* Code assembled in class-file byte order (big-endian operands). */
struct Asm {
  Bytes code;
  uint32_t pc() const { return (uint32_t)code.size(); }
  Asm& op(uint8_t o) { code.push_back(o); return *this; }
  Asm& u1(uint32_t v) { code.push_back((uint8_t)v); return *this; }
  Asm& u2(uint32_t v) { code.push_back((uint8_t)(v >> 8)); code.push_back((uint8_t)v); return *this; }
  Asm& u4(uint32_t v) { u2(v >> 16); return u2(v & 0xFFFF); }
  /* A 16-bit branch from the instruction at pc `from` to `to`. */
  Asm& br(uint8_t o, uint32_t to) { uint32_t from = pc(); op(o); return u2((uint16_t)(to - from)); }
  /* Padding of a switch whose opcode was just written. */
  Asm& pad() { while (code.size() % 4 != 0) code.push_back(0); return *this; }
};

struct Handler {
  uint16_t start, end, handler, type;
};

/* One method of a class made for the test; extra pool entries are made through the
   builder before Make. */
struct MethodSpec {
  std::string name = "m";
  std::string descriptor = "()V";
  uint16_t access = 0x0009;  // public static
  uint16_t maxStack = 8, maxLocals = 8;
  Bytes code;
  std::vector<Handler> handlers;
};

class FlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  /* Loads a class holding the method (and more methods, when given) and returns the
     method, or NULL with the load status in *status. */
  VMMethod* Make(const MethodSpec& spec, VMStatus* status = nullptr,
                 classfile_test::ClassBuilder* builder = nullptr);
  /* A static method of the given code; NULL (with the load status in *load) when the
     class does not load. */
  VMMethod* Method(const Bytes& code, uint16_t stack = 4, uint16_t locals = 4,
                   std::vector<Handler> handlers = {}, const char* descriptor = "()V",
                   VMStatus* load = nullptr);
  VMLoadableClass* LoadClass(const std::string& name);
  VMLiteral* Lit(const char* text) { return world->Lit(text); }
  HHeap* Heap(VMMethod* m) { return m->GetDefinedIn()->GetHeap(); }

  /* State at pc as owned block (NULL on failure, with the status). */
  VMBasicBlock* At(VMMethod* m, uint32_t pc, VMStatus* status = nullptr);
  /* "R", "S", "I", "A<k>", "C", "-" per local, then "|" and the stack ("R", "S", "A<k>"). */
  std::string Kinds(VMMethod* m, VMBasicBlock* b);
  std::string KindsAt(VMMethod* m, uint32_t pc);
  /* The kinds the frame walk gives a frame of m at pc with these local and stack words
     (the stack's depth is its size); past: the frame is in the middle of the instruction
     before pc (a call or a throw). "status N" on failure. */
  std::string Frame(VMMethod* m, uint32_t pc, std::vector<VMword> locals, std::vector<VMword> stack = {},
                    bool past = false);

  static classfile_test::ClassWorld* world;
  static std::string compiledDir;
  std::vector<VMLoadableClass*> loose;
  int counter = 0;
};

/* Runs `paths` random executions of the method and checks at every instruction what the
   collector relies on: every stack word's kind is exact, every local read as a reference
   holds one, and no object that the maps leave untraced is used afterwards. Returns an
   empty string or a description of the first failure. */
std::string WalkMethod(VMMethod* method, uint32_t paths, uint32_t seed, uint32_t* steps = nullptr);

/* The ecj-compiled classes of tests/java/flow, made once per process; empty when ecj
   fails. */
std::string CompiledTestClasses();

/* Every instruction start of the method. */
std::vector<uint32_t> InstructionStarts(VMMethod* method);

}  // namespace flow_test

#endif
