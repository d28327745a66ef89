package java.util.zip;

/** Compressed data that cannot be decoded. */
public class DataFormatException extends Exception {
    public DataFormatException() {
    }

    public DataFormatException(String s) {
        super(s);
    }
}
