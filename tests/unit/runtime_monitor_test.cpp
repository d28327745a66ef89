/* Monitors: recursion, ownership, wait with and without a limit, notify and notify-all,
   interruption, host stop and failure, and the lazy creation race. */
#include "runtime_support.h"

#include "vmerrorcatcher.h"
#include "vmseams.h"

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
  std::thread Attached(std::function<void(VMThread*)> fn) {
    return std::thread([this, fn] {
      AttachHere(m);
      fn(VMThread::Current());
      DetachHere(m);
    });
  }

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
  EXPECT_EQ(0, monitor->DoWait(10000, Me()));
  monitor->DoMonitorExit();
  slow.join();
  EXPECT_EQ(0, status.load());
  EXPECT_LT(waited.load(), 2500) << "the notify was taken by the later waiter";
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
