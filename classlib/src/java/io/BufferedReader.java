package java.io;

/** Adds a buffer to a reader, and with it line reading, mark and reset. */
public class BufferedReader extends Reader {
    private static final int DEFAULT_SIZE = 8192;
    private static final int NO_MARK = -1;
    private static final int MARK_LOST = -2;

    private Reader in;
    private char[] cb;
    private int nextChar;
    private int nChars;
    private int markedChar = NO_MARK;
    private int readAheadLimit;
    /** The last char handed out was a '\r' ending a line: a following '\n' belongs to it. */
    private boolean skipLF;
    private boolean markedSkipLF;

    public BufferedReader(Reader in, int sz) {
        super(in);
        if (sz <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        this.in = in;
        cb = new char[sz];
    }

    public BufferedReader(Reader in) {
        this(in, DEFAULT_SIZE);
    }

    private void ensureOpen() throws IOException {
        if (in == null) {
            throw new IOException("Stream closed");
        }
    }

    /** Reads more chars into the buffer, keeping a live mark's chars. */
    private void fill() throws IOException {
        int dst;
        if (markedChar <= NO_MARK) {
            dst = 0;
        } else {
            int delta = nextChar - markedChar;
            if (delta >= readAheadLimit) {
                markedChar = MARK_LOST;
                readAheadLimit = 0;
                dst = 0;
            } else {
                if (readAheadLimit <= cb.length) {
                    System.arraycopy(cb, markedChar, cb, 0, delta);
                } else {
                    char[] bigger = new char[readAheadLimit];
                    System.arraycopy(cb, markedChar, bigger, 0, delta);
                    cb = bigger;
                }
                markedChar = 0;
                dst = delta;
            }
            nextChar = delta;
            nChars = delta;
        }
        if (markedChar <= NO_MARK) {
            nextChar = 0;
            nChars = 0;
        }
        int n;
        do {
            n = in.read(cb, dst, cb.length - dst);
        } while (n == 0);
        if (n > 0) {
            nChars = dst + n;
            nextChar = dst;
        }
    }

    public int read() throws IOException {
        synchronized (lock) {
            ensureOpen();
            while (true) {
                if (nextChar >= nChars) {
                    fill();
                    if (nextChar >= nChars) {
                        return -1;
                    }
                }
                if (skipLF) {
                    skipLF = false;
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                        continue;
                    }
                }
                return cb[nextChar++];
            }
        }
    }

    private int readOnce(char[] cbuf, int off, int len) throws IOException {
        if (nextChar >= nChars) {
            if (len >= cb.length && markedChar <= NO_MARK && !skipLF) {
                return in.read(cbuf, off, len);
            }
            fill();
        }
        if (nextChar >= nChars) {
            return -1;
        }
        if (skipLF) {
            skipLF = false;
            if (cb[nextChar] == '\n') {
                nextChar++;
                if (nextChar >= nChars) {
                    fill();
                }
                if (nextChar >= nChars) {
                    return -1;
                }
            }
        }
        int n = nChars - nextChar;
        if (n > len) {
            n = len;
        }
        System.arraycopy(cb, nextChar, cbuf, off, n);
        nextChar += n;
        return n;
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            int n = readOnce(cbuf, off, len);
            if (n <= 0) {
                return n;
            }
            while (n < len && moreReady()) {
                int k = readOnce(cbuf, off + n, len - n);
                if (k <= 0) {
                    break;
                }
                n += k;
            }
            return n;
        }
    }

    /**
     * Whether the underlying reader has chars ready. One that cannot tell
     * counts as having none: the chars already read must not be lost to an
     * exception.
     */
    private boolean moreReady() {
        try {
            return in.ready();
        } catch (IOException e) {
            return false;
        }
    }

    /**
     * Reads a line ended by "\n", "\r" or "\r\n", without its end. Returns
     * null at the end of the stream.
     */
    public String readLine() throws IOException {
        synchronized (lock) {
            ensureOpen();
            StringBuffer sb = null;
            while (true) {
                if (nextChar >= nChars) {
                    fill();
                }
                if (nextChar >= nChars) {
                    if (sb != null && sb.length() > 0) {
                        return sb.toString();
                    }
                    return null;
                }
                if (skipLF) {
                    skipLF = false;
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                        continue;
                    }
                }
                int start = nextChar;
                int i = start;
                char c = 0;
                while (i < nChars) {
                    c = cb[i];
                    if (c == '\n' || c == '\r') {
                        break;
                    }
                    i++;
                }
                if (i < nChars) {
                    String s;
                    if (sb == null) {
                        s = new String(cb, start, i - start);
                    } else {
                        sb.append(cb, start, i - start);
                        s = sb.toString();
                    }
                    nextChar = i + 1;
                    if (c == '\r') {
                        skipLF = true;
                    }
                    return s;
                }
                if (sb == null) {
                    sb = new StringBuffer(80);
                }
                sb.append(cb, start, i - start);
                nextChar = i;
            }
        }
    }

    public long skip(long n) throws IOException {
        if (n < 0L) {
            throw new IllegalArgumentException("skip value is negative");
        }
        synchronized (lock) {
            ensureOpen();
            long r = n;
            while (r > 0) {
                if (nextChar >= nChars) {
                    fill();
                }
                if (nextChar >= nChars) {
                    break;
                }
                if (skipLF) {
                    skipLF = false;
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                        continue;
                    }
                }
                long d = nChars - nextChar;
                if (r <= d) {
                    nextChar += (int) r;
                    r = 0;
                    break;
                }
                r -= d;
                nextChar = nChars;
            }
            return n - r;
        }
    }

    public boolean ready() throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (skipLF) {
                if (nextChar >= nChars && in.ready()) {
                    fill();
                }
                if (nextChar < nChars) {
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                    }
                    skipLF = false;
                }
            }
            return nextChar < nChars || in.ready();
        }
    }

    /**
     * Makes a '\n' that comes next belong to a '\r' the caller has already
     * taken as a line end, so that it is dropped rather than read.
     */
    void skipNextLF() {
        skipLF = true;
    }

    public boolean markSupported() {
        return true;
    }

    /**
     * Marks the present position; reset returns to it as long as no more than
     * readAheadLimit chars have been read since.
     */
    public void mark(int readAheadLimit) throws IOException {
        if (readAheadLimit < 0) {
            throw new IllegalArgumentException("Read-ahead limit < 0");
        }
        synchronized (lock) {
            ensureOpen();
            this.readAheadLimit = readAheadLimit;
            markedChar = nextChar;
            markedSkipLF = skipLF;
        }
    }

    public void reset() throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (markedChar < 0) {
                throw new IOException(markedChar == MARK_LOST ? "Mark invalid" : "Stream not marked");
            }
            nextChar = markedChar;
            skipLF = markedSkipLF;
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            if (in == null) {
                return;
            }
            Reader old = in;
            in = null;
            cb = null;
            old.close();
        }
    }
}
