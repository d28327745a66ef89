package java.lang.reflect;

/** The access flag bits, as the machine reports them. */
public class Modifier {

    public static final int PUBLIC = 0x001;
    public static final int PRIVATE = 0x002;
    public static final int PROTECTED = 0x004;
    public static final int STATIC = 0x008;
    public static final int FINAL = 0x010;
    public static final int SYNCHRONIZED = 0x020;
    public static final int VOLATILE = 0x040;
    public static final int TRANSIENT = 0x080;
    public static final int NATIVE = 0x100;
    public static final int INTERFACE = 0x200;
    public static final int ABSTRACT = 0x400;

    public Modifier() {
    }

    public static boolean isPublic(int mod) {
        return (mod & PUBLIC) != 0;
    }

    public static boolean isPrivate(int mod) {
        return (mod & PRIVATE) != 0;
    }

    public static boolean isProtected(int mod) {
        return (mod & PROTECTED) != 0;
    }

    public static boolean isStatic(int mod) {
        return (mod & STATIC) != 0;
    }

    public static boolean isFinal(int mod) {
        return (mod & FINAL) != 0;
    }

    public static boolean isSynchronized(int mod) {
        return (mod & SYNCHRONIZED) != 0;
    }

    public static boolean isVolatile(int mod) {
        return (mod & VOLATILE) != 0;
    }

    public static boolean isTransient(int mod) {
        return (mod & TRANSIENT) != 0;
    }

    public static boolean isNative(int mod) {
        return (mod & NATIVE) != 0;
    }

    public static boolean isInterface(int mod) {
        return (mod & INTERFACE) != 0;
    }

    public static boolean isAbstract(int mod) {
        return (mod & ABSTRACT) != 0;
    }

    public static String toString(int mod) {
        StringBuffer sb = new StringBuffer();
        if ((mod & PUBLIC) != 0) {
            sb.append("public ");
        }
        if ((mod & PRIVATE) != 0) {
            sb.append("private ");
        }
        if ((mod & PROTECTED) != 0) {
            sb.append("protected ");
        }
        if ((mod & ABSTRACT) != 0) {
            sb.append("abstract ");
        }
        if ((mod & STATIC) != 0) {
            sb.append("static ");
        }
        if ((mod & FINAL) != 0) {
            sb.append("final ");
        }
        if ((mod & TRANSIENT) != 0) {
            sb.append("transient ");
        }
        if ((mod & VOLATILE) != 0) {
            sb.append("volatile ");
        }
        if ((mod & NATIVE) != 0) {
            sb.append("native ");
        }
        if ((mod & SYNCHRONIZED) != 0) {
            sb.append("synchronized ");
        }
        if ((mod & INTERFACE) != 0) {
            sb.append("interface ");
        }
        int n = sb.length();
        if (n > 0) {
            sb.setLength(n - 1);
        }
        return sb.toString();
    }

    // Type names as source code writes them: arrays as "int[]" rather than "[I".
    static String typeName(Class c) {
        int dims = 0;
        while (c.isArray()) {
            dims++;
            c = c.getComponentType();
        }
        StringBuffer sb = new StringBuffer(c.getName());
        for (int i = 0; i < dims; i++) {
            sb.append("[]");
        }
        return sb.toString();
    }

    static void appendTypes(StringBuffer sb, Class[] types) {
        for (int i = 0; i < types.length; i++) {
            if (i > 0) {
                sb.append(',');
            }
            sb.append(typeName(types[i]));
        }
    }

    static boolean sameTypes(Class[] a, Class[] b) {
        if (a.length != b.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }
}
