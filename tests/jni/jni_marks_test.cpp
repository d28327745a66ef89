/* Marks and bulk deletion: what a caller makes after its marks goes, wherever the slot it
   got lies, and nothing else does; a host that brackets every request with marks and a
   bulk deletion keeps nothing of its requests, however its threads interleave. */
#include "jni_support.h"

#include <string.h>

#include <algorithm>
#include <chrono>

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


/* Marks another thread took, handed to this one, read the same as marks this thread
   remembers (a bracket it closed, or one still open) when the two threads' locals stand
   at the same count and no global moved the global counts in between. They delete from
   the marks up only: a global this thread made before them, in a hole below them, stays.
   The machine's global array may be full when the two must be kept apart. */
TEST_F(MarksTest, MarksOfAnotherThreadNeverTakeTheCallersEarlierGlobals) {
  jobject keep = f->NewGlobalRef(env, text);
  for (const char* mode : {"closed", "open", "closed, the machine's array full"}) {
    const bool closed = mode[0] == 'c';
    const bool full = strchr(mode, ',') != nullptr;
    for (int round = 0; round < 4; round++) {
      jobject kind = round % 2 ? cls : text;  // the name space's array, or the machine's
      std::vector<jobject> fill;
      jobject hole = f->NewGlobalRef(env, kind);
      jobject top = f->NewGlobalRef(env, kind);
      if (full) {
        while (MachineGlobals()->GetCount() < MachineGlobals()->GetArray()->GetSize())
          fill.push_back(f->NewGlobalRef(env, text));
      }
      f->DeleteGlobalRef(env, hole);
      const uint32_t capacity = MachineGlobals()->GetArray()->GetSize();
      jint mine[3];
      ASSERT_EQ(0, f->GetHighWaterMarks(env, mine));
      if (closed) {
        ASSERT_EQ(0, f->DeleteRefs(env, mine, 1));
      }
      jobject lasting = f->NewGlobalRef(env, kind);  // into the hole
      if (full) {
        ASSERT_EQ(MachineGlobals()->GetCount(), MachineGlobals()->GetArray()->GetSize());
      }
      jint theirs[3] = {0, 0, 0};
      bool matched = false;
      std::thread other([&] {
        JNIEnv* o = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &o, nullptr) != 0) return;
        VMObjectHandleArray* locals = o->thread->GetJNIHandleArray();
        while (locals->GetCount() < (uint32_t)mine[2]) o->functions->NewLocalRef(o, keep);
        while (locals->GetCount() > (uint32_t)mine[2] && locals->GetCount() > 1)
          o->functions->DeleteLocalRef(o, (jobject)(uintptr_t)(locals->GetCount() - 1));
        matched = locals->GetCount() == (uint32_t)mine[2];
        o->functions->GetHighWaterMarks(o, theirs);
        vm->functions->DetachCurrentThread(vm);
      });
      JoinOutside(other);
      ASSERT_TRUE(matched) << "the other thread's locals did not reach this thread's count";
      ASSERT_EQ(0, f->DeleteRefs(env, theirs, 1));
      EXPECT_TRUE(Alive(lasting)) << mode << " bracket, round " << round
                                  << ": a global made before the other thread's marks, below them, went";
      EXPECT_TRUE(Alive(keep));
      EXPECT_TRUE(Alive(top));
      if (full) {
        EXPECT_LT(capacity, MachineGlobals()->GetArray()->GetSize()) << "round " << round;
      }
      if (!closed) {
        // The open bracket is this thread's own, and still takes what was made within it.
        ASSERT_EQ(0, f->DeleteRefs(env, mine, 1));
        EXPECT_FALSE(Alive(lasting)) << "round " << round << ": the open bracket's deletion missed its global";
      }
      if (Alive(lasting)) f->DeleteGlobalRef(env, lasting);
      f->DeleteGlobalRef(env, top);
      for (jobject g : fill) f->DeleteGlobalRef(env, g);
    }
  }
  f->DeleteGlobalRef(env, keep);
}

/* Threads hand their marks round while each brackets its own work: a deletion from a
   neighbour's marks takes the caller's globals from those marks up, and never one of
   its globals below them, however the threads' levels happen to meet. */
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
  // its marks, leave nothing behind; one kept among them still goes with the bracket.
  jobject holes[2] = {f->NewGlobalRef(env, text), f->NewGlobalRef(env, cls)};
  jobject tops[2] = {f->NewGlobalRef(env, text), f->NewGlobalRef(env, cls)};
  for (jobject hole : holes) f->DeleteGlobalRef(env, hole);
  jint open[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, open));
  HHeap* heap = vm->vm->GetHeap();
  uint64_t bytes = 0;
  for (int i = 0; i < 60000; i++) {
    if (i == 2000) bytes = refhost::BytesInUse(heap);
    f->DeleteGlobalRef(env, f->NewGlobalRef(env, i % 3 ? text : cls));
  }
  EXPECT_LT(refhost::BytesInUse(heap), bytes + 4096) << "the machine heap grew with globals long deleted";
  jobject kept = f->NewGlobalRef(env, cls);
  ASSERT_EQ(0, f->DeleteRefs(env, open, 1));
  EXPECT_FALSE(Alive(kept)) << "the open bracket's deletion missed a global in a hole below its marks";
  for (jobject top : tops) f->DeleteGlobalRef(env, top);
  ASSERT_EQ(0, f->DeleteRefs(env, outer, 1));
  EXPECT_FALSE(Alive(outerGlobal));
}

}  // namespace
}  // namespace jni_test
