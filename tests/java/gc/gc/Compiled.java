package gc;

/* Methods that tests/gc/gc_compiled.cpp binds to compiled code. The bodies of the bound
   ones run only when the binding is missing, and give answers no test accepts. */
public class Compiled {
    int factor = 3;

    /* Bound: a + b. */
    public static int add(int a, int b) { return -1; }
    /* Bound: the long whose high word is high and low word low. */
    public static long join(int high, int low) { return -1L; }
    /* Bound: 3 * x when the receiver is a Compiled, else -2. */
    public int scaled(int x) { return -1; }

    public static int callAdd(int a, int b) { return add(a, b) * 10; }
    public static long callJoin(int high, int low) { return join(high, low) + 1; }
    public static int callScaled(int x) { return new Compiled().scaled(x); }

    /* Bound: twice(x) + triple(x), called from the compiled code. */
    public static int viaJava(int x) { return -1; }
    public static int twice(int x) { return 2 * x; }
    public static native int triple(int x);

    /* Bound: throws ArithmeticException("from compiled code"). */
    public static int raise(int x) { return -1; }
    public static int catchRaise(int x) {
        try {
            return raise(x);
        } catch (ArithmeticException e) {
            return e.getMessage().length() + x;
        }
    }

    public static int thrower(int x) {
        if (x > 0) throw new ArithmeticException("thrown by Java");
        return x;
    }
    /* Bound: thrower(x), with a handler for ArithmeticException that answers 1000 + x. */
    public static int catchInCompiled(int x) { return -1; }
    /* Bound: thrower(x), with a handler only for ArrayStoreException. */
    public static int catchOther(int x) { return -1; }
    public static int callCatchOther(int x) {
        try {
            return catchOther(x);
        } catch (ArithmeticException e) {
            return 7;
        }
    }

    /* Bound: 0 at depth 0, else bounceJava(depth - 1) + 1; with throwAtBottom the
       bottom throws instead. Compiled and interpreted frames alternate. */
    public static int bounce(int depth, boolean throwAtBottom) { return -1; }
    public static int bounceJava(int depth, boolean throwAtBottom) { return bounce(depth, throwAtBottom); }
    public static int catchBounce(int depth) {
        try {
            return bounce(depth, true);
        } catch (ArithmeticException e) {
            return -depth;
        }
    }

    public static int[] make(int n) {
        int[] a = new int[n];
        for (int i = 0; i < n; i++) a[i] = i;
        return a;
    }
    /* Garbage and a collection while a caller holds what make gave it. */
    public static int churn(int rounds) {
        for (int r = 0; r < rounds; r++) {
            Object[] junk = new Object[50];
            for (int i = 0; i < junk.length; i++) junk[i] = new int[10 + i];
        }
        Host.collect(false);
        return rounds;
    }
    /* Bound: make(n) kept in the compiled frame's references while churn runs; the sum
       of the array afterwards. */
    public static int hold(int n) { return -1; }

    public static volatile boolean stop;
    public static int go() { stop = false; return 0; }
    public static int halt() { stop = true; return 0; }
    public static int spin() {
        int n = 0;
        while (!stop) n++;
        return n;
    }
    /* Bound: make(n) kept while spin runs; the sum of the array afterwards. */
    public static int holdAcrossSpin(int n) { return -1; }
    public static int callHoldAcrossSpin(int n) { return holdAcrossSpin(n); }
    /* Bound: as holdAcrossSpin, with spin called by a native. */
    public static int holdAcrossNativeSpin(int n) { return -1; }
    public static native int spinThroughNative();
    /* Bound: attachedAgainNative(x) + 1, called from the compiled code. */
    public static int viaAttachedAgain(int x) { return -1; }
    /* Attaches the thread again and waits declared through the new env; 5 * x. */
    public static native int attachedAgainNative(int x);

    /* make(n) held in a local of bytecode while a native calls spin. */
    public static int holdAcrossNativeSpinInJava(int n) {
        int[] a = make(n);
        spinThroughNative();
        int sum = 0;
        for (int i = 0; i < a.length; i++) sum += a[i];
        return sum;
    }
}
