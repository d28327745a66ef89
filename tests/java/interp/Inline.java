package interp;

/* Every instruction the dispatch loops carry out themselves, with its edge cases, and
   the quick field forms on a hierarchy with shadowed fields and on an object whose
   fields run past its block. checkA to checkD answer 0 when every check holds, else the number of
   the first that failed; InlineLong repeats their bodies in methods padded past 776 bytes
   (the slow loop). */
public class Inline {
    int fi;
    long fl;
    double fd;
    Object fo;
    byte fb;
    char fc;
    short fs;
    float ff;
    boolean fz;

    static class Sub extends Inline {
        int fi;
        long fl;
        Object fo;
    }

    public static int checkA(int seed) {
        int m = seed;
        int a = -1, b = 5, c = 127, d = -128, e = 32767, f = -32768, g = 0x7FFFFFFF, h = 0x80000000;
        if (a + b != 4) return 1;
        if (c + 1 != 128 || d - 1 != -129) return 2;
        if (e + 1 != 32768 || f - 1 != -32769) return 3;
        if (g + 1 != h || h - 1 != g || g * 2 != -2 || -h != h || h / -1 != h) return 4;
        if ((m << 33) != (m << 1) || (h >> 31) != -1 || (h >>> 31) != 1 || (m << -1) != (m << 31)) return 5;
        if ((m & 3) != 3 || (m | 8) != 15 || (m ^ -1) != -8 || (m ^ 5) != 2) return 6;
        if ((byte) (m * 40) != 24 || (byte) (h + 200) != -56 || (char) (a * m) != 65529 || (short) (m * 6000) != -23536) return 7;
        int i = 10;
        i += 127;
        i -= 128;
        if (i != 9) return 8;
        i += 1000;
        if (i != 1009) return 9;
        long w = 0x123456789L * m;
        long w2 = w;
        double x = 1.5 * m;
        double x2 = x;
        if (w2 != 0x7F6E5D4BFL || x2 != 10.5) return 10;
        return 0;
    }

    public static int checkC(int seed) {
        int m = seed;
        int i = 0;
        int[] ia = new int[300];
        byte[] ba = new byte[1000];
        char[] ca = new char[500];
        short[] sa = new short[500];
        float[] fa = new float[300];
        Object[] oa = new Object[300];
        boolean[] za = new boolean[900];
        for (int k = 0; k < ia.length; k++) ia[k] = k * m;
        if (ia[193] != 1351 || ia[194] != 1358 || ia[299] != 2093 || ia.length != 300) return 11;
        for (int k = 0; k < ba.length; k++) ba[k] = (byte) (k + m);
        if (ba[1] != 8 || ba[121] != -128 || ba[775] != 14 || ba[776] != 15 || ba[999] != -18) return 12;
        for (int k = 0; k < ca.length; k++) ca[k] = (char) (k * -m);
        if (ca[0] != 0 || ca[1] != 65529 || ca[387] != 62827 || ca[388] != 62820 || ca[499] != 62043) return 13;
        for (int k = 0; k < sa.length; k++) sa[k] = (short) (k * 1000);
        if (sa[32] != 32000 || sa[33] != -32536 || sa[388] != -5216 || sa[499] != -25288) return 14;
        fa[250] = 2.5f;
        fa[1] = -0.0f;
        if (fa[250] != 2.5f || fa[0] != 0.0f || 1 / fa[1] != Float.NEGATIVE_INFINITY) return 15;
        oa[299] = ia;
        oa[0] = ba;
        if (oa[299] != ia || oa[0] != ba || oa[1] != null) return 16;
        za[899] = true;
        if (!za[899] || za[898]) return 17;
        try {
            ia[300] = 1;
            return 20;
        } catch (ArrayIndexOutOfBoundsException ex) {
        }
        try {
            i = ia[-1];
            return 21;
        } catch (ArrayIndexOutOfBoundsException ex) {
        }
        try {
            i = ba[1000] + ca[-5] + sa[500];
            return 22;
        } catch (ArrayIndexOutOfBoundsException ex) {
        }
        int[] none = m > 100 ? ia : null;
        try {
            none[0] = 1;
            return 23;
        } catch (NullPointerException ex) {
        }
        try {
            i = none.length;
            return 24;
        } catch (NullPointerException ex) {
        }
        ia[3]++;
        ia[4] += ia[3]--;
        if (ia[3] != 21 || ia[4] != 50) return 25;
        int y, z;
        y = z = m * 3;
        if (y != 21 || z != 21) return 26;
        return 0;
    }

    public static int checkB(int seed) {
        int m = seed;
        int g = 0x7FFFFFFF, h = 0x80000000;
        int i = 0;
        int[] ia = new int[2];
        byte[] ba = new byte[2];
        Object o1 = ia, o2 = ba, on = m > 100 ? o1 : null;
        if (o1 == o2 || o1 != ia || on != null || o1 == null) return 27;
        int br = 0;
        for (int k = -3; k <= 3; k++) {
            if (k == 0) br += 1;
            if (k != 0) br += 2;
            if (k < 0) br += 4;
            if (k >= 0) br += 8;
            if (k > 0) br += 16;
            if (k <= 0) br += 32;
            if (k == m - 7) br += 64;
            if (k != m - 7) br += 128;
            if (k < m - 8) br += 256;
            if (k >= m - 8) br += 512;
            if (k > m - 6) br += 1024;
            if (k <= m - 6) br += 2048;
            if ((k < 0 ? h : g) < k) br += 4096;
        }
        if (br != 28713) return 28;
        return 0;
    }

    public static int checkD(int seed) {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Sub q = new Sub();
        Inline pq = q;
        p.fi = m;
        p.fl = 1L << 40;
        p.fd = -0.0;
        p.fo = p;
        p.fb = (byte) -1;
        p.fc = 'z';
        p.fs = -2;
        p.ff = 1.25f;
        p.fz = true;
        q.fi = 2 * m;
        pq.fi = 3 * m;
        q.fl = 5;
        pq.fl = 6;
        q.fo = q;
        pq.fo = p;
        if (p.fi != 7 || p.fl != 1L << 40 || 1 / p.fd != Double.NEGATIVE_INFINITY || p.fo != p) return 30;
        if (p.fb != -1 || p.fc != 'z' || p.fs != -2 || p.ff != 1.25f || !p.fz) return 31;
        if (q.fi != 14 || pq.fi != 21 || q.fl != 5 || pq.fl != 6 || q.fo != q || pq.fo != p) return 32;
        if (((Inline) q).fi != 21 || ((Sub) pq).fl != 5 || q.fd != 0.0) return 33;
        q.fl += q.fi;
        pq.fl -= pq.fi;
        if (q.fl != 19 || pq.fl != -15) return 34;
        Inline nd = m > 100 ? p : null;
        try {
            i = nd.fi;
            return 35;
        } catch (NullPointerException ex) {
        }
        try {
            nd.fl = 1;
            return 36;
        } catch (NullPointerException ex) {
        }
        try {
            nd.fo = p;
            return 37;
        } catch (NullPointerException ex) {
        }
        Many wide = new Many();
        wide.set(m);
        if (wide.f0 != 7 || wide.f99 != 8 || wide.f199 != 9 || wide.f209 != 10 || wide.l0 != 11 || wide.l1 != 12) return 38;
        wide.f209 += wide.f199;
        wide.l1 -= wide.l0;
        if (wide.f209 != 19 || wide.l1 != 1 || wide.sum() != 7 + 8 + 9 + 19 + 11 + 1) return 39;
        return 0;
    }
}

class Many {
    int f0;
    int f1;
    int f2;
    int f3;
    int f4;
    int f5;
    int f6;
    int f7;
    int f8;
    int f9;
    int f10;
    int f11;
    int f12;
    int f13;
    int f14;
    int f15;
    int f16;
    int f17;
    int f18;
    int f19;
    int f20;
    int f21;
    int f22;
    int f23;
    int f24;
    int f25;
    int f26;
    int f27;
    int f28;
    int f29;
    int f30;
    int f31;
    int f32;
    int f33;
    int f34;
    int f35;
    int f36;
    int f37;
    int f38;
    int f39;
    int f40;
    int f41;
    int f42;
    int f43;
    int f44;
    int f45;
    int f46;
    int f47;
    int f48;
    int f49;
    int f50;
    int f51;
    int f52;
    int f53;
    int f54;
    int f55;
    int f56;
    int f57;
    int f58;
    int f59;
    int f60;
    int f61;
    int f62;
    int f63;
    int f64;
    int f65;
    int f66;
    int f67;
    int f68;
    int f69;
    int f70;
    int f71;
    int f72;
    int f73;
    int f74;
    int f75;
    int f76;
    int f77;
    int f78;
    int f79;
    int f80;
    int f81;
    int f82;
    int f83;
    int f84;
    int f85;
    int f86;
    int f87;
    int f88;
    int f89;
    int f90;
    int f91;
    int f92;
    int f93;
    int f94;
    int f95;
    int f96;
    int f97;
    int f98;
    int f99;
    int f100;
    int f101;
    int f102;
    int f103;
    int f104;
    int f105;
    int f106;
    int f107;
    int f108;
    int f109;
    int f110;
    int f111;
    int f112;
    int f113;
    int f114;
    int f115;
    int f116;
    int f117;
    int f118;
    int f119;
    int f120;
    int f121;
    int f122;
    int f123;
    int f124;
    int f125;
    int f126;
    int f127;
    int f128;
    int f129;
    int f130;
    int f131;
    int f132;
    int f133;
    int f134;
    int f135;
    int f136;
    int f137;
    int f138;
    int f139;
    int f140;
    int f141;
    int f142;
    int f143;
    int f144;
    int f145;
    int f146;
    int f147;
    int f148;
    int f149;
    int f150;
    int f151;
    int f152;
    int f153;
    int f154;
    int f155;
    int f156;
    int f157;
    int f158;
    int f159;
    int f160;
    int f161;
    int f162;
    int f163;
    int f164;
    int f165;
    int f166;
    int f167;
    int f168;
    int f169;
    int f170;
    int f171;
    int f172;
    int f173;
    int f174;
    int f175;
    int f176;
    int f177;
    int f178;
    int f179;
    int f180;
    int f181;
    int f182;
    int f183;
    int f184;
    int f185;
    int f186;
    int f187;
    int f188;
    int f189;
    int f190;
    int f191;
    int f192;
    int f193;
    int f194;
    int f195;
    int f196;
    int f197;
    int f198;
    int f199;
    int f200;
    int f201;
    int f202;
    int f203;
    int f204;
    int f205;
    int f206;
    int f207;
    int f208;
    int f209;
    long l0;
    long l1;

    void set(int m) {
        f0 = m;
        f99 = m + 1;
        f199 = m + 2;
        f209 = m + 3;
        l0 = m + 4;
        l1 = m + 5;
    }

    long sum() { return f0 + f99 + f199 + f209 + l0 + l1; }
}
