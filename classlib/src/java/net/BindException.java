package java.net;

/**
 * Signals that a socket could not be bound to the local address and port
 * asked for, usually because another socket holds the port.
 */
public class BindException extends SocketException {
    public BindException() {
        super();
    }

    public BindException(String msg) {
        super(msg);
    }
}
