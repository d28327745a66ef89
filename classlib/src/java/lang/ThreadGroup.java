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

    private int nthreads;
    private Thread[] threads;
    private int ngroups;
    private ThreadGroup[] groups;

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
        for (int i = 0; i < ngroups; i++) {
            groups[i].setMaxPriority(pri);
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
        for (int i = 0; i < nthreads; i++) {
            if (threads[i].isAlive()) {
                n++;
            }
        }
        for (int i = 0; i < ngroups; i++) {
            n += groups[i].activeCount();
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
        for (int i = 0; i < nthreads && n < list.length; i++) {
            if (threads[i].isAlive()) {
                list[n++] = threads[i];
            }
        }
        if (recurse) {
            for (int i = 0; i < ngroups; i++) {
                n = groups[i].enumerate(list, n, true);
            }
        }
        return n;
    }

    public synchronized int activeGroupCount() {
        if (destroyed) {
            return 0;
        }
        int n = ngroups;
        for (int i = 0; i < ngroups; i++) {
            n += groups[i].activeGroupCount();
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
        for (int i = 0; i < ngroups && n < list.length; i++) {
            list[n++] = groups[i];
            if (recurse) {
                n = groups[i].enumerate(list, n, true);
            }
        }
        return n;
    }

    public final synchronized void stop() {
        checkAccess();
        for (int i = 0; i < ngroups; i++) {
            groups[i].stop();
        }
        for (int i = 0; i < nthreads; i++) {
            threads[i].stop();
        }
    }

    public final synchronized void suspend() {
        checkAccess();
        for (int i = 0; i < ngroups; i++) {
            groups[i].suspend();
        }
        for (int i = 0; i < nthreads; i++) {
            threads[i].suspend();
        }
    }

    public final synchronized void resume() {
        checkAccess();
        for (int i = 0; i < ngroups; i++) {
            groups[i].resume();
        }
        for (int i = 0; i < nthreads; i++) {
            threads[i].resume();
        }
    }

    public final synchronized void destroy() {
        checkAccess();
        if (destroyed || activeCount() > 0) {
            throw new IllegalThreadStateException();
        }
        while (ngroups > 0) {
            groups[0].destroy();
        }
        destroyed = true;
        nthreads = 0;
        threads = null;
        if (parent != null) {
            parent.remove(this);
        }
    }

    private synchronized void add(ThreadGroup g) {
        if (destroyed) {
            throw new IllegalThreadStateException();
        }
        if (groups == null) {
            groups = new ThreadGroup[4];
        } else if (ngroups == groups.length) {
            ThreadGroup[] bigger = new ThreadGroup[ngroups * 2];
            System.arraycopy(groups, 0, bigger, 0, ngroups);
            groups = bigger;
        }
        groups[ngroups++] = g;
    }

    private synchronized void remove(ThreadGroup g) {
        for (int i = 0; i < ngroups; i++) {
            if (groups[i] == g) {
                ngroups--;
                System.arraycopy(groups, i + 1, groups, i, ngroups - i);
                groups[ngroups] = null;
                break;
            }
        }
    }

    synchronized void add(Thread t) {
        if (destroyed) {
            throw new IllegalThreadStateException();
        }
        if (threads == null) {
            threads = new Thread[4];
        } else if (nthreads == threads.length) {
            Thread[] bigger = new Thread[nthreads * 2];
            System.arraycopy(threads, 0, bigger, 0, nthreads);
            threads = bigger;
        }
        threads[nthreads++] = t;
    }

    synchronized void remove(Thread t) {
        for (int i = 0; i < nthreads; i++) {
            if (threads[i] == t) {
                nthreads--;
                System.arraycopy(threads, i + 1, threads, i, nthreads - i);
                threads[nthreads] = null;
                break;
            }
        }
        if (daemon && nthreads == 0 && ngroups == 0 && parent != null && !destroyed) {
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
        Thread[] ts;
        ThreadGroup[] gs;
        int nt;
        int ng;
        synchronized (this) {
            nt = nthreads;
            ts = new Thread[nt];
            if (nt > 0) {
                System.arraycopy(threads, 0, ts, 0, nt);
            }
            ng = ngroups;
            gs = new ThreadGroup[ng];
            if (ng > 0) {
                System.arraycopy(groups, 0, gs, 0, ng);
            }
        }
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
