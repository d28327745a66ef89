/* A host thread that stays attached while it waits for other threads (a join, a sleep)
   must say so: every collection those threads start waits for each attached thread to
   stop at a poll, and a thread waiting outside the machine reaches none. The wait is
   declared a safe region of the calling thread's current machine. */
#ifndef PUX_TESTS_SAFE_WAIT_H
#define PUX_TESTS_SAFE_WAIT_H

#include <thread>
#include <vector>

#include "vm.h"
#include "vmthread.h"

template <class Wait>
inline void WhileOutside(Wait wait) {
  VMThread* self = VMThread::Current();
  VM::EnterSafeRegion(self);
  wait();
  VM::LeaveSafeRegion(self);
}

inline void JoinOutside(std::thread& t) {
  WhileOutside([&] { t.join(); });
}

inline void JoinOutside(std::vector<std::thread>& threads) {
  WhileOutside([&] {
    for (auto& t : threads) t.join();
  });
}

#endif
