package java.lang;

/**
 * Text forms of float and double: the shortest decimal digit string that reads back to the
 * same value, found exactly with big naturals (free-format digit generation), laid out as
 * the Java API asks. Also the syntax check in front of the C library's parser.
 */
final class NumberText {

    private NumberText() {
    }

    static String toString(double d) {
        if (d != d) {
            return "NaN";
        }
        long bits = Double.doubleToLongBits(d);
        boolean negative = bits < 0;
        int biased = (int) ((bits >>> 52) & 0x7ff);
        long fraction = bits & 0xfffffffffffffL;
        if (biased == 0x7ff) {
            return negative ? "-Infinity" : "Infinity";
        }
        if (biased == 0 && fraction == 0) {
            return negative ? "-0.0" : "0.0";
        }
        long mantissa;
        int exponent;
        if (biased == 0) {
            mantissa = fraction;
            exponent = -1074;
        } else {
            mantissa = fraction | (1L << 52);
            exponent = biased - 1075;
        }
        return layout(negative, mantissa, exponent, 53, -1074);
    }

    static String toString(float f) {
        if (f != f) {
            return "NaN";
        }
        int bits = Float.floatToIntBits(f);
        boolean negative = bits < 0;
        int biased = (bits >>> 23) & 0xff;
        int fraction = bits & 0x7fffff;
        if (biased == 0xff) {
            return negative ? "-Infinity" : "Infinity";
        }
        if (biased == 0 && fraction == 0) {
            return negative ? "-0.0" : "0.0";
        }
        long mantissa;
        int exponent;
        if (biased == 0) {
            mantissa = fraction;
            exponent = -149;
        } else {
            mantissa = fraction | (1 << 23);
            exponent = biased - 150;
        }
        return layout(negative, mantissa, exponent, 24, -149);
    }

    private static int bitLength(long v) {
        int n = 0;
        while (v != 0) {
            n++;
            v >>>= 1;
        }
        return n;
    }

    /*
     * The value is mantissa * 2^exponent with a precision of `precision` bits. Every number
     * strictly inside the half-way points to the neighbouring values reads back as this value;
     * the half-way points themselves do too when the mantissa is even (round half to even).
     */
    private static String layout(boolean negative, long mantissa, int exponent, int precision, int minExponent) {
        char[] digits = new char[20];
        int count = 0;
        boolean even = (mantissa & 1) == 0;
        // The gap below is half the gap above when the value is a power of two that is not
        // the smallest normal value.
        boolean unequal = mantissa == (1L << (precision - 1)) && exponent > minExponent;

        BigNat r;
        BigNat s;
        BigNat mPlus;
        BigNat mMinus;
        if (exponent >= 0) {
            r = new BigNat(mantissa);
            mPlus = new BigNat(1);
            mPlus.shiftLeft(exponent);
            mMinus = new BigNat(1);
            mMinus.shiftLeft(exponent);
            if (unequal) {
                r.shiftLeft(exponent + 2);
                s = new BigNat(4);
                mPlus.shiftLeft(1);
            } else {
                r.shiftLeft(exponent + 1);
                s = new BigNat(2);
            }
        } else {
            r = new BigNat(mantissa);
            mPlus = new BigNat(1);
            mMinus = new BigNat(1);
            s = new BigNat(1);
            if (unequal) {
                r.shiftLeft(2);
                s.shiftLeft(2 - exponent);
                mPlus.shiftLeft(1);
            } else {
                r.shiftLeft(1);
                s.shiftLeft(1 - exponent);
            }
        }

        // Estimate the decimal exponent from the binary one (never too high), then correct it.
        int k = (int) Math.ceil((exponent + bitLength(mantissa) - 1) * 0.30102999566398114 - 1e-10);
        if (k >= 0) {
            s.multiplyPow10(k);
        } else {
            r.multiplyPow10(-k);
            mPlus.multiplyPow10(-k);
            mMinus.multiplyPow10(-k);
        }
        while (true) {
            int c = r.compareSum(mPlus, s);
            if (even ? c >= 0 : c > 0) {
                s.multiply(10);
                k++;
            } else {
                break;
            }
        }

        BigNat r0 = r.copy();
        BigNat s0 = s.copy();
        BigNat mPlus0 = mPlus.copy();
        BigNat mMinus0 = mMinus.copy();

        // Generate digits until the rest is within reach of one of the bounds.
        while (true) {
            r.multiply(10);
            mPlus.multiply(10);
            mMinus.multiply(10);
            int d = r.divideSmall(s);
            int low = r.compareTo(mMinus);
            int high = r.compareSum(mPlus, s);
            boolean tc1 = even ? low <= 0 : low < 0;
            boolean tc2 = even ? high >= 0 : high > 0;
            if (!tc1 && !tc2) {
                digits[count++] = (char) ('0' + d);
                continue;
            }
            if (tc1 && tc2) {
                // Both neighbours of the last digit read back: take the nearer one.
                BigNat twice = r.copy();
                twice.shiftLeft(1);
                int cmp = twice.compareTo(s);
                if (cmp > 0 || (cmp == 0 && (d & 1) != 0)) {
                    d++;
                }
            } else if (tc2) {
                d++;
            }
            digits[count++] = (char) ('0' + d);
            break;
        }

        if (count == 1) {
            // The text always shows a second digit, so among the two-digit decimals that read
            // back the one nearest the value is chosen (4.9E-324 rather than 5.0E-324).
            int scale = 100;
            int kk = k;
            BigNat tenth = r0.copy();
            tenth.multiply(10);
            if (tenth.compareTo(s0) < 0) {
                scale = 1000;
                kk = k - 1;
            }
            BigNat t = r0.copy();
            t.multiply(scale);
            int n = t.divideSmall(s0);
            t.shiftLeft(1);
            int half = t.compareTo(s0);
            if (half > 0 || (half == 0 && (n & 1) != 0)) {
                n++;
            }
            BigNat low = r0.copy();
            low.subtract(mMinus0);
            low.multiply(scale);
            BigNat high = r0.copy();
            high.add(mPlus0);
            high.multiply(scale);
            BigNat candidate = s0.copy();
            candidate.multiply(n);
            int cl = candidate.compareTo(low);
            int ch = candidate.compareTo(high);
            boolean inside = even ? (cl >= 0 && ch <= 0) : (cl > 0 && ch < 0);
            if (inside && n >= 10 && n < 100) {
                digits[0] = (char) ('0' + n / 10);
                count = 1;
                if (n % 10 != 0) {
                    digits[1] = (char) ('0' + n % 10);
                    count = 2;
                }
                k = kk;
            }
        }

        // The value is 0.digits * 10^k; scientific notation puts the point after the first digit.
        StringBuffer sb = new StringBuffer(count + 8);
        if (negative) {
            sb.append('-');
        }
        int sciExponent = k - 1;
        if (sciExponent >= -3 && sciExponent < 7) {
            if (k <= 0) {
                sb.append("0.");
                for (int i = k; i < 0; i++) {
                    sb.append('0');
                }
                sb.append(digits, 0, count);
            } else if (k >= count) {
                sb.append(digits, 0, count);
                for (int i = count; i < k; i++) {
                    sb.append('0');
                }
                sb.append(".0");
            } else {
                sb.append(digits, 0, k);
                sb.append('.');
                sb.append(digits, k, count - k);
            }
        } else {
            sb.append(digits[0]);
            sb.append('.');
            if (count > 1) {
                sb.append(digits, 1, count - 1);
            } else {
                sb.append('0');
            }
            sb.append('E');
            sb.append(sciExponent);
        }
        return sb.toString();
    }

    /**
     * The text of a floating-point literal as Double.valueOf and Float.valueOf accept it,
     * after trimming: returns the part to hand to the C parser (the type suffix removed), or
     * null when the syntax is wrong. "NaN" and "Infinity" are recognised by the callers.
     */
    static String numericPart(String s) {
        int n = s.length();
        if (n > 0) {
            char last = s.charAt(n - 1);
            if (last == 'f' || last == 'F' || last == 'd' || last == 'D') {
                n--;
            }
        }
        int i = 0;
        if (i < n && (s.charAt(i) == '+' || s.charAt(i) == '-')) {
            i++;
        }
        int intDigits = 0;
        while (i < n && s.charAt(i) >= '0' && s.charAt(i) <= '9') {
            i++;
            intDigits++;
        }
        int fracDigits = 0;
        if (i < n && s.charAt(i) == '.') {
            i++;
            while (i < n && s.charAt(i) >= '0' && s.charAt(i) <= '9') {
                i++;
                fracDigits++;
            }
        }
        if (intDigits + fracDigits == 0) {
            return null;
        }
        if (i < n && (s.charAt(i) == 'e' || s.charAt(i) == 'E')) {
            i++;
            if (i < n && (s.charAt(i) == '+' || s.charAt(i) == '-')) {
                i++;
            }
            int expDigits = 0;
            while (i < n && s.charAt(i) >= '0' && s.charAt(i) <= '9') {
                i++;
                expDigits++;
            }
            if (expDigits == 0) {
                return null;
            }
        }
        if (i != n) {
            return null;
        }
        return s.substring(0, n);
    }

    /*
     * Rounds the correctly rounded double d of the decimal text (as numericPart returned it) to
     * float. Casting alone rounds twice, which goes wrong exactly when d falls on the midpoint
     * between two floats while the decimal itself does not: then the decimal decides.
     */
    static float toFloat(String text, double d) {
        float f = (float) d;
        double a = d < 0 ? -d : d;
        // Clearing the sign bit also turns -0.0f into +0.0f, whose neighbour is MIN_VALUE.
        float fa = Float.intBitsToFloat(Float.floatToIntBits(f) & 0x7fffffff);
        if ((double) fa == a || a != a) {
            return f;
        }
        // The neighbours of a, as doubles; infinity stands for the power of two above the range.
        double up;
        double down;
        int bits = Float.floatToIntBits(fa);
        if (fa == Float.POSITIVE_INFINITY) {
            up = 3.4028236692093846E38;
            down = Float.MAX_VALUE;
        } else if ((double) fa > a) {
            up = fa;
            down = Float.intBitsToFloat(bits - 1);
        } else {
            down = fa;
            up = Float.intBitsToFloat(bits + 1);
        }
        if ((up + down) * 0.5 != a) {
            return f;
        }
        int c = compareDecimal(text, a);
        float r;
        if (c > 0) {
            r = up == 3.4028236692093846E38 ? Float.POSITIVE_INFINITY : (float) up;
        } else if (c < 0) {
            r = (float) down;
        } else {
            return f;
        }
        return d < 0 ? -r : r;
    }

    // Compares the magnitude of the decimal text with the positive double a, exactly.
    private static int compareDecimal(String text, double a) {
        BigNat digits = new BigNat(0);
        int exp10 = 0;
        int i = 0;
        int n = text.length();
        boolean fraction = false;
        boolean any = false;
        for (; i < n; i++) {
            char ch = text.charAt(i);
            if (ch == '.') {
                fraction = true;
            } else if (ch >= '0' && ch <= '9') {
                if (ch != '0' || any) {
                    any = true;
                    digits.multiply(10);
                    digits.add(new BigNat(ch - '0'));
                    if (fraction) {
                        exp10--;
                    }
                } else if (fraction) {
                    exp10--;
                }
            } else if (ch == 'e' || ch == 'E') {
                break;
            }
        }
        if (i < n) {
            i++;
            boolean negative = false;
            if (text.charAt(i) == '+' || text.charAt(i) == '-') {
                negative = text.charAt(i) == '-';
                i++;
            }
            int e = 0;
            for (; i < n; i++) {
                // Saturates: such exponents never meet a value in the float range.
                if (e < 100000) {
                    e = e * 10 + (text.charAt(i) - '0');
                }
            }
            exp10 += negative ? -e : e;
        }
        if (!any) {
            return -1;
        }
        long bits = Double.doubleToLongBits(a);
        int biased = (int) ((bits >>> 52) & 0x7ff);
        long mantissa = bits & 0xfffffffffffffL;
        int exp2;
        if (biased == 0) {
            exp2 = -1074;
        } else {
            mantissa |= 1L << 52;
            exp2 = biased - 1075;
        }
        BigNat right = new BigNat(mantissa);
        if (exp10 >= 0) {
            digits.multiplyPow10(exp10);
        } else {
            right.multiplyPow10(-exp10);
        }
        if (exp2 >= 0) {
            right.shiftLeft(exp2);
        } else {
            digits.shiftLeft(-exp2);
        }
        return digits.compareTo(right);
    }

    // Returns +1 or -1 for the signed forms of "Infinity", 0 otherwise.
    static int infinitySign(String s) {
        if (s.equals("Infinity") || s.equals("+Infinity")) {
            return 1;
        }
        if (s.equals("-Infinity")) {
            return -1;
        }
        return 0;
    }

    static boolean isNaNText(String s) {
        return s.equals("NaN") || s.equals("+NaN") || s.equals("-NaN");
    }
}
