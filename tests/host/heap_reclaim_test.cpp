/* The heaps' free regions taken back once the address space is spent. */
#include "host_test_util.h"
#include "refhost_internal.h"

#include <sys/mman.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

class HeapReclaimTest : public HostTest {};

jboolean HOSTCALL CheckStamp(void* block, void* ctx) {
  auto* bad = (std::atomic<int>*)ctx;
  *bad += *(uint8_t*)block != 0x5A;
  return 1;
}

/* A heap filled with small blocks until the address space is spent, its blocks then
   freed, keeps its regions free within its capacity: a big block asked of it, or of
   another heap, has nowhere else to come from, as a machine's large array after a
   collection emptied its heap of small objects. */
TEST_F(HeapReclaimTest, BigBlocksOfAnyHeapComeFromTheFreeRegionsAHeapKeepsOnceTheAddressSpaceIsSpent) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own bookkeeping needs address space";
#endif
  refhost::SetBlockPatterns(false, false);
  const uint64_t capacity = 4000ull << 20;
  for (bool ownHeap : {false, true}) {
    HHeap* h = host->HeapCreate(nullptr, 2);
    ASSERT_NE(nullptr, h);
    refhost::SetHeapCapacity(h, capacity);
    std::vector<void*> blocks;
    blocks.reserve(capacity / 16000 + 1);
    while (void* b = host->HeapAlloc(h, 16000, 1)) blocks.push_back(b);
    for (void* b : blocks) host->HeapFree(h, b);
    HHeap* other = ownHeap ? h : host->HeapCreate(nullptr, 2);
    ASSERT_NE(nullptr, other);
    refhost::SetHeapCapacity(other, capacity);
    std::vector<void*> bigs;
    for (int i = 0; i < 64; i++)
      if (void* b = host->HeapAlloc(other, 1u << 20, 1)) bigs.push_back(b);
      else break;
    EXPECT_EQ(64u, bigs.size()) << (ownHeap ? "the same heap" : "another heap") << " refused a big block with "
                                << (blocks.size() * 16000 >> 20) << " MB of free regions kept";
    for (void* b : bigs) host->HeapFree(other, b);
    EXPECT_EQ("", refhost::CheckHeap(h));
    if (!ownHeap) host->HeapDestroy(other);
    host->HeapDestroy(h);
    EXPECT_EQ("", refhost::CheckRegionSupply());
  }
}

jboolean HOSTCALL CollectBlock(void* block, void* ctx) {
  ((std::vector<void*>*)ctx)->push_back(block);
  return 1;
}

/* With the address space spent, heaps are made, filled, freed and destroyed on some
   threads while another walks and relocates a heap of its own, process memory takes
   the heaps' free regions back on a third and a fourth takes them back without pause:
   no heap is taken from after its destroy began, no region leaves while a walk reads it,
   and every heap's bookkeeping holds. The free address space left would serve process
   memory by itself: the reclaims that took regions are counted, and must be many. */
TEST_F(HeapReclaimTest, FreeRegionsTakenBackWhileHeapsAreMadeDestroyedWalkedAndRelocated) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own bookkeeping needs address space";
#endif
  HHeap* kept = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, kept);
  std::vector<void*> keptBlocks;
  for (int i = 0; i < 2000; i++)
    if (void* b = host->HeapAlloc(kept, 100 + i % 3000, 1)) {
      memset(b, 0x5A, 100 + i % 3000);
      keptBlocks.push_back(b);
    }
  std::atomic<bool> go{false}, done{false};
  // Each thread stands, its first allocations made (a thread's first takes an arena of
  // the C library's), before the address space is taken.
  std::atomic<int> standing{0};
  std::atomic<int> bad{0}, made{0}, reclaimedServed{0}, reclaims{0}, reclaimsThatTook{0};
  // The threads and their stacks first: the address space is taken once they stand.
  std::vector<std::thread> threads;
  threads.reserve(5);
  for (int t = 0; t < 2; t++)
    threads.emplace_back([&, t] {
      std::mt19937 rng(t);
      std::vector<uint8_t*> blocks;
      blocks.reserve(4000);
      standing++;
      while (!go) usleep(1000);
      while (!done) {
        HHeap* h = host->HeapCreate(nullptr, 2);
        if (h == nullptr) continue;
        made++;
        blocks.clear();
        uint32_t want = 200 + rng() % 3000;
        for (uint32_t i = 0; i < want; i++)
          if (uint8_t* b = (uint8_t*)host->HeapAlloc(h, rng() % 8 == 0 ? 20000 : 16 + rng() % 4000, 1)) {
            *b = (uint8_t)(0x10 + t);
            blocks.push_back(b);
          } else {
            break;
          }
        for (uint8_t* b : blocks) {
          bad += *b != (uint8_t)(0x10 + t);
          host->HeapFree(h, b);
        }
        // Its regions lie free now, for process memory to take back while it goes.
        if (rng() % 2) std::this_thread::yield();
        host->HeapDestroy(h);
      }
    });
  threads.emplace_back([&] {
    standing++;
    while (!go) usleep(1000);
    while (!done) {
      host->HeapWalk(kept, CheckStamp, &bad);
      if (refhost::RelocateHeap(kept) != 0) refhost::FinishRelocation(kept);
    }
  });
  threads.emplace_back([&] {
    std::vector<void*> process;
    process.reserve(2000);
    standing++;
    while (!go) usleep(1000);
    while (!done) {
      for (int i = 0; i < 2000; i++)
        if (void* p = host->HeapAlloc(nullptr, i % 2 ? 3000 : 200000, 1)) process.push_back(p);
        else break;
      reclaimedServed += (int)process.size();
      for (void* p : process) host->HeapFree(nullptr, p);
      process.clear();
    }
  });
  threads.emplace_back([&] {
    standing++;
    while (!go) usleep(1000);
    while (!done) {
      reclaims++;
      if (refhost::ReclaimHeapRegions()) reclaimsThatTook++;
    }
  });
  while (standing.load() < 5) usleep(1000);
  std::vector<std::pair<void*, size_t>> taken = TakeAddressSpace(48u << 20);
  go = true;
  usleep(4000000);
  done = true;
  for (auto& t : threads) t.join();
  for (auto [p, size] : taken) munmap(p, size);
  EXPECT_EQ(0, bad.load());
  EXPECT_GT(made.load(), 10);
  EXPECT_GT(reclaimedServed.load(), 0);
  // A heap's regions lie free once between its blocks' frees and its destroy: reclaims
  // take them for one heap in ten or more however busy the machine, and for none when the
  // reclaim takes nothing.
  EXPECT_GT(reclaimsThatTook.load(), made.load() / 10) << "of " << reclaims.load() << " reclaims, while "
                                                       << made.load() << " heaps were made and destroyed";
  EXPECT_EQ("", refhost::CheckHeap(kept));
  // Relocation moved them: freed where a walk finds them now.
  EXPECT_EQ(keptBlocks.size(), refhost::BlocksInUse(kept));
  keptBlocks.clear();
  host->HeapWalk(kept, CollectBlock, &keptBlocks);
  for (void* b : keptBlocks) host->HeapFree(kept, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(kept));
  host->HeapDestroy(kept);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

/* Pages another library mapped where the heap's next runs would go, beside its runs,
   stay as they were: a run goes where nothing is mapped or elsewhere, never over them. */
TEST_F(HeapReclaimTest, RunsMappedBesideTheLastOnesNeverGoOverAMappingMadeThereMeanwhile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under the sanitizer each region is a block of malloc's";
#endif
  HHeap* h = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, h);
  void* probe = host->HeapAlloc(h, 16000, 1);
  ASSERT_NE(nullptr, probe);
  const uintptr_t slot = (uintptr_t)probe & ~(uintptr_t)((2u << 20) - 1);
  std::vector<uint8_t*> pages;
  for (uintptr_t k = 1; k <= 48; k++)
    for (uintptr_t at : {slot - k * (2u << 20) + (1u << 20), slot + k * (2u << 20) + (1u << 20)}) {
      void* p = mmap((void*)at, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | 0x100000 /* no replace */, -1, 0);
      if (p == MAP_FAILED) continue;
      if ((uintptr_t)p != at) {
        munmap(p, 4096);
        continue;
      }
      memset(p, 0xE7, 4096);
      pages.push_back((uint8_t*)p);
    }
  ASSERT_GT(pages.size(), 8u);
  std::vector<uint8_t*> blocks;
  for (int i = 0; i < 96 * 64; i++)
    if (uint8_t* b = (uint8_t*)host->HeapAlloc(h, 16000, 1)) {
      memset(b, 0x3D, 16000);
      blocks.push_back(b);
    }
  int clobbered = 0, damaged = 0;
  for (uint8_t* p : pages)
    for (int j = 0; j < 4096; j += 512) clobbered += p[j] != 0xE7;
  for (uint8_t* b : blocks)
    for (int j = 0; j < 16000; j += 1000) damaged += b[j] != 0x3D;
  EXPECT_EQ(96u * 64, blocks.size());
  EXPECT_EQ(0, clobbered) << "of " << pages.size() << " pages mapped beside the heap's runs";
  EXPECT_EQ(0, damaged);
  for (uint8_t* b : blocks) host->HeapFree(h, b);
  host->HeapFree(h, probe);
  EXPECT_EQ("", refhost::CheckHeap(h));
  host->HeapDestroy(h);
  for (uint8_t* p : pages) munmap(p, 4096);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

}  // namespace
