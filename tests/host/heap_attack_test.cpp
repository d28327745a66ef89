/* A heap's big blocks freed while walks run, against walk numbers that wrap, walks that
   nest and overlap on several threads, and regions reclaimed meanwhile. */
#include "host_test_util.h"
#include "refhost_internal.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string.h>
#include <thread>
#include <vector>

namespace {

class HeapAttackTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
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

/* Past the allocator's threshold for a mapping of its own: freed, its pages go, and a
   walk that reads it afterwards faults even without the sanitizer. */
const uint32_t kMappedAlone = 2u << 20;

struct Visits {
  std::function<void(void*)> onVisit;
  std::vector<void*> seen;
};
jboolean HOSTCALL Visit(void* block, void* ctx) {
  Visits* v = (Visits*)ctx;
  v->seen.push_back(block);
  if (v->onVisit) v->onVisit(block);
  return 1;
}

/* The walk numbers wrap while a walk runs, and a walk begun after that, from inside it,
   meets a big block numbered just before the wrap, made before it began: the block, freed
   from inside the inner walk, must stay until both end, for the inner walk reads it after
   that free. */
TEST_F(HeapAttackTest, ABigBlockNumberedBeforeTheWrapStaysForAWalkBegunAfterIt) {
  void* first = host->HeapAlloc(heap, 40, 1);
  ASSERT_NE(nullptr, first);
  refhost::SetWalkNumber(heap, UINT32_MAX - 1);
  uint8_t* beforeWrap = nullptr;
  uint8_t* afterWrap = nullptr;
  bool freed = false;
  Visits inner, outer;
  inner.onVisit = [&](void* b) {
    if (b == first && !freed) {
      host->HeapFree(heap, beforeWrap);
      freed = true;
    }
  };
  outer.onVisit = [&](void* b) {
    if (b != first) return;
    beforeWrap = (uint8_t*)host->HeapAlloc(heap, kMappedAlone, 1);
    afterWrap = (uint8_t*)host->HeapAlloc(heap, kMappedAlone, 1);
    ASSERT_NE(nullptr, beforeWrap);
    ASSERT_NE(nullptr, afterWrap);
    memset(afterWrap, 0x33, 64);
    host->HeapWalk(heap, Visit, &inner);
  };
  host->HeapWalk(heap, Visit, &outer);
  ASSERT_TRUE(freed);
  std::set<void*> seen(inner.seen.begin(), inner.seen.end());
  EXPECT_EQ(1u, seen.count(first));
  EXPECT_EQ(0u, seen.count(beforeWrap)) << "met after its free";
  EXPECT_EQ(1u, seen.count(afterWrap));
  EXPECT_EQ(0x33, afterWrap[63]);
  host->HeapFree(heap, afterWrap);
  host->HeapFree(heap, first);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

/* The numbers wrap during one walk, which ends with them small again; a later walk, the
   only one running, must still meet every block made before it, the ones numbered just
   before the wrap among them, and a big one of those freed from inside it must stay until
   it ends. */
TEST_F(HeapAttackTest, BlocksNumberedBeforeTheWrapAreMetByTheWalksAfterIt) {
  void* first = host->HeapAlloc(heap, 40, 1);
  ASSERT_NE(nullptr, first);
  refhost::SetWalkNumber(heap, UINT32_MAX - 2);
  std::vector<void*> made;
  Visits making;
  making.onVisit = [&](void* b) {
    if (b != first) return;
    // Numbered UINT32_MAX - 1, UINT32_MAX, then 0 and on.
    for (int i = 0; i < 3; i++) {
      made.push_back(host->HeapAlloc(heap, kMappedAlone, 1));
      made.push_back(host->HeapAlloc(heap, 64, 1));
    }
  };
  host->HeapWalk(heap, Visit, &making);
  ASSERT_EQ(0, std::count(made.begin(), made.end(), nullptr));
  uint8_t* bigBeforeWrap = (uint8_t*)made[0];
  bool freed = false;
  Visits later;
  later.onVisit = [&](void* b) {
    if (b == first && !freed) {
      host->HeapFree(heap, bigBeforeWrap);
      freed = true;
    }
  };
  host->HeapWalk(heap, Visit, &later);
  ASSERT_TRUE(freed);
  std::set<void*> seen(later.seen.begin(), later.seen.end());
  EXPECT_EQ(0u, seen.count(bigBeforeWrap)) << "met after its free";
  for (size_t i = 1; i < made.size(); i++) EXPECT_EQ(1u, seen.count(made[i])) << "block " << i << " hidden";
  for (size_t i = 1; i < made.size(); i++) host->HeapFree(heap, made[i]);
  host->HeapFree(heap, first);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

/* The blocks the threads below made and have not freed, each holding its size in its
   first word and the same stamp in its fifth byte and its last; made, stamped, listed,
   unlisted and freed under the lock. A small block freed by another thread may be met by
   a walk, its body poisoned: a walk reads the bodies of listed blocks only. */
struct Reader {
  std::mutex lock;
  std::set<void*> live;
  std::atomic<int> torn{0}, met{0};
};
jboolean HOSTCALL ReadStamp(void* block, void* ctx) {
  Reader* r = (Reader*)ctx;
  std::lock_guard<std::mutex> listed(r->lock);
  if (!r->live.count(block)) return 1;
  uint8_t* b = (uint8_t*)block;
  uint32_t size;
  memcpy(&size, b, 4);
  ++r->met;
  if (size < 5 || size > kMappedAlone || b[4] != b[size - 1]) ++r->torn;
  return 1;
}

/* Walks on three threads, one of them walking again from inside its own walks, a fourth
   freeing its own big and small blocks from inside its walks, two more making and
   freeing blocks of every size and a seventh taking the heaps' free regions back without
   pause, while the walk numbers wrap: no walk reads a block after its storage went (the
   sanitizer's report, a fault on a block mapped alone, or a torn stamp), the heap never
   holds more than twice its capacity, and everything counts zero at the end. */
TEST_F(HeapAttackTest, BigBlocksFreedUnderOverlappingNestedWalksAcrossTheWrapAreNeverReadFreed) {
  const uint64_t capacity = 16u << 20;
  refhost::SetHeapCapacity(heap, capacity);
  refhost::SetWalkNumber(heap, UINT32_MAX - 3000);
  std::atomic<bool> done{false};
  std::atomic<int> walks{0}, overBound{0}, lost{0};
  Reader reader;
  auto stamped = [&](std::mt19937& rng, uint32_t size) -> uint8_t* {
    std::lock_guard<std::mutex> listing(reader.lock);
    uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
    if (b == nullptr) return nullptr;
    memcpy(b, &size, 4);
    b[4] = b[size - 1] = (uint8_t)(0x20 + rng() % 0x80);
    reader.live.insert(b);
    if (refhost::HeapFootprint(heap) > 2 * capacity) overBound++;
    return b;
  };
  auto unlisted = [&](void* b) {
    std::lock_guard<std::mutex> listing(reader.lock);
    reader.live.erase(b);
    host->HeapFree(heap, b);
  };
  auto sizeOf = [](std::mt19937& rng) -> uint32_t {
    switch (rng() % 8) {
      case 0: return kMappedAlone;
      case 1: case 2: case 3: return (16u << 10) + 1 + rng() % (300u << 10);
      default: return 5 + rng() % 4000;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; t++)
    threads.emplace_back([&, t] {
      while (!done) {
        if (t == 0) {
          int depth = 0;
          Visits nesting;
          nesting.onVisit = [&](void* b) {
            ReadStamp(b, &reader);
            if (depth == 0 && nesting.seen.size() % 64 == 1) {
              depth++;
              host->HeapWalk(heap, ReadStamp, &reader);
              depth--;
            }
          };
          host->HeapWalk(heap, Visit, &nesting);
        } else {
          host->HeapWalk(heap, ReadStamp, &reader);
        }
        walks++;
      }
    });
  threads.emplace_back([&] {
    std::mt19937 rng(77);
    while (!done) {
      std::set<void*> row;
      for (int i = 0; i < 12; i++) row.insert(stamped(rng, sizeOf(rng)));
      row.erase(nullptr);
      Visits sweep;
      sweep.onVisit = [&](void* b) {
        ReadStamp(b, &reader);
        if (row.erase(b)) unlisted(b);
      };
      host->HeapWalk(heap, Visit, &sweep);
      lost += (int)row.size();
      for (void* b : row) unlisted(b);
    }
  });
  threads.emplace_back([&] {
    while (!done) refhost::ReclaimHeapRegions();
  });
  std::vector<std::thread> makers;
  for (int t = 0; t < 2; t++)
    makers.emplace_back([&, t] {
      std::mt19937 rng(900 + t);
      std::vector<uint8_t*> live;
      for (int i = 0; i < 12000; i++) {
        if (live.size() < 20 && rng() % 3 != 0) {
          if (uint8_t* b = stamped(rng, sizeOf(rng))) live.push_back(b);
        } else if (!live.empty()) {
          size_t k = rng() % 2 ? live.size() - 1 : rng() % live.size();
          unlisted(live[k]);
          live[k] = live.back();
          live.pop_back();
        }
      }
      for (uint8_t* b : live) unlisted(b);
    });
  for (auto& m : makers) m.join();
  done = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, reader.torn.load()) << "of " << reader.met.load() << " blocks met by " << walks.load() << " walks";
  EXPECT_EQ(0, overBound.load());
  EXPECT_EQ(0, lost.load()) << "blocks of a sweep's own row not met by its walk";
  EXPECT_GT(walks.load(), 10);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
  EXPECT_EQ("", refhost::CheckHeap(heap));
  refhost::ReclaimHeapRegions();
  EXPECT_EQ(0u, refhost::HeapFootprint(heap));
}

/* A heap moved over and over, between walks that two other threads begin and end without
   pause, while its owner frees and makes big and small blocks between the moves: a walk
   begun while the heap moves meets the new places only, and the old ones, big blocks
   mapped alone among them, go when the move ends whatever walks run then. */
TEST_F(HeapAttackTest, AHeapMovedBetweenWalksOnOtherThreadsNeverHasTheOldPlacesRead) {
  refhost::SetHeapCapacity(heap, 32u << 20);
  std::atomic<bool> done{false}, hold{false};
  std::atomic<int> walks{0}, holding{0};
  Reader reader;
  std::vector<std::thread> walkers;
  for (int t = 0; t < 2; t++)
    walkers.emplace_back([&] {
      while (!done) {
        if (hold) {
          // Out of the walks while the heap starts to move: it moves only with none running.
          holding++;
          while (hold && !done) std::this_thread::yield();
          holding--;
        }
        host->HeapWalk(heap, ReadStamp, &reader);
        walks++;
      }
    });
  std::mt19937 rng(31);
  std::vector<uint8_t*> live;
  int moves = 0;
  for (int round = 0; round < 120; round++) {
    {
      std::lock_guard<std::mutex> listing(reader.lock);
      for (int i = 0; i < 6; i++) {
        if (live.size() > 16) {
          size_t k = rng() % live.size();
          reader.live.erase(live[k]);
          host->HeapFree(heap, live[k]);
          live[k] = live.back();
          live.pop_back();
        }
        uint32_t size = rng() % 4 == 0 ? kMappedAlone : rng() % 2 ? (16u << 10) + 1 + rng() % 100000 : 5 + rng() % 900;
        uint8_t* b = (uint8_t*)host->HeapAlloc(heap, size, 1);
        // What was freed under walks that overlap waits for a moment with none running.
        if (b == nullptr) continue;
        memcpy(b, &size, 4);
        b[4] = b[size - 1] = (uint8_t)(0x20 + rng() % 0x80);
        live.push_back(b);
        reader.live.insert(b);
      }
    }
    hold = true;
    while (holding < 2) std::this_thread::yield();
    uint32_t moved = refhost::RelocateHeap(heap);
    // The walks begin again while the heap moves, and run on as its old places go.
    hold = false;
    if (moved == 0) continue;
    moves++;
    {
      std::lock_guard<std::mutex> listing(reader.lock);
      reader.live.clear();
      for (uint8_t*& b : live) {
        b = (uint8_t*)refhost::RelocatedAddress(heap, b);
        reader.live.insert(b);
      }
    }
    refhost::FinishRelocation(heap);
  }
  done = true;
  for (auto& t : walkers) t.join();
  EXPECT_EQ(120, moves) << "over " << walks.load() << " walks";
  EXPECT_EQ(0, reader.torn.load()) << "of " << reader.met.load() << " blocks met";
  EXPECT_EQ(live.size(), refhost::BlocksInUse(heap));
  for (uint8_t* b : live) host->HeapFree(heap, b);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, host->HeapBytesInUse(heap));
}

}  // namespace
