package java.lang;

/**
 * A small mutable natural number, just enough for exact decimal conversion of floating-point
 * values: multiply by a small factor, shift, add, subtract and compare. Words are 32 bits,
 * least significant first.
 */
final class BigNat {

    private int[] words;
    private int used;

    BigNat(long v) {
        words = new int[4];
        words[0] = (int) v;
        words[1] = (int) (v >>> 32);
        used = 2;
        trim();
    }

    private BigNat(int[] w, int n) {
        words = w;
        used = n;
    }

    BigNat copy() {
        int[] w = new int[words.length];
        System.arraycopy(words, 0, w, 0, used);
        return new BigNat(w, used);
    }

    private void trim() {
        while (used > 0 && words[used - 1] == 0) {
            used--;
        }
    }

    private void room(int n) {
        if (n > words.length) {
            int[] w = new int[n + 4];
            System.arraycopy(words, 0, w, 0, used);
            words = w;
        }
    }

    void multiply(int factor) {
        long f = factor & 0xffffffffL;
        long carry = 0;
        for (int i = 0; i < used; i++) {
            long p = (words[i] & 0xffffffffL) * f + carry;
            words[i] = (int) p;
            carry = p >>> 32;
        }
        if (carry != 0) {
            room(used + 1);
            words[used++] = (int) carry;
        }
        trim();
    }

    void multiplyPow10(int e) {
        while (e >= 9) {
            multiply(1000000000);
            e -= 9;
        }
        int f = 1;
        while (e-- > 0) {
            f *= 10;
        }
        if (f != 1) {
            multiply(f);
        }
    }

    void shiftLeft(int bits) {
        if (used == 0 || bits == 0) {
            return;
        }
        int wordShift = bits >>> 5;
        int bitShift = bits & 31;
        room(used + wordShift + 1);
        int[] w = words;
        if (bitShift == 0) {
            w[used + wordShift] = 0;
            for (int i = used - 1; i >= 0; i--) {
                w[i + wordShift] = w[i];
            }
        } else {
            w[used + wordShift] = w[used - 1] >>> (32 - bitShift);
            for (int i = used - 1; i > 0; i--) {
                w[i + wordShift] = (w[i] << bitShift) | (w[i - 1] >>> (32 - bitShift));
            }
            w[wordShift] = w[0] << bitShift;
        }
        for (int i = 0; i < wordShift; i++) {
            w[i] = 0;
        }
        used = used + wordShift + 1;
        trim();
    }

    void add(BigNat o) {
        int n = used > o.used ? used : o.used;
        room(n + 1);
        long carry = 0;
        for (int i = 0; i < n; i++) {
            long a = i < used ? (words[i] & 0xffffffffL) : 0;
            long b = i < o.used ? (o.words[i] & 0xffffffffL) : 0;
            long s = a + b + carry;
            words[i] = (int) s;
            carry = s >>> 32;
        }
        used = n;
        if (carry != 0) {
            words[used++] = (int) carry;
        }
    }

    // Requires this >= o.
    void subtract(BigNat o) {
        long borrow = 0;
        for (int i = 0; i < used; i++) {
            long a = words[i] & 0xffffffffL;
            long b = i < o.used ? (o.words[i] & 0xffffffffL) : 0;
            long d = a - b - borrow;
            words[i] = (int) d;
            borrow = d < 0 ? 1 : 0;
        }
        trim();
    }

    int compareTo(BigNat o) {
        if (used != o.used) {
            return used < o.used ? -1 : 1;
        }
        for (int i = used - 1; i >= 0; i--) {
            int a = words[i];
            int b = o.words[i];
            if (a != b) {
                return (a ^ 0x80000000) < (b ^ 0x80000000) ? -1 : 1;
            }
        }
        return 0;
    }

    // Compares this + x with o.
    int compareSum(BigNat x, BigNat o) {
        BigNat t = copy();
        t.add(x);
        return t.compareTo(o);
    }

    // Divides by d where the quotient is known to be below 10; keeps the remainder here.
    int divideSmall(BigNat d) {
        int q = 0;
        while (compareTo(d) >= 0) {
            subtract(d);
            q++;
        }
        return q;
    }
}
