package java.lang;

/* Reaches ClassLoader's package-private query of its caller's loader. */
public class LoaderProbe {
    public static Object callerLoader() { return ClassLoader.getCallerClassLoader(); }
}
