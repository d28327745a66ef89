package nimbrel.tavik.jrt.serialization;

import java.io.IOException;
import java.io.InputStream;

/* The reading twin, under the later library's name. */
public class VqObjectInputStream extends corvane.sql.Tavik.VqObjectInputStream {
    public static int made;

    public VqObjectInputStream(InputStream in) throws IOException {
        super(in);
        made++;
    }
}
