/* Our inflate engine (RFC 1951 data, optionally in the RFC 1950 wrapper) behind the
   classic calling interface. No block it takes from the stream's zalloc exceeds 256
   bytes: the 32 KB window is 128 chunks, the decoding tables and work arrays are chains
   of 252-byte blocks. */
#ifndef PUX_COMPRESS_INFLATE_H
#define PUX_COMPRESS_INFLATE_H

#include "zstream.h"

namespace puxz {

/* Window bits 8 to 15, or -8 to -15 for raw deflate data. 0, -2, -4 or -6. */
int inflateInit2_(z_stream* strm, int windowBits, const char* version, int streamSize);
int inflateInit_(z_stream* strm, const char* version, int streamSize);
/* 0 (progress), 1 (stream end), 2 (need dictionary), -2, -3 (bad data; msg says why),
   -4 (no memory: the call may be repeated once memory is there) or -5 (no progress). */
int inflate(z_stream* strm, int flush);
int inflateEnd(z_stream* strm);
int inflateReset(z_stream* strm);
int inflateSetDictionary(z_stream* strm, const uint8_t* dictionary, uint32_t length);
int inflateSync(z_stream* strm);
int inflateSyncPoint(z_stream* strm);

}  // namespace puxz

#endif
