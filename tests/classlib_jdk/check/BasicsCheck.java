package check;

import java.util.Random;

/**
 * What the other checks leave out: the text of floats and doubles against the JDK's, StringBuffer
 * and the strings it shares its array with, Math's rounding, BitSet, Stack, SequenceInputStream,
 * and writeUTF/readUTF.
 */
public class BasicsCheck {
    static final Checks c = new Checks("BasicsCheck");

    public static void main(String[] args) throws Exception {
        floatText();
        stringBuffer();
        mathAndBits();
        streams();
        c.finish();
    }

    // The shortest text that reads back, the nearest of those; JDK 17 prints a longer or a farther one
    // for some values (fixed in JDK 19), so where the two differ ours must read back and be shorter, or
    // as short and nearer.
    static void floatText() {
        String[][] known = {{"4.9E-324", "" + Double.MIN_VALUE}, {"1.7976931348623157E308", "" + Double.MAX_VALUE}, {"1.0E7", "1e7"},
            {"9999999.0", "9999999"}, {"0.001", "0.001"}, {"1.0E-4", "1e-4"}, {"0.1", "0.1"}, {"-0.0", "-0.0"}, {"1.0E23", "1e23"}};
        for (int i = 0; i < known.length; i++) {
            c.eq(known[i][0], t.lang.Double.toString(Double.parseDouble(known[i][1])), "Double.toString " + known[i][1]);
        }
        c.eq("1.4E-45", t.lang.Float.toString(Float.MIN_VALUE), "Float.MIN_VALUE");
        c.eq("3.4028235E38", t.lang.Float.toString(Float.MAX_VALUE), "Float.MAX_VALUE");
        c.eq("1.5", t.lang.Float.toString(1.5f), "1.5f");
        Random r = new Random(5);
        for (int i = 0; i < 8000; i++) {
            double d = Double.longBitsToDouble(i % 2 == 0 ? r.nextLong() : Double.doubleToLongBits(r.nextInt(100000) / 1000.0));
            float f = Float.intBitsToFloat(i % 2 == 0 ? r.nextInt() : Float.floatToIntBits(r.nextInt(100000) / 1000f));
            if (d == d) {
                text(t.lang.Double.toString(d), Double.toString(d), Double.parseDouble(t.lang.Double.toString(d)) == d, new java.math.BigDecimal(d), "double " + d);
            }
            if (f == f) {
                text(t.lang.Float.toString(f), Float.toString(f), Float.parseFloat(t.lang.Float.toString(f)) == f, new java.math.BigDecimal(f), "float " + f);
            }
        }
    }

    static void text(String ours, String jdk, boolean readsBack, java.math.BigDecimal exact, String what) {
        if (!ours.equals(jdk) && !Double.isInfinite(Double.parseDouble(jdk))) {
            boolean nearer = new java.math.BigDecimal(ours).subtract(exact).abs().compareTo(new java.math.BigDecimal(jdk).subtract(exact).abs()) < 0;
            c.ok(readsBack && (digits(ours) < digits(jdk) || digits(ours) == digits(jdk) && nearer), what + ": " + ours + " vs the JDK's " + jdk);
        }
    }

    static int digits(String s) {
        String m = s.replaceFirst("E.*", "").replace("-", "").replace(".", "").replaceFirst("^0+", "").replaceFirst("0+$", "");
        return m.length();
    }

    // The library's own String(StringBuffer), kept as it was made: no later change of the buffer
    // may show through it.
    static void stringBuffer() {
        Random r = new Random(9);
        for (int round = 0; round < 600; round++) {
            t.lang.StringBuffer a = new t.lang.StringBuffer(r.nextInt(4));
            StringBuffer b = new StringBuffer(a.capacity());
            t.lang.JString taken = null;
            String expected = null;
            for (int step = 0; step < 25; step++) {
                int op = r.nextInt(8);
                int at = r.nextInt(a.length() + 2) - 1;
                String x = Checks.outcome(() -> apply(a, op, at));
                String y = Checks.outcome(() -> apply(b, op, at));
                c.eq(y.replaceAll("!\\w+", "!"), x.replaceAll("!\\w+", "!"), "StringBuffer op " + op + " at " + at + " on " + b);
                c.eq(b.toString() + "/" + b.capacity(), a.toString() + "/" + a.capacity(), "StringBuffer contents/capacity");
                if (taken != null) {
                    c.eq(expected, taken.str(), "a string taken from a StringBuffer changed");
                }
                if (r.nextInt(4) == 0) {
                    taken = new t.lang.JString(a);
                    expected = b.toString();
                }
            }
        }
    }

    static Object apply(Object sb, int op, int at) {
        boolean ours = sb instanceof t.lang.StringBuffer;
        t.lang.StringBuffer a = ours ? (t.lang.StringBuffer) sb : null;
        StringBuffer b = ours ? null : (StringBuffer) sb;
        switch (op) {
            case 0: return ours ? a.append("xy").length() : b.append("xy").length();
            case 1: return ours ? a.insert(at, "IN").length() : b.insert(at, "IN").length();
            case 2: if (ours) { a.setCharAt(at, 'Z'); } else { b.setCharAt(at, 'Z'); } return "set";
            case 3: if (ours) { a.setLength(at + 1); } else { b.setLength(at + 1); } return "len";
            case 4: return ours ? a.reverse().length() : b.reverse().length();
            case 5: return ours ? a.insert(at, 'c').length() : b.insert(at, 'c').length();
            case 6: return ours ? a.append(1.5f).append(-7L).length() : b.append(1.5f).append(-7L).length();
            default: return new Character(ours ? a.charAt(at) : b.charAt(at));
        }
    }

    // Math.round is floor(x + 1/2) in this API generation (JDK 7 changed it for a few halfway cases).
    static void mathAndBits() {
        double[] xs = new double[200];
        double[] fixed = {0.5, -0.5, 1.5, -1.5, 2.5, -2.5, -0.7, 0.7, -2.3, 1e15 + 0.5, -0.0, Double.NaN, 1e300, -1e300, -1e-300};
        Random g = new Random(8);
        for (int i = 0; i < xs.length; i++) {
            xs[i] = i < fixed.length ? fixed[i] : (g.nextDouble() - 0.5) * Math.pow(10, g.nextInt(8));
        }
        for (int i = 0; i < xs.length; i++) {
            c.eq(new Long((long) Math.floor(xs[i] + 0.5)), new Long(t.lang.Math.round(xs[i])), "Math.round(" + xs[i] + ")");
            float f = (float) xs[i];
            c.eq(new Integer((int) Math.floor(f + 0.5f)), new Integer(t.lang.Math.round(f)), "Math.round(" + f + "f)");
        }
        Random r = new Random(2);
        for (int round = 0; round < 2000; round++) {
            t.util.BitSet a = new t.util.BitSet(r.nextInt(200));
            t.util.BitSet a2 = new t.util.BitSet(r.nextInt(200));
            java.util.BitSet b = new java.util.BitSet();
            java.util.BitSet b2 = new java.util.BitSet();
            for (int i = 0; i < 20; i++) {
                int bit = r.nextInt(300);
                a.set(bit);
                b.set(bit);
                bit = r.nextInt(300);
                a2.set(bit);
                b2.set(bit);
            }
            int op = r.nextInt(3);
            if (op == 0) { a.and(a2); b.and(b2); } else if (op == 1) { a.or(a2); b.or(b2); } else { a.xor(a2); b.xor(b2); }
            c.eq(b.toString() + b.hashCode(), a.toString() + a.hashCode(), "BitSet op " + op);
        }
        t.util.Stack s = new t.util.Stack();
        s.push("a"); s.push("b"); s.push("a"); s.push("c");
        c.eq("1 2 3 -1", s.search("c") + " " + s.search("a") + " " + s.search("b") + " " + s.search("z"), "Stack.search");
    }

    static void streams() throws Exception {
        t.util.Vector v = new t.util.Vector();
        v.addElement(new t.io.ByteArrayInputStream("ab".getBytes()));
        v.addElement(new t.io.ByteArrayInputStream(new byte[0]));
        v.addElement(new t.io.ByteArrayInputStream("cde".getBytes()));
        t.io.SequenceInputStream in = new t.io.SequenceInputStream(v.elements());
        StringBuilder got = new StringBuilder();
        byte[] buf = new byte[2];
        for (int n; (n = in.read(buf, 0, 2)) != -1;) {
            got.append(new String(buf, 0, n, "ISO-8859-1")).append('|');
        }
        c.eq("ab|cd|e|", got.toString(), "SequenceInputStream reads each stream in turn");
        String[] texts = {"", "\u0000", "a\u0000b", "\u07ff\u0800\uffff", "\ud83d\ude00", "\udc00x\ud800"};
        for (int i = 0; i < texts.length; i++) {
            t.io.ByteArrayOutputStream ours = new t.io.ByteArrayOutputStream();
            java.io.ByteArrayOutputStream jdk = new java.io.ByteArrayOutputStream();
            new t.io.DataOutputStream(ours).writeUTF(texts[i]);
            new java.io.DataOutputStream(jdk).writeUTF(texts[i]);
            c.eq(Checks.hex(jdk.toByteArray()), Checks.hex(ours.toByteArray()), "writeUTF " + Checks.show(texts[i]));
            c.eq(texts[i], new t.io.DataInputStream(new t.io.ByteArrayInputStream(jdk.toByteArray())).readUTF(), "readUTF");
        }
        byte[][] bad = {{0, 2, (byte) 0xc3, 0x41}, {0, 1, (byte) 0x80}, {0, 2, (byte) 0xe0, (byte) 0x80}, {0, 1, (byte) 0xf0}};
        for (int i = 0; i < bad.length; i++) {
            final byte[] b = bad[i];
            c.eq("!UTFDataFormatException", Checks.outcome(() -> new t.io.DataInputStream(new t.io.ByteArrayInputStream(b)).readUTF()),
                    "readUTF of malformed " + Checks.hex(b));
        }
    }
}
