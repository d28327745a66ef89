/* Threads: attach and detach, the poll and the requests it serves, suspension. */
#include "runtime_support.h"

#include "vmerrorcatcher.h"
#include "vmhandlearray.h"
#include "vmupcalls.h"

namespace runtime_test {
namespace {

class RuntimeThreadTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    m = MakeMachine();
    ASSERT_NE(nullptr, m.vm);
  }
  void TearDown() override {
    DestroyMachine(m);
    RuntimeTest::TearDown();
  }
  /* An attached thread that counts and polls until stop; target is its record. */
  std::thread Spinner(std::atomic<long>& counter, std::atomic<bool>& stop, std::atomic<VMThread*>& target) {
    return std::thread([&] {
      AttachHere(m);
      target = VMThread::Current();
      while (!stop.load()) {
        counter++;
        VMThread::Current()->Yield();
      }
      DetachHere(m);
    });
  }
  Machine m;
};

TEST_F(RuntimeThreadTest, HostThreadsThatAttachAgainGetTheirOwnRecordBack) {
  for (int round = 0; round < 20; round++) {
    std::atomic<int> attached{0};
    std::atomic<int> detached{0};
    std::atomic<int> leave{0};
    RunThreads(3, [&](int) {
      JNIEnv* env = AttachHere(m);
      ASSERT_NE(nullptr, env);
      VMThread* first = VMThread::Current();
      ASSERT_NE(nullptr, first);
      EXPECT_EQ(env, first->GetEnv());
      EXPECT_EQ(m.vm, first->GetVM());
      EXPECT_EQ(1, first->GetMutexLockCount());
      attached++;
      while (attached.load() < 3) std::this_thread::yield();
      DetachHere(m);
      EXPECT_EQ(nullptr, first->GetEnv());
      detached++;
      while (detached.load() < 3) std::this_thread::yield();
      JNIEnv* again = AttachHere(m);
      ASSERT_NE(nullptr, again);
      EXPECT_EQ(first, VMThread::Current());
      EXPECT_EQ(again, first->GetEnv());
      leave++;
      while (leave.load() < 3) std::this_thread::yield();
      DetachHere(m);
    });
    // Every host thread of every round keeps its record; none is attached now.
    EXPECT_EQ(0u, m.vm->GetThreadsAttached());
    EXPECT_EQ((uint32_t)(3 * (round + 1)), m.vm->GetThreads()->GetCount() - 1);
  }
}

TEST_F(RuntimeThreadTest, AttachedCountsOnlyThreadsWithAnEnv) {
  EXPECT_EQ(0u, m.vm->GetThreadsAttached());
  AttachHere(m);
  EXPECT_EQ(1u, m.vm->GetThreadsAttached());
  std::atomic<bool> inside{false};
  std::atomic<bool> release{false};
  std::thread other([&] {
    AttachHere(m);
    inside = true;
    while (!release.load()) std::this_thread::yield();
    DetachHere(m);
  });
  ASSERT_TRUE(WaitFor([&] { return inside.load(); }));
  EXPECT_EQ(2u, m.vm->GetThreadsAttached());
  release = true;
  other.join();
  EXPECT_EQ(1u, m.vm->GetThreadsAttached());
  DetachHere(m);
  EXPECT_EQ(nullptr, m.vm->DetachThread());  // not attached any more
}

TEST_F(RuntimeThreadTest, ThreadCreationFailingAtAnyStepLeavesTheHeapAsItWas) {
  HHeap* heap = m.vm->GetHeap();
  JNIEnv* env = VMJniCreateEnv(m.jvm);
  ASSERT_NE(nullptr, env);
  uint64_t bytes = refhost::BytesInUse(heap);
  refhost::SetFailureScope(true, heap, -1);
  for (uint32_t n = 1; n < 20; n++) {
    refhost::FailNthAllocation(n);
    VMThread* t = VMThread::CreateInstance(m.vm, env, nullptr, (void*)1);
    refhost::FailNthAllocation(0);
    if (t != nullptr) {
      EXPECT_EQ(t, env->thread);
      t->Destroy(heap);
      break;
    }
    EXPECT_EQ(nullptr, env->thread) << "refused allocation " << n;
    EXPECT_EQ(bytes, refhost::BytesInUse(heap)) << "refused allocation " << n;
  }
  EXPECT_EQ(bytes, refhost::BytesInUse(heap));
  host->HeapFree(nullptr, env);
}

TEST_F(RuntimeThreadTest, APollWithoutRequestsPutsTheHostCheckBack) {
  AttachHere(m);
  VMThread* t = VMThread::Current();
  EXPECT_EQ(host->YieldCheck, t->GetPollFunction());
  EXPECT_EQ(0, t->Yield());
  t->SetWaitForGCRequested();
  EXPECT_EQ(&VMThread::yieldAndCheck, t->GetPollFunction());
  EXPECT_EQ(0, t->Yield());  // served: the collector's wait ends at once without a collector
  EXPECT_FALSE(t->GetYieldToWaitForGC());
  EXPECT_EQ(&VMThread::yieldAndCheck, t->GetPollFunction());
  EXPECT_EQ(0, t->Yield());  // nothing left: the host's check comes back
  EXPECT_EQ(host->YieldCheck, t->GetPollFunction());
  refhost::SetStopFlag(true);
  EXPECT_NE(0, t->Yield());
  refhost::SetStopFlag(false);
  DetachHere(m);
}

TEST_F(RuntimeThreadTest, APostedExceptionWaitsUntilAMonitorEnterIsDone) {
  AttachHere(m);
  VMThread* t = VMThread::Current();
  VMObject* thrown = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
  t->SetProcessingMonitorEnter();
  t->PostException((VMJavaLangThrowable*)thrown);
  EXPECT_EQ(0, t->Yield());
  EXPECT_EQ(0, t->Yield());
  EXPECT_TRUE(t->GetYieldToPostException());
  EXPECT_EQ(&VMThread::yieldAndCheck, t->GetPollFunction());
  t->ClearProcessingMonitorEnter();
  // Thrown at the thread's only frame, the first one: nothing takes it, so it stays
  // pending and the poll answers that it threw.
  EXPECT_NE(0, t->Yield());
  EXPECT_EQ((VMJavaLangThrowable*)thrown, t->GetException());
  EXPECT_FALSE(t->GetYieldToPostException());
  // A posted NULL is not thrown: the host's check answers.
  t->PostException(nullptr);
  EXPECT_EQ(0, t->Yield());
  t->SetException(nullptr);
  thrown->Destroy(m.vm->GetHeap());
  DetachHere(m);
}

TEST_F(RuntimeThreadTest, ASpinningThreadIsSuspendedAndResumedThroughItsPoll) {
  for (int round = 0; round < 20; round++) {
    std::atomic<long> counter{0};
    std::atomic<bool> stop{false};
    std::atomic<VMThread*> target{nullptr};
    std::thread spinner = Spinner(counter, stop, target);
    Joiner joiner(spinner, stop);
    ASSERT_TRUE(WaitFor([&] { return target.load() != nullptr && counter.load() > 100; }));
    VMThread* t = target.load();
    t->Suspend();
    ASSERT_TRUE(WaitFor([&] { return t->GetSuspended(); }));
    long frozen = counter.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(round == 0 ? 50 : 5));
    EXPECT_EQ(frozen, counter.load()) << "round " << round;
    // Nested: a second suspend needs a second resume.
    t->Suspend();
    t->Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(frozen, counter.load());
    t->Resume();
    EXPECT_EQ(0u, t->GetSuspendCount());
    ASSERT_TRUE(WaitFor([&] { return counter.load() > frozen + 100; })) << "round " << round;
    EXPECT_FALSE(t->GetSuspended());
  }
}

TEST_F(RuntimeThreadTest, SuspendsAndResumesFromTwoThreadsAtOnceLoseNothing) {
  // A suspend and a resume race from two threads while the target polls. Whichever
  // comes first, the end is exact: count 0 means the thread runs, count 1 means it stops
  // at its poll and a resume lets it go again.
  std::atomic<long> counter{0};
  std::atomic<bool> stop{false};
  std::atomic<VMThread*> target{nullptr};
  std::thread spinner = Spinner(counter, stop, target);
  Joiner joiner(spinner, stop);
  ASSERT_TRUE(WaitFor([&] { return target.load() != nullptr; }));
  VMThread* t = target.load();
  std::atomic<int> round{0}, arrived{0};
  std::atomic<bool> quit{false};
  auto racer = [&](bool suspend) {
    for (int seen = 0;;) {
      while (round.load() == seen && !quit.load()) std::this_thread::yield();
      if (quit.load()) return;
      seen = round.load();
      if (suspend)
        t->Suspend();
      else
        t->Resume();
      arrived++;
    }
  };
  std::thread suspender(racer, true), resumer(racer, false);
  int stuck = 0, lost = 0;
  const int kRounds = 300;
  for (int r = 1; r <= kRounds && stuck + lost == 0; r++) {
    arrived = 0;
    round = r;
    while (arrived.load() < 2) std::this_thread::yield();
    if (t->GetSuspendCount() == 0) {
      long at = counter.load();
      if (!WaitFor([&] { return counter.load() > at; }, 2000)) stuck++;
    } else {
      if (!WaitFor([&] { return t->GetSuspended(); }, 2000)) lost++;
      t->Resume();
      long at = counter.load();
      if (!WaitFor([&] { return counter.load() > at; }, 2000)) stuck++;
    }
  }
  quit = true;
  suspender.join();
  resumer.join();
  while (t->GetSuspendCount() != 0) t->Resume();
  EXPECT_EQ(0, stuck) << "a thread stayed suspended with nothing to resume it";
  EXPECT_EQ(0, lost) << "a suspension with its count raised never took effect";
}

TEST_F(RuntimeThreadTest, AResumeBeforeThePollMeansTheThreadNeverSuspends) {
  AttachHere(m);
  VMThread* t = VMThread::Current();
  t->Suspend();
  EXPECT_TRUE(t->GetYieldToPostSuspend());
  t->Resume();
  EXPECT_FALSE(t->GetYieldToPostSuspend());
  EXPECT_EQ(0, t->Yield());  // would block for ever if it suspended now
  EXPECT_FALSE(t->GetSuspended());
  t->Resume();  // without a suspend: nothing
  EXPECT_EQ(0u, t->GetSuspendCount());
  DetachHere(m);
}

TEST_F(RuntimeThreadTest, RequestsPostedWhileTheThreadPollsAreNeverLost) {
  // The debugger and the collector post their requests to one polling thread at the same
  // time, each waiting for its request to be served before it posts the next (the target
  // serves an attach request at a first frame and says so). A request lost between the
  // poll's test and its restoring of the host check would never be served.
  std::atomic<VMThread*> target{nullptr};
  std::atomic<bool> stop{false};
  std::thread poller([&] {
    AttachHere(m);
    target = VMThread::Current();
    while (!stop.load()) VMThread::Current()->Yield();
    DetachHere(m);
  });
  Joiner joiner(poller, stop);
  ASSERT_TRUE(WaitFor([&] { return target.load() != nullptr; }));
  VMThread* t = target.load();
  auto served = [](const std::function<bool()>& done) {
    auto start = Clock::now();
    while (!done()) {
      if (MillisSince(start) > 3000) return false;
      std::this_thread::yield();
    }
    return true;
  };
  std::atomic<int> lostAttach{0}, lostCollect{0};
  const int kRequests = 2000;
  std::thread debugger([&] {
    for (int i = 0; i < kRequests && lostAttach == 0; i++) {
      t->SetDebuggerAttachRequested();
      if (!served([&] { return t->GetDebuggerAttachRequestNoticedByYield(); })) lostAttach++;
      EXPECT_FALSE(t->GetDebuggerAttachRequested());
      t->ClearDebuggerAttachRequestNoticedByYield();
    }
  });
  std::thread collector([&] {
    for (int i = 0; i < kRequests && lostCollect == 0; i++) {
      t->SetWaitForGCRequested();
      if (!served([&] { return !t->GetYieldToWaitForGC(); })) lostCollect++;
    }
  });
  debugger.join();
  collector.join();
  EXPECT_EQ(0, lostAttach.load());
  EXPECT_EQ(0, lostCollect.load());
}

TEST_F(RuntimeThreadTest, DaemonAndNames) {
  AttachHere(m);
  VMThread* t = VMThread::Current();
  EXPECT_FALSE(t->GetIsDaemon());  // no Thread object
  HHeap* heap = m.vm->GetHeap();
  VMObject* jt = VMObject::Instantiate(heap, 2, 1);
  VMcharArray* ownName = VMcharArray::CreateInstance(heap, 1, jallocFailFast, VMTag_VMcharArray);
  VMcharArray* itsName = VMcharArray::CreateInstance(heap, 1, jallocFailFast, VMTag_VMcharArray);
  jt->SetWord(0, (VMword)itsName);
  t->SetName(ownName);
  t->SetJavaLangThreadAndName((VMJavaLangThread*)jt);
  EXPECT_EQ(ownName, t->GetName());  // both named: both keep their names
  EXPECT_EQ((VMword)itsName, jt->GetWord(0));
  jt->SetWord(0, 0);
  t->SetJavaLangThreadAndName((VMJavaLangThread*)jt);
  EXPECT_EQ((VMword)ownName, jt->GetWord(0));  // the object takes the thread's name
  ((VMObject*)itsName)->Destroy(heap);
  EXPECT_FALSE(t->GetIsDaemon());  // attached, daemon field unknown yet: false
  DetachHere(m);
  EXPECT_TRUE(t->GetIsDaemon());  // not attached
  t->SetJavaLangThread(nullptr);
  jt->Destroy(heap);
}

}  // namespace
}  // namespace runtime_test
