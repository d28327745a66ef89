package java.lang.reflect;

/**
 * Wraps an exception thrown by a method called through reflection. The machine makes it
 * without a constructor and stores the wrapped exception in the first field declared here.
 */
public class InvocationTargetException extends Exception {

    private Throwable target;

    protected InvocationTargetException() {
        super();
    }

    public InvocationTargetException(Throwable target) {
        super();
        this.target = target;
    }

    public InvocationTargetException(Throwable target, String s) {
        super(s);
        this.target = target;
    }

    public Throwable getTargetException() {
        return target;
    }
}
