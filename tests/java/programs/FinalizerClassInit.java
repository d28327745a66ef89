/* Finalizers that read a static of a class whose initialiser is still running, on the
   thread that asked for the collections: a finalizer waits for the initialiser, as any
   thread but the initialising one does, and never sees the class half made. The
   initialiser allocates enough to collect many times while it runs.
   Usage: FinalizerClassInit OBJECTS ALLOCATIONS */
public class FinalizerClassInit {
    static int early, ok;
    static int churn;

    static synchronized void saw(boolean whole) {
        if (whole) ok++;
        else early++;
    }

    static class R {
        int[] pad = new int[16];

        protected void finalize() {
            saw(C.table != null);
        }
    }

    static class C {
        static Object[] table;
        static Object sink;

        static {
            for (int i = 0; i < churn; i++) sink = new int[32];
            table = new Object[10];
        }
    }

    public static void main(String[] args) throws Exception {
        int objects = Integer.parseInt(args[0]);
        churn = Integer.parseInt(args[1]);
        for (int i = 0; i < objects; i++) new R();
        Object t = C.table;
        System.gc();
        System.runFinalization();
        Thread.sleep(200);
        synchronized (FinalizerClassInit.class) {
            System.out.println("finalizers that saw the class half made: " + (early > 0 ? "some" : "none")
                    + "; after: " + (ok > 0 ? "some" : "none") + "; table " + (t != null));
        }
    }
}
