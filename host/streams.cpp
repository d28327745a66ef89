/* Class streams: classes from directories and zip archives on a class path per loader id.

   Every handle the machine sees is a Stream. Archives are read into memory once and
   shared by the streams cut from them: the archive stream handed to the machine's entry
   finder, windows over stored entries, and the machine's inflating streams over
   deflated ones. When the machine calls with its entry finder, an archive is indexed by
   the machine's zip directory hash (on a heap of the host's own that no machine ever
   sees), and entries are found through it; the finder's walk of the local headers is
   left for archives the hash refuses (bytes in front, a comment too long to find the
   end record, a directory that does not add up). The machine is reached through its
   entry-point block, looked up at run time, so the host library has no link-time tie
   to it. */
#include "refhost_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace refhost {
namespace detail {

namespace {

struct Blob {
  uint8_t* bytes = nullptr;
  uint32_t size = 0;
  bool mapped = false;
  bool borrowed = false; /* the caller's bytes: not ours to free */
  ~Blob() {
    if (borrowed) return;
    if (mapped) munmap(bytes, size);
    else free(bytes);
  }
};
typedef std::shared_ptr<const Blob> BlobRef;

/* A window over bytes in memory, which keeps their owner alive. */
class MemoryStream : public Stream {
 public:
  MemoryStream(BlobRef owner, const uint8_t* data, jint size, jint pos) : owner_(owner), data_(data) {
    size_ = size;
    pos_ = pos;
  }
  jint Read(void* buf, jint count) override {
    if (count <= 0) return 0;
    jint left = size_ - pos_;
    jint n = count < left ? count : left;
    if (n <= 0) return 0;
    memcpy(buf, data_ + pos_, (size_t)n);
    pos_ += n;
    return n;
  }

 protected:
  bool MoveTo(jint) override { return true; }

 private:
  BlobRef owner_;
  const uint8_t* data_;
};

/* The machine's zip entries (27 to 34 of its entry-point block). */
struct MachineZip {
  void*(HOSTCALL* createHash)(HHeap*, JNIHostFunctions*, void*, jint(HOSTCALL*)(void*, uint32_t), uint32_t);
  void(HOSTCALL* destroyHash)(HHeap*, void*);
  jboolean(HOSTCALL* lookup)(void*, const char*, uint32_t*, uint32_t*, uint32_t*);
  void*(HOSTCALL* open)(void*, uint32_t, uint32_t);
  jint(HOSTCALL* read)(void*, void*, jint);
  jint(HOSTCALL* seek)(void*, jint);
  jint(HOSTCALL* seekAbsolute)(void*, jint);
  void(HOSTCALL* close)(void*);
  HHeap* heap; /* the tables' heap */
};

/* Null when no machine library is loaded in the process. */
const MachineZip* Zip() {
  static const MachineZip* zip = [] () -> const MachineZip* {
    typedef const uint32_t*(HOSTCALL * Entries)(void);
    Entries entries = reinterpret_cast<Entries>(dlsym(RTLD_DEFAULT, "JNI_GetEntryPoints"));
    if (entries == nullptr) return nullptr;
    const uint32_t* block = entries();
    if (block == nullptr) return nullptr;
    static MachineZip z;
    auto at = [&](int i) { return reinterpret_cast<void*>((uintptr_t)block[2 + i]); };
    z.createHash = reinterpret_cast<decltype(z.createHash)>(at(27));
    z.destroyHash = reinterpret_cast<decltype(z.destroyHash)>(at(28));
    z.lookup = reinterpret_cast<decltype(z.lookup)>(at(29));
    z.open = reinterpret_cast<decltype(z.open)>(at(30));
    z.read = reinterpret_cast<decltype(z.read)>(at(31));
    z.seek = reinterpret_cast<decltype(z.seek)>(at(32));
    z.seekAbsolute = reinterpret_cast<decltype(z.seekAbsolute)>(at(33));
    z.close = reinterpret_cast<decltype(z.close)>(at(34));
    z.heap = HeapCreate(nullptr, 1);
    return z.heap != nullptr ? &z : nullptr;
  }();
  return zip;
}

/* A deflated entry inflated by the machine, read through its stream entries. */
class ZStrmStream : public Stream {
 public:
  ZStrmStream(void* z, jint size) : z_(z) { size_ = size; }
  ~ZStrmStream() override { Zip()->close(z_); }
  jint Read(void* buf, jint count) override {
    if (count <= 0) return 0;
    jint n = Zip()->read(z_, buf, count);
    if (n > 0) pos_ += n;
    return n;
  }

 protected:
  bool MoveTo(jint position) override { return Zip()->seekAbsolute(z_, position) == position; }

 private:
  void* z_;
};

inline uint16_t Get2(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t Get4(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

const uint32_t kLocalSig = 0x04034B50u, kCentralSig = 0x02014B50u, kEndSig = 0x06054B50u;

/* Files are read whole, or mapped whole when map is set; 32-bit sizes and positions cap
   them below 2 GiB. */
std::shared_ptr<Blob> ReadFile(const std::string& path, struct stat* statOut, bool map = false) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0x7FFFFFFF) {
    close(fd);
    return nullptr;
  }
  auto blob = std::make_shared<Blob>();
  blob->size = (uint32_t)st.st_size;
  if (map && blob->size != 0) {
    void* bytes = mmap(nullptr, blob->size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (bytes != MAP_FAILED) {
      close(fd);
      blob->bytes = (uint8_t*)bytes;
      blob->mapped = true;
      if (statOut) *statOut = st;
      return blob;
    }
  }
  blob->bytes = (uint8_t*)malloc(blob->size ? blob->size : 1);
  if (!blob->bytes) {
    close(fd);
    return nullptr;
  }
  uint32_t got = 0;
  while (got < blob->size) {
    ssize_t n = read(fd, blob->bytes + got, blob->size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += (uint32_t)n;
  }
  close(fd);
  if (got != blob->size) return nullptr;
  if (statOut) *statOut = st;
  return blob;
}

struct ZipEntry {
  uint16_t method;
  uint32_t csize, usize, data;
};

struct Archive {
  std::shared_ptr<Blob> blob;
  dev_t dev;
  ino_t ino;
  off_t size;
  time_t mtime;
  long mtimeNs;
  uint32_t firstHeader = 0;
  std::unordered_map<uint32_t, ZipEntry> byData;     /* data offset -> entry */
  std::unordered_map<std::string, ZipEntry> byName;  /* first entry of a name */
  std::once_flag tableMade;
  void* table = nullptr; /* the machine's hash of the directory; null when refused */
  ~Archive() {
    if (table != nullptr) Zip()->destroyHash(Zip()->heap, table);
  }
  /* Made on first use, by a thread of the machine (which has handed its table over). */
  void* Table() {
    std::call_once(tableMade, [this] {
      const MachineZip* zip = Zip();
      if (zip == nullptr) return;
      // A window over the archive's own bytes, which it keeps alive: no copy.
      Stream* s = new MemoryStream(blob, blob->bytes, (jint)blob->size, 0);
      table = zip->createHash(zip->heap, refhost::Functions(), s, refhost::ZipSeek, blob->size);
      StreamClose(s);
    });
    return table;
  }
};

/* Indexes the central directory; a damaged or missing one leaves the maps partial. */
void IndexArchive(Archive& a) {
  const uint8_t* b = a.blob->bytes;
  uint32_t size = a.blob->size;
  if (size >= 4 && Get4(b) == kLocalSig) a.firstHeader = 0;
  if (size < 22) return;
  uint32_t end = 0;
  bool found = false;
  uint32_t lowest = size - 22 > 0xFFFF ? size - 22 - 0xFFFF : 0;
  for (uint32_t i = size - 22 + 1; i-- > lowest;) {
    if (Get4(b + i) == kEndSig) {
      end = i;
      found = true;
      break;
    }
  }
  if (!found) return;
  uint32_t count = Get2(b + end + 10), cdSize = Get4(b + end + 12), cdOffset = Get4(b + end + 16);
  if ((uint64_t)cdOffset + cdSize > end) return;
  uint32_t shift = end - (cdOffset + cdSize); /* bytes prepended to the archive */
  uint32_t pos = cdOffset + shift;
  uint32_t firstLocal = UINT32_MAX;
  for (uint32_t k = 0; k < count; k++) {
    if ((uint64_t)pos + 46 > end || Get4(b + pos) != kCentralSig) break;
    uint16_t method = Get2(b + pos + 10);
    uint32_t csize = Get4(b + pos + 20), usize = Get4(b + pos + 24);
    uint32_t n = Get2(b + pos + 28), m = Get2(b + pos + 30), c = Get2(b + pos + 32);
    uint64_t local = (uint64_t)Get4(b + pos + 42) + shift;
    if ((uint64_t)pos + 46 + n > end) break;
    std::string name((const char*)b + pos + 46, n);
    pos += 46 + n + m + c;
    if (local + 30 > size || Get4(b + local) != kLocalSig) continue;
    uint64_t data = local + 30 + Get2(b + local + 26) + Get2(b + local + 28);
    if (data + csize > size) continue;
    if (local < firstLocal) firstLocal = (uint32_t)local;
    ZipEntry e = {method, csize, usize, (uint32_t)data};
    a.byData.emplace(e.data, e);
    a.byName.emplace(name, e);
  }
  if (!(size >= 4 && Get4(b) == kLocalSig) && firstLocal != UINT32_MAX) a.firstHeader = firstLocal;
}

struct PathEntry {
  std::string path;
  std::mutex lock;               /* guards archive */
  std::shared_ptr<Archive> archive;
};

std::mutex gMappedLock;
std::vector<std::string>& gMapped = *new std::vector<std::string>();

bool IsMapped(const std::string& path) {
  std::lock_guard<std::mutex> guard(gMappedLock);
  for (const std::string& p : gMapped)
    if (p == path) return true;
  return false;
}
typedef std::vector<std::shared_ptr<PathEntry>> ClassPath;

std::mutex gPathsLock;
/* Never destroyed: archives live until the process ends, and their tables must not be
   released by exit-time destructors after the machine library has gone. */
std::map<void*, std::shared_ptr<ClassPath>>& gPaths = *new std::map<void*, std::shared_ptr<ClassPath>>();

const char* const kDefaultSystemPrefixes[] = {"java/", "corvane/", "nimbrel/", "corvane_vm_internal_jnitest"};
std::mutex gPrefixLock;
std::vector<std::string> gSystemPrefixes(std::begin(kDefaultSystemPrefixes), std::end(kDefaultSystemPrefixes));

/* The archive at an entry's path, re-read when the file changed since it was read. */
std::shared_ptr<Archive> ArchiveOf(PathEntry& entry, const struct stat& st) {
  std::lock_guard<std::mutex> guard(entry.lock);
  std::shared_ptr<Archive>& a = entry.archive;
  if (a && a->dev == st.st_dev && a->ino == st.st_ino && a->size == st.st_size &&
      a->mtime == st.st_mtim.tv_sec && a->mtimeNs == st.st_mtim.tv_nsec)
    return a;
  struct stat now;
  std::shared_ptr<Blob> blob = ReadFile(entry.path, &now, IsMapped(entry.path));
  if (!blob) return nullptr;
  auto fresh = std::make_shared<Archive>();
  fresh->blob = blob;
  fresh->dev = now.st_dev;
  fresh->ino = now.st_ino;
  fresh->size = now.st_size;
  fresh->mtime = now.st_mtim.tv_sec;
  fresh->mtimeNs = now.st_mtim.tv_nsec;
  IndexArchive(*fresh);
  a = fresh;
  return a;
}

/* The archive already read at a mapped path: a mapped file is taken to stay as it is,
   so it is not looked at again on every class. Null when the path is not mapped or not
   read yet. */
std::shared_ptr<Archive> MappedArchiveOf(PathEntry& entry) {
  if (!IsMapped(entry.path)) return nullptr;
  std::lock_guard<std::mutex> guard(entry.lock);
  return entry.archive;
}

/* Class names become relative paths: nothing may climb out of a class-path directory. */
bool SafeClassName(const char* name) {
  if (!name || !*name || *name == '/') return false;
  size_t len = strlen(name);
  if (len > 4096 || name[len - 1] == '/') return false;
  const char* seg = name;
  for (const char* p = name;; p++) {
    if (*p == '/' || *p == 0) {
      size_t n = (size_t)(p - seg);
      if (n == 0 || (n == 1 && seg[0] == '.') || (n == 2 && seg[0] == '.' && seg[1] == '.')) return false;
      if (*p == 0) break;
      seg = p + 1;
    }
  }
  return true;
}

/* Deflate turns at most 1032 bytes out of one byte it is given (and an empty stream
   still takes a few): an entry claiming more is damaged or hostile, and its claim is
   never allocated. The machine's inflating streams hold at most 1 MB. */
const uint64_t kInflateRatio = 1032, kInflateSlack = 64;
const uint32_t kLargestInflate = 1u << 20;
std::atomic<uint32_t> gLargestInflate{0};

Stream* EntryStream(const std::shared_ptr<Archive>& a, uint16_t method, uint32_t csize, uint32_t usize, uint32_t data) {
  const Blob& blob = *a->blob;
  if (usize > 0x7FFFFFFF || data > blob.size || csize > blob.size - data) return nullptr;
  if (method == 0) {
    if (usize > blob.size - data) return nullptr;
    return new MemoryStream(a->blob, blob.bytes + data, (jint)usize, 0);
  }
  if (method != 8 || usize > (uint64_t)csize * kInflateRatio + kInflateSlack) return nullptr;
  if (usize == 0) return new MemoryStream(a->blob, blob.bytes + data, 0, 0);
  const MachineZip* zip = Zip();
  if (zip == nullptr) return nullptr;
  if (usize > kLargestInflate) {
    char text[120];
    snprintf(text, sizeof text, "refhost: an archive entry of %u bytes is larger than the machine inflates\n", usize);
    LogText(text);
    return nullptr;
  }
  for (uint32_t seen = gLargestInflate.load(); usize > seen && !gLargestInflate.compare_exchange_weak(seen, usize);) {
  }
  // The machine's streams need a host table. Making the directory's hash gives it ours
  // when it has none, and never replaces one a machine was created with (a test's
  // recording table, say): handing ours over outright would.
  a->Table();
  // The machine reads the compressed bytes through a window over the archive (which the
  // window keeps alive), never through a copy of the whole archive per entry.
  Stream* s = new MemoryStream(a->blob, blob.bytes, (jint)blob.size, 0);
  refhost::ZipSeek(s, data);
  void* z = zip->open(s, usize, csize);
  StreamClose(s);
  if (z == nullptr) return nullptr;
  return new ZStrmStream(z, (jint)usize);
}

Stream* FromCentralDirectory(const std::shared_ptr<Archive>& a, const std::string& entryName) {
  auto it = a->byName.find(entryName);
  if (it == a->byName.end()) return nullptr;
  const ZipEntry& e = it->second;
  return EntryStream(a, e.method, e.csize, e.usize, e.data);
}

Stream* FromArchive(const std::shared_ptr<Archive>& a, const std::string& entryName, JNIHostFindInZipFileFn finder) {
  if (!finder) return FromCentralDirectory(a, entryName);
  if (void* table = a->Table()) {
    uint32_t data, usize, csize;
    if (!Zip()->lookup(table, entryName.c_str(), &data, &usize, &csize)) return nullptr;
    // The hash records no method: the host's own reading of the directory does.
    auto it = a->byData.find(data);
    uint16_t method = it != a->byData.end() ? it->second.method : (csize == usize ? 0 : 8);
    return EntryStream(a, method, csize, usize, data);
  }
  /* The machine walks the local headers itself through the stream slots. */
  MemoryStream archive(a->blob, a->blob->bytes, (jint)a->blob->size, 0);
  if (a->firstHeader && !archive.SetPosition(a->firstHeader)) return nullptr;
  uint32_t csize = 0;
  uint32_t usize = finder(static_cast<Stream*>(&archive), entryName.c_str(), &csize);
  /* The walk stops at an entry whose sizes follow its data (as jar and other stream
     writers make them); the central directory knows every entry. */
  if (usize == 0) return FromCentralDirectory(a, entryName);
  uint32_t data = (uint32_t)archive.Position();
  auto it = a->byData.find(data);
  uint16_t method;
  if (it != a->byData.end()) {
    method = it->second.method;
  } else {
    /* No central record for this entry: the finder reports stored entries with equal sizes. */
    method = csize == usize ? 0 : 8;
  }
  return EntryStream(a, method, csize, usize, data);
}

Stream* FromDirectory(const std::string& dir, const std::string& relative) {
  std::string path = dir;
  if (path.empty() || path.back() != '/') path += '/';
  path += relative;
  std::shared_ptr<Blob> blob = ReadFile(path, nullptr);
  if (!blob) return nullptr;
  return new MemoryStream(blob, blob->bytes, (jint)blob->size, 0);
}

inline Stream* AsStream(void* s) { return static_cast<Stream*>(s); }

}  // namespace

jboolean HOSTCALL IsSystemClassName(const char* name) {
  if (!name) return 0;
  std::lock_guard<std::mutex> guard(gPrefixLock);
  for (const std::string& p : gSystemPrefixes)
    if (strncmp(name, p.c_str(), p.size()) == 0) return 1;
  return 0;
}

void* HOSTCALL OpenClassStream(const char* name, JNIHostFindInZipFileFn finder, void* loaderId) {
  if (!SafeClassName(name)) return nullptr;
  std::shared_ptr<ClassPath> path;
  {
    std::lock_guard<std::mutex> guard(gPathsLock);
    auto it = gPaths.find(loaderId);
    if (it == gPaths.end()) return nullptr;
    path = it->second;
  }
  std::string file = std::string(name) + ".class";
  for (const std::shared_ptr<PathEntry>& entry : *path) {
    if (std::shared_ptr<Archive> a = MappedArchiveOf(*entry)) {
      if (Stream* s = FromArchive(a, file, finder)) return s;
      continue;
    }
    struct stat st;
    if (stat(entry->path.c_str(), &st) != 0) continue;
    Stream* s = nullptr;
    if (S_ISDIR(st.st_mode)) {
      s = FromDirectory(entry->path, file);
    } else if (S_ISREG(st.st_mode)) {
      std::shared_ptr<Archive> a = ArchiveOf(*entry, st);
      if (a) s = FromArchive(a, file, finder);
    }
    if (s) return static_cast<Stream*>(s);
  }
  return nullptr;
}

void* OpenResource(const char* name, void* loaderId) {
  if (!SafeClassName(name)) return nullptr;
  std::shared_ptr<ClassPath> path;
  {
    std::lock_guard<std::mutex> guard(gPathsLock);
    auto it = gPaths.find(loaderId);
    if (it == gPaths.end()) return nullptr;
    path = it->second;
  }
  for (const std::shared_ptr<PathEntry>& entry : *path) {
    if (std::shared_ptr<Archive> a = MappedArchiveOf(*entry)) {
      if (Stream* s = FromCentralDirectory(a, name)) return s;
      continue;
    }
    struct stat st;
    if (stat(entry->path.c_str(), &st) != 0) continue;
    Stream* s = nullptr;
    if (S_ISDIR(st.st_mode)) {
      s = FromDirectory(entry->path, name);
    } else if (S_ISREG(st.st_mode)) {
      std::shared_ptr<Archive> a = ArchiveOf(*entry, st);
      if (a) s = FromCentralDirectory(a, name);
    }
    if (s) return static_cast<Stream*>(s);
  }
  return nullptr;
}

jint HOSTCALL StreamRead(void* s, void* buf, jint count) { return s ? AsStream(s)->Read(buf, count) : -1; }
jint HOSTCALL StreamSkip(void* s, jint count) { return s ? AsStream(s)->Skip(count) : -1; }
jint HOSTCALL StreamSeek(void* s, jint position) { return s ? AsStream(s)->Seek(position) : -1; }
jint HOSTCALL StreamSize(void* s) { return s ? AsStream(s)->Size() : -1; }
void HOSTCALL StreamClose(void* s) { delete AsStream(s); }

void ResetStreamHooks() {
  gLargestInflate = 0;
  std::lock_guard<std::mutex> guard(gPrefixLock);
  gSystemPrefixes.assign(std::begin(kDefaultSystemPrefixes), std::end(kDefaultSystemPrefixes));
}

}  // namespace detail

using namespace detail;

void SetClassPath(void* loaderId, const std::string& path) {
  auto cp = std::make_shared<ClassPath>();
  size_t start = 0;
  while (start <= path.size()) {
    size_t colon = path.find(':', start);
    if (colon == std::string::npos) colon = path.size();
    if (colon > start) {
      auto e = std::make_shared<PathEntry>();
      e->path = path.substr(start, colon - start);
      cp->push_back(e);
    }
    start = colon + 1;
  }
  std::lock_guard<std::mutex> guard(gPathsLock);
  if (cp->empty()) gPaths.erase(loaderId);
  else gPaths[loaderId] = cp;
}

void MapArchive(const std::string& path) {
  std::lock_guard<std::mutex> guard(gMappedLock);
  for (const std::string& p : gMapped)
    if (p == path) return;
  gMapped.push_back(path);
}

std::string GetClassPath(void* loaderId) {
  std::lock_guard<std::mutex> guard(gPathsLock);
  auto it = gPaths.find(loaderId);
  std::string out;
  if (it == gPaths.end()) return out;
  for (const auto& e : *it->second) {
    if (!out.empty()) out += ':';
    out += e->path;
  }
  return out;
}

void SetSystemClassPrefixes(const std::vector<std::string>& prefixes) {
  std::lock_guard<std::mutex> guard(gPrefixLock);
  gSystemPrefixes = prefixes;
}

void* OpenFileStream(const char* path) {
  if (!path) return nullptr;
  std::shared_ptr<Blob> blob = ReadFile(path, nullptr);
  if (!blob) return nullptr;
  return static_cast<Stream*>(new MemoryStream(blob, blob->bytes, (jint)blob->size, 0));
}

void* OpenMemoryStream(const void* data, uint32_t size) {
  if (size > 0x7FFFFFFF || (!data && size)) return nullptr;
  auto blob = std::make_shared<Blob>();
  blob->size = size;
  blob->bytes = (uint8_t*)malloc(size ? size : 1);
  if (!blob->bytes) return nullptr;
  if (size) memcpy(blob->bytes, data, size);
  return static_cast<Stream*>(new MemoryStream(blob, blob->bytes, (jint)size, 0));
}

void* OpenMemoryView(const void* data, uint32_t size) {
  if (size > 0x7FFFFFFF || !data) return nullptr;
  auto blob = std::make_shared<Blob>();
  blob->size = size;
  blob->bytes = const_cast<uint8_t*>(static_cast<const uint8_t*>(data));
  blob->borrowed = true;
  return static_cast<Stream*>(new MemoryStream(blob, blob->bytes, (jint)size, 0));
}

uint32_t LargestInflateBuffer() { return gLargestInflate.load(); }

jint HOSTCALL ZipSeek(void* stream, uint32_t absolutePosition) {
  if (!stream) return -1;
  return AsStream(stream)->SetPosition(absolutePosition) ? 0 : -1;
}

}  // namespace refhost
