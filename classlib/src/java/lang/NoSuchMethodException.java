package java.lang;

public class NoSuchMethodException extends Exception {

    public NoSuchMethodException() {
        super();
    }

    public NoSuchMethodException(String message) {
        super(message);
    }
}
