/* The file-system table: open files behind host handles.

   The machine stores handles in Java objects and calls the table from any thread with
   no lock of its own, so one thread may close a handle while another reads through it.
   Handles are therefore this host's own numbers, never the OS descriptors: 0, 1 and 2
   are the standard streams, files count up from 3 and a number is never given out
   twice (a stale handle finds nothing instead of someone else's file). Each open file
   keeps a count of the calls running on it; the OS descriptor is closed by whichever
   of Close and the last running call comes later.

   Closing 0, 1 or 2 only answers success: the process's own descriptors stay open, so
   console text never lands in a file that happened to get descriptor 1. */
#include "refhost_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_map>
#include <vector>

namespace refhost {
namespace detail {

namespace {

struct OpenFile {
  int fd;
  uint32_t running = 0;  /* calls using fd right now */
  bool closed = false;   /* removed from the table; the last running call closes fd */
  bool seekable = false; /* a regular file */
};

pthread_mutex_t gFilesLock = PTHREAD_MUTEX_INITIALIZER;
std::unordered_map<jint, OpenFile*>* gFiles = new std::unordered_map<jint, OpenFile*>();
/* The next handle: monotonic, at most kLastHandle so that the 1.1 coding's handle + 1
   still fits a signed word. */
jint gNextHandle = kFirstFileHandle;

std::atomic<bool> gAccess{true};
std::atomic<JNIHostFileSystem*> gOverride{nullptr};
std::atomic<uint32_t> gWriteCap{0};

/* Takes a running reference on an open file; NULL for anything else. */
OpenFile* Use(jint handle) {
  if (handle < kFirstFileHandle) return nullptr;
  pthread_mutex_lock(&gFilesLock);
  OpenFile* file = nullptr;
  auto it = gFiles->find(handle);
  if (it != gFiles->end()) {
    file = it->second;
    file->running++;
  }
  pthread_mutex_unlock(&gFilesLock);
  return file;
}

/* Drops the reference; closes the descriptor when the handle was closed meanwhile.
   errno is kept, so a caller can still report the error of its own call. */
void Done(OpenFile* file) {
  int saved = errno;
  pthread_mutex_lock(&gFilesLock);
  bool last = --file->running == 0 && file->closed;
  pthread_mutex_unlock(&gFilesLock);
  if (last) {
    close(file->fd);
    delete file;
  }
  errno = saved;
}

/* Gives an OS descriptor its handle; -1 (descriptor closed) when numbers ran out. */
jint Register(int fd) {
  struct stat st;
  OpenFile* file = new OpenFile();
  file->fd = fd;
  file->seekable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  pthread_mutex_lock(&gFilesLock);
  jint handle = -1;
  if (gNextHandle <= kLastHandle) {
    handle = gNextHandle++;
    (*gFiles)[handle] = file;
  }
  pthread_mutex_unlock(&gFilesLock);
  if (handle < 0) {
    close(fd);
    delete file;
  }
  return handle;
}

/* Removes a handle from the table; the descriptor closes now or after the last call. */
bool Unregister(jint handle) {
  pthread_mutex_lock(&gFilesLock);
  OpenFile* file = nullptr;
  auto it = gFiles->find(handle);
  if (it != gFiles->end()) {
    file = it->second;
    gFiles->erase(it);
    file->closed = true;
    if (file->running > 0) file = nullptr;  /* the last call closes it */
  }
  bool found = it != gFiles->end();
  pthread_mutex_unlock(&gFilesLock);
  if (file) {
    close(file->fd);
    delete file;
  }
  return found;
}

void CloseEveryFile() {
  std::vector<jint> handles;
  pthread_mutex_lock(&gFilesLock);
  for (auto& entry : *gFiles) handles.push_back(entry.first);
  pthread_mutex_unlock(&gFilesLock);
  for (jint h : handles) Unregister(h);
}

/* read() with EINTR retried. */
ssize_t ReadSome(int fd, void* buf, size_t count) {
  for (;;) {
    ssize_t n = read(fd, buf, count);
    if (n >= 0 || errno != EINTR) return n;
  }
}

/* Sizes and positions beyond a signed word cannot be told to the machine. */
jint Narrow(jlong value) { return (value < 0 || value > 0x7FFFFFFF) ? -1 : (jint)value; }

jint HOSTCALL Close(jint h) {
  if (h >= 0 && h < kFirstFileHandle) return 0;
  return Unregister(h) ? 0 : -1;
}

jint HOSTCALL OpenRead(const char* path) {
  std::string os;
  if (!MapPath(path, &os)) return -1;
  int fd;
  do fd = open(os.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return -1;
  }
  return Register(fd);
}

/* Read-write where allowed, since a random-access file reads through the same handle.
   Without truncation the pointer starts at the end: a stream opened to append then
   appends, and a random-access file seeks where it wants first. No O_APPEND, which
   would send every positioned write to the end. */
jint HOSTCALL OpenWrite(const char* path, jboolean truncate) {
  std::string os;
  if (!MapPath(path, &os)) return -1;
  int extra = truncate ? O_TRUNC : 0;
  int fd;
  do fd = open(os.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | extra, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == EACCES) {
    do fd = open(os.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | extra, 0666);
    while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (!truncate && S_ISREG(st.st_mode) && lseek(fd, 0, SEEK_END) < 0)) {
    close(fd);
    return -1;
  }
  return Register(fd);
}

jint HOSTCALL Read(jint h, void* buf, jint count) {
  if (count < 0 || (count > 0 && !buf)) return -1;
  if (h == 0) {
    if (count == 0) return 0;
    ssize_t n = ReadSome(0, buf, (size_t)count);
    return n < 0 ? -1 : (jint)n;
  }
  OpenFile* file = Use(h);
  if (!file) return -1;
  ssize_t n = count == 0 ? 0 : ReadSome(file->fd, buf, (size_t)count);
  Done(file);
  return n < 0 ? -1 : (jint)n;
}

/* All of it, short writes and EINTR retried: 1..count, or -1 when nothing could be
   written. A failure after some bytes reports those bytes; the next call fails. */
jint HOSTCALL Write(jint h, const void* bytes, jint count) {
  if (count < 0 || (count > 0 && !bytes)) return -1;
  if (h == 1 || h == 2) {
    ConsoleWrite(h == 2, count, (const char*)bytes);
    return count;
  }
  OpenFile* file = Use(h);
  if (!file) return -1;
  uint32_t cap = gWriteCap.load(std::memory_order_relaxed);
  jint done = 0;
  while (done < count) {
    size_t want = (size_t)(count - done);
    if (cap && want > cap) want = cap;
    ssize_t n = write(file->fd, (const char*)bytes + done, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += (jint)n;
    if (cap) break; /* the test setting: one short write per call */
  }
  Done(file);
  return (done > 0 || count == 0) ? done : -1;
}

/* Never backwards. Files move their pointer (past the end, as lseek allows); pipes and
   the standard input read and drop. */
jlong HOSTCALL Skip64(jint h, jlong count) {
  if (count < 0) return -1;
  int fd = -1;
  OpenFile* file = nullptr;
  if (h == 0) {
    fd = 0;
  } else {
    file = Use(h);
    if (!file) return -1;
    fd = file->fd;
  }
  jlong result = -1;
  if (file && file->seekable) {
    off_t from = lseek(fd, 0, SEEK_CUR);
    off_t to = from < 0 || count > INT64_MAX - from ? -1 : lseek(fd, (off_t)count, SEEK_CUR);
    if (to >= 0) result = (jlong)(to - from);
  } else {
    char sink[4096];
    jlong left = count;
    result = 0;
    while (left > 0) {
      ssize_t n = ReadSome(fd, sink, left < (jlong)sizeof sink ? (size_t)left : sizeof sink);
      if (n < 0) {
        if (result == 0) result = -1;
        break;
      }
      if (n == 0) break;
      result += n;
      left -= n;
    }
  }
  if (file) Done(file);
  return result;
}

/* Skips at most count (a signed word), so the answer fits one too. */
jint HOSTCALL Skip(jint h, jint count) { return (jint)Skip64(h, count); }

/* What can be read without waiting; saturates at the largest signed word. */
jint HOSTCALL Available(jint h) {
  int fd = -1;
  OpenFile* file = nullptr;
  if (h == 0) {
    fd = 0;
  } else {
    file = Use(h);
    if (!file) return -1;
    fd = file->fd;
  }
  jint result = -1;
  struct stat st;
  if (file && file->seekable && fstat(fd, &st) == 0) {
    off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos >= 0) {
      off_t left = st.st_size > pos ? st.st_size - pos : 0;
      result = left > 0x7FFFFFFF ? 0x7FFFFFFF : (jint)left;
    }
  } else {
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) == 0) result = n < 0 ? 0 : n;
  }
  if (file) Done(file);
  return result;
}

/* Standard input has the position of what was given as it: a file redirected to it has
   one (the machine then reads it as a file, filling each range), a pipe or a terminal
   none. */
jlong HOSTCALL GetFilePointer64(jint h) {
  int fd = 0;
  OpenFile* file = nullptr;
  if (h != 0) {
    file = Use(h);
    if (!file) return -1;
    fd = file->fd;
  }
  off_t position = lseek(fd, 0, SEEK_CUR);
  if (file) Done(file);
  return position < 0 ? -1 : (jlong)position;
}

/* The new position, or -1 (then the pointer has not moved). */
jlong HOSTCALL Seek64(jint h, jlong position) {
  if (position < 0) return -1;
  OpenFile* file = Use(h);
  if (!file) return -1;
  off_t to = lseek(file->fd, (off_t)position, SEEK_SET);
  Done(file);
  return to < 0 ? -1 : (jlong)to;
}

jlong HOSTCALL Length64(jint h) {
  OpenFile* file = Use(h);
  if (!file) return -1;
  struct stat st;
  jlong result = fstat(file->fd, &st) == 0 ? (jlong)st.st_size : -1;
  Done(file);
  return result;
}

/* The 32-bit slots: -1 for what a signed word cannot hold, never a wrapped number. */
jint HOSTCALL GetFilePointer(jint h) { return Narrow(GetFilePointer64(h)); }

jint HOSTCALL Seek(jint h, jint position) { return Narrow(Seek64(h, position)); }

jint HOSTCALL Length(jint h) { return Narrow(Length64(h)); }

/* The standard streams have nothing to force out (fsync fails on a tty or a pipe).
   On failure errno is fsync's own when this returns. */
jboolean HOSTCALL Sync(jint h) {
  if (h >= 0 && h < kFirstFileHandle) return 1;
  OpenFile* file = Use(h);
  if (!file) {
    errno = EBADF;
    return 0;
  }
  int rc = fsync(file->fd);
  Done(file);
  return rc == 0 ? 1 : 0;
}

JNIHostFileSystem* BuildTable() {
  static JNIHostFileSystem table;
  JNIHostFileSystem& t = table;
  t.CheckPath = CheckPath;
  t.Canonicalize = Canonicalize;
  t.Exists = Exists;
  t.CanWrite = CanWrite;
  t.CanRead = CanRead;
  t.IsFile = IsFile;
  t.IsDirectory = IsDirectory;
  t.IsHidden = IsHidden;
  t.LastModified = LastModified;
  t.SetLastModified = SetLastModified;
  t.SetReadOnly = SetReadOnly;
  t.PathLength = PathLength;
  t.MakeDirectory = MakeDirectory;
  t.RemoveDirectory = RemoveDirectory;
  t.Rename = Rename;
  t.DeleteFile = DeleteFile;
  t.ListOpen = ListOpen;
  t.ListNext = ListNext;
  t.ListClose = ListClose;
  t.IsAbsolute = IsAbsolute;
  t.Close = Close;
  t.OpenRead = OpenRead;
  t.Read = Read;
  t.Skip = Skip;
  t.Available = Available;
  t.OpenWrite = OpenWrite;
  t.Write = Write;
  t.GetFilePointer = GetFilePointer;
  t.Seek = Seek;
  t.Length = Length;
  t.Sync = Sync;
  t.PathLength64 = PathLength64;
  t.Skip64 = Skip64;
  t.GetFilePointer64 = GetFilePointer64;
  t.Seek64 = Seek64;
  t.Length64 = Length64;
  return &table;
}

JNIHostFileSystem* const gTable = BuildTable();

}  // namespace

JNIHostFileSystem* HOSTCALL GetFileSystem(void) {
  if (!gAccess.load()) return nullptr;
  JNIHostFileSystem* scripted = gOverride.load();
  return scripted ? scripted : gTable;
}

void ResetFileHooks() {
  gAccess.store(true);
  gOverride.store(nullptr);
  gWriteCap.store(0);
  ResetPathHooks();
}

}  // namespace detail

using namespace detail;

void SetFileAccess(bool on) {
  /* The machine cannot reach Close without a table, so what is open now is closed here
     rather than left open for good. */
  if (!on && gAccess.exchange(false)) CloseEveryFile();
  if (on) gAccess.store(true);
}

void SetFileSystemOverride(JNIHostFileSystem* table) { gOverride.store(table); }

JNIHostFileSystem* RealFileSystem() { return gTable; }

void SetFileWriteCap(uint32_t bytes) { gWriteCap.store(bytes); }

uint32_t OpenFileCount() {
  pthread_mutex_lock(&gFilesLock);
  uint32_t n = (uint32_t)gFiles->size();
  pthread_mutex_unlock(&gFilesLock);
  return n;
}

void CloseAllFiles() { CloseEveryFile(); }

void SetNextFileHandle(jint handle) {
  pthread_mutex_lock(&gFilesLock);
  if (handle >= kFirstFileHandle && handle <= kLastHandle + 1 && (handle >= gNextHandle || gFiles->empty()))
    gNextHandle = handle;
  pthread_mutex_unlock(&gFilesLock);
}

}  // namespace refhost
