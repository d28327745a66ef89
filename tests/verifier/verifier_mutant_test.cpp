/* The verifier against the JDK's on thousands of mutants of compiled test classes (one or
   two structure-keeping changes to one method's code, mutate.py): no mutant this verifier
   refuses is accepted by the JDK (no false refusal), and every mutant it accepts that the
   JDK refuses is refused for a reason this verifier leaves out on purpose: scalars not
   told apart, switch padding not checked, or instructions checked in code that never
   runs. */
#include <stdio.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "verifier_support.h"
#include "vmliteral.h"

namespace verifier_test {
namespace {

std::map<std::string, std::string> ReadVerdicts(const std::string& file) {
  std::map<std::string, std::string> out;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    size_t space = line.find(' ');
    if (space != std::string::npos) out[line.substr(0, space)] = line.substr(space + 1);
  }
  return out;
}

/* Whether a method of the class (by the JDK's "method: name signature: sig") has a block
   that no path reaches. */
bool HasCodeThatNeverRuns(VMLoadableClass* cls, const std::string& name, const std::string& signature) {
  VMMethodArray* methods = cls->GetMethods();
  for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    char* n = m->GetName()->MakeUTF8();
    char* s = m->GetSignature()->MakeUTF8();
    bool match = name == n && signature == s;
    VMLiteral::FreeUTF8(n);
    VMLiteral::FreeUTF8(s);
    if (!match || m->GetCode() == nullptr || VMBasicBlock::BuildBlocks(m) != 0) continue;
    for (VMBasicBlock* b = m->GetBasicBlocks(); b != nullptr; b = b->GetNext())
      if (!b->GetIsReachable()) return true;
  }
  return false;
}

TEST(VerifierMutantTest, NoMutantIsJudgedOtherwiseThanTheJdkSaveByDesign) {
  if (system("java -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no java on this machine";
  std::string seeds = ScratchDir("mutant-seeds");
  std::string vf = CompileSuite("verifier");
  ASSERT_FALSE(vf.empty());
  std::string built = std::string(PUX_BUILD_DIR) + "/testclasses/";
  ASSERT_EQ(0, system(("cp -r '" + vf + "/vf' '" + built + "interp/interp' '" + seeds + "/'").c_str()));
  std::string mutants = ScratchDir("mutants");
  const int count = 4000;
  ASSERT_EQ(0, system(("python3 '" + std::string(PUX_SOURCE_DIR) + "/tests/verifier/mutate.py' '" + seeds + "' '" +
                       mutants + "' " + std::to_string(count) + " 20240611")
                          .c_str()));
  std::string list = mutants + "/list.txt";
  ASSERT_EQ(0, system(("cd '" + mutants + "' && find . -name '*.class' | sed 's|^./||' | sort > list.txt").c_str()));

  std::string driver = ScratchDir("mutant-driver");
  ASSERT_EQ(0, system(("ecj -source 1.3 -target 1.1 -nowarn -d '" + driver + "' '" + PUX_SOURCE_DIR +
                       "/tests/verifier/jdk/MutantDriver.java' >/dev/null 2>&1")
                          .c_str()));
  std::string jdkFile = mutants + "/jdk.txt";
  ASSERT_EQ(0, system(("java -Xverify:all -Xmx1g -cp '" + driver + "' MutantDriver '" + seeds + "' '" + mutants +
                       "' '" + list + "' > '" + jdkFile + "' 2>/dev/null")
                          .c_str()));
  std::map<std::string, std::string> jdk = ReadVerdicts(jdkFile);
  ASSERT_EQ((size_t)count, jdk.size());

  classfile_test::ClassWorld world;
  ASSERT_TRUE(world.Create(seeds + ":" + PUX_BUILD_DIR + "/classlib.zip"));
  const std::regex scalars("Expecting to find (integer|float|long|double) on stack|"
                           "Register (pair )?[0-9/]+ contains wrong type");
  const std::regex deadCode("Illegal local variable number|Illegal constant pool index|Illegal type in constant pool|"
                            "Illegal instruction found");
  const std::regex where("method: (\\S+) signature: (\\S+)\\)");
  std::map<std::string, int> tally;
  std::ifstream in(list);
  std::string rel;
  while (std::getline(in, rel)) {
    classfile_test::Bytes bytes = classfile_test::ReadFileBytes(mutants + "/" + rel);
    std::string name = rel.substr(rel.find('/') + 1);
    name = name.substr(0, name.size() - 6);
    VMLoadableClass* shell = world.LooseShell(name.c_str());
    ASSERT_NE(nullptr, shell);
    VMStatus ours = world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size());
    if (ours == 0) ours = shell->Prepare(nullptr);
    const std::string& theirs = jdk[rel];
    bool jdkAccepts = theirs == "ok";
    if (ours != 0 && jdkAccepts) {
      ADD_FAILURE() << rel << ": refused here with status " << ours << ", accepted by the JDK";
    } else if (ours == 0 && !jdkAccepts) {
      std::smatch m;
      if (std::regex_search(theirs, scalars)) {
        tally["scalars not told apart"]++;
      } else if (theirs.find("Non zero padding bytes in switch") != std::string::npos) {
        tally["switch padding"]++;
      } else if (std::regex_search(theirs, deadCode) && std::regex_search(theirs, m, where) &&
                 HasCodeThatNeverRuns(shell, m[1], m[2])) {
        tally["code that never runs"]++;
      } else if (theirs.compare(0, 21, "java.lang.VerifyError") != 0) {
        tally["refused by the JDK at another step"]++;
      } else {
        ADD_FAILURE() << rel << ": accepted here, refused by the JDK: " << theirs;
      }
    } else {
      tally[ours == 0 ? "both accept" : "both refuse"]++;
    }
    world.DropLoose(shell);
  }
  for (const auto& [what, n] : tally) printf("%-40s %d\n", what.c_str(), n);
  EXPECT_GT(tally["both accept"], count / 20);
  world.Destroy();
}

}  // namespace
}  // namespace verifier_test
