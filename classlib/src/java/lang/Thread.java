package java.lang;

/**
 * A thread of execution. Threads the host attaches (the main thread among them) get their
 * Thread object without a constructor: the machine sets name, priority, group and the native
 * thread word, and every other field must be usable at zero or null. `name` is a char array
 * and the first field because the machine writes it by position.
 */
public class Thread implements Runnable {

    // Word 0.
    private char[] name;
    private int priority;
    private ThreadGroup group;
    private boolean daemon;
    // The machine's word for the running thread (0 when none). Java code never writes it.
    // Transient, as eetop: a process address means nothing once stored.
    private transient int PrivateInfo;
    // The same word for the newer library generation; only its low half is used.
    private transient long eetop;
    private java.util.Map inheritableThreadLocals;
    private java.security.AccessControlContext inheritedAccessControlContext;

    private Runnable target;

    public static final int MIN_PRIORITY = 1;
    public static final int NORM_PRIORITY = 5;
    public static final int MAX_PRIORITY = 10;

    // The number of the next automatic name, which the machine takes and counts up in one
    // step: threads made on many threads at once each get their own.
    private static int threadInitNumber;

    private static native int nextThreadNum();

    private static String autoName() {
        return "Thread-" + nextThreadNum();
    }

    public Thread() {
        init(null, null, autoName());
    }

    public Thread(Runnable target) {
        init(null, target, autoName());
    }

    public Thread(ThreadGroup group, Runnable target) {
        init(group, target, autoName());
    }

    public Thread(String name) {
        init(null, null, name);
    }

    public Thread(ThreadGroup group, String name) {
        init(group, null, name);
    }

    public Thread(Runnable target, String name) {
        init(null, target, name);
    }

    public Thread(ThreadGroup group, Runnable target, String name) {
        init(group, target, name);
    }

    private void init(ThreadGroup g, Runnable target, String name) {
        Thread parent = currentThread();
        if (g == null) {
            SecurityManager sm = System.getSecurityManager();
            if (sm != null) {
                g = sm.getThreadGroup();
            }
            if (g == null && parent != null) {
                g = parent.getThreadGroup();
            }
            if (g == null) {
                throw new IllegalThreadStateException("no thread group");
            }
        }
        g.checkAccess();
        this.group = g;
        this.target = target;
        this.name = name.toCharArray();
        int p = parent != null ? parent.getPriority() : NORM_PRIORITY;
        if (p < MIN_PRIORITY || p > MAX_PRIORITY) {
            p = NORM_PRIORITY;
        }
        if (p > g.getMaxPriority()) {
            p = g.getMaxPriority();
        }
        this.priority = p;
        this.daemon = parent != null && parent.isDaemon();
        // It joins the group when it starts (the machine's start() adds it); until then the
        // group only counts it.
        g.addUnstarted();
    }

    public static native Thread currentThread();

    public static native void yield();

    public static native void sleep(long millis) throws InterruptedException;

    public static void sleep(long millis, int nanos) throws InterruptedException {
        if (millis < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        if (nanos < 0 || nanos > 999999) {
            throw new IllegalArgumentException("nanosecond timeout value out of range");
        }
        // Rounded up but never past the longest sleep there is (it would turn negative).
        if ((nanos >= 500000 || (nanos != 0 && millis == 0)) && millis != Long.MAX_VALUE) {
            millis++;
        }
        sleep(millis);
    }

    public native synchronized void start();

    public void run() {
        if (target != null) {
            target.run();
        }
    }

    // Run by the machine when run() returns normally.
    private void exit() {
        ThreadGroup g = group;
        if (g != null) {
            g.remove(this);
        }
        group = null;
        target = null;
    }

    public final void stop() {
        stop(new ThreadDeath());
    }

    public final synchronized void stop(Throwable o) {
        checkAccess();
        stop0(o);
    }

    public void interrupt() {
        checkAccess();
        interrupt0();
    }

    public static boolean interrupted() {
        return currentThread().isInterrupted(true);
    }

    public boolean isInterrupted() {
        return isInterrupted(false);
    }

    private native boolean isInterrupted(boolean clearInterrupted);

    public void destroy() {
        throw new NoSuchMethodError();
    }

    public final native boolean isAlive();

    public final void suspend() {
        checkAccess();
        suspend0();
    }

    public final void resume() {
        checkAccess();
        resume0();
    }

    public final void setPriority(int newPriority) {
        checkAccess();
        if (newPriority < MIN_PRIORITY || newPriority > MAX_PRIORITY) {
            throw new IllegalArgumentException();
        }
        ThreadGroup g = group;
        if (g != null && newPriority > g.getMaxPriority()) {
            newPriority = g.getMaxPriority();
        }
        priority = newPriority;
        setPriority0(newPriority);
    }

    public final int getPriority() {
        return priority;
    }

    public final void setName(String name) {
        checkAccess();
        this.name = name.toCharArray();
    }

    public final String getName() {
        char[] n = name;
        return n == null ? "" : String.valueOf(n);
    }

    public final ThreadGroup getThreadGroup() {
        return group;
    }

    public static int activeCount() {
        return currentThread().getThreadGroup().activeCount();
    }

    public static int enumerate(Thread[] tarray) {
        return currentThread().getThreadGroup().enumerate(tarray);
    }

    public native int countStackFrames();

    // The longest a join waits before it looks at the thread again.
    private static final long JOIN_STEP = 50;

    public final synchronized void join(long millis) throws InterruptedException {
        if (millis < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        // The machine notifies this object when the thread ends; a wait may also return early,
        // so the condition is always tested again. Interpreted monitors take no lock, so the
        // thread may end between the test and the wait, its notification then reaching
        // nobody: the wait without a limit is taken in steps that test again.
        if (millis == 0) {
            while (isAlive()) {
                wait(JOIN_STEP);
            }
            return;
        }
        long start = System.currentTimeMillis();
        long left = millis;
        while (isAlive() && left > 0) {
            wait(left);
            left = millis - (System.currentTimeMillis() - start);
        }
    }

    public final synchronized void join(long millis, int nanos) throws InterruptedException {
        if (millis < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        if (nanos < 0 || nanos > 999999) {
            throw new IllegalArgumentException("nanosecond timeout value out of range");
        }
        if (nanos >= 500000 || (nanos != 0 && millis == 0)) {
            millis++;
        }
        join(millis);
    }

    public final void join() throws InterruptedException {
        join(0);
    }

    public static void dumpStack() {
        new Exception("Stack trace").printStackTrace();
    }

    public final void setDaemon(boolean on) {
        checkAccess();
        if (isAlive()) {
            throw new IllegalThreadStateException();
        }
        daemon = on;
    }

    public final boolean isDaemon() {
        return daemon;
    }

    public void checkAccess() {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkAccess(this);
        }
    }

    public String toString() {
        ThreadGroup g = group;
        if (g != null) {
            return "Thread[" + getName() + "," + getPriority() + "," + g.getName() + "]";
        }
        return "Thread[" + getName() + "," + getPriority() + ",]";
    }

    private native void setPriority0(int newPriority);

    private native void stop0(Object o);

    private native void suspend0();

    private native void resume0();

    private native void interrupt0();
}
