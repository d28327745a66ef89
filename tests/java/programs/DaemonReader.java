/* A daemon thread waits to read standard input, which stays open and empty; main returns.
   The program ends with main, as it would with the daemon anywhere else: the host read
   it waits in is not one that a stop wakes. */
public class DaemonReader {
    public static void main(String[] a) throws Exception {
        Thread t = new Thread() {
            public void run() {
                try {
                    int c = System.in.read();
                    System.out.println("read " + c);
                } catch (java.io.IOException e) {
                    System.out.println(e);
                }
            }
        };
        t.setDaemon(true);
        t.start();
        Thread.sleep(200);
        System.out.println("main returns");
    }
}
