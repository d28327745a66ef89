package java.io;

/**
 * One serializable field of a class as the object streams see it: its name, its type code
 * (one of B C D F I J S Z for primitives, L or [ for references), the descriptor of a
 * reference field's type ("Ljava/lang/String;", with '/'), and the slot by which the
 * machine names the field in an object of the class (-1 for a field the local class does
 * not have).
 */
public class ObjectStreamField {
    String name;
    char type;
    int offset;
    String typeString;
    java.lang.reflect.Field field;

    ObjectStreamField(String name, char type, int offset, String typeString) {
        this.name = name;
        this.type = type;
        this.offset = offset;
        // One string object per descriptor text: the stream writes a type that recurs as a
        // back reference to its first occurrence, as every other writer does.
        this.typeString = typeString != null ? typeString.intern() : null;
    }

    public String getName() {
        return name;
    }

    public char getTypeCode() {
        return type;
    }

    public String getTypeString() {
        return typeString;
    }

    public int getOffset() {
        return offset;
    }

    public boolean isPrimitive() {
        return type != 'L' && type != '[';
    }

    /** Primitives first, then by name: the order of the fields on the wire. */
    int compareTo(ObjectStreamField other) {
        boolean p = isPrimitive();
        if (p != other.isPrimitive()) {
            return p ? -1 : 1;
        }
        return name.compareTo(other.name);
    }

    public String toString() {
        return typeString != null ? typeString + " " + name : type + " " + name;
    }
}
