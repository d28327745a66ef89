package java.io;

/** Signals that a character encoding is not supported. */
public class UnsupportedEncodingException extends IOException {
    public UnsupportedEncodingException() {
        super();
    }

    public UnsupportedEncodingException(String s) {
        super(s);
    }
}
