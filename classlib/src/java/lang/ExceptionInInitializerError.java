package java.lang;

/**
 * Reports an exception thrown by a static initialiser. The machine makes it without a
 * constructor and stores the original exception in the first field declared here, right
 * after Throwable's two.
 */
public class ExceptionInInitializerError extends LinkageError {

    private Throwable exception;

    public ExceptionInInitializerError() {
        super();
    }

    public ExceptionInInitializerError(Throwable thrown) {
        super();
        exception = thrown;
    }

    public ExceptionInInitializerError(String message) {
        super(message);
    }

    public Throwable getException() {
        return exception;
    }
}
