/* What the files of the reference host's heap share: the block prefix, the settings,
   the regions' and heaps' layouts and the small steps every part takes inline. Private
   to host/heap*.cpp. Its names have hidden visibility, so that calls between the parts,
   and the allocation path's reads of the settings, cost what they cost within one file. */
#pragma once

#include "refhost_internal.h"

#include <algorithm>
#include <emmintrin.h>
#include <new>
#include <string>
#include <stdarg.h>
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

#define HEAP_HIDDEN __attribute__((visibility("hidden")))

namespace refhost {
namespace detail {

struct BlockPrefix {
  union {
    uint32_t size;      /* bytes the caller asked for */
    BlockPrefix* link;  /* a free region block: the next in its list */
  };
  union {
    uint32_t hash;      /* identity hash, fixed for the block's life */
    BlockPrefix* back;  /* a free region block behind the head of its bin: the one before it */
  };
  uint32_t seq;   /* heap blocks: 0, or the heap's walk number when made during a walk */
  uint32_t flags; /* magic, size class, heap or free state, alive and process-memory bits */
  union {
    BlockPrefix* prev; /* big heap blocks' list */
    uint32_t span;     /* a region block: its bytes, prefix included */
  };
  union {
    BlockPrefix* next; /* big heap blocks' list, process memory's free chains */
    uint32_t before;   /* a region block: the span of the block before it (0 for the first) */
  };
};
static_assert(sizeof(BlockPrefix) == 24, "the prefix keeps blocks 8-byte aligned");

}  // namespace detail
}  // namespace refhost


#if defined(__SANITIZE_ADDRESS__)
#define PUX_HOST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PUX_HOST_SANITIZED 1
#endif
#endif
#ifdef PUX_HOST_SANITIZED
#include <sanitizer/asan_interface.h>
#endif

namespace heapparts HEAP_HIDDEN {

#ifdef PUX_HOST_SANITIZED
constexpr bool kSanitized = true;
/* Bytes of a region that no live block asked for: the sanitizer reports any use of
   them, until they are shown again for a block made there. */
inline void Hide(void* p, size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
inline void Show(void* p, size_t n) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
#else
constexpr bool kSanitized = false;
inline void Hide(void*, size_t) {}
inline void Show(void*, size_t) {}
#endif
/* Process memory in size classes (not under the sanitizer). */
constexpr bool kPooled = !kSanitized;

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
extern std::atomic<jint> gCapacityKind;
extern std::atomic<uint64_t> gKindCapacity;
const uint32_t kHeapMagic = 0x48454150u;

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
extern uint32_t gClassBytes[kClassCount];
/* How many free blocks of a class a thread keeps before giving half back: about
   128 KiB worth, between 8 and 256 blocks. */
extern uint32_t gCacheLimit[kClassCount];

/* ---- settings (heap_hooks.cpp) ---- */

extern std::atomic<uint32_t> gMaxAlloc;
/* From how many bytes of regions on a heap maps its starts (Region). */
const uint32_t kDefaultMapFrom = 16u << 20;
extern std::atomic<uint32_t> gMapFrom;
extern std::atomic<bool> gFill, gPoison;
extern std::atomic<bool> gLeakReports;
extern std::atomic<uint32_t> gLeakReportCount;
extern std::atomic<uint32_t> gRefused;
extern std::atomic<bool> gInjectActive;
bool InjectedRefusal(HHeap* heap, uint32_t size, jint kind);

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
  /* (Under the sanitizer the rest of the class is poisoned.) */
  if (!wholeClass || size > kInlinePattern || kSanitized) {
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
[[noreturn]] void BadFree(const char* what, void* block);

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

/* ---- regions (heap_supply.cpp) ---- */

const uint32_t kRegionBytes = 256u << 10;
/* Runs are huge pages, found by their address's top bits. */
const uint32_t kRunShift = 21;
const uint32_t kHugePage = 1u << kRunShift;
const uint32_t kRunRegions = kHugePage / kRegionBytes;
const uint32_t kArenaBytes = 4u << 20;
/* Free regions of later runs that keep their pages: 4 MiB. */
const uint32_t kKeptMappedRegions = 16;
static_assert(sizeof(void*) == 4, "a table entry for each run of a 32-bit address space");

/* Runs mapped from now on are backed by huge pages (heap_hooks.cpp). */
extern std::atomic<bool> gHugePages;

void* RegionAlloc();
void RegionFree(void* region);
/* Takes the wholly free regions of every heap that is not locked or walked back into the
   supply (heap.cpp); whether any came. */
bool ReclaimFreeRegions();

/* ---- process memory (heap_process.cpp) ---- */

struct ProcessTotals {
  uint32_t blocksAlloc, blocksFreed, bytesAlloc, bytesFreed;
  uint64_t calls;
};
ProcessTotals SumProcess();
inline uint32_t CacheLimit(uint32_t cls) { return gCacheLimit[cls]; }
inline uint32_t CachedBlockBytes(uint32_t cls) { return gClassBytes[cls] + sizeof(BlockPrefix); }

/* What one thread's caches may hold together: the per-class limits alone would let every
   thread of a server keep megabytes of address space. */
const uint32_t kThreadCacheBytes = 512u << 10;

/* Out of line, apart from the caches' own steps: process memory sits on every native
   call's path, and those steps are inlined where HeapAlloc and HeapFree are. */
void DrainCache(ThreadRecord* t, uint32_t cls, uint32_t keep);
void TrimCache(ThreadRecord* t);
BlockPrefix* RefillCache(ThreadRecord* t, uint32_t cls);

inline void* ProcessAlloc(ThreadRecord* t, uint32_t size) {
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
    /* The heaps' free regions go back first: whole runs of them go back to the system. */
    if (!p && ReclaimFreeRegions()) p = (BlockPrefix*)malloc(sizeof(BlockPrefix) + size);
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

inline void ProcessFree(void* block) {
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

__attribute__((format(printf, 2, 3))) inline void AddFault(std::string* faults, const char* format, ...) {
  char line[160];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (faults->size() < 4000) *faults += line;
}

}  // namespace heapparts
using namespace heapparts;

/* PUX_GC_LOG set (not empty): a line on standard error per collection, with its pause
   (the collection benchmark reads them): from the refusal that called for it, or from
   its first heap walk when nothing was refused (a collection asked for). */
extern const bool gCollectionLog;

inline uint64_t MonotonicNs() {
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
  bool TryLock() { return state_.exchange(1, std::memory_order_acquire) == 0; }
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

/* A region of a heap: this head, then blocks end to end, then a fence, a prefix that is
   neither live nor free, where a merge stops. In a heap larger than the caches hold, a
   map beside it tells where blocks start, a bit for each 8 bytes of the region (kept
   apart, so that a region holds as much in any heap): a walk finds the blocks ahead of
   the one it reads without waiting for that one's span (a miss, in such a heap), so
   their prefixes are fetched together. A smaller heap is walked from span to span, its
   prefixes read from the caches, and keeps no map: setting a bit for each block cut
   costs more than the walk would save. */
const uint32_t kMapWords = kRegionBytes / 8 / 32;
struct Region {
  Region* next; /* the heap's regions, in the order made */
  Region* prev;
  uint32_t* starts; /* kMapWords, or NULL; written under the heap's lock, read by walks without it */
  uint32_t unused;
};
static_assert(sizeof(Region) % 8 == 0, "blocks stay 8-byte aligned");
/* The span of the one free block of an empty region. */
const uint32_t kRegionSpan = kRegionBytes - sizeof(Region) - sizeof(BlockPrefix);

inline BlockPrefix* RegionFirst(Region* r) { return (BlockPrefix*)(r + 1); }
inline Region* RegionOf(BlockPrefix* p) { return (Region*)((uintptr_t)p & ~(uintptr_t)(kRegionBytes - 1)); }

/* A block starts at p from now on, or no longer, in a region of a mapped heap; its
   prefix is written first. */
inline void MarkStart(BlockPrefix* p, bool starts) {
  uintptr_t offset = (uintptr_t)p & (kRegionBytes - 1);
  Region* r = RegionOf(p);
  uint32_t w = (uint32_t)(offset >> 8);
  uint32_t bit = 1u << ((offset >> 3) & 31);
  uint32_t word = r->starts[w];
  __atomic_store_n(&r->starts[w], starts ? word | bit : word & ~bit, __ATOMIC_RELEASE);
}
inline BlockPrefix* RegionFence(Region* r) {
  return (BlockPrefix*)((char*)r + kRegionBytes - sizeof(BlockPrefix));
}

/* Free blocks by span: a list per 8 bytes below 1 KiB, where most blocks lie and a freed
   block most often serves the next request of its size as it is; above, eight lists per
   doubling, up to a whole region. */
const uint32_t kExactBins = 128;
const uint32_t kExactBelow = kExactBins * 8;
const uint32_t kBins = kExactBins + 8 * 8;
const uint32_t kBinWords = kBins / 32;
inline uint32_t BinOf(uint32_t span) {
  if (span < kExactBelow) return span >> 3;
  uint32_t p = 31 - __builtin_clz(span);
  return kExactBins + (p - 10) * 8 + ((span >> (p - 3)) & 7);
}
static_assert(kExactBelow == 1u << 10, "the ranged lists start at 1 KiB");
static_assert(kRegionSpan < 1u << 18, "the ranged lists reach a whole region");

/* The flags of a region block that is not live say where it is; a live block has the
   heap's tag in those bits. */
enum : uint32_t {
  kRegionClass = 0xFE,
  kFreeBase = kMagicFree | (kRegionClass << kClassShift),
  kBinned = kFreeBase | (1u << kHeapTagShift),   /* on its bin's list, or held (HHeap) */
  kRun = kFreeBase | (2u << kHeapTagShift),      /* the heap's run (below) */
  kPending = kFreeBase | (3u << kHeapTagShift),  /* freed during a walk, not yet merged and held */
  kAbsorbed = kFreeBase | (4u << kHeapTagShift), /* taken into a pending block: its prefix is inside it */
  kReserved = kFreeBase | (5u << kHeapTagShift), /* a relocation's old or new place, in no list */
  kFence = 0xFE4C0000u,
};

struct HHeap {
  /* What every allocation reads and writes, together in the first cache line (the heap
     is made aligned to one): a program that fills its blocks as it makes them evicts
     the heap between one allocation and the next, one miss for each line. */
  uint32_t magic;
  HeapLock lock;
  /* The free block that requests no list serves exactly are cut from, front first, in no
     list: blocks made one after another lie in a row, as the walks will read them. */
  BlockPrefix* run;
  /* Byte counts of what a 32-bit process holds fit 32 bits; 64-bit ones cost a stall
     on every block (they are added in vector registers, from halves stored apart). */
  uint32_t inUse;       /* requested bytes of live blocks */
  uint32_t charged;     /* what live blocks cost the capacity: their spans */
  uint32_t blocks;
  uint64_t capacity;
  uint32_t walks;       /* walks in progress: frees are deferred meanwhile */
  uint32_t seq;         /* raised by every region block made while a walk runs */
  uint32_t tag;         /* 1-63, stored in each block's flags */
  bool mapped;          /* its regions map their starts (Region) */
  uint64_t refusedSince; /* monotonic ns of a refusal for lack of room with no allocation since */
  uint32_t regionBytes;
  uint32_t bigBytes;    /* big blocks, prefixes included */
  BlockPrefix* first;   /* big blocks, in allocation order */
  BlockPrefix* last;
  Region* regions;      /* in the order made: a walk meets blocks made one after another in that order */
  Region* lastRegion;
  BlockPrefix* bin[kBins];
  uint32_t binMap[kBinWords]; /* the lists that are not empty */
  uint32_t deferred;    /* big blocks freed during walks, still listed */
  uint32_t walkStart;   /* the heap's number as the last walk began (the top if they wrapped) */
  std::atomic<uint32_t> collected;
  std::atomic<jint> sharedAnswer;
  jint kind;
  void* owner;
  struct Relocation* moving;  /* old copies kept until FinishRelocation */
  uint64_t walkSince;    /* monotonic ns of the first walk since the last collection */
  /* Region blocks freed during walks, merged and listed by span as the bins are, but
     apart from them until the last walk ends, when each list goes whole in front of its
     bin: a block is listed while a sweep still has it in the cache, and never read
     again to be freed. */
  bool holding;
  BlockPrefix* held[kBins];
  BlockPrefix* heldTail[kBins];
  HHeap* nextHeap;       /* every heap, for ReclaimFreeRegions */
  HHeap* prevHeap;
};
static_assert(offsetof(HHeap, refusedSince) + sizeof(uint64_t) <= 64, "the allocation path reads one line of the heap");

struct Moved {
  uintptr_t oldBlock;
  uint32_t size;
  BlockPrefix* oldPrefix;
  BlockPrefix* newPrefix;
};
struct Relocation {
  std::vector<Moved> moved;  /* sorted by oldBlock */
};

namespace heapparts HEAP_HIDDEN {

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

/* A walk reads flags and spans without the lock: they are written with release stores. */
inline void SetFlags(BlockPrefix* p, uint32_t flags) { __atomic_store_n(&p->flags, flags, __ATOMIC_RELEASE); }
inline uint32_t LoadFlags(BlockPrefix* p) { return __atomic_load_n(&p->flags, __ATOMIC_ACQUIRE); }
inline void SetSpan(BlockPrefix* p, uint32_t span) { __atomic_store_n(&p->span, span, __ATOMIC_RELEASE); }
inline uint32_t LoadSpan(BlockPrefix* p) { return __atomic_load_n(&p->span, __ATOMIC_ACQUIRE); }

inline BlockPrefix* At(BlockPrefix* p, uint32_t offset) { return (BlockPrefix*)((char*)p + offset); }
inline void MapStart(HHeap* h, BlockPrefix* p, bool starts) {
  if (h->mapped) MarkStart(p, starts);
}
inline BlockPrefix* Before(BlockPrefix* p) { return (BlockPrefix*)((char*)p - p->before); }

inline bool IsBig(const BlockPrefix* p) { return ClassOf(p) == kLargeClass; }

/* A region block's span for size bytes: the body rounded up to 8 bytes (8 at least) and
   the prefix. It is also what the block costs the heap's capacity, whatever slack it was
   cut with. */
inline uint32_t SpanFor(uint32_t size) { return (((size < 8 ? 8 : size) + 7) & ~7u) + sizeof(BlockPrefix); }
/* A free block may be a bare prefix: a live one never is. */
const uint32_t kLeastSpan = sizeof(BlockPrefix);

/* What a live block costs the heap's capacity. */
/* A free region block's body, poisoned under the sanitizer. */
inline void HideBody(BlockPrefix* p) { Hide(BlockOf(p), p->span - sizeof(BlockPrefix)); }

inline uint32_t ChargeOf(const BlockPrefix* p) {
  return IsBig(p) ? p->size + sizeof(BlockPrefix) : SpanFor(p->size);
}

/* ---- the lists of free blocks ----
   Doubly linked, so that a merge takes a neighbour out of the middle of its list; the
   head's back link is left stale, so that taking the head touches no other block. */

inline void MarkBin(HHeap* h, uint32_t b) { h->binMap[b >> 5] |= 1u << (b & 31); }
inline void ClearBin(HHeap* h, uint32_t b) { h->binMap[b >> 5] &= ~(1u << (b & 31)); }

void BinPush(HHeap* h, BlockPrefix* p);
void BinRemove(HHeap* h, BlockPrefix* p);

/* ---- the walks' held lists (heap_walk.cpp) ---- */

void Unlist(HHeap* h, BlockPrefix* p);

/* A block freed during walks, merged, onto the end of its held list: a sweep frees in
   address order, and in that order the places are reused. */
inline void Hold(HHeap* h, BlockPrefix* p) {
  uint32_t b = BinOf(p->span);
  BlockPrefix* tail = h->heldTail[b];
  p->link = nullptr;
  p->back = tail;
  if (tail != nullptr) tail->link = p;
  else h->held[b] = p;
  h->heldTail[b] = p;
  h->holding = true;
  SetFlags(p, kBinned);
}

void MapRegions(HHeap* h);
void DropRegion(HHeap* h, Region* r);

/* Whether a region the merge left wholly free goes back to the process: when the heap
   holds more than its capacity. */
inline bool Spare(HHeap* h, uint32_t span) { return span == kRegionSpan && h->regionBytes > h->capacity; }

void Release(HHeap* h, BlockPrefix* p);

/* A region block freed while a walk runs, its flags pending already, with the heap
   locked: free at once, its place kept from reuse until the last walk ends. It is merged
   with the free blocks beside it now, while a sweep's blocks are still in the cache,
   though walks run: whatever a merge takes in stays unused until the last walk ends, its
   prefix as it is (only its flags change, and its start is cleared from the map), so a
   walk that read a span or a start before lands on a prefix all the same. What results
   is held as a whole, listed once; a free block before it takes it in and is held
   itself. A pending block that is taken in while still in a sweeping thread's batch is
   passed over when the batch comes to the heap. Inlined where a sweep's batch is applied,
   a call per block freed being most of what it costs. */
inline __attribute__((always_inline)) void Defer(HHeap* h, BlockPrefix* p) {
  if (p->flags == kAbsorbed) return;
  uint32_t span = p->span;
  for (;;) {
    BlockPrefix* n = At(p, span);
    uint32_t f = n->flags;
    if (f == kBinned) Unlist(h, n);
    else if (f == kRun) h->run = nullptr;
    else if (f != kPending) break;
    SetFlags(n, kAbsorbed);
    MapStart(h, n, false);
    span += n->span;
  }
  if (p->before != 0) {
    BlockPrefix* q = Before(p);
    uint32_t f = q->flags;
    if (f == kPending || f == kBinned || f == kRun) {
      if (f == kBinned) Unlist(h, q);
      else if (f == kRun) h->run = nullptr;
      SetFlags(p, kAbsorbed);
      MapStart(h, p, false);
      span += q->span;
      At(q, span)->before = span;
      SetSpan(q, span);
      if (f == kPending) return;
      p = q;
    }
  }
  if (span != p->span) {
    At(p, span)->before = span;
    SetSpan(p, span);
  }
  Hold(h, p);
}

/* Unlinks and frees a big block. */
inline void ReleaseBig(HHeap* h, BlockPrefix* p) {
  Unlink(h, p);
  h->bigBytes -= p->size + sizeof(BlockPrefix);
  p->flags = kMagicFree;
  free(p);
}


void ReleaseDeferred(HHeap* h);
void ApplyBatch(HHeap* h, ThreadRecord* t);

/* The calling thread's frees on h, counted before the heap is read or changed. */
inline void SettleOwnFrees(HHeap* h, ThreadRecord* t) {
  if (t->batchHeap == h) ApplyBatch(h, t);
}

void FlushBatch(ThreadRecord* t);

}  // namespace heapparts
