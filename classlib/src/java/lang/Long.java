package java.lang;

public final class Long extends Number {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 4290774380558885855L;


    public static final long MIN_VALUE = 0x8000000000000000L;
    public static final long MAX_VALUE = 0x7fffffffffffffffL;
    public static final Class TYPE = Class.getPrimitiveClass("long");

    // The only field (two words): the machine reads and writes it directly when it boxes.
    private final long value;

    public Long(long value) {
        this.value = value;
    }

    public Long(String s) throws NumberFormatException {
        this.value = parseLong(s, 10);
    }

    public static String toString(long i, int radix) {
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            radix = 10;
        }
        char[] buf = new char[65];
        int pos = 65;
        boolean negative = i < 0;
        if (!negative) {
            i = -i;
        }
        do {
            buf[--pos] = Integer.DIGITS[(int) -(i % radix)];
            i = i / radix;
        } while (i != 0);
        if (negative) {
            buf[--pos] = '-';
        }
        return new String(buf, pos, 65 - pos);
    }

    private static String toUnsignedString(long i, int shift) {
        char[] buf = new char[64];
        int pos = 64;
        long mask = (1L << shift) - 1;
        do {
            buf[--pos] = Integer.DIGITS[(int) (i & mask)];
            i >>>= shift;
        } while (i != 0);
        return new String(buf, pos, 64 - pos);
    }

    public static String toHexString(long i) {
        return toUnsignedString(i, 4);
    }

    public static String toOctalString(long i) {
        return toUnsignedString(i, 3);
    }

    public static String toBinaryString(long i) {
        return toUnsignedString(i, 1);
    }

    public static String toString(long i) {
        return toString(i, 10);
    }

    /**
     * Parses an optionally negative number in the given radix and checks it against
     * [min, max]; shared by all the integral boxes. Accumulates negatively so that the
     * most negative value needs no special case.
     */
    static long parseDigits(String s, int radix, long min, long max) throws NumberFormatException {
        if (s == null) {
            throw new NumberFormatException("null");
        }
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            throw new NumberFormatException("radix " + radix + " out of range");
        }
        int n = s.length();
        int i = 0;
        boolean negative = false;
        if (n > 0 && s.charAt(0) == '-') {
            negative = true;
            i = 1;
        }
        if (i >= n) {
            throw new NumberFormatException(s);
        }
        long limit = negative ? min : -max;
        long multmin = limit / radix;
        long result = 0;
        for (; i < n; i++) {
            int d = Character.digit(s.charAt(i), radix);
            if (d < 0 || result < multmin) {
                throw new NumberFormatException(s);
            }
            result *= radix;
            if (result < limit + d) {
                throw new NumberFormatException(s);
            }
            result -= d;
        }
        return negative ? result : -result;
    }

    // The forms decode accepts: optional '-', then "0x", "0X" or "#" for hexadecimal, a
    // leading "0" for octal, or decimal digits.
    static long decodeDigits(String nm, long min, long max) throws NumberFormatException {
        if (nm == null) {
            throw new NullPointerException();
        }
        int i = 0;
        boolean negative = false;
        if (nm.startsWith("-")) {
            negative = true;
            i = 1;
        }
        int radix = 10;
        if (nm.startsWith("0x", i) || nm.startsWith("0X", i)) {
            radix = 16;
            i += 2;
        } else if (nm.startsWith("#", i)) {
            radix = 16;
            i += 1;
        } else if (nm.startsWith("0", i) && nm.length() > i + 1) {
            radix = 8;
            i += 1;
        }
        String digits = nm.substring(i);
        if (digits.startsWith("-")) {
            throw new NumberFormatException(nm);
        }
        try {
            return parseDigits(negative ? "-".concat(digits) : digits, radix, min, max);
        } catch (NumberFormatException e) {
            throw new NumberFormatException(nm);
        }
    }

    public static long parseLong(String s, int radix) throws NumberFormatException {
        return parseDigits(s, radix, MIN_VALUE, MAX_VALUE);
    }

    public static long parseLong(String s) throws NumberFormatException {
        return parseDigits(s, 10, MIN_VALUE, MAX_VALUE);
    }

    public static Long valueOf(String s, int radix) throws NumberFormatException {
        return new Long(parseLong(s, radix));
    }

    public static Long valueOf(String s) throws NumberFormatException {
        return new Long(parseLong(s, 10));
    }

    public int intValue() {
        return (int) value;
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
        return (int) (value ^ (value >>> 32));
    }

    public boolean equals(Object obj) {
        return obj instanceof Long && ((Long) obj).value == value;
    }

    public static Long getLong(String nm) {
        return getLong(nm, null);
    }

    public static Long getLong(String nm, long val) {
        Long r = getLong(nm, null);
        return r == null ? new Long(val) : r;
    }

    public static Long getLong(String nm, Long val) {
        String v = null;
        try {
            v = System.getProperty(nm);
        } catch (SecurityException e) {
            // An unreadable property counts as absent.
        }
        if (v != null) {
            try {
                return new Long(decodeDigits(v, MIN_VALUE, MAX_VALUE));
            } catch (NumberFormatException e) {
                // A malformed value counts as absent.
            }
        }
        return val;
    }
}
