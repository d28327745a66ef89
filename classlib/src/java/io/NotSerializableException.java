package java.io;

/** An object that is neither Serializable nor Externalizable; the message is its class. */
public class NotSerializableException extends ObjectStreamException {
    public NotSerializableException(String className) {
        super(className);
    }

    public NotSerializableException() {
        super();
    }
}
