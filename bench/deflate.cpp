/* Our deflate engine against the system zlib (32-bit, the library the host links), in one
   run on the same data: compressed size and speed at levels 1, 6 and 9, window bits 15
   (wrapped) and -15 (raw, as GZIP and ZIP use), memLevel 7 (what the Deflater natives
   use) and 8 (zlib's default), single shot and in the natives' 256-byte pattern; the
   start and end of a stream; the pool bytes of a stream. Every stream of ours must
   inflate back (with zlib, same window bits) and give its pool bytes back, or the run
   fails. Whether our bytes equal zlib's is reported, not required. */
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../tests/compress/sample_data.h"
#include "bench_util.h"
#include "deflate.h"
#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmutils.h"
#include "zippool.h"

namespace {

using bench::Best;
using bench::Clock;
using bench::Seconds;
using sample_data::Bytes;

ZipPoolCookie* cookie;
int failures = 0;

struct Case {
  int level;
  int windowBits;
  int memLevel;
  bool natives; /* 256-byte input pieces with flush 0 and 256-byte output room */
};

/* Ours and zlib's stream behind one face. */
struct Engine {
  const char* name;
  bool ours;
};

struct Stream {
  puxz::z_stream our;
  z_stream their;
};

int Init(const Engine& e, Stream& s, const Case& c) {
  if (e.ours) {
    memset(&s.our, 0, sizeof s.our);
    s.our.zalloc = ZipPoolAlloc;
    s.our.zfree = ZipPoolFree;
    s.our.opaque = cookie;
    return puxz::deflateInit2_(&s.our, c.level, 8, c.windowBits, c.memLevel, 0, PUXZ_VERSION,
                               (int)sizeof(puxz::z_stream));
  }
  memset(&s.their, 0, sizeof s.their);
  return deflateInit2(&s.their, c.level, Z_DEFLATED, c.windowBits, c.memLevel, Z_DEFAULT_STRATEGY);
}

int Step(const Engine& e, Stream& s, const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t outLen,
         int flush, uint32_t* taken, uint32_t* made) {
  int rc;
  if (e.ours) {
    s.our.next_in = in;
    s.our.avail_in = inLen;
    s.our.next_out = out;
    s.our.avail_out = outLen;
    rc = puxz::deflate(&s.our, flush);
    *taken = inLen - s.our.avail_in;
    *made = outLen - s.our.avail_out;
  } else {
    s.their.next_in = const_cast<uint8_t*>(in);
    s.their.avail_in = inLen;
    s.their.next_out = out;
    s.their.avail_out = outLen;
    rc = deflate(&s.their, flush);
    *taken = inLen - s.their.avail_in;
    *made = outLen - s.their.avail_out;
  }
  return rc;
}

int End(const Engine& e, Stream& s) { return e.ours ? puxz::deflateEnd(&s.our) : deflateEnd(&s.their); }

/* One whole stream; false on any unexpected answer. */
bool Compress(const Engine& e, const Case& c, const Bytes& in, Bytes* out) {
  Stream s;
  if (Init(e, s, c) != 0) return false;
  out->resize(in.size() + in.size() / 8 + 4096);
  size_t pos = 0, produced = 0;
  uint32_t taken, made;
  int rc = 0;
  if (!c.natives) {
    rc = Step(e, s, in.data(), (uint32_t)in.size(), out->data(), (uint32_t)out->size(), 4, &taken, &made);
    produced = made;
  } else {
    uint8_t room[256];
    while (pos < in.size() && rc == 0) {
      uint32_t piece = (uint32_t)std::min<size_t>(256, in.size() - pos);
      const uint8_t* p = in.data() + pos;
      // As the natives do: call until the piece is taken and the output room was not filled.
      do {
        rc = Step(e, s, p, piece, room, sizeof room, 0, &taken, &made);
        memcpy(out->data() + produced, room, made);
        produced += made;
        p += taken;
        piece -= taken;
      } while (rc == 0 && (piece != 0 || made == sizeof room));
      pos = p - in.data();
    }
    while (rc == 0) {
      rc = Step(e, s, NULL, 0, room, sizeof room, 4, &taken, &made);
      memcpy(out->data() + produced, room, made);
      produced += made;
    }
  }
  out->resize(produced);
  int end = End(e, s);
  return rc == 1 && end == 0;
}

bool Inflates(const Bytes& compressed, int windowBits, const Bytes& in) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, windowBits) != Z_OK) return false;
  Bytes back(in.size() + 1);
  z.next_in = const_cast<uint8_t*>(compressed.data());
  z.avail_in = (uInt)compressed.size();
  z.next_out = back.data();
  z.avail_out = (uInt)back.size();
  int rc = inflate(&z, Z_FINISH);
  bool ok = rc == Z_STREAM_END && z.avail_in == 0 && z.total_out == in.size() &&
            memcmp(back.data(), in.data(), in.size()) == 0;
  inflateEnd(&z);
  return ok;
}

std::string Thousands(size_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); i++) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

void Run(const char* dataName, const Bytes& in, const Case& ours, const Case& theirs) {
  const Engine us = {"ours", true}, them = {"zlib", false};
  Bytes a, b;
  if (!Compress(us, ours, in, &a) || !Inflates(a, ours.windowBits, in)) {
    printf("%s L%d m%d %d: FAILED: our stream does not inflate back\n", dataName, ours.level, ours.memLevel,
           ours.windowBits);
    failures++;
    return;
  }
  if (ZipPoolBytesInUse(cookie) != 0) {
    printf("FAILED: the pool holds %u bytes after deflateEnd\n", ZipPoolBytesInUse(cookie));
    failures++;
  }
  Compress(them, theirs, in, &b);
  const int repeats = 7;
  double tOurs, tZlib;
  bench::BestOfBoth([&] { Compress(us, ours, in, &a); }, [&] { Compress(them, theirs, in, &b); }, repeats, &tOurs,
                    &tZlib);
  double mb = in.size() / 1e6;
  std::string same;
  if (ours.level != theirs.level) {
    same = "";
  } else if (a == b) {
    same = " | bytes identical";
  } else {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
    same = " | bytes differ at " + std::to_string(i);
  }
  char label[80];
  if (ours.level == theirs.level && ours.memLevel == theirs.memLevel) {
    snprintf(label, sizeof label, "%s L%d m%d %d %s", dataName, ours.level, ours.memLevel, ours.windowBits,
             ours.natives ? "256/256" : "single");
  } else {
    snprintf(label, sizeof label, "%s L%d m%d vs zlib L%d m%d %s", dataName, ours.level, ours.memLevel,
             theirs.level, theirs.memLevel, ours.natives ? "256/256" : "single");
  }
  double inBytes = (double)std::max<size_t>(1, in.size());
  printf("%-34s ours %11s (%5.1f%%, %4.2f b/B) %6.1f MB/s | zlib %11s (%5.1f%%, %4.2f b/B) %6.1f MB/s | time x%.2f%s\n",
         label, Thousands(a.size()).c_str(), 100.0 * a.size() / inBytes, 8.0 * a.size() / inBytes, mb / tOurs,
         Thousands(b.size()).c_str(), 100.0 * b.size() / inBytes, 8.0 * b.size() / inBytes, mb / tZlib, tOurs / tZlib,
         same.c_str());
  fflush(stdout);
}

void StartAndEnd(int memLevel) {
  const Engine us = {"ours", true}, them = {"zlib", false};
  Case c = {1, 15, memLevel, false};
  const int n = 200;
  double times[2];
  const Engine* engines[2] = {&us, &them};
  for (int k = 0; k < 2; k++) {
    times[k] = Best([&] {
      for (int i = 0; i < n; i++) {
        Stream s;
        Init(*engines[k], s, c);
        End(*engines[k], s);
      }
    }, 3) / n;
  }
  Stream s;
  Init(us, s, c);
  uint32_t pool = ZipPoolBytesInUse(cookie);
  End(us, s);
  uint32_t documented = (1u << (15 + 2)) + (1u << (memLevel + 9));
  printf("start+end m%d: ours %.1f us, zlib %.1f us (x%.1f) | pool bytes of a stream %s, zlib's documented "
         "need %s plus its state\n",
         memLevel, times[0] * 1e6, times[1] * 1e6, times[0] / times[1], Thousands(pool).c_str(),
         Thousands(documented).c_str());
}

std::string Dirname(const std::string& path) { return path.substr(0, path.rfind('/')); }

void CollectSources(const std::string& dir, std::vector<std::string>* files) {
  DIR* d = opendir(dir.c_str());
  if (d == NULL) return;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      CollectSources(path, files);
    } else if (name.size() > 2 && (name.substr(name.size() - 2) == ".h" || name.substr(name.size() - 4) == ".cpp")) {
      files->push_back(path);
    }
  }
  closedir(d);
}

}  // namespace

int main(int argc, char** argv) {
  // An optional first argument names the only data set to run, a second the only level
  // (for profiling one case).
  const char* only = argc > 1 ? argv[1] : NULL;
  const int onlyLevel = argc > 2 ? atoi(argv[2]) : -1;
  // Never ours against ours: the zlib symbols must come from the system library.
  Dl_info info;
  if (strcmp(zlibVersion(), "1.2.13") != 0 || dladdr((void*)&::deflate, &info) == 0 || info.dli_fname == NULL ||
      strstr(info.dli_fname, "libz") == NULL) {
    fprintf(stderr, "the system zlib 1.2.13 is not the one linked (%s)\n", zlibVersion());
    return 1;
  }
  JNIHostFunctions* host = refhost::Functions();
  VMUtils::Init(host);
  VMUtils::SetHostFunctions(host);
  refhost::SetBlockPatterns(false, false);
  JavaVM* jvm = (JavaVM*)host->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = VMNameSpace::CreateInstance();
  jvm->vm = VM::CreateInstance(1024, jvm);
  JNIEnv* env = jvm->vm != nullptr ? VMJniCreateEnv(jvm) : nullptr;
  if (env == nullptr || VMJniAttachEnv(jvm, env) != 0) {
    fprintf(stderr, "no machine\n");
    return 1;
  }
  cookie = ZipPoolGetCookie();

  char exe[4096];
  ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
  exe[len > 0 ? len : 0] = 0;
  std::string buildDir = Dirname(exe), sourceDir = Dirname(Dirname(__FILE__));
  Bytes classes, source;
  if (!sample_data::ZipMembers(buildDir + "/classlib.zip", &classes)) {
    fprintf(stderr, "cannot read %s/classlib.zip\n", buildDir.c_str());
    return 1;
  }
  std::vector<std::string> files;
  CollectSources(sourceDir + "/jvmsource", &files);
  CollectSources(sourceDir + "/host", &files);
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) sample_data::ReadFile(f, &source);
  const size_t mib4 = 4u << 20;
  struct Data {
    const char* name;
    Bytes bytes;
  } data[] = {{"classes", classes},
              {"source", source},
              {"words", sample_data::Text(mib4, 7)},
              {"zeros", sample_data::Run(mib4, 0)},
              {"random", sample_data::RandomBytes(mib4, 11)},
              {"far", sample_data::FarRepeats(mib4, 13)}};
  printf("data: classes %s bytes, source %s, words/zeros/random/far %s each\n", Thousands(classes.size()).c_str(),
         Thousands(source.size()).c_str(), Thousands(mib4).c_str());

  StartAndEnd(7);
  StartAndEnd(8);
  for (const Data& d : data) {
    if (only != NULL && strcmp(only, d.name) != 0) continue;
    for (int level : {1, 6, 9}) {
      if (onlyLevel >= 0 && level != onlyLevel) continue;
      for (int memLevel : {8, 7}) {
        for (bool natives : {false, true}) {
          Case c = {level, 15, memLevel, natives};
          Run(d.name, d.bytes, c, c);
        }
      }
      Case raw = {level, -15, 7, true};
      Run(d.name, d.bytes, raw, raw);
    }
  }
  // What the natives' fixed level 1 costs Java users against zlib's default level.
  for (const Data& d : data) {
    if (strcmp(d.name, "words") != 0 && strcmp(d.name, "classes") != 0) continue;
    if ((only != NULL && strcmp(only, d.name) != 0) || (onlyLevel >= 0 && onlyLevel != 1)) continue;
    Case ours = {1, 15, 7, true}, theirs = {6, 15, 8, true};
    Run(d.name, d.bytes, ours, theirs);
  }

  ZipPoolReleaseCookie(cookie);
  VMJniDetachEnv(jvm);
  VMJniClearHostEnv();
  VMJniCallDestroyKeys(jvm);
  VMNameSpace* ns = jvm->nameSpace;
  if (jvm->vm->Destroy() == 0) ns->Destroy();
  host->HeapFree(nullptr, jvm);
  if (failures != 0) {
    printf("%d FAILED\n", failures);
    return 1;
  }
  return 0;
}
