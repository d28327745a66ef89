package gc;

/* Objects with finalizers: each finalizer runs once; one of them brings its object back
   to life through a static, and that object dies at a later collection without its
   finalizer running again. */
public class Finals {
    static int finalized;
    static Finals saved;
    static int savedFinalized;

    int id;
    boolean resurrect;
    Node payload;

    Finals(int id, boolean resurrect) {
        this.id = id;
        this.resurrect = resurrect;
        this.payload = new Node(id, new Node(id + 1, null));
    }

    protected void finalize() {
        finalized++;
        // What the object reaches is still whole when its finalizer runs.
        if (payload.next.value != id + 1) finalized += 1000000;
        if (resurrect) {
            saved = this;
            savedFinalized++;
        }
    }

    public static int make(int n, boolean resurrectOne) {
        for (int i = 0; i < n; i++) new Finals(i, resurrectOne && i == 0);
        return 0;
    }

    public static int finalized() { return finalized; }
    public static int savedFinalized() { return savedFinalized; }
    public static int savedId() { return saved == null ? -1 : saved.id + (saved.payload.next.value - saved.id - 1); }
    public static int dropSaved() { saved = null; return 0; }

    /* A finalizer that allocates, throws and collects (which does not nest). */
    static int noisy;

    public static int makeNoisy(int n) {
        for (int i = 0; i < n; i++) new Noisy();
        return 0;
    }

    public static int noisy() { return noisy; }

    /* How deep finalizer passes nested on one thread: a finalizer's collection starts none. */
    static int depth;
    static int deepest;

    public static int deepest() { return deepest; }

    /* Finalizers that spin until halted, then throw: a move of the machine while one
       spins (its thread stopped at a poll) leaves the thread's record elsewhere. */
    public static int go() { Spinning.halted = false; return 0; }
    public static int halt() { Spinning.halted = true; return 0; }

    public static int spinning() { return Spinning.spinning ? 1 : 0; }
    public static int spun() { return Spinning.done; }

    public static int stoppedPass() {
        for (int i = 0; i < 20; i++) {
            new Spinning();
            made++;
        }
        Host.collect(false);
        return Spinning.done;
    }

    /* Made by stoppedPass: a stop ends its loop too when a poll runs the pass. */
    static int made;

    public static int made() { return made; }

    public static int passAcrossMoves(int n) {
        for (int i = 0; i < n; i++) new Spinning();
        Host.collect(false);
        return Spinning.done;
    }

    /* Finalizers long enough to reach a poll: a stopped thread leaves each at its first. */
    static int looped;

    public static int makeLooping(int n) {
        for (int i = 0; i < n; i++) new Looping();
        return 0;
    }

    public static int looped() { return looped; }
}

class Spinning {
    static volatile boolean halted;
    static int done;

    static volatile boolean spinning;

    protected void finalize() {
        spinning = true;
        while (!halted) { }
        done++;
        throw new RuntimeException("dropped");
    }
}

class Looping {
    protected void finalize() {
        int sum = 0;
        for (int i = 0; i < 5000; i++) sum += i;
        if (sum == 5000 * 4999 / 2) Finals.looped++;
    }
}

class Noisy {
    protected void finalize() {
        if (++Finals.depth > Finals.deepest) Finals.deepest = Finals.depth;
        Node n = null;
        for (int i = 0; i < 100; i++) n = new Node(i, n);
        Host.collect(false);
        Finals.noisy++;
        Finals.depth--;
        throw new RuntimeException("dropped");
    }
}

/* An object with a finalizer that only an object held by machine code reaches: it is
   reachable, so its finalizer must not run. */
class Held {
    static int finalized;

    protected void finalize() { finalized++; }
}
