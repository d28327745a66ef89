import java.math.BigInteger;
import java.util.Random;

/**
 * java.math.BigInteger's costly operations, timed in Java on whichever machine runs it: one
 * line "name ms-per-operation checksum" each. The operands come from seeded Randoms, so both
 * machines work on the same numbers.
 */
public class BigIntBench {
    static long now() {
        return System.currentTimeMillis();
    }

    static BigInteger odd(int bits, Random rnd) {
        return new BigInteger(bits, rnd).setBit(bits - 1).setBit(0);
    }

    /** Runs every operation at least minMs milliseconds and at least once. */
    public static String run(int minMs) {
        StringBuffer out = new StringBuffer();
        Random rnd = new Random(20240607L);
        int[] sizes = {1024, 2048};
        for (int i = 0; i < sizes.length; i++) {
            int bits = sizes[i];
            BigInteger m = odd(bits, rnd);
            BigInteger b = new BigInteger(bits, rnd).mod(m);
            BigInteger e = new BigInteger(bits, rnd);
            long start = now();
            int n = 0;
            BigInteger r = null;
            do {
                r = b.modPow(e, m);
                n++;
            } while (now() - start < minMs);
            line(out, "modPow-" + bits, start, n, r);
        }
        BigInteger x = new BigInteger(4096, rnd).setBit(4095);
        BigInteger y = new BigInteger(4096, rnd).setBit(4095);
        BigInteger z = new BigInteger(2048, rnd).setBit(2047);
        long start = now();
        int n = 0;
        BigInteger r = null;
        do {
            r = x.multiply(y);
            n++;
        } while (now() - start < minMs);
        line(out, "multiply-4096x4096", start, n, r);
        BigInteger xy = r;
        start = now();
        n = 0;
        do {
            r = xy.divide(y);
            n++;
        } while (now() - start < minMs);
        line(out, "divide-8192/4096", start, n, r);
        start = now();
        n = 0;
        do {
            r = x.divide(z);
            n++;
        } while (now() - start < minMs);
        line(out, "divide-4096/2048", start, n, r);
        BigInteger p = new BigInteger(512, rnd).setBit(511).nextProbablePrime();
        start = now();
        n = 0;
        boolean prime = true;
        do {
            prime &= p.isProbablePrime(50);
            n++;
        } while (now() - start < minMs);
        line(out, "isProbablePrime50-512", start, n, prime ? p : BigInteger.valueOf(0));
        return out.toString();
    }

    static void line(StringBuffer out, String name, long start, int n, BigInteger r) {
        double ms = (double) (now() - start) / n;
        out.append(name).append(' ').append(ms).append(' ').append(r.hashCode()).append('\n');
    }

    public static void main(String[] args) {
        System.out.print(run(args.length > 0 ? Integer.parseInt(args[0]) : 1000));
    }
}
