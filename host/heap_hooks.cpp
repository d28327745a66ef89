/* The heap's settings and the test hooks that refuse allocations. */
#include "heap_internal.h"

using namespace refhost::detail;

namespace heapparts HEAP_HIDDEN {

std::atomic<jint> gCapacityKind{-1};
std::atomic<uint64_t> gKindCapacity{kDefaultCapacity};

/* ---- settings and injected failures ---- */

std::atomic<uint32_t> gMaxAlloc{kDefaultMaxAlloc};
std::atomic<uint32_t> gMapFrom{kDefaultMapFrom};
std::atomic<bool> gFill{true}, gPoison{true};
/* PUX_HUGE_PAGES set, not empty nor 0: the host asks for huge pages. */
bool HugePagesAsked() {
  const char* text = getenv("PUX_HUGE_PAGES");
  return text != nullptr && *text != 0 && strcmp(text, "0") != 0;
}
std::atomic<bool> gHugePages{HugePagesAsked()};
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


}  // namespace heapparts

namespace refhost {
namespace detail {

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
  gHugePages.store(HugePagesAsked());
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

void SetCapacityOfNewHeaps(jint kind, uint64_t bytes) {
  gKindCapacity.store(bytes);
  gCapacityKind.store(kind);
}

void SetMaxAllocSize(uint32_t bytes) { gMaxAlloc.store(bytes < 10240 ? 10240 : bytes); }

void SetStartMapFrom(uint32_t regionBytes) { gMapFrom.store(regionBytes); }

void SetHugePages(bool on) { gHugePages.store(on); }

bool ReclaimHeapRegions() { return ReclaimFreeRegions(); }

void SetLeakReports(bool on) { gLeakReports.store(on); }
uint32_t LeakReportCount() { return gLeakReportCount.load(); }

void SetBlockPatterns(bool fillNew, bool poisonFreed) {
  gFill.store(fillNew);
  gPoison.store(poisonFreed);
}

}  // namespace refhost
