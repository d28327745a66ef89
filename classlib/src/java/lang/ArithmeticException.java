package java.lang;

public class ArithmeticException extends RuntimeException {

    public ArithmeticException() {
        super();
    }

    public ArithmeticException(String message) {
        super(message);
    }
}
