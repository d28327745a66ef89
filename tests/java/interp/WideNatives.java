package interp;

/* Natives with more argument words than a 32-bit mask describes: references beyond the
   32nd word, wide values, and a reference result. */
public class WideNatives {
    int base = 1000;

    /* 36 words: 32 ints, a String at word 32, a long, an Object at word 35. */
    static native int sum(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8, int a9,
                          int a10, int a11, int a12, int a13, int a14, int a15, int a16, int a17, int a18,
                          int a19, int a20, int a21, int a22, int a23, int a24, int a25, int a26, int a27,
                          int a28, int a29, int a30, int a31, String s, long l, Object o);

    /* 34 words with the receiver; answers one of its two references. */
    native Object pick(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8, int a9,
                       int a10, int a11, int a12, int a13, int a14, int a15, int a16, int a17, int a18,
                       int a19, int a20, int a21, int a22, int a23, int a24, int a25, int a26, int a27,
                       int a28, int a29, int a30, Object first, Object second, int which);

    public static int run(int k) {
        int r = sum(k, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                    25, 26, 27, 28, 29, 30, 31, "four", 0x100000000L + 5, new int[3]);
        WideNatives w = new WideNatives();
        Object p = w.pick(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                          24, 25, 26, 27, 28, 29, 30, "first", "second!", k & 1);
        return r * 100 + ((String) p).length();
    }
}
