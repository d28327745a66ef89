/* Thread identity, stop and suspension, sleeping, starting threads and the env words.

   Records are made lazily for any thread that calls the host and are never freed, but a
   record whose thread has ended serves the next new thread: a process that starts and
   ends threads for ever keeps as many records as it had threads at once. The machine keeps
   a thread's handle and may use it after the thread has ended, so a late StopThread or
   ResumeThread must stay harmless: the handle names the record's slot and generation, and
   one of an earlier generation reaches nothing. */
#include "refhost_internal.h"

#include <errno.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

namespace refhost {
namespace detail {

__thread ThreadRecord* tlsRecord REFHOST_TLS = nullptr;

namespace {

thread_local JNIEnv* tlsEnv REFHOST_TLS = nullptr;

std::atomic<uint32_t> gNextThreadId{1};
pthread_mutex_t gRegistryLock = PTHREAD_MUTEX_INITIALIZER;
ThreadRecord* gRecords = nullptr;
pthread_key_t gExitKey;
pthread_once_t gExitKeyOnce = PTHREAD_ONCE_INIT;

std::atomic<bool> gStartRefuses{false};
std::atomic<uint32_t> gSleepCalls{0};
std::atomic<int64_t> gSleptMillis{0};

/* Records by slot (slot 0 is never used, so no handle is null); a slot's record stays
   for the life of the process. */
const uint32_t kSlots = 1u << 16;
ThreadRecord* gSlots[kSlots];
uint32_t gSlotCount = 1;          /* guarded by gRegistryLock */
ThreadRecord* gFree = nullptr;    /* records whose threads have ended; gRegistryLock */

/* A thread that ends gives its cached process memory back to the shared pool; frees from
   destructors that run after this one go straight to the pool. Its record is given up on
   the destructors' next pass, when nothing of the thread uses it any more. */
void ThreadEnded(void* arg) {
  ThreadRecord* r = (ThreadRecord*)arg;
  if (!r->exited) {
    pthread_mutex_lock(&r->lock);
    r->exited = true;
    pthread_mutex_unlock(&r->lock);
    NetThreadEnded(r);
    FlushThreadCache(r);
    pthread_setspecific(gExitKey, r);
    return;
  }
  FlushThreadCache(r);
  // A destructor that runs still later makes itself a record of its own.
  tlsRecord = nullptr;
  pthread_mutex_lock(&r->lock);
  r->generation = (r->generation + 1) & 0xFFFFu;
  pthread_mutex_unlock(&r->lock);
  pthread_mutex_lock(&gRegistryLock);
  r->nextFree = gFree;
  gFree = r;
  pthread_mutex_unlock(&gRegistryLock);
}

void MakeExitKey() { pthread_key_create(&gExitKey, ThreadEnded); }

struct StartPacket {
  JNIHostThreadFn routine;
  void* ctx;
};

void* Trampoline(void* arg) {
  StartPacket packet = *(StartPacket*)arg;
  free(arg);
  Self();
  packet.routine(packet.ctx);
  return nullptr;
}

}  // namespace

/* A record of an ended thread made new for the calling one; its counters go on. */
void Renew(ThreadRecord* r) {
  pthread_mutex_lock(&r->lock);
  r->stop.store(0);
  r->stopWake.store(0);
  r->waitingOn = nullptr;
  r->permit = false;
  r->exited = false;
  r->attachedVM = nullptr;
  r->attachedEnv = nullptr;
  r->netWakeFd = -1;
  r->netStop.store(0);
  pthread_mutex_unlock(&r->lock);
}

ThreadRecord* MakeRecord() {
  pthread_once(&gExitKeyOnce, MakeExitKey);
  pthread_mutex_lock(&gRegistryLock);
  ThreadRecord* r = gFree;
  if (r != nullptr) gFree = r->nextFree;
  pthread_mutex_unlock(&gRegistryLock);
  if (r != nullptr) {
    Renew(r);
  } else {
    r = new ThreadRecord();
    pthread_mutex_init(&r->lock, nullptr);
    pthread_condattr_t ca;
    pthread_condattr_init(&ca);
    pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
    pthread_cond_init(&r->permitCond, &ca);
    pthread_condattr_destroy(&ca);
    pthread_mutex_lock(&gRegistryLock);
    if (gSlotCount == kSlots) {
      pthread_mutex_unlock(&gRegistryLock);
      fprintf(stderr, "refhost: more than %u threads at once\n", kSlots - 1);
      abort();
    }
    r->slot = gSlotCount;
    gSlots[gSlotCount++] = r;
    r->nextRecord = gRecords;
    gRecords = r;
    pthread_mutex_unlock(&gRegistryLock);
  }
  r->id = gNextThreadId.fetch_add(1);
  r->hashState = r->id * 0x9E3779B9u ^ 0x5BD1E995u;
  if (!r->hashState) r->hashState = 1;
  tlsRecord = r;
  pthread_setspecific(gExitKey, r);
  return r;
}

namespace {

void* HandleOf(ThreadRecord* r) { return (void*)(uintptr_t)(r->generation << 16 | r->slot); }

/* The record a handle names, with its lock held, while the handle's generation is the
   record's; else nullptr. */
ThreadRecord* LockedRecordOf(void* handle) {
  uint32_t word = (uint32_t)(uintptr_t)handle;
  uint32_t slot = word & 0xFFFFu;
  if (slot == 0 || word >> 16 > 0xFFFFu) return nullptr;
  pthread_mutex_lock(&gRegistryLock);
  ThreadRecord* r = slot < gSlotCount ? gSlots[slot] : nullptr;
  pthread_mutex_unlock(&gRegistryLock);
  if (r == nullptr) return nullptr;
  pthread_mutex_lock(&r->lock);
  if (r->generation == word >> 16 && !r->exited) return r;
  pthread_mutex_unlock(&r->lock);
  return nullptr;
}

}  // namespace

void ForEachRecord(void (*fn)(ThreadRecord*, void*), void* ctx) {
  pthread_mutex_lock(&gRegistryLock);
  ThreadRecord* r = gRecords;
  pthread_mutex_unlock(&gRegistryLock);
  /* The registry only grows at its head, so the rest of the chain is stable. */
  for (; r; r = r->nextRecord) fn(r, ctx);
}

jboolean HOSTCALL StartThread(JNIHostThreadFn routine, void* ctx, jint) {
  if (!routine || gStartRefuses.load()) return 0;
  StartPacket* packet = (StartPacket*)malloc(sizeof(StartPacket));
  if (!packet) return 0;
  packet->routine = routine;
  packet->ctx = ctx;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, 4u << 20);
  pthread_t tid;
  int rc = pthread_create(&tid, &attr, Trampoline, packet);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    free(packet);
    return 0;
  }
  return 1;
}

void HOSTCALL StopThread(void* thread, jint) {
  ThreadRecord* r = LockedRecordOf(thread);
  if (!r) return;
  r->stop.store(1);
  r->stopWake.store(1);
  NetStopWakeLocked(r);
  /* The waiter publishes its event under r->lock before it tests stopWake under the
     event's lock, so either it sees the flag or it is asleep when this broadcast comes. */
  Event* e = r->waitingOn;
  if (e) {
    pthread_mutex_lock(&e->lock);
    pthread_cond_broadcast(&e->cond);
    pthread_mutex_unlock(&e->lock);
  }
  pthread_mutex_unlock(&r->lock);
}

void* HOSTCALL CurrentThreadId(void) { return (void*)(uintptr_t)Self()->id; }

void* HOSTCALL CurrentThreadHandle(void) { return HandleOf(Self()); }

jint HOSTCALL YieldCheck(void) {
  ThreadRecord* r = tlsRecord;
  return r ? r->stop.load(std::memory_order_relaxed) : 0;
}

void HOSTCALL Sleep(jlong ms) {
  gSleepCalls.fetch_add(1);
  if (ms <= 0) {
    sched_yield();
    return;
  }
  gSleptMillis.fetch_add(ms);
  const jlong kMaxStep = 1000000000LL;  /* keeps tv_sec inside a 32-bit time_t */
  while (ms > 0) {
    jlong step = ms > kMaxStep ? kMaxStep : ms;
    ms -= step;
    struct timespec req, rem;
    req.tv_sec = (time_t)(step / 1000);
    req.tv_nsec = (long)(step % 1000) * 1000000L;
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
  }
}

void HOSTCALL SuspendThread(void* thread) {
  ThreadRecord* r = LockedRecordOf(thread);
  if (!r) return;
  while (!r->permit) pthread_cond_wait(&r->permitCond, &r->lock);
  r->permit = false;
  pthread_mutex_unlock(&r->lock);
}

void HOSTCALL ResumeThread(void* thread) {
  ThreadRecord* r = LockedRecordOf(thread);
  if (!r) return;
  r->permit = true;
  pthread_cond_broadcast(&r->permitCond);
  pthread_mutex_unlock(&r->lock);
}

void HOSTCALL AttachThreadEnv(JavaVM* vm, JNIEnv* env) {
  ThreadRecord* r = Self();
  r->attachedVM = vm;
  r->attachedEnv = env;
  if (!vm && !env) {
    /* The binding has ended: a later attach starts with a thread that is not stopped. */
    r->stop.store(0);
    r->stopWake.store(0);
    NetClearStop(r);
  }
}

void HOSTCALL SetCurrentEnv(JNIEnv* env) { tlsEnv = env; }

JNIEnv* HOSTCALL GetCurrentEnv(void) { return tlsEnv; }

void ResetThreadHooks() {
  gStartRefuses.store(false);
  gSleepCalls.store(0);
  gSleptMillis.store(0);
}

}  // namespace detail

using namespace detail;

void SetStopFlag(bool on) {
  ThreadRecord* r = Self();
  r->stop.store(on ? 1 : 0);
  if (!on) {
    r->stopWake.store(0);
    NetClearStop(r);
  }
}

void SetStartThreadRefuses(bool on) { gStartRefuses.store(on); }

uint32_t ThreadRecordCount() {
  pthread_mutex_lock(&gRegistryLock);
  uint32_t n = gSlotCount - 1;
  pthread_mutex_unlock(&gRegistryLock);
  return n;
}

uint32_t SleepCallCount() { return gSleepCalls.load(); }
int64_t SleptMillis() { return gSleptMillis.load(); }

JavaVM* AttachedVM() { return Self()->attachedVM; }
JNIEnv* AttachedEnv() { return Self()->attachedEnv; }

}  // namespace refhost
