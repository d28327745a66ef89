package java.io;

/** Collects written chars in a string buffer. Closing it has no effect. */
public class StringWriter extends Writer {
    private StringBuffer buf;

    public StringWriter() {
        buf = new StringBuffer();
        lock = buf;
    }

    public StringWriter(int initialSize) {
        if (initialSize < 0) {
            throw new IllegalArgumentException("Negative buffer size");
        }
        buf = new StringBuffer(initialSize);
        lock = buf;
    }

    public void write(int c) {
        buf.append((char) c);
    }

    public void write(char[] cbuf, int off, int len) {
        if (off < 0 || len < 0 || len > cbuf.length - off) {
            throw new IndexOutOfBoundsException();
        }
        buf.append(cbuf, off, len);
    }

    public void write(String str) {
        buf.append(str);
    }

    public void write(String str, int off, int len) {
        buf.append(str.substring(off, off + len));
    }

    public String toString() {
        return buf.toString();
    }

    /** The buffer itself, not a copy. */
    public StringBuffer getBuffer() {
        return buf;
    }

    public void flush() {
    }

    public void close() throws IOException {
    }
}
