/* A thread that meets a class another thread is initialising waits for the initialiser,
   and no interrupt ends that wait, neither one that comes while it waits nor one pending
   before: it reads the value and keeps its interrupt for its next wait. */
public class InitWaits {
    static volatile boolean holding, release;

    static int hold() {
        holding = true;
        try {
            while (!release) Thread.sleep(5);
        } catch (InterruptedException e) {
            return -1;
        }
        return 42;
    }

    static class Waited { static int v = hold(); }

    static class Pending { static int v = hold(); }

    static int read(boolean pending) { return pending ? Pending.v : Waited.v; }

    static void run(final boolean pending) throws InterruptedException {
        holding = release = false;
        Thread initialiser = new Thread() { public void run() { read(pending); } };
        initialiser.start();
        while (!holding) Thread.sleep(5);
        final String[] seen = {"nothing"};
        Thread waiter = new Thread() {
            public void run() {
                if (pending) interrupt();
                try {
                    seen[0] = "read " + read(pending) + ", interrupted " + isInterrupted();
                } catch (Throwable e) {
                    seen[0] = "threw " + e;
                }
            }
        };
        waiter.start();
        // Interrupted before it meets the class, the waiter is the pending case.
        Thread.sleep(100);
        if (!pending) waiter.interrupt();
        Thread.sleep(50);
        release = true;
        waiter.join();
        initialiser.join();
        System.out.println((pending ? "interrupt pending: " : "interrupted while it waits: ") + seen[0]);
    }

    public static void main(String[] args) throws InterruptedException {
        run(false);
        run(true);
    }
}
