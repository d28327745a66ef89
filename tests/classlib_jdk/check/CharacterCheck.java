package check;

import java.io.BufferedReader;
import java.io.FileReader;
import java.io.IOException;

/**
 * Character against the Unicode data files, every one of the 65,536 chars: categories, case
 * mappings and numeric values of the characters Unicode 2.1 assigns, nothing for the others.
 * The files are read here on their own, not through the generator of the library's tables.
 * Usage: CharacterCheck UNICODE_DIR
 */
public class CharacterCheck {
    static final Checks c = new Checks("CharacterCheck");

    static final String CATEGORIES = "Cn Lu Ll Lt Lm Lo Mn Me Mc Nd Nl No Zs Zl Zp Cc Cf -- Co Cs Pd Ps Pe Pc Po Sm Sc Sk So";

    // The categories the releases of the 1.1-1.3 era gave characters that later releases moved.
    static final Object[][] ERA = {
        {0x00A7, "So"}, {0x00AA, "Ll"}, {0x00AD, "Pd"}, {0x00B6, "So"}, {0x00BA, "Ll"}, {0x0294, "Ll"},
        {0x02B9, "Sk"}, {0x02BA, "Sk"}, {0x02C6, "Sk"}, {0x02C7, "Sk"}, {0x02C8, "Sk"}, {0x02C9, "Sk"},
        {0x02CA, "Sk"}, {0x02CB, "Sk"}, {0x02CC, "Sk"}, {0x02CD, "Sk"}, {0x02CE, "Sk"}, {0x02CF, "Sk"},
        {0x0374, "Sk"}, {0x05BE, "Po"}, {0x06DE, "Me"}, {0x0F14, "So"}, {0x200B, "Zs"}, {0x207F, "Ll"},
        {0x2118, "So"}, {0x2132, "So"}, {0x2308, "Sm"}, {0x2309, "Sm"}, {0x230A, "Sm"}, {0x230B, "Sm"},
        {0x302E, "Mn"}, {0x302F, "Mn"}, {0x30FB, "Pc"}, {0xFD3E, "Ps"}, {0xFD3F, "Pe"}, {0xFF65, "Pc"},
    };

    static boolean[] assigned = new boolean[0x10000];
    static String[] category = new String[0x10000];
    static int[] upper = new int[0x10000];
    static int[] lower = new int[0x10000];
    static int[] title = new int[0x10000];
    static String[] decimal = new String[0x10000];
    static String[] numeric = new String[0x10000];

    public static void main(String[] args) throws IOException {
        readAges(args[0] + "/DerivedAge.txt");
        readData(args[0] + "/UnicodeData.txt");
        for (int i = 0; i < ERA.length; i++) {
            category[((Integer) ERA[i][0]).intValue()] = (String) ERA[i][1];
        }
        everyChar();
        examples();
        predicatesAgreeWithTheJdk();
        c.finish();
    }

    static void readAges(String path) throws IOException {
        BufferedReader r = new BufferedReader(new FileReader(path));
        for (String line; (line = r.readLine()) != null;) {
            int hash = line.indexOf('#');
            if (hash >= 0) {
                line = line.substring(0, hash);
            }
            if (line.trim().length() == 0) {
                continue;
            }
            String[] f = line.split(";");
            String age = f[1].trim();
            if (!(age.equals("1.1") || age.equals("2.0") || age.equals("2.1"))) {
                continue;
            }
            String[] span = f[0].trim().split("\\.\\.");
            int lo = Integer.parseInt(span[0], 16);
            int hi = span.length > 1 ? Integer.parseInt(span[1], 16) : lo;
            for (int ch = lo; ch <= hi && ch <= 0xFFFF; ch++) {
                assigned[ch] = true;
            }
        }
        r.close();
    }

    static void readData(String path) throws IOException {
        for (int ch = 0; ch < 0x10000; ch++) {
            category[ch] = "Cn";
            upper[ch] = lower[ch] = title[ch] = ch;
        }
        BufferedReader r = new BufferedReader(new FileReader(path));
        int first = -1;
        for (String line; (line = r.readLine()) != null;) {
            String[] f = line.split(";", -1);
            int ch = Integer.parseInt(f[0], 16);
            if (ch > 0xFFFF) {
                break;
            }
            if (f[1].endsWith(", First>")) {
                first = ch;
                continue;
            }
            int from = f[1].endsWith(", Last>") ? first : ch;
            for (int x = from; x <= ch; x++) {
                if (!assigned[x]) {
                    continue;
                }
                category[x] = f[2];
                upper[x] = mapped(x, f[12]);
                lower[x] = mapped(x, f[13]);
                title[x] = f[14].length() > 0 ? mapped(x, f[14]) : upper[x];
                decimal[x] = f[6];
                numeric[x] = f[8];
            }
        }
        r.close();
    }

    // A mapping to a character that Unicode 2.1 lacks maps to the character itself.
    static int mapped(int ch, String field) {
        if (field.length() == 0) {
            return ch;
        }
        int to = Integer.parseInt(field, 16);
        return assigned[to] ? to : ch;
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

    // The Latin letters, ASCII and full-width, count 10 to 35 as digits: the JDK knows which.
    static int letterValue(int ch) {
        char x = (char) ch;
        return Character.isLetter(x) ? Character.digit(x, 36) : -1;
    }

    static void everyChar() {
        for (int ch = 0; ch < 0x10000; ch++) {
            char x = (char) ch;
            int type = assigned[ch] ? javaCategory(category[ch]) : 0;
            c.same(type, t.lang.Character.getType(x), "getType", ch);
            c.same(upper[ch], t.lang.Character.toUpperCase(x), "toUpperCase", ch);
            c.same(lower[ch], t.lang.Character.toLowerCase(x), "toLowerCase", ch);
            c.same(title[ch], t.lang.Character.toTitleCase(x), "toTitleCase", ch);
            int value = letterValue(ch);
            if (value < 0 && numeric[ch] != null && numeric[ch].length() > 0) {
                value = numeric[ch].indexOf('/') >= 0 ? -2 : Integer.parseInt(numeric[ch]);
            }
            c.same(value, t.lang.Character.getNumericValue(x), "getNumericValue", ch);
            int digit = letterValue(ch);
            if (digit < 0 && type == 9) {
                digit = Integer.parseInt(decimal[ch]);
            }
            c.same(digit < 10 ? digit : -1, t.lang.Character.digit(x, 10), "digit radix 10", ch);
            c.same(digit, t.lang.Character.digit(x, 36), "digit radix 36", ch);
            c.same(type != 0, t.lang.Character.isDefined(x), "isDefined", ch);
        }
    }

    // The characters the library got wrong before its tables came from the data files.
    static void examples() {
        int[][] types = {
            {0x0181, 1}, {0x01A0, 1}, {0x2126, 1}, {0x03DA, 1}, {0x03DB, 0}, {0x0958, 5}, {0x05B0, 6}, {0x0E31, 6},
            {0x3008, 21}, {0x3007, 10}, {0x2B00, 0}, {0x2BFF, 0}, {0x093A, 0}, {0x0A04, 0}, {0x1F58, 0},
            {0x00AB, 21}, {0x00BB, 22}, {0x2018, 21}, {0x2019, 22}, {0xFFFE, 0}, {0xFFFF, 0},
            {0x9FA5, 5}, {0x9FA6, 0}, {0xD7A3, 5}, {0xD7A4, 0}, {0xD800, 19}, {0xE000, 18}, {0x20AC, 26},
        };
        for (int i = 0; i < types.length; i++) {
            c.eq(new Integer(types[i][1]), new Integer(t.lang.Character.getType((char) types[i][0])),
                    String.format("example U+%04X getType", types[i][0]));
        }
        int[][] lowers = {{0x0181, 0x0253}, {0x01A0, 0x01A1}, {0x2126, 0x03C9}, {0x03DA, 0x03DA}, {0x0130, 0x0069},
                          {0x01C5, 0x01C6}};
        for (int i = 0; i < lowers.length; i++) {
            c.eq(new Integer(lowers[i][1]), new Integer(t.lang.Character.toLowerCase((char) lowers[i][0])),
                    String.format("example U+%04X toLowerCase", lowers[i][0]));
        }
        int[][] uppers = {{0x1EA1, 0x1EA0}, {0x1F50, 0x1F50}, {0x00FF, 0x0178}, {0x00B5, 0x039C}, {0x017F, 0x0053},
                          {0x01C5, 0x01C4}, {0x0180, 0x0180}, {0x03C2, 0x03A3}};
        for (int i = 0; i < uppers.length; i++) {
            c.eq(new Integer(uppers[i][1]), new Integer(t.lang.Character.toUpperCase((char) uppers[i][0])),
                    String.format("example U+%04X toUpperCase", uppers[i][0]));
        }
        c.ok(t.lang.Character.isJavaIdentifierPart('\u05B0') && t.lang.Character.isJavaIdentifierPart('\u0E31'),
                "Hebrew and Thai marks are identifier parts");
        c.ok(t.lang.Character.isJavaIdentifierStart('\u3007'), "U+3007 starts an identifier");
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

    // The predicates derive from the category as the JDK's do: where the two agree on a
    // character's category, they must agree on the predicates too.
    static void predicatesAgreeWithTheJdk() {
        for (int ch = 0; ch < 0x10000; ch++) {
            char x = (char) ch;
            if (t.lang.Character.getType(x) != Character.getType(x)) {
                continue;
            }
            c.same(Character.isLetter(x), t.lang.Character.isLetter(x), "isLetter", ch);
            c.same(Character.isDigit(x), t.lang.Character.isDigit(x), "isDigit", ch);
            c.same(Character.isLetterOrDigit(x), t.lang.Character.isLetterOrDigit(x), "isLetterOrDigit", ch);
            c.same(Character.isTitleCase(x), t.lang.Character.isTitleCase(x), "isTitleCase", ch);
            c.same(Character.isSpaceChar(x), t.lang.Character.isSpaceChar(x), "isSpaceChar", ch);
            c.same(Character.isWhitespace(x), t.lang.Character.isWhitespace(x), "isWhitespace", ch);
            c.same(Character.isJavaIdentifierStart(x), t.lang.Character.isJavaIdentifierStart(x),
                    "isJavaIdentifierStart", ch);
            c.same(Character.isJavaIdentifierPart(x), t.lang.Character.isJavaIdentifierPart(x),
                    "isJavaIdentifierPart", ch);
            c.same(Character.isIdentifierIgnorable(x), t.lang.Character.isIdentifierIgnorable(x),
                    "isIdentifierIgnorable", ch);
            c.same(Character.isISOControl(x), t.lang.Character.isISOControl(x), "isISOControl", ch);
        }
    }
}
