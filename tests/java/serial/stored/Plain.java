package stored;

/* Not Serializable: never stored. */
public class Plain {
    public int value;
}
