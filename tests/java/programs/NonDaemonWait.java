/* main returns while a thread that is no daemon still works: the program ends after it. */
public class NonDaemonWait {
    public static void main(String[] args) {
        Thread t = new Thread() {
            public void run() {
                try {
                    Thread.sleep(300);
                } catch (InterruptedException e) {
                    System.out.println("interrupted");
                }
                System.out.println("worker done");
            }
        };
        t.start();
        System.out.println("main done");
    }
}
