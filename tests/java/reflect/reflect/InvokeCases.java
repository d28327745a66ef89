package reflect;

import java.lang.reflect.Constructor;
import java.lang.reflect.Method;

/** Method.invoke and Constructor.newInstance over public members: boxing, widening,
    dispatch through interfaces and superclasses, targets that throw, wrong arguments. */
public class InvokeCases {

    static Object[] args(Object a) {
        return new Object[] {a};
    }

    static Object[] args(Object a, Object b) {
        return new Object[] {a, b};
    }

    static String invoke(Class c, String name, Class[] types, Object receiver, Object[] arguments) {
        try {
            Method m = c.getMethod(name, types);
            return Out.show(m.invoke(receiver, arguments));
        } catch (Throwable t) {
            return Out.thrown(t);
        }
    }

    static String make(Class c, Class[] types, Object[] arguments) {
        try {
            Constructor k = c.getConstructor(types);
            Object o = k.newInstance(arguments);
            if (o instanceof Fixture) {
                Fixture f = (Fixture) o;
                return "made " + o.getClass().getName() + " i=" + f.i + " j=" + f.j + " str=" + f.str + " z=" + f.z;
            }
            return "made " + o.getClass().getName();
        } catch (Throwable t) {
            return Out.thrown(t);
        }
    }

    public static String report() {
        Out out = new Out();
        Class F = Fixture.class;
        Class[] intLong = {int.class, long.class};
        out.line("add(int,long) Integer,Long: " + invoke(F, "add", intLong, null, args(new Integer(2), new Long(40))));
        out.line("add(int,long) Byte,Integer: " + invoke(F, "add", intLong, null, args(new Byte((byte) -2), new Integer(9))));
        out.line("add(int,long) Short,Character: "
                + invoke(F, "add", intLong, null, args(new Short((short) 300), new Character('a'))));
        out.line("add(int,long) Long,Long: " + invoke(F, "add", intLong, null, args(new Long(1), new Long(1))));
        out.line("add(int,long) Float,Long: " + invoke(F, "add", intLong, null, args(new Float(1), new Long(1))));
        out.line("add(int,long) null,Long: " + invoke(F, "add", intLong, null, args(null, new Long(1))));
        out.line("add(int,long) String,Long: " + invoke(F, "add", intLong, null, args("1", new Long(1))));
        out.line("add(int,long) one argument: " + invoke(F, "add", intLong, null, args(new Integer(1))));
        out.line("add(int,long) no arguments: " + invoke(F, "add", intLong, null, null));
        out.line("add(int,long) with a receiver: " + invoke(F, "add", intLong, new Other(), args(new Integer(1), new Long(2))));
        out.line("wide(long) Integer -1: " + invoke(F, "wide", new Class[] {long.class}, null, args(new Integer(-1))));
        out.line("wide(long) Long max/2: "
                + invoke(F, "wide", new Class[] {long.class}, null, args(new Long(Long.MAX_VALUE / 2))));
        Class[] mixTypes = {byte.class, short.class, char.class, int.class, long.class, float.class, double.class};
        Object[] mixArgs = {new Byte((byte) 1), new Byte((byte) 2), new Character('\u0003'), new Short((short) 4),
                new Character('\u0005'), new Long(6), new Float(0.5f)};
        out.line("mix widened: " + invoke(F, "mix", mixTypes, null, mixArgs));
        Object[] badMix = {new Short((short) 1), new Byte((byte) 2), new Character('\u0003'), new Short((short) 4),
                new Character('\u0005'), new Long(6), new Float(0.5f)};
        out.line("mix with a Short for byte: " + invoke(F, "mix", mixTypes, null, badMix));
        Fixture o = FieldCases.sample();
        String[] getters = {"isZ", "getB", "getC", "getS", "getI", "getJ", "getF", "getD", "getStr", "getInts"};
        for (int i = 0; i < getters.length; i++) {
            out.line(getters[i] + ": " + invoke(F, getters[i], null, o, null));
        }
        out.line("getI with null receiver: " + invoke(F, "getI", null, null, null));
        out.line("getI with another object: " + invoke(F, "getI", null, new Other(), null));
        out.line("getI with an empty array: " + invoke(F, "getI", new Class[0], o, new Object[0]));
        Class[] all = {boolean.class, byte.class, char.class, short.class, int.class, long.class, float.class,
                double.class, String.class};
        Object[] values = {Boolean.TRUE, new Byte((byte) 7), new Character('x'), new Byte((byte) 8),
                new Character('y'), new Integer(10), new Long(11), new Float(12.5f), "twelve"};
        Fixture p = new Fixture();
        out.line("setAll: " + invoke(F, "setAll", all, p, values) + " -> " + p.z + " " + p.b + " " + (int) p.c + " "
                + p.s + " " + p.i + " " + p.j + " " + p.f + " " + p.d + " " + p.str);
        out.line("fail: " + invoke(F, "fail", new Class[] {String.class}, o, args("no")));
        out.line("failChecked: " + invoke(F, "failChecked", null, null, null));
        out.line("describe on Fixture: " + invoke(F, "describe", null, o, null));
        out.line("FixtureBase.describe on Fixture: " + invoke(FixtureBase.class, "describe", null, o, null));
        out.line("FixtureBase.describe on FixtureBase: " + invoke(FixtureBase.class, "describe", null, new FixtureBase(), null));
        out.line("inherited on Fixture: " + invoke(F, "inherited", null, o, null));
        out.line("Marked.describe on Fixture: " + invoke(Marked.class, "describe", null, o, null));
        out.line("Marked.describe on Other: " + invoke(Marked.class, "describe", null, new Other(), null));
        out.line("Greeter.hi on Derived: " + invoke(Greeter.class, "hi", null, new Derived(), null));
        out.line("Greeter.hi on Base: " + invoke(Greeter.class, "hi", null, new Base(), null));
        out.line("Base.hi on Derived: " + invoke(Base.class, "hi", null, new Derived(), null));
        out.line("Base.name on Derived: " + invoke(Base.class, "name", null, new Derived(), null));
        out.line("Derived.hi on Base: " + invoke(Derived.class, "hi", null, new Base(), null));
        out.line("Object.equals on Other: "
                + invoke(Object.class, "equals", new Class[] {Object.class}, new Other(), args("x")));
        out.line("String.valueOf(int): " + invoke(String.class, "valueOf", new Class[] {int.class}, null, args(new Short((short) -7))));
        out.line("String.length: " + invoke(String.class, "length", null, "four", null));
        // A class literal would initialise the class (a 1.1 class file looks it up with
        // Class.forName); an array class does not.
        Class lazy = new Lazy[0].getClass().getComponentType();
        Class broken = new Broken[0].getClass().getComponentType();
        out.line("Lazy runs before: " + Counter.lazyRuns);
        out.line("Lazy.twice: " + invoke(lazy, "twice", new Class[] {int.class}, null, args(new Integer(21))));
        out.line("Lazy.twice again: " + invoke(lazy, "twice", new Class[] {int.class}, null, args(new Integer(4))));
        out.line("Lazy runs after: " + Counter.lazyRuns);
        out.line("Broken.get: " + invoke(broken, "get", null, null, null));
        out.line("Broken.get again: " + invoke(broken, "get", null, null, null));

        out.line("new Fixture(): " + make(F, new Class[0], null));
        out.line("new Fixture() with empty args: " + make(F, new Class[0], new Object[0]));
        out.line("new Fixture(int) Byte: " + make(F, new Class[] {int.class}, args(new Byte((byte) 5))));
        out.line("new Fixture(int) Long: " + make(F, new Class[] {int.class}, args(new Long(5))));
        out.line("new Fixture(int) two args: " + make(F, new Class[] {int.class}, args(new Integer(5), new Integer(6))));
        out.line("new Fixture(String,long): "
                + make(F, new Class[] {String.class, long.class}, args("s", new Integer(-1))));
        out.line("new Fixture(String,long) wrong order: "
                + make(F, new Class[] {String.class, long.class}, args(new Integer(-1), "s")));
        out.line("new Fixture(boolean) false: " + make(F, new Class[] {boolean.class}, args(Boolean.FALSE)));
        out.line("new Fixture(boolean) true: " + make(F, new Class[] {boolean.class}, args(Boolean.TRUE)));
        out.line("new Shape(): " + make(Shape.class, new Class[0], null));
        out.line("new Broken(): " + make(broken, new Class[0], null));
        try {
            out.line("Fixture(double) public: " + F.getConstructor(new Class[] {double.class}));
        } catch (Throwable t) {
            out.line("Fixture(double) public: " + Out.thrown(t));
        }
        try {
            out.line("Fixture.nothing: " + F.getMethod("nothing", null));
        } catch (Throwable t) {
            out.line("Fixture.nothing: " + Out.thrown(t));
        }
        try {
            F.getMethod(null, null);
        } catch (Throwable t) {
            out.line("getMethod(null): " + Out.thrown(t));
        }
        return out.toString();
    }

    static int lazyRuns() {
        return Counter.lazyRuns;
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
