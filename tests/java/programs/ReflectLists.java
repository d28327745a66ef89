import java.lang.reflect.Field;
import java.lang.reflect.Method;

/* The public members of a class or interface include those it inherits from superclasses
   and superinterfaces, each once. */
public class ReflectLists {
    public interface A { int FROM_A = 1; void fromA(); }
    public interface B extends A { void fromB(); }
    public interface C extends A { void fromC(); }
    public interface D extends B, C { void fromD(); void fromA(); }

    public static class Base implements A {
        public static int baseStatic() { return 1; }
        public static int shadowed() { return 2; }
        public void fromA() { }
    }
    public static class Sub extends Base implements B, C {
        public static int shadowed() { return 3; }
        public void fromB() { }
        public void fromC() { }
    }

    public static class Outer extends Base {
        public static class BaseInner { }
    }
    public static class Members extends Outer {
        public class PublicOne { }
        private class PrivateOne { }
        protected static class ProtectedStatic { }
        public interface PublicFace { }
        protected interface ProtectedFace { }
        final class PackageFinal { }
    }

    static void sorted(String label, String[] n) {
        for (int i = 0; i < n.length; i++)
            for (int j = i + 1; j < n.length; j++)
                if (n[j].compareTo(n[i]) < 0) { String t = n[i]; n[i] = n[j]; n[j] = t; }
        StringBuffer sb = new StringBuffer(label).append(':');
        for (int i = 0; i < n.length; i++) sb.append(' ').append(n[i]);
        System.out.println(sb);
    }

    static void methods(Class c) {
        Method[] m = c.getMethods();
        String[] n = new String[m.length];
        for (int i = 0; i < m.length; i++) {
            String owner = m[i].getDeclaringClass().getName();
            n[i] = owner.substring(owner.lastIndexOf('$') + 1) + "." + m[i].getName();
        }
        sorted(c.getName().substring(c.getName().lastIndexOf('$') + 1) + " methods", n);
    }

    static void fields(Class c) {
        Field[] f = c.getFields();
        String[] n = new String[f.length];
        for (int i = 0; i < f.length; i++) n[i] = f[i].getName();
        sorted(c.getName().substring(c.getName().lastIndexOf('$') + 1) + " fields", n);
    }

    public static void main(String[] a) throws Exception {
        methods(B.class);
        methods(D.class);
        Class[] own = {Sub.class};
        for (int k = 0; k < own.length; k++) {
            Method[] m = own[k].getMethods();
            String[] n = new String[0];
            for (int i = 0; i < m.length; i++) {
                if (m[i].getDeclaringClass() == Object.class) continue;
                String[] more = new String[n.length + 1];
                System.arraycopy(n, 0, more, 0, n.length);
                String owner = m[i].getDeclaringClass().getName();
                more[n.length] = owner.substring(owner.lastIndexOf('$') + 1) + "." + m[i].getName();
                n = more;
            }
            sorted("Sub methods (past Object's)", n);
        }
        System.out.println("Sub.getMethod(baseStatic) -> " + Sub.class.getMethod("baseStatic", null).invoke(null, null));
        System.out.println("Sub.getMethod(shadowed) -> " + Sub.class.getMethod("shadowed", null).invoke(null, null));
        fields(D.class);
        fields(Sub.class);

        // A member class's modifiers are those it was declared with, and only the public
        // ones (inherited ones too) are its outer class's public members.
        Class[] pub = Members.class.getClasses();
        String[] names = new String[pub.length];
        for (int i = 0; i < pub.length; i++) names[i] = pub[i].getName().substring(pub[i].getName().lastIndexOf('$') + 1);
        sorted("Members public classes", names);
        Class[] all = Members.class.getDeclaredClasses();
        names = new String[all.length];
        for (int i = 0; i < all.length; i++)
            names[i] = all[i].getName().substring(all[i].getName().lastIndexOf('$') + 1) + "=" + all[i].getModifiers();
        sorted("Members declared classes", names);
        System.out.println("ReflectLists modifiers " + ReflectLists.class.getModifiers());
    }
}
