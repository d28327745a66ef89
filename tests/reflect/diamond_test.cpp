/* The public methods of interfaces reached along many paths (reflect.diamond: ten
   diamonds in a chain, each side redeclaring one method of the bottom interface, the
   side without m walked first): a method is hidden only by one that an interface
   extending its own declares, never by the walk's order, and every Method listed is of
   a prepared interface, whichever of several threads lists it first. */
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "natives_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmjvm.h"

using natives_test::Machine;

namespace {

class DiamondTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create(1, "reflect")); }
  void TearDown() override { m.Destroy(); }
  std::string Of(const char* name) {
    return m.CallText("reflect/diamond/Probe", "of", "(Ljava/lang/String;)Ljava/lang/String;", {(VMword)m.String(name)});
  }
  Machine m;
};

TEST_F(DiamondTest, OnlyTheRedeclarationLowestInTheChainIsListed) {
  EXPECT_EQ("T: L10.m R10.n", Of("T"));
  EXPECT_EQ("D10: L10.m R10.n", Of("D10"));
  EXPECT_EQ("D1: L1.m R1.n", Of("D1"));
  // One side alone: the other method is still the bottom's.
  EXPECT_EQ("R1: D0.m R1.n", Of("R1"));
  EXPECT_EQ("L7: L7.m R6.n", Of("L7"));
  EXPECT_EQ("L1: D0.n L1.m", Of("L1"));
  EXPECT_EQ("D0: D0.m D0.n", Of("D0"));
  EXPECT_EQ("", m.TakeException());
}

/* What the threads of a round saw: Probe.unusable of T's list (0 when each Method gave
   its modifiers and text and ran), or -2 when the list or the classes were not had. */
int ListAndUse(JavaVM* jvm, void* loader, std::atomic<int>* waiting) {
  JNIEnv* env = nullptr;
  if (jvm->functions->AttachCurrentThread(jvm, &env, nullptr) != 0) return -3;
  // All at once: the first list of a fresh loader's T prepares its superinterfaces.
  waiting->fetch_sub(1);
  WhileOutside([&] {
    while (waiting->load() > 0) std::this_thread::yield();
  });
  int seen = -2;
  jclass t = env->functions->FindClassInLoaderId(env, "reflect/diamond/T", loader);
  jclass probe = env->functions->FindClassInLoaderId(env, "reflect/diamond/Probe", loader);
  jmethodID unusable = probe != nullptr ? env->functions->GetStaticMethodID(env, probe, "unusable",
                                                                           "([Ljava/lang/reflect/Method;)I")
                                        : nullptr;
  jobject list = t != nullptr && unusable != nullptr ? JVM_GetClassMethods(env, t, 0) : nullptr;
  if (list != nullptr) seen = env->functions->CallStaticIntMethod(env, probe, unusable, list);
  if (env->functions->ExceptionCheck(env)) seen = -4;
  env->functions->ExceptionClear(env);
  jvm->functions->DetachCurrentThread(jvm);
  return seen;
}

/* Rounds of four threads that list the T of a new loader at once, before anything
   prepared the interfaces above it: each list names L10.m and R10.n, both usable. The
   loaders stay until the machine goes. */
TEST_F(DiamondTest, ThreadsListingAFreshLoadersInterfaceAtOnceGetUsableMethods) {
  const int kThreads = 4;
  // A collection at every allocation makes each round cost seconds: fewer rounds then.
  const int kRounds = refhost::CollectionStress() != 0 ? 4 : 12;
  for (int round = 0; round < kRounds; round++) {
    void* loader = (void*)(uintptr_t)(0x700 + round);
    refhost::SetClassPath(loader, natives_test::ClassDir("reflect"));
    std::atomic<int> waiting{kThreads};
    std::vector<int> seen(kThreads, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; i++)
      threads.emplace_back([&, i] { seen[i] = ListAndUse(m.jvm, loader, &waiting); });
    JoinOutside(threads);
    for (int i = 0; i < kThreads; i++) EXPECT_EQ(0, seen[i]) << "round " << round << ", thread " << i;
    if (HasFailure()) break;
  }
}

/* Loaders that each ran a class's initialiser, all alive while the machine's slot array
   of static data grows for their classes, then destroyed: an outgrown array stays alive
   for readers without the lock, and must not name the data freed with its class to the
   collector that walks it. */
TEST_F(DiamondTest, ADestroyedLoadersStaticDataIsNamedByNoOutgrownSlotArray) {
  JNIEnv* env = m.env;
  const int kLoaders = 24;
  const int fatal = refhost::FatalExitCount();
  for (int i = 0; i < kLoaders; i++) {
    void* loader = (void*)(uintptr_t)(0x780 + i);
    refhost::SetClassPath(loader, natives_test::ClassDir("reflect"));
    jclass probe = env->functions->FindClassInLoaderId(env, "reflect/diamond/Probe", loader);
    ASSERT_NE(nullptr, probe) << "loader " << i;
    jmethodID unusable = env->functions->GetStaticMethodID(env, probe, "unusable", "([Ljava/lang/reflect/Method;)I");
    ASSERT_NE(nullptr, unusable) << "loader " << i;
    // Runs the initialiser: the class's static data takes its slot in this machine.
    EXPECT_EQ(-1, env->functions->CallStaticIntMethod(env, probe, unusable, nullptr)) << "loader " << i;
    env->functions->DeleteLocalRef(env, probe);
  }
  for (int i = 0; i < kLoaders && !HasFailure(); i++) {
    void* loader = (void*)(uintptr_t)(0x780 + i);
    JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, loader));
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(env, loader)) << "loader " << i << " stayed";
    m.vm->GarbageCollect(false);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "loader " << i << ": " << refhost::LastFatalExitText();
  }
  EXPECT_EQ("", m.TakeException());
}

}  // namespace
