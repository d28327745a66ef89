package java.lang.ref;

/**
 * A queue of cleared references. The collector hands cleared references over on the
 * Reference.pending chain; poll and remove move them onto their queues first.
 */
public class ReferenceQueue {

    // The queue of references made without one; the collector compares against it.
    static final ReferenceQueue NULL = new ReferenceQueue();
    // Marks a reference that is, or was, on a queue.
    static final ReferenceQueue ENQUEUED = new ReferenceQueue();

    private Reference head;
    private Reference tail;

    public ReferenceQueue() {
    }

    /*
     * Takes the whole pending chain and moves each reference onto its queue. The chain is
     * read and cleared with nothing in between (the collector runs only at calls and
     * backward branches). Each reference is marked drained (next = itself) before anything
     * else happens, and the walk stops at null or at a reference already marked: the last
     * element's next is null until it is marked, so the collector may push it again meanwhile.
     */
    static void drainPending() {
        Reference r = Reference.pending;
        Reference.pending = null;
        while (r != null) {
            Reference following = r.next;
            if (following == r) {
                break;
            }
            r.next = r;
            ReferenceQueue q = r.queue;
            if (q != NULL && q != ENQUEUED && q != null) {
                q.append(r);
            }
            r = following;
        }
    }

    // For Reference.enqueue: a reference the program queues itself.
    static boolean enqueueOwn(Reference r) {
        synchronized (Reference.lock) {
            ReferenceQueue q = r.queue;
            if (q == NULL || q == ENQUEUED || q == null) {
                return false;
            }
            r.next = r;
            q.append(r);
            return true;
        }
    }

    private void append(Reference r) {
        synchronized (Reference.lock) {
            r.queue = ENQUEUED;
            r.queueNext = null;
            // The tail is read once: the monitor takes no lock on this machine, and a take racing
            // this append may empty the queue in between.
            Reference last = tail;
            if (last == null) {
                head = r;
            } else {
                last.queueNext = r;
            }
            tail = r;
            Reference.lock.notifyAll();
        }
    }

    private Reference take() {
        Reference r = head;
        if (r != null) {
            Reference next = r.queueNext;
            head = next;
            if (next == null) {
                tail = null;
            }
            r.queueNext = null;
            r.queue = NULL;
        }
        return r;
    }

    public Reference poll() {
        drainPending();
        synchronized (Reference.lock) {
            return take();
        }
    }

    public Reference remove(long timeout) throws IllegalArgumentException, InterruptedException {
        if (timeout < 0) {
            throw new IllegalArgumentException("negative timeout");
        }
        long deadline = timeout == 0 ? 0 : System.currentTimeMillis() + timeout;
        while (true) {
            drainPending();
            synchronized (Reference.lock) {
                Reference r = take();
                if (r != null) {
                    return r;
                }
                long wait = 0;
                if (timeout != 0) {
                    wait = deadline - System.currentTimeMillis();
                    if (wait <= 0) {
                        return null;
                    }
                }
                // The collector notifies the lock after it adds to the pending chain.
                Reference.lock.wait(wait);
            }
        }
    }

    public Reference remove() throws InterruptedException {
        return remove(0);
    }
}
