/* Overloads for the resolver: exact, widened and ambiguous choices. */
public class Over {
    public static int m(int x) { return 1; }
    public static int m(long x) { return 2; }
    public static void s(Object a, String b) {}
    public static void s(String a, Object b) {}
    public int i(int x) { return 3; }
    public static int i(long x) { return 4; }
}
