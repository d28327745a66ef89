package java.lang;

public final class Byte extends Number {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -7183698231559129828L;


    public static final byte MIN_VALUE = -128;
    public static final byte MAX_VALUE = 127;
    public static final Class TYPE = Class.getPrimitiveClass("byte");

    // The only field: the machine reads and writes it directly when it boxes.
    private final byte value;

    public Byte(byte value) {
        this.value = value;
    }

    public Byte(String s) throws NumberFormatException {
        this.value = parseByte(s, 10);
    }

    public static String toString(byte s) {
        return Integer.toString(s, 10);
    }

    public static byte parseByte(String s) throws NumberFormatException {
        return parseByte(s, 10);
    }

    public static byte parseByte(String s, int radix) throws NumberFormatException {
        return (byte) Long.parseDigits(s, radix, MIN_VALUE, MAX_VALUE);
    }

    public static Byte valueOf(String s, int radix) throws NumberFormatException {
        return new Byte(parseByte(s, radix));
    }

    public static Byte valueOf(String s) throws NumberFormatException {
        return new Byte(parseByte(s, 10));
    }

    public static Byte decode(String nm) throws NumberFormatException {
        return new Byte((byte) Long.decodeDigits(nm, MIN_VALUE, MAX_VALUE));
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
        return obj instanceof Byte && ((Byte) obj).value == value;
    }
}
