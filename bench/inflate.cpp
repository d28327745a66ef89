/* Our inflate engine against the system zlib's (32-bit, the library the tests link), in
   one run on the same streams: pseudo-text raw and wrapped, the class library's
   classes, random bytes (stored blocks) and run-heavy data; each driven in one call, in
   the Inflater natives' former pattern (256 bytes of input and of room per call), in
   their pattern under a GZIP stream (512 bytes of input, 4 KB of room) and, for ours,
   through the inflating streams the host reads class files with (one 1 MB open per
   stream). Then a class fetch per class of the library, from a copy of the library
   deflated here (zlib, level 6: the build writes its archive stored): the host's
   former way (walk the local headers, zlib inflate into a buffer), the directory hash
   with zlib's inflate, and the directory hash with the machine's inflating stream; and
   the directory hash itself: build and look-ups, one and eight threads, against an
   unordered_map. Every stream and class of ours must come back to the original bytes or
   the run fails. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "../tests/compress/sample_data.h"
#include "../tests/compress/zip_writer.h"
#include "bench_util.h"
#include "inflate.h"
#include "refhost.h"
#include "vmjni_entries.h"
#include "vmutils.h"

namespace {

using bench::Best;
using sample_data::Bytes;

int failures = 0;

/* The engine clears every block it needs cleared (its tests hand it blocks full of 0xA5),
   so a plain malloc serves it, as the system zlib's own default does. */
void* Alloc(void*, uint32_t items, uint32_t size) { return malloc((size_t)items * size); }
void Free(void*, void* p) { free(p); }

Bytes Compress(const Bytes& in, int level, int windowBits) {
  z_stream z;
  memset(&z, 0, sizeof z);
  deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, 0);
  Bytes out(deflateBound(&z, (uLong)in.size()) + 64);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = (uInt)in.size();
  z.next_out = out.data();
  z.avail_out = (uInt)out.size();
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

/* One stream of ours; piece 0: all at once. True when it came back whole. outPiece: the
   room per call when it differs from the input's piece. */
bool Ours(const Bytes& packed, int windowBits, uint32_t piece, Bytes* out, uint32_t outPiece = 0) {
  puxz::z_stream z;
  memset(&z, 0, sizeof z);
  z.zalloc = Alloc;
  z.zfree = Free;
  if (puxz::inflateInit2_(&z, windowBits, PUXZ_VERSION, (int)sizeof z) != 0) return false;
  size_t pos = 0, made = 0;
  int rc = 0;
  uint8_t empty = 0;
  while (rc == 0) {
    if (z.avail_in == 0) {
      size_t n = piece == 0 ? packed.size() - pos : std::min<size_t>(piece, packed.size() - pos);
      z.next_in = n != 0 ? packed.data() + pos : &empty;
      z.avail_in = (uint32_t)n;
      pos += n;
    }
    const uint32_t most = outPiece != 0 ? outPiece : piece;
    uint32_t room = most == 0 ? (uint32_t)(out->size() - made) : std::min<uint32_t>(most, (uint32_t)(out->size() - made));
    if (room == 0) break;
    z.next_out = out->data() + made;
    z.avail_out = room;
    rc = puxz::inflate(&z, piece == 0 ? 4 : 2);
    made += room - z.avail_out;
  }
  puxz::inflateEnd(&z);
  return rc == 1 && made == out->size();
}

bool Theirs(const Bytes& packed, int windowBits, uint32_t piece, Bytes* out, uint32_t outPiece = 0) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, windowBits) != Z_OK) return false;
  size_t pos = 0, made = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (z.avail_in == 0) {
      size_t n = piece == 0 ? packed.size() - pos : std::min<size_t>(piece, packed.size() - pos);
      z.next_in = const_cast<uint8_t*>(packed.data()) + pos;
      z.avail_in = (uInt)n;
      pos += n;
    }
    const uint32_t most = outPiece != 0 ? outPiece : piece;
    uint32_t room = most == 0 ? (uint32_t)(out->size() - made) : std::min<uint32_t>(most, (uint32_t)(out->size() - made));
    z.next_out = out->data() + made;
    z.avail_out = room;
    rc = inflate(&z, piece == 0 ? Z_FINISH : Z_SYNC_FLUSH);
    made += room - z.avail_out;
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END && made == out->size();
}

/* Through the host's way: a memory stream over the data (a window, as the host reads an
   archive it holds, not a copy), one inflating stream. */
bool Streams(const Bytes& packed, const Bytes& in) {
  void* s = refhost::OpenMemoryView(packed.data(), (uint32_t)packed.size());
  void* z = JNI_OpenZStrm(s, (uint32_t)in.size(), (uint32_t)packed.size());
  refhost::Functions()->StreamClose(s);
  if (z == nullptr) return false;
  static Bytes buffer;
  buffer.resize(in.size());
  bool ok = JNI_ReadZStrm(z, buffer.data(), (jint)in.size()) == (jint)in.size();
  JNI_CloseZStrm(z);
  return ok;
}

void Row(const char* name, const Bytes& in, int level, int windowBits) {
  Bytes packed = Compress(in, level, windowBits);
  Bytes out(in.size());
  double mb = in.size() / 1e6;
  if (!Ours(packed, windowBits, 0, &out) || out != in || !Ours(packed, windowBits, 256, &out) || out != in) {
    printf("%s: FAILED: our inflate does not give the data back\n", name);
    failures++;
    return;
  }
  double ours, theirs, ours256, theirs256;
  bench::BestOfBoth([&] { Ours(packed, windowBits, 0, &out); }, [&] { Theirs(packed, windowBits, 0, &out); }, 9, &ours,
                    &theirs);
  bench::BestOfBoth([&] { Ours(packed, windowBits, 256, &out); }, [&] { Theirs(packed, windowBits, 256, &out); }, 9,
                    &ours256, &theirs256);
  // The Inflater natives' pattern under a GZIP stream of the class library: 512 bytes of
  // input (its default buffer) to 4 KB of room.
  double oursGz, theirsGz;
  if (!Ours(packed, windowBits, 512, &out, 4096) || out != in) {
    printf("%s: FAILED: our inflate does not give the data back in 512/4096 pieces\n", name);
    failures++;
    return;
  }
  bench::BestOfBoth([&] { Ours(packed, windowBits, 512, &out, 4096); },
                    [&] { Theirs(packed, windowBits, 512, &out, 4096); }, 9, &oursGz, &theirsGz);
  printf("%-22s %9zu -> %9zu | single: ours %7.1f MB/s, zlib %7.1f MB/s (time x%.2f) | 256/256: ours %7.1f, zlib %7.1f "
         "(x%.2f) | 512/4096: ours %7.1f, zlib %7.1f (x%.2f)",
         name, packed.size(), in.size(), mb / ours, mb / theirs, ours / theirs, mb / ours256, mb / theirs256,
         ours256 / theirs256, mb / oursGz, mb / theirsGz, oursGz / theirsGz);
  if (windowBits < 0 && in.size() <= (1u << 20)) {
    if (!Streams(packed, in)) {
      printf(" | streams FAILED\n");
      failures++;
      return;
    }
    double streams, theirsAgain;
    bench::BestOfBoth([&] { Streams(packed, in); }, [&] { Theirs(packed, windowBits, 0, &out); }, 5, &streams,
                      &theirsAgain);
    printf(" | streams %7.1f MB/s (x%.2f)", mb / streams, streams / theirsAgain);
  }
  printf("\n");
  fflush(stdout);
}

struct Member {
  std::string name;
  uint32_t data, csize, usize, method;
};

std::vector<Member> Members(const Bytes& a) {
  std::vector<Member> out;
  size_t e = a.size() - 22;
  while (sample_data::Le32(&a[e]) != 0x06054B50u) e--;
  uint32_t count = sample_data::Le16(&a[e + 10]), at = sample_data::Le32(&a[e + 16]);
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* c = &a[at];
    uint32_t n = sample_data::Le16(c + 28), x = sample_data::Le16(c + 30), k = sample_data::Le16(c + 32);
    uint32_t local = sample_data::Le32(c + 42);
    Member m;
    m.name.assign(reinterpret_cast<const char*>(c + 46), n);
    m.data = local + 30 + sample_data::Le16(&a[local + 26]) + sample_data::Le16(&a[local + 28]);
    m.csize = sample_data::Le32(c + 20);
    m.usize = sample_data::Le32(c + 24);
    m.method = sample_data::Le16(c + 10);
    out.push_back(m);
    at += 46 + n + x + k;
  }
  return out;
}

/* The host's former way: walk the local headers from the start to the name, then zlib. */
bool FormerFetch(const Bytes& a, const std::string& name, Bytes* out) {
  size_t p = 0;
  while (p + 30 <= a.size() && sample_data::Le32(&a[p]) == 0x04034B50u) {
    uint32_t method = sample_data::Le16(&a[p + 8]), csize = sample_data::Le32(&a[p + 18]),
             usize = sample_data::Le32(&a[p + 22]), n = sample_data::Le16(&a[p + 26]), m = sample_data::Le16(&a[p + 28]);
    if (n == name.size() && memcmp(&a[p + 30], name.data(), n) == 0) {
      out->resize(usize);
      if (method == 0) {
        memcpy(out->data(), &a[p + 30 + n + m], usize);
        return true;
      }
      z_stream z;
      memset(&z, 0, sizeof z);
      inflateInit2(&z, -15);
      z.next_in = const_cast<uint8_t*>(&a[p + 30 + n + m]);
      z.avail_in = csize;
      z.next_out = out->data();
      z.avail_out = usize;
      int rc = inflate(&z, Z_FINISH);
      inflateEnd(&z);
      return rc == Z_STREAM_END;
    }
    p += 30 + n + m + csize;
  }
  return false;
}

bool MachineFetch(const Bytes& a, void* table, const std::string& name, Bytes* out) {
  uint32_t o, u, c;
  if (!JNI_ZipHashLookup(table, name.c_str(), &o, &u, &c)) return false;
  out->resize(u);
  // A window over the archive, as the host opens one: zlib's side reads it in place too.
  void* s = refhost::OpenMemoryView(a.data(), (uint32_t)a.size());
  refhost::ZipSeek(s, o);
  void* z = JNI_OpenZStrm(s, u, c);
  refhost::Functions()->StreamClose(s);
  if (z == nullptr) return false;
  bool ok = JNI_ReadZStrm(z, out->data(), (jint)u) == (jint)u;
  JNI_CloseZStrm(z);
  return ok;
}

/* The same look-up, then zlib's inflate into a buffer: what the host would do with the
   machine's directory and zlib's engine. */
bool HashZlibFetch(const Bytes& a, void* table, const std::string& name, Bytes* out) {
  uint32_t o, u, c;
  if (!JNI_ZipHashLookup(table, name.c_str(), &o, &u, &c) || (uint64_t)o + c > a.size()) return false;
  out->resize(u);
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<uint8_t*>(&a[o]);
  z.avail_in = c;
  z.next_out = out->data();
  z.avail_out = u;
  int rc = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  return rc == Z_STREAM_END && z.total_out == u;
}

}  // namespace

int main(int argc, char** argv) {
  // "streams" as the first argument: only the rows of streams; "fetch [rounds [zlib]]":
  // only the class fetch, then that many more rounds of ours, or of zlib's (200; for
  // profiling).
  const bool streamsOnly = argc > 1 && strcmp(argv[1], "streams") == 0;
  const bool fetchOnly = argc > 1 && strcmp(argv[1], "fetch") == 0;
  Dl_info info;
  if (dladdr((void*)&::inflate, &info) == 0 || info.dli_fname == NULL || strstr(info.dli_fname, "libz") == NULL ||
      (void*)&::inflate == (void*)&puxz::inflate) {
    fprintf(stderr, "the system zlib is not the one linked\n");
    return 1;
  }
  JNIHostFunctions* host = refhost::Functions();
  VMUtils::Init(host);
  VMUtils::SetHostFunctions(host);
  refhost::SetBlockPatterns(false, false);
  char exe[4096];
  ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
  exe[len > 0 ? len : 0] = 0;
  std::string buildDir(exe);
  buildDir = buildDir.substr(0, buildDir.rfind('/'));
  Bytes archive, classes;
  if (!sample_data::ReadFile(buildDir + "/classlib.zip", &archive) || !sample_data::ZipMembers(buildDir + "/classlib.zip", &classes)) {
    fprintf(stderr, "cannot read the class library\n");
    return 1;
  }
  printf("inflate, MB/s of output; time xN is ours over zlib's (below 1: ours is faster)\n");
  Bytes text = sample_data::Text(1u << 20, 3);
  Bytes runs;
  for (uint32_t i = 0; runs.size() < (1u << 20); i++) {
    runs.insert(runs.end(), 200 + i % 300, (uint8_t)i);
    Bytes t = sample_data::Text(300, i);
    runs.insert(runs.end(), t.begin(), t.end());
  }
  runs.resize(1u << 20);
  if (argc > 4 && strcmp(argv[1], "profile") == 0) {
    // "profile WHAT LEVEL PIECE ROUNDS [zlib|streams]": one stream (text, classes, random
    // or runs) decoded that many times by one side, for a profiler. PIECE may be IN/OUT.
    const std::string what = argv[2];
    const int level = atoi(argv[3]);
    const uint32_t piece = (uint32_t)atoi(argv[4]);
    const char* slash = strchr(argv[4], '/');
    const uint32_t outPiece = slash != NULL ? (uint32_t)atoi(slash + 1) : 0;
    const int rounds = argc > 5 ? atoi(argv[5]) : 200;
    const std::string side = argc > 6 ? argv[6] : "ours";
    Bytes in = what == "classes"  ? Bytes(classes.begin(), classes.begin() + std::min<size_t>(classes.size(), 1u << 20))
               : what == "random" ? sample_data::RandomBytes(1u << 20, 4)
               : what == "runs"   ? runs
                                  : text;
    Bytes packed = Compress(in, level, -15), out(in.size());
    for (int round = 0; round < rounds; round++) {
      bool ok = side == "zlib"      ? Theirs(packed, -15, piece, &out, outPiece)
                : side == "streams" ? Streams(packed, in)
                                    : Ours(packed, -15, piece, &out, outPiece);
      if (!ok) {
        printf("FAILED\n");
        return 1;
      }
    }
    return 0;
  }
  if (!fetchOnly) {
    Row("text L6 raw", text, 6, -15);
    Row("text L6 wrapped", text, 6, 15);
    Row("text L1 raw", text, 1, -15);
    Row("text L9 raw", text, 9, -15);
    Row("classes L6 raw", Bytes(classes.begin(), classes.begin() + std::min<size_t>(classes.size(), 1u << 20)), 6, -15);
    Row("random L6 raw", sample_data::RandomBytes(1u << 20, 4), 6, -15);
    Row("runs L6 raw", runs, 6, -15);
    Row("text 8 MB L6 wrapped", sample_data::Text(8u << 20, 5), 6, 15);
  }
  if (streamsOnly) return failures != 0 ? 1 : 0;

  // A class fetch per class of the library, averaged, from a deflated copy of it.
  std::vector<Member> stored = Members(archive);
  compress_test::ZipArchive deflated;
  for (const Member& m : stored) {
    Bytes data;
    if (!FormerFetch(archive, m.name, &data)) {
      printf("FAILED: %s cannot be read from the class library\n", m.name.c_str());
      return 1;
    }
    deflated.members.emplace_back(m.name, data, m.usize != 0);
  }
  archive = deflated.Write();
  std::vector<Member> members = Members(archive);
  void* s = refhost::OpenMemoryStream(archive.data(), (uint32_t)archive.size());
  auto start = bench::Clock::now();
  void* table = JNI_CreateZipHash(nullptr, host, s, refhost::ZipSeek, (uint32_t)archive.size());
  double build = bench::Seconds(start);
  host->StreamClose(s);
  if (table == nullptr) {
    printf("FAILED: the class library's directory is refused\n");
    return 1;
  }
  Bytes a, b;
  size_t classCount = 0, classBytes = 0;
  for (const Member& m : members) {
    if (m.usize == 0) continue;
    classCount++;
    classBytes += m.usize;
    if (m.method != 8 || !FormerFetch(archive, m.name, &a) || !MachineFetch(archive, table, m.name, &b) || a != b ||
        !HashZlibFetch(archive, table, m.name, &b) || a != b) {
      printf("FAILED: %s differs\n", m.name.c_str());
      failures++;
    }
  }
  auto fetchAll = [&](bool (*fetch)(const Bytes&, void*, const std::string&, Bytes*), Bytes* out) {
    for (const Member& m : members) {
      if (m.usize != 0) fetch(archive, table, m.name, out);
    }
  };
  double former = Best([&] {
    for (const Member& m : members) {
      if (m.usize != 0) FormerFetch(archive, m.name, &a);
    }
  });
  double machine, hashZlib;
  bench::BestOfBoth([&] { fetchAll(MachineFetch, &b); }, [&] { fetchAll(HashZlibFetch, &a); }, 9, &machine,
                    &hashZlib);
  printf("class fetch, %zu classes of the library (%zu bytes, deflated here at level 6): former (walk + zlib) %.1f us "
         "each; hash + zlib inflate %.1f us each (%.0f MB/s); hash + our inflating stream %.1f us each (%.0f MB/s, "
         "time x%.2f)\n",
         classCount, classBytes, former * 1e6 / classCount, hashZlib * 1e6 / classCount, classBytes / hashZlib / 1e6,
         machine * 1e6 / classCount, classBytes / machine / 1e6, machine / hashZlib);
  if (fetchOnly) {
    const int rounds = argc > 2 ? atoi(argv[2]) : 200;
    const bool zlibRounds = argc > 3 && strcmp(argv[3], "zlib") == 0;
    for (int round = 0; round < rounds; round++) fetchAll(zlibRounds ? HashZlibFetch : MachineFetch, &b);
    return failures != 0 ? 1 : 0;
  }

  // Look-ups: the machine's hash (with its mutex) against an unordered_map, 1 and 8 threads.
  std::unordered_map<std::string, uint32_t> map;
  for (const Member& m : members) map.emplace(m.name, m.data);
  const int rounds = 1000000;
  for (int threads : {1, 8}) {
    double hashTime = Best([&] {
      std::vector<std::thread> ts;
      for (int t = 0; t < threads; t++) {
        ts.emplace_back([&, t] {
          uint32_t o, u, c;
          for (int i = t; i < rounds; i += threads) JNI_ZipHashLookup(table, members[i % members.size()].name.c_str(), &o, &u, &c);
        });
      }
      for (auto& th : ts) th.join();
    }, 3);
    double mapTime = Best([&] {
      std::vector<std::thread> ts;
      for (int t = 0; t < threads; t++) {
        ts.emplace_back([&, t] {
          volatile uint32_t sink = 0;
          for (int i = t; i < rounds; i += threads) sink += map.find(members[i % members.size()].name)->second;
        });
      }
      for (auto& th : ts) th.join();
    }, 3);
    printf("look-ups, %d thread%s: hash %.2f M/s, unordered_map %.2f M/s\n", threads, threads > 1 ? "s" : "",
           rounds / hashTime / 1e6, rounds / mapTime / 1e6);
  }
  printf("directory hash of the library (%zu names): built in %.0f us\n", members.size(), build * 1e6);
  JNI_DestroyZipHash(nullptr, table);

  // Names that share their last bytes: linear build.
  for (int n : {5000, 10000, 20000}) {
    Bytes zip;
    std::vector<uint8_t> central;
    for (int i = 0; i < n; i++) {
      char name[32];
      int len = snprintf(name, sizeof name, "p%05d/AA.class", i);
      uint32_t local = (uint32_t)zip.size();
      uint8_t h[30] = {0x50, 0x4B, 3, 4, 20};
      h[26] = (uint8_t)len;
      zip.insert(zip.end(), h, h + 30);
      zip.insert(zip.end(), name, name + len);
      uint8_t c[46] = {0x50, 0x4B, 1, 2, 20, 0, 20};
      c[28] = (uint8_t)len;
      memcpy(c + 42, &local, 4);
      central.insert(central.end(), c, c + 46);
      central.insert(central.end(), name, name + len);
    }
    uint32_t cdOffset = (uint32_t)zip.size(), cdSize = (uint32_t)central.size();
    zip.insert(zip.end(), central.begin(), central.end());
    uint8_t end[22] = {0x50, 0x4B, 5, 6};
    end[8] = end[10] = (uint8_t)n;
    end[9] = end[11] = (uint8_t)(n >> 8);
    memcpy(end + 12, &cdSize, 4);
    memcpy(end + 16, &cdOffset, 4);
    zip.insert(zip.end(), end, end + 22);
    void* ms = refhost::OpenMemoryStream(zip.data(), (uint32_t)zip.size());
    void* t = nullptr;
    double built = Best([&] {
      if (t != nullptr) JNI_DestroyZipHash(nullptr, t);
      t = JNI_CreateZipHash(nullptr, host, ms, refhost::ZipSeek, (uint32_t)zip.size());
    }, 3);
    host->StreamClose(ms);
    if (t == nullptr) {
      printf("FAILED: the same-suffix archive of %d names is refused\n", n);
      failures++;
      continue;
    }
    JNI_DestroyZipHash(nullptr, t);
    printf("same-suffix archive of %5d names: built in %.1f ms\n", n, built * 1e3);
  }
  if (failures != 0) {
    printf("%d FAILED\n", failures);
    return 1;
  }
  return 0;
}
