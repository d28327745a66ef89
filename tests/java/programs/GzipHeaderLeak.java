import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.util.zip.GZIPInputStream;
import java.util.zip.Inflater;

/*
 * Probing data that is not GZIP with new GZIPInputStream, more times than the machine's
 * compression budget holds Inflaters: a constructor that throws must give its Inflater back
 * (no caller could close it), and every probe gets its ZipException. A new Inflater is made
 * afterwards.
 */
public class GzipHeaderLeak {
    public static void main(String[] args) {
        byte[] notGzip = "plain text, not gzip".getBytes();
        int notGz = 0, refused = 0;
        for (int i = 0; i < 10; i++) {
            try {
                new GZIPInputStream(new ByteArrayInputStream(notGzip));
            } catch (IOException e) {
                notGz++;
            } catch (OutOfMemoryError e) {
                refused++;
            }
        }
        System.out.println("not gzip: " + notGz + ", refused: " + refused);
        try {
            new Inflater().end();
            System.out.println("a new Inflater is made");
        } catch (OutOfMemoryError e) {
            System.out.println("a new Inflater is refused");
        }
    }
}
