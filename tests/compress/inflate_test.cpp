/* The inflate engine against the system zlib: everything zlib writes comes back at every
   level, strategy and window size under three call patterns, crafted streams give the
   same verdict (data or error) and never crash, and the engine's faults (memory
   refused mid-stream, bits buffered across calls, an invalid code-length slot, sync
   after a header error) are met. */
#include <string.h>
#include <zlib.h>

#include <thread>

#include "deflate_support.h"
#include "inflate_state.h"
#include "inflate_support.h"

namespace compress_test {
namespace {

Bytes Corpus() {
  Bytes in = sample_data::Text(60000, 41);
  const Bytes& classes = ClassFiles();
  in.insert(in.end(), classes.begin(), classes.begin() + std::min<size_t>(classes.size(), 60000));
  Bytes random = sample_data::RandomBytes(20000, 42);
  in.insert(in.end(), random.begin(), random.end());
  in.insert(in.end(), 3000, 'z');
  Bytes far = sample_data::FarRepeats(40000, 43);
  in.insert(in.end(), far.begin(), far.end());
  return in;
}

::testing::AssertionResult SameAsInput(const InflateResult& r, const Bytes& compressed, const Bytes& in) {
  if (r.code != 1) return ::testing::AssertionFailure() << "answer " << r.code << " (" << r.msg << ")";
  if (!r.invariantsHeld) return ::testing::AssertionFailure() << "next_in left its piece or total_out drifted";
  if (r.out != in) return ::testing::AssertionFailure() << "output differs (" << r.out.size() << " bytes)";
  if (r.totalIn != compressed.size()) {
    return ::testing::AssertionFailure() << "took " << r.totalIn << " of " << compressed.size() << " bytes";
  }
  return ::testing::AssertionSuccess();
}

TEST(Inflate, OurNamesAreNotZlibs) {
  EXPECT_NE(reinterpret_cast<void*>(&puxz::inflate), reinterpret_cast<void*>(&::inflate));
  EXPECT_NE(reinterpret_cast<void*>(&puxz::inflateInit2_), reinterpret_cast<void*>(&::inflateInit2_));
}

/* Every level and strategy of zlib (filtered, Huffman only, run-length, fixed codes),
   raw and wrapped at 15 bits, and window bits 9 to 14 at a rotation of levels and
   strategies; whole, in 256-byte pieces with 256 bytes of
   room, and a byte at a time. */
TEST(Inflate, EverythingZlibWritesComesBack) {
  const Bytes corpus = Corpus();
  const Bytes small = sample_data::Text(3000, 44);
  int streams = 0;
  for (int level = 0; level <= 9; level++) {
    for (int strategy = 0; strategy <= 4; strategy++) {
      for (int bits : {15, -15, 9, -10, 11, -12, 13, -14}) {
        if (bits != 15 && bits != -15 && (level + strategy) % 3 != 0) continue;
        Bytes packed = ZlibCompress(corpus, level, bits, 8, strategy);
        ASSERT_FALSE(packed.empty());
        for (InflatePattern pattern : {InflatePattern{0, 0}, InflatePattern{256, 256}, InflatePattern{4093, 65521}}) {
          TestAllocator alloc;
          InflateResult r = OurInflate(packed, bits, pattern, &alloc);
          ASSERT_TRUE(SameAsInput(r, packed, corpus))
              << "level " << level << " strategy " << strategy << " bits " << bits << " piece " << pattern.inPiece;
          EXPECT_EQ(0, alloc.live);
          EXPECT_EQ(0, alloc.oversized);
          streams++;
        }
        Bytes packedSmall = ZlibCompress(small, level, bits, 8, strategy);
        TestAllocator alloc;
        ASSERT_TRUE(SameAsInput(OurInflate(packedSmall, bits, InflatePattern{1, 1}, &alloc), packedSmall, small))
            << "byte at a time: level " << level << " strategy " << strategy << " bits " << bits;
      }
    }
  }
  EXPECT_GT(streams, 300);
}

TEST(Inflate, EmptyAndTinyInputs) {
  for (size_t n : {0u, 1u, 2u, 257u, 258u, 259u, 776u, 777u}) {
    Bytes in = sample_data::Text(n, 45);
    for (int bits : {15, -15}) {
      for (int level : {0, 1, 9}) {
        Bytes packed = ZlibCompress(in, level, bits, 8, 0);
        for (InflatePattern pattern : {InflatePattern{0, 0}, InflatePattern{1, 1}}) {
          TestAllocator alloc;
          EXPECT_TRUE(SameAsInput(OurInflate(packed, bits, pattern, &alloc), packed, in))
              << n << " bytes, level " << level << " bits " << bits;
        }
      }
    }
  }
}

/* A raw stream that ends right after its end-of-block code reports its end without a
   byte of look-ahead, and a trailing byte after a raw stream is left in the input. */
TEST(Inflate, ARawStreamEndsAtItsLastCode) {
  BitWriter w;
  w.Bits(1, 1);  // last block
  w.Bits(1, 2);  // fixed codes
  for (int i = 0; i < 255; i++) w.FixedSymbol(0x41 + i % 26);
  w.FixedSymbol(256);
  Bytes packed = w.Finish();
  ASSERT_EQ(257u, packed.size());  // the last byte holds only the end-of-block code
  Bytes expected;
  for (int i = 0; i < 255; i++) expected.push_back((uint8_t)(0x41 + i % 26));
  for (uint32_t piece : {0u, 1u, 256u}) {
    TestAllocator alloc;
    EXPECT_TRUE(SameAsInput(OurInflate(packed, -15, InflatePattern{piece, 0}, &alloc), packed, expected)) << piece;
  }
  Bytes withTrailer = packed;
  withTrailer.push_back(0x99);
  withTrailer.push_back(0x98);
  TestAllocator alloc;
  InflateResult r = OurInflate(withTrailer, -15, InflatePattern{}, &alloc);
  EXPECT_EQ(1, r.code);
  EXPECT_EQ(packed.size(), r.totalIn);
}

/* The code decoder can stop with whole bytes buffered when the window is full, then meet
   the end of the block in a later call whose input is a new buffer: those bytes must
   never be "given back" before that buffer. Driven with tiny output rooms and fresh
   input buffers, the invariants of every call are checked. */
TEST(Inflate, BitsBufferedInAnEarlierCallAreNeverGivenBackBeforeTheBuffer) {
  const Bytes in = sample_data::Text(40000, 46);
  for (int level : {1, 6, 9}) {
    for (int bits : {15, -15}) {
      Bytes packed = ZlibCompress(in, level, bits, 8, level == 1 ? 4 : 0);
      for (uint32_t piece : {1u, 2u, 3u, 7u, 64u}) {
        for (uint32_t room : {1u, 3u, 258u, 259u}) {
          TestAllocator alloc;
          InflateResult r = OurInflate(packed, bits, InflatePattern{piece, room}, &alloc);
          ASSERT_TRUE(SameAsInput(r, packed, in)) << "level " << level << " piece " << piece << " room " << room;
        }
      }
    }
  }
}

/* A refusal at every allocation of a stream with dynamic blocks; the same call is then
   repeated with memory allowed, and the stream must come out whole with nothing held. */
TEST(Inflate, ARefusedAllocationAtAnyPointCanBeRetried) {
  const Bytes in = sample_data::Text(120000, 47);
  Bytes packed = ZlibCompress(in, 6, -15, 8, 0);
  TestAllocator probe;
  ASSERT_TRUE(SameAsInput(OurInflate(packed, -15, InflatePattern{512, 700}, &probe), packed, in));
  int total = probe.requests;
  ASSERT_GT(total, 184 + 2 * 12);  // the stream's own 184 blocks, then those of two dynamic blocks
  for (int k = 0; k < total; k++) {
    TestAllocator alloc;
    alloc.failAt = k;
    puxz::z_stream z;
    memset(&z, 0, sizeof z);
    alloc.Install(&z);
    int rc = puxz::inflateInit2_(&z, -15, PUXZ_VERSION, (int)sizeof z);
    if (rc != 0) {
      EXPECT_EQ(-4, rc);
      EXPECT_EQ(0, alloc.live) << k;
      continue;
    }
    Bytes out(in.size() + 10);
    z.next_in = packed.data();
    z.next_out = out.data();
    size_t fed = 0;
    int memErrors = 0;
    for (int calls = 0; calls < 100000 && rc != 1; calls++) {
      if (z.avail_in == 0) {
        uint32_t n = (uint32_t)std::min<size_t>(512, packed.size() - fed);
        z.avail_in = n;
        fed += n;
      }
      uint32_t room = std::min<uint32_t>(700, (uint32_t)(out.data() + out.size() - z.next_out));
      z.avail_out = room;
      rc = puxz::inflate(&z, 0);
      if (rc == -4) memErrors++;
      ASSERT_TRUE(rc == 0 || rc == 1 || rc == -4 || rc == -5) << "request " << k << ": " << rc;
    }
    EXPECT_EQ(1, rc) << k;
    EXPECT_EQ(1, memErrors) << k;
    EXPECT_EQ(in.size(), z.total_out) << k;
    EXPECT_TRUE(memcmp(out.data(), in.data(), in.size()) == 0) << k;
    EXPECT_EQ(0, puxz::inflateEnd(&z));
    EXPECT_EQ(0, alloc.live) << k;
  }
}

/* Once the stream has ended every call answers 1; a raw stream never writes adler and a
   wrapped one reads 1 while it runs; input pieces of one byte and rooms of one byte give
   the same bytes as one call. */
TEST(Inflate, StreamEndIsFinalAndAdlerIsNotTheRunningCheck) {
  const Bytes in = sample_data::Text(5000, 48);
  for (int bits : {15, -15}) {
    Bytes packed = ZlibCompress(in, 6, bits, 8, 0);
    TestAllocator alloc;
    puxz::z_stream z;
    memset(&z, 0, sizeof z);
    alloc.Install(&z);
    z.adler = 0x12345678;
    ASSERT_EQ(0, puxz::inflateInit2_(&z, bits, PUXZ_VERSION, (int)sizeof z));
    EXPECT_EQ(bits > 0 ? 1u : 0x12345678u, z.adler);
    Bytes out(in.size());
    z.next_in = packed.data();
    z.avail_in = (uint32_t)packed.size() / 2;
    z.next_out = out.data();
    z.avail_out = (uint32_t)out.size();
    EXPECT_EQ(0, puxz::inflate(&z, 0));
    EXPECT_EQ(bits > 0 ? 1u : 0x12345678u, z.adler);
    z.avail_in = (uint32_t)(packed.size() - (z.next_in - packed.data()));
    EXPECT_EQ(1, puxz::inflate(&z, 0));
    EXPECT_TRUE(out == in);
    for (int i = 0; i < 3; i++) EXPECT_EQ(1, puxz::inflate(&z, i == 2 ? 4 : 0));
    EXPECT_EQ(bits > 0 ? 1u : 0x12345678u, z.adler);
    EXPECT_EQ(0, puxz::inflateEnd(&z));
    EXPECT_EQ(0, alloc.live);
  }
}

/* What a caller may get wrong: version, record size, window bits (including the most
   negative int), null records and buffers, calls after the end. */
TEST(Inflate, BadCallsAreRefused) {
  TestAllocator alloc;
  puxz::z_stream z;
  memset(&z, 0, sizeof z);
  alloc.Install(&z);
  EXPECT_EQ(-6, puxz::inflateInit2_(&z, 15, "2.0", 56));
  EXPECT_EQ(-6, puxz::inflateInit2_(&z, 15, nullptr, 56));
  EXPECT_EQ(-6, puxz::inflateInit2_(&z, 15, "1.2.13", 57));
  EXPECT_EQ(-2, puxz::inflateInit2_(nullptr, 15, "1", 56));
  for (int bits : {INT32_MIN, -16, -7, 0, 7, 16, INT32_MAX}) {
    EXPECT_EQ(-2, puxz::inflateInit2_(&z, bits, "1", 56)) << bits;
    EXPECT_EQ(nullptr, z.state);
  }
  EXPECT_EQ(0, alloc.live);
  EXPECT_EQ(0, puxz::inflateInit2_(&z, 8, "1", 56));
  uint8_t out[4];
  z.next_in = nullptr;
  z.next_out = out;
  z.avail_out = 4;
  EXPECT_EQ(-2, puxz::inflate(&z, 0));
  uint8_t in[1] = {0x78};
  z.next_in = in;
  z.avail_in = 1;
  z.next_out = nullptr;
  EXPECT_EQ(-2, puxz::inflate(&z, 0));
  EXPECT_EQ(-2, puxz::inflate(nullptr, 0));
  EXPECT_EQ(0, puxz::inflateEnd(&z));
  EXPECT_EQ(-2, puxz::inflateEnd(&z));
  EXPECT_EQ(-2, puxz::inflateReset(&z));
  EXPECT_EQ(-2, puxz::inflateSync(&z));
  EXPECT_EQ(-2, puxz::inflateSyncPoint(&z));
  EXPECT_EQ(0, alloc.live);
  // Without an allocation pair the default one has no pool to take from.
  puxz::z_stream bare;
  memset(&bare, 0, sizeof bare);
  EXPECT_EQ(-4, puxz::inflateInit2_(&bare, 15, "1.1.3", 56));
  EXPECT_EQ(nullptr, bare.state);
}

struct Crafted {
  const char* name;
  Bytes bytes;
  int windowBits;
  int code;         /* our answer */
  const char* msg;  /* our message, or null */
};

Bytes B(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back((uint8_t)x);
  return b;
}

/* A dynamic block header with the given code-length code lengths (19, in RFC order),
   then the raw bits that follow. */
BitWriter DynamicHeader(int hlit, int hdist, const std::vector<int>& clen) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(2, 2);
  w.Bits(hlit, 5);
  w.Bits(hdist, 5);
  w.Bits((int)clen.size() - 4, 4);
  for (int l : clen) w.Bits(l, 3);
  return w;
}

std::vector<Crafted> CraftedStreams() {
  std::vector<Crafted> c;
  c.push_back({"empty stored final block", B({0x01, 0x00, 0x00, 0xFF, 0xFF}), -15, 1, nullptr});
  c.push_back({"header 78 9C then empty fixed block", B({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}), 15, 1,
               nullptr});
  c.push_back({"header 78 9D", B({0x78, 0x9D, 0x03, 0x00}), 15, -3, "incorrect header check"});
  c.push_back({"method 7", B({0x77, 0x85, 0x03, 0x00}), 15, -3, "unknown compression method"});
  c.push_back({"64 KB window", B({0x88, 0x98, 0x03, 0x00}), 15, -3, "invalid window size"});
  c.push_back({"stored lengths disagree", B({0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5}), -15, -3,
               "invalid stored block lengths"});
  c.push_back({"block type 3", B({0x07, 0x00}), -15, -3, "invalid block type"});
  c.push_back({"wrong trailer", B({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x02}), 15, -3, "incorrect data check"});
  {
    BitWriter w;  // fixed block, literal/length code 286
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedSymbol(286);
    c.push_back({"fixed literal/length 286", w.Finish(), -15, -3, "invalid literal/length code"});
  }
  {
    BitWriter w;  // fixed block, literal 'a', length 3 with distance code 30
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedSymbol('a');
    w.FixedSymbol(257);
    w.Code(30, 5);
    w.FixedSymbol(256);
    c.push_back({"fixed distance code 30", w.Finish(), -15, -3, "invalid distance code"});
  }
  {
    // A code-length code of one length-1 code (symbol 0); the other 1-bit pattern
    // reaches no symbol and must be refused, never read as a repeat.
    std::vector<int> clen(19, 0);
    clen[3] = 1;  // order position 3 is symbol 0
    BitWriter w = DynamicHeader(0, 0, clen);
    w.Bits(0, 1);
    w.Bits(1, 1);  // the unused slot
    for (int i = 0; i < 40; i++) w.Bits(0xFF, 8);
    c.push_back({"invalid code-length slot", w.Finish(), -15, -3, "invalid bit length repeat"});
  }
  {
    std::vector<int> clen(19, 0);  // over-subscribed: three codes of length 1
    clen[0] = clen[1] = clen[2] = 1;
    BitWriter w = DynamicHeader(0, 0, clen);
    c.push_back({"over-subscribed code-length code", w.Finish(), -15, -3, "oversubscribed dynamic bit lengths tree"});
  }
  {
    // Code lengths 16 (repeat previous) at the very start.
    std::vector<int> clen(19, 0);
    clen[0] = 1;  // symbol 16
    clen[3] = 1;  // symbol 0
    BitWriter w = DynamicHeader(0, 0, clen);
    w.Code(1, 1);  // symbol 16 (codes: 0 -> symbol 0, 1 -> symbol 16)
    w.Bits(0, 2);
    c.push_back({"repeat with nothing before", w.Finish(), -15, -3, "invalid bit length repeat"});
  }
  {
    std::vector<int> clen(19, 0);
    BitWriter w = DynamicHeader(30, 0, clen);  // 287 literal/length codes
    c.push_back({"too many length symbols", w.Finish(), -15, -3, "too many length or distance symbols"});
  }
  {
    // 2 literals, then a distance before the first byte: specified to read the window's
    // zeros, no error.
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedSymbol('x');
    w.FixedSymbol(257);  // length 3
    w.Code(4, 5);        // distance code 4: 5-6, one extra bit
    w.Bits(1, 1);        // distance 6
    w.FixedSymbol(256);
    c.push_back({"distance before the first byte", w.Finish(), -15, 1, nullptr});
  }
  return c;
}

TEST(Inflate, CraftedStreamsGiveTheirVerdict) {
  for (const Crafted& k : CraftedStreams()) {
    for (uint32_t piece : {0u, 1u}) {
      TestAllocator alloc;
      InflateResult r = OurInflate(k.bytes, k.windowBits, InflatePattern{piece, piece}, &alloc);
      EXPECT_EQ(k.code, r.code) << k.name << " (" << r.msg << ")";
      if (k.msg != nullptr) {
        EXPECT_EQ(std::string(k.msg), r.msg) << k.name;
      }
      EXPECT_TRUE(r.invariantsHeld) << k.name;
      EXPECT_EQ(0, alloc.live) << k.name;
      // zlib agrees on data against error (it reports distances too far back).
      InflateResult theirs = ZlibInflateAll(k.bytes, k.windowBits);
      if (strcmp(k.name, "distance before the first byte") != 0) {
        EXPECT_EQ(k.code == 1, theirs.code == Z_STREAM_END) << k.name << ": zlib says " << theirs.msg;
      }
      if (k.code == 1 && theirs.code == Z_STREAM_END) {
        EXPECT_TRUE(r.out == theirs.out) << k.name;
      }
    }
  }
}

TEST(Inflate, APresetDictionaryIsAskedForAndChecked) {
  const Bytes dictionary = sample_data::Text(500, 49);
  const Bytes in = sample_data::Text(3000, 50);
  z_stream d;
  memset(&d, 0, sizeof d);
  ASSERT_EQ(Z_OK, deflateInit(&d, 6));
  ASSERT_EQ(Z_OK, deflateSetDictionary(&d, dictionary.data(), (uInt)dictionary.size()));
  Bytes packed(deflateBound(&d, (uLong)in.size()) + 16);
  d.next_in = const_cast<uint8_t*>(in.data());
  d.avail_in = (uInt)in.size();
  d.next_out = packed.data();
  d.avail_out = (uInt)packed.size();
  ASSERT_EQ(Z_STREAM_END, deflate(&d, Z_FINISH));
  packed.resize(d.total_out);
  uint32_t id = (uint32_t)adler32(1, dictionary.data(), (uInt)dictionary.size());
  deflateEnd(&d);

  for (bool give : {true, false}) {
    TestAllocator alloc;
    puxz::z_stream z;
    memset(&z, 0, sizeof z);
    alloc.Install(&z);
    ASSERT_EQ(0, puxz::inflateInit_(&z, "1.1.3", 56));
    Bytes out(in.size());
    z.next_in = packed.data();
    z.avail_in = (uint32_t)packed.size();
    z.next_out = out.data();
    z.avail_out = (uint32_t)out.size();
    EXPECT_EQ(-2, puxz::inflateSetDictionary(&z, dictionary.data(), (uint32_t)dictionary.size()));
    EXPECT_EQ(2, puxz::inflate(&z, 0));
    EXPECT_EQ(id, z.adler);
    if (give) {
      EXPECT_EQ(-3, puxz::inflateSetDictionary(&z, dictionary.data(), 10));
      EXPECT_EQ(0, puxz::inflateSetDictionary(&z, dictionary.data(), (uint32_t)dictionary.size()));
      EXPECT_EQ(1, puxz::inflate(&z, 0));
      EXPECT_TRUE(out == in);
    } else {
      EXPECT_EQ(-2, puxz::inflate(&z, 0));
      EXPECT_STREQ("need dictionary", z.msg);
    }
    puxz::inflateEnd(&z);
    EXPECT_EQ(0, alloc.live);
  }
}

/* A full flush leaves 00 00 FF FF in the stream: sync finds it and decoding goes on
   from the next block. After a header error the marker count says there is nothing to
   restart from, and sync must not scan (nor index past the 4-byte pattern). */
TEST(Inflate, SyncFindsTheFlushMarkerButNeverAfterAHeaderError) {
  const Bytes a = sample_data::Text(2000, 51), b = sample_data::Text(2000, 52);
  z_stream d;
  memset(&d, 0, sizeof d);
  ASSERT_EQ(Z_OK, deflateInit2(&d, 6, Z_DEFLATED, -15, 8, 0));
  Bytes packed(10000);
  d.next_out = packed.data();
  d.avail_out = (uInt)packed.size();
  d.next_in = const_cast<uint8_t*>(a.data());
  d.avail_in = (uInt)a.size();
  ASSERT_EQ(Z_OK, deflate(&d, Z_FULL_FLUSH));
  size_t cut = d.total_out;
  d.next_in = const_cast<uint8_t*>(b.data());
  d.avail_in = (uInt)b.size();
  ASSERT_EQ(Z_STREAM_END, deflate(&d, Z_FINISH));
  packed.resize(d.total_out);
  deflateEnd(&d);
  // Damage the first part; sync from there.
  Bytes damaged(packed);
  for (size_t i = 0; i + 8 < cut; i++) damaged[i] = 0xFF;
  TestAllocator alloc;
  puxz::z_stream z;
  memset(&z, 0, sizeof z);
  alloc.Install(&z);
  ASSERT_EQ(0, puxz::inflateInit2_(&z, -15, "1", 56));
  Bytes out(5000);
  z.next_in = damaged.data();
  z.avail_in = (uint32_t)damaged.size();
  z.next_out = out.data();
  z.avail_out = (uint32_t)out.size();
  int rc = puxz::inflate(&z, 0);
  EXPECT_EQ(-3, rc);
  EXPECT_EQ(0, puxz::inflateSync(&z));
  EXPECT_EQ(cut, z.total_in);
  z.next_out = out.data();
  z.avail_out = (uint32_t)out.size();
  EXPECT_EQ(1, puxz::inflate(&z, 0));
  EXPECT_TRUE(Bytes(out.begin(), out.begin() + b.size()) == b);
  puxz::inflateEnd(&z);

  ASSERT_EQ(0, puxz::inflateInit2_(&z, 15, "1", 56));
  Bytes bad = B({0x78, 0x9D, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00});
  z.next_in = bad.data();
  z.avail_in = (uint32_t)bad.size();
  z.next_out = out.data();
  z.avail_out = 10;
  EXPECT_EQ(-3, puxz::inflate(&z, 0));
  uint32_t before = z.avail_in;
  EXPECT_EQ(-3, puxz::inflateSync(&z));
  EXPECT_EQ(before, z.avail_in);
  EXPECT_EQ(0, puxz::inflateSyncPoint(&z));
  puxz::inflateEnd(&z);
  EXPECT_EQ(0, alloc.live);
}

/* Window bits 9: indexes wrap at 512 though 32 KB of storage exist; a stream written
   with a 512-byte window inflates, and a distance past the window is bad data: taken
   modulo the window it would hand out other bytes than the stream's as if all were well. */
TEST(Inflate, SmallWindowsWrapAtTheirSize) {
  const Bytes in = sample_data::Text(20000, 53);
  Bytes packed = ZlibCompress(in, 9, -9, 8, 0);
  TestAllocator alloc;
  EXPECT_TRUE(SameAsInput(OurInflate(packed, -9, InflatePattern{100, 37}, &alloc), packed, in));
  // The same data written with a 32 KB window, read with a 512-byte one, in one call
  // (the fast loop) and byte by byte (the step decoder).
  Bytes far = ZlibCompress(sample_data::FarRepeats(60000, 54), 6, -15, 8, 0);
  for (const InflatePattern& pattern : {InflatePattern{}, InflatePattern{1, 1}}) {
    InflateResult r = OurInflate(far, -9, pattern, &alloc);
    EXPECT_EQ(-3, r.code);
    EXPECT_EQ("invalid distance too far back", r.msg);
    EXPECT_LT(r.out.size(), 60000u);
    EXPECT_EQ(0, alloc.live);
  }
  // The same data read with the window it was written with comes back whole.
  EXPECT_TRUE(SameAsInput(OurInflate(far, -15, InflatePattern{1, 1}, &alloc), far, sample_data::FarRepeats(60000, 54)));
}

/* Stored blocks, then coded blocks whose matches reach back into them: the stored bytes
   go straight to the output when nothing waits in the window, and must still be in the
   window, at their places, for the matches that follow, whatever the call pattern, the
   window size and the wrapper (whose check covers the bytes sent straight out). */
TEST(Inflate, StoredBytesSentStraightOutStayInTheWindow) {
  for (int bits : {9, 12, 15}) {
    const uint32_t window = 1u << bits;
    Bytes in = sample_data::RandomBytes(150000, 61 + bits);
    // Runs of the stored bytes repeated from up to a window back, with literals between.
    Bytes tail;
    for (uint32_t i = 0; tail.size() < 40000; i++) {
      uint32_t back = 3 + (i * 7919u) % (window - 300);
      size_t from = in.size() + tail.size() >= back ? in.size() + tail.size() - back : 0;
      uint32_t len = 3 + i % 250;
      for (uint32_t k = 0; k < len; k++) {
        uint8_t c = from + k < in.size() ? in[from + k] : tail[from + k - in.size()];
        tail.push_back(c);
      }
      tail.push_back((uint8_t)i);
    }
    for (int raw : {1, 0}) {
      const int wbits = raw ? -bits : bits;
      z_stream z;
      memset(&z, 0, sizeof z);
      ASSERT_EQ(Z_OK, deflateInit2(&z, 0, Z_DEFLATED, wbits, 8, Z_DEFAULT_STRATEGY));
      Bytes packed(in.size() + tail.size() + 4096);
      z.next_in = in.data();
      z.avail_in = (uInt)in.size();
      z.next_out = packed.data();
      z.avail_out = (uInt)packed.size();
      ASSERT_EQ(Z_OK, deflate(&z, Z_NO_FLUSH));
      ASSERT_EQ(Z_OK, deflateParams(&z, 6, Z_DEFAULT_STRATEGY));
      z.next_in = tail.data();
      z.avail_in = (uInt)tail.size();
      ASSERT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
      packed.resize(z.total_out);
      deflateEnd(&z);
      // The tail must really have come out as matches, not as more stored blocks.
      ASSERT_LT(packed.size(), in.size() + tail.size() / 2);
      Bytes whole = in;
      whole.insert(whole.end(), tail.begin(), tail.end());
      for (const InflatePattern& pattern : {InflatePattern{}, InflatePattern{0, 70000}, InflatePattern{1000, 700},
                                            InflatePattern{300, 5000}, InflatePattern{65536, 256}}) {
        TestAllocator alloc;
        EXPECT_TRUE(SameAsInput(OurInflate(packed, wbits, pattern, &alloc), packed, whole))
            << "bits " << wbits << " piece " << pattern.inPiece << " room " << pattern.outRoom;
        EXPECT_EQ(0, alloc.live);
      }
    }
  }
}

/* The engine decodes straight into the caller's output when its room is large and into
   the window when it is small; a stream read with rooms and pieces that change from call
   to call keeps switching between the two, and matches reach back across the switches
   into bytes of either kind. Window sizes 9, 12 and 15, raw and wrapped. */
TEST(Inflate, RoomsAndPiecesThatChangeEveryCallGiveTheSameBytes) {
  Bytes in = sample_data::FarRepeats(70000, 71);
  Bytes text = sample_data::Text(50000, 72);
  in.insert(in.end(), text.begin(), text.end());
  for (uint32_t i = 0; i < 3000; i++) in.push_back((uint8_t)("abcdefg"[i % (2 + i / 500)]));  // distances 2 to 7
  const std::vector<InflateCycle> patterns = {
      {{0}, {300, 70000, 1, 259, 4096, 258, 257, 100000}},
      {{17, 5000, 1, 300, 0}, {65536, 3, 258, 20000}},
      {{2048, 16, 15, 100000}, {1000, 40000, 256}},
  };
  for (int bits : {9, 12, 15}) {
    for (int raw : {1, 0}) {
      const int wbits = raw ? -bits : bits;
      for (int level : {1, 6, 9}) {
        Bytes packed = ZlibCompress(in, level, wbits, 8, 0);
        for (size_t k = 0; k < patterns.size(); k++) {
          TestAllocator alloc;
          EXPECT_TRUE(SameAsInput(OurInflate(packed, wbits, patterns[k], &alloc), packed, in))
              << "bits " << wbits << " level " << level << " pattern " << k;
          EXPECT_EQ(0, alloc.live);
        }
      }
    }
  }
}

/* A match of fixed codes: its length and distance symbols with their extra bits. */
void FixedMatch(BitWriter& w, uint32_t length, uint32_t distance) {
  uint32_t c = 28;
  while (puxz::InflateLengthBase()[c] > length) c--;
  w.FixedSymbol(257 + c);
  w.Bits(length - puxz::InflateLengthBase()[c], puxz::InflateLengthExtra()[c]);
  uint32_t d = 29;
  while (puxz::InflateDistBase()[d] > distance) d--;
  w.Code(d, 5);
  w.Bits(distance - puxz::InflateDistBase()[d], puxz::InflateDistExtra()[d]);
}

/* The bytes just past a match in the window are its oldest ones: a distance of the whole
   window, or a few bytes less, right after a match still reads them as they were (a
   copy that wrote ahead of the match lost them). Matches of every length mod 8 at
   distances of 8 and more, each followed by one reaching back the window's size less 0
   to 8; window sizes 9, 12 and 15, read with rooms that keep the decoder in the window
   and one that sends it straight out. */
TEST(Inflate, TheWindowsOldestBytesOutliveTheMatchBeforeThem) {
  for (int bits : {9, 12, 15}) {
    const uint32_t window = 1u << bits;
    const Bytes data = sample_data::RandomBytes(window + 4000, 90 + bits);
    BitWriter w;
    w.Bits(0, 3);  // the window's worth and more as one stored block
    w.Align();
    w.Bits(window + 3000, 16);
    w.Bits(~(window + 3000) & 0xFFFF, 16);
    for (uint32_t k = 0; k < window + 3000; k++) w.Bits(data[k], 8);
    w.Bits(3, 3);  // the last block, fixed codes
    uint32_t i = 0;
    for (uint32_t near : {8u, 9u, 16u, 100u}) {
      for (uint32_t len = 3; len <= 40; len++, i++) {
        FixedMatch(w, len, near);
        FixedMatch(w, 3 + i % 9, window - i % 9);
        w.FixedSymbol(i & 0xFF);
      }
    }
    w.FixedSymbol(256);
    const Bytes packed = w.Finish();
    const InflateResult expected = ZlibInflateAll(packed, -bits);
    ASSERT_EQ(1, expected.code) << expected.msg;
    for (const InflatePattern& pattern : {InflatePattern{256, 256}, InflatePattern{0, 100}, InflatePattern{1000, 300},
                                          InflatePattern{0, 0}, InflatePattern{7, 1}}) {
      TestAllocator alloc;
      InflateResult r = OurInflate(packed, -bits, pattern, &alloc);
      EXPECT_TRUE(SameAsInput(r, packed, expected.out))
          << "bits " << bits << " piece " << pattern.inPiece << " room " << pattern.outRoom;
    }
  }
}

/* Stored blocks of every size around the edges (empty, 1 byte, a chunk, a chunk and one,
   the largest) with fixed-code blocks between whose matches reach back into them, read
   with pieces and rooms that change from call to call so that blocks end exactly where a
   call's input or room ends, and just before or after. Each call's answer is checked
   against what it did: 0 when it took input or made output (flush 0 and 2), -5 when it
   could do neither, 1 once at the end; the bytes must be zlib's. */
TEST(Inflate, EveryCallSaysWhetherItMadeProgress) {
  const Bytes data = sample_data::RandomBytes(300000, 81);
  BitWriter w;
  size_t at = 0;
  uint32_t i = 0;
  for (uint32_t len : {1u, 0u, 2u, 255u, 256u, 257u, 3u, 511u, 512u, 4096u, 65535u, 700u, 1u, 258u, 30000u, 5u}) {
    w.Bits(0, 3);  // a stored block, not the last
    w.Align();
    w.Bits(len, 16);
    w.Bits(~len & 0xFFFF, 16);
    for (uint32_t k = 0; k < len; k++) w.Bits(data[at + k], 8);
    at += len;
    // A fixed block: a literal and matches back into the stored bytes, near and far.
    w.Bits(2, 3);
    w.FixedSymbol(data[at] & 0x7F);
    at++;
    for (uint32_t distance : {1u, 9u, 300u, 5000u, 32768u}) {
      if (distance <= at) FixedMatch(w, 3 + (i++ * 37) % 256, distance);
    }
    w.FixedSymbol(256);
  }
  w.Bits(1, 3);  // the last block: stored, empty
  w.Align();
  w.Bits(0, 16);
  w.Bits(0xFFFF, 16);
  const Bytes packed = w.Finish();
  const InflateResult expected = ZlibInflateAll(packed, -15);
  ASSERT_EQ(1, expected.code) << expected.msg;
  const std::vector<std::vector<uint32_t>> cycles = {{256}, {1}, {7, 300, 256, 257}, {4096, 1, 65536, 255},
                                                     {3, 4, 5, 512}, {100000}};
  for (int flush : {0, 2}) {
    for (size_t pi = 0; pi < cycles.size(); pi++) {
      for (size_t ri = 0; ri < cycles.size(); ri++) {
        TestAllocator alloc;
        puxz::z_stream z;
        memset(&z, 0, sizeof z);
        alloc.Install(&z);
        ASSERT_EQ(0, puxz::inflateInit2_(&z, -15, PUXZ_VERSION, (int)sizeof z));
        Bytes out;
        out.reserve(expected.out.size() + 100000);  // one block for the whole run
        size_t pos = 0, call = 0, pieces = 0;
        int rc = 0, idle = 0;
        bool answersHeld = true;
        uint8_t none = 0;
        while (rc != 1 && idle < 3 && call < 4000000) {
          if (z.avail_in == 0) {
            size_t n = std::min<size_t>(cycles[pi][pieces++ % cycles[pi].size()], packed.size() - pos);
            z.next_in = n != 0 ? packed.data() + pos : &none;
            z.avail_in = (uint32_t)n;
            pos += n;
          }
          const uint32_t room = cycles[ri][call++ % cycles[ri].size()];
          const size_t base = out.size();
          out.resize(base + room);
          z.next_out = out.data() + base;
          z.avail_out = room;
          const uint32_t offered = z.avail_in;
          rc = puxz::inflate(&z, flush);
          out.resize(base + room - z.avail_out);
          const bool progress = z.avail_out != room || z.avail_in != offered;
          if (rc != 1 && rc != (progress ? 0 : -5)) {
            answersHeld = false;
            ADD_FAILURE() << "call " << call << " answered " << rc << (progress ? " after progress" : " without progress")
                          << " (pieces " << pi << ", rooms " << ri << ", flush " << flush << ")";
            break;
          }
          idle = progress ? 0 : idle + 1;
        }
        EXPECT_EQ(1, rc) << "pieces " << pi << ", rooms " << ri << ", flush " << flush;
        EXPECT_TRUE(out == expected.out) << "pieces " << pi << ", rooms " << ri << ", flush " << flush;
        EXPECT_EQ(packed.size(), z.total_in);
        puxz::inflateEnd(&z);
        EXPECT_EQ(0, alloc.live);
        if (!answersHeld) return;
      }
    }
  }
}

/* Distances that reach before the stream's first byte read what the window holds there:
   zeros in a fresh stream, the previous stream's bytes after a reset. Every path must read
   the same: straight into the output (a large room), the window's fast loop (small room)
   and the step decoder (a byte at a time). */
TEST(Inflate, DistancesBeforeTheFirstByteReadTheWindowOnEveryPath) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  Bytes literals;
  for (int i = 0; i < 40; i++) {
    w.FixedSymbol('a' + i % 26);
    literals.push_back((uint8_t)('a' + i % 26));
  }
  FixedMatch(w, 10, 100);    // 60 before the first byte: ten of them
  for (int i = 0; i < 40; i++) w.FixedSymbol('A' + i % 26);
  FixedMatch(w, 258, 1000);  // all before the first byte
  FixedMatch(w, 20, 300);    // partly before, partly the stream's own bytes
  for (int i = 0; i < 20; i++) w.FixedSymbol('0' + i % 10);
  w.FixedSymbol(256);
  const Bytes crafted = w.Finish();
  ASSERT_GT(crafted.size(), 100u);

  // Window bytes of a previous stream: the last of its bytes at each index mod 32,768.
  const Bytes before = sample_data::Text(50000, 73);
  auto expected = [&](bool fresh) {
    Bytes out = literals;
    auto at = [&](int64_t i) -> uint8_t {
      if (i >= 0) return out[(size_t)i];
      if (fresh) return 0;
      uint32_t index = (uint32_t)(i + 32768);
      size_t last = (before.size() - 1) - ((before.size() - 1 - index) % 32768);
      return before[last];
    };
    auto copy = [&](uint32_t length, uint32_t distance) {
      for (uint32_t k = 0; k < length; k++) out.push_back(at((int64_t)out.size() - distance));
    };
    copy(10, 100);
    for (int i = 0; i < 40; i++) out.push_back((uint8_t)('A' + i % 26));
    copy(258, 1000);
    copy(20, 300);
    for (int i = 0; i < 20; i++) out.push_back((uint8_t)('0' + i % 10));
    return out;
  };
  const Bytes packedBefore = ZlibCompress(before, 6, -15, 8, 0);
  for (bool fresh : {true, false}) {
    for (const InflateCycle& pattern : {InflateCycle{{0}, {65536}}, InflateCycle{{0}, {200}}, InflateCycle{{1}, {1}},
                                        InflateCycle{{0}, {300, 100000}}, InflateCycle{{20}, {100000}}}) {
      TestAllocator alloc;
      puxz::z_stream z;
      memset(&z, 0, sizeof z);
      alloc.Install(&z);
      ASSERT_EQ(0, puxz::inflateInit2_(&z, -15, PUXZ_VERSION, (int)sizeof z));
      if (!fresh) {
        Bytes back(before.size());
        z.next_in = packedBefore.data();
        z.avail_in = (uint32_t)packedBefore.size();
        z.next_out = back.data();
        z.avail_out = (uint32_t)back.size();
        ASSERT_EQ(1, puxz::inflate(&z, 0));
        ASSERT_TRUE(back == before);
        ASSERT_EQ(0, puxz::inflateReset(&z));
      }
      // Driven here by the same pattern rules as OurInflate, on the stream made above.
      Bytes out;
      size_t pos = 0;
      int rc = 0;
      for (size_t call = 0; rc == 0 && call < 100000; call++) {
        if (z.avail_in == 0) {
          uint32_t piece = pattern.pieces[0];
          size_t n = crafted.size() - pos;
          if (piece != 0 && n > piece) n = piece;
          z.next_in = crafted.data() + pos;
          z.avail_in = (uint32_t)n;
          pos += n;
        }
        uint32_t room = pattern.rooms[call % pattern.rooms.size()];
        size_t base = out.size();
        out.resize(base + room);
        z.next_out = out.data() + base;
        z.avail_out = room;
        rc = puxz::inflate(&z, 0);
        out.resize(base + (room - z.avail_out));
        if (rc == -5) rc = 0;
      }
      EXPECT_EQ(1, rc) << (fresh ? "fresh" : "after a reset") << " piece " << pattern.pieces[0] << " room "
                       << pattern.rooms[0];
      EXPECT_TRUE(out == expected(fresh)) << (fresh ? "fresh" : "after a reset") << " piece " << pattern.pieces[0]
                                          << " room " << pattern.rooms[0];
      puxz::inflateEnd(&z);
      EXPECT_EQ(0, alloc.live);
    }
  }
}

/* A fixed-code stream and, beside it, what it means over a window that starts out as
   given: literals and matches whose distances are counted from the bytes this stream
   made so far, so that they can reach before its first byte on purpose. */
struct CraftedFixed {
  BitWriter w;
  std::vector<std::pair<uint32_t, uint32_t>> ops; /* (literal, 0) or (length, distance) */
  uint32_t made = 0;
  CraftedFixed() {
    w.Bits(1, 1);
    w.Bits(1, 2);
  }
  void Literals(const char* text) {
    for (const char* c = text; *c != 0; c++) {
      w.FixedSymbol((uint8_t)*c);
      ops.push_back({(uint8_t)*c, 0});
      made++;
    }
  }
  /* A match from the window index back bytes before this stream's first byte. */
  void BeforeFirst(uint32_t length, uint32_t back, uint32_t windowSize) {
    Match(length, made + back <= windowSize ? made + back : windowSize);
  }
  void Match(uint32_t length, uint32_t distance) {
    FixedMatch(w, length, distance);
    ops.push_back({length, distance});
    made += length;
  }
  Bytes Finish() {
    w.FixedSymbol(256);
    return w.Finish();
  }
  /* The bytes out, over a model of the window (its write index at 0, as after a reset),
     which takes them in. */
  Bytes Expected(Bytes* window) const {
    Bytes out;
    const uint32_t size = (uint32_t)window->size();
    uint32_t q = 0;
    for (const auto& op : ops) {
      for (uint32_t k = 0; k < (op.second == 0 ? 1 : op.first); k++) {
        uint8_t byte = op.second == 0 ? (uint8_t)op.first : (*window)[(q + size - op.second) % size];
        (*window)[q++ % size] = byte;
        out.push_back(byte);
      }
    }
    return out;
  }
};

/* The window is not cleared when a stream starts: what no stream has written reads as
   zeros only because it is cleared the first time a distance reaches it. A stream
   shorter than the window, a reset, then streams whose matches reach before their first
   byte into the earlier stream's bytes, past them into bytes never written, and across
   the edge between the two; then the same again once the window is cleared, with a
   distance of the whole window; fresh streams with small windows and after a preset
   dictionary. Every call pattern (straight to the output, the window's fast loop, the
   step decoder); the allocator fills every block with 0xA5, which must never show. */
TEST(Inflate, WhatNoStreamWroteReadsAsZeros) {
  const std::vector<InflateCycle> patterns = {
      {{0}, {65536}}, {{0}, {300}}, {{1}, {1}}, {{0}, {300, 100000}}, {{20}, {100000}}, {{7}, {259, 3}}};
  auto drive = [](puxz::z_stream* z, const Bytes& in, const InflateCycle& pattern, int* rc) {
    Bytes out;
    size_t pos = 0;
    *rc = 0;
    for (size_t call = 0; *rc == 0 && call < 200000; call++) {
      if (z->avail_in == 0) {
        uint32_t piece = pattern.pieces[call % pattern.pieces.size()];
        size_t n = in.size() - pos;
        if (piece != 0 && n > piece) n = piece;
        z->next_in = in.data() + pos;
        z->avail_in = (uint32_t)n;
        pos += n;
      }
      uint32_t room = pattern.rooms[call % pattern.rooms.size()];
      size_t base = out.size();
      out.resize(base + room);
      z->next_out = out.data() + base;
      z->avail_out = room;
      *rc = puxz::inflate(z, 0);
      out.resize(base + (room - z->avail_out));
      if (*rc == -5) *rc = 0;
    }
    return out;
  };
  const Bytes before = sample_data::Text(5000, 91);
  const Bytes packedBefore = ZlibCompress(before, 6, -15, 8, 0);
  CraftedFixed a;
  a.Literals("the first forty bytes of the second one.");
  a.BeforeFirst(10, 60, 32768);      // never written: zeros
  a.Literals("0123456789");
  a.BeforeFirst(20, 32768 - 4000, 32768);  // the first stream's bytes 4000 to 4019
  a.BeforeFirst(20, 32768 - 4990, 32768);  // its last ten bytes, then ten never written
  a.Match(30, 45);                         // this stream's own bytes, some of them zeros
  a.Literals("end");
  const Bytes craftedA = a.Finish();
  CraftedFixed b;
  b.Literals("0123456789");
  b.Match(258, 32768);                    // the whole window back
  b.BeforeFirst(40, 32768 - 4980, 32768);  // the first stream's bytes and what a wrote past them
  b.Literals("!");
  const Bytes craftedB = b.Finish();
  for (size_t k = 0; k < patterns.size(); k++) {
    TestAllocator alloc;
    puxz::z_stream z;
    memset(&z, 0, sizeof z);
    alloc.Install(&z);
    ASSERT_EQ(0, puxz::inflateInit2_(&z, -15, PUXZ_VERSION, (int)sizeof z));
    Bytes window(32768, 0);
    int rc;
    Bytes out = drive(&z, packedBefore, patterns[k], &rc);
    ASSERT_EQ(1, rc) << k;
    ASSERT_TRUE(out == before) << k;
    std::copy(before.begin(), before.end(), window.begin());
    for (const auto* c : {&a, &b, &a}) {
      ASSERT_EQ(0, puxz::inflateReset(&z));
      out = drive(&z, c == &a ? craftedA : craftedB, patterns[k], &rc);
      EXPECT_EQ(1, rc) << k;
      EXPECT_TRUE(out == c->Expected(&window)) << "pattern " << k << (c == &a ? " a" : " b");
    }
    puxz::inflateEnd(&z);
    EXPECT_EQ(0, alloc.live);
  }

  // Fresh streams with small windows: distances up to the window's size, all before the
  // first byte or partly so.
  for (int bits : {9, 12, 14}) {
    const uint32_t size = 1u << bits;
    CraftedFixed c;
    c.Literals("abc");
    c.BeforeFirst(7, 5, size);
    c.BeforeFirst(100, size - 3, size);
    c.Match(3, size);
    c.Literals("xyz");
    const Bytes crafted = c.Finish();
    for (size_t k = 0; k < patterns.size(); k++) {
      TestAllocator alloc;
      puxz::z_stream z;
      memset(&z, 0, sizeof z);
      alloc.Install(&z);
      ASSERT_EQ(0, puxz::inflateInit2_(&z, -bits, PUXZ_VERSION, (int)sizeof z));
      Bytes window(size, 0);
      int rc;
      Bytes out = drive(&z, crafted, patterns[k], &rc);
      EXPECT_EQ(1, rc) << bits << " " << k;
      EXPECT_TRUE(out == c.Expected(&window)) << "window bits " << bits << " pattern " << k;
      puxz::inflateEnd(&z);
    }
  }

  // After a preset dictionary: its bytes, then zeros before it.
  Bytes dictionary = sample_data::Text(3000, 92);
  CraftedFixed d;
  d.Literals("dict");
  d.BeforeFirst(30, 10, 32768);    // the dictionary's last ten bytes, then twenty more of it
  d.BeforeFirst(20, 3010, 32768);  // ten zeros before the dictionary, then its first ten
  const Bytes deflated = d.Finish();
  Bytes expectedWindow(32768, 0);
  std::copy(dictionary.begin(), dictionary.end(), expectedWindow.begin());
  // The model's write index starts at 0; rotate so the dictionary ends just before it.
  std::rotate(expectedWindow.begin(), expectedWindow.begin() + dictionary.size(), expectedWindow.end());
  const Bytes expected = d.Expected(&expectedWindow);
  Bytes wrapped = {0x78, 0x20};
  uint32_t id = (uint32_t)adler32(1, dictionary.data(), (uInt)dictionary.size());
  for (int shift : {24, 16, 8, 0}) wrapped.push_back((uint8_t)(id >> shift));
  wrapped.insert(wrapped.end(), deflated.begin(), deflated.end());
  uint32_t check = (uint32_t)adler32(1, expected.data(), (uInt)expected.size());
  for (int shift : {24, 16, 8, 0}) wrapped.push_back((uint8_t)(check >> shift));
  for (size_t k = 0; k < patterns.size(); k++) {
    TestAllocator alloc;
    puxz::z_stream z;
    memset(&z, 0, sizeof z);
    alloc.Install(&z);
    ASSERT_EQ(0, puxz::inflateInit2_(&z, 15, PUXZ_VERSION, (int)sizeof z));
    Bytes room(10);
    z.next_in = wrapped.data();
    z.avail_in = 6;
    z.next_out = room.data();
    z.avail_out = (uint32_t)room.size();
    ASSERT_EQ(2, puxz::inflate(&z, 0));
    ASSERT_EQ(0, puxz::inflateSetDictionary(&z, dictionary.data(), (uint32_t)dictionary.size()));
    int rc;
    Bytes out = drive(&z, Bytes(wrapped.begin() + 6, wrapped.end()), patterns[k], &rc);
    EXPECT_EQ(1, rc) << k << " " << (z.msg != nullptr ? z.msg : "");
    EXPECT_TRUE(out == expected) << "dictionary, pattern " << k;
    puxz::inflateEnd(&z);
    EXPECT_EQ(0, alloc.live);
  }
}

/* Bytes of the caller's output past those made are never written, whatever the copy:
   long matches at distances of 1 to 7 and beyond 8, a room much larger than the data, a
   room that ends inside a match. */
TEST(Inflate, NothingIsWrittenPastTheBytesMade) {
  Bytes in;
  for (uint32_t i = 0; in.size() < 200000; i++) {
    uint32_t period = 1 + i % 12;
    for (uint32_t k = 0; k < 300 + i % 200; k++) in.push_back((uint8_t)(i * 7 + k % period));
    Bytes t = sample_data::Text(200 + i % 500, i);
    in.insert(in.end(), t.begin(), t.end());
  }
  // The last bytes a long match at a distance of 9, of a length no multiple of 8.
  for (uint32_t k = 0; k < 301; k++) in.push_back((uint8_t)(k % 9));
  // Small blocks (memory level 1: 128 codes a block) make many calls end inside a
  // block's header, right after a match, with nothing written after it.
  for (int level : {1, 9}) {
    for (int memLevel : {1, 8}) {
      Bytes packed = ZlibCompress(in, level, -15, memLevel, 0);
      for (uint32_t room : {(uint32_t)in.size() + 5000, 70001u, 4099u, 259u}) {
        for (uint32_t piece : {0u, 1000u, 37u}) {
          TestAllocator alloc;
          puxz::z_stream z;
          memset(&z, 0, sizeof z);
          alloc.Install(&z);
          ASSERT_EQ(0, puxz::inflateInit2_(&z, -15, PUXZ_VERSION, (int)sizeof z));
          size_t pos = 0;
          Bytes out;
          int rc = 0;
          bool clean = true;
          while (rc == 0 || (rc == -5 && pos < packed.size())) {
            if (z.avail_in == 0) {
              size_t n = piece == 0 || packed.size() - pos < piece ? packed.size() - pos : piece;
              z.next_in = packed.data() + pos;
              z.avail_in = (uint32_t)n;
              pos += n;
            }
            Bytes buffer(room, 0x5A);
            z.next_out = buffer.data();
            z.avail_out = room;
            rc = puxz::inflate(&z, 0);
            uint32_t made = room - z.avail_out;
            for (uint32_t k = made; k < room; k++) clean = clean && buffer[k] == 0x5A;
            out.insert(out.end(), buffer.begin(), buffer.begin() + made);
          }
          EXPECT_EQ(1, rc) << "level " << level << " room " << room << " piece " << piece;
          EXPECT_TRUE(out == in) << "level " << level << " room " << room << " piece " << piece;
          EXPECT_TRUE(clean) << "bytes past the output were written: level " << level << " room " << room << " piece "
                             << piece;
          puxz::inflateEnd(&z);
        }
      }
    }
  }
}

/* The fast loops decode a second literal without a refill, so one step writes a literal
   and a longest match: literals then matches of every distance from 1 to 24, every length
   from 3 to 48 (the copies place their 4 and 8-byte pieces by length) at every output
   alignment mod 8, and longer ones up to 258, read with rooms just at,
   under and over a step's 259 bytes and a window of 512 bytes that wraps inside
   matches. The bytes are zlib's; nothing past those made is written. */
TEST(Inflate, LiteralsAndMatchesOfEveryShortDistanceAtTightRooms) {
  const Bytes seed = sample_data::RandomBytes(40, 93);
  BitWriter w;
  w.Bits(0, 3);  // the seed as a stored block, so that every distance has bytes to read
  w.Align();
  w.Bits((uint32_t)seed.size(), 16);
  w.Bits(~(uint32_t)seed.size() & 0xFFFF, 16);
  for (uint8_t b : seed) w.Bits(b, 8);
  w.Bits(3, 3);  // the last block, fixed codes
  uint32_t i = 0;
  std::vector<uint32_t> lengths = {63, 64, 65, 257, 258};
  for (uint32_t len = 3; len <= 48; len++) lengths.push_back(len);
  for (uint32_t distance = 1; distance <= 24; distance++) {
    for (uint32_t len : lengths) {
      for (uint32_t lead = 1; lead <= 8; lead++) {  // one literal or more, then the match
        for (uint32_t l = 0; l < lead; l++) w.FixedSymbol((i * 29 + l * 31) & 0xFF);
        FixedMatch(w, len, distance);
        i++;
      }
    }
  }
  for (uint32_t g = 0; g < 64; g++) {  // steps of a literal and a longest match, back to back
    w.FixedSymbol((g * 13) & 0xFF);
    FixedMatch(w, 258, 1 + g % 16);
  }
  w.FixedSymbol(256);
  const Bytes packed = w.Finish();
  for (int bits : {9, 15}) {
    const InflateResult expected = ZlibInflateAll(packed, -bits);
    ASSERT_EQ(1, expected.code) << expected.msg;
    for (uint32_t room : {258u, 259u, 260u, 261u, 517u, 518u, 519u, 4096u, 100000u}) {
      for (uint32_t piece : {0u, 37u}) {
        TestAllocator alloc;
        puxz::z_stream z;
        memset(&z, 0, sizeof z);
        alloc.Install(&z);
        ASSERT_EQ(0, puxz::inflateInit2_(&z, -bits, PUXZ_VERSION, (int)sizeof z));
        size_t pos = 0;
        Bytes out;
        int rc = 0;
        bool clean = true;
        for (int calls = 0; (rc == 0 || (rc == -5 && pos < packed.size())) && calls < 100000; calls++) {
          if (z.avail_in == 0) {
            size_t n = piece == 0 || packed.size() - pos < piece ? packed.size() - pos : piece;
            z.next_in = packed.data() + pos;
            z.avail_in = (uint32_t)n;
            pos += n;
          }
          Bytes buffer(room + 16, 0x5A);
          z.next_out = buffer.data();
          z.avail_out = room;
          rc = puxz::inflate(&z, 0);
          uint32_t made = room - z.avail_out;
          for (uint32_t k = made; k < room + 16; k++) clean = clean && buffer[k] == 0x5A;
          out.insert(out.end(), buffer.begin(), buffer.begin() + made);
        }
        EXPECT_EQ(1, rc) << "bits " << bits << " room " << room << " piece " << piece;
        EXPECT_TRUE(out == expected.out) << "bits " << bits << " room " << room << " piece " << piece;
        EXPECT_TRUE(clean) << "bytes past the output were written: bits " << bits << " room " << room << " piece "
                           << piece;
        puxz::inflateEnd(&z);
        EXPECT_EQ(0, alloc.live);
      }
    }
  }
}

/* The fast loop decodes an input's last bytes from a copy padded with zeros, which read as
   codes too (seven zero bits are the end of a fixed-code block; a dynamic code may make
   them an invalid one). A stream cut at each of its last 40 bytes, fixed and dynamic,
   given whole or in pieces that end at every bit of a code, with room to decode
   straight out: no end and no error, and the bytes zlib makes of the same cut. */
TEST(Inflate, ACutStreamNeitherEndsNorFailsInItsLastBytes) {
  const Bytes text = sample_data::Text(3000, 94);
  BitWriter w;
  w.Bits(3, 3);  // the last block, fixed codes: literals and matches
  for (uint32_t i = 0; i < 400; i++) {
    w.FixedSymbol(text[i]);
    if (i % 5 == 4) FixedMatch(w, 3 + i % 20, 1 + i % 50);
  }
  w.FixedSymbol(256);
  const std::vector<Bytes> streams = {w.Finish(), ZlibCompress(text, 6, -15, 8, 0), ZlibCompress(text, 1, -15, 1, 0)};
  for (size_t k = 0; k < streams.size(); k++) {
    const Bytes& whole = streams[k];
    for (size_t cut = whole.size() - 40; cut < whole.size(); cut++) {
      const Bytes in(whole.begin(), whole.begin() + cut);
      const InflateResult expected = ZlibInflateAll(in, -15);
      ASSERT_EQ(-5, expected.code) << "stream " << k << " cut " << cut << ": " << expected.msg;
      for (uint32_t piece : {0u, 1u, 5u, 17u}) {
        TestAllocator alloc;
        InflateResult r = OurInflate(in, -15, InflatePattern{piece, 4096}, &alloc);
        EXPECT_NE(1, r.code) << "stream " << k << " cut " << cut << " piece " << piece;
        EXPECT_TRUE(r.code == 0 || r.code == -5) << r.code << " " << r.msg << ": stream " << k << " cut " << cut;
        EXPECT_TRUE(r.out == expected.out) << "stream " << k << " cut " << cut << " piece " << piece << ": "
                                           << r.out.size() << " bytes, zlib's " << expected.out.size();
      }
    }
  }
}

/* A stream of 50 MB of zeros from about 50 KB: memory stays at the stream's fixed size
   whatever the output, and output is handed out only as room is given. */
TEST(Inflate, ABombTakesNoMoreMemoryThanAnyStream) {
  Bytes zeros(50u << 20, 0);
  Bytes packed = ZlibCompress(zeros, 9, 15, 9, 0);
  zeros.clear();
  zeros.shrink_to_fit();
  ASSERT_LT(packed.size(), 100000u);
  TestAllocator alloc;
  InflateResult r = OurInflate(packed, 15, InflatePattern{4096, 65536}, &alloc, 60u << 20);
  EXPECT_EQ(1, r.code);
  EXPECT_EQ(50u << 20, r.out.size());
  EXPECT_LT(alloc.peakBytes, 50000u);
  // Capped output: the caller stops and nothing more is produced or allocated.
  TestAllocator capped;
  InflateResult c = OurInflate(packed, 15, InflatePattern{4096, 65536}, &capped, 1u << 20);
  EXPECT_EQ(99, c.code);
  EXPECT_EQ(0, capped.live);
}

TEST(InflateTables, FixedTablesAreTheRfcCodes) {
  uint32_t bl, bd, tl, td;
  puxz::HuftArray* h;
  puxz::GetFixedTrees(&bl, &bd, &tl, &td, &h);
  EXPECT_EQ(9u, bl);
  EXPECT_EQ(5u, bd);
  EXPECT_EQ(0u, tl);
  EXPECT_EQ(512u, td);
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(544u, h->count);
  EXPECT_EQ(18u, h->blocks);
  const puxz::HuftEntry* e = h->Entry(0);
  EXPECT_EQ(96, e->exop);
  EXPECT_EQ(7, e->bits);
  EXPECT_EQ(256u, e->base);
  e = h->Entry(1);
  EXPECT_EQ(0, e->exop);
  EXPECT_EQ(8, e->bits);
  EXPECT_EQ(80u, e->base);
  for (uint32_t i : {99u, 227u, 355u, 483u, 512u + 15, 512u + 31}) EXPECT_EQ(192, h->Entry(i)->exop) << i;
  EXPECT_EQ(nullptr, h->Entry(544));
  // Every fixed code, decoded from its bit-reversed pattern, names its own symbol.
  for (uint32_t s = 0; s < 286; s++) {
    BitWriter w;
    w.FixedSymbol(s);
    while (w.count != 0 && w.bytes.size() < 2) w.Bits(0, 1);
    uint32_t bits = w.bytes[0] | (w.bytes.size() > 1 ? w.bytes[1] << 8 : 0);
    const puxz::HuftEntry* f = h->Entry(bits & 511);
    uint32_t symbol = f->exop == 0 || f->exop == 96 ? f->base : 257;
    if (f->exop & 16) {
      // A length: find its code from the base.
      const uint16_t* base = puxz::InflateLengthBase();
      uint32_t code = 0;
      while (base[code] != f->base) code++;
      symbol = 257 + code;
    }
    EXPECT_EQ(s, symbol);
  }
  // Built twice, computed now and the process-wide copy: the same entries.
  alignas(8) static uint8_t buffer[16 + 18 * 256];
  puxz::HuftArray* again = puxz::HuftArray::CreateInBuffer(buffer, sizeof buffer, 544);
  ASSERT_NE(nullptr, again);
  uint32_t lens[288], used = 0, root, bits = 9;
  for (uint32_t k = 0; k < 288; k++) lens[k] = k < 144 ? 8 : k < 256 ? 9 : k < 280 ? 7 : 8;
  EXPECT_EQ(0, puxz::BuildHuffmanTablePlain(lens, 288, 257, puxz::InflateLengthBase(), puxz::InflateLengthExtra(),
                                            &root, &bits, again, &used));
  for (uint32_t k = 0; k < 30; k++) lens[k] = 5;
  bits = 5;
  EXPECT_EQ(-5, puxz::BuildHuffmanTablePlain(lens, 30, 0, puxz::InflateDistBase(), puxz::InflateDistExtra(), &root,
                                             &bits, again, &used));
  EXPECT_EQ(544u, used);
  for (uint32_t i = 0; i < 544; i++) {
    EXPECT_EQ(0, memcmp(again->Entry(i), h->Entry(i), sizeof(puxz::HuftEntry))) << i;
  }
  EXPECT_EQ(nullptr, puxz::HuftArray::CreateInBuffer(buffer, 16 + 17 * 256, 544));
  EXPECT_EQ(nullptr, puxz::HuftArray::CreateInBuffer(nullptr, sizeof buffer, 544));
}

TEST(InflateTables, TheBuilderRefusesWhatNoCodeCanBe) {
  alignas(8) static uint8_t buffer[16 + 50 * 256];
  puxz::HuftArray* h = puxz::HuftArray::CreateInBuffer(buffer, sizeof buffer, puxz::HuftLimit);
  ASSERT_NE(nullptr, h);
  uint32_t root = 77, bits = 7, used = 0;
  uint32_t zeros[19] = {0};
  EXPECT_EQ(0, puxz::BuildHuffmanTablePlain(zeros, 19, 19, nullptr, nullptr, &root, &bits, h, &used));
  EXPECT_EQ(0u, root);
  EXPECT_EQ(0u, bits);
  EXPECT_EQ(0u, used);
  uint32_t one[2] = {1, 0};
  bits = 7;
  EXPECT_EQ(0, puxz::BuildHuffmanTablePlain(one, 2, 19, nullptr, nullptr, &root, &bits, h, &used));
  EXPECT_EQ(1u, bits);
  // The slot no code reaches is invalid, with a base of 0 whatever was there before.
  EXPECT_EQ(192, h->Entry(root + 1)->exop);
  EXPECT_EQ(0u, h->Entry(root + 1)->base);
  uint32_t over[3] = {1, 1, 2};
  used = 0;
  bits = 7;
  EXPECT_EQ(-3, puxz::BuildHuffmanTablePlain(over, 3, 19, nullptr, nullptr, &root, &bits, h, &used));
  uint32_t incomplete[3] = {2, 2, 2};
  used = 0;
  bits = 7;
  EXPECT_EQ(-5, puxz::BuildHuffmanTablePlain(incomplete, 3, 19, nullptr, nullptr, &root, &bits, h, &used));
  // A complete literal/length code that opens four 64-entry sub-tables: lengths 1 to 7
  // cover 508 of the 512 root slots, 256 codes of 15 bits the other four.
  uint32_t lens[288] = {0};
  for (uint32_t k = 0; k < 7; k++) lens[k] = k + 1;
  for (uint32_t k = 7; k < 263; k++) lens[k] = 15;
  used = 0;
  bits = 9;
  EXPECT_EQ(0, puxz::BuildHuffmanTablePlain(lens, 286, 257, puxz::InflateLengthBase(), puxz::InflateLengthExtra(),
                                            &root, &bits, h, &used));
  EXPECT_EQ(512u + 4 * 64, used);
  // An incomplete one that would open thousands of sub-tables stops at the limit, with
  // the count left where the table that did not fit began.
  for (uint32_t k = 0; k < 255; k++) lens[k] = 9;
  for (uint32_t k = 255; k < 286; k++) lens[k] = 15;
  used = 0;
  bits = 9;
  EXPECT_EQ(-4, puxz::BuildHuffmanTablePlain(lens, 286, 257, puxz::InflateLengthBase(), puxz::InflateLengthExtra(),
                                             &root, &bits, h, &used));
  EXPECT_EQ(puxz::HuftLimit - puxz::HuftLimit % 64, used);
}

/* A dynamic block whose literal/length code is so incomplete that its tables would not
   fit: bad data, never "no memory" (a caller told -4 may call again, and would be told
   -4 for ever). Every complete code fits: at most 852 + 592 entries. */
TEST(Inflate, TablesPastTheLimitAreBadDataNotMemory) {
  // Code-length code: symbols 0, 1, 15 and 18, two bits each (00, 01, 10, 11).
  std::vector<int> clen(19, 0);
  clen[2] = clen[3] = clen[17] = clen[18] = 2;
  BitWriter w = DynamicHeader(0, 0, clen);
  w.Code(1, 2);  // symbol 0: length 1
  w.Code(3, 2);  // 138 zeros
  w.Bits(127, 7);
  w.Code(3, 2);  // 117 zeros
  w.Bits(106, 7);
  w.Code(2, 2);  // symbol 256: length 15
  w.Code(0, 2);  // the distance code: unused
  // One code of 1 bit and one of 15: the other half of the root would need 256
  // sub-tables of 64 entries.
  for (int i = 0; i < 64; i++) w.Bits(0, 8);
  TestAllocator alloc;
  InflateResult r = OurInflate(w.Finish(), -15, InflatePattern{}, &alloc);
  EXPECT_EQ(-3, r.code) << r.msg;
  EXPECT_EQ("incomplete literal/length tree", r.msg);
  EXPECT_EQ(0, alloc.live);
}

/* Sixteen threads inflate fixed-code data at once; the shared fixed tables must be
   whole for every one of them. */
TEST(Inflate, ThreadsShareTheFixedTables) {
  const Bytes in = sample_data::Text(20000, 55);
  Bytes packed = ZlibCompress(in, 6, -15, 8, 4 /* fixed codes */);
  std::vector<std::thread> threads;
  std::vector<int> ok(16, 0);
  for (int t = 0; t < 16; t++) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; round++) {
        TestAllocator alloc;
        InflateResult r = OurInflate(packed, -15, InflatePattern{(uint32_t)(100 + t), 0}, &alloc);
        if (r.code == 1 && r.out == in && alloc.live == 0) ok[t]++;
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 16; t++) EXPECT_EQ(5, ok[t]) << t;
}

}  // namespace
}  // namespace compress_test

namespace compress_test {
namespace {

/* Our own deflate's streams at every level, raw and wrapped, come back through our
   inflate running on the machine's compression pool; a stream holds exactly 48,196 pool
   bytes (the figure the zip natives' budget is made of) and gives them all back. */
TEST_F(DeflateTest, OurDeflateComesBackThroughOurInflateOnThePool) {
  const Bytes in = Corpus();
  for (int level = 0; level <= 9; level++) {
    for (int bits : {15, -15, 11}) {
      Params p;
      p.level = level;
      p.windowBits = bits;
      p.memLevel = level % 2 ? 7 : 8;
      Bytes packed = OurDeflate(p, in, Pattern{1000, 300, level == 5 ? 2 : 0}, cookie);
      puxz::z_stream z;
      memset(&z, 0, sizeof z);
      z.zalloc = ZipPoolAlloc;
      z.zfree = ZipPoolFree;
      z.opaque = cookie;
      ASSERT_EQ(0, puxz::inflateInit2_(&z, bits, PUXZ_VERSION, (int)sizeof z));
      EXPECT_EQ(48196u, ZipPoolBytesInUse(cookie));
      Bytes out(in.size() + 1);
      z.next_in = packed.data();
      z.avail_in = (uint32_t)packed.size();
      z.next_out = out.data();
      z.avail_out = (uint32_t)out.size();
      EXPECT_EQ(1, puxz::inflate(&z, 4)) << "level " << level << " bits " << bits;
      EXPECT_EQ(in.size(), z.total_out);
      EXPECT_EQ(packed.size(), z.total_in);
      EXPECT_TRUE(memcmp(out.data(), in.data(), in.size()) == 0);
      EXPECT_EQ(0, puxz::inflateEnd(&z));
      EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
    }
  }
}

}  // namespace
}  // namespace compress_test
