/* Decoding inside a compressed block: the lookup tables of a canonical Huffman code
   (a root table of l bits, sub-tables for longer codes), the fixed tables, the code
   decoder that turns codes into window bytes one step at a time, and the fast loop that
   runs while input and window room are plentiful. Tables are reached by entry index and
   the window by window index; a stream's table storage holds at most 1,536 entries. */
#include <mutex>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "inflate_state.h"

namespace puxz {

namespace {

enum { MaxCodeBits = 15 };

/* RFC 1951 section 3.2.5. Length codes 286 and 287 get extra value 112, which makes
   their entries invalid (exop 192). */
const uint16_t LengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint16_t LengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 112, 112};
const uint16_t DistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                               193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint16_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum : int32_t { CodeStart = 0, CodeLen, CodeLenExt, CodeDist, CodeDistExt, CodeCopy, CodeLit, CodeWash, CodeEnd, CodeBad };

}  // namespace

namespace {

/* Lengths and work values in a plain array. */
struct PlainView {
  uint32_t* values;
  uint32_t& operator[](uint32_t i) const { return values[i]; }
};

/* Table entries in a plain array of HuftLimit entries: the builder writes every slot of
   a table many times over, which costs least in one piece of memory. The builder never
   places a table past HuftLimit. */
struct PlainHufts {
  HuftEntry* entry;
  HuftEntry& operator[](uint32_t i) const { return entry[i]; }
};

/* The entry that a look-up outside a table's entries finds (packed). */
const uint32_t InvalidEntry = ExopInvalid;


/* The same in packed words (PackEntry), for the fast loops. */
struct PackedHufts {
  uint32_t* entry;
  struct Slot {
    uint32_t* at;
    void operator=(const HuftEntry& e) const { *at = PackEntry(e); }
  };
  Slot operator[](uint32_t i) const { return Slot{entry + i}; }
};

template <typename Lengths, typename Work, typename Hufts>
int BuildTable(const Lengths& lengths, uint32_t start, uint32_t n, uint32_t s, const uint16_t* base,
               const uint16_t* extra, uint32_t* root, uint32_t* bits, const Hufts& hufts, uint32_t* used,
               const Work& work) {
  // Counted in four interleaved sets: runs of one length (most of a code's) then add to
  // four counters in turn instead of waiting on one.
  uint32_t c[MaxCodeBits + 1] = {0}, counts[3][MaxCodeBits + 1] = {{0}};
  {
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
      const uint32_t l0 = lengths[start + i], l1 = lengths[start + i + 1], l2 = lengths[start + i + 2],
                     l3 = lengths[start + i + 3];
      if ((l0 | l1 | l2 | l3) > MaxCodeBits) return ZResult_DataError;  // the callers give 0-15
      c[l0]++;
      counts[0][l1]++;
      counts[1][l2]++;
      counts[2][l3]++;
    }
    for (; i < n; i++) {
      uint32_t len = lengths[start + i];
      if (len > MaxCodeBits) return ZResult_DataError;
      c[len]++;
    }
    for (uint32_t len = 0; len <= MaxCodeBits; len++) c[len] += counts[0][len] + counts[1][len] + counts[2][len];
  }
  if (c[0] == n) {
    *root = 0;
    *bits = 0;
    return ZResult_Ok;
  }
  uint32_t l = *bits;
  uint32_t j, i;
  for (j = 1; j <= MaxCodeBits; j++) {
    if (c[j] != 0) break;
  }
  uint32_t k = j; /* the shortest length */
  if (l < j) l = j;
  for (i = MaxCodeBits; i != 0; i--) {
    if (c[i] != 0) break;
  }
  const uint32_t g = i; /* the longest */
  if (l > i) l = i;
  *bits = l;

  // The code space left over after each length must never be negative; what is left at
  // the longest length is filled with invalid entries.
  int32_t y = 1 << j;
  for (; j < i; j++, y <<= 1) {
    if ((y -= (int32_t)c[j]) < 0) return ZResult_DataError;
  }
  if ((y -= (int32_t)c[i]) < 0) return ZResult_DataError;
  c[i] += (uint32_t)y;

  uint32_t x[MaxCodeBits + 1];
  x[1] = j = 0;
  for (uint32_t len = 1, at = 2; len < g; len++) x[at++] = (j += c[len]);
  for (i = 0; i < n; i++) {
    uint32_t len = lengths[start + i];
    if (len != 0) work[x[len]++] = i;
  }
  const uint32_t values = x[g];

  uint32_t u[MaxCodeBits]; /* start index of the table at each level */
  x[0] = i = 0;            /* i: the code, bit-reversed */
  uint32_t next = 0;       /* next value in work */
  int32_t h = -1;          /* the table level */
  int32_t w = -(int32_t)l; /* bits decoded before the current table */
  uint32_t q = 0, z = 0;   /* the current table and its entries */
  for (; k <= g; k++) {
    uint32_t a = c[k];
    while (a-- != 0) {
      while ((int32_t)k > w + (int32_t)l) {
        h++;
        w += (int32_t)l;
        z = g - (uint32_t)w;
        if (z > l) z = l;
        uint32_t f = 1u << (j = k - (uint32_t)w);
        if (f > a + 1) {
          // Too few codes of length k to fill the table: size it by the longer ones.
          f -= a + 1;
          uint32_t xp = k;
          if (j < z) {
            while (++j < z) {
              if ((f <<= 1) <= c[++xp]) break;
              f -= c[xp];
            }
          }
        }
        z = 1u << j;
        if (*used + z > HuftLimit) return ZResult_MemError;
        u[h] = q = *used;
        *used += z;
        if (h != 0) {
          x[h] = i;
          HuftEntry link;
          link.bits = (uint8_t)l;
          link.exop = (uint8_t)j;
          link.unused = 0;
          uint32_t at = i >> (w - (int32_t)l);
          link.base = q - u[h - 1] - at;
          hufts[u[h - 1] + at] = link;
        } else {
          *root = q;
        }
      }
      HuftEntry r;
      r.bits = (uint8_t)(k - (uint32_t)w);
      r.unused = 0;
      if (next >= values) {
        // A slot no code reaches. Its base is written too: a reader that misses the exop
        // must not find an earlier table's value there.
        r.exop = ExopInvalid;
        r.base = 0;
      } else {
        uint32_t v = work[next++];
        if (v < s) {
          r.exop = v < 256 ? ExopLiteral : ExopEnd;
          r.base = v;
        } else {
          r.exop = (uint8_t)(ExopBase + extra[v - s]);
          r.base = base[v - s];
        }
      }
      uint32_t f = 1u << (k - (uint32_t)w);
      for (j = i >> w; j < z; j += f) hufts[q + j] = r;
      for (j = 1u << (k - 1); i & j; j >>= 1) i ^= j;
      i ^= j;
      uint32_t mask = (1u << w) - 1;
      while ((i & mask) != x[h]) {
        h--;
        w -= (int32_t)l;
        mask = (1u << w) - 1;
      }
    }
  }
  return y != 0 && g != 1 ? ZResult_BufError : ZResult_Ok;
}

}  // namespace

namespace {

/* The first n values of a chained array, into a plain one, a block at a time. */
void CopyValues(const UIntArray* a, uint32_t* to, uint32_t n) {
  if (n > a->count) n = a->count;
  for (const ChainBlock* b = a->first; b != NULL && n != 0; b = b->next) {
    uint32_t run = n < UIntsPerBlock ? n : UIntsPerBlock;
    memcpy(to, b->data, run * sizeof(uint32_t));
    to += run;
    n -= run;
  }
}

/* Entries [0, n) built in a plain array, into the stream's chained table storage. */
void StoreEntries(HuftArray* a, const HuftEntry* from, uint32_t n) {
  if (n > a->count) n = a->count;
  for (ChainBlock* b = a->first; b != NULL && n != 0; b = b->next) {
    uint32_t run = n < HuftsPerBlock ? n : HuftsPerBlock;
    memcpy(b->data, from, run * sizeof(HuftEntry));
    from += run;
    n -= run;
  }
}

}  // namespace

void StorePacked(HuftArray* a, const uint32_t* from, uint32_t n) {
  if (n > a->count) n = a->count;
  for (ChainBlock* b = a->first; b != NULL && n != 0; b = b->next) {
    uint32_t run = n < HuftsPerBlock ? n : HuftsPerBlock;
    HuftEntry* to = reinterpret_cast<HuftEntry*>(b->data);
    for (uint32_t i = 0; i < run; i++) to[i] = UnpackEntry(from[i]);
    from += run;
    n -= run;
  }
}

int BuildHuffmanTablePlain(const uint32_t* lengths, uint32_t n, uint32_t s, const uint16_t* base,
                           const uint16_t* extra, uint32_t* root, uint32_t* bits, HuftArray* hufts, uint32_t* used) {
  uint32_t copy[288], work[288];
  if (n > 288) return ZResult_StreamError;
  memcpy(copy, lengths, n * sizeof(uint32_t));
  HuftView hv;
  hv.Bind(hufts);
  return BuildTable(PlainView{copy}, 0, n, s, base, extra, root, bits, hv, used, PlainView{work});
}

const uint16_t* InflateLengthBase() { return LengthBase; }
const uint16_t* InflateLengthExtra() { return LengthExtra; }
const uint16_t* InflateDistBase() { return DistBase; }
const uint16_t* InflateDistExtra() { return DistExtra; }

/* The builders take their work array from the stream, as a stream's memory (its figure
   and a refusal, after which the caller may call again) is the same whatever the data;
   the values themselves go through a plain array on the stack, which a builder reaches
   several hundred times at less cost than the chained one. */
int BuildBitLengthTree(UIntArray* lengths, uint32_t* bits, uint32_t* root, HuftArray* hufts, z_stream* z) {
  UIntArray* work = UIntArray::Create(z, 19);
  if (work == NULL) return ZResult_MemError;
  uint32_t scratch[19];
  const PlainView wv{scratch};
  uint32_t values[19] = {0};
  CopyValues(lengths, values, 19);
  HuftEntry built[128]; /* 7 bits at most */
  uint32_t used = 0;
  int r = BuildTable(PlainView{values}, 0, 19, 19, NULL, NULL, root, bits, PlainHufts{built}, &used, wv);
  StoreEntries(hufts, built, used);
  if (r == ZResult_DataError) {
    z->msg = "oversubscribed dynamic bit lengths tree";
  } else if (r == ZResult_BufError || *bits == 0) {
    z->msg = "incomplete dynamic bit lengths tree";
    r = ZResult_DataError;
  }
  UIntArray::Destroy(z, work);
  return r;
}

int BuildDynamicTrees(uint32_t nl, uint32_t nd, UIntArray* lengths, uint32_t* bl, uint32_t* bd, uint32_t* tl,
                      uint32_t* td, uint32_t* entries, uint32_t* built, z_stream* z) {
  UIntArray* work = UIntArray::Create(z, 288);
  if (work == NULL) return ZResult_MemError;
  uint32_t scratch[288];
  const PlainView wv{scratch};
  uint32_t values[2 * 160]; /* nl + nd is at most 316, the count of lengths: all copied */
  CopyValues(lengths, values, nl + nd < 320 ? nl + nd : 320);
  uint32_t used = 0;
  int r = BuildTable(PlainView{values}, 0, nl, 257, LengthBase, LengthExtra, tl, bl, PackedHufts{built}, &used, wv);
  // Every complete code fits the table space (852 entries at most for lengths and
  // literals, 592 for distances), so running out of it means an incomplete code: bad
  // data. Reported as memory it would invite the caller to call again, for ever.
  if (r == ZResult_MemError) r = ZResult_BufError;
  if (r != ZResult_Ok || *bl == 0) {
    if (r == ZResult_DataError) {
      z->msg = "oversubscribed literal/length tree";
    } else if (r != ZResult_MemError) {
      z->msg = "incomplete literal/length tree";
      r = ZResult_DataError;
    }
    UIntArray::Destroy(z, work);
    return r;
  }
  r = BuildTable(PlainView{values}, nl, nd, 0, DistBase, DistExtra, td, bd, PackedHufts{built}, &used, wv);
  if (r == ZResult_MemError) r = ZResult_BufError;
  if (r != ZResult_Ok || (*bd == 0 && nl > 257)) {
    if (r == ZResult_DataError) {
      z->msg = "oversubscribed distance tree";
    } else if (r == ZResult_BufError) {
      z->msg = "incomplete distance tree";
      r = ZResult_DataError;
    } else if (r != ZResult_MemError) {
      z->msg = "empty distance tree with lengths";
      r = ZResult_DataError;
    }
  }
  UIntArray::Destroy(z, work);
  *entries = used;
  return r;
}

namespace {


/* The fixed tables in one static buffer: 544 entries in 18 blocks at 256-byte strides,
   built once, completely, before any stream can see them; and the same entries in one
   flat array for the fast loops. */
struct FixedTables {
  alignas(8) uint8_t buffer[16 + 18 * 256];
  HuftArray* hufts = NULL;
  uint32_t flat[HuftLimit]; /* packed; invalid past the fixed entries */
  FixedTables() {
    hufts = HuftArray::CreateInBuffer(buffer, sizeof buffer, FixedEntries);
    uint32_t lens[288];
    for (uint32_t k = 0; k < 288; k++) lens[k] = k < 144 ? 8 : k < 256 ? 9 : k < 280 ? 7 : 8;
    uint32_t used = 0, root, bits = 9;
    BuildHuffmanTablePlain(lens, 288, 257, LengthBase, LengthExtra, &root, &bits, hufts, &used);
    for (uint32_t k = 0; k < 30; k++) lens[k] = 5;
    bits = 5;
    BuildHuffmanTablePlain(lens, 30, 0, DistBase, DistExtra, &root, &bits, hufts, &used);
    for (uint32_t i = 0; i < HuftLimit; i++) flat[i] = i < FixedEntries ? PackEntry(*hufts->Entry(i)) : InvalidEntry;
  }
};

FixedTables* Fixed() {
  static FixedTables* tables = new FixedTables();  // made once, thread-safe, never freed
  return tables;
}

}  // namespace

void GetFixedTrees(uint32_t* bl, uint32_t* bd, uint32_t* tl, uint32_t* td, HuftArray** hufts) {
  *bl = 9;
  *bd = 5;
  *tl = 0;
  *td = 512;
  *hufts = Fixed()->hufts;
}

InflateCodes* InflateCodes::Create(uint32_t bl, uint32_t bd, uint32_t tl, uint32_t td, HuftArray* hufts,
                                   uint32_t entries, z_stream* z) {
  InflateCodes* c = static_cast<InflateCodes*>(InflateTake(z, sizeof(InflateCodes)));
  if (c == NULL) return NULL;
  c->mode = CodeStart;
  c->lbits = (uint8_t)bl;
  c->dbits = (uint8_t)bd;
  c->entries = (uint16_t)(entries < HuftLimit ? entries : HuftLimit);
  c->ltree = tl;
  c->dtree = td;
  c->hufts = hufts;
  return c;
}

void InflateCodes::Destroy(InflateCodes* c, z_stream* z) {
  if (c != NULL) InflateGive(z, c);
}

namespace {

/* Copies len bytes in the window from distance back of q (distance at most the window
   size; the source taken modulo it, so that no index leaves the window), in runs bounded by
   the chunk ends of both sides. Overlapping runs (distance below the run) go byte by
   byte in order, which repeats the last distance bytes as LZ77 means. q + len must not
   pass end. */
inline uint32_t WindowCopy(const WindowView& w, uint32_t q, uint32_t distance, uint32_t len, uint32_t end) {
  const uint32_t wrap = end - 1;
  uint32_t from = (q - distance) & wrap;
  while (len != 0) {
    uint32_t run = len;
    uint32_t toRoom = WindowChunkBytes - (q & 0xFF), fromRoom = WindowChunkBytes - (from & 0xFF);
    if (run > toRoom) run = toRoom;
    if (run > fromRoom) run = fromRoom;
    if (run > end - from) run = end - from;
    uint8_t* to = w.At(q);
    const uint8_t* src = w.At(from);
    uintptr_t a = (uintptr_t)to, b = (uintptr_t)src;
    if (run >= 32 && (a >= b + run || b >= a + run)) {
      CopyRun(to, src, run);
    } else {
      // Short runs (most matches) cost less in a loop than in a call.
      for (uint32_t i = 0; i < run; i++) to[i] = src[i];
    }
    q += run;
    from = (from + run) & wrap;
    len -= run;
  }
  return q;
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline void Copy4(uint8_t* to, const uint8_t* from) { memcpy(to, from, 4); }
inline void Copy8(uint8_t* to, const uint8_t* from) {
  uint64_t v;
  memcpy(&v, from, 8);
  memcpy(to, &v, 8);
}

/* Copies len bytes (at least 1) from src to out, reading only [src, src + len) and writing
   only [out, out + len): the caller's output past a match is not ours to scribble on, even
   for a moment. The source may lie behind out in the same buffer when it is at least 8
   bytes behind: every copy below reads only bytes already written (each starts at most 8
   bytes past the start of one before it).
   Matches of 8 to 32 bytes (most of them in text) take four 8-byte copies whose places
   are picked without a branch: a branch on the length there goes wrong about as often as
   the lengths change, and each time costs more than the copies. */
__attribute__((always_inline)) inline void CopyApart(uint8_t* out, const uint8_t* src, uint32_t len) {
  if (len >= 8 && len <= 32) {
    const uint32_t second = len < 16 ? len - 8 : 8;   /* 8..15: the last 8 bytes */
    const uint32_t third = len > 16 ? len - 16 : 0;   /* up to 16: the first 8 again */
    Copy8(out, src);
    Copy8(out + second, src + second);
    Copy8(out + third, src + third);
    Copy8(out + len - 8, src + len - 8);
  } else if (len > 32) {
    uint32_t i = 0;
    do {
      Copy8(out + i, src + i);
      i += 8;
    } while (i + 8 < len);
    Copy8(out + len - 8, src + len - 8);
  } else if (len >= 4) {
    Copy4(out, src);
    Copy4(out + len - 4, src + len - 4);
  } else if (len >= 2) {
    memcpy(out, src, 2);
    memcpy(out + len - 2, src + len - 2, 2);
  } else {
    out[0] = src[0];
  }
}

/* Copies len bytes from distance back of out, both inside one buffer, forward: where the
   two overlap (distance below len) the last distance bytes repeat, as LZ77 means. Writes
   nothing past out + len. */
__attribute__((always_inline)) inline uint8_t* CopyBack(uint8_t* out, uint32_t distance, uint32_t len) {
  const uint8_t* src = out - distance;
  if (distance >= 8) {
    CopyApart(out, src, len);
  } else if (len < 16) {
    for (uint32_t i = 0; i < len; i++) out[i] = src[i];
  } else {
    // A pattern of distance bytes: each copy takes all that lies ready from src on, which
    // is a whole number of patterns and doubles with every step.
    uint8_t* to = out;
    for (uint32_t left = len; left != 0;) {
      uint32_t run = (uint32_t)(to - src);
      if (run > left) run = left;
      if (run >= 32) {
        CopyRun(to, src, run);
      } else {
        for (uint32_t i = 0; i < run; i++) to[i] = src[i];
      }
      to += run;
      left -= run;
    }
  }
  return out + len;
}

/* The entries reached through the chained blocks: a division by 31 and a block look-up
   each. Packed words, as the fast loop reads them. */
struct ChainedTable {
  const HuftView& h;
  uint32_t Root(uint32_t i) const { return Link(i); }
  uint32_t Link(uint32_t i) const { return i < h.count ? PackEntry(h[i]) : InvalidEntry; }
};

/* Packed entries in one flat array; only the first count (the entries the two tables
   take) hold entries, the words past them are never read. A root table look-up needs no
   bound (InflateFast makes sure both root tables lie inside the entries); a link's, whose
   target the entry says, reads as an invalid code outside them. */
struct FlatEntries {
  const uint32_t* entry;
  uint32_t count;
  uint32_t Root(uint32_t i) const { return entry[i]; }
  uint32_t Link(uint32_t i) const { return i < count ? entry[i] : InvalidEntry; }
};


/* n entries packed (PackEntry) into to. An entry's 16-bit words are exop and bits, unused,
   and base's low and high halves; the packed word is the first and the third, four
   entries a step with SSE2. */
void PackEntries(uint32_t* to, const HuftEntry* from, uint32_t n) {
  uint32_t j = 0;
#ifdef __SSE2__
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(from);
  for (; j + 4 <= n; j += 4) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 8 * j));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 8 * j + 16));
    x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
    y = _mm_shufflehi_epi16(_mm_shufflelo_epi16(y, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
    x = _mm_shuffle_epi32(x, _MM_SHUFFLE(3, 1, 2, 0));
    y = _mm_shuffle_epi32(y, _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + j), _mm_unpacklo_epi64(x, y));
  }
#endif
  for (; j < n; j++) to[j] = PackEntry(from[j]);
}

/* A stream's entries (only those its two tables take) copied into the call's plain array,
   a block at a time. The copy costs some hundred nanoseconds, so the fast loops take it
   only when the call has input enough to decode for it to pay back. */
FlatEntries FillFlat(FlatHufts* flat, const InflateCodes* c, const HuftView& h) {
  const uint32_t count = h.count < HuftLimit ? h.count : HuftLimit;
  uint32_t* const to = flat->entry;
  for (uint32_t i = 0, b = 0; i < count; i += HuftsPerBlock, b++) {
    uint32_t run = count - i < HuftsPerBlock ? count - i : HuftsPerBlock;
    PackEntries(to + i, h.block[b], run);
  }
  flat->codes = c;
  flat->built = false;
  return FlatEntries{flat->entry, count};
}

enum : uint32_t { FlatTableInput = 64 };

/* The most one step of the fast loops writes: a literal and a longest match. */
enum : uint32_t { StepRoom = 1 + 258 };

/* Where the fast loop puts its bytes: the window, while it has room for a step. */
struct WindowOutput {
  const WindowView& w;
  InflateBlocks* s;
  uint32_t q;     /* window index of the next byte */
  uint32_t m;     /* free room after q */
  uint8_t* out;   /* q's address, */
  uint32_t left;  /* and the bytes to its chunk's end */
  WindowOutput(const WindowView& view, InflateBlocks* blocks, z_stream*, Pending*) : w(view), s(blocks) {
    q = s->write;
    m = q < s->read ? s->read - q - 1 : s->end - q;
    out = w.At(q);
    left = WindowChunkBytes - (q & 0xFF);
  }
  bool Room() const { return m >= StepRoom; }
  void Literal(uint32_t v) {
    *out++ = (uint8_t)v;
    q++;
    m--;
    if (--left == 0) {
      out = w.At(q);
      left = WindowChunkBytes;
    }
  }
  void Match(uint32_t distance, uint32_t len) {
    const uint32_t from = q - distance;
    m -= len;
    if (q >= distance && len <= left && (from & 0xFF) + len <= WindowChunkBytes && distance >= 8) {
      // Both sides inside one chunk each, eight bytes a step; a distance of 8 or more
      // keeps each step's source behind what it writes. Nothing past the match is
      // written: the free room after it holds the window's oldest bytes, which a
      // distance of up to the window's size still reads.
      CopyApart(out, w.At(from), len);
    } else if (q >= distance && len <= left && (from & 0xFF) + len <= WindowChunkBytes) {
      // Both sides inside one chunk each: a plain forward copy, which also repeats the
      // last distance bytes when they overlap.
      const uint8_t* src = w.At(from);
      for (uint32_t i = 0; i < len; i++) out[i] = src[i];
    } else {
      BeforeWindowRead(s, w, q, distance, len);
      q = WindowCopy(w, q, distance, len, s->end);
      out = w.At(q);
      left = WindowChunkBytes - (q & 0xFF);
      return;
    }
    q += len;
    out += len;
    left -= len;
    if (left == 0) {
      out = w.At(q);
      left = WindowChunkBytes;
    }
  }
  void Finish(z_stream*) { s->write = q; }
};

/* Where the fast loop puts its bytes when nothing waits in the window and the caller's
   room is large: straight into the output, while a longest match still fits. A match
   reaches back into the bytes this call sent straight out (pending, then this run's),
   which lie together before out, or past them into the window, which holds everything
   older. The window receives only their last window's worth, later (SettleWindow). */
struct DirectOutput {
  const WindowView& w;
  InflateBlocks* s;
  Pending* pending;
  uint8_t* const first; /* where this run began: next_out */
  uint8_t* out;
  uint8_t* last;        /* the last place a longest match may start */
  uint8_t* base;        /* the first byte not in the window */
  uint32_t baseIndex;   /* the window index base belongs at */
  uint32_t wrap;        /* the window's size less 1: indexes wrap with it */
  bool allKnown;        /* every window byte holds a byte of a stream, or zero */
  DirectOutput(const WindowView& view, InflateBlocks* blocks, z_stream* z, Pending* p)
      : w(view), s(blocks), pending(p), first(z->next_out), out(z->next_out) {
    last = first + (z->avail_out - StepRoom);
    base = first - pending->length;
    baseIndex = pending->length != 0 ? pending->start : s->write;
    wrap = s->end - 1;
    allKnown = s->AllKnown();
  }
  bool Room() const { return out <= last; }
  void Literal(uint32_t v) { *out++ = (uint8_t)v; }
  // Inline, so that the record's fields stay in registers in the loop.
  __attribute__((always_inline)) void Match(uint32_t distance, uint32_t len) {
    if (distance > (uint32_t)(out - base)) {
      const uint32_t back = distance - (uint32_t)(out - base);
      // Most matches that reach the window lie in it whole and inside one chunk (which
      // ends at or before the window's end), and read only bytes a stream wrote (all of
      // the window is known, or no index wraps): one short copy. The rest in runs, below.
      const uint32_t from = (baseIndex - back) & wrap;
      if ((baseIndex >= back || allKnown) && len <= back && (from & 0xFF) + len <= WindowChunkBytes) {
        CopyApart(out, w.At(from), len);
        out += len;
        return;
      }
      const uint32_t n = len < back ? len : back;
      out = FromWindow(w, s, baseIndex, back, n, out);
      len -= n;
      if (len == 0) return;
    }
    out = CopyBack(out, distance, len);
  }
  /* The n bytes of a match that lie in the window, back bytes before window index
     baseIndex, in runs bounded by its chunks and its end, to out; the new out. (Static,
     with the record's fields as arguments, so that the record never leaves registers.) */
  __attribute__((noinline)) static uint8_t* FromWindow(const WindowView& w, InflateBlocks* s, uint32_t baseIndex,
                                                      uint32_t back, uint32_t n, uint8_t* out) {
    const uint32_t end = s->end;
    uint32_t from = (baseIndex - back) & (end - 1);
    BeforeWindowRead(s, w, baseIndex, back, n);
    while (n != 0) {
      uint32_t run = WindowChunkBytes - (from & 0xFF);
      if (run > end - from) run = end - from;
      if (run > n) run = n;
      // Most matches are short: a call to the library's copy costs more than a loop.
      const uint8_t* src = w.At(from);
      if (run >= 32) {
        CopyRun(out, src, run);
      } else {
        for (uint32_t i = 0; i < run; i++) out[i] = src[i];
      }
      out += run;
      n -= run;
      from = (from + run) & (end - 1);
    }
    return out;
  }
  void Finish(z_stream* z) {
    const uint32_t made = (uint32_t)(out - first);
    if (made == 0) return;
    if (s->checkfn != NULL) s->check = s->checkfn(s->check, first, made);
    AddPending(pending, s->write, made);
    if (s->write + made >= s->end) s->RaiseKnown(s->end);
    s->write = s->read = (s->write + made) & (s->end - 1);
    z->next_out = out;
    z->avail_out -= made;
    z->total_out += made;
  }
};

/* The fast loop: while the output has room for a step (StepRoom) and FastInput input
   bytes are left. The bit buffer is refilled without a branch from a 4-byte load: the
   bytes above k that the load brings along are the next input bits themselves, so a later
   refill that ORs them in again changes nothing. After a refill k is 24 to 31, which
   covers a length code with its extra bits (15 + 5); the distance takes one refill for
   its code (15) and at most one more for its extra bits (13). One step (up to 63 bits: a
   literal before the match) moves the input by at most 11 bytes and reads at most 4 past
   that, hence the 16 bytes asked for before each. On return the whole bytes left in the
   bit buffer go back to the input, but never more than this call took: older bits belong
   to a buffer the caller may already have replaced. */
enum : uint32_t { FastInput = 16, DirectRoom = StepRoom };

template <typename Output, typename Table, bool Tail = false>
int InflateFastWith(const InflateCodes* c, const Table h, InflateBlocks* s, z_stream* z, const WindowView& w,
                    Pending* pending) {
  // The last input bytes (fewer than FastInput) in a copy padded with zeros: steps run as
  // above over it, and the first code that used a bit of the padding is taken back before
  // it writes anything, its end or error included; the step decoder takes it on.
  uint8_t padded[Tail ? FastInput + 32 : 1];
  const uint8_t* const origin = Tail ? padded : z->next_in;
  const uint8_t* p = origin;
  const uint8_t* const inputEnd = origin + z->avail_in;
  // The loop runs while p is below limit: FastInput bytes or more are left. A tail's p
  // never passes its end by more than the bit buffer holds (3 bytes).
  const uint8_t* const limit =
      Tail ? inputEnd + 4 : p + (z->avail_in >= FastInput ? z->avail_in - FastInput + 1 : 0);
  if (Tail) {
    memcpy(padded, z->next_in, z->avail_in);
    memset(padded + z->avail_in, 0, sizeof padded - z->avail_in);
  }
  uint32_t b = s->bitb, k = s->bitk;
  const uint32_t ml = BitMask(c->lbits), md = BitMask(c->dbits), lbits = c->lbits;
  const uint32_t tl = c->ltree, td = c->dtree;
  const uint32_t end = s->end;
  int result = ZResult_Ok;
  Output o(w, s, z, pending);
#define REFILL                 \
  {                            \
    b |= Load32(p) << k;       \
    p += (31 - k) >> 3;        \
    k |= 24;                   \
  }
#define EXOP(e) ((e) & 0xFF)
#define BITS(e) (((e) >> 8) & 0xFF)
#define BASE(e) ((e) >> 16)
  // A tail's state before the code being decoded, and whether that code used bits past
  // the input: checked before each write and each end or error.
  uint32_t savedB = 0, savedK = 0;
  const uint8_t* savedP = p;
#define OVERRUN (Tail && p > inputEnd && (uint32_t)(p - inputEnd) * 8 > k)
#define SAVE     \
  if (Tail) {    \
    savedB = b;  \
    savedK = k;  \
    savedP = p;  \
  }
#define CHECK                \
  if (OVERRUN) {             \
    b = savedB;              \
    k = savedK;              \
    p = savedP;              \
    result = ZResult_Ok;     \
    goto leave;              \
  }
#define LEAVE(code, text)              \
  {                                    \
    CHECK                              \
    if (text != NULL) z->msg = text;   \
    result = code;                     \
    goto leave;                        \
  }
  while (o.Room() && p < limit) {
    SAVE
    REFILL
    uint32_t index = tl + (b & ml);
    uint32_t e = h.Root(index);
    if (EXOP(e) == ExopLiteral) {
      b >>= BITS(e);
      k -= BITS(e);
      CHECK
      o.Literal(BASE(e));
      // Most literals leave bits enough for the next root look-up, which then goes ahead
      // without a refill and without the loop's tests: a second literal is written at
      // once, anything else is decoded below after a refill (which keeps b's low bits, and
      // so the entry). Hence a step's room of a literal and a longest match.
      if (k < lbits) continue;
      SAVE
      index = tl + (b & ml);
      e = h.Root(index);
      if (EXOP(e) == ExopLiteral) {
        b >>= BITS(e);
        k -= BITS(e);
        CHECK
        o.Literal(BASE(e));
        continue;
      }
      REFILL
    }
    for (;;) {
      b >>= BITS(e);
      k -= BITS(e);
      uint32_t op = EXOP(e);
      if (op & 16) {
        op &= 15;
        uint32_t len = BASE(e) + (b & BitMask(op));
        b >>= op;
        k -= op;
        REFILL
        index = td + (b & md);
        e = h.Root(index);
        for (;;) {
          b >>= BITS(e);
          k -= BITS(e);
          op = EXOP(e);
          if (op & 16) {
            op &= 15;
            if (k < op) REFILL
            uint32_t distance = BASE(e) + (b & BitMask(op));
            b >>= op;
            k -= op;
            if (distance > end) {
              // Taken modulo the window it would copy other bytes than the stream means.
              LEAVE(ZResult_DataError, "invalid distance too far back")
            }
            CHECK
            o.Match(distance, len);
            break;
          }
          if ((op & 64) == 0) {
            index = index + BASE(e) + (b & BitMask(op));
            e = h.Link(index);
            continue;
          }
          LEAVE(ZResult_DataError, "invalid distance code")
        }
        break;
      }
      if ((op & 64) == 0) {
        index = index + BASE(e) + (b & BitMask(op));
        e = h.Link(index);
        if (EXOP(e) == ExopLiteral) {
          b >>= BITS(e);
          k -= BITS(e);
          CHECK
          o.Literal(BASE(e));
          break;
        }
        continue;
      }
      if (op & 32) LEAVE(ZResult_StreamEnd, (const char*)NULL)
      LEAVE(ZResult_DataError, "invalid literal/length code")
    }
  }
#undef OVERRUN
#undef SAVE
#undef CHECK
#undef LEAVE
#undef REFILL
#undef EXOP
#undef BITS
#undef BASE
leave : {
  const uint32_t taken = (uint32_t)(p - origin);
  uint32_t back = k >> 3 < taken ? k >> 3 : taken;
  p -= back;
  k -= back << 3;
  b &= BitMask(k);
}
  // A tail never leaves p past its input: what a step took of the padding it gave back.
  const uint32_t used = (uint32_t)(p - origin);
  s->bitb = b;
  s->bitk = k;
  z->total_in += used;
  z->avail_in -= used;
  z->next_in += used;
  o.Finish(z);
  return result;
}

/* Runs the fast loop with the fastest table reading the call can afford. pending: null to
   decode into the window, else straight into the output (see DirectOutput). */
template <typename Output, bool Tail = false>
int InflateFast(const InflateCodes* c, const HuftView& h, InflateBlocks* s, z_stream* z, const WindowView& w,
                Pending* pending, FlatHufts* flat) {
  // Both root tables inside the entries, or every look-up bounded.
  if (c->ltree + (1u << c->lbits) > c->entries || c->dtree + (1u << c->dbits) > c->entries) {
    return InflateFastWith<Output, ChainedTable, Tail>(c, ChainedTable{h}, s, z, w, pending);
  }
  if (c->hufts == Fixed()->hufts) {
    return InflateFastWith<Output, FlatEntries, Tail>(c, FlatEntries{Fixed()->flat, FixedEntries}, s, z, w, pending);
  }
  if (flat->codes == c) {
    return InflateFastWith<Output, FlatEntries, Tail>(c, FlatEntries{flat->entry, c->entries}, s, z, w, pending);
  }
  if (!Tail && z->avail_in >= FlatTableInput) {
    return InflateFastWith<Output, FlatEntries, Tail>(c, FillFlat(flat, c, h), s, z, w, pending);
  }
  return InflateFastWith<Output, ChainedTable, Tail>(c, ChainedTable{h}, s, z, w, pending);
}

}  // namespace

int InflateCodes::Decode(InflateBlocks* s, z_stream* z, int r, const WindowView& w, Pending* pending,
                         FlatHufts* flat) {
  InflateCodes* c = s->sub.codes;
  HuftView h;
  h.Bind(c->hufts, c->entries);
  // Tables this call built are read from its plain array (the chained blocks receive them
  // only if the block outlives the call).
  const uint32_t* const built = flat->codes == c ? flat->entry : NULL;
  auto entry = [&](uint32_t i) -> HuftEntry {
    if (built != NULL) return UnpackEntry(i < c->entries ? built[i] : InvalidEntry);
    return h[i];
  };
  const uint8_t* p = z->next_in;
  uint32_t n = z->avail_in;
  uint32_t b = s->bitb, k = s->bitk;
  uint32_t q = s->write;
  uint32_t m = q < s->read ? s->read - q - 1 : s->end - q;
  uint32_t j;
  HuftEntry t;

#define CODES_LOAD                                   \
  p = z->next_in;                                    \
  n = z->avail_in;                                   \
  b = s->bitb;                                       \
  k = s->bitk;                                       \
  q = s->write;                                      \
  m = q < s->read ? s->read - q - 1 : s->end - q;
#define CODES_UPDATE                                 \
  s->bitb = b;                                       \
  s->bitk = k;                                       \
  z->total_in += (uint32_t)(p - z->next_in);         \
  z->avail_in = n;                                   \
  z->next_in = p;                                    \
  s->write = q;
#define CODES_LEAVE                  \
  {                                  \
    CODES_UPDATE                     \
    SettleWindow(s, z, w, pending);  \
    return InflateFlush(s, z, r, w); \
  }
#define WINDOW_ROOM (q < s->read ? s->read - q - 1 : s->end - q)
#define NEED_OUT                                               \
  if (m == 0) {                                                \
    if (q == s->end && s->read != 0) {                         \
      s->RaiseKnown(s->end);                                   \
      q = 0;                                                   \
      m = WINDOW_ROOM;                                         \
    }                                                          \
    if (m == 0) {                                              \
      s->write = q;                                            \
      r = InflateFlush(s, z, r, w);                            \
      q = s->write;                                            \
      m = WINDOW_ROOM;                                         \
      if (q == s->end && s->read != 0) {                       \
        s->RaiseKnown(s->end);                                 \
        q = 0;                                                 \
        m = WINDOW_ROOM;                                       \
      }                                                        \
      if (m == 0) CODES_LEAVE                                  \
    }                                                          \
  }                                                            \
  r = ZResult_Ok;
/* Bits for a table look-up. When the input runs out early, the look-up may still go
   ahead: bits above k are zero, and an entry no longer than k bits is the same for every
   value of the missing ones. So a stream whose input ends right after a code (the end
   of its last block) decodes it without a byte of look-ahead. */
#define NEED_CODE_BITS(j)                                              \
  while (k < (j)) {                                                    \
    if (n == 0) {                                                      \
      if (entry(c->a + (b & BitMask(j))).bits <= k) break;             \
      CODES_LEAVE                                                      \
    }                                                                  \
    r = ZResult_Ok;                                                    \
    n--;                                                               \
    b |= (uint32_t)(*p++) << k;                                        \
    k += 8;                                                            \
  }
#define NEED_BITS(j)                   \
  while (k < (j)) {                    \
    if (n == 0) CODES_LEAVE            \
    r = ZResult_Ok;                    \
    n--;                               \
    b |= (uint32_t)(*p++) << k;        \
    k += 8;                            \
  }
#define DUMP_BITS(j) \
  {                  \
    b >>= (j);       \
    k -= (j);        \
  }

  for (;;) {
    switch (c->mode) {
      case CodeStart:
        if (n >= FastInput) {
          if (q != s->read && z->avail_out >= DirectRoom) {
            // Bytes wait in the window: out with them first, so that the rest may go
            // straight to the output behind them.
            s->write = q;
            r = InflateFlush(s, z, r, w);
            q = s->write;
            m = WINDOW_ROOM;
          }
          if (q == s->read && z->avail_out >= DirectRoom) {
            CODES_UPDATE
            r = InflateFast<DirectOutput>(c, h, s, z, w, pending, flat);
            CODES_LOAD
            if (r != ZResult_Ok) {
              c->mode = r == ZResult_StreamEnd ? CodeWash : CodeBad;
              break;
            }
          } else if (m >= StepRoom) {
            SettleWindow(s, z, w, pending);
            CODES_UPDATE
            r = InflateFast<WindowOutput>(c, h, s, z, w, NULL, flat);
            CODES_LOAD
            if (r != ZResult_Ok) {
              c->mode = r == ZResult_StreamEnd ? CodeWash : CodeBad;
              break;
            }
          }
        }
        if (n != 0 && n < FastInput && q != s->read && z->avail_out >= DirectRoom) {
          // As above: a code the step decoder finished left its bytes in the window.
          s->write = q;
          r = InflateFlush(s, z, r, w);
          q = s->write;
          m = WINDOW_ROOM;
        }
        if (n != 0 && n < FastInput && q == s->read && z->avail_out >= DirectRoom) {
          // The input's last bytes, straight out as far as they reach (the step decoder
          // takes the code they end inside).
          const int before = r;
          const uint8_t* const at = z->next_out;
          CODES_UPDATE
          r = InflateFast<DirectOutput, true>(c, h, s, z, w, pending, flat);
          const bool moved = z->next_in != p || z->next_out != at;
          CODES_LOAD
          if (r != ZResult_Ok) {
            c->mode = r == ZResult_StreamEnd ? CodeWash : CodeBad;
            break;
          }
          if (!moved) r = before;
        }
        // The step decoder works in the window.
        SettleWindow(s, z, w, pending);
        c->b = c->lbits;
        c->a = c->ltree;
        c->mode = CodeLen;
        /* fall through */
      case CodeLen: {
        j = c->b;
        NEED_CODE_BITS(j)
        uint32_t index = c->a + (b & BitMask(j));
        t = entry(index);
        DUMP_BITS(t.bits)
        uint32_t e = t.exop;
        if (e == ExopLiteral) {
          c->a = t.base;
          c->mode = CodeLit;
          break;
        }
        if (e & 16) {
          c->a = e & 15;
          c->len = t.base;
          c->mode = CodeLenExt;
          break;
        }
        if ((e & 64) == 0) {
          c->b = e;
          c->a = index + t.base;
          break;
        }
        if (e & 32) {
          c->mode = CodeWash;
          break;
        }
        c->mode = CodeBad;
        z->msg = "invalid literal/length code";
        r = ZResult_DataError;
        CODES_LEAVE
      }
      case CodeLenExt:
        j = c->a;
        NEED_BITS(j)
        c->len += b & BitMask(j);
        DUMP_BITS(j)
        c->b = c->dbits;
        c->a = c->dtree;
        c->mode = CodeDist;
        /* fall through */
      case CodeDist: {
        j = c->b;
        NEED_CODE_BITS(j)
        uint32_t index = c->a + (b & BitMask(j));
        t = entry(index);
        DUMP_BITS(t.bits)
        uint32_t e = t.exop;
        if (e & 16) {
          c->a = e & 15;
          c->b = t.base;
          c->mode = CodeDistExt;
          break;
        }
        if ((e & 64) == 0) {
          c->b = e;
          c->a = index + t.base;
          break;
        }
        c->mode = CodeBad;
        z->msg = "invalid distance code";
        r = ZResult_DataError;
        CODES_LEAVE
      }
      case CodeDistExt:
        j = c->a;
        NEED_BITS(j)
        c->b += b & BitMask(j);
        DUMP_BITS(j)
        if (c->b > s->end) {
          c->mode = CodeBad;
          z->msg = "invalid distance too far back";
          r = ZResult_DataError;
          CODES_LEAVE
        }
        BeforeWindowRead(s, w, q, c->b, c->len);
        c->mode = CodeCopy;
        /* fall through */
      case CodeCopy:
        while (c->len != 0) {
          NEED_OUT
          // As much as the room takes, in runs bounded by the chunks of both sides and the
          // window's end (WindowCopy); overlapping runs byte by byte, in order.
          const uint32_t run = c->len < m ? c->len : m;
          q = WindowCopy(w, q, c->b, run, s->end);
          m -= run;
          c->len -= run;
        }
        c->mode = CodeStart;
        break;
      case CodeLit:
        NEED_OUT
        *w.At(q++) = (uint8_t)c->a;
        m--;
        c->mode = CodeStart;
        break;
      case CodeWash:
        // Whole bytes still buffered stay in the bit buffer: the block decoder reads on
        // from there, and what follows the last block is given back by it.
        s->write = q;
        r = InflateFlush(s, z, r, w);
        q = s->write;
        m = WINDOW_ROOM;
        if (s->read != s->write) CODES_LEAVE
        c->mode = CodeEnd;
        /* fall through */
      case CodeEnd:
        r = ZResult_StreamEnd;
        CODES_LEAVE
      case CodeBad:
        r = ZResult_DataError;
        CODES_LEAVE
      default:
        r = ZResult_StreamError;
        CODES_LEAVE
    }
  }
#undef CODES_LOAD
#undef CODES_UPDATE
#undef CODES_LEAVE
#undef WINDOW_ROOM
#undef NEED_OUT
#undef NEED_CODE_BITS
#undef NEED_BITS
#undef DUMP_BITS
}

}  // namespace puxz
