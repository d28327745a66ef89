import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;

/*
 * Copies one file to another through FileInputStream and FileOutputStream with
 * an 8 KB buffer, and prints the bytes copied and the milliseconds the copy
 * took (opening and closing both files included, the start of the machine not).
 */
public class FileCopyBench {
    public static void main(String[] args) throws IOException {
        long start = System.currentTimeMillis();
        FileInputStream in = new FileInputStream(args[0]);
        FileOutputStream out = new FileOutputStream(args[1]);
        byte[] buffer = new byte[8192];
        long total = 0;
        int n;
        while ((n = in.read(buffer)) > 0) {
            out.write(buffer, 0, n);
            total += n;
        }
        in.close();
        out.close();
        long ms = System.currentTimeMillis() - start;
        System.out.println(total + " " + ms);
    }
}
