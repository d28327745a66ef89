/* The verifier against the JDK's on thousands of mutants of compiled test classes (one or
   two structure-keeping changes to one method's code, mutate.py): no mutant this verifier
   refuses is accepted by the JDK (no false refusal), and every mutant it accepts that the
   JDK refuses is refused for a reason this verifier leaves out on purpose: scalars not
   told apart, switch padding not checked, or instructions checked in code that never
   runs. */
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "verifier_support.h"
#include "vm.h"
#include "vmclassloader.h"
#include "vmframe.h"
#include "vmliteral.h"
#include "vmthread.h"

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

bool AnyOf(const std::string& text, const std::vector<std::string>& pieces) {
  for (const std::string& p : pieces)
    if (text.find(p) != std::string::npos) return true;
  return false;
}

/* The method the JDK names in "method: <name> signature: <signature>)". */
bool Where(const std::string& text, std::string* method, std::string* signature) {
  size_t m = text.find("method: "), s = text.find(" signature: ");
  if (m == std::string::npos || s == std::string::npos || s < m) return false;
  size_t end = text.find(") ", s + 12);
  *method = text.substr(m + 8, s - m - 8);
  *signature = text.substr(s + 12, end == std::string::npos ? std::string::npos : end - s - 12);
  return true;
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

/* The seed classes (the verifier's fixtures and the interpreter's test classes) and
   count mutants of them with their list; false when they cannot be made. */
bool MakeMutants(int count, uint32_t seed, std::string* seeds, std::string* mutants, std::string* list) {
  *seeds = ScratchDir("mutant-seeds");
  std::string vf = CompileSuite("verifier");
  std::string built = std::string(PUX_BUILD_DIR) + "/testclasses/";
  if (vf.empty() || system(("cp -r '" + vf + "/vf' '" + built + "interp/interp' '" + *seeds + "/'").c_str()) != 0)
    return false;
  *mutants = ScratchDir("mutants");
  if (system(("python3 '" + std::string(PUX_SOURCE_DIR) + "/tests/verifier/mutate.py' '" + *seeds + "' '" + *mutants +
              "' " + std::to_string(count) + " " + std::to_string(seed))
                 .c_str()) != 0)
    return false;
  *list = *mutants + "/list.txt";
  return system(("cd '" + *mutants + "' && find . -name '*.class' | sed 's|^./||' | sort > list.txt").c_str()) == 0;
}

TEST(VerifierMutantTest, NoMutantIsJudgedOtherwiseThanTheJdkSaveByDesign) {
  if (system("java -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no java on this machine";
  const int count = 4000;
  std::string seeds, mutants, list;
  ASSERT_TRUE(MakeMutants(count, 20240611, &seeds, &mutants, &list));

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
  const std::vector<std::string> scalars = {"Expecting to find integer on stack", "Expecting to find float on stack",
                                            "Expecting to find long on stack", "Expecting to find double on stack",
                                            "contains wrong type", "Attempt to split long or double"};
  const std::vector<std::string> deadCode = {"Illegal local variable number", "Illegal constant pool index",
                                             "Illegal type in constant pool", "Illegal instruction found"};
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
      std::string method, signature;
      if (AnyOf(theirs, scalars)) {
        tally["scalars not told apart"]++;
      } else if (theirs.find("Non zero padding bytes in switch") != std::string::npos) {
        tally["switch padding"]++;
      } else if (AnyOf(theirs, deadCode) && Where(theirs, &method, &signature) &&
                 HasCodeThatNeverRuns(shell, method, signature)) {
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

int gPolls = 0;
jint HOSTCALL LimitedPoll() { return ++gPolls > 20000 ? 1 : 0; }

/* Verified code is memory-safe: every mutant that verifies runs, each of its methods
   called with zero and null arguments (an instance method on an object made without its
   constructor), in a child process with a bound on its polls and its time. In the
   sanitizer build a read or write outside an object stops the child; no child may stop
   but by its time running out. */
TEST(VerifierMutantTest, VerifiedMutantsRunWithoutHarm) {
  const int count = 1500;
  std::string seeds, mutants, list;
  ASSERT_TRUE(MakeMutants(count, 77, &seeds, &mutants, &list));
  interp_test::World world;
  ASSERT_TRUE(world.Create(seeds));
  std::map<std::string, int> tally;
  std::ifstream in(list);
  std::string rel;
  while (std::getline(in, rel)) {
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      alarm(10);
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      classfile_test::Bytes bytes = classfile_test::ReadFileBytes(mutants + "/" + rel);
      std::string name = rel.substr(rel.find('/') + 1);
      name = name.substr(0, name.size() - 6);
      VMLoadableClass* shell = VMLoadableClass::CreateInstance(world.ns, VMLiteral::CreateInstance(world.ns, name.c_str(), 0xFFFFFFFFu));
      if (shell == nullptr) _exit(11);
      if (world.ns->GetSystemClassLoader()->Load(shell, bytes.data(), (uint32_t)bytes.size()) != 0 ||
          shell->Prepare(nullptr) != 0)
        _exit(10);
      world.env->thread->SetPollFunction(LimitedPoll);
      VMMethodArray* methods = shell->GetMethods();
      for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
        VMMethod* m = methods->Get(i);
        if (m == nullptr || !m->GetIsByteCode() || m->GetCode() == nullptr) continue;
        VMword words[260] = {};
        if (!m->GetIsStatic()) words[0] = (VMword)VMObject::CreateInstance(world.vm->GetHeap(), shell, jallocFailFast);
        gPolls = 0;
        if (shell->Initialize(world.env) == 0) VMFrame::ExecuteJava(world.env, m, words);
        world.TakeException();
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 10) {
      tally["refused"]++;
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      tally["ran"]++;
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
      tally["ran out of time"]++;
    } else {
      ADD_FAILURE() << rel << " verified and then stopped its process: status " << std::hex << status;
    }
  }
  for (const auto& [what, n] : tally) printf("%-20s %d\n", what.c_str(), n);
  EXPECT_GT(tally["ran"], count / 20);
  world.Destroy();
}

}  // namespace
}  // namespace verifier_test
