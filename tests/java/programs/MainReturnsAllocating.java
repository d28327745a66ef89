/* main returns while a thread that is no daemon allocates many times the heap: the
   thread's collections must not wait for main, which waits for the thread. Run with a
   small heap. */
public class MainReturnsAllocating {
    static volatile boolean mainReturns;

    public static void main(String[] args) {
        final int rounds = 4;
        for (int r = 0; r < rounds; r++) {
            final int id = r;
            Thread t = new Thread() {
                public void run() {
                    // The last one starts once main is on its way out (it would
                    // otherwise often be done first, and print before main).
                    while (id == rounds - 1 && !mainReturns) Thread.yield();
                    long sum = 0;
                    for (int i = 0; i < 20000; i++) {
                        int[] x = new int[256];
                        sum += x.length;
                    }
                    // Printed in order: each worker waits for the one before it.
                    System.out.println("worker " + id + " done " + sum);
                }
            };
            t.start();
            try {
                if (r + 1 < rounds) t.join();
            } catch (InterruptedException e) {
                System.out.println("interrupted");
            }
        }
        System.out.println("main returns");
        mainReturns = true;
    }
}
