package interp.other;

/* Not an override of interp.DispA.m, which is package-private there: a new method. */
public class DispB extends interp.DispA implements interp.DispFace {
    public int m() { return 2; }
}
