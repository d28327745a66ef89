package java.lang;

public final class Float extends Number {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -2671257302660747028L;


    public static final float POSITIVE_INFINITY = 1.0f / 0.0f;
    public static final float NEGATIVE_INFINITY = -1.0f / 0.0f;
    public static final float NaN = 0.0f / 0.0f;
    public static final float MAX_VALUE = 3.4028235e+38f;
    public static final float MIN_VALUE = 1.4e-45f;
    public static final Class TYPE = Class.getPrimitiveClass("float");

    // The only field: the machine reads and writes it directly when it boxes.
    private final float value;

    public Float(float value) {
        this.value = value;
    }

    public Float(double value) {
        this.value = (float) value;
    }

    public Float(String s) throws NumberFormatException {
        this.value = parse(s);
    }

    public static String toString(float d) {
        return NumberText.toString(d);
    }

    public static Float valueOf(String s) throws NumberFormatException {
        return new Float(parse(s));
    }

    // The text is read as a double, then rounded to float with the decimal deciding ties.
    static float parse(String s) throws NumberFormatException {
        double d = Double.parse(s);
        String digits = NumberText.numericPart(s.trim());
        return digits == null ? (float) d : NumberText.toFloat(digits, d);
    }

    public static boolean isNaN(float v) {
        return v != v;
    }

    public static boolean isInfinite(float v) {
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
        return value;
    }

    public double doubleValue() {
        return value;
    }

    public int hashCode() {
        return canonicalBits(value);
    }

    public boolean equals(Object obj) {
        return obj instanceof Float && canonicalBits(((Float) obj).value) == canonicalBits(value);
    }

    /*
     * The machine's conversion keeps a NaN's own bit pattern, and NaNs made at run time need
     * not have the canonical one, so equality and hashing fold every NaN into one pattern.
     */
    private static int canonicalBits(float value) {
        return value != value ? 0x7fc00000 : floatToIntBits(value);
    }

    public static native int floatToIntBits(float value);

    public static native float intBitsToFloat(int bits);
}
