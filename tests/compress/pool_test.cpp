/* The compression memory pool: exact accounting, the list against the count, lifetime of
   the pool and its pair on the machine, threads and machines, refusals and bad cookies. */
#include <string.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "compress_support.h"

namespace compress_test {
namespace {

using runtime_test::Machine;

class PoolTest : public PoolMachineTest {};

TEST_F(PoolTest, BlocksAreCountedWithTheirHeadersAndTheListMatchesTheCount) {
  ZipPoolCookie* c = ZipPoolGetCookie();
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(0u, ZipPoolBytesInUse(c));
  void* one = ZipPoolAlloc(c, 1, 1);
  EXPECT_EQ(16u, ZipPoolBytesInUse(c));
  void* four = ZipPoolAlloc(c, 2, 2);
  EXPECT_EQ(32u, ZipPoolBytesInUse(c));
  void* five = ZipPoolAlloc(c, 5, 1);
  EXPECT_EQ(49u, ZipPoolBytesInUse(c));
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 0, 7));
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 7, 0));
  EXPECT_EQ(49u, ZipPoolBytesInUse(c));
  ZipPoolFree(c, four);  // the middle block
  ZipPoolFree(c, one);   // the first
  ZipPoolFree(c, five);  // the only one left
  EXPECT_EQ(0u, ZipPoolBytesInUse(c));
  EXPECT_EQ(nullptr, c->first);
  EXPECT_EQ(nullptr, c->last);

  void* big = ZipPoolAlloc(c, 1, 256);
  void* record = ZipPoolAlloc(c, 1, 56);
  ZipPoolFree(c, big);
  EXPECT_EQ(68u, ZipPoolBytesInUse(c));
  ZipPoolFree(c, record);

  // Random orders of allocation and release reach every position of the list.
  std::mt19937 random(17);
  std::vector<uint8_t*> live;
  for (int step = 0; step < 3000; step++) {
    if (live.empty() || random() % 3 != 0) {
      uint32_t n = 1 + random() % 300;
      uint8_t* block = static_cast<uint8_t*>(ZipPoolAlloc(c, n, 1));
      ASSERT_NE(nullptr, block);
      for (uint32_t i = 0; i < n; i++) ASSERT_EQ(0, block[i]) << "blocks come zero-filled";
      block[n - 1] = 0x5A;
      live.push_back(block);
    } else {
      size_t i = random() % live.size();
      ZipPoolFree(c, live[i]);
      live.erase(live.begin() + i);
    }
    if (step % 100 == 0) {
      ASSERT_EQ(ZipPoolBytesInUse(c), WalkPool(c));
    }
  }
  uint32_t blocks = 0;
  EXPECT_EQ(ZipPoolBytesInUse(c), WalkPool(c, &blocks));
  EXPECT_EQ(live.size(), blocks);
  // What is still live goes with the last reference.
  ZipPoolReleaseCookie(c);
  EXPECT_EQ(nullptr, PeekCookie());
}

TEST_F(PoolTest, ProductsThatDoNotFitAreRefusedBeforeAnyAllocation) {
  ZipPoolCookie* c = ZipPoolGetCookie();
  ASSERT_NE(nullptr, c);
  uint64_t before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 0x10000, 0x10000));    // 2^32 wraps to 0
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 0x80000001u, 2));       // wraps to 2
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 1, 0xFFFFFFF4u));       // header would wrap
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 0xFFFFFFFFu, 0xFFFFFFFFu));
  EXPECT_EQ(before, refhost::AllocationCount());
  EXPECT_EQ(0u, ZipPoolBytesInUse(c));
  ZipPoolReleaseCookie(c);
}

TEST_F(PoolTest, NullAndForeignCookiesAreRefusedWithoutEffect) {
  EXPECT_EQ(0xFFFFFFFFu, ZipPoolBytesInUse(nullptr));
  EXPECT_EQ(nullptr, ZipPoolAlloc(nullptr, 1, 16));
  ZipPoolFree(nullptr, nullptr);
  ZipPoolReleaseCookie(nullptr);
  ZipPoolCookieDestroy(nullptr);

  uint32_t foreign[5] = {0x12345678, 1, 2, 3, 4};
  ZipPoolCookie* f = reinterpret_cast<ZipPoolCookie*>(foreign);
  uint64_t before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, ZipPoolAlloc(f, 1, 16));
  int dummy;
  ZipPoolFree(f, &dummy);
  ZipPoolReleaseCookie(f);
  ZipPoolCookieDestroy(f);
  EXPECT_EQ(0xFFFFFFFFu, ZipPoolBytesInUse(f));
  EXPECT_EQ(before, refhost::AllocationCount());
  EXPECT_EQ(0x12345678u, foreign[0]);
  EXPECT_EQ(4u, foreign[4]);
}

TEST_F(PoolTest, LastReferenceReleasesThePoolAndItsPairAndANewPoolStartsEmpty) {
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  ZipPoolCookie* c = ZipPoolGetCookie();
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(c, PeekCookie());
  EXPECT_EQ(c, ZipPoolGetCookie());
  EXPECT_EQ(2, c->references);
  ASSERT_NE(nullptr, ZipPoolAlloc(c, 1, 100));
  ZipPoolReleaseCookie(c);
  EXPECT_EQ(112u, ZipPoolBytesInUse(c));
  ZipPoolReleaseCookie(c);  // frees the live block as well
  EXPECT_EQ(nullptr, PeekCookie());
  EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));

  ZipPoolCookie* again = ZipPoolGetCookie();
  ASSERT_NE(nullptr, again);
  EXPECT_EQ(0u, ZipPoolBytesInUse(again));
  EXPECT_EQ(1, again->references);
  ZipPoolReleaseCookie(again);
}

TEST_F(PoolTest, ChunksHoldOneReferenceEachAndTheLastReleaseEndsThePool) {
  const int k = 25;
  std::vector<void*> chunks;
  for (int i = 0; i < k; i++) chunks.push_back(ZipPoolChunkAlloc(256));
  ZipPoolCookie* c = PeekCookie();
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(k, c->references);
  EXPECT_EQ(k * 268u, ZipPoolBytesInUse(c));
  for (int i = k - 1; i >= 0; i--) ZipPoolChunkFree(chunks[i]);
  EXPECT_EQ(nullptr, PeekCookie());

  // A refused chunk keeps the reference it took: the pool lives on, empty.
  void* held = ZipPoolChunkAlloc(8);
  refhost::SetFailureScope(true, nullptr, 1);
  refhost::FailNextAllocations(1);
  EXPECT_EQ(nullptr, ZipPoolChunkAlloc(8));
  refhost::ResetHooks();
  c = PeekCookie();
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(2, c->references);
  ZipPoolChunkFree(held);
  EXPECT_EQ(c, PeekCookie());
  EXPECT_EQ(0u, ZipPoolBytesInUse(c));
  // The machine's destruction (TearDown) releases it.
}

TEST_F(PoolTest, AFailedListingLeavesNoPoolBehind) {
  uint64_t processBytes = refhost::BytesInUse(nullptr);
  refhost::SetFailureScope(true, nullptr, 1);
  refhost::FailNthAllocation(2);  // the cookie succeeds, its node on the machine does not
  EXPECT_EQ(nullptr, ZipPoolGetCookie());
  refhost::ResetHooks();
  EXPECT_EQ(nullptr, PeekCookie());
  EXPECT_EQ(processBytes, refhost::BytesInUse(nullptr));

  refhost::SetFailureScope(true, nullptr, 1);
  refhost::FailNthAllocation(1);  // the cookie itself
  EXPECT_EQ(nullptr, ZipPoolChunkAlloc(16));
  refhost::ResetHooks();
  EXPECT_EQ(processBytes, refhost::BytesInUse(nullptr));

  // Afterwards exactly one pool is made and listed.
  ZipPoolCookie* a = ZipPoolGetCookie();
  ZipPoolCookie* b = ZipPoolGetCookie();
  EXPECT_EQ(a, b);
  int pairs = 0;
  for (VMJniKeyValueNode* n = static_cast<VMJniKeyValueNode*>(machine.jvm->destroyCallbacks); n; n = n->next)
    pairs += n->key == ZipPoolCookieDestroy;
  EXPECT_EQ(1, pairs);
  ZipPoolReleaseCookie(a);
  ZipPoolReleaseCookie(b);
}

TEST_F(PoolTest, OnePoolPerMachineAcrossThreadsAndOneForEachMachine) {
  Machine other = MakeMachine();
  ZipPoolCookie* mine = ZipPoolGetCookie();
  std::atomic<ZipPoolCookie*> seen[4];
  ZipPoolCookie* theirs = nullptr;
  RunThreads(4, [&](int i) {
    JNIEnv* e = AttachHere(machine);
    seen[i] = ZipPoolGetCookie();
    ZipPoolReleaseCookie(seen[i]);
    if (e != nullptr) DetachHere(machine);
  });
  std::thread([&] {
    JNIEnv* e = AttachHere(other);
    theirs = ZipPoolGetCookie();
    if (e != nullptr) DetachHere(other);
  }).join();
  for (auto& s : seen) EXPECT_EQ(mine, s.load());
  ASSERT_NE(nullptr, theirs);
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(1, mine->references);
  ZipPoolReleaseCookie(mine);
  // The other machine goes with its pool still referenced and a block in it.
  std::thread([&] {
    AttachHere(other);
    ASSERT_NE(nullptr, ZipPoolAlloc(theirs, 3, 50));
    DestroyAttachedMachine(other, true);
  }).join();
}

TEST_F(PoolTest, DestroyingAMachineReleasesEveryLiveBlock) {
  uint64_t processBytes = processBytesBefore;
  Machine other = MakeMachine();
  std::thread([&] {
    AttachHere(other);
    for (int i = 0; i < 40; i++) ZipPoolChunkAlloc(256);
    ZipPoolCookie* c = ZipPoolGetCookie();
    ZipPoolAlloc(c, 1, 1000);
    DestroyAttachedMachine(other, true);
  }).join();
  // Only this fixture's own machine and env remain in process memory.
  DestroyAttachedMachine(machine, true);
  env = nullptr;
  EXPECT_EQ(processBytes, refhost::BytesInUse(nullptr));
}

TEST_F(PoolTest, AThreadWithoutAMachineGetsNoPool) {
  ZipPoolCookie* c = ZipPoolGetCookie();
  ASSERT_NE(nullptr, c);
  void* block = ZipPoolAlloc(c, 1, 10);
  std::thread([&] {
    EXPECT_EQ(nullptr, ZipPoolGetCookie());
    EXPECT_EQ(nullptr, ZipPoolChunkAlloc(64));
    EXPECT_EQ(nullptr, ZipPoolAlloc(c, 1, 10));  // the list cannot be locked
    ZipPoolFree(c, block);                        // stays linked and counted
    ZipPoolChunkFree(block);
    ZipPoolReleaseCookie(c);
  }).join();
  EXPECT_EQ(22u, ZipPoolBytesInUse(c));
  EXPECT_EQ(22u, WalkPool(c));
  EXPECT_EQ(1, c->references);
  ZipPoolFree(c, block);
  EXPECT_EQ(0u, ZipPoolBytesInUse(c));
  ZipPoolReleaseCookie(c);
}

std::atomic<int> failLocks{0};
JNIHostFunctions* realHost = nullptr;
jboolean HOSTCALL FailingMutexLock(void* m) {
  if (failLocks.load() > 0) return 0;
  return realHost->MutexLock(m);
}

TEST_F(PoolTest, WhenTheMonitorCannotBeHadTheListAndCountStayEqual) {
  ZipPoolCookie* c = ZipPoolGetCookie();
  void* kept = ZipPoolAlloc(c, 1, 40);
  realHost = refhost::Functions();
  host->MutexLock = FailingMutexLock;
  uint64_t processBytes = refhost::BytesInUse(nullptr);
  failLocks = 1;
  EXPECT_EQ(nullptr, ZipPoolAlloc(c, 1, 40));
  EXPECT_EQ(processBytes, refhost::BytesInUse(nullptr));  // the raw block went back
  ZipPoolFree(c, kept);                                     // refused: stays linked
  EXPECT_EQ(nullptr, ZipPoolGetCookie());
  ZipPoolReleaseCookie(c);
  failLocks = 0;
  host->MutexLock = realHost->MutexLock;
  EXPECT_EQ(52u, ZipPoolBytesInUse(c));
  EXPECT_EQ(52u, WalkPool(c));
  EXPECT_EQ(1, c->references);
  ZipPoolReleaseCookie(c);  // releases the block that stayed
  EXPECT_EQ(nullptr, PeekCookie());
}

TEST_F(PoolTest, FourThreadsTakingAndGivingChunksKeepTheListWhole) {
  ZipPoolCookie* c = ZipPoolGetCookie();
  RunThreads(4, [&](int t) {
    AttachHere(machine);
    std::mt19937 random(t);
    std::vector<void*> mine;
    for (int i = 0; i < 20000; i++) {
      if (mine.size() < 8 && random() % 2 == 0) {
        void* chunk = ZipPoolChunkAlloc(1 + random() % 256);
        ASSERT_NE(nullptr, chunk);
        mine.push_back(chunk);
      } else if (!mine.empty()) {
        ZipPoolChunkFree(mine.back());
        mine.pop_back();
      }
    }
    for (void* chunk : mine) ZipPoolChunkFree(chunk);
    DetachHere(machine);
  });
  EXPECT_EQ(0u, ZipPoolBytesInUse(c));
  EXPECT_EQ(0u, WalkPool(c));
  EXPECT_EQ(1, c->references);
  ZipPoolReleaseCookie(c);
}

// Chunk requests and releases run under one monitor entry each, beside threads that take
// and drop the pool by its cookie: the pool is made and released over and over between
// them (no reference is held between rounds in half of them). Each chunk carries its
// owner's pattern until it is given back, so two owners of one block, or a block zeroed
// after it was handed out, show; at the end of a round the pool is gone or empty and
// whole, and process memory is back where it was.
TEST_F(PoolTest, ChunkTakersAndCookieHoldersRacingLeaveThePoolWholeOrGone) {
  ZipPoolCookie* warm = ZipPoolGetCookie();  // the machine's list node, made once
  ZipPoolReleaseCookie(warm);
  RunThreads(1, [&](int) {  // a first attach on a host thread, out of the counted rounds
    AttachHere(machine);
    DetachHere(machine);
  });
  uint64_t processBytes = refhost::BytesInUse(nullptr);
  for (int round = 0; round < 30; round++) {
    bool held = round % 2 == 1;
    ZipPoolCookie* mine = held ? ZipPoolGetCookie() : nullptr;
    std::atomic<int> damaged{0}, refused{0};
    RunThreads(6, [&](int t) {
      AttachHere(machine);
      std::mt19937 random(round * 16 + t);
      if (t < 4) {
        struct Held {
          uint8_t* chunk;
          uint32_t n;
          uint8_t mark;
        };
        std::vector<Held> mine;
        for (int i = 0; i < 3000; i++) {
          if (mine.size() < 6 && random() % 2 == 0) {
            uint32_t n = 1 + random() % 256;
            uint8_t* chunk = static_cast<uint8_t*>(ZipPoolChunkAlloc(n));
            if (chunk == nullptr) {
              refused++;
              continue;
            }
            for (uint32_t k = 0; k < n; k++) damaged += chunk[k] != 0;
            uint8_t mark = (uint8_t)(t * 64 + i);
            memset(chunk, mark, n);
            mine.push_back({chunk, n, mark});
          } else if (!mine.empty()) {
            size_t pick = random() % mine.size();
            Held h = mine[pick];
            for (uint32_t k = 0; k < h.n; k++) damaged += h.chunk[k] != h.mark;
            ZipPoolChunkFree(h.chunk);
            mine.erase(mine.begin() + pick);
          }
        }
        for (const Held& h : mine) ZipPoolChunkFree(h.chunk);
      } else {
        for (int i = 0; i < 1500; i++) {
          ZipPoolCookie* c = ZipPoolGetCookie();
          if (c == nullptr) {
            refused++;
            continue;
          }
          uint32_t n = 1 + random() % 100;
          uint8_t* block = static_cast<uint8_t*>(ZipPoolAlloc(c, 1, n));
          if (block != nullptr) {
            for (uint32_t k = 0; k < n; k++) damaged += block[k] != 0;
            ZipPoolFree(c, block);
          } else {
            refused++;
          }
          ZipPoolReleaseCookie(c);
        }
      }
      DetachHere(machine);
    });
    ASSERT_EQ(0, damaged.load()) << "round " << round;
    ASSERT_EQ(0, refused.load()) << "round " << round;
    if (held) {
      ASSERT_EQ(mine, PeekCookie()) << "round " << round;
      EXPECT_EQ(1, mine->references);
      EXPECT_EQ(0u, ZipPoolBytesInUse(mine));
      EXPECT_EQ(0u, WalkPool(mine));
      ZipPoolReleaseCookie(mine);
    }
    ASSERT_EQ(nullptr, PeekCookie()) << "round " << round;
    ASSERT_EQ(processBytes, refhost::BytesInUse(nullptr)) << "round " << round;
  }
}

}  // namespace
}  // namespace compress_test
