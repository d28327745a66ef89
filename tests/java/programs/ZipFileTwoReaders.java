import java.io.File;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/*
 * Two threads each read their own stored entry of one open ZipFile, over and over, and check
 * every byte: entry streams share no file position (synchronized excludes nothing on this
 * machine), so neither ever gets the other's bytes or a header read at the other's offset.
 * Writes and deletes two-readers.zip in the working directory.
 */
public class ZipFileTwoReaders {
    static volatile int foreign;
    static volatile int errors;

    public static void main(String[] args) throws Exception {
        File f = new File("two-readers.zip");
        ZipOutputStream zo = new ZipOutputStream(new FileOutputStream(f));
        for (int k = 0; k < 2; k++) {
            byte[] body = new byte[200000];
            for (int i = 0; i < body.length; i++) {
                body[i] = (byte) ('a' + k);
            }
            ZipEntry e = new ZipEntry(k == 0 ? "a.bin" : "b.bin");
            e.setMethod(ZipEntry.STORED);
            e.setSize(body.length);
            CRC32 crc = new CRC32();
            crc.update(body);
            e.setCrc(crc.getValue());
            zo.putNextEntry(e);
            zo.write(body);
            zo.closeEntry();
        }
        zo.close();
        final ZipFile z = new ZipFile(f);
        final int rounds = args.length > 0 ? Integer.parseInt(args[0]) : 20;
        Thread[] ts = new Thread[2];
        for (int k = 0; k < 2; k++) {
            final String name = k == 0 ? "a.bin" : "b.bin";
            final byte fill = (byte) ('a' + k);
            ts[k] = new Thread() {
                public void run() {
                    byte[] buf = new byte[37];
                    for (int r = 0; r < rounds; r++) {
                        try {
                            InputStream in = z.getInputStream(z.getEntry(name));
                            int n;
                            while ((n = in.read(buf, 0, buf.length)) > 0) {
                                for (int i = 0; i < n; i++) {
                                    if (buf[i] != fill) {
                                        foreign++;
                                        break;
                                    }
                                }
                            }
                            in.close();
                        } catch (Exception e) {
                            errors++;
                        }
                    }
                }
            };
        }
        ts[0].start();
        ts[1].start();
        ts[0].join();
        ts[1].join();
        z.close();
        f.delete();
        System.out.println("foreign bytes " + (foreign > 0 ? "> 0" : "0") + ", errors " + (errors > 0 ? "> 0" : "0"));
    }
}
