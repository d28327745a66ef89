package reflect;

/** Redeclares a field of its superclass with another type, and implements Marked. */
public class Hider extends FixtureBase implements Marked {

    public String base = "hidden";
    public static int MARK = -1;

    public String describe() {
        return "hider";
    }
}
