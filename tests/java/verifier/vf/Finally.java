package vf;

/* try/finally in the shapes ecj -target 1.1 compiles with jsr and ret: one finally reached
   from several call sites (fall-through, return, break, continue, throw), nested finally,
   a finally that returns, finally inside a loop and around a switch, and synchronized
   blocks. */
public class Finally {
    static int counter;

    static int severalSites(int n) {
        int result = 0;
        for (int i = 0; i < n; i++) {
            try {
                if (i == 3) continue;
                if (i == 7) break;
                if (i == 9) return -1;
                if (i == 11) throw new IllegalStateException("eleven");
                result += i;
            } finally {
                counter++;
            }
        }
        return result;
    }

    static String nested(int n) {
        StringBuffer b = new StringBuffer();
        try {
            try {
                b.append("a");
                if (n > 1) return b.toString();
            } finally {
                b.append("b");
                try {
                    if (n > 2) throw new RuntimeException("c");
                } finally {
                    b.append("d");
                }
            }
        } catch (RuntimeException e) {
            b.append(e.getMessage());
        } finally {
            b.append("e");
        }
        return b.toString();
    }

    static int returningFinally(int n) {
        try {
            if (n > 0) return n;
            throw new Error();
        } finally {
            if (n < 100) return n + 1;
        }
    }

    static long longValueAcross(long v, Object o) {
        long x = v;
        Object keep = o;
        try {
            x += keep.hashCode();
        } finally {
            x -= 1;
            keep = null;
        }
        return x;
    }

    static int switchInFinally(int k) {
        int r = 0;
        try {
            switch (k) {
                case 0: r = 10; break;
                case 1: r = 11; break;
                case 5: return 55;
                default: r = -1;
            }
        } finally {
            switch (r) {
                case 10: counter += 2; break;
                case 1000: counter += 3; break;
                default: counter++;
            }
        }
        return r;
    }

    final Object lock = new Object();
    int guarded;

    int synchronizedBlocks(int n) {
        synchronized (lock) {
            guarded += n;
            synchronized (this) {
                if (n < 0) return -1;
                guarded++;
            }
        }
        return guarded;
    }

    static synchronized Object[] objects(int n) {
        Object[] out = new Object[n];
        try {
            for (int i = 0; i < n; i++) out[i] = i % 2 == 0 ? (Object) "s" : (Object) new Integer(i);
        } finally {
            counter++;
        }
        return out;
    }

    /* A value of a class type in a local on one path and null on another, across a
       finally that writes other locals. */
    static String mixedLocals(boolean b) {
        String s = b ? "yes" : null;
        Object o;
        try {
            o = b ? (Object) new StringBuffer("sb") : (Object) "str";
        } finally {
            counter++;
        }
        return s + o;
    }
}
