package check;

import java.util.Random;

/**
 * Byte streams and writers against the JDK's: the cases that once differed, then random
 * scripts of calls over sources that hand out a few bytes at a time.
 */
public class StreamCheck {
    static final Checks c = new Checks("StreamCheck");

    public static void main(String[] args) throws Exception {
        pushbackMark();
        bufferedWriter();
        Random r = new Random(11);
        for (int round = 0; round < 3000; round++) {
            script(r, round % 2 == 0);
        }
        tokenizer(r);
        c.finish();
    }

    static void pushbackMark() throws Exception {
        final t.io.PushbackInputStream p = new t.io.PushbackInputStream(new t.io.ByteArrayInputStream("abc".getBytes()));
        p.read();
        p.mark(10);
        p.read();
        p.unread('Z');
        c.ok(!p.markSupported(), "no mark on a pushback stream");
        c.eq("!IOException", Checks.outcome(() -> { p.reset(); return "r"; }), "reset throws");
        c.eq("Zc", "" + (char) p.read() + (char) p.read(), "the inner stream was not reset");
    }

    static void bufferedWriter() throws Exception {
        t.io.CharArrayWriter sink = new t.io.CharArrayWriter();
        t.io.BufferedWriter w = new t.io.BufferedWriter(sink, 4);
        w.write("abc", 1, -1);
        w.write("abcdefgh", 2, 5);
        w.write("xyz", 5, 0);
        w.flush();
        c.eq("cdefg", sink.toString(), "negative and zero lengths write nothing");
        final t.io.BufferedWriter fw = w;
        c.eq("!StringIndexOutOfBoundsException", Checks.outcome(() -> { fw.write("abc", 2, 2); return "w"; }),
                "a length past the end");
    }

    // The tokens of text by the library's tokenizer, or by the JDK's: the two have the same
    // methods and fields, which are called by name.
    static String tokens(boolean jdk, String text, int config) throws Exception {
        Object st = jdk ? (Object) new java.io.StreamTokenizer(new java.io.StringReader(text))
                        : (Object) new t.io.StreamTokenizer(new t.io.StringReader(text));
        String[] switches = {"eolIsSignificant", "slashSlashComments", "slashStarComments", "lowerCaseMode"};
        for (int k = 0; k < switches.length; k++) {
            st.getClass().getMethod(switches[k], boolean.class).invoke(st, Boolean.valueOf((config & (1 << k)) != 0));
        }
        java.lang.reflect.Method ordinary = st.getClass().getMethod("ordinaryChar", int.class);
        if ((config & 16) != 0) {
            ordinary.invoke(st, new Integer('/'));
        }
        if ((config & 32) != 0) {
            ordinary.invoke(st, new Integer('-'));
            st.getClass().getMethod("quoteChar", int.class).invoke(st, new Integer('|'));
        }
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < 40; i++) {
            int type = ((Integer) st.getClass().getMethod("nextToken").invoke(st)).intValue();
            b.append(type).append(':').append(Checks.show(st.getClass().getField("sval").get(st))).append(':')
                    .append(st.getClass().getField("nval").get(st)).append('@')
                    .append(st.getClass().getMethod("lineno").invoke(st)).append(' ');
            if (i == 2) {
                st.getClass().getMethod("pushBack").invoke(st);
            }
            if (type == -1) {
                break;
            }
        }
        return b.toString();
    }

    // Where the historical tokenizer slipped the library reads as written (see StreamTokenizer);
    // everywhere else the two agree.
    static void tokenizer(Random r) throws Exception {
        c.eq("-3:\"x\":0.0@2 -1:null:0.0@2 ", tokens(false, "/\nx", 2), "'/' as a comment char ends at the line end");
        c.eq("-3:\"x\":0.0@4 -1:null:0.0@4 ", tokens(false, "/*\n\n\n*/x", 4), "every line end in a C comment counts");
        c.eq("34:\"ab\":0.0@1 -1:null:0.0@1 ", tokens(false, "\"ab\\", 0), "a string cut after a backslash");
        String alphabet = "ab1.-\"'|/*\\ \t\n\r#x9e";
        for (int round = 0; round < 1500; round++) {
            int config = r.nextInt(64);
            if ((config & 6) != 0) {
                config |= 16;  // '/' no comment char while C or C++ comments are on
            }
            StringBuilder text = new StringBuilder();
            int n = r.nextInt(20);
            for (int i = 0; i < n; i++) {
                char ch = alphabet.charAt(r.nextInt(alphabet.length()));
                if ((config & 4) != 0 && (ch == '\n' || ch == '\r')) {
                    ch = ' ';  // no runs of line ends inside C comments
                }
                text.append(ch);
            }
            text.append('\n');  // no string cut by the end of the stream
            String s = text.toString();
            c.eq(tokens(true, s, config), tokens(false, s, config), "tokens of " + Checks.show(s) + " config " + config);
        }
    }

    /** One random script on a pushback or a buffered input stream, with the JDK's beside it. */
    static void script(Random r, boolean pushback) {
        byte[] data = new byte[r.nextInt(30)];
        r.nextBytes(data);
        long seed = r.nextLong();
        int size = 1 + r.nextInt(6);
        t.io.InputStream a;
        java.io.InputStream b;
        if (pushback) {
            a = new t.io.PushbackInputStream(new Source(data, seed), size);
            b = new java.io.PushbackInputStream(new JdkSource(data, seed), size);
        } else {
            a = new t.io.BufferedInputStream(new Source(data, seed), size);
            b = new java.io.BufferedInputStream(new JdkSource(data, seed), size);
        }
        final t.io.InputStream fa = a;
        final java.io.InputStream fb = b;
        String[] logs = Checks.script(new Random(r.nextLong()), 25, pushback ? 7 : 6, new Checks.Steps() {
            public String name(int op, int n) {
                return new String[] {"read", "read[" + n + "]", "skip" + (n - 1), "mark" + n, "reset", "available",
                                     "unread" + n}[op];
            }

            public Object run(boolean ours, int op, int n) throws Exception {
                return ours ? step(fa, null, op, n) : step(null, fb, op, n);
            }

            public String state(boolean ours) {
                return "";
            }
        });
        c.eq(logs[1], logs[0], a.getClass().getSimpleName() + " size " + size);
    }

    // Calls op on whichever of the two streams is given.
    static Object step(t.io.InputStream a, java.io.InputStream b, int op, int n) throws Exception {
        byte[] buf = new byte[n];
        switch (op) {
            case 0:
                return new Integer(a != null ? a.read() : b.read());
            case 1: {
                int k = a != null ? a.read(buf, 0, n) : b.read(buf, 0, n);
                return k + ":" + (k > 0 ? Checks.hex(java.util.Arrays.copyOf(buf, k)) : "");
            }
            case 2:
                return new Long(a != null ? a.skip(n - 1) : b.skip(n - 1));
            case 3:
                if (a != null) {
                    a.mark(n);
                } else {
                    b.mark(n);
                }
                return "m";
            case 4:
                if (a != null) {
                    a.reset();
                } else {
                    b.reset();
                }
                return "r";
            case 5:
                return new Integer(a != null ? a.available() : b.available());
            default:
                if (a != null) {
                    ((t.io.PushbackInputStream) a).unread(n * 37);
                } else {
                    ((java.io.PushbackInputStream) b).unread(n * 37);
                }
                return "u";
        }
    }

    /** An input stream over fixed bytes that hands out 1 to 4 bytes a call. */
    static final class Source extends t.io.InputStream {
        final byte[] bytes;
        final Random r;
        int pos;

        Source(byte[] bytes, long seed) {
            this.bytes = bytes;
            this.r = new Random(seed);
        }

        public int read() {
            return pos < bytes.length ? bytes[pos++] & 0xff : -1;
        }

        public int read(byte[] b, int off, int len) {
            if (len == 0) {
                return 0;
            }
            if (pos >= bytes.length) {
                return -1;
            }
            int n = Math.min(len, Math.min(bytes.length - pos, 1 + r.nextInt(4)));
            System.arraycopy(bytes, pos, b, off, n);
            pos += n;
            return n;
        }

        public int available() {
            return bytes.length - pos;
        }

        public long skip(long n) {
            long k = Math.max(0, Math.min(n, Math.min(bytes.length - pos, 1 + r.nextInt(3))));
            pos += (int) k;
            return k;
        }
    }

    /** The same for the JDK's streams. */
    static final class JdkSource extends java.io.InputStream {
        final Source s;

        JdkSource(byte[] bytes, long seed) {
            this.s = new Source(bytes, seed);
        }

        public int read() {
            return s.read();
        }

        public int read(byte[] b, int off, int len) {
            return s.read(b, off, len);
        }

        public int available() {
            return s.available();
        }

        public long skip(long n) {
            return s.skip(n);
        }
    }
}
