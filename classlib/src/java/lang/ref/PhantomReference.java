package java.lang.ref;

/** A reference whose referent can never be read back; it only reports, through its queue. */
public class PhantomReference extends Reference {

    public PhantomReference(Object referent, ReferenceQueue q) {
        super(referent, q);
    }

    public Object get() {
        return null;
    }
}
