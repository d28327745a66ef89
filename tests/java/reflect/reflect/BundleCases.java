package reflect;

import java.util.Enumeration;
import java.util.Locale;
import java.util.MissingResourceException;
import java.util.ResourceBundle;

/** Resource bundles of classes, found by locale from the most specific name down. */
public class BundleCases {

    static String keys(ResourceBundle b) {
        String[] all = new String[8];
        int n = 0;
        for (Enumeration e = b.getKeys(); e.hasMoreElements() && n < all.length;) {
            all[n++] = (String) e.nextElement();
        }
        String[] sorted = new String[n];
        System.arraycopy(all, 0, sorted, 0, n);
        MemberCases.sort(sorted);
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < n; i++) {
            sb.append(' ').append(sorted[i]);
        }
        return sb.toString();
    }

    static String lookup(ResourceBundle b, String key) {
        try {
            Object v = b.getObject(key);
            if (v instanceof String[]) {
                String[] a = (String[]) v;
                return key + "=" + a[0] + "," + a[1];
            }
            return key + "=" + v;
        } catch (MissingResourceException e) {
            return key + " missing (" + e.getKey() + ")";
        }
    }

    static String show(String base, Locale locale) {
        try {
            ResourceBundle b = ResourceBundle.getBundle(base, locale);
            return b.getClass().getName() + ":" + keys(b) + " | " + lookup(b, "greeting") + " " + lookup(b, "count")
                    + " " + lookup(b, "only_fr") + " " + lookup(b, "words") + " " + lookup(b, "nothing");
        } catch (MissingResourceException e) {
            return "missing " + e.getClassName();
        }
    }

    public static String report() {
        Locale.setDefault(Locale.US);
        StringBuffer out = new StringBuffer();
        out.append("fr_CA: ").append(show("reflect.BundleProbe", new Locale("fr", "CA"))).append('\n');
        out.append("fr: ").append(show("reflect.BundleProbe", Locale.FRENCH)).append('\n');
        out.append("fr_BE: ").append(show("reflect.BundleProbe", new Locale("fr", "BE"))).append('\n');
        out.append("de: ").append(show("reflect.BundleProbe", Locale.GERMAN)).append('\n');
        out.append("none: ").append(show("reflect.NoSuchBundle", Locale.GERMAN)).append('\n');
        ResourceBundle b = ResourceBundle.getBundle("reflect.BundleProbe", Locale.FRENCH);
        out.append("string array: ").append(b.getClass().getName()).append(' ');
        try {
            b.getString("count");
        } catch (ClassCastException e) {
            out.append("getString of an Integer: ClassCastException");
        }
        out.append('\n');
        out.append("locale: ").append(new Locale("FR", "ca", "x")).append(' ').append(new Locale("en", ""))
                .append(' ').append(new Locale("", "GB")).append('\n');
        return out.toString();
    }

    /** Bundles of property files (which the test puts on the class path). */
    public static String fromProperties() {
        StringBuffer out = new StringBuffer();
        out.append("de: ").append(show("reflect.Strings", Locale.GERMAN)).append('\n');
        out.append("fr: ").append(show("reflect.Strings", Locale.FRENCH)).append('\n');
        out.append("mixed: ").append(show("reflect.Mixed", Locale.GERMAN)).append('\n');
        return out.toString();
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
