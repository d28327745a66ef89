package jnifunc;

/* Overriding, interfaces, constructors found in superclasses, classes that cannot be
   instantiated, and classes whose initialisation is watched. */
public class Dispatch {
}

class A {
    int m() { return 1; }
    int twice(int v) { return 2 * v; }
}

class B extends A {
    int extra;
    int m() { return 2; }
}

interface I {
    int im();
}

interface J extends I {
    int jm();
}

class Impl implements J {
    public int im() { return 3; }
    public int jm() { return 4; }
}

abstract class Abs {
    abstract int f();
}

class Base {
    int made;
    Base() { made = 11; }
}

class NoCtor extends Base {
    NoCtor(int v) { made = v; }
}

class Throws {
    int v;
    Throws() { v = 1; }
    Throws(int v) {
        if (v < 0) throw new IllegalArgumentException("negative");
        this.v = v;
    }
}

class Flagged {
    static boolean ran;
    static int inits;
    static int value;
    int x;
    static {
        ran = true;
        inits++;
    }
    static int get() { return inits; }
    static int bumped() { return ++value; }
}

class BadInit {
    static int x;
    static {
        fail();
    }
    static void fail() { throw new RuntimeException("bad init"); }
    static int get() { return 1; }
}

class Side {
    static int count;
    static int make() { count++; return 77; }
}

interface Konst {
    int K = Side.make();
}

class UsesKonst implements Konst {
}

/* An unbound native base method overridden in Java, and a Java method overridden by an
   unbound native. */
class NBase {
    native int g();
}

class NSub extends NBase {
    int g() { return 5; }
}

class JBase {
    int h() { return 6; }
}

class JSub extends JBase {
    native int h();
}

class Unbound {
    static native int nothing();
    static native int other(int v);
    int plain() { return 8; }
}

/* No constructor of its own without arguments: NewObject with Base's runs that one, on
   an object of this class, which is initialised first. */
class FlaggedSub extends Base {
    static boolean ran;
    static {
        ran = true;
    }
    FlaggedSub(int v) { made = v; }
}
