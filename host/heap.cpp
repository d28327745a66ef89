/* Heaps and process memory.

   Every block carries a hidden 24-byte prefix. Small blocks of process memory come from
   size-class free lists, in a per-thread cache refilled in batches from a shared pool,
   because process memory sits on every native call's path. Big blocks go straight to
   malloc. Under AddressSanitizer every block of process memory is its own malloc, so the
   sanitizer sees overruns and stale uses; a heap keeps its regions, with every byte no
   live block asked for poisoned, so that a read of a block freed or merged is reported.

   A heap's small blocks lie end to end in regions of 256 KiB, each prefix holding its
   block's span and the span of the block before it, so a walk steps through a region in
   address order (in a large heap, from a map of where blocks start, several blocks
   ahead): the collector's walks read memory in a row instead of chasing one scattered
   link per block. The collector never moves a block, and a program's sizes
   change as it runs, so no place may stay tied to the size it was first cut for: a block
   freed is merged with the free blocks beside it, and a free block of any span serves a
   request of any smaller one (lists by span, the best fit first). What a heap holds of the
   process then follows what its live blocks hold: a region is added only when no free
   block fits, neither a region nor a big block comes that would take the heap past twice
   its capacity (regions and big blocks together), and a region wholly free again goes
   back once the heap holds more than its capacity. Only big blocks hang in a list of
   their own. */
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

namespace {

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
std::atomic<jint> gCapacityKind{-1};
std::atomic<uint64_t> gKindCapacity{kDefaultCapacity};
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
/* From how many bytes of regions on a heap maps its starts (Region). */
const uint32_t kDefaultMapFrom = 16u << 20;
std::atomic<uint32_t> gMapFrom{kDefaultMapFrom};
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

/* ---- regions ----

   Heaps keep their small blocks in regions, each aligned to its size, and process
   memory's pool carves from them too. Regions are cut from runs of 2 MiB of address
   space, each aligned to a huge page and the kernel asked to back it with them: a walk
   of a heap reads every region, and on small pages a heap of 64 MiB is 16,384 of them,
   a miss of the translation buffer (and on a virtual machine, a walk of two levels of
   page tables) for each; and a page met for the first time costs a fault of its own,
   microseconds each on a virtual machine. A start-up fills about 4 MiB of regions at
   once (most of it the name space's hash tables), so the first run is that long and
   stays. A region given back waits on a free list for the next heap, so a machine made
   and destroyed again and again meets neither a fault nor a system call; past a few
   megabytes of them, a later run whose regions are all free goes back to the system
   whole, and otherwise the region given back longest ago gives its pages back and
   keeps only its place (and the page that lists it), so that the process does not
   keep what a heap once held, however the heaps' regions lie in the runs; a heap that
   gives up regions after a collection and takes them again as it grows meets the
   regions it gave up last, still whole. (A region unmapped alone would split its run
   into mappings too small for huge pages, for good; a region from malloc would be
   mapped and unmapped by it, or cut from the top of its heap and trimmed again each
   time.) */

const uint32_t kRegionBytes = 256u << 10;
/* Runs are huge pages, found by their address's top bits. */
const uint32_t kRunShift = 21;
const uint32_t kHugePage = 1u << kRunShift;
const uint32_t kRunRegions = kHugePage / kRegionBytes;
const uint32_t kArenaBytes = 4u << 20;
/* Free regions of later runs that keep their pages: 4 MiB. */
const uint32_t kKeptMappedRegions = 16;
static_assert(sizeof(void*) == 4, "a table entry for each run of a 32-bit address space");

/* A free region, listed through its first words; past its first page, a region that
   gave its pages back reads as zeros when next used. */
struct FreeRegion {
  FreeRegion* next;
  FreeRegion* prev;
  bool emptied; /* its pages went back, its place is kept */
};
const uint32_t kListPage = 4096;
/* Free regions, the one given back last at the head. */
struct FreeRegions {
  FreeRegion* head = nullptr;
  FreeRegion* tail = nullptr;
};

struct RegionSupply {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  bool tried = false;
  std::atomic<char*> base{nullptr}; /* the first run, set once under the lock */
  char* next = nullptr;    /* what is left of the newest run */
  uint32_t left = 0;
  FreeRegions warm;        /* regions that keep their pages */
  FreeRegions cold;        /* regions that gave their pages back */
  uint32_t freeMapped = 0; /* how many free regions outside the first run keep their pages */
  uint8_t runFree[1u << (32 - kRunShift)] = {}; /* free regions of each run, by its address */
} gSupply;

inline uint8_t& RunFree(void* region) { return gSupply.runFree[(uintptr_t)region >> kRunShift]; }

/* A run of bytes of address space aligned to a huge page, which the kernel is asked to
   back with huge pages; NULL when the process has no more. */
char* MapRun(uint32_t bytes) {
  size_t span = (size_t)bytes + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  uintptr_t start = ((uintptr_t)raw + kHugePage - 1) & ~(uintptr_t)(kHugePage - 1);
  uintptr_t end = start + bytes;
  if (start > (uintptr_t)raw) munmap(raw, start - (uintptr_t)raw);
  if ((uintptr_t)raw + span > end) munmap((void*)end, (uintptr_t)raw + span - end);
  (void)madvise((void*)start, bytes, MADV_HUGEPAGE);
  return (char*)start;
}

/* A region of the first run was handed out after the run was made, so its start is seen. */
inline bool InArena(void* region) {
  char* base = gSupply.base.load(std::memory_order_acquire);
  return base != nullptr && (char*)region >= base && (char*)region < base + kArenaBytes;
}

inline FreeRegions& ListOf(FreeRegion* r) { return r->emptied ? gSupply.cold : gSupply.warm; }

inline void PushFree(FreeRegions& list, FreeRegion* r) {
  r->prev = nullptr;
  r->next = list.head;
  if (list.head != nullptr) list.head->prev = r; else list.tail = r;
  list.head = r;
}

inline void Unfree(FreeRegion* r) {
  FreeRegions& list = ListOf(r);
  if (r->prev != nullptr) r->prev->next = r->next; else list.head = r->next;
  if (r->next != nullptr) r->next->prev = r->prev; else list.tail = r->prev;
}

/* Takes a run whose regions are all free out of the lists, for the caller to unmap
   once the lock is given back. */
char* TakeWholeRun(void* region) {
  char* run = (char*)((uintptr_t)region & ~(uintptr_t)(kHugePage - 1));
  for (uint32_t i = 0; i < kRunRegions; i++) {
    FreeRegion* g = (FreeRegion*)(run + i * kRegionBytes);
    Unfree(g);
    if (!g->emptied) gSupply.freeMapped--;
  }
  RunFree(run) = 0;
  return run;
}

void* RegionAlloc() {
#ifdef PUX_HOST_SANITIZED
  /* The sanitizer's leak check scans malloc's blocks but not an anonymous mapping, so a
     host object named only from a region would count as leaked; and a region reused
     from the free list would hide a use after its heap is gone. */
  return aligned_alloc(kRegionBytes, kRegionBytes);
#endif
  void* region = nullptr;
  pthread_mutex_lock(&gSupply.lock);
  if (!gSupply.tried) {
    gSupply.tried = true;
    if (char* run = MapRun(kArenaBytes)) {
      gSupply.base.store(run, std::memory_order_release);
      gSupply.next = run;
      gSupply.left = kArenaBytes;
    }
  }
  /* The region given back last: most likely still in the caches, never one that gave
     its pages back while another keeps them. */
  if (FreeRegion* r = gSupply.warm.head != nullptr ? gSupply.warm.head : gSupply.cold.head) {
    Unfree(r);
    RunFree(r)--;
    if (!InArena(r) && !r->emptied) gSupply.freeMapped--;
    region = r;
  } else {
    if (gSupply.left < kRegionBytes) {
      /* Once a page of a run is met the kernel backs the whole run: the process holds
         at most one run more than the regions cut, whatever the number of heaps. */
      if (char* run = MapRun(kHugePage)) {
        gSupply.next = run;
        gSupply.left = kHugePage;
      }
    }
    if (gSupply.left >= kRegionBytes) {
      region = gSupply.next;
      gSupply.next += kRegionBytes;
      gSupply.left -= kRegionBytes;
    }
  }
  pthread_mutex_unlock(&gSupply.lock);
  return region;
}

void RegionFree(void* region) {
#ifdef PUX_HOST_SANITIZED
  Show(region, kRegionBytes);
  free(region);
  return;
#endif
  bool mapped = !InArena(region);
  char* gone = nullptr;
  pthread_mutex_lock(&gSupply.lock);
  FreeRegion* r = (FreeRegion*)region;
  r->emptied = false;
  PushFree(gSupply.warm, r);
  if (mapped) gSupply.freeMapped++;
  if (++RunFree(region) == kRunRegions && mapped && gSupply.freeMapped > kKeptMappedRegions) {
    /* Every region of the run was cut, and none is used. */
    gone = TakeWholeRun(region);
  } else {
    /* Past the regions kept, the one given back longest ago gives its pages back, or
       its whole run when none of the run is used; the mapping stays whole, for huge
       pages. Under the lock, as the next taker may write the region at once. The first
       run's regions keep theirs: at most its sixteen are passed over. */
    for (FreeRegion* old = gSupply.warm.tail; gSupply.freeMapped > kKeptMappedRegions && old != nullptr;) {
      FreeRegion* before = old->prev;
      if (!InArena(old)) {
        if (RunFree(old) == kRunRegions) {
          gone = TakeWholeRun(old);
          break;
        }
        Unfree(old);
        (void)madvise((char*)old + kListPage, kRegionBytes - kListPage, MADV_DONTNEED);
        old->emptied = true;
        PushFree(gSupply.cold, old);
        gSupply.freeMapped--;
      }
      old = before;
    }
  }
  pthread_mutex_unlock(&gSupply.lock);
  if (gone != nullptr) munmap(gone, kHugePage);
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
      char* region = (char*)RegionAlloc();
      if (!region) break;
      gPool.bump = region;
      gPool.bumpLeft = kRegionBytes;
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
/* The same out of line, for the cut on every allocation's path, which keeps its
   registers for itself: the heaps that map are few. */
static __attribute__((noinline)) void MarkStartApart(BlockPrefix* p) { MarkStart(p, true); }
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

void BinPush(HHeap* h, BlockPrefix* p) {
  uint32_t b = BinOf(p->span);
  BlockPrefix* head = h->bin[b];
  p->link = head;
  if (head != nullptr) head->back = p;
  else MarkBin(h, b);
  h->bin[b] = p;
  SetFlags(p, kBinned);
}

void BinRemove(HHeap* h, BlockPrefix* p) {
  uint32_t b = BinOf(p->span);
  if (h->bin[b] == p) {
    h->bin[b] = p->link;
    if (p->link == nullptr) ClearBin(h, b);
  } else {
    p->back->link = p->link;
    if (p->link != nullptr) p->link->back = p->back;
  }
}

/* While walks run: a free block out of its bin or its held list, whichever it is on. */
void Unlist(HHeap* h, BlockPrefix* p) {
  uint32_t b = BinOf(p->span);
  if (h->held[b] == p) {
    h->held[b] = p->link;
    if (p->link == nullptr) h->heldTail[b] = nullptr;
  } else if (h->heldTail[b] == p) {
    p->back->link = nullptr;
    h->heldTail[b] = p->back;
  } else {
    BinRemove(h, p);
  }
}

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

/* The first list from b on that holds a block, or kBins. */
inline uint32_t FirstBinFrom(const HHeap* h, uint32_t b) {
  for (uint32_t w = b >> 5; w < kBinWords; w++) {
    uint32_t bits = h->binMap[w];
    if (w == b >> 5) bits &= ~0u << (b & 31);
    if (bits != 0) return w * 32 + __builtin_ctz(bits);
  }
  return kBins;
}

/* ---- cutting and merging ---- */

/* Cuts span s from the front of free block p, which is in no list: the rest, when it can
   be a block of its own, is made with the given flags and returned; else p is taken whole.
   The rest's prefix is written before p's span shrinks, so a walk that reads p's span
   before or after lands on a prefix either way. */
inline BlockPrefix* Cut(HHeap* h, BlockPrefix* p, uint32_t s, uint32_t restFlags) {
  uint32_t span = p->span;
  if (span - s < kLeastSpan) return nullptr;
  BlockPrefix* rest = At(p, s);
  Show(rest, sizeof(BlockPrefix));
  rest->span = span - s;
  rest->before = s;
  SetFlags(rest, restFlags);
  if (__builtin_expect(h->mapped, false)) MarkStartApart(rest);
  At(rest, span - s)->before = span - s;
  SetSpan(p, s);
  return rest;
}

/* A free block that fits s, out of its list, or NULL. The best fit: within a ranged
   list the first that fits (a few are looked at), then the head of the first list
   above; with no list above, the rest of the ranged list, so that no region is added
   (nor the request refused) while a free block fits. */
BlockPrefix* BestFit(HHeap* h, uint32_t s) {
  uint32_t b = BinOf(s);
  BlockPrefix* unread = nullptr;
  if (b >= kExactBins) {
    int looked = 0;
    BlockPrefix* p = h->bin[b];
    for (; p != nullptr && looked < 16; p = p->link, looked++)
      if (p->span >= s) {
        BinRemove(h, p);
        return p;
      }
    unread = p;
  }
  uint32_t above = FirstBinFrom(h, b + 1);
  if (above == kBins) {
    for (BlockPrefix* p = unread; p != nullptr; p = p->link)
      if (p->span >= s) {
        BinRemove(h, p);
        return p;
      }
    return nullptr;
  }
  BlockPrefix* p = h->bin[above];
  BinRemove(h, p);
  /* The next request that no list serves exactly most often takes the next of these. */
  if (p->link != nullptr) __builtin_prefetch(p->link, 1);
  return p;
}

/* Whether the heap may take bytes more of the process: a heap whose blocks never move
   may need more than its live blocks, but past twice its capacity (regions and big
   blocks together), a refusal (and the collection it calls for) is the better answer. */
inline bool WithinBound(const HHeap* h, uint32_t bytes) {
  /* Halved rather than the capacity doubled: a capacity of 2^63 or more would wrap. */
  uint64_t held = (uint64_t)h->regionBytes + h->bigBytes + bytes;
  return held / 2 + (held & 1) <= h->capacity;
}

/* The heap has grown past what the caches hold: every region maps its starts from now
   on. A walk that runs goes on from span to span; the next one reads the maps. */
void MapRegions(HHeap* h) {
  for (Region* r = h->regions; r != nullptr; r = r->next) {
    r->starts = (uint32_t*)calloc(kMapWords, sizeof(uint32_t));
    if (r->starts == nullptr) {
      /* No memory for the maps: the walks go on from span to span. */
      for (Region* g = h->regions; g != r; g = g->next) {
        free(g->starts);
        g->starts = nullptr;
      }
      return;
    }
  }
  for (Region* r = h->regions; r != nullptr; r = r->next)
    for (BlockPrefix* p = RegionFirst(r), *end = RegionFence(r); p < end; p = At(p, p->span)) MarkStart(p, true);
  h->mapped = true;
}

/* A new region at the end of the heap's list, its one free block in no list; NULL when
   the process has none, or when bounded and past the bound (WithinBound). A walk that
   runs stops at the region that was last when it started, so it never meets this one. */
BlockPrefix* AddRegion(HHeap* h, bool bounded) {
  if (bounded && h->regions != nullptr && !WithinBound(h, kRegionBytes)) return nullptr;
  Region* r = (Region*)RegionAlloc();
  if (r == nullptr) return nullptr;
  r->starts = nullptr;
  if (h->mapped && (r->starts = (uint32_t*)calloc(kMapWords, sizeof(uint32_t))) == nullptr) {
    RegionFree(r);
    return nullptr;
  }
  BlockPrefix* p = RegionFirst(r);
  p->span = kRegionSpan;
  p->before = 0;
  p->flags = kReserved;
  HideBody(p);
  MapStart(h, p, true);
  BlockPrefix* fence = RegionFence(r);
  fence->span = 0;
  fence->before = kRegionSpan;
  fence->flags = kFence;
  r->next = nullptr;
  r->prev = h->lastRegion;
  if (h->lastRegion != nullptr) h->lastRegion->next = r; else h->regions = r;
  h->lastRegion = r;
  h->regionBytes += kRegionBytes;
  if (!h->mapped && h->regionBytes >= gMapFrom.load(std::memory_order_relaxed)) MapRegions(h);
  return p;
}

/* A wholly free region goes back to the process, with no walk running. */
void DropRegion(HHeap* h, Region* r) {
  if (r->prev != nullptr) r->prev->next = r->next; else h->regions = r->next;
  if (r->next != nullptr) r->next->prev = r->prev; else h->lastRegion = r->prev;
  h->regionBytes -= kRegionBytes;
  free(r->starts);
  RegionFree(r);
}

/* Takes span s where no list serves it exactly and the run is too short: the best fit
   among the free blocks, else a new region. The longer of the rest and the run is the
   run from now on, the other goes to its list. */
BlockPrefix* TakeSlow(HHeap* h, uint32_t s, bool bounded) {
  BlockPrefix* p = BestFit(h, s);
  if (p == nullptr) p = AddRegion(h, bounded);
  if (p == nullptr) return nullptr;
  BlockPrefix* rest = Cut(h, p, s, kRun);
  if (rest != nullptr) {
    BlockPrefix* run = h->run;
    if (run == nullptr || run->span < rest->span) {
      if (run != nullptr) BinPush(h, run);
      h->run = rest;
    } else {
      BinPush(h, rest);
    }
  }
  return p;
}

/* Storage of span s (SpanFor) for a region block, with the heap locked; NULL when none
   can be had. It reads as free until its block is made. */
inline BlockPrefix* TakeSpan(HHeap* h, uint32_t s, bool bounded) {
  if (s < kExactBelow) {
    uint32_t b = s >> 3;
    BlockPrefix* p = h->bin[b];
    if (p != nullptr) {
      BlockPrefix* n = p->link;
      h->bin[b] = n;
      /* Freed blocks lie where the program last left them, seldom in the cache: the next
         one is fetched now, while the caller fills this one. */
      if (n != nullptr) __builtin_prefetch(n, 1);
      else ClearBin(h, b);
      return p;
    }
  }
  BlockPrefix* run = h->run;
  if (run != nullptr && run->span >= s) {
    h->run = Cut(h, run, s, kRun);
    return run;
  }
  return TakeSlow(h, s, bounded);
}

/* Whether a region the merge left wholly free goes back to the process: when the heap
   holds more than its capacity. */
inline bool Spare(HHeap* h, uint32_t span) { return span == kRegionSpan && h->regionBytes > h->capacity; }

/* Frees a region block for good, with no walk running: it is merged with the free blocks
   beside it, and what results goes to its list, or stays the run when the run was one of
   them, or goes back to the process when it is a whole region the heap can spare. */
void Release(HHeap* h, BlockPrefix* p) {
  uint32_t span = p->span;
  bool run = false;
  for (;;) {
    BlockPrefix* n = At(p, span);
    uint32_t f = n->flags;
    if (f == kBinned) BinRemove(h, n);
    else if (f == kRun) run = true;
    else break;
    MapStart(h, n, false);
    span += n->span;
  }
  if (p->before != 0) {
    BlockPrefix* q = Before(p);
    uint32_t f = q->flags;
    if (f == kBinned || f == kRun) {
      if (f == kBinned) BinRemove(h, q);
      else run = true;
      MapStart(h, p, false);
      span += q->span;
      p = q;
    }
  }
  p->span = span;
  At(p, span)->before = span;
  HideBody(p);
  if (run) {
    p->flags = kRun;
    h->run = p;
  } else if (Spare(h, span)) {
    DropRegion(h, (Region*)p - 1);
  } else {
    BinPush(h, p);
  }
}

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

/* Walk numbers restart from 0 once no walk runs and they grew large: every region
   block's number is cleared, so none can ever look younger than a later walk. */
void RestartWalkNumbers(HHeap* h) {
  for (Region* r = h->regions; r != nullptr; r = r->next)
    for (BlockPrefix* p = RegionFirst(r), *end = RegionFence(r); p < end; p = At(p, p->span))
      if (p->flags & kAlive) p->seq = 0;
  h->seq = 0;
}

/* With the last walk over: what the walks deferred is merged and freed now. */
void ReleaseDeferred(HHeap* h) {
  if (h->holding) {
    /* Merged and listed already: each held list goes in front of its bin. */
    for (uint32_t b = 0; b < kBins; b++) {
      BlockPrefix* head = h->held[b];
      if (head == nullptr) continue;
      /* The prefixes a merge took in, left for the walks, are poisoned now. */
      for (BlockPrefix* p = head; kSanitized && p != nullptr; p = p->link) HideBody(p);
      BlockPrefix* tail = h->heldTail[b];
      tail->link = h->bin[b];
      if (h->bin[b] != nullptr) h->bin[b]->back = tail;
      else MarkBin(h, b);
      h->bin[b] = head;
      h->held[b] = h->heldTail[b] = nullptr;
    }
    h->holding = false;
    if (h->regionBytes > h->capacity) {
      for (Region* r = h->regions; r != nullptr;) {
        Region* next = r->next;
        BlockPrefix* first = RegionFirst(r);
        if (first->flags == kBinned && Spare(h, first->span)) {
          BinRemove(h, first);
          DropRegion(h, r);
        }
        r = next;
      }
    }
  }
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
    BlockPrefix* next = p->link;
    Defer(h, p);
    p = next;
  }
  t->batchFirst = t->batchLast = nullptr;
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

/* Whether a block of size bytes lives in a region (else it is a big one). */
inline bool InRegion(uint32_t size) { return size <= kLargestPooled; }

/* A big block of charge bytes, listed last, or NULL past the bound. Out of line, as the
   cut is: most blocks are small, and their path keeps its registers for itself. */
__attribute__((noinline)) BlockPrefix* TakeBig(HHeap* h, uint32_t charge) {
  BlockPrefix* p = WithinBound(h, charge) ? (BlockPrefix*)malloc(charge) : nullptr;
  if (p == nullptr) return nullptr;
  /* A walk stops at the list's last block of its start: this one lies past it. */
  p->seq = 0;
  p->next = nullptr;
  p->prev = h->last;
  if (h->last) h->last->next = p; else h->first = p;
  h->last = p;
  h->bigBytes += charge;
  return p;
}

void* HeapAllocOn(HHeap* h, ThreadRecord* t, uint32_t size) {
  uint32_t hash = NextHash(t);
  bool small = InRegion(size);
  uint32_t charge = small ? SpanFor(size) : size + sizeof(BlockPrefix);  /* HeapAlloc refused sizes that would wrap */
  h->lock.Lock();
  SettleOwnFrees(h, t);
  bool room = (uint64_t)h->charged + charge <= h->capacity;
  BlockPrefix* p = nullptr;
  if (room) p = small ? TakeSpan(h, charge, true) : TakeBig(h, charge);
  if (!p) {
    if (!room && gCollectionLog && h->refusedSince == 0) h->refusedSince = MonotonicNs();
    h->lock.Unlock();
    return Refuse();
  }
  /* No refusal since: stored without a test, in the line every allocation writes. */
  h->refusedSince = 0;
  p->size = size;
  p->hash = hash;
  /* A walk visits region blocks with numbers up to the heap's at its start. */
  if (small) p->seq = h->walks ? ++h->seq : 0;
  uint32_t cls = small ? (uint32_t)kRegionClass : (uint32_t)kLargeClass;
  SetFlags(p, kMagicLive | (cls << kClassShift) | (h->tag << kHeapTagShift) | kAlive);
  h->inUse += size;
  h->charged += charge;
  h->blocks++;
  h->lock.Unlock();
  void* block = BlockOf(p);
  if (small) Show(block, size);
  FillNew(block, size, small);
  return block;
}

void HeapFreeOn(HHeap* h, void* block) {
  BlockPrefix* p = CheckedPrefix(block, false);
  if (((p->flags >> kHeapTagShift) & kHeapTagMask) != h->tag) BadFree("a block of another heap", block);
  bool big = IsBig(p);
  PoisonFreed(block, p->size, !big);
  if (!big) HideBody(p);
  ThreadRecord* t = Self();
  if (t->walking == h && !big) {
    /* Freed by a thread walking this heap (a sweep): free at once, so no walk visits
       it again, though its place is not reused before the last walk ends; counted and
       handed to the heap with the next few dozen under one hold of the lock, while
       they and the blocks beside them are still in the first-level cache (a merge
       reads both neighbours). */
    if (t->batchHeap != h) FlushBatch(t);
    t->batchBytes += p->size;
    t->batchCharged += SpanFor(p->size);
    SetFlags(p, kPending);
    /* Over the size, after the flags: a check of the heap that reads a link for a size
       reads the pending flags after it (CheckHeap). The one before is pending already. */
    __atomic_store_n(&p->link, (BlockPrefix*)nullptr, __ATOMIC_RELEASE);
    if (t->batchLast != nullptr) __atomic_store_n(&t->batchLast->link, p, __ATOMIC_RELEASE);
    else t->batchFirst = p;
    t->batchLast = p;
    t->batchHeap = h;
    if (++t->batchCount >= 32) FlushBatch(t);
    return;
  }
  h->lock.Lock();
  SettleOwnFrees(h, t);
  h->inUse -= p->size;
  h->charged -= ChargeOf(p);
  h->blocks--;
  if (h->walks) {
    /* A walk may stand on this block or reach it later: it stays where it is, dead,
       and its place is neither merged nor reused before the last walk ends. */
    if (big) {
      SetFlags(p, p->flags & ~kAlive);
      h->deferred++;
    } else {
      SetFlags(p, kPending);
      Defer(h, p);
    }
  } else if (big) {
    ReleaseBig(h, p);
  } else {
    Release(h, p);
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
  HHeap* h = (HHeap*)aligned_alloc(64, (sizeof(HHeap) + 63) & ~(size_t)63);
  if (!h) return nullptr;
  memset((void*)h, 0, sizeof(HHeap));
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
  for (Region* r = h->regions; r != nullptr;) {
    Region* next = r->next;
    free(r->starts);
    RegionFree(r);
    r = next;
  }
  h->magic = 0;
  h->lock.Unlock();
  free(h);
}

/* Steps through the starts a region's map holds, in address order; a start set or
   cleared meanwhile may be met or not. After the last, NULL (a prefetch of it is
   harmless). */
struct StartCursor {
  explicit StartCursor(Region* r) : region((char*)r), map(r->starts), word(0), bits(0) {}
  BlockPrefix* Next() {
    while (bits == 0) {
      if (word == kMapWords) return nullptr;
      bits = __atomic_load_n(&map[word++], __ATOMIC_ACQUIRE);
    }
    uint32_t i = __builtin_ctz(bits);
    bits &= bits - 1;
    return (BlockPrefix*)(region + ((word - 1) * 256 + i * 8));
  }
  char* region;
  const uint32_t* map;
  uint32_t word, bits;
};
const uint32_t kWalkAhead = 16;
/* A block's prefix and the first words of its body, which the callback reads. */
inline void Fetch(BlockPrefix* p) {
  __builtin_prefetch(p);
  if (((uintptr_t)p & 63) > 64 - sizeof(BlockPrefix) - 16) __builtin_prefetch((char*)p + 63);
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
  /* The blocks that existed at the start are exactly these: region blocks in the
     regions listed now, numbered up to the heap's number now; big ones in the list up to
     its last block now (big blocks are appended). */
  uint32_t seq = h->seq;
  bool byMap = h->mapped;
  Region* regions = h->regions;
  Region* lastRegion = h->lastRegion;
  BlockPrefix* end = h->last;
  BlockPrefix* p = end ? h->first : nullptr;
  /* Nothing a walk reads moves while one runs: a block freed meanwhile stays where it
     is, unused (a merge only lengthens a span over prefixes left as they are, clearing
     their starts from the map), a free block is only cut, its rest made (and mapped)
     before its span shrinks, no region leaves the list, new regions go after the last
     one the walk will read, relocation waits. So the walk goes without the lock, and
     the callback may allocate and free. */
  h->lock.Unlock();
  bool going = true;
  for (Region* r = regions; r != nullptr && going; r = r == lastRegion ? nullptr : r->next) {
    if (byMap) {
      /* The blocks are found from the region's map of starts a few ahead of the one
         read, so that their prefixes are fetched together instead of one miss after
         another. One found and then taken into a merge is read all the same: its prefix
         stays as it is while a walk runs. */
      StartCursor ahead{r};
      BlockPrefix* found[kWalkAhead];
      uint32_t read = 0, made = 0;
      for (BlockPrefix* q; made < kWalkAhead && (q = ahead.Next()) != nullptr; made++) Fetch(found[made] = q);
      while (read < made) {
        BlockPrefix* b = found[read++ % kWalkAhead];
        if (BlockPrefix* q = ahead.Next()) Fetch(found[made++ % kWalkAhead] = q);
        if ((LoadFlags(b) & kAlive) && b->seq <= seq && !cb(BlockOf(b), ctx)) {
          going = false;
          break;
        }
      }
      continue;
    }
    char* stop = (char*)RegionFence(r);
    for (char* q = (char*)RegionFirst(r); q < stop;) {
      BlockPrefix* b = (BlockPrefix*)q;
      uint32_t f = LoadFlags(b);
      uint32_t span = LoadSpan(b);
      /* A few blocks ahead, where the hardware's own fetching falls short (a prefetch
         past the region's end is harmless). */
      __builtin_prefetch(q + 6 * span);
      if ((f & kAlive) && b->seq <= seq && !cb(BlockOf(b), ctx)) {
        going = false;
        break;
      }
      q += span;
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

/* What the heap's live blocks cost its capacity, prefixes and rounding included:
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
  gMapFrom.store(kDefaultMapFrom);
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

void SetStartMapFrom(uint32_t regionBytes) { gMapFrom.store(regionBytes); }

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
  uint64_t n = (uint64_t)h->regionBytes + h->bigBytes;
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

/* Puts storage back where it came from, with the heap locked: a region block waits for
   the walks that run, as any free does. */
void GiveBack(HHeap* h, BlockPrefix* p) {
  if (IsBig(p)) {
    free(p);
    return;
  }
  HideBody(p);
  if (h->walks) {
    SetFlags(p, kPending);
    Defer(h, p);
  } else {
    Release(h, p);
  }
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
  /* Every live block, before any new storage is cut where the region walk would meet it. */
  for (Region* g = h->regions; g != nullptr; g = g->next)
    for (BlockPrefix* p = RegionFirst(g), *end = RegionFence(g); p < end; p = At(p, p->span))
      if (p->flags & kAlive) r->moved.push_back({(uintptr_t)BlockOf(p), p->size, p, nullptr});
  for (BlockPrefix* p = h->first; p; p = p->next) r->moved.push_back({(uintptr_t)BlockOf(p), p->size, p, nullptr});
  /* Take all new storage first, so a failure leaves the heap as it was. New places are
     reserved, neither live nor in a list, until their copies are made. */
  for (Moved& m : r->moved) {
    bool big = IsBig(m.oldPrefix);
    m.newPrefix = big ? (BlockPrefix*)malloc(sizeof(BlockPrefix) + m.size) : TakeSpan(h, SpanFor(m.size), false);
    if (!m.newPrefix) {
      for (Moved& g : r->moved)
        if (g.newPrefix) GiveBack(h, g.newPrefix);
      delete r;
      h->lock.Unlock();
      return 0;
    }
    if (big) m.newPrefix->flags = kMagicFree | (kLargeClass << kClassShift);
    else SetFlags(m.newPrefix, kReserved);
  }
  for (Moved& m : r->moved) {
    BlockPrefix* p = m.oldPrefix;
    BlockPrefix* q = m.newPrefix;
    q->size = p->size;
    q->hash = p->hash;
    q->seq = p->seq;
    if (!IsBig(p)) Show(BlockOf(q), p->size);
    memcpy(BlockOf(q), BlockOf(p), p->size);
    if (IsBig(p)) {
      q->prev = p->prev;
      q->next = p->next;
      if (q->prev) q->prev->next = q; else h->first = q;
      if (q->next) q->next->prev = q; else h->last = q;
      SetFlags(q, p->flags);
      p->flags = kMagicFree | (kLargeClass << kClassShift);
    } else {
      SetFlags(q, p->flags);
      SetFlags(p, kReserved);
    }
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
      bool big = IsBig(m.oldPrefix);
      PoisonFreed(BlockOf(m.oldPrefix), m.size, !big);
      GiveBack(h, m.oldPrefix);
    }
  }
  h->lock.Unlock();
  delete r;
}

namespace {
__attribute__((format(printf, 2, 3))) void AddFault(std::string* faults, const char* format, ...) {
  char line[160];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (faults->size() < 4000) *faults += line;
}
}  // namespace

std::string CheckHeap(HHeap* heap) {
  HHeap* h = CheckedHeap(heap);
  std::string faults;
  h->lock.Lock();
  bool walking = h->walks != 0;
  uint32_t listedFree = 0, live = 0, charged = 0, regionBytes = 0;
  for (Region* r = h->regions; r != nullptr; r = r->next) {
    regionBytes += kRegionBytes;
    uint32_t starts[kMapWords] = {};
    BlockPrefix* fence = RegionFence(r);
    BlockPrefix* p = RegionFirst(r);
    uint32_t before = 0;
    bool freeBefore = false;
    for (; p < fence; p = At(p, p->span)) {
      uint32_t f = LoadFlags(p), span = p->span;
      /* A thread sweeping meanwhile frees without the lock, its flags and then a link
         over the size: a size read after that link comes with flags read after it. */
      uint32_t size = __atomic_load_n(&p->size, __ATOMIC_ACQUIRE);
      if (walking) f = LoadFlags(p);
      if (span < kLeastSpan || (span & 7) != 0 || At(p, span) > fence) {
        AddFault(&faults, "a span of %u at %p (flags %x)\n", span, (void*)p, f);
        break;
      }
      uintptr_t offset = (uintptr_t)p - (uintptr_t)r;
      starts[offset >> 8] |= 1u << ((offset >> 3) & 31);
      if (p->before != before)
        AddFault(&faults, "a back link of %u after a span of %u at %p\n", p->before, before, (void*)p);
      bool isFree = f == kBinned || f == kRun;
      if ((f & kMagicMask) == kMagicLive && (f & kAlive) != 0) {
        live++;
        charged += SpanFor(size);
        if (span < SpanFor(size)) AddFault(&faults, "a live span of %u for %u bytes at %p\n", span, size, (void*)p);
      } else if (f == kBinned) {
        listedFree++;
      } else if (f == kRun) {
        if (h->run != p) AddFault(&faults, "a second run at %p\n", (void*)p);
      } else if (f == kPending || f == kAbsorbed) {
        if (!walking) AddFault(&faults, "flags %x at %p with no walk running\n", f, (void*)p);
      } else if (f == kReserved) {
        if (h->moving == nullptr) AddFault(&faults, "a reserved place at %p with no relocation\n", (void*)p);
      } else {
        AddFault(&faults, "flags %x at %p\n", f, (void*)p);
      }
      if (!walking && isFree && freeBefore) AddFault(&faults, "two free blocks side by side at %p\n", (void*)p);
      freeBefore = isFree;
      before = span;
    }
    if (p == fence && (fence->before != before || fence->flags != kFence))
      AddFault(&faults, "the fence of region %p\n", (void*)r);
    for (uint32_t w = 0; w < kMapWords && h->mapped; w++)
      if (starts[w] != r->starts[w])
        AddFault(&faults, "region %p maps starts %08x where blocks start at %08x\n", (void*)r, r->starts[w],
                 starts[w]);
  }
  if (regionBytes != h->regionBytes)
    AddFault(&faults, "regions of %u bytes counted as %u\n", regionBytes, h->regionBytes);
  uint32_t listed = 0;
  for (uint32_t b = 0; b < kBins; b++) {
    bool marked = (h->binMap[b >> 5] >> (b & 31)) & 1;
    if (marked != (h->bin[b] != nullptr)) AddFault(&faults, "the map bit of list %u\n", b);
    if (!walking && h->held[b] != nullptr) AddFault(&faults, "a block held in list %u with no walk running\n", b);
    for (int kind = 0; kind < 2; kind++) {
      BlockPrefix* last = nullptr;
      for (BlockPrefix* p = kind ? h->held[b] : h->bin[b]; p != nullptr; p = p->link) {
        if (p->flags != kBinned || BinOf(p->span) != b) {
          AddFault(&faults, "list %u holds flags %x and a span of %u\n", b, p->flags, p->span);
          break;
        }
        if (last != nullptr && p->back != last) AddFault(&faults, "a back link in list %u\n", b);
        last = p;
        if (++listed > 10000000) break;
      }
      if (kind && last != h->heldTail[b]) AddFault(&faults, "the held list %u ends elsewhere than its tail\n", b);
    }
  }
  if (listed != listedFree) AddFault(&faults, "%u free blocks listed, %u in the regions\n", listed, listedFree);
  if (h->run != nullptr && h->run->flags != kRun)
    AddFault(&faults, "the run at %p reads flags %x\n", (void*)h->run, h->run->flags);
  uint32_t bigLive = 0, bigCharged = 0;
  for (BlockPrefix* p = h->first; p != nullptr; p = p->next)
    if (p->flags & kAlive) {
      bigLive++;
      bigCharged += p->size + sizeof(BlockPrefix);
    }
  if (!walking && h->moving == nullptr) {
    if (live + bigLive != h->blocks) AddFault(&faults, "%u blocks counted, %u live\n", h->blocks, live + bigLive);
    if (charged + bigCharged != h->charged)
      AddFault(&faults, "%u bytes charged, %u live\n", h->charged, charged + bigCharged);
    if (h->holding) AddFault(&faults, "holding with no walk running\n");
  }
  h->lock.Unlock();
  return faults;
}

std::string CheckRegionSupply() {
  std::string faults;
  if (kSanitized) return faults;
  pthread_mutex_lock(&gSupply.lock);
  std::vector<uint8_t> counted(sizeof gSupply.runFree / sizeof gSupply.runFree[0]);
  uint32_t keeping = 0, listed = 0;
  for (FreeRegions* list : {&gSupply.warm, &gSupply.cold}) {
    bool cold = list == &gSupply.cold;
    FreeRegion* last = nullptr;
    for (FreeRegion* r = list->head; r != nullptr; last = r, r = r->next) {
      if (((uintptr_t)r & (kRegionBytes - 1)) != 0) AddFault(&faults, "a free region at %p\n", (void*)r);
      if (r->prev != last) AddFault(&faults, "the region before %p is not %p\n", (void*)r, (void*)last);
      if (r->emptied != cold) AddFault(&faults, "region %p on the wrong list\n", (void*)r);
      if (InArena(r) && r->emptied) AddFault(&faults, "the first run's region %p gave its pages back\n", (void*)r);
      keeping += !InArena(r) && !r->emptied;
      counted[(uintptr_t)r >> kRunShift]++;
      if (++listed > (1ull << 32) / kRegionBytes) {
        AddFault(&faults, "the free list goes round\n");
        break;
      }
    }
    if (list->tail != last) AddFault(&faults, "a list's last region is not %p\n", (void*)last);
  }
  for (size_t i = 0; i < counted.size(); i++)
    if (counted[i] != gSupply.runFree[i] || counted[i] > kRunRegions)
      AddFault(&faults, "the run at %p counts %u free regions, %u listed\n", (void*)(i << kRunShift),
               gSupply.runFree[i], counted[i]);
  if (keeping != gSupply.freeMapped)
    AddFault(&faults, "%u free regions keep their pages, %u counted\n", keeping, gSupply.freeMapped);
  if (gSupply.freeMapped > kKeptMappedRegions)
    AddFault(&faults, "%u free regions outside the first run keep their pages\n", gSupply.freeMapped);
  pthread_mutex_unlock(&gSupply.lock);
  return faults;
}

}  // namespace refhost
