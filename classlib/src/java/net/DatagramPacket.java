package java.net;

/**
 * A datagram to send or a place to receive one: length bytes of buf from
 * offset on, and the peer's address and port.
 *
 * The datagram natives read buf whole and write length, address and port;
 * DatagramSocket hands them a packet of exactly the bytes in question, so
 * that the offset and length given here are honoured.
 */
public final class DatagramPacket {
    byte[] buf;
    int offset;
    int length;
    InetAddress address;
    int port;

    static {
        init();
    }

    private static native void init();

    /** A packet to receive into the first length bytes of buf. */
    public DatagramPacket(byte[] buf, int length) {
        this(buf, 0, length);
    }

    /** A packet to receive into length bytes of buf from offset on. */
    public DatagramPacket(byte[] buf, int offset, int length) {
        setData(buf, offset, length);
        this.port = -1;
    }

    /** A packet of the first length bytes of buf, to send to address and port. */
    public DatagramPacket(byte[] buf, int length, InetAddress address, int port) {
        this(buf, 0, length, address, port);
    }

    public DatagramPacket(byte[] buf, int offset, int length, InetAddress address, int port) {
        setData(buf, offset, length);
        setAddress(address);
        setPort(port);
    }

    public InetAddress getAddress() {
        return address;
    }

    public int getPort() {
        return port;
    }

    public byte[] getData() {
        return buf;
    }

    public int getOffset() {
        return offset;
    }

    public int getLength() {
        return length;
    }

    public void setData(byte[] buf, int offset, int length) {
        if (buf == null) {
            throw new NullPointerException("null packet buffer");
        }
        if (offset < 0 || length < 0 || length > buf.length - offset) {
            throw new IllegalArgumentException("illegal offset or length");
        }
        this.buf = buf;
        this.offset = offset;
        this.length = length;
    }

    public void setData(byte[] buf) {
        if (buf == null) {
            throw new NullPointerException("null packet buffer");
        }
        setData(buf, 0, buf.length);
    }

    public void setLength(int length) {
        byte[] b = buf;
        if (length < 0 || length > b.length - offset) {
            throw new IllegalArgumentException("illegal length");
        }
        this.length = length;
    }

    public void setAddress(InetAddress address) {
        this.address = address;
    }

    public void setPort(int port) {
        if (port < 0 || port > 0xFFFF) {
            throw new IllegalArgumentException("port out of range:" + port);
        }
        this.port = port;
    }
}
