package java.lang;

public class TavikSerializationError extends Error {

    public TavikSerializationError() {
        super();
    }

    public TavikSerializationError(String message) {
        super(message);
    }
}
