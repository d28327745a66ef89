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

    private void ensureOpen() throws IOException {
        if (out == null) {
            throw new IOException("Stream closed");
        }
    }

    /** Writes the buffered chars to the underlying writer without flushing it. */
    void flushBuffer() throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (count > 0) {
                out.write(cb, 0, count);
                count = 0;
            }
        }
    }

    public void write(int c) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (count >= cb.length) {
                flushBuffer();
            }
            cb[count++] = (char) c;
        }
    }

    public void write(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len >= cb.length) {
                flushBuffer();
                out.write(cbuf, off, len);
                return;
            }
            if (len > cb.length - count) {
                flushBuffer();
            }
            System.arraycopy(cbuf, off, cb, count, len);
            count += len;
        }
    }

    /** Writes nothing when len is negative, as the historical BufferedWriter did. */
    public void write(String s, int off, int len) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (len <= 0) {
                return;
            }
            if (off < 0 || len > s.length() - off) {
                throw new StringIndexOutOfBoundsException();
            }
            while (len > 0) {
                if (count >= cb.length) {
                    flushBuffer();
                }
                int n = cb.length - count;
                if (n > len) {
                    n = len;
                }
                s.getChars(off, off + n, cb, count);
                count += n;
                off += n;
                len -= n;
            }
        }
    }

    /** Writes the system's line separator. */
    public void newLine() throws IOException {
        write(lineSeparator, 0, lineSeparator.length());
    }

    public void flush() throws IOException {
        synchronized (lock) {
            flushBuffer();
            out.flush();
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
