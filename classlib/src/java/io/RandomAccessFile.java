package java.io;

/**
 * A file read and written at any place: seek sets where the next read or write
 * happens. Mode "r" opens an existing file for reading; "rw" opens it for
 * reading and writing, creating it when it does not exist and keeping what it
 * holds, with the file pointer at 0.
 */
public class RandomAccessFile implements DataOutput, DataInput {
    private FileDescriptor fd;

    static {
        initIDs();
    }

    public RandomAccessFile(String name, String mode) throws IOException {
        boolean rw = mode.equals("rw");
        if (!rw && !mode.equals("r")) {
            throw new IllegalArgumentException("mode must be r or rw");
        }
        if (name == null) {
            throw new NullPointerException();
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkRead(name);
            if (rw) {
                security.checkWrite(name);
            }
        }
        fd = new FileDescriptor();
        try {
            open(name, rw);
        } catch (FileNotFoundException e) {
            throw e;
        } catch (IOException e) {
            String why = e.getMessage();
            if (why == null || why.length() == 0) {
                why = "Cannot open file";
            }
            throw new FileNotFoundException(name + " (" + why + ")");
        }
    }

    public RandomAccessFile(File file, String mode) throws IOException {
        this(file.getPath(), mode);
    }

    public final FileDescriptor getFD() throws IOException {
        if (fd != null) {
            return fd;
        }
        throw new IOException();
    }

    private native void open(String name, boolean writeable) throws IOException;

    /** The byte at the file pointer, 0 to 255, or -1 at the end of the file. */
    public native int read() throws IOException;

    private native int readBytes(byte[] b, int off, int len) throws IOException;

    private static void check(byte[] b, int off, int len) {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new ArrayIndexOutOfBoundsException();
        }
    }

    /** Up to len bytes; the count read, or -1 at the end of the file. */
    public int read(byte[] b, int off, int len) throws IOException {
        check(b, off, len);
        return readBytes(b, off, len);
    }

    public int read(byte[] b) throws IOException {
        return readBytes(b, 0, b.length);
    }

    public final void readFully(byte[] b) throws IOException {
        readFully(b, 0, b.length);
    }

    /** Exactly len bytes, or EOFException when the file ends first. */
    public final void readFully(byte[] b, int off, int len) throws IOException {
        check(b, off, len);
        int n = 0;
        while (n < len) {
            int count = readBytes(b, off + n, len - n);
            if (count < 0) {
                throw new EOFException();
            }
            n += count;
        }
    }

    /** Moves the pointer forward by up to n bytes, never past the end. */
    public int skipBytes(int n) throws IOException {
        if (n <= 0) {
            return 0;
        }
        long pos = getFilePointer();
        long len = length();
        long to = pos + n;
        if (to > len) {
            to = len;
        }
        if (to <= pos) {
            return 0;
        }
        seek(to);
        return (int) (to - pos);
    }

    public native void write(int b) throws IOException;

    private native void writeBytes(byte[] b, int off, int len) throws IOException;

    public void write(byte[] b) throws IOException {
        writeBytes(b, 0, b.length);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        check(b, off, len);
        writeBytes(b, off, len);
    }

    /** The file pointer: where the next read or write happens. */
    public native long getFilePointer() throws IOException;

    /**
     * Moves the file pointer to pos, which may lie past the end: a write there
     * makes the file longer. A negative pos throws IOException.
     */
    public native void seek(long pos) throws IOException;

    public native long length() throws IOException;

    /** Closes the file; closing a closed file does nothing. */
    public native void close() throws IOException;

    private static native void initIDs();

    private int readOne() throws IOException {
        int b = read();
        if (b < 0) {
            throw new EOFException();
        }
        return b;
    }

    public final boolean readBoolean() throws IOException {
        return readOne() != 0;
    }

    public final byte readByte() throws IOException {
        return (byte) readOne();
    }

    public final int readUnsignedByte() throws IOException {
        return readOne();
    }

    public final short readShort() throws IOException {
        int a = readOne();
        int b = readOne();
        return (short) ((a << 8) | b);
    }

    public final int readUnsignedShort() throws IOException {
        int a = readOne();
        int b = readOne();
        return (a << 8) | b;
    }

    public final char readChar() throws IOException {
        int a = readOne();
        int b = readOne();
        return (char) ((a << 8) | b);
    }

    public final int readInt() throws IOException {
        int a = readOne();
        int b = readOne();
        int c = readOne();
        int d = readOne();
        return (a << 24) | (b << 16) | (c << 8) | d;
    }

    public final long readLong() throws IOException {
        long high = readInt();
        long low = readInt() & 0xFFFFFFFFL;
        return (high << 32) | low;
    }

    public final float readFloat() throws IOException {
        return Float.intBitsToFloat(readInt());
    }

    public final double readDouble() throws IOException {
        return Double.longBitsToDouble(readLong());
    }

    /**
     * A line of bytes, each taken as one character, ended by "\n", "\r", "\r\n"
     * or the end of the file; null at the end of the file.
     */
    public final String readLine() throws IOException {
        StringBuffer line = new StringBuffer();
        int c = -1;
        while (true) {
            c = read();
            if (c == -1 || c == '\n') {
                break;
            }
            if (c == '\r') {
                long at = getFilePointer();
                if (read() != '\n') {
                    seek(at);
                }
                break;
            }
            line.append((char) c);
        }
        if (c == -1 && line.length() == 0) {
            return null;
        }
        return line.toString();
    }

    public final String readUTF() throws IOException {
        return DataInputStream.readUTF(this);
    }

    public final void writeBoolean(boolean v) throws IOException {
        write(v ? 1 : 0);
    }

    public final void writeByte(int v) throws IOException {
        write(v);
    }

    public final void writeShort(int v) throws IOException {
        byte[] b = new byte[2];
        b[0] = (byte) (v >>> 8);
        b[1] = (byte) v;
        writeBytes(b, 0, 2);
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
        writeBytes(b, 0, 4);
    }

    public final void writeLong(long v) throws IOException {
        writeInt((int) (v >>> 32));
        writeInt((int) v);
    }

    public final void writeFloat(float v) throws IOException {
        writeInt(Float.floatToIntBits(v));
    }

    public final void writeDouble(double v) throws IOException {
        writeLong(Double.doubleToLongBits(v));
    }

    /** The low byte of each character. */
    public final void writeBytes(String s) throws IOException {
        int n = s.length();
        byte[] b = new byte[n];
        for (int i = 0; i < n; i++) {
            b[i] = (byte) s.charAt(i);
        }
        writeBytes(b, 0, n);
    }

    /** Each character as two bytes, high byte first. */
    public final void writeChars(String s) throws IOException {
        int n = s.length();
        byte[] b = new byte[2 * n];
        for (int i = 0; i < n; i++) {
            char c = s.charAt(i);
            b[2 * i] = (byte) (c >>> 8);
            b[2 * i + 1] = (byte) c;
        }
        writeBytes(b, 0, 2 * n);
    }

    /** The string in modified UTF-8 behind a two-byte length, as DataOutputStream writes it. */
    public final void writeUTF(String str) throws IOException {
        ByteArrayOutputStream buffer = new ByteArrayOutputStream(str.length() + 2);
        new DataOutputStream(buffer).writeUTF(str);
        byte[] b = buffer.toByteArray();
        writeBytes(b, 0, b.length);
    }

    /** Closes a forgotten file. */
    protected void finalize() throws IOException {
        if (fd != null) {
            close();
        }
    }
}
