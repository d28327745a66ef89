package java.lang;

/* The record of a native library that later library generations keep in ClassLoader (this
   library has none): the tests' stand-in for it, so that its three rows are called from
   bytecode as such a library calls them. */
public class ClassLoader$NativeLibrary {
    long handle = -1;

    native void load(String name);
    native long find(String name);
    native void unload();

    /* The handle each name leaves, one record loading them all in turn; "NPE" and the
       handle as it stayed for a load that threw NullPointerException. */
    public static String loads(String names, boolean withNull) {
        ClassLoader$NativeLibrary library = new ClassLoader$NativeLibrary();
        StringBuffer out = new StringBuffer();
        int start = 0;
        while (start <= names.length()) {
            int end = names.indexOf(',', start);
            if (end < 0) {
                end = names.length();
            }
            library.load(names.substring(start, end));
            out.append(library.handle).append(' ');
            start = end + 1;
        }
        if (withNull) {
            try {
                library.load(null);
                out.append("loaded null");
            } catch (NullPointerException e) {
                out.append("NPE ").append(library.handle);
            }
        }
        return out.toString();
    }

    /* What find and unload throw: class and message, or what find answered. */
    public static String unbuilt() {
        ClassLoader$NativeLibrary library = new ClassLoader$NativeLibrary();
        library.load("zip");
        StringBuffer out = new StringBuffer();
        try {
            long found = library.find("ZIP_Open");
            out.append("find answered ").append(found);
        } catch (Throwable t) {
            out.append(t);
        }
        out.append('\n');
        try {
            library.unload();
            out.append("unloaded");
        } catch (Throwable t) {
            out.append(t);
        }
        return out.append('\n').append("handle ").append(library.handle).toString();
    }
}
