package java.util.zip;

/*
 * The newer generation's Deflater shape (see Inflater here): the library's fields in its
 * order, the handle rows, and deflateBytes over strm. check() answers 0 or the number of the
 * first check that failed.
 */
public class Deflater {
    private int strm;
    private byte[] buf = new byte[0];
    private int off;
    private int len;
    private int level;
    private int strategy;
    private boolean setParams;
    private boolean finish;
    private boolean finished;

    static native void initIDs();

    static native long init(int level, int strategy, boolean nowrap);

    static native void end(long strm);

    static native void reset(long strm);

    static native int getTotalIn(long strm);

    static native int getTotalOut(long strm);

    static native int getAdler(long strm);

    static native void setDictionary(long strm, byte[] b, int off, int len);

    native int deflateBytes(byte[] b, int off, int len);

    /* data deflated whole into out (zlib wrapper); the bytes written. */
    static int pack(byte[] data, byte[] out) {
        Deflater d = new Deflater();
        long h = init(6, 0, false);
        d.strm = (int) h;
        d.buf = data;
        d.len = data.length;
        d.finish = true;
        int n = 0;
        while (!d.finished && n < out.length) {
            n += d.deflateBytes(out, n, out.length - n);
        }
        end(h);
        return n;
    }

    public static int check() {
        initIDs();
        byte[] data = Inflater.data();
        long h = init(9, 0, false);
        if (h == 0) {
            return 1;
        }
        Deflater d = new Deflater();
        d.strm = (int) h;
        d.buf = data;
        d.len = data.length;
        d.finish = true;
        byte[] out = new byte[4000];
        int n = 0;
        while (!d.finished && n < out.length) {
            n += d.deflateBytes(out, n, out.length - n);
        }
        if (!d.finished || getTotalIn(h) != data.length || getTotalOut(h) != n) {
            return 2;
        }
        try {
            getAdler(h);
            return 3;
        } catch (InternalError e) {
            if (!"nyi: java_util_zip_Deflater_getAdler".equals(e.getMessage())) {
                return 4;
            }
        }
        try {
            setDictionary(h, new byte[4], 0, 4);
            return 5;
        } catch (InternalError e) {
            if (!"nyi: java_util_zip_Deflater_setDictionary".equals(e.getMessage())) {
                return 6;
            }
        }
        reset(h);
        if (getTotalIn(h) != 0 || getTotalOut(h) != 0) {
            return 7;
        }
        end(h);
        long[] gone = {h, 0x41414140L, h + 4};
        for (int i = 0; i < gone.length; i++) {
            if (getTotalIn(gone[i]) != 0 || getTotalOut(gone[i]) != 0) {
                return 8;
            }
            end(gone[i]);
            try {
                reset(gone[i]);
                return 9;
            } catch (NullPointerException e) {
            }
        }
        try {
            d.deflateBytes(out, 0, out.length);
            return 10;
        } catch (NullPointerException e) {
            if (!"Deflater has been closed".equals(e.getMessage())) {
                return 11;
            }
        }
        return 0;
    }
}
