package java.lang;

import java.io.BufferedInputStream;
import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.io.PrintStream;
import java.util.Properties;

/**
 * The machine initialises this class on first use and then calls initializeSystemClass,
 * which reads the properties and opens the standard streams. The stream fields are final
 * for Java code; the machine's setters write them anyway.
 */
public final class System {

    public static final InputStream in = nullInputStream();
    public static final PrintStream out = nullPrintStream();
    public static final PrintStream err = nullPrintStream();

    private static Properties props;
    private static SecurityManager security;

    private System() {
    }

    // Keeps the compiler from folding the stream fields into constants.
    private static InputStream nullInputStream() {
        return null;
    }

    private static PrintStream nullPrintStream() {
        return null;
    }

    /*
     * Runs once, right after the static initialiser. Anything escaping from here would leave
     * System unusable for the rest of the machine's life, so every failure is swallowed and
     * whatever could be set up stays set up.
     */
    static void initializeSystemClass() {
        try {
            Properties p = new Properties();
            initProperties(p);
            props = p;
        } catch (Throwable t) {
            // Without properties getProperty answers null; the streams still work.
        }
        try {
            // Unbuffered on purpose: nothing flushes the streams when the machine shuts down.
            setOut0(new PrintStream(new FileOutputStream(FileDescriptor.out), true));
            setErr0(new PrintStream(new FileOutputStream(FileDescriptor.err), true));
        } catch (Throwable t) {
            // No console: out and err stay null.
        }
        try {
            setIn0(new BufferedInputStream(new FileInputStream(FileDescriptor.in)));
        } catch (Throwable t) {
            // No standard input: in stays null.
        }
    }

    public static void setIn(InputStream in) {
        checkIO();
        setIn0(in);
    }

    public static void setOut(PrintStream out) {
        checkIO();
        setOut0(out);
    }

    public static void setErr(PrintStream err) {
        checkIO();
        setErr0(err);
    }

    private static void checkIO() {
        SecurityManager sm = security;
        if (sm != null) {
            sm.checkExec("setio");
        }
    }

    private static native void setIn0(InputStream in);

    private static native void setOut0(PrintStream out);

    private static native void setErr0(PrintStream err);

    public static void setSecurityManager(SecurityManager s) {
        if (security != null) {
            throw new SecurityException("SecurityManager already set");
        }
        security = s;
    }

    public static SecurityManager getSecurityManager() {
        return security;
    }

    public static native long currentTimeMillis();

    public static native void arraycopy(Object src, int srcPos, Object dst, int dstPos, int length);

    public static native int identityHashCode(Object x);

    private static native Properties initProperties(Properties props);

    // The class of the method that called the caller.
    static native Class getCallerClass();

    public static Properties getProperties() {
        SecurityManager sm = security;
        if (sm != null) {
            sm.checkPropertiesAccess();
        }
        return props;
    }

    public static void setProperties(Properties p) {
        SecurityManager sm = security;
        if (sm != null) {
            sm.checkPropertiesAccess();
        }
        if (p == null) {
            p = new Properties();
            initProperties(p);
        }
        props = p;
    }

    public static String getProperty(String key) {
        SecurityManager sm = security;
        if (sm != null) {
            sm.checkPropertyAccess(key);
        }
        Properties p = props;
        return p == null ? null : p.getProperty(key);
    }

    public static String getProperty(String key, String def) {
        SecurityManager sm = security;
        if (sm != null) {
            sm.checkPropertyAccess(key);
        }
        Properties p = props;
        return p == null ? def : p.getProperty(key, def);
    }

    // Environment variables are not available to Java code.
    public static String getenv(String name) {
        throw new Error("getenv no longer supported, use properties and -D instead: ".concat(name));
    }

    public static void exit(int status) {
        Runtime.getRuntime().exit(status);
    }

    public static void gc() {
        Runtime.getRuntime().gc();
    }

    public static void runFinalization() {
        Runtime.getRuntime().runFinalization();
    }

    public static void runFinalizersOnExit(boolean value) {
        Runtime.runFinalizersOnExit(value);
    }

    public static void load(String filename) {
        Runtime.getRuntime().load(filename);
    }

    public static void loadLibrary(String libname) {
        Runtime.getRuntime().loadLibrary(libname);
    }
}
