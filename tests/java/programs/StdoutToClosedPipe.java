/* StdoutToClosedPipe: run by the launcher's tests with standard output a pipe whose
   reader has gone. The program goes on to its end (its prints are lost) and says so on
   standard error. */
public class StdoutToClosedPipe {
    public static void main(String[] args) {
        for (int i = 0; i < 20000; i++) {
            System.out.println("line " + i);
        }
        System.err.println("finished");
    }
}
