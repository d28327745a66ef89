/* Request brackets under load: hundreds of threads attached at once, each with an outer
   and an inner bracket open (both kinds of deletion), a collection and a host move of the
   machine while they are open, marks handed from thread to thread, a thousand threads
   come and gone, threads of two machines of one name space bracketing together, and
   brackets of one kind inside brackets of the other at the same global levels. A
   thread's deletion takes exactly what it made inside its bracket, and nothing of
   another thread's. */
#include "jni_support.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmsmallobjectbase.h"

namespace jni_test {
namespace {

void RelocateEach(void*, void* newBlock, void* heap) { JNI_Relocate(newBlock, heap, refhost::RelocateWord); }

/* Whether handle h (a global) still holds object and was made by e's thread: a slot
   taken again by another thread's global of the same object does not count. Read under
   the lock of the shared arrays, none of them growing: a grower frees the old owner
   words at once. */
bool Mine(JNIEnv* e, jobject h, VMObject* object) {
  const uint32_t index = (uint32_t)(uintptr_t)h;
  VMObjectHandleArray* a = (index & VMJniHandle::NameSpaceGlobalTag) != 0
                               ? e->thread->GetVM()->GetNameSpace()->GetJNIHandleArray()
                               : e->thread->GetVM()->GetJNIHandleArray();
  VMJniHandle::Lock(e, a, true);
  const bool mine = VMJniHandle::UnHandle(e, h) == object &&
                    a->IsOwnedBy(index & VMJniHandle::IndexMask, (VMword)e->thread->GetId());
  VMJniHandle::UnLock(e);
  return mine;
}

class MarksAttackTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    vm = Create(&env);
    ASSERT_NE(nullptr, vm);
  }
  void TearDown() override {
    if (vm != nullptr) Destroy(vm);
    JniTest::TearDown();
  }

  static uint32_t Held(VMObjectHandleArray* a) {
    uint32_t n = 0;
    for (uint32_t i = 1; i < a->GetCount(); i++) n += a->Get(i) != nullptr;
    return n;
  }
  uint32_t HeldGlobals() { return Held(vm->vm->GetJNIHandleArray()) + Held(vm->nameSpace->GetJNIHandleArray()); }

  /* Waits outside the machine until cond holds. The thread's record is found again after
     the wait: the host may have moved the machine meanwhile. */
  template <class Cond>
  static void Park(Cond cond) {
    VM::EnterSafeRegion(VMThread::Current());
    while (!cond()) std::this_thread::yield();
    VM::LeaveSafeRegion(VMThread::Current());
  }

  /* The host moves every block of the machine's heap; the old copies are poisoned and
     freed. */
  void MoveMachine() {
    HHeap* heap = vm->vm->GetHeap();
    EXPECT_GT(refhost::RelocateHeap(heap), 20u);
    refhost::ForEachRelocated(heap, RelocateEach, heap);
    JNI_RelocationDone(vm, heap, refhost::RelocateWord);
    refhost::FinishRelocation(heap);
  }

  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
};

const char* const kClasses[] = {"java/lang/Object", "java/lang/Thread",  "java/lang/Class",
                                "java/lang/String", "java/lang/Integer", "java/lang/Throwable"};

/* Two hundred threads attached at once each keep globals of both arrays (some deleted
   again, which leaves holes), then open an outer bracket, make a global and a local,
   open an inner one and wait; a collection runs and the host moves the machine while
   all their brackets are open. Then each makes more, closes the inner bracket (locals,
   then globals), the outer one, and deletes from a neighbour's marks; through all of it
   a collection runs at every allocation. Every thread's kept globals stay, each bracket
   takes exactly what was made inside it, and nothing is left over. */
TEST_F(MarksAttackTest, HundredsOfThreadsWithBracketsOpenThroughACollectionAndAMove) {
  const int kThreads = 200;
  const uint32_t heldBefore = HeldGlobals();
  std::atomic<int> ready{0}, opened{0}, closed{0}, failed{0}, lostKept{0}, wrong{0};
  std::atomic<bool> moved{false}, go{false};
  std::vector<std::array<jint, 3>> outerMarks(kThreads);
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  std::vector<std::thread> all;
  for (int t = 0; t < kThreads; t++) {
    all.emplace_back([&, t] {
      JNIEnv* e = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &e, nullptr) != 0) {
        failed++, ready++, opened++, closed++;
        return;
      }
      const JNINativeInterface_* m = e->functions;
      jobject text = m->NewStringUTF(e, ("thread " + std::to_string(t)).c_str());
      jobject cls = m->FindClass(e, kClasses[t % 6]);
      VMObject* own = VMJniHandle::UnHandle(e, text);
      VMObject* ownClass = VMJniHandle::UnHandle(e, cls);
      jobject kept[4], gone[2];
      for (int i = 0; i < 2; i++) {
        kept[2 * i] = m->NewGlobalRef(e, text);
        gone[i] = m->NewGlobalRef(e, i == 0 ? text : cls);
        kept[2 * i + 1] = m->NewGlobalRef(e, cls);
      }
      for (jobject g : gone) m->DeleteGlobalRef(e, g);  // holes for the globals below
      ready++;
      Park([&] { return go.load(); });
      // Every thread's kept globals lie below every thread's marks from here on.
      jint outer[3], inner[3];
      if (m->GetHighWaterMarks(e, outer) != 0) failed++;
      outerMarks[t] = {outer[0], outer[1], outer[2]};
      jobject a = m->NewGlobalRef(e, text);
      jobject aNs = m->NewGlobalRef(e, cls);
      jobject aLocal = m->NewLocalRef(e, text);
      if (m->GetHighWaterMarks(e, inner) != 0) failed++;
      opened++;
      Park([&] { return moved.load(); });
      own = VMJniHandle::UnHandle(e, text);  // the move gave every object a new address
      ownClass = VMJniHandle::UnHandle(e, cls);
      jobject b = m->NewGlobalRef(e, text);
      jobject bNs = m->NewGlobalRef(e, cls);
      jobject bLocal = m->NewLocalRef(e, text);
      m->DeleteLocalRef(e, m->NewStringUTF(e, "collects"));
      own = VMJniHandle::UnHandle(e, text);
      ownClass = VMJniHandle::UnHandle(e, cls);
      if (m->DeleteRefs(e, inner, 0) != 0 || m->DeleteRefs(e, inner, 1) != 0) failed++;
      if (Mine(e, b, own) || Mine(e, bNs, ownClass) || VMJniHandle::UnHandle(e, bLocal) != nullptr)
        wrong++, ADD_FAILURE() << "thread " << t << ": the inner bracket kept what was made inside it";
      if (!Mine(e, a, own) || !Mine(e, aNs, ownClass) || VMJniHandle::UnHandle(e, aLocal) != own)
        wrong++, ADD_FAILURE() << "thread " << t << ": the inner bracket took what came before it";
      if (m->DeleteRefs(e, outer, 1) != 0 || m->DeleteRefs(e, outer, 0) != 0) failed++;
      if (Mine(e, a, own) || Mine(e, aNs, ownClass) || VMJniHandle::UnHandle(e, aLocal) != nullptr)
        wrong++, ADD_FAILURE() << "thread " << t << ": the outer bracket kept what was made inside it";
      // Marks another thread took: only this thread's own globals from them up may go.
      jobject scratch = m->NewGlobalRef(e, text);
      const std::array<jint, 3> handed = outerMarks[(t + 1) % kThreads];
      if (m->DeleteRefs(e, handed.data(), 1) != 0) failed++;
      if (Mine(e, scratch, own)) m->DeleteGlobalRef(e, scratch);
      closed++;
      Park([&] { return closed.load() == kThreads; });
      for (int i = 0; i < 4; i++)
        if (!Mine(e, kept[i], i % 2 ? ownClass : own)) lostKept++;
      for (jobject g : kept) m->DeleteGlobalRef(e, g);
      vm->functions->DetachCurrentThread(vm);
    });
  }
  Park([&] { return ready.load() == kThreads; });
  VMObjectBase::SetCollectionStress(1);
  go = true;
  Park([&] { return opened.load() == kThreads; });
  // Everyone is outside the machine with two brackets open.
  const JNINativeInterface_* f = env->functions;
  f->DeleteLocalRef(env, f->NewStringUTF(env, "collect"));
  MoveMachine();
  moved = true;
  JoinOutside(all);
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, wrong.load());
  EXPECT_EQ(0, lostKept.load()) << "a deletion took globals another thread kept";
  EXPECT_EQ(heldBefore, HeldGlobals());
}

/* A thousand short-lived threads, fifty at a time, each attach, open nested brackets,
   make locals and globals of both arrays, close them with both kinds and detach, beside
   a thread that keeps its globals and brackets all the while. Afterwards nothing is held
   that was not before, and the machine's global count is what it was. */
TEST_F(MarksAttackTest, AThousandThreadsComeAndGoLeavingTheGlobalsAsTheyWere) {
  const JNINativeInterface_* f = env->functions;
  jobject text = f->NewStringUTF(env, "resident");
  jobject keptHere = f->NewGlobalRef(env, text);
  const uint32_t heldBefore = HeldGlobals();
  const uint32_t countBefore = vm->vm->GetJNIHandleArray()->GetCount();
  std::atomic<int> failed{0}, wrong{0};
  std::atomic<bool> done{false};
  std::thread resident([&] {
    JNIEnv* e = nullptr;
    if (vm->functions->AttachCurrentThread(vm, &e, nullptr) != 0) {
      failed++;
      return;
    }
    const JNINativeInterface_* m = e->functions;
    jobject mine = m->NewGlobalRef(e, m->NewStringUTF(e, "resident's own"));
    VMObject* own = VMJniHandle::UnHandle(e, mine);
    for (long round = 0; !done.load() || round < 100; round++) {
      jint marks[3];
      if (m->GetHighWaterMarks(e, marks) != 0) failed++;
      jobject g = m->NewGlobalRef(e, mine);
      m->NewLocalRef(e, mine);
      if (m->DeleteRefs(e, marks, round % 2) != 0 || m->DeleteRefs(e, marks, 1 - round % 2) != 0) failed++;
      own = VMJniHandle::UnHandle(e, mine);
      if (Mine(e, g, own)) wrong++;
      if (!Mine(e, mine, own)) wrong++;
      if (round % 64 == 0) e->thread->Yield();
    }
    m->DeleteGlobalRef(e, mine);
    vm->functions->DetachCurrentThread(vm);
  });
  for (int wave = 0; wave < 20; wave++) {
    std::vector<std::thread> batch;
    for (int t = 0; t < 50; t++) {
      batch.emplace_back([&, t] {
        JNIEnv* e = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &e, nullptr) != 0) {
          failed++;
          return;
        }
        const JNINativeInterface_* m = e->functions;
        jobject text = m->NewStringUTF(e, "request");
        jobject cls = m->FindClass(e, kClasses[t % 6]);
        jint outer[3], inner[3];
        if (m->GetHighWaterMarks(e, outer) != 0 || m->GetHighWaterMarks(e, inner) != 0) failed++;
        jobject g[4] = {m->NewGlobalRef(e, text), m->NewGlobalRef(e, cls), nullptr, nullptr};
        m->DeleteGlobalRef(e, g[0]);  // a hole the next one takes
        g[0] = nullptr;
        g[2] = m->NewGlobalRef(e, text);
        g[3] = m->NewGlobalRef(e, cls);
        m->NewLocalRef(e, text);
        if (m->DeleteRefs(e, inner, 0) != 0 || m->DeleteRefs(e, inner, 1) != 0) failed++;
        if (m->DeleteRefs(e, outer, 1) != 0 || m->DeleteRefs(e, outer, 0) != 0) failed++;
        for (jobject h : g)
          if (h != nullptr && Mine(e, h, VMJniHandle::UnHandle(e, h))) wrong++;
        vm->functions->DetachCurrentThread(vm);
      });
    }
    JoinOutside(batch);
  }
  done = true;
  JoinOutside(resident);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, wrong.load()) << "a bracket kept a global made inside it, or took the resident's own";
  EXPECT_TRUE(VMJniHandle::UnHandle(env, keptHere) != nullptr);
  EXPECT_EQ(heldBefore, HeldGlobals());
  EXPECT_LE(vm->vm->GetJNIHandleArray()->GetCount(), countBefore);
  f->DeleteGlobalRef(env, keptHere);
}

/* Another thread fills an emptied slot with its global first and writes itself as the
   slot's maker after: in between, the slot must not read as made by whoever emptied it,
   whether a deletion of the one global, a bracket's deletion by position or one of a
   global logged in a hole below the marks emptied it. */
TEST_F(MarksAttackTest, ASlotEmptiedByAnyDeletionNamesNoMakerWhileAnotherFillsIt) {
  const JNINativeInterface_* f = env->functions;
  jobject text = f->NewStringUTF(env, "emptied");
  VMObject* object = VMJniHandle::UnHandle(env, text);
  VMObjectHandleArray* a = vm->vm->GetJNIHandleArray();
  const VMword me = (VMword)env->thread->GetId();
  auto readsMineWhileFilled = [&](jobject g) {
    const uint32_t index = (uint32_t)(uintptr_t)g & VMJniHandle::IndexMask;
    EXPECT_TRUE(a->Get(index) == nullptr || index >= a->GetCount()) << index;
    EXPECT_EQ(0, (int)a->AddAt(index, object));
    const bool mine = a->IsOwnedBy(index, me);
    a->Delete(index);
    return mine;
  };
  jobject one = f->NewGlobalRef(env, text);
  f->DeleteGlobalRef(env, one);
  EXPECT_FALSE(readsMineWhileFilled(one)) << "deleted alone";

  jint marks[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  jobject above = f->NewGlobalRef(env, text);
  ASSERT_GE((jint)((uint32_t)(uintptr_t)above & VMJniHandle::IndexMask), marks[1]);
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  EXPECT_FALSE(readsMineWhileFilled(above)) << "deleted by position";

  jobject hole = f->NewGlobalRef(env, text);
  jobject kept = f->NewGlobalRef(env, text);
  f->DeleteGlobalRef(env, hole);
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  jobject below = f->NewGlobalRef(env, text);
  ASSERT_EQ(hole, below);
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  EXPECT_TRUE(Mine(env, kept, object));
  EXPECT_FALSE(readsMineWhileFilled(below)) << "deleted as logged below the marks";
  f->DeleteGlobalRef(env, kept);
}

/* Threads of two machines of one name space bracket at once, globals of the name
   space's array among what they make, and each now and then deletes from marks a thread
   of the other machine took: a thread of either machine keeps every global it made
   before its bracket, and its bracket leaves nothing behind. */
TEST_F(MarksAttackTest, ThreadsOfTwoMachinesOfOneNameSpaceTakeOnlyTheirOwn) {
  JNIEnv* env2 = nullptr;
  JavaVM* vm2 = Create(&env2, vm);
  ASSERT_NE(nullptr, vm2);
  const uint32_t nsHeldBefore = Held(vm->nameSpace->GetJNIHandleArray());
  const int kThreads = 16;
  const int kRounds = 400;
  std::atomic<int> failed{0}, wrong{0}, lostKept{0}, finished{0}, ready{0};
  std::vector<std::array<std::atomic<jint>, 3>> latest(kThreads);
  for (auto& l : latest)
    for (auto& w : l) w = 0;  // none yet
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  std::vector<std::thread> all;
  for (int t = 0; t < kThreads; t++) {
    all.emplace_back([&, t] {
      JavaVM* mine = t % 2 ? vm2 : vm;
      JNIEnv* e = nullptr;
      if (mine->functions->AttachCurrentThread(mine, &e, nullptr) != 0) {
        failed++, finished++, ready++;
        return;
      }
      const JNINativeInterface_* m = e->functions;
      jobject cls = m->FindClass(e, kClasses[t % 6]);
      jobject kept = m->NewGlobalRef(e, cls);
      // Every thread's kept global lies below every marks taken from here on, so that
      // marks handed over may take none of them.
      ready++;
      Park([&] { return ready.load() == kThreads; });
      for (int round = 0; round < kRounds; round++) {
        jint marks[3];
        if (m->GetHighWaterMarks(e, marks) != 0) failed++;
        for (int w = 0; w < 3; w++) latest[t][w] = marks[w];
        jobject made = m->NewGlobalRef(e, cls);
        if (round % 4 == 0) m->DeleteLocalRef(e, m->NewStringUTF(e, "collects"));
        if (!Mine(e, made, VMJniHandle::UnHandle(e, cls)) && lostKept++ == 0)
          ADD_FAILURE() << "thread " << t << " round " << round << " lost a global of its open bracket";
        if (round % 5 == 0) {
          // Marks of a thread of the other machine: nothing of anyone else's may go.
          const int other = (t + 1 + 2 * (round % (kThreads / 2))) % kThreads;
          jint handed[3] = {latest[other][0], latest[other][1], latest[other][2]};
          if (handed[0] != 0 && m->DeleteRefs(e, handed, 1) != 0) failed++;
        }
        if (m->DeleteRefs(e, marks, round % 3 == 0 ? 0 : 1) != 0 || m->DeleteRefs(e, marks, 1) != 0) failed++;
        VMObject* own = VMJniHandle::UnHandle(e, cls);
        if (Mine(e, made, own)) wrong++;
        if (!Mine(e, kept, own) && lostKept++ == 0)
          ADD_FAILURE() << "thread " << t << " round " << round << " lost the global it made before its brackets";
        if (round % 32 == 0) e->thread->Yield();
      }
      finished++;
      Park([&] { return finished.load() == kThreads; });
      m->DeleteGlobalRef(e, kept);
      mine->functions->DetachCurrentThread(mine);
    });
  }
  VMObjectBase::SetCollectionStress(1);
  // This thread is attached to both machines: it waits outside each.
  VM::EnterSafeRegion(env->thread);
  VM::EnterSafeRegion(env2->thread);
  for (std::thread& th : all) th.join();
  VM::LeaveSafeRegion(env2->thread);
  VM::LeaveSafeRegion(env->thread);
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, wrong.load()) << "a bracket kept a global made inside it";
  EXPECT_EQ(0, lostKept.load());
  EXPECT_EQ(nsHeldBefore, Held(vm->nameSpace->GetJNIHandleArray()));
  Destroy(vm2);
}

/* A connection brackets its globals (kind 1) and, inside, a request brackets only its
   locals (kind 0), opened after the connection made a global into a hole below its marks:
   the global levels read the same. The request's deletion takes its local and no global,
   and the connection's still takes the global it made. The other way round too: an outer
   bracket of locals whose count fell and rose again to its marks, around an inner bracket
   of globals, still takes the local it made. */
TEST_F(MarksAttackTest, ARequestBracketOfLocalsLeavesTheConnectionsGlobalsToIt) {
  const JNINativeInterface_* f = env->functions;
  jobject text = f->NewStringUTF(env, "connection");
  jobject cls = f->FindClass(env, "java/lang/Thread");
  for (jobject object : {text, cls}) {
    const char* which = object == text ? "machine's array" : "name space's array";
    jobject below = f->NewGlobalRef(env, object);
    jobject top = f->NewGlobalRef(env, object);
    f->DeleteGlobalRef(env, below);  // a hole below the connection's marks
    jint connection[3], request[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, connection));
    jobject made = f->NewGlobalRef(env, object);  // into the hole
    ASSERT_EQ(0, f->GetHighWaterMarks(env, request));
    ASSERT_EQ(0, memcmp(connection, request, 2 * sizeof(jint))) << which << ": a global count moved";
    jobject local = f->NewLocalRef(env, object);
    ASSERT_EQ(0, f->DeleteRefs(env, request, 0));
    EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, local)) << which;
    EXPECT_EQ(VMJniHandle::UnHandle(env, object), VMJniHandle::UnHandle(env, made))
        << which << ": the request took a global";
    ASSERT_EQ(0, f->DeleteRefs(env, connection, 1));
    EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, made)) << which << ": the connection's bracket left its global";
    if (VMJniHandle::UnHandle(env, made) != nullptr) f->DeleteGlobalRef(env, made);
    EXPECT_NE(nullptr, VMJniHandle::UnHandle(env, top));
    f->DeleteGlobalRef(env, top);
    ASSERT_EQ(0, f->DeleteRefs(env, connection, 0));
  }
  for (jobject object : {text, cls}) {
    const char* which = object == text ? "machine's array" : "name space's array";
    jobject before = f->NewLocalRef(env, object);
    jint outer[3], inner[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, outer));
    f->DeleteLocalRef(env, before);  // the count falls below the outer marks
    jobject local = f->NewLocalRef(env, object);  // and rises to them again
    ASSERT_EQ(0, f->GetHighWaterMarks(env, inner));
    ASSERT_EQ(0, memcmp(outer, inner, 2 * sizeof(jint)));
    jobject global = f->NewGlobalRef(env, object);
    ASSERT_EQ(0, f->DeleteRefs(env, inner, 1));
    EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, global)) << which << ": the inner bracket left its global";
    EXPECT_EQ(VMJniHandle::UnHandle(env, object), VMJniHandle::UnHandle(env, local))
        << which << ": the inner bracket took a local";
    ASSERT_EQ(0, f->DeleteRefs(env, outer, 0));
    EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, local)) << which << ": the outer bracket left its local";
    ASSERT_EQ(0, f->DeleteRefs(env, outer, 1));
  }
}

/* A connection that makes a global into a hole before each of a hundred thousand request
   brackets of locals keeps its locals few: what tells the requests' marks from the
   connection's does not pile up. The connection's deletion still takes every global it
   made. Nor do marks taken a hundred thousand times over and never used, a global made
   into a hole after each. */
TEST_F(MarksAttackTest, ManyRequestBracketsOfLocalsInOneConnectionKeepTheLocalsFew) {
  const JNINativeInterface_* f = env->functions;
  jobject text = f->NewStringUTF(env, "connection");
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  jobject hole = f->NewGlobalRef(env, text);
  jobject top = f->NewGlobalRef(env, text);
  f->DeleteGlobalRef(env, hole);
  jint connection[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, connection));
  uint32_t most = 0;
  jobject made = nullptr;
  for (int r = 0; r < 100000; r++) {
    if (made != nullptr) f->DeleteGlobalRef(env, made);
    made = f->NewGlobalRef(env, text);  // into the hole
    jint request[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, request));
    f->NewLocalRef(env, text);
    f->NewLocalRef(env, made);
    ASSERT_EQ(0, f->DeleteRefs(env, request, 0));
    most = std::max(most, locals->GetCount());
  }
  EXPECT_LE(most, (uint32_t)connection[2] + 3) << "the requests' locals piled up";
  ASSERT_EQ(0, f->DeleteRefs(env, connection, 1));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, made)) << "the connection's bracket left its global";
  ASSERT_EQ(0, f->DeleteRefs(env, connection, 0));
  EXPECT_EQ((uint32_t)connection[2], locals->GetCount());
  const uint32_t start = locals->GetCount();
  most = 0;
  for (int r = 0; r < 100000; r++) {
    jint unused[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, unused));
    f->DeleteGlobalRef(env, made);
    made = f->NewGlobalRef(env, text);  // into the hole
    most = std::max(most, locals->GetCount());
  }
  EXPECT_LE(most, start + VMThread::MarkEntries) << "marks left open piled up empty locals";
  f->DeleteGlobalRef(env, made);
  f->DeleteGlobalRef(env, top);
}


/* One thread's globals and locals as its brackets should leave them: each made at a
   tick of the thread's own clock, each bracket opened at one; a deletion of a kind from
   a bracket takes exactly what was made after it opened and is still held. */
struct Ledger {
  struct Made {
    jobject handle;
    int source;  // index of the object it names among the thread's sources
    long at;
    int cacheEntry;  // -1 unless it holds an entry of the cache
  };
  struct Open {
    jint marks[3];
    long at;
  };
  std::vector<Made> globals, locals;
  std::vector<Open> brackets;
  long clock = 0;
};

/* A thread that keeps a cache of globals fresh between nested brackets: marks taken
   and never closed first, then random steps (brackets opened, two at once now and then,
   and closed by either kind or both in either order; cache entries refreshed, more
   globals and locals made and deleted, globals handed to a thief that deletes them and
   fills their slots with its own, new objects allocated) checked against the ledger
   after every deletion. halfway signals once and waits for resume. Returns the number
   of mismatches, each reported. */
template <class Halfway>
int RunLedger(JavaVM* vm, int id, int steps, std::vector<std::atomic<jobject>>& toThief, Halfway halfway) {
  JNIEnv* e = nullptr;
  if (vm->functions->AttachCurrentThread(vm, &e, nullptr) != 0) {
    ADD_FAILURE() << "thread " << id << ": attach refused";
    halfway();
    return 1;
  }
  const JNINativeInterface_* m = e->functions;
  unsigned seed = 2654435761u * (unsigned)(id + 1);
  auto next = [&](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  // Sources made before any marks: no deletion from a bracket may take them.
  std::vector<jobject> sources = {m->NewGlobalRef(e, m->NewStringUTF(e, ("ledger " + std::to_string(id)).c_str())),
                                  m->NewGlobalRef(e, m->FindClass(e, kClasses[id % 6])),
                                  m->NewGlobalRef(e, m->FindClass(e, kClasses[(id + 1) % 6]))};
  auto mine = [&](jobject h, int source) { return Mine(e, h, VMJniHandle::UnHandle(e, sources[(size_t)source])); };
  // Holes below every marks to come.
  std::vector<jobject> spread;
  for (int i = 0; i < 24; i++) spread.push_back(m->NewGlobalRef(e, sources[(size_t)i % 3]));
  for (size_t i = 0; i < spread.size(); i += 2) m->DeleteGlobalRef(e, spread[i]);
  jint never[3];
  int wrong = 0;

  if (m->GetHighWaterMarks(e, never) != 0) wrong++;
  Ledger l;
  const int kCache = 12;
  std::vector<int> cache(kCache, -1);  // index into l.globals, or -1
  auto reindex = [&] {
    std::fill(cache.begin(), cache.end(), -1);
    for (size_t i = 0; i < l.globals.size(); i++)
      if (l.globals[i].cacheEntry >= 0) cache[(size_t)l.globals[i].cacheEntry] = (int)i;
  };
  auto dropGlobal = [&](size_t i) {
    l.globals[i] = l.globals.back();
    l.globals.pop_back();
    reindex();
  };
  auto makeGlobal = [&](int cacheEntry) {
    const int source = (int)next(3);
    jobject g = m->NewGlobalRef(e, sources[(size_t)source]);
    if (g == nullptr) {
      wrong++;
      return;
    }
    l.globals.push_back({g, source, ++l.clock, cacheEntry});
    if (cacheEntry >= 0) cache[(size_t)cacheEntry] = (int)l.globals.size() - 1;
  };
  auto check = [&](const Ledger::Open& b, jint kind, int step) {
    std::vector<Ledger::Made>& list = kind == 1 ? l.globals : l.locals;
    std::vector<Ledger::Made> kept;
    for (const Ledger::Made& x : list) {
      const bool after = x.at > b.at;
      bool alive;
      if (kind == 1) alive = mine(x.handle, x.source);
      else if (x.source >= 0) alive = VMJniHandle::UnHandle(e, x.handle) == VMJniHandle::UnHandle(e, sources[(size_t)x.source]);
      else alive = VMJniHandle::UnHandle(e, x.handle) != nullptr;
      if (after == alive && wrong++ < 5)
        ADD_FAILURE() << "thread " << id << " step " << step << ": a deletion of kind " << kind << " "
                      << (after ? "left a " : "took a ") << (kind == 1 ? "global" : "local") << " made "
                      << (after ? "after" : "before") << " its marks";
      if (!after) kept.push_back(x);
    }
    list = kept;
    if (kind == 1) reindex();
  };
  for (int step = 0; step < steps; step++) {
    if (step == steps / 2) {
      halfway();  // the host may move the machine: its records are read through e after
    }
    const unsigned r = next(100);
    if (r < 14) {
      if (l.brackets.size() >= 3) continue;
      const int n = l.brackets.size() < 2 && next(8) == 0 ? 2 : 1;  // opened at once
      const long at = ++l.clock;
      for (int i = 0; i < n; i++) {
        Ledger::Open b;
        if (m->GetHighWaterMarks(e, b.marks) != 0) wrong++;
        b.at = at;
        l.brackets.push_back(b);
      }
    } else if (r < 28) {
      if (l.brackets.empty()) continue;
      const Ledger::Open b = l.brackets.back();
      l.brackets.pop_back();
      // Brackets whose marks read the same share what the thread remembers of them:
      // closed each by another kind only, they would read as one still open.
      bool shared = false;
      for (const Ledger::Open& o : l.brackets) shared |= memcmp(o.marks, b.marks, sizeof b.marks) == 0;
      const unsigned how = shared ? next(2) : next(4);
      const jint first = how % 2;
      if (m->DeleteRefs(e, b.marks, first) != 0) wrong++;
      check(b, first, step);
      if (how < 2) {
        if (m->DeleteRefs(e, b.marks, 1 - first) != 0) wrong++;
        check(b, 1 - first, step);
      }
    } else if (r < 55) {
      const int entry = (int)next(kCache);
      const int old = cache[(size_t)entry];
      makeGlobal(entry);
      if (old >= 0) {
        m->DeleteGlobalRef(e, l.globals[(size_t)old].handle);
        dropGlobal((size_t)old);
      }
    } else if (r < 66) {
      makeGlobal(-1);
      if (l.globals.size() > 40) {
        const size_t i = next((unsigned)l.globals.size());
        m->DeleteGlobalRef(e, l.globals[i].handle);
        dropGlobal(i);
      }
    } else if (r < 78) {
      const int source = (int)next(3);
      l.locals.push_back({m->NewLocalRef(e, sources[(size_t)source]), source, ++l.clock, -1});
      if (l.locals.size() > 40) {
        const size_t i = next((unsigned)l.locals.size());
        m->DeleteLocalRef(e, l.locals[i].handle);
        l.locals.erase(l.locals.begin() + (long)i);
      }
    } else if (r < 84) {
      if (l.globals.empty()) continue;
      // Only one no open bracket may take: the thief may come for it at any time.
      const size_t i = next((unsigned)l.globals.size());
      if (!l.brackets.empty() && l.globals[i].at > l.brackets.front().at) continue;
      std::atomic<jobject>& slot = toThief[next((unsigned)toThief.size())];
      jobject none = nullptr;
      if (slot.compare_exchange_strong(none, l.globals[i].handle)) dropGlobal(i);
    } else if (r < 86) {
      // A new object: a collection may run here (at every allocation under stress).
      l.locals.push_back({m->NewStringUTF(e, "fresh"), -1, ++l.clock, -1});
    } else if (r < 88) {
      WhileOutside([] { std::this_thread::yield(); });
    }
  }
  // The brackets still open close from the innermost, both kinds.
  while (!l.brackets.empty()) {
    const Ledger::Open b = l.brackets.back();
    l.brackets.pop_back();
    if (m->DeleteRefs(e, b.marks, 1) != 0 || m->DeleteRefs(e, b.marks, 0) != 0) wrong++;
    check(b, 1, steps);
    check(b, 0, steps);
  }
  for (size_t i = 1; i < spread.size(); i += 2)
    if (!mine(spread[i], (int)(i % 3)) && wrong++ < 5) ADD_FAILURE() << "thread " << id << " lost a global made before its marks";
  for (size_t i = 1; i < spread.size(); i += 2) m->DeleteGlobalRef(e, spread[i]);
  for (const Ledger::Made& g : l.globals) m->DeleteGlobalRef(e, g.handle);
  for (jobject s : sources) m->DeleteGlobalRef(e, s);
  vm->functions->DetachCurrentThread(vm);
  return wrong;
}

/* Dozens of threads each keep a cache of globals fresh between nested brackets of both
   kinds, over marks they took first and never close, while a thief deletes globals they
   hand it and fills the slots with its own: every deletion takes exactly what its
   bracket made and still held, the thief keeps all of its own, and nothing is left.
   Halfway, with every thread's brackets open and its log in whatever state, a
   collection runs and the host moves the machine; under stress a collection runs at
   every allocation. */
TEST_F(MarksAttackTest, ManyThreadsKeepingCachesFreshBetweenNestedBracketsTakeExactlyTheirOwn) {
  const bool stressed = VMObjectBase::GetCollectionStress() != 0;
  const int kThreads = stressed ? 24 : 96;
  const int kSteps = stressed ? 1500 : 4000;
  const uint32_t heldBefore = HeldGlobals();
  std::vector<std::atomic<jobject>> toThief(32);
  for (auto& s : toThief) s = nullptr;
  std::atomic<int> wrong{0}, parked{0}, thiefWrong{0};
  std::atomic<bool> moved{false}, stop{false};
  std::thread thief([&] {
    JNIEnv* o = nullptr;
    if (vm->functions->AttachCurrentThread(vm, &o, nullptr) != 0) {
      thiefWrong++;
      parked++;
      return;
    }
    const JNINativeInterface_* m = o->functions;
    jobject own = m->NewGlobalRef(o, m->NewStringUTF(o, "thief"));
    jobject ownClass = m->NewGlobalRef(o, m->FindClass(o, "java/lang/Thread"));
    std::vector<jobject> theirs;
    bool halfway = false;
    for (long round = 0;; round++) {
      const bool last = stop.load();
      for (auto& slot : toThief) {
        jobject g = slot.exchange(nullptr);
        if (g == nullptr) continue;
        const bool nameSpace = ((uint32_t)(uintptr_t)g & VMJniHandle::NameSpaceGlobalTag) != 0;
        m->DeleteGlobalRef(o, g);
        theirs.push_back(m->NewGlobalRef(o, nameSpace ? ownClass : own));
      }
      if (theirs.size() > 64) {
        m->DeleteGlobalRef(o, theirs[(size_t)round % theirs.size()]);
        theirs[(size_t)round % theirs.size()] = theirs.back();
        theirs.pop_back();
      }
      if (!halfway && parked.load() == kThreads) {
        halfway = true;
        parked++;
        Park([&] { return moved.load(); });
      }
      if (last) break;
      WhileOutside([] { std::this_thread::yield(); });
    }
    if (!halfway) {
      parked++;
      Park([&] { return moved.load(); });
    }
    for (jobject g : theirs) {
      const bool nameSpace = ((uint32_t)(uintptr_t)g & VMJniHandle::NameSpaceGlobalTag) != 0;
      if (!Mine(o, g, VMJniHandle::UnHandle(o, nameSpace ? ownClass : own))) thiefWrong++;
      m->DeleteGlobalRef(o, g);
    }
    m->DeleteGlobalRef(o, own);
    m->DeleteGlobalRef(o, ownClass);
    vm->functions->DetachCurrentThread(vm);
  });
  std::vector<std::thread> all;
  for (int t = 0; t < kThreads; t++)
    all.emplace_back([&, t] {
      wrong += RunLedger(vm, t, kSteps, toThief, [&] {
        parked++;
        Park([&] { return moved.load(); });
      });
    });
  Park([&] { return parked.load() == kThreads + 1; });
  const JNINativeInterface_* f = env->functions;
  f->DeleteLocalRef(env, f->NewStringUTF(env, "collect"));
  MoveMachine();
  moved = true;
  JoinOutside(all);
  stop = true;
  JoinOutside(thief);
  EXPECT_EQ(0, wrong.load());
  EXPECT_EQ(0, thiefWrong.load()) << "a bracket's deletion took a global of the thief's";
  EXPECT_EQ(heldBefore, HeldGlobals());
}


}  // namespace
}  // namespace jni_test
