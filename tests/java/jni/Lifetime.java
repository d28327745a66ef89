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

    /* A reader that reads standard input once, then polls until let go. */
    static volatile int readsDone;
    static volatile boolean readerLetGo;
    static volatile boolean readerEnded;

    public static void startReaderThatStays() {
        readsDone = 0;
        readerLetGo = false;
        readerEnded = false;
        new Thread() {
            public void run() {
                byte[] b = new byte[16];
                try {
                    if (new FileInputStream(FileDescriptor.in).read(b) == 16 && b[15] == 'x') readsDone++;
                } catch (IOException e) {
                }
                while (!readerLetGo) {
                }
                readerEnded = true;
            }
        }.start();
    }

    /* A class whose initialiser runs until told, then calls a static method of its own:
       one thread runs it, a second waits for it. */
    static volatile boolean initGo;
    static volatile int initSpins;
    static volatile boolean initFirstSaw;
    static volatile boolean initSecondSaw;

    static class Slow {
        static int value;

        static {
            while (!initGo) initSpins++;
            value = twice(21);
        }

        static int twice(int x) {
            return x * 2;
        }
    }

    /* Initialised through a native (whose caller reads its frames again after a move),
       not by an instruction of this frame. */
    static boolean initialised() {
        try {
            Class.forName("Lifetime$Slow");
            return true;
        } catch (ClassNotFoundException e) {
            return false;
        }
    }

    public static void startInitializers() {
        initGo = false;
        initSpins = 0;
        initFirstSaw = false;
        initSecondSaw = false;
        new Thread() {
            public void run() {
                initFirstSaw = initialised() && Slow.value == 42;
            }
        }.start();
        while (initSpins == 0) Thread.yield();
        new Thread() {
            public void run() {
                initSecondSaw = initialised() && Slow.value == 42;
            }
        }.start();
    }

    /* Threads in Object.wait, without and with a limit, and in Thread.sleep, for moves of
       the machine while they wait or stand at the poll after it. Each waiter has a lock
       and a flag of its own, so that all of them may hold their locks at once, stopped at
       that poll. */
    static final Object[] locks = {new Object(), new Object(), new Object(), new Object()};
    static volatile boolean woken;
    static volatile boolean letGo;
    static final boolean[] endedWell = new boolean[4];
    static volatile boolean sleeperInterrupted;
    static Thread sleeper;

    public static void startWaiters() {
        woken = false;
        letGo = false;
        for (int i = 0; i < endedWell.length; i++) endedWell[i] = false;
        sleeperInterrupted = false;
        new Thread() {
            public void run() {
                waitForWake(0, 0);
            }
        }.start();
        new Thread() {
            public void run() {
                waitForWake(1, 600000);
            }
        }.start();
        sleeper = new Thread() {
            public void run() {
                try {
                    Thread.sleep(600000);
                } catch (InterruptedException e) {
                    sleeperInterrupted = true;
                }
                stayUntilLetGo();
            }
        };
        sleeper.start();
    }

    /* Also called by host-attached threads, with locks 2 and 3. */
    public static void waitForWake(int which, long ms) {
        Object lock = locks[which];
        synchronized (lock) {
            while (!woken) {
                try {
                    lock.wait(ms);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }
        endedWell[which] = true;
        stayUntilLetGo();
    }

    /* Polls of the interpreter until let go: a suspension that a collection's wait at the
       poll after the wait put off still finds the thread. */
    static void stayUntilLetGo() {
        while (!letGo) {
        }
    }

    public static void letGo() {
        letGo = true;
    }

    /* Read once the waiters have ended. */
    public static int waitsEnded() {
        int n = 0;
        for (int i = 0; i < endedWell.length; i++)
            if (endedWell[i]) n++;
        return n;
    }

    public static void wake() {
        notifyWaiters();
        sleeper.interrupt();
    }

    public static void notifyWaiters() {
        woken = true;
        for (int i = 0; i < locks.length; i++) {
            synchronized (locks[i]) {
                locks[i].notifyAll();
            }
        }
    }

    public static void interruptSleeper() {
        sleeper.interrupt();
    }
}
