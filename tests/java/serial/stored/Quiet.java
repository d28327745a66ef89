package stored;

/* Nothing of it is stored: its fields are static or transient. */
public class Quiet implements java.io.Serializable {
    public static int shared;
    public transient int cached;
}
