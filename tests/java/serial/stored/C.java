package stored;

public class C extends B {
    public double c;
    public A[] rc;
    public byte narrow;
}
