package java.io;

/** Adds a buffer to an output stream, so that small writes become large ones. */
public class BufferedOutputStream extends FilterOutputStream {
    private static final int DEFAULT_SIZE = 512;

    /** The buffer; bytes buf[0 .. count-1] are waiting to be written. */
    protected byte[] buf;

    /** Number of bytes waiting in buf. */
    protected int count;

    public BufferedOutputStream(OutputStream out) {
        this(out, DEFAULT_SIZE);
    }

    public BufferedOutputStream(OutputStream out, int size) {
        super(out);
        if (size <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        buf = new byte[size];
    }

    private void flushBuffer() throws IOException {
        if (count > 0) {
            out.write(buf, 0, count);
            count = 0;
        }
    }

    public synchronized void write(int b) throws IOException {
        if (count >= buf.length) {
            flushBuffer();
        }
        buf[count++] = (byte) b;
    }

    /** Large writes bypass the buffer after flushing it. */
    public synchronized void write(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (len >= buf.length) {
            flushBuffer();
            out.write(b, off, len);
            return;
        }
        if (len > buf.length - count) {
            flushBuffer();
        }
        System.arraycopy(b, off, buf, count, len);
        count += len;
    }

    public synchronized void flush() throws IOException {
        flushBuffer();
        out.flush();
    }
}
