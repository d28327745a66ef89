/* Marks and bulk deletion: what a caller makes after its marks goes, wherever the slot it
   got lies, and nothing else does; a host that brackets every request with marks and a
   bulk deletion keeps nothing of its requests, however its threads interleave. */
#include "jni_support.h"

#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmhandlearray.h"
#include "vmsmallobjectbase.h"

class HandleTestAccess {
 public:
  /* As though the calling thread had made n more globals since its last one: the stamps
     of what it makes next start n further on. */
  static void PretendGlobalsMade(JNIEnv* env, uint64_t n) { VMJniHandle::AdvanceStamps(env, n); }
};

namespace jni_test {
namespace {

class MarksTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    f = env->functions;
    text = f->NewStringUTF(env, "held");
    cls = f->FindClass(env, "java/lang/String");  // name-space data: the other global array
    ASSERT_NE(nullptr, text);
    ASSERT_NE(nullptr, cls);
  }
  void TearDown() override {
    if (vm != nullptr) Destroy(vm);
    JniTest::TearDown();
  }
  VMObjectHandleArray* MachineGlobals() { return vm->vm->GetJNIHandleArray(); }
  VMObjectHandleArray* NameSpaceGlobals() { return vm->nameSpace->GetJNIHandleArray(); }
  VMObjectHandleArray* Locals() { return env->thread->GetJNIHandleArray(); }
  static uint32_t Held(VMObjectHandleArray* a) {
    uint32_t n = 0;
    for (uint32_t i = 1; i < a->GetCount(); i++) n += a->Get(i) != nullptr;
    return n;
  }
  bool Alive(jobject h) { return VMJniHandle::UnHandle(env, h) != nullptr; }

  /* Threads of the machine take turns: each turn, the thread whose turn it is runs step
     once. They wait for their turn outside the machine. */
  void TakeTurns(int threads, long turns, const std::function<void(JNIEnv*, long)>& step) {
    std::atomic<long> turn{0};
    std::vector<std::thread> all;
    for (int t = 0; t < threads; t++) {
      all.emplace_back([&, t] {
        JNIEnv* mine = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) {
          turn = turns;
          return;
        }
        for (;;) {
          long now = 0;
          WhileOutside([&] {
            while ((now = turn.load()) % threads != t && now < turns) std::this_thread::yield();
          });
          if (now >= turns) break;
          step(mine, now);
          turn++;
        }
        vm->functions->DetachCurrentThread(vm);
      });
    }
    JoinOutside(all);
  }

  /* Refreshes a cache of globals `refreshes` times, entry after entry: each refresh
     makes the new value's global (the string, or the class: the name space's array, by
     the entry's place), then deletes the old one; with requests, a request bracket (three
     globals, a deletion of kind 1) follows each, and must take its globals. The bytes the
     machine heap grew by. */
  uint64_t RefreshCache(std::vector<jobject>& cache, long refreshes, bool requests) {
    HHeap* heap = vm->vm->GetHeap();
    const uint64_t before = refhost::BytesInUse(heap);
    for (long r = 0; r < refreshes; r++) {
      const size_t at = (size_t)r % cache.size();
      jobject fresh = f->NewGlobalRef(env, at % 2 ? text : cls);
      EXPECT_NE(nullptr, fresh) << "refresh " << r;
      if (fresh == nullptr) return ~0ull;
      f->DeleteGlobalRef(env, cache[at]);
      cache[at] = fresh;
      if (!requests) continue;
      jint marks[3];
      EXPECT_EQ(0, f->GetHighWaterMarks(env, marks));
      jobject made[3];
      for (int i = 0; i < 3; i++) made[i] = f->NewGlobalRef(env, i % 2 ? text : cls);
      EXPECT_EQ(0, f->DeleteRefs(env, marks, 1));
      if (Alive(made[0]) || Alive(made[1]) || Alive(made[2])) {
        ADD_FAILURE() << "request " << r << " left a global behind";
        return ~0ull;
      }
    }
    return refhost::BytesInUse(heap) - before;
  }
  /* Whether every entry of the cache still names the value of its place. */
  bool CacheHeld(const std::vector<jobject>& cache) {
    for (size_t at = 0; at < cache.size(); at++)
      if (VMJniHandle::UnHandle(env, cache[at]) != VMJniHandle::UnHandle(env, at % 2 ? text : cls)) return false;
    return true;
  }

  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  const JNINativeInterface_* f = nullptr;
  jobject text = nullptr;
  jobject cls = nullptr;
};

/* Room below the marks comes from a global deleted in the middle, or from the newest one
   deleted after the marks (the count falls below them): either way a global made after
   the marks may be put there, and the deletion must find it. */
TEST_F(MarksTest, AGlobalMadeAfterTheMarksGoesWhereverItLies) {
  const uint32_t heldBefore = Held(MachineGlobals()) + Held(NameSpaceGlobals());
  for (jobject object : {text, cls}) {
    for (bool newestDeletedAfter : {false, true}) {
      jobject a = f->NewGlobalRef(env, object);
      jobject b = f->NewGlobalRef(env, object);
      jobject c = f->NewGlobalRef(env, object);
      if (!newestDeletedAfter) f->DeleteGlobalRef(env, b);
      jint marks[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
      if (newestDeletedAfter) f->DeleteGlobalRef(env, c);
      jobject after = f->NewGlobalRef(env, object);
      jobject again = f->NewGlobalRef(env, object);
      ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
      EXPECT_FALSE(Alive(after)) << "a global made after the marks outlived DeleteRefs";
      EXPECT_FALSE(Alive(again));
      EXPECT_TRUE(Alive(a)) << "a global made before the marks went with them";
      EXPECT_EQ(!newestDeletedAfter, Alive(c));
      EXPECT_EQ(newestDeletedAfter, Alive(b));
      f->DeleteGlobalRef(env, a);
      if (newestDeletedAfter) f->DeleteGlobalRef(env, b);
      else f->DeleteGlobalRef(env, c);
    }
  }
  EXPECT_EQ(heldBefore, Held(MachineGlobals()) + Held(NameSpaceGlobals()));
}

/* Brackets inside brackets: the inner deletion takes what came after the inner marks,
   the outer one the rest, and each mark counts from when it was taken even where the two
   read the same (the global between them filled a hole). */
TEST_F(MarksTest, NestedBracketsEachTakeWhatCameAfterTheirMarks) {
  jobject before = f->NewGlobalRef(env, text);
  jobject hole = f->NewGlobalRef(env, text);
  jobject top = f->NewGlobalRef(env, text);
  f->DeleteGlobalRef(env, hole);
  jint outer[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, outer));
  jobject between = f->NewGlobalRef(env, text);
  jint inner[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, inner));
  jobject within = f->NewGlobalRef(env, cls);
  jobject within2 = f->NewGlobalRef(env, text);
  ASSERT_EQ(0, f->DeleteRefs(env, inner, 1));
  EXPECT_FALSE(Alive(within));
  EXPECT_FALSE(Alive(within2));
  EXPECT_TRUE(Alive(between)) << "the inner deletion took a global made before its marks";
  jobject later = f->NewGlobalRef(env, text);
  ASSERT_EQ(0, f->DeleteRefs(env, outer, 1));
  EXPECT_FALSE(Alive(between));
  EXPECT_FALSE(Alive(later));
  EXPECT_TRUE(Alive(before));
  EXPECT_TRUE(Alive(top));
  // The marks may be used again: the same bracket, request after request.
  for (int i = 0; i < 3; i++) {
    jobject g = f->NewGlobalRef(env, text);
    ASSERT_EQ(0, f->DeleteRefs(env, outer, 1));
    EXPECT_FALSE(Alive(g));
  }
  f->DeleteGlobalRef(env, before);
  f->DeleteGlobalRef(env, top);
}

/* A server's request thread: globals it keeps come and go between requests, each request
   is bracketed by marks and a bulk deletion. Nothing of the requests stays, and the
   arrays do not grow request by request. */
TEST_F(MarksTest, RequestsBracketedByMarksKeepNothing) {
  std::vector<jobject> kept;
  for (int i = 0; i < 8; i++) kept.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  const uint32_t heldBefore = Held(MachineGlobals()) + Held(NameSpaceGlobals());
  const uint32_t countsBefore = MachineGlobals()->GetCount() + NameSpaceGlobals()->GetCount();
  for (int request = 0; request < 200; request++) {
    // Between requests one kept global gives way to a new one: a hole below the marks.
    size_t k = (size_t)(request * 3) % kept.size();
    f->DeleteGlobalRef(env, kept[k]);
    jint marks[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
    jobject made[3];
    for (jobject& g : made) g = f->NewGlobalRef(env, request % 2 ? text : cls);
    ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
    for (jobject g : made) ASSERT_FALSE(Alive(g)) << "request " << request << " left a global behind";
    kept[k] = f->NewGlobalRef(env, k % 2 ? text : cls);
  }
  EXPECT_EQ(heldBefore, Held(MachineGlobals()) + Held(NameSpaceGlobals()));
  EXPECT_LE(MachineGlobals()->GetCount() + NameSpaceGlobals()->GetCount(), countsBefore + 4);
  for (jobject g : kept) EXPECT_TRUE(Alive(g));
  for (jobject g : kept) f->DeleteGlobalRef(env, g);
}

/* Threads bracketing their requests at once, while their deletions leave holes below
   each other's marks: each deletion takes the caller's globals of the request, and only
   those. A slot a deletion emptied may at once hold another thread's global, so a handle
   counts as kept only while it still names the caller's own object. */
TEST_F(MarksTest, BracketsOnSeveralThreadsAtOnceTakeOnlyTheirOwn) {
  const char* classes[] = {"java/lang/Object", "java/lang/Thread", "java/lang/Class", "java/lang/Throwable"};
  const int kThreads = 4;
  const uint32_t heldBefore = Held(MachineGlobals()) + Held(NameSpaceGlobals());
  std::atomic<int> kept{0}, lost{0}, failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      JNIEnv* mine = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) {
        failed++;
        return;
      }
      const JNINativeInterface_* m = mine->functions;
      jobject own[2] = {m->NewStringUTF(mine, "own"), m->FindClass(mine, classes[t])};
      if (own[0] == nullptr || own[1] == nullptr) failed++;
      auto Names = [&](jobject g, int which) {
        return g != nullptr && VMJniHandle::UnHandle(mine, g) == VMJniHandle::UnHandle(mine, own[which]);
      };
      jobject lasting[2] = {m->NewGlobalRef(mine, own[0]), m->NewGlobalRef(mine, own[1])};
      for (int round = 0; round < 1000; round++) {
        jobject before = m->NewGlobalRef(mine, own[round % 2]);
        m->DeleteGlobalRef(mine, m->NewGlobalRef(mine, own[0]));
        jint marks[3];
        if (m->GetHighWaterMarks(mine, marks) != 0) failed++;
        jobject made[4];
        for (int i = 0; i < 4; i++) made[i] = m->NewGlobalRef(mine, own[i % 2]);
        const bool dropBefore = round % 3 == 0;  // a hole below the marks, or the count falls
        if (dropBefore) m->DeleteGlobalRef(mine, before);
        if (m->DeleteRefs(mine, marks, 1) != 0) failed++;
        for (int i = 0; i < 4; i++)
          if (Names(made[i], i % 2)) kept++;
        if (!dropBefore && !Names(before, round % 2)) lost++;
        if (!Names(lasting[0], 0) || !Names(lasting[1], 1)) lost++;
        if (!dropBefore) m->DeleteGlobalRef(mine, before);
        if (round % 16 == 0) mine->thread->Yield();
      }
      m->DeleteGlobalRef(mine, lasting[0]);
      m->DeleteGlobalRef(mine, lasting[1]);
      vm->functions->DetachCurrentThread(vm);
    });
  }
  JoinOutside(threads);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, kept.load()) << "bulk deletions kept globals their callers made after the marks";
  EXPECT_EQ(0, lost.load()) << "bulk deletions took globals made before the marks, or another thread's";
  EXPECT_EQ(heldBefore, Held(MachineGlobals()) + Held(NameSpaceGlobals()));
}

/* Locals are appended, but the count falls when the newest are deleted: a local made
   after the marks can then land below them. A request that deletes its input, made
   before its marks, must still leave nothing behind, request after request. */
TEST_F(MarksTest, ALocalMadeAfterTheMarksGoesThoughTheCountFellBelowThem) {
  jobject first = f->NewLocalRef(env, text);
  const uint32_t start = Locals()->GetCount();
  for (int request = 0; request < 100; request++) {
    jobject input = f->NewLocalRef(env, text);
    jint marks[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
    f->DeleteLocalRef(env, input);
    jobject out = f->NewLocalRef(env, text);
    jobject out2 = f->NewLocalRef(env, cls);
    ASSERT_EQ(0, f->DeleteRefs(env, marks, 0));
    ASSERT_FALSE(Alive(out)) << "request " << request << " left a local behind";
    ASSERT_FALSE(Alive(out2));
    ASSERT_TRUE(Alive(first));
  }
  EXPECT_EQ(start, Locals()->GetCount());

  // Nested: the inner deletion keeps what came between, the outer one takes it, and
  // the outer marks still take what the inner scope's deletions let fall below them.
  jint outer[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, outer));
  jobject between = f->NewLocalRef(env, text);
  jint inner[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, inner));
  jobject within = f->NewLocalRef(env, text);
  f->DeleteLocalRef(env, within);
  f->DeleteLocalRef(env, between);
  f->DeleteLocalRef(env, first);
  jobject low = f->NewLocalRef(env, text);  // below both marks now
  ASSERT_EQ(0, f->DeleteRefs(env, inner, 0));
  EXPECT_FALSE(Alive(low));
  jobject again = f->NewLocalRef(env, text);
  ASSERT_EQ(0, f->DeleteRefs(env, outer, 0));
  EXPECT_FALSE(Alive(again));
  EXPECT_TRUE(Alive(text));
  EXPECT_EQ(start - 1, Locals()->GetCount());

  // The levels read the same again after the count fell and rose between two marks.
  jobject newest = f->NewLocalRef(env, text);
  ASSERT_EQ(0, f->GetHighWaterMarks(env, outer));
  f->DeleteLocalRef(env, newest);
  jobject refilled = f->NewLocalRef(env, text);
  ASSERT_EQ(0, f->GetHighWaterMarks(env, inner));
  jobject inside = f->NewLocalRef(env, text);
  ASSERT_EQ(0, f->DeleteRefs(env, inner, 0));
  EXPECT_FALSE(Alive(inside));
  EXPECT_TRUE(Alive(refilled)) << "the inner deletion took a local made before its marks";
  ASSERT_EQ(0, f->DeleteRefs(env, outer, 0));
  EXPECT_FALSE(Alive(refilled));
  EXPECT_EQ(start - 1, Locals()->GetCount());
}


/* Marks another thread took, handed to this one, delete this thread's own globals from
   the marks up only: a global this thread made before them, in a hole below them, stays,
   and so does every global of the other thread, above them or not. Nothing in the three
   levels tells whose marks they are, and taking marks moves no count to keep two
   threads' apart: where they read the same as marks this thread remembers (its locals
   at the same count, no global moved the counts in between), from a bracket it closed or
   one still open, they count as those, and take what this thread made since its own,
   never anything from before nor the other thread's. */
TEST_F(MarksTest, MarksOfAnotherThreadNeverTakeTheCallersEarlierGlobals) {
  jobject keep = f->NewGlobalRef(env, text);
  jobject keepClass = f->NewGlobalRef(env, cls);
  for (const char* mode : {"closed", "open"}) {
    const bool closed = mode[0] == 'c';
    for (int round = 0; round < 8; round++) {
      jobject kind = round % 2 ? cls : text;  // the name space's array, or the machine's
      const bool same = round >= 4;           // the other thread's locals at this thread's count
      jobject hole = f->NewGlobalRef(env, kind);
      jobject top = f->NewGlobalRef(env, kind);
      f->DeleteGlobalRef(env, hole);
      jint mine[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, mine));
      if (closed) {
        ASSERT_EQ(0, f->DeleteRefs(env, mine, 1));
      }
      jobject lasting = f->NewGlobalRef(env, kind);  // into the hole
      jint theirs[3] = {0, 0, 0};
      bool matched = false;
      jobject after = nullptr;  // the other thread's, made after its marks: above them
      std::thread other([&] {
        JNIEnv* o = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &o, nullptr) != 0) return;
        const uint32_t want = (uint32_t)mine[2] + (same ? 0 : 1);
        VMObjectHandleArray* locals = o->thread->GetJNIHandleArray();
        while (locals->GetCount() < want) o->functions->NewLocalRef(o, keep);
        while (locals->GetCount() > want && locals->GetCount() > 1)
          o->functions->DeleteLocalRef(o, (jobject)(uintptr_t)(locals->GetCount() - 1));
        matched = locals->GetCount() == want;
        o->functions->GetHighWaterMarks(o, theirs);
        after = o->functions->NewGlobalRef(o, kind == text ? keep : keepClass);
        vm->functions->DetachCurrentThread(vm);
      });
      JoinOutside(other);
      ASSERT_TRUE(matched) << "the other thread's locals did not reach the count wanted";
      ASSERT_NE(nullptr, after);
      ASSERT_EQ(same, memcmp(mine, theirs, sizeof mine) == 0) << mode << " bracket, round " << round;
      ASSERT_EQ(0, f->DeleteRefs(env, theirs, 1));
      EXPECT_EQ(!same, Alive(lasting)) << mode << " bracket, round " << round
                                       << (same ? ": marks of this thread's levels missed its global made since"
                                                : ": a global made before the other thread's marks, below them, went");
      EXPECT_TRUE(Alive(keep) && Alive(top)) << mode << " bracket, round " << round;
      EXPECT_TRUE(Alive(after)) << mode << " bracket, round " << round << ": the deletion took the other thread's global";
      if (!closed) {
        // The open bracket is this thread's own, and still takes what was made within it.
        ASSERT_EQ(0, f->DeleteRefs(env, mine, 1));
        EXPECT_FALSE(Alive(lasting)) << "round " << round << ": the open bracket's deletion missed its global";
        EXPECT_TRUE(Alive(after));
      }
      if (Alive(lasting)) f->DeleteGlobalRef(env, lasting);
      f->DeleteGlobalRef(env, after);
      f->DeleteGlobalRef(env, top);
    }
  }
  f->DeleteGlobalRef(env, keep);
  f->DeleteGlobalRef(env, keepClass);
}

/* Threads hand their marks round while each brackets its own work: a deletion from a
   neighbour's marks takes the caller's globals from those marks up, and never one of
   its globals below them, however the global counts happen to meet. Each thread's
   locals stand at a count of their own, further apart than the few empty slots that set
   a thread's marks apart from its open brackets', so that no thread's marks read the
   same as another's (MarksOfAnotherThreadNeverTakeTheCallersEarlierGlobals has marks that
   do). */
TEST_F(MarksTest, MarksHandedBetweenThreadsDeleteFromTheMarksUpOnly) {
  const int kThreads = 4;
  const int kRounds = 300;
  std::atomic<int> arrived{0}, failed{0}, lost{0};
  jint published[kThreads][3];
  jobject shared = f->NewGlobalRef(env, text);
  // Every thread waits for all at each step: a generation count, spun on outside the
  // machine, so that a collection another thread starts meanwhile does not wait for it.
  auto Barrier = [&](int step) {
    arrived++;
    WhileOutside([&] {
      while (arrived.load() < kThreads * step) std::this_thread::yield();
    });
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      JNIEnv* mine = nullptr;
      const bool attached = vm->functions->AttachCurrentThread(vm, &mine, nullptr) == 0;
      if (!attached) failed++;
      for (int i = 0; attached && i < 8 * t; i++) mine->functions->NewLocalRef(mine, shared);
      int step = 0;
      for (int round = 0; round < kRounds; round++) {
        jobject before = nullptr, lasting = nullptr;
        if (attached) {
          const JNINativeInterface_* m = mine->functions;
          jobject hole = m->NewGlobalRef(mine, shared);
          before = m->NewGlobalRef(mine, shared);
          m->DeleteGlobalRef(mine, hole);
          if (m->GetHighWaterMarks(mine, published[t]) != 0) failed++;
          if (round % 2 == 0 && m->DeleteRefs(mine, published[t], 1) != 0) failed++;  // closed, or left open
          lasting = m->NewGlobalRef(mine, shared);
        }
        Barrier(++step);
        if (attached) {
          const JNINativeInterface_* m = mine->functions;
          const jint* theirs = published[(t + 1) % kThreads];
          if (m->DeleteRefs(mine, theirs, 1) != 0) failed++;
          for (jobject g : {before, lasting}) {
            const uint32_t index = (uint32_t)(uintptr_t)g & VMJniHandle::IndexMask;
            const bool alive = VMJniHandle::UnHandle(mine, g) == VMJniHandle::UnHandle(mine, shared);
            if (index < (uint32_t)theirs[1] && !alive) lost++;
            if (alive) m->DeleteGlobalRef(mine, g);
          }
        }
        Barrier(++step);
      }
      if (attached) vm->functions->DetachCurrentThread(vm);
    });
  }
  JoinOutside(threads);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, lost.load()) << "deletions from another thread's marks took globals below them";
  f->DeleteGlobalRef(env, shared);
}

/* A host brackets a connection, and inside it each request; the connection keeps one
   global per request (the first into a hole below the connection's marks) until it ends.
   However many requests it served, closed each by its own deletion, the connection's
   deletion takes all of its globals; and so does a session's around the connection. */
TEST_F(MarksTest, AConnectionBracketOutlivesItsClosedRequestBrackets) {
  for (int requests : {3, 6, 40}) {
    jobject below = f->NewGlobalRef(env, text);
    jobject holes[2] = {f->NewGlobalRef(env, text), f->NewGlobalRef(env, text)};
    jobject top = f->NewGlobalRef(env, text);
    for (jobject hole : holes) f->DeleteGlobalRef(env, hole);
    jint session[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, session));
    jobject sessionGlobal = f->NewGlobalRef(env, text);  // into the first hole
    jint connection[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, connection));
    std::vector<jobject> connectionGlobals;
    for (int r = 0; r < requests; r++) {
      // The first into the second hole, below the connection's marks.
      connectionGlobals.push_back(f->NewGlobalRef(env, r == 0 || r % 2 ? text : cls));
      jint request[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, request));
      jobject a = f->NewGlobalRef(env, text);
      jobject b = f->NewGlobalRef(env, cls);
      ASSERT_EQ(0, f->DeleteRefs(env, request, 1));
      ASSERT_FALSE(Alive(a) || Alive(b)) << "request " << r << " left a global";
    }
    ASSERT_EQ(0, f->DeleteRefs(env, connection, 1));
    int left = 0;
    for (jobject g : connectionGlobals) left += Alive(g);
    EXPECT_EQ(0, left) << "after " << requests << " closed requests the connection's deletion left " << left
                       << " of its globals";
    EXPECT_TRUE(Alive(sessionGlobal)) << "the connection's deletion took a global made before its marks";
    ASSERT_EQ(0, f->DeleteRefs(env, session, 1));
    EXPECT_FALSE(Alive(sessionGlobal)) << "after " << requests << " requests the session's deletion missed its global";
    EXPECT_TRUE(Alive(below));
    EXPECT_TRUE(Alive(top));
    for (jobject g : connectionGlobals)
      if (Alive(g)) f->DeleteGlobalRef(env, g);
    if (Alive(sessionGlobal)) f->DeleteGlobalRef(env, sessionGlobal);
    f->DeleteGlobalRef(env, below);
    f->DeleteGlobalRef(env, top);
  }
}

/* When a global was made is counted without coming round: a global kept from the start
   stays through requests bracketed after 2^31 and 2^32 more globals, and an outer bracket
   opened before such a stretch still takes what was made within it. */
TEST_F(MarksTest, AGlobalKeptFromTheStartOutlivesTheStampsComingRound) {
  jobject kept = f->NewGlobalRef(env, text);
  jobject keptClass = f->NewGlobalRef(env, cls);
  for (uint64_t stretch : {(1ull << 31) - 2, 1ull << 31, (1ull << 32) - 5, 1ull << 32, 3ull << 32}) {
    jint outer[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, outer));
    jobject within = f->NewGlobalRef(env, text);
    HandleTestAccess::PretendGlobalsMade(env, stretch);
    for (int request = 0; request < 4; request++) {
      jint marks[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
      jobject made[3] = {f->NewGlobalRef(env, text), f->NewGlobalRef(env, cls), f->NewGlobalRef(env, text)};
      ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
      for (jobject g : made) EXPECT_FALSE(Alive(g)) << "after " << stretch << " more: request " << request;
      ASSERT_TRUE(Alive(kept) && Alive(keptClass))
          << "after " << stretch << " more globals, request " << request
          << "'s bulk deletion took a global kept from before its marks";
      ASSERT_TRUE(Alive(within)) << "after " << stretch << " more: the request took the outer bracket's global";
    }
    ASSERT_EQ(0, f->DeleteRefs(env, outer, 1));
    EXPECT_FALSE(Alive(within)) << "after " << stretch << " more: the outer bracket missed its global";
    EXPECT_TRUE(Alive(kept));
  }
  f->DeleteGlobalRef(env, kept);
  f->DeleteGlobalRef(env, keptClass);
}

/* A request bracket costs what the request made: a server's caches held as globals,
   made before the marks by this thread or by another, are not walked by every request.
   A wide case against a narrow one, each the fastest of a few rounds, by a generous
   ratio (a walk of the held globals makes it thousands). */
TEST_F(MarksTest, ARequestBracketCostsWhatItMadeNotWhatIsHeld) {
  auto Bracket = [&](JNIEnv* e, int requests) {
    const JNINativeInterface_* m = e->functions;
    double best = 1e30;
    for (int round = 0; round < 5; round++) {
      auto start = std::chrono::steady_clock::now();
      for (int r = 0; r < requests; r++) {
        jint marks[3];
        m->GetHighWaterMarks(e, marks);
        for (int i = 0; i < 3; i++) m->NewGlobalRef(e, text);
        m->DeleteRefs(e, marks, 1);
      }
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
  };
  const int kRequests = 400;
  const double narrow = Bracket(env, kRequests);
  std::vector<jobject> cache;
  for (int i = 0; i < 60000; i++) cache.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  std::thread other([&] {
    JNIEnv* o = nullptr;
    if (vm->functions->AttachCurrentThread(vm, &o, nullptr) != 0) return;
    for (int i = 0; i < 40000; i++) cache.push_back(o->functions->NewGlobalRef(o, text));
    vm->functions->DetachCurrentThread(vm);
  });
  JoinOutside(other);
  ASSERT_EQ(100000u, cache.size());
  const double wide = Bracket(env, kRequests);
  EXPECT_LT(wide, 10 * narrow + 0.002) << "a request bracket took " << wide * 1e6 / kRequests << " us with 100,000 "
                                       << "globals held, " << narrow * 1e6 / kRequests << " us with none";
  for (jobject g : cache) f->DeleteGlobalRef(env, g);
}

/* The machine keeps what it needs to find a bracket's globals with the thread's record:
   it must live through collections (one before every allocation that may collect, freed
   blocks poisoned), and stay small while an open bracket sees many globals come and go
   one by one. */
TEST_F(MarksTest, BracketsFindTheirGlobalsThroughCollectionsAndKeepLittle) {
  jclass objectClass = f->FindClass(env, "java/lang/Object");
  jmethodID init = f->GetMethodID(env, objectClass, "<init>", "()V");
  ASSERT_NE(nullptr, init);
  jint outer[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, outer));
  jobject hole = f->NewGlobalRef(env, text);
  jobject outerGlobal = f->NewGlobalRef(env, text);
  f->DeleteGlobalRef(env, hole);
  {
    const uint32_t saved = VMObjectBase::GetCollectionStress();
    VMObjectBase::SetCollectionStress(1);
    const uint32_t collections = vm->vm->GetCollections();
    for (int request = 0; request < 40; request++) {
      jint marks[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
      std::vector<jobject> made;
      for (int i = 0; i < 6; i++) {
        jobject o = f->NewObject(env, objectClass, init);
        made.push_back(f->NewGlobalRef(env, o));
        f->DeleteLocalRef(env, o);
      }
      ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
      for (jobject g : made) ASSERT_FALSE(Alive(g)) << "request " << request;
      ASSERT_TRUE(Alive(outerGlobal));
    }
    VMObjectBase::SetCollectionStress(saved);
    EXPECT_LT(collections + 100, vm->vm->GetCollections());
  }
  // Globals made and deleted one by one inside an open bracket, each into a hole below
  // its marks, leave nothing behind, while eight made among them are held at any time
  // (the oldest deleted as the next is made, so the same slots are filled over and
  // over); those held at the end still go with the bracket.
  std::vector<jobject> holes, tops;
  for (int i = 0; i < 24; i++) holes.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (int i = 0; i < 2; i++) tops.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (jobject hole : holes) f->DeleteGlobalRef(env, hole);
  jint open[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, open));
  HHeap* heap = vm->vm->GetHeap();
  uint64_t bytes = 0;
  std::vector<jobject> ring(8, nullptr);
  for (int i = 0; i < 60000; i++) {
    if (i == 2000) bytes = refhost::BytesInUse(heap);
    jobject& held = ring[(size_t)i % ring.size()];
    jobject fresh = f->NewGlobalRef(env, i % 3 ? text : cls);
    ASSERT_NE(nullptr, fresh);
    ASSERT_LT((uint32_t)(uintptr_t)fresh & VMJniHandle::IndexMask, (uint32_t)open[i % 3 ? 1 : 0])
        << "global " << i << " went above the marks";
    if (held != nullptr) f->DeleteGlobalRef(env, held);
    held = fresh;
    f->DeleteGlobalRef(env, f->NewGlobalRef(env, i % 2 ? text : cls));
  }
  EXPECT_LT(refhost::BytesInUse(heap), bytes + 4096)
      << "the machine heap grew while eight globals were held and many more came and went";
  jobject kept = f->NewGlobalRef(env, cls);
  ASSERT_EQ(0, f->DeleteRefs(env, open, 1));
  EXPECT_FALSE(Alive(kept)) << "the open bracket's deletion missed a global in a hole below its marks";
  for (jobject g : ring) EXPECT_FALSE(Alive(g)) << "the open bracket's deletion missed a global held since";
  for (jobject top : tops) f->DeleteGlobalRef(env, top);
  ASSERT_EQ(0, f->DeleteRefs(env, outer, 1));
  EXPECT_FALSE(Alive(outerGlobal));
}

/* Marks are the caller's own business: taking them, by any number of threads in turn,
   writes nothing into the machine's or the name space's global arrays. Two worker
   threads whose locals stand at the same count when a request begins bracket one local
   each (DeleteRefs of kind 0), or only read the marks; their marks read the same as each
   other's. No global is made, so the counts, and the heap, stay as they were. */
TEST_F(MarksTest, ThreadsBracketingOnlyTheirLocalsLeaveTheGlobalArraysAsTheyWere) {
  jobject shared = f->NewGlobalRef(env, text);
  HHeap* heap = vm->vm->GetHeap();
  for (bool withLocal : {true, false}) {
    const uint32_t machineBefore = MachineGlobals()->GetCount();
    const uint32_t nameSpaceBefore = NameSpaceGlobals()->GetCount();
    const uint64_t bytesBefore = refhost::BytesInUse(heap);
    const long kBrackets = 4000;
    std::atomic<long> steps{0}, failed{0};
    TakeTurns(2, kBrackets, [&](JNIEnv* e, long) {
      const JNINativeInterface_* m = e->functions;
      jint marks[3];
      if (m->GetHighWaterMarks(e, marks) != 0) failed++;
      if (withLocal) {
        if (m->NewLocalRef(e, shared) == nullptr) failed++;
        if (m->DeleteRefs(e, marks, 0) != 0) failed++;
      }
      steps++;
    });
    EXPECT_EQ(kBrackets, steps.load());
    EXPECT_EQ(0, failed.load());
    EXPECT_EQ(machineBefore, MachineGlobals()->GetCount())
        << (withLocal ? "brackets of locals" : "marks taken in turn") << " moved the machine's global count";
    EXPECT_EQ(nameSpaceBefore, NameSpaceGlobals()->GetCount());
    EXPECT_LT(refhost::BytesInUse(heap), bytesBefore + 64 * 1024)
        << "the machine heap grew with " << kBrackets << " brackets that made no global";
  }
  f->DeleteGlobalRef(env, shared);
}

/* A host opens a connection bracket and at once (nothing made in between) its first
   request bracket: the two marks read the same. The request closes (by kind 1, or by
   both kinds in either order); the connection makes a global into a hole below its
   marks; the next request opens at the same levels again and closes. The connection is
   still open, so its deletion takes the global it made, and nothing made before. No
   GetHighWaterMarks moves a global count to tell the brackets apart. */
TEST_F(MarksTest, AConnectionWhoseFirstRequestOpensAtOnceTakesItsGlobalWhenItCloses) {
  auto Close = [&](const jint* marks, int how) {
    // 0: kind 1; 1: kind 0 then 1; 2: kind 1 then 0.
    EXPECT_EQ(0, how == 1 ? f->DeleteRefs(env, marks, 0) : 0);
    EXPECT_EQ(0, f->DeleteRefs(env, marks, 1));
    EXPECT_EQ(0, how == 2 ? f->DeleteRefs(env, marks, 0) : 0);
  };
  auto Counts = [&] { return std::make_pair(MachineGlobals()->GetCount(), NameSpaceGlobals()->GetCount()); };
  jobject before = f->NewGlobalRef(env, text);
  for (int how = 0; how < 3; how++) {
    for (jobject object : {text, cls}) {
      const char* which = object == text ? "machine's array" : "name space's array";
      jobject hole = f->NewGlobalRef(env, object);
      jobject top = f->NewGlobalRef(env, object);
      f->DeleteGlobalRef(env, hole);
      jint connection[3], first[3], second[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, connection));
      ASSERT_EQ(0, f->GetHighWaterMarks(env, first));
      ASSERT_EQ(0, memcmp(connection, first, sizeof first));
      jobject request = f->NewGlobalRef(env, object);  // the first request's, into the hole
      Close(first, how);
      EXPECT_FALSE(Alive(request)) << which << ", close " << how;
      jobject mine = f->NewGlobalRef(env, object);  // the connection's, into the hole
      const auto counts = Counts();
      ASSERT_EQ(0, f->GetHighWaterMarks(env, second));
      EXPECT_EQ(counts, Counts()) << which << ": taking marks moved a global count";
      jobject inner = f->NewGlobalRef(env, object);
      Close(second, how);
      EXPECT_FALSE(Alive(inner));
      EXPECT_TRUE(Alive(mine)) << which << ", close " << how << ": the second request took the connection's global";
      jobject local = f->NewLocalRef(env, object);  // the connection's
      Close(connection, how);
      const bool outlived = Alive(mine);
      EXPECT_FALSE(outlived) << which << ", close " << how
                             << ": the connection's deletion left the global it made below its marks";
      if (how != 0) {
        EXPECT_FALSE(Alive(local)) << which << ", close " << how << ": the connection's deletion left its local";
      } else {
        f->DeleteLocalRef(env, local);
      }
      EXPECT_TRUE(Alive(before) && Alive(top)) << which << ", close " << how;
      if (outlived) f->DeleteGlobalRef(env, mine);
      f->DeleteGlobalRef(env, top);
    }
  }
  f->DeleteGlobalRef(env, before);
}

/* Ten brackets opened at once read the same marks, more than the four the thread
   remembers apart: they share one, counted ten times over. Each closes in turn, innermost
   first, after making a global into a hole below the marks and a local, with a request
   bracket of the same levels opened and closed in between: its deletions take those, the
   request's none of them, and every outer bracket stays open for what comes next. */
TEST_F(MarksTest, BracketsOpenedAtOnceCloseOneByOne) {
  jobject before = f->NewGlobalRef(env, text);
  jobject beforeLocal = f->NewLocalRef(env, text);
  const int kOpen = 10;
  std::vector<jobject> holes, tops;
  for (int i = 0; i < kOpen; i++) holes.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (int i = 0; i < kOpen; i++) tops.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  for (jobject hole : holes) f->DeleteGlobalRef(env, hole);
  jint marks[kOpen][3];
  for (int i = 0; i < kOpen; i++) {
    ASSERT_EQ(0, f->GetHighWaterMarks(env, marks[i]));
    ASSERT_EQ(0, memcmp(marks[0], marks[i], sizeof marks[0]));
  }
  for (int i = kOpen - 1; i >= 0; i--) {
    jobject object = i % 2 ? text : cls;
    jobject below = f->NewGlobalRef(env, object);  // into a hole
    ASSERT_LT((uint32_t)(uintptr_t)below & VMJniHandle::IndexMask, (uint32_t)marks[i][object == text ? 1 : 0]);
    jint request[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, request));
    jobject made = f->NewGlobalRef(env, object);
    ASSERT_EQ(0, f->DeleteRefs(env, request, 0));
    ASSERT_EQ(0, f->DeleteRefs(env, request, 1));
    EXPECT_FALSE(Alive(made));
    EXPECT_TRUE(Alive(below)) << "bracket " << i << ": the request took a global made before it";
    jobject local = f->NewLocalRef(env, object);
    ASSERT_EQ(0, f->DeleteRefs(env, marks[i], 0));
    ASSERT_EQ(0, f->DeleteRefs(env, marks[i], 1));
    EXPECT_FALSE(Alive(below)) << "bracket " << i << " left its global below the marks";
    EXPECT_FALSE(Alive(local)) << "bracket " << i << " left its local";
    EXPECT_TRUE(Alive(before) && Alive(beforeLocal));
  }
  for (jobject top : tops) EXPECT_TRUE(Alive(top));
  for (jobject top : tops) f->DeleteGlobalRef(env, top);
  f->DeleteGlobalRef(env, before);
}

/* Several threads at once open and close nested brackets (up to three open, whose marks
   may read the same), make globals of both arrays (their own string, and their own
   class: the name space's array), delete some one by one, which leaves holes below their
   marks, and so let the arrays grow past their room now and then; a collection runs at
   every allocation. After each deletion from a bracket of its own the thread checks:
   every global it made since the bracket is gone, every one it made before and kept is
   there. */
TEST_F(MarksTest, NestedBracketsOnManyThreadsKeepExactlyWhatCameBefore) {
  const char* classes[] = {"java/lang/Object", "java/lang/Thread", "java/lang/Class", "java/lang/Throwable",
                           "java/lang/String", "java/lang/Integer"};
  const int kThreads = 6;
  const int kRounds = 1500;
  std::atomic<int> failed{0}, kept{0}, lost{0};
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  std::vector<std::thread> all;
  for (int t = 0; t < kThreads; t++) {
    all.emplace_back([&, t] {
      JNIEnv* e = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &e, nullptr) != 0) {
        failed++;
        return;
      }
      const JNINativeInterface_* m = e->functions;
      jobject own[2] = {m->NewGlobalRef(e, m->NewStringUTF(e, "own")), m->NewGlobalRef(e, m->FindClass(e, classes[t]))};
      auto Names = [&](jobject g) {
        VMObject* o = VMJniHandle::UnHandle(e, g);
        return o != nullptr && (o == VMJniHandle::UnHandle(e, own[0]) || o == VMJniHandle::UnHandle(e, own[1]));
      };
      struct Bracket {
        jint marks[3];
        size_t firstMade;  // index into made at the bracket's opening
      };
      std::vector<jobject> made;  // live globals of this thread, oldest first
      std::vector<Bracket> open;
      unsigned seed = 12345u + 977u * (unsigned)t;
      auto Next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
      for (int round = 0; round < kRounds; round++) {
        const unsigned op = Next() % 10;
        if (op < 4) {
          made.push_back(m->NewGlobalRef(e, own[Next() % 2]));
          if (made.back() == nullptr) failed++, made.pop_back();
        } else if (op < 6 && !made.empty()) {
          // One by one: the newest or one in the middle, which leaves a hole.
          size_t i = Next() % 2 ? made.size() - 1 : Next() % made.size();
          m->DeleteGlobalRef(e, made[i]);
          made.erase(made.begin() + (long)i);
          for (Bracket& b : open)
            if (b.firstMade > i) b.firstMade--;
        } else if (op < 8 && open.size() < 3) {
          Bracket b;
          if (m->GetHighWaterMarks(e, b.marks) != 0) failed++;
          b.firstMade = made.size();
          open.push_back(b);
        } else if (!open.empty()) {
          Bracket b = open.back();
          open.pop_back();
          if (m->DeleteRefs(e, b.marks, 1) != 0) failed++;
          for (size_t i = b.firstMade; i < made.size(); i++)
            if (Names(made[i]) && kept++ == 0)
              ADD_FAILURE() << "thread " << t << " round " << round << ": handle " << made[i] << ", made "
                            << i - b.firstMade << " after marks " << b.marks[0] << " " << b.marks[1] << " "
                            << b.marks[2] << ", outlived their deletion with " << open.size() << " open";
          made.resize(b.firstMade);
          for (jobject g : made)
            if (!Names(g)) lost++;
        }
        if (round % 16 == 0) m->DeleteLocalRef(e, m->NewStringUTF(e, "x"));  // collects
        if (round % 64 == 0) e->thread->Yield();
      }
      while (!open.empty()) {
        m->DeleteRefs(e, open.back().marks, 1);
        made.resize(open.back().firstMade);
        open.pop_back();
      }
      for (jobject g : made) m->DeleteGlobalRef(e, g);
      m->DeleteGlobalRef(e, own[0]);
      m->DeleteGlobalRef(e, own[1]);
      vm->functions->DetachCurrentThread(vm);
    });
  }
  VMObjectBase::SetCollectionStress(1);
  JoinOutside(all);
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_EQ(0, failed.load());
  EXPECT_EQ(0, kept.load()) << "deletions from a thread's own brackets kept globals made within them";
  EXPECT_EQ(0, lost.load()) << "deletions from a thread's own brackets took globals made before them";
}

/* A worker thread served one request bracket and from then on keeps a cache of ten
   globals fresh: every refresh fills a slot below the bracket's marks, which the thread
   still remembers. It holds ten globals throughout, so the machine heap stays where it
   was however long it runs; a request it serves after still takes its own globals and
   leaves the cache. */
TEST_F(MarksTest, AWorkerThatServedOneRequestThenRefreshesACacheKeepsTheHeapFlat) {
  std::vector<jobject> cache;
  for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  jint marks[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  jobject request[3];
  for (jobject& g : request) g = f->NewGlobalRef(env, text);
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  for (jobject g : request) ASSERT_FALSE(Alive(g));
  RefreshCache(cache, 10000, false);  // the log's steady size
  const uint64_t grown = RefreshCache(cache, 400000, false);
  EXPECT_LT(grown, 65536u) << "400000 refreshes of a cache of 10 globals grew the machine heap by " << grown
                           << " bytes";
  ASSERT_TRUE(CacheHeld(cache));
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  for (jobject& g : request) g = f->NewGlobalRef(env, cls);
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  for (jobject g : request) EXPECT_FALSE(Alive(g)) << "a request after the refreshes left a global behind";
  EXPECT_TRUE(CacheHeld(cache)) << "a request after the refreshes took a global of the cache";
  for (jobject g : cache) f->DeleteGlobalRef(env, g);
}

/* A thread that once held twenty thousand globals in holes below its open marks, and now
   holds a cache of ten there, keeps a log the size of its cache again: the log follows
   what the thread holds, not the most it ever held. The bracket's deletion still takes
   the cache, made since its marks. */
TEST_F(MarksTest, ALogThatOnceHeldManyGlobalsShrinksToWhatTheThreadHolds) {
  const int kMany = 20000;
  std::vector<jobject> many;
  for (int i = 0; i < kMany; i++) many.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  jobject top = f->NewGlobalRef(env, text);
  jobject topClass = f->NewGlobalRef(env, cls);
  for (jobject g : many) f->DeleteGlobalRef(env, g);
  std::vector<jobject> cache;
  for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  jint marks[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  HHeap* heap = vm->vm->GetHeap();
  RefreshCache(cache, 1000, false);  // the log's size for a cache of ten
  const uint64_t small = refhost::BytesInUse(heap);
  many.resize(kMany - 100);  // all into the holes of both arrays (neither grows), each logged
  for (size_t i = 0; i < many.size(); i++) many[i] = f->NewGlobalRef(env, i % 2 ? text : cls);
  ASSERT_GT(refhost::BytesInUse(heap), small + 200000) << "twenty thousand globals below the marks left no log";
  for (jobject g : many) f->DeleteGlobalRef(env, g);
  RefreshCache(cache, 200000, false);
  const uint64_t after = refhost::BytesInUse(heap);
  EXPECT_LT(after, small + 16384) << "a log that held twenty thousand globals still took " << (after - small)
                                  << " bytes more than one for a cache of ten";
  ASSERT_TRUE(CacheHeld(cache));
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  for (jobject g : cache) EXPECT_FALSE(Alive(g)) << "the bracket's deletion missed a global of the cache";
  EXPECT_TRUE(Alive(top) && Alive(topClass)) << "the bracket's deletion took a global made before its marks";
  f->DeleteGlobalRef(env, top);
  f->DeleteGlobalRef(env, topClass);
}

/* A connection bracket stays open while the connection refreshes a cache of ten globals
   between its requests, each bracketed of its own: the heap stays where it was, and the
   connection's deletion at last takes every global of the cache (all made since its
   marks, in slots the thread filled over and over, of both arrays) and nothing made
   before. */
TEST_F(MarksTest, AConnectionBracketOpenWhileItRefreshesACacheKeepsTheHeapFlat) {
  jobject before = f->NewGlobalRef(env, text);
  jobject beforeClass = f->NewGlobalRef(env, cls);
  std::vector<jobject> cache;
  for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  jint connection[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, connection));
  RefreshCache(cache, 10000, true);
  const uint64_t grown = RefreshCache(cache, 400000, true);
  EXPECT_LT(grown, 65536u) << "400000 requests, each after a refresh of a cache of 10 globals, grew the machine "
                           << "heap by " << grown << " bytes";
  ASSERT_TRUE(CacheHeld(cache));
  ASSERT_EQ(0, f->DeleteRefs(env, connection, 1));
  int left = 0;
  for (jobject g : cache) left += Alive(g);
  EXPECT_EQ(0, left) << "the connection's deletion left " << left << " globals of the cache made within it";
  EXPECT_TRUE(Alive(before) && Alive(beforeClass)) << "the connection's deletion took a global made before it";
  f->DeleteGlobalRef(env, before);
  f->DeleteGlobalRef(env, beforeClass);
}

/* A thread holds over a thousand globals in holes below an open bracket's marks, and
   makes and deletes many more there, so its log is compacted again and again, in more
   than one hold of the lock. Meanwhile another thread deletes some of the first thread's
   globals (handed over one by one) and puts its own into the slots they left. The
   bracket's deletion then takes every global the first thread still held and none of the
   other thread's, round after round. */
TEST_F(MarksTest, ALogOfManyHeldGlobalsKeepsEachWhileAnotherThreadTakesTheirSlots) {
  const int kHoles = 1600;  // of each array
  const int kRounds = 3;
  std::vector<jobject> holes;
  for (int i = 0; i < 2 * kHoles; i++) holes.push_back(f->NewGlobalRef(env, i % 2 ? text : cls));
  jobject top = f->NewGlobalRef(env, text);  // the other thread's objects too
  jobject topClass = f->NewGlobalRef(env, cls);
  const uint32_t owner = (uint32_t)env->thread->GetId();
  auto OwnedHere = [&](JNIEnv* e, jobject g, uint32_t who) {
    const uint32_t h = (uint32_t)(uintptr_t)g;
    VMObjectHandleArray* a = (h & VMJniHandle::NameSpaceGlobalTag) != 0 ? e->javaVM->nameSpace->GetJNIHandleArray()
                                                                        : e->javaVM->vm->GetJNIHandleArray();
    return VMJniHandle::UnHandle(e, g) != nullptr && a->IsOwnedBy(h & VMJniHandle::IndexMask, who);
  };
  for (int round = 0; round < kRounds; round++) {
    for (jobject& hole : holes)
      if (hole != nullptr) f->DeleteGlobalRef(env, hole), hole = nullptr;
    jint open[3];
    ASSERT_EQ(0, f->GetHighWaterMarks(env, open));
    const int kOffers = 64;
    std::atomic<jobject> offered[kOffers];
    for (auto& o : offered) o = nullptr;
    std::atomic<bool> stop{false};
    std::atomic<int> failed{0};
    std::vector<jobject> theirs;
    std::thread other([&] {
      JNIEnv* o = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &o, nullptr) != 0) {
        failed++;
        return;
      }
      const JNINativeInterface_* m = o->functions;
      for (;;) {
        const bool last = stop.load();
        int taken = 0;
        for (auto& slot : offered) {
          jobject g = slot.exchange(nullptr);
          if (g == nullptr) continue;
          taken++;
          const bool nameSpace = ((uint32_t)(uintptr_t)g & VMJniHandle::NameSpaceGlobalTag) != 0;
          m->DeleteGlobalRef(o, g);
          jobject mine = m->NewGlobalRef(o, nameSpace ? topClass : top);
          if (mine == nullptr) failed++;
          else theirs.push_back(mine);
        }
        if (last) break;
        if (taken == 0) WhileOutside([] { std::this_thread::yield(); });
      }
      vm->functions->DetachCurrentThread(vm);
    });
    std::vector<jobject> held;
    for (int i = 0; i < 6000; i++) {
      jobject g = f->NewGlobalRef(env, i % 2 ? text : cls);
      ASSERT_NE(nullptr, g);
      if (i % 5 == 0) {
        std::atomic<jobject>& slot = offered[(i / 5) % kOffers];
        jobject none = nullptr;
        if (slot.compare_exchange_strong(none, g)) continue;
      }
      if (i < 2400 || i % 2 == 0) {
        held.push_back(g);
      } else {
        f->DeleteGlobalRef(env, held[(size_t)i % held.size()]);
        held[(size_t)i % held.size()] = g;
      }
      f->DeleteGlobalRef(env, f->NewGlobalRef(env, i % 3 ? text : cls));
    }
    stop = true;
    JoinOutside(other);
    ASSERT_EQ(0, failed.load());
    ASSERT_GT(held.size(), 1000u);
    int mineLeft = 0, belowMarks = 0;
    for (jobject g : held) {
      mineLeft += !OwnedHere(env, g, owner);
      const uint32_t h = (uint32_t)(uintptr_t)g;
      belowMarks += (h & VMJniHandle::IndexMask) < (uint32_t)open[(h & VMJniHandle::NameSpaceGlobalTag) ? 0 : 1];
    }
    ASSERT_EQ(0, mineLeft) << "round " << round << ": a global the thread held was not its own before the deletion";
    ASSERT_GT(belowMarks, 1000) << "round " << round << ": the globals did not go below the marks";
    ASSERT_EQ(0, f->DeleteRefs(env, open, 1));
    int kept = 0;
    for (jobject g : held) kept += Alive(g);
    EXPECT_EQ(0, kept) << "round " << round << ": the bracket's deletion left " << kept << " of the globals held";
    int lost = 0;
    for (jobject g : theirs) {
      const bool nameSpace = ((uint32_t)(uintptr_t)g & VMJniHandle::NameSpaceGlobalTag) != 0;
      lost += VMJniHandle::UnHandle(env, g) != VMJniHandle::UnHandle(env, nameSpace ? cls : text);
    }
    EXPECT_EQ(0, lost) << "round " << round << ": the bracket's deletion took " << lost << " of the other thread's";
    EXPECT_TRUE(Alive(top) && Alive(topClass));
    for (jobject g : theirs) f->DeleteGlobalRef(env, g);
    for (int i = 0; i < 2 * kHoles; i++) holes[(size_t)i] = f->NewGlobalRef(env, i % 2 ? text : cls);
  }
  for (jobject hole : holes) f->DeleteGlobalRef(env, hole);
  f->DeleteGlobalRef(env, top);
  f->DeleteGlobalRef(env, topClass);
}

}  // namespace
}  // namespace jni_test
