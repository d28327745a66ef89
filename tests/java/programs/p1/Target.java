package p1;

/* Members of every access level, for p2.Sub (a subclass in another package) to reach by
   reflection. */
public class Target {
    public int pub = 1;
    protected int prot = 2;
    int pkg = 3;
    private int priv = 4;
    protected static int sprot = 5;

    public Target() {}
    protected Target(int x) {}

    protected int protM() { return 8; }
}
