package natives;

/* A class loader written in Java, as programs of the time wrote them: system classes
   through findSystemClass, resolveClass on what it hands out, and defineClass for bytes. */
public class LoaderCases {
    static class Finder extends ClassLoader {
        protected Class loadClass(String name, boolean resolve) throws ClassNotFoundException {
            Class c = findSystemClass(name);
            if (resolve) resolveClass(c);
            return c;
        }
        Class define(String name, byte[] data) { return defineClass(name, data, 0, data.length); }
        void resolve(Class c) { resolveClass(c); }
    }

    static int initialized;
    static class Lazy {
        static { initialized++; }
    }

    /* Bit 0: the loader's String is the library's; bit 1: a class it finds is initialised
       once, whether it is asked for it once or twice. */
    public static int findsSystemClasses() throws ClassNotFoundException {
        Finder f = new Finder();
        int r = 0;
        if (f.loadClass("java.lang.String", true) == String.class) r |= 1;
        Class lazy = f.loadClass("natives.LoaderCases$Lazy", false);
        if (lazy == f.loadClass("natives.LoaderCases$Lazy") && lazy.getName().equals("natives.LoaderCases$Lazy")
                && initialized == 1) r |= 2;
        return r;
    }

    public static String missing(String name) {
        try {
            return "found " + new Finder().loadClass(name).getName();
        } catch (ClassNotFoundException e) {
            return "ClassNotFoundException " + e.getMessage();
        } catch (NullPointerException e) {
            return "NullPointerException";
        }
    }

    public static String define() {
        byte[] header = {(byte) 0xCA, (byte) 0xFE, (byte) 0xBA, (byte) 0xBE, 0, 3, 0, 45};
        try {
            return "defined " + new Finder().define("natives.Made", header);
        } catch (ClassFormatError e) {
            return "ClassFormatError " + e.getMessage();
        }
    }

    public static String resolveNull() {
        try {
            new Finder().resolve(null);
            return "resolved";
        } catch (NullPointerException e) {
            return "NullPointerException";
        }
    }

    /* The loader of the caller of a library method, which the machine answers for every
       class with null. */
    public static String callerLoader() {
        return String.valueOf(java.lang.LoaderProbe.callerLoader());
    }
}
