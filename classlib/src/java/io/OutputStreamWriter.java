package java.io;

/**
 * Encodes chars into the bytes of an output stream. Known encodings: 8859_1
 * (the default here), ASCII and UTF8. Characters an encoding lacks become '?'.
 * Bytes are buffered until the buffer fills, or flush or close is called.
 */
public class OutputStreamWriter extends Writer {
    private static final int BYTES = 8192;

    private OutputStream out;
    private CharCoder coder;
    private byte[] bytes = new byte[BYTES];
    private int count;

    /** A writer in the default encoding, that of the file.encoding property. */
    public OutputStreamWriter(OutputStream out) {
        super(out);
        this.out = out;
        this.coder = CharCoder.forDefault();
    }

    public OutputStreamWriter(OutputStream out, String enc) throws UnsupportedEncodingException {
        super(out);
        this.coder = CharCoder.forName(enc);
        this.out = out;
    }

    /** The historical name of the encoding, or null once the writer is closed. */
    public String getEncoding() {
        synchronized (lock) {
            return out == null ? null : coder.name();
        }
    }

    private void ensureOpen() throws IOException {
        if (out == null) {
            throw new IOException("Stream closed");
        }
    }

    // The bytes waiting in b: the count, clamped to the buffer. The machine's monitors take no
    // lock, so a racing writer may have stored a count past what this one has seen; racing
    // writers may lose or mix bytes, but never fail inside the copy, nor on a close racing them.
    private static int used(byte[] b, int n) {
        return n < 0 ? 0 : n < b.length ? n : b.length;
    }

    /** Writes the buffered bytes to the stream without flushing the stream. */
    void flushBuffer() throws IOException {
        synchronized (lock) {
            OutputStream o = out;
            byte[] b = bytes;
            if (o == null || b == null) {
                throw new IOException("Stream closed");
            }
            int n = used(b, count);
            count = 0;
            if (n > 0) {
                o.write(b, 0, n);
            }
        }
    }

    public void write(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            store(coder.encode(cbuf, off, len));
        }
    }

    // Appends encoded bytes to the buffer; more than it holds go straight to the stream.
    private void store(byte[] e) throws IOException {
        OutputStream o = out;
        byte[] b = bytes;
        if (o == null || b == null) {
            throw new IOException("Stream closed");
        }
        int n = used(b, count);
        if (e.length > b.length - n) {
            flushBuffer();
            n = 0;
            if (e.length > b.length) {
                o.write(e, 0, e.length);
                return;
            }
        }
        System.arraycopy(e, 0, b, n, e.length);
        count = n + e.length;
    }

    public void write(String str, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > str.length() - off) {
            throw new StringIndexOutOfBoundsException();
        }
        char[] cbuf = new char[len];
        str.getChars(off, off + len, cbuf, 0);
        write(cbuf, 0, len);
    }

    public void flush() throws IOException {
        synchronized (lock) {
            OutputStream o = out;
            flushBuffer();
            o.flush();
        }
    }

    /** Flushes everything, including a dangling surrogate, then closes the stream. */
    public void close() throws IOException {
        synchronized (lock) {
            if (out == null) {
                return;
            }
            store(coder.flushEncoder());
            flush();
            OutputStream old = out;
            out = null;
            bytes = null;
            old.close();
        }
    }
}
