package java.io;

/** An object read whole that fails its own checks. */
public class InvalidObjectException extends ObjectStreamException {
    public InvalidObjectException(String reason) {
        super(reason);
    }
}
