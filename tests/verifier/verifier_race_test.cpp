/* Two threads preparing two classes at once whose verification each needs the other
   loaded (to join the two types, and to pass one where their common superclass is
   declared): each preparation holds its own class's monitor while it verifies, so a walk
   that waited on the other class's monitor would deadlock. Round after round on fresh
   pairs; every preparation must succeed and none may hang. */
#include <atomic>
#include <thread>

#include "verifier_support.h"
#include "vmjni.h"

namespace verifier_test {
namespace {

const int kPairs = 60;

std::string PairSource(const std::string& self, const std::string& other, const std::string& base) {
  return ".class public " + self + "\n.super " + base +
         "\n"
         ".method public <init>()V\n  .limit stack 1\n  .limit locals 1\n  aload_0\n  invokespecial " +
         base + "/<init>()V\n  return\n.end method\n" +
         ".method public static g(L" + other + ";)L" + base + ";\n  .limit stack 1\n  .limit locals 1\n  aload_0\n"
         "  areturn\n.end method\n"
         ".method public static h(I)L" + base + ";\n  .limit stack 1\n  .limit locals 1\n  iload_0\n  ifeq X\n"
         "  aconst_null\n  checkcast " + self + "\n  goto J\nX:\n  aconst_null\n  checkcast " + other +
         "\nJ:\n  areturn\n.end method\n";
}

TEST(VerifierRaceTest, TwoClassesVerifiedAtOnceThatNeedEachOtherNeverWait) {
  std::string dir = ScratchDir("race");
  std::vector<std::pair<std::string, std::string>> sources;
  for (int k = 0; k < kPairs; k++) {
    std::string p = "P" + std::to_string(k);
    sources.push_back({p + "Base", ".class public " + p +
                                       "Base\n.super java/lang/Object\n.method public <init>()V\n  .limit stack 1\n"
                                       "  .limit locals 1\n  aload_0\n  invokespecial java/lang/Object/<init>()V\n"
                                       "  return\n.end method\n"});
    sources.push_back({p + "A", PairSource(p + "A", p + "B", p + "Base")});
    sources.push_back({p + "B", PairSource(p + "B", p + "A", p + "Base")});
  }
  ASSERT_EQ("", Assemble(dir, sources));
  Machine machine;
  ASSERT_TRUE(machine.Create(dir));
  interp_test::World& world = machine.world;
  // The first pair alone: verifying one class loads the other, and prepares it not.
  VMLoadableClass* first = world.Class("P0A");
  VMLoadableClass* second = world.Class("P0B");
  ASSERT_TRUE(first != nullptr && second != nullptr);
  ASSERT_EQ(0, first->Prepare(nullptr));
  EXPECT_TRUE(second->GetIsLoaded());
  EXPECT_FALSE(second->GetIsPrepared());
  for (int k = 1; k < kPairs; k++) {
    std::string p = "P" + std::to_string(k);
    VMLoadableClass* classes[2] = {world.Class((p + "A").c_str()), world.Class((p + "B").c_str())};
    ASSERT_NE(nullptr, classes[0]);
    ASSERT_NE(nullptr, classes[1]);
    std::atomic<int> ready{0};
    VMStatus results[2] = {-1, -1};
    auto body = [&](int i) {
      JNIEnv* env = VMJniCreateEnv(world.jvm);
      VMJniAttachEnv(world.jvm, env);
      ready++;
      while (ready.load() < 2) std::this_thread::yield();
      results[i] = classes[i]->Prepare(nullptr);
      VMJniDetachEnv(world.jvm);
      VMJniClearHostEnv();
    };
    std::thread a(body, 0), b(body, 1);
    a.join();
    b.join();
    refhost::Functions()->SetCurrentEnv(world.env);
    EXPECT_EQ(0, results[0]) << p;
    EXPECT_EQ(0, results[1]) << p;
    EXPECT_TRUE(classes[0]->GetIsPrepared() && classes[1]->GetIsPrepared()) << p;
  }
  machine.Destroy();
}

}  // namespace
}  // namespace verifier_test
