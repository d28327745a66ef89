package vf;

import java.util.Hashtable;
import java.util.Vector;

/* What the type walk joins and checks, as compilers write it: class types joined at
   merges, null, arrays of classes and of primitives, interfaces, exceptions of several
   classes, inner and anonymous classes, constructors calling this(...) and super(...)
   with computed arguments, new in conditional expressions, clone of arrays and
   multi-dimensional arrays. */
public class Types {
    interface Shape { int area(); }
    static class Square implements Shape {
        int side;
        Square(int side) { this.side = side; }
        public int area() { return side * side; }
    }
    static class Rect extends Square {
        int other;
        Rect(int a, int b) { super(a); other = b; }
        Rect(int a) { this(a, a > 0 ? a : -a); }
        public int area() { return side * other; }
    }
    static class Circle implements Shape, Cloneable {
        public int area() { return 3; }
    }

    class Inner {
        int value() { return field; }
    }
    int field = 4;

    static Shape pick(int k) {
        Shape s;
        if (k == 0) s = new Square(2);
        else if (k == 1) s = new Rect(3, 4);
        else if (k == 2) s = new Circle();
        else s = null;
        return s;
    }

    static Square joinClasses(boolean b) {
        Square s = b ? new Rect(1) : new Square(5);
        return s;
    }

    static Object joinArrays(int k) {
        Object[] a;
        if (k == 0) a = new String[1];
        else if (k == 1) a = new Integer[2];
        else a = new Object[3][];
        return a;
    }

    static int[] primitiveArrays(int n) {
        int[] x = new int[n];
        int[] y = (int[]) x.clone();
        long[][] l = new long[n][n + 1];
        byte[] b = new byte[2];
        boolean[] z = new boolean[2];
        char[] c = { 'a', 'b' };
        short[] s = new short[1];
        float[] f = new float[1];
        double[] d = new double[1];
        b[0] = (byte) c[1];
        z[1] = b[0] > 0;
        s[0] = (short) (f[0] + d[0]);
        y[0] = (int) l[0][0];
        return z[1] ? y : x;
    }

    static String[][] multi(int n) {
        String[][] m = new String[n][];
        for (int i = 0; i < n; i++) m[i] = new String[i];
        Object o = m;
        Object[] p = m;
        return (String[][]) (p.length > 0 ? o : p);
    }

    static String exceptions(Object o) {
        try {
            if (o == null) throw new NullPointerException();
            if (o instanceof String) throw new IllegalArgumentException((String) o);
            return o.toString();
        } catch (NullPointerException e) {
            return "npe";
        } catch (IllegalArgumentException e) {
            return e.getMessage();
        } catch (RuntimeException e) {
            throw e;
        } catch (Error e) {
            return "error";
        }
    }

    static Throwable chooseThrowable(int k) {
        Throwable t = k > 0 ? (Throwable) new Error("e") : (Throwable) new RuntimeException("r");
        return t;
    }

    int anonymous(final int k) {
        Shape s = new Shape() {
            public int area() { return k + field; }
        };
        Inner i = new Inner();
        return s.area() + i.value();
    }

    static Vector collect(Hashtable h, String key) {
        Vector v = new Vector();
        Object value = h.get(key);
        v.addElement(value != null ? value : (Object) new StringBuffer(key));
        return v;
    }

    static String concat(int a, long b, char c, Object o, boolean z) {
        return "a" + a + b + c + o + z + 1.5f + 2.5;
    }

    static Object conditionalNew(boolean b, int n) {
        return new Rect(b ? n : -n, b ? new Square(n).area() : 0);
    }

    static int loopWithObjects(int n) {
        Object last = null;
        StringBuffer b = null;
        for (int i = 0; i < n; i++) {
            b = new StringBuffer();
            b.append(i);
            last = b;
        }
        return last == null ? 0 : last.hashCode() & 1;
    }
}
