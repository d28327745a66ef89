/* Each method is the first to use one class of SlowInit.java, by one instruction: the
   class's initialiser sleeps while the host moves the machine, and the instruction goes on
   in the moved machine. Each answers what it saw, so a wrong stack or static shows. */
public class SlowInitUser {
    /* Milliseconds each initialiser sleeps. */
    static int pause = 100;

    static void nap() {
        try {
            Thread.sleep(pause);
        } catch (InterruptedException e) {
            throw new IllegalStateException("interrupted");
        }
    }

    /* new, then a field read: 2 + 5. */
    static int make() {
        int below = 40;
        SlowInit s = new SlowInit();
        return s.own + SlowInit.value + below - 40;
    }

    /* getstatic of a long and an int: 11 and 0x100000002. */
    static long read() {
        int below = 30;
        long wide = SlowInitRead.wide;
        return wide + SlowInitRead.value * 0x10000L + below - 30;
    }

    /* putstatic: the initialiser saw 1, its own 12 is then overwritten by 21. */
    static int write() {
        int below = 20;
        SlowInitWrite.value = 21;
        return SlowInitWrite.value * 100 + SlowInitWrite.seen[0] + below - 20;
    }

    /* invokestatic with two arguments: 13 + 3 + 4. */
    static int call() {
        int below = 10;
        return SlowInitCall.plus(3, 4) + below - 10;
    }

    /* An initialiser that throws after its sleep: the instruction throws the error of a
       failed initialisation, caught here, and a second use the class's failure. */
    static int fails() {
        int r = 0;
        try {
            r = SlowInitFails.value;
        } catch (ExceptionInInitializerError e) {
            r = e.getException() instanceof IllegalStateException ? 100 : 50;
        }
        try {
            r += SlowInitFails.value;
        } catch (NoClassDefFoundError e) {
            r += 20;
        }
        return r;
    }
}
