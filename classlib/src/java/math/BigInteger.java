package java.math;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.StreamCorruptedException;
import java.util.Random;

/**
 * Immutable integers of any size. The sign is kept here and the value as a magnitude: an
 * unsigned big-endian byte array without leading zero bytes (zero is the empty array), the form
 * in which the machine's natives take and give values.
 *
 * A magnitude is never written once it belongs to a BigInteger: instances share them, and a
 * native may answer with one of its own arguments. What a native answers is brought to canonical
 * form here (natives may answer with leading zero bytes), and what comes from outside (the
 * constructors, toByteArray) is copied.
 */
public class BigInteger extends Number {
    private static final long serialVersionUID = -8287574255936472291L;

    private int signum;
    private byte[] magnitude;
    // The standard serial form's caches, always written as their "unknown" values (as the
    // JDK writes them) and never believed when read.
    private int bitCount = -1;
    private int bitLength = -1;
    private int firstNonzeroByteNum = -2;
    private int lowestSetBit = -2;
    // The caches this class uses, each one more than its value: 0, as an object read from a
    // stream or a row has them, is "unknown".
    private transient int bitLengthCache;
    private transient int firstNonzeroCache;

    private static final byte[] NO_BYTES = new byte[0];
    private static final BigInteger ZERO = new BigInteger(NO_BYTES, 0);
    private static final BigInteger ONE = valueOf(1);
    private static final BigInteger TWO = valueOf(2);
    private static final int[] SMALL_PRIMES = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67,
            71, 73, 79, 83, 89, 97};

    static {
        plumbInit();
    }

    /* ---- construction ---- */

    /** The value of a big-endian two's-complement array, which is copied. */
    public BigInteger(byte[] val) throws NumberFormatException {
        if (val.length == 0) {
            throw new NumberFormatException("Zero length BigInteger");
        }
        if (val[0] >= 0) {
            magnitude = stripCopy(val);
            signum = magnitude.length == 0 ? 0 : 1;
        } else {
            // The magnitude of a negative value fits the same number of bytes.
            byte[] m = new byte[val.length];
            int carry = 1;
            for (int i = val.length - 1; i >= 0; i--) {
                int b = (~val[i] & 0xFF) + carry;
                m[i] = (byte) b;
                carry = b >> 8;
            }
            magnitude = strip(m);
            signum = -1;
        }
    }

    /** signum (-1, 0 or 1) times the big-endian magnitude, which is copied. */
    public BigInteger(int signum, byte[] magnitude) throws NumberFormatException {
        if (signum < -1 || signum > 1) {
            throw new NumberFormatException("Invalid signum value");
        }
        this.magnitude = stripCopy(magnitude);
        if (this.magnitude.length == 0) {
            this.signum = 0;
        } else if (signum == 0) {
            throw new NumberFormatException("signum-magnitude mismatch");
        } else {
            this.signum = signum;
        }
    }

    /** An optional minus sign followed by digits of the radix. */
    public BigInteger(String val, int radix) throws NumberFormatException {
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            throw new NumberFormatException("Radix out of range");
        }
        int len = val.length();
        if (len == 0) {
            throw new NumberFormatException("Zero length BigInteger");
        }
        int sign = 1;
        int at = 0;
        if (val.charAt(0) == '-') {
            sign = -1;
            at = 1;
            if (len == 1) {
                throw new NumberFormatException("Zero length BigInteger");
            }
        }
        int chunk = chunkDigits(radix);
        byte[] scale = magnitudeOf(chunkPower(radix));
        byte[] acc = NO_BYTES;
        // The first chunk is short, so that every later one has all its digits.
        int end = at + (len - at) % chunk;
        if (end == at) {
            end += chunk;
        }
        for (; at < len; end += chunk) {
            int digits = 0;
            for (; at < end; at++) {
                int d = Character.digit(val.charAt(at), radix);
                if (d < 0) {
                    throw new NumberFormatException("Illegal digit");
                }
                digits = digits * radix + d;
            }
            acc = plumbAdd(plumbMultiply(acc, scale), magnitudeOf(digits));
        }
        magnitude = strip(acc);
        signum = magnitude.length == 0 ? 0 : sign;
    }

    public BigInteger(String val) throws NumberFormatException {
        this(val, 10);
    }

    /** Uniformly distributed over 0 .. 2^numBits - 1. */
    public BigInteger(int numBits, Random rnd) throws IllegalArgumentException {
        if (numBits < 0) {
            throw new IllegalArgumentException("numBits must be non-negative");
        }
        magnitude = strip(randomBits(numBits, rnd));
        signum = magnitude.length == 0 ? 0 : 1;
    }

    /**
     * A probable prime of exactly bitLength bits: the machine's search from random starting points,
     * each candidate confirmed by Miller-Rabin tests to the certainty asked for.
     */
    public BigInteger(int bitLength, int certainty, Random rnd) {
        if (bitLength < 2) {
            throw new ArithmeticException("bitLength < 2");
        }
        BigInteger p;
        if (bitLength == 2) {
            p = (rnd.nextInt() & 1) == 0 ? TWO : valueOf(3);
        } else {
            p = searchPrime(bitLength, certainty, rnd);
        }
        magnitude = p.magnitude;
        signum = 1;
    }

    /* A magnitude that is canonical and belongs to no one else. */
    private BigInteger(byte[] magnitude, int signum) {
        this.magnitude = magnitude;
        this.signum = magnitude.length == 0 ? 0 : signum;
    }

    public static BigInteger valueOf(long val) {
        if (val == 0 && ZERO != null) {
            return ZERO;
        }
        int sign = val < 0 ? -1 : 1;
        return new BigInteger(magnitudeOf(val < 0 ? -val : val), sign);
    }

    /* The canonical form of a native's answer, with a sign. */
    private static BigInteger of(int sign, byte[] answer) {
        byte[] m = strip(answer);
        return m.length == 0 ? ZERO : new BigInteger(m, sign);
    }

    /* ---- arithmetic ---- */

    public BigInteger add(BigInteger val) {
        if (val.signum == 0) {
            return this;
        }
        if (signum == 0) {
            return val;
        }
        if (val.signum == signum) {
            return of(signum, plumbAdd(magnitude, val.magnitude));
        }
        BigInteger d = plumbSubtract(magnitude, val.magnitude);
        return signum < 0 ? d.negate() : d;
    }

    public BigInteger subtract(BigInteger val) {
        return add(val.negate());
    }

    public BigInteger multiply(BigInteger val) {
        if (signum == 0 || val.signum == 0) {
            return ZERO;
        }
        byte[] p = val == this ? plumbSquare(magnitude) : plumbMultiply(magnitude, val.magnitude);
        return of(signum * val.signum, p);
    }

    public BigInteger divide(BigInteger val) throws ArithmeticException {
        checkDivisor(val);
        return of(signum * val.signum, plumbDivide(magnitude, val.magnitude));
    }

    public BigInteger remainder(BigInteger val) throws ArithmeticException {
        checkDivisor(val);
        return of(signum, plumbRemainder(magnitude, val.magnitude));
    }

    /** {this / val, this % val}, both rounded towards zero. */
    public BigInteger[] divideAndRemainder(BigInteger val) throws ArithmeticException {
        checkDivisor(val);
        byte[][] qr = plumbDivideAndRemainder(magnitude, val.magnitude);
        BigInteger[] result = new BigInteger[2];
        result[0] = of(signum * val.signum, qr[0]);
        result[1] = of(signum, qr[1]);
        return result;
    }

    public BigInteger pow(int exponent) throws ArithmeticException {
        if (exponent < 0) {
            throw new ArithmeticException("Negative exponent");
        }
        BigInteger result = ONE;
        BigInteger base = this;
        while (exponent != 0) {
            if ((exponent & 1) != 0) {
                result = result.multiply(base);
            }
            exponent >>>= 1;
            if (exponent != 0) {
                base = base.multiply(base);
            }
        }
        return result;
    }

    public BigInteger gcd(BigInteger val) {
        if (val.signum == 0) {
            return abs();
        }
        if (signum == 0) {
            return val.abs();
        }
        return of(1, plumbGcd(magnitude, val.magnitude));
    }

    public BigInteger abs() {
        return signum >= 0 ? this : negate();
    }

    public BigInteger negate() {
        return new BigInteger(magnitude, -signum);
    }

    public int signum() {
        return signum;
    }

    /** The non-negative remainder of this modulo m. */
    public BigInteger mod(BigInteger m) {
        checkModulus(m);
        BigInteger r = remainder(m);
        return r.signum >= 0 ? r : r.add(m);
    }

    public BigInteger modPow(BigInteger exponent, BigInteger m) {
        checkModulus(m);
        if (exponent.signum < 0) {
            return modInverse(m).modPow(exponent.negate(), m);
        }
        BigInteger base = mod(m);
        return of(1, plumbModPow(base.magnitude, exponent.magnitude, m.magnitude));
    }

    public BigInteger modInverse(BigInteger m) throws ArithmeticException {
        checkModulus(m);
        if (m.equals(ONE)) {
            return ZERO;
        }
        BigInteger a = mod(m);
        if (a.signum == 0) {
            throw new ArithmeticException("BigInteger not invertible.");
        }
        return of(1, plumbModInverse(a.magnitude, m.magnitude));
    }

    private static void checkDivisor(BigInteger val) {
        if (val.signum == 0) {
            throw new ArithmeticException("BigInteger divide by zero");
        }
    }

    private static void checkModulus(BigInteger m) {
        if (m.signum <= 0) {
            throw new ArithmeticException("BigInteger: modulus not positive");
        }
    }

    /* ---- primes ---- */

    /**
     * Whether this is probably prime: false for certain when it is not, and true with an error
     * probability of at most 2^-certainty when it is (always true for certainty <= 0).
     */
    public boolean isProbablePrime(int certainty) {
        if (certainty <= 0) {
            return true;
        }
        BigInteger w = abs();
        if (w.equals(TWO)) {
            return true;
        }
        if (!w.testBit(0) || w.equals(ONE)) {
            return false;
        }
        for (int i = 0; i < SMALL_PRIMES.length; i++) {
            int p = SMALL_PRIMES[i];
            int r = w.smallRemainder(p);
            if (r == 0) {
                return w.bitLength() <= 7 && w.intValue() == p;
            }
        }
        if (w.bitLength() <= 13) {
            return true;  // no factor up to 97 and below 97^2
        }
        // Past 200 the error bound is far below any other fault's; the cap also keeps the
        // sum from overflowing.
        return w.passesMillerRabin(((certainty < 200 ? certainty : 200) + 1) / 2);
    }

    /** The first probable prime above this (certainty 100); this must not be negative. */
    public BigInteger nextProbablePrime() {
        if (signum < 0) {
            throw new ArithmeticException("start < 0: " + this);
        }
        if (bitLength() <= 1) {
            return TWO;
        }
        BigInteger c = add(ONE);
        for (;;) {
            c = of(1, plumbGeneratePrime(c.magnitude));
            if (c.isProbablePrime(100)) {
                return c;
            }
            c = c.add(TWO);
        }
    }

    private static BigInteger searchPrime(int bits, int certainty, Random rnd) {
        for (;;) {
            byte[] start = randomBits(bits, rnd);
            start[0] |= (byte) (1 << ((bits - 1) & 7));
            BigInteger c = of(1, plumbGeneratePrime(start));
            // The search may run past the bit length: then start again elsewhere.
            while (c.bitLength() == bits) {
                if (c.isProbablePrime(certainty)) {
                    return c;
                }
                c = of(1, plumbGeneratePrime(c.add(TWO).magnitude));
            }
        }
    }

    private boolean passesMillerRabin(int rounds) {
        BigInteger wMinus1 = subtract(ONE);
        int s = wMinus1.getLowestSetBit();
        BigInteger d = wMinus1.shiftRight(s);
        // The witnesses come from a generator of this call's own: one kept for every call handed
        // threads testing at once the same draws (synchronized excludes nobody here), and could
        // step a thread back to bases it had tried. Math.random's generator seeds it.
        Random rnd = new Random((long) (Math.random() * 9007199254740992.0));
        int bits = bitLength();
        for (int i = 0; i < rounds; i++) {
            BigInteger b;
            do {
                b = new BigInteger(bits, rnd);
            } while (b.compareTo(ONE) <= 0 || b.compareTo(wMinus1) >= 0);
            BigInteger x = b.modPow(d, this);
            if (x.equals(ONE) || x.equals(wMinus1)) {
                continue;
            }
            boolean found = false;
            for (int j = 1; j < s && !found; j++) {
                x = x.multiply(x).mod(this);
                if (x.equals(ONE)) {
                    return false;
                }
                found = x.equals(wMinus1);
            }
            if (!found) {
                return false;
            }
        }
        return true;
    }

    /* |this| mod a small positive divisor. */
    private int smallRemainder(int divisor) {
        int r = 0;
        for (int i = 0; i < magnitude.length; i++) {
            r = ((r << 8) | (magnitude[i] & 0xFF)) % divisor;
        }
        return r;
    }

    /* ---- bits ---- */

    public BigInteger shiftLeft(int n) {
        if (n < 0) {
            if (n == Integer.MIN_VALUE) {
                // -n is n again: a right shift by 2^31 leaves only the sign.
                return signum < 0 ? ONE.negate() : ZERO;
            }
            return shiftRight(-n);
        }
        if (signum == 0 || n == 0) {
            return this;
        }
        int bytes = n >>> 3;
        int bits = n & 7;
        byte[] m = new byte[magnitude.length + bytes + 1];
        int carry = 0;
        for (int i = magnitude.length - 1; i >= 0; i--) {
            int v = ((magnitude[i] & 0xFF) << bits) | carry;
            m[i + 1] = (byte) v;
            carry = v >>> 8;
        }
        m[0] = (byte) carry;
        return new BigInteger(strip(m), signum);
    }

    /** Division by 2^n rounded towards negative infinity. */
    public BigInteger shiftRight(int n) {
        if (n < 0) {
            if (n == Integer.MIN_VALUE) {
                // A left shift by 2^31: no magnitude that long can be made.
                if (signum == 0) {
                    return this;
                }
                throw new ArithmeticException("BigInteger would overflow supported range");
            }
            return shiftLeft(-n);
        }
        if (signum == 0 || n == 0) {
            return this;
        }
        byte[] m = shiftedDown(magnitude, n);
        if (signum < 0 && lowBitsNonzero(n)) {
            // floor(-x / 2^n) = -ceil(x / 2^n)
            return new BigInteger(m, 1).add(ONE).negate();
        }
        return new BigInteger(m, signum);
    }

    private static byte[] shiftedDown(byte[] mag, int n) {
        int bytes = n >>> 3;
        if (bytes >= mag.length) {
            return NO_BYTES;
        }
        int bits = n & 7;
        int len = mag.length - bytes;
        byte[] m = new byte[len];
        int carry = 0;
        for (int i = 0; i < len; i++) {
            int v = mag[i] & 0xFF;
            m[i] = (byte) ((v >>> bits) | (carry << (8 - bits)));
            carry = v & ((1 << bits) - 1);
        }
        return strip(m);
    }

    private boolean lowBitsNonzero(int n) {
        int len = magnitude.length;
        for (int k = 0; k < (n >>> 3) && k < len; k++) {
            if (magnitude[len - 1 - k] != 0) {
                return true;
            }
        }
        int k = n >>> 3;
        return k < len && (magnitude[len - 1 - k] & ((1 << (n & 7)) - 1)) != 0;
    }

    public BigInteger and(BigInteger val) {
        return bitwise(val, 0);
    }

    public BigInteger or(BigInteger val) {
        return bitwise(val, 1);
    }

    public BigInteger xor(BigInteger val) {
        return bitwise(val, 2);
    }

    public BigInteger andNot(BigInteger val) {
        return bitwise(val, 3);
    }

    public BigInteger not() {
        int n = twosLength();
        byte[] t = new byte[n];
        for (int k = 0; k < n; k++) {
            t[n - 1 - k] = (byte) ~twosByte(k);
        }
        return new BigInteger(t);
    }

    private BigInteger bitwise(BigInteger val, int op) {
        int n = Math.max(twosLength(), val.twosLength());
        byte[] t = new byte[n];
        for (int k = 0; k < n; k++) {
            int a = twosByte(k);
            int b = val.twosByte(k);
            int r;
            if (op == 0) {
                r = a & b;
            } else if (op == 1) {
                r = a | b;
            } else if (op == 2) {
                r = a ^ b;
            } else {
                r = a & ~b;
            }
            t[n - 1 - k] = (byte) r;
        }
        return new BigInteger(t);
    }

    public boolean testBit(int n) throws ArithmeticException {
        if (n < 0) {
            throw new ArithmeticException("Negative bit address");
        }
        return (twosByte(n >>> 3) & (1 << (n & 7))) != 0;
    }

    public BigInteger setBit(int n) throws ArithmeticException {
        return changeBit(n, 0);
    }

    public BigInteger clearBit(int n) throws ArithmeticException {
        return changeBit(n, 1);
    }

    public BigInteger flipBit(int n) throws ArithmeticException {
        return changeBit(n, 2);
    }

    private BigInteger changeBit(int n, int op) {
        if (n < 0) {
            throw new ArithmeticException("Negative bit address");
        }
        int len = Math.max(twosLength(), (n >>> 3) + 2);
        byte[] t = new byte[len];
        for (int k = 0; k < len; k++) {
            t[len - 1 - k] = (byte) twosByte(k);
        }
        int at = len - 1 - (n >>> 3);
        int bit = 1 << (n & 7);
        if (op == 0) {
            t[at] |= bit;
        } else if (op == 1) {
            t[at] &= ~bit;
        } else {
            t[at] ^= bit;
        }
        return new BigInteger(t);
    }

    /** The index of the lowest one bit, -1 for zero. */
    public int getLowestSetBit() {
        if (signum == 0) {
            return -1;
        }
        int len = magnitude.length;
        int k = 0;
        while (magnitude[len - 1 - k] == 0) {
            k++;
        }
        int b = magnitude[len - 1 - k] & 0xFF;
        int bit = 0;
        while ((b & (1 << bit)) == 0) {
            bit++;
        }
        return 8 * k + bit;
    }

    /** Bits of the shortest two's complement form, the sign bit left out. */
    public int bitLength() {
        int n = bitLengthCache - 1;
        if (n == -1) {
            n = magnitudeBitLength(magnitude);
            if (signum < 0 && isPowerOfTwo()) {
                n--;
            }
            bitLengthCache = n + 1;
        }
        return n;
    }

    /** The number of bits that differ from the sign bit. */
    public int bitCount() {
        int count = 0;
        for (int i = 0; i < magnitude.length; i++) {
            int b = magnitude[i] & 0xFF;
            while (b != 0) {
                count += b & 1;
                b >>>= 1;
            }
        }
        // -x in two's complement has the ones of x - 1: the trailing zeros turn into ones
        // and the lowest one into a zero.
        return signum < 0 ? count + getLowestSetBit() - 1 : count;
    }

    private boolean isPowerOfTwo() {
        if (magnitude.length == 0) {
            return false;
        }
        int top = magnitude[0] & 0xFF;
        if ((top & (top - 1)) != 0) {
            return false;
        }
        for (int i = 1; i < magnitude.length; i++) {
            if (magnitude[i] != 0) {
                return false;
            }
        }
        return true;
    }

    private static int magnitudeBitLength(byte[] m) {
        if (m.length == 0) {
            return 0;
        }
        int top = m[0] & 0xFF;
        int bits = 0;
        while (top != 0) {
            bits++;
            top >>>= 1;
        }
        return 8 * (m.length - 1) + bits;
    }

    /* Bytes of the two's complement form, the sign included. */
    private int twosLength() {
        return (bitLength() >>> 3) + 1;
    }

    /* Byte k (from the least significant end) of the two's complement, sign-extended. */
    private int twosByte(int k) {
        int len = magnitude.length;
        if (signum >= 0) {
            return k < len ? magnitude[len - 1 - k] & 0xFF : 0;
        }
        if (k >= len) {
            return 0xFF;
        }
        int low = lowestNonzeroByte();
        int m = magnitude[len - 1 - k] & 0xFF;
        if (k < low) {
            return 0;
        }
        return k == low ? (-m) & 0xFF : (~m) & 0xFF;
    }

    private int lowestNonzeroByte() {
        int n = firstNonzeroCache - 1;
        if (n == -1) {
            int len = magnitude.length;
            n = 0;
            while (n < len && magnitude[len - 1 - n] == 0) {
                n++;
            }
            firstNonzeroCache = n + 1;
        }
        return n;
    }

    /* ---- comparison ---- */

    public int compareTo(BigInteger val) {
        if (signum != val.signum) {
            return signum > val.signum ? 1 : -1;
        }
        int c = compareMagnitudes(magnitude, val.magnitude);
        return signum >= 0 ? c : -c;
    }

    private static int compareMagnitudes(byte[] a, byte[] b) {
        if (a.length != b.length) {
            return a.length > b.length ? 1 : -1;
        }
        for (int i = 0; i < a.length; i++) {
            int x = a[i] & 0xFF;
            int y = b[i] & 0xFF;
            if (x != y) {
                return x > y ? 1 : -1;
            }
        }
        return 0;
    }

    public boolean equals(Object x) {
        if (x == this) {
            return true;
        }
        if (!(x instanceof BigInteger)) {
            return false;
        }
        BigInteger y = (BigInteger) x;
        return y.signum == signum && compareMagnitudes(magnitude, y.magnitude) == 0;
    }

    public BigInteger min(BigInteger val) {
        return compareTo(val) <= 0 ? this : val;
    }

    public BigInteger max(BigInteger val) {
        return compareTo(val) >= 0 ? this : val;
    }

    /** Over the magnitude's 32-bit words, most significant first. */
    public int hashCode() {
        int h = 0;
        int len = magnitude.length;
        int first = len & 3;
        if (first == 0 && len > 0) {
            first = 4;
        }
        int word = 0;
        for (int i = 0; i < len; i++) {
            word = (word << 8) | (magnitude[i] & 0xFF);
            if (i + 1 == first || (i + 1 > first && ((i + 1 - first) & 3) == 0)) {
                h = 31 * h + word;
                word = 0;
            }
        }
        return h * signum;
    }

    /* ---- conversion ---- */

    public String toString(int radix) {
        if (signum == 0) {
            return "0";
        }
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            radix = 10;
        }
        if (bitLength() <= 63) {
            return Long.toString(longValue(), radix);
        }
        // Short division of the magnitude's words by the largest power of the radix that fits
        // an int, least significant chunk first.
        int len = magnitude.length;
        int[] words = new int[(len + 3) >>> 2];
        for (int i = 0; i < len; i++) {
            int k = len - 1 - i;
            words[words.length - 1 - (k >>> 2)] |= (magnitude[i] & 0xFF) << (8 * (k & 3));
        }
        int chunk = chunkDigits(radix);
        long divisor = chunkPower(radix);
        StringBuffer digits = new StringBuffer();
        int top = 0;
        while (top < words.length) {
            long r = 0;
            for (int i = top; i < words.length; i++) {
                long cur = (r << 32) | (words[i] & 0xFFFFFFFFL);
                words[i] = (int) (cur / divisor);
                r = cur % divisor;
            }
            while (top < words.length && words[top] == 0) {
                top++;
            }
            String part = Long.toString(r, radix);
            // Reversed below: the chunk's digits last to first, then its zeros.
            for (int i = part.length() - 1; i >= 0; i--) {
                digits.append(part.charAt(i));
            }
            if (top < words.length) {
                for (int i = part.length(); i < chunk; i++) {
                    digits.append('0');
                }
            }
        }
        if (signum < 0) {
            digits.append('-');
        }
        return digits.reverse().toString();
    }

    public String toString() {
        return toString(10);
    }

    /** The shortest big-endian two's complement form. */
    public byte[] toByteArray() {
        int n = twosLength();
        byte[] out = new byte[n];
        for (int k = 0; k < n; k++) {
            out[n - 1 - k] = (byte) twosByte(k);
        }
        return out;
    }

    public int intValue() {
        return twosByte(0) | (twosByte(1) << 8) | (twosByte(2) << 16) | (twosByte(3) << 24);
    }

    public long longValue() {
        return (intValue() & 0xFFFFFFFFL)
                | ((long) (twosByte(4) | (twosByte(5) << 8) | (twosByte(6) << 16) | (twosByte(7) << 24)) << 32);
    }

    public float floatValue() {
        int bits = magnitudeBitLength(magnitude);
        if (bits <= 24) {
            return (float) (signum * (int) topBits(bits));
        }
        int shift = bits - 25;
        int top = (int) topBits(25);
        int m = top >>> 1;
        if ((top & 1) != 0 && ((m & 1) != 0 || lowBitsNonzero(shift))) {
            m++;
        }
        int exp = shift + 1 + 23 + 127;
        if (m == 1 << 24) {
            m >>>= 1;
            exp++;
        }
        int sign = signum < 0 ? 0x80000000 : 0;
        if (exp >= 255) {
            return Float.intBitsToFloat(sign | 0x7F800000);
        }
        return Float.intBitsToFloat(sign | (exp << 23) | (m & 0x7FFFFF));
    }

    public double doubleValue() {
        int bits = magnitudeBitLength(magnitude);
        if (bits <= 53) {
            return (double) (signum * topBits(bits));
        }
        int shift = bits - 54;
        long top = topBits(54);
        long m = top >>> 1;
        if ((top & 1) != 0 && ((m & 1) != 0 || lowBitsNonzero(shift))) {
            m++;
        }
        long exp = shift + 1 + 52 + 1023;
        if (m == 1L << 53) {
            m >>>= 1;
            exp++;
        }
        long sign = signum < 0 ? 0x8000000000000000L : 0;
        if (exp >= 2047) {
            return Double.longBitsToDouble(sign | 0x7FF0000000000000L);
        }
        return Double.longBitsToDouble(sign | (exp << 52) | (m & 0xFFFFFFFFFFFFFL));
    }

    /* The top count bits (count <= 62) of the magnitude as a number. */
    private long topBits(int count) {
        int bits = magnitudeBitLength(magnitude);
        long v = 0;
        for (int b = bits - 1; b >= bits - count; b--) {
            int k = b >>> 3;
            int byteValue = magnitude[magnitude.length - 1 - k] & 0xFF;
            v = (v << 1) | ((byteValue >>> (b & 7)) & 1);
        }
        return v;
    }

    /* ---- the serial form ---- */

    /* The hook pair makes the JDK's stream (its class flags, its block of fields) and gets
       the reader called: this library's streams call a readObject only beside a writeObject. */
    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
    }

    /*
     * A stream's sign and magnitude are checked, and its caches are not believed (the methods
     * size arrays and choose their paths by theirs). The magnitude is copied, as the stream
     * may hand the same array to another object.
     */
    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        if (signum < -1 || signum > 1) {
            throw new StreamCorruptedException("BigInteger: Invalid signum value");
        }
        if (magnitude == null) {
            throw new StreamCorruptedException("BigInteger: no magnitude");
        }
        magnitude = stripCopy(magnitude);
        if ((magnitude.length == 0) != (signum == 0)) {
            throw new StreamCorruptedException("BigInteger: signum-magnitude mismatch");
        }
        bitCount = -1;
        bitLength = -1;
        firstNonzeroByteNum = -2;
        lowestSetBit = -2;
        bitLengthCache = 0;
        firstNonzeroCache = 0;
    }

    /* ---- magnitudes ---- */

    private static byte[] strip(byte[] m) {
        int zeros = 0;
        while (zeros < m.length && m[zeros] == 0) {
            zeros++;
        }
        if (zeros == 0) {
            return m;
        }
        byte[] r = new byte[m.length - zeros];
        System.arraycopy(m, zeros, r, 0, r.length);
        return r;
    }

    private static byte[] stripCopy(byte[] m) {
        byte[] r = strip(m);
        if (r == m) {
            r = new byte[m.length];
            System.arraycopy(m, 0, r, 0, m.length);
        }
        return r;
    }

    /* The magnitude of a value read as unsigned. */
    private static byte[] magnitudeOf(long v) {
        int n = 0;
        for (long t = v; t != 0; t >>>= 8) {
            n++;
        }
        byte[] m = new byte[n];
        for (int i = n - 1; i >= 0; i--) {
            m[i] = (byte) v;
            v >>>= 8;
        }
        return m;
    }

    private static byte[] randomBits(int numBits, Random rnd) {
        int numBytes = (int) (((long) numBits + 7) / 8);
        byte[] bits = new byte[numBytes];
        if (numBytes > 0) {
            rnd.nextBytes(bits);
            int excess = 8 * numBytes - numBits;
            bits[0] &= (1 << (8 - excess)) - 1;
        }
        return bits;
    }

    /* Digits of the radix that always fit an int: radix^chunk < 2^31. */
    private static int chunkDigits(int radix) {
        int n = 0;
        long p = 1;
        while (p * radix < 0x80000000L) {
            p *= radix;
            n++;
        }
        return n;
    }

    private static long chunkPower(int radix) {
        long p = 1;
        for (int i = chunkDigits(radix); i > 0; i--) {
            p *= radix;
        }
        return p;
    }

    /* ---- natives: magnitudes in, magnitudes out ---- */

    private static native void plumbInit();

    private static native byte[] plumbAdd(byte[] a, byte[] b);

    private static native BigInteger plumbSubtract(byte[] a, byte[] b);

    private static native byte[] plumbMultiply(byte[] a, byte[] b);

    private static native byte[] plumbDivide(byte[] a, byte[] b);

    private static native byte[] plumbRemainder(byte[] a, byte[] b);

    private static native byte[][] plumbDivideAndRemainder(byte[] a, byte[] b);

    private static native byte[] plumbGcd(byte[] a, byte[] b);

    private static native byte[] plumbModPow(byte[] base, byte[] exp, byte[] m);

    private static native byte[] plumbModInverse(byte[] a, byte[] m);

    private static native byte[] plumbSquare(byte[] a);

    private static native byte[] plumbGeneratePrime(byte[] start);
}
