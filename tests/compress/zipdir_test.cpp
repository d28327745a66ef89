/* The zip directory hash and the inflating streams through their exported entries, on
   archives in memory: the class library's archive against an independent reading of
   its directory, archives that lie in every field the build reads, failures at every
   allocation, many threads looking up, and streams of every edge size. */
#include <limits.h>
#include <string.h>
#include <zlib.h>

#include <chrono>
#include <map>
#include <atomic>
#include <string>
#include <thread>

#include "deflate_support.h"
#include "inflate_support.h"
#include "refhost.h"
#include "unit/runtime_support.h"
#include "vmjni_entries.h"
#include "vmutils.h"
#include "vmzipentry.h"
#include "zip_writer.h"

namespace compress_test {
namespace {

uint32_t Le16(const uint8_t* p) { return p[0] | (uint32_t)p[1] << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

struct Listed {
  uint32_t offset, size, csize, method;
};

/* An independent reading of a well-formed archive's directory: the first entry of each
   name, with its data offset from the local header. */
std::map<std::string, Listed> ListArchive(const Bytes& a) {
  std::map<std::string, Listed> out;
  size_t e = a.size() - 22;
  while (Le32(&a[e]) != 0x06054B50u) e--;
  uint32_t count = Le16(&a[e + 10]), at = Le32(&a[e + 16]);
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* c = &a[at];
    uint32_t n = Le16(c + 28), x = Le16(c + 30), k = Le16(c + 32), local = Le32(c + 42);
    std::string name(reinterpret_cast<const char*>(c + 46), n);
    const uint8_t* l = &a[local];
    Listed entry = {local + 30 + Le16(l + 26) + Le16(l + 28), Le32(c + 24), Le32(c + 20), Le16(c + 10)};
    out.emplace(name, entry);
    at += 46 + n + x + k;
  }
  return out;
}

class ZipDirTest : public runtime_test::RuntimeTest {
 protected:
  void* Build(const Bytes& archive, HHeap* heap = nullptr) {
    void* s = refhost::OpenMemoryStream(archive.data(), (uint32_t)archive.size());
    void* table = JNI_CreateZipHash(heap, host, s, refhost::ZipSeek, (uint32_t)archive.size());
    host->StreamClose(s);
    return table;
  }
  bool Find(void* table, const char* name, uint32_t* offset = nullptr, uint32_t* size = nullptr,
            uint32_t* csize = nullptr) {
    uint32_t o = 0xAAAA, u = 0xBBBB, c = 0xCCCC;
    bool found = JNI_ZipHashLookup(table, name, &o, &u, &c) != 0;
    if (!found) {
      EXPECT_TRUE(o == 0xAAAA && u == 0xBBBB && c == 0xCCCC) << "a miss wrote its results";
    }
    if (offset != nullptr) *offset = o;
    if (size != nullptr) *size = u;
    if (csize != nullptr) *csize = c;
    return found;
  }
  /* Opens an inflating stream over the archive's bytes from offset on. */
  void* Open(const Bytes& archive, uint32_t offset, uint32_t size, uint32_t csize) {
    void* s = refhost::OpenMemoryStream(archive.data(), (uint32_t)archive.size());
    refhost::ZipSeek(s, offset);
    void* z = JNI_OpenZStrm(s, size, csize);
    host->StreamClose(s);
    return z;
  }
  static ZipBytes Text(size_t n, uint32_t seed) { return sample_data::Text(n, seed); }
};

/* The library archive stores its classes; the same classes deflated by zlib make the
   inflating corpus. Both archives: every entry found where the directory says, and every
   deflated one inflated to zlib's bytes. */
TEST_F(ZipDirTest, EveryEntryOfTheClassLibraryIsFoundAndInflates) {
  Bytes stored;
  ASSERT_TRUE(sample_data::ReadFile(std::string(PUX_BUILD_DIR) + "/classlib.zip", &stored));
  std::map<std::string, Listed> storedList = ListArchive(stored);
  ASSERT_GT(storedList.size(), 100u);
  ZipArchive packed;
  for (const auto& kv : storedList) {
    ASSERT_EQ(0u, kv.second.method) << kv.first << ": the library archive stores its classes";
    ASSERT_EQ(kv.second.size, kv.second.csize) << kv.first;
    Bytes data(stored.begin() + kv.second.offset, stored.begin() + kv.second.offset + kv.second.size);
    packed.members.emplace_back(kv.first, data, true);
  }
  Bytes deflatedArchive = packed.Write();
  for (const Bytes* archive : {&stored, &deflatedArchive}) {
    std::map<std::string, Listed> listed = ListArchive(*archive);
    ASSERT_EQ(storedList.size(), listed.size());
    uint32_t processBlocks = refhost::BlocksInUse(nullptr);
    void* table = Build(*archive);
    ASSERT_NE(nullptr, table);
    int deflated = 0;
    for (const auto& kv : listed) {
      uint32_t o, u, c;
      ASSERT_TRUE(Find(table, kv.first.c_str(), &o, &u, &c)) << kv.first;
      EXPECT_EQ(kv.second.offset, o) << kv.first;
      EXPECT_EQ(kv.second.size, u) << kv.first;
      EXPECT_EQ(kv.second.csize, c) << kv.first;
      if (kv.second.method != 8 || u == 0) continue;
      deflated++;
      void* z = Open(*archive, o, u, c);
      ASSERT_NE(nullptr, z) << kv.first;
      Bytes ours(u), theirs(u);
      EXPECT_EQ((jint)u, JNI_ReadZStrm(z, ours.data(), (jint)u + 10));
      EXPECT_EQ(0, JNI_ReadZStrm(z, ours.data(), 1));
      z_stream zs = {};
      inflateInit2(&zs, -15);
      zs.next_in = const_cast<uint8_t*>(&(*archive)[o]);
      zs.avail_in = c;
      zs.next_out = theirs.data();
      zs.avail_out = u;
      EXPECT_EQ(Z_STREAM_END, inflate(&zs, Z_FINISH));
      inflateEnd(&zs);
      EXPECT_TRUE(ours == theirs) << kv.first;
      JNI_CloseZStrm(z);
    }
    if (archive == &deflatedArchive) {
      EXPECT_GT(deflated, 100);
    }
    EXPECT_FALSE(Find(table, "java/lang/object.class"));
    EXPECT_FALSE(Find(table, "java\\lang\\Object.class"));
    EXPECT_FALSE(Find(table, ""));
    EXPECT_FALSE(Find(nullptr, "java/lang/Object.class"));
    EXPECT_FALSE(Find(table, nullptr));
    JNI_DestroyZipHash(nullptr, table);
    EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));
  }
}

TEST_F(ZipDirTest, TheEdgesOfTheEndRecord) {
  ZipArchive empty;
  Bytes bytes = empty.Write();
  ASSERT_EQ(22u, bytes.size());
  void* t = Build(bytes);
  ASSERT_NE(nullptr, t);
  EXPECT_FALSE(Find(t, "a"));
  JNI_DestroyZipHash(nullptr, t);
  // Shorter than an end record: refused at once.
  for (size_t n : {0u, 1u, 21u}) {
    Bytes cut(bytes.begin(), bytes.begin() + n);
    EXPECT_EQ(nullptr, Build(cut)) << n;
  }
  // Comments that put the signature on the edge of a 64-byte piece (42), across it
  // (40, 41, 43), and at the reach of the search (65,513 found, 65,514 not).
  for (size_t c : {40u, 41u, 42u, 43u, 106u, 65513u, 65514u, 70000u}) {
    ZipArchive a;
    a.members.push_back({"x/Y.class", Text(1000, 1)});
    a.comment = std::string(c, 'c');
    void* table = Build(a.Write());
    if (c <= 65513) {
      ASSERT_NE(nullptr, table) << c;
      EXPECT_TRUE(Find(table, "x/Y.class")) << c;
      JNI_DestroyZipHash(nullptr, table);
    } else {
      EXPECT_EQ(nullptr, table) << c;
    }
  }
  // A comment holding an end-record signature that does not reach the end.
  ZipArchive fake;
  fake.members.push_back({"a", Text(10, 2), false});
  fake.comment = std::string("PK\x05\x06", 4) + std::string(30, 'q');
  void* ft = Build(fake.Write());
  ASSERT_NE(nullptr, ft);
  EXPECT_TRUE(Find(ft, "a"));
  JNI_DestroyZipHash(nullptr, ft);
}

TEST_F(ZipDirTest, NamesAreExactAndTheFirstOfTwinsWins) {
  ZipArchive a;
  a.members.push_back({"pkg/Name.class", Text(100, 3)});
  a.members.push_back({"pkg/name.class", Text(200, 4)});
  a.members.push_back({"pkg\\Name.class", Text(300, 5)});
  a.members.push_back({"pkg/\xC3\xA9t\xE9.class", Text(400, 6)});
  a.members.push_back({"pkg/Name.class", Text(500, 7)});
  ZipMember longer{"pkg/Extra.class", Text(600, 8)};
  longer.localExtra = ZipBytes(40, 0xEE);
  longer.centralExtra = ZipBytes(4, 0x11);
  longer.comment = "note";
  a.members.push_back(longer);
  Bytes bytes = a.Write();
  std::map<std::string, Listed> listed = ListArchive(bytes);
  void* t = Build(bytes);
  ASSERT_NE(nullptr, t);
  uint32_t o, u, c;
  ASSERT_TRUE(Find(t, "pkg/Name.class", &o, &u, &c));
  EXPECT_EQ(100u, u);  // the first of the two
  ASSERT_TRUE(Find(t, "pkg/name.class", &o, &u, &c));
  EXPECT_EQ(200u, u);
  ASSERT_TRUE(Find(t, "pkg\\Name.class", &o, &u, &c));
  EXPECT_EQ(300u, u);
  ASSERT_TRUE(Find(t, "pkg/\xC3\xA9t\xE9.class", &o, &u, &c));
  EXPECT_EQ(400u, u);
  ASSERT_TRUE(Find(t, "pkg/Extra.class", &o, &u, &c));
  EXPECT_EQ(listed["pkg/Extra.class"].offset, o);  // from the local header's lengths
  void* z = Open(bytes, o, u, c);
  ASSERT_NE(nullptr, z);
  Bytes back(u);
  EXPECT_EQ((jint)u, JNI_ReadZStrm(z, back.data(), (jint)u));
  EXPECT_TRUE(back == Text(600, 8));
  JNI_CloseZStrm(z);
  JNI_DestroyZipHash(nullptr, t);
}

/* Archives that lie: each is refused whole, with nothing left allocated. */
TEST_F(ZipDirTest, ArchivesThatLieAreRefusedWithNothingLeft) {
  auto base = [] {
    ZipArchive a;
    a.members.push_back({"a/One.class", Text(3000, 9)});
    a.members.push_back({"a/Two.class", Text(100, 10), false});
    return a;
  };
  std::vector<std::pair<const char*, ZipArchive>> lies;
  {
    ZipArchive a = base();
    a.entriesOnDisk = 1;
    lies.push_back({"split over disks", a});
  }
  {
    ZipArchive a = base();
    a.members[1].name = "";
    lies.push_back({"empty name", a});
  }
  {
    ZipArchive a = base();
    a.members[0].localSignature = 0x04034B51u;
    lies.push_back({"bad local signature", a});
  }
  {
    ZipArchive a = base();
    a.members[1].name = std::string("a/One.class\0junk", 16);
    lies.push_back({"NUL inside a name", a});
  }
  {
    ZipArchive a = base();
    a.totalEntries = 1;
    a.entriesOnDisk = 1;
    lies.push_back({"more headers than declared", a});
  }
  {
    ZipArchive a = base();
    a.totalEntries = 3;
    a.entriesOnDisk = 3;
    lies.push_back({"fewer headers than declared", a});
  }
  {
    ZipArchive a = base();
    a.cdOffset = 0xFFFFFF00u;
    lies.push_back({"directory offset near 4 GB", a});
  }
  {
    ZipArchive a = base();
    a.members[0].localOffset = 0xFFFFFFF0u;
    lies.push_back({"local offset near 4 GB", a});
  }
  {
    ZipArchive a = base();
    a.members[0].centralCompressedSize = 0xFFFFFF00u;
    lies.push_back({"compressed size past the directory", a});
  }
  {
    ZipArchive a = base();
    a.prefix = ZipBytes(7, 0x55);
    lies.push_back({"bytes in front", a});
  }
  {
    ZipArchive a = base();
    a.cdSize = 46;  // the total would not fit
    lies.push_back({"directory too small", a});
  }
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  HHeap* heap = host->HeapCreate(nullptr, 1);
  for (auto& lie : lies) {
    EXPECT_EQ(nullptr, Build(lie.second.Write(), heap)) << lie.first;
    EXPECT_EQ(0u, refhost::BlocksInUse(heap)) << lie.first;
  }
  // An archive cut short, or said to be longer than its stream: short reads refuse it.
  Bytes good = base().Write();
  for (size_t cut : {good.size() / 2, good.size() - 23}) {
    Bytes shorter(good.begin(), good.begin() + cut);
    EXPECT_EQ(nullptr, Build(shorter, heap)) << cut;
  }
  void* s = refhost::OpenMemoryStream(good.data(), (uint32_t)good.size());
  EXPECT_EQ(nullptr, JNI_CreateZipHash(heap, host, s, refhost::ZipSeek, (uint32_t)good.size() + 100));
  EXPECT_EQ(nullptr, JNI_CreateZipHash(heap, host, s, nullptr, (uint32_t)good.size()));
  EXPECT_EQ(nullptr, JNI_CreateZipHash(heap, nullptr, s, refhost::ZipSeek, (uint32_t)good.size()));
  host->StreamClose(s);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  void* t = Build(good, heap);
  ASSERT_NE(nullptr, t);
  EXPECT_GT(refhost::BlocksInUse(heap), 4u);
  JNI_DestroyZipHash(heap, t);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  host->HeapDestroy(heap);
  EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));
}

TEST_F(ZipDirTest, ARefusalAtAnyAllocationOfABuildLeavesNothing) {
  ZipArchive a;
  for (int i = 0; i < 12; i++) a.members.push_back({"p/C" + std::to_string(i) + ".class", Text(200 + i, 11 + i)});
  Bytes bytes = a.Write();
  HHeap* heap = host->HeapCreate(nullptr, 1);
  uint64_t before = refhost::AllocationCount();
  void* t = Build(bytes, heap);
  ASSERT_NE(nullptr, t);
  JNI_DestroyZipHash(heap, t);
  uint32_t requests = (uint32_t)(refhost::AllocationCount() - before);
  ASSERT_GT(requests, 12u);
  for (uint32_t k = 1; k <= requests; k++) {
    refhost::FailNthAllocation(k);
    void* table = Build(bytes, heap);
    refhost::FailNthAllocation(0);
    if (table != nullptr) JNI_DestroyZipHash(heap, table);
    EXPECT_EQ(0u, refhost::BlocksInUse(heap)) << k;
  }
  host->HeapDestroy(heap);
}

/* Names that share their last bytes (the case a short hash gets wrong) spread over the
   table: twenty thousand of them build and are all found. Eight threads look up in one
   table at once. */
TEST_F(ZipDirTest, ManySimilarNamesAndManyThreads) {
  ZipArchive a;
  for (int i = 0; i < 20000; i++) {
    char name[40];
    snprintf(name, sizeof name, "p%05d/AA.class", i);
    a.members.push_back({name, ZipBytes(1, (uint8_t)i), false});
  }
  Bytes bytes = a.Write();
  auto start = std::chrono::steady_clock::now();
  void* t = Build(bytes);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_NE(nullptr, t);
  // Not a timing test: a quadratic build here takes minutes, not seconds.
  EXPECT_LT(seconds, 60.0);
  std::vector<int> found(8, 0);
  RunThreads(8, [&](int th) {
    for (int round = 0; round < 5; round++) {
      for (int i = th; i < 20000; i += 8) {
        char name[40];
        snprintf(name, sizeof name, "p%05d/AA.class", i);
        uint32_t o, u, c;
        if (JNI_ZipHashLookup(t, name, &o, &u, &c) && u == 1 && bytes[o] == (uint8_t)i) found[th]++;
      }
    }
  });
  for (int th = 0; th < 8; th++) EXPECT_EQ(5 * (20000 / 8), found[th]) << th;
  JNI_DestroyZipHash(nullptr, t);
  // Every byte of a name counts.
  EXPECT_NE(ZipNameHash("p00001/AA.class"), ZipNameHash("p00002/AA.class"));
  EXPECT_NE(ZipNameHash("a"), ZipNameHash(""));
}

/* The table never changes once built: a look-up must not queue behind whoever holds the
   table's mutex (with a lock per look-up, every thread loading classes from one archive
   waited for every other). Here the mutex is held throughout, and look-ups on another
   thread must still all finish. */
TEST_F(ZipDirTest, LookUpsDoNotWaitForTheTablesMutex) {
  ZipArchive a;
  for (int i = 0; i < 300; i++) a.members.push_back({"c" + std::to_string(i) + ".class", ZipBytes(1, (uint8_t)i), false});
  Bytes bytes = a.Write();
  void* t = Build(bytes);
  ASSERT_NE(nullptr, t);
  void* mutex = static_cast<VMZipEntryHashTable*>(t)->GetMutex();
  ASSERT_NE(nullptr, mutex);
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  ASSERT_TRUE(host->MutexLock(mutex));
  std::atomic<int> found(0);
  std::atomic<bool> done(false);
  std::thread reader([&] {
    for (int round = 0; round < 20; round++) {
      for (int i = 0; i < 300; i++) {
        uint32_t o, u, c;
        std::string name = "c" + std::to_string(i) + ".class";
        if (JNI_ZipHashLookup(t, name.c_str(), &o, &u, &c) && u == 1 && bytes[o] == (uint8_t)i) found++;
      }
    }
    done = true;
  });
  auto start = std::chrono::steady_clock::now();
  while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  bool finishedWhileHeld = done;
  host->MutexUnlock(mutex);
  reader.join();
  EXPECT_TRUE(finishedWhileHeld) << "a look-up waited for the table's mutex";
  EXPECT_EQ(20 * 300, found.load());
  JNI_DestroyZipHash(nullptr, t);
}

TEST_F(ZipDirTest, StreamSizesSeeksAndReads) {
  Bytes big = sample_data::Text(1u << 20, 12);
  ZipArchive a;
  a.members.push_back({"big", big});
  a.members.push_back({"one", ZipBytes(1, 'q')});
  Bytes bytes = a.Write();
  void* t = Build(bytes);
  ASSERT_NE(nullptr, t);
  uint32_t o, u, c;
  ASSERT_TRUE(Find(t, "big", &o, &u, &c));
  EXPECT_EQ(nullptr, Open(bytes, o, 0, c));
  EXPECT_EQ(nullptr, Open(bytes, o, u + 1, c));  // 1,048,577: too large, and longer than the data
  EXPECT_EQ(nullptr, Open(bytes, o, u - 1, c));  // the data goes on past the size
  EXPECT_EQ(nullptr, Open(bytes, o, u, c - 1));  // the stream is cut short
  EXPECT_EQ(nullptr, Open(bytes, o, u, c + 1));  // more compressed bytes than the stream has
  void* z = Open(bytes, o, u, c);
  ASSERT_NE(nullptr, z);
  Bytes back(700);
  EXPECT_EQ(600, JNI_SeekZStrmAbsolute(z, 600));
  EXPECT_EQ(700, JNI_ReadZStrm(z, back.data(), 700));  // across three chunks
  EXPECT_TRUE(std::equal(back.begin(), back.end(), big.begin() + 600));
  EXPECT_EQ((jint)u, JNI_SeekZStrm(z, INT_MAX));
  EXPECT_EQ(0, JNI_ReadZStrm(z, back.data(), 10));
  EXPECT_EQ(0, JNI_SeekZStrm(z, INT_MIN));
  EXPECT_EQ(0, JNI_SeekZStrmAbsolute(z, -5));
  EXPECT_EQ((jint)u, JNI_SeekZStrmAbsolute(z, INT_MAX));
  EXPECT_EQ((jint)u - 3, JNI_SeekZStrm(z, -3));
  EXPECT_EQ(3, JNI_ReadZStrm(z, back.data(), 100));
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 3, big.end() - 3));
  EXPECT_EQ(0, JNI_ReadZStrm(z, nullptr, 10));
  EXPECT_EQ(0, JNI_ReadZStrm(z, back.data(), 0));
  EXPECT_EQ(0, JNI_ReadZStrm(z, back.data(), -1));
  uint32_t foreign[4] = {0x11223344u, 5, 0, 0};
  EXPECT_EQ(-1, JNI_SeekZStrm(foreign, 1));
  EXPECT_EQ(0, JNI_ReadZStrm(foreign, back.data(), 1));
  JNI_CloseZStrm(foreign);
  JNI_CloseZStrm(z);
  JNI_CloseZStrm(nullptr);
  ASSERT_TRUE(Find(t, "one", &o, &u, &c));
  z = Open(bytes, o, u, c);
  ASSERT_NE(nullptr, z);
  EXPECT_EQ(1, JNI_ReadZStrm(z, back.data(), 5));
  EXPECT_EQ('q', back[0]);
  JNI_CloseZStrm(z);
  JNI_DestroyZipHash(nullptr, t);
}

/* A fixed-code block of 255 literals from 0-143 is 257 bytes; its last byte holds only
   the end-of-block code. After the 255th byte is out, that byte is still to be read:
   the entry must be accepted. */
/* An open decodes through a buffer of its own, a few kilobytes at a time, with room past
   the entry's end: entries of sizes around those steps, and of runs and of text, must be
   taken exactly at their sizes, with their bytes, and refused one byte short or long,
   whichever call of the engine the excess falls in. */
TEST_F(ZipDirTest, EntriesAroundTheOpensStepsAreTakenOnlyAtTheirSize) {
  for (uint32_t size : {1u, 255u, 256u, 257u, 2047u, 7933u, 7934u, 7935u, 8191u, 8192u, 8193u, 16385u, 24577u, 70001u}) {
    for (int kind = 0; kind < 2; kind++) {
      Bytes data = kind == 0 ? Text(size, size) : Bytes(size, (uint8_t)size);
      ZipArchive a;
      a.members.push_back({"e", data});
      Bytes bytes = a.Write();
      void* t = Build(bytes);
      ASSERT_NE(nullptr, t);
      uint32_t o, u, c;
      ASSERT_TRUE(Find(t, "e", &o, &u, &c));
      JNI_DestroyZipHash(nullptr, t);
      void* z = Open(bytes, o, u, c);
      ASSERT_NE(nullptr, z) << size << " kind " << kind;
      Bytes back(size + 10);
      EXPECT_EQ((jint)size, JNI_ReadZStrm(z, back.data(), (jint)back.size()));
      back.resize(size);
      EXPECT_TRUE(back == data) << size << " kind " << kind;
      JNI_CloseZStrm(z);
      if (size > 1) {
        EXPECT_EQ(nullptr, Open(bytes, o, u - 1, c)) << size << " kind " << kind;
      }
      EXPECT_EQ(nullptr, Open(bytes, o, u + 1, c)) << size << " kind " << kind;
    }
  }
}

TEST_F(ZipDirTest, AnEntryWhoseLastByteHoldsOnlyTheEndOfBlockIsAccepted) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  Bytes expected;
  for (int i = 0; i < 255; i++) {
    w.FixedSymbol((uint32_t)(i % 144));
    expected.push_back((uint8_t)(i % 144));
  }
  w.FixedSymbol(256);
  Bytes packed = w.Finish();
  ASSERT_EQ(257u, packed.size());
  void* z = Open(packed, 0, 255, 257);
  ASSERT_NE(nullptr, z);
  Bytes back(255);
  EXPECT_EQ(255, JNI_ReadZStrm(z, back.data(), 255));
  EXPECT_TRUE(back == expected);
  JNI_CloseZStrm(z);
}

/* A host stream that answers -1, or more than it was asked for, ends the open. */
TEST_F(ZipDirTest, AHostStreamThatMisbehavesEndsTheOpen) {
  // Long enough to take several reads of any sensible size.
  Bytes packed = ZlibCompress(sample_data::Text(100000, 13), 6, -15, 8, 0);
  static int mode;
  static jint(HOSTCALL * realRead)(void*, void*, jint);
  JNIHostFunctions scripted = *host;
  realRead = host->StreamRead;
  scripted.StreamRead = [](void* s, void* buf, jint n) HOSTCALL -> jint {
    static int calls = 0;
    if (++calls % 3 == 0) return mode == 0 ? -1 : n + 100;
    return realRead(s, buf, n);
  };
  VMUtils::SetHostFunctions(&scripted);
  for (mode = 0; mode < 2; mode++) {
    void* s = refhost::OpenMemoryStream(packed.data(), (uint32_t)packed.size());
    EXPECT_EQ(nullptr, JNI_OpenZStrm(s, 100000, (uint32_t)packed.size())) << mode;
    host->StreamClose(s);
  }
  VMUtils::SetHostFunctions(host);
}

TEST_F(ZipDirTest, ARefusalAtAnyAllocationOfAnOpenLeavesNothing) {
  Bytes in = sample_data::Text(40000, 14);
  Bytes packed = ZlibCompress(in, 6, -15, 8, 0);
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  refhost::SetFailureScope(true, nullptr, -1);
  uint64_t before = refhost::AllocationCount();
  void* z = Open(packed, 0, (uint32_t)in.size(), (uint32_t)packed.size());
  ASSERT_NE(nullptr, z);
  JNI_CloseZStrm(z);
  uint32_t requests = (uint32_t)(refhost::AllocationCount() - before);
  // The record with its table of pages, three pages and their chunks, and the engine's
  // slabs: a refusal at any of them, the last page's chunks included.
  ASSERT_GE(requests, 5u);
  for (uint32_t k = 1; k <= requests; k++) {
    refhost::FailNthAllocation(k);
    void* s = refhost::OpenMemoryStream(packed.data(), (uint32_t)packed.size());
    void* zk = s == nullptr ? nullptr : JNI_OpenZStrm(s, (uint32_t)in.size(), (uint32_t)packed.size());
    refhost::FailNthAllocation(0);
    if (s != nullptr) host->StreamClose(s);
    if (zk != nullptr) JNI_CloseZStrm(zk);
    EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr)) << k;
  }
}

}  // namespace
}  // namespace compress_test
