#include "token_decoder.h"

#include <zlib.h>

namespace compress_test {

namespace {

struct Bits {
  const std::vector<uint8_t>& in;
  size_t pos;
  uint32_t buffer = 0;
  int count = 0;
  bool overrun = false;
  Bits(const std::vector<uint8_t>& bytes, size_t start) : in(bytes), pos(start) {}
  uint32_t Get(int n) {
    while (count < n) {
      uint32_t byte = 0;
      if (pos < in.size()) byte = in[pos];
      else overrun = true;
      pos++;
      buffer |= byte << count;
      count += 8;
    }
    uint32_t v = buffer & ((1u << n) - 1);
    buffer >>= n;
    count -= n;
    return v;
  }
  void Align() {
    buffer = 0;
    count = 0;
  }
};

/* A canonical code from its lengths; "" or what is wrong with it. */
struct Code {
  std::vector<uint16_t> count, symbols;
  int maxLength = 0;
  std::string Build(const std::vector<uint8_t>& lengths, int limit, bool allowSingle) {
    count.assign(16, 0);
    symbols.clear();
    for (uint8_t l : lengths) count[l]++;
    count[0] = 0;
    int used = 0;
    for (int l = 1; l < 16; l++) {
      if (count[l] != 0) maxLength = l;
      used += count[l];
    }
    std::vector<uint16_t> offs(16, 0);
    for (int l = 1; l < 15; l++) offs[l + 1] = offs[l] + count[l];
    symbols.assign(used, 0);
    for (size_t s = 0; s < lengths.size(); s++) {
      if (lengths[s] != 0) symbols[offs[lengths[s]]++] = (uint16_t)s;
    }
    if (maxLength > limit) return "code length " + std::to_string(maxLength) + " over " + std::to_string(limit);
    // Kraft sum in units of 2^-15.
    uint32_t kraft = 0;
    for (int l = 1; l < 16; l++) kraft += (uint32_t)count[l] << (15 - l);
    bool single = allowSingle && used == 1 && count[1] == 1;
    if (kraft != (1u << 15) && !single && used != 0) return "incomplete or oversubscribed code";
    return "";
  }
  int Decode(Bits& bits) const {
    int code = 0, first = 0, index = 0;
    for (int l = 1; l < 16; l++) {
      code |= (int)bits.Get(1);
      int n = count[l];
      if (code - n < first) {
        size_t at = (size_t)(index + (code - first));
        return at < symbols.size() ? symbols[at] : -1;
      }
      index += n;
      first += n;
      first <<= 1;
      code <<= 1;
    }
    return -1;
  }
};

}  // namespace

const uint16_t RfcLengthBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t RfcLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t RfcDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                               257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t RfcDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

namespace {

const uint8_t Order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

std::string Codes(Bits& bits, Decoded& d, const Code& lit, const Code& dist, Block& block) {
  for (;;) {
    int sym = lit.Decode(bits);
    if (bits.overrun) return "stream ends inside a block";
    if (sym < 0) return "bad literal/length code";
    if (sym < 256) {
      d.tokens.push_back({0, (uint32_t)sym});
      d.data.push_back((uint8_t)sym);
      block.tokens++;
      continue;
    }
    if (sym == 256) return "";
    if (sym > 285) return "bad length symbol";
    uint32_t len = RfcLengthBase[sym - 257] + bits.Get(RfcLengthExtra[sym - 257]);
    int ds = dist.Decode(bits);
    if (ds < 0 || ds > 29) return "bad distance code";
    uint32_t distance = RfcDistBase[ds] + bits.Get(RfcDistExtra[ds]);
    if (distance > d.data.size()) return "distance beyond the data";
    d.tokens.push_back({len, distance});
    block.tokens++;
    for (uint32_t i = 0; i < len; i++) d.data.push_back(d.data[d.data.size() - distance]);
  }
}

}  // namespace

Decoded DecodeDeflate(const std::vector<uint8_t>& stream, bool wrapped, const std::vector<uint8_t>& preset) {
  Decoded d;
  d.data = preset;
  size_t start = 0;
  if (wrapped) {
    if (stream.size() < 6) {
      d.error = "too short for the wrapper";
      return d;
    }
    uint32_t cmf = stream[0], flg = stream[1];
    if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0) {
      d.error = "bad zlib header";
      return d;
    }
    start = 2 + ((flg & 0x20) ? 4 : 0);
  }
  Bits bits(stream, start);
  bool last = false;
  while (!last) {
    Block block = {0, false, 0, 0, 0, 0, 0};
    last = bits.Get(1) != 0;
    block.last = last;
    block.type = (int)bits.Get(2);
    std::string error;
    if (block.type == 0) {
      bits.Align();
      size_t at = bits.pos;
      if (at + 4 > stream.size()) {
        d.error = "stored header cut";
        return d;
      }
      uint32_t len = stream[at] | stream[at + 1] << 8, nlen = stream[at + 2] | stream[at + 3] << 8;
      if ((len ^ 0xFFFF) != nlen || at + 4 + len > stream.size()) {
        d.error = "bad stored block";
        return d;
      }
      d.data.insert(d.data.end(), stream.begin() + at + 4, stream.begin() + at + 4 + len);
      for (uint32_t i = 0; i < len; i++) d.tokens.push_back({0, stream[at + 4 + i]});
      block.storedLength = len;
      bits.pos = at + 4 + len;
    } else if (block.type == 1) {
      std::vector<uint8_t> l(288), dl(30, 5);
      for (int i = 0; i < 288; i++) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
      Code lit, dist;
      lit.Build(l, 15, false);
      dist.Build(dl, 15, false);
      error = Codes(bits, d, lit, dist, block);
    } else if (block.type == 2) {
      uint32_t hlit = bits.Get(5) + 257, hdist = bits.Get(5) + 1, hclen = bits.Get(4) + 4;
      if (hlit > 286 || hdist > 30) {
        d.error = "too many length or distance codes";
        return d;
      }
      std::vector<uint8_t> cl(19, 0);
      for (uint32_t i = 0; i < hclen; i++) cl[Order[i]] = (uint8_t)bits.Get(3);
      Code clCode;
      error = clCode.Build(cl, 7, false);
      block.maxBitLength = clCode.maxLength;
      std::vector<uint8_t> lengths;
      while (error.empty() && lengths.size() < hlit + hdist) {
        int sym = clCode.Decode(bits);
        if (sym < 0) {
          error = "bad code-length code";
        } else if (sym < 16) {
          lengths.push_back((uint8_t)sym);
        } else if (sym == 16) {
          if (lengths.empty()) error = "repeat with no length before it";
          else lengths.insert(lengths.end(), 3 + bits.Get(2), lengths.back());
        } else {
          lengths.insert(lengths.end(), sym == 17 ? 3 + bits.Get(3) : 11 + bits.Get(7), 0);
        }
      }
      if (error.empty() && lengths.size() != hlit + hdist) error = "lengths overrun the counts";
      Code lit, dist;
      if (error.empty()) {
        std::vector<uint8_t> ll(lengths.begin(), lengths.begin() + hlit), dd(lengths.begin() + hlit, lengths.end());
        if (ll[256] == 0) error = "no end-of-block code";
        if (error.empty()) error = lit.Build(ll, 15, false);
        if (error.empty()) error = dist.Build(dd, 15, true);
        block.maxLitLength = lit.maxLength;
        block.maxDistLength = dist.maxLength;
      }
      if (error.empty()) error = Codes(bits, d, lit, dist, block);
    } else {
      error = "block type 3";
    }
    if (!error.empty()) {
      d.error = error;
      return d;
    }
    d.blocks.push_back(block);
  }
  d.data.erase(d.data.begin(), d.data.begin() + preset.size());
  if (wrapped) {
    size_t at = bits.pos;
    if (at + 4 != stream.size()) {
      d.error = "trailer missing or bytes after it";
      return d;
    }
    uint32_t want = (uint32_t)stream[at] << 24 | stream[at + 1] << 16 | stream[at + 2] << 8 | stream[at + 3];
    uint32_t adler = (uint32_t)adler32(1, d.data.data(), (uInt)d.data.size());
    if (want != adler) d.error = "Adler-32 mismatch";
  } else if (bits.pos != stream.size()) {
    d.error = "bytes after the last block";
  }
  return d;
}

}  // namespace compress_test
