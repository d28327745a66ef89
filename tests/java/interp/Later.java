package interp;

/* Calls whose meaning changes when some of the classes they reach are compiled again,
   separately and later (tests/java/interp_later holds those versions): run once with
   these classes alone and once with the later ones first on the class path. */
public class Later {
    public static int cases() { return 10; }

    public static int i(int n) {
        switch (n) {
            // A super call compiled against LaterBase.m; later LaterMid declares m too.
            case 0: return new LaterLeaf().m();
            // Public here, private later.
            case 1: return LaterTarget.open();
            case 2: return new LaterTarget().field;
            // LaterCall later calls a method that LaterFace gained and LaterImpl lacks.
            case 3: return LaterCall.run();
            // Members that are gone, or changed kind, later.
            case 4: return new LaterShape().area();
            case 5: return new LaterShape().count;
            case 6: return LaterShape.kind();
            case 7: return new LaterShape().size;
            case 8: return new LaterMaker().make();
            // The same failures caught in Java, each by its own class.
            case 9: {
                int caught = 0;
                for (int k = 1; k <= 8; k++) {
                    try {
                        caught += i(k) * 0;
                    } catch (IllegalAccessError e) {
                        caught += 1;
                    } catch (AbstractMethodError e) {
                        caught += 10;
                    } catch (NoSuchMethodError e) {
                        caught += 100;
                    } catch (NoSuchFieldError e) {
                        caught += 1000;
                    } catch (InstantiationError e) {
                        caught += 10000;
                    } catch (IncompatibleClassChangeError e) {
                        caught += 100000;
                    }
                }
                return caught;
            }
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

class LaterShape {
    int count = 2;
    int size = 3;
    int area() { return 4; }
    static int kind() { return 5; }
}

class LaterMaker {
    int make() { return 6; }
}
