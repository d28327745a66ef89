/* The inflate engine's stream interface and the RFC 1950 wrapper: header, preset
   dictionary identifier, the block decoder's run, and the Adler-32 trailer. */
#include "inflate_state.h"
#include "zchecksum.h"

namespace puxz {

namespace {

enum : int32_t {
  ModeMethod = 0, ModeFlag, ModeDict4, ModeDict3, ModeDict2, ModeDict1, ModeDict0, ModeBlocks, ModeCheck4,
  ModeCheck3, ModeCheck2, ModeCheck1, ModeDone, ModeBad
};

/* 24 bytes. */
struct InflateState {
  int32_t mode;
  union {
    uint32_t method;  /* METHOD, FLAG */
    struct {
      uint32_t was;   /* the check computed */
      uint32_t need;  /* the check read */
    } check;
    uint32_t marker;  /* BAD: sync marker bytes matched; 5 where no restart is possible */
  } sub;
  int32_t nowrap;
  uint32_t wbits;
  InflateBlocks* blocks;
};
static_assert(sizeof(void*) != 4 || sizeof(InflateState) == 24, "the inflate state is 24 bytes");

/* The marker count that keeps inflateSync from restarting after a header error. */
enum : uint32_t { NoRestart = 5 };

inline InflateState* StateOf(z_stream* z) { return static_cast<InflateState*>(z->state); }

/* The next byte of the stream: whole bytes the block decoder kept in its bit buffer
   after the last block come first (they were taken by an earlier call), then next_in. */
bool TakeByte(z_stream* z, InflateState* s, uint32_t* byte) {
  InflateBlocks* b = s->blocks;
  if (b->bitk >= 8) {
    *byte = b->bitb & 0xFF;
    b->bitb >>= 8;
    b->bitk -= 8;
    return true;
  }
  if (z->avail_in == 0) return false;
  z->avail_in--;
  z->total_in++;
  *byte = *z->next_in++;
  return true;
}

uint32_t AdlerCheck(uint32_t check, const uint8_t* bytes, uint32_t length) { return Adler32(check, bytes, length); }

}  // namespace

int inflateReset(z_stream* z) {
  if (z == NULL || z->state == NULL) return ZResult_StreamError;
  InflateState* s = StateOf(z);
  z->total_in = z->total_out = 0;
  z->msg = NULL;
  s->mode = s->nowrap ? ModeBlocks : ModeMethod;
  InflateBlocks::Reset(s->blocks, z, NULL, false);
  return ZResult_Ok;
}

int inflateEnd(z_stream* z) {
  if (z == NULL || z->state == NULL || z->zfree == NULL) return ZResult_StreamError;
  InflateState* s = StateOf(z);
  if (s->blocks != NULL) InflateBlocks::Destroy(s->blocks, z);
  z->zfree(z->opaque, s);
  z->state = NULL;
  return ZResult_Ok;
}

int inflateInit2_(z_stream* z, int w, const char* version, int streamSize) {
  if (version == NULL || version[0] != '1' || streamSize != ZStreamSize) return ZResult_VersionError;
  if (z == NULL) return ZResult_StreamError;
  z->msg = NULL;
  if (z->zalloc == NULL) {
    z->zalloc = zcalloc;
    z->opaque = NULL;
  }
  if (z->zfree == NULL) z->zfree = zcfree;
  // The range is tested before the sign is dropped: negating the most negative int is
  // undefined.
  if (w < -15 || (w > -8 && w < 8) || w > 15) return ZResult_StreamError;
  InflateState* s = static_cast<InflateState*>(InflateTake(z, sizeof(InflateState)));
  if (s == NULL) return ZResult_MemError;
  z->state = s;
  s->nowrap = w < 0;
  s->wbits = (uint32_t)(w < 0 ? -w : w);
  s->blocks = InflateBlocks::Create(z, s->nowrap ? NULL : AdlerCheck, 1u << s->wbits);
  if (s->blocks == NULL) {
    inflateEnd(z);
    return ZResult_MemError;
  }
  inflateReset(z);
  return ZResult_Ok;
}

int inflateInit_(z_stream* z, const char* version, int streamSize) { return inflateInit2_(z, 15, version, streamSize); }

int inflate(z_stream* z, int flush) {
  if (z == NULL || z->state == NULL || z->next_in == NULL || z->next_out == NULL) return ZResult_StreamError;
  InflateState* s = StateOf(z);
  const int f = flush == ZFlush_Finish ? ZResult_BufError : ZResult_Ok;
  int r = ZResult_BufError;
  uint32_t byte;
#define TAKE_BYTE                              \
  if (!TakeByte(z, s, &byte)) return r;        \
  r = f;
#define BAD(text, count)          \
  {                               \
    s->mode = ModeBad;            \
    z->msg = text;                \
    s->sub.marker = count;        \
    break;                        \
  }
  for (;;) {
    switch (s->mode) {
      case ModeMethod:
        TAKE_BYTE
        s->sub.method = byte;
        if ((byte & 0xF) != ZMethod_Deflated) BAD("unknown compression method", NoRestart)
        if ((byte >> 4) + 8 > s->wbits) BAD("invalid window size", NoRestart)
        s->mode = ModeFlag;
        break;
      case ModeFlag:
        TAKE_BYTE
        if (((s->sub.method << 8) + byte) % 31 != 0) BAD("incorrect header check", NoRestart)
        s->mode = (byte & 0x20) != 0 ? ModeDict4 : ModeBlocks;
        break;
      case ModeDict4:
        TAKE_BYTE
        s->sub.check.need = byte << 24;
        s->mode = ModeDict3;
        break;
      case ModeDict3:
        TAKE_BYTE
        s->sub.check.need += byte << 16;
        s->mode = ModeDict2;
        break;
      case ModeDict2:
        TAKE_BYTE
        s->sub.check.need += byte << 8;
        s->mode = ModeDict1;
        break;
      case ModeDict1:
        TAKE_BYTE
        s->sub.check.need += byte;
        z->adler = s->sub.check.need;
        s->mode = ModeDict0;
        return ZResult_NeedDict;
      case ModeDict0:
        s->mode = ModeBad;
        z->msg = "need dictionary";
        s->sub.marker = 0;
        return ZResult_StreamError;
      case ModeBlocks:
        r = InflateBlocks::Decode(s->blocks, z, r);
        if (r == ZResult_DataError) {
          s->mode = ModeBad;
          s->sub.marker = 0;
          break;
        }
        if (r == ZResult_Ok) r = f;
        if (r != ZResult_StreamEnd) return r;
        r = f;
        InflateBlocks::Reset(s->blocks, z, &s->sub.check.was, true);
        s->mode = s->nowrap ? ModeDone : ModeCheck4;
        break;
      case ModeCheck4:
        TAKE_BYTE
        s->sub.check.need = byte << 24;
        s->mode = ModeCheck3;
        break;
      case ModeCheck3:
        TAKE_BYTE
        s->sub.check.need += byte << 16;
        s->mode = ModeCheck2;
        break;
      case ModeCheck2:
        TAKE_BYTE
        s->sub.check.need += byte << 8;
        s->mode = ModeCheck1;
        break;
      case ModeCheck1:
        TAKE_BYTE
        s->sub.check.need += byte;
        if (s->sub.check.was != s->sub.check.need) BAD("incorrect data check", NoRestart)
        s->mode = ModeDone;
        break;
      case ModeDone:
        return ZResult_StreamEnd;
      case ModeBad:
        return ZResult_DataError;
      default:
        return ZResult_StreamError;
    }
  }
#undef TAKE_BYTE
#undef BAD
}

int inflateSetDictionary(z_stream* z, const uint8_t* dictionary, uint32_t length) {
  if (z == NULL || z->state == NULL || StateOf(z)->mode != ModeDict0) return ZResult_StreamError;
  if (dictionary == NULL && length != 0) return ZResult_StreamError;
  InflateState* s = StateOf(z);
  if (Adler32(1, dictionary, length) != z->adler) return ZResult_DataError;
  z->adler = 1;
  uint32_t size = 1u << s->wbits;
  if (length >= size) {
    dictionary += length - (size - 1);
    length = size - 1;
  }
  InflateBlocks::SetDictionary(s->blocks, dictionary, length);
  s->mode = ModeBlocks;
  return ZResult_Ok;
}

int inflateSync(z_stream* z) {
  if (z == NULL || z->state == NULL) return ZResult_StreamError;
  InflateState* s = StateOf(z);
  if (s->mode != ModeBad) {
    s->mode = ModeBad;
    s->sub.marker = 0;
  }
  uint32_t n = z->avail_in;
  if (n == 0) return ZResult_BufError;
  if (z->next_in == NULL) return ZResult_StreamError;
  static const uint8_t mark[4] = {0, 0, 0xFF, 0xFF};
  const uint8_t* p = z->next_in;
  uint32_t m = s->sub.marker;
  // A count of 5 marks a header error: there is nothing to restart from.
  while (n != 0 && m < 4) {
    if (*p == mark[m]) {
      m++;
    } else if (*p != 0) {
      m = 0;
    } else {
      m = 4 - m;
    }
    p++;
    n--;
  }
  z->total_in += (uint32_t)(p - z->next_in);
  z->next_in = p;
  z->avail_in = n;
  s->sub.marker = m;
  if (m != 4) return ZResult_DataError;
  uint32_t in = z->total_in, out = z->total_out;
  inflateReset(z);
  z->total_in = in;
  z->total_out = out;
  s->mode = ModeBlocks;
  return ZResult_Ok;
}

int inflateSyncPoint(z_stream* z) {
  if (z == NULL || z->state == NULL || StateOf(z)->blocks == NULL) return ZResult_StreamError;
  return InflateBlocks::AtSyncPoint(StateOf(z)->blocks);
}

}  // namespace puxz
