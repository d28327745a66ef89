/* The deflate engine's state and what its three parts (stream interface and wrapper,
   Huffman trees and block output, string matching and strategies) share. */
#ifndef PUX_COMPRESS_DEFLATE_STATE_H
#define PUX_COMPRESS_DEFLATE_STATE_H

#include "chunkedarray.h"
#include "deflate.h"

namespace puxz {

enum : uint32_t {
  MinMatch = 3,
  MaxMatch = 258,
  MinLookahead = MaxMatch + MinMatch + 1, /* 262 */
  TooFar = 4096,
  MaxLitBufSize = 1 << (8 + 6), /* memLevel 8: the 9th needs arrays beyond chunked storage */                          /* a 3-byte match farther back is not worth it */
  LengthCodes = 29,
  Literals = 256,
  LCodes = Literals + 1 + LengthCodes, /* 286 */
  DCodes = 30,
  BLCodes = 19,
  HeapSize = 2 * LCodes + 1, /* 573 */
  MaxBits = 15,
  MaxBLBits = 7,
  EndBlock = 256,
  Rep3To6 = 16,
  RepZero3To10 = 17,
  RepZero11To138 = 18
};

enum : int32_t { StatusInit = 42, StatusBusy = 113, StatusFinish = 666 };

/* Results of the strategy functions. */
enum : int { NeedMore = 0, BlockDone = 1, FinishStarted = 2, FinishDone = 3 };

/* freq|code and dad|len. */
struct TreeNode {
  uint16_t fc;
  uint16_t dl;
};

struct StaticTreeDesc {
  const TreeNode* staticTree; /* null for the bit-length tree */
  const int32_t* extraBits;
  int32_t extraBase;
  int32_t elements;
  int32_t maxLength;
};

struct TreeDesc {
  ChunkedRecordArray* tree;
  int32_t maxCode;
  const StaticTreeDesc* statDesc;
};

struct DeflateState;
typedef int (*StrategyFunction)(DeflateState* s, int flush);

struct DeflateConfig {
  uint16_t goodLength;
  uint16_t maxLazy;
  uint16_t niceLength;
  uint16_t maxChain;
  StrategyFunction function;
};
extern const DeflateConfig DeflateConfigTable[10];

struct DeflateState {
  z_stream* stream;
  int32_t status;
  ChunkedArray* pendingBuf;
  uint32_t pendingOut;
  int32_t pending;
  int32_t noHeader; /* 0 wrapped, 1 raw, -1 once the trailer is written */
  uint8_t dataType;
  uint8_t method;
  int32_t lastFlush;
  uint32_t wSize;
  uint32_t wBits;
  uint32_t wMask;
  ChunkedArray* window;
  uint32_t windowSize;
  ChunkedArray* prev;
  ChunkedArray* head;
  uint32_t insH;
  uint32_t hashSize;
  uint32_t hashBits;
  uint32_t hashMask;
  uint32_t hashShift;
  int32_t blockStart;
  uint32_t matchLength;
  uint32_t prevMatch;
  int32_t matchAvailable;
  uint32_t strStart;
  uint32_t matchStart;
  uint32_t lookahead;
  uint32_t prevLength;
  uint32_t maxChainLength;
  uint32_t maxLazyMatch;
  int32_t level;
  int32_t strategy;
  uint32_t goodMatch;
  int32_t niceMatch;
  ChunkedRecordArray* dynLTree;
  ChunkedRecordArray* dynDTree;
  ChunkedRecordArray* blTree;
  TreeDesc lDesc;
  TreeDesc dDesc;
  TreeDesc blDesc;
  uint16_t* blCount; /* 16 counts, from zalloc */
  ChunkedArray* heap;
  int32_t heapLen;
  int32_t heapMax;
  ChunkedArray* depth;
  ChunkedArray* lBuf;
  uint32_t litBufSize;
  uint32_t lastLit;
  ChunkedArray* dBuf;
  uint32_t optLen;
  uint32_t staticLen;
  uint32_t matches;
  int32_t lastEobLen;
  uint16_t biBuf;
  int32_t biValid;
};

static_assert(sizeof(void*) != 4 || sizeof(DeflateState) == 244, "the deflate state is 244 bytes");
static_assert(sizeof(DeflateState) <= 256, "no pool request exceeds 256 bytes");

/* ---- stream interface (deflate.cpp) ---- */
void FlushPending(z_stream* strm);
inline void PutByte(DeflateState* s, uint32_t c) {
  s->pendingBuf->SetByte(s->pendingOut + (uint32_t)s->pending, c);
  s->pending++;
}
/* Takes up to size input bytes into the window at offset; the count taken. */
uint32_t ReadBuf(z_stream* strm, ChunkedArray* window, uint32_t offset, uint32_t size);

/* ---- trees and block output (deflate_trees.cpp) ---- */
/* The fixed trees and code tables, made at compile time. */
struct CodeTables {
  TreeNode staticLTree[LCodes + 2];
  TreeNode staticDTree[DCodes];
  int32_t baseLength[LengthCodes];
  int32_t baseDist[DCodes];
  uint8_t lengthCode[256];  /* match length - 3 -> length code */
  uint8_t distCode[512];    /* see DCode */
};
extern const CodeTables DeflateCodes;
/* The distance code of dist - 1: table entry d below 256, else 256 + (d >> 7). */
inline uint32_t DCode(uint32_t d) {
  return d < 256 ? DeflateCodes.distCode[d] : DeflateCodes.distCode[256 + (d >> 7)];
}
void InitTrees(DeflateState* s);
void InitBlock(DeflateState* s);
/* window null: no stored block possible. */
void FlushBlock(DeflateState* s, ChunkedArray* window, uint32_t offset, uint32_t storedLen, int last);
void StoredBlock(DeflateState* s, ChunkedArray* window, uint32_t offset, uint32_t len, int last);
void AlignBlock(DeflateState* s);
/* Builds the code of a tree from its frequencies (lengths limited, codes assigned) and
   adds the tree's cost to optLen and staticLen. */
void BuildTree(DeflateState* s, TreeDesc* desc);
/* The node of a tree; out-of-range indexes reach a scratch node, never memory outside. */
TreeNode& NodeOutOfRange();
inline TreeNode& Node(ChunkedRecordArray* tree, uint32_t i) {
  uint8_t* record = tree->Record(i);
  return record != NULL ? *reinterpret_cast<TreeNode*>(record) : NodeOutOfRange();
}

/* ---- matching and strategies (deflate_match.cpp) ---- */
void InitMatcher(DeflateState* s);
void FillWindow(DeflateState* s);
/* For the string at strStart, as a step of a strategy sees it (cur below strStart). */
uint32_t LongestMatch(DeflateState* s, uint32_t cur);
int DeflateStored(DeflateState* s, int flush);
int DeflateFast(DeflateState* s, int flush);
int DeflateSlow(DeflateState* s, int flush);
void FlushBlockOnly(DeflateState* s, int last);
/* True when the literal buffer is full (then nothing more is taken until a flush). */
bool TallyLiteral(DeflateState* s, uint32_t c);
bool TallyMatch(DeflateState* s, uint32_t dist, uint32_t lc);
/* Clears every head entry (reset, full flush). */
void ClearHeads(DeflateState* s);

}  // namespace puxz

#endif
