/* Thread identity, stop and suspension, sleeping, starting threads and the env words.

   Records are made lazily for any thread that calls the host and are never freed, but a
   record whose thread has ended serves the next new thread: a process that starts and
   ends threads for ever keeps as many records as it had threads at once. The machine keeps
   a thread's handle and may use it after the thread has ended (for the machine's life,
   while a debugger is attached), so a late StopThread or ResumeThread must stay harmless:
   handles are taken in turn from the whole 32-bit range, whatever record serves the
   thread, and one whose thread has ended reaches nothing. A handle comes round again only
   once the whole range has been gone through since (some 4 billion threads later), and
   never while its thread lives. */
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

/* At most this many threads at once. */
const uint32_t kMaxRecords = (1u << 16) - 1;
uint32_t gRecordCount = 0;        /* guarded by gRegistryLock */
ThreadRecord* gFree = nullptr;    /* records whose threads have ended; gRegistryLock */

/* The records of the living threads by handle: open addressing, linear probing, twice as
   many cells as records at most. Sequential handles fill neighbouring cells. All of it
   under gRegistryLock, as are the records' handle words. */
const uint32_t kCells = 1u << 17;
ThreadRecord* gLive[kCells];
uint32_t gNextHandle = 1;         /* the next handle to hand out; 0 is never one */

uint32_t CellOf(uint32_t handle) { return handle & (kCells - 1); }

ThreadRecord* LiveRecord(uint32_t handle) {
  for (uint32_t c = CellOf(handle);; c = (c + 1) & (kCells - 1)) {
    ThreadRecord* r = gLive[c];
    if (r == nullptr || r->handle == handle) return r;
  }
}

/* Gives r the next handle that is neither null nor a living thread's, and lists it. */
void ListLive(ThreadRecord* r) {
  uint32_t h = gNextHandle;
  while (h == 0 || LiveRecord(h) != nullptr) h++;
  gNextHandle = h + 1;
  r->handle = h;
  uint32_t c = CellOf(h);
  while (gLive[c] != nullptr) c = (c + 1) & (kCells - 1);
  gLive[c] = r;
}

/* Takes r off the list; the records behind it in its run move up into the hole, so that
   no probe stops short of one. */
void UnlistLive(ThreadRecord* r) {
  uint32_t hole = CellOf(r->handle);
  while (gLive[hole] != r) hole = (hole + 1) & (kCells - 1);
  gLive[hole] = nullptr;
  for (uint32_t c = (hole + 1) & (kCells - 1); gLive[c] != nullptr; c = (c + 1) & (kCells - 1)) {
    uint32_t home = CellOf(gLive[c]->handle);
    // Moves unless its home lies cyclically in (hole, c].
    if (((c - home) & (kCells - 1)) >= ((c - hole) & (kCells - 1))) {
      gLive[hole] = gLive[c];
      gLive[c] = nullptr;
      hole = c;
    }
  }
}

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
  pthread_mutex_lock(&gRegistryLock);
  UnlistLive(r);
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
  if (r != nullptr) {
    gFree = r->nextFree;
    /* Under the record's lock too: a late stop that found the record by its old handle
       sees it ended or sees the new handle, never the new thread under the old one. */
    pthread_mutex_lock(&r->lock);
    ListLive(r);
    pthread_mutex_unlock(&r->lock);
  }
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
    if (gRecordCount == kMaxRecords) {
      pthread_mutex_unlock(&gRegistryLock);
      fprintf(stderr, "refhost: more than %u threads at once\n", kMaxRecords);
      abort();
    }
    gRecordCount++;
    ListLive(r);
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

/* The record of a living thread by its handle, with its lock held; else nullptr. */
ThreadRecord* LockedRecordOf(void* handle) {
  uint32_t word = (uint32_t)(uintptr_t)handle;
  if (word == 0) return nullptr;
  pthread_mutex_lock(&gRegistryLock);
  ThreadRecord* r = LiveRecord(word);
  pthread_mutex_unlock(&gRegistryLock);
  if (r == nullptr) return nullptr;
  pthread_mutex_lock(&r->lock);
  // The record may have served a new thread since it was found.
  if (r->handle == word && !r->exited) return r;
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

void* HOSTCALL CurrentThreadHandle(void) { return (void*)(uintptr_t)Self()->handle; }

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
  uint32_t n = gRecordCount;
  pthread_mutex_unlock(&gRegistryLock);
  return n;
}

void PassThreadHandles(uint32_t n) {
  pthread_mutex_lock(&gRegistryLock);
  gNextHandle += n;
  pthread_mutex_unlock(&gRegistryLock);
}

uint32_t SleepCallCount() { return gSleepCalls.load(); }
int64_t SleptMillis() { return gSleptMillis.load(); }

JavaVM* AttachedVM() { return Self()->attachedVM; }
JNIEnv* AttachedEnv() { return Self()->attachedEnv; }

}  // namespace refhost
