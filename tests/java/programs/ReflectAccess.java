import java.lang.reflect.Array;
import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Method;

/* Reflection from a class of the unnamed package: its own private members are open to
   it; the class library's package members and every final field are not. */
public class ReflectAccess {
    private int v;
    public final int finalField = 9;
    public static final Boolean FLAG = Boolean.TRUE;

    private ReflectAccess(int v) { this.v = v; }
    public ReflectAccess() { }
    private int twice(int x) { return 2 * x; }

    static String name(Throwable t) { return t.getClass().getName(); }

    static void set(String label, Field f, Object recv, Object value) {
        try {
            f.set(recv, value);
            System.out.println(label + " -> set, now " + f.get(recv));
        } catch (Throwable t) {
            System.out.println(label + " -> " + name(t));
        }
    }

    static void dims(Class c, int n) {
        try {
            Object o = Array.newInstance(c, new int[n]);
            String name = o.getClass().getName();
            System.out.println(n + " dims of " + c.getName() + ": made, " + (name.lastIndexOf('[') + 1) + " '['");
        } catch (Throwable t) {
            System.out.println(n + " dims of " + c.getName() + ": " + name(t));
        }
    }

    public static void main(String[] a) throws Exception {
        try {
            Constructor c = ReflectAccess.class.getDeclaredConstructor(new Class[] {Integer.TYPE});
            System.out.println("own private constructor: " + ((ReflectAccess) c.newInstance(new Object[] {new Integer(23)})).v);
            Method m = ReflectAccess.class.getDeclaredMethod("twice", new Class[] {Integer.TYPE});
            System.out.println("own private method: " + m.invoke(new ReflectAccess(), new Object[] {new Integer(21)}));
            Field f = ReflectAccess.class.getDeclaredField("v");
            ReflectAccess p = new ReflectAccess();
            f.setInt(p, 5);
            System.out.println("own private field: " + f.getInt(p));
        } catch (Throwable t) {
            System.out.println("own private members: " + name(t));
        }

        // A package constructor of String that keeps the array it is given would make
        // strings mutable, and longer than their characters.
        Constructor[] cs = String.class.getDeclaredConstructors();
        String forged = "refused";
        for (int i = 0; i < cs.length; i++) {
            Class[] p = cs[i].getParameterTypes();
            if (p.length != 3 || p[0] != int.class || p[1] != int.class || p[2] != char[].class) continue;
            try {
                forged = "made " + cs[i].newInstance(new Object[] {new Integer(0), new Integer(100000000), new char[1]});
            } catch (IllegalAccessException e) {
                forged = "refused";
            }
        }
        System.out.println("String over a short array: " + forged);
        String fd = "refused";
        try {
            Field f = java.io.FileDescriptor.class.getDeclaredField("fd");
            f.setInt(new java.io.FileDescriptor(), 2);
            fd = "set";
        } catch (NoSuchFieldException e) {
            fd = "refused";
        } catch (IllegalAccessException e) {
            fd = "refused";
        }
        System.out.println("FileDescriptor.fd: " + fd);

        ReflectAccess p = new ReflectAccess();
        set("instance final", ReflectAccess.class.getField("finalField"), p, new Integer(1));
        set("static final", ReflectAccess.class.getField("FLAG"), null, Boolean.FALSE);
        set("Boolean.TRUE", Boolean.class.getField("TRUE"), null, Boolean.FALSE);
        System.out.println("Boolean.TRUE is now " + Boolean.TRUE);

        dims(String.class, 254);
        dims(String.class, 255);
        dims(Integer.TYPE, 255);
        dims(String[].class, 254);
        dims(String.class, 256);
        dims(String[].class, 255);
    }
}
