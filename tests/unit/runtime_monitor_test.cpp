/* Monitors: recursion, ownership, wait with and without a limit, notify and notify-all,
   interruption, host stop and failure, the lazy creation race, and the wait queue under
   time-outs, interrupts and stops of other waiters. */
#include "runtime_support.h"

#include <random>

#include "vmerrorcatcher.h"
#include "vmupcalls.h"

namespace runtime_test {
namespace {

class RuntimeMonitorTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    m = MakeMachine();
    ASSERT_NE(nullptr, m.vm);
    env = AttachHere(m);
    ASSERT_NE(nullptr, env);
    object = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
    ASSERT_NE(nullptr, object);
    monitor = VMMonitor::GetMonitorFor(m.ns, object);
    ASSERT_NE(nullptr, monitor);
  }
  void TearDown() override {
    if (object != nullptr) object->Destroy(m.vm->GetHeap());
    DetachHere(m);
    DestroyMachine(m);
    RuntimeTest::TearDown();
  }

  /* Runs fn on a new host thread attached to the machine. */
  std::thread Attached(std::function<void(VMThread*)> fn) { return AttachedThread(m, fn); }

  VMThread* Me() { return VMThread::Current(); }

  Machine m;
  JNIEnv* env = nullptr;
  VMObject* object = nullptr;
  VMMonitor* monitor = nullptr;
};

TEST_F(RuntimeMonitorTest, RecursionCountsEveryLevelAndHoldsOthersOut) {
  int32_t base = Me()->GetMutexLockCount();
  for (int i = 1; i <= 3; i++) {
    ASSERT_EQ(0, object->MonitorEnter(m.ns));
    EXPECT_EQ(base + i, Me()->GetMutexLockCount());
    EXPECT_EQ((uint32_t)i, monitor->GetOwnedCount());
  }
  std::atomic<bool> entered{false};
  std::thread other = Attached([&](VMThread*) {
    EXPECT_EQ(0, monitor->DoMonitorEnter());
    entered = true;
    EXPECT_EQ(0, monitor->DoMonitorExit());
  });
  for (int i = 2; i >= 0; i--) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load()) << "entered while " << i + 1 << " levels were held";
    ASSERT_EQ(0, object->MonitorExit(m.ns));
    EXPECT_EQ(base + i, Me()->GetMutexLockCount());
  }
  other.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(nullptr, monitor->GetOwner());
}

TEST_F(RuntimeMonitorTest, ANonOwnerNeverReleasesTheOwnersHold) {
  EXPECT_EQ(VMStatus_IllegalMonitorStateException, monitor->DoMonitorExit());  // free: no owner
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  std::thread other = Attached([&](VMThread* t) {
    int32_t held = t->GetMutexLockCount();
    EXPECT_EQ(VMStatus_IllegalMonitorStateException, monitor->DoMonitorExit());
    // Its wait gives up nothing and takes nothing back: it only times out.
    EXPECT_EQ(0, monitor->DoWait(30, t));
    EXPECT_EQ(held, t->GetMutexLockCount());
    // Its notify posts as any other.
    EXPECT_EQ(0, monitor->DoNotify());
  });
  other.join();
  EXPECT_TRUE(monitor->IsOwnedByCaller());
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  // The stranger's notify is pending: the owner's next wait returns at once, holding both levels again.
  EXPECT_EQ(0, monitor->DoWait(0, Me()));
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  EXPECT_EQ(0, monitor->DoMonitorExit());
  EXPECT_EQ(0, monitor->DoMonitorExit());
  EXPECT_EQ(VMStatus_IllegalMonitorStateException, monitor->DoMonitorExit());
}

TEST_F(RuntimeMonitorTest, WaitArgumentsAndInterruption) {
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  EXPECT_EQ(VMStatus_IllegalArgumentException, monitor->DoWait(-1, Me()));
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  Me()->SetInterrupted();
  auto start = Clock::now();
  EXPECT_EQ(VMStatus_InterruptedException, monitor->DoWait(0, Me()));  // no limit, yet at once
  EXPECT_LT(MillisSince(start), 2000);
  EXPECT_FALSE(Me()->GetInterrupted());
  EXPECT_TRUE(monitor->IsOwnedByCaller());
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  // A notify with no waiter leaves the count below zero and makes the next wait return.
  int32_t count = monitor->GetWaitCount();
  EXPECT_EQ(0, monitor->DoNotify());
  EXPECT_EQ(count - 1, monitor->GetWaitCount());
  EXPECT_EQ(0, monitor->DoWait(0, Me()));
  EXPECT_EQ(0, monitor->DoMonitorExit());
  EXPECT_EQ(0, monitor->DoMonitorExit());
}

TEST_F(RuntimeMonitorTest, InterruptDuringAWaitEndsItWith30) {
  std::atomic<VMThread*> waiter{nullptr};
  std::atomic<int> status{-1};
  std::thread t = Attached([&](VMThread* self) {
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    waiter = self;
    status = monitor->DoWait(0, self);
    EXPECT_TRUE(monitor->IsOwnedByCaller());
    EXPECT_FALSE(self->GetInterrupted());
    monitor->DoMonitorExit();
  });
  ASSERT_TRUE(WaitFor([&] { return waiter.load() != nullptr && waiter.load()->GetBlockedOn() != nullptr; }));
  waiter.load()->SetInterrupted();
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  monitor->DoNotify();
  monitor->DoMonitorExit();
  t.join();
  EXPECT_EQ(VMStatus_InterruptedException, status.load());
}

TEST_F(RuntimeMonitorTest, AnInterruptThatPostsTheEventEndsAWaitWithoutLimit) {
  // Thread.interrupt sets the flag and posts the event the thread waits on; that post
  // must end a wait without limit even though no notify was made.
  for (int java = 0; java < 2; java++) {
    std::atomic<VMThread*> waiter{nullptr};
    std::atomic<int> status{-1};
    std::thread t = Attached([&](VMThread* self) {
      ASSERT_EQ(0, monitor->DoMonitorEnter());
      waiter = self;
      status = java ? monitor->DoJavaWait(0, self) : monitor->DoWait(0, self);
      EXPECT_TRUE(monitor->IsOwnedByCaller());
      EXPECT_FALSE(self->GetInterrupted());
      monitor->DoMonitorExit();
    });
    ASSERT_TRUE(WaitFor([&] { return waiter.load() != nullptr && waiter.load()->GetBlockedOn() != nullptr; }));
    VMThread* w = waiter.load();
    w->SetInterrupted();
    host->EventPost(w->GetBlockedOn());
    bool ended = WaitFor([&] { return status.load() != -1; }, 3000);
    if (!ended) {  // let the thread go, so that the failure is reported, not a hang
      ASSERT_EQ(0, monitor->DoMonitorEnter());
      monitor->DoNotify();
      monitor->DoMonitorExit();
    }
    t.join();
    EXPECT_TRUE(ended) << "the interrupt did not end the wait";
    EXPECT_EQ(VMStatus_InterruptedException, status.load());
  }
  // The monitor still works as before: a waiter is woken by one notify.
  std::atomic<bool> woken{false};
  std::atomic<bool> waiting{false};
  std::thread t = Attached([&](VMThread* self) {
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    waiting = true;
    while (!woken.load()) EXPECT_EQ(0, monitor->DoWait(0, self));
    monitor->DoMonitorExit();
  });
  ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  woken = true;
  monitor->DoNotify();
  monitor->DoMonitorExit();
  t.join();
}

TEST_F(RuntimeMonitorTest, ATimedWaitReturnsAfterAboutItsTime) {
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  auto start = Clock::now();
  EXPECT_EQ(0, monitor->DoWait(200, Me()));
  long long took = MillisSince(start);
  EXPECT_GE(took, 190);
  EXPECT_LT(took, 5000);
  EXPECT_TRUE(monitor->IsOwnedByCaller());
  monitor->DoMonitorExit();
}

TEST_F(RuntimeMonitorTest, NotifyAllWakesEveryWaiter) {
  for (int round = 0; round < 20; round++) {
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; i++)
      waiters.push_back(Attached([&](VMThread* self) {
        ASSERT_EQ(0, monitor->DoMonitorEnter());
        EXPECT_EQ(0, monitor->DoWait(0, self));
        EXPECT_TRUE(monitor->IsOwnedByCaller());
        woken++;
        monitor->DoMonitorExit();
      }));
    // The wait count rises while the waiter still owns the monitor, so three counted
    // waiters have all begun to wait.
    ASSERT_TRUE(WaitFor([&] { return monitor->GetWaitCount() == 3; }));
    uint32_t posts = refhost::EventPostCount();
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    EXPECT_EQ(0, monitor->DoNotifyAll());
    EXPECT_EQ(0, monitor->GetWaitCount());
    monitor->DoMonitorExit();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(3, woken.load());
    EXPECT_LE(posts + 3, refhost::EventPostCount());
  }
}

TEST_F(RuntimeMonitorTest, PingPongAtDepthThreeKeepsExactCounts) {
  const int kRounds = 10000;
  for (int repeat = 0; repeat < 3; repeat++) {
    long counter[2] = {0, 0};
    int turn = 0;
    RunThreads(2, [&](int me) {
      AttachHere(m);
      VMThread* self = VMThread::Current();
      int32_t base = self->GetMutexLockCount();
      for (int level = 0; level < 3; level++) ASSERT_EQ(0, object->MonitorEnter(m.ns));
      for (int round = 0; round < kRounds; round++) {
        while (turn != me) ASSERT_EQ(0, object->Wait(m.ns, 0, self));
        EXPECT_EQ(3u, monitor->GetOwnedCount());
        counter[me]++;
        turn = 1 - me;
        ASSERT_EQ(0, object->Notify(m.ns));
      }
      for (int level = 0; level < 3; level++) ASSERT_EQ(0, object->MonitorExit(m.ns));
      EXPECT_EQ(base, self->GetMutexLockCount());
      DetachHere(m);
    });
    EXPECT_EQ(kRounds, counter[0]);
    EXPECT_EQ(kRounds, counter[1]);
    EXPECT_EQ(nullptr, monitor->GetOwner());
  }
}

TEST_F(RuntimeMonitorTest, ANotifyWakesTheThreadThatWaitedNotALaterOne) {
  // The waiter is counted and has let the monitor go, but reaches the event late. A
  // notify made meanwhile is for it; a thread that starts waiting after the notify and
  // finds the post first must leave it to the waiter.
  Watched().slowWaitMillis = 100;
  std::atomic<bool> counted{false};
  std::atomic<long long> waited{-1};
  std::atomic<int> status{-1};
  std::thread slow = Attached([&](VMThread* self) {
    SetSlowWaiter(true);
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    counted = true;
    auto start = Clock::now();
    status = monitor->DoWait(5000, self);
    waited = MillisSince(start);
    SetSlowWaiter(false);
    monitor->DoNotify();  // lets the later waiter go
    monitor->DoMonitorExit();
  });
  ASSERT_TRUE(WaitFor([&] { return counted.load(); }));
  ASSERT_EQ(0, monitor->DoMonitorEnter());  // only once the waiter has let go
  EXPECT_EQ(0, monitor->DoNotify());
  // The largest time-out Object.wait takes: no limit in practice, and no overflow.
  EXPECT_EQ(0, monitor->DoWait(INT64_MAX, Me()));
  EXPECT_GE(waited.load(), 0) << "the later waiter returned before the slow one notified it";
  monitor->DoMonitorExit();
  slow.join();
  EXPECT_EQ(0, status.load());
  EXPECT_LT(waited.load(), 2500) << "the notify was taken by the later waiter";
}

TEST_F(RuntimeMonitorTest, WaitsWithTheLargestTimeOutsDoNotOverflow) {
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  for (jlong ms : {(jlong)INT64_MAX, (jlong)INT64_MAX - 1, (jlong)1 << 62}) {
    EXPECT_EQ(0, monitor->DoNotify());  // kept for the wait, which returns at once
    EXPECT_EQ(0, monitor->DoWait(ms, Me()));
    EXPECT_EQ(0, monitor->DoNotify());
    EXPECT_EQ(0, monitor->DoJavaWait(ms, Me()));
  }
  Me()->SetInterrupted();
  EXPECT_EQ(VMStatus_InterruptedException, monitor->DoWait(INT64_MAX, Me()));
  EXPECT_EQ(1u, monitor->GetOwnedCount());
  monitor->DoMonitorExit();
}

TEST_F(RuntimeMonitorTest, AnInterruptWakesTheInterruptedThreadNotAnotherWaiter) {
  // Two waiters without limit, then a third whose time-out runs out. The interrupt of
  // the second must end the second's wait: no other waiter may take its wake-up, whatever
  // the timed-out one left behind.
  for (int round = 0; round < 10; round++) {
    std::atomic<VMThread*> first{nullptr}, second{nullptr};
    std::atomic<int> firstStatus{-1}, secondStatus{-1}, timedStatus{-1};
    auto waiter = [&](std::atomic<VMThread*>& who, std::atomic<int>& status) {
      return Attached([&](VMThread* self) {
        monitor->DoMonitorEnter();
        who = self;
        status = monitor->DoWait(0, self);
        monitor->DoMonitorExit();
      });
    };
    std::thread tFirst = waiter(first, firstStatus);
    ASSERT_TRUE(WaitFor([&] { return first.load() && first.load()->GetBlockedOn(); }));
    std::thread tSecond = waiter(second, secondStatus);
    ASSERT_TRUE(WaitFor([&] { return second.load() && second.load()->GetBlockedOn(); }));
    AttachedThread(m, [&](VMThread* self) {
      monitor->DoMonitorEnter();
      timedStatus = monitor->DoWait(20, self);
      monitor->DoMonitorExit();
    }).join();
    EXPECT_EQ(0, timedStatus.load());
    EXPECT_EQ(2, monitor->GetWaitCount());  // the timed-out waiter is gone from the count
    Interrupt(second.load());
    bool ended = WaitFor([&] { return secondStatus.load() != -1; }, 1500);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int firstEarly = firstStatus.load();
    ASSERT_EQ(0, monitor->DoMonitorEnter());  // let everyone go, whatever happened
    monitor->DoNotifyAll();
    monitor->DoMonitorExit();
    tFirst.join();
    tSecond.join();
    EXPECT_TRUE(ended) << "round " << round << ": the interrupted thread slept on";
    EXPECT_EQ(VMStatus_InterruptedException, secondStatus.load()) << "round " << round;
    EXPECT_EQ(-1, firstEarly) << "round " << round << ": the other waiter took the interrupt's wake-up";
    EXPECT_EQ(0, firstStatus.load());
    EXPECT_EQ(0, monitor->GetWaitCount());
    if (HasFailure()) break;
  }
}

TEST_F(RuntimeMonitorTest, ANotificationTakenByAnInterruptedWaiterGoesToTheNext) {
  // The first waiter is notified and interrupted at once: it leaves with 30, and the
  // notification is not lost with it.
  for (int round = 0; round < 5; round++) {
    std::atomic<int> waiting{0};
    std::atomic<VMThread*> first{nullptr};
    std::atomic<int> firstStatus{-1}, secondStatus{-1};
    std::thread tFirst = Attached([&](VMThread* self) {
      monitor->DoMonitorEnter();
      first = self;
      waiting++;
      firstStatus = monitor->DoWait(0, self);
      monitor->DoMonitorExit();
    });
    ASSERT_TRUE(WaitFor([&] { return waiting.load() == 1 && monitor->GetWaitCount() == 1; }));
    std::thread tSecond = Attached([&](VMThread* self) {
      monitor->DoMonitorEnter();
      waiting++;
      secondStatus = monitor->DoWait(0, self);
      monitor->DoMonitorExit();
    });
    ASSERT_TRUE(WaitFor([&] { return waiting.load() == 2 && monitor->GetWaitCount() == 2; }));
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    first.load()->SetInterrupted();  // the flag alone: the notify is what wakes it
    monitor->DoNotify();
    monitor->DoMonitorExit();
    bool passedOn = WaitFor([&] { return firstStatus.load() != -1 && secondStatus.load() != -1; }, 2000);
    if (!passedOn) {
      ASSERT_EQ(0, monitor->DoMonitorEnter());
      monitor->DoNotifyAll();
      monitor->DoMonitorExit();
    }
    tFirst.join();
    tSecond.join();
    EXPECT_TRUE(passedOn) << "round " << round << ": the second waiter never got the notification";
    EXPECT_EQ(VMStatus_InterruptedException, firstStatus.load());
    EXPECT_EQ(0, secondStatus.load());
  }
}

TEST_F(RuntimeMonitorTest, AStopSpentOnAnotherWaitStillEndsAJavaWait) {
  // The host wakes one blocking wait for a stop; machine code may wait on something else
  // first. The Java wait that follows must still see the stop and not block.
  void* other = host->EventSemaphoreCreate(0);
  std::atomic<VMThread*> target{nullptr};
  std::atomic<bool> stopped{false};
  std::atomic<int> status{-1};
  std::atomic<int> otherWait{-1};
  std::thread t = Attached([&](VMThread* self) {
    target = self;
    while (!stopped.load()) std::this_thread::yield();
    otherWait = host->EventWait(other, 100);
    monitor->DoMonitorEnter();
    status = monitor->DoJavaWait(0, self);
    EXPECT_TRUE(monitor->IsOwnedByCaller());
    monitor->DoMonitorExit();
    refhost::SetStopFlag(false);
  });
  ASSERT_TRUE(WaitFor([&] { return target.load() != nullptr; }));
  target.load()->Stop();
  stopped = true;
  bool ended = WaitFor([&] { return status.load() != -1; }, 2000);
  if (!ended) {
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    monitor->DoNotify();
    monitor->DoMonitorExit();
  }
  t.join();
  EXPECT_EQ(2, otherWait.load());  // the unrelated wait took the host's wake
  EXPECT_TRUE(ended) << "a stopped thread's Java wait slept on";
  EXPECT_EQ(VMStatus_ThreadDeath, status.load());
  EXPECT_EQ(0, monitor->GetWaitCount());
  host->EventSemaphoreDestroy(other);
}

TEST_F(RuntimeMonitorTest, ALateWaiterCostsNoHandBacksToTheOthers) {
  // One notify for a waiter that reaches its event late, with six later waiters: nobody
  // else takes and hands back posts, and nobody sleeps, while it dawdles.
  Watched().slowWaitMillis = 150;
  std::atomic<bool> counted{false};
  std::thread slow = Attached([&](VMThread* self) {
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    counted = true;
    SetSlowWaiter(true);
    EXPECT_EQ(0, monitor->DoWait(0, self));
    SetSlowWaiter(false);
    monitor->DoMonitorExit();
  });
  ASSERT_TRUE(WaitFor([&] { return counted.load(); }));
  ASSERT_EQ(0, monitor->DoMonitorEnter());  // the slow waiter has let go
  monitor->DoMonitorExit();
  const int kLater = 6;
  std::vector<std::thread> later;
  for (int i = 0; i < kLater; i++)
    later.push_back(Attached([&](VMThread* self) {
      ASSERT_EQ(0, monitor->DoMonitorEnter());
      EXPECT_EQ(0, monitor->DoWait(0, self));
      monitor->DoMonitorExit();
    }));
  ASSERT_TRUE(WaitFor([&] { return monitor->GetWaitCount() == kLater + 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint32_t waits = refhost::EventWaitCount(), posts = refhost::EventPostCount();
  uint32_t sleeps = refhost::SleepCallCount();
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  monitor->DoNotify();  // for the slow waiter
  monitor->DoMonitorExit();
  slow.join();
  EXPECT_LE(refhost::EventWaitCount() - waits, 2u);  // the slow waiter's own
  EXPECT_EQ(1u, refhost::EventPostCount() - posts);
  EXPECT_EQ(0u, refhost::SleepCallCount() - sleeps);
  EXPECT_EQ(kLater, monitor->GetWaitCount());
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  monitor->DoNotifyAll();
  monitor->DoMonitorExit();
  for (auto& t : later) t.join();
}

TEST_F(RuntimeMonitorTest, AnUninterruptibleWaitLeavesInterruptsAndStopsAlone) {
  std::atomic<VMThread*> waiter{nullptr};
  std::atomic<bool> release{false};
  std::atomic<int> status{-1};
  std::atomic<int> waits{0};
  std::thread t = Attached([&](VMThread* self) {
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    waiter = self;
    while (!release.load()) {
      status = monitor->DoUninterruptibleWait(0, self);
      waits++;
    }
    EXPECT_TRUE(monitor->IsOwnedByCaller());
    EXPECT_TRUE(self->GetInterrupted());  // kept for the Java code that comes next
    EXPECT_NE(0, self->Yield());          // and so is the stop
    monitor->DoMonitorExit();
    self->ClearInterrupted();
    refhost::SetStopFlag(false);
  });
  ASSERT_TRUE(WaitFor([&] { return waiter.load() != nullptr && monitor->GetWaitCount() == 1; }));
  Interrupt(waiter.load());
  waiter.load()->Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(nullptr, waiter.load()->GetBlockedOn());  // nothing for an interrupter to post
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  release = true;
  monitor->DoNotify();
  monitor->DoMonitorExit();
  t.join();
  EXPECT_EQ(0, status.load());
  EXPECT_EQ(1, waits.load());  // only the notify ended it
}

/* Workers take a single token under the monitor, waiting (with or without a time-out)
   while it is out, and give it back with a notify or a notify-all; another thread
   interrupts workers at random. A watchdog reports a worker still waiting 2 s after a
   notify-all made while it waited, and a stall of every worker. */
struct StressSettings {
  int workers, interruptEveryMicros, notifyAllPercent, timedPercent;
};

struct StressResult {
  long cycles = 0, waits = 0, interrupted = 0;
  int lost = 0, badStatus = 0;
};

StressResult RunMonitorStress(VMMonitor* monitor, const StressSettings& settings, int millis,
                              const std::function<std::thread(std::function<void(VMThread*)>)>& attached,
                              const std::function<void(VMThread*)>& interrupt) {
  const int n = settings.workers;
  std::vector<std::atomic<int>> waiting(n);
  std::vector<std::atomic<uint32_t>> generationAtWait(n);
  std::vector<std::atomic<VMThread*>> threads(n);
  for (int w = 0; w < n; w++) {
    waiting[w] = 0;
    threads[w] = nullptr;
  }
  const int kGenerations = 1 << 12;
  std::vector<std::atomic<long long>> generationTime(kGenerations);
  std::atomic<uint32_t> generation{0};
  int tokens = 1;  // under the monitor
  std::atomic<bool> stop{false};
  std::atomic<long> cycles{0}, waits{0}, interrupted{0};
  std::atomic<int> lost{0}, badStatus{0};
  auto start = Clock::now();

  std::vector<std::thread> pool;
  for (int w = 0; w < n; w++) {
    pool.push_back(attached([&, w](VMThread* self) {
      threads[w] = self;
      std::mt19937 rng(w * 7919 + 1);
      while (!stop.load()) {
        monitor->DoMonitorEnter();
        while (tokens == 0 && !stop.load()) {
          bool timed = (int)(rng() % 100) < settings.timedPercent;
          generationAtWait[w] = generation.load();
          waiting[w] = timed ? 2 : 1;
          VMStatus status = monitor->DoWait(timed ? 1 + rng() % 5 : 0, self);
          waiting[w] = 0;
          waits++;
          if (status == VMStatus_InterruptedException) interrupted++;
          else if (status != 0) badStatus++;
        }
        if (stop.load()) {
          monitor->DoMonitorExit();
          break;
        }
        tokens--;
        monitor->DoMonitorExit();
        for (volatile int i = 0; i < 2000; i++) {
        }
        if (rng() % 8 == 0) std::this_thread::yield();
        monitor->DoMonitorEnter();
        tokens++;
        if ((int)(rng() % 100) < settings.notifyAllPercent) {
          uint32_t g = generation.load() + 1;
          generationTime[g % kGenerations] = MillisSince(start);
          generation = g;
          monitor->DoNotifyAll();
        } else {
          monitor->DoNotify();
        }
        monitor->DoMonitorExit();
        cycles++;
      }
      self->ClearInterrupted();
    }));
  }
  std::thread interrupter;
  if (settings.interruptEveryMicros > 0) {
    interrupter = std::thread([&] {
      std::mt19937 rng(12345);
      while (!stop.load()) {
        std::this_thread::sleep_for(std::chrono::microseconds(settings.interruptEveryMicros));
        if (VMThread* t = threads[rng() % n].load()) interrupt(t);
      }
    });
  }
  std::vector<bool> reported(n, false);
  long lastCycles = -1;
  long long lastProgress = MillisSince(start);
  while (MillisSince(start) < millis) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    long c = cycles.load();
    if (c != lastCycles) {
      lastCycles = c;
      lastProgress = MillisSince(start);
    } else if (MillisSince(start) - lastProgress > 2000) {
      ADD_FAILURE() << "no worker got the token for 2 s; wait count " << monitor->GetWaitCount();
      lost++;
      lastProgress = MillisSince(start);
    }
    uint32_t g = generation.load();
    for (int w = 0; w < n; w++) {
      if (waiting[w].load() == 0) {
        reported[w] = false;
        continue;
      }
      uint32_t at = generationAtWait[w].load();
      if (g == at || reported[w]) continue;
      long long late = MillisSince(start) - generationTime[(at + 1) % kGenerations].load();
      if (late > 2000) {
        reported[w] = true;
        lost++;
        ADD_FAILURE() << "worker " << w << " still waits " << late << " ms after a notify-all that found it waiting";
      }
    }
  }
  stop = true;
  // However the run went, every worker leaves.
  while (true) {
    monitor->DoMonitorEnter();
    monitor->DoNotifyAll();
    monitor->DoMonitorExit();
    bool anyWaiting = false;
    for (int w = 0; w < n; w++) anyWaiting |= waiting[w].load() != 0;
    if (!anyWaiting) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (auto& t : pool) t.join();
  if (interrupter.joinable()) interrupter.join();
  StressResult result;
  result.cycles = cycles.load();
  result.waits = waits.load();
  result.interrupted = interrupted.load();
  result.lost = lost.load();
  result.badStatus = badStatus.load();
  return result;
}

TEST_F(RuntimeMonitorTest, ManyWaitersWithTimeOutsInterruptsAndNotifiesLoseNoWakeUp) {
  const StressSettings settings[] = {
      {8, 0, 0, 0}, {8, 300, 30, 30}, {6, 500, 100, 0}, {12, 200, 0, 50}};
  for (const StressSettings& s : settings) {
    StressResult r = RunMonitorStress(
        monitor, s, 600, [this](std::function<void(VMThread*)> fn) { return Attached(fn); },
        [this](VMThread* t) { Interrupt(t); });
    SCOPED_TRACE(testing::Message() << s.workers << " workers, interrupt every " << s.interruptEveryMicros
                                    << " us, notify-all " << s.notifyAllPercent << "%, timed " << s.timedPercent
                                    << "%");
    EXPECT_EQ(0, r.lost);
    EXPECT_EQ(0, r.badStatus);
    EXPECT_GT(r.cycles, 100);
    EXPECT_GT(r.waits, 100);
    if (s.interruptEveryMicros > 0) {
      EXPECT_GT(r.interrupted, 0);
    }
    // Every waiter left the queue it joined; a last notify made when none waited may be kept.
    EXPECT_LE(monitor->GetWaitCount(), 0);
  }
}

TEST_F(RuntimeMonitorTest, AFailedHostWaitGivesTheMonitorBackBefore17) {
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  int32_t held = Me()->GetMutexLockCount();
  Watched().failEventWaits = 1;
  EXPECT_EQ(VMStatus_VirtualMachineError, monitor->DoWait(0, Me()));
  EXPECT_TRUE(monitor->IsOwnedByCaller());
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  EXPECT_EQ(held, Me()->GetMutexLockCount());
  Watched().failEventWaits = 1;
  EXPECT_EQ(VMStatus_VirtualMachineError, monitor->DoJavaWait(0, Me()));
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  EXPECT_FALSE(Me()->GetSafeToGC());
  monitor->DoMonitorExit();
  monitor->DoMonitorExit();
}

TEST_F(RuntimeMonitorTest, AHostStopEndsAJavaWaitWith22) {
  for (int round = 0; round < 20; round++) {
    std::atomic<VMThread*> waiter{nullptr};
    std::atomic<int> status{-1};
    std::thread t = Attached([&](VMThread* self) {
      ASSERT_EQ(0, monitor->DoMonitorEnter());
      waiter = self;
      status = monitor->DoJavaWait(0, self);
      EXPECT_TRUE(monitor->IsOwnedByCaller());
      EXPECT_FALSE(self->GetSafeToGC());
      monitor->DoMonitorExit();
    });
    ASSERT_TRUE(WaitFor([&] { return waiter.load() != nullptr && waiter.load()->GetSafeToGC(); }));
    waiter.load()->Stop();
    t.join();
    EXPECT_EQ(VMStatus_ThreadDeath, status.load());
  }
}

TEST_F(RuntimeMonitorTest, APollThatThrowsFromAJavaWaitFindsTheMonitorHeld) {
  // A posted exception is thrown by the poll that ends the wait; the throw lands with
  // the monitor held again and the thread no longer marked safe for the collector.
  std::atomic<VMThread*> waiter{nullptr};
  std::atomic<bool> landed{false};
  VMObject* thrown = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
  std::thread t = Attached([&](VMThread* self) {
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    ASSERT_EQ(0, monitor->DoMonitorEnter());
    waiter = self;
    // At the thread's first frame nothing takes the exception: it stays pending and the
    // wait ends with the poll's failure.
    if (monitor->DoJavaWait(0, self) != 0) landed = true;
    EXPECT_TRUE(monitor->IsOwnedByCaller());
    EXPECT_EQ(2u, monitor->GetOwnedCount());
    EXPECT_FALSE(self->GetSafeToGC());
    EXPECT_EQ((VMJavaLangThrowable*)thrown, self->GetException());
    monitor->DoMonitorExit();
    monitor->DoMonitorExit();
  });
  ASSERT_TRUE(WaitFor([&] { return waiter.load() != nullptr && waiter.load()->GetSafeToGC(); }));
  waiter.load()->PostException((VMJavaLangThrowable*)thrown);
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  monitor->DoNotify();
  monitor->DoMonitorExit();
  t.join();
  EXPECT_TRUE(landed.load());
  thrown->Destroy(m.vm->GetHeap());
}

TEST_F(RuntimeMonitorTest, FiniReleasesOnlyTheCallersHold) {
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  ASSERT_EQ(0, monitor->DoMonitorEnter());
  std::thread([&] {
    AttachHere(m);
    EXPECT_EQ(0, object->MonitorFini());  // not the owner: nothing happens
    DetachHere(m);
  }).join();
  EXPECT_EQ(2u, monitor->GetOwnedCount());
  EXPECT_EQ(0, object->MonitorFini());
  EXPECT_EQ(nullptr, monitor->GetOwner());
  EXPECT_EQ(0u, monitor->GetOwnedCount());
  EXPECT_EQ(0, object->MonitorFini());  // free: nothing to do
}

TEST_F(RuntimeMonitorTest, RacingThreadsGetTheSameMonitorAndLosersAreFreed) {
  HHeap* nsHeap = m.ns->GetHeap();
  for (int round = 0; round < 20; round++) {
    VMObject* fresh = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
    uint32_t blocks = refhost::BlocksInUse(nsHeap);
    VMMonitor* got[6] = {};
    std::atomic<int> ready{0};
    RunThreads(6, [&](int i) {
      ready++;
      while (ready.load() < 6) {
      }
      got[i] = VMMonitor::GetMonitorFor(m.ns, fresh);
    });
    ASSERT_NE(nullptr, got[0]);
    for (int i = 1; i < 6; i++) EXPECT_EQ(got[0], got[i]);
    EXPECT_EQ(got[0], fresh->GetMonitor());
    EXPECT_EQ(blocks + 1, refhost::BlocksInUse(nsHeap));
    // The object takes its monitor with it.
    fresh->Destroy(m.vm->GetHeap());
    EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap));
  }
}

TEST_F(RuntimeMonitorTest, NoMonitorMeansOutOfMemory) {
  VMObject* fresh = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
  refhost::FailNextAllocations(1);
  EXPECT_EQ(VMStatus_OutOfMemoryError, fresh->MonitorEnter(m.ns));
  EXPECT_EQ(nullptr, fresh->GetMonitor());
  fresh->Destroy(m.vm->GetHeap());
}

}  // namespace
}  // namespace runtime_test
