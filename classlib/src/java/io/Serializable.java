package java.io;

/**
 * Marks a class whose instances may be written by the object streams.
 * Every array class is assignable to it. It has no members.
 */
public interface Serializable {
}
