package java.io;

/**
 * Decodes the bytes of an input stream into chars. Known encodings: 8859_1
 * (the default here), ASCII and UTF8. Malformed input becomes U+FFFD, as in
 * the String constructors.
 */
public class InputStreamReader extends Reader {
    private static final int BYTES = 8192;
    private static final int CHARS = 8192;

    private InputStream in;
    private CharCoder coder;
    private byte[] bytes = new byte[BYTES];
    private int byteStart;
    private int byteEnd;
    private char[] chars = new char[CHARS];
    private int charStart;
    private int charEnd;
    private boolean eof;

    /** A reader in the default encoding, that of the file.encoding property. */
    public InputStreamReader(InputStream in) {
        super(in);
        this.in = in;
        this.coder = CharCoder.forDefault();
    }

    public InputStreamReader(InputStream in, String enc) throws UnsupportedEncodingException {
        super(in);
        this.coder = CharCoder.forName(enc);
        this.in = in;
    }

    /** The historical name of the encoding, or null once the reader is closed. */
    public String getEncoding() {
        synchronized (lock) {
            return in == null ? null : coder.name();
        }
    }

    // The machine's monitors take no lock: each method reads the buffers, their positions and
    // the stream once into locals, clamps the positions to those buffers, and stores them back
    // once, so that threads racing on one reader (or a close) may get the same chars or lose
    // some, but never an index past a buffer.
    private InputStream input() throws IOException {
        InputStream from = in;
        if (from == null) {
            throw new IOException("Stream closed");
        }
        return from;
    }

    private static int clamp(int i, int length) {
        return i < 0 ? 0 : i < length ? i : length;
    }

    /**
     * Decodes more chars into the char buffer, reading bytes as needed.
     * Returns the char buffer, or null at the end of the stream.
     */
    private char[] fill() throws IOException {
        InputStream from = input();
        byte[] b = bytes;
        char[] cs = chars;
        if (b == null || cs == null) {
            throw new IOException("Stream closed");
        }
        int end = clamp(byteEnd, b.length);
        int start = clamp(byteStart, end);
        charStart = 0;
        charEnd = 0;
        while (true) {
            // At the end of the stream a cut-off sequence is decoded as it is.
            int usable = eof ? end - start : coder.complete(b, start, end);
            if (usable > 0) {
                // Never more chars than bytes, so they fit the char buffer.
                String s = coder.decode(b, start, usable);
                int n = s.length() < cs.length ? s.length() : cs.length;
                s.getChars(0, n, cs, 0);
                byteStart = start + usable;
                byteEnd = end;
                charEnd = n;
                return cs;
            }
            if (eof) {
                byteStart = start;
                byteEnd = end;
                return null;
            }
            if (start > 0) {
                int keep = end - start;
                System.arraycopy(b, start, b, 0, keep);
                start = 0;
                end = keep;
            }
            byteStart = start;
            byteEnd = end;
            int n = from.read(b, end, b.length - end);
            if (n < 0) {
                eof = true;
            } else {
                end += n < b.length - end ? n : b.length - end;
            }
        }
    }

    public int read() throws IOException {
        synchronized (lock) {
            input();
            char[] cs = chars;
            if (cs == null) {
                throw new IOException("Stream closed");
            }
            int p = clamp(charStart, cs.length);
            if (p >= clamp(charEnd, cs.length)) {
                cs = fill();
                if (cs == null) {
                    return -1;
                }
                p = 0;
            }
            charStart = p + 1;
            return cs[p];
        }
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            input();
            if (off < 0 || len < 0 || len > cbuf.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            char[] cs = chars;
            if (cs == null) {
                throw new IOException("Stream closed");
            }
            int p = clamp(charStart, cs.length);
            int e = clamp(charEnd, cs.length);
            if (p >= e) {
                cs = fill();
                if (cs == null) {
                    return -1;
                }
                p = 0;
                e = clamp(charEnd, cs.length);
            }
            int n = e - p;
            if (n > len) {
                n = len;
            }
            System.arraycopy(cs, p, cbuf, off, n);
            charStart = p + n;
            return n;
        }
    }

    /** True when chars are buffered or the byte stream has bytes ready. */
    public boolean ready() throws IOException {
        synchronized (lock) {
            InputStream from = input();
            return charStart < charEnd || from.available() > 0;
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            InputStream old = in;
            if (old == null) {
                return;
            }
            in = null;
            bytes = null;
            chars = null;
            old.close();
        }
    }
}
