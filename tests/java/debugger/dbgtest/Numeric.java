package dbgtest;

/* Numeric code of the kind the interpreter's fast loop carries out itself: double
   arithmetic, array elements of every width, calls and returns of bytecode methods, a
   mathematical native, a one-liner of the class library's abs shape, static fields,
   subroutines. The debugger tests stop threads in it; lines are found by the markers. */
public class Numeric {
  static double total;
  static double last;
  static volatile boolean stop;
  static double[] cells = new double[300];

  /* Compiled as the class library's Math.abs(int) is: the loop may compute it in place. */
  static int absOf(int a) {
    return (a < 0) ? -a : a; // @abs-body
  }

  static double scale(double x) {
    double y = x * 0.5; // @scale-first
    return y; // @scale-return
  }

  public static int kernel(int n) {
    double[] v = new double[n];
    long acc = 0;
    for (int i = 0; i < n; i++) {
      v[i] = i * 1.5; // @kernel-store
    }
    double s = 0;
    for (int j = 0; j < n; j++) {
      double d = v[j]; // @kernel-load
      s = s + d; // @kernel-add
      s = s + Math.sqrt(d); // @kernel-sqrt
      acc += absOf(j - n / 2); // @kernel-abs
      s = s + scale(d); // @kernel-scale
    }
    total = total + s; // @kernel-static
    return (int) acc + (int) s; // @kernel-return
  }

  /* Fills cells, the element at 200 lying past the array's first block. */
  public static int fill() {
    for (int i = 0; i < cells.length; i++) {
      cells[i] = i + 0.25; // @fill-store
    }
    last = cells[200]; // @fill-static
    return (int) last;
  }

  /* Runs kernel until told to stop. */
  public static int spin() {
    int r = 0;
    while (!stop) {
      r = kernel(40) & 0xFFFF; // @spin-call
    }
    return r;
  }

  /* Calls without a single loop or backward branch: only its calls can poll. */
  static int tree(int depth) {
    if (stop || depth == 0) return 1;
    return tree(depth - 1) + tree(depth - 1); // @tree-call
  }

  public static int spinCalls() {
    return tree(60);
  }

  /* An exception raised by an element load in a callee the loop pushed itself. */
  static double at(double[] v, int i) {
    return v[i]; // @at-load
  }

  public static int probe(int i) {
    try {
      return (int) at(cells, i); // @probe-call
    } catch (ArrayIndexOutOfBoundsException e) {
      return -1; // @probe-handler
    }
  }

  /* A finally block, a subroutine in class files of this version. */
  public static int guarded(int n) {
    int r = 0;
    try {
      r = n * 2; // @guarded-body
    } finally {
      r = r + 1; // @guarded-finally
    }
    return r; // @guarded-return
  }

  /* The same with the return inside the try: the subroutine lies after its call (the jsr
     above goes back to it). */
  static int early(int n) {
    int r = n * 2;
    try {
      return r; // @early-body
    } finally {
      r = r + 1; // @early-finally
    }
  }

  /* Calls both until told to stop, from one frame: the loop makes every call itself. */
  public static int guardedSpin() {
    int r = 0;
    for (int i = 0; !stop; i++) {
      r = guarded(i & 0xFFFF) + early(i & 0xFFFF); // @guarded-spin
    }
    return r;
  }

  static int three = 3, two = 2;

  /* Counts the rounds whose constants, pushed by their own instructions, differ from the
     same values read from fields, until told to stop. */
  public static int constants() {
    int wrong = 0;
    while (!stop) {
      int a = 0, b = 0;
      for (int i = 0; i < 64; i++) {
        a = a * 3 + 2; // @constants-push
        b = b * three + two;
      }
      if (a != b) wrong++;
    }
    return wrong;
  }

  public static void release() {
    stop = true;
  }

  static volatile int ended;

  /* Runs kernel until the test sets ended to r, for tests that start a thread a round. */
  public static int spinRound(int r) {
    int s = 0;
    while (ended < r) {
      s = kernel(8) & 0xFFFF;
    }
    return s;
  }
}
