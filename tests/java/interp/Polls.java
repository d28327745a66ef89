package interp;

/* A loop that only a poll can end: a host stop throws ThreadDeath into it, a posted
   exception its own. It counts its rounds in a static that the C++ side reads. */
public class Polls {
    static int count;

    public static int spin() {
        try {
            for (;;) count++;
        } catch (ThreadDeath t) {
            return count;
        } catch (IllegalStateException e) {
            return -count;
        }
    }
}
