/* The file-system table's path side: names from the machine to the OS and back, and
   the slots that take a path.

   The machine's names are modified UTF-8 with '\' as the separator (the class library's
   file.separator); the OS wants UTF-8 with '/'. Every '\' becomes '/', so an OS name
   that holds a real '\' cannot be named from Java: listings leave such names out and
   canonical forms refuse them, rather than hand out a name that reaches another file.
   Drive letters mean nothing here ("c:\x" is the relative name "c:/x").

   With a root set (a test sandbox), every path is taken below that directory: leading
   separators and "." are dropped, ".." may not climb above it. Every path slot maps its
   names itself, so nothing depends on CheckPath, which stays advisory and answers 0.

   Canonical forms use '/': the class library splits names on both separators. */
#include "refhost_internal.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <unordered_set>
#include <vector>

namespace refhost {
namespace detail {

namespace {

pthread_mutex_t gRootLock = PTHREAD_MUTEX_INITIALIZER;
std::string* gRoot = new std::string();

std::string Root() {
  pthread_mutex_lock(&gRootLock);
  std::string root = *gRoot;
  pthread_mutex_unlock(&gRootLock);
  return root;
}

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void PutUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back((char)code);
  } else if (code < 0x800) {
    out->push_back((char)(0xC0 | code >> 6));
    out->push_back((char)(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back((char)(0xE0 | code >> 12));
    out->push_back((char)(0x80 | ((code >> 6) & 0x3F)));
    out->push_back((char)(0x80 | (code & 0x3F)));
  } else {
    out->push_back((char)(0xF0 | code >> 18));
    out->push_back((char)(0x80 | ((code >> 12) & 0x3F)));
    out->push_back((char)(0x80 | ((code >> 6) & 0x3F)));
    out->push_back((char)(0x80 | (code & 0x3F)));
  }
}

/* One 2- or 3-byte modified UTF-8 unit at s (s[0] >= 0x80); its length, 0 if invalid. */
int ModifiedUnit(const unsigned char* s, uint32_t* unit) {
  if ((s[0] & 0xE0) == 0xC0 && Continuation(s[1])) {
    *unit = (uint32_t)(s[0] & 0x1F) << 6 | (s[1] & 0x3F);
    return *unit >= 0x80 ? 2 : 0; /* C0 80 is a NUL, which no OS name may hold */
  }
  if ((s[0] & 0xF0) == 0xE0 && Continuation(s[1]) && Continuation(s[2])) {
    *unit = (uint32_t)(s[0] & 0x0F) << 12 | (uint32_t)(s[1] & 0x3F) << 6 | (s[2] & 0x3F);
    return *unit >= 0x800 ? 3 : 0;
  }
  return 0;
}

}  // namespace

bool ModifiedToUtf8(const char* text, std::string* out) {
  out->clear();
  const unsigned char* s = (const unsigned char*)text;
  while (*s) {
    if (*s < 0x80) {
      out->push_back((char)*s++);
      continue;
    }
    uint32_t unit, low;
    int n = ModifiedUnit(s, &unit);
    if (n == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    s += n;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      int m = *s >= 0x80 ? ModifiedUnit(s, &low) : 0;
      if (m != 3 || low < 0xDC00 || low > 0xDFFF) return false;
      s += m;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    PutUtf8(unit, out);
  }
  return true;
}

bool Utf8ToModified(const char* text, std::string* out) {
  out->clear();
  const unsigned char* s = (const unsigned char*)text;
  while (*s) {
    uint32_t code;
    int n;
    if (*s < 0x80) {
      code = *s;
      n = 1;
    } else if ((*s & 0xE0) == 0xC0) {
      code = *s & 0x1F;
      n = 2;
    } else if ((*s & 0xF0) == 0xE0) {
      code = *s & 0x0F;
      n = 3;
    } else if ((*s & 0xF8) == 0xF0) {
      code = *s & 0x07;
      n = 4;
    } else {
      return false;
    }
    for (int i = 1; i < n; i++) {
      if (!Continuation(s[i])) return false;
      code = code << 6 | (s[i] & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    s += n;
    if (code >= 0x10000) {
      PutUtf8(0xD800 + ((code - 0x10000) >> 10), out);
      PutUtf8(0xDC00 + ((code - 0x10000) & 0x3FF), out);
    } else {
      PutUtf8(code, out);
    }
  }
  return true;
}

bool MapPath(const char* path, std::string* os) {
  if (!path) return false;
  std::string name;
  if (!ModifiedToUtf8(path, &name)) return false;
  for (char& c : name)
    if (c == '\\') c = '/';
  std::string root = Root();
  os->clear();
  if (root.empty()) {
    /* Repeated separators collapse: a leading "//" means something else to POSIX. */
    for (char c : name)
      if (c != '/' || os->empty() || os->back() != '/') os->push_back(c);
    return true;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  *os = root;
  for (const std::string& part : parts) *os += "/" + part;
  return true;
}

namespace {

bool StatPath(const char* path, struct stat* st) {
  std::string os;
  return MapPath(path, &os) && stat(os.c_str(), st) == 0;
}

/* Canonical OS form of an absolute name: the longest prefix that exists resolved by
   the OS, the rest taken as written with "." and ".." applied. */
bool Resolve(const std::string& absolute, std::string* out) {
  std::vector<std::string> parts;
  size_t start = 1;
  while (start <= absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    std::string part = absolute.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  for (size_t known = parts.size() + 1; known-- > 0;) {
    std::string prefix;
    for (size_t i = 0; i < known; i++) prefix += "/" + parts[i];
    if (prefix.empty()) prefix = "/";
    char* real = realpath(prefix.c_str(), nullptr);
    if (!real) continue;
    *out = real;
    free(real);
    for (size_t i = known; i < parts.size(); i++) *out += (out->back() == '/' ? "" : "/") + parts[i];
    return true;
  }
  return false;
}

struct Listing {
  DIR* dir;
  std::string name; /* the last name handed out, valid until the next call */
};
pthread_mutex_t gListLock = PTHREAD_MUTEX_INITIALIZER;
std::unordered_set<Listing*>* gListings = new std::unordered_set<Listing*>();

}  // namespace

jint HOSTCALL CheckPath(const char*) { return 0; }

/* The whole canonical text and its NUL fit in size bytes, or -1: never a cut name. */
jint HOSTCALL Canonicalize(const char* path, char* buf, jint size) {
  if (!buf || size <= 0) return -1;
  std::string os;
  if (!MapPath(path, &os)) return -1;
  std::string root = Root();
  if (os.empty() || os[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return -1;
    os = std::string(cwd) + "/" + os;
  }
  std::string real;
  if (!Resolve(os, &real)) return -1;
  if (!root.empty()) {
    std::string realRoot;
    if (!Resolve(root, &realRoot)) return -1;
    if (real == realRoot) {
      real = "/";
    } else if (real.compare(0, realRoot.size() + 1, realRoot + "/") == 0) {
      real = real.substr(realRoot.size());
    } else {
      return -1;
    }
  }
  if (real.find('\\') != std::string::npos) return -1;
  std::string text;
  if (!Utf8ToModified(real.c_str(), &text) || text.size() + 1 > (size_t)size) return -1;
  memcpy(buf, text.c_str(), text.size() + 1);
  return (jint)text.size();
}

/* A stat that fails for another reason than a missing name (a permission, a loop)
   still means something is there: answering "absent" invites the caller to create it. */
jboolean HOSTCALL Exists(const char* path) {
  std::string os;
  if (!MapPath(path, &os)) return 0;
  struct stat st;
  if (stat(os.c_str(), &st) == 0) return 1;
  return (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) ? 0 : 1;
}

jboolean HOSTCALL CanWrite(const char* path) {
  std::string os;
  return MapPath(path, &os) && access(os.c_str(), W_OK) == 0;
}

jboolean HOSTCALL CanRead(const char* path) {
  std::string os;
  return MapPath(path, &os) && access(os.c_str(), R_OK) == 0;
}

jboolean HOSTCALL IsFile(const char* path) {
  struct stat st;
  return StatPath(path, &st) && S_ISREG(st.st_mode);
}

jboolean HOSTCALL IsDirectory(const char* path) {
  struct stat st;
  return StatPath(path, &st) && S_ISDIR(st.st_mode);
}

jboolean HOSTCALL IsHidden(const char* path) {
  if (!path) return 0;
  const char* last = path;
  for (const char* p = path; *p; p++)
    if (*p == '/' || *p == '\\') last = p + 1;
  return *last == '.';
}

jlong HOSTCALL LastModified(const char* path) {
  struct stat st;
  if (!StatPath(path, &st)) return 0;
  return (jlong)st.st_mtim.tv_sec * 1000 + st.st_mtim.tv_nsec / 1000000;
}

jboolean HOSTCALL SetLastModified(const char* path, jlong seconds) {
  std::string os;
  if (!MapPath(path, &os)) return 0;
  if ((jlong)(time_t)seconds != seconds) return 0;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = (time_t)seconds;
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, os.c_str(), times, 0) == 0;
}

jboolean HOSTCALL SetReadOnly(const char* path) {
  std::string os;
  struct stat st;
  if (!MapPath(path, &os) || stat(os.c_str(), &st) != 0) return 0;
  return chmod(os.c_str(), st.st_mode & 07555) == 0;
}

/* -1 for a size a signed word cannot hold, never a wrapped number. */
jint HOSTCALL PathLength(const char* path) {
  struct stat st;
  if (!StatPath(path, &st)) return 0;
  return st.st_size > 0x7FFFFFFF ? -1 : (jint)st.st_size;
}

jlong HOSTCALL PathLength64(const char* path) {
  struct stat st;
  return StatPath(path, &st) ? (jlong)st.st_size : -1;
}

jboolean HOSTCALL MakeDirectory(const char* path) {
  std::string os;
  return MapPath(path, &os) && mkdir(os.c_str(), 0777) == 0;
}

jboolean HOSTCALL RemoveDirectory(const char* path) {
  std::string os;
  struct stat st;
  if (!MapPath(path, &os) || lstat(os.c_str(), &st) != 0) return 0;
  return (S_ISLNK(st.st_mode) ? unlink(os.c_str()) : rmdir(os.c_str())) == 0;
}

jboolean HOSTCALL DeleteFile(const char* path) {
  std::string os;
  return MapPath(path, &os) && unlink(os.c_str()) == 0;
}

/* Never replaces: a program that renames onto an existing name gets false and keeps
   both files. */
jboolean HOSTCALL Rename(const char* from, const char* to) {
  std::string a, b;
  if (!MapPath(from, &a) || !MapPath(to, &b)) return 0;
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return 1;
  if (errno != EINVAL && errno != ENOSYS) return 0;
  /* A file system without the flag: a file moves by a second link, which refuses an
     existing target by itself; a directory only when nothing has the name. */
  struct stat st;
  if (lstat(a.c_str(), &st) != 0) return 0;
  if (!S_ISDIR(st.st_mode)) return link(a.c_str(), b.c_str()) == 0 && unlink(a.c_str()) == 0;
  if (lstat(b.c_str(), &st) == 0) return 0;
  return rename(a.c_str(), b.c_str()) == 0;
}

jlong HOSTCALL ListOpen(const char* path) {
  std::string os;
  if (!MapPath(path, &os)) return 0;
  DIR* dir = opendir(os.c_str());
  if (!dir) return 0;
  Listing* listing = new Listing{dir, std::string()};
  pthread_mutex_lock(&gListLock);
  gListings->insert(listing);
  pthread_mutex_unlock(&gListLock);
  return (jlong)(uintptr_t)listing;
}

/* Names Java can use again: not "." or "..", valid UTF-8, no '\'. */
const char* HOSTCALL ListNext(jlong handle) {
  Listing* listing = (Listing*)(uintptr_t)handle;
  const char* result = nullptr;
  pthread_mutex_lock(&gListLock);
  if ((uint64_t)handle <= UINTPTR_MAX && gListings->count(listing)) {
    while (struct dirent* entry = readdir(listing->dir)) {
      const char* name = entry->d_name;
      if (!strcmp(name, ".") || !strcmp(name, "..") || strchr(name, '\\')) continue;
      if (!Utf8ToModified(name, &listing->name)) continue;
      result = listing->name.c_str();
      break;
    }
  }
  pthread_mutex_unlock(&gListLock);
  return result;
}

jint HOSTCALL ListClose(jlong handle) {
  Listing* listing = (Listing*)(uintptr_t)handle;
  pthread_mutex_lock(&gListLock);
  bool known = (uint64_t)handle <= UINTPTR_MAX && gListings->erase(listing) == 1;
  pthread_mutex_unlock(&gListLock);
  if (!known) return -1;
  closedir(listing->dir);
  delete listing;
  return 0;
}

jboolean HOSTCALL IsAbsolute(const char* path) { return path && (path[0] == '/' || path[0] == '\\'); }

void ResetPathHooks() {
  pthread_mutex_lock(&gRootLock);
  gRoot->clear();
  pthread_mutex_unlock(&gRootLock);
}

}  // namespace detail

void SetFileRoot(const std::string& directory) {
  std::string root = directory;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  pthread_mutex_lock(&detail::gRootLock);
  *detail::gRoot = root;
  pthread_mutex_unlock(&detail::gRootLock);
}

}  // namespace refhost
