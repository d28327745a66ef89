package java.lang;

import java.io.PrintStream;

/**
 * A set of threads and groups. The machine makes its system group through the private
 * constructor before any Thread object exists, and calls uncaughtException when a thread's
 * run() throws.
 */
public class ThreadGroup {

    private ThreadGroup parent;
    private String name;
    private int maxPriority;
    private boolean destroyed;
    private boolean daemon;

    // The members, in arrays that are never written once stored here: every change stores a
    // new array. The machine's monitors take no lock, and threads are made and end on many
    // threads at once; a walk over the members then sees one whole array, never a slot being
    // moved or a count past the array. Two changes racing each other may lose one of them.
    // null while there are none: the machine makes the system group before Thread exists.
    private Thread[] threads;
    private ThreadGroup[] groups;

    private static int size(Object[] members) {
        return members == null ? 0 : members.length;
    }

    // The machine's system group: no parent, and no current thread to ask anything.
    private ThreadGroup() {
        name = "system";
        maxPriority = Thread.MAX_PRIORITY;
    }

    public ThreadGroup(String name) {
        this(Thread.currentThread().getThreadGroup(), name);
    }

    public ThreadGroup(ThreadGroup parent, String name) {
        if (parent == null) {
            throw new NullPointerException();
        }
        parent.checkAccess();
        this.parent = parent;
        this.name = name;
        this.maxPriority = parent.maxPriority;
        this.daemon = parent.daemon;
        parent.add(this);
    }

    public final String getName() {
        return name;
    }

    public final ThreadGroup getParent() {
        return parent;
    }

    public final int getMaxPriority() {
        return maxPriority;
    }

    public final boolean isDaemon() {
        return daemon;
    }

    public synchronized boolean isDestroyed() {
        return destroyed;
    }

    public final void setDaemon(boolean daemon) {
        checkAccess();
        this.daemon = daemon;
    }

    public final synchronized void setMaxPriority(int pri) {
        checkAccess();
        if (pri < Thread.MIN_PRIORITY) {
            maxPriority = Thread.MIN_PRIORITY;
        } else if (pri < maxPriority) {
            maxPriority = pri;
        }
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            gs[i].setMaxPriority(pri);
        }
    }

    public final boolean parentOf(ThreadGroup g) {
        for (; g != null; g = g.parent) {
            if (g == this) {
                return true;
            }
        }
        return false;
    }

    public final void checkAccess() {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkAccess(this);
        }
    }

    // Threads join their group when they are made; only live ones count as active.
    public synchronized int activeCount() {
        if (destroyed) {
            return 0;
        }
        int n = 0;
        Thread[] ts = threads;
        for (int i = 0; i < size(ts); i++) {
            if (ts[i].isAlive()) {
                n++;
            }
        }
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            n += gs[i].activeCount();
        }
        return n;
    }

    public int enumerate(Thread[] list) {
        return enumerate(list, 0, true);
    }

    public int enumerate(Thread[] list, boolean recurse) {
        return enumerate(list, 0, recurse);
    }

    private synchronized int enumerate(Thread[] list, int n, boolean recurse) {
        if (destroyed) {
            return n;
        }
        Thread[] ts = threads;
        for (int i = 0; i < size(ts) && n < list.length; i++) {
            if (ts[i].isAlive()) {
                list[n++] = ts[i];
            }
        }
        if (recurse) {
            ThreadGroup[] gs = groups;
            for (int i = 0; i < size(gs); i++) {
                n = gs[i].enumerate(list, n, true);
            }
        }
        return n;
    }

    public synchronized int activeGroupCount() {
        if (destroyed) {
            return 0;
        }
        ThreadGroup[] gs = groups;
        int n = size(gs);
        for (int i = 0; i < size(gs); i++) {
            n += gs[i].activeGroupCount();
        }
        return n;
    }

    public int enumerate(ThreadGroup[] list) {
        return enumerate(list, 0, true);
    }

    public int enumerate(ThreadGroup[] list, boolean recurse) {
        return enumerate(list, 0, recurse);
    }

    private synchronized int enumerate(ThreadGroup[] list, int n, boolean recurse) {
        if (destroyed) {
            return n;
        }
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs) && n < list.length; i++) {
            list[n++] = gs[i];
            if (recurse) {
                n = gs[i].enumerate(list, n, true);
            }
        }
        return n;
    }

    public final synchronized void stop() {
        checkAccess();
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            gs[i].stop();
        }
        Thread[] ts = threads;
        for (int i = 0; i < size(ts); i++) {
            ts[i].stop();
        }
    }

    public final synchronized void suspend() {
        checkAccess();
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            gs[i].suspend();
        }
        Thread[] ts = threads;
        for (int i = 0; i < size(ts); i++) {
            ts[i].suspend();
        }
    }

    public final synchronized void resume() {
        checkAccess();
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            gs[i].resume();
        }
        Thread[] ts = threads;
        for (int i = 0; i < size(ts); i++) {
            ts[i].resume();
        }
    }

    public final synchronized void destroy() {
        checkAccess();
        if (destroyed || activeCount() > 0) {
            throw new IllegalThreadStateException();
        }
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            gs[i].destroy();
        }
        destroyed = true;
        threads = null;
        if (parent != null) {
            parent.remove(this);
        }
    }

    private synchronized void add(ThreadGroup g) {
        if (destroyed) {
            throw new IllegalThreadStateException();
        }
        ThreadGroup[] old = groups;
        int n = size(old);
        ThreadGroup[] gs = new ThreadGroup[n + 1];
        if (n > 0) {
            System.arraycopy(old, 0, gs, 0, n);
        }
        gs[n] = g;
        groups = gs;
    }

    private synchronized void remove(ThreadGroup g) {
        ThreadGroup[] old = groups;
        for (int i = 0; i < size(old); i++) {
            if (old[i] == g) {
                ThreadGroup[] gs = null;
                if (old.length > 1) {
                    gs = new ThreadGroup[old.length - 1];
                    System.arraycopy(old, 0, gs, 0, i);
                    System.arraycopy(old, i + 1, gs, i, gs.length - i);
                }
                groups = gs;
                break;
            }
        }
    }

    synchronized void add(Thread t) {
        if (destroyed) {
            throw new IllegalThreadStateException();
        }
        Thread[] old = threads;
        int n = size(old);
        Thread[] ts = new Thread[n + 1];
        if (n > 0) {
            System.arraycopy(old, 0, ts, 0, n);
        }
        ts[n] = t;
        threads = ts;
    }

    synchronized void remove(Thread t) {
        Thread[] old = threads;
        for (int i = 0; i < size(old); i++) {
            if (old[i] == t) {
                Thread[] ts = null;
                if (old.length > 1) {
                    ts = new Thread[old.length - 1];
                    System.arraycopy(old, 0, ts, 0, i);
                    System.arraycopy(old, i + 1, ts, i, ts.length - i);
                }
                threads = ts;
                break;
            }
        }
        if (daemon && threads == null && groups == null && parent != null && !destroyed) {
            destroyed = true;
            parent.remove(this);
        }
    }

    public void list() {
        list(System.out, 0);
    }

    private void list(PrintStream out, int indent) {
        for (int i = 0; i < indent; i++) {
            out.print(" ");
        }
        out.println(this);
        indent += 4;
        Thread[] ts = threads;
        ThreadGroup[] gs = groups;
        int nt = size(ts);
        int ng = size(gs);
        for (int i = 0; i < nt; i++) {
            for (int j = 0; j < indent; j++) {
                out.print(" ");
            }
            out.println(ts[i]);
        }
        for (int i = 0; i < ng; i++) {
            gs[i].list(out, indent);
        }
    }

    /*
     * Called by the machine when a thread's run() ends with an exception; the thread ends
     * afterwards without running its exit step, so it leaves the group here.
     */
    public void uncaughtException(Thread t, Throwable e) {
        if (parent != null) {
            parent.uncaughtException(t, e);
        } else if (!(e instanceof ThreadDeath)) {
            PrintStream err = System.err;
            if (err != null) {
                err.print("Exception in thread \"" + t.getName() + "\" ");
                e.printStackTrace(err);
            }
        }
        remove(t);
    }

    public boolean allowThreadSuspension(boolean b) {
        return true;
    }

    public String toString() {
        return getClass().getName() + "[name=" + getName() + ",maxpri=" + maxPriority + "]";
    }
}
