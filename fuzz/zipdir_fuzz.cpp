/* Fuzz target of the zip directory hash and the inflating streams. The input is an
   archive: it is indexed from a memory stream on a heap of its own; an independent
   reading of its central directory (which stops where the directory stops making
   sense) gives the names, and when the build succeeds each of them must be found with
   the offset and sizes of its first occurrence. Each deflated entry inside the archive
   of up to 64 KB is opened through the inflating streams, read and positioned at random,
   and compared with the system zlib's raw inflate of the same bytes: when zlib takes the
   entry whole, so must we. Afterwards the heap and process memory hold nothing more. */
#define PUX_FUZZ_NAME "zipdir_fuzz"
#include "fuzz_common.h"

#include <zlib.h>

#include <map>

#include "../jvmsource/javavm/jni/vmjni_entries.h"
#include "../jvmsource/javavm/core/vmutils.h"
#include "refhost.h"

namespace {

uint32_t U16(const uint8_t* p) { return p[0] | (uint32_t)p[1] << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "zipdir_fuzz: %s\n", what);
    abort();
  }
}

struct Listed {
  uint32_t offset, size, csize, method;
};

/* The first entry of each name, from a directory that reads cleanly; empty otherwise. */
std::map<std::string, Listed> ListArchive(const uint8_t* a, size_t n) {
  std::map<std::string, Listed> out;
  if (n < 22) return out;
  size_t e = n - 22;
  for (;; e--) {
    if (U32(a + e) == 0x06054B50u && e + 22 + U16(a + e + 20) == n) break;
    if (e == 0 || n - e > 65535) return out;
  }
  uint64_t at = U32(a + e + 16), count = U16(a + e + 10);
  for (uint64_t i = 0; i < count; i++) {
    if (at + 46 > e || U32(a + at) != 0x02014B50u) return std::map<std::string, Listed>();
    const uint8_t* c = a + at;
    uint32_t nl = U16(c + 28), x = U16(c + 30), k = U16(c + 32);
    uint64_t local = U32(c + 42);
    if (at + 46 + nl + x + k > e || local + 30 > n) return std::map<std::string, Listed>();
    std::string name(reinterpret_cast<const char*>(c + 46), nl);
    Listed l = {(uint32_t)(local + 30 + U16(a + local + 26) + U16(a + local + 28)), U32(c + 24), U32(c + 20),
                U16(c + 10)};
    out.emplace(name, l);
    at += 46 + nl + x + k;
  }
  return out;
}

/* zlib's raw inflate of an entry: true when it ends with exactly both sizes. */
bool Theirs(const uint8_t* data, uint32_t csize, uint32_t usize, std::vector<uint8_t>* out) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out->resize(usize + 1);
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = csize;
  z.next_out = out->data();
  z.avail_out = (uInt)out->size();
  int rc = inflate(&z, Z_FINISH);
  bool whole = rc == Z_STREAM_END && z.total_out == usize && z.total_in == csize;
  inflateEnd(&z);
  out->resize(usize);
  return whole;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JNIHostFunctions* host = refhost::Functions();
  static bool ready = false;
  if (!ready) {
    VMUtils::Init(host);
    ready = true;
  }
  if (size > (1u << 20)) return 0;
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  HHeap* heap = host->HeapCreate(nullptr, 1);
  void* s = refhost::OpenMemoryStream(data, (uint32_t)size);
  void* table = JNI_CreateZipHash(heap, host, s, refhost::ZipSeek, (uint32_t)size);
  host->StreamClose(s);
  if (table != nullptr) {
    uint32_t rng = 0x1234567u ^ (uint32_t)size;
    for (const auto& kv : ListArchive(data, size)) {
      uint32_t o = 0, u = 0, c = 0;
      Check(JNI_ZipHashLookup(table, kv.first.c_str(), &o, &u, &c) != 0 || kv.first.find('\0') != std::string::npos,
            "a listed name is not found");
      if (kv.first.find('\0') != std::string::npos) continue;
      Check(o == kv.second.offset && u == kv.second.size && c == kv.second.csize, "a name's sizes differ");
      if (kv.second.method != 8 || u == 0 || u > 65536 || (uint64_t)o + c > size) continue;
      void* zs = refhost::OpenMemoryStream(data, (uint32_t)size);
      refhost::ZipSeek(zs, o);
      void* z = JNI_OpenZStrm(zs, u, c);
      host->StreamClose(zs);
      std::vector<uint8_t> theirs;
      bool whole = Theirs(data + o, c, u, &theirs);
      if (z == nullptr) {
        Check(!whole, "zlib inflates an entry we refuse");
        continue;
      }
      std::vector<uint8_t> ours(u);
      uint32_t at = 0;
      while (at < u) {
        rng = rng * 1103515245u + 12345u;
        jint want = (jint)(1 + (rng >> 8) % 700);
        jint got = JNI_ReadZStrm(z, ours.data() + at, want);
        Check(got >= 1 && got <= want, "a read gave nothing before the end");
        at += (uint32_t)got;
      }
      Check(JNI_ReadZStrm(z, ours.data(), 1) == 0, "a read past the end");
      if (whole) Check(ours == theirs, "the bytes differ from zlib's");
      rng = rng * 1103515245u + 12345u;
      jint p = JNI_SeekZStrmAbsolute(z, (jint)(rng % (u + 10)) - 5);
      Check(p >= 0 && (uint32_t)p <= u, "a seek left the stream");
      uint8_t b;
      if ((uint32_t)p < u) Check(JNI_ReadZStrm(z, &b, 1) == 1 && b == ours[p], "a byte read after a seek");
      JNI_CloseZStrm(z);
    }
    JNI_DestroyZipHash(heap, table);
  }
  Check(refhost::BlocksInUse(heap) == 0, "blocks left on the table's heap");
  host->HeapDestroy(heap);
  Check(refhost::BlocksInUse(nullptr) == processBlocks, "process memory left");
  return 0;
}
