/* Our deflate engine (RFC 1951 data, optionally in the RFC 1950 wrapper) behind the
   classic calling interface. Every large array of a stream lives in chunked storage from
   the calling thread's machine's pool; only the state record and the bit-length counts
   come from the stream's zalloc. */
#ifndef PUX_COMPRESS_DEFLATE_H
#define PUX_COMPRESS_DEFLATE_H

#include "zstream.h"

namespace puxz {

/* deflateInit2_ with method 8, window bits 15, memLevel 8, strategy 0. */
int deflateInit_(z_stream* strm, int level, const char* version, int streamSize);
/* Level 0-9 (-1 = 6), window bits 9-15 (negated: raw deflate without the wrapper),
   memLevel 1-8 (9 needs arrays larger than chunked storage holds: -4), strategy 0-2.
   0, -2 (bad parameters), -4 (no memory; nothing kept) or -6 (version or record size). */
int deflateInit2_(z_stream* strm, int level, int method, int windowBits, int memLevel, int strategy,
                  const char* version, int streamSize);
/* 0, 1 (stream end: only with flush 4, once everything is delivered), -2 or -5. */
int deflate(z_stream* strm, int flush);
int deflateReset(z_stream* strm);
/* Changes level and strategy. When the strategy function changes once data has been
   taken, the data so far is first flushed (flush 1) at the old level; when that cannot
   complete, the old parameters stay and the result is the flush's error, or -5. */
int deflateParams(z_stream* strm, int level, int strategy);
int deflateSetDictionary(z_stream* strm, const uint8_t* dictionary, uint32_t length);
/* 0, -2, or -4 with the destination's state null and the source untouched. */
int deflateCopy(z_stream* dest, z_stream* source);
/* 0, -2, or -3 when the stream was ended in the middle of its data (memory released). */
int deflateEnd(z_stream* strm);

}  // namespace puxz

#endif
