import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;

/*
 * Reads standard input (a file piped in by the test) line by line: "\n",
 * "\r\n" and "\r" endings, empty lines, a line longer than the reader's
 * buffer and a last line without an ending.
 */
public class StdinLines {
    public static void main(String[] args) throws IOException {
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
        int count = 0;
        long chars = 0;
        String line;
        while ((line = in.readLine()) != null) {
            count++;
            chars += line.length();
            if (line.length() > 60) {
                int h = 0;
                for (int i = 0; i < line.length(); i++) {
                    h = 31 * h + line.charAt(i);
                }
                System.out.println(count + ": (" + line.length() + " characters, hash " + h + ")");
            } else {
                StringBuffer reversed = new StringBuffer(line).reverse();
                System.out.println(count + ": [" + line + "] [" + reversed + "]");
            }
        }
        System.out.println(count + " lines, " + chars + " characters");
        System.out.println("after the end: " + System.in.read());
        System.err.println("standard error still here");
    }
}
