package reflect;

import java.lang.reflect.Field;

/**
 * Every public field of the fixture read with every getter and written with every setter,
 * then read back: the widening rules, boxing, the static and instance paths.
 */
public class FieldCases {

    static final String[] NAMES = {"z", "b", "c", "s", "i", "j", "f", "d", "str", "obj", "sz", "sb", "sc", "ss",
            "si", "sj", "sf", "sd", "sstr", "sobj", "base", "baseStatic", "MARK", "TAG", "ints"};

    static final String[] GETTERS = {"get", "getBoolean", "getByte", "getChar", "getShort", "getInt", "getLong",
            "getFloat", "getDouble"};

    static Fixture sample() {
        Fixture o = new Fixture();
        o.z = true;
        o.b = -3;
        o.c = '\uffff';
        o.s = -300;
        o.i = -70000;
        o.j = -5000000000L;
        o.f = 1.5f;
        o.d = -2.25;
        o.str = "text";
        o.obj = new Integer(5);
        o.ints = new int[] {1, 2};
        Fixture.sz = true;
        Fixture.sb = -3;
        Fixture.sc = '\uffff';
        Fixture.ss = -300;
        Fixture.si = -70000;
        Fixture.sj = -5000000000L;
        Fixture.sf = 1.5f;
        Fixture.sd = -2.25;
        Fixture.sstr = "text";
        Fixture.sobj = new Integer(5);
        return o;
    }

    static String get(Field f, Object o, int which) {
        try {
            switch (which) {
                case 0: return Out.show(f.get(o));
                case 1: return "boolean " + f.getBoolean(o);
                case 2: return "byte " + f.getByte(o);
                case 3: return "char " + (int) f.getChar(o);
                case 4: return "short " + f.getShort(o);
                case 5: return "int " + f.getInt(o);
                case 6: return "long " + f.getLong(o);
                case 7: return "float " + f.getFloat(o);
                default: return "double " + f.getDouble(o);
            }
        } catch (Throwable t) {
            return Out.thrown(t);
        }
    }

    static final String[] SETTERS = {"setBoolean(true)", "setByte(-4)", "setChar(A)", "setShort(-400)",
            "setInt(-80000)", "setLong(-6000000000)", "setFloat(2.5)", "setDouble(-3.75)", "set(Byte -5)",
            "set(Character B)", "set(Integer 123)", "set(Long 9)", "set(Float 0.5)", "set(Double 0.25)",
            "set(Boolean false)", "set(String s)", "set(null)", "set(int[])"};

    static void set(Field f, Object o, int which) throws Exception {
        switch (which) {
            case 0: f.setBoolean(o, true); break;
            case 1: f.setByte(o, (byte) -4); break;
            case 2: f.setChar(o, 'A'); break;
            case 3: f.setShort(o, (short) -400); break;
            case 4: f.setInt(o, -80000); break;
            case 5: f.setLong(o, -6000000000L); break;
            case 6: f.setFloat(o, 2.5f); break;
            case 7: f.setDouble(o, -3.75); break;
            case 8: f.set(o, new Byte((byte) -5)); break;
            case 9: f.set(o, new Character('B')); break;
            case 10: f.set(o, new Integer(123)); break;
            case 11: f.set(o, new Long(9)); break;
            case 12: f.set(o, new Float(0.5f)); break;
            case 13: f.set(o, new Double(0.25)); break;
            case 14: f.set(o, Boolean.FALSE); break;
            case 15: f.set(o, "s"); break;
            case 16: f.set(o, null); break;
            default: f.set(o, new int[3]); break;
        }
    }

    public static String report() {
        Out out = new Out();
        for (int n = 0; n < NAMES.length; n++) {
            Field f;
            try {
                f = Fixture.class.getField(NAMES[n]);
            } catch (Throwable t) {
                out.line(NAMES[n] + ": " + Out.thrown(t));
                continue;
            }
            out.line(f.getName() + ": " + f.getType().getName() + " in " + f.getDeclaringClass().getName()
                    + " modifiers " + f.getModifiers());
            for (int g = 0; g < GETTERS.length; g++) {
                out.line("  " + GETTERS[g] + " " + get(f, sample(), g));
            }
            if (NAMES[n].equals("MARK") || NAMES[n].equals("TAG")) {
                continue;
            }
            for (int s = 0; s < SETTERS.length; s++) {
                Fixture o = sample();
                String result;
                try {
                    set(f, o, s);
                    result = get(f, o, 0);
                } catch (Throwable t) {
                    result = Out.thrown(t) + ", still " + get(f, o, 0);
                }
                out.line("  " + SETTERS[s] + " -> " + result);
            }
        }
        // The object argument: ignored for a static field, checked for an instance one.
        try {
            Field i = Fixture.class.getField("i");
            Field si = Fixture.class.getField("si");
            sample();
            out.line("static with null: " + si.getInt(null));
            out.line("static with another object: " + si.getInt(new Other()));
            out.line("instance with null: " + get(i, null, 5));
            out.line("instance with another object: " + get(i, new Other(), 5));
            out.line("instance with a superclass object: " + get(i, new FixtureBase(), 5));
            Field base = Fixture.class.getField("base");
            out.line("inherited field of a subclass object: " + get(base, sample(), 5));
            out.line("inherited field of a superclass object: " + get(base, new FixtureBase(), 5));
        } catch (Throwable t) {
            out.line("object cases: " + Out.thrown(t));
        }
        return out.toString();
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
