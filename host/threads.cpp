/* Thread identity, stop and suspension, sleeping, starting threads and the env words.

   Records are made lazily for any thread that calls the host and are never freed: the
   machine keeps a record's address as the thread's handle and may use it after the
   thread has ended, so a late StopThread or ResumeThread must stay harmless. */
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

/* A thread that ends gives its cached process memory back to the shared pool; later
   frees from destructors that run after this one go straight to the pool. */
void ThreadEnded(void* arg) {
  ThreadRecord* r = (ThreadRecord*)arg;
  pthread_mutex_lock(&r->lock);
  r->exited = true;
  pthread_mutex_unlock(&r->lock);
  NetThreadEnded(r);
  FlushThreadCache(r);
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

ThreadRecord* MakeRecord() {
  pthread_once(&gExitKeyOnce, MakeExitKey);
  ThreadRecord* r = new ThreadRecord();
  r->id = gNextThreadId.fetch_add(1);
  r->hashState = r->id * 0x9E3779B9u ^ 0x5BD1E995u;
  if (!r->hashState) r->hashState = 1;
  pthread_mutex_init(&r->lock, nullptr);
  pthread_condattr_t ca;
  pthread_condattr_init(&ca);
  pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
  pthread_cond_init(&r->permitCond, &ca);
  pthread_condattr_destroy(&ca);
  pthread_mutex_lock(&gRegistryLock);
  r->nextRecord = gRecords;
  gRecords = r;
  pthread_mutex_unlock(&gRegistryLock);
  tlsRecord = r;
  pthread_setspecific(gExitKey, r);
  return r;
}

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
  ThreadRecord* r = (ThreadRecord*)thread;
  if (!r) return;
  r->stop.store(1);
  r->stopWake.store(1);
  NetStopWake(r);
  /* The waiter publishes its event under r->lock before it tests stopWake under the
     event's lock, so either it sees the flag or it is asleep when this broadcast comes. */
  pthread_mutex_lock(&r->lock);
  Event* e = r->waitingOn;
  if (e) {
    pthread_mutex_lock(&e->lock);
    pthread_cond_broadcast(&e->cond);
    pthread_mutex_unlock(&e->lock);
  }
  pthread_mutex_unlock(&r->lock);
}

void* HOSTCALL CurrentThreadId(void) { return (void*)(uintptr_t)Self()->id; }

void* HOSTCALL CurrentThreadHandle(void) { return Self(); }

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
  ThreadRecord* r = (ThreadRecord*)thread;
  if (!r) return;
  pthread_mutex_lock(&r->lock);
  while (!r->permit) pthread_cond_wait(&r->permitCond, &r->lock);
  r->permit = false;
  pthread_mutex_unlock(&r->lock);
}

void HOSTCALL ResumeThread(void* thread) {
  ThreadRecord* r = (ThreadRecord*)thread;
  if (!r) return;
  pthread_mutex_lock(&r->lock);
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

uint32_t SleepCallCount() { return gSleepCalls.load(); }
int64_t SleptMillis() { return gSleptMillis.load(); }

JavaVM* AttachedVM() { return Self()->attachedVM; }
JNIEnv* AttachedEnv() { return Self()->attachedEnv; }

}  // namespace refhost
