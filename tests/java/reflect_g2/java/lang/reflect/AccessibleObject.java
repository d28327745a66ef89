package java.lang.reflect;

/**
 * The superclass of the reflection objects of the 1.2-style library (version 2 and 3): one
 * word, the override flag, which lets reflection reach members that access rules would
 * refuse. Test-only: the machine's own library is the 1.1 style.
 */
public class AccessibleObject {

    boolean override;

    protected AccessibleObject() {
    }

    public void setAccessible(boolean flag) {
        override = flag;
    }

    public boolean isAccessible() {
        return override;
    }
}
