package java.net;

import java.io.IOException;

/**
 * A UDP socket. Datagrams of up to 65507 bytes, the most an IPv4 datagram
 * carries, go out whole and come in whole; a datagram longer than the
 * packet's length is cut to it.
 */
public class DatagramSocket {
    DatagramSocketImpl impl;

    /** Bound to any free port on every local address. */
    public DatagramSocket() throws SocketException {
        this(0, null);
    }

    public DatagramSocket(int port) throws SocketException {
        this(port, null);
    }

    /** Bound to port (0: any free port) on laddr (null: every local address). */
    public DatagramSocket(int port, InetAddress laddr) throws SocketException {
        PlainSocketImpl.checkPort(port);
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkListen(port);
        }
        impl = new PlainDatagramSocketImpl();
        impl.create();
        try {
            impl.bind(port, laddr != null ? laddr : InetAddress.anyLocalAddress);
        } catch (SocketException e) {
            impl.close();
            throw PlainSocketImpl.refine(e);
        }
    }

    /**
     * Sends length bytes of the packet's data from its offset on to its
     * address and port.
     */
    public void send(DatagramPacket p) throws IOException {
        byte[] data = p.buf;
        int off = p.offset;
        int len = p.length;
        InetAddress to = p.address;
        int port = p.port;
        if (to == null) {
            throw new IllegalArgumentException("no destination address");
        }
        if (port < 0 || port > 0xFFFF) {
            throw new IllegalArgumentException("port out of range:" + port);
        }
        if (off < 0 || len < 0 || len > data.length - off) {
            throw new IllegalArgumentException("illegal offset or length");
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkConnect(to.getHostAddress(), port);
        }
        byte[] exact = data;
        if (off != 0 || len != data.length) {
            exact = new byte[len];
            System.arraycopy(data, off, exact, 0, len);
        }
        impl.send(new DatagramPacket(exact, len, to, port));
    }

    /**
     * Waits for a datagram (no longer than the timeout, when one is set) and
     * puts it into the packet's data from its offset on, at most its length
     * bytes; length, address and port then tell the datagram's. When the
     * receive fails the packet is left as it was.
     */
    public void receive(DatagramPacket p) throws IOException {
        byte[] data = p.buf;
        int off = p.offset;
        int len = p.length;
        if (off < 0 || len < 0 || len > data.length - off) {
            throw new IllegalArgumentException("illegal offset or length");
        }
        boolean whole = off == 0 && len == data.length;
        DatagramPacket into = new DatagramPacket(whole ? data : new byte[len], len);
        impl.receive(into);
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkAccept(into.address.getHostAddress(), into.port);
        }
        int got = into.length;
        if (!whole) {
            System.arraycopy(into.buf, 0, data, off, got);
        }
        p.address = into.address;
        p.port = into.port;
        p.length = got;
    }

    public InetAddress getLocalAddress() {
        try {
            return (InetAddress) impl.getOption(SocketOptions.SO_BINDADDR);
        } catch (Exception e) {
            return InetAddress.anyLocalAddress;
        }
    }

    public int getLocalPort() {
        return impl.getLocalPort();
    }

    /**
     * How long receive waits, in milliseconds, before InterruptedIOException;
     * 0 waits without limit. Negative values are refused.
     */
    public void setSoTimeout(int timeout) throws SocketException {
        impl.setOption(SocketOptions.SO_TIMEOUT, new Integer(timeout));
    }

    public int getSoTimeout() throws SocketException {
        return ((Integer) impl.getOption(SocketOptions.SO_TIMEOUT)).intValue();
    }

    /** Closes the socket; a thread waiting in receive ends with SocketException. */
    public void close() {
        impl.close();
    }
}
