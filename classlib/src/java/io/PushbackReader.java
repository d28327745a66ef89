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

    private void ensureOpen() throws IOException {
        if (buf == null) {
            throw new IOException("Stream closed");
        }
    }

    public int read() throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (pos < buf.length) {
                return buf[pos++];
            }
            return super.read();
        }
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            int n = 0;
            int avail = buf.length - pos;
            if (avail > 0) {
                n = avail < len ? avail : len;
                System.arraycopy(buf, pos, cbuf, off, n);
                pos += n;
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
            ensureOpen();
            if (pos == 0) {
                throw new IOException("Pushback buffer overflow");
            }
            buf[--pos] = (char) c;
        }
    }

    /** Pushes back cbuf[off .. off+len-1], so that cbuf[off] is read first. */
    public void unread(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (len > pos) {
                throw new IOException("Pushback buffer overflow");
            }
            pos -= len;
            System.arraycopy(cbuf, off, buf, pos, len);
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
            ensureOpen();
            long done = buf.length - pos;
            if (done > 0) {
                if (n < done) {
                    done = n;
                }
                pos += (int) done;
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
            ensureOpen();
            return pos < buf.length || super.ready();
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
