/* Driving our deflate engine and the system zlib through the same call patterns, and
   the system zlib's inflate as the oracle. */
#ifndef PUX_TESTS_COMPRESS_DEFLATE_SUPPORT_H
#define PUX_TESTS_COMPRESS_DEFLATE_SUPPORT_H

#include <string>
#include <vector>

#include "chunkedarray.h"
#include "compress_support.h"
#include "deflate.h"
#include "sample_data.h"

namespace compress_test {

using sample_data::Bytes;

struct Params {
  int level = 6;
  int windowBits = 15; /* negative: raw */
  int memLevel = 8;
  int strategy = 0;
};

/* How input and output are offered: input in pieces of inPiece bytes (0: all at once),
   output room of outRoom bytes per call (0: 64 KB), every call before the last with
   flush mode flush; the last input is followed by flush 4 calls until the end. */
struct Pattern {
  uint32_t inPiece = 0;
  uint32_t outRoom = 0;
  int flush = 0;
};

/* The whole compressed stream, or an empty vector with a failure recorded. */
Bytes OurDeflate(const Params& p, const Bytes& in, const Pattern& pattern, ZipPoolCookie* cookie);
Bytes ZlibDeflate(const Params& p, const Bytes& in, const Pattern& pattern);
/* Inflates with the same window bits; true when the stream ends exactly at its end and
   the check value (when wrapped) matched. why says what went wrong. */
bool ZlibInflate(const Bytes& compressed, int windowBits, Bytes* out, std::string* why);
/* Our stream inflates back to the input; the failure message otherwise. */
::testing::AssertionResult RoundTrips(const Bytes& compressed, int windowBits, const Bytes& in);

/* The class library's class files, concatenated (read once). */
const Bytes& ClassFiles();

/* A stream of ours with a pool pair, for tests that call the engine directly. */
struct OurStream {
  puxz::z_stream z;
  explicit OurStream(ZipPoolCookie* cookie);
  int Init(const Params& p);
};

std::string Describe(const Params& p, const Pattern& pattern);

/* A machine with its pool open; at the end the pool must be empty and no access may have
   fallen outside a chunked array. */
class DeflateTest : public PoolMachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  ZipPoolCookie* cookie = nullptr;
  uint32_t dropped = 0;
};

}  // namespace compress_test

#endif
