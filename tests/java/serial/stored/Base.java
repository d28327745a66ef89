package stored;

/* A superclass that is not Serializable: its fields are stored with the subclass's. */
public class Base {
    public int baseValue;
    public Object baseRef;
}
