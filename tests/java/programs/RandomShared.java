/*
 * Threads drawing Math.random() at once: the library's generator serves every thread, and a
 * draw must be one thread's alone. One Random shared through a static field handed the same
 * values to several threads, since synchronized excludes nobody on this machine.
 */
public class RandomShared {
    static volatile boolean go;

    public static void main(String[] args) throws Exception {
        final int threads = 8, per = 25000;
        final double[] drawn = new double[threads * per];
        Thread[] ts = new Thread[threads];
        for (int i = 0; i < threads; i++) {
            final int from = i * per;
            ts[i] = new Thread() {
                public void run() {
                    while (!go) Thread.yield();
                    for (int k = from; k < from + per; k++) drawn[k] = Math.random();
                }
            };
            ts[i].start();
        }
        go = true;
        for (int i = 0; i < threads; i++) ts[i].join();
        sort(drawn, 0, drawn.length - 1);
        int repeated = 0;
        for (int i = 1; i < drawn.length; i++) if (drawn[i] == drawn[i - 1]) repeated++;
        boolean inside = drawn[0] >= 0.0 && drawn[drawn.length - 1] < 1.0;
        System.out.println(threads + " threads x " + per + " draws: repeated " + repeated + ", all in [0,1) " + inside);
    }

    static void sort(double[] a, int lo, int hi) {
        while (lo < hi) {
            double p = a[(lo + hi) >>> 1];
            int i = lo, j = hi;
            while (i <= j) {
                while (a[i] < p) i++;
                while (a[j] > p) j--;
                if (i <= j) { double t = a[i]; a[i] = a[j]; a[j] = t; i++; j--; }
            }
            if (j - lo < hi - i) { sort(a, lo, j); lo = i; } else { sort(a, i, hi); hi = j; }
        }
    }
}
