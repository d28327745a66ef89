package java.util;

/** A last-in first-out stack of objects, on top of a Vector. */
public class Stack extends Vector {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 1224463164541339165L;

    public Stack() {
    }

    /** Pushes item and returns it. */
    public Object push(Object item) {
        addElement(item);
        return item;
    }

    // The top is read and removed from one read of the array and the count, as Vector's own
    // methods do: two threads popping at once may both get the same element, but neither
    // fails inside the removal.
    public synchronized Object pop() {
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (n == 0) {
            throw new EmptyStackException();
        }
        Object top = data[n - 1];
        removeAt(data, n, n - 1);
        return top;
    }

    public synchronized Object peek() {
        Object[] data = elementData;
        int n = used(data, elementCount);
        if (n == 0) {
            throw new EmptyStackException();
        }
        return data[n - 1];
    }

    public boolean empty() {
        return size() == 0;
    }

    /**
     * The distance of the topmost element equal to o from the top, the top
     * being 1; -1 when there is none.
     */
    public synchronized int search(Object o) {
        Object[] data = elementData;
        int n = used(data, elementCount);
        for (int i = n - 1; i >= 0; i--) {
            if (o == null ? data[i] == null : o.equals(data[i])) {
                return n - i;
            }
        }
        return -1;
    }
}
