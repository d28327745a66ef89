package java.lang.reflect;

/**
 * A constructor seen through reflection. Made by the machine at a fixed size without a
 * constructor of its own: the four fields below are exactly the object's words.
 */
public final class Constructor implements Member {

    private Class clazz;
    // The machine's index of the constructor in its class; never changed here.
    private int slot;
    private Class[] parameterTypes;
    private Class[] exceptionTypes;

    private Constructor() {
    }

    public Class getDeclaringClass() {
        return clazz;
    }

    public String getName() {
        return clazz.getName();
    }

    public native int getModifiers();

    public Class[] getParameterTypes() {
        return (Class[]) parameterTypes.clone();
    }

    public Class[] getExceptionTypes() {
        return (Class[]) exceptionTypes.clone();
    }

    public boolean equals(Object obj) {
        if (!(obj instanceof Constructor)) {
            return false;
        }
        Constructor other = (Constructor) obj;
        return clazz == other.clazz && Modifier.sameTypes(parameterTypes, other.parameterTypes);
    }

    public int hashCode() {
        return clazz.getName().hashCode();
    }

    public String toString() {
        StringBuffer sb = new StringBuffer();
        String mods = Modifier.toString(getModifiers());
        if (mods.length() > 0) {
            sb.append(mods).append(' ');
        }
        sb.append(Modifier.typeName(clazz)).append('(');
        Modifier.appendTypes(sb, parameterTypes);
        sb.append(')');
        if (exceptionTypes.length > 0) {
            sb.append(" throws ");
            Modifier.appendTypes(sb, exceptionTypes);
        }
        return sb.toString();
    }

    public native Object newInstance(Object[] initargs)
            throws InstantiationException, IllegalAccessException, IllegalArgumentException,
            InvocationTargetException;
}
