package java.security;

/**
 * The access-control context of a thread. Only its type is needed for now: Thread declares a
 * field of it, which the machine reads by name.
 */
public final class AccessControlContext {

    private AccessControlContext() {
    }
}
