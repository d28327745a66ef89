#!/usr/bin/env python3
"""Writes the Java-level differential vectors: lines "expected<TAB>operation" for the public
API of java.math.BigInteger and BigDecimal, the answers from Python's integers and decimals
with Java's rules (division rounds towards zero, shifts floor, bit operations on two's
complement), on a fixed seed.

Usage: gen_java_vectors.py OUT
"""
import decimal
import math
import random
import struct
import sys

ARITH = "!Arith"


def jdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a < 0) == (b < 0) else -q


def jrem(a, b):
    return a - jdiv(a, b) * b


def bitlen(a):
    return a.bit_length() if a >= 0 else (~a).bit_length()


def to_radix(a, r):
    if a == 0:
        return "0"
    digits = "0123456789abcdefghijklmnopqrstuvwxyz"
    s, v = "", abs(a)
    while v:
        v, d = divmod(v, r)
        s = digits[d] + s
    return ("-" if a < 0 else "") + s


def wrap(a, bits):
    return ((a + (1 << (bits - 1))) % (1 << bits)) - (1 << (bits - 1))


def jhash(a):
    m = abs(a)
    h = 0
    words = []
    while m:
        words.insert(0, m & 0xFFFFFFFF)
        m >>= 32
    for w in words:
        h = (31 * h + w) & 0xFFFFFFFF
    h = (h * (1 if a > 0 else -1 if a < 0 else 0)) & 0xFFFFFFFF
    return wrap(h, 32)


def round_bits(m, precision):
    """m > 0 rounded half-even to precision bits: (significand, exponent)."""
    n = m.bit_length()
    if n <= precision:
        return m << (precision - n), n - precision
    shift = n - precision
    q, r = m >> shift, m & ((1 << shift) - 1)
    half = 1 << (shift - 1)
    if r > half or (r == half and q & 1):
        q += 1
    if q == 1 << precision:
        q >>= 1
        shift += 1
    return q, shift


def float_bits(a):
    if a == 0:
        return "0"
    q, e = round_bits(abs(a), 24)
    exp = q.bit_length() - 1 + e + 127
    bits = 0x7F800000 if exp >= 255 else (exp << 23) | (q & 0x7FFFFF)
    if a < 0:
        bits |= 0x80000000
    return to_radix(wrap(bits, 32), 16)


def double_bits(a):
    if a == 0:
        return "0"
    q, e = round_bits(abs(a), 53)
    exp = q.bit_length() - 1 + e + 1023
    bits = 0x7FF0000000000000 if exp >= 2047 else (exp << 52) | (q & ((1 << 52) - 1))
    if a < 0:
        bits |= 1 << 63
    return to_radix(wrap(bits, 64), 16)


def is_prime(n):
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47):
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d //= 2
        s += 1
    rnd = random.Random(n)
    for _ in range(40):
        x = pow(rnd.randrange(2, n - 1), d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def modpow(a, e, m):
    if m <= 0:
        return ARITH
    try:
        return str(pow(a, e, m))
    except ValueError:
        return ARITH


def modinv(a, m):
    if m <= 0:
        return ARITH
    try:
        return str(pow(a, -1, m))
    except ValueError:
        return ARITH


def hexb(a):
    n = bitlen(a) // 8 + 1
    return (a % (256 ** n)).to_bytes(n, "big").hex()


def cmp(a, b):
    c = (a > b) - (a < b)
    return "%d %s %d %d" % (c, "true" if a == b else "false", min(a, b), max(a, b))


def main():
    if hasattr(sys, "set_int_max_str_digits"):
        sys.set_int_max_str_digits(0)
    rnd = random.Random(7177)

    def val(maxbits=1024):
        r = rnd.random()
        if r < 0.08:
            v = rnd.choice((0, 1, 2, 255, 256, 1 << 31, 1 << 32, 1 << 63, (1 << 64) - 1, 1 << 64))
        elif r < 0.4:
            v = rnd.getrandbits(rnd.randint(1, 64))
        elif r < 0.5:
            k = rnd.randint(1, maxbits)
            v = (1 << k) + rnd.choice((-1, 0, 1))
        else:
            v = rnd.getrandbits(rnd.randint(1, maxbits))
        return -v if rnd.random() < 0.5 else v

    out = []

    def add(expected, *op):
        out.append("%s\t%s" % (expected, " ".join(str(x) for x in op)))

    for _ in range(300):
        a, b = val(), val()
        add(a + b, "add", a, b)
        add(a - b, "sub", a, b)
        add(a * b, "mul", a, b)
        add(a * a, "sqr", a)
        if b == 0:
            for op in ("div", "rem", "dar"):
                add(ARITH, op, a, b)
        else:
            add(jdiv(a, b), "div", a, b)
            add(jrem(a, b), "rem", a, b)
            add("%d %d" % (jdiv(a, b), jrem(a, b)), "dar", a, b)
        add(a % b if b > 0 else ARITH, "mod", a, b)
        add(math.gcd(a, b), "gcd", a, b)
        add(a & b, "and", a, b)
        add(a | b, "or", a, b)
        add(a ^ b, "xor", a, b)
        add(a & ~b, "andnot", a, b)
        add(~a, "not", a)
        add(cmp(a, b), "cmp", a, b)
        add(cmp(a, a), "cmp", a, a)
        n = rnd.randint(0, 200)
        add(a << n, "shl", a, n)
        add(a >> n, "shr", a, n)
        add(a >> n, "shl", a, -n)
        add("true" if (a >> n) & 1 else "false", "test", a, n)
        add(a | (1 << n), "set", a, n)
        add(a & ~(1 << n), "clear", a, n)
        add(a ^ (1 << n), "flip", a, n)
        add(bitlen(a), "bitlen", a)
        add(bin(a if a >= 0 else ~a).count("1"), "bitcount", a)
        add(-1 if a == 0 else (a & -a).bit_length() - 1, "lowbit", a)
        r = rnd.choice((2, 8, 10, 16, 36, 7, 1, 37))
        add(to_radix(a, r if 2 <= r <= 36 else 10), "str", a, r)
        add(a, "parse", to_radix(a, r if 2 <= r <= 36 else 10), r if 2 <= r <= 36 else 10)
        add(hexb(a), "bytes", a)
        add(a, "frombytes", hexb(a))
        add(wrap(a, 32), "int", a)
        add(wrap(a, 64), "long", a)
        add(double_bits(a), "double", a)
        add(float_bits(a), "float", a)
        add(jhash(a), "hash", a)
        add("%d %d %d" % ((a > 0) - (a < 0), abs(a), -a), "sign", a)
        e = rnd.randint(0, min(40, 6000 // max(1, bitlen(a))))
        add(a ** e, "pow", a, e)
    add(ARITH, "pow", 3, -1)
    add(ARITH, "test", 3, -1)
    for bits in (16, 64, 160, 512):
        for _ in range(60 if bits < 512 else 8):
            m = val(bits)
            a = val(bits + 20)
            e = val(bits)
            add(modpow(a, e, m), "modpow", a, e, m)
            add(modinv(a, m), "modinv", a, m)
    for m in (1, 2, 4, 1 << 20, 6, 10, 2 * 1000003):
        for a, e in ((3, 5), (-3, 7), (12345, 65537), (-7, 0), (0, 0), (5, -3)):
            add(modpow(a, e, m), "modpow", a, e, m)
    for s in ("-", "12a", "1-2", "+5", "00", "-0", "0000000000000000000000000001", "--1"):
        try:
            v = int(s, 10) if "+" not in s else None
        except ValueError:
            v = None
        add(v if v is not None else "!Format", "parse", s, 10)
    add("!Format", "frombytes", "")
    add(1, "signmag", 1, "0001")
    add(-258, "signmag", -1, "000102")
    add("!Format", "signmag", 2, "01")
    add("!Format", "signmag", 0, "01")
    add(0, "signmag", 0, "0000")
    # Primes, composites, Carmichael numbers, strong pseudoprimes, and the next prime.
    cands = [2, 3, 4, 97, 561, 1105, 2047, 3215031751, 2 ** 61 - 1, 2 ** 89 - 1, 2 ** 127 - 1, 2 ** 127 + 1,
             (2 ** 61 - 1) * (2 ** 89 - 1), -7, 0, 1, 9, 25326001, 3825123056546413051]
    for _ in range(30):
        cands.append(rnd.getrandbits(rnd.randint(2, 200)) | 1)
    for c in cands:
        add("true" if is_prime(abs(c)) else "false", "prime", c, 50)
    for c in [0, 1, 2, 3, 7, 8, 13, 19, 20, 23, 24, 2046, 4680, 5460, 2 ** 64, 2 ** 89 - 2, -1]:
        if c < 0:
            add(ARITH, "next", c)
            continue
        n = c + 1
        while not is_prime(n):
            n += 1
        add(n, "next", c)
    add("!Illegal", "random", 5, -1)
    # BigDecimal against Python's decimals.
    ctx = decimal.Context(prec=2000)
    modes = [decimal.ROUND_UP, decimal.ROUND_DOWN, decimal.ROUND_CEILING, decimal.ROUND_FLOOR,
             decimal.ROUND_HALF_UP, decimal.ROUND_HALF_DOWN, decimal.ROUND_HALF_EVEN]

    def dec(maxdigits=30):
        digits = rnd.randint(1, maxdigits)
        scale = rnd.randint(0, min(digits + 3, 12))
        v = rnd.randint(0, 10 ** digits) * rnd.choice((1, -1))
        s = str(abs(v)).rjust(scale + 1, "0")
        text = s if scale == 0 else s[:-scale] + "." + s[-scale:]
        return ("-" if v < 0 else "") + text

    def plain(d):
        text = format(d, "f")
        return text[1:] if text.startswith("-") and d == 0 else text  # Java has no -0

    for _ in range(300):
        x, y = dec(), dec()
        dx, dy = decimal.Decimal(x), decimal.Decimal(y)
        add(plain(ctx.add(dx, dy)), "Dadd", x, y)
        add(plain(ctx.subtract(dx, dy)), "Dsub", x, y)
        add(plain(ctx.multiply(dx, dy)), "Dmul", x, y)
        c = (dx > dy) - (dx < dy)
        add("%d %s" % (c, "true" if (dx == dy and dx.as_tuple().exponent == dy.as_tuple().exponent) else "false"),
            "Dcmp", x, y)
        scale = rnd.randint(0, 15)
        mode = rnd.randint(0, 7)
        if dy == 0:
            add(ARITH, "Ddiv", x, y, scale, mode)
        else:
            exact = ctx.divide(dx, dy)
            q = exact.quantize(decimal.Decimal(1).scaleb(-scale), rounding=modes[mode] if mode < 7 else decimal.ROUND_DOWN,
                               context=ctx)
            if mode == 7 and q != exact:
                add(ARITH, "Ddiv", x, y, scale, mode)
            else:
                add(plain(q), "Ddiv", x, y, scale, mode)
        s2 = rnd.randint(0, 14)
        q = dx.quantize(decimal.Decimal(1).scaleb(-s2), rounding=modes[mode] if mode < 7 else decimal.ROUND_DOWN,
                        context=ctx)
        add(ARITH if mode == 7 and q != dx else plain(q), "Dset", x, s2, mode)
        intpart = int(dx)
        add("%s %d %d" % (plain(dx), max(0, -dx.as_tuple().exponent), intpart), "Dstr", x)
        k = rnd.randint(-5, 8)
        moved = dx.scaleb(-k, context=ctx)
        exp = moved.as_tuple().exponent
        add(plain(moved if exp <= 0 else moved.quantize(decimal.Decimal(1), context=ctx)), "Dmove", x, k)
    with open(sys.argv[1], "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
