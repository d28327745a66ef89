package dbgtest;

/* A class a test loads through a loader of its own, and then lets go of. */
public class Other {
  static int counter = 3;

  static int sum(int n) {
    int acc = 0;
    for (int i = 0; i < n; i++) acc += i;
    return acc;
  }
}
