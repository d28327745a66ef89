/* The supply of regions from the system: runs of address space cut into regions, and
   regions given back kept for the next heap or their pages returned. */
#include "heap_internal.h"

using namespace refhost::detail;

namespace heapparts HEAP_HIDDEN {

/* ---- regions ----

   Heaps keep their small blocks in regions, each aligned to its size, and process
   memory's pool carves from them too. Regions are cut from runs of 2 MiB of address
   space, each aligned to a huge page, and mapped beside the run before, so that the runs
   leave no holes in a 32-bit address space. When the host asks (PUX_HUGE_PAGES), the
   kernel is asked to back runs with huge pages: a walk of a heap reads every region, and
   on small pages a heap of 64 MiB is 16,384 of them, a miss of the translation buffer
   (and on a virtual machine, a walk of two levels of page tables) for each. Not unasked:
   a huge page met for the first time is cleared whole, which costs a program whose heap
   grows more than the misses it saves, and pays only in a heap that lives long and is
   reused. When no run can be had, a region is mapped alone; when not even that, the
   heaps' wholly free regions are taken back before a region is refused (process memory
   would otherwise get nothing while a heap keeps what it no longer uses). A start-up
   fills about 4 MiB of regions at
   once (most of it the name space's hash tables), so the first run is that long and
   stays. A region given back waits on a free list for the next heap, so a machine made
   and destroyed again and again meets neither a fault nor a system call; past a few
   megabytes of them, a later run whose regions are all free goes back to the system
   whole, and otherwise the region given back longest ago gives its pages back and
   keeps only its place (and the page that lists it), so that the process does not
   keep what a heap once held, however the heaps' regions lie in the runs (and the region
   is kept from huge pages from then on, else the kernel's background collapser would
   back it again whole); a heap that
   gives up regions after a collection and takes them again as it grows meets the
   regions it gave up last, still whole. (A region unmapped alone would split its run
   into mappings too small for huge pages, for good; a region from malloc would be
   mapped and unmapped by it, or cut from the top of its heap and trimmed again each
   time.) */



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
  char* low = nullptr;     /* the runs mapped one beside the other last: the next goes beside them */
  char* high = nullptr;
  uint32_t left = 0;
  FreeRegions warm;        /* regions that keep their pages */
  FreeRegions cold;        /* regions that gave their pages back */
  uint32_t freeMapped = 0; /* how many free regions outside the first run keep their pages */
  uint8_t runFree[1u << (32 - kRunShift)] = {}; /* free regions of each run, by its address */
} gSupply;

inline uint8_t& RunFree(void* region) { return gSupply.runFree[(uintptr_t)region >> kRunShift]; }

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

/* bytes of address space at want exactly, or NULL (a kernel that does not know the flag
   takes want as a hint only). */
char* MapAt(uintptr_t want, uint32_t bytes) {
  if (want == 0 || want > UINTPTR_MAX - bytes) return nullptr;
  void* p = mmap((void*)want, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  if ((uintptr_t)p == want) return (char*)p;
  munmap(p, bytes);
  return nullptr;
}

/* bytes of address space aligned to align, or NULL. Mapped as asked when the kernel
   places it aligned (a hole a run left), else mapped longer and trimmed. */
char* MapAligned(uint32_t bytes, uint32_t align) {
  void* raw = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw != MAP_FAILED && ((uintptr_t)raw & (align - 1)) == 0) return (char*)raw;
  if (raw != MAP_FAILED) munmap(raw, bytes);
  size_t span = (size_t)bytes + align;
  raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  uintptr_t start = ((uintptr_t)raw + align - 1) & ~(uintptr_t)(align - 1);
  uintptr_t end = start + bytes;
  if (start > (uintptr_t)raw) munmap(raw, start - (uintptr_t)raw);
  if ((uintptr_t)raw + span > end) munmap((void*)end, (uintptr_t)raw + span - end);
  return (char*)start;
}

/* A run of bytes of address space aligned to a huge page, beside the runs mapped last
   where there is room (a run mapped longer and trimmed would leave a hole beside it that
   no later run fits: half of the address space, run after run); NULL when the process
   has no more. Marked for huge pages when huge, else for small ones: a system that backs
   every mapping with huge pages would back the runs, aligned to them, at the first touch
   whatever the host asked. */
char* MapRun(uint32_t bytes, bool huge) {
  char* run = nullptr;
  if (gSupply.low != nullptr) {
    run = MapAt((uintptr_t)gSupply.low - bytes, bytes);
    if (run == nullptr) run = MapAt((uintptr_t)gSupply.high, bytes);
  }
  if (run == nullptr && (run = MapAligned(bytes, kHugePage)) == nullptr) return nullptr;
  if (run + bytes == gSupply.low) {
    gSupply.low = run;
  } else if (run == gSupply.high) {
    gSupply.high = run + bytes;
  } else {
    gSupply.low = run;
    gSupply.high = run + bytes;
  }
  (void)madvise(run, bytes, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  return run;
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

/* A region from the free lists or the system, or NULL. */
void* TakeRegion() {
#ifdef PUX_HOST_SANITIZED
  /* The sanitizer's leak check scans malloc's blocks but not an anonymous mapping, so a
     host object named only from a region would count as leaked; and a region reused
     from the free list would hide a use after its heap is gone. */
  return aligned_alloc(kRegionBytes, kRegionBytes);
#endif
  void* region = nullptr;
  pthread_mutex_lock(&gSupply.lock);
  bool cold = false;
  if (!gSupply.tried) {
    gSupply.tried = true;
    /* The first run's regions keep their pages, and every machine's start fills most
       of them: two huge pages cost less there than a fault for each small one. */
    if (char* run = MapRun(kArenaBytes, true)) {
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
    cold = r->emptied;
    region = r;
  } else {
    if (gSupply.left < kRegionBytes) {
      /* Once a page of a run is met the kernel backs the whole run: the process holds
         at most one run more than the regions cut, whatever the number of heaps. */
      if (char* run = MapRun(kHugePage, gHugePages.load(std::memory_order_relaxed))) {
        gSupply.next = run;
        gSupply.left = kHugePage;
      } else if (char* alone = MapAligned(kRegionBytes, kRegionBytes)) {
        /* No room for a run: its regions are counted by their place all the same. Regions
           mapped alone one beside the other make one mapping, which may come to hold a
           huge page: kept from them unless asked, as runs are. */
        if (!gHugePages.load(std::memory_order_relaxed)) (void)madvise(alone, kRegionBytes, MADV_NOHUGEPAGE);
        gSupply.next = alone;
        gSupply.left = kRegionBytes;
      }
    }
    if (gSupply.left >= kRegionBytes) {
      region = gSupply.next;
      gSupply.next += kRegionBytes;
      gSupply.left -= kRegionBytes;
    }
  }
  pthread_mutex_unlock(&gSupply.lock);
  /* An emptied region was kept from huge pages (RegionFree): asked for again. */
  if (cold && gHugePages.load(std::memory_order_relaxed)) (void)madvise(region, kRegionBytes, MADV_HUGEPAGE);
  return region;
}

void* RegionAlloc() {
  void* region = TakeRegion();
  /* With the lock given back: the heaps' regions come back through RegionFree. */
  if (region == nullptr && ReclaimFreeRegions()) region = TakeRegion();
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
        (void)madvise(old, kRegionBytes, MADV_NOHUGEPAGE);
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

}  // namespace heapparts

namespace refhost {

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
