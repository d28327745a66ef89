/* Loaders the host drops while other loaders' classes are loaded, initialised and read,
   on threads of the same machine and of another machine of the name space. A class
   number the dropped loader's class held may go to a class of another loader at once;
   that class must then start with an empty slot of static data in every machine, and
   nothing of it may be taken or freed by the drop. The classes are written here, class
   file by class file: in each package P, C0..C(n-1) keep an int and an int array in
   their statics and answer v * 10000 + o[0] from them, and P/Count counts how many of
   their static initialisers ran. */
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmjvm.h"

using classfile_test::Bytes;
using classfile_test::ClassBuilder;
using natives_test::Machine;

namespace {

const int kClasses = 200;

void Push2(Bytes& code, uint8_t op, uint16_t operand) {
  code.push_back(op);
  code.push_back((uint8_t)(operand >> 8));
  code.push_back((uint8_t)operand);
}

/* P/C<k>: v = value, then Count.n++ when counted, then o = new int[] { k }. */
void WriteStaticsClass(const std::string& dir, const std::string& pkg, int k, int value, bool counted) {
  ClassBuilder b;
  const std::string name = pkg + "/C" + std::to_string(k);
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.AddField(0x0009, "v", "I");
  b.AddField(0x0009, "o", "Ljava/lang/Object;");
  const uint16_t v = b.Ref(9, name, "v", "I");
  const uint16_t o = b.Ref(9, name, "o", "Ljava/lang/Object;");
  const uint16_t ints = b.Class("[I");
  Bytes init;
  Push2(init, 0x11, (uint16_t)value);  // sipush
  Push2(init, 0xB3, v);                // putstatic
  if (counted) {
    const uint16_t n = b.Ref(9, pkg + "/Count", "n", "I");
    Push2(init, 0xB2, n);                             // getstatic
    init.insert(init.end(), {0x04, 0x60});            // iconst_1 iadd
    Push2(init, 0xB3, n);
  }
  init.insert(init.end(), {0x04, 0xBC, 0x0A, 0x59, 0x03});  // iconst_1 newarray int dup iconst_0
  Push2(init, 0x11, (uint16_t)k);
  init.push_back(0x4F);  // iastore
  Push2(init, 0xB3, o);
  init.push_back(0xB1);
  b.AddMethod(0x0008, "<clinit>", "()V", {b.CodeAttribute(4, 0, init)});
  Bytes get;
  Push2(get, 0xB2, v);
  Push2(get, 0x11, 10000);
  get.push_back(0x68);  // imul
  Push2(get, 0xB2, o);
  Push2(get, 0xC0, ints);                        // checkcast [I
  get.insert(get.end(), {0x03, 0x2E, 0x60, 0xAC});  // iconst_0 iaload iadd ireturn
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(3, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

void WriteCount(const std::string& dir, const std::string& pkg) {
  ClassBuilder b;
  const std::string name = pkg + "/Count";
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.AddField(0x0009, "n", "I");
  Bytes get;
  Push2(get, 0xB2, b.Ref(9, name, "n", "I"));
  get.push_back(0xAC);
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(1, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

/* What ax/C<k> and by/C<k> answer. */
int Dropped(int k) { return k * 10000 + k; }
int Kept(int k) { return (1000 + k) * 10000 + k; }

/* P/<name>.get() in the loader; -1 when the class is not found, -3 when get threw. */
int Answer(JNIEnv* env, const std::string& name, void* loader) {
  jclass c = env->functions->FindClassInLoaderId(env, name.c_str(), loader);
  if (c == nullptr) {
    env->functions->ExceptionClear(env);
    return -1;
  }
  jmethodID get = env->functions->GetStaticMethodID(env, c, "get", "()I");
  int v = get != nullptr ? env->functions->CallStaticIntMethod(env, c, get) : -2;
  if (env->functions->ExceptionCheck(env)) {
    env->functions->ExceptionClear(env);
    v = -3;
  }
  env->functions->DeleteLocalRef(env, c);
  return v;
}

int AnswerOf(JNIEnv* env, const char* pkg, int k, void* loader) {
  return Answer(env, std::string(pkg) + "/C" + std::to_string(k), loader);
}

class LoaderStaticsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("loaderstatics");
    ASSERT_EQ(0, mkdir((dir + "/ax").c_str(), 0777));
    ASSERT_EQ(0, mkdir((dir + "/by").c_str(), 0777));
    WriteCount(dir, "by");
    for (int k = 0; k < kClasses; k++) {
      WriteStaticsClass(dir, "ax", k, k, false);
      WriteStaticsClass(dir, "by", k, 1000 + k, true);
    }
  }
  static void TearDownTestSuite() { classfile_test::RemoveTree(dir); }

  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    fatal = refhost::FatalExitCount();
  }
  void TearDown() override {
    refhost::ResetHooks();
    m.Destroy();
  }

  /* A loader id of its own with the written classes on its path. */
  void* NewLoader() {
    void* id = (void*)(uintptr_t)(0x5d000 + nextLoader++);
    refhost::SetClassPath(id, dir);
    return id;
  }
  /* ax/C0..C(n-1) of the loader answered (and so initialised) on the env's machine. */
  void InitialiseDropped(JNIEnv* env, void* loader, int n) {
    for (int k = 0; k < n; k++) ASSERT_EQ(Dropped(k), AnswerOf(env, "ax", k, loader)) << k;
  }
  /* A frame of another thread that cannot be told word by word counts as naming the
     loader, which then stays for another try: the other threads end their passes. */
  void Drop(void* loader) {
    for (int attempt = 0; attempt < 1000 && JNI_FindClassLoaderLite(m.env, loader) != nullptr; attempt++) {
      if (attempt > 0) WhileOutside([] { std::this_thread::yield(); });
      JNI_DestroyClassLoaderLite(m.env, JNI_FindClassLoaderLite(m.env, loader));
    }
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, loader)) << "a loader nothing uses stayed";
  }
  /* How many of by/C*'s initialisers ran in the env's machine for the loader. */
  static int Initialisers(JNIEnv* env, void* loader) { return Answer(env, "by/Count", loader); }

  static std::string dir;
  static int nextLoader;
  Machine m;
  int fatal = 0;
};

std::string LoaderStaticsTest::dir;
int LoaderStaticsTest::nextLoader = 0;

/* One thread loads, initialises and calls a loader's classes while this one drops
   another loader whose classes, all initialised, held as many numbers just before. Each
   class must answer from its own statics, its initialiser run once, and the heap walk
   that follows must find no block freed under a live reference. */
TEST_F(LoaderStaticsTest, ALoaderDroppedWhileAnotherLoadsLeavesTheOthersStaticsWhole) {
  const int rounds = refhost::CollectionStress() != 0 ? 3 : 10;
  int wrong = 0;
  for (int round = 0; round < rounds && wrong == 0; round++) {
    void* dropped = NewLoader();
    void* kept = NewLoader();
    InitialiseDropped(m.env, dropped, kClasses);
    std::atomic<bool> go{false};
    std::vector<int> seen(kClasses, 0);
    std::thread loader([&] {
      JNIEnv* env = nullptr;
      if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) return;
      WhileOutside([&] {
        while (!go.load()) std::this_thread::yield();
      });
      for (int k = 0; k < kClasses; k++) seen[k] = AnswerOf(env, "by", k, kept);
      m.jvm->functions->DetachCurrentThread(m.jvm);
    });
    go.store(true);
    Drop(dropped);
    JoinOutside(loader);
    m.vm->GarbageCollect(false);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "round " << round << ": " << refhost::LastFatalExitText();
    for (int k = 0; k < kClasses; k++) {
      const int again = AnswerOf(m.env, "by", k, kept);
      if ((seen[k] != Kept(k) || again != Kept(k)) && wrong++ < 5)
        ADD_FAILURE() << "round " << round << ": by/C" << k << " answered " << seen[k] << " then " << again
                      << ", not " << Kept(k);
    }
    // More than one run of an initialiser means its statics were taken and made anew.
    EXPECT_EQ(kClasses, Initialisers(m.env, kept)) << "round " << round;
    Drop(kept);
  }
  EXPECT_EQ(0, wrong);
}

/* Two machines of the name space, each with its own slots of static data: the dropped
   loaders' classes are initialised in both, so each number is freed only once both
   slots are empty. Threads of both machines load, initialise and read the classes of
   fresh loaders of their own, pass after pass, while this thread drops two loaders with
   a collection between the drops. */
TEST_F(LoaderStaticsTest, ThreadsOfTwoMachinesKeepTheirStaticsWhileLoadersGoAroundACollection) {
  const bool stress = refhost::CollectionStress() != 0;
  const int rounds = stress ? 2 : 8;
  const int classes = stress ? 50 : 120;
  const int threads = 3;  // the last on the second machine
  const int passes = 16;  // at most, per thread and round
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.shareNameSpaceOf = m.jvm;
  JavaVM* second = nullptr;
  JNIEnv* secondEnv = nullptr;
  ASSERT_EQ(0, JNI_CreateJavaVM(&second, &secondEnv, &args));
  ASSERT_EQ(m.ns, second->nameSpace);
  ASSERT_EQ(0, second->functions->DetachCurrentThread(second));
  refhost::Functions()->AttachThreadEnv(m.jvm, m.env);
  refhost::Functions()->SetCurrentEnv(m.env);
  // Runs body on a thread attached to the machine, this one waiting outside.
  auto on = [&](JavaVM* jvm, auto body) {
    std::thread t([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &env, nullptr));
      body(env);
      jvm->functions->DetachCurrentThread(jvm);
    });
    JoinOutside(t);
  };
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* dropped[2] = {NewLoader(), NewLoader()};
    for (void* loader : dropped) {
      InitialiseDropped(m.env, loader, classes);
      on(second, [&](JNIEnv* env) { InitialiseDropped(env, loader, classes); });
    }
    std::vector<std::vector<void*>> kept(threads);
    for (int t = 0; t < threads; t++)
      for (int p = 0; p < passes; p++) kept[t].push_back(NewLoader());
    std::vector<std::string> wrong(threads);
    std::vector<int> used(threads, 0);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false}, done{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++) {
      JavaVM* jvm = t == threads - 1 ? second : m.jvm;
      workers.emplace_back([&, t, jvm] {
        JNIEnv* env = nullptr;
        if (jvm->functions->AttachCurrentThread(jvm, &env, nullptr) != 0) return;
        ready++;
        WhileOutside([&] {
          while (!go.load()) std::this_thread::yield();
        });
        for (int p = 0; p < passes && (p == 0 || !done.load()) && wrong[t].empty(); p++) {
          void* loader = kept[t][p];
          used[t] = p + 1;
          // Loaded and initialised, then read again once every class of the pass stands.
          for (int i = 0; i < 2 * classes && wrong[t].empty(); i++) {
            const int answer = AnswerOf(env, "by", i % classes, loader);
            if (answer != Kept(i % classes))
              wrong[t] = "pass " + std::to_string(p) + ": by/C" + std::to_string(i % classes) + " answered " +
                         std::to_string(answer) + ", not " + std::to_string(Kept(i % classes));
          }
          const int inits = Initialisers(env, loader);
          if (wrong[t].empty() && inits != classes)
            wrong[t] = "pass " + std::to_string(p) + ": " + std::to_string(inits) + " initialisers ran";
        }
        jvm->functions->DetachCurrentThread(jvm);
      });
    }
    WhileOutside([&] {
      while (ready.load() < threads) std::this_thread::yield();
    });
    go.store(true);
    Drop(dropped[0]);
    m.vm->GarbageCollect(false);
    Drop(dropped[1]);
    done.store(true);
    JoinOutside(workers);
    m.vm->GarbageCollect(false);
    on(second, [&](JNIEnv*) { second->vm->GarbageCollect(false); });
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "round " << round << ": " << refhost::LastFatalExitText();
    for (int t = 0; t < threads; t++) {
      EXPECT_EQ("", wrong[t]) << "round " << round << ", thread " << t;
      for (int p = 0; p < used[t]; p++) Drop(kept[t][p]);
    }
  }
  std::thread end([&] {
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, second->functions->AttachCurrentThread(second, &env, nullptr));
    EXPECT_EQ(0, second->functions->DestroyJavaVM(second));
  });
  JoinOutside(end);
}

}  // namespace
