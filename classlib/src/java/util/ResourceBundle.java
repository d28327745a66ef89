package java.util;

import java.io.InputStream;

/**
 * Objects by key for one locale, with a parent bundle for the keys it lacks. getBundle
 * looks for the bundle of a base name and locale among classes (a ResourceBundle subclass
 * named after the bundle) and property files (the bundle's name with '/' for '.' and
 * ".properties" added), from the most specific name to the base name.
 */
public abstract class ResourceBundle {

    /** Asked for the keys this bundle lacks; null at the end of the chain. */
    protected ResourceBundle parent;

    private Locale locale;

    public ResourceBundle() {
    }

    protected abstract Object handleGetObject(String key) throws MissingResourceException;

    public abstract Enumeration getKeys();

    protected void setParent(ResourceBundle parent) {
        this.parent = parent;
    }

    public Locale getLocale() {
        return locale;
    }

    public final Object getObject(String key) throws MissingResourceException {
        if (key == null) {
            throw new NullPointerException();
        }
        for (ResourceBundle b = this; b != null; b = b.parent) {
            Object value = b.handleGetObject(key);
            if (value != null) {
                return value;
            }
        }
        throw new MissingResourceException("Can't find resource for bundle " + getClass().getName() + ", key " + key,
                getClass().getName(), key);
    }

    public final String getString(String key) throws MissingResourceException {
        return (String) getObject(key);
    }

    public final String[] getStringArray(String key) throws MissingResourceException {
        return (String[]) getObject(key);
    }

    public static final ResourceBundle getBundle(String baseName) throws MissingResourceException {
        return getBundle(baseName, Locale.getDefault(), callerLoader());
    }

    public static final ResourceBundle getBundle(String baseName, Locale locale) throws MissingResourceException {
        return getBundle(baseName, locale, callerLoader());
    }

    public static ResourceBundle getBundle(String baseName, Locale locale, ClassLoader loader)
            throws MissingResourceException {
        if (baseName == null || locale == null) {
            throw new NullPointerException();
        }
        ResourceBundle found = chain(baseName, locale, loader);
        if (found == null && !locale.equals(Locale.getDefault())) {
            found = chain(baseName, Locale.getDefault(), loader);
        }
        if (found == null) {
            found = load(baseName, loader);
            if (found != null) {
                found.locale = new Locale("", "");
            }
        }
        if (found == null) {
            throw new MissingResourceException("Can't find bundle for base name " + baseName + ", locale " + locale,
                    baseName + "_" + locale, "");
        }
        return found;
    }

    // The most specific bundle of the locale's names that exists, each one's parent the
    // next less specific one that exists, down to the base name's; null when none of the
    // locale's own names exists.
    private static ResourceBundle chain(String baseName, Locale locale, ClassLoader loader) {
        String[] names = new String[3];
        Locale[] locales = new Locale[3];
        String name = baseName;
        int n = 0;
        if (locale.getLanguage().length() > 0) {
            name = name + "_" + locale.getLanguage();
            locales[n] = new Locale(locale.getLanguage(), "");
            names[n++] = name;
            if (locale.getCountry().length() > 0 || locale.getVariant().length() > 0) {
                name = name + "_" + locale.getCountry();
                locales[n] = new Locale(locale.getLanguage(), locale.getCountry());
                names[n++] = name;
                if (locale.getVariant().length() > 0) {
                    name = name + "_" + locale.getVariant();
                    locales[n] = locale;
                    names[n++] = name;
                }
            }
        }
        ResourceBundle top = null;
        ResourceBundle last = null;
        for (int i = n - 1; i >= 0; i--) {
            ResourceBundle b = load(names[i], loader);
            if (b == null) {
                continue;
            }
            b.locale = locales[i];
            if (top == null) {
                top = b;
            } else {
                last.setParent(b);
            }
            last = b;
        }
        if (top != null) {
            ResourceBundle base = load(baseName, loader);
            if (base != null) {
                last.setParent(base);
            }
        }
        return top;
    }

    // The bundle of one name: a class first, then a property file; null when neither is.
    private static ResourceBundle load(String name, ClassLoader loader) {
        try {
            Class c = loader != null ? loader.loadClass(name) : Class.forName(name);
            if (ResourceBundle.class.isAssignableFrom(c)) {
                return (ResourceBundle) c.newInstance();
            }
        } catch (ClassNotFoundException e) {
            // not a class: try a property file
        } catch (InstantiationException e) {
            return null;
        } catch (IllegalAccessException e) {
            return null;
        }
        String file = name.replace('.', '/') + ".properties";
        InputStream in = loader != null ? loader.getResourceAsStream(file) : ClassLoader.getSystemResourceAsStream(file);
        if (in == null) {
            return null;
        }
        try {
            try {
                return new PropertyResourceBundle(in);
            } finally {
                in.close();
            }
        } catch (java.io.IOException e) {
            return null;
        }
    }

    // The loader of the first class on the stack that is not this one.
    private static ClassLoader callerLoader() {
        Class[] context = getClassContext();
        if (context != null) {
            for (int i = 0; i < context.length; i++) {
                if (context[i] != null && context[i] != ResourceBundle.class) {
                    return context[i].getClassLoader();
                }
            }
        }
        return null;
    }

    // Package access: the classes of the calling thread's Java frames, innermost first.
    static native Class[] getClassContext();
}
