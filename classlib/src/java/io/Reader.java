package java.io;

/** The base of every character input stream. */
public abstract class Reader {
    private static final int SKIP_CHUNK = 1024;

    /** The object whose monitor guards this reader: the reader itself unless given. */
    protected Object lock;

    protected Reader() {
        this.lock = this;
    }

    protected Reader(Object lock) {
        if (lock == null) {
            throw new NullPointerException();
        }
        this.lock = lock;
    }

    /** Reads one char, or returns -1 at the end of the stream. */
    public int read() throws IOException {
        char[] one = new char[1];
        if (read(one, 0, 1) == -1) {
            return -1;
        }
        return one[0];
    }

    public int read(char[] cbuf) throws IOException {
        return read(cbuf, 0, cbuf.length);
    }

    /**
     * Reads up to len chars; returns how many, or -1 when the stream ended
     * before the first.
     */
    public abstract int read(char[] cbuf, int off, int len) throws IOException;

    public long skip(long n) throws IOException {
        if (n < 0L) {
            throw new IllegalArgumentException("skip value is negative");
        }
        int size = n < SKIP_CHUNK ? (int) n : SKIP_CHUNK;
        char[] scratch = new char[size];
        long remaining = n;
        synchronized (lock) {
            while (remaining > 0) {
                int want = remaining < size ? (int) remaining : size;
                int got = read(scratch, 0, want);
                if (got == -1) {
                    break;
                }
                remaining -= got;
            }
        }
        return n - remaining;
    }

    /** Whether the next read is sure not to block. */
    public boolean ready() throws IOException {
        return false;
    }

    public boolean markSupported() {
        return false;
    }

    public void mark(int readAheadLimit) throws IOException {
        throw new IOException("mark() not supported");
    }

    public void reset() throws IOException {
        throw new IOException("reset() not supported");
    }

    public abstract void close() throws IOException;
}
