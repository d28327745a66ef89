package java.io;

/** Collects written chars in an array that grows as needed. */
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

    private void ensure(int needed) {
        if (needed > buf.length) {
            int size = buf.length * 2;
            if (size < needed) {
                size = needed;
            }
            char[] bigger = new char[size];
            System.arraycopy(buf, 0, bigger, 0, count);
            buf = bigger;
        }
    }

    public void write(int c) {
        synchronized (lock) {
            ensure(count + 1);
            buf[count++] = (char) c;
        }
    }

    public void write(char[] c, int off, int len) {
        if (off < 0 || len < 0 || len > c.length - off) {
            throw new IndexOutOfBoundsException();
        }
        synchronized (lock) {
            ensure(count + len);
            System.arraycopy(c, off, buf, count, len);
            count += len;
        }
    }

    public void write(String str, int off, int len) {
        if (off < 0 || len < 0 || len > str.length() - off) {
            throw new StringIndexOutOfBoundsException();
        }
        synchronized (lock) {
            ensure(count + len);
            str.getChars(off, off + len, buf, count);
            count += len;
        }
    }

    public void writeTo(Writer out) throws IOException {
        synchronized (lock) {
            out.write(buf, 0, count);
        }
    }

    public void reset() {
        count = 0;
    }

    /** A fresh copy of the contents. */
    public char[] toCharArray() {
        synchronized (lock) {
            char[] copy = new char[count];
            System.arraycopy(buf, 0, copy, 0, count);
            return copy;
        }
    }

    public int size() {
        return count;
    }

    public String toString() {
        synchronized (lock) {
            return new String(buf, 0, count);
        }
    }

    public void flush() {
    }

    public void close() {
    }
}
