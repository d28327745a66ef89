package java.io;

/** Signals that FileDescriptor.sync could not force the data out. */
public class SyncFailedException extends IOException {
    public SyncFailedException(String desc) {
        super(desc);
    }
}
