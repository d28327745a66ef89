package java.io;

/** Signals that the end of a stream was reached in the middle of a read. */
public class EOFException extends IOException {
    public EOFException() {
        super();
    }

    public EOFException(String s) {
        super(s);
    }
}
