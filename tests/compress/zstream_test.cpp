/* The stream record's messages, the default allocation pair and the checksum shim. */
#include <string.h>

#include "compress_support.h"
#include "zchecksum.h"
#include "zstream.h"

namespace compress_test {
namespace {

using puxz::z_stream;

TEST(ZStream, MessagesFollowTheResultCodes) {
  const char* expected[] = {"need dictionary", "stream end", "", "file error", "stream error",
                            "data error", "insufficient memory", "buffer error", "incompatible version"};
  for (int r = 2; r >= -6; r--) EXPECT_STREQ(expected[2 - r], puxz::ZMessage(r)) << r;
  EXPECT_EQ(nullptr, puxz::ZMessage(3));
  EXPECT_EQ(nullptr, puxz::ZMessage(-7));
  EXPECT_STREQ("", puxz::ZMessageTable[9]);
}

TEST(ZStream, ChecksumsAreTheStandardOnes) {
  const uint8_t* text = reinterpret_cast<const uint8_t*>("Wikipedia");
  EXPECT_EQ(0x11E60398u, puxz::Adler32(1, text, 9));
  EXPECT_EQ(0x11E60398u, puxz::Adler32(puxz::Adler32(1, text, 4), text + 4, 5));
  EXPECT_EQ(0xCBF43926u, puxz::Crc32(0, reinterpret_cast<const uint8_t*>("123456789"), 9));
}

struct Recorded {
  void* opaque = nullptr;
  uint32_t items = 0, size = 0;
  void* freed = nullptr;
  int calls = 0;
};
Recorded recorded;
char stubBlock[64];
void* RecordingAlloc(void* opaque, uint32_t items, uint32_t size) {
  recorded.opaque = opaque;
  recorded.items = items;
  recorded.size = size;
  recorded.calls++;
  return stubBlock;
}
void RecordingFree(void* opaque, void* block) {
  recorded.opaque = opaque;
  recorded.freed = block;
  recorded.calls++;
}

class DefaultPairTest : public PoolMachineTest {};

TEST_F(DefaultPairTest, ForwardsToTheRecordsPairOrItsPoolButNeverToItself) {
  EXPECT_EQ(nullptr, puxz::zcalloc(nullptr, 1, 8));
  puxz::zcfree(nullptr, stubBlock);

  z_stream z;
  memset(&z, 0, sizeof z);
  recorded = Recorded();
  z.zalloc = RecordingAlloc;
  z.zfree = RecordingFree;
  z.opaque = &recorded;
  EXPECT_EQ(stubBlock, puxz::zcalloc(&z, 3, 5));
  EXPECT_EQ(&recorded, recorded.opaque);
  EXPECT_EQ(3u, recorded.items);
  EXPECT_EQ(5u, recorded.size);
  puxz::zcfree(&z, stubBlock);
  EXPECT_EQ(stubBlock, recorded.freed);
  EXPECT_EQ(2, recorded.calls);

  // Installed as the record's own pair, with the record itself or anything else as
  // opaque: no call through the record, no recursion.
  z.zalloc = puxz::zcalloc;
  z.zfree = puxz::zcfree;
  z.opaque = &z;
  EXPECT_EQ(nullptr, puxz::zcalloc(&z, 1, 8));
  puxz::zcfree(&z, stubBlock);
  z_stream outer;
  memset(&outer, 0, sizeof outer);
  outer.zalloc = puxz::zcalloc;
  outer.zfree = puxz::zcfree;
  outer.opaque = &z;
  EXPECT_EQ(nullptr, outer.zalloc(outer.opaque, 1, 8));

  // Without a pair of its own, the record's opaque is the pool.
  ZipPoolCookie* cookie = ZipPoolGetCookie();
  z.zalloc = nullptr;
  z.zfree = nullptr;
  z.opaque = cookie;
  void* block = puxz::zcalloc(&z, 4, 61);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(256u, ZipPoolBytesInUse(cookie));
  puxz::zcfree(&z, block);
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  z.opaque = nullptr;
  EXPECT_EQ(nullptr, puxz::zcalloc(&z, 4, 61));
  ZipPoolReleaseCookie(cookie);
}

}  // namespace
}  // namespace compress_test
