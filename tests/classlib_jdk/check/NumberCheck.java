package check;

import java.math.BigDecimal;
import java.util.Random;

/** Number text: reading floats correctly rounded at both signs, decode's null, round trips. */
public class NumberCheck {
    static final Checks c = new Checks("NumberCheck");

    public static void main(String[] args) throws Exception {
        smallestFloats();
        decodeNull();
        Random r = new Random(3);
        for (int i = 0; i < 3000; i++) {
            double d = Double.longBitsToDouble(r.nextLong());
            if (d != d) {
                continue;
            }
            String s = t.lang.Double.toString(d);
            c.eq(new Long(Double.doubleToRawLongBits(d)), new Long(Double.doubleToRawLongBits(Double.parseDouble(s))),
                    "double " + s + " reads back");
            float f = Float.intBitsToFloat(r.nextInt());
            if (f == f) {
                String fs = t.lang.Float.toString(f);
                c.eq(new Integer(Float.floatToRawIntBits(f)), new Integer(Float.floatToRawIntBits(Float.parseFloat(fs))),
                        "float " + fs + " reads back");
            }
            int radix = 2 + r.nextInt(35);
            long v = r.nextLong() >> r.nextInt(64);
            c.eq(Long.toString(v, radix), t.lang.Long.toString(v, radix), "Long.toString radix " + radix);
            c.eq(new Long(v), new Long(t.lang.Long.parseLong(Long.toString(v, radix), radix)), "Long.parseLong");
            int w = (int) v;
            c.eq(Integer.toString(w, radix), t.lang.Integer.toString(w, radix), "Integer.toString radix " + radix);
        }
        c.finish();
    }

    // Decimals at and around the midpoints between the smallest floats, at both signs: the
    // library reads a double first and must not round twice, also when it is negative.
    static void smallestFloats() {
        c.eq(new Integer(0x80000001), new Integer(Float.floatToRawIntBits(t.lang.Float.valueOf("-7.006492321624086e-46")
                .floatValue())), "-7.006492321624086e-46 is -MIN_VALUE");
        c.eq(new Integer(0x00000001), new Integer(Float.floatToRawIntBits(t.lang.Float.valueOf("7.006492321624086e-46")
                .floatValue())), "7.006492321624086e-46 is MIN_VALUE");
        BigDecimal min = new BigDecimal(Float.MIN_VALUE);
        BigDecimal tiny = new BigDecimal("1e-80");
        for (int k = 0; k < 64; k++) {
            BigDecimal mid = min.multiply(new BigDecimal(2 * k + 1)).divide(new BigDecimal(2));
            BigDecimal[] around = {mid, mid.add(tiny), mid.subtract(tiny)};
            for (int j = 0; j < around.length; j++) {
                for (int sign = 0; sign < 2; sign++) {
                    String text = (sign == 1 ? "-" : "") + around[j].toString();
                    c.eq(new Integer(Float.floatToRawIntBits(Float.parseFloat(text))),
                            new Integer(Float.floatToRawIntBits(t.lang.Float.valueOf(text).floatValue())), text);
                }
            }
        }
    }

    static void decodeNull() {
        c.eq("!NullPointerException", Checks.outcome(() -> t.lang.Integer.decode(null)), "Integer.decode(null)");
        c.eq("!NullPointerException", Checks.outcome(() -> t.lang.Short.decode(null)), "Short.decode(null)");
        c.eq("!NullPointerException", Checks.outcome(() -> t.lang.Byte.decode(null)), "Byte.decode(null)");
        c.eq("!NumberFormatException", Checks.outcome(() -> new Integer(t.lang.Integer.parseInt(null))),
                "Integer.parseInt(null)");
        c.eq("=-16", Checks.outcome(() -> new Integer(t.lang.Integer.decode("-0x10").intValue())), "decode -0x10");
        c.eq("=8", Checks.outcome(() -> new Integer(t.lang.Integer.decode("010").intValue())), "decode 010");
    }
}
