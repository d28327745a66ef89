package java.net;

import java.io.FileInputStream;
import java.io.IOException;

/**
 * The bytes that arrive on a TCP socket.
 *
 * The natives reach the socket through impl, whose timeout the read waits.
 * The descriptor this stream has as a file stream is one of its own that
 * never holds a handle: getFD hands it out, and a file stream made on the
 * socket's own could close the socket's handle behind its back. Every method
 * of the file stream that would reach a file native is overridden here, and a
 * collected stream closes nothing (the socket outlives its streams).
 */
class SocketInputStream extends FileInputStream {
    private boolean eof;
    private SocketImpl impl;

    static {
        init();
    }

    private static native void init();

    /** Bytes read into b[off..off+len), 0 at the end of the stream. */
    private native int socketRead(byte[] b, int off, int len) throws IOException;

    SocketInputStream(PlainSocketImpl impl) throws IOException {
        super(new java.io.FileDescriptor());
        this.impl = impl;
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new ArrayIndexOutOfBoundsException();
        }
        if (eof) {
            return -1;
        }
        if (((PlainSocketImpl) impl).isClosed()) {
            throw new SocketException("Socket closed");
        }
        if (len == 0) {
            return 0;
        }
        int n = socketRead(b, off, len);
        if (n <= 0) {
            eof = true;
            return -1;
        }
        return n;
    }

    public int read(byte[] b) throws IOException {
        return read(b, 0, b.length);
    }

    public int read() throws IOException {
        byte[] one = new byte[1];
        int n = read(one, 0, 1);
        return n <= 0 ? -1 : one[0] & 0xFF;
    }

    public long skip(long n) throws IOException {
        if (n <= 0) {
            return 0;
        }
        byte[] buf = new byte[(int) Math.min(n, 1024)];
        long left = n;
        while (left > 0) {
            int got = read(buf, 0, (int) Math.min(left, buf.length));
            if (got < 0) {
                break;
            }
            left -= got;
        }
        return n - left;
    }

    public int available() throws IOException {
        if (eof) {
            return 0;
        }
        return impl.available();
    }

    /** Closes the socket, as closing either of its streams does. */
    public void close() throws IOException {
        impl.close();
    }

    protected void finalize() {
    }
}
