package reflect.elsewhere;

import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;

import reflect.Guarded;

/** A subclass of Guarded in another package: every reflective call below is made in this
    class's own code, so that the caller is Heir. Its protected instance members are open
    to it on its own kind of object only (a Heir or a subclass of Heir); the static ones
    on no object at all; the constructor not through reflection. */
public class Heir extends Guarded {

    public static class Child extends Heir implements Cloneable {
    }

    public static class Cousin extends Guarded {
    }

    static final String[] FIELDS = {"z", "b", "c", "s", "i", "j", "f", "d", "str"};

    /* "refused" for IllegalAccessException, the short class name of anything else, and of
       what the member itself threw after "threw". */
    static String outcome(Throwable t) {
        String prefix = "";
        if (t instanceof InvocationTargetException) {
            t = ((InvocationTargetException) t).getTargetException();
            prefix = "threw ";
        }
        if (t instanceof IllegalAccessException) {
            return "refused";
        }
        String name = t.getClass().getName();
        return prefix + name.substring(name.lastIndexOf('.') + 1);
    }

    /* Each field read with the getter of its own type. */
    static Object get(Field field, Object o) throws Exception {
        switch (field.getName().charAt(0)) {
            case 'z': return new Boolean(field.getBoolean(o));
            case 'b': return new Byte(field.getByte(o));
            case 'c': return new Character(field.getChar(o));
            case 's': return field.getName().equals("s") ? (Object) new Short(field.getShort(o)) : field.get(o);
            case 'i': return new Integer(field.getInt(o));
            case 'j': return new Long(field.getLong(o));
            case 'f': return new Float(field.getFloat(o));
            default: return new Double(field.getDouble(o));
        }
    }

    /* Each field written with the setter of its own type, and once with set. */
    static void set(Field field, Object o) throws Exception {
        switch (field.getName().charAt(0)) {
            case 'z': field.setBoolean(o, false); break;
            case 'b': field.setByte(o, (byte) 11); break;
            case 'c': field.setChar(o, 'x'); break;
            case 's':
                if (field.getName().equals("s")) {
                    field.setShort(o, (short) 12);
                } else {
                    field.set(o, "set");
                }
                break;
            case 'i': field.setInt(o, 13); break;
            case 'j': field.setLong(o, 14); break;
            case 'f': field.setFloat(o, 15); break;
            default: field.setDouble(o, 16); break;
        }
    }

    static void line(StringBuffer out, String what, Object o) {
        out.append(what).append(":");
        for (int k = 0; k < FIELDS.length; k++) {
            Object value;
            try {
                value = get(Guarded.class.getDeclaredField(FIELDS[k]), o);
            } catch (Throwable t) {
                value = outcome(t);
            }
            out.append(' ').append(value);
        }
        out.append(" / set:");
        for (int k = 0; k < FIELDS.length; k++) {
            Object value;
            try {
                Field field = Guarded.class.getDeclaredField(FIELDS[k]);
                set(field, o);
                value = field.get(o);
            } catch (Throwable t) {
                value = outcome(t);
            }
            out.append(' ').append(value);
        }
        Object value;
        try {
            value = Guarded.class.getDeclaredMethod("own", new Class[0]).invoke(o, new Object[0]);
        } catch (Throwable t) {
            value = outcome(t);
        }
        out.append(" / own: ").append(value).append('\n');
    }

    public static String report() {
        StringBuffer out = new StringBuffer();
        Object value;
        line(out, "a Guarded", new Guarded());
        line(out, "a Cousin", new Cousin());
        line(out, "a Heir", new Heir());
        line(out, "a Child", new Child());
        line(out, "a String", "not a Guarded");
        line(out, "no object", null);
        // Static members belong to no object: open on any, or none.
        out.append("static:");
        Object[] objects = {null, new Guarded(), new Cousin()};
        for (int k = 0; k < objects.length; k++) {
            try {
                Field shared = Guarded.class.getDeclaredField("shared");
                shared.setInt(objects[k], 9 + k);
                value = shared.get(objects[k]) + " "
                        + Guarded.class.getDeclaredMethod("common", new Class[0]).invoke(objects[k], new Object[0]);
            } catch (Throwable t) {
                value = outcome(t);
            }
            out.append(' ').append(value);
        }
        out.append("\nconstructors:");
        Class[][] types = {{}, {Integer.TYPE}};
        Object[][] arguments = {{}, {new Integer(21)}};
        for (int k = 0; k < types.length; k++) {
            try {
                value = Guarded.class.getDeclaredConstructor(types[k]).newInstance(arguments[k]).getClass().getName();
            } catch (Throwable t) {
                value = outcome(t);
            }
            out.append(' ').append(value);
        }
        // Object.clone is protected: an array is no Heir, a Heir is (but not Cloneable),
        // a Child is both, a Cousin neither.
        out.append("\nclone:");
        Object[] targets = {new int[] {1}, new Heir(), new Child(), new Cousin()};
        for (int k = 0; k < targets.length; k++) {
            try {
                value = Object.class.getDeclaredMethod("clone", new Class[0]).invoke(targets[k], new Object[0]).getClass()
                        .getName();
            } catch (Throwable t) {
                value = outcome(t);
            }
            out.append(' ').append(value);
        }
        out.append('\n');
        return out.toString();
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
