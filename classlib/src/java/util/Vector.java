package java.util;

import java.io.Serializable;

/** A growable array of objects. */
public class Vector implements Cloneable, Serializable {
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

    public final synchronized void copyInto(Object[] anArray) {
        System.arraycopy(elementData, 0, anArray, 0, elementCount);
    }

    public final synchronized void trimToSize() {
        if (elementCount < elementData.length) {
            Object[] smaller = new Object[elementCount];
            System.arraycopy(elementData, 0, smaller, 0, elementCount);
            elementData = smaller;
        }
    }

    public final synchronized void ensureCapacity(int minCapacity) {
        if (minCapacity > elementData.length) {
            grow(minCapacity);
        }
    }

    private void grow(int minCapacity) {
        int old = elementData.length;
        int size = capacityIncrement > 0 ? old + capacityIncrement : old * 2;
        if (size < minCapacity) {
            size = minCapacity;
        }
        Object[] bigger = new Object[size];
        System.arraycopy(elementData, 0, bigger, 0, elementCount);
        elementData = bigger;
    }

    /** Cuts the vector to newSize elements or pads it with nulls. */
    public final synchronized void setSize(int newSize) {
        if (newSize < 0) {
            throw new ArrayIndexOutOfBoundsException(newSize);
        }
        if (newSize > elementData.length) {
            grow(newSize);
        } else {
            for (int i = newSize; i < elementCount; i++) {
                elementData[i] = null;
            }
        }
        elementCount = newSize;
    }

    public final int capacity() {
        return elementData.length;
    }

    public final int size() {
        return elementCount;
    }

    public final boolean isEmpty() {
        return elementCount == 0;
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
        for (int i = index; i < elementCount; i++) {
            if (elem == null ? elementData[i] == null : elem.equals(elementData[i])) {
                return i;
            }
        }
        return -1;
    }

    public final int lastIndexOf(Object elem) {
        return lastIndexOf(elem, elementCount - 1);
    }

    /** Last index at or before index whose element equals elem, or -1. */
    public final synchronized int lastIndexOf(Object elem, int index) {
        if (index >= elementCount) {
            throw new ArrayIndexOutOfBoundsException(index + " >= " + elementCount);
        }
        for (int i = index; i >= 0; i--) {
            if (elem == null ? elementData[i] == null : elem.equals(elementData[i])) {
                return i;
            }
        }
        return -1;
    }

    private void checkIndex(int index) {
        if (index >= elementCount) {
            throw new ArrayIndexOutOfBoundsException(index + " >= " + elementCount);
        }
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(index);
        }
    }

    public final synchronized Object elementAt(int index) {
        checkIndex(index);
        return elementData[index];
    }

    public final synchronized Object firstElement() {
        if (elementCount == 0) {
            throw new NoSuchElementException();
        }
        return elementData[0];
    }

    public final synchronized Object lastElement() {
        if (elementCount == 0) {
            throw new NoSuchElementException();
        }
        return elementData[elementCount - 1];
    }

    public final synchronized void setElementAt(Object obj, int index) {
        checkIndex(index);
        elementData[index] = obj;
    }

    public final synchronized void removeElementAt(int index) {
        checkIndex(index);
        int move = elementCount - index - 1;
        if (move > 0) {
            System.arraycopy(elementData, index + 1, elementData, index, move);
        }
        elementCount--;
        elementData[elementCount] = null;
    }

    /** Inserts obj at index, 0 to size(), moving later elements up. */
    public final synchronized void insertElementAt(Object obj, int index) {
        if (index > elementCount) {
            throw new ArrayIndexOutOfBoundsException(index + " > " + elementCount);
        }
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(index);
        }
        if (elementCount == elementData.length) {
            grow(elementCount + 1);
        }
        System.arraycopy(elementData, index, elementData, index + 1, elementCount - index);
        elementData[index] = obj;
        elementCount++;
    }

    public final synchronized void addElement(Object obj) {
        if (elementCount == elementData.length) {
            grow(elementCount + 1);
        }
        elementData[elementCount++] = obj;
    }

    /** Removes the first element equal to obj; false when there is none. */
    public final synchronized boolean removeElement(Object obj) {
        int i = indexOf(obj, 0);
        if (i >= 0) {
            removeElementAt(i);
            return true;
        }
        return false;
    }

    public final synchronized void removeAllElements() {
        for (int i = 0; i < elementCount; i++) {
            elementData[i] = null;
        }
        elementCount = 0;
    }

    /** A copy with its own array, just large enough; the elements themselves are shared. */
    public synchronized Object clone() {
        try {
            Vector v = (Vector) super.clone();
            Object[] data = new Object[elementCount];
            System.arraycopy(elementData, 0, data, 0, elementCount);
            v.elementData = data;
            return v;
        } catch (CloneNotSupportedException e) {
            throw new InternalError();
        }
    }

    /** The elements as "[a, b, c]". */
    public final synchronized String toString() {
        StringBuffer buf = new StringBuffer();
        buf.append('[');
        for (int i = 0; i < elementCount; i++) {
            if (i > 0) {
                buf.append(", ");
            }
            Object e = elementData[i];
            buf.append(e == this ? "(this Vector)" : String.valueOf(e));
        }
        buf.append(']');
        return buf.toString();
    }
}
