package java.io;

/** Reads chars from an array. The array is used as it is, not copied. */
public class CharArrayReader extends Reader {
    protected char[] buf;
    protected int pos;
    protected int markedPos;
    protected int count;

    public CharArrayReader(char[] buf) {
        this.buf = buf;
        this.pos = 0;
        this.count = buf.length;
    }

    public CharArrayReader(char[] buf, int offset, int length) {
        if (offset < 0 || offset > buf.length || length < 0) {
            throw new IllegalArgumentException();
        }
        this.buf = buf;
        this.pos = offset;
        this.count = length > buf.length - offset ? buf.length : offset + length;
        this.markedPos = offset;
    }

    private void ensureOpen() throws IOException {
        if (buf == null) {
            throw new IOException("Stream closed");
        }
    }

    // Each method reads the position once and stores it once: the machine's monitors take no
    // lock, and two threads reading at once may both get the same chars, but never an index
    // past the end.
    public int read() throws IOException {
        synchronized (lock) {
            char[] b = open();
            int p = pos;
            if (p < 0 || p >= count) {
                return -1;
            }
            pos = p + 1;
            return b[p];
        }
    }

    private char[] open() throws IOException {
        char[] b = buf;
        if (b == null) {
            throw new IOException("Stream closed");
        }
        return b;
    }

    public int read(char[] b, int off, int len) throws IOException {
        synchronized (lock) {
            char[] from = open();
            if (off < 0 || len < 0 || len > b.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            int p = pos;
            if (p < 0 || p >= count) {
                return -1;
            }
            int n = count - p;
            if (n > len) {
                n = len;
            }
            System.arraycopy(from, p, b, off, n);
            pos = p + n;
            return n;
        }
    }

    public long skip(long n) throws IOException {
        synchronized (lock) {
            ensureOpen();
            int p = pos;
            long avail = count - p;
            if (n > avail) {
                n = avail;
            }
            if (n < 0) {
                return 0;
            }
            pos = p + (int) n;
            return n;
        }
    }

    public boolean ready() throws IOException {
        synchronized (lock) {
            ensureOpen();
            return count - pos > 0;
        }
    }

    public boolean markSupported() {
        return true;
    }

    public void mark(int readAheadLimit) throws IOException {
        synchronized (lock) {
            ensureOpen();
            markedPos = pos;
        }
    }

    public void reset() throws IOException {
        synchronized (lock) {
            ensureOpen();
            pos = markedPos;
        }
    }

    public void close() {
        buf = null;
    }
}
