package java.util;

/**
 * A stream of pseudo-random numbers from a 48-bit linear congruential
 * generator. Two generators made with the same seed give the same numbers,
 * on every machine: the formulas below are part of the API.
 */
public class Random implements java.io.Serializable {
    private static final long MULTIPLIER = 0x5DEECE66DL;
    private static final long ADDEND = 0xBL;
    private static final long MASK = (1L << 48) - 1;

    private long seed;
    private double nextNextGaussian;
    private boolean haveNextNextGaussian;

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
        if (haveNextNextGaussian) {
            haveNextNextGaussian = false;
            return nextNextGaussian;
        }
        double v1;
        double v2;
        double s;
        do {
            v1 = 2 * nextDouble() - 1;
            v2 = 2 * nextDouble() - 1;
            s = v1 * v1 + v2 * v2;
        } while (s >= 1 || s == 0);
        double multiplier = Math.sqrt(-2 * Math.log(s) / s);
        nextNextGaussian = v2 * multiplier;
        haveNextNextGaussian = true;
        return v1 * multiplier;
    }
}
