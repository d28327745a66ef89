package java.net;

import java.io.FileDescriptor;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;

/**
 * TCP sockets over the host's network services.
 *
 * The natives keep nothing between calls: the socket's state is fd (the
 * host handle + 1 in its descriptor, -1 once closed), address, port,
 * localport, and timeout, which accept and the input stream's reads wait.
 * Monitors take no lock here, so nothing below relies on one: a field is read
 * once into a local, and a close racing another close or a transfer is
 * answered by the host's handles, which are never reused.
 */
class PlainSocketImpl extends SocketImpl {
    /** Milliseconds accept and read wait; 0 waits without limit. */
    int timeout;

    static {
        initProto();
    }

    private static native void initProto();

    private native void socketCreate(boolean stream) throws IOException;

    private native void socketConnect(InetAddress address, int port) throws IOException;

    private native void socketBind(InetAddress address, int port) throws IOException;

    private native void socketListen(int count) throws IOException;

    private native void socketAccept(SocketImpl s) throws IOException;

    private native int socketAvailable() throws IOException;

    private native void socketClose() throws IOException;

    private native void socketSetOption(int cmd, boolean on, Object value) throws SocketException;

    private native int socketGetOption(int opt) throws SocketException;

    protected void create(boolean stream) throws IOException {
        fd = new FileDescriptor();
        socketCreate(stream);
    }

    protected void connect(String host, int port) throws IOException {
        InetAddress address;
        try {
            address = InetAddress.getByName(host);
        } catch (UnknownHostException e) {
            close();
            throw e;
        }
        connect(address, port);
    }

    protected void connect(InetAddress address, int port) throws IOException {
        checkPort(port);
        if (address == null) {
            throw new NullPointerException();
        }
        try {
            socketConnect(address, port);
        } catch (SocketException e) {
            close();
            throw refine(e);
        } catch (IOException e) {
            close();
            throw e;
        }
    }

    protected void bind(InetAddress host, int port) throws IOException {
        checkPort(port);
        if (host == null) {
            throw new NullPointerException();
        }
        try {
            socketBind(host, port);
        } catch (SocketException e) {
            throw refine(e);
        }
    }

    protected void listen(int count) throws IOException {
        socketListen(count);
    }

    protected void accept(SocketImpl s) throws IOException {
        socketAccept(s);
    }

    protected InputStream getInputStream() throws IOException {
        if (fd == null) {
            throw new SocketException("Socket closed");
        }
        return new SocketInputStream(this);
    }

    protected OutputStream getOutputStream() throws IOException {
        if (fd == null) {
            throw new SocketException("Socket closed");
        }
        return new SocketOutputStream(this);
    }

    protected int available() throws IOException {
        return socketAvailable();
    }

    /**
     * Closes the socket; closing again does nothing. The descriptor object is
     * shared with the streams, which see it closed from now on.
     */
    protected void close() throws IOException {
        if (fd != null) {
            try {
                socketClose();
            } catch (SocketException e) {
                // Another thread's close came first.
            }
            fd = null;
        }
    }

    /**
     * Lets a listener take a port whose last connection still lingers
     * (TIME_WAIT), so that a server comes back on its port at once. Not an
     * option of setOption; a host that refuses it leaves the socket as it was.
     */
    void reuseAddress() {
        try {
            socketSetOption(SO_REUSEADDR, true, null);
        } catch (SocketException e) {
        }
    }

    /** True once close has run. */
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
        case TCP_NODELAY:
            if (!(value instanceof Boolean)) {
                throw new SocketException("Bad parameter for TCP_NODELAY");
            }
            socketSetOption(opt, ((Boolean) value).booleanValue(), null);
            return;
        case SO_LINGER:
            if (value instanceof Boolean && !((Boolean) value).booleanValue()) {
                socketSetOption(opt, false, null);
                return;
            }
            if (!(value instanceof Integer)) {
                throw new SocketException("Bad parameter for SO_LINGER");
            }
            int seconds = ((Integer) value).intValue();
            if (seconds < 0) {
                throw new IllegalArgumentException("linger can't be negative");
            }
            if (seconds > 65535) {
                seconds = 65535;
            }
            socketSetOption(opt, true, new Integer(seconds));
            return;
        default:
            throw new SocketException("unrecognized TCP option: " + opt);
        }
    }

    public Object getOption(int opt) throws SocketException {
        if (fd == null) {
            throw new SocketException("Socket closed");
        }
        switch (opt) {
        case SO_TIMEOUT:
            return new Integer(timeout);
        case TCP_NODELAY:
            return socketGetOption(opt) == -1 ? Boolean.FALSE : Boolean.TRUE;
        case SO_LINGER: {
            int seconds = socketGetOption(opt);
            return seconds == -1 ? (Object) Boolean.FALSE : (Object) new Integer(seconds);
        }
        case SO_BINDADDR: {
            int a = socketGetOption(opt);
            return a == -1 ? InetAddress.anyLocalAddress : new InetAddress(null, a);
        }
        default:
            throw new SocketException("unrecognized TCP option: " + opt);
        }
    }

    /** A forgotten socket is closed. */
    protected void finalize() throws IOException {
        close();
    }

    static void checkPort(int port) {
        if (port < 0 || port > 0xFFFF) {
            throw new IllegalArgumentException("port out of range:" + port);
        }
    }

    /**
     * The natives report every failure as SocketException with the host's text
     * after the operation's message; a refused connection, an unreachable host
     * and a port in use have exceptions of their own.
     */
    static SocketException refine(SocketException e) {
        String m = e.getMessage();
        if (m == null) {
            return e;
        }
        if (m.startsWith("Connect failed")) {
            if (m.endsWith("Connection refused")) {
                return new ConnectException(m);
            }
            if (m.endsWith("No route to host") || m.endsWith("Network is unreachable")) {
                return new NoRouteToHostException(m);
            }
        }
        if (m.startsWith("Cannot bind socket")) {
            return new BindException(m);
        }
        return e;
    }
}
