package java.io;

/**
 * Signals that an input or output operation was interrupted or timed out.
 * Instances raised by the socket natives are made without a constructor,
 * so bytesTransferred is then 0.
 */
public class InterruptedIOException extends IOException {
    /** How many bytes had been moved before the interruption. */
    public int bytesTransferred;

    public InterruptedIOException() {
        super();
    }

    public InterruptedIOException(String s) {
        super(s);
    }
}
