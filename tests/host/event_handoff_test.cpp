/* Counting events: a post made while threads are blocked belongs to them. */
#include "host_test_util.h"

#include <atomic>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

class EventHandoffTest : public HostTest {};

TEST_F(EventHandoffTest, APostForABlockedThreadIsNotTakenByALaterOne) {
  void* ev = host->EventSemaphoreCreate(0);
  for (int round = 0; round < 20; round++) {
    std::atomic<int> result{-1};
    std::thread blocked([&] { result = host->EventWait(ev, 5000); });
    while (refhost::EventWaiters(ev) == 0) std::this_thread::yield();  // blocked on the event
    auto start = Clock::now();
    host->EventPost(ev);
    EXPECT_EQ(2, host->EventWait(ev, 0)) << "round " << round;  // not this thread's post
    blocked.join();
    EXPECT_EQ(0, result.load());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2500);
  }
  host->EventSemaphoreDestroy(ev);
}

TEST_F(EventHandoffTest, APostWhoseThreadGaveUpStaysPending) {
  void* ev = host->EventSemaphoreCreate(0);
  // The waiter gives up at its time-out; a post reserved for it in the meantime, or made
  // after, is left for the next wait.
  uint32_t waits = refhost::EventWaitCount();
  std::thread waiter([&] { EXPECT_EQ(2, host->EventWait(ev, 30)); });
  while (refhost::EventWaitCount() == waits) std::this_thread::yield();
  waiter.join();
  host->EventPost(ev);
  EXPECT_EQ(0, host->EventWait(ev, 0));
  EXPECT_EQ(2, host->EventWait(ev, 0));
  // A thread stopped while blocked leaves a post made for it pending as well.
  std::atomic<void*> handle{nullptr};
  std::atomic<int> first{-1};
  std::thread stopped([&] {
    handle = host->CurrentThreadHandle();
    first = host->EventWait(ev, -1);
  });
  while (refhost::EventWaiters(ev) == 0) std::this_thread::yield();
  host->StopThread(handle.load(), 1);
  stopped.join();
  EXPECT_EQ(2, first.load());
  host->EventPost(ev);
  EXPECT_EQ(0, host->EventWait(ev, 0));
  host->EventSemaphoreDestroy(ev);
}

}  // namespace
