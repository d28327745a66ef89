/* main ends while daemon threads allocate without pause, others sleep and wait in
   turn: the program ends with main, the daemons stopped wherever they are (also when
   every allocation collects, and the daemons meet one collection after another). */
public class DaemonsAtExit {
    public static void main(String[] a) throws Exception {
        int busy = a.length > 0 ? Integer.parseInt(a[0]) : 8;
        final Object lock = new Object();
        for (int i = 0; i < busy; i++) {
            Thread t = new Thread() {
                public void run() {
                    long n = 0;
                    while (true) {
                        Object o = new int[4];
                        if (o != null) n++;
                    }
                }
            };
            t.setDaemon(true);
            t.start();
        }
        for (int i = 0; i < 4; i++) {
            Thread t = new Thread() {
                public void run() {
                    while (true) {
                        byte[][] junk = new byte[4][];
                        for (int k = 0; k < junk.length; k++) junk[k] = new byte[64];
                        try {
                            Thread.sleep(1);
                            synchronized (lock) {
                                lock.wait(1);
                            }
                        } catch (InterruptedException e) {
                        }
                    }
                }
            };
            t.setDaemon(true);
            t.start();
        }
        Thread.sleep(300);
        System.out.println("main ends");
    }
}
