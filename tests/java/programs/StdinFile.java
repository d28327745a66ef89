import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.IOException;

/*
 * Reads standard input, a file of more than 8 KB redirected to it, through a
 * FileInputStream of its own descriptor, in reads longer than the file: as on the JDK,
 * the first read gives the whole file, as a read of a file opened by name does (only a
 * pipe or a terminal gives what has come so far).
 */
public class StdinFile {
    public static void main(String[] args) throws IOException {
        FileInputStream in = new FileInputStream(FileDescriptor.in);
        byte[] b = new byte[65536];
        System.out.println("first read: " + in.read(b, 100, 60000));
        System.out.println("at the end: " + in.read(b, 0, b.length));
    }
}
