package java.util;

import java.io.Serializable;

/** A set of bits, indexed from 0, that grows as needed. */
public final class BitSet implements Cloneable, Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 7997698588986878753L;

    private long[] bits;

    public BitSet() {
        this(64);
    }

    /** A set with room for nbits bits, all clear. */
    public BitSet(int nbits) {
        if (nbits < 0) {
            throw new NegativeArraySizeException(Integer.toString(nbits));
        }
        bits = new long[(nbits + 63) >> 6];
    }

    private static void checkIndex(int bitIndex) {
        if (bitIndex < 0) {
            throw new IndexOutOfBoundsException(Integer.toString(bitIndex));
        }
    }

    private void ensureWords(int words) {
        if (words > bits.length) {
            int size = bits.length * 2;
            if (size < words) {
                size = words;
            }
            long[] bigger = new long[size];
            System.arraycopy(bits, 0, bigger, 0, bits.length);
            bits = bigger;
        }
    }

    public void set(int bitIndex) {
        checkIndex(bitIndex);
        int w = bitIndex >> 6;
        ensureWords(w + 1);
        bits[w] |= 1L << (bitIndex & 63);
    }

    public void clear(int bitIndex) {
        checkIndex(bitIndex);
        int w = bitIndex >> 6;
        if (w < bits.length) {
            bits[w] &= ~(1L << (bitIndex & 63));
        }
    }

    public boolean get(int bitIndex) {
        checkIndex(bitIndex);
        int w = bitIndex >> 6;
        return w < bits.length && (bits[w] & (1L << (bitIndex & 63))) != 0;
    }

    /** Keeps only the bits also set in set. */
    public void and(BitSet set) {
        if (this == set) {
            return;
        }
        int n = bits.length < set.bits.length ? bits.length : set.bits.length;
        for (int i = 0; i < n; i++) {
            bits[i] &= set.bits[i];
        }
        for (int i = n; i < bits.length; i++) {
            bits[i] = 0;
        }
    }

    public void or(BitSet set) {
        if (this == set) {
            return;
        }
        ensureWords(set.bits.length);
        for (int i = 0; i < set.bits.length; i++) {
            bits[i] |= set.bits[i];
        }
    }

    public void xor(BitSet set) {
        ensureWords(set.bits.length);
        long[] other = set.bits;
        int n = other.length;
        for (int i = 0; i < n; i++) {
            bits[i] ^= other[i];
        }
    }

    /** A hash of the set bits: equal sets give equal hashes, whatever their room. */
    public int hashCode() {
        long h = 1234;
        for (int i = bits.length; --i >= 0;) {
            h ^= bits[i] * (i + 1);
        }
        return (int) ((h >> 32) ^ h);
    }

    /** Number of bits of room, a multiple of 64. */
    public int size() {
        return bits.length << 6;
    }

    /** Equal when the same bits are set; room does not matter. */
    public boolean equals(Object obj) {
        if (!(obj instanceof BitSet)) {
            return false;
        }
        if (this == obj) {
            return true;
        }
        long[] a = bits;
        long[] b = ((BitSet) obj).bits;
        int n = a.length > b.length ? a.length : b.length;
        for (int i = 0; i < n; i++) {
            long x = i < a.length ? a[i] : 0;
            long y = i < b.length ? b[i] : 0;
            if (x != y) {
                return false;
            }
        }
        return true;
    }

    public Object clone() {
        try {
            BitSet s = (BitSet) super.clone();
            s.bits = new long[bits.length];
            System.arraycopy(bits, 0, s.bits, 0, bits.length);
            return s;
        } catch (CloneNotSupportedException e) {
            throw new InternalError();
        }
    }

    /** The set bits as "{1, 5, 9}". */
    public String toString() {
        StringBuffer buf = new StringBuffer();
        buf.append('{');
        boolean first = true;
        for (int w = 0; w < bits.length; w++) {
            long word = bits[w];
            if (word == 0) {
                continue;
            }
            for (int b = 0; b < 64; b++) {
                if ((word & (1L << b)) != 0) {
                    if (!first) {
                        buf.append(", ");
                    }
                    first = false;
                    buf.append((w << 6) + b);
                }
            }
        }
        buf.append('}');
        return buf.toString();
    }
}
