package fl;

/* Finally inside loops with break and continue, nested finally, switches, arrays of
   longs and doubles, synchronized: jsr shapes mixed with everything else. */
public class Mix {
    static Object o; static long L; static double D; static int[] arr = new int[4];
    static int f(int a, long b, double c, Object d) {
        int r = 0;
        try {
            for (int i = 0; i < a; i++) {
                try { r += (int) (b / (i + 1)); if (d == null) continue; }
                finally { L += r; if (r > 100) break; }
            }
        } catch (ArithmeticException e) { r = -1; }
        finally { try { o = d; } finally { D += c; } }
        switch (r) { case 1: r += 2; break; case 1000: r--; break; default: r ^= 5; }
        switch (a) { case -5: case 0: case 7: case 1 << 20: r = 0; }
        long[] la = new long[3]; la[1] = b; la[2] = la[1]++;
        double[][] dd = new double[2][3]; dd[1][2] += c * 2;
        synchronized (Mix.class) { r += arr[a & 3]++; }
        Object x = r > 0 ? (Object) "s" : new Object();
        return r + (x.hashCode() & 1) + (int) la[2] + (int) dd[1][2];
    }
    static String g(String s) {
        StringBuffer b = new StringBuffer();
        try { for (int i = 0; i < s.length(); i++) b.append(s.charAt(i)); return b.toString(); }
        finally { if (b.length() > 3) b.setLength(0); }
    }
    static int h(int n) {
        int k = 0;
        while (true) {
            try { if (n-- < 0) return k; k++; }
            finally { if (k == 7) { k = 0; continue; } }
        }
    }
}
