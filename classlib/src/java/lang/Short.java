package java.lang;

public final class Short extends Number {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 7515723908773894738L;


    public static final short MIN_VALUE = -32768;
    public static final short MAX_VALUE = 32767;
    public static final Class TYPE = Class.getPrimitiveClass("short");

    // The only field: the machine reads and writes it directly when it boxes.
    private final short value;

    public Short(short value) {
        this.value = value;
    }

    public Short(String s) throws NumberFormatException {
        this.value = parseShort(s, 10);
    }

    public static String toString(short s) {
        return Integer.toString(s, 10);
    }

    public static short parseShort(String s) throws NumberFormatException {
        return parseShort(s, 10);
    }

    public static short parseShort(String s, int radix) throws NumberFormatException {
        return (short) Long.parseDigits(s, radix, MIN_VALUE, MAX_VALUE);
    }

    public static Short valueOf(String s, int radix) throws NumberFormatException {
        return new Short(parseShort(s, radix));
    }

    public static Short valueOf(String s) throws NumberFormatException {
        return new Short(parseShort(s, 10));
    }

    public static Short decode(String nm) throws NumberFormatException {
        return new Short((short) Long.decodeDigits(nm, MIN_VALUE, MAX_VALUE));
    }

    public byte byteValue() {
        return (byte) value;
    }

    public short shortValue() {
        return value;
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
        return Integer.toString(value, 10);
    }

    public int hashCode() {
        return value;
    }

    public boolean equals(Object obj) {
        return obj instanceof Short && ((Short) obj).value == value;
    }
}
