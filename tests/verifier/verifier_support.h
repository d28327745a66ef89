/* Shared set-up of the verifier tests: class files assembled with jasmin (made version
   45.3, as jasmin writes 46.0) or built byte by byte, Java test classes compiled with ecj,
   and a machine whose name space verifies every class it prepares. */
#ifndef PUX_TESTS_VERIFIER_SUPPORT_H
#define PUX_TESTS_VERIFIER_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "../interp/interp_support.h"
#include "../unit/classfile_support.h"
#include "../unit/classfile_world.h"
#include "vmbasicblock.h"

namespace verifier_test {

using classfile_test::Bytes;

/* Code assembled in class-file byte order (big-endian operands). */
struct Asm {
  Bytes code;
  uint32_t pc() const { return (uint32_t)code.size(); }
  Asm& op(uint8_t o) { code.push_back(o); return *this; }
  Asm& u1(uint32_t v) { code.push_back((uint8_t)v); return *this; }
  Asm& u2(uint32_t v) { code.push_back((uint8_t)(v >> 8)); code.push_back((uint8_t)v); return *this; }
  Asm& u4(uint32_t v) { u2(v >> 16); return u2(v & 0xFFFF); }
  /* A 16-bit branch from the instruction at the current pc to `to`. */
  Asm& br(uint8_t o, uint32_t to) { uint32_t from = pc(); op(o); return u2((uint16_t)(to - from)); }
  /* The padding of a switch whose opcode was just written. */
  Asm& pad() { while (code.size() % 4 != 0) code.push_back(0); return *this; }
  Asm& nops(uint32_t n) { code.insert(code.end(), n, 0x00); return *this; }
};

/* A method made for a test: its code and what it needs around it. */
struct MethodSpec {
  std::string name = "m";
  std::string descriptor = "()V";
  uint16_t access = 0x0009;  // public static
  uint16_t maxStack = 8, maxLocals = 8;
  Bytes code;
  std::vector<uint16_t> handlers;  // start, end, handler, catch type; four per entry
};

/* A class world without a machine, verifying what it prepares, for tests that judge
   single methods: each test class is parsed from memory into a shell of its own. */
class Judge {
 public:
  bool Create();
  void Destroy();
  /* Loads a class of the method (extra pool entries made on the builder first) and
     returns the stage that refuses it: "load <status>", "flow", "kinds", "types" or
     "ok". */
  std::string Verdict(const MethodSpec& spec, classfile_test::ClassBuilder* builder = nullptr,
                      VMMethod** method = nullptr);
  std::string Verdict(const Bytes& code, uint16_t stack = 8, uint16_t locals = 8, const char* descriptor = "()V");
  /* The stage of one loaded method. */
  static std::string Stage(VMMethod* m);
  classfile_test::ClassWorld world;
  std::vector<VMLoadableClass*> loose;
  int counter = 0;
};

/* A fresh directory under the build tree, removed at exit. */
std::string ScratchDir(const std::string& tag);

/* Assembles the (class name, jasmin source) pairs into dir with one jasmin run and makes
   every class file 45.3; "" or what went wrong. */
std::string Assemble(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& sources);

/* The Java files below tests/java/<folder>, compiled with ecj -target 1.1 into a directory
   of their own (once per process); "" when ecj fails. */
std::string CompileSuite(const std::string& folder);

/* The internal names of the classes of a directory tree or a zip archive. */
std::vector<std::string> ClassesIn(const std::string& path);

/* Writes a class file into dir under the class's name. */
bool WriteClass(const std::string& dir, const std::string& name, const Bytes& bytes);

/* A machine on a class path of test classes before the class library, verifying what it
   prepares (off with verify false). */
class Machine {
 public:
  bool Create(const std::string& classDir, bool verify = true);
  void Destroy();
  /* Prepares the class: its status, -1 when the class cannot even be found. */
  VMStatus Prepare(const std::string& name);
  interp_test::World world;
};

}  // namespace verifier_test

#endif
