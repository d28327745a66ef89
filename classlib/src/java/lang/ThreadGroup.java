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

    // The members: the threads that have started and not ended, and the groups made under
    // this one and not destroyed. They are arrays never written once stored here: every
    // change stores a new array, and a walk over the members (which takes no lock) sees one
    // whole array. The machine's monitors take no lock, and threads start and end on many
    // threads at once, so the arrays, destroyed and unstarted change only through the
    // natives below, under the machine's lock. null while there are none: the machine makes
    // the system group before Thread exists.
    private Thread[] threads;
    private ThreadGroup[] groups;
    // Threads made in this group and not started: they keep a daemon group from ending.
    private int unstarted;

    // Each stores its change unless the group moved on since the caller looked: the member
    // array is no longer old, or the group is destroyed and the change would add to it.
    // false then, and the caller looks again. A thread's start also counts one unstarted
    // Thread less.
    private native boolean swapThreads(Thread[] old, Thread[] now, boolean start);

    private native boolean swapGroups(ThreadGroup[] old, ThreadGroup[] now, boolean add);

    // Counts one unstarted Thread more; false when the group is destroyed.
    private native boolean countUnstarted();

    // Marks the group destroyed when it has no members (and, when asked, no unstarted
    // Thread); false when it has, or is destroyed already.
    private native boolean destroyIfEmpty(boolean noneUnstarted);

    // The threads the host attached (main under the launcher among them) are members of the
    // system group from their attach to their detach, but stay out of threads: each attach
    // and detach would copy them all, and so would each start and end of a thread of the
    // group. The machine finds them by its own records: stores them in list as far as it
    // holds them and answers how many there are (list may be null). None in other groups.
    private native int attached(Thread[] list);

    // The system group's attached threads as the machine finds them now; null elsewhere.
    // Threads that attach meanwhile may take slots ahead of one attached all along: a list
    // that did not hold them all is made again, larger, or that one would be left out.
    private Thread[] attachedThreads() {
        if (parent != null) {
            return null;
        }
        int n = attached(null);
        for (;;) {
            Thread[] ts = new Thread[n + n / 8 + 4];
            n = attached(ts);
            if (n <= ts.length) {
                Thread[] found = new Thread[n];
                System.arraycopy(ts, 0, found, 0, n);
                return found;
            }
        }
    }

    private static int size(Object[] members) {
        return members == null ? 0 : members.length;
    }

    private static int indexOf(Object[] members, Object member) {
        for (int i = 0; i < size(members); i++) {
            if (members[i] == member) {
                return i;
            }
        }
        return -1;
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

    public synchronized int activeCount() {
        if (destroyed) {
            return 0;
        }
        int n = parent == null ? attached(null) : 0;
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
        Thread[] hs = attachedThreads();
        for (int i = 0; i < size(hs) && n < list.length; i++) {
            list[n++] = hs[i];
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
        if (stopOrSuspend(true)) {
            Thread.currentThread().stop();
        }
    }

    public final synchronized void suspend() {
        if (stopOrSuspend(false)) {
            Thread.currentThread().suspend();
        }
    }

    // Stops or suspends every member in the tree but the calling thread, which would stop at
    // once and reach none listed after it: true when it is one, for the caller to do last.
    private boolean stopOrSuspend(boolean stop) {
        checkAccess();
        Thread me = Thread.currentThread();
        boolean self = false;
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            self |= gs[i].stopOrSuspend(stop);
        }
        return stopOrSuspend(attachedThreads(), me, stop) | stopOrSuspend(threads, me, stop) | self;
    }

    private static boolean stopOrSuspend(Thread[] ts, Thread me, boolean stop) {
        boolean self = false;
        for (int i = 0; i < size(ts); i++) {
            if (ts[i] == me) {
                self = true;
            } else if (stop) {
                ts[i].stop();
            } else {
                ts[i].suspend();
            }
        }
        return self;
    }

    public final synchronized void resume() {
        checkAccess();
        ThreadGroup[] gs = groups;
        for (int i = 0; i < size(gs); i++) {
            gs[i].resume();
        }
        Thread[] hs = attachedThreads();
        for (int i = 0; i < size(hs); i++) {
            hs[i].resume();
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
        // A thread started or a group made in it meanwhile keeps it. A daemon group may have
        // ended with the last of its groups destroyed above: that took it out of its parent.
        if (!destroyIfEmpty(false)) {
            if (daemon && size(gs) > 0 && destroyed) {
                return;
            }
            throw new IllegalThreadStateException();
        }
        if (parent != null) {
            parent.remove(this);
        }
    }

    // members and then member, in copy (one longer).
    // Groups mostly hold a few members: those are copied by hand, which costs less than a
    // native call.
    private static final int FEW = 8;

    private static Object[] plus(Object[] members, Object member, Object[] copy) {
        int n = size(members);
        if (n > FEW) {
            System.arraycopy(members, 0, copy, 0, n);
        } else {
            for (int k = 0; k < n; k++) {
                copy[k] = members[k];
            }
        }
        copy[n] = member;
        return copy;
    }

    // members but the one at i, in copy (one shorter; null when none is left).
    private static Object[] minus(Object[] members, int i, Object[] copy) {
        if (copy == null) {
            return null;
        }
        if (copy.length > FEW) {
            System.arraycopy(members, 0, copy, 0, i);
            System.arraycopy(members, i + 1, copy, i, copy.length - i);
        } else {
            for (int k = 0; k < copy.length; k++) {
                copy[k] = members[k < i ? k : k + 1];
            }
        }
        return copy;
    }

    private void add(ThreadGroup g) {
        ThreadGroup[] old;
        do {
            if (destroyed) {
                throw new IllegalThreadStateException();
            }
            old = groups;
        } while (!swapGroups(old, (ThreadGroup[]) plus(old, g, new ThreadGroup[size(old) + 1]), true));
    }

    private void remove(ThreadGroup g) {
        ThreadGroup[] old;
        ThreadGroup[] gs;
        int i;
        do {
            old = groups;
            i = indexOf(old, g);
            if (i < 0) {
                return;
            }
            gs = old.length > 1 ? new ThreadGroup[old.length - 1] : null;
        } while (!swapGroups(old, (ThreadGroup[]) minus(old, i, gs), false));
        // A daemon group ends with its last member, a group as much as a thread.
        if (daemon && parent != null && destroyIfEmpty(true)) {
            parent.remove(this);
        }
    }

    // A Thread made in this group; it joins when it starts.
    void addUnstarted() {
        if (!countUnstarted()) {
            throw new IllegalThreadStateException();
        }
    }

    // The machine's, as t starts.
    void add(Thread t) {
        Thread[] old;
        do {
            if (destroyed) {
                throw new IllegalThreadStateException();
            }
            old = threads;
        } while (!swapThreads(old, (Thread[]) plus(old, t, new Thread[size(old) + 1]), true));
    }

    // As t ends: exit()'s, or the machine's when run() threw.
    void remove(Thread t) {
        Thread[] old;
        Thread[] ts;
        int i;
        do {
            old = threads;
            i = indexOf(old, t);
            if (i < 0) {
                return;
            }
            ts = old.length > 1 ? new Thread[old.length - 1] : null;
        } while (!swapThreads(old, (Thread[]) minus(old, i, ts), false));
        if (daemon && parent != null && destroyIfEmpty(true)) {
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
        Thread[] hs = attachedThreads();
        Thread[] ts = threads;
        ThreadGroup[] gs = groups;
        list(out, indent, hs);
        list(out, indent, ts);
        int ng = size(gs);
        for (int i = 0; i < ng; i++) {
            gs[i].list(out, indent);
        }
    }

    private static void list(PrintStream out, int indent, Thread[] ts) {
        for (int i = 0; i < size(ts); i++) {
            for (int j = 0; j < indent; j++) {
                out.print(" ");
            }
            out.println(ts[i]);
        }
    }

    /*
     * Called by the machine when a thread's run() ends with an exception; the machine takes
     * the thread out of its group afterwards, whatever an override here does.
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
    }

    public boolean allowThreadSuspension(boolean b) {
        return true;
    }

    public String toString() {
        return getClass().getName() + "[name=" + getName() + ",maxpri=" + maxPriority + "]";
    }
}
