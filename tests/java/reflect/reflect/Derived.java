package reflect;

public class Derived extends Base {

    public String hi() {
        return "derived";
    }

    public String name() {
        return "Derived.name";
    }
}
