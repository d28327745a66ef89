package java.util.zip;

import java.io.FilterOutputStream;
import java.io.IOException;
import java.io.OutputStream;

/** An output stream that compresses what is written to it through a Deflater. */
public class DeflaterOutputStream extends FilterOutputStream {
    protected Deflater def;
    protected byte[] buf;

    private boolean ownsDeflater;
    private boolean closed;

    public DeflaterOutputStream(OutputStream out, Deflater def, int size) {
        super(out);
        if (out == null || def == null) {
            throw new NullPointerException();
        }
        if (size <= 0) {
            throw new IllegalArgumentException("buffer size <= 0");
        }
        this.def = def;
        this.buf = new byte[size];
    }

    public DeflaterOutputStream(OutputStream out, Deflater def) {
        this(out, def, 512);
    }

    public DeflaterOutputStream(OutputStream out) {
        this(out, new Deflater(), 512);
        ownsDeflater = true;
    }

    /** For subclasses that make their own Deflater and end it on close. */
    DeflaterOutputStream(OutputStream out, Deflater def, int size, boolean owns) {
        this(out, def, size);
        ownsDeflater = owns;
    }

    public void write(int b) throws IOException {
        byte[] one = new byte[1];
        one[0] = (byte) b;
        write(one, 0, 1);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        if (def.finished()) {
            throw new IOException("write beyond end of stream");
        }
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return;
        }
        def.setInput(b, off, len);
        while (!def.needsInput()) {
            deflate();
        }
    }

    /** Ends the compressed data; the underlying stream stays open. */
    public void finish() throws IOException {
        if (!def.finished()) {
            def.finish();
            while (!def.finished()) {
                deflate();
            }
        }
    }

    public void close() throws IOException {
        if (!closed) {
            closed = true;
            try {
                finish();
            } finally {
                if (ownsDeflater) {
                    def.end();
                }
                out.close();
            }
        }
    }

    protected void deflate() throws IOException {
        if (def.ended()) {
            throw new IOException("Deflater has been closed");
        }
        int n = def.deflate(buf, 0, buf.length);
        if (n > 0) {
            out.write(buf, 0, n);
        }
    }
}
