/* The interpreter benchmark's workloads, run on this machine by bench/interp.cpp and on
   the reference machine by InterpBenchMain (java -Xint), on the same class files. Each
   answers a checksum so that both runs can be compared. */
public class InterpBench {
    public static int intLoop(int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) {
            sum += i ^ (sum >>> 3);
        }
        return sum;
    }

    public static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

    interface Op {
        int apply(int v);
    }

    static class Add implements Op {
        int k;
        Add(int k) { this.k = k; }
        public int apply(int v) { return v + k; }
        int get(int v) { return v - k; }
    }

    static class Mul extends Add {
        Mul(int k) { super(k); }
        public int apply(int v) { return v * k; }
        int get(int v) { return v ^ k; }
    }

    public static int calls(int n) {
        Op a = new Add(3), m = new Mul(5);
        Add va = new Add(1), vm = new Mul(2);
        int v = 0;
        for (int i = 0; i < n; i++) {
            v = a.apply(v);
            v = m.apply(v) & 0xFFFF;
            v = va.get(v);
            v = vm.get(v);
        }
        return v;
    }

    int count;
    int[] data = new int[256];

    public static int fields(int n) {
        InterpBench b = new InterpBench();
        int[] d = b.data;
        for (int i = 0; i < n; i++) {
            int j = i & 255;
            d[j] = d[j] + i;
            b.count += d[(j + 1) & 255];
        }
        return b.count;
    }

    static int PAD = 0;

    /* intLoop's loop in a method longer than 776 bytes (the slow loop runs it). */
    public static int intLoopLong(int n) {
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
            p += PAD * 1077;
            p += PAD * 1078;
            p += PAD * 1079;
            p += PAD * 1080;
            p += PAD * 1081;
            p += PAD * 1082;
            p += PAD * 1083;
            p += PAD * 1084;
            p += PAD * 1085;
            p += PAD * 1086;
            p += PAD * 1087;
            p += PAD * 1088;
            p += PAD * 1089;
        }
        if (p != 0) return p;
        int sum = 0;
        for (int i = 0; i < n; i++) {
            sum += i ^ (sum >>> 3);
        }
        return sum;
    }
}
