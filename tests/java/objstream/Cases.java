package objstream;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.OptionalDataException;
import java.util.Hashtable;
import java.util.Vector;

/* What the object-stream tests run on the machine. Each case answers a text: "" or "ok
   ..." when all went as it should, else what went wrong, so that the test can show it. */
public class Cases {
    static byte[] parse(String hex) {
        byte[] b = new byte[hex.length() / 2];
        for (int i = 0; i < b.length; i++) {
            b[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
        }
        return b;
    }

    static String describe(Object o) {
        return describe(o, 0);
    }

    /* Graphs may have cycles: past a few levels an object is named by its class alone. */
    static String describe(Object o, int depth) {
        if (o != null && depth > 3) {
            return o.getClass().getName();
        }
        if (o == null) {
            return "null";
        }
        if (o instanceof String) {
            return "\"" + o + "\"";
        }
        if (o instanceof Foo) {
            Foo f = (Foo) o;
            return "Foo(" + f.v + (f.next == null ? "" : "," + (f.next == f ? "self" : describe(f.next, depth + 1))) + ")";
        }
        if (o instanceof Holder) {
            Holder h = (Holder) o;
            return "Holder(" + describe(h.foo, depth + 1) + "," + describe(h.any, depth + 1) + ")";
        }
        if (o instanceof Flags) {
            Flags f = (Flags) o;
            boolean t = true;
            return "Flags(" + f.z + "," + (f.z == t) + ")";
        }
        if (o instanceof Evolved) {
            Evolved e = (Evolved) o;
            return "Evolved(" + e.same + "," + e.added + ")";
        }
        if (o instanceof Object[]) {
            Object[] a = (Object[]) o;
            StringBuffer sb = new StringBuffer(o.getClass().getName()).append('{');
            for (int i = 0; i < a.length && i < 8; i++) {
                sb.append(i > 0 ? "," : "").append(a[i] == o ? "self" : describe(a[i], depth + 1));
            }
            return sb.append('}').toString();
        }
        if (o instanceof int[]) {
            return "int[" + ((int[]) o).length + "]";
        }
        return o.getClass().getName();
    }

    static String outcome(Throwable t) {
        String m = t.getMessage();
        return t.getClass().getName() + (m != null ? ": " + m : "");
    }

    /* Every object of the stream, described, or what the reading threw. */
    public static String read(String hex) {
        return readBytes(parse(hex));
    }

    public static String readBytes(byte[] b) {
        StringBuffer sb = new StringBuffer("ok");
        try {
            ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(b));
            while (true) {
                try {
                    String d = describe(in.readObject());
                    sb.append(' ').append(d);
                } catch (EOFException e) {
                    return sb.toString();
                }
            }
        } catch (Throwable t) {
            return outcome(t);
        }
    }

    interface Writer {
        void write(ObjectOutputStream out) throws IOException;
    }

    static byte[] bytesOf(Writer w) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bytes);
        w.write(out);
        out.flush();
        return bytes.toByteArray();
    }

    static Object roundTrip(final Object o) throws Exception {
        byte[] b = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(o);
            }
        });
        return new ObjectInputStream(new ByteArrayInputStream(b)).readObject();
    }

    /* A graph of every kind the streams carry. */
    static Object[] graph() {
        Foo a = new Foo();
        a.v = -7;
        Foo b = new Foo();
        b.v = 8;
        a.next = b;
        b.next = a;
        Holder h = new Holder();
        h.foo = a;
        h.any = new int[] {1, 2, 3};
        Flags f = new Flags();
        f.z = true;
        Vector v = new Vector();
        v.addElement("x");
        v.addElement(a);
        v.addElement(v);
        Hashtable t = new Hashtable();
        t.put("a", a);
        t.put(new Integer(3), "three");
        Ext e = new Ext();
        e.value = 99;
        CountedChild c = new CountedChild();
        c.setByConstructor = 1;
        c.own = 6;
        HookB hb = new HookB();
        Big big = new Big();
        big.f97 = 0x1122334455667788L;
        big.last = -3;
        String[][] grid = {{"p", null}, {}};
        return new Object[] {a, b, h, f, v, t, e, c, hb, big, grid, new long[] {Long.MIN_VALUE}, null, "end"};
    }

    /* The graph written and read back, compared part by part. */
    public static String roundTrip() throws Exception {
        return roundTrip(true);
    }

    static String roundTrip(boolean alone) throws Exception {
        Object[] g = graph();
        Counted.constructed = 0;
        Object[] r = (Object[]) roundTrip(g);
        if (r.length != g.length) {
            return "length " + r.length;
        }
        Foo a = (Foo) r[0];
        Foo b = (Foo) r[1];
        if (a.v != -7 || b.v != 8 || a.next != b || b.next != a) {
            return "cycle " + describe(a);
        }
        Holder h = (Holder) r[2];
        if (h.foo != a || ((int[]) h.any)[2] != 3) {
            return "holder " + describe(h);
        }
        if (!((Flags) r[3]).z) {
            return "flags";
        }
        Vector v = (Vector) r[4];
        if (v.size() != 3 || !"x".equals(v.elementAt(0)) || v.elementAt(1) != a || v.elementAt(2) != v) {
            return "vector " + v.size();
        }
        Hashtable t = (Hashtable) r[5];
        if (t.size() != 2 || t.get("a") != a || !"three".equals(t.get(new Integer(3)))) {
            return "hashtable " + t.size() + " " + t.get("a") + " " + t.get(new Integer(3));
        }
        if (((Ext) r[6]).value != 99) {
            return "externalizable";
        }
        CountedChild c = (CountedChild) r[7];
        if (c.setByConstructor != 41 || c.own != 6 || (alone && Counted.constructed != 1)) {
            return "constructor " + c.setByConstructor + " " + c.own + " " + Counted.constructed;
        }
        if (!"A:A B:B ".equals(((HookB) r[8]).log)) {
            return "hooks [" + ((HookB) r[8]).log + "]";
        }
        Big big = (Big) r[9];
        if (big.first != 1 || big.f0 != 1 || big.f97 != 0x1122334455667788L || big.f96 != 96 * 7919 + 1
                || !"past the inline part".equals(big.ref) || big.last != -3) {
            return "big " + big.f97 + " " + big.ref + " " + big.last;
        }
        String[][] grid = (String[][]) r[10];
        if (grid.length != 2 || !"p".equals(grid[0][0]) || grid[0][1] != null || grid[1].length != 0) {
            return "grid";
        }
        if (((long[]) r[11])[0] != Long.MIN_VALUE) {
            return "longs";
        }
        if (!"end".equals(r[13])) {
            return "end";
        }
        return "";
    }

    /* The class's reading hook asks for more than its writer wrote. */
    public static String greedy() throws Exception {
        try {
            roundTrip(new Greedy());
            return "no failure";
        } catch (EOFException e) {
            return "ok";
        } catch (OptionalDataException e) {
            return "ok";
        }
    }

    static boolean expected(Throwable t) {
        return t instanceof IOException || t instanceof ClassNotFoundException || t instanceof ClassCastException
                || t instanceof ArrayStoreException || t instanceof OutOfMemoryError;
    }

    /* Every prefix of a good stream fails, and fails with an exception a reader expects. */
    public static String truncations() throws Exception {
        final Object[] g = graph();
        byte[] whole = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(g);
            }
        });
        for (int n = 0; n < whole.length; n++) {
            byte[] part = new byte[n];
            System.arraycopy(whole, 0, part, 0, n);
            try {
                new ObjectInputStream(new ByteArrayInputStream(part)).readObject();
                return "prefix " + n + " read";
            } catch (Throwable t) {
                if (!expected(t)) {
                    return "prefix " + n + ": " + outcome(t);
                }
            }
        }
        return "ok " + whole.length;
    }

    /* Random damage to a good stream: whatever comes back, the reader fails as readers
       expect or reads something. Answers the unexpected outcomes. */
    public static String mutations(int seed, int rounds) throws Exception {
        final Object[] g = graph();
        byte[] whole = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(g);
            }
        });
        int x = seed;
        StringBuffer odd = new StringBuffer();
        int read = 0;
        for (int r = 0; r < rounds; r++) {
            byte[] b = new byte[whole.length];
            System.arraycopy(whole, 0, b, 0, b.length);
            int changes = 1 + r % 4;
            for (int k = 0; k < changes; k++) {
                x = x * 1103515245 + 12345;
                int at = 4 + ((x >>> 8) % (b.length - 4));
                x = x * 1103515245 + 12345;
                int kind = (x >>> 16) % 4;
                b[at] = (byte) (kind == 0 ? (x >>> 3) : kind == 1 ? b[at] ^ (1 << ((x >>> 5) & 7)) : kind == 2 ? 0x70 + ((x >>> 4) % 12) : 0xFF);
            }
            try {
                new ObjectInputStream(new ByteArrayInputStream(b)).readObject();
                read++;
            } catch (Throwable t) {
                if (!expected(t) && odd.length() < 400) {
                    odd.append(r).append(": ").append(outcome(t)).append("; ");
                }
            }
        }
        return odd.length() == 0 ? "ok " + read : odd.toString();
    }

    /* A list of n links written and read; a StackOverflowError is an answer too. */
    public static String depth(int n, boolean hooked) {
        try {
            Object head;
            if (hooked) {
                HookedLink h = null;
                for (int i = 0; i < n; i++) {
                    HookedLink l = new HookedLink();
                    l.next = h;
                    h = l;
                }
                head = h;
            } else {
                Link h = null;
                for (int i = 0; i < n; i++) {
                    Link l = new Link();
                    l.next = h;
                    l.n = i;
                    h = l;
                }
                head = h;
            }
            Object back = roundTrip(head);
            int count = 0;
            if (hooked) {
                for (HookedLink l = (HookedLink) back; l != null; l = l.next) {
                    count++;
                }
            } else {
                for (Link l = (Link) back; l != null; l = l.next) {
                    count++;
                }
            }
            return "ok " + count;
        } catch (Throwable t) {
            return t.getClass().getName();
        }
    }

    /* A stream that writes an object of a class that is not Serializable. */
    public static String notSerializable() throws Exception {
        final NotSerHolder h = new NotSerHolder();
        h.what = new NotSer();
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bytes);
        try {
            out.writeObject(h);
            return "written";
        } catch (java.io.NotSerializableException e) {
            out.flush();
        }
        return outcome(new Exception(readBytes(bytes.toByteArray())));
    }

    /* Two threads writing and reading at once, each its own graphs, many rounds. */
    public static String threads(final int rounds) throws Exception {
        final String[] results = new String[2];
        Thread[] ts = new Thread[2];
        for (int i = 0; i < 2; i++) {
            final int me = i;
            ts[i] = new Thread() {
                public void run() {
                    try {
                        for (int r = 0; r < rounds; r++) {
                            String s = roundTrip(false);
                            if (s.length() != 0) {
                                results[me] = s;
                                return;
                            }
                        }
                        results[me] = "";
                    } catch (Throwable t) {
                        results[me] = outcome(t);
                    }
                }
            };
            ts[i].start();
        }
        for (int i = 0; i < 2; i++) {
            ts[i].join();
        }
        return results[0] + "|" + results[1];
    }

    /* A stream of a graph, for the fuzz target's seeds and the tests' hand-made streams. */
    public static byte[] graphBytes() throws Exception {
        final Object[] g = graph();
        return bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(g);
            }
        });
    }
}
