package java.io;

/** A call that only a class's own writeObject or readObject may make, made elsewhere. */
public class NotActiveException extends ObjectStreamException {
    public NotActiveException(String reason) {
        super(reason);
    }

    public NotActiveException() {
        super();
    }
}
