package java.io;

/** Stream data that breaks the rules of the object stream format. */
public class StreamCorruptedException extends ObjectStreamException {
    public StreamCorruptedException(String reason) {
        super(reason);
    }

    public StreamCorruptedException() {
        super();
    }
}
