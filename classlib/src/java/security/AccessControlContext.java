package java.security;

/**
 * The access-control context of a thread. The machine keeps no protection domains, so a
 * context restricts nothing; Thread declares a field of this type, which the machine reads
 * by name.
 */
public final class AccessControlContext {

    // The context this one was made within, or null.
    private AccessControlContext inherited;

    AccessControlContext(AccessControlContext inherited) {
        this.inherited = inherited;
    }
}
