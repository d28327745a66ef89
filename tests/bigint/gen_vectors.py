#!/usr/bin/env python3
"""Writes the differential vectors of the magnitude arithmetic, with their results from
Python's own integers, on a fixed seed.

Usage: gen_vectors.py OUT [SCALE]

Operands are hex with every byte they carry, leading zero bytes included; "-" is the
empty array. A result is canonical hex ("-" for zero), or "!" followed by the
ArithmeticException's message ("!" alone for none). One line per case:

  P a b  add sub mul div rem gcd   the arithmetic of a pair; sub is the two's
                                   complement of a - b in max(|a|, |b|) + 1 bytes
  E b e m  modpow
  I a m  modinv
  S s  prime                       the first probable prime the search accepts

SCALE (default 1) multiplies the count of random cases.
"""
import math
import random
import sys

SMALL_PRIMES = (3, 5, 7, 11, 13, 17, 19)


def hexbytes(b):
    return b.hex() if b else "-"


def canon(v):
    if v == 0:
        return "-"
    return v.to_bytes((v.bit_length() + 7) // 8, "big").hex()


def encode(v, rnd, pad=None):
    """The magnitude's bytes, with 1-3 leading zero bytes on about a fifth of them."""
    n = (v.bit_length() + 7) // 8
    b = v.to_bytes(n, "big")
    zeros = pad if pad is not None else (rnd.randint(1, 3) if rnd.random() < 0.2 else 0)
    return b"\0" * zeros + b


def value(rnd, bits):
    """A value of at most the given bit length, often with a structure."""
    kind = rnd.random()
    if bits == 0:
        return 0
    if kind < 0.55:
        return rnd.getrandbits(bits) | (1 << (bits - 1))
    if kind < 0.62:
        return 1 << (bits - 1)
    if kind < 0.69:
        return (1 << bits) - 1
    if kind < 0.74:
        return (1 << (bits - 1)) + 1
    if kind < 0.80:
        # runs of 0xFF and 0x00 bytes
        out = 0
        for _ in range((bits + 7) // 8):
            r = rnd.random()
            out = (out << 8) | (0xFF if r < 0.4 else 0x00 if r < 0.8 else rnd.getrandbits(8))
        return (out & ((1 << bits) - 1)) | (1 << (bits - 1))
    if kind < 0.85:
        return rnd.choice((0, 1, 2, 3, 255, 256))
    return rnd.getrandbits(bits)


def size(rnd, top):
    r = rnd.random()
    if r < 0.35:
        return rnd.randint(0, 64)
    if r < 0.6:
        return rnd.randint(65, 512)
    return rnd.randint(513, top)


def prime_rule(start):
    c = start | 1 if start else 1
    while True:
        rejected = any(c % p == 0 and c != p for p in SMALL_PRIMES)
        if not rejected and pow(2, c - 1, c) == 1:
            return c
        c += 2


def pair_line(rnd, a, b, ea=None, eb=None):
    ea = ea if ea is not None else encode(a, rnd)
    eb = eb if eb is not None else encode(b, rnd)
    n = max(len(ea), len(eb)) + 1
    sub = ((a - b) % (256 ** n)).to_bytes(n, "big").hex()
    if b == 0:
        div = rem = "!"
    else:
        div, rem = canon(a // b), canon(a % b)
    return "P %s %s %s %s %s %s %s %s" % (hexbytes(ea), hexbytes(eb), canon(a + b), sub, canon(a * b), div, rem,
                                          canon(math.gcd(a, b)))


def main():
    out = sys.argv[1]
    scale = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
    rnd = random.Random(20240531)
    lines = []
    # Pairs: random sizes from 1 to 4,096 bits, each side drawn on its own.
    for _ in range(int(2500 * scale)):
        a = value(rnd, size(rnd, 4096))
        b = value(rnd, size(rnd, 4096))
        lines.append(pair_line(rnd, a, b))
    # Close sizes (long quotients of few bits, equal lengths), and divisors a word or two.
    for _ in range(int(400 * scale)):
        bits = size(rnd, 4096)
        a = value(rnd, bits)
        b = value(rnd, max(0, bits - rnd.randint(0, 40)))
        lines.append(pair_line(rnd, a, b))
        lines.append(pair_line(rnd, a, value(rnd, rnd.randint(1, 64))))
    # Products and quotients across the pieces of an array body: 776 bytes in the block,
    # then 256-byte pieces; word arrays of 194 and 195 words.
    for na, nb in ((775, 1), (776, 1), (777, 2), (1031, 3), (1032, 500), (1033, 258), (780, 780), (390, 390),
                   (388, 389), (2000, 1000), (1040, 1025), (512, 512)):
        a = rnd.getrandbits(8 * na) | (1 << (8 * na - 1))
        b = rnd.getrandbits(8 * nb) | (1 << (8 * nb - 1))
        lines.append(pair_line(rnd, a, b, encode(a, rnd, 0), encode(b, rnd, 0)))
        lines.append(pair_line(rnd, a, b, encode(a, rnd, 3), encode(b, rnd, 1)))
    # Zero and one against everything, with and without leading zeros.
    for v in (0, 1, 2, 255, 256, (1 << 4096) - 1, 1 << 4095):
        for w in (0, 1, 7, 1 << 64, (1 << 300) + 1):
            for pa, pb in ((0, 0), (2, 0), (0, 3)):
                lines.append(pair_line(rnd, v, w, encode(v, rnd, pa), encode(w, rnd, pb)))
    # Modular powers: odd and even moduli, base and exponent of any size below them.
    for i in range(int(300 * scale)):
        mbits = rnd.randint(1, 96) if i % 3 else rnd.randint(97, 384)
        m = value(rnd, mbits)
        if i % 5 == 0:
            m = m << rnd.randint(1, 20) if m else m
        b = value(rnd, rnd.randint(0, mbits + 16))
        e = value(rnd, rnd.randint(0, mbits + 8))
        r = "!" if m == 0 else canon(pow(b, e, m))
        lines.append("E %s %s %s %s" % (hexbytes(encode(b, rnd)), hexbytes(encode(e, rnd)), hexbytes(encode(m, rnd)), r))
    for bits in (512, 768):
        m = rnd.getrandbits(bits) | (1 << (bits - 1)) | 1
        b = rnd.getrandbits(bits)
        e = rnd.getrandbits(bits)
        lines.append("E %s %s %s %s" % (hexbytes(encode(b, rnd)), hexbytes(encode(e, rnd)), hexbytes(encode(m, rnd)),
                                        canon(pow(b, e, m))))
    # Modular inverses up to 1,024 bits, invertible or not.
    for i in range(int(600 * scale)):
        mbits = rnd.randint(1, 1024) if i % 2 else rnd.randint(1, 64)
        m = value(rnd, mbits)
        a = value(rnd, rnd.randint(0, mbits))
        if m == 0:
            r = "!modulus not positive"
        elif m == 1:
            r = "-"
        elif math.gcd(a, m) != 1:
            r = "!not invertible"
        else:
            r = canon(pow(a, -1, m))
        lines.append("I %s %s %s" % (hexbytes(encode(a, rnd)), hexbytes(encode(m, rnd)), r))
    # Prime search from random starts up to 256 bits and just below the base-2 pseudoprimes.
    for i in range(int(150 * scale)):
        s = value(rnd, rnd.randint(0, 256 if i % 4 == 0 else 64))
        lines.append("S %s %s" % (hexbytes(encode(s, rnd)), canon(prime_rule(s))))
    for s in (2045, 2046, 2047, 2699, 2701, 3277, 4033, 4681, 5461, 561, 1105, 1729, 29341):
        lines.append("S %s %s" % (hexbytes(encode(s, rnd, 0)), canon(prime_rule(s))))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
