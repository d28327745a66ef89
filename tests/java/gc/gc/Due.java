package gc;

/* A finalizer that needs what another thread holds. Objects of NeedsLate are kept, then
   dropped all at once; each finalizer says it has started, then reads Late, whose static
   initialiser another thread runs until a finalizer has started. Run while that thread
   is parked for the collection, the finalizer waits for an initialiser that cannot see
   it and so never ends. */
public class Due {
    static NeedsLate[] kept = new NeedsLate[0];
    static volatile boolean started;
    static volatile boolean initialising;

    public static int make(int n) {
        kept = new NeedsLate[n];
        for (int i = 0; i < n; i++) kept[i] = new NeedsLate(i);
        return 0;
    }

    public static int drop() {
        for (int i = 0; i < kept.length; i++) kept[i] = null;
        return 0;
    }

    /* Run by the other thread: Late's initialiser, then its value. */
    public static int initialise() { return Late.value; }

    public static int initialising() { return initialising ? 1 : 0; }

    static synchronized void saw(int value) {
        if (value == 42) NeedsLate.saw42++; else NeedsLate.sawOther++;
    }

    public static synchronized int saw42() { return NeedsLate.saw42; }
    public static synchronized int sawOther() { return NeedsLate.sawOther; }
}

class NeedsLate {
    static int saw42;
    static int sawOther;

    int id;
    Node payload;

    NeedsLate(int id) {
        this.id = id;
        this.payload = new Node(id, null);
    }

    protected void finalize() {
        Due.started = true;
        // A thread stopped while it waits leaves here by ThreadDeath, counted as neither.
        int value = Late.value;
        Due.saw(payload.value == id ? value : -1);
    }
}

class Late {
    static int value;

    static {
        Due.initialising = true;
        while (!Due.started) { }
        value = 42;
    }
}
