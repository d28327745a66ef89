package java.net;

/**
 * Signals that a text is not a valid URL.
 */
public class MalformedURLException extends java.io.IOException {
    public MalformedURLException() {
        super();
    }

    public MalformedURLException(String msg) {
        super(msg);
    }
}
