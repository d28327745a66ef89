package java.net;

import java.io.FileOutputStream;
import java.io.IOException;

/**
 * The bytes sent on a TCP socket. As with the input stream, the natives reach
 * the socket through impl, the descriptor of the file stream is one of its
 * own that never holds a handle, every file method that would reach a file
 * native is overridden, and finalization closes nothing. A write returns once
 * every byte is with the host.
 */
class SocketOutputStream extends FileOutputStream {
    private SocketImpl impl;

    static {
        init();
    }

    private static native void init();

    private native void socketWrite(byte[] b, int off, int len) throws IOException;

    SocketOutputStream(PlainSocketImpl impl) throws IOException {
        super(new java.io.FileDescriptor());
        this.impl = impl;
    }

    public void write(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new ArrayIndexOutOfBoundsException();
        }
        if (((PlainSocketImpl) impl).isClosed()) {
            throw new SocketException("Socket closed");
        }
        if (len > 0) {
            socketWrite(b, off, len);
        }
    }

    public void write(byte[] b) throws IOException {
        write(b, 0, b.length);
    }

    public void write(int b) throws IOException {
        byte[] one = new byte[1];
        one[0] = (byte) b;
        write(one, 0, 1);
    }

    public void close() throws IOException {
        impl.close();
    }

    protected void finalize() {
    }
}
