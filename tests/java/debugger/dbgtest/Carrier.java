package dbgtest;

/* A thread that runs Java and leaves it for natives the tests register: one that makes
   a debugger client's call from the thread itself, one that calls back into Java, one
   that only waits. Its loops add to total until phase lets them go on (9 ends them). */
public class Carrier {
  static double total;
  static volatile int phase;
  static int filled;

  static native void client();

  static native int callback();

  static native void hold();

  static native int down(int depth);

  static int add(int n) {
    for (int i = 0; i < n; i++) {
      total = total + 1.0;
    }
    return n;
  }

  static int loopUntil(int p) {
    int rounds = 0;
    while (phase < p) {
      rounds += add(100);
    }
    return rounds;
  }

  /* The call first, then the loop. */
  public static int callThenLoop() {
    client();
    return loopUntil(9);
  }

  /* The loop until phase 1, the call, the loop again. */
  public static int loopCallLoop() {
    int rounds = loopUntil(1);
    client();
    return rounds + loopUntil(9);
  }

  /* The call in every round of the loop. */
  public static int callInEveryRound() {
    int rounds = 0;
    while (phase < 9) {
      rounds += add(10);
      client();
    }
    return rounds;
  }

  /* Called back by callback(): the loop until phase 1. */
  static int inner() {
    int rounds = loopUntil(1);
    if (throwing) throw new IllegalStateException("inner");
    return rounds; // @carrier-inner-return
  }

  static volatile boolean throwing;

  /* The call back first, then the loop, which never calls back again. */
  public static int callBackThenLoop() {
    int rounds = callback(); // @carrier-callback
    return rounds + loopUntil(9);
  }

  /* The call back in every round of a loop whose test branches back to it. */
  public static int callBackInEveryRound() {
    int rounds = 0;
    do {
      rounds += callback();
    } while (phase < 9); // @carrier-back
    return rounds;
  }

  /* Java, a native, Java again, depth times over: down(depth) calls nest(depth - 1)
     back, and down(0) only waits. Each level adds to total once its native returns. */
  public static int nest(int depth) {
    int r = down(depth);
    return r + add(1);
  }

  /* A class whose initialiser runs (entered from the instruction that first reads its
     field) and waits first, then the loop. */
  public static int holdInitialiseThenLoop() {
    int rounds = Late.value;
    return rounds + loopUntil(9);
  }

  /* A class's initialiser that waits, then fails, or the call back with throwing set: an
     exception leaves the Java code entered from native code; caught here (caught tells
     which), then the loop. */
  public static int failThenLoop(boolean initialiser) {
    try {
      if (initialiser) {
        caught = Failing.value;
      } else {
        caught = callback();
      }
    } catch (IllegalStateException e) {
      caught = 1;
    } catch (ExceptionInInitializerError e) {
      caught = 2;
    }
    return loopUntil(9);
  }

  static int caught;

  /* A second thread's work, with a line to stop at. */
  public static int fill() {
    int n = 0;
    for (int i = 0; i < 200; i++) {
      filled = filled + 1; // @carrier-fill
      n++;
    }
    return n;
  }
}

/* Its initialiser waits in Carrier.hold(), and leaves Carrier.total as it is. */
class Late {
  static int value;

  static {
    Carrier.hold();
    value = Integer.parseInt("3");
  }
}

/* Its initialiser waits in Carrier.hold(), then fails. */
class Failing {
  static int value;

  static {
    Carrier.hold();
    value = Integer.parseInt("three");
  }
}
