package java.io;

/**
 * Collects written chars in an array that grows as needed.
 *
 * The machine's monitors take no lock: each method reads the array and the count once, clamps
 * the count to that array, and stores a new array before the count that goes with it, so that
 * writers racing each other may lose chars but never fail inside the copy.
 */
public class CharArrayWriter extends Writer {
    protected char[] buf;
    protected int count;

    public CharArrayWriter() {
        this(32);
    }

    public CharArrayWriter(int initialSize) {
        if (initialSize < 0) {
            throw new IllegalArgumentException("Negative initial size: " + initialSize);
        }
        buf = new char[initialSize];
    }

    private static int used(char[] b, int n) {
        return n < 0 ? 0 : n < b.length ? n : b.length;
    }

    // b itself when it holds needed chars, else a larger copy of its first n.
    private static char[] room(char[] b, int n, int needed) {
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
        char[] bigger = new char[size];
        System.arraycopy(b, 0, bigger, 0, n);
        return bigger;
    }

    public void write(int c) {
        synchronized (lock) {
            char[] b = buf;
            int n = used(b, count);
            b = room(b, n, n + 1);
            b[n] = (char) c;
            buf = b;
            count = n + 1;
        }
    }

    public void write(char[] c, int off, int len) {
        if (off < 0 || len < 0 || len > c.length - off) {
            throw new IndexOutOfBoundsException();
        }
        synchronized (lock) {
            char[] b = buf;
            int n = used(b, count);
            b = room(b, n, n + len);
            System.arraycopy(c, off, b, n, len);
            buf = b;
            count = n + len;
        }
    }

    public void write(String str, int off, int len) {
        if (off < 0 || len < 0 || len > str.length() - off) {
            throw new StringIndexOutOfBoundsException();
        }
        synchronized (lock) {
            char[] b = buf;
            int n = used(b, count);
            b = room(b, n, n + len);
            str.getChars(off, off + len, b, n);
            buf = b;
            count = n + len;
        }
    }

    public void writeTo(Writer out) throws IOException {
        synchronized (lock) {
            char[] b = buf;
            out.write(b, 0, used(b, count));
        }
    }

    public void reset() {
        count = 0;
    }

    /** A fresh copy of the contents. */
    public char[] toCharArray() {
        synchronized (lock) {
            char[] b = buf;
            int n = used(b, count);
            char[] copy = new char[n];
            System.arraycopy(b, 0, copy, 0, n);
            return copy;
        }
    }

    public int size() {
        return count;
    }

    public String toString() {
        synchronized (lock) {
            char[] b = buf;
            return new String(b, 0, used(b, count));
        }
    }

    public void flush() {
    }

    public void close() {
    }
}
