package java.io;

/** Signals that a file could not be opened. */
public class FileNotFoundException extends IOException {
    public FileNotFoundException() {
        super();
    }

    public FileNotFoundException(String s) {
        super(s);
    }
}
