import java.math.BigDecimal;
import java.math.BigInteger;
import java.util.Random;

/** The public API of java.math, one operation per line of text, answered as text. */
public class BigIntDiff {
    static BigInteger b(String s) {
        return new BigInteger(s);
    }

    static String hex(byte[] v) {
        StringBuffer s = new StringBuffer();
        for (int i = 0; i < v.length; i++) {
            s.append(Character.forDigit((v[i] >> 4) & 15, 16)).append(Character.forDigit(v[i] & 15, 16));
        }
        return s.toString();
    }

    static byte[] unhex(String s) {
        byte[] v = new byte[s.length() / 2];
        for (int i = 0; i < v.length; i++) {
            v[i] = (byte) Integer.parseInt(s.substring(2 * i, 2 * i + 2), 16);
        }
        return v;
    }

    /** "op x y ..." to its answer; "!Arith", "!Format" or "!Illegal" for the exception thrown. */
    public static String eval(String line) {
        String[] f = {"", "", "", "", "", ""};
        int n = 0;
        for (int at = 0; at < line.length();) {
            int sp = line.indexOf(' ', at);
            if (sp < 0) {
                sp = line.length();
            }
            f[n++] = line.substring(at, sp);
            at = sp + 1;
        }
        try {
            return run(f);
        } catch (ArithmeticException e) {
            return "!Arith";
        } catch (NumberFormatException e) {
            return "!Format";
        } catch (IllegalArgumentException e) {
            return "!Illegal";
        }
    }

    static String run(String[] f) {
        String op = f[0];
        if (op.charAt(0) == 'D') {
            return decimal(f);
        }
        if (op.equals("parse")) {
            return new BigInteger(f[1], Integer.parseInt(f[2])).toString();
        }
        if (op.equals("frombytes")) {
            return new BigInteger(unhex(f[1])).toString();
        }
        if (op.equals("signmag")) {
            return new BigInteger(Integer.parseInt(f[1]), unhex(f[2])).toString();
        }
        BigInteger a = b(f[1]);
        if (op.equals("add")) return a.add(b(f[2])).toString();
        if (op.equals("sub")) return a.subtract(b(f[2])).toString();
        if (op.equals("mul")) return a.multiply(b(f[2])).toString();
        if (op.equals("sqr")) return a.multiply(a).toString();
        if (op.equals("div")) return a.divide(b(f[2])).toString();
        if (op.equals("rem")) return a.remainder(b(f[2])).toString();
        if (op.equals("dar")) {
            BigInteger[] qr = a.divideAndRemainder(b(f[2]));
            return qr[0] + " " + qr[1];
        }
        if (op.equals("mod")) return a.mod(b(f[2])).toString();
        if (op.equals("modpow")) return a.modPow(b(f[2]), b(f[3])).toString();
        if (op.equals("modinv")) return a.modInverse(b(f[2])).toString();
        if (op.equals("gcd")) return a.gcd(b(f[2])).toString();
        if (op.equals("pow")) return a.pow(Integer.parseInt(f[2])).toString();
        if (op.equals("shl")) return a.shiftLeft(Integer.parseInt(f[2])).toString();
        if (op.equals("shr")) return a.shiftRight(Integer.parseInt(f[2])).toString();
        if (op.equals("and")) return a.and(b(f[2])).toString();
        if (op.equals("or")) return a.or(b(f[2])).toString();
        if (op.equals("xor")) return a.xor(b(f[2])).toString();
        if (op.equals("andnot")) return a.andNot(b(f[2])).toString();
        if (op.equals("not")) return a.not().toString();
        if (op.equals("test")) return String.valueOf(a.testBit(Integer.parseInt(f[2])));
        if (op.equals("set")) return a.setBit(Integer.parseInt(f[2])).toString();
        if (op.equals("clear")) return a.clearBit(Integer.parseInt(f[2])).toString();
        if (op.equals("flip")) return a.flipBit(Integer.parseInt(f[2])).toString();
        if (op.equals("bitlen")) return String.valueOf(a.bitLength());
        if (op.equals("bitcount")) return String.valueOf(a.bitCount());
        if (op.equals("lowbit")) return String.valueOf(a.getLowestSetBit());
        if (op.equals("str")) return a.toString(Integer.parseInt(f[2]));
        if (op.equals("bytes")) return hex(a.toByteArray());
        if (op.equals("int")) return String.valueOf(a.intValue());
        if (op.equals("long")) return String.valueOf(a.longValue());
        if (op.equals("double")) return Long.toString(Double.doubleToLongBits(a.doubleValue()), 16);
        if (op.equals("float")) return Integer.toString(Float.floatToIntBits(a.floatValue()), 16);
        if (op.equals("cmp")) {
            BigInteger c = b(f[2]);
            return a.compareTo(c) + " " + a.equals(c) + " " + a.min(c) + " " + a.max(c);
        }
        if (op.equals("hash")) return String.valueOf(a.hashCode());
        if (op.equals("sign")) return a.signum() + " " + a.abs() + " " + a.negate();
        if (op.equals("prime")) return String.valueOf(a.isProbablePrime(Integer.parseInt(f[2])));
        if (op.equals("next")) return a.nextProbablePrime().toString();
        if (op.equals("random")) return new BigInteger(Integer.parseInt(f[2]), new Random(a.longValue())).toString();
        return "?op";
    }

    static String decimal(String[] f) {
        String op = f[0];
        BigDecimal a = new BigDecimal(f[1]);
        if (op.equals("Dstr")) return a.toString() + " " + a.scale() + " " + a.toBigInteger();
        if (op.equals("Dadd")) return a.add(new BigDecimal(f[2])).toString();
        if (op.equals("Dsub")) return a.subtract(new BigDecimal(f[2])).toString();
        if (op.equals("Dmul")) return a.multiply(new BigDecimal(f[2])).toString();
        if (op.equals("Ddiv")) {
            return a.divide(new BigDecimal(f[2]), Integer.parseInt(f[3]), Integer.parseInt(f[4])).toString();
        }
        if (op.equals("Dset")) return a.setScale(Integer.parseInt(f[2]), Integer.parseInt(f[3])).toString();
        if (op.equals("Dcmp")) {
            BigDecimal c = new BigDecimal(f[2]);
            return a.compareTo(c) + " " + a.equals(c);
        }
        if (op.equals("Dmove")) return a.movePointLeft(Integer.parseInt(f[2])).toString();
        return "?op";
    }

    /** n! */
    public static String factorial(int n) {
        BigInteger r = BigInteger.valueOf(1);
        for (int i = 2; i <= n; i++) {
            r = r.multiply(BigInteger.valueOf(i));
        }
        return r.toString();
    }

    /**
     * A toy RSA key from the prime constructor: "p q d" after an encrypt/decrypt round trip of
     * the message, or a text saying what went wrong.
     */
    public static String rsa(int bits, long seed) {
        Random rnd = new Random(seed);
        BigInteger p = new BigInteger(bits, 20, rnd);
        BigInteger q = new BigInteger(bits, 20, rnd);
        if (p.bitLength() != bits || q.bitLength() != bits) return "bit length " + p.bitLength() + " " + q.bitLength();
        BigInteger one = BigInteger.valueOf(1);
        BigInteger n = p.multiply(q);
        BigInteger phi = p.subtract(one).multiply(q.subtract(one));
        BigInteger e = BigInteger.valueOf(65537);
        while (!e.gcd(phi).equals(one)) {
            e = e.add(BigInteger.valueOf(2));
        }
        BigInteger d = e.modInverse(phi);
        BigInteger m = new BigInteger(2 * bits - 2, rnd);
        BigInteger c = m.modPow(e, n);
        if (!c.modPow(d, n).equals(m)) return "round trip failed";
        if (m.gcd(n).equals(one) && !m.modPow(e.negate(), n).equals(c.modInverse(n))) return "negative exponent";
        return p + " " + q + " " + d;
    }

    /** Probable primes of bit lengths 2 to 8 from the prime constructor, each checked here. */
    public static String smallPrimes(long seed) {
        Random rnd = new Random(seed);
        StringBuffer out = new StringBuffer();
        for (int bits = 2; bits <= 8; bits++) {
            for (int i = 0; i < 20; i++) {
                BigInteger p = new BigInteger(bits, 10, rnd);
                int v = p.intValue();
                boolean prime = v >= 2;
                for (int d = 2; d * d <= v; d++) {
                    if (v % d == 0) prime = false;
                }
                if (p.bitLength() != bits || !prime) out.append(bits).append(':').append(v).append(' ');
            }
        }
        return out.toString();
    }
}
