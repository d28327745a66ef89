package jnifunc;

/* Natives of every argument and result type, written in C against the machine's jni.h
   and found by their symbol names. Each calls back into Java through the env table in
   one of the three call forms. run() calls them all from bytecode and answers 0 or the
   number of the first check that failed. */
public class CNatives {
    int field = 7;

    static native boolean z(boolean v);
    static native byte b(byte v);
    static native char c(char v);
    static native short s(short v);
    static native int i(int v);
    static native long j(long v);
    static native float f(float v);
    static native double d(double v);
    static native String l(String v);
    static native int mix(boolean z, byte b, char c, short s, int i, long j, float f, double d, String str,
                          int[] arr, Object o);
    native int here(int add);
    static native int[] squares(int n);
    static native int caught(int v);

    static boolean backZ(boolean v) { return v; }
    static byte backB(byte v) { return v; }
    static char backC(char v) { return v; }
    static short backS(short v) { return v; }
    static int backI(int v) { return v; }
    static long backJ(long v) { return v; }
    static float backF(float v) { return v; }
    static double backD(double v) { return v; }
    static String backL(String v) { return "<" + v + ">"; }
    int twice(int v) { return 2 * v + field; }
    static int boom(int v) {
        if (v != 0) throw new IllegalArgumentException("boom");
        return 1;
    }

    static int failed;

    static void check(int n, boolean ok) {
        if (!ok && failed == 0) failed = n;
    }

    public static int run() {
        failed = 0;
        check(1, z(true));
        check(2, !z(false));
        check(3, b((byte) -128) == -128);
        check(4, b((byte) 127) == 127);
        check(5, c('\uffff') == '\uffff');
        check(6, c('\u0000') == 0);
        check(7, s((short) -32768) == -32768);
        check(8, s((short) 32767) == 32767);
        check(9, i(Integer.MIN_VALUE) == Integer.MIN_VALUE);
        check(10, j(Long.MIN_VALUE + 1) == Long.MIN_VALUE + 1);
        check(11, j(0x0123456789ABCDEFL) == 0x0123456789ABCDEFL);
        check(12, f(1.5f) == 1.5f);
        check(13, f(-3.4028235e38f) == -3.4028235e38f);
        check(14, d(-2.25e300) == -2.25e300);
        check(15, d(Double.MIN_VALUE) == Double.MIN_VALUE);
        check(16, "<h\u00e9llo \u20ac>".equals(l("h\u00e9llo \u20ac")));
        int[] arr = {1, 2, 3};
        check(17, mix(true, (byte) -2, '\u1234', (short) -3, 100000, -5L, 0.5f, 0.25, "ab", arr, arr) == 0x7FF);
        check(18, mix(false, (byte) -2, '\u1234', (short) -3, 100000, -5L, 0.5f, 0.25, "ab", arr, arr) == 0x7FE);
        check(19, new CNatives().here(5) == 7 + 2 * 5 + 7);
        int[] made = squares(5);
        check(20, made != null && made.length == 5 && made[4] == 16 && made[0] == 0);
        check(21, caught(0) == 1);
        check(22, caught(3) == -1);
        boolean threw = false;
        try {
            l(null);
        } catch (NullPointerException e) {
            threw = true;
        }
        check(23, threw);
        return failed;
    }
}
