package java.math;

/**
 * Immutable decimal numbers of any precision: an unscaled BigInteger and a scale, the value
 * being unscaled / 10^scale. Scales are never negative. Every rounding is one of the eight modes
 * below and happens only in divide and setScale.
 */
public class BigDecimal extends Number {
    private static final long serialVersionUID = 6108874887143696463L;

    public static final int ROUND_UP = 0;
    public static final int ROUND_DOWN = 1;
    public static final int ROUND_CEILING = 2;
    public static final int ROUND_FLOOR = 3;
    public static final int ROUND_HALF_UP = 4;
    public static final int ROUND_HALF_DOWN = 5;
    public static final int ROUND_HALF_EVEN = 6;
    public static final int ROUND_UNNECESSARY = 7;

    private BigInteger intVal;
    private int scale;

    private static final BigInteger TEN = BigInteger.valueOf(10);

    /** An optional minus sign, decimal digits, and optionally a point and more digits. */
    public BigDecimal(String val) throws NumberFormatException {
        int point = val.indexOf('.');
        if (point == -1) {
            intVal = new BigInteger(val);
            scale = 0;
            return;
        }
        String whole = val.substring(0, point);
        String fraction = val.substring(point + 1);
        if (fraction.length() == 0) {
            // "12." is 12 (scale 0); a point with no digit on either side is no number.
            if (whole.length() == 0 || whole.equals("-") || whole.equals("+")) {
                throw new NumberFormatException(val);
            }
            intVal = new BigInteger(whole);
            scale = 0;
            return;
        }
        if (fraction.charAt(0) == '-' || fraction.charAt(0) == '+') {
            throw new NumberFormatException(val);
        }
        if (whole.length() == 0 || whole.equals("-")) {
            whole = whole + "0";
        }
        intVal = new BigInteger(whole + fraction);
        scale = fraction.length();
    }

    /** The exact value of a double: its binary fraction written out in decimal. */
    public BigDecimal(double val) throws NumberFormatException {
        if (val != val || val == Double.POSITIVE_INFINITY || val == Double.NEGATIVE_INFINITY) {
            throw new NumberFormatException("Infinite or NaN");
        }
        long bits = Double.doubleToLongBits(val);
        int sign = bits < 0 ? -1 : 1;
        int exponent = (int) ((bits >> 52) & 0x7FF);
        long significand = exponent == 0 ? (bits & 0xFFFFFFFFFFFFFL) << 1 : (bits & 0xFFFFFFFFFFFFFL) | (1L << 52);
        exponent -= 1075;
        if (significand == 0) {
            intVal = BigInteger.valueOf(0);
            scale = 0;
            return;
        }
        while ((significand & 1) == 0) {
            significand >>= 1;
            exponent++;
        }
        BigInteger m = BigInteger.valueOf(sign * significand);
        if (exponent >= 0) {
            intVal = m.shiftLeft(exponent);
            scale = 0;
        } else {
            // m / 2^e = m * 5^e / 10^e
            intVal = m.multiply(BigInteger.valueOf(5).pow(-exponent));
            scale = -exponent;
        }
    }

    public BigDecimal(BigInteger val) {
        intVal = val;
        scale = 0;
    }

    public BigDecimal(BigInteger val, int scale) throws NumberFormatException {
        if (scale < 0) {
            throw new NumberFormatException("Negative scale");
        }
        intVal = val;
        this.scale = scale;
    }

    public static BigDecimal valueOf(long val, int scale) throws NumberFormatException {
        return new BigDecimal(BigInteger.valueOf(val), scale);
    }

    public static BigDecimal valueOf(long val) {
        return valueOf(val, 0);
    }

    /* ---- arithmetic ---- */

    public BigDecimal add(BigDecimal val) {
        BigDecimal[] a = align(this, val);
        return new BigDecimal(a[0].intVal.add(a[1].intVal), a[0].scale);
    }

    public BigDecimal subtract(BigDecimal val) {
        return add(val.negate());
    }

    public BigDecimal multiply(BigDecimal val) {
        return new BigDecimal(intVal.multiply(val.intVal), scale + val.scale);
    }

    /** this / val, rounded to the given scale by the rounding mode. */
    public BigDecimal divide(BigDecimal val, int scale, int roundingMode)
            throws ArithmeticException, IllegalArgumentException {
        if (roundingMode < ROUND_UP || roundingMode > ROUND_UNNECESSARY) {
            throw new IllegalArgumentException("Invalid rounding mode");
        }
        if (scale < 0) {
            throw new ArithmeticException("Negative scale");
        }
        if (val.intVal.signum() == 0) {
            throw new ArithmeticException("Divide by zero");
        }
        // (a / 10^sa) / (b / 10^sb) * 10^s = a * 10^(s - sa + sb) / b
        int e = scale - this.scale + val.scale;
        BigInteger num = intVal;
        BigInteger den = val.intVal;
        if (e >= 0) {
            num = num.multiply(TEN.pow(e));
        } else {
            den = den.multiply(TEN.pow(-e));
        }
        return new BigDecimal(divideRounded(num, den, roundingMode), scale);
    }

    public BigDecimal divide(BigDecimal val, int roundingMode) throws ArithmeticException, IllegalArgumentException {
        return divide(val, scale, roundingMode);
    }

    public BigDecimal abs() {
        return signum() < 0 ? negate() : this;
    }

    public BigDecimal negate() {
        return new BigDecimal(intVal.negate(), scale);
    }

    public int signum() {
        return intVal.signum();
    }

    public int scale() {
        return scale;
    }

    public BigDecimal setScale(int scale, int roundingMode) throws ArithmeticException, IllegalArgumentException {
        if (roundingMode < ROUND_UP || roundingMode > ROUND_UNNECESSARY) {
            throw new IllegalArgumentException("Invalid rounding mode");
        }
        if (scale < 0) {
            throw new ArithmeticException("Negative scale");
        }
        if (scale >= this.scale) {
            return new BigDecimal(intVal.multiply(TEN.pow(scale - this.scale)), scale);
        }
        return new BigDecimal(divideRounded(intVal, TEN.pow(this.scale - scale), roundingMode), scale);
    }

    public BigDecimal setScale(int scale) throws ArithmeticException, IllegalArgumentException {
        return setScale(scale, ROUND_UNNECESSARY);
    }

    public BigDecimal movePointLeft(int n) {
        if (n >= 0) {
            if (n > Integer.MAX_VALUE - scale) {
                throw new ArithmeticException("Underflow");
            }
            return new BigDecimal(intVal, scale + n);
        }
        if (n == Integer.MIN_VALUE) {
            // -n is n again: a move right by 2^31 needs a power of ten no machine holds.
            throw new ArithmeticException("Overflow");
        }
        return movePointRight(-n);
    }

    public BigDecimal movePointRight(int n) {
        if (n < 0) {
            if (n == Integer.MIN_VALUE) {
                // -n is n again: a move left by 2^31 needs a scale past the largest int.
                throw new ArithmeticException("Underflow");
            }
            return movePointLeft(-n);
        }
        return scale >= n ? new BigDecimal(intVal, scale - n)
                          : new BigDecimal(intVal.multiply(TEN.pow(n - scale)), 0);
    }

    /* num / den rounded to an integer by the mode. */
    private static BigInteger divideRounded(BigInteger num, BigInteger den, int mode) {
        BigInteger[] qr = num.divideAndRemainder(den);
        BigInteger q = qr[0];
        BigInteger r = qr[1];
        if (r.signum() == 0) {
            return q;
        }
        int sign = num.signum() * den.signum();
        // How the remainder stands against half the divisor.
        int half = r.abs().shiftLeft(1).compareTo(den.abs());
        boolean up;
        switch (mode) {
            case ROUND_UP:
                up = true;
                break;
            case ROUND_DOWN:
                up = false;
                break;
            case ROUND_CEILING:
                up = sign > 0;
                break;
            case ROUND_FLOOR:
                up = sign < 0;
                break;
            case ROUND_HALF_UP:
                up = half >= 0;
                break;
            case ROUND_HALF_DOWN:
                up = half > 0;
                break;
            case ROUND_HALF_EVEN:
                up = half > 0 || (half == 0 && q.testBit(0));
                break;
            default:
                throw new ArithmeticException("Rounding necessary");
        }
        return up ? q.add(BigInteger.valueOf(sign)) : q;
    }

    /* Both at the larger scale. */
    private static BigDecimal[] align(BigDecimal a, BigDecimal b) {
        BigDecimal[] r = new BigDecimal[2];
        if (a.scale < b.scale) {
            r[0] = a.setScale(b.scale);
            r[1] = b;
        } else if (a.scale > b.scale) {
            r[0] = a;
            r[1] = b.setScale(a.scale);
        } else {
            r[0] = a;
            r[1] = b;
        }
        return r;
    }

    /* ---- comparison ---- */

    /** By value alone: 2.0 and 2.00 compare equal. */
    public int compareTo(BigDecimal val) {
        int sa = signum();
        int sb = val.signum();
        if (sa != sb) {
            return sa > sb ? 1 : -1;
        }
        if (sa == 0) {
            return 0;
        }
        BigDecimal[] a = align(this, val);
        return a[0].intVal.compareTo(a[1].intVal);
    }

    /** Equal in value and in scale: 2.0 and 2.00 are not equal. */
    public boolean equals(Object x) {
        if (!(x instanceof BigDecimal)) {
            return false;
        }
        BigDecimal y = (BigDecimal) x;
        return scale == y.scale && intVal.equals(y.intVal);
    }

    public BigDecimal min(BigDecimal val) {
        return compareTo(val) <= 0 ? this : val;
    }

    public BigDecimal max(BigDecimal val) {
        return compareTo(val) >= 0 ? this : val;
    }

    public int hashCode() {
        return 31 * intVal.hashCode() + scale;
    }

    /* ---- conversion ---- */

    /** Plain decimal notation with exactly scale digits after the point. */
    public String toString() {
        String digits = intVal.abs().toString();
        StringBuffer b = new StringBuffer();
        if (signum() < 0) {
            b.append('-');
        }
        if (scale == 0) {
            return b.append(digits).toString();
        }
        int point = digits.length() - scale;
        if (point <= 0) {
            b.append("0.");
            for (; point < 0; point++) {
                b.append('0');
            }
            b.append(digits);
        } else {
            b.append(digits.substring(0, point)).append('.').append(digits.substring(point));
        }
        return b.toString();
    }

    /** The integer part, the fraction dropped. */
    public BigInteger toBigInteger() {
        return scale == 0 ? intVal : intVal.divide(TEN.pow(scale));
    }

    public int intValue() {
        return toBigInteger().intValue();
    }

    public long longValue() {
        return toBigInteger().longValue();
    }

    public float floatValue() {
        return Float.valueOf(toString()).floatValue();
    }

    public double doubleValue() {
        return Double.valueOf(toString()).doubleValue();
    }
}
