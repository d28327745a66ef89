/* Code that flow analysis refuses never reaches the interpreter: preparation builds every
   method's blocks, verifier or not, so a method that falls off the end of its code or
   loads a local past max_locals makes its class fail with VerifyError instead of running
   past the code or outside its frame. The classes are assembled with jasmin when the test
   runs and made 45.3. */
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "interp_support.h"
#include "vmbasicblock.h"

namespace interp_test {
namespace {

/* Assembles each (name, source) into dir and patches the version to 45.3; false when
   jasmin fails. */
bool Assemble(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& classes) {
  if (system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()) != 0) return false;
  for (const auto& [name, source] : classes) {
    std::string file = dir + "/" + name + ".j";
    std::ofstream(file) << source;
    if (system(("jasmin -d '" + dir + "' '" + file + "' >/dev/null 2>&1").c_str()) != 0) return false;
    std::fstream out(dir + "/" + name + ".class", std::ios::in | std::ios::out | std::ios::binary);
    const char version[4] = {0, 3, 0, 45};
    out.seekp(4);
    out.write(version, 4);
    if (!out) return false;
  }
  return true;
}

const char* const kFall = R"(.class public Fall
.super java/lang/Object
.method public static f()V
  .limit stack 1
  .limit locals 1
  iconst_0
  pop
.end method
)";

const char* const kLoad = R"(.class public Load
.super java/lang/Object
.method public static f()I
  .limit stack 2
  .limit locals 1
  iload 200
  ireturn
.end method
.method public static g()Ljava/lang/Object;
  .limit stack 2
  .limit locals 1
  aload 250
  areturn
.end method
)";

const char* const kFine = R"(.class public Fine
.super java/lang/Object
.method public static f(I)I
  .limit stack 2
  .limit locals 1
  iload_0
  iconst_1
  iadd
  ireturn
.end method
)";

TEST(InterpFlowTest, CodeFlowAnalysisRefusesNeverRuns) {
  std::string dir = std::string(PUX_BUILD_DIR) + "/tmp/interp-flow-" + std::to_string(getpid());
  ASSERT_TRUE(Assemble(dir, {{"Fall", kFall}, {"Load", kLoad}, {"Fine", kFine}})) << "jasmin";
  World world;
  ASSERT_TRUE(world.Create(dir));
  for (const char* name : {"Fall", "Load"}) {
    VMLoadableClass* c = world.Class(name);
    ASSERT_NE(nullptr, c) << name;
    EXPECT_EQ(VMStatus_VerifyError, c->Prepare(nullptr)) << name << " prepared, so its code could run";
    EXPECT_EQ(nullptr, world.Method(name, "f", name[0] == 'F' ? "()V" : "()I")) << name;
  }
  // A class of sound code next to them prepares and runs, its blocks kept for the walk.
  Outcome o = world.Call("Fine", "f", "(I)I", {41});
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(42, o.Int());
  VMMethod* fine = world.Method("Fine", "f", "(I)I");
  ASSERT_NE(nullptr, fine);
  ASSERT_NE(nullptr, fine->GetBlocks());
  EXPECT_NE(nullptr, fine->GetBlocks()->GetFrameState());
  world.Destroy();
  (void)system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace interp_test
