/* Chunked arrays: exact pool use for each size, all-or-nothing creation under refusals,
   the edges of the guarded accessors and the chunk layout. */
#include "chunkedarray.h"
#include "compress_support.h"

namespace compress_test {
namespace {

using puxz::ChunkedArray;
using puxz::ChunkedRecordArray;

class ChunkedTest : public PoolMachineTest {
 protected:
  void SetUp() override {
    PoolMachineTest::SetUp();
    // Hold the pool open so that creating it is not counted as a request of the array.
    cookie = ZipPoolGetCookie();
    ASSERT_NE(nullptr, cookie);
  }
  void TearDown() override {
    if (cookie != nullptr) ZipPoolReleaseCookie(cookie);
    PoolMachineTest::TearDown();
  }
  ZipPoolCookie* cookie = nullptr;
};

uint32_t ExpectedBytes(uint32_t n, uint32_t header) {
  uint32_t chunks = n == 0 ? 1 : (n + 255) / 256;
  uint32_t tables = (chunks + 63) / 64;
  return header + 12 + (chunks + tables) * 268;
}

TEST_F(ChunkedTest, EachSizeTakesExactlyItsChunksAndTables) {
  for (uint32_t n : {0u, 1u, 256u, 257u, 16384u, 16385u, 65535u, 65536u}) {
    SCOPED_TRACE(n);
    ChunkedArray* a = ChunkedArray::Create(n);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(n, a->size);
    EXPECT_EQ(ExpectedBytes(n, 20), ZipPoolBytesInUse(cookie));
    // Chunks fill the segments in order, and no segment is begun without a chunk.
    uint32_t chunks = n == 0 ? 1 : (n + 255) / 256;
    for (uint32_t s = 0; s < 4; s++) {
      uint32_t inSegment = chunks > s * 64 ? std::min(64u, chunks - s * 64) : 0;
      ASSERT_EQ(inSegment != 0, a->segments[s] != nullptr);
      for (uint32_t j = 0; inSegment != 0 && j < 64; j++)
        EXPECT_EQ(j < inSegment, puxz::ChunkSegment::Chunk(a->segments[s], j) != nullptr);
    }
    ChunkedArray::Destroy(a);
    EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  }
  uint64_t before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, ChunkedArray::Create(65537));
  EXPECT_EQ(nullptr, ChunkedArray::CreateShorts(32769));
  EXPECT_EQ(nullptr, ChunkedArray::CreateShorts(0x80000001u));  // 2n would wrap to 2
  EXPECT_EQ(nullptr, ChunkedArray::CreateInts(16385));
  EXPECT_EQ(nullptr, ChunkedArray::CreateInts(0x40000001u));    // 4n would wrap to 4
  EXPECT_EQ(nullptr, ChunkedRecordArray::Create(16385, 4));
  EXPECT_EQ(nullptr, ChunkedRecordArray::Create(1, 257));
  EXPECT_EQ(nullptr, ChunkedRecordArray::Create(1, 512));
  EXPECT_EQ(nullptr, ChunkedRecordArray::Create(0x40000001u, 4));
  EXPECT_EQ(before, refhost::AllocationCount());

  ChunkedArray* shorts = ChunkedArray::CreateShorts(32768);
  ASSERT_NE(nullptr, shorts);
  EXPECT_EQ(65536u, shorts->size);
  ChunkedArray::Destroy(shorts);
  ChunkedRecordArray* records = ChunkedRecordArray::Create(573, 4);
  ASSERT_NE(nullptr, records);
  EXPECT_EQ(4, records->stride);
  EXPECT_EQ(ExpectedBytes(573 * 4, 24), ZipPoolBytesInUse(cookie));
  ChunkedArray::Destroy(records);
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
}

TEST_F(ChunkedTest, ARefusalAtAnyRequestLeavesNothingBehind) {
  uint32_t blocks = refhost::BlocksInUse(nullptr);
  uint64_t bytes = refhost::BytesInUse(nullptr);
  // Header, two tables and 65 chunks: 68 requests.
  for (uint32_t k = 1; k <= 69; k++) {
    SCOPED_TRACE(k);
    refhost::SetFailureScope(true, nullptr, 1);
    refhost::FailNthAllocation(k);
    ChunkedArray* a = ChunkedArray::Create(16385);
    refhost::ResetHooks();
    if (k <= 68) {
      EXPECT_EQ(nullptr, a);
    } else {
      ASSERT_NE(nullptr, a);
      ChunkedArray::Destroy(a);
    }
    EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
    EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr));
    EXPECT_EQ(bytes, refhost::BytesInUse(nullptr));
  }
  for (uint32_t k = 1; k <= 3; k++) {  // header, table, chunk
    refhost::SetFailureScope(true, nullptr, 1);
    refhost::FailNthAllocation(k);
    EXPECT_EQ(nullptr, ChunkedRecordArray::Create(61, 4));
    refhost::ResetHooks();
    EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  }
}

TEST_F(ChunkedTest, GuardedAccessorsStopAtTheEndAndCountDroppedWrites) {
  uint32_t dropped = ChunkedArray::DroppedWrites();
  ChunkedArray* empty = ChunkedArray::Create(0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(0u, empty->GetByte(0));
  EXPECT_EQ(0, empty->SetByte(0, 1));
  EXPECT_EQ(0u, *empty->Address(0)) << "its one chunk is zero and untouched";
  ChunkedArray::Destroy(empty);

  ChunkedArray* five = ChunkedArray::Create(5);
  ASSERT_NE(nullptr, five);
  for (uint32_t i = 0; i < 5; i++) EXPECT_EQ(1, five->SetByte(i, 0x10 + i));
  EXPECT_EQ(0, five->SetByte(5, 0xEE));
  EXPECT_EQ(0x1312u, five->GetShort(1));
  EXPECT_EQ(0u, five->GetShort(2));  // 5 / 2 = 2 elements
  EXPECT_EQ(0, five->SetShort(2, 0xFFFF));
  EXPECT_EQ(0x13121110u, five->GetInt(0));
  EXPECT_EQ(0u, five->GetInt(1));
  EXPECT_EQ(0, five->SetInt(1, 1));
  EXPECT_EQ(0x14u, five->GetByte(4));
  EXPECT_EQ(0u, *five->Address(5)) << "nothing was written past the end";
  EXPECT_EQ(0u, five->GetByte(0xFFFFFFFFu));
  ChunkedArray::Destroy(five);
  EXPECT_EQ(dropped + 4, ChunkedArray::DroppedWrites());

  ChunkedRecordArray* records = ChunkedRecordArray::Create(3, 3);  // stride 4
  ASSERT_NE(nullptr, records);
  EXPECT_EQ(4, records->stride);
  EXPECT_NE(nullptr, records->Record(2));
  EXPECT_EQ(nullptr, records->Record(3));
  EXPECT_EQ(records->Address(8), records->Record(2));
  ChunkedArray::Destroy(records);
  ChunkedRecordArray* wide = ChunkedRecordArray::Create(300, 24);  // stride 32
  ASSERT_NE(nullptr, wide);
  EXPECT_EQ(32, wide->stride);
  EXPECT_EQ(wide->Address(299 * 32), wide->Record(299));
  ChunkedArray::Destroy(wide);
}

TEST_F(ChunkedTest, ElementsKeepTheirValuesAcrossChunksAndSegments) {
  ChunkedArray* a = ChunkedArray::Create(65536);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(a->segments[0]->chunks[63] + 255, a->Address(16383));
  EXPECT_EQ(a->segments[1]->chunks[0], a->Address(16384));
  uint32_t left = 0;
  EXPECT_EQ(a->Address(16383), a->Run(16383, &left));
  EXPECT_EQ(1u, left);
  // A fresh array reads zeros although the host fills new blocks with a pattern.
  for (uint32_t i = 0; i < 65536; i++) ASSERT_EQ(0u, a->GetByte(i)) << i;
  for (uint32_t i = 0; i < 16384; i++) ASSERT_EQ(1, a->SetInt(i, i * 2654435761u));
  for (uint32_t i = 0; i < 16384; i++) ASSERT_EQ(i * 2654435761u, a->GetInt(i));
  for (uint32_t i = 0; i < 32768; i++) a->SetShort(i, i ^ 0x5555);
  for (uint32_t i = 0; i < 32768; i++) ASSERT_EQ((i ^ 0x5555) & 0xFFFF, a->GetShort(i));
  for (uint32_t i = 0; i < 65536; i++) a->SetByte(i, i * 7);
  for (uint32_t i = 0; i < 65536; i++) ASSERT_EQ((i * 7) & 0xFF, a->GetByte(i));
  ChunkedArray::Destroy(a);
}

/* Runs of every length up to a chunk, from and to every alignment within 16 bytes: the
   bytes of the run arrive, and not one byte around it changes. */
TEST(ChunkCopyTest, EveryLengthAndAlignmentCopiesExactlyTheRun) {
  uint8_t from[320], to[320], expected[320];
  for (uint32_t i = 0; i < sizeof from; i++) from[i] = (uint8_t)(i * 7 + 3);
  for (uint32_t n = 0; n <= 256; n++) {
    for (uint32_t a = 0; a < 16; a++) {
      for (uint32_t b = 0; b < 16; b += 5) {
        memset(to, 0xA5, sizeof to);
        memcpy(expected, to, sizeof to);
        memcpy(expected + 32 + b, from + a, n);
        puxz::ChunkCopy(to + 32 + b, from + a, n);
        ASSERT_EQ(0, memcmp(expected, to, sizeof to)) << "length " << n << " from +" << a << " to +" << b;
      }
    }
  }
}

}  // namespace
}  // namespace compress_test
