package java.util.zip;

import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;

/** An input stream that reads the GZIP format (RFC 1952) through a raw Inflater. */
public class GZIPInputStream extends InflaterInputStream {
    public static final int GZIP_MAGIC = 0x8b1f;

    private static final int FHCRC = 2;
    private static final int FEXTRA = 4;
    private static final int FNAME = 8;
    private static final int FCOMMENT = 16;

    protected CRC32 crc = new CRC32();
    protected boolean eos;

    public GZIPInputStream(InputStream in, int size) throws IOException {
        super(in, new Inflater(true), size, true);
        // A stream that is not GZIP is never returned, so nothing else could end its Inflater.
        try {
            readHeader();
        } catch (IOException e) {
            inf.end();
            throw e;
        } catch (RuntimeException e) {
            inf.end();
            throw e;
        } catch (Error e) {
            inf.end();
            throw e;
        }
        crc.reset();
    }

    public GZIPInputStream(InputStream in) throws IOException {
        this(in, 512);
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (eos) {
            return -1;
        }
        int n = super.read(b, off, len);
        if (n == -1) {
            readTrailer();
            eos = true;
        } else {
            crc.update(b, off, n);
        }
        return n;
    }

    private void readHeader() throws IOException {
        CheckedInputStream in = new CheckedInputStream(this.in, crc);
        crc.reset();
        if (readShort(in) != GZIP_MAGIC) {
            throw new ZipException("Not in GZIP format");
        }
        if (readByte(in) != 8) {
            throw new ZipException("Unsupported compression method");
        }
        int flags = readByte(in);
        for (int i = 0; i < 6; i++) {
            readByte(in);  // time, extra flags, operating system
        }
        if ((flags & FEXTRA) != 0) {
            int n = readShort(in);
            while (n-- > 0) {
                readByte(in);
            }
        }
        if ((flags & FNAME) != 0) {
            while (readByte(in) != 0) {
            }
        }
        if ((flags & FCOMMENT) != 0) {
            while (readByte(in) != 0) {
            }
        }
        if ((flags & FHCRC) != 0) {
            int v = (int) crc.getValue() & 0xffff;
            if (readShort(in) != v) {
                throw new ZipException("Corrupt GZIP header");
            }
        }
    }

    /** The trailer's first bytes may still sit in the buffer the inflater was given. */
    private void readTrailer() throws IOException {
        byte[] trailer = new byte[8];
        int have = 0;
        int remaining = inf.getRemaining();
        for (int i = len - remaining; have < 8 && i < len; i++) {
            trailer[have++] = buf[i];
        }
        while (have < 8) {
            int b = in.read();
            if (b == -1) {
                throw new EOFException("Unexpected end of GZIP trailer");
            }
            trailer[have++] = (byte) b;
        }
        long sum = getInt(trailer, 0) & 0xFFFFFFFFL;
        long size = getInt(trailer, 4) & 0xFFFFFFFFL;
        if (sum != crc.getValue() || size != (inf.getTotalOut() & 0xFFFFFFFFL)) {
            throw new ZipException("Corrupt GZIP trailer");
        }
    }

    private static int getInt(byte[] b, int at) {
        return (b[at] & 0xff) | (b[at + 1] & 0xff) << 8 | (b[at + 2] & 0xff) << 16 | (b[at + 3] & 0xff) << 24;
    }

    private int readShort(InputStream in) throws IOException {
        int lo = readByte(in);
        return readByte(in) << 8 | lo;
    }

    private int readByte(InputStream in) throws IOException {
        int b = in.read();
        if (b == -1) {
            throw new EOFException();
        }
        return b;
    }
}
