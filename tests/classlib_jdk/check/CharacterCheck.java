package check;

import java.io.BufferedReader;
import java.io.FileReader;
import java.io.IOException;

/**
 * Character against the Unicode 2.1.8 data file, every one of the 65,536 chars: categories, case
 * mappings and numeric values as the file gives them, and the predicates as the 1.1 API defines
 * them over the category. The file is read here on its own, not through the generator of the
 * library's tables.
 * Usage: CharacterCheck UNICODE_DATA_FILE
 */
public class CharacterCheck {
    static final Checks c = new Checks("CharacterCheck");

    static final String CATEGORIES = "Cn Lu Ll Lt Lm Lo Mn Me Mc Nd Nl No Zs Zl Zp Cc Cf -- Co Cs Pd Ps Pe Pc Po Sm Sc Sk So";

    static String[] category = new String[0x10000];
    static int[] upper = new int[0x10000];
    static int[] lower = new int[0x10000];
    static int[] title = new int[0x10000];
    static String[] decimal = new String[0x10000];
    static String[] numeric = new String[0x10000];

    public static void main(String[] args) throws IOException {
        int assigned = readData(args[0]);
        c.eq(new Integer(47400), new Integer(assigned), "code points Unicode 2.1 assigns below U+10000");
        everyChar();
        examples();
        c.finish();
    }

    static int readData(String path) throws IOException {
        for (int ch = 0; ch < 0x10000; ch++) {
            category[ch] = "Cn";
            upper[ch] = lower[ch] = title[ch] = ch;
            decimal[ch] = numeric[ch] = "";
        }
        int assigned = 0;
        BufferedReader r = new BufferedReader(new FileReader(path));
        int first = -1;
        for (String line; (line = r.readLine()) != null;) {
            String[] f = line.split(";", -1);
            int ch = Integer.parseInt(f[0], 16);
            if (f[1].endsWith(", First>")) {
                first = ch;
                continue;
            }
            int from = f[1].endsWith(", Last>") ? first : ch;
            for (int x = from; x <= ch; x++) {
                assigned++;
                category[x] = f[2];
                upper[x] = f[12].length() > 0 ? Integer.parseInt(f[12], 16) : x;
                lower[x] = f[13].length() > 0 ? Integer.parseInt(f[13], 16) : x;
                // A title-case letter without a title case of its own is its own title case.
                title[x] = f[14].length() > 0 ? Integer.parseInt(f[14], 16) : f[2].equals("Lt") ? x : upper[x];
                decimal[x] = f[6];
                numeric[x] = f[8];
            }
        }
        r.close();
        return assigned;
    }

    static int javaCategory(String cat) {
        if (cat.equals("Pi")) {
            return 21;
        }
        if (cat.equals("Pf")) {
            return 22;
        }
        int i = CATEGORIES.indexOf(cat);
        if (i < 0) {
            throw new IllegalArgumentException(cat);
        }
        return i / 3;
    }

    // The Latin letters, ASCII and full-width, count 10 to 35 as digits.
    static int letterValue(int ch) {
        if (ch >= 'a' && ch <= 'z' || ch >= 0xFF41 && ch <= 0xFF5A) {
            return (ch & 0x1F) + 9;
        }
        if (ch >= 'A' && ch <= 'Z' || ch >= 0xFF21 && ch <= 0xFF3A) {
            return (ch & 0x1F) + 9;
        }
        return -1;
    }

    static void everyChar() {
        for (int ch = 0; ch < 0x10000; ch++) {
            char x = (char) ch;
            int type = javaCategory(category[ch]);
            c.same(type, t.lang.Character.getType(x), "getType", ch);
            c.same(upper[ch], t.lang.Character.toUpperCase(x), "toUpperCase", ch);
            c.same(lower[ch], t.lang.Character.toLowerCase(x), "toLowerCase", ch);
            c.same(title[ch], t.lang.Character.toTitleCase(x), "toTitleCase", ch);
            int value = letterValue(ch);
            if (value < 0 && numeric[ch].length() > 0) {
                value = numeric[ch].indexOf('/') >= 0 ? -2 : Integer.parseInt(numeric[ch]);
            }
            c.same(value, t.lang.Character.getNumericValue(x), "getNumericValue", ch);
            int digit = letterValue(ch);
            if (digit < 0 && type == 9) {
                digit = Integer.parseInt(decimal[ch]);
            }
            for (int radix = 1; radix <= 37; radix++) {
                int expected = radix >= 2 && radix <= 36 && digit < radix ? digit : -1;
                if (t.lang.Character.digit(x, radix) != expected) {
                    c.same(expected, t.lang.Character.digit(x, radix), "digit radix " + radix, ch);
                    break;
                }
            }
            // The predicates of the 1.1 API, each defined over the category.
            boolean letter = type >= 1 && type <= 5;
            boolean ignorable = ch <= 8 || ch >= 0x0E && ch <= 0x1B || ch >= 0x7F && ch <= 0x9F || type == 16;
            boolean space = type == 12 || type == 13 || type == 14;
            boolean start = letter || type == 10 || type == 23 || type == 26;
            boolean part = start || type == 9 || type == 6 || type == 8 || ignorable;
            c.same(type != 0, t.lang.Character.isDefined(x), "isDefined", ch);
            c.same(letter, t.lang.Character.isLetter(x), "isLetter", ch);
            c.same(type == 9, t.lang.Character.isDigit(x), "isDigit", ch);
            c.same(letter || type == 9, t.lang.Character.isLetterOrDigit(x), "isLetterOrDigit", ch);
            c.same(type == 1, t.lang.Character.isUpperCase(x), "isUpperCase", ch);
            c.same(type == 2, t.lang.Character.isLowerCase(x), "isLowerCase", ch);
            c.same(type == 3, t.lang.Character.isTitleCase(x), "isTitleCase", ch);
            c.same(space, t.lang.Character.isSpaceChar(x), "isSpaceChar", ch);
            c.same(space && ch != 0xA0 && ch != 0xFEFF || ch >= 9 && ch <= 0x0D || ch >= 0x1C && ch <= 0x1F,
                    t.lang.Character.isWhitespace(x), "isWhitespace", ch);
            c.same(ignorable, t.lang.Character.isIdentifierIgnorable(x), "isIdentifierIgnorable", ch);
            c.same(start, t.lang.Character.isJavaIdentifierStart(x), "isJavaIdentifierStart", ch);
            c.same(part, t.lang.Character.isJavaIdentifierPart(x), "isJavaIdentifierPart", ch);
            c.same(letter || type == 10, t.lang.Character.isUnicodeIdentifierStart(x), "isUnicodeIdentifierStart", ch);
            c.same(part && type != 26, t.lang.Character.isUnicodeIdentifierPart(x), "isUnicodeIdentifierPart", ch);
            c.same(ch <= 0x1F || ch >= 0x7F && ch <= 0x9F, t.lang.Character.isISOControl(x), "isISOControl", ch);
        }
    }

    // The characters the library got wrong before its tables came from the data files, and those
    // that later releases changed (the library took today's data with a list of exceptions before).
    static void examples() {
        int[][] types = {
            {0x0181, 1}, {0x01A0, 1}, {0x2126, 1}, {0x03DA, 1}, {0x03DB, 0}, {0x0958, 5}, {0x05B0, 6}, {0x0E31, 6},
            {0x3008, 21}, {0x3007, 10}, {0x2B00, 0}, {0x2BFF, 0}, {0x093A, 0}, {0x0A04, 0}, {0x1F58, 0},
            {0x00AB, 21}, {0x00BB, 22}, {0x2018, 21}, {0x2019, 22}, {0xFFFE, 0}, {0xFFFF, 0},
            {0x9FA5, 5}, {0x9FA6, 0}, {0xD7A3, 5}, {0xD7A4, 0}, {0xD800, 19}, {0xE000, 18}, {0x20AC, 26},
            {0x1F88, 1}, {0x1FFC, 1}, {0x2118, 2}, {0x212E, 2}, {0x0B83, 8}, {0x06DD, 7}, {0x01AA, 5}, {0xFEFF, 16},
        };
        for (int i = 0; i < types.length; i++) {
            c.eq(new Integer(types[i][1]), new Integer(t.lang.Character.getType((char) types[i][0])),
                    String.format("example U+%04X getType", types[i][0]));
        }
        int[][] lowers = {{0x0181, 0x0253}, {0x01A0, 0x01A1}, {0x2126, 0x2126}, {0x03DA, 0x03DA}, {0x0130, 0x0069},
                          {0x01C5, 0x01C6}, {0x10A0, 0x10D0}, {0x10C5, 0x10F5}, {0x1FFC, 0x1FF3}};
        for (int i = 0; i < lowers.length; i++) {
            c.eq(new Integer(lowers[i][1]), new Integer(t.lang.Character.toLowerCase((char) lowers[i][0])),
                    String.format("example U+%04X toLowerCase", lowers[i][0]));
        }
        int[][] uppers = {{0x1EA1, 0x1EA0}, {0x1F50, 0x1F50}, {0x00FF, 0x0178}, {0x00B5, 0x00B5}, {0x017F, 0x0053},
                          {0x01C5, 0x01C4}, {0x0180, 0x0180}, {0x03C2, 0x03A3}, {0x03F2, 0x03A3}, {0x10D0, 0x10D0}};
        for (int i = 0; i < uppers.length; i++) {
            c.eq(new Integer(uppers[i][1]), new Integer(t.lang.Character.toUpperCase((char) uppers[i][0])),
                    String.format("example U+%04X toUpperCase", uppers[i][0]));
        }
        c.ok(t.lang.Character.isJavaIdentifierPart('\u05B0') && t.lang.Character.isJavaIdentifierPart('\u0E31'),
                "Hebrew and Thai marks are identifier parts");
        c.ok(t.lang.Character.isJavaIdentifierStart('\u3007'), "U+3007 starts an identifier");
        c.eq(new Integer(0x01C5), new Integer(t.lang.Character.toTitleCase('\u01C5')), "a title-case letter is its own title case");
        c.ok(t.lang.Character.isWhitespace('\u2007') && !t.lang.Character.isWhitespace('\u00A0'), "figure space is white space in this API");
        c.eq(new Integer(1), new Integer(t.lang.Character.getNumericValue('\u09F4')), "Bengali currency numerator one");
        c.ok(!t.lang.Character.isJavaIdentifierPart('\u093A'), "an unassigned Indic slot is no identifier part");
        c.ok(t.lang.Character.isLetter('\u2126') && t.lang.Character.isLetter('\u0958'), "U+2126 and U+0958 are letters");
        c.eq(new Integer(50), new Integer(t.lang.Character.getNumericValue('\u216C')), "Roman numeral fifty");
        c.eq(new Integer(-2), new Integer(t.lang.Character.getNumericValue('\u00BD')), "one half");
        c.eq(new Integer(7), new Integer(t.lang.Character.digit('\u0667', 10)), "Arabic-Indic seven");
        c.eq(new Integer(-1), new Integer(t.lang.Character.digit('\u0BE6', 10)), "Tamil zero came after 2.1");
        c.eq(new Integer(35), new Integer(t.lang.Character.digit('\uFF5A', 36)), "full-width z");
        c.eq(new Integer(-1), new Integer(t.lang.Character.digit('7', 1)), "radix below the range");
        c.eq(new Integer(-1), new Integer(t.lang.Character.digit('7', 37)), "radix above the range");
    }
}
