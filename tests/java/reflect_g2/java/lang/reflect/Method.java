package java.lang.reflect;

/** A method in the 1.2-style layout. */
public final class Method extends AccessibleObject implements Member {

    private Class clazz;
    private int slot;
    private String name;
    private Class returnType;
    private Class[] parameterTypes;
    private Class[] exceptionTypes;
    private int modifiers;

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

    public native Object invoke(Object obj, Object[] args)
            throws IllegalAccessException, IllegalArgumentException, InvocationTargetException;
}
