/* The stream record that the deflate and inflate engines share with their callers, the
   result codes, flush modes and strategies, the message texts and the default
   allocation pair.

   The engines keep the calling interface of the classic compression library (its entry
   names, record layout and codes), but they are our own code and live in the namespace
   puxz: the machine also links the system's zlib for its checksums, and the host may call
   that zlib itself, so no name of ours may be a global C symbol of it. Never include
   <zlib.h> in the engine headers; the checksums come through zchecksum.h. The constants
   carry names of their own for the same reason (zlib's are macros). */
#ifndef PUX_COMPRESS_ZSTREAM_H
#define PUX_COMPRESS_ZSTREAM_H

#include <stddef.h>
#include <stdint.h>

namespace puxz {

typedef void* (*alloc_func)(void* opaque, uint32_t items, uint32_t size);
typedef void (*free_func)(void* opaque, void* address);

/* Fourteen words; the caller owns it. */
struct z_stream {
  const uint8_t* next_in;  /* next input byte */
  uint32_t avail_in;       /* bytes available at next_in */
  uint32_t total_in;       /* bytes taken since the last reset */
  uint8_t* next_out;       /* where the next output byte goes */
  uint32_t avail_out;      /* room left at next_out */
  uint32_t total_out;      /* bytes delivered since the last reset */
  const char* msg;         /* null, or constant text of the last error */
  void* state;             /* the engine's state; null before init and after end */
  alloc_func zalloc;
  free_func zfree;
  void* opaque;            /* first argument of zalloc and zfree */
  int32_t data_type;       /* deflate: 2 (undetermined) after a reset */
  uint32_t adler;          /* check value of the wrapped format */
  uint32_t reserved;
};

static_assert(sizeof(void*) != 4 || sizeof(z_stream) == 56, "the stream record is 56 bytes");
static_assert(sizeof(void*) != 4 || offsetof(z_stream, state) == 28, "state is word 7");
static_assert(sizeof(void*) != 4 || offsetof(z_stream, zalloc) == 32, "zalloc is word 8");
static_assert(sizeof(void*) != 4 || offsetof(z_stream, opaque) == 40, "opaque is word 10");
static_assert(sizeof(void*) != 4 || offsetof(z_stream, adler) == 48, "adler is word 12");

/* The record size and version text callers pass to the initialisations. */
enum : int { ZStreamSize = 56 };
#define PUXZ_VERSION "1.1.3"

enum : int {
  ZResult_Ok = 0,
  ZResult_StreamEnd = 1,
  ZResult_NeedDict = 2,
  ZResult_Errno = -1,
  ZResult_StreamError = -2,
  ZResult_DataError = -3,
  ZResult_MemError = -4,
  ZResult_BufError = -5,
  ZResult_VersionError = -6
};

enum : int {
  ZFlush_None = 0,
  ZFlush_Partial = 1,
  ZFlush_Sync = 2,
  ZFlush_Full = 3,
  ZFlush_Finish = 4
};

enum : int { ZStrategy_Default = 0, ZStrategy_Filtered = 1, ZStrategy_HuffmanOnly = 2 };

enum : int { ZMethod_Deflated = 8 };

/* Indexed by 2 - result: "need dictionary" (2) down to "incompatible version" (-6), then
   an empty text. */
extern const char* const ZMessageTable[10];
/* The table's text of a result, or null outside 2..-6. */
const char* ZMessage(int result);

/* The default allocation pair. The first argument is a stream record: its own zalloc is
   called with its opaque; without one, the pool of the record's opaque cookie serves
   (ZipPoolAlloc). A null record, or one whose zalloc is zcalloc itself, gives null: the
   pair never forwards to itself. zcfree likewise. */
void* zcalloc(void* stream, uint32_t items, uint32_t size);
void zcfree(void* stream, void* block);

}  // namespace puxz

#endif
