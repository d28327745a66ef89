package java.io;

/**
 * An output stream that passes every call on to another output stream.
 * Its array write goes through write(int), so that a subclass that
 * overrides only write(int) sees every byte.
 */
public class FilterOutputStream extends OutputStream {
    protected OutputStream out;

    public FilterOutputStream(OutputStream out) {
        this.out = out;
    }

    public void write(int b) throws IOException {
        out.write(b);
    }

    public void write(byte[] b) throws IOException {
        write(b, 0, b.length);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        for (int i = 0; i < len; i++) {
            write(b[off + i]);
        }
    }

    public void flush() throws IOException {
        out.flush();
    }

    /** Flushes, then closes the underlying stream even when the flush failed. */
    public void close() throws IOException {
        try {
            flush();
        } catch (IOException e) {
            // Closing matters more than reporting the flush failure.
        }
        out.close();
    }
}
