package cm;

public abstract class Base implements Named {
    public int id;
    protected long stamp;
    static int count;
    Object tag;

    public String name() {
        return "base";
    }

    public abstract int size();

    public int size(int scale) {
        return scale * size();
    }
}
