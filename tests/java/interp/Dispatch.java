package interp;

import interp.other.DispB;
import interp.other.DispC;

/* Which method a call runs: private methods, package-private methods across packages (a
   public method in another package is a new method, not an override), a method that
   replaces two inherited ones at once, super calls, interface calls whose call site
   meets receivers with different method tables, and overloads. */
public class Dispatch {
    static int ZERO = 0;

    static int viaFace(DispFace x) { return x.m(); }
    static int viaB(DispB x) { return x.m(); }

    public static int cases() { return 22; }

    public static int i(int n) {
        switch (n) {
            case 0: return new Shadow2().call();
            case 1: return new DispB().callM();
            case 2: return ((DispB) new DispB()).m();
            case 3: return new DispC().callM();
            case 4: return viaB(new DispC());
            case 5: return new DispD().callM();
            case 6: return viaB(new DispD());
            case 7: return new DispD().m();
            case 8: return new Super4().m();
            case 9: return new Super3().m();
            case 10: return ((Runs) new Runner2()).run();
            // One interface call site met by receivers whose tables differ.
            case 11: return viaFace(new DispB()) * 100 + viaFace(new DispE()) * 10 + viaFace(new DispB());
            case 12: return viaFace(new DispE()) * 100 + viaFace(new DispB()) * 10 + viaFace(new DispE());
            case 13: return new Over().pick(1) + new Over().pick(1L) + new Over().pick("s") + new Over().pick((Object) "s");
            case 14: { Object o = new int[0]; return o.equals(o) ? 1 : 0; }
            case 15: { DispA a = new DispD(); return a.callM() * 10 + ((DispB) a).m(); }
            case 16: return new Private1().outer();
            case 17: { Base b = new Derived(); return b.self().tag(); }
            case 18: {
                int r = 0;
                DispFace[] all = { new DispB(), new DispC(), new DispD(), new DispE() };
                for (int k = 0; k < 12; k++) r = r * 3 + all[k % 4].m() + ZERO;
                return r;
            }
            case 19: return viaFace(new DispD()) * 10 + viaFace(new DispC());
            case 20: return viaFace(new DispB());
            case 21: return viaFace(new DispE());
        }
        return -777;
    }
}

class Shadow1 {
    private int m() { return 1; }
    int call() { return m(); }
}

class Shadow2 extends Shadow1 {
    public int m() { return 2; }
}

class DispD extends DispC {
    public int m() { return 4; }
}

class DispE extends DispA implements DispFace {
    public int m() { return 5; }
}

class Super1 { int m() { return 1; } }
class Super2 extends Super1 { }
class Super3 extends Super2 { int m() { return 10 + super.m(); } }
class Super4 extends Super3 { int m() { return 100 + super.m(); } }

interface Runs { int run(); }
class Runner1 { public int run() { return 6; } }
class Runner2 extends Runner1 implements Runs { }

class Over {
    int pick(int x) { return 1; }
    int pick(long x) { return 10; }
    int pick(String x) { return 100; }
    int pick(Object x) { return 1000; }
}

class Private1 {
    private int secret() { return 7; }
    int outer() { return new Object() { int get() { return secret(); } }.get(); }
}

class Base {
    Base self() { return this; }
    int tag() { return 1; }
}

class Derived extends Base {
    Base self() { return new Derived2(); }
    int tag() { return 2; }
}

class Derived2 extends Derived {
    int tag() { return 3; }
}
