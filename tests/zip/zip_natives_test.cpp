/* The java.util.zip natives and classes run on the machine: the checksums against the
   standard vectors and the system zlib, Deflater and Inflater round trips raw and
   wrapped at several buffer sizes, the GZIP and zlib streams, Java's output inflated by
   the system zlib and zlib's output read by Java, resets, the compression budget, bad
   ranges and damaged data. */
#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "interp_support.h"
#include "javautilzip.h"
#include "refhost.h"
#include "reusing_memory.h"
#include "vmarray.h"
#include "zippool.h"

namespace {

using interp_test::ClassDir;
using interp_test::Outcome;
using interp_test::World;

typedef std::vector<uint8_t> Bytes;

const char* const kCases = "zip/ZipCases";

/* The data of ZipCases.data(n, seed), made the same way. */
Bytes Data(int n, int seed) {
  Bytes b(n);
  const char* text = "the zip machine ";
  int32_t x = seed * 7 + 1;
  for (int i = 0; i < n; i++) {
    x = (int32_t)((uint32_t)x * 1103515245u + 12345u);
    uint32_t w = ((uint32_t)x >> 16) % 12;
    b[i] = (uint8_t)(w < 8 ? text[i % 16] : 'a' + (((uint32_t)x >> 8) & 15));
  }
  return b;
}

Bytes Elements(VMObject* o) {
  Bytes out;
  VMbyteArray* a = static_cast<VMbyteArray*>(o);
  if (a == nullptr) return out;
  for (uint32_t i = 0; i < a->GetSize(); i++) out.push_back((uint8_t)a->Get(i));
  return out;
}

VMbyteArray* NewArray(World& w, const Bytes& b) {
  VMbyteArray* a = static_cast<VMbyteArray*>(VMbyteArray::CreateInstance(
      w.vm->GetHeap(), (uint32_t)b.size(), jallocFailFast, VMTag_VMbyteArray));
  if (a == nullptr) return nullptr;
  for (uint32_t i = 0; i < b.size(); i++) a->Set(i, (jbyte)b[i]);
  return a;
}

bool ZlibInflate(const Bytes& in, int windowBits, Bytes* out) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, windowBits) != Z_OK) return false;
  out->resize(4u << 20);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = (uInt)in.size();
  z.next_out = out->data();
  z.avail_out = (uInt)out->size();
  int rc = inflate(&z, Z_FINISH);
  out->resize(z.total_out);
  bool whole = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return whole;
}

class ZipNativesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(world.Create(ClassDir("zip"))) << "the test world could not be made";
    // Every table of the start-up list, as a machine's start-up registers them (the test
    // world makes its machine without that step); the registrations live in the process
    // state, which the world's machine brings.
    VMRegisterClassLibraryNatives();
  }
  void TearDown() override {
    // Every stream a case made was ended: the machine's pool holds nothing.
    ZipPoolCookie* cookie = ZipPoolGetCookie();
    if (cookie != nullptr) {
      EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
      ZipPoolReleaseCookie(cookie);
    }
    world.Destroy();
  }
  int Int(const char* name, const char* sig, std::initializer_list<VMword> args = {}) {
    Outcome o = world.Call(kCases, name, sig, args);
    EXPECT_EQ("", o.thrown) << name << ": " << o.message;
    return o.Int();
  }
  Bytes Array(const char* name, const char* sig, std::initializer_list<VMword> args = {}) {
    Outcome o = world.Call(kCases, name, sig, args);
    EXPECT_EQ("", o.thrown) << name << ": " << o.message;
    return Elements(o.Object());
  }
  World world;
};

TEST_F(ZipNativesTest, ChecksumsAreTheStandardOnes) {
  EXPECT_EQ((int)0xCBF43926u, Int("crc123456789", "()I"));
  EXPECT_EQ((int)0x11E60398u, Int("adlerWikipedia", "()I"));
  for (int n : {0, 1, 776, 777, 1000, 100000}) {
    Bytes b = Data(n, n);
    EXPECT_EQ((int)crc32(0, b.data(), (uInt)n), Int("crcOf", "(I)I", {(VMword)n})) << n;
    EXPECT_EQ((int)adler32(1, b.data(), (uInt)n), Int("adlerOf", "(I)I", {(VMword)n})) << n;
  }
  EXPECT_EQ(0, Int("checksumEdges", "()I"));
  EXPECT_EQ("java.lang.NullPointerException", world.Call(kCases, "checksumOfNull", "()V").thrown);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", world.Call(kCases, "checksumNegativeOffset", "()V").thrown);
}

/* A checksum of a range gathers the array's pieces (776 bytes, then 256 each) into runs
   of up to 4 KB: ranges that start and end on either side of the piece edges and of the
   gathering's size, and one that runs past the array's end (it stops there). */
TEST_F(ZipNativesTest, ChecksumsOfRangesAcrossTheArraysPieces) {
  const int n = 20000;
  const Bytes b = Data(n, 3);
  for (int off : {0, 1, 775, 776, 777, 1031, 1032, 5000}) {
    for (int len : {0, 1, 255, 257, 2000, 3321, 4095, 4096, 4097, 4353, 9000, n - off, n}) {
      const int inside = len < n - off ? len : n - off;
      for (int which = 0; which < 2; which++) {
        const uint32_t want = which == 0 ? (uint32_t)crc32(0, b.data() + off, (uInt)inside)
                                         : (uint32_t)adler32(1, b.data() + off, (uInt)inside);
        EXPECT_EQ((int)want, Int("checksumOfRange", "(IIII)I", {(VMword)which, (VMword)n, (VMword)off, (VMword)len}))
            << (which == 0 ? "crc" : "adler") << " off " << off << " len " << len;
      }
    }
  }
}

TEST_F(ZipNativesTest, DeflaterAndInflaterRoundTripsAtEverySize) {
  for (int size : {0, 1, 255, 256, 257, 1000, 65536, 300000}) {
    for (int nowrap = 0; nowrap <= 1; nowrap++) {
      for (int step : {1, 64, 8192}) {
        if (step == 1 && size > 1000) continue;  // slow and adds nothing
        EXPECT_EQ(0, Int("roundTrip", "(IZII)I", {(VMword)size, (VMword)nowrap, (VMword)step, (VMword)step}))
            << size << " nowrap " << nowrap << " step " << step;
      }
    }
  }
}

/* Java's Deflater at its fixed level 1 and memLevel 7, every input at once with finish:
   the system zlib reads it back to the whole input (no byte after the first 256 lost),
   and the bytes are zlib's own for the same parameters. */
TEST_F(ZipNativesTest, JavasStreamsAreReadByTheSystemZlib) {
  for (int size : {1, 1000, 100000}) {
    for (int nowrap = 0; nowrap <= 1; nowrap++) {
      Bytes packed = Array("deflated", "(IZ)[B", {(VMword)size, (VMword)nowrap});
      Bytes back;
      ASSERT_TRUE(ZlibInflate(packed, nowrap ? -15 : 15, &back)) << size << " nowrap " << nowrap;
      EXPECT_TRUE(back == Data(size, size + 1)) << size;
      z_stream z;
      memset(&z, 0, sizeof z);
      deflateInit2(&z, 1, Z_DEFLATED, nowrap ? -15 : 15, 7, 0);
      Bytes theirs(deflateBound(&z, size) + 64);
      Bytes in = Data(size, size + 1);
      z.next_in = in.data();
      z.avail_in = (uInt)in.size();
      z.next_out = theirs.data();
      z.avail_out = (uInt)theirs.size();
      deflate(&z, Z_FINISH);
      theirs.resize(z.total_out);
      deflateEnd(&z);
      EXPECT_TRUE(packed == theirs) << size << " nowrap " << nowrap;
    }
  }
}

TEST_F(ZipNativesTest, GzipStreamsBothWays) {
  for (int size : {0, 100, 70000}) {
    for (int writeStep : {1, 1000}) {
      if (writeStep == 1 && size > 1000) continue;
      for (int readSize : {1, 8192}) {
        EXPECT_EQ(0, Int("gzipRoundTrip", "(III)I", {(VMword)size, (VMword)writeStep, (VMword)readSize}))
            << size << " " << writeStep << " " << readSize;
      }
    }
  }
  // What Java writes, zlib reads (GZIP wrapper: window bits 31), and the other way.
  Bytes gz = Array("gzip", "(II)[B", {(VMword)50000, (VMword)333});
  Bytes back;
  ASSERT_TRUE(ZlibInflate(gz, 31, &back));
  EXPECT_TRUE(back == Data(50000, 50002));
  Bytes in = Data(40000, 40002);
  z_stream z;
  memset(&z, 0, sizeof z);
  deflateInit2(&z, 9, Z_DEFLATED, 31, 8, 0);
  Bytes theirs(deflateBound(&z, (uLong)in.size()) + 64);
  z.next_in = in.data();
  z.avail_in = (uInt)in.size();
  z.next_out = theirs.data();
  z.avail_out = (uInt)theirs.size();
  ASSERT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  theirs.resize(z.total_out);
  deflateEnd(&z);
  for (int sourceStep : {1, 97, 100000}) {
    Outcome o = world.Call(kCases, "gunzip", "([BIII)I",
                           {(VMword)NewArray(world, theirs), (VMword)40000, (VMword)8192, (VMword)sourceStep});
    EXPECT_EQ("", o.thrown) << o.message;
    EXPECT_EQ(0, o.Int()) << sourceStep;
  }
}

/* Output ranges that start and end on either side of the places a Java byte array is cut
   into pieces (776 bytes, then every 256), at sizes below, at and above a longest match
   and the natives' staging, with input given whole or in small pieces: each inflate
   writes its own range only, and the bytes are the stream's. */
TEST_F(ZipNativesTest, InflateIntoRangesAcrossTheArraysPieces) {
  for (int off : {0, 1, 775, 776, 777, 1031, 1033}) {
    for (int step : {1, 255, 257, 258, 259, 1000, 4095, 4097, 9000}) {
      for (int inStep : {7, 300, 1000000}) {
        if (step == 1 && (inStep != 300 || off != 777)) continue;
        EXPECT_EQ(0, Int("inflateIntoRange", "(IIII)I", {(VMword)12000, (VMword)off, (VMword)step, (VMword)inStep}))
            << "off " << off << " step " << step << " input " << inStep;
      }
    }
  }
}

/* A call that finds the engine starved of input answers 0 without asking it: only when
   the engine took all the input with room to spare. Rooms that fill as the last input is
   taken leave bytes in the engine, which the next calls must still give. */
TEST_F(ZipNativesTest, BytesHeldPastTheLastInputStillComeOut) {
  for (int room : {1, 7, 300, 4096}) {
    for (int nowrap = 0; nowrap <= 1; nowrap++) {
      EXPECT_EQ(0, Int("inflateHeldBytes", "(IIZ)I", {(VMword)5000, (VMword)room, (VMword)nowrap}))
          << "room " << room << " nowrap " << nowrap;
    }
  }
}

TEST_F(ZipNativesTest, ZlibStreamsAndCheckedStreams) {
  for (int size : {0, 1, 5000, 200000}) EXPECT_EQ(0, Int("streamsRoundTrip", "(I)I", {(VMword)size})) << size;
}

TEST_F(ZipNativesTest, ResetStartsAFreshStream) {
  EXPECT_EQ(0, Int("resetMidStream", "()I"));
  EXPECT_EQ(0, Int("resetAfterEnd", "()I"));
  EXPECT_EQ(0, Int("subclassFirst", "()I"));
}

/* One Deflater holds about 244 KB of the 280,000-byte budget, one Inflater about 49 KB:
   two Deflaters or six Inflaters live at once, the next refused with OutOfMemoryError;
   ending them gives the budget back. */
TEST_F(ZipNativesTest, TheCompressionBudget) {
  EXPECT_EQ(2, Int("budget", "(ZI)I", {(VMword)1, (VMword)5}));
  EXPECT_EQ(6, Int("budget", "(ZI)I", {(VMword)0, (VMword)10}));
  EXPECT_EQ(2, Int("budgetComesBack", "()I"));
}

/* Damage only a check can see: a stored entry's byte, a data descriptor's CRC, a GZIP
   trailer's CRC and size. */
TEST_F(ZipNativesTest, ChecksumsCatchWhatInflatingCannot) {
  for (int which = 0; which < 4; which++) {
    Outcome o = world.Call(kCases, "damagedCheck", "(I)V", {(VMword)which});
    EXPECT_EQ("java.util.zip.ZipException", o.thrown) << which << ": " << o.message;
  }
}

/* A program calling inflate itself gets the exception the method declares; an ended
   stream is refused with the JDK's message. */
TEST_F(ZipNativesTest, InflateRefusesWithTheDeclaredException) {
  EXPECT_EQ(1, Int("inflateRefusal", "(I)I", {(VMword)0}));
  EXPECT_EQ(1, Int("inflateRefusal", "(I)I", {(VMword)1}));
  EXPECT_EQ(3, Int("callsAfterEnd", "()I"));
  // A stream over an ended Inflater says so with IOException, before any byte and after.
  EXPECT_EQ(0x17, Int("readsAfterEnd", "()I"));
}

/* A copy made by Object.clone holds its original's stream word and shares the live
   stream; once the original ends, every call through the copy is refused, also when a new
   stream's record has taken the ended one's memory (the host here hands freed memory
   straight back, in every build), and the new stream's work is its own. Inflaters and
   Deflaters, twenty rounds. */
TEST_F(ZipNativesTest, AStaleCopyOfAStreamWordReachesNoNewStream) {
  // The world prepared Object before the tables were registered: clone is bound here.
  VMLoadableClass::RegisterNativeMethods(world.ns, "java/lang/Object");
  zip_test::ReusingProcessMemory reuse;
  EXPECT_EQ(0, Int("staleCopies", "(I)I", {(VMword)20}));
  EXPECT_GT(reuse.Reused(), 0u) << "no freed memory was handed out again: the case shows nothing";
}

/* A GZIP stream whose constructor fails is never handed out: its engine is ended there
   (the pool is empty at the end of the case). */
TEST_F(ZipNativesTest, AGzipStreamThatFailsItsHeaderEndsItsEngine) {
  for (int i = 0; i < 3; i++) {
    Outcome o = world.Call(kCases, "notGzip", "()V");
    EXPECT_EQ("java.util.zip.ZipException", o.thrown) << o.message;
    o = world.Call(kCases, "gzipHeaderRefused", "()V");
    EXPECT_EQ("java.io.IOException", o.thrown) << o.message;
  }
}

TEST_F(ZipNativesTest, BadRangesDamagedDataAndUnbuiltRows) {
  EXPECT_EQ(0, Int("rangesAndCounters", "()I"));
  Bytes damaged = Array("damaged", "(I)[B", {(VMword)20000});
  Outcome o = world.Call(kCases, "corrupt", "([B)V", {(VMword)NewArray(world, damaged)});
  EXPECT_EQ("java.util.zip.ZipException", o.thrown);
  Bytes cut = Array("deflated", "(IZ)[B", {(VMword)20000, (VMword)0});
  cut.resize(cut.size() / 2);
  o = world.Call(kCases, "corrupt", "([B)V", {(VMword)NewArray(world, cut)});
  EXPECT_EQ("java.io.EOFException", o.thrown);
  o = world.Call(kCases, "writeAfterEnd", "()V");
  EXPECT_EQ("java.io.IOException", o.thrown) << o.message;
  // The pool refusing a block of a new stream: OutOfMemoryError, never a silent stream-less
  // object, and nothing kept. A refusal once is retried after a collection (streams
  // nobody closed give their memory back to their finalizers); a lasting one is raised.
  refhost::SetFailureScope(true, nullptr, 1);
  refhost::FailNthAllocation(100);
  EXPECT_EQ(0, Int("makeDeflater", "()I"));
  refhost::FailNthAllocation(0);
  refhost::FailAllocationsAbove(200);  // the staging buffers, each time
  EXPECT_EQ(1, Int("makeDeflater", "()I"));
  refhost::FailAllocationsAbove(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_EQ(0, Int("makeDeflater", "()I"));
  o = world.Call(kCases, "nyi", "()V");
  EXPECT_EQ("java.lang.InternalError", o.thrown);
  EXPECT_EQ("nyi: java_util_zip_Deflater_getAdler", o.message);
}

}  // namespace

#include "refhost.h"
#include "vmjni_entries.h"

namespace {

/* ZipOutputStream's archive is read by the machine's directory hash and the system zlib,
   and back by ZipInputStream at every read and source step; a damaged entry gives
   ZipException. */
TEST_F(ZipNativesTest, ZipArchivesBothWays) {
  Bytes archive = Array("zipArchive", "(I)[B", {(VMword)70000});
  ASSERT_GT(archive.size(), 1000u);
  void* s = refhost::OpenMemoryStream(archive.data(), (uint32_t)archive.size());
  void* table = JNI_CreateZipHash(nullptr, refhost::Functions(), s, refhost::ZipSeek, (uint32_t)archive.size());
  refhost::Functions()->StreamClose(s);
  ASSERT_NE(nullptr, table);
  uint32_t o, u, c;
  ASSERT_TRUE(JNI_ZipHashLookup(table, "text/big.txt", &o, &u, &c));
  EXPECT_EQ(70000u, u);
  z_stream z;
  memset(&z, 0, sizeof z);
  inflateInit2(&z, -15);
  Bytes back(u);
  z.next_in = &archive[o];
  z.avail_in = c;
  z.next_out = back.data();
  z.avail_out = u;
  EXPECT_EQ(Z_STREAM_END, inflate(&z, Z_FINISH));
  EXPECT_EQ(c, z.total_in);
  inflateEnd(&z);
  EXPECT_TRUE(back == Data(70000, 11));
  ASSERT_TRUE(JNI_ZipHashLookup(table, "stored.bin", &o, &u, &c));
  EXPECT_EQ(300u, u);
  EXPECT_EQ(300u, c);
  EXPECT_TRUE(Bytes(archive.begin() + o, archive.begin() + o + 300) == Data(300, 12));
  EXPECT_TRUE(JNI_ZipHashLookup(table, "empty", &o, &u, &c));
  EXPECT_TRUE(JNI_ZipHashLookup(table, "dir/", &o, &u, &c));
  JNI_DestroyZipHash(nullptr, table);
  for (int step : {1, 100, 1000000}) {
    for (int readSize : {1, 4096}) {
      if (step == 1 && readSize == 1) continue;
      Outcome r = world.Call(kCases, "unzip", "([BIII)I",
                             {(VMword)NewArray(world, archive), (VMword)70000, (VMword)step, (VMword)readSize});
      EXPECT_EQ("", r.thrown) << r.message << " (step " << step << ", read " << readSize << ")";
      EXPECT_EQ(0, r.Int()) << step << " " << readSize;
    }
  }
  Bytes damaged = archive;
  for (size_t i = 100; i < 140; i++) damaged[i] ^= 0x33;
  Outcome d = world.Call(kCases, "unzipDamaged", "([B)V", {(VMword)NewArray(world, damaged)});
  EXPECT_EQ("java.util.zip.ZipException", d.thrown) << d.message;
}

}  // namespace
