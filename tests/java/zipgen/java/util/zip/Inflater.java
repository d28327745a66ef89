package java.util.zip;

/*
 * The newer generation's Inflater shape: the stream is a handle the natives hand out, passed
 * back to each call. The fields are the library's own, in its order (the natives check the
 * layout), so that inflateBytes finds the stream in strm. check() calls every row and answers
 * 0, or the number of the first check that failed.
 */
public class Inflater {
    private int strm;
    private byte[] buf = new byte[0];
    private int off;
    private int len;
    private boolean finished;
    private boolean needsDictionary;

    static native void initIDs();

    static native long init(boolean nowrap);

    static native void end(long strm);

    static native void reset(long strm);

    static native int getTotalIn(long strm);

    static native int getTotalOut(long strm);

    static native int getAdler(long strm);

    static native void setDictionary(long strm, byte[] b, int off, int len);

    native int inflateBytes(byte[] b, int off, int len) throws DataFormatException;

    static byte[] data() {
        byte[] d = new byte[3000];
        for (int i = 0; i < d.length; i++) {
            d[i] = (byte) ("newer rows ".charAt(i % 11) + (i / 400));
        }
        return d;
    }

    /* The zlib stream of data(), made by Deflater's own rows. */
    static byte[] packed() {
        byte[] out = new byte[4000];
        int n = Deflater.pack(data(), out);
        byte[] p = new byte[n];
        System.arraycopy(out, 0, p, 0, n);
        return p;
    }

    public static int check() throws DataFormatException {
        initIDs();
        byte[] data = data();
        byte[] packed = packed();
        long h = init(false);
        if (h == 0) {
            return 1;
        }
        // A wrapped stream's check starts at 1 (the running check is not kept for Java).
        if (getTotalIn(h) != 0 || getTotalOut(h) != 0 || getAdler(h) != 1) {
            return 2;
        }
        Inflater inf = new Inflater();
        inf.strm = (int) h;
        inf.buf = packed;
        inf.len = packed.length;
        byte[] out = new byte[data.length + 10];
        int n = inf.inflateBytes(out, 0, out.length);
        if (n != data.length || !inf.finished) {
            return 3;
        }
        for (int i = 0; i < n; i++) {
            if (out[i] != data[i]) {
                return 4;
            }
        }
        if (getTotalIn(h) != packed.length || getTotalOut(h) != data.length) {
            return 5;
        }
        reset(h);
        if (getTotalIn(h) != 0 || getTotalOut(h) != 0) {
            return 7;
        }
        try {
            setDictionary(h, new byte[4], 0, 4);
            return 8;
        } catch (InternalError e) {
            if (!"nyi: java_util_zip_Inflater_setDictionary".equals(e.getMessage())) {
                return 9;
            }
        }
        end(h);
        // An ended handle, and one that was never made, name no stream: refused, never
        // followed, also once a new stream has taken the ended one's memory.
        long h2 = init(false);
        long[] gone = {h, 0x41414140L, h + 4, h2 + 1, h2 - 1};
        for (int i = 0; i < gone.length; i++) {
            if (getTotalIn(gone[i]) != 0 || getTotalOut(gone[i]) != 0 || getAdler(gone[i]) != 0) {
                return 10;
            }
            end(gone[i]);
            try {
                reset(gone[i]);
                return 11;
            } catch (NullPointerException e) {
            }
        }
        inf.buf = packed;
        inf.off = 0;
        inf.len = packed.length;
        try {
            inf.inflateBytes(out, 0, out.length);
            return 12;
        } catch (NullPointerException e) {
            if (!"Inflater has been closed".equals(e.getMessage())) {
                return 13;
            }
        }
        // The new stream is untouched by the calls on the gone handles.
        inf.strm = (int) h2;
        inf.finished = false;
        inf.buf = packed;
        inf.off = 0;
        inf.len = packed.length;
        n = inf.inflateBytes(out, 0, out.length);
        end(h2);
        if (n != data.length || !inf.finished) {
            return 15;
        }
        // A raw stream (nowrap) reads deflate data without the wrapper.
        long raw = init(true);
        inf.strm = (int) raw;
        inf.finished = false;
        inf.buf = packed;
        inf.off = 2;
        inf.len = packed.length - 6;
        n = inf.inflateBytes(out, 0, out.length);
        end(raw);
        return n == data.length ? 0 : 14;
    }
}
