/* An object whose finalizer, run by DestroyJavaVM, takes 1.5 s; and some work to do. */
public class GuardFin {
    public static GuardFin keep;

    public static void arm() {
        Runtime.runFinalizersOnExit(true);
        keep = new GuardFin();
    }

    protected void finalize() {
        try { Thread.sleep(1500); } catch (InterruptedException e) {}
    }

    public static int loop(int n) { int s = 0; for (int i = 0; i < n; i++) s += i; return s; }
}
