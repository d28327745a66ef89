/* A Thread whose run calls one native: in the tests of moves, the native either answers
   at once or attaches its thread again and waits outside the machine while the host
   moves it. */
public class AttachedAgain extends Thread {
    static native int again();

    /* Milliseconds the thread sleeps after its native has returned. */
    static int sleepAfter;

    public int result = -5;

    public void run() {
        result = again();
        if (sleepAfter > 0) {
            try {
                Thread.sleep(sleepAfter);
            } catch (InterruptedException e) {
                result = -6;
            }
        }
    }

    /* Starts one, waits for it, and gives what its native answered. */
    public static int runOne() throws InterruptedException {
        AttachedAgain t = new AttachedAgain();
        t.start();
        t.join();
        return t.result;
    }
}
