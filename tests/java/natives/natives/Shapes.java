package natives;

// Classes for the class queries and newInstance.
public class Shapes {
    public static abstract class Abstract {
        public Abstract() {
        }
    }

    public interface Face {
    }

    public interface Face2 extends Face {
    }

    public static class Plain implements Face2, Cloneable {
        public Plain() {
        }
    }

    public static class PrivateConstructor {
        private PrivateConstructor() {
        }

        static Object selfMade() throws Exception {
            return PrivateConstructor.class.newInstance();
        }
    }

    public static class NoDefault {
        public NoDefault(int x) {
        }
    }
}

// Not public: only this package may make one.
class Hidden {
    public Hidden() {
    }
}

class ThrowsInInit {
    static int value = boom();

    static int boom() {
        throw new RuntimeException("boom");
    }

    public ThrowsInInit() {
    }
}

class ErrorInInit {
    static {
        if (true) {
            throw new InternalError("bad");
        }
    }
}
