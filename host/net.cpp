/* The network services: IPv4 sockets behind host handles.

   The machine keeps a socket's handle in a Java object and calls these services from any
   thread with no lock of its own, so one thread may close a socket while another waits
   on it, and a Java object may keep a handle after its socket is gone. Hence:

   - Handles are this host's own numbers in a range of their own (kFirstSocketHandle and
     up), never the OS descriptors and never given out twice: a stale handle finds
     nothing instead of another socket or one of the server's files.
   - Each socket counts the calls running on it. Close takes the handle out of the table,
     shuts the connection down and wakes every thread waiting on the socket; the OS
     descriptor is closed by whichever of Close and the last running call comes later.
   - Every descriptor is non-blocking and every wait is a poll over the socket and the
     calling thread's wake eventfd, which StopThread and Close write to. A blocking
     service woken by a stop answers -1 "Interrupted by host stop"; SocketWait answers 0
     once per stop, so a caller that polls its thread next learns of the stop and one
     that does not is not sent spinning. Time limits run on the monotonic clock, and a
     signal never shortens them.
   - Receives and accepts come in two forms: one waits again when the readiness it was
     called on has gone (another thread took the data or the connection first), the
     other (slots 107-110) answers kNothingNow at once, so that a caller with a time
     limit goes back to its own bounded wait.
   - Sends never raise SIGPIPE (MSG_NOSIGNAL) and go on until every byte is out.
   - Only AF_INET: records are copied field by field at exactly 16 bytes.
   - The failure text belongs to the calling thread and is taken at the failing call, in
     the C locale.

   Every failure answers exactly -1. */
#include "refhost_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace refhost {
namespace detail {

namespace {

struct Socket {
  int fd;
  bool stream;
  uint32_t running = 0;            /* calls using fd right now */
  std::atomic<bool> closed{false}; /* out of the table; the last running call closes fd */
  /* A listener whose receiving side was shut down accepts nothing ever again: to its
     waiters it is as good as closed (the machine shuts a socket down before closing it). */
  std::atomic<bool> listening{false};
  std::atomic<bool> shutRead{false};
  bool Ended() const { return closed.load() || (listening.load() && shutRead.load()); }
  std::vector<ThreadRecord*> waiters;
};

pthread_mutex_t gLock = PTHREAD_MUTEX_INITIALIZER;
std::unordered_map<jint, Socket*>* gSockets = new std::unordered_map<jint, Socket*>();
jint gNextHandle = kFirstSocketHandle;

std::atomic<bool> gAccess{true};
std::atomic<uint32_t> gCalls[37];

pthread_mutex_t gLogLock = PTHREAD_MUTEX_INITIALIZER;
bool gLogOn = false;
std::vector<SocketWaitRecord>* gWaitLog = new std::vector<SocketWaitRecord>();
enum { kWaitLogLimit = 65536 };

thread_local char tlsError[256] REFHOST_TLS;

const char kTextClosed[] = "Socket closed";
const char kTextBadHandle[] = "Bad socket handle";
const char kTextStopped[] = "Interrupted by host stop";
const char kTextRefused[] = "network access refused";

/* ---- the table ---- */

/* Takes a running reference on an open socket; NULL with the text set for anything else. */
Socket* Use(jint h) {
  Socket* s = nullptr;
  bool known = false;
  pthread_mutex_lock(&gLock);
  if (h >= kFirstSocketHandle) {
    known = h < gNextHandle;
    auto it = gSockets->find(h);
    if (it != gSockets->end()) {
      s = it->second;
      s->running++;
    }
  }
  pthread_mutex_unlock(&gLock);
  if (!s) NetSetText(known ? kTextClosed : kTextBadHandle);
  return s;
}

/* Drops the reference; closes the descriptor when the handle was closed meanwhile. The
   failure text is kept. */
void Done(Socket* s) {
  int saved = errno;
  pthread_mutex_lock(&gLock);
  bool last = --s->running == 0 && s->closed.load();
  pthread_mutex_unlock(&gLock);
  if (last) {
    close(s->fd);
    delete s;
  }
  errno = saved;
}

/* Gives a new OS descriptor its handle; -1 (descriptor closed) when numbers ran out. */
jint Register(int fd, bool stream) {
  Socket* s = new Socket();
  s->fd = fd;
  s->stream = stream;
  jint h = -1;
  pthread_mutex_lock(&gLock);
  if (gNextHandle <= kLastSocketHandle) {
    h = gNextHandle++;
    (*gSockets)[h] = s;
  }
  pthread_mutex_unlock(&gLock);
  if (h < 0) {
    close(fd);
    delete s;
    NetSetErrno(EMFILE);
  }
  return h;
}

/* ---- waiting ---- */

int64_t NowNanos() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

enum WaitResult { kReady = 1, kTimeUp = 0, kFailed = -1, kStopped = -2, kClosed = -3 };

/* Waits until the socket shows one of events (or an error or hang-up), the time is up
   (ms < 0: no limit), the thread is stopped or the socket closed. */
WaitResult WaitFor(Socket* s, short events, int64_t ms) {
  ThreadRecord* self = Self();
  int wake = NetWakeFd(self);
  if (wake < 0) {
    NetSetErrno(errno);
    return kFailed;
  }
  pthread_mutex_lock(&gLock);
  bool closed = s->Ended();
  if (!closed) s->waiters.push_back(self);
  pthread_mutex_unlock(&gLock);
  if (closed) {
    NetSetText(kTextClosed);
    return kClosed;
  }

  int64_t deadline = ms < 0 ? 0 : NowNanos() + ms * 1000000;
  WaitResult result = kTimeUp;
  for (;;) {
    int timeout = -1;
    if (ms >= 0) {
      /* Rounded up: the wait never ends before its time. */
      int64_t left = (deadline - NowNanos() + 999999) / 1000000;
      if (left < 0) left = 0;
      timeout = left > 0x7FFFFFFF ? 0x7FFFFFFF : (int)left;
    }
    struct pollfd p[2] = {{s->fd, events, 0}, {wake, POLLIN, 0}};
    int n = poll(p, 2, timeout);
    if (n < 0) {
      if (errno == EINTR) continue;
      NetSetErrno(errno);
      result = kFailed;
      break;
    }
    if (p[1].revents && NetTakeWake(self)) {
      result = kStopped;
      break;
    }
    /* Closed is marked before the shutdown that may wake this poll as ready. */
    if (s->Ended()) {
      result = kClosed;
      break;
    }
    /* Otherwise a wake from the eventfd was meant for a wait this thread has finished. */
    if (p[0].revents) {
      result = kReady;
      break;
    }
    if (n == 0 && timeout >= 0) {
      result = kTimeUp;
      break;
    }
  }

  pthread_mutex_lock(&gLock);
  auto& w = s->waiters;
  auto it = std::find(w.begin(), w.end(), self);
  if (it != w.end()) w.erase(it);
  pthread_mutex_unlock(&gLock);
  if (result == kStopped) NetSetText(kTextStopped);
  if (result == kClosed) NetSetText(kTextClosed);
  return result;
}

/* For the blocking services: -1 unless the socket became ready. */
bool WaitReady(Socket* s, short events) { return WaitFor(s, events, -1) == kReady; }

bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK; }

/* What the no-wait forms answer where the blocking ones would wait again. */
enum : jint { kNothingNow = -2 };

/* Whether a stream socket resets its connection on close (SO_LINGER on with 0 s). */
bool ResetsOnClose(int fd) {
  struct linger l;
  memset(&l, 0, sizeof l);
  socklen_t len = sizeof l;
  return getsockopt(fd, SOL_SOCKET, SO_LINGER, &l, &len) == 0 && l.l_onoff != 0 && l.l_linger == 0;
}

/* ---- records ---- */

bool ToSockaddr(const SockAddr16* rec, jint len, struct sockaddr_in* out) {
  if (!rec || len < (jint)sizeof(SockAddr16)) {
    NetSetErrno(EINVAL);
    return false;
  }
  if (rec->family != AF_INET) {
    NetSetErrno(EAFNOSUPPORT);
    return false;
  }
  memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = rec->portNet;
  out->sin_addr.s_addr = rec->addrNet;
  return true;
}

/* Exactly the 16 bytes of the record, whatever the OS filled in. */
bool FromSockaddr(const struct sockaddr_storage& ss, SockAddr16* rec) {
  if (ss.ss_family != AF_INET) {
    NetSetErrno(EAFNOSUPPORT);
    return false;
  }
  const struct sockaddr_in* in = (const struct sockaddr_in*)&ss;
  SockAddr16 r;
  memset(&r, 0, sizeof r);
  r.family = AF_INET;
  r.portNet = in->sin_port;
  r.addrNet = in->sin_addr.s_addr;
  memcpy(rec, &r, sizeof r);
  return true;
}

jint Fail(int error) {
  NetSetErrno(error);
  return -1;
}

/* ---- slots ---- */

jint HOSTCALL NetStartup(void) {
  NetCount(60);
  return 0;
}

uint32_t HOSTCALL HostToNetLong(uint32_t v) {
  NetCount(64);
  return htonl(v);
}
uint32_t HOSTCALL NetToHostLong(uint32_t v) {
  NetCount(65);
  return ntohl(v);
}
uint16_t HOSTCALL HostToNetShort(uint16_t v) {
  NetCount(66);
  return htons(v);
}
uint16_t HOSTCALL NetToHostShort(uint16_t v) {
  NetCount(67);
  return ntohs(v);
}

jint HOSTCALL SocketCreate(jint family, jint stream, jint proto) {
  NetCount(68);
  if (!NetAccessAllowed()) {
    NetSetText(kTextRefused);
    return -1;
  }
  if (family != AF_INET) return Fail(EAFNOSUPPORT);
  if (proto != 0) return Fail(EPROTONOSUPPORT);
  int type;
  if (stream == 1)
    type = SOCK_STREAM;
  else if (stream == 0)
    type = SOCK_DGRAM;
  else
    return Fail(EINVAL);
  int fd = socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Fail(errno);
  return Register(fd, stream == 1);
}

jint HOSTCALL SocketBind(jint h, const SockAddr16* rec, jint len) {
  NetCount(69);
  struct sockaddr_in sin;
  if (!ToSockaddr(rec, len, &sin)) return -1;
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = bind(s->fd, (struct sockaddr*)&sin, sizeof sin) == 0 ? 0 : Fail(errno);
  Done(s);
  return r;
}

jint HOSTCALL SocketConnect(jint h, const SockAddr16* rec, jint len) {
  NetCount(70);
  struct sockaddr_in sin;
  if (!ToSockaddr(rec, len, &sin)) return -1;
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = 0;
  if (connect(s->fd, (struct sockaddr*)&sin, sizeof sin) != 0) {
    if (errno == EINPROGRESS || errno == EINTR) {
      /* Non-blocking: the outcome is known once the socket turns writable. */
      if (!WaitReady(s, POLLOUT)) {
        r = -1;
      } else {
        int error = 0;
        socklen_t elen = sizeof error;
        if (getsockopt(s->fd, SOL_SOCKET, SO_ERROR, &error, &elen) != 0) error = errno;
        if (error != 0) r = Fail(error);
      }
    } else {
      r = Fail(errno);
    }
  }
  Done(s);
  return r;
}

jint HOSTCALL SocketGetName(jint h, SockAddr16* rec, jint* len) {
  NetCount(71);
  if (!rec || !len || *len < (jint)sizeof(SockAddr16)) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  struct sockaddr_storage ss;
  socklen_t sl = sizeof ss;
  memset(&ss, 0, sizeof ss);
  jint r = -1;
  if (getsockname(s->fd, (struct sockaddr*)&ss, &sl) != 0)
    NetSetErrno(errno);
  else if (FromSockaddr(ss, rec)) {
    *len = sizeof(SockAddr16);
    r = 0;
  }
  Done(s);
  return r;
}

jint Accept(jint h, SockAddr16* rec, jint* len, bool wait) {
  if (!rec || !len || *len < (jint)sizeof(SockAddr16)) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = -1;
  for (;;) {
    if (s->Ended()) {
      NetSetText(kTextClosed);
      break;
    }
    struct sockaddr_storage ss;
    socklen_t sl = sizeof ss;
    memset(&ss, 0, sizeof ss);
    int fd = accept4(s->fd, (struct sockaddr*)&ss, &sl, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      if (!FromSockaddr(ss, rec)) {
        close(fd);
        break;
      }
      *len = sizeof(SockAddr16);
      r = Register(fd, true);
      break;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    /* Readiness can go stale (the connection reset before it was taken, or another
       thread took it): wait again rather than block. */
    if (WouldBlock(errno)) {
      if (!wait) {
        r = kNothingNow;
        break;
      }
      if (!WaitReady(s, POLLIN)) break;
      continue;
    }
    NetSetErrno(errno);
    break;
  }
  Done(s);
  return r;
}

jint HOSTCALL SocketAccept(jint h, SockAddr16* rec, jint* len) {
  NetCount(72);
  return Accept(h, rec, len, true);
}

jint HOSTCALL SocketAcceptNow(jint h, SockAddr16* rec, jint* len) {
  NetCount(72);
  return Accept(h, rec, len, false);
}

jint HOSTCALL SocketListen(jint h, jint backlog) {
  NetCount(73);
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = listen(s->fd, backlog) == 0 ? 0 : Fail(errno);
  if (r == 0) s->listening.store(true);
  Done(s);
  return r;
}

jint HOSTCALL SocketShutdown(jint h, jint how) {
  NetCount(74);
  int os;
  if (how == 0)
    os = SHUT_RD;
  else if (how == 1)
    os = SHUT_WR;
  else if (how == 2)
    os = SHUT_RDWR;
  else
    return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  /* Marked first: a waiter woken by the shutdown must find it. */
  if (os != SHUT_WR) s->shutRead.store(true);
  jint r = shutdown(s->fd, os) == 0 ? 0 : Fail(errno);
  Done(s);
  return r;
}

jint HOSTCALL SocketClose(jint h) {
  NetCount(75);
  Socket* s = Use(h);
  if (!s) return -1;
  pthread_mutex_lock(&gLock);
  gSockets->erase(h);
  s->closed.store(true);
  std::vector<ThreadRecord*> waiters = s->waiters;
  pthread_mutex_unlock(&gLock);
  /* The peer learns of the close now, even while another call still holds the
     descriptor; pollers of every kind of socket wake (a close alone would not wake them).
     A socket set to linger 0 s keeps its sending side, so that its close resets the
     connection rather than ending it in order. */
  shutdown(s->fd, s->stream && ResetsOnClose(s->fd) ? SHUT_RD : SHUT_RDWR);
  for (ThreadRecord* w : waiters) {
    pthread_mutex_lock(&w->lock);
    if (w->netWakeFd >= 0) {
      uint64_t one = 1;
      ssize_t ignored = write(w->netWakeFd, &one, sizeof one);
      (void)ignored;
    }
    pthread_mutex_unlock(&w->lock);
  }
  Done(s);
  return 0;
}

jint HOSTCALL SocketWait(jint h, jint ms) {
  NetCount(76);
  jint r;
  Socket* s = Use(h);
  if (!s) {
    r = -1;
  } else {
    switch (WaitFor(s, POLLIN, ms <= 0 ? 0 : ms)) {
      case kReady:
        r = 1;
        break;
      case kTimeUp:
      case kStopped: /* the owed wake, answered once */
        r = 0;
        break;
      default:
        r = -1;
        break;
    }
    Done(s);
  }
  pthread_mutex_lock(&gLogLock);
  if (gLogOn && gWaitLog->size() < kWaitLogLimit) gWaitLog->push_back({h, ms, r});
  pthread_mutex_unlock(&gLogLock);
  return r;
}

jint HOSTCALL SocketHasInput(jint h) {
  NetCount(77);
  Socket* s = Use(h);
  if (!s) return 0;
  struct pollfd p = {s->fd, POLLIN, 0};
  int n;
  do n = poll(&p, 1, 0);
  while (n < 0 && errno == EINTR);
  Done(s);
  /* A pending failure (a reset after the last data) is not input: the receive that
     follows would take it as its answer, and the OS reports it only once. */
  return n > 0 && (p.revents & POLLIN) && !(p.revents & POLLERR) ? 1 : 0;
}

jint Receive(jint h, void* buf, jint n, bool wait) {
  if (n < 0 || (!buf && n > 0)) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = -1;
  for (;;) {
    ssize_t got = recv(s->fd, buf, (size_t)n, MSG_NOSIGNAL);
    if (got >= 0) {
      r = (jint)got;
      break;
    }
    if (errno == EINTR) continue;
    if (WouldBlock(errno)) {
      if (!wait) {
        r = kNothingNow;
        break;
      }
      if (!WaitReady(s, POLLIN)) break;
      continue;
    }
    NetSetErrno(errno);
    break;
  }
  Done(s);
  return r;
}

jint HOSTCALL SocketRecv(jint h, void* buf, jint n) {
  NetCount(78);
  return Receive(h, buf, n, true);
}

jint HOSTCALL SocketRecvNow(jint h, void* buf, jint n) {
  NetCount(78);
  return Receive(h, buf, n, false);
}

jint HOSTCALL SocketSend(jint h, const void* buf, jint n) {
  NetCount(79);
  if (n < 0 || (!buf && n > 0)) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  const char* p = (const char*)buf;
  jint left = n;
  jint r = n;
  while (left > 0) {
    ssize_t put = send(s->fd, p, (size_t)left, MSG_NOSIGNAL);
    if (put > 0) {
      p += put;
      left -= (jint)put;
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && WouldBlock(errno)) {
      if (!WaitReady(s, POLLOUT)) {
        r = -1;
        break;
      }
      continue;
    }
    r = Fail(put < 0 ? errno : EIO);
    break;
  }
  Done(s);
  return r;
}

/* A datagram into buf: truncated to n bytes (the rest is dropped, or stays queued when
   peeking); the count is what was stored. */
jint ReceiveDatagram(jint h, void* buf, jint n, SockAddr16* from, int flags, bool wait) {
  if (n < 0 || (!buf && n > 0) || !from) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = -1;
  for (;;) {
    struct sockaddr_storage ss;
    socklen_t sl = sizeof ss;
    memset(&ss, 0, sizeof ss);
    ssize_t got = recvfrom(s->fd, buf, (size_t)n, flags | MSG_NOSIGNAL, (struct sockaddr*)&ss, &sl);
    if (got >= 0) {
      if (FromSockaddr(ss, from)) r = (jint)(got > n ? n : got);
      break;
    }
    if (errno == EINTR) continue;
    if (WouldBlock(errno)) {
      if (!wait) {
        r = kNothingNow;
        break;
      }
      if (!WaitReady(s, POLLIN)) break;
      continue;
    }
    NetSetErrno(errno);
    break;
  }
  Done(s);
  return r;
}

jint HOSTCALL SocketRecvFrom(jint h, void* buf, jint n, SockAddr16* from) {
  NetCount(80);
  return ReceiveDatagram(h, buf, n, from, 0, true);
}

jint HOSTCALL SocketPeekFrom(jint h, void* buf, jint n, SockAddr16* from) {
  NetCount(81);
  return ReceiveDatagram(h, buf, n, from, MSG_PEEK, true);
}

jint HOSTCALL SocketRecvFromNow(jint h, void* buf, jint n, SockAddr16* from) {
  NetCount(80);
  return ReceiveDatagram(h, buf, n, from, 0, false);
}

jint HOSTCALL SocketPeekFromNow(jint h, void* buf, jint n, SockAddr16* from) {
  NetCount(81);
  return ReceiveDatagram(h, buf, n, from, MSG_PEEK, false);
}

jint HOSTCALL SocketSendTo(jint h, const void* buf, jint n, const SockAddr16* to) {
  NetCount(82);
  if (n < 0 || (!buf && n > 0)) return Fail(EINVAL);
  struct sockaddr_in sin;
  if (!ToSockaddr(to, sizeof(SockAddr16), &sin)) return -1;
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = -1;
  for (;;) {
    ssize_t put = sendto(s->fd, buf, (size_t)n, MSG_NOSIGNAL, (struct sockaddr*)&sin, sizeof sin);
    if (put >= 0) {
      /* A datagram goes whole or not at all. */
      r = put == n ? n : Fail(EMSGSIZE);
      break;
    }
    if (errno == EINTR) continue;
    if (WouldBlock(errno)) {
      if (!WaitReady(s, POLLOUT)) break;
      continue;
    }
    NetSetErrno(errno);
    break;
  }
  Done(s);
  return r;
}

/* setsockopt and getsockopt of an int on an open socket. */
jint SetIntOption(jint h, int level, int name, int value) {
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = setsockopt(s->fd, level, name, &value, sizeof value) == 0 ? 0 : Fail(errno);
  Done(s);
  return r;
}

jint GetIntOption(jint h, int level, int name, jint* out) {
  if (!out) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  int value = 0;
  socklen_t len = sizeof value;
  jint r = -1;
  if (getsockopt(s->fd, level, name, &value, &len) != 0)
    NetSetErrno(errno);
  else {
    /* Some options come back as one byte. */
    *out = len == 1 ? (jint)(unsigned char)value : (jint)value;
    r = 0;
  }
  Done(s);
  return r;
}

jint Membership(jint h, const Mreq8* m, int name) {
  if (!m) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  struct ip_mreq mreq;
  memset(&mreq, 0, sizeof mreq);
  mreq.imr_multiaddr.s_addr = m->groupNet;
  mreq.imr_interface.s_addr = m->ifaceNet;
  jint r = setsockopt(s->fd, IPPROTO_IP, name, &mreq, sizeof mreq) == 0 ? 0 : Fail(errno);
  Done(s);
  return r;
}

jint HOSTCALL MulticastJoin(jint h, const Mreq8* m) {
  NetCount(83);
  return Membership(h, m, IP_ADD_MEMBERSHIP);
}

jint HOSTCALL MulticastLeave(jint h, const Mreq8* m) {
  NetCount(84);
  return Membership(h, m, IP_DROP_MEMBERSHIP);
}

/* The usual default of a datagram socket: broadcasts allowed as asked. */
jint HOSTCALL DatagramCreateOption(jint h, jint v) {
  NetCount(85);
  return SetIntOption(h, SOL_SOCKET, SO_BROADCAST, v != 0);
}

/* Java's time-to-live is an unsigned byte that reaches here sign-widened. */
jint HOSTCALL SocketSetTTL(jint h, jint ttl) {
  NetCount(86);
  return SetIntOption(h, IPPROTO_IP, IP_MULTICAST_TTL, ttl & 0xFF);
}

jint HOSTCALL DatagramSetReuse(jint h, jint v) {
  NetCount(87);
  return SetIntOption(h, SOL_SOCKET, SO_REUSEADDR, v != 0);
}

jint HOSTCALL StreamSetNoDelay(jint h, jint on) {
  NetCount(88);
  return SetIntOption(h, IPPROTO_TCP, TCP_NODELAY, on != 0);
}

jint HOSTCALL DatagramSetOption(jint h, const uint32_t* addrNet) {
  NetCount(89);
  if (!addrNet) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  struct in_addr a;
  a.s_addr = *addrNet;
  jint r = setsockopt(s->fd, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) == 0 ? 0 : Fail(errno);
  Done(s);
  return r;
}

jint HOSTCALL SocketAvailable(jint h, jint* count) {
  NetCount(90);
  if (!count) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  int n = 0;
  jint r = -1;
  if (ioctl(s->fd, FIONREAD, &n) != 0)
    NetSetErrno(errno);
  else {
    *count = n < 0 ? 0 : n;
    r = 0;
  }
  Done(s);
  return r;
}

jint HOSTCALL SocketGetTTL(jint h, jint* v) {
  NetCount(91);
  return GetIntOption(h, IPPROTO_IP, IP_MULTICAST_TTL, v);
}

jint HOSTCALL DatagramGetOption(jint h, jint* vNet) {
  NetCount(92);
  if (!vNet) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  struct in_addr a;
  a.s_addr = 0;
  socklen_t len = sizeof a;
  jint r = -1;
  if (getsockopt(s->fd, IPPROTO_IP, IP_MULTICAST_IF, &a, &len) != 0)
    NetSetErrno(errno);
  else {
    *vNet = (jint)a.s_addr;
    r = 0;
  }
  Done(s);
  return r;
}

jint HOSTCALL StreamGetNoDelay(jint h, jint* v) {
  NetCount(93);
  return GetIntOption(h, IPPROTO_TCP, TCP_NODELAY, v);
}

jint HOSTCALL StreamSetLinger(jint h, jint on, jint seconds) {
  NetCount(94);
  if (on && seconds < 0) return Fail(EINVAL);
  struct linger l;
  l.l_onoff = on != 0;
  l.l_linger = on ? std::min(seconds, (jint)65535) : 0;
  Socket* s = Use(h);
  if (!s) return -1;
  jint r = setsockopt(s->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0 ? 0 : Fail(errno);
  Done(s);
  return r;
}

jint HOSTCALL StreamGetLinger(jint h, jint* on, jint* seconds) {
  NetCount(95);
  if (!on || !seconds) return Fail(EINVAL);
  Socket* s = Use(h);
  if (!s) return -1;
  struct linger l;
  memset(&l, 0, sizeof l);
  socklen_t len = sizeof l;
  jint r = -1;
  if (getsockopt(s->fd, SOL_SOCKET, SO_LINGER, &l, &len) != 0)
    NetSetErrno(errno);
  else {
    *on = l.l_onoff != 0;
    *seconds = l.l_linger;
    r = 0;
  }
  Done(s);
  return r;
}

const char* HOSTCALL SocketErrorText(void) {
  NetCount(96);
  return tlsError;
}

/* The name services live in net_names.cpp. */
}  // namespace

jint HOSTCALL GetHostName(char* buf, jint size);
HostEnt16* HOSTCALL LookupHostByName(const char* name, jint family);
HostEnt16* HOSTCALL LookupHostByAddr(const void* addr, jint len, jint family);

void InstallNetworkSlots(JNIHostFunctions* t) {
  t->NetStartup = NetStartup;
  t->GetHostName = GetHostName;
  t->LookupHostByName = LookupHostByName;
  t->LookupHostByAddr = LookupHostByAddr;
  t->HostToNetLong = HostToNetLong;
  t->NetToHostLong = NetToHostLong;
  t->HostToNetShort = HostToNetShort;
  t->NetToHostShort = NetToHostShort;
  t->SocketCreate = SocketCreate;
  t->SocketBind = SocketBind;
  t->SocketConnect = SocketConnect;
  t->SocketGetName = SocketGetName;
  t->SocketAccept = SocketAccept;
  t->SocketListen = SocketListen;
  t->SocketShutdown = SocketShutdown;
  t->SocketClose = SocketClose;
  t->SocketWait = SocketWait;
  t->SocketHasInput = SocketHasInput;
  t->SocketRecv = SocketRecv;
  t->SocketSend = SocketSend;
  t->SocketRecvFrom = SocketRecvFrom;
  t->SocketPeekFrom = SocketPeekFrom;
  t->SocketSendTo = SocketSendTo;
  t->MulticastJoin = MulticastJoin;
  t->MulticastLeave = MulticastLeave;
  t->DatagramCreateOption = DatagramCreateOption;
  t->SocketSetTTL = SocketSetTTL;
  t->DatagramSetReuse = DatagramSetReuse;
  t->StreamSetNoDelay = StreamSetNoDelay;
  t->DatagramSetOption = DatagramSetOption;
  t->SocketAvailable = SocketAvailable;
  t->SocketGetTTL = SocketGetTTL;
  t->DatagramGetOption = DatagramGetOption;
  t->StreamGetNoDelay = StreamGetNoDelay;
  t->StreamSetLinger = StreamSetLinger;
  t->StreamGetLinger = StreamGetLinger;
  t->SocketErrorText = SocketErrorText;
  t->SocketRecvNow = SocketRecvNow;
  t->SocketAcceptNow = SocketAcceptNow;
  t->SocketRecvFromNow = SocketRecvFromNow;
  t->SocketPeekFromNow = SocketPeekFromNow;
}

/* ---- per-thread wakes ---- */

int NetWakeFd(ThreadRecord* r) {
  pthread_mutex_lock(&r->lock);
  if (r->netWakeFd < 0) {
    r->netWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    /* A stop that came before the descriptor existed is owed all the same. */
    if (r->netWakeFd >= 0 && r->netStop.load()) {
      uint64_t one = 1;
      ssize_t ignored = write(r->netWakeFd, &one, sizeof one);
      (void)ignored;
    }
  }
  int fd = r->netWakeFd;
  pthread_mutex_unlock(&r->lock);
  return fd;
}

bool NetTakeWake(ThreadRecord* r) {
  pthread_mutex_lock(&r->lock);
  if (r->netWakeFd >= 0) {
    uint64_t value;
    ssize_t ignored = read(r->netWakeFd, &value, sizeof value);
    (void)ignored;
  }
  bool stopped = r->netStop.exchange(0) != 0;
  pthread_mutex_unlock(&r->lock);
  return stopped;
}

void NetStopWakeLocked(ThreadRecord* r) {
  r->netStop.store(1);
  if (r->netWakeFd >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(r->netWakeFd, &one, sizeof one);
    (void)ignored;
  }
}

void NetStopWake(ThreadRecord* r) {
  pthread_mutex_lock(&r->lock);
  NetStopWakeLocked(r);
  pthread_mutex_unlock(&r->lock);
}

void NetClearStop(ThreadRecord* r) {
  pthread_mutex_lock(&r->lock);
  r->netStop.store(0);
  if (r->netWakeFd >= 0) {
    uint64_t value;
    ssize_t ignored = read(r->netWakeFd, &value, sizeof value);
    (void)ignored;
  }
  pthread_mutex_unlock(&r->lock);
}

void NetThreadEnded(ThreadRecord* r) {
  pthread_mutex_lock(&r->lock);
  if (r->netWakeFd >= 0) close(r->netWakeFd);
  r->netWakeFd = -1;
  r->netStop.store(0);
  pthread_mutex_unlock(&r->lock);
}

/* ---- failure texts ---- */

void NetSetText(const char* text) {
  size_t n = strlen(text);
  if (n > sizeof tlsError - 1) n = sizeof tlsError - 1;
  memcpy(tlsError, text, n);
  tlsError[n] = 0;
}

void NetSetErrno(int error) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
  const char* text = cLocale ? strerror_l(error, cLocale) : NULL;
  NetSetText(text ? text : "Unknown error");
}

void NetCount(int slot) {
  if (slot >= 60 && slot <= 96) gCalls[slot - 60].fetch_add(1, std::memory_order_relaxed);
}

bool NetAccessAllowed() { return gAccess.load(); }

void ResetNetHooks() {
  gAccess.store(true);
  for (auto& c : gCalls) c.store(0);
  pthread_mutex_lock(&gLogLock);
  gLogOn = false;
  gWaitLog->clear();
  pthread_mutex_unlock(&gLogLock);
  ResetNameHooks();
  InstallNetworkSlots(Functions());
}

}  // namespace detail

using namespace detail;

void SetNetworkAccess(bool on) { gAccess.store(on); }

uint32_t NetCallCount(int slot) { return slot >= 60 && slot <= 96 ? gCalls[slot - 60].load() : 0; }

void SetSocketWaitLog(bool on) {
  pthread_mutex_lock(&gLogLock);
  gLogOn = on;
  gWaitLog->clear();
  pthread_mutex_unlock(&gLogLock);
}

std::vector<SocketWaitRecord> SocketWaitLog() {
  pthread_mutex_lock(&gLogLock);
  std::vector<SocketWaitRecord> copy = *gWaitLog;
  pthread_mutex_unlock(&gLogLock);
  return copy;
}

uint32_t OpenSocketCount() {
  pthread_mutex_lock(&gLock);
  uint32_t n = (uint32_t)gSockets->size();
  pthread_mutex_unlock(&gLock);
  return n;
}

void SetNextSocketHandle(jint handle) {
  pthread_mutex_lock(&gLock);
  if (handle >= kFirstSocketHandle && (handle > gNextHandle || gSockets->empty())) gNextHandle = handle;
  pthread_mutex_unlock(&gLock);
}

const JNIHostFunctions* RealNetworkServices() {
  static JNIHostFunctions* real = [] {
    JNIHostFunctions* t = new JNIHostFunctions();
    memset(t, 0, sizeof *t);
    InstallNetworkSlots(t);
    return t;
  }();
  return real;
}

void SetNetworkOverlay(const JNIHostFunctions* overlay) {
  JNIHostFunctions* live = Functions();
  InstallNetworkSlots(live);
  if (!overlay) return;
  void** to = (void**)live;
  void* const* from = (void* const*)overlay;
  for (int slot = 60; slot <= 96; slot++)
    if (from[slot]) to[slot] = from[slot];
  /* A scripted blocking receive or accept is what the natives must meet: its no-wait
     form goes unless the overlay scripts that too. */
  static const int kNoWait[][2] = {{78, 107}, {72, 108}, {80, 109}, {81, 110}};
  for (const auto& pair : kNoWait) {
    if (from[pair[1]])
      to[pair[1]] = from[pair[1]];
    else if (from[pair[0]])
      to[pair[1]] = nullptr;
  }
}

}  // namespace refhost
