/* Shared set-up of the runtime tests: real name spaces and machines on the reference
   host, host threads attached to them, and a host table that watches heap destruction
   and can make event waits fail. */
#ifndef PUX_TESTS_RUNTIME_SUPPORT_H
#define PUX_TESTS_RUNTIME_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmobject.h"
#include "vmthread.h"
#include "vmutils.h"

namespace runtime_test {

/* What the watching table saw. */
struct Watch {
  /* Bytes still in use on every heap at the moment it was destroyed, in order (machines
     may be destroyed on several threads at once: appended under the lock). */
  std::vector<uint64_t> bytesAtDestroy;
  std::mutex lock;
  std::atomic<int> failEventWaits{0};  /* make this many EventWait calls answer 1 */
  std::atomic<int> slowWaitMillis{0};  /* how long a slow waiter dawdles before EventWait */
};

/* Marks the calling thread as a slow waiter: it reaches the host's event only after the
   watch's slowWaitMillis, which widens the gap between releasing a monitor and waiting. */
void SetSlowWaiter(bool on);

Watch& Watched();

/* A machine with its invocation record; the record is process memory. */
struct Machine {
  JavaVM* jvm = nullptr;
  VM* vm = nullptr;
  VMNameSpace* ns = nullptr;
};

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* A machine on ns (a new name space when ns is NULL). */
  Machine MakeMachine(VMNameSpace* ns = nullptr);
  /* Destroys the machine, and its name space when the machine was its last. Returns
     what VM::Destroy answered. */
  uint32_t DestroyMachine(Machine& m);
  /* Attaches / detaches the calling host thread. */
  JNIEnv* AttachHere(const Machine& m);
  void DetachHere(const Machine& m);

  /* Runs fn on a new host thread attached to the machine for the time of fn. */
  std::thread AttachedThread(const Machine& m, std::function<void(VMThread*)> fn);
  /* What Thread.interrupt does to a thread: under the thread's mutex, set its flag and
     post the event it waits on, if any. */
  void Interrupt(VMThread* thread);

  /* Runs fn on n host threads and joins them. */
  static void RunThreads(int n, const std::function<void(int)>& fn);
  /* Waits up to ms for cond; false on time-out. */
  static bool WaitFor(const std::function<bool()>& cond, int ms = 5000);

  JNIHostFunctions* host = nullptr;
  uint64_t processBytesBefore = 0;
};

/* Ends a helper thread however the test leaves its scope: raises the flag it polls and
   joins it, so that a failed assertion fails the test instead of ending the program. */
class Joiner {
 public:
  Joiner(std::thread& thread, std::atomic<bool>& stop) : thread(thread), stop(stop) {}
  ~Joiner() {
    stop = true;
    if (thread.joinable()) thread.join();
  }

 private:
  std::thread& thread;
  std::atomic<bool>& stop;
};

using Clock = std::chrono::steady_clock;
inline long long MillisSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

}  // namespace runtime_test

#endif
