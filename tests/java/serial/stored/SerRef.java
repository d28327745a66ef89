package stored;

/* A reference object the collector owns: never stored. */
public class SerRef extends java.lang.ref.WeakReference implements java.io.Serializable {
    public SerRef() {
        super(null);
    }
}
