package java.lang;

public final class Integer extends Number {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 1360826667806852920L;


    public static final int MIN_VALUE = 0x80000000;
    public static final int MAX_VALUE = 0x7fffffff;
    public static final Class TYPE = Class.getPrimitiveClass("int");

    // The only field: the machine reads and writes it directly when it boxes.
    private final int value;

    public Integer(int value) {
        this.value = value;
    }

    public Integer(String s) throws NumberFormatException {
        this.value = parseInt(s, 10);
    }

    static final char[] DIGITS = {
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
        'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z'
    };

    public static String toString(int i, int radix) {
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            radix = 10;
        }
        char[] buf = new char[33];
        int pos = 33;
        boolean negative = i < 0;
        // Work with the negative value so that MIN_VALUE needs no special case.
        if (!negative) {
            i = -i;
        }
        do {
            buf[--pos] = DIGITS[-(i % radix)];
            i = i / radix;
        } while (i != 0);
        if (negative) {
            buf[--pos] = '-';
        }
        return new String(buf, pos, 33 - pos);
    }

    static String toUnsignedString(int i, int shift) {
        char[] buf = new char[32];
        int pos = 32;
        int mask = (1 << shift) - 1;
        do {
            buf[--pos] = DIGITS[i & mask];
            i >>>= shift;
        } while (i != 0);
        return new String(buf, pos, 32 - pos);
    }

    public static String toHexString(int i) {
        return toUnsignedString(i, 4);
    }

    public static String toOctalString(int i) {
        return toUnsignedString(i, 3);
    }

    public static String toBinaryString(int i) {
        return toUnsignedString(i, 1);
    }

    public static String toString(int i) {
        return toString(i, 10);
    }

    public static int parseInt(String s, int radix) throws NumberFormatException {
        long v = Long.parseDigits(s, radix, MIN_VALUE, MAX_VALUE);
        return (int) v;
    }

    public static int parseInt(String s) throws NumberFormatException {
        return parseInt(s, 10);
    }

    public static Integer valueOf(String s, int radix) throws NumberFormatException {
        return new Integer(parseInt(s, radix));
    }

    public static Integer valueOf(String s) throws NumberFormatException {
        return new Integer(parseInt(s, 10));
    }

    public static Integer decode(String nm) throws NumberFormatException {
        return new Integer((int) Long.decodeDigits(nm, MIN_VALUE, MAX_VALUE));
    }

    public byte byteValue() {
        return (byte) value;
    }

    public short shortValue() {
        return (short) value;
    }

    public int intValue() {
        return value;
    }

    public long longValue() {
        return value;
    }

    public float floatValue() {
        return value;
    }

    public double doubleValue() {
        return value;
    }

    public String toString() {
        return toString(value, 10);
    }

    public int hashCode() {
        return value;
    }

    public boolean equals(Object obj) {
        return obj instanceof Integer && ((Integer) obj).value == value;
    }

    public static Integer getInteger(String nm) {
        return getInteger(nm, null);
    }

    public static Integer getInteger(String nm, int val) {
        Integer r = getInteger(nm, null);
        return r == null ? new Integer(val) : r;
    }

    public static Integer getInteger(String nm, Integer val) {
        String v = null;
        try {
            v = System.getProperty(nm);
        } catch (SecurityException e) {
            // An unreadable property counts as absent.
        }
        if (v != null) {
            try {
                return decode(v);
            } catch (NumberFormatException e) {
                // A malformed value counts as absent.
            }
        }
        return val;
    }
}
