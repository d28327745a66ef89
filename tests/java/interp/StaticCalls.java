package interp;

/* Static calls and the initialisation of the class they name: a call from a class's own
   static method may go without a look, any other must look every time. */
public class StaticCalls {
    /* An instance kept from an initialiser that then failed: its method's call of a
       static method of its own class fails every time, at the same call site. */
    public static int keptInstance() {
        int r = 0;
        try {
            r += Leaky.value * 1000;
        } catch (ExceptionInInitializerError e) {
            r += e.getException() instanceof IllegalStateException ? 1 : 2;
        }
        Leaky kept = LeakHolder.kept;
        if (kept == null) return -1;
        for (int i = 0; i < 5; i++) {
            try {
                r += kept.viaOwnStatic() * 100000;
            } catch (NoClassDefFoundError e) {
                r += 10;
            }
        }
        return r;
    }

    /* A call that meets the class's initialiser running on another thread: it waits, and
       then the class's own static calls see what the initialiser set. */
    public static int raceCall() { return RaceCallee.get(); }

    /* The same with a one-liner the loop computes in place: it too waits. */
    public static int raceShape() {
        int r = 0;
        for (int i = 0; i < 3; i++) r = RaceShape.abs(-5) * 1000 + RaceMark.shaped;
        return r;
    }

    /* The same with a static field read: its quick form, written in an earlier machine,
       waits too. */
    public static int raceField() {
        int r = 0;
        for (int i = 0; i < 3; i++) r = RaceField.value * 1000 + RaceMark.fielded;
        return r;
    }

    /* Recursion within one class, and a synchronized one among its calls. */
    public static int ownCalls(int n) { return Own.sum(n) * 10 + Own.locked(3); }
}

class LeakHolder {
    static Leaky kept;
}

class Leaky {
    static int value;

    static {
        LeakHolder.kept = new Leaky();
        value = 1;
        if (value != 0) throw new IllegalStateException("after handing out an instance");
    }

    int viaOwnStatic() { return twice(3); }

    static int twice(int n) { return 2 * n; }
}

/* Its initialiser's work shows only in another class's static: a call that did not
   wait for the initialiser would read 0 there. */
class RaceCallee {
    static {
        long spin = 0;
        for (int i = 0; i < 200000; i++) spin += i ^ (spin >>> 3);
        RaceMark.done = spin != 0 ? 1 : 2;
    }

    static int get() { return inner() * 1000 + RaceMark.done; }

    static int inner() { return RaceMark.done; }
}

class RaceMark {
    static int done;
    static int shaped;
    static int fielded;
}

class RaceField {
    static int value;

    static {
        long spin = 0;
        for (int i = 0; i < 200000; i++) spin += i ^ (spin >>> 3);
        value = 5;
        RaceMark.fielded = spin != 0 ? 1 : 2;
    }
}

class RaceShape {
    static {
        long spin = 0;
        for (int i = 0; i < 200000; i++) spin += i ^ (spin >>> 3);
        RaceMark.shaped = spin != 0 ? 1 : 2;
    }

    static int abs(int a) { return a < 0 ? -a : a; }
}

class Own {
    static int sum(int n) { return n == 0 ? 0 : n + sum(n - 1); }

    static synchronized int locked(int n) { return n == 0 ? 1 : 2 * locked(n - 1); }
}
