package java.io;

/**
 * Adds a buffer to an input stream, and with it mark and reset.
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

    private void ensureOpen() throws IOException {
        if (buf == null) {
            throw new IOException("Stream closed");
        }
    }

    /**
     * Reads more bytes into the buffer, keeping the marked part when a mark is
     * set and still within its limit.
     */
    private void fill() throws IOException {
        if (markpos < 0) {
            pos = 0;
        } else if (pos >= buf.length) {
            if (markpos > 0) {
                int keep = pos - markpos;
                System.arraycopy(buf, markpos, buf, 0, keep);
                pos = keep;
                markpos = 0;
            } else if (buf.length >= marklimit) {
                markpos = -1;
                pos = 0;
            } else {
                int size = buf.length * 2;
                if (size > marklimit) {
                    size = marklimit;
                }
                byte[] bigger = new byte[size];
                System.arraycopy(buf, 0, bigger, 0, pos);
                buf = bigger;
            }
        }
        count = pos;
        int n = in.read(buf, pos, buf.length - pos);
        if (n > 0) {
            count = pos + n;
        }
    }

    public synchronized int read() throws IOException {
        ensureOpen();
        if (pos >= count) {
            fill();
            if (pos >= count) {
                return -1;
            }
        }
        return buf[pos++] & 0xFF;
    }

    /** One read of at most len bytes, from the buffer or, when it is large, directly. */
    private int readOnce(byte[] b, int off, int len) throws IOException {
        int avail = count - pos;
        if (avail <= 0) {
            if (len >= buf.length && markpos < 0) {
                return in.read(b, off, len);
            }
            fill();
            avail = count - pos;
            if (avail <= 0) {
                return -1;
            }
        }
        int n = avail < len ? avail : len;
        System.arraycopy(buf, pos, b, off, n);
        pos += n;
        return n;
    }

    /**
     * Reads up to len bytes, going on while the underlying stream has bytes
     * available without blocking.
     */
    public synchronized int read(byte[] b, int off, int len) throws IOException {
        ensureOpen();
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
     * tell counts as having none: the bytes already read must not be lost to
     * an exception.
     */
    private boolean moreAvailable() {
        try {
            return in.available() > 0;
        } catch (IOException e) {
            return false;
        }
    }

    public synchronized long skip(long n) throws IOException {
        ensureOpen();
        if (n <= 0) {
            return 0;
        }
        long avail = count - pos;
        if (avail <= 0) {
            if (markpos < 0) {
                return in.skip(n);
            }
            fill();
            avail = count - pos;
            if (avail <= 0) {
                return 0;
            }
        }
        long skipped = avail < n ? avail : n;
        pos += (int) skipped;
        return skipped;
    }

    public synchronized int available() throws IOException {
        ensureOpen();
        return (count - pos) + in.available();
    }

    public synchronized void mark(int readlimit) {
        marklimit = readlimit;
        markpos = pos;
    }

    public synchronized void reset() throws IOException {
        ensureOpen();
        if (markpos < 0) {
            throw new IOException("Resetting to invalid mark");
        }
        pos = markpos;
    }

    public boolean markSupported() {
        return true;
    }

    public void close() throws IOException {
        if (in == null) {
            return;
        }
        InputStream old = in;
        in = null;
        buf = null;
        old.close();
    }
}
