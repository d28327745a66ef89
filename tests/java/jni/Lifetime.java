import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.IOException;

/* Threads the machine starts, for moves of the machine while they run, wait and end: a
   spinner, one that waits for go through calls of its own (a poll at each), one whose
   run ends with an exception its group reports, and a daemon that reads standard input
   once told to. Each says when it has ended (synchronized excludes nobody here, so every
   thread has flags of its own). */
public class Lifetime {
    static volatile boolean go;
    static volatile int spins;
    static volatile int throwerSpins;
    static volatile boolean spinnerEnded;
    static volatile boolean waiterEnded;
    static volatile boolean throwerReported;

    static volatile boolean read;
    static volatile int readerSpins;

    static class Reporting extends ThreadGroup {
        Reporting() {
            super("reporting");
        }

        public void uncaughtException(Thread t, Throwable e) {
            if (e instanceof IllegalStateException) throwerReported = true;
        }
    }

    public static void start() {
        go = false;
        spins = 0;
        throwerSpins = 0;
        spinnerEnded = false;
        waiterEnded = false;
        throwerReported = false;
        new Thread() {
            public void run() {
                while (!go) spins++;
                spinnerEnded = true;
            }
        }.start();
        new Thread() {
            public void run() {
                while (!released()) {
                }
                waiterEnded = true;
            }
        }.start();
        new Thread(new Reporting(), new Runnable() {
            public void run() {
                while (!go) throwerSpins++;
                throw new IllegalStateException("ends by throwing");
            }
        }).start();
    }

    static boolean released() {
        return go;
    }

    /* Lets the threads end. */
    public static void release() {
        go = true;
    }

    public static void startReader() {
        read = false;
        readerSpins = 0;
        Thread t = new Thread() {
            public void run() {
                while (!read) readerSpins++;
                try {
                    new FileInputStream(FileDescriptor.in).read(new byte[16]);
                } catch (IOException e) {
                }
            }
        };
        t.setDaemon(true);
        t.start();
    }
}
