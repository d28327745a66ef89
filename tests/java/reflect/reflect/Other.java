package reflect;

/** A class unrelated to the fixtures, with a method of the same name as theirs. */
public class Other {

    public String hi() {
        return "other";
    }

    public String describe() {
        return "other";
    }
}
