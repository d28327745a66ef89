package interp;

/* The same computation in a short method and in methods padded past 776 bytes of code,
   which run in the slow loop; the padding shifts the switches across the first piece
   boundary of the code in each variant. */
public class Long776 {
    static int PAD = 0;

    static int helper(int i) { return i * 7 - 3; }

    public static int calcShort(int n) {
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc0(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc1(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc2(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
            p += PAD * 1071;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc3(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
            p += PAD * 1071;
            p += PAD * 1072;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc4(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
            p += PAD * 1071;
            p += PAD * 1072;
            p += PAD * 1073;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc5(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
            p += PAD * 1071;
            p += PAD * 1072;
            p += PAD * 1073;
            p += PAD * 1074;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc6(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
            p += PAD * 1071;
            p += PAD * 1072;
            p += PAD * 1073;
            p += PAD * 1074;
            p += PAD * 1075;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    public static int calc7(int n) {
        int p = PAD;
        if (p != 0) {
            p += PAD * 1000;
            p += PAD * 1001;
            p += PAD * 1002;
            p += PAD * 1003;
            p += PAD * 1004;
            p += PAD * 1005;
            p += PAD * 1006;
            p += PAD * 1007;
            p += PAD * 1008;
            p += PAD * 1009;
            p += PAD * 1010;
            p += PAD * 1011;
            p += PAD * 1012;
            p += PAD * 1013;
            p += PAD * 1014;
            p += PAD * 1015;
            p += PAD * 1016;
            p += PAD * 1017;
            p += PAD * 1018;
            p += PAD * 1019;
            p += PAD * 1020;
            p += PAD * 1021;
            p += PAD * 1022;
            p += PAD * 1023;
            p += PAD * 1024;
            p += PAD * 1025;
            p += PAD * 1026;
            p += PAD * 1027;
            p += PAD * 1028;
            p += PAD * 1029;
            p += PAD * 1030;
            p += PAD * 1031;
            p += PAD * 1032;
            p += PAD * 1033;
            p += PAD * 1034;
            p += PAD * 1035;
            p += PAD * 1036;
            p += PAD * 1037;
            p += PAD * 1038;
            p += PAD * 1039;
            p += PAD * 1040;
            p += PAD * 1041;
            p += PAD * 1042;
            p += PAD * 1043;
            p += PAD * 1044;
            p += PAD * 1045;
            p += PAD * 1046;
            p += PAD * 1047;
            p += PAD * 1048;
            p += PAD * 1049;
            p += PAD * 1050;
            p += PAD * 1051;
            p += PAD * 1052;
            p += PAD * 1053;
            p += PAD * 1054;
            p += PAD * 1055;
            p += PAD * 1056;
            p += PAD * 1057;
            p += PAD * 1058;
            p += PAD * 1059;
            p += PAD * 1060;
            p += PAD * 1061;
            p += PAD * 1062;
            p += PAD * 1063;
            p += PAD * 1064;
            p += PAD * 1065;
            p += PAD * 1066;
            p += PAD * 1067;
            p += PAD * 1068;
            p += PAD * 1069;
            p += PAD * 1070;
            p += PAD * 1071;
            p += PAD * 1072;
            p += PAD * 1073;
            p += PAD * 1074;
            p += PAD * 1075;
            p += PAD * 1076;
        }
        if (p != 0) return p;
        int x = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 7) {
                case 0: x += 3; break;
                case 1: x ^= i; break;
                case 2: x -= i * 2; break;
                case 3: x += helper(i); break;
                case 4: x *= 3; break;
                case 5: x += 11; break;
                default: x--;
            }
            switch (i * 1000) {
                case 0: x += 7; break;
                case 3000: x -= 7; break;
                case 5000: x <<= 1; break;
                case -1: x = 0; break;
                default: x += 1;
            }
            try {
                if (i % 5 == 4) throw new IllegalStateException();
                x += 1;
            } catch (IllegalStateException e) {
                x += 100;
            } finally {
                x ^= 0x55;
            }
            try {
                x += i / (i % 3);
            } catch (ArithmeticException e) {
                x += 1000;
            }
            long w = ((long) x << 20) + i;
            x += (int) (w >>> 17);
        }
        return x;

    }

    /* The cases the differential test compares with the JDK: the short method and every
       padded one over the same arguments. */
    public static int cases() { return 27; }

    public static int i(int n) {
        int arg = (n / 9) * 25 + 10;
        switch (n % 9) {
            case 0: return calcShort(arg);
            case 1: return calc0(arg);
            case 2: return calc1(arg);
            case 3: return calc2(arg);
            case 4: return calc3(arg);
            case 5: return calc4(arg);
            case 6: return calc5(arg);
            case 7: return calc6(arg);
            default: return calc7(arg);
        }
    }
}
