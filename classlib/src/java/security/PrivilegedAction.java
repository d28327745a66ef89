package java.security;

/** Work done by AccessController.doPrivileged that throws no checked exception. */
public interface PrivilegedAction {

    Object run();
}
