/* Number theory on magnitudes: Euclid's gcd by repeated remainders, right-to-left
   square-and-multiply modular power, the modular inverse by the extended Euclid with
   signed coefficients, and the search for a probable prime by trial division and a
   base-2 Fermat test. */
#include "biginteger.h"

namespace bigint {

bool IsZeroMagnitude(const Mag* x) {
  uint32_t n = Len(x);
  for (uint32_t i = 0; i < n; i++) {
    if (GetByte(x, i) != 0) return false;
  }
  return true;
}

bool IsOneMagnitude(const Mag* x) {
  uint32_t n = Len(x);
  if (n == 0 || GetByte(x, n - 1) != 1) return false;
  for (uint32_t i = 0; i + 1 < n; i++) {
    if (GetByte(x, i) != 0) return false;
  }
  return true;
}

bool LessMagnitude(const Mag* a, const Mag* b) {
  uint32_t n = Len(a) > Len(b) ? Len(a) : Len(b);
  uint32_t borrow = 0;
  for (uint32_t k = 0; k < n; k++) {
    uint32_t x = ByteFromEnd(a, k), y = ByteFromEnd(b, k);
    borrow = x < y + borrow ? 1 : 0;
  }
  return borrow != 0;
}

uint32_t HalveMagnitude(Mag* x) {
  uint32_t n = Len(x);
  uint32_t carry = 0;
  for (uint32_t i = 0; i < n; i++) {
    uint32_t v = GetByte(x, i);
    SetByte(x, i, (uint8_t)((v >> 1) | (carry << 7)));
    carry = v & 1;
  }
  return carry;
}

namespace {

bool EqualMagnitude(const Mag* a, const Mag* b) { return !LessMagnitude(a, b) && !LessMagnitude(b, a); }

/* A new one-byte temporary; NULL with OutOfMemoryError (empty message). */
Mag* SmallMagnitude(Context& ctx, uint8_t value) {
  Mag* r = CreateByteArray(ctx, 1);
  if (r == NULL) {
    ctx.Raise(VMStatus_OutOfMemoryError, "");
    return NULL;
  }
  SetByte(r, 0, value);
  return r;
}

/* A new empty temporary (zero); NULL with OutOfMemoryError (empty message). */
Mag* ZeroMagnitude(Context& ctx) {
  Mag* r = CreateByteArray(ctx, 0);
  if (r == NULL) ctx.Raise(VMStatus_OutOfMemoryError, "");
  return r;
}

/* A value of the modular inverse: a sign flag (1 negative) and a magnitude. */
struct Signed {
  uint32_t negative;
  Mag* magnitude;
};

/* A + B; a NULL magnitude after a failure. */
Signed AddSigned(Context& ctx, const Signed& a, const Signed& b) {
  if (a.negative == b.negative) return {a.negative, AddMagnitudes(ctx, a.magnitude, b.magnitude)};
  Mag* d = SubtractMagnitudes(ctx, a.magnitude, b.magnitude);
  if (d == NULL) return {a.negative, NULL};
  if (GetByte(d, 0) == 0x00) return {a.negative, d};
  Free(ctx, d);
  return {b.negative, SubtractMagnitudes(ctx, b.magnitude, a.magnitude)};
}

}  // namespace

Mag* GcdMagnitudes(Context& ctx, const Mag* a, const Mag* b) {
  const Mag* big = a;
  const Mag* small = b;
  if (LessMagnitude(a, b)) {
    big = b;
    small = a;
  }
  // gcd(x, 0) is x: the remainder by zero below would be a division by zero.
  if (IsZeroMagnitude(small)) return StripLeadingZeros(ctx, const_cast<Mag*>(big), false);
  Mag* r1 = Remainder(ctx, big, small);
  if (r1 == NULL) return NULL;
  if (IsZeroMagnitude(r1)) {
    Free(ctx, r1);
    return const_cast<Mag*>(small);
  }
  Mag* r2 = Remainder(ctx, small, r1);
  if (r2 == NULL) {
    Free(ctx, r1);
    return NULL;
  }
  if (IsZeroMagnitude(r2)) {
    Free(ctx, r2);
    return StripLeadingZeros(ctx, r1, true);
  }
  Mag* prev = r1;
  Mag* cur = r2;
  for (;;) {
    Mag* r = ctx.Step(Len(prev) / 4 + 1) ? Remainder(ctx, prev, cur) : NULL;
    if (r == NULL) {
      Free(ctx, prev);
      Free(ctx, cur);
      return NULL;
    }
    if (IsZeroMagnitude(r)) {
      Free(ctx, r);
      Free(ctx, prev);
      return StripLeadingZeros(ctx, cur, true);
    }
    Free(ctx, prev);
    prev = cur;
    cur = r;
  }
}

Mag* ModPowMagnitudes(Context& ctx, const Mag* base, const Mag* exp, const Mag* m) {
  // Before the shortcuts below: each of them would answer for a zero modulus.
  if (IsZeroMagnitude(m)) {
    ctx.Raise(VMStatus_ArithmeticException, NULL);
    return NULL;
  }
  if (IsOneMagnitude(m)) return ZeroMagnitude(ctx);
  if (IsZeroMagnitude(exp)) return SmallMagnitude(ctx, 1);
  if (IsZeroMagnitude(base) || IsOneMagnitude(base)) return const_cast<Mag*>(base);
  if (Len(m) <= kFastBytes && Len(base) <= 2 * kFastBytes && !IsOneMagnitude(exp)) return ModPowInBuffers(ctx, base, exp, m);
  Mag* b = Remainder(ctx, base, m);
  if (b == NULL) return NULL;
  if (IsOneMagnitude(exp) || IsZeroMagnitude(b) || IsOneMagnitude(b)) return b;
  Mag* e = CopyMagnitude(ctx, exp);
  Mag* result = e != NULL ? SmallMagnitude(ctx, 1) : NULL;
  if (result == NULL) goto failed;
  do {
    if (GetByte(e, Len(e) - 1) & 1) {
      Mag* t = MultiplyMagnitudes(ctx, result, b);
      Free(ctx, result);
      result = t != NULL ? Remainder(ctx, t, m) : NULL;
      Free(ctx, t);
      if (result == NULL) goto failed;
      if (IsZeroMagnitude(result)) break;
    }
    HalveMagnitude(e);
    if (IsZeroMagnitude(e)) break;
    Mag* t = MultiplyMagnitudes(ctx, b, b);
    Free(ctx, b);
    b = t != NULL ? Remainder(ctx, t, m) : NULL;
    Free(ctx, t);
    if (b == NULL || !ctx.Step(Len(b) / 8 + 1)) goto failed;
  } while (!IsOneMagnitude(b));
  Free(ctx, e);
  Free(ctx, b);
  return result;

failed:
  Free(ctx, e);
  Free(ctx, b);
  Free(ctx, result);
  return NULL;
}

Mag* ModInverseMagnitudes(Context& ctx, const Mag* a, const Mag* m) {
  if (IsZeroMagnitude(m)) {
    ctx.Raise(VMStatus_ArithmeticException, "modulus not positive");
    return NULL;
  }
  if (IsOneMagnitude(m)) return ZeroMagnitude(ctx);
  if (IsOneMagnitude(a)) return const_cast<Mag*>(a);
  // A zero a (or any multiple of m) has no inverse: the first remainder is zero.
  Signed t0 = {0, SmallMagnitude(ctx, 0)};
  Signed t1 = {0, t0.magnitude != NULL ? SmallMagnitude(ctx, 1) : NULL};
  Signed r0 = {0, t1.magnitude != NULL ? CopyMagnitude(ctx, m) : NULL};
  Signed r1 = {0, r0.magnitude != NULL ? Remainder(ctx, a, m) : NULL};
  Mag* result = NULL;
  if (r1.magnitude == NULL) goto failed;
  for (;;) {
    if (IsZeroMagnitude(r1.magnitude)) {
      ctx.Raise(VMStatus_ArithmeticException, "not invertible");
      goto freeAll;
    }
    if (IsOneMagnitude(r1.magnitude)) {
      Free(ctx, t0.magnitude);
      Free(ctx, r0.magnitude);
      Free(ctx, r1.magnitude);
      if (!t1.negative) return t1.magnitude;
      Mag* d = SubtractMagnitudes(ctx, m, t1.magnitude);
      Free(ctx, t1.magnitude);
      if (d == NULL) {
        ctx.Raise(VMStatus_OutOfMemoryError, "");
        return NULL;
      }
      result = StripLeadingZeros(ctx, d, true);
      if (result == NULL) ctx.Raise(VMStatus_OutOfMemoryError, "");
      return result;
    }
    Mag* q = NULL;
    Mag* r = NULL;
    if (!ctx.Step(Len(r0.magnitude) / 4 + 1) ||
        !DivideMagnitudes(ctx, r0.magnitude, r1.magnitude, &q, &r, kBoth))
      goto failed;
    Signed p = {t1.negative ^ 1u, MultiplyMagnitudes(ctx, q, t1.magnitude)};
    Free(ctx, q);
    if (p.magnitude == NULL) {
      Free(ctx, r);
      goto failed;
    }
    Signed t2 = AddSigned(ctx, t0, p);
    Free(ctx, p.magnitude);
    if (t2.magnitude == NULL) {
      Free(ctx, r);
      goto failed;
    }
    Free(ctx, t0.magnitude);
    Free(ctx, r0.magnitude);
    t0 = t1;
    t1 = t2;
    r0 = r1;
    r1 = {0, r};
  }

failed:
  ctx.Raise(VMStatus_OutOfMemoryError, "");
freeAll:
  Free(ctx, t0.magnitude);
  Free(ctx, t1.magnitude);
  Free(ctx, r0.magnitude);
  Free(ctx, r1.magnitude);
  return NULL;
}

Mag* GeneratePrimeMagnitude(Context& ctx, const Mag* start) {
  static const uint8_t kSmallPrimes[7] = {3, 5, 7, 11, 13, 17, 19};
  Mag* small[7] = {};
  Mag* one = NULL;
  Mag* two = NULL;
  // An empty start (zero) has no last byte to make odd: it starts from 1.
  Mag* c = Len(start) == 0 ? SmallMagnitude(ctx, 1) : CopyMagnitude(ctx, start);
  if (c == NULL) return NULL;
  uint32_t last = Len(c) - 1;
  if ((GetByte(c, last) & 1) == 0) SetByte(c, last, (uint8_t)(GetByte(c, last) + 1));
  for (int i = 0; i < 7; i++) {
    if ((small[i] = SmallMagnitude(ctx, kSmallPrimes[i])) == NULL) goto failed;
  }
  if ((one = SmallMagnitude(ctx, 1)) == NULL || (two = SmallMagnitude(ctx, 2)) == NULL) goto failed;
  for (;;) {
    if (!ctx.Step(Len(c) + 1)) goto failed;
    bool rejected = false;
    for (int i = 0; i < 7 && !rejected; i++) {
      Mag* r = Remainder(ctx, c, small[i]);
      if (r == NULL) goto failed;
      // A small prime divides itself: only a proper divisor rejects.
      rejected = IsZeroMagnitude(r) && !EqualMagnitude(c, small[i]);
      Free(ctx, r);
    }
    if (!rejected) {
      Mag* t = SubtractMagnitudes(ctx, c, one);
      if (t == NULL) goto failed;
      Mag* f = ModPowMagnitudes(ctx, two, t, c);
      Free(ctx, t);
      if (f == NULL) goto failed;
      bool passed = IsOneMagnitude(f);
      Free(ctx, f);
      if (passed) break;
    }
    Mag* next = AddMagnitudes(ctx, c, two);
    Free(ctx, c);
    c = next;
    if (c == NULL) goto failed;
  }
  for (int i = 0; i < 7; i++) Free(ctx, small[i]);
  Free(ctx, one);
  Free(ctx, two);
  return c;

failed:
  for (int i = 0; i < 7; i++) Free(ctx, small[i]);
  Free(ctx, one);
  Free(ctx, two);
  Free(ctx, c);
  return NULL;
}

}  // namespace bigint
