/* The heaps' free regions taken back once the address space is spent. */
#include "host_test_util.h"
#include "refhost_internal.h"

#include <sys/mman.h>

#include <vector>

namespace {

class HeapReclaimTest : public HostTest {};

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

}  // namespace
