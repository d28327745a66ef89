package java.security;

/**
 * Work done by AccessController.doPrivileged that may throw a checked exception; the
 * caller gets such an exception wrapped in a PrivilegedActionException.
 */
public interface PrivilegedExceptionAction {

    Object run() throws Exception;
}
