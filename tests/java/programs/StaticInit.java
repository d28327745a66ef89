/* When classes are initialised: on first active use, superclass first, never for a
   compile-time constant, never for an interface its class implements; a failed
   initialiser; and the order of instance creation. */
public class StaticInit {
    static StringBuffer log = new StringBuffer();

    static void note(String s) {
        log.append(s).append(' ');
    }

    static int value(String s, int v) {
        note(s);
        return v;
    }

    static int zero() {
        return 0;
    }

    static class A {
        static {
            note("A");
        }

        static int x = value("A.x", 1);

        static void touch() {
        }
    }

    static class B extends A {
        static {
            note("B");
        }

        static int y = value("B.y", 2);
    }

    static class C {
        static final int K = 42;

        static {
            note("C");
        }
    }

    static class D {
        static final Integer K2 = new Integer(7);

        static {
            note("D");
        }
    }

    interface I {
        int J = value("I.J", 5);
    }

    static class E implements I {
        static {
            note("E");
        }
    }

    static class Bad {
        static int v = 1 / zero();
    }

    static class P {
        P() {
            note("P()");
            show();
        }

        void show() {
            note("P.show");
        }
    }

    static class Q extends P {
        int f = 5;

        Q() {
            super();
            note("Q() f=" + f);
        }

        void show() {
            note("Q.show f=" + f);
        }
    }

    public static void main(String[] args) {
        note("main");
        int k = C.K;
        note("k=" + k);
        new B();
        A.touch();
        note("D=" + D.K2);
        new E();
        note("J=" + I.J);
        System.out.println(log);
        try {
            System.out.println(Bad.v);
        } catch (ExceptionInInitializerError e) {
            System.out.println("ExceptionInInitializerError " + e.getException().getClass().getName());
        }
        try {
            System.out.println(Bad.v);
        } catch (NoClassDefFoundError e) {
            System.out.println("NoClassDefFoundError");
        }
        log.setLength(0);
        new Q();
        System.out.println(log);
    }
}
