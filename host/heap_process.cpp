/* Process memory: blocks in size classes, from a per-thread cache refilled in batches
   from a shared pool, since process memory sits on every native call's path. */
#include "heap_internal.h"

using namespace refhost::detail;

namespace heapparts HEAP_HIDDEN {

uint32_t gClassBytes[kClassCount];
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

/* ---- process memory ---- */

struct ProcessPool {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  BlockPrefix* head[kClassCount] = {};
  char* bump = nullptr;
  uint32_t bumpLeft = 0;
} gPool;

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


}  // namespace heapparts

namespace refhost {
namespace detail {

void FlushThreadCache(ThreadRecord* r) {
  for (uint32_t cls = 0; cls < kClassCount; cls++)
    if (r->cache[cls].count) DrainCache(r, cls, 0);
}

}  // namespace detail

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

}  // namespace refhost
