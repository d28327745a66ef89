package vf;

/* Switches at each of the four alignments (0 to 3 bytes before the opcode), dense and
   sparse, with negative and extreme keys. */
public class Switches {
    static int a0(int k) {
        switch (k) { case 1: return 10; case 2: return 20; case 3: return 30; default: return 0; }
    }
    static int a1(int k) {
        int x = 1;
        switch (k) { case 1: return 10 + x; case 2: return 20; case 3: return 30; default: return 0; }
    }
    static int a2(int k, int j) {
        int x = j;
        switch (k + x) { case 1: return 10; case 2: return 20; case 3: return 30; default: return 0; }
    }
    static int a3(int k, int j, int i) {
        long l = j;
        switch (k) { case -1: return (int) l; case 0: return i; case 1: return 30; default: return 0; }
    }
    static int sparse0(int k) {
        switch (k) { case -2147483648: return 1; case -7: return 2; case 0: return 3; case 9: return 4;
            case 100000: return 5; case 2147483647: return 6; default: return 0; }
    }
    static int sparse1(int k) {
        int y = 2;
        switch (k * y) { case -7: return 2; case 0: return 3; case 9: return 4; case 100000: return 5; default: return 0; }
    }
    static int sparse2(long k) {
        switch ((int) k) { case 5: return 2; case 1000: return 3; default: return 0; }
    }
    static int onePair(int k) {
        switch (k) { case 77: return 1; default: return 0; }
    }
    static int noPair(int k) {
        switch (k) { default: return k; }
    }
    static String strings(int k) {
        String s;
        switch (k) {
            case 0: s = "zero"; break;
            case 1: s = null; break;
            case 2: return new String("two");
            default: s = String.valueOf(k);
        }
        return s;
    }
}
