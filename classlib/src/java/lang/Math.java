package java.lang;

/** Elementary functions: the transcendental ones come from the C library through the machine. */
public final class Math {

    public static final double E = 2.718281828459045;
    public static final double PI = 3.141592653589793;

    private Math() {
    }

    public static native double sin(double a);

    public static native double cos(double a);

    public static native double tan(double a);

    public static native double asin(double a);

    public static native double acos(double a);

    public static native double atan(double a);

    public static native double exp(double a);

    public static native double log(double a);

    public static native double sqrt(double a);

    public static native double IEEEremainder(double f1, double f2);

    public static native double ceil(double a);

    public static native double floor(double a);

    public static native double rint(double a);

    public static native double atan2(double a, double b);

    public static native double pow(double a, double b);

    public static int round(float a) {
        return (int) floor(a + 0.5f);
    }

    public static long round(double a) {
        return (long) floor(a + 0.5d);
    }

    /**
     * A value from 0.0 (included) to 1.0 (excluded): Random.nextDouble's formula over one
     * generator for the whole process, stepped in the machine, so that threads drawing at
     * once never share a draw.
     */
    public static double random() {
        return MathRandom.next();
    }

    public static int abs(int a) {
        return a < 0 ? -a : a;
    }

    public static long abs(long a) {
        return a < 0 ? -a : a;
    }

    public static float abs(float a) {
        // Clears the sign of -0.0 as well.
        return a <= 0.0f ? 0.0f - a : a;
    }

    public static double abs(double a) {
        return a <= 0.0d ? 0.0d - a : a;
    }

    public static int max(int a, int b) {
        return a >= b ? a : b;
    }

    public static long max(long a, long b) {
        return a >= b ? a : b;
    }

    public static float max(float a, float b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0f && b == 0.0f) {
            // +0.0 is larger than -0.0.
            return Float.floatToIntBits(a) < 0 ? b : a;
        }
        return a >= b ? a : b;
    }

    public static double max(double a, double b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0d && b == 0.0d) {
            return Double.doubleToLongBits(a) < 0 ? b : a;
        }
        return a >= b ? a : b;
    }

    public static int min(int a, int b) {
        return a <= b ? a : b;
    }

    public static long min(long a, long b) {
        return a <= b ? a : b;
    }

    public static float min(float a, float b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0f && b == 0.0f) {
            return Float.floatToIntBits(b) < 0 ? b : a;
        }
        return a <= b ? a : b;
    }

    public static double min(double a, double b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0d && b == 0.0d) {
            return Double.doubleToLongBits(b) < 0 ? b : a;
        }
        return a <= b ? a : b;
    }
}
