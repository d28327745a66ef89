package java.lang;

import java.io.UnsupportedEncodingException;

/**
 * Immutable character strings. The machine makes strings itself (literals, JNI, names) and
 * reads the four fields below by position, so they are exactly these, in this order. A
 * string made by the machine always has offset 0; strings made here may share a larger
 * array (substrings), which is why every loop runs from offset. No array a string holds is
 * ever written again, StringBuffer's included: String(StringBuffer) copies.
 */
public final class String implements java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -6849794470754667710L;


    private char[] value;
    private int offset;
    private int count;
    // Either 0 (not computed yet) or the standard hash of the characters; the machine keys
    // its intern table by this value.
    private int hash;

    private static final char[] NO_CHARS = {};

    public String() {
        value = NO_CHARS;
    }

    public String(String original) {
        // The original may be a window on a larger array; keep only what it shows.
        count = original.count;
        if (original.value.length == count) {
            value = original.value;
            offset = original.offset;
        } else {
            value = new char[count];
            System.arraycopy(original.value, original.offset, value, 0, count);
        }
    }

    public String(char[] chars) {
        count = chars.length;
        value = new char[count];
        System.arraycopy(chars, 0, value, 0, count);
    }

    public String(char[] chars, int start, int length) {
        checkRange(chars.length, start, length);
        count = length;
        value = new char[length];
        System.arraycopy(chars, start, value, 0, length);
    }

    public String(byte[] ascii, int hibyte, int start, int length) {
        checkRange(ascii.length, start, length);
        char[] v = new char[length];
        int high = (hibyte & 0xff) << 8;
        for (int i = 0; i < length; i++) {
            v[i] = (char) (high | (ascii[start + i] & 0xff));
        }
        value = v;
        count = length;
    }

    public String(byte[] ascii, int hibyte) {
        this(ascii, hibyte, 0, ascii.length);
    }

    public String(byte[] bytes, int start, int length, String enc) throws UnsupportedEncodingException {
        checkRange(bytes.length, start, length);
        char[] v = CharCodec.decode(CharCodec.lookup(enc), bytes, start, length);
        value = v;
        count = v.length;
    }

    public String(byte[] bytes, String enc) throws UnsupportedEncodingException {
        this(bytes, 0, bytes.length, enc);
    }

    public String(byte[] bytes, int start, int length) {
        checkRange(bytes.length, start, length);
        char[] v = CharCodec.decode(CharCodec.defaultCodec(), bytes, start, length);
        value = v;
        count = v.length;
    }

    public String(byte[] bytes) {
        this(bytes, 0, bytes.length);
    }

    // A copy, never the buffer's own array: the buffer may change afterwards, and, as the
    // machine's monitors take no lock, even while this runs. The count is read after the array
    // and clamped to it: a racing change may give a string that mixes the buffer's text before
    // and after it, but that string never changes again.
    public String(StringBuffer buffer) {
        char[] v = buffer.getValue();
        int n = buffer.length();
        if (n > v.length) {
            n = v.length;
        }
        char[] copy = new char[n];
        System.arraycopy(v, 0, copy, 0, n);
        value = copy;
        count = n;
    }

    // Takes the array as it is, without copying: the caller hands over ownership.
    String(int start, int length, char[] chars) {
        value = chars;
        offset = start;
        count = length;
    }

    private static void checkRange(int arrayLength, int start, int length) {
        if (start < 0) {
            throw new StringIndexOutOfBoundsException(start);
        }
        if (length < 0) {
            throw new StringIndexOutOfBoundsException(length);
        }
        if (start > arrayLength - length) {
            throw new StringIndexOutOfBoundsException(start + length);
        }
    }

    public int length() {
        return count;
    }

    public char charAt(int index) {
        if (index < 0 || index >= count) {
            throw new StringIndexOutOfBoundsException(index);
        }
        return value[offset + index];
    }

    public void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin) {
        if (srcBegin < 0) {
            throw new StringIndexOutOfBoundsException(srcBegin);
        }
        if (srcEnd > count) {
            throw new StringIndexOutOfBoundsException(srcEnd);
        }
        if (srcBegin > srcEnd) {
            throw new StringIndexOutOfBoundsException(srcEnd - srcBegin);
        }
        System.arraycopy(value, offset + srcBegin, dst, dstBegin, srcEnd - srcBegin);
    }

    public void getBytes(int srcBegin, int srcEnd, byte[] dst, int dstBegin) {
        if (srcBegin < 0) {
            throw new StringIndexOutOfBoundsException(srcBegin);
        }
        if (srcEnd > count) {
            throw new StringIndexOutOfBoundsException(srcEnd);
        }
        if (srcBegin > srcEnd) {
            throw new StringIndexOutOfBoundsException(srcEnd - srcBegin);
        }
        int n = srcEnd - srcBegin;
        if (dstBegin < 0 || dstBegin > dst.length - n) {
            throw new ArrayIndexOutOfBoundsException(dstBegin < 0 ? dstBegin : dstBegin + n);
        }
        int from = offset + srcBegin;
        for (int i = 0; i < n; i++) {
            dst[dstBegin + i] = (byte) value[from + i];
        }
    }

    public byte[] getBytes(String enc) throws UnsupportedEncodingException {
        return CharCodec.encode(CharCodec.lookup(enc), value, offset, count);
    }

    public byte[] getBytes() {
        return CharCodec.encode(CharCodec.defaultCodec(), value, offset, count);
    }

    public boolean equals(Object other) {
        if (this == other) {
            return true;
        }
        if (!(other instanceof String)) {
            return false;
        }
        String s = (String) other;
        int n = count;
        if (s.count != n) {
            return false;
        }
        char[] a = value;
        char[] b = s.value;
        int i = offset;
        int j = s.offset;
        while (n-- > 0) {
            if (a[i++] != b[j++]) {
                return false;
            }
        }
        return true;
    }

    public boolean equalsIgnoreCase(String other) {
        return other != null && other.count == count && regionMatches(true, 0, other, 0, count);
    }

    public int compareTo(String other) {
        int n = Math.min(count, other.count);
        char[] a = value;
        char[] b = other.value;
        int i = offset;
        int j = other.offset;
        for (int k = 0; k < n; k++) {
            char c1 = a[i + k];
            char c2 = b[j + k];
            if (c1 != c2) {
                return c1 - c2;
            }
        }
        return count - other.count;
    }

    public boolean regionMatches(int toffset, String other, int ooffset, int len) {
        return regionMatches(false, toffset, other, ooffset, len);
    }

    public boolean regionMatches(boolean ignoreCase, int toffset, String other, int ooffset, int len) {
        if (toffset < 0 || ooffset < 0 || toffset > (long) count - len || ooffset > (long) other.count - len) {
            return false;
        }
        char[] a = value;
        char[] b = other.value;
        int i = offset + toffset;
        int j = other.offset + ooffset;
        while (len-- > 0) {
            char c1 = a[i++];
            char c2 = b[j++];
            if (c1 == c2) {
                continue;
            }
            if (ignoreCase) {
                char u1 = Character.toUpperCase(c1);
                char u2 = Character.toUpperCase(c2);
                if (u1 == u2 || Character.toLowerCase(u1) == Character.toLowerCase(u2)) {
                    continue;
                }
            }
            return false;
        }
        return true;
    }

    public boolean startsWith(String prefix, int toffset) {
        if (toffset < 0 || toffset > count - prefix.count) {
            return false;
        }
        char[] a = value;
        char[] b = prefix.value;
        int i = offset + toffset;
        int j = prefix.offset;
        int n = prefix.count;
        while (n-- > 0) {
            if (a[i++] != b[j++]) {
                return false;
            }
        }
        return true;
    }

    public boolean startsWith(String prefix) {
        return startsWith(prefix, 0);
    }

    public boolean endsWith(String suffix) {
        return startsWith(suffix, count - suffix.count);
    }

    public int hashCode() {
        int h = hash;
        if (h == 0) {
            char[] v = value;
            int end = offset + count;
            for (int i = offset; i < end; i++) {
                h = 31 * h + v[i];
            }
            hash = h;
        }
        return h;
    }

    public int indexOf(int ch) {
        return indexOf(ch, 0);
    }

    public int indexOf(int ch, int fromIndex) {
        // Before offset + fromIndex is formed: near Integer.MAX_VALUE the sum wraps.
        if (fromIndex >= count) {
            return -1;
        }
        if (fromIndex < 0) {
            fromIndex = 0;
        }
        char[] v = value;
        int end = offset + count;
        for (int i = offset + fromIndex; i < end; i++) {
            if (v[i] == ch) {
                return i - offset;
            }
        }
        return -1;
    }

    public int lastIndexOf(int ch) {
        return lastIndexOf(ch, count - 1);
    }

    public int lastIndexOf(int ch, int fromIndex) {
        if (fromIndex >= count) {
            fromIndex = count - 1;
        } else if (fromIndex < 0) {
            return -1;
        }
        char[] v = value;
        for (int i = offset + fromIndex; i >= offset; i--) {
            if (v[i] == ch) {
                return i - offset;
            }
        }
        return -1;
    }

    public int indexOf(String str) {
        return indexOf(str, 0);
    }

    public int indexOf(String str, int fromIndex) {
        if (fromIndex < 0) {
            fromIndex = 0;
        } else if (fromIndex > count) {
            fromIndex = count;
        }
        int n = str.count;
        int last = count - n;
        for (int i = fromIndex; i <= last; i++) {
            if (startsWith(str, i)) {
                return i;
            }
        }
        return -1;
    }

    public int lastIndexOf(String str) {
        return lastIndexOf(str, count);
    }

    public int lastIndexOf(String str, int fromIndex) {
        int i = count - str.count;
        if (fromIndex < i) {
            i = fromIndex;
        }
        for (; i >= 0; i--) {
            if (startsWith(str, i)) {
                return i;
            }
        }
        return -1;
    }

    public String substring(int beginIndex) {
        return substring(beginIndex, count);
    }

    public String substring(int beginIndex, int endIndex) {
        if (beginIndex < 0) {
            throw new StringIndexOutOfBoundsException(beginIndex);
        }
        if (endIndex > count) {
            throw new StringIndexOutOfBoundsException(endIndex);
        }
        if (beginIndex > endIndex) {
            throw new StringIndexOutOfBoundsException(endIndex - beginIndex);
        }
        if (beginIndex == 0 && endIndex == count) {
            return this;
        }
        return new String(offset + beginIndex, endIndex - beginIndex, value);
    }

    public String concat(String str) {
        int n = str.count;
        if (n == 0) {
            return this;
        }
        char[] v = new char[count + n];
        System.arraycopy(value, offset, v, 0, count);
        System.arraycopy(str.value, str.offset, v, count, n);
        return new String(0, v.length, v);
    }

    public String replace(char oldChar, char newChar) {
        if (oldChar == newChar) {
            return this;
        }
        int first = indexOf(oldChar);
        if (first < 0) {
            return this;
        }
        char[] v = new char[count];
        System.arraycopy(value, offset, v, 0, count);
        for (int i = first; i < v.length; i++) {
            if (v[i] == oldChar) {
                v[i] = newChar;
            }
        }
        return new String(0, v.length, v);
    }

    public String toLowerCase() {
        char[] v = null;
        for (int i = 0; i < count; i++) {
            char c = value[offset + i];
            char l = Character.toLowerCase(c);
            if (l != c && v == null) {
                v = new char[count];
                System.arraycopy(value, offset, v, 0, count);
            }
            if (v != null) {
                v[i] = l;
            }
        }
        return v == null ? this : new String(0, count, v);
    }

    public String toUpperCase() {
        // The German sharp s is the one character whose capital form is two letters.
        int extra = 0;
        for (int i = 0; i < count; i++) {
            if (value[offset + i] == '\u00df') {
                extra++;
            }
        }
        char[] v = null;
        int j = 0;
        for (int i = 0; i < count; i++) {
            char c = value[offset + i];
            char u = Character.toUpperCase(c);
            if ((u != c || c == '\u00df') && v == null) {
                v = new char[count + extra];
                System.arraycopy(value, offset, v, 0, i);
                j = i;
            }
            if (v != null) {
                if (c == '\u00df') {
                    v[j++] = 'S';
                    v[j++] = 'S';
                } else {
                    v[j++] = u;
                }
            }
        }
        return v == null ? this : new String(0, v.length, v);
    }

    public String trim() {
        int start = 0;
        int end = count;
        while (start < end && value[offset + start] <= ' ') {
            start++;
        }
        while (end > start && value[offset + end - 1] <= ' ') {
            end--;
        }
        return (start > 0 || end < count) ? substring(start, end) : this;
    }

    public String toString() {
        return this;
    }

    public char[] toCharArray() {
        char[] v = new char[count];
        System.arraycopy(value, offset, v, 0, count);
        return v;
    }

    public static String valueOf(Object obj) {
        return obj == null ? "null" : obj.toString();
    }

    public static String valueOf(char[] data) {
        return new String(data);
    }

    public static String valueOf(char[] data, int start, int length) {
        return new String(data, start, length);
    }

    public static String copyValueOf(char[] data, int start, int length) {
        return new String(data, start, length);
    }

    public static String copyValueOf(char[] data) {
        return new String(data);
    }

    public static String valueOf(boolean b) {
        return b ? "true" : "false";
    }

    public static String valueOf(char c) {
        char[] v = new char[1];
        v[0] = c;
        return new String(0, 1, v);
    }

    public static String valueOf(int i) {
        return Integer.toString(i, 10);
    }

    public static String valueOf(long l) {
        return Long.toString(l, 10);
    }

    public static String valueOf(float f) {
        return Float.toString(f);
    }

    public static String valueOf(double d) {
        return Double.toString(d);
    }

    public native String intern();
}
