package stored;

/* Its static initialiser counts how often it ran. */
public class Counted implements java.io.Serializable {
    public static int initialised;
    public int value;

    static {
        initialised++;
    }
}
