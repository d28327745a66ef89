package interp;

/* Static constants of every kind (ConstantValue attributes), read back from C++. */
public class Consts {
    public static final int I = -123456;
    public static final long J = 0x123456789ABCDEFL;
    public static final float F = 2.5f;
    public static final double D = -0.125;
    public static final String S = "constant";
    public static final boolean Z = true;
    public static int plain = 9;
}
