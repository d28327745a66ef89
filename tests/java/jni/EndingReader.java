import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.IOException;

/* Daemon threads that wait to read standard input when their machine ends: one through
   System.in (a buffer of the stream's own), one into a small array of its own, one into
   an array longer than any single read of a pipe; and daemons that wait for static
   initialisers. */
public class EndingReader {
    public static void start() {
        for (int i = 0; i < 3; i++) {
            final int kind = i;
            Thread t = new Thread() {
                public void run() {
                    try {
                        if (kind == 0) {
                            System.in.read();
                        } else {
                            new FileInputStream(FileDescriptor.in).read(new byte[kind == 1 ? 16 : 100000]);
                        }
                    } catch (IOException e) {
                    }
                }
            };
            t.setDaemon(true);
            t.start();
        }
    }

    /* A class whose static initialiser reads standard input: the first thread to use it
       runs the read, any other waits for the initialisation to end. */
    static class Input {
        static int first;

        static {
            try {
                first = System.in.read();
            } catch (IOException e) {
            }
        }
    }

    /* Two daemons that use Input. */
    public static void startInitialising() {
        for (int i = 0; i < 2; i++) {
            Thread t = new Thread() {
                public void run() {
                    if (Input.first == -2) System.out.println();
                }
            };
            t.setDaemon(true);
            t.start();
        }
    }

    /* Two classes whose static initialisers each need the other's class once both have
       begun: their first users wait for each other for good. */
    static volatile boolean firstBegun, secondBegun;

    static void meet(boolean first) {
        try {
            while (!(first ? secondBegun : firstBegun)) Thread.sleep(1);
        } catch (InterruptedException e) {
        }
    }

    static class First {
        static int v;

        static {
            firstBegun = true;
            meet(true);
            v = Second.v + 1;
        }
    }

    static class Second {
        static int v;

        static {
            secondBegun = true;
            meet(false);
            v = First.v + 1;
        }
    }

    /* Two daemons, one using First, one Second. */
    public static void startInitialisingEachOther() {
        for (int i = 0; i < 2; i++) {
            final boolean first = i == 0;
            Thread t = new Thread() {
                public void run() {
                    if ((first ? First.v : Second.v) == -1) System.out.println();
                }
            };
            t.setDaemon(true);
            t.start();
        }
    }

    /* One daemon that reads standard input inside a synchronized block on this class, a
       class object every machine of the name space shares. */
    public static void startHolding() {
        Thread t = new Thread() {
            public void run() {
                synchronized (EndingReader.class) {
                    try {
                        System.in.read();
                    } catch (IOException e) {
                    }
                }
            }
        };
        t.setDaemon(true);
        t.start();
    }
}
