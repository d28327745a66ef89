package java.util;

import java.io.IOException;
import java.io.InputStream;

/** A resource bundle read from a property file: every value is a String. */
public class PropertyResourceBundle extends ResourceBundle {

    private Properties lookup = new Properties();

    public PropertyResourceBundle(InputStream stream) throws IOException {
        lookup.load(stream);
    }

    public Object handleGetObject(String key) {
        if (key == null) {
            throw new NullPointerException();
        }
        return lookup.get(key);
    }

    /** The keys of this bundle, then those of its parents that it lacks. */
    public Enumeration getKeys() {
        Hashtable keys = new Hashtable();
        for (Enumeration e = lookup.keys(); e.hasMoreElements();) {
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
}
