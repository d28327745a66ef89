package dbgtest;

/* A class whose initialiser throws. */
public class Bad {
  static int value;

  static {
    if (Target.counter >= 0) throw new RuntimeException("bad");
    value = 1;
  }
}
