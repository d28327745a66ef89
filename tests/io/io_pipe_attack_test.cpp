/* A pipe read as a hostile caller and a hostile host would drive it: ranges at every edge
   of the array and of the read's own sizes, host answers out of range while no exception
   can be made, the machine moved and collected while the read waits in the host, and
   several threads reading two pipes at once. Every byte lands once, in its place, and
   the read's process memory goes back on every way out. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/javaio.h"
#include "io_support.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmjni.h"
#include "vmsmallobjectbase.h"

using namespace io_test;

namespace {

/* A pipe the test scripts: no position, bytes of a pattern handed out in order, at most
   cap a call, or the next scripted answer; a call may be held until the test lets it go. */
struct HostPipe {
  std::mutex lock;
  std::string data;
  size_t pos = 0;
  jint cap = 0;
  std::vector<jint> answers;
  std::vector<jint> asked;
  std::atomic<bool> hold{false};
  std::atomic<int> holding{0};
} gPipe;

jint HOSTCALL PipeRead(jint, void* buf, jint count) {
  if (gPipe.hold.load()) {
    gPipe.holding++;
    while (gPipe.hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    gPipe.holding--;
  }
  std::lock_guard<std::mutex> guard(gPipe.lock);
  gPipe.asked.push_back(count);
  size_t left = gPipe.data.size() - gPipe.pos;
  jint answer;
  if (!gPipe.answers.empty()) {
    answer = gPipe.answers.front();
    gPipe.answers.erase(gPipe.answers.begin());
  } else {
    answer = (jint)std::min<size_t>((size_t)std::max<jint>(count, 0), left);
    if (gPipe.cap > 0 && answer > gPipe.cap) answer = gPipe.cap;
  }
  size_t copy = answer > 0 ? std::min<size_t>({(size_t)answer, (size_t)std::max<jint>(count, 0), left}) : 0;
  memcpy(buf, gPipe.data.data() + gPipe.pos, copy);
  gPipe.pos += copy;
  return answer;
}
jlong HOSTCALL NoPosition64(jint) { return -1; }
jint HOSTCALL NoPosition(jint) { return -1; }
jint HOSTCALL NoClose(jint) { return 0; }

JNIHostFileSystem* PipeTable() {
  static JNIHostFileSystem table = [] {
    JNIHostFileSystem t = *refhost::RealFileSystem();
    t.Read = PipeRead;
    t.GetFilePointer = NoPosition;
    t.GetFilePointer64 = NoPosition64;
    t.Close = NoClose;
    return t;
  }();
  return &table;
}

std::string Pattern(size_t count, uint32_t seed) {
  std::string s(count, 0);
  for (size_t i = 0; i < count; i++) {
    seed = seed * 1103515245u + 12345u;
    s[i] = (char)(seed >> 16);
  }
  return s;
}

class PipeAttackTest : public IoTest {
 protected:
  void SetUp() override {
    IoTest::SetUp();
    std::lock_guard<std::mutex> guard(gPipe.lock);
    gPipe.data.clear();
    gPipe.pos = 0;
    gPipe.cap = 0;
    gPipe.answers.clear();
    gPipe.asked.clear();
    gPipe.hold = false;
  }
  void TearDown() override {
    gPipe.hold = false;
    refhost::SetFileSystemOverride(nullptr);
    VMObjectBase::SetCollectionStress(stress);
    IoTest::TearDown();
  }
  /* A FileInputStream over the scripted pipe, held by a global reference. */
  jobject Pipe() {
    refhost::SetFileSystemOverride(PipeTable());
    return env->functions->NewGlobalRef(env, NewObject("java/io/FileInputStream", "(Ljava/io/FileDescriptor;)V",
                                                       DescriptorWithField(9)));
  }
  std::string Contents(JNIEnv* e, jbyteArray array) {
    jsize n = e->functions->GetArrayLength(e, array);
    std::string s((size_t)n, 0);
    if (n > 0) e->functions->GetByteArrayRegion(e, array, 0, n, (jbyte*)&s[0]);
    return s;
  }
  const uint32_t stress = VMObjectBase::GetCollectionStress();
};

/* Each length around the chunk and the largest call, at the array's start and flush with
   its end: one host call of what the range allows (at most 64 KB), the bytes exactly in
   the range and nothing beside it touched; with collections at every allocation too. A
   range outside the array is an ArrayIndexOutOfBoundsException that calls nothing, a
   null array a NullPointerException. No process memory is kept by any of them. */
TEST_F(PipeAttackTest, RangesAtEveryEdgeLandExactlyAndKeepNoMemory) {
  ASSERT_NE(nullptr, Start());
  jobject in = Pipe();
  gPipe.data = Pattern(6000000, 7);
  const jint size = 200000;
  const std::string blank((size_t)size, 0x5A);
  jbyteArray b = (jbyteArray)env->functions->NewGlobalRef(env, Bytes(blank));
  const uint32_t blocks = refhost::BlocksInUse(nullptr);
  const uint64_t bytes = refhost::BytesInUse(nullptr);
  const jint lens[] = {1, 2, 8191, 8192, 8193, 65535, 65536, 65537, 131072, size};
  for (int round = 0; round < 3; round++) {
    VMObjectBase::SetCollectionStress(round == 1 ? 1 : 0);
    for (jint len : lens) {
      for (jint off : {0, size - len, (size - len) / 2 + 1}) {
        if (off + len > size) continue;
        gPipe.cap = (round == 2 && len > 3) ? len / 3 : 0;
        gPipe.asked.clear();
        const size_t from = gPipe.pos;
        env->functions->SetByteArrayRegion(env, b, 0, size, (const jbyte*)blank.data());
        jint n = JavaIoFileInputStream_readBytes(env, in, b, off, len);
        ASSERT_EQ("", TakePending()) << len << " at " << off;
        const jint call = len > (jint)javaio::kTransferChunk ? std::min<jint>(len, 65536) : len;
        const jint want = gPipe.cap > 0 ? std::min(call, gPipe.cap) : call;
        ASSERT_EQ(want, n) << len << " at " << off << " round " << round;
        ASSERT_EQ(1u, gPipe.asked.size()) << len << " at " << off;
        EXPECT_EQ(call, gPipe.asked[0]) << len << " at " << off;
        std::string got = Contents(env, b);
        EXPECT_TRUE(got.compare(0, (size_t)off, blank, 0, (size_t)off) == 0) << "before the range " << len;
        EXPECT_TRUE(got.compare((size_t)off, (size_t)n, gPipe.data, from, (size_t)n) == 0) << len << " at " << off;
        EXPECT_TRUE(got.compare((size_t)(off + n), std::string::npos, blank, (size_t)(off + n), std::string::npos) == 0)
            << "past the bytes read " << len << " at " << off;
      }
    }
  }
  VMObjectBase::SetCollectionStress(0);
  env->functions->SetByteArrayRegion(env, b, 0, size, (const jbyte*)blank.data());
  // Outside the array: nothing asked of the host, nothing stored.
  struct Range {
    jint off, len;
  };
  const Range bad[] = {{-1, 1},      {0, -1},       {size, 1},    {size - 1, 2},       {1, INT_MAX},
                       {INT_MAX, 1}, {INT_MIN, 0},  {0, INT_MIN}, {size - 65536, 65537}, {-65536, 65537},
                       {INT_MAX, INT_MAX}, {size + 1, 0}};
  for (const Range& r : bad) {
    gPipe.asked.clear();
    EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, r.off, r.len)) << r.off << "," << r.len;
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", TakePending().substr(0, 40)) << r.off << "," << r.len;
    EXPECT_TRUE(gPipe.asked.empty()) << r.off << "," << r.len;
  }
  EXPECT_EQ(0, JavaIoFileInputStream_readBytes(env, in, b, size, 0));
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, nullptr, 0, 65536));
  EXPECT_EQ("java.lang.NullPointerException", TakePending().substr(0, 30));
  // The end of the pipe: -1, once and again.
  gPipe.pos = gPipe.data.size();
  for (jint len : {1, 8193, 65536, size}) {
    EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, 0, len)) << len;
    EXPECT_EQ("", TakePending());
  }
  EXPECT_TRUE(blank == Contents(env, b)) << "a refused range or the end stored something";
  EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "a pipe read kept process memory";
  EXPECT_EQ(bytes, refhost::BytesInUse(nullptr)) << "a pipe read kept process memory";
  env->functions->DeleteGlobalRef(env, b);
  env->functions->DeleteGlobalRef(env, in);
}

/* A host that answers a negative count, more than asked, or the extremes of a word is a
   read error that stores nothing, whether the read had its buffer or went through the
   stack; when the machine's heap cannot even make the IOException, some error is still
   pending, and the buffer went back all the same. */
TEST_F(PipeAttackTest, WrongAnswersStoreNothingAndGiveTheBufferBackEvenWithoutAnException) {
  ASSERT_NE(nullptr, Start());
  jobject in = Pipe();
  gPipe.data = Pattern(3000000, 11);
  const jint size = 100000;
  const std::string blank((size_t)size, 0x33);
  jbyteArray b = (jbyteArray)env->functions->NewGlobalRef(env, Bytes(blank));
  // The exception's class is loaded once, so that a refused heap fails at the object.
  gPipe.answers = {-1};
  EXPECT_EQ(-1, JavaIoFileInputStream_readBytes(env, in, b, 0, 70000));
  EXPECT_EQ("java.io.IOException: Read error", TakePending());
  const uint32_t blocks = refhost::BlocksInUse(nullptr);
  const uint64_t bytes = refhost::BytesInUse(nullptr);
  for (int way = 0; way < 4; way++) {
    const bool noBuffer = way & 1, noHeap = way & 2;
    for (jint len : {8193, 65535, 65536, 65537, size}) {
      // Without process memory above 10 KB (the least largest block a host may set), a
      // read that wants more goes through the stack, one chunk.
      const bool refusable = noBuffer && len > 10240;
      const jint call = refusable ? (jint)javaio::kTransferChunk : std::min<jint>(len, 65536);
      for (jint answer : {-1, -2, call + 1, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(testing::Message() << "way " << way << " len " << len << " answer " << answer);
        gPipe.answers = {answer};
        gPipe.asked.clear();
        if (noBuffer) refhost::SetMaxAllocSize(10240);
        if (noHeap) {
          refhost::SetFailureScope(true, vm->heap, -1);
          refhost::FailAllocationsAbove(1);
        }
        const uint64_t refused = refhost::RefusedCount();
        jint n = JavaIoFileInputStream_readBytes(env, in, b, size - len, len);
        refhost::SetMaxAllocSize(16u << 20);
        refhost::FailAllocationsAbove(0);
        refhost::SetFailureScope(false, nullptr, -1);
        const std::string pending = TakePending();
        EXPECT_EQ(-1, n);
        if (noHeap) {
          EXPECT_NE("", pending) << "no error reported";
        } else {
          EXPECT_EQ("java.io.IOException: Read error", pending);
        }
        if (refusable) {
          EXPECT_LT(refused, refhost::RefusedCount()) << "no buffer was asked for";
        }
        ASSERT_EQ(1u, gPipe.asked.size());
        EXPECT_EQ(call, gPipe.asked[0]);
        EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "the buffer was kept";
        EXPECT_EQ(bytes, refhost::BytesInUse(nullptr)) << "the buffer was kept";
        EXPECT_TRUE(blank == Contents(env, b)) << "a wrong answer stored bytes";
      }
    }
  }
  EXPECT_TRUE(blank == Contents(env, b)) << "a wrong answer stored bytes";
  env->functions->DeleteGlobalRef(env, b);
  env->functions->DeleteGlobalRef(env, in);
}

void HOSTCALL MoveWord(void** word, void* heap) { refhost::RelocateWord(word, heap); }
void MoveBlock(void*, void* newBlock, void* heap) { JNI_Relocate(newBlock, heap, MoveWord); }

/* Threads of the machine wait in one host read each (64 KB and more asked, into arrays
   that exist only through their references) while the host moves the machine and the
   main thread collects: the bytes land in the arrays where they are afterwards, each
   thread's read whole, and the buffers go back. */
TEST_F(PipeAttackTest, ReadsHeldWhileTheMachineMovesAndCollectsLandInTheMovedArrays) {
  ASSERT_NE(nullptr, Start());
  jobject in = Pipe();
  const int kReaders = 3;
  const jint kSize = 140000;
  gPipe.data = Pattern((size_t)kReaders * 65536 * 4, 23);
  const uint32_t blocks = refhost::BlocksInUse(nullptr);
  for (int round = 0; round < 4; round++) {
    SCOPED_TRACE(round);
    gPipe.hold = true;
    std::vector<std::string> got(kReaders);
    std::vector<jint> counts(kReaders, -2);
    std::vector<std::thread> readers;
    for (int t = 0; t < kReaders; t++) {
      readers.emplace_back([&, t] {
        JNIEnv* mine = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) return;
        // Garbage around the array, so that the collection moves or frees its neighbours.
        for (int i = 0; i < 50; i++) mine->functions->DeleteLocalRef(mine, mine->functions->NewByteArray(mine, 100 + i));
        jbyteArray b = mine->functions->NewByteArray(mine, kSize);
        const jint off = t == 0 ? 0 : kSize - 65536 - t;
        jint n = JavaIoFileInputStream_readBytes(mine, in, b, off, kSize - off);
        counts[t] = mine->functions->ExceptionCheck(mine) ? -3 : n;
        mine->functions->ExceptionClear(mine);
        if (n > 0) {
          got[t].assign((size_t)n, 0);
          mine->functions->GetByteArrayRegion(mine, b, off, n, (jbyte*)&got[t][0]);
        }
        vm->functions->DetachCurrentThread(vm);
      });
    }
    bool held = false;
    WhileOutside([&] {
      for (int i = 0; i < 20000 && gPipe.holding.load() != kReaders; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      held = gPipe.holding.load() == kReaders;
    });
    if (held) {
      // Every reader waits in its host call, declared: the host may move the machine.
      if (round % 2 == 0) {
        HHeap* heap = vm->heap;
        EXPECT_LT(0u, refhost::RelocateHeap(heap));
        refhost::ForEachRelocated(heap, MoveBlock, heap);
        JNI_RelocationDone(vm, heap, MoveWord);
        refhost::FinishRelocation(heap);
      }
      vm->vm->GarbageCollect(false);
    }
    gPipe.hold = false;
    JoinOutside(readers);
    ASSERT_TRUE(held) << "the readers never reached the host";
    size_t total = 0;
    for (int t = 0; t < kReaders; t++) {
      ASSERT_EQ(65536, counts[t]) << t;
      // Each got one run of the pipe, whole: find it.
      size_t at = gPipe.data.find(got[t]);
      EXPECT_NE(std::string::npos, at) << "reader " << t << " got bytes the pipe never held in that order";
      total += got[t].size();
    }
    EXPECT_EQ((size_t)kReaders * 65536, total);
  }
  EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "a held read kept its buffer";
  env->functions->DeleteGlobalRef(env, in);
}

/* Three threads each on two real pipes, reading lengths around every edge into places
   flush with their arrays' ends, while each pipe's writer fills it in odd pieces: every
   byte sent arrives once, each read's bytes are one run of its pipe, and each thread's
   runs come in the pipe's order. */
TEST_F(PipeAttackTest, ThreadsSharingTwoRealPipesGetEachByteOnceAndInOrder) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  const int kPipes = 2, kPerPipe = 3;
  const size_t kSent = 700000;
  std::vector<int> writers;
  std::vector<std::string> sent;
  for (int p = 0; p < kPipes; p++) {
    const std::string fifo = dir.path() + "/pipe" + std::to_string(p);
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    int w = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_LE(0, w);
    writers.push_back(w);
    sent.push_back(Pattern(kSent, 101 + p));
  }
  ASSERT_NE(nullptr, Start());
  std::vector<jobject> ins;
  for (int p = 0; p < kPipes; p++) {
    std::string name = "pipe" + std::to_string(p);
    ins.push_back(
        env->functions->NewGlobalRef(env, NewObject("java/io/FileInputStream", "(Ljava/lang/String;)V", String(name.c_str()))));
    ASSERT_NE(nullptr, ins.back());
  }
  VMObjectBase::SetCollectionStress(stress != 0 ? 16 : 0);
  std::vector<std::vector<std::string>> runs(kPipes * kPerPipe);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kPipes * kPerPipe; t++) {
    threads.emplace_back([&, t] {
      JNIEnv* mine = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) {
        wrong++;
        return;
      }
      const jint lens[] = {1, 8191, 8192, 8193, 65535, 65536, 65537, 100000};
      uint32_t seed = 77 + t;
      for (;;) {
        seed = seed * 1103515245u + 12345u;
        const jint len = lens[(seed >> 8) % 8];
        const jint size = len + (jint)((seed >> 12) % 3);
        jbyteArray b = mine->functions->NewByteArray(mine, size);
        jint n = JavaIoFileInputStream_readBytes(mine, ins[t % kPipes], b, size - len, len);
        if (mine->functions->ExceptionCheck(mine) || n == 0 || n > len || n < -1) {
          mine->functions->ExceptionClear(mine);
          wrong++;
          break;
        }
        if (n == -1) break;
        std::string run((size_t)n, 0);
        mine->functions->GetByteArrayRegion(mine, b, size - len, n, (jbyte*)&run[0]);
        runs[t].push_back(run);
        mine->functions->DeleteLocalRef(mine, b);
      }
      vm->functions->DetachCurrentThread(vm);
    });
  }
  std::vector<std::thread> senders;
  for (int p = 0; p < kPipes; p++) {
    senders.emplace_back([&, p] {
      uint32_t seed = 9 + p;
      for (size_t at = 0; at < kSent;) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = std::min<size_t>(1 + (seed >> 8) % 70000, kSent - at);
        ssize_t n = write(writers[p], sent[p].data() + at, piece);
        if (n > 0) {
          at += (size_t)n;
        } else if (errno == EAGAIN) {
          struct pollfd room = {writers[p], POLLOUT, 0};
          poll(&room, 1, 100);
        } else {
          break;
        }
      }
      close(writers[p]);
    });
  }
  WhileOutside([&] {
    for (auto& s : senders) s.join();
  });
  JoinOutside(threads);
  VMObjectBase::SetCollectionStress(stress);
  EXPECT_EQ(0, wrong.load());
  for (int p = 0; p < kPipes; p++) {
    // Where each run stands in its pipe: runs of a few bytes may match in several places,
    // so each is placed at its first match at or after the last run of the same thread,
    // and the runs together must cover the pipe exactly.
    std::vector<char> covered(kSent, 0);
    size_t total = 0;
    for (int t = p; t < kPipes * kPerPipe; t += kPipes) {
      for (const std::string& run : runs[t]) total += run.size();
    }
    EXPECT_EQ(kSent, total) << "pipe " << p;
    std::vector<size_t> histogram(256, 0), expected(256, 0);
    for (char c : sent[p]) expected[(uint8_t)c]++;
    for (int t = p; t < kPipes * kPerPipe; t += kPipes) {
      size_t last = 0;
      for (const std::string& run : runs[t]) {
        for (char c : run) histogram[(uint8_t)c]++;
        if (run.size() < 16) continue;
        size_t at = sent[p].find(run, last);
        ASSERT_NE(std::string::npos, at) << "a run out of order or not of the pipe, thread " << t;
        for (size_t i = at; i < at + run.size(); i++) {
          EXPECT_EQ(0, covered[i]) << "byte " << i << " of pipe " << p << " arrived twice";
          covered[i] = 1;
        }
        last = at + run.size();
      }
    }
    EXPECT_TRUE(histogram == expected) << "pipe " << p << ": bytes lost or doubled";
  }
  for (jobject in : ins) {
    JavaIoFileInputStream_close(env, in);
    env->functions->DeleteGlobalRef(env, in);
  }
}

}  // namespace
