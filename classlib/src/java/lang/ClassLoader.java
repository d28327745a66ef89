package java.lang;

import java.io.InputStream;

/**
 * Loaders written in Java. The machine loads every class itself; a Java loader can find
 * system classes and resources but cannot define classes from bytes.
 */
public abstract class ClassLoader {

    private boolean initialized;

    protected ClassLoader() {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkCreateClassLoader();
        }
        init();
        initialized = true;
    }

    private native void init();

    public Class loadClass(String name) throws ClassNotFoundException {
        return loadClass(name, false);
    }

    protected abstract Class loadClass(String name, boolean resolve) throws ClassNotFoundException;

    protected final Class defineClass(byte[] data, int offset, int length) throws ClassFormatError {
        return defineClass(null, data, offset, length);
    }

    protected final Class defineClass(String name, byte[] data, int offset, int length) throws ClassFormatError {
        check();
        if (offset < 0 || length < 0 || offset > data.length - length) {
            throw new ArrayIndexOutOfBoundsException();
        }
        Class c = defineClass0(name, data, offset, length);
        if (c == null) {
            // The machine defines no classes for Java loaders; say so instead of returning null.
            throw new ClassFormatError(name == null ? "class definition not supported"
                    : "class definition not supported: ".concat(name));
        }
        return c;
    }

    private native Class defineClass0(String name, byte[] data, int offset, int length);

    protected final void resolveClass(Class c) {
        check();
        if (c == null) {
            throw new NullPointerException();
        }
        resolveClass0(c);
    }

    private native void resolveClass0(Class c);

    protected final Class findSystemClass(String name) throws ClassNotFoundException {
        check();
        return findSystemClass0(name);
    }

    private native Class findSystemClass0(String name) throws ClassNotFoundException;

    protected final void setSigners(Class c, Object[] signers) {
        check();
        c.setSigners(signers);
    }

    protected final Class findLoadedClass(String name) {
        check();
        return null;
    }

    public InputStream getResourceAsStream(String name) {
        return null;
    }

    public static final InputStream getSystemResourceAsStream(String name) {
        return getSystemResourceAsStream0(name);
    }

    private static native InputStream getSystemResourceAsStream0(String name);

    /* The loader of the class whose method called the library method that asks. */
    static native ClassLoader getCallerClassLoader();

    private void check() {
        if (!initialized) {
            throw new SecurityException("ClassLoader object not initialized");
        }
    }
}
