package java.io;

/** Reads the chars of a string. */
public class StringReader extends Reader {
    private String str;
    private int length;
    private int next;
    private int mark;

    public StringReader(String s) {
        this.str = s;
        this.length = s.length();
    }

    private void ensureOpen() throws IOException {
        if (str == null) {
            throw new IOException("Stream closed");
        }
    }

    // Each method reads the position once and stores it once: the machine's monitors take no
    // lock, and two threads reading at once may both get the same chars, but never an index
    // past the end.
    public int read() throws IOException {
        synchronized (lock) {
            String s = open();
            int p = next;
            if (p < 0 || p >= length) {
                return -1;
            }
            next = p + 1;
            return s.charAt(p);
        }
    }

    private String open() throws IOException {
        String s = str;
        if (s == null) {
            throw new IOException("Stream closed");
        }
        return s;
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            String s = open();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            int p = next;
            if (p < 0 || p >= length) {
                return -1;
            }
            int n = length - p;
            if (n > len) {
                n = len;
            }
            s.getChars(p, p + n, cbuf, off);
            next = p + n;
            return n;
        }
    }

    public long skip(long ns) throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (ns < 0) {
                throw new IllegalArgumentException("skip value is negative");
            }
            int p = next;
            long n = length - p;
            if (ns < n) {
                n = ns;
            }
            next = p + (int) n;
            return n;
        }
    }

    public boolean ready() throws IOException {
        synchronized (lock) {
            ensureOpen();
            return true;
        }
    }

    public boolean markSupported() {
        return true;
    }

    public void mark(int readAheadLimit) throws IOException {
        if (readAheadLimit < 0) {
            throw new IllegalArgumentException("Read-ahead limit < 0");
        }
        synchronized (lock) {
            ensureOpen();
            mark = next;
        }
    }

    public void reset() throws IOException {
        synchronized (lock) {
            ensureOpen();
            next = mark;
        }
    }

    public void close() {
        str = null;
    }
}
