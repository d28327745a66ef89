package java.util;

/** A resource bundle whose contents are a list of {key, value} pairs. */
public abstract class ListResourceBundle extends ResourceBundle {

    private Hashtable lookup;

    public ListResourceBundle() {
    }

    /** The pairs of this bundle, each an array of a String key and its value. */
    protected abstract Object[][] getContents();

    public final Object handleGetObject(String key) {
        if (key == null) {
            throw new NullPointerException();
        }
        return table().get(key);
    }

    /** The keys of this bundle, then those of its parents that it lacks. */
    public Enumeration getKeys() {
        Hashtable keys = new Hashtable();
        for (Enumeration e = table().keys(); e.hasMoreElements();) {
            Object k = e.nextElement();
            keys.put(k, k);
        }
        if (parent != null) {
            for (Enumeration e = parent.getKeys(); e.hasMoreElements();) {
                Object k = e.nextElement();
                keys.put(k, k);
            }
        }
        return keys.keys();
    }

    private Hashtable table() {
        Hashtable t = lookup;
        if (t == null) {
            Object[][] contents = getContents();
            t = new Hashtable(contents.length * 2 + 1);
            for (int i = 0; i < contents.length; i++) {
                Object key = contents[i][0];
                Object value = contents[i][1];
                if (key == null || value == null) {
                    throw new NullPointerException();
                }
                t.put(key, value);
            }
            lookup = t;
        }
        return t;
    }
}
