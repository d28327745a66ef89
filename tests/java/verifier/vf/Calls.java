package vf;

/* Calls with many argument words: a reference at word 33 (counting the receiver) and
   references on both sides of words 31 and 32. */
public class Calls {
    Object first;

    Object wide(Object a, long b0, long b1, long b2, long b3, long b4, long b5, long b6, long b7,
                long b8, long b9, long b10, long b11, long b12, long b13, long b14, long b15, Object z) {
        first = a;
        return z;
    }

    static Object wideStatic(Object a, long b0, long b1, long b2, long b3, long b4, long b5, long b6,
                             long b7, long b8, long b9, long b10, long b11, long b12, long b13,
                             long b14, long b15, Object z, String more, int[] arr) {
        return arr != null ? (Object) arr : (Object) (more != null ? more : z);
    }

    static Object around(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8,
                         int a9, int a10, int a11, int a12, int a13, int a14, int a15, int a16,
                         int a17, int a18, int a19, int a20, int a21, int a22, int a23, int a24,
                         int a25, int a26, int a27, int a28, int a29, int a30, Object w31,
                         Object w32, int a33, Object w34) {
        return a0 + a33 > 0 ? w31 : (w32 != null ? w32 : w34);
    }

    Object callAll() {
        Object o = wide(this, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, "z");
        Object p = wideStatic(o, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, o, "m", new int[2]);
        return around(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                      23, 24, 25, 26, 27, 28, 29, 30, p, o, 33, this);
    }
}
