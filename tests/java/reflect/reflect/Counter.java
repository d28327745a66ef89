package reflect;

public class Counter {

    public static int lazyRuns;
}
