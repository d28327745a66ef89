package stored;

/* References of every kind of declared type. */
public class Node implements java.io.Serializable {
    public Object next;
    public Node[] kids;
    public String name;
    public int[] data;
    public Class type;
    public Object[][] grid;
    public java.io.Serializable any;
}
