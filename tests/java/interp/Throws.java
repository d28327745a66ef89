package interp;

/* Every exception the machine raises, escaping to the native caller (C++ reads it), and
   caught in Java (caughtAll answers the number of them caught, 9). */
public class Throws {
    static Object NULL_OBJECT;
    static int ZERO = 0;

    public static int npe() { return NULL_OBJECT.hashCode(); }
    public static int npeField() { return ((Throws) NULL_OBJECT).own; }
    public static int aioobe(int i) { long[] a = new long[3]; a[i] = 1L; return 1; }
    public static int aioobeLoad(int i) { int[] a = new int[3]; return a[i]; }
    public static int ase() { Object[] a = new String[1]; a[0] = new Object(); return 0; }
    public static int nase(int n) { return new long[2][n].length; }
    public static int cce() { Object o = new Object(); return ((String) o).length(); }
    public static int arith(int a) { return 5 / a; }
    public static long arithLong(long a) { return 5L % a; }
    public static int npeThrow() { RuntimeException e = null; throw e; }
    public static int npeArrayLength() { int[] a = null; return a.length; }
    public static int nullMonitor() { synchronized (NULL_OBJECT) { return 1; } }
    public static int hugeArray(int n) { return new long[n].length; }

    int own;

    public static int caughtAll() {
        int n = 0;
        try { npe(); } catch (NullPointerException e) { n++; }
        try { aioobe(-1); } catch (ArrayIndexOutOfBoundsException e) { n++; }
        try { aioobeLoad(3); } catch (ArrayIndexOutOfBoundsException e) { n++; }
        try { ase(); } catch (ArrayStoreException e) { n++; }
        try { nase(-1); } catch (NegativeArraySizeException e) { n++; }
        try { cce(); } catch (ClassCastException e) { n++; }
        try { arith(ZERO); } catch (ArithmeticException e) { n++; }
        try { npeThrow(); } catch (NullPointerException e) { n++; }
        try { nullMonitor(); } catch (NullPointerException e) { n++; }
        return n;
    }

    /* Nested synchronized blocks: the thread's lock count goes up and back down. */
    public static int nestedSync(Object a, Object b) {
        synchronized (a) {
            synchronized (b) {
                return 3;
            }
        }
    }

    /* The cases the differential test compares with the JDK. */
    public static int cases() { return 16; }

    public static int i(int n) {
        switch (n) {
            case 0: return caughtAll();
            case 1: return npe();
            case 2: return npeField();
            case 3: return aioobe(3);
            case 4: return aioobe(-1);
            case 5: return aioobeLoad(Integer.MIN_VALUE);
            case 6: return ase();
            case 7: return nase(-1);
            case 8: return cce();
            case 9: return arith(ZERO);
            case 10: return npeThrow();
            case 11: return npeArrayLength();
            case 12: return nullMonitor();
            case 13: return hugeArray(0x7FFFFFFF);
            case 14: return nestedSync("a", "b");
            case 15: return (int) arithLong(ZERO);
        }
        return -777;
    }
}
