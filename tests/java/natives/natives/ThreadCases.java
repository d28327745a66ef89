package natives;

// Java threads on host threads. Interpreted synchronized excludes nobody, so every wait
// here is a timed one in a loop that tests its condition: a notification that slips
// between a test and a wait costs a few milliseconds, never the test.
public class ThreadCases {

    static volatile int finished;

    static class Sleeper extends Thread {
        final long millis;
        volatile String outcome = "none";

        Sleeper(long millis) {
            this.millis = millis;
        }

        public void run() {
            try {
                Thread.sleep(millis);
                outcome = "slept";
            } catch (InterruptedException e) {
                outcome = Thread.currentThread().isInterrupted() ? "interrupted, flag kept" : "interrupted";
            } catch (ThreadDeath d) {
                outcome = "stopped";
                throw d;
            }
        }
    }

    // start() returns with the thread alive; join() waits for run() to end.
    static int startJoin(int rounds) throws Exception {
        for (int i = 0; i < rounds; i++) {
            Sleeper s = new Sleeper(i % 3);
            s.start();
            s.join();
            if (!"slept".equals(s.outcome)) return 1;
            if (s.isAlive()) return 2;
        }
        Sleeper s = new Sleeper(200);
        s.start();
        if (!s.isAlive()) return 3;
        boolean[] alive = new boolean[1];
        alive[0] = s.isAlive();
        if (alive[0] != true) return 4;
        s.join();
        if (s.isAlive() || !"slept".equals(s.outcome)) return 5;
        return 0;
    }

    static int startTwice() throws Exception {
        Sleeper s = new Sleeper(100);
        s.start();
        try {
            s.start();
            return 1;
        } catch (IllegalThreadStateException e) {
        }
        s.join();
        try {
            s.start();
            return 2;
        } catch (IllegalThreadStateException e) {
        }
        if (s.isAlive()) return 3;
        Thread thrower = new Thread() {
            public void run() {
                throw new IllegalStateException("escaped");
            }
        };
        thrower.start();
        thrower.join();
        try {
            thrower.start();
            return 4;
        } catch (IllegalThreadStateException e) {
        }
        return 0;
    }

    // Two threads start the same Thread at once: exactly one start succeeds.
    static int racingStarts(int rounds) throws Exception {
        for (int i = 0; i < rounds; i++) {
            final Sleeper target = new Sleeper(5);
            final int[] refused = new int[2];
            Thread[] starters = new Thread[2];
            for (int k = 0; k < 2; k++) {
                final int slot = k;
                starters[k] = new Thread() {
                    public void run() {
                        try {
                            target.start();
                        } catch (IllegalThreadStateException e) {
                            refused[slot] = 1;
                        }
                    }
                };
            }
            starters[0].start();
            starters[1].start();
            starters[0].join();
            starters[1].join();
            target.join();
            if (refused[0] + refused[1] != 1) return 1 + refused[0] + refused[1];
        }
        return 0;
    }

    static String interruptSleeper(long millis, long delay) throws Exception {
        Sleeper s = new Sleeper(millis);
        // Timed from the start's return, when the sleep begins: the start joins the group.
        s.start();
        long start = System.currentTimeMillis();
        Thread.sleep(delay);
        s.interrupt();
        s.join();
        long took = System.currentTimeMillis() - start;
        return s.outcome + (took < millis ? "" : " late");
    }

    static String stopSleeper(long millis) throws Exception {
        Sleeper s = new Sleeper(millis);
        // Timed from the start's return, when the sleep begins: the start joins the group.
        s.start();
        long start = System.currentTimeMillis();
        Thread.sleep(50);
        s.stop();
        s.join();
        long took = System.currentTimeMillis() - start;
        return s.outcome + (took < millis ? "" : " late");
    }

    // stop() reaches a thread blocked in wait(0), which no notify will ever wake.
    static String stopWaiter() throws Exception {
        final Object lock = new Object();
        final String[] outcome = {"none"};
        Thread waiter = new Thread() {
            public void run() {
                try {
                    synchronized (lock) {
                        lock.wait(0);
                    }
                    outcome[0] = "woke";
                } catch (InterruptedException e) {
                    outcome[0] = "interrupted";
                } catch (IllegalStateException e) {
                    outcome[0] = "stopped " + e.getMessage();
                }
            }
        };
        long start = System.currentTimeMillis();
        waiter.start();
        Thread.sleep(50);
        waiter.stop(new IllegalStateException("by stop"));
        waiter.join(20000);
        long took = System.currentTimeMillis() - start;
        return outcome[0] + (took < 10000 ? "" : " late") + " " + waiter.isAlive();
    }

    // A thread that stops itself meets the throwable once, where it called stop().
    static String selfStop() {
        int caught = 0;
        try {
            Thread.currentThread().stop(new IllegalStateException("self"));
        } catch (IllegalStateException e) {
            caught++;
        }
        // A backward branch polls: a second delivery would show here.
        try {
            for (int i = 0; i < 100000; i++) {
                caught += 0;
            }
        } catch (IllegalStateException e) {
            caught += 10;
        }
        return "caught " + caught;
    }

    static String sleepChecks() {
        StringBuffer text = new StringBuffer();
        try {
            Thread.sleep(-1);
            text.append("no IAE");
        } catch (IllegalArgumentException e) {
            text.append("IAE");
        } catch (InterruptedException e) {
            text.append("IE");
        }
        Thread.currentThread().interrupt();
        if (!Thread.currentThread().isInterrupted()) text.append(" lost");
        if (!Thread.currentThread().isInterrupted()) text.append(" cleared");
        try {
            Thread.sleep(10000);
            text.append(" slept");
        } catch (InterruptedException e) {
            text.append(" IE");
        }
        if (Thread.interrupted()) text.append(" still set");
        Thread.currentThread().interrupt();
        boolean first = Thread.interrupted();
        boolean second = Thread.interrupted();
        text.append(" " + first + " " + second);
        return text.toString();
    }

    // A producer and a consumer over wait and notifyAll.
    static int producerConsumer(final int items) throws Exception {
        final int[] slot = new int[1];
        final boolean[] full = new boolean[1];
        final Object lock = new Object();
        final int[] sum = new int[1];
        Thread consumer = new Thread() {
            public void run() {
                try {
                    for (int i = 0; i < items; i++) {
                        synchronized (lock) {
                            while (!full[0]) {
                                lock.wait(20);
                            }
                            sum[0] += slot[0];
                            full[0] = false;
                            lock.notifyAll();
                        }
                    }
                } catch (InterruptedException e) {
                    sum[0] = -1;
                }
            }
        };
        consumer.start();
        for (int i = 1; i <= items; i++) {
            synchronized (lock) {
                while (full[0]) {
                    lock.wait(20);
                }
                slot[0] = i;
                full[0] = true;
                lock.notifyAll();
            }
        }
        consumer.join();
        return sum[0] == items * (items + 1) / 2 ? 0 : 1;
    }

    static String monitorRules() throws Exception {
        Object o = new Object();
        StringBuffer text = new StringBuffer();
        // Outside synchronized: a plain timed wait (interpreted monitors take no lock).
        try {
            o.wait(10);
            text.append("waited");
        } catch (IllegalMonitorStateException e) {
            text.append("IMSE");
        }
        try {
            o.notify();
            text.append(" notified");
        } catch (IllegalMonitorStateException e) {
            text.append(" IMSE");
        }
        synchronized (o) {
            try {
                o.wait(-1);
                text.append(" waited");
            } catch (IllegalArgumentException e) {
                text.append(" IAE");
            }
            o.notify();
            o.wait(1);
        }
        Thread.currentThread().interrupt();
        synchronized (o) {
            try {
                o.wait(10000);
                text.append(" waited");
            } catch (InterruptedException e) {
                text.append(" IE");
            }
        }
        return text.toString();
    }

    static class Spinner extends Thread {
        volatile boolean stop;
        volatile int turns;

        public void run() {
            while (!stop) {
                turns++;
            }
        }
    }

    static String countFrames() throws Exception {
        StringBuffer text = new StringBuffer();
        Spinner never = new Spinner();
        text.append(never.countStackFrames());
        Spinner s = new Spinner();
        s.start();
        try {
            s.countStackFrames();
            text.append(" counted");
        } catch (IllegalThreadStateException e) {
            text.append(" ITSE");
        }
        s.suspend();
        int frames = s.countStackFrames();
        text.append(frames > 0 ? " frames" : " none");
        s.resume();
        int before = s.turns;
        long until = System.currentTimeMillis() + 5000;
        while (s.turns == before && System.currentTimeMillis() < until) {
            Thread.sleep(5);
        }
        text.append(s.turns != before ? " running" : " stuck");
        s.stop = true;
        s.join();
        return text.toString();
    }

    static class CloneableThread extends Thread implements Cloneable {
        volatile boolean stop;

        public void run() {
            while (!stop) {
                Thread.yield();
            }
        }

        Object copy() throws CloneNotSupportedException {
            return clone();
        }
    }

    static String cloneOfRunning() throws Exception {
        CloneableThread t = new CloneableThread();
        t.start();
        CloneableThread c = (CloneableThread) t.copy();
        String text = t.isAlive() + " " + c.isAlive();
        c.interrupt();
        c.stop = true;
        t.stop = true;
        t.join();
        return text + " " + t.isAlive();
    }

    static Thread startSleeper(long millis) {
        Sleeper s = new Sleeper(millis);
        s.start();
        return s;
    }

    static String joinSleeper(Thread t) throws Exception {
        t.join();
        return ((Sleeper) t).outcome + " " + t.isAlive();
    }

    static class Thrower extends Thread {
        public void run() {
            throw new IllegalStateException("escaped");
        }
    }

    // A run() that throws ends its thread; join() returns.
    static String uncaught() throws Exception {
        Thread t = new Thrower();
        t.start();
        t.join();
        return "ended " + t.isAlive();
    }

    // Makers in one group each start and join short threads, in the group or in a group of
    // their own made under it and destroyed after, all at once: every start, end, make and
    // destroy changes the group's members while the others change them too.
    static ThreadGroup churn(int makers, final int rounds) throws Exception {
        final ThreadGroup g = new ThreadGroup("churn");
        Thread[] ts = new Thread[makers];
        for (int i = 0; i < makers; i++) {
            ts[i] = new Thread(g, "maker") {
                public void run() {
                    for (int r = 0; r < rounds; r++) {
                        ThreadGroup own = r % 2 == 0 ? g : new ThreadGroup(g, "own");
                        Thread t = new Thread(own, "short");
                        t.start();
                        try {
                            t.join();
                        } catch (InterruptedException e) {
                            return;
                        }
                        if (own != g) {
                            own.destroy();
                        }
                    }
                }
            };
            ts[i].start();
        }
        for (int i = 0; i < makers; i++) {
            ts[i].join();
        }
        return g;
    }

    static class Quiet extends ThreadGroup {
        Quiet() {
            super("quiet");
        }

        public void uncaughtException(Thread t, Throwable e) {
        }
    }

    // Threads whose run() throws, in a group that handles the exception without super.
    static ThreadGroup throwersIn(int n) throws Exception {
        ThreadGroup g = new Quiet();
        for (int i = 0; i < n; i++) {
            Thread t = new Thread(g, new Thrower());
            t.start();
            t.join();
        }
        return g;
    }

    static volatile Thread target;
    static volatile boolean stopping;

    // Threads stopped as they start and end, one by one and through their group: each
    // start succeeds, and each thread leaves its group, which can then be destroyed.
    static String stoppedAsTheyComeAndGo(int n) throws Exception {
        final ThreadGroup g = new ThreadGroup("stopped");
        stopping = true;
        Thread stopper = new Thread("stopper") {
            public void run() {
                while (stopping) {
                    Thread t = target;
                    if (t != null) t.stop();
                    g.stop();
                }
            }
        };
        stopper.start();
        int refused = 0;
        for (int i = 0; i < n; i++) {
            Thread t = new Thread(g, "stopped");
            target = t;
            try {
                t.start();
            } catch (OutOfMemoryError e) {
                refused++;
            }
            t.join();
        }
        stopping = false;
        stopper.join();
        try {
            g.destroy();
        } catch (IllegalThreadStateException e) {
            return refused + " kept";
        }
        return refused + " destroyed";
    }

    // A stop sent as soon as start() returns, then an interrupt: the stop is not replaced
    // by the interrupt when the thread meets both at its first sleep.
    static String stoppedAsTheyStart(int n) throws Exception {
        final ThreadDeath death = new ThreadDeath();
        final int[] missed = new int[1];
        for (int i = 0; i < n; i++) {
            Thread t = new Thread("sleeper") {
                public void run() {
                    try {
                        Thread.sleep(1000000000L);
                    } catch (InterruptedException e) {
                        missed[0]++;
                    }
                }
            };
            t.start();
            t.stop(death);
            t.interrupt();
            t.join();
        }
        return missed[0] + " missed";
    }

    static ThreadGroup unstartedIn(int n, boolean daemon) {
        ThreadGroup g = new ThreadGroup("idle");
        g.setDaemon(daemon);
        for (int i = 0; i < n; i++) {
            new Thread(g, "idle");
        }
        return g;
    }

    // What Java sees of a group with unstarted threads; in a daemon group one made before
    // the last member ended still starts, as the group waits for it.
    static String unstartedSeen(ThreadGroup g) throws Exception {
        Thread later = new Thread(g, "later");
        Thread member = new Thread(g, "first");
        member.start();
        member.join();
        String seen = g.activeCount() + " " + g.enumerate(new Thread[4]) + " " + g.isDestroyed();
        later.start();
        later.join();
        return seen + " " + g.isDestroyed();
    }

    // Daemon groups that lose their last member group: a nest of daemon groups with one
    // thread in the innermost goes whole when the thread ends, on makers racing in one top
    // group; a daemon group goes when its last group is destroyed, and destroying a daemon
    // group whose groups take it with them is no error. What is left in top is its caller's.
    static String daemonNests(int makers, final int rounds, final int depth) throws Exception {
        final ThreadGroup top = new ThreadGroup("nests");
        // One count a maker: interpreted synchronized excludes nobody.
        final int[] kept = new int[makers];
        Thread[] ts = new Thread[makers];
        for (int m = 0; m < makers; m++) {
            final int me = m;
            ts[m] = new Thread(top, "nester") {
                public void run() {
                    for (int r = 0; r < rounds; r++) {
                        ThreadGroup outer = new ThreadGroup(top, "outer");
                        outer.setDaemon(true);
                        ThreadGroup g = outer;
                        for (int d = 1; d < depth; d++) {
                            g = new ThreadGroup(g, "inner");
                        }
                        Thread t = new Thread(g, "leaf");
                        t.start();
                        try {
                            t.join();
                        } catch (InterruptedException e) {
                            return;
                        }
                        if (!outer.isDestroyed() || !g.isDestroyed()) {
                            kept[me]++;
                        }
                    }
                }
            };
            ts[m].start();
        }
        int left = 0;
        for (int m = 0; m < makers; m++) {
            ts[m].join();
            left += kept[m];
        }
        ThreadGroup outer = new ThreadGroup(top, "outer");
        outer.setDaemon(true);
        ThreadGroup inner = new ThreadGroup(outer, "inner");
        inner.destroy();
        String destroyLast = "" + outer.isDestroyed();
        outer = new ThreadGroup(top, "outer");
        outer.setDaemon(true);
        new ThreadGroup(new ThreadGroup(outer, "inner"), "innermost");
        String destroyWhole;
        try {
            outer.destroy();
            destroyWhole = "" + outer.isDestroyed();
        } catch (IllegalThreadStateException e) {
            destroyWhole = "ITSE";
        }
        return left + " kept, " + top.activeGroupCount() + " left, " + destroyLast + " " + destroyWhole;
    }

    // A member stops its whole group, itself among the members, from a group below: every
    // member is stopped, the caller as well as those listed after it.
    static String groupStoppedByAMember() throws Exception {
        final ThreadGroup g = new ThreadGroup("pool");
        final ThreadGroup below = new ThreadGroup(g, "below");
        final boolean[] started = new boolean[6];
        final boolean[] stopped = new boolean[6];
        Thread[] ts = new Thread[6];
        for (int i = 0; i < ts.length; i++) {
            final int me = i;
            ts[i] = new Thread(i < 3 ? below : g, "member") {
                public void run() {
                    try {
                        started[me] = true;
                        if (me == 1) {
                            for (int k = 0; k < started.length; k++) {
                                while (!started[k]) {
                                    Thread.sleep(1);
                                }
                            }
                            g.stop();
                        }
                        // Bounded, so that members the stop misses still end.
                        Thread.sleep(5000);
                    } catch (InterruptedException e) {
                    } catch (ThreadDeath d) {
                        stopped[me] = true;
                        throw d;
                    }
                }
            };
            ts[i].start();
        }
        int n = 0;
        for (int i = 0; i < ts.length; i++) {
            ts[i].join();
            n += stopped[i] ? 1 : 0;
        }
        return n + " of 6 stopped";
    }

    // What the calling thread's group counts and lists.
    static String members() {
        Thread[] list = new Thread[64];
        int n = Thread.enumerate(list);
        int alive = 0;
        for (int i = 0; i < n; i++) {
            if (list[i].isAlive() && list[i].getThreadGroup() == Thread.currentThread().getThreadGroup()) {
                alive++;
            }
        }
        return Thread.activeCount() + " " + n + " " + alive;
    }

    // Stops every member of the caller's group but the caller and the stopper until told to
    // end: host threads attaching and detaching meanwhile are stopped as they join and leave.
    static volatile boolean stoppingAttached;

    static Thread startStoppingAttached() {
        final Thread main = Thread.currentThread();
        stoppingAttached = true;
        Thread stopper = new Thread("attached stopper") {
            public void run() {
                Thread[] list = new Thread[256];
                while (stoppingAttached) {
                    int n = main.getThreadGroup().enumerate(list);
                    for (int i = 0; i < n; i++) {
                        if (list[i] != main && list[i] != this) {
                            list[i].stop();
                        }
                    }
                }
            }
        };
        stopper.start();
        return stopper;
    }

    static String endStoppingAttached(Thread stopper) throws Exception {
        stoppingAttached = false;
        stopper.join();
        return members();
    }

    // The system group counted and listed rounds times while host threads attach and detach
    // and threads of the group start and end; a round is bad unless both come to least or
    // more, and the list holds the caller and late, each Thread once and no null.
    static volatile boolean churning;

    static String countedWhileChurning(Thread late, int least, int rounds) throws Exception {
        Thread me = Thread.currentThread();
        churning = true;
        Thread starter = new Thread() {
            public void run() {
                while (churning) {
                    Thread t = new Thread();
                    t.start();
                    try {
                        t.join();
                    } catch (InterruptedException e) {
                    }
                }
            }
        };
        starter.start();
        int bad = 0;
        Thread[] list = new Thread[256];
        for (int r = 0; r < rounds; r++) {
            int n = me.getThreadGroup().enumerate(list);
            int seen = 0;
            for (int i = 0; i < n; i++) {
                seen += list[i] == me || list[i] == late ? 1 : list[i] == null ? -2 : 0;
                for (int j = 0; j < i; j++) {
                    seen -= list[j] == list[i] ? 2 : 0;
                }
            }
            bad += seen == 2 && n >= least && Thread.activeCount() >= least ? 0 : 1;
        }
        churning = false;
        starter.join();
        return bad + " bad";
    }

    static int idle() {
        return 1;
    }

    static Thread current() {
        return Thread.currentThread();
    }

    static Thread unstarted() {
        return new Sleeper(1);
    }

    // Every operation on a Thread whose native word the test has forged.
    static String forged(Thread t) {
        StringBuffer text = new StringBuffer();
        text.append(t.isAlive());
        t.interrupt();
        text.append(" ").append(t.isInterrupted());
        t.suspend();
        t.resume();
        t.stop();
        try {
            t.countStackFrames();
            text.append(" counted");
        } catch (NullPointerException e) {
            text.append(" NPE");
        }
        return text.toString();
    }
}
