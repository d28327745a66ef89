package java.lang;

/**
 * Boxed char and the character properties. ISO 8859-1 is classified exactly from a table;
 * above it the common alphabets (Latin extensions, Greek, Cyrillic, Armenian, Georgian),
 * the decimal digits of the Indic, Arabic, Thai, Lao, Tibetan and full-width blocks, the
 * punctuation and symbol blocks and the large ideographic and syllabic blocks are known
 * by range. Characters outside those ranges are reported as unassigned.
 */
public final class Character implements java.io.Serializable {

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

    // Categories of U+0000..U+00FF, one letter per character: the code is letter - 'A'.
    private static final String LATIN1 =
        "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP"
        + "MYYY[YYYVWYZYUYYJJJJJJJJJJYYZZZY"
        + "YBBBBBBBBBBBBBBBBBBBBBBBBBBVYW\\X"
        + "\\CCCCCCCCCCCCCCCCCCCCCCCCCCVZWZP"
        + "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP"
        + "MY[[[[]]\\]CVZU]\\]ZLL\\C]Y\\LCWLLLY"
        + "BBBBBBBBBBBBBBBBBBBBBBBZBBBBBBBC"
        + "CCCCCCCCCCCCCCCCCCCCCCCZCCCCCCCC";

    public static int getType(char ch) {
        if (ch < 0x100) {
            return LATIN1.charAt(ch) - 'A';
        }
        return typeAbove(ch);
    }

    private static int alternating(int ch, boolean evenUpper) {
        return ((ch & 1) == 0) == evenUpper ? UPPERCASE_LETTER : LOWERCASE_LETTER;
    }

    private static int typeAbove(int c) {
        if (c < 0x180) {
            if (c == 0x138 || c == 0x149 || c == 0x17f) {
                return LOWERCASE_LETTER;
            }
            if (c == 0x178) {
                return UPPERCASE_LETTER;
            }
            return alternating(c, (c < 0x138) || (c >= 0x14a && c < 0x178));
        }
        if (c < 0x250) {
            if (c == 0x1c5 || c == 0x1c8 || c == 0x1cb || c == 0x1f2) {
                return TITLECASE_LETTER;
            }
            if (c == 0x1c4 || c == 0x1c7 || c == 0x1ca || c == 0x1f1) {
                return UPPERCASE_LETTER;
            }
            if (c == 0x1c6 || c == 0x1c9 || c == 0x1cc || c == 0x1f3) {
                return LOWERCASE_LETTER;
            }
            if (c >= 0x1cd && c <= 0x1dc) {
                return alternating(c, false);
            }
            if ((c >= 0x1de && c <= 0x1ef) || (c >= 0x1f4 && c <= 0x1f5) || (c >= 0x1fa && c <= 0x217)) {
                return alternating(c, true);
            }
            return OTHER_LETTER;
        }
        if (c < 0x2b0) {
            return LOWERCASE_LETTER;
        }
        if (c < 0x300) {
            return c < 0x2c2 || (c >= 0x2e0 && c < 0x2e5) ? MODIFIER_LETTER : MODIFIER_SYMBOL;
        }
        if (c < 0x370) {
            return NON_SPACING_MARK;
        }
        if (c < 0x400) {
            if (c == 0x386 || (c >= 0x388 && c <= 0x38f && c != 0x38b && c != 0x38d)
                    || (c >= 0x391 && c <= 0x3ab && c != 0x3a2)) {
                return UPPERCASE_LETTER;
            }
            if (c == 0x390 || (c >= 0x3ac && c <= 0x3ce)) {
                return LOWERCASE_LETTER;
            }
            if (c == 0x37e || c == 0x387) {
                return OTHER_PUNCTUATION;
            }
            if (c >= 0x3d0 && c <= 0x3f3) {
                return LOWERCASE_LETTER;
            }
            return c == 0x374 || c == 0x375 || c == 0x384 || c == 0x385 ? MODIFIER_SYMBOL : UNASSIGNED;
        }
        if (c < 0x530) {
            if (c < 0x430) {
                return c == 0x40d ? UNASSIGNED : UPPERCASE_LETTER;
            }
            if (c < 0x460) {
                return c == 0x450 || c == 0x45d ? UNASSIGNED : LOWERCASE_LETTER;
            }
            if (c <= 0x481 || (c >= 0x490 && c <= 0x4bf) || (c >= 0x4d0 && c <= 0x4f9)) {
                return alternating(c, true);
            }
            if (c >= 0x4c1 && c <= 0x4cc) {
                return alternating(c, false);
            }
            if (c == 0x482) {
                return OTHER_SYMBOL;
            }
            if (c >= 0x483 && c <= 0x486) {
                return NON_SPACING_MARK;
            }
            return UNASSIGNED;
        }
        if (c < 0x590) {
            if (c >= 0x531 && c <= 0x556) {
                return UPPERCASE_LETTER;
            }
            if (c >= 0x561 && c <= 0x587) {
                return LOWERCASE_LETTER;
            }
            return c >= 0x559 && c <= 0x55f ? OTHER_PUNCTUATION : UNASSIGNED;
        }
        int d = digitBase(c);
        if (d >= 0) {
            return DECIMAL_DIGIT_NUMBER;
        }
        if (c >= 0x5d0 && c <= 0x5ea) {
            return OTHER_LETTER;
        }
        if ((c >= 0x621 && c <= 0x63a) || (c >= 0x641 && c <= 0x64a) || (c >= 0x671 && c <= 0x6d3)) {
            return OTHER_LETTER;
        }
        if (c >= 0x64b && c <= 0x652) {
            return NON_SPACING_MARK;
        }
        if (c >= 0x900 && c < 0xe00) {
            // Indic scripts: letters, with their signs treated as marks.
            int low = c & 0x7f;
            if (low >= 0x05 && low <= 0x39) {
                return OTHER_LETTER;
            }
            return NON_SPACING_MARK;
        }
        if ((c >= 0xe01 && c <= 0xe30) || (c >= 0xe81 && c <= 0xeb0) || (c >= 0xf40 && c <= 0xf69)) {
            return OTHER_LETTER;
        }
        if (c >= 0x10a0 && c <= 0x10c5) {
            return UPPERCASE_LETTER;
        }
        if (c >= 0x10d0 && c <= 0x10f6) {
            return LOWERCASE_LETTER;
        }
        if (c >= 0x1100 && c <= 0x11f9) {
            return OTHER_LETTER;
        }
        if ((c >= 0x1e00 && c <= 0x1e95) || (c >= 0x1ea0 && c <= 0x1ef9)) {
            return alternating(c, true);
        }
        if (c >= 0x1e96 && c <= 0x1e9b) {
            return LOWERCASE_LETTER;
        }
        if (c >= 0x1f00 && c <= 0x1f6f) {
            return (c & 0x8) == 0 ? LOWERCASE_LETTER : UPPERCASE_LETTER;
        }
        if (c >= 0x1f70 && c <= 0x1ffc) {
            return LOWERCASE_LETTER;
        }
        if (c >= 0x2000 && c <= 0x200b) {
            return SPACE_SEPARATOR;
        }
        if (c >= 0x200c && c <= 0x200f) {
            return FORMAT;
        }
        if (c >= 0x2010 && c <= 0x2015) {
            return DASH_PUNCTUATION;
        }
        if (c == 0x2028) {
            return LINE_SEPARATOR;
        }
        if (c == 0x2029) {
            return PARAGRAPH_SEPARATOR;
        }
        if ((c >= 0x202a && c <= 0x202e) || (c >= 0x206a && c <= 0x206f)) {
            return FORMAT;
        }
        if (c >= 0x2016 && c <= 0x2046) {
            return OTHER_PUNCTUATION;
        }
        if (c >= 0x2070 && c <= 0x209f) {
            return OTHER_NUMBER;
        }
        if (c >= 0x20a0 && c <= 0x20af) {
            return CURRENCY_SYMBOL;
        }
        if (c >= 0x20d0 && c <= 0x20e1) {
            return NON_SPACING_MARK;
        }
        if (c >= 0x2100 && c <= 0x215f) {
            return OTHER_SYMBOL;
        }
        if (c >= 0x2160 && c <= 0x2182) {
            return LETTER_NUMBER;
        }
        if (c >= 0x2190 && c <= 0x22ff) {
            return MATH_SYMBOL;
        }
        if (c >= 0x2300 && c <= 0x2bff) {
            return c >= 0x2460 && c <= 0x24ea && c < 0x249c ? OTHER_NUMBER : OTHER_SYMBOL;
        }
        if (c == 0x3000) {
            return SPACE_SEPARATOR;
        }
        if (c >= 0x3001 && c <= 0x3003) {
            return OTHER_PUNCTUATION;
        }
        if (c == 0x3005) {
            return MODIFIER_LETTER;
        }
        if ((c >= 0x3041 && c <= 0x3094) || (c >= 0x30a1 && c <= 0x30fa) || (c >= 0x3105 && c <= 0x312c)
                || (c >= 0x3131 && c <= 0x318e) || (c >= 0x4e00 && c <= 0x9fa5) || (c >= 0xac00 && c <= 0xd7a3)
                || (c >= 0xf900 && c <= 0xfa2d) || (c >= 0xfb1f && c <= 0xfdfb) || (c >= 0xfe70 && c <= 0xfefc)
                || (c >= 0xff66 && c <= 0xffdc)) {
            return OTHER_LETTER;
        }
        if (c >= 0xd800 && c <= 0xdfff) {
            return SURROGATE;
        }
        if (c >= 0xe000 && c <= 0xf8ff) {
            return PRIVATE_USE;
        }
        if ((c >= 0xfb00 && c <= 0xfb06) || (c >= 0xfb13 && c <= 0xfb17)) {
            return LOWERCASE_LETTER;
        }
        if (c == 0xfeff) {
            return FORMAT;
        }
        if (c >= 0xff21 && c <= 0xff3a) {
            return UPPERCASE_LETTER;
        }
        if (c >= 0xff41 && c <= 0xff5a) {
            return LOWERCASE_LETTER;
        }
        return UNASSIGNED;
    }

    // The code of the zero of the decimal digit block that holds c, or -1. Tamil has no zero,
    // so its block starts at one.
    private static int digitBase(int c) {
        if (c >= '0' && c <= '9') {
            return '0';
        }
        if (c < 0x660) {
            return -1;
        }
        if (c >= 0xbe7 && c <= 0xbef) {
            return 0xbe6;
        }
        int[] zeros = DIGIT_ZEROS;
        for (int i = 0; i < zeros.length; i++) {
            int z = zeros[i];
            if (c >= z && c <= z + 9) {
                return z;
            }
        }
        return -1;
    }

    private static final int[] DIGIT_ZEROS = {
        0x660, 0x6f0, 0x966, 0x9e6, 0xa66, 0xae6, 0xb66, 0xc66, 0xce6, 0xd66, 0xe50, 0xed0, 0xf20, 0xff10
    };

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
        int c = ch;
        if (c < 0x80) {
            return c >= 'A' && c <= 'Z' ? (char) (c + 32) : ch;
        }
        if (c < 0x100) {
            return (c >= 0xc0 && c <= 0xde && c != 0xd7) ? (char) (c + 32) : ch;
        }
        if (c == 0x130) {
            return 'i';
        }
        if (c == 0x178) {
            return '\u00ff';
        }
        if (c == 0x1c4 || c == 0x1c7 || c == 0x1ca || c == 0x1f1) {
            return (char) (c + 2);
        }
        if (c == 0x1c5 || c == 0x1c8 || c == 0x1cb || c == 0x1f2) {
            return (char) (c + 1);
        }
        if (getType(ch) != UPPERCASE_LETTER) {
            return ch;
        }
        if (c < 0x250 || (c >= 0x460 && c < 0x500) || (c >= 0x1e00 && c < 0x1f00)) {
            return (char) (c + 1);
        }
        if (c == 0x386) {
            return '\u03ac';
        }
        if (c >= 0x388 && c <= 0x38a) {
            return (char) (c + 37);
        }
        if (c == 0x38c) {
            return '\u03cc';
        }
        if (c == 0x38e || c == 0x38f) {
            return (char) (c + 63);
        }
        if (c >= 0x391 && c <= 0x3ab) {
            return (char) (c + 32);
        }
        if (c >= 0x400 && c < 0x410) {
            return (char) (c + 80);
        }
        if (c >= 0x410 && c < 0x430) {
            return (char) (c + 32);
        }
        if (c >= 0x531 && c <= 0x556) {
            return (char) (c + 48);
        }
        if (c >= 0x10a0 && c <= 0x10c5) {
            return (char) (c + 48);
        }
        if (c >= 0x1f00 && c < 0x1f70) {
            return (char) (c - 8);
        }
        if (c >= 0xff21 && c <= 0xff3a) {
            return (char) (c + 32);
        }
        return ch;
    }

    public static char toUpperCase(char ch) {
        int c = ch;
        if (c < 0x80) {
            return c >= 'a' && c <= 'z' ? (char) (c - 32) : ch;
        }
        if (c < 0x100) {
            if (c >= 0xe0 && c <= 0xfe && c != 0xf7) {
                return (char) (c - 32);
            }
            if (c == 0xff) {
                return '\u0178';
            }
            return c == 0xb5 ? '\u039c' : ch;
        }
        if (c == 0x131) {
            return 'I';
        }
        if (c == 0x17f) {
            return 'S';
        }
        if (c == 0x1c6 || c == 0x1c9 || c == 0x1cc || c == 0x1f3) {
            return (char) (c - 2);
        }
        if (c == 0x1c5 || c == 0x1c8 || c == 0x1cb || c == 0x1f2) {
            return (char) (c - 1);
        }
        if (getType(ch) != LOWERCASE_LETTER) {
            return ch;
        }
        if (c == 0x138 || c == 0x149) {
            return ch;
        }
        if (c < 0x250) {
            return getType((char) (c - 1)) == UPPERCASE_LETTER ? (char) (c - 1) : ch;
        }
        if ((c >= 0x460 && c < 0x500) || (c >= 0x1e00 && c < 0x1e96)) {
            return (char) (c - 1);
        }
        if (c == 0x3ac) {
            return '\u0386';
        }
        if (c >= 0x3ad && c <= 0x3af) {
            return (char) (c - 37);
        }
        if (c == 0x3cc) {
            return '\u038c';
        }
        if (c == 0x3cd || c == 0x3ce) {
            return (char) (c - 63);
        }
        if (c == 0x3c2) {
            return '\u03a3';
        }
        if (c >= 0x3b1 && c <= 0x3cb) {
            return (char) (c - 32);
        }
        if (c >= 0x430 && c < 0x450) {
            return (char) (c - 32);
        }
        if (c >= 0x450 && c < 0x460) {
            return (char) (c - 80);
        }
        if (c >= 0x561 && c <= 0x586) {
            return (char) (c - 48);
        }
        if (c >= 0x1f00 && c < 0x1f70) {
            return (char) (c + 8);
        }
        if (c >= 0xff41 && c <= 0xff5a) {
            return (char) (c - 32);
        }
        return ch;
    }

    public static char toTitleCase(char ch) {
        int c = ch;
        if (c == 0x1c4 || c == 0x1c5 || c == 0x1c6) {
            return '\u01c5';
        }
        if (c == 0x1c7 || c == 0x1c8 || c == 0x1c9) {
            return '\u01c8';
        }
        if (c == 0x1ca || c == 0x1cb || c == 0x1cc) {
            return '\u01cb';
        }
        if (c == 0x1f1 || c == 0x1f2 || c == 0x1f3) {
            return '\u01f2';
        }
        return toUpperCase(ch);
    }

    public static int digit(char ch, int radix) {
        if (radix < MIN_RADIX || radix > MAX_RADIX) {
            return -1;
        }
        int c = ch;
        int v;
        if (c >= 'a' && c <= 'z') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'Z') {
            v = c - 'A' + 10;
        } else if (c >= 0xff21 && c <= 0xff3a) {
            v = c - 0xff21 + 10;
        } else if (c >= 0xff41 && c <= 0xff5a) {
            v = c - 0xff41 + 10;
        } else {
            int base = digitBase(c);
            if (base < 0) {
                return -1;
            }
            v = c - base;
        }
        return v < radix ? v : -1;
    }

    public static int getNumericValue(char ch) {
        int v = digit(ch, MAX_RADIX);
        if (v >= 0) {
            return v;
        }
        int c = ch;
        if (c == 0xb2 || c == 0xb3) {
            return c - 0xb0;
        }
        if (c == 0xb9) {
            return 1;
        }
        if (c >= 0xbc && c <= 0xbe) {
            return -2;
        }
        if (c >= 0x2160 && c <= 0x216b) {
            return c - 0x2160 + 1;
        }
        if (c >= 0x2170 && c <= 0x217b) {
            return c - 0x2170 + 1;
        }
        if (c >= 0x2460 && c <= 0x2473) {
            return c - 0x2460 + 1;
        }
        return -1;
    }

    public static boolean isSpace(char ch) {
        return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\f' || ch == '\r';
    }

    public static boolean isSpaceChar(char ch) {
        int t = getType(ch);
        return t == SPACE_SEPARATOR || t == LINE_SEPARATOR || t == PARAGRAPH_SEPARATOR;
    }

    public static boolean isWhitespace(char ch) {
        if (ch == '\u00a0' || ch == '\u2007' || ch == '\ufeff') {
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
