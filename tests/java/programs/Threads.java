/* Threads: start and join, a second start, sleep and interrupt, wait and notifyAll, a
   producer and a consumer, and a daemon thread left running when main ends.

   The channel keeps one writer per counter (the producer moves only produced, the
   consumer only consumed), and its waits are timed: the program is correct whether or
   not a monitor keeps two threads apart, and a wake-up that comes before the wait
   costs a moment, never the run. */
public class Threads {
    static class Channel {
        final int[] slots = new int[4];
        volatile int produced;
        volatile int consumed;

        synchronized void put(int v) throws InterruptedException {
            while (produced - consumed == slots.length) {
                wait(50);
            }
            slots[produced % slots.length] = v;
            produced++;
            notifyAll();
        }

        synchronized int take() throws InterruptedException {
            while (produced == consumed) {
                wait(50);
            }
            int v = slots[consumed % slots.length];
            consumed++;
            notifyAll();
            return v;
        }
    }

    static volatile boolean open;

    public static void main(String[] args) throws Exception {
        final int[] result = new int[1];
        Thread t = new Thread(new Runnable() {
            public void run() {
                int s = 0;
                for (int i = 1; i <= 1000; i++) {
                    s += i;
                }
                result[0] = s;
            }
        }, "summer");
        System.out.println(t.getName() + " alive before start " + t.isAlive());
        t.start();
        t.join();
        System.out.println("sum " + result[0] + " alive after join " + t.isAlive());
        try {
            t.start();
            System.out.println("restarted");
        } catch (IllegalThreadStateException e) {
            System.out.println("second start refused");
        }

        final int[] slots = new int[20];
        Thread[] ts = new Thread[20];
        for (int i = 0; i < ts.length; i++) {
            final int k = i;
            ts[i] = new Thread() {
                public void run() {
                    for (int j = 0; j <= k; j++) {
                        slots[k] += j;
                    }
                }
            };
            ts[i].start();
        }
        int total = 0;
        for (int i = 0; i < ts.length; i++) {
            ts[i].join();
            total += slots[i];
        }
        System.out.println("twenty threads " + total);

        long before = System.currentTimeMillis();
        Thread.sleep(100);
        long slept = System.currentTimeMillis() - before;
        System.out.println("slept at least 90 ms " + (slept >= 90));

        final String[] how = new String[1];
        Thread sleeper = new Thread() {
            public void run() {
                try {
                    Thread.sleep(10000);
                    how[0] = "woke normally";
                } catch (InterruptedException e) {
                    how[0] = "interrupted in sleep";
                }
            }
        };
        sleeper.start();
        Thread.sleep(50);
        sleeper.interrupt();
        sleeper.join();
        System.out.println(how[0]);

        final Object lock = new Object();
        Thread waiter = new Thread() {
            public void run() {
                synchronized (lock) {
                    try {
                        lock.wait();
                        how[0] = "notified";
                    } catch (InterruptedException e) {
                        how[0] = "interrupted in wait";
                    }
                }
            }
        };
        waiter.start();
        Thread.sleep(50);
        waiter.interrupt();
        waiter.join();
        System.out.println(how[0]);

        Thread.currentThread().interrupt();
        System.out.println("interrupted " + Thread.interrupted() + " " + Thread.interrupted());
        Thread.currentThread().interrupt();
        try {
            Thread.sleep(5);
            System.out.println("slept through");
        } catch (InterruptedException e) {
            System.out.println("short sleep interrupted");
        }

        final Channel ch = new Channel();
        final int[] got = new int[2];
        Thread consumer = new Thread("consumer") {
            public void run() {
                try {
                    for (int i = 0; i < 1000; i++) {
                        int v = ch.take();
                        got[0] += v;
                        if (v != i) {
                            got[1]++;
                        }
                    }
                } catch (InterruptedException e) {
                    got[1] = -1;
                }
            }
        };
        Thread producer = new Thread("producer") {
            public void run() {
                try {
                    for (int i = 0; i < 1000; i++) {
                        ch.put(i);
                    }
                } catch (InterruptedException e) {
                    got[1] = -2;
                }
            }
        };
        consumer.start();
        producer.start();
        producer.join();
        consumer.join();
        System.out.println("consumed " + got[0] + " out of order " + got[1]);

        final Object gate = new Object();
        final int[] woken = new int[3];
        Thread[] waiters = new Thread[3];
        for (int i = 0; i < waiters.length; i++) {
            final int k = i;
            waiters[i] = new Thread() {
                public void run() {
                    synchronized (gate) {
                        while (!open) {
                            try {
                                gate.wait();
                            } catch (InterruptedException e) {
                                return;
                            }
                        }
                    }
                    woken[k] = 1;
                }
            };
            waiters[i].start();
        }
        open = true;
        while (woken[0] + woken[1] + woken[2] < 3) {
            synchronized (gate) {
                gate.notifyAll();
            }
            Thread.sleep(10);
        }
        for (int i = 0; i < waiters.length; i++) {
            waiters[i].join();
        }
        System.out.println("all three woke");

        Thread daemon = new Thread() {
            public void run() {
                while (true) {
                    try {
                        Thread.sleep(5);
                    } catch (InterruptedException e) {
                        // keeps running
                    }
                }
            }
        };
        daemon.setDaemon(true);
        daemon.start();
        System.out.println("daemon " + daemon.isDaemon() + " alive " + daemon.isAlive());
        daemon.join(30);
        System.out.println("still alive after join(30) " + daemon.isAlive());

        final Thread[] seen = new Thread[1];
        Thread me = new Thread() {
            public void run() {
                seen[0] = Thread.currentThread();
            }
        };
        me.start();
        me.join();
        System.out.println("currentThread is the object " + (seen[0] == me));
        System.out.println("main " + Thread.currentThread().getName());
        System.out.println("done");
    }
}
