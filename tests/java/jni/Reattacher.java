/* A Thread whose run calls a native that attaches its own thread again (a native that
   attaches to be sure of an env), in a group of its own, with a name and a priority of
   its own. */
public class Reattacher extends Thread {
    static native int again(Thread self);

    public int result = -5;

    public Reattacher(ThreadGroup group) {
        super(group, "reattacher");
        setPriority(4);
    }

    public void run() {
        result = again(this);
    }

    /* Starts one in a new group, waits for it, and gives what its native answered. */
    public static int runOne() throws InterruptedException {
        Reattacher r = new Reattacher(new ThreadGroup("reattachers"));
        r.start();
        r.join();
        return r.result;
    }
}
