package gc;

/* Object shapes at the edges of how the collector reads an object's reference words:
   instances of exactly 32 words with references in the first and the last, subclasses
   one word past that, int fields that hold what could pass for addresses or headers,
   arrays of arrays nested deep, and reference arrays long enough for every level of
   piece storage. Each shape is kept while garbage many times the heap is made, and
   checked after every round; the answer is the count of damaged things found. */
public class Shapes {
    static Object[] kept;

    /* Integers that look like block headers, freed-block poison, fill patterns and
       addresses. */
    static final int[] HOSTILE = {-1, 0xFECA, 0x206FFECA, 0xDDDDDDDD, 0xCDCDCDCD, 0xEFBEADDE, 8, 0x10000};

    /* Strings of the constant pool, which the machine makes itself. */
    static final String[] TEXTS = {"text0", "text1", "text2"};

    static int hostile(int i) {
        return HOSTILE[i % HOSTILE.length];
    }

    /* Every shape, seeded with n; with small, a nest and a wide array of a tenth of the
       size (the wide one then stays within the second level of pieces). */
    static Object[] build(int n, boolean small) {
        int depth = small ? 300 : 3000;
        int width = small ? 2000 : 20000;
        Object[] k = new Object[8];
        Edge e = new Edge();
        e.fill(n);
        k[0] = e;
        Past p = new Past();
        p.fill(n + 1);
        k[1] = p;
        Object[] nest = new Object[] {new Node(n, null)};
        for (int d = 0; d < depth; d++) nest = new Object[] {nest, hostileInts(d)};
        k[2] = nest;
        // 1476 and 17860 elements are where piece storage takes a second and a third level.
        Object[] wide = new Object[width];
        for (int i = 0; i < wide.length; i += 3) wide[i] = new Node(i, null);
        wide[wide.length - 1] = new Node(-1, null);
        k[3] = wide;
        IntsOnly ints = new IntsOnly();
        ints.fill();
        k[4] = ints;
        Object[] mixed = new Object[64];
        for (int i = 0; i < mixed.length; i++) {
            switch (i % 5) {
                case 0: mixed[i] = new Edge(); ((Edge) mixed[i]).fill(i); break;
                case 1: mixed[i] = new Past(); ((Past) mixed[i]).fill(i); break;
                case 2: mixed[i] = TEXTS[i % TEXTS.length]; break;
                case 3: mixed[i] = hostileInts(i); break;
                default: mixed[i] = new Object[] {new Node(i, null), null, mixed[i - 1]};
            }
        }
        k[5] = mixed;
        return k;
    }

    static int[] hostileInts(int seed) {
        int[] a = new int[4];
        for (int i = 0; i < a.length; i++) a[i] = hostile(seed + i);
        return a;
    }

    /* 0 when every shape of what churn(n, ...) kept is whole. */
    public static int check(int n) {
        return check(kept, n);
    }

    static int check(Object[] k, int n) {
        int bad = 0;
        if (((Edge) k[0]).check(n) != 0) bad++;
        if (((Past) k[1]).check(n + 1) != 0) bad++;
        Object[] nest = (Object[]) k[2];
        int depth = 0;
        for (Object[] p = nest; p.length == 2; p = (Object[]) p[0]) depth++;
        if (depth != 300 && depth != 3000) bad++;
        for (int d = depth - 1; d >= 0; d--) {
            int[] a = (int[]) nest[1];
            for (int i = 0; i < a.length; i++) if (a[i] != hostile(d + i)) bad++;
            nest = (Object[]) nest[0];
        }
        if (((Node) nest[0]).value != n) bad++;
        Object[] wide = (Object[]) k[3];
        for (int i = 0; i < wide.length - 1; i++) {
            if (i % 3 == 0 ? wide[i] == null || ((Node) wide[i]).value != i : wide[i] != null) bad++;
        }
        if (((Node) wide[wide.length - 1]).value != -1) bad++;
        if (((IntsOnly) k[4]).check() != 0) bad++;
        Object[] mixed = (Object[]) k[5];
        for (int i = 0; i < mixed.length; i++) {
            switch (i % 5) {
                case 0: if (((Edge) mixed[i]).check(i) != 0) bad++; break;
                case 1: if (((Past) mixed[i]).check(i) != 0) bad++; break;
                case 2: if (mixed[i] != TEXTS[i % TEXTS.length] || ((String) mixed[i]).length() != 5) bad++; break;
                case 3: {
                    int[] a = (int[]) mixed[i];
                    for (int j = 0; j < a.length; j++) if (a[j] != hostile(i + j)) bad++;
                    break;
                }
                default: {
                    Object[] o = (Object[]) mixed[i];
                    if (((Node) o[0]).value != i || o[1] != null || o[2] != mixed[i - 1]) bad++;
                }
            }
        }
        return bad;
    }

    /* The shapes kept in a static, then rounds of garbage of every shape, checking after
       each. */
    public static int churn(int n, int rounds) {
        kept = build(n, false);
        return garbage(kept, n, rounds);
    }

    /* The same with smaller shapes held only by this frame (one per thread). */
    public static int churnOwn(int n, int rounds) {
        Object[] mine = build(n, true);
        return garbage(mine, n, rounds);
    }

    static int garbage(Object[] mine, int n, int rounds) {
        int bad = 0;
        for (int r = 0; r < rounds; r++) {
            Object junk = null;
            for (int i = 0; i < 40; i++) {
                Edge e = new Edge();
                e.fill(i);
                Past p = new Past();
                p.fill(i);
                p.r32 = junk;
                junk = new Object[] {e, p, hostileInts(i)};
            }
            bad += check(mine, n);
        }
        return bad;
    }

    public static int drop() {
        kept = null;
        return 0;
    }
}

/* 32 words: references in words 0 and 31 only, hostile ints between. */
class Edge {
    Object r0;
    int i1, i2, i3, i4, i5, i6, i7, i8, i9, i10, i11, i12, i13, i14, i15, i16, i17, i18, i19, i20;
    int i21, i22, i23, i24, i25, i26, i27, i28, i29, i30;
    Object r31;

    void fill(int n) {
        r0 = new Node(n, null);
        r31 = new Node(n + 31, new Node(n + 32, null));
        i1 = Shapes.hostile(1);
        i2 = Shapes.hostile(2);
        i15 = Shapes.hostile(3);
        i29 = Shapes.hostile(4);
        i30 = Shapes.hostile(5);
    }

    int check(int n) {
        int bad = 0;
        if (((Node) r0).value != n) bad++;
        Node last = (Node) r31;
        if (last.value != n + 31 || last.next.value != n + 32) bad++;
        if (i1 != Shapes.hostile(1) || i2 != Shapes.hostile(2) || i15 != Shapes.hostile(3)) bad++;
        if (i29 != Shapes.hostile(4) || i30 != Shapes.hostile(5)) bad++;
        return bad;
    }
}

/* One word past Edge: its instances are read the way of big objects, the inherited
   references included. */
class Past extends Edge {
    Object r32;

    void fill(int n) {
        super.fill(n);
        r32 = new Node(n + 100, null);
    }

    int check(int n) {
        return super.check(n) + (r32 instanceof Node && ((Node) r32).value == n + 100 ? 0 : 1);
    }
}

/* No reference at all, every word hostile. */
class IntsOnly {
    int a, b, c, d, e, f, g, h;

    void fill() {
        a = Shapes.hostile(0); b = Shapes.hostile(1); c = Shapes.hostile(2); d = Shapes.hostile(3);
        e = Shapes.hostile(4); f = Shapes.hostile(5); g = Shapes.hostile(6); h = Shapes.hostile(7);
    }

    int check() {
        return a == Shapes.hostile(0) && b == Shapes.hostile(1) && c == Shapes.hostile(2) && d == Shapes.hostile(3)
                && e == Shapes.hostile(4) && f == Shapes.hostile(5) && g == Shapes.hostile(6)
                && h == Shapes.hostile(7) ? 0 : 1;
    }
}
