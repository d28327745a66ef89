/* The inflate engine's block decoder (block headers, stored blocks, the code-length
   code and the dynamic code lengths), the window and its hand-over to the caller, and
   the chained storage of tables and work arrays. */
#include "inflate_state.h"

namespace puxz {

namespace {

/* The order in which the code-length code's lengths arrive (RFC 1951 section 3.2.7). */
const uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

/* clear: whether the blocks' data must start as zeros. */
ChainBlock* CreateChain(z_stream* z, uint32_t count, bool clear) {
  ChainBlock* first = NULL;
  ChainBlock** link = &first;
  for (uint32_t i = 0; i < count; i++) {
    ChainBlock* b = static_cast<ChainBlock*>(clear ? InflateTake(z, sizeof(ChainBlock))
                                                   : z->zalloc(z->opaque, 1, sizeof(ChainBlock)));
    if (b == NULL) {
      while (first != NULL) {
        ChainBlock* next = first->next;
        InflateGive(z, first);
        first = next;
      }
      return NULL;
    }
    b->next = NULL;
    *link = b;
    link = &b->next;
  }
  return first;
}

void DestroyChain(z_stream* z, ChainBlock* block) {
  while (block != NULL) {
    ChainBlock* next = block->next;
    InflateGive(z, block);
    block = next;
  }
}

template <typename Array>
Array* CreateChainArray(z_stream* z, uint32_t n, uint32_t width, bool clear = true) {
  if (n == 0 || n > 0xFFFFFFFFu / width) return NULL;
  uint32_t blocks = (n * width + ChainDataBytes - 1) / ChainDataBytes;
  Array* a = static_cast<Array*>(InflateTake(z, sizeof(ChainArray)));
  if (a == NULL) return NULL;
  a->first = CreateChain(z, blocks, clear);
  if (a->first == NULL) {
    InflateGive(z, a);
    return NULL;
  }
  a->count = n;
  a->blocks = blocks;
  return a;
}

uint8_t* ChainEntry(const ChainArray* a, uint32_t i, uint32_t width) {
  if (a == NULL || a->blocks == 0 || a->first == NULL || i >= a->count) return NULL;
  uint32_t offset = i * width;
  ChainBlock* b = a->first;
  for (uint32_t steps = offset / ChainDataBytes; steps != 0; steps--) {
    b = b->next;
    if (b == NULL) return NULL;
  }
  return b->data + offset % ChainDataBytes;
}

/* Writes the values of a chained array one after another from index i (below its count)
   on; no more than the count may be written. */
struct UIntWriter {
  ChainBlock* block;
  uint32_t* at;
  uint32_t left; /* in the block */
  UIntWriter(const UIntArray* a, uint32_t i) {
    block = a->first;
    for (uint32_t steps = i / UIntsPerBlock; steps != 0 && block != NULL; steps--) block = block->next;
    at = block != NULL ? reinterpret_cast<uint32_t*>(block->data) + i % UIntsPerBlock : NULL;
    left = block != NULL ? UIntsPerBlock - i % UIntsPerBlock : 0;
  }
  void Put(uint32_t v) {
    if (left == 0) {
      block = block->next;
      at = reinterpret_cast<uint32_t*>(block->data);
      left = UIntsPerBlock;
    }
    *at++ = v;
    left--;
  }
};

void ReleaseLengths(InflateBlocks* s, z_stream* z) {
  UIntArray::Destroy(z, s->sub.trees.lengths);
  s->sub.trees.lengths = NULL;
}

}  // namespace

void* InflateTake(z_stream* z, uint32_t bytes) {
  void* block = z->zalloc(z->opaque, 1, bytes);
  if (block != NULL) memset(block, 0, bytes);
  return block;
}

void InflateGive(z_stream* z, void* block) { z->zfree(z->opaque, block); }

/* The entries are not cleared: the builder writes every slot of every table it places
   before any is read, and no look-up reaches past the entries its tables take. */
HuftArray* HuftArray::Create(z_stream* z, uint32_t n) {
  return CreateChainArray<HuftArray>(z, n, sizeof(HuftEntry), false);
}

HuftArray* HuftArray::CreateInBuffer(void* buffer, uint32_t size, uint32_t n) {
  if (buffer == NULL || size < 16 || n == 0 || n > 0xFFFFFFFFu / sizeof(HuftEntry)) return NULL;
  uint32_t blocks = (n * (uint32_t)sizeof(HuftEntry) + ChainDataBytes - 1) / ChainDataBytes;
  if (blocks > (size - 16) / 256) return NULL;
  uint8_t* base = static_cast<uint8_t*>(buffer);
  memset(base, 0, 16 + 256 * blocks);
  HuftArray* a = reinterpret_cast<HuftArray*>(base);
  for (uint32_t i = 0; i < blocks; i++) {
    ChainBlock* b = reinterpret_cast<ChainBlock*>(base + 16 + 256 * i);
    b->next = i + 1 < blocks ? reinterpret_cast<ChainBlock*>(base + 16 + 256 * (i + 1)) : NULL;
  }
  a->count = n;
  a->blocks = blocks;
  a->first = reinterpret_cast<ChainBlock*>(base + 16);
  return a;
}

void HuftArray::Destroy(z_stream* z, HuftArray* array) {
  if (array == NULL) return;
  DestroyChain(z, array->first);
  InflateGive(z, array);
}

HuftEntry* HuftArray::Entry(uint32_t i) const {
  return reinterpret_cast<HuftEntry*>(ChainEntry(this, i, sizeof(HuftEntry)));
}

/* Not cleared either: the code lengths are all written, in order, before any is read (a
   retry after a refusal goes on from the index reached), and the builders' work arrays
   are not read at all (see BuildBitLengthTree). */
UIntArray* UIntArray::Create(z_stream* z, uint32_t n) {
  return CreateChainArray<UIntArray>(z, n, sizeof(uint32_t), false);
}

void UIntArray::Destroy(z_stream* z, UIntArray* array) {
  if (array == NULL) return;
  DestroyChain(z, array->first);
  InflateGive(z, array);
}

uint32_t* UIntArray::Entry(uint32_t i) const {
  return reinterpret_cast<uint32_t*>(ChainEntry(this, i, sizeof(uint32_t)));
}

InflateWindow* InflateWindow::Create(z_stream* z) {
  InflateWindow* w = static_cast<InflateWindow*>(InflateTake(z, sizeof(InflateWindow)));
  if (w == NULL) return NULL;
  for (int p = 0; p < 2; p++) {
    w->pages[p] = static_cast<uint8_t**>(InflateTake(z, 64 * sizeof(uint8_t*)));
    if (w->pages[p] == NULL) {
      Destroy(z, w);
      return NULL;
    }
    for (int c = 0; c < 64; c++) {
      // Not cleared: see InflateBlocks::Known.
      w->pages[p][c] = static_cast<uint8_t*>(z->zalloc(z->opaque, 1, WindowChunkBytes));
      if (w->pages[p][c] == NULL) {
        Destroy(z, w);
        return NULL;
      }
    }
  }
  return w;
}

void InflateWindow::Destroy(z_stream* z, InflateWindow* window) {
  if (window == NULL) return;
  for (int p = 0; p < 2; p++) {
    if (window->pages[p] == NULL) continue;
    for (int c = 0; c < 64; c++) {
      if (window->pages[p][c] != NULL) InflateGive(z, window->pages[p][c]);
    }
    InflateGive(z, window->pages[p]);
  }
  InflateGive(z, window);
}

uint8_t* InflateWindow::Address(const InflateWindow* w, uint32_t i) {
  if (w == NULL) return NULL;
  i &= WindowBytes - 1;
  return w->pages[i >> 14][(i >> 8) & 63] + (i & 0xFF);
}

int InflateFlush(InflateBlocks* s, z_stream* z, int r, const WindowView& w) {
  for (int pass = 0; pass < 2; pass++) {
    uint32_t n = (s->read <= s->write ? s->write : s->end) - s->read;
    if (n > z->avail_out) n = z->avail_out;
    if (n != 0 && r == ZResult_BufError) r = ZResult_Ok;
    z->avail_out -= n;
    z->total_out += n;
    // One copy per chunk run; the check over the output afterwards, where the bytes lie
    // together, in one call.
    uint8_t* const start = z->next_out;
    const uint32_t total = n;
    while (n != 0) {
      uint32_t run = WindowChunkBytes - (s->read & 0xFF);
      if (run > n) run = n;
      CopyRun(z->next_out, w.At(s->read), run);
      z->next_out += run;
      s->read += run;
      n -= run;
    }
    if (s->checkfn != NULL && total != 0) s->check = s->checkfn(s->check, start, total);
    if (s->read != s->end) break;
    s->read = 0;
    if (s->write == s->end) {
      s->RaiseKnown(s->end);
      s->write = 0;
    }
  }
  return r;
}

InflateBlocks* InflateBlocks::Create(z_stream* z, CheckFunction checkfn, uint32_t size) {
  InflateBlocks* s = static_cast<InflateBlocks*>(InflateTake(z, sizeof(InflateBlocks)));
  if (s == NULL) return NULL;
  s->hufts = HuftArray::Create(z, HuftLimit);
  if (s->hufts == NULL) {
    InflateGive(z, s);
    return NULL;
  }
  s->window = InflateWindow::Create(z);
  if (s->window == NULL) {
    HuftArray::Destroy(z, s->hufts);
    InflateGive(z, s);
    return NULL;
  }
  s->end = size;
  s->checkfn = checkfn;
  s->mode = BlockType;
  Reset(s, z, NULL, false);
  return s;
}

void InflateBlocks::Reset(InflateBlocks* s, z_stream* z, uint32_t* saved, bool keepBytes) {
  if (saved != NULL) *saved = s->check;
  if (s->mode == BlockBtree || s->mode == BlockDtree) ReleaseLengths(s, z);
  if (s->mode == BlockCodes) InflateCodes::Destroy(s->sub.codes, z);
  memset(&s->sub, 0, sizeof s->sub);
  s->mode = BlockType;
  // The window keeps the bytes written so far (a distance before the next stream's first
  // byte reads them); writing starts again at 0.
  s->RaiseKnown(s->write);
  if (!keepBytes) {
    s->bitk = 0;
    s->bitb = 0;
  }
  s->read = s->write = 0;
  if (s->checkfn != NULL) z->adler = s->check = s->checkfn(0, NULL, 0);
}

void InflateBlocks::Destroy(InflateBlocks* s, z_stream* z) {
  Reset(s, z, NULL, false);
  InflateWindow::Destroy(z, s->window);
  HuftArray::Destroy(z, s->hufts);
  InflateGive(z, s);
}

void ClearUnknown(InflateBlocks* s, const WindowView& w, uint32_t from) {
  for (uint32_t at = from; at < WindowBytes;) {
    uint32_t run = WindowChunkBytes - (at & 0xFF);
    memset(w.At(at), 0, run);
    at += run;
  }
  s->RaiseKnown(WindowBytes);
}

void InflateBlocks::SetDictionary(InflateBlocks* s, const uint8_t* d, uint32_t n) {
  for (uint32_t i = 0; i < n; i++) *InflateWindow::Address(s->window, i) = d[i];
  s->read = s->write = n;
}

namespace {

/* The window as it would be after length bytes had passed through it from q on (q at
   most end, the window's size): the last min(length, end) of them at the positions they
   would have taken. The new write position. */
inline uint32_t StoreInWindow(const WindowView& w, uint32_t q, uint32_t end, const uint8_t* bytes, uint32_t length) {
  // The window's size is a power of two that divides 2^32: indexes wrap with a mask.
  uint32_t keep = length < end ? length : end;
  uint32_t at = (q + (length - keep)) & (end - 1);
  bytes += length - keep;
  while (keep != 0) {
    uint32_t run = WindowChunkBytes - (at & 0xFF);
    if (run > end - at) run = end - at;
    if (run > keep) run = keep;
    CopyRun(w.At(at), bytes, run);
    bytes += run;
    keep -= run;
    at += run;
    if (at == end) at = 0;
  }
  return (q + length) & (end - 1);
}

}  // namespace

void SettleWindow(InflateBlocks* s, z_stream* z, const WindowView& w, Pending* pending) {
  if (pending->length == 0) return;
  StoreInWindow(w, pending->start, s->end, z->next_out - pending->length, pending->length);
  pending->length = 0;
}

namespace {

/* t bytes of a stored block, from p straight to the output, through the check. */
__attribute__((always_inline)) inline void StoredOut(InflateBlocks* s, z_stream* z, const uint8_t* p, uint32_t t) {
  memcpy(z->next_out, p, t);
  if (s->checkfn != NULL) s->check = s->checkfn(s->check, p, t);
  z->next_out += t;
  z->avail_out -= t;
  z->total_out += t;
}

int DecodeBlocks(InflateBlocks* s, z_stream* z, int r, FlatHufts& flat) {
  WindowView w;
  w.Bind(s->window);
  const uint8_t* p = z->next_in;
  uint32_t n = z->avail_in;
  const uint32_t offered = n; /* input of this call: what may be given back */
  uint32_t b = s->bitb, k = s->bitk;
  uint32_t q = s->write;
  uint32_t m = q < s->read ? s->read - q - 1 : s->end - q;
  // Bytes sent straight to the output (stored blocks, and codes when the room is large)
  // reach the window only when a window path needs them or the call ends: a run of such
  // blocks then fills it once, not once per block.
  Pending pending = {0, 0};

#define SETTLE_WINDOW SettleWindow(s, z, w, &pending);
#define BLOCK_UPDATE \
  SETTLE_WINDOW      \
  BLOCK_STORE
#define BLOCK_STORE                            \
  s->bitb = b;                                 \
  s->bitk = k;                                 \
  z->total_in += (uint32_t)(p - z->next_in);   \
  z->avail_in = n;                             \
  z->next_in = p;                              \
  s->write = q;
#define BLOCK_LOAD                             \
  p = z->next_in;                              \
  n = z->avail_in;                             \
  b = s->bitb;                                 \
  k = s->bitk;                                 \
  q = s->write;                                \
  m = q < s->read ? s->read - q - 1 : s->end - q;
#define BLOCK_LEAVE                    \
  {                                    \
    BLOCK_UPDATE                       \
    return InflateFlush(s, z, r, w);   \
  }
#define WINDOW_ROOM (q < s->read ? s->read - q - 1 : s->end - q)
#define NEED_BITS(j)                  \
  while (k < (j)) {                   \
    if (n == 0) BLOCK_LEAVE           \
    r = ZResult_Ok;                   \
    n--;                              \
    b |= (uint32_t)(*p++) << k;       \
    k += 8;                           \
  }
#define DUMP_BITS(j) \
  {                  \
    b >>= (j);       \
    k -= (j);        \
  }
#define BAD(text)              \
  {                            \
    s->mode = BlockBad;        \
    z->msg = text;             \
    r = ZResult_DataError;     \
    BLOCK_LEAVE                \
  }

  for (;;) {
    switch (s->mode) {
      case BlockType: {
        NEED_BITS(3)
        uint32_t t = b & 7;
        s->SetLast(t & 1);
        switch (t >> 1) {
          case 0:
            DUMP_BITS(3)
            DUMP_BITS(k & 7)  // to a byte boundary
            s->mode = BlockLens;
            break;
          case 1: {
            uint32_t bl, bd, tl, td;
            HuftArray* fixed;
            GetFixedTrees(&bl, &bd, &tl, &td, &fixed);
            s->sub.codes = InflateCodes::Create(bl, bd, tl, td, fixed, FixedEntries, z);
            if (s->sub.codes == NULL) {
              r = ZResult_MemError;
              BLOCK_LEAVE
            }
            DUMP_BITS(3)
            s->mode = BlockCodes;
            break;
          }
          case 2:
            DUMP_BITS(3)
            s->mode = BlockTable;
            break;
          default:
            DUMP_BITS(3)
            BAD("invalid block type")
        }
        break;
      }
      case BlockLens: {
        // Whole bytes may already sit in the bit buffer (at most three): take the rest.
        NEED_BITS(32)
        uint32_t len = b & 0xFFFF;
        if (((~b) >> 16) != len) BAD("invalid stored block lengths")
        s->sub.left = len;
        b = k = 0;
        s->mode = s->sub.left != 0 ? BlockStored : (s->Last() ? BlockDry : BlockType);
        break;
      }
      case BlockStored: {
        if (n == 0) BLOCK_LEAVE
        if (q == s->read && z->avail_out != 0) {
          // Nothing waits in the window: the bytes go straight to the output, and the
          // window keeps only the last of them, for the distances of later blocks.
          uint32_t t = s->sub.left;
          if (t > n) t = n;
          if (t > z->avail_out) t = z->avail_out;
          StoredOut(s, z, p, t);
          AddPending(&pending, q, t);
          if (q + t >= s->end) s->RaiseKnown(s->end);
          q = (q + t) & (s->end - 1);
          s->read = q;
          m = s->end - q;
          p += t;
          n -= t;
          r = ZResult_Ok;
          if ((s->sub.left -= t) != 0) break;
          s->mode = s->Last() ? BlockDry : BlockType;
          break;
        }
        SETTLE_WINDOW
        if (m == 0) {
          if (q == s->end && s->read != 0) {
            s->RaiseKnown(s->end);
            q = 0;
            m = WINDOW_ROOM;
          }
          if (m == 0) {
            s->write = q;
            r = InflateFlush(s, z, r, w);
            q = s->write;
            m = WINDOW_ROOM;
            if (q == s->end && s->read != 0) {
              s->RaiseKnown(s->end);
              q = 0;
              m = WINDOW_ROOM;
            }
            if (m == 0) BLOCK_LEAVE
          }
        }
        r = ZResult_Ok;
        uint32_t t = s->sub.left;
        if (t > n) t = n;
        if (t > m) t = m;
        for (uint32_t done = 0; done < t;) {
          uint32_t run = WindowChunkBytes - (q & 0xFF);
          if (run > t - done) run = t - done;
          CopyRun(w.At(q), p, run);
          p += run;
          q += run;
          done += run;
        }
        n -= t;
        m -= t;
        if ((s->sub.left -= t) != 0) break;
        s->mode = s->Last() ? BlockDry : BlockType;
        break;
      }
      case BlockTable: {
        NEED_BITS(14)
        uint32_t t = b & 0x3FFF;
        if ((t & 0x1F) > 29 || ((t >> 5) & 0x1F) > 29) BAD("too many length or distance symbols")
        UIntArray* lengths = UIntArray::Create(z, 258 + (t & 0x1F) + ((t >> 5) & 0x1F));
        if (lengths == NULL) {
          r = ZResult_MemError;
          BLOCK_LEAVE
        }
        s->sub.trees.table = t;
        s->sub.trees.lengths = lengths;
        DUMP_BITS(14)
        s->sub.trees.index = 0;
        s->mode = BlockBtree;
      }
        /* fall through */
      case BlockBtree: {
        UIntView lengths;
        lengths.Bind(s->sub.trees.lengths);
        while (s->sub.trees.index < 4 + (s->sub.trees.table >> 10)) {
          NEED_BITS(3)
          lengths[CodeLengthOrder[s->sub.trees.index++]] = b & 7;
          DUMP_BITS(3)
        }
        while (s->sub.trees.index < 19) lengths[CodeLengthOrder[s->sub.trees.index++]] = 0;
        s->sub.trees.bb = 7;
        int t = BuildBitLengthTree(s->sub.trees.lengths, &s->sub.trees.bb, &s->sub.trees.tb, s->hufts, z);
        if (t != ZResult_Ok) {
          // Out of memory keeps the lengths: the caller may call again once memory is
          // there, and the table is built anew from them.
          r = t;
          if (r == ZResult_DataError) {
            ReleaseLengths(s, z);
            s->mode = BlockBad;
          }
          BLOCK_LEAVE
        }
        s->sub.trees.index = 0;
        s->mode = BlockDtree;
      }
        /* fall through */
      case BlockDtree: {
        uint32_t t = s->sub.trees.table;
        const uint32_t total = 258 + (t & 0x1F) + ((t >> 5) & 0x1F);
        const uint32_t bits = s->sub.trees.bb; /* 1 to 7 */
        // The code-length code's table in one piece, and the lengths written one after
        // another: a few hundred codes, each a look-up and a store.
        HuftEntry table[1u << 7];
        {
          HuftView h;
          h.Bind(s->hufts, s->sub.trees.tb + (1u << bits));
          for (uint32_t i = 0; i < (1u << bits); i++) table[i] = h[s->sub.trees.tb + i];
        }
        UIntWriter lengths(s->sub.trees.lengths, s->sub.trees.index < total ? s->sub.trees.index : 0);
        uint32_t previous = s->sub.trees.index != 0 ? *s->sub.trees.lengths->Entry(s->sub.trees.index - 1) : 0;
        while (s->sub.trees.index < total) {
          NEED_BITS(bits)
          const HuftEntry& e = table[b & BitMask(bits)];
          // A slot of an incomplete code-length code reaches no symbol.
          if (e.exop == ExopInvalid || e.base > 18) {
            DUMP_BITS(e.bits)
            ReleaseLengths(s, z);
            BAD("invalid bit length repeat")
          }
          uint32_t used = e.bits, c = e.base;
          if (c < 16) {
            DUMP_BITS(used)
            lengths.Put(c);
            previous = c;
            s->sub.trees.index++;
            continue;
          }
          uint32_t extra = c == 18 ? 7 : c - 14;
          uint32_t repeatBase = c == 18 ? 11 : 3;
          NEED_BITS(used + extra)
          DUMP_BITS(used)
          uint32_t repeat = repeatBase + (b & BitMask(extra));
          DUMP_BITS(extra)
          uint32_t i = s->sub.trees.index;
          if (i + repeat > total || (c == 16 && i < 1)) {
            ReleaseLengths(s, z);
            BAD("invalid bit length repeat")
          }
          if (c != 16) previous = 0;
          s->sub.trees.index = i + repeat;
          do {
            lengths.Put(previous);
          } while (--repeat != 0);
        }
        uint32_t bl = 9, bd = 6, tl, td, used = 0;
        flat.codes = NULL;
        int rc = BuildDynamicTrees(257 + (t & 0x1F), 1 + ((t >> 5) & 0x1F), s->sub.trees.lengths, &bl, &bd, &tl,
                                   &td, &used, flat.entry, z);
        if (rc != ZResult_Ok) {
          if (rc == ZResult_DataError) {
            ReleaseLengths(s, z);
            s->mode = BlockBad;
          }
          r = rc;
          BLOCK_LEAVE
        }
        InflateCodes* codes = InflateCodes::Create(bl, bd, tl, td, s->hufts, used, z);
        if (codes == NULL) {
          r = ZResult_MemError;
          BLOCK_LEAVE
        }
        ReleaseLengths(s, z);
        s->sub.codes = codes;
        flat.codes = codes;
        flat.built = true;
        s->mode = BlockCodes;
      }
        /* fall through */
      case BlockCodes:
        BLOCK_STORE
        r = InflateCodes::Decode(s, z, r, w, &pending, &flat);
        if (r != ZResult_StreamEnd) {
          SETTLE_WINDOW
          return InflateFlush(s, z, r, w);
        }
        r = ZResult_Ok;
        InflateCodes::Destroy(s->sub.codes, z);
        s->sub.codes = NULL;
        flat.codes = NULL;
        BLOCK_LOAD
        if (!s->Last()) {
          s->mode = BlockType;
          break;
        }
        s->mode = BlockDry;
        /* fall through */
      case BlockDry:
        s->write = q;
        r = InflateFlush(s, z, r, w);
        q = s->write;
        m = WINDOW_ROOM;
        if (s->read != s->write) BLOCK_LEAVE
        {
          // The stream's data ends inside the bit buffer: the bits of the last byte are
          // padding, whole bytes past it belong to what follows. Those this call took go
          // back to the input; older ones stay buffered for the trailer.
          DUMP_BITS(k & 7)
          uint32_t taken = offered - n;
          uint32_t back = k >> 3 < taken ? k >> 3 : taken;
          n += back;
          p -= back;
          k -= back << 3;
          b &= BitMask(k);
        }
        s->mode = BlockDone;
        /* fall through */
      case BlockDone:
        r = ZResult_StreamEnd;
        BLOCK_LEAVE
      case BlockBad:
        r = ZResult_DataError;
        BLOCK_LEAVE
      default:
        r = ZResult_StreamError;
        BLOCK_LEAVE
    }
  }
#undef BLOCK_UPDATE
#undef BLOCK_STORE
#undef SETTLE_WINDOW
#undef BLOCK_LOAD
#undef BLOCK_LEAVE
#undef WINDOW_ROOM
#undef NEED_BITS
#undef DUMP_BITS
#undef BAD
}

/* A stored block's bytes straight from the input to the output while nothing waits in the
   window, and into the window afterwards: what the block decoder's stored state does on
   its first pass, without the decoder's frame. Ok (progress was made). */
int StoredStraight(InflateBlocks* s, z_stream* z) {
  uint32_t t = s->sub.left;
  if (t > z->avail_in) t = z->avail_in;
  if (t > z->avail_out) t = z->avail_out;
  StoredOut(s, z, z->next_in, t);
  z->next_in += t;
  z->avail_in -= t;
  z->total_in += t;
  WindowView w;
  w.Bind(s->window);
  const uint32_t q = s->write;
  if (q + t >= s->end) s->RaiseKnown(s->end);
  s->read = s->write = StoreInWindow(w, q, s->end, z->next_out - t, t);
  if ((s->sub.left -= t) == 0) s->mode = s->Last() ? BlockDry : BlockType;
  return ZResult_Ok;
}

/* A call that stops because the output room is used up gives back the whole bytes it
   took and did not use: the caller calls again with more room and offers the rest of its
   input again, so nothing this call took stays in the bit buffer. (A call that stops for
   want of input keeps them: the caller then brings new input, not the old again, and the
   buffered bits all belong to the code or field being read.) So no byte past the end of
   the data is ever held from an earlier call, and the input count at the stream's end
   is exactly the data's length, which a caller needs to find what follows it. (The
   decoding itself, with the plain table array in its frame.) */
__attribute__((noinline)) int DecodeWithTables(InflateBlocks* s, z_stream* z, int r, uint32_t offered, uint32_t room) {
  // Tables built in this call go into the chained blocks only when their block outlives
  // the call: most blocks of small streams begin and end in one call.
  FlatHufts flat;
  r = DecodeBlocks(s, z, r, flat);
  if (flat.built && flat.codes != NULL && s->mode == BlockCodes && s->sub.codes == flat.codes) {
    StorePacked(s->hufts, flat.entry, flat.codes->entries);
  }
  if (z->avail_out == 0) {
    uint32_t taken = offered - z->avail_in;
    uint32_t back = s->bitk >> 3 < taken ? s->bitk >> 3 : taken;
    if (back != 0) {
      z->next_in -= back;
      z->avail_in += back;
      z->total_in -= back;
      s->bitk -= back << 3;
      s->bitb &= BitMask(s->bitk);
    }
    // Called without room, and all it took given back: nothing was possible.
    if (room == 0 && z->avail_in == offered && r == ZResult_Ok) r = ZResult_BufError;
  }
  return r;
}

}  // namespace

int InflateBlocks::Decode(InflateBlocks* s, z_stream* z, int r) {
  // Stored data read in small pieces (the Inflater's 256 bytes in and out) passes here
  // call after call: the copy alone, unless more than the block's bytes remain to be done.
  // A stored block holds no bits in the bit buffer, so nothing is to be given back.
  // offered and room: the input and the room the call came with.
  const uint32_t offered = z->avail_in, room = z->avail_out;
  if (s->mode == BlockStored && s->read == s->write && offered != 0 && room != 0) {
    r = StoredStraight(s, z);
    if (s->mode == BlockStored && z->avail_in == 0) return r;
  }
  return DecodeWithTables(s, z, r, offered, room);
}

}  // namespace puxz
