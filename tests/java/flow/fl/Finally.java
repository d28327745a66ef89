package fl;

/* Subroutine shapes as a 1.1-era compiler emits them (jsr and ret for every finally). */
public class Finally {
    static Object make() { return new Object(); }
    static void close() throws java.io.IOException { }
    static void log(Object o) { }
    static boolean cond;
    static int counter;

    static Object plain() {
        Object o = make();
        try {
            log(o);
        } finally {
            counter++;
        }
        return o;
    }

    static int returnInFinally(int x) {
        try {
            x = x * 2;
        } finally {
            return x;
        }
    }

    static Object handlerInsideFinally() {
        try {
            return make();
        } finally {
            try {
                close();
            } catch (java.io.IOException e) {
                log(e);
            }
        }
    }

    static void branchInFinally(Object a, int n) {
        try {
            log(a);
        } finally {
            if (cond) log(a); else counter += n;
        }
    }

    static Object nested(Object a) {
        Object r = null;
        try {
            r = make();
        } finally {
            try {
                log(a);
            } finally {
                log(r);
                counter++;
            }
        }
        return r;
    }

    static int breakInFinally(Object a) {
        int i = 0;
        while (i < 10) {
            try {
                i++;
                if (i == 3) continue;
                log(a);
            } finally {
                if (cond) break;
                if (i == 5) continue;
            }
        }
        return i;
    }

    /* One local is a reference at one call site and an int at the other. */
    static void twoSites(boolean b) {
        if (b) {
            Object o = make();
            try {
                log(o);
            } finally {
                counter++;
            }
            log(o);
        } else {
            int k = 7;
            try {
                counter += k;
            } finally {
                counter++;
            }
            counter += k;
        }
    }

    static void loopOfFinally(Object[] xs) {
        for (int i = 0; i < xs.length; i++) {
            Object x = xs[i];
            try {
                if (x == null) continue;
                log(x);
            } finally {
                log(xs);
            }
            log(x);
        }
    }

    static Object deep(Object a) {
        try {
            try {
                try {
                    return make();
                } finally {
                    log(a);
                }
            } finally {
                try {
                    log(a);
                } finally {
                    counter++;
                }
            }
        } finally {
            if (cond) throw new RuntimeException();
        }
    }

    static void throwingFinally(Object a) {
        try {
            log(a);
        } finally {
            throw new IllegalStateException();
        }
    }

    synchronized void syncMethod() { counter++; }

    void syncBlock(Object lock) {
        synchronized (lock) {
            log(lock);
            synchronized (this) {
                counter++;
            }
        }
    }

    static void finallyInCatch(Object a) {
        try {
            log(a);
        } catch (RuntimeException e) {
            try {
                log(e);
            } finally {
                log(a);
            }
        } finally {
            counter--;
        }
    }
}
