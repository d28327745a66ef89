package java.net;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;

/** The client end of a TCP connection, or a connection a ServerSocket accepted. */
public class Socket {
    SocketImpl impl;

    private static SocketImplFactory factory;

    /** An unconnected socket, for ServerSocket.accept to fill. */
    protected Socket() {
        SocketImplFactory f = factory;
        impl = f != null ? f.createSocketImpl() : new PlainSocketImpl();
    }

    protected Socket(SocketImpl impl) throws SocketException {
        this.impl = impl;
    }

    public Socket(String host, int port) throws UnknownHostException, IOException {
        this(InetAddress.getByName(host), port, null, 0, true);
    }

    public Socket(InetAddress address, int port) throws IOException {
        this(address, port, null, 0, true);
    }

    public Socket(String host, int port, InetAddress localAddr, int localPort) throws IOException {
        this(InetAddress.getByName(host), port, localAddr, localPort, true);
    }

    public Socket(InetAddress address, int port, InetAddress localAddr, int localPort) throws IOException {
        this(address, port, localAddr, localPort, true);
    }

    /** A stream socket when stream is true; datagram sockets are DatagramSocket's. */
    public Socket(String host, int port, boolean stream) throws IOException {
        this(InetAddress.getByName(host), port, null, 0, stream);
    }

    public Socket(InetAddress host, int port, boolean stream) throws IOException {
        this(host, port, null, 0, stream);
    }

    private Socket(InetAddress address, int port, InetAddress localAddr, int localPort, boolean stream)
            throws IOException {
        this();
        if (address == null) {
            throw new NullPointerException();
        }
        PlainSocketImpl.checkPort(port);
        PlainSocketImpl.checkPort(localPort);
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkConnect(address.getHostAddress(), port);
        }
        try {
            impl.create(stream);
            if (localAddr != null || localPort > 0) {
                impl.bind(localAddr != null ? localAddr : InetAddress.anyLocalAddress, localPort);
            }
            impl.connect(address, port);
        } catch (IOException e) {
            impl.close();
            throw e;
        } catch (RuntimeException e) {
            impl.close();
            throw e;
        }
    }

    public InetAddress getInetAddress() {
        return impl.getInetAddress();
    }

    /** The local address the socket is bound to; the wildcard address when unknown. */
    public InetAddress getLocalAddress() {
        try {
            return (InetAddress) impl.getOption(SocketOptions.SO_BINDADDR);
        } catch (Exception e) {
            return InetAddress.anyLocalAddress;
        }
    }

    public int getPort() {
        return impl.getPort();
    }

    public int getLocalPort() {
        return impl.getLocalPort();
    }

    public InputStream getInputStream() throws IOException {
        return impl.getInputStream();
    }

    public OutputStream getOutputStream() throws IOException {
        return impl.getOutputStream();
    }

    public void setTcpNoDelay(boolean on) throws SocketException {
        impl.setOption(SocketOptions.TCP_NODELAY, on ? Boolean.TRUE : Boolean.FALSE);
    }

    public boolean getTcpNoDelay() throws SocketException {
        return ((Boolean) impl.getOption(SocketOptions.TCP_NODELAY)).booleanValue();
    }

    /** Lingers up to linger seconds on close while unsent data remains (at most 65535). */
    public void setSoLinger(boolean on, int linger) throws SocketException {
        if (!on) {
            impl.setOption(SocketOptions.SO_LINGER, Boolean.FALSE);
        } else {
            impl.setOption(SocketOptions.SO_LINGER, new Integer(linger));
        }
    }

    /** The linger time in seconds, or -1 when lingering is off. */
    public int getSoLinger() throws SocketException {
        Object o = impl.getOption(SocketOptions.SO_LINGER);
        return o instanceof Integer ? ((Integer) o).intValue() : -1;
    }

    /**
     * How long a read waits, in milliseconds, before InterruptedIOException;
     * 0 waits without limit. Negative values are refused.
     */
    public void setSoTimeout(int timeout) throws SocketException {
        impl.setOption(SocketOptions.SO_TIMEOUT, new Integer(timeout));
    }

    public int getSoTimeout() throws SocketException {
        return ((Integer) impl.getOption(SocketOptions.SO_TIMEOUT)).intValue();
    }

    public void close() throws IOException {
        impl.close();
    }

    public String toString() {
        return "Socket[addr=" + impl.getInetAddress() + ",port=" + impl.getPort() + ",localport="
                + impl.getLocalPort() + "]";
    }

    public static void setSocketImplFactory(SocketImplFactory fac) throws IOException {
        if (factory != null) {
            throw new SocketException("factory already defined");
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkSetFactory();
        }
        factory = fac;
    }
}
