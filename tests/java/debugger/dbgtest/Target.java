package dbgtest;

/* Java code that a debugger client drives: the test finds its lines by the markers in
   the comments. */
public class Target {
  static int counter;
  int field;
  long wide;

  public static int run() {
    int r = sum(10); // @run-call
    return r; // @run-return
  }

  static int sum(int n) {
    int acc = 0; // @sum-first
    for (int i = 0; i < n; i++) {
      acc += i; // @sum-loop
    }
    return acc; // @sum-return
  }

  public static int twice(int x) {
    int a = helper(x); // @twice-call
    int b = helper(x + 1); // @twice-second
    return a + b; // @twice-return
  }

  public static int one(int x) { return x + 1; } // @one-body

  static int helper(int x) {
    int y = x * 2; // @helper-first
    return y; // @helper-return
  }

  public static int watch() {
    Target t = new Target();
    for (int i = 0; i < 5; i++) {
      t.field = i * 3; // @watch-field
    }
    t.wide = 0x123456789L; // @watch-wide
    counter = 7; // @watch-static
    int local = 1;
    local = local + 41; // @watch-local
    return t.field + local; // @watch-return
  }

  public static int catcher() {
    try {
      throw new IllegalStateException("caught"); // @catch-throw
    } catch (IllegalStateException e) {
      return 1; // @catch-handler
    }
  }

  public static int uncaught() {
    int x = 3;
    if (x == 3) throw new IllegalArgumentException("uncaught"); // @uncaught-throw
    return x;
  }

  /* The initialiser's exception leaves Java code run for a native, which Java called. */
  public static int initialiseBad() {
    try {
      Class.forName("dbgtest.Bad");
      return 0;
    } catch (Throwable t) {
      return 1;
    }
  }

  /* Leaves through an exception from a frame a step over started in. */
  public static int stepThrow() {
    try {
      return thrower(); // @stepthrow-call
    } catch (RuntimeException e) {
      return 5; // @stepthrow-handler
    }
  }

  static int thrower() {
    int z = 1; // @thrower-first
    if (z == 1) throw new RuntimeException("out"); // @thrower-throw
    return z;
  }

  /* Calls made by many threads at once. */
  public static int work(int n) {
    int s = 0;
    for (int i = 0; i < n; i++) {
      s += bump(i); // @work-call
    }
    return s;
  }

  static int bump(int i) {
    return i + 1; // @bump-body
  }

  /* Runs until told to stop, calling bump: a thread the debugger must catch mid-run. */
  static volatile boolean stop;

  public static int spin() {
    int s = 0;
    while (!stop) {
      s = bump(s) & 0xFFFF; // @spin-call
    }
    return s;
  }

  /* Runs until told to stop without calling anything: it meets only its own polls. */
  public static int spinLocal() {
    int s = 0;
    while (!stop) {
      s = (s + 3) & 0xFFFF; // @spinlocal-body
    }
    return s;
  }

  public static void release() {
    stop = true;
  }

  /* A dense and a sparse switch in front of the line a breakpoint aims at: the walk over
     instruction starts must step over their padded tables. */
  public static int pick(int k) {
    int r;
    switch (k) {
      case 1: r = 10; break;
      case 2: r = 20; break;
      case 3: r = 30; break;
      default: r = 5;
    }
    switch (k * 1000) {
      case -70000: r += 1; break;
      case 2000: r += 2; break;
      case 9000000: r += 3; break;
      default: r += 4;
    }
    return r + k; // @pick-after
  }
}
