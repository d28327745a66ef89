/* Class byte sources: the in-memory reader, the zip entry finder over host streams and
   through the host's class path, and the class-name scan. */
#include <gtest/gtest.h>

#include <string.h>

#include "classfile_fixture.h"
#include "classfile_support.h"
#include "refhost.h"
#include "test_host.h"
#include "vmclassloader.h"
#include "vmutils.h"

namespace {

using namespace classfile_test;
typedef VMClassLoader::classReader Reader;

class ClassReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    host = test_host::BindReferenceHost();
  }
  /* The finder over an archive in memory: size, compressed size and the first data
     bytes where it leaves the stream. */
  struct Found {
    uint32_t size = 0, csize = 0;
    Bytes next;
  };
  Found Find(const Bytes& zip, const std::string& name) {
    Found f;
    void* s = refhost::OpenMemoryStream(zip.data(), (uint32_t)zip.size());
    EXPECT_NE(nullptr, s);
    f.size = VMClassLoader::FindInZipFile(s, name.c_str(), &f.csize);
    if (f.size != 0) {
      f.next.resize(f.csize);
      f.next.resize((size_t)host->StreamRead(s, f.next.data(), (jint)f.csize));
    }
    host->StreamClose(s);
    return f;
  }
  JNIHostFunctions* host = nullptr;
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(ClassReaderTest, MemorySourceKeepsInsideItsBytes) {
  uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  VMClassLoader::MemorySource src = {data, 10, 0};
  Reader r(&src);
  EXPECT_EQ(10, r.Size(r.handle));
  EXPECT_EQ(8, r.Skip(r.handle, 8));
  // A skip onto the very end fails and keeps the position; one short of it succeeds.
  EXPECT_EQ(-1, r.Skip(r.handle, 2));
  EXPECT_EQ(8u, src.position);
  // A skip back past the start fails too.
  EXPECT_EQ(-1, r.Skip(r.handle, -9));
  EXPECT_EQ(0, r.Skip(r.handle, -8));
  // Negative and end positions are refused by seek.
  EXPECT_EQ(-1, r.Seek(r.handle, -1));
  EXPECT_EQ(-1, r.Seek(r.handle, 10));
  EXPECT_EQ(0u, src.position);
  EXPECT_EQ(7, r.Seek(r.handle, 7));
  // Reading past the end returns what remains.
  uint8_t buf[8] = {};
  EXPECT_EQ(3, r.Read(r.handle, buf, 8));
  EXPECT_EQ(9, buf[2]);
  EXPECT_EQ(0, r.Read(r.handle, buf, 8));
}

TEST_F(ClassReaderTest, ReadersAndTheSkipThatEndsAtTheEnd) {
  uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22};
  VMClassLoader::MemorySource src = {data, sizeof data, 0};
  Reader r(&src);
  VMErrorCatcher catcher;
  volatile int step = 0;
  if (VM_CATCHER_ARM(catcher)) {
    // Only the read past the end may land here.
    EXPECT_EQ(4, step);
    EXPECT_EQ(VMStatus_ClassFormatError, catcher.Caught());
    return;
  }
  EXPECT_EQ(0x1234u, VMClassLoader::Get2(r, catcher));
  EXPECT_EQ(0xBC9A7856u, VMClassLoader::Get4s(r, catcher));
  src.position = 0;
  EXPECT_EQ(0x123456789ABCDEF0ull, VMClassLoader::Get8(r, catcher));
  step = 1;
  // Two bytes remain: skipping both lands on the end, which the source refuses; the
  // reader falls back to reading them.
  VMClassLoader::Skip(r, 2, catcher);
  step = 2;
  EXPECT_EQ(10u, src.position);
  VMClassLoader::Skip(r, 0, catcher);
  step = 3;
  src.position = 9;
  step = 4;
  VMClassLoader::Get2(r, catcher);
  ADD_FAILURE() << "a short read must not return";
}

TEST_F(ClassReaderTest, ZipStoredDeflatedAndComment) {
  Bytes big;
  for (int i = 0; i < 5000; i++) big.push_back((uint8_t)(i % 7));
  Bytes zip = MakeZip({{"a/First.class", Text("first bytes"), 0, false, {}},
                       {"a/Second.class", big, 8, false, Text("xx")},
                       {"b/Third.class", Text("third"), 0, false, {}}},
                      "an archive comment");
  Found f = Find(zip, "a/First.class");
  EXPECT_EQ(11u, f.size);
  EXPECT_EQ(11u, f.csize);
  EXPECT_EQ(Text("first bytes"), f.next);
  f = Find(zip, "a/Second.class");
  EXPECT_EQ(5000u, f.size);
  EXPECT_LT(f.csize, 5000u);
  EXPECT_GT(f.csize, 0u);
  f = Find(zip, "b/Third.class");
  EXPECT_EQ(Text("third"), f.next);
  // The walk ends at the central directory; prefixes and longer names do not match.
  EXPECT_EQ(0u, Find(zip, "b/Fourth.class").size);
  EXPECT_EQ(0u, Find(zip, "a/First.clas").size);
  EXPECT_EQ(0u, Find(zip, "a/First.classX").size);
  // An archive cut in the middle of an entry's data reports not found, not a crash.
  Bytes cut(zip.begin(), zip.begin() + 60);
  EXPECT_EQ(0u, Find(cut, "b/Third.class").size);
}

TEST_F(ClassReaderTest, ZipMethodsFlagsAndNameLengths) {
  // A matching entry of another method is not found even when a stored one follows.
  Bytes zip = MakeZip({{"X.class", Text("xx"), 12, false, {}}, {"X.class", Text("yy"), 0, false, {}}});
  EXPECT_EQ(0u, Find(zip, "X.class").size);
  // Sizes after the data: the match is not found, and nothing behind it either.
  zip = MakeZip({{"D.class", Text("dd"), 8, true, {}}, {"E.class", Text("ee"), 0, false, {}}});
  EXPECT_EQ(0u, Find(zip, "D.class").size);
  EXPECT_EQ(0u, Find(zip, "E.class").size);
  // A name of 1023 bytes is searched; 1024 bytes is refused at once.
  std::string n1023(1023, 'n'), n1024(1024, 'n');
  zip = MakeZip({{n1024, Text("long"), 0, false, {}}, {n1023, Text("ok"), 0, false, {}}});
  EXPECT_EQ(2u, Find(zip, n1023).size);
  EXPECT_EQ(0u, Find(zip, n1024).size);
  // Local headers only, no central directory: the walk ends at the end of the data.
  zip = MakeZip({{"A.class", Text("a"), 0, false, {}}}, "", false);
  EXPECT_EQ(1u, Find(zip, "A.class").size);
  EXPECT_EQ(0u, Find(zip, "B.class").size);
}

TEST_F(ClassReaderTest, HostClassPathReadsZipEntriesThroughTheFinder) {
  ClassBuilder c = SmallClass("p/Zipped");
  Bytes classBytes = c.Build();
  std::string dir = TempDir("classreader");
  std::string zipPath = dir + "/classes.zip";
  ASSERT_TRUE(WriteFileBytes(zipPath, MakeZip({{"p/Stored.class", classBytes, 0, false, {}},
                                               {"p/Zipped.class", classBytes, 8, false, {}}},
                                              "comment")));
  void* loaderId = (void*)0x51;
  refhost::SetClassPath(loaderId, zipPath);
  for (const char* name : {"p/Stored", "p/Zipped"}) {
    void* s = host->OpenClassStream(name, &VMClassLoader::FindInZipFile, loaderId);
    ASSERT_NE(nullptr, s) << name;
    Bytes got(classBytes.size() + 8);
    got.resize((size_t)host->StreamRead(s, got.data(), (jint)got.size()));
    EXPECT_EQ(classBytes, got) << name;
    host->StreamClose(s);
  }
  EXPECT_EQ(nullptr, host->OpenClassStream("p/Missing", &VMClassLoader::FindInZipFile, loaderId));
  refhost::SetClassPath(loaderId, "");
  RemoveTree(dir);
}

/* Archives written by stream writers (jar among them) put every entry's sizes after its
   data: the local-header walk stops at the first one, and the host then serves the
   entry from the archive's central directory. */
TEST_F(ClassReaderTest, ArchivesWithSizesAfterTheDataServeTheirClasses) {
  std::string dir = TempDir("jarlike");
  std::string zipPath = dir + "/classes.jar";
  Bytes a = SmallClass("p/A").Build();
  ClassBuilder b = SmallClass("p/B", "p/A");
  b.interfaces.push_back(b.Class("p/I"));
  ASSERT_TRUE(WriteFileBytes(zipPath, MakeZip({{"META-INF/MANIFEST.MF", Text("Manifest-Version: 1.0\n"), 8, true, {}},
                                               {"p/A.class", a, 8, true, {}},
                                               {"p/B.class", b.Build(), 8, true, {}},
                                               {"p/I.class", InterfaceFile("p/I", {}), 0, true, {}}})));
  classfile_test::ClassWorld world;
  ASSERT_TRUE(world.Create(zipPath + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
  VMLoadableClass* sub = world.Shell("p/B");
  EXPECT_EQ(0, sub->Prepare(nullptr));
  EXPECT_TRUE(world.Shell("p/A")->GetIsPrepared());
  EXPECT_TRUE(world.Shell("p/I")->GetIsLoaded());
  EXPECT_EQ(VMStatus_NoClassDefFoundError, world.Shell("p/Missing")->Load());
  world.Destroy();
  refhost::SetClassPath(nullptr, "");
  RemoveTree(dir);
}

/* An entry that claims to inflate to far more than deflate can make of its bytes is
   refused before anything of that size is asked for. */
TEST_F(ClassReaderTest, AnEntryClaimingAHugeSizeIsRefused) {
  std::string dir = TempDir("zipbomb");
  std::string zipPath = dir + "/claims.zip";
  Bytes zip = MakeZip({{"Q.class", Text("a small class that claims to be big"), 8, false, {}}});
  uint32_t claimed = 0x7E010000u;
  uint32_t cdOffset = (uint32_t)zip[zip.size() - 6] | (uint32_t)zip[zip.size() - 5] << 8 |
                      (uint32_t)zip[zip.size() - 4] << 16 | (uint32_t)zip[zip.size() - 3] << 24;
  for (size_t at : {(size_t)22, (size_t)cdOffset + 24})
    for (int k = 0; k < 4; k++) zip[at + k] = (uint8_t)(claimed >> (8 * k));
  ASSERT_TRUE(WriteFileBytes(zipPath, zip));
  void* loaderId = (void*)0x52;
  refhost::SetClassPath(loaderId, zipPath);
  refhost::ResetHooks();
  EXPECT_EQ(nullptr, host->OpenClassStream("Q", &VMClassLoader::FindInZipFile, loaderId));
  EXPECT_EQ(nullptr, host->OpenClassStream("Q", nullptr, loaderId));
  EXPECT_LT(refhost::LargestInflateBuffer(), 1u << 20) << "the claimed size was allocated";
  // An honest entry is inflated into a buffer of its size.
  Bytes honest = MakeZip({{"Q.class", Bytes(5000, 'q'), 8, false, {}}});
  ASSERT_TRUE(WriteFileBytes(zipPath, honest));
  void* s = host->OpenClassStream("Q", &VMClassLoader::FindInZipFile, loaderId);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(5000, host->StreamSize(s));
  host->StreamClose(s);
  EXPECT_EQ(5000u, refhost::LargestInflateBuffer());
  refhost::SetClassPath(loaderId, "");
  RemoveTree(dir);
}

TEST_F(ClassReaderTest, ClassInfoFromAClassFile) {
  // The name Utf8 after its Class entry: found in the second pass.
  ClassBuilder c = SmallClass("p/q/Named");
  c.access = 0x0431;
  Bytes bytes = c.Build();
  char buffer[64];
  uint16_t access = 0;
  void* s = refhost::OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  EXPECT_EQ(0, VMClassLoader::GetClassInfo(s, buffer, sizeof buffer, &access));
  EXPECT_STREQ("p.q.Named", buffer);
  EXPECT_EQ(0x0431, access);
  // The stream is back at the start for whoever reads next.
  uint8_t magic[4];
  EXPECT_EQ(4, host->StreamRead(s, magic, 4));
  EXPECT_EQ(0xCA, magic[0]);
  // The name does not fit a buffer of its length: there is no room for the zero.
  host->StreamSeek(s, 0);
  EXPECT_EQ(VMStatus_ClassFormatError, VMClassLoader::GetClassInfo(s, buffer, 9, nullptr));
  EXPECT_EQ(0, VMClassLoader::GetClassInfo(s, buffer, 10, nullptr));
  host->StreamClose(s);
}

TEST_F(ClassReaderTest, ClassInfoNeedsThreePassesWhenTheNameComesFirst) {
  ClassBuilder c;
  uint16_t name = c.Utf8("early/Name");
  c.Utf8("filler");
  c.thisClass = c.ClassAt(name);
  c.superClass = c.Class("java/lang/Object");
  c.Long(5);
  Bytes bytes = c.Build();
  char buffer[64];
  void* s = refhost::OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  EXPECT_EQ(0, VMClassLoader::GetClassInfo(s, buffer, sizeof buffer, nullptr));
  EXPECT_STREQ("early.Name", buffer);
  host->StreamClose(s);
  // Files cut before this_class are status 6 (what follows it is never read).
  for (size_t cut : {size_t(3), size_t(12), size_t(30)}) {
    Bytes part(bytes.begin(), bytes.begin() + cut);
    s = refhost::OpenMemoryStream(part.data(), (uint32_t)part.size());
    EXPECT_EQ(VMStatus_ClassFormatError, VMClassLoader::GetClassInfo(s, buffer, sizeof buffer, nullptr))
        << cut;
    // A failed scan leaves the stream where it found it, as a good one does.
    uint8_t first = 0;
    EXPECT_EQ(cut < 1 ? 0 : 1, host->StreamRead(s, &first, 1)) << cut;
    EXPECT_EQ(0xCA, first) << cut;
    host->StreamClose(s);
  }
  Bytes bad = bytes;
  bad[10] = 2;  // tag of entry 1
  s = refhost::OpenMemoryStream(bad.data(), (uint32_t)bad.size());
  EXPECT_EQ(VMStatus_ClassFormatError, VMClassLoader::GetClassInfo(s, buffer, sizeof buffer, nullptr));
  host->StreamClose(s);
}

}  // namespace
