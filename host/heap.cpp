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
#include "heap_internal.h"

using namespace refhost::detail;

namespace heapparts HEAP_HIDDEN {

[[noreturn]] void BadFree(const char* what, void* block) {
  char text[160];
  snprintf(text, sizeof text, "refhost: HeapFree of %p: %s\n", block, what);
  LogText(text);
  fputs(text, stderr);
  abort();
}

/* The same out of line, for the cut on every allocation's path, which keeps its
   registers for itself: the heaps that map are few. */
static __attribute__((noinline)) void MarkStartApart(BlockPrefix* p) { MarkStart(p, true); }

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

/* Every heap, so that a region refused for want of address space can come from a heap
   that keeps it free: a heap keeps its free regions up to its capacity, and in a 32-bit
   process a heap once full may hold all the address space there is. */
pthread_mutex_t gHeapsLock = PTHREAD_MUTEX_INITIALIZER;
HHeap* gHeaps = nullptr;

/* The wholly free regions of h, locked, back to the supply; whether any went. No region
   leaves a heap while a walk reads it. */
bool DropFreeRegions(HHeap* h) {
  bool any = false;
  for (Region* r = h->walks == 0 ? h->regions : nullptr; r != nullptr;) {
    Region* next = r->next;
    BlockPrefix* first = RegionFirst(r);
    if (first->span == kRegionSpan && (first->flags == kBinned || first->flags == kRun)) {
      if (first->flags == kBinned) BinRemove(h, first);
      else h->run = nullptr;
      DropRegion(h, r);
      any = true;
    }
    r = next;
  }
  return any;
}

bool ReclaimFreeRegions() {
  bool any = false;
  pthread_mutex_lock(&gHeapsLock);
  for (HHeap* h = gHeaps; h != nullptr; h = h->nextHeap) {
    /* Only a heap nobody holds: the caller may hold its own (and then drops its own
       first, if it may), and heaps are taken in no fixed order. */
    if (!h->lock.TryLock()) continue;
    any |= DropFreeRegions(h);
    h->lock.Unlock();
  }
  pthread_mutex_unlock(&gHeapsLock);
  return any;
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

/* Whether a block of size bytes lives in a region (else it is a big one). */
inline bool InRegion(uint32_t size) { return size <= kLargestPooled; }

/* A big block of charge bytes, listed last, or NULL past the bound. Out of line, as the
   cut is: most blocks are small, and their path keeps its registers for itself. */
__attribute__((noinline)) BlockPrefix* TakeBig(HHeap* h, uint32_t charge) {
  if (!WithinBound(h, charge)) return nullptr;
  BlockPrefix* p = (BlockPrefix*)malloc(charge);
  /* The address space spent: a heap keeps its free regions within its capacity, and after
     its small blocks are gone they may hold all there is, this heap's or another's. */
  if (p == nullptr) {
    bool freed = DropFreeRegions(h);
    if (ReclaimFreeRegions() || freed) p = (BlockPrefix*)malloc(charge);
  }
  if (p == nullptr) return nullptr;
  /* A walk stops at the list's last block of its start: this one lies past it. */
  p->next = nullptr;
  p->prev = h->last;
  if (h->last) h->last->next = p; else h->first = p;
  h->last = p;
  h->bigBytes += charge;
  return p;
}

static void* HeapAllocOn(HHeap* h, ThreadRecord* t, uint32_t size) {
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
  /* A walk visits region blocks with numbers up to the heap's at its start; a big block
     numbered past the start of every walk that runs is read by none of them. */
  p->seq = h->walks ? ++h->seq : 0;
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

static void HeapFreeOn(HHeap* h, void* block) {
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
    if (big && p->seq > h->walkStart) {
      /* Made after the last walk began: every walk that runs stops at a block listed
         before it and never reads its link, so it goes now, and a thread that makes and
         frees big blocks while a walk lasts neither holds them nor fills the bound. */
      ReleaseBig(h, p);
    } else if (big) {
      /* Counted in the bound until it goes: the heap holds it. */
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
}  // namespace heapparts

const bool gCollectionLog = [] {
  const char* text = getenv("PUX_GC_LOG");
  return text != nullptr && *text != 0;
}();

namespace refhost {
namespace detail {


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
  pthread_mutex_lock(&gHeapsLock);
  h->nextHeap = gHeaps;
  if (gHeaps != nullptr) gHeaps->prevHeap = h;
  gHeaps = h;
  pthread_mutex_unlock(&gHeapsLock);
  return h;
}

void HOSTCALL HeapDestroy(HHeap* heap) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  refhost::FinishRelocation(h);
  pthread_mutex_lock(&gHeapsLock);
  if (h->prevHeap != nullptr) h->prevHeap->nextHeap = h->nextHeap; else gHeaps = h->nextHeap;
  if (h->nextHeap != nullptr) h->nextHeap->prevHeap = h->prevHeap;
  pthread_mutex_unlock(&gHeapsLock);
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

}  // namespace detail

/* ---- a heap's counts and settings, for tests ---- */

void SetHeapCapacity(HHeap* heap, uint64_t bytes) {
  if (!heap) return;
  HHeap* h = CheckedHeap(heap);
  h->lock.Lock();
  h->capacity = bytes;
  h->lock.Unlock();
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

}  // namespace refhost
