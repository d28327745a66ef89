package stored;

/* Serializable, but never instantiable. */
public abstract class Shape implements java.io.Serializable {
    public int sides;
}
