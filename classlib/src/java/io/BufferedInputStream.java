package java.io;

/**
 * Adds a buffer to an input stream, and with it mark and reset.
 *
 * The machine's monitors take no lock, and System.in is one of these: each method reads the
 * buffer, the positions and the stream once into locals, clamps the positions to that buffer,
 * and stores a new buffer before the positions that go with it. Threads reading at once may
 * get the same bytes or lose some, but never an index past the buffer, nor a failure inside
 * the library when another thread closes the stream.
 */
public class BufferedInputStream extends FilterInputStream {
    private static final int DEFAULT_SIZE = 2048;

    /** The buffer; valid bytes are buf[0 .. count-1]. */
    protected byte[] buf;

    /** Number of valid bytes in buf. */
    protected int count;

    /** Index of the next byte to hand out. */
    protected int pos;

    /** Index of the mark, or -1 when no mark is set or it was dropped. */
    protected int markpos = -1;

    /** How far past the mark reading may go before the mark is dropped. */
    protected int marklimit;

    public BufferedInputStream(InputStream in) {
        this(in, DEFAULT_SIZE);
    }

    public BufferedInputStream(InputStream in, int size) {
        super(in);
        if (size <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        buf = new byte[size];
    }

    private byte[] buffer() throws IOException {
        byte[] b = buf;
        if (b == null) {
            throw new IOException("Stream closed");
        }
        return b;
    }

    private InputStream input() throws IOException {
        InputStream from = in;
        if (from == null) {
            throw new IOException("Stream closed");
        }
        return from;
    }

    private static int clamp(int i, byte[] b) {
        return i < 0 ? 0 : i < b.length ? i : b.length;
    }

    /**
     * Reads more bytes into the buffer, keeping the marked part when a mark is set and still
     * within its limit. Returns the buffer it read into; pos and count then describe it.
     */
    private byte[] fill() throws IOException {
        InputStream from = input();
        byte[] b = buffer();
        int p = clamp(pos, b);
        int m = markpos;
        // Read once: a mark() racing with this may change it between the test and the size.
        int limit = marklimit;
        if (m < 0 || m > p) {
            m = -1;
            p = 0;
        } else if (p >= b.length) {
            if (m > 0) {
                int keep = p - m;
                System.arraycopy(b, m, b, 0, keep);
                p = keep;
                m = 0;
            } else if (b.length >= limit) {
                m = -1;
                p = 0;
            } else {
                int size = b.length * 2;
                if (size > limit || size < 0) {
                    size = limit;
                }
                byte[] bigger = new byte[size];
                System.arraycopy(b, 0, bigger, 0, p);
                b = bigger;
            }
        }
        buf = b;
        markpos = m;
        pos = p;
        count = p;
        int n = from.read(b, p, b.length - p);
        if (n > 0) {
            count = p + (n < b.length - p ? n : b.length - p);
        }
        return b;
    }

    public synchronized int read() throws IOException {
        byte[] b = buffer();
        int p = clamp(pos, b);
        if (p >= clamp(count, b)) {
            b = fill();
            p = clamp(pos, b);
            if (p >= clamp(count, b)) {
                return -1;
            }
        }
        pos = p + 1;
        return b[p] & 0xFF;
    }

    /** One read of at most len bytes, from the buffer or, when it is large, directly. */
    private int readOnce(byte[] to, int off, int len) throws IOException {
        byte[] b = buffer();
        int p = clamp(pos, b);
        int avail = clamp(count, b) - p;
        if (avail <= 0) {
            if (len >= b.length && markpos < 0) {
                return input().read(to, off, len);
            }
            b = fill();
            p = clamp(pos, b);
            avail = clamp(count, b) - p;
            if (avail <= 0) {
                return -1;
            }
        }
        int n = avail < len ? avail : len;
        System.arraycopy(b, p, to, off, n);
        pos = p + n;
        return n;
    }

    /**
     * Reads up to len bytes, going on while the underlying stream has bytes
     * available without blocking.
     */
    public synchronized int read(byte[] b, int off, int len) throws IOException {
        buffer();
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        int total = readOnce(b, off, len);
        if (total <= 0) {
            return total;
        }
        while (total < len && moreAvailable()) {
            int n = readOnce(b, off + total, len - total);
            if (n <= 0) {
                break;
            }
            total += n;
        }
        return total;
    }

    /**
     * Whether the underlying stream has bytes ready. A stream that cannot
     * tell, or is closed meanwhile, counts as having none: the bytes already
     * read must not be lost to an exception.
     */
    private boolean moreAvailable() {
        InputStream from = in;
        try {
            return from != null && from.available() > 0;
        } catch (IOException e) {
            return false;
        }
    }

    public synchronized long skip(long n) throws IOException {
        byte[] b = buffer();
        if (n <= 0) {
            return 0;
        }
        int p = clamp(pos, b);
        long avail = clamp(count, b) - p;
        if (avail <= 0) {
            if (markpos < 0) {
                return input().skip(n);
            }
            b = fill();
            p = clamp(pos, b);
            avail = clamp(count, b) - p;
            if (avail <= 0) {
                return 0;
            }
        }
        long skipped = avail < n ? avail : n;
        pos = p + (int) skipped;
        return skipped;
    }

    public synchronized int available() throws IOException {
        byte[] b = buffer();
        int buffered = clamp(count, b) - clamp(pos, b);
        return (buffered > 0 ? buffered : 0) + input().available();
    }

    public synchronized void mark(int readlimit) {
        marklimit = readlimit;
        markpos = pos;
    }

    public synchronized void reset() throws IOException {
        buffer();
        int m = markpos;
        if (m < 0) {
            throw new IOException("Resetting to invalid mark");
        }
        pos = m;
    }

    public boolean markSupported() {
        return true;
    }

    public void close() throws IOException {
        InputStream old = in;
        if (old == null) {
            return;
        }
        in = null;
        buf = null;
        old.close();
    }
}
