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

    /* The cases the differential test compares with the JDK. */
    public static int cases() { return 2; }

    public static long l(int n) { return n == 0 ? I + J : (long) (F * D * 1000) + S.length() + (Z ? plain : 0); }
}
