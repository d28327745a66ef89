/* Process cells, the global mutex, mutexes, counting events and spin locks. */
#include "refhost_internal.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

namespace refhost {
namespace detail {

namespace {

struct Mutex {
  uint32_t tag;
  pthread_mutex_t m;
};

struct SpinLock {
  uint32_t tag;
  pthread_mutex_t m;
  jint mode;
  const char* createdBy;  /* static text of the creating call site, for diagnostics */
};

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
  s->tag = kTagDead;
  pthread_mutex_destroy(&s->m);
  free(s);
}

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
  // Spin locks sit on every literal and class look-up; the error-checking kind costs
  // twice as much, so tests ask for it explicitly.
  InitMutex(&s->m, gErrorCheckingMutexes.load() ? PTHREAD_MUTEX_ERRORCHECK : PTHREAD_MUTEX_NORMAL);
  s->mode = mode;
  s->createdBy = tag;
  return s;
}

jboolean HOSTCALL SpinLockAcquire(void* lock, const char*) {
  SpinLock* s = (SpinLock*)lock;
  if (!s || s->tag != kTagSpin) return 0;
  return pthread_mutex_lock(&s->m) == 0 ? 1 : 0;
}

jboolean HOSTCALL SpinLockRelease(void* lock, const char*) {
  SpinLock* s = (SpinLock*)lock;
  if (!s || s->tag != kTagSpin) return 0;
  return pthread_mutex_unlock(&s->m) == 0 ? 1 : 0;
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
uint32_t EventWaitCount() { return gEventWaits.load(); }
void SetErrorCheckingMutexes(bool on) { gErrorCheckingMutexes.store(on); }

}  // namespace refhost
