/* Loaders dropped from several threads at once (one loader from three threads, loaders
   of their own from threads of two machines), and loaders with classes of every shape (no static
   fields, an interface with constants, arrays of its classes) initialised in two
   machines. Nothing the dropped loaders held may stay behind (class numbers, static
   data), nothing may be freed twice or read once freed, no destroyer may wait for
   another for good, and initialisers run once in each machine. Package cz holds the
   counted C<k> and Count of loader_classes.h and, written here, E with no static field
   and I, an interface with a constant and an object made by its initialiser. */
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loader_classes.h"
#include "vmhandlearray.h"
#include "vmnamespace.h"
#include "vmutils.h"

using classfile_test::Bytes;
using classfile_test::ClassBuilder;
using loader_classes::Answer;
using loader_classes::CountOne;
using loader_classes::Push2;

namespace {

const int kClasses = 40;

/* P/E: no static field; its initialiser counts, get answers 77. */
void WriteEmpty(const std::string& dir, const std::string& pkg) {
  ClassBuilder b;
  const std::string name = pkg + "/E";
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  Bytes init;
  CountOne(b, init, pkg);
  init.push_back(0xB1);
  b.AddMethod(0x0008, "<clinit>", "()V", {b.CodeAttribute(2, 0, init)});
  Bytes get;
  Push2(get, 0x10 + 1, 77);  // sipush 77
  get.push_back(0xAC);
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(1, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

/* P/I: interface, K = 55 as a constant, A = new int[] { 5 } made by its initialiser,
   which counts; P/J implements it and answers K * 100 + A[0] through I's fields. */
void WriteInterface(const std::string& dir, const std::string& pkg) {
  {
    ClassBuilder b;
    const std::string name = pkg + "/I";
    b.access = 0x0601;
    b.thisClass = b.Class(name);
    b.superClass = b.Class("java/lang/Object");
    const uint16_t constantValue = b.Utf8("ConstantValue");
    Bytes value;
    const uint16_t fiftyFive = b.Integer(55);
    value.push_back((uint8_t)(fiftyFive >> 8));
    value.push_back((uint8_t)fiftyFive);
    b.AddField(0x0019, "K", "I", {{constantValue, value}});
    b.AddField(0x0019, "A", "[I");
    Bytes init;
    CountOne(b, init, pkg);
    init.insert(init.end(), {0x04, 0xBC, 0x0A, 0x59, 0x03, 0x08, 0x4F});  // new int[]{5}
    Push2(init, 0xB3, b.Ref(9, name, "A", "[I"));
    init.push_back(0xB1);
    b.AddMethod(0x0008, "<clinit>", "()V", {b.CodeAttribute(4, 0, init)});
    ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
  }
  ClassBuilder b;
  const std::string name = pkg + "/J";
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.interfaces.push_back(b.Class(pkg + "/I"));
  Bytes get;
  Push2(get, 0xB2, b.Ref(9, pkg + "/I", "K", "I"));
  Push2(get, 0x11, 100);
  get.push_back(0x68);
  Push2(get, 0xB2, b.Ref(9, pkg + "/I", "A", "[I"));
  get.insert(get.end(), {0x03, 0x2E, 0x60, 0xAC});
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(3, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

/* Every class of the package answered (and so initialised) in the env's machine; the
   count of wrong answers. Arrays of C0, one and two deep, are made and let go. */
int UseAll(JNIEnv* env, void* loader) {
  int wrong = loader_classes::Wrong(env, "cz", kClasses, loader);
  wrong += Answer(env, "cz/E", loader) != 77;
  wrong += Answer(env, "cz/J", loader) != 5505;
  // Made from the element class: a name of an array is looked up in the thread's
  // current loader, not in the one given.
  jclass c0 = env->functions->FindClassInLoaderId(env, "cz/C0", loader);
  jobjectArray a = c0 != nullptr ? env->functions->NewObjectArray(env, 3, c0, nullptr) : nullptr;
  jclass one = a != nullptr ? env->functions->GetObjectClass(env, a) : nullptr;
  jobjectArray d = one != nullptr ? env->functions->NewObjectArray(env, 2, one, a) : nullptr;
  if (d == nullptr) wrong++;
  env->functions->ExceptionClear(env);
  for (jobject ref : {(jobject)c0, (jobject)a, (jobject)one, (jobject)d})
    if (ref != nullptr) env->functions->DeleteLocalRef(env, ref);
  return wrong;
}

/* Initialisers the package's classes ran in the env's machine for the loader. */
int Initialisers(JNIEnv* env, void* loader) { return loader_classes::Initialisers(env, "cz", loader); }
const int kInitialisers = kClasses + 2;  // C*, E and I

/* Class numbers in use in the name space. */
uint32_t NumbersInUse(VMNameSpace* ns) {
  uint32_t used = 0;
  if (!VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - test")) return 0;
  VMClassHandleArray* classes = ns->GetClasses();
  for (uint32_t i = 1; classes != nullptr && i < classes->GetCount(); i++) used += classes->Get(i) != nullptr;
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - test");
  return used;
}

class LoaderStaticsAttackTest : public loader_classes::LoaderTest {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("loaderattack");
    ASSERT_NO_FATAL_FAILURE(loader_classes::WriteCountedPackage(dir, "cz", kClasses));
    WriteEmpty(dir, "cz");
    WriteInterface(dir, "cz");
  }
  static void TearDownTestSuite() { classfile_test::RemoveTree(dir); }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoaderTest::SetUp());
    MakeSharing(&second);
  }
  void TearDown() override {
    if (second != nullptr) End(second);
    LoaderTest::TearDown();
  }

  void* NewLoader() { return loader_classes::NewLoaderId(dir, 0x6e000, nextLoader); }

  static std::string dir;
  static int nextLoader;
  JavaVM* second = nullptr;
};

std::string LoaderStaticsAttackTest::dir;
int LoaderStaticsAttackTest::nextLoader = 0;

/* Loaders whose classes (with statics, without any, an interface with constants, arrays
   of C0 one and two deep) are used in both machines are dropped round after round:
   the class numbers in use and the blocks of both machines' heaps come back to where
   they stood after the first round, and a fresh loader's classes, given the freed
   numbers, start empty and run each initialiser once in each machine. */
TEST_F(LoaderStaticsAttackTest, LoadersOfEveryShapeUsedInTwoMachinesLeaveNothingBehind) {
  const int rounds = refhost::CollectionStress() != 0 ? 3 : 6;
  uint32_t numbers = 0, blocks = 0, secondBlocks = 0;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loader = NewLoader();
    EXPECT_EQ(0, UseAll(m.env, loader)) << "round " << round;
    EXPECT_EQ(kInitialisers, Initialisers(m.env, loader)) << "round " << round;
    On(second, [&](JNIEnv* env) {
      EXPECT_EQ(0, UseAll(env, loader)) << "round " << round;
      EXPECT_EQ(kInitialisers, Initialisers(env, loader)) << "round " << round;
    });
    // A second pass finds everything initialised: no initialiser runs again.
    EXPECT_EQ(0, UseAll(m.env, loader)) << "round " << round;
    EXPECT_EQ(kInitialisers, Initialisers(m.env, loader)) << "round " << round;
    Drop(loader);
    CollectBoth(second);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "round " << round << ": " << refhost::LastFatalExitText();
    uint32_t nowBlocks = 0;
    On(second, [&](JNIEnv*) { nowBlocks = refhost::BlocksInUse(second->vm->GetHeap()); });
    if (round == 1) {
      numbers = NumbersInUse(m.ns);
      blocks = refhost::BlocksInUse(m.vm->GetHeap());
      secondBlocks = nowBlocks;
    } else if (round > 1) {
      EXPECT_EQ(numbers, NumbersInUse(m.ns)) << "round " << round << ": class numbers kept by dropped loaders";
      EXPECT_EQ(blocks, refhost::BlocksInUse(m.vm->GetHeap())) << "round " << round;
      EXPECT_EQ(secondBlocks, nowBlocks) << "round " << round;
    }
  }
}

/* Two threads of the machine, and one of the other, drop the same loader at once, each
   through a reference it took before either began. The loader goes once: no block is
   freed twice or read after it was freed (the sanitizer build, poisoned blocks), and a
   loader made next answers its classes whole. */
TEST_F(LoaderStaticsAttackTest, ALoaderDroppedByThreeThreadsAtOnceGoesOnce) {
  const int rounds = refhost::CollectionStress() != 0 ? 4 : 30;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loader = NewLoader();
    ASSERT_EQ(0, UseAll(m.env, loader));
    On(second, [&](JNIEnv* env) { ASSERT_EQ(0, UseAll(env, loader)); });
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> droppers;
    for (int t = 0; t < 3; t++) {
      JavaVM* jvm = t == 2 ? second : m.jvm;
      droppers.emplace_back([&, jvm] {
        JNIEnv* env = nullptr;
        if (jvm->functions->AttachCurrentThread(jvm, &env, nullptr) != 0) return;
        jobject ref = JNI_FindClassLoaderLite(env, loader);
        ready++;
        WhileOutside([&] {
          while (!go.load()) std::this_thread::yield();
        });
        if (ref != nullptr) JNI_DestroyClassLoaderLite(env, ref);
        jvm->functions->DetachCurrentThread(jvm);
      });
    }
    WhileOutside([&] {
      while (ready.load() < 3) std::this_thread::yield();
    });
    go.store(true);
    JoinOutside(droppers);
    Drop(loader);
    CollectBoth(second);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "round " << round << ": " << refhost::LastFatalExitText();
    void* next = NewLoader();
    EXPECT_EQ(0, UseAll(m.env, next)) << "round " << round;
    EXPECT_EQ(kInitialisers, Initialisers(m.env, next)) << "round " << round;
    Drop(next);
  }
}

/* A thread of each machine drops a loader of its own at the same time, and again until
   it is gone: each destroy stops the other machine, whose thread runs on in its own
   destroy. Both loaders go, and neither thread waits for the other for good. */
TEST_F(LoaderStaticsAttackTest, ThreadsOfTwoMachinesDropTheirOwnLoadersAtOnce) {
  const int rounds = refhost::CollectionStress() != 0 ? 4 : 30;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loaders[2] = {NewLoader(), NewLoader()};
    ASSERT_EQ(0, UseAll(m.env, loaders[0]));
    On(second, [&](JNIEnv* env) { ASSERT_EQ(0, UseAll(env, loaders[1])); });
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<bool> gone(2, false);
    std::vector<std::thread> droppers;
    for (int t = 0; t < 2; t++) {
      JavaVM* jvm = t == 1 ? second : m.jvm;
      droppers.emplace_back([&, t, jvm] {
        JNIEnv* env = nullptr;
        if (jvm->functions->AttachCurrentThread(jvm, &env, nullptr) != 0) return;
        ready++;
        WhileOutside([&] {
          while (!go.load()) std::this_thread::yield();
        });
        // A drop kept for a frame that cannot be told is tried again, a millisecond
        // apart, for as long as a slow build's drop may take (most of a minute at most).
        for (int attempt = 0; attempt < 60000 && JNI_FindClassLoaderLite(env, loaders[t]) != nullptr; attempt++) {
          if (attempt > 0) WhileOutside([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
          JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, loaders[t]));
        }
        gone[t] = JNI_FindClassLoaderLite(env, loaders[t]) == nullptr;
        jvm->functions->DetachCurrentThread(jvm);
      });
    }
    WhileOutside([&] {
      while (ready.load() < 2) std::this_thread::yield();
    });
    go.store(true);
    JoinOutside(droppers);
    EXPECT_TRUE(gone[0] && gone[1]) << "round " << round << ": a loader nothing uses stayed";
    CollectBoth(second);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "round " << round << ": " << refhost::LastFatalExitText();
  }
}

/* Two threads of each machine drop loaders of their own at once, one destroy call each,
   as a server whose connections end together does: a loader nothing uses goes at that
   call, whatever other destroys run meanwhile in its machine or the other one. */
TEST_F(LoaderStaticsAttackTest, ThreadsOfBothMachinesDropLoadersOfTheirOwnEachAtItsFirstCall) {
  const int threads = 4, rounds = refhost::CollectionStress() != 0 ? 3 : 20;
  std::vector<void*> loaders;
  for (int i = 0; i < threads * rounds; i++) loaders.push_back(NewLoader());
  std::atomic<int> ready{0}, wrong{0}, kept{0};
  std::vector<std::thread> droppers;
  for (int t = 0; t < threads; t++) {
    JavaVM* jvm = t % 2 == 1 ? second : m.jvm;
    droppers.emplace_back([&, t, jvm] {
      JNIEnv* env = nullptr;
      if (jvm->functions->AttachCurrentThread(jvm, &env, nullptr) != 0) return;
      ready++;
      WhileOutside([&] {
        while (ready.load() < threads) std::this_thread::yield();
      });
      for (int r = 0; r < rounds; r++) {
        void* loader = loaders[t * rounds + r];
        wrong += loader_classes::Wrong(env, "cz", 8, loader);
        jobject l = JNI_FindClassLoaderLite(env, loader);
        JNI_DestroyClassLoaderLite(env, l);
        env->functions->DeleteLocalRef(env, l);
        kept += JNI_FindClassLoaderLite(env, loader) != nullptr;
      }
      jvm->functions->DetachCurrentThread(jvm);
    });
  }
  JoinOutside(droppers);
  EXPECT_EQ(0, wrong.load());
  EXPECT_EQ(0, kept.load()) << "of " << threads * rounds << " drops of loaders nothing used, refused while others ran";
  for (void* loader : loaders) Drop(loader);
  CollectBoth(second);
  ASSERT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
}

}  // namespace
