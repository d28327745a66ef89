package fl;

/* More finally shapes: nested loops, a slot reused by both kinds, return and throw
   from a finally, monitors inside one, longs and doubles around one. */
public class Shapes2 {
    static Object keep; static int n; static boolean c;
    static Object make() { return new Object(); }
    static void use(Object o) { keep = o; }
    static void may() throws java.io.IOException { if (c) throw new java.io.IOException(); }

    static Object nestedLoops(Object a) {
        Object r = null;
        for (int i = 0; i < 3; i++) {
            try {
                Object t = make();
                try { use(t); if (i == 1) continue; } finally { use(a); if (c) break; }
                r = t;
            } finally {
                try { may(); } catch (java.io.IOException e) { use(e); }
                finally { n++; }
            }
        }
        return r;
    }

    static int slotReuse(Object a) {
        int total = 0;
        for (int i = 0; i < 4; i++) {
            if ((i & 1) == 0) { Object o = make(); try { use(o); } finally { use(a); } }
            else { int k = i * 3; try { total += k; } finally { total--; } }
        }
        return total;
    }

    static Object returnFromFinally(Object a) {
        try { if (c) return a; use(a); } finally { if (n > 3) return make(); }
        return null;
    }

    static void syncInFinally(Object a) {
        try { use(a); } finally { synchronized (a) { use(make()); } }
    }

    static long longsAndDoubles(long x, double y, Object o) {
        long r = x;
        try { r += (long) y; double z = y * 2; r ^= (long) z; }
        finally { use(o); long q = r; r = q + 1; }
        return r;
    }

    static Object throwInFinally(Object a) {
        Object v = make();
        try {
            try { use(v); } finally { if (c) throw new RuntimeException(); }
        } catch (RuntimeException e) { v = e; }
        return v;
    }
}
