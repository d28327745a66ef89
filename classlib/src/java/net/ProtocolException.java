package java.net;

/**
 * Signals an error in the protocol spoken over a connection.
 */
public class ProtocolException extends java.io.IOException {
    public ProtocolException() {
        super();
    }

    public ProtocolException(String msg) {
        super(msg);
    }
}
