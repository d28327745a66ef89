package java.io;

/**
 * Reads bytes from a file through the host's file table.
 */
public class FileInputStream extends InputStream {
    private FileDescriptor fd;

    public FileInputStream(String name) throws FileNotFoundException {
        if (name == null) {
            throw new NullPointerException();
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkRead(name);
        }
        fd = new FileDescriptor();
        try {
            open(name);
        } catch (FileNotFoundException e) {
            throw e;
        } catch (IOException e) {
            throw new FileNotFoundException(name + " (" + e.getMessage() + ")");
        }
    }

    public FileInputStream(File file) throws FileNotFoundException {
        this(file.getPath());
    }

    public FileInputStream(FileDescriptor fdObj) {
        if (fdObj == null) {
            throw new NullPointerException();
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkRead(fdObj);
        }
        fd = fdObj;
    }

    private native void open(String name) throws IOException;

    /** Reads one byte, or returns -1 at the end of the file. */
    public native int read() throws IOException;

    private native int readBytes(byte[] b, int off, int len) throws IOException;

    public int read(byte[] b) throws IOException {
        return readBytes(b, 0, b.length);
    }

    public int read(byte[] b, int off, int len) throws IOException {
        return readBytes(b, off, len);
    }

    public native long skip(long n) throws IOException;

    public native int available() throws IOException;

    /** Closes the file; closing a closed stream does nothing. */
    public native void close() throws IOException;

    public final FileDescriptor getFD() throws IOException {
        if (fd != null) {
            return fd;
        }
        throw new IOException();
    }

    /**
     * Closes a forgotten stream. Standard input is left open: another stream
     * may be reading the same console handle.
     */
    protected void finalize() throws IOException {
        if (fd != null && fd != FileDescriptor.in) {
            close();
        }
    }
}
