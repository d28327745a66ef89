/* Shared between the reference host's sources; nothing outside host/ includes it. */
#ifndef PUX_REFHOST_INTERNAL_H
#define PUX_REFHOST_INTERNAL_H

#include "refhost.h"

#include <atomic>
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <sys/single_threaded.h>

#define REFHOST_TLS __attribute__((tls_model("initial-exec")))

namespace refhost {
namespace detail {

/* ---- process-memory size classes (heap.cpp) ---- */

enum { kClassCount = 84, kLargeClass = 0xFF, kLargestPooled = 16384 };

struct BlockPrefix;

/* A thread's private cache of free process-memory blocks of one size class. */
struct ClassCache {
  BlockPrefix* head;
  uint32_t count;
};

/* Counters written only by their own thread (plain load + store, no locked
   instruction) and summed by readers. Differences are taken modulo 2^32, which
   is exact for anything a 32-bit process can hold at once. */
struct OwnCounter {
  std::atomic<uint32_t> v{0};
  void Add(uint32_t n) { v.store(v.load(std::memory_order_relaxed) + n, std::memory_order_relaxed); }
  uint32_t Get() const { return v.load(std::memory_order_relaxed); }
};

struct Event;

/* One per host thread that called the host, created lazily and never freed; the record
   of an ended thread serves the next new one. */
struct ThreadRecord {
  uint32_t id;
  std::atomic<int> stop{0};        /* sticky; what YieldCheck answers */
  std::atomic<int> stopWake{0};    /* one wake of a blocking EventWait is owed */

  pthread_mutex_t lock;            /* guards waitingOn and permit */
  pthread_cond_t permitCond;
  Event* waitingOn = nullptr;      /* the event a blocking EventWait sleeps on */
  bool permit = false;             /* resume permit: binary */
  bool exited = false;             /* the host thread has ended */

  JavaVM* attachedVM = nullptr;
  JNIEnv* attachedEnv = nullptr;

  /* network waits (net.cpp): an eventfd made on the thread's first socket wait, in every
     poll the thread makes on a socket; StopThread and a close of the socket it waits on
     write to it. netStop is the one wake owed per stop. Both guarded by lock. */
  int netWakeFd = -1;
  std::atomic<int> netStop{0};

  /* process memory */
  ClassCache cache[kClassCount];
  uint32_t cachedBytes = 0;        /* held by the caches, prefixes included; own thread only */
  uint32_t hashState;
  OwnCounter mutexHeld;
  OwnCounter allocCalls, procBlocksAlloc, procBlocksFreed, procBytesAlloc, procBytesFreed;

  /* heap walks (heap.cpp): the heap of the thread's innermost walk, and the small blocks
     the thread freed on it meanwhile, free already but not yet counted or handed to the
     heap: a sweep frees without taking the heap's lock per block. They are chained, and
     the heap merges each with the free blocks beside it under one hold of its lock, in
     the order freed: a sweep's, the order of their places. */
  HHeap* walking = nullptr;
  HHeap* batchHeap = nullptr;
  BlockPrefix* batchFirst = nullptr;
  BlockPrefix* batchLast = nullptr;
  uint32_t batchCount = 0;
  uint32_t batchBytes = 0;    /* requested bytes of the chained blocks */
  uint32_t batchCharged = 0;  /* their cost to the capacity, prefixes included */

  ThreadRecord* nextRecord = nullptr; /* registry, for summing counters */

  /* Reuse (threads.cpp): a record whose thread has ended serves the next new thread, under
     a new handle, so that memory follows the threads alive at once; the handle of an
     ended thread finds nothing. */
  uint32_t handle = 0;             /* changed under lock and the registry's lock */
  ThreadRecord* nextFree = nullptr;
};

/* True while the process has a single thread. No other thread can then hold or take a
   lock, and a new one can only be started by this thread (which makes the flag false
   first), so a free lock may be taken with a plain store: a locked instruction costs
   tens of cycles, and the heap and spin locks are taken on every block and look-up. */
inline bool OnlyThread() { return __libc_single_threaded != 0; }

/* The calling thread's record, made on first use. A plain thread variable (no C++
   initialisation wrapper): it is read on every host call. */
extern __thread ThreadRecord* tlsRecord REFHOST_TLS;
ThreadRecord* MakeRecord();
inline ThreadRecord* Self() {
  ThreadRecord* r = tlsRecord;
  return r ? r : MakeRecord();
}
/* Calls fn for every record ever made. */
void ForEachRecord(void (*fn)(ThreadRecord*, void*), void* ctx);
/* Returns the thread's cached process-memory blocks to the shared pool. */
void FlushThreadCache(ThreadRecord* r);

/* An identity hash: never 0, never derived from an address (xorshift per thread,
   seeded from the thread id). */
inline uint32_t NextHash(ThreadRecord* r) {
  uint32_t x = r->hashState;
  do {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
  } while ((x & 0x7FFFFFFF) == 0);
  r->hashState = x;
  return x & 0x7FFFFFFF;
}

/* ---- host handles: every kind starts with a tag word so CloseHandle can tell them apart ---- */

enum HandleTag : uint32_t {
  kTagMutex = 0x4D55544Bu,   /* "KTUM" */
  kTagEvent = 0x45564E54u,
  kTagSpin = 0x5350494Eu,
  kTagDead = 0xDEADC105u,
};

/* A counting event. A post made while threads are blocked on it belongs to them: it is
   reserved for a thread that was blocked at the time (any of them), never taken by one
   that arrives later; a post made while none is blocked stays pending for whoever waits
   next. */
struct Event {
  uint32_t tag;
  pthread_mutex_t lock;
  pthread_cond_t cond;
  uint32_t count;       /* pending posts, for any waiter */
  uint32_t waiters;     /* threads blocked in EventWait */
  uint32_t reserved;    /* posts reserved for the blocked threads */
  uint32_t generation;  /* raised by every reserving post */
};

/* The machine's class-stream contract, shared by every stream variant. */
class Stream {
 public:
  virtual ~Stream() {}
  virtual jint Read(void* buf, jint count) = 0;
  jint Size() const { return size_; }
  jint Position() const { return pos_; }
  /* Positions strictly before the end are valid; anything else leaves the position. */
  jint Seek(jint position) {
    if (position < 0 || position >= size_) return -1;
    if (!MoveTo(position)) return -1;
    pos_ = position;
    return position;
  }
  jint Skip(jint count) {
    int64_t target = (int64_t)pos_ + count;
    if (target < 0 || target >= size_) return -1;
    return Seek((jint)target);
  }
  /* Used by the zip seek callback: the end itself is a valid place to stand. */
  bool SetPosition(uint32_t position) {
    if (position > (uint32_t)size_) return false;
    if (!MoveTo((jint)position)) return false;
    pos_ = (jint)position;
    return true;
  }

 protected:
  /* Called with a valid position; variants that cannot move back re-create state. */
  virtual bool MoveTo(jint position) = 0;
  jint size_ = 0;
  jint pos_ = 0;
};

/* Log output shared by LogMessage, leak reports and diagnostics. */
void LogBytes(const char* bytes, size_t length);
void LogText(const char* text);

/* Reset functions each source file offers to ResetHooks. */
void ResetHeapHooks();
void ResetThreadHooks();
void ResetSyncHooks();
void ResetStreamHooks();
void ResetMiscHooks();
void ResetSerialHooks();
void ResetFileHooks();
void ResetPathHooks();
void ResetNetHooks();
void ResetNameHooks();

/* ---- network (net.cpp, net_names.cpp) ---- */

/* Socket handles: a range of their own, far above the file table's numbers, so that a
   socket handle given to a file service (or the reverse) finds nothing. Never reused. */
enum : jint { kFirstSocketHandle = 0x40000000, kLastSocketHandle = 0x7FFFFFFE };

/* Puts the network services into a service table. */
void InstallNetworkSlots(JNIHostFunctions* table);
/* StopThread's part: owes the thread one wake of its network waits. */
/* The same with r->lock held. */
void NetStopWakeLocked(ThreadRecord* r);
void NetStopWake(ThreadRecord* r);
/* A thread's end, and the end of its binding to a machine: the wake is dropped. */
void NetThreadEnded(ThreadRecord* r);
void NetClearStop(ThreadRecord* r);
/* The calling thread's failure text (SocketErrorText): set from errno or a literal. */
void NetSetErrno(int error);
void NetSetText(const char* text);
/* Counts a call of network slot 60-96. */
void NetCount(int slot);
/* Whether the network hook allows new sockets and look-ups. */
bool NetAccessAllowed();
/* The eventfd of the calling thread's network waits (made on first use); -1 when none
   can be made. */
int NetWakeFd(ThreadRecord* r);
/* Consumes a pending wake of the calling thread: true when it was a host stop. */
bool NetTakeWake(ThreadRecord* r);

/* Slot implementations, gathered into the table by table.cpp. */
HHeap* HOSTCALL HeapCreate(void* owner, jint kind);
void HOSTCALL HeapDestroy(HHeap* heap);
void HOSTCALL HeapWalk(HHeap* heap, JNIHostHeapWalkFn cb, void* ctx);
uint32_t HOSTCALL GetMaxAllocSize(void);
uint64_t HOSTCALL HeapBytesInUse(HHeap* heap);
uint64_t HOSTCALL HeapTotalBytes(HHeap* heap);
void* HOSTCALL HeapAlloc(HHeap* heap, uint32_t size, jint allocType);
void HOSTCALL HeapFree(HHeap* heap, void* block);
jint HOSTCALL ObjectHashCode(HHeap* heap, void* object);
void HOSTCALL HeapCollected(HHeap* heap);
jint HOSTCALL IsSharedHeap(HHeap* heap);

void HOSTCALL AllocGlobalCells(jint count);
void HOSTCALL FreeGlobalCells(void);
uint32_t* HOSTCALL GetGlobalCell(jint index);
void* HOSTCALL EventSemaphoreCreate(jboolean ownerOnSharedHeap);
void HOSTCALL EventPost(void* ev);
jint HOSTCALL EventWait(void* ev, jlong ms);
void HOSTCALL EventSemaphoreDestroy(void* ev);
void* HOSTCALL GetGlobalMutex(void);
void* HOSTCALL MutexCreate(jboolean ownerOnSharedHeap);
jboolean HOSTCALL MutexLock(void* m);
jboolean HOSTCALL MutexUnlock(void* m);
void HOSTCALL MutexDestroy(void* m);
void* HOSTCALL SpinLockCreate(jint mode, const char* tag);
jboolean HOSTCALL SpinLockAcquire(void* lock, const char* tag);
jboolean HOSTCALL SpinLockRelease(void* lock, const char* tag);
void HOSTCALL CloseHandle(void* handle, const char* reason);
jboolean HOSTCALL SpinLockPromote(void* lock, const char* tag);

jboolean HOSTCALL StartThread(JNIHostThreadFn routine, void* ctx, jint flag);
void HOSTCALL StopThread(void* thread, jint flag);
void* HOSTCALL CurrentThreadId(void);
void* HOSTCALL CurrentThreadHandle(void);
jint HOSTCALL YieldCheck(void);
void HOSTCALL Sleep(jlong ms);
void HOSTCALL SuspendThread(void* thread);
void HOSTCALL ResumeThread(void* thread);
void HOSTCALL AttachThreadEnv(JavaVM* vm, JNIEnv* env);
void HOSTCALL SetCurrentEnv(JNIEnv* env);
JNIEnv* HOSTCALL GetCurrentEnv(void);

jlong HOSTCALL CurrentTimeMillis(void);
const char* HOSTCALL GetJavaHome(void);
const char* HOSTCALL GetFileEncodingPkg(void);
const char* HOSTCALL GetUserTimezone(void);
void HOSTCALL ConsoleWrite(jboolean toStderr, jint length, const char* bytes);
void HOSTCALL LogMessage(jint length, const char* text);
void HOSTCALL FatalExit(jint code, const char* text);
void HOSTCALL TestHook(void);
JNIHostModuleEntryFn HOSTCALL LoadCodeModule(const char* name);
void* HOSTCALL OpenCodeResource(const char* name);
void* HOSTCALL FindCodeSymbol(void* module, const char* symbol, jint argWords);
JNIHostJitSupport* HOSTCALL GetJitSupport(void);
jint HOSTCALL IsValidAddress(jlong value);
jint HOSTCALL QueryDiagnosticFlag(jint a, jint b);
void HOSTCALL ReportError(jint code, const char* text);

jboolean HOSTCALL IsSystemClassName(const char* name);
void* HOSTCALL OpenClassStream(const char* name, JNIHostFindInZipFileFn finder, void* loaderId);
jint HOSTCALL StreamRead(void* s, void* buf, jint count);
jint HOSTCALL StreamSkip(void* s, jint count);
jint HOSTCALL StreamSeek(void* s, jint position);
jint HOSTCALL StreamSize(void* s);
void HOSTCALL StreamClose(void* s);
/* A resource (any file, by its path name) on a loader id's class path, as a stream. */
void* OpenResource(const char* name, void* loaderId);
jobject HOSTCALL GetSystemResourceStream(JNIEnv* env, const char* name, jint zero);

/* ---- the file-system table (files.cpp, files_paths.cpp) ---- */

/* Handles 0-2 are the standard streams; files get 3 and up, never a number twice. */
enum : jint { kFirstFileHandle = 3, kLastHandle = 0x7FFFFFFE };

/* A machine path (modified UTF-8, '\' or '/' between names) as the OS name to use, below
   the file root when one is set; false for a name no file can have. */
bool MapPath(const char* path, std::string* os);
/* Modified UTF-8 to UTF-8 and back; false for text that has no counterpart. */
bool ModifiedToUtf8(const char* text, std::string* out);
bool Utf8ToModified(const char* text, std::string* out);

JNIHostFileSystem* HOSTCALL GetFileSystem(void);
jint HOSTCALL CheckPath(const char* path);
jint HOSTCALL Canonicalize(const char* path, char* buf, jint size);
jboolean HOSTCALL Exists(const char* path);
jboolean HOSTCALL CanWrite(const char* path);
jboolean HOSTCALL CanRead(const char* path);
jboolean HOSTCALL IsFile(const char* path);
jboolean HOSTCALL IsDirectory(const char* path);
jboolean HOSTCALL IsHidden(const char* path);
jlong HOSTCALL LastModified(const char* path);
jboolean HOSTCALL SetLastModified(const char* path, jlong seconds);
jboolean HOSTCALL SetReadOnly(const char* path);
jint HOSTCALL PathLength(const char* path);
jlong HOSTCALL PathLength64(const char* path);
jboolean HOSTCALL MakeDirectory(const char* path);
jboolean HOSTCALL RemoveDirectory(const char* path);
jboolean HOSTCALL Rename(const char* from, const char* to);
jboolean HOSTCALL DeleteFile(const char* path);
jlong HOSTCALL ListOpen(const char* path);
const char* HOSTCALL ListNext(jlong listing);
jint HOSTCALL ListClose(jlong listing);
jboolean HOSTCALL IsAbsolute(const char* path);

}  // namespace detail
}  // namespace refhost

#endif
