package gc;

/* Objects with a finalizer, some kept in a static table and the rest garbage at once.
   Threads making them at the same time each keep theirs in a range of the table of
   their own; every finalizer checks that what its object reaches is whole. */
public class Keeper {
    static Keeper[] kept = new Keeper[0];
    static int finalized;

    int id;
    Node payload;

    Keeper(int id) {
        this.id = id;
        this.payload = new Node(id, new Node(-id, null));
    }

    /* Finalizers run on the threads that collected, several at once. */
    protected void finalize() {
        count(1);
        if (payload.value != id || payload.next.value != -id) count(1000000);
    }

    static synchronized void count(int k) { finalized += k; }

    public static int setUp(int n) {
        kept = new Keeper[n];
        return 0;
    }

    /* n objects; every keepEvery-th replaces an entry of kept from `from` on, so the one
       it held becomes garbage. */
    public static int make(int from, int n, int keepEvery) {
        for (int i = 0; i < n; i++) {
            Keeper k = new Keeper(from + i);
            if (i % keepEvery == 0) kept[from + i / keepEvery] = k;
        }
        return 0;
    }

    /* Rounds of make over the same range, checking the kept entries after each: the
       number of objects made, or -1 when a kept one was found damaged. */
    public static int churn(int from, int rounds, int n, int keepEvery) {
        int made = 0;
        for (int r = 0; r < rounds; r++) {
            make(from, n, keepEvery);
            made += n;
            if (check(from, (n + keepEvery - 1) / keepEvery) != 0) return -1;
        }
        return made;
    }

    /* 0 when every kept entry of the range is there and whole. */
    public static int check(int from, int count) {
        for (int i = from; i < from + count; i++) {
            Keeper k = kept[i];
            if (k == null || k.payload.value != k.id || k.payload.next.value != -k.id) return 1;
        }
        return 0;
    }

    public static int drop() {
        for (int i = 0; i < kept.length; i++) kept[i] = null;
        return 0;
    }

    public static synchronized int finalized() { return finalized; }
}

/* A throwable with a finalizer, made by the machine rather than by Java's new. */
class FinalThrowable extends RuntimeException {
    static int finalized;

    protected void finalize() { finalized++; }

    public static int finalized() { return finalized; }
}
