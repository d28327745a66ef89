package java.lang;

/** Superclass of the numeric boxes. It has no fields: each box keeps its value in its own first word. */
public abstract class Number implements java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -8742448824652078965L;


    public Number() {
    }

    public abstract int intValue();

    public abstract long longValue();

    public abstract float floatValue();

    public abstract double doubleValue();

    public byte byteValue() {
        return (byte) intValue();
    }

    public short shortValue() {
        return (short) intValue();
    }
}
