package java.net;

/**
 * The options a socket implementation takes. TCP_NODELAY, SO_BINDADDR and
 * SO_LINGER reach the stream natives, SO_REUSEADDR, SO_BINDADDR and
 * IP_MULTICAST_IF the datagram natives; SO_TIMEOUT stays in Java, in the
 * implementation's timeout field, which the natives read.
 */
public interface SocketOptions {
    int TCP_NODELAY = 0x0001;
    int SO_BINDADDR = 0x000F;
    int SO_REUSEADDR = 0x04;
    int IP_MULTICAST_IF = 0x10;
    int SO_LINGER = 0x0080;
    int SO_TIMEOUT = 0x1006;

    void setOption(int optID, Object value) throws SocketException;

    Object getOption(int optID) throws SocketException;
}
