/* The verifier against the JDK's (java -Xverify:all, which judges 45.3 class files by the
   type inference of their era): the corpus of verifier_corpus.h and the probes below are
   accepted or refused alike by both, except for the divergences listed here, each kept
   on purpose and memory-safe (the interpreter reads scalars as bits), or each a refusal
   that both make at a different stage. */
#include <stdio.h>

#include <map>
#include <sstream>

#include "verifier_corpus.h"
#include "verifier_support.h"

namespace verifier_test {
namespace {

/* Probes of the rules where the usual verifiers and the Parts may part. */
const CorpusCase kProbes[] = {
    {"IntAsFloat", "ok", "fadd of an int and a float", R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  iconst_1
  fconst_1
  fadd
  pop
  return
.end method
)"},
    {"HalfLong", "ok", "pop of half a long", R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  lconst_0
  pop
  pop
  return
.end method
)"},
    {"IntsAsLong", "ok", "ladd of four ints", R"(.method public static f()V
  .limit stack 4
  .limit locals 0
  iconst_0
  iconst_0
  iconst_0
  iconst_0
  ladd
  pop2
  return
.end method
)"},
    {"LongAsDouble", "ok", "dadd of a long and a double", R"(.method public static f()V
  .limit stack 4
  .limit locals 0
  lconst_0
  dconst_0
  dadd
  pop2
  return
.end method
)"},
    {"IstoreRa", "ok", "istore of a return address", R"(.method public static f()V
  .limit stack 1
  .limit locals 2
  jsr S
  return
S:
  istore_1
  return
.end method
)"},
    {"InterfaceParam", "ok", "a String passed where an interface is declared", R"(.method public static g(Ljava/lang/Runnable;)V
  .limit stack 1
  .limit locals 1
  return
.end method
.method public static f()V
  .limit stack 1
  .limit locals 0
  ldc "s"
  invokestatic $C/g(Ljava/lang/Runnable;)V
  return
.end method
)"},
    {"ArrayAsCloneable", "ok", "an int[] returned as Cloneable", R"(.method public static f()Ljava/lang/Cloneable;
  .limit stack 1
  .limit locals 0
  iconst_1
  newarray int
  areturn
.end method
)"},
    {"JoinToObject", "ok", "a StringBuffer and a String joined, then passed as an Object", R"(.method public static f(I)Z
  .limit stack 2
  .limit locals 2
  iload_0
  ifeq A
  ldc "s"
  astore_1
  goto J
A:
  new java/lang/StringBuffer
  dup
  invokespecial java/lang/StringBuffer/<init>()V
  astore_1
J:
  aload_1
  aload_1
  invokevirtual java/lang/Object/equals(Ljava/lang/Object;)Z
  ireturn
.end method
)"},
    {"AastoreCovariant", "ok", "a String stored into an Integer[] (checked when it runs)", R"(.method public static f()V
  .limit stack 3
  .limit locals 0
  iconst_1
  anewarray java/lang/Integer
  iconst_0
  ldc "s"
  aastore
  return
.end method
)"},
    {"InterfaceToClass", "types", "a value declared Runnable passed where a String is declared", R"(.method public static g(Ljava/lang/String;)V
  .limit stack 1
  .limit locals 1
  return
.end method
.method public static f(Ljava/lang/Runnable;)V
  .limit stack 1
  .limit locals 1
  aload_0
  invokestatic $C/g(Ljava/lang/String;)V
  return
.end method
)"},
    {"PrimitiveArrays", "types", "an int[] passed where a long[] is declared", R"(.method public static g([J)V
  .limit stack 1
  .limit locals 1
  return
.end method
.method public static f()V
  .limit stack 1
  .limit locals 0
  iconst_1
  newarray int
  invokestatic $C/g([J)V
  return
.end method
)"},
    {"UninitReturned", "types", "an object returned before its constructor ran", R"(.method public static f()Ljava/lang/Object;
  .limit stack 1
  .limit locals 0
  new java/lang/Object
  areturn
.end method
)"},
    {"SuperOfSuper", "ok", "invokespecial of a method of the superclass's superclass", R"(.method public f()I
  .limit stack 1
  .limit locals 1
  aload_0
  invokespecial java/lang/Object/hashCode()I
  ireturn
.end method
)"},
};

/* Where the two part, and why. */
struct Divergence {
  const char* name;
  const char* ours;
  const char* jdk;
  const char* why;
};
const Divergence kDivergences[] = {
    {"IfIcmpRa", "ok", "java.lang.VerifyError", "a return address may be used as an int (it is a code offset, never a pointer)"},
    {"IstoreRa", "ok", "java.lang.VerifyError", "a return address may be stored as an int"},
    {"IntAsFloat", "ok", "java.lang.VerifyError", "int and float are not told apart"},
    {"LongAsDouble", "ok", "java.lang.VerifyError", "long and double are not told apart"},
    {"IntsAsLong", "ok", "java.lang.VerifyError", "two one-word scalars pass for a two-word one"},
    {"HalfLong", "ok", "java.lang.VerifyError", "a two-word value may be split"},
    {"BadName", "java.lang.VerifyError", "java.lang.ClassFormatError", "refused by the verifier's name check, not the parser"},
    {"SpecialClinit", "java.lang.VerifyError", "java.lang.ClassFormatError",
     "refused by the verifier's invocation rule, not the parser"},
};

std::string Ours(Machine& m, const std::string& name) {
  VMStatus s = m.Prepare(name);
  if (s == 0) return "ok";
  const char* cls = VMStatusClassName(s);
  std::string dotted = cls != nullptr ? cls : "status " + std::to_string(s);
  for (char& c : dotted)
    if (c == '/') c = '.';
  return dotted;
}

TEST(VerifierDifferentialTest, TheJdkAndThisVerifierJudgeAlike) {
  if (system("java -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no java on this machine";
  std::vector<const CorpusCase*> cases;
  for (const CorpusCase& c : kSubroutineCases) cases.push_back(&c);
  for (const CorpusCase& c : kShapeCases) cases.push_back(&c);
  for (const CorpusCase& c : kTypeCases) cases.push_back(&c);
  for (const CorpusCase& c : kKindCases) cases.push_back(&c);
  for (const CorpusCase& c : kValidCases) cases.push_back(&c);
  for (const CorpusCase& c : kProbes) cases.push_back(&c);

  std::string dir = ScratchDir("differential");
  std::vector<std::pair<std::string, std::string>> sources;
  for (const CorpusCase* c : cases) {
    std::string body = c->methods;
    for (size_t at; (at = body.find("$C")) != std::string::npos;) body.replace(at, 2, c->name);
    for (size_t at; (at = body.find("$255")) != std::string::npos;) body.replace(at, 4, std::string(255, '['));
    sources.push_back({c->name, ".class public " + std::string(c->name) +
                                    "\n.super java/lang/Object\n.field public x I\n.field public r Ljava/lang/Object;\n" +
                                    body});
  }
  ASSERT_EQ("", Assemble(dir, sources));

  std::string driver = ScratchDir("jdkdriver");
  ASSERT_EQ(0, system(("ecj -source 1.3 -target 1.1 -nowarn -d '" + driver + "' '" + PUX_SOURCE_DIR +
                       "/tests/verifier/jdk/VerifyDriver.java' >/dev/null 2>&1")
                          .c_str()));
  std::string command = "java -Xverify:all -Xshare:off -cp '" + dir + ":" + driver + "' VerifyDriver";
  for (const CorpusCase* c : cases) command += std::string(" ") + c->name;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  ASSERT_NE(nullptr, p);
  std::map<std::string, std::string> jdk;
  char line[1024];
  while (fgets(line, sizeof line, p) != nullptr) {
    std::istringstream in(line);
    std::string name, verdict;
    in >> name >> verdict;
    jdk[name] = verdict;
  }
  pclose(p);

  std::map<std::string, const Divergence*> divergences;
  for (const Divergence& d : kDivergences) divergences[d.name] = &d;
  Machine machine;
  ASSERT_TRUE(machine.Create(dir));
  uint32_t alike = 0;
  for (const CorpusCase* c : cases) {
    std::string ours = Ours(machine, c->name);
    ASSERT_TRUE(jdk.count(c->name)) << "no answer from the JDK for " << c->name;
    auto d = divergences.find(c->name);
    if (d != divergences.end()) {
      EXPECT_EQ(d->second->ours, ours) << c->name << ": " << d->second->why;
      EXPECT_EQ(d->second->jdk, jdk[c->name]) << c->name << ": " << d->second->why;
      continue;
    }
    EXPECT_EQ(jdk[c->name], ours) << c->name << ": " << c->why;
    alike++;
  }
  printf("%u classes judged alike, %zu known divergences\n", alike, divergences.size());
  machine.Destroy();
}

}  // namespace
}  // namespace verifier_test
