/* A pipe read takes up to 64 KB in one host call: a host thread with a small stack of its
   own (256 KB) reads a pipe that a slow writer fills in odd pieces, beside collections at
   every allocation, and gets every byte in order; the read takes no more of the stack
   than a read of one chunk, and its buffer goes back whatever the host answered. */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "io/javaio.h"
#include "io_support.h"
#include "safe_wait.h"
#include "vmsmallobjectbase.h"

using namespace io_test;

namespace {

class PipeStackTest : public IoTest {};

struct SmallStackRead {
  JavaVM* vm;
  jobject in;
  std::string got;
  std::vector<jint> answers;
  bool ok = true;
};

void* ReadOnSmallStack(void* arg) {
  SmallStackRead* r = (SmallStackRead*)arg;
  JNIEnv* e = nullptr;
  if (r->vm->functions->AttachCurrentThread(r->vm, &e, nullptr) != 0) {
    r->ok = false;
    return nullptr;
  }
  const JNINativeInterface_* f = e->functions;
  for (uint32_t seed = 99;;) {
    seed = seed * 1103515245u + 12345u;
    const jint len = (jint)(65536 + (seed >> 8) % 70000);  // always at least the largest call
    jbyteArray b = f->NewByteArray(e, len);
    if (b == nullptr) {
      r->ok = false;
      break;
    }
    jint n = JavaIoFileInputStream_readBytes(e, r->in, b, 0, len);
    if (f->ExceptionCheck(e)) {
      f->ExceptionClear(e);
      r->ok = false;
      break;
    }
    if (n == -1) break;
    r->answers.push_back(n);
    if (n <= 0 || n > len) {
      r->ok = false;
      break;
    }
    std::string part((size_t)n, 0);
    f->GetByteArrayRegion(e, b, 0, n, (jbyte*)&part[0]);
    r->got += part;
    f->DeleteLocalRef(e, b);
  }
  r->vm->functions->DetachCurrentThread(r->vm);
  return nullptr;
}

TEST_F(PipeStackTest, AThreadWithASmallStackReadsASlowPipeWhole) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  const std::string fifo = dir.path() + "/pipe";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_LE(0, writer);
  std::string sent(400000, 0);
  for (size_t i = 0; i < sent.size(); i++) sent[i] = (char)(i * 131 + i / 251);
  // A full pipe waits at the first read: one call takes 64 KB of it.
  ASSERT_EQ(65536, write(writer, sent.data(), 65536));
  ASSERT_NE(nullptr, Start());
  jobject in = env->functions->NewGlobalRef(
      env, NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String("pipe")));
  ASSERT_NE(nullptr, in);
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  SmallStackRead r{vm, in, {}, {}};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(0, pthread_attr_setstacksize(&attr, 256 * 1024));
  pthread_t reader;
  ASSERT_EQ(0, pthread_create(&reader, &attr, ReadOnSmallStack, &r));
  pthread_attr_destroy(&attr);
  // The rest in odd pieces, a little at a time, so that most reads find a part of one.
  std::thread sender([&] {
    uint32_t seed = 4242;
    for (size_t at = 65536; at < sent.size();) {
      seed = seed * 1103515245u + 12345u;
      size_t piece = std::min<size_t>(1 + (seed >> 8) % 9001, sent.size() - at);
      ssize_t n = write(writer, sent.data() + at, piece);
      if (n > 0) {
        at += (size_t)n;
        if (seed % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
      } else if (errno == EAGAIN) {
        struct pollfd room = {writer, POLLOUT, 0};
        poll(&room, 1, 100);
      } else {
        break;
      }
    }
    close(writer);
  });
  WhileOutside([&] {
    sender.join();
    pthread_join(reader, nullptr);
  });
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_TRUE(r.ok) << "an answer outside its range, or an exception";
  ASSERT_FALSE(r.answers.empty());
  EXPECT_EQ(65536, r.answers[0]) << "the first read of a full pipe";
  EXPECT_EQ(sent.size(), r.got.size());
  EXPECT_TRUE(r.got == sent) << "the bytes came in another order";
  JavaIoFileInputStream_close(env, in);
  env->functions->DeleteGlobalRef(env, in);
}


/* ---- the stack a pipe read takes ---- */

/* A read on a host thread whose stack this test lays down, painted, with an unmapped
   page below it: how deep the read went is the painted bytes it overwrote. */
struct PaintedRead {
  JavaVM* vm = nullptr;
  jobject in = nullptr;
  jint len = 0;
  jint n = -2;
  std::string got;
  bool threw = false;
};

void* ReadOnPaintedStack(void* arg) {
  PaintedRead* r = (PaintedRead*)arg;
  JNIEnv* e = nullptr;
  if (r->vm->functions->AttachCurrentThread(r->vm, &e, nullptr) != 0) return nullptr;
  const JNINativeInterface_* f = e->functions;
  jbyteArray b = f->NewByteArray(e, r->len);
  if (b != nullptr) {
    r->n = JavaIoFileInputStream_readBytes(e, r->in, b, 0, r->len);
    r->threw = f->ExceptionCheck(e);
    f->ExceptionClear(e);
    if (r->n > 0) {
      r->got.assign((size_t)r->n, 0);
      f->GetByteArrayRegion(e, b, 0, r->n, (jbyte*)&r->got[0]);
    }
  }
  r->vm->functions->DetachCurrentThread(r->vm);
  return nullptr;
}

const size_t kPaintedStack = 512 * 1024;
const uint8_t kPaint = 0xA7;

/* The bytes of its stack a read of len bytes took, 0 when the thread could not run. */
size_t StackTakenByARead(PaintedRead& r) {
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  char* low = (char*)mmap(nullptr, kPaintedStack + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (low == MAP_FAILED) return 0;
  mprotect(low, page, PROT_NONE);  // an overrun faults here instead of writing past the stack
  char* stack = low + page;
  memset(stack, kPaint, kPaintedStack);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstack(&attr, stack, kPaintedStack);
  pthread_t reader;
  bool started = pthread_create(&reader, &attr, ReadOnPaintedStack, &r) == 0;
  pthread_attr_destroy(&attr);
  if (started) WhileOutside([&] { pthread_join(reader, nullptr); });
  size_t untouched = 0;
  while (untouched < kPaintedStack && (uint8_t)stack[untouched] == kPaint) untouched++;
  munmap(low, kPaintedStack + page);
  return started ? kPaintedStack - untouched : 0;
}

/* A thread attached with a small stack may be deep in nested calls when it reads a pipe:
   a read of 64 KB takes no more of its stack than a read of one chunk (8 KB) does, so
   that whatever depth lets it read a file lets it read a pipe. The bytes land whole. */
TEST_F(PipeStackTest, APipeReadTakesNoMoreOfTheStackThanAChunkRead) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  s.readData = std::string(400000, 0);
  for (size_t i = 0; i < s.readData.size(); i++) s.readData[i] = (char)(i * 29 + i / 97);
  s.pointerAnswer = -1;
  jobject in = env->functions->NewGlobalRef(
      env, NewObject("java/io/FileInputStream", "(Ljava/io/FileDescriptor;)V", DescriptorWithField(8)));
  ASSERT_NE(nullptr, in);
  size_t from = 0;
  size_t taken[3] = {};
  const jint lens[3] = {8192, 65536, 150000};
  for (int round = 0; round < 2; round++) {
    for (int i = 0; i < 3; i++) {
      PaintedRead r;
      r.vm = vm;
      r.in = in;
      r.len = lens[i];
      taken[i] = StackTakenByARead(r);
      ASSERT_NE(0u, taken[i]) << "the reading thread did not start";
      EXPECT_FALSE(r.threw) << lens[i];
      const jint want = std::min<jint>(lens[i], 65536);
      ASSERT_EQ(want, r.n) << lens[i];
      EXPECT_TRUE(r.got.compare(0, (size_t)want, s.readData, from, (size_t)want) == 0) << lens[i];
      from += (size_t)want;
    }
    EXPECT_GT(taken[0] + 4096, taken[1]) << "a read of 64 KB took " << taken[1] << " bytes of stack, one of 8 KB "
                                         << taken[0];
    EXPECT_GT(taken[0] + 4096, taken[2]) << "a read of 150,000 bytes took " << taken[2]
                                         << " bytes of stack, one of 8 KB " << taken[0];
  }
  env->functions->DeleteGlobalRef(env, in);
}

/* The read's buffer is process memory taken for the call: every read, answered or
   failed, gives it back, and a read that cannot have it reads one chunk through the
   stack instead of failing (the pipe's bytes are not lost). */
TEST_F(PipeStackTest, APipeReadGivesItsBufferBackAndDoesWithoutOne) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  Script& s = TheScript();
  s.readData = std::string(3000000, 0);
  for (size_t i = 0; i < s.readData.size(); i++) s.readData[i] = (char)(i * 131 + i / 251);
  s.pointerAnswer = -1;
  jobject in = NewObject("java/io/FileInputStream", "(Ljava/io/FileDescriptor;)V", DescriptorWithField(8));
  jbyteArray b = env->functions->NewByteArray(env, 160000);
  ASSERT_EQ(65536, JavaIoFileInputStream_readBytes(env, in, b, 0, 150000));
  size_t from = 65536;
  const uint32_t blocks = refhost::BlocksInUse(nullptr);
  const uint64_t bytes = refhost::BytesInUse(nullptr);
  const jint lens[] = {150000, 65536, 65535, 8193, 20000};
  for (int round = 0; round < 40; round++) {
    const jint len = lens[round % 5];
    if (round % 4 == 3) {
      s.readAnswers = {round % 8 == 3 ? -1 : len + 1};
      EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, 10, len));
      EXPECT_EQ("java.io.IOException: Read error", TakePending()) << round;
      from = s.readPos;  // the script moves on by what it copied, which lands nowhere
      continue;
    }
    if (round % 4 == 1) s.readCap = 5000;
    jint n = JavaIoFileInputStream_readBytes(env, in, b, 10, len);
    s.readCap = 0;
    EXPECT_EQ("", TakePending()) << round;
    ASSERT_EQ(round % 4 == 1 ? 5000 : std::min<jint>(len, 65536), n) << round;
    std::string got((size_t)n, 0);
    env->functions->GetByteArrayRegion(env, b, 10, n, (jbyte*)&got[0]);
    EXPECT_TRUE(got.compare(0, (size_t)n, s.readData, from, (size_t)n) == 0) << round;
    from += (size_t)n;
  }
  EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "a pipe read kept its buffer";
  EXPECT_EQ(bytes, refhost::BytesInUse(nullptr)) << "a pipe read kept its buffer";

  // No process memory above a chunk: one call of a chunk, whatever the range.
  refhost::SetFailureScope(true, nullptr, -1);
  refhost::FailAllocationsAbove(javaio::kTransferChunk);
  for (jint len : {150000, 65536, 8193}) {
    s.reads.clear();
    const uint64_t refused = refhost::RefusedCount();
    jint n = JavaIoFileInputStream_readBytes(env, in, b, 7, len);
    EXPECT_EQ("", TakePending()) << len;
    EXPECT_LT(refused, refhost::RefusedCount()) << "the read asked for no buffer";
    ASSERT_EQ(1u, s.reads.size()) << len;
    EXPECT_EQ((jint)javaio::kTransferChunk, s.reads[0].count) << len;
    ASSERT_EQ((jint)javaio::kTransferChunk, n) << len;
    std::string got((size_t)n, 0);
    env->functions->GetByteArrayRegion(env, b, 7, n, (jbyte*)&got[0]);
    EXPECT_TRUE(got.compare(0, (size_t)n, s.readData, from, (size_t)n) == 0) << len;
    from += (size_t)n;
  }
  s.readAnswers = {(jint)javaio::kTransferChunk + 1};
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, 0, 100000));
  EXPECT_EQ("java.io.IOException: Read error", TakePending());
  refhost::FailAllocationsAbove(0);
  EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr));
}

}  // namespace
