package reflect;

/** A field of every kind, in every access, and constructors and methods to reflect on. */
public class Fixture extends FixtureBase implements Marked {

    public boolean z;
    public byte b;
    public char c;
    public short s;
    public int i;
    public long j;
    public float f;
    public double d;
    public String str;
    public Object obj;

    public static boolean sz;
    public static byte sb;
    public static char sc;
    public static short ss;
    public static int si;
    public static long sj;
    public static float sf;
    public static double sd;
    public static String sstr;
    public static Object sobj;

    private int secret = 7;
    protected int prot = 8;
    int pack = 9;
    public final int fin = 10;
    public static final long BIG = 0x123456789ABCDEFL;
    public int[] ints;

    public Fixture() {
    }

    public Fixture(int i) {
        this.i = i;
    }

    public Fixture(String str, long j) {
        this.str = str;
        this.j = j;
    }

    public Fixture(boolean fail) throws java.io.IOException {
        if (fail) {
            throw new java.io.IOException("constructor failed");
        }
        z = true;
    }

    private Fixture(double d) {
        this.d = d;
    }

    protected Fixture(char c) {
        this.c = c;
    }

    public static int add(int a, long b) {
        return (int) (a + b);
    }

    public static long wide(long a) {
        return a * 2;
    }

    public static double mix(byte a, short b, char c, int d, long e, float f, double g) {
        return a + b + c + d + e + f + g;
    }

    public boolean isZ() {
        return z;
    }

    public byte getB() {
        return b;
    }

    public char getC() {
        return c;
    }

    public short getS() {
        return s;
    }

    public int getI() {
        return i;
    }

    public long getJ() {
        return j;
    }

    public float getF() {
        return f;
    }

    public double getD() {
        return d;
    }

    public String getStr() {
        return str;
    }

    public int[] getInts() {
        return ints;
    }

    public void setAll(boolean z, byte b, char c, short s, int i, long j, float f, double d, String str) {
        this.z = z;
        this.b = b;
        this.c = c;
        this.s = s;
        this.i = i;
        this.j = j;
        this.f = f;
        this.d = d;
        this.str = str;
    }

    public void fail(String message) {
        throw new IllegalStateException(message);
    }

    public static void failChecked() throws java.io.IOException {
        throw new java.io.IOException("checked");
    }

    public String describe() {
        return "fixture " + i;
    }

    private int secret() {
        return secret;
    }

    protected static int prot(long x) {
        return (int) x;
    }

    int pack() {
        return pack;
    }
}
