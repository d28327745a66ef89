package java.lang;

/**
 * Boxed char and the character properties of Unicode 2.1, the release of the 1.1-1.3 API:
 * categories, case mappings and numeric values come from CharacterData, which the build
 * generates from the Unicode 2.1.8 data file. Code points that later releases assigned are
 * unassigned here, and the properties later releases changed keep their 2.1 values.
 */
public final class Character implements java.io.Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 3786198910865385080L;


    public static final int MIN_RADIX = 2;
    public static final int MAX_RADIX = 36;
    public static final char MIN_VALUE = '\u0000';
    public static final char MAX_VALUE = '\uffff';
    public static final Class TYPE = Class.getPrimitiveClass("char");

    public static final byte UNASSIGNED = 0;
    public static final byte UPPERCASE_LETTER = 1;
    public static final byte LOWERCASE_LETTER = 2;
    public static final byte TITLECASE_LETTER = 3;
    public static final byte MODIFIER_LETTER = 4;
    public static final byte OTHER_LETTER = 5;
    public static final byte NON_SPACING_MARK = 6;
    public static final byte ENCLOSING_MARK = 7;
    public static final byte COMBINING_SPACING_MARK = 8;
    public static final byte DECIMAL_DIGIT_NUMBER = 9;
    public static final byte LETTER_NUMBER = 10;
    public static final byte OTHER_NUMBER = 11;
    public static final byte SPACE_SEPARATOR = 12;
    public static final byte LINE_SEPARATOR = 13;
    public static final byte PARAGRAPH_SEPARATOR = 14;
    public static final byte CONTROL = 15;
    public static final byte FORMAT = 16;
    public static final byte PRIVATE_USE = 18;
    public static final byte SURROGATE = 19;
    public static final byte DASH_PUNCTUATION = 20;
    public static final byte START_PUNCTUATION = 21;
    public static final byte END_PUNCTUATION = 22;
    public static final byte CONNECTOR_PUNCTUATION = 23;
    public static final byte OTHER_PUNCTUATION = 24;
    public static final byte MATH_SYMBOL = 25;
    public static final byte CURRENCY_SYMBOL = 26;
    public static final byte MODIFIER_SYMBOL = 27;
    public static final byte OTHER_SYMBOL = 28;

    // The only field: the machine reads and writes it directly when it boxes.
    private final char value;

    public Character(char value) {
        this.value = value;
    }

    public char charValue() {
        return value;
    }

    public int hashCode() {
        return value;
    }

    public boolean equals(Object obj) {
        return obj instanceof Character && ((Character) obj).value == value;
    }

    public String toString() {
        return String.valueOf(value);
    }

    // The record of ch's properties in CharacterData: the run holding ch is found by a binary
    // search among the runs of its page.
    private static int record(char ch) {
        char[] start = CharacterData.START;
        int page = ch >> 8;
        int lo = CharacterData.PAGE[page];
        int hi = CharacterData.PAGE[page + 1];
        while (lo < hi) {
            int mid = (lo + hi + 1) >>> 1;
            if (start[mid] <= ch) {
                lo = mid;
            } else {
                hi = mid - 1;
            }
        }
        int cls = CharacterData.CLASS[lo];
        return (ch & 1) == 0 ? CharacterData.EVEN[cls] : CharacterData.ODD[cls];
    }

    public static int getType(char ch) {
        return CharacterData.KIND[record(ch)] & 0x1f;
    }

    // The value of a numeric character, -2 for a fraction, -1 for none.
    private static int numericValue(char ch) {
        int r = record(ch);
        switch (CharacterData.KIND[r] >> 5) {
            case 1:
                return (ch - CharacterData.NUMBER[r]) & 0xffff;
            case 2:
                return -2;
            default:
                return -1;
        }
    }

    public static boolean isLowerCase(char ch) {
        return getType(ch) == LOWERCASE_LETTER;
    }

    public static boolean isUpperCase(char ch) {
        return getType(ch) == UPPERCASE_LETTER;
    }

    public static boolean isTitleCase(char ch) {
        return getType(ch) == TITLECASE_LETTER;
    }

    public static boolean isDigit(char ch) {
        return getType(ch) == DECIMAL_DIGIT_NUMBER;
    }

    public static boolean isDefined(char ch) {
        return getType(ch) != UNASSIGNED;
    }

    public static boolean isLetter(char ch) {
        int t = getType(ch);
        return t >= UPPERCASE_LETTER && t <= OTHER_LETTER;
    }

    public static boolean isLetterOrDigit(char ch) {
        return isLetter(ch) || isDigit(ch);
    }

    public static boolean isJavaLetter(char ch) {
        return isJavaIdentifierStart(ch);
    }

    public static boolean isJavaLetterOrDigit(char ch) {
        return isJavaIdentifierPart(ch);
    }

    public static boolean isJavaIdentifierStart(char ch) {
        int t = getType(ch);
        return (t >= UPPERCASE_LETTER && t <= OTHER_LETTER) || t == CURRENCY_SYMBOL || t == CONNECTOR_PUNCTUATION
                || t == LETTER_NUMBER;
    }

    public static boolean isJavaIdentifierPart(char ch) {
        int t = getType(ch);
        return (t >= UPPERCASE_LETTER && t <= OTHER_LETTER) || t == CURRENCY_SYMBOL || t == CONNECTOR_PUNCTUATION
                || t == DECIMAL_DIGIT_NUMBER || t == LETTER_NUMBER || t == COMBINING_SPACING_MARK
                || t == NON_SPACING_MARK || isIdentifierIgnorable(ch);
    }

    public static boolean isUnicodeIdentifierStart(char ch) {
        return isLetter(ch) || getType(ch) == LETTER_NUMBER;
    }

    public static boolean isUnicodeIdentifierPart(char ch) {
        int t = getType(ch);
        return (t >= UPPERCASE_LETTER && t <= OTHER_LETTER) || t == CONNECTOR_PUNCTUATION
                || t == DECIMAL_DIGIT_NUMBER || t == LETTER_NUMBER || t == COMBINING_SPACING_MARK
                || t == NON_SPACING_MARK || isIdentifierIgnorable(ch);
    }

    public static boolean isIdentifierIgnorable(char ch) {
        return (ch <= 0x08) || (ch >= 0x0e && ch <= 0x1b) || (ch >= 0x7f && ch <= 0x9f) || getType(ch) == FORMAT;
    }

    public static char toLowerCase(char ch) {
        if (ch < 0x80) {
            return ch >= 'A' && ch <= 'Z' ? (char) (ch + 32) : ch;
        }
        return (char) (ch + CharacterData.LOWER[record(ch)]);
    }

    public static char toUpperCase(char ch) {
        if (ch < 0x80) {
            return ch >= 'a' && ch <= 'z' ? (char) (ch - 32) : ch;
        }
        return (char) (ch + CharacterData.UPPER[record(ch)]);
    }

    public static char toTitleCase(char ch) {
        return (char) (ch + CharacterData.TITLE[record(ch)]);
    }

    public static int digit(char ch, int radix) {
        if (radix < MIN_RADIX || radix > MAX_RADIX) {
            return -1;
        }
        int v = letterValue(ch);
        if (v < 0) {
            if (getType(ch) != DECIMAL_DIGIT_NUMBER) {
                return -1;
            }
            v = numericValue(ch);
        }
        return v < radix ? v : -1;
    }

    // 10 to 35 for the Latin letters, ASCII or full-width, of either case; else -1.
    private static int letterValue(char ch) {
        int c = ch;
        if (c >= 'a' && c <= 'z') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'Z') {
            return c - 'A' + 10;
        }
        if (c >= 0xff21 && c <= 0xff3a) {
            return c - 0xff21 + 10;
        }
        if (c >= 0xff41 && c <= 0xff5a) {
            return c - 0xff41 + 10;
        }
        return -1;
    }

    public static int getNumericValue(char ch) {
        int v = letterValue(ch);
        return v >= 0 ? v : numericValue(ch);
    }

    public static boolean isSpace(char ch) {
        return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\f' || ch == '\r';
    }

    public static boolean isSpaceChar(char ch) {
        int t = getType(ch);
        return t == SPACE_SEPARATOR || t == LINE_SEPARATOR || t == PARAGRAPH_SEPARATOR;
    }

    // Only the two no-break spaces are left out: this API generation counts the figure space in.
    public static boolean isWhitespace(char ch) {
        if (ch == '\u00a0' || ch == '\ufeff') {
            return false;
        }
        return isSpaceChar(ch) || (ch >= 0x09 && ch <= 0x0d) || (ch >= 0x1c && ch <= 0x1f);
    }

    public static boolean isISOControl(char ch) {
        return ch <= 0x1f || (ch >= 0x7f && ch <= 0x9f);
    }

    public static char forDigit(int digit, int radix) {
        if (radix < MIN_RADIX || radix > MAX_RADIX || digit < 0 || digit >= radix) {
            return '\0';
        }
        return digit < 10 ? (char) ('0' + digit) : (char) ('a' + digit - 10);
    }
}
