package java.lang;

import java.io.InputStream;
import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Member;
import java.lang.reflect.Method;

/**
 * Class objects are the machine's own class records, so this class has no instance fields
 * at all (any field would read the record's words) and nobody calls its constructor.
 */
public final class Class implements java.io.Serializable {

    private Class() {
    }

    public String toString() {
        return (isInterface() ? "interface " : (isPrimitive() ? "" : "class ")).concat(getName());
    }

    // Finds the class with the loader of the calling class; the caller frame counts, so this
    // has to be the native itself.
    public static native Class forName(String className) throws ClassNotFoundException;

    // The caller one frame up is checked for access, so this is the native itself too.
    public native Object newInstance() throws InstantiationException, IllegalAccessException;

    public native boolean isInstance(Object obj);

    public native boolean isAssignableFrom(Class cls);

    public native boolean isInterface();

    public native boolean isArray();

    public native boolean isPrimitive();

    public native String getName();

    public native ClassLoader getClassLoader();

    public native Class getSuperclass();

    public native Class[] getInterfaces();

    public native Class getComponentType();

    public native int getModifiers();

    // Signers are not supported: a class never has any.
    public Object[] getSigners() {
        return null;
    }

    void setSigners(Object[] signers) {
    }

    static native Class getPrimitiveClass(String name);

    public native Class getDeclaringClass();

    public Class[] getClasses() {
        // Public member classes, including those inherited from superclasses.
        Class[] found = new Class[8];
        int n = 0;
        for (Class c = this; c != null; c = c.getSuperclass()) {
            Class[] members = c.getDeclaredClasses0();
            if (members == null) {
                continue;
            }
            for (int i = 0; i < members.length; i++) {
                if (java.lang.reflect.Modifier.isPublic(members[i].getModifiers())) {
                    if (n == found.length) {
                        Class[] bigger = new Class[n * 2];
                        System.arraycopy(found, 0, bigger, 0, n);
                        found = bigger;
                    }
                    found[n++] = members[i];
                }
            }
        }
        Class[] result = new Class[n];
        System.arraycopy(found, 0, result, 0, n);
        return result;
    }

    public Class[] getDeclaredClasses() {
        Class[] members = getDeclaredClasses0();
        return members == null ? new Class[0] : members;
    }

    private native Class[] getDeclaredClasses0();

    public Field[] getFields() {
        return getFields0(Member.PUBLIC);
    }

    public Method[] getMethods() {
        return getMethods0(Member.PUBLIC);
    }

    public Constructor[] getConstructors() {
        return getConstructors0(Member.PUBLIC);
    }

    public Field getField(String name) throws NoSuchFieldException {
        return getField0(name, Member.PUBLIC);
    }

    public Method getMethod(String name, Class[] parameterTypes) throws NoSuchMethodException {
        return getMethod0(name, parameterTypes, Member.PUBLIC);
    }

    public Constructor getConstructor(Class[] parameterTypes) throws NoSuchMethodException {
        return getConstructor0(parameterTypes, Member.PUBLIC);
    }

    public Field[] getDeclaredFields() {
        return getFields0(Member.DECLARED);
    }

    public Method[] getDeclaredMethods() {
        return getMethods0(Member.DECLARED);
    }

    public Constructor[] getDeclaredConstructors() {
        return getConstructors0(Member.DECLARED);
    }

    public Field getDeclaredField(String name) throws NoSuchFieldException {
        return getField0(name, Member.DECLARED);
    }

    public Method getDeclaredMethod(String name, Class[] parameterTypes) throws NoSuchMethodException {
        return getMethod0(name, parameterTypes, Member.DECLARED);
    }

    public Constructor getDeclaredConstructor(Class[] parameterTypes) throws NoSuchMethodException {
        return getConstructor0(parameterTypes, Member.DECLARED);
    }

    private native Field[] getFields0(int which);

    private native Method[] getMethods0(int which);

    private native Constructor[] getConstructors0(int which);

    private native Field getField0(String name, int which) throws NoSuchFieldException;

    private native Method getMethod0(String name, Class[] parameterTypes, int which) throws NoSuchMethodException;

    private native Constructor getConstructor0(Class[] parameterTypes, int which) throws NoSuchMethodException;

    public InputStream getResourceAsStream(String name) {
        return ClassLoader.getSystemResourceAsStream(resolveName(name));
    }

    // A relative name is looked up in this class's package; a leading '/' makes it absolute.
    private String resolveName(String name) {
        if (name == null) {
            return null;
        }
        if (name.startsWith("/")) {
            return name.substring(1);
        }
        Class c = this;
        while (c.isArray()) {
            c = c.getComponentType();
        }
        String cn = c.getName();
        int dot = cn.lastIndexOf('.');
        if (dot < 0) {
            return name;
        }
        return cn.substring(0, dot).replace('.', '/').concat("/").concat(name);
    }
}
