package java.lang;

/**
 * A growable character sequence.
 *
 * The machine's monitors take no lock, so a second thread may change a buffer while one of
 * these methods runs. Each method therefore reads the array and the count once, works on
 * those two, clamps the count to the array (a racing grow may have stored a larger count for
 * another array), and stores a new array before the count that goes with it. A racing change
 * may be lost, but no index leaves the array. toString copies: no string ever shares the
 * buffer's array, so a string taken from a buffer never changes afterwards.
 */
public final class StringBuffer implements java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 3388685877147921107L;


    private char[] value;
    private int count;
    // Part of the serialized form of this API generation; always false, nothing is shared.
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

    // The number of chars of v in use: the count, but never past the array it was read with.
    private static int used(char[] v, int n) {
        return n < v.length ? n : v.length;
    }

    // A larger copy of v's first n chars, holding at least minimumCapacity.
    private static char[] grown(char[] v, int n, int minimumCapacity) {
        if (minimumCapacity < 0) {
            throw new OutOfMemoryError();
        }
        int size = v.length * 2 + 2;
        if (size < minimumCapacity || size < 0) {
            size = minimumCapacity;
        }
        char[] bigger = new char[size];
        System.arraycopy(v, 0, bigger, 0, n);
        return bigger;
    }

    public synchronized void ensureCapacity(int minimumCapacity) {
        char[] v = value;
        if (minimumCapacity > v.length) {
            value = grown(v, used(v, count), minimumCapacity);
        }
    }

    public synchronized void setLength(int newLength) {
        if (newLength < 0) {
            throw new StringIndexOutOfBoundsException(newLength);
        }
        char[] v = value;
        int n = used(v, count);
        if (newLength > v.length) {
            v = grown(v, n, newLength);
        }
        for (int i = n; i < newLength; i++) {
            v[i] = '\0';
        }
        value = v;
        count = newLength;
    }

    public synchronized char charAt(int index) {
        char[] v = value;
        if (index < 0 || index >= used(v, count)) {
            throw new StringIndexOutOfBoundsException(index);
        }
        return v[index];
    }

    public synchronized void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin) {
        char[] v = value;
        if (srcBegin < 0) {
            throw new StringIndexOutOfBoundsException(srcBegin);
        }
        if (srcEnd < 0 || srcEnd > used(v, count)) {
            throw new StringIndexOutOfBoundsException(srcEnd);
        }
        if (srcBegin > srcEnd) {
            throw new StringIndexOutOfBoundsException(srcEnd - srcBegin);
        }
        System.arraycopy(v, srcBegin, dst, dstBegin, srcEnd - srcBegin);
    }

    public synchronized void setCharAt(int index, char ch) {
        char[] v = value;
        if (index < 0 || index >= used(v, count)) {
            throw new StringIndexOutOfBoundsException(index);
        }
        v[index] = ch;
    }

    public synchronized StringBuffer append(Object obj) {
        return append(String.valueOf(obj));
    }

    public synchronized StringBuffer append(String str) {
        if (str == null) {
            str = "null";
        }
        int len = str.length();
        char[] v = value;
        int n = used(v, count);
        int newCount = n + len;
        if (newCount > v.length || newCount < 0) {
            v = grown(v, n, newCount);
        }
        str.getChars(0, len, v, n);
        value = v;
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
        char[] v = value;
        int n = used(v, count);
        int newCount = n + len;
        if (newCount > v.length || newCount < 0) {
            v = grown(v, n, newCount);
        }
        System.arraycopy(str, offset, v, n, len);
        value = v;
        count = newCount;
        return this;
    }

    public StringBuffer append(boolean b) {
        return append(String.valueOf(b));
    }

    public synchronized StringBuffer append(char c) {
        char[] v = value;
        int n = used(v, count);
        if (n == v.length) {
            v = grown(v, n, n + 1);
        }
        v[n] = c;
        value = v;
        count = n + 1;
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
        if (str == null) {
            str = "null";
        }
        int len = str.length();
        char[] v = opening(offset, len);
        str.getChars(0, len, v, offset);
        return this;
    }

    public synchronized StringBuffer insert(int offset, char[] str) {
        int len = str.length;
        char[] v = opening(offset, len);
        System.arraycopy(str, 0, v, offset, len);
        return this;
    }

    // Moves the chars from offset on len places up, in a larger array when they do not fit, and
    // returns the array for the caller to fill the gap. The new count is stored with it: a racing
    // reader may see the gap before it is filled, as it may see any change half made.
    private char[] opening(int offset, int len) {
        char[] v = value;
        int n = used(v, count);
        if (offset < 0 || offset > n) {
            throw new StringIndexOutOfBoundsException(offset);
        }
        int newCount = n + len;
        if (newCount > v.length || newCount < 0) {
            v = grown(v, n, newCount);
        }
        System.arraycopy(v, offset, v, offset + len, n - offset);
        value = v;
        count = newCount;
        return v;
    }

    public StringBuffer insert(int offset, boolean b) {
        return insert(offset, String.valueOf(b));
    }

    public synchronized StringBuffer insert(int offset, char c) {
        char[] v = opening(offset, 1);
        v[offset] = c;
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
        char[] v = value;
        for (int i = 0, j = used(v, count) - 1; i < j; i++, j--) {
            char c = v[i];
            v[i] = v[j];
            v[j] = c;
        }
        return this;
    }

    public String toString() {
        return new String(this);
    }

    // For String(StringBuffer), which copies from it.
    final char[] getValue() {
        return value;
    }
}
