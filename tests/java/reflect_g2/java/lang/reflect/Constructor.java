package java.lang.reflect;

/** A constructor in the 1.2-style layout. */
public final class Constructor extends AccessibleObject implements Member {

    private Class clazz;
    private int slot;
    private Class[] parameterTypes;
    private Class[] exceptionTypes;
    private int modifiers;

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

    public native Object newInstance(Object[] initargs)
            throws InstantiationException, IllegalAccessException, IllegalArgumentException,
            InvocationTargetException;
}
