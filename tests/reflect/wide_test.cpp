/* The public lists of a hierarchy whose interfaces are reached along many paths
   (reflect.wide: 260 superinterfaces beside a chain of ten diamonds): each interface is
   walked once, from one thread or several at once, and a walk that runs out of memory
   says so instead of answering a shorter list. An interface that extends a thousand
   interfaces (made here, class file by class file) lists its methods about as fast as
   one that declares as many itself, and its walk lets the other threads' collections
   run and a stop end it. */
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmjavalangreflectfield.h"
#include "vmjvm.h"

using classfile_test::ClassBuilder;
using natives_test::Machine;

namespace {

class WideTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create(1, "reflect")); }
  void TearDown() override {
    refhost::ResetHooks();
    m.Destroy();
  }
  std::string Lists(const char* names) {
    return m.CallText("reflect/wide/Lists", "of", "(Ljava/lang/String;)Ljava/lang/String;", {(VMword)m.String(names)});
  }
  Machine m;
};

TEST_F(WideTest, EachInterfaceIsListedOnceHoweverManyPathsReachIt) {
  // T10 reaches D0 along 1024 paths, past 261 interfaces of W; U10 along as many without
  // them; the class C10 through both; its methods are Object's nine and d0.
  EXPECT_EQ(
      "T10: d0 / FD\n"
      "U10: d0 / FD\n"
      "W:  / \n"
      "D0: d0 / FD\n"
      "C10: 10 methods / FD\n",
      Lists("T10 U10 W D0 C10"));
  // Looked up by name through the same lists.
  EXPECT_EQ("T10: d0 / FD\n", Lists("T10"));
}

TEST_F(WideTest, ThreadsListingTheSameInterfacesAtOnceEachGetTheWholeList) {
  EXPECT_EQ(0, m.Call("reflect/wide/Lists", "race", "(II)I", {4, 400}).Int());
}

/* The reached set grows in process memory past its first sixty-four classes: refused
   there, the list is OutOfMemoryError (never the part walked so far), nothing stays
   allocated, and the next list is whole. */
TEST_F(WideTest, AWalkThatRunsOutOfMemoryFailsWithOutOfMemoryError) {
  VMLoadableClass* t10 = m.Class("reflect/wide/T10");
  VMLoadableClass* c10 = m.Class("reflect/wide/C10");
  ASSERT_TRUE(t10 != nullptr && c10 != nullptr);
  jclass classes[] = {m.Local((VMObject*)t10), m.Local((VMObject*)c10)};
  for (jclass cls : classes) {
    ASSERT_NE(nullptr, JVM_GetClassMethods(m.env, cls, 0));
    ASSERT_NE(nullptr, JVM_GetClassFields(m.env, cls, 0));
  }
  ASSERT_EQ("", m.TakeException());
  for (uint32_t limit : {100u, 600u, 1500u}) {
    const uint32_t blocks = refhost::BlocksInUse(nullptr);
    refhost::SetFailureScope(true, nullptr, -1);
    refhost::FailAllocationsAbove(limit);
    EXPECT_EQ(nullptr, JVM_GetClassMethods(m.env, classes[0], 0)) << limit;
    EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException()) << limit;
    for (jclass cls : classes) {
      EXPECT_EQ(nullptr, JVM_GetClassFields(m.env, cls, 0)) << limit;
      EXPECT_EQ("java.lang.OutOfMemoryError", m.TakeException()) << limit;
    }
    refhost::FailAllocationsAbove(0);
    EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << limit;
  }
  refhost::ResetHooks();
  EXPECT_EQ("T10: d0 / FD\nC10: 10 methods / FD\n", Lists("T10 C10"));
}

/* ---- an interface that extends a thousand interfaces ---- */

/* Package wide2: I0..I999 of 20 methods each (m<k>_<j>, public abstract ()I), Top that
   extends all of them, Few that extends I0..I49, and as the narrow counterpart of Top
   Flat, which extends Bulk, which declares 20,000 such methods itself. */
const int kInterfaces = 1000;
const int kMethodsEach = 20;
const int kFew = 50;
/* Siblings extends SLow, Sib0..Sib299 and SBase; each Sib<k> extends SBase and redeclares
   c0..c<k % 3> of it beside its own own<k>; SLow extends Sib0 and Sib1, redeclaring c0
   and c1, beside low. */
const int kSiblings = 300;

void WriteInterface(const std::string& dir, const std::string& name, const std::vector<std::string>& methods,
                    const std::vector<std::string>& supers) {
  ClassBuilder b;
  b.access = 0x601;  // public interface abstract
  b.thisClass = b.Class("wide2/" + name);
  b.superClass = b.Class("java/lang/Object");
  for (const std::string& super : supers) b.interfaces.push_back(b.Class("wide2/" + super));
  // Names entered without the builder's search for an equal entry, which would make
  // Bulk's pool quadratic.
  const uint16_t descriptor = b.Utf8("()I");
  for (const std::string& method : methods)
    b.methods.push_back({0x401, b.RawUtf8(classfile_test::Bytes(method.begin(), method.end())), descriptor, {}});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/wide2/" + name + ".class", b.Build())) << name;
}

struct Hold;

class WideInterfaceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("widereflect");
    ASSERT_EQ(0, mkdir((dir + "/wide2").c_str(), 0777));
    std::vector<std::string> all, bulk, few;
    for (int k = 0; k < kInterfaces; k++) {
      std::vector<std::string> methods;
      for (int j = 0; j < kMethodsEach; j++) methods.push_back("m" + std::to_string(k) + "_" + std::to_string(j));
      WriteInterface(dir, "I" + std::to_string(k), methods, {});
      all.push_back("I" + std::to_string(k));
      if (k < kFew) few.push_back(all.back());
      bulk.insert(bulk.end(), methods.begin(), methods.end());
    }
    // Siblings over one base (SBase: c0..c3), each redeclaring some of its methods.
    std::vector<std::string> siblings = {"SLow"};
    for (int k = 0; k < kSiblings; k++) {
      std::vector<std::string> methods;
      for (int j = 0; j <= k % 3; j++) methods.push_back("c" + std::to_string(j));
      methods.push_back("own" + std::to_string(k));
      WriteInterface(dir, "Sib" + std::to_string(k), methods, {"SBase"});
      siblings.push_back("Sib" + std::to_string(k));
    }
    siblings.push_back("SBase");
    WriteInterface(dir, "SBase", {"c0", "c1", "c2", "c3"}, {});
    WriteInterface(dir, "SLow", {"c0", "c1", "low"}, {"Sib0", "Sib1"});
    WriteInterface(dir, "Siblings", {}, siblings);
    WriteInterface(dir, "Top", {}, all);
    WriteInterface(dir, "Few", {}, few);
    WriteInterface(dir, "Bulk", bulk, {});
    WriteInterface(dir, "Flat", {}, {"Bulk"});
  }
  static void TearDownTestSuite() { classfile_test::RemoveTree(dir); }

  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    refhost::SetClassPath(nullptr, dir + ":" + refhost::GetClassPath(nullptr));
  }
  void TearDown() override {
    VMObjectBase::SetCollectionStress(stress);
    m.Destroy();
  }

  jclass Load(const char* name) {
    VMLoadableClass* cls = m.Class(name);
    return cls != nullptr ? m.Local((VMObject*)cls) : nullptr;
  }
  /* The names of a method list, sorted; empty for none. */
  std::vector<std::string> Names(jobjectArray list, JNIEnv* env = nullptr) {
    std::vector<std::string> names;
    VMJavaLangReflectMethodArray* methods =
        (VMJavaLangReflectMethodArray*)VMJniHandle::UnHandle(env != nullptr ? env : m.env, list);
    for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
      VMJavaLangReflectMethod* method = methods->Get(i);
      names.push_back(method != nullptr ? m.Text((VMObject*)method->GetName(1)) : "<none>");
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  /* What a list of the first n interfaces holds: each of their methods once. */
  static std::vector<std::string> Expected(int n) {
    std::vector<std::string> names;
    for (int k = 0; k < n; k++)
      for (int j = 0; j < kMethodsEach; j++) names.push_back("m" + std::to_string(k) + "_" + std::to_string(j));
    std::sort(names.begin(), names.end());
    return names;
  }
  /* The fastest of three lists of a class's public methods, in microseconds. */
  int64_t Fastest(jclass cls) {
    int64_t best = INT64_MAX;
    for (int round = 0; round < 3; round++) {
      auto start = std::chrono::steady_clock::now();
      jobjectArray list = (jobjectArray)JVM_GetClassMethods(m.env, cls, 0);
      auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
      EXPECT_NE(nullptr, list);
      if (list != nullptr) m.env->functions->DeleteLocalRef(m.env, list);
      best = std::min<int64_t>(best, took.count());
    }
    return best;
  }

  /* Few's list while refuse(true) holds: it fails with the exception named, with no
     host mutex left held and nothing of the walk left in process memory; after
     refuse(false) the next list is whole. */
  void ExpectRefusedThenWhole(const char* exception, void (*refuse)(bool on)) {
    jclass few = Load("wide2/Few");
    ASSERT_NE(nullptr, few);
    ASSERT_NE(nullptr, JVM_GetClassMethods(m.env, few, 0));
    const uint32_t blocks = refhost::BlocksInUse(nullptr);
    const uint32_t mutexes = refhost::MutexesHeldByThisThread();
    refuse(true);
    EXPECT_EQ(nullptr, JVM_GetClassMethods(m.env, few, 0));
    refuse(false);
    EXPECT_EQ(exception, m.TakeException());
    EXPECT_EQ(mutexes, refhost::MutexesHeldByThisThread());
    EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr));
    EXPECT_EQ(Expected(kFew), Names((jobjectArray)JVM_GetClassMethods(m.env, few, 0)));
  }

  std::vector<std::string> ListHeld(VMLoadableClass* cls, Hold* hold, const std::function<void()>& meanwhile,
                                    std::string* thrown, uint32_t* collections = nullptr);

  static std::string dir;
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  Machine m;
};
std::string WideInterfaceTest::dir;

/* Each method of the walk costs about the same whether a thousand interfaces or one
   declare the 20,000 of them (a scan of every method met before made Top's list about a
   hundred times slower than Flat's). Timed without the collection stress, which would
   time the collector instead. */
TEST_F(WideInterfaceTest, AWideInterfaceListsAboutAsFastAsANarrowOne) {
  VMObjectBase::SetCollectionStress(0);
  jclass top = Load("wide2/Top");
  jclass flat = Load("wide2/Flat");
  ASSERT_TRUE(top != nullptr && flat != nullptr);
  jobjectArray list = (jobjectArray)JVM_GetClassMethods(m.env, top, 0);
  EXPECT_EQ(Expected(kInterfaces), Names(list));
  list = (jobjectArray)JVM_GetClassMethods(m.env, flat, 0);
  EXPECT_EQ(Expected(kInterfaces), Names(list));
  ASSERT_EQ("", m.TakeException());
  const int64_t narrow = Fastest(flat);
  const int64_t wide = Fastest(top);
  EXPECT_LT(wide, 4 * narrow + 20000) << "wide " << wide << " us, narrow " << narrow << " us";
}

/* The host hook that holds the listing thread at its at-th block of heap (30 of the
   machine's: the fill has begun; 1 of process memory: the count has met sixty-four names)
   until another thread's collection has asked it to stop. */
struct Hold {
  JNIHostFunctions real;
  HHeap* heap = nullptr;
  int at = 30;
  VMThread* walker = nullptr;
  void* walkerId = nullptr;
  int blocks = 0;
  std::atomic<bool> reached{false};
  std::atomic<bool> listed{false};  // the list returned
  std::atomic<bool> done{false};
};
Hold* gHold = nullptr;

void* HOSTCALL HoldingAlloc(HHeap* heap, uint32_t size, jint kind) {
  Hold* h = gHold;
  if (heap == h->heap && refhost::Functions()->CurrentThreadId() == h->walkerId && ++h->blocks == h->at) {
    h->reached = true;
    // Bounded only so that a broken collector fails the test instead of hanging it.
    auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!(h->walker->GetFlags() & VMThread::YieldToWaitForGCFlag) && std::chrono::steady_clock::now() < limit)
      std::this_thread::yield();
  }
  return h->real.HeapAlloc(heap, size, kind);
}

/* cls's public list on a thread attached for it, whose count of the monitors it holds
   starts from nothing, held by hold; once the hold is reached (or the list done),
   meanwhile runs on this thread. The names listed; *thrown is "" or "an exception", and
   *collections the machine's collections during the list. */
std::vector<std::string> WideInterfaceTest::ListHeld(VMLoadableClass* cls, Hold* hold,
                                                     const std::function<void()>& meanwhile, std::string* thrown,
                                                     uint32_t* collections) {
  hold->real = *refhost::Functions();
  gHold = hold;
  *thrown = "<not run>";
  std::vector<std::string> names;
  std::thread lister([&] {
    JNIEnv* env = nullptr;
    if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) == 0) {
      hold->walker = env->thread;
      hold->walkerId = refhost::Functions()->CurrentThreadId();
      jclass local = (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls);
      const uint32_t before = m.vm->GetCollections();
      refhost::Functions()->HeapAlloc = HoldingAlloc;
      jobjectArray list = (jobjectArray)JVM_GetClassMethods(env, local, 0);
      hold->listed = true;
      refhost::Functions()->HeapAlloc = hold->real.HeapAlloc;
      if (collections != nullptr) *collections = m.vm->GetCollections() - before;
      *thrown = env->thread->GetException() != nullptr ? "an exception" : "";
      names = Names(list, env);
      m.jvm->functions->DetachCurrentThread(m.jvm);
    }
    hold->done = true;
  });
  WhileOutside([&] {
    while (!hold->reached && !hold->done) std::this_thread::yield();
  });
  meanwhile();
  JoinOutside(lister);
  gHold = nullptr;
  return names;
}

/* A collection that another thread starts while the list is being filled runs before the
   list is done: the walk polls every few hundred methods, its class's monitor given up
   meanwhile (parked holding it, the lister would make the collection give up). The list
   is whole afterwards. The lister is a thread attached for the test, whose count of the
   monitors it holds starts from nothing. */
TEST_F(WideInterfaceTest, ACollectionAskedForDuringTheWalkRunsBeforeItEnds) {
  VMLoadableClass* few = m.Class("wide2/Few");
  ASSERT_NE(nullptr, few);
  Hold hold;
  hold.heap = m.vm->GetHeap();
  std::string thrown;
  uint32_t collections = 0;
  std::vector<std::string> names = ListHeld(few, &hold, [&] { m.vm->GarbageCollect(false); }, &thrown, &collections);
  EXPECT_TRUE(hold.reached);
  EXPECT_GT(collections, 0u) << "the walk never let the collection run";
  EXPECT_EQ("", thrown);
  EXPECT_EQ(Expected(kFew), names);
}

/* A class of a loader the host destroys while the walk of its list stands at a poll
   (there a collection finds that nothing of the machine names the loader's classes but
   the walker's local reference, which it empties) keeps its loader until the list is
   done: the list comes out whole, and the next destroy lets the loader go. The destroy
   looks twice, a collection each time, and the walk goes on between them: a list done
   before the destroy returned may have let the loader go, rightly. */
TEST_F(WideInterfaceTest, ALoaderDestroyedWhileItsClassIsListedStaysUntilTheListIsDone) {
  refhost::SetClassPath((void*)9, dir);
  const uint32_t level = m.env->thread->GetJNIHandleArray()->GetCount();
  jclass found = m.env->functions->FindClassInLoaderId(m.env, "wide2/Few", (void*)9);
  ASSERT_NE(nullptr, found);
  VMLoadableClass* few = (VMLoadableClass*)VMJniHandle::UnHandle(m.env, found);
  ASSERT_EQ(Expected(kFew), Names((jobjectArray)JVM_GetClassMethods(m.env, found, 0)));
  // The test thread's own references would keep the loader anyway.
  m.env->thread->GetJNIHandleArray()->Clear(level);
  m.vm->GarbageCollect(false);
  Hold hold;
  hold.heap = nullptr;
  hold.at = 1;
  std::string thrown;
  void* kept = nullptr;
  bool listedBefore = false;
  std::vector<std::string> names = ListHeld(few, &hold, [&] {
    JNI_DestroyClassLoaderLite(m.env, JNI_FindClassLoaderLite(m.env, (void*)9));
    kept = m.ns->FindLoader((void*)9);
    listedBefore = hold.listed;
  }, &thrown);
  EXPECT_TRUE(kept != nullptr || listedBefore) << "the loader went while its class was listed";
  EXPECT_TRUE(hold.reached);
  EXPECT_EQ("", thrown);
  EXPECT_EQ(Expected(kFew), names);
  JNI_DestroyClassLoaderLite(m.env, JNI_FindClassLoaderLite(m.env, (void*)9));
  EXPECT_EQ(nullptr, m.ns->FindLoader((void*)9));
}

/* A stop the host asks of the listing thread ends the walk with ThreadDeath, the class's
   monitor given back. */
TEST_F(WideInterfaceTest, AStopEndsTheWalkWithThreadDeath) {
  ExpectRefusedThenWhole("java.lang.ThreadDeath", refhost::SetStopFlag);
}

/* The names that hide later methods are kept in process memory past sixty-four, as the
   reached interfaces are: refused there (Few's 1,000 names want 4 KB, its 51 interfaces
   far less), the list is OutOfMemoryError. */
TEST_F(WideInterfaceTest, HidingNamesThatRunOutOfMemoryFailWithOutOfMemoryError) {
  ExpectRefusedThenWhole("java.lang.OutOfMemoryError", [](bool on) {
    refhost::SetFailureScope(on, nullptr, -1);
    refhost::FailAllocationsAbove(on ? 2000 : 0);
  });
}

/* ---- the machine moved while a walk stands at its poll ---- */

void HOSTCALL MoveWord(void** word, void* heap) { refhost::RelocateWord(word, heap); }
void MoveBlock(void*, void* moved, void* heap) { JNI_Relocate(moved, heap, MoveWord); }

/* The host hooks that ask the listing thread to suspend at its 30th block of the
   machine's heap (the fill has begun), so that it stops at the walk's next poll, and
   tell when it parks there (it reads nothing of the machine after that). */
struct SuspendAt {
  JNIHostFunctions real;
  HHeap* heap = nullptr;
  std::atomic<JNIEnv*> env{nullptr};
  void* id = nullptr;
  int blocks = 0;
  std::atomic<bool> parked{false};
};
SuspendAt* gSuspendAt = nullptr;

void* HOSTCALL SuspendingAlloc(HHeap* heap, uint32_t size, jint kind) {
  SuspendAt* s = gSuspendAt;
  if (heap == s->heap && refhost::Functions()->CurrentThreadId() == s->id && ++s->blocks == 30)
    s->env.load()->thread->Suspend();
  return s->real.HeapAlloc(heap, size, kind);
}

void HOSTCALL ParkingSuspend(void* handle) {
  gSuspendAt->parked = true;
  gSuspendAt->real.SuspendThread(handle);
}

/* A suspension served at the walk's poll stops the thread where the host may move the
   machine's heap, the list being filled and the thread's record included: the walk goes
   on filling the moved list, and a look-up by name compares with the name and types as
   they are after the move. Both answer as if nothing had moved. */
TEST_F(WideInterfaceTest, AListStoppedAtItsPollWhileTheMachineMovesComesOutWhole) {
  VMLoadableClass* few = m.Class("wide2/Few");
  ASSERT_NE(nullptr, few);
  for (bool byName : {false, true}) {
    SuspendAt at;
    at.real = *refhost::Functions();
    at.heap = m.vm->GetHeap();
    gSuspendAt = &at;
    std::atomic<bool> done{false};
    std::string thrown = "<not run>";
    std::vector<std::string> names;
    std::thread lister([&] {
      JNIEnv* env = nullptr;
      if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) == 0) {
        at.id = refhost::Functions()->CurrentThreadId();
        jclass cls = (jclass)VMJniHandle::NewLocal(env, (VMObject*)few);
        jstring name = env->functions->NewStringUTF(env, "m49_19");
        jclass classClass = env->functions->FindClass(env, "java/lang/Class");
        jobjectArray none = env->functions->NewObjectArray(env, 0, classClass, nullptr);
        at.env = env;
        refhost::Functions()->SuspendThread = ParkingSuspend;
        refhost::Functions()->HeapAlloc = SuspendingAlloc;
        jobject answer = byName ? JVM_GetClassMethod(env, cls, name, none, 0) : JVM_GetClassMethods(env, cls, 0);
        refhost::Functions()->HeapAlloc = at.real.HeapAlloc;
        refhost::Functions()->SuspendThread = at.real.SuspendThread;
        thrown = env->thread->GetException() != nullptr ? "an exception" : "";
        if (byName && answer != nullptr) {
          VMJavaLangReflectMethod* method = (VMJavaLangReflectMethod*)VMJniHandle::UnHandle(env, answer);
          names.push_back(m.Text((VMObject*)method->GetName(1)));
        } else if (answer != nullptr) {
          names = Names((jobjectArray)answer, env);
        }
        m.jvm->functions->DetachCurrentThread(m.jvm);
      }
      done = true;
    });
    WhileOutside([&] {
      while (!done && !at.parked) std::this_thread::yield();
    });
    const bool stopped = !done;
    if (stopped) {
      HHeap* heap = m.vm->GetHeap();
      EXPECT_GT(refhost::RelocateHeap(heap), 20u);
      refhost::ForEachRelocated(heap, MoveBlock, heap);
      JNI_RelocationDone(m.jvm, heap, MoveWord);
      refhost::FinishRelocation(heap);
      m.vm = m.jvm->vm;
      at.env.load()->thread->Resume();
    }
    JoinOutside(lister);
    gSuspendAt = nullptr;
    EXPECT_TRUE(stopped) << byName;
    EXPECT_EQ("", thrown) << byName;
    EXPECT_EQ(byName ? std::vector<std::string>{"m49_19"} : Expected(kFew), names) << byName;
  }
}

/* ---- siblings that redeclare their common base's methods ---- */

/* What java 17 lists for Siblings, by name (all share one descriptor): each method once
   under the lowest interface that declares it. SLow hides Sib0's and Sib1's c0 and c1;
   the siblings hide SBase's c0..c2 (its c3 no one redeclares); nothing hides a
   sibling's own. */
std::vector<std::string> ExpectedSiblings() {
  std::vector<std::string> names = {"c0", "c1", "low", "c3"};
  for (int k = 0; k < kSiblings; k++) {
    names.push_back("own" + std::to_string(k));
    for (int j = 0; k >= 2 && j <= k % 3; j++) names.push_back("c" + std::to_string(j));
  }
  std::sort(names.begin(), names.end());
  return names;
}

/* Each interface's methods hidden or listed by which interfaces extend which, whether the
   list works that out for all of them at once or, without the memory for it (refused
   above 10 KB: what the siblings extend wants 12 KB, the names met 8 KB), method by
   method; the declaring class of each Method listed is the one expected. Several threads
   list at once, collections among them. */
TEST_F(WideInterfaceTest, SiblingsThatRedeclareTheirBasesMethodsHideOnlyWhatTheyExtend) {
  jclass siblings = Load("wide2/Siblings");
  ASSERT_NE(nullptr, siblings);
  const std::vector<std::string> expected = ExpectedSiblings();
  for (bool refused : {false, true}) {
    const uint64_t before = refhost::RefusedCount();
    if (refused) {
      refhost::SetFailureScope(true, nullptr, -1);
      refhost::FailAllocationsAbove(10 * 1024);
    }
    jobjectArray list = (jobjectArray)JVM_GetClassMethods(m.env, siblings, 0);
    ASSERT_EQ("", m.TakeException()) << refused;
    EXPECT_EQ(expected, Names(list)) << refused;
    // Where each c<j> stands: under SLow for c0 and c1, SBase for c3, else a sibling.
    VMJavaLangReflectMethodArray* methods = (VMJavaLangReflectMethodArray*)VMJniHandle::UnHandle(m.env, list);
    VMLoadableClass* low = m.Class("wide2/SLow");
    VMLoadableClass* base = m.Class("wide2/SBase");
    VMLoadableClass* firstTwo[] = {m.Class("wide2/Sib0"), m.Class("wide2/Sib1")};
    int underLow = 0, underBase = 0;
    for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
      VMJavaLangReflectMethod* method = methods->Get(i);
      VMLoadableClass* owner = method->GetReflectClass(1);
      const std::string name = m.Text((VMObject*)method->GetName(1));
      if (owner == low) underLow++;
      if (owner == base) {
        underBase++;
        EXPECT_EQ("c3", name);
      }
      if (owner == firstTwo[0] || owner == firstTwo[1]) {
        EXPECT_EQ(0u, name.find("own")) << name;
      }
    }
    EXPECT_EQ(3, underLow) << refused;
    EXPECT_EQ(1, underBase) << refused;
    EXPECT_EQ(refused, refhost::RefusedCount() > before) << "the refusal met nothing";
    std::atomic<int> wrong{0};
    std::vector<std::thread> listers;
    for (int t = 0; t < 3; t++) {
      listers.emplace_back([&, t] {
        JNIEnv* env = nullptr;
        if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) {
          wrong++;
          return;
        }
        jclass cls = (jclass)VMJniHandle::NewLocal(env, VMJniHandle::UnHandle(m.env, siblings));
        for (int round = 0; round < 2; round++) {
          if (t == 0) m.vm->GarbageCollect(false);
          jobjectArray mine = (jobjectArray)JVM_GetClassMethods(env, cls, 0);
          if (mine == nullptr || Names(mine, env) != expected) wrong++;
          if (mine != nullptr) env->functions->DeleteLocalRef(env, mine);
        }
        m.jvm->functions->DetachCurrentThread(m.jvm);
      });
    }
    JoinOutside(listers);
    EXPECT_EQ(0, wrong.load()) << refused;
    refhost::FailAllocationsAbove(0);
  }
}

}  // namespace
