/* The LZ77 side of the deflate engine: the sliding window and its hash chains, the
   search for the longest earlier match, and the three strategies that turn input into
   literals and matches. */
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <string.h>

#include "deflate_state.h"

namespace puxz {

namespace {

inline uint32_t Win(const DeflateState* s, uint32_t o) { return s->window->GetByte(o); }

inline uint32_t MaxDist(const DeflateState* s) { return s->wSize - MinLookahead; }

inline void UpdateHash(DeflateState* s, uint32_t c) { s->insH = ((s->insH << s->hashShift) ^ c) & s->hashMask; }

inline uint32_t Load16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

/* The chunk tables of an array's segments, held on the stack: an element costs two
   look-ups, and making the copy costs a handful of loads. */
struct Segments {
  explicit Segments(const ChunkedArray* a) {
    for (uint32_t k = 0; k < SegmentsPerArray; k++) table[k] = a->segments[k] != NULL ? a->segments[k]->chunks : NULL;
  }
  uint8_t* At(uint32_t o) const {
    return table[o >> 14][(o >> 8) & (ChunksPerSegment - 1)] + (o & (ChunkBytes - 1));
  }
  uint8_t* const* table[SegmentsPerArray];
};

/* How the strategies reach the window, the chains, the heads, the literal buffers and
   the literal frequencies. The arrays keep their chunks for the life of the stream, so
   each call of a strategy copies the chunk tables of the window, the chains and the
   heads onto the stack (at most 4 KB; the copies cost well under a microsecond, which
   matters to callers that hand over 256 bytes at a time): a window byte, a link or a
   head then costs one look-up. The match search follows a chain link after link, each
   link's address depending on the one before, so the chain table is copied twice, an
   entry per window position's chunk (positions p and p + wSize share a link), and no
   mask stands on that path: a link is a shift, a table load and the link's load (the
   offset in the chunk is formed beside the table load). The literal buffers, reached
   once per tally, keep two look-ups; the few tree chunks a tally counts in are held
   flat as well. Only offsets proven to lie inside the
   arrays take these paths (see each use); everything else goes through the guarded
   accessors. */
class Views {
 protected:
  explicit Views(DeflateState* s)
      : lengths(s->lBuf), distances(s->dBuf), ltree(s->dynLTree), dtree(s->dynDTree) {
    Flat(s->window, win);
    Flat(s->head, heads);
    uint32_t chunks = Flat(s->prev, chains);
    ChunkCopy(chains + chunks, chains, chunks * sizeof chains[0]);
    for (uint32_t k = 0; k < TallyChunks; k++) lnodes[k] = ltree.At(k * ChunkBytes);
    dnodes = dtree.At(0);
  }
  const uint8_t* Byte(uint32_t o) const { return win[o >> 8] + (o & 0xFF); }
  /* p below windowSize. */
  uint16_t& Link(uint32_t p) const { return reinterpret_cast<uint16_t*>(chains[p >> 7])[p & 0x7F]; }
  uint16_t& Head(uint32_t h) const { return reinterpret_cast<uint16_t*>(heads[h >> 7])[h & 0x7F]; }
  uint8_t& L(uint32_t i) const { return *lengths.At(i); }
  uint16_t& D(uint32_t i) const { return *reinterpret_cast<uint16_t*>(distances.At(i * 2)); }
  /* n below LCodes. */
  TreeNode& LNode(uint32_t n) const { return reinterpret_cast<TreeNode*>(lnodes[n >> 6])[n & 63]; }
  /* n below DCodes. */
  TreeNode& DNode(uint32_t n) const { return reinterpret_cast<TreeNode*>(dnodes)[n]; }

 private:
  /* The chunk addresses in order; their count. */
  static uint32_t Flat(const ChunkedArray* a, uint8_t** map) {
    uint32_t chunks = (a->size + ChunkBytes - 1) / ChunkBytes;
    for (uint32_t k = 0; k * ChunksPerSegment < chunks; k++) {
      uint32_t n = chunks - k * ChunksPerSegment < ChunksPerSegment ? chunks - k * ChunksPerSegment : ChunksPerSegment;
      ChunkCopy(map + k * ChunksPerSegment, a->segments[k]->chunks, n * sizeof map[0]);
    }
    return chunks;
  }
  uint8_t* win[MaxArrayBytes / ChunkBytes];
  uint8_t* chains[2 * MaxArrayBytes / ChunkBytes];
  uint8_t* heads[MaxArrayBytes / ChunkBytes];
  Segments lengths, distances, ltree, dtree;
  /* A tally counts a symbol of the literal tree's first LCodes records or of the distance
     tree's first DCodes (all in its first chunk): their chunks are held flat. */
  enum : uint32_t { TallyChunks = (LCodes * sizeof(TreeNode) + ChunkBytes - 1) / ChunkBytes };
  static_assert(sizeof(TreeNode) == 4 && ChunkBytes / sizeof(TreeNode) == 64, "64 records to a chunk");
  static_assert(DCodes * sizeof(TreeNode) <= ChunkBytes, "the distance codes' records share a chunk");
  uint8_t* lnodes[TallyChunks];
  uint8_t* dnodes;
};

/* The hot side of the strategies. */
class Matcher : Views {
 public:
  explicit Matcher(DeflateState* state) : Views(state), s(state) {}

  /* Window bytes at offsets below windowSize. */
  uint32_t At(uint32_t o) const { return *Byte(o); }
  /* Two window bytes from o on (o + 1 below windowSize), low byte first. */
  uint32_t Pair(uint32_t o) const {
    const uint8_t* p = Byte(o);
    return (o & 0xFF) != 0xFF ? Load16(p) : p[0] | At(o + 1) << 8;
  }

  /* Enters the string at p (p + 2 below strStart + lookahead) into its chain. */
  uint32_t Insert(uint32_t p) {
    s->insH = ((s->insH << s->hashShift) ^ At(p + MinMatch - 1)) & s->hashMask;
    uint16_t& h = Head(s->insH);
    uint32_t candidate = h;
    Link(p) = (uint16_t)candidate;
    h = (uint16_t)p;
    return candidate;
  }

  /* Enters the strings at first to last (each p + 2 below strStart + lookahead) with the
     hash state in registers: a store through a chain or head entry could otherwise alias
     the state's fields and force them back to memory at every string. */
  void InsertRun(uint32_t first, uint32_t last) {
    uint32_t h = s->insH;
    const uint32_t shift = s->hashShift, mask = s->hashMask;
    for (uint32_t p = first; p <= last; p++) {
      h = ((h << shift) ^ At(p + MinMatch - 1)) & mask;
      uint16_t& head = Head(h);
      Link(p) = head;
      head = (uint16_t)p;
    }
    s->insH = h;
  }

  uint32_t Longest(uint32_t cur);
  uint32_t LongestOfFew(uint32_t cur);

  /* The string after strStart, entered and searched beside the one at strStart; the
     next step takes the result, or Forget takes the entry back. */
  struct Ahead {
    bool valid;
    uint32_t candidate;             /* its chain's head when it was entered */
    uint32_t hash, link, insH;      /* what entering it changed */
    struct Found {
      uint32_t found, length, start;
    } whole, quarter; /* the best match over its whole chain, and over its first quarter */
  };
  uint32_t Pairwise(uint32_t cur, Ahead* ahead);
  uint32_t FromAhead(const Ahead& ahead);
  void Forget(const Ahead& ahead) {
    Head(ahead.hash) = (uint16_t)ahead.candidate;
    Link(s->strStart) = (uint16_t)ahead.link;
    s->insH = ahead.insH;
  }

  bool TallyLiteral(uint32_t c) {
    uint32_t i = s->lastLit++;
    D(i) = 0;
    L(i) = (uint8_t)c;
    LNode(c).fc++;
    return s->lastLit == s->litBufSize - 1;
  }
  bool TallyMatch(uint32_t dist, uint32_t lc) {
    uint32_t i = s->lastLit++;
    D(i) = (uint16_t)dist;
    L(i) = (uint8_t)lc;
    LNode(DeflateCodes.lengthCode[lc] + Literals + 1).fc++;
    DNode(DCode(dist - 1)).fc++;
    return s->lastLit == s->litBufSize - 1;
  }

  enum { Ready = -1, InputDone = -2 };
  /* Readies a step (Refill when short of lookahead): with 3 bytes in hand the string at
     strStart is entered and *h becomes the candidate from its chain; otherwise *h stays
     what the step before found. */
  __attribute__((always_inline)) int Step(int flush, uint32_t* h) {
    if (s->lookahead < MinLookahead) {
      int ready = Refill(flush);
      if (ready != Ready) return ready;
    }
    if (s->lookahead >= MinMatch) *h = Insert(s->strStart);
    return Ready;
  }
  int Refill(int flush);
  int Fast(int flush);
  int Slow(int flush);

 private:
  /* One match search: what the test of a candidate needs. best is the length a
     candidate must pass; length that of the match found (they differ only when a
     search's bar was raised from outside, see Pairwise). */
  struct Search {
    uint32_t strStart, best, nice, end, start, matchStart, found, length;
  };
  static Ahead::Found Result(const Search& w) { return {w.found, w.length, w.matchStart}; }
  __attribute__((noinline)) bool Candidate(Search* w, uint32_t cur) const;
  __attribute__((noinline)) int Lead(Search* a, Search* b, uint32_t cur, bool quartered) const;
  /* Candidates from *cur on: false once the chain passes limit or a match reaches the
     nice length; true when *left comes down to stop (*cur and *left then say where). */
  bool Walk(Search* w, uint32_t* cur, uint32_t limit, uint32_t* left, uint32_t stop) const;
  /* The two bytes at the end of the bar and the first two, against the string's. */
  uint32_t Quick(const Search& w, uint32_t cur) const {
    uint32_t e = cur + w.best - 1;
    if (__builtin_expect(((cur + 1) & 0xFF) != 0 && ((e + 1) & 0xFF) != 0, 1)) {
      return (Load16(Byte(e)) ^ w.end) | (Load16(Byte(cur)) ^ w.start);
    }
    return (Pair(e) ^ w.end) | (Pair(cur) ^ w.start);
  }
  /* What the lazy rule makes of a search's length at strStart: short matches that are
     not worth it count as none. */
  uint32_t Kept(uint32_t length, uint32_t matchStart) const {
    if (length <= 5 && (s->strategy == ZStrategy_Filtered ||
                        (length == MinMatch && s->strStart - matchStart > TooFar))) {
      return MinMatch - 1;
    }
    return length;
  }
  /* The least that a search at strStart reaching length already guarantees will be kept. */
  uint32_t SureKept(uint32_t length) const {
    return length >= (s->strategy == ZStrategy_Filtered ? 6u : 4u) ? length : MinMatch - 1;
  }
  /* Bytes equal from offset 3 on between the strings at scan and match. */
  uint32_t Matched(uint32_t scan, uint32_t match) const;

  DeflateState* s;
};

/* Positions below wSize leave the window (0, none); the rest move down by wSize. That is
   an unsigned saturating subtraction, eight positions to an SSE2 instruction: a slide
   touches every head and link, 48K of them per 32 KB of input at memLevel 8. Chunks are
   pool blocks after a 12-byte header, so the loads are unaligned ones. */
void SlidePositions(ChunkedArray* positions, uint32_t wSize) {
#ifdef __SSE2__
  const __m128i by = _mm_set1_epi16((short)wSize);
#endif
  for (uint32_t o = 0; o < positions->size; o += ChunkBytes) {
    uint8_t* p = positions->Address(o);
    uint32_t n = positions->size - o < ChunkBytes ? positions->size - o : ChunkBytes;
    uint32_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_subs_epu16(v, by));
    }
#endif
    for (uint16_t* q = reinterpret_cast<uint16_t*>(p + i); i + 2 <= n; i += 2, q++) {
      *q = (uint16_t)(*q >= wSize ? *q - wSize : 0);
    }
  }
}

/* The third byte is not compared: equal hashes and equal first two bytes imply it. The
   compare may run past the valid bytes (never past the window when scan + 258 fits);
   the caller cuts the length back to the lookahead. */
uint32_t Matcher::Matched(uint32_t scan, uint32_t match) const {
  uint32_t len = MinMatch;
  if (scan + MaxMatch > s->window->size) {  // reads past the window give 0 (never at these sizes)
    while (len < MaxMatch && Win(s, scan + len) == Win(s, match + len)) len++;
    return len;
  }
  while (len < MaxMatch) {
    uint32_t a = scan + len, b = match + len;
    const uint8_t* pa = Byte(a);
    const uint8_t* pb = Byte(b);
    uint32_t runA = ChunkBytes - (a & 0xFF), runB = ChunkBytes - (b & 0xFF);
    uint32_t n = runA < runB ? runA : runB;
    if (n > MaxMatch - len) n = MaxMatch - len;
    uint32_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
      __m128i equal = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + i)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + i)));
      uint32_t differ = (uint32_t)_mm_movemask_epi8(equal) ^ 0xFFFF;
      if (differ != 0) return len + i + __builtin_ctz(differ);
    }
#endif
    for (; i + 4 <= n; i += 4) {
      uint32_t diff = Load32(pa + i) ^ Load32(pb + i);
      if (diff != 0) return len + i + (__builtin_ctz(diff) >> 3);
    }
    for (; i < n; i++) {
      if (pa[i] != pb[i]) return len + i;
    }
    len += n;
  }
  return MaxMatch;
}

/* Every offset read here lies below strStart + 258, and strStart + 258 stays below
   windowSize: a step starts either with 262 bytes of lookahead in the window or right
   after a fill, which slides whenever strStart has reached windowSize - 262.

   The walk is bound by the chain: each link's address needs the link before it, a
   table look-up and the link's own load, so the loop keeps to that path. A candidate is
   tested on the two bytes at the end of the best match so far and on its first two,
   all four read and compared before one branch: tested one byte after another, the
   first test passes for about one candidate in four, and each pass was a mispredicted
   branch. Candidate holds the comparison, and its values stay in memory out of the
   loop's registers. */
uint32_t Matcher::Longest(uint32_t cur) {
  Search w;
  uint32_t chain = s->maxChainLength;
  w.strStart = s->strStart;
  w.best = s->prevLength;
  w.nice = (uint32_t)s->niceMatch;
  w.found = 0;
  const uint32_t maxDist = MaxDist(s);
  const uint32_t limit = w.strStart > maxDist ? w.strStart - maxDist : 0;
  if (s->prevLength >= s->goodMatch) chain >>= 2;
  if (w.nice > s->lookahead) w.nice = s->lookahead;
  w.start = Pair(w.strStart);
  w.end = Pair(w.strStart + w.best - 1);
  Walk(&w, &cur, limit, &chain, 0);
  if (w.found != 0) s->matchStart = w.matchStart;
  return w.best <= s->lookahead ? w.best : s->lookahead;
}

bool Matcher::Walk(Search* w, uint32_t* cur, uint32_t limit, uint32_t* left, uint32_t stop) const {
  uint32_t c = *cur, n = *left;
  for (;;) {
    uint32_t next = Link(c);
    if (Quick(*w, c) == 0 && Candidate(w, c)) return false;
    c = next;
    if (c <= limit) return false;
    if (--n == stop) break;
  }
  *cur = c;
  *left = n;
  return true;
}

/* The searches at strStart and at strStart + 1, one candidate of each in turn. A chain
   step waits on two dependent loads, the chunk of the link and the link; two
   independent walks overlap those waits (a lone walk cannot). The step at
   strStart + 1 then takes the second result as its own, which must be exactly what its
   own search would have found then:
   - Its bar would be the kept length found here (prevLength then), unknown until this
     search ends. The second walk starts with a bar of 2 and raises it to what the first
     has found whenever that is sure to be kept (SureKept): a lower bar admits more
     candidates but the first one to reach the longest length is admitted either way,
     and no later one of that length is. So when its match beats the final bar, it is
     the one the step would find; when not, the step finds none.
   - Its chain is a quarter as long when prevLength reaches the good length: the result
     after a quarter of the candidates is kept beside the whole one.
   - It stops early when the first search already settles that the step will not search
     (a kept length of the lazy limit or more) or will take the quarter's result.
   Only a step with no match in hand (prevLength 2) starts a pair: such a step never
   emits a match, so the next step is at strStart + 1. With more than MinLookahead bytes
   in hand neither search is cut by the lookahead nor needs a fill between them. The
   string at strStart + 1 is entered into its chain first (it lies beyond every link
   the search at strStart can reach: those stay within maxDist). */
uint32_t Matcher::Pairwise(uint32_t curA, Ahead* ahead) {
  const uint32_t p = s->strStart + 1;
  ahead->valid = true;
  ahead->insH = s->insH;
  ahead->link = Link(p);
  uint32_t curB = Insert(p);
  ahead->hash = s->insH;
  ahead->candidate = curB;

  const uint32_t maxDist = MaxDist(s);
  Search a, b;
  a.strStart = s->strStart;
  b.strStart = p;
  a.best = b.best = MinMatch - 1;
  a.nice = b.nice = (uint32_t)s->niceMatch;
  a.found = b.found = 0;
  a.length = b.length = 0;
  a.start = Pair(a.strStart);
  a.end = Pair(a.strStart + 1);
  b.start = Pair(p);
  b.end = Pair(p + 1);
  const uint32_t limitA = a.strStart > maxDist ? a.strStart - maxDist : 0;
  const uint32_t limitB = p > maxDist ? p - maxDist : 0;
  uint32_t left = s->maxChainLength;
  const uint32_t quarterAt = left - (left >> 2);
  bool quartered = false;
  bool liveA = true, liveB = curB != 0 && p - curB <= maxDist;

  if (liveB) {
    for (;;) {
      uint32_t nextA = Link(curA), nextB = Link(curB);
      uint32_t diffA = Quick(a, curA), diffB = Quick(b, curB);
      if (__builtin_expect(diffA == 0, 0)) {
        int r = Lead(&a, &b, curA, quartered);
        if (r & 1) liveA = false;
        if (r & 2) liveB = false;
      }
      if (__builtin_expect(diffB == 0, 0) && liveB && Candidate(&b, curB)) liveB = false;
      curA = nextA;
      curB = nextB;
      left--;
      if (curA <= limitA) liveA = false;
      if (curB <= limitB) liveB = false;
      if (left == quarterAt) {
        ahead->quarter = Result(b);
        quartered = true;
      }
      if (!(liveA && liveB) || left == 0) break;
    }
  }
  if (left == 0) liveA = liveB = false;
  if (liveA) {
    Walk(&a, &curA, limitA, &left, 0);
  } else if (liveB) {
    // The first search is over: the bar and the chain of the second are known.
    uint32_t bar = Kept(a.best, a.matchStart);
    if (bar >= s->maxLazyMatch) {
      liveB = false;
    } else {
      if (bar > b.best) {
        b.best = bar;
        b.end = Pair(p + bar - 1);
      }
      if (!quartered) {
        liveB = Walk(&b, &curB, limitB, &left, quarterAt);
        ahead->quarter = Result(b);
        quartered = true;
      }
      if (liveB && bar < s->goodMatch) Walk(&b, &curB, limitB, &left, 0);
    }
  }
  if (!quartered) ahead->quarter = Result(b);
  ahead->whole = Result(b);
  if (a.found != 0) s->matchStart = a.matchStart;
  return a.best;
}

/* The step after a pair: its search's result, as Longest would have given it. */
uint32_t Matcher::FromAhead(const Ahead& ahead) {
  bool quarter = s->prevLength >= s->goodMatch;
  const Ahead::Found& r = quarter ? ahead.quarter : ahead.whole;
  if (r.found != 0 && r.length > s->prevLength) {
    s->matchStart = r.start;
    return r.length;
  }
  return s->prevLength;
}

/* The search of the greedy levels, whose chains are short (at most 32 candidates) and
   whose nice length is small: there a candidate passes the first test far more often,
   and the comparison belongs in the loop rather than behind a call. */
uint32_t Matcher::LongestOfFew(uint32_t cur) {
  uint32_t chain = s->maxChainLength;
  const uint32_t strStart = s->strStart;
  uint32_t best = s->prevLength;
  uint32_t nice = (uint32_t)s->niceMatch;
  const uint32_t maxDist = MaxDist(s);
  const uint32_t limit = strStart > maxDist ? strStart - maxDist : 0;
  if (s->prevLength >= s->goodMatch) chain >>= 2;
  if (nice > s->lookahead) nice = s->lookahead;
  const uint32_t start = Pair(strStart);
  uint32_t end = At(strStart + best);
  for (;;) {
    uint32_t next = Link(cur);
    if (At(cur + best) == end && At(cur + best - 1) == At(strStart + best - 1) && Pair(cur) == start) {
      uint32_t len = Matched(strStart, cur);
      if (len > best) {
        s->matchStart = cur;
        best = len;
        if (len >= nice) break;
        end = At(strStart + best);
      }
    }
    cur = next;
    if (cur <= limit || --chain == 0) break;
  }
  return best <= s->lookahead ? best : s->lookahead;
}

/* The candidate at cur, whose two bytes at the end of the best match and whose first
   two bytes are right: true when it reaches the nice length (the search ends). */
bool Matcher::Candidate(Search* w, uint32_t cur) const {
  uint32_t len = Matched(w->strStart, cur);
  if (len <= w->best) return false;
  w->matchStart = cur;
  w->found = 1;
  w->best = w->length = len;
  if (len >= w->nice) return true;
  w->end = Pair(w->strStart + len - 1);
  return false;
}

/* A candidate of the first search of a pair passed the quick test: compare it, and
   raise the second search's bar to what is now sure to be kept. Bit 1: the first search
   reached the nice length; bit 2: the second needs no more candidates (its step will
   not search, or will take the quarter's result, already recorded). */
int Matcher::Lead(Search* a, Search* b, uint32_t cur, bool quartered) const {
  uint32_t before = a->best;
  int r = Candidate(a, cur) ? 1 : 0;
  if (a->best == before) return r;
  uint32_t bar = SureKept(a->best);
  if (bar >= s->maxLazyMatch || (quartered && bar >= s->goodMatch)) return r | 2;
  if (bar > b->best) {
    b->best = bar;
    b->end = Pair(b->strStart + bar - 1);
  }
  return r;
}

/* Flushing a block; the strategy returns when the output is full. */
#define FLUSH_BLOCK(s, last)                                                   \
  do {                                                                         \
    FlushBlockOnly(s, last);                                                   \
    if ((s)->stream->avail_out == 0) return (last) ? FinishStarted : NeedMore; \
  } while (0)

/* What ends every strategy once the input is used up: the block so far, the last one
   when finishing. */
int LastBlock(DeflateState* s, int flush) {
  FLUSH_BLOCK(s, flush == ZFlush_Finish);
  return flush == ZFlush_Finish ? FinishDone : BlockDone;
}

/* A step needs MinLookahead bytes in hand unless the input is to be flushed: NeedMore
   when the strategy must wait for input, InputDone when nothing is left, else Ready. */
int Matcher::Refill(int flush) {
  FillWindow(s);
  if (s->lookahead < MinLookahead && flush == ZFlush_None) return NeedMore;
  return s->lookahead == 0 ? InputDone : Ready;
}

/* Insertions happen only with 3 bytes of lookahead, so p + 2 is valid data. */
int Matcher::Fast(int flush) {
  uint32_t h = 0;
  bool literal = false;
  for (int ready; (ready = Step(flush, &h)) != InputDone;) {
    if (ready == NeedMore) return NeedMore;
    if (literal && s->lookahead >= MinLookahead) {
      // After a literal the next step is likely one too: its string's head line comes
      // in while this step walks its chain (where matches are common, the guess would
      // mostly miss and cost more than it saves).
      __builtin_prefetch(&Head(((s->insH << s->hashShift) ^ At(s->strStart + MinMatch)) & s->hashMask));
    }
    if (h != 0 && s->strStart - h <= MaxDist(s) && s->strategy != ZStrategy_HuffmanOnly) {
      s->matchLength = LongestOfFew(h);
    }
    bool full;
    literal = s->matchLength < MinMatch;
    if (!literal) {
      full = TallyMatch(s->strStart - s->matchStart, s->matchLength - MinMatch);
      s->lookahead -= s->matchLength;
      if (s->matchLength <= s->maxLazyMatch && s->lookahead >= MinMatch) {
        // Short matches: every string inside is entered.
        InsertRun(s->strStart + 1, s->strStart + s->matchLength - 1);
        s->strStart += s->matchLength;
        s->matchLength = 0;
      } else {
        s->strStart += s->matchLength;
        s->matchLength = 0;
        s->insH = Win(s, s->strStart);
        UpdateHash(s, Win(s, s->strStart + 1));
      }
    } else {
      full = TallyLiteral(At(s->strStart));
      s->lookahead--;
      s->strStart++;
    }
    if (full) FLUSH_BLOCK(s, 0);
  }
  return LastBlock(s, flush);
}

int Matcher::Slow(int flush) {
  uint32_t h = 0;
  Ahead ahead;
  ahead.valid = false;
  for (;;) {
    bool prepared = ahead.valid;
    ahead.valid = false;
    if (prepared) {
      h = ahead.candidate;  // entered, and searched, by the step before
    } else {
      int ready = Step(flush, &h);
      if (ready == InputDone) break;
      if (ready == NeedMore) return NeedMore;
    }
    s->prevLength = s->matchLength;
    s->prevMatch = s->matchStart;
    s->matchLength = MinMatch - 1;
    if (h != 0 && s->prevLength < s->maxLazyMatch && s->strStart - h <= MaxDist(s)) {
      if (s->strategy != ZStrategy_HuffmanOnly) {
        if (prepared) {
          s->matchLength = FromAhead(ahead);
        } else if (s->prevLength == MinMatch - 1 && s->lookahead > MinLookahead) {
          s->matchLength = Pairwise(h, &ahead);
        } else {
          s->matchLength = Longest(h);
        }
      }
      s->matchLength = Kept(s->matchLength, s->matchStart);
    }
    if (s->prevLength >= MinMatch && s->matchLength <= s->prevLength) {
      // The previous match is at least as good: emit it. (Never after a pair began here.)
      uint32_t maxInsert = s->strStart + s->lookahead - MinMatch;
      bool full = TallyMatch(s->strStart - 1 - s->prevMatch, s->prevLength - MinMatch);
      s->lookahead -= s->prevLength - 1;
      // The strings inside the match, from strStart + 1 to strStart + prevLength - 2.
      uint32_t last = s->strStart + s->prevLength - 2;
      InsertRun(s->strStart + 1, last < maxInsert ? last : maxInsert);
      s->strStart = last + 1;
      s->prevLength = 0;
      s->matchAvailable = 0;
      s->matchLength = MinMatch - 1;
      if (full) FLUSH_BLOCK(s, 0);
    } else if (s->matchAvailable) {
      // No better match here: the previous byte goes out as a literal.
      if (TallyLiteral(At(s->strStart - 1))) FlushBlockOnly(s, 0);
      s->strStart++;
      s->lookahead--;
      if (s->stream->avail_out == 0) {
        // The next call searches again for the string entered ahead.
        if (ahead.valid) Forget(ahead);
        return NeedMore;
      }
    } else {
      s->matchAvailable = 1;
      s->strStart++;
      s->lookahead--;
    }
  }
  if (s->matchAvailable) {
    TallyLiteral(At(s->strStart - 1));
    s->matchAvailable = 0;
  }
  return LastBlock(s, flush);
}

}  // namespace

void ClearHeads(DeflateState* s) {
  for (uint32_t o = 0; o < s->head->size; o += ChunkBytes) {
    uint32_t n = s->head->size - o < ChunkBytes ? s->head->size - o : ChunkBytes;
    memset(s->head->Address(o), 0, n);
  }
}

void InitMatcher(DeflateState* s) {
  s->windowSize = 2 * s->wSize;
  ClearHeads(s);
  const DeflateConfig& config = DeflateConfigTable[s->level];
  s->maxLazyMatch = config.maxLazy;
  s->goodMatch = config.goodLength;
  s->niceMatch = config.niceLength;
  s->maxChainLength = config.maxChain;
  s->strStart = 0;
  s->blockStart = 0;
  s->lookahead = 0;
  s->matchLength = s->prevLength = MinMatch - 1;
  s->matchAvailable = 0;
  s->insH = 0;
}

void FillWindow(DeflateState* s) {
  z_stream* strm = s->stream;
  uint32_t wSize = s->wSize;
  do {
    uint32_t more = s->windowSize - s->lookahead - s->strStart;
    if (s->strStart >= wSize + MaxDist(s)) {
      // The upper half becomes the lower half.
      for (uint32_t o = 0; o < wSize; o += ChunkBytes) {
        ChunkCopy(s->window->Address(o), s->window->Address(o + wSize), ChunkBytes);
      }
      s->matchStart -= wSize;
      s->strStart -= wSize;
      s->blockStart -= (int32_t)wSize;
      SlidePositions(s->head, wSize);
      SlidePositions(s->prev, wSize);
      more += wSize;
    }
    if (strm->avail_in == 0) return;
    s->lookahead += ReadBuf(strm, s->window, s->strStart + s->lookahead, more);
    if (s->lookahead >= MinMatch) {
      s->insH = Win(s, s->strStart);
      UpdateHash(s, Win(s, s->strStart + 1));
    }
  } while (s->lookahead < MinLookahead && strm->avail_in != 0);
}

uint32_t LongestMatch(DeflateState* s, uint32_t cur) { return Matcher(s).Longest(cur); }

/* The strategies flush a full buffer before the next tally; a caller from outside that
   does not is stopped here rather than writing past the buffers. */
bool TallyLiteral(DeflateState* s, uint32_t c) {
  if (s->lastLit >= s->litBufSize - 1) {
    ChunkedArray::CountDroppedWrite();
    return true;
  }
  return Matcher(s).TallyLiteral(c & 0xFF);
}

bool TallyMatch(DeflateState* s, uint32_t dist, uint32_t lc) {
  if (s->lastLit >= s->litBufSize - 1 || dist - 1 >= s->wSize) {
    ChunkedArray::CountDroppedWrite();
    return true;
  }
  return Matcher(s).TallyMatch(dist, lc & 0xFF);
}

void FlushBlockOnly(DeflateState* s, int last) {
  bool inWindow = s->blockStart >= 0;
  FlushBlock(s, inWindow ? s->window : NULL, inWindow ? (uint32_t)s->blockStart : 0,
             s->strStart - (uint32_t)s->blockStart, last);
  s->blockStart = (int32_t)s->strStart;
  FlushPending(s->stream);
}

int DeflateStored(DeflateState* s, int flush) {
  uint32_t maxBlock = s->litBufSize - 5 < 0xFFFF ? s->litBufSize - 5 : 0xFFFF;
  for (;;) {
    if (s->lookahead <= 1) {
      FillWindow(s);
      if (s->lookahead == 0 && flush == ZFlush_None) return NeedMore;
      if (s->lookahead == 0) break;
    }
    s->strStart += s->lookahead;
    s->lookahead = 0;
    uint32_t maxStart = (uint32_t)s->blockStart + maxBlock;
    if (s->strStart >= maxStart) {
      s->lookahead = s->strStart - maxStart;
      s->strStart = maxStart;
      FLUSH_BLOCK(s, 0);
    }
    // A block must be out before the window slides its start away.
    if (s->strStart - (uint32_t)s->blockStart >= MaxDist(s)) FLUSH_BLOCK(s, 0);
  }
  return LastBlock(s, flush);
}

int DeflateFast(DeflateState* s, int flush) { return Matcher(s).Fast(flush); }

int DeflateSlow(DeflateState* s, int flush) { return Matcher(s).Slow(flush); }

}  // namespace puxz
