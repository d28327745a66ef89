package java.util.zip;

import java.io.IOException;

/** A damaged zip or GZIP stream, or one that cannot be read. */
public class ZipException extends IOException {
    public ZipException() {
    }

    public ZipException(String s) {
        super(s);
    }
}
