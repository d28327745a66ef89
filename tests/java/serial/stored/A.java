package stored;

public class A implements java.io.Serializable {
    public int a;
    public Object ra;
}
