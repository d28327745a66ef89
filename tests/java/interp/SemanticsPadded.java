package interp;

/* The cases of Semantics in methods padded past 776 bytes of code, so that they run in
   the slow loop with their switches read across the code's pieces; each variant shifts
   the code after the padding by three more bytes (a different position mod 4 for the
   switches' padding). */

class SemanticsPadded0 {
    static int PAD = -12345, PADSUM;
    public static int cases() { return 64; }

    static int MIN = Integer.MIN_VALUE, MAX = Integer.MAX_VALUE, M1 = -1, ZERO = 0, ONE = 1;
    static int S31 = 31, S32 = 32, S33 = 33, SM1 = -1, S63 = 63, S64 = 64, S65 = 65;
    static long LMIN = Long.MIN_VALUE, LMAX = Long.MAX_VALUE, LM1 = -1L, LONE = 1L;
    static float FNAN = Float.NaN, FINF = Float.POSITIVE_INFINITY, FZERO = 0f, FONE = 1f;
    static double DNAN = Double.NaN, DINF = Double.POSITIVE_INFINITY, DZERO = 0.0, DONE = 1.0;
    static float F2_31 = 2147483648f, FBELOW = -2147483904f, F1E10 = 1e10f, FALMOST = 0.9999f;
    static float FMINV = Float.MIN_VALUE, FMAXV = Float.MAX_VALUE;
    static double DMINV = Double.MIN_VALUE, DMAXV = Double.MAX_VALUE;
    static double D2_63 = 9223372036854775808.0, D1E19 = 1e19, D1E308 = 1e308;

    static int fc(float a, float b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int fc2(float a, float b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int dc(double a, double b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int dc2(double a, double b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int lc(long a, long b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }

    static int sw1(int k) {
        switch (k) {
            case -3: return 10; case -2: return 11; case -1: return 12; case 0: return 13;
            case 1: return 14; case 2: return 15; case 3: return 16;
            default: return 99;
        }
    }
    static int swMin(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case Integer.MIN_VALUE + 1: return 2;
            case Integer.MIN_VALUE + 2: return 3; case Integer.MIN_VALUE + 3: return 4;
            default: return 99;
        }
    }
    static int swMax(int k) {
        switch (k) {
            case Integer.MAX_VALUE - 3: return 1; case Integer.MAX_VALUE - 2: return 2;
            case Integer.MAX_VALUE - 1: return 3; case Integer.MAX_VALUE: return 4;
            default: return 99;
        }
    }
    static int swSparse(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case -1000000: return 2; case 0: return 3;
            case 1000000: return 4; case Integer.MAX_VALUE: return 5;
            default: return 99;
        }
    }

    public static int i(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            PADSUM += z;
        }
        switch (n) {
            case 0: return MIN / M1;
            case 1: return MIN % M1;
            case 2: return MIN / -2 + ZERO;
            case 3: return (7 + ZERO) % -3;
            case 4: return (-7 + ZERO) % 3;
            case 5: return ONE << S32;
            case 6: return ONE << S33;
            case 7: return M1 >>> S32;
            case 8: return M1 >>> S33;
            case 9: return MIN >> S31;
            case 10: return MIN >> S63;
            case 11: return (0xFF + ZERO) << SM1;
            case 12: return (byte) (0x1FF + ZERO);
            case 13: return (char) (M1);
            case 14: return (short) (0x12345678 + ZERO);
            case 15: return (byte) (0x80 + ZERO);
            case 16: return (int) FNAN;
            case 17: return (int) FINF;
            case 18: return (int) -FINF;
            case 19: return (int) F2_31;
            case 20: return (int) -F2_31;
            case 21: return (int) FBELOW;
            case 22: return (int) F1E10;
            case 23: return (int) FALMOST;
            case 24: return (int) -FALMOST;
            case 25: return (int) FMINV;
            case 26: return (int) DNAN;
            case 27: return (int) DINF;
            case 28: return (int) (2147483647.9 + DZERO);
            case 29: return (int) (-2147483648.9 + DZERO);
            case 30: return (int) (-2147483649.0 + DZERO);
            case 31: return (int) (2147483646.5 + DZERO);
            case 32: return fc(FNAN, FONE);
            case 33: return fc(FONE, FNAN);
            case 34: return fc(FZERO, -FZERO);
            case 35: return fc(-FINF, FINF);
            case 36: return fc2(FNAN, FONE);
            case 37: return fc2(FONE, FNAN);
            case 38: return dc(DNAN, DONE);
            case 39: return dc(DONE, DNAN);
            case 40: return dc(DZERO, -DZERO);
            case 41: return dc2(DNAN, DNAN);
            case 42: return dc2(-DZERO, DZERO);
            case 43: return lc(0x80000000L + ZERO, 0x7FFFFFFFL + ZERO);
            case 44: return lc(LM1, 0L + ZERO);
            case 45: return lc(0x100000000L + ZERO, 0xFFFFFFFFL + ZERO);
            case 46: return lc(LMIN, LMAX);
            case 47: return lc(0xFFFFFFFF00000000L + ZERO, 0xFFFFFFFEFFFFFFFFL + ZERO);
            case 48: return sw1(-3 + ZERO) * 100 + sw1(3 + ZERO) + sw1(-4 + ZERO) * 10000 + sw1(4 + ZERO) * 1000000;
            case 49: return swMin(MIN) + swMin(MIN + 3) * 10 + swMin(MAX) * 100 + swMin(MIN + 4) * 10000;
            case 50: return swMax(MAX) + swMax(MAX - 3) * 10 + swMax(MIN) * 100 + swMax(MAX - 4) * 10000;
            case 51: return swSparse(MIN) + swSparse(MAX) * 10 + swSparse(ZERO) * 100 + swSparse(1 + ZERO) * 1000;
            case 52: return (int) (LMIN >>> S32);
            case 53: return (int) (0x123456789ABCDEFL + ZERO);
            case 54: { int x = MAX; x += ONE; return x; }
            case 55: { char c = (char) (M1); c++; return c; }
            case 56: { byte b = (byte) (127 + ZERO); b++; return b; }
            case 57: { short s = (short) (-32768 + ZERO); s--; return s; }
            case 58: return MIN * M1;
            case 59: return -MIN;
            case 60: return (MIN + ZERO) / (1 + ZERO) % (3 + ZERO);
            case 61: return (int) (float) (16777217 + ZERO);
            case 62: return (int) (double) (float) (MAX);
            case 63: return (int) (DMAXV * -1);
        }
        return -777;
    }

    public static long l(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            PADSUM += z;
        }
        switch (n) {
            case 0: return LMIN / LM1;
            case 1: return LMIN % LM1;
            case 2: return LONE << S64;
            case 3: return LONE << S65;
            case 4: return LONE << SM1;
            case 5: return LM1 >>> S64;
            case 6: return LM1 >>> S32;
            case 7: return LMIN >> S33;
            case 8: return LMIN >>> S31;
            case 9: return (0x80000001L + ZERO) << S31;
            case 10: return (long) FNAN;
            case 11: return (long) FINF;
            case 12: return (long) -FINF;
            case 13: return (long) (float) D2_63;
            case 14: return (long) -D2_63;
            case 15: return (long) D1E19;
            case 16: return (long) -D1E19;
            case 17: return (long) (9.223372036854775E18 + DZERO);
            case 18: return (long) (4503599627370497.0 + DZERO);
            case 19: return (long) (-1.5 + DZERO);
            case 20: return (long) DNAN;
            case 21: return (long) (F1E10 * F1E10);
            case 22: return (0x7FFFFFFFFFFFFFFFL + ZERO) / 3;
            case 23: return (-7L + ZERO) % 3;
            case 24: return (7L + ZERO) % -3;
            case 25: return (0x123456789L + ZERO) * (0x987654321L + ZERO);
            case 26: return LMIN * LM1;
            case 27: return -LMIN;
            case 28: return (long) MIN;
            case 29: return (long) (MIN >>> ZERO) & 0xFFFFFFFFL;
            case 30: return (0xFFFFFFFFL + ZERO) / (0x10000L + ZERO);
            case 31: return (0xFFFFFFFF00000000L + ZERO) / (0x100000000L + ZERO);
            case 32: return (0xFFFFFFFF00000000L + ZERO) % (0x7FFFFFFFL + ZERO);
            case 33: return (long) (DMAXV);
            case 34: return (long) (-DMINV);
            case 35: return (LMIN + ZERO) >> S63;
            case 36: return (0xF0F0F0F0F0F0F0F0L + ZERO) >>> 4 ^ LM1;
            case 37: return (long) (double) (LMAX);
            case 38: return (long) (float) (0x7FFFFF7FFFFFFFFFL + ZERO);
            case 39: return (long) (-9.223372036854776E18 + DZERO);
        }
        return -777;
    }

    public static float f(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            PADSUM += z;
        }
        switch (n) {
            case 0: return (float) (0x1000001000000001L + ZERO);
            case 1: return (float) (LMIN);
            case 2: return (float) (LMAX);
            case 3: return (float) (0x20000020000001L + ZERO);
            case 4: return (float) (16777217 + ZERO);
            case 5: return (float) (MAX);
            case 6: return (float) (1.0000000596046448 + DZERO);
            case 7: return (float) (1.0000000596046450 + DZERO);
            case 8: return (float) (3.4028235677973366e38 + DZERO);
            case 9: return (float) (3.4028235677973362e38 + DZERO);
            case 10: return (float) (7.006492321624085e-46 + DZERO);
            case 11: return (float) (7.006492321624087e-46 + DZERO);
            case 12: return (float) (2.1019476964872256e-45 + DZERO);
            case 13: return FMINV / 2;
            case 14: return FMINV * 1.5f;
            case 15: return 1e-30f * (1e-10f + FZERO);
            case 16: return FMAXV * 2 / 2;
            case 17: return (5.5f + FZERO) % -2f;
            case 18: return (-0.0f + FZERO * -1) % 1f;
            case 19: return FONE % FZERO;
            case 20: return FMAXV % 1.5f;
            case 21: return FINF % 2f;
            case 22: return FONE % FINF;
            case 23: return (16777216f + FZERO) + 1f;
            case 24: return -FNAN;
            case 25: return 0.1f + 0.2f + FZERO;
            case 26: return (1e38f + FZERO) * 10f / 10f;
            case 27: return (float) (DNAN);
            case 28: return (float) (-DZERO);
            case 29: return (float) (1.0e-50 + DZERO);
            case 30: return (3.0f + FZERO) / 7.0f;
            case 31: return (float) (0.1 + DZERO) * 3f;
            case 32: return -FZERO;
            case 33: return FZERO - FZERO;
            case 34: return -FZERO + FZERO;
            case 35: return (1.17549435e-38f + FZERO) * 0.5f;
            case 36: return (1.0000001f + FZERO) * (1.0000001f + FZERO);
            case 37: return (float) (0x7FFFFFBF + ZERO);
            case 38: return (float) (0x7FFFFFC0 + ZERO);
            case 39: return (1e-45f + FZERO) * 0.5f;
        }
        return -777f;
    }

    public static double d(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            PADSUM += z;
        }
        switch (n) {
            case 0: return D1E308 * 10 / 10;
            case 1: return (DONE + 1.1107651257113993e-16 * DONE);
            case 2: return DMINV / 2;
            case 3: return DMINV * 1.5;
            case 4: return DMINV * 3 / 2;
            case 5: return (2.2250738585072014E-308 + DZERO) * 0.5000000000000001;
            case 6: return (DMAXV + DZERO) * 2 / 4;
            case 7: return (5.5 + DZERO) % -2;
            case 8: return (-5.5 + DZERO) % 2;
            case 9: return (1e300 + DZERO) % 3;
            case 10: return (-DZERO) % 5;
            case 11: return (1e-320 + DZERO) % 1e-321;
            case 12: return DINF % 1;
            case 13: return DONE % DZERO;
            case 14: return (double) (LMAX);
            case 15: return (double) ((1L << 53) + 1 + ZERO);
            case 16: return (double) (0x1000000000000801L + ZERO);
            case 17: return (double) (FNAN);
            case 18: return (double) (FMINV);
            case 19: return (0.1 + DZERO) + 0.2;
            case 20: return (1.0 + DZERO) / 3.0;
            case 21: return (4.9e-324 + DZERO) * 0.5;
            case 22: return (1.5e-323 + DZERO) * 0.5;
            case 23: return (2.5e-323 + DZERO) * 0.5;
            case 24: return (1.0000000000000002 + DZERO) * (1.0000000000000002 + DZERO);
            case 25: return (3.0 + DZERO) * 0.1;
            case 26: return -DNAN;
            case 27: return -DZERO;
            case 28: return (1e308 + DZERO) + 1e308 - 1e308;
            case 29: return (0.1 + DZERO) * (0.1 + DZERO) * 1e-308 * 1e308;
            case 30: return (2.225073858507201E-308 + DZERO) / 3 * 3;
            case 31: return (double) (MIN);
            case 32: return (1.0 / 49 + DZERO) * 49;
            case 33: return (4.35 + DZERO) * 100;
            case 34: return (double) (float) (0.1 + DZERO);
            case 35: return (1e-310 + DZERO) * 1e-10 * 1e10;
            case 36: return (1.0000000000000002 + DZERO) * 1.0000000000000002 * 0.9999999999999999;
            case 37: return (6.0 + DZERO) % (DINF * -1);
            case 38: return (1.7976931348623157E308 + DZERO) * 1.0000000000000002 / 2;
            case 39: return (1e-200 + DZERO) * 1e-200 * 1e200;
        }
        return -777.0;
    }
}

class SemanticsPadded1 {
    static int PAD = -12345, PADSUM;
    public static int cases() { return 64; }

    static int MIN = Integer.MIN_VALUE, MAX = Integer.MAX_VALUE, M1 = -1, ZERO = 0, ONE = 1;
    static int S31 = 31, S32 = 32, S33 = 33, SM1 = -1, S63 = 63, S64 = 64, S65 = 65;
    static long LMIN = Long.MIN_VALUE, LMAX = Long.MAX_VALUE, LM1 = -1L, LONE = 1L;
    static float FNAN = Float.NaN, FINF = Float.POSITIVE_INFINITY, FZERO = 0f, FONE = 1f;
    static double DNAN = Double.NaN, DINF = Double.POSITIVE_INFINITY, DZERO = 0.0, DONE = 1.0;
    static float F2_31 = 2147483648f, FBELOW = -2147483904f, F1E10 = 1e10f, FALMOST = 0.9999f;
    static float FMINV = Float.MIN_VALUE, FMAXV = Float.MAX_VALUE;
    static double DMINV = Double.MIN_VALUE, DMAXV = Double.MAX_VALUE;
    static double D2_63 = 9223372036854775808.0, D1E19 = 1e19, D1E308 = 1e308;

    static int fc(float a, float b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int fc2(float a, float b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int dc(double a, double b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int dc2(double a, double b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int lc(long a, long b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }

    static int sw1(int k) {
        switch (k) {
            case -3: return 10; case -2: return 11; case -1: return 12; case 0: return 13;
            case 1: return 14; case 2: return 15; case 3: return 16;
            default: return 99;
        }
    }
    static int swMin(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case Integer.MIN_VALUE + 1: return 2;
            case Integer.MIN_VALUE + 2: return 3; case Integer.MIN_VALUE + 3: return 4;
            default: return 99;
        }
    }
    static int swMax(int k) {
        switch (k) {
            case Integer.MAX_VALUE - 3: return 1; case Integer.MAX_VALUE - 2: return 2;
            case Integer.MAX_VALUE - 1: return 3; case Integer.MAX_VALUE: return 4;
            default: return 99;
        }
    }
    static int swSparse(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case -1000000: return 2; case 0: return 3;
            case 1000000: return 4; case Integer.MAX_VALUE: return 5;
            default: return 99;
        }
    }

    public static int i(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return MIN / M1;
            case 1: return MIN % M1;
            case 2: return MIN / -2 + ZERO;
            case 3: return (7 + ZERO) % -3;
            case 4: return (-7 + ZERO) % 3;
            case 5: return ONE << S32;
            case 6: return ONE << S33;
            case 7: return M1 >>> S32;
            case 8: return M1 >>> S33;
            case 9: return MIN >> S31;
            case 10: return MIN >> S63;
            case 11: return (0xFF + ZERO) << SM1;
            case 12: return (byte) (0x1FF + ZERO);
            case 13: return (char) (M1);
            case 14: return (short) (0x12345678 + ZERO);
            case 15: return (byte) (0x80 + ZERO);
            case 16: return (int) FNAN;
            case 17: return (int) FINF;
            case 18: return (int) -FINF;
            case 19: return (int) F2_31;
            case 20: return (int) -F2_31;
            case 21: return (int) FBELOW;
            case 22: return (int) F1E10;
            case 23: return (int) FALMOST;
            case 24: return (int) -FALMOST;
            case 25: return (int) FMINV;
            case 26: return (int) DNAN;
            case 27: return (int) DINF;
            case 28: return (int) (2147483647.9 + DZERO);
            case 29: return (int) (-2147483648.9 + DZERO);
            case 30: return (int) (-2147483649.0 + DZERO);
            case 31: return (int) (2147483646.5 + DZERO);
            case 32: return fc(FNAN, FONE);
            case 33: return fc(FONE, FNAN);
            case 34: return fc(FZERO, -FZERO);
            case 35: return fc(-FINF, FINF);
            case 36: return fc2(FNAN, FONE);
            case 37: return fc2(FONE, FNAN);
            case 38: return dc(DNAN, DONE);
            case 39: return dc(DONE, DNAN);
            case 40: return dc(DZERO, -DZERO);
            case 41: return dc2(DNAN, DNAN);
            case 42: return dc2(-DZERO, DZERO);
            case 43: return lc(0x80000000L + ZERO, 0x7FFFFFFFL + ZERO);
            case 44: return lc(LM1, 0L + ZERO);
            case 45: return lc(0x100000000L + ZERO, 0xFFFFFFFFL + ZERO);
            case 46: return lc(LMIN, LMAX);
            case 47: return lc(0xFFFFFFFF00000000L + ZERO, 0xFFFFFFFEFFFFFFFFL + ZERO);
            case 48: return sw1(-3 + ZERO) * 100 + sw1(3 + ZERO) + sw1(-4 + ZERO) * 10000 + sw1(4 + ZERO) * 1000000;
            case 49: return swMin(MIN) + swMin(MIN + 3) * 10 + swMin(MAX) * 100 + swMin(MIN + 4) * 10000;
            case 50: return swMax(MAX) + swMax(MAX - 3) * 10 + swMax(MIN) * 100 + swMax(MAX - 4) * 10000;
            case 51: return swSparse(MIN) + swSparse(MAX) * 10 + swSparse(ZERO) * 100 + swSparse(1 + ZERO) * 1000;
            case 52: return (int) (LMIN >>> S32);
            case 53: return (int) (0x123456789ABCDEFL + ZERO);
            case 54: { int x = MAX; x += ONE; return x; }
            case 55: { char c = (char) (M1); c++; return c; }
            case 56: { byte b = (byte) (127 + ZERO); b++; return b; }
            case 57: { short s = (short) (-32768 + ZERO); s--; return s; }
            case 58: return MIN * M1;
            case 59: return -MIN;
            case 60: return (MIN + ZERO) / (1 + ZERO) % (3 + ZERO);
            case 61: return (int) (float) (16777217 + ZERO);
            case 62: return (int) (double) (float) (MAX);
            case 63: return (int) (DMAXV * -1);
        }
        return -777;
    }

    public static long l(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return LMIN / LM1;
            case 1: return LMIN % LM1;
            case 2: return LONE << S64;
            case 3: return LONE << S65;
            case 4: return LONE << SM1;
            case 5: return LM1 >>> S64;
            case 6: return LM1 >>> S32;
            case 7: return LMIN >> S33;
            case 8: return LMIN >>> S31;
            case 9: return (0x80000001L + ZERO) << S31;
            case 10: return (long) FNAN;
            case 11: return (long) FINF;
            case 12: return (long) -FINF;
            case 13: return (long) (float) D2_63;
            case 14: return (long) -D2_63;
            case 15: return (long) D1E19;
            case 16: return (long) -D1E19;
            case 17: return (long) (9.223372036854775E18 + DZERO);
            case 18: return (long) (4503599627370497.0 + DZERO);
            case 19: return (long) (-1.5 + DZERO);
            case 20: return (long) DNAN;
            case 21: return (long) (F1E10 * F1E10);
            case 22: return (0x7FFFFFFFFFFFFFFFL + ZERO) / 3;
            case 23: return (-7L + ZERO) % 3;
            case 24: return (7L + ZERO) % -3;
            case 25: return (0x123456789L + ZERO) * (0x987654321L + ZERO);
            case 26: return LMIN * LM1;
            case 27: return -LMIN;
            case 28: return (long) MIN;
            case 29: return (long) (MIN >>> ZERO) & 0xFFFFFFFFL;
            case 30: return (0xFFFFFFFFL + ZERO) / (0x10000L + ZERO);
            case 31: return (0xFFFFFFFF00000000L + ZERO) / (0x100000000L + ZERO);
            case 32: return (0xFFFFFFFF00000000L + ZERO) % (0x7FFFFFFFL + ZERO);
            case 33: return (long) (DMAXV);
            case 34: return (long) (-DMINV);
            case 35: return (LMIN + ZERO) >> S63;
            case 36: return (0xF0F0F0F0F0F0F0F0L + ZERO) >>> 4 ^ LM1;
            case 37: return (long) (double) (LMAX);
            case 38: return (long) (float) (0x7FFFFF7FFFFFFFFFL + ZERO);
            case 39: return (long) (-9.223372036854776E18 + DZERO);
        }
        return -777;
    }

    public static float f(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return (float) (0x1000001000000001L + ZERO);
            case 1: return (float) (LMIN);
            case 2: return (float) (LMAX);
            case 3: return (float) (0x20000020000001L + ZERO);
            case 4: return (float) (16777217 + ZERO);
            case 5: return (float) (MAX);
            case 6: return (float) (1.0000000596046448 + DZERO);
            case 7: return (float) (1.0000000596046450 + DZERO);
            case 8: return (float) (3.4028235677973366e38 + DZERO);
            case 9: return (float) (3.4028235677973362e38 + DZERO);
            case 10: return (float) (7.006492321624085e-46 + DZERO);
            case 11: return (float) (7.006492321624087e-46 + DZERO);
            case 12: return (float) (2.1019476964872256e-45 + DZERO);
            case 13: return FMINV / 2;
            case 14: return FMINV * 1.5f;
            case 15: return 1e-30f * (1e-10f + FZERO);
            case 16: return FMAXV * 2 / 2;
            case 17: return (5.5f + FZERO) % -2f;
            case 18: return (-0.0f + FZERO * -1) % 1f;
            case 19: return FONE % FZERO;
            case 20: return FMAXV % 1.5f;
            case 21: return FINF % 2f;
            case 22: return FONE % FINF;
            case 23: return (16777216f + FZERO) + 1f;
            case 24: return -FNAN;
            case 25: return 0.1f + 0.2f + FZERO;
            case 26: return (1e38f + FZERO) * 10f / 10f;
            case 27: return (float) (DNAN);
            case 28: return (float) (-DZERO);
            case 29: return (float) (1.0e-50 + DZERO);
            case 30: return (3.0f + FZERO) / 7.0f;
            case 31: return (float) (0.1 + DZERO) * 3f;
            case 32: return -FZERO;
            case 33: return FZERO - FZERO;
            case 34: return -FZERO + FZERO;
            case 35: return (1.17549435e-38f + FZERO) * 0.5f;
            case 36: return (1.0000001f + FZERO) * (1.0000001f + FZERO);
            case 37: return (float) (0x7FFFFFBF + ZERO);
            case 38: return (float) (0x7FFFFFC0 + ZERO);
            case 39: return (1e-45f + FZERO) * 0.5f;
        }
        return -777f;
    }

    public static double d(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return D1E308 * 10 / 10;
            case 1: return (DONE + 1.1107651257113993e-16 * DONE);
            case 2: return DMINV / 2;
            case 3: return DMINV * 1.5;
            case 4: return DMINV * 3 / 2;
            case 5: return (2.2250738585072014E-308 + DZERO) * 0.5000000000000001;
            case 6: return (DMAXV + DZERO) * 2 / 4;
            case 7: return (5.5 + DZERO) % -2;
            case 8: return (-5.5 + DZERO) % 2;
            case 9: return (1e300 + DZERO) % 3;
            case 10: return (-DZERO) % 5;
            case 11: return (1e-320 + DZERO) % 1e-321;
            case 12: return DINF % 1;
            case 13: return DONE % DZERO;
            case 14: return (double) (LMAX);
            case 15: return (double) ((1L << 53) + 1 + ZERO);
            case 16: return (double) (0x1000000000000801L + ZERO);
            case 17: return (double) (FNAN);
            case 18: return (double) (FMINV);
            case 19: return (0.1 + DZERO) + 0.2;
            case 20: return (1.0 + DZERO) / 3.0;
            case 21: return (4.9e-324 + DZERO) * 0.5;
            case 22: return (1.5e-323 + DZERO) * 0.5;
            case 23: return (2.5e-323 + DZERO) * 0.5;
            case 24: return (1.0000000000000002 + DZERO) * (1.0000000000000002 + DZERO);
            case 25: return (3.0 + DZERO) * 0.1;
            case 26: return -DNAN;
            case 27: return -DZERO;
            case 28: return (1e308 + DZERO) + 1e308 - 1e308;
            case 29: return (0.1 + DZERO) * (0.1 + DZERO) * 1e-308 * 1e308;
            case 30: return (2.225073858507201E-308 + DZERO) / 3 * 3;
            case 31: return (double) (MIN);
            case 32: return (1.0 / 49 + DZERO) * 49;
            case 33: return (4.35 + DZERO) * 100;
            case 34: return (double) (float) (0.1 + DZERO);
            case 35: return (1e-310 + DZERO) * 1e-10 * 1e10;
            case 36: return (1.0000000000000002 + DZERO) * 1.0000000000000002 * 0.9999999999999999;
            case 37: return (6.0 + DZERO) % (DINF * -1);
            case 38: return (1.7976931348623157E308 + DZERO) * 1.0000000000000002 / 2;
            case 39: return (1e-200 + DZERO) * 1e-200 * 1e200;
        }
        return -777.0;
    }
}

class SemanticsPadded2 {
    static int PAD = -12345, PADSUM;
    public static int cases() { return 64; }

    static int MIN = Integer.MIN_VALUE, MAX = Integer.MAX_VALUE, M1 = -1, ZERO = 0, ONE = 1;
    static int S31 = 31, S32 = 32, S33 = 33, SM1 = -1, S63 = 63, S64 = 64, S65 = 65;
    static long LMIN = Long.MIN_VALUE, LMAX = Long.MAX_VALUE, LM1 = -1L, LONE = 1L;
    static float FNAN = Float.NaN, FINF = Float.POSITIVE_INFINITY, FZERO = 0f, FONE = 1f;
    static double DNAN = Double.NaN, DINF = Double.POSITIVE_INFINITY, DZERO = 0.0, DONE = 1.0;
    static float F2_31 = 2147483648f, FBELOW = -2147483904f, F1E10 = 1e10f, FALMOST = 0.9999f;
    static float FMINV = Float.MIN_VALUE, FMAXV = Float.MAX_VALUE;
    static double DMINV = Double.MIN_VALUE, DMAXV = Double.MAX_VALUE;
    static double D2_63 = 9223372036854775808.0, D1E19 = 1e19, D1E308 = 1e308;

    static int fc(float a, float b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int fc2(float a, float b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int dc(double a, double b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int dc2(double a, double b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int lc(long a, long b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }

    static int sw1(int k) {
        switch (k) {
            case -3: return 10; case -2: return 11; case -1: return 12; case 0: return 13;
            case 1: return 14; case 2: return 15; case 3: return 16;
            default: return 99;
        }
    }
    static int swMin(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case Integer.MIN_VALUE + 1: return 2;
            case Integer.MIN_VALUE + 2: return 3; case Integer.MIN_VALUE + 3: return 4;
            default: return 99;
        }
    }
    static int swMax(int k) {
        switch (k) {
            case Integer.MAX_VALUE - 3: return 1; case Integer.MAX_VALUE - 2: return 2;
            case Integer.MAX_VALUE - 1: return 3; case Integer.MAX_VALUE: return 4;
            default: return 99;
        }
    }
    static int swSparse(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case -1000000: return 2; case 0: return 3;
            case 1000000: return 4; case Integer.MAX_VALUE: return 5;
            default: return 99;
        }
    }

    public static int i(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return MIN / M1;
            case 1: return MIN % M1;
            case 2: return MIN / -2 + ZERO;
            case 3: return (7 + ZERO) % -3;
            case 4: return (-7 + ZERO) % 3;
            case 5: return ONE << S32;
            case 6: return ONE << S33;
            case 7: return M1 >>> S32;
            case 8: return M1 >>> S33;
            case 9: return MIN >> S31;
            case 10: return MIN >> S63;
            case 11: return (0xFF + ZERO) << SM1;
            case 12: return (byte) (0x1FF + ZERO);
            case 13: return (char) (M1);
            case 14: return (short) (0x12345678 + ZERO);
            case 15: return (byte) (0x80 + ZERO);
            case 16: return (int) FNAN;
            case 17: return (int) FINF;
            case 18: return (int) -FINF;
            case 19: return (int) F2_31;
            case 20: return (int) -F2_31;
            case 21: return (int) FBELOW;
            case 22: return (int) F1E10;
            case 23: return (int) FALMOST;
            case 24: return (int) -FALMOST;
            case 25: return (int) FMINV;
            case 26: return (int) DNAN;
            case 27: return (int) DINF;
            case 28: return (int) (2147483647.9 + DZERO);
            case 29: return (int) (-2147483648.9 + DZERO);
            case 30: return (int) (-2147483649.0 + DZERO);
            case 31: return (int) (2147483646.5 + DZERO);
            case 32: return fc(FNAN, FONE);
            case 33: return fc(FONE, FNAN);
            case 34: return fc(FZERO, -FZERO);
            case 35: return fc(-FINF, FINF);
            case 36: return fc2(FNAN, FONE);
            case 37: return fc2(FONE, FNAN);
            case 38: return dc(DNAN, DONE);
            case 39: return dc(DONE, DNAN);
            case 40: return dc(DZERO, -DZERO);
            case 41: return dc2(DNAN, DNAN);
            case 42: return dc2(-DZERO, DZERO);
            case 43: return lc(0x80000000L + ZERO, 0x7FFFFFFFL + ZERO);
            case 44: return lc(LM1, 0L + ZERO);
            case 45: return lc(0x100000000L + ZERO, 0xFFFFFFFFL + ZERO);
            case 46: return lc(LMIN, LMAX);
            case 47: return lc(0xFFFFFFFF00000000L + ZERO, 0xFFFFFFFEFFFFFFFFL + ZERO);
            case 48: return sw1(-3 + ZERO) * 100 + sw1(3 + ZERO) + sw1(-4 + ZERO) * 10000 + sw1(4 + ZERO) * 1000000;
            case 49: return swMin(MIN) + swMin(MIN + 3) * 10 + swMin(MAX) * 100 + swMin(MIN + 4) * 10000;
            case 50: return swMax(MAX) + swMax(MAX - 3) * 10 + swMax(MIN) * 100 + swMax(MAX - 4) * 10000;
            case 51: return swSparse(MIN) + swSparse(MAX) * 10 + swSparse(ZERO) * 100 + swSparse(1 + ZERO) * 1000;
            case 52: return (int) (LMIN >>> S32);
            case 53: return (int) (0x123456789ABCDEFL + ZERO);
            case 54: { int x = MAX; x += ONE; return x; }
            case 55: { char c = (char) (M1); c++; return c; }
            case 56: { byte b = (byte) (127 + ZERO); b++; return b; }
            case 57: { short s = (short) (-32768 + ZERO); s--; return s; }
            case 58: return MIN * M1;
            case 59: return -MIN;
            case 60: return (MIN + ZERO) / (1 + ZERO) % (3 + ZERO);
            case 61: return (int) (float) (16777217 + ZERO);
            case 62: return (int) (double) (float) (MAX);
            case 63: return (int) (DMAXV * -1);
        }
        return -777;
    }

    public static long l(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return LMIN / LM1;
            case 1: return LMIN % LM1;
            case 2: return LONE << S64;
            case 3: return LONE << S65;
            case 4: return LONE << SM1;
            case 5: return LM1 >>> S64;
            case 6: return LM1 >>> S32;
            case 7: return LMIN >> S33;
            case 8: return LMIN >>> S31;
            case 9: return (0x80000001L + ZERO) << S31;
            case 10: return (long) FNAN;
            case 11: return (long) FINF;
            case 12: return (long) -FINF;
            case 13: return (long) (float) D2_63;
            case 14: return (long) -D2_63;
            case 15: return (long) D1E19;
            case 16: return (long) -D1E19;
            case 17: return (long) (9.223372036854775E18 + DZERO);
            case 18: return (long) (4503599627370497.0 + DZERO);
            case 19: return (long) (-1.5 + DZERO);
            case 20: return (long) DNAN;
            case 21: return (long) (F1E10 * F1E10);
            case 22: return (0x7FFFFFFFFFFFFFFFL + ZERO) / 3;
            case 23: return (-7L + ZERO) % 3;
            case 24: return (7L + ZERO) % -3;
            case 25: return (0x123456789L + ZERO) * (0x987654321L + ZERO);
            case 26: return LMIN * LM1;
            case 27: return -LMIN;
            case 28: return (long) MIN;
            case 29: return (long) (MIN >>> ZERO) & 0xFFFFFFFFL;
            case 30: return (0xFFFFFFFFL + ZERO) / (0x10000L + ZERO);
            case 31: return (0xFFFFFFFF00000000L + ZERO) / (0x100000000L + ZERO);
            case 32: return (0xFFFFFFFF00000000L + ZERO) % (0x7FFFFFFFL + ZERO);
            case 33: return (long) (DMAXV);
            case 34: return (long) (-DMINV);
            case 35: return (LMIN + ZERO) >> S63;
            case 36: return (0xF0F0F0F0F0F0F0F0L + ZERO) >>> 4 ^ LM1;
            case 37: return (long) (double) (LMAX);
            case 38: return (long) (float) (0x7FFFFF7FFFFFFFFFL + ZERO);
            case 39: return (long) (-9.223372036854776E18 + DZERO);
        }
        return -777;
    }

    public static float f(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return (float) (0x1000001000000001L + ZERO);
            case 1: return (float) (LMIN);
            case 2: return (float) (LMAX);
            case 3: return (float) (0x20000020000001L + ZERO);
            case 4: return (float) (16777217 + ZERO);
            case 5: return (float) (MAX);
            case 6: return (float) (1.0000000596046448 + DZERO);
            case 7: return (float) (1.0000000596046450 + DZERO);
            case 8: return (float) (3.4028235677973366e38 + DZERO);
            case 9: return (float) (3.4028235677973362e38 + DZERO);
            case 10: return (float) (7.006492321624085e-46 + DZERO);
            case 11: return (float) (7.006492321624087e-46 + DZERO);
            case 12: return (float) (2.1019476964872256e-45 + DZERO);
            case 13: return FMINV / 2;
            case 14: return FMINV * 1.5f;
            case 15: return 1e-30f * (1e-10f + FZERO);
            case 16: return FMAXV * 2 / 2;
            case 17: return (5.5f + FZERO) % -2f;
            case 18: return (-0.0f + FZERO * -1) % 1f;
            case 19: return FONE % FZERO;
            case 20: return FMAXV % 1.5f;
            case 21: return FINF % 2f;
            case 22: return FONE % FINF;
            case 23: return (16777216f + FZERO) + 1f;
            case 24: return -FNAN;
            case 25: return 0.1f + 0.2f + FZERO;
            case 26: return (1e38f + FZERO) * 10f / 10f;
            case 27: return (float) (DNAN);
            case 28: return (float) (-DZERO);
            case 29: return (float) (1.0e-50 + DZERO);
            case 30: return (3.0f + FZERO) / 7.0f;
            case 31: return (float) (0.1 + DZERO) * 3f;
            case 32: return -FZERO;
            case 33: return FZERO - FZERO;
            case 34: return -FZERO + FZERO;
            case 35: return (1.17549435e-38f + FZERO) * 0.5f;
            case 36: return (1.0000001f + FZERO) * (1.0000001f + FZERO);
            case 37: return (float) (0x7FFFFFBF + ZERO);
            case 38: return (float) (0x7FFFFFC0 + ZERO);
            case 39: return (1e-45f + FZERO) * 0.5f;
        }
        return -777f;
    }

    public static double d(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return D1E308 * 10 / 10;
            case 1: return (DONE + 1.1107651257113993e-16 * DONE);
            case 2: return DMINV / 2;
            case 3: return DMINV * 1.5;
            case 4: return DMINV * 3 / 2;
            case 5: return (2.2250738585072014E-308 + DZERO) * 0.5000000000000001;
            case 6: return (DMAXV + DZERO) * 2 / 4;
            case 7: return (5.5 + DZERO) % -2;
            case 8: return (-5.5 + DZERO) % 2;
            case 9: return (1e300 + DZERO) % 3;
            case 10: return (-DZERO) % 5;
            case 11: return (1e-320 + DZERO) % 1e-321;
            case 12: return DINF % 1;
            case 13: return DONE % DZERO;
            case 14: return (double) (LMAX);
            case 15: return (double) ((1L << 53) + 1 + ZERO);
            case 16: return (double) (0x1000000000000801L + ZERO);
            case 17: return (double) (FNAN);
            case 18: return (double) (FMINV);
            case 19: return (0.1 + DZERO) + 0.2;
            case 20: return (1.0 + DZERO) / 3.0;
            case 21: return (4.9e-324 + DZERO) * 0.5;
            case 22: return (1.5e-323 + DZERO) * 0.5;
            case 23: return (2.5e-323 + DZERO) * 0.5;
            case 24: return (1.0000000000000002 + DZERO) * (1.0000000000000002 + DZERO);
            case 25: return (3.0 + DZERO) * 0.1;
            case 26: return -DNAN;
            case 27: return -DZERO;
            case 28: return (1e308 + DZERO) + 1e308 - 1e308;
            case 29: return (0.1 + DZERO) * (0.1 + DZERO) * 1e-308 * 1e308;
            case 30: return (2.225073858507201E-308 + DZERO) / 3 * 3;
            case 31: return (double) (MIN);
            case 32: return (1.0 / 49 + DZERO) * 49;
            case 33: return (4.35 + DZERO) * 100;
            case 34: return (double) (float) (0.1 + DZERO);
            case 35: return (1e-310 + DZERO) * 1e-10 * 1e10;
            case 36: return (1.0000000000000002 + DZERO) * 1.0000000000000002 * 0.9999999999999999;
            case 37: return (6.0 + DZERO) % (DINF * -1);
            case 38: return (1.7976931348623157E308 + DZERO) * 1.0000000000000002 / 2;
            case 39: return (1e-200 + DZERO) * 1e-200 * 1e200;
        }
        return -777.0;
    }
}

class SemanticsPadded3 {
    static int PAD = -12345, PADSUM;
    public static int cases() { return 64; }

    static int MIN = Integer.MIN_VALUE, MAX = Integer.MAX_VALUE, M1 = -1, ZERO = 0, ONE = 1;
    static int S31 = 31, S32 = 32, S33 = 33, SM1 = -1, S63 = 63, S64 = 64, S65 = 65;
    static long LMIN = Long.MIN_VALUE, LMAX = Long.MAX_VALUE, LM1 = -1L, LONE = 1L;
    static float FNAN = Float.NaN, FINF = Float.POSITIVE_INFINITY, FZERO = 0f, FONE = 1f;
    static double DNAN = Double.NaN, DINF = Double.POSITIVE_INFINITY, DZERO = 0.0, DONE = 1.0;
    static float F2_31 = 2147483648f, FBELOW = -2147483904f, F1E10 = 1e10f, FALMOST = 0.9999f;
    static float FMINV = Float.MIN_VALUE, FMAXV = Float.MAX_VALUE;
    static double DMINV = Double.MIN_VALUE, DMAXV = Double.MAX_VALUE;
    static double D2_63 = 9223372036854775808.0, D1E19 = 1e19, D1E308 = 1e308;

    static int fc(float a, float b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int fc2(float a, float b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int dc(double a, double b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }
    static int dc2(double a, double b) { return (a <= b ? 1 : 0) | (a >= b ? 2 : 0) | (a != b ? 4 : 0); }
    static int lc(long a, long b) { return a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 9)); }

    static int sw1(int k) {
        switch (k) {
            case -3: return 10; case -2: return 11; case -1: return 12; case 0: return 13;
            case 1: return 14; case 2: return 15; case 3: return 16;
            default: return 99;
        }
    }
    static int swMin(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case Integer.MIN_VALUE + 1: return 2;
            case Integer.MIN_VALUE + 2: return 3; case Integer.MIN_VALUE + 3: return 4;
            default: return 99;
        }
    }
    static int swMax(int k) {
        switch (k) {
            case Integer.MAX_VALUE - 3: return 1; case Integer.MAX_VALUE - 2: return 2;
            case Integer.MAX_VALUE - 1: return 3; case Integer.MAX_VALUE: return 4;
            default: return 99;
        }
    }
    static int swSparse(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return 1; case -1000000: return 2; case 0: return 3;
            case 1000000: return 4; case Integer.MAX_VALUE: return 5;
            default: return 99;
        }
    }

    public static int i(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return MIN / M1;
            case 1: return MIN % M1;
            case 2: return MIN / -2 + ZERO;
            case 3: return (7 + ZERO) % -3;
            case 4: return (-7 + ZERO) % 3;
            case 5: return ONE << S32;
            case 6: return ONE << S33;
            case 7: return M1 >>> S32;
            case 8: return M1 >>> S33;
            case 9: return MIN >> S31;
            case 10: return MIN >> S63;
            case 11: return (0xFF + ZERO) << SM1;
            case 12: return (byte) (0x1FF + ZERO);
            case 13: return (char) (M1);
            case 14: return (short) (0x12345678 + ZERO);
            case 15: return (byte) (0x80 + ZERO);
            case 16: return (int) FNAN;
            case 17: return (int) FINF;
            case 18: return (int) -FINF;
            case 19: return (int) F2_31;
            case 20: return (int) -F2_31;
            case 21: return (int) FBELOW;
            case 22: return (int) F1E10;
            case 23: return (int) FALMOST;
            case 24: return (int) -FALMOST;
            case 25: return (int) FMINV;
            case 26: return (int) DNAN;
            case 27: return (int) DINF;
            case 28: return (int) (2147483647.9 + DZERO);
            case 29: return (int) (-2147483648.9 + DZERO);
            case 30: return (int) (-2147483649.0 + DZERO);
            case 31: return (int) (2147483646.5 + DZERO);
            case 32: return fc(FNAN, FONE);
            case 33: return fc(FONE, FNAN);
            case 34: return fc(FZERO, -FZERO);
            case 35: return fc(-FINF, FINF);
            case 36: return fc2(FNAN, FONE);
            case 37: return fc2(FONE, FNAN);
            case 38: return dc(DNAN, DONE);
            case 39: return dc(DONE, DNAN);
            case 40: return dc(DZERO, -DZERO);
            case 41: return dc2(DNAN, DNAN);
            case 42: return dc2(-DZERO, DZERO);
            case 43: return lc(0x80000000L + ZERO, 0x7FFFFFFFL + ZERO);
            case 44: return lc(LM1, 0L + ZERO);
            case 45: return lc(0x100000000L + ZERO, 0xFFFFFFFFL + ZERO);
            case 46: return lc(LMIN, LMAX);
            case 47: return lc(0xFFFFFFFF00000000L + ZERO, 0xFFFFFFFEFFFFFFFFL + ZERO);
            case 48: return sw1(-3 + ZERO) * 100 + sw1(3 + ZERO) + sw1(-4 + ZERO) * 10000 + sw1(4 + ZERO) * 1000000;
            case 49: return swMin(MIN) + swMin(MIN + 3) * 10 + swMin(MAX) * 100 + swMin(MIN + 4) * 10000;
            case 50: return swMax(MAX) + swMax(MAX - 3) * 10 + swMax(MIN) * 100 + swMax(MAX - 4) * 10000;
            case 51: return swSparse(MIN) + swSparse(MAX) * 10 + swSparse(ZERO) * 100 + swSparse(1 + ZERO) * 1000;
            case 52: return (int) (LMIN >>> S32);
            case 53: return (int) (0x123456789ABCDEFL + ZERO);
            case 54: { int x = MAX; x += ONE; return x; }
            case 55: { char c = (char) (M1); c++; return c; }
            case 56: { byte b = (byte) (127 + ZERO); b++; return b; }
            case 57: { short s = (short) (-32768 + ZERO); s--; return s; }
            case 58: return MIN * M1;
            case 59: return -MIN;
            case 60: return (MIN + ZERO) / (1 + ZERO) % (3 + ZERO);
            case 61: return (int) (float) (16777217 + ZERO);
            case 62: return (int) (double) (float) (MAX);
            case 63: return (int) (DMAXV * -1);
        }
        return -777;
    }

    public static long l(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return LMIN / LM1;
            case 1: return LMIN % LM1;
            case 2: return LONE << S64;
            case 3: return LONE << S65;
            case 4: return LONE << SM1;
            case 5: return LM1 >>> S64;
            case 6: return LM1 >>> S32;
            case 7: return LMIN >> S33;
            case 8: return LMIN >>> S31;
            case 9: return (0x80000001L + ZERO) << S31;
            case 10: return (long) FNAN;
            case 11: return (long) FINF;
            case 12: return (long) -FINF;
            case 13: return (long) (float) D2_63;
            case 14: return (long) -D2_63;
            case 15: return (long) D1E19;
            case 16: return (long) -D1E19;
            case 17: return (long) (9.223372036854775E18 + DZERO);
            case 18: return (long) (4503599627370497.0 + DZERO);
            case 19: return (long) (-1.5 + DZERO);
            case 20: return (long) DNAN;
            case 21: return (long) (F1E10 * F1E10);
            case 22: return (0x7FFFFFFFFFFFFFFFL + ZERO) / 3;
            case 23: return (-7L + ZERO) % 3;
            case 24: return (7L + ZERO) % -3;
            case 25: return (0x123456789L + ZERO) * (0x987654321L + ZERO);
            case 26: return LMIN * LM1;
            case 27: return -LMIN;
            case 28: return (long) MIN;
            case 29: return (long) (MIN >>> ZERO) & 0xFFFFFFFFL;
            case 30: return (0xFFFFFFFFL + ZERO) / (0x10000L + ZERO);
            case 31: return (0xFFFFFFFF00000000L + ZERO) / (0x100000000L + ZERO);
            case 32: return (0xFFFFFFFF00000000L + ZERO) % (0x7FFFFFFFL + ZERO);
            case 33: return (long) (DMAXV);
            case 34: return (long) (-DMINV);
            case 35: return (LMIN + ZERO) >> S63;
            case 36: return (0xF0F0F0F0F0F0F0F0L + ZERO) >>> 4 ^ LM1;
            case 37: return (long) (double) (LMAX);
            case 38: return (long) (float) (0x7FFFFF7FFFFFFFFFL + ZERO);
            case 39: return (long) (-9.223372036854776E18 + DZERO);
        }
        return -777;
    }

    public static float f(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return (float) (0x1000001000000001L + ZERO);
            case 1: return (float) (LMIN);
            case 2: return (float) (LMAX);
            case 3: return (float) (0x20000020000001L + ZERO);
            case 4: return (float) (16777217 + ZERO);
            case 5: return (float) (MAX);
            case 6: return (float) (1.0000000596046448 + DZERO);
            case 7: return (float) (1.0000000596046450 + DZERO);
            case 8: return (float) (3.4028235677973366e38 + DZERO);
            case 9: return (float) (3.4028235677973362e38 + DZERO);
            case 10: return (float) (7.006492321624085e-46 + DZERO);
            case 11: return (float) (7.006492321624087e-46 + DZERO);
            case 12: return (float) (2.1019476964872256e-45 + DZERO);
            case 13: return FMINV / 2;
            case 14: return FMINV * 1.5f;
            case 15: return 1e-30f * (1e-10f + FZERO);
            case 16: return FMAXV * 2 / 2;
            case 17: return (5.5f + FZERO) % -2f;
            case 18: return (-0.0f + FZERO * -1) % 1f;
            case 19: return FONE % FZERO;
            case 20: return FMAXV % 1.5f;
            case 21: return FINF % 2f;
            case 22: return FONE % FINF;
            case 23: return (16777216f + FZERO) + 1f;
            case 24: return -FNAN;
            case 25: return 0.1f + 0.2f + FZERO;
            case 26: return (1e38f + FZERO) * 10f / 10f;
            case 27: return (float) (DNAN);
            case 28: return (float) (-DZERO);
            case 29: return (float) (1.0e-50 + DZERO);
            case 30: return (3.0f + FZERO) / 7.0f;
            case 31: return (float) (0.1 + DZERO) * 3f;
            case 32: return -FZERO;
            case 33: return FZERO - FZERO;
            case 34: return -FZERO + FZERO;
            case 35: return (1.17549435e-38f + FZERO) * 0.5f;
            case 36: return (1.0000001f + FZERO) * (1.0000001f + FZERO);
            case 37: return (float) (0x7FFFFFBF + ZERO);
            case 38: return (float) (0x7FFFFFC0 + ZERO);
            case 39: return (1e-45f + FZERO) * 0.5f;
        }
        return -777f;
    }

    public static double d(int n) {
        if (n == PAD) {
            int z = 0;
            PADSUM += n * 200;
            PADSUM += n * 201;
            PADSUM += n * 202;
            PADSUM += n * 203;
            PADSUM += n * 204;
            PADSUM += n * 205;
            PADSUM += n * 206;
            PADSUM += n * 207;
            PADSUM += n * 208;
            PADSUM += n * 209;
            PADSUM += n * 210;
            PADSUM += n * 211;
            PADSUM += n * 212;
            PADSUM += n * 213;
            PADSUM += n * 214;
            PADSUM += n * 215;
            PADSUM += n * 216;
            PADSUM += n * 217;
            PADSUM += n * 218;
            PADSUM += n * 219;
            PADSUM += n * 220;
            PADSUM += n * 221;
            PADSUM += n * 222;
            PADSUM += n * 223;
            PADSUM += n * 224;
            PADSUM += n * 225;
            PADSUM += n * 226;
            PADSUM += n * 227;
            PADSUM += n * 228;
            PADSUM += n * 229;
            PADSUM += n * 230;
            PADSUM += n * 231;
            PADSUM += n * 232;
            PADSUM += n * 233;
            PADSUM += n * 234;
            PADSUM += n * 235;
            PADSUM += n * 236;
            PADSUM += n * 237;
            PADSUM += n * 238;
            PADSUM += n * 239;
            PADSUM += n * 240;
            PADSUM += n * 241;
            PADSUM += n * 242;
            PADSUM += n * 243;
            PADSUM += n * 244;
            PADSUM += n * 245;
            PADSUM += n * 246;
            PADSUM += n * 247;
            PADSUM += n * 248;
            PADSUM += n * 249;
            PADSUM += n * 250;
            PADSUM += n * 251;
            PADSUM += n * 252;
            PADSUM += n * 253;
            PADSUM += n * 254;
            PADSUM += n * 255;
            PADSUM += n * 256;
            PADSUM += n * 257;
            PADSUM += n * 258;
            PADSUM += n * 259;
            PADSUM += n * 260;
            PADSUM += n * 261;
            PADSUM += n * 262;
            PADSUM += n * 263;
            PADSUM += n * 264;
            PADSUM += n * 265;
            PADSUM += n * 266;
            PADSUM += n * 267;
            PADSUM += n * 268;
            PADSUM += n * 269;
            PADSUM += n * 270;
            PADSUM += n * 271;
            PADSUM += n * 272;
            PADSUM += n * 273;
            PADSUM += n * 274;
            PADSUM += n * 275;
            PADSUM += n * 276;
            PADSUM += n * 277;
            PADSUM += n * 278;
            PADSUM += n * 279;
            z++;
            z++;
            z++;
            PADSUM += z;
        }
        switch (n) {
            case 0: return D1E308 * 10 / 10;
            case 1: return (DONE + 1.1107651257113993e-16 * DONE);
            case 2: return DMINV / 2;
            case 3: return DMINV * 1.5;
            case 4: return DMINV * 3 / 2;
            case 5: return (2.2250738585072014E-308 + DZERO) * 0.5000000000000001;
            case 6: return (DMAXV + DZERO) * 2 / 4;
            case 7: return (5.5 + DZERO) % -2;
            case 8: return (-5.5 + DZERO) % 2;
            case 9: return (1e300 + DZERO) % 3;
            case 10: return (-DZERO) % 5;
            case 11: return (1e-320 + DZERO) % 1e-321;
            case 12: return DINF % 1;
            case 13: return DONE % DZERO;
            case 14: return (double) (LMAX);
            case 15: return (double) ((1L << 53) + 1 + ZERO);
            case 16: return (double) (0x1000000000000801L + ZERO);
            case 17: return (double) (FNAN);
            case 18: return (double) (FMINV);
            case 19: return (0.1 + DZERO) + 0.2;
            case 20: return (1.0 + DZERO) / 3.0;
            case 21: return (4.9e-324 + DZERO) * 0.5;
            case 22: return (1.5e-323 + DZERO) * 0.5;
            case 23: return (2.5e-323 + DZERO) * 0.5;
            case 24: return (1.0000000000000002 + DZERO) * (1.0000000000000002 + DZERO);
            case 25: return (3.0 + DZERO) * 0.1;
            case 26: return -DNAN;
            case 27: return -DZERO;
            case 28: return (1e308 + DZERO) + 1e308 - 1e308;
            case 29: return (0.1 + DZERO) * (0.1 + DZERO) * 1e-308 * 1e308;
            case 30: return (2.225073858507201E-308 + DZERO) / 3 * 3;
            case 31: return (double) (MIN);
            case 32: return (1.0 / 49 + DZERO) * 49;
            case 33: return (4.35 + DZERO) * 100;
            case 34: return (double) (float) (0.1 + DZERO);
            case 35: return (1e-310 + DZERO) * 1e-10 * 1e10;
            case 36: return (1.0000000000000002 + DZERO) * 1.0000000000000002 * 0.9999999999999999;
            case 37: return (6.0 + DZERO) % (DINF * -1);
            case 38: return (1.7976931348623157E308 + DZERO) * 1.0000000000000002 / 2;
            case 39: return (1e-200 + DZERO) * 1e-200 * 1e200;
        }
        return -777.0;
    }
}
