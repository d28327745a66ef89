package check;

import java.util.Random;

/**
 * One codec: String conversions (t.lang.Codecs stands for them) and the readers and writers
 * agree byte for byte, on fixed vectors and on random text fed through the streams in random
 * pieces; well-formed UTF-8 reads and writes as the JDK does.
 */
public class CodecCheck {
    static final Checks c = new Checks("CodecCheck");
    static final String[] ENCODINGS = {"UTF8", "8859_1", "ASCII"};

    public static void main(String[] args) throws Exception {
        vectors();
        names();
        Random r = new Random(25);
        for (int round = 0; round < 3000; round++) {
            String text = randomText(r, r.nextInt(40));
            String enc = ENCODINGS[round % 3];
            byte[] viaString = t.lang.Codecs.bytes(text, enc);
            c.eq(Checks.hex(viaString), Checks.hex(written(text, enc, r)), "writer vs String, " + enc + " " + Checks.show(text));
            if (enc.equals("UTF8")) {
                c.eq(Checks.hex(text.getBytes("UTF-8")), Checks.hex(viaString), "UTF-8 as the JDK writes " + Checks.show(text));
            } else if (!hasSurrogate(text)) {
                c.eq(Checks.hex(text.getBytes(enc.equals("ASCII") ? "US-ASCII" : "ISO-8859-1")), Checks.hex(viaString),
                        enc + " as the JDK writes " + Checks.show(text));
            }
            byte[] bytes = round % 2 == 0 ? viaString : randomBytes(r, r.nextInt(30));
            String decoded = t.lang.Codecs.chars(bytes, 0, bytes.length, enc);
            c.eq(decoded, read(bytes, enc, r), "reader vs String, " + enc + " " + Checks.hex(bytes));
            if (round % 2 == 0 && !hasLoneSurrogate(text) && (enc.equals("UTF8") || !hasBeyond(text, enc))) {
                c.eq(text, decoded, "round trip " + enc);
            }
        }
        c.finish();
    }

    // The examples where the two codecs of the library disagreed.
    static void vectors() throws Exception {
        Random r = new Random(1);
        c.eq("f0b49cbb", Checks.hex(t.lang.Codecs.bytes("\uD891\uDF3B", "UTF8")), "pair as one four-byte sequence");
        c.eq("f0b49cbb", Checks.hex(written("\uD891\uDF3B", "UTF8", r)), "pair through the writer");
        byte[] four = {(byte) 0xf0, (byte) 0x9b, (byte) 0x97, (byte) 0xb8};
        c.eq("\uD82D\uDDF8", t.lang.Codecs.chars(four, 0, 4, "UTF8"), "four bytes as a pair");
        c.eq("\uD82D\uDDF8", read(four, "UTF8", r), "four bytes through the reader");
        c.eq("3f", Checks.hex(t.lang.Codecs.bytes("\uDEDD", "UTF8")), "lone low surrogate");
        c.eq("613f62", Checks.hex(t.lang.Codecs.bytes("a\uD800b", "UTF8")), "lone high surrogate");
        byte[] high = {(byte) 0xfc};
        c.eq("\uFFFD", t.lang.Codecs.chars(high, 0, 1, "ASCII"), "ASCII above 0x7F");
        c.eq("\uFFFD", read(high, "ASCII", r), "ASCII above 0x7F through the reader");
        byte[] nul = {(byte) 0xc0, (byte) 0x80, 'x'};
        c.eq("\u0000x", t.lang.Codecs.chars(nul, 0, 3, "UTF8"), "two-byte NUL");
        byte[] cut = {'a', (byte) 0xe2, (byte) 0x82};
        c.eq("a\uFFFD", t.lang.Codecs.chars(cut, 0, 3, "UTF8"), "sequence cut by the end");
        c.eq("a\uFFFD", read(cut, "UTF8", r), "sequence cut by the end of the stream");
        byte[] beyond = {(byte) 0xf4, (byte) 0x90, (byte) 0x80, (byte) 0x80};
        c.eq("\uFFFD", t.lang.Codecs.chars(beyond, 0, 4, "UTF8"), "above U+10FFFF");
        // A high surrogate that ends one write waits for its partner in the next.
        java.io.ByteArrayOutputStream sink = new java.io.ByteArrayOutputStream();
        t.io.OutputStreamWriter w = new t.io.OutputStreamWriter(new Sink(sink), "UTF8");
        w.write("x\uD891");
        w.write("\uDF3By\uD800");
        w.close();
        c.eq("78f0b49cbb793f", Checks.hex(sink.toByteArray()), "pair split over two writes, lone high at close");
    }

    static void names() throws Exception {
        String[][] names = {{"UTF-8", "UTF8"}, {"utf8", "UTF8"}, {"ISO-8859-1", "8859_1"}, {"latin1", "8859_1"},
                            {"US-ASCII", "ASCII"}, {"646", "ASCII"}};
        for (int i = 0; i < names.length; i++) {
            t.io.InputStreamReader in = new t.io.InputStreamReader(new t.io.ByteArrayInputStream(new byte[0]), names[i][0]);
            c.eq(names[i][1], in.getEncoding(), "reader encoding for " + names[i][0]);
            t.io.OutputStreamWriter out = new t.io.OutputStreamWriter(new Sink(new java.io.ByteArrayOutputStream()), names[i][0]);
            c.eq(names[i][1], out.getEncoding(), "writer encoding for " + names[i][0]);
        }
        c.eq("!UnsupportedEncodingException", Checks.outcome(() -> new t.io.InputStreamReader(
                new t.io.ByteArrayInputStream(new byte[0]), "EBCDIC")), "unknown encoding");
        c.eq("!NullPointerException", Checks.outcome(() -> new t.io.OutputStreamWriter(
                new Sink(new java.io.ByteArrayOutputStream()), (String) null)), "null encoding");
    }

    static String randomText(Random r, int n) {
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < n; i++) {
            switch (r.nextInt(6)) {
                case 0:
                    b.append((char) (0x20 + r.nextInt(0x60)));
                    break;
                case 1:
                    b.append((char) (0x80 + r.nextInt(0x780)));
                    break;
                case 2:
                    b.append((char) (0x800 + r.nextInt(0xd000)));
                    break;
                case 3:
                    b.append((char) (0xd800 + r.nextInt(0x400))).append((char) (0xdc00 + r.nextInt(0x400)));
                    break;
                case 4:
                    b.append((char) (0xd800 + r.nextInt(0x800)));  // lone
                    break;
                default:
                    b.append((char) (0xe000 + r.nextInt(0x2000)));
                    break;
            }
        }
        return b.toString();
    }

    static byte[] randomBytes(Random r, int n) {
        byte[] b = new byte[n];
        for (int i = 0; i < n; i++) {
            // Mostly lead and continuation bytes, so that sequences form and break.
            int k = r.nextInt(8);
            b[i] = (byte) (k < 2 ? r.nextInt(0x80) : k < 5 ? 0x80 + r.nextInt(0x40) : 0xc0 + r.nextInt(0x40));
        }
        return b;
    }

    static boolean hasSurrogate(String s) {
        for (int i = 0; i < s.length(); i++) {
            if (s.charAt(i) >= 0xd800 && s.charAt(i) <= 0xdfff) {
                return true;
            }
        }
        return false;
    }

    static boolean hasLoneSurrogate(String s) {
        for (int i = 0; i < s.length(); i++) {
            char ch = s.charAt(i);
            if (ch >= 0xd800 && ch <= 0xdbff && i + 1 < s.length() && s.charAt(i + 1) >= 0xdc00 && s.charAt(i + 1) <= 0xdfff) {
                i++;
            } else if (ch >= 0xd800 && ch <= 0xdfff) {
                return true;
            }
        }
        return false;
    }

    static boolean hasBeyond(String s, String enc) {
        int limit = enc.equals("ASCII") ? 0x7f : 0xff;
        for (int i = 0; i < s.length(); i++) {
            if (s.charAt(i) > limit) {
                return true;
            }
        }
        return false;
    }

    /** The bytes an OutputStreamWriter writes for text handed over in random pieces. */
    static byte[] written(String text, String enc, Random r) throws Exception {
        java.io.ByteArrayOutputStream sink = new java.io.ByteArrayOutputStream();
        t.io.OutputStreamWriter w = new t.io.OutputStreamWriter(new Sink(sink), enc);
        int i = 0;
        while (i < text.length()) {
            int n = Math.min(text.length() - i, 1 + r.nextInt(5));
            if (r.nextBoolean()) {
                w.write(text.toCharArray(), i, n);
            } else {
                w.write(text, i, n);
            }
            i += n;
        }
        w.close();
        return sink.toByteArray();
    }

    /** What an InputStreamReader reads from a stream that hands out 1 to 4 bytes at a time. */
    static String read(byte[] bytes, String enc, Random r) throws Exception {
        t.io.InputStreamReader in = new t.io.InputStreamReader(new StreamCheck.Source(bytes, r.nextLong()), enc);
        StringBuilder b = new StringBuilder();
        char[] buf = new char[3];
        while (true) {
            if (r.nextBoolean()) {
                int ch = in.read();
                if (ch < 0) {
                    break;
                }
                b.append((char) ch);
            } else {
                int k = in.read(buf, 0, 1 + r.nextInt(3));
                if (k < 0) {
                    break;
                }
                b.append(buf, 0, k);
            }
        }
        return b.toString();
    }

    static final class Sink extends t.io.OutputStream {
        final java.io.ByteArrayOutputStream to;

        Sink(java.io.ByteArrayOutputStream to) {
            this.to = to;
        }

        public void write(int b) {
            to.write(b);
        }

        public void write(byte[] b, int off, int len) {
            to.write(b, off, len);
        }
    }
}
