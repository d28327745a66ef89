package gc;

import java.lang.ref.PhantomReference;
import java.lang.ref.Reference;
import java.lang.ref.ReferenceQueue;
import java.lang.ref.SoftReference;
import java.lang.ref.WeakReference;

/* Reference objects under the library generation that turns them on. Each case returns
   0 when all is as it should be, else the number of the first check that failed. */
public class Refs {
    static ReferenceQueue queue = new ReferenceQueue();

    public static int weak() {
        WeakReference w = new WeakReference(new Node(1, null), queue);
        Node strong = new Node(2, null);
        WeakReference kept = new WeakReference(strong, queue);
        Host.collect(false);
        if (w.get() != null) return 1;
        if (kept.get() != strong) return 2;
        Reference r = queue.poll();
        if (r != w) return 3;
        if (queue.poll() != null) return 4;
        return strong.value == 2 ? 0 : 5;
    }

    public static int soft() {
        SoftReference s = new SoftReference(new Node(3, null), queue);
        Host.collect(false);
        if (s.get() == null) return 1;
        if (((Node) s.get()).value != 3) return 2;
        Host.collect(true);
        if (s.get() != null) return 3;
        if (queue.poll() != s) return 4;
        return 0;
    }

    public static int phantom() {
        Node target = new Node(4, new Node(5, null));
        PhantomReference p = new PhantomReference(target, queue);
        WeakReference w = new WeakReference(target.next, queue);
        target = null;
        Host.collect(false);
        // Phantom referents are kept: what they reach is not cleared either.
        if (w.get() == null) return 1;
        if (queue.poll() != p) return 2;
        if (queue.poll() != null) return 3;
        return 0;
    }

    /* Without a queue a cleared reference is done at once: next names itself. */
    static WeakReference lone;

    public static int withoutQueue() {
        lone = new WeakReference(new Node(6, null));
        Host.collect(false);
        if (lone.get() != null) return 1;
        if (queue.poll() != null) return 2;
        return 0;
    }

    /* A reference that is itself garbage is neither cleared nor enqueued. */
    static Node outlives;

    public static int unreachableReference() {
        outlives = new Node(7, null);
        new WeakReference(outlives, queue);
        Host.collect(false);
        if (queue.poll() != null) return 1;
        return outlives.value == 7 ? 0 : 2;
    }

    /* A reference subclass whose own field names the referent too: the field keeps it. */
    public static int subclassField() {
        Tracking t = new Tracking(new Node(8, null), queue);
        Host.collect(false);
        if (t.get() == null) return 1;
        if (((Node) t.get()).value != 8 || t.same.value != 8) return 2;
        if (queue.poll() != null) return 3;
        return 0;
    }

    /* A phantom reference handed over and not drained yet is the last on the pending
       list; at the next collections its referent is still phantom-reachable, and it must
       not be handed over again (its next would name itself, and the drain lose it). */
    public static int pendingTail() {
        PhantomReference p = new PhantomReference(new Node(10, null), queue);
        Host.collect(false);
        Host.collect(false);
        PhantomReference q = new PhantomReference(new Node(11, null), queue);
        Host.collect(false);
        Reference first = queue.poll();
        Reference second = queue.poll();
        if (queue.poll() != null) return 1;
        if (!((first == q && second == p) || (first == p && second == q))) return 2;
        return 0;
    }

    /* Many at once, in a chain of phantom references each to the next. */
    public static int chain(int n) {
        PhantomReference head = null;
        Object next = new Node(9, null);
        for (int i = 0; i < n; i++) {
            PhantomReference p = new PhantomReference(next, queue);
            next = p;
            head = p;
        }
        Object keep = head;
        next = null;
        head = null;
        Host.collect(false);
        int found = 0;
        while (queue.poll() != null) found++;
        return keep != null && found == n - 0 ? 0 : 1000000 + found;
    }
}

class Tracking extends WeakReference {
    Node same;

    Tracking(Node n, ReferenceQueue q) {
        super(n, q);
        same = n;
    }
}
