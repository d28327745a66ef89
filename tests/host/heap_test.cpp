/* Heaps and process memory of the reference host. */
#include "host_test_util.h"
#include "refhost_internal.h"

#include <malloc.h>
#include <pthread.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string.h>
#include <sys/mman.h>
#include <sys/single_threaded.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

/* The heaps of these cases map their starts from the first region (a heap the caches
   hold is walked from span to span, as the machine's tests mostly do); every case ends
   with the heap's own bookkeeping checked (refhost::CheckHeap). */
class HeapTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    refhost::SetStartMapFrom(0);
    heap = host->HeapCreate(nullptr, 2);
    ASSERT_NE(nullptr, heap);
  }
  void TearDown() override {
    if (heap) {
      EXPECT_EQ("", refhost::CheckHeap(heap));
      host->HeapDestroy(heap);
    }
    HostTest::TearDown();
  }
  HHeap* heap = nullptr;
};

/* Each thread stamps its blocks with its own byte and checks them before freeing: two
   blocks handed out over each other, or a block handed out twice, show up as a foreign
   stamp. */
void Churn(JNIHostFunctions* host, HHeap* heap, unsigned seed, std::atomic<int>* damaged) {
  std::mt19937 rng(seed);
  std::vector<std::pair<uint8_t*, uint32_t>> live;
  const uint8_t stamp = (uint8_t)(seed * 7 + 1);
  for (int i = 0; i < 20000; i++) {
    if (live.size() < 200 && (rng() % 3 != 0 || live.empty())) {
      uint32_t size = rng() % 8 == 0 ? rng() % 40000 : rng() % 300;
      uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
      if (!b) {
        damaged->fetch_add(1);
        continue;
      }
      if (((uintptr_t)b & 7) != 0) damaged->fetch_add(1);
      memset(b, stamp, size);
      live.push_back({b, size});
    } else {
      size_t k = rng() % live.size();
      auto [b, size] = live[k];
      for (uint32_t j = 0; j < size; j++)
        if (b[j] != stamp) {
          damaged->fetch_add(1);
          break;
        }
      host->HeapFree(heap, b);
      live[k] = live.back();
      live.pop_back();
    }
  }
  for (auto [b, size] : live) host->HeapFree(heap, b);
}

TEST_F(HeapTest, ConcurrentAllocationKeepsBlocksApartAndStatisticsReturnToZero) {
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  uint64_t processBytes = refhost::BytesInUse(nullptr);
  std::atomic<int> damaged{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 4; t++) threads.emplace_back(Churn, host, heap, t + 1, &damaged);
  for (unsigned t = 0; t < 3; t++) threads.emplace_back(Churn, host, nullptr, t + 11, &damaged);
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, damaged.load());
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));
  EXPECT_EQ(processBytes, refhost::BytesInUse(nullptr));
}

TEST_F(HeapTest, ProcessMemoryFreedOnAnotherThreadIsCountedOnce) {
  uint32_t before = refhost::BlocksInUse(nullptr);
  uint64_t bytesBefore = refhost::BytesInUse(nullptr);
  std::vector<void*> blocks;
  std::thread maker([&] {
    for (int i = 0; i < 1000; i++) blocks.push_back(host->HeapAlloc(nullptr, 32, 0));
  });
  maker.join();  // the allocating thread is gone; its cache went back to the pool
  EXPECT_EQ(before + 1000, refhost::BlocksInUse(nullptr));
  EXPECT_EQ(bytesBefore + 32000u, refhost::BytesInUse(nullptr));
  std::set<void*> distinct(blocks.begin(), blocks.end());
  EXPECT_EQ(1000u, distinct.size());
  for (void* b : blocks) host->HeapFree(nullptr, b);
  EXPECT_EQ(before, refhost::BlocksInUse(nullptr));
}

/* The statistics count the bytes asked for; the capacity counts what the blocks cost,
   each block rounded up to 8 bytes with its 24-byte prefix (HeapBytesInUse answers that). */
TEST_F(HeapTest, StatisticsCountRequestedBytesAndCapacityCountsWholeSlots) {
  EXPECT_EQ(256ull << 20, host->HeapTotalBytes(heap));
  void* a = host->HeapAlloc(heap, 13, 1);
  void* b = host->HeapAlloc(heap, 1000, 1);
  void* z = host->HeapAlloc(heap, 0, 1);
  ASSERT_TRUE(a && b && z);
  EXPECT_EQ(1013u, refhost::BytesInUse(heap));
  EXPECT_EQ(3u, refhost::BlocksInUse(heap));
  uint64_t charged = host->HeapBytesInUse(heap);
  EXPECT_GE(charged, 1013u + 3 * 24);
  EXPECT_LE(charged, 1013u + 3 * 24 + 7 + 8 + 1000 / 4);

  // 96 bytes left: a block of 72 and its prefix fill them; 80 or 88 would fit in
  // requested bytes alone, not with their prefixes.
  refhost::SetHeapCapacity(heap, charged + 96);
  EXPECT_EQ(charged + 96, host->HeapTotalBytes(heap));
  uint64_t refused = refhost::RefusedCount();
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 88, 0));
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 80, 0));
  EXPECT_EQ(refused + 2, refhost::RefusedCount());
  void* c = host->HeapAlloc(heap, 72, 0);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(host->HeapTotalBytes(heap), host->HeapBytesInUse(heap));
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 0, 0));  // even an empty block has a prefix
  host->HeapFree(heap, b);
  EXPECT_EQ(85u, refhost::BytesInUse(heap));
  EXPECT_LE(host->HeapBytesInUse(heap) + 1024, host->HeapTotalBytes(heap));
  host->HeapFree(heap, a);
  host->HeapFree(heap, c);
  host->HeapFree(heap, z);
  host->HeapFree(heap, nullptr);
  host->HeapFree(nullptr, nullptr);
  EXPECT_EQ(0u, refhost::BytesInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

TEST_F(HeapTest, LargestBlockIsSettableButNeverBelowTheFloor) {
  EXPECT_EQ(16u << 20, host->GetMaxAllocSize());
  void* big = host->HeapAlloc(heap, 16u << 20, 1);
  EXPECT_NE(nullptr, big);
  host->HeapFree(heap, big);
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, (16u << 20) + 1, 1));
  EXPECT_EQ(nullptr, host->HeapAlloc(nullptr, (16u << 20) + 1, 1));
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 0xFFFFFFFFu, 1));

  // Raised to the whole 32-bit range, the largest requests must still be refused rather
  // than wrap the block's size with its hidden prefix.
  refhost::SetMaxAllocSize(0xFFFFFFFFu);
  for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu - 23u}) {
    EXPECT_EQ(nullptr, host->HeapAlloc(nullptr, size, 1)) << size;
    EXPECT_EQ(nullptr, host->HeapAlloc(heap, size, 1)) << size;
  }

  refhost::SetMaxAllocSize(100);
  EXPECT_EQ(10240u, host->GetMaxAllocSize());
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 10241, 1));
  void* edge = host->HeapAlloc(heap, 10240, 1);
  EXPECT_NE(nullptr, edge);
  host->HeapFree(heap, edge);
}

TEST_F(HeapTest, NewBlocksAreNotZeroed) {
  uint8_t* b = (uint8_t*)host->HeapAlloc(heap, 64, 1);
  uint8_t* p = (uint8_t*)host->HeapAlloc(nullptr, 64, 1);
  ASSERT_TRUE(b && p);
  for (int i = 0; i < 64; i++) {
    EXPECT_EQ(0xCD, b[i]);
    EXPECT_EQ(0xCD, p[i]);
  }
  host->HeapFree(heap, b);
  host->HeapFree(nullptr, p);
}

/* Blocks up to a kilobyte are patterned in line, in 16- and 8-byte stores over their
   size class: at every size around those steps, both kinds of memory, a new block reads
   the fill over all its bytes, and neither its fill nor its poisoning when freed reaches
   into the block made just before it, nor past its own slot (the next block's prefix is
   checked when that one is freed). */
TEST_F(HeapTest, PatternsCoverEveryByteOfABlockAndNoMore) {
  for (HHeap* on : {heap, (HHeap*)nullptr}) {
    for (uint32_t size = 1; size <= 1100; size++) {
      uint8_t* a = (uint8_t*)host->HeapAlloc(on, size, 1);
      ASSERT_NE(nullptr, a) << size;
      memset(a, 0x11, size);
      uint8_t* b = (uint8_t*)host->HeapAlloc(on, size, 1);
      uint8_t* c = (uint8_t*)host->HeapAlloc(on, size, 1);
      ASSERT_TRUE(b && c) << size;
      memset(c, 0x22, size);
      uint32_t bad = 0;
      for (uint32_t i = 0; i < size; i++) bad += b[i] != 0xCD;
      host->HeapFree(on, b);
      for (uint32_t i = 0; i < size; i++) bad += (a[i] != 0x11) + (c[i] != 0x22);
      EXPECT_EQ(0u, bad) << size;
      host->HeapFree(on, c);
      host->HeapFree(on, a);
    }
  }
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* Threads make and free blocks of the sizes a machine's bodies use most (a piece and
   its header, an array's first block) and of the sizes at the edge of in-line patterning,
   all at once: every new block reads the fill whole, every block keeps its owner's
   stamp until freed, and a walk after the churn meets each block still live once. */
std::atomic<int> walkDamage{0};
jboolean HOSTCALL CountVisit(void* block, void* ctx) {
  auto* seen = (std::map<void*, int>*)ctx;
  if (++(*seen)[block] != 1) walkDamage.fetch_add(1);
  return 1;
}

TEST_F(HeapTest, ThreadsChurningTheCommonSizesKeepFillsStampsAndWalks) {
  const uint32_t sizes[] = {240, 256, 263, 264, 265, 272, 273, 296, 864, 884, 896, 897, 1016, 1017, 1024, 1025, 1030};
  for (int round = 0; round < 3; round++) {
    std::atomic<int> damaged{0};
    std::vector<std::vector<std::pair<uint8_t*, uint32_t>>> kept(6);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 6; t++)
      threads.emplace_back([&, t] {
        std::mt19937 rng(round * 16 + t);
        const uint8_t stamp = (uint8_t)(t * 37 + 5);
        auto& live = kept[t];
        for (int i = 0; i < 6000; i++) {
          if (live.size() < 300 && (rng() % 3 != 0 || live.empty())) {
            uint32_t size = sizes[rng() % (sizeof sizes / sizeof sizes[0])];
            uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
            if (!b) {
              damaged.fetch_add(1);
              continue;
            }
            for (uint32_t j = 0; j < size; j++)
              if (b[j] != 0xCD) {
                damaged.fetch_add(1);
                break;
              }
            memset(b, stamp, size);
            live.push_back({b, size});
          } else {
            size_t k = rng() % live.size();
            auto [b, size] = live[k];
            for (uint32_t j = 0; j < size; j++)
              if (b[j] != stamp) {
                damaged.fetch_add(1);
                break;
              }
            host->HeapFree(heap, b);
            live[k] = live.back();
            live.pop_back();
          }
        }
      });
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, damaged.load()) << round;
    std::map<void*, int> seen;
    walkDamage = 0;
    host->HeapWalk(heap, CountVisit, &seen);
    EXPECT_EQ(0, walkDamage.load());
    size_t expected = 0;
    for (auto& live : kept) {
      expected += live.size();
      for (auto& [b, size] : live) {
        EXPECT_EQ(1u, seen.count(b));
        host->HeapFree(heap, b);
      }
    }
    EXPECT_EQ(expected, seen.size()) << round;
    EXPECT_EQ(0u, refhost::BlocksInUse(heap)) << round;
  }
}

TEST_F(HeapTest, SharedAnswerFollowsTheKindAndIsSettable) {
  HHeap* shared = host->HeapCreate(nullptr, 1);
  EXPECT_EQ(1, host->IsSharedHeap(shared));
  EXPECT_EQ(0, host->IsSharedHeap(heap));
  EXPECT_EQ(0, host->IsSharedHeap(nullptr));
  refhost::SetSharedAnswer(shared, 2);
  EXPECT_EQ(2, host->IsSharedHeap(shared));
  host->HeapDestroy(shared);
}

TEST_F(HeapTest, IdentityHashesAreStableAndNotAddresses) {
  std::map<void*, jint> codes;
  std::set<jint> distinct;
  for (int i = 0; i < 5000; i++) {
    void* b = host->HeapAlloc(heap, 24, 1);
    jint h = host->ObjectHashCode(heap, b);
    EXPECT_NE(0, h);
    codes[b] = h;
    distinct.insert(h);
  }
  EXPECT_GT(distinct.size(), 4990u);
  for (auto& [b, h] : codes) {
    memset(b, 0x55, 24);  // the machine owns every byte of the block
    EXPECT_EQ(h, host->ObjectHashCode(heap, b));
  }
  // A block that reuses a freed block's place is another object with another code.
  void* first = codes.begin()->first;
  jint old = codes.begin()->second;
  host->HeapFree(heap, first);
  void* again = host->HeapAlloc(heap, 24, 1);
  // A freed block is the next one of its size handed out.
  ASSERT_EQ(first, again);
  EXPECT_NE(old, host->ObjectHashCode(heap, again));
  void* p = host->HeapAlloc(nullptr, 24, 1);
  EXPECT_EQ(host->ObjectHashCode(nullptr, p), host->ObjectHashCode(nullptr, p));
  host->HeapFree(nullptr, p);
}

TEST_F(HeapTest, DestroyReleasesLiveBlocksAndReportsThem) {
  refhost::SetCapture(true);
  refhost::SetLeakReports(true);
  HHeap* h = host->HeapCreate(nullptr, 2);
  for (int i = 0; i < 100; i++) host->HeapAlloc(h, 50000 * (i % 2) + 16, 1);
  host->HeapDestroy(h);
  EXPECT_EQ(1u, refhost::LeakReportCount());
  EXPECT_NE(std::string::npos, refhost::CapturedLog().find("100 live blocks"));
  HHeap* empty = host->HeapCreate(nullptr, 2);
  host->HeapFree(empty, host->HeapAlloc(empty, 8, 1));
  host->HeapDestroy(empty);
  EXPECT_EQ(1u, refhost::LeakReportCount());
}

TEST_F(HeapTest, CollectionsAreCounted) {
  host->HeapCollected(heap);
  host->HeapCollected(heap);
  EXPECT_EQ(2u, refhost::CollectedCount(heap));
}

TEST_F(HeapTest, FailureInjection) {
  uint64_t count = refhost::AllocationCount();
  refhost::FailNthAllocation(3);
  void* a = host->HeapAlloc(heap, 8, 0);
  void* b = host->HeapAlloc(nullptr, 8, 0);
  void* c = host->HeapAlloc(heap, 8, 0);
  void* d = host->HeapAlloc(heap, 8, 0);
  EXPECT_TRUE(a && b && !c && d);
  EXPECT_EQ(count + 4, refhost::AllocationCount());
  host->HeapFree(heap, a);
  host->HeapFree(nullptr, b);
  host->HeapFree(heap, d);

  refhost::ResetHooks();
  refhost::FailEveryNthAllocation(2);
  std::vector<bool> got;
  for (int i = 0; i < 6; i++) {
    void* x = host->HeapAlloc(heap, 8, 1);
    got.push_back(x != nullptr);
    host->HeapFree(heap, x);
  }
  EXPECT_EQ((std::vector<bool>{true, false, true, false, true, false}), got);

  refhost::ResetHooks();
  refhost::FailNextAllocations(2);
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 8, 1));
  EXPECT_EQ(nullptr, host->HeapAlloc(nullptr, 8, 1));
  void* e = host->HeapAlloc(heap, 8, 1);
  EXPECT_NE(nullptr, e);
  host->HeapFree(heap, e);

  refhost::ResetHooks();
  refhost::FailAllocationsAbove(100);
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 101, 1));
  void* f = host->HeapAlloc(heap, 100, 1);
  EXPECT_NE(nullptr, f);
  host->HeapFree(heap, f);

  refhost::ResetHooks();
  refhost::FailAboveByteBudget(true, 1000);
  void* g = host->HeapAlloc(heap, 600, 1);
  EXPECT_NE(nullptr, g);
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 401, 1));  // refused requests spend nothing
  void* i = host->HeapAlloc(nullptr, 400, 1);
  EXPECT_NE(nullptr, i);
  host->HeapFree(heap, g);  // freeing gives nothing back to the budget
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 1, 1));
  host->HeapFree(nullptr, i);
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

TEST_F(HeapTest, FailureInjectionScopedToOneHeapAndKind) {
  HHeap* other = host->HeapCreate(nullptr, 2);
  refhost::SetFailureScope(true, heap, 0);
  refhost::FailNextAllocations(1);
  void* fast = host->HeapAlloc(heap, 8, 1);      // other kind: neither fails nor counts
  void* elsewhere = host->HeapAlloc(other, 8, 0);
  void* proc = host->HeapAlloc(nullptr, 8, 0);
  EXPECT_TRUE(fast && elsewhere && proc);
  EXPECT_EQ(nullptr, host->HeapAlloc(heap, 8, 0));
  void* later = host->HeapAlloc(heap, 8, 0);
  EXPECT_NE(nullptr, later);
  host->HeapFree(heap, fast);
  host->HeapFree(heap, later);
  host->HeapFree(nullptr, proc);
  host->HeapDestroy(other);
}

/* ---- walks ---- */

struct WalkLog {
  JNIHostFunctions* host;
  HHeap* heap;
  std::vector<void*> seen;
  std::function<void(void*)> onVisit;
};

jboolean HOSTCALL Record(void* block, void* ctx) {
  WalkLog* log = (WalkLog*)ctx;
  log->seen.push_back(block);
  if (log->onVisit) log->onVisit(block);
  return 1;
}

jboolean HOSTCALL StopAtThree(void*, void* ctx) { return ++*(int*)ctx < 3; }

std::vector<void*> Walk(JNIHostFunctions* host, HHeap* heap) {
  WalkLog log{host, heap, {}, nullptr};
  host->HeapWalk(heap, Record, &log);
  return log.seen;
}

TEST_F(HeapTest, WalkVisitsBlocksOfItsStartAndToleratesChanges) {
  std::vector<void*> blocks;
  for (int i = 0; i < 50; i++) blocks.push_back(host->HeapAlloc(heap, 16 + i * 40, 1));
  std::vector<void*> added;
  std::set<void*> freedAhead;
  size_t freedSelf = 0;
  WalkLog log{host, heap, {}, nullptr};
  log.onVisit = [&](void* b) {
    // Allocating during the walk (finalizers do) must not make the walk see the new blocks.
    added.push_back(host->HeapAlloc(heap, 40, 1));
    // Free the visited block itself, and one not yet reached, which must then be skipped.
    size_t i = std::find(blocks.begin(), blocks.end(), b) - blocks.begin();
    if (i < blocks.size() && i % 5 == 0) {
      host->HeapFree(heap, b);
      freedSelf++;
      for (void* ahead : blocks)
        if (ahead != b && !freedAhead.count(ahead) &&
            std::find(log.seen.begin(), log.seen.end(), ahead) == log.seen.end()) {
          host->HeapFree(heap, ahead);
          freedAhead.insert(ahead);
          break;
        }
    }
  };
  host->HeapWalk(heap, Record, &log);
  std::set<void*> seen(log.seen.begin(), log.seen.end());
  EXPECT_EQ(log.seen.size(), seen.size()) << "a block was visited twice";
  for (void* b : blocks) EXPECT_EQ(freedAhead.count(b) ? 0u : 1u, seen.count(b));
  for (void* b : added) EXPECT_EQ(0u, seen.count(b));
  EXPECT_EQ(50u - freedSelf - freedAhead.size() + added.size(), refhost::BlocksInUse(heap));
  EXPECT_GE(freedSelf, 5u);
  EXPECT_GE(freedAhead.size(), 5u);

  // The frees deferred during the walk are real afterwards: a new walk sees survivors only.
  std::vector<void*> after = Walk(host, heap);
  EXPECT_EQ(refhost::BlocksInUse(heap), after.size());
  for (void* b : after) EXPECT_EQ(0u, freedAhead.count(b));
}

TEST_F(HeapTest, NestedWalksAndEarlyStop) {
  for (int i = 0; i < 10; i++) host->HeapAlloc(heap, 32, 1);
  int outer = 0;
  size_t innerTotal = 0;
  WalkLog log{host, heap, {}, nullptr};
  log.onVisit = [&](void* b) {
    outer++;
    if (outer == 3) {
      // A collection started from a finalizer: allocates, walks again, frees.
      void* fresh = host->HeapAlloc(heap, 32, 1);
      std::vector<void*> inner = Walk(host, heap);
      innerTotal = inner.size();
      EXPECT_NE(inner.end(), std::find(inner.begin(), inner.end(), fresh));
      host->HeapFree(heap, b);
      host->HeapFree(heap, fresh);
      EXPECT_EQ(9u, Walk(host, heap).size());
    }
  };
  host->HeapWalk(heap, Record, &log);
  EXPECT_EQ(10, outer);
  EXPECT_EQ(11u, innerTotal);
  EXPECT_EQ(9u, Walk(host, heap).size());

  int calls = 0;
  host->HeapWalk(heap, StopAtThree, &calls);
  EXPECT_EQ(3, calls);
  host->HeapWalk(heap, nullptr, nullptr);
}

TEST_F(HeapTest, WalkWhileOtherThreadsAllocateAndFree) {
  std::vector<void*> start;
  for (int i = 0; i < 2000; i++) start.push_back(host->HeapAlloc(heap, 24, 1));
  std::atomic<bool> done{false};
  std::atomic<int> damaged{0};
  std::thread churn([&] {
    Churn(host, heap, 99, &damaged);
    done = true;
  });
  int walks = 0;
  while (!done || walks < 3) {
    std::vector<void*> seen = Walk(host, heap);
    std::set<void*> unique(seen.begin(), seen.end());
    EXPECT_EQ(seen.size(), unique.size());
    for (void* b : start) EXPECT_EQ(1u, unique.count(b));
    walks++;
  }
  churn.join();
  EXPECT_EQ(0, damaged.load());
  for (void* b : start) host->HeapFree(heap, b);
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
  EXPECT_EQ(0u, Walk(host, heap).size());
}

/* Several threads walk one heap at once, nest a second walk inside their callbacks, and
   allocate and free there, as finalizers started from collections on several machines
   of one name space do: every walk sees each block at most once, never a block its own
   thread freed before reaching it, and the heap is empty again at the end. */
TEST_F(HeapTest, ConcurrentNestedWalksWithFrees) {
  const int kThreads = 6, kRounds = 60;
  std::atomic<int> broken{0};
  std::vector<std::thread> walkers;
  for (int t = 0; t < kThreads; t++) {
    walkers.emplace_back([&, t] {
      std::mt19937 rng(t + 1);
      for (int round = 0; round < kRounds; round++) {
        std::vector<void*> own;
        for (int i = 0; i < 30; i++) own.push_back(host->HeapAlloc(heap, 16 + rng() % 200, 1));
        std::set<void*> freedAhead;
        std::vector<void*> extra;
        int depth = 0;
        WalkLog log{host, heap, {}, nullptr};
        log.onVisit = [&](void* b) {
          if (freedAhead.count(b)) broken++;
          extra.push_back(host->HeapAlloc(heap, 24, 1));
          if (!own.empty() && rng() % 4 == 0) {
            void* victim = own.back();
            own.pop_back();
            host->HeapFree(heap, victim);
            freedAhead.insert(victim);
          }
          if (depth == 0 && rng() % 16 == 0) {
            depth++;
            std::vector<void*> inner = Walk(host, heap);
            std::set<void*> unique(inner.begin(), inner.end());
            if (unique.size() != inner.size()) broken++;
            for (void* f : freedAhead)
              if (unique.count(f)) broken++;
            depth--;
          }
        };
        host->HeapWalk(heap, Record, &log);
        std::set<void*> seen(log.seen.begin(), log.seen.end());
        if (seen.size() != log.seen.size()) broken++;
        for (void* b : own) host->HeapFree(heap, b);
        for (void* b : extra) host->HeapFree(heap, b);
      }
    });
  }
  for (auto& w : walkers) w.join();
  EXPECT_EQ(0, broken.load());
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
  EXPECT_EQ(0u, Walk(host, heap).size());
}

/* A thread-exit destructor that runs after the host's own (here in the second round of
   destructors) still gets process memory, without refilling a cache that nobody will
   ever give back. */
pthread_key_t gLateKey;
void* gLateBlock = nullptr;
refhost::detail::ThreadRecord* gLateRecord = nullptr;
void LateDestructor(void* value) {
  if (value == (void*)1) {
    pthread_setspecific(gLateKey, (void*)2);  // once more, after every first-round destructor
    return;
  }
  gLateBlock = refhost::Functions()->HeapAlloc(nullptr, 40, 1);
}

TEST_F(HeapTest, AnEndedThreadKeepsNoCache) {
  ASSERT_EQ(0, pthread_key_create(&gLateKey, LateDestructor));
  std::thread([] {
    gLateRecord = refhost::detail::Self();
    refhost::Functions()->HeapFree(nullptr, refhost::Functions()->HeapAlloc(nullptr, 8, 1));
    pthread_setspecific(gLateKey, (void*)1);
  }).join();
  ASSERT_NE(nullptr, gLateBlock);
  ASSERT_NE(nullptr, gLateRecord);
  uint32_t cached = 0;
  for (uint32_t cls = 0; cls < refhost::detail::kClassCount; cls++) cached += gLateRecord->cache[cls].count;
  EXPECT_EQ(0u, cached) << "blocks left in the cache of an ended thread";
  host->HeapFree(nullptr, gLateBlock);
  pthread_key_delete(gLateKey);
}

TEST_F(HeapTest, AThreadsCachesTogetherStayWithinABound) {
  // A thread that has used blocks of every pooled size keeps a bounded amount of free
  // blocks, however many size classes it touched; a thread of a server must not hold
  // megabytes of address space it no longer uses.
  uint64_t cachedAfterAll = 0, cachedAfterSmall = 0;
  std::thread([&] {
    std::vector<void*> blocks;
    for (int pass = 0; pass < 3; pass++) {
      for (uint32_t size = 8; size <= 16384; size += size < 512 ? 8 : size / 4)
        for (int i = 0; i < 64; i++) blocks.push_back(host->HeapAlloc(nullptr, size, 1));
      for (void* b : blocks) host->HeapFree(nullptr, b);
      blocks.clear();
      cachedAfterAll = std::max(cachedAfterAll, refhost::CachedProcessBytes());
    }
    // Small blocks freed in a row still come back from the cache afterwards.
    for (int i = 0; i < 32; i++) blocks.push_back(host->HeapAlloc(nullptr, 24, 1));
    for (void* b : blocks) host->HeapFree(nullptr, b);
    cachedAfterSmall = refhost::CachedProcessBytes();
  }).join();
  EXPECT_LE(cachedAfterAll, 512u << 10) << "free blocks one thread keeps";
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_GT(cachedAfterSmall, 0u) << "the cache no longer keeps anything";
#endif
}

TEST_F(HeapTest, ProcessMemoryIsNotPartOfAnyHeap) {
  void* p = host->HeapAlloc(nullptr, 100, 1);
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
  EXPECT_EQ(0u, Walk(host, heap).size());
  host->HeapFree(nullptr, p);
}

/* Blocks that point at each other (at their starts and inside) survive a move once the
   pointers are rewritten through the relocation callback. */
TEST_F(HeapTest, RelocationMovesBlocksAndMapsPointersIntoThem) {
  struct Node {
    Node* next;
    uint32_t* inside;
    uint32_t payload[6];
  };
  std::vector<Node*> nodes;
  for (int i = 0; i < 300; i++) {
    Node* n = (Node*)host->HeapAlloc(heap, i % 50 == 0 ? 30000 : sizeof(Node), 1);
    n->next = nullptr;
    for (int k = 0; k < 6; k++) n->payload[k] = i * 10 + k;
    if (!nodes.empty()) nodes.back()->next = n;
    n->inside = nullptr;
    nodes.push_back(n);
  }
  for (size_t i = 0; i < nodes.size(); i++) nodes[i]->inside = &nodes[(i * 7) % nodes.size()]->payload[i % 6];
  void* outsider = host->HeapAlloc(nullptr, 16, 1);
  nodes[5]->next = (Node*)outsider;  // a block of process memory does not move
  std::vector<jint> hashes;
  for (Node* n : nodes) hashes.push_back(host->ObjectHashCode(heap, n));
  uint64_t bytes = host->HeapBytesInUse(heap);

  ASSERT_EQ(300u, refhost::RelocateHeap(heap));
  EXPECT_EQ(0u, refhost::RelocateHeap(heap));  // one relocation at a time
  std::vector<Node*> moved;
  for (Node* n : nodes) {
    Node* m = (Node*)refhost::RelocatedAddress(heap, n);
    EXPECT_NE(n, m);
    moved.push_back(m);
  }
  for (Node* m : moved) {
    refhost::RelocateWord((void**)&m->next, heap);
    refhost::RelocateWord((void**)&m->inside, heap);
  }
  refhost::FinishRelocation(heap);

  EXPECT_EQ(bytes, host->HeapBytesInUse(heap));
  EXPECT_EQ(outsider, (void*)moved[5]->next);
  moved[5]->next = moved[6];
  for (size_t i = 0; i < moved.size(); i++) {
    Node* m = moved[i];
    EXPECT_EQ(i + 1 < moved.size() ? moved[i + 1] : nullptr, m->next);
    EXPECT_EQ(&moved[(i * 7) % moved.size()]->payload[i % 6], m->inside);
    EXPECT_EQ(i * 10 + 3, m->payload[3]);
    EXPECT_EQ(hashes[i], host->ObjectHashCode(heap, m));
  }
  std::vector<void*> seen = Walk(host, heap);
  EXPECT_EQ(std::set<void*>(moved.begin(), moved.end()), std::set<void*>(seen.begin(), seen.end()));
  for (Node* m : moved) host->HeapFree(heap, m);
  host->HeapFree(nullptr, outsider);
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

/* A walk whose callback frees what it visits, as the collector's sweep does: the counts
   are exact whenever the walking thread asks, even inside the walk; no slot freed during
   the walk comes back from an allocation before the walk ends; afterwards the slots are
   reused and a new walk sees exactly the survivors. Big blocks take the same path. */
TEST_F(HeapTest, ASweepingWalkFreesAsItGoesAndCountsExactly) {
  std::vector<void*> blocks;
  std::map<void*, uint32_t> sizes;
  for (int i = 0; i < 3000; i++) {
    uint32_t size = i % 500 == 7 ? 20000 + i : 8 + (i * 13) % 300;
    void* b = host->HeapAlloc(heap, size, 1);
    ASSERT_NE(nullptr, b);
    blocks.push_back(b);
    sizes[b] = size;
  }
  uint64_t bytes = refhost::BytesInUse(heap);
  uint32_t count = refhost::BlocksInUse(heap);
  std::set<void*> freed, madeDuring, seen;
  int visits = 0, wrongCounts = 0, reusedEarly = 0;
  WalkLog log{host, heap, {}, nullptr};
  log.onVisit = [&](void* b) {
    if (!sizes.count(b)) return;  // made during the walk: never visited
    seen.insert(b);
    if (++visits % 2 == 0) {
      bytes -= sizes[b];
      count--;
      host->HeapFree(heap, b);
      freed.insert(b);
    }
    if (visits % 97 == 0) {
      if (refhost::BlocksInUse(heap) != count || refhost::BytesInUse(heap) != bytes) wrongCounts++;
      void* fresh = host->HeapAlloc(heap, 8 + (visits * 13) % 300, 1);
      if (freed.count(fresh)) reusedEarly++;
      madeDuring.insert(fresh);
      bytes += 8 + (visits * 13) % 300;
      count++;
    }
  };
  host->HeapWalk(heap, Record, &log);
  EXPECT_EQ(3000u, seen.size());
  EXPECT_EQ(0, wrongCounts) << "the walking thread's own frees were miscounted";
  EXPECT_EQ(0, reusedEarly) << "a slot freed during the walk was handed out again during it";
  for (void* b : log.seen) EXPECT_EQ(0u, madeDuring.count(b));
  EXPECT_EQ(count, refhost::BlocksInUse(heap));
  EXPECT_EQ(bytes, refhost::BytesInUse(heap));

  std::set<void*> after;
  for (void* b : Walk(host, heap)) after.insert(b);
  EXPECT_EQ(count, after.size());
  for (void* b : freed) EXPECT_EQ(0u, after.count(b));
  // The freed slots are free now: allocations of their sizes get them back.
  int reused = 0;
  std::vector<void*> again;
  for (void* b : freed) {
    if (sizes[b] >= 20000) continue;
    void* n = host->HeapAlloc(heap, sizes[b], 1);
    again.push_back(n);
    if (freed.count(n)) reused++;
  }
  EXPECT_GT(reused, 1000);
  for (void* b : again) host->HeapFree(heap, b);
  for (void* b : after) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

/* After a row was freed during a walk (the bookkeeping as checked during it): it holds
   now, and the row of span bytes is one free block; then the blocks kept around it go. */
void ExpectTheRowIsOneBlock(JNIHostFunctions* host, HHeap* heap, const std::string& during, int round, uint32_t span,
                            const std::vector<void*>& keep) {
  EXPECT_EQ("", during) << "round " << round << ", during the walk";
  EXPECT_EQ("", refhost::CheckHeap(heap)) << "round " << round;
  void* whole = host->HeapAlloc(heap, span - 24, 1);
  EXPECT_NE(nullptr, whole) << "round " << round << ": the row freed during the walk is not one block";
  host->HeapFree(heap, whole);
  for (void* b : keep) host->HeapFree(heap, b);
}

/* Blocks made one after another lie in a row and are walked in address order: a sweep
   that frees an owner's blocks made after it (a body's pieces) does not meet them, but
   for the few that found room before their owner (met while they still live). It never
   meets a block it freed, and the blocks of owners that stay, and those of nobody, are
   each visited once. Owners are of every size a body's block has, pieces of every size
   a piece has, so that they fill several regions. */
TEST_F(HeapTest, AWalkMeetsBlocksInTheOrderMadeSoASweepSeldomMeetsWhatAnOwnerMadeAfterIt) {
  std::map<void*, std::vector<void*>> owned;
  std::set<void*> owners, pieces, kept;
  for (int i = 0; i < 300; i++) {
    void* owner = host->HeapAlloc(heap, 600 + i % 400, 1);
    ASSERT_NE(nullptr, owner);
    owners.insert(owner);
    for (int j = 0; j < 30; j++) {
      void* piece = host->HeapAlloc(heap, 8 + (i * 31 + j * 7) % 257, 1);
      ASSERT_NE(nullptr, piece);
      owned[owner].push_back(piece);
      pieces.insert(piece);
    }
    if (i % 10 == 3) {
      kept.insert(owner);
      for (void* piece : owned[owner]) kept.insert(piece);
    }
    void* loose = host->HeapAlloc(heap, 100, 1);
    ASSERT_NE(nullptr, loose);
    kept.insert(loose);
  }
  EXPECT_GT(refhost::HeapFootprint(heap), 1u << 20) << "the blocks no longer fill several regions";
  std::set<void*> freed;
  std::multiset<void*> seen;
  int freedSeen = 0, piecesOfTheDeadSeen = 0;
  WalkLog log{host, heap, {}, nullptr};
  log.onVisit = [&](void* b) {
    freedSeen += (int)freed.count(b);
    seen.insert(b);
    if (pieces.count(b) && !kept.count(b)) piecesOfTheDeadSeen++;
    if (!owners.count(b) || kept.count(b)) return;
    for (void* piece : owned[b]) {
      host->HeapFree(heap, piece);
      freed.insert(piece);
    }
    host->HeapFree(heap, b);
    freed.insert(b);
  };
  host->HeapWalk(heap, Record, &log);
  EXPECT_EQ(0, freedSeen) << "the walk met a block freed before it came to it";
  EXPECT_LE(piecesOfTheDeadSeen, (int)pieces.size() / 100) << "pieces met before their owners";
  std::multiset<void*> expected(owners.begin(), owners.end());
  for (void* b : kept)
    if (!owners.count(b)) expected.insert(b);
  for (void* b : seen)
    if (pieces.count(b) && !kept.count(b)) expected.insert(b);
  EXPECT_EQ(expected, seen) << "a survivor missed or visited twice";
  EXPECT_EQ(kept.size(), refhost::BlocksInUse(heap));
  for (void* b : kept) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* Sweeps on one thread while four others allocate and free on the same heap, round after
   round: every sweep visits each of its own blocks once and frees them all, the other
   threads' blocks are never handed out twice or overwritten, and the heap ends empty. */
TEST_F(HeapTest, SweepsRaceThreadsThatAllocateAndFree) {
  std::atomic<bool> done{false};
  std::atomic<int> damaged{0};
  std::vector<std::thread> churners;
  for (unsigned t = 0; t < 4; t++)
    churners.emplace_back([&, t] {
      while (!done) Churn(host, heap, 17 + t, &damaged);
    });
  int broken = 0;
  for (int round = 0; round < 60; round++) {
    std::set<void*> own;
    for (int i = 0; i < 700; i++) {
      void* b = host->HeapAlloc(heap, 16 + (i * 7) % 120, 1);
      ASSERT_NE(nullptr, b);
      memset(b, 0x5A, 16);
      own.insert(b);
    }
    std::set<void*> swept;
    WalkLog log{host, heap, {}, nullptr};
    log.onVisit = [&](void* b) {
      if (!own.count(b)) return;
      if (!swept.insert(b).second || ((uint8_t*)b)[15] != 0x5A) broken++;
      host->HeapFree(heap, b);
    };
    host->HeapWalk(heap, Record, &log);
    if (swept.size() != own.size()) broken++;
  }
  done = true;
  for (auto& c : churners) c.join();
  EXPECT_EQ(0, broken);
  EXPECT_EQ(0, damaged.load());
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
  EXPECT_EQ(0u, Walk(host, heap).size());
}

/* The numbers that keep blocks made during a walk out of it start again from 0 once they
   grew large: before and after that point a walk visits every block older than itself
   and none made while it runs. */
TEST_F(HeapTest, WalkNumbersStartAgainWithoutHidingABlock) {
  std::vector<void*> old;
  for (int i = 0; i < 20; i++) old.push_back(host->HeapAlloc(heap, 24 + i, 1));
  refhost::SetWalkNumber(heap, (1u << 30) - 5);
  for (int pass = 0; pass < 3; pass++) {
    std::vector<void*> made;
    WalkLog log{host, heap, {}, nullptr};
    log.onVisit = [&](void*) {
      if (made.size() < 10) made.push_back(host->HeapAlloc(heap, 32, 1));
    };
    host->HeapWalk(heap, Record, &log);
    std::set<void*> seen(log.seen.begin(), log.seen.end());
    for (void* b : old) EXPECT_EQ(1u, seen.count(b)) << "pass " << pass << ": an older block was hidden";
    for (void* b : made) EXPECT_EQ(0u, seen.count(b)) << "pass " << pass << ": a block made during the walk";
    old.insert(old.end(), made.begin(), made.end());
  }
  EXPECT_EQ(old.size(), Walk(host, heap).size());
  for (void* b : old) host->HeapFree(heap, b);
}

/* Many threads on one heap lock: blocks stay apart and the counts come back to zero. */
TEST_F(HeapTest, EightThreadsShareOneHeapLock) {
  std::atomic<int> damaged{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 8; t++) threads.emplace_back([&, t] { Churn(host, heap, 301 + t, &damaged); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, damaged.load());
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

/* A program whose block sizes change over time while what it holds never exceeds the
   capacity: each phase fills the heap with blocks of one size until it refuses, checks
   them and frees them all (every other phase from inside a walk, as a sweep does),
   while a second thread keeps a few blocks of its own coming and going. What the heap
   holds of the process's memory stays within twice the capacity: the places a size
   left serve the next sizes. Places handed to another size must never overlap: each
   phase's blocks carry the phase's stamp. */
TEST_F(HeapTest, SizesChangingInPhasesStayWithinTwiceTheCapacity) {
  const uint64_t capacity = 4u << 20;
  refhost::SetHeapCapacity(heap, capacity);
  std::atomic<bool> done{false};
  std::atomic<int> damaged{0};
  std::thread churner([&] {
    std::mt19937 rng(5);
    std::vector<std::pair<uint8_t*, uint32_t>> live;
    while (!done) {
      if (live.size() < 30) {
        uint32_t size = 8 + rng() % 400;
        uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
        if (b) {
          memset(b, 0xEE, size);
          live.push_back({b, size});
        }
      } else {
        size_t k = rng() % live.size();
        for (uint32_t j = 0; j < live[k].second; j++)
          if (live[k].first[j] != 0xEE) {
            damaged++;
            break;
          }
        host->HeapFree(heap, live[k].first);
        live[k] = live.back();
        live.pop_back();
      }
    }
    for (auto [b, size] : live) host->HeapFree(heap, b);
  });
  uint64_t most = 0;
  int phase = 0, overCapacity = 0, wrongCount = 0;
  for (uint32_t size = 8; size <= 12000; size = size < 512 ? size + 40 : size + size / 4, phase++) {
    const uint8_t stamp = (uint8_t)(phase + 1);
    std::vector<uint8_t*> blocks;
    while (blocks.size() < capacity / 8) {
      uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
      if (!b) break;
      memset(b, stamp, size);
      blocks.push_back(b);
    }
    if (host->HeapBytesInUse(heap) > capacity) overCapacity++;
    most = std::max(most, refhost::HeapFootprint(heap));
    for (uint8_t* b : blocks)
      for (uint32_t j = 0; j < size; j += 8)
        if (b[j] != stamp) {
          damaged++;
          break;
        }
    if (phase % 2 == 0) {
      for (uint8_t* b : blocks) host->HeapFree(heap, b);
    } else {
      size_t freed = 0;
      // Only this phase's blocks are read: the other thread's may be freed meanwhile.
      std::set<void*> mine(blocks.begin(), blocks.end());
      WalkLog log{host, heap, {}, nullptr};
      log.onVisit = [&](void* b) {
        if (!mine.count(b)) return;
        host->HeapFree(heap, b);
        freed++;
      };
      host->HeapWalk(heap, Record, &log);
      if (freed != blocks.size()) wrongCount++;
    }
    most = std::max(most, refhost::HeapFootprint(heap));
  }
  done = true;
  churner.join();
  EXPECT_EQ(0, damaged.load()) << "a slot was handed out over a live block";
  EXPECT_EQ(0, overCapacity);
  EXPECT_EQ(0, wrongCount) << "a sweep met a block other than once";
  EXPECT_LE(most, 2 * capacity) << "over " << phase << " phases";
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

/* A program that keeps one block in every few hundred it made, of sizes that change as
   it runs (a cache keeping a sample, records of varying width): each phase fills the
   heap with blocks of one size until the capacity refuses, then frees all but one per
   32 KiB. The places between the blocks kept must serve every later size: each phase
   fills the heap up to its capacity again, and what the heap holds of the process stays
   within twice the capacity (places tied to the size they were first cut for held
   74 MB of the process here, for 1.7 MB of live blocks). */
TEST_F(HeapTest, OneBlockKeptInEveryFewHundredOfEachSizeLeavesTheRestToOtherSizes) {
  const uint64_t capacity = 4u << 20;
  refhost::SetHeapCapacity(heap, capacity);
  std::vector<void*> pinned;
  uint64_t most = 0;
  int shortFills = 0;
  for (uint32_t size = 16; size <= 1024; size += 32) {
    std::vector<void*> blocks;
    for (void* b; (b = host->HeapAlloc(heap, size, 1)) != nullptr;) blocks.push_back(b);
    // Refused for the capacity, not for want of room: not two more blocks would fit it.
    if (host->HeapBytesInUse(heap) + 2 * (size + 32) <= capacity) shortFills++;
    const size_t every = (32u << 10) / (size + 24);
    for (size_t i = 0; i < blocks.size(); i++) {
      if (i % every == 0) pinned.push_back(blocks[i]);
      else host->HeapFree(heap, blocks[i]);
    }
    most = std::max(most, refhost::HeapFootprint(heap));
  }
  uint64_t pinnedBytes = host->HeapBytesInUse(heap);
  EXPECT_LT(pinnedBytes, capacity / 2) << "the live blocks stay far under the capacity";
  EXPECT_EQ(0, shortFills) << "a size found no room in the places others left";
  EXPECT_LE(most, 2 * capacity) << "held " << (most >> 20) << " MB of the process for " << (pinnedBytes >> 10)
                                << " KB of live blocks";
  for (void* b : pinned) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* Places that no later request fits (one small block kept in every 8 KiB, then requests
   of 16 KiB) cannot be reused: a heap that holds twice its capacity (here lowered after
   the places were made) refuses what it cannot place, though its live blocks are far
   below the capacity, rather than hold more; what fits a place is still given. Once the
   small blocks go, the regions left wholly free go back to the process until the heap
   holds no more than its capacity, and the large requests are met. */
TEST_F(HeapTest, AHeapThatCannotReuseItsPlacesRefusesRatherThanHoldMoreThanTwiceItsCapacity) {
  refhost::SetHeapCapacity(heap, 4u << 20);
  std::vector<void*> small, filler;
  for (;;) {
    void* s = host->HeapAlloc(heap, 8, 1);
    void* f = host->HeapAlloc(heap, 8000, 1);
    if (s != nullptr) small.push_back(s);
    if (f == nullptr) break;
    filler.push_back(f);
  }
  for (void* f : filler) host->HeapFree(heap, f);
  const uint64_t capacity = 2u << 20;
  refhost::SetHeapCapacity(heap, capacity);
  EXPECT_LT(host->HeapBytesInUse(heap), capacity / 16);
  const uint64_t held = std::max<uint64_t>(refhost::HeapFootprint(heap), 2 * capacity);
  std::vector<void*> large;
  for (void* b; large.size() < 100 && (b = host->HeapAlloc(heap, 16384, 1)) != nullptr;) large.push_back(b);
  void* fits = host->HeapAlloc(heap, 4000, 1);
  EXPECT_NE(nullptr, fits) << "a request that fits a free place was refused";
  EXPECT_LE(refhost::HeapFootprint(heap), held) << "the heap grew past twice its capacity";
  EXPECT_LT(large.size(), 100u) << "requests no place fits were met past twice the capacity";
  for (void* b : large) host->HeapFree(heap, b);
  for (void* s : small) host->HeapFree(heap, s);
  host->HeapFree(heap, fits);
  EXPECT_LE(refhost::HeapFootprint(heap), capacity) << "wholly free regions kept past the capacity";
  large.clear();
  for (void* b; large.size() < 100 && (b = host->HeapAlloc(heap, 16384, 1)) != nullptr;) large.push_back(b);
  EXPECT_EQ(100u, large.size());
  for (void* b : large) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* A heap of one region, whose capacity a second would pass twice over. Four free blocks
   of 2,224 bytes lie in one ranged list (2,048-2,303), each behind 20 free ones of 2,080
   that are nearer its head; then four requests of the span only the far blocks fit: each
   is met in one of them, not refused for the region the bound keeps out. */
TEST_F(HeapTest, ARequestIsMetByTheFreeBlockThatFitsItHoweverDeepInItsList) {
  const uint64_t capacity = 255u << 10;
  refhost::SetHeapCapacity(heap, capacity);
  std::vector<void*> keep, wide, narrow;
  for (int round = 0; round < 4; round++) {
    wide.push_back(host->HeapAlloc(heap, 2200, 1));
    keep.push_back(host->HeapAlloc(heap, 8, 1));
    for (int i = 0; i < 20; i++) {
      narrow.push_back(host->HeapAlloc(heap, 2056, 1));
      keep.push_back(host->HeapAlloc(heap, 8, 1));
    }
  }
  for (void* b; (b = host->HeapAlloc(heap, 8, 1)) != nullptr;) keep.push_back(b);
  ASSERT_EQ(256u << 10, refhost::HeapFootprint(heap)) << "one region";
  ASSERT_EQ(0, std::count(narrow.begin(), narrow.end(), nullptr));
  ASSERT_EQ(0, std::count(wide.begin(), wide.end(), nullptr));
  for (int round = 0; round < 4; round++) {
    host->HeapFree(heap, wide[round]);
    for (int i = 0; i < 20; i++) host->HeapFree(heap, narrow[round * 20 + i]);
  }
  std::vector<void*> met;
  for (int round = 0; round < 4; round++) {
    uint64_t left = capacity - host->HeapBytesInUse(heap);
    void* b = host->HeapAlloc(heap, 2200, 1);
    EXPECT_NE(nullptr, b) << "request " << round << " refused, with " << left / 1024
                          << " KB of capacity left and a free block of its span";
    met.push_back(b);
  }
  EXPECT_EQ(std::set<void*>(wide.begin(), wide.end()), std::set<void*>(met.begin(), met.end()));
  for (void* b : met) host->HeapFree(heap, b);
  for (void* b : keep) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* Regions at twice the capacity, each pinned by a few small blocks (holes of 8 and 16
   KiB behind them that nothing larger fits), then blocks above 16 KiB (each a malloc of
   its own) until refused: what the heap holds of the process, big blocks included,
   stays within twice its capacity. Once the pins go, the regions
   go back and the big blocks are met up to the capacity. */
TEST_F(HeapTest, BlocksAboveTheRegionSizeCountTowardsTwiceTheCapacity) {
  const uint64_t capacity = 4u << 20;
  refhost::SetHeapCapacity(heap, capacity);
  std::vector<void*> pins;
  for (uint32_t hole : {8000u, 16384u}) {
    std::vector<void*> filler;
    for (;;) {
      void* s = host->HeapAlloc(heap, 8, 1);
      void* f = host->HeapAlloc(heap, hole, 1);
      if (s) pins.push_back(s);
      if (!f) break;
      filler.push_back(f);
    }
    for (void* f : filler) host->HeapFree(heap, f);
  }
  uint64_t regions = refhost::HeapFootprint(heap);
  uint64_t pinned = host->HeapBytesInUse(heap);
  ASSERT_GT(regions, capacity) << "the holes hold the regions past the capacity";
  std::vector<void*> big;
  for (void* b; (b = host->HeapAlloc(heap, 20000, 1)) != nullptr;) big.push_back(b);
  uint64_t most = refhost::HeapFootprint(heap);
  EXPECT_LE(most, 2 * capacity) << "regions " << (regions >> 10) << " KB pinned by "
                                << (pinned >> 10) << " KB; with big blocks "
                                << (most >> 10) << " KB (" << (double)most / capacity << "x the capacity)";
  for (void* b : big) host->HeapFree(heap, b);
  big.clear();
  for (void* b : pins) host->HeapFree(heap, b);
  for (void* b; (b = host->HeapAlloc(heap, 20000, 1)) != nullptr;) big.push_back(b);
  EXPECT_EQ(capacity / (20000 + 24), big.size());
  for (void* b : big) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* A launcher takes heap limits up to 2^64 bytes (-Xmx8589934592g is 2^63): with such a
   capacity the bound of twice it must still hold every region and big block wanted,
   however the doubling would wrap. */
TEST_F(HeapTest, HeapsOfTheLargestCapacitiesStillGrowPastOneRegion) {
  for (uint64_t capacity : {1ull << 63, (1ull << 63) + (128u << 10), UINT64_MAX}) {
    refhost::SetHeapCapacity(heap, capacity);
    std::vector<void*> blocks;
    for (int i = 0; i < 40; i++) {
      void* b = host->HeapAlloc(heap, 16000, 1);
      EXPECT_NE(nullptr, b) << "block " << i << " of a heap of capacity " << capacity;
      if (b) blocks.push_back(b);
    }
    void* big = host->HeapAlloc(heap, 20000, 1);
    EXPECT_NE(nullptr, big) << "a big block in a heap of capacity " << capacity;
    if (big) blocks.push_back(big);
    for (void* b : blocks) host->HeapFree(heap, b);
    EXPECT_EQ("", refhost::CheckHeap(heap));
  }
}

/* The blocks of the test below read 1 in every word: taken for a prefix, that is a live
   block old enough for any walk, but with flags no real prefix has. */
uint32_t* MakeOnes(JNIHostFunctions* host, HHeap* heap, uint32_t size) {
  uint32_t* b = (uint32_t*)host->HeapAlloc(heap, size, 1);
  if (b != nullptr)
    for (uint32_t i = 0; i < size / 4; i++) b[i] = 1;
  return b;
}
/* Whether a walk called back a block whose prefix is words of a body. */
bool Stray(void* block) { return ((uint32_t*)block)[-3] == 1; }
jboolean HOSTCALL CountStrays(void* block, void* ctx) {
  if (Stray(block)) ((std::atomic<int>*)ctx)->fetch_add(1);
  return 1;
}

/* Blocks freed while walks run are merged with the free blocks beside them at once, and
   free blocks are cut while walks read through them. Two threads walk the heap over and
   over while a third frees rows of neighbours from inside its own walks (a sweep) and two
   more make and free blocks of every size, inside and outside walks: every walk steps
   from prefix to prefix. A walk that stepped into a body, or onto a prefix a merge left
   inside a place that was cut again, would take body words for a live block. */
TEST_F(HeapTest, WalksReadThroughBlocksMergedAndCutWhileTheyRun) {
  refhost::SetWalkNumber(heap, 1000);
  std::atomic<bool> done{false};
  std::atomic<int> strays{0}, walks{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; t++)
    threads.emplace_back([&] {
      while (!done) {
        host->HeapWalk(heap, CountStrays, &strays);
        walks++;
      }
    });
  std::atomic<int> churning{2};
  for (int t = 0; t < 2; t++)
    threads.emplace_back([&, t] {
      std::mt19937 rng(70 + t);
      std::vector<uint32_t*> live;
      for (int i = 0; i < 40000; i++) {
        if (live.size() < 200 && rng() % 2 == 0) {
          uint32_t size = rng() % 8 == 0 ? 1 + rng() % 16384 : 1 + rng() % 600;
          if (uint32_t* b = MakeOnes(host, heap, size)) live.push_back(b);
        } else if (!live.empty()) {
          size_t k = rng() % live.size();
          host->HeapFree(heap, live[k]);
          live[k] = live.back();
          live.pop_back();
        }
      }
      for (uint32_t* b : live) host->HeapFree(heap, b);
      churning--;
    });
  std::mt19937 rng(5);
  for (int round = 0; round < 300 || churning > 0; round++) {
    std::set<void*> row;
    for (int i = 0; i < 40; i++) row.insert(MakeOnes(host, heap, 8 + (rng() % 500) * 4));
    row.erase(nullptr);
    WalkLog log{host, heap, {}, nullptr};
    std::string faults;
    log.onVisit = [&](void* b) {
      if (Stray(b)) strays++;
      if (row.erase(b)) host->HeapFree(heap, b);
      // The bookkeeping, now and then while this walk and the others run.
      if (round % 16 == 0 && row.size() == 20) faults += refhost::CheckHeap(heap);
    };
    host->HeapWalk(heap, Record, &log);
    EXPECT_EQ("", faults) << "round " << round;
    EXPECT_TRUE(row.empty()) << "round " << round << ": " << row.size() << " blocks of the row not met";
    for (void* b : row) host->HeapFree(heap, b);
  }
  done = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, strays.load()) << "over " << walks.load() << " walks";
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, Walk(host, heap).size());
}

/* The bookkeeping is read while walks run, so a check made while another thread sweeps
   meets blocks that thread frees without the heap's lock (their flags, then their link
   over their size): it must take such a block as freed, never as a live one of a
   size that is a link's value. A thread sweeps row after row while another checks. */
TEST_F(HeapTest, TheBookkeepingCheckedWhileAnotherThreadSweepsFindsNoFault) {
  std::atomic<bool> done{false}, sweeping{false};
  std::atomic<int> checks{0};
  std::string faults;
  std::thread checker([&] {
    while (!done && faults.size() < 1000) {
      if (sweeping) {
        faults += refhost::CheckHeap(heap);
        checks++;
      }
      std::this_thread::yield();
    }
  });
  std::mt19937 rng(9);
  for (int round = 0; round < 200; round++) {
    std::set<void*> row;
    for (int i = 0; i < 2000; i++) row.insert(host->HeapAlloc(heap, 8 + rng() % 200, 1));
    row.erase(nullptr);
    WalkLog log{host, heap, {}, nullptr};
    log.onVisit = [&](void* b) {
      sweeping = true;
      if (row.erase(b)) host->HeapFree(heap, b);
    };
    host->HeapWalk(heap, Record, &log);
    sweeping = false;
    ASSERT_TRUE(row.empty());
  }
  done = true;
  checker.join();
  EXPECT_EQ("", faults) << "over " << checks.load() << " checks";
}

/* Waits in the walk's first visit until released: the walk holds the heap's places
   meanwhile. */
struct HeldWalk {
  std::atomic<bool> inside{false}, release{false};
};
jboolean HOSTCALL HoldTheWalk(void*, void* ctx) {
  HeldWalk* w = (HeldWalk*)ctx;
  w->inside = true;
  while (!w->release) std::this_thread::yield();
  return 0;
}

/* A heap that grows past the size from which it maps its starts while walks run, one
   of them held at its first block and others started and ended meanwhile, some from
   inside it: each walk meets every block of its start once (the held one from span to
   span, the later ones from the maps), and blocks made and freed meanwhile, cut from
   places the maps then name, are met by the walks that start after them. */
TEST_F(HeapTest, AHeapMappedWhileWalksRunIsWalkedWholeBeforeAndAfter) {
  refhost::SetStartMapFrom(2u << 20);
  std::mt19937 rng(8);
  std::vector<void*> live;
  for (int i = 0; i < 2000; i++) live.push_back(host->HeapAlloc(heap, 8 + rng() % 700, 1));
  ASSERT_EQ(0, std::count(live.begin(), live.end(), nullptr));
  ASSERT_LT(refhost::HeapFootprint(heap), 2u << 20);
  std::set<void*> atStart(live.begin(), live.end());
  HeldWalk held;
  WalkLog outer{host, heap, {}, nullptr};
  outer.onVisit = [&](void*) {
    if (held.inside) return;
    held.inside = true;
    while (!held.release) std::this_thread::yield();
  };
  std::thread walker([&] { host->HeapWalk(heap, Record, &outer); });
  while (!held.inside) std::this_thread::yield();
  // Past the size: the regions are mapped while the walk above runs.
  for (int i = 0; refhost::HeapFootprint(heap) < (3u << 20); i++) {
    void* b = host->HeapAlloc(heap, 8 + rng() % 3000, 1);
    ASSERT_NE(nullptr, b);
    if (i % 3 == 0) host->HeapFree(heap, b);
    else live.push_back(b);
  }
  std::vector<void*> inner = Walk(host, heap);
  std::set<void*> now;
  for (void* b : live) now.insert(b);
  EXPECT_EQ(now, std::set<void*>(inner.begin(), inner.end())) << "a walk from the maps";
  EXPECT_EQ(inner.size(), now.size());
  held.release = true;
  walker.join();
  std::set<void*> outerSeen(outer.seen.begin(), outer.seen.end());
  EXPECT_EQ(outer.seen.size(), outerSeen.size()) << "a block met twice";
  for (void* b : atStart) EXPECT_EQ(1u, outerSeen.count(b)) << "a block of the walk's start missed";
  for (void* b : outerSeen) EXPECT_EQ(1u, atStart.count(b)) << "a block made during the walk met";
  for (size_t i = 0; i < live.size(); i += 2) host->HeapFree(heap, live[i]);
  std::vector<void*> after = Walk(host, heap);
  std::set<void*> expected;
  for (size_t i = 1; i < live.size(); i += 2) expected.insert(live[i]);
  EXPECT_EQ(expected, std::set<void*>(after.begin(), after.end()));
  for (size_t i = 1; i < live.size(); i += 2) host->HeapFree(heap, live[i]);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* During a walk, a row of 16 neighbours of 1,024 bytes each is freed from its last to
   its first, from its first to its last, and in no order: by another thread while the
   walk waits, and by the walking thread itself from inside the walk, as a sweep frees
   (a batch whose blocks the heap takes in together). When the walk ends the row is one
   free block of 16 KiB: a request of that span is met in it, in a heap whose bound lets
   no second region come. */
TEST_F(HeapTest, ARowFreedDuringAWalkIsOneBlockAfterIt) {
  refhost::SetHeapCapacity(heap, 255u << 10);
  std::mt19937 rng(11);
  for (int round = 0; round < 6; round++) {
    const int order = round % 3;
    const bool fromInside = round >= 3;
    std::vector<void*> keep{host->HeapAlloc(heap, 8, 1)}, row;
    for (int i = 0; i < 16; i++) row.push_back(host->HeapAlloc(heap, 1000, 1));
    keep.push_back(host->HeapAlloc(heap, 8, 1));
    for (void* b; (b = host->HeapAlloc(heap, 8, 1)) != nullptr;) keep.push_back(b);
    ASSERT_EQ(256u << 10, refhost::HeapFootprint(heap));
    ASSERT_EQ(0, std::count(row.begin(), row.end(), nullptr));
    if (order == 0) std::reverse(row.begin(), row.end());
    if (order == 2) std::shuffle(row.begin(), row.end(), rng);
    std::string during;
    if (fromInside) {
      WalkLog log{host, heap, {}, nullptr};
      log.onVisit = [&](void*) {
        if (row.empty()) return;
        for (void* b : row) host->HeapFree(heap, b);
        row.clear();
        during = refhost::CheckHeap(heap);
      };
      host->HeapWalk(heap, Record, &log);
    } else {
      HeldWalk held;
      std::thread walker([&] { host->HeapWalk(heap, HoldTheWalk, &held); });
      while (!held.inside) std::this_thread::yield();
      for (void* b : row) host->HeapFree(heap, b);
      during = refhost::CheckHeap(heap);
      held.release = true;
      walker.join();
    }
    ExpectTheRowIsOneBlock(host, heap, during, round, 16 * 1024, keep);
    ASSERT_EQ(0u, refhost::BlocksInUse(heap));
  }
}

/* A walking thread hands its frees to the heap a few dozen at a time, in the order
   made: a row longer than that, freed in any order from inside a walk, part of it by
   another thread at the same time and part from a walk nested in it, or stopped early,
   is one free block once the walks end, and the bookkeeping holds during and after. */
TEST_F(HeapTest, ARowLongerThanABatchFreedInAnyOrderAndByTwoThreadsDuringAWalkIsOneBlockAfterIt) {
  refhost::SetHeapCapacity(heap, 255u << 10);
  std::mt19937 rng(23);
  for (int round = 0; round < 24; round++) {
    const int order = round % 4;
    std::vector<void*> keep{host->HeapAlloc(heap, 8, 1)}, row;
    for (int i = 0; i < 200; i++) row.push_back(host->HeapAlloc(heap, 1000 + 8 * (i % 3), 1));
    keep.push_back(host->HeapAlloc(heap, 8, 1));
    ASSERT_EQ(0, std::count(row.begin(), row.end(), nullptr));
    if (order == 0) std::reverse(row.begin(), row.end());
    if (order == 1) std::shuffle(row.begin(), row.end(), rng);
    if (order == 2) {
      std::vector<void*> byTwos;
      for (size_t start : {0, 1})
        for (size_t i = start; i < row.size(); i += 2) byTwos.push_back(row[i]);
      row = byTwos;
    }
    // The last fifth goes from another thread while the walker is inside, between its frees.
    std::vector<void*> outside(row.end() - 40, row.end());
    row.resize(160);
    std::atomic<int> stage{0};
    std::thread other([&] {
      while (stage.load() != 1) std::this_thread::yield();
      for (void* b : outside) host->HeapFree(heap, b);
      stage = 2;
    });
    std::string during;
    int walked = 0;
    WalkLog log{host, heap, {}, nullptr};
    log.onVisit = [&](void*) {
      if (walked++ != 0) return;
      for (size_t i = 0; i < 70; i++) host->HeapFree(heap, row[i]);
      stage = 1;
      while (stage.load() != 2) std::this_thread::yield();
      if (round % 2) {
        // From a walk of the same heap nested in this one, stopped at its third block.
        int stopped = 0;
        WalkLog nested{host, heap, {}, nullptr};
        nested.onVisit = [&](void*) {
          if (nested.seen.size() == 1)
            for (size_t i = 70; i < 120; i++) host->HeapFree(heap, row[i]);
        };
        host->HeapWalk(heap, Record, &nested);
        host->HeapWalk(heap, StopAtThree, &stopped);
        for (size_t i = 120; i < 160; i++) host->HeapFree(heap, row[i]);
      } else {
        for (size_t i = 70; i < 160; i++) host->HeapFree(heap, row[i]);
      }
      during = refhost::CheckHeap(heap);
    };
    host->HeapWalk(heap, Record, &log);
    other.join();
    ExpectTheRowIsOneBlock(host, heap, during, round, 200 * 1032, keep);
    ASSERT_EQ(0u, refhost::BlocksInUse(heap));
  }
}

/* A relocation's old places are freed while another thread walks the heap: they wait
   for the walk, merged with the free blocks beside them (and, for the next rounds,
   with what the rounds before freed), while the walk still reads through them. Every
   round: stamped blocks of mixed sizes, a relocation, a walk held at its first block,
   FinishRelocation and blocks of the same sizes made (whose words read as prefixes of
   live blocks), the walk let go; it must meet every moved block once, at its new place,
   stamp intact, and nothing else, never a body taken for a prefix: the old places wait
   for the walk instead of serving the new blocks under it. The heap's bookkeeping holds
   during the walk and after it. */
TEST_F(HeapTest, AWalkRacingTheEndOfARelocationMeetsEachMovedBlockOnce) {
  std::mt19937 rng(3);
  std::vector<std::pair<uint8_t*, uint32_t>> live;
  for (int round = 0; round < 60; round++) {
    for (int i = 0; i < 200; i++) {
      uint32_t size = rng() % 10 == 0 ? 1 + rng() % 20000 : rng() % 700;
      uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
      ASSERT_NE(nullptr, b);
      memset(b, (uint8_t)(size * 7 + 1), size);
      live.push_back({b, size});
    }
    // Some go before the relocation, leaving holes among the rest.
    for (int i = 0; i < 150 && !live.empty(); i++) {
      size_t k = rng() % live.size();
      host->HeapFree(heap, live[k].first);
      live[k] = live.back();
      live.pop_back();
    }
    ASSERT_EQ(live.size(), refhost::RelocateHeap(heap)) << "round " << round;
    std::map<void*, uint32_t> moved;
    for (auto& [b, size] : live) {
      b = (uint8_t*)refhost::RelocatedAddress(heap, b);
      moved[b] = size;
    }
    HeldWalk held;
    WalkLog log{host, heap, {}, nullptr};
    log.onVisit = [&](void*) {
      held.inside = true;
      while (!held.release) std::this_thread::yield();
    };
    std::thread walker([&] { host->HeapWalk(heap, Record, &log); });
    while (!held.inside) std::this_thread::yield();
    refhost::FinishRelocation(heap);
    std::vector<uint32_t*> during;
    for (auto& [b, size] : moved)
      if (uint32_t* d = MakeOnes(host, heap, size)) during.push_back(d);
    EXPECT_EQ("", refhost::CheckHeap(heap)) << "round " << round << ", during the walk";
    held.release = true;
    walker.join();
    EXPECT_EQ("", refhost::CheckHeap(heap)) << "round " << round;
    EXPECT_EQ(0, std::count_if(log.seen.begin(), log.seen.end(), Stray)) << "round " << round;
    for (uint32_t* d : during) host->HeapFree(heap, d);
    std::set<void*> once(log.seen.begin(), log.seen.end());
    EXPECT_EQ(log.seen.size(), once.size()) << "round " << round << ": a block met twice";
    std::set<void*> expected;
    for (auto& [b, size] : moved) expected.insert(b);
    ASSERT_EQ(expected, once) << "round " << round;
    for (auto& [b, size] : moved)
      for (uint32_t j = 0; j < size; j++)
        if (((uint8_t*)b)[j] != (uint8_t)(size * 7 + 1)) {
          ADD_FAILURE() << "round " << round << ": a moved block of " << size << " bytes damaged at " << j;
          break;
        }
  }
  for (auto& [b, size] : live) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* Regions a walk emptied stay where the walk steps through them until the last walk
   ends, even on a heap over its capacity (whose emptied regions go back to the process):
   what the heap holds does not fall while the walk runs, nested walks included, and
   falls once they are over. */
TEST_F(HeapTest, RegionsEmptiedDuringWalksGoOnlyWhenTheLastWalkEnds) {
  std::set<void*> blocks;
  for (int i = 0; i < 600; i++) blocks.insert(host->HeapAlloc(heap, 200, 1));
  ASSERT_EQ(0u, blocks.count(nullptr));
  refhost::SetHeapCapacity(heap, 1);
  uint64_t held = refhost::HeapFootprint(heap);
  int visits = 0, fellEarly = 0, innerWalks = 0;
  WalkLog log{host, heap, {}, nullptr};
  log.onVisit = [&](void* b) {
    if (!blocks.count(b)) return;
    visits++;
    host->HeapFree(heap, b);
    if (visits % 150 == 0) {
      // A walk started inside this one ends first: the outer one still holds the regions.
      innerWalks += (int)Walk(host, heap).size() >= 0;
    }
    if (refhost::HeapFootprint(heap) != held) fellEarly++;
  };
  host->HeapWalk(heap, Record, &log);
  EXPECT_EQ(600, visits);
  EXPECT_EQ(4, innerWalks);
  EXPECT_EQ(0, fellEarly) << "a region left while a walk could still step into it";
  EXPECT_LT(refhost::HeapFootprint(heap), held);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, Walk(host, heap).size());
}

/* Regions are cut from runs of address space shared by every heap and by process memory,
   wait on a free list for the next heap when their heap is destroyed, and a run goes
   back to the system (and may come again at the same place) once none of its regions is
   used. Heaps made, filled and destroyed on six threads at once (every eighth growing
   past several runs, half of them destroyed with their blocks still live), while two
   more threads carve process memory and keep it a round longer, must never be
   handed a region that another heap or the process pool still cuts: its blocks would
   carry a foreign stamp, or lie where nothing is mapped any more. The supply's lists and
   counts must agree whenever another thread looks, and what keeps its pages stays within
   the few megabytes kept, also when the first run's regions are the ones given back
   longest ago. */
TEST_F(HeapTest, HeapsMadeAndDestroyedAtOnceNeverShareARegion) {
  std::atomic<int> damaged{0}, refused{0}, running{8};
  std::string fault;
  std::thread checker([&] {
    while (running.load() > 0 && fault.empty()) fault = refhost::CheckRegionSupply();
  });
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 8; t++)
    threads.emplace_back([&, t] {
      std::mt19937 rng(900 + t);
      std::vector<std::pair<uint8_t*, uint32_t>> process;
      for (unsigned round = 0; round < 32; round++) {
        HHeap* h = t < 6 ? host->HeapCreate(nullptr, 2) : nullptr;
        if (t < 6 && h == nullptr) {
          refused++;
          break;
        }
        const uint8_t stamp = (uint8_t)(t * 41 + round + 1);
        uint32_t total = round % 8 == 7 ? (5u << 20) : rng() % (700u << 10);
        std::vector<std::pair<uint8_t*, uint32_t>> live;
        for (uint32_t made = 0; made < total;) {
          uint32_t size = rng() % 16 == 0 ? 8000 + rng() % 8384 : 1 + rng() % 600;
          uint8_t* b = (uint8_t*)host->HeapAlloc(h, size, 1);
          if (b == nullptr) {
            refused++;
            break;
          }
          memset(b, stamp, size);
          live.push_back({b, size});
          made += size;
        }
        for (auto [b, size] : live)
          for (uint32_t j = 0; j < size; j += 61)
            if (b[j] != stamp || b[size - 1] != stamp) {
              damaged++;
              break;
            }
        if (h == nullptr) {
          // Process memory lives a round longer.
          for (auto [b, size] : process) {
            if (b[0] != (uint8_t)(stamp - 1) || b[size - 1] != (uint8_t)(stamp - 1)) damaged++;
            host->HeapFree(nullptr, b);
          }
          process.swap(live);
          continue;
        }
        if (round % 2 == 0)
          for (auto [b, size] : live) host->HeapFree(h, b);
        host->HeapDestroy(h);
      }
      for (auto [b, size] : process) host->HeapFree(nullptr, b);
      running--;
    });
  for (auto& t : threads) t.join();
  checker.join();
  EXPECT_EQ(0, damaged.load());
  EXPECT_EQ(0, refused.load());
  EXPECT_EQ("", fault);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

/* What the process's map says of the mapping that holds an address: its "THPeligible"
   line, or -1 when no mapping holds it or the kernel does not say. */
int HugePageEligible(const void* address) {
  FILE* f = fopen("/proc/self/smaps", "r");
  if (f == nullptr) return -1;
  char line[512];
  bool inside = false;
  int answer = -1;
  while (fgets(line, sizeof line, f) != nullptr) {
    unsigned long from, to;
    if (sscanf(line, "%lx-%lx ", &from, &to) == 2 && strchr(line, ':') != nullptr && line[8] == '-') {
      inside = (uintptr_t)address >= from && (uintptr_t)address < to;
      continue;
    }
    int eligible;
    if (inside && sscanf(line, "THPeligible: %d", &eligible) == 1) {
      answer = eligible;
      break;
    }
  }
  fclose(f);
  return answer;
}

/* Fills a heap with blocks of 16,000 bytes, stamped, up to the given total. */
void FillStamped(JNIHostFunctions* host, HHeap* h, uint32_t total, uint8_t stamp, std::vector<uint8_t*>* out) {
  for (uint32_t made = 0; made < total; made += 16000) {
    uint8_t* b = (uint8_t*)host->HeapAlloc(h, 16000, 1);
    if (b == nullptr) return;
    memset(b, stamp, 16000);
    out->push_back(b);
  }
}

/* Two heaps made and grown by turns, steps times bytes each, so that their regions
   share runs. */
void GrowByTurns(JNIHostFunctions* host, HHeap** a, HHeap** b, int steps, uint32_t bytes, std::vector<uint8_t*>* inA,
                 std::vector<uint8_t*>* inB) {
  *a = host->HeapCreate(nullptr, 2);
  *b = host->HeapCreate(nullptr, 2);
  ASSERT_TRUE(*a != nullptr && *b != nullptr);
  for (int step = 0; step < steps; step++) {
    FillStamped(host, *a, bytes, 0xA1, inA);
    FillStamped(host, *b, bytes, 0xB2, inB);
  }
}

/* Pages of the regions that hold the given blocks which the process still holds. */
uint32_t ResidentRegionPages(const std::vector<uint8_t*>& blocks) {
  std::set<uintptr_t> regions;
  for (uint8_t* p : blocks) regions.insert((uintptr_t)p & ~(uintptr_t)((256u << 10) - 1));
  uint32_t pages = 0;
  std::vector<unsigned char> resident((256u << 10) / 4096);
  for (uintptr_t r : regions)
    if (mincore((void*)r, 256u << 10, resident.data()) == 0)
      for (unsigned char c : resident) pages += c & 1;
  return pages;
}

/* Whether this process may be given huge pages at all: the system may never give them,
   and a process (or what started it) may have turned them off for itself. */
bool HugePagesGiven() {
  char line[128] = "";
  bool given = false;
  if (FILE* f = fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r")) {
    given = fgets(line, sizeof line, f) != nullptr && strstr(line, "[never]") == nullptr;
    fclose(f);
  }
  if (FILE* f = fopen("/proc/self/status", "r")) {
    while (given && fgets(line, sizeof line, f) != nullptr) {
      int on;
      if (sscanf(line, "THP_enabled: %d", &on) == 1) given = on != 0;
    }
    fclose(f);
  }
  return given;
}

/* How many of the blocks lie on mappings that only small pages may back. */
int OnSmallPages(const std::vector<uint8_t*>& blocks) {
  int small = 0;
  for (uint8_t* b : blocks) small += HugePageEligible(b) == 0;
  return small;
}

/* A collection walks every region of a heap: on small pages, a heap of 64 MiB is 16,384
   of them and a miss of the translation buffer on each. Every region must lie where huge
   pages may back it (unless the system never gives them), also once heaps that shared
   runs with it were destroyed and what they held went back to the system; and what
   goes back must be only regions no heap uses, and not fewer than all but a few
   megabytes of them. */
TEST_F(HeapTest, RegionsLieWhereHugePagesMayBackThemAndGoBackOnlyWhenNoHeapUsesThem) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under the sanitizer each region is a block of malloc's";
#endif
  if (!HugePagesGiven()) GTEST_SKIP() << "no huge pages here";
  refhost::SetHugePages(true);
  void* probe = host->HeapAlloc(heap, 16000, 1);
  int known = HugePageEligible(probe);
  host->HeapFree(heap, probe);
  if (known < 0) GTEST_SKIP() << "the kernel does not say";

  // Two heaps grow by turns, so that their regions share runs; one goes.
  HHeap *a, *b;
  std::vector<uint8_t*> inA, inB;
  GrowByTurns(host, &a, &b, 24, 512u << 10, &inA, &inB);
  ASSERT_EQ(inA.size(), inB.size());
  std::vector<uint8_t*> inBoth = inA;
  inBoth.insert(inBoth.end(), inB.begin(), inB.end());
  host->HeapDestroy(a);
  int damaged = 0;
  for (uint8_t* p : inB)
    for (uint32_t j = 0; j < 16000; j += 997) damaged += p[j] != 0xB2;
  EXPECT_EQ(0, damaged) << "a region of the heap that stayed went back with the other's";
  // A run where a region gave its pages back is kept from huge pages from then on, or
  // the kernel would back that region again whole: only blocks in other runs count.
  std::set<uintptr_t> emptiedRuns;
  for (uint8_t* p : inA)
    if (ResidentRegionPages({p}) <= 1) emptiedRuns.insert((uintptr_t)p >> 21);
  auto onSmallPagesElsewhere = [&](const std::vector<uint8_t*>& blocks) {
    std::vector<uint8_t*> elsewhere;
    for (uint8_t* p : blocks)
      if (emptiedRuns.count((uintptr_t)p >> 21) == 0) elsewhere.push_back(p);
    return OnSmallPages(elsewhere);
  };
  // The first run was mapped before this test asked, by 16 regions.
  EXPECT_LE(onSmallPagesElsewhere(inB), 16 * 16) << "of " << inB.size() << " blocks of the heap that stayed";
  host->HeapDestroy(b);
  // The first 4 MiB and 4 MiB more stay, and a run of 2 MiB not yet wholly free (a run
  // that another test's heap or the process pool still uses keeps only a page of each
  // free region, but its place).
  EXPECT_LE(ResidentRegionPages(inBoth), (16 + 16 + 8) * 64u) << "pages kept of " << inBoth.size() << " blocks";

  // Regions from the free list, and new runs.
  std::vector<uint8_t*> blocks;
  FillStamped(host, heap, 24u << 20, 0xC3, &blocks);
  EXPECT_LE(onSmallPagesElsewhere(blocks), 16 * 16) << "of " << blocks.size() << " blocks of a heap grown after";
  for (uint8_t* p : blocks) host->HeapFree(heap, p);
}

/* A heap gives up regions after a collection and takes as many again as it grows: the
   regions it gets must be those given back last, with their pages, not ones that gave
   their pages back (which come back as small pages, one fault each); what gives its
   pages back past the few megabytes kept is what was given back longest ago. */
TEST_F(HeapTest, RegionsGivenBackLastAreTakenFirstAndKeepTheirPages) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under the sanitizer each region is a block of malloc's";
#endif
  // Two heaps grow by turns, so that no run is wholly the one's that goes.
  HHeap *other, *gone;
  std::vector<uint8_t*> inOther, inGone;
  GrowByTurns(host, &other, &gone, 40, 256u << 10, &inOther, &inGone);
  std::map<uintptr_t, uint32_t> held;  // each of its regions, and the pages it holds
  for (uint8_t* p : inGone) held[(uintptr_t)p & ~(uintptr_t)((256u << 10) - 1)] = 0;
  for (auto& [region, pages] : held) pages = ResidentRegionPages({(uint8_t*)region});
  host->HeapDestroy(gone);
  EXPECT_EQ("", refhost::CheckRegionSupply());
  // Blocks made and not written: only their prefixes' pages are met again.
  refhost::SetBlockPatterns(false, false);
  HHeap* next = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, next);
  std::set<uintptr_t> regions;
  for (int i = 0; i < 48; i++) {
    uint8_t* b = (uint8_t*)host->HeapAlloc(next, 16000, 1);
    ASSERT_NE(nullptr, b);
    regions.insert((uintptr_t)b & ~(uintptr_t)((256u << 10) - 1));
  }
  for (uintptr_t region : regions) {
    auto was = held.find(region);
    EXPECT_TRUE(was != held.end()) << "a region not among those given back last";
    if (was != held.end()) {
      EXPECT_GE(ResidentRegionPages({(uint8_t*)region}), was->second) << "pages of a region taken back";
    }
  }
  host->HeapDestroy(next);
  int damaged = 0;
  for (uint8_t* p : inOther)
    for (int j = 0; j < 16000; j += 499) damaged += p[j] != 0xA1;
  EXPECT_EQ(0, damaged);
  host->HeapDestroy(other);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

/* Heaps and the process pool take their regions from the same runs, so a run that some
   heap still uses may hold most of a heap destroyed: what such a heap held must go back
   all the same (but a few megabytes), and what is still used keep its contents, also
   when another heap grows over the places that went back. */
TEST_F(HeapTest, ADestroyedHeapGivesBackItsPagesThoughLiveHeapsAndProcessMemoryShareItsRuns) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under the sanitizer each region is a block of malloc's";
#endif
  HHeap* gone = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, gone);
  std::vector<uint8_t*> kept, process, inGone;
  for (int step = 0; step < 32; step++) {
    FillStamped(host, heap, 256u << 10, 0x5A, &kept);
    for (int i = 0; i < 64; i++) {
      uint8_t* b = (uint8_t*)host->HeapAlloc(nullptr, 4000, 1);
      ASSERT_NE(nullptr, b);
      memset(b, 0x6B, 4000);
      process.push_back(b);
    }
    FillStamped(host, gone, 6 * (256u << 10), 0x7C, &inGone);
  }
  ASSERT_GT(ResidentRegionPages(inGone), 32 * 5 * 64u);
  host->HeapDestroy(gone);
  // The first 4 MiB and 4 MiB more stay, and a page of each other region.
  EXPECT_LE(ResidentRegionPages(inGone), 32 * 64u + inGone.size() / 15 + 1) << "pages kept of " << inGone.size() / 15
                                                                         << " regions";
  EXPECT_EQ("", refhost::CheckRegionSupply());

  HHeap* next = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, next);
  std::vector<uint8_t*> inNext;
  FillStamped(host, next, (uint32_t)inGone.size() * 16000, 0x8D, &inNext);
  int damaged = 0;
  for (auto [blocks, stamp, size] : {std::make_tuple(&kept, 0x5A, 16000), std::make_tuple(&process, 0x6B, 4000),
                                     std::make_tuple(&inNext, 0x8D, 16000)})
    for (uint8_t* p : *blocks)
      for (int j = 0; j < size; j += 499) damaged += p[j] != stamp;
  EXPECT_EQ(0, damaged);
  EXPECT_EQ(inGone.size(), inNext.size());
  host->HeapDestroy(next);
  for (uint8_t* p : kept) host->HeapFree(heap, p);
  for (uint8_t* p : process) host->HeapFree(nullptr, p);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

/* A 32-bit process whose address space is spent: heaps and process memory refuse what
   needs a new region, and serve again once the space comes back. */
TEST_F(HeapTest, HeapsAndProcessMemoryRefuseOnceTheAddressSpaceIsSpentAndServeWhenItComesBack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own bookkeeping needs address space";
#endif
  std::vector<std::pair<void*, size_t>> taken;
  std::vector<void*> blocks, process;
  taken.reserve(1 << 16);
  blocks.reserve(1 << 16);
  process.reserve(1 << 16);
  for (size_t size = 1u << 30; size >= 4096; size /= 2)
    while (taken.size() < taken.capacity()) {
      void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      if (p == MAP_FAILED) break;
      taken.push_back({p, size});
    }
  // Whatever the free list and the last run still hold is used up first.
  while (blocks.size() < blocks.capacity())
    if (void* b = host->HeapAlloc(heap, 16000, 1)) blocks.push_back(b);
    else break;
  while (process.size() < process.capacity())
    if (void* b = host->HeapAlloc(nullptr, 3000, 1)) process.push_back(b);
    else break;
  bool heapRefused = blocks.size() < blocks.capacity(), processRefused = process.size() < process.capacity();
  for (auto [p, size] : taken) munmap(p, size);
  EXPECT_TRUE(heapRefused && processRefused) << blocks.size() << " heap blocks, " << process.size() << " of process memory";
  EXPECT_EQ("", refhost::CheckRegionSupply());
  for (int i = 0; i < 100; i++) {
    void* b = host->HeapAlloc(heap, 16000, 1);
    void* q = host->HeapAlloc(nullptr, 3000, 1);
    ASSERT_TRUE(b != nullptr && q != nullptr);
    blocks.push_back(b);
    process.push_back(q);
  }
  for (void* b : blocks) host->HeapFree(heap, b);
  for (void* q : process) host->HeapFree(nullptr, q);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

/* Whether the system gives huge pages only where a mapping asks for them. */
bool HugePagesOnlyAsked() {
  char line[128] = "";
  bool asked = false;
  if (FILE* f = fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r")) {
    asked = fgets(line, sizeof line, f) != nullptr && strstr(line, "[madvise]") != nullptr;
    fclose(f);
  }
  return asked;
}

/* Grows a heap of 48 MiB in a fresh process with huge pages asked for or not, and exits
   with 0 when its regions lie where huge pages may back them exactly when asked (but the
   first run's, mapped at start), else with 1, the count on standard error. */
void GrowAndCountSmallPages(JNIHostFunctions* host, bool asked) {
  refhost::SetHugePages(asked);
  HHeap* h = host->HeapCreate(nullptr, 2);
  if (h == nullptr) _exit(2);
  std::vector<uint8_t*> blocks;
  FillStamped(host, h, 48u << 20, 0x3C, &blocks);
  if (blocks.size() != (48u << 20) / 16000 + 1) _exit(3);
  int small = OnSmallPages(blocks);
  fprintf(stderr, "%d of %zu blocks on small pages\n", small, blocks.size());
  host->HeapDestroy(h);
  _exit(asked ? small <= 16 * 16 ? 0 : 1 : small >= (int)blocks.size() - 16 * 16 ? 0 : 1);
}

/* The process's mappings, each with its "VmFlags" marks (hg: huge pages asked for, nh:
   kept from them), read once. */
struct MarkedMapping {
  uintptr_t from, to;
  bool huge, small;
};
std::vector<MarkedMapping> MappingMarks() {
  std::vector<MarkedMapping> maps;
  FILE* f = fopen("/proc/self/smaps", "r");
  if (f == nullptr) return maps;
  char line[512];
  while (fgets(line, sizeof line, f) != nullptr) {
    unsigned long from, to;
    if (sscanf(line, "%lx-%lx ", &from, &to) == 2 && line[8] == '-') {
      maps.push_back({from, to, false, false});
    } else if (strncmp(line, "VmFlags:", 8) == 0 && !maps.empty()) {
      maps.back().huge = strstr(line, " hg") != nullptr;
      maps.back().small = strstr(line, " nh") != nullptr;
    }
  }
  fclose(f);
  return maps;
}

/* Grows a heap of 48 MiB in a fresh process with huge pages asked for or not, and exits
   with 0 when the mappings of its regions (but the first run's) are all marked for small
   pages when not asked and for huge ones when asked, else with 1, the counts on standard
   error. */
void GrowAndCountMarks(JNIHostFunctions* host, bool asked) {
  refhost::SetHugePages(asked);
  HHeap* h = host->HeapCreate(nullptr, 2);
  if (h == nullptr) _exit(2);
  std::vector<uint8_t*> blocks;
  FillStamped(host, h, 48u << 20, 0x3C, &blocks);
  if (blocks.size() != (48u << 20) / 16000 + 1) _exit(3);
  std::vector<MarkedMapping> maps = MappingMarks();
  int small = 0, huge = 0;
  for (uint8_t* b : blocks)
    for (const MarkedMapping& m : maps)
      if ((uintptr_t)b >= m.from && (uintptr_t)b < m.to) {
        small += m.small;
        huge += m.huge;
      }
  fprintf(stderr, "of %zu blocks, %d on mappings kept from huge pages, %d on mappings asking for them\n",
          blocks.size(), small, huge);
  host->HeapDestroy(h);
  int others = (int)blocks.size() - 16 * 16;  // the first run's 4 MiB ask for them always
  _exit(asked ? small == 0 && huge >= others ? 0 : 1 : small >= others ? 0 : 1);
}

/* A heap whose capacity is most of a 32-bit address space, filled with nothing else
   mapped (and again with 2 GiB taken first, as a host's own memory would): it holds what
   its capacity allows (runs of regions leaving no holes between them, and regions mapped
   alone where no run fits), and once its blocks are freed, the regions it keeps free
   serve process memory and a heap made later. */
TEST_F(HeapTest, AHeapFilledToItsCapacityTakesTheAddressSpaceAndItsFreeRegionsServeOthersAfter) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own bookkeeping needs address space";
#endif
  // Blocks are not written: only the prefixes' pages are met, a quarter of the regions.
  refhost::SetBlockPatterns(false, false);
  for (uint32_t reserve : {0u, 2048u}) {
    std::vector<void*> reserved;
    for (uint32_t mb = 0; mb + 64 <= reserve; mb += 64) {
      void* p = mmap(nullptr, 64u << 20, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      ASSERT_NE(MAP_FAILED, p);
      reserved.push_back(p);
    }
    const uint64_t capacity = (uint64_t)(reserve ? 1200 : 3000) << 20;
    HHeap* h = host->HeapCreate(nullptr, 2);
    ASSERT_NE(nullptr, h);
    refhost::SetHeapCapacity(h, capacity);
    std::vector<void*> blocks;
    blocks.reserve(capacity / 16000 + 1);
    while (void* b = host->HeapAlloc(h, 16000, 1)) blocks.push_back(b);
    uint64_t charged = host->HeapBytesInUse(h);
    for (void* b : blocks) host->HeapFree(h, b);
    EXPECT_GT(charged, capacity - (64u << 10)) << reserve << " MB taken first: the heap refused with "
                                               << (charged >> 20) << " MB of " << (capacity >> 20) << " MB";
    // Most of what is left is the heap's free regions: process memory and a new heap get them.
    std::vector<std::pair<void*, size_t>> taken = TakeAddressSpace(0);
    std::vector<void*> process;
    for (int i = 0; i < 8192; i++)
      if (void* p = host->HeapAlloc(nullptr, 3000, 1)) process.push_back(p);
      else break;
    void* big = host->HeapAlloc(nullptr, 1u << 20, 1);
    HHeap* later = host->HeapCreate(nullptr, 2);
    ASSERT_NE(nullptr, later);
    std::vector<void*> inLater;
    for (int i = 0; i < 4096; i++)
      if (void* b = host->HeapAlloc(later, 16000, 1)) inLater.push_back(b);
      else break;
    for (auto [p, size] : taken) munmap(p, size);
    EXPECT_EQ(8192u, process.size()) << reserve << " MB taken first: process memory refused";
    EXPECT_NE(nullptr, big) << reserve << " MB taken first: a big block of process memory refused";
    EXPECT_EQ(4096u, inLater.size()) << reserve << " MB taken first: a later heap refused";
    EXPECT_EQ("", refhost::CheckHeap(h));
    EXPECT_EQ("", refhost::CheckHeap(later));
    for (void* p : process) host->HeapFree(nullptr, p);
    host->HeapFree(nullptr, big);
    host->HeapDestroy(later);
    host->HeapDestroy(h);
    for (void* p : reserved) munmap(p, 64u << 20);
    EXPECT_EQ("", refhost::CheckRegionSupply());
  }
}

jboolean HOSTCALL WalkOn(void*, void*) { return 1; }

/* Stays on the first block until told, with the walk running. */
jboolean HOSTCALL StandUntilReleased(void*, void* ctx) {
  auto* f = (std::pair<std::atomic<bool>*, std::atomic<bool>*>*)ctx;
  f->first->store(true);
  while (!f->second->load()) usleep(1000);
  return 0;
}

/* Process memory takes the free regions of heaps in use once the address space is
   spent, while threads churn those heaps and walk them: no block they hold is touched,
   no walk meets a region go, and every heap's bookkeeping holds. */
TEST_F(HeapTest, FreeRegionsTakenBackFromHeapsInUseLeaveTheirBlocksAndWalksWhole) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own bookkeeping needs address space";
#endif
  for (int round = 0; round < 6; round++) {
    HHeap* heaps[3];
    for (HHeap*& h : heaps) {
      h = host->HeapCreate(nullptr, 2);
      ASSERT_NE(nullptr, h);
      // Each holds 48 MiB of free regions, within its capacity: kept.
      std::vector<uint8_t*> blocks;
      FillStamped(host, h, 48u << 20, 0x11, &blocks);
      for (uint8_t* b : blocks) host->HeapFree(h, b);
    }
    std::atomic<bool> done{false};
    std::atomic<int> damaged{0}, ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; t++)
      threads.emplace_back([&, t] {
        std::mt19937 rng(round * 10 + t);
        std::vector<std::pair<uint8_t*, uint32_t>> live;
        live.reserve(2001);
        ready++;
        const uint8_t stamp = (uint8_t)(0x40 + t);
        while (!done) {
          if (rng() % 20000 == 0) host->HeapWalk(heaps[t], WalkOn, nullptr);
          if (!live.empty() && (rng() % 2 == 0 || live.size() > 2000)) {
            size_t k = rng() % live.size();
            auto [p, size] = live[k];
            for (uint32_t j = 0; j < size; j += 61) damaged += p[j] != stamp;
            host->HeapFree(heaps[t], p);
            live[k] = live.back();
            live.pop_back();
          } else {
            uint32_t size = rng() % 8 == 0 ? 4000 + rng() % 12000 : 8 + rng() % 400;
            if (uint8_t* p = (uint8_t*)host->HeapAlloc(heaps[t], size, 1)) {
              memset(p, stamp, size);
              live.push_back({p, size});
            }
          }
        }
        for (auto [p, size] : live) host->HeapFree(heaps[t], p);
      });
    // Taken while they churn: the address space runs out under them.
    std::vector<void*> process;
    process.reserve(30000);
    while (ready < 3) usleep(1000);
    std::vector<std::pair<void*, size_t>> taken = TakeAddressSpace(0);
    for (int i = 0; i < 30000; i++)
      if (void* p = host->HeapAlloc(nullptr, 3000, 1)) process.push_back(p);
      else break;
    done = true;
    for (auto& t : threads) t.join();
    for (auto [p, size] : taken) munmap(p, size);
    EXPECT_EQ(0, damaged.load());
    EXPECT_GT(process.size(), 20000u) << "round " << round << ": the heaps' 144 MiB of free regions served no process memory";
    for (HHeap* h : heaps) {
      EXPECT_EQ("", refhost::CheckHeap(h));
      host->HeapDestroy(h);
    }
    for (void* p : process) host->HeapFree(nullptr, p);
    EXPECT_EQ("", refhost::CheckRegionSupply());
  }
}

/* A big block freed while a walk runs stays until the last walk ends: such dead blocks
   must not count against the heap's bound, or a walk that lasts (a collection, while
   other threads free) has the heap refuse small requests with most of its capacity free. */
TEST_F(HeapTest, BigBlocksFreedDuringALongWalkLeaveTheBoundToLiveOnes) {
  refhost::SetHeapCapacity(heap, 12u << 20);
  std::atomic<bool> walking{false}, release{false};
  std::pair<std::atomic<bool>*, std::atomic<bool>*> flags(&walking, &release);
  // The walk meets only blocks made before it: one is there for it to stand on.
  void* first = host->HeapAlloc(heap, 100, 1);
  ASSERT_NE(nullptr, first);
  std::thread walker([&] {
    host->HeapWalk(heap, StandUntilReleased, &flags);
  });
  while (!walking) usleep(1000);
  int refused = 0;
  for (int i = 0; i < 400; i++) {
    void* big = host->HeapAlloc(heap, 100000, 1);
    refused += big == nullptr;
    host->HeapFree(heap, big);
  }
  // 40 MB of big blocks made and freed while the walk stands: a small request still has its room.
  void* small = host->HeapAlloc(heap, 200, 1);
  EXPECT_NE(nullptr, small);
  host->HeapFree(heap, small);
  release = true;
  walker.join();
  EXPECT_EQ(0, refused) << "of 400 big blocks, each alone live";
  host->HeapFree(heap, first);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

/* Bytes the process's allocator has handed out and not taken back, big blocks of heaps
   among them. */
uint64_t AllocatorHolds() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  struct mallinfo2 m = mallinfo2();
  return (uint64_t)m.uordblks + m.hblkhd;
#endif
}

struct Stand {
  std::atomic<bool> standing{false}, release{false};
  uint8_t* block = nullptr;
  uint8_t first = 0, last = 0;
};
/* Stands on the first block it meets until released, then reads it. */
jboolean HOSTCALL StandAndRead(void* block, void* ctx) {
  Stand* s = (Stand*)ctx;
  s->block = (uint8_t*)block;
  s->standing = true;
  while (!s->release) usleep(1000);
  s->first = s->block[0];
  s->last = s->block[(1u << 20) - 1];
  return 0;
}

/* A walk that lasts while big blocks are freed: those it may read (made before it began)
   stay, counted against the heap's bound, until it ends; those made after it began go
   at once. So a thread that makes and frees big blocks while a collection lasts finds
   its room, and the heap holds no more than twice its capacity however long the walk
   lasts. */
TEST_F(HeapTest, BigBlocksFreedDuringALongWalkStayWithinTwiceTheCapacity) {
  refhost::SetBlockPatterns(false, false);
  const uint64_t capacity = 4u << 20;
  refhost::SetHeapCapacity(heap, capacity);
  std::vector<uint8_t*> older;
  for (int i = 0; i < 3; i++) {
    uint8_t* b = (uint8_t*)host->HeapAlloc(heap, 1u << 20, 1);
    ASSERT_NE(nullptr, b);
    memset(b, 0x40 + i, 1u << 20);
    older.push_back(b);
  }
  Stand stand;
  std::thread walker([&] { host->HeapWalk(heap, StandAndRead, &stand); });
  while (!stand.standing) usleep(1000);
  ASSERT_EQ(older[0], stand.block);
  for (uint8_t* b : older) host->HeapFree(heap, b);
  // The walk stands on the first: all three are the heap's until it ends.
  EXPECT_EQ(3u * ((1u << 20) + 24), refhost::HeapFootprint(heap));
  uint64_t base = AllocatorHolds(), most = base, mostFootprint = 0;
  int served = 0;
  for (int i = 0; i < 64; i++) {
    uint8_t* b = (uint8_t*)host->HeapAlloc(heap, 1u << 20, 1);
    if (b == nullptr) break;
    served++;
    memset(b, 0x11, 1u << 20);
    most = std::max(most, AllocatorHolds());
    mostFootprint = std::max(mostFootprint, refhost::HeapFootprint(heap));
    host->HeapFree(heap, b);
  }
  stand.release = true;
  walker.join();
  EXPECT_EQ(64, served) << "each alone live, with capacity " << (capacity >> 20) << " MB";
  EXPECT_LE(most - base, 2 * capacity) << "the allocator held " << ((most - base) >> 20)
                                       << " MB more for blocks made and freed during the walk";
  EXPECT_LE(mostFootprint, 2 * capacity);
  EXPECT_EQ(0x40, stand.first);
  EXPECT_EQ(0x40, stand.last);
  EXPECT_EQ(0u, refhost::HeapFootprint(heap));
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

struct BigReader {
  std::atomic<int>* torn;
  std::atomic<int>* met;
  std::mutex* making;  // held while a block is made and stamped
};
/* A big block holds its size in its first word and a stamp after it, repeated in its
   last byte; 0xDD where it is being freed meanwhile. */
jboolean HOSTCALL ReadBigStamp(void* block, void* ctx) {
  BigReader* r = (BigReader*)ctx;
  uint8_t* b = (uint8_t*)block;
  std::lock_guard<std::mutex> made(*r->making);
  uint32_t size;
  memcpy(&size, b, 4);
  ++*r->met;
  if (size == 0xDDDDDDDDu) return 1;
  if (size < 0x10000u || size > (1u << 20)) {
    ++*r->torn;
    return 1;
  }
  uint8_t first = b[4], last = b[size - 1];
  if (first != 0xDD && last != 0xDD && first != last) ++*r->torn;
  return 1;
}

/* Walks begun one after another on three threads while two others make big blocks and
   free them, the newest or any: a block freed before every walk that may read it has
   ended shows as a read of freed memory (the sanitizer's report, or an unmapped page of
   a block the allocator mapped alone) or as a torn stamp. */
TEST_F(HeapTest, BigBlocksFreedWhileWalksBeginAndEndOnOtherThreadsAreNeverFreedUnderAWalk) {
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, met{0}, walks{0}, refused{0};
  std::mutex making;
  BigReader reader{&torn, &met, &making};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; t++)
    threads.emplace_back([&] {
      while (!done) {
        host->HeapWalk(heap, ReadBigStamp, &reader);
        walks++;
      }
    });
  std::vector<std::thread> makers;
  for (int t = 0; t < 2; t++)
    makers.emplace_back([&, t] {
      std::mt19937 rng(501 + t);
      std::vector<uint8_t*> live;
      for (int i = 0; i < 6000; i++) {
        if (live.size() < 24 && rng() % 3 != 0) {
          uint32_t size = 0x10000u + rng() % 0x10000u;
          if (rng() % 8 == 0) size += 0x80000u;  // past the allocator's threshold for a mapping of its own
          std::lock_guard<std::mutex> stamping(making);
          uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
          if (b == nullptr) {
            refused++;
            continue;
          }
          memcpy(b, &size, 4);
          b[4] = b[size - 1] = (uint8_t)(0x20 + rng() % 0x80);
          live.push_back(b);
        } else if (!live.empty()) {
          size_t k = rng() % 2 ? live.size() - 1 : rng() % live.size();
          host->HeapFree(heap, live[k]);
          live[k] = live.back();
          live.pop_back();
        }
      }
      for (uint8_t* b : live) host->HeapFree(heap, b);
    });
  for (auto& m : makers) m.join();
  done = true;
  for (auto& t : threads) t.join();
  // Blocks made before a walk that ran wait for it within the bound: some may be refused.
  EXPECT_EQ(0, torn.load()) << "of " << met.load() << " blocks met by " << walks.load() << " walks, "
                            << refused.load() << " refused";
  EXPECT_GT(walks.load(), 10);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, refhost::HeapFootprint(heap));
}

/* Memory given back stays given back: twelve heaps grown by turns with process memory
   taken between them, eleven destroyed, huge pages asked for (where the kernel's
   background collapser would back a run's emptied regions again); then the process
   idles. Only when asked (PUX_TEST_IDLE=seconds; two minutes make the case), as it
   waits. */
TEST_F(HeapTest, MemoryGivenBackStaysGivenBackWhileTheProcessIdles) {
  const char* text = getenv("PUX_TEST_IDLE");
  int idle = text != nullptr ? atoi(text) : 0;
  if (idle <= 0) GTEST_SKIP() << "set PUX_TEST_IDLE to the seconds to idle";
  refhost::SetHugePages(true);
  auto resident = [] {
    long kb = 0;
    if (FILE* f = fopen("/proc/self/status", "r")) {
      char line[256];
      while (fgets(line, sizeof line, f)) sscanf(line, "VmRSS: %ld", &kb);
      fclose(f);
    }
    return kb;
  };
  std::vector<HHeap*> heaps;
  for (int i = 0; i < 12; i++) heaps.push_back(host->HeapCreate(nullptr, 2));
  std::vector<void*> blocks[12], process;
  for (int round = 0; round < 64; round++) {
    for (int i = 0; i < 12; i++)
      for (int k = 0; k < 1000; k++)
        if (void* p = host->HeapAlloc(heaps[i], 100 + k % 200, 1)) {
          memset(p, 1, 100 + k % 200);
          blocks[i].push_back(p);
        }
    for (int k = 0; k < 60; k++)
      if (void* p = host->HeapAlloc(nullptr, 1000, 0)) {
        memset(p, 2, 1000);
        process.push_back(p);
      }
  }
  printf("12 heaps: VmRSS %ld KB\n", resident());
  for (int i = 1; i < 12; i++) host->HeapDestroy(heaps[i]);
  const long destroyed = resident();
  printf("11 destroyed: VmRSS %ld KB\n", destroyed);
  long most = destroyed;
  for (int t = 10; t <= idle; t += 10) {
    sleep(10);
    long now = resident();
    most = std::max(most, now);
    printf("after %d s idle: VmRSS %ld KB\n", t, now);
    fflush(stdout);
  }
  EXPECT_LE(most, destroyed + destroyed / 10) << "what the destroyed heaps gave back came back";
  for (void* p : blocks[0]) host->HeapFree(heaps[0], p);
  host->HeapDestroy(heaps[0]);
  for (void* p : process) host->HeapFree(nullptr, p);
  EXPECT_EQ("", refhost::CheckRegionSupply());
}

/* Fills and frees blocks on the heap from n threads, each checking its own stamp. */
int ChurnOn(JNIHostFunctions* host, HHeap* heap, unsigned n) {
  std::atomic<int> damaged{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < n; t++) threads.emplace_back([&, t] { Churn(host, heap, 700 + t, &damaged); });
  for (auto& t : threads) t.join();
  return damaged.load();
}

/* The heap and spin locks are taken with plain stores while the process has a single
   thread. A spin lock so taken must keep out a thread started while it is held, a heap
   filled alone must stay sound once threads share it, and the locks must exclude from
   then on. Run in a fresh process, which starts with one thread (this one has others
   by now); the exit status names the first check that failed. */
void AloneThenShared(JNIHostFunctions* host, HHeap* heap) {
  if (!__libc_single_threaded) _exit(2);
  std::vector<uint8_t*> alone;
  for (int i = 0; i < 3000; i++) {
    uint8_t* b = (uint8_t*)host->HeapAlloc(heap, 1 + i % 500, 1);
    if (b == nullptr) _exit(3);
    memset(b, 0xA5, 1 + i % 500);
    alone.push_back(b);
  }
  void* s = host->SpinLockCreate(4, "test spinlock - Create");
  if (s == nullptr || host->SpinLockAcquire(s, "alone") != 1) _exit(4);
  if (!__libc_single_threaded) _exit(5);
  std::atomic<bool> got{false};
  std::thread other([&] {
    host->SpinLockAcquire(s, "other");
    got = true;
    host->SpinLockRelease(s, "other");
  });
  usleep(50000);
  if (got.load()) _exit(6);
  if (host->SpinLockRelease(s, "alone") != 1) _exit(7);
  other.join();
  if (!got.load()) _exit(8);
  if (ChurnOn(host, heap, 8) != 0) _exit(9);
  for (size_t i = 0; i < alone.size(); i++) {
    for (uint32_t j = 0; j < 1 + i % 500; j++)
      if (alone[i][j] != 0xA5) _exit(10);
    host->HeapFree(heap, alone[i]);
  }
  if (refhost::BlocksInUse(heap) != 0) _exit(11);
  host->CloseHandle(s, "test Close");
  _exit(0);
}

using HeapDeathTest = HeapTest;

TEST_F(HeapDeathTest, LocksTakenAloneStillExcludeThreadsStartedLater) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(AloneThenShared(host, heap), ::testing::ExitedWithCode(0), "");
}

/* A huge page met for the first time is cleared whole, which costs a heap that grows
   more than it saves: unless the host asks, no region of a heap that grows lies where
   huge pages may back it; asked, every one does. Each in a fresh process, whose supply
   holds no region mapped before. */
TEST_F(HeapDeathTest, RegionsLieOnHugePagesOnlyWhenTheHostAsks) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under the sanitizer each region is a block of malloc's";
#endif
  if (!HugePagesGiven() || !HugePagesOnlyAsked()) GTEST_SKIP() << "huge pages are not given on request here";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(GrowAndCountSmallPages(host, false), ::testing::ExitedWithCode(0), "") << "not asked";
  EXPECT_EXIT(GrowAndCountSmallPages(host, true), ::testing::ExitedWithCode(0), "") << "asked";
}

/* Where the system backs every mapping with huge pages, a run of regions aligned to
   them would be backed at its first touch whatever the host asked: unless asked, every
   run is marked for small pages, whatever the system does; asked, for huge ones. */
TEST_F(HeapDeathTest, RunsAreMarkedForSmallPagesUnlessTheHostAsksWhateverTheSystemDoes) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under the sanitizer each region is a block of malloc's";
#endif
  if (!HugePagesGiven()) GTEST_SKIP() << "no huge pages here";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(GrowAndCountMarks(host, false), ::testing::ExitedWithCode(0), "") << "not asked";
  EXPECT_EXIT(GrowAndCountMarks(host, true), ::testing::ExitedWithCode(0), "") << "asked";
}

/* Under the sanitizer every byte of a region that no live block asked for is poisoned:
   a read of a block freed (outside walks and during one, where its place waits) or of
   the prefix a merge took in is reported at once. */
TEST_F(HeapDeathTest, ReadsOfFreedOrMergedPlacesAreReportedUnderTheSanitizer) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's poisoning";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto read = [](void* p) { return *(volatile uint8_t*)p; };
  auto three = [&] {
    std::vector<uint8_t*> b;
    for (int i = 0; i < 3; i++) b.push_back((uint8_t*)host->HeapAlloc(heap, 100, 1));
    return b;
  };
  auto freed = [&] {
    std::vector<uint8_t*> b = three();
    host->HeapFree(heap, b[1]);
    read(b[1]);
  };
  auto merged = [&] {
    std::vector<uint8_t*> b = three();
    host->HeapFree(heap, b[2]);
    host->HeapFree(heap, b[1]);
    read(b[2] - 24);  // the third's prefix, inside the second now
  };
  auto freedDuringAWalk = [&] {
    std::vector<uint8_t*> b = three();
    WalkLog log{host, heap, {}, nullptr};
    log.onVisit = [&](void* v) {
      if (v != b[0]) return;
      host->HeapFree(heap, b[1]);
      read(b[1] + 50);
    };
    host->HeapWalk(heap, Record, &log);
  };
  EXPECT_DEATH(freed(), "use-after-poison");
  EXPECT_DEATH(merged(), "use-after-poison");
  EXPECT_DEATH(freedDuringAWalk(), "use-after-poison");
  // Read in bounds, a block made where others were freed and merged is whole.
  std::vector<uint8_t*> b = three();
  host->HeapFree(heap, b[1]);
  host->HeapFree(heap, b[2]);
  uint8_t* whole = (uint8_t*)host->HeapAlloc(heap, 200, 1);
  memset(whole, 1, 200);
  EXPECT_EQ(1, read(whole + 199));
  host->HeapFree(heap, whole);
  host->HeapFree(heap, b[0]);
#endif
}

TEST_F(HeapDeathTest, DoubleFreeIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  void* b = host->HeapAlloc(heap, 40, 1);
  host->HeapFree(heap, b);
  EXPECT_DEATH(host->HeapFree(heap, b), "");
}

/* A block freed twice inside a walk, whether the walk's own thread holds back its count
   or not, is caught at the second free. */
TEST_F(HeapDeathTest, ABlockFreedTwiceDuringAWalkIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int i = 0; i < 4; i++) host->HeapAlloc(heap, 40, 1);
  WalkLog log{host, heap, {}, nullptr};
  log.onVisit = [&](void* b) {
    host->HeapFree(heap, b);
    host->HeapFree(heap, b);
  };
  EXPECT_DEATH(host->HeapWalk(heap, Record, &log), "freed");
}

TEST_F(HeapDeathTest, FreeOnTheWrongHeapIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  HHeap* other = host->HeapCreate(nullptr, 2);
  void* b = host->HeapAlloc(heap, 40, 1);
  void* p = host->HeapAlloc(nullptr, 40, 1);
  EXPECT_DEATH(host->HeapFree(other, b), "another heap");
  EXPECT_DEATH(host->HeapFree(nullptr, b), "heap block freed as process memory");
  EXPECT_DEATH(host->HeapFree(heap, p), "process memory freed on a heap");
  host->HeapFree(heap, b);
  host->HeapFree(nullptr, p);
  host->HeapDestroy(other);
}

}  // namespace
