/* Threads whose natives attach them again and call back into Java, whose natives attach
   them again in turn, level under level, while the host may move the machine; and many
   threads of kinds a stop of every other thread must reach (loops, sleeps, waits). */
public class NestedAgain {
    /* Attaches the calling thread again, waits outside the machine, calls down(depth - 1)
       through the new env and waits outside again: answers what down answered. */
    static native int nest(int depth);

    /* 1 + depth * (depth + 1) / 2 when every level answered. */
    public static int down(int depth) throws InterruptedException {
        if (depth == 0) {
            Thread.sleep(1);
            return 1;
        }
        int[] mine = new int[depth];
        mine[depth - 1] = depth;
        int below = nest(depth);
        Thread.sleep(1);
        return below + mine[depth - 1];
    }

    static int[] results;

    /* Starts n threads that each go down depth levels and sleep after, joins them:
       answers how many answered right; -1 when one was found alive after its join. */
    public static int runMany(int n, final int depth) throws InterruptedException {
        results = new int[n];
        Thread[] ts = new Thread[n];
        for (int i = 0; i < n; i++) {
            final int k = i;
            ts[i] = new Thread() {
                public void run() {
                    try {
                        results[k] = down(depth);
                        Thread.sleep(2);
                    } catch (Throwable e) {
                        results[k] = -7;
                    }
                }
            };
        }
        for (int i = 0; i < n; i++) ts[i].start();
        int right = 0;
        for (int i = 0; i < n; i++) {
            ts[i].join();
            if (ts[i].isAlive()) return -1;
            if (results[i] == 1 + depth * (depth + 1) / 2) right++;
        }
        return right;
    }

    /* ---- kinds of threads for a stop of all others ---- */

    static final Object lock = new Object();
    static volatile int started;
    static volatile long spins;

    /* Starts n threads: a quarter loop in Java, a quarter sleep, a quarter wait on a
       lock without limit, a quarter wait with a limit, all for good. */
    public static void startKinds(int n) {
        for (int i = 0; i < n; i++) {
            final int kind = i % 4;
            Thread t = new Thread() {
                public void run() {
                    started++;
                    for (;;) {
                        try {
                            if (kind == 0) {
                                spins++;
                            } else if (kind == 1) {
                                Thread.sleep(50);
                            } else {
                                synchronized (lock) {
                                    if (kind == 2) lock.wait(); else lock.wait(7);
                                }
                            }
                        } catch (InterruptedException e) {
                        }
                    }
                }
            };
            t.start();
        }
    }

    public static int startedCount() {
        return started;
    }

    /* What the caller of a stop still can do: a thread started, run and joined. */
    public static int afterStop() throws InterruptedException {
        final int[] seen = new int[1];
        Thread t = new Thread() {
            public void run() {
                seen[0] = new StringBuffer("ab").append(3).toString().length();
            }
        };
        t.start();
        t.join();
        return seen[0];
    }
}
