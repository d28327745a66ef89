package java.net;

/**
 * Signals that nothing accepted a connection at the remote address and port.
 */
public class ConnectException extends SocketException {
    public ConnectException() {
        super();
    }

    public ConnectException(String msg) {
        super(msg);
    }
}
