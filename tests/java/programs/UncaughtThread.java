/* An exception escapes from a thread's run: it is reported on standard error with the
   thread's name, and main goes on to a normal end. */
public class UncaughtThread {
    public static void main(String[] args) throws Exception {
        Thread t = new Thread("boom") {
            public void run() {
                throw new RuntimeException("from thread");
            }
        };
        t.start();
        t.join();
        System.out.println("main continues, alive " + t.isAlive());
    }
}
