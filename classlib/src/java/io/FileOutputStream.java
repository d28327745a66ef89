package java.io;

/**
 * Writes bytes to a file through the host's file table. Descriptors for host
 * handles 1 and 2 reach the host console through writeBytes even when the host
 * allows no file access, which is how System.out and System.err print.
 */
public class FileOutputStream extends OutputStream {
    private FileDescriptor fd;

    public FileOutputStream(String name) throws IOException {
        this(name, false);
    }

    public FileOutputStream(String name, boolean append) throws IOException {
        if (name == null) {
            throw new NullPointerException();
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkWrite(name);
        }
        fd = new FileDescriptor();
        try {
            if (append) {
                openAppend(name);
            } else {
                open(name);
            }
        } catch (FileNotFoundException e) {
            throw e;
        } catch (IOException e) {
            throw new FileNotFoundException(name + " (" + e.getMessage() + ")");
        }
    }

    public FileOutputStream(File file) throws IOException {
        this(file.getPath(), false);
    }

    public FileOutputStream(FileDescriptor fdObj) {
        if (fdObj == null) {
            throw new NullPointerException();
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkWrite(fdObj);
        }
        fd = fdObj;
    }

    private native void open(String name) throws IOException;

    private native void openAppend(String name) throws IOException;

    private native void writeBytes(byte[] b, int off, int len) throws IOException;

    /**
     * Writes one byte. Done through writeBytes rather than the single-byte
     * native, which has no console path and so would fail on System.out when
     * the host grants no file access.
     */
    public void write(int b) throws IOException {
        byte[] one = new byte[1];
        one[0] = (byte) b;
        writeBytes(one, 0, 1);
    }

    public void write(byte[] b) throws IOException {
        writeBytes(b, 0, b.length);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        writeBytes(b, off, len);
    }

    /** Closes the file; closing a closed stream does nothing. */
    public native void close() throws IOException;

    public final FileDescriptor getFD() throws IOException {
        if (fd != null) {
            return fd;
        }
        throw new IOException();
    }

    /**
     * Closes a forgotten stream. The standard descriptors are only flushed:
     * other streams may still be writing to the console.
     */
    protected void finalize() throws IOException {
        if (fd != null) {
            if (fd == FileDescriptor.out || fd == FileDescriptor.err) {
                flush();
            } else {
                close();
            }
        }
    }
}
