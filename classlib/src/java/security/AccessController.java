package java.security;

/**
 * Runs privileged actions. The machine keeps no protection domains: every caller is
 * trusted, a stack's context is "no restriction" (null from the machine), and the
 * action runs with the caller's own rights.
 */
public final class AccessController {

    private AccessController() {
    }

    public static native Object doPrivileged(PrivilegedAction action);

    public static native Object doPrivileged(PrivilegedAction action, AccessControlContext context);

    public static native Object doPrivileged(PrivilegedExceptionAction action) throws PrivilegedActionException;

    public static native Object doPrivileged(PrivilegedExceptionAction action, AccessControlContext context)
            throws PrivilegedActionException;

    /** The context of the calling thread's stack: one that restricts nothing. */
    public static AccessControlContext getContext() {
        AccessControlContext context = getStackAccessControlContext();
        return context != null ? context : new AccessControlContext(getInheritedAccessControlContext());
    }

    private static native AccessControlContext getInheritedAccessControlContext();

    private static native AccessControlContext getStackAccessControlContext();
}
