package java.lang;

public class IllegalAccessException extends Exception {

    public IllegalAccessException() {
        super();
    }

    public IllegalAccessException(String message) {
        super(message);
    }
}
