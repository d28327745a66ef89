/* Fuzz target of the inflate engine, differential against the system zlib.
   Input: [flags][seed][data...]. flags bit 0: raw deflate data (else the zlib wrapper);
   bits 1-3: window bits 15 - n (9 to 15); bit 4: refuse one allocation on the way (at
   a request chosen by the seed) and go on calling once memory is back; bit 5: pieces and
   rooms of up to 70,000 bytes (the engine then decodes straight into the room).
   The data is inflated in input pieces and output rooms of 1 to 300 bytes drawn from
   the seed, each piece copied into a malloc of its exact size and each room its own
   malloc, with an allocator of one malloc per block. Checked at every call: next_in
   stays inside the piece and next_in + avail_in does not move, total_out counts what was
   delivered, no block over 256 bytes is asked for, a call that took input or made output
   without finish answers 0, after stream end every call answers stream end; at the end
   no block is left. When the system zlib inflates the same bytes
   to their end, ours must too, to the same bytes (where ours refuses what zlib takes, the
   message must be one of the known differences of the older format rules). */
#define PUX_FUZZ_NAME "inflate_fuzz"
#include "fuzz_common.h"

#include <zlib.h>

#include "../jvmsource/runtime/compress/inflate.h"

namespace {

const size_t OutputCap = 1u << 20; /* per input: a bomb is cut here by both engines */

struct Allocator {
  int live = 0;
  int requests = 0;
  int failAt = -1;
  static void* Alloc(void* opaque, uint32_t items, uint32_t size) {
    Allocator* a = static_cast<Allocator*>(opaque);
    uint64_t bytes = (uint64_t)items * size;
    if (bytes > 256) {
      fprintf(stderr, "inflate_fuzz: a request of %llu bytes\n", (unsigned long long)bytes);
      abort();
    }
    if (a->requests++ == a->failAt) return nullptr;
    void* b = malloc((size_t)bytes);
    if (b != nullptr) a->live++;
    return b;
  }
  static void Free(void* opaque, void* block) {
    Allocator* a = static_cast<Allocator*>(opaque);
    if (block == nullptr) return;
    a->live--;
    free(block);
  }
};

struct Rng {
  uint32_t s;
  bool large;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  uint32_t Size() { return 1 + Next() % (large ? 70000 : 300); }
};

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "inflate_fuzz: %s\n", what);
    abort();
  }
}

/* zlib's verdict: 1 with the output when the stream ends within the data. */
int Theirs(const uint8_t* data, size_t size, int windowBits, std::vector<uint8_t>* out) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, windowBits) != Z_OK) return -2;
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = (uInt)size;
  out->resize(OutputCap);
  z.next_out = out->data();
  z.avail_out = (uInt)out->size();
  int rc = inflate(&z, Z_FINISH);
  out->resize(z.total_out);
  inflateEnd(&z);
  return rc == Z_STREAM_END ? 1 : rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  static bool checked = false;
  if (!checked) {
    // The differential must reach the system library, never our engine twice.
    Check(reinterpret_cast<void*>(&puxz::inflate) != reinterpret_cast<void*>(&::inflate), "zlib is ours");
    checked = true;
  }
  if (size < 2) return 0;
  const uint8_t flags = input[0];
  Rng rng = {0x9E3779B9u ^ ((uint32_t)input[1] << 8 | 1), (flags & 32) != 0};
  const uint8_t* data = input + 2;
  const size_t n = size - 2;
  const int bits = 15 - ((flags >> 1) & 7) % 7;
  const int windowBits = (flags & 1) ? -bits : bits;

  Allocator alloc;
  if (flags & 16) alloc.failAt = (int)(rng.Next() % 400);
  puxz::z_stream z;
  memset(&z, 0, sizeof z);
  z.zalloc = Allocator::Alloc;
  z.zfree = Allocator::Free;
  z.opaque = &alloc;
  int rc = puxz::inflateInit2_(&z, windowBits, PUXZ_VERSION, (int)sizeof z);
  if (rc == puxz::ZResult_MemError) {
    Check(alloc.live == 0, "a refused init kept blocks");
    alloc.failAt = -1;
    rc = puxz::inflateInit2_(&z, windowBits, PUXZ_VERSION, (int)sizeof z);
  }
  Check(rc == 0, "init refused");

  std::vector<uint8_t> ours;
  size_t pos = 0;
  uint8_t* piece = nullptr;
  uint8_t empty = 0;
  bool ended = false;
  int idle = 0;
  const size_t stepCap = 4 * (n + OutputCap) + 100;
  for (size_t step = 0; step < stepCap; step++) {
    if (z.avail_in == 0) {
      free(piece);
      piece = nullptr;
      size_t take = std::min<size_t>(rng.Size(), n - pos);
      if (take != 0) {
        piece = static_cast<uint8_t*>(malloc(take));
        memcpy(piece, data + pos, take);
        pos += take;
      }
      z.next_in = take != 0 ? piece : &empty;
      z.avail_in = (uint32_t)take;
    }
    const uint8_t* start = z.next_in;
    const uint8_t* end = z.next_in + z.avail_in;
    uint32_t room = rng.Size();
    uint8_t* out = static_cast<uint8_t*>(malloc(room));
    z.next_out = out;
    z.avail_out = room;
    const int flush = (rng.Next() & 7) == 0 ? 4 : 0;
    rc = puxz::inflate(&z, flush);
    uint32_t made = room - z.avail_out;
    ours.insert(ours.end(), out, out + made);
    free(out);
    Check(z.next_in >= start && z.next_in <= end && z.next_in + z.avail_in == end, "next_in left its piece");
    Check(z.total_out == ours.size(), "total_out drifted");
    if (rc == puxz::ZResult_MemError) {
      Check(alloc.failAt >= 0 && alloc.requests > alloc.failAt, "memory error without a refusal");
      alloc.failAt = -1;  // memory is back: the same call again
      continue;
    }
    if (rc == puxz::ZResult_StreamEnd) {
      ended = true;
      uint8_t spare[4];
      z.next_out = spare;
      z.avail_out = sizeof spare;
      Check(puxz::inflate(&z, 0) == puxz::ZResult_StreamEnd, "stream end was not final");
      break;
    }
    if (rc != 0 && rc != puxz::ZResult_BufError) break;
    bool progress = made != 0 || z.next_in != start;
    // Without finish, -5 means nothing could be done. (0 without a visible move is
    // possible: trailer bytes an earlier call left in the bit buffer.)
    Check(flush == 4 || rc == 0 || !progress, "-5 after progress");
    if (!progress && pos == n && z.avail_in == 0) {
      if (++idle > 3) break;
    } else {
      idle = 0;
    }
    if (ours.size() > OutputCap) break;
    Check(step + 1 < stepCap, "no end after the step cap: a hang");
  }
  free(piece);
  std::string msg = z.msg != nullptr ? z.msg : "";
  Check(puxz::inflateEnd(&z) == 0, "end refused");
  Check(alloc.live == 0, "blocks left after the end");

  std::vector<uint8_t> theirs;
  if (Theirs(data, n, windowBits, &theirs) == 1 && theirs.size() < OutputCap) {
    if (!ended) {
      // The older format rules of our engine refuse a distance code without any code
      // when length codes are present, which the newer library takes as long as no
      // distance is needed; anything else is a fault.
      // zlib also copies from distances past the stream's window when its caller's
      // output buffer still holds the bytes; ours refuses them.
      static const char* const known[] = {"empty distance tree with lengths", "invalid distance too far back"};
      bool explained = false;
      for (const char* k : known) explained = explained || msg == k;
      Check(explained, ("zlib inflates what we refuse: " + msg).c_str());
    } else {
      Check(ours == theirs, "the bytes differ from zlib's");
    }
  }
  return 0;
}
