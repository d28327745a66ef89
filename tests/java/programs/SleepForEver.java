/* Sleeps "for ever", the usual way (Long.MAX_VALUE, with and without nanoseconds): each
   lasts until another thread interrupts it. */
public class SleepForEver {
    static void sleep(int nanos) {
        final Thread sleeper = Thread.currentThread();
        Thread waker = new Thread() {
            public void run() {
                try {
                    Thread.sleep(200);
                } catch (InterruptedException e) {
                }
                sleeper.interrupt();
            }
        };
        waker.start();
        try {
            if (nanos < 0) Thread.sleep(Long.MAX_VALUE);
            else Thread.sleep(Long.MAX_VALUE, nanos);
            System.out.println("returned");
        } catch (InterruptedException e) {
            System.out.println("interrupted");
        } catch (IllegalArgumentException e) {
            System.out.println(e.toString());
        }
        try {
            waker.join();
        } catch (InterruptedException e) {
            System.out.println("join interrupted");
        }
    }

    public static void main(String[] a) {
        sleep(-1);
        sleep(0);
        sleep(1);
        sleep(999999);
    }
}
