/* No false rejections: every class of the class library, of every Java test suite and of
   the verifier's own ecj-compiled fixtures (try/finally from several call sites, nested
   finally, switches at every alignment, code in pieces, calls with 34 argument words)
   prepares with the verifier on, and every method passes when verified again alone. */
#include <stdio.h>
#include <sys/stat.h>

#include <chrono>

#include "verifier_support.h"
#include "vmliteral.h"

namespace verifier_test {
namespace {

std::vector<std::string> Lines(const std::string& command) {
  std::vector<std::string> out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char line[1024];
  while (fgets(line, sizeof line, p) != nullptr) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    if (!s.empty()) out.push_back(s);
  }
  pclose(p);
  return out;
}

std::string Text(VMLiteral* l) {
  char* t = l->MakeUTF8();
  std::string s = t != nullptr ? t : "?";
  VMLiteral::FreeUTF8(t);
  return s;
}

/* The first method of the class that does not verify alone, with its status. */
std::string FailingMethod(VMLoadableClass* cls) {
  VMMethodArray* methods = cls->GetMethods();
  for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == nullptr || m->GetCode() == nullptr) continue;
    VMStatus s = VMBasicBlock::BuildBlocks(m);
    if (s == 0) s = VMBasicBlock::Verify(m);
    if (s != 0) return Text(m->GetName()) + Text(m->GetSignature()) + " status " + std::to_string(s);
  }
  return "no single method";
}

struct Tally {
  uint32_t classes = 0, methods = 0, codeBytes = 0;
};

void CheckAll(Machine& machine, const std::vector<std::string>& names, Tally& t) {
  for (const std::string& name : names) {
    VMLoadableClass* cls = machine.world.Class(name.c_str());
    ASSERT_NE(nullptr, cls) << name;
    VMStatus s = cls->Prepare(nullptr);
    if (s != 0) {
      ADD_FAILURE() << name << " prepares with status " << s << ": " << FailingMethod(cls);
      continue;
    }
    t.classes++;
    VMMethodArray* methods = cls->GetMethods();
    for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
      VMMethod* m = methods->Get(i);
      if (m == nullptr || m->GetCode() == nullptr) continue;
      t.methods++;
      t.codeBytes += m->GetCode()->GetSize();
      // Kept blocks are verified again: the walk changes none of them.
      EXPECT_EQ(0, VMBasicBlock::Verify(m)) << name << "." << Text(m->GetName()) << Text(m->GetSignature());
    }
  }
}

TEST(VerifierLibraryTest, EveryClassOfTheClassLibraryVerifies) {
  std::vector<std::string> names = ClassesIn(std::string(PUX_BUILD_DIR) + "/classlib.zip");
  ASSERT_GT(names.size(), 100u);
  Machine machine;
  ASSERT_TRUE(machine.Create(interp_test::ClassDir("interp")));
  Tally t;
  CheckAll(machine, names, t);
  printf("class library: %u classes, %u methods, %u code bytes verified\n", t.classes, t.methods, t.codeBytes);
  machine.Destroy();
}

/* Each suite on a class path of its own (with another suite behind it when given), before
   the class library. */
void CheckSuite(const std::string& dir, const std::string& label, const std::string& after = "") {
  ASSERT_FALSE(dir.empty()) << label << " did not compile";
  std::vector<std::string> names = ClassesIn(dir);
  ASSERT_FALSE(names.empty()) << label;
  Machine machine;
  ASSERT_TRUE(machine.Create(after.empty() ? dir : dir + ":" + after));
  Tally t;
  CheckAll(machine, names, t);
  printf("%s: %u classes, %u methods verified\n", label.c_str(), t.classes, t.methods);
  machine.Destroy();
}

/* Every folder of tests/java and the benchmarks' classes: as the build compiled them, or
   compiled here when the build does not. Each is checked with its own classes first on
   the class path and every other suite behind them. */
TEST(VerifierLibraryTest, EveryJavaTestClassVerifies) {
  std::vector<std::pair<std::string, std::string>> suites;  // label, directory
  std::string built = std::string(PUX_BUILD_DIR) + "/testclasses/";
  for (const std::string& folder : Lines("cd '" + std::string(PUX_SOURCE_DIR) + "/tests/java' && ls -d */ | tr -d /")) {
    struct stat st;
    std::string dir = stat((built + folder).c_str(), &st) == 0 ? built + folder : CompileSuite(folder);
    suites.push_back({folder, dir});
  }
  suites.push_back({"bench", built + "bench"});
  ASSERT_GE(suites.size(), 8u);
  for (const auto& [label, dir] : suites) {
    std::string others;
    for (const auto& [otherLabel, otherDir] : suites) {
      if (otherLabel != label && !otherDir.empty()) others += (others.empty() ? "" : ":") + otherDir;
    }
    CheckSuite(dir, label, others);
  }
}

TEST(VerifierLibraryTest, CompilerShapesVerify) {
  CheckSuite(CompileSuite("verifier"), "verifier fixtures");
}

}  // namespace
}  // namespace verifier_test
