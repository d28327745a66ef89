import java.math.BigInteger;

/* One thread multiplies and divides numbers of a few thousand bytes over and over while
   the test suspends it and moves its machine: every answer must be the first one. */
public class BigIntMoves {
    static volatile boolean stop;
    static Thread worker;
    static BigInteger a, b, product;

    /* Numbers of the given byte lengths, their product checked by division and by
       residues modulo a small prime. */
    public static boolean prepare(int aBytes, int bBytes) {
        stop = false;
        worker = Thread.currentThread();
        a = number(aBytes, 0x2F);
        b = number(bBytes, 0x61);
        product = a.multiply(b);
        BigInteger p = BigInteger.valueOf(1000003);
        return product.divide(b).equals(a) && product.mod(b).signum() == 0
            && product.mod(p).equals(a.mod(p).multiply(b.mod(p)).mod(p));
    }

    static BigInteger number(int bytes, int seed) {
        byte[] v = new byte[bytes];
        int x = seed;
        for (int i = 0; i < bytes; i++) {
            x = x * 1103515245 + 12345;
            v[i] = (byte) (x >>> 16);
        }
        v[0] = (byte) (v[0] | 0x40);
        v[0] = (byte) (v[0] & 0x7F);
        return new BigInteger(v);
    }

    /* Products and quotients until released: how many, or minus how many were wrong. */
    public static int work() {
        int done = 0, wrong = 0;
        while (!stop) {
            BigInteger p = a.multiply(b);
            if (!p.equals(product)) wrong++;
            if (!p.divide(b).equals(a)) wrong++;
            done++;
        }
        return wrong > 0 ? -wrong : done;
    }

    public static void suspendWorker() {
        worker.suspend();
    }

    public static void resumeWorker() {
        worker.resume();
    }

    public static void release() {
        stop = true;
    }
}
