package java.util.zip;

import java.io.IOException;
import java.io.OutputStream;

/** An output stream that writes the GZIP format (RFC 1952) over a raw Deflater. */
public class GZIPOutputStream extends DeflaterOutputStream {
    private static final int MAGIC = 0x8b1f;

    protected CRC32 crc = new CRC32();

    public GZIPOutputStream(OutputStream out, int size) throws IOException {
        super(out, new Deflater(Deflater.DEFAULT_COMPRESSION, true), size, true);
        // A stream whose header could not be written is never returned: its Deflater ends here.
        try {
            writeHeader();
        } catch (IOException e) {
            def.end();
            throw e;
        } catch (RuntimeException e) {
            def.end();
            throw e;
        } catch (Error e) {
            def.end();
            throw e;
        }
    }

    public GZIPOutputStream(OutputStream out) throws IOException {
        this(out, 512);
    }

    public synchronized void write(byte[] b, int off, int len) throws IOException {
        super.write(b, off, len);
        crc.update(b, off, len);
    }

    /** Ends the deflate data and writes the trailer; the underlying stream stays open. */
    public void finish() throws IOException {
        if (!def.finished()) {
            def.finish();
            while (!def.finished()) {
                deflate();
            }
            byte[] trailer = new byte[8];
            putInt(trailer, 0, (int) crc.getValue());
            putInt(trailer, 4, def.getTotalIn());
            out.write(trailer, 0, 8);
        }
    }

    private void writeHeader() throws IOException {
        byte[] header = new byte[10];
        header[0] = (byte) MAGIC;
        header[1] = (byte) (MAGIC >> 8);
        header[2] = (byte) Deflater.DEFLATED;
        out.write(header, 0, 10);
    }

    private static void putInt(byte[] b, int at, int v) {
        b[at] = (byte) v;
        b[at + 1] = (byte) (v >> 8);
        b[at + 2] = (byte) (v >> 16);
        b[at + 3] = (byte) (v >> 24);
    }
}
