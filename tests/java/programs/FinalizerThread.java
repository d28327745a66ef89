/* The thread finalizers run on. Objects with a finalizer fall due and are finalized
   first; then no group of the program counts that thread: the main group's activeCount()
   and enumerate() answer main alone, and the usual wait for the other threads
   (activeCount() > 1) waits for a worker and ends. Then a finalizer runs on a thread of
   its own, not the one that asked for the collection: a daemon of the system group, and
   a thread it starts runs, in that group, a daemon too. */
public class FinalizerThread {
    static int finalized;
    static Thread caller;
    static String seen, started;

    static class F {
        byte[] b = new byte[1000];

        protected void finalize() {
            note();
        }
    }

    static synchronized void note() {
        finalized++;
    }

    static synchronized int finalized() {
        return finalized;
    }

    static synchronized void started(String text) {
        started = text;
    }

    static synchronized String started() {
        return started;
    }

    static synchronized String seen() {
        return seen;
    }

    static class Probe {
        protected void finalize() {
            Thread t = Thread.currentThread();
            String text = "the caller " + (t == caller ? "yes" : "no") + ", name " + t.getName() + ", daemon "
                    + t.isDaemon() + ", group " + t.getThreadGroup().getName();
            synchronized (FinalizerThread.class) {
                seen = text;
            }
            // What the started thread sees of itself while it runs.
            new Thread() {
                public void run() {
                    Thread self = Thread.currentThread();
                    started("daemon " + self.isDaemon() + ", group " + self.getThreadGroup().getName());
                }
            }.start();
        }
    }

    static void drop() {
        for (int i = 0; i < 200; i++) new F();
    }

    static void dropProbe() {
        new Probe();
    }

    public static void main(String[] args) throws Exception {
        drop();
        for (int r = 0; r < 50 && finalized() == 0; r++) {
            System.gc();
            System.runFinalization();
            Thread.sleep(10);
        }
        Thread[] all = new Thread[10];
        int n = Thread.currentThread().getThreadGroup().enumerate(all);
        StringBuffer names = new StringBuffer();
        for (int i = 0; i < n; i++) names.append(' ').append(all[i].getName());
        System.out.println("finalized " + (finalized() > 0 ? "some" : "none") + "; activeCount " + Thread.activeCount()
                + " enumerate " + n + names);
        final boolean[] done = new boolean[1];
        Thread w = new Thread() {
            public void run() {
                try {
                    Thread.sleep(300);
                } catch (InterruptedException e) {
                }
                done[0] = true;
            }
        };
        w.start();
        Thread.sleep(20);
        while (Thread.activeCount() > 1) Thread.sleep(5);
        System.out.println("the idiom waited for the worker: " + (done[0] ? "yes" : "no"));

        // Only System.gc(): runFinalization() may run finalizers on a thread of its own.
        caller = Thread.currentThread();
        dropProbe();
        for (int r = 0; r < 500 && seen() == null; r++) {
            System.gc();
            Thread.sleep(10);
        }
        for (int r = 0; r < 500 && started() == null; r++) Thread.sleep(10);
        System.out.println("a finalizer's thread: " + seen());
        System.out.println("a thread it started ran: " + started());
    }
}
