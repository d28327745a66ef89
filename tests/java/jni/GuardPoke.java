/* Java code trusts its parameter types: poke writes eight int fields of its GuardPoke. */
public class GuardPoke {
    public int a, b, c, d, e, f, g, h;

    public static void poke(GuardPoke p) {
        p.a = 0x41414141; p.b = 1; p.c = 2; p.d = 3; p.e = 4; p.f = 5; p.g = 6; p.h = 0x42424242;
    }

    public static int peek(GuardPoke p) { return p.h; }

    public static int len(String s) { return s.length(); }

    /* A char as Java sees it: zero-extended. */
    public static int code(char c) { return (int) c; }

    /* A native that claims to return a GuardPoke. */
    public static native GuardPoke forged();

    public static int useForged() {
        GuardPoke p = forged();
        p.h = 0x42424242;
        return p.a;
    }
}
