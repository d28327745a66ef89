package reflect;

import corvane.sql.VMUtil;

/** The server's utility natives: method descriptors and overload resolution. */
public class UtilCases {

    static String overload(Class c, String name, String args, boolean instance) {
        try {
            String s = VMUtil.Overload(c, name, args, instance);
            return s == null ? "null" : s;
        } catch (Throwable t) {
            return Out.thrown(t) + " " + t.getMessage();
        }
    }

    public static String report() throws Exception {
        Out out = new Out();
        out.line("getSignature valueOf(int): "
                + VMUtil.getSignature(String.class.getMethod("valueOf", new Class[] {int.class})));
        out.line("getSignature setAll: " + VMUtil.getSignature(Fixture.class.getMethod("setAll", new Class[] {
                boolean.class, byte.class, char.class, short.class, int.class, long.class, float.class, double.class,
                String.class})));
        out.line("getSignature null: " + VMUtil.getSignature(null));
        Class o = Overloads.class;
        out.line("String.valueOf (I): " + overload(String.class, "valueOf", "(I)", true));
        out.line("m (I): " + overload(o, "m", "(I)", true));
        out.line("m (F): " + overload(o, "m", "(F)", true));
        out.line("m (J): " + overload(o, "m", "(J)", false));
        out.line("m (Z): " + overload(o, "m", "(Z)", true));
        out.line("m (II): " + overload(o, "m", "(II)", true));
        out.line("m (): " + overload(o, "m", "()", true));
        out.line("m empty: " + overload(o, "m", "", true));
        out.line("m without parenthesis: " + overload(o, "m", "I", true));
        out.line("m without close: " + overload(o, "m", "(I", true));
        out.line("p (II): " + overload(o, "p", "(II)", true));
        out.line("p (IJ): " + overload(o, "p", "(IJ)", true));
        out.line("q (I) static only: " + overload(o, "q", "(I)", false));
        out.line("q (I): " + overload(o, "q", "(I)", true));
        out.line("r private: " + overload(o, "r", "(I)", true));
        out.line("t protected: " + overload(o, "t", "(I)", true));
        out.line("up in the superclass: " + overload(o, "up", "(B)", true));
        out.line("s (Ljava/lang/String;): " + overload(o, "s", "(Ljava/lang/String;)", true));
        out.line("s (Ljava/lang/Integer;): " + overload(o, "s", "(Ljava/lang/Integer;)", true));
        out.line("s (V): " + overload(o, "s", "(V)", true));
        out.line("a ([I): " + overload(o, "a", "([I)", true));
        out.line("a ([J): " + overload(o, "a", "([J)", true));
        out.line("s (Lreflect/NoSuchClass;): " + overload(o, "s", "(Lreflect/NoSuchClass;)", true));
        out.line("nothing: " + overload(o, "nothing", "(I)", true));
        out.line("null class: " + overload(null, "m", "(I)", true));
        out.line("int class: " + overload(int.class, "m", "(I)", true));
        out.line("null name: " + overload(o, null, "(I)", true));
        out.line("null arguments: " + overload(o, "m", null, true));
        out.line("interface: " + overload(Marked.class, "describe", "()", true));
        out.line("interface, Object's method: " + overload(Marked.class, "hashCode", "()", true));
        return out.toString();
    }
}
