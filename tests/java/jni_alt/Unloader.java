/* Hands control to the host from inside methods of this loader's classes. */
public class Unloader {
    static native void drop();
    static native void started();
    static native void finished();

    public static void run() {
        drop();
    }

    /* Makes objects of the loader's class between the two calls out. */
    public static int churn(int count) {
        started();
        int odd = 0;
        for (int i = 0; i < count; i++) {
            Twin twin = new Twin();
            twin.alt = i;
            odd += twin.alt & 1;
        }
        finished();
        return odd;
    }
}
