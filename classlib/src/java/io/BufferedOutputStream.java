package java.io;

/**
 * Adds a buffer to an output stream, so that small writes become large ones.
 *
 * The machine's monitors take no lock: each method reads the count once and clamps it to the
 * buffer, so that writers racing each other may lose or mix bytes but never fail inside the
 * copy.
 */
public class BufferedOutputStream extends FilterOutputStream {
    private static final int DEFAULT_SIZE = 512;

    /** The buffer; bytes buf[0 .. count-1] are waiting to be written. */
    protected byte[] buf;

    /** Number of bytes waiting in buf. */
    protected int count;

    public BufferedOutputStream(OutputStream out) {
        this(out, DEFAULT_SIZE);
    }

    public BufferedOutputStream(OutputStream out, int size) {
        super(out);
        if (size <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        buf = new byte[size];
    }

    // The bytes waiting in b: the count, clamped to the buffer.
    private static int used(byte[] b, int n) {
        return n < 0 ? 0 : n < b.length ? n : b.length;
    }

    private void flushBuffer(byte[] b) throws IOException {
        int n = used(b, count);
        count = 0;
        if (n > 0) {
            out.write(b, 0, n);
        }
    }

    public synchronized void write(int x) throws IOException {
        byte[] b = buf;
        int n = used(b, count);
        if (n >= b.length) {
            flushBuffer(b);
            n = 0;
        }
        b[n] = (byte) x;
        count = n + 1;
    }

    /** Large writes bypass the buffer after flushing it. */
    public synchronized void write(byte[] src, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > src.length - off) {
            throw new IndexOutOfBoundsException();
        }
        byte[] b = buf;
        if (len >= b.length) {
            flushBuffer(b);
            out.write(src, off, len);
            return;
        }
        int n = used(b, count);
        if (len > b.length - n) {
            flushBuffer(b);
            n = 0;
        }
        System.arraycopy(src, off, b, n, len);
        count = n + len;
    }

    public synchronized void flush() throws IOException {
        flushBuffer(buf);
        out.flush();
    }
}
