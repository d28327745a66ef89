/* The reading natives, RandomAccessFile and the file-system workers against hostile
   arguments, hosts that answer outside their contract, and other threads. Files live in
   a fresh directory below the build tree, which the host is confined to. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "io/javaio.h"
#include "safe_wait.h"
#include "io_support.h"
#include "vm.h"
#include "vmarray.h"
#include "vmjni.h"
#include "vmsmallobjectbase.h"

using namespace io_test;

namespace {

std::string Slurp(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  std::string data;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  fclose(f);
  return data;
}

std::string Pattern(size_t count) {
  std::string s(count, 0);
  for (size_t i = 0; i < count; i++) s[i] = (char)('A' + (i * 7 + i / 26) % 26);
  return s;
}

class FilesIoTest : public IoTest {
 protected:
  std::string Contents(jbyteArray array) {
    jsize n = env->functions->GetArrayLength(env, array);
    std::string s((size_t)n, 0);
    env->functions->GetByteArrayRegion(env, array, 0, n, (jbyte*)&s[0]);
    return s;
  }
  /* A FileInputStream over a new descriptor holding the field value. */
  jobject InputOnField(jint value) {
    return NewObject("java/io/FileInputStream", "(Ljava/io/FileDescriptor;)V", DescriptorWithField(value));
  }
  /* A RandomAccessFile with no constructor run, over a descriptor holding the value. */
  jobject RandomOnField(jint value) {
    jobject raf = Allocate("java/io/RandomAccessFile");
    jclass c = env->functions->FindClass(env, "java/io/RandomAccessFile");
    env->functions->SetObjectField(env, raf, env->functions->GetFieldID(env, c, "fd", "Ljava/io/FileDescriptor;"),
                                   DescriptorWithField(value));
    return raf;
  }
  jobject DescriptorOf(jobject object, const char* cls) {
    jclass c = env->functions->FindClass(env, cls);
    return env->functions->GetObjectField(env, object, env->functions->GetFieldID(env, c, "fd", "Ljava/io/FileDescriptor;"));
  }
  jobject File(const char* path) { return NewObject("java/io/File", "(Ljava/lang/String;)V", String(path)); }
  std::string PathOf(jobject file) {
    jclass c = env->functions->FindClass(env, "java/io/File");
    jstring s = (jstring)env->functions->GetObjectField(env, file, env->functions->GetFieldID(env, c, "path", "Ljava/lang/String;"));
    const char* utf = env->functions->GetStringUTFChars(env, s, nullptr);
    std::string result = utf;
    env->functions->ReleaseStringUTFChars(env, s, utf);
    return result;
  }
  size_t Calls(const char* prefix) {
    size_t n = 0;
    for (const std::string& call : TheScript().calls)
      if (call.compare(0, strlen(prefix), prefix) == 0) n++;
    return n;
  }
};

/* ---- reading ---- */

/* Every range comes in 8 KB host calls through a buffer of the thread's own, never
   straight into the array (the machine may end while a read of a pipe waits, and the
   array with it), and lands exactly in its range, whatever the pieces of the array (776
   bytes inline, then 256). A short answer ends the call with what came, as a console or
   a pipe gives it: the reader is not kept waiting for the rest. */
TEST_F(FilesIoTest, ReadsLandExactlyInTheirRangeAndStopAtAShortAnswer) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  s.readData = Pattern(30000);
  jobject in = InputOnField(8);
  jbyteArray small = Bytes(std::string(500, 'z'));
  EXPECT_EQ(400, JavaIoFileInputStream_readBytes(env, in, small, 50, 400));
  VMArray* smallArray = (VMArray*)VMJniHandle::UnHandle(env, small);
  ASSERT_EQ(1u, s.reads.size());
  const char* storage = (const char*)smallArray->FindElement(0);
  EXPECT_FALSE(s.reads[0].address >= storage && s.reads[0].address < storage + 500)
      << "a host read was given the array's own storage";
  std::string got = Contents(small);
  EXPECT_EQ(std::string(50, 'z') + s.readData.substr(0, 400) + std::string(50, 'z'), got);

  jbyteArray b = Bytes(std::string(25000, 'z'));
  VMArray* array = (VMArray*)VMJniHandle::UnHandle(env, b);
  s.reads.clear();
  EXPECT_EQ(20000, JavaIoFileInputStream_readBytes(env, in, b, 700, 20000));
  EXPECT_EQ("", TakePending());
  got = Contents(b);
  EXPECT_EQ(std::string(700, 'z'), got.substr(0, 700));
  EXPECT_EQ(s.readData.substr(400, 20000), got.substr(700, 20000));
  EXPECT_EQ(std::string(4300, 'z'), got.substr(20700));
  std::vector<jint> counts;
  for (const Script::Transfer& t : s.reads) {
    counts.push_back(t.count);
    EXPECT_FALSE(t.address >= (const char*)array->FindElement(0) && t.address < (const char*)array->FindElement(776))
        << "a range of many pieces never goes to the host as one address";
  }
  EXPECT_EQ((std::vector<jint>{8192, 8192, 3616}), counts);

  /* 100 bytes a call: every call gives its 100 and returns. */
  s.readCap = 100;
  s.reads.clear();
  for (int i = 0; i < 5; i++) EXPECT_EQ(100, JavaIoFileInputStream_readBytes(env, in, b, 1000 + 100 * i, 3000));
  EXPECT_EQ(5u, s.reads.size());
  EXPECT_EQ(s.readData.substr(20400, 500), Contents(b).substr(1000, 500));
  /* The end of the data: what is left, then -1. */
  s.readCap = 0;
  EXPECT_EQ(30000 - 20900, JavaIoFileInputStream_readBytes(env, in, b, 0, 25000));
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, 0, 25000));
  EXPECT_EQ(-1, JavaIoFileInputStream_read(env, in));
  EXPECT_EQ("", TakePending());
}

/* A pipe holding one full chunk, whose writer then waits for the reader to answer: a read
   of more than a chunk returns the chunk instead of asking the pipe again and waiting for
   bytes that only come after the answer. A regular file still fills the whole range.
   The pipe is a named one, opened as any file is; the read runs on a second thread, so
   that a read that does wait is let go by 10 more bytes (after 10 s) and reported. */
TEST_F(FilesIoTest, APipeReadReturnsTheFullChunkItGotWithoutWaitingForMore) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  const std::string sent = Pattern(8192 + 10);
  dir.Write("file", Pattern(30000));
  const std::string fifo = dir.path() + "/pipe";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // Read-write: the open waits for no reader, and the pipe has a writer until closed.
  int writer = open(fifo.c_str(), O_RDWR);
  ASSERT_LE(0, writer);
  ASSERT_EQ(8192, write(writer, sent.data(), 8192));
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  jobject in = f->NewGlobalRef(env, NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("pipe")));
  std::mutex lock;
  std::condition_variable changed;
  bool returned = false;
  jint n = 0;
  std::string got;
  std::thread reader([&] {
    JNIEnv* mine = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
    jbyteArray bytes = mine->functions->NewByteArray(mine, 65536);
    jint count = JavaIoFileInputStream_readBytes(mine, in, bytes, 0, 65536);
    std::string text(count > 0 ? (size_t)count : 0, 0);
    if (count > 0) mine->functions->GetByteArrayRegion(mine, bytes, 0, count, (jbyte*)&text[0]);
    EXPECT_EQ(nullptr, mine->functions->ExceptionOccurred(mine));
    vm->functions->DetachCurrentThread(vm);
    std::lock_guard<std::mutex> guard(lock);
    n = count;
    got = text;
    returned = true;
    changed.notify_all();
  });
  bool answered = false;
  WhileOutside([&] {
    std::unique_lock<std::mutex> guard(lock);
    answered = changed.wait_for(guard, std::chrono::seconds(10), [&] { return returned; });
  });
  // The rest of the bytes, which also let go a read still waiting for them.
  ASSERT_EQ(10, write(writer, sent.data() + 8192, 10));
  close(writer);
  JoinOutside(reader);
  EXPECT_TRUE(answered) << "the read waited for more than the pipe held";
  EXPECT_EQ(8192, n);
  EXPECT_TRUE(got.compare(0, 8192, sent, 0, 8192) == 0) << "the pipe's bytes";
  jbyteArray bytes = f->NewByteArray(env, 65536);
  EXPECT_EQ(10, JavaIoFileInputStream_readBytes(env, in, bytes, 0, 65536));
  EXPECT_EQ(sent.substr(8192), Contents(bytes).substr(0, 10));
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, bytes, 0, 65536)) << "the writer is gone";
  EXPECT_EQ("", TakePending());
  JavaIoFileInputStream_close(env, in);
  jobject file = NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("file"));
  EXPECT_EQ(30000, JavaIoFileInputStream_readBytes(env, file, bytes, 0, 65536)) << "a file fills the range";
  JavaIoFileInputStream_close(env, file);
  jobject raf = NewObject("java/io/RandomAccessFile", "(Ljava/lang/String;Ljava/lang/String;)V", String("file"), String("r"));
  EXPECT_EQ(30000, JavaIoRandomAccessFile_readBytes(env, raf, bytes, 100, 65000));
  JavaIoRandomAccessFile_close(env, raf);
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_EQ("", TakePending());
  f->DeleteGlobalRef(env, in);

  /* A host that knows no position for a handle (the console, a device) is read as a
     pipe: one host call per read, which gives what it has; one that knows it, as a file,
     in chunks. */
  UseTable(Table::Scripted);
  Script& s = TheScript();
  s.readData = Pattern(80000);
  s.pointerAnswer = -1;
  jobject console = InputOnField(8);
  EXPECT_EQ(20000, JavaIoFileInputStream_readBytes(env, console, bytes, 0, 20000));
  EXPECT_EQ(1u, s.reads.size());
  s.without64 = true;
  EXPECT_EQ(20000, JavaIoFileInputStream_readBytes(env, console, bytes, 0, 20000));
  EXPECT_EQ(2u, s.reads.size());
  s.pointerAnswer = -2;
  EXPECT_EQ(20000, JavaIoFileInputStream_readBytes(env, console, bytes, 0, 20000));
  EXPECT_EQ(5u, s.reads.size());
  EXPECT_TRUE(Contents(bytes).compare(0, 20000, s.readData, 40000, 20000) == 0) << "the file's bytes";
  EXPECT_EQ("", TakePending());
  // A host without either position slot: the handle is read as a pipe, and a position
  // asked of it is an IOException, never a call through the empty slot.
  s.withoutPointer = true;
  s.readPos = 0;
  EXPECT_EQ(20000, JavaIoFileInputStream_readBytes(env, console, bytes, 0, 20000));
  EXPECT_EQ(6u, s.reads.size());
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(0, JavaIoRandomAccessFile_getFilePointer(env, RandomOnField(8)));
  EXPECT_EQ("java.io.IOException: ", TakePending());
}

/* A handle without a position (a pipe, the console) is read by one host call of at
   least 64 KB where the range is that long, never more than the range, into a buffer of
   the thread's own and not the array's storage, landing exactly in the range; an answer
   outside 0..asked is a read error that stores nothing, 0 is the end, and a short answer
   is what the read gives. Both reading natives read it so; a read of a chunk or less is
   one call of just the range. */
TEST_F(FilesIoTest, APipeReadIsOneHostCallIntoABufferOfTheThreadsOwn) {
  ASSERT_NE(nullptr, Start());
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  UseTable(Table::Scripted);
  Script& s = TheScript();
  s.readData = Pattern(600000);
  s.pointerAnswer = -1;
  jobject in = InputOnField(8);
  jobject raf = RandomOnField(8);
  jbyteArray b = Bytes(std::string(200000, 'z'));
  size_t from = 0;
  for (jint len : {150000, 65536, 65535, 8193, 8192, 100}) {
    for (int which = 0; which < 2; which++) {
      s.reads.clear();
      jint n = which == 0 ? JavaIoFileInputStream_readBytes(env, in, b, 1000, len)
                          : JavaIoRandomAccessFile_readBytes(env, raf, b, 1000, len);
      EXPECT_EQ("", TakePending()) << len;
      ASSERT_EQ(1u, s.reads.size()) << len << " to " << which;
      const Script::Transfer t = s.reads[0];
      EXPECT_LE(std::min<jint>(len, 65536), t.count) << len;
      EXPECT_GE(len, t.count) << len;
      EXPECT_EQ(t.count, n) << len;
      uint32_t run = 0;
      const char* storage = (const char*)((VMArray*)VMJniHandle::UnHandle(env, b))->FindElement(1000, &run);
      EXPECT_FALSE(t.address >= storage && t.address < storage + run) << "the host was given the array's storage";
      std::string got = Contents(b);
      EXPECT_TRUE(got.compare(0, 1000, std::string(1000, 'z')) == 0) << len;
      EXPECT_TRUE(got.compare(1000, (size_t)n, s.readData, from, (size_t)n) == 0) << len;
      EXPECT_TRUE(got.substr(1000 + (size_t)n) == std::string(got.size() - 1000 - (size_t)n, 'z')) << len;
      from += (size_t)n;
      b = Bytes(std::string(200000, 'z'));
    }
  }
  // Short answers, and the end.
  s.readCap = 3000;
  EXPECT_EQ(3000, JavaIoFileInputStream_readBytes(env, in, b, 0, 100000));
  s.readCap = 0;
  s.readAnswers = {0};
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, 0, 100000));
  EXPECT_EQ("", TakePending());
  // Answers outside what was asked, for a range past the largest call and one below it.
  for (jint len : {100000, 20000}) {
    for (jint answer : {-1, INT_MIN, len > 65536 ? 65537 : len + 1, INT_MAX}) {
      for (int which = 0; which < 2; which++) {
        jbyteArray z = Bytes(std::string(100100, 'z'));
        s.readAnswers = {answer};
        jint n = which == 0 ? JavaIoFileInputStream_readBytes(env, in, z, 50, len)
                            : JavaIoRandomAccessFile_readBytes(env, raf, z, 50, len);
        EXPECT_EQ("java.io.IOException: Read error", TakePending()) << len << " answered " << answer;
        EXPECT_EQ(which == 0 ? -1 : 0, n);
        EXPECT_TRUE(Contents(z) == std::string(100100, 'z')) << len << " answered " << answer;
      }
    }
  }
  VMObjectBase::SetCollectionStress(stress);
}

/* A pipe read beside a thread that collects at every allocation, with a writer that
   sends 3 MB in pieces of any size: every answer lies in its range, and the bytes come
   whole and in order. The first read finds 200,000 bytes waiting and gets at least 64 KB
   of them in one read. */
TEST_F(FilesIoTest, PipeReadsBesideCollectionsKeepEveryByteInOrder) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  const std::string fifo = dir.path() + "/pipe";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // Without waiting, so that the sender gives up once the reader has.
  int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_LE(0, writer);
  ASSERT_LE(1 << 18, fcntl(writer, F_SETPIPE_SZ, 1 << 20));
  const std::string sent = Pattern(3000000);
  ASSERT_EQ(200000, write(writer, sent.data(), 200000));
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  jobject in = NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("pipe"));
  std::atomic<bool> done{false};
  std::atomic<int> collections{0};
  std::thread collector([&] {
    JNIEnv* mine = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
    while (!done.load()) {
      jbyteArray garbage = mine->functions->NewByteArray(mine, 64);
      if (garbage != nullptr) mine->functions->DeleteLocalRef(mine, garbage);
      collections++;
    }
    vm->functions->DetachCurrentThread(vm);
  });
  std::thread sender([&] {
    uint32_t seed = 12345;
    for (size_t at = 200000; at < sent.size() && !done.load();) {
      seed = seed * 1103515245u + 12345u;
      size_t piece = std::min<size_t>(1 + (seed >> 8) % 150000, sent.size() - at);
      ssize_t n = write(writer, sent.data() + at, piece);
      if (n > 0) {
        at += (size_t)n;
      } else if (errno == EAGAIN) {
        struct pollfd room = {writer, POLLOUT, 0};
        poll(&room, 1, 100);
      } else {
        break;
      }
    }
    close(writer);
  });
  std::string got;
  std::vector<jint> answers;
  uint32_t seed = 777;
  bool inRange = true;
  for (;;) {
    seed = seed * 1103515245u + 12345u;
    jint len = answers.empty() ? 100000 : (jint)(1 + (seed >> 8) % 200000);
    jint off = (jint)((seed >> 4) % 1000);
    jbyteArray b = f->NewByteArray(env, off + len);
    jint n = b != nullptr ? JavaIoFileInputStream_readBytes(env, in, b, off, len) : -2;
    std::string pending = TakePending();
    EXPECT_EQ("", pending);
    if (n == -1 || !pending.empty()) break;
    answers.push_back(n);
    if (n <= 0 || n > len) {
      inRange = false;
      break;
    }
    std::string part((size_t)n, 0);
    f->GetByteArrayRegion(env, b, off, n, (jbyte*)&part[0]);
    got += part;
    f->DeleteLocalRef(env, b);
  }
  done = true;
  JoinOutside(sender);
  JoinOutside(collector);
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_TRUE(inRange) << "answer " << answers.back();
  ASSERT_FALSE(answers.empty());
  EXPECT_LE(65536, answers[0]) << "the first read of a pipe holding 200,000 bytes";
  EXPECT_EQ(sent.size(), got.size());
  EXPECT_TRUE(got == sent) << "the bytes came in another order";
  EXPECT_LT(0, collections.load());
  JavaIoFileInputStream_close(env, in);
}

/* Writes of many pieces go to the host in 8 KB calls and arrive whole and in order, for
   both writers; a host that takes part of a call is asked again for the rest. */
TEST_F(FilesIoTest, WritesOfManyPiecesArriveWholeInOrder) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  std::string data = Pattern(20000);
  jbyteArray b = Bytes(data);
  jobject out = StreamOnField(8);
  jobject raf = RandomOnField(8);
  JavaIoFileOutputStream_writeBytes(env, out, b, 3, 19990);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(data.substr(3, 19990), s.written);
  EXPECT_EQ((std::vector<std::string>{"Write(7,8192)", "Write(7,8192)", "Write(7,3606)"}), s.calls);
  s.written.clear();
  s.calls.clear();
  s.writeAnswers = {5000, 3192, 1, 8191};
  JavaIoRandomAccessFile_writeBytes(env, raf, b, 1, 19999);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(data.substr(1, 19999), s.written);
  EXPECT_EQ((std::vector<std::string>{"Write(7,8192)", "Write(7,3192)", "Write(7,8192)", "Write(7,8191)",
                                      "Write(7,3615)"}),
            s.calls);
}

/* A host answer outside 0..count is a read error, whichever reading native asked: never
   the end of the file, never a pointer moved by it, never bytes outside the range. */
TEST_F(FilesIoTest, OutOfContractReadAnswersAreReadErrors) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  jobject in = InputOnField(8);
  jobject raf = RandomOnField(8);
  for (jint answer : {-1, -2, INT_MIN, 51, 1000, INT_MAX}) {
    for (int which = 0; which < 2; which++) {
      s.readData = std::string(1000, 'r');
      s.readPos = 0;
      s.readAnswers = {answer};
      jbyteArray b = Bytes(std::string(100, 'z'));
      jint n = which == 0 ? JavaIoFileInputStream_readBytes(env, in, b, 10, 50)
                          : JavaIoRandomAccessFile_readBytes(env, raf, b, 10, 50);
      EXPECT_EQ("java.io.IOException: Read error", TakePending()) << answer << " to " << which;
      EXPECT_EQ(which == 0 ? -1 : 0, n);
      std::string got = Contents(b);
      EXPECT_EQ(std::string(10, 'z'), got.substr(0, 10));
      EXPECT_EQ(std::string(40, 'z'), got.substr(60));
    }
  }
  /* One byte: 1 is the byte, 0 the end, anything else an error. */
  for (jint answer : {-1, -2, 2, INT_MIN}) {
    s.readAnswers = {answer, answer};
    EXPECT_EQ(-1, JavaIoFileInputStream_read(env, in));
    EXPECT_EQ("java.io.IOException: Read error", TakePending()) << answer;
    EXPECT_EQ(-1, JavaIoRandomAccessFile_read(env, raf));
    EXPECT_EQ("java.io.IOException: Read error", TakePending()) << answer;
  }
  s.readData = "\xff";
  s.readPos = 0;
  s.readAnswers.clear();
  EXPECT_EQ(255, JavaIoFileInputStream_read(env, in)) << "a byte is unsigned";
  s.readAnswers = {0, 0};
  EXPECT_EQ(-1, JavaIoFileInputStream_read(env, in));
  EXPECT_EQ(-1, JavaIoRandomAccessFile_read(env, raf));
  EXPECT_EQ("", TakePending());
  /* A short first answer and then the end: the bytes read, not -1. */
  s.readData = std::string(30, 'q');
  s.readPos = 0;
  s.readAnswers = {30, 0};
  jbyteArray b = Bytes(std::string(100, 'z'));
  EXPECT_EQ(30, JavaIoFileInputStream_readBytes(env, in, b, 0, 100));
}

/* Ranges that leave the array, nulls and closed streams are refused before any host
   call; a length of 0 at the very end reads nothing and is no error. */
TEST_F(FilesIoTest, BadRangesNeverReachTheHost) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  s.readData = std::string(100, 'r');
  jobject in = InputOnField(8);
  jobject raf = RandomOnField(8);
  jbyteArray b = Bytes(std::string(10, 'z'));
  const jint bad[][2] = {{-1, 1}, {0, 11}, {9, 2}, {INT_MAX, 1}, {1, INT_MAX}, {INT_MIN, 1}, {5, INT_MIN + 3}};
  for (auto& r : bad) {
    EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, r[0], r[1]));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending()) << r[0] << "," << r[1];
    EXPECT_EQ(0, JavaIoRandomAccessFile_readBytes(env, raf, b, r[0], r[1]));
    if (r[1] >= 1) EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending()) << r[0] << "," << r[1];
    else EXPECT_EQ("", TakePending()) << "a length below 1 reads nothing";
    JavaIoRandomAccessFile_writeBytes(env, raf, b, r[0], r[1]);
    if (r[1] >= 1) EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending()) << r[0] << "," << r[1];
    else EXPECT_EQ("", TakePending()) << "a length below 1 writes nothing";
  }
  /* The stream checks every range; RandomAccessFile looks at nothing for len < 1. */
  for (auto& r : std::vector<std::pair<jint, jint>>{{-1, 0}, {0, -1}, {11, 0}, {INT_MIN, 0}}) {
    EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, r.first, r.second));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending());
    EXPECT_EQ(0, JavaIoRandomAccessFile_readBytes(env, raf, b, r.first, r.second));
    EXPECT_EQ("", TakePending());
  }
  EXPECT_EQ(0, JavaIoFileInputStream_readBytes(env, in, b, 10, 0));
  EXPECT_EQ(0, JavaIoRandomAccessFile_readBytes(env, raf, b, 10, 0));
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, nullptr, 0, 1));
  EXPECT_EQ("java.lang.NullPointerException: ", TakePending());
  EXPECT_EQ(0, JavaIoRandomAccessFile_readBytes(env, raf, nullptr, 0, 1));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  JavaIoRandomAccessFile_writeBytes(env, raf, nullptr, 0, 0);
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0u, s.reads.size());
  EXPECT_EQ(0, s.writeCalls);
  EXPECT_EQ(std::string(10, 'z'), Contents(b));
  /* Closed, under the 1.1 coding (0) and any negative: "File Closed" before the array is
     looked at. */
  for (jint closed : {0, -1, INT_MIN}) {
    jobject shut = InputOnField(closed);
    EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, shut, nullptr, 0, 1));
    EXPECT_EQ("java.io.IOException: File Closed", TakePending());
    EXPECT_EQ(-1, JavaIoFileInputStream_read(env, shut));
    EXPECT_EQ("java.io.IOException: File Closed", TakePending());
    EXPECT_EQ(0, JavaIoFileInputStream_skip(env, shut, 5));
    EXPECT_EQ("java.io.IOException: File Closed", TakePending());
    EXPECT_EQ(0, JavaIoFileInputStream_available(env, shut));
    EXPECT_EQ("java.io.IOException: File Closed", TakePending());
    jobject rshut = RandomOnField(closed);
    EXPECT_EQ(0, JavaIoRandomAccessFile_read(env, rshut));
    EXPECT_EQ("java.io.IOException: ", TakePending());
    EXPECT_EQ(0, JavaIoRandomAccessFile_length(env, rshut));
    EXPECT_EQ("java.io.IOException: ", TakePending());
    JavaIoRandomAccessFile_close(env, rshut);
    EXPECT_EQ("", TakePending()) << "closing a closed file does nothing";
  }
  EXPECT_EQ(0u, s.reads.size());
  EXPECT_TRUE(s.closed.empty());
}

/* A skip beyond a signed word reaches the host whole through the wide slot, and without
   it as the largest word, never its low 32 bits (2^32 + 5 would skip 5, 2^31 back). */
TEST_F(FilesIoTest, LongSkipsAreNeverCutToTheirLowBits) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  jobject in = InputOnField(8);
  EXPECT_EQ((1LL << 32) + 5, JavaIoFileInputStream_skip(env, in, (1LL << 32) + 5));
  s.without64 = true;
  EXPECT_EQ(INT_MAX, JavaIoFileInputStream_skip(env, in, 1LL << 31));
  EXPECT_EQ(INT_MAX, JavaIoFileInputStream_skip(env, in, (1LL << 32) + 5));
  EXPECT_EQ(7, JavaIoFileInputStream_skip(env, in, 7));
  EXPECT_EQ(0, JavaIoFileInputStream_skip(env, in, -1));
  EXPECT_EQ("java.io.IOException: cannot skip backwards", TakePending());
  std::vector<std::string> expected = {"Skip64(7,4294967301)", "Skip(7,2147483647)", "Skip(7,2147483647)", "Skip(7,7)"};
  EXPECT_EQ(expected, s.calls);
}

/* A host skip that answers more than was asked is a failed skip, as a negative answer
   is: its count never reaches Java. A short skip is a count like any other. */
TEST_F(FilesIoTest, SkipAnswersBeyondTheCountAskedAreFailures) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  jobject in = InputOnField(8);
  for (int wide = 1; wide >= 0; wide--) {
    s.without64 = wide == 0;
    for (jlong n : {7LL, 1LL << 20}) {
      s.skipAnswer = n + 1;
      EXPECT_EQ(0, JavaIoFileInputStream_skip(env, in, n)) << n;
      EXPECT_EQ("java.io.IOException: ", TakePending()) << n;
    }
    s.skipAnswer = -1;
    EXPECT_EQ(0, JavaIoFileInputStream_skip(env, in, 7));
    EXPECT_EQ("java.io.IOException: ", TakePending());
    s.skipAnswer = 3;
    EXPECT_EQ(3, JavaIoFileInputStream_skip(env, in, 7));
    EXPECT_EQ("", TakePending());
  }
}

/* ---- the workers only the 1.2 FileSystem tables reach ---- */

std::vector<std::string> gFsCalls;
jint HOSTCALL CountedCheckPath(const char* path) {
  gFsCalls.push_back(std::string("CheckPath ") + path);
  return 0;
}
jboolean HOSTCALL ReadOnlyCanWrite(const char* path) {
  gFsCalls.push_back(std::string("CanWrite ") + path);
  return 0;
}
jboolean HOSTCALL ReadOnlyCanRead(const char* path) {
  gFsCalls.push_back(std::string("CanRead ") + path);
  return 1;
}

/* checkAccess asks the host's CanWrite or CanRead of the File's path as it is, without
   CheckPath; createFileExclusively makes an empty file only where none is, and keeps
   what is there; setLastModifiedTime passes whole seconds; setReadOnly takes the write
   permissions. Each answers false for a missing file, and without file access. */
TEST_F(FilesIoTest, AccessCreationTimesAndReadOnlyThroughTheFileSystemWorkers) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  dir.Write("kept", "contents");
  ASSERT_NE(nullptr, Start());
  jobject kept = File("kept");
  jobject missing = File("missing");
  EXPECT_EQ(1, JavaIoFileSystem_CheckAccess(env, kept, 0));
  EXPECT_EQ(1, JavaIoFileSystem_CheckAccess(env, kept, 1));
  EXPECT_EQ(0, JavaIoFileSystem_CheckAccess(env, missing, 0));
  EXPECT_EQ(0, JavaIoFileSystem_CheckAccess(env, missing, 1));
  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  table.CheckPath = CountedCheckPath;
  table.CanWrite = ReadOnlyCanWrite;
  table.CanRead = ReadOnlyCanRead;
  refhost::SetFileSystemOverride(&table);
  gFsCalls.clear();
  EXPECT_EQ(0, JavaIoFileSystem_CheckAccess(env, kept, 1));
  EXPECT_EQ(1, JavaIoFileSystem_CheckAccess(env, kept, 0));
  std::vector<std::string> asked = {"CanWrite kept", "CanRead kept"};
  EXPECT_EQ(asked, gFsCalls);
  refhost::SetFileSystemOverride(nullptr);
  EXPECT_EQ("", TakePending());

  EXPECT_EQ(1, JavaIoFileSystem_CreateFileExclusively(env, String("fresh")));
  EXPECT_EQ("", Slurp(dir.path() + "/fresh"));
  EXPECT_EQ(0, JavaIoFileSystem_CreateFileExclusively(env, String("fresh")));
  EXPECT_EQ(0, JavaIoFileSystem_CreateFileExclusively(env, String("kept")));
  EXPECT_EQ("contents", Slurp(dir.path() + "/kept"));
  EXPECT_EQ(0, JavaIoFileSystem_CreateFileExclusively(env, String("no/such/dir")));
  EXPECT_EQ("", TakePending());

  EXPECT_EQ(1, JavaIoFileSystem_SetLastModifiedTime(env, kept, 1234567891999LL));
  struct stat st;
  ASSERT_EQ(0, stat((dir.path() + "/kept").c_str(), &st));
  EXPECT_EQ(1234567891, (long long)st.st_mtime);
  EXPECT_EQ(1234567891000LL, JavaIoFileSystem_GetLastModifiedTime(env, kept));
  EXPECT_EQ(0, JavaIoFileSystem_SetLastModifiedTime(env, missing, 1000));

  EXPECT_EQ(1, JavaIoFileSystem_SetReadOnly(env, kept));
  ASSERT_EQ(0, stat((dir.path() + "/kept").c_str(), &st));
  EXPECT_EQ(0u, (unsigned)(st.st_mode & 0222)) << std::oct << st.st_mode;
  EXPECT_EQ(0, JavaIoFileSystem_SetReadOnly(env, missing));
  EXPECT_EQ("", TakePending());

  UseTable(Table::None);
  EXPECT_EQ(0, JavaIoFileSystem_CheckAccess(env, kept, 0));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_CreateFileExclusively(env, String("other")));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_SetLastModifiedTime(env, kept, 1000));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_SetReadOnly(env, kept));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  UseTable(Table::Real);
  EXPECT_EQ("<missing>", Slurp(dir.path() + "/other"));
  chmod((dir.path() + "/kept").c_str(), 0644);
}

/* A host whose canonical form has drives: what the drive workers make of its answers. */
std::string gCanonicalOf[27];
std::vector<std::string> gCanonicalAsked;
jint HOSTCALL DriveCanonicalize(const char* path, char* buf, jint size) {
  gCanonicalAsked.push_back(path);
  int drive = path[0] - 0x60;
  if (drive < 1 || drive > 26 || gCanonicalOf[drive] == "<fail>") return -1;
  const std::string& text = gCanonicalOf[drive];
  if ((jint)text.size() + 1 > size) return -1;
  memcpy(buf, text.c_str(), text.size() + 1);
  return (jint)text.size();
}
jboolean HOSTCALL DriveExists(const char* path) {
  return !strcmp(path, "c:\\") || !strcmp(path, "d:\\") || !strcmp(path, "z:\\") || !strcmp(path, "a:\\");
}
jboolean HOSTCALL DriveIsDirectory(const char* path) {
  gFsCalls.push_back(path);
  return !strcmp(path, "c:\\") || !strcmp(path, "z:\\") || !strcmp(path, "q:\\");
}

/* getDriveDirectory(n) canonicalizes drive n's "x:" and answers the path after the drive
   letter and colon, null for its root, a form without a backslash, or a host failure;
   listRoots sets bit i for drive 'a' + i whose root exists and is a directory, without
   CheckPath. On this POSIX host no drive exists. */
TEST_F(FilesIoTest, DrivesAndRootsThroughTheFileSystemWorkers) {
  ASSERT_NE(nullptr, Start());
  EXPECT_EQ(0, JavaIoFileSystem_ListRoots(env));
  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  table.Canonicalize = DriveCanonicalize;
  table.Exists = DriveExists;
  table.IsDirectory = DriveIsDirectory;
  table.CheckPath = CountedCheckPath;
  refhost::SetFileSystemOverride(&table);
  for (std::string& text : gCanonicalOf) text = "<fail>";
  gCanonicalOf[3] = "c:\\work\\dir";
  gCanonicalOf[4] = "d:\\";
  gCanonicalOf[6] = "f:";
  gCanonicalOf[7] = "g:\\x";
  gCanonicalAsked.clear();
  auto drive = [&](jint n) -> std::string {
    jstring s = JavaIoFileSystem_GetDriveDirectory(env, n);
    if (s == nullptr) return "<null>";
    const char* utf = env->functions->GetStringUTFChars(env, s, nullptr);
    std::string text = utf;
    env->functions->ReleaseStringUTFChars(env, s, utf);
    return text;
  };
  EXPECT_EQ("\\work\\dir", drive(3));
  EXPECT_EQ("<null>", drive(4)) << "a drive's root";
  EXPECT_EQ("<null>", drive(5)) << "a host failure";
  EXPECT_EQ("<null>", drive(6)) << "no backslash";
  EXPECT_EQ("\\x", drive(7));
  std::vector<std::string> asked = {"c:", "d:", "e:", "f:", "g:"};
  EXPECT_EQ(asked, gCanonicalAsked);
  gFsCalls.clear();
  EXPECT_EQ((1 << 2) | (1 << 25), JavaIoFileSystem_ListRoots(env));
  // Only the roots that exist are asked whether they are directories; no CheckPath.
  std::vector<std::string> dirs = {"a:\\", "c:\\", "d:\\", "z:\\"};
  EXPECT_EQ(dirs, gFsCalls);
  EXPECT_EQ("", TakePending());
  UseTable(Table::None);
  refhost::SetFileSystemOverride(nullptr);
  EXPECT_EQ(0, JavaIoFileSystem_ListRoots(env));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  EXPECT_EQ("<null>", drive(3));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  UseTable(Table::Real);
}

/* ---- RandomAccessFile ---- */

/* "rw" keeps the contents and starts at 0: a write after seek(2) changes bytes 2-4
   only, and the length stays 10. */
TEST_F(FilesIoTest, RandomWritesLandWhereSeekSaysAndKeepTheRest) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  dir.Write("ten", "0123456789");
  ASSERT_NE(nullptr, Start());
  jobject raf = NewObject("java/io/RandomAccessFile", "(Ljava/lang/String;Ljava/lang/String;)V", String("ten"), String("rw"));
  EXPECT_EQ(0, JavaIoRandomAccessFile_getFilePointer(env, raf));
  EXPECT_EQ('0', JavaIoRandomAccessFile_read(env, raf)) << "a fresh rw file reads from its start";
  JavaIoRandomAccessFile_seek(env, raf, 2);
  JavaIoRandomAccessFile_writeBytes(env, raf, Bytes("abc"), 0, 3);
  EXPECT_EQ(10, JavaIoRandomAccessFile_length(env, raf));
  EXPECT_EQ(5, JavaIoRandomAccessFile_getFilePointer(env, raf));
  /* Refused seeks leave the pointer where it was, and the next write lands there. */
  for (jlong bad : {-1LL, LLONG_MIN}) {
    JavaIoRandomAccessFile_seek(env, raf, bad);
    EXPECT_EQ("java.io.IOException: Negative seek offset", TakePending());
  }
  EXPECT_EQ(5, JavaIoRandomAccessFile_getFilePointer(env, raf));
  JavaIoRandomAccessFile_write(env, raf, 'X');
  EXPECT_EQ("", TakePending());
  JavaIoRandomAccessFile_close(env, raf);
  JavaIoRandomAccessFile_close(env, raf);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ("01abcX6789", Slurp(dir.path() + "/ten"));
  EXPECT_EQ(0u, refhost::OpenFileCount());
}

/* Without the wide slots a seek past a signed word fails and moves nothing; with them it
   reaches the host whole. A host that cannot seek or tell the length is an IOException,
   never a -1 passed on as a position. */
TEST_F(FilesIoTest, SeeksTheHostCannotMakeFail) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  jobject raf = RandomOnField(8);
  JavaIoRandomAccessFile_seek(env, raf, (1LL << 32) + 5);
  EXPECT_EQ("", TakePending());
  s.without64 = true;
  JavaIoRandomAccessFile_seek(env, raf, (1LL << 32) + 5);
  EXPECT_EQ("java.io.IOException: ", TakePending());
  JavaIoRandomAccessFile_seek(env, raf, 1LL << 31);
  EXPECT_EQ("java.io.IOException: ", TakePending());
  JavaIoRandomAccessFile_seek(env, raf, INT_MAX);
  EXPECT_EQ("", TakePending());
  s.seekAnswer = -1;
  JavaIoRandomAccessFile_seek(env, raf, 3);
  EXPECT_EQ("java.io.IOException: ", TakePending());
  s.seekAnswer = 2;
  JavaIoRandomAccessFile_seek(env, raf, 3);
  EXPECT_EQ("java.io.IOException: ", TakePending()) << "a seek that landed elsewhere";
  std::vector<std::string> expected = {"Seek64(7,4294967301)", "Seek(7,2147483647)", "Seek(7,3)", "Seek(7,3)"};
  EXPECT_EQ(expected, s.calls);
  s.lengthAnswer = -1;
  EXPECT_EQ(0, JavaIoRandomAccessFile_length(env, raf));
  EXPECT_EQ("java.io.IOException: ", TakePending());
  s.without64 = false;
  s.lengthAnswer = 5LL << 30;
  EXPECT_EQ(5LL << 30, JavaIoRandomAccessFile_length(env, raf));
  s.without64 = true;
  EXPECT_EQ(0, JavaIoRandomAccessFile_length(env, raf)) << "the word-sized slot cannot say 5 GiB";
  EXPECT_EQ("java.io.IOException: ", TakePending());
}

/* A refused or empty write is an error, not success; opens that give no usable handle
   throw and leave the descriptor as it was; "rw" opens without truncating and seeks to
   the front. */
TEST_F(FilesIoTest, RandomOpensAndWritesReportTheirFailures) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  jobject raf = RandomOnField(8);
  jbyteArray b = Bytes(std::string(1000, 'w'));
  for (jint answer : {0, -1, -2, 1001}) {
    s.writeAnswers = {answer};
    JavaIoRandomAccessFile_writeBytes(env, raf, b, 0, 1000);
    EXPECT_EQ("java.io.IOException: write error", TakePending()) << answer;
    s.writeAnswers = {answer};
    JavaIoRandomAccessFile_write(env, raf, 'x');
    EXPECT_EQ("java.io.IOException: write error", TakePending()) << answer;
  }
  s.writeAnswers = {400, 376, 224};
  JavaIoRandomAccessFile_writeBytes(env, raf, b, 0, 1000);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(std::string(1000, 'w'), s.written.substr(s.written.size() - 1000));

  s.calls.clear();
  jobject fresh = RandomOnField(5);
  jobject descriptor = DescriptorOf(fresh, "java/io/RandomAccessFile");
  for (jint answer : {-1, -2, INT_MIN, 0, 1, 2}) {
    s.openAnswer = answer;
    JavaIoRandomAccessFile_open(env, fresh, String("f"), 1);
    EXPECT_EQ("java.io.IOException: ", TakePending()) << answer;
    EXPECT_EQ(5, FieldOf(descriptor)) << "a failed open leaves the descriptor";
  }
  s.openAnswer = 9;
  s.seekAnswer = -1;
  JavaIoRandomAccessFile_open(env, fresh, String("f"), 1);
  EXPECT_EQ("java.io.IOException: ", TakePending()) << "a file that cannot go to its front";
  EXPECT_EQ(5, FieldOf(descriptor));
  s.seekAnswer = -2;
  JavaIoRandomAccessFile_open(env, fresh, String("f"), 1);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(10, FieldOf(descriptor));
  std::vector<std::string> tail(s.calls.end() - 2, s.calls.end());
  EXPECT_EQ((std::vector<std::string>{"OpenWrite(f,0)", "Seek64(9,0)"}), tail);
  EXPECT_EQ((std::vector<jint>{0, 1, 2, 9}), s.closed) << "every handle kept from Java is closed";
  JavaIoRandomAccessFile_open(env, fresh, nullptr, 0);
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
}

/* ---- a second thread ---- */

/* Readers share a stream that the main thread closes under them, round after round; a
   file opened right after the close must never feed them: each read gives bytes of the
   first file, the end, or an IOException. */
TEST_F(FilesIoTest, ACloseRacingReadersNeverHandsThemAnotherFile) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  dir.Write("first", std::string(200000, 'A'));
  dir.Write("second", std::string(200000, 'B'));
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  for (int round = 0; round < 30; round++) {
    jobject in = f->NewGlobalRef(env, NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("first")));
    std::atomic<bool> go{false};
    std::atomic<int> foreign{0}, errors{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; t++) {
      threads.emplace_back([&] {
        JNIEnv* mine = nullptr;
        ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
        jbyteArray bytes = mine->functions->NewByteArray(mine, 1000);
        // The others' attach may collect while this one waits for the start.
        WhileOutside([&] {
          while (!go.load()) {
          }
        });
        for (int r = 0; r < 100; r++) {
          jint n = JavaIoFileInputStream_readBytes(mine, in, bytes, 0, 1000);
          if (mine->functions->ExceptionOccurred(mine) != nullptr) {
            mine->functions->ExceptionClear(mine);
            errors++;
            continue;
          }
          if (n <= 0) continue;
          std::string got((size_t)n, 0);
          mine->functions->GetByteArrayRegion(mine, bytes, 0, n, (jbyte*)&got[0]);
          if (got.find_first_not_of('A') != std::string::npos) foreign++;
          if (JavaIoFileInputStream_read(mine, in) == 'B') foreign++;
          mine->functions->ExceptionClear(mine);
        }
        vm->functions->DetachCurrentThread(vm);
      });
    }
    go.store(true);
    JavaIoFileInputStream_close(env, in);
    EXPECT_EQ("", TakePending());
    jobject other = NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("second"));
    JoinOutside(threads);
    EXPECT_EQ(0, foreign.load()) << "round " << round;
    JavaIoFileInputStream_close(env, other);
    EXPECT_EQ(0u, refhost::OpenFileCount());
    f->DeleteGlobalRef(env, in);
    f->DeleteLocalRef(env, other);
  }
}

/* ---- the file-system workers ---- */

/* Listings grow their array as names come (4, 8, 16), show dot files, and leave out
   "." and "..", and names Java could not address ('\' is a separator to this machine). */
TEST_F(FilesIoTest, ListingsShowEveryAddressableName) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  for (int count : {0, 4, 5, 9}) {
    std::string sub = "d" + std::to_string(count);
    ASSERT_EQ(0, mkdir((dir.path() + "/" + sub).c_str(), 0777));
    for (int i = 0; i < count; i++) dir.Write(sub + "/n" + std::to_string(i), "");
  }
  dir.Write("d5/.hidden", "");
  dir.Write("d5/back\\slash", "");
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  for (int count : {0, 4, 5, 9}) {
    std::string sub = "d" + std::to_string(count);
    jobjectArray names = JavaIoFileSystem_List(env, File(sub.c_str()));
    ASSERT_NE(nullptr, names) << TakePending();
    std::vector<std::string> got;
    for (jsize i = 0; i < f->GetArrayLength(env, names); i++) {
      jstring s = (jstring)f->GetObjectArrayElement(env, names, i);
      ASSERT_NE(nullptr, s) << "no null element";
      const char* utf = f->GetStringUTFChars(env, s, nullptr);
      got.push_back(utf);
      f->ReleaseStringUTFChars(env, s, utf);
    }
    std::sort(got.begin(), got.end());
    std::vector<std::string> expected;
    if (count == 5) expected.push_back(".hidden");
    for (int i = 0; i < count; i++) expected.push_back("n" + std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, got) << sub;
  }
  EXPECT_EQ(nullptr, JavaIoFileSystem_List(env, File("absent")));
  EXPECT_EQ("", TakePending()) << "an unlistable directory is null, no error";
  EXPECT_EQ(nullptr, JavaIoFileSystem_List(env, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0u, refhost::OpenFileCount());
}

/* A listing of 2,000 names with a collection between every two names the host hands
   out, and one before every allocation of the listing: the working array and the names
   already in it are held only while the native fills them, and a name held where the
   collector does not look would come back freed (poisoned, or an error under the
   sanitizers). */
std::atomic<int> gListed{0};
const char* HOSTCALL CollectingListNext(jlong listing) {
  if (VM* vm = VM::Current()) vm->GarbageCollect(true);
  const char* name = refhost::RealFileSystem()->ListNext(listing);
  if (name != nullptr) gListed++;
  return name;
}

TEST_F(FilesIoTest, TwoThousandNamesWithACollectionBetweenEveryTwo) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  const int kNames = 2000;
  ASSERT_EQ(0, mkdir((dir.path() + "/many").c_str(), 0777));
  std::vector<std::string> expected;
  for (int i = 0; i < kNames; i++) {
    // Lengths from 1 to 60 characters, so the names' own arrays differ in size too.
    std::string name = "f" + std::to_string(i) + std::string((size_t)(i * 7) % 60, (char)('a' + i % 26));
    dir.Write("many/" + name, "");
    expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  table.ListNext = CollectingListNext;
  refhost::SetFileSystemOverride(&table);
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  jobject file = f->NewGlobalRef(env, File("many"));
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  uint32_t before = VM::GetGarbageCollectRequests();
  gListed = 0;
  jobjectArray names = JavaIoFileSystem_List(env, file);
  VMObjectBase::SetCollectionStress(stress);
  refhost::SetFileSystemOverride(nullptr);
  ASSERT_NE(nullptr, names) << TakePending();
  EXPECT_EQ("", TakePending());
  EXPECT_LE(kNames, gListed.load());  // "." and ".." too, if the host gives them
  EXPECT_LE(before + 2 * kNames, VM::GetGarbageCollectRequests());
  // Read after one more collection: what the listing handed out is held by its answer.
  VM::Current()->GarbageCollect(true);
  ASSERT_EQ(kNames, f->GetArrayLength(env, names));
  std::vector<std::string> got;
  for (jsize i = 0; i < kNames; i++) {
    jstring s = (jstring)f->GetObjectArrayElement(env, names, i);
    ASSERT_NE(nullptr, s) << i;
    const char* utf = f->GetStringUTFChars(env, s, nullptr);
    ASSERT_NE(nullptr, utf);
    got.push_back(utf);
    f->ReleaseStringUTFChars(env, s, utf);
    f->DeleteLocalRef(env, s);
  }
  std::sort(got.begin(), got.end());
  EXPECT_EQ(expected, got);
  EXPECT_EQ(0u, refhost::OpenFileCount());
  f->DeleteGlobalRef(env, file);
}

/* A listing that runs out of memory at each allocation the host can refuse (the first
   look-up of java.io.File, the path's copy, the host's own listing) is null, with
   OutOfMemoryError or nothing pending, or whole: never an array with a null name, and
   the host's listing is closed every time. */
std::atomic<int> gOpenListings{0};
jlong HOSTCALL CountingListOpen(const char* path) {
  jlong listing = refhost::RealFileSystem()->ListOpen(path);
  if (listing != 0) gOpenListings++;
  return listing;
}
jint HOSTCALL CountingListClose(jlong listing) {
  gOpenListings--;
  return refhost::RealFileSystem()->ListClose(listing);
}

TEST_F(FilesIoTest, ListingsThatRunOutOfMemoryCloseAndSaySo) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  for (int i = 0; i < 9; i++) dir.Write("d/name" + std::to_string(i), "");
  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  table.ListOpen = CountingListOpen;
  table.ListClose = CountingListClose;
  refhost::SetFileSystemOverride(&table);
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  jobject file = f->NewGlobalRef(env, File("d"));
  int refused = 0, wholeInARow = 0;
  for (uint32_t n = 1; n <= 300 && wholeInARow < 5; n++) {
    refhost::FailNthAllocation(n);
    jobjectArray names = JavaIoFileSystem_List(env, file);
    refhost::FailNthAllocation(0);
    std::string pending = TakePending();
    EXPECT_EQ(0, gOpenListings.load()) << "allocation " << n;
    if (names == nullptr) {
      refused++;
      wholeInARow = 0;
      EXPECT_TRUE(pending == "" || pending == "java.lang.OutOfMemoryError") << pending << " at allocation " << n;
      continue;
    }
    EXPECT_EQ("", pending);
    ASSERT_EQ(9, f->GetArrayLength(env, names)) << "allocation " << n;
    for (jsize i = 0; i < 9; i++) EXPECT_NE(nullptr, f->GetObjectArrayElement(env, names, i)) << "allocation " << n;
    f->DeleteLocalRef(env, names);
    wholeInARow++;
  }
  EXPECT_GE(refused, 2) << "the failures reached into the listing";
  /* The first failure fell on the first look-up of java.io.File by the natives' cache:
     had it passed for a missing class, the cache would have kept it so and every File
     native of this machine would fail from then on. */
  EXPECT_EQ(0x05, JavaIoFileSystem_GetBooleanAttributes(env, file));
  f->DeleteGlobalRef(env, file);
  refhost::SetFileSystemOverride(nullptr);
}

/* Renaming leaves both File objects as they were; a rename onto an existing file, to
   null, or without file access changes nothing on disk. */
TEST_F(FilesIoTest, RenamingKeepsTheFilesAndTheirTargets) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  dir.Write("a", "first");
  dir.Write("taken", "kept");
  ASSERT_NE(nullptr, Start());
  jobject a = File("a");
  jobject b = File("b");
  EXPECT_EQ(1, JavaIoFileSystem_Rename(env, a, b));
  EXPECT_EQ("a", PathOf(a));
  EXPECT_EQ("b", PathOf(b));
  EXPECT_EQ("first", Slurp(dir.path() + "/b"));
  EXPECT_EQ(0, JavaIoFileSystem_Rename(env, b, File("taken")));
  EXPECT_EQ("kept", Slurp(dir.path() + "/taken"));
  EXPECT_EQ(0, JavaIoFileSystem_Rename(env, b, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_Rename(env, nullptr, b));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_Rename(env, b, String("c")));
  EXPECT_EQ("java.lang.NullPointerException", TakePending()) << "a String is no File";
  jobject pathless = Allocate("java/io/File");
  EXPECT_EQ(0, JavaIoFileSystem_Rename(env, pathless, b));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_GetBooleanAttributes(env, nullptr));
  EXPECT_EQ("java.lang.InternalError: null in getbooleanattribs", TakePending());
  EXPECT_EQ(0x03, JavaIoFileSystem_GetBooleanAttributes(env, b));
  UseTable(Table::None);
  EXPECT_EQ(0, JavaIoFileSystem_Rename(env, b, File("c")));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  UseTable(Table::Real);
  EXPECT_EQ("first", Slurp(dir.path() + "/b"));
  EXPECT_EQ("<missing>", Slurp(dir.path() + "/c"));
}

/* A host that fills the canonical-path buffer to its last byte without a NUL: the text
   read back stops inside the buffer. */
jint HOSTCALL FillingCanonicalize(const char*, char* buf, jint size) {
  memset(buf, 'c', (size_t)size);
  return 0;
}

TEST_F(FilesIoTest, CanonicalTextNeverRunsPastItsBuffer) {
  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  table.Canonicalize = FillingCanonicalize;
  refhost::SetFileSystemOverride(&table);
  ASSERT_NE(nullptr, Start());
  jstring canonical = JavaIoFileSystem_Canonicalize(env, String("x"));
  ASSERT_NE(nullptr, canonical) << TakePending();
  EXPECT_EQ(259, env->functions->GetStringUTFLength(env, canonical));
  EXPECT_EQ(nullptr, JavaIoFileSystem_Canonicalize(env, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  refhost::SetFileSystemOverride(nullptr);
}

/* A host read held until the test lets it go (or a watchdog does, failing the test),
   as a read of the console or of a pipe holds its caller: while one thread is held
   there, this one collects three times, and each collection ends without it. The held
   reader then gets its bytes, into an array only its own reference holds, or its byte.
   A read longer than a chunk may be held instead in the host's answer to where the
   handle stands, as a host that runs one call at a time on a handle holds it while
   another thread reads the same pipe: that wait lets collections end too. */
std::mutex gReadGateLock;
std::condition_variable gReadGateChanged;
int gInRead = 0;
bool gReadGateOpen = false;
void WaitAtReadGate() {
  std::unique_lock<std::mutex> lock(gReadGateLock);
  gInRead++;
  gReadGateChanged.notify_all();
  gReadGateChanged.wait(lock, [] { return gReadGateOpen; });
  gInRead--;
}
jint HOSTCALL GatedRead(jint h, void* buf, jint count) {
  WaitAtReadGate();
  return refhost::RealFileSystem()->Read(h, buf, count);
}
jlong HOSTCALL GatedFilePointer64(jint h) {
  WaitAtReadGate();
  return refhost::RealFileSystem()->GetFilePointer64(h);
}
void OpenReadGate(bool open) {
  std::lock_guard<std::mutex> lock(gReadGateLock);
  gReadGateOpen = open;
  gReadGateChanged.notify_all();
}

TEST_F(FilesIoTest, CollectionsEndWhileAnotherThreadWaitsInAHostRead) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  std::string data = Pattern(20000);
  dir.Write("data", data);
  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  refhost::SetFileSystemOverride(&table);
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  for (int round = 0; round < 9; round++) {
    const bool single = round % 3 == 1, atPosition = round % 3 == 2;
    const jint length = atPosition ? 20000 : 3000;
    table.Read = atPosition ? refhost::RealFileSystem()->Read : GatedRead;
    table.GetFilePointer64 = atPosition ? GatedFilePointer64 : refhost::RealFileSystem()->GetFilePointer64;
    SCOPED_TRACE(testing::Message() << "round " << round
                                    << (single ? ", one byte" : atPosition ? ", held at its position" : ", an array"));
    jobject in = f->NewGlobalRef(env, NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("data")));
    std::atomic<bool> finished{false}, watchdogFired{false};
    std::string got;
    std::thread watchdog([&] {
      for (int i = 0; i < 100 && !finished; i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!finished) {
        watchdogFired = true;
        OpenReadGate(true);
      }
    });
    std::thread reader([&] {
      JNIEnv* mine = nullptr;
      ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
      if (single) {
        jint b = JavaIoFileInputStream_read(mine, in);
        if (b >= 0) got = std::string(1, (char)b);
      } else {
        jbyteArray bytes = mine->functions->NewByteArray(mine, length);
        jint n = JavaIoFileInputStream_readBytes(mine, in, bytes, 0, length);
        if (n > 0) {
          got.resize((size_t)n);
          mine->functions->GetByteArrayRegion(mine, bytes, 0, n, (jbyte*)&got[0]);
        }
      }
      EXPECT_EQ(nullptr, mine->functions->ExceptionOccurred(mine));
      vm->functions->DetachCurrentThread(vm);
    });
    bool waiting = false;
    WhileOutside([&] {
      std::unique_lock<std::mutex> lock(gReadGateLock);
      waiting = gReadGateChanged.wait_for(lock, std::chrono::seconds(10), [] { return gInRead == 1; });
    });
    ASSERT_TRUE(waiting);
    const uint32_t stress = VMObjectBase::GetCollectionStress();
    VMObjectBase::SetCollectionStress(1);
    const uint32_t before = VM::GetGarbageCollectRequests();
    for (int i = 0; i < 3; i++) f->DeleteLocalRef(env, f->NewByteArray(env, 1000));
    VMObjectBase::SetCollectionStress(stress);
    EXPECT_LE(before + 3, VM::GetGarbageCollectRequests());
    {
      std::lock_guard<std::mutex> lock(gReadGateLock);
      EXPECT_EQ(1, gInRead) << "the reader left its read before the collections ended";
    }
    EXPECT_FALSE(watchdogFired.load()) << "a collection waited for the thread held in the host";
    OpenReadGate(true);
    JoinOutside(reader);
    finished = true;
    watchdog.join();
    OpenReadGate(false);
    EXPECT_EQ(data.substr(0, single ? 1 : (size_t)length), got);
    JavaIoFileInputStream_close(env, in);
    f->DeleteGlobalRef(env, in);
    EXPECT_EQ("", TakePending());
  }
  refhost::SetFileSystemOverride(nullptr);
}

/* deleteOnExit from eight threads at once, each path twice: the list stays whole, and
   the machine's end deletes exactly what was registered, by the path it had then. The
   common "write a temporary file, register it, rename it to its final name" keeps the
   final file. */
TEST_F(FilesIoTest, DeleteOnExitFromManyThreadsDeletesWhatWasRegistered) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  const int kThreads = 8, kFiles = 40;
  for (int t = 0; t < kThreads; t++)
    for (int i = 0; i < kFiles; i++) dir.Write("t" + std::to_string(t) + "_" + std::to_string(i), "x");
  dir.Write("temp", "final data");
  dir.Write("keep", "kept");
  ASSERT_NE(nullptr, Start());
  std::atomic<int> registered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      JNIEnv* mine = nullptr;
      ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
      jclass c = mine->functions->FindClass(mine, "java/io/File");
      jmethodID init = mine->functions->GetMethodID(mine, c, "<init>", "(Ljava/lang/String;)V");
      for (int round = 0; round < 2; round++) {
        for (int i = 0; i < kFiles; i++) {
          std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
          jobject file = mine->functions->NewObject(mine, c, init, mine->functions->NewStringUTF(mine, name.c_str()));
          if (JavaIoFileSystem_DeleteOnExit(mine, file)) registered++;
          EXPECT_EQ(nullptr, mine->functions->ExceptionOccurred(mine));
          mine->functions->DeleteLocalRef(mine, file);
        }
      }
      vm->functions->DetachCurrentThread(vm);
    });
  }
  JoinOutside(threads);
  EXPECT_EQ(2 * kThreads * kFiles, registered.load());
  jobject temp = File("temp");
  EXPECT_EQ(1, JavaIoFileSystem_DeleteOnExit(env, temp));
  EXPECT_EQ(1, JavaIoFileSystem_Rename(env, temp, File("final")));
  EXPECT_EQ(0, JavaIoFileSystem_DeleteOnExit(env, File("absent")));
  EXPECT_EQ("", TakePending());
  Stop();
  for (int t = 0; t < kThreads; t++)
    for (int i = 0; i < kFiles; i++)
      EXPECT_EQ("<missing>", Slurp(dir.path() + "/t" + std::to_string(t) + "_" + std::to_string(i)));
  EXPECT_EQ("final data", Slurp(dir.path() + "/final"));
  EXPECT_EQ("kept", Slurp(dir.path() + "/keep"));
}

}  // namespace
