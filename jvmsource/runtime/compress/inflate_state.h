/* The inflate engine's records and storage, shared by its three parts: the stream
   interface and wrapper (inflate.cpp), the block decoder with the window and the storage
   (inflate_blocks.cpp), and the decoding tables with the code decoder and its fast loop
   (inflate_codes.cpp). */
#ifndef PUX_COMPRESS_INFLATE_STATE_H
#define PUX_COMPRESS_INFLATE_STATE_H

#include <string.h>

#include "inflate.h"

namespace puxz {

/* ---- storage ---- */

enum : uint32_t {
  WindowChunkBytes = 256,
  WindowChunks = 128,
  WindowBytes = WindowChunkBytes * WindowChunks, /* 32,768 */
  ChainDataBytes = 248,
  HuftsPerBlock = ChainDataBytes / 8,  /* 31 */
  UIntsPerBlock = ChainDataBytes / 4,  /* 62 */
  HuftLimit = 1536,                    /* entries of a stream's tables */
  MaxHuftBlocks = (HuftLimit * 8 + ChainDataBytes - 1) / ChainDataBytes /* 50 */
};

/* A table entry: a literal (exop 0), a length or distance base with exop & 15 extra bits
   (exop 80 + e), the end of the block (96), an invalid code (192), or a link to a
   sub-table of 2^exop entries (1-15) whose first index is this entry's index + base. */
struct HuftEntry {
  uint8_t exop;
  uint8_t bits;
  uint16_t unused;
  uint32_t base;
};
enum : uint8_t { ExopLiteral = 0, ExopBase = 16 + 64, ExopEnd = 32 + 64, ExopInvalid = 128 + 64 };

/* An entry in one 32-bit word, for the plain arrays the fast loops read: exop in bits 0-7,
   bits in 8-15, base in 16-31 (no base reaches 2^16: literals and symbols below 288,
   length and distance bases at most 24,577, links below the 1,536 entries). */
inline uint32_t PackEntry(const HuftEntry& e) { return e.exop | (uint32_t)e.bits << 8 | e.base << 16; }
inline HuftEntry UnpackEntry(uint32_t v) {
  HuftEntry e;
  e.exop = (uint8_t)v;
  e.bits = (uint8_t)(v >> 8);
  e.unused = 0;
  e.base = v >> 16;
  return e;
}

/* 252 bytes: the next block and 248 data bytes. */
struct ChainBlock {
  ChainBlock* next;
  uint8_t data[ChainDataBytes];
};

/* The record of a chain of blocks holding fixed-size elements. */
struct ChainArray {
  uint32_t count;  /* elements */
  uint32_t blocks;
  ChainBlock* first;
};

struct HuftArray : ChainArray {
  /* n entries (null for 0 or no memory), zero-filled. */
  static HuftArray* Create(z_stream* z, uint32_t n);
  /* Lays n entries out in a caller's buffer: the record at its start, blocks at 256-byte
     strides from byte 16. Null when the buffer is null or too small, or n is 0. */
  static HuftArray* CreateInBuffer(void* buffer, uint32_t size, uint32_t n);
  static void Destroy(z_stream* z, HuftArray* array);
  /* Entry i along the chain; null outside. */
  HuftEntry* Entry(uint32_t i) const;
};

struct UIntArray : ChainArray {
  static UIntArray* Create(z_stream* z, uint32_t n);
  static void Destroy(z_stream* z, UIntArray* array);
  uint32_t* Entry(uint32_t i) const;
};

/* The block pointers of a chain array in a flat table: entry i is one division away
   instead of i / 31 steps along the chain. Indexes past the array reach a scratch
   element (never memory outside), which tests and the fuzz target watch. */
template <typename T, uint32_t PerBlock, uint32_t MaxBlocks>
struct ChainView {
  T* block[MaxBlocks];
  uint32_t count;
  /* Binds the blocks that hold the first limit elements (all of them by default). */
  void Bind(const ChainArray* a, uint32_t limit = 0xFFFFFFFFu) {
    count = 0;
    uint32_t b = 0;
    if (a != NULL && limit > a->count) limit = a->count;
    const uint32_t wanted = a != NULL ? (limit + PerBlock - 1) / PerBlock : 0;
    for (ChainBlock* c = a != NULL ? a->first : NULL; c != NULL && b < MaxBlocks && b < a->blocks && b < wanted;
         c = c->next) {
      block[b++] = reinterpret_cast<T*>(c->data);
    }
    if (a != NULL) count = b * PerBlock < limit ? b * PerBlock : limit;
  }
  T& operator[](uint32_t i) const {
    if (i >= count) return Scratch();
    return block[i / PerBlock][i % PerBlock];
  }
  static T& Scratch() {
    static thread_local T scratch;
    scratch = T();
    return scratch;
  }
};
typedef ChainView<HuftEntry, HuftsPerBlock, MaxHuftBlocks> HuftView;
typedef ChainView<uint32_t, UIntsPerBlock, 8> UIntView; /* the longest is 316 values */

/* The window: two pages of 64 chunk pointers, 128 chunks of 256 bytes. */
struct InflateWindow {
  uint8_t** pages[2];
  static InflateWindow* Create(z_stream* z);
  static void Destroy(z_stream* z, InflateWindow* window);
  /* Byte i & 0x7FFF; null for a null window. */
  static uint8_t* Address(const InflateWindow* w, uint32_t i);
};

/* The window's two pages for the length of a call: a byte is two loads away. Every
   index is masked to the 32 KB of storage, so no index can reach outside it. */
struct WindowView {
  uint8_t** page[2];
  void Bind(const InflateWindow* w) {
    page[0] = w->pages[0];
    page[1] = w->pages[1];
  }
  __attribute__((always_inline)) uint8_t* At(uint32_t i) const {
    return page[(i >> 14) & 1][(i >> 8) & 63] + (i & 0xFF);
  }
};

/* ---- the code decoder (inflate_codes.cpp) ---- */

/* Bytes of the current call that went straight to the caller's output without passing
   through the window. They lie together just before next_out and belong at window index
   start on; read and write already stand past them, so nothing waits in the window while
   there are any. Only the last window's worth of them is ever copied into the window,
   once, when a window path needs it or the call ends. */
struct Pending {
  uint32_t start;
  uint32_t length;
};

struct InflateBlocks;
struct InflateCodes;

/* A stream's table entries in one plain array on the stack for the length of a call: the
   tables the call built (the builder writes them here; they go into the chained blocks
   only if their block outlives the call), or a copy of the chained ones made when the
   call has input enough to pay for it. codes: the decoder whose tables these are; null
   when none. */
struct FlatHufts {
  const InflateCodes* codes = NULL;
  bool built = false;        /* built in this call: not yet in the chained blocks */
  uint32_t entry[HuftLimit]; /* packed (PackEntry) */
};

struct InflateCodes {
  int32_t mode;
  uint32_t len;
  uint32_t a; /* LEN/DIST: current table; LIT: the literal; LENEXT/DISTEXT: extra bits */
  uint32_t b; /* LEN/DIST: bits needed; DISTEXT/COPY: the distance */
  uint8_t lbits;
  uint8_t dbits;
  uint16_t entries; /* of hufts, that the two tables take: no look-up reaches past them */
  HuftArray* hufts;
  uint32_t ltree;
  uint32_t dtree;

  static InflateCodes* Create(uint32_t bl, uint32_t bd, uint32_t tl, uint32_t td, HuftArray* hufts,
                              uint32_t entries, z_stream* z);
  static int Decode(InflateBlocks* s, z_stream* z, int r, const WindowView& w, Pending* pending, FlatHufts* flat);
  static void Destroy(InflateCodes* c, z_stream* z);
};

/* Builds a canonical code's tables from lengths[0..n) (n at most 288) into hufts from
   *used on; values below s are literals (256 and up: end of block), the rest take base
   and extra. 0, -3 (over-subscribed), -4 (past HuftLimit; *used unchanged for the
   table that did not fit) or -5 (incomplete; one code of length 1 is complete). */
int BuildHuffmanTablePlain(const uint32_t* lengths, uint32_t n, uint32_t s, const uint16_t* base,
                           const uint16_t* extra, uint32_t* root, uint32_t* bits, HuftArray* hufts, uint32_t* used);
/* The base and extra-bit tables of RFC 1951 (lengths with the two invalid rows). */
const uint16_t* InflateLengthBase();
const uint16_t* InflateLengthExtra();
const uint16_t* InflateDistBase();
const uint16_t* InflateDistExtra();
int BuildBitLengthTree(UIntArray* lengths, uint32_t* bits, uint32_t* root, HuftArray* hufts, z_stream* z);
/* *used: the entries the two tables take. They are built into built (HuftLimit words,
   packed; those past them are left as they were: no look-up reads them), not into the
   stream's chained storage: the caller stores
   them there with StorePacked when they are needed past the call. */
int BuildDynamicTrees(uint32_t nl, uint32_t nd, UIntArray* lengths, uint32_t* bl, uint32_t* bd, uint32_t* tl,
                      uint32_t* td, uint32_t* used, uint32_t* built, z_stream* z);
/* Entries [0, n) of a plain packed array into the chained storage. */
void StorePacked(HuftArray* a, const uint32_t* from, uint32_t n);
/* The process-wide fixed tables: literal/length root 0 (9 bits), distance root 512 (5),
   544 entries in all. */
enum : uint32_t { FixedEntries = 544 };
void GetFixedTrees(uint32_t* bl, uint32_t* bd, uint32_t* tl, uint32_t* td, HuftArray** hufts);

/* ---- the block decoder (inflate_blocks.cpp) ---- */

typedef uint32_t (*CheckFunction)(uint32_t check, const uint8_t* bytes, uint32_t length);

enum : int32_t {
  BlockType = 0, BlockLens, BlockStored, BlockTable, BlockBtree, BlockDtree, BlockCodes, BlockDry,
  BlockDone, BlockBad
};

struct InflateBlocks {
  int32_t mode;
  union {
    uint32_t left; /* STORED */
    struct {
      uint32_t table; /* the 14 bits of HLIT, HDIST and HCLEN */
      uint32_t index;
      UIntArray* lengths;
      uint32_t bb;
      uint32_t tb;
    } trees;
    InflateCodes* codes; /* CODES */
    uint32_t words[5];
  } sub;
  /* Bit 0: the current block is the last. Bits 16 and up: the window's known extent
     (see Known). */
  uint32_t last;
  uint32_t bitk;
  uint32_t bitb;
  HuftArray* hufts;
  InflateWindow* window;
  uint32_t end;
  uint32_t read;
  uint32_t write;
  CheckFunction checkfn;
  uint32_t check;

  static InflateBlocks* Create(z_stream* z, CheckFunction checkfn, uint32_t size);
  /* Back to TYPE with an empty window. saved: where the running check goes, or null.
     keepBytes: whole bytes left in the bit buffer after the last block stay there, for
     the wrapper's trailer. */
  static void Reset(InflateBlocks* s, z_stream* z, uint32_t* saved, bool keepBytes);
  static int Decode(InflateBlocks* s, z_stream* z, int r);
  static void Destroy(InflateBlocks* s, z_stream* z);
  static void SetDictionary(InflateBlocks* s, const uint8_t* d, uint32_t n);
  static int AtSyncPoint(const InflateBlocks* s) { return s->mode == BlockLens; }

  bool Last() const { return (last & 1) != 0; }
  void SetLast(uint32_t bit) { last = (last & ~1u) | (bit & 1); }
  /* The window's storage is not cleared when it is made: what a stream has not written
     is cleared only when a distance reaches before the stream's first byte, which data
     that a compressor wrote never does. Window indexes below Known, or below the write
     index, hold bytes of this or an earlier stream, or zeros; those at or above both
     hold whatever the allocator left there. Writes go forward from index 0 (or from the
     end of a dictionary), so Known only has to be raised where the write index goes back
     to 0: to the window's size when it wraps, to the old write index at a reset. Known at
     or above the size: the whole window holds bytes or zeros. */
  uint32_t Known() const { return last >> 16; }
  void RaiseKnown(uint32_t to) {
    if (to > Known()) last = (last & 0xFFFFu) | (to << 16);
  }
  bool AllKnown() const { return Known() >= end; }
};

/* Clears the window from index from (the larger of Known and the write index in use) to
   the end of its storage; the whole window is then known. For a read that would reach
   past what is known, which only a distance before the stream's first byte can. */
void ClearUnknown(InflateBlocks* s, const WindowView& w, uint32_t from);
/* A copy of length bytes from distance (at most the window's size) behind window index q,
   the write index in use: when q is below the distance, the copy's first bytes come from
   the top of the window; if they would reach what is not known, that is cleared first. */
inline void BeforeWindowRead(InflateBlocks* s, const WindowView& w, uint32_t q, uint32_t distance, uint32_t length) {
  if (q >= distance || s->AllKnown()) return;
  const uint32_t back = distance - q;
  const uint32_t from = s->end - back;
  const uint32_t n = length < back ? length : back;
  const uint32_t known = s->Known() > q ? s->Known() : q;
  if (from + n > known) ClearUnknown(s, w, known);
}

/* Hands decoded bytes from the window to next_out; r, or 0 in place of -5 when bytes went. */
int InflateFlush(InflateBlocks* s, z_stream* z, int r, const WindowView& w);

/* Copies the pending bytes' last window's worth into the window, at their places. */
void SettleWindow(InflateBlocks* s, z_stream* z, const WindowView& w, Pending* pending);
/* Counts bytes just sent straight to the output (ahead of next_out already moved). */
inline void AddPending(Pending* pending, uint32_t q, uint32_t length) {
  if (pending->length == 0) pending->start = q;
  pending->length += length;
}

/* Zero-filled block from the stream's allocation pair (which need not zero). */
void* InflateTake(z_stream* z, uint32_t bytes);
void InflateGive(z_stream* z, void* block);

static_assert(sizeof(void*) != 4 || sizeof(HuftEntry) == 8, "a table entry is 8 bytes");
static_assert(sizeof(void*) != 4 || sizeof(ChainBlock) == 252, "a chain block is 252 bytes");
static_assert(sizeof(void*) != 4 || sizeof(ChainArray) == 12, "a chain record is 12 bytes");
static_assert(sizeof(void*) != 4 || sizeof(InflateCodes) == 32, "the code decoder is 32 bytes");
static_assert(sizeof(void*) != 4 || sizeof(InflateBlocks) == 64, "the block decoder is 64 bytes");
static_assert(sizeof(void*) != 4 || sizeof(InflateWindow) == 8, "the window header is 8 bytes");

/* memcpy for a run the compiler can tell is short (at most a chunk): it would expand it
   into a string instruction, which costs several times the library's copy at these
   sizes. The empty asm hides the bound. */
inline void CopyRun(void* to, const void* from, uint32_t n) {
  __asm__("" : "+r"(n));
  memcpy(to, from, n);
}

/* mask(n) = 2^n - 1 for n from 0 to 32. */
inline uint32_t BitMask(uint32_t n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }

}  // namespace puxz

#endif
