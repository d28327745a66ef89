package java.net;

/**
 * Signals that a host name could not be turned into an address. The look-up
 * natives raise it with an empty message; InetAddress raises it again naming
 * the host.
 */
public class UnknownHostException extends java.io.IOException {
    public UnknownHostException() {
        super();
    }

    public UnknownHostException(String msg) {
        super(msg);
    }
}
