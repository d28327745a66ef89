package java.lang;

public final class Boolean implements java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -3665804199014368530L;


    public static final Boolean TRUE = new Boolean(true);
    public static final Boolean FALSE = new Boolean(false);
    public static final Class TYPE = Class.getPrimitiveClass("boolean");

    // The only field: the machine reads and writes it directly when it boxes.
    private final boolean value;

    public Boolean(boolean value) {
        this.value = value;
    }

    public Boolean(String s) {
        this(toBoolean(s));
    }

    private static boolean toBoolean(String s) {
        return s != null && s.equalsIgnoreCase("true");
    }

    public boolean booleanValue() {
        return value;
    }

    public static Boolean valueOf(String s) {
        return toBoolean(s) ? TRUE : FALSE;
    }

    public String toString() {
        return value ? "true" : "false";
    }

    public int hashCode() {
        return value ? 1231 : 1237;
    }

    public boolean equals(Object obj) {
        return obj instanceof Boolean && ((Boolean) obj).value == value;
    }

    public static boolean getBoolean(String name) {
        try {
            return toBoolean(System.getProperty(name));
        } catch (SecurityException e) {
            return false;
        }
    }
}
