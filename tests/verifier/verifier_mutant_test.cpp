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
#include <vector>

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

struct Mutant {
  std::string key;   // "mNNNNN/<path of the class file>"
  std::string name;  // the class's name
  classfile_test::Bytes bytes;
};

/* The seed classes (the verifier's fixtures and the interpreter's test classes) and count
   mutants of them, read back from mutate.py's pack; false when they cannot be made. */
bool MakeMutants(int count, uint32_t seed, std::string* seeds, std::string* pack, std::vector<Mutant>* out) {
  *seeds = ScratchDir("mutant-seeds");
  std::string vf = CompileSuite("verifier");
  std::string built = std::string(PUX_BUILD_DIR) + "/testclasses/";
  if (vf.empty() || system(("cp -r '" + vf + "/vf' '" + built + "interp/interp' '" + *seeds + "/'").c_str()) != 0)
    return false;
  *pack = ScratchDir("mutants") + "/mutants.pack";
  if (system(("python3 '" + std::string(PUX_SOURCE_DIR) + "/tests/verifier/mutate.py' '" + *seeds + "' '" + *pack +
              "' " + std::to_string(count) + " " + std::to_string(seed))
                 .c_str()) != 0)
    return false;
  classfile_test::Bytes all = classfile_test::ReadFileBytes(*pack);
  for (size_t at = 0; at + 2 <= all.size();) {
    Mutant m;
    size_t keyLength = (size_t)all[at] << 8 | all[at + 1];
    if (at + 2 + keyLength + 4 > all.size()) return false;
    m.key.assign((const char*)&all[at + 2], keyLength);
    at += 2 + keyLength;
    size_t length = (size_t)all[at] << 24 | (size_t)all[at + 1] << 16 | (size_t)all[at + 2] << 8 | all[at + 3];
    at += 4;
    if (at + length > all.size() || m.key.size() < 7) return false;
    m.bytes.assign(all.begin() + at, all.begin() + at + length);
    at += length;
    m.name = m.key.substr(m.key.find('/') + 1);
    m.name = m.name.substr(0, m.name.size() - 6);
    out->push_back(std::move(m));
  }
  return out->size() == (size_t)count;
}

/* This verifier's verdict on one mutant in a world of its seeds: 0 or the refusal's status. */
VMStatus Judge(classfile_test::ClassWorld& world, const Mutant& m, VMLoadableClass** kept = nullptr) {
  VMLoadableClass* shell = world.LooseShell(m.name.c_str());
  if (shell == nullptr) return VMStatus_OutOfMemoryError;
  VMStatus status = world.loader->Load(shell, m.bytes.data(), (uint32_t)m.bytes.size());
  if (status == 0) status = shell->Prepare(nullptr);
  if (kept != nullptr) {
    *kept = shell;
  } else {
    world.DropLoose(shell);
  }
  return status;
}

TEST(VerifierMutantTest, NoMutantIsJudgedOtherwiseThanTheJdkSaveByDesign) {
  if (system("java -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no java on this machine";
  const int count = 2000;
  std::string seeds, pack;
  std::vector<Mutant> mutants;
  ASSERT_TRUE(MakeMutants(count, 20240611, &seeds, &pack, &mutants));

  std::string driver = ScratchDir("mutant-driver");
  ASSERT_EQ(0, system(("ecj -source 1.3 -target 1.1 -nowarn -d '" + driver + "' '" + PUX_SOURCE_DIR +
                       "/tests/verifier/jdk/MutantDriver.java' >/dev/null 2>&1")
                          .c_str()));
  std::string jdkFile = pack + ".jdk";
  ASSERT_EQ(0, system(("java -Xverify:all -Xshare:off -XX:+UseSerialGC -XX:TieredStopAtLevel=1 -Xmx256m -cp '" +
                       driver + "' MutantDriver '" + seeds + "' '" + pack + "' > '" + jdkFile + "' 2>/dev/null")
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
  for (const Mutant& m : mutants) {
    VMLoadableClass* shell = nullptr;
    VMStatus ours = Judge(world, m, &shell);
    const std::string& theirs = jdk[m.key];
    bool jdkAccepts = theirs == "ok";
    if (ours != 0 && jdkAccepts) {
      ADD_FAILURE() << m.key << ": refused here with status " << ours << ", accepted by the JDK";
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
        ADD_FAILURE() << m.key << ": accepted here, refused by the JDK: " << theirs;
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
  const int count = 2000;
  std::string seeds, pack;
  std::vector<Mutant> mutants;
  ASSERT_TRUE(MakeMutants(count, 77, &seeds, &pack, &mutants));
  // Judged here first: only what verifies is worth a process of its own.
  std::vector<const Mutant*> verified;
  {
    classfile_test::ClassWorld judge;
    ASSERT_TRUE(judge.Create(seeds + ":" + PUX_BUILD_DIR + "/classlib.zip"));
    for (const Mutant& m : mutants)
      if (Judge(judge, m) == 0) verified.push_back(&m);
    judge.Destroy();
  }
  interp_test::World world;
  ASSERT_TRUE(world.Create(seeds));
  std::map<std::string, int> tally;
  for (const Mutant* m : verified) {
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      alarm(10);
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      VMLoadableClass* shell =
          VMLoadableClass::CreateInstance(world.ns, VMLiteral::CreateInstance(world.ns, m->name.c_str(), 0xFFFFFFFFu));
      if (shell == nullptr) _exit(11);
      if (world.ns->GetSystemClassLoader()->Load(shell, m->bytes.data(), (uint32_t)m->bytes.size()) != 0 ||
          shell->Prepare(nullptr) != 0)
        _exit(10);
      world.env->thread->SetPollFunction(LimitedPoll);
      VMMethodArray* methods = shell->GetMethods();
      for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
        VMMethod* method = methods->Get(i);
        if (method == nullptr || !method->GetIsByteCode() || method->GetCode() == nullptr) continue;
        VMword words[260] = {};
        if (!method->GetIsStatic())
          words[0] = (VMword)VMObject::CreateInstance(world.vm->GetHeap(), shell, jallocFailFast);
        gPolls = 0;
        if (shell->Initialize(world.env) == 0) VMFrame::ExecuteJava(world.env, method, words);
        world.TakeException();
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      tally["ran"]++;
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
      tally["ran out of time"]++;
    } else {
      // A refusal in the running world, where the judging world accepted, is a fault too.
      ADD_FAILURE() << m->key << " verified and then stopped its process: status " << std::hex << status;
    }
  }
  for (const auto& [what, n] : tally) printf("%-20s %d\n", what.c_str(), n);
  EXPECT_GT(tally["ran"], count / 20);
  world.Destroy();
}

}  // namespace
}  // namespace verifier_test
