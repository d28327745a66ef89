package java.util;

/** Test-only: reaches ResourceBundle's class context from a Java frame of its package. */
public class ContextProbe {

    public static Class[] context() {
        return ResourceBundle.getClassContext();
    }
}
