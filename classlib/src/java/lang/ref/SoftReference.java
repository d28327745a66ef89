package java.lang.ref;

public class SoftReference extends Reference {

    public SoftReference(Object referent) {
        super(referent);
    }

    public SoftReference(Object referent, ReferenceQueue q) {
        super(referent, q);
    }
}
