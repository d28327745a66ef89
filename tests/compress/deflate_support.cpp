#include "deflate_support.h"

#include <string.h>
#include <zlib.h>

#include <sstream>

namespace compress_test {

namespace {

/* One driver for both engines: S is the stream record type, D the deflate function. */
template <typename S, typename D>
Bytes Drive(S& z, D deflateFn, const Bytes& in, const Pattern& pattern, const char* who) {
  Bytes out;
  size_t pos = 0;
  uint32_t room = pattern.outRoom != 0 ? pattern.outRoom : 65536;
  int idle = 0;
  for (;;) {
    if (z.avail_in == 0 && pos < in.size()) {
      size_t n = pattern.inPiece != 0 && pattern.inPiece < in.size() - pos ? pattern.inPiece : in.size() - pos;
      z.next_in = const_cast<uint8_t*>(in.data() + pos);
      z.avail_in = (uint32_t)n;
      pos += n;
    }
    bool last = pos == in.size();
    int flush = last ? 4 : pattern.flush;
    size_t base = out.size();
    out.resize(base + room);
    z.next_out = out.data() + base;
    z.avail_out = room;
    uint32_t inBefore = z.avail_in;
    int rc = deflateFn(&z, flush);
    out.resize(base + (room - z.avail_out));
    if (rc == 1) {
      if (!last || z.avail_in != 0) ADD_FAILURE() << who << ": stream end before the input was taken";
      return out;
    }
    if (rc != 0 && rc != -5) {
      ADD_FAILURE() << who << ": deflate answered " << rc;
      return Bytes();
    }
    bool progress = z.avail_in != inBefore || out.size() != base;
    idle = progress ? 0 : idle + 1;
    if (idle > 2) {
      ADD_FAILURE() << who << ": no progress (answer " << rc << ")";
      return Bytes();
    }
  }
}

void* ZlibZalloc(void*, unsigned items, unsigned size) { return calloc(items, size); }
void ZlibZfree(void*, void* p) { free(p); }

}  // namespace

OurStream::OurStream(ZipPoolCookie* cookie) {
  memset(&z, 0, sizeof z);
  z.zalloc = ZipPoolAlloc;
  z.zfree = ZipPoolFree;
  z.opaque = cookie;
}

int OurStream::Init(const Params& p) {
  return puxz::deflateInit2_(&z, p.level, 8, p.windowBits, p.memLevel, p.strategy, PUXZ_VERSION,
                             (int)sizeof(puxz::z_stream));
}

Bytes OurDeflate(const Params& p, const Bytes& in, const Pattern& pattern, ZipPoolCookie* cookie) {
  OurStream s(cookie);
  int rc = s.Init(p);
  if (rc != 0) {
    ADD_FAILURE() << "ours: init answered " << rc;
    return Bytes();
  }
  Bytes out = Drive(s.z, puxz::deflate, in, pattern, "ours");
  int end = puxz::deflateEnd(&s.z);
  if (end != 0) ADD_FAILURE() << "ours: deflateEnd answered " << end;
  return out;
}

Bytes ZlibDeflate(const Params& p, const Bytes& in, const Pattern& pattern) {
  z_stream z;
  memset(&z, 0, sizeof z);
  z.zalloc = ZlibZalloc;
  z.zfree = ZlibZfree;
  if (deflateInit2(&z, p.level, Z_DEFLATED, p.windowBits, p.memLevel, p.strategy) != Z_OK) {
    ADD_FAILURE() << "zlib: init failed";
    return Bytes();
  }
  Bytes out = Drive(z, ::deflate, in, pattern, "zlib");
  deflateEnd(&z);
  return out;
}

bool ZlibInflate(const Bytes& compressed, int windowBits, Bytes* out, std::string* why) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, windowBits) != Z_OK) {
    *why = "inflateInit2 failed";
    return false;
  }
  out->clear();
  z.next_in = const_cast<uint8_t*>(compressed.data());
  z.avail_in = (uInt)compressed.size();
  int rc = Z_OK;
  uint8_t buffer[65536];
  while (rc == Z_OK) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out->insert(out->end(), buffer, buffer + (sizeof buffer - z.avail_out));
    if (rc == Z_BUF_ERROR && z.avail_out != 0) break;  // input ran out
    if (rc == Z_BUF_ERROR) rc = Z_OK;
  }
  std::ostringstream text;
  bool ok = rc == Z_STREAM_END && z.avail_in == 0;
  if (!ok) {
    text << "inflate answered " << rc << " (" << (z.msg ? z.msg : "no message") << ") with " << z.avail_in
         << " bytes left";
  }
  *why = text.str();
  inflateEnd(&z);
  return ok;
}

::testing::AssertionResult RoundTrips(const Bytes& compressed, int windowBits, const Bytes& in) {
  Bytes back;
  std::string why;
  if (compressed.empty()) return ::testing::AssertionFailure() << "no stream";
  if (!ZlibInflate(compressed, windowBits, &back, &why)) return ::testing::AssertionFailure() << why;
  if (back.size() != in.size()) {
    return ::testing::AssertionFailure() << "inflated " << back.size() << " bytes of " << in.size();
  }
  for (size_t i = 0; i < in.size(); i++) {
    if (back[i] != in[i]) return ::testing::AssertionFailure() << "first wrong byte at " << i;
  }
  return ::testing::AssertionSuccess();
}

const Bytes& ClassFiles() {
  static Bytes classes;
  static bool read = false;
  if (!read) {
    read = true;
    if (!sample_data::ZipMembers(std::string(PUX_BUILD_DIR) + "/classlib.zip", &classes)) classes.clear();
  }
  return classes;
}

std::string Describe(const Params& p, const Pattern& pattern) {
  std::ostringstream text;
  text << "level " << p.level << " window " << p.windowBits << " mem " << p.memLevel << " strategy "
       << p.strategy << " | in " << pattern.inPiece << " out " << pattern.outRoom << " flush " << pattern.flush;
  return text.str();
}

void DeflateTest::SetUp() {
  PoolMachineTest::SetUp();
  cookie = ZipPoolGetCookie();
  ASSERT_NE(nullptr, cookie);
  dropped = puxz::ChunkedArray::DroppedWrites();
}

void DeflateTest::TearDown() {
  EXPECT_EQ(dropped, puxz::ChunkedArray::DroppedWrites()) << "an access fell outside a chunked array";
  if (cookie != nullptr) {
    EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
    ZipPoolReleaseCookie(cookie);
  }
  PoolMachineTest::TearDown();
}

}  // namespace compress_test
