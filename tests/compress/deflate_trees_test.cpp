/* Huffman trees, block output and string matching, seen through the tokens and blocks of
   the streams: the constant tables against RFC 1951, length-limited trees, tokens at the
   edges of the code tables, block choices, flush blocks, and the matcher's rules. */
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <map>

#include "deflate_state.h"
#include "deflate_support.h"
#include "token_decoder.h"

namespace compress_test {
namespace {

using puxz::DeflateCodes;
using puxz::DeflateState;
using puxz::Node;

uint32_t ReverseBits(uint32_t code, uint32_t len) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < len; i++, code >>= 1) r = r << 1 | (code & 1);
  return r;
}

TEST(DeflateTables, EveryTableFollowsRfc1951) {
  for (uint32_t lc = 0; lc < 256; lc++) {
    uint32_t code = 0;
    while (code < 28 && RfcLengthBase[code + 1] <= lc + 3) code++;
    if (lc == 255) code = 28;  // length 258 has a symbol of its own
    ASSERT_EQ(code, DeflateCodes.lengthCode[lc]) << "length " << lc + 3;
  }
  for (uint32_t code = 0; code < 28; code++) {
    EXPECT_EQ(RfcLengthBase[code] - 3, DeflateCodes.baseLength[code]);
  }
  EXPECT_EQ(0, DeflateCodes.baseLength[28]);
  for (uint32_t d = 0; d < 32768; d++) {
    uint32_t code = 0;
    while (code < 29 && RfcDistBase[code + 1] <= d + 1) code++;
    ASSERT_EQ(code, puxz::DCode(d)) << "distance " << d + 1;
  }
  for (uint32_t code = 0; code < 30; code++) EXPECT_EQ(RfcDistBase[code] - 1, DeflateCodes.baseDist[code]);
  // The fixed codes of section 3.2.6, canonical from their lengths.
  uint32_t next[10] = {0};
  uint32_t lengthOf[288];
  for (int n = 0; n < 288; n++) lengthOf[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
  uint32_t counts[10] = {0};
  for (uint32_t l : lengthOf) counts[l]++;
  for (uint32_t bits = 1, code = 0; bits < 10; bits++) next[bits] = code = (code + counts[bits - 1]) << 1;
  for (int n = 0; n < 288; n++) {
    EXPECT_EQ(lengthOf[n], DeflateCodes.staticLTree[n].dl) << n;
    EXPECT_EQ(ReverseBits(next[lengthOf[n]]++, lengthOf[n]), DeflateCodes.staticLTree[n].fc) << n;
  }
  for (uint32_t n = 0; n < 30; n++) {
    EXPECT_EQ(5, DeflateCodes.staticDTree[n].dl);
    EXPECT_EQ(ReverseBits(n, 5), DeflateCodes.staticDTree[n].fc);
  }
}

class TreeTest : public DeflateTest {
 protected:
  void SetUp() override {
    DeflateTest::SetUp();
    stream.reset(new OurStream(cookie));
    ASSERT_EQ(0, stream->Init(Params{6, -15, 8, 0}));
    s = static_cast<DeflateState*>(stream->z.state);
  }
  void TearDown() override {
    if (stream) puxz::deflateEnd(&stream->z);
    DeflateTest::TearDown();
  }

  /* Builds the tree of desc from freqs and checks it: lengths within the limit, a
     complete code (or two codes for fewer symbols), and the cost it adds to optLen. */
  void CheckTree(puxz::TreeDesc* desc, const std::vector<uint32_t>& freqs, const int32_t* extra, int32_t base,
                 int32_t limit) {
    for (uint32_t n = 0; n < freqs.size(); n++) Node(desc->tree, n).fc = (uint16_t)freqs[n];
    s->optLen = s->staticLen = 0;
    puxz::BuildTree(s, desc);
    uint64_t kraft = 0, cost = 0;
    int used = 0;
    for (int32_t n = 0; n <= desc->maxCode; n++) {
      uint32_t len = Node(desc->tree, n).dl;
      if (freqs[n] != 0) {
        EXPECT_NE(0u, len) << "symbol " << n << " has no code";
      }
      if (len == 0) continue;
      EXPECT_LE(len, (uint32_t)limit) << n;
      kraft += 1ull << (15 - len);
      int32_t xbits = extra != nullptr && n >= base ? extra[n - base] : 0;
      // A symbol added to make two codes counts as frequency 1 and is taken back once.
      cost += freqs[n] != 0 ? (uint64_t)freqs[n] * (len + xbits) : len + xbits - 1;
      used++;
    }
    EXPECT_EQ(1ull << 15, kraft) << "the code is complete";
    EXPECT_GE(used, 2);
    EXPECT_EQ((uint32_t)cost, s->optLen);
  }

  std::unique_ptr<OurStream> stream;
  DeflateState* s = nullptr;
};

std::vector<uint32_t> Fibonacci(size_t symbols, size_t used) {
  std::vector<uint32_t> f(symbols, 0);
  uint32_t a = 1, b = 1;
  for (size_t n = 0; n < used; n++) {
    f[n] = a;
    uint32_t c = a + b;
    a = b;
    b = c;
  }
  return f;
}

const int32_t LengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int32_t DistExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int32_t BitLengthExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

TEST_F(TreeTest, TreesAreCompleteAndLimitedWhateverTheFrequencies) {
  // 22 Fibonacci frequencies would want codes of 21 bits: limited to 15, still complete.
  std::vector<uint32_t> lit = Fibonacci(286, 22);
  lit[256] = 1;
  CheckTree(&s->lDesc, lit, LengthExtraBits, 257, 15);
  // The same over the 19 code-length symbols, limited to 7.
  CheckTree(&s->blDesc, Fibonacci(19, 19), BitLengthExtraBits, 0, 7);
  // Only the end of block: a second code is added.
  std::vector<uint32_t> eob(286, 0);
  eob[256] = 1;
  CheckTree(&s->lDesc, eob, LengthExtraBits, 257, 15);
  EXPECT_EQ(1, Node(s->dynLTree, 0).dl);
  EXPECT_EQ(1, Node(s->dynLTree, 256).dl);
  // One distance: two codes of one bit; none: symbols 0 and 1.
  std::vector<uint32_t> one(30, 0);
  one[7] = 40;
  CheckTree(&s->dDesc, one, DistExtraBits, 0, 15);
  EXPECT_EQ(7, s->dDesc.maxCode);
  EXPECT_EQ(1, Node(s->dynDTree, 0).dl);
  EXPECT_EQ(1, Node(s->dynDTree, 7).dl);
  CheckTree(&s->dDesc, std::vector<uint32_t>(30, 0), DistExtraBits, 0, 15);
  EXPECT_EQ(1, s->dDesc.maxCode);
  EXPECT_EQ(1, Node(s->dynDTree, 0).dl);
  EXPECT_EQ(1, Node(s->dynDTree, 1).dl);
  // Every symbol used, equally: a flat code of 8 and 9 bits.
  CheckTree(&s->lDesc, std::vector<uint32_t>(286, 3), LengthExtraBits, 257, 15);
}

/* Tree construction step by step over plain arrays, the slow and obvious way: what the
   engine's tree, heap, depth and counters must hold after BuildTree, whatever way it gets
   there. */
struct ModelTree {
  std::vector<uint32_t> fc, dl;
  std::vector<int32_t> heap;
  std::vector<uint32_t> depth;
  int32_t heapLen = 0, heapMax = 573, maxCode = -1;
  uint32_t optLen = 0, staticLen = 0;
  uint16_t blCount[16] = {0};

  bool Smaller(int32_t n, int32_t m) const {
    return fc[n] < fc[m] || (fc[n] == fc[m] && depth[n] <= depth[m]);
  }
  void DownHeap(int32_t k) {
    int32_t v = heap[k];
    for (int32_t j = 2 * k; j <= heapLen; j *= 2) {
      if (j < heapLen && Smaller(heap[j + 1], heap[j])) j++;
      if (Smaller(v, heap[j])) break;
      heap[k] = heap[j];
      k = j;
    }
    heap[k] = v;
  }
  void Build(int32_t elems, const puxz::TreeNode* stree, const int32_t* extra, int32_t base, int32_t maxLength) {
    heapLen = 0;
    heapMax = 573;
    maxCode = -1;
    for (int32_t n = 0; n < elems; n++) {
      if (fc[n] != 0) {
        heap[++heapLen] = maxCode = n;
        depth[n] = 0;
      } else {
        dl[n] = 0;
      }
    }
    while (heapLen < 2) {
      int32_t node = maxCode < 2 ? ++maxCode : 0;
      heap[++heapLen] = node;
      fc[node] = 1;
      depth[node] = 0;
      optLen--;
      if (stree != nullptr) staticLen -= stree[node].dl;
    }
    for (int32_t n = heapLen / 2; n >= 1; n--) DownHeap(n);
    int32_t node = elems;
    do {
      int32_t n = heap[1];
      heap[1] = heap[heapLen--];
      DownHeap(1);
      int32_t m = heap[1];
      heap[--heapMax] = n;
      heap[--heapMax] = m;
      fc[node] = (fc[n] + fc[m]) & 0xFFFF;
      depth[node] = (std::max(depth[n], depth[m]) + 1) & 0xFF;
      dl[n] = dl[m] = (uint32_t)node;
      heap[1] = node++;
      DownHeap(1);
    } while (heapLen >= 2);
    heap[--heapMax] = heap[1];
    // Lengths, limited.
    int32_t overflow = 0;
    dl[heap[heapMax]] = 0;
    for (int32_t h = heapMax + 1; h < 573; h++) {
      int32_t n = heap[h];
      int32_t bits = (int32_t)dl[dl[n]] + 1;
      if (bits > maxLength) {
        bits = maxLength;
        overflow++;
      }
      dl[n] = (uint32_t)bits;
      if (n > maxCode) continue;
      blCount[bits]++;
      int32_t xbits = n >= base ? extra[n - base] : 0;
      optLen += fc[n] * (uint32_t)(bits + xbits);
      if (stree != nullptr) staticLen += fc[n] * (uint32_t)(stree[n].dl + xbits);
    }
    if (overflow != 0) {
      do {
        int32_t bits = maxLength - 1;
        while (blCount[bits] == 0) bits--;
        blCount[bits]--;
        blCount[bits + 1] += 2;
        blCount[maxLength]--;
        overflow -= 2;
      } while (overflow > 0);
      int32_t h = 573;
      for (int32_t bits = maxLength; bits != 0; bits--) {
        for (int32_t left = blCount[bits]; left != 0;) {
          int32_t m = heap[--h];
          if (m > maxCode) continue;
          if (dl[m] != (uint32_t)bits) {
            optLen += (uint32_t)((bits - (int32_t)dl[m]) * (int32_t)fc[m]);
            dl[m] = (uint32_t)bits;
          }
          left--;
        }
      }
    }
    // Canonical codes, bit-reversed.
    uint32_t next[16] = {0}, code = 0;
    for (int bits = 1; bits <= 15; bits++) next[bits] = code = (code + blCount[bits - 1]) << 1;
    for (int32_t n = 0; n <= maxCode; n++) {
      if (dl[n] != 0) fc[n] = ReverseBits(next[dl[n]]++, dl[n]);
    }
  }
};

/* The engine's tree against the model, from random and hostile frequencies: a handful of
   symbols, all equal (every comparison a tie of frequency and depth), Fibonacci (lengths
   beyond the limit), sums past 16 bits, and every count the engine's blocks can give.
   The arrays start full of leftovers, as after an earlier block; every node record,
   every heap place and depth, the counters and the counts must come out as the model's. */
TEST_F(TreeTest, ATreeEndsExactlyAsThePlainStepsLeaveIt) {
  struct Shape {
    puxz::TreeDesc* desc;
    int32_t elems, records, base, limit;
    const int32_t* extra;
    const puxz::TreeNode* stree;
  } shapes[] = {{&s->lDesc, 286, 573, 257, 15, LengthExtraBits, DeflateCodes.staticLTree},
                {&s->dDesc, 30, 61, 0, 15, DistExtraBits, DeflateCodes.staticDTree},
                {&s->blDesc, 19, 39, 0, 7, BitLengthExtraBits, nullptr}};
  sample_data::Random r(91);
  for (int round = 0; round < 400; round++) {
    const Shape& shape = shapes[round % 3];
    ModelTree m;
    m.fc.assign(shape.records, 0);
    m.dl.assign(shape.records, 0);
    m.heap.assign(573, 0);
    m.depth.assign(573, 0);
    // Leftovers everywhere, the same in the engine's arrays and the model's.
    for (int32_t n = 0; n < shape.records; n++) {
      m.fc[n] = r.Next() & 0xFFFF;
      m.dl[n] = r.Next() & 0xFFFF;
    }
    for (int32_t i = 0; i < 573; i++) {
      m.heap[i] = (int32_t)(r.Next() % 573);
      m.depth[i] = r.Next() & 0xFF;
    }
    int kind = round / 3 % 6;
    uint32_t used = 1 + r.Next() % (uint32_t)shape.elems;
    for (int32_t n = 0; n < shape.elems; n++) {
      uint32_t f = 0;
      switch (kind) {
        case 0: f = r.Next() % 4 == 0 ? r.Next() % 50 : 0; break;                       // sparse
        case 1: f = (uint32_t)n < used ? 7 : 0; break;                                  // all ties
        case 2: f = (uint32_t)n < 25 ? Fibonacci(30, 25)[n] : 0; break;                 // too long
        case 3: f = r.Next() & 0xFFFF; break;                                           // sums wrap
        case 4: f = (uint32_t)n == used - 1 ? 1 + r.Next() % 9 : 0; break;              // one symbol
        default: f = 30 + r.Next() % 5; break;                                          // near ties
      }
      m.fc[n] = f & 0xFFFF;
    }
    for (int32_t n = 0; n < shape.records; n++) {
      Node(shape.desc->tree, n) = puxz::TreeNode{(uint16_t)m.fc[n], (uint16_t)m.dl[n]};
    }
    for (int32_t i = 0; i < 573; i++) {
      s->heap->SetInt(i, (uint32_t)m.heap[i]);
      s->depth->SetByte(i, m.depth[i]);
    }
    m.optLen = s->optLen = r.Next();
    m.staticLen = s->staticLen = r.Next();
    m.Build(shape.elems, shape.stree, shape.extra, shape.base, shape.limit);
    puxz::BuildTree(s, shape.desc);
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(m.maxCode, shape.desc->maxCode);
    ASSERT_EQ(m.heapLen, s->heapLen);
    ASSERT_EQ(m.heapMax, s->heapMax);
    ASSERT_EQ(m.optLen, s->optLen);
    ASSERT_EQ(m.staticLen, s->staticLen);
    for (int bits = 0; bits < 16; bits++) ASSERT_EQ(m.blCount[bits], s->blCount[bits]) << bits;
    for (int32_t n = 0; n < shape.records; n++) {
      ASSERT_EQ(m.fc[n], Node(shape.desc->tree, n).fc) << "node " << n;
      ASSERT_EQ(m.dl[n], Node(shape.desc->tree, n).dl) << "node " << n;
    }
    for (int32_t i = 0; i < 573; i++) {
      ASSERT_EQ((uint32_t)m.heap[i], s->heap->GetInt(i)) << "heap " << i;
      ASSERT_EQ(m.depth[i], s->depth->GetByte(i)) << "depth " << i;
    }
  }
}

/* Matches at the edges of the length and distance tables, made as tallies and emitted
   as blocks: the system zlib and our decoder read them back. */
TEST_F(TreeTest, TokensAtTheEdgesOfTheCodeTables) {
  Bytes expected = sample_data::RandomBytes(32768, 77);
  for (uint8_t c : expected) {
    if (puxz::TallyLiteral(s, c)) puxz::FlushBlock(s, nullptr, 0, 0, 0);
  }
  const Token matches[] = {{258, 1}, {3, 4}, {4, 5}, {10, 256}, {11, 257}, {257, 24577},
                           {258, 32768}, {3, 32768}, {100, 8193}, {34, 12289}};
  for (const Token& t : matches) {
    ASSERT_TRUE(t.distance <= expected.size());
    for (uint32_t i = 0; i < t.length; i++) expected.push_back(expected[expected.size() - t.distance]);
    puxz::TallyMatch(s, t.distance, t.length - 3);
  }
  puxz::FlushBlock(s, nullptr, 0, 0, 1);
  Bytes out(80000);
  stream->z.next_out = out.data();
  stream->z.avail_out = (uint32_t)out.size();
  puxz::FlushPending(&stream->z);
  out.resize(out.size() - stream->z.avail_out);
  EXPECT_TRUE(RoundTrips(out, -15, expected));
  Decoded d = DecodeDeflate(out, false);
  ASSERT_EQ("", d.error);
  ASSERT_GE(d.tokens.size(), 10u);
  for (size_t i = 0; i < 10; i++) {
    EXPECT_EQ(matches[i].length, d.tokens[d.tokens.size() - 10 + i].length);
    EXPECT_EQ(matches[i].distance, d.tokens[d.tokens.size() - 10 + i].distance);
  }
}

/* A block's coded bytes gather on the stack and move to the pending chunks in runs: the
   block below starts after a first block of 0 to 63 literals, so at every bit offset
   and at many byte offsets in a chunk, and its long tokens (up to 48 bits) pass the
   stack buffer's fill mark many times. Every token must decode back, in order. */
TEST_F(TreeTest, BlockBytesArriveWhereverTheBlockStarts) {
  sample_data::Random r(17);
  for (uint32_t lead = 0; lead < 64; lead++) {
    puxz::deflateReset(&stream->z);
    std::vector<Token> expected;
    for (uint32_t i = 0; i < lead; i++) {
      uint32_t c = r.Next() & 0xFF;
      puxz::TallyLiteral(s, c);
      expected.push_back(Token{0, c});
    }
    puxz::FlushBlock(s, nullptr, 0, 0, 0);
    // Far matches of every length code, and literals: a block of some 6 KB.
    for (uint32_t i = 0; i < 3000; i++) {
      if (i % 3 == 0) {
        uint32_t c = r.Next() & 0xFF;
        puxz::TallyLiteral(s, c);
        expected.push_back(Token{0, c});
      } else {
        uint32_t length = 3 + r.Next() % 256, distance = 16384 + r.Next() % 16385;
        puxz::TallyMatch(s, distance, length - 3);
        expected.push_back(Token{length, distance});
      }
    }
    puxz::FlushBlock(s, nullptr, 0, 0, 1);
    Bytes out(40000);
    stream->z.next_out = out.data();
    stream->z.avail_out = (uint32_t)out.size();
    puxz::FlushPending(&stream->z);
    out.resize(out.size() - stream->z.avail_out);
    // The matches reach before the data; the decoder takes 32 KB of preset bytes.
    Decoded d = DecodeDeflate(out, false, Bytes(32768, 0));
    ASSERT_EQ("", d.error) << "lead " << lead;
    ASSERT_EQ(expected.size(), d.tokens.size()) << "lead " << lead;
    for (size_t i = 0; i < expected.size(); i++) {
      ASSERT_EQ(expected[i].length, d.tokens[i].length) << "lead " << lead << " token " << i;
      ASSERT_EQ(expected[i].distance, d.tokens[i].distance) << "lead " << lead << " token " << i;
    }
    EXPECT_EQ(0, s->biValid);
    EXPECT_EQ(0, s->pending);
  }
}

/* A block whose start has left the window cannot be stored, however much cheaper: it is
   coded from its tallies. */
TEST_F(TreeTest, AStoredBlockNeedsItsBytesInTheWindow) {
  Bytes in = sample_data::RandomBytes(1000, 78);
  for (int window = 0; window <= 1; window++) {
    for (size_t i = 0; i < in.size(); i++) {
      puxz::TallyLiteral(s, in[i]);
      s->window->SetByte((uint32_t)i, in[i]);
    }
    puxz::FlushBlock(s, window ? s->window : nullptr, 0, (uint32_t)in.size(), 1);
    Bytes out(4000);
    stream->z.next_out = out.data();
    stream->z.avail_out = (uint32_t)out.size();
    puxz::FlushPending(&stream->z);
    out.resize(out.size() - stream->z.avail_out);
    Decoded d = DecodeDeflate(out, false);
    ASSERT_EQ("", d.error);
    ASSERT_EQ(1u, d.blocks.size());
    EXPECT_EQ(window ? 0 : 2, d.blocks[0].type);
    EXPECT_EQ(in, d.data);
  }
}

TEST_F(DeflateTest, StoredBlocksWhereTheyPay) {
  Bytes in = sample_data::RandomBytes(200000, 3);
  Decoded d = DecodeDeflate(OurDeflate(Params{1, 15, 8, 0}, in, Pattern(), cookie), true);
  ASSERT_EQ("", d.error);
  EXPECT_TRUE(std::all_of(d.blocks.begin(), d.blocks.end(), [](const Block& b) { return b.type == 0; }));
  d = DecodeDeflate(OurDeflate(Params{1, 15, 8, 0}, sample_data::Text(50000, 3), Pattern(), cookie), true);
  ASSERT_EQ("", d.error);
  EXPECT_TRUE(std::all_of(d.blocks.begin(), d.blocks.end(), [](const Block& b) { return b.type == 2; }));
  // Level 0 cuts its stored blocks at litBufSize - 5 bytes.
  Bytes twenty = sample_data::RandomBytes(20000, 4);
  d = DecodeDeflate(OurDeflate(Params{0, 15, 7, 0}, twenty, Pattern(), cookie), true);
  ASSERT_EQ("", d.error);
  ASSERT_EQ(3u, d.blocks.size());
  EXPECT_EQ(8187u, d.blocks[0].storedLength);
  EXPECT_EQ(8187u, d.blocks[1].storedLength);
  EXPECT_EQ(3626u, d.blocks[2].storedLength);
  EXPECT_TRUE(d.blocks[2].last);
  // Tiny text: fixed codes cost less than sending a tree.
  d = DecodeDeflate(OurDeflate(Params{6, 15, 8, 0}, Bytes{'a', 'b', 'c'}, Pattern(), cookie), true);
  ASSERT_EQ(1u, d.blocks.size());
  EXPECT_EQ(1, d.blocks[0].type);
}

/* A partial flush right after a block whose end-of-block code is short may send its
   empty fixed-code block twice, so that an inflater has the bits to finish the block
   before; the stream stays valid either way. */
TEST_F(DeflateTest, PartialFlushesSendOneOrTwoEmptyBlocks) {
  int doubled = 0, single = 0;
  for (uint32_t n = 1000; n < 1032; n++) {
    Bytes in;
    for (uint32_t i = 0; i < n; i++) {
      in.push_back('a');
      in.push_back(i % 3 == 0 ? 'b' : 'a');
    }
    Bytes out = OurDeflate(Params{6, -15, 8, 2}, in, Pattern{(uint32_t)in.size() - 1, 0, 1}, cookie);
    Decoded d = DecodeDeflate(out, false);
    ASSERT_EQ("", d.error) << n;
    EXPECT_EQ(in, d.data);
    for (size_t i = 0; i + 1 < d.blocks.size(); i++) {
      if (d.blocks[i].type != 2) continue;
      bool first = d.blocks[i + 1].type == 1 && d.blocks[i + 1].tokens == 0;
      bool second = i + 2 < d.blocks.size() && d.blocks[i + 2].type == 1 && d.blocks[i + 2].tokens == 0 &&
                    !d.blocks[i + 2].last;
      if (first && second) doubled++;
      else if (first) single++;
    }
  }
  EXPECT_GT(doubled, 0);
  EXPECT_GT(single, 0);
}

TEST_F(DeflateTest, RunsOfZerosGiveTheDocumentedTokens) {
  Bytes out = OurDeflate(Params{1, -15, 8, 0}, Bytes(300, 0), Pattern(), cookie);
  Decoded d = DecodeDeflate(out, false);
  ASSERT_EQ("", d.error);
  ASSERT_EQ(4u, d.tokens.size());
  EXPECT_EQ(0u, d.tokens[0].length);
  EXPECT_EQ(0u, d.tokens[1].length) << "position 0 is never a match";
  EXPECT_EQ(258u, d.tokens[2].length);
  EXPECT_EQ(1u, d.tokens[2].distance);
  EXPECT_EQ(40u, d.tokens[3].length);
  EXPECT_EQ(258u, d.tokens[3].distance) << "strings inside the long match were not entered";
}

TEST_F(DeflateTest, StrategiesAndTheMatchersRules) {
  Bytes text = sample_data::Text(100000, 40);
  for (int level : {1, 6}) {
    Decoded d = DecodeDeflate(OurDeflate(Params{level, 15, 8, 2}, text, Pattern(), cookie), true);
    ASSERT_EQ("", d.error);
    EXPECT_TRUE(std::all_of(d.tokens.begin(), d.tokens.end(), [](const Token& t) { return t.length == 0; }))
        << "Huffman only: literals";
  }
  Decoded filtered = DecodeDeflate(OurDeflate(Params{6, 15, 8, 1}, text, Pattern(), cookie), true);
  ASSERT_EQ("", filtered.error);
  uint32_t matches = 0;
  for (const Token& t : filtered.tokens) {
    if (t.length == 0) continue;
    matches++;
    EXPECT_GT(t.length, 5u) << "filtered: no short matches";
  }
  EXPECT_GT(matches, 1000u);
  Decoded plain = DecodeDeflate(OurDeflate(Params{6, 15, 8, 0}, text, Pattern(), cookie), true);
  ASSERT_EQ("", plain.error);
  uint32_t near3 = 0;
  for (const Token& t : plain.tokens) {
    if (t.length == 3) {
      EXPECT_LE(t.distance, 4096u) << "a 3-byte match from farther back is not worth it";
      near3++;
    }
  }
  EXPECT_GT(near3, 100u);
}

/* The greatest distance is wSize - 262: a 300-byte pattern is found again at 32,506
   bytes and not at 32,507; with window bits 9, no distance passes 250. */
TEST_F(DeflateTest, NoMatchReachesFartherThanTheWindowAllows) {
  for (uint32_t distance : {32506u, 32507u}) {
    Bytes in = sample_data::RandomBytes(300, 5);
    Bytes filler = sample_data::RandomBytes(distance - 300, 6);
    in.insert(in.end(), filler.begin(), filler.end());
    in.insert(in.end(), in.begin(), in.begin() + 300);
    Decoded d = DecodeDeflate(OurDeflate(Params{9, 15, 8, 0}, in, Pattern(), cookie), true);
    ASSERT_EQ("", d.error);
    uint32_t farthest = 0;
    for (const Token& t : d.tokens) {
      if (t.length != 0) farthest = std::max(farthest, t.distance);
    }
    if (distance == 32506) EXPECT_EQ(32506u, farthest);
    else EXPECT_EQ(0u, farthest);
  }
  Bytes far = sample_data::FarRepeats(300000, 7);
  for (int bits : {9, 12, 15}) {
    Decoded d = DecodeDeflate(OurDeflate(Params{6, -bits, 8, 0}, far, Pattern{4096, 0, 0}, cookie), false);
    ASSERT_EQ("", d.error);
    for (const Token& t : d.tokens) ASSERT_LE(t.distance * (t.length != 0), (1u << bits) - 262);
  }
}

}  // namespace
}  // namespace compress_test
