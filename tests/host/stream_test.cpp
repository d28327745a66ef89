/* Class streams over directories and zip archives. */
#include "host_test_util.h"
#include "refhost_internal.h"

#include <algorithm>
#include <string.h>
#include <unistd.h>

namespace {

JNIHostFunctions* gHost;
int gFinderCalls;

/* The machine's entry finder: walks local headers through the stream slots only. */
uint32_t HOSTCALL WalkLocalHeaders(void* stream, const char* name, uint32_t* compressedSize) {
  gFinderCalls++;
  size_t want = strlen(name);
  if (want + 1 > 1024) return 0;
  for (;;) {
    uint8_t h[30];
    if (gHost->StreamRead(stream, h, 30) != 30) return 0;
    auto u2 = [&](int o) { return (uint32_t)(h[o] | h[o + 1] << 8); };
    auto u4 = [&](int o) { return u2(o) | u2(o + 2) << 16; };
    if (u4(0) != 0x04034B50) return 0;
    uint32_t method = u2(8), csize = u4(18), usize = u4(22), n = u2(26), m = u2(28);
    if (method == 0) csize = usize;
    char entry[1024];
    bool match = false;
    if (n < sizeof entry) {
      if (gHost->StreamRead(stream, entry, n) != (jint)n) return 0;
      match = n == want && memcmp(entry, name, n) == 0;
    } else if (gHost->StreamSkip(stream, n) < 0) {
      return 0;
    }
    if (m && gHost->StreamSkip(stream, m) < 0) return 0;
    if (match) {
      if (method != 0 && method != 8) return 0;
      *compressedSize = csize;
      return usize;
    }
    if (csize && gHost->StreamSkip(stream, csize) < 0) return 0;
  }
}

std::string ReadAll(void* s) {
  std::string out;
  char buf[7];  // odd-sized reads cross every boundary
  for (;;) {
    jint n = gHost->StreamRead(s, buf, sizeof buf);
    EXPECT_GE(n, 0);
    if (n <= 0) break;
    out.append(buf, n);
    if (n < (jint)sizeof buf) {
      EXPECT_EQ(0, gHost->StreamRead(s, buf, sizeof buf)) << "short read before the end";
      break;
    }
  }
  return out;
}

std::string ClassBytes(const std::string& tag, size_t length) {
  std::string s = "\xCA\xFE\xBA\xBE" + tag;
  while (s.size() < length) s += (char)('a' + s.size() % 23);
  s.resize(length);
  return s;
}

class StreamTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    gHost = host;
    gFinderCalls = 0;
  }
  void TearDown() override {
    for (void* id : ids) refhost::SetClassPath(id, "");
    HostTest::TearDown();
  }
  void* Loader(const std::string& path) {
    void* id = (void*)(uintptr_t)(0x7000 + ids.size());
    ids.push_back(id);
    refhost::SetClassPath(id, path);
    return id;
  }
  std::string Load(const char* name, void* loader, JNIHostFindInZipFileFn finder = WalkLocalHeaders) {
    void* s = host->OpenClassStream(name, finder, loader);
    if (!s) return "<none>";
    jint size = host->StreamSize(s);
    std::string data = ReadAll(s);
    EXPECT_EQ((size_t)size, data.size());
    host->StreamClose(s);
    return data;
  }
  TempDir dir;
  std::vector<void*> ids;
};

TEST_F(StreamTest, StrictContractAtTheEdges) {
  std::string data = ClassBytes("edge", 100);
  void* s = refhost::OpenMemoryStream(data.data(), data.size());
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(100, host->StreamSize(s));
  EXPECT_EQ(40, host->StreamSkip(s, 40));
  EXPECT_EQ(-1, host->StreamSkip(s, 60));  // exactly to the end fails...
  EXPECT_EQ(99, host->StreamSkip(s, 59));  // ...and left the position where it was
  EXPECT_EQ(-1, host->StreamSkip(s, 1));
  EXPECT_EQ(0, host->StreamSkip(s, -99));  // backwards, as the class-name scan does
  EXPECT_EQ(-1, host->StreamSkip(s, -1));
  EXPECT_EQ(-1, host->StreamSkip(s, INT32_MIN));
  EXPECT_EQ(-1, host->StreamSkip(s, INT32_MAX));
  EXPECT_EQ(-1, host->StreamSeek(s, 100));
  EXPECT_EQ(-1, host->StreamSeek(s, -1));
  EXPECT_EQ(99, host->StreamSeek(s, 99));
  char buf[16];
  EXPECT_EQ(1, host->StreamRead(s, buf, 16));  // short only at the end
  EXPECT_EQ(data[99], buf[0]);
  EXPECT_EQ(0, host->StreamRead(s, buf, 16));
  EXPECT_EQ(0, host->StreamSeek(s, 0));
  EXPECT_EQ(0, host->StreamRead(s, buf, 0));
  EXPECT_EQ(0, host->StreamRead(s, buf, -5));
  EXPECT_EQ(16, host->StreamRead(s, buf, 16));
  EXPECT_EQ(0, memcmp(buf, data.data(), 16));

  // The zip seek callback may stand on the end itself; then reads give 0.
  EXPECT_EQ(0, refhost::ZipSeek(s, 100));
  EXPECT_EQ(0, host->StreamRead(s, buf, 1));
  EXPECT_EQ(-1, refhost::ZipSeek(s, 101));
  EXPECT_EQ(0, refhost::ZipSeek(s, 4));
  EXPECT_EQ(4, host->StreamRead(s, buf, 4));
  EXPECT_EQ(0, memcmp(buf, "edge", 4));
  host->StreamClose(s);

  void* empty = refhost::OpenMemoryStream(nullptr, 0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(0, host->StreamSize(empty));
  EXPECT_EQ(-1, host->StreamSeek(empty, 0));
  EXPECT_EQ(-1, host->StreamSkip(empty, 0));
  EXPECT_EQ(0, host->StreamRead(empty, buf, 1));
  host->StreamClose(empty);

  // A view reads the caller's bytes where they lie (a change shows), frees nothing of
  // them at its close (the sanitizer build would report a free of the string's buffer),
  // and keeps the same edges.
  std::string viewed = ClassBytes("view", 64);
  void* v = refhost::OpenMemoryView(viewed.data(), (uint32_t)viewed.size());
  ASSERT_NE(nullptr, v);
  EXPECT_EQ(64, host->StreamSize(v));
  viewed[4] = 'X';
  EXPECT_EQ(0, refhost::ZipSeek(v, 4));
  EXPECT_EQ(2, host->StreamRead(v, buf, 2));
  EXPECT_EQ(0, memcmp(buf, "Xi", 2));
  EXPECT_EQ(0, refhost::ZipSeek(v, 64));
  EXPECT_EQ(0, host->StreamRead(v, buf, 1));
  EXPECT_EQ(-1, refhost::ZipSeek(v, 65));
  host->StreamClose(v);
  EXPECT_EQ('X', viewed[4]);
  EXPECT_EQ(nullptr, refhost::OpenMemoryView(nullptr, 0));
}

TEST_F(StreamTest, ClassesFromADirectory) {
  std::string a = ClassBytes("dirA", 3000), b = ClassBytes("dirB", 1);
  dir.Write("classes/p/q/A.class", a);
  dir.Write("classes/B.class", b);
  void* loader = Loader(dir.path() + "/classes");
  EXPECT_EQ(a, Load("p/q/A", loader));
  EXPECT_EQ(b, Load("B", loader));
  EXPECT_EQ("<none>", Load("p/q/Missing", loader));
  EXPECT_EQ("<none>", Load("p/q/A", (void*)0x5555));  // a loader id without a class path
  EXPECT_EQ(0, gFinderCalls);

  // Names are class names, not paths: nothing may reach outside the directory.
  dir.Write("secret.class", "x");
  for (const char* bad : {"../secret", "p/../../secret", "/etc/passwd", "", "p//q/A", "p/q/A/", "./B"})
    EXPECT_EQ(nullptr, host->OpenClassStream(bad, WalkLocalHeaders, loader)) << bad;
  EXPECT_EQ(nullptr, host->OpenClassStream(nullptr, WalkLocalHeaders, loader));
}

TEST_F(StreamTest, StoredAndDeflatedArchiveEntriesThroughTheFinder) {
  std::string stored = ClassBytes("stored", 777), deflated = ClassBytes("deflated", 20000);
  std::string tiny = ClassBytes("t", 5);
  ZipBuilder zip;
  zip.Add("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n", true);
  zip.Add("a/Stored.class", stored, false);
  zip.Add("a/Deflated.class", deflated, true);
  zip.Add("Tiny.class", tiny, true);
  zip.Add("a/", "", false);
  std::string path = dir.path() + "/lib.zip";
  zip.WriteTo(path);
  void* loader = Loader(path);
  // The machine's directory hash finds the entries and its streams inflate them: the
  // finder's walk is not needed.
  EXPECT_EQ(stored, Load("a/Stored", loader));
  EXPECT_EQ(deflated, Load("a/Deflated", loader));
  EXPECT_EQ(tiny, Load("Tiny", loader));
  EXPECT_EQ("<none>", Load("a/Missing", loader));
  EXPECT_EQ(0, gFinderCalls);

  // An archive the hash refuses (bytes in front that its offsets do not count) is read
  // through the finder's walk of its local headers.
  ZipBuilder prefixed;
  prefixed.Prefix(std::string(300, '#'));
  prefixed.Add("a/Deflated.class", deflated, true);
  prefixed.Add("a/Stored.class", stored, false);
  prefixed.WriteTo(dir.path() + "/prefixed.zip");
  void* walked = Loader(dir.path() + "/prefixed.zip");
  EXPECT_EQ(deflated, Load("a/Deflated", walked));
  EXPECT_EQ(stored, Load("a/Stored", walked));
  EXPECT_EQ(2, gFinderCalls);

  // Without a finder the host looks entries up itself.
  EXPECT_EQ(stored, Load("a/Stored", loader, nullptr));
  EXPECT_EQ(deflated, Load("a/Deflated", loader, nullptr));
  EXPECT_EQ("<none>", Load("a/Missing", loader, nullptr));

  // An entry stream follows the same contract as any other.
  void* s = host->OpenClassStream("a/Deflated", WalkLocalHeaders, loader);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(-1, host->StreamSkip(s, 20000));
  EXPECT_EQ(19999, host->StreamSeek(s, 19999));
  EXPECT_EQ(0, host->StreamSkip(s, -19999));
  char head[4];
  EXPECT_EQ(4, host->StreamRead(s, head, 4));
  EXPECT_EQ(0, memcmp(head, "\xCA\xFE\xBA\xBE", 4));
  host->StreamClose(s);
}

TEST_F(StreamTest, ArchiveWithPrefixAndSearchOrder) {
  ZipBuilder first, second;
  first.Prefix(std::string(1000, '#'));  // bytes before the first local header
  first.Add("x/One.class", ClassBytes("one-first", 50), true);
  first.Add("x/One.class", ClassBytes("one-duplicate", 50), false);
  second.Add("x/One.class", ClassBytes("one-second", 60), false);
  second.Add("x/Two.class", ClassBytes("two", 70), false);
  first.WriteTo(dir.path() + "/first.jar");
  second.WriteTo(dir.path() + "/second.zip");
  dir.Write("classes/x/Two.class", ClassBytes("two-dir", 80));
  void* loader = Loader(dir.path() + "/nonexistent.zip:" + dir.path() + "/first.jar::" + dir.path() +
                        "/classes:" + dir.path() + "/second.zip");
  EXPECT_EQ(ClassBytes("one-first", 50), Load("x/One", loader));
  EXPECT_EQ(ClassBytes("one-first", 50), Load("x/One", loader, nullptr));
  EXPECT_EQ(ClassBytes("two-dir", 80), Load("x/Two", loader));
  std::string path = refhost::GetClassPath(loader);
  EXPECT_EQ(3, std::count(path.begin(), path.end(), ':')) << path;
}

TEST_F(StreamTest, RewrittenArchiveIsReadAgain) {
  std::string path = dir.path() + "/changing.zip";
  ZipBuilder v1;
  v1.Add("C.class", ClassBytes("version1", 40), false);
  v1.WriteTo(path);
  void* loader = Loader(path);
  EXPECT_EQ(ClassBytes("version1", 40), Load("C", loader));
  // A stream stays valid while its archive is replaced underneath.
  void* open = host->OpenClassStream("C", WalkLocalHeaders, loader);
  ASSERT_NE(nullptr, open);
  ZipBuilder v2;
  v2.Add("C.class", ClassBytes("version2-longer", 90), true);
  std::string tmp = path + ".new";
  v2.WriteTo(tmp);
  ASSERT_EQ(0, rename(tmp.c_str(), path.c_str()));
  EXPECT_EQ(ClassBytes("version2-longer", 90), Load("C", loader));
  EXPECT_EQ(ClassBytes("version1", 40), ReadAll(open));
  host->StreamClose(open);
}

/* A mapped archive serves stored and deflated entries through the finder and through
   the host's own directory, for classes and resources; it is read once (a file put in
   its place later is not seen); streams cut from it outlive its path's removal from the
   class path; an empty or damaged file at a mapped path finds nothing. */
TEST_F(StreamTest, MappedArchiveServesEntriesAndOutlivesItsReplacement) {
  std::string stored = ClassBytes("mapped-stored", 4099), deflated = ClassBytes("mapped-deflated", 30000);
  ZipBuilder v1;
  v1.Add("m/Stored.class", stored, false);
  v1.Add("m/Deflated.class", deflated, true);
  std::string path = dir.path() + "/mapped.zip";
  v1.WriteTo(path);
  refhost::MapArchive(path);
  refhost::MapArchive(path);  // twice is once
  void* loader = Loader(path);
  EXPECT_EQ(stored, Load("m/Stored", loader));
  EXPECT_EQ(deflated, Load("m/Deflated", loader));
  EXPECT_EQ(stored, Load("m/Stored", loader, nullptr));
  EXPECT_EQ(deflated, Load("m/Deflated", loader, nullptr));
  EXPECT_EQ("<none>", Load("m/Missing", loader));
  void* openStored = host->OpenClassStream("m/Stored", WalkLocalHeaders, loader);
  void* openDeflated = host->OpenClassStream("m/Deflated", WalkLocalHeaders, loader);
  ASSERT_NE(nullptr, openStored);
  ASSERT_NE(nullptr, openDeflated);

  ZipBuilder v2;
  v2.Add("m/Stored.class", ClassBytes("second", 10), false);
  std::string tmp = path + ".new";
  v2.WriteTo(tmp);
  ASSERT_EQ(0, rename(tmp.c_str(), path.c_str()));
  EXPECT_EQ(stored, Load("m/Stored", loader));
  EXPECT_EQ(deflated, Load("m/Deflated", loader));
  void* resource = refhost::detail::OpenResource("m/Deflated.class", loader);
  ASSERT_NE(nullptr, resource);
  EXPECT_EQ(deflated, ReadAll(resource));
  host->StreamClose(resource);
  EXPECT_EQ(nullptr, refhost::detail::OpenResource("m/Missing.class", loader));
  // Unmapped, the same file is read afresh.
  void* reader = Loader(path);
  refhost::SetClassPath(reader, dir.path() + "/./mapped.zip");
  EXPECT_EQ(ClassBytes("second", 10), Load("m/Stored", reader));
  refhost::SetClassPath(loader, "");
  EXPECT_EQ(stored, ReadAll(openStored));
  EXPECT_EQ(deflated, ReadAll(openDeflated));
  host->StreamClose(openStored);
  host->StreamClose(openDeflated);

  dir.Write("empty.zip", "");
  dir.Write("short.zip", v1.Bytes().substr(0, 100));
  refhost::MapArchive(dir.path() + "/empty.zip");
  refhost::MapArchive(dir.path() + "/short.zip");
  void* broken = Loader(dir.path() + "/empty.zip:" + dir.path() + "/short.zip");
  EXPECT_EQ("<none>", Load("m/Stored", broken));
  EXPECT_EQ("<none>", Load("m/Stored", broken, nullptr));
}

TEST_F(StreamTest, DamagedArchivesFindNothing) {
  std::string good = ClassBytes("good", 400);
  ZipBuilder zip;
  zip.Add("Bad.class", good, true);
  std::string bytes = zip.Bytes();
  // Corrupt the deflated data: the entry cannot be inflated to its stated size.
  size_t at = bytes.find("Bad.class") + 9 + 4;
  for (size_t i = at + 5; i < at + 40; i++) bytes[i] ^= 0x5A;
  dir.Write("bad.zip", bytes);
  dir.Write("notazip.zip", "this is not an archive at all");
  dir.Write("truncated.zip", zip.Bytes().substr(0, 40));
  void* loader = Loader(dir.path() + "/bad.zip:" + dir.path() + "/notazip.zip:" + dir.path() + "/truncated.zip");
  EXPECT_EQ("<none>", Load("Bad", loader));
  EXPECT_EQ("<none>", Load("Bad", loader, nullptr));
}

TEST_F(StreamTest, WholeFileStreamForTheZipEntryPoints) {
  ZipBuilder zip;
  zip.Add("K.class", ClassBytes("k", 30), false);
  std::string path = dir.path() + "/k.zip";
  zip.WriteTo(path);
  void* s = refhost::OpenFileStream(path.c_str());
  ASSERT_NE(nullptr, s);
  EXPECT_EQ((jint)zip.Bytes().size(), host->StreamSize(s));
  uint32_t csize = 0;
  EXPECT_EQ(30u, WalkLocalHeaders(s, "K.class", &csize));
  EXPECT_EQ(30u, csize);
  char head[4];
  EXPECT_EQ(4, host->StreamRead(s, head, 4));
  EXPECT_EQ(0, memcmp(head, "\xCA\xFE\xBA\xBE", 4));
  host->StreamClose(s);
  EXPECT_EQ(nullptr, refhost::OpenFileStream((dir.path() + "/none.zip").c_str()));
  EXPECT_EQ(nullptr, refhost::OpenFileStream(dir.path().c_str()));
}

TEST_F(StreamTest, SystemClassNames) {
  EXPECT_EQ(1, host->IsSystemClassName("java/lang/Object"));
  EXPECT_EQ(1, host->IsSystemClassName("corvane/server/X"));
  EXPECT_EQ(1, host->IsSystemClassName("nimbrel/Y"));
  EXPECT_EQ(1, host->IsSystemClassName("corvane_vm_internal_jnitest"));
  EXPECT_EQ(0, host->IsSystemClassName("javax/swing/JFrame"));
  EXPECT_EQ(0, host->IsSystemClassName("java"));
  EXPECT_EQ(0, host->IsSystemClassName("app/Main"));
  refhost::SetSystemClassPrefixes({"app/"});
  EXPECT_EQ(1, host->IsSystemClassName("app/Main"));
  EXPECT_EQ(0, host->IsSystemClassName("java/lang/Object"));
}

}  // namespace
