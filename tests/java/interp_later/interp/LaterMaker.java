package interp;

/* Abstract now: nothing makes one. */
abstract class LaterMaker {
    int make() { return 6; }
}
