import java.io.IOException;
import java.io.InputStream;
import java.util.Enumeration;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/* Daemon threads that read the entries of one ZipFile over and over: every read of an
   entry's bytes holds the archive's file monitor (a machine monitor) around its seek and
   host read, so while one read waits in the host the other reader waits for the monitor. */
public class EndingZipReaders {
    static ZipFile zip;

    public static void open(String path) throws IOException {
        zip = new ZipFile(path);
        readAll();  // every class the readers use is loaded now
    }

    static void readAll() throws IOException {
        byte[] b = new byte[512];
        Enumeration e = zip.entries();
        while (e.hasMoreElements()) {
            InputStream in = zip.getInputStream((ZipEntry) e.nextElement());
            while (in.read(b, 0, b.length) > 0) {
            }
            in.close();
        }
    }

    public static void start() {
        for (int i = 0; i < 2; i++) {
            Thread t = new Thread() {
                public void run() {
                    try {
                        for (;;) readAll();
                    } catch (IOException e) {
                    }
                }
            };
            t.setDaemon(true);
            t.start();
        }
    }
}
