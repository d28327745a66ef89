/* The walks of a heap: its map of where blocks start, blocks freed during walks merged
   and held apart until the last walk ends, and the walk itself. */
#include "heap_internal.h"

using namespace refhost::detail;

namespace heapparts HEAP_HIDDEN {

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

/* Walk numbers restart from 0 once no walk runs and they grew large or wrapped: every
   block's number is cleared, so none can ever look younger than a later walk. */
void RestartWalkNumbers(HHeap* h) {
  for (Region* r = h->regions; r != nullptr; r = r->next)
    for (BlockPrefix* p = RegionFirst(r), *end = RegionFence(r); p < end; p = At(p, p->span))
      if (p->flags & kAlive) p->seq = 0;
  for (BlockPrefix* p = h->first; p != nullptr; p = p->next) p->seq = 0;
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
  /* Below the last walk's number, they wrapped: a block numbered before that would be
     hidden from the next walks, and a big one freed under them taken as younger. */
  if (h->seq > (1u << 30) || h->seq < h->walkStart) RestartWalkNumbers(h);
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

void FlushBatch(ThreadRecord* t) {
  HHeap* h = t->batchHeap;
  if (h == nullptr) return;
  h->lock.Lock();
  ApplyBatch(h, t);
  h->lock.Unlock();
}
}  // namespace heapparts

namespace refhost {
namespace detail {

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
  /* Below the last walk's number: the numbers wrapped while walks ran, and a block made
     before this walk may be numbered past it. No big block freed goes before the walks
     end then, and the numbers start again at their end. */
  h->walkStart = h->walks > 1 && seq < h->walkStart ? UINT32_MAX : seq;
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

}  // namespace detail
}  // namespace refhost
