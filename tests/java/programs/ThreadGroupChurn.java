/* Clients that each make a group of their own under one parent, run a thread in it and
   destroy it, all at once: no destroyed group stays listed, and the parent can go. */
public class ThreadGroupChurn {
    static int failures;

    public static void main(String[] args) throws Exception {
        final ThreadGroup parent = new ThreadGroup("clients");
        final int rounds = 300;
        Thread[] ts = new Thread[8];
        for (int i = 0; i < ts.length; i++) {
            final int id = i;
            ts[i] = new Thread(parent, "client-" + i) {
                public void run() {
                    for (int r = 0; r < rounds; r++) {
                        try {
                            ThreadGroup g = new ThreadGroup(parent, "s" + id + "-" + r);
                            Thread t = new Thread(g, "worker");
                            t.start();
                            t.join();
                            g.destroy();
                        } catch (Throwable e) {
                            failures++;
                        }
                    }
                }
            };
        }
        for (int i = 0; i < ts.length; i++) ts[i].start();
        for (int i = 0; i < ts.length; i++) ts[i].join();
        System.out.println("groups made " + ts.length * rounds + ", failures " + failures);
        System.out.println("still listed " + parent.enumerate(new ThreadGroup[ts.length * rounds]) + ", groups "
                + parent.activeGroupCount());
        parent.destroy();
        System.out.println("parent destroyed " + parent.isDestroyed());
    }
}
