/* A pipe read takes up to 64 KB through a buffer on the reading thread's stack: a host
   thread with a small stack of its own (256 KB) reads a pipe that a slow writer fills in
   odd pieces, beside collections at every allocation, and gets every byte in order. */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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

}  // namespace
