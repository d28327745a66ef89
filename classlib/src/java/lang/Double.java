package java.lang;

public final class Double extends Number {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -9172774392245257468L;


    public static final double POSITIVE_INFINITY = 1.0 / 0.0;
    public static final double NEGATIVE_INFINITY = -1.0 / 0.0;
    public static final double NaN = 0.0d / 0.0;
    public static final double MAX_VALUE = 1.7976931348623157E308;
    public static final double MIN_VALUE = 4.9E-324;
    public static final Class TYPE = Class.getPrimitiveClass("double");

    // The only field (two words): the machine reads and writes it directly when it boxes.
    private final double value;

    public Double(double value) {
        this.value = value;
    }

    public Double(String s) throws NumberFormatException {
        this.value = parse(s);
    }

    public static String toString(double d) {
        return NumberText.toString(d);
    }

    public static Double valueOf(String s) throws NumberFormatException {
        return new Double(parse(s));
    }

    // Java's literal syntax is checked here; the digits themselves go to the C library.
    static double parse(String s) throws NumberFormatException {
        String t = s.trim();
        int inf = NumberText.infinitySign(t);
        if (inf != 0) {
            return inf > 0 ? POSITIVE_INFINITY : NEGATIVE_INFINITY;
        }
        if (NumberText.isNaNText(t)) {
            return NaN;
        }
        String digits = NumberText.numericPart(t);
        if (digits == null) {
            throw new NumberFormatException(s);
        }
        try {
            return valueOf0(digits);
        } catch (NumberFormatException e) {
            throw new NumberFormatException(s);
        }
    }

    private static native double valueOf0(String s);

    public static boolean isNaN(double v) {
        return v != v;
    }

    public static boolean isInfinite(double v) {
        return v == POSITIVE_INFINITY || v == NEGATIVE_INFINITY;
    }

    public boolean isNaN() {
        return value != value;
    }

    public boolean isInfinite() {
        return isInfinite(value);
    }

    public String toString() {
        return NumberText.toString(value);
    }

    public byte byteValue() {
        return (byte) value;
    }

    public short shortValue() {
        return (short) value;
    }

    public int intValue() {
        return (int) value;
    }

    public long longValue() {
        return (long) value;
    }

    public float floatValue() {
        return (float) value;
    }

    public double doubleValue() {
        return value;
    }

    public int hashCode() {
        long bits = canonicalBits(value);
        return (int) (bits ^ (bits >>> 32));
    }

    public boolean equals(Object obj) {
        return obj instanceof Double && canonicalBits(((Double) obj).value) == canonicalBits(value);
    }

    /*
     * The machine's conversion keeps a NaN's own bit pattern, and NaNs made at run time need
     * not have the canonical one, so equality and hashing fold every NaN into one pattern.
     */
    private static long canonicalBits(double value) {
        return value != value ? 0x7ff8000000000000L : doubleToLongBits(value);
    }

    public static native long doubleToLongBits(double value);

    public static native double longBitsToDouble(long bits);
}
