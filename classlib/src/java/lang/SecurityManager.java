package java.lang;

import java.io.FileDescriptor;

/**
 * The base of security policies. Every check refuses by default; a policy subclass allows
 * what it wants to. The class context comes from the machine's view of the stack.
 */
public abstract class SecurityManager {

    protected boolean inCheck;

    protected SecurityManager() {
        if (System.getSecurityManager() != null) {
            throw new SecurityException("security manager already installed.");
        }
    }

    public boolean getInCheck() {
        return inCheck;
    }

    protected native Class[] getClassContext();

    protected native ClassLoader currentClassLoader();

    protected native int classDepth(String name);

    protected native int classLoaderDepth();

    private native Class currentLoadedClass0();

    protected Class currentLoadedClass() {
        return currentLoadedClass0();
    }

    protected boolean inClass(String name) {
        return classDepth(name) >= 0;
    }

    protected boolean inClassLoader() {
        return currentClassLoader() != null;
    }

    public Object getSecurityContext() {
        return null;
    }

    public ThreadGroup getThreadGroup() {
        return Thread.currentThread().getThreadGroup();
    }

    private static SecurityException refused(String what) {
        return new SecurityException(what);
    }

    public void checkCreateClassLoader() {
        throw refused("class loader creation");
    }

    public void checkAccess(Thread t) {
        throw refused("thread access");
    }

    public void checkAccess(ThreadGroup g) {
        throw refused("thread group access");
    }

    public void checkExit(int status) {
        throw refused("exit: " + status);
    }

    public void checkExec(String cmd) {
        throw refused("exec: " + cmd);
    }

    public void checkLink(String lib) {
        throw refused("link: " + lib);
    }

    public void checkRead(FileDescriptor fd) {
        throw refused("file descriptor read");
    }

    public void checkRead(String file) {
        throw refused("file read: " + file);
    }

    public void checkRead(String file, Object context) {
        throw refused("file read: " + file);
    }

    public void checkWrite(FileDescriptor fd) {
        throw refused("file descriptor write");
    }

    public void checkWrite(String file) {
        throw refused("file write: " + file);
    }

    public void checkDelete(String file) {
        throw refused("file delete: " + file);
    }

    public void checkConnect(String host, int port) {
        throw refused("connect: " + host + ":" + port);
    }

    public void checkConnect(String host, int port, Object context) {
        throw refused("connect: " + host + ":" + port);
    }

    public void checkListen(int port) {
        throw refused("listen: " + port);
    }

    public void checkAccept(String host, int port) {
        throw refused("accept: " + host + ":" + port);
    }

    public void checkPropertiesAccess() {
        throw refused("properties access");
    }

    public void checkPropertyAccess(String key) {
        throw refused("property access: " + key);
    }

    public boolean checkTopLevelWindow(Object window) {
        return false;
    }

    public void checkPrintJobAccess() {
        throw refused("print job access");
    }

    public void checkSystemClipboardAccess() {
        throw refused("clipboard access");
    }

    public void checkAwtEventQueueAccess() {
        throw refused("event queue access");
    }

    public void checkPackageAccess(String pkg) {
        throw refused("package access: " + pkg);
    }

    public void checkPackageDefinition(String pkg) {
        throw refused("package definition: " + pkg);
    }

    public void checkSetFactory() {
        throw refused("set factory");
    }

    // Public members are open to everyone; others only to code not loaded by a Java loader.
    public void checkMemberAccess(Class clazz, int which) {
        if (which != java.lang.reflect.Member.PUBLIC && currentClassLoader() != null) {
            throw refused("member access");
        }
    }

    public void checkSecurityAccess(String action) {
        throw refused("security access: " + action);
    }
}
