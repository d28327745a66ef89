package interp;

/* A package-private method, replaced only from this package. */
public class DispA {
    int m() { return 1; }
    public int callM() { return m(); }
}
