import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.Externalizable;
import java.io.IOException;
import java.io.NotSerializableException;
import java.io.ObjectInput;
import java.io.ObjectInputStream;
import java.io.ObjectOutput;
import java.io.ObjectOutputStream;
import java.io.ObjectStreamClass;
import java.io.Serializable;
import java.io.WriteAbortedException;
import java.util.Enumeration;
import java.util.Hashtable;
import java.util.Vector;

/* Object graphs written with ObjectOutputStream and read back with ObjectInputStream: the
   bytes of each stream are printed, so the run on another machine over the same class
   files compares them byte for byte, and the values read back are printed after them. */
public class ObjectStreams {
    static class Primitives implements Serializable {
        private static final long serialVersionUID = 1L;
        static int notWritten = 9;
        boolean z = true;
        byte b = -1;
        char c = (char) 0xFFFF;
        short s = -32768;
        int i = Integer.MIN_VALUE;
        long j = Long.MIN_VALUE;
        float f = -0.0f;
        double d = Double.NaN;
        transient int gone = 5;
        String text = "h\u00e9llo \u20ac \u0000";
        Object none;

        public String toString() {
            return z + " " + b + " " + (int) c + " " + s + " " + i + " " + j + " " + (1 / f) + " " + d + " " + gone
                    + " [" + codes(text) + "] " + none + " " + notWritten;
        }
    }

    static class Node implements Serializable {
        String name;
        Node next;
        Object payload;

        Node(String name) {
            this.name = name;
        }
    }

    static class Arrays implements Serializable {
        int[] empty = new int[0];
        int[] many = new int[300];
        long[] longs = {1L, -1L, Long.MAX_VALUE};
        String[][] grid = {{"a", null}, {}, null};
        boolean[] flags = {true, false, true};
        char[] chars = {'x', (char) 0xD800, (char) 0};
        double[] doubles = {1.5, Double.NEGATIVE_INFINITY};
        float[] floats = {Float.MIN_VALUE};
        short[] shorts = {-1, 2};
        byte[] bytes = new byte[2000];
        Object[] mixed = {new Integer(7), new Long(8), new Character('c'), new Boolean(true), new Double(2.5),
                          new Float(1.25f), new Short((short) 3), new Byte((byte) 4), "str"};

        Arrays() {
            for (int k = 0; k < many.length; k++) {
                many[k] = k * k - 1000;
            }
            for (int k = 0; k < bytes.length; k++) {
                bytes[k] = (byte) (k * 7);
            }
        }
    }

    /* Writes data of its own around its fields. */
    static class Custom implements Serializable {
        private static final long serialVersionUID = 3L;
        int kept = 11;
        transient String extra = "extra";
        transient int seen;

        private void writeObject(ObjectOutputStream out) throws IOException {
            out.defaultWriteObject();
            out.writeInt(0x1234);
            out.writeUTF(extra);
            out.writeObject(new int[] {1, 2});
        }

        private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
            in.defaultReadObject();
            seen = in.readInt();
            extra = in.readUTF();
            int[] a = (int[]) in.readObject();
            seen += a[0] + a[1];
        }
    }

    /* A subclass of a class with hooks, with hooks of its own that read less than they wrote. */
    static class CustomChild extends Custom {
        private static final long serialVersionUID = 4L;
        String childField = "child";
        transient int childSeen;

        private void writeObject(ObjectOutputStream out) throws IOException {
            out.defaultWriteObject();
            out.writeLong(99L);
            out.writeObject("unread");
            byte[] junk = new byte[1500];
            junk[1499] = 1;
            out.write(junk);
        }

        private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
            in.defaultReadObject();
            childSeen = (int) in.readLong();
        }
    }

    public static class External implements Externalizable {
        private static final long serialVersionUID = 7L;
        int value;
        String label;
        boolean viaConstructor;

        public External() {
            viaConstructor = true;
        }

        External(int value, String label) {
            this.value = value;
            this.label = label;
        }

        public void writeExternal(ObjectOutput out) throws IOException {
            out.writeInt(value);
            out.writeObject(label);
            out.writeObject(this);
        }

        public void readExternal(ObjectInput in) throws IOException, ClassNotFoundException {
            value = in.readInt();
            label = (String) in.readObject();
            if (in.readObject() != this) {
                throw new IOException("self reference lost");
            }
        }
    }

    /* Not serializable: its constructor runs again for every object read. */
    static class Base {
        int baseField;
        String baseText;

        Base() {
            baseField = 77;
            baseText = "from constructor";
        }
    }

    static class Derived extends Base implements Serializable {
        private static final long serialVersionUID = 8L;
        int own;
    }

    static class Big implements Serializable {
        private static final long serialVersionUID = 9L;
        long f0 = 0;
        long f1 = 1000003;
        long f2 = 2000006;
        long f3 = 3000009;
        long f4 = 4000012;
        long f5 = 5000015;
        long f6 = 6000018;
        long f7 = 7000021;
        long f8 = 8000024;
        long f9 = 9000027;
        long f10 = 10000030;
        long f11 = 11000033;
        long f12 = 12000036;
        long f13 = 13000039;
        long f14 = 14000042;
        long f15 = 15000045;
        long f16 = 16000048;
        long f17 = 17000051;
        long f18 = 18000054;
        long f19 = 19000057;
        long f20 = 20000060;
        long f21 = 21000063;
        long f22 = 22000066;
        long f23 = 23000069;
        long f24 = 24000072;
        long f25 = 25000075;
        long f26 = 26000078;
        long f27 = 27000081;
        long f28 = 28000084;
        long f29 = 29000087;
        long f30 = 30000090;
        long f31 = 31000093;
        long f32 = 32000096;
        long f33 = 33000099;
        long f34 = 34000102;
        long f35 = 35000105;
        long f36 = 36000108;
        long f37 = 37000111;
        long f38 = 38000114;
        long f39 = 39000117;
        long f40 = 40000120;
        long f41 = 41000123;
        long f42 = 42000126;
        long f43 = 43000129;
        long f44 = 44000132;
        long f45 = 45000135;
        long f46 = 46000138;
        long f47 = 47000141;
        long f48 = 48000144;
        long f49 = 49000147;
        long f50 = 50000150;
        long f51 = 51000153;
        long f52 = 52000156;
        long f53 = 53000159;
        long f54 = 54000162;
        long f55 = 55000165;
        long f56 = 56000168;
        long f57 = 57000171;
        long f58 = 58000174;
        long f59 = 59000177;
        long f60 = 60000180;
        long f61 = 61000183;
        long f62 = 62000186;
        long f63 = 63000189;
        long f64 = 64000192;
        long f65 = 65000195;
        long f66 = 66000198;
        long f67 = 67000201;
        long f68 = 68000204;
        long f69 = 69000207;
        long f70 = 70000210;
        long f71 = 71000213;
        long f72 = 72000216;
        long f73 = 73000219;
        long f74 = 74000222;
        long f75 = 75000225;
        long f76 = 76000228;
        long f77 = 77000231;
        long f78 = 78000234;
        long f79 = 79000237;
        long f80 = 80000240;
        long f81 = 81000243;
        long f82 = 82000246;
        long f83 = 83000249;
        long f84 = 84000252;
        long f85 = 85000255;
        long f86 = 86000258;
        long f87 = 87000261;
        long f88 = 88000264;
        long f89 = 89000267;
        long f90 = 90000270;
        long f91 = 91000273;
        long f92 = 92000276;
        long f93 = 93000279;
        long f94 = 94000282;
        long f95 = 95000285;
        long f96 = 96000288;
        long f97 = 97000291;
        Object ref = "past the inline part";
        long last = -2L;
    }

    static class Holder implements Serializable {
        private static final long serialVersionUID = 10L;
        Object slot;
    }

    static String codes(String s) {
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < s.length(); i++) {
            sb.append(i > 0 ? " " : "").append(Integer.toHexString(s.charAt(i)));
        }
        return sb.toString();
    }

    static String hex(byte[] b) {
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < b.length; i++) {
            if (i > 0 && i % 48 == 0) {
                sb.append('\n');
            }
            String h = Integer.toHexString(b[i] & 0xFF);
            if (h.length() < 2) {
                sb.append('0');
            }
            sb.append(h);
        }
        return sb.toString();
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

    static ObjectInputStream reader(byte[] b) throws IOException {
        return new ObjectInputStream(new ByteArrayInputStream(b));
    }

    static byte[] show(String what, Writer w) throws IOException {
        byte[] b = bytesOf(w);
        System.out.println("== " + what + " (" + b.length + " bytes)");
        System.out.println(hex(b));
        return b;
    }

    static String list(Object[] a) {
        if (a == null) {
            return "null";
        }
        StringBuffer sb = new StringBuffer("{");
        for (int i = 0; i < a.length; i++) {
            sb.append(i > 0 ? "," : "").append(a[i] instanceof Object[] ? list((Object[]) a[i]) : String.valueOf(a[i]));
        }
        return sb.append('}').toString();
    }

    public static void main(String[] args) throws Exception {
        final Primitives prims = new Primitives();
        byte[] b = show("primitives", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(prims);
            }
        });
        Primitives.notWritten = 10;
        System.out.println(reader(b).readObject());

        final Node a = new Node("a");
        final Node n2 = new Node("b");
        a.next = n2;
        n2.next = a;
        a.payload = n2.name;
        n2.payload = new Object[] {a, n2, "b"};
        b = show("cycle", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(a);
                out.writeObject(n2);
            }
        });
        ObjectInputStream in = reader(b);
        Node ra = (Node) in.readObject();
        Node rb = (Node) in.readObject();
        Object[] p = (Object[]) rb.payload;
        System.out.println(ra.name + " " + rb.name + " " + (ra.next == rb) + " " + (rb.next == ra) + " "
                + (ra.payload == rb.name) + " " + (p[0] == ra) + " " + (p[1] == rb) + " " + (p[2] == rb.name));

        final Arrays arrays = new Arrays();
        b = show("arrays", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(arrays);
            }
        });
        Arrays ar = (Arrays) reader(b).readObject();
        long sum = 0;
        for (int k = 0; k < ar.many.length; k++) {
            sum += ar.many[k] * (long) (k + 1);
        }
        for (int k = 0; k < ar.bytes.length; k++) {
            sum += ar.bytes[k] * (long) (k + 3);
        }
        System.out.println(ar.empty.length + " " + ar.many.length + " " + sum + " " + ar.longs[2] + " " + list(ar.grid) + " "
                + ar.flags[2] + " " + (int) ar.chars[1] + " " + ar.doubles[1] + " " + ar.floats[0] + " " + ar.shorts[0] + " "
                + list(ar.mixed) + " " + ar.mixed[0].getClass().getName());

        final Vector v = new Vector();
        v.addElement("one");
        v.addElement(new Integer(2));
        v.addElement(v);
        // Other writers give Vector a writeObject of its own: compare what comes back.
        b = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(v);
            }
        });
        Vector rv = (Vector) reader(b).readObject();
        System.out.println(rv.size() + " " + rv.elementAt(0) + " " + rv.elementAt(1) + " " + (rv.elementAt(2) == rv));

        final Custom custom = new Custom();
        final CustomChild child = new CustomChild();
        b = show("hooks", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(custom);
                out.writeObject(child);
                out.writeObject("after");
            }
        });
        in = reader(b);
        Custom rc = (Custom) in.readObject();
        CustomChild rcc = (CustomChild) in.readObject();
        System.out.println(rc.kept + " " + rc.extra + " " + rc.seen + " | " + rcc.kept + " " + rcc.extra + " " + rcc.seen + " "
                + rcc.childField + " " + rcc.childSeen + " " + in.readObject());

        b = show("externalizable", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                External e = new External(42, "forty-two");
                out.writeObject(e);
                out.writeObject(e);
            }
        });
        in = reader(b);
        External re = (External) in.readObject();
        System.out.println(re.value + " " + re.label + " " + re.viaConstructor + " " + (in.readObject() == re));

        final Derived derived = new Derived();
        derived.baseField = 5;
        derived.baseText = "changed";
        derived.own = 6;
        b = show("non-serializable superclass", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(derived);
            }
        });
        Derived rd = (Derived) reader(b).readObject();
        System.out.println(rd.baseField + " " + rd.baseText + " " + rd.own);

        b = show("big", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(new Big());
            }
        });
        Big big = (Big) reader(b).readObject();
        System.out.println(big.f0 + " " + big.f96 + " " + big.f97 + " " + big.ref + " " + big.last);

        b = show("classes and descriptors", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(Integer.class);
                out.writeObject(String.class);
                out.writeObject(Node.class);
                out.writeObject(ObjectStreamClass.lookup(Node.class));
                out.writeObject(new Integer(5));
            }
        });
        in = reader(b);
        System.out.println(in.readObject() + " " + in.readObject() + " " + in.readObject() + " "
                + ((ObjectStreamClass) in.readObject()).getName() + " " + in.readObject());

        b = show("primitive data and reset", new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                Node shared = new Node("shared");
                out.writeInt(1);
                out.writeObject(shared);
                out.writeUTF("between");
                for (int k = 0; k < 600; k++) {
                    out.writeShort(k);
                }
                out.writeObject(shared);
                out.reset();
                out.writeObject(shared);
                out.writeBoolean(true);
            }
        });
        in = reader(b);
        int first = in.readInt();
        Node s1 = (Node) in.readObject();
        String between = in.readUTF();
        int total = 0;
        for (int k = 0; k < 600; k++) {
            total += in.readShort();
        }
        Node s2 = (Node) in.readObject();
        Node s3 = (Node) in.readObject();
        System.out.println(first + " " + between + " " + total + " " + (s1 == s2) + " " + (s1 == s3) + " " + s3.name + " "
                + in.readBoolean() + " " + in.read());

        final StringBuffer longText = new StringBuffer();
        for (int k = 0; k < 70000; k++) {
            longText.append((char) ('a' + k % 26));
        }
        b = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(longText.toString());
            }
        });
        System.out.println("== long string " + b.length + " bytes, code " + Integer.toHexString(b[4] & 0xFF));
        String rs = (String) reader(b).readObject();
        System.out.println(rs.length() + " " + rs.substring(69990));

        final Node head = new Node("0");
        Node tail = head;
        for (int k = 1; k < 1000; k++) {
            tail.next = new Node(String.valueOf(k));
            tail = tail.next;
        }
        b = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(head);
            }
        });
        System.out.println("== list of 1000 nodes, " + b.length + " bytes");
        Node r = (Node) reader(b).readObject();
        int count = 0;
        while (r != null) {
            count++;
            r = r.next;
        }
        System.out.println(count);

        final Hashtable h = new Hashtable();
        for (int k = 0; k < 50; k++) {
            h.put("k" + k, new Integer(k));
        }
        h.put("self", h);
        b = bytesOf(new Writer() {
            public void write(ObjectOutputStream out) throws IOException {
                out.writeObject(h);
            }
        });
        Hashtable rh = (Hashtable) reader(b).readObject();
        int keys = 0;
        int values = 0;
        for (Enumeration e = rh.keys(); e.hasMoreElements();) {
            Object key = e.nextElement();
            keys++;
            if (rh.get(key) instanceof Integer) {
                values += ((Integer) rh.get(key)).intValue();
            }
        }
        System.out.println("hashtable " + keys + " " + values + " " + (rh.get("self") == rh) + " " + rh.get("k7"));

        final Holder holder = new Holder();
        holder.slot = new Object();
        try {
            bytesOf(new Writer() {
                public void write(ObjectOutputStream out) throws IOException {
                    out.writeObject(holder);
                }
            });
        } catch (NotSerializableException e) {
            System.out.println("not serializable: " + e.getMessage());
        }
        ByteArrayOutputStream partial = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(partial);
        try {
            out.writeObject(holder);
        } catch (NotSerializableException e) {
            out.flush();
        }
        try {
            reader(partial.toByteArray()).readObject();
            System.out.println("read a failed write");
        } catch (WriteAbortedException e) {
            System.out.println("aborted: " + e.detail);
        }
    }
}
