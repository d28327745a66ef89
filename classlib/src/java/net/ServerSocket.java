package java.net;

import java.io.FileDescriptor;
import java.io.IOException;

/** A TCP socket listening for connections. */
public class ServerSocket {
    SocketImpl impl;

    private static SocketImplFactory factory;

    public ServerSocket(int port) throws IOException {
        this(port, 50, null);
    }

    public ServerSocket(int port, int backlog) throws IOException {
        this(port, backlog, null);
    }

    /** Listens at port (0: any free port) on bindAddr (null: every local address). */
    public ServerSocket(int port, int backlog, InetAddress bindAddr) throws IOException {
        SocketImplFactory f = factory;
        impl = f != null ? f.createSocketImpl() : new PlainSocketImpl();
        PlainSocketImpl.checkPort(port);
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkListen(port);
        }
        try {
            impl.create(true);
            if (impl instanceof PlainSocketImpl) {
                ((PlainSocketImpl) impl).reuseAddress();
            }
            impl.bind(bindAddr != null ? bindAddr : InetAddress.anyLocalAddress, port);
            impl.listen(backlog < 1 ? 50 : backlog);
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

    public int getLocalPort() {
        return impl.getLocalPort();
    }

    /** Waits for a connection (no longer than the timeout, when one is set). */
    public Socket accept() throws IOException {
        Socket s = new Socket();
        implAccept(s);
        return s;
    }

    /**
     * Accepts a connection into s. The accept fills in the address and the
     * descriptor it is given, so both are new objects of s's alone.
     */
    protected final void implAccept(Socket s) throws IOException {
        SocketImpl si = s.impl;
        si.address = new InetAddress();
        si.fd = new FileDescriptor();
        try {
            impl.accept(si);
            SecurityManager security = System.getSecurityManager();
            if (security != null) {
                security.checkAccept(si.getInetAddress().getHostAddress(), si.getPort());
            }
        } catch (IOException e) {
            si.close();
            throw e;
        } catch (RuntimeException e) {
            si.close();
            throw e;
        }
    }

    /** Closes the socket; a thread waiting in accept ends with SocketException. */
    public void close() throws IOException {
        impl.close();
    }

    public void setSoTimeout(int timeout) throws SocketException {
        impl.setOption(SocketOptions.SO_TIMEOUT, new Integer(timeout));
    }

    public int getSoTimeout() throws IOException {
        return ((Integer) impl.getOption(SocketOptions.SO_TIMEOUT)).intValue();
    }

    public String toString() {
        return "ServerSocket[addr=" + impl.getInetAddress() + ",port=" + impl.getPort() + ",localport="
                + impl.getLocalPort() + "]";
    }

    public static void setSocketFactory(SocketImplFactory fac) throws IOException {
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
