/* The reference host's file-system table: the handle space, the write and read
   contracts the natives advance pointers by, names to and from the OS, and the
   sandbox. */
#include "host_test_util.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <set>

namespace {

class FilesTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    fs = host->GetFileSystem();
    ASSERT_NE(nullptr, fs);
    refhost::SetFileRoot(dir.path());
  }
  void TearDown() override {
    refhost::CloseAllFiles();
    HostTest::TearDown();
  }
  std::string Slurp(const std::string& relative) {
    std::string out;
    FILE* f = fopen((dir.path() + "/" + relative).c_str(), "rb");
    if (!f) return "<missing>";
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
  }
  std::set<std::string> List(const char* path) {
    std::set<std::string> names;
    jlong listing = fs->ListOpen(path);
    EXPECT_NE(0, listing);
    while (const char* name = fs->ListNext(listing)) names.insert(name);
    EXPECT_EQ(0, fs->ListClose(listing));
    return names;
  }
  TempDir dir;
  JNIHostFileSystem* fs = nullptr;
};

TEST_F(FilesTest, HandlesStartAtThreeAndAreNeverGivenOutTwice) {
  std::set<jint> seen;
  for (int round = 0; round < 50; round++) {
    jint h = fs->OpenWrite("a", 1);
    ASSERT_GE(h, 3);
    EXPECT_TRUE(seen.insert(h).second) << "handle " << h << " reused";
    EXPECT_EQ(0, fs->Close(h));
    /* A stale handle finds nothing, even though a file is open again. */
    jint next = fs->OpenRead("a");
    EXPECT_EQ(-1, fs->Write(h, "x", 1));
    EXPECT_EQ(-1, fs->Read(h, (void*)"", 0));
    EXPECT_EQ(-1, fs->Close(h));
    seen.insert(next);
    fs->Close(next);
  }
  EXPECT_EQ(0u, refhost::OpenFileCount());
}

TEST_F(FilesTest, TheLastHandleStillFitsTheOldCodingAndThenOpensFail) {
  refhost::SetNextFileHandle(0x7FFFFFFD);
  jint a = fs->OpenWrite("a", 1), b = fs->OpenWrite("b", 1);
  EXPECT_EQ(0x7FFFFFFD, a);
  EXPECT_EQ(0x7FFFFFFE, b);
  EXPECT_EQ(-1, fs->OpenWrite("c", 1));
  EXPECT_EQ(-1, fs->OpenRead("a"));
  EXPECT_EQ(2u, refhost::OpenFileCount());
  refhost::SetNextFileHandle(3);
  EXPECT_EQ(-1, fs->OpenWrite("c", 1)) << "no way back while files are open";
  refhost::CloseAllFiles();
  refhost::SetNextFileHandle(3);
  EXPECT_EQ(3, fs->OpenWrite("c", 1));
}

TEST_F(FilesTest, TheStandardHandlesSurviveCloseAndStayTheConsole) {
  refhost::SetCapture(true);
  for (jint h = 0; h < 3; h++) EXPECT_EQ(0, fs->Close(h));
  jint file = fs->OpenWrite("after", 1);
  EXPECT_GE(file, 3);
  EXPECT_EQ(5, fs->Write(1, "hello", 5));
  EXPECT_EQ(3, fs->Write(2, "err", 3));
  EXPECT_EQ(1, fs->Write(file, "f", 1));
  host->ConsoleWrite(0, 4, "more");
  EXPECT_EQ("hellomore", refhost::CapturedStdout());
  EXPECT_EQ("err", refhost::CapturedStderr());
  fs->Close(file);
  EXPECT_EQ("f", Slurp("after"));
  /* Wrong directions and the standard handles' own answers. */
  char c;
  EXPECT_EQ(-1, fs->Write(0, "x", 1));
  EXPECT_EQ(-1, fs->Read(1, &c, 1));
  EXPECT_EQ(-1, fs->Read(2, &c, 1));
  for (jint h = 0; h < 3; h++) EXPECT_EQ(1, fs->Sync(h));
}

TEST_F(FilesTest, ReadAndWriteAnswerWithinTheirContract) {
  jint h = fs->OpenWrite("f", 1);
  char buf[8];
  EXPECT_EQ(-1, fs->Write(h, "x", -1));
  EXPECT_EQ(-1, fs->Write(h, nullptr, 1));
  EXPECT_EQ(-1, fs->Read(h, buf, -5));
  EXPECT_EQ(-1, fs->Read(h, nullptr, 3));
  EXPECT_EQ(-1, fs->Write(-2, "x", 1));
  EXPECT_EQ(-1, fs->Write(0x7FFFFFFF, "x", 1));
  EXPECT_EQ(-1, fs->Read(-1, buf, 1));
  EXPECT_EQ(0, fs->Write(h, "x", 0));
  EXPECT_EQ(6, fs->Write(h, "abcdef", 6));
  /* The write handle reads too (a random-access file uses one handle for both). */
  EXPECT_EQ(0, fs->Seek(h, 0));
  EXPECT_EQ(4, fs->Read(h, buf, 4));
  EXPECT_EQ(0, memcmp(buf, "abcd", 4));
  EXPECT_EQ(2, fs->Read(h, buf, 8));
  EXPECT_EQ(0, fs->Read(h, buf, 8)) << "end of file";
  EXPECT_EQ(-1, fs->Seek(h, -1));
  EXPECT_EQ(6, fs->GetFilePointer(h)) << "a refused seek leaves the pointer";
  EXPECT_EQ(6, fs->Length(h));
  fs->Close(h);
  EXPECT_EQ(-1, fs->Length(h));
  EXPECT_EQ(-1, fs->GetFilePointer(h));
  EXPECT_EQ(-1, fs->Seek(h, 0));
}

TEST_F(FilesTest, KeepingContentsAppendsButSeekingStillPlacesWrites) {
  dir.Write("log", "old;");
  jint h = fs->OpenWrite("log", 0);
  EXPECT_EQ(4, fs->GetFilePointer(h));
  EXPECT_EQ(4, fs->Write(h, "new;", 4));
  fs->Close(h);
  EXPECT_EQ("old;new;", Slurp("log"));
  /* As a random-access file opens it: seek to the start, write in place. */
  h = fs->OpenWrite("log", 0);
  EXPECT_EQ(0, fs->Seek(h, 0));
  EXPECT_EQ(3, fs->Write(h, "OLD", 3));
  EXPECT_EQ(7, fs->Seek(h, 7));
  EXPECT_EQ(2, fs->Write(h, "!!", 2));
  fs->Close(h);
  EXPECT_EQ("OLD;new!!", Slurp("log"));
  h = fs->OpenWrite("log", 1);
  EXPECT_EQ(0, fs->Length(h));
  fs->Close(h);
  EXPECT_EQ("", Slurp("log"));
}

TEST_F(FilesTest, SkipNeverMovesBackAndAvailableCounts) {
  dir.Write("ten", "0123456789");
  jint h = fs->OpenRead("ten");
  EXPECT_EQ(10, fs->Available(h));
  EXPECT_EQ(-1, fs->Skip(h, -1));
  EXPECT_EQ(0, fs->GetFilePointer(h));
  EXPECT_EQ(3, fs->Skip(h, 3));
  EXPECT_EQ(7, fs->Available(h));
  char c;
  EXPECT_EQ(1, fs->Read(h, &c, 1));
  EXPECT_EQ('3', c);
  EXPECT_EQ(20, fs->Skip(h, 20)) << "past the end, as a file pointer may go";
  EXPECT_EQ(0, fs->Available(h));
  EXPECT_EQ(0, fs->Read(h, &c, 1));
  fs->Close(h);
  EXPECT_EQ(-1, fs->Skip(h, 1));
  EXPECT_EQ(-1, fs->Available(h));
}

TEST_F(FilesTest, PipesSkipByReading) {
  int p[2];
  ASSERT_EQ(0, pipe(p));
  ASSERT_EQ(6, write(p[1], "abcdef", 6));
  close(p[1]);
  /* /proc names the pipe, which opens as a non-seekable file. */
  refhost::SetFileRoot("");
  std::string name = "/proc/self/fd/" + std::to_string(p[0]);
  jint h = fs->OpenRead(name.c_str());
  ASSERT_GE(h, 3);
  EXPECT_EQ(4, fs->Skip(h, 4));
  char buf[4];
  EXPECT_EQ(2, fs->Read(h, buf, 4));
  EXPECT_EQ(0, memcmp(buf, "ef", 2));
  EXPECT_EQ(0, fs->Skip(h, 9)) << "nothing left to drop";
  fs->Close(h);
  close(p[0]);
}

TEST_F(FilesTest, OpensRefuseDirectoriesAndMissingFilesWithExactlyMinusOne) {
  ASSERT_EQ(0, mkdir((dir.path() + "/d").c_str(), 0777));
  EXPECT_EQ(-1, fs->OpenRead("d"));
  EXPECT_EQ(-1, fs->OpenWrite("d", 0));
  EXPECT_EQ(-1, fs->OpenWrite("d", 1));
  EXPECT_EQ(-1, fs->OpenRead("missing"));
  EXPECT_EQ(-1, fs->OpenWrite("no\\such\\dir\\f", 1));
  EXPECT_EQ(-1, fs->OpenRead(nullptr));
  EXPECT_EQ(0u, refhost::OpenFileCount());
}

TEST_F(FilesTest, BackslashesSeparateAndRepeatsCollapse) {
  EXPECT_EQ(1, fs->MakeDirectory("sub"));
  jint h = fs->OpenWrite("sub\\\\inner.txt", 1);
  ASSERT_GE(h, 3);
  fs->Write(h, "in", 2);
  fs->Close(h);
  EXPECT_EQ("in", Slurp("sub/inner.txt"));
  EXPECT_EQ(1, fs->IsFile("\\sub/inner.txt"));
  EXPECT_EQ(1, fs->IsDirectory("sub\\"));
  EXPECT_EQ(1, fs->IsAbsolute("\\x"));
  EXPECT_EQ(1, fs->IsAbsolute("/x"));
  EXPECT_EQ(0, fs->IsAbsolute("c:\\x"));
  EXPECT_EQ(1, fs->IsHidden("sub\\.dot"));
  EXPECT_EQ(0, fs->IsHidden(".d\\visible"));
}

TEST_F(FilesTest, TheSandboxHoldsEveryPathSlot) {
  dir.Write("inside", "1");
  EXPECT_EQ(1, fs->Exists("/inside")) << "an absolute name is taken below the root";
  EXPECT_EQ(1, fs->Exists("a\\..\\inside"));
  EXPECT_EQ(0, fs->Exists("..\\inside"));
  EXPECT_EQ(-1, fs->OpenWrite("../escape", 1));
  EXPECT_EQ(-1, fs->OpenRead("x/../../inside"));
  EXPECT_EQ(0, fs->Rename("inside", "../out"));
  EXPECT_EQ(0, fs->MakeDirectory(".."));
  EXPECT_EQ(0, fs->ListOpen(".."));
  char buf[300];
  EXPECT_EQ(7, fs->Canonicalize("sub/../inside", buf, sizeof buf));
  EXPECT_STREQ("/inside", buf);
  EXPECT_EQ("1", Slurp("inside"));
}

TEST_F(FilesTest, NamesCrossBetweenModifiedUtf8AndUtf8) {
  /* U+1F600 is a surrogate pair in Java: ED A0 BD ED B8 80 in modified UTF-8, and the
     four bytes F0 9F 98 80 on disk. U+00E9 is the same two bytes in both. */
  const char* modified = "caf\xC3\xA9-\xED\xA0\xBD\xED\xB8\x80";
  const char* utf8 = "caf\xC3\xA9-\xF0\x9F\x98\x80";
  jint h = fs->OpenWrite(modified, 1);
  ASSERT_GE(h, 3);
  fs->Close(h);
  struct stat st;
  EXPECT_EQ(0, stat((dir.path() + "/" + utf8).c_str(), &st));
  std::set<std::string> names = List("");
  EXPECT_EQ(1u, names.count(modified));
  /* No name holds a NUL (C0 80), a lone surrogate or a raw four-byte sequence. */
  EXPECT_EQ(-1, fs->OpenWrite("a\xC0\x80" "b", 1));
  EXPECT_EQ(-1, fs->OpenWrite("lone\xED\xA0\xBD", 1));
  EXPECT_EQ(-1, fs->OpenWrite("low\xED\xB8\x80", 1));
  EXPECT_EQ(-1, fs->OpenWrite(utf8, 1));
  EXPECT_EQ(-1, fs->OpenWrite("bad\xFF", 1));
  EXPECT_EQ(0, fs->Exists("a\xC0\x80" "b"));
}

TEST_F(FilesTest, ListingsLeaveOutNamesJavaCouldNotUseAgain) {
  dir.Write("plain", "");
  dir.Write(".dot", "");
  dir.Write("back\\slash", "");  /* made by the OS: one name holding a '\' */
  dir.Write("bad\xFF" "name", "");
  std::set<std::string> names = List("\\");
  EXPECT_EQ((std::set<std::string>{"plain", ".dot"}), names);
  /* Through the mapping, the '\' name is a path into a directory that is not there. */
  EXPECT_EQ(0, fs->Exists("back\\slash"));
  EXPECT_EQ(0, fs->ListOpen("plain"));
  EXPECT_EQ(nullptr, fs->ListNext(12345));
  EXPECT_EQ(-1, fs->ListClose(12345));
  EXPECT_EQ(-1, fs->ListClose(0));
}

TEST_F(FilesTest, CanonicalFormsFitWholeOrFail) {
  ASSERT_EQ(1, fs->MakeDirectory("real"));
  char buf[512];
  EXPECT_EQ(13, fs->Canonicalize("real\\.\\not\\there\\..\\yet", buf, sizeof buf));
  EXPECT_STREQ("/real/not/yet", buf) << "a missing tail is taken as written";
  EXPECT_EQ(-1, fs->Canonicalize("real", buf, 5)) << "\"/real\" needs six bytes";
  EXPECT_EQ(5, fs->Canonicalize("real", buf, 6));
  /* A name of exactly 259 bytes fits the machine's 260-byte buffer; 260 does not. */
  std::string name(258, 'n');
  memset(buf, 'X', sizeof buf);
  EXPECT_EQ(259, fs->Canonicalize(name.c_str(), buf, 260));
  EXPECT_EQ(0, buf[259]);
  memset(buf, 'X', sizeof buf);
  EXPECT_EQ(-1, fs->Canonicalize((name + "n").c_str(), buf, 260));
  EXPECT_EQ('X', buf[0]) << "nothing written on failure";
  ASSERT_EQ(0, symlink((dir.path() + "/real").c_str(), (dir.path() + "/link").c_str()));
  EXPECT_EQ(5, fs->Canonicalize("link", buf, sizeof buf));
  EXPECT_STREQ("/real", buf) << "links resolve";
  /* A real name holding a '\' cannot be given back: Java would split it in two. */
  ASSERT_EQ(0, mkdir((dir.path() + "/a\\b").c_str(), 0777));
  ASSERT_EQ(0, symlink((dir.path() + "/a\\b").c_str(), (dir.path() + "/odd").c_str()));
  EXPECT_EQ(1, fs->IsDirectory("odd"));
  EXPECT_EQ(-1, fs->Canonicalize("odd\\x", buf, sizeof buf));
}

TEST_F(FilesTest, RenameNeverReplaces) {
  dir.Write("from", "F");
  dir.Write("to", "T");
  EXPECT_EQ(0, fs->Rename("from", "to"));
  EXPECT_EQ("F", Slurp("from"));
  EXPECT_EQ("T", Slurp("to"));
  EXPECT_EQ(1, fs->Rename("from", "fresh"));
  EXPECT_EQ("F", Slurp("fresh"));
  EXPECT_EQ("<missing>", Slurp("from"));
  ASSERT_EQ(1, fs->MakeDirectory("d1"));
  ASSERT_EQ(1, fs->MakeDirectory("d2"));
  EXPECT_EQ(0, fs->Rename("d1", "d2"));
  EXPECT_EQ(0, fs->Rename("d1", "to"));
  EXPECT_EQ(1, fs->Rename("d1", "d3"));
}

TEST_F(FilesTest, PathQueries) {
  dir.Write("f", "12345");
  ASSERT_EQ(1, fs->MakeDirectory("d"));
  EXPECT_EQ(1, fs->Exists("f"));
  EXPECT_EQ(0, fs->Exists("f\\under-a-file"));
  EXPECT_EQ(5, fs->PathLength("f"));
  EXPECT_EQ(1, fs->CanRead("f"));
  EXPECT_EQ(1, fs->CanWrite("f"));
  EXPECT_EQ(1, fs->SetLastModified("f", 1000000000));
  EXPECT_EQ(1000000000000LL, fs->LastModified("f"));
  EXPECT_EQ(0, fs->LastModified("missing"));
  EXPECT_EQ(1, fs->SetReadOnly("f"));
  struct stat st;
  ASSERT_EQ(0, stat((dir.path() + "/f").c_str(), &st));
  EXPECT_EQ(0u, st.st_mode & 0222);
  EXPECT_EQ(0, fs->DeleteFile("d"));
  EXPECT_EQ(0, fs->RemoveDirectory("f"));
  EXPECT_EQ(1, fs->RemoveDirectory("d"));
  EXPECT_EQ(1, fs->DeleteFile("f"));
  EXPECT_EQ(0, fs->DeleteFile("f"));
  EXPECT_EQ(0, fs->CheckPath("anything"));
}

TEST_F(FilesTest, FilesBeyondTwoGigabytesAreThereButTheirSizesAreNotWrapped) {
  std::string path = dir.path() + "/big";
  int fd = open64(path.c_str(), O_CREAT | O_WRONLY, 0666);
  ASSERT_GE(fd, 0);
  if (ftruncate64(fd, 3LL << 30) != 0) {
    close(fd);
    GTEST_SKIP() << "no sparse 3 GiB file here";
  }
  close(fd);
  EXPECT_EQ(1, fs->Exists("big"));
  EXPECT_EQ(1, fs->IsFile("big"));
  EXPECT_EQ(-1, fs->PathLength("big"));
  jint h = fs->OpenRead("big");
  ASSERT_GE(h, 3);
  EXPECT_EQ(-1, fs->Length(h));
  EXPECT_EQ(0x7FFFFFFF, fs->Available(h)) << "saturated, never negative";
  EXPECT_EQ(0x7FFFFFFF, fs->Skip(h, 0x7FFFFFFF));
  EXPECT_EQ(0x7FFFFFFF, fs->GetFilePointer(h));
  EXPECT_EQ(1, fs->Skip(h, 1));
  EXPECT_EQ(-1, fs->GetFilePointer(h));
  EXPECT_EQ(1 << 30, fs->Available(h));
  fs->Close(h);
  /* Keeping the contents puts the pointer past 2 GiB: not a number a word can hold. */
  h = fs->OpenWrite("big", 0);
  ASSERT_GE(h, 3);
  EXPECT_EQ(-1, fs->GetFilePointer(h));
  EXPECT_EQ(0, fs->Seek(h, 0));
  fs->Close(h);
}

/* The wide slots carry what the word-sized ones cannot: a sparse file past 4 GiB keeps
   its exact length, and positions near its end are reached and reported exactly. */
TEST_F(FilesTest, TheWideSlotsReachPastFourGigabytes) {
  const long long kSize = (5LL << 30) + 7;
  std::string path = dir.path() + "/huge";
  int fd = open64(path.c_str(), O_CREAT | O_WRONLY, 0666);
  ASSERT_GE(fd, 0);
  bool made = ftruncate64(fd, kSize - 1) == 0 && pwrite64(fd, "Z", 1, kSize - 1) == 1;
  close(fd);
  if (!made) GTEST_SKIP() << "no sparse 5 GiB file here";
  EXPECT_EQ(kSize, fs->PathLength64("huge"));
  EXPECT_EQ(-1, fs->PathLength64("absent"));
  jint h = fs->OpenRead("huge");
  ASSERT_GE(h, 3);
  EXPECT_EQ(kSize, fs->Length64(h));
  EXPECT_EQ(-1, fs->Length(h)) << "the word-sized slot never wraps";
  EXPECT_EQ((4LL << 30) + 5, fs->Skip64(h, (4LL << 30) + 5));
  EXPECT_EQ((4LL << 30) + 5, fs->GetFilePointer64(h));
  EXPECT_EQ(-1, fs->GetFilePointer(h));
  EXPECT_EQ(-1, fs->Skip64(h, -1)) << "never backwards";
  EXPECT_EQ(kSize - 1, fs->Seek64(h, kSize - 1));
  char c = 0;
  EXPECT_EQ(1, fs->Read(h, &c, 1));
  EXPECT_EQ('Z', c);
  EXPECT_EQ(0, fs->Read(h, &c, 1));
  EXPECT_EQ(-1, fs->Seek64(h, -1));
  EXPECT_EQ(kSize, fs->GetFilePointer64(h)) << "a refused seek leaves the pointer";
  EXPECT_EQ(-1, fs->Seek(h, -5));
  fs->Close(h);
  EXPECT_EQ(-1, fs->Length64(h));
  EXPECT_EQ(-1, fs->Seek64(h, 0));
  EXPECT_EQ(-1, fs->GetFilePointer64(h));
  EXPECT_EQ(-1, fs->Skip64(h, 1));
  EXPECT_EQ(-1, fs->Length64(0)) << "the standard handles have no length";
}

TEST_F(FilesTest, SyncKeepsTheErrorOfItsOwnCall) {
  jint h = fs->OpenWrite("s", 1);
  EXPECT_EQ(1, fs->Sync(h));
  fs->Close(h);
  errno = 0;
  EXPECT_EQ(0, fs->Sync(h));
  EXPECT_EQ(EBADF, errno);
}

TEST_F(FilesTest, WithdrawnAccessClosesWhatIsOpen) {
  jint h = fs->OpenWrite("w", 1);
  ASSERT_GE(h, 3);
  refhost::SetFileAccess(false);
  EXPECT_EQ(nullptr, host->GetFileSystem());
  EXPECT_EQ(0u, refhost::OpenFileCount());
  refhost::SetFileAccess(true);
  EXPECT_EQ(fs, host->GetFileSystem());
  EXPECT_EQ(-1, fs->Write(h, "x", 1)) << "the handle did not come back";
  JNIHostFileSystem scripted = *refhost::RealFileSystem();
  refhost::SetFileSystemOverride(&scripted);
  EXPECT_EQ(&scripted, host->GetFileSystem());
  refhost::SetFileAccess(false);
  EXPECT_EQ(nullptr, host->GetFileSystem()) << "refusal wins over a scripted table";
}

TEST_F(FilesTest, ACappedWriteTakesPartAndTheRestFollows) {
  refhost::SetFileWriteCap(3);
  jint h = fs->OpenWrite("c", 1);
  EXPECT_EQ(3, fs->Write(h, "abcdefgh", 8));
  EXPECT_EQ(3, fs->Write(h, "defgh", 5));
  EXPECT_EQ(2, fs->Write(h, "gh", 2));
  fs->Close(h);
  EXPECT_EQ("abcdefgh", Slurp("c"));
}

/* One thread reads while another closes: the read either sees the file or fails, and
   never reaches a file opened after the close. */
TEST_F(FilesTest, ACloseRacingReadsNeverHandsTheirHandleToAnotherFile) {
  dir.Write("victim", std::string(4096, 'v'));
  dir.Write("other", std::string(4096, 'o'));
  for (int round = 0; round < 200; round++) {
    jint h = fs->OpenRead("victim");
    ASSERT_GE(h, 3);
    std::atomic<bool> go{false};
    std::atomic<int> foreign{0};
    std::thread reader([&] {
      while (!go.load()) {
      }
      char buf[64];
      for (int i = 0; i < 50; i++) {
        jint n = fs->Read(h, buf, sizeof buf);
        if (n < 0) break;
        for (jint k = 0; k < n; k++)
          if (buf[k] != 'v') foreign++;
      }
    });
    go.store(true);
    fs->Close(h);
    jint other = fs->OpenRead("other");
    reader.join();
    EXPECT_EQ(0, foreign.load()) << "round " << round;
    fs->Close(other);
  }
  EXPECT_EQ(0u, refhost::OpenFileCount());
}

}  // namespace
