package java.lang;

/**
 * The root of every class. The machine reads no fields of it and keeps no state in it, so
 * it declares none; its constructor comes first among the instance methods because the
 * machine takes the first non-static method as the constructor. Nothing here creates
 * objects: this class is verified before any other class is usable.
 */
public class Object {

    public Object() {
    }

    public final native Class getClass();

    public native int hashCode();

    public boolean equals(Object obj) {
        return this == obj;
    }

    protected native Object clone() throws CloneNotSupportedException;

    public String toString() {
        return getClass().getName().concat("@").concat(Integer.toHexString(hashCode()));
    }

    public final native void notify();

    public final native void notifyAll();

    public final native void wait(long timeout) throws InterruptedException;

    public final void wait(long timeout, int nanos) throws InterruptedException {
        // Argument errors are raised elsewhere so that this class names no other class to create.
        LangSupport.checkWaitArguments(timeout, nanos);
        if (nanos >= 500000 || (nanos != 0 && timeout == 0)) {
            timeout++;
        }
        wait(timeout);
    }

    public final void wait() throws InterruptedException {
        wait(0);
    }

    protected void finalize() throws Throwable {
    }
}
