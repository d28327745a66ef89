/* An exception escapes from main: its text and trace go to standard error, and the
   program's status is 1. */
public class UncaughtTrace {
    static void level(int n) {
        if (n == 0) {
            throw new IllegalStateException("deep");
        }
        level(n - 1);
    }

    public static void main(String[] args) {
        System.out.println("before");
        level(2);
        System.out.println("after");
    }
}
