import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.util.Enumeration;
import java.util.Hashtable;
import java.util.Properties;

/* Hashtables written, read back and written again: the bytes are printed, so the JDK's
   run of the same classes checks every byte (class descriptor, fields, the capacity and
   count, the order of the entries). Then streams a writer could send that no table
   wrote: each is refused with an exception, or read as far as it is sound. */
public class ObjectStreamHashtables {
    static byte[] bytesOf(Object o) throws IOException {
        ByteArrayOutputStream b = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(b);
        out.writeObject(o);
        out.close();
        return b.toByteArray();
    }

    static Object read(byte[] b) throws Exception {
        return new ObjectInputStream(new ByteArrayInputStream(b)).readObject();
    }

    static String hex(byte[] b) {
        StringBuffer s = new StringBuffer();
        for (int i = 0; i < b.length; i++) {
            String t = Integer.toHexString(b[i] & 0xFF);
            if (t.length() < 2) {
                s.append('0');
            }
            s.append(t);
        }
        return s.toString();
    }

    static byte[] parse(String hex) {
        byte[] b = new byte[hex.length() / 2];
        for (int i = 0; i < b.length; i++) {
            b[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
        }
        return b;
    }

    static void print(String hex) {
        for (int i = 0; i < hex.length(); i += 96) {
            System.out.println("  " + hex.substring(i, Math.min(hex.length(), i + 96)));
        }
    }

    static String keys(Hashtable h) {
        StringBuffer s = new StringBuffer();
        for (Enumeration e = h.keys(); e.hasMoreElements();) {
            Object k = e.nextElement();
            s.append(k == h ? "(self)" : String.valueOf(k)).append(' ');
        }
        return s.toString();
    }

    static void roundTrip(String what, Hashtable h) throws Exception {
        byte[] b = bytesOf(h);
        System.out.println(what + ": " + b.length + " bytes, keys " + keys(h));
        print(hex(b));
        Hashtable back = (Hashtable) read(b);
        System.out.println("  read: " + back.size() + " entries, keys " + keys(back));
        for (Enumeration e = h.keys(); e.hasMoreElements();) {
            Object k = e.nextElement();
            Object v = h.get(k);
            Object w = back.get(k == h ? (Object) back : k);
            boolean same = v == h ? w == back : v.equals(w);
            if (!same && !(k == h)) {
                System.out.println("  lost " + k);
            }
        }
        System.out.println("  written again alike: " + hex(bytesOf(back)).equals(hex(b)));
    }

    // One entry "a"="b" in a default table, with the load factor, threshold, capacity
    // and count to be filled in, and the entries after them.
    static final String HEAD = "aced0005737200136a6176612e7574696c2e486173687461626c6513bb0f25214ae4b8"
            + "03000246000a6c6f6164466163746f724900097468726573686f6c647870";

    static void hostile(String what, String fieldsAndData) {
        hostile(what, fieldsAndData, true);
    }

    // exact: the exception's class is printed (else only that the stream was refused).
    static void hostile(String what, String fieldsAndData, boolean exact) {
        try {
            Hashtable h = (Hashtable) read(parse(HEAD + fieldsAndData));
            System.out.println(what + ": read, " + h.size() + " entries, a=" + h.get("a"));
        } catch (Exception e) {
            System.out.println(what + ": " + (exact ? e.getClass().getName() : "refused"));
        }
    }

    public static void main(String[] args) throws Exception {
        Hashtable small = new Hashtable();
        for (int i = 0; i < 5; i++) {
            small.put("k" + i, new Integer(i));
        }
        roundTrip("default table", small);

        // Grown three times from 3 buckets; two keys share a bucket, one hash is negative.
        Hashtable grown = new Hashtable(3, 0.5f);
        grown.put(new Integer(7), "seven");
        grown.put(new Integer(18), "eighteen");
        grown.put(new Integer(-4), "minus four");
        for (int i = 0; i < 9; i++) {
            grown.put("s" + i, new Integer(i * i));
        }
        roundTrip("grown table", grown);

        // Long chains: every key in one of two buckets, some removed, one replaced.
        Hashtable chains = new Hashtable(2, 20f);
        for (int i = 0; i < 24; i++) {
            chains.put(new Integer(i * 2 + (i % 3 == 0 ? 1 : 0)), "v" + i);
        }
        for (int i = 0; i < 24; i += 5) {
            chains.remove(new Integer(i * 2 + (i % 3 == 0 ? 1 : 0)));
        }
        chains.put(new Integer(14), "replaced");
        roundTrip("chained table", chains);

        roundTrip("empty table", new Hashtable(5));

        Hashtable cleared = new Hashtable();
        for (int i = 0; i < 40; i++) {
            cleared.put(new Integer(i), "x");
        }
        cleared.clear();
        cleared.put("only", "one");
        roundTrip("cleared table", cleared);

        Hashtable self = new Hashtable();
        self.put("self", self);
        self.put("one", new Integer(1));
        roundTrip("table holding itself", self);

        Properties defaults = new Properties();
        defaults.put("a", "1");
        Properties p = new Properties(defaults);
        p.put("b", "2");
        p.put("c", "3");
        // Other writers lay out a Properties table of their own: only what it holds counts.
        Properties q = (Properties) read(bytesOf(p));
        System.out.println("  read: " + q.size() + " " + q.getProperty("a") + q.getProperty("b") + q.getProperty("c"));

        String entry = "740001617400016278";
        hostile("as written", "3f400000000000087708" + "0000000b00000001" + entry);
        hostile("negative count", "3f40000000000008770800000000b" + "ffffffff" + entry);
        hostile("count beyond the entries", "3f400000000000087708" + "0000000b00000002" + entry);
        hostile("count of two thousand million", "3f400000000000087708" + "0000000b77359400" + entry);
        hostile("no capacity nor count", "3f40000000000008" + "78");
        hostile("zero load factor", "00000000000000087708" + "0000000b00000001" + entry);
        hostile("load factor not a number", "7fc00000000000087708" + "0000000b00000001" + entry);
        hostile("negative load factor", "bf400000000000087708" + "0000000b00000001" + entry);
        hostile("capacity zero", "3f400000000000087708" + "0000000000000001" + entry);
        hostile("negative capacity", "3f400000000000087708" + "8000000000000001" + entry);
        hostile("capacity of two thousand million", "3f400000000000087708" + "7fffffff00000001" + entry);
        hostile("threshold zero", "3f400000000000007708" + "0000000b00000001" + entry);
        // A null key is refused; which exception says so is the reader's own.
        hostile("null key", "3f400000000000087708" + "0000000b00000001" + "70740001627" + "8", false);
        hostile("null value", "3f400000000000087708" + "0000000b00000001" + "7400016170" + "78");
        hostile("the same key twice", "3f400000000000087708" + "0000000b00000002" + "740001617400016274000161740001637" + "8");
    }
}
