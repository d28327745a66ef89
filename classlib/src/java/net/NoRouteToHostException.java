package java.net;

/**
 * Signals that the remote host could not be reached.
 */
public class NoRouteToHostException extends SocketException {
    public NoRouteToHostException() {
        super();
    }

    public NoRouteToHostException(String msg) {
        super(msg);
    }
}
