package reflect;

public class Base implements Greeter {

    public String hi() {
        return "base";
    }

    public String name() {
        return "Base.name";
    }

    private int secret() {
        return 7;
    }

    protected static int prot(long x) {
        return (int) x;
    }
}
