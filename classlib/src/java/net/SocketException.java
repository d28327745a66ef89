package java.net;

/**
 * Signals that a socket operation failed. The socket natives raise it by name
 * without running a constructor, so only its message may be relied on.
 */
public class SocketException extends java.io.IOException {
    public SocketException() {
        super();
    }

    public SocketException(String msg) {
        super(msg);
    }
}
