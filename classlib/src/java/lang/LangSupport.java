package java.lang;

/**
 * Checks shared by the earliest classes. Object and the first throwables must not create
 * objects themselves (they are verified before the rest of the library can be loaded), so
 * they call here when they have something to report.
 */
final class LangSupport {

    private LangSupport() {
    }

    static void checkWaitArguments(long timeout, int nanos) {
        if (timeout < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        if (nanos < 0 || nanos > 999999) {
            throw new IllegalArgumentException("nanosecond timeout value out of range");
        }
    }

    // The stack-trace printer quietly prints nothing to a null stream; the API asks for an exception.
    static void checkStream(Object stream) {
        if (stream == null) {
            throw new NullPointerException();
        }
    }
}
