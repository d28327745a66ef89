package dbgtest;

/* A program a client drives end to end through requests alone: it stops at a breakpoint
   in add, steps over a line there, watches total change, and lets the program finish.
   The test finds its lines by the markers in the comments. */
public class Journey {
  int total;

  public static String go(int n) {
    Journey j = new Journey(); // @go-first
    for (int i = 0; i < n; i++) {
      j.add(i); // @go-call
    }
    return "total=" + j.total + " of " + n; // @go-return
  }

  void add(int i) {
    int d = i * 2; // @add-first
    total += d; // @add-store
  }
}
