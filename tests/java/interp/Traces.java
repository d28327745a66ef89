package interp;

/* Call chains that end in an exception the machine raises, for the frame traces it
   records: a() calls b() calls c(), and c's field access meets null; cSlow() is c()
   padded past 776 bytes of code, so that its frame runs in the slow loop. made() throws
   one Java makes. */
public class Traces {
    int f;
    static Traces NOBODY;
    static int PAD = 0;

    public static int a(int slow) { return b(slow) + 1; }

    static int b(int slow) { return slow != 0 ? cSlow() + 2 : c() + 2; }

    static int c() { return NOBODY.f; }

    // A throwable made in Java depth calls down: fillInStackTrace twice and five
    // constructors run on it before made's frames.
    public static int made(int depth) {
        if (depth == 0) throw new Mine();
        return made(depth - 1) + 1;
    }

    static class Mine extends IllegalStateException {
        Mine() { super("mine"); }

        public Throwable fillInStackTrace() { return super.fillInStackTrace(); }
    }

    static int cSlow() {
        if (PAD != 0) {
            PAD += PAD * 3;
            PAD += PAD * 4;
            PAD += PAD * 5;
            PAD += PAD * 6;
            PAD += PAD * 7;
            PAD += PAD * 8;
            PAD += PAD * 9;
            PAD += PAD * 10;
            PAD += PAD * 11;
            PAD += PAD * 12;
            PAD += PAD * 13;
            PAD += PAD * 14;
            PAD += PAD * 15;
            PAD += PAD * 16;
            PAD += PAD * 17;
            PAD += PAD * 18;
            PAD += PAD * 19;
            PAD += PAD * 20;
            PAD += PAD * 21;
            PAD += PAD * 22;
            PAD += PAD * 23;
            PAD += PAD * 24;
            PAD += PAD * 25;
            PAD += PAD * 26;
            PAD += PAD * 27;
            PAD += PAD * 28;
            PAD += PAD * 29;
            PAD += PAD * 30;
            PAD += PAD * 31;
            PAD += PAD * 32;
            PAD += PAD * 33;
            PAD += PAD * 34;
            PAD += PAD * 35;
            PAD += PAD * 36;
            PAD += PAD * 37;
            PAD += PAD * 38;
            PAD += PAD * 39;
            PAD += PAD * 40;
            PAD += PAD * 41;
            PAD += PAD * 42;
            PAD += PAD * 43;
            PAD += PAD * 44;
            PAD += PAD * 45;
            PAD += PAD * 46;
            PAD += PAD * 47;
            PAD += PAD * 48;
            PAD += PAD * 49;
            PAD += PAD * 50;
            PAD += PAD * 51;
            PAD += PAD * 52;
            PAD += PAD * 53;
            PAD += PAD * 54;
            PAD += PAD * 55;
            PAD += PAD * 56;
            PAD += PAD * 57;
            PAD += PAD * 58;
            PAD += PAD * 59;
            PAD += PAD * 60;
            PAD += PAD * 61;
            PAD += PAD * 62;
            PAD += PAD * 63;
            PAD += PAD * 64;
            PAD += PAD * 65;
            PAD += PAD * 66;
            PAD += PAD * 67;
            PAD += PAD * 68;
            PAD += PAD * 69;
            PAD += PAD * 70;
            PAD += PAD * 71;
            PAD += PAD * 72;
            PAD += PAD * 73;
            PAD += PAD * 74;
            PAD += PAD * 75;
            PAD += PAD * 76;
            PAD += PAD * 77;
            PAD += PAD * 78;
            PAD += PAD * 79;
            PAD += PAD * 80;
            PAD += PAD * 81;
            PAD += PAD * 82;
            PAD += PAD * 83;
            PAD += PAD * 84;
            PAD += PAD * 85;
            PAD += PAD * 86;
            PAD += PAD * 87;
            PAD += PAD * 88;
            PAD += PAD * 89;
            PAD += PAD * 90;
            PAD += PAD * 91;
            PAD += PAD * 92;
        }
        return NOBODY.f;
    }
}
