package java.util;

/** Signals that an enumeration or container has no further element. */
public class NoSuchElementException extends RuntimeException {
    public NoSuchElementException() {
        super();
    }

    public NoSuchElementException(String s) {
        super(s);
    }
}
