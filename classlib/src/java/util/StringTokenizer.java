package java.util;

/**
 * Splits a string into tokens separated by delimiter chars. With
 * returnTokens set, every delimiter is also handed out, as a token of one char.
 */
public class StringTokenizer implements Enumeration {
    private String str;
    private String delimiters;
    private boolean retTokens;
    private int position;
    private int maxPosition;

    public StringTokenizer(String str, String delim, boolean returnTokens) {
        this.str = str;
        this.delimiters = delim;
        this.retTokens = returnTokens;
        this.position = 0;
        this.maxPosition = str.length();
    }

    public StringTokenizer(String str, String delim) {
        this(str, delim, false);
    }

    /** Delimiters: space, tab, newline and carriage return. */
    public StringTokenizer(String str) {
        this(str, " \t\n\r", false);
    }

    // Null delimiters throw NullPointerException once a char must be tested.
    private boolean isDelimiter(char c) {
        return delimiters.indexOf(c) >= 0;
    }

    private int skipDelimiters(int from) {
        int i = from;
        if (!retTokens) {
            while (i < maxPosition && isDelimiter(str.charAt(i))) {
                i++;
            }
        }
        return i;
    }

    private int scanToken(int from) {
        int i = from;
        while (i < maxPosition && !isDelimiter(str.charAt(i))) {
            i++;
        }
        if (retTokens && i == from && i < maxPosition) {
            i++;
        }
        return i;
    }

    public boolean hasMoreTokens() {
        return skipDelimiters(position) < maxPosition;
    }

    public String nextToken() {
        position = skipDelimiters(position);
        if (position >= maxPosition) {
            throw new NoSuchElementException();
        }
        int start = position;
        position = scanToken(position);
        return str.substring(start, position);
    }

    /** Switches to new delimiters for this and later tokens. */
    public String nextToken(String delim) {
        delimiters = delim;
        return nextToken();
    }

    public boolean hasMoreElements() {
        return hasMoreTokens();
    }

    public Object nextElement() {
        return nextToken();
    }

    /** How many more times nextToken can be called before it throws. */
    public int countTokens() {
        int n = 0;
        int at = position;
        while (true) {
            at = skipDelimiters(at);
            if (at >= maxPosition) {
                break;
            }
            at = scanToken(at);
            n++;
        }
        return n;
    }
}
