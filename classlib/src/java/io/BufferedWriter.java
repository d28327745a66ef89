package java.io;

/** Adds a buffer to a writer, so that small writes become large ones. */
public class BufferedWriter extends Writer {
    private static final int DEFAULT_SIZE = 8192;

    private Writer out;
    private char[] cb;
    private int count;
    private String lineSeparator;

    public BufferedWriter(Writer out) {
        this(out, DEFAULT_SIZE);
    }

    public BufferedWriter(Writer out, int sz) {
        super(out);
        if (sz <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        this.out = out;
        cb = new char[sz];
        lineSeparator = LineSeparator.get();
    }

    // The machine's monitors take no lock: each method reads the buffer, the writer and the
    // count once, and clamps the count to the buffer, so that writers racing each other (or a
    // close) may lose or mix chars but never fail inside the copy.
    private char[] buffer() throws IOException {
        char[] b = cb;
        if (b == null || out == null) {
            throw new IOException("Stream closed");
        }
        return b;
    }

    private static int used(char[] b, int n) {
        return n < 0 ? 0 : n < b.length ? n : b.length;
    }

    /** Writes the buffered chars to the underlying writer without flushing it. */
    void flushBuffer() throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            Writer o = out;
            int n = used(b, count);
            count = 0;
            if (n > 0 && o != null) {
                o.write(b, 0, n);
            }
        }
    }

    public void write(int c) throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            int n = used(b, count);
            if (n >= b.length) {
                flushBuffer();
                n = 0;
            }
            b[n] = (char) c;
            count = n + 1;
        }
    }

    public void write(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len >= b.length) {
                flushBuffer();
                Writer o = out;
                if (o == null) {
                    throw new IOException("Stream closed");
                }
                o.write(cbuf, off, len);
                return;
            }
            int n = used(b, count);
            if (len > b.length - n) {
                flushBuffer();
                n = 0;
            }
            System.arraycopy(cbuf, off, b, n, len);
            count = n + len;
        }
    }

    /** Writes nothing when len is negative, as the historical BufferedWriter did. */
    public void write(String s, int off, int len) throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            if (len <= 0) {
                return;
            }
            if (off < 0 || len > s.length() - off) {
                throw new StringIndexOutOfBoundsException();
            }
            while (len > 0) {
                int n = used(b, count);
                if (n >= b.length) {
                    flushBuffer();
                    n = 0;
                }
                int k = b.length - n;
                if (k > len) {
                    k = len;
                }
                s.getChars(off, off + k, b, n);
                count = n + k;
                off += k;
                len -= k;
            }
        }
    }

    /** Writes the system's line separator. */
    public void newLine() throws IOException {
        write(lineSeparator, 0, lineSeparator.length());
    }

    public void flush() throws IOException {
        synchronized (lock) {
            Writer o = out;
            flushBuffer();
            o.flush();
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            if (out == null) {
                return;
            }
            try {
                flushBuffer();
            } finally {
                Writer old = out;
                out = null;
                cb = null;
                old.close();
            }
        }
    }
}
