package java.security;

/** The checked exception a PrivilegedExceptionAction threw, as doPrivileged passes it on. */
public class PrivilegedActionException extends Exception {

    private Exception exception;

    public PrivilegedActionException(Exception exception) {
        super(null);
        this.exception = exception;
    }

    public Exception getException() {
        return exception;
    }

    public String toString() {
        String name = getClass().getName();
        return exception == null ? name : name + ": " + exception.toString();
    }
}
