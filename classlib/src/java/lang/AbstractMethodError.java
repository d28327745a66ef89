package java.lang;

public class AbstractMethodError extends IncompatibleClassChangeError {

    public AbstractMethodError() {
        super();
    }

    public AbstractMethodError(String message) {
        super(message);
    }
}
