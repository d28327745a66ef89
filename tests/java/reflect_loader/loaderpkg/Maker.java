package loaderpkg;

/** Loaded by a host loader of its own, not the system loader: its method's return and
    parameter types are classes of that loader. */
public class Maker {

    public Made make() {
        return new Made(5);
    }

    public int take(Made m) {
        return m.value * 2;
    }

    public Made[] many() {
        return new Made[3];
    }
}
