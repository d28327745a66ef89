/* Ends the test process when a step blocks past its time: a debugger test that hangs
   would otherwise hold the whole suite until ctest's own limit. */
#ifndef PUX_TESTS_DEBUGGER_WATCHDOG_H
#define PUX_TESTS_DEBUGGER_WATCHDOG_H

#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <thread>

class Watchdog {
 public:
  explicit Watchdog(int seconds, const char* what = "debugger test") {
    thread_ = std::thread([this, seconds, what] {
      for (int i = 0; i < seconds * 100 && !done_.load(); i++) usleep(10000);
      if (!done_.load()) {
        fprintf(stderr, "%s: blocked past %d s\n", what, seconds);
        _exit(3);
      }
    });
  }
  ~Watchdog() {
    done_.store(true);
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

#endif
