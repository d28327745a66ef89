/* Huffman trees and block output: symbol counts, length-limited trees, the choice of a
   stored, fixed-code or dynamic-code block, and the bits of each into the pending
   output. The fixed trees and the code tables are constant data made at compile time by
   the rules of RFC 1951 (sections 3.2.5 and 3.2.6). */
#include "deflate_state.h"

#include <string.h>

#include "vmutils.h"

namespace puxz {

namespace {

constexpr int32_t ExtraLBits[LengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int32_t ExtraDBits[DCodes] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int32_t ExtraBLBits[BLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
const uint8_t BLOrder[BLCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t Reverse(uint32_t code, uint32_t len) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < len; i++) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

constexpr CodeTables MakeTables() {
  CodeTables t{};
  // Fixed literal/length codes: 0-143 eight bits from 0x30, 144-255 nine bits from 0x190,
  // 256-279 seven bits from 0, 280-287 eight bits from 0xC0.
  for (uint32_t n = 0; n < LCodes + 2; n++) {
    uint32_t len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    uint32_t code = n < 144 ? 0x30 + n : n < 256 ? 0x190 + (n - 144) : n < 280 ? n - 256 : 0xC0 + (n - 280);
    t.staticLTree[n] = TreeNode{(uint16_t)Reverse(code, len), (uint16_t)len};
  }
  for (uint32_t n = 0; n < DCodes; n++) t.staticDTree[n] = TreeNode{(uint16_t)Reverse(n, 5), 5};
  int32_t length = 0;
  for (uint32_t code = 0; code < LengthCodes - 1; code++) {
    t.baseLength[code] = length;
    for (int32_t i = 0; i < (1 << ExtraLBits[code]); i++) t.lengthCode[length++] = (uint8_t)code;
  }
  // Length 258 (index 255) has a code of its own; its base stays 0, and it has no extra bits.
  t.lengthCode[255] = LengthCodes - 1;
  int32_t dist = 0;
  for (uint32_t code = 0; code < 16; code++) {
    t.baseDist[code] = dist;
    for (int32_t i = 0; i < (1 << ExtraDBits[code]); i++) t.distCode[dist++] = (uint8_t)code;
  }
  // From distance 257 on (dist - 1 >= 256) the table is indexed by (dist - 1) >> 7.
  dist >>= 7;
  for (uint32_t code = 16; code < DCodes; code++) {
    t.baseDist[code] = dist << 7;
    for (int32_t i = 0; i < (1 << (ExtraDBits[code] - 7)); i++) t.distCode[256 + dist++] = (uint8_t)code;
  }
  return t;
}

}  // namespace

constexpr CodeTables DeflateCodes = MakeTables();

namespace {

struct ByteReversal {
  uint8_t of[256];
};

constexpr ByteReversal MakeByteReversal() {
  ByteReversal r{};
  for (uint32_t b = 0; b < 256; b++) r.of[b] = (uint8_t)Reverse(b, 8);
  return r;
}

constexpr ByteReversal Reversed = MakeByteReversal();

/* The low len bits (1 to 15) of code in reverse order, a byte at a time. */
inline uint32_t ReverseCode(uint32_t code, uint32_t len) {
  return ((uint32_t)Reversed.of[code & 0xFF] << 8 | Reversed.of[(code >> 8) & 0xFF]) >> (16 - len);
}

constexpr const CodeTables& T = DeflateCodes;

const StaticTreeDesc StaticLDesc = {T.staticLTree, ExtraLBits, Literals + 1, LCodes, MaxBits};
const StaticTreeDesc StaticDDesc = {T.staticDTree, ExtraDBits, 0, DCodes, MaxBits};
const StaticTreeDesc StaticBLDesc = {NULL, ExtraBLBits, 0, BLCodes, MaxBLBits};

/* The block types of RFC 1951. */
enum : uint32_t { StoredBlockType = 0, StaticTrees = 1, DynamicTrees = 2 };

TreeNode scratchNode;

inline void PutShort(DeflateState* s, uint32_t w) {
  PutByte(s, w & 0xFF);
  PutByte(s, (w >> 8) & 0xFF);
}

/* Bits go out least significant first through a 16-bit buffer. */
inline void SendBits(DeflateState* s, uint32_t value, int32_t length) {
  uint32_t buffer = s->biBuf | (value << s->biValid);
  int32_t valid = s->biValid + length;
  if (valid > 16) {
    PutShort(s, buffer);
    buffer >>= 16;
    valid -= 16;
  }
  s->biBuf = (uint16_t)buffer;
  s->biValid = valid;
}

inline void SendCode(DeflateState* s, const TreeNode& node) { SendBits(s, node.fc, node.dl); }

void BiFlush(DeflateState* s) {
  if (s->biValid == 16) {
    PutShort(s, s->biBuf);
    s->biBuf = 0;
    s->biValid = 0;
  } else if (s->biValid >= 8) {
    PutByte(s, s->biBuf & 0xFF);
    s->biBuf >>= 8;
    s->biValid -= 8;
  }
}

void BiWindup(DeflateState* s) {
  if (s->biValid > 8) {
    PutShort(s, s->biBuf);
  } else if (s->biValid > 0) {
    PutByte(s, s->biBuf & 0xFF);
  }
  s->biBuf = 0;
  s->biValid = 0;
}

/* Tree construction reaches the nodes through one table of chunks. Every index here is
   below the arrays' sizes by construction: nodes below 2 x elements + 1, heap places from
   1 to 572. */
struct Nodes {
  explicit Nodes(ChunkedRecordArray* tree) { tree->Map(chunks); }
  TreeNode& operator[](int32_t n) const { return chunks[n >> 6][n & 0x3F]; }
  TreeNode* chunks[(HeapSize * sizeof(TreeNode) + ChunkBytes - 1) / ChunkBytes];
};

/* A tree is built over plain copies of its nodes, the heap and the depths, read from
   chunked storage at the start and written back at the end: the heap's sifts compare
   nodes on every step, and through the chunk tables each comparison cost four dependent
   look-ups. The arrays end exactly as the same steps over chunked storage leave them.

   A node's frequency and depth are compared as one key, frequency above depth: n is
   smaller than m (a lower frequency, or an equal one and no greater depth) exactly when
   its key is not greater. */
class TreeBuilder {
 public:
  TreeBuilder(DeflateState* state, TreeDesc* d) : s(state), desc(d), records(d->tree->size / sizeof(TreeNode)) {
    if (records > HeapSize) records = HeapSize;
    d->tree->CopyOut(0, tree, records * sizeof(TreeNode));
    s->heap->CopyOut(0, heap, sizeof heap);
    s->depth->CopyOut(0, depth, sizeof depth);
  }
  ~TreeBuilder() {
    desc->tree->CopyIn(0, tree, records * sizeof(TreeNode));
    s->heap->CopyIn(0, heap, sizeof heap);
    s->depth->CopyIn(0, depth, sizeof depth);
    s->heapLen = heapLen;
    s->heapMax = heapMax;
  }
  void Build();

 private:
  uint32_t Key(int32_t n) const { return (uint32_t)tree[n].fc << 8 | depth[n]; }
  void PqDownHeap(int32_t k);
  void GenBitLengths();
  void GenCodes();

  DeflateState* s;
  TreeDesc* desc;
  uint32_t records;
  int32_t heapLen = 0, heapMax = HeapSize;
  uint32_t heapKey[HeapSize]; /* the key of heap[i], for i from 1 to heapLen */
  TreeNode tree[HeapSize];
  int32_t heap[HeapSize];
  uint8_t depth[HeapSize];
};

/* A sift step waits only on the keys of the two children (the keys move beside the
   nodes, so no node's key is looked up on the way), and the smaller child is chosen
   without a branch: between nodes of near-equal frequency (data with no structure) the
   comparison is a coin toss. */
void TreeBuilder::PqDownHeap(int32_t k) {
  const int32_t len = heapLen;
  int32_t v = heap[k];
  uint32_t kv = heapKey[k];
  int32_t j = k << 1;
  while (j <= len) {
    uint32_t kc = heapKey[j];
    if (j < len) {
      uint32_t k2 = heapKey[j + 1];
      bool right = k2 <= kc;
      kc = right ? k2 : kc;
      j += right;
    }
    if (kv <= kc) break;
    heap[k] = heap[j];
    heapKey[k] = kc;
    k = j;
    j <<= 1;
  }
  heap[k] = v;
  heapKey[k] = kv;
}

void TreeBuilder::GenBitLengths() {
  int32_t maxCode = desc->maxCode;
  const TreeNode* stree = desc->statDesc->staticTree;
  const int32_t* extra = desc->statDesc->extraBits;
  int32_t base = desc->statDesc->extraBase;
  int32_t maxLength = desc->statDesc->maxLength;
  int32_t overflow = 0;
  uint16_t* blCount = s->blCount;
  for (int32_t bits = 0; bits <= (int32_t)MaxBits; bits++) blCount[bits] = 0;

  // Lengths from the root down; a node's parent field is replaced by its length.
  tree[heap[heapMax]].dl = 0;
  uint32_t optLen = s->optLen, staticLen = s->staticLen;
  int32_t h;
  for (h = heapMax + 1; h < (int32_t)HeapSize; h++) {
    int32_t n = heap[h];
    int32_t bits = tree[tree[n].dl].dl + 1;
    if (bits > maxLength) {
      bits = maxLength;
      overflow++;
    }
    tree[n].dl = (uint16_t)bits;
    if (n > maxCode) continue;  // not a leaf
    blCount[bits]++;
    int32_t xbits = n >= base ? extra[n - base] : 0;
    uint32_t f = tree[n].fc;
    optLen += f * (uint32_t)(bits + xbits);
    if (stree != NULL) staticLen += f * (uint32_t)(stree[n].dl + xbits);
  }
  s->optLen = optLen;
  s->staticLen = staticLen;
  if (overflow == 0) return;

  // Move leaves down from the too-long lengths: each step turns one leaf at some length
  // into two at the next, making room for an overflowing pair.
  do {
    int32_t bits = maxLength - 1;
    while (blCount[bits] == 0) bits--;
    blCount[bits]--;
    blCount[bits + 1] += 2;
    blCount[maxLength]--;
    overflow -= 2;
  } while (overflow > 0);

  // Give the lengths out again, longest to the least frequent.
  h = HeapSize;
  for (int32_t bits = maxLength; bits != 0; bits--) {
    int32_t n = blCount[bits];
    while (n != 0) {
      int32_t m = heap[--h];
      if (m > maxCode) continue;
      TreeNode& node = tree[m];
      if (node.dl != (uint32_t)bits) {
        s->optLen += (uint32_t)((bits - (int32_t)node.dl) * (int32_t)node.fc);
        node.dl = (uint16_t)bits;
      }
      n--;
    }
  }
}

void TreeBuilder::GenCodes() {
  uint32_t next[MaxBits + 1];
  uint32_t code = 0;
  for (uint32_t bits = 1; bits <= MaxBits; bits++) {
    code = (code + s->blCount[bits - 1]) << 1;
    next[bits] = code;
  }
  for (int32_t n = 0; n <= desc->maxCode; n++) {
    TreeNode& node = tree[n];
    uint32_t len = node.dl;
    if (len == 0) continue;
    node.fc = (uint16_t)ReverseCode(next[len]++, len);
  }
}

void TreeBuilder::Build() {
  const TreeNode* stree = desc->statDesc->staticTree;
  int32_t elems = desc->statDesc->elements;
  int32_t maxCode = -1;
  for (int32_t n = 0; n < elems; n++) {
    if (tree[n].fc != 0) {
      heap[++heapLen] = n;
      maxCode = n;
      depth[n] = 0;
      heapKey[heapLen] = Key(n);
    } else {
      tree[n].dl = 0;
    }
  }
  // Every tree gets at least two codes, even one that holds a single symbol or none.
  while (heapLen < 2) {
    int32_t node = maxCode < 2 ? ++maxCode : 0;
    heap[++heapLen] = node;
    tree[node].fc = 1;
    depth[node] = 0;
    heapKey[heapLen] = Key(node);
    s->optLen--;
    if (stree != NULL) s->staticLen -= stree[node].dl;
  }
  desc->maxCode = maxCode;
  for (int32_t n = heapLen / 2; n >= 1; n--) PqDownHeap(n);

  // Join the two least frequent nodes until one is left; the heap's top end keeps the
  // nodes in the order of their removal, for the lengths.
  int32_t node = elems;
  do {
    int32_t n = heap[1];
    heapKey[1] = heapKey[heapLen];
    heap[1] = heap[heapLen--];
    PqDownHeap(1);
    int32_t m = heap[1];
    heap[--heapMax] = n;
    heap[--heapMax] = m;
    tree[node].fc = (uint16_t)(tree[n].fc + tree[m].fc);
    uint32_t dn = depth[n], dm = depth[m];
    depth[node] = (uint8_t)((dn >= dm ? dn : dm) + 1);  // a byte, as the tie-break expects
    tree[n].dl = tree[m].dl = (uint16_t)node;
    heapKey[1] = Key(node);
    heap[1] = node++;
    PqDownHeap(1);
  } while (heapLen >= 2);
  heap[--heapMax] = heap[1];

  GenBitLengths();
  GenCodes();
}

/* The run-length structure of a tree's code lengths: ScanTree counts it into the
   bit-length tree, SendTree sends it. */
template <bool Send>
void WalkTree(DeflateState* s, ChunkedRecordArray* codes, int32_t maxCode) {
  Nodes tree(codes);
  Nodes bl(s->blTree);
  int32_t prevLen = -1;
  int32_t nextLen = tree[0].dl;
  int32_t count = 0;
  int32_t maxCount = 7, minCount = 4;
  if (nextLen == 0) {
    maxCount = 138;
    minCount = 3;
  }
  if (!Send) tree[maxCode + 1].dl = 0xFFFF;  // guard
  for (int32_t n = 0; n <= maxCode; n++) {
    int32_t curLen = nextLen;
    nextLen = tree[n + 1].dl;
    if (++count < maxCount && curLen == nextLen) continue;
    if (count < minCount) {
      if (Send) {
        do SendCode(s, bl[curLen]);
        while (--count != 0);
      } else {
        bl[curLen].fc = (uint16_t)(bl[curLen].fc + count);
      }
    } else if (curLen != 0) {
      if (curLen != prevLen) {
        if (Send) SendCode(s, bl[curLen]);
        else bl[curLen].fc++;
        count--;
      }
      if (Send) {
        SendCode(s, bl[Rep3To6]);
        SendBits(s, (uint32_t)(count - 3), 2);
      } else {
        bl[Rep3To6].fc++;
      }
    } else if (count <= 10) {
      if (Send) {
        SendCode(s, bl[RepZero3To10]);
        SendBits(s, (uint32_t)(count - 3), 3);
      } else {
        bl[RepZero3To10].fc++;
      }
    } else {
      if (Send) {
        SendCode(s, bl[RepZero11To138]);
        SendBits(s, (uint32_t)(count - 11), 7);
      } else {
        bl[RepZero11To138].fc++;
      }
    }
    count = 0;
    prevLen = curLen;
    if (nextLen == 0) {
      maxCount = 138;
      minCount = 3;
    } else if (curLen == nextLen) {
      maxCount = 6;
      minCount = 3;
    } else {
      maxCount = 7;
      minCount = 4;
    }
  }
}

int32_t BuildBlTree(DeflateState* s) {
  WalkTree<false>(s, s->dynLTree, s->lDesc.maxCode);
  WalkTree<false>(s, s->dynDTree, s->dDesc.maxCode);
  BuildTree(s, &s->blDesc);
  int32_t maxBlIndex;
  for (maxBlIndex = BLCodes - 1; maxBlIndex >= 3; maxBlIndex--) {
    if (Node(s->blTree, BLOrder[maxBlIndex]).dl != 0) break;
  }
  s->optLen += 3 * ((uint32_t)maxBlIndex + 1) + 5 + 5 + 4;
  return maxBlIndex;
}

void SendAllTrees(DeflateState* s, int32_t lcodes, int32_t dcodes, int32_t blcodes) {
  SendBits(s, (uint32_t)(lcodes - 257), 5);
  SendBits(s, (uint32_t)(dcodes - 1), 5);
  SendBits(s, (uint32_t)(blcodes - 4), 4);
  for (int32_t rank = 0; rank < blcodes; rank++) SendBits(s, Node(s->blTree, BLOrder[rank]).dl, 3);
  WalkTree<true>(s, s->dynLTree, lcodes - 1);
  WalkTree<true>(s, s->dynDTree, dcodes - 1);
}

/* Where a block's coded bytes gather before they go to the pending output's chunks:
   whole 16-bit units of the bit buffer are stored with no check of room per byte, and
   the caller drains the buffer in runs when it is nearly full and at the end. */
class BlockBytes {
 public:
  enum : uint32_t { Fill = 1024, Slack = 16 };
  explicit BlockBytes(DeflateState* state) : s(state), pos(state->pendingOut + (uint32_t)state->pending) {}
  uint8_t* Start() { return bytes; }
  const uint8_t* Limit() const { return bytes + Fill; }
  /* Moves the bytes before p out; where the next ones go. */
  uint8_t* Drain(uint8_t* p) {
    uint32_t n = (uint32_t)(p - bytes);
    uint32_t fits = pos < s->pendingBuf->size ? s->pendingBuf->size - pos : 0;
    if (fits > n) fits = n;
    s->pendingBuf->CopyIn(pos, bytes, fits);
    for (uint32_t i = fits; i < n; i++) ChunkedArray::CountDroppedWrite();  // never at these sizes
    pos += n;
    s->pending = (int32_t)(pos - s->pendingOut);
    return bytes;
  }

 private:
  DeflateState* s;
  uint32_t pos;
  uint8_t bytes[Fill + Slack];
};

/* The length symbol and extra bits of each match length - 3, and the extra bits and base
   of each distance code: every token then sends its extra bits unconditionally (zero
   bits of value 0 where a code has none), with no branch on the code. */
struct TokenTables {
  struct Length {
    uint16_t symbol;
    uint8_t extraBits;
    uint8_t extra;
  } length[256];
  struct Distance {
    uint16_t base;
    uint8_t extraBits;
  } distance[DCodes];
};

constexpr TokenTables MakeTokenTables() {
  TokenTables t{};
  for (uint32_t lc = 0; lc < 256; lc++) {
    uint32_t code = DeflateCodes.lengthCode[lc];
    uint32_t bits = (uint32_t)ExtraLBits[code];
    t.length[lc] = {(uint16_t)(code + Literals + 1), (uint8_t)bits,
                    (uint8_t)(bits != 0 ? lc - (uint32_t)DeflateCodes.baseLength[code] : 0)};
  }
  for (uint32_t code = 0; code < DCodes; code++) {
    t.distance[code] = {(uint16_t)DeflateCodes.baseDist[code], (uint8_t)ExtraDBits[code]};
  }
  return t;
}

constexpr TokenTables Tokens = MakeTokenTables();

/* The bits of a block go out least significant first through a 32-bit buffer kept in a
   local (no store through the byte pointer can reach it), 16 bits at a time, exactly as
   SendBits would send them. */
#define BLOCK_BITS(value, length)           \
  do {                                      \
    buffer |= (uint32_t)(value) << valid;   \
    valid += (int32_t)(length);             \
    if (valid > 16) {                       \
      p[0] = (uint8_t)buffer;               \
      p[1] = (uint8_t)(buffer >> 8);        \
      p += 2;                               \
      buffer >>= 16;                        \
      valid -= 16;                          \
    }                                       \
  } while (0)

/* The recorded literals and matches with the given codes, then the end of the block. A
   token is at most 48 bits, so one check of room per token keeps the stores within the
   buffer's slack. */
void CompressBlock(DeflateState* s, const TreeNode* ltree, const TreeNode* dtree) {
  BlockBytes out(s);
  uint8_t* p = out.Start();
  uint32_t buffer = s->biBuf;
  int32_t valid = s->biValid;
  // lBuf and dBuf are walked a run of 128 entries at a time (one chunk of dBuf, half a
  // chunk of lBuf).
  const uint32_t lastLit = s->lastLit;
  for (uint32_t first = 0; first < lastLit; first += ChunkBytes / 2) {
    uint32_t n = lastLit - first < ChunkBytes / 2 ? lastLit - first : ChunkBytes / 2;
    const uint16_t* dists = reinterpret_cast<const uint16_t*>(s->dBuf->Address(first * 2));
    const uint8_t* lengths = s->lBuf->Address(first);
    for (uint32_t i = 0; i < n; i++) {
      if (__builtin_expect(p >= out.Limit(), 0)) p = out.Drain(p);
      uint32_t dist = dists[i];
      uint32_t lc = lengths[i];
      if (dist == 0) {
        BLOCK_BITS(ltree[lc].fc, ltree[lc].dl);
        continue;
      }
      const TokenTables::Length& length = Tokens.length[lc];
      BLOCK_BITS(ltree[length.symbol].fc, ltree[length.symbol].dl);
      BLOCK_BITS(length.extra, length.extraBits);
      dist--;
      uint32_t code = DCode(dist);
      BLOCK_BITS(dtree[code].fc, dtree[code].dl);
      BLOCK_BITS(dist - Tokens.distance[code].base, Tokens.distance[code].extraBits);
    }
  }
  BLOCK_BITS(ltree[EndBlock].fc, ltree[EndBlock].dl);
  out.Drain(p);
  s->biBuf = (uint16_t)buffer;
  s->biValid = valid;
  s->lastEobLen = ltree[EndBlock].dl;
}

#undef BLOCK_BITS

/* The dynamic trees as plain arrays for the length of one block's output. */
void CopyCodes(ChunkedRecordArray* tree, int32_t count, TreeNode* to) {
  tree->CopyOut(0, to, (uint32_t)count * sizeof(TreeNode));
}

/* The frequencies of symbols 0 to count - 1 of a tree, chunk by chunk. */
void ClearFrequencies(ChunkedRecordArray* tree, uint32_t count) {
  for (uint32_t first = 0; first < count;) {
    uint32_t run;
    TreeNode* nodes = reinterpret_cast<TreeNode*>(tree->Run(first * sizeof(TreeNode), &run));
    uint32_t n = run / sizeof(TreeNode) < count - first ? run / sizeof(TreeNode) : count - first;
    for (uint32_t i = 0; i < n; i++) nodes[i].fc = 0;
    first += n;
  }
}

}  // namespace

void BuildTree(DeflateState* s, TreeDesc* desc) { TreeBuilder(s, desc).Build(); }

TreeNode& NodeOutOfRange() {
  ChunkedArray::CountDroppedWrite();
  return scratchNode;
}

void InitTrees(DeflateState* s) {
  s->lDesc.tree = s->dynLTree;
  s->lDesc.statDesc = &StaticLDesc;
  s->dDesc.tree = s->dynDTree;
  s->dDesc.statDesc = &StaticDDesc;
  s->blDesc.tree = s->blTree;
  s->blDesc.statDesc = &StaticBLDesc;
  s->biBuf = 0;
  s->biValid = 0;
  s->lastEobLen = 8;
  InitBlock(s);
}

void InitBlock(DeflateState* s) {
  ClearFrequencies(s->dynLTree, LCodes);
  ClearFrequencies(s->dynDTree, DCodes);
  ClearFrequencies(s->blTree, BLCodes);
  Node(s->dynLTree, EndBlock).fc = 1;
  s->optLen = s->staticLen = 0;
  s->lastLit = s->matches = 0;
}

void StoredBlock(DeflateState* s, ChunkedArray* window, uint32_t offset, uint32_t len, int last) {
  VM_ASSERT(len <= 0xFFFF);
  SendBits(s, (StoredBlockType << 1) + (uint32_t)last, 3);
  BiWindup(s);
  s->lastEobLen = 8;
  PutShort(s, len);
  PutShort(s, ~len & 0xFFFF);
  if (len == 0) return;  // the empty block of a flush has no window
  uint32_t to = s->pendingOut + (uint32_t)s->pending;
  if (offset + len > window->size || to + len > s->pendingBuf->size) {
    for (uint32_t i = 0; i < len; i++) PutByte(s, window->GetByte(offset + i));  // never at these sizes
    return;
  }
  for (uint32_t done = 0; done < len;) {
    uint32_t roomFrom, roomTo;
    const uint8_t* from = window->Run(offset + done, &roomFrom);
    uint8_t* into = s->pendingBuf->Run(to + done, &roomTo);
    uint32_t n = roomFrom < roomTo ? roomFrom : roomTo;
    if (n > len - done) n = len - done;
    ChunkCopy(into, from, n);
    done += n;
  }
  s->pending += (int32_t)len;
}

void AlignBlock(DeflateState* s) {
  const TreeNode& eob = T.staticLTree[EndBlock];
  SendBits(s, StaticTrees << 1, 3);
  SendCode(s, eob);
  BiFlush(s);
  // The decoder needs 10 bits of look-ahead past the end of the previous block's last
  // code: when this empty block did not supply them, a second one does.
  if (1 + s->lastEobLen + 10 - s->biValid < 9) {
    SendBits(s, StaticTrees << 1, 3);
    SendCode(s, eob);
    BiFlush(s);
  }
  s->lastEobLen = 7;
}

void FlushBlock(DeflateState* s, ChunkedArray* window, uint32_t offset, uint32_t storedLen, int last) {
  uint32_t optBytes, staticBytes;
  int32_t maxBlIndex = 0;
  if (s->level > 0) {
    BuildTree(s, &s->lDesc);
    BuildTree(s, &s->dDesc);
    maxBlIndex = BuildBlTree(s);
    optBytes = (s->optLen + 3 + 7) >> 3;
    staticBytes = (s->staticLen + 3 + 7) >> 3;
    if (staticBytes <= optBytes) optBytes = staticBytes;
  } else {
    optBytes = staticBytes = storedLen + 5;
  }
  if (storedLen + 4 <= optBytes && window != NULL) {
    StoredBlock(s, window, offset, storedLen, last);
  } else if (staticBytes == optBytes) {
    SendBits(s, (StaticTrees << 1) + (uint32_t)last, 3);
    CompressBlock(s, T.staticLTree, T.staticDTree);
  } else {
    SendBits(s, (DynamicTrees << 1) + (uint32_t)last, 3);
    SendAllTrees(s, s->lDesc.maxCode + 1, s->dDesc.maxCode + 1, maxBlIndex + 1);
    TreeNode ltree[LCodes + 2];
    TreeNode dtree[DCodes];
    CopyCodes(s->dynLTree, LCodes, ltree);
    CopyCodes(s->dynDTree, DCodes, dtree);
    CompressBlock(s, ltree, dtree);
  }
  InitBlock(s);
  if (last) BiWindup(s);
}

}  // namespace puxz
