/* The deflate stream interface: the documented vectors, refused parameters, the memory of
   a stream to the byte and under refusals at every request, and the mended faults of
   initialisation, copy and parameter changes. */
#include <string.h>
#include <zlib.h>

#include "deflate_state.h"
#include "deflate_support.h"

namespace compress_test {
namespace {

using puxz::z_stream;

class DeflateStreamTest : public DeflateTest {
 protected:
  /* One call with the given input and room; the bytes made. */
  Bytes Call(OurStream& s, const Bytes& in, uint32_t room, int flush, int* rc) {
    Bytes out(room);
    s.z.next_in = in.data();
    s.z.avail_in = (uint32_t)in.size();
    s.z.next_out = out.data();
    s.z.avail_out = room;
    *rc = puxz::deflate(&s.z, flush);
    out.resize(room - s.z.avail_out);
    return out;
  }
  /* Runs a stream to its end with ample room; what it made. */
  Bytes Finish(OurStream& s, const uint8_t* in, uint32_t n) {
    Bytes out;
    s.z.next_in = in;
    s.z.avail_in = n;
    int rc;
    do {
      uint8_t buffer[4096];
      s.z.next_out = buffer;
      s.z.avail_out = sizeof buffer;
      rc = puxz::deflate(&s.z, 4);
      out.insert(out.end(), buffer, buffer + (sizeof buffer - s.z.avail_out));
    } while (rc == 0);
    EXPECT_EQ(1, rc);
    return out;
  }
};

int Init(z_stream* z, int level, int bits, int memLevel, int strategy = 0, int method = 8,
         const char* version = PUXZ_VERSION, int size = 56) {
  return puxz::deflateInit2_(z, level, method, bits, memLevel, strategy, version, size);
}

TEST_F(DeflateStreamTest, VersionSizeAndParametersAreChecked) {
  OurStream s(cookie);
  EXPECT_EQ(-6, Init(&s.z, 6, 15, 8, 0, 8, nullptr));
  EXPECT_EQ(-6, Init(&s.z, 6, 15, 8, 0, 8, "2.0"));
  EXPECT_EQ(-6, Init(&s.z, 6, 15, 8, 0, 8, PUXZ_VERSION, 57));
  EXPECT_EQ(-2, Init(nullptr, 6, 15, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, 7, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, 16, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, 8, 8));   // cannot work: the greatest distance would be negative
  EXPECT_EQ(-2, Init(&s.z, 6, -8, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, -16, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, INT32_MIN, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, 15, 0));
  EXPECT_EQ(-2, Init(&s.z, 6, 15, 10));
  EXPECT_EQ(-2, Init(&s.z, 6, 15, 8, 0, 9));
  EXPECT_EQ(-2, Init(&s.z, 10, 15, 8));
  EXPECT_EQ(-2, Init(&s.z, -2, 15, 8));
  EXPECT_EQ(-2, Init(&s.z, 6, 15, 8, 3));
  EXPECT_EQ(nullptr, s.z.state);
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  // Any version beginning with "1" is taken.
  EXPECT_EQ(0, Init(&s.z, -1, 15, 8, 0, 8, "1.0.4"));
  EXPECT_EQ(6, static_cast<puxz::DeflateState*>(s.z.state)->level);
  EXPECT_EQ(0, puxz::deflateEnd(&s.z));
  // Without a pair of its own the default pair has no pool to draw on.
  z_stream bare;
  memset(&bare, 0, sizeof bare);
  EXPECT_EQ(-4, Init(&bare, 6, 15, 8));
  EXPECT_EQ(nullptr, bare.state);
  EXPECT_TRUE(bare.zalloc == puxz::zcalloc);
}

TEST_F(DeflateStreamTest, HeadersAndEmptyStreams) {
  // Levels 2 and 5 are where the level bits part from the system zlib's (78 5E at both).
  const uint8_t headers[][2] = {{0x78, 0xDA}, {0x78, 0x01}, {0x78, 0x01}, {0x78, 0x9C}, {0x78, 0x9C}, {0x78, 0xDA}};
  const int levels[] = {0, 1, 2, 5, 6, 9};
  for (int i = 0; i < 6; i++) {
    OurStream s(cookie);
    ASSERT_EQ(0, s.Init(Params{levels[i], 15, 8, 0}));
    int rc;
    Bytes out = Call(s, Bytes(), 64, 0, &rc);
    EXPECT_EQ(0, rc);
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(headers[i][0], out[0]);
    EXPECT_EQ(headers[i][1], out[1]);
    Call(s, Bytes(), 64, 0, &rc);
    EXPECT_EQ(-5, rc) << "nothing to do a second time";
    EXPECT_STREQ("buffer error", s.z.msg);
    EXPECT_EQ(-3, puxz::deflateEnd(&s.z)) << "the header is out: the stream has begun";
  }
  OurStream unused(cookie);
  ASSERT_EQ(0, unused.Init(Params{6, 15, 8, 0}));
  EXPECT_EQ(0, puxz::deflateEnd(&unused.z));
  OurStream w(cookie);
  ASSERT_EQ(0, w.Init(Params{1, 15, 8, 0}));
  int rc;
  Bytes out = Call(w, Bytes(), 64, 4, &rc);
  EXPECT_EQ(1, rc);
  EXPECT_EQ((Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}), out);
  EXPECT_EQ(1, puxz::deflate(&w.z, 4)) << "finished stays finished";
  EXPECT_TRUE(Call(w, Bytes(), 64, 4, &rc).empty());
  EXPECT_EQ(1, rc);
  Call(w, Bytes(), 64, 0, &rc);
  EXPECT_EQ(-2, rc);
  EXPECT_STREQ("stream error", w.z.msg);
  Call(w, Bytes(3, 'a'), 64, 4, &rc);
  EXPECT_EQ(-5, rc) << "input after the end";
  EXPECT_EQ(0, puxz::deflateEnd(&w.z));

  OurStream r(cookie);
  ASSERT_EQ(0, r.Init(Params{1, -15, 8, 0}));
  Call(r, Bytes(), 64, 0, &rc);
  EXPECT_EQ(-5, rc) << "a raw stream has no header to write";
  out = Call(r, Bytes(), 64, 4, &rc);
  EXPECT_EQ(1, rc);
  EXPECT_EQ((Bytes{0x03, 0x00}), out);
  EXPECT_EQ(0, puxz::deflateEnd(&r.z));
}

TEST_F(DeflateStreamTest, BadCallsAndTheEndOfAStream) {
  OurStream s(cookie);
  ASSERT_EQ(0, s.Init(Params{6, 15, 8, 0}));
  int rc;
  EXPECT_EQ(-2, puxz::deflate(nullptr, 0));
  EXPECT_EQ(-2, puxz::deflate(&s.z, 5));
  EXPECT_EQ(-2, puxz::deflate(&s.z, -1));
  s.z.next_out = nullptr;
  s.z.avail_out = 10;
  EXPECT_EQ(-2, puxz::deflate(&s.z, 0));
  EXPECT_STREQ("stream error", s.z.msg);
  uint8_t room[16];
  s.z.next_out = room;
  s.z.next_in = nullptr;
  s.z.avail_in = 5;
  EXPECT_EQ(-2, puxz::deflate(&s.z, 0));
  // No room: refused, and nothing changes.
  Bytes in = sample_data::Text(5000, 3);
  s.z.next_in = in.data();
  s.z.avail_in = (uint32_t)in.size();
  s.z.avail_out = 0;
  EXPECT_EQ(-5, puxz::deflate(&s.z, 0));
  EXPECT_STREQ("buffer error", s.z.msg);
  EXPECT_EQ(in.size(), s.z.avail_in);
  EXPECT_EQ(0u, s.z.total_out);
  Call(s, in, 3, 0, &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ(-3, puxz::deflateEnd(&s.z)) << "ended in the middle of its data";
  EXPECT_EQ(nullptr, s.z.state);
  EXPECT_EQ(-2, puxz::deflateEnd(&s.z));
  EXPECT_EQ(-2, puxz::deflateEnd(nullptr));
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));

  OurStream r(cookie);
  ASSERT_EQ(0, r.Init(Params{6, -15, 8, 0}));
  EXPECT_EQ(-3, puxz::deflateEnd(&r.z)) << "a raw stream is busy from the start";
  OurStream f(cookie);
  ASSERT_EQ(0, f.Init(Params{6, -15, 8, 0}));
  Finish(f, in.data(), (uint32_t)in.size());
  EXPECT_EQ(0, puxz::deflateEnd(&f.z));
}

TEST_F(DeflateStreamTest, OneByteOfRoomPerCallStillMakesTheWholeStream) {
  Bytes in = sample_data::Text(3000, 8);
  for (int bits : {15, -15}) {
    Params p{6, bits, 8, 0};
    Bytes whole = OurDeflate(p, in, Pattern(), cookie);
    OurStream s(cookie);
    ASSERT_EQ(0, s.Init(p));
    s.z.next_in = in.data();
    s.z.avail_in = (uint32_t)in.size();
    Bytes out;
    int rc, calls = 0;
    do {
      uint8_t byte;
      s.z.next_out = &byte;
      s.z.avail_out = 1;
      rc = puxz::deflate(&s.z, 4);
      if (s.z.avail_out == 0) out.push_back(byte);
      calls++;
    } while (rc == 0 && calls < 100000);
    EXPECT_EQ(1, rc);
    EXPECT_EQ(whole, out);
    EXPECT_EQ(out.size(), s.z.total_out);
    EXPECT_EQ(0, puxz::deflateEnd(&s.z));
  }
}

TEST_F(DeflateStreamTest, AStreamTakesExactlyItsPoolBytes) {
  // 906 chunks and segment tables, eight array and three record headers, the state and
  // the bit-length counts: what lets a machine hold two Deflater streams and no third.
  OurStream s(cookie);
  ASSERT_EQ(0, s.Init(Params{1, 15, 7, 0}));
  EXPECT_EQ(243472u, ZipPoolBytesInUse(cookie));
  EXPECT_EQ(906u * 268 + 8 * 32 + 3 * 36 + 256 + 44, ZipPoolBytesInUse(cookie));
  EXPECT_EQ(0, puxz::deflateEnd(&s.z));
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  OurStream raw(cookie);
  ASSERT_EQ(0, raw.Init(Params{1, -15, 7, 0}));
  EXPECT_EQ(243472u, ZipPoolBytesInUse(cookie));
  EXPECT_EQ(-3, puxz::deflateEnd(&raw.z));
}

TEST_F(DeflateStreamTest, ARefusalAtAnyRequestOfInitialisationLeavesNothing) {
  uint32_t blocks = refhost::BlocksInUse(nullptr);
  uint64_t total = 0;
  bool succeeded = false;
  for (uint32_t k = 1; !succeeded; k++) {
    refhost::SetFailureScope(true, nullptr, 1);
    refhost::FailNthAllocation(k);
    OurStream s(cookie);
    int rc = s.Init(Params{1, 15, 7, 0});
    refhost::ResetHooks();
    if (rc == 0) {
      succeeded = true;
      total = k - 1;
      EXPECT_EQ(0, puxz::deflateEnd(&s.z));
    } else {
      ASSERT_EQ(-4, rc) << k;
      EXPECT_EQ(nullptr, s.z.state);
    }
    ASSERT_EQ(0u, ZipPoolBytesInUse(cookie)) << "refused request " << k;
    ASSERT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "refused request " << k;
  }
  EXPECT_EQ(906u + 11 + 2, total) << "chunks and tables, array headers, state and counts";
}

TEST_F(DeflateStreamTest, AFailedMemLevel9LeavesThePoolAsItWas) {
  // The window, chains, buffers and trees are made before the 128 KB heads are refused.
  for (int i = 0; i < 3; i++) {
    OurStream s(cookie);
    EXPECT_EQ(-4, s.Init(Params{6, 15, 9, 0}));
    EXPECT_STREQ("insufficient memory", s.z.msg);
    EXPECT_EQ(nullptr, s.z.state);
    EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  }
}

TEST_F(DeflateStreamTest, ResetStartsTheSameStreamAgain) {
  Bytes in = sample_data::Text(20000, 4);
  for (int bits : {15, -15}) {
    Params p{6, bits, 7, 0};
    Bytes fresh = OurDeflate(p, in, Pattern(), cookie);
    OurStream s(cookie);
    ASSERT_EQ(0, s.Init(p));
    Finish(s, in.data(), 7000);
    EXPECT_EQ(0, puxz::deflateReset(&s.z));
    EXPECT_EQ(fresh, Finish(s, in.data(), (uint32_t)in.size()));
    // And in the middle of a stream.
    int rc;
    Call(s, Bytes(in.begin(), in.begin() + 5000), 100, 0, &rc);
    EXPECT_EQ(0, puxz::deflateReset(&s.z));
    EXPECT_EQ(2, s.z.data_type);
    EXPECT_EQ(0u, s.z.total_in);
    EXPECT_EQ(fresh, Finish(s, in.data(), (uint32_t)in.size()));
    EXPECT_EQ(0, puxz::deflateEnd(&s.z));
  }
  EXPECT_EQ(-2, puxz::deflateReset(nullptr));
}

TEST_F(DeflateStreamTest, ADictionaryIsUsedAndNamedInTheHeader) {
  Bytes dictionary = sample_data::Text(40000, 12);  // more than the window's greatest distance
  Bytes in(dictionary.end() - 3000, dictionary.end());
  Bytes tail = sample_data::Text(2000, 13);
  in.insert(in.end(), tail.begin(), tail.end());
  OurStream s(cookie);
  ASSERT_EQ(0, s.Init(Params{6, 15, 8, 0}));
  EXPECT_EQ(-2, puxz::deflateSetDictionary(&s.z, nullptr, 5));
  ASSERT_EQ(0, puxz::deflateSetDictionary(&s.z, dictionary.data(), (uint32_t)dictionary.size()));
  uint32_t id = (uint32_t)adler32(1, dictionary.data(), (uInt)dictionary.size());
  EXPECT_EQ(id, s.z.adler);
  Bytes out = Finish(s, in.data(), (uint32_t)in.size());
  EXPECT_EQ(-2, puxz::deflateSetDictionary(&s.z, dictionary.data(), 10)) << "only before the first call";
  EXPECT_EQ(0, puxz::deflateEnd(&s.z));
  ASSERT_GT(out.size(), 6u);
  EXPECT_EQ(0x20, out[1] & 0x20);
  EXPECT_EQ(id, (uint32_t)out[2] << 24 | out[3] << 16 | out[4] << 8 | out[5]);
  EXPECT_LT(out.size(), 2800u) << "the repeated part came from the dictionary";

  ::z_stream z;
  memset(&z, 0, sizeof z);
  ASSERT_EQ(Z_OK, inflateInit(&z));
  Bytes back(in.size() + 10);
  z.next_in = out.data();
  z.avail_in = (uInt)out.size();
  z.next_out = back.data();
  z.avail_out = (uInt)back.size();
  ASSERT_EQ(Z_NEED_DICT, inflate(&z, Z_FINISH));
  EXPECT_EQ(id, z.adler);
  ASSERT_EQ(Z_OK, inflateSetDictionary(&z, dictionary.data(), (uInt)dictionary.size()));
  EXPECT_EQ(Z_STREAM_END, inflate(&z, Z_FINISH));
  back.resize(z.total_out);
  EXPECT_EQ(in, back);
  inflateEnd(&z);
}

TEST_F(DeflateStreamTest, ACopyGoesOnAsTheSourceWould) {
  Bytes in = sample_data::Text(60000, 14);
  Params p{6, 15, 7, 0};
  Bytes whole = OurDeflate(p, in, Pattern(), cookie);
  OurStream source(cookie);
  ASSERT_EQ(0, source.Init(p));
  int rc;
  Bytes head = Call(source, Bytes(in.begin(), in.begin() + 30000), 70000, 0, &rc);
  ASSERT_EQ(0, rc);
  OurStream copy(cookie);
  EXPECT_EQ(-2, puxz::deflateCopy(&copy.z, nullptr));
  ASSERT_EQ(0, puxz::deflateCopy(&copy.z, &source.z));
  EXPECT_EQ(2 * 243472u, ZipPoolBytesInUse(cookie));
  Bytes a = head, b = head;
  Bytes restA = Finish(source, in.data() + 30000, 30000), restB = Finish(copy, in.data() + 30000, 30000);
  a.insert(a.end(), restA.begin(), restA.end());
  b.insert(b.end(), restB.begin(), restB.end());
  EXPECT_EQ(whole, a);
  EXPECT_EQ(whole, b);
  EXPECT_EQ(0, puxz::deflateEnd(&source.z));
  EXPECT_EQ(0, puxz::deflateEnd(&copy.z));
}

/* A copy refused part way gives back only what it made: the source's arrays stay its
   own, and it finishes its stream unharmed. */
TEST_F(DeflateStreamTest, ARefusedCopyLeavesTheSourceWhole) {
  Bytes in = sample_data::Text(30000, 15);
  Params p{6, 15, 7, 0};
  Bytes whole = OurDeflate(p, in, Pattern(), cookie);
  bool copied = false;
  for (uint32_t k = 1; !copied; k += (k < 40 ? 1 : 37)) {
    OurStream source(cookie);
    ASSERT_EQ(0, source.Init(p));
    int rc;
    Bytes out = Call(source, Bytes(in.begin(), in.begin() + 10000), 70000, 0, &rc);
    uint32_t before = ZipPoolBytesInUse(cookie);
    OurStream copy(cookie);
    refhost::SetFailureScope(true, nullptr, 1);
    refhost::FailNthAllocation(k);
    rc = puxz::deflateCopy(&copy.z, &source.z);
    refhost::ResetHooks();
    if (rc == 0) {
      copied = true;
      EXPECT_EQ(-3, puxz::deflateEnd(&copy.z));
    } else {
      ASSERT_EQ(-4, rc);
      EXPECT_EQ(nullptr, copy.z.state);
    }
    EXPECT_EQ(before, ZipPoolBytesInUse(cookie)) << k;
    Bytes rest = Finish(source, in.data() + 10000, 20000);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(whole, out) << k;
    EXPECT_EQ(0, puxz::deflateEnd(&source.z));
  }
}

/* The level changes only once everything taken so far has been emitted under the old
   strategy function. A flush cut short by the output room would leave bytes counted into
   a stored block, or a held literal, that the other function never emits: the change is
   refused then, and the old parameters stay until a flush completes. */
TEST_F(DeflateStreamTest, ParametersChangeOnlyAfterACompleteFlush) {
  Bytes in = sample_data::Text(120000, 16);
  for (int from : {0, 6, 1}) {
    for (int to : {1, 0, 9}) {
      if (from == to) continue;
      bool switches = puxz::DeflateConfigTable[from].function != puxz::DeflateConfigTable[to].function;
      OurStream s(cookie);
      ASSERT_EQ(0, s.Init(Params{from, 15, 7, 0}));
      int rc;
      Bytes out = Call(s, Bytes(in.begin(), in.begin() + 1000), 20000, 0, &rc);
      ASSERT_EQ(0, rc);
      auto* state = static_cast<puxz::DeflateState*>(s.z.state);
      s.z.next_in = in.data() + 1000;
      s.z.avail_in = (uint32_t)in.size() - 1000;
      // The flush fills the room long before the input is taken.
      Bytes room(2);
      for (int i = 0; i < 50 && state->level != to; i++) {
        s.z.next_out = room.data();
        s.z.avail_out = (uint32_t)room.size();
        rc = puxz::deflateParams(&s.z, to, 0);
        out.insert(out.end(), room.begin(), room.begin() + (room.size() - s.z.avail_out));
        if (i == 0 && switches) {
          EXPECT_EQ(-5, rc) << from << " -> " << to;
          EXPECT_EQ(from, state->level);
        }
        room.resize(65536);
      }
      EXPECT_EQ(to, state->level);
      Bytes rest = Finish(s, s.z.next_in, s.z.avail_in);
      out.insert(out.end(), rest.begin(), rest.end());
      EXPECT_TRUE(RoundTrips(out, 15, in)) << from << " -> " << to;
      EXPECT_EQ(0, puxz::deflateEnd(&s.z));
    }
  }
  OurStream s(cookie);
  ASSERT_EQ(0, s.Init(Params{6, 15, 7, 0}));
  EXPECT_EQ(-2, puxz::deflateParams(&s.z, 10, 0));
  EXPECT_EQ(-2, puxz::deflateParams(&s.z, 5, 3));
  EXPECT_EQ(-2, puxz::deflateParams(nullptr, 5, 0));
  EXPECT_EQ(0, puxz::deflateParams(&s.z, 2, 1)) << "nothing taken yet: no flush";
  EXPECT_EQ(2, static_cast<puxz::DeflateState*>(s.z.state)->level);
  EXPECT_EQ(1, static_cast<puxz::DeflateState*>(s.z.state)->strategy);
  EXPECT_EQ(0, puxz::deflateEnd(&s.z));
}

}  // namespace
}  // namespace compress_test
