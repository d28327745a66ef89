package java.io;

/**
 * An object was read where the stream holds primitive data, or the end of a class's own
 * data came first. Made by the object streams only.
 */
public class OptionalDataException extends ObjectStreamException {
    /** The bytes of primitive data that can be read at once. */
    public int length;
    /** True when the end of the class's own data came first. */
    public boolean eof;

    OptionalDataException(int len) {
        eof = false;
        length = len;
    }

    OptionalDataException(boolean end) {
        length = 0;
        eof = end;
    }
}
