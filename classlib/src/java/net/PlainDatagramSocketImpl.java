package java.net;

import java.io.FileDescriptor;
import java.io.IOException;

/**
 * UDP sockets over the host's network services. bind, send, peek, receive,
 * the time-to-live and the group memberships are the natives themselves.
 *
 * The natives read the packet's whole array and write its length, address
 * and port; DatagramSocket gives them packets of exactly the bytes meant.
 * A close forgets the descriptor, so any later use says "Socket closed"
 * without reaching the host.
 */
class PlainDatagramSocketImpl extends DatagramSocketImpl {
    /** Milliseconds peek and receive wait; 0 waits without limit. */
    int timeout;

    static {
        init();
    }

    private static native void init();

    protected native void bind(int lport, InetAddress laddr) throws SocketException;

    protected native void send(DatagramPacket p) throws IOException;

    protected native int peek(InetAddress i) throws IOException;

    protected native void receive(DatagramPacket p) throws IOException;

    protected native void setTTL(byte ttl) throws IOException;

    protected native byte getTTL() throws IOException;

    protected native void join(InetAddress inetaddr) throws IOException;

    protected native void leave(InetAddress inetaddr) throws IOException;

    private native void datagramSocketCreate() throws SocketException;

    private native void datagramSocketClose() throws SocketException;

    private native void socketSetOption(int opt, Object value) throws SocketException;

    private native int socketGetOption(int opt) throws SocketException;

    protected void create() throws SocketException {
        fd = new FileDescriptor();
        datagramSocketCreate();
    }

    protected void close() {
        if (fd != null) {
            try {
                datagramSocketClose();
            } catch (SocketException e) {
                // Another thread's close came first.
            }
            fd = null;
        }
    }

    boolean isClosed() {
        return fd == null;
    }

    public void setOption(int opt, Object value) throws SocketException {
        if (fd == null) {
            throw new SocketException("Socket closed");
        }
        switch (opt) {
        case SO_TIMEOUT:
            if (!(value instanceof Integer)) {
                throw new SocketException("Bad parameter for SO_TIMEOUT");
            }
            int t = ((Integer) value).intValue();
            if (t < 0) {
                throw new IllegalArgumentException("timeout can't be negative");
            }
            timeout = t;
            return;
        case SO_REUSEADDR:
            if (value instanceof Boolean) {
                value = new Integer(((Boolean) value).booleanValue() ? 1 : 0);
            }
            if (!(value instanceof Integer)) {
                throw new SocketException("Bad parameter for SO_REUSEADDR");
            }
            socketSetOption(opt, value);
            return;
        case IP_MULTICAST_IF:
            if (!(value instanceof InetAddress)) {
                throw new SocketException("Bad parameter for IP_MULTICAST_IF");
            }
            socketSetOption(opt, value);
            return;
        default:
            throw new SocketException("invalid option: " + opt);
        }
    }

    public Object getOption(int opt) throws SocketException {
        if (fd == null) {
            throw new SocketException("Socket closed");
        }
        switch (opt) {
        case SO_TIMEOUT:
            return new Integer(timeout);
        case SO_BINDADDR:
        case IP_MULTICAST_IF: {
            int a = socketGetOption(opt);
            return a == 0 ? InetAddress.anyLocalAddress : new InetAddress(null, a);
        }
        default:
            throw new SocketException("invalid option: " + opt);
        }
    }

    /** A forgotten socket is closed. */
    protected void finalize() {
        close();
    }
}
