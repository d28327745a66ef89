/* Host names and look-ups: the local host's name, name to addresses, address to name.

   A look-up answers the host entry the machine reads (HostEnt16: 32-bit pointers, the
   address list at offset 12), built here in a per-thread record that stays intact until
   the same thread's next look-up; the C library's own hostent (another layout, and one
   buffer for the whole process) is never handed out. Only AF_INET addresses, each once,
   in the resolver's order, at most kMaxAddresses.

   The host table hook answers first; unless the table is the only source, the resolver
   (getaddrinfo, getnameinfo) runs next, on a helper thread, so that a slow resolver
   cannot hold the caller past the resolver time limit or past a host stop. */
#include "refhost_internal.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <string.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace refhost {
namespace detail {

namespace {

enum { kMaxAddresses = 64 };

pthread_mutex_t gNamesLock = PTHREAD_MUTEX_INITIALIZER;
std::vector<HostTableEntry>* gTable = new std::vector<HostTableEntry>();
bool gTableOnly = false;
std::string* gLocalName = new std::string();
bool gFailHostName = false;
int gResolverMillis = 10000;

/* The calling thread's host entry and the storage it points into. */
struct EntryRecord {
  HostEnt16 entry;
  std::string name;
  char* aliases[1];
  uint32_t addresses[kMaxAddresses];
  char* list[kMaxAddresses + 1];
};
thread_local EntryRecord tlsEntry;

HostEnt16* Publish(const std::string& name, const std::vector<uint32_t>& addrs) {
  EntryRecord& e = tlsEntry;
  e.name = name;
  e.aliases[0] = nullptr;
  size_t n = addrs.size() < (size_t)kMaxAddresses ? addrs.size() : (size_t)kMaxAddresses;
  for (size_t i = 0; i < n; i++) {
    e.addresses[i] = addrs[i];
    e.list[i] = (char*)&e.addresses[i];
  }
  e.list[n] = nullptr;
  e.entry.name = (char*)e.name.c_str();
  e.entry.aliases = e.aliases;
  e.entry.type = AF_INET;
  e.entry.length = 4;
  e.entry.addrList = e.list;
  return &e.entry;
}

/* Network-order addresses in order of appearance, each once. */
void AddUnique(std::vector<uint32_t>& addrs, uint32_t a) {
  for (uint32_t b : addrs)
    if (b == a) return;
  if (addrs.size() < kMaxAddresses) addrs.push_back(a);
}

bool ParseAddress(const std::string& text, uint32_t* out) {
  struct in_addr a;
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  *out = a.s_addr;
  return true;
}

/* ---- the resolver on a helper thread ---- */

struct Lookup {
  std::atomic<int> refs{2};
  int done = -1;        /* eventfd the helper writes when finished */
  bool reverse = false;
  std::string name;     /* in: the name; out: the official name */
  uint32_t address = 0; /* in for reverse look-ups, network order */
  bool found = false;
  std::vector<uint32_t> addrs;
};

void Release(Lookup* l) {
  if (l->refs.fetch_sub(1) == 1) {
    close(l->done);
    delete l;
  }
}

void* Resolve(void* arg) {
  Lookup* l = (Lookup*)arg;
  if (l->reverse) {
    struct sockaddr_in sin;
    memset(&sin, 0, sizeof sin);
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = l->address;
    char host[NI_MAXHOST];
    if (getnameinfo((struct sockaddr*)&sin, sizeof sin, host, sizeof host, nullptr, 0, NI_NAMEREQD) == 0) {
      l->name = host;
      l->addrs.push_back(l->address);
      l->found = true;
    }
  } else {
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    struct addrinfo* res = nullptr;
    if (getaddrinfo(l->name.c_str(), nullptr, &hints, &res) == 0) {
      for (struct addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family != AF_INET || p->ai_addrlen < sizeof(struct sockaddr_in)) continue;
        if (p->ai_canonname && l->addrs.empty()) l->name = p->ai_canonname;
        AddUnique(l->addrs, ((struct sockaddr_in*)p->ai_addr)->sin_addr.s_addr);
      }
      l->found = !l->addrs.empty();
      freeaddrinfo(res);
    }
  }
  uint64_t one = 1;
  ssize_t ignored = write(l->done, &one, sizeof one);
  (void)ignored;
  Release(l);
  return nullptr;
}

/* Runs the look-up on a helper and waits for it, at most the resolver time limit, and
   not past a host stop; the helper finishes on its own afterwards. True when the look-up
   finished: the caller reads it and releases it; false when it is no longer the
   caller's. */
bool RunResolver(Lookup* l) {
  l->done = eventfd(0, EFD_CLOEXEC);
  if (l->done < 0) {
    NetSetErrno(errno);
    delete l;
    return false;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t tid;
  int rc = pthread_create(&tid, &attr, Resolve, l);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    NetSetErrno(rc);
    close(l->done);
    delete l;
    return false;
  }
  ThreadRecord* self = Self();
  int wake = NetWakeFd(self);
  pthread_mutex_lock(&gNamesLock);
  int limit = gResolverMillis;
  pthread_mutex_unlock(&gNamesLock);
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  bool finished = false;
  for (;;) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t spent = (int64_t)(now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    int64_t left = limit - spent;
    if (left <= 0) {
      NetSetText("Name look-up timed out");
      break;
    }
    struct pollfd p[2] = {{l->done, POLLIN, 0}, {wake, POLLIN, 0}};
    int n = poll(p, wake >= 0 ? 2 : 1, (int)left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      NetSetErrno(errno);
      break;
    }
    if (p[0].revents) {
      finished = true;
      break;
    }
    if (wake >= 0 && p[1].revents && NetTakeWake(self)) {
      NetSetText("Interrupted by host stop");
      break;
    }
  }
  if (!finished) Release(l);
  return finished;
}

}  // namespace

jint HOSTCALL GetHostName(char* buf, jint size) {
  NetCount(61);
  if (!buf || size <= 0) {
    NetSetErrno(EINVAL);
    return -1;
  }
  if (!NetAccessAllowed()) {
    NetSetText("network access refused");
    return -1;
  }
  char name[256];
  memset(name, 0, sizeof name);
  pthread_mutex_lock(&gNamesLock);
  bool fail = gFailHostName;
  std::string local = *gLocalName;
  pthread_mutex_unlock(&gNamesLock);
  if (fail) {
    NetSetErrno(EIO);
    return -1;
  }
  size_t n;
  if (!local.empty()) {
    if (local.size() >= sizeof name) {
      NetSetErrno(ENAMETOOLONG);
      return -1;
    }
    memcpy(name, local.data(), local.size());
    n = local.size();
  } else {
    if (gethostname(name, sizeof name) != 0) {
      NetSetErrno(errno);
      return -1;
    }
    /* A name that filled the buffer may have been cut without its terminator. */
    if (name[sizeof name - 1] != 0) {
      NetSetErrno(ENAMETOOLONG);
      return -1;
    }
    n = strlen(name);
  }
  if (n + 1 > (size_t)size) {
    NetSetErrno(ENAMETOOLONG);
    return -1;
  }
  memcpy(buf, name, n + 1);
  return 0;
}

HostEnt16* HOSTCALL LookupHostByName(const char* name, jint family) {
  NetCount(62);
  if (!name || family != AF_INET) {
    NetSetErrno(EAFNOSUPPORT);
    return nullptr;
  }
  if (!NetAccessAllowed()) {
    NetSetText("network access refused");
    return nullptr;
  }
  bool tableOnly;
  std::vector<uint32_t> addrs;
  std::string official;
  bool inTable = false;
  pthread_mutex_lock(&gNamesLock);
  tableOnly = gTableOnly;
  for (const HostTableEntry& e : *gTable) {
    if (strcasecmp(e.name.c_str(), name) != 0) continue;
    inTable = true;
    official = e.name;
    for (const std::string& text : e.addresses) {
      uint32_t a;
      if (ParseAddress(text, &a)) AddUnique(addrs, a);
    }
    break;
  }
  pthread_mutex_unlock(&gNamesLock);
  if (inTable) return Publish(official, addrs);
  if (tableOnly) {
    NetSetText("Unknown host");
    return nullptr;
  }
  Lookup* l = new Lookup();
  l->name = name;
  if (!RunResolver(l)) return nullptr;
  HostEnt16* entry = nullptr;
  if (l->found)
    entry = Publish(l->name, l->addrs);
  else
    NetSetText("Unknown host");
  Release(l);
  return entry;
}

HostEnt16* HOSTCALL LookupHostByAddr(const void* addr, jint len, jint family) {
  NetCount(63);
  if (!addr || len != 4 || family != AF_INET) {
    NetSetErrno(EAFNOSUPPORT);
    return nullptr;
  }
  if (!NetAccessAllowed()) {
    NetSetText("network access refused");
    return nullptr;
  }
  uint32_t a;
  memcpy(&a, addr, 4);
  bool tableOnly;
  std::string official;
  bool inTable = false;
  pthread_mutex_lock(&gNamesLock);
  tableOnly = gTableOnly;
  for (const HostTableEntry& e : *gTable) {
    for (const std::string& text : e.addresses) {
      uint32_t b;
      if (ParseAddress(text, &b) && b == a) {
        inTable = true;
        official = e.name;
        break;
      }
    }
    if (inTable) break;
  }
  pthread_mutex_unlock(&gNamesLock);
  if (inTable) return Publish(official, std::vector<uint32_t>(1, a));
  if (tableOnly) {
    NetSetText("Unknown host");
    return nullptr;
  }
  Lookup* l = new Lookup();
  l->reverse = true;
  l->address = a;
  if (!RunResolver(l)) return nullptr;
  HostEnt16* entry = nullptr;
  if (l->found)
    entry = Publish(l->name, l->addrs);
  else
    NetSetText("Unknown host");
  Release(l);
  return entry;
}

void ResetNameHooks() {
  pthread_mutex_lock(&gNamesLock);
  gTable->clear();
  gTableOnly = false;
  gLocalName->clear();
  gFailHostName = false;
  gResolverMillis = 10000;
  pthread_mutex_unlock(&gNamesLock);
}

}  // namespace detail

using namespace detail;

void SetHostTable(const std::vector<HostTableEntry>& table) {
  pthread_mutex_lock(&gNamesLock);
  *gTable = table;
  pthread_mutex_unlock(&gNamesLock);
}

void SetHostTableOnly(bool on) {
  pthread_mutex_lock(&gNamesLock);
  gTableOnly = on;
  pthread_mutex_unlock(&gNamesLock);
}

void SetLocalHostName(const std::string& name) {
  pthread_mutex_lock(&gNamesLock);
  *gLocalName = name;
  pthread_mutex_unlock(&gNamesLock);
}

void FailGetHostName(bool on) {
  pthread_mutex_lock(&gNamesLock);
  gFailHostName = on;
  pthread_mutex_unlock(&gNamesLock);
}

void SetResolverTimeout(int ms) {
  pthread_mutex_lock(&gNamesLock);
  gResolverMillis = ms > 0 ? ms : 1;
  pthread_mutex_unlock(&gNamesLock);
}

}  // namespace refhost
