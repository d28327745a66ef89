package interp;

/* Control flow: loops, both switches, labelled break and continue, try/catch/finally
   (the compiler's jsr/ret subroutines, reached from several places, nested). Every
   method answers a value the C++ side knows. */
public class Flow {
    static int ZERO = 0;

    public static int loops(int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) sum += i;
        int j = n;
        while (j > 0) { sum += j; j -= 3; }
        int k = 0;
        do { sum ^= k; k++; } while (k < 5);
        return sum;
    }

    public static int table(int key) {
        switch (key) {
            case -2: return 100;
            case -1: return 101;
            case 0: return 102;
            case 1: return 103;
            case 2: return 104;
            case 3: return 105;
            default: return -1;
        }
    }

    public static int extremes(int key) {
        switch (key) {
            case Integer.MIN_VALUE: return 1;
            case Integer.MAX_VALUE: return 2;
            case 0: return 3;
            default: return 4;
        }
    }

    public static int lookup(int key) {
        switch (key) {
            case -1000000: return 1;
            case -7: return 2;
            case 10: return 3;
            case 1000: return 4;
            case 65536: return 5;
            case 1 << 30: return 6;
            default: return 0;
        }
    }

    public static int labelled(int n) {
        int count = 0;
        outer:
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < n; j++) {
                if (j == i) continue outer;
                if (i * j > 20) break outer;
                count += i * 10 + j;
            }
        }
        return count;
    }

    static int trace;

    static void note(int d) { trace = trace * 10 + d; }

    /* A finally reached by a normal exit, by a return and by an exception. */
    public static int finallyPaths(int mode) {
        trace = 0;
        try {
            try {
                note(1);
                if (mode == 1) return trace;
                if (mode == 2) throw new IllegalStateException("two");
                note(2);
            } finally {
                note(3);
            }
            note(4);
        } catch (IllegalStateException e) {
            note(5);
        }
        return trace;
    }

    /* Nested finally blocks: inner, then outer, on every exit. */
    public static int nestedFinally(int mode) {
        trace = 0;
        try {
            try {
                try {
                    note(1);
                    if (mode == 1) throw new RuntimeException();
                    if (mode == 2) return -1;
                } finally {
                    note(2);
                }
            } finally {
                note(3);
                if (mode == 3) trace += 1000000;
            }
        } catch (RuntimeException e) {
            note(9);
        } finally {
            note(4);
        }
        return trace;
    }

    /* A finally that overrides the returned value and swallows an exception. */
    public static int finallyOverrides(int mode) {
        try {
            if (mode == 0) throw new RuntimeException();
            return 1;
        } finally {
            if (mode >= 0) return 2;
        }
    }

    /* An exception thrown by the first instruction of a protected range. */
    public static int firstInstruction(int a, int b) {
        try {
            return a / b;
        } catch (ArithmeticException e) {
            return -99;
        }
    }

    /* Caught by a handler in a caller two frames up. */
    static int deep(int n) {
        if (n == 0) throw new IndexOutOfBoundsException("deep");
        return deep(n - 1) + 1;
    }

    public static int callerCatches(int n) {
        try {
            return deep(n);
        } catch (IndexOutOfBoundsException e) {
            return n * 1000;
        }
    }

    /* Catch order: the inner, more specific handler is tried first. */
    public static int catchOrder(int mode) {
        try {
            try {
                if (mode == 0) throw new ArrayIndexOutOfBoundsException();
                if (mode == 1) throw new IndexOutOfBoundsException();
                throw new RuntimeException();
            } catch (ArrayIndexOutOfBoundsException e) {
                return 1;
            }
        } catch (IndexOutOfBoundsException e) {
            return 2;
        } catch (Throwable t) {
            return 3;
        }
    }

    public static int escapes(int n) {
        if (n > 0) throw new IllegalArgumentException("escaped");
        return n;
    }

    public static int recurse(int n) { return n == 0 ? 0 : 1 + recurse(n - 1); }

    public static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

    static int overflowDepth;

    static void down() {
        overflowDepth++;
        down();
    }

    public static int overflow() {
        overflowDepth = 0;
        try {
            down();
        } catch (StackOverflowError e) {
            return overflowDepth > 1000 ? 1 : -overflowDepth;
        }
        return 0;
    }

    /* Loops the host stops: an empty endless loop, and one inside a try that catches
       the ThreadDeath it ends with. */
    public static volatile int spinning;

    public static void spinForever() {
        spinning = 1;
        while (true) {
        }
    }

    public static int spinCaught() {
        spinning = 1;
        int n = 0;
        try {
            while (true) {
                n++;
            }
        } catch (ThreadDeath t) {
            return n > 0 ? 1 : 2;
        }
    }

    /* The cases the differential test compares with the JDK. */
    static int[] KEYS = {Integer.MIN_VALUE, -1000000, -7, -3, -2, -1, 0, 1, 2, 3, 4, 10, 1000, 65536, 1 << 30,
                         Integer.MAX_VALUE - 1, Integer.MAX_VALUE};

    public static int cases() { return 3 * KEYS.length; }

    public static int i(int n) {
        int key = KEYS[n % KEYS.length];
        switch (n / KEYS.length) {
            case 0: return table(key) * 10000 + extremes(key) * 100 + lookup(key);
            case 1: {
                int m = n % KEYS.length;
                return loops(m) * 1000 + labelled(m) + finallyPaths(m % 3) * 7 + nestedFinally(m % 4) + finallyOverrides(m % 3 - 1);
            }
            default: {
                int m = n % KEYS.length;
                switch (m % 8) {
                    case 0: return firstInstruction(key, m - 8);
                    case 1: return callerCatches(m);
                    case 2: return catchOrder(m % 3);
                    case 3: return escapes(m - 11);
                    case 4: return recurse(m * 100);
                    case 5: return fib(m + 3);
                    case 6: return overflow();
                    default: return firstInstruction(m, key);
                }
            }
        }
    }
}
