/* Magnitude arithmetic: addition, the signed difference, multiplication and long
   division. Operands up to a few thousand bytes are worked on as 32-bit words in local
   buffers (schoolbook products, the quotient a word at a time with its estimate
   corrected); larger ones by the heap routines below: schoolbook multiplication in base
   256 and shift-and-subtract division on word arrays. Both give the one exact answer. */
#include "biginteger.h"

namespace bigint {

namespace {

inline uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }

}  // namespace

/* ---- arrays ---- */

Mag* CreateByteArray(Context& ctx, uint32_t n) {
  Mag* a = Mag::CreateInstance(ctx.heap, n, ctx.kind, VMTag_VMUserArrayInstance);
  if (a == NULL) return NULL;
  a->SetIsScalarArray();
  if (ctx.byteArrayClass != NULL) a->SetClass(ctx.byteArrayClass);
  a->SetIsReachableByCPlusPlusCode();
  return a;
}

Words* CreateWordArray(Context& ctx, uint32_t n) {
  Words* a = Words::CreateInstance(ctx.heap, n, ctx.kind, VMTag_VMuintArray);
  if (a == NULL) return NULL;
  a->SetIsScalarArray();
  a->SetIsReachableByCPlusPlusCode();
  return a;
}

void Free(Context& ctx, VMArray* a) {
  if (a != NULL) a->Destroy(ctx.heap);
}

void Release(VMArray* a) {
  if (a != NULL) a->ClearIsReachableByCPlusPlusCode();
}

Mag* StripLeadingZeros(Context& ctx, Mag* a, bool owned) {
  uint32_t n = Len(a);
  uint32_t zeros = 0;
  while (zeros < n && GetByte(a, zeros) == 0) zeros++;
  if (zeros == 0) return a;
  Mag* r = CreateByteArray(ctx, n - zeros);
  if (r == NULL) {
    // The value is lost with the copy: a silent NULL would read as a result.
    if (owned) Free(ctx, a);
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  r->Copy(a, zeros, 0, n - zeros);
  if (owned) Free(ctx, a);
  return r;
}

Mag* CopyMagnitude(Context& ctx, const Mag* a) {
  Mag* r = CreateByteArray(ctx, Len(a));
  if (r == NULL) {
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  r->Copy(a, 0, 0, Len(a));
  return r;
}

/* ---- addition and subtraction ---- */

Mag* AddMagnitudes(Context& ctx, const Mag* a, const Mag* b) {
  uint32_t n = Max(Len(a), Len(b)) + 1;
  Mag* r = CreateByteArray(ctx, n);
  if (r == NULL) {
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  uint32_t carry = 0;
  for (uint32_t i = 0; i + 1 < n; i++) {
    uint32_t s = ByteFromEnd(a, i) + ByteFromEnd(b, i) + carry;
    carry = s > 255 ? 1 : 0;
    SetByte(r, n - 1 - i, (uint8_t)s);
  }
  SetByte(r, 0, (uint8_t)carry);
  return StripLeadingZeros(ctx, r, true);
}

Mag* SubtractMagnitudes(Context& ctx, const Mag* a, const Mag* b) {
  uint32_t n = Max(Len(a), Len(b)) + 1;
  Mag* r = CreateByteArray(ctx, n);
  if (r == NULL) {
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  uint32_t borrow = 0;
  for (uint32_t i = 0; i + 1 < n; i++) {
    uint32_t x = ByteFromEnd(a, i), y = ByteFromEnd(b, i);
    if (y + borrow <= x) {
      SetByte(r, n - 1 - i, (uint8_t)(x - y - borrow));
      borrow = 0;
    } else {
      SetByte(r, n - 1 - i, (uint8_t)(x + 256 - y - borrow));
      borrow = 1;
    }
  }
  SetByte(r, 0, borrow ? 0xFF : 0x00);
  return r;
}

/* ---- words in local buffers (least significant first) ---- */

namespace {

/* The value of a as n words, n * 4 >= Len(a) (more words are zero). */
void LoadWords(const Mag* a, uint32_t* w, uint32_t n) {
  memset(w, 0, n * 4);
  uint32_t len = Len(a);
  for (uint32_t k = 0; k < len; k++) w[k >> 2] |= (uint32_t)GetByte(a, len - 1 - k) << (8 * (k & 3));
}

/* The low Len(out) bytes of the value of w (n words) into out, big-endian. */
void StoreWords(const uint32_t* w, uint32_t n, Mag* out) {
  uint32_t len = Len(out);
  for (uint32_t k = 0; k < len; k++) SetByte(out, len - 1 - k, (uint8_t)(k / 4 < n ? w[k >> 2] >> (8 * (k & 3)) : 0));
}

uint32_t Significant(const uint32_t* w, uint32_t n) {
  while (n > 0 && w[n - 1] == 0) n--;
  return n;
}

/* p (an + bn words) = a * b. */
void MultiplyWords(const uint32_t* a, uint32_t an, const uint32_t* b, uint32_t bn, uint32_t* p) {
  memset(p, 0, (an + bn) * 4);
  for (uint32_t i = 0; i < bn; i++) {
    uint64_t y = b[i];
    if (y == 0) continue;
    uint64_t carry = 0;
    for (uint32_t j = 0; j < an; j++) {
      uint64_t t = a[j] * y + p[i + j] + carry;
      p[i + j] = (uint32_t)t;
      carry = t >> 32;
    }
    p[i + an] = (uint32_t)carry;
  }
}

/* The quotient (un - vn + 1 words, when q is not NULL) and remainder (vn words) of u
   (un words) by v (vn words, the top one nonzero, un >= vn). The quotient is found a
   word at a time from the top two words of the normalised remainder, its estimate
   corrected at most twice before the subtraction and once after. work holds un + 1 + vn
   words. False when the poll stopped it. */
bool DivideWordsFast(Context& ctx, const uint32_t* u, uint32_t un, const uint32_t* v, uint32_t vn, uint32_t* q,
                     uint32_t* r, uint32_t* work) {
  if (vn == 1) {
    uint64_t rem = 0;
    for (uint32_t i = un; i-- > 0;) {
      uint64_t cur = (rem << 32) | u[i];
      if (q != NULL) q[i] = (uint32_t)(cur / v[0]);
      rem = cur % v[0];
    }
    r[0] = (uint32_t)rem;
    return ctx.Step(un / 8 + 1);
  }
  uint32_t* nu = work;            // un + 1 words
  uint32_t* nv = work + un + 1;   // vn words
  uint32_t s = (uint32_t)__builtin_clz(v[vn - 1]);
  for (uint32_t i = vn - 1; i > 0; i--) nv[i] = (v[i] << s) | (s != 0 ? v[i - 1] >> (32 - s) : 0);
  nv[0] = v[0] << s;
  nu[un] = s != 0 ? u[un - 1] >> (32 - s) : 0;
  for (uint32_t i = un - 1; i > 0; i--) nu[i] = (u[i] << s) | (s != 0 ? u[i - 1] >> (32 - s) : 0);
  nu[0] = u[0] << s;
  const uint64_t base = (uint64_t)1 << 32;
  for (uint32_t j = un - vn + 1; j-- > 0;) {
    uint64_t top = ((uint64_t)nu[j + vn] << 32) | nu[j + vn - 1];
    uint64_t qhat = top / nv[vn - 1];
    uint64_t rhat = top % nv[vn - 1];
    while (qhat >= base || qhat * nv[vn - 2] > ((rhat << 32) | nu[j + vn - 2])) {
      qhat--;
      rhat += nv[vn - 1];
      if (rhat >= base) break;
    }
    int64_t borrow = 0, t = 0;
    for (uint32_t i = 0; i < vn; i++) {
      uint64_t p = qhat * nv[i];
      t = (int64_t)nu[i + j] - borrow - (int64_t)(p & 0xFFFFFFFFu);
      nu[i + j] = (uint32_t)t;
      borrow = (int64_t)(p >> 32) - (t >> 32);
    }
    t = (int64_t)nu[j + vn] - borrow;
    nu[j + vn] = (uint32_t)t;
    if (t < 0) {
      // The estimate was one too large: add the divisor back.
      qhat--;
      uint64_t carry = 0;
      for (uint32_t i = 0; i < vn; i++) {
        uint64_t sum = (uint64_t)nu[i + j] + nv[i] + carry;
        nu[i + j] = (uint32_t)sum;
        carry = sum >> 32;
      }
      nu[j + vn] += (uint32_t)carry;
    }
    if (q != NULL) q[j] = (uint32_t)qhat;
    if (!ctx.Step((un + 1) * 32)) return false;
  }
  for (uint32_t i = 0; i + 1 < vn; i++) r[i] = (nu[i] >> s) | (s != 0 ? nu[i + 1] << (32 - s) : 0);
  r[vn - 1] = nu[vn - 1] >> s;
  return true;
}

}  // namespace

/* ---- multiplication ---- */

void AccumulateMagnitude(Mag* acc, const Mag* x) {
  uint32_t n = Len(acc);
  uint32_t carry = 0;
  for (uint32_t i = 0; i < n; i++) {
    uint32_t s = GetByte(acc, n - 1 - i) + ByteFromEnd(x, i) + carry;
    carry = s > 255 ? 1 : 0;
    SetByte(acc, n - 1 - i, (uint8_t)s);
  }
}

Mag* MultiplyMagnitudes(Context& ctx, const Mag* a, const Mag* b) {
  uint32_t la = Len(a), lb = Len(b);
  uint32_t n = la + lb;
  if (n < la) {  // beyond any array
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  if (la <= kFastBytes && lb <= kFastBytes) {
    uint32_t aw[kFastBytes / 4], bw[kFastBytes / 4], pw[kFastBytes / 2];
    uint32_t an = (la + 3) / 4, bn = (lb + 3) / 4;
    LoadWords(a, aw, an);
    LoadWords(b, bw, bn);
    // The polls of the row-by-row product it replaces, a word row at a time.
    for (uint32_t done = 0; done < bn; done += 4) {
      if (!ctx.Step((la / 2 + 1) * 16)) return NULL;
    }
    MultiplyWords(aw, an, bw, bn, pw);
    Mag* product = CreateByteArray(ctx, n);
    if (product == NULL) {
      ctx.Raise(VMStatus_OutOfMemoryError, "");
      return NULL;
    }
    StoreWords(pw, an + bn, product);
    return StripLeadingZeros(ctx, product, true);
  }
  Mag* acc = CreateByteArray(ctx, n);
  Mag* row = acc != NULL ? CreateByteArray(ctx, n) : NULL;
  if (row == NULL) {
    Free(ctx, acc);
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  for (uint32_t j = 0; j < lb; j++) {
    uint32_t y = ByteFromEnd(b, j);
    if (y == 0) continue;
    // The row's bytes outside n-1-la-j .. n-1-j are zero for what follows: only that
    // window is written, and only that window (and the carry above it) is added.
    uint32_t carry = 0;
    for (uint32_t i = 0; i < la; i++) {
      uint32_t t = ByteFromEnd(a, i) * y + carry;
      carry = t >> 8;
      SetByte(row, n - 1 - i - j, (uint8_t)t);
    }
    SetByte(row, n - 1 - la - j, (uint8_t)carry);
    uint32_t sum = 0;
    uint32_t k = n - 1 - j;
    for (uint32_t i = 0; i <= la; i++, k--) {
      sum += GetByte(acc, k) + GetByte(row, k);
      SetByte(acc, k, (uint8_t)sum);
      sum >>= 8;
    }
    // k is now the byte above the window (wrapped past 0 when the window reached it).
    while (sum != 0 && k < n) {
      sum += GetByte(acc, k);
      SetByte(acc, k, (uint8_t)sum);
      sum >>= 8;
      k--;
    }
    if (!ctx.Step(la / 2 + 1)) {
      Free(ctx, row);
      Free(ctx, acc);
      return NULL;
    }
  }
  Free(ctx, row);
  return StripLeadingZeros(ctx, acc, true);
}

/* ---- division ---- */

void BytesToWords(const Mag* bytes, Words* words) {
  uint32_t w = Len(words), n = Len(bytes);
  for (uint32_t i = 0; i < w; i++) PutWord(words, i, 0);
  for (uint32_t k = 0; k < n && k / 4 < w; k++) {
    uint32_t at = w - 1 - k / 4;
    PutWord(words, at, GetWord(words, at) | ((uint32_t)GetByte(bytes, n - 1 - k) << (8 * (k & 3))));
  }
}

void WordsToBytes(const Words* words, Mag* bytes) {
  uint32_t w = Len(words), n = Len(bytes);
  for (uint32_t k = 0; k < n; k++) {
    uint32_t word = k / 4 < w ? GetWord(words, w - 1 - k / 4) : 0;
    SetByte(bytes, n - 1 - k, (uint8_t)(word >> (8 * (k & 3))));
  }
}

uint32_t WordsBitLength(const Words* x) {
  uint32_t w = Len(x);
  for (uint32_t i = 0; i < w; i++) {
    uint32_t v = GetWord(x, i);
    if (v == 0) continue;
    uint32_t bits = 32 - (uint32_t)__builtin_clz(v);
    return 32 * (w - 1 - i) + bits;
  }
  return 0;
}

namespace {

/* The borrow out of x - y - borrow, computed as the word rule has it. */
inline uint32_t BorrowOut(uint32_t x, uint32_t y, uint32_t borrow) {
  if (x == 0) return (y != 0 || borrow != 0) ? 1 : 0;
  return x - borrow < y ? 1 : 0;
}

}  // namespace

uint32_t WordsLess(const Words* x, const Words* y, uint32_t skip) {
  uint32_t w = Len(x);
  uint32_t borrow = 0;
  for (uint32_t i = w - skip; i-- > 0;) borrow = BorrowOut(GetWord(x, i), GetWord(y, i), borrow);
  return borrow;
}

uint32_t SubtractWords(Words* x, const Words* y, uint32_t skip) {
  uint32_t w = Len(x);
  uint32_t borrow = 0;
  for (uint32_t i = w - skip; i-- > 0;) {
    uint32_t a = GetWord(x, i), b = GetWord(y, i);
    uint32_t out = BorrowOut(a, b, borrow);
    PutWord(x, i, a - b - borrow);
    borrow = out;
  }
  return borrow;
}

uint32_t ShiftWordsLeft1(Words* x, uint32_t skip) {
  uint32_t w = Len(x);
  uint32_t carry = 0;
  for (uint32_t i = w - skip; i-- > 0;) {
    uint32_t v = GetWord(x, i);
    PutWord(x, i, (v << 1) | carry);
    carry = v >> 31;
  }
  return carry;
}

void ShiftWordsRight1(Words* x) {
  uint32_t w = Len(x);
  uint32_t carry = 0;
  for (uint32_t i = 0; i < w; i++) {
    uint32_t v = GetWord(x, i);
    PutWord(x, i, (v >> 1) | (carry << 31));
    carry = v & 1;
  }
}

void SetWordBit(Words* x, uint32_t k) {
  uint32_t at = Len(x) - 1 - k / 32;
  PutWord(x, at, GetWord(x, at) | (1u << (k & 31)));
}

bool DivideWords(Context& ctx, Words* n, Words* d, Words* q) {
  uint32_t w = Len(n);
  if (q != NULL) {
    for (uint32_t i = 0; i < Len(q); i++) PutWord(q, i, 0);
  }
  uint32_t bN = WordsBitLength(n), bD = WordsBitLength(d);
  if (bN < bD) return true;
  if (bN == bD) {
    if (!WordsLess(n, d, 0)) {
      SubtractWords(n, d, 0);
      if (q != NULL) SetWordBit(q, 0);
    }
    return true;
  }
  uint32_t s = bN - bD;
  uint32_t ws = s / 32;
  if (ws > 0) {
    for (uint32_t i = 0; i + ws < w; i++) PutWord(d, i, GetWord(d, i + ws));
    for (uint32_t i = w - ws; i < w; i++) PutWord(d, i, 0);
  }
  for (uint32_t i = 0; i < s - 32 * ws; i++) ShiftWordsLeft1(d, ws);
  while (s != 0) {
    if (WordsLess(n, d, ws)) {
      ShiftWordsRight1(d);
      s--;
      ws = s / 32;
    }
    if (q != NULL) SetWordBit(q, s);
    SubtractWords(n, d, ws);
    bN = WordsBitLength(n);
    VM_ASSERT(bN <= bD + s);  // magNumer <= magDenom + nShiftBits
    while (s != 0 && bN < bD + s) {
      ShiftWordsRight1(d);
      s--;
      ws = s / 32;
    }
    if (!ctx.Step(w + 1)) return false;
  }
  if (!WordsLess(n, d, 0)) {
    SubtractWords(n, d, 0);
    if (q != NULL) SetWordBit(q, 0);
  }
  return true;
}

namespace {

/* DivideMagnitudes for operands of up to 2 * kFastBytes bytes (l the longer length). */
bool DivideInBuffers(Context& ctx, const Mag* n, const Mag* d, Mag** quotient, Mag** remainder, DivideMode mode,
                     uint32_t l) {
  const uint32_t kWords = 2 * kFastBytes / 4;
  uint32_t nw[kWords], dw[kWords], qw[kWords], rw[kWords], work[2 * kWords + 1];
  uint32_t w = (l + 3) / 4;
  LoadWords(n, nw, w);
  LoadWords(d, dw, w);
  uint32_t dn = Significant(dw, w), nn = Significant(nw, w);
  if (dn == 0) {
    ctx.Raise(VMStatus_ArithmeticException, NULL);
    return false;
  }
  memset(qw, 0, w * 4);
  memset(rw, 0, w * 4);
  if (nn < dn) {
    memcpy(rw, nw, w * 4);
  } else if (!DivideWordsFast(ctx, nw, nn, dw, dn, qw, rw, work)) {
    return false;
  }
  Mag* r = NULL;
  if (mode != kQuotient) {
    r = CreateByteArray(ctx, l);
    if (r == NULL) {
      ctx.Raise(VMStatus_OutOfMemoryError, NULL);
      return false;
    }
    StoreWords(rw, w, r);
  }
  Mag* qb = NULL;
  if (mode != kRemainder) {
    qb = CreateByteArray(ctx, l);
    if (qb == NULL) {
      Free(ctx, r);
      ctx.Raise(VMStatus_OutOfMemoryError, NULL);
      return false;
    }
    StoreWords(qw, w, qb);
  }
  if (quotient != NULL) *quotient = qb;
  else Free(ctx, qb);
  if (remainder != NULL) *remainder = r;
  else Free(ctx, r);
  return true;
}

}  // namespace

Mag* ModPowInBuffers(Context& ctx, const Mag* base, const Mag* exp, const Mag* m) {
  const uint32_t kWords = kFastBytes / 4;
  uint32_t mw[kWords], bw[kWords], rw[kWords], pw[2 * kWords], work[3 * kWords + 1];
  uint32_t mn = (Len(m) + 3) / 4;
  LoadWords(m, mw, mn);
  mn = Significant(mw, mn);
  // The base reduced first, as the heap routine does.
  uint32_t lb = Len(base), bwords = (lb + 3) / 4;
  uint32_t bigBase[2 * kWords];
  LoadWords(base, bigBase, bwords);
  bwords = Significant(bigBase, bwords);
  memset(bw, 0, sizeof bw);
  if (bwords < mn) {
    memcpy(bw, bigBase, bwords * 4);
  } else if (!DivideWordsFast(ctx, bigBase, bwords, mw, mn, NULL, bw, work)) {
    return NULL;
  }
  memset(rw, 0, sizeof rw);
  rw[0] = 1;
  uint32_t le = Len(exp);
  uint32_t units = 2 * mn * mn + 1;
  // The exponent's bits from the least significant up, squaring the base for each.
  uint32_t top = le;
  while (top > 0 && GetByte(exp, le - top) == 0) top--;
  for (uint32_t k = 0; k < top; k++) {
    uint8_t byte = GetByte(exp, le - 1 - k);
    for (uint32_t bit = 0; bit < 8; bit++) {
      if (k == top - 1 && (byte >> bit) == 0) break;
      if ((byte >> bit) & 1) {
        MultiplyWords(rw, mn, bw, mn, pw);
        uint32_t pn = Significant(pw, 2 * mn);
        if (pn < mn) {
          memset(rw, 0, mn * 4);
          memcpy(rw, pw, pn * 4);
        } else if (!DivideWordsFast(ctx, pw, pn, mw, mn, NULL, rw, work)) {
          return NULL;
        }
        if (!ctx.Step(units)) return NULL;
      }
      MultiplyWords(bw, mn, bw, mn, pw);
      uint32_t pn = Significant(pw, 2 * mn);
      if (pn < mn) {
        memset(bw, 0, mn * 4);
        memcpy(bw, pw, pn * 4);
      } else if (!DivideWordsFast(ctx, pw, pn, mw, mn, NULL, bw, work)) {
        return NULL;
      }
      if (!ctx.Step(units)) return NULL;
    }
  }
  Mag* result = CreateByteArray(ctx, mn * 4);
  if (result == NULL) {
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  StoreWords(rw, mn, result);
  return StripLeadingZeros(ctx, result, true);
}

bool DivideMagnitudes(Context& ctx, const Mag* n, const Mag* d, Mag** quotient, Mag** remainder,
                      DivideMode mode) {
  if (quotient != NULL) *quotient = NULL;
  if (remainder != NULL) *remainder = NULL;
  uint32_t l = Max(Len(n), Len(d));
  uint32_t w = l / 4 + (l % 4 != 0 ? 1 : 0);
  if (l <= 2 * kFastBytes) return DivideInBuffers(ctx, n, d, quotient, remainder, mode, l);
  Words* N = CreateWordArray(ctx, w);
  Words* D = N != NULL ? CreateWordArray(ctx, w) : NULL;
  Words* Q = D != NULL && mode != kRemainder ? CreateWordArray(ctx, w) : NULL;
  if (D == NULL || (mode != kRemainder && Q == NULL)) {
    Free(ctx, N);
    Free(ctx, D);
    ctx.Raise(VMStatus_OutOfMemoryError, NULL);
    return false;
  }
  BytesToWords(n, N);
  BytesToWords(d, D);
  if (WordsBitLength(D) == 0) {
    Free(ctx, N);
    Free(ctx, D);
    Free(ctx, Q);
    ctx.Raise(VMStatus_ArithmeticException, NULL);
    return false;
  }
  if (!DivideWords(ctx, N, D, Q)) {
    Free(ctx, N);
    Free(ctx, D);
    Free(ctx, Q);
    return false;
  }
  Free(ctx, D);
  Mag* r = NULL;
  if (mode != kQuotient) {
    r = CreateByteArray(ctx, l);
    if (r == NULL) {
      Free(ctx, N);
      Free(ctx, Q);
      ctx.Raise(VMStatus_OutOfMemoryError, NULL);
      return false;
    }
    WordsToBytes(N, r);
  }
  Free(ctx, N);
  Mag* qb = NULL;
  if (mode != kRemainder) {
    qb = CreateByteArray(ctx, l);
    if (qb == NULL) {
      Free(ctx, Q);
      Free(ctx, r);
      ctx.Raise(VMStatus_OutOfMemoryError, NULL);
      return false;
    }
    WordsToBytes(Q, qb);
    Free(ctx, Q);
  }
  if (quotient != NULL) *quotient = qb;
  else Free(ctx, qb);
  if (remainder != NULL) *remainder = r;
  else Free(ctx, r);
  return true;
}

Mag* Remainder(Context& ctx, const Mag* x, const Mag* y) {
  Mag* r = NULL;
  if (!DivideMagnitudes(ctx, x, y, NULL, &r, kRemainder)) return NULL;
  return r;
}

}  // namespace bigint
