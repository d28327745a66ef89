package reflect;

/** A class whose initialiser throws. */
public class Broken {

    public static int value = Integer.parseInt("not a number");

    public Broken() {
    }

    public static int get() {
        return value;
    }
}
