/* System.exit ends the program with its status at once: finally blocks do not run, and
   threads still running do not keep it alive. With a second argument another thread
   exits while main sleeps. */
public class ExitStatus {
    public static void main(String[] args) throws Exception {
        final int code = Integer.parseInt(args[0]);
        System.out.println("exiting with " + code);
        if (args.length > 1) {
            Thread t = new Thread() {
                public void run() {
                    System.exit(code);
                }
            };
            t.start();
            Thread.sleep(100000);
            System.out.println("main woke");
        }
        try {
            System.exit(code);
        } finally {
            System.out.println("finally ran");
        }
    }
}
