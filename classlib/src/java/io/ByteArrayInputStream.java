package java.io;

/** Reads bytes from an array. The array is used as it is, not copied. */
public class ByteArrayInputStream extends InputStream {
    protected byte[] buf;

    /** Index of the next byte to read. */
    protected int pos;

    /** Index one past the last byte that may be read. */
    protected int count;

    /** Position that reset returns to. */
    protected int mark;

    public ByteArrayInputStream(byte[] buf) {
        this.buf = buf;
        this.pos = 0;
        this.count = buf.length;
    }

    /**
     * Reads buf[offset .. offset+length-1], or less when the array is shorter.
     */
    public ByteArrayInputStream(byte[] buf, int offset, int length) {
        this.buf = buf;
        this.pos = offset;
        if (length < 0) {
            this.count = offset;
        } else if (length > buf.length - offset) {
            this.count = buf.length;
        } else {
            this.count = offset + length;
        }
        this.mark = offset;
    }

    // Each method reads the position once and stores it once: the machine's monitors take no
    // lock, and two threads reading at once may both get the same bytes, but never an index
    // past the end.
    public synchronized int read() {
        int p = pos;
        if (p >= 0 && p < count) {
            pos = p + 1;
            return buf[p] & 0xFF;
        }
        return -1;
    }

    public synchronized int read(byte[] b, int off, int len) {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        int p = pos;
        if (p >= count) {
            return -1;
        }
        int avail = count - p;
        if (len > avail) {
            len = avail;
        }
        if (len <= 0) {
            return 0;
        }
        System.arraycopy(buf, p, b, off, len);
        pos = p + len;
        return len;
    }

    public synchronized long skip(long n) {
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

    public synchronized int available() {
        int p = pos;
        return count > p ? count - p : 0;
    }

    public boolean markSupported() {
        return true;
    }

    public void mark(int readAheadLimit) {
        mark = pos;
    }

    public synchronized void reset() {
        pos = mark;
    }
}
