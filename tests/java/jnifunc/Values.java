package jnifunc;

/* Every parameter and result type, static and instance. The store methods leave their
   arguments in fields the tests read back; the echo methods return their argument. */
public class Values {
    public static boolean sz;
    public static byte sb;
    public static char sc;
    public static short ss;
    public static int si;
    public static long sj;
    public static float sf;
    public static double sd;
    public static Object sl;

    public boolean z;
    public byte b;
    public char c;
    public short s;
    public int i;
    public long j;
    public float f;
    public double d;
    public Object l;
    public String str;

    public static int calls;

    public Values() {
    }

    public Values(int i, long j, Object l) {
        this.i = i;
        this.j = j;
        this.l = l;
    }

    public static int storeAll(boolean z, byte b, char c, short s, int i, long j, float f, double d, Object l) {
        sz = z;
        sb = b;
        sc = c;
        ss = s;
        si = i;
        sj = j;
        sf = f;
        sd = d;
        sl = l;
        return i + 1;
    }

    public int storeAllHere(boolean z, byte b, char c, short s, int i, long j, float f, double d, Object l) {
        this.z = z;
        this.b = b;
        this.c = c;
        this.s = s;
        this.i = i;
        this.j = j;
        this.f = f;
        this.d = d;
        this.l = l;
        return i + 2;
    }

    public static boolean echoZ(boolean v) { return v; }
    public static byte echoB(byte v) { return v; }
    public static char echoC(char v) { return v; }
    public static short echoS(short v) { return v; }
    public static int echoI(int v) { return v; }
    public static long echoJ(long v) { return v; }
    public static float echoF(float v) { return v; }
    public static double echoD(double v) { return v; }
    public static Object echoL(Object v) { return v; }
    public static void touch() { calls++; }

    public boolean hereZ(boolean v) { return v; }
    public byte hereB(byte v) { return v; }
    public char hereC(char v) { return v; }
    public short hereS(short v) { return v; }
    public int hereI(int v) { return v + i; }
    public long hereJ(long v) { return v; }
    public float hereF(float v) { return v; }
    public double hereD(double v) { return v; }
    public Object hereL(Object v) { return v; }
    public void hereV() { calls++; }

    public static boolean yes() { return true; }
    public static byte minusOne() { return -1; }
    public static char maxChar() { return '\uffff'; }
    public static short minShort() { return Short.MIN_VALUE; }
    public static Object nothing() { return null; }
    public static String concat(String a, int n) { return a + n; }
    public static int length(String a) { return a.length(); }
    public static String upper(String a) { return a.toUpperCase(); }
    public static int sum(int[] a) {
        int t = 0;
        for (int k = 0; k < a.length; k++) t += a[k];
        return t;
    }
    public static int[] squares(int n) {
        int[] a = new int[n];
        for (int k = 0; k < n; k++) a[k] = k * k;
        return a;
    }
    public static int joinedLength(String[] parts) {
        int t = 0;
        for (int k = 0; k < parts.length; k++) t += parts[k] == null ? 100 : parts[k].length();
        return t;
    }
    public static int throwIt(int v) {
        if (v > 0) throw new IllegalStateException("thrown " + v);
        return v;
    }
}

/* A static field of the subclass shadows an instance field of the superclass. */
class Shadow extends Values {
    static int i = 5;
}
