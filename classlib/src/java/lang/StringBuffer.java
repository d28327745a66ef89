package java.lang;

/**
 * A growable character sequence. toString hands its array to the new String without a
 * copy; the buffer then copies before its next change, so strings stay immutable.
 */
public final class StringBuffer implements java.io.Serializable {

    private char[] value;
    private int count;
    private boolean shared;

    public StringBuffer() {
        this(16);
    }

    public StringBuffer(int length) {
        if (length < 0) {
            throw new NegativeArraySizeException();
        }
        value = new char[length];
    }

    public StringBuffer(String str) {
        this(str.length() + 16);
        append(str);
    }

    public int length() {
        return count;
    }

    public int capacity() {
        return value.length;
    }

    public synchronized void ensureCapacity(int minimumCapacity) {
        if (minimumCapacity > value.length) {
            grow(minimumCapacity);
        }
    }

    private void grow(int minimumCapacity) {
        int size = value.length * 2 + 2;
        if (size < minimumCapacity || size < 0) {
            size = minimumCapacity;
        }
        char[] v = new char[size];
        System.arraycopy(value, 0, v, 0, count);
        value = v;
        shared = false;
    }

    // Before any change: a shared array belongs to a String now.
    private void unshare() {
        if (shared) {
            char[] v = new char[value.length];
            System.arraycopy(value, 0, v, 0, count);
            value = v;
            shared = false;
        }
    }

    public synchronized void setLength(int newLength) {
        if (newLength < 0) {
            throw new StringIndexOutOfBoundsException(newLength);
        }
        if (newLength > value.length) {
            grow(newLength);
        }
        unshare();
        for (int i = count; i < newLength; i++) {
            value[i] = '\0';
        }
        count = newLength;
    }

    public synchronized char charAt(int index) {
        if (index < 0 || index >= count) {
            throw new StringIndexOutOfBoundsException(index);
        }
        return value[index];
    }

    public synchronized void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin) {
        if (srcBegin < 0) {
            throw new StringIndexOutOfBoundsException(srcBegin);
        }
        if (srcEnd < 0 || srcEnd > count) {
            throw new StringIndexOutOfBoundsException(srcEnd);
        }
        if (srcBegin > srcEnd) {
            throw new StringIndexOutOfBoundsException(srcEnd - srcBegin);
        }
        System.arraycopy(value, srcBegin, dst, dstBegin, srcEnd - srcBegin);
    }

    public synchronized void setCharAt(int index, char ch) {
        if (index < 0 || index >= count) {
            throw new StringIndexOutOfBoundsException(index);
        }
        unshare();
        value[index] = ch;
    }

    public synchronized StringBuffer append(Object obj) {
        return append(String.valueOf(obj));
    }

    public synchronized StringBuffer append(String str) {
        if (str == null) {
            str = "null";
        }
        int n = str.length();
        int newCount = count + n;
        if (newCount > value.length) {
            grow(newCount);
        }
        unshare();
        str.getChars(0, n, value, count);
        count = newCount;
        return this;
    }

    public synchronized StringBuffer append(char[] str) {
        return append(str, 0, str.length);
    }

    public synchronized StringBuffer append(char[] str, int offset, int len) {
        if (offset < 0 || len < 0 || offset > str.length - len) {
            throw new StringIndexOutOfBoundsException(offset < 0 ? offset : (len < 0 ? len : offset + len));
        }
        int newCount = count + len;
        if (newCount > value.length) {
            grow(newCount);
        }
        unshare();
        System.arraycopy(str, offset, value, count, len);
        count = newCount;
        return this;
    }

    public StringBuffer append(boolean b) {
        return append(String.valueOf(b));
    }

    public synchronized StringBuffer append(char c) {
        int newCount = count + 1;
        if (newCount > value.length) {
            grow(newCount);
        }
        unshare();
        value[count++] = c;
        return this;
    }

    public StringBuffer append(int i) {
        return append(Integer.toString(i, 10));
    }

    public StringBuffer append(long l) {
        return append(Long.toString(l, 10));
    }

    public StringBuffer append(float f) {
        return append(Float.toString(f));
    }

    public StringBuffer append(double d) {
        return append(Double.toString(d));
    }

    public synchronized StringBuffer insert(int offset, Object obj) {
        return insert(offset, String.valueOf(obj));
    }

    public synchronized StringBuffer insert(int offset, String str) {
        if (offset < 0 || offset > count) {
            throw new StringIndexOutOfBoundsException(offset);
        }
        if (str == null) {
            str = "null";
        }
        int n = str.length();
        int newCount = count + n;
        if (newCount > value.length) {
            grow(newCount);
        }
        unshare();
        System.arraycopy(value, offset, value, offset + n, count - offset);
        str.getChars(0, n, value, offset);
        count = newCount;
        return this;
    }

    public synchronized StringBuffer insert(int offset, char[] str) {
        if (offset < 0 || offset > count) {
            throw new StringIndexOutOfBoundsException(offset);
        }
        int n = str.length;
        int newCount = count + n;
        if (newCount > value.length) {
            grow(newCount);
        }
        unshare();
        System.arraycopy(value, offset, value, offset + n, count - offset);
        System.arraycopy(str, 0, value, offset, n);
        count = newCount;
        return this;
    }

    public StringBuffer insert(int offset, boolean b) {
        return insert(offset, String.valueOf(b));
    }

    public synchronized StringBuffer insert(int offset, char c) {
        if (offset < 0 || offset > count) {
            throw new StringIndexOutOfBoundsException(offset);
        }
        int newCount = count + 1;
        if (newCount > value.length) {
            grow(newCount);
        }
        unshare();
        System.arraycopy(value, offset, value, offset + 1, count - offset);
        value[offset] = c;
        count = newCount;
        return this;
    }

    public StringBuffer insert(int offset, int i) {
        return insert(offset, String.valueOf(i));
    }

    public StringBuffer insert(int offset, long l) {
        return insert(offset, String.valueOf(l));
    }

    public StringBuffer insert(int offset, float f) {
        return insert(offset, String.valueOf(f));
    }

    public StringBuffer insert(int offset, double d) {
        return insert(offset, String.valueOf(d));
    }

    public synchronized StringBuffer reverse() {
        unshare();
        for (int i = 0, j = count - 1; i < j; i++, j--) {
            char c = value[i];
            value[i] = value[j];
            value[j] = c;
        }
        return this;
    }

    public String toString() {
        return new String(this);
    }

    // For String(StringBuffer): the string takes the array and the buffer copies on its next change.
    final void setShared() {
        shared = true;
    }

    final char[] getValue() {
        return value;
    }
}
