package interp;

/* Frames walked for references while a native runs: a caller with a reference result and
   an int first argument, locals and stack words of both kinds. */
public class Walk {
    static native Object probe(int marker, Object o);

    static Object kept;

    public static Object outer(int seven, Object a) {
        Object mine = new Object();
        kept = mine;
        int r = inner(seven, a, "s");
        return r == 21 ? a : mine;
    }

    static int inner(int n, Object a, String s) {
        int local = n * 3;
        Object o = s.length() == 1 ? a : null;
        Object r = probe(12345, o);
        return r == o ? local : -1;
    }
}
