package java.io;

/** The base of every byte input stream. */
public abstract class InputStream {
    /** Largest amount skip() reads at a time into its scratch buffer. */
    private static final int SKIP_CHUNK = 2048;

    public InputStream() {
    }

    /**
     * Reads one byte, 0 to 255, or returns -1 at the end of the stream.
     * Blocks until input is available.
     */
    public abstract int read() throws IOException;

    public int read(byte[] b) throws IOException {
        return read(b, 0, b.length);
    }

    /**
     * Reads up to len bytes into b from off on. Returns the count read, or -1
     * when the stream ended before the first byte. This version reads byte by
     * byte; subclasses with a faster path override it.
     */
    public int read(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        int c = read();
        if (c == -1) {
            return -1;
        }
        b[off] = (byte) c;
        int i = 1;
        try {
            while (i < len) {
                c = read();
                if (c == -1) {
                    break;
                }
                b[off + i] = (byte) c;
                i++;
            }
        } catch (IOException e) {
            // The first byte was delivered; report what we have.
        }
        return i;
    }

    /** Skips up to n bytes by reading them; returns how many were skipped. */
    public long skip(long n) throws IOException {
        if (n <= 0) {
            return 0;
        }
        int size = n < SKIP_CHUNK ? (int) n : SKIP_CHUNK;
        byte[] scratch = new byte[size];
        long remaining = n;
        while (remaining > 0) {
            int want = remaining < size ? (int) remaining : size;
            int got = read(scratch, 0, want);
            if (got < 0) {
                break;
            }
            remaining -= got;
        }
        return n - remaining;
    }

    /** Number of bytes that can be read without blocking. */
    public int available() throws IOException {
        return 0;
    }

    public void close() throws IOException {
    }

    public synchronized void mark(int readlimit) {
    }

    public synchronized void reset() throws IOException {
        throw new IOException("mark/reset not supported");
    }

    public boolean markSupported() {
        return false;
    }
}
