/* Heaps and process memory.

   Every block carries a hidden 24-byte prefix. Small blocks come from size-class free
   lists: per heap under the heap's lock, and for process memory from a per-thread cache
   refilled in batches from a shared pool, because process memory sits on every native
   call's path. Big blocks go straight to malloc. Under AddressSanitizer every block is
   its own malloc, so the sanitizer sees overruns and stale uses.

   A heap's small blocks are carved from chunks of one size class each, so a walk steps
   through each chunk in address order at a fixed stride: the collector's walks read
   memory in a row instead of chasing one scattered link per block, and neither an
   allocation nor a free touches a neighbour's prefix. A chunk whose blocks are all
   freed leaves its class for any other, so a heap whose sizes change over time stays
   within its capacity, which counts each block's slot and prefix. Only big blocks (and
   every block under the sanitizer) hang in a list of their own. */
#include "refhost_internal.h"

#include <algorithm>
#include <emmintrin.h>
#include <new>
#include <vector>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

using namespace refhost::detail;

namespace refhost {
namespace detail {

struct BlockPrefix {
  uint32_t size;     /* bytes the caller asked for */
  uint32_t hash;     /* identity hash, fixed for the block's life */
  uint32_t seq;      /* heap blocks: 0, or the heap's walk number when made during a walk */
  uint32_t flags;    /* magic, size class, alive and process-memory bits */
  BlockPrefix* prev; /* list of big heap blocks; free and deferred chains use next only */
  BlockPrefix* next;
};
static_assert(sizeof(BlockPrefix) == 24, "the prefix keeps blocks 8-byte aligned");

}  // namespace detail
}  // namespace refhost

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif

enum : uint32_t {
  kAlive = 1u,
  kProcess = 2u,
  kHeapTagShift = 2,     /* 6 bits naming the heap, to catch a block freed on another */
  kHeapTagMask = 0x3Fu,
  kClassShift = 8,
  kMagicLive = 0xB10C0000u,
  kMagicFree = 0xF4EE0000u,
  kMagicMask = 0xFFFF0000u,
};

const uint32_t kDefaultMaxAlloc = 16u << 20;
const uint64_t kDefaultCapacity = 256ull << 20;
/* The capacity new heaps of one kind start with: a launcher's heap limit. */
std::atomic<jint> gCapacityKind{-1};
std::atomic<uint64_t> gKindCapacity{kDefaultCapacity};
const uint32_t kHeapMagic = 0x48454150u;
const uint32_t kPoolChunk = 256u << 10;

inline BlockPrefix* PrefixOf(void* block) { return (BlockPrefix*)((char*)block - sizeof(BlockPrefix)); }
inline void* BlockOf(BlockPrefix* p) { return (char*)p + sizeof(BlockPrefix); }
inline uint32_t ClassOf(const BlockPrefix* p) { return (p->flags >> kClassShift) & 0xFF; }

/* 8-byte steps up to 512, then four steps per doubling up to 16 KiB. */
inline uint32_t SizeClass(uint32_t size) {
  if (size <= 512) return size ? ((size + 7) >> 3) - 1 : 0;
  uint32_t s = size - 1;
  uint32_t p = 31 - __builtin_clz(s);
  uint32_t base = 1u << p, step = base >> 2;
  return 64 + (p - 9) * 4 + (s - base) / step;
}
uint32_t gClassBytes[kClassCount];
/* How many free blocks of a class a thread keeps before giving half back: about
   128 KiB worth, between 8 and 256 blocks. */
uint32_t gCacheLimit[kClassCount];
struct ClassTableInit {
  ClassTableInit() {
    for (uint32_t i = 0; i < 64; i++) gClassBytes[i] = (i + 1) * 8;
    for (uint32_t i = 64; i < kClassCount; i++) {
      uint32_t p = 9 + (i - 64) / 4, k = (i - 64) % 4;
      gClassBytes[i] = (1u << p) + (k + 1) * ((1u << p) >> 2);
    }
    for (uint32_t i = 0; i < kClassCount; i++) {
      uint32_t n = (128u << 10) / (gClassBytes[i] + 24);
      gCacheLimit[i] = n < 8 ? 8 : (n > 256 ? 256 : n);
    }
  }
} gClassTableInit;

/* ---- settings and injected failures ---- */

std::atomic<uint32_t> gMaxAlloc{kDefaultMaxAlloc};
std::atomic<bool> gFill{true}, gPoison{true};
std::atomic<bool> gLeakReports{false};
std::atomic<uint32_t> gLeakReportCount{0};
std::atomic<uint32_t> gRefused{0};

struct Injection {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  uint32_t nth = 0, nthSeen = 0;
  uint32_t every = 0, everySeen = 0;
  uint32_t next = 0;
  uint32_t above = 0;
  bool budgetOn = false;
  uint64_t budget = 0, spent = 0;
  bool scoped = false;
  HHeap* scopeHeap = nullptr;
  jint scopeKind = -1;
} gInject;
std::atomic<bool> gInjectActive{false};

void UpdateInjectActive() {
  gInjectActive.store(gInject.nth || gInject.every || gInject.next || gInject.above || gInject.budgetOn,
                      std::memory_order_relaxed);
}

bool InjectedRefusal(HHeap* heap, uint32_t size, jint kind) {
  pthread_mutex_lock(&gInject.lock);
  bool refuse = false;
  bool inScope = (!gInject.scoped || gInject.scopeHeap == heap) &&
                 (gInject.scopeKind < 0 || gInject.scopeKind == kind);
  if (inScope) {
    if (gInject.nth && ++gInject.nthSeen == gInject.nth) {
      refuse = true;
      gInject.nth = 0;
    }
    if (gInject.every && ++gInject.everySeen % gInject.every == 0) refuse = true;
    if (gInject.next) {
      gInject.next--;
      refuse = true;
    }
    if (gInject.above && size > gInject.above) refuse = true;
    if (gInject.budgetOn && !refuse) {
      if (gInject.spent + size > gInject.budget) refuse = true;
      else gInject.spent += size;
    }
    UpdateInjectActive();
  }
  pthread_mutex_unlock(&gInject.lock);
  return refuse;
}

inline void* Refuse() {
  gRefused.fetch_add(1, std::memory_order_relaxed);
  return nullptr;
}

/* Pooled blocks own their whole size class, a multiple of 8 bytes, so the commoner
   sizes are patterned inline, 16 bytes a store and 8 for an odd tail: the library call,
   its lookup and its dispatch on size would cost as much as the rest of an allocation
   (a machine's body pieces, a little over 256 bytes each, are made and freed by the
   million). The empty asm keeps the compiler from turning the loop back into that call. */
const uint32_t kInlinePattern = 1024;
inline void Pattern(void* block, uint32_t size, uint32_t word, bool wholeClass) {
  if (!wholeClass || size > kInlinePattern) {
    memset(block, (int)(word & 0xFF), size);
    return;
  }
  char* p = (char*)block;
  char* end = p + ((size + 7) & ~7u);
  __m128i v = _mm_set1_epi32((int)word);
  for (; p + 16 <= end; p += 16) {
    asm("" : "+x"(v));
    _mm_storeu_si128((__m128i*)p, v);
  }
  if (p < end) _mm_storel_epi64((__m128i*)p, v);
}
inline void FillNew(void* block, uint32_t size, bool wholeClass) {
  if (gFill.load(std::memory_order_relaxed)) Pattern(block, size, 0xCDCDCDCDu, wholeClass);
}
inline void PoisonFreed(void* block, uint32_t size, bool wholeClass) {
  if (gPoison.load(std::memory_order_relaxed)) Pattern(block, size, 0xDDDDDDDDu, wholeClass);
}

[[noreturn]] void BadFree(const char* what, void* block) {
  char text[160];
  snprintf(text, sizeof text, "refhost: HeapFree of %p: %s\n", block, what);
  LogText(text);
  fputs(text, stderr);
  abort();
}

/* Checks that a block handed back is live and belongs to the kind of memory named. */
inline BlockPrefix* CheckedPrefix(void* block, bool process) {
  BlockPrefix* p = PrefixOf(block);
  uint32_t f = p->flags;
  if ((f & kMagicMask) != kMagicLive) BadFree("not a live host block (freed twice?)", block);
  if (!(f & kAlive)) BadFree("freed twice during a heap walk", block);
  if (((f & kProcess) != 0) != process)
    BadFree(process ? "a heap block freed as process memory" : "process memory freed on a heap", block);
  return p;
}

/* ---- chunk memory ----

   Heaps carve their small blocks from chunks, and process memory from pool chunks. A
   start-up fills about 4 MiB of them at once (most of it the name space's hash tables),
   and a page met for the first time costs a fault of its own, microseconds each on a
   virtual machine: so chunks come from one 4 MiB run of address space made at first
   use, which the kernel is asked to back with huge pages, two faults in all. The run is
   never given back; a chunk freed from it goes to the free list of its size, which the
   next chunk of that size takes first. Other sizes, and every chunk once the run is
   used up, come from malloc. */

const uint32_t kHugePage = 2u << 20;
const uint32_t kArenaBytes = 4u << 20;
const uint32_t kArenaSmallest = 16u << 10;
const uint32_t kArenaSizes = 5; /* 16 KiB to 256 KiB: the heaps' chunks and the pool's */

struct Arena {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  bool tried = false;
  std::atomic<char*> base{nullptr}; /* set once, under the lock */
  uint32_t used = 0;
  void* freeList[kArenaSizes] = {};
} gArena;

/* The free list for chunks of exactly this size, or -1 for sizes the run does not keep. */
inline int ArenaSlot(uint32_t bytes) {
  for (uint32_t k = 0; k < kArenaSizes; k++)
    if (bytes == kArenaSmallest << k) return (int)k;
  return -1;
}

void MakeArena() {
  gArena.tried = true;
  size_t span = kArenaBytes + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return;
  uintptr_t start = ((uintptr_t)raw + kHugePage - 1) & ~(uintptr_t)(kHugePage - 1);
  uintptr_t end = start + kArenaBytes;
  if (start > (uintptr_t)raw) munmap(raw, start - (uintptr_t)raw);
  if ((uintptr_t)raw + span > end) munmap((void*)end, (uintptr_t)raw + span - end);
  (void)madvise((void*)start, kArenaBytes, MADV_HUGEPAGE);
  gArena.base.store((char*)start, std::memory_order_release);
}

#if defined(__SANITIZE_ADDRESS__)
#define PUX_HOST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PUX_HOST_SANITIZED 1
#endif
#endif

void* ChunkAlloc(uint32_t bytes) {
#ifdef PUX_HOST_SANITIZED
  /* The sanitizer's leak check scans malloc's blocks but not an anonymous mapping, so a
     host object named only from a chunk of the run would count as leaked; and a chunk
     reused from a free list would hide a use after its heap is gone. */
  return malloc(bytes);
#endif
  int slot = ArenaSlot(bytes);
  if (slot >= 0) {
    void* chunk = nullptr;
    pthread_mutex_lock(&gArena.lock);
    if (!gArena.tried) MakeArena();
    if (gArena.freeList[slot] != nullptr) {
      chunk = gArena.freeList[slot];
      gArena.freeList[slot] = *(void**)chunk;
    } else if (gArena.base.load(std::memory_order_relaxed) != nullptr && kArenaBytes - gArena.used >= bytes) {
      chunk = gArena.base.load(std::memory_order_relaxed) + gArena.used;
      gArena.used += bytes;
    }
    pthread_mutex_unlock(&gArena.lock);
    if (chunk != nullptr) return chunk;
  }
  return malloc(bytes);
}

void ChunkFree(void* chunk, uint32_t bytes) {
  /* A chunk of the run was handed out after the run was made, so its start is seen. */
  char* c = (char*)chunk;
  char* base = gArena.base.load(std::memory_order_acquire);
  if (base == nullptr || c < base || c >= base + kArenaBytes) {
    free(chunk);
    return;
  }
  int slot = ArenaSlot(bytes);
  pthread_mutex_lock(&gArena.lock);
  *(void**)chunk = gArena.freeList[slot];
  gArena.freeList[slot] = chunk;
  pthread_mutex_unlock(&gArena.lock);
}

/* ---- process memory ---- */

struct ProcessPool {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  BlockPrefix* head[kClassCount] = {};
  char* bump = nullptr;
  uint32_t bumpLeft = 0;
} gPool;

inline uint32_t CacheLimit(uint32_t cls) { return gCacheLimit[cls]; }
inline uint32_t CachedBlockBytes(uint32_t cls) { return gClassBytes[cls] + sizeof(BlockPrefix); }

/* What one thread's caches may hold together: the per-class limits alone would let every
   thread of a server keep megabytes of address space. */
const uint32_t kThreadCacheBytes = 512u << 10;

void DrainCache(ThreadRecord* t, uint32_t cls, uint32_t keep);

/* Halves every class of a cache that went over the thread's bound. */
void TrimCache(ThreadRecord* t) {
  for (uint32_t cls = 0; cls < kClassCount && t->cachedBytes > kThreadCacheBytes / 2; cls++)
    if (t->cache[cls].count != 0) DrainCache(t, cls, t->cache[cls].count / 2);
}

/* Carves or takes up to a batch of blocks of one class into a thread's cache. An ended
   thread (a destructor that runs after the host's own) takes one block only: its cache
   is never drained again. */
BlockPrefix* RefillCache(ThreadRecord* t, uint32_t cls) {
  uint32_t want = t->exited ? 1 : CacheLimit(cls) / 2;
  uint32_t bytes = gClassBytes[cls] + sizeof(BlockPrefix);
  ClassCache& c = t->cache[cls];
  pthread_mutex_lock(&gPool.lock);
  while (c.count < want && gPool.head[cls]) {
    BlockPrefix* p = gPool.head[cls];
    gPool.head[cls] = p->next;
    p->next = c.head;
    c.head = p;
    c.count++;
    t->cachedBytes += bytes;
  }
  while (c.count < want) {
    if (gPool.bumpLeft < bytes) {
      char* chunk = (char*)ChunkAlloc(kPoolChunk);
      if (!chunk) break;
      gPool.bump = chunk;
      gPool.bumpLeft = kPoolChunk;
    }
    BlockPrefix* p = (BlockPrefix*)gPool.bump;
    gPool.bump += bytes;
    gPool.bumpLeft -= bytes;
    p->flags = kMagicFree | (cls << kClassShift);
    p->next = c.head;
    c.head = p;
    c.count++;
    t->cachedBytes += bytes;
  }
  pthread_mutex_unlock(&gPool.lock);
  BlockPrefix* p = c.head;
  if (p) {
    c.head = p->next;
    c.count--;
    t->cachedBytes -= bytes;
  }
  if (t->cachedBytes > kThreadCacheBytes) TrimCache(t);
  return p;
}

/* Gives back half of an overfull cache, or all of it for an ended thread. */
void DrainCache(ThreadRecord* t, uint32_t cls, uint32_t keep) {
  ClassCache& c = t->cache[cls];
  pthread_mutex_lock(&gPool.lock);
  while (c.count > keep) {
    BlockPrefix* p = c.head;
    c.head = p->next;
    c.count--;
    t->cachedBytes -= CachedBlockBytes(cls);
    p->next = gPool.head[cls];
    gPool.head[cls] = p;
  }
  pthread_mutex_unlock(&gPool.lock);
}

void* ProcessAlloc(ThreadRecord* t, uint32_t size) {
  BlockPrefix* p;
  uint32_t cls;
  if (kPooled && size <= kLargestPooled) {
    cls = SizeClass(size);
    ClassCache& c = t->cache[cls];
    p = c.head;
    if (p) {
      c.head = p->next;
      c.count--;
      t->cachedBytes -= CachedBlockBytes(cls);
    } else {
      p = RefillCache(t, cls);
      if (!p) return Refuse();
    }
  } else {
    cls = kLargeClass;
    p = (BlockPrefix*)malloc(sizeof(BlockPrefix) + size);
    if (!p) return Refuse();
  }
  p->size = size;
  p->hash = NextHash(t);
  p->seq = 0;
  p->flags = kMagicLive | (cls << kClassShift) | kProcess | kAlive;
  t->procBlocksAlloc.Add(1);
  t->procBytesAlloc.Add(size);
  void* block = BlockOf(p);
  FillNew(block, size, cls != kLargeClass);
  return block;
}

void ProcessFree(void* block) {
  BlockPrefix* p = CheckedPrefix(block, true);
  ThreadRecord* t = Self();
  uint32_t size = p->size, cls = ClassOf(p);
  t->procBlocksFreed.Add(1);
  t->procBytesFreed.Add(size);
  PoisonFreed(block, size, cls != kLargeClass);
  if (cls == kLargeClass) {
    p->flags = kMagicFree;
    free(p);
    return;
  }
  p->flags = kMagicFree | (cls << kClassShift);
  ClassCache& c = t->cache[cls];
  p->next = c.head;
  c.head = p;
  t->cachedBytes += CachedBlockBytes(cls);
  if (++c.count > CacheLimit(cls) || t->exited) DrainCache(t, cls, t->exited ? 0 : CacheLimit(cls) / 2);
  if (t->cachedBytes > kThreadCacheBytes) TrimCache(t);
}

struct ProcessTotals {
  uint32_t blocksAlloc, blocksFreed, bytesAlloc, bytesFreed;
  uint64_t calls;
};
void SumRecord(ThreadRecord* r, void* ctx) {
  ProcessTotals* s = (ProcessTotals*)ctx;
  s->blocksAlloc += r->procBlocksAlloc.Get();
  s->blocksFreed += r->procBlocksFreed.Get();
  s->bytesAlloc += r->procBytesAlloc.Get();
  s->bytesFreed += r->procBytesFreed.Get();
  s->calls += r->allocCalls.Get();
}
ProcessTotals SumProcess() {
  ProcessTotals s = {0, 0, 0, 0, 0};
  ForEachRecord(SumRecord, &s);
  return s;
}

}  // namespace

/* PUX_GC_LOG set (not empty): a line on standard error per collection, with its pause
   (the collection benchmark reads them): from the refusal that called for it, or from
   its first heap walk when nothing was refused (a collection asked for). */
const bool gCollectionLog = [] {
  const char* text = getenv("PUX_GC_LOG");
  return text != nullptr && *text != 0;
}();

static uint64_t MonotonicNs() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
}

/* ---- heaps ---- */

/* A heap's lock is taken twice per block (allocation and free), always briefly, so it
   is inlined at its users and costs one locked instruction: taking it is an exchange,
   giving it back a plain store (and while the process has one thread, taking it is a
   plain store too). A thread that finds it taken spins a little, then
   sleeps on a futex after counting itself a waiter; the store is not ordered before
   the holder's read of that count, so a wake can be missed, and the sleep is bounded
   to a millisecond to make that a delay, never a hang. */
class HeapLock {
 public:
  void Lock() {
    if (OnlyThread() && state_.load(std::memory_order_relaxed) == 0) {
      state_.store(1, std::memory_order_relaxed);
      return;
    }
    if (state_.exchange(1, std::memory_order_acquire) != 0) LockSlow();
  }
  void Unlock() {
    state_.store(0, std::memory_order_release);
    if (waiters_.load(std::memory_order_relaxed) != 0) Wake();
  }

 private:
  void LockSlow() {
    for (;;) {
      for (int i = 0; i < 200; i++) {
        if (state_.load(std::memory_order_relaxed) == 0 && state_.exchange(1, std::memory_order_acquire) == 0)
          return;
        __builtin_ia32_pause();
      }
      waiters_.fetch_add(1, std::memory_order_relaxed);
      if (state_.exchange(1, std::memory_order_acquire) == 0) {
        waiters_.fetch_sub(1, std::memory_order_relaxed);
        return;
      }
      struct timespec bound = {0, 1000000};
      syscall(SYS_futex, &state_, FUTEX_WAIT_PRIVATE, 1, &bound, nullptr, 0);
      waiters_.fetch_sub(1, std::memory_order_relaxed);
    }
  }
  void Wake() { syscall(SYS_futex, &state_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0); }
  std::atomic<int> state_{0};    /* 0 free, 1 held */
  std::atomic<int> waiters_{0};  /* threads asleep or about to sleep on state_ */
};
static_assert(sizeof(HeapLock) == 2 * sizeof(int), "the heap lock is two words");

/* The head of a chunk of a heap's small blocks. Every slot of a chunk has the chunk's
   size class, and each slot's prefix names its chunk (the prev link, which only big
   blocks use otherwise), so a free finds the chunk's count and free list at once. A
   chunk whose slots are all free again leaves its class unless it is the last its class
   can carve from: it is kept for whichever class next needs a chunk of its size, or
   given back once the heap holds more chunks than its capacity. So memory that one size
   of block held can serve another. */
struct Chunk {
  Chunk* next;             /* the heap's chunks, newest first */
  Chunk* prev;
  Chunk* availNext;        /* the class's chunks with a free or uncarved slot */
  Chunk* availPrev;
  Chunk* pendingNext;      /* the heap's chunks holding slots freed during walks */
  BlockPrefix* free;       /* slots free for reuse */
  BlockPrefix* pending;    /* slots freed during walks: reused once the last walk ends */
  BlockPrefix* pendingTail;
  uint32_t bytes;          /* the chunk's size, its head included */
  uint32_t slot;           /* each slot's bytes, prefix included */
  uint32_t carved;         /* bytes carved, the head included: walks read it unlocked */
  uint32_t live;           /* slots handed out and not freed: walks read it unlocked */
  uint16_t cls;
  uint8_t avail;           /* on its class's list */
  uint8_t hasPending;      /* on the heap's list of chunks with pending slots */
  uint32_t unused;
};
static_assert(sizeof(Chunk) % 8 == 0, "slots stay 8-byte aligned");

/* Two chunk sizes, so that a freed chunk fits any class of its kind: at least seven
   slots of the largest class of each. */
const uint32_t kSmallChunk = 32u << 10;  /* classes up to 4 KiB */
const uint32_t kLargeChunk = 128u << 10; /* classes up to 16 KiB */
inline uint32_t ChunkKind(uint32_t cls) { return gClassBytes[cls] <= 4096 ? 0 : 1; }
const uint32_t kChunkBytes[2] = {kSmallChunk, kLargeChunk};
/* Walks first visit the chunks of blocks above this size. */
const uint32_t kFirstWalkedAbove = 512;

struct HHeap {
  uint32_t magic;
  HeapLock lock;
  BlockPrefix* first;    /* big blocks, in allocation order */
  BlockPrefix* last;
  Chunk* chunks;         /* chunks in use, newest first */
  Chunk* avail[kClassCount];
  Chunk* pendingChunks;  /* chunks with slots freed during walks */
  Chunk* spare[2];       /* wholly free chunks of each size, for any class */
  /* Byte counts of what a 32-bit process holds fit 32 bits; 64-bit ones cost a stall
     on every block (they are added in vector registers, from halves stored apart). */
  uint32_t chunkBytes;   /* chunks in use and spare */
  uint32_t bigBytes;     /* big blocks, prefixes included */
  uint32_t inUse;        /* requested bytes of live blocks */
  uint32_t charged;      /* what live blocks cost the capacity: their slots with prefixes */
  uint32_t blocks;
  uint64_t capacity;
  uint32_t walks;        /* walks in progress: frees are deferred meanwhile */
  uint32_t deferred;     /* big blocks freed during walks, still listed */
  uint32_t seq;          /* raised by every small block made while a walk runs */
  uint32_t tag;          /* 1-63, stored in each block's flags */
  std::atomic<uint32_t> collected;
  std::atomic<jint> sharedAnswer;
  jint kind;
  void* owner;
  struct Relocation* moving;  /* old copies kept until FinishRelocation */
  uint64_t walkSince;    /* monotonic ns of the first walk since the last collection */
  uint64_t refusedSince; /* monotonic ns of a refusal for lack of room with no allocation since */
};

struct Moved {
  uintptr_t oldBlock;
  uint32_t size;
  BlockPrefix* oldPrefix;
  BlockPrefix* newPrefix;
};
struct Relocation {
  std::vector<Moved> moved;  /* sorted by oldBlock */
};

namespace {

inline HHeap* CheckedHeap(HHeap* heap) {
  if (heap->magic != kHeapMagic) {
    fprintf(stderr, "refhost: %p is not a live heap\n", (void*)heap);
    abort();
  }
  return heap;
}

inline void Unlink(HHeap* h, BlockPrefix* p) {
  if (p->prev) p->prev->next = p->next; else h->first = p->next;
  if (p->next) p->next->prev = p->prev; else h->last = p->prev;
}

/* A walk reads flags without the lock: they are written with a release store. */
inline void SetFlags(BlockPrefix* p, uint32_t flags) { __atomic_store_n(&p->flags, flags, __ATOMIC_RELEASE); }
inline uint32_t LoadFlags(BlockPrefix* p) { return __atomic_load_n(&p->flags, __ATOMIC_ACQUIRE); }

inline Chunk* ChunkOf(BlockPrefix* p) { return (Chunk*)p->prev; }
inline void SetLive(Chunk* c, uint32_t n) { __atomic_store_n(&c->live, n, __ATOMIC_RELAXED); }

/* What a live block costs the heap's capacity. */
inline uint32_t ChargeOf(const BlockPrefix* p) {
  uint32_t cls = ClassOf(p);
  return cls == kLargeClass ? p->size + sizeof(BlockPrefix) : gClassBytes[cls] + sizeof(BlockPrefix);
}

void AvailPush(HHeap* h, Chunk* c) {
  c->availPrev = nullptr;
  c->availNext = h->avail[c->cls];
  if (c->availNext) c->availNext->availPrev = c;
  h->avail[c->cls] = c;
  c->avail = 1;
}

void AvailUnlink(HHeap* h, Chunk* c) {
  if (c->availPrev) c->availPrev->availNext = c->availNext; else h->avail[c->cls] = c->availNext;
  if (c->availNext) c->availNext->availPrev = c->availPrev;
  c->avail = 0;
}

/* A chunk whose slots are all free leaves the heap's list (never while a walk runs:
   walks step through the list unlocked). */
void RetireChunk(HHeap* h, Chunk* c) {
  if (c->avail) AvailUnlink(h, c);
  if (c->prev) c->prev->next = c->next; else h->chunks = c->next;
  if (c->next) c->next->prev = c->prev;
  if ((uint64_t)h->chunkBytes <= h->capacity) {
    uint32_t kind = c->bytes == kSmallChunk ? 0 : 1;
    c->next = h->spare[kind];
    h->spare[kind] = c;
  } else {
    h->chunkBytes -= c->bytes;
    ChunkFree(c, c->bytes);
  }
}

/* A chunk whose slots are all free again, with no walk running. If it is all its class
   has to offer, it stays and is carved afresh (a class that empties its one chunk again
   and again does not trade it with the spares each time); else it leaves the class. */
void ChunkEmptied(HHeap* h, Chunk* c) {
  Chunk* first = h->avail[c->cls];
  if (first != nullptr && (first != c || c->availNext != nullptr)) {
    RetireChunk(h, c);
    return;
  }
  c->free = nullptr;
  __atomic_store_n(&c->carved, (uint32_t)sizeof(Chunk), __ATOMIC_RELAXED);
  if (!c->avail) AvailPush(h, c);
}

/* A chunk for a class, spare or new, at the front of the heap's list. A walk that runs
   started from an older front, so it never meets it. */
Chunk* NewChunk(HHeap* h, uint32_t cls) {
  uint32_t kind = ChunkKind(cls);
  Chunk* c = h->spare[kind];
  if (c) {
    h->spare[kind] = c->next;
  } else {
    /* Spares of the other size that would take the heap past its capacity go back to
       the process first, where a chunk of this size can be made of them. */
    for (Chunk* other; (other = h->spare[1 - kind]) != nullptr && (uint64_t)h->chunkBytes + kChunkBytes[kind] > h->capacity;) {
      h->spare[1 - kind] = other->next;
      h->chunkBytes -= other->bytes;
      ChunkFree(other, other->bytes);
    }
    c = (Chunk*)ChunkAlloc(kChunkBytes[kind]);
    if (!c) return nullptr;
    h->chunkBytes += kChunkBytes[kind];
  }
  c->bytes = kChunkBytes[kind];
  c->slot = gClassBytes[cls] + sizeof(BlockPrefix);
  c->carved = sizeof(Chunk);
  c->live = 0;
  c->cls = (uint16_t)cls;
  c->free = c->pending = c->pendingTail = nullptr;
  c->pendingNext = nullptr;
  c->hasPending = 0;
  c->prev = nullptr;
  c->next = h->chunks;
  if (h->chunks) h->chunks->prev = c;
  h->chunks = c;
  AvailPush(h, c);
  return c;
}

/* Puts a small block's slot back in its chunk, with no walk running. */
inline void ReleaseSmall(HHeap* h, BlockPrefix* p, uint32_t cls) {
  SetFlags(p, kMagicFree | (cls << kClassShift));
  Chunk* c = ChunkOf(p);
  p->next = c->free;
  c->free = p;
  uint32_t live = c->live - 1;
  SetLive(c, live);
  if (live == 0) ChunkEmptied(h, c);
  else if (!c->avail) AvailPush(h, c);
}

/* Unlinks and frees a big block. */
inline void ReleaseBig(HHeap* h, BlockPrefix* p) {
  Unlink(h, p);
  h->bigBytes -= p->size + sizeof(BlockPrefix);
  p->flags = kMagicFree;
  free(p);
}

/* Where a chunk's carved slots end. */
inline char* CarvedEnd(Chunk* c) { return (char*)c + __atomic_load_n(&c->carved, __ATOMIC_ACQUIRE); }

/* Walk numbers restart from 0 once no walk runs and they grew large: every small
   block's number is cleared, so none can ever look younger than a later walk. */
void RestartWalkNumbers(HHeap* h) {
  for (Chunk* c = h->chunks; c != nullptr; c = c->next)
    for (char* q = (char*)(c + 1), *end = CarvedEnd(c); q < end; q += c->slot) ((BlockPrefix*)q)->seq = 0;
  h->seq = 0;
}

/* A small block freed while a walk runs: free at once, its slot kept from reuse until
   the last walk ends. */
inline void DeferSmall(HHeap* h, BlockPrefix* p) {
  Chunk* c = ChunkOf(p);
  p->next = c->pending;
  if (p->next == nullptr) c->pendingTail = p;
  c->pending = p;
  SetLive(c, c->live - 1);
  if (!c->hasPending) {
    c->hasPending = 1;
    c->pendingNext = h->pendingChunks;
    h->pendingChunks = c;
  }
}

/* With the last walk over: what the walks deferred is freed now, and the chunks it
   emptied leave their classes. */
void ReleaseDeferred(HHeap* h) {
  for (Chunk* c = h->pendingChunks; c != nullptr;) {
    Chunk* next = c->pendingNext;
    BlockPrefix* head = c->pending;
    BlockPrefix* tail = c->pendingTail;
    c->hasPending = 0;
    c->pendingNext = nullptr;
    c->pending = c->pendingTail = nullptr;
    if (c->live == 0) {
      ChunkEmptied(h, c);  /* may give the chunk back: it is not touched again */
    } else {
      tail->next = c->free;
      c->free = head;
      if (!c->avail) AvailPush(h, c);
    }
    c = next;
  }
  h->pendingChunks = nullptr;
  for (BlockPrefix* q = h->first; q && h->deferred;) {
    BlockPrefix* next = q->next;
    if (!(q->flags & kAlive)) {
      ReleaseBig(h, q);
      h->deferred--;
    }
    q = next;
  }
  if (h->seq > (1u << 30)) RestartWalkNumbers(h);
}

/* Counts the blocks a walking thread freed on h, with the heap locked, and defers
   them like any other free during a walk (its own walk is still running). */
void ApplyBatch(HHeap* h, ThreadRecord* t) {
  h->inUse -= t->batchBytes;
  h->charged -= t->batchCharged;
  h->blocks -= t->batchCount;
  for (BlockPrefix* p = t->batchFirst; p != nullptr;) {
    BlockPrefix* next = p->next;
    DeferSmall(h, p);
    p = next;
  }
  t->batchFirst = nullptr;
  t->batchHeap = nullptr;
  t->batchCount = 0;
  t->batchBytes = 0;
  t->batchCharged = 0;
}

/* The calling thread's frees on h, counted before the heap is read or changed. */
inline void SettleOwnFrees(HHeap* h, ThreadRecord* t) {
  if (t->batchHeap == h) ApplyBatch(h, t);
}

void FlushBatch(ThreadRecord* t) {
  HHeap* h = t->batchHeap;
  if (h == nullptr) return;
  h->lock.Lock();
  ApplyBatch(h, t);
  h->lock.Unlock();
}

/* The size class of a block of size bytes, kLargeClass for a big one. */
inline uint32_t ClassFor(uint32_t size) {
  return kPooled && size <= kLargestPooled ? SizeClass(size) : (uint32_t)kLargeClass;
}

/* What a block of a class costs the heap's capacity. */
inline uint32_t Charge(uint32_t cls, uint32_t size) {
  return (cls == kLargeClass ? size : gClassBytes[cls]) + sizeof(BlockPrefix);  /* HeapAlloc refused sizes that would wrap */
}

/* Storage for a block of size bytes and its class (ClassFor), with the heap locked. A
   slot carved now reads as free until its block is made. */
inline BlockPrefix* TakeStorage(HHeap* h, uint32_t size, uint32_t cls) {
  if (cls == kLargeClass) return (BlockPrefix*)malloc(sizeof(BlockPrefix) + size);
  Chunk* c = h->avail[cls];
  if (c == nullptr) {
    c = NewChunk(h, cls);
    if (c == nullptr) return nullptr;
  }
  BlockPrefix* p = c->free;
  if (p != nullptr) {
    c->free = p->next;
    /* Freed slots lie where the program last left them, seldom in the cache: the next
       one is fetched now, while the caller fills this one. */
    if (c->free != nullptr) __builtin_prefetch(c->free, 1);
  } else {
    p = (BlockPrefix*)((char*)c + c->carved);
    p->prev = (BlockPrefix*)c;
    SetFlags(p, kMagicFree | (cls << kClassShift));
    __atomic_store_n(&c->carved, c->carved + c->slot, __ATOMIC_RELEASE);
  }
  SetLive(c, c->live + 1);
  if (c->free == nullptr && c->carved + c->slot > c->bytes) AvailUnlink(h, c);
  return p;
}

void* HeapAllocOn(HHeap* h, ThreadRecord* t, uint32_t size) {
  uint32_t hash = NextHash(t);
  uint32_t cls = ClassFor(size);
  uint32_t charge = Charge(cls, size);
  h->lock.Lock();
  SettleOwnFrees(h, t);
  bool room = (uint64_t)h->charged + charge <= h->capacity;
  BlockPrefix* p = room ? TakeStorage(h, size, cls) : nullptr;
  if (!p) {
    if (!room && gCollectionLog && h->refusedSince == 0) h->refusedSince = MonotonicNs();
    h->lock.Unlock();
    return Refuse();
  }
  if (h->refusedSince != 0) h->refusedSince = 0;
  p->size = size;
  p->hash = hash;
  if (cls == kLargeClass) {
    /* A walk stops at the list's last block of its start: this one lies past it. */
    p->seq = 0;
    p->next = nullptr;
    p->prev = h->last;
    if (h->last) h->last->next = p; else h->first = p;
    h->last = p;
    h->bigBytes += charge;
  } else {
    /* A walk visits small blocks with numbers up to the heap's at its start. */
    p->seq = h->walks ? ++h->seq : 0;
  }
  SetFlags(p, kMagicLive | (cls << kClassShift) | (h->tag << kHeapTagShift) | kAlive);
  h->inUse += size;
  h->charged += charge;
  h->blocks++;
  h->lock.Unlock();
  void* block = BlockOf(p);
  FillNew(block, size, cls != kLargeClass);
  return block;
}

void HeapFreeOn(HHeap* h, void* block) {
  BlockPrefix* p = CheckedPrefix(block, false);
  if (((p->flags >> kHeapTagShift) & kHeapTagMask) != h->tag) BadFree("a block of another heap", block);
  PoisonFreed(block, p->size, ClassOf(p) != kLargeClass);
  uint32_t cls = ClassOf(p);
  ThreadRecord* t = Self();
  if (t->walking == h && cls != kLargeClass) {
    /* Freed by a thread walking this heap (a sweep): free at once, so no walk visits
       it again, though its slot is not reused before the last walk ends; counted and
       handed to the heap with the next few hundred under one hold of the lock. */
    if (t->batchHeap != h) FlushBatch(t);
    SetFlags(p, kMagicFree | (cls << kClassShift));
    p->next = t->batchFirst;
    t->batchFirst = p;
    t->batchHeap = h;
    t->batchBytes += p->size;
    t->batchCharged += gClassBytes[cls] + sizeof(BlockPrefix);
    if (++t->batchCount >= 256) FlushBatch(t);
    return;
  }
  h->lock.Lock();
  SettleOwnFrees(h, t);
  h->inUse -= p->size;
  h->charged -= ChargeOf(p);
  h->blocks--;
  if (h->walks) {
    /* A walk may stand on this block or reach it later: it stays where it is, dead,
       and its slot is not reused before the last walk ends. */
    if (cls == kLargeClass) {
      SetFlags(p, p->flags & ~kAlive);
      h->deferred++;
    } else {
      SetFlags(p, kMagicFree | (cls << kClassShift));
      DeferSmall(h, p);
    }
  } else if (cls == kLargeClass) {
    ReleaseBig(h, p);
  } else {
    ReleaseSmall(h, p, cls);
  }
  h->lock.Unlock();
}
}  // namespace

namespace refhost {
namespace detail {

void FlushThreadCache(ThreadRecord* r) {
  for (uint32_t cls = 0; cls < kClassCount; cls++)
    if (r->cache[cls].count) DrainCache(r, cls, 0);
}

HHeap* HOSTCALL HeapCreate(void* owner, jint kind) {
  HHeap* h = (HHeap*)calloc(1, sizeof(HHeap));
  if (!h) return nullptr;
  new (&h->collected) std::atomic<uint32_t>(0);
  new (&h->sharedAnswer) std::atomic<jint>(kind == 1 ? 1 : 0);
  new (&h->lock) HeapLock();
  static std::atomic<uint32_t> serial{0};
  h->tag = serial.fetch_add(1) % kHeapTagMask + 1;
  h->magic = kHeapMagic;
  h->capacity = kind == gCapacityKind.load() ? gKindCapacity.load() : kDefaultCapacity;
  h->kind = kind;
  h->owner = owner;
  return h;
}

void HOSTCALL HeapDestroy(HHeap* heap) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  refhost::FinishRelocation(h);
  h->lock.Lock();
  if (h->walks) {
    fprintf(stderr, "refhost: HeapDestroy of %p during a walk of it\n", (void*)h);
    abort();
  }
  if (gLeakReports.load() && h->blocks) {
    char text[160];
    snprintf(text, sizeof text, "refhost: heap %p destroyed with %u live blocks (%llu bytes)\n",
             (void*)h, h->blocks, (unsigned long long)h->inUse);
    LogText(text);
    gLeakReportCount.fetch_add(1);
  }
  for (BlockPrefix* p = h->first; p;) {
    BlockPrefix* next = p->next;
    p->flags = kMagicFree;
    free(p);
    p = next;
  }
  for (Chunk* list : {h->chunks, h->spare[0], h->spare[1]})
    for (Chunk* c = list; c;) {
      Chunk* next = c->next;
      ChunkFree(c, c->bytes);
      c = next;
    }
  h->magic = 0;
  h->lock.Unlock();
  free(h);
}

void HOSTCALL HeapWalk(HHeap* heap, JNIHostHeapWalkFn cb, void* ctx) {
  if (!heap || !cb) return;
  HHeap* h = CheckedHeap(heap);
  ThreadRecord* t = Self();
  if (t->batchHeap != nullptr && t->batchHeap != h) FlushBatch(t);
  h->lock.Lock();
  SettleOwnFrees(h, t);
  if (h->walkSince == 0) h->walkSince = MonotonicNs();
  h->walks++;
  HHeap* outer = t->walking;
  t->walking = h;
  /* The blocks that existed at the start are exactly these: small ones in the chunks
     listed now, numbered up to the heap's number now; big ones in the list up to its
     last block now (big blocks are appended). */
  uint32_t seq = h->seq;
  Chunk* chunk = h->chunks;
  BlockPrefix* end = h->last;
  BlockPrefix* p = end ? h->first : nullptr;
  /* Nothing a walk reads moves while one runs (a free only clears the alive bit, a
     slot freed during a walk is not reused before the last one ends, no chunk leaves
     the list, new chunks go in front of where the walk starts, relocation waits): the
     walk goes without the lock, and the callback may allocate and free. A chunk with
     nothing live had nothing live at the start either: it is passed over. */
  h->lock.Unlock();
  /* Chunks of big slots first, then the rest: a large block often owns smaller ones (a
     machine body's pieces), and a sweep that frees the owner frees them before the walk
     comes to them, so whole chunks of them are passed over unread. */
  bool going = true;
  for (uint32_t pass = 0; pass < 2 && going; pass++) {
    for (Chunk* c = chunk; c != nullptr && going; c = c->next) {
      if ((c->slot > kFirstWalkedAbove + sizeof(BlockPrefix)) != (pass == 0)) continue;
      if (__atomic_load_n(&c->live, __ATOMIC_RELAXED) == 0) continue;
      uint32_t slot = c->slot;
      char* stop = CarvedEnd(c);
      for (char* q = (char*)(c + 1); q < stop; q += slot) {
        BlockPrefix* b = (BlockPrefix*)q;
        /* A few slots ahead: the reads go out together instead of one miss per slot (a
           prefetch past the chunk's end is harmless). */
        __builtin_prefetch(q + 6 * slot);
        uint32_t f = LoadFlags(b);
        if ((f & kAlive) && b->seq <= seq && !cb(BlockOf(b), ctx)) {
          going = false;
          break;
        }
      }
    }
  }
  while (p && going) {
    if (p != end) __builtin_prefetch(p->next);
    if ((LoadFlags(p) & kAlive) && !cb(BlockOf(p), ctx)) break;
    if (p == end) break;
    p = p->next;
  }
  if (t->batchHeap != nullptr && t->batchHeap != h) FlushBatch(t);
  h->lock.Lock();
  SettleOwnFrees(h, t);
  t->walking = outer;
  if (--h->walks == 0) ReleaseDeferred(h);
  h->lock.Unlock();
}

uint32_t HOSTCALL GetMaxAllocSize(void) { return gMaxAlloc.load(std::memory_order_relaxed); }

/* What the heap's live blocks cost its capacity, prefixes and size classes included:
   the heap's total less this is what can still be allocated. */
uint64_t HOSTCALL HeapBytesInUse(HHeap* heap) {
  if (!heap) return refhost::BytesInUse(heap);
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  SettleOwnFrees(h, Self());
  uint64_t n = h->charged;
  h->lock.Unlock();
  return n;
}

uint64_t HOSTCALL HeapTotalBytes(HHeap* heap) {
  if (!heap) return kDefaultCapacity;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  uint64_t cap = h->capacity;
  h->lock.Unlock();
  return cap;
}

void* HOSTCALL HeapAlloc(HHeap* heap, uint32_t size, jint allocType) {
  ThreadRecord* t = Self();
  t->allocCalls.Add(1);
  if (gInjectActive.load(std::memory_order_relaxed) && InjectedRefusal(heap, size, allocType))
    return Refuse();
  if (size > gMaxAlloc.load(std::memory_order_relaxed)) return Refuse();
  /* With the largest block raised that far, the prefix would wrap the size given to malloc. */
  if (size > UINT32_MAX - sizeof(BlockPrefix)) return Refuse();
  if (!heap) return ProcessAlloc(t, size);
  return HeapAllocOn(CheckedHeap(heap), t, size);
}

void HOSTCALL HeapFree(HHeap* heap, void* block) {
  if (!block) return;
  if (!heap) {
    ProcessFree(block);
    return;
  }
  HeapFreeOn(CheckedHeap(heap), block);
}

jint HOSTCALL ObjectHashCode(HHeap*, void* object) {
  if (!object) return 0;
  return (jint)PrefixOf(object)->hash;
}

void HOSTCALL HeapCollected(HHeap* heap) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  uint32_t n = h->collected.fetch_add(1) + 1;
  h->lock.Lock();
  uint64_t since = h->refusedSince != 0 ? h->refusedSince : h->walkSince;
  h->walkSince = 0;
  h->refusedSince = 0;
  h->lock.Unlock();
  if (gCollectionLog && since != 0) {
    fprintf(stderr, "refhost: collection %u of heap %p: %.3f ms\n", n, (void*)h,
            (double)(MonotonicNs() - since) / 1e6);
  }
}

jint HOSTCALL IsSharedHeap(HHeap* heap) {
  if (!heap) return 0;
  return heap->sharedAnswer.load(std::memory_order_relaxed);
}

void ResetHeapHooks() {
  pthread_mutex_lock(&gInject.lock);
  gInject.nth = gInject.nthSeen = 0;
  gInject.every = gInject.everySeen = 0;
  gInject.next = 0;
  gInject.above = 0;
  gInject.budgetOn = false;
  gInject.budget = gInject.spent = 0;
  gInject.scoped = false;
  gInject.scopeHeap = nullptr;
  gInject.scopeKind = -1;
  UpdateInjectActive();
  pthread_mutex_unlock(&gInject.lock);
  gMaxAlloc.store(kDefaultMaxAlloc);
  gFill.store(true);
  gPoison.store(true);
  gLeakReports.store(false);
  gLeakReportCount.store(0);
  gCapacityKind.store(-1);
  gKindCapacity.store(kDefaultCapacity);
}

}  // namespace detail

/* ---- hooks ---- */

void FailNthAllocation(uint32_t n) {
  pthread_mutex_lock(&gInject.lock);
  gInject.nth = n;
  gInject.nthSeen = 0;
  UpdateInjectActive();
  pthread_mutex_unlock(&gInject.lock);
}

void FailEveryNthAllocation(uint32_t n) {
  pthread_mutex_lock(&gInject.lock);
  gInject.every = n;
  gInject.everySeen = 0;
  UpdateInjectActive();
  pthread_mutex_unlock(&gInject.lock);
}

void FailNextAllocations(uint32_t count) {
  pthread_mutex_lock(&gInject.lock);
  gInject.next = count;
  UpdateInjectActive();
  pthread_mutex_unlock(&gInject.lock);
}

void FailAllocationsAbove(uint32_t size) {
  pthread_mutex_lock(&gInject.lock);
  gInject.above = size;
  UpdateInjectActive();
  pthread_mutex_unlock(&gInject.lock);
}

void FailAboveByteBudget(bool on, uint64_t bytes) {
  pthread_mutex_lock(&gInject.lock);
  gInject.budgetOn = on;
  gInject.budget = bytes;
  gInject.spent = 0;
  UpdateInjectActive();
  pthread_mutex_unlock(&gInject.lock);
}

void SetFailureScope(bool oneHeap, HHeap* heap, jint allocType) {
  pthread_mutex_lock(&gInject.lock);
  gInject.scoped = oneHeap;
  gInject.scopeHeap = oneHeap ? heap : nullptr;
  gInject.scopeKind = allocType;
  pthread_mutex_unlock(&gInject.lock);
}

uint64_t AllocationCount() { return SumProcess().calls; }
uint64_t RefusedCount() { return gRefused.load(); }

void SetHeapCapacity(HHeap* heap, uint64_t bytes) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  h->capacity = bytes;
  h->lock.Unlock();
}

void SetCapacityOfNewHeaps(jint kind, uint64_t bytes) {
  gKindCapacity.store(bytes);
  gCapacityKind.store(kind);
}

void SetWalkNumber(HHeap* heap, uint32_t n) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  h->seq = n;
  h->lock.Unlock();
}

void SetSharedAnswer(HHeap* heap, jint answer) {
  if (heap) CheckedHeap(heap)->sharedAnswer.store(answer);
}

void SetMaxAllocSize(uint32_t bytes) { gMaxAlloc.store(bytes < 10240 ? 10240 : bytes); }

uint32_t BlocksInUse(HHeap* heap) {
  if (!heap) {
    ProcessTotals s = SumProcess();
    return s.blocksAlloc - s.blocksFreed;
  }
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  SettleOwnFrees(h, Self());
  uint32_t n = h->blocks;
  h->lock.Unlock();
  return n;
}

uint64_t CachedProcessBytes() {
  ThreadRecord* t = Self();
  uint64_t bytes = 0;
  for (uint32_t cls = 0; cls < kClassCount; cls++) {
    uint32_t n = 0;
    for (BlockPrefix* p = t->cache[cls].head; p != nullptr; p = p->next) n++;
    bytes += (uint64_t)n * CachedBlockBytes(cls);
  }
  return bytes;
}

uint64_t BytesInUse(HHeap* heap) {
  if (!heap) {
    ProcessTotals s = SumProcess();
    return (uint32_t)(s.bytesAlloc - s.bytesFreed);
  }
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  SettleOwnFrees(h, Self());
  uint64_t n = h->inUse;
  h->lock.Unlock();
  return n;
}

uint64_t HeapFootprint(HHeap* heap) {
  if (!heap) return 0;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  uint64_t n = (uint64_t)h->chunkBytes + h->bigBytes;
  h->lock.Unlock();
  return n;
}

uint32_t CollectedCount(HHeap* heap) { return heap ? CheckedHeap(heap)->collected.load() : 0; }

void SetLeakReports(bool on) { gLeakReports.store(on); }
uint32_t LeakReportCount() { return gLeakReportCount.load(); }

void SetBlockPatterns(bool fillNew, bool poisonFreed) {
  gFill.store(fillNew);
  gPoison.store(poisonFreed);
}

/* ---- relocation ---- */

namespace {

/* Puts storage back where it came from, with the heap locked: a small slot waits for
   the walks that run, as any free does. */
void GiveBack(HHeap* h, BlockPrefix* p, uint32_t cls) {
  if (cls == kLargeClass) {
    free(p);
    return;
  }
  SetFlags(p, kMagicFree | (cls << kClassShift));
  if (h->walks) DeferSmall(h, p);
  else ReleaseSmall(h, p, cls);
}

}  // namespace

uint32_t RelocateHeap(HHeap* heap) {
  if (!heap) return 0;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  if (h->walks || h->moving || !h->blocks) {
    h->lock.Unlock();
    return 0;
  }
  Relocation* r = new Relocation;
  r->moved.reserve(h->blocks);
  /* Every live block, before any new storage is carved where the chunk walk would
     meet it. */
  for (Chunk* c = h->chunks; c != nullptr; c = c->next)
    for (char* q = (char*)(c + 1), *end = CarvedEnd(c); q < end; q += c->slot) {
      BlockPrefix* p = (BlockPrefix*)q;
      if (p->flags & kAlive) r->moved.push_back({(uintptr_t)BlockOf(p), p->size, p, nullptr});
    }
  for (BlockPrefix* p = h->first; p; p = p->next) r->moved.push_back({(uintptr_t)BlockOf(p), p->size, p, nullptr});
  /* Take all new storage first, so a failure leaves the heap as it was. */
  for (Moved& m : r->moved) {
    uint32_t cls = ClassFor(m.size);
    m.newPrefix = TakeStorage(h, m.size, cls);
    if (!m.newPrefix) {
      for (Moved& g : r->moved)
        if (g.newPrefix) GiveBack(h, g.newPrefix, ClassOf(g.oldPrefix));
      delete r;
      h->lock.Unlock();
      return 0;
    }
    /* A slot carved now must read as free until its copy is made. */
    if (cls != kLargeClass) SetFlags(m.newPrefix, kMagicFree | (cls << kClassShift));
  }
  for (Moved& m : r->moved) {
    BlockPrefix* p = m.oldPrefix;
    BlockPrefix* q = m.newPrefix;
    BlockPrefix* home = q->prev;  /* a small slot's chunk */
    *q = *p;  /* size, identity hash, walk number, flags and links */
    memcpy(BlockOf(q), BlockOf(p), p->size);
    if (ClassOf(p) == kLargeClass) {
      if (q->prev) q->prev->next = q; else h->first = q;
      if (q->next) q->next->prev = q; else h->last = q;
    } else {
      q->prev = home;
    }
    p->flags = kMagicFree | (ClassOf(p) << kClassShift);
  }
  std::sort(r->moved.begin(), r->moved.end(), [](const Moved& a, const Moved& b) { return a.oldBlock < b.oldBlock; });
  h->moving = r;
  uint32_t n = (uint32_t)r->moved.size();
  h->lock.Unlock();
  return n;
}

void* RelocatedAddress(HHeap* heap, void* address) {
  if (!heap || !address) return address;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  void* result = address;
  if (h->moving) {
    const std::vector<Moved>& v = h->moving->moved;
    uintptr_t a = (uintptr_t)address;
    auto it = std::upper_bound(v.begin(), v.end(), a, [](uintptr_t x, const Moved& m) { return x < m.oldBlock; });
    if (it != v.begin()) {
      const Moved& m = *(it - 1);
      uint32_t span = m.size ? m.size : 1;
      if (a - m.oldBlock < span) result = (char*)BlockOf(m.newPrefix) + (a - m.oldBlock);
    }
  }
  h->lock.Unlock();
  return result;
}

void HOSTCALL RelocateWord(void** word, void* heap) {
  if (word && *word) *word = RelocatedAddress((HHeap*)heap, *word);
}

void ForEachRelocated(HHeap* heap, void (*fn)(void* oldBlock, void* newBlock, void* ctx), void* ctx) {
  if (!heap || !fn) return;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  std::vector<Moved> copy;
  if (h->moving) copy = h->moving->moved;
  h->lock.Unlock();
  for (const Moved& m : copy) fn((void*)m.oldBlock, BlockOf(m.newPrefix), ctx);
}

void FinishRelocation(HHeap* heap) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  Relocation* r = h->moving;
  h->moving = nullptr;
  if (r) {
    for (Moved& m : r->moved) {
      uint32_t cls = ClassOf(m.oldPrefix);
      PoisonFreed(BlockOf(m.oldPrefix), m.size, cls != kLargeClass);
      GiveBack(h, m.oldPrefix, cls);
    }
  }
  h->lock.Unlock();
  delete r;
}

}  // namespace refhost
