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

    private void ensureOpen() throws IOException {
        if (in == null) {
            throw new IOException("Stream closed");
        }
    }

    public int read() throws IOException {
        ensureOpen();
        if (pos < buf.length) {
            return buf[pos++] & 0xFF;
        }
        return in.read();
    }

    public int read(byte[] b, int off, int len) throws IOException {
        ensureOpen();
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        int avail = buf.length - pos;
        int n = 0;
        if (avail > 0) {
            n = avail < len ? avail : len;
            System.arraycopy(buf, pos, b, off, n);
            pos += n;
            off += n;
            len -= n;
        }
        if (len > 0) {
            int k = in.read(b, off, len);
            if (k == -1) {
                return n == 0 ? -1 : n;
            }
            n += k;
        }
        return n;
    }

    /** Pushes back one byte; IOException when the buffer is full. */
    public void unread(int b) throws IOException {
        ensureOpen();
        if (pos == 0) {
            throw new IOException("Push back buffer is full");
        }
        buf[--pos] = (byte) b;
    }

    /** Pushes back b[off .. off+len-1], so that b[off] is read first. */
    public void unread(byte[] b, int off, int len) throws IOException {
        ensureOpen();
        if (len > pos) {
            throw new IOException("Push back buffer is full");
        }
        pos -= len;
        System.arraycopy(b, off, buf, pos, len);
    }

    public void unread(byte[] b) throws IOException {
        unread(b, 0, b.length);
    }

    public int available() throws IOException {
        ensureOpen();
        return (buf.length - pos) + in.available();
    }

    public long skip(long n) throws IOException {
        ensureOpen();
        if (n <= 0) {
            return 0;
        }
        long done = buf.length - pos;
        if (done > 0) {
            if (n < done) {
                done = n;
            }
            pos += (int) done;
            n -= done;
        }
        if (n > 0) {
            done += in.skip(n);
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
        if (in == null) {
            return;
        }
        InputStream old = in;
        in = null;
        buf = null;
        old.close();
    }
}
