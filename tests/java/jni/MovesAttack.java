/* Many threads that wait, sleep and are interrupted while the host may move the machine
   under them: each marks its own slot as it goes (synchronized blocks do not exclude
   here, so no count is shared), and the starter reads the slots. */
public class MovesAttack {
    static final Object lock = new Object();

    static int[] stage;
    static String[] thrown;
    static boolean[] interrupted;

    static int done() {
        int d = 0;
        for (int i = 0; i < stage.length; i++)
            if (stage[i] == 4) d++;
        return d;
    }

    static void work(int k) {
        stage[k] = 1;
        try {
            synchronized (lock) {
                if (k % 3 == 0) {
                    lock.wait();
                } else if (k % 3 == 1) {
                    lock.wait(3);
                }
            }
        } catch (InterruptedException e) {
            interrupted[k] = true;
        }
        stage[k] = 2;
        try {
            // Every fourth sleeps until its interrupt comes (20 s at most).
            if (k % 4 == 3) {
                for (int i = 0; i < 400 && !interrupted[k]; i++) Thread.sleep(50);
            } else {
                Thread.sleep(1);
            }
        } catch (InterruptedException e) {
            interrupted[k] = true;
        }
        stage[k] = 3;
        synchronized (lock) {
            lock.notifyAll();
        }
        stage[k] = 4;
    }

    /* The threads of the last startMany that did not finish: index, stage, what ended it. */
    public static String report() {
        StringBuffer b = new StringBuffer();
        b.append("done " + done() + ":");
        for (int i = 0; i < stage.length; i++)
            if (stage[i] != 4 || thrown[i] != null) b.append(" [" + i + " stage " + stage[i] + " " + thrown[i] + "]");
        return b.toString();
    }

    /* Starts n threads at once, wakes the waiters without limit until all are done,
       interrupts every fourth, joins them all: answers how many were done; -1 when a join
       found one alive or one ended by an exception, -2 when they were not all done within
       20 s, -3 when an interrupt was lost. */
    public static int startMany(int n) throws InterruptedException {
        Thread[] ts = new Thread[n];
        stage = new int[n];
        thrown = new String[n];
        interrupted = new boolean[n];
        for (int i = 0; i < n; i++) {
            final int k = i;
            ts[i] = new Thread() {
                public void run() {
                    try {
                        work(k);
                    } catch (Throwable e) {
                        thrown[k] = e.toString();
                    }
                }
            };
        }
        for (int i = 0; i < n; i++) ts[i].start();
        for (int i = 3; i < n; i += 4) ts[i].interrupt();
        long end = System.currentTimeMillis() + 20000;
        synchronized (lock) {
            while (done() < n) {
                if (System.currentTimeMillis() > end) return -2;
                lock.notifyAll();
                lock.wait(2);
            }
        }
        for (int i = 0; i < n; i++) {
            ts[i].join();
            if (ts[i].isAlive() || thrown[i] != null) return -1;
        }
        for (int i = 3; i < n; i += 4)
            if (!interrupted[i]) return -3;
        return done();
    }

    static volatile boolean release;

    /* Starts n plain threads that wait on the lock until released, or n daemon threads
       that wait on it for good (until the end stops them), and returns. */
    public static void startWaiters(int n, final boolean daemon) {
        if (!daemon) release = false;
        for (int i = 0; i < n; i++) {
            final int k = i;
            Thread t = new Thread() {
                public void run() {
                    synchronized (lock) {
                        while (daemon || !release) {
                            try {
                                if (k % 2 == 0) lock.wait(); else lock.wait(5);
                            } catch (InterruptedException e) {
                                if (!daemon) return;
                            }
                        }
                    }
                }
            };
            t.setDaemon(daemon);
            t.start();
        }
    }

    public static void releaseWaiters() {
        synchronized (lock) {
            release = true;
            lock.notifyAll();
        }
    }

    /* A stream that counts the frame lines it is given; one that sleeps at each line,
       declared, lets the host move the machine in the middle of a printStackTrace. */
    static class CountingStream extends java.io.PrintStream {
        final boolean sleeps;
        int frameLines;
        CountingStream(boolean sleeps) {
            super(new java.io.ByteArrayOutputStream());
            this.sleeps = sleeps;
        }
        public void println(char[] s) {
            if (s.length > 7 && s[4] == 'a' && s[5] == 't') frameLines++;
            try {
                if (sleeps) Thread.sleep(1);
            } catch (InterruptedException e) {
            }
        }
    }

    static Throwable madeDeep(int n) {
        return n == 0 ? new Exception("deep") : madeDeep(n - 1);
    }

    static int printedFrames(Throwable t, boolean sleeps) {
        CountingStream s = new CountingStream(sleeps);
        t.printStackTrace(s);
        return s.frameLines;
    }

    /* n threads (the caller among them) each print five throwables made 20 calls deep
       through a sleeping stream: how many prints gave other frame lines than a print of
       the same throwable that does not sleep (-1 for one of fewer than 20). */
    public static int printWhileSleeping(int n) throws InterruptedException {
        final int[] wrong = new int[n];
        Thread[] ts = new Thread[n];
        for (int i = 0; i < n; i++) {
            final int k = i;
            ts[i] = new Thread() {
                public void run() {
                    for (int r = 0; r < 5; r++) {
                        Throwable t = madeDeep(20);
                        int quiet = printedFrames(t, false);
                        if (quiet < 20) wrong[k] = -1000;
                        if (printedFrames(t, true) != quiet) wrong[k]++;
                    }
                }
            };
        }
        for (int i = 1; i < n; i++) ts[i].start();
        ts[0].run();
        int total = wrong[0];
        for (int i = 1; i < n; i++) {
            ts[i].join();
            total += wrong[i];
        }
        return total < 0 ? -1 : total;
    }
}
