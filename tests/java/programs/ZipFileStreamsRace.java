import java.io.File;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/*
 * Four threads open and close entry streams of one ZipFile as fast as they can while none
 * excludes another (synchronized takes no lock on this machine): the file's list of open
 * streams is written by all of them at once. Closing the file afterwards must close what
 * is still open and fail on nothing the races left in the list. Writes and deletes
 * streams-race.zip in the working directory.
 */
public class ZipFileStreamsRace {
    static volatile int errors;

    public static void main(String[] args) throws Exception {
        File f = new File("streams-race.zip");
        ZipOutputStream zo = new ZipOutputStream(new FileOutputStream(f));
        for (int k = 0; k < 4; k++) {
            byte[] body = {(byte) k, 1, 2, 3};
            ZipEntry e = new ZipEntry("e" + k);
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
        final int rounds = args.length > 0 ? Integer.parseInt(args[0]) : 300;
        int failures = 0;
        for (int round = 0; round < 10; round++) {
            final ZipFile z = new ZipFile(f);
            Thread[] ts = new Thread[args.length > 1 ? Integer.parseInt(args[1]) : 4];
            for (int k = 0; k < ts.length; k++) {
                final String name = "e" + k;
                ts[k] = new Thread() {
                    public void run() {
                        for (int r = 0; r < rounds; r++) {
                            try {
                                InputStream in = z.getInputStream(z.getEntry(name));
                                if (in.read() < 0) errors++;
                                if ((r & 7) != 0) in.close();  // some left open for the file's close
                            } catch (Exception e) {
                                errors++;
                            }
                        }
                    }
                };
            }
            for (int k = 0; k < ts.length; k++) ts[k].start();
            for (int k = 0; k < ts.length; k++) ts[k].join();
            try {
                z.close();
            } catch (Exception e) {
                failures++;
                System.out.println("close: " + e);
            }
        }
        f.delete();
        System.out.println("close failures " + failures + ", stream errors " + (errors > 0 ? "> 0" : "0"));
    }
}
