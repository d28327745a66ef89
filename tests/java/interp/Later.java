package interp;

/* Calls whose meaning changes when some of the classes they reach are compiled again,
   separately and later (tests/java/interp_later holds those versions): run once with
   these classes alone and once with the later ones first on the class path. */
public class Later {
    public static int cases() { return 4; }

    public static int i(int n) {
        switch (n) {
            // A super call compiled against LaterBase.m; later LaterMid declares m too.
            case 0: return new LaterLeaf().m();
            // Public here, private later.
            case 1: return LaterTarget.open();
            case 2: return new LaterTarget().field;
            // LaterCall later calls a method that LaterFace gained and LaterImpl lacks.
            case 3: return LaterCall.run();
        }
        return -777;
    }
}

class LaterBase {
    int m() { return 1; }
}

class LaterMid extends LaterBase {
}

class LaterLeaf extends LaterMid {
    int m() { return 10 + super.m(); }
}

class LaterTarget {
    public int field = 6;
    public static int open() { return 5; }
}

interface LaterFace {
    int one();
}

class LaterImpl implements LaterFace {
    public int one() { return 1; }
}

class LaterCall {
    static int run() { return ((LaterFace) new LaterImpl()).one(); }
}
