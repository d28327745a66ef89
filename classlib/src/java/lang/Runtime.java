package java.lang;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.util.StringTokenizer;

/**
 * The running machine. It starts no processes and links no native code of its own: the only
 * "libraries" are the three whose natives the machine has built in.
 */
public class Runtime {

    private static Runtime currentRuntime = new Runtime();

    private Runtime() {
    }

    public static Runtime getRuntime() {
        return currentRuntime;
    }

    public void exit(int status) {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkExit(status);
        }
        exitInternal(status);
    }

    private native void exitInternal(int status);

    public static void runFinalizersOnExit(boolean value) {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkExit(0);
        }
        runFinalizersOnExit0(value);
    }

    private static native void runFinalizersOnExit0(boolean value);

    public Process exec(String command) throws IOException {
        return exec(command, null);
    }

    public Process exec(String command, String[] envp) throws IOException {
        StringTokenizer st = new StringTokenizer(command);
        String[] cmdarray = new String[st.countTokens()];
        for (int i = 0; st.hasMoreTokens(); i++) {
            cmdarray[i] = st.nextToken();
        }
        return exec(cmdarray, envp);
    }

    public Process exec(String[] cmdarray) throws IOException {
        return exec(cmdarray, null);
    }

    public Process exec(String[] cmdarray, String[] envp) throws IOException {
        if (cmdarray.length == 0) {
            throw new IndexOutOfBoundsException();
        }
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkExec(cmdarray[0]);
        }
        Process p = execInternal(cmdarray, envp);
        if (p == null) {
            throw new IOException("Cannot run program \"" + cmdarray[0] + "\": processes are not supported");
        }
        return p;
    }

    private native Process execInternal(String[] cmdarray, String[] envp) throws IOException;

    public native long freeMemory();

    public native long totalMemory();

    public native void gc();

    public native void runFinalization();

    public native void traceInstructions(boolean on);

    public native void traceMethodCalls(boolean on);

    public synchronized void load(String filename) {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkLink(filename);
        }
        // Only the file name without directory and extension names a built-in library.
        String name = filename;
        int slash = Math.max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
        name = name.substring(slash + 1);
        int dot = name.indexOf('.');
        if (dot >= 0) {
            name = name.substring(0, dot);
        }
        if (loadFileInternal(name) == 0) {
            throw new UnsatisfiedLinkError("Can't load library: " + filename);
        }
    }

    public synchronized void loadLibrary(String libname) {
        SecurityManager sm = System.getSecurityManager();
        if (sm != null) {
            sm.checkLink(libname);
        }
        if (loadFileInternal(libname) == 0) {
            throw new UnsatisfiedLinkError("no " + libname + " in shared library path");
        }
    }

    private native int loadFileInternal(String filename);

    public InputStream getLocalizedInputStream(InputStream in) {
        return in;
    }

    public OutputStream getLocalizedOutputStream(OutputStream out) {
        return out;
    }
}
