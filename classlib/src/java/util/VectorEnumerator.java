package java.util;

/** Hands out the elements of a Vector from first to last, as they are at each step. */
final class VectorEnumerator implements Enumeration {
    private final Vector vector;
    private int next;

    VectorEnumerator(Vector vector) {
        this.vector = vector;
    }

    public boolean hasMoreElements() {
        return next < vector.size();
    }

    public Object nextElement() {
        synchronized (vector) {
            // One read of the array, and the count clamped to it, as every Vector method does.
            Object[] data = vector.elementData;
            int n = vector.elementCount;
            int i = next;
            if (i < n && i < data.length) {
                next = i + 1;
                return data[i];
            }
        }
        throw new NoSuchElementException("Vector Enumeration");
    }
}
