package check;

import java.util.Random;

/**
 * The readers against the JDK's: the cases that once differed, then random scripts of calls
 * over sources that hand out a few chars at a time, where every result must agree.
 */
public class ReaderCheck {
    static final Checks c = new Checks("ReaderCheck");

    public static void main(String[] args) throws Exception {
        pushbackSkip();
        lineNumbers();
        Random r = new Random(7);
        for (int round = 0; round < 3000; round++) {
            script(r, round % 3);
        }
        c.finish();
    }

    static void pushbackSkip() throws Exception {
        t.io.PushbackReader p = new t.io.PushbackReader(new t.io.StringReader("abc"));
        p.read();
        p.unread('a');
        c.eq(new Long(1), new Long(p.skip(1)), "skip over the pushed-back char");
        c.eq("bc", "" + (char) p.read() + (char) p.read(), "reads after the skip");
        p = new t.io.PushbackReader(new t.io.StringReader("abcdef"), 3);
        p.unread("xyz".toCharArray());
        c.eq(new Long(5), new Long(p.skip(5)), "skip over all pushed back and two more");
        c.eq(new Integer('c'), new Integer(p.read()), "then the third char");
        p.unread("pqr".toCharArray());
        c.eq(new Integer('p'), new Integer(p.read()), "the buffer drained by skip takes chars again");
        final t.io.PushbackReader q = p;
        c.eq("!IllegalArgumentException", Checks.outcome(() -> new Long(q.skip(-1))), "negative skip");
    }

    static void lineNumbers() throws Exception {
        t.io.LineNumberReader a = new t.io.LineNumberReader(new t.io.StringReader("a\r\nb"));
        a.read();
        c.eq(new Integer('\n'), new Integer(a.read()), "'\\r' read as '\\n'");
        char[] buf = new char[10];
        int n = a.read(buf, 0, 10);
        c.eq("\nb", new String(buf, 0, n), "the '\\n' after it goes to an array read");
        c.eq(new Integer(1), new Integer(a.getLineNumber()), "and counts no second line");
        a = new t.io.LineNumberReader(new t.io.StringReader("a\r\nb\r\nc"));
        c.eq(new Long(4), new Long(a.skip(4)), "skip of four chars");
        c.eq(new Integer('\n'), new Integer(a.read()), "skip counts \"\\r\\n\" as two chars");
        c.eq(new Integer(2), new Integer(a.getLineNumber()), "line after the skip");
        a = new t.io.LineNumberReader(new t.io.StringReader("a\rb"));
        a.read(buf, 0, 2);
        c.eq("b", a.readLine(), "readLine after an array read that ended in '\\r'");
        a = new t.io.LineNumberReader(new t.io.StringReader("x\r\ny\n"));
        a.read();
        a.read();
        c.eq("y", a.readLine(), "readLine after read() gave the '\\r'");
        c.eq(new Integer(2), new Integer(a.getLineNumber()), "two lines");
    }

    /** One random script on one kind of reader: 0 pushback, 1 line-number, 2 buffered. */
    static void script(Random r, final int kind) {
        StringBuilder sb = new StringBuilder();
        String alphabet = "ab\r\n\r\nx";
        int n = r.nextInt(25);
        for (int i = 0; i < n; i++) {
            sb.append(alphabet.charAt(r.nextInt(alphabet.length())));
        }
        // Newer JDKs count an unterminated last line at the end; the era's did not.
        String text = kind == 1 ? sb.append('\n').toString() : sb.toString();
        long seed = r.nextLong();
        int size = 1 + r.nextInt(5);
        t.io.Reader a;
        java.io.Reader b;
        if (kind == 0) {
            a = new t.io.PushbackReader(new Source(text, seed), size);
            b = new java.io.PushbackReader(new JdkSource(text, seed), size);
        } else if (kind == 1) {
            a = new t.io.LineNumberReader(new Source(text, seed), size);
            b = new java.io.LineNumberReader(new JdkSource(text, seed), size);
        } else {
            a = new t.io.BufferedReader(new Source(text, seed), size);
            b = new java.io.BufferedReader(new JdkSource(text, seed), size);
        }
        final t.io.Reader fa = a;
        final java.io.Reader fb = b;
        String[] logs = Checks.script(new Random(r.nextLong()), 25, 7, new Checks.Steps() {
            public String name(int op, int n) {
                return new String[] {"read", "read[" + n + "]", "skip" + n, kind == 0 ? "unread" : "readLine", "ready",
                                     "mark" + (n + 1), "reset"}[op];
            }

            public Object run(boolean ours, int op, int n) throws Exception {
                return ours ? step(fa, null, op, n) : step(null, fb, op, n);
            }

            public String state(boolean ours) {
                if (kind != 1) {
                    return "";
                }
                return "#" + (ours ? ((t.io.LineNumberReader) fa).getLineNumber()
                                   : ((java.io.LineNumberReader) fb).getLineNumber());
            }
        });
        c.eq(logs[1], logs[0], a.getClass().getSimpleName() + " over " + Checks.show(text) + " size " + size);
    }

    // Calls op on whichever of the two readers is given.
    static Object step(t.io.Reader a, java.io.Reader b, int op, int n) throws Exception {
        char[] buf = new char[n];
        switch (op) {
            case 0:
                return new Integer(a != null ? a.read() : b.read());
            case 1: {
                int k = a != null ? a.read(buf, 0, n) : b.read(buf, 0, n);
                return k + ":" + (k > 0 ? new String(buf, 0, k) : "");
            }
            case 2:
                return new Long(a != null ? a.skip(n) : b.skip(n));
            case 3:
                if (a instanceof t.io.BufferedReader) {
                    return ((t.io.BufferedReader) a).readLine();
                }
                if (b instanceof java.io.BufferedReader) {
                    return ((java.io.BufferedReader) b).readLine();
                }
                if (a != null) {
                    ((t.io.PushbackReader) a).unread('A' + n);
                } else {
                    ((java.io.PushbackReader) b).unread('A' + n);
                }
                return "u";
            case 4:
                return Boolean.valueOf(a != null ? a.ready() : b.ready());
            case 5:
                if (a != null) {
                    a.mark(n + 1);
                } else {
                    b.mark(n + 1);
                }
                return "m";
            default:
                if (a != null) {
                    a.reset();
                } else {
                    b.reset();
                }
                return "r";
        }
    }

    /** A reader over fixed text that hands out 1 to 4 chars a call. */
    static final class Source extends t.io.Reader {
        final String s;
        final Random r;
        int pos;

        Source(String s, long seed) {
            this.s = s;
            this.r = new Random(seed);
        }

        public int read(char[] b, int off, int len) {
            if (pos >= s.length()) {
                return -1;
            }
            int n = Math.min(len, Math.min(s.length() - pos, 1 + r.nextInt(4)));
            s.getChars(pos, pos + n, b, off);
            pos += n;
            return n;
        }

        public void close() {
        }
    }

    /** The same for the JDK's readers. */
    static final class JdkSource extends java.io.Reader {
        final Source s;

        JdkSource(String text, long seed) {
            this.s = new Source(text, seed);
        }

        public int read(char[] b, int off, int len) {
            return s.read(b, off, len);
        }

        public void close() {
        }
    }
}
