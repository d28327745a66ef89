/* The hand-made corpus (verifier_corpus.h): every invalid class is refused with
   VerifyError by the stage that should refuse it, stays refused, and leaves every other
   class alone; every valid shape verifies. With verification off, the invalid classes
   that the interpreter would run unchecked show what they would do to the machine. */
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "verifier_corpus.h"
#include "verifier_support.h"
#include "vmbasicblock_verify.h"
#include "vmliteral.h"

namespace verifier_test {
namespace {

const char kFields[] = ".field public x I\n.field public r Ljava/lang/Object;\n";

std::string Source(const std::string& name, const char* methods) {
  std::string body = methods;
  for (size_t at; (at = body.find("$C")) != std::string::npos;) body.replace(at, 2, name);
  for (size_t at; (at = body.find("$255")) != std::string::npos;) body.replace(at, 4, std::string(255, '['));
  return ".class public " + name + "\n.super java/lang/Object\n" + kFields + body;
}

struct Group {
  const CorpusCase* cases;
  size_t count;
};
const Group kGroups[] = {
    {kSubroutineCases, sizeof kSubroutineCases / sizeof kSubroutineCases[0]},
    {kShapeCases, sizeof kShapeCases / sizeof kShapeCases[0]},
    {kTypeCases, sizeof kTypeCases / sizeof kTypeCases[0]},
    {kKindCases, sizeof kKindCases / sizeof kKindCases[0]},
    {kValidCases, sizeof kValidCases / sizeof kValidCases[0]},
};

/* A sound class assembled next to the corpus. */
const char kSound[] = R"(.method public static f(I)I
  .limit stack 2
  .limit locals 1
  iload_0
  iconst_1
  iadd
  ireturn
.end method
)";

/* The corpus assembled once per process. */
const std::string& CorpusDir() {
  static std::string dir;
  if (!dir.empty()) return dir;
  std::string d = ScratchDir("corpus");
  std::vector<std::pair<std::string, std::string>> sources;
  for (const Group& g : kGroups)
    for (size_t i = 0; i < g.count; i++) sources.push_back({g.cases[i].name, Source(g.cases[i].name, g.cases[i].methods)});
  sources.push_back({"Sound", Source("Sound", kSound)});
  std::string failure = Assemble(d, sources);
  EXPECT_EQ("", failure);
  if (failure.empty()) dir = d;
  return dir;
}

/* Which stage refuses the class's methods, looked at one method at a time on a loaded
   (not prepared) class: "flow", "kinds", "types", or "ok". */
std::string Stage(VMLoadableClass* cls, VMStatus* status) {
  *status = 0;
  VMMethodArray* methods = cls->GetMethods();
  for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == nullptr || m->GetCode() == nullptr) continue;
    if ((*status = VMBasicBlock::BuildBlocks(m)) != 0) return "flow";
    if ((*status = verify::CheckKinds(m)) != 0) return "kinds";
    if ((*status = verify::CheckTypes(m)) != 0) return "types";
  }
  return "ok";
}

TEST(VerifierCorpusTest, EveryCaseIsJudgedByTheRightStage) {
  ASSERT_FALSE(CorpusDir().empty());
  Machine machine;
  ASSERT_TRUE(machine.Create(CorpusDir(), false));
  for (const Group& g : kGroups) {
    for (size_t i = 0; i < g.count; i++) {
      const CorpusCase& c = g.cases[i];
      VMLoadableClass* cls = machine.world.Class(c.name);
      ASSERT_NE(nullptr, cls) << c.name;
      ASSERT_EQ(0, cls->Load()) << c.name;
      VMStatus status = 0;
      EXPECT_EQ(c.stage, Stage(cls, &status)) << c.name << ": " << c.why;
      if (std::string(c.stage) != "ok") {
        EXPECT_EQ(VMStatus_VerifyError, status) << c.name << ": " << c.why;
      }
    }
  }
  machine.Destroy();
}

TEST(VerifierCorpusTest, InvalidClassesAreRefusedAndStayRefusedAlone) {
  ASSERT_FALSE(CorpusDir().empty());
  Machine machine;
  ASSERT_TRUE(machine.Create(CorpusDir()));
  for (const Group& g : kGroups) {
    for (size_t i = 0; i < g.count; i++) {
      const CorpusCase& c = g.cases[i];
      bool valid = std::string(c.stage) == "ok";
      VMLoadableClass* cls = machine.world.Class(c.name);
      ASSERT_NE(nullptr, cls) << c.name;
      EXPECT_EQ(valid ? 0 : VMStatus_VerifyError, cls->Prepare(nullptr)) << c.name << ": " << c.why;
      if (valid) continue;
      // Erroneous for good: asked again, the class answers the same without a second
      // verification, and none of its methods can be called.
      EXPECT_TRUE(cls->GetIsErroneous()) << c.name;
      EXPECT_FALSE(cls->GetIsPrepared()) << c.name;
      EXPECT_EQ(VMStatus_VerifyError, cls->Prepare(nullptr)) << c.name;
      interp_test::Outcome o = machine.world.Call(c.name, "f", "()V");
      EXPECT_EQ("<no method>", o.thrown) << c.name;
    }
  }
  // The sound class next to them prepares and runs.
  interp_test::Outcome o = machine.world.Call("Sound", "f", "(I)I", {41});
  EXPECT_EQ("", o.thrown) << o.message;
  EXPECT_EQ(42, o.Int());
  // A refused class's blocks are gone; the sound one keeps its own for the collector.
  VMMethod* sound = machine.world.Method("Sound", "f", "(I)I");
  ASSERT_NE(nullptr, sound);
  EXPECT_NE(nullptr, sound->GetBasicBlocks());
  machine.Destroy();
}

TEST(VerifierCorpusTest, ValidShapesRun) {
  ASSERT_FALSE(CorpusDir().empty());
  Machine machine;
  ASSERT_TRUE(machine.Create(CorpusDir()));
  interp_test::Outcome o = machine.world.Call("WideArgs", "f", "()Ljava/lang/Object;");
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ("z", machine.world.Text(o.Object()));
  o = machine.world.Call("Multi255", "f", "()Ljava/lang/Object;");
  EXPECT_EQ("", o.thrown);
  ASSERT_NE(nullptr, o.Object());
  EXPECT_EQ(256u, o.Object()->GetClass()->GetName()->UTF8Length());
  o = machine.world.Call("PlainSub", "f", "()I");
  EXPECT_EQ(3, o.Int());
  o = machine.world.Call("NewInConditional", "f", "(I)Ljava/lang/Object;", {7});
  EXPECT_EQ("", o.thrown);
  o = machine.world.Call("NullAsAnything", "f", "()V");
  EXPECT_EQ("java.lang.NullPointerException", o.thrown);
  // Linkage errors belong to the instruction that meets them, not to verification.
  o = machine.world.Call("MissingClass", "f", "(I)I", {0});
  EXPECT_EQ("", o.thrown);
  o = machine.world.Call("MissingClass", "f", "(I)I", {1});
  EXPECT_EQ("java.lang.NoClassDefFoundError", o.thrown);
  o = machine.world.Call("ArraysJoined", "f", "(I)Ljava/lang/Object;", {1});
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(nullptr, o.Object());
  machine.Destroy();
}

/* What verification keeps from running: with it off, the unchecked interpreter forges a
   reference from an int (seen as a word, never dereferenced here), and, in a child
   process, reads and writes outside objects. */
TEST(VerifierCorpusTest, WithoutVerificationTheseWouldCorruptTheMachine) {
  ASSERT_FALSE(CorpusDir().empty());
  Machine machine;
  ASSERT_TRUE(machine.Create(CorpusDir(), false));
  interp_test::Outcome o = machine.world.Call("Forge", "f", "()Ljava/lang/Object;");
  EXPECT_EQ("", o.thrown);
  EXPECT_EQ(0x41414141u, o.words[0]) << "an int became a reference";
  // Code that reads or writes past an object: run in a child, which either dies (the
  // sanitizers stop it) or finishes with what it read; both show it ran unchecked.
  struct Unsafe {
    const char* name;
    const char* signature;
  };
  const Unsafe unsafe[] = {{"Overread", "()I"}, {"Overwrite", "()V"}, {"WrongClass", "()I"},
                           {"PutRefWrongClass", "()V"}};
  for (const Unsafe& u : unsafe) {
    VMMethod* m = machine.world.Method(u.name, "f", u.signature);
    ASSERT_NE(nullptr, m) << u.name << " prepares without the verifier";
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      freopen("/dev/null", "w", stderr);
      interp_test::Outcome r = machine.world.Call(m, {});
      _exit(r.thrown.empty() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    // 3 would mean the interpreter caught the fault itself: it does not.
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << u.name;
  }
  machine.Destroy();
}

}  // namespace
}  // namespace verifier_test
