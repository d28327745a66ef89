package fl;

/* A throwing branch that reuses a slot of a sibling scope for the other kind: a frame
   walked while it throws must see the slot as the throwing path has it. */

public class Throws {
    static void use(Object o) { }
    static String text(int n) { return "" + n; }

    /* A sibling scope leaves slot 2 a reference; the throwing branch reuses it for an int. */
    public static void siblingThrow(Object a, boolean c) {
        { Object t = a; use(t); }
        if (c) {
            int code = 5;
            throw new IllegalStateException(text(code));
        }
        { Object u = a; use(u); }
    }

    /* The same with the reference on the throwing side: the walk then misses it. */
    public static void siblingThrow2(Object a, boolean c) {
        { int k = 7; use(text(k)); }
        if (c) {
            Object held = new Object();
            use(held);
            throw new IllegalStateException();
        }
        { int j = 8; use(text(j)); }
    }
}
