package interp;

/* Values fetched by field instructions and kept in locals while a native walks the frame
   as the collector does: the second run walks the code in its quick forms. */
public class QuickWalk {
    int i;
    long l;
    Object o;
    double d;

    static native int probe();

    public static int run(QuickWalk q) {
        Object o = q.o;
        int i = q.i;
        long l = q.l;
        double d = q.d;
        int r = probe();
        return r + i + (int) l + (o == q ? 1 : 0) + (int) d;
    }
}
