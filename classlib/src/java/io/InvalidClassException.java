package java.io;

/**
 * A class that the object streams cannot use: its version does not match the stream's,
 * it has a field type the stream does not, or it cannot be made.
 */
public class InvalidClassException extends ObjectStreamException {
    /** The name of the class, or null. */
    public String classname;

    public InvalidClassException(String reason) {
        super(reason);
    }

    public InvalidClassException(String cname, String reason) {
        super(reason);
        classname = cname;
    }

    /** The reason, after the class name when there is one. */
    public String getMessage() {
        if (classname == null) {
            return super.getMessage();
        }
        return classname + "; " + super.getMessage();
    }
}
