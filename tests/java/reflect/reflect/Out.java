package reflect;

import java.lang.reflect.InvocationTargetException;

/** The text of a report: one line per case, values shown with their box class. */
final class Out {

    private final StringBuffer text = new StringBuffer();

    void line(String s) {
        text.append(s).append('\n');
    }

    public String toString() {
        return text.toString();
    }

    /** A value as its class's short name and its text; null as "null". */
    static String show(Object v) {
        if (v == null) {
            return "null";
        }
        String name = v.getClass().getName();
        name = name.substring(name.lastIndexOf('.') + 1);
        if (v instanceof Character) {
            return name + " " + (int) ((Character) v).charValue();
        }
        if (v.getClass().isArray()) {
            return name;
        }
        return name + " " + v;
    }

    /** What a case threw: the class's short name, and for InvocationTargetException its target. */
    static String thrown(Throwable t) {
        String name = t.getClass().getName();
        name = name.substring(name.lastIndexOf('.') + 1);
        if (t instanceof InvocationTargetException) {
            Throwable target = ((InvocationTargetException) t).getTargetException();
            return "threw " + name + " <- " + (target == null ? "null" : thrown(target).substring(6) + ": "
                    + target.getMessage());
        }
        return "threw " + name;
    }
}
