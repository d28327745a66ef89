package java.io;

/**
 * The line separator of the system properties, fetched on first use. Streams
 * are made while System itself is being set up, when its properties cannot be
 * read yet; until they can, "\n" is used, which is what the machine puts there.
 */
final class LineSeparator {
    private static String value;

    private LineSeparator() {
    }

    static String get() {
        String s = value;
        if (s != null) {
            return s;
        }
        try {
            s = System.getProperty("line.separator");
        } catch (RuntimeException e) {
            s = null;
        } catch (LinkageError e) {
            s = null;
        }
        if (s == null || s.length() == 0) {
            return "\n";
        }
        value = s;
        return s;
    }
}
