package java.io;

/** Collects written bytes in an array that grows as needed. */
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

    private void ensure(int needed) {
        if (needed > buf.length) {
            int size = buf.length * 2;
            if (size < needed) {
                size = needed;
            }
            byte[] bigger = new byte[size];
            System.arraycopy(buf, 0, bigger, 0, count);
            buf = bigger;
        }
    }

    public synchronized void write(int b) {
        ensure(count + 1);
        buf[count++] = (byte) b;
    }

    public synchronized void write(byte[] b, int off, int len) {
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return;
        }
        ensure(count + len);
        System.arraycopy(b, off, buf, count, len);
        count += len;
    }

    /** Writes everything collected so far to out. */
    public synchronized void writeTo(OutputStream out) throws IOException {
        out.write(buf, 0, count);
    }

    /** Forgets the contents; the buffer is kept for reuse. */
    public synchronized void reset() {
        count = 0;
    }

    /** A fresh copy of the contents. */
    public synchronized byte[] toByteArray() {
        byte[] copy = new byte[count];
        System.arraycopy(buf, 0, copy, 0, count);
        return copy;
    }

    public int size() {
        return count;
    }

    /** The contents decoded with the default encoding. */
    public String toString() {
        return new String(buf, 0, count);
    }

    public String toString(String enc) throws UnsupportedEncodingException {
        return new String(buf, 0, count, enc);
    }

    /** Every byte becomes a char whose high byte is hibyte. */
    public String toString(int hibyte) {
        char[] chars = new char[count];
        int high = (hibyte & 0xFF) << 8;
        for (int i = 0; i < count; i++) {
            chars[i] = (char) (high | (buf[i] & 0xFF));
        }
        return new String(chars, 0, count);
    }
}
