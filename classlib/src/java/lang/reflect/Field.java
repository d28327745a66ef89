package java.lang.reflect;

/**
 * A field seen through reflection. The machine makes these objects itself, at a fixed size
 * and without a constructor, so the four fields below are exactly the object's words.
 */
public final class Field implements Member {

    private Class clazz;
    // The machine's index of the field in its class; never changed here.
    private int slot;
    private String name;
    private Class type;

    private Field() {
    }

    public Class getDeclaringClass() {
        return clazz;
    }

    public String getName() {
        return name;
    }

    public native int getModifiers();

    public Class getType() {
        return type;
    }

    public boolean equals(Object obj) {
        if (!(obj instanceof Field)) {
            return false;
        }
        Field other = (Field) obj;
        return clazz == other.clazz && name.equals(other.name) && type == other.type;
    }

    public int hashCode() {
        return clazz.getName().hashCode() ^ name.hashCode();
    }

    public String toString() {
        StringBuffer sb = new StringBuffer();
        String mods = Modifier.toString(getModifiers());
        if (mods.length() > 0) {
            sb.append(mods).append(' ');
        }
        sb.append(Modifier.typeName(type)).append(' ');
        sb.append(Modifier.typeName(clazz)).append('.').append(name);
        return sb.toString();
    }

    public native Object get(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native boolean getBoolean(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native byte getByte(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native char getChar(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native short getShort(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native int getInt(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native long getLong(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native float getFloat(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native double getDouble(Object obj) throws IllegalArgumentException, IllegalAccessException;

    public native void set(Object obj, Object value) throws IllegalArgumentException, IllegalAccessException;

    public native void setBoolean(Object obj, boolean z) throws IllegalArgumentException, IllegalAccessException;

    public native void setByte(Object obj, byte b) throws IllegalArgumentException, IllegalAccessException;

    public native void setChar(Object obj, char c) throws IllegalArgumentException, IllegalAccessException;

    public native void setShort(Object obj, short s) throws IllegalArgumentException, IllegalAccessException;

    public native void setInt(Object obj, int i) throws IllegalArgumentException, IllegalAccessException;

    public native void setLong(Object obj, long l) throws IllegalArgumentException, IllegalAccessException;

    public native void setFloat(Object obj, float f) throws IllegalArgumentException, IllegalAccessException;

    public native void setDouble(Object obj, double d) throws IllegalArgumentException, IllegalAccessException;
}
