package natives;

// The natives of java.lang.Class as Java code uses them.
public class ClassCases {

    static String forNameOf(String name) {
        try {
            Class c = Class.forName(name);
            return "found " + c.getName();
        } catch (Throwable t) {
            return describe(t);
        }
    }

    static String newInstanceOf(Class c) {
        try {
            Object o = c.newInstance();
            return "made " + o.getClass().getName();
        } catch (Throwable t) {
            return describe(t);
        }
    }

    static String newInstanceFromOutside(Class c) {
        try {
            Object o = natives.other.Outsider.make(c);
            return "made " + o.getClass().getName();
        } catch (Throwable t) {
            return describe(t);
        }
    }

    static String describe(Throwable t) {
        String text = t.getClass().getName() + ": " + t.getMessage();
        if (t instanceof ExceptionInInitializerError) {
            Throwable cause = ((ExceptionInInitializerError) t).getException();
            text = text + " <- " + (cause == null ? "null" : cause.getClass().getName() + ": " + cause.getMessage());
        }
        return text;
    }

    static Class hidden() {
        return Hidden.class;
    }

    static String privateSelf() {
        try {
            return "made " + Shapes.PrivateConstructor.selfMade().getClass().getName();
        } catch (Throwable t) {
            return describe(t);
        }
    }

    static int queries() {
        if (Object.class.isInstance(null)) return 1;
        if (!Object.class.isInstance("s")) return 2;
        if (!int.class.isAssignableFrom(int.class)) return 3;
        if (int.class.isAssignableFrom(long.class)) return 4;
        try {
            Object.class.isAssignableFrom(null);
            return 5;
        } catch (NullPointerException e) {
        }
        if (Shapes.Face.class.getSuperclass() != null) return 6;
        if (Object.class.getSuperclass() != null) return 7;
        if (int[].class.getSuperclass() != Object.class) return 8;
        if (Shapes.Plain.class.getSuperclass() != Object.class) return 9;
        if (!Shapes.Face.class.isAssignableFrom(Shapes.Plain.class)) return 10;
        if (int.class.getSuperclass() != null) return 11;
        if (!"[Ljava.lang.String;".equals(String[].class.getName())) return 12;
        if (String.class.getName() == String.class.getName()) return 13;
        if (String.class.getClassLoader() != null || ClassCases.class.getClassLoader() != null) return 14;
        if (String.class.getSigners() != null) return 15;
        return 0;
    }

    // Booleans of the class queries are values a Java boolean can hold.
    static int booleans() {
        Class array = int[].class;
        Class face = Shapes.Face.class;
        if (array.isArray() != true) return 1;
        if ((face.isInterface() & true) != true) return 2;
        if ((int.class.isPrimitive() ^ true) != false) return 3;
        boolean[] kept = new boolean[3];
        kept[0] = array.isArray();
        kept[1] = face.isInterface();
        kept[2] = int.class.isPrimitive();
        if (!(kept[0] && kept[1] && kept[2])) return 4;
        if (array.isArray() != face.isInterface()) return 5;
        if (Object.class.isArray() || Object.class.isInterface() || Object.class.isPrimitive()) return 6;
        return 0;
    }

    static int interfaces() {
        Class[] first = Shapes.Plain.class.getInterfaces();
        if (first.length != 2 || first[0] != Shapes.Face2.class || first[1] != Cloneable.class) return 1;
        first[0] = null;
        first[1] = String.class;
        Class[] second = Shapes.Plain.class.getInterfaces();
        if (second == first || second[0] != Shapes.Face2.class || second[1] != Cloneable.class) return 2;
        Object o = new Shapes.Plain();
        if (!(o instanceof Shapes.Face) || !(o instanceof Cloneable)) return 3;
        if (int.class.getInterfaces().length != 0) return 4;
        if (int.class.getInterfaces() == int.class.getInterfaces()) return 5;
        Class[] arrays = String[].class.getInterfaces();
        if (arrays.length != 0) return 6;
        return 0;
    }
}
