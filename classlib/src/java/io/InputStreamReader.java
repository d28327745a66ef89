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

    private void ensureOpen() throws IOException {
        if (in == null) {
            throw new IOException("Stream closed");
        }
    }

    /**
     * Decodes more chars into the char buffer, reading bytes as needed.
     * Returns false at the end of the stream.
     */
    private boolean fill() throws IOException {
        charStart = 0;
        charEnd = 0;
        while (true) {
            // At the end of the stream a cut-off sequence is decoded as it is.
            int usable = eof ? byteEnd - byteStart : coder.complete(bytes, byteStart, byteEnd);
            if (usable > 0) {
                // Never more chars than bytes, so they fit the char buffer.
                String s = coder.decode(bytes, byteStart, usable);
                byteStart += usable;
                charEnd = s.length();
                s.getChars(0, charEnd, chars, 0);
                return true;
            }
            if (eof) {
                return false;
            }
            if (byteStart > 0) {
                int keep = byteEnd - byteStart;
                System.arraycopy(bytes, byteStart, bytes, 0, keep);
                byteStart = 0;
                byteEnd = keep;
            }
            int n = in.read(bytes, byteEnd, bytes.length - byteEnd);
            if (n < 0) {
                eof = true;
            } else {
                byteEnd += n;
            }
        }
    }

    public int read() throws IOException {
        synchronized (lock) {
            ensureOpen();
            if (charStart >= charEnd && !fill()) {
                return -1;
            }
            return chars[charStart++];
        }
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
            if (charStart >= charEnd && !fill()) {
                return -1;
            }
            int n = charEnd - charStart;
            if (n > len) {
                n = len;
            }
            System.arraycopy(chars, charStart, cbuf, off, n);
            charStart += n;
            return n;
        }
    }

    /** True when chars are buffered or the byte stream has bytes ready. */
    public boolean ready() throws IOException {
        synchronized (lock) {
            ensureOpen();
            return charStart < charEnd || in.available() > 0;
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            if (in == null) {
                return;
            }
            InputStream old = in;
            in = null;
            bytes = null;
            chars = null;
            old.close();
        }
    }
}
