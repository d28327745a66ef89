package java.util;

/** Signals a pop or peek on an empty Stack. */
public class EmptyStackException extends RuntimeException {
    public EmptyStackException() {
        super();
    }
}
