package java.io;

/**
 * A handle to an open file or socket, as the host knows it.
 *
 * The field fd is read and written by the machine's file and socket natives.
 * This library uses the 1.1 coding: fd holds the host handle plus one, and 0
 * (or less) means closed; so a fresh descriptor is closed. A library built for
 * the 1.2 coding would hold the raw handle with -1 for closed, set the standard
 * descriptors to 0, 1 and 2 directly, and start fresh descriptors at -1.
 */
public final class FileDescriptor {
    // Transient: a handle number means nothing in another run, or after the file closed.
    transient int fd;

    /** Standard input; host handle 0. */
    public static final FileDescriptor in = initSystemFD(new FileDescriptor(), 0);

    /** Standard output; host handle 1, which reaches the host console. */
    public static final FileDescriptor out = initSystemFD(new FileDescriptor(), 1);

    /** Standard error; host handle 2, which reaches the host console. */
    public static final FileDescriptor err = initSystemFD(new FileDescriptor(), 2);

    /** Makes a descriptor that refers to nothing. */
    public FileDescriptor() {
        fd = 0;
    }

    /** True when the descriptor refers to an open file or socket. */
    public native boolean valid();

    /**
     * Forces every buffer of the host for this file out to the device.
     * Throws SyncFailedException when that cannot be done.
     */
    public native void sync() throws SyncFailedException;

    /** Stores the coded form of standard handle desc into fdObj and returns it. */
    private static native FileDescriptor initSystemFD(FileDescriptor fdObj, int desc);
}
