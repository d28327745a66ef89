package reflect;

/** A class whose initialiser counts its runs in another class. */
public class Lazy {

    public static int value;

    static {
        Counter.lazyRuns++;
        value = 99;
    }

    public static int twice(int x) {
        return 2 * x;
    }
}
