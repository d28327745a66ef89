package gc;

/* Programs that allocate many times what the heap holds while keeping a structure whose
   sum is checked at the end: every kept reference must survive every collection, on the
   operand stack, in locals, in statics, in fields, in arrays, in big arrays and objects
   whose storage is in pieces, in frames that are calling, throwing or in a subroutine. */
public class Churn {
    static Node kept;
    static Object[] bigKept;

    /* A list of n nodes is kept while garbage lists are made and dropped; the sum of the
       kept one is the answer (n * (n - 1) / 2 plus the garbage's part that was kept). */
    public static int lists(int n, int rounds) {
        Node keep = null;
        for (int i = 0; i < n; i++) keep = new Node(i, keep);
        int extra = 0;
        for (int r = 0; r < rounds; r++) {
            Node garbage = null;
            for (int i = 0; i < 200; i++) garbage = new Node(i, garbage);
            // One node of each round stays, hung off the kept list in a field.
            Node last = keep;
            while (last.next != null) last = last.next;
            if (r % 50 == 0) {
                last.other = garbage;
                extra += garbage.value;
            }
        }
        int sum = 0;
        for (Node p = keep; p != null; p = p.next) {
            sum += p.value;
            if (p.other instanceof Node) sum += 0;
        }
        return sum + extra;
    }

    /* Arrays of every kind, big ones with their elements in pieces: the kept ones hold
       values computed from their index, checked after every round of garbage. */
    public static int arrays(int rounds) {
        Object[] refs = new Object[1000];
        int[] ints = new int[3000];
        long[] longs = new long[700];
        for (int i = 0; i < refs.length; i++) refs[i] = new Node(i, null);
        for (int i = 0; i < ints.length; i++) ints[i] = i * 7;
        for (int i = 0; i < longs.length; i++) longs[i] = (long) i << 33;
        bigKept = refs;
        int bad = 0;
        for (int r = 0; r < rounds; r++) {
            Object[] junk = new Object[500];
            for (int i = 0; i < junk.length; i += 7) junk[i] = new int[40 + i % 300];
            char[] text = new char[2000];
            text[1999] = 'x';
            for (int i = 0; i < refs.length; i += 97) {
                if (((Node) refs[i]).value != i) bad++;
            }
            if (ints[2999] != 2999 * 7 || longs[699] != (long) 699 << 33) bad++;
        }
        for (int i = 0; i < refs.length; i++) if (((Node) bigKept[i]).value != i) bad++;
        return bad;
    }

    /* What arrays() keeps, checked again (after the heap moved). */
    public static int checkKept() {
        int bad = 0;
        for (int i = 0; i < bigKept.length; i++) if (((Node) bigKept[i]).value != i) bad++;
        return bad;
    }

    /* A big object of many fields (its storage in pieces). */
    public static int bigObject(int rounds) {
        Big b = new Big();
        b.fill();
        int bad = 0;
        for (int r = 0; r < rounds; r++) {
            Node junk = null;
            for (int i = 0; i < 100; i++) junk = new Node(i, junk);
            bad += b.check();
        }
        return bad;
    }

    /* References held only in the frames of a deep recursion while garbage is made at
       the bottom. */
    public static int deep(int depth, int rounds) {
        Node mine = new Node(depth, null);
        int below = depth > 0 ? deep(depth - 1, rounds) : garbage(rounds);
        return below + (mine.value == depth ? 0 : 1000);
    }

    static int garbage(int rounds) {
        int s = 0;
        for (int r = 0; r < rounds; r++) {
            Node n = null;
            for (int i = 0; i < 50; i++) n = new Node(i, n);
            s += n.value;
        }
        return s == rounds * 49 ? 0 : 1;
    }

    /* Exceptions made, thrown and caught while the frames that throw hold references;
       finally blocks (subroutines at this class file version) hold some too. */
    public static int throwing(int rounds) {
        Node held = new Node(5, null);
        int caught = 0;
        for (int r = 0; r < rounds; r++) {
            try {
                thrower(r, new Node(r, held));
            } catch (IllegalStateException e) {
                if (e.getMessage() != null && e.getMessage().length() > 0) caught++;
            } finally {
                Node inFinally = new Node(r, held);
                if (inFinally.next.value != 5) caught -= 1000;
            }
            try {
                Object o = null;
                o.hashCode();
            } catch (NullPointerException e) {
                caught++;
            }
            try {
                int[] a = new int[2];
                a[r % 5] = 1;
            } catch (ArrayIndexOutOfBoundsException e) {
                caught++;
            }
        }
        return caught + (held.value == 5 ? 0 : 100000);
    }

    static void thrower(int r, Node n) {
        Node local = new Node(r + 1, n);
        if (local.next.next.value == 5) throw new IllegalStateException(r % 2 == 0 ? "even round" : "odd round");
    }

    /* Natives called from the loop: frames from the thread's frame list, the argument
       and the result in local handles. */
    public static int natives(int rounds) {
        Node keep = new Node(11, null);
        int bad = 0;
        for (int r = 0; r < rounds; r++) {
            Object back = Host.through(new Node(r, keep));
            if (((Node) back).value != r || ((Node) back).next != keep) bad++;
        }
        return bad;
    }

    /* A loop that allocates until it is told to stop (another thread's flag), and one
       that only spins. */
    public static volatile boolean stop;
    public static volatile int spins;

    public static int halt() { stop = true; return 0; }
    public static int go() { stop = false; return 0; }
    public static int spins() { return spins; }

    /* Spins three frames above a catch that is itself above the frame the call began
       in; once halted, the innermost frame throws and the catch takes it. */
    public static int spinThenThrowDeep() { return catcher() + 0; }
    static int catcher() {
        try { return spinLevel(3); } catch (IllegalStateException e) { return 42; }
    }
    static int spinLevel(int n) {
        if (n > 0) return spinLevel(n - 1) + 1;
        int k = 0;
        while (!stop) k++;
        if (k >= 0) throw new IllegalStateException("after the move");
        return k;
    }

    public static int spin() {
        int n = 0;
        while (!stop) n++;
        spins = n;
        return 0;
    }

    /* A frame whose flow analysis goes missing while it calls: the native that drops it
       asks for a collection, which must give up and free nothing. */
    public static int withoutFlow() {
        Node keep = new Node(12, null);
        int answer = Host.collectWithoutCallersFlow();
        return keep.value == 12 ? answer : -1;
    }

    public static int allocateUntilStopped() {
        Node keep = new Node(1, null);
        int rounds = 0;
        // One round at least: a thread scheduled only after the halt still checks.
        do {
            Node n = null;
            for (int i = 0; i < 30; i++) n = new Node(i, n);
            if (n.value != 29 || keep.value != 1) return -1;
            rounds++;
        } while (!stop);
        return rounds;
    }
}

class Big {
    Object f0, f1, f2, f3, f4, f5, f6, f7, f8, f9;
    int i0, i1, i2, i3, i4, i5, i6, i7, i8, i9, i10, i11, i12, i13, i14, i15, i16, i17, i18, i19;
    long l0, l1, l2, l3, l4, l5, l6, l7, l8, l9, l10, l11, l12, l13, l14, l15, l16, l17, l18, l19;
    long m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18, m19;
    long n0, n1, n2, n3, n4, n5, n6, n7, n8, n9, n10, n11, n12, n13, n14, n15, n16, n17, n18, n19;
    long o0, o1, o2, o3, o4, o5, o6, o7, o8, o9, o10, o11, o12, o13, o14, o15, o16, o17, o18, o19;
    long p0, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11, p12, p13, p14, p15, p16, p17, p18, p19;
    Object g0, g1, g2, g3, g4, g5, g6, g7, g8, g9;

    void fill() {
        f0 = new Node(0, null); f9 = new Node(9, null);
        g0 = new Node(100, null); g9 = new Node(109, null);
        p19 = 77;
    }

    int check() {
        int bad = 0;
        if (((Node) f0).value != 0 || ((Node) f9).value != 9) bad++;
        if (((Node) g0).value != 100 || ((Node) g9).value != 109) bad++;
        if (p19 != 77) bad++;
        return bad;
    }
}
