package interp;

/* Natives of every argument and result type: found by symbol name (Sym*) in the test
   program, or registered (Reg*) under other C names. callAll() calls them from bytecode
   and answers 0 or the failed check. */
public class Natives {
    int field = 41;

    static native boolean symZ(boolean z);
    static native byte symB(byte b);
    static native char symC(char c);
    static native short symS(short s);
    static native int symI(int a, long b, int c);
    static native long symJ(long a, int b, long c);
    static native float symF(float a, double b, float c);
    static native double symD(double a, float b, double c);
    static native String symL(String s, Object o);
    static native void symV(int[] out);
    native int symInstance(int add);

    static native boolean regZ(int v);
    static native byte regB(int v);
    static native char regC(int v);
    static native short regS(int v);
    static native int regI(int a, int b);
    static native long regJ(long a);
    static native float regF(float a);
    static native double regD(double a);
    static native Object regL(Object a);
    native long regInstanceJ(long a);

    static native int unbound(int a);
    static native int throwsThrough(int a);
    static native int callsBack(int depth);
    static native int pollInside();

    static int ZERO = 0;
    static int failed;

    static void check(int n, boolean ok) {
        if (!ok && failed == 0) failed = n;
    }

    public static int callAll() {
        failed = 0;
        check(1, symZ(true) == false && symZ(false) == true);
        check(2, symB((byte) 5) == (byte) -6 && symC((char) 65) == (char) 65000);
        check(3, symS((short) 7) == (short) -32000);
        check(4, symI(1, 1L << 40, 3) == 1 + 256 + 3);
        check(5, symJ(1L << 40, 2, -1L) == (1L << 40) * 2 - 1);
        check(6, symF(1.5f, 2.25, 0.125f) == 3.875f);
        check(7, symD(1.5, 2.25f, 0.125) == 3.875);
        String s = symL("abc", null);
        check(8, s == "abc");
        int[] out = new int[1];
        symV(out);
        check(9, out[0] == 77);
        check(10, new Natives().symInstance(1) == 42);
        check(11, regZ(2) && !regZ(256) && regB(0x1FF) == -1 && regC(-1) == 65535 && regS(0x18000) == -32768);
        check(12, regI(6, 7) == 42 && regJ(5L) == 0x1234567800000005L);
        float f = 0f + ZERO;
        for (int i = 0; i < 10; i++) f += regF(0.5f);
        double d = 1.0 / 3 + ZERO;
        check(13, f == 15f && d * 3 == 1.0 && regD(0.25) == 0.5);
        Object o = new Object();
        check(14, regL(o) == o && regL(null) == null);
        check(15, new Natives().regInstanceJ(-1L) == 40L);
        try {
            unbound(1);
            check(16, false);
        } catch (UnsatisfiedLinkError e) {
            check(16, e.getMessage() != null);
        }
        try {
            throwsThrough(3);
            check(17, false);
        } catch (IllegalArgumentException e) {
            check(17, true);
        }
        check(18, callsBack(30) == 30);
        try {
            pollInside();
            check(19, false);
        } catch (IllegalStateException e) {
            check(19, true);
        }
        return failed;
    }

    public static int back(int depth) { return depth <= 0 ? 0 : 1 + callsBack(depth - 1); }

    /* Java, native, Java, native... deeper than the host's stack may go: a
       StackOverflowError, caught here; then the same machine goes on. */
    public static int backCaught(int depth) {
        try {
            return back(depth);
        } catch (StackOverflowError e) {
            return -1;
        }
    }
}
