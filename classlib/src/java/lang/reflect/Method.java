package java.lang.reflect;

/**
 * A method seen through reflection. Made by the machine at a fixed size without a
 * constructor: the six fields below are exactly the object's words.
 */
public final class Method implements Member {

    private Class clazz;
    // The machine's index of the method in its class; never changed here.
    private int slot;
    private String name;
    private Class returnType;
    private Class[] parameterTypes;
    private Class[] exceptionTypes;

    private Method() {
    }

    public Class getDeclaringClass() {
        return clazz;
    }

    public String getName() {
        return name;
    }

    public native int getModifiers();

    public Class getReturnType() {
        return returnType;
    }

    public Class[] getParameterTypes() {
        return (Class[]) parameterTypes.clone();
    }

    public Class[] getExceptionTypes() {
        return (Class[]) exceptionTypes.clone();
    }

    public boolean equals(Object obj) {
        if (!(obj instanceof Method)) {
            return false;
        }
        Method other = (Method) obj;
        return clazz == other.clazz && name.equals(other.name) && returnType == other.returnType
                && Modifier.sameTypes(parameterTypes, other.parameterTypes);
    }

    public int hashCode() {
        return clazz.getName().hashCode() ^ name.hashCode();
    }

    public String toString() {
        StringBuffer sb = new StringBuffer();
        String mods = Modifier.toString(getModifiers());
        if (mods.length() > 0) {
            sb.append(mods).append(' ');
        }
        sb.append(Modifier.typeName(returnType)).append(' ');
        sb.append(Modifier.typeName(clazz)).append('.').append(name).append('(');
        Modifier.appendTypes(sb, parameterTypes);
        sb.append(')');
        if (exceptionTypes.length > 0) {
            sb.append(" throws ");
            Modifier.appendTypes(sb, exceptionTypes);
        }
        return sb.toString();
    }

    public native Object invoke(Object obj, Object[] args)
            throws IllegalAccessException, IllegalArgumentException, InvocationTargetException;
}
