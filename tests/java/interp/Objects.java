package interp;

/* Objects, fields, statics, inheritance, interfaces, abstract methods, super calls, inner
   and anonymous classes, arrays of every kind. run() answers 0 or the failed check. */
public class Objects {
    interface Shape {
        int area();
        String name();
    }

    interface Scaled extends Shape {
        int scale(int k);
    }

    static abstract class Base implements Shape {
        protected int w, h;
        static int created;

        Base(int w, int h) {
            this.w = w;
            this.h = h;
            created++;
        }

        public abstract int area();

        public String name() { return "base"; }

        public int twice() { return 2 * area(); }
    }

    static class Rect extends Base implements Scaled {
        Rect(int w, int h) { super(w, h); }

        public int area() { return w * h; }

        public String name() { return "rect"; }

        public int scale(int k) { return area() * k * k; }
    }

    static class Square extends Rect {
        Square(int s) { super(s, s); }

        public String name() { return "square:" + super.name(); }

        public int area() { return super.area() + 0; }
    }

    class Inner {
        int get() { return value * 3; }
    }

    Inner inner() { return new Inner(); }

    int value;
    long wide;
    double real;
    Object ref;

    Objects(int v) { value = v; }

    static int failed;

    static void check(int n, boolean ok) {
        if (!ok && failed == 0) failed = n;
    }

    static int ZERO = 0;

    public static int run() {
        failed = 0;
        Base.created = 0;
        Shape s = new Rect(3, 4);
        check(1, s.area() == 12 && s.name() == "rect");
        Scaled sc = new Square(5);
        check(2, sc.area() == 25 && sc.scale(2) == 100);
        check(3, ((Base) sc).twice() == 50 && Base.created == 2);
        check(4, sc instanceof Rect && !(s instanceof Square) && s instanceof Shape);
        Objects o = new Objects(7);
        Objects.Inner inner = o.inner();
        check(5, inner.get() == 21);
        final int captured = 11 + ZERO;
        Shape anon = new Shape() {
            public int area() { return captured * 2; }
            public String name() { return "anon"; }
        };
        check(6, anon.area() == 22 && anon.name() == "anon");
        o.wide = 0x123456789ABCDEF0L;
        o.real = 2.5;
        o.ref = o;
        check(7, o.wide == 0x123456789ABCDEF0L && o.real * 2 == 5.0 && o.ref == o);
        // arrays of every kind
        boolean[] z = new boolean[3];
        byte[] b = new byte[3];
        char[] c = new char[3];
        short[] sh = new short[3];
        int[] i = new int[3];
        long[] l = new long[3];
        float[] f = new float[3];
        double[] d = new double[3];
        String[] str = new String[3];
        z[1] = true;
        b[1] = (byte) 200;
        c[1] = (char) 60000;
        sh[1] = (short) 40000;
        i[1] = -5;
        l[1] = -5L << 40;
        f[1] = 1.5f;
        d[1] = -2.25;
        str[1] = "x";
        check(10, z[1] && !z[0] && b[1] == -56 && c[1] == 60000 && sh[1] == -25536);
        check(11, i[1] == -5 && l[1] == (-5L << 40) && f[1] == 1.5f && d[1] == -2.25 && str[1] == "x");
        check(12, z.length == 3 && d.length == 3 && str[0] == null && l[2] == 0L);
        int[][] grid = new int[3][4];
        grid[2][3] = 9;
        check(13, grid.length == 3 && grid[0].length == 4 && grid[2][3] == 9);
        long[][][] cube = new long[2][3][];
        check(14, cube[1].length == 3 && cube[1][2] == null);
        Object[] objs = new String[2];
        objs[0] = "ok";
        objs[1] = null;
        boolean stored = false;
        try {
            objs[1] = new Object();
        } catch (ArrayStoreException e) {
            stored = true;
        }
        check(15, stored && objs[0] == "ok");
        Object[] any = new Object[1];
        any[0] = "s";
        check(16, any[0] == "s");
        int[] big = new int[1000];
        for (int k = 0; k < big.length; k++) big[k] = k * k;
        int sum = 0;
        for (int k = 0; k < big.length; k++) sum += big[k];
        check(17, sum == 332833500);
        char[] text = new char[500];
        for (int k = 0; k < text.length; k++) text[k] = (char) ('a' + k % 26);
        check(18, text[499] == 'f' && text[260] == 'a');
        Object clone = grid;
        check(19, clone instanceof int[][] && !(clone instanceof long[][]) && clone instanceof Object[]);
        String t = "abc";
        check(20, t.length() == 3 && t.charAt(1) == 'b');
        return failed;
    }

    /* Static fields of every width, for reading back from C++. */
    public static int si = 5;
    public static long sl = -1L;
    public static Object so;
    public static double sd = 0.5;

    public static int bump() {
        si++;
        sl += 2;
        sd *= 2;
        so = "set";
        return si;
    }

    /* The cases the differential test compares with the JDK. */
    public static int cases() { return 4; }

    public static int i(int n) {
        switch (n) {
            case 0: return run();
            case 1: return bump() * 100 + (int) sl;
            case 2: return new Square(3).scale(2) * 100 + new Rect(2, 5).twice();
            case 3: return new Objects(4).inner().get() + Base.created;
        }
        return -777;
    }

    public static double d(int n) { return n == 1 ? sd : (n == 3 ? new Square(n).area() / (double) Base.created : -1.0); }
}
