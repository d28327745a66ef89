package java.util;

/** The abstract form of a table that maps keys to values. */
public abstract class Dictionary {
    public Dictionary() {
    }

    public abstract int size();

    public abstract boolean isEmpty();

    public abstract Enumeration keys();

    public abstract Enumeration elements();

    /** The value for key, or null when there is none. */
    public abstract Object get(Object key);

    /** Maps key to value and returns the value it replaced, or null. */
    public abstract Object put(Object key, Object value);

    /** Removes key and returns its value, or null when it was absent. */
    public abstract Object remove(Object key);
}
