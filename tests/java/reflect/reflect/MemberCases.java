package reflect;

import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Member;
import java.lang.reflect.Method;

/** The members of classes as reflection lists them, each list sorted (the machine's order
    and the JDK's differ, and neither is the language's business). */
public class MemberCases {

    static String types(Class[] types) {
        StringBuffer sb = new StringBuffer("(");
        for (int i = 0; i < types.length; i++) {
            if (i > 0) {
                sb.append(',');
            }
            sb.append(types[i].getName());
        }
        return sb.append(')').toString();
    }

    static String describe(Member m) {
        String text = m.getDeclaringClass().getName() + "." + m.getName() + " modifiers " + m.getModifiers();
        if (m instanceof Field) {
            return text + " type " + ((Field) m).getType().getName();
        }
        if (m instanceof Method) {
            Method x = (Method) m;
            return text + " " + types(x.getParameterTypes()) + x.getReturnType().getName() + " throws "
                    + types(x.getExceptionTypes());
        }
        Constructor c = (Constructor) m;
        return text + " " + types(c.getParameterTypes()) + " throws " + types(c.getExceptionTypes());
    }

    static void sort(String[] a) {
        for (int i = 1; i < a.length; i++) {
            String x = a[i];
            int j = i - 1;
            while (j >= 0 && a[j].compareTo(x) > 0) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = x;
        }
    }

    static void list(Out out, String title, Member[] members) {
        String[] lines = new String[members.length];
        for (int i = 0; i < members.length; i++) {
            lines[i] = describe(members[i]);
        }
        sort(lines);
        out.line(title + ": " + members.length);
        for (int i = 0; i < lines.length; i++) {
            out.line("  " + lines[i]);
        }
    }

    static String classes(Class[] cs) {
        String[] names = new String[cs.length];
        for (int i = 0; i < cs.length; i++) {
            names[i] = cs[i].getName();
        }
        sort(names);
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < names.length; i++) {
            sb.append(' ').append(names[i]);
        }
        return cs.length + sb.toString();
    }

    public static String report() {
        Out out = new Out();
        list(out, "Fixture declared fields", Fixture.class.getDeclaredFields());
        list(out, "Fixture declared methods", Fixture.class.getDeclaredMethods());
        list(out, "Fixture declared constructors", Fixture.class.getDeclaredConstructors());
        list(out, "Fixture public constructors", Fixture.class.getConstructors());
        list(out, "Fixture public fields", Fixture.class.getFields());
        list(out, "Hider public fields", Hider.class.getFields());
        list(out, "Marked public fields", Marked.class.getFields());
        list(out, "Marked declared methods", Marked.class.getDeclaredMethods());
        list(out, "Greeter public methods", Greeter.class.getMethods());
        list(out, "Marked constructors", Marked.class.getConstructors());
        list(out, "int fields", int.class.getDeclaredFields());
        list(out, "int methods", int.class.getDeclaredMethods());
        list(out, "int[] declared methods", int[].class.getDeclaredMethods());
        list(out, "String[] fields", String[].class.getFields());
        try {
            out.line("Hider.getField(base): " + describe(Hider.class.getField("base")));
            out.line("Hider.getField(MARK): " + describe(Hider.class.getField("MARK")));
            out.line("Hider.getField(TAG): " + describe(Hider.class.getField("TAG")));
            out.line("Fixture.getField(base): " + describe(Fixture.class.getField("base")));
            out.line("Fixture.getMethod(getI, null): " + describe(Fixture.class.getMethod("getI", null)));
            out.line("Fixture.getMethod(add): " + describe(Fixture.class.getMethod("add", new Class[] {int.class, long.class})));
            out.line("Fixture.getDeclaredMethod(secret): " + describe(Fixture.class.getDeclaredMethod("secret", null)));
            out.line("Fixture.getDeclaredConstructor(double): "
                    + describe(Fixture.class.getDeclaredConstructor(new Class[] {double.class})));
            out.line("Fixture.getDeclaredField(secret): " + describe(Fixture.class.getDeclaredField("secret")));
        } catch (Throwable t) {
            out.line("look-ups: " + Out.thrown(t));
        }
        String[] missing = {"secret", "nothing", "pack"};
        for (int i = 0; i < missing.length; i++) {
            try {
                Fixture.class.getField(missing[i]);
                out.line("getField(" + missing[i] + "): found");
            } catch (Throwable t) {
                out.line("getField(" + missing[i] + "): " + Out.thrown(t));
            }
        }
        try {
            Fixture.class.getMethod("add", new Class[] {int.class, int.class});
        } catch (Throwable t) {
            out.line("getMethod(add(int,int)): " + Out.thrown(t));
        }
        try {
            Fixture.class.getField(null);
        } catch (Throwable t) {
            out.line("getField(null): " + Out.thrown(t));
        }
        try {
            int.class.getField("x");
        } catch (Throwable t) {
            out.line("int.getField: " + Out.thrown(t));
        }
        try {
            int.class.getMethod("x", null);
        } catch (Throwable t) {
            out.line("int.getMethod: " + Out.thrown(t));
        }
        out.line("modifiers Fixture " + Fixture.class.getModifiers() + " Shape " + Shape.class.getModifiers()
                + " Greeter " + Greeter.class.getModifiers() + " int[] " + int[].class.getModifiers()
                + " Fixture[][] " + Fixture[][].class.getModifiers());
        out.line("component int[][] " + int[][].class.getComponentType().getName() + ", int "
                + int.class.getComponentType() + ", Fixture " + Fixture.class.getComponentType());
        out.line("PrivilegedCases member classes " + classes(PrivilegedCases.class.getDeclaredClasses()));
        out.line("Fixture member classes " + classes(Fixture.class.getDeclaredClasses()));
        out.line("declaring class of Returns " + PrivilegedCases.Returns.class.getDeclaringClass().getName());
        out.line("declaring class of Fixture " + Fixture.class.getDeclaringClass());
        out.line("declaring class of int[] " + int[].class.getDeclaringClass());
        return out.toString();
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
