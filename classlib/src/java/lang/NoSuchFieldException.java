package java.lang;

public class NoSuchFieldException extends Exception {

    public NoSuchFieldException() {
        super();
    }

    public NoSuchFieldException(String message) {
        super(message);
    }
}
