package java.io;

/** Reads primitive values written by a DataOutputStream. */
public class DataInputStream extends FilterInputStream implements DataInput {
    private char[] lineBuffer;

    public DataInputStream(InputStream in) {
        super(in);
    }

    public final int read(byte[] b) throws IOException {
        return in.read(b, 0, b.length);
    }

    public final int read(byte[] b, int off, int len) throws IOException {
        return in.read(b, off, len);
    }

    public final void readFully(byte[] b) throws IOException {
        readFully(b, 0, b.length);
    }

    /** Reads exactly len bytes; EOFException when the stream ends first. */
    public final void readFully(byte[] b, int off, int len) throws IOException {
        if (len < 0) {
            throw new IndexOutOfBoundsException();
        }
        int done = 0;
        while (done < len) {
            int n = in.read(b, off + done, len - done);
            if (n < 0) {
                throw new EOFException();
            }
            done += n;
        }
    }

    public final int skipBytes(int n) throws IOException {
        int done = 0;
        while (done < n) {
            int k = (int) in.skip(n - done);
            if (k <= 0) {
                break;
            }
            done += k;
        }
        return done;
    }

    private int readByteOrEOF() throws IOException {
        int c = in.read();
        if (c < 0) {
            throw new EOFException();
        }
        return c;
    }

    public final boolean readBoolean() throws IOException {
        return readByteOrEOF() != 0;
    }

    public final byte readByte() throws IOException {
        return (byte) readByteOrEOF();
    }

    public final int readUnsignedByte() throws IOException {
        return readByteOrEOF();
    }

    public final short readShort() throws IOException {
        int a = readByteOrEOF();
        int b = readByteOrEOF();
        return (short) ((a << 8) | b);
    }

    public final int readUnsignedShort() throws IOException {
        int a = readByteOrEOF();
        int b = readByteOrEOF();
        return (a << 8) | b;
    }

    public final char readChar() throws IOException {
        int a = readByteOrEOF();
        int b = readByteOrEOF();
        return (char) ((a << 8) | b);
    }

    public final int readInt() throws IOException {
        int a = readByteOrEOF();
        int b = readByteOrEOF();
        int c = readByteOrEOF();
        int d = readByteOrEOF();
        return (a << 24) | (b << 16) | (c << 8) | d;
    }

    public final long readLong() throws IOException {
        long hi = readInt();
        long lo = readInt() & 0xFFFFFFFFL;
        return (hi << 32) | lo;
    }

    public final float readFloat() throws IOException {
        return Float.intBitsToFloat(readInt());
    }

    public final double readDouble() throws IOException {
        return Double.longBitsToDouble(readLong());
    }

    /**
     * Reads a line of bytes, each taken as one character, ended by "\n", "\r",
     * "\r\n" or the end of the stream. Returns null at the end of the stream.
     * It does not decode characters properly; BufferedReader.readLine does.
     */
    public final String readLine() throws IOException {
        char[] buf = lineBuffer;
        if (buf == null) {
            buf = new char[128];
            lineBuffer = buf;
        }
        int len = 0;
        int c;
        while (true) {
            c = in.read();
            if (c == -1 || c == '\n') {
                break;
            }
            if (c == '\r') {
                int next = in.read();
                if (next != '\n' && next != -1) {
                    if (!(in instanceof PushbackInputStream)) {
                        in = new PushbackInputStream(in);
                    }
                    ((PushbackInputStream) in).unread(next);
                }
                break;
            }
            if (len == buf.length) {
                char[] bigger = new char[buf.length * 2];
                System.arraycopy(buf, 0, bigger, 0, len);
                buf = bigger;
                lineBuffer = buf;
            }
            buf[len++] = (char) c;
        }
        if (c == -1 && len == 0) {
            return null;
        }
        return new String(buf, 0, len);
    }

    public final String readUTF() throws IOException {
        return readUTF(this);
    }

    /**
     * Reads a string in the modified UTF-8 format of writeUTF: a two-byte
     * length, then that many bytes of one-, two- and three-byte sequences.
     */
    public static final String readUTF(DataInput in) throws IOException {
        int utflen = in.readUnsignedShort();
        byte[] bytes = new byte[utflen];
        in.readFully(bytes, 0, utflen);
        char[] chars = new char[utflen];
        int n = 0;
        int i = 0;
        while (i < utflen) {
            int a = bytes[i] & 0xFF;
            if (a < 0x80) {
                chars[n++] = (char) a;
                i++;
            } else if ((a & 0xE0) == 0xC0) {
                if (i + 1 >= utflen) {
                    throw new UTFDataFormatException();
                }
                int b = bytes[i + 1] & 0xFF;
                if ((b & 0xC0) != 0x80) {
                    throw new UTFDataFormatException();
                }
                chars[n++] = (char) (((a & 0x1F) << 6) | (b & 0x3F));
                i += 2;
            } else if ((a & 0xF0) == 0xE0) {
                if (i + 2 >= utflen) {
                    throw new UTFDataFormatException();
                }
                int b = bytes[i + 1] & 0xFF;
                int c = bytes[i + 2] & 0xFF;
                if ((b & 0xC0) != 0x80 || (c & 0xC0) != 0x80) {
                    throw new UTFDataFormatException();
                }
                chars[n++] = (char) (((a & 0x0F) << 12) | ((b & 0x3F) << 6) | (c & 0x3F));
                i += 3;
            } else {
                throw new UTFDataFormatException();
            }
        }
        return new String(chars, 0, n);
    }
}
