package java.io;

/**
 * Collects written bytes in an array that grows as needed.
 *
 * The machine's monitors take no lock: each method reads the array and the count once, clamps
 * the count to that array, and stores a new array before the count that goes with it, so that
 * writers racing each other may lose bytes but never fail inside the copy.
 */
public class ByteArrayOutputStream extends OutputStream {
    protected byte[] buf;
    /** Number of valid bytes in buf. */
    protected int count;

    public ByteArrayOutputStream() {
        this(32);
    }

    public ByteArrayOutputStream(int size) {
        if (size < 0) {
            throw new IllegalArgumentException("Negative initial size: " + size);
        }
        buf = new byte[size];
    }

    private static int used(byte[] b, int n) {
        return n < 0 ? 0 : n < b.length ? n : b.length;
    }

    // b itself when it holds needed bytes, else a larger copy of its first n.
    private static byte[] room(byte[] b, int n, int needed) {
        if (needed < 0) {
            throw new OutOfMemoryError();
        }
        if (needed <= b.length) {
            return b;
        }
        int size = b.length * 2;
        if (size < needed) {
            size = needed;
        }
        byte[] bigger = new byte[size];
        System.arraycopy(b, 0, bigger, 0, n);
        return bigger;
    }

    public synchronized void write(int c) {
        byte[] b = buf;
        int n = used(b, count);
        b = room(b, n, n + 1);
        b[n] = (byte) c;
        buf = b;
        count = n + 1;
    }

    public synchronized void write(byte[] src, int off, int len) {
        if (off < 0 || len < 0 || len > src.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return;
        }
        byte[] b = buf;
        int n = used(b, count);
        b = room(b, n, n + len);
        System.arraycopy(src, off, b, n, len);
        buf = b;
        count = n + len;
    }

    /** Writes everything collected so far to out. */
    public synchronized void writeTo(OutputStream out) throws IOException {
        byte[] b = buf;
        out.write(b, 0, used(b, count));
    }

    /** Forgets the contents; the buffer is kept for reuse. */
    public synchronized void reset() {
        count = 0;
    }

    /** A fresh copy of the contents. */
    public synchronized byte[] toByteArray() {
        byte[] b = buf;
        int n = used(b, count);
        byte[] copy = new byte[n];
        System.arraycopy(b, 0, copy, 0, n);
        return copy;
    }

    public int size() {
        return count;
    }

    /** The contents decoded with the default encoding. */
    public String toString() {
        byte[] b = buf;
        return new String(b, 0, used(b, count));
    }

    public String toString(String enc) throws UnsupportedEncodingException {
        byte[] b = buf;
        return new String(b, 0, used(b, count), enc);
    }

    /** Every byte becomes a char whose high byte is hibyte. */
    public String toString(int hibyte) {
        byte[] b = buf;
        int n = used(b, count);
        char[] chars = new char[n];
        int high = (hibyte & 0xFF) << 8;
        for (int i = 0; i < n; i++) {
            chars[i] = (char) (high | (b[i] & 0xFF));
        }
        return new String(chars, 0, n);
    }
}
