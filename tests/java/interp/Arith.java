package interp;

/* Integer, long, float and double arithmetic by the Java rules. Operands come from
   parameters and fields, never constants, so the compiler folds nothing; run() answers 0
   or the number of the first check that failed. */
public class Arith {
    static int MIN = Integer.MIN_VALUE, MAX = Integer.MAX_VALUE, M1 = -1, ZERO = 0;
    static long LMIN = Long.MIN_VALUE, LMAX = Long.MAX_VALUE, LM1 = -1L, LZERO = 0L;
    static float FNAN = Float.NaN, FINF = Float.POSITIVE_INFINITY;
    static double DNAN = Double.NaN, DINF = Double.POSITIVE_INFINITY;

    static int failed;

    static void check(int n, boolean ok) {
        if (!ok && failed == 0) failed = n;
    }

    static int idiv(int a, int b) { return a / b; }
    static int irem(int a, int b) { return a % b; }
    static long ldiv(long a, long b) { return a / b; }
    static long lrem(long a, long b) { return a % b; }

    public static int run() {
        failed = 0;
        int one = 1, two = 2, three = 3, seven = 7;
        // int
        check(1, MAX + one == MIN);
        check(2, MIN - one == MAX);
        check(3, MIN * M1 == MIN);
        check(4, -MIN == MIN);
        check(5, idiv(MIN, M1) == MIN);
        check(6, irem(MIN, M1) == 0);
        check(7, idiv(-seven, two) == -3 && irem(-seven, two) == -1);
        check(8, idiv(seven, -two) == -3 && irem(seven, -two) == 1);
        check(9, (one << 33) == 2 && (one << 32) == 1 && (M1 >>> 28) == 15 && (MIN >> 31) == -1);
        check(10, (MIN >>> 31) == 1 && (seven >> -1) == 0);
        check(11, (byte) (MAX) == -1 && (char) (M1) == 65535 && (short) (0x18000 + ZERO) == -32768);
        check(12, (byte) (0x80 + ZERO) == -128 && (int) (char) (byte) (M1) == 65535);
        int x = seven;
        x += 1000;
        x -= 300;
        check(13, x == 707);
        x = MAX;
        x++;
        check(14, x == MIN);
        // long
        check(20, LMAX + one == LMIN);
        check(21, ldiv(LMIN, LM1) == LMIN && lrem(LMIN, LM1) == 0);
        check(22, ldiv(-7L + ZERO, 2L) == -3L && lrem(-7L + ZERO, 2L) == -1L);
        long l = 1L + ZERO;
        check(23, (l << 64) == 1L && (l << 63) == LMIN && (LM1 >>> 63) == 1L && (LMIN >> 63) == -1L);
        check(24, (int) (0x123456789L + ZERO) == 0x23456789 && (long) MIN == -2147483648L);
        long big = 0x00000000FFFFFFFFL + ZERO, bigger = 0x0000000100000000L + ZERO;
        check(25, big < bigger && !(big > bigger) && big != bigger);
        check(26, (big * bigger) == 0xFFFFFFFF00000000L && (LMAX * 2) == -2L);
        check(27, (l | 0x8000000000000000L) == LMIN + 1 && (LMIN ^ LM1) == LMAX && (LMAX & 0xFFL) == 0xFFL);
        // float
        float f = 0.1f + ZERO, g = 0.2f + ZERO;
        check(30, f + g == 0.3f + ZERO && (double) (f + g) != 0.3);
        check(31, FNAN != FNAN && !(FNAN < one) && !(FNAN > one) && !(FNAN == FNAN));
        check(32, (int) FNAN == 0 && (int) FINF == MAX && (int) -FINF == MIN && (long) FNAN == 0L);
        check(33, (int) (-0.5f + ZERO) == 0 && (int) (3e9f + ZERO) == MAX && (long) (1e19f + ZERO) == LMAX);
        check(34, 1f / -(0.0f + ZERO) == -FINF);
        check(35, (-5.5f + ZERO) % (2f + ZERO) == -1.5f + ZERO);
        check(36, 1f / (0f + ZERO) == FINF && -1f / (0f + ZERO) == -FINF);
        float m = Float.MAX_VALUE + ZERO;
        check(37, m * 2 == FINF);
        // double
        double d = 1e308 + ZERO;
        check(40, d * 10 / 10 == DINF);
        check(41, (int) DNAN == 0 && (long) DNAN == 0 && (int) (-3e9 + ZERO) == MIN && (long) (-1e19 + ZERO) == LMIN);
        check(42, (long) (9.223372036854775807E18 + ZERO) == LMAX && (int) (2147483647.5 + ZERO) == MAX);
        check(43, (5.5 + ZERO) % DINF == 5.5 && (DINF % 1.0) != (DINF % 1.0));
        check(44, 1.0 / -(0.0 + ZERO) == -DINF);
        check(45, 0.0 + ZERO == -0.0 + ZERO && !(0.0 + ZERO < -0.0 + ZERO));
        check(46, (float) (1e40 + ZERO) == FINF && (double) (float) (0.1 + ZERO) != 0.1);
        check(47, (double) (1L << 53) + ZERO + 1 == (double) (1L << 53) + ZERO);
        // comparisons with NaN in both orders
        check(50, !(DNAN < 1.0) && !(DNAN >= 1.0) && !(1.0 <= DNAN) && !(1.0 > DNAN));
        check(51, !(FNAN < g) && !(FNAN >= g) && !(g <= FNAN) && !(g > FNAN));
        return failed;
    }

    /* Single operations for the bit-exact checks made from C++. */
    public static double dadd(double a, double b) { return a + b; }
    public static double dmul(double a, double b) { return a * b; }
    public static double ddiv(double a, double b) { return a / b; }
    public static double drem(double a, double b) { return a % b; }
    public static float fadd(float a, float b) { return a + b; }
    public static float fmul(float a, float b) { return a * b; }
    public static float frem(float a, float b) { return a % b; }
    public static float fneg(float a) { return -a; }
    public static double dneg(double a) { return -a; }
    public static float l2f(long a) { return (float) a; }
    public static double l2d(long a) { return (double) a; }
    public static float i2f(int a) { return (float) a; }
    public static float d2f(double a) { return (float) a; }
    public static int d2i(double a) { return (int) a; }
    public static long d2l(double a) { return (long) a; }
    public static int f2i(float a) { return (int) a; }
    public static long f2l(float a) { return (long) a; }
    public static int idivide(int a, int b) { return a / b; }
    public static int iremainder(int a, int b) { return a % b; }
    public static long ldivide(long a, long b) { return a / b; }
    public static long lremainder(long a, long b) { return a % b; }
    public static int lcmp(long a, long b) { return a < b ? -1 : (a == b ? 0 : 1); }
    public static int fcmpg(float a, float b) { return a < b ? -1 : (a == b ? 0 : 1); }
    public static int fcmpl(float a, float b) { return a > b ? 1 : (a == b ? 0 : -1); }
    public static int shl(int a, int n) { return a << n; }
    public static long lshl(long a, int n) { return a << n; }
    public static long lushr(long a, int n) { return a >>> n; }
    public static int i2b(int a) { return (byte) a; }
    public static int i2c(int a) { return (char) a; }
    public static int i2s(int a) { return (short) a; }

    /* The cases the differential test compares with the JDK: run() and every single
       operation above over operands at the edges. */
    static int[] IA = {0, 1, -1, 2, -7, 7, 31, 32, 33, -33, Integer.MIN_VALUE, Integer.MAX_VALUE, 0x1FF, 0x12345678};
    static long[] LA = {0L, 1L, -1L, -7L, 64L, 65L, Long.MIN_VALUE, Long.MAX_VALUE, 0xFFFFFFFFL, 0x100000000L};
    static float[] FA = {0f, -0f, 1f, -5.5f, 2f, 0.1f, 1e10f, 3e9f, -2147483904f, Float.NaN, Float.POSITIVE_INFINITY,
                         Float.NEGATIVE_INFINITY, Float.MIN_VALUE, Float.MAX_VALUE, 16777217f};
    static double[] DA = {0.0, -0.0, 1.0, 1.1107651257113993e-16, 1e308, 10.0, -5.5, 2.0, 1e19, 9.223372036854775807E18,
                          -9.223372036854775808E18, Double.NaN, Double.POSITIVE_INFINITY, Double.MIN_VALUE, 2147483647.5};

    public static int cases() { return IA.length * IA.length; }

    public static int i(int n) {
        int a = IA[n / IA.length], b = IA[n % IA.length];
        switch (n % 9) {
            case 0: return n == 0 ? run() : idivide(a, b);
            case 1: return iremainder(a, b);
            case 2: return shl(a, b);
            case 3: return i2b(a + b) * 100000 + i2c(a - b);
            case 4: return i2s(a * b);
            case 5: return lcmp(LA[n % LA.length], LA[(n / 7) % LA.length]);
            case 6: return fcmpg(FA[n % FA.length], FA[(n / 5) % FA.length]) * 10 + fcmpl(FA[n % FA.length], FA[(n / 5) % FA.length]);
            case 7: return f2i(FA[n % FA.length]) ^ d2i(DA[n % DA.length]);
            default: return (a >> b) + (a >>> b) * 3;
        }
    }

    public static long l(int n) {
        long a = LA[n % LA.length], b = LA[(n / LA.length) % LA.length];
        switch (n % 6) {
            case 0: return ldivide(a, b == 0 ? 1 : b) + (b == 0 ? lremainder(a, b) : 0);
            case 1: return lremainder(a, b);
            case 2: return lshl(a, IA[n % IA.length]);
            case 3: return lushr(a, IA[n % IA.length]);
            case 4: return f2l(FA[n % FA.length]);
            default: return d2l(DA[n % DA.length]) - a * b;
        }
    }

    public static float f(int n) {
        float a = FA[n % FA.length], b = FA[(n / FA.length) % FA.length];
        switch (n % 7) {
            case 0: return fadd(a, b);
            case 1: return fmul(a, b);
            case 2: return frem(a, b);
            case 3: return fneg(a);
            case 4: return l2f(LA[n % LA.length] * 0x1000001L + 1);
            case 5: return i2f(IA[n % IA.length]);
            default: return d2f(DA[n % DA.length]);
        }
    }

    public static double d(int n) {
        double a = DA[n % DA.length], b = DA[(n / DA.length) % DA.length];
        switch (n % 6) {
            case 0: return dadd(a, b);
            case 1: return dmul(a, b);
            case 2: return ddiv(a, b);
            case 3: return drem(a, b);
            case 4: return dneg(a);
            default: return l2d(LA[n % LA.length] + 1);
        }
    }
}
