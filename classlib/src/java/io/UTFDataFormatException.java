package java.io;

/** Signals a malformed modified UTF-8 string in a data stream. */
public class UTFDataFormatException extends IOException {
    public UTFDataFormatException() {
        super();
    }

    public UTFDataFormatException(String s) {
        super(s);
    }
}
