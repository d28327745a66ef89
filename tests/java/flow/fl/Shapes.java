package fl;

/* Switches, wide locals, long and double words, locals reused with other kinds. */
public class Shapes {
    static int table(int k) {
        switch (k) {
            case -3: return 1;
            case -2: return 2;
            case 0: return 3;
            case 1: return 4;
            case 2: return 5;
            default: return 0;
        }
    }

    static int lookup(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1;
            case -100000: return 2;
            case 7: return 3;
            case Integer.MAX_VALUE: return 4;
            default: return 0;
        }
    }

    static Object reuse(boolean b) {
        Object r;
        if (b) {
            String s = "x";
            r = s;
        } else {
            int i = 4;
            r = new Integer(i);
        }
        {
            long l = 5L;
            double d = l * 2.0;
            r = String.valueOf(d) + r;
        }
        return r;
    }

    static long wide(long a, double b, Object c) {
        long l0 = a, l1 = a + 1, l2 = a + 2, l3 = a + 3, l4 = a + 4, l5 = a + 5, l6 = a + 6;
        long l7 = a, l8 = a, l9 = a, l10 = a, l11 = a, l12 = a, l13 = a, l14 = a, l15 = a;
        long m0 = a, m1 = a, m2 = a, m3 = a, m4 = a, m5 = a, m6 = a, m7 = a, m8 = a, m9 = a;
        long n0 = a, n1 = a, n2 = a, n3 = a, n4 = a, n5 = a, n6 = a, n7 = a, n8 = a, n9 = a;
        long o0 = a, o1 = a, o2 = a, o3 = a, o4 = a, o5 = a, o6 = a, o7 = a, o8 = a, o9 = a;
        long p0 = a, p1 = a, p2 = a, p3 = a, p4 = a, p5 = a, p6 = a, p7 = a, p8 = a, p9 = a;
        long q0 = a, q1 = a, q2 = a, q3 = a, q4 = a, q5 = a, q6 = a, q7 = a, q8 = a, q9 = a;
        long r0 = a, r1 = a, r2 = a, r3 = a, r4 = a, r5 = a, r6 = a, r7 = a, r8 = a, r9 = a;
        long s0 = a, s1 = a, s2 = a, s3 = a, s4 = a, s5 = a, s6 = a, s7 = a, s8 = a, s9 = a;
        long t0 = a, t1 = a, t2 = a, t3 = a, t4 = a, t5 = a, t6 = a, t7 = a, t8 = a, t9 = a;
        long u0 = a, u1 = a, u2 = a, u3 = a, u4 = a, u5 = a, u6 = a, u7 = a, u8 = a, u9 = a;
        long v0 = a, v1 = a, v2 = a, v3 = a, v4 = a, v5 = a, v6 = a, v7 = a, v8 = a, v9 = a;
        long w0 = a, w1 = a, w2 = a, w3 = a, w4 = a, w5 = a, w6 = a, w7 = a, w8 = a, w9 = a;
        Object far = c;
        int k = 0;
        for (int i = 0; i < 3; i++) k += i;
        try {
            far = far.toString();
        } finally {
            k++;
        }
        return l0 + l15 + w9 + k + (far == null ? 0 : 1) + (long) b;
    }

    static int manyArgs(Object a0, int a1, long a2, Object a3, Object a4, Object a5, Object a6,
                        Object a7, Object a8, Object a9, Object a10, Object a11, Object a12,
                        Object a13, Object a14, Object a15, Object a16, Object a17, Object a18,
                        Object a19, Object a20, Object a21, Object a22, Object a23, Object a24,
                        Object a25, Object a26, Object a27, Object a28, Object a29, Object a30,
                        Object a31, Object a32, Object a33) {
        Object last = a33;
        try {
            return last.hashCode() + a32.hashCode() + a0.hashCode() + a1;
        } finally {
            last = null;
        }
    }

    Object[] arrays(int n) {
        Object[][] grid = new Object[n][n];
        int[] ints = new int[n];
        long[] longs = new long[n];
        for (int i = 0; i < n; i++) {
            ints[i] = i;
            longs[i] = ints[i];
            grid[i][0] = this;
        }
        return grid[0];
    }
}
