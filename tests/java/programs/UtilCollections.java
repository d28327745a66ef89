/* Vector, Hashtable, Stack, BitSet, Properties and Random with a seed. Nothing here
   depends on a hash table's order. */
import java.util.BitSet;
import java.util.EmptyStackException;
import java.util.Enumeration;
import java.util.Hashtable;
import java.util.Properties;
import java.util.Random;
import java.util.Stack;
import java.util.Vector;

public class UtilCollections {
    public static void main(String[] args) {
        Vector v = new Vector();
        for (int i = 0; i < 5; i++) {
            v.addElement("e" + i);
        }
        v.insertElementAt("first", 0);
        v.removeElement("e2");
        v.removeElementAt(v.size() - 1);
        System.out.println(v + " " + v.size() + " " + v.indexOf("e3") + " " + v.contains("e2") + " " + v.firstElement() + " "
                + v.lastElement());
        StringBuffer sb = new StringBuffer();
        for (Enumeration en = v.elements(); en.hasMoreElements();) {
            sb.append(en.nextElement()).append(';');
        }
        System.out.println(sb);
        v.setElementAt("X", 1);
        Object[] arr = new Object[v.size()];
        v.copyInto(arr);
        System.out.println(arr[1] + " " + arr.length);
        try {
            v.elementAt(10);
        } catch (ArrayIndexOutOfBoundsException e) {
            System.out.println("ArrayIndexOutOfBoundsException");
        }

        Hashtable h = new Hashtable();
        for (int i = 0; i < 100; i++) {
            h.put("k" + i, new Integer(i * i));
        }
        h.remove("k50");
        Object old = h.put("k1", "one");
        System.out.println(h.size() + " " + h.get("k9") + " " + h.get("k50") + " " + old + " " + h.get("k1") + " "
                + h.containsKey("k99") + " " + h.contains(new Integer(81)));
        int total = 0;
        for (Enumeration e = h.keys(); e.hasMoreElements();) {
            String key = (String) e.nextElement();
            if (!key.equals("k1")) {
                total += ((Integer) h.get(key)).intValue();
            }
        }
        System.out.println("total " + total);

        Stack s = new Stack();
        s.push("a");
        s.push("b");
        s.push("c");
        System.out.println(s.peek() + " " + s.search("a") + " " + s.pop() + " " + s.pop() + " " + s.empty() + " " + s.pop() + " "
                + s.empty());
        try {
            s.pop();
        } catch (EmptyStackException e) {
            System.out.println("EmptyStackException");
        }

        BitSet bits = new BitSet();
        for (int i = 0; i < 100; i += 7) {
            bits.set(i);
        }
        BitSet other = new BitSet();
        other.set(7);
        other.set(8);
        other.set(200);
        BitSet and = (BitSet) bits.clone();
        and.and(other);
        BitSet or = (BitSet) bits.clone();
        or.or(other);
        BitSet xor = (BitSet) bits.clone();
        xor.xor(other);
        System.out.println(bits);
        System.out.println(and + " " + bits.get(14) + " " + bits.get(15));
        System.out.println(or);
        System.out.println(xor);
        bits.clear(0);
        System.out.println(bits.get(0) + " " + bits.equals(bits.clone()));

        Random r = new Random(42);
        System.out.println(r.nextInt() + " " + r.nextInt() + " " + r.nextLong() + " " + r.nextBoolean());
        Random r3 = new Random(-7L);
        StringBuffer rs = new StringBuffer();
        for (int i = 0; i < 8; i++) {
            rs.append(r3.nextInt(100)).append(' ');
        }
        System.out.println(rs);
        Random r4 = new Random(5);
        StringBuffer ps = new StringBuffer();
        for (int i = 0; i < 5; i++) {
            ps.append(r4.nextInt(16)).append(' ');
        }
        System.out.println(ps);
        byte[] bytes = new byte[6];
        new Random(1).nextBytes(bytes);
        StringBuffer bsb = new StringBuffer();
        for (int i = 0; i < bytes.length; i++) {
            bsb.append(bytes[i]).append(' ');
        }
        System.out.println(bsb);

        Properties p = new Properties();
        p.put("a", "1");
        Properties q = new Properties(p);
        q.put("b", "2");
        System.out.println(q.getProperty("a") + q.getProperty("b") + q.getProperty("c") + q.getProperty("c", "d"));
    }
}
