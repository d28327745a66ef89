package java.io;

/**
 * Splits a character stream into tokens: words, numbers, quoted strings and
 * single ordinary characters, skipping white space and comments. Each char
 * from 0 to 255 has a class set by the syntax methods; chars above 255 are
 * word chars.
 *
 * The default syntax: 'a'-'z', 'A'-'Z' and 160-255 are word chars, 0 to ' '
 * is white space, '/' starts a comment, '"' and '\'' quote strings, and
 * numbers are parsed.
 *
 * Three inputs are read as written where the historical tokenizer slipped,
 * and a program may see the difference:
 * - With C or C++ comments on and '/' still a comment char, a '/' followed by
 *   neither '/' nor '*' ends its comment at the line end; the historical one
 *   went on over the next line too.
 * - Inside a C comment each line end counts one line; the historical one
 *   missed every other line end of a run.
 * - A quoted string cut off by the end of the stream after a backslash ends
 *   there; the historical one appended the char 0xFFFF.
 */
public class StreamTokenizer {
    private static final byte CT_WHITESPACE = 1;
    private static final byte CT_DIGIT = 2;
    private static final byte CT_ALPHA = 4;
    private static final byte CT_QUOTE = 8;
    private static final byte CT_COMMENT = 16;

    /** ttype at the end of the stream. */
    public static final int TT_EOF = -1;

    /** ttype at the end of a line, when line ends are significant. */
    public static final int TT_EOL = '\n';

    /** ttype of a number; its value is in nval. */
    public static final int TT_NUMBER = -2;

    /** ttype of a word; its text is in sval. */
    public static final int TT_WORD = -3;

    /** ttype before the first token. */
    private static final int TT_NOTHING = -4;

    /** What scan returns after skipping a comment. */
    private static final int AGAIN = Integer.MIN_VALUE;

    /** No char is waiting to be looked at. */
    private static final int NEED_CHAR = Integer.MAX_VALUE;

    /** The last char read was a '\r': a '\n' right after it ends no further line. */
    private static final int SKIP_LF = Integer.MAX_VALUE - 1;

    /**
     * The type of the last token: TT_WORD, TT_NUMBER, TT_EOL, TT_EOF, the
     * quote char of a quoted string, or the char of an ordinary char token.
     */
    public int ttype = TT_NOTHING;

    /** Text of a word token or of a quoted string. */
    public String sval;

    /** Value of a number token. */
    public double nval;

    private Reader reader;
    private InputStream input;
    private char[] buf = new char[20];
    private int peekc = NEED_CHAR;
    private boolean pushedBack;
    private boolean forceLower;
    private int lineno = 1;
    private boolean eolIsSignificant;
    private boolean slashSlash;
    private boolean slashStar;
    private byte[] ctype = new byte[256];

    private StreamTokenizer() {
        wordChars('a', 'z');
        wordChars('A', 'Z');
        wordChars(128 + 32, 255);
        whitespaceChars(0, ' ');
        commentChar('/');
        quoteChar('"');
        quoteChar('\'');
        parseNumbers();
    }

    /** Tokenizes the bytes of is, each taken as one char. */
    public StreamTokenizer(InputStream is) {
        this();
        if (is == null) {
            throw new NullPointerException();
        }
        input = is;
    }

    public StreamTokenizer(Reader r) {
        this();
        if (r == null) {
            throw new NullPointerException();
        }
        reader = r;
    }

    /** Makes every char ordinary. */
    public void resetSyntax() {
        for (int i = ctype.length; --i >= 0;) {
            ctype[i] = 0;
        }
    }

    private int clampLow(int low) {
        return low < 0 ? 0 : low;
    }

    private int clampHigh(int hi) {
        return hi >= ctype.length ? ctype.length - 1 : hi;
    }

    /** Chars low to hi also become word chars. */
    public void wordChars(int low, int hi) {
        low = clampLow(low);
        hi = clampHigh(hi);
        while (low <= hi) {
            ctype[low++] |= CT_ALPHA;
        }
    }

    /** Chars low to hi become white space, and nothing else. */
    public void whitespaceChars(int low, int hi) {
        low = clampLow(low);
        hi = clampHigh(hi);
        while (low <= hi) {
            ctype[low++] = CT_WHITESPACE;
        }
    }

    /** Chars low to hi become ordinary. */
    public void ordinaryChars(int low, int hi) {
        low = clampLow(low);
        hi = clampHigh(hi);
        while (low <= hi) {
            ctype[low++] = 0;
        }
    }

    public void ordinaryChar(int ch) {
        if (ch >= 0 && ch < ctype.length) {
            ctype[ch] = 0;
        }
    }

    /** ch starts a comment that runs to the end of the line. */
    public void commentChar(int ch) {
        if (ch >= 0 && ch < ctype.length) {
            ctype[ch] = CT_COMMENT;
        }
    }

    /** ch starts and ends a quoted string. */
    public void quoteChar(int ch) {
        if (ch >= 0 && ch < ctype.length) {
            ctype[ch] = CT_QUOTE;
        }
    }

    /** Digits, '.' and '-' make up numbers. */
    public void parseNumbers() {
        for (int i = '0'; i <= '9'; i++) {
            ctype[i] |= CT_DIGIT;
        }
        ctype['.'] |= CT_DIGIT;
        ctype['-'] |= CT_DIGIT;
    }

    /** With flag set, line ends are returned as TT_EOL tokens. */
    public void eolIsSignificant(boolean flag) {
        eolIsSignificant = flag;
    }

    public void slashStarComments(boolean flag) {
        slashStar = flag;
    }

    public void slashSlashComments(boolean flag) {
        slashSlash = flag;
    }

    /** With fl set, words are handed out in lower case. */
    public void lowerCaseMode(boolean fl) {
        forceLower = fl;
    }

    private int read() throws IOException {
        if (reader != null) {
            return reader.read();
        }
        return input.read();
    }

    private byte classOf(int c) {
        return c < 256 ? ctype[c] : CT_ALPHA;
    }

    private void put(int at, int c) {
        if (at >= buf.length) {
            char[] bigger = new char[buf.length * 2];
            System.arraycopy(buf, 0, bigger, 0, buf.length);
            buf = bigger;
        }
        buf[at] = (char) c;
    }

    /** Reads the next token into ttype and sval or nval, and returns ttype. */
    public int nextToken() throws IOException {
        if (pushedBack) {
            pushedBack = false;
            return ttype;
        }
        sval = null;
        int t;
        do {
            t = scan();
        } while (t == AGAIN);
        ttype = t;
        return t;
    }

    /**
     * Reads one token and returns its type, or AGAIN after a comment, which
     * yields no token. Comments loop here rather than recurse, so that a long
     * run of comment lines costs no stack.
     */
    private int scan() throws IOException {
        int c = peekc;
        if (c < 0) {
            c = NEED_CHAR;
        }
        if (c == SKIP_LF) {
            c = read();
            if (c < 0) {
                return ttype = TT_EOF;
            }
            if (c == '\n') {
                c = NEED_CHAR;
            }
        }
        if (c == NEED_CHAR) {
            c = read();
            if (c < 0) {
                return ttype = TT_EOF;
            }
        }
        ttype = c;
        peekc = NEED_CHAR;

        byte ct = classOf(c);
        while ((ct & CT_WHITESPACE) != 0) {
            if (c == '\r') {
                lineno++;
                if (eolIsSignificant) {
                    peekc = SKIP_LF;
                    return ttype = TT_EOL;
                }
                c = read();
                if (c == '\n') {
                    c = read();
                }
            } else {
                if (c == '\n') {
                    lineno++;
                    if (eolIsSignificant) {
                        return ttype = TT_EOL;
                    }
                }
                c = read();
            }
            if (c < 0) {
                return ttype = TT_EOF;
            }
            ct = classOf(c);
        }

        if ((ct & CT_DIGIT) != 0) {
            boolean neg = false;
            if (c == '-') {
                c = read();
                if (c != '.' && (c < '0' || c > '9')) {
                    peekc = c;
                    return ttype = '-';
                }
                neg = true;
            }
            double v = 0;
            int decexp = 0;
            int seendot = 0;
            while (true) {
                if (c == '.' && seendot == 0) {
                    seendot = 1;
                } else if ('0' <= c && c <= '9') {
                    v = v * 10 + (c - '0');
                    decexp += seendot;
                } else {
                    break;
                }
                c = read();
            }
            peekc = c;
            if (decexp != 0) {
                double denom = 10;
                decexp--;
                while (decexp > 0) {
                    denom *= 10;
                    decexp--;
                }
                v = v / denom;
            }
            nval = neg ? -v : v;
            return ttype = TT_NUMBER;
        }

        if ((ct & CT_ALPHA) != 0) {
            int i = 0;
            do {
                put(i++, c);
                c = read();
                ct = c < 0 ? CT_WHITESPACE : classOf(c);
            } while ((ct & (CT_ALPHA | CT_DIGIT)) != 0);
            peekc = c;
            sval = String.copyValueOf(buf, 0, i);
            if (forceLower) {
                sval = sval.toLowerCase();
            }
            return ttype = TT_WORD;
        }

        if ((ct & CT_QUOTE) != 0) {
            ttype = c;
            int i = 0;
            int d = read();
            while (d >= 0 && d != ttype && d != '\n' && d != '\r') {
                if (d == '\\') {
                    c = read();
                    int first = c;
                    if (c >= '0' && c <= '7') {
                        c = c - '0';
                        int c2 = read();
                        if ('0' <= c2 && c2 <= '7') {
                            c = (c << 3) + (c2 - '0');
                            c2 = read();
                            if ('0' <= c2 && c2 <= '7' && first <= '3') {
                                c = (c << 3) + (c2 - '0');
                                d = read();
                            } else {
                                d = c2;
                            }
                        } else {
                            d = c2;
                        }
                    } else {
                        switch (c) {
                            case 'a':
                                c = 0x7;
                                break;
                            case 'b':
                                c = '\b';
                                break;
                            case 'f':
                                c = 0xC;
                                break;
                            case 'n':
                                c = '\n';
                                break;
                            case 'r':
                                c = '\r';
                                break;
                            case 't':
                                c = '\t';
                                break;
                            case 'v':
                                c = 0xB;
                                break;
                            default:
                                break;
                        }
                        d = read();
                    }
                    if (c < 0) {
                        break;
                    }
                } else {
                    c = d;
                    d = read();
                }
                put(i++, c);
            }
            // The closing quote is consumed; a line end or EOF is looked at again.
            peekc = d == ttype ? NEED_CHAR : d;
            sval = String.copyValueOf(buf, 0, i);
            return ttype;
        }

        if (c == '/' && (slashSlash || slashStar)) {
            c = read();
            if (c == '*' && slashStar) {
                int prev = 0;
                while (true) {
                    c = read();
                    if (c < 0) {
                        return TT_EOF;
                    }
                    if (c == '/' && prev == '*') {
                        break;
                    }
                    if (c == '\r' || (c == '\n' && prev != '\r')) {
                        lineno++;
                    }
                    prev = c;
                }
                return AGAIN;
            } else if (c == '/' && slashSlash) {
                while ((c = read()) != '\n' && c != '\r' && c >= 0) {
                }
                peekc = c;
                return AGAIN;
            } else {
                if ((ctype['/'] & CT_COMMENT) != 0) {
                    while (c != '\n' && c != '\r' && c >= 0) {
                        c = read();
                    }
                    peekc = c;
                    return AGAIN;
                }
                peekc = c;
                return ttype = '/';
            }
        }

        if ((ct & CT_COMMENT) != 0) {
            while ((c = read()) != '\n' && c != '\r' && c >= 0) {
            }
            peekc = c;
            return AGAIN;
        }

        return ttype = c;
    }

    /** Makes the next nextToken return the present token again. */
    public void pushBack() {
        if (ttype != TT_NOTHING) {
            pushedBack = true;
        }
    }

    /** The number of the line being read, from 1. */
    public int lineno() {
        return lineno;
    }

    public String toString() {
        String ret;
        switch (ttype) {
            case TT_EOF:
                ret = "EOF";
                break;
            case TT_EOL:
                ret = "EOL";
                break;
            case TT_WORD:
                ret = sval;
                break;
            case TT_NUMBER:
                ret = "n=" + nval;
                break;
            case TT_NOTHING:
                ret = "NOTHING";
                break;
            default:
                if (ttype < 256 && (ctype[ttype] & CT_QUOTE) != 0) {
                    ret = sval;
                } else {
                    char[] s = new char[3];
                    s[0] = '\'';
                    s[1] = (char) ttype;
                    s[2] = '\'';
                    ret = new String(s);
                }
                break;
        }
        return "Token[" + ret + "], line " + lineno;
    }
}
