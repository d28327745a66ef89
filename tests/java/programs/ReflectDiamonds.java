import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/* The public methods of interfaces reached along several paths: a method is hidden only
   by one of its name and descriptor that an interface extending its own declares,
   whichever side of a diamond is walked first; and every Method listed, of a
   superinterface as much as of the interface itself, answers its modifiers, its text and
   a call. */
public class ReflectDiamonds {
    interface I1 { void m(); }
    interface I2 extends I1 { void m(); }
    interface I3 extends I1 { }
    interface J1 extends I3, I2 { }
    interface J2 extends I2, I3 { }
    interface K1 { void m(); }
    interface K2 { void m(); }
    interface KK extends K1, K2 { }
    interface T1 { String toString(); int hashCode(); void own(); }
    interface L0 { void m(); void n(); }
    interface L1 extends L0 { void m(); }
    interface L2 extends L0 { void n(); }
    interface L3 extends L1, L2 { }
    interface L4 extends L2, L1 { }
    interface L5 extends L0, L4, L3 { }
    static abstract class AJ1 implements J1 { }
    static abstract class AL3 implements L3 { }
    static abstract class AL0 implements L0, L3 { }
    static class Base { public void m() { } }
    static abstract class DA extends Base implements K1, K2 { }
    static class P { public void a() { } public static void s() { } public static void t() { } }
    static class Q extends P { public void a() { } public static void s() { } }

    static class Impl implements L5, J1, J2, KK {
        int calls;
        public void m() { calls++; }
        public void n() { calls += 10; }
    }

    static String name(Class c) { return c.getName().substring(c.getName().lastIndexOf('$') + 1); }

    static void sort(String[] a) {
        for (int i = 1; i < a.length; i++) {
            String k = a[i];
            int j = i - 1;
            while (j >= 0 && a[j].compareTo(k) > 0) { a[j + 1] = a[j]; j--; }
            a[j + 1] = k;
        }
    }

    static void methods(Class c) {
        Method[] ms = c.getMethods();
        int n = 0;
        for (int i = 0; i < ms.length; i++) if (ms[i].getDeclaringClass() != Object.class) n++;
        String[] s = new String[n];
        n = 0;
        for (int i = 0; i < ms.length; i++) {
            Method m = ms[i];
            if (m.getDeclaringClass() == Object.class) continue;
            StringBuffer b = new StringBuffer(name(m.getDeclaringClass())).append('.').append(m.getName());
            b.append("()").append(m.getReturnType().getName());
            if (Modifier.isStatic(m.getModifiers())) b.append(" static");
            if (Modifier.isAbstract(m.getModifiers())) b.append(" abstract");
            s[n++] = b.toString();
        }
        sort(s);
        StringBuffer line = new StringBuffer(name(c)).append(" methods ").append(n).append(':');
        for (int i = 0; i < n; i++) line.append(' ').append(s[i]);
        System.out.println(line);
    }

    /* Each listed method of an interface of a library or of this program asked for its
       modifiers and text, and called on target when there is one. */
    static void usable(Class c, Object target) {
        Method[] ms = c.getMethods();
        int bad = 0;
        String first = null;
        for (int i = 0; i < ms.length; i++) {
            try {
                ms[i].getModifiers();
                if (ms[i].toString().indexOf(ms[i].getName()) < 0) throw new RuntimeException("text " + ms[i]);
                if (target != null) ms[i].invoke(target, new Object[0]);
            } catch (Throwable t) {
                bad++;
                if (first == null) first = name(ms[i].getDeclaringClass()) + "." + ms[i].getName() + ": " + t;
            }
        }
        System.out.println(c.getName() + ": " + ms.length + " methods, failed on " + bad + (first != null ? " (first " + first + ")" : ""));
    }

    public static void main(String[] args) throws Exception {
        Class[] cs = { I1.class, I2.class, I3.class, J1.class, J2.class, KK.class, T1.class, L3.class, L4.class,
            L5.class, AJ1.class, AL3.class, AL0.class, DA.class, Q.class };
        for (int i = 0; i < cs.length; i++) methods(cs[i]);
        System.out.println("J1.getMethod m -> " + name(J1.class.getMethod("m", new Class[0]).getDeclaringClass()));
        System.out.println("L4.getMethod n -> " + name(L4.class.getMethod("n", new Class[0]).getDeclaringClass()));
        Impl impl = new Impl();
        Class[] called = { L5.class, L4.class, J1.class, KK.class };
        for (int i = 0; i < called.length; i++) usable(called[i], impl);
        System.out.println("calls " + impl.calls);
        usable(java.io.ObjectInput.class, null);
        usable(java.io.ObjectOutput.class, null);
    }
}
