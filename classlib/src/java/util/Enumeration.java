package java.util;

/** Hands out the elements of a series one at a time. */
public interface Enumeration {
    boolean hasMoreElements();

    /** The next element; NoSuchElementException when there is none. */
    Object nextElement();
}
