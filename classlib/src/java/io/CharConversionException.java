package java.io;

/** Signals bytes that do not decode, or characters that do not encode. */
public class CharConversionException extends IOException {
    public CharConversionException() {
        super();
    }

    public CharConversionException(String s) {
        super(s);
    }
}
