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
#include "vmbasicblock.h"

namespace verifier_test {

using classfile_test::Bytes;

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
