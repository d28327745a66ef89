package reflect;

/** Protected members of every kind, for a subclass in another package to reach. */
public class Guarded {
    protected boolean z = true;
    protected byte b = 1;
    protected char c = 'c';
    protected short s = 2;
    protected int i = 3;
    protected long j = 4;
    protected float f = 5;
    protected double d = 6;
    protected String str = "7";
    protected static int shared = 8;

    public Guarded() {
    }

    protected Guarded(int i) {
        this.i = i;
    }

    protected int own() {
        return i;
    }

    protected static int common() {
        return shared;
    }
}
