package java.io;

/**
 * A file or directory name, and the questions one can ask the host's file
 * table about it.
 *
 * path must stay the first instance field: the machine's file natives read
 * it at body word 0 without checking the class.
 *
 * Names use the separators of the system properties: file.separator "\" and
 * path.separator ";". Since programs also write names with '/', both '/' and
 * the separator split names into their parts.
 */
public class File implements Serializable {
    private String path;

    /** The name separator, from the file.separator property. */
    public static final String separator;

    public static final char separatorChar;

    /** The separator of names in a path list, from the path.separator property. */
    public static final String pathSeparator;

    public static final char pathSeparatorChar;

    static {
        String sep = property("file.separator", "\\");
        String psep = property("path.separator", ";");
        separator = sep;
        separatorChar = sep.charAt(0);
        pathSeparator = psep;
        pathSeparatorChar = psep.charAt(0);
    }

    private static String property(String key, String fallback) {
        String v = null;
        try {
            v = System.getProperty(key);
        } catch (RuntimeException e) {
            v = null;
        } catch (LinkageError e) {
            v = null;
        }
        if (v == null || v.length() == 0) {
            return fallback;
        }
        return v;
    }

    /* The stream form: the path field, then the writer's name separator, so that a
       reader on a machine of other separators can turn the name into its own. */
    private void writeObject(ObjectOutputStream s) throws IOException {
        s.defaultWriteObject();
        s.writeChar(separatorChar);
    }

    private void readObject(ObjectInputStream s) throws IOException, ClassNotFoundException {
        s.defaultReadObject();
        char sep;
        try {
            sep = s.readChar();
        } catch (EOFException e) {
            // Written before the separator travelled: the name stays as it was.
            sep = separatorChar;
        }
        if (path == null) {
            throw new InvalidObjectException("no path");
        }
        if (sep != separatorChar) {
            path = path.replace(sep, separatorChar);
        }
    }

    public File(String path) {
        if (path == null) {
            throw new NullPointerException();
        }
        this.path = path;
    }

    /** The name within directory dir; a null dir makes it name alone. */
    public File(String dir, String name) {
        if (name == null) {
            throw new NullPointerException();
        }
        this.path = dir == null ? name : join(dir, name);
    }

    public File(File dir, String name) {
        this(dir == null ? null : dir.getPath(), name);
    }

    private static String join(String dir, String name) {
        int n = dir.length();
        if (n > 0 && isSeparator(dir.charAt(n - 1))) {
            return dir + name;
        }
        return dir + separator + name;
    }

    private static boolean isSeparator(char c) {
        return c == separatorChar || c == '/';
    }

    private int lastSeparator() {
        int a = path.lastIndexOf(separatorChar);
        int b = path.lastIndexOf('/');
        return a > b ? a : b;
    }

    /** The part after the last separator. */
    public String getName() {
        int i = lastSeparator();
        return i < 0 ? path : path.substring(i + 1);
    }

    public String getPath() {
        return path;
    }

    /** The path, or, when it is relative, the path within user.dir. */
    public String getAbsolutePath() {
        if (isAbsolute()) {
            return path;
        }
        return join(property("user.dir", ""), path);
    }

    /**
     * The host's canonical form of the path. A relative path goes to the host
     * as it is, and the host resolves it against its working directory.
     */
    public String getCanonicalPath() throws IOException {
        String canon = canonPath(path);
        if (canon == null) {
            throw new IOException("Cannot canonicalize " + path);
        }
        return canon;
    }

    /**
     * The part before the last separator, or null when there is none. A
     * separator at the very start stays in the parent ("\a" gives "\").
     */
    public String getParent() {
        int i = lastSeparator();
        if (i < 0) {
            return null;
        }
        if (i == 0) {
            return path.length() > 1 ? path.substring(0, 1) : null;
        }
        return path.substring(0, i);
    }

    public native boolean isAbsolute();

    private void checkRead() {
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkRead(path);
        }
    }

    private void checkWrite() {
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkWrite(path);
        }
    }

    public boolean exists() {
        checkRead();
        return exists0();
    }

    public boolean canWrite() {
        checkWrite();
        return canWrite0();
    }

    public boolean canRead() {
        checkRead();
        return canRead0();
    }

    public boolean isFile() {
        checkRead();
        return isFile0();
    }

    public boolean isDirectory() {
        checkRead();
        return isDirectory0();
    }

    /** Time of the last change, comparable only with other such times. */
    public long lastModified() {
        checkRead();
        return lastModified0();
    }

    /** Length in bytes, or 0 when the file does not exist. */
    public long length() {
        checkRead();
        return length0();
    }

    public boolean mkdir() {
        checkWrite();
        return mkdir0();
    }

    /** Makes the directory and every missing parent; false if it existed or failed. */
    public boolean mkdirs() {
        if (exists()) {
            return false;
        }
        if (mkdir()) {
            return true;
        }
        String parent = getParent();
        return parent != null && new File(parent).mkdirs() && mkdir();
    }

    public boolean renameTo(File dest) {
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkWrite(path);
            security.checkWrite(dest.path);
        }
        return renameTo0(dest);
    }

    /** Deletes the file, or the directory when it is an empty one. */
    public boolean delete() {
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkDelete(path);
        }
        if (isDirectory()) {
            return rmdir0();
        }
        return delete0();
    }

    /** The names in the directory, without "." and "..", or null when it is none. */
    public String[] list() {
        checkRead();
        return list0();
    }

    public String[] list(FilenameFilter filter) {
        String[] all = list();
        if (all == null || filter == null) {
            return all;
        }
        String[] chosen = new String[all.length];
        int n = 0;
        for (int i = 0; i < all.length; i++) {
            if (filter.accept(this, all[i])) {
                chosen[n++] = all[i];
            }
        }
        if (n == all.length) {
            return chosen;
        }
        String[] result = new String[n];
        System.arraycopy(chosen, 0, result, 0, n);
        return result;
    }

    public int hashCode() {
        return path.hashCode() ^ 1234321;
    }

    public boolean equals(Object obj) {
        if (obj instanceof File) {
            return path.equals(((File) obj).path);
        }
        return false;
    }

    public String toString() {
        return path;
    }

    private native boolean exists0();

    private native boolean canWrite0();

    private native boolean canRead0();

    private native boolean isFile0();

    private native boolean isDirectory0();

    private native long lastModified0();

    private native long length0();

    private native boolean mkdir0();

    private native boolean renameTo0(File dest);

    private native boolean delete0();

    private native boolean rmdir0();

    private native String[] list0();

    private native String canonPath(String p) throws IOException;
}
