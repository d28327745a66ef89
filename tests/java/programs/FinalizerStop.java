/* A stop aimed at a thread that asks for collections must not land in a finalizer that
   runs meanwhile: each object is finalized once, so a finalizer cut short never runs to
   its end. Each round a worker calls System.gc() and System.runFinalization() in a loop,
   the main thread drops 200 objects whose finalizers build a string and then count their
   end, and the worker is stopped (Thread.stop) a few milliseconds later.
   Usage: FinalizerStop ROUNDS */
public class FinalizerStop {
    static int begun, ended;

    static synchronized void begin() {
        begun++;
    }

    static synchronized void end() {
        ended++;
    }

    static class Slow {
        final int id;

        Slow(int id) {
            this.id = id;
        }

        protected void finalize() {
            begin();
            StringBuffer sb = new StringBuffer();
            for (int i = 0; i < 300; i++) sb.append(id * i).append('/');
            if (sb.length() > 0) end();
        }
    }

    public static void main(String[] args) throws Exception {
        int rounds = Integer.parseInt(args[0]);
        for (int r = 0; r < rounds; r++) {
            final boolean[] go = {true};
            Thread w = new Thread() {
                public void run() {
                    while (go[0]) {
                        System.gc();
                        System.runFinalization();
                    }
                }
            };
            w.start();
            for (int i = 0; i < 200; i++) new Slow(r * 1000 + i);
            Thread.sleep(3 + r % 7);
            w.stop();
            w.join();
            go[0] = false;
        }
        for (int i = 0; i < 20; i++) {
            System.gc();
            System.runFinalization();
            Thread.sleep(10);
        }
        synchronized (FinalizerStop.class) {
            System.out.println("finalizers begun: " + (begun > 0 ? "some" : "none"));
            System.out.println("cut short: " + (begun - ended));
        }
    }
}
