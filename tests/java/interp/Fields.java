package interp;

/* Fields and static methods reached through a subclass or an implementing class. */
public class Fields {
    public static int cases() { return 8; }

    static int ZERO = 0;

    public static int i(int n) {
        switch (n) {
            case 0: { FieldSub s = new FieldSub(); s.f = 3; return s.f; }
            case 1: FieldSub.sf = 4; return FieldSub.sf;
            case 2: return FieldSub.twice(5);
            case 3: return FieldImpl.K + ZERO;
            case 4: { FieldImpl x = new FieldImpl(); return x.K; }
            case 5: return FieldSub2.sf + FieldSub2.twice(1);
            case 6: { FieldSub2 s = new FieldSub2(); s.f = 9; return s.f + ((FieldBase) s).f; }
            case 7: return FieldSub.L.length();
        }
        return -777;
    }
}

class FieldBase {
    int f;
    static int sf = 1;
    static String L = "four";
    static int twice(int x) { return 2 * x; }
}
class FieldSub extends FieldBase { }
class FieldSub2 extends FieldSub { int f = 100; }

interface FieldConst {
    int K = Fields.ZERO + 7;
}
class FieldImpl implements FieldConst { }
