package reflect;

/** The superclass: a field that the subclass does not hide and methods it inherits. */
public class FixtureBase {

    public int base = 1;
    public static int baseStatic = 2;

    public String describe() {
        return "base";
    }

    public String inherited() {
        return "inherited from base";
    }

    public static String baseStatic() {
        return "static of base";
    }
}
