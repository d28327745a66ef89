package java.lang.ref;

/**
 * A reference object. Under the newer library generation the collector clears `referent`,
 * links cleared references through `next` onto the static `pending` chain and notifies
 * `lock`; the queues drain that chain themselves (no handler thread, which would keep the
 * machine from shutting down). A reference whose `next` is non-null is left alone by the
 * collector, so a drained reference keeps `next` pointing at itself for good.
 */
public abstract class Reference {

    private Object referent;
    ReferenceQueue queue;
    Reference next;
    // The reference after this one in its queue; separate from `next`, which the collector owns.
    Reference queueNext;

    static class Lock {
    }

    static final Lock lock = new Lock();
    static Reference pending;

    Reference(Object referent) {
        this(referent, null);
    }

    Reference(Object referent, ReferenceQueue queue) {
        this.referent = referent;
        this.queue = queue == null ? ReferenceQueue.NULL : queue;
    }

    public Object get() {
        return referent;
    }

    public void clear() {
        referent = null;
    }

    public boolean isEnqueued() {
        return queue == ReferenceQueue.ENQUEUED;
    }

    public boolean enqueue() {
        return ReferenceQueue.enqueueOwn(this);
    }
}
