/* Garbage for a machine's finalizer thread: objects whose finalizers count themselves, or
   (stall set) wait on a lock nobody notifies. */
public class FinLitter {
    static final Object lock = new Object();
    static int begun;
    static boolean stall;

    protected void finalize() throws InterruptedException {
        synchronized (lock) {
            begun++;
            while (stall) lock.wait();
        }
    }

    public static void litter(int n, boolean stalls) {
        stall = stalls;
        for (int i = 0; i < n; i++) new FinLitter();
    }

    public static int begun() {
        synchronized (lock) {
            return begun;
        }
    }
}
