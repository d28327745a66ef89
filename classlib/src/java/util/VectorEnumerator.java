package java.util;

/** Hands out the elements of a Vector from first to last, as they are at each step. */
final class VectorEnumerator implements Enumeration {
    private final Vector vector;
    private int next;

    VectorEnumerator(Vector vector) {
        this.vector = vector;
    }

    public boolean hasMoreElements() {
        return next < vector.elementCount;
    }

    public Object nextElement() {
        synchronized (vector) {
            if (next < vector.elementCount) {
                return vector.elementData[next++];
            }
        }
        throw new NoSuchElementException("Vector Enumeration");
    }
}
