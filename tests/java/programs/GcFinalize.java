/* Finalizers: garbage with finalizers, many times the heap (the runner gives it
   -Xmx16m), is finalized; a finalizer that stores its object in a static brings it back
   whole, and it is finalized no second time; the freed memory is seen in
   Runtime.freeMemory and totalMemory. */
public class GcFinalize {
    static final Object lock = new Object();
    static int finalized;
    static int twice;
    static GcFinalize saved;

    final int id;
    final int[] data;
    boolean done;

    GcFinalize(int id) {
        this.id = id;
        data = new int[64];
        for (int i = 0; i < data.length; i++) data[i] = id ^ i;
    }

    protected void finalize() {
        synchronized (lock) {
            finalized++;
            if (done) twice++;
            done = true;
            if (id == 777 && saved == null) saved = this;
        }
    }

    static void collect() throws InterruptedException {
        System.gc();
        System.runFinalization();
        Thread.sleep(5);
    }

    public static void main(String[] args) throws InterruptedException {
        Runtime rt = Runtime.getRuntime();
        long total = rt.totalMemory();
        long free = rt.freeMemory();
        System.out.println("memory sane at start: " + (total > 0 && free >= 0 && free <= total));

        for (int i = 0; i < 60000; i++) new GcFinalize(i);
        for (int i = 0; i < 100 && (saved == null || finalized < 1000); i++) collect();
        synchronized (lock) {
            System.out.println("finalizers ran: " + (finalized >= 1000));
            System.out.println("resurrected: " + (saved != null));
        }
        if (saved != null) {
            boolean whole = saved.done && saved.id == 777;
            for (int i = 0; i < saved.data.length; i++) whole &= saved.data[i] == (777 ^ i);
            System.out.println("resurrected object whole: " + whole);
        }
        // Dropped again: its finalizer has run, it is freed without a second run.
        saved = null;
        for (int i = 0; i < 20000; i++) new GcFinalize(-1 - i);
        for (int i = 0; i < 5; i++) collect();
        synchronized (lock) {
            System.out.println("finalized twice: " + twice);
        }

        // A large block held is counted, and given back once dropped.
        collect();
        long before = rt.freeMemory();
        int[] big = new int[1 << 20];
        big[big.length - 1] = 1;
        long held = rt.freeMemory();
        System.out.println("a held 4 MB block is counted: " + (held <= before - (3 << 20)));
        big = null;
        collect();
        long after = rt.freeMemory();
        total = rt.totalMemory();
        System.out.println("and given back: " + (after >= held + (3 << 20)));
        System.out.println("memory sane at end: " + (after <= total && total <= (17 << 20)));
    }
}
