/* A small RFC 1951 decoder for the tests: it checks what an inflater does not report
   (complete codes, length limits, block kinds and sizes) and lists the tokens, so that
   tests can make claims about matches and blocks, not only about the bytes. */
#ifndef PUX_TESTS_COMPRESS_TOKEN_DECODER_H
#define PUX_TESTS_COMPRESS_TOKEN_DECODER_H

#include <stdint.h>

#include <string>
#include <vector>

namespace compress_test {

struct Token {
  uint32_t length;   /* 0 for a literal */
  uint32_t distance; /* the literal byte when length is 0 */
};

struct Block {
  int type;              /* 0 stored, 1 fixed, 2 dynamic */
  bool last;
  uint32_t storedLength; /* stored blocks */
  uint32_t tokens;       /* tokens in the block, end of block not counted */
  int maxLitLength;      /* longest literal/length and distance code (dynamic) */
  int maxDistLength;
  int maxBitLength;      /* longest code-length code (dynamic) */
};

struct Decoded {
  std::vector<Block> blocks;
  std::vector<Token> tokens;
  std::vector<uint8_t> data;
  std::string error; /* empty when the stream is valid */
};

/* RFC 1951, section 3.2.5: the smallest length and distance of each length code
   (symbols 257-285) and distance code, and their extra bits. */
extern const uint16_t RfcLengthBase[29];
extern const uint8_t RfcLengthExtra[29];
extern const uint16_t RfcDistBase[30];
extern const uint8_t RfcDistExtra[30];

/* Decodes raw deflate data, or a zlib-wrapped stream when wrapped (the header and the
   Adler-32 trailer are checked). Distances must reach back into data decoded so far,
   or into the first preset bytes. Codes must be complete (a single distance code of one
   bit excepted, as RFC 1951 allows). */
Decoded DecodeDeflate(const std::vector<uint8_t>& stream, bool wrapped, const std::vector<uint8_t>& preset = {});

}  // namespace compress_test

#endif
