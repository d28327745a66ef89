package reflect;

/** Overloads for the machine's resolver. */
public class Overloads extends OverloadsBase {

    public static void m(long x) {
    }

    public static void m(double x) {
    }

    public static void p(int a, long b) {
    }

    public static void p(long a, int b) {
    }

    public void q(int x) {
    }

    private static void r(int x) {
    }

    protected static void t(int x) {
    }

    public static void s(String x) {
    }

    public static void s(Object x) {
    }

    public static void a(int[] x) {
    }

    public static void a(Object x) {
    }
}

class OverloadsBase {

    public static void up(int x) {
    }
}
