package stored;

/* Fields whose declared types a forged reference must not get past. */
public class Holder implements java.io.Serializable {
    public String text;
    public int[] ints;
    public Node node;
    public Marker marker;
    public Object any;
}
