import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.RandomAccessFile;

/*
 * A sparse file of a little over 5 GiB, made by seeking past 2^32 and writing:
 * its length, positions around 2^31 and 2^32, and reads at its end are exact
 * through RandomAccessFile, File and FileInputStream.skip. Runs in an empty
 * working directory (the file takes a few blocks on a file system with sparse
 * files).
 */
public class LargeFile {
    public static void main(String[] args) throws IOException {
        long far = (5L << 30) + 7;
        RandomAccessFile f = new RandomAccessFile("large", "rw");
        long[] marks = {(1L << 31) - 1, 1L << 31, (1L << 32) - 1, 1L << 32, (1L << 32) + 5};
        for (int i = 0; i < marks.length; i++) {
            f.seek(marks[i]);
            f.write(i + 1);
            System.out.println("wrote at " + marks[i] + ", pointer " + f.getFilePointer());
        }
        f.seek(far);
        f.writeBytes("end");
        System.out.println("length " + f.length() + ", pointer " + f.getFilePointer());
        f.seek(f.length() - 3);
        byte[] b = new byte[5];
        int n = f.read(b);
        System.out.println("read " + n + " at the end: " + new String(b, 0, n) + ", then " + f.read());
        for (int i = 0; i < marks.length; i++) {
            f.seek(marks[i]);
            System.out.println("at " + marks[i] + ": " + f.read() + ", pointer " + f.getFilePointer());
        }
        f.seek(1L << 33);
        System.out.println("seek past the end: pointer " + f.getFilePointer() + ", read " + f.read() + ", length "
                + f.length());
        f.close();

        File file = new File("large");
        System.out.println("exists " + file.exists() + ", length " + file.length());

        FileInputStream in = new FileInputStream(file);
        System.out.println("skipped " + in.skip(1L << 32));
        System.out.println("byte " + in.read());
        System.out.println("skipped " + in.skip(4));
        System.out.println("byte " + in.read());
        System.out.println("skipped " + in.skip(far - (1L << 32) - 6));
        n = in.read(b);
        System.out.println("read " + n + ": " + new String(b, 0, n) + ", then " + in.read());
        in.close();
        System.out.println("deleted " + file.delete());
    }
}
