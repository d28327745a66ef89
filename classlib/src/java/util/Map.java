package java.util;

/**
 * A table that maps keys to values. Only the part that needs no other
 * collection types is here: the type exists for the declarations that name
 * it, and no class of this library implements it yet.
 */
public interface Map {
    int size();

    boolean isEmpty();

    boolean containsKey(Object key);

    boolean containsValue(Object value);

    Object get(Object key);

    Object put(Object key, Object value);

    Object remove(Object key);

    void putAll(Map t);

    void clear();

    boolean equals(Object o);

    int hashCode();
}
