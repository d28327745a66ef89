package corvane.sql;

import java.lang.reflect.Method;

/** The machine's method descriptors and its overload resolution, for the server. */
public final class VMUtil {

    private VMUtil() {
    }

    /** The JVM descriptor of the method, such as "(I)Ljava/lang/String;". */
    public static native String getSignature(Method method);

    /**
     * The descriptor of the method of the class, or of its supertypes, named name that a call
     * with the argument types of the descriptor argTypes ("(IJ)", V for a null argument)
     * selects; null when none does or when the best is an instance method and
     * allowInstance is false. Several equally specific ones throw InstantiationException
     * "Ambiguous".
     */
    public static native String Overload(Class cls, String name, String argTypes, boolean allowInstance)
            throws InstantiationException;
}
