/* Loaders the host drops while other loaders' classes are loaded, initialised and read,
   on threads of the same machine and of another machine of the name space. A class
   number the dropped loader's class held may go to a class of another loader at once;
   that class must then start with an empty slot of static data in every machine, and
   nothing of it may be taken or freed by the drop. The classes are those of
   loader_classes.h: ax/C<k> keep v = k and count nothing, by/C<k> keep v = 1000 + k and
   by/Count counts how many of their static initialisers ran. */
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loader_classes.h"

using loader_classes::Answer;
using loader_classes::AnswerOf;
using loader_classes::WriteCount;
using loader_classes::WriteStaticsClass;

namespace {

const int kClasses = 200;

/* What ax/C<k> and by/C<k> answer. */
int Dropped(int k) { return k * 10000 + k; }
int Kept(int k) { return loader_classes::Expected(k); }

class LoaderStaticsTest : public loader_classes::LoaderTest {
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

  /* A loader id of its own with the written classes on its path. */
  void* NewLoader() { return loader_classes::NewLoaderId(dir, 0x5d000, nextLoader); }
  /* ax/C0..C(n-1) of the loader answered (and so initialised) on the env's machine. */
  void InitialiseDropped(JNIEnv* env, void* loader, int n) {
    for (int k = 0; k < n; k++) ASSERT_EQ(Dropped(k), AnswerOf(env, "ax", k, loader)) << k;
  }
  /* How many of by/C*'s initialisers ran in the env's machine for the loader. */
  static int Initialisers(JNIEnv* env, void* loader) { return loader_classes::Initialisers(env, "by", loader); }

  static std::string dir;
  static int nextLoader;
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
  JavaVM* second = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeSharing(&second));
  ASSERT_EQ(m.ns, second->nameSpace);
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* dropped[2] = {NewLoader(), NewLoader()};
    for (void* loader : dropped) {
      InitialiseDropped(m.env, loader, classes);
      On(second, [&](JNIEnv* env) { InitialiseDropped(env, loader, classes); });
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
    CollectBoth(second);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << "round " << round << ": " << refhost::LastFatalExitText();
    for (int t = 0; t < threads; t++) {
      EXPECT_EQ("", wrong[t]) << "round " << round << ", thread " << t;
      for (int p = 0; p < used[t]; p++) Drop(kept[t][p]);
    }
  }
  End(second);
}

}  // namespace
