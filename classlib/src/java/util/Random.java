package java.util;

/**
 * A stream of pseudo-random numbers from a 48-bit linear congruential
 * generator. Two generators made with the same seed give the same numbers,
 * on every machine: the formulas below are part of the API.
 */
public class Random implements java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 3905348978240129619L;

    private static final long MULTIPLIER = 0x5DEECE66DL;
    private static final long ADDEND = 0xBL;
    private static final long MASK = (1L << 48) - 1;

    private long seed;
    // The serialized form of this API generation; nextGaussian keeps its spare value in
    // spareGaussian instead and only writes these two.
    private double nextNextGaussian;
    private boolean haveNextNextGaussian;
    // nextGaussian's second value, in an array never written after it is stored here: the
    // machine's monitors take no lock, and a double field read while another thread writes it
    // may come out half old and half new. Racing callers may both take the same value.
    private transient double[] spareGaussian;

    /** A generator seeded with the present time in milliseconds. */
    public Random() {
        this(System.currentTimeMillis());
    }

    public Random(long seed) {
        setSeed(seed);
    }

    /** Seeds the generator: seed = (seed ^ 0x5DEECE66D) mod 2^48. */
    public synchronized void setSeed(long seed) {
        this.seed = (seed ^ MULTIPLIER) & MASK;
        haveNextNextGaussian = false;
        spareGaussian = null;
    }

    /**
     * Steps the generator, seed = (seed * 0x5DEECE66D + 0xB) mod 2^48, and
     * returns the top bits bits of the new seed.
     */
    protected synchronized int next(int bits) {
        long s = (seed * MULTIPLIER + ADDEND) & MASK;
        seed = s;
        return (int) (s >>> (48 - bits));
    }

    /** Fills bytes with random bytes, four from each next(32), low byte first. */
    public void nextBytes(byte[] bytes) {
        int i = 0;
        int len = bytes.length;
        while (i < len) {
            int rnd = next(32);
            for (int k = 0; k < 4 && i < len; k++) {
                bytes[i++] = (byte) rnd;
                rnd >>= 8;
            }
        }
    }

    public int nextInt() {
        return next(32);
    }

    /** A value from 0 to n-1, each equally likely. */
    public int nextInt(int n) {
        if (n <= 0) {
            throw new IllegalArgumentException("n must be positive");
        }
        if ((n & -n) == n) {
            return (int) ((n * (long) next(31)) >> 31);
        }
        int bits;
        int val;
        do {
            bits = next(31);
            val = bits % n;
        } while (bits - val + (n - 1) < 0);
        return val;
    }

    public long nextLong() {
        return ((long) next(32) << 32) + next(32);
    }

    public boolean nextBoolean() {
        return next(1) != 0;
    }

    /** A value from 0.0 (included) to 1.0 (excluded) with 24 random bits. */
    public float nextFloat() {
        return next(24) / ((float) (1 << 24));
    }

    /** A value from 0.0 (included) to 1.0 (excluded) with 53 random bits. */
    public double nextDouble() {
        return (((long) next(26) << 27) + next(27)) / (double) (1L << 53);
    }

    /**
     * A normally distributed value with mean 0 and deviation 1, by the polar
     * method: each round yields two values, the second kept for the next call.
     */
    public synchronized double nextGaussian() {
        double[] spare = spareGaussian;
        if (spare != null) {
            spareGaussian = null;
            haveNextNextGaussian = false;
            return spare[0];
        }
        double v1;
        double v2;
        double s;
        do {
            v1 = 2 * nextDouble() - 1;
            v2 = 2 * nextDouble() - 1;
            s = v1 * v1 + v2 * v2;
        } while (s >= 1 || s == 0);
        // sqrt is exact everywhere; log is computed here so that a seed gives the same
        // values on every machine, whatever its C library's log.
        double multiplier = Math.sqrt(-2 * log(s) / s);
        nextNextGaussian = v2 * multiplier;
        haveNextNextGaussian = true;
        spare = new double[1];
        spare[0] = v2 * multiplier;
        spareGaussian = spare;
        return v1 * multiplier;
    }

    private static final double LN2_HI = 6.93147180369123816490e-01;
    private static final double LN2_LO = 1.90821492927058770002e-10;
    private static final double LG1 = 6.666666666666735130e-01;
    private static final double LG2 = 3.999999999940941908e-01;
    private static final double LG3 = 2.857142874366239149e-01;
    private static final double LG4 = 2.222219843214978396e-01;
    private static final double LG5 = 1.818357216161805012e-01;
    private static final double LG6 = 1.531383769920937332e-01;
    private static final double LG7 = 1.479819860511658591e-01;

    /**
     * The natural logarithm of a positive finite x, to the bit as the portable
     * reference log computes it: x = 2^k * (1 + f) with 1 + f in [sqrt(2)/2, sqrt(2)),
     * then log(1 + f) = f - f*f/2 + s*(f*f/2 + R) with s = f / (2 + f) and R a polynomial
     * in s*s, and k*ln2 added in two parts.
     */
    private static double log(double x) {
        long bits = Double.doubleToLongBits(x);
        int hx = (int) (bits >> 32);
        int k = 0;
        if (hx < 0x00100000) {
            // Subnormal: scale into the normal range first.
            x *= 18014398509481984.0;  // 2^54
            k = -54;
            bits = Double.doubleToLongBits(x);
            hx = (int) (bits >> 32);
        }
        k += (hx >> 20) - 1023;
        hx &= 0x000fffff;
        // Choose x or x/2 so that the mantissa lies around 1.
        int i = (hx + 0x95f64) & 0x100000;
        x = Double.longBitsToDouble(((long) (hx | (i ^ 0x3ff00000)) << 32) | (bits & 0xffffffffL));
        k += i >> 20;
        double f = x - 1.0;
        double dk = k;
        if ((0x000fffff & (2 + hx)) < 3) {
            // |f| < 2^-20
            if (f == 0) {
                return k == 0 ? 0 : dk * LN2_HI + dk * LN2_LO;
            }
            double r = f * f * (0.5 - 0.33333333333333333 * f);
            return k == 0 ? f - r : dk * LN2_HI - ((r - dk * LN2_LO) - f);
        }
        double s = f / (2.0 + f);
        double z = s * s;
        double w = z * z;
        double t1 = w * (LG2 + w * (LG4 + w * LG6));
        double t2 = z * (LG1 + w * (LG3 + w * (LG5 + w * LG7)));
        double r = t2 + t1;
        if (((hx - 0x6147a) | (0x6b851 - hx)) > 0) {
            double hfsq = 0.5 * f * f;
            if (k == 0) {
                return f - (hfsq - s * (hfsq + r));
            }
            return dk * LN2_HI - ((hfsq - (s * (hfsq + r) + dk * LN2_LO)) - f);
        }
        if (k == 0) {
            return f - s * (f - r);
        }
        return dk * LN2_HI - ((s * (f - r) - dk * LN2_LO) - f);
    }
}
