package gc;

/* What the test program lends the Java side: a collection on request (soft references
   cleared or not), and a count of calls, for natives called from loops. */
public class Host {
    public static native void collect(boolean softClearable);
    public static native int collections();
    /* A native that returns its argument: a call through the thread's frame list. */
    public static native Object through(Object o);
    /* Drops the flow analysis of the calling method, asks for a collection, builds it
       again; the answer is how many collections completed meanwhile. */
    public static native int collectWithoutCallersFlow();
}
