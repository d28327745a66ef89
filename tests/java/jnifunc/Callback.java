package jnifunc;

/* native -> Java -> native -> Java -> native: the host calls start, whose native calls
   inner back through the table, whose native leaf answers. */
public class Callback {
    static native int viaNative(int x);
    static native int leaf(int x);

    static int start(int x) {
        return viaNative(x) + 1;
    }

    static int inner(int x) {
        return leaf(x) * 2;
    }
}
