package reflect;

import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Method;

/** What this machine's 1.1 library does where the later JDKs differ: access without
    override, final fields, the public lists, and the text of members. */
public class MachineCases {

    static String names(Object[] members) {
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < members.length; i++) {
            if (i > 0) {
                sb.append(' ');
            }
            java.lang.reflect.Member m = (java.lang.reflect.Member) members[i];
            sb.append(m.getDeclaringClass().getName().substring(8)).append('.').append(m.getName());
        }
        return sb.toString();
    }

    static String access() {
        Out out = new Out();
        Fixture o = new Fixture();
        try {
            out.line("private field: " + Fixture.class.getDeclaredField("secret").getInt(o));
        } catch (Throwable t) {
            out.line("private field: " + Out.thrown(t));
        }
        try {
            out.line("protected field: " + Fixture.class.getDeclaredField("prot").getInt(o));
            out.line("package field: " + Fixture.class.getDeclaredField("pack").getInt(o));
            Field fin = Fixture.class.getField("fin");
            try {
                fin.setInt(o, 12);
            } catch (IllegalAccessException e) {
                out.line("final field set: " + Out.thrown(e));
            }
            out.line("final field: " + fin.getInt(o));
            Field big = Fixture.class.getField("BIG");
            out.line("static final: " + Long.toHexString(big.getLong(null)));
        } catch (Throwable t) {
            out.line("fields: " + Out.thrown(t));
        }
        Method[] methods = {null, null, null};
        try {
            methods[0] = Fixture.class.getDeclaredMethod("secret", null);
            methods[1] = Fixture.class.getDeclaredMethod("prot", new Class[] {long.class});
            methods[2] = Fixture.class.getDeclaredMethod("pack", null);
        } catch (Throwable t) {
            out.line("look-up: " + Out.thrown(t));
        }
        Object[][] args = {null, {new Long(3)}, null};
        for (int i = 0; i < methods.length; i++) {
            try {
                out.line(methods[i].getName() + ": " + Out.show(methods[i].invoke(o, args[i])));
            } catch (Throwable t) {
                out.line(methods[i].getName() + ": " + Out.thrown(t));
            }
        }
        Class[][] ctors = {{double.class}, {char.class}};
        Object[][] ctorArgs = {{new Double(1)}, {new Character('c')}};
        for (int i = 0; i < ctors.length; i++) {
            try {
                Constructor c = Fixture.class.getDeclaredConstructor(ctors[i]);
                out.line("constructor " + ctors[i][0].getName() + ": " + c.newInstance(ctorArgs[i]).getClass().getName());
            } catch (Throwable t) {
                out.line("constructor " + ctors[i][0].getName() + ": " + Out.thrown(t));
            }
        }
        try {
            Constructor classConstructor = Class.class.getDeclaredConstructor(new Class[0]);
            out.line("new Class(): " + classConstructor.newInstance(null));
        } catch (Throwable t) {
            out.line("new Class(): " + Out.thrown(t));
        }
        return out.toString();
    }

    static String lists() {
        Out out = new Out();
        out.line("Fixture methods: " + names(Fixture.class.getMethods()));
        out.line("Marked methods: " + names(Marked.class.getMethods()));
        out.line("Shape methods: " + names(Shape.class.getMethods()));
        out.line("Derived methods: " + names(Derived.class.getMethods()));
        out.line("Fixture fields: " + names(Fixture.class.getFields()));
        out.line("Hider fields: " + names(Hider.class.getFields()));
        out.line("Fixture declared constructors: " + Fixture.class.getDeclaredConstructors().length);
        out.line("String[] methods: " + String[].class.getMethods().length);
        try {
            Fixture.class.getMethod("baseStatic", null);
            out.line("inherited static: found");
        } catch (Throwable t) {
            out.line("inherited static: " + Out.thrown(t));
        }
        return out.toString();
    }

    static String texts() throws Exception {
        Out out = new Out();
        out.line(Fixture.class.getMethod("mix", new Class[] {byte.class, short.class, char.class, int.class,
                long.class, float.class, double.class}).toString());
        out.line(Fixture.class.getMethod("failChecked", null).toString());
        out.line(Fixture.class.getMethod("getInts", null).toString());
        out.line(Fixture.class.getConstructor(new Class[] {boolean.class}).toString());
        out.line(Fixture.class.getField("BIG").toString());
        out.line(Fixture.class.getField("ints").toString());
        Method a = Fixture.class.getMethod("getI", null);
        Method b = Fixture.class.getMethod("getI", null);
        out.line("equal: " + a.equals(b) + " same: " + (a == b) + " hash: " + (a.hashCode() == b.hashCode()));
        Class[] p = Fixture.class.getMethod("add", new Class[] {int.class, long.class}).getParameterTypes();
        p[0] = String.class;
        out.line("copy of the parameter types: "
                + Fixture.class.getMethod("add", new Class[] {int.class, long.class}).getParameterTypes()[0]);
        return out.toString();
    }

    // The class context from several frames, and through a reflective call.
    static Class[] context() {
        return Nested.call();
    }

    static Class[] contextThroughInvoke() throws Exception {
        return (Class[]) MachineCases.class.getDeclaredMethod("context", null).invoke(null, null);
    }

    static class Nested {
        static Class[] call() {
            return java.util.ContextProbe.context();
        }
    }
}
