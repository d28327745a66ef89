/* The deflate engine's stream interface: initialisation, the RFC 1950 wrapper, output
   buffering, reset, parameters, dictionary, copy and end. */
#include <string.h>

#include "deflate_state.h"
#include "zchecksum.h"

namespace puxz {

const DeflateConfig DeflateConfigTable[10] = {
    {0, 0, 0, 0, DeflateStored},          {4, 4, 8, 4, DeflateFast},
    {4, 5, 16, 8, DeflateFast},           {4, 6, 32, 32, DeflateFast},
    {4, 4, 16, 16, DeflateSlow},          {8, 16, 32, 32, DeflateSlow},
    {8, 16, 128, 128, DeflateSlow},       {8, 32, 128, 256, DeflateSlow},
    {32, 128, 258, 1024, DeflateSlow},    {32, 258, 258, 4096, DeflateSlow}};

namespace {

enum : uint32_t { StateBytes = sizeof(DeflateState), TreeRecordBytes = sizeof(TreeNode) };

void PutShortMSB(DeflateState* s, uint32_t b) {
  PutByte(s, (b >> 8) & 0xFF);
  PutByte(s, b & 0xFF);
}

/* Every array and table a state holds goes back; the fields are cleared so that a
   half-made or half-copied state can be released the same way. */
void ReleaseStorage(z_stream* strm, DeflateState* s) {
  ChunkedArray** arrays[] = {&s->pendingBuf, &s->dBuf, &s->lBuf, &s->head, &s->prev, &s->window,
                             reinterpret_cast<ChunkedArray**>(&s->dynLTree),
                             reinterpret_cast<ChunkedArray**>(&s->dynDTree),
                             reinterpret_cast<ChunkedArray**>(&s->blTree), &s->heap, &s->depth};
  for (ChunkedArray** a : arrays) {
    ChunkedArray::Destroy(*a);
    *a = NULL;
  }
  if (s->blCount != NULL) strm->zfree(strm->opaque, s->blCount);
  s->blCount = NULL;
}

/* The tree arrays, counts, heap and depth of a state; false when any is missing. */
bool CreateTreeStorage(z_stream* strm, DeflateState* s) {
  s->dynLTree = ChunkedRecordArray::Create(HeapSize, TreeRecordBytes);
  s->dynDTree = ChunkedRecordArray::Create(2 * DCodes + 1, TreeRecordBytes);
  s->blTree = ChunkedRecordArray::Create(2 * BLCodes + 1, TreeRecordBytes);
  s->blCount = static_cast<uint16_t*>(strm->zalloc(strm->opaque, MaxBits + 1, sizeof(uint16_t)));
  s->heap = ChunkedArray::CreateInts(HeapSize);
  s->depth = ChunkedArray::Create(HeapSize);
  return s->dynLTree != NULL && s->dynDTree != NULL && s->blTree != NULL && s->blCount != NULL &&
         s->heap != NULL && s->depth != NULL;
}

/* The window, chains, heads and buffers; false when any is missing. */
bool CreateWindowStorage(DeflateState* s) {
  s->window = ChunkedArray::Create(2 * s->wSize);
  s->prev = ChunkedArray::CreateShorts(s->wSize);
  s->head = ChunkedArray::CreateShorts(s->hashSize);
  s->pendingBuf = ChunkedArray::Create(s->litBufSize * 4);
  s->dBuf = ChunkedArray::CreateShorts(s->litBufSize);
  s->lBuf = ChunkedArray::Create(s->litBufSize);
  return s->window != NULL && s->prev != NULL && s->head != NULL && s->pendingBuf != NULL &&
         s->dBuf != NULL && s->lBuf != NULL;
}

void BindTrees(DeflateState* s) {
  s->lDesc.tree = s->dynLTree;
  s->dDesc.tree = s->dynDTree;
  s->blDesc.tree = s->blTree;
}

void CopyArray(ChunkedArray* to, const ChunkedArray* from) {
  for (uint32_t o = 0; o < from->size; o += ChunkBytes) {
    uint32_t n = from->size - o < ChunkBytes ? from->size - o : ChunkBytes;
    memcpy(to->Address(o), from->Address(o), n);
  }
}

/* Nothing is waiting to be emitted: no input held in the window, no open block, no
   held literal. A change of strategy function is safe only then. */
bool Drained(const z_stream* strm, const DeflateState* s) {
  return strm->avail_in == 0 && s->lookahead == 0 && s->blockStart == (int32_t)s->strStart &&
         s->matchAvailable == 0 && s->lastLit == 0;
}

}  // namespace

void FlushPending(z_stream* strm) {
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  uint32_t n = (uint32_t)s->pending < strm->avail_out ? (uint32_t)s->pending : strm->avail_out;
  if (n == 0) return;
  uint32_t from = s->pendingOut;
  for (uint32_t left = n; left != 0;) {
    uint32_t run;
    if (from >= s->pendingBuf->size) {  // bytes that were dropped read as 0 (never at these sizes)
      run = left;
      memset(strm->next_out, 0, run);
    } else {
      const uint8_t* chunk = s->pendingBuf->Run(from, &run);
      if (run > left) run = left;
      ChunkCopy(strm->next_out, chunk, run);
    }
    strm->next_out += run;
    from += run;
    left -= run;
  }
  strm->total_out += n;
  strm->avail_out -= n;
  s->pendingOut += n;
  s->pending -= (int32_t)n;
  if (s->pending == 0) s->pendingOut = 0;
}

uint32_t ReadBuf(z_stream* strm, ChunkedArray* window, uint32_t offset, uint32_t size) {
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  uint32_t n = strm->avail_in < size ? strm->avail_in : size;
  if (n == 0) return 0;
  strm->avail_in -= n;
  if (s->noHeader == 0) strm->adler = Adler32(strm->adler, strm->next_in, n);
  // The engine never asks for bytes past the window; any such bytes would be dropped.
  uint32_t fits = offset < window->size ? window->size - offset : 0;
  if (fits < n) {
    for (uint32_t i = fits; i < n; i++) window->SetByte(offset + i, strm->next_in[i]);
  }
  window->CopyIn(offset, strm->next_in, fits < n ? fits : n);
  strm->next_in += n;
  strm->total_in += n;
  return n;
}

int deflateInit_(z_stream* strm, int level, const char* version, int streamSize) {
  return deflateInit2_(strm, level, ZMethod_Deflated, 15, 8, ZStrategy_Default, version, streamSize);
}

int deflateInit2_(z_stream* strm, int level, int method, int windowBits, int memLevel, int strategy,
                  const char* version, int streamSize) {
  if (version == NULL || version[0] != '1' || streamSize != ZStreamSize) return ZResult_VersionError;
  if (strm == NULL) return ZResult_StreamError;
  strm->msg = NULL;
  if (strm->zalloc == NULL) {
    strm->zalloc = zcalloc;
    strm->opaque = NULL;
  }
  if (strm->zfree == NULL) strm->zfree = zcfree;
  if (level == -1) level = 6;
  int noHeader = 0;
  if (windowBits < 0 && windowBits >= -15) {
    noHeader = 1;
    windowBits = -windowBits;
  }
  // Window bits 8 cannot work: the greatest distance (wSize - 262) would be negative and
  // the first slide would move strStart below 0.
  if (memLevel < 1 || memLevel > 9 || method != ZMethod_Deflated || windowBits < 9 || windowBits > 15 ||
      level < 0 || level > 9 || strategy < 0 || strategy > ZStrategy_HuffmanOnly) {
    return ZResult_StreamError;
  }
  DeflateState* s = static_cast<DeflateState*>(strm->zalloc(strm->opaque, 1, StateBytes));
  if (s == NULL) return ZResult_MemError;
  memset(s, 0, StateBytes);
  if (!CreateTreeStorage(strm, s)) {
    ReleaseStorage(strm, s);
    strm->zfree(strm->opaque, s);
    return ZResult_MemError;
  }
  strm->state = s;
  s->stream = strm;
  s->noHeader = noHeader;
  s->wBits = (uint32_t)windowBits;
  s->wSize = 1u << s->wBits;
  s->wMask = s->wSize - 1;
  s->hashBits = (uint32_t)memLevel + 7;
  s->hashSize = 1u << s->hashBits;
  s->hashMask = s->hashSize - 1;
  s->hashShift = (s->hashBits + MinMatch - 1) / MinMatch;
  s->litBufSize = 1u << (memLevel + 6);
  // A failure here releases everything itself: deflateEnd would refuse a state whose
  // status is not yet set, and leave it all in the pool.
  if (!CreateWindowStorage(s)) {
    strm->msg = ZMessage(ZResult_MemError);
    ReleaseStorage(strm, s);
    strm->zfree(strm->opaque, s);
    strm->state = NULL;
    return ZResult_MemError;
  }
  s->level = level;
  s->strategy = strategy;
  s->method = (uint8_t)method;
  return deflateReset(strm);
}

int deflateReset(z_stream* strm) {
  if (strm == NULL || strm->state == NULL || strm->zalloc == NULL || strm->zfree == NULL) {
    return ZResult_StreamError;
  }
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  strm->total_in = strm->total_out = 0;
  strm->msg = NULL;
  strm->data_type = 2;
  s->pending = 0;
  s->pendingOut = 0;
  if (s->noHeader < 0) s->noHeader = 0;
  s->status = s->noHeader != 0 ? StatusBusy : StatusInit;
  strm->adler = 1;
  s->lastFlush = ZFlush_None;
  InitTrees(s);
  InitMatcher(s);
  return ZResult_Ok;
}

int deflate(z_stream* strm, int flush) {
  if (strm == NULL || strm->state == NULL || flush > ZFlush_Finish || flush < 0) return ZResult_StreamError;
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  if (strm->next_out == NULL || (strm->next_in == NULL && strm->avail_in != 0) ||
      (s->status == StatusFinish && flush != ZFlush_Finish)) {
    strm->msg = ZMessage(ZResult_StreamError);
    return ZResult_StreamError;
  }
  if (strm->avail_out == 0) {
    strm->msg = ZMessage(ZResult_BufError);
    return ZResult_BufError;
  }
  s->stream = strm;
  int oldFlush = s->lastFlush;
  s->lastFlush = flush;

  if (s->status == StatusInit) {
    uint32_t header = (ZMethod_Deflated + ((s->wBits - 8) << 4)) << 8;
    int32_t levelFlags = (s->level - 1) >> 1;
    if (levelFlags < 0 || levelFlags > 3) levelFlags = 3;
    header |= (uint32_t)levelFlags << 6;
    if (s->strStart != 0) header |= 0x20;  // a preset dictionary
    header += 31 - (header % 31);
    s->status = StatusBusy;
    PutShortMSB(s, header);
    if (s->strStart != 0) {
      PutShortMSB(s, strm->adler >> 16);
      PutShortMSB(s, strm->adler & 0xFFFF);
    }
    strm->adler = 1;
  }

  if (s->pending != 0) {
    FlushPending(strm);
    if (strm->avail_out == 0) {
      s->lastFlush = -1;
      return ZResult_Ok;
    }
  } else if (strm->avail_in == 0 && flush <= oldFlush && flush != ZFlush_Finish) {
    strm->msg = ZMessage(ZResult_BufError);
    return ZResult_BufError;
  }
  if (s->status == StatusFinish && strm->avail_in != 0) {
    strm->msg = ZMessage(ZResult_BufError);
    return ZResult_BufError;
  }

  if (strm->avail_in != 0 || s->lookahead != 0 || (flush != ZFlush_None && s->status != StatusFinish)) {
    int bstate = DeflateConfigTable[s->level].function(s, flush);
    if (bstate == FinishStarted || bstate == FinishDone) s->status = StatusFinish;
    if (bstate == NeedMore || bstate == FinishStarted) {
      if (strm->avail_out == 0) s->lastFlush = -1;
      return ZResult_Ok;
    }
    if (bstate == BlockDone) {
      if (flush == ZFlush_Partial) {
        AlignBlock(s);
      } else {
        StoredBlock(s, NULL, 0, 0, 0);
        if (flush == ZFlush_Full) ClearHeads(s);
      }
      FlushPending(strm);
      if (strm->avail_out == 0) {
        s->lastFlush = -1;
        return ZResult_Ok;
      }
    }
  }

  if (flush != ZFlush_Finish) return ZResult_Ok;
  if (s->noHeader != 0) return ZResult_StreamEnd;
  PutShortMSB(s, strm->adler >> 16);
  PutShortMSB(s, strm->adler & 0xFFFF);
  FlushPending(strm);
  s->noHeader = -1;
  return s->pending != 0 ? ZResult_Ok : ZResult_StreamEnd;
}

int deflateParams(z_stream* strm, int level, int strategy) {
  if (strm == NULL || strm->state == NULL) return ZResult_StreamError;
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  if (level == -1) level = 6;
  if (level < 0 || level > 9 || strategy < 0 || strategy > ZStrategy_HuffmanOnly) return ZResult_StreamError;
  int result = ZResult_Ok;
  if (DeflateConfigTable[s->level].function != DeflateConfigTable[level].function && strm->total_in != 0 &&
      !Drained(strm, s)) {
    // Bytes counted into an open block or a held literal would never be emitted under
    // the other strategy function: switch only once the flush has taken everything.
    result = deflate(strm, ZFlush_Partial);
    if (result != ZResult_Ok || !Drained(strm, s)) return result != ZResult_Ok ? result : ZResult_BufError;
  }
  if (s->level != level) {
    s->level = level;
    s->maxLazyMatch = DeflateConfigTable[level].maxLazy;
    s->goodMatch = DeflateConfigTable[level].goodLength;
    s->niceMatch = DeflateConfigTable[level].niceLength;
    s->maxChainLength = DeflateConfigTable[level].maxChain;
  }
  s->strategy = strategy;
  return result;
}

int deflateSetDictionary(z_stream* strm, const uint8_t* dictionary, uint32_t length) {
  if (strm == NULL || strm->state == NULL || dictionary == NULL) return ZResult_StreamError;
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  if (s->status != StatusInit) return ZResult_StreamError;
  strm->adler = Adler32(strm->adler, dictionary, length);
  if (length < MinMatch) return ZResult_Ok;
  uint32_t maxDist = s->wSize - MinLookahead;
  if (length > maxDist) {
    dictionary += length - maxDist;
    length = maxDist;
  }
  for (uint32_t i = 0; i < length; i++) s->window->SetByte(i, dictionary[i]);
  s->strStart = length;
  s->blockStart = (int32_t)length;
  s->insH = s->window->GetByte(0);
  s->insH = ((s->insH << s->hashShift) ^ s->window->GetByte(1)) & s->hashMask;
  for (uint32_t n = 0; n <= length - MinMatch; n++) {
    s->insH = ((s->insH << s->hashShift) ^ s->window->GetByte(n + MinMatch - 1)) & s->hashMask;
    s->prev->SetShort(n & s->wMask, s->head->GetShort(s->insH));
    s->head->SetShort(s->insH, n);
  }
  return ZResult_Ok;
}

int deflateCopy(z_stream* dest, z_stream* source) {
  if (source == NULL || dest == NULL || source->state == NULL) return ZResult_StreamError;
  DeflateState* from = static_cast<DeflateState*>(source->state);
  *dest = *source;
  DeflateState* s = static_cast<DeflateState*>(dest->zalloc(dest->opaque, 1, StateBytes));
  if (s == NULL) {
    dest->state = NULL;
    return ZResult_MemError;
  }
  *s = *from;
  s->stream = dest;
  // Until each is made anew, the copy's storage fields would name the source's arrays;
  // a failure must never give those back.
  s->pendingBuf = s->dBuf = s->lBuf = s->head = s->prev = s->window = s->heap = s->depth = NULL;
  s->dynLTree = s->dynDTree = s->blTree = NULL;
  s->blCount = NULL;
  dest->state = s;
  if (!CreateTreeStorage(dest, s) || !CreateWindowStorage(s)) {
    ReleaseStorage(dest, s);
    dest->zfree(dest->opaque, s);
    dest->state = NULL;
    return ZResult_MemError;
  }
  ChunkedArray* const pairs[][2] = {
      {s->window, from->window}, {s->prev, from->prev}, {s->head, from->head},
      {s->pendingBuf, from->pendingBuf}, {s->dBuf, from->dBuf}, {s->lBuf, from->lBuf},
      {s->dynLTree, from->dynLTree}, {s->dynDTree, from->dynDTree}, {s->blTree, from->blTree},
      {s->heap, from->heap}, {s->depth, from->depth}};
  for (auto& pair : pairs) CopyArray(pair[0], pair[1]);
  memcpy(s->blCount, from->blCount, (MaxBits + 1) * sizeof(uint16_t));
  BindTrees(s);
  return ZResult_Ok;
}

int deflateEnd(z_stream* strm) {
  if (strm == NULL || strm->state == NULL) return ZResult_StreamError;
  DeflateState* s = static_cast<DeflateState*>(strm->state);
  int32_t status = s->status;
  if (status != StatusInit && status != StatusBusy && status != StatusFinish) return ZResult_StreamError;
  ReleaseStorage(strm, s);
  strm->zfree(strm->opaque, s);
  strm->state = NULL;
  return status == StatusBusy ? ZResult_DataError : ZResult_Ok;
}

}  // namespace puxz
