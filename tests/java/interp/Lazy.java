package interp;

/* Which instructions initialise a class: a field or a method of a null receiver, an
   interface call and an array of a class initialise nothing; a getstatic of an
   interface's field initialises the interface only. Each case returns what it read
   and, in its last digits, the marks of the initialisers that ran. */
public class Lazy {
    static int hit;

    static int mark(int n) {
        hit = hit * 10 + n;
        return n;
    }

    public static int cases() { return 7; }

    public static int i(int n) {
        hit = 0;
        switch (n) {
            case 0: {
                LazyField x = null;
                try { return x.v; } catch (NullPointerException e) { return hit; }
            }
            case 1: {
                LazyMethod x = null;
                try { return x.m(); } catch (NullPointerException e) { return hit; }
            }
            case 2: {
                LazyFace x = new LazyImpl();
                return x.m() * 100 + hit;
            }
            case 3: return LazyFace.K * 100 + hit;
            case 4: {
                LazyField[] a = new LazyField[2];
                return a.length * 100 + hit;
            }
            case 5: {
                LazyField x = new LazyField();
                return x.v * 100 + hit;
            }
            case 6: return LazyMethod.s() * 100 + hit;
        }
        return -777;
    }
}

class LazyField {
    int v = 2;
    static { Lazy.mark(1); }
}

class LazyMethod {
    int m() { return 3; }
    static int s() { return 4; }
    static { Lazy.mark(2); }
}

interface LazyFace {
    int K = Lazy.mark(4);
    int m();
}

class LazyImpl implements LazyFace {
    public int m() { return 5; }
    static { Lazy.mark(3); }
}
