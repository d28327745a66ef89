package interp;

/* Throws and handler ranges, finally blocks (jsr and ret under -target 1.1) left by
   every path, rethrows, deep unwinding, stack overflows and work after them. */
public class Unwind {
    public static int cases() { return 18; }

    static int ZERO = 0, ONE = 1;
    static int[] NULLS = null;
    static Object LOCK = new Object();

    static class E1 extends RuntimeException { int v; E1(int v) { this.v = v; } }
    static class E2 extends E1 { E2(int v) { super(v); } }

    static int thrower(int d) { if (d == 0) throw new E2(42); return thrower(d - 1) + 1; }

    static int fin1(int k) {
        int r = 0;
        for (int i = 0; i < 1000; i++) {
            try {
                if (i % 3 == k) continue;
                r += i;
                if (i == 997 && k == 9) break;
            } finally {
                r ^= i;
            }
        }
        return r;
    }

    static int fin2(int k) {
        try {
            try {
                if (k == 0) throw new E1(1);
                return 10;
            } finally {
                if (k == 1) throw new E2(2);
            }
        } catch (E2 e) {
            return 20 + e.v;
        } catch (E1 e) {
            return 30 + e.v;
        } finally {
            ZERO = ZERO + 0;
        }
    }

    static int fin3() {
        int r = 0;
        while (true) {
            try {
                r++;
                if (r < 5) continue;
                break;
            } finally {
                try { r += 100; if (r > 300) throw new E1(r); } catch (E1 e) { r -= 1000; } finally { r += 1; }
            }
        }
        return r;
    }

    static int rethrow(int k) {
        try {
            try {
                throw new E1(k);
            } catch (E1 e) {
                throw new E2(e.v + 1);
            }
        } catch (E2 e) {
            return e.v;
        }
    }

    static int sync(int k) {
        synchronized (LOCK) {
            synchronized (LOCK) {
                if (k == 1) throw new E1(5);
                return k;
            }
        }
    }

    static int deepCatch(int d) {
        try {
            return thrower(d);
        } catch (E1 e) {
            return e.v + (e instanceof E2 ? 1000 : 0);
        }
    }

    static int overflow;
    static void forever() { overflow++; forever(); }
    static int forever2(int a, long b, double c) { overflow++; return forever2(a + 1, b, c) + 1; }

    static int soe(int which) {
        overflow = 0;
        try {
            if (which == 0) forever(); else forever2(1, 2L, 3.0);
        } catch (StackOverflowError e) {
            return overflow > 1000 ? 1 : -overflow;
        }
        return 0;
    }

    static int soeThenWork() {
        int r = soe(0) + soe(1);
        return r * 1000 + deepCatch(500);
    }

    /* A handler range that ends just before the throwing instruction. */
    static int edge(int k) {
        int[] a = NULLS;
        int r = 0;
        try {
            r = 1;
        } catch (NullPointerException e) {
            return -1;
        }
        try {
            return a[k];
        } catch (NullPointerException e) {
            return 2;
        }
    }

    public static int i(int n) {
        switch (n) {
            case 0: return fin1(0);
            case 1: return fin1(9);
            case 2: return fin2(0);
            case 3: return fin2(1);
            case 4: return fin2(2);
            case 5: return fin3();
            case 6: return rethrow(7);
            case 7: return sync(3);
            case 8: return sync(1);
            case 9: return deepCatch(2000);
            case 10: return soeThenWork();
            case 11: return edge(0);
            case 12: { Object o = null; synchronized (o) { return 1; } }
            case 13: { RuntimeException e = null; throw e; }
            case 14: return thrower(3);
            case 15: { try { throw new Error("x"); } catch (Throwable t) { return t instanceof Error ? 1 : 0; } }
            case 16: { int r = 0; for (int i = 0; i < 100; i++) { try { r += 10 / (i % 10); } catch (ArithmeticException e) { r += 1000; } } return r; }
            case 17: { try { Object o = "s"; Integer x = (Integer) o; return x.intValue(); } catch (ClassCastException e) { return 3; } }
        }
        return -777;
    }
}
