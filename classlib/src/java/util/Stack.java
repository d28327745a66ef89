package java.util;

/** A last-in first-out stack of objects, on top of a Vector. */
public class Stack extends Vector {
    public Stack() {
    }

    /** Pushes item and returns it. */
    public Object push(Object item) {
        addElement(item);
        return item;
    }

    public synchronized Object pop() {
        Object top = peek();
        removeElementAt(size() - 1);
        return top;
    }

    public synchronized Object peek() {
        int n = size();
        if (n == 0) {
            throw new EmptyStackException();
        }
        return elementAt(n - 1);
    }

    public boolean empty() {
        return size() == 0;
    }

    /**
     * The distance of the topmost element equal to o from the top, the top
     * being 1; -1 when there is none.
     */
    public synchronized int search(Object o) {
        int i = lastIndexOf(o);
        if (i >= 0) {
            return size() - i;
        }
        return -1;
    }
}
