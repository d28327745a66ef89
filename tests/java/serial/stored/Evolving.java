package stored;

/* Loader 7 has another version of this class (tests/java/serial_alt). */
public class Evolving implements java.io.Serializable {
    public int kept;
    public long dropped;
    public String keptRef;
    public Object droppedRef;
}
