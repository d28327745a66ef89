package stored;

public class B extends A {
    public long b;
    public String rb;
    public transient Object tb;
}
