package java.util;

/** A resource bundle, or a key in one, that could not be found. */
public class MissingResourceException extends RuntimeException {

    private String className;
    private String key;

    public MissingResourceException(String s, String className, String key) {
        super(s);
        this.className = className;
        this.key = key;
    }

    public String getClassName() {
        return className;
    }

    public String getKey() {
        return key;
    }
}
