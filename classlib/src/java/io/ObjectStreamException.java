package java.io;

/** The superclass of the failures of the object streams. */
public abstract class ObjectStreamException extends IOException {
    protected ObjectStreamException(String classname) {
        super(classname);
    }

    protected ObjectStreamException() {
        super();
    }
}
