import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.IOException;

/* Threads the machine starts, for moves of the machine while they run, wait and end: a
   spinner, a waiter on a monitor (in short waits, so that a suspension stops it at a
   poll of its loop), one whose run ends with an exception its group reports, and a
   daemon that reads standard input once told to. Each says when it has ended
   (synchronized excludes nobody here, so every thread has flags of its own). */
public class Lifetime {
    static volatile boolean go;
    static volatile int spins;
    static volatile int throwerSpins;
    static volatile boolean spinnerEnded;
    static volatile boolean waiterEnded;
    static volatile boolean throwerReported;
    static final Object lock = new Object();

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
                synchronized (lock) {
                    while (!go) {
                        try {
                            lock.wait(5);
                        } catch (InterruptedException e) {
                        }
                    }
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

    /* Lets the threads end; the waiter is woken (again: a notify may come before it waits). */
    public static void release() {
        go = true;
        synchronized (lock) {
            lock.notifyAll();
        }
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
