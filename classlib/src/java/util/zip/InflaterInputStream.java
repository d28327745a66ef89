package java.util.zip;

import java.io.EOFException;
import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;

/** An input stream that decompresses what it reads through an Inflater. */
public class InflaterInputStream extends FilterInputStream {
    protected Inflater inf;
    protected byte[] buf;
    protected int len;

    private boolean ownsInflater;
    private boolean closed;
    private boolean reachedEOF;
    private byte[] single = new byte[1];

    public InflaterInputStream(InputStream in, Inflater inf, int size) {
        super(in);
        if (in == null || inf == null) {
            throw new NullPointerException();
        }
        if (size <= 0) {
            throw new IllegalArgumentException("buffer size <= 0");
        }
        this.inf = inf;
        this.buf = new byte[size];
    }

    public InflaterInputStream(InputStream in, Inflater inf) {
        this(in, inf, 512);
    }

    public InflaterInputStream(InputStream in) {
        this(in, new Inflater(), 512);
        ownsInflater = true;
    }

    /** For subclasses that make their own Inflater and end it on close. */
    InflaterInputStream(InputStream in, Inflater inf, int size, boolean owns) {
        this(in, inf, size);
        ownsInflater = owns;
    }

    public int read() throws IOException {
        return read(single, 0, 1) == -1 ? -1 : single[0] & 0xFF;
    }

    public int read(byte[] b, int off, int len) throws IOException {
        // Tested here, not through ensureOpen: a GZIP stream read in pieces of its input's
        // size calls this and fill for every few KB, and an interpreted call costs more
        // than the test.
        if (closed) {
            throw new IOException("Stream closed");
        }
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        for (;;) {
            int n;
            try {
                n = inf.inflate(b, off, len);
            } catch (DataFormatException e) {
                throw new ZipException(e.getMessage() != null ? e.getMessage() : "invalid compressed data");
            } catch (NullPointerException e) {
                // Ended, before this read or under it by another thread (a close of the stream
                // or its ZipFile): inflate refuses an ended Inflater with this exception.
                throw new IOException("Inflater has been closed");
            }
            if (n > 0) {
                return n;
            }
            if (inf.finished()) {
                reachedEOF = true;
                return -1;
            }
            if (inf.needsDictionary()) {
                throw new ZipException("a preset dictionary is needed");
            }
            if (inf.needsInput()) {
                fill();
            }
        }
    }

    public int available() throws IOException {
        ensureOpen();
        return reachedEOF ? 0 : 1;
    }

    public long skip(long n) throws IOException {
        if (n < 0) {
            throw new IllegalArgumentException("negative skip length");
        }
        ensureOpen();
        byte[] scratch = new byte[512];
        long left = n;
        while (left > 0) {
            int got = read(scratch, 0, left < scratch.length ? (int) left : scratch.length);
            if (got == -1) {
                break;
            }
            left -= got;
        }
        return n - left;
    }

    public void close() throws IOException {
        if (!closed) {
            closed = true;
            if (ownsInflater) {
                inf.end();
            }
            in.close();
        }
    }

    protected void fill() throws IOException {
        if (closed) {
            throw new IOException("Stream closed");
        }
        len = in.read(buf, 0, buf.length);
        if (len == -1) {
            throw new EOFException("Unexpected end of ZLIB input stream");
        }
        inf.setInput(buf, 0, len);
    }

    private void ensureOpen() throws IOException {
        if (closed) {
            throw new IOException("Stream closed");
        }
    }
}
