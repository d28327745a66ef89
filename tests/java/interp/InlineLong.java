package interp;

/* The bodies of Inline.checkA to checkD in methods padded past 776 bytes of code, each variant moving it
   by three more bytes, so that its instructions meet the pieces' boundaries at other
   places. */
public class InlineLong {
    static int PAD = 0;

    public static int check0(int seed) {
        int pad = PAD;

        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check1(int seed) {
        int pad = PAD;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check2(int seed) {
        int pad = PAD;
        pad += 0;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check3(int seed) {
        int pad = PAD;
        pad += 0;
        pad += 0;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check4(int seed) {
        int pad = PAD;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check5(int seed) {
        int pad = PAD;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check6(int seed) {
        int pad = PAD;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }

    public static int check7(int seed) {
        int pad = PAD;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        pad += 0;
        if (pad != 0) {
            pad += PAD * 1000;
            pad += PAD * 1001;
            pad += PAD * 1002;
            pad += PAD * 1003;
            pad += PAD * 1004;
            pad += PAD * 1005;
            pad += PAD * 1006;
            pad += PAD * 1007;
            pad += PAD * 1008;
            pad += PAD * 1009;
            pad += PAD * 1010;
            pad += PAD * 1011;
            pad += PAD * 1012;
            pad += PAD * 1013;
            pad += PAD * 1014;
            pad += PAD * 1015;
            pad += PAD * 1016;
            pad += PAD * 1017;
            pad += PAD * 1018;
            pad += PAD * 1019;
            pad += PAD * 1020;
            pad += PAD * 1021;
            pad += PAD * 1022;
            pad += PAD * 1023;
            pad += PAD * 1024;
            pad += PAD * 1025;
            pad += PAD * 1026;
            pad += PAD * 1027;
            pad += PAD * 1028;
            pad += PAD * 1029;
            pad += PAD * 1030;
            pad += PAD * 1031;
            pad += PAD * 1032;
            pad += PAD * 1033;
            pad += PAD * 1034;
            pad += PAD * 1035;
            pad += PAD * 1036;
            pad += PAD * 1037;
            pad += PAD * 1038;
            pad += PAD * 1039;
            pad += PAD * 1040;
            pad += PAD * 1041;
            pad += PAD * 1042;
            pad += PAD * 1043;
            pad += PAD * 1044;
            pad += PAD * 1045;
            pad += PAD * 1046;
            pad += PAD * 1047;
            pad += PAD * 1048;
            pad += PAD * 1049;
            pad += PAD * 1050;
            pad += PAD * 1051;
            pad += PAD * 1052;
            pad += PAD * 1053;
            pad += PAD * 1054;
            pad += PAD * 1055;
            pad += PAD * 1056;
            pad += PAD * 1057;
            pad += PAD * 1058;
            pad += PAD * 1059;
            pad += PAD * 1060;
            pad += PAD * 1061;
            pad += PAD * 1062;
            pad += PAD * 1063;
            pad += PAD * 1064;
            pad += PAD * 1065;
            pad += PAD * 1066;
            pad += PAD * 1067;
            pad += PAD * 1068;
            pad += PAD * 1069;
            pad += PAD * 1070;
            pad += PAD * 1071;
            pad += PAD * 1072;
            pad += PAD * 1073;
            pad += PAD * 1074;
            pad += PAD * 1075;
            pad += PAD * 1076;
            pad += PAD * 1077;
            pad += PAD * 1078;
            pad += PAD * 1079;
            pad += PAD * 1080;
            pad += PAD * 1081;
            pad += PAD * 1082;
            pad += PAD * 1083;
            pad += PAD * 1084;
            pad += PAD * 1085;
            pad += PAD * 1086;
            pad += PAD * 1087;
            pad += PAD * 1088;
            pad += PAD * 1089;
            return pad;
        }
        Inline.Sub unused = null;
        if (unused != null) return -1;
        {
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
        }
        {
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
        }
        {
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
        }
        {
        int m = seed;
        int i = 0;
        Inline p = new Inline();
        Inline.Sub q = new Inline.Sub();
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
        if (((Inline) q).fi != 21 || ((Inline.Sub) pq).fl != 5 || q.fd != 0.0) return 33;
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
        }
        return 0;
    }
}
