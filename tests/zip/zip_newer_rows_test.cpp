/* The newer generation's rows of the java.util.zip natives, called from classes of that
   shape placed ahead of the class library: Deflater's and Inflater's handle rows (init,
   end, reset, the counters, getAdler, setDictionary, initIDs) with the object rows
   deflateBytes and inflateBytes over the handles they make, handles that name no live
   stream (an ended one among them, whose memory a new stream has taken), and ZipEntry's
   and ZipFile's rows, nine of which are not built. */
#include <gtest/gtest.h>

#include "interp_support.h"
#include "javautilzip.h"
#include "reusing_memory.h"
#include "zippool.h"

namespace {

using interp_test::ClassDir;
using interp_test::Outcome;
using interp_test::World;

class ZipNewerRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(world.Create(ClassDir("zipgen")));
    VMRegisterClassLibraryNatives();
  }
  void TearDown() override {
    ZipPoolCookie* cookie = ZipPoolGetCookie();
    if (cookie != nullptr) {
      EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
      ZipPoolReleaseCookie(cookie);
    }
    world.Destroy();
  }
  int Check(const char* cls) {
    Outcome o = world.Call(cls, "check", "()I");
    EXPECT_EQ("", o.thrown) << cls << ": " << o.message;
    return o.Int();
  }
  World world;
};

/* The Inflater's handles are checked with freed memory handed straight back (in every
   build): an ended handle must name nothing once a new stream has taken its memory. */
TEST_F(ZipNewerRowsTest, EveryRowAnswersAsItShould) {
  {
    zip_test::ReusingProcessMemory reuse;
    EXPECT_EQ(0, Check("java/util/zip/Inflater"));
    EXPECT_GT(reuse.Reused(), 0u);
  }
  EXPECT_EQ(0, Check("java/util/zip/Deflater"));
  EXPECT_EQ(0, Check("java/util/zip/ZipEntry"));
  EXPECT_EQ(0, Check("java/util/zip/ZipFile"));
}

}  // namespace
