package dbgtest;

/* The program a debugger test client inspects: stop() hands the calling thread to the
   client, which reads and changes what the frames and objects hold before it lets the
   thread go on; the results show what it changed. */
public class Probe {
  static String label = "hello";
  static int[] numbers = {1, 2, 3};
  static long big = 1234567890123L;
  static Object[] things = new Object[2];

  int count = 7;
  String name = "obj";
  Object other;
  long wide = -5L;
  byte small = -3;
  char letter = 'x';
  boolean flag = true;
  short tiny = -2;
  double real = 1.5;
  float ratio = 2.5f;

  /* Reports a stop at the caller and returns once the client removes it. */
  static native void stop();
  /* Calls back into inner(n) through the native interface. */
  static native int viaNative(int n);

  public static int run(int n) {
    Probe t = new Probe();
    int local = n * 2;
    String text = "abc";
    stop();
    return local + t.count + text.length() + numbers[1];
  }

  public static String describe() {
    Probe t = new Probe();
    stop();
    return t.name + "," + t.small + "," + t.letter + "," + t.flag + "," + t.tiny + "," + t.wide + ","
        + t.real + "," + t.ratio + "," + label + "," + (things[0] == null ? "-" : things[0].toString());
  }

  public static int nested(int n) {
    return viaNative(n) + 1;
  }

  static int inner(int n) {
    int deep = n + 100;
    stop();
    return deep;
  }

  static boolean done;

  /* Counts until a client sets done. */
  public static int spin() {
    int i = 0;
    while (!done) { // @spin-loop
      i++;
    }
    return i > 0 ? 1 : 0;
  }

  public static int caught() {
    try {
      throw new IllegalStateException("x");
    } catch (IllegalStateException e) {
      stop();
      return e.getMessage().length() + 2;
    }
  }
}
