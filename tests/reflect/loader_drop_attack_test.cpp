/* A loader dropped from a name space of several machines while the machines around it
   change: a machine's end begins while the drop collects it (the dropper attached to
   that machine, or to another; the ender attached or not), a machine is made and uses
   the loader's classes while the drop runs, the host moves the machines between the
   tries of a refused let-go step, and threads use and let go of the loader's classes
   while the host drops it again and again; a host that moves a machine by its rule
   while a drop runs; a drop in another name space while a drop here waits, global
   references held over a drop, and a loader whose class left garbage with finalizers.
   No wait may last for good: each scene runs under a watchdog that fails the program,
   naming the scene, should it hang. The classes are the counted dz/C<k> and dz/Count of
   loader_classes.h, and fz/F of tests/java/reflect_loader. */
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../jni/moves_gate.h"
#include "loader_classes.h"
#include "machine_move.h"
#include "vmhandlearray.h"
#include "vmjni_entries.h"
#include "vmmonitor.h"
#include "vmutils.h"

namespace {

const int kClasses = 16;

/* The count of classes of the loader that answered wrong in the env's machine. */
int Wrong(JNIEnv* env, void* loader) { return loader_classes::Wrong(env, "dz", kClasses, loader); }

int Initialisers(JNIEnv* env, void* loader) { return loader_classes::Initialisers(env, "dz", loader); }

/* Fails the program, naming the scene, when a scene has not ended in time: a wait for
   good would otherwise hang the suite instead of failing it. */
class Watchdog {
 public:
  explicit Watchdog(const char* scene) : scene_(scene), dog_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      done_ = true;
    }
    wake_.notify_all();
    dog_.join();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> hold(lock_);
    if (!wake_.wait_for(hold, std::chrono::seconds(240), [this] { return done_; })) {
      fprintf(stderr, "hung: %s\n", scene_);
      fflush(stderr);
      abort();
    }
  }
  const char* scene_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread dog_;
};

/* Spins outside the machine (declared) until ready answers true. */
template <class Ready>
void AwaitOutside(Ready ready) {
  WhileOutside([&] {
    while (!ready()) std::this_thread::yield();
  });
}

bool Terminating(JavaVM* record) {
  VMUtils::GlobalMutexGuard guard;
  for (JavaVM* r = VMUtils::GetVMList(); r != nullptr; r = r->next)
    if (r == record) return r->terminating != 0;
  return true;
}

/* What the host hooks below act on. */
struct Scene {
  std::atomic<void*> dropper{nullptr};  // host thread id of the dropping thread
  std::atomic<HHeap*> watched{nullptr};  // the heap whose walk starts the action
  std::atomic<int> armed{0};
  std::function<void()> action;  // run by the dropper inside the walk, once per arming
  // Refusals of the stops of one machine, and moves made in the dropper's sleeps.
  std::atomic<JavaVM*> refused{nullptr};
  std::atomic<int> refusalsLeft{0};
  std::atomic<int> refusals{0};
  std::atomic<int> sleepMovesLeft{0};
  std::atomic<int> sleepMoves{0};
  std::atomic<int> lockMovesLeft{0};
  std::atomic<int> lockMoves{0};
  // A growth of the name space's globals by another thread, met by the drop's purge.
  HHeap* nsHeap = nullptr;
  std::atomic<void*> grower{nullptr};
  std::atomic<int> dropLocks{0}, piecesBefore{0}, piecesAfter{0};
  std::atomic<bool> grow{false}, freed{false}, grown{false};
  std::vector<JavaVM*> moved;
  JavaVM* first = nullptr;
  uint32_t refusedCollectionsBefore = 0;
  bool refusedCollected = false;
  uint32_t firstCollectionsAtRefused = 0;
};
Scene gScene;
JNIHostFunctions gReal;

void HOSTCALL ActingHeapWalk(HHeap* heap, JNIHostHeapWalkFn fn, void* ctx) {
  HHeap* watched = gScene.watched.load();
  if (watched != nullptr && gReal.CurrentThreadId() == gScene.dropper.load() && heap == watched) {
    int one = 1;
    if (gScene.armed.compare_exchange_strong(one, 0)) gScene.action();
  }
  gReal.HeapWalk(heap, fn, ctx);
}

/* The dropper's host mutexes are watched from the refused machine's first collection
   on; once the first machine listed has been collected after it (the surveys are
   behind, the first machine has let go), the host refuses the refused machine's own
   mutex, which its stops are made under, as often as asked. */
jboolean HOSTCALL RefusingMutexLock(void* mutex) {
  JavaVM* refused = gScene.refused.load();
  if (refused != nullptr && gScene.refusalsLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper.load()) {
    const uint32_t first = gScene.first->vm->GetCollections();
    const uint32_t second = refused->vm->GetCollections();
    if (!gScene.refusedCollected && second != gScene.refusedCollectionsBefore) {
      gScene.refusedCollected = true;
      gScene.firstCollectionsAtRefused = first;
    }
    VMMonitor* own = refused->vm->GetMonitor();
    if (gScene.refusedCollected && first != gScene.firstCollectionsAtRefused && own != nullptr &&
        mutex == own->GetMutex()) {
      gScene.refusalsLeft--;
      gScene.refusals++;
      return 0;
    }
  }
  return gReal.MutexLock(mutex);
}

/* The dropper's host mutexes while it holds a collection of the watched machine that no
   undeclared thread of it stands in any more: by the host's rule it may move the machine
   then, and it does. */
jboolean HOSTCALL MovingWhenLeftMutexLock(void* mutex) {
  JavaVM* jvm = gScene.refused.load();
  void* me = gReal.CurrentThreadId();
  if (jvm != nullptr && me == gScene.dropper.load() && jvm->vm->GetThreadDoingGC() == me) {
    bool declared = true;
    VMThreadHandleArray* threads = jvm->vm->GetThreads();
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* t = threads->Get(i);
      if (t != nullptr && t->GetEnv() != nullptr &&
          !(t->GetFlags() & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag)))
        declared = false;
    }
    if (declared && MoveMachine(jvm) != 0) gScene.lockMoves++;
  }
  return gReal.MutexLock(mutex);
}

/* The dropper's declared sleeps between tries: the host moves the machines then. */
void HOSTCALL MovingSleep(jlong ms) {
  if (gScene.sleepMovesLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper.load()) {
    gScene.sleepMovesLeft--;
    for (JavaVM* jvm : gScene.moved)
      if (MoveMachine(jvm) != 0) gScene.sleepMoves++;
  }
  gReal.Sleep(ms);
}

/* The dropper's spin locks: the host moves the machines then. */
jboolean HOSTCALL MovingSpinLock(void* lock, const char* tag) {
  if (gScene.lockMovesLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper.load()) {
    gScene.lockMovesLeft--;
    for (JavaVM* jvm : gScene.moved)
      if (MoveMachine(jvm) != 0) gScene.lockMoves++;
  }
  return gReal.SpinLockAcquire(lock, tag);
}

/* The drop's second lock of the name space (its purge of the globals) lets the grower
   go, and waits until the grower has taken the new slots (as many pieces of the name
   space's heap as it took before it freed the old owners): it copies them next, with
   the spin lock given up. */
jboolean HOSTCALL GrowingSpinLock(void* lock, const char* tag) {
  if (gReal.CurrentThreadId() == gScene.dropper.load() &&
      strcmp(tag, "namespace spinlock - DestroyClassLoaderLite") == 0 && ++gScene.dropLocks == 2) {
    gScene.grow = true;
    WhileOutside([] {
      while (!gScene.grown.load()) {
      }
    });
  }
  return gReal.SpinLockAcquire(lock, tag);
}

void* HOSTCALL CountingHeapAlloc(HHeap* heap, uint32_t size, jint kind) {
  void* block = gReal.HeapAlloc(heap, size, kind);
  if (heap == gScene.nsHeap && gReal.CurrentThreadId() == gScene.grower.load()) {
    if (!gScene.freed.load()) {
      gScene.piecesBefore++;
    } else if (++gScene.piecesAfter == gScene.piecesBefore.load()) {
      gScene.grown = true;
    }
  }
  return block;
}

void HOSTCALL CountingHeapFree(HHeap* heap, void* block) {
  if (heap == gScene.nsHeap && gReal.CurrentThreadId() == gScene.grower.load()) gScene.freed = true;
  gReal.HeapFree(heap, block);
}

class LoaderDropAttackTest : public loader_classes::LoaderTest {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("loaderdrop");
    loader_classes::WriteCountedPackage(dir, "dz", kClasses);
  }
  static void TearDownTestSuite() { classfile_test::RemoveTree(dir); }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoaderTest::SetUp());
    gReal = *refhost::Functions();
    Rebind();
  }
  void TearDown() override {
    Unhook();
    LoaderTest::TearDown();
  }

  void Unhook() {
    refhost::Functions()->HeapWalk = gReal.HeapWalk;
    refhost::Functions()->MutexLock = gReal.MutexLock;
    refhost::Functions()->EventWait = gReal.EventWait;
    refhost::Functions()->Sleep = gReal.Sleep;
    refhost::Functions()->SpinLockAcquire = gReal.SpinLockAcquire;
    refhost::Functions()->HeapAlloc = gReal.HeapAlloc;
    refhost::Functions()->HeapFree = gReal.HeapFree;
    gScene.lockMovesLeft = 0;
    gScene.grower = nullptr;
    gScene.watched = nullptr;
    gScene.armed = 0;
    gScene.refused = nullptr;
    gScene.refusalsLeft = 0;
    gScene.sleepMovesLeft = 0;
  }

  /* A machine of m's name space (or of a name space of its own), no thread attached. */
  JavaVM* Another(bool sharing = true, const char* name = "") {
    JNICreateArgs args = SharingArgs();
    if (!sharing) args.shareNameSpaceOf = nullptr;
    args.name = name;
    JavaVM* jvm = nullptr;
    JNIEnv* env = nullptr;
    std::thread make([&] {
      if (JNI_CreateJavaVM(&jvm, &env, &args) == 0) jvm->functions->DetachCurrentThread(jvm);
    });
    JoinOutside(make);
    Rebind();
    return jvm;
  }

  void* NewLoader() { return loader_classes::NewLoaderId(dir, 0x7d000, nextLoader); }
  /* A loader of the classes of tests/java/reflect_loader (fz/F among them). */
  void* NewJavaLoader() {
    void* id = (void*)(0x7d000 + (uintptr_t)nextLoader++);
    refhost::SetClassPath(id, natives_test::ClassDir("reflect_loader"));
    return id;
  }

  /* Drops the loader from env until it is gone (or the tries are spent). */
  static bool Drop(JNIEnv* env, void* loader) {
    for (int attempt = 0; attempt < 200; attempt++) {
      jobject l = JNI_FindClassLoaderLite(env, loader);
      if (l == nullptr) return true;
      if (attempt > 0) WhileOutside([] { std::this_thread::yield(); });
      JNI_DestroyClassLoaderLite(env, l);
      env->functions->DeleteLocalRef(env, l);
    }
    return JNI_FindClassLoaderLite(env, loader) == nullptr;
  }

  /* Drop calls until the loader is gone: how many were made (0 when it was gone before
     the first), or -tries when it stayed. No Java runs between them. */
  static int DropCalls(JNIEnv* env, void* loader, int tries) {
    for (int calls = 1; calls <= tries; calls++) {
      jobject l = JNI_FindClassLoaderLite(env, loader);
      if (l == nullptr) return calls - 1;
      JNI_DestroyClassLoaderLite(env, l);
      env->functions->ExceptionClear(env);
      env->functions->DeleteLocalRef(env, l);
      if (JNI_FindClassLoaderLite(env, loader) == nullptr) return calls;
      WhileOutside([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    }
    return -tries;
  }

  /* fz/F.make(tag) in the loader on env's thread: the garbage objects it left, or -1. */
  static int MakeFinalizable(JNIEnv* env, void* loader, int tag) {
    const JNINativeInterface_* f = env->functions;
    jclass c = f->FindClassInLoaderId(env, "fz/F", loader);
    jmethodID make = c != nullptr ? f->GetStaticMethodID(env, c, "make", "(I)I") : nullptr;
    int made = make != nullptr ? f->CallStaticIntMethod(env, c, make, (jint)tag) : -1;
    if (f->ExceptionCheck(env)) made = -1;
    f->ExceptionClear(env);
    if (c != nullptr) f->DeleteLocalRef(env, c);
    return made;
  }

  /* System.getProperty(key) in env's machine; "<null>" for none. */
  static std::string Property(JNIEnv* env, const std::string& key) {
    const JNINativeInterface_* f = env->functions;
    jclass sys = f->FindClass(env, "java/lang/System");
    jmethodID get = f->GetStaticMethodID(env, sys, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    jstring name = f->NewStringUTF(env, key.c_str());
    jstring value = (jstring)f->CallStaticObjectMethod(env, sys, get, name);
    std::string text = "<null>";
    if (value != nullptr) {
      const char* chars = f->GetStringUTFChars(env, value, nullptr);
      text = chars;
      f->ReleaseStringUTFChars(env, value, chars);
      f->DeleteLocalRef(env, value);
    }
    f->ExceptionClear(env);
    f->DeleteLocalRef(env, name);
    f->DeleteLocalRef(env, sys);
    return text;
  }

  void CollectM() {
    m.jvm->vm->GarbageCollect(false);
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  }

  static std::string dir;
  static int nextLoader;
};

std::string LoaderDropAttackTest::dir;
int LoaderDropAttackTest::nextLoader = 0;

/* A machine's end begins while a drop collects that machine (its survey): the ender is
   attached to the machine, or to none, or the dropper itself is a thread of the machine.
   The destroy waits for the drop's step and the step never waits for the destroy; the
   drop is refused or goes on without the machine, and once the machine is gone the
   loader can be dropped and made anew, its statics whole. */
TEST_F(LoaderDropAttackTest, AMachineWhoseEndBeginsWhileADropCollectsItEndsAndTheDropGoesOn) {
  Watchdog dog("a machine's end begun during a drop's step");
  const int rounds = refhost::CollectionStress() != 0 ? 1 : 4;
  for (int mode = 0; mode < 3 && !HasFailure(); mode++) {
    for (int round = 0; round < rounds && !HasFailure(); round++) {
      JavaVM* x = Another();
      ASSERT_NE(nullptr, x);
      void* loader = NewLoader();
      ASSERT_EQ(0, Wrong(m.env, loader));
      On(x, [&](JNIEnv* env) { ASSERT_EQ(0, Wrong(env, loader)); });
      std::atomic<bool> go{false};
      std::atomic<int> ready{0};
      std::atomic<int> ended{-9};
      // mode 0: the ender attached to x; 1: attached to nothing; 2: the dropper runs in x.
      std::thread ender([&] {
        JNIEnv* env = nullptr;
        if (mode != 1 && x->functions->AttachCurrentThread(x, &env, nullptr) != 0) return;
        ready++;
        if (mode != 1) {
          AwaitOutside([&] { return go.load(); });
        } else {
          while (!go.load()) std::this_thread::yield();
        }
        ended = x->functions->DestroyJavaVM(x);
      });
      AwaitOutside([&] { return ready.load() == 1; });
      gScene.watched = x->heap;
      gScene.action = [&] {
        go = true;
        // An ender attached to no machine begins the end now, while the step runs.
        if (mode == 1)
          while (!Terminating(x)) std::this_thread::yield();
      };
      gScene.armed = 1;
      refhost::Functions()->HeapWalk = ActingHeapWalk;
      if (mode == 2) {
        std::thread dropper([&] {
          JNIEnv* env = nullptr;
          if (x->functions->AttachCurrentThread(x, &env, nullptr) != 0) {
            go = true;
            return;
          }
          gScene.dropper = gReal.CurrentThreadId();
          jobject l = JNI_FindClassLoaderLite(env, loader);
          if (l != nullptr) JNI_DestroyClassLoaderLite(env, l);
          go = true;
          x->functions->DetachCurrentThread(x);
        });
        JoinOutside(dropper);
      } else {
        gScene.dropper = gReal.CurrentThreadId();
        jobject l = JNI_FindClassLoaderLite(m.env, loader);
        ASSERT_NE(nullptr, l);
        JNI_DestroyClassLoaderLite(m.env, l);
        go = true;
      }
      Unhook();
      JoinOutside(ender);
      Rebind();
      EXPECT_EQ(0, ended.load()) << "mode " << mode << " round " << round;
      EXPECT_TRUE(Drop(m.env, loader)) << "mode " << mode << " round " << round;
      CollectM();
      EXPECT_EQ(0, Initialisers(m.env, loader)) << "mode " << mode << " round " << round;
      EXPECT_EQ(0, Wrong(m.env, loader)) << "mode " << mode << " round " << round;
      EXPECT_EQ(kClasses, Initialisers(m.env, loader)) << "mode " << mode << " round " << round;
      EXPECT_TRUE(Drop(m.env, loader));
    }
  }
}

/* A machine made while a drop runs (after the drop listed the machines) initialises the
   loader's classes there. The drop must not free the classes under that machine's
   static data: the loader stays, or the new machine lets go as well; either way the
   machine answers every class whole, and a collection of it reads nothing freed. */
TEST_F(LoaderDropAttackTest, AMachineMadeWhileADropRunsKeepsNoStaticsOfFreedClasses) {
  Watchdog dog("a machine made during a drop");
  const int rounds = refhost::CollectionStress() != 0 ? 1 : 4;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loader = NewLoader();
    ASSERT_EQ(0, Wrong(m.env, loader));
    JavaVM* y = nullptr;
    int wrongInY = -1;
    gScene.watched = m.jvm->heap;
    gScene.dropper = gReal.CurrentThreadId();
    gScene.action = [&] {
      std::thread make([&] {
        JNICreateArgs args = SharingArgs();
        JNIEnv* env = nullptr;
        if (JNI_CreateJavaVM(&y, &env, &args) != 0) return;
        wrongInY = Wrong(env, loader);
        y->functions->DetachCurrentThread(y);
      });
      make.join();
    };
    gScene.armed = 1;
    refhost::Functions()->HeapWalk = ActingHeapWalk;
    jobject l = JNI_FindClassLoaderLite(m.env, loader);
    ASSERT_NE(nullptr, l);
    JNI_DestroyClassLoaderLite(m.env, l);
    Unhook();
    Rebind();
    ASSERT_NE(nullptr, y) << "round " << round;
    EXPECT_EQ(0, wrongInY) << "round " << round;
    const bool kept = JNI_FindClassLoaderLite(m.env, loader) != nullptr;
    On(y, [&](JNIEnv* env) {
      y->vm->GarbageCollect(false);
      // Kept, the loader's statics are y's as they were; gone, a loader made anew under
      // the id starts them afresh.
      EXPECT_EQ(kept ? kClasses : 0, Initialisers(env, loader)) << "round " << round << " kept " << kept;
      EXPECT_EQ(0, Wrong(env, loader)) << "round " << round;
      y->vm->GarbageCollect(false);
    });
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
    End(y);
    Rebind();
    EXPECT_TRUE(Drop(m.env, loader));
    CollectM();
  }
}

/* The second machine's let-go stop is refused three times once the first has let go,
   and in each declared sleep between the tries the host moves both machines (the
   dropping thread's own among them): the drop goes on with the machines where they are
   now, ends with the loader gone, and both heaps are whole. */
TEST_F(LoaderDropAttackTest, MachinesMovedInTheSleepsBetweenRefusedTriesAreFollowed) {
  Watchdog dog("moves between refused tries");
  JavaVM* other = Another();
  ASSERT_NE(nullptr, other);
  const int rounds = refhost::CollectionStress() != 0 ? 1 : 4;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loader = NewLoader();
    ASSERT_EQ(0, Wrong(m.env, loader));
    On(other, [&](JNIEnv* env) { ASSERT_EQ(0, Wrong(env, loader)); });
    {
      VMUtils::GlobalMutexGuard guard;
      gScene.first = VMUtils::GetVMList();
    }
    gScene.refused = gScene.first == other ? m.jvm : other;
    gScene.dropper = gReal.CurrentThreadId();
    gScene.moved = {m.jvm, other};
    gScene.sleepMoves = 0;
    gScene.refusals = 0;
    gScene.refusedCollectionsBefore = gScene.refused.load()->vm->GetCollections();
    gScene.refusedCollected = false;
    gScene.refusalsLeft = 3;
    gScene.sleepMovesLeft = 3;
    refhost::Functions()->MutexLock = RefusingMutexLock;
    refhost::Functions()->Sleep = MovingSleep;
    jobject l = JNI_FindClassLoaderLite(m.env, loader);
    ASSERT_NE(nullptr, l);
    JNI_DestroyClassLoaderLite(m.env, l);
    Unhook();
    m.vm = m.jvm->vm;
    EXPECT_EQ(3, gScene.refusals.load()) << "round " << round;
    EXPECT_GT(gScene.sleepMoves.load(), 0) << "round " << round << ": nothing was moved";
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, loader)) << "round " << round;
    CollectM();
    EXPECT_EQ("", refhost::CheckHeap(m.jvm->heap)) << "round " << round;
    EXPECT_EQ("", refhost::CheckHeap(other->heap)) << "round " << round;
    EXPECT_EQ(0, Initialisers(m.env, loader)) << "round " << round;
    EXPECT_EQ(0, Wrong(m.env, loader)) << "round " << round;
    On(other, [&](JNIEnv* env) {
      other->vm->GarbageCollect(false);
      EXPECT_EQ(0, Initialisers(env, loader)) << "round " << round;
      EXPECT_EQ(0, Wrong(env, loader)) << "round " << round;
    });
    EXPECT_TRUE(Drop(m.env, loader));
  }
  End(other);
  Rebind();
}

/* A thread of m drops loaders whose classes x, another machine of the name space, has
   initialised, while a host that keeps its rule moves x at every chance: only while each
   thread the test counts is inside a host call it gates and every thread attached to x
   stands declared (moves_gate.h). x has a thread that runs code of its own and sleeps
   declared, or none. No move may come while the drop collects x, which stays whole. */
TEST_F(LoaderDropAttackTest, AMachineMovedByTheHostsRuleDuringADropIsFollowed) {
  Watchdog dog("moves by the host's rule during a drop");
  namespace gate = jni_test::moves_gate;
  JavaVM* x = Another();
  ASSERT_NE(nullptr, x);
  gate::gReal = gReal;
  gate::gMoves = 0;
  for (int mode = 0; mode < 2 && !HasFailure(); mode++) {
    std::vector<void*> loaders(8);
    for (void*& loader : loaders) {
      loader = NewLoader();
      On(x, [&](JNIEnv* env) { ASSERT_EQ(0, Wrong(env, loader)); });
    }
    std::atomic<bool> ready{mode == 1}, stop{false};
    std::thread worker([&] {
      gate::Counted counted;
      JNIEnv* env = nullptr;
      if (mode == 1 || x->functions->AttachCurrentThread(x, &env, nullptr) != 0) return;
      ready = true;
      while (!stop.load()) {
        // Undeclared for a while: a collection of x waits for it meanwhile.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(700);
        while (std::chrono::steady_clock::now() < until) {
        }
        OutsideAs(env, [] { refhost::Functions()->Sleep(1); });
      }
      x->functions->DetachCurrentThread(x);
    });
    AwaitOutside([&] { return ready.load(); });
    refhost::Functions()->Sleep = gate::GatedSleep;
    refhost::Functions()->EventWait = gate::GatedEventWait;
    refhost::Functions()->MutexLock = gate::GatedMutexLock;
    gate::gMachine = x;
    gate::gMoverOn = true;
    std::thread mover(gate::MoverLoop);
    {
      gate::Counted counted;
      for (void* loader : loaders) {
        EXPECT_TRUE(Drop(m.env, loader)) << "mode " << mode;
        OutsideAs(m.env, [] { refhost::Functions()->Sleep(1); });
      }
      stop = true;
      JoinOutside(worker);
      gate::gMoverOn = false;
      mover.join();
    }
    Unhook();
    EXPECT_EQ("", refhost::CheckHeap(x->heap)) << "mode " << mode;
    On(x, [&](JNIEnv* env) { EXPECT_EQ(0, Wrong(env, NewLoader())) << "mode " << mode; });
  }
  EXPECT_GT(gate::gMoves.load(), 0u) << "x was never moved";
  End(x);
  Rebind();
}

/* A thread that x started (marked so here) drops a loader: the step in m, which it is
   not attached to, attaches it there and detaches it again. Afterwards it is still x's
   own thread, attached to x alone, whose host wait x's end may let go of (a read of a
   pipe nobody writes must not hold the end up for good). */
TEST_F(LoaderDropAttackTest, AThreadTheMachineStartedIsStillItsOwnAfterADrop) {
  JavaVM* x = Another();
  ASSERT_NE(nullptr, x);
  void* loader = NewLoader();
  ASSERT_EQ(0, Wrong(m.env, loader));
  bool gone = false, letGoable = false;
  std::thread started([&] {
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, x->functions->AttachCurrentThread(x, &env, nullptr));
    x->vm->MarkStartedThread();
    gone = Drop(env, loader);
    VM::EnterHostWait(env->thread);
    letGoable = env->thread->GetInHostWait();
    VM::LeaveHostWait(env);
    x->functions->DetachCurrentThread(x);
  });
  JoinOutside(started);
  EXPECT_TRUE(gone);
  EXPECT_TRUE(letGoable) << "x's end would wait for good for the thread's host wait";
  End(x);
  Rebind();
}

/* A thread of x whose record there stands in a Java wait drops a loader (a host that
   drops from inside the wait's host call): the step collects x as that thread, which
   stands undeclared meanwhile, and a host that moves x by its rule (each thread
   attached to x declared) finds no chance to while the step walks x's heap. The wait's
   mark is back after the drop. */
TEST_F(LoaderDropAttackTest, AStepAsAThreadInAJavaWaitTakesTheWaitBackMeanwhile) {
  JavaVM* x = Another();
  ASSERT_NE(nullptr, x);
  void* loader = NewLoader();
  On(x, [&](JNIEnv* env) { ASSERT_EQ(0, Wrong(env, loader)); });
  int moves = 0;
  bool gone = false, waitingAfter = false;
  gScene.watched = x->heap;
  gScene.action = [&] {
    moves += jni_test::moves_gate::AllDeclared(x) && MoveMachine(x) != 0;
    gScene.armed = 1;
  };
  std::thread waiter([&] {
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, x->functions->AttachCurrentThread(x, &env, nullptr));
    gScene.dropper = gReal.CurrentThreadId();
    gScene.armed = 1;
    env->thread->SetSafeToGC();
    refhost::Functions()->HeapWalk = ActingHeapWalk;
    gone = Drop(env, loader);
    Unhook();
    waitingAfter = env->thread->GetSafeToGC();
    env->thread->ClearSafeToGC();
    x->functions->DetachCurrentThread(x);
  });
  JoinOutside(waiter);
  EXPECT_EQ(0, moves) << "x was moved while the drop collected it";
  EXPECT_TRUE(gone && waitingAfter);
  End(x);
  Rebind();
}

/* Host threads new to x (of m's name space) each drop a loader from m while a debugger
   is connected to x: every step in x attaches the thread there for the step alone. With
   a debugger no collection drops a detached record, and the step's own must go at the
   step's end, or each thread that ever dropped a loader would leave one in x. */
TEST_F(LoaderDropAttackTest, StepsOfThreadsNewToAMachineLeaveNoRecordThereUnderADebugger) {
  JavaVM* x = Another(true, "dropsteps");
  ASSERT_NE(nullptr, x);
  void* agent = JNI_DebugAttach("dropsteps");
  ASSERT_NE(nullptr, agent);
  auto records = [&] {
    uint32_t n = 0;
    VMThreadHandleArray* threads = x->vm->GetThreads();
    for (uint32_t i = 1; i < threads->GetCount(); i++) n += threads->Get(i) != nullptr;
    return n;
  };
  const uint32_t before = records();
  const int hosts = 16;
  int gone = 0;
  for (int h = 0; h < hosts; h++) {
    void* loader = NewLoader();
    ASSERT_EQ(0, Wrong(m.env, loader));
    std::thread dropper([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr));
      gone += Drop(env, loader);
      EXPECT_EQ(0, m.jvm->functions->DetachCurrentThread(m.jvm));
    });
    JoinOutside(dropper);
    Rebind();
  }
  EXPECT_EQ(hosts, gone);
  EXPECT_EQ(before, records()) << "records left in x by " << hosts << " droppers";
  JNI_DebugDetach(agent);
  End(x);
  Rebind();
}

/* A drop here waits for a collection of m that an attached host thread holds up (it runs
   its own code undeclared); meanwhile a loader of a machine of another name space, which
   nothing uses, is dropped once: it goes at that call. The drop here ends once the host
   thread steps aside. */
TEST_F(LoaderDropAttackTest, ADropInAnotherNameSpaceGoesWhileADropHereWaitsForACollection) {
  Watchdog dog("a drop in another name space while a drop here waits");
  JavaVM* apart = Another(false);
  ASSERT_NE(nullptr, apart);
  void* here = NewLoader();
  void* there = NewLoader();
  ASSERT_EQ(0, Wrong(m.env, here));
  On(apart, [&](JNIEnv* env) { ASSERT_EQ(0, Wrong(env, there)); });
  std::atomic<bool> holding{false}, release{false};
  auto onM = [&](std::function<void(JNIEnv*)> body) {
    return std::thread([&, body] {
      JNIEnv* env = nullptr;
      if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) == 0) {
        body(env);
        m.jvm->functions->DetachCurrentThread(m.jvm);
      }
      holding = true;  // whatever came of the attach: the test waits for it
    });
  };
  std::thread holder = onM([&](JNIEnv*) {
    holding = true;
    while (!release.load()) std::this_thread::yield();
  });
  AwaitOutside([&] { return holding.load(); });
  std::thread dropper = onM([&](JNIEnv* env) { JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, here)); });
  bool gone = false;
  // Declared all along: leaving, this thread would park for the collection held up.
  WhileOutside([&] {
    while (m.vm->GetThreadDoingGC() == nullptr) std::this_thread::yield();
    std::thread drop([&] {
      JNIEnv* env = nullptr;
      if (apart->functions->AttachCurrentThread(apart, &env, nullptr) != 0) return;
      JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, there));
      gone = JNI_FindClassLoaderLite(env, there) == nullptr;
      apart->functions->DetachCurrentThread(apart);
    });
    drop.join();
    release = true;
    holder.join();
    dropper.join();
  });
  EXPECT_TRUE(gone) << "refused while a drop in another name space waited";
  EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, here));
  End(apart);
  Rebind();
  CollectM();
}

/* A machine of another name space, with no thread attached, may be moved by the host at
   any time, also while a loader of m's name space is dropped: it moves whenever the
   dropping thread takes a spin lock. The drop goes at its call, and the moved machine is
   whole and answers its own loaders' classes. */
TEST_F(LoaderDropAttackTest, AMachineOfAnotherNameSpaceMovedWhileADropRunsStaysWhole) {
  JavaVM* apart = Another(false);
  ASSERT_NE(nullptr, apart);
  void* loader = NewLoader();
  ASSERT_EQ(0, Wrong(m.env, loader));
  gScene.dropper = gReal.CurrentThreadId();
  gScene.moved = {apart};
  gScene.lockMoves = 0;
  gScene.lockMovesLeft = 200;
  refhost::Functions()->SpinLockAcquire = MovingSpinLock;
  jobject l = JNI_FindClassLoaderLite(m.env, loader);
  JNI_DestroyClassLoaderLite(m.env, l);
  Unhook();
  EXPECT_GT(gScene.lockMoves.load(), 0);
  EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, loader));
  On(apart, [&](JNIEnv* env) {
    apart->vm->GarbageCollect(false);
    EXPECT_EQ(0, Wrong(env, NewLoader()));
  });
  EXPECT_EQ("", refhost::CheckHeap(apart->heap));
  End(apart);
  Rebind();
  CollectM();
}

/* A host thread makes a global while a drop purges the globals naming the loader, and
   the global grows the name space's array, whose slots the grower copies with the spin
   lock given up: a slot the purge emptied meanwhile must not come back in the copy. The
   global to the dropped loader reads null (it named the freed loader). */
TEST_F(LoaderDropAttackTest, AGlobalToADroppedLoaderReadsNullWhenTheArrayGrowsDuringThePurge) {
  const JNINativeInterface_* f = m.env->functions;
  VMObjectHandleArray* globals = m.ns->GetJNIHandleArray();
  jclass local = f->FindClass(m.env, "java/lang/Object");
  jobject object = f->NewGlobalRef(m.env, local);
  std::vector<jobject> fill = {object};
  for (int round = 0; round < 6 && !HasFailure(); round++) {
    void* loader = NewLoader();
    ASSERT_EQ(0, Wrong(m.env, loader));
    jobject l = JNI_FindClassLoaderLite(m.env, loader);
    jobject g = f->NewGlobalRef(m.env, l);
    while (globals->GetArray()->GetSize() < 8192 || globals->GetCount() < globals->GetArray()->GetSize())
      fill.push_back(f->NewGlobalRef(m.env, object));
    gScene.nsHeap = globals->GetHeap();
    gScene.dropper = gReal.CurrentThreadId();
    gScene.dropLocks = gScene.piecesBefore = gScene.piecesAfter = 0;
    gScene.grow = gScene.freed = gScene.grown = false;
    std::thread grower([&] {
      JNIEnv* env = nullptr;
      if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) == 0) {
        WhileOutside([] {
          while (!gScene.grow.load()) std::this_thread::yield();
        });
        gScene.grower = gReal.CurrentThreadId();
        fill.push_back(env->functions->NewGlobalRef(env, object));
        m.jvm->functions->DetachCurrentThread(m.jvm);
      }
      gScene.grown = true;  // whatever came of it
    });
    refhost::Functions()->SpinLockAcquire = GrowingSpinLock;
    refhost::Functions()->HeapAlloc = CountingHeapAlloc;
    refhost::Functions()->HeapFree = CountingHeapFree;
    JNI_DestroyClassLoaderLite(m.env, l);
    JoinOutside(grower);
    Unhook();
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, loader)) << "round " << round;
    EXPECT_EQ(nullptr, VMJniHandle::UnHandle(m.env, g)) << "round " << round << ": the global names the freed loader";
    f->DeleteGlobalRef(m.env, g);
  }
  for (jobject global : fill) f->DeleteGlobalRef(m.env, global);
  CollectM();
}

/* The host's global references to a dropped loader and to one of its classes read null
   once it is gone (the loader's named its freed block), and a destroy through the
   loader's again finds nothing to do. */
TEST_F(LoaderDropAttackTest, GlobalReferencesToADroppedLoaderReadNull) {
  void* loader = NewLoader();
  ASSERT_EQ(0, Wrong(m.env, loader));
  const JNINativeInterface_* f = m.env->functions;
  jobject l = JNI_FindClassLoaderLite(m.env, loader);
  jclass c = f->FindClassInLoaderId(m.env, "dz/C3", loader);
  jobject globals[2] = {f->NewGlobalRef(m.env, l), f->NewGlobalRef(m.env, c)};
  f->DeleteLocalRef(m.env, c);
  f->DeleteLocalRef(m.env, l);
  ASSERT_TRUE(Drop(m.env, loader));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(m.env, globals[0])) << "the loader's global names a freed block";
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(m.env, globals[1]));
  JNI_DestroyClassLoaderLite(m.env, globals[0]);
  CollectM();
  for (jobject g : globals) f->DeleteGlobalRef(m.env, g);
}

}  // namespace


/* A step in x (of m's name space, no thread attached to it) attaches the dropper there
   for the step alone. Until the step's collection has let x's threads go, the dropper
   must stand in x as an undeclared thread: x would otherwise have none, and the host
   could move it while the collection still reads and writes it (its claim left in the
   moved machine: every later attach and collection of x waits for good). */
TEST_F(LoaderDropAttackTest, AMachineAStepMadeARecordInIsNotLeftWhileTheStepStillCollectsIt) {
  Watchdog dog("a step's own record and the host's moves");
  JavaVM* x = Another();
  ASSERT_NE(nullptr, x);
  gScene.lockMoves = 0;
  int gone = 0;
  for (int round = 0; round < 4; round++) {
    void* loader = NewLoader();
    ASSERT_EQ(0, Wrong(m.env, loader));
    gScene.dropper = gReal.CurrentThreadId();
    gScene.refused = x;
    refhost::Functions()->MutexLock = MovingWhenLeftMutexLock;
    gone += Drop(m.env, loader);
    Unhook();
    Rebind();
    if (x->vm->GetThreadDoingGC() != nullptr) {
      ADD_FAILURE() << "x's collection still claimed after round " << round << " (moves " << gScene.lockMoves.load()
                    << ")";
      x->vm->SetScalar(VM::ThreadDoingGCWord, 0);
      break;
    }
  }
  EXPECT_EQ(0, gScene.lockMoves.load()) << "x moved while a step still collected it";
  On(x, [&](JNIEnv* env) { EXPECT_EQ(0, Wrong(env, NewLoader())); });
  End(x);
  Rebind();
}

/* A loader whose class left garbage with finalizers that run Java (fz/F) is dropped by
   one drop call made from m, with no Java run between: the drop's look finds the
   objects only due, and their finalizers must run on a thread of their machine's own,
   not at a poll of a thread that may never come. The garbage is in x, a machine of the
   name space that no thread is attached to (its maker detached), or in m itself, whose
   one thread is the dropper. Each finalizer counts itself in its machine's properties,
   which outlive the loader's classes: all 40 ran. */
TEST_F(LoaderDropAttackTest, ALoaderWhoseClassLeftFinalizableGarbageGoesAtOneDropCall) {
  Watchdog dog("a drop of a loader whose class left finalizable garbage");
  JavaVM* x = Another();
  ASSERT_NE(nullptr, x);
  for (int tag = 0; tag < 2; tag++) {
    const bool inX = tag == 0;
    const char* where = inX ? "garbage in an idle machine" : "garbage in the dropper's machine";
    void* loader = NewJavaLoader();
    int made = 0;
    std::string ran;
    if (inX)
      On(x, [&](JNIEnv* env) { made = MakeFinalizable(env, loader, tag); });
    else
      made = MakeFinalizable(m.env, loader, tag);
    ASSERT_EQ(40, made) << where;
    EXPECT_EQ(1, DropCalls(m.env, loader, 20)) << where;
    const std::string key = "fz.F.finalized." + std::to_string(tag);
    if (inX)
      On(x, [&](JNIEnv* env) { ran = Property(env, key); });
    else
      ran = Property(m.env, key);
    EXPECT_EQ("40", ran) << where << ": finalizers run";
  }
  End(x);
  Rebind();
}
