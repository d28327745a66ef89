package stored;

/* The later version: one field of each kind gone, one of each kind added. */
public class Evolving implements java.io.Serializable {
    public int added;
    public int kept;
    public String keptRef;
    public Object addedRef;
}
