package java.io;

/**
 * Signals that an input or output operation failed or was interrupted.
 * The machine raises this class by name without running a constructor, so
 * it must stay usable with only its message set.
 */
public class IOException extends Exception {
    public IOException() {
        super();
    }

    public IOException(String s) {
        super(s);
    }
}
