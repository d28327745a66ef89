package interp;

/* Static initialisers: their order, a recursive request from an initialiser, and both
   failure modes (ExceptionInInitializerError first, NoClassDefFoundError after). */
public class Init {
    static int[] log = new int[16];
    static int count;

    static void note(int n) { log[count++] = n; }

    public static int order() {
        count = 0;
        int v = InitSub.value;   // Super's initialiser runs first, then Sub's
        note(v);
        int w = InitSub.value;   // nothing runs again
        note(w);
        int r = 0;
        for (int i = 0; i < count; i++) r = r * 10 + log[i];
        return r;
    }

    /* Type tests and arrays of a class never run its initialiser. */
    public static int noInitByTypeTests(Object o) {
        InitLazy[] a = new InitLazy[1];
        boolean b = o instanceof InitLazy;
        InitLazy c = (InitLazy) null;
        InitLazy[][] m = new InitLazy[2][2];
        return a.length + (b ? 10 : 0) + (c == null ? 100 : 0) + m.length * 1000;
    }

    public static int touchLazy() { return InitLazy.value + InitLazy.touched * 10; }

    public static int failing() { return InitBroken.value; }

    public static int failingCaught() {
        int r = 0;
        try {
            r += InitBroken2.value;
        } catch (ExceptionInInitializerError e) {
            r += e.getException() instanceof IllegalStateException ? 1 : 100;
        }
        try {
            r += InitBroken2.value;
        } catch (NoClassDefFoundError e) {
            r += 10;
        }
        try {
            new InitBroken2();
        } catch (NoClassDefFoundError e) {
            r += 1000;
        }
        try {
            InitBroken2.call();
        } catch (NoClassDefFoundError e) {
            r += 10000;
        }
        return r;
    }

    public static int errorThrown() {
        try {
            return InitError.value;
        } catch (InternalError e) {
            return 1;
        } catch (ExceptionInInitializerError e) {
            return 2;
        }
    }

    public static int subOfBroken() {
        int r = 0;
        try {
            r = InitBrokenSub.own;
        } catch (ExceptionInInitializerError e) {
            r = 1;
        }
        try {
            r += InitBrokenSub.own;
        } catch (NoClassDefFoundError e) {
            r += 10;
        }
        return r;
    }

    /* The cases the differential test compares with the JDK, in order: later cases see
       what earlier ones initialised. */
    public static int cases() { return 8; }

    public static int i(int n) {
        switch (n) {
            case 0: return order();
            case 1: return noInitByTypeTests(null);
            case 2: return touchLazy();
            case 3: return failing();
            case 4: return failing();
            case 5: return failingCaught();
            case 6: return errorThrown();
            case 7: return subOfBroken() * 10000 + order();
        }
        return -777;
    }
}

class InitSuper {
    static int base = mark(1);

    static int mark(int n) {
        Init.note(n);
        return n;
    }
}

class InitSub extends InitSuper {
    static int value = compute();

    static int compute() {
        Init.note(2);
        return helper() + base;   // a static method of its own class, from its initialiser
    }

    static int helper() { return 40; }
}

class InitLazy {
    static int touched;
    static int value;

    static {
        touched++;
        value = 5;
    }
}

class InitBroken {
    static int value = explode();

    static int explode() {
        if (value == 0) throw new IllegalStateException("broken");
        return 1;
    }
}

class InitBroken2 {
    static int value = fail();

    static int fail() {
        if (value == 0) throw new IllegalStateException("two");
        return 1;
    }

    static int call() { return 3; }
}

class InitError {
    static int value;

    static {
        if (value == 0) throw new InternalError("error");
    }
}

class InitBrokenBase {
    static int value = fail();

    static int fail() {
        if (value == 0) throw new IllegalStateException("base");
        return 1;
    }
}

class InitBrokenSub extends InitBrokenBase {
    static int own = 7;
}
