package java.io;

/** Writes primitive values in a portable big-endian format. */
public class DataOutputStream extends FilterOutputStream implements DataOutput {
    /** Number of bytes written so far. */
    protected int written;

    public DataOutputStream(OutputStream out) {
        super(out);
    }

    private void counted(int n) {
        written += n;
        if (written < 0) {
            written = Integer.MAX_VALUE;
        }
    }

    public synchronized void write(int b) throws IOException {
        out.write(b);
        counted(1);
    }

    public synchronized void write(byte[] b, int off, int len) throws IOException {
        out.write(b, off, len);
        counted(len);
    }

    public void flush() throws IOException {
        out.flush();
    }

    public final void writeBoolean(boolean v) throws IOException {
        out.write(v ? 1 : 0);
        counted(1);
    }

    public final void writeByte(int v) throws IOException {
        out.write(v);
        counted(1);
    }

    /*
     * Multi-byte values go out as one array write: over an unbuffered file
     * stream that is one host call instead of one per byte.
     */

    public final void writeShort(int v) throws IOException {
        byte[] b = new byte[2];
        b[0] = (byte) (v >>> 8);
        b[1] = (byte) v;
        out.write(b, 0, 2);
        counted(2);
    }

    public final void writeChar(int v) throws IOException {
        writeShort(v);
    }

    public final void writeInt(int v) throws IOException {
        byte[] b = new byte[4];
        b[0] = (byte) (v >>> 24);
        b[1] = (byte) (v >>> 16);
        b[2] = (byte) (v >>> 8);
        b[3] = (byte) v;
        out.write(b, 0, 4);
        counted(4);
    }

    public final void writeLong(long v) throws IOException {
        byte[] b = new byte[8];
        int hi = (int) (v >>> 32);
        int lo = (int) v;
        b[0] = (byte) (hi >>> 24);
        b[1] = (byte) (hi >>> 16);
        b[2] = (byte) (hi >>> 8);
        b[3] = (byte) hi;
        b[4] = (byte) (lo >>> 24);
        b[5] = (byte) (lo >>> 16);
        b[6] = (byte) (lo >>> 8);
        b[7] = (byte) lo;
        out.write(b, 0, 8);
        counted(8);
    }

    public final void writeFloat(float v) throws IOException {
        writeInt(Float.floatToIntBits(v));
    }

    public final void writeDouble(double v) throws IOException {
        writeLong(Double.doubleToLongBits(v));
    }

    /** Writes the low byte of every char of s. */
    public final void writeBytes(String s) throws IOException {
        int len = s.length();
        byte[] b = new byte[len];
        for (int i = 0; i < len; i++) {
            b[i] = (byte) s.charAt(i);
        }
        out.write(b, 0, len);
        counted(len);
    }

    /** Writes every char of s as two bytes, high byte first. */
    public final void writeChars(String s) throws IOException {
        int len = s.length();
        byte[] b = new byte[len * 2];
        for (int i = 0; i < len; i++) {
            int c = s.charAt(i);
            b[2 * i] = (byte) (c >>> 8);
            b[2 * i + 1] = (byte) c;
        }
        out.write(b, 0, len * 2);
        counted(len * 2);
    }

    /**
     * Writes s as a two-byte length and then modified UTF-8: char 0 and chars
     * from 0x80 to 0x7FF take two bytes, chars above that three. Strings whose
     * encoding exceeds 65535 bytes throw UTFDataFormatException and write nothing.
     */
    public final void writeUTF(String str) throws IOException {
        int len = str.length();
        int utflen = 0;
        for (int i = 0; i < len; i++) {
            int c = str.charAt(i);
            if (c >= 0x0001 && c <= 0x007F) {
                utflen++;
            } else if (c <= 0x07FF) {
                utflen += 2;
            } else {
                utflen += 3;
            }
        }
        if (utflen > 65535) {
            throw new UTFDataFormatException();
        }
        byte[] bytes = new byte[utflen + 2];
        int n = 0;
        bytes[n++] = (byte) (utflen >>> 8);
        bytes[n++] = (byte) utflen;
        for (int i = 0; i < len; i++) {
            int c = str.charAt(i);
            if (c >= 0x0001 && c <= 0x007F) {
                bytes[n++] = (byte) c;
            } else if (c <= 0x07FF) {
                bytes[n++] = (byte) (0xC0 | (c >> 6));
                bytes[n++] = (byte) (0x80 | (c & 0x3F));
            } else {
                bytes[n++] = (byte) (0xE0 | (c >> 12));
                bytes[n++] = (byte) (0x80 | ((c >> 6) & 0x3F));
                bytes[n++] = (byte) (0x80 | (c & 0x3F));
            }
        }
        out.write(bytes, 0, n);
        counted(n);
    }

    public final int size() {
        return written;
    }
}
