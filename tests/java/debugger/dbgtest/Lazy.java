package dbgtest;

/* A class whose initialiser no one runs: a client loads it by name. */
public class Lazy {
  static int ready = Integer.parseInt("5");
}
