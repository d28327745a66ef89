/* The bounded wait of accept, read, receive and peek: its steps and polls without real
   waiting (a scripted SocketWait), then real time limits, and the ways another party
   ends a wait: a host stop and a close. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <utility>
#include <thread>

#include "net_support.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmthread.h"

namespace net_test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

std::vector<jint> gAnswers;  // what the scripted SocketWait answers, in turn; then 0
std::vector<jint> gAsked;    // the milliseconds each call asked for
std::atomic<int> gPolls{0};
std::atomic<int> gPollAnswer{0};
bool gPollThrows = false;
bool gCountEveryPoll = true;  // the scripted wait puts the counting poll back at each step

jint HOSTCALL CountingPoll(void);

jint HOSTCALL ScriptedWait(jint, jint ms) {
  gAsked.push_back(ms);
  // A wait that never ends fails the test rather than filling the process.
  if (gAsked.size() > 64) return 1;
  // A collection forced at an allocation may leave finalizers for the thread's next
  // interpreter poll; the machine's serving poll then stands in for the counting one.
  JNIEnv* env = refhost::Functions()->GetCurrentEnv();
  if (gCountEveryPoll && env != nullptr && env->thread != nullptr) env->thread->SetPollFunction(CountingPoll);
  if (gAnswers.empty()) return 0;
  jint r = gAnswers.front();
  gAnswers.erase(gAnswers.begin());
  return r;
}

const char* HOSTCALL ScriptedText(void) { return "scripted failure"; }

/* What the blocking services see of the calling thread: whether it counts as stopped for
   a collection while the host has it. */
VMThread* gWatched = nullptr;
std::vector<std::pair<int, bool>> gSafeInHost;

void NoteSafe(int slot) {
  if (gWatched != nullptr) gSafeInHost.push_back({slot, gWatched->GetInSafeRegion()});
}
jint HOSTCALL WatchedWait(jint h, jint ms) {
  NoteSafe(76);
  return refhost::RealNetworkServices()->SocketWait(h, ms);
}
jint HOSTCALL WatchedSend(jint h, const void* b, jint n) {
  NoteSafe(79);
  return refhost::RealNetworkServices()->SocketSend(h, b, n);
}
jint HOSTCALL WatchedRecv(jint h, void* b, jint n) {
  NoteSafe(78);
  return refhost::RealNetworkServices()->SocketRecv(h, b, n);
}
jint HOSTCALL WatchedConnect(jint h, const SockAddr16* a, jint n) {
  NoteSafe(70);
  return refhost::RealNetworkServices()->SocketConnect(h, a, n);
}

jint HOSTCALL CountingPoll(void) {
  gPolls++;
  if (gPollThrows) {
    JNIEnv* env = refhost::Functions()->GetCurrentEnv();
    VMJniThrowInternal(env, VMStatus_IllegalMonitorStateException, "posted");
    return 1;
  }
  return gPollAnswer.load();
}

class WaitTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    gAnswers.clear();
    gAsked.clear();
    gPolls = 0;
    gPollAnswer = 0;
    gPollThrows = false;
    env->thread->SetPollFunction(CountingPoll);
  }
  void TearDown() override {
    if (env != nullptr && env->thread != nullptr) env->thread->SetPollFunction(refhost::Functions()->YieldCheck);
    NetTest::TearDown();
  }

  /* One of the four waiting natives, with something ready for it once the wait ends. */
  struct Waiting {
    const char* name;
    const char* firstMessage;
    const char* expiredMessage;
    std::function<void(jint timeout)> setTimeout;
    std::function<void()> run;
  };
  std::vector<Waiting> Waits() {
    std::vector<Waiting> all;
    // accept: a connection waits in the backlog.
    jobject server = Server(0);
    jobject client = Connect(LocalPort(server));
    (void)client;
    jobject listener = Impl(server);
    all.push_back({"accept", "Accept failed", "timeout",
                   [=](jint t) { SetIntField(listener, "java/net/PlainSocketImpl", "timeout", t); },
                   [=] {
                     jobject target = New("java/net/PlainSocketImpl");
                     f->SetObjectField(env, target, Field("java/net/SocketImpl", "address", "Ljava/net/InetAddress;"),
                                       New("java/net/InetAddress"));
                     f->SetObjectField(env, target, Field("java/net/SocketImpl", "fd", "Ljava/io/FileDescriptor;"),
                                       New("java/io/FileDescriptor"));
                     CallNative(listener, "java/net/PlainSocketImpl", "socketAccept", "(Ljava/net/SocketImpl;)V",
                                target);
                   }});
    // read: bytes wait on the connection.
    jobject a, b;
    Pair(&a, &b);
    Write(Output(a), Bytes(8, 1), 0, 8);
    jobject in = Input(b);
    jobject impl = Impl(b);
    all.push_back({"read", "SocketRead failed", "timeout",
                   [=](jint t) { SetIntField(impl, "java/net/PlainSocketImpl", "timeout", t); },
                   [=] { Read(in, Bytes(1, 0), 0, 1); }});
    // receive and peek: datagrams wait.
    jobject d = Datagram(0);
    jobject sender = Datagram(0);
    jobject dimpl = DatagramImpl(d);
    jobject to = Address("127.0.0.1");
    for (int i = 0; i < 8; i++) {
      jobject p = f->NewObject(env, Cls("java/net/DatagramPacket"),
                               Method("java/net/DatagramPacket", "<init>", "([BILjava/net/InetAddress;I)V"), Bytes(3, 0),
                               3, to, LocalPort(d));
      f->CallVoidMethod(env, sender, Method("java/net/DatagramSocket", "send", "(Ljava/net/DatagramPacket;)V"), p);
    }
    auto datagramTimeout = [=](jint t) { SetIntField(dimpl, "java/net/PlainDatagramSocketImpl", "timeout", t); };
    all.push_back({"receive", "Receive failed", "timeout", datagramTimeout, [=] {
                     jobject p = f->NewObject(env, Cls("java/net/DatagramPacket"),
                                              Method("java/net/DatagramPacket", "<init>", "([BI)V"), Bytes(3, 0), 3);
                     CallNative(dimpl, "java/net/PlainDatagramSocketImpl", "receive", "(Ljava/net/DatagramPacket;)V", p);
                   }});
    all.push_back({"peek", "Receive failed", "Receive timed out", datagramTimeout, [=] {
                     CallIntNative(dimpl, "java/net/PlainDatagramSocketImpl", "peek", "(Ljava/net/InetAddress;)I",
                                   New("java/net/InetAddress"));
                   }});
    return all;
  }
  /* The four waits, made on the real network, then run over the scripted wait. */
  std::vector<Waiting> ScriptedWaits() {
    scripted.table.SocketWait = ScriptedWait;
    scripted.table.SocketErrorText = ScriptedText;
    std::vector<Waiting> waits = Waits();
    scripted.Install();
    return waits;
  }
  Overlay scripted;

  void Reset(std::vector<jint> answers) {
    gAnswers = answers;
    gAsked.clear();
    gPolls = 0;
  }
};

TEST_F(WaitTest, WaitsGoInStepsOfASecondWithAPollAfterEach) {
  std::vector<Waiting> waits = ScriptedWaits();
  ASSERT_EQ("", Exception()) << message;
  for (Waiting& w : waits) {
    SCOPED_TRACE(w.name);
    // 2,500 ms: 1,000, 1,000 and 500, then the time is up.
    w.setTimeout(2500);
    Reset({});
    w.run();
    EXPECT_EQ("java.io.InterruptedIOException", Exception());
    EXPECT_EQ(w.expiredMessage, message);
    EXPECT_EQ((std::vector<jint>{1000, 1000, 500}), gAsked);
    EXPECT_EQ(3, gPolls.load());
    // A negative time: up at once, no wait.
    w.setTimeout(-5);
    Reset({});
    w.run();
    EXPECT_EQ("java.io.InterruptedIOException", Exception());
    EXPECT_TRUE(gAsked.empty());
    // A failed step.
    w.setTimeout(2500);
    Reset({0, -1});
    w.run();
    EXPECT_EQ("java.net.SocketException", Exception());
    EXPECT_EQ("Set timeout failed: scripted failure", message);
    w.setTimeout(0);
    Reset({0, -1});
    w.run();
    EXPECT_EQ("java.net.SocketException", Exception());
    EXPECT_EQ(std::string(w.firstMessage) + ": scripted failure", message);
    // No limit: steps of a second until something is ready, a poll after each empty one.
    Reset({0, 0, 0, 0, 1});
    w.run();
    EXPECT_EQ("", Exception()) << message;
    EXPECT_EQ((std::vector<jint>{1000, 1000, 1000, 1000, 1000}), gAsked);
    EXPECT_EQ(4, gPolls.load());
    // A poll that says stop ends the wait with ThreadDeath, and one that posts an
    // exception of its own leaves that one.
    for (jint timeout : {0, 5000}) {
      w.setTimeout(timeout);
      Reset({});
      gPollAnswer = 1;
      w.run();
      gPollAnswer = 0;
      EXPECT_EQ("java.lang.ThreadDeath", Exception()) << timeout;
      EXPECT_EQ(1u, gAsked.size()) << timeout;
      Reset({});
      gPollThrows = true;
      w.run();
      gPollThrows = false;
      EXPECT_EQ("java.lang.IllegalMonitorStateException", Exception()) << timeout;
      EXPECT_EQ(1u, gAsked.size()) << timeout;
    }
  }
}

/* A collection made inside an allocation leaves the finalizers it found due for the
   thread's next interpreter poll. A native's wait that polls meanwhile, with no time limit,
   must still end at the host's stop rather than poll for ever. */
TEST_F(WaitTest, AStopEndsANativesWaitWhileFinalizersWaitForTheInterpreter) {
  std::vector<Waiting> waits = ScriptedWaits();
  ASSERT_EQ("", Exception()) << message;
  gCountEveryPoll = false;
  for (Waiting& w : waits) {
    SCOPED_TRACE(w.name);
    w.setTimeout(0);
    Reset({});
    env->thread->SetPollFunction(refhost::Functions()->YieldCheck);
    env->thread->SetRunFinalizersRequested();
    refhost::SetStopFlag(true);
    w.run();
    refhost::SetStopFlag(false);
    EXPECT_EQ("java.lang.ThreadDeath", Exception()) << message;
    EXPECT_LE(gAsked.size(), 2u);
  }
  gCountEveryPoll = true;
}

TEST_F(WaitTest, TimeLimitsHoldInRealTime) {
  env->thread->SetPollFunction(refhost::Functions()->YieldCheck);
  jobject server = Server(0);
  f->CallVoidMethod(env, server, Method("java/net/ServerSocket", "setSoTimeout", "(I)V"), 300);
  auto start = Clock::now();
  EXPECT_EQ(nullptr, f->CallObjectMethod(env, server, Method("java/net/ServerSocket", "accept", "()Ljava/net/Socket;")));
  int64_t ms = MillisSince(start);
  EXPECT_EQ("java.io.InterruptedIOException", Exception());
  EXPECT_EQ("timeout", message);
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 1300);
  // The listener still serves a connection made afterwards.
  jobject client = Connect(LocalPort(server));
  jobject accepted = Accept(server);
  ASSERT_NE(nullptr, accepted);
  f->CallVoidMethod(env, accepted, Method("java/net/Socket", "setSoTimeout", "(I)V"), 300);
  jobject in = Input(accepted);
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  jbyteArray b = Bytes(16, 0);
  start = Clock::now();
  EXPECT_EQ(0, f->CallIntMethod(env, in, read, b, 0, 16));
  ms = MillisSince(start);
  EXPECT_EQ("java.io.InterruptedIOException", Exception());
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 1300);
  // Bytes sent after a time-out are still read.
  Write(Output(client), Bytes(5, 9), 0, 5);
  EXPECT_EQ(5, f->CallIntMethod(env, in, read, b, 0, 16));
  EXPECT_EQ("", Exception()) << message;
}

/* A thread of its own, attached to the world's machine, running fn with its env. */
struct JavaThread {
  std::thread thread;
  std::atomic<void*> handle{nullptr};
  std::atomic<bool> started{false}, done{false};
  Clock::time_point finished;
  std::string thrown, text;
  template <typename Fn>
  JavaThread(JavaVM* jvm, Fn fn) {
    thread = std::thread([this, jvm, fn] {
      JNIEnv* e = jnifunc_test::AttachThisThread(jvm);
      handle = refhost::Functions()->CurrentThreadHandle();
      started = true;
      fn(e);
      finished = Clock::now();
      if (e->thread->GetException() != nullptr) {
        jthrowable t = e->functions->ExceptionOccurred(e);
        e->functions->ExceptionClear(e);
        thrown = ClassName(e, t);
        jstring m = (jstring)e->functions->CallObjectMethod(
            e, t, e->functions->GetMethodID(e, e->functions->GetObjectClass(e, t), "getMessage", "()Ljava/lang/String;"));
        if (m != nullptr) {
          const char* chars = e->functions->GetStringUTFChars(e, m, nullptr);
          text = chars;
          e->functions->ReleaseStringUTFChars(e, m, chars);
        }
        e->functions->ExceptionClear(e);
      }
      jnifunc_test::DetachThisThread(jvm);
      done = true;
    });
    // Its attach may collect: the machine's own thread waits for it outside.
    WhileOutside([&] {
      while (!started) std::this_thread::yield();
    });
  }
  static std::string ClassName(JNIEnv* e, jobject o) {
    VMObject* obj = VMJniHandle::UnHandle(e, o);
    std::string name;
    VMLiteral* n = obj->GetClass()->GetName();
    for (uint32_t i = 0; i < n->GetSize(); i++) {
      char c = ((const char*)n->GetFirstElementPointer())[i];
      name += c == '/' ? '.' : c;
    }
    return name;
  }
  bool Blocked(int ms) {
    WhileOutside([&] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    return !done;
  }
};

TEST_F(WaitTest, AHostStopOrACloseEndsAWaitWithoutLimit) {
  env->thread->SetPollFunction(refhost::Functions()->YieldCheck);
  jobject server = f->NewGlobalRef(env, Server(0));
  jmethodID accept = Method("java/net/ServerSocket", "accept", "()Ljava/net/Socket;");
  jmethodID closeServer = Method("java/net/ServerSocket", "close", "()V");

  // A host stop: ThreadDeath within a second.
  {
    JavaThread t(world.jvm, [&](JNIEnv* e) { e->functions->CallObjectMethod(e, server, accept); });
    ASSERT_TRUE(t.Blocked(200));
    auto at = Clock::now();
    refhost::Functions()->StopThread(t.handle, 1);
    JoinOutside(t.thread);
    EXPECT_EQ("java.lang.ThreadDeath", t.thrown);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(t.finished - at).count(), 1000);
  }
  // A close from another thread: SocketException within a second.
  {
    JavaThread t(world.jvm, [&](JNIEnv* e) { e->functions->CallObjectMethod(e, server, accept); });
    ASSERT_TRUE(t.Blocked(200));
    auto at = Clock::now();
    f->CallVoidMethod(env, server, closeServer);
    JoinOutside(t.thread);
    EXPECT_EQ("java.net.SocketException", t.thrown);
    EXPECT_EQ("Accept failed: Socket closed", t.text);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(t.finished - at).count(), 1000);
  }
  // A reader, closed under it.
  jobject a, b;
  Pair(&a, &b);
  jobject in = f->NewGlobalRef(env, Input(b));
  jobject socket = f->NewGlobalRef(env, b);
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  {
    JavaThread t(world.jvm, [&](JNIEnv* e) { e->functions->CallIntMethod(e, in, read, e->functions->NewByteArray(e, 9), 0, 9); });
    ASSERT_TRUE(t.Blocked(200));
    auto at = Clock::now();
    f->CallVoidMethod(env, socket, Method("java/net/Socket", "close", "()V"));
    JoinOutside(t.thread);
    EXPECT_EQ("java.net.SocketException", t.thrown);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(t.finished - at).count(), 1000);
  }
  f->DeleteGlobalRef(env, server);
  f->DeleteGlobalRef(env, in);
  f->DeleteGlobalRef(env, socket);
}

/* A thread the host holds in a socket service counts as stopped for a collection, and
   runs again (the flag cleared) as soon as the service answers. */
TEST_F(WaitTest, ThreadsInBlockingSocketServicesLetACollectionRun) {
  jobject server = Server(0);
  Overlay o;
  o.table.SocketWait = WatchedWait;
  o.table.SocketSend = WatchedSend;
  o.table.SocketRecv = WatchedRecv;
  o.table.SocketConnect = WatchedConnect;
  o.Install();
  gWatched = env->thread;
  gSafeInHost.clear();
  ASSERT_FALSE(env->thread->GetInSafeRegion());
  jobject client = Connect(LocalPort(server));
  jobject accepted = Accept(server);
  Write(Output(client), Bytes(3000, 4), 100, 2500);
  jint got = 0;
  for (int i = 0; i < 100 && got < 2500; i++) got += Read(Input(accepted), Bytes(3000, 0), 0, 2500 - got);
  EXPECT_EQ(2500, got);
  EXPECT_EQ("", Exception()) << message;
  gWatched = nullptr;
  std::set<int> slots;
  for (const auto& seen : gSafeInHost) {
    EXPECT_TRUE(seen.second) << "slot " << seen.first;
    slots.insert(seen.first);
  }
  EXPECT_EQ((std::set<int>{70, 76, 78, 79}), slots);
  EXPECT_FALSE(env->thread->GetInSafeRegion());
}

/* A socket wait the host holds until the test lets it go (or a watchdog does, which
   fails the test): while it is held, only a machine that counts the waiter as stopped
   can finish a collection. */
std::mutex gGateLock;
std::condition_variable gGateChanged;
int gInWait = 0;
bool gGateOpen = false;
jint HOSTCALL GatedWait(jint h, jint ms) {
  std::unique_lock<std::mutex> lock(gGateLock);
  gInWait++;
  gGateChanged.notify_all();
  gGateChanged.wait(lock, [] { return gGateOpen; });
  gInWait--;
  lock.unlock();
  return refhost::RealNetworkServices()->SocketWait(h, ms);
}
void OpenGate(bool open) {
  std::lock_guard<std::mutex> lock(gGateLock);
  gGateOpen = open;
  gGateChanged.notify_all();
}
bool WaitForWaiter() {
  std::unique_lock<std::mutex> lock(gGateLock);
  return gGateChanged.wait_for(lock, std::chrono::seconds(10), [] { return gInWait == 1; });
}

/* One thread blocks in accept or read, with and without a time limit, while this one
   allocates until the heap is full three times over: each collection runs beside the
   blocked thread and ends without waiting for it, which then takes its connection or
   its bytes into an array only its own reference holds. Several rounds of each. */
TEST_F(WaitTest, CollectionsOnAnotherThreadEndWhileOneBlocksInASocketWait) {
  env->thread->SetPollFunction(refhost::Functions()->YieldCheck);
  Overlay o;
  o.table.SocketWait = GatedWait;
  o.Install();
  HHeap* heap = world.vm->GetHeap();
  jmethodID accept = Method("java/net/ServerSocket", "accept", "()Ljava/net/Socket;");
  jmethodID serverTimeout = Method("java/net/ServerSocket", "setSoTimeout", "(I)V");
  jmethodID socketTimeout = Method("java/net/Socket", "setSoTimeout", "(I)V");
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  jmethodID closeSocket = Method("java/net/Socket", "close", "()V");
  jmethodID closeServer = Method("java/net/ServerSocket", "close", "()V");
  const int kRounds = 3;
  for (int round = 0; round < kRounds; round++) {
    for (int kind = 0; kind < 4; kind++) {
      SCOPED_TRACE(testing::Message() << "round " << round << ", " << (kind < 2 ? "accept" : "read")
                                      << (kind & 1 ? " with a time limit" : " without one"));
      const jint limit = (kind & 1) ? 20000 : 0;
      jobject server = f->NewGlobalRef(env, Server(0));
      jobject client = nullptr, accepted = nullptr, in = nullptr;
      if (kind < 2) {
        f->CallVoidMethod(env, server, serverTimeout, limit);
      } else {
        client = f->NewGlobalRef(env, Connect(LocalPort(server)));
        OpenGate(true);
        accepted = f->NewGlobalRef(env, Accept(server));
        OpenGate(false);
        f->CallVoidMethod(env, accepted, socketTimeout, limit);
        in = f->NewGlobalRef(env, Input(accepted));
      }
      ASSERT_EQ("", Exception()) << message;
      std::atomic<bool> watchdogFired{false}, finished{false};
      std::string got;
      std::thread watchdog([&] {
        for (int i = 0; i < 100 && !finished; i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished) {
          watchdogFired = true;
          OpenGate(true);
        }
      });
      JavaThread t(world.jvm, [&](JNIEnv* e) {
        const JNINativeInterface_* g = e->functions;
        if (kind < 2) {
          jobject s = g->CallObjectMethod(e, server, accept);
          got = s != nullptr ? "accepted" : "none";
          if (s != nullptr) g->CallVoidMethod(e, s, closeSocket);
        } else {
          jbyteArray buf = g->NewByteArray(e, 9);
          jint n = g->CallIntMethod(e, in, read, buf, 0, 9);
          if (n > 0) {
            got.resize((size_t)n);
            g->GetByteArrayRegion(e, buf, 0, n, (jbyte*)&got[0]);
          }
        }
      });
      bool waiting = false;
      WhileOutside([&] { waiting = WaitForWaiter(); });
      ASSERT_TRUE(waiting);
      // A heap a few megabytes above what is in use, filled until it has collected
      // three times on this thread.
      const uint64_t capacity = refhost::Functions()->HeapTotalBytes(heap);
      refhost::SetHeapCapacity(heap, refhost::BytesInUse(heap) + (4u << 20));
      const uint32_t before = VM::GetGarbageCollectRequests();
      for (int i = 0; i < 1000 && VM::GetGarbageCollectRequests() < before + 3; i++) {
        jbyteArray garbage = f->NewByteArray(env, 256 * 1024);
        ASSERT_NE(nullptr, garbage) << Exception();
        f->DeleteLocalRef(env, garbage);
      }
      refhost::SetHeapCapacity(heap, capacity);
      EXPECT_LE(before + 3, VM::GetGarbageCollectRequests());
      {
        std::lock_guard<std::mutex> lock(gGateLock);
        EXPECT_EQ(1, gInWait) << "the waiter left its wait before the collections ended";
      }
      EXPECT_FALSE(watchdogFired.load()) << "a collection waited for the thread blocked in the host";
      // Now what it waits for, and the host's wait let go.
      jobject peer = nullptr;
      if (kind < 2) {
        peer = f->NewGlobalRef(env, Connect(LocalPort(server)));
      } else {
        Write(Output(client), Bytes(9, 3), 0, 9);
      }
      OpenGate(true);
      JoinOutside(t.thread);
      finished = true;
      watchdog.join();
      OpenGate(false);
      EXPECT_EQ("", t.thrown) << t.text;
      if (kind < 2) {
        EXPECT_EQ("accepted", got);
      } else {
        std::vector<uint8_t> sent = Contents(Bytes(9, 3));
        EXPECT_EQ(std::string(sent.begin(), sent.end()), got);
      }
      for (jobject socket : {peer, client, accepted})
        if (socket != nullptr) {
          f->CallVoidMethod(env, socket, closeSocket);
          f->DeleteGlobalRef(env, socket);
        }
      if (in != nullptr) f->DeleteGlobalRef(env, in);
      f->CallVoidMethod(env, server, closeServer);
      f->DeleteGlobalRef(env, server);
      EXPECT_EQ("", Exception()) << message;
    }
  }
}

/* A reader inside the host's receive when another thread closes the socket: the close
   marks the descriptor closed before it shuts the connection down, and the receive then
   answers 0. To the reader that is "Socket closed", not the end of the stream. */
std::atomic<bool> gInRecv{false}, gClosedMeanwhile{false};
jint HOSTCALL RecvUntilClosed(jint, void*, jint) {
  gInRecv = true;
  for (int i = 0; i < 500 && !gClosedMeanwhile; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return 0;
}

TEST_F(WaitTest, AReadWhoseSocketAnotherThreadClosesSaysSocketClosed) {
  env->thread->SetPollFunction(refhost::Functions()->YieldCheck);
  jobject a, b;
  Pair(&a, &b);
  Write(Output(a), Bytes(1, 7), 0, 1);  // the wait finds input, so the receive is reached
  jobject in = f->NewGlobalRef(env, Input(b));
  jobject socket = f->NewGlobalRef(env, b);
  gInRecv = false;
  gClosedMeanwhile = false;
  Overlay o;
  o.table.SocketRecv = RecvUntilClosed;
  o.Install();
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  jint got = -2;
  JavaThread t(world.jvm, [&](JNIEnv* e) { got = e->functions->CallIntMethod(e, in, read, e->functions->NewByteArray(e, 9), 0, 9); });
  WhileOutside([&] {
    for (int i = 0; i < 500 && !gInRecv; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  ASSERT_TRUE(gInRecv.load());
  f->CallVoidMethod(env, socket, Method("java/net/Socket", "close", "()V"));
  EXPECT_EQ("", Exception()) << message;
  gClosedMeanwhile = true;
  JoinOutside(t.thread);
  EXPECT_EQ("java.net.SocketException", t.thrown) << "read answered " << got;
  EXPECT_EQ("Socket closed", t.text);
  refhost::SetNetworkOverlay(nullptr);
  f->DeleteGlobalRef(env, in);
  f->DeleteGlobalRef(env, socket);
}

/* The peer sends three bytes and resets the connection (SO_LINGER 0) before the reader
   reads: the reader gets the bytes, then a SocketException, never a quiet end of the
   stream that would pass the cut-off data for the whole. */
TEST_F(WaitTest, AResetRightAfterTheDataEndsTheStreamWithAnException) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  struct sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t sl = sizeof sa;
  ASSERT_EQ(0, bind(listener, (struct sockaddr*)&sa, sizeof sa));
  ASSERT_EQ(0, listen(listener, 1));
  ASSERT_EQ(0, getsockname(listener, (struct sockaddr*)&sa, &sl));
  jobject client = Connect(ntohs(sa.sin_port));
  int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  ASSERT_EQ(3, send(peer, "abc", 3, MSG_NOSIGNAL));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  struct linger l = {1, 0};
  ASSERT_EQ(0, setsockopt(peer, SOL_SOCKET, SO_LINGER, &l, sizeof l));
  close(peer);
  close(listener);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  jobject in = Input(client);
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  EXPECT_EQ(3, f->CallIntMethod(env, in, read, Bytes(16, 0), 0, 16));
  EXPECT_EQ("", Exception()) << message;
  jint next = f->CallIntMethod(env, in, read, Bytes(16, 0), 0, 16);
  EXPECT_EQ("java.net.SocketException", Exception()) << "the read answered " << next;
  EXPECT_EQ("Receive failed: Connection reset by peer", message);
  f->CallVoidMethod(env, client, Method("java/net/Socket", "close", "()V"));
}

/* A wait that saw input or a connection which another thread then took: the receive or
   accept after it must not wait again without limit. A scripted SocketWait says "ready"
   once with nothing there; each native then waits again for what its limit has left and
   ends with the limit. A watchdog closes the socket after 3 s, so a native that waits
   again on its own fails instead of hanging. */
std::atomic<int> gLies{0};
jint HOSTCALL ReadyOnceWithNothingThere(jint h, jint ms) {
  if (gLies.fetch_sub(1) > 0) return 1;
  return refhost::RealNetworkServices()->SocketWait(h, ms);
}

TEST_F(WaitTest, ATimeLimitHoldsWhenWhatTheWaitSawIsGone) {
  jobject server = Server(0);
  jobject listener = Impl(server);
  jobject a, b;
  Pair(&a, &b);
  jobject in = Input(b);
  jobject readImpl = Impl(b);
  jobject d = Datagram(0);
  jobject dimpl = DatagramImpl(d);
  const char* P = "java/net/PlainSocketImpl";
  const char* D = "java/net/PlainDatagramSocketImpl";
  struct Case {
    const char* name;
    jobject descriptorOwner;
    const char* ownerClass;
    const char* expired;
    std::function<void()> run;
  } cases[] = {
      {"accept", listener, P, "timeout",
       [&] {
         jobject target = New(P);
         f->SetObjectField(env, target, Field("java/net/SocketImpl", "address", "Ljava/net/InetAddress;"),
                           New("java/net/InetAddress"));
         f->SetObjectField(env, target, Field("java/net/SocketImpl", "fd", "Ljava/io/FileDescriptor;"),
                           New("java/io/FileDescriptor"));
         CallNative(listener, P, "socketAccept", "(Ljava/net/SocketImpl;)V", target);
       }},
      {"read", readImpl, P, "timeout", [&] { Read(in, Bytes(4, 0), 0, 4); }},
      {"receive", dimpl, D, "timeout",
       [&] {
         jobject p = f->NewObject(env, Cls("java/net/DatagramPacket"), Method("java/net/DatagramPacket", "<init>", "([BI)V"),
                                  Bytes(3, 0), 3);
         CallNative(dimpl, D, "receive", "(Ljava/net/DatagramPacket;)V", p);
       }},
      {"peek", dimpl, D, "Receive timed out",
       [&] { CallIntNative(dimpl, D, "peek", "(Ljava/net/InetAddress;)I", New("java/net/InetAddress")); }},
  };
  Overlay o;
  o.table.SocketWait = ReadyOnceWithNothingThere;
  o.Install();
  for (Case& c : cases) {
    SetIntField(c.descriptorOwner, c.ownerClass, "timeout", 300);
    jobject fd = ObjectField(c.descriptorOwner, c.ownerClass, "fd", "Ljava/io/FileDescriptor;");
    jint handle = IntField(fd, "java/io/FileDescriptor", "fd") - 1;
    gLies = 1;
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
      for (int i = 0; i < 300 && !finished; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!finished) refhost::RealNetworkServices()->SocketClose(handle);
    });
    auto start = Clock::now();
    c.run();
    int64_t took = MillisSince(start);
    finished = true;
    watchdog.join();
    EXPECT_EQ("java.io.InterruptedIOException", Exception()) << c.name << ": " << message;
    EXPECT_EQ(c.expired, message) << c.name;
    EXPECT_LE(gLies.load(), 0) << c.name << ": the scripted wait was met";
    EXPECT_GE(took, 250) << c.name << ": the rest of the limit was waited";
    EXPECT_LT(took, 2000) << c.name;
  }
  refhost::SetNetworkOverlay(nullptr);
}

}  // namespace
}  // namespace net_test
