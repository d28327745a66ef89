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

    // The machine's monitors take no lock: each method reads the buffer and the positions once
    // into locals, clamps the positions to that buffer, and stores a new buffer before the
    // positions that go with it. Threads reading at once may get the same chars or lose some,
    // but never an index past the buffer, nor a failure inside the library when another
    // thread closes the reader.
    private char[] buffer() throws IOException {
        char[] b = cb;
        if (b == null || in == null) {
            throw new IOException("Stream closed");
        }
        return b;
    }

    private Reader input() throws IOException {
        Reader from = in;
        if (from == null) {
            throw new IOException("Stream closed");
        }
        return from;
    }

    private static int clamp(int i, char[] b) {
        return i < 0 ? 0 : i < b.length ? i : b.length;
    }

    /**
     * Reads more chars into the buffer, keeping a live mark's chars. Returns the buffer it
     * read into; nextChar and nChars then describe it.
     */
    private char[] fill() throws IOException {
        Reader from = input();
        char[] b = buffer();
        int dst = 0;
        int m = markedChar;
        int p = clamp(nextChar, b);
        if (m > NO_MARK) {
            int delta = p - m;
            int limit = readAheadLimit;
            if (delta < 0 || delta >= limit) {
                markedChar = MARK_LOST;
                readAheadLimit = 0;
            } else {
                if (limit <= b.length) {
                    System.arraycopy(b, m, b, 0, delta);
                } else {
                    char[] bigger = new char[limit];
                    System.arraycopy(b, m, bigger, 0, delta);
                    b = bigger;
                }
                markedChar = 0;
                dst = delta;
            }
        }
        cb = b;
        nextChar = dst;
        nChars = dst;
        int n;
        do {
            n = from.read(b, dst, b.length - dst);
        } while (n == 0);
        if (n > 0) {
            nChars = dst + (n < b.length - dst ? n : b.length - dst);
            nextChar = dst;
        }
        return b;
    }

    public int read() throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            while (true) {
                int p = clamp(nextChar, b);
                if (p >= clamp(nChars, b)) {
                    b = fill();
                    p = clamp(nextChar, b);
                    if (p >= clamp(nChars, b)) {
                        return -1;
                    }
                }
                nextChar = p + 1;
                if (skipLF) {
                    skipLF = false;
                    if (b[p] == '\n') {
                        continue;
                    }
                }
                return b[p];
            }
        }
    }

    private int readOnce(char[] cbuf, int off, int len) throws IOException {
        char[] b = buffer();
        int p = clamp(nextChar, b);
        int c = clamp(nChars, b);
        if (p >= c) {
            if (len >= b.length && markedChar <= NO_MARK && !skipLF) {
                return input().read(cbuf, off, len);
            }
            b = fill();
            p = clamp(nextChar, b);
            c = clamp(nChars, b);
        }
        if (p >= c) {
            return -1;
        }
        if (skipLF) {
            skipLF = false;
            if (b[p] == '\n') {
                nextChar = ++p;
                if (p >= c) {
                    b = fill();
                    p = clamp(nextChar, b);
                    c = clamp(nChars, b);
                }
                if (p >= c) {
                    return -1;
                }
            }
        }
        int n = c - p;
        if (n > len) {
            n = len;
        }
        System.arraycopy(b, p, cbuf, off, n);
        nextChar = p + n;
        return n;
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            buffer();
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
     * Whether the underlying reader has chars ready. One that cannot tell, or is closed
     * meanwhile, counts as having none: the chars already read must not be lost to an
     * exception.
     */
    private boolean moreReady() {
        Reader from = in;
        try {
            return from != null && from.ready();
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
            char[] b = buffer();
            StringBuffer sb = null;
            while (true) {
                int p = clamp(nextChar, b);
                int c = clamp(nChars, b);
                if (p >= c) {
                    b = fill();
                    p = clamp(nextChar, b);
                    c = clamp(nChars, b);
                }
                if (p >= c) {
                    if (sb != null && sb.length() > 0) {
                        return sb.toString();
                    }
                    return null;
                }
                if (skipLF) {
                    skipLF = false;
                    if (b[p] == '\n') {
                        nextChar = p + 1;
                        continue;
                    }
                }
                int i = p;
                char ch = 0;
                while (i < c) {
                    ch = b[i];
                    if (ch == '\n' || ch == '\r') {
                        break;
                    }
                    i++;
                }
                if (i < c) {
                    String s;
                    if (sb == null) {
                        s = new String(b, p, i - p);
                    } else {
                        sb.append(b, p, i - p);
                        s = sb.toString();
                    }
                    nextChar = i + 1;
                    if (ch == '\r') {
                        skipLF = true;
                    }
                    return s;
                }
                if (sb == null) {
                    sb = new StringBuffer(80);
                }
                sb.append(b, p, i - p);
                nextChar = i;
            }
        }
    }

    public long skip(long n) throws IOException {
        if (n < 0L) {
            throw new IllegalArgumentException("skip value is negative");
        }
        synchronized (lock) {
            char[] b = buffer();
            long r = n;
            while (r > 0) {
                int p = clamp(nextChar, b);
                int c = clamp(nChars, b);
                if (p >= c) {
                    b = fill();
                    p = clamp(nextChar, b);
                    c = clamp(nChars, b);
                }
                if (p >= c) {
                    break;
                }
                if (skipLF) {
                    skipLF = false;
                    if (b[p] == '\n') {
                        nextChar = p + 1;
                        continue;
                    }
                }
                long d = c - p;
                if (r <= d) {
                    nextChar = p + (int) r;
                    r = 0;
                    break;
                }
                r -= d;
                nextChar = c;
            }
            return n - r;
        }
    }

    public boolean ready() throws IOException {
        synchronized (lock) {
            char[] b = buffer();
            Reader from = input();
            if (skipLF) {
                int p = clamp(nextChar, b);
                int c = clamp(nChars, b);
                if (p >= c && from.ready()) {
                    b = fill();
                    p = clamp(nextChar, b);
                    c = clamp(nChars, b);
                }
                if (p < c) {
                    if (b[p] == '\n') {
                        nextChar = p + 1;
                    }
                    skipLF = false;
                }
            }
            return clamp(nextChar, b) < clamp(nChars, b) || from.ready();
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
            buffer();
            this.readAheadLimit = readAheadLimit;
            markedChar = nextChar;
            markedSkipLF = skipLF;
        }
    }

    public void reset() throws IOException {
        synchronized (lock) {
            buffer();
            int m = markedChar;
            if (m < 0) {
                throw new IOException(m == MARK_LOST ? "Mark invalid" : "Stream not marked");
            }
            nextChar = m;
            skipLF = markedSkipLF;
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            Reader old = in;
            if (old == null) {
                return;
            }
            in = null;
            cb = null;
            old.close();
        }
    }
}
