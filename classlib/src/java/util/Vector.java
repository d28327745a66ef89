package java.util;

import java.io.Serializable;

/**
 * A growable array of objects.
 *
 * The machine's monitors take no lock, so another thread may change a vector while one of these
 * methods runs. Each method reads the array and the count once, clamps the count to that array
 * (a racing trimToSize may have stored a smaller array, a racing add a larger count), and stores
 * a new array before the count that goes with it. A racing change may be lost, but no index the
 * caller did not give leaves the array.
 */
public class Vector implements Cloneable, Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -2767605614048989439L;

    /** The elements are elementData[0 .. elementCount-1]; the rest is null. */
    protected Object[] elementData;

    protected int elementCount;

    /** How much the array grows when full; 0 or less doubles it. */
    protected int capacityIncrement;

    public Vector(int initialCapacity, int capacityIncrement) {
        if (initialCapacity < 0) {
            throw new IllegalArgumentException("Illegal Capacity: " + initialCapacity);
        }
        elementData = new Object[initialCapacity];
        this.capacityIncrement = capacityIncrement;
    }

    public Vector(int initialCapacity) {
        this(initialCapacity, 0);
    }

    public Vector() {
        this(10);
    }

    // The number of elements of data in use: the count, but never past the array it was read with.
    static int used(Object[] data, int n) {
        return n < 0 ? 0 : n < data.length ? n : data.length;
    }

    public final synchronized void copyInto(Object[] anArray) {
        Object[] data = elementData;
        System.arraycopy(data, 0, anArray, 0, used(data, elementCount));
    }

    public final synchronized void trimToSize() {
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (n < data.length) {
            Object[] smaller = new Object[n];
            System.arraycopy(data, 0, smaller, 0, n);
            elementData = smaller;
        }
    }

    public final synchronized void ensureCapacity(int minCapacity) {
        Object[] data = elementData;
        if (minCapacity > data.length) {
            elementData = grown(data, used(data, elementCount), minCapacity);
        }
    }

    // A larger copy of data's first n elements, holding at least minCapacity.
    private Object[] grown(Object[] data, int n, int minCapacity) {
        int old = data.length;
        int size = capacityIncrement > 0 ? old + capacityIncrement : old * 2;
        if (size < minCapacity || size < 0) {
            size = minCapacity;
        }
        Object[] bigger = new Object[size];
        System.arraycopy(data, 0, bigger, 0, n);
        return bigger;
    }

    /** Cuts the vector to newSize elements or pads it with nulls. */
    public final synchronized void setSize(int newSize) {
        if (newSize < 0) {
            throw new ArrayIndexOutOfBoundsException(newSize);
        }
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (newSize > data.length) {
            data = grown(data, n, newSize);
        } else {
            for (int i = newSize; i < n; i++) {
                data[i] = null;
            }
        }
        elementData = data;
        elementCount = newSize;
    }

    public final int capacity() {
        return elementData.length;
    }

    public final int size() {
        return used(elementData, elementCount);
    }

    public final boolean isEmpty() {
        return size() == 0;
    }

    public final synchronized Enumeration elements() {
        return new VectorEnumerator(this);
    }

    public final boolean contains(Object elem) {
        return indexOf(elem, 0) >= 0;
    }

    public final int indexOf(Object elem) {
        return indexOf(elem, 0);
    }

    /** First index from index on whose element equals elem (or is null for null), or -1. */
    public final synchronized int indexOf(Object elem, int index) {
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(index);
        }
        Object[] data = elementData;
        int n = used(data, elementCount);
        for (int i = index; i < n; i++) {
            if (elem == null ? data[i] == null : elem.equals(data[i])) {
                return i;
            }
        }
        return -1;
    }

    public final int lastIndexOf(Object elem) {
        Object[] data = elementData;
        int n = used(data, elementCount);
        return lastIndexOf(elem, data, n, n - 1);
    }

    /** Last index at or before index whose element equals elem, or -1. */
    public final synchronized int lastIndexOf(Object elem, int index) {
        Object[] data = elementData;
        return lastIndexOf(elem, data, used(data, elementCount), index);
    }

    private static int lastIndexOf(Object elem, Object[] data, int n, int index) {
        if (index >= n) {
            throw new ArrayIndexOutOfBoundsException(index + " >= " + n);
        }
        for (int i = index; i >= 0; i--) {
            if (elem == null ? data[i] == null : elem.equals(data[i])) {
                return i;
            }
        }
        return -1;
    }

    private static void checkIndex(int index, int n) {
        if (index >= n) {
            throw new ArrayIndexOutOfBoundsException(index + " >= " + n);
        }
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(index);
        }
    }

    public final synchronized Object elementAt(int index) {
        Object[] data = elementData;
        checkIndex(index, used(data, elementCount));
        return data[index];
    }

    public final synchronized Object firstElement() {
        Object[] data = elementData;
        if (used(data, elementCount) == 0) {
            throw new NoSuchElementException();
        }
        return data[0];
    }

    public final synchronized Object lastElement() {
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (n == 0) {
            throw new NoSuchElementException();
        }
        return data[n - 1];
    }

    public final synchronized void setElementAt(Object obj, int index) {
        Object[] data = elementData;
        checkIndex(index, used(data, elementCount));
        data[index] = obj;
    }

    public final synchronized void removeElementAt(int index) {
        Object[] data = elementData;
        int n = used(data, elementCount);
        checkIndex(index, n);
        removeAt(data, n, index);
    }

    // Removes element index of the n of data; for callers that have checked index < n.
    final void removeAt(Object[] data, int n, int index) {
        int move = n - index - 1;
        if (move > 0) {
            System.arraycopy(data, index + 1, data, index, move);
        }
        data[n - 1] = null;
        elementCount = n - 1;
    }

    /** Inserts obj at index, 0 to size(), moving later elements up. */
    public final synchronized void insertElementAt(Object obj, int index) {
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (index > n) {
            throw new ArrayIndexOutOfBoundsException(index + " > " + n);
        }
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(index);
        }
        if (n == data.length) {
            data = grown(data, n, n + 1);
        }
        System.arraycopy(data, index, data, index + 1, n - index);
        data[index] = obj;
        elementData = data;
        elementCount = n + 1;
    }

    public final synchronized void addElement(Object obj) {
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (n == data.length) {
            data = grown(data, n, n + 1);
        }
        data[n] = obj;
        elementData = data;
        elementCount = n + 1;
    }

    /** Removes the first element equal to obj; false when there is none. */
    public final synchronized boolean removeElement(Object obj) {
        Object[] data = elementData;
        int n = used(data, elementCount);
        for (int i = 0; i < n; i++) {
            if (obj == null ? data[i] == null : obj.equals(data[i])) {
                removeAt(data, n, i);
                return true;
            }
        }
        return false;
    }

    public final synchronized void removeAllElements() {
        Object[] data = elementData;
        int n = used(data, elementCount);
        for (int i = 0; i < n; i++) {
            data[i] = null;
        }
        elementCount = 0;
    }

    /** A copy with its own array, just large enough; the elements themselves are shared. */
    public synchronized Object clone() {
        try {
            Vector v = (Vector) super.clone();
            Object[] data = elementData;
            int n = used(data, elementCount);
            Object[] copy = new Object[n];
            System.arraycopy(data, 0, copy, 0, n);
            v.elementData = copy;
            v.elementCount = n;
            return v;
        } catch (CloneNotSupportedException e) {
            throw new InternalError();
        }
    }

    /** The elements as "[a, b, c]". */
    public final synchronized String toString() {
        StringBuffer buf = new StringBuffer();
        buf.append('[');
        Object[] data = elementData;
        int n = used(data, elementCount);
        for (int i = 0; i < n; i++) {
            if (i > 0) {
                buf.append(", ");
            }
            Object e = data[i];
            buf.append(e == this ? "(this Vector)" : String.valueOf(e));
        }
        buf.append(']');
        return buf.toString();
    }
}
