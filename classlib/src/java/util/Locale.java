package java.util;

/**
 * A language, a country and a variant, as resource bundles use them to find their files.
 * Language codes are kept in lower case, country codes in upper case, variants as given.
 */
public final class Locale implements Cloneable, java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 9149081749638150636L;


    public static final Locale ENGLISH = new Locale("en", "");
    public static final Locale FRENCH = new Locale("fr", "");
    public static final Locale GERMAN = new Locale("de", "");
    public static final Locale ITALIAN = new Locale("it", "");
    public static final Locale JAPANESE = new Locale("ja", "");
    public static final Locale KOREAN = new Locale("ko", "");
    public static final Locale CHINESE = new Locale("zh", "");
    public static final Locale US = new Locale("en", "US");
    public static final Locale UK = new Locale("en", "GB");
    public static final Locale FRANCE = new Locale("fr", "FR");
    public static final Locale GERMANY = new Locale("de", "DE");
    public static final Locale ITALY = new Locale("it", "IT");
    public static final Locale JAPAN = new Locale("ja", "JP");
    public static final Locale KOREA = new Locale("ko", "KR");
    public static final Locale CANADA = new Locale("en", "CA");
    public static final Locale CANADA_FRENCH = new Locale("fr", "CA");

    private static Locale defaultLocale;

    private final String language;
    private final String country;
    private final String variant;

    public Locale(String language, String country, String variant) {
        this.language = lower(language);
        this.country = upper(country);
        this.variant = variant.toString();
    }

    public Locale(String language, String country) {
        this(language, country, "");
    }

    /** The system's locale, from user.language and user.region, until setDefault. */
    public static synchronized Locale getDefault() {
        if (defaultLocale == null) {
            String language = System.getProperty("user.language", "en");
            String region = System.getProperty("user.region", "");
            defaultLocale = new Locale(language, region);
        }
        return defaultLocale;
    }

    public static synchronized void setDefault(Locale locale) {
        if (locale == null) {
            throw new NullPointerException();
        }
        defaultLocale = locale;
    }

    public String getLanguage() {
        return language;
    }

    public String getCountry() {
        return country;
    }

    public String getVariant() {
        return variant;
    }

    /** language_COUNTRY_VARIANT, leaving out empty parts from the end. */
    public final String toString() {
        StringBuffer sb = new StringBuffer(language);
        if (country.length() > 0 || variant.length() > 0) {
            sb.append('_').append(country);
        }
        if (variant.length() > 0) {
            sb.append('_').append(variant);
        }
        return sb.toString();
    }

    public boolean equals(Object obj) {
        if (!(obj instanceof Locale)) {
            return false;
        }
        Locale other = (Locale) obj;
        return language.equals(other.language) && country.equals(other.country) && variant.equals(other.variant);
    }

    public int hashCode() {
        return language.hashCode() ^ (country.hashCode() * 31) ^ (variant.hashCode() * 961);
    }

    public Object clone() {
        try {
            return super.clone();
        } catch (CloneNotSupportedException e) {
            throw new InternalError();
        }
    }

    private static String lower(String s) {
        return s.toLowerCase();
    }

    private static String upper(String s) {
        return s.toUpperCase();
    }
}
