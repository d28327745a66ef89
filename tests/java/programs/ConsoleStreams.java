/* System.out and System.err through file output streams on the standard descriptors;
   a print stream over a byte array keeps its bytes; closing System.out leaves
   System.err working. */
import java.io.ByteArrayOutputStream;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;

public class ConsoleStreams {
    public static void main(String[] args) throws IOException {
        System.out.write('A');
        System.out.write('\n');
        byte[] b = "bytes\n".getBytes();
        System.out.write(b, 0, b.length);
        System.out.print("no newline");
        System.out.println();
        System.out.println(1 + 2 + "x" + 'y' + 1.5f + true + (Object) null);
        ByteArrayOutputStream buf = new ByteArrayOutputStream();
        PrintStream ps = new PrintStream(buf);
        ps.write('z');
        ps.write(b, 0, 3);
        ps.flush();
        ps.print(42);
        System.out.println("buffer [" + buf.toString() + "] " + buf.size());
        FileOutputStream raw = new FileOutputStream(FileDescriptor.out);
        raw.write("raw\n".getBytes());
        byte[] block = new byte[2000];
        for (int i = 0; i < block.length; i++) {
            block[i] = (byte) ('a' + i % 26);
        }
        block[block.length - 1] = '\n';
        raw.write(block, 1000, 1000);
        System.err.println("to stderr");
        System.out.flush();
        System.out.close();
        System.out.println("lost");
        System.err.println("err after close " + System.out.checkError());
        System.err.println("out valid " + FileDescriptor.out.valid());
        System.err.println("err valid " + FileDescriptor.err.valid());
    }
}
