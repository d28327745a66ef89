/* Process cells, the global mutex, mutexes, counting events and spin locks. */
#include "refhost_internal.h"

#include <errno.h>
#include <linux/futex.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace refhost {
namespace detail {

namespace {

struct Mutex {
  uint32_t tag;
  pthread_mutex_t m;
};

/* A futex word: 0 free, 1 held, 3 held with sleepers (or possibly so). The owner is
   only kept by error-checking locks, which refuse a second acquire by the holder and a
   release by anyone else. */
struct SpinLock {
  uint32_t tag;
  std::atomic<uint32_t> state;
  std::atomic<uintptr_t> owner;
  bool errorChecking;
  jint mode;
  const char* createdBy;  /* static text of the creating call site, for diagnostics */
};

enum : uint32_t { kSpinFree = 0, kSpinHeld = 1, kSpinSleepers = 3 };

/* Exists before any cell and is recursive: the machine's set-up locks it raw and can be
   reached by a thread that already holds it through the machine's own recursion. */
Mutex gGlobalMutex = {kTagMutex, PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP};

enum { kMaxCells = 16 };
uint32_t gCells[kMaxCells];
std::atomic<jint> gCellCount{0};

std::atomic<uint32_t> gGlobalLocks{0};
std::atomic<uint32_t> gGlobalUnlocks{0};
std::atomic<uint32_t> gEventPosts{0};
std::atomic<uint32_t> gEventWaits{0};
std::atomic<bool> gErrorCheckingMutexes{false};
/* Live spin locks and event semaphores: their makers must give each one back. */
std::atomic<int32_t> gLiveSpinLocks{0};
std::atomic<int32_t> gLiveEvents{0};

int64_t MonotonicNanos() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void InitMutex(pthread_mutex_t* m, int type) {
  pthread_mutexattr_t a;
  pthread_mutexattr_init(&a);
  pthread_mutexattr_settype(&a, type);
  pthread_mutex_init(m, &a);
  pthread_mutexattr_destroy(&a);
}

void DestroyEvent(Event* e) {
  gLiveEvents.fetch_sub(1);
  e->tag = kTagDead;
  pthread_cond_destroy(&e->cond);
  pthread_mutex_destroy(&e->lock);
  free(e);
}

void DestroyMutex(Mutex* m) {
  if (m == &gGlobalMutex) return;
  m->tag = kTagDead;
  pthread_mutex_destroy(&m->m);
  free(m);
}

void DestroySpin(SpinLock* s) {
  gLiveSpinLocks.fetch_sub(1);
  s->tag = kTagDead;
  free(s);
}

/* Sleeps while *word holds expected, for at most about a millisecond: see SpinLockRelease
   for why the sleep is bounded. */
void FutexWaitBriefly(std::atomic<uint32_t>* word, uint32_t expected) {
  struct timespec limit = {0, 1000000};
#ifdef SYS_futex_time64
  long call = sizeof(time_t) == 8 ? SYS_futex_time64 : SYS_futex;
#else
  long call = SYS_futex;
#endif
  syscall(call, (uint32_t*)word, FUTEX_WAIT_PRIVATE, expected, &limit, nullptr, 0);
}

void FutexWakeOne(std::atomic<uint32_t>* word) {
  syscall(SYS_futex, (uint32_t*)word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

/* Contended path: a short spin for a holder that is about to let go, then sleep on the
   word. A sleeper that wakes takes the lock marked as having sleepers, since others may
   still sleep behind it. */
void SpinLockSlow(SpinLock* s) {
  for (int i = 0; i < 100; i++) {
    uint32_t seen = s->state.load(std::memory_order_relaxed);
    if (seen == kSpinFree) {
      if (s->state.compare_exchange_weak(seen, kSpinHeld, std::memory_order_acquire,
                                         std::memory_order_relaxed))
        return;
    } else if (seen == kSpinSleepers) {
      break;
    }
    __builtin_ia32_pause();
  }
  for (;;) {
    uint32_t seen = s->state.load(std::memory_order_relaxed);
    if (seen == kSpinFree) {
      if (s->state.compare_exchange_weak(seen, kSpinSleepers, std::memory_order_acquire,
                                         std::memory_order_relaxed))
        return;
      continue;
    }
    if (seen == kSpinHeld &&
        !s->state.compare_exchange_weak(seen, kSpinSleepers, std::memory_order_relaxed,
                                        std::memory_order_relaxed))
      continue;
    FutexWaitBriefly(&s->state, kSpinSleepers);
  }
}

uintptr_t ThisThread() { return (uintptr_t)pthread_self(); }

}  // namespace

/* ---- cells ---- */

void HOSTCALL AllocGlobalCells(jint count) {
  if (count < 0) count = 0;
  if (count > kMaxCells) count = kMaxCells;
  for (int i = 0; i < kMaxCells; i++) __atomic_store_n(&gCells[i], 0, __ATOMIC_RELAXED);
  gCellCount.store(count, std::memory_order_release);
}

void HOSTCALL FreeGlobalCells(void) { gCellCount.store(0, std::memory_order_release); }

uint32_t* HOSTCALL GetGlobalCell(jint index) {
  jint n = gCellCount.load(std::memory_order_acquire);
  return (index >= 0 && index < n) ? &gCells[index] : nullptr;
}

/* ---- events ---- */

void* HOSTCALL EventSemaphoreCreate(jboolean) {
  Event* e = (Event*)malloc(sizeof(Event));
  if (!e) return nullptr;
  e->tag = kTagEvent;
  pthread_mutex_init(&e->lock, nullptr);
  pthread_condattr_t ca;
  pthread_condattr_init(&ca);
  pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
  pthread_cond_init(&e->cond, &ca);
  pthread_condattr_destroy(&ca);
  e->count = 0;
  e->waiters = 0;
  e->reserved = 0;
  e->generation = 0;
  gLiveEvents.fetch_add(1);
  return e;
}

void HOSTCALL EventPost(void* ev) {
  Event* e = (Event*)ev;
  if (!e || e->tag != kTagEvent) return;
  gEventPosts.fetch_add(1, std::memory_order_relaxed);
  pthread_mutex_lock(&e->lock);
  if (e->waiters > e->reserved) {
    e->reserved++;
    e->generation++;
    pthread_cond_broadcast(&e->cond);  /* only those blocked before this post may take it */
  } else {
    e->count++;
  }
  pthread_mutex_unlock(&e->lock);
}

jint HOSTCALL EventWait(void* ev, jlong ms) {
  Event* e = (Event*)ev;
  if (!e || e->tag != kTagEvent) return 1;
  gEventWaits.fetch_add(1, std::memory_order_relaxed);
  if (ms == 0) {
    pthread_mutex_lock(&e->lock);
    jint result = 2;
    if (e->count) {
      e->count--;
      result = 0;
    }
    pthread_mutex_unlock(&e->lock);
    return result;
  }

  /* Beyond a century the limit is no limit in practice; clamping keeps the arithmetic
     below in range. */
  const jlong kCentury = 100LL * 365 * 24 * 3600 * 1000;
  int64_t deadline = 0;
  if (ms > 0) deadline = MonotonicNanos() + (ms > kCentury ? kCentury : ms) * 1000000LL;

  ThreadRecord* t = Self();
  pthread_mutex_lock(&t->lock);
  t->waitingOn = e;
  pthread_mutex_unlock(&t->lock);

  jint result;
  pthread_mutex_lock(&e->lock);
  uint32_t arrived = e->generation;
  e->waiters++;
  for (;;) {
    if (e->count) {
      e->count--;
      result = 0;
      break;
    }
    if (e->reserved && e->generation != arrived) {
      e->reserved--;
      result = 0;
      break;
    }
    if (t->stopWake.load() && t->stopWake.exchange(0)) {
      result = 2;
      break;
    }
    int rc;
    if (ms < 0) {
      rc = pthread_cond_wait(&e->cond, &e->lock);
    } else {
      int64_t now = MonotonicNanos();
      if (now >= deadline) {
        result = 2;
        break;
      }
      /* Sleep in steps of at most a day so the absolute time fits a 32-bit time_t. */
      const int64_t kDay = 86400LL * 1000000000LL;
      int64_t until = deadline - now > kDay ? now + kDay : deadline;
      struct timespec ts;
      ts.tv_sec = (time_t)(until / 1000000000LL);
      ts.tv_nsec = (long)(until % 1000000000LL);
      rc = pthread_cond_timedwait(&e->cond, &e->lock, &ts);
    }
    if (rc != 0 && rc != ETIMEDOUT && rc != EINTR) {
      result = 1;
      break;
    }
  }
  e->waiters--;
  /* A thread that leaves without its post (time-out, stop, failure) leaves it pending. */
  while (e->reserved > e->waiters) {
    e->reserved--;
    e->count++;
  }
  pthread_mutex_unlock(&e->lock);

  pthread_mutex_lock(&t->lock);
  t->waitingOn = nullptr;
  pthread_mutex_unlock(&t->lock);
  return result;
}

void HOSTCALL EventSemaphoreDestroy(void* ev) {
  Event* e = (Event*)ev;
  if (e && e->tag == kTagEvent) DestroyEvent(e);
}

/* ---- mutexes ---- */

void* HOSTCALL GetGlobalMutex(void) { return &gGlobalMutex; }

void* HOSTCALL MutexCreate(jboolean) {
  Mutex* m = (Mutex*)malloc(sizeof(Mutex));
  if (!m) return nullptr;
  m->tag = kTagMutex;
  InitMutex(&m->m, gErrorCheckingMutexes.load() ? PTHREAD_MUTEX_ERRORCHECK : PTHREAD_MUTEX_RECURSIVE);
  return m;
}

jboolean HOSTCALL MutexLock(void* mutex) {
  Mutex* m = (Mutex*)mutex;
  if (!m || m->tag != kTagMutex) return 0;
  if (pthread_mutex_lock(&m->m) != 0) return 0;
  if (m == &gGlobalMutex) gGlobalLocks.fetch_add(1, std::memory_order_relaxed);
  Self()->mutexHeld.Add(1);
  return 1;
}

jboolean HOSTCALL MutexUnlock(void* mutex) {
  Mutex* m = (Mutex*)mutex;
  if (!m || m->tag != kTagMutex) return 0;
  if (pthread_mutex_unlock(&m->m) != 0) return 0;
  if (m == &gGlobalMutex) gGlobalUnlocks.fetch_add(1, std::memory_order_relaxed);
  Self()->mutexHeld.Add((uint32_t)-1);
  return 1;
}

void HOSTCALL MutexDestroy(void* mutex) {
  Mutex* m = (Mutex*)mutex;
  if (m && m->tag == kTagMutex) DestroyMutex(m);
}

/* ---- spin locks: blocking locks, since a holder can be descheduled ---- */

void* HOSTCALL SpinLockCreate(jint mode, const char* tag) {
  SpinLock* s = (SpinLock*)malloc(sizeof(SpinLock));
  if (!s) return nullptr;
  s->tag = kTagSpin;
  // Spin locks sit on every literal and class look-up: a bare futex word, with owner
  // checks only when tests ask for them.
  s->state.store(0, std::memory_order_relaxed);
  s->owner.store(0, std::memory_order_relaxed);
  s->errorChecking = gErrorCheckingMutexes.load();
  s->mode = mode;
  s->createdBy = tag;
  gLiveSpinLocks.fetch_add(1);
  return s;
}

jboolean HOSTCALL SpinLockAcquire(void* lock, const char*) {
  SpinLock* s = (SpinLock*)lock;
  if (!s || s->tag != kTagSpin) return 0;
  if (s->errorChecking && s->owner.load(std::memory_order_relaxed) == ThisThread()) return 0;
  uint32_t expected = kSpinFree;
  if (OnlyThread() && s->state.load(std::memory_order_relaxed) == kSpinFree)
    s->state.store(kSpinHeld, std::memory_order_relaxed);
  else if (!s->state.compare_exchange_strong(expected, kSpinHeld, std::memory_order_acquire,
                                             std::memory_order_relaxed))
    SpinLockSlow(s);
  if (s->errorChecking) s->owner.store(ThisThread(), std::memory_order_relaxed);
  return 1;
}

jboolean HOSTCALL SpinLockRelease(void* lock, const char*) {
  SpinLock* s = (SpinLock*)lock;
  if (!s || s->tag != kTagSpin) return 0;
  if (s->errorChecking) {
    if (s->owner.load(std::memory_order_relaxed) != ThisThread()) return 0;
    s->owner.store(0, std::memory_order_relaxed);
  }
  uint32_t seen = s->state.load(std::memory_order_relaxed);
  /* Releasing a free lock is refused; the word is left free as it was. */
  if (seen == kSpinFree) return 0;
  if (seen == kSpinHeld) {
    /* Without sleepers a plain store releases: no locked instruction on the look-up path.
       A thread that marks itself a sleeper between the load and this store finds the
       word free when it goes to sleep and does not sleep; only a releaser stalled right
       here for longer than that can leave it asleep, and its sleep is bounded. */
    s->state.store(kSpinFree, std::memory_order_release);
    return 1;
  }
  s->state.store(kSpinFree, std::memory_order_release);
  FutexWakeOne(&s->state);
  return 1;
}

jboolean HOSTCALL SpinLockPromote(void*, const char*) { return 1; }

void HOSTCALL CloseHandle(void* handle, const char* reason) {
  if (!handle) return;
  switch (*(uint32_t*)handle) {
    case kTagSpin: DestroySpin((SpinLock*)handle); return;
    case kTagMutex: DestroyMutex((Mutex*)handle); return;
    case kTagEvent: DestroyEvent((Event*)handle); return;
    default: {
      char text[200];
      snprintf(text, sizeof text, "refhost: CloseHandle of %p, which is no host handle (%s)\n", handle,
               reason ? reason : "no reason given");
      LogText(text);
    }
  }
}

void ResetSyncHooks() {
  gGlobalLocks.store(0);
  gGlobalUnlocks.store(0);
  gEventPosts.store(0);
  gEventWaits.store(0);
  gErrorCheckingMutexes.store(false);
}

}  // namespace detail

using namespace detail;

uint32_t GlobalMutexLockCount() { return gGlobalLocks.load(); }
uint32_t GlobalMutexUnlockCount() { return gGlobalUnlocks.load(); }
uint32_t MutexesHeldByThisThread() { return Self()->mutexHeld.Get(); }
uint32_t EventPostCount() { return gEventPosts.load(); }
int32_t LiveSpinLocks() { return gLiveSpinLocks.load(); }
int32_t LiveEventSemaphores() { return gLiveEvents.load(); }
uint32_t EventWaitCount() { return gEventWaits.load(); }
uint32_t EventWaiters(void* ev) {
  Event* e = (Event*)ev;
  if (!e || e->tag != kTagEvent) return 0;
  pthread_mutex_lock(&e->lock);
  uint32_t n = e->waiters;
  pthread_mutex_unlock(&e->lock);
  return n;
}
void SetErrorCheckingMutexes(bool on) { gErrorCheckingMutexes.store(on); }

}  // namespace refhost
