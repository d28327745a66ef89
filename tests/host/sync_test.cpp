/* Cells, mutexes, counting events and spin locks of the reference host. */
#include "host_test_util.h"

#include <atomic>
#include <chrono>
#include <climits>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class SyncTest : public HostTest {};

TEST_F(SyncTest, CellsAreSharedZeroedAndGoneAfterFree) {
  host->AllocGlobalCells(7);
  uint32_t* c0 = host->GetGlobalCell(0);
  ASSERT_NE(nullptr, c0);
  for (int i = 0; i < 7; i++) {
    ASSERT_NE(nullptr, host->GetGlobalCell(i));
    EXPECT_EQ(0u, *host->GetGlobalCell(i));
    *host->GetGlobalCell(i) = 100 + i;
  }
  EXPECT_EQ(nullptr, host->GetGlobalCell(7));
  EXPECT_EQ(nullptr, host->GetGlobalCell(-1));
  uint32_t* seenElsewhere = nullptr;
  std::thread([&] { seenElsewhere = host->GetGlobalCell(3); }).join();
  EXPECT_EQ(host->GetGlobalCell(3), seenElsewhere);
  EXPECT_EQ(103u, *seenElsewhere);

  host->FreeGlobalCells();
  EXPECT_EQ(nullptr, host->GetGlobalCell(0));
  host->AllocGlobalCells(7);  // a new set-up after a shutdown starts from zero again
  for (int i = 0; i < 7; i++) EXPECT_EQ(0u, *host->GetGlobalCell(i));
  host->FreeGlobalCells();
}

TEST_F(SyncTest, GlobalMutexIsOneRecursiveProcessLock) {
  void* g = host->GetGlobalMutex();
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(g, host->GetGlobalMutex());
  uint32_t locks = refhost::GlobalMutexLockCount();
  uint32_t held = refhost::MutexesHeldByThisThread();
  EXPECT_EQ(1, host->MutexLock(g));
  EXPECT_EQ(1, host->MutexLock(g));  // the machine's set-up may lock it again underneath
  EXPECT_EQ(held + 2, refhost::MutexesHeldByThisThread());
  std::atomic<bool> got{false};
  std::thread other([&] {
    EXPECT_EQ(0, host->MutexUnlock(g));  // not the owner
    host->MutexLock(g);
    got = true;
    host->MutexUnlock(g);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(got.load());
  EXPECT_EQ(1, host->MutexUnlock(g));
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(got.load());
  EXPECT_EQ(1, host->MutexUnlock(g));
  other.join();
  EXPECT_TRUE(got.load());
  EXPECT_EQ(locks + 3, refhost::GlobalMutexLockCount());
  EXPECT_EQ(3u, refhost::GlobalMutexUnlockCount());
  EXPECT_EQ(held, refhost::MutexesHeldByThisThread());
  host->MutexDestroy(g);  // never really destroyed
  EXPECT_EQ(1, host->MutexLock(g));
  EXPECT_EQ(1, host->MutexUnlock(g));
}

TEST_F(SyncTest, MutexesExcludeAndOnlyTheOwnerUnlocks) {
  refhost::SetErrorCheckingMutexes(true);
  void* m = host->MutexCreate(0);
  ASSERT_NE(nullptr, m);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; i++) {
        host->MutexLock(m);
        counter++;
        host->MutexUnlock(m);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(80000, counter);
  EXPECT_EQ(1, host->MutexLock(m));
  EXPECT_EQ(0, host->MutexLock(m));  // error-checking: a relock is refused, not a deadlock
  std::thread([&] { EXPECT_EQ(0, host->MutexUnlock(m)); }).join();
  EXPECT_EQ(1, host->MutexUnlock(m));
  EXPECT_EQ(0, host->MutexUnlock(m));
  host->MutexDestroy(m);

  std::vector<void*> many;
  for (int i = 0; i < 20000; i++) many.push_back(host->MutexCreate(1));
  for (void* x : many) ASSERT_NE(nullptr, x);
  for (void* x : many) host->MutexDestroy(x);
}

TEST_F(SyncTest, EveryPostIsKeptUntilAWaitConsumesIt) {
  void* ev = host->EventSemaphoreCreate(0);
  ASSERT_NE(nullptr, ev);
  EXPECT_EQ(2, host->EventWait(ev, 0));  // nothing posted: a poll times out
  uint32_t posts = refhost::EventPostCount();
  host->EventPost(ev);
  host->EventPost(ev);
  host->EventPost(ev);
  EXPECT_EQ(posts + 3, refhost::EventPostCount());
  EXPECT_EQ(0, host->EventWait(ev, -1));
  EXPECT_EQ(0, host->EventWait(ev, 0));
  EXPECT_EQ(0, host->EventWait(ev, 1000));
  EXPECT_EQ(2, host->EventWait(ev, 0));
  host->EventSemaphoreDestroy(ev);
  EXPECT_EQ(1, host->EventWait(nullptr, -1));
}

TEST_F(SyncTest, NotifyAllBeforeTheWaitersArriveWakesEachOfThem) {
  void* ev = host->EventSemaphoreCreate(0);
  const int kWaiters = 6;
  std::atomic<int> ready{0}, woken{0};
  std::vector<std::thread> threads;
  // Posts made while no one waits yet: each later waiter takes one.
  for (int i = 0; i < kWaiters; i++) host->EventPost(ev);
  for (int i = 0; i < kWaiters; i++)
    threads.emplace_back([&] {
      ready++;
      if (host->EventWait(ev, -1) == 0) woken++;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(kWaiters, woken.load());
  EXPECT_EQ(2, host->EventWait(ev, 0));

  // And with the waiters asleep first: one post releases exactly one of them.
  threads.clear();
  woken = 0;
  for (int i = 0; i < 3; i++)
    threads.emplace_back([&] {
      if (host->EventWait(ev, 5000) == 0) woken++;
    });
  while (refhost::EventWaiters(ev) < 3) std::this_thread::yield();
  host->EventPost(ev);
  auto start = Clock::now();
  while (woken.load() == 0 && MillisSince(start) < 4000) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(1, woken.load());
  host->EventPost(ev);
  host->EventPost(ev);
  for (auto& t : threads) t.join();
  EXPECT_EQ(3, woken.load());
  host->EventSemaphoreDestroy(ev);
}

TEST_F(SyncTest, WaitLimitsTimeOutAndHugeLimitsDoNotOverflow) {
  void* ev = host->EventSemaphoreCreate(0);
  auto start = Clock::now();
  EXPECT_EQ(2, host->EventWait(ev, 60));
  EXPECT_GE(MillisSince(start), 59);

  // Limits far beyond any real wait must still wait (an overflowed deadline would time
  // out at once) and still return 0 when posted.
  for (jlong huge : {(jlong)INT_MAX, (jlong)1 << 40, (jlong)INT64_MAX}) {
    start = Clock::now();  // before the poster's sleep begins, however late this thread runs
    std::thread poster([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      host->EventPost(ev);
    });
    EXPECT_EQ(0, host->EventWait(ev, huge)) << huge;
    EXPECT_GE(MillisSince(start), 30) << huge;
    poster.join();
  }
  host->EventSemaphoreDestroy(ev);
}

TEST_F(SyncTest, StopThreadWakesABlockingWaitOnceWithoutTakingAPost) {
  void* ev = host->EventSemaphoreCreate(0);
  std::atomic<void*> handle{nullptr};
  std::atomic<jint> first{-1}, second{-1}, third{-1};
  std::atomic<jint> yieldBefore{-1}, yieldAfter{-1};
  std::thread target([&] {
    handle = host->CurrentThreadHandle();
    yieldBefore = host->YieldCheck();
    first = host->EventWait(ev, -1);   // woken by the stop
    yieldAfter = host->YieldCheck();
    second = host->EventWait(ev, -1);  // an ordinary post
    third = host->EventWait(ev, 0);
    host->AttachThreadEnv(nullptr, nullptr);
  });
  while (refhost::EventWaiters(ev) == 0) std::this_thread::yield();
  EXPECT_EQ(-1, first.load());
  host->StopThread(handle, 1);
  while (first.load() == -1) std::this_thread::yield();
  EXPECT_EQ(2, first.load());
  EXPECT_EQ(0, yieldBefore.load());
  EXPECT_NE(0, yieldAfter.load());
  host->EventPost(ev);
  target.join();
  EXPECT_EQ(0, second.load());
  EXPECT_EQ(2, third.load());
  host->EventSemaphoreDestroy(ev);
}

TEST_F(SyncTest, StopBeforeTheWaitWakesTheNextBlockingWait) {
  void* ev = host->EventSemaphoreCreate(0);
  std::vector<jint> results;
  jint stoppedPoll = -1, afterDetach = -1;
  std::thread target([&] {
    host->StopThread(host->CurrentThreadHandle(), 1);
    // A post that is already there is taken: the wait never blocked.
    host->EventPost(ev);
    results.push_back(host->EventWait(ev, -1));
    results.push_back(host->EventWait(ev, 10000));  // the owed wake
    results.push_back(host->EventWait(ev, 30));     // owed only once: a real time-out
    stoppedPoll = host->YieldCheck();
    host->AttachThreadEnv(nullptr, nullptr);         // the binding ends: flag cleared
    afterDetach = host->YieldCheck();
  });
  target.join();
  EXPECT_EQ((std::vector<jint>{0, 2, 2}), results);
  EXPECT_NE(0, stoppedPoll);
  EXPECT_EQ(0, afterDetach);
  host->EventSemaphoreDestroy(ev);
}

TEST_F(SyncTest, SpinLocksBlockAndAnyHandleCanBeClosed) {
  refhost::SetErrorCheckingMutexes(true);
  void* s = host->SpinLockCreate(4, "test spinlock - Create");
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(1, host->SpinLockAcquire(s, "get"));
  EXPECT_EQ(0, host->SpinLockAcquire(s, "get again"));  // refused instead of hanging
  std::atomic<bool> got{false};
  std::thread other([&] {
    host->SpinLockAcquire(s, "other");
    got = true;
    host->SpinLockRelease(s, "other");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(got.load());
  EXPECT_EQ(1, host->SpinLockRelease(s, "release"));
  other.join();
  EXPECT_TRUE(got.load());
  EXPECT_EQ(1, host->SpinLockPromote(s, "promote"));
  host->CloseHandle(s, "test Close");

  refhost::SetCapture(true);
  host->CloseHandle(host->MutexCreate(0), "mutex");
  host->CloseHandle(host->EventSemaphoreCreate(0), "event");
  int notAHandle = 12345;
  host->CloseHandle(&notAHandle, "stray");
  EXPECT_NE(std::string::npos, refhost::CapturedLog().find("stray"));
}

TEST_F(SyncTest, PlainSpinLocksExcludeSleepAndRefuseAStrayRelease) {
  void* s = host->SpinLockCreate(4, "test spinlock - Create");
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(0, host->SpinLockRelease(s, "not held"));
  // Holders that sleep now and then inside send the others past the spin to sleep on
  // the lock, so both the quick and the sleeping hand-over are exercised.
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20000; i++) {
        ASSERT_EQ(1, host->SpinLockAcquire(s, "count"));
        long seen = counter;
        if (i % 4000 == t) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        counter = seen + 1;
        ASSERT_EQ(1, host->SpinLockRelease(s, "count"));
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(80000, counter);

  EXPECT_EQ(1, host->SpinLockAcquire(s, "hold"));
  std::atomic<bool> got{false};
  std::thread other([&] {
    host->SpinLockAcquire(s, "wait");
    got = true;
    host->SpinLockRelease(s, "wait");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(got.load());
  EXPECT_EQ(1, host->SpinLockRelease(s, "hold"));
  other.join();
  EXPECT_TRUE(got.load());
  EXPECT_EQ(0, host->SpinLockRelease(s, "released twice"));
  host->CloseHandle(s, "test Close");
}

}  // namespace
