package java.io;

/** A reader that can take chars back, to be read again. */
public class PushbackReader extends FilterReader {
    /** The pushed-back chars are buf[pos .. buf.length-1]. */
    private char[] buf;
    private int pos;

    public PushbackReader(Reader in, int size) {
        super(in);
        if (size <= 0) {
            throw new IllegalArgumentException("size <= 0");
        }
        buf = new char[size];
        pos = size;
    }

    public PushbackReader(Reader in) {
        this(in, 1);
    }

    // The machine's monitors take no lock: each method reads the buffer and the position
    // once, clamps the position to that buffer, and stores it once, so that threads racing on
    // one reader (or a close) may get the same chars or lose some, but never an index past the
    // buffer.
    private char[] buffer() throws IOException {
        char[] b = buf;
        if (b == null) {
            throw new IOException("Stream closed");
        }
        return b;
    }

    private static int clamp(int i, char[] b) {
        return i < 0 ? 0 : i < b.length ? i : b.length;
    }

    public int read() throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            int p = clamp(pos, b);
            if (p < b.length) {
                pos = p + 1;
                return b[p];
            }
            return super.read();
        }
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            int n = 0;
            int p = clamp(pos, b);
            int avail = b.length - p;
            if (avail > 0) {
                n = avail < len ? avail : len;
                System.arraycopy(b, p, cbuf, off, n);
                pos = p + n;
                off += n;
                len -= n;
            }
            if (len > 0) {
                int k = super.read(cbuf, off, len);
                if (k == -1) {
                    return n == 0 ? -1 : n;
                }
                n += k;
            }
            return n;
        }
    }

    /** Pushes back one char; IOException when the buffer is full. */
    public void unread(int c) throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            int p = clamp(pos, b);
            if (p == 0) {
                throw new IOException("Pushback buffer overflow");
            }
            b[--p] = (char) c;
            pos = p;
        }
    }

    /** Pushes back cbuf[off .. off+len-1], so that cbuf[off] is read first. */
    public void unread(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            int p = clamp(pos, b);
            if (len > p) {
                throw new IOException("Pushback buffer overflow");
            }
            System.arraycopy(cbuf, off, b, p - len, len);
            pos = p - len;
        }
    }

    public void unread(char[] cbuf) throws IOException {
        unread(cbuf, 0, cbuf.length);
    }

    /** Skips the pushed-back chars first, then chars of the reader. */
    public long skip(long n) throws IOException {
        if (n < 0L) {
            throw new IllegalArgumentException("skip value is negative");
        }
        synchronized (lock) {
            char[] b = buffer();
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
                done += super.skip(n);
            }
            return done;
        }
    }

    public boolean ready() throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            return clamp(pos, b) < b.length || super.ready();
        }
    }

    public boolean markSupported() {
        return false;
    }

    public void mark(int readAheadLimit) throws IOException {
        throw new IOException("mark/reset not supported");
    }

    public void reset() throws IOException {
        throw new IOException("mark/reset not supported");
    }

    public void close() throws IOException {
        synchronized (lock) {
            if (buf == null) {
                return;
            }
            buf = null;
            super.close();
        }
    }
}
