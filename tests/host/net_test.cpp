/* The network services over the loopback: handles, waits and what ends them, transfers,
   datagrams, look-ups, failure texts and options. Nothing leaves 127.0.0.1; every port
   comes from binding port 0. */
#include "host_test_util.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

/* How late a loaded machine (two cores running the whole suite at once) may run a thread
   again once its wait has ended: an upper bound on a wait's time adds it, and a wait
   that must end early is told from one that runs to its limit only where that limit is
   far beyond it. */
const int64_t kLate = 2000;

bool LoopbackUsable() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = bind(fd, (struct sockaddr*)&a, sizeof a) == 0;
  close(fd);
  return ok;
}

int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (readdir(d)) n++;
  closedir(d);
  return n;
}

SockAddr16 Loopback(uint16_t port) {
  SockAddr16 r;
  memset(&r, 0, sizeof r);
  r.family = 2;
  r.portNet = htons(port);
  r.addrNet = htonl(INADDR_LOOPBACK);
  return r;
}

class NetTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    if (!LoopbackUsable()) GTEST_SKIP() << "127.0.0.1 cannot be bound here";
    host->NetStartup();
    baseline = refhost::OpenSocketCount();
  }
  void TearDown() override {
    if (!IsSkipped()) {
      EXPECT_EQ(baseline, refhost::OpenSocketCount()) << "a socket was left open";
    }
    HostTest::TearDown();
  }

  uint16_t PortOf(jint h) {
    SockAddr16 r;
    jint len = 16;
    EXPECT_EQ(0, host->SocketGetName(h, &r, &len));
    return ntohs(r.portNet);
  }
  /* A stream socket listening on 127.0.0.1 at a port of the system's choice. */
  jint Listener(uint16_t* port, jint backlog = 50) {
    jint h = host->SocketCreate(2, 1, 0);
    SockAddr16 a = Loopback(0);
    EXPECT_EQ(0, host->SocketBind(h, &a, 16));
    EXPECT_EQ(0, host->SocketListen(h, backlog));
    *port = PortOf(h);
    return h;
  }
  /* A connected pair: the client's handle and the accepted one. */
  void Pair(jint* client, jint* server) {
    uint16_t port;
    jint l = Listener(&port);
    *client = host->SocketCreate(2, 1, 0);
    SockAddr16 a = Loopback(port);
    ASSERT_EQ(0, host->SocketConnect(*client, &a, 16));
    SockAddr16 peer;
    jint len = 16;
    *server = host->SocketAccept(l, &peer, &len);
    ASSERT_GE(*server, 3);
    host->SocketClose(l);
  }
  /* A datagram socket bound to 127.0.0.1. */
  jint Datagram(uint16_t* port) {
    jint h = host->SocketCreate(2, 0, 0);
    SockAddr16 a = Loopback(0);
    EXPECT_EQ(0, host->SocketBind(h, &a, 16));
    *port = PortOf(h);
    return h;
  }
  std::string Text() { return host->SocketErrorText(); }

  uint32_t baseline = 0;
};

/* Runs fn on a thread of its own and gives back its host handle once it runs. */
struct Waiter {
  std::thread thread;
  std::atomic<void*> handle{nullptr};
  std::atomic<bool> done{false};
  Clock::time_point finished;
  template <typename Fn>
  explicit Waiter(Fn fn) {
    thread = std::thread([this, fn] {
      handle = refhost::Functions()->CurrentThreadHandle();
      fn();
      finished = Clock::now();
      done = true;
      refhost::Functions()->AttachThreadEnv(nullptr, nullptr);  // clears a stop
    });
    while (!handle) std::this_thread::yield();
  }
  /* Whether it is still blocked after ms. */
  bool Blocked(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return !done;
  }
  void Join() { thread.join(); }
};

TEST_F(NetTest, StreamRoundTripThroughAcceptAndPartialReads) {
  uint16_t port;
  jint l = Listener(&port);
  jint c = host->SocketCreate(2, 1, 0);
  SockAddr16 to = Loopback(port);
  ASSERT_EQ(0, host->SocketConnect(c, &to, 16));
  uint16_t clientPort = PortOf(c);
  EXPECT_GT(host->SocketWait(l, 1000), 0) << "the connection is pending";

  SockAddr16 peer;
  memset(&peer, 0xEE, sizeof peer);
  jint len = 16;
  jint s = host->SocketAccept(l, &peer, &len);
  ASSERT_GE(s, 3);
  EXPECT_EQ(16, len);
  EXPECT_EQ(2, peer.family);
  EXPECT_EQ(clientPort, ntohs(peer.portNet));
  EXPECT_EQ(htonl(INADDR_LOOPBACK), peer.addrNet);
  for (int i = 0; i < 8; i++) EXPECT_EQ(0, peer.zero[i]);

  std::vector<char> out(5000), in(5000, 0);
  for (size_t i = 0; i < out.size(); i++) out[i] = (char)(i * 7 + 3);
  EXPECT_EQ(5000, host->SocketSend(c, out.data(), 5000));
  size_t got = 0;
  while (got < in.size()) {
    ASSERT_GT(host->SocketWait(s, 1000), 0);
    jint n = host->SocketRecv(s, in.data() + got, (jint)std::min<size_t>(333, in.size() - got));
    ASSERT_GT(n, 0);
    ASSERT_LE(n, 333) << "never more than asked";
    got += n;
  }
  EXPECT_EQ(out, in);
  EXPECT_EQ(0, host->SocketHasInput(s));
  jint avail = -5;
  EXPECT_EQ(0, host->SocketAvailable(s, &avail));
  EXPECT_EQ(0, avail);
  EXPECT_EQ(3, host->SocketSend(c, "abc", 3));
  EXPECT_GT(host->SocketWait(s, 1000), 0);
  EXPECT_NE(0, host->SocketHasInput(s));
  EXPECT_EQ(0, host->SocketAvailable(s, &avail));
  EXPECT_EQ(3, avail);

  // The end of the stream: ready, then 0.
  host->SocketClose(c);
  char buf[8];
  EXPECT_EQ(3, host->SocketRecv(s, buf, 8));
  EXPECT_GT(host->SocketWait(s, 1000), 0);
  EXPECT_EQ(0, host->SocketRecv(s, buf, 8));
  EXPECT_EQ(0, host->SocketRecv(s, buf, 0));
  host->SocketClose(s);
  host->SocketClose(l);
}

TEST_F(NetTest, WaitsRunTheirWholeTimeAndSignalsDoNotShortenThem) {
  jint c, s;
  Pair(&c, &s);
  auto start = Clock::now();
  EXPECT_EQ(0, host->SocketWait(s, 300));
  int64_t ms = MillisSince(start);
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 300 + kLate);

  start = Clock::now();
  EXPECT_EQ(0, host->SocketWait(s, 0));
  EXPECT_EQ(0, host->SocketWait(s, -1)) << "a negative time is an immediate check, never a wait without end";
  EXPECT_EQ(0, host->SocketWait(s, INT32_MIN));
  EXPECT_LT(MillisSince(start), kLate);

  // Signals without SA_RESTART interrupt poll; the wait goes on for what is left.
  struct sigaction sa, old;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = [](int) {};
  sigaction(SIGUSR1, &sa, &old);
  pthread_t me = pthread_self();
  std::atomic<bool> stop{false};
  start = Clock::now();
  // Kicks for no longer than the wait may take: one that began again at each signal
  // still ends, too late.
  std::thread kicker([&] {
    while (!stop && MillisSince(start) < 400 + kLate) {
      pthread_kill(me, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  EXPECT_EQ(0, host->SocketWait(s, 400));
  ms = MillisSince(start);
  stop = true;
  kicker.join();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_GE(ms, 400);
  EXPECT_LT(ms, 400 + kLate);

  // Data ready: at once.
  EXPECT_EQ(1, host->SocketSend(c, "x", 1));
  start = Clock::now();
  EXPECT_GT(host->SocketWait(s, 5000), 0);
  EXPECT_LT(MillisSince(start), kLate);
  host->SocketClose(c);
  host->SocketClose(s);
}

TEST_F(NetTest, HostStopEndsEveryBlockingServiceAndSocketWaitOnlyOnce) {
  jint c, s;
  Pair(&c, &s);
  uint16_t lport;
  jint l = Listener(&lport);

  // SocketWait: one early 0, then an ordinary wait again.
  std::atomic<int> first{99}, second{99};
  std::atomic<int64_t> secondMs{0};
  Clock::time_point firstBack;
  Waiter w([&] {
    first = host->SocketWait(s, 5000);
    firstBack = Clock::now();
    auto start = Clock::now();
    second = host->SocketWait(s, 300);
    secondMs = MillisSince(start);
  });
  ASSERT_TRUE(w.Blocked(100));
  auto stopped = Clock::now();
  host->StopThread(w.handle, 1);
  w.Join();
  EXPECT_EQ(0, first.load());
  EXPECT_EQ(0, second.load());
  EXPECT_GE(secondMs.load(), 300) << "the stop is answered once, not on every wait";
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(firstBack - stopped).count(), kLate);

  // The blocking transfers and accept: -1 with the stop's text, at once.
  struct Case {
    const char* what;
    std::function<jint()> call;
  };
  std::vector<char> big(1 << 20, 'z');
  std::vector<Case> cases = {
      {"recv",
       [&] {
         char b[16];
         return host->SocketRecv(s, b, 16);
       }},
      {"accept",
       [&] {
         SockAddr16 p;
         jint len = 16;
         return host->SocketAccept(l, &p, &len);
       }},
      {"send to a peer that does not read",
       [&] {
         jint r = 0;
         for (int i = 0; i < 64 && r >= 0; i++) r = host->SocketSend(c, big.data(), (jint)big.size());
         return r;
       }},
  };
  for (Case& k : cases) {
    std::atomic<jint> result{99};
    std::string text;
    Waiter t([&] {
      result = k.call();
      text = host->SocketErrorText();
    });
    ASSERT_TRUE(t.Blocked(200)) << k.what;
    auto at = Clock::now();
    host->StopThread(t.handle, 1);
    t.Join();
    EXPECT_EQ(-1, result.load()) << k.what;
    EXPECT_EQ("Interrupted by host stop", text) << k.what;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(t.finished - at).count(), kLate) << k.what;
  }
  host->SocketClose(c);
  host->SocketClose(s);
  host->SocketClose(l);
}

TEST_F(NetTest, HostStopEndsAConnectThatCannotComplete) {
  // A listener with backlog 0 takes one connection; the next connect stays in progress.
  uint16_t port;
  jint l = Listener(&port, 0);
  SockAddr16 to = Loopback(port);
  std::vector<jint> queued;
  jint blocked = -1;
  for (int i = 0; i < 4 && blocked < 0; i++) {
    jint h = host->SocketCreate(2, 1, 0);
    std::atomic<jint> result{99};
    Waiter t([&] { result = host->SocketConnect(h, &to, 16); });
    if (!t.Blocked(300)) {
      t.Join();
      queued.push_back(h);
      continue;
    }
    auto at = Clock::now();
    host->StopThread(t.handle, 1);
    t.Join();
    EXPECT_EQ(-1, result.load());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(t.finished - at).count(), kLate);
    blocked = h;
  }
  if (blocked < 0) ADD_FAILURE() << "no connect could be made to wait on this system";
  for (jint h : queued) host->SocketClose(h);
  if (blocked >= 0) host->SocketClose(blocked);
  host->SocketClose(l);
}

TEST_F(NetTest, CloseFromAnotherThreadWakesTheWaiterAndRetiresTheHandle) {
  struct Kind {
    const char* what;
    bool stream, listen;
  };
  for (Kind k : {Kind{"listening", true, true}, Kind{"connected", true, false}, Kind{"datagram", false, false}}) {
    for (int blocking = 0; blocking < 2; blocking++) {
      jint h, other = -1, extra = -1;
      if (k.listen) {
        uint16_t port;
        h = Listener(&port);
      } else if (k.stream) {
        Pair(&other, &h);
      } else {
        uint16_t port;
        h = Datagram(&port);
      }
      std::atomic<jint> result{99};
      Waiter t([&] {
        if (!blocking) {
          result = host->SocketWait(h, 10000);
        } else if (k.listen) {
          SockAddr16 p;
          jint len = 16;
          result = host->SocketAccept(h, &p, &len);
        } else if (k.stream) {
          char b[4];
          result = host->SocketRecv(h, b, 4);
        } else {
          char b[4];
          SockAddr16 from;
          result = host->SocketRecvFrom(h, b, 4, &from);
        }
      });
      ASSERT_TRUE(t.Blocked(150)) << k.what;
      auto at = Clock::now();
      EXPECT_EQ(0, host->SocketClose(h));
      t.Join();
      EXPECT_EQ(-1, result.load()) << k.what << (blocking ? " blocking" : " wait");
      EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(t.finished - at).count(), kLate) << k.what;
      // Everything after the close fails without touching another socket.
      extra = host->SocketCreate(2, k.stream ? 1 : 0, 0);
      EXPECT_NE(h, extra) << "a closed handle's number came back";
      char b[4];
      jint len = 16;
      SockAddr16 r;
      EXPECT_EQ(-1, host->SocketRecv(h, b, 4));
      EXPECT_EQ("Socket closed", Text());
      EXPECT_EQ(-1, host->SocketSend(h, "x", 1));
      EXPECT_EQ(-1, host->SocketWait(h, 10));
      EXPECT_EQ(-1, host->SocketGetName(h, &r, &len));
      EXPECT_EQ(-1, host->SocketClose(h));
      EXPECT_EQ(0, host->SocketGetName(extra, &r, &len)) << "the new socket is untouched";
      host->SocketClose(extra);
      if (other >= 0) host->SocketClose(other);
    }
  }
}

TEST_F(NetTest, AListenerShutDownUnderAWaiterIsClosedToIt) {
  // The machine shuts a socket down before it closes it: a waiter woken by the shutdown
  // must not go on to accept on a dead listener.
  uint16_t port;
  jint l = Listener(&port);
  std::atomic<jint> result{99};
  std::string text;
  Waiter t([&] {
    result = host->SocketWait(l, 10000);
    text = host->SocketErrorText();
  });
  ASSERT_TRUE(t.Blocked(150));
  EXPECT_EQ(0, host->SocketShutdown(l, 2));
  t.Join();
  EXPECT_EQ(-1, result.load());
  EXPECT_EQ("Socket closed", text);
  SockAddr16 p;
  jint len = 16;
  EXPECT_EQ(-1, host->SocketAccept(l, &p, &len));
  EXPECT_EQ("Socket closed", Text());
  host->SocketClose(l);
}

TEST_F(NetTest, ClosingWhileCallsRunNeverLeaksOrClosesTwice) {
  int before = -1;
  for (int round = 0; round < 200; round++) {
    if (round == 1) before = OpenDescriptors();  // after this thread's own wake descriptor
    jint c, s;
    Pair(&c, &s);
    std::atomic<bool> go{false};
    std::thread reader([&] {
      while (!go) std::this_thread::yield();
      char b[64];
      while (host->SocketRecv(s, b, sizeof b) > 0) {
      }
    });
    std::thread writer([&] {
      while (!go) std::this_thread::yield();
      char b[64] = {1};
      while (host->SocketSend(c, b, sizeof b) > 0) {
      }
    });
    go = true;
    std::this_thread::sleep_for(std::chrono::microseconds(round * 5));
    host->SocketClose(round % 2 ? s : c);
    host->SocketClose(round % 2 ? c : s);
    reader.join();
    writer.join();
  }
  EXPECT_EQ(before, OpenDescriptors()) << "every OS descriptor is closed once the last call leaves";
}

TEST_F(NetTest, HandlesAreNeverReusedAndStrangersTouchNothing) {
  std::set<jint> seen;
  for (int i = 0; i < 10000; i++) {
    jint h = host->SocketCreate(2, i % 2, 0);
    ASSERT_GE(h, 3);
    ASSERT_LE(h, 0x7FFFFFFE);
    ASSERT_TRUE(seen.insert(h).second) << "handle " << h << " given twice";
    ASSERT_EQ(0, host->SocketClose(h));
  }
  jint live = host->SocketCreate(2, 1, 0);
  SockAddr16 a = Loopback(0);
  ASSERT_EQ(0, host->SocketBind(live, &a, 16));
  for (jint bad : {-2, -1, 0, 1, 2, 3, live + 1, live + 1000, (jint)0x7FFFFFFF, (jint)INT32_MIN}) {
    char b[4] = {0};
    jint n = 0, on = 0, sec = 0;
    SockAddr16 r;
    jint len = 16;
    EXPECT_EQ(-1, host->SocketSend(bad, b, 4)) << bad;
    EXPECT_EQ("Bad socket handle", Text()) << bad;
    EXPECT_EQ(-1, host->SocketRecv(bad, b, 4));
    EXPECT_EQ(-1, host->SocketWait(bad, 10));
    EXPECT_EQ(0, host->SocketHasInput(bad));
    EXPECT_EQ(-1, host->SocketAvailable(bad, &n));
    EXPECT_EQ(-1, host->SocketGetName(bad, &r, &len));
    EXPECT_EQ(-1, host->StreamGetLinger(bad, &on, &sec));
    EXPECT_EQ(-1, host->SocketShutdown(bad, 2));
    EXPECT_EQ(-1, host->SocketClose(bad));
  }
  // Numbers run out at the top of the range instead of wrapping into other handles.
  host->SocketClose(live);
  refhost::SetNextSocketHandle(0x7FFFFFFE);
  jint last = host->SocketCreate(2, 1, 0);
  EXPECT_EQ(0x7FFFFFFE, last);
  EXPECT_EQ(-1, host->SocketCreate(2, 0, 0));
  host->SocketClose(last);
  // Back to numbers never given (a hook only tests may use), for the tests that follow.
  refhost::SetNextSocketHandle(live + 1);
}

TEST_F(NetTest, SendsAfterThePeerResetFailWithoutSigpipe) {
  jint c, s;
  Pair(&c, &s);
  // Unread data makes the close a reset.
  EXPECT_EQ(5, host->SocketSend(c, "hello", 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  host->SocketClose(s);
  std::vector<char> block(65536, 'q');
  jint r = 0;
  for (int i = 0; i < 100 && r >= 0; i++) {
    r = host->SocketSend(c, block.data(), (jint)block.size());
    if (r >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(-1, r);
  EXPECT_FALSE(Text().empty());
  EXPECT_EQ(-1, host->SocketSend(c, "x", 1)) << "and again, with the process alive";
  host->SocketClose(c);
}

TEST_F(NetTest, DatagramsKeepTheirBoundariesAndTruncateIntoSmallBuffers) {
  uint16_t pa, pb;
  jint a = Datagram(&pa), b = Datagram(&pb);
  SockAddr16 toB = Loopback(pb);
  std::vector<char> out(65507);
  for (size_t i = 0; i < out.size(); i++) out[i] = (char)(i ^ (i >> 8));
  for (jint n : {0, 1, 776, 777, 1500, 65507}) {
    ASSERT_EQ(n, host->SocketSendTo(a, out.data(), n, &toB)) << n;
    ASSERT_GT(host->SocketWait(b, 1000), 0) << n;
    std::vector<char> in(65507, 0);
    SockAddr16 from;
    memset(&from, 0xEE, sizeof from);
    ASSERT_EQ(n, host->SocketRecvFrom(b, in.data(), 65507, &from)) << n;
    EXPECT_EQ(0, memcmp(out.data(), in.data(), n)) << n;
    EXPECT_EQ(2, from.family);
    EXPECT_EQ(pa, ntohs(from.portNet));
    EXPECT_EQ(htonl(INADDR_LOOPBACK), from.addrNet);
    for (int i = 0; i < 8; i++) EXPECT_EQ(0, from.zero[i]);
  }
  EXPECT_EQ(-1, host->SocketSendTo(a, out.data(), 65508, &toB)) << "beyond the largest datagram";

  // Peek leaves it queued, also when it is longer than the peek.
  ASSERT_EQ(10, host->SocketSendTo(a, "0123456789", 10, &toB));
  ASSERT_GT(host->SocketWait(b, 1000), 0);
  char one[4] = {0};
  SockAddr16 from;
  EXPECT_EQ(1, host->SocketPeekFrom(b, one, 1, &from));
  EXPECT_EQ('0', one[0]);
  EXPECT_EQ(pa, ntohs(from.portNet));
  char small[4];
  EXPECT_EQ(4, host->SocketRecvFrom(b, small, 4, &from)) << "truncated to the buffer";
  EXPECT_EQ(0, memcmp(small, "0123", 4));
  EXPECT_EQ(0, host->SocketWait(b, 50)) << "the rest of a truncated datagram is gone";

  // n = 0 takes the datagram.
  ASSERT_EQ(3, host->SocketSendTo(a, "abc", 3, &toB));
  ASSERT_GT(host->SocketWait(b, 1000), 0);
  EXPECT_EQ(0, host->SocketRecvFrom(b, small, 0, &from));
  EXPECT_EQ(0, host->SocketWait(b, 50));

  EXPECT_EQ(-1, host->SocketRecvFrom(b, small, 4, nullptr));
  EXPECT_EQ(-1, host->SocketRecvFrom(b, small, -1, &from));
  host->SocketClose(a);
  host->SocketClose(b);
}

TEST_F(NetTest, LookupsAnswerFixedLayoutEntriesPerThread) {
  refhost::SetHostTable({{"three.test", {"10.1.2.3", "127.0.0.1", "10.9.9.9", "127.0.0.1"}},
                         {"one.test", {"192.168.7.1"}},
                         {"none.test", {}}});
  refhost::SetHostTableOnly(true);
  HostEnt16* e = host->LookupHostByName("THREE.test", 2);
  ASSERT_NE(nullptr, e);
  // The machine reads the list at offset 12 of a 16-byte record.
  char* base = (char*)e;
  char** list;
  memcpy(&list, base + 12, 4);
  ASSERT_EQ(e->addrList, list);
  EXPECT_EQ(2, e->type);
  EXPECT_EQ(4, e->length);
  EXPECT_STREQ("three.test", e->name);
  ASSERT_NE(nullptr, e->aliases);
  EXPECT_EQ(nullptr, e->aliases[0]);
  const unsigned char expect[3][4] = {{10, 1, 2, 3}, {127, 0, 0, 1}, {10, 9, 9, 9}};
  int n = 0;
  while (list[n]) n++;
  ASSERT_EQ(3, n) << "in order, each once";
  for (int i = 0; i < 3; i++) EXPECT_EQ(0, memcmp(expect[i], list[i], 4)) << i;

  HostEnt16* empty = host->LookupHostByName("none.test", 2);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(nullptr, empty->addrList[0]);
  EXPECT_EQ(nullptr, host->LookupHostByName("missing.test", 2));
  EXPECT_EQ(nullptr, host->LookupHostByName("one.test", 10)) << "IPv4 only";
  EXPECT_EQ(nullptr, host->LookupHostByName(nullptr, 2));

  const unsigned char addr[4] = {192, 168, 7, 1};
  HostEnt16* r = host->LookupHostByAddr(addr, 4, 2);
  ASSERT_NE(nullptr, r);
  EXPECT_STREQ("one.test", r->name);
  EXPECT_EQ(nullptr, host->LookupHostByAddr(addr, 16, 2));
  EXPECT_EQ(nullptr, host->LookupHostByAddr(addr, 4, 10));
  const unsigned char unknown[4] = {10, 0, 0, 77};
  EXPECT_EQ(nullptr, host->LookupHostByAddr(unknown, 4, 2));

  // Each thread's entry is its own: racing look-ups never see another's addresses.
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([&, t] {
      const char* name = t % 2 ? "one.test" : "three.test";
      for (int i = 0; i < 2000; i++) {
        HostEnt16* x = host->LookupHostByName(name, 2);
        if (!x || strcmp(x->name, name) != 0) wrong++;
        else if (t % 2 ? memcmp(x->addrList[0], addr, 4) : memcmp(x->addrList[0], expect[0], 4)) wrong++;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, wrong.load());

  // Until the same thread looks up again, the entry stays as it was.
  HostEnt16* kept = host->LookupHostByName("three.test", 2);
  std::thread([&] { host->LookupHostByName("one.test", 2); }).join();
  EXPECT_STREQ("three.test", kept->name);
  EXPECT_EQ(0, memcmp(expect[0], kept->addrList[0], 4));

  refhost::SetNetworkAccess(false);
  EXPECT_EQ(nullptr, host->LookupHostByName("one.test", 2));
  EXPECT_EQ(-1, host->SocketCreate(2, 1, 0));
  EXPECT_EQ("network access refused", Text());
  char name[256];
  EXPECT_EQ(-1, host->GetHostName(name, 256));
}

TEST_F(NetTest, TheResolverFindsLocalhostBothWays) {
  HostEnt16* e = host->LookupHostByName("localhost", 2);
  ASSERT_NE(nullptr, e);
  bool loopback = false;
  for (int i = 0; e->addrList[i]; i++) loopback |= memcmp(e->addrList[i], "\x7f\0\0\x01", 4) == 0;
  EXPECT_TRUE(loopback);
  const unsigned char lo[4] = {127, 0, 0, 1};
  HostEnt16* r = host->LookupHostByAddr(lo, 4, 2);
  if (r) {
    EXPECT_NE(nullptr, r->name);
  }
}

TEST_F(NetTest, LocalHostNameFitsItsBufferOrFails) {
  char buf[256];
  memset(buf, 'X', sizeof buf);
  ASSERT_EQ(0, host->GetHostName(buf, 256));
  EXPECT_LT(strlen(buf), 256u);
  refhost::SetLocalHostName("db-server-1");
  EXPECT_EQ(0, host->GetHostName(buf, 256));
  EXPECT_STREQ("db-server-1", buf);
  memset(buf, 'X', sizeof buf);
  EXPECT_EQ(-1, host->GetHostName(buf, 11)) << "no room for the terminator";
  EXPECT_EQ('X', buf[0]) << "nothing written on failure";
  EXPECT_EQ(0, host->GetHostName(buf, 12));
  refhost::SetLocalHostName(std::string(255, 'n'));
  EXPECT_EQ(0, host->GetHostName(buf, 256));
  EXPECT_EQ(255u, strlen(buf));
  refhost::SetLocalHostName(std::string(256, 'n'));
  EXPECT_EQ(-1, host->GetHostName(buf, 256));
  refhost::SetLocalHostName("");
  refhost::FailGetHostName(true);
  EXPECT_EQ(-1, host->GetHostName(buf, 256));
  EXPECT_EQ(-1, host->GetHostName(nullptr, 256));
}

TEST_F(NetTest, TheFailureTextIsTheCallingThreadsOwn) {
  std::string fresh;
  std::thread([&] { fresh = refhost::Functions()->SocketErrorText(); }).join();
  EXPECT_EQ("", fresh) << "never NULL, empty before any failure";

  uint16_t port;
  jint l = Listener(&port);
  host->SocketClose(l);  // nobody listens there now
  jint c = host->SocketCreate(2, 1, 0);
  SockAddr16 to = Loopback(port);
  EXPECT_EQ(-1, host->SocketConnect(c, &to, 16));
  EXPECT_EQ("Connection refused", Text());
  std::string other;
  std::thread([&] {
    refhost::Functions()->SocketSend(-1, "x", 1);
    other = refhost::Functions()->SocketErrorText();
  }).join();
  EXPECT_EQ("Bad socket handle", other);
  EXPECT_EQ("Connection refused", Text()) << "another thread's failure leaves this one's text";
  host->SocketClose(c);
}

TEST_F(NetTest, OptionsRoundTripWithinTheirRanges) {
  jint c, s;
  Pair(&c, &s);
  jint v = -7, on = -7, sec = -7;
  EXPECT_EQ(0, host->StreamSetNoDelay(c, 1));
  EXPECT_EQ(0, host->StreamGetNoDelay(c, &v));
  EXPECT_NE(0, v);
  EXPECT_EQ(0, host->StreamSetNoDelay(c, 0));
  EXPECT_EQ(0, host->StreamGetNoDelay(c, &v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(0, host->StreamSetLinger(c, 1, 70000));
  EXPECT_EQ(0, host->StreamGetLinger(c, &on, &sec));
  EXPECT_EQ(1, on);
  EXPECT_EQ(65535, sec);
  EXPECT_EQ(-1, host->StreamSetLinger(c, 1, -5)) << "negative seconds are refused";
  EXPECT_EQ(0, host->StreamSetLinger(c, 0, -5));
  EXPECT_EQ(0, host->StreamGetLinger(c, &on, &sec));
  EXPECT_EQ(0, on);
  EXPECT_EQ(-1, host->SocketShutdown(c, 7));

  uint16_t port;
  jint d = Datagram(&port);
  // The time-to-live is an unsigned byte even when it arrives sign-widened.
  for (jint ttl : {1, 127, 128, 255, -1, -128}) {
    EXPECT_EQ(0, host->SocketSetTTL(d, ttl)) << ttl;
    EXPECT_EQ(0, host->SocketGetTTL(d, &v));
    EXPECT_EQ(ttl & 0xFF, v) << ttl;
  }
  EXPECT_EQ(0, host->DatagramSetReuse(d, 1));
  uint32_t ifNet = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(0, host->DatagramSetOption(d, &ifNet));
  EXPECT_EQ(0, host->DatagramGetOption(d, &v));
  EXPECT_EQ(htonl(INADDR_LOOPBACK), (uint32_t)v) << "in network order";
  EXPECT_EQ(0, host->DatagramCreateOption(d, 1));
  Mreq8 m = {htonl(0xC0A80001), 0};  // 192.168.0.1 is no group
  EXPECT_EQ(-1, host->MulticastJoin(d, &m));
  m.groupNet = htonl(0xE0000001);
  jint joined = host->MulticastJoin(d, &m);  // may lack a multicast route here
  if (joined == 0) {
    EXPECT_EQ(0, host->MulticastLeave(d, &m));
  }
  EXPECT_EQ(-1, host->MulticastJoin(d, nullptr));
  EXPECT_EQ(-1, host->SocketAvailable(d, nullptr));
  EXPECT_EQ(-1, host->SocketGetTTL(d, nullptr));

  // IPv4 only.
  EXPECT_EQ(-1, host->SocketCreate(10, 1, 0));
  EXPECT_EQ(-1, host->SocketCreate(2, 2, 0)) << "kind 1 is a stream, 0 a datagram, nothing else";
  EXPECT_EQ(-1, host->SocketCreate(2, 1, 6));
  SockAddr16 six = Loopback(0);
  six.family = 10;
  EXPECT_EQ(-1, host->SocketBind(d, &six, 16));
  EXPECT_EQ(-1, host->SocketConnect(c, &six, 16));
  EXPECT_EQ(-1, host->SocketSendTo(d, "x", 1, &six));
  SockAddr16 ok = Loopback(port);
  EXPECT_EQ(-1, host->SocketBind(d, &ok, 15)) << "a record is 16 bytes";
  jint shortLen = 8;
  EXPECT_EQ(-1, host->SocketGetName(d, &ok, &shortLen));
  host->SocketClose(d);
  host->SocketClose(c);
  host->SocketClose(s);
}

/* ---- the test hooks the machine's tests lean on ---- */

jint HOSTCALL CappedRecv(jint h, void* buf, jint n) {
  return refhost::RealNetworkServices()->SocketRecv(h, buf, n > 2 ? 2 : n);
}

TEST_F(NetTest, OverlayCountersAndTheWaitLog) {
  JNIHostFunctions overlay;
  memset(&overlay, 0, sizeof overlay);
  overlay.SocketRecv = CappedRecv;
  refhost::SetNetworkOverlay(&overlay);
  EXPECT_EQ((void*)CappedRecv, (void*)host->SocketRecv);
  jint c, s;
  Pair(&c, &s);
  EXPECT_EQ(4, host->SocketSend(c, "abcd", 4));
  char b[8];
  refhost::SetSocketWaitLog(true);
  EXPECT_GT(host->SocketWait(s, 1000), 0);
  EXPECT_EQ(1, host->SocketWait(s, -5));
  EXPECT_EQ(2, host->SocketRecv(s, b, 8));
  std::vector<refhost::SocketWaitRecord> log = refhost::SocketWaitLog();
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ(s, log[0].handle);
  EXPECT_EQ(1000, log[0].ms);
  EXPECT_EQ(1, log[0].result);
  EXPECT_EQ(-5, log[1].ms);
  uint32_t sends = refhost::NetCallCount(79);
  host->SocketSend(c, "z", 1);
  EXPECT_EQ(sends + 1, refhost::NetCallCount(79));
  refhost::SetNetworkOverlay(nullptr);
  EXPECT_NE((void*)CappedRecv, (void*)host->SocketRecv);
  EXPECT_EQ(3, host->SocketRecv(s, b, 8));
  host->SocketClose(c);
  host->SocketClose(s);
  EXPECT_EQ(0, host->NetStartup()) << "called again and again";
  EXPECT_EQ(0x01020304u, host->NetToHostLong(host->HostToNetLong(0x01020304u)));
  EXPECT_EQ(0x0102, host->NetToHostShort(host->HostToNetShort(0x0102)));
  EXPECT_EQ(htonl(0x7F000001u), host->HostToNetLong(0x7F000001u));
}

/* The no-wait receives and accept answer -2 at once where the blocking ones would wait
   again: nothing queued, or (the race they exist for) another thread took what a
   SocketWait saw. With something there they answer as the blocking forms do. */
TEST_F(NetTest, NoWaitFormsAnswerNothingNowInsteadOfWaitingAgain) {
  jint c, s;
  Pair(&c, &s);
  uint16_t lport, dport, oport;
  jint l = Listener(&lport);
  jint d = Datagram(&dport);
  jint other = Datagram(&oport);
  char b[8];
  SockAddr16 from;
  jint len = 16;
  uint32_t recvs = refhost::NetCallCount(78);
  auto start = Clock::now();
  EXPECT_EQ(-2, host->SocketRecvNow(s, b, 8));
  EXPECT_EQ(-2, host->SocketAcceptNow(l, &from, &len));
  EXPECT_EQ(-2, host->SocketRecvFromNow(d, b, 8, &from));
  EXPECT_EQ(-2, host->SocketPeekFromNow(d, b, 8, &from));
  EXPECT_LT(MillisSince(start), kLate) << "none of them waited";
  EXPECT_EQ(recvs + 1, refhost::NetCallCount(78)) << "counted as the receive slot";

  // Two takers of one byte that a wait saw: one gets it, the other hears "nothing now".
  EXPECT_EQ(1, host->SocketSend(c, "x", 1));
  EXPECT_EQ(1, host->SocketWait(s, 1000));
  EXPECT_EQ(1, host->SocketRecvNow(s, b, 8));
  EXPECT_EQ('x', b[0]);
  EXPECT_EQ(-2, host->SocketRecvNow(s, b, 8));
  // A connection and a datagram, as the blocking forms take them.
  jint k = host->SocketCreate(2, 1, 0);
  SockAddr16 to = Loopback(lport);
  ASSERT_EQ(0, host->SocketConnect(k, &to, 16));
  EXPECT_EQ(1, host->SocketWait(l, 1000));
  len = 16;
  jint accepted = host->SocketAcceptNow(l, &from, &len);
  EXPECT_GE(accepted, 3);
  EXPECT_EQ(-2, host->SocketAcceptNow(l, &from, &len));
  to = Loopback(dport);
  EXPECT_EQ(3, host->SocketSendTo(other, "abc", 3, &to));
  EXPECT_EQ(1, host->SocketWait(d, 1000));
  EXPECT_EQ(1, host->SocketPeekFromNow(d, b, 1, &from));
  EXPECT_EQ(3, host->SocketRecvFromNow(d, b, 8, &from));
  EXPECT_EQ(oport, ntohs(from.portNet));
  EXPECT_EQ(-2, host->SocketRecvFromNow(d, b, 8, &from));
  // The end of the stream and a closed handle are no "nothing now".
  host->SocketClose(c);
  EXPECT_EQ(1, host->SocketWait(s, 1000));
  EXPECT_EQ(0, host->SocketRecvNow(s, b, 8));
  host->SocketClose(s);
  EXPECT_EQ(-1, host->SocketRecvNow(s, b, 8));
  for (jint h : {l, d, other, k, accepted}) host->SocketClose(h);
}

/* A reset that comes right after the last data: the data is input, the reset is not
   (the OS reports it once, to the receive that meets it), so a reader that receives
   while there is input takes the data, stops, and its next receive meets the reset. */
TEST_F(NetTest, AResetAfterTheDataIsNoInputButTheNextReceiveFails) {
  jint c, s;
  Pair(&c, &s);
  EXPECT_EQ(0, host->StreamSetLinger(c, 1, 0));
  EXPECT_EQ(3, host->SocketSend(c, "abc", 3));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(0, host->SocketClose(c));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  char b[8];
  EXPECT_EQ(1, host->SocketWait(s, 1000));
  EXPECT_EQ(3, host->SocketRecv(s, b, 8));
  EXPECT_EQ(0, host->SocketHasInput(s)) << "only the reset is left";
  EXPECT_EQ(1, host->SocketWait(s, 1000));
  EXPECT_EQ(-1, host->SocketRecv(s, b, 8));
  EXPECT_EQ("Connection reset by peer", Text());
  host->SocketClose(s);
}

/* A close with linger on and 0 s resets the connection; otherwise the peer reads an
   orderly end. */
TEST_F(NetTest, ACloseWithLingerZeroResetsTheConnection) {
  for (int linger = 0; linger < 2; linger++) {
    jint c, s;
    Pair(&c, &s);
    if (linger) {
      EXPECT_EQ(0, host->StreamSetLinger(s, 1, 0));
    }
    EXPECT_EQ(0, host->SocketShutdown(s, linger ? 0 : 2));
    EXPECT_EQ(0, host->SocketClose(s));
    char b[8];
    EXPECT_EQ(1, host->SocketWait(c, 1000));
    if (linger) {
      EXPECT_EQ(-1, host->SocketRecv(c, b, 8));
      EXPECT_EQ("Connection reset by peer", Text());
    } else {
      EXPECT_EQ(0, host->SocketRecv(c, b, 8));
    }
    host->SocketClose(c);
  }
}

/* With the reuse option (slot 87, on a stream socket as on a datagram one) a listener
   binds a port whose last connection is still in TIME_WAIT (the server side closed
   first), so a server comes back on its port; without it, or while another socket
   listens there, the port stays refused. */
TEST_F(NetTest, TheReuseOptionLetsAServerRebindItsPortWhileItsLastConnectionLingers) {
  uint16_t port;
  jint l = host->SocketCreate(2, 1, 0);
  EXPECT_EQ(0, host->DatagramSetReuse(l, 1));
  SockAddr16 any = Loopback(0);
  ASSERT_EQ(0, host->SocketBind(l, &any, 16));
  ASSERT_EQ(0, host->SocketListen(l, 5));
  port = PortOf(l);
  jint c = host->SocketCreate(2, 1, 0);
  SockAddr16 a = Loopback(port);
  ASSERT_EQ(0, host->SocketConnect(c, &a, 16));
  SockAddr16 peer;
  jint len = 16;
  jint s = host->SocketAccept(l, &peer, &len);
  ASSERT_GE(s, 3);
  host->SocketClose(s);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  host->SocketClose(c);
  jint busy = host->SocketCreate(2, 1, 0);
  EXPECT_EQ(0, host->DatagramSetReuse(busy, 1));
  EXPECT_EQ(-1, host->SocketBind(busy, &a, 16)) << "the listener still has it";
  host->SocketClose(busy);
  host->SocketClose(l);
  jint plain = host->SocketCreate(2, 1, 0);
  EXPECT_EQ(-1, host->SocketBind(plain, &a, 16)) << "TIME_WAIT holds it without the option";
  host->SocketClose(plain);
  jint again = host->SocketCreate(2, 1, 0);
  EXPECT_EQ(0, host->DatagramSetReuse(again, 1));
  EXPECT_EQ(0, host->SocketBind(again, &a, 16)) << Text();
  EXPECT_EQ(0, host->SocketListen(again, 5));
  host->SocketClose(again);
}

/* An overlay that scripts a blocking receive or accept takes out its no-wait form, so
   the machine meets the scripted one; one that scripts the no-wait form keeps it. */
TEST_F(NetTest, OverlaysOfBlockingReceivesTakeOutTheirNoWaitForms) {
  JNIHostFunctions overlay;
  memset(&overlay, 0, sizeof overlay);
  overlay.SocketRecv = CappedRecv;
  refhost::SetNetworkOverlay(&overlay);
  EXPECT_EQ(nullptr, (void*)host->SocketRecvNow);
  EXPECT_NE(nullptr, (void*)host->SocketAcceptNow);
  EXPECT_NE(nullptr, (void*)host->SocketRecvFromNow);
  memset(&overlay, 0, sizeof overlay);
  overlay.SocketAccept = refhost::RealNetworkServices()->SocketAccept;
  overlay.SocketRecvFrom = refhost::RealNetworkServices()->SocketRecvFrom;
  overlay.SocketPeekFrom = refhost::RealNetworkServices()->SocketPeekFrom;
  overlay.SocketPeekFromNow = refhost::RealNetworkServices()->SocketPeekFromNow;
  refhost::SetNetworkOverlay(&overlay);
  EXPECT_NE(nullptr, (void*)host->SocketRecvNow) << "each overlay starts from the real slots";
  EXPECT_EQ(nullptr, (void*)host->SocketAcceptNow);
  EXPECT_EQ(nullptr, (void*)host->SocketRecvFromNow);
  EXPECT_EQ((void*)refhost::RealNetworkServices()->SocketPeekFromNow, (void*)host->SocketPeekFromNow);
  refhost::SetNetworkOverlay(nullptr);
  EXPECT_EQ((void*)refhost::RealNetworkServices()->SocketAcceptNow, (void*)host->SocketAcceptNow);
}

/* The console and the log may be a pipe whose reader has gone. A host program that does
   not ignore SIGPIPE lives on: the text is dropped, and a SIGPIPE that was pending before
   the write stays pending. */
TEST(ConsoleTest, AConsolePipeWithoutAReaderKillsNoHostProgram) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    int p[2];
    if (pipe(p) != 0 || dup2(p[1], 1) < 0 || dup2(p[1], 2) < 0) _exit(3);
    close(p[0]);
    JNIHostFunctions* h = refhost::Functions();
    for (int i = 0; i < 3; i++) {
      h->ConsoleWrite(0, 6, "lost\n!");
      h->ConsoleWrite(1, 6, "lost\n!");
      h->LogMessage(5, "lost\n");
    }
    // One raised by the program itself is its own.
    sigset_t pipeSignal, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    pthread_kill(pthread_self(), SIGPIPE);
    h->ConsoleWrite(0, 6, "lost\n!");
    sigpending(&pending);
    _exit(sigismember(&pending, SIGPIPE) ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
