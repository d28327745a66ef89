/* A host that moves the machine at every declared point it can reach, for the tests
   that attack moves with many threads: a mover thread moves it whenever every thread the
   test and the machine started stands inside a host wait or sleep (or a blocking lock)
   with its record declared. The host's services are gated: a thread that comes back from
   one while the machine moves waits until the move is done, as a host's own scheduler
   would hold it. */
#ifndef PUX_TESTS_JNI_MOVES_GATE_H
#define PUX_TESTS_JNI_MOVES_GATE_H

#include <stdint.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "jni_support.h"
#include "machine_move.h"

namespace jni_test {
namespace moves_gate {

inline std::mutex gGate;
inline int gRunning = 0;                // counted threads outside a gated host call
inline thread_local bool tlsCounted = false;
inline JavaVM* gMachine = nullptr;      // the machine the mover moves
inline std::atomic<bool> gMoverOn{false};
inline std::atomic<uint32_t> gMoves{0};

inline JNIHostFunctions gReal;

/* A thread the mover waits for while it runs outside the host's calls. */
struct Counted {
  bool was;
  Counted() : was(tlsCounted) {
    if (was) return;
    std::lock_guard<std::mutex> g(gGate);
    gRunning++;
    tlsCounted = true;
  }
  ~Counted() {
    if (was) return;
    std::lock_guard<std::mutex> g(gGate);
    gRunning--;
    tlsCounted = false;
  }
};

/* Whether the calling thread stands declared in the machine the mover moves. */
inline bool CallerDeclared() {
  JNIEnv* e = gReal.GetCurrentEnv();
  if (e == nullptr || e->javaVM != gMachine || e->thread == nullptr) return false;
  return (e->thread->GetFlags() & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag)) != 0;
}

/* A host call the mover may move the machine during: any sleep (a thread not attached
   sleeps outside the machine), a wait or a lock only of a declared thread. */
template <class F>
auto Gated(F f, bool sleep = false) -> decltype(f()) {
  if (!tlsCounted || (!sleep && !CallerDeclared())) return f();
  {
    std::lock_guard<std::mutex> g(gGate);
    gRunning--;
  }
  struct Back {
    ~Back() {
      std::lock_guard<std::mutex> g(gGate);
      gRunning++;
    }
  } back;
  return f();
}

inline void HOSTCALL GatedSleep(jlong ms) {
  Gated([&] { gReal.Sleep(ms); }, true);
}
inline jint HOSTCALL GatedEventWait(void* ev, jlong ms) {
  return Gated([&] { return gReal.EventWait(ev, ms); });
}
inline jboolean HOSTCALL GatedMutexLock(void* m) {
  return Gated([&] { return gReal.MutexLock(m); });
}

struct Trampoline {
  JNIHostThreadFn routine;
  void* ctx;
  bool counted;
  void (*atEnd)();
};
inline jint HOSTCALL CountedBody(void* argument) {
  Trampoline t = *(Trampoline*)argument;
  delete (Trampoline*)argument;
  jint r;
  if (!t.counted) {
    r = t.routine(t.ctx);
  } else {
    Counted counted;
    r = t.routine(t.ctx);
  }
  if (t.atEnd != nullptr) t.atEnd();
  return r;
}
/* The host's start of a thread that the mover waits for when counted; atEnd (when set)
   runs on the thread once its routine has returned. */
inline jboolean StartCounted(JNIHostThreadFn routine, void* ctx, jint flag, bool counted, void (*atEnd)()) {
  Trampoline* t = new Trampoline{routine, ctx, counted, atEnd};
  // The starter is counted while the host starts the thread: the new one counts itself
  // before it runs a step of the machine.
  jboolean started = gReal.StartThread(CountedBody, t, flag);
  if (!started) delete t;
  return started;
}
inline jboolean HOSTCALL CountedStart(JNIHostThreadFn routine, void* ctx, jint flag) {
  return StartCounted(routine, ctx, flag, true, nullptr);
}

/* Under the gate, every counted thread inside a host call: whether each attached thread
   of the machine is declared (not one parked for a collection or running). */
inline bool AllDeclared(JavaVM* vm) {
  VM* machine = vm->vm;
  if (machine == nullptr) return false;
  VMThreadHandleArray* threads = machine->GetThreads();
  for (uint32_t i = 1; threads != nullptr && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    if (t == nullptr || t->GetEnv() == nullptr) continue;
    VMword flags = t->GetFlags();
    if (flags & VMThread::WaitingForGCFlag) return false;
    if (!(flags & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag))) return false;
  }
  return true;
}

/* Moves the machine whenever everything stands still, until stopped (never with
   ATK_NOMOVE set, to tell a fault of the moves from one of the threads alone). */
inline void MoverLoop() {
  while (gMoverOn.load()) {
    {
      std::lock_guard<std::mutex> g(gGate);
      if (getenv("ATK_NOMOVE") == nullptr && gRunning == 0 && gMachine != nullptr && AllDeclared(gMachine) &&
          MoveMachine(gMachine) != 0)
        gMoves++;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
}

}  // namespace moves_gate

/* A test whose host's sleeps, waits, locks and thread starts are gated, with a mover it
   starts on a machine and stops. */
class GatedMovesTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    moves_gate::gReal = *host;
    host->Sleep = moves_gate::GatedSleep;
    host->EventWait = moves_gate::GatedEventWait;
    host->MutexLock = moves_gate::GatedMutexLock;
    host->StartThread = moves_gate::CountedStart;
    moves_gate::gMoves = 0;
    moves_gate::gMachine = nullptr;
  }
  void TearDown() override {
    StopMover();
    host->Sleep = moves_gate::gReal.Sleep;
    host->EventWait = moves_gate::gReal.EventWait;
    host->MutexLock = moves_gate::gReal.MutexLock;
    host->StartThread = moves_gate::gReal.StartThread;
    JniTest::TearDown();
  }
  void StartMover(JavaVM* vm) {
    {
      std::lock_guard<std::mutex> g(moves_gate::gGate);
      moves_gate::gMachine = vm;
    }
    moves_gate::gMoverOn = true;
    mover = std::thread(moves_gate::MoverLoop);
  }
  void StopMover() {
    if (!moves_gate::gMoverOn.load()) return;
    moves_gate::gMoverOn = false;
    mover.join();
    std::lock_guard<std::mutex> g(moves_gate::gGate);
    moves_gate::gMachine = nullptr;
  }
  std::thread mover;
};

}  // namespace jni_test

#endif
