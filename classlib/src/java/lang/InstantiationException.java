package java.lang;

public class InstantiationException extends Exception {

    public InstantiationException() {
        super();
    }

    public InstantiationException(String message) {
        super(message);
    }
}
