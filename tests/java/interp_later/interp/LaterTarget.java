package interp;

/* Its members are private now: callers compiled earlier may no longer link to them. */
class LaterTarget {
    private int field = 7;
    private static int open() { return 8; }
    int both() { return open() + field; }
}
