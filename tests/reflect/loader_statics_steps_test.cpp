/* A loader dropped from two machines of one name space, step by step: each machine is
   surveyed with its threads stopped, then lets go of the loader's classes (their static
   data among them) with its threads stopped again. Between the steps the dropping thread
   stands in the other machine's collections, where the host may move a machine whose
   threads are all declared, and a stop may be refused. The classes are written here: in
   package by, C<k> keeps an int and an int array in its statics and answers
   v * 10000 + o[0], and by/Count counts how many of their initialisers ran. */
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "machine_move.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmjvm.h"
#include "vmmonitor.h"
#include "vmutils.h"

using classfile_test::Bytes;
using classfile_test::ClassBuilder;
using natives_test::Machine;

namespace {

const int kClasses = 24;

void Push2(Bytes& code, uint8_t op, uint16_t operand) {
  code.push_back(op);
  code.push_back((uint8_t)(operand >> 8));
  code.push_back((uint8_t)operand);
}

/* by/C<k>: v = 1000 + k, Count.n++, o = new int[] { k }. */
void WriteStaticsClass(const std::string& dir, int k) {
  ClassBuilder b;
  const std::string name = "by/C" + std::to_string(k);
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.AddField(0x0009, "v", "I");
  b.AddField(0x0009, "o", "Ljava/lang/Object;");
  const uint16_t v = b.Ref(9, name, "v", "I");
  const uint16_t o = b.Ref(9, name, "o", "Ljava/lang/Object;");
  const uint16_t n = b.Ref(9, "by/Count", "n", "I");
  const uint16_t ints = b.Class("[I");
  Bytes init;
  Push2(init, 0x11, (uint16_t)(1000 + k));  // sipush
  Push2(init, 0xB3, v);                     // putstatic
  Push2(init, 0xB2, n);                     // getstatic
  init.insert(init.end(), {0x04, 0x60});    // iconst_1 iadd
  Push2(init, 0xB3, n);
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
  Push2(get, 0xC0, ints);                           // checkcast [I
  get.insert(get.end(), {0x03, 0x2E, 0x60, 0xAC});  // iconst_0 iaload iadd ireturn
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(3, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

void WriteCount(const std::string& dir) {
  ClassBuilder b;
  b.thisClass = b.Class("by/Count");
  b.superClass = b.Class("java/lang/Object");
  b.AddField(0x0009, "n", "I");
  Bytes get;
  Push2(get, 0xB2, b.Ref(9, "by/Count", "n", "I"));
  get.push_back(0xAC);
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(1, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/by/Count.class", b.Build()));
}

int Expected(int k) { return (1000 + k) * 10000 + k; }

/* by/<name>.get() in the loader; -1 when the class is not found, -3 when get threw. */
int Answer(JNIEnv* env, const std::string& name, void* loader) {
  jclass c = env->functions->FindClassInLoaderId(env, ("by/" + name).c_str(), loader);
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

/* The host's relocation of a machine's heap: every block moved, every word rewritten,
   the old copies freed (and poisoned). */
/* What the host hooks below act on; set only while a drop runs. */
struct Scene {
  void* dropper = nullptr;     // the host thread id of the dropping thread
  JavaVM* first = nullptr;     // the machine listed first: its steps come first
  JavaVM* second = nullptr;
  std::atomic<int> movesLeft{0};
  std::atomic<int> movesMade{0};
  std::atomic<int> refusalsLeft{0};
  std::atomic<int> refusals{0};
  uint32_t secondCollectionsBefore = 0;
  bool secondCollected = false;
  uint32_t firstCollectionsAtSecond = 0;
};
Scene gScene;
JNIHostFunctions gReal;

/* A walk of the second machine's heap by the dropping thread (its survey there): the
   host moves the first machine before it, every thread of that one declared. */
void HOSTCALL MovingHeapWalk(HHeap* heap, JNIHostHeapWalkFn fn, void* ctx) {
  if (gScene.movesLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper && heap == gScene.second->heap) {
    gScene.movesLeft--;
    if (MoveMachine(gScene.first) != 0) gScene.movesMade++;
  }
  gReal.HeapWalk(heap, fn, ctx);
}

/* The dropping thread's host mutexes are watched from the second machine's first
   collection on; once the first machine has been collected after it (the surveys are
   behind, the first machine has let go), the host refuses the second machine's own
   mutex, which its stops are made under, as often as the test asks. */
jboolean HOSTCALL RefusingMutexLock(void* mutex) {
  if (gScene.refusalsLeft.load() > 0 && gReal.CurrentThreadId() == gScene.dropper) {
    const uint32_t first = gScene.first->vm->GetCollections();
    const uint32_t second = gScene.second->vm->GetCollections();
    if (!gScene.secondCollected && second != gScene.secondCollectionsBefore) {
      gScene.secondCollected = true;
      gScene.firstCollectionsAtSecond = first;
    }
    VMMonitor* own = gScene.second->vm->GetMonitor();
    if (gScene.secondCollected && first != gScene.firstCollectionsAtSecond && own != nullptr &&
        mutex == own->GetMutex()) {
      gScene.refusalsLeft--;
      gScene.refusals++;
      return 0;
    }
  }
  return gReal.MutexLock(mutex);
}

class LoaderStepsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("loadersteps");
    ASSERT_EQ(0, mkdir((dir + "/by").c_str(), 0777));
    WriteCount(dir);
    for (int k = 0; k < kClasses; k++) WriteStaticsClass(dir, k);
  }
  static void TearDownTestSuite() { classfile_test::RemoveTree(dir); }

  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    fatal = refhost::FatalExitCount();
    gReal = *refhost::Functions();
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.shareNameSpaceOf = m.jvm;
    JNIEnv* otherEnv = nullptr;
    ASSERT_EQ(0, JNI_CreateJavaVM(&other, &otherEnv, &args));
    ASSERT_EQ(m.ns, other->nameSpace);
    ASSERT_EQ(0, other->functions->DetachCurrentThread(other));
    refhost::Functions()->AttachThreadEnv(m.jvm, m.env);
    refhost::Functions()->SetCurrentEnv(m.env);
  }
  void TearDown() override {
    Unhook();
    std::thread end([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, other->functions->AttachCurrentThread(other, &env, nullptr));
      EXPECT_EQ(0, other->functions->DestroyJavaVM(other));
    });
    JoinOutside(end);
    refhost::ResetHooks();
    m.Destroy();
  }

  void Unhook() {
    refhost::Functions()->HeapWalk = gReal.HeapWalk;
    refhost::Functions()->MutexLock = gReal.MutexLock;
    gScene.movesLeft = 0;
    gScene.refusalsLeft = 0;
  }

  void* NewLoader() {
    void* id = (void*)(uintptr_t)(0x5e000 + nextLoader++);
    refhost::SetClassPath(id, dir);
    return id;
  }

  /* Runs body on a thread attached to the other machine, this one waiting outside. */
  template <class Body>
  void OnOther(Body body) {
    std::thread t([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, other->functions->AttachCurrentThread(other, &env, nullptr));
      body(env);
      other->functions->DetachCurrentThread(other);
    });
    JoinOutside(t);
  }

  /* Every class of the loader answered (and so initialised) on the env's machine. */
  static void Initialise(JNIEnv* env, void* loader) {
    for (int k = 0; k < kClasses; k++) ASSERT_EQ(Expected(k), Answer(env, "C" + std::to_string(k), loader)) << k;
  }
  /* How many of the initialisers ran in the env's machine, read before any class of the
     loader is used again there: 0 once the statics were taken. */
  static int Initialisers(JNIEnv* env, void* loader) { return Answer(env, "Count", loader); }

  /* The machines of the name space in the order a drop takes them. */
  void Order() {
    VMUtils::GlobalMutexGuard guard;
    JavaVM* listed = VMUtils::GetVMList();
    gScene.first = listed;
    gScene.second = listed == other ? m.jvm : other;
  }

  void CollectBoth() {
    m.vm->GarbageCollect(false);
    OnOther([&](JNIEnv*) { other->vm->GarbageCollect(false); });
    ASSERT_EQ(fatal, refhost::FatalExitCount()) << refhost::LastFatalExitText();
  }

  static std::string dir;
  static int nextLoader;
  Machine m;
  JavaVM* other = nullptr;
  int fatal = 0;
};

std::string LoaderStepsTest::dir;
int LoaderStepsTest::nextLoader = 0;

/* The second machine's stop is refused (twice) once the first machine has let go of the
   loader: the drop must either end with the loader gone, or leave the first machine's
   statics where they were. Taken there and the loader kept, the next use would run the
   initialisers again over a count started anew. */
TEST_F(LoaderStepsTest, AStopRefusedInTheSecondMachineLeavesNoStaticsHalfTaken) {
  const int rounds = refhost::CollectionStress() != 0 ? 2 : 5;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* loader = NewLoader();
    Initialise(m.env, loader);
    OnOther([&](JNIEnv* env) { Initialise(env, loader); });
    Order();
    jobject l = JNI_FindClassLoaderLite(m.env, loader);
    ASSERT_NE(nullptr, l);
    gScene.dropper = gReal.CurrentThreadId();
    gScene.secondCollectionsBefore = gScene.second->vm->GetCollections();
    gScene.secondCollected = false;
    gScene.refusals = 0;
    gScene.refusalsLeft = 2;
    refhost::Functions()->MutexLock = RefusingMutexLock;
    JNI_DestroyClassLoaderLite(m.env, l);
    Unhook();
    ASSERT_GT(gScene.refusals.load(), 0) << "round " << round << ": no stop was refused";
    if (JNI_FindClassLoaderLite(m.env, loader) != nullptr) {
      // Kept: each machine must still hold its statics.
      int firstCount = -9;
      if (gScene.first == m.jvm) {
        firstCount = Initialisers(m.env, loader);
      } else {
        OnOther([&](JNIEnv* env) { firstCount = Initialisers(env, loader); });
      }
      EXPECT_EQ(kClasses, firstCount) << "round " << round << ": the loader was kept, its statics taken";
    }
    CollectBoth();
    // Whatever came of it, the classes answer as before, initialised once more at most.
    for (int k = 0; k < kClasses; k++) EXPECT_EQ(Expected(k), Answer(m.env, "C" + std::to_string(k), loader)) << k;
  }
}

/* The host moves the machine listed first (no thread of it attached) at every walk of the
   other machine's heap the dropping thread makes there: the drop must go on with the
   machine where it is now, and end with the loader gone and the moved machine whole. */
TEST_F(LoaderStepsTest, AMachineMovedBetweenTheStepsOfADropIsFollowed) {
  const int rounds = refhost::CollectionStress() != 0 ? 2 : 5;
  for (int round = 0; round < rounds && !HasFailure(); round++) {
    void* dropped = NewLoader();
    void* kept = NewLoader();
    Initialise(m.env, dropped);
    OnOther([&](JNIEnv* env) {
      Initialise(env, dropped);
      Initialise(env, kept);
    });
    Order();
    // The machine moved must be one the dropping thread is not attached to.
    if (gScene.first == m.jvm) std::swap(gScene.first, gScene.second);
    gScene.dropper = gReal.CurrentThreadId();
    gScene.movesMade = 0;
    // Armed around each drop alone: a collection of this machine elsewhere walks it too.
    for (int attempt = 0; attempt < 100; attempt++) {
      jobject l = JNI_FindClassLoaderLite(m.env, dropped);
      if (l == nullptr) break;
      if (attempt > 0) WhileOutside([] { std::this_thread::yield(); });
      gScene.movesLeft = 3;
      refhost::Functions()->HeapWalk = MovingHeapWalk;
      JNI_DestroyClassLoaderLite(m.env, l);
      Unhook();
    }
    Unhook();
    ASSERT_GT(gScene.movesMade.load(), 0) << "round " << round << ": the machine was not moved";
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, dropped)) << "round " << round;
    CollectBoth();
    EXPECT_EQ("", refhost::CheckHeap(other->heap)) << "round " << round;
    OnOther([&](JNIEnv* env) {
      EXPECT_EQ(kClasses, Initialisers(env, kept)) << "round " << round;
      for (int k = 0; k < kClasses; k++) EXPECT_EQ(Expected(k), Answer(env, "C" + std::to_string(k), kept)) << k;
    });
  }
}

}  // namespace
