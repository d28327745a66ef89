package natives;

// System.arraycopy, clone, identity hashes and interning.
public class ArrayCases implements Cloneable {

    int number = 7;
    Object reference = "kept";

    static int copies() {
        Object[] shift = {"a", "b", "c", "d"};
        System.arraycopy(shift, 0, shift, 1, 3);
        if (shift[0] != "a" || shift[1] != "a" || shift[2] != "b" || shift[3] != "c") return 1;
        int[] ints = {1, 2, 3, 4, 5};
        System.arraycopy(ints, 0, ints, 1, 4);
        if (ints[0] != 1 || ints[1] != 1 || ints[4] != 4) return 2;
        System.arraycopy(ints, 1, ints, 0, 4);
        if (ints[0] != 1 || ints[3] != 4 || ints[4] != 4) return 3;
        Object[] mixed = {null, "s", new Integer(1)};
        Integer[] boxes = {new Integer(9), new Integer(9), new Integer(9)};
        try {
            System.arraycopy(mixed, 0, boxes, 0, 3);
            return 4;
        } catch (ArrayStoreException e) {
            if (boxes[0] != null || boxes[1] == null) return 5;
        }
        try {
            // The type is checked before the bounds.
            System.arraycopy(new int[1], 5, new long[1], 5, 9);
            return 6;
        } catch (ArrayStoreException e) {
        }
        try {
            System.arraycopy(new Object[1], 0, new int[1], 0, 1);
            return 7;
        } catch (ArrayStoreException e) {
        }
        System.arraycopy(ints, ints.length, ints, 0, 0);
        try {
            System.arraycopy(ints, 4, ints, 0, 2);
            return 8;
        } catch (ArrayIndexOutOfBoundsException e) {
        }
        try {
            System.arraycopy(ints, -1, ints, 0, 0);
            return 9;
        } catch (ArrayIndexOutOfBoundsException e) {
        }
        try {
            System.arraycopy(null, 0, ints, 0, 0);
            return 10;
        } catch (NullPointerException e) {
        }
        try {
            System.arraycopy("not an array", 0, ints, 0, 0);
            return 11;
        } catch (ArrayStoreException e) {
        }
        String[] strings = {"x", "y"};
        Object[] objects = new Object[2];
        System.arraycopy(strings, 0, objects, 0, 2);
        if (objects[1] != "y") return 12;
        return 0;
    }

    static int clones() throws Exception {
        int[] empty = new int[0];
        int[] copy = (int[]) empty.clone();
        if (copy == empty || copy.length != 0 || copy.getClass() != empty.getClass()) return 1;
        boolean[] flags = {true, false, true};
        boolean[] flagsCopy = (boolean[]) flags.clone();
        if (!flagsCopy[0] || flagsCopy[1] || !flagsCopy[2] || flagsCopy.length != 3) return 2;
        long[] longs = {Long.MIN_VALUE, -1L, 5L};
        long[] longsCopy = (long[]) longs.clone();
        if (longsCopy[0] != Long.MIN_VALUE || longsCopy[2] != 5L) return 3;
        String[] names = {"p", "q"};
        Object[] namesCopy = (Object[]) names.clone();
        if (!(namesCopy instanceof String[]) || namesCopy[1] != "q") return 4;
        ArrayCases a = new ArrayCases();
        a.number = 41;
        ArrayCases b = (ArrayCases) a.clone();
        if (b == a || b.number != 41 || b.reference != a.reference) return 5;
        synchronized (b) {
            b.notifyAll();
        }
        try {
            new NotCloneable().copy();
            return 6;
        } catch (CloneNotSupportedException e) {
        }
        return 0;
    }

    static int hashes() {
        Object o = new Object();
        if (System.identityHashCode(null) != 0) return 1;
        if (System.identityHashCode(o) != o.hashCode()) return 2;
        String built = new StringBuffer("ab").append("cd").toString();
        if (built == "abcd") return 3;
        if (built.intern() != "abcd") return 4;
        if (o.getClass() != Object.class || new int[1].getClass() != int[].class) return 5;
        if (String.class.getClass() != Class.class) return 6;
        return 0;
    }

    static class NotCloneable {
        Object copy() throws CloneNotSupportedException {
            return clone();
        }
    }
}
