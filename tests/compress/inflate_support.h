/* Driving our inflate engine in tests: an allocator of one malloc per block (so that
   the sanitizers see every chunk edge) that checks the engine's 256-byte rule, counts
   live blocks and refuses on demand; call patterns that copy every input piece into a
   fresh buffer of its exact size; and the system zlib's deflate and inflate for
   differential checks. */
#ifndef PUX_TESTS_COMPRESS_INFLATE_SUPPORT_H
#define PUX_TESTS_COMPRESS_INFLATE_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inflate.h"
#include "sample_data.h"

namespace compress_test {

using sample_data::Bytes;

struct TestAllocator {
  int live = 0;         /* blocks not yet given back */
  uint32_t liveBytes = 0;
  uint32_t peakBytes = 0;
  int requests = 0;     /* requests so far */
  int failAt = -1;      /* the request (0-based) to refuse, or -1 */
  bool failFromThere = false; /* refuse every request from failAt on */
  int oversized = 0;    /* requests above 256 bytes */
  bool scribble = true; /* fill new blocks with 0xA5: the engine must not rely on zeros */

  static void* Alloc(void* opaque, uint32_t items, uint32_t size);
  static void Free(void* opaque, void* block);
  void Install(puxz::z_stream* z);
};

/* How our inflate is driven: input pieces of inPiece bytes (0: all), output room of
   outRoom bytes per call (0: everything at once). */
struct InflatePattern {
  uint32_t inPiece = 0;
  uint32_t outRoom = 0;
};
/* Pieces and rooms that change from call to call: taken in turn (0 as above). */
struct InflateCycle {
  std::vector<uint32_t> pieces;
  std::vector<uint32_t> rooms;
};

struct InflateResult {
  int code = 0;         /* the last answer: 1 stream end, or the error */
  Bytes out;
  uint32_t totalIn = 0;
  uint32_t totalOut = 0;
  std::string msg;
  bool invariantsHeld = true; /* next_in within the piece, next_in + avail_in unchanged */
};

/* Inflates with windowBits through the pattern until stream end, an error, or no more
   progress; every input piece sits in a fresh malloc of its exact size. */
InflateResult OurInflate(const Bytes& in, int windowBits, const InflatePattern& pattern, TestAllocator* alloc,
                         size_t outLimit = 64u << 20);
InflateResult OurInflate(const Bytes& in, int windowBits, const InflateCycle& cycle, TestAllocator* alloc,
                         size_t outLimit = 64u << 20);
/* The system zlib's verdict on the same bytes: code 1 with the output, or the error. */
InflateResult ZlibInflateAll(const Bytes& in, int windowBits, size_t outLimit = 64u << 20);
/* zlib's deflate at the parameters (strategy as zlib numbers them, 0-4). */
Bytes ZlibCompress(const Bytes& in, int level, int windowBits, int memLevel, int strategy);

/* A writer of deflate bits, least significant first, for crafted streams. */
struct BitWriter {
  Bytes bytes;
  uint32_t acc = 0;
  int count = 0;
  void Bits(uint32_t value, int n);
  /* A Huffman code, most significant bit first. */
  void Code(uint32_t code, int n);
  /* The fixed code of a literal/length symbol (RFC 1951 3.2.6). */
  void FixedSymbol(uint32_t symbol);
  void Align();
  Bytes Finish();
};

}  // namespace compress_test

#endif
