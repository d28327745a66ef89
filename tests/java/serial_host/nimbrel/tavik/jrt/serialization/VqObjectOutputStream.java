package nimbrel.tavik.jrt.serialization;

import java.io.IOException;
import java.io.OutputStream;

/* The host's object stream of the trailing section under its later library's name. */
public class VqObjectOutputStream extends corvane.sql.Tavik.VqObjectOutputStream {
    public static int made;

    public VqObjectOutputStream(OutputStream out) throws IOException {
        super(out);
        made++;
    }
}
