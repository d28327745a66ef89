package java.lang;

/** Marks classes whose instances Object.clone may copy; the machine finds it by name. */
public interface Cloneable {
}
