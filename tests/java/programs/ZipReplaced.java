import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/*
 * A ZipFile reads the archive it opened: its name later given to another archive (a jar
 * redeployed in place), or to no file at all (removed while open), changes nothing for the
 * streams it hands out, stored or deflated. Writes and deletes zr-*.zip in the working
 * directory.
 */
public class ZipReplaced {
    static void write(File f, String text, int method) throws IOException {
        ZipOutputStream z = new ZipOutputStream(new FileOutputStream(f));
        ZipEntry e = new ZipEntry("a.txt");
        byte[] b = text.getBytes();
        if (method == ZipEntry.STORED) {
            CRC32 crc = new CRC32();
            crc.update(b, 0, b.length);
            e.setMethod(ZipEntry.STORED);
            e.setSize(b.length);
            e.setCrc(crc.getValue());
        }
        z.putNextEntry(e);
        z.write(b, 0, b.length);
        z.closeEntry();
        z.close();
    }

    static String read(ZipFile z) {
        try {
            InputStream in = z.getInputStream(z.getEntry("a.txt"));
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            int c;
            while ((c = in.read()) != -1) {
                out.write(c);
            }
            in.close();
            return "\"" + out.toString() + "\"";
        } catch (IOException e) {
            return e.getClass().getName();
        }
    }

    public static void main(String[] args) throws Exception {
        int[] methods = {ZipEntry.STORED, ZipEntry.DEFLATED};
        for (int m = 0; m < 2; m++) {
            String kind = methods[m] == ZipEntry.STORED ? "stored" : "deflated";
            File f = new File("zr-" + kind + ".zip");
            File other = new File("zr-other-" + kind + ".zip");
            write(f, "the first archive's text", methods[m]);
            ZipFile z = new ZipFile(f);
            System.out.println(kind + ", as opened: " + read(z));
            write(other, "ANOTHER ARCHIVE, ANOTHER TEXT!!!", methods[m]);
            f.delete();
            other.renameTo(f);
            System.out.println(kind + ", after the name was given to another archive: " + read(z));
            f.delete();
            System.out.println(kind + ", after the name was removed: " + read(z));
            z.close();
        }
    }
}
