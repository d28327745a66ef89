package java.io;

/** An input stream that can take bytes back, to be read again. */
public class PushbackInputStream extends FilterInputStream {
    /** The pushed-back bytes are buf[pos .. buf.length-1]. */
    protected byte[] buf;

    /** Where the next read from the push-back buffer starts. */
    protected int pos;

    public PushbackInputStream(InputStream in, int size) {
        super(in);
        if (size <= 0) {
            throw new IllegalArgumentException("size <= 0");
        }
        buf = new byte[size];
        pos = size;
    }

    public PushbackInputStream(InputStream in) {
        this(in, 1);
    }

    // The machine's monitors take no lock: each method reads the buffer, the position and the
    // stream once, clamps the position to that buffer, and stores it once, so that threads
    // racing on one stream (or a close) may get the same bytes or lose some, but never an
    // index past the buffer.
    private byte[] buffer() throws IOException {
        byte[] b = buf;
        if (b == null || in == null) {
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

    public int read() throws IOException {
        byte[] b = buffer();
        int p = clamp(pos, b);
        if (p < b.length) {
            pos = p + 1;
            return b[p] & 0xFF;
        }
        return input().read();
    }

    public int read(byte[] to, int off, int len) throws IOException {
        byte[] b = buffer();
        if (off < 0 || len < 0 || len > to.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        int p = clamp(pos, b);
        int avail = b.length - p;
        int n = 0;
        if (avail > 0) {
            n = avail < len ? avail : len;
            System.arraycopy(b, p, to, off, n);
            pos = p + n;
            off += n;
            len -= n;
        }
        if (len > 0) {
            int k = input().read(to, off, len);
            if (k == -1) {
                return n == 0 ? -1 : n;
            }
            n += k;
        }
        return n;
    }

    /** Pushes back one byte; IOException when the buffer is full. */
    public void unread(int x) throws IOException {
        byte[] b = buffer();
        int p = clamp(pos, b);
        if (p == 0) {
            throw new IOException("Push back buffer is full");
        }
        b[--p] = (byte) x;
        pos = p;
    }

    /** Pushes back b[off .. off+len-1], so that b[off] is read first. */
    public void unread(byte[] from, int off, int len) throws IOException {
        byte[] b = buffer();
        int p = clamp(pos, b);
        if (len > p) {
            throw new IOException("Push back buffer is full");
        }
        System.arraycopy(from, off, b, p - len, len);
        pos = p - len;
    }

    public void unread(byte[] b) throws IOException {
        unread(b, 0, b.length);
    }

    public int available() throws IOException {
        byte[] b = buffer();
        return (b.length - clamp(pos, b)) + input().available();
    }

    public long skip(long n) throws IOException {
        byte[] b = buffer();
        if (n <= 0) {
            return 0;
        }
        int p = clamp(pos, b);
        long done = b.length - p;
        if (done > 0) {
            if (n < done) {
                done = n;
            }
            pos = p + (int) done;
            n -= done;
        }
        if (n > 0) {
            done += input().skip(n);
        }
        return done;
    }

    public boolean markSupported() {
        return false;
    }

    /** Does nothing: the pushed-back bytes cannot be marked. */
    public synchronized void mark(int readlimit) {
    }

    public synchronized void reset() throws IOException {
        throw new IOException("mark/reset not supported");
    }

    public synchronized void close() throws IOException {
        InputStream old = in;
        if (old == null) {
            return;
        }
        in = null;
        buf = null;
        old.close();
    }
}
