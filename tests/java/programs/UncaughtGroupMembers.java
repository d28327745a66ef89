/* Threads that end by an exception in a group that handles uncaught exceptions itself,
   without calling super: each leaves the group as it ends, and the group can go. */
public class UncaughtGroupMembers {
    static int handled;

    static class Handling extends ThreadGroup {
        Handling() {
            super("handling");
        }

        public void uncaughtException(Thread t, Throwable e) {
            handled++;
        }
    }

    public static void main(String[] args) throws Exception {
        ThreadGroup g = new Handling();
        for (int i = 0; i < 50; i++) {
            Thread t = new Thread(g, "client-" + i) {
                public void run() {
                    throw new IllegalStateException("client failed");
                }
            };
            t.start();
            t.join();
        }
        System.out.println("handled " + handled + ", active " + g.activeCount());
        g.list();
        g.destroy();
        System.out.println("destroyed " + g.isDestroyed());
    }
}
