import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.IOException;

/*
 * One read of standard input for each length given, each into a fresh array of that
 * length, through a FileInputStream of its own descriptor; prints every answer on one
 * line, then the sum of the bytes read (so that a test sees that the bytes are the ones
 * sent, not just their number).
 */
public class StdinReads {
    public static void main(String[] args) throws IOException {
        FileInputStream in = new FileInputStream(FileDescriptor.in);
        StringBuffer answers = new StringBuffer();
        long sum = 0;
        for (int i = 0; i < args.length; i++) {
            int len = Integer.parseInt(args[i]);
            byte[] b = new byte[len];
            int n = in.read(b, 0, len);
            for (int j = 0; j < n; j++) sum += b[j] & 0xFF;
            if (i > 0) answers.append(' ');
            answers.append(n);
        }
        System.out.println(answers);
        System.out.println("sum " + sum);
    }
}
